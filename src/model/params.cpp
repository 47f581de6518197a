#include "model/params.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <unordered_map>

#include "model/config.h"
#include "model/controller.h"
#include "model/cp1251.h"
#include "model/document.h"
#include "model/messages.h"
#include "model/storage.h"

namespace t32 {
namespace {

const TSignalTypeInfo kTypes[7] = {
    {1, "TParamsTS", 211, 13, "ТС", 5, 0x2000},     // index 0: fallback
    {1, "TParamsTS", 211, 13, "ТС", 5, 0x2000},     {2, "TParamsTU", 212, 15, "ТУ", 6, 0x6000},
    {3, "TParamsTI", 213, 14, "ТИ", 4, 0x4000},     {4, "TParamsTII", 214, 75, "ТИИ", 7, 0xA000},
    {5, "TParamsTR", 215, 74, "ТР", 12, 0x8000},    {6, "TParamsMTS", 219, 99, "МТС", 5, 0xC000},
};

std::atomic<std::uint64_t> gNameEpoch{0};
std::atomic<std::uint64_t> gDefaultEpoch{0};

// Byte offset after the first n characters of a UTF-8 text.
std::size_t Utf8Skip(std::string_view s, std::size_t chars) {
  std::size_t i = 0;
  while (i < s.size() && chars > 0) {
    ++i;
    while (i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) ++i;
    --chars;
  }
  return i;
}

std::string Cut64(std::string_view s) { return Utf8Left(s, 64); }

void PutU16Array(TConfig& c, std::uint16_t key, const std::vector<std::uint16_t>& v) {
  std::vector<std::uint8_t> b(v.size() * 2);
  for (std::size_t i = 0; i < v.size(); ++i) {
    b[2 * i] = static_cast<std::uint8_t>(v[i]);
    b[2 * i + 1] = static_cast<std::uint8_t>(v[i] >> 8);
  }
  c.PutEntry(key, b.size(), b.data());
}

bool GetU16Array(const TConfig& c, std::uint16_t key, std::vector<std::uint16_t>& v) {
  std::vector<std::uint8_t> b(v.size() * 2);
  for (std::size_t i = 0; i < v.size(); ++i) {
    b[2 * i] = static_cast<std::uint8_t>(v[i]);
    b[2 * i + 1] = static_cast<std::uint8_t>(v[i] >> 8);
  }
  if (!c.GetEntry(key, b.size(), b.data())) return false;
  for (std::size_t i = 0; i < v.size(); ++i) v[i] = static_cast<std::uint16_t>(b[2 * i] | (b[2 * i + 1] << 8));
  return true;
}

void PutF32Array(TConfig& c, std::uint16_t key, const std::vector<float>& v) {
  c.PutEntry(key, v.size() * 4, v.data());  // IEEE floats, little-endian host
}

bool GetF32Array(const TConfig& c, std::uint16_t key, std::vector<float>& v) {
  return c.GetEntry(key, v.size() * 4, v.data());
}

bool AnyNonZero(const std::vector<float>& v) {
  return std::any_of(v.begin(), v.end(), [](float f) { return f != 0; });
}

}  // namespace

const TSignalTypeInfo& SignalTypeInfo(int type) { return kTypes[ValidSignalType(type) ? type : 0]; }
bool ValidSignalType(int type) { return type >= 1 && type <= 6; }

// ---------------------------------------------------------------------------------------
void TParam::SetName(std::string_view name) {
  std::string n = Cut64(name);
  if (n == name_) return;
  name_ = std::move(n);
  gNameEpoch.fetch_add(1, std::memory_order_relaxed);
}

void TParam::SetDefaultName(std::string_view name) {
  std::string n = Cut64(name);
  if (n == defaultName_) return;
  defaultName_ = std::move(n);
  gDefaultEpoch.fetch_add(1, std::memory_order_relaxed);
}

std::string TParam::Suffix() const {
  return prefix.empty() ? name_ : TParams::NameSuffix(name_, Utf8Length(prefix));
}
std::string TParam::DefaultSuffix() const {
  return prefix.empty() ? defaultName_ : TParams::NameSuffix(defaultName_, Utf8Length(prefix));
}

void TParam::SetSuffix(std::string_view suffix) {
  SetName(prefix.empty() ? std::string(suffix) : prefix + "." + std::string(suffix));
}

void TParam::SplitPrefix() {
  // The owner's prefix (the one the row was built with) stays whenever the name still begins
  // with it: a user's suffix may hold dots of its own ("Насос.Пуск"). Only a name that does
  // not begin with it is split by its dots.
  if (!prefix.empty() && name_.size() > prefix.size() && name_.compare(0, prefix.size(), prefix) == 0 &&
      name_[prefix.size()] == '.')
    return;
  prefix = TParams::SplitPrefix(name_);
}

std::uint64_t TParam::NameEpoch() { return gNameEpoch.load(std::memory_order_relaxed); }
std::uint64_t TParam::DefaultNameEpoch() { return gDefaultEpoch.load(std::memory_order_relaxed); }

// ---------------------------------------------------------------------------------------
TParams::TParams(int type, int r) {
  signalKind = static_cast<std::uint8_t>(ValidSignalType(type) ? type : kSigTS);
  role = static_cast<std::uint8_t>(r);
  const TSignalTypeInfo& t = SignalTypeInfo(signalKind);
  name = t.tableName;
  addressBase = t.addressBase;
  static const char* frames[7] = {"TFrameTS", "TFrameTS", "TFrameTU", "TFrameTI", "TFrameTII", "TFrameTR", "TFrameMTS"};
  frameClass = frames[signalKind];
  popup = TPopup::None;
}

TParams::~TParams() = default;  // each row is released once

std::unique_ptr<TParams> MakeParams(int type, int role) {
  switch (type) {
    case kSigTU: return std::make_unique<TParamsTU>(role);
    case kSigTI: return std::make_unique<TParamsTI>(role);
    case kSigTII: return std::make_unique<TParamsTII>(role);
    case kSigTR: return std::make_unique<TParamsTR>(role);
    case kSigMTS: return std::make_unique<TParamsMTS>(role);
    default: return std::make_unique<TParamsTS>(role);
  }
}

void TParams::Create(TNode* n) {
  TItem::Create(n);
  if (node) node->SetImages(SignalTypeInfo(signalKind).icon);
}

void TParams::UpdateNode() {
  if (node) node->SetCaption(name);
}

TStorage* TParams::Storage() const {
  TDocument* d = Doc();
  if (!d && owner) d = owner->Doc();
  return d ? &d->Storage() : nullptr;
}

TProc* TParams::Proc() const {
  TDocument* d = Doc();
  if (!d && owner) d = owner->Doc();
  return d ? d->Proc() : nullptr;
}

const TParamRef& TParams::Ref(int i) const {
  static const TParamRef none;
  return i >= 0 && i < Count() ? rows_[static_cast<std::size_t>(i)] : none;
}

int TParams::IndexOfRow(const TParam* p) const {
  if (!p) return -1;
  for (int i = 0; i < Count(); ++i)
    if (rows_[static_cast<std::size_t>(i)].get() == p) return i;
  return -1;
}

TParamRef TParams::NewParam() const {
  auto p = std::make_shared<TParam>();
  if (signalKind == kSigTI) p->valueWidth = 2;
  return p;
}

bool TParams::RefuseOver(std::size_t newCount) {
  if (newCount <= static_cast<std::size_t>(kMaxRows)) return false;
  Messages().ShowError("В таблице " + Caption() + " не может быть больше " + std::to_string(kMaxRows) +
                       " сигналов: операция отменена");
  return true;
}

bool TParams::Append(TParamRef row) {
  if (RefuseOver(rows_.size() + 1)) return false;
  rows_.push_back(std::move(row));
  Touch();
  return true;
}

bool TParams::InsertRow(int at, TParamRef row) {
  if (RefuseOver(rows_.size() + 1)) return false;
  at = std::clamp(at, 0, Count());
  rows_.insert(rows_.begin() + at, std::move(row));
  Touch();
  return true;
}

void TParams::SetRow(int i, TParamRef row) {
  if (i < 0 || i >= Count()) return;
  rows_[static_cast<std::size_t>(i)] = std::move(row);
  Touch();
}

void TParams::RemoveRow(int i) {
  if (i < 0 || i >= Count()) return;
  rows_.erase(rows_.begin() + i);
  Touch();
}

void TParams::ClearRows() {
  if (rows_.empty()) return;
  rows_.clear();
  Touch();
}

bool TParams::NewEmptyRow(int index) { return InsertRow(index, std::make_shared<TParam>()); }

void TParams::LockRows() {
  for (auto& r : rows_)
    if (r) r->locked = true;
}

// ---------------------------------------------------------------------------------------
std::string TParams::SplitPrefix(std::string_view name) {
  if (name.find('.') == std::string_view::npos) return {};
  std::vector<std::string_view> words;
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t dot = name.find('.', start);
    std::size_t end = dot == std::string_view::npos ? name.size() : dot;
    if (end > start) words.push_back(name.substr(start, end - start));
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  if (words.empty()) return {};
  if (words.size() <= 2) return std::string(words[0]);
  std::string out;
  for (std::size_t i = 0; i + 1 < words.size(); ++i) {
    if (i) out += '.';
    out += words[i];
  }
  return out;
}

std::string TParams::NameSuffix(std::string_view name, std::size_t prefixChars) {
  return std::string(name.substr(Utf8Skip(name, prefixChars + 1)));
}

std::string TParams::ReprefixName(std::string_view name, std::size_t oldPrefixChars, std::string_view newPrefix) {
  std::string rest(name.substr(Utf8Skip(name, oldPrefixChars)));
  if (newPrefix.empty()) {
    // No owner part any more: the name is its suffix alone (no stray leading dot).
    if (!rest.empty() && rest[0] == '.') rest.erase(0, 1);
    return Cut64(rest);
  }
  if (rest.empty() || rest[0] != '.') rest.insert(0, ".");
  return Cut64(std::string(newPrefix) + rest);
}

namespace {
// The naming step shared by Build and BuildFromList.
void NameRow(TParam& r, const std::string& defaultName, const std::string& prefix) {
  // A row still carrying the owner's previous name takes the new one: only the user's own
  // names are carried over (re-prefixed).
  bool wasDefault = !r.Name().empty() && r.Name() == r.DefaultName();
  r.SetDefaultName(defaultName);
  if (r.Name().empty() || wasDefault)
    r.SetName(r.DefaultName());
  else if (r.Name() != r.DefaultName())
    r.SetName(TParams::ReprefixName(r.Name(), Utf8Length(r.prefix), prefix));
  r.prefix = prefix;
}
}  // namespace

bool TParams::Build(int count, const std::string& prefix) {
  if (count < 0 || RefuseOver(static_cast<std::size_t>(count))) return false;
  if (count != 0 && count != Count()) {
    rows_.resize(static_cast<std::size_t>(count));
    Touch();
  }
  for (int i = 0; i < Count(); ++i) {
    TParamRef& r = rows_[static_cast<std::size_t>(i)];
    if (!r) {
      r = NewParam();
      Touch();
    }
    r->number = static_cast<std::int16_t>(i);
    NameRow(*r, prefix + ".Пр" + std::to_string(i + 1), prefix);
  }
  return true;
}

bool TParams::BuildFromList(const std::vector<std::string>& list, std::uint8_t width, const std::string& prefix) {
  if (RefuseOver(list.size())) return false;
  std::vector<TParamRef> aside = std::move(rows_);
  rows_.clear();
  // Rows set aside by default suffix, in their order, so each entry takes the first one.
  std::unordered_map<std::string, std::vector<std::size_t>> bySuffix;
  for (std::size_t i = aside.size(); i-- > 0;)
    if (aside[i]) bySuffix[aside[i]->DefaultSuffix()].push_back(i);
  const std::string sep = prefix.empty() ? "" : ".";
  rows_.reserve(list.size());
  for (std::size_t i = 0; i < list.size(); ++i) {
    TParamRef r;
    auto it = bySuffix.find(list[i]);
    if (it != bySuffix.end() && !it->second.empty()) {
      r = std::move(aside[it->second.back()]);
      it->second.pop_back();
    } else {
      r = NewParam();
    }
    r->number = static_cast<std::int16_t>(i);
    r->valueWidth = width;
    NameRow(*r, prefix + sep + list[i], prefix);
    rows_.push_back(std::move(r));
  }
  Touch();
  return true;  // rows still set aside are released with `aside`
}

// ---------------------------------------------------------------------------------------
int TParams::AppendTo(TParams& list) const {
  int dropped = 0;
  for (const TParamRef& r : rows_) {
    if (!r) continue;
    if (list.rows_.size() >= static_cast<std::size_t>(kMaxRows)) {
      ++dropped;
      continue;
    }
    list.rows_.push_back(r);
  }
  list.Touch();
  return dropped;
}

bool TParams::AssignRows(const std::vector<const TParamRef*>& refs) {
  bool same = refs.size() == rows_.size();
  for (std::size_t i = 0; same && i < refs.size(); ++i) same = rows_[i] == *refs[i];
  if (same) return false;
  rows_.clear();
  rows_.reserve(refs.size());
  for (const TParamRef* r : refs) rows_.push_back(*r);
  Touch();
  return true;
}

void TParams::ResolveReferences() {
  if (!referencesPending) return;
  relinkList_ = nullptr;  // the rows are made anew: the next relinking must look at them
  TStorage* st = Storage();
  if (IsOutput()) {
    rows_.clear();
    rows_.reserve(static_cast<std::size_t>(pendingCount_));
    for (int i = 0; i < pendingCount_; ++i) {
      TParamRef r;
      const std::string& stored = nameBuf_[static_cast<std::size_t>(i)];
      // The image says how it stored the rows: by storage index (key 1) or by name (key 41).
      if (st) r = haveIndexes_ ? st->AcquireByIndex(signalKind, indexBuf_[static_cast<std::size_t>(i)])
                               : st->AcquireMatching(signalKind, stored);
      if (!r) {
        r = std::make_shared<TParam>();
        if (!stored.empty()) {
          r->SetName(stored);
          r->SetDefaultName(stored);
          r->unresolved = true;
        }
      }
      rows_.push_back(std::move(r));
    }
    pendingCount_ = 0;
  } else if (signalKind == kSigTU) {
    std::size_t n = std::min(blockOnBuf_.size(), rows_.size());
    for (std::size_t i = 0; i < n; ++i) {
      if (!rows_[i]) continue;
      rows_[i]->blockOn = st && blockOnBuf_[i] != kNoIndex ? st->AcquireByIndex(kSigTS, blockOnBuf_[i]) : nullptr;
      rows_[i]->blockOff = st && blockOffBuf_[i] != kNoIndex ? st->AcquireByIndex(kSigTS, blockOffBuf_[i]) : nullptr;
    }
  }
  indexBuf_.clear();
  nameBuf_.clear();
  blockOnBuf_.clear();
  blockOffBuf_.clear();
  referencesPending = false;
  Touch();
}

void TParams::SetPendingNames(std::vector<std::string> names) {
  if (names.size() > static_cast<std::size_t>(kMaxRows)) names.resize(kMaxRows);
  rows_.clear();
  nameBuf_ = std::move(names);
  indexBuf_.clear();
  haveIndexes_ = false;
  pendingCount_ = static_cast<int>(nameBuf_.size());
  referencesPending = true;
  Touch();
}

void TParams::RelinkOutputRows() {
  if (!IsOutput() || referencesPending) return;
  TStorage* st = Storage();
  if (!st) return;
  const TParams& list = st->List(signalKind);
  const std::uint64_t epoch = TParam::DefaultNameEpoch();
  if (relinkList_ == &list && relinkListMod_ == list.ModCount() && relinkMod_ == modCount_ && relinkEpoch_ == epoch)
    return;
  for (TParamRef& r : rows_) {
    if (!r || r->DefaultName().empty()) continue;
    // A resolved row that is itself in the storage has its source: nothing to look up.
    if (!r->unresolved && st->IndexOf(signalKind, r.get()) >= 0) continue;
    TParamRef hit = st->FindByDefaultName(signalKind, r->DefaultName());
    if (!hit) {
      r->unresolved = true;
    } else if (r->unresolved) {
      if (hit != r) {
        if (r->Renamed()) hit->SetName(r->Name());
        r = hit;
        Touch();
      }
      r->unresolved = false;
    }
  }
  relinkList_ = &list;
  relinkListMod_ = list.ModCount();
  relinkMod_ = modCount_;
  relinkEpoch_ = TParam::DefaultNameEpoch();
}

// ---------------------------------------------------------------------------------------
bool TParams::AddFromList(const TParams& list, bool all) {
  std::vector<TParamRef> add;
  for (const TParamRef& r : list.rows_) {
    if (!r || (!all && !r->selected) || Holds(r.get())) continue;
    if (std::find(add.begin(), add.end(), r) != add.end()) continue;
    add.push_back(r);
  }
  if (add.empty()) return true;
  if (RefuseOver(rows_.size() + add.size())) return false;
  rows_.insert(rows_.end(), add.begin(), add.end());
  Touch();
  if (TStorage* st = Storage()) st->RefreshViews();
  return true;
}

bool TParams::InsertSelected(const TParams& list, int pos) {
  std::vector<TParamRef> add;
  for (const TParamRef& r : list.rows_)
    if (r && r->selected && !Holds(r.get()) && std::find(add.begin(), add.end(), r) == add.end()) add.push_back(r);
  if (add.empty()) return true;
  if (RefuseOver(rows_.size() + add.size())) return false;
  pos = std::clamp(pos, 0, Count());
  rows_.insert(rows_.begin() + pos, add.begin(), add.end());
  Touch();
  if (TStorage* st = Storage()) st->RefreshViews();
  return true;
}

bool TParams::RemoveRows(bool all) {
  std::size_t w = 0;
  bool removed = false;
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    TParamRef& r = rows_[i];
    if (r && (all || r->selected)) {
      r->selected = false;
      r.reset();
      removed = true;
      continue;
    }
    if (r) r->selected = false;
    if (w != i) rows_[w] = std::move(r);
    ++w;
  }
  if (removed) {
    rows_.resize(w);
    Touch();
  }
  if (TStorage* st = Storage()) st->RefreshViews();
  return removed;
}

bool TParams::AddEmptyRow(int focused) {
  int p = focused < 0 || focused > Count() ? 0 : focused;
  if (!NewEmptyRow(p)) return false;
  if (TStorage* st = Storage()) st->RefreshViews();
  return true;
}

void TParams::ClearSelected() {
  for (TParamRef& r : rows_)
    if (r && r->selected) {
      r->selected = false;
      r = std::make_shared<TParam>();
      Touch();
    }
  if (TStorage* st = Storage()) st->RefreshViews();
}

void TParams::MoveNamesUp() {
  for (int i = 1; i < Count(); ++i) {
    TParam* a = At(i - 1);
    TParam* b = At(i);
    if (!a || !b || !b->selected || a->selected) continue;
    std::string an = a->Name();
    a->SetName(b->Name());
    b->SetName(an);
    a->selected = true;
    b->selected = false;
  }
  if (TStorage* st = Storage()) st->RefreshViews();
}

void TParams::MoveNamesDown() {
  for (int i = Count() - 2; i >= 0; --i) {
    TParam* a = At(i);
    TParam* b = At(i + 1);
    if (!a || !b || !a->selected || b->selected) continue;
    std::string bn = b->Name();
    b->SetName(a->Name());
    a->SetName(bn);
    b->selected = true;
    a->selected = false;
  }
  if (TStorage* st = Storage()) st->RefreshViews();
}

void TParams::MoveSelectedTo(int pos) {
  pos = std::clamp(pos, 0, Count());
  std::vector<TParamRef> moved, kept;
  int before = 0;  // kept rows standing before the drop position
  for (int i = 0; i < Count(); ++i) {
    TParamRef& r = rows_[static_cast<std::size_t>(i)];
    if (r && r->selected) {
      moved.push_back(std::move(r));
    } else {
      if (i < pos) ++before;
      kept.push_back(std::move(r));
    }
  }
  kept.insert(kept.begin() + before, moved.begin(), moved.end());
  rows_ = std::move(kept);
  Touch();
  if (TStorage* st = Storage()) st->RefreshViews();
}

void TParams::ApplyTemplate(const TTITemplate& t) {
  for (TParamRef& r : rows_)
    if (r && r->selected) {
      r->selected = false;
      r->gain = t.gain;
      r->offset = t.offset;
      r->group = t.group;
    }
  if (TStorage* st = Storage()) st->RefreshViews();
}

void TParams::RenameRow(int i, std::string_view edited) {
  TParam* r = At(i);
  if (!r || r->locked) return;
  std::string full = Cut64(r->prefix.empty() ? std::string(edited) : r->prefix + "." + std::string(edited));
  if (full == r->Name()) return;
  std::string base = full.substr(0, full.find("_повтор"));
  std::string candidate = full;
  if (TStorage* st = Storage()) {
    // Each look-up is a hash hit; there are at most as many candidates as rows of the type.
    for (int n = 1; n <= kMaxRows + 1; ++n) {
      TParamRef other = st->FindByName(signalKind, candidate);
      if (!other || other.get() == r) break;
      candidate = Cut64(base + "_повтор" + std::to_string(n));
    }
  }
  r->SetName(candidate);
  r->SplitPrefix();
  if (TStorage* st = Storage()) st->Rebuild();
}

void TParams::ToggleInversion(int i) {
  TParam* r = At(i);
  if (!r || r->locked) return;
  if (owner && std::string(owner->ClassName()) == "TPortTS2") return;
  r->inversion = r->inversion ? 0 : 4;
}

bool TParams::SetPairKind(int i, int kind) {
  TParam* r = At(i);
  TParam* next = At(i + 1);
  if (!r || !next || r->locked || r->tsKind == 2 || next->tsKind == 1) return false;
  if (kind == 1) {
    r->tsKind = 1;
    next->tsKind = 2;
  } else {
    r->tsKind = 0;
    if (next->tsKind == 2) next->tsKind = 0;
  }
  return true;
}

void TParams::SetGroupOfSelected(const std::string& group) {
  for (TParamRef& r : rows_)
    if (r && r->selected) r->group = Cut64(group);
}

void TParams::AcceptTI(int i, float gain, float offset, const std::string& group) {
  TParam* r = At(i);
  if (!r) return;
  r->gain = gain;
  r->offset = offset;
  r->group = Cut64(group);
  r->valueWidth = 4;
}

void TParams::SetBlocking(int i, const std::string& onName, const std::string& offName) {
  TParam* r = At(i);
  if (!r) return;
  TStorage* st = Storage();
  r->blockOn.reset();
  r->blockOff.reset();
  if (st && !onName.empty()) r->blockOn = st->AcquireByName(kSigTS, onName);
  if (st && !offName.empty()) r->blockOff = st->AcquireByName(kSigTS, offName);
}

void TParams::SelectOnly(int i) {
  for (int k = 0; k < Count(); ++k)
    if (TParam* r = At(k)) r->selected = (k == i);
}

void TParams::ClearSelection() {
  for (TParamRef& r : rows_)
    if (r) r->selected = false;
}

// ---------------------------------------------------------------------------------------
void TParams::SaveToImage(TConfig& c) {
  if (role == kRoleStorage) return;  // storage lists are never written
  const std::size_t n = rows_.size();
  std::int32_t s = c.Pos;
  c.BeginSection(static_cast<std::uint16_t>(SectionCode()));
  c.PutU8(48, 1);
  c.PutU16(static_cast<std::uint16_t>(CountKey()), static_cast<std::uint16_t>(n));
  TStorage* st = Storage();
  TDocument* d = Doc();
  if (!d && owner) d = owner->Doc();

  std::vector<std::uint8_t> names(n * 65, 0);
  auto putNames = [&] {
    for (std::size_t i = 0; i < n; ++i)
      if (rows_[i]) TConfig::EncodeText(rows_[i]->Name(), names.data() + i * 65);
    c.PutEntry(41, names.size(), names.data());
  };

  if (IsOutput()) {
    if (d && d->extendedFormat) {
      std::vector<std::uint16_t> idx(n, kNoIndex);
      for (std::size_t i = 0; i < n; ++i) {
        if (!rows_[i] || !st) continue;
        int k = st->IndexOfRelinked(signalKind, rows_[i]);
        if (k >= 0) idx[i] = static_cast<std::uint16_t>(k);
      }
      PutU16Array(c, 1, idx);
    } else {
      putNames();
    }
    c.EndSection(s);
    return;
  }

  putNames();
  if (signalKind == kSigTI) {
    std::vector<float> gain(n, 0), off(n, 0), up(n, 0), low(n, 0);
    std::vector<std::uint8_t> rel(n, 0), grp(n, 0);
    TProc* proc = Proc();
    // Group numbers by name: first group with the name wins.
    std::unordered_map<std::string, int> groupByName;
    if (proc)
      for (int g = static_cast<int>(std::min<std::uint32_t>(proc->groupCount, TProc::kMaxGroups)) - 1; g >= 0; --g)
        groupByName[proc->groups[static_cast<std::size_t>(g)].name] = g;
    for (std::size_t i = 0; i < n; ++i) {
      const TParam* r = rows_[i].get();
      if (!r) continue;
      gain[i] = r->gain;
      off[i] = r->offset;
      if (r->group.empty() || !proc) continue;
      auto it = groupByName.find(r->group);
      if (it == groupByName.end()) continue;
      const TTIGroup& g = proc->groups[static_cast<std::size_t>(it->second)];
      grp[i] = static_cast<std::uint8_t>(it->second + 1);
      up[i] = g.upper;
      low[i] = g.lower;
      double ra = std::nearbyint(static_cast<double>(g.relAperture));
      rel[i] = static_cast<std::uint8_t>(std::clamp(ra, 0.0, 255.0));
    }
    if (AnyNonZero(gain)) {
      PutF32Array(c, 21, gain);
      PutF32Array(c, 42, off);
    }
    if (AnyNonZero(up)) PutF32Array(c, 96, up);
    if (AnyNonZero(low)) PutF32Array(c, 97, low);
    if (std::any_of(rel.begin(), rel.end(), [](std::uint8_t b) { return b != 0; })) c.PutEntry(98, n, rel.data());
    c.PutEntry(46, n, grp.data());
  } else if (signalKind == kSigTS) {
    std::vector<std::uint8_t> flags(n, 0);
    for (std::size_t i = 0; i < n; ++i)
      if (rows_[i]) flags[i] = static_cast<std::uint8_t>((rows_[i]->tsKind & 3) | (rows_[i]->inversion ? 4 : 0));
    c.PutEntry(78, n, flags.data());
  } else if (signalKind == kSigTU) {
    bool any = std::any_of(rows_.begin(), rows_.end(), [](const TParamRef& r) { return r && (r->blockOn || r->blockOff); });
    if (any) {
      std::vector<std::uint16_t> on(n, kNoIndex), offv(n, kNoIndex);
      for (std::size_t i = 0; i < n; ++i) {
        if (!rows_[i] || !st) continue;
        if (rows_[i]->blockOn) {
          int k = st->IndexOfRelinked(kSigTS, rows_[i]->blockOn);
          if (k >= 0) on[i] = static_cast<std::uint16_t>(k);
        }
        if (rows_[i]->blockOff) {
          int k = st->IndexOfRelinked(kSigTS, rows_[i]->blockOff);
          if (k >= 0) offv[i] = static_cast<std::uint16_t>(k);
        }
      }
      PutU16Array(c, 110, on);
      PutU16Array(c, 111, offv);
    }
  }
  c.EndSection(s);
}

void TParams::LoadFromImage(TConfig& c) {
  int code = c.NextSection();
  if (code == TConfig::kNoSection) return;
  // A ТИ table reads its entries whatever the section's code; the others only their own.
  if (signalKind != kSigTI && code != SectionCode()) return;
  if (!CheckVersion(c)) return;
  std::uint16_t count16 = 0;
  c.GetU16(static_cast<std::uint16_t>(CountKey()), count16);
  std::size_t n = count16;
  if (n > static_cast<std::size_t>(kMaxRows)) {
    Messages().ShowError("В таблице " + Caption() + " записано " + std::to_string(n) + " сигналов, прочитаны первые " +
                         std::to_string(kMaxRows));
    n = kMaxRows;
  }
  indexBuf_.assign(n, 0);
  haveIndexes_ = GetU16Array(c, 1, indexBuf_);
  nameBuf_.assign(n, {});
  {
    std::vector<std::uint8_t> raw(n * 65, 0);
    if (n) c.GetEntry(41, raw.size(), raw.data());
    for (std::size_t i = 0; i < n; ++i) nameBuf_[i] = TConfig::DecodeText(raw.data() + i * 65, 65);
  }

  if (IsOutput()) {
    rows_.clear();
    pendingCount_ = static_cast<int>(n);
    referencesPending = true;
    Touch();
    return;
  }

  std::vector<std::uint8_t> flags(n, 0), rel(n, 0), grp(n, 0);
  std::vector<float> gain(n, 0), off(n, 0), up(n, 0), low(n, 0);
  bool have46 = false;
  if (signalKind == kSigTS) c.GetEntry(78, n, flags.data());
  if (signalKind == kSigTI) {
    GetF32Array(c, 21, gain);
    GetF32Array(c, 42, off);
    GetF32Array(c, 96, up);
    GetF32Array(c, 97, low);
    c.GetEntry(98, n, rel.data());
    have46 = c.GetEntry(46, n, grp.data());
  }
  if (signalKind == kSigTU) {
    blockOnBuf_.assign(n, kNoIndex);
    blockOffBuf_.assign(n, kNoIndex);
    GetU16Array(c, 110, blockOnBuf_);
    GetU16Array(c, 111, blockOffBuf_);
  }

  TProc* proc = Proc();
  bool groupsFull = false;
  const std::size_t m = std::min(n, rows_.size());
  for (std::size_t i = 0; i < m; ++i) {
    TParam* r = rows_[i].get();
    if (!r) continue;
    if (haveIndexes_) r->number = static_cast<std::int16_t>(indexBuf_[i]);
    // A source row always has a name: an empty stored name leaves the owner's name.
    if (!nameBuf_[i].empty()) r->SetName(nameBuf_[i]);
    else if (r->Name().empty()) r->SetName(r->DefaultName());
    if (r->DefaultName().empty()) r->SetDefaultName(r->Name());
    r->SplitPrefix();
    if (signalKind == kSigTS) {
      r->tsKind = flags[i] & 3;
      r->inversion = flags[i] & 4;
    } else if (signalKind == kSigTI) {
      r->gain = gain[i];
      r->offset = off[i];
      // The width is not stored: a row with an accepted calculation sends its scaled value in
      // four bytes, as it did before it was written.
      if (r->gain != 0) r->valueWidth = 4;
      r->group.clear();
      if (!proc) continue;
      if (!have46 && (up[i] != 0 || low[i] != 0 || rel[i] != 0)) {
        // Older images keep the group's thresholds per row: find or recreate the group.
        const float relf = static_cast<float>(rel[i]);
        std::uint32_t gc = std::min<std::uint32_t>(proc->groupCount, TProc::kMaxGroups);
        bool found = false;
        for (std::uint32_t g = 0; g < gc; ++g) {
          const TTIGroup& gr = proc->groups[g];
          if (gr.upper == up[i] && gr.lower == low[i] && gr.relAperture == relf) {
            r->group = gr.name;
            found = true;
            break;
          }
        }
        if (!found) {
          if (gc >= static_cast<std::uint32_t>(TProc::kMaxGroups)) {
            groupsFull = true;
          } else {
            TTIGroup& gr = proc->groups[gc];
            gr = TTIGroup{};
            gr.name = "Group" + std::to_string(gc);
            gr.upper = up[i];
            gr.lower = low[i];
            gr.relAperture = relf;
            proc->groupCount = gc + 1;
            r->group = gr.name;
          }
        }
      } else if (grp[i] != 0 && grp[i] <= std::min<std::uint32_t>(proc->groupCount, TProc::kMaxGroups)) {
        r->group = proc->groups[grp[i] - 1u].name;
      }
    }
  }
  if (groupsFull)
    Messages().ShowError("Групп ТИ больше " + std::to_string(TProc::kMaxGroups) + ": часть сигналов таблицы " +
                         Caption() + " оставлена без группы");
  if (signalKind == kSigTU) referencesPending = true;
  indexBuf_.clear();
  nameBuf_.clear();
}

void TParams::DumpExtra(std::string& out, const std::string& indent) const {
  TStorage* st = Storage();
  char b[160];
  std::snprintf(b, sizeof b, "rows = %d, role = %d, base = 0x%04X%s\n", Count(), role, addressBase,
                referencesPending ? ", references pending" : "");
  out += indent + b;
  std::vector<std::string> addresses;
  if (IsOutput() && owner) addresses = owner->SignalAddressTexts(signalKind, Count());
  for (int i = 0; i < Count(); ++i) {
    const TParam* r = At(i);
    out += indent + "row " + std::to_string(i);
    if (!r) {
      out += ": (empty)\n";
      continue;
    }
    out += ": \"" + r->Name() + "\" default \"" + r->DefaultName() + "\"";
    int idx = st ? st->IndexOf(signalKind, r) : -1;
    out += " index " + std::to_string(idx);
    if (IsOutput() && owner) {
      std::size_t k = static_cast<std::size_t>(i);
      if (k < addresses.size() && !addresses[k].empty()) out += " address " + addresses[k];
    } else if (idx >= 0) {
      std::snprintf(b, sizeof b, " address 0x%04X", addressBase + idx);
      out += b;
    }
    if (r->unresolved) out += " unresolved";
    if (r->locked) out += " locked";
    if (signalKind == kSigTS)
      out += " kind " + std::to_string(r->tsKind) + (r->inversion ? " inverted" : "");
    if (signalKind == kSigTI || signalKind == kSigTII) out += " width " + std::to_string(r->valueWidth);
    if (signalKind == kSigTI) {
      std::snprintf(b, sizeof b, " gain %.7g offset %.7g", static_cast<double>(r->gain), static_cast<double>(r->offset));
      out += b;
      if (!r->group.empty()) out += " group \"" + r->group + "\"";
    }
    if (signalKind == kSigTU) {
      if (r->blockOn) out += " on-block \"" + r->blockOn->Name() + "\"";
      if (r->blockOff) out += " off-block \"" + r->blockOff->Name() + "\"";
    }
    out += '\n';
  }
}

}  // namespace t32
