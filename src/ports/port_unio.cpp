#include "ports/port_unio.h"

#include <algorithm>
#include <bitset>
#include <memory>

#include "model/boards.h"
#include "model/config.h"
#include "model/document.h"
#include "model/messages.h"
#include "model/storage.h"

namespace t32 {

namespace {
constexpr int kMaxModules = 255;
const char* const kTuWork = "Работа ТУ";
const char* const kTuFault = "Сбой ТУ";
}  // namespace

// ---------------------------------------------------------------------------------------
TUnioModule::TUnioModule() {
  popup = TPopup::DeleteMenu;
  number = 1;
  iconIndex = 3;
}

void TUnioModule::Create(TNode* n) {
  TPort::Create(n);
  UpdateNode();
}

void TUnioModule::UpdateNode() {
  if (!node) return;
  node->SetCaption(std::to_string(number) + "_" + name);
  node->SetImages(iconIndex);
}

TPortUnio* TUnioModule::Port() const {
  return node && node->Parent() ? dynamic_cast<TPortUnio*>(node->Parent()->Item()) : nullptr;
}

TParams* TUnioModule::Table(int type) const {
  for (TItem* ch : ChildItems())
    if (auto* t = dynamic_cast<TParams*>(ch); t && t->IsSource() && t->Type() == type) return t;
  return nullptr;
}

TParams* TUnioModule::AddTable(int type, int tableRole, int index) {
  if (!node || !node->Tree()) return nullptr;
  auto t = MakeParams(type, tableRole);
  t->owner = this;
  if (tableRole == kRoleOutput) t->name = "Выходы";
  TParams* p = t.get();
  node->Tree()->Add(node, std::move(t), std::min(index, node->ChildCount()));
  node->expanded = true;
  return p;
}

bool TUnioModule::DuplicateAddress() const {
  TPortUnio* p = Port();
  if (!p) return false;
  for (TUnioModule* m : p->Modules())
    if (m != this && m->number == number) return true;
  return false;
}

void TUnioModule::ChangeAddress(int address) {
  address = std::clamp(address, 1, 255);
  TPortUnio* p = Port();
  TParams* st = p ? p->StatusTable() : nullptr;
  TParam* row = nullptr;
  if (st) {
    // The rows follow the modules in child order: this module's row sits at its position.
    auto mods = p->Modules();
    auto it = std::find(mods.begin(), mods.end(), this);
    TParam* at = st->At(static_cast<int>(it - mods.begin()));
    if (at && at->DefaultSuffix() == "связь_" + Caption()) row = at;
  }
  number = static_cast<std::uint8_t>(address);
  UpdateNode();
  if (row) {
    std::string def = p->Prefix() + ".связь_" + Caption();
    bool wasDefault = row->Name() == row->DefaultName();
    row->SetDefaultName(def);
    if (wasDefault) row->SetName(def);
  }
  UpdateStatusTable();
}

void TUnioModule::AfterOwnTables() {
  if (TPortUnio* p = Port())
    p->UpdateStatusTable();
  else if (TDocument* d = Doc())
    d->Storage().Rebuild();
}

void TUnioModule::EnumerateSignals(TStorageLists& lists) {
  if (TParams* t = Table(kSigTS)) lists.Append(t);
  if (TParams* t = Table(kSigTU)) lists.Append(t);
}

void TUnioModule::LoadTables(TConfig& c) {
  TChildReader rd(c);
  for (TItem* ch : ChildItems()) {
    auto* t = dynamic_cast<TParams*>(ch);
    if (!t) continue;
    if (rd.Peek() != t->SectionCode()) break;
    rd.Load(t);
  }
}

// ---------------------------------------------------------------------------------------
TMDS24::TMDS24() {
  name = "МДС-24";
  frameClass = "TMDS24Frame";
}

void TMDS24::SetDefaults() {
  retries = 5;
  responseWait = 500;
  controlPeriod = 600000;
  debounce = 50;
  mode = 0;
}

void TMDS24::Fields(TFieldVisitor& v) {
  v.U8({"address", 1, 1, 255}, number);
  v.U8({"retries", 62, 2, 99}, retries);
  v.U16({"responseWait", 57, 1, 65500}, responseWait);
  v.U32({"controlPeriodMs", 31, 0, 60000.0 * 60000}, controlPeriod);
  v.U16({"debounce", 17, 0, 60000}, debounce);
  v.U8({"mode", 8, 0, 1}, mode);
}

void TMDS24::SetMode(int m) {
  mode = m == 1 ? 1 : 0;
  UpdateStatusTable();
}

void TMDS24::UpdateStatusTable() {
  UpdateNode();
  TParams* t = Table(kSigTS);
  if (!t) t = AddTable(kSigTS, kRoleSource, 0);
  if (t) t->Build(TsCount(), portPrefix + "." + Caption());
  AfterOwnTables();
}

void TMDS24::LoadFromImage(TConfig& c) {
  if (!EnterSection(c, 221)) return;
  TImageReader r(c);
  Fields(r);
  if (mode > 1) mode = 0;
  UpdateNode();
  UpdateStatusTable();
  LoadTables(c);
}

// ---------------------------------------------------------------------------------------
TRelayModule::TRelayModule(int outputs) : outputs_(outputs) { responseWait = 2000; }

TMRK12::TMRK12() : TRelayModule(12) {
  name = "МРК-12";
  frameClass = "TMRK12Frame";
}

TMDK24::TMDK24() : TRelayModule(24) {
  name = "МДК-24";
  frameClass = "TMDK24Frame";
}

const char* TMRK12::ModeName(int m) const {
  static const char* const names[4] = {"4 ТУ с подтверждением", "6 ТУ без подтверждения", "10 ТУ по однорелейной схеме",
                                       "12 дискретных выходов"};
  return m >= 0 && m < 4 ? names[m] : "";
}

const char* TMDK24::ModeName(int m) const {
  static const char* const names[4] = {"8 ТУ с подтверждением", "12 ТУ без подтверждения", "22 ТУ по однорелейной схеме",
                                       "24 дискретных выхода"};
  return m >= 0 && m < 4 ? names[m] : "";
}

int TRelayModule::TuCount() const {
  static const int mrk[4] = {4, 6, 10, 12};
  static const int mdk[4] = {8, 12, 22, 24};
  int m = std::clamp<int>(mode, 0, 3);
  return outputs_ == 12 ? mrk[m] : mdk[m];
}

void TRelayModule::SetDefaults() {
  retries = 5;
  responseWait = 2000;
  tuTime = 2000;
  mode = 0;
}

void TRelayModule::Fields(TFieldVisitor& v) {
  v.U8({"address", 1, 1, 255}, number);
  v.U8({"retries", 62, 2, 99}, retries);
  v.U16({"responseWait", 57, 1, 65500}, responseWait);
  v.U16({"tuTime", 19, 100, 60000}, tuTime);
  v.U8({"mode", 8, 0, 3}, mode);
}

TParams* TRelayModule::OutputTable() const {
  for (TItem* ch : ChildItems())
    if (auto* t = dynamic_cast<TParams*>(ch); t && t->IsOutput()) return t;
  return nullptr;
}

void TRelayModule::SetMode(int m) {
  mode = static_cast<std::uint8_t>(std::clamp(m, 0, 3));
  UpdateStatusTable();
}

void TRelayModule::UpdateStatusTable() {
  UpdateNode();
  version = mode == 3 ? 2 : 1;
  TParams* ts = Table(kSigTS);
  if (!ts) ts = AddTable(kSigTS, kRoleSource, 0);
  TParams* tu = Table(kSigTU);
  if (!tu) tu = AddTable(kSigTU, kRoleSource, 1);
  TParams* out = OutputTable();
  if (mode == 3 && !out)
    AddTable(kSigTS, kRoleOutput, 2);
  else if (mode != 3 && out && node && node->Tree())
    node->Tree()->Delete(out->node);
  const std::string prefix = portPrefix + "." + Caption();
  if (ts) ts->BuildFromList({kTuWork, kTuFault}, 0, prefix);
  if (tu) tu->Build(TuCount(), prefix);
  AfterOwnTables();
}

void TRelayModule::LoadFromImage(TConfig& c) {
  if (!EnterSection(c, SectionCode())) return;
  TImageReader r(c);
  Fields(r);
  if (mode > 3) mode = 0;
  UpdateNode();
  UpdateStatusTable();
  LoadTables(c);
}

void TRelayModule::AfterLoad() {
  if (TParams* out = OutputTable()) out->ResolveReferences();
}

void TRelayModule::ResolveOutputTables() {
  if (TParams* out = OutputTable()) out->RelinkOutputRows();
}

std::string TRelayModule::SignalAddressText(int row, int /*kind*/) const {
  return row >= 0 && row < outputs_ ? std::to_string(row + 1) : std::string();
}

// ---------------------------------------------------------------------------------------
TPortUnio::TPortUnio() {
  name = "UNIO";
  frameClass = "TPortUnioFrame";
  popup = TPopup::AddMdsMrkMenu;
  interfaces = kIfRS485;
  number = 1;
  iconIndex = 2;
}

void TPortUnio::UpdateNode() {
  TPort::UpdateNode();
  if (node) node->SetImages(boundChannel ? iconIndex : 0);
}

void TPortUnio::Fields(TFieldVisitor& v) {
  v.U8({"number", 1, 1, 40}, number);
  v.U8({"moduleCount", 20, 0, kMaxModules}, moduleCount);
}

TParams* TPortUnio::StatusTable() const {
  if (!node || node->ChildCount() == 0) return nullptr;
  return dynamic_cast<TParams*>(node->Child(0)->Item());
}

std::vector<TUnioModule*> TPortUnio::Modules() const {
  std::vector<TUnioModule*> out;
  for (TItem* ch : ChildItems())
    if (auto* m = dynamic_cast<TUnioModule*>(ch)) out.push_back(m);
  return out;
}

int TPortUnio::FreeAddress() const {
  std::bitset<256> used;
  for (TUnioModule* m : Modules()) used.set(m->number);
  for (int a = 1; a <= 255; ++a)
    if (!used.test(static_cast<std::size_t>(a))) return a;
  return 0;
}

namespace {
std::unique_ptr<TUnioModule> MakeModule(int code) {
  switch (code) {
    case 221: return std::make_unique<TMDS24>();
    case 222: return std::make_unique<TMRK12>();
    case 229: return std::make_unique<TMDK24>();
    default: return nullptr;
  }
}
}  // namespace

TUnioModule* TPortUnio::AddModule(int code) {
  auto m = MakeModule(code);
  if (!m || !node || !node->Tree()) return nullptr;
  int address = FreeAddress();
  if (address == 0 || static_cast<int>(Modules().size()) >= kMaxModules) {
    Messages().ShowError("К порту " + Caption() + " подключено наибольшее число модулей");
    return nullptr;
  }
  TUnioModule* mod = m.get();
  mod->number = static_cast<std::uint8_t>(address);
  mod->portPrefix = Prefix();
  node->Tree()->Add(node, std::move(m));
  node->expanded = true;
  moduleCount = static_cast<std::uint8_t>(Modules().size());
  mod->UpdateStatusTable();
  mod->UpdateNode();
  return mod;
}

void TPortUnio::AddChildren(int menuTag) { AddModule(menuTag); }

namespace {
std::vector<std::string> StatusEntries(const std::vector<TUnioModule*>& mods) {
  std::vector<std::string> e;
  bool relay = false;
  for (TUnioModule* m : mods) {
    e.push_back("связь_" + m->Caption());
    relay = relay || m->HasTuRows();
  }
  if (relay) {
    e.push_back(kTuWork);
    e.push_back(kTuFault);
  }
  return e;
}
}  // namespace

void TPortUnio::RecountChildren() {
  auto mods = Modules();
  bool changed = static_cast<int>(mods.size()) != moduleCount;
  moduleCount = static_cast<std::uint8_t>(std::min<std::size_t>(mods.size(), kMaxModules));
  // A module dragged here from another port takes this port's prefix.
  rebuilding = true;
  for (TUnioModule* m : mods)
    if (m->portPrefix != Prefix()) {
      m->SetPortPrefix(Prefix());
      m->UpdateStatusTable();
      changed = true;
    }
  rebuilding = false;
  if (!changed) {
    // A module dragged away: the rows no longer match the modules.
    std::vector<std::string> want = StatusEntries(mods);
    TParams* t = StatusTable();
    int have = t ? t->Count() : 0;
    if (static_cast<int>(want.size()) != have) changed = true;
    for (int i = 0; !changed && i < have; ++i)
      if (!t->At(i) || t->At(i)->DefaultSuffix() != want[static_cast<std::size_t>(i)]) changed = true;
  }
  if (changed) UpdateStatusTable();
}

void TPortUnio::UpdateStatusTable() {
  if (rebuilding || !node || !node->Tree()) return;
  auto mods = Modules();
  TParams* t = StatusTable();
  if (mods.empty()) {
    if (t) node->Tree()->Delete(t->node);
  } else {
    if (!t) {
      auto table = MakeParams(kSigTS, kRoleSource);
      table->owner = this;
      t = table.get();
      node->Tree()->Add(node, std::move(table), 0);
      node->expanded = true;
    }
    t->BuildFromList(StatusEntries(mods), 0, Prefix());
  }
  if (TDocument* d = Doc()) d->Storage().Rebuild();
}

void TPortUnio::ChangeNumber(int n) {
  number = static_cast<std::uint8_t>(std::clamp(n, 1, 40));
  UpdateNode();
  rebuilding = true;
  for (TUnioModule* m : Modules()) {
    m->SetPortPrefix(Prefix());
    m->UpdateStatusTable();
  }
  rebuilding = false;
  UpdateStatusTable();
}

std::string TPortUnio::CountText() const {
  return "Количество подключенных модулей = " + std::to_string(Modules().size());
}

void TPortUnio::BindingChanged() {
  // The modules talk at 57600 baud without parity.
  if (auto* ch = dynamic_cast<TRS232*>(boundChannel)) {
    ch->SetSpeed(57600);
    ch->SetParity(0);
  }
  UpdateNode();
}

void TPortUnio::SaveToImage(TConfig& c) {
  moduleCount = static_cast<std::uint8_t>(std::min<std::size_t>(Modules().size(), kMaxModules));
  std::int32_t s = c.Pos;
  c.BeginSection(125);
  c.PutU8(48, version);
  c.PutU8(1, number);
  c.PutU8(20, moduleCount);
  PutBinding(c);
  WriteChildren(c);  // the status table is the first child, the modules follow
  c.EndSection(s);
}

void TPortUnio::LoadFromImage(TConfig& c) {
  if (!EnterSection(c, 125)) return;
  c.GetU8(1, number);
  c.GetU8(20, moduleCount);
  std::uint8_t channel = 0;
  if (c.GetU8(30, channel)) BindByAddress(channel);
  UpdateNode();
  if (!node || !node->Tree()) return;
  TChildReader rd(c);
  // The stored count says whether a status table was written; its rows follow the modules,
  // so the table is read after them.
  std::int32_t tableAt = -1;
  if (moduleCount > 0 && rd.Peek() == 211) {
    tableAt = c.FindSection();
    rd.Skip();
  }
  int added = 0;
  rebuilding = true;
  while (added < moduleCount && rd.Peek() >= 0) {
    auto m = MakeModule(rd.Peek());
    if (!m) {
      rd.Skip();
      continue;
    }
    m->portPrefix = Prefix();
    TNode* n = node->Tree()->Add(node, std::move(m));
    rd.Load(n->Item());
    ++added;
  }
  rebuilding = false;
  moduleCount = static_cast<std::uint8_t>(added);
  UpdateStatusTable();
  if (tableAt >= 0)
    if (TParams* t = StatusTable()) {
      std::int32_t back = c.Pos;
      c.Pos = tableAt;
      t->LoadFromImage(c);
      c.Pos = back;
    }
  node->expanded = true;
}

void TPortUnio::EnumerateSignals(TStorageLists& lists) {
  if (TParams* t = StatusTable()) lists.Append(t);
  for (TUnioModule* m : Modules()) m->EnumerateSignals(lists);
}

void TPortUnio::AfterLoad() {
  for (TUnioModule* m : Modules()) m->AfterLoad();
}

void TPortUnio::ResolveOutputTables() {
  for (TUnioModule* m : Modules()) m->ResolveOutputTables();
}

}  // namespace t32
