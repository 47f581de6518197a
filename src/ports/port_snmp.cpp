#include "ports/port_snmp.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "model/boards.h"
#include "model/config.h"
#include "model/cp1251.h"
#include "model/document.h"
#include "model/messages.h"
#include "model/params.h"
#include "model/storage.h"

namespace t32 {

namespace {
// The ТИ table's own refusal: one row per tag.
std::string TooManyTags() {
  return "В таблице ТИ не может быть больше " + std::to_string(kMaxRows) + " сигналов: операция отменена";
}

std::string ShortHex(const std::uint8_t* p, std::size_t n) {
  std::string s = OctetsToHexText(p, n);
  if (!s.empty()) s.pop_back();
  return s;
}
}  // namespace

// =======================================================================================
TSNMP::TSNMP() {
  name = "RTU";
  frameClass = "TSNMPFrame";
  popup = TPopup::DubbleDelMenu;
  iconIndex = 0;
  std::memcpy(dev.Address, kDefaultAddress, 4);
  number = dev.Address[3];
}

void TSNMP::Create(TNode* n) {
  TPolledDevice::Create(n);
  n->SetImages(dev.Tags.Count() ? 28 : 0);
  UpdateNode();
}

void TSNMP::UpdateNode() {
  number = dev.Address[3];
  if (node) node->SetCaption(std::to_string(number) + "_" + name);
}

void TSNMP::Fields(TFieldVisitor& v) { v.Text({"place", 77}, place); }

void TSNMP::DumpExtra(std::string& out, const std::string& indent) const {
  out += indent + "address = " + OctetsToIpText(dev.Address) + "\n";
  out += indent + "udpPort = " + std::to_string(dev.Port) + "\n";
  out += indent + "extraWords = " + std::to_string(dev.ExtraWord1) + " " + std::to_string(dev.ExtraWord2) + "\n";
  for (const auto& t : dev.Tags.Items) {
    snmp::TSnmpOid oid;
    std::string o = t->GetOid(oid) ? snmp::SnmpOidToString(oid) : "hex " + ShortHex(t->OidBytes, t->OidLength);
    out += indent + "tag " + Cp1251ToUtf8(t->Name) + " = " + o + "\n";
  }
}

TParams* TSNMP::TiTable() const {
  if (!node || node->ChildCount() == 0) return nullptr;
  auto* t = dynamic_cast<TParams*>(node->Child(0)->Item());
  return t && t->Type() == kSigTI ? t : nullptr;
}

void TSNMP::SetAddress(const std::uint8_t a[4]) {
  std::memcpy(dev.Address, a, 4);
  UpdateNode();
}

void TSNMP::SetPlace(const std::string& p) { place = Utf8Left(p, 64); }

std::vector<std::string> TSNMP::SignalNames() const {
  std::vector<std::string> list;
  list.reserve(dev.Tags.Count());
  // A dot would split the signal name; a repeated name takes "_повтор" and its position
  // (again, should that too be taken), so every row has a name of its own.
  std::unordered_set<std::string> seen;
  seen.reserve(dev.Tags.Count() * 2);
  for (std::size_t i = 0; i < dev.Tags.Count(); ++i) {
    std::string n = Cp1251ToUtf8(dev.Tags.Items[i]->Name);
    std::replace(n.begin(), n.end(), '.', '_');
    while (seen.count(n)) n += "_повтор" + std::to_string(i);
    seen.insert(n);
    list.push_back(std::move(n));
  }
  return list;
}

void TSNMP::UpdateStatusTable() {
  UpdateNode();
  if (!node) return;
  std::vector<std::string> names = SignalNames();
  TParams* t = TiTable();
  TTree* tree = node->Tree();
  if (names.empty()) {
    if (t) tree->Delete(t->node);
    t = nullptr;
  } else if (!t) {
    auto p = MakeParams(kSigTI, kRoleSource);
    p->owner = this;
    t = p.get();
    TNode* n = tree->Add(node, std::move(p), 0);
    n->expanded = true;
  }
  if (t) {
    const std::string prefix = portName + "." + std::to_string(number) + "_" + name;
    t->BuildFromList(names, 2, prefix);
    // The controller keeps every polled value in four bytes.
    for (int i = 0; i < t->Count(); ++i)
      if (TParam* r = t->At(i)) r->valueWidth = 4;
  }
  node->SetImages(names.empty() ? 0 : 28);
  RequestPortRebuild();
}

std::vector<std::uint8_t> TSNMP::Record() const {
  std::size_t need = 16;
  for (const auto& t : dev.Tags.Items) need += 2 + std::min(t->Name.size(), snmp::TSNMP_Tag::kMaxName) + t->OidLength;
  need = std::min(need, kRecordBuffer);
  std::vector<std::uint8_t> buf(need);
  TMemStream s(buf.data(), buf.size());
  dev.SaveTo(s);
  buf.resize(static_cast<std::size_t>(s.MemPos()));
  return buf;
}

bool TSNMP::SetTags(const std::vector<TSnmpTagPick>& picks) {
  if (picks.size() > kMaxTags) {
    Messages().ShowError(TooManyTags());
    return false;
  }
  snmp::TSNMP_TagList list;
  std::vector<std::string> skipped;
  for (const TSnmpTagPick& p : picks) {
    auto tag = std::make_unique<snmp::TSNMP_Tag>();
    tag->Name = Utf8ToCp1251(Utf8Left(p.name, snmp::TSNMP_Tag::kMaxName));
    if (tag->Name.size() > snmp::TSNMP_Tag::kMaxName) tag->Name.resize(snmp::TSNMP_Tag::kMaxName);
    if (!tag->SetOid(p.oid)) skipped.push_back(p.name);
    else list.Items.push_back(std::move(tag));
  }
  return ReplaceTags(std::move(list), skipped);
}

bool TSNMP::ReplaceTags(snmp::TSNMP_TagList&& list, const std::vector<std::string>& skipped) {
  for (const std::string& n : skipped)
    Messages().ShowError("Идентификатор объекта " + Cp1251ToUtf8(Utf8ToCp1251(n)) + " длиннее 32 байт: тег не добавлен");
  if (list.Count() > kMaxTags) {
    Messages().ShowError(TooManyTags());
    return false;
  }
  dev.Tags.Items = std::move(list.Items);
  return true;
}

void TSNMP::SaveToImage(TConfig& c) {
  std::int32_t at = c.Pos;
  c.BeginSection(232);
  c.PutU8(48, version);
  c.PutText(77, place);
  std::vector<std::uint8_t> rec = Record();
  c.PutU32(60, static_cast<std::uint32_t>(rec.size()));
  c.PutEntry(102, rec.size(), rec.data());
  if (TParams* t = TiTable()) t->SaveToImage(c);
  c.EndSection(at);
}

void TSNMP::LoadFromImage(TConfig& c) {
  if (!EnterSection(c, 232)) return;
  if (c.GetText(77, place)) place = Utf8Left(place, 64);
  std::uint32_t announced = 0;
  c.GetU32(60, announced);
  // The length entry and the record's own size must agree; a record longer than the
  // controller's buffer is not one it wrote.
  long have = c.EntrySize(102);
  std::size_t len = std::min<std::size_t>({announced, have > 0 ? static_cast<std::size_t>(have) : 0, kRecordBuffer});
  std::vector<std::uint8_t> buf(len);
  bool ok = len >= 16 && c.GetEntry(102, len, buf.data());
  snmp::TSNMP_device d;
  if (ok) {
    TMemStream s(static_cast<const void*>(buf.data()), buf.size());
    ok = d.LoadFrom(s);
  }
  // What was read stays (the head and the tags before the fault), with a message.
  std::memcpy(dev.Address, d.Address, 4);
  std::memcpy(dev.Reserved, d.Reserved, 2);
  dev.Port = d.Port;
  dev.ExtraWord1 = d.ExtraWord1;
  dev.ExtraWord2 = d.ExtraWord2;
  dev.Tags.Items = std::move(d.Tags.Items);
  if (!ok) Messages().ShowError("Запись устройства SNMP " + OctetsToIpText(dev.Address) + " повреждена: прочитано тегов " +
                                std::to_string(dev.Tags.Count()));
  UpdateStatusTable();
  TChildReader rd(c);
  if (rd.Peek() == 213) rd.Load(TiTable());
}

void TSNMP::EnumerateSignals(TStorageLists& lists) {
  if (TParams* t = TiTable()) lists.Append(t);
}

// =======================================================================================
TPortSNMP::TPortSNMP() {
  name = "SNMP";
  frameClass = "TPortSNMPFrame";
  popup = TPopup::AddRTUMenu;
  iconIndex = 0;
  number = 1;
}

void TPortSNMP::Create(TNode* n) {
  TPollingPort::Create(n);
  if (TDocument* d = Doc(); d && d->ProcNode()) boundChannel = dynamic_cast<TBlock*>(d->ProcNode()->Item());
  n->SetImages(0);
}

void TPortSNMP::SetDefaults() {
  netMask = 1;
  pollPeriod = 200;
  replyWait = 500;
}

void TPortSNMP::Fields(TFieldVisitor& v) {
  v.U8({"number", 1, 1, 255}, number);
  v.U8({"netMask", 72, 1, 1}, netMask);
  v.U16({"pollPeriod", 24, 10, 1000}, pollPeriod);
  v.U16({"replyWait", 57, 100, 2000}, replyWait);
  CountFields(v, false);
}

void TPortSNMP::SaveToImage(TConfig& c) {
  std::int32_t at = c.Pos;
  c.BeginSection(134);
  c.PutU8(48, version);
  c.PutU8(1, number);
  c.PutU8(72, netMask);
  c.PutU16(24, pollPeriod);
  c.PutU16(57, replyWait);
  PutDeviceCount(c);
  WriteChildren(c);
  c.EndSection(at);
}

void TPortSNMP::LoadFromImage(TConfig& c) {
  if (!EnterSection(c, 134)) return;
  c.GetU8(1, number);
  c.GetU8(72, netMask);
  c.GetU16(24, pollPeriod);
  c.GetU16(57, replyWait);
  std::uint8_t n = 0;
  c.GetU8(20, n);
  UpdateNode();
  LoadChildren(c, n, 232, [] { return std::make_unique<TSNMP>(); });
}

void TPortSNMP::UpdateStatusTable() {
  if (RebuildSuspended()) return;
  TPollingPort::UpdateStatusTable();
  if (node) node->SetImages(DeviceCountNow() > 0 ? 2 : 0);
}

TSNMP* TPortSNMP::AddAgent() { return AppendNewDevice<TSNMP>(); }

void TPortSNMP::AddChildren(int /*menuTag*/) { AddAgent(); }

TSNMP* TPortSNMP::Duplicate(const TSNMP& src) {
  if (!CanAddDevice()) return nullptr;
  TRebuildSuspension hold(this);
  auto made = std::make_unique<TSNMP>();
  // Through the record, exactly as the image would carry it.
  std::vector<std::uint8_t> rec = src.Record();
  TMemStream s(static_cast<const void*>(rec.data()), rec.size());
  made->dev.LoadFrom(s);
  made->name = src.name;
  auto* d = static_cast<TSNMP*>(AppendDevice(std::move(made)));
  if (!d) return nullptr;
  d->UpdateStatusTable();
  TParams* a = src.TiTable();
  TParams* b = d->TiTable();
  for (int i = 0; a && b && i < a->Count() && i < b->Count(); ++i) {
    TParam* r = a->At(i);
    TParam* w = b->At(i);
    if (!r || !w) continue;
    w->gain = r->gain;
    w->offset = r->offset;
    w->group = r->group;
  }
  return d;
}

void TPortSNMP::DuplicateChild(TItem* child) {
  if (auto* s = dynamic_cast<TSNMP*>(child)) Duplicate(*s);
}

}  // namespace t32
