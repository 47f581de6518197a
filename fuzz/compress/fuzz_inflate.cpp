// Decodes arbitrary containers: both entry points must fail cleanly or produce exactly |L|
// bytes, never read or write out of bounds, and agree with each other.
#include "project/compress.h"

#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  constexpr std::size_t kMaxOut = 1u << 20;  // keeps each run fast; the limit path is exercised too
  std::vector<std::uint8_t> out;
  std::string err;
  const bool ok = t32::Inflate(data, size, out, kMaxOut, &err);
  if (!ok && err.empty()) std::abort();  // failures always carry a text

  std::uint64_t announced = 0;
  if (ok && (!t32::ContainerDecodedSize(data, size, &announced) || announced != out.size())) std::abort();

  // The fixed-buffer form on a buffer of exactly |L| bytes gives the same result.
  if (t32::ContainerDecodedSize(data, size, &announced) && (ok || announced <= (1u << 16))) {
    std::vector<std::uint8_t> fixed(static_cast<std::size_t>(announced));
    std::size_t produced = 0;
    const bool ok2 = t32::InflateInto(data, size, fixed.data(), fixed.size(), &produced, nullptr);
    if (ok2 != ok || (ok && (produced != out.size() || fixed != out))) std::abort();
  }
  return 0;
}
