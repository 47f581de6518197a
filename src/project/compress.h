// Block compression of configuration images: the LZ77 + Huffman container that the CPU-927
// controller reads and writes (image type 9). The decoder is the contract with the controller;
// the encoder only has to produce streams this decoder reads back to the input.
//
// Container: a signed 32-bit little-endian length L, then
//   L < 0: -L plain bytes;  L = 0: nothing;  L > 0: the bit stream of blocks.
//
// Both directions are reentrant: every call keeps its state and work tables to itself.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace t32 {

// The largest configuration image the program handles (the size of the image buffer).
inline constexpr std::size_t kMaxImageSize = 104857600;
// Size of the controller's compression work buffer: compressed images must fit in it.
inline constexpr std::size_t kCompressWorkSize = 10485760;
// The container head: the 4-byte length L.
inline constexpr std::size_t kContainerHeadSize = 4;

// Error texts. The first two are the ones the controller software uses as well.
inline constexpr const char* kInflateErrorPastEnd =
    "Попытка прочитать данные за пределами бинарного потока.";
inline constexpr const char* kInflateErrorNullSource =
    "Параметр \"SourceBytes\", передаваемый в функцию \"G_Inflate\", не может быть равен nil.";
inline constexpr const char* kInflateErrorTooLarge =
    "Распакованные данные не помещаются в отведённый буфер.";
inline constexpr const char* kInflateErrorBadCode =
    "Ошибка в сжатых данных: неизвестный код.";
inline constexpr const char* kInflateErrorBadTable =
    "Ошибка в сжатых данных: неверная таблица кодов.";
inline constexpr const char* kInflateErrorBadDistance =
    "Ошибка в сжатых данных: ссылка перед началом данных.";
inline constexpr const char* kDeflateErrorBadMode = "Неверный режим сжатия.";
inline constexpr const char* kDeflateErrorTooLarge = "Слишком большой объём данных для сжатия.";
inline constexpr const char* kDeflateErrorNoRoom = "Сжатые данные не помещаются в буфер.";

// Decoded size |L| announced by a container head; false when fewer than 4 bytes are given.
bool ContainerDecodedSize(const std::uint8_t* src, std::size_t srcLen, std::uint64_t* size);

// Decodes the container src[0, srcLen) into dst[0, dstCap). On success *produced = |L|.
// Fails (with one of the texts above in *error, when error is not null) when the stream is
// corrupt or truncated, or when |L| > dstCap. Never reads src past srcLen nor writes dst
// past |L|; bytes of dst beyond |L| are left untouched.
bool InflateInto(const std::uint8_t* src, std::size_t srcLen, std::uint8_t* dst, std::size_t dstCap,
                 std::size_t* produced, std::string* error);

// The same into a vector: out holds exactly the decoded bytes on success (it is cleared on
// failure). Fails when |L| > maxOut. Memory grows with the output really produced, so a hostile
// L costs nothing until the stream backs it with data.
bool Inflate(const std::uint8_t* src, std::size_t srcLen, std::vector<std::uint8_t>& out,
             std::size_t maxOut, std::string* error);

// Largest container Deflate can produce for srcLen bytes (a stored container).
std::size_t DeflateBound(std::size_t srcLen);

// The strongest mode: a minimum-cost parse over the whole 256 KiB window. It writes some 10 %
// less than mode 4 on configuration images; on two cores it takes about four times as long,
// under 0.2 s for a 3 MB configuration.
inline constexpr int kStrongestMode = 5;
// The mode the file writer uses for images sent to the controller: every percent less is
// transfer time saved at each write over a slow serial line, and the strongest mode finishes
// well before the engineer could tell.
inline constexpr int kImageDeflateMode = kStrongestMode;

// Compresses src[0, srcLen) into a container. Mode 0 stores; modes 1 to 4 search harder
// (1: 4 KiB window, 2: 32 KiB, 3 and 4: 256 KiB); mode 5 parses for the smallest output.
// Empty input gives L = 0; input shorter than 4 bytes, or input the compressor cannot shrink,
// is stored. Fails for modes outside 0..kStrongestMode and for input above 2^31 - 1 bytes.
bool Deflate(const std::uint8_t* src, std::size_t srcLen, int mode, std::vector<std::uint8_t>& out,
             std::string* error);

// The strongest mode with its tree searches either in the calling thread (finderThread false)
// or, for inputs of 256 KiB and more, in a second thread that searches while this one parses
// (what Deflate does). The bytes written are the same either way.
bool DeflateStrongest(const std::uint8_t* src, std::size_t srcLen, bool finderThread, std::vector<std::uint8_t>& out,
                      std::string* error);

// The same into dst[0, dstCap); *written gets the container length. Fails with
// kDeflateErrorNoRoom (dst untouched past dstCap) when the container does not fit.
bool DeflateInto(const std::uint8_t* src, std::size_t srcLen, int mode, std::uint8_t* dst,
                 std::size_t dstCap, std::size_t* written, std::string* error);

}  // namespace t32
