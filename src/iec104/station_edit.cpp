// The station editor's rules as operations on the station: adding, removing, cloning,
// copying, cutting, pasting, moving and ticking. A refusal changes nothing and is reported
// through the station's message hook.
#include <algorithm>
#include <cstdio>
#include <unordered_set>

#include "iec104/station.h"
#include "model/messages.h"

namespace t32 {

namespace {

std::string FormatName(const char* pattern, unsigned n) {
  char buf[64];
  std::snprintf(buf, sizeof buf, pattern, n);
  return buf;
}

std::string ReplaceCounter(const std::string& templ, long long value) {
  std::string v = std::to_string(value), r;
  for (std::size_t i = 0; i < templ.size(); ++i) {
    if (templ[i] == '%' && i + 1 < templ.size() && templ[i + 1] == '%') {
      r += v;
      ++i;
    } else {
      r += templ[i];
    }
  }
  return r;
}

// Valid rows in ascending order, each once.
std::vector<std::size_t> Rows(const TConfigItem& node, std::vector<std::size_t> rows) {
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  rows.erase(std::remove_if(rows.begin(), rows.end(), [&](std::size_t r) { return r >= node.Objects().size(); }),
             rows.end());
  return rows;
}

// Height of a subtree: 1 for a group without subgroups.
int Height(const TConfigItem& top) {
  int best = 0;
  std::vector<std::pair<const TConfigItem*, int>> stack{{&top, 1}};
  while (!stack.empty()) {
    auto [n, h] = stack.back();
    stack.pop_back();
    best = std::max(best, h);
    for (const auto& c : n->Children()) stack.emplace_back(c.get(), h + 1);
  }
  return best;
}

// Both ends of start + i * step (i = 0 .. count-1) lie within [lo, hi].
bool SeriesWithin(long long start, long long step, long long count, long long lo, long long hi) {
  __int128 last = static_cast<__int128>(start) + static_cast<__int128>(step) * (count - 1);
  return start >= lo && start <= hi && last >= lo && last <= hi;
}

constexpr std::size_t kMinObjectBytes = 13;
constexpr const char* kAddressRange = "Адреса должны быть в пределах 0..16777215: операция отменена";

}  // namespace

void TWS_104::Refuse(const std::string& text) const {
  if (messages) messages->ShowError(text);
}

bool TWS_104::FitsAfterGrowth(std::size_t added) const {
  return added <= kMaxStationBytes && SerialisedSize() + added <= kMaxStationBytes;
}

std::unique_ptr<TGroup> TWS_104::NewGroup(const TConfigItem& parent) {
  auto g = std::make_unique<TGroup>(parent.level + 1);
  do {
    g->name = FormatName("группа%4.4d", ++groupCounter_);
  } while (parent.FindChild(g->name));
  return g;
}

TGroup* TWS_104::AppendGroup(TConfigItem& parent, std::unique_ptr<TGroup> group) {
  if (!group) return nullptr;
  if (parent.Depth() + Height(*group) > kMaxGroupDepth) {
    Refuse("Вложенность групп не может быть больше " + std::to_string(kMaxGroupDepth) + ": операция отменена");
    return nullptr;
  }
  if (!FitsAfterGrowth(group->SerialisedSize())) {
    Refuse(kStationTooLarge);
    return nullptr;
  }
  return parent.AddChild(std::move(group));
}

std::unique_ptr<TPProcItem> TWS_104::NewObject(const TGroup& group) {
  std::unique_ptr<TPProcItem> o = CreateObject(group.record.kind);
  if (!o) return nullptr;
  std::unordered_set<std::string> used;
  for (const auto& x : group.Objects()) used.insert(x->name);
  do {
    o->name = FormatName("Tag%4.4d", ++tagCounter_);
  } while (used.count(o->name));
  o->address = group.Objects().empty() ? 0 : group.Objects().back()->address + 1;
  return o;
}

TPProcItem* TWS_104::AppendObject(TGroup& group, std::unique_ptr<TPProcItem> obj) {
  if (!obj) return nullptr;
  if (!FitsAfterGrowth(obj->SerialisedSize())) {
    Refuse(kStationTooLarge);
    return nullptr;
  }
  return group.AddObject(std::move(obj));
}

bool TWS_104::RemoveGroup(TGroup* group) {
  if (!group || !group->Parent()) return false;
  group->Parent()->RemoveChild(group);
  return true;
}

int TWS_104::RemoveObjects(TConfigItem& node, const std::vector<std::size_t>& rows) {
  std::vector<bool> erase(node.Objects().size());
  for (std::size_t r : Rows(node, rows)) erase[r] = !node.Objects()[r]->BuiltIn();
  return static_cast<int>(node.EraseObjects(erase));
}

void TWS_104::CopyObjects(const TConfigItem& node, const std::vector<std::size_t>& rows, TObjectClipboard& clip) {
  clip.clear();
  for (std::size_t r : Rows(node, rows)) clip.push_back(node.Objects()[r]->Clone());
}

int TWS_104::CutObjects(TConfigItem& node, const std::vector<std::size_t>& rows, TObjectClipboard& clip) {
  std::vector<std::size_t> r = Rows(node, rows);
  r.erase(std::remove_if(r.begin(), r.end(), [&](std::size_t i) { return node.Objects()[i]->BuiltIn(); }), r.end());
  if (r.empty()) return 0;
  CopyObjects(node, r, clip);
  return RemoveObjects(node, r);
}

int TWS_104::PasteObjects(TConfigItem& node, const TObjectClipboard& clip) {
  // The station's own list holds only its built-in objects: it writes no others, so pasted
  // ones would vanish on saving.
  if (node.IsStation() || clip.empty()) return 0;
  auto& group = static_cast<TGroup&>(node);
  if (!KindInfo(group.record.kind)) return 0;
  std::vector<std::unique_ptr<TPProcItem>> made;
  std::size_t added = 0;
  for (const auto& c : clip) {
    std::unique_ptr<TPProcItem> o = CreateObject(group.record.kind);
    o->Assign(*c);
    added += o->SerialisedSize();
    made.push_back(std::move(o));
  }
  if (!FitsAfterGrowth(added)) {
    Refuse(kStationTooLarge);
    return 0;
  }
  for (auto& o : made) group.AddObject(std::move(o));
  return static_cast<int>(made.size());
}

TCloneParams TWS_104::DefaultObjectClone(const TPProcItem& current) {
  TCloneParams p;
  p.nameTemplate = "пар.%%";
  p.addressStart = current.address;
  return p;
}

TCloneParams TWS_104::DefaultGroupClone() {
  TCloneParams p;
  p.nameTemplate = "Гр.%%";
  p.addressStart = 0;
  return p;
}

int TWS_104::CloneObjects(TGroup& group, std::size_t row, const TCloneParams& p) {
  if (p.count <= 0 || row >= group.Objects().size() || !KindInfo(group.record.kind)) return 0;
  if (static_cast<unsigned long long>(p.count) > kMaxStationBytes / kMinObjectBytes) {
    Refuse(kStationTooLarge);
    return 0;
  }
  if (!SeriesWithin(p.addressStart, p.addressStep, p.count, range104::kAddress.min, range104::kAddress.max)) {
    Refuse(kAddressRange);
    return 0;
  }
  if (!SeriesWithin(p.counterStart, p.counterStep, p.count, -(1LL << 62), 1LL << 62)) {
    Refuse("Значения счетчика слишком велики: операция отменена");
    return 0;
  }
  const TPProcItem& src = *group.Objects()[row];
  std::vector<std::unique_ptr<TPProcItem>> made;
  std::size_t added = 0;
  for (long long i = 0; i < p.count; ++i) {
    std::unique_ptr<TPProcItem> o = CreateObject(group.record.kind);
    o->Assign(src);
    o->name = FitStationText(ReplaceCounter(p.nameTemplate, p.counterStart + i * p.counterStep));
    o->address = static_cast<std::int32_t>(p.addressStart + i * p.addressStep);
    added += o->SerialisedSize();
    if (added > kMaxStationBytes) break;
    made.push_back(std::move(o));
  }
  if (!FitsAfterGrowth(added)) {
    Refuse(kStationTooLarge);
    return 0;
  }
  for (auto& o : made) group.AddObject(std::move(o));
  return static_cast<int>(made.size());
}

int TWS_104::CloneGroup(TGroup& group, const TCloneParams& p) {
  TConfigItem* parent = group.Parent();
  if (!parent || p.count <= 0) return 0;
  if (static_cast<unsigned long long>(p.count) > kMaxStationBytes / 50) {
    Refuse(kStationTooLarge);
    return 0;
  }
  if (!SeriesWithin(p.addressStart, p.addressStep, p.count, range104::kAddress.min, range104::kAddress.max)) {
    Refuse(kAddressRange);
    return 0;
  }
  if (!SeriesWithin(p.counterStart, p.counterStep, p.count, -(1LL << 62), 1LL << 62)) {
    Refuse("Значения счетчика слишком велики: операция отменена");
    return 0;
  }
  std::vector<std::unique_ptr<TGroup>> made;
  std::size_t added = 0;
  for (long long i = 0; i < p.count; ++i) {
    auto g = std::make_unique<TGroup>(group.level);
    g->Assign(group);
    g->name = FitStationText(ReplaceCounter(p.nameTemplate, p.counterStart + i * p.counterStep));
    g->record.baseAddress = static_cast<std::int32_t>(p.addressStart + i * p.addressStep);
    added += g->SerialisedSize();
    if (added > kMaxStationBytes) break;
    made.push_back(std::move(g));
  }
  if (!FitsAfterGrowth(added)) {
    Refuse(kStationTooLarge);
    return 0;
  }
  for (auto& g : made) parent->AddChild(std::move(g));
  return static_cast<int>(made.size());
}

bool TWS_104::MoveObject(TConfigItem& node, std::size_t from, std::size_t to) {
  const std::size_t n = node.Objects().size();
  if (from >= n || node.Objects()[from]->BuiltIn()) return false;
  if (to >= n) to = n - 1;
  if (node.Objects()[to]->BuiltIn()) return false;
  if (to == from) return true;
  std::unique_ptr<TPProcItem> o = node.TakeObject(from);
  node.InsertObject(to, std::move(o));
  return true;
}

void TWS_104::TickRows(TConfigItem& node, const std::vector<std::size_t>& rows, bool ticked) {
  for (std::size_t r : Rows(node, rows)) {
    TPProcItem& o = *node.Objects()[r];
    o.tick = (ticked || o.BuiltIn()) ? 1 : 0;
  }
}

bool TWS_104::SetGroupKind(TGroup& group, std::int32_t kind) {
  if (!KindInfo(kind)) return false;
  if (kind == group.record.kind) return true;
  std::size_t before = 0, after = 0;
  for (const auto& o : group.Objects()) {
    std::unique_ptr<TPProcItem> n = CreateObject(kind);
    n->Assign(*o);
    before += o->SerialisedSize();
    after += n->SerialisedSize();
  }
  if (after > before && !FitsAfterGrowth(after - before)) {
    Refuse(kStationTooLarge);
    return false;
  }
  return group.SetKind(kind);
}

}  // namespace t32
