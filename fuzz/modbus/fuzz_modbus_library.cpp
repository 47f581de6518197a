// Arbitrary bytes as a Modbus device description file: the library reads it, a device takes
// each type it names (or refuses with a message), rebuilds its signals, writes its section and
// a fresh device reads that section back.
#include <cstdint>
#include <string_view>

#include "model/config.h"
#include "model/document.h"
#include "model/messages.h"
#include "ports/app_context.h"
#include "ports/modbus.h"
#include "ports/port_menu.h"
#include "ports/register.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace t32;
  TRecordedMessages msgs;
  TAppContext ctx;
  ctx.library.AddText("fuzz.ini", std::string_view(reinterpret_cast<const char*>(data), size));
  TDocument doc(&msgs, &PortsFactory());
  doc.appContext = &ctx;
  TNode* pn = AddPortFromMenu(doc, 102);
  auto* port = pn ? dynamic_cast<TPortMODBUS*>(pn->Item()) : nullptr;
  if (!port) return 0;
  std::vector<std::pair<int, std::string>> picks;
  int address = 1;
  for (const std::string& type : ctx.library.Types()) {
    if (address > 4) break;
    picks.emplace_back(address++, type);
  }
  if (picks.empty()) picks.emplace_back(1, "RTU");
  for (TRTU* dev : port->AddDevices(picks)) {
    // The file applied whatever its type list says, events both ways.
    std::string err;
    dev->ApplyType(*ctx.library.Files()[0], &err);
    dev->s.sysLog.codes = {1, 2, 3};
    dev->s.alarmLog.codes = {1, 7};
    dev->s.eventsAsMts = size & 1;
    dev->UpdateStatusTable();
    TConfig c;
    c.BeginWrite();
    dev->SaveToImage(c);
    c.Pos = TConfig::kDataStart;
    TRTU back;
    back.LoadFromImage(c);
  }
  doc.WriteRecords();
  doc.Dump();
  return 0;
}
