// Arbitrary records behind a valid head: the record walk and every item's reader, long and
// short, past the integrity checks that would stop most inputs of the file fuzzer.
#include <cstdint>
#include <vector>

#include "model/config.h"
#include "model/document.h"
#include "model/messages.h"
#include "ports/register.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  std::vector<uint8_t> img(t32::TConfig::kDataStart, 0);
  img.insert(img.end(), data + 1, data + size);
  t32::TRecordedMessages m;
  t32::TDocument doc(&m, &t32::PortsFactory());  // every class a real build knows
  doc.extendedFormat = data[0] & 2;
  doc.Config().SetImage(std::move(img));
  doc.ReadRecords(data[0] & 1);
  doc.Dump();
  doc.WriteRecords();  // whatever was read can be written again
  return 0;
}
