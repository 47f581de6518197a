#include "ports/port_twopos.h"

#include <algorithm>

#include "model/boards.h"
#include "model/config.h"
#include "model/document.h"
#include "model/messages.h"
#include "model/storage.h"
#include "ports/port_time.h"

namespace t32 {

TPortTwoPos::TPortTwoPos(int type) {
  popup = TPopup::DeleteMenu;
  number = 1;
  signalKind = static_cast<std::uint8_t>(type);
  role = 3;
  iconIndex = type == kSigTS ? 5 : 6;
}

TPortTS2::TPortTS2() : TPortTwoPos(kSigTS) {
  name = "ТС-2";
  frameClass = "TTS2Frame";
}

TPortTU2::TPortTU2() : TPortTwoPos(kSigTU) {
  name = "ТУ-2";
  frameClass = "TTU2Frame";
}

void TPortTwoPos::Create(TNode* n) {
  TPort::Create(n);
  BindToProcessor(*this);
  UpdateNode();
}

void TPortTwoPos::UpdateNode() {
  TPort::UpdateNode();
  if (node) node->SetImages(iconIndex);
}

void TPortTwoPos::Fields(TFieldVisitor& v) {
  v.U8({"number", 1, 1, 40}, number);
  v.U16({"count", 13, 0, kMaxRows}, count);
}

TParams* TPortTwoPos::Table() const {
  if (!node || node->ChildCount() == 0) return nullptr;
  auto* t = dynamic_cast<TParams*>(node->Child(0)->Item());
  return t && t->IsSource() && t->Type() == Type() ? t : nullptr;
}

TTwoPosRecord* TPortTwoPos::Record(int i) const {
  return i >= 0 && i < RecordCount() ? records[static_cast<std::size_t>(i)].get() : nullptr;
}

std::unique_ptr<TTwoPosRecord> TPortTwoPos::NewRecord(int position) const {
  std::unique_ptr<TTwoPosRecord> r;
  if (Type() == kSigTS)
    r = std::make_unique<TTS2>();
  else
    r = std::make_unique<TTU2>();
  r->name = "Пр" + std::to_string(position + 1);
  return r;
}

void TPortTwoPos::SetCount(int n) { count = static_cast<std::uint16_t>(std::clamp(n, 0, kMaxRows)); }

void TPortTwoPos::UpdateStatusTable() {
  UpdateNode();
  const std::size_t want = std::min<std::size_t>(count, kMaxRows);
  if (records.size() > want) records.resize(want);
  while (records.size() < want) records.push_back(NewRecord(static_cast<int>(records.size())));
  TParams* t = Table();
  if (want == 0) {
    if (t && node && node->Tree()) node->Tree()->Delete(t->node);
    t = nullptr;
  } else if (!t && node && node->Tree()) {
    auto table = MakeParams(Type(), kRoleSource);
    table->owner = this;
    t = table.get();
    node->Tree()->Add(node, std::move(table), 0);
    node->expanded = true;
  }
  if (t) {
    std::vector<std::string> names;
    names.reserve(records.size());
    for (const auto& r : records) names.push_back(r->name);
    t->BuildFromList(names, 0, Prefix());
  }
  if (TDocument* d = Doc()) d->Storage().Rebuild();
}

void TPortTwoPos::NamesFromTable() {
  TParams* t = Table();
  if (!t) return;
  const int n = std::min(t->Count(), RecordCount());
  for (int i = 0; i < n; ++i)
    if (const TParam* row = t->At(i)) records[static_cast<std::size_t>(i)]->name = row->Suffix();
}

bool TPortTwoPos::SetSignal(int record, bool on, TParamRef row) {
  TTwoPosRecord* r = Record(record);
  if (!r) return false;
  if (row) {
    TDocument* d = Doc();
    // Only a signal of the storage list of this port's type: a ТУ dragged onto a ТС-2 field
    // would be written as an index into the wrong list.
    if (!d || d->Storage().IndexOf(Type(), row.get()) < 0) return false;
  }
  (on ? r->on : r->off) = std::move(row);
  return true;
}

bool TPortTwoPos::DeleteRecord(int record) {
  TTwoPosRecord* r = Record(record);
  if (!r) return false;
  if (Messages().AskConfirm("Удалить сигнал " + r->name + " ?") != kYes) return false;
  records.erase(records.begin() + record);
  if (count > 0) --count;
  UpdateStatusTable();
  return true;
}

void TPortTwoPos::EnumerateSignals(TStorageLists& lists) {
  if (TParams* t = Table()) lists.Append(t);
}

void TPortTwoPos::AfterLoad() {
  TDocument* d = Doc();
  if (!d) return;
  for (auto& r : records) {
    r->off = r->offIndex == kNoIndex ? nullptr : d->Storage().AcquireByIndex(Type(), r->offIndex);
    r->on = r->onIndex == kNoIndex ? nullptr : d->Storage().AcquireByIndex(Type(), r->onIndex);
  }
}

void TPortTwoPos::SaveToImage(TConfig& c) {
  // The count written is the number of records that follow: a count typed but never applied
  // with "Установить" would make the controller expect records that are not there.
  count = static_cast<std::uint16_t>(RecordCount());
  std::int32_t s = c.Pos;
  c.BeginSection(static_cast<std::uint16_t>(SectionCode()));
  c.PutU8(48, version);
  TImageWriter w(c);
  Fields(w);
  TStorage* st = Doc() ? &Doc()->Storage() : nullptr;
  for (auto& r : records) {
    r->offIndex = r->onIndex = kNoIndex;
    if (st && r->off) {
      int k = st->IndexOfRelinked(Type(), r->off);
      if (k >= 0) r->offIndex = static_cast<std::uint16_t>(k);
    }
    if (st && r->on) {
      int k = st->IndexOfRelinked(Type(), r->on);
      if (k >= 0) r->onIndex = static_cast<std::uint16_t>(k);
    }
    std::int32_t rs = c.Pos;
    c.BeginSection(static_cast<std::uint16_t>(RecordCode()));
    c.PutU8(48, 1);
    c.PutU16(43, static_cast<std::uint16_t>(r->a | (r->b << 8)));
    c.PutU16(111, r->offIndex);
    c.PutU16(110, r->onIndex);
    if (Type() == kSigTS) c.PutU16(17, r->transition);
    c.EndSection(rs);
  }
  if (TParams* t = Table()) t->SaveToImage(c);
  c.EndSection(s);
}

void TPortTwoPos::LoadRecord(TConfig& c, TTwoPosRecord& r) {
  if (c.NextSection() != RecordCode()) return;
  std::uint8_t v = 1;
  if (c.GetU8(48, v) && v > 1) {
    Messages().ShowError(Type() == kSigTS ? "Новая версия TS2" : "Новая версия TU2");
    return;
  }
  std::uint16_t ab = static_cast<std::uint16_t>(r.a | (r.b << 8));
  c.GetU16(43, ab);
  r.a = static_cast<std::uint8_t>(ab & 0xFF);
  r.b = static_cast<std::uint8_t>(ab >> 8);
  c.GetU16(111, r.offIndex);
  c.GetU16(110, r.onIndex);
  if (Type() == kSigTS) c.GetU16(17, r.transition);
}

void TPortTwoPos::LoadFromImage(TConfig& c) {
  if (!EnterSection(c, SectionCode())) return;
  std::uint16_t stored = count;
  c.GetU8(1, number);
  c.GetU16(13, stored);
  if (stored > kMaxRows) {
    Messages().ShowError("В порту " + Caption() + " записано " + std::to_string(stored) + " сигналов, прочитаны первые " +
                         std::to_string(kMaxRows));
    stored = kMaxRows;
  }
  count = stored;
  records.clear();
  UpdateStatusTable();
  UpdateNode();
  TChildReader rd(c);
  const int tableCode = SignalTypeInfo(Type()).sectionCode;
  for (auto& r : records) {
    int code = rd.Peek();
    // The table closes the section: a port written with fewer records keeps its names.
    if (code < 0 || code == tableCode) break;
    if (code != RecordCode()) {
      rd.Skip();
      continue;
    }
    std::int32_t at = c.FindSection();
    LoadRecord(c, *r);
    c.Pos = c.SectionEnd(at);
  }
  while (rd.Peek() >= 0 && rd.Peek() != tableCode) rd.Skip();
  if (TParams* t = Table(); t && rd.Peek() == tableCode) rd.Load(t);
  NamesFromTable();
}

void TPortTwoPos::DumpExtra(std::string& out, const std::string& indent) const {
  for (int i = 0; i < RecordCount(); ++i) {
    const TTwoPosRecord& r = *records[static_cast<std::size_t>(i)];
    auto nm = [](const TParamRef& p) { return p ? "\"" + p->Name() + "\"" : std::string("-"); };
    out += indent + "record " + std::to_string(i + 1) + " \"" + r.name + "\": off=" + nm(r.off) + " on=" + nm(r.on) +
           " a=" + std::to_string(r.a) + " b=" + std::to_string(r.b);
    if (Type() == kSigTS) out += " transition=" + std::to_string(r.transition);
    out += "\n";
  }
}

}  // namespace t32
