// Arbitrary bytes as the automation tools' list: imported into an automation port (names,
// tables, storage), used as the old file of an export, and the port written as a section.
#include <cstdint>
#include <string>

#include "model/document.h"
#include "model/messages.h"
#include "ports/port_auto.h"
#include "ports/port_menu.h"
#include "ports/register.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  t32::TRecordedMessages msgs;
  t32::TDocument doc(&msgs, &t32::PortsFactory());
  t32::TNode* n = t32::AddPortFromMenu(doc, 117);
  auto* port = n ? dynamic_cast<t32::TPortAuto*>(n->Item()) : nullptr;
  if (!port) return 0;
  std::string err;
  port->ImportText(text, &err);
  (void)port->ExportText(text);
  doc.WriteRecords();
  return 0;
}
