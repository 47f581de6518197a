// Arbitrary bytes as a station's serialised block: whatever reads must write, read back and
// write again to the very same bytes.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "iec104/station.h"

namespace {

template <class Node> void RoundTrip(const uint8_t* data, size_t size) {
  Node first;
  t32::TMemStream in(static_cast<const void*>(data), size);
  if (!first.ReadFrom(in)) return;
  std::vector<uint8_t> once = first.Serialise();
  if (once.size() != first.SerialisedSize()) std::abort();
  Node second;
  t32::TMemStream again(static_cast<const void*>(once.data()), once.size());
  if (!second.ReadFrom(again)) std::abort();
  if (second.Serialise() != once) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  // The first byte chooses a whole station or a single group.
  if (data[0] & 1) RoundTrip<t32::TGroup>(data + 1, size - 1);
  else RoundTrip<t32::TWS_104>(data + 1, size - 1);
  return 0;
}
