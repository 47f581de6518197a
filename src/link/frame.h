// Frames of the controller link and the layouts of every command carried in them.
// A frame is [n][command][n-1 parameter bytes][check], the check byte being the sum modulo
// 256 of the n bytes after the length byte. Both the configurator and the simulator build and
// parse frames only through these functions, so the two ends cannot drift apart.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace t32::link {

// Request and response buffers hold one frame each.
constexpr std::size_t kFrameBufferSize = 256;
// Largest n whose frame (n + 2 bytes) still fits the buffer.
constexpr std::size_t kMaxFrameLength = kFrameBufferSize - 2;
constexpr std::size_t kPieceSize = 128;
// File names on the controller's disk are at most 12 characters (8.3).
constexpr std::size_t kMaxNameLength = 12;
constexpr std::size_t kMaxFindNameLength = 79;

enum TCommand : std::uint8_t {
  kCmdRestart = 0x88,
  kCmdFindFile = 0x94,
  kCmdReadPiece = 0x95,
  kCmdWritePiece = 0x96,
  kCmdOpenDisk = 0x97,
  kCmdSetTime = 0x9B,
  kCmdReadValue = 0xA1,
};

// Answer sizes the configurator asks the transport for (frame length including n and check).
constexpr std::size_t kOpenDiskAnswerSize = 5;
constexpr std::size_t kFindAnswerSize = 49;
constexpr std::size_t kWriteAnswerSize = 5;
constexpr std::size_t kSetTimeAnswerSize = 8;
// The read-value answer is [7][0xA1][error lo][error hi][value, 4 bytes LE][check]: nine
// bytes. The value sits at offsets 4-7, so its frame cannot end before offset 8; the
// configurator waits for the whole frame that the length byte announces, never a fixed eight
// bytes that would cut the check byte off.
constexpr std::size_t kValueAnswerSize = 9;
constexpr std::size_t kReadThreadRequest = 1000;

// Sum modulo 256 of bytes 1..n of a frame (n = frame[0]); frame must hold n + 1 bytes.
std::uint8_t FrameSum(const std::uint8_t* frame);
// Writes the check byte after the n bytes of a request held in a kFrameBufferSize buffer
// and returns the number of bytes to send (n + 2).
std::size_t SealFrame(std::uint8_t* frame);

enum class TFrameStatus { kOk, kEmpty, kShort, kBadSum };
// Checks a received frame of `size` bytes: the length byte must announce a frame that was
// received whole, and the check byte must match.
TFrameStatus CheckFrame(const std::uint8_t* frame, std::size_t size);
// Frame size announced by a first byte, i.e. n + 2.
inline std::size_t AnnouncedFrameSize(std::uint8_t n) { return std::size_t(n) + 2; }

// Little-endian helpers.
inline std::uint16_t GetU16(const std::uint8_t* p) { return std::uint16_t(p[0] | (p[1] << 8)); }
inline std::uint32_t GetU32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
}
inline void PutU16(std::uint8_t* p, std::uint16_t v) { p[0] = std::uint8_t(v); p[1] = std::uint8_t(v >> 8); }
inline void PutU32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = std::uint8_t(v >> (8 * i));
}

// ---- Requests (the configurator builds, the simulator parses). Each builder fills a
// kFrameBufferSize buffer (zeroed first) and returns the frame size on the line, check
// byte included. Names are cp1251 bytes; they are cut to the field's capacity.

std::size_t BuildRestart(std::uint8_t* buf);
std::size_t BuildOpenDisk(std::uint8_t* buf, std::string_view disk);
std::size_t BuildFindFile(std::uint8_t* buf, std::string_view name);
std::size_t BuildReadPiece(std::uint8_t* buf, std::uint32_t offset, std::uint32_t fileSize, std::uint8_t pieceLength,
                           std::string_view name, std::uint32_t credential);
// data: the 128 source bytes of the piece (bytes past the end of the file are zero).
// withUser: a user name is set, so the credential and file check value are carried (n = 161);
// otherwise n = piece length + 25 and the frame ends two bytes after the piece's data.
std::size_t BuildWritePiece(std::uint8_t* buf, std::string_view name, std::uint32_t offset, std::uint32_t fileSize,
                            std::uint8_t pieceLength, const std::uint8_t* data128, bool withUser,
                            std::uint32_t credential, std::uint32_t fileCheck);

struct TClockTime {
  int year = 2000, month = 1, day = 1, hour = 0, minute = 0, second = 0, millisecond = 0;
};
std::size_t BuildSetTime(std::uint8_t* buf, const TClockTime& t);
std::size_t BuildReadValue(std::uint8_t* buf, std::uint16_t address);

struct TRequest {
  std::uint8_t command = 0;
  std::string name;          // open disk, find, read, write (cp1251 bytes)
  std::uint32_t offset = 0, fileSize = 0;
  std::uint8_t pieceLength = 0;
  const std::uint8_t* data = nullptr;  // write: the 128-byte data area (points into the frame)
  std::size_t dataAvailable = 0;       // write: data bytes the frame actually carries
  bool hasCredential = false;          // read always carries one; write only with a user name
  std::uint32_t credential = 0, fileCheck = 0;
  TClockTime time;
  std::uint16_t address = 0;
};
// Parses a whole, checked request frame. False when the command is unknown or the frame is
// too short for the fields of its command.
bool ParseRequest(const std::uint8_t* frame, std::size_t size, TRequest& out);

// ---- Answers (the simulator builds, the configurator parses). Every parser takes a frame
// that passed CheckFrame and refuses one too short for the fields it reads or whose echoed
// command code differs.

std::size_t BuildErrorAnswer(std::uint8_t* buf, std::uint8_t command, std::uint16_t error);  // open disk, write
std::size_t BuildFindAnswer(std::uint8_t* buf, std::uint16_t error, std::uint32_t fileSize);
std::size_t BuildReadAnswer(std::uint8_t* buf, std::uint16_t error, const std::uint8_t* data, std::uint8_t count);
std::size_t BuildSetTimeAnswer(std::uint8_t* buf);
std::size_t BuildValueAnswer(std::uint8_t* buf, std::uint16_t error, std::uint32_t value);

bool ParseErrorAnswer(const std::uint8_t* frame, std::size_t size, std::uint8_t command, std::uint16_t& error);
bool ParseFindAnswer(const std::uint8_t* frame, std::size_t size, std::uint16_t& error, std::uint32_t& fileSize);
// On success `data` points into the frame and `count` data bytes follow it inside the frame.
bool ParseReadAnswer(const std::uint8_t* frame, std::size_t size, std::uint16_t& error, const std::uint8_t*& data,
                     std::uint8_t& count);
bool ParseSetTimeAnswer(const std::uint8_t* frame, std::size_t size);
bool ParseValueAnswer(const std::uint8_t* frame, std::size_t size, std::uint16_t& error, std::uint32_t& value);

// ---- Error codes of the controller.

// The Russian text for a controller error code (UTF-8), as shown after "Ошибка ... файла. ".
std::string ErrorText(std::uint16_t code);
// Builds a file-operation error code: bit 0x400, operation number, file-system error.
constexpr std::uint16_t FileOpError(unsigned operation, unsigned fsError) {
  return std::uint16_t(0x400 | ((operation & 0x3F) << 5) | (fsError & 0x1F));
}
constexpr std::uint16_t kErrNotFound = 2;
constexpr std::uint16_t kErrPathNotFound = 3;
constexpr std::uint16_t kErrAccess = 5;
constexpr std::uint16_t kErrEndOfList = 18;
constexpr std::uint16_t kErrBadPassword = 1234;

}  // namespace t32::link
