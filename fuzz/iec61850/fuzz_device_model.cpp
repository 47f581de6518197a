// Arbitrary bytes as a stored device model: the dictionary block, then the client's state.
// LoadState must fail cleanly on anything damaged, and what it accepts must save again.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "iec61850/modelstream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace t32;
  TMemStream in(data, size);
  TStrDictionary names;
  if (!DictionaryMemRead(in, names)) names.Clear();
  TMMSobject client;
  if (client.LoadState(in, names)) {
    std::vector<std::uint8_t> out(size * 2 + 4096);
    TMemStream s(out.data(), out.size());
    TStrDictionary again;
    client.Pruning = (size & 1) != 0;
    client.SaveState(s, again);
  }
  return 0;
}
