// The KP polling port, the meter ports, the ЦП8500 converter port and the МКТ-3 output port of
// "new --sample", each with children (stations, meters, converter entries, output rows).
#include <algorithm>
#include <bitset>

#include "cli/cli.h"
#include "model/boards.h"
#include "model/factory.h"
#include "model/document.h"
#include "model/params.h"
#include "model/storage.h"
#include "ports/port_kp.h"
#include "ports/port_menu.h"
#include "ports/port_meters.h"
#include "ports/port_mkt3.h"

namespace t32::cli {

namespace {
void BindFirstFree(TPort* p) {
  auto list = p->Interfaces();
  if (list.size() > 1) p->SelectInterface(list, 1);
}
}  // namespace

void AddSampleKPAndMeters(TDocument& doc) {
  if (TNode* n = AddPortFromMenu(doc, 112)) {
    auto* port = static_cast<TPortKP*>(n->Item());
    BindFirstFree(port);
    const TKP::TProtocol protocols[3] = {TKP::kSirius, TKP::kVikont, TKP::kIec101};
    for (int i = 0; i < 3; ++i) {
      TKP* k = port->AddStation();
      if (!k) break;
      k->number = static_cast<std::uint8_t>(5 + i);
      k->place = i == 0 ? "ПС Северная" : "";
      k->protocol = protocols[i];
      k->SetCount(kSigTS, 16);
      k->SetCount(kSigTU, 4);
      k->SetGroupType({1}, 1);
      k->SetGroupType({2}, 2);
      k->SetGroupType({3}, 4);
      if (i == 2) k->SetCount(kSigTI, 6);
      k->UpdateStatusTable();
    }
  }
  const int meterPorts[3] = {106, 118, 135};
  for (int tag : meterPorts) {
    TNode* n = AddPortFromMenu(doc, tag);
    if (!n) continue;
    auto* port = static_cast<TMeterPort*>(n->Item());
    BindFirstFree(port);
    if (TMeter* m = port->AddMeter()) {
      m->SetAddress(tag == 135 ? 100500 : 3);
      m->place = "Ввод 1";
      for (int bit : {0, 1, 7}) m->SetQuantity(bit, true);
      m->UpdateStatusTable();
    }
  }
  if (TNode* n = AddPortFromMenu(doc, 116)) {
    auto* cp = static_cast<TPortCP8500*>(n->Item());
    BindFirstFree(cp);
    cp->StoreRows({{"12", "3"}, {"12", "4"}, {"15", ""}});
  }
  // The МКТ-3 output runs over a modem, and the sample's only modem carries the control-station
  // port: a second modem board, at the lowest address no other board occupies, takes it.
  std::bitset<256> used;
  for (int i = 0; i < doc.Tree().Root()->ChildCount(); ++i)
    if (auto* b = dynamic_cast<TBoard*>(doc.Tree().Root()->Child(i)->Item())) used |= b->addressSet;
  if (auto item = DefaultFactory().Make(1, TItemPlace::Board)) {
    TNode* bn = doc.Tree().Add(doc.Tree().Root(), std::move(item));
    if (auto* b = dynamic_cast<TBoard*>(bn->Item())) {
      b->irq = 0;
      for (int a = 0; a <= std::min(b->MaxNumber(), 15); ++a) {
        b->SetAddress(a);
        if (b->number == a && (b->addressSet & used).none()) break;
      }
    }
    doc.AfterEdit();
  }
  if (TNode* n = AddPortFromMenu(doc, 103)) {
    auto* mkt = static_cast<TPortMKT3*>(n->Item());
    BindFirstFree(mkt);
    mkt->place = "ДП";
    doc.AfterEdit();
    const TStorage& st = doc.Storage();
    if (TParams* ts = mkt->Table(kSigTS)) ts->AddFromList(st.List(kSigTS), true);
    if (TParams* ti = mkt->Table(kSigTI)) ti->AddFromList(st.List(kSigTI), true);
  }
  doc.AfterEdit();
}

}  // namespace t32::cli
