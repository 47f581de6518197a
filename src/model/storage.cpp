#include "model/storage.h"

#include <atomic>

#include "model/cp1251.h"
#include "model/document.h"
#include "model/messages.h"

namespace t32 {

void TStorageLists::Append(const TParams* table) {
  if (!table || !ValidSignalType(table->Type())) return;
  std::size_t t = static_cast<std::size_t>(table->Type());
  auto& g = gathered[t];
  for (const TParamRef& r : table->Rows()) {
    if (!r) continue;
    if (g.size() >= static_cast<std::size_t>(kMaxRows))
      ++dropped[t];
    else
      g.push_back(&r);
  }
}

TStorage::TStorage(TDocument& doc) : doc_(doc) {
  for (int t = 1; t <= 6; ++t) lists_[static_cast<std::size_t>(t)] = MakeParams(t, kRoleStorage);
  lists_[0] = MakeParams(kSigTS, kRoleStorage);  // unused slot, keeps List() total
  legacyWidth_.assign(kMaxRows, 0);
}

TStorage::~TStorage() = default;

TParams& TStorage::List(int type) { return *lists_[ValidSignalType(type) ? static_cast<std::size_t>(type) : 1]; }
const TParams& TStorage::List(int type) const {
  return *lists_[ValidSignalType(type) ? static_cast<std::size_t>(type) : 1];
}

void TStorage::Clear() {
  for (auto& l : lists_) l->ClearRows();
}

void TStorage::RefreshViews() {
  if (onRefresh) onRefresh();
}

void TStorage::Rebuild() {
  TNode* root = doc_.Tree().Root();
  if (!enabled_ || !root || root->ChildCount() == 0) return;
  TStorageLists lists;
  for (auto& g : lists.gathered) g.reserve(kMaxRows);
  for (int t = 1; t <= 6; ++t) lists.byType[static_cast<std::size_t>(t)] = lists_[static_cast<std::size_t>(t)].get();
  for (int i = 1; i < root->ChildCount(); ++i) root->Child(i)->Item()->EnumerateSignals(lists);
  TNode* proc = doc_.ProcNode();
  if (proc) {
    for (int i = 0; i < proc->ChildCount(); ++i) proc->Child(i)->Item()->EnumerateSignals(lists);
  }
  // Stamps unique across documents, so a row never takes another storage's stamp for ours.
  static std::atomic<std::uint64_t> stamps{0};
  for (int t = 1; t <= 6; ++t) {
    std::size_t k = static_cast<std::size_t>(t);
    TParams& l = *lists_[k];
    bool changed = l.AssignRows(lists.gathered[k]);
    if (!changed && stamp_[k] != 0 && stampMod_[k] == l.ModCount()) continue;
    std::uint64_t s = stamps.fetch_add(1, std::memory_order_relaxed) + 1;
    for (int i = 0; i < l.Count(); ++i)
      if (TParam* r = l.At(i); r && r->storageStamp != s) {
        r->storageStamp = s;  // the first place wins, as a scan would find it
        r->storageIndex = i;
      }
    stamp_[k] = s;
    stampMod_[k] = l.ModCount();
  }
  if (proc)
    for (int i = 0; i < proc->ChildCount(); ++i) proc->Child(i)->Item()->ResolveOutputTables();
  // Say once when the signals of a type stop fitting, not on every rebuild.
  for (int t = 1; t <= 6; ++t) {
    std::size_t k = static_cast<std::size_t>(t);
    if (lists.dropped[k] > 0 && dropped_[k] == 0)
      doc_.Messages().ShowError("Сигналов " + std::string(SignalTypeInfo(t).tableName) + " больше " +
                                std::to_string(kMaxRows) + ": " + std::to_string(lists.dropped[k]) +
                                " последних не получили адреса в контроллере");
    dropped_[k] = lists.dropped[k];
  }
  RefreshViews();
}

// --- indexes ---------------------------------------------------------------------------
bool TStorage::Snapshot::Current(const TParams& l) {
  if (mod == l.ModCount()) return true;
  if (rows.size() != static_cast<std::size_t>(l.Count())) return false;
  for (int i = 0; i < l.Count(); ++i)
    if (rows[static_cast<std::size_t>(i)] != l.At(i)) return false;
  mod = l.ModCount();
  return true;
}

void TStorage::Snapshot::Take(const TParams& l) {
  mod = l.ModCount();
  rows.resize(static_cast<std::size_t>(l.Count()));
  for (int i = 0; i < l.Count(); ++i) rows[static_cast<std::size_t>(i)] = l.At(i);
}

const TStorage::NameIndex& TStorage::DefaultIndex(int type) {
  std::size_t t = ValidSignalType(type) ? static_cast<std::size_t>(type) : 1;
  NameIndex& ix = byDefault_[t];
  const TParams& l = *lists_[t];
  if (!ix.snap.Current(l) || ix.epoch != TParam::DefaultNameEpoch()) {
    ix.first.clear();
    ix.first.reserve(static_cast<std::size_t>(l.Count()));
    for (int i = 0; i < l.Count(); ++i)
      if (const TParam* r = l.At(i)) ix.first.emplace(r->DefaultName(), i);  // keeps the first
    ix.snap.Take(l);
    ix.epoch = TParam::DefaultNameEpoch();
  }
  return ix;
}

const TStorage::NameIndex& TStorage::NameIdx(int type) {
  std::size_t t = ValidSignalType(type) ? static_cast<std::size_t>(type) : 1;
  NameIndex& ix = byName_[t];
  const TParams& l = *lists_[t];
  if (!ix.snap.Current(l) || ix.epoch != TParam::NameEpoch()) {
    ix.first.clear();
    ix.first.reserve(static_cast<std::size_t>(l.Count()));
    for (int i = 0; i < l.Count(); ++i)
      if (const TParam* r = l.At(i); r && !r->Name().empty()) ix.first.emplace(r->Name(), i);
    ix.snap.Take(l);
    ix.epoch = TParam::NameEpoch();
  }
  return ix;
}

namespace {
std::size_t Utf8Skip(std::string_view s, std::size_t chars) {
  std::size_t i = 0;
  while (i < s.size() && chars > 0) {
    ++i;
    while (i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) ++i;
    --chars;
  }
  return i;
}

// Text after the first dot, or the whole name marked as dotless.
std::string Tail(const std::string& s, std::size_t& dotChars) {
  std::size_t dot = s.find('.');
  if (dot == std::string::npos) {
    dotChars = std::string::npos;
    return "\x01" + s;
  }
  dotChars = Utf8Length(std::string_view(s).substr(0, dot));
  return s.substr(dot + 1);
}
}  // namespace

const TStorage::TailIndex& TStorage::Tails(int type) {
  std::size_t t = ValidSignalType(type) ? static_cast<std::size_t>(type) : 1;
  TailIndex& ix = byTail_[t];
  const TParams& l = *lists_[t];
  if (!ix.snap.Current(l) || ix.epoch != TParam::NameEpoch()) {
    ix.byTail.clear();
    ix.byTail.reserve(static_cast<std::size_t>(l.Count()));
    std::size_t dc;
    for (int i = 0; i < l.Count(); ++i)
      if (const TParam* r = l.At(i); r && !r->Name().empty()) ix.byTail[Tail(r->Name(), dc)].push_back(i);
    ix.snap.Take(l);
    ix.epoch = TParam::NameEpoch();
  }
  return ix;
}

const TStorage::PtrIndex& TStorage::Ptrs(int type) {
  std::size_t t = ValidSignalType(type) ? static_cast<std::size_t>(type) : 1;
  PtrIndex& ix = byPtr_[t];
  const TParams& l = *lists_[t];
  if (!ix.snap.Current(l)) {
    ix.pos.clear();
    ix.pos.reserve(static_cast<std::size_t>(l.Count()));
    for (int i = 0; i < l.Count(); ++i) ix.pos.emplace(l.At(i), i);
    ix.snap.Take(l);
  }
  return ix;
}

// --- look-ups --------------------------------------------------------------------------
TParamRef TStorage::FindByDefaultName(int type, const std::string& s) {
  if (!ValidSignalType(type)) return nullptr;
  const NameIndex& ix = DefaultIndex(type);
  auto it = ix.first.find(s);
  return it == ix.first.end() ? nullptr : List(type).Ref(it->second);
}

TParamRef TStorage::FindByName(int type, const std::string& s) {
  if (!ValidSignalType(type) || s.empty()) return nullptr;
  const NameIndex& ix = NameIdx(type);
  auto it = ix.first.find(s);
  return it == ix.first.end() ? nullptr : List(type).Ref(it->second);
}

TParamRef TStorage::AcquireMatching(int type, const std::string& s) {
  if (!ValidSignalType(type) || s.empty()) return nullptr;
  std::size_t dotS;
  std::string tail = Tail(s, dotS);
  if (dotS == std::string::npos) return FindByName(type, s);
  const TailIndex& ix = Tails(type);
  auto it = ix.byTail.find(tail);
  if (it == ix.byTail.end()) return nullptr;
  const TParams& l = List(type);
  std::string_view sv(s);
  for (int i : it->second) {
    const TParamRef& r = l.Ref(i);
    std::string_view rn(r->Name());
    std::size_t dotR = Utf8Length(rn.substr(0, rn.find('.')));
    // The shorter first word begins the longer one (3_DI begins 3_DI32; 3_DI33 and 3_DX do not).
    std::size_t k = std::min(dotR, dotS);
    if (rn.substr(0, Utf8Skip(rn, k)) == sv.substr(0, Utf8Skip(sv, k))) return r;
  }
  return nullptr;
}

TParamRef TStorage::AcquireByIndex(int type, int index) {
  if (!ValidSignalType(type) || index < 0 || index >= List(type).Count()) return nullptr;
  return List(type).Ref(index);
}

int TStorage::IndexOf(int type, const TParam* row) {
  if (!row || !ValidSignalType(type)) return -1;
  std::size_t t = static_cast<std::size_t>(type);
  if (lists_[t]->ModCount() == stampMod_[t] && stamp_[t] != 0)
    return row->storageStamp == stamp_[t] ? row->storageIndex : -1;
  const PtrIndex& ix = Ptrs(type);
  auto it = ix.pos.find(row);
  return it == ix.pos.end() ? -1 : it->second;
}

int TStorage::IndexOfRelinked(int type, TParamRef& row) {
  int i = IndexOf(type, row.get());
  if (i >= 0 || !row) return i;
  TParamRef found = AcquireByName(type, row->Name());
  if (!found) return -1;
  row = std::move(found);
  return IndexOf(type, row.get());
}

int TStorage::AddressOf(int type, const TParam* row) {
  int i = IndexOf(type, row);
  return i < 0 ? -1 : SignalTypeInfo(type).addressBase + i;
}

// --- legacy names ----------------------------------------------------------------------
void TStorage::ClearLegacyNames() {
  for (auto& l : legacy_) l.clear();
  legacyWidth_.assign(kMaxRows, 0);
}

namespace {
bool LegacyType(int type) { return type == kSigTS || type == kSigTU || type == kSigTI || type == kSigTR; }
}  // namespace

void TStorage::PutLegacyName(int index, int type, std::uint8_t width, const std::string& name) {
  if (!LegacyType(type) || index < 0 || index >= kMaxRows) return;
  auto& l = legacy_[static_cast<std::size_t>(type)];
  if (l.size() < static_cast<std::size_t>(index) + 1) l.resize(static_cast<std::size_t>(index) + 1);
  l[static_cast<std::size_t>(index)] = Utf8Left(name, 64);
  if (type == kSigTI) legacyWidth_[static_cast<std::size_t>(index)] = width;
}

int TStorage::LegacyCount(int type) const {
  return LegacyType(type) ? static_cast<int>(legacy_[static_cast<std::size_t>(type)].size()) : 0;
}

const std::string& TStorage::LegacyName(int type, int index) const {
  static const std::string none;
  if (index < 0 || index >= LegacyCount(type)) return none;
  return legacy_[static_cast<std::size_t>(type)][static_cast<std::size_t>(index)];
}

std::uint8_t TStorage::LegacyWidth(int index) const {
  return index >= 0 && index < kMaxRows ? legacyWidth_[static_cast<std::size_t>(index)] : 0;
}

// --- panel operations ------------------------------------------------------------------
void TStorage::RestoreDefaultNames(int type) {
  TParams& l = List(type);
  for (int i = 0; i < l.Count(); ++i)
    if (TParam* r = l.At(i); r && r->selected) {
      r->selected = false;
      r->SetName(r->DefaultName());
    }
  RefreshViews();
}

TParamRef TStorage::TakeSelectedRow(int type) {
  TParams& l = List(type);
  for (int i = l.Count() - 1; i >= 0; --i)
    if (TParam* r = l.At(i); r && r->selected) return l.Ref(i);
  return nullptr;
}

}  // namespace t32
