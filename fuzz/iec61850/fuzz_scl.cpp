// Arbitrary bytes as an SCL file: the reader must end in a model or a refusal, never in a
// crash, a hang or an unbounded allocation.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "iec61850/scl.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  t32::TMMSobject client;
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  t32::LoadSCLBytes(bytes, "fuzz.scd", client);
  // A second IED name exercises the selection.
  t32::LoadSCLBytes(bytes, "fuzz.scd", client, "IED2");
  return 0;
}
