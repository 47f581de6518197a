// Arbitrary bytes as a configuration file or as an image read from the controller.
// The first byte chooses: bit 0 from the controller, bit 1 the selected CPU type.
#include <cstdint>
#include <vector>

#include "model/document.h"
#include "model/messages.h"
#include "ports/register.h"
#include "project/cfgfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  t32::TRecordedMessages m;
  t32::TDocument doc(&m, &t32::PortsFactory());  // every class a real build knows
  t32::TCpu cpu = (data[0] & 2) ? t32::TCpu::Cpu927 : t32::TCpu::Cpu6358;
  t32::ParseImage(doc, std::vector<uint8_t>(data + 1, data + size), data[0] & 1, &cpu, "fuzz");
  doc.Dump();
  return 0;
}
