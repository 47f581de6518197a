// Arbitrary bytes as an IEC 103 type library file: the library reads it, a device takes each
// type it names and the file's tables whatever it names, rebuilds its signals, writes its
// section and a fresh device reads that section back.
#include <cstdint>
#include <string_view>

#include "model/config.h"
#include "model/document.h"
#include "model/messages.h"
#include "ports/app_context.h"
#include "ports/iec103.h"
#include "ports/port_menu.h"
#include "ports/register.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace t32;
  TRecordedMessages msgs;
  TAppContext ctx;
  ctx.library103.AddText("fuzz.ini", std::string_view(reinterpret_cast<const char*>(data), size));
  TDocument doc(&msgs, &PortsFactory());
  doc.appContext = &ctx;
  TNode* pn = AddPortFromMenu(doc, 115);
  auto* port = pn ? dynamic_cast<TPort103*>(pn->Item()) : nullptr;
  if (!port) return 0;
  std::vector<std::pair<int, std::string>> picks;
  int address = 1;
  for (const std::string& type : ctx.library103.Types()) {
    if (address > 4) break;
    picks.emplace_back(address++, type);
  }
  if (picks.empty()) picks.emplace_back(1, "");
  for (TRTU103* dev : port->AddDevices(picks)) {
    std::vector<std::string> problems;
    dev->ApplyType(*ctx.library103.Files()[0], &problems);
    dev->place = size & 1 ? "Ячейка" : "";
    dev->UpdateStatusTable();
    for (int tab = 0; tab < 3; ++tab) dev->ParameterList(tab);
    TConfig c;
    c.BeginWrite();
    dev->SaveToImage(c);
    c.Pos = TConfig::kDataStart;
    TRTU103 back;
    back.LoadFromImage(c);
    if (back.tables[0] != dev->tables[0] || back.tables[1] != dev->tables[1] || back.tables[2] != dev->tables[2])
      __builtin_trap();
  }
  doc.WriteRecords();
  doc.Dump();
  return 0;
}
