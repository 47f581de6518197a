#include "ports/port_kp.h"

#include <algorithm>
#include <cstring>

#include "model/boards.h"
#include "model/config.h"
#include "model/cp1251.h"
#include "model/document.h"
#include "model/messages.h"
#include "model/params.h"
#include "model/storage.h"

namespace t32 {

namespace {
// Image and tree order of a station's tables.
constexpr int kTableOrder[6] = {kSigTS, kSigTU, kSigTI, kSigTII, kSigTR, kSigMTS};

int TableRank(int type) {
  for (int i = 0; i < 6; ++i)
    if (kTableOrder[i] == type) return i;
  return 6;
}

// Count index (key 44 order) of a signal type.
int CountIndex(int type) {
  switch (type) {
    case kSigTS: return TKP::kCountTS;
    case kSigTU: return TKP::kCountTU;
    case kSigTI: return TKP::kCountTI;
    case kSigTII: return TKP::kCountTII;
    case kSigTR: return TKP::kCountTR;
    case kSigMTS: return TKP::kCountMTS;
    default: return -1;
  }
}

std::string GroupPoint(int group, int point) { return "Гр" + std::to_string(group) + "_Пр" + std::to_string(point); }

void PutCounts(const std::array<std::uint16_t, 6>& counts, std::uint8_t out[12]) {
  for (std::size_t i = 0; i < 6; ++i) {
    out[2 * i] = static_cast<std::uint8_t>(counts[i]);
    out[2 * i + 1] = static_cast<std::uint8_t>(counts[i] >> 8);
  }
}

void TakeCounts(std::array<std::uint16_t, 6>& counts, const std::uint8_t in[12], std::size_t n) {
  for (std::size_t i = 0; i < 6; ++i) counts[i] = i < n ? static_cast<std::uint16_t>(in[2 * i] | (in[2 * i + 1] << 8)) : 0;
}
}  // namespace

const char* const TKP::kGroupCells[6] = {"", "ТИ_11", "ТИ_13", "ТИ_15", "ТИИ_36", "ТИИ_37"};

// =======================================================================================
TKP::TKP() {
  name = "КП";
  frameClass = "TKPFrame";
  popup = TPopup::DubbleDelMenu;
  iconIndex = 0;
  number = 1;
  asdu = 1;
}

void TKP::Create(TNode* n) {
  TPolledDevice::Create(n);
  n->SetImages(0);
  UpdateNode();
}

void TKP::UpdateNode() {
  if (node) node->SetCaption(std::to_string(number) + "_" + name);
}

std::uint32_t TKP::MinutesToMs(long long minutes, std::uint32_t cap) {
  return static_cast<std::uint32_t>(std::clamp<long long>(minutes, 0, cap) * 60000);
}

void TKP::SetAsdu(long long v) { asdu = static_cast<std::uint8_t>(std::clamp<long long>(v, 1, 255)); }

int TKP::CountOf(int type) const {
  int i = CountIndex(type);
  return i < 0 ? 0 : counts[static_cast<std::size_t>(i)];
}

bool TKP::SetCount(int type, long long value) {
  int i = CountIndex(type);
  if (i < 0 || value < 0 || value > kMaxRows) return false;
  counts[static_cast<std::size_t>(i)] = static_cast<std::uint16_t>(value);
  return true;
}

void TKP::SetGroupType(const std::vector<int>& groups, int code) {
  if (code < 0 || code > 5) return;
  for (int g : groups)
    if (g > 0 && g < kGroups) groupTypes[static_cast<std::size_t>(g)] = static_cast<std::uint8_t>(code);
  groupTypes[0] = 0;
}

bool TKP::AddressTaken() const {
  TPollingPort* p = Port();
  return p && p->Exists(this, [&](const TPolledDevice& d) { return d.number == number; });
}

TParams* TKP::Table(int type) const {
  if (!node) return nullptr;
  for (int i = 0; i < node->ChildCount(); ++i)
    if (auto* t = dynamic_cast<TParams*>(node->Child(i)->Item()); t && t->Type() == type) return t;
  return nullptr;
}

std::string TKP::SignalPrefix() const { return portName + "." + std::to_string(number) + "_" + name; }

void TKP::GroupLists(std::vector<std::string>& ti, std::vector<std::uint8_t>& tiWidth,
                     std::vector<std::string>& tii) const {
  // Group 0 carries nothing; groups 1 to 255 in order. Unknown codes build nothing.
  for (int g = 1; g < kGroups; ++g) {
    switch (groupTypes[static_cast<std::size_t>(g)]) {
      case 1:
        for (int p = 1; p <= 8; ++p) ti.push_back(GroupPoint(g, p)), tiWidth.push_back(2);
        break;
      case 2:
      case 3:
        for (int p = 1; p <= 4; ++p) ti.push_back(GroupPoint(g, p)), tiWidth.push_back(4);
        break;
      case 4:
      case 5:
        for (int p = 1; p <= 2; ++p) tii.push_back(GroupPoint(g, p));
        break;
      default: break;
    }
  }
}

void TKP::UpdateStatusTable() {
  UpdateNode();
  if (!node) return;
  // An unknown protocol (from an image) keeps its tables as they stand.
  if (protocol > kIec101) {
    RequestPortRebuild();
    return;
  }
  const bool groups = protocol != kIec101;
  std::vector<std::string> ti, tii;
  std::vector<std::uint8_t> tiWidth;
  if (groups) {
    GroupLists(ti, tiWidth, tii);
    counts[kCountTI] = static_cast<std::uint16_t>(std::min<std::size_t>(ti.size(), 0xFFFF));
    counts[kCountTII] = static_cast<std::uint16_t>(std::min<std::size_t>(tii.size(), 0xFFFF));
  }
  TTree* tree = node->Tree();
  for (int type : kTableOrder)
    if (TParams* t = Table(type); t && CountOf(type) == 0) tree->Delete(t->node);
  for (int type : kTableOrder) {
    if (CountOf(type) == 0 || Table(type)) continue;
    int at = 0;
    for (int i = 0; i < node->ChildCount(); ++i)
      if (auto* t = dynamic_cast<TParams*>(node->Child(i)->Item()); t && TableRank(t->Type()) < TableRank(type)) at = i + 1;
    auto p = MakeParams(type, kRoleSource);
    p->owner = this;
    TNode* n = tree->Add(node, std::move(p), at);
    n->expanded = true;
  }
  const std::string prefix = SignalPrefix();
  for (int type : kTableOrder) {
    TParams* t = Table(type);
    if (!t) continue;
    if (!groups) {
      t->Build(CountOf(type), prefix);
      continue;
    }
    if (type == kSigTI) {
      t->BuildFromList(ti, 2, prefix);
      for (int i = 0; i < t->Count() && i < static_cast<int>(tiWidth.size()); ++i)
        t->At(i)->valueWidth = tiWidth[static_cast<std::size_t>(i)];
    } else if (type == kSigTII) {
      t->BuildFromList(tii, 4, prefix);
    } else {
      std::vector<std::string> list;
      const int n = CountOf(type);
      list.reserve(static_cast<std::size_t>(n));
      for (int i = 0; i < n; ++i) list.push_back(GroupPoint(i / 8 + 1, i % 8 + 1));
      t->BuildFromList(list, 2, prefix);
    }
  }
  node->SetImages(node->ChildCount() ? 28 : 0);
  RequestPortRebuild();
}

void TKP::Fields(TFieldVisitor& v) {
  v.Text({"place", 77}, place);
  v.U8({"address", 1, 1, 255}, number);
  v.U8({"asdu", 108, 1, 255}, asdu);
  v.U8({"protocol", 27, 0, 2}, protocol);
  v.U8({"retries", 62, 2, 99}, retries);
  v.U16({"replyWait", 57, 1, 65500}, replyWait);
  v.U16({"commandWait", 58, 1, 65500}, commandWait);
  v.U32({"controlPeriod", 17, 0, 60000.0 * kMaxMinutes}, controlPeriod);
  v.U32({"group1Period", 63, 0, 60000.0 * kMaxMinutes}, groupPeriod[0]);
  v.U32({"group2Period", 64, 0, 60000.0 * kMaxMinutes}, groupPeriod[1]);
  v.U32({"group3Period", 65, 0, 60000.0 * kMaxMinutes}, groupPeriod[2]);
  v.U32({"timeSetPeriod", 31, 0, 60000.0 * kMaxTimeSetMinutes}, timeSetPeriod);
  v.U8({"arrayChannel", 59, 1, 255}, arrayChannel);
  std::uint8_t six = 6;
  v.U8({"countCount", 20}, six);
  std::uint8_t raw[12];
  PutCounts(counts, raw);
  v.Bytes({"counts", 44}, raw, sizeof raw);
  if (v.Reading()) TakeCounts(counts, raw, 6);
  v.Bytes({"groupTypes", 46}, groupTypes.data(), groupTypes.size());
  v.U8({"linkAddrLength", 60, 1, 2}, linkAddrLength);
  v.U8({"asduAddrLength", 61, 1, 2}, asduAddrLength);
  v.U16({"baseTS", 10, 0, 65535}, baseTS);
  v.U16({"baseMTS", 100, 0, 65535}, baseMTS);
  v.U16({"baseTU", 12, 0, 65535}, baseTU);
  v.U16({"baseTI", 11, 0, 65535}, baseTI);
  v.U16({"baseTII", 76, 0, 65535}, baseTII);
  v.U16({"baseTR", 51, 0, 65535}, baseTR);
}

void TKP::WriteChildren(TConfig& c) {
  for (int type : kTableOrder)
    if (TParams* t = Table(type)) t->SaveToImage(c);
}

void TKP::SaveToImage(TConfig& c) { WriteSection(c); }

void TKP::LoadFromImage(TConfig& c) {
  if (!EnterSection(c, 206)) return;
  TImageReader r(c);
  Fields(r);
  place = Utf8Left(place, 64);
  // Key 20 says how many counts key 44 holds; an older layout stored five (no МТС). A number
  // above six still reads only the six the station has.
  std::uint8_t n = 6;
  c.GetU8(20, n);
  std::uint8_t raw[12] = {};
  const std::size_t pairs = std::min<std::size_t>(n, 6);
  if (c.GetEntry(44, 2 * pairs, raw)) {
    const long have = c.EntrySize(44);
    TakeCounts(counts, raw, std::min<std::size_t>(pairs, static_cast<std::size_t>(std::max(0L, have)) / 2));
  }
  if (!c.GetU8(108, asdu)) asdu = number;
  groupTypes[0] = 0;
  UpdateNode();
  newDevice = true;
  UpdateStatusTable();
  newDevice = false;
  TChildReader rd(c);
  for (int type : kTableOrder) {
    if (!Table(type)) continue;
    if (rd.Peek() != SignalTypeInfo(type).sectionCode) continue;
    rd.Load(Table(type));
  }
}

void TKP::LoadFromShortImage(TConfig& c) {
  if (c.NextShortSection() != 206) return;
  if (!CheckVersion(c, true)) return;
  c.GetShortEntry(1, 1, &number);
  c.GetShortEntry(27, 1, &protocol);
  c.GetShortEntry(62, 1, &retries);
  c.GetShortEntry(57, 2, &replyWait);
  c.GetShortEntry(58, 2, &commandWait);
  c.GetShortEntry(17, 4, &controlPeriod);
  c.GetShortEntry(31, 4, &timeSetPeriod);
  c.GetShortEntry(59, 1, &arrayChannel);
  // Key 44: (first group, number of groups) for ТС, ТИ, ТУ and ТР; never more than four pairs.
  std::uint8_t n = 4;
  c.GetShortEntry(20, 1, &n);
  n = std::min<std::uint8_t>(n, 4);
  std::uint8_t pairs[8] = {};
  c.GetShortEntry(44, static_cast<std::uint16_t>(2 * n), pairs);
  c.GetShortEntry(60, 1, &linkAddrLength);
  c.GetShortEntry(61, 1, &asduAddrLength);
  c.GetShortEntry(10, 2, &baseTS);
  c.GetShortEntry(11, 2, &baseTI);
  c.GetShortEntry(12, 2, &baseTU);
  c.GetShortEntry(51, 2, &baseTR);
  asdu = number;
  counts = {};
  groupTypes = {};
  const int types[4] = {kSigTS, kSigTI, kSigTU, kSigTR};
  for (int i = 0; i < 4; ++i) SetCount(types[i], 8 * pairs[2 * i + 1]);
  // The ТИ groups are eight-value groups from the first one on, as far as group 255.
  const int tiFirst = pairs[2], tiGroups = pairs[3];
  for (int g = std::max(tiFirst, 1); g < tiFirst + tiGroups && g < kGroups; ++g) groupTypes[static_cast<std::size_t>(g)] = 1;
  UpdateNode();
  newDevice = true;
  UpdateStatusTable();
  newDevice = false;
  TDocument* d = Doc();
  if (!d) return;
  TStorage& st = d->Storage();
  for (int i = 0; i < 4; ++i) {
    const int first = pairs[2 * i];
    TParams* t = Table(types[i]);
    if (!t || first == 0) continue;  // no group 0: nothing stood there
    for (int row = 0; row < t->Count(); ++row)
      st.PutLegacyName(row + 8 * (first - 1), types[i], types[i] == kSigTI ? t->At(row)->valueWidth : 0,
                       t->At(row)->DefaultName());
  }
  std::uint8_t g = 0, p = 0;
  if (c.GetShortEntry(32, 1, &g) && g > 0) {
    c.GetShortEntry(33, 1, &p);
    st.PutLegacyName(8 * g + p - 8, kSigTS, 0, portName + "." + LinkStatusName());
  }
}

void TKP::EnumerateSignals(TStorageLists& lists) {
  for (int type : {kSigTS, kSigMTS, kSigTU, kSigTI, kSigTII, kSigTR})
    if (TParams* t = Table(type)) lists.Append(t);
}

void TKP::AfterLoad() {
  if (TParams* tu = Table(kSigTU); tu && tu->referencesPending) tu->ResolveReferences();
}

void TKP::CopySettingsFrom(const TKP& s) {
  protocol = s.protocol;
  retries = s.retries;
  replyWait = s.replyWait;
  commandWait = s.commandWait;
  controlPeriod = s.controlPeriod;
  groupPeriod = s.groupPeriod;
  timeSetPeriod = s.timeSetPeriod;
  arrayChannel = s.arrayChannel;
  linkAddrLength = s.linkAddrLength;
  asduAddrLength = s.asduAddrLength;
  counts = s.counts;
  asdu = s.asdu;
  baseTS = s.baseTS;
  baseMTS = s.baseMTS;
  baseTU = s.baseTU;
  baseTI = s.baseTI;
  baseTII = s.baseTII;
  baseTR = s.baseTR;
  // Without the group types a "Сириус" or "Виконт" copy would have no ТИ rows.
  groupTypes = s.groupTypes;
}

// =======================================================================================
TPortKP::TPortKP() {
  name = "опроса КП";
  frameClass = "TPortKPFrame";
  popup = TPopup::AddKPMenu;
  iconIndex = 2;
  interfaces = kIfRS232 | kIfRS485 | kIfModem;
  number = 1;
}

void TPortKP::Create(TNode* n) {
  TPollingPort::Create(n);
  n->SetImages(0);
}

void TPortKP::Fields(TFieldVisitor& v) {
  v.U8({"number", 1, 1, 40}, number);
  CountFields(v, true);
}

void TPortKP::SaveToImage(TConfig& c) {
  std::int32_t at = c.Pos;
  c.BeginSection(112);
  c.PutU8(48, version);
  c.PutU8(1, number);
  PutDeviceCount(c);
  PutBinding(c);
  WriteChildren(c);
  c.EndSection(at);
}

void TPortKP::LoadFromImage(TConfig& c) {
  if (!EnterSection(c, 112)) return;
  c.GetU8(1, number);
  std::uint8_t n = 0, ch = 0;
  c.GetU8(20, n);
  if (c.GetU8(30, ch)) BindByAddress(ch);
  UpdateNode();
  LoadChildren(c, n, 206, [] { return std::make_unique<TKP>(); });
}

void TPortKP::LoadFromShortImage(TConfig& c) {
  if (c.NextShortSection() != 112) return;
  if (!CheckVersion(c, true)) return;
  c.GetShortEntry(1, 1, &number);
  std::uint8_t n = 0, ch = 0;
  c.GetShortEntry(20, 1, &n);
  if (c.GetShortEntry(30, 1, &ch)) BindByAddress(ch);
  UpdateNode();
  LoadChildren(c, n, 206, [] { return std::make_unique<TKP>(); }, true);
}

void TPortKP::UpdateStatusTable() {
  if (RebuildSuspended()) return;
  TPollingPort::UpdateStatusTable();
}

TKP* TPortKP::AddStation() { return AppendNewDevice<TKP>(); }

void TPortKP::AddChildren(int /*menuTag*/) { AddStation(); }

TKP* TPortKP::Duplicate(const TKP& src) {
  if (!CanAddDevice()) return nullptr;
  TRebuildSuspension hold(this);
  auto made = std::make_unique<TKP>();
  made->CopySettingsFrom(src);
  auto* d = static_cast<TKP*>(AppendDevice(std::move(made)));
  if (!d) return nullptr;
  d->UpdateStatusTable();
  const std::string prefix = d->SignalPrefix();
  for (int type : kTableOrder) {
    TParams* a = src.Table(type);
    TParams* b = d->Table(type);
    if (!a || !b) continue;
    for (int i = 0; i < a->Count() && i < b->Count(); ++i) {
      TParam* r = a->At(i);
      TParam* w = b->At(i);
      if (!r || !w) continue;
      w->tsKind = r->tsKind;
      w->prefix = prefix;
      w->SetDefaultName(prefix + "." + r->DefaultSuffix());
      w->SetName(r->Name().empty() ? std::string() : prefix + "." + r->Suffix());
      if (type == kSigTI) {
        w->gain = r->gain;
        w->offset = r->offset;
        w->group = r->group;
        w->valueWidth = r->valueWidth;
      }
    }
  }
  return d;
}

void TPortKP::DuplicateChild(TItem* child) {
  if (auto* k = dynamic_cast<TKP*>(child)) Duplicate(*k);
}

}  // namespace t32
