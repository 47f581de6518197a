#include "ports/port_rtu104.h"

#include <algorithm>
#include <string_view>
#include <unordered_set>

#include "model/boards.h"
#include "model/config.h"
#include "model/cp1251.h"
#include "model/document.h"
#include "model/fields.h"
#include "model/messages.h"
#include "model/params.h"
#include "model/storage.h"

namespace t32 {

namespace {
// Tables stand in the tree in this order under a device, and are written in the second.
constexpr int kTreeOrder[6] = {kSigTS, kSigTU, kSigTI, kSigMTS, kSigTII, kSigTR};
constexpr int kWriteOrder[6] = {kSigTS, kSigTU, kSigTI, kSigTR, kSigMTS, kSigTII};
// The tree order the enumeration of signals follows.
constexpr int kEnumOrder[6] = {kSigTS, kSigMTS, kSigTU, kSigTI, kSigTII, kSigTR};
constexpr std::size_t kNameChars = 64;  // a signal's full name

int TreeRank(int kind) {
  for (int i = 0; i < 6; ++i)
    if (kTreeOrder[i] == kind) return i;
  return 6;
}


int KindOfSection(int code) {
  switch (code) {
    case 211: return kSigTS;
    case 212: return kSigTU;
    case 213: return kSigTI;
    case 214: return kSigTII;
    case 215: return kSigTR;
    case 219: return kSigMTS;
    default: return 0;
  }
}

// The table an object of this kind code feeds; 0 for kinds that give no signal.
int TableOfObject(std::int32_t kind) {
  switch (kind) {
    case kKindTS: case kKindTS2: case kKindRTU: return kSigTS;
    case kKindTU2: case kKindTU1: return kSigTU;
    case kKindTI: return kSigTI;
    case kKindCounter: return kSigTII;
    case kKindTR: return kSigTR;
    case kKindTS32: case kKindMTS: case kKindVTI: return kSigMTS;
    default: return 0;
  }
}

const char* TableCaption(int kind) {
  switch (kind) {
    case kSigTS: return "ТС";
    case kSigTU: return "ТУ";
    case kSigTI: return "ТИ";
    case kSigTII: return "ТИИ";
    case kSigTR: return "ТР";
    default: return "МТС";
  }
}

// Every "." becomes "_" (a dot would split the signal name); each name is cut to what the full
// signal name leaves it, and only then are equal names told apart by "_повтор" + their
// position, so that two long paths cut to one text still give two rows, and the same rows on
// every rebuild.
void Normalise(std::vector<std::string>& list, std::size_t room) {
  // Views into the list: a name is final once it is in the set.
  std::unordered_set<std::string_view> seen;
  seen.reserve(list.size() * 2);
  for (std::size_t i = 0; i < list.size(); ++i) {
    std::string& n = list[i];
    std::replace(n.begin(), n.end(), '.', '_');
    if (n.size() > room) n = Utf8Left(n, room);  // never fewer bytes than characters
    if (seen.count(n)) {
      std::size_t k = i;
      std::string c;
      do {
        std::string suffix = "_повтор" + std::to_string(k++);
        std::size_t sl = Utf8Length(suffix);
        c = Utf8Left(n, room > sl ? room - sl : 0) + suffix;
      } while (seen.count(c));
      n = std::move(c);
    }
    seen.insert(n);
  }
}

std::string TooLargeText(const std::string& caption) {
  return "Параметры станции " + caption + " занимают больше 1 МБ. Сохранение прервано.";
}

std::string DamagedText(const std::string& caption) {
  return "Параметры станции " + caption + " повреждены: они будут сохранены без изменений";
}
}  // namespace

std::vector<std::string>& TRTU104Lists::Of(int kind) {
  switch (kind) {
    case kSigTS: return ts;
    case kSigTU: return tu;
    case kSigTI: return ti;
    case kSigTII: return tii;
    case kSigTR: return tr;
    default: return mts;
  }
}

// =======================================================================================
TRTU104::TRTU104() : station_(std::make_unique<TWS_104>()) {
  name = "RTU";
  frameClass = "TRTU104Frame";
  popup = TPopup::DubbleDelMenu;
  iconIndex = 0;
  SetIp(kDefaultIp);
}

TRTU104::~TRTU104() = default;

void TRTU104::Create(TNode* n) {
  TPolledDevice::Create(n);
  newDevice = false;
  n->SetImages(iconIndex);
  UpdateNode();
}

void TRTU104::UpdateNode() {
  if (node) node->SetCaption(std::to_string(number) + "_" + name);
}

std::uint32_t TRTU104::Ip() const {
  const auto& r = station_->main.remoteIp;
  return (std::uint32_t(r[0]) << 24) | (std::uint32_t(r[1]) << 16) | (std::uint32_t(r[2]) << 8) | r[3];
}

void TRTU104::SetIp(std::uint32_t ip) {
  auto& r = station_->main.remoteIp;
  r = {static_cast<std::uint8_t>(ip >> 24), static_cast<std::uint8_t>(ip >> 16), static_cast<std::uint8_t>(ip >> 8),
       static_cast<std::uint8_t>(ip)};
  station_->Activate();
  number = r[3];
  UpdateNode();
}

TParams* TRTU104::Table(int kind) const {
  if (!node) return nullptr;
  for (int i = 0; i < node->ChildCount(); ++i)
    if (auto* t = dynamic_cast<TParams*>(node->Child(i)->Item()); t && t->Type() == kind) return t;
  return nullptr;
}

std::string TRTU104::SignalPrefix() const { return portName + "." + std::to_string(number) + "_" + name; }

TRTU104Lists TRTU104::NameLists(std::vector<std::pair<int, std::size_t>>* dropped) const {
  TRTU104Lists L;
  std::vector<std::pair<std::string, TPProcItem*>> ticked;
  station_->ListTicked(ticked);
  std::size_t over[7] = {};
  for (auto& [path, obj] : ticked) {
    int kind = TableOfObject(obj->kind);
    if (!kind) continue;
    auto& list = L.Of(kind);
    if (list.size() >= kMaxRows) {
      ++over[kind];
      continue;
    }
    list.push_back(std::move(path));
  }
  const std::size_t prefix = Utf8Length(SignalPrefix()) + 1;
  const std::size_t room = prefix < kNameChars ? kNameChars - prefix : 1;
  for (int kind : kTreeOrder) {
    Normalise(L.Of(kind), room);
    if (dropped && over[kind]) dropped->emplace_back(kind, over[kind]);
  }
  return L;
}

void TRTU104::UpdateStatusTable() {
  UpdateNode();
  if (!node) return;
  number = station_->main.remoteIp[3];
  UpdateNode();
  std::vector<std::pair<int, std::size_t>> dropped;
  TRTU104Lists L = NameLists(&dropped);
  for (auto& [kind, n] : dropped)
    Messages().ShowError("Таблица " + std::string(TableCaption(kind)) + " устройства " + Caption() + ": в неё вошли первые " +
                         std::to_string(kMaxRows) + " объектов, не вошло " + std::to_string(n));
  TTree* tree = node->Tree();
  for (int kind : kTreeOrder)
    if (TParams* t = Table(kind); t && L.Of(kind).empty()) tree->Delete(t->node);
  bool any = false;
  for (int kind : kTreeOrder) {
    if (L.Of(kind).empty()) continue;
    any = true;
    if (Table(kind)) continue;
    // A new table goes to its kind's place among the tables already there.
    int at = 0;
    for (int i = 0; i < node->ChildCount(); ++i)
      if (auto* t = dynamic_cast<TParams*>(node->Child(i)->Item()); t && TreeRank(t->Type()) < TreeRank(kind)) at = i + 1;
    auto p = MakeParams(kind, kRoleSource);
    p->owner = this;
    TNode* n = tree->Add(node, std::move(p), at);
    n->expanded = true;
  }
  const std::string prefix = SignalPrefix();
  for (int kind : kTreeOrder) {
    TParams* t = Table(kind);
    if (!t) continue;
    bool wide = kind == kSigTI || kind == kSigTII || kind == kSigTR;
    t->BuildFromList(L.Of(kind), wide ? 2 : 0, prefix);
  }
  if (TParams* ti = Table(kSigTI))
    for (int i = 0; i < ti->Count(); ++i)
      if (TParam* r = ti->At(i)) r->valueWidth = 4;
  iconIndex = any ? 28 : 0;
  node->SetImages(iconIndex);
  RequestPortRebuild();
}

void TRTU104::StationEdited() {
  damaged_ = false;
  keptBytes_.clear();
  keptLength_ = 0;
  place = Utf8Left(station_->name, 64);
  station_->Activate();
  UpdateStatusTable();
  // Said now, while it can still be mended, rather than only when a save is refused.
  if (station_->SerialisedSize() > kMaxStationBytes)
    Messages().ShowError("Параметры станции " + Caption() +
                         " занимают больше 1 МБ: конфигурация не будет сохранена, пока их не станет меньше.");
}

bool TRTU104::StationBytes(std::vector<std::uint8_t>& out) const {
  if (damaged_) {
    out = keptBytes_;
    return true;
  }
  if (station_->SerialisedSize() > kMaxStationBytes) return false;
  out = station_->Serialise();
  return out.size() <= kMaxStationBytes;
}

bool TRTU104::ReadStation(const std::vector<std::uint8_t>& bytes, std::string* error) {
  auto fresh = std::make_unique<TWS_104>();
  TMemStream s(bytes.data(), bytes.size());
  TStreamError e;
  if (!fresh->ReadFrom(s, &e)) {
    if (error) *error = e.Message();
    return false;
  }
  fresh->messages = station_->messages;
  station_ = std::move(fresh);
  station_->Activate();
  return true;
}

void TRTU104::SaveToImage(TConfig& c) {
  if (!keptSection.empty()) {
    c.PutBytes(keptSection);
    return;
  }
  std::vector<std::uint8_t> bytes;
  std::uint32_t length = 0;
  if (StationBytes(bytes)) {
    lastBytes_ = bytes;
  } else {
    // Larger than the controller takes: the image is refused, so no file or controller gets
    // it. What is written here keeps the records readable (an undo step, for one): the
    // station as it was last read or written, never cut.
    c.Refuse(TooLargeText(Caption()));
    bytes = lastBytes_;
  }
  length = damaged_ ? keptLength_ : static_cast<std::uint32_t>(bytes.size());
  std::int32_t at = c.Pos;
  c.BeginSection(224);
  c.PutU8(48, version);
  c.PutU32(60, length);
  c.PutEntry(102, bytes.size(), bytes.data());
  for (int kind : kWriteOrder)
    if (TParams* t = Table(kind)) t->SaveToImage(c);
  c.EndSection(at);
}

void TRTU104::LoadFromImage(TConfig& c) {
  const std::int32_t at = c.FindSection();
  if (c.NextSection() != 224) return;
  if (!CheckVersion(c)) {
    // A newer layout: the section goes back as it stood, in the device's place.
    if (at >= 0) keptSection = c.SectionBytes(at);
    return;
  }
  std::uint32_t length = 0;
  c.GetU32(60, length);
  const long have = c.EntrySize(102);
  std::vector<std::uint8_t> all(have > 0 ? static_cast<std::size_t>(have) : 0);
  if (!all.empty()) c.GetEntry(102, all.size(), all.data());
  bool ok = have >= 0 && length <= kMaxStationBytes && length <= all.size();
  if (ok) {
    std::vector<std::uint8_t> bytes(all.begin(), all.begin() + length);
    ok = ReadStation(bytes);
    if (ok) lastBytes_ = std::move(bytes);
  }
  if (!ok) {
    damaged_ = true;
    keptLength_ = length;
    keptBytes_ = std::move(all);
  }
  place = Utf8Left(station_->name, 64);
  number = station_->main.remoteIp[3];
  UpdateNode();
  if (!ok) Messages().ShowError(DamagedText(Caption()));
  UpdateStatusTable();
  // Each table reads the section of its own kind; a table the station does not call for is
  // passed over.
  TChildReader rd(c);
  for (;;) {
    int kind = KindOfSection(rd.Peek());
    if (!kind) break;
    rd.Load(Table(kind));
  }
}

void TRTU104::EnumerateSignals(TStorageLists& lists) {
  for (int kind : kEnumOrder)
    if (TParams* t = Table(kind)) lists.Append(t);
}

void TRTU104::AfterLoad() {
  if (TParams* tu = Table(kSigTU); tu && tu->referencesPending) tu->ResolveReferences();
}

void TRTU104::DumpExtra(std::string& out, const std::string& indent) const {
  if (damaged_) {
    out += indent + "station: damaged, " + std::to_string(keptBytes_.size()) + " bytes kept\n";
    return;
  }
  std::string text = DumpStation(*station_);
  std::size_t p = 0;
  while (p < text.size()) {
    std::size_t e = text.find('\n', p);
    if (e == std::string::npos) e = text.size();
    out += indent + "station: " + text.substr(p, e - p) + "\n";
    p = e + 1;
  }
}

// =======================================================================================
TPortRTU104::TPortRTU104() {
  name = "МЭК 870-5-104";
  frameClass = "TPortRTU104Frame";
  popup = TPopup::AddRTUMenu;
  iconIndex = 0;
  number = 1;
}

void TPortRTU104::Create(TNode* n) {
  TPollingPort::Create(n);
  if (TDocument* d = Doc(); d && d->ProcNode()) boundChannel = dynamic_cast<TBlock*>(d->ProcNode()->Item());
  n->SetImages(0);
}

void TPortRTU104::SetDefaults() { netMask = 1; }

void TPortRTU104::Fields(TFieldVisitor& v) {
  v.U8({"number", 1, 1, 255}, number);
  v.U8({"netMask", 72, 1, 1}, netMask);
  CountFields(v, false);
}

void TPortRTU104::SaveToImage(TConfig& c) {
  std::int32_t at = c.Pos;
  c.BeginSection(128);
  c.PutU8(48, version);
  c.PutU8(1, number);
  c.PutU8(72, netMask);
  PutDeviceCount(c);
  WriteChildren(c);
  c.EndSection(at);
}

void TPortRTU104::LoadFromImage(TConfig& c) {
  if (!EnterSection(c, 128)) return;
  c.GetU8(1, number);
  c.GetU8(72, netMask);
  std::uint8_t n = 0;
  c.GetU8(20, n);
  UpdateNode();
  LoadChildren(c, n, 224, [] { return std::make_unique<TRTU104>(); });
}

void TPortRTU104::UpdateStatusTable() {
  if (RebuildSuspended()) return;
  TPollingPort::UpdateStatusTable();
  if (node) node->SetImages(DeviceCountNow() > 0 ? 2 : 0);
}

bool TPortRTU104::OctetTaken(const TRTU104* device, int octet) const {
  return Exists(device, [&](const TPolledDevice& d) {
    auto* r = dynamic_cast<const TRTU104*>(&d);
    return r && r->Station().main.remoteIp[3] == octet;
  });
}

TRTU104* TPortRTU104::AddDevice() { return AppendNewDevice<TRTU104>(); }

void TPortRTU104::AddChildren(int /*menuTag*/) { AddDevice(); }

void TPortRTU104::DuplicateChild(TItem* child) {
  auto* src = dynamic_cast<TRTU104*>(child);
  if (!src || !CanAddDevice()) return;
  std::vector<std::uint8_t> bytes;
  if (!src->StationDamaged() && !src->StationBytes(bytes)) {
    Messages().ShowError(TooLargeText(src->Caption()));
    return;
  }
  TRebuildSuspension hold(this);
  auto* d = static_cast<TRTU104*>(AppendDevice(std::make_unique<TRTU104>()));
  if (!d) return;
  d->name = src->name;
  // A damaged block goes to the copy as it stood: it is the only form of that station.
  if (src->StationDamaged()) d->TakeKeptStation(*src);
  else d->ReadStation(bytes);
  d->place = Utf8Left(d->Station().name, 64);
  d->UpdateStatusTable();
  TParams* from = src->Table(kSigTI);
  TParams* to = d->Table(kSigTI);
  if (from && to)
    for (int i = 0; i < from->Count() && i < to->Count(); ++i)
      if (TParam *a = from->At(i), *b = to->At(i); a && b) {
        b->gain = a->gain;
        b->offset = a->offset;
        b->group = a->group;
      }
}

}  // namespace t32
