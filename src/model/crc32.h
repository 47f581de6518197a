// CRC-32 as the controller computes it: reflected polynomial 0xEDB88320, initial value
// 0xFFFFFFFF and no final inversion (the stored value is the raw register).
#pragma once
#include <cstddef>
#include <cstdint>

namespace t32 {
std::uint32_t Crc32NoFinal(const void* data, std::size_t size, std::uint32_t crc = 0xFFFFFFFFu);
// Entry n (0..255) of the table behind it; the image scrambling uses its low bytes.
std::uint32_t Crc32TableEntry(std::uint8_t n);
}
