#include "ports/port_menu.h"

#include <bitset>

#include "model/document.h"
#include "model/factory.h"
#include "model/item.h"
#include "model/storage.h"

namespace t32 {

const std::vector<TPortMenuEntry>& PortMenuEntries() {
  static const std::vector<TPortMenuEntry> entries = {
      {"Добавить Порт связи с ПУ", 101, true, false},
      {"Добавить Порт опроса КП", 112, true, false},
      {"Добавить Порт UNIO", 125, true, false},
      {"Добавить Порт опроса MODBUS-RTU", 102, true, false},
      {"Добавить Порт опроса MODBUS-TCP", 129, true, true},
      {"Добавить Порт опроса МЭК 61850", 124, true, true},
      {"Добавить Порт опроса MЭК 870-5-103", 115, true, false},
      {"Добавить Порт опроса MЭК 870-5-104", 128, true, true},
      {"Добавить Порт выдачи MЭК 870-5-104 (RS)", 119, true, false},
      {"Добавить Порт опроса SNMP", 134, true, false},
      {"Добавить Порт Телефон", 104, false, false},
      {"Добавить Порт СЭМ+2", 105, false, false},
      {"Добавить Порт счётчиков СС-301", 106, true, false},
      {"Добавить Порт счётчиков СE-303", 118, true, false},
      {"Добавить Порт счётчиков СE-318", 135, true, false},
      {"Добавить Порт ТЭМ-05М-2", 107, false, false},
      {"Добавить Порт ТЭМ-05М-3", 108, false, false},
      {"Добавить Порт РТМ-03 \"Сигма\"", 109, false, false},
      {"Добавить Порт СЭТ-4ТМ", 113, false, false},
      {"Добавить Порт Меркурий-230", 114, false, false},
      {"Добавить Порт выдачи MKT-3", 103, true, false},
      {"Добавить Порт опроса ЦП8500", 116, true, false},
      {"Добавить Порт дискретной логики", 131, true, false},
      {"Добавить Порт автоматики", 117, true, false},
      {"Добавить Порт установки времени", 120, true, false},
      {"Добавить Порт сервера времени", 130, true, false},
      {"Добавить Порт двухпозиционных ТС", 132, true, false},
      {"Добавить Порт двухпозиционного ТУ", 133, true, false},
  };
  return entries;
}

bool PortEntryEnabled(const TDocument& doc, int tag, bool cpu927) {
  const TPortMenuEntry* e = nullptr;
  for (const auto& x : PortMenuEntries())
    if (x.tag == tag) e = &x;
  if (!e || !e->shown || !doc.Factory().KnowsMenu(tag)) return false;
  if (e->cpu927Only && !cpu927) return false;
  if (tag == 117 || tag == 131 || tag == 132 || tag == 133) {
    // The controller runs one automation, one logic and one of each two-position port.
    if (TNode* proc = doc.ProcNode())
      for (int i = 0; i < proc->ChildCount(); ++i)
        if (proc->Child(i)->Item() && proc->Child(i)->Item()->SectionCode() == tag) return false;
  }
  return true;
}

int LowestFreePortNumber(const TDocument& doc, const TItem* except) {
  std::bitset<256> used;
  if (TNode* proc = doc.ProcNode())
    for (int i = 0; i < proc->ChildCount(); ++i)
      if (TItem* it = proc->Child(i)->Item(); it && it != except) used.set(it->number);
  for (int n = 1; n <= 40; ++n)
    if (!used.test(static_cast<std::size_t>(n))) return n;
  return 1;
}

TNode* AddPortFromMenu(TDocument& doc, int tag) {
  TItemPlace place = TItemPlace::Port;
  auto item = doc.Factory().MakeFromMenu(tag, &place);
  if (!item || place != TItemPlace::Port || !doc.ProcNode()) return nullptr;
  // With a fixed 1 a second port would make every save fail on duplicate numbers.
  int number = LowestFreePortNumber(doc);
  TNode* n = doc.Tree().Add(doc.ProcNode(), std::move(item));
  n->Item()->number = static_cast<std::uint8_t>(number);
  n->Item()->UpdateNode();
  if (doc.Storage().Enabled()) n->expanded = true;
  doc.AfterEdit();
  return n;
}

}  // namespace t32
