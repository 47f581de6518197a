// Arbitrary bytes as an IEC 61850 device-type file: the container checks, the template-form
// section and its device model; a file that is taken is written back as a type file and the
// device's port as image records.
#include <cstdint>
#include <string>
#include <vector>

#include "model/document.h"
#include "model/messages.h"
#include "ports/ied_types.h"
#include "ports/port_61850.h"
#include "ports/port_menu.h"
#include "ports/register.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::uint8_t> bytes(data, data + size);
  t32::TRecordedMessages msgs;
  t32::TDocument doc(&msgs, &t32::PortsFactory());
  t32::TNode* n = t32::AddPortFromMenu(doc, 124);
  auto* port = n ? dynamic_cast<t32::TPort61850*>(n->Item()) : nullptr;
  if (!port) return 0;
  t32::TRTU61850* dev = port->AddDevice();
  if (!dev) return 0;
  std::string error;
  if (t32::ReadIedBytes(bytes, *dev, "fuzz.ied", &error)) {
    dev->UpdateStatusTable();
    std::vector<std::uint8_t> again;
    (void)t32::IedFileBytes(*dev, "fuzz.ied", again, &error);
  }
  doc.WriteRecords();
  return 0;
}
