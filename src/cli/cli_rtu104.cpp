// The IEC 104 polling port of "new --sample": two polled stations, one with groups of objects.
#include <memory>

#include "cli/cli.h"
#include "model/document.h"
#include "ports/port_menu.h"
#include "ports/port_rtu104.h"

namespace t32::cli {

void AddSampleRtu104(TDocument& doc) {
  TNode* n = AddPortFromMenu(doc, 128);
  if (!n) return;
  auto* port = static_cast<TPortRTU104*>(n->Item());
  if (TRTU104* d = port->AddDevice()) {
    TWS_104& st = d->Station();
    st.name = "Подстанция 1";
    d->SetIp(0xC0A8010B);  // 192.168.1.11
    auto add = [&](const char* name, std::int32_t kind, std::int32_t base, std::initializer_list<const char*> objects) {
      auto g = std::make_unique<TGroup>();
      g->name = name;
      g->record.kind = kind;
      g->record.baseAddress = base;
      if (TGroup* grp = st.AppendGroup(st, std::move(g)))
        for (const char* o : objects)
          if (auto obj = st.NewObject(*grp)) {
            obj->name = o;
            obj->tick = 1;
            st.AppendObject(*grp, std::move(obj));
          }
    };
    add("Входы", kKindTS, 1, {"Q1.ready", "Q2.ready"});
    add("Измерения", kKindTI, 100, {"Ua", "Ub"});
    add("Команды", kKindTU1, 200, {"Q1"});
    d->StationEdited();
  }
  if (TRTU104* d = port->AddDevice()) {
    d->Station().name = "Подстанция 2";
    d->SetIp(0xC0A8010C);
    d->StationEdited();
  }
  doc.AfterEdit();
}

}  // namespace t32::cli
