#include "ports/port_meters.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "model/boards.h"
#include "model/config.h"
#include "model/cp1251.h"
#include "model/document.h"
#include "model/messages.h"
#include "model/params.h"
#include "model/storage.h"

namespace t32 {

namespace {
void BitsToBytes(const std::bitset<256>& b, std::uint8_t out[32]) {
  std::memset(out, 0, 32);
  for (std::size_t i = 0; i < 256; ++i)
    if (b.test(i)) out[i / 8] = static_cast<std::uint8_t>(out[i / 8] | (1u << (i % 8)));
}

void BytesToBits(std::bitset<256>& b, const std::uint8_t in[32]) {
  b.reset();
  for (std::size_t i = 0; i < 256; ++i)
    if (in[i / 8] & (1u << (i % 8))) b.set(i);
}

// Old short images name a meter's quantities by codes 1 to 6 (voltage, current, frequency,
// active power, reactive power, total energy). The bits each code ticks in today's lists:
// the CE lists split power and energy into more items than the СС-301 list.
std::vector<int> BitsOfOldCode(int code, bool cc301) {
  switch (code) {
    case 1: return {0};
    case 2: return {1};
    case 3: return {2};
    case 4: return cc301 ? std::vector<int>{3} : std::vector<int>{3, 4};
    case 5: return cc301 ? std::vector<int>{4} : std::vector<int>{5, 6};
    case 6: return cc301 ? std::vector<int>{6} : std::vector<int>{7, 8, 9, 10};
    default: return {};  // unknown codes are read over
  }
}
}  // namespace

// =======================================================================================
TMeter::TMeter() {
  popup = TPopup::DeleteMenu;
  iconIndex = 0;
  number = 1;
}

void TMeter::Create(TNode* n) {
  TPolledDevice::Create(n);
  n->SetImages(0);
  UpdateNode();
}

void TMeter::UpdateNode() {
  if (node) node->SetCaption(std::to_string(Address()) + "_" + name);
}

void TMeter::SetAddress(long long a) {
  number = static_cast<std::uint8_t>(std::clamp<long long>(a, 1, 255));
  UpdateNode();
}

void TMeter::QuantityBytes(TFieldVisitor& v) {
  std::uint8_t raw[32];
  BitsToBytes(quantities, raw);
  v.Bytes({"quantities", 44}, raw, sizeof raw);
  if (v.Reading()) BytesToBits(quantities, raw);
}

void TMeter::Fields(TFieldVisitor& v) {
  v.Text({"place", 77}, place);
  v.U8({"address", 1, 1, 255}, number);
  v.U8({"retries", 62, 2, 99}, retries);
  QuantityBytes(v);
}

TParams* TMeter::Table(int type) const {
  if (!node) return nullptr;
  for (int i = 0; i < node->ChildCount(); ++i)
    if (auto* t = dynamic_cast<TParams*>(node->Child(i)->Item()); t && t->Type() == type) return t;
  return nullptr;
}

std::string TMeter::SignalPrefix() const { return portName + "." + std::to_string(Address()) + "_" + name; }

void TMeter::SetQuantity(int bit, bool on) {
  if (bit < 0 || bit >= 256) return;
  quantities.set(static_cast<std::size_t>(bit), on);
}

void TMeter::NameLists(std::vector<std::string>& ti, std::vector<std::string>& tii) const {
  const auto& q = Quantities();
  std::vector<std::string> energy;
  for (std::size_t i = 0; i < q.size(); ++i) {
    if (!quantities.test(i)) continue;
    for (const char* r : q[i].rows) (q[i].energy ? energy : ti).push_back(r);
  }
  // Bits beyond the list (from an image) are kept and build nothing.
  if (EnergyAsTI())
    ti.insert(ti.end(), energy.begin(), energy.end());
  else
    tii = std::move(energy);
}

bool TMeter::AddressTaken() const {
  TPollingPort* p = Port();
  return p && p->Exists(this, [&](const TPolledDevice& d) {
    auto* m = dynamic_cast<const TMeter*>(&d);
    return m && m->Address() == Address();
  });
}

void TMeter::UpdateStatusTable() {
  UpdateNode();
  if (!node) return;
  std::vector<std::string> ti, tii;
  NameLists(ti, tii);
  TTree* tree = node->Tree();
  if (TParams* t = Table(kSigTI); t && ti.empty()) tree->Delete(t->node);
  if (TParams* t = Table(kSigTII); t && tii.empty()) tree->Delete(t->node);
  if (!ti.empty() && !Table(kSigTI)) {
    auto p = MakeParams(kSigTI, kRoleSource);
    p->owner = this;
    tree->Add(node, std::move(p), 0)->expanded = true;
  }
  if (!tii.empty() && !Table(kSigTII)) {
    auto p = MakeParams(kSigTII, kRoleSource);
    p->owner = this;
    tree->Add(node, std::move(p))->expanded = true;
  }
  const std::string prefix = SignalPrefix();
  if (TParams* t = Table(kSigTI)) t->BuildFromList(ti, 4, prefix);
  if (TParams* t = Table(kSigTII)) t->BuildFromList(tii, 4, prefix);
  node->SetImages(node->ChildCount() ? 28 : 0);
  RequestPortRebuild();
}

void TMeter::WriteChildren(TConfig& c) {
  if (TParams* t = Table(kSigTI)) t->SaveToImage(c);
  if (TParams* t = Table(kSigTII)) t->SaveToImage(c);
}

void TMeter::LoadFromImage(TConfig& c) {
  if (!EnterSection(c, SectionCode())) return;
  TImageReader r(c);
  Fields(r);
  place = Utf8Left(place, 64);
  UpdateNode();
  UpdateStatusTable();
  TChildReader rd(c);
  if (Table(kSigTI) && rd.Peek() == 213) rd.Load(Table(kSigTI));
  if (Table(kSigTII) && rd.Peek() == 214) rd.Load(Table(kSigTII));
}

void TMeter::EnumerateSignals(TStorageLists& lists) {
  if (TParams* t = Table(kSigTI)) lists.Append(t);
  if (TParams* t = Table(kSigTII)) lists.Append(t);
}

// ---------------------------------------------------------------------------------------
TCC301::TCC301() {
  name = "CC301";
  frameClass = "TCC301Frame";
}

const std::vector<TMeterQuantity>& TCC301::Quantities() const {
  static const std::vector<TMeterQuantity> q = {
      {"Напряжение ( фазы А, В, С )", false, {"Напряжение_А", "Напряжение_B", "Напряжение_C"}},
      {"Ток ( фазы А, В, С )", false, {"Ток_А", "Ток_B", "Ток_C"}},
      {"Частота сети", false, {"Частота"}},
      {"Мощность мгновенная активная ( полная, фазы А, В, С )", false, {"Мощность_Мгнов_Акт_полная", "Мощность_Мгнов_Акт_А", "Мощность_Мгнов_Акт_B", "Мощность_Мгнов_Акт_C"}},
      {"Мощность мгновенная реактивная ( полная, фазы А, В, С )", false, {"Мощность_Мгнов_Реакт_полная", "Мощность_Мгнов_Реакт_А", "Мощность_Мгнов_Реакт_B", "Мощность_Мгнов_Реакт_C"}},
      {"Мощность средняя 3х минутная ( положительная/отрицательная, активная/реактивная )", false, {"Мощность_Средн_Акт_Полож", "Мощность_Средн_Акт_Отриц", "Мощность_Средн_Реакт_Полож", "Мощность_Средн_Реакт_Отриц"}},
      {"Энергия суммарная ( положительная/отрицательная, активная/реактивная )", true, {"Энергия_Сумм_Акт_Полож", "Энергия_Сумм_Акт_Отриц", "Энергия_Сумм_Реакт_Полож", "Энергия_Сумм_Реакт_Отриц"}},
      {"Энергия за текущие сутки ( положительная/отрицательная, активная/реактивная )", true, {"Энергия_Текущ_сутки_Акт_Полож", "Энергия_Текущ_сутки_Акт_Отриц", "Энергия_Текущ_сутки_Реакт_Полож", "Энергия_Текущ_сутки_Реакт_Отриц"}},
      {"Энергия за прошлые сутки ( положительная/отрицательная, активная/реактивная )", true, {"Энергия_Прошл_сутки_Акт_Полож", "Энергия_Прошл_сутки_Акт_Отриц", "Энергия_Прошл_сутки_Реакт_Полож", "Энергия_Прошл_сутки_Реакт_Отриц"}},
  };
  return q;
}

void TCC301::Fields(TFieldVisitor& v) {
  TMeter::Fields(v);
  v.U8({"energyAs", 8, 0, 1}, energyAs);
  v.U8({"ratio", 73, 0, 1}, ratio);
}

TCE303::TCE303() {
  name = "CE303";
  frameClass = "TCE303Frame";
}

const std::vector<TMeterQuantity>& TCE303::Quantities() const {
  static const std::vector<TMeterQuantity> q = {
      {"Напряжение ( фазы А, В, С )", false, {"Напряжение_А", "Напряжение_B", "Напряжение_C"}},
      {"Ток ( фазы А, В, С )", false, {"Ток_А", "Ток_B", "Ток_C"}},
      {"Частота сети", false, {"Частота"}},
      {"Мощность мгновенная активная суммарная", false, {"Мощность_Мгнов_Акт_Полная"}},
      {"Мощность мгновенная активная фазная", false, {"Мощность_Мгнов_Акт_А", "Мощность_Мгнов_Акт_B", "Мощность_Мгнов_Акт_C"}},
      {"Мощность мгновенная реактивная суммарная  (CE303)", false, {"Мощность_Мгнов_Реакт_Полная"}},
      {"Мощность мгновенная реактивная фазная  (CE303)", false, {"Мощность_Мгнов_Реакт_А", "Мощность_Мгнов_Реакт_B", "Мощность_Мгнов_Реакт_C"}},
      {"Энергия суммарная положительная активная", true, {"Энергия_Сумм_Акт_Полож"}},
      {"Энергия суммарная положительная реактивная  (CE303)", true, {"Энергия_Сумм_Реакт_Полож"}},
      {"Энергия суммарная отрицательная активная", true, {"Энергия_Сумм_Акт_Отриц"}},
      {"Энергия суммарная отрицательная реактивная  (CE303)", true, {"Энергия_Сумм_Реакт_Отриц"}},
  };
  return q;
}

TCE318::TCE318() {
  name = "CE318";
  frameClass = "TCE318Frame";
}

const std::vector<TMeterQuantity>& TCE318::Quantities() const {
  static const std::vector<TMeterQuantity> q = {
      {"Напряжение ( фазы А, В, С )", false, {"Напряжение_А", "Напряжение_B", "Напряжение_C"}},
      {"Ток ( фазы А, В, С )", false, {"Ток_А", "Ток_B", "Ток_C"}},
      {"Частота сети", false, {"Частота"}},
      {"Мощность мгновенная активная суммарная", false, {"Мощность_Мгнов_Акт_Полная"}},
      {"Мощность мгновенная активная фазная", false, {"Мощность_Мгнов_Акт_А", "Мощность_Мгнов_Акт_B", "Мощность_Мгнов_Акт_C"}},
      {"Мощность мгновенная реактивная суммарная", false, {"Мощность_Мгнов_Реакт_Полная"}},
      {"Мощность мгновенная реактивная фазная", false, {"Мощность_Мгнов_Реакт_А", "Мощность_Мгнов_Реакт_B", "Мощность_Мгнов_Реакт_C"}},
      {"Энергия суммарная положительная активная", true, {"Энергия_Сумм_Акт_Полож"}},
      {"Энергия суммарная положительная реактивная", true, {"Энергия_Сумм_Реакт_Полож"}},
      {"Энергия суммарная отрицательная активная", true, {"Энергия_Сумм_Акт_Отриц"}},
      {"Энергия суммарная отрицательная реактивная", true, {"Энергия_Сумм_Реакт_Отриц"}},
  };
  return q;
}

void TCE318::Fields(TFieldVisitor& v) {
  v.Text({"place", 77}, place);
  v.U32({"address", 1, 0, 4294967295.0}, address);
  v.U8({"retries", 62, 2, 99}, retries);
  QuantityBytes(v);
  if (v.Reading()) number = static_cast<std::uint8_t>(address);
}

void TCE318::UpdateNode() {
  number = static_cast<std::uint8_t>(address);
  TMeter::UpdateNode();
}

void TCE318::SetAddress(long long a) {
  address = static_cast<std::uint32_t>(std::clamp<long long>(a, 0, 0xFFFFFFFFll));
  UpdateNode();
}

// =======================================================================================
TMeterPort::TMeterPort() {
  iconIndex = 2;
  interfaces = kIfRS232 | kIfRS485;
  number = 1;
}

void TMeterPort::Create(TNode* n) {
  TPollingPort::Create(n);
  n->SetImages(0);
}

void TMeterPort::Fields(TFieldVisitor& v) {
  v.U8({"number", 1, 1, 40}, number);
  v.U8({"pollPeriod", 31, 1, 60}, pollPeriod);
  CountFields(v, true);
}

void TMeterPort::SaveToImage(TConfig& c) {
  std::int32_t at = c.Pos;
  c.BeginSection(static_cast<std::uint16_t>(SectionCode()));
  c.PutU8(48, version);
  c.PutU8(1, number);
  c.PutU8(31, pollPeriod);
  PutDeviceCount(c);
  PutBinding(c);
  WriteChildren(c);
  c.EndSection(at);
}

void TMeterPort::LoadFromImage(TConfig& c) {
  if (!EnterSection(c, SectionCode())) return;
  c.GetU8(1, number);
  c.GetU8(31, pollPeriod);
  std::uint8_t n = 0, ch = 0;
  c.GetU8(20, n);
  if (c.GetU8(30, ch)) BindByAddress(ch);
  UpdateNode();
  LoadChildren(c, n, MeterCode(), [this] { return std::unique_ptr<TPolledDevice>(MakeMeter().release()); });
}

void TMeterPort::LoadFromShortImage(TConfig& c) {
  if (c.NextShortSection() != (SectionCode() & 0xFF)) return;
  // Older layouts: version 1 has one base for the port, version 2 one record per meter.
  std::uint8_t ver = 1;
  c.GetShortEntry(48, 1, &ver);
  if (ver > 2) {
    Messages().ShowError("Новая версия " + name);
    return;
  }
  c.GetShortEntry(1, 1, &number);
  c.GetShortEntry(31, 1, &pollPeriod);
  std::uint8_t n = 0, ch = 0;
  c.GetShortEntry(20, 1, &n);
  if (c.GetShortEntry(30, 1, &ch)) BindByAddress(ch);
  UpdateNode();
  std::uint8_t base1 = 0;
  c.GetShortEntry(11, 1, &base1);
  // Version 2: only the records key 44 really holds are read, however many key 20 announces.
  const long have = ver >= 2 ? c.ShortEntrySize(44) : -1;
  const int records = have > 0 ? static_cast<int>(std::min<long>(n, have / 11)) : 0;
  std::vector<std::uint8_t> rec(11u * static_cast<std::size_t>(records));
  const bool haveRecords = records > 0 && c.GetShortEntry(44, static_cast<std::uint16_t>(rec.size()), rec.data());
  TDocument* d = Doc();
  const bool cc301 = MeterCode() == 216;
  int legacyAt = base1 > 0 ? 8 * (base1 - 1) : -1;  // version 1: the meters' rows follow each other
  TRebuildSuspension hold(this);
  for (int i = 0; i < n; ++i) {
    if (!CanAddDevice()) break;
    auto made = MakeMeter();
    int base = 0;
    if (ver >= 2) {
      if (!haveRecords || i >= records) break;
      const std::uint8_t* r = rec.data() + 11 * i;
      const int addr = r[0] | (r[1] << 8);
      base = r[2];
      if (auto* m318 = dynamic_cast<TCE318*>(made.get())) {
        m318->address = static_cast<std::uint32_t>(addr);
      } else if (addr > 255 || addr == 0) {
        Messages().ShowError("Счётчик " + made->name + " № " + std::to_string(i + 1) + ": адрес " + std::to_string(addr) +
                             " вне диапазона 1..255, взят адрес 1");
        made->number = 1;
      } else {
        made->number = static_cast<std::uint8_t>(addr);
      }
      for (int k = 0; k < 8; ++k)
        for (int bit : BitsOfOldCode(r[3 + k], cc301)) made->SetQuantity(bit, true);
    } else {
      // Version 1 carries no records: every meter reads all six old quantity groups.
      made->number = static_cast<std::uint8_t>(i + 1);
      if (auto* m318 = dynamic_cast<TCE318*>(made.get())) m318->address = static_cast<std::uint32_t>(i + 1);
      for (int code = 1; code <= 6; ++code)
        for (int bit : BitsOfOldCode(code, cc301)) made->SetQuantity(bit, true);
    }
    auto* m = static_cast<TMeter*>(AppendDevice(std::unique_ptr<TPolledDevice>(made.release())));
    if (!m) break;
    m->UpdateStatusTable();
    TParams* ti = m->Table(kSigTI);
    if (!d || !ti) continue;
    int at = ver >= 2 ? (base > 0 ? 8 * (base - 1) : -1) : legacyAt;
    for (int row = 0; row < ti->Count(); ++row)
      if (at >= 0) d->Storage().PutLegacyName(at + row, kSigTI, 4, ti->At(row)->DefaultName());
    if (ver < 2 && legacyAt >= 0) legacyAt += ti->Count();
  }
}

TMeter* TMeterPort::AddMeter() {
  if (!CanAddDevice()) return nullptr;
  TRebuildSuspension hold(this);
  auto* m = static_cast<TMeter*>(AppendDevice(std::unique_ptr<TPolledDevice>(MakeMeter().release())));
  if (m) m->UpdateStatusTable();
  return m;
}

void TMeterPort::AddChildren(int /*menuTag*/) { AddMeter(); }

TPortCC301::TPortCC301() {
  name = "CC301";
  frameClass = "TPortCC301Frame";
  popup = TPopup::AddCC301Menu;
}

TPortCE303::TPortCE303() {
  name = "CE303";
  frameClass = "TPortCE303Frame";
  popup = TPopup::AddCE303Menu;
}

TPortCE318::TPortCE318() {
  name = "CE318";
  frameClass = "TPortCE318Frame";
  popup = TPopup::AddCE318Menu;
}

// =======================================================================================
TPortCP8500::TPortCP8500() {
  name = "ЦП8500";
  frameClass = "TPortCP8500Frame";
  popup = TPopup::DeleteMenu;
  iconIndex = 2;
  interfaces = kIfRS232 | kIfRS485;
  number = 1;
}

void TPortCP8500::Create(TNode* n) {
  TPort::Create(n);
  n->SetImages(0);
}

namespace {
std::vector<std::uint8_t> PackEntries(const std::vector<TCP8500Entry>& e) {
  std::vector<std::uint8_t> out;
  out.reserve(3 * e.size());
  for (const TCP8500Entry& x : e) {
    out.push_back(static_cast<std::uint8_t>(x.address));
    out.push_back(static_cast<std::uint8_t>(x.address >> 8));
    out.push_back(x.parameter);
  }
  return out;
}

std::string EntryName(const TCP8500Entry& e) { return std::to_string(e.address) + ".Пр" + std::to_string(e.parameter); }

const char* const kTooManyEntries = "В таблице адресов не может быть больше 65 записей";
}  // namespace

void TPortCP8500::Fields(TFieldVisitor& v) {
  v.U8({"number", 1, 1, 40}, number);
  std::uint8_t n = static_cast<std::uint8_t>(std::min<std::size_t>(entries.size(), kMaxEntries));
  v.U8({"entryCount", 20}, n);
  std::vector<std::uint8_t> raw = PackEntries(entries);
  v.Bytes({"entries", 44}, raw.data(), raw.size());
  std::uint8_t channel = boundChannel && !BoundToProcessor() ? boundChannel->number : 0;
  v.U8({"channelAddress", 30}, channel);
}

TParams* TPortCP8500::Table(int type) const {
  if (!node) return nullptr;
  for (int i = 0; i < node->ChildCount(); ++i)
    if (auto* t = dynamic_cast<TParams*>(node->Child(i)->Item()); t && t->Type() == type) return t;
  return nullptr;
}

bool TPortCP8500::SetEntries(const std::vector<TCP8500Entry>& rows) {
  if (rows.size() > static_cast<std::size_t>(kMaxEntries)) {
    Messages().ShowError(kTooManyEntries);
    return false;
  }
  std::set<std::pair<int, int>> seen;
  for (const TCP8500Entry& e : rows)
    if (!seen.insert({e.address, e.parameter}).second) {
      Messages().ShowError("Прибор " + std::to_string(e.address) + ", параметр " + std::to_string(e.parameter) +
                           " уже есть в таблице");
      return false;
    }
  entries = rows;
  UpdateStatusTable();
  return true;
}

bool TPortCP8500::StoreRows(const std::vector<std::pair<std::string, std::string>>& rows) {
  std::vector<TCP8500Entry> out;
  auto number = [](const std::string& s, long max, long& v) {
    if (s.empty() || s.size() > 6) return false;
    v = 0;
    for (char ch : s) {
      if (ch < '0' || ch > '9') return false;
      v = v * 10 + (ch - '0');
    }
    return v <= max;
  };
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const auto& [a, p] = rows[i];
    if (a.empty()) continue;
    long addr = 0, par = 1;
    if (!number(a, 65535, addr) || (!p.empty() && !number(p, 255, par))) {
      Messages().ShowError("Строка " + std::to_string(i + 1) + ": адрес прибора от 0 до 65535, номер параметра от 0 до 255");
      return false;
    }
    out.push_back({static_cast<std::uint16_t>(addr), static_cast<std::uint8_t>(par)});
  }
  return SetEntries(out);
}

void TPortCP8500::UpdateStatusTable() {
  if (!node) return;
  std::vector<std::string> names;
  names.reserve(entries.size());
  for (const TCP8500Entry& e : entries) names.push_back(EntryName(e));
  TTree* tree = node->Tree();
  for (int type : {kSigTS, kSigTI}) {
    TParams* t = Table(type);
    if (names.empty()) {
      if (t) tree->Delete(t->node);
      continue;
    }
    if (!t) {
      auto p = MakeParams(type, kRoleSource);
      p->owner = this;
      t = p.get();
      tree->Add(node, std::move(p), type == kSigTS ? 0 : -1)->expanded = true;
    }
    const std::string pn = std::to_string(number) + "_Порт";
    t->BuildFromList(names, type == kSigTS ? 2 : 4, type == kSigTS ? pn + ".связь" : pn);
  }
  if (TDocument* d = Doc()) d->Storage().Rebuild();
}

void TPortCP8500::WriteChildren(TConfig& c) {
  if (TParams* t = Table(kSigTS)) t->SaveToImage(c);
  if (TParams* t = Table(kSigTI)) t->SaveToImage(c);
}

void TPortCP8500::SaveToImage(TConfig& c) {
  std::int32_t at = c.Pos;
  c.BeginSection(116);
  c.PutU8(48, version);
  c.PutU8(1, number);
  const std::size_t n = std::min<std::size_t>(entries.size(), kMaxEntries);
  c.PutU8(20, static_cast<std::uint8_t>(n));
  std::vector<std::uint8_t> raw = PackEntries(entries);
  raw.resize(3 * n);
  c.PutEntry(44, raw.size(), raw.data());
  PutBinding(c);
  WriteChildren(c);
  c.EndSection(at);
}

namespace {
// Entries of key 44 (count from key 20, cut to 65 with a message; never past the entry).
std::vector<TCP8500Entry> ReadEntries(const std::uint8_t* raw, std::size_t have, int announced, TMessages& msgs) {
  int n = std::min<int>(announced, static_cast<int>(have / 3));
  if (n > TPortCP8500::kMaxEntries) {
    msgs.ShowError(std::string(kTooManyEntries) + ": прочитано " + std::to_string(TPortCP8500::kMaxEntries) + " из " +
                   std::to_string(n));
    n = TPortCP8500::kMaxEntries;
  }
  std::vector<TCP8500Entry> out;
  for (int i = 0; i < n; ++i)
    out.push_back({static_cast<std::uint16_t>(raw[3 * i] | (raw[3 * i + 1] << 8)), raw[3 * i + 2]});
  return out;
}
}  // namespace

void TPortCP8500::LoadFromImage(TConfig& c) {
  if (!EnterSection(c, 116)) return;
  c.GetU8(1, number);
  std::uint8_t n = 0, ch = 0;
  c.GetU8(20, n);
  std::uint8_t raw[3 * 255] = {};
  long have = c.EntrySize(44);
  if (have > 0) c.GetEntry(44, sizeof raw, raw);
  entries = ReadEntries(raw, static_cast<std::size_t>(std::clamp<long>(have, 0, sizeof raw)), n, Messages());
  if (c.GetU8(30, ch)) BindByAddress(ch);
  UpdateNode();
  UpdateStatusTable();
  TChildReader rd(c);
  if (Table(kSigTS) && rd.Peek() == 211) rd.Load(Table(kSigTS));
  if (Table(kSigTI) && rd.Peek() == 213) rd.Load(Table(kSigTI));
}

void TPortCP8500::LoadFromShortImage(TConfig& c) {
  if (c.NextShortSection() != 116) return;
  if (!CheckVersion(c, true)) return;
  c.GetShortEntry(1, 1, &number);
  std::uint8_t base = 0, n = 0, ch = 0;
  c.GetShortEntry(11, 1, &base);
  c.GetShortEntry(20, 1, &n);
  std::uint8_t raw[3 * 255] = {};
  const long have = c.ShortEntrySize(44);
  const bool got = have > 0 && c.GetShortEntry(44, sizeof raw, raw);
  entries = got ? ReadEntries(raw, static_cast<std::size_t>(std::min<long>(have, sizeof raw)), n, Messages())
                : std::vector<TCP8500Entry>{};
  if (c.GetShortEntry(30, 1, &ch)) BindByAddress(ch);
  UpdateNode();
  UpdateStatusTable();
  TParams* ti = Table(kSigTI);
  TDocument* d = Doc();
  if (!ti || !d || base == 0) return;
  for (int row = 0; row < ti->Count() && row < static_cast<int>(entries.size()); ++row)
    if (entries[static_cast<std::size_t>(row)].parameter != 0)
      d->Storage().PutLegacyName(8 * base + 2 * row - 8, kSigTI, 4, ti->At(row)->DefaultName());
}

void TPortCP8500::EnumerateSignals(TStorageLists& lists) {
  if (TParams* t = Table(kSigTS)) lists.Append(t);
  if (TParams* t = Table(kSigTI)) lists.Append(t);
}

}  // namespace t32
