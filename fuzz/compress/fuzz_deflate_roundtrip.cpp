// Compresses arbitrary bytes with every mode and decodes them again: the result must equal the
// input and the container must stay within DeflateBound.
#include "project/compress.h"

#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  for (int mode = 0; mode <= t32::kStrongestMode; ++mode) {
    std::vector<std::uint8_t> packed, back;
    if (!t32::Deflate(data, size, mode, packed, nullptr)) std::abort();
    if (packed.size() > t32::DeflateBound(size)) std::abort();
    if (!t32::Inflate(packed.data(), packed.size(), back, size, nullptr)) std::abort();
    if (back.size() != size || (size && std::memcmp(back.data(), data, size) != 0)) std::abort();
  }
  return 0;
}
