#include "ports/modbus.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <unordered_set>

#include "model/boards.h"
#include "model/config.h"
#include "model/cp1251.h"
#include "model/cp866.h"
#include "model/document.h"
#include "model/messages.h"
#include "model/params.h"
#include "model/storage.h"
#include "ports/app_context.h"

namespace t32 {

namespace {
constexpr std::uint32_t kDefaultTcpIp = 0xC0A80100;    // 192.168.1.0
constexpr std::uint32_t kDuplicateTcpIp = 0xC0A80101;  // 192.168.1.1

// Blocks as the image holds them: function, address (little-endian), count; ТИ blocks start
// with the value type.
void PackBlocks(const std::array<TRTUBlock, 8>& a, bool ti, std::uint8_t* out) {
  for (const TRTUBlock& b : a) {
    if (ti) *out++ = b.type;
    *out++ = b.function;
    *out++ = static_cast<std::uint8_t>(b.address);
    *out++ = static_cast<std::uint8_t>(b.address >> 8);
    *out++ = b.count;
  }
}
void UnpackBlocks(std::array<TRTUBlock, 8>& a, bool ti, const std::uint8_t* in, std::size_t blocks) {
  for (std::size_t i = 0; i < blocks && i < a.size(); ++i) {
    TRTUBlock& b = a[i];
    if (ti) b.type = *in++;
    b.function = *in++;
    b.address = static_cast<std::uint16_t>(in[0] | (in[1] << 8));
    in += 2;
    b.count = *in++;
  }
}

// Lower-case hex, at least four digits (more when the address needs them).
std::string Hex(unsigned a) {
  static const char digits[] = "0123456789abcdef";
  char buf[8];
  int n = 0;
  do {
    buf[n++] = digits[a & 15];
    a >>= 4;
  } while (a && n < 8);
  while (n < 4) buf[n++] = '0';
  std::string out(static_cast<std::size_t>(n), '0');
  for (int i = 0; i < n; ++i) out[static_cast<std::size_t>(i)] = buf[n - 1 - i];
  return out;
}

// Every "." becomes a space (a dot would split the signal name), then equal names get
// "_повтор" + their position; a name so made that is still taken gets the next number.
void Normalise(std::vector<std::string>& list) {
  // Views into the list: a name is final once it is in the set.
  std::unordered_set<std::string_view> seen;
  seen.reserve(list.size() * 2);
  for (std::size_t i = 0; i < list.size(); ++i) {
    std::string& n = list[i];
    std::replace(n.begin(), n.end(), '.', ' ');
    if (seen.count(n)) {
      std::size_t k = i;
      std::string c;
      do c = n + "_повтор" + std::to_string(k++);
      while (seen.count(c));
      n = std::move(c);
    }
    seen.insert(n);
  }
}

std::string PadPassword(std::string p) {
  p = Utf8Left(p, 4);
  if (!p.empty())
    while (Utf8Length(p) < 4) p += ' ';
  return p;
}

void PutLog(TConfig& c, const TRTULog& l, int kStart, int kSelect, int kInterval, int kRecords, int kText, int kCount,
            int kCodes) {
  c.PutU16(static_cast<std::uint16_t>(kStart), l.start);
  c.PutU16(static_cast<std::uint16_t>(kSelect), l.select);
  c.PutU16(static_cast<std::uint16_t>(kInterval), l.interval);
  c.PutU16(static_cast<std::uint16_t>(kRecords), l.records);
  c.PutText(static_cast<std::uint16_t>(kText), l.text);
  std::size_t n = std::min(l.codes.size(), TRTULog::kMaxCodes);
  c.PutU16(static_cast<std::uint16_t>(kCount), static_cast<std::uint16_t>(n));
  if (n) {
    std::vector<std::uint8_t> b(n * 2);
    for (std::size_t i = 0; i < n; ++i) {
      b[2 * i] = static_cast<std::uint8_t>(l.codes[i]);
      b[2 * i + 1] = static_cast<std::uint8_t>(l.codes[i] >> 8);
    }
    c.PutEntry(static_cast<std::uint16_t>(kCodes), b.size(), b.data());
  }
}

void GetLog(const TConfig& c, TRTULog& l, int kStart, int kSelect, int kInterval, int kRecords, int kText, int kCount,
            int kCodes) {
  l = TRTULog{};
  c.GetU16(static_cast<std::uint16_t>(kStart), l.start);
  c.GetU16(static_cast<std::uint16_t>(kSelect), l.select);
  c.GetU16(static_cast<std::uint16_t>(kInterval), l.interval);
  c.GetU16(static_cast<std::uint16_t>(kRecords), l.records);
  c.GetText(static_cast<std::uint16_t>(kText), l.text);
  std::uint16_t n = 0;
  c.GetU16(static_cast<std::uint16_t>(kCount), n);
  // A hostile count is cut to the limit and to the codes the image really holds.
  long have = c.EntrySize(static_cast<std::uint16_t>(kCodes));
  std::size_t count = std::min<std::size_t>({n, TRTULog::kMaxCodes, have > 0 ? static_cast<std::size_t>(have) / 2 : 0});
  if (!count) return;
  std::vector<std::uint8_t> b(count * 2);
  c.GetEntry(static_cast<std::uint16_t>(kCodes), b.size(), b.data());
  l.codes.resize(count);
  for (std::size_t i = 0; i < count; ++i) l.codes[i] = static_cast<std::uint16_t>(b[2 * i] | (b[2 * i + 1] << 8));
}

// Tables stand in this order under a device.
constexpr int kTableOrder[5] = {kSigTS, kSigTU, kSigTI, kSigTR, kSigMTS};
int TableRank(int kind) {
  for (int i = 0; i < 5; ++i)
    if (kTableOrder[i] == kind) return i;
  return 5;
}
}  // namespace

std::string BlockText(const TRTUBlock& b, bool ti) {
  char buf[64];
  if (ti) std::snprintf(buf, sizeof buf, "t%u f%u $%04X x%u", b.type, b.function, b.address, b.count);
  else std::snprintf(buf, sizeof buf, "f%u $%04X x%u", b.function, b.address, b.count);
  return buf;
}

// =======================================================================================
TRTU::TRTU() {
  name = "RTU";
  frameClass = "TRTUFrame";
  popup = TPopup::DubbleDelMenu;
  iconIndex = 28;
  number = 1;
}

void TRTU::Create(TNode* n) {
  TPolledDevice::Create(n);
  newDevice = true;
  n->SetImages(iconIndex);
}

void TRTU::UpdateNode() {
  if (node) node->SetCaption(std::to_string(number) + "_" + name);
}

TAppContext* TRTU::Context() const { return ContextOf(Doc()); }

const TLibraryFile* TRTU::LibraryFile() const {
  TAppContext* ctx = Context();
  return ctx ? ctx->library.Find(name) : nullptr;
}

TParams* TRTU::Table(int kind) const {
  if (!node) return nullptr;
  for (int i = 0; i < node->ChildCount(); ++i)
    if (auto* t = dynamic_cast<TParams*>(node->Child(i)->Item()); t && t->Type() == kind) return t;
  return nullptr;
}

std::string TRTU::SignalPrefix() const {
  return portName + "." + std::to_string(number) + "_" + (place.empty() ? name : place);
}
std::string TRTU::TRPrefix() const { return portName + "." + std::to_string(number) + "_" + name; }

TRTUNameLists TRTU::NameLists(const TLibraryFile* f) const {
  TRTUNameLists L;
  using TSection = TIniFile::Section;
  auto sec = [&](const char* name) -> const TSection* { return f ? f->ini.FindSection(name) : nullptr; };
  const TSection *sTs = sec("Список ТС"), *sTu = sec("Список ТУ"), *sTi = sec("Список ТИ"), *sTr = sec("Список ТР");
  auto look = [&](const TSection* section, unsigned a) {
    std::string h = Hex(a);
    std::string v = section ? TIniFile::ReadString(section, "$" + h) : std::string();
    return v.empty() ? "Пр_" + h : v;
  };
  for (const TRTUBlock& b : s.ts) {
    unsigned base = (b.function == 3 || b.function == 4) ? b.address * 16u : b.address;
    for (unsigned k = 0; k < b.count; ++k) L.ts.push_back(look(sTs, base + k));
  }
  for (const TRTUBlock& b : s.tu)
    for (unsigned k = 0; k < b.count; ++k) L.tu.push_back(look(sTu, b.address + k));
  for (const TRTUBlock& b : s.ti) {
    bool wide = WideTiType(b.type);
    unsigned values = wide ? (b.count + 1u) / 2 : b.count;
    for (unsigned n = 0; n < values; ++n) {
      L.ti.push_back(look(sTi, b.address + (wide ? 2 * n : n)));
      L.tiWide.push_back(wide);
    }
  }
  for (const TRTUBlock& b : s.tr)
    for (unsigned k = 0; k < b.count; ++k) L.tr.push_back(look(sTr, b.address + k));
  if (s.eventsAsMts) {
    if (!s.sysLog.codes.empty()) L.mts.push_back("Журнал Событий");
    if (!s.alarmLog.codes.empty()) L.mts.push_back("Журнал Аварий");
  } else {
    // An event the list does not name (or names with nothing) is "???".
    auto event = [&](const TSection* section, std::uint16_t code) {
      std::string v = TIniFile::ReadString(section, std::to_string(code));
      return v.empty() ? std::string("???") : v;
    };
    const TSection *sEv = sec("Список Событий"), *sAl = sec("Список Аварий");
    for (std::uint16_t code : s.sysLog.codes) L.ts.push_back(f ? event(sEv, code) : std::to_string(code) + "_LogSystem");
    for (std::uint16_t code : s.alarmLog.codes) L.ts.push_back(f ? event(sAl, code) : std::to_string(code) + "_LogAlarm");
  }
  for (auto* l : {&L.ts, &L.tu, &L.ti, &L.tr, &L.mts}) Normalise(*l);
  return L;
}

// The tables and their rows, in kind order: when a rebuild leaves them as they were (only
// names changed in place, or nothing), the storage lists still hold the right rows.
std::vector<const void*> TRTU::RowSnapshot() const {
  std::vector<const void*> out;
  for (int kind : kTableOrder) {
    const TParams* t = Table(kind);
    out.push_back(t);
    for (int i = 0; t && i < t->Count(); ++i) out.push_back(t->At(i));
  }
  return out;
}

void TRTU::UpdateStatusTable() {
  const std::string linkBefore = node ? LinkStatusName() : std::string();
  UpdateNode();
  if (!node) return;
  const std::vector<const void*> rowsBefore = RowSnapshot();
  TRTUNameLists L = NameLists(LibraryFile());
  auto listOf = [&](int kind) -> const std::vector<std::string>& {
    switch (kind) {
      case kSigTS: return L.ts;
      case kSigTU: return L.tu;
      case kSigTI: return L.ti;
      case kSigTR: return L.tr;
      default: return L.mts;
    }
  };
  TTree* tree = node->Tree();
  for (int kind : kTableOrder)
    if (TParams* t = Table(kind); t && (listOf(kind).empty() || newDevice)) tree->Delete(t->node);
  for (int kind : kTableOrder) {
    if (listOf(kind).empty() || Table(kind)) continue;
    // Each table goes to its kind's place, whatever came first: the image and the tree
    // both follow child order.
    int at = 0;
    for (int i = 0; i < node->ChildCount(); ++i)
      if (auto* t = dynamic_cast<TParams*>(node->Child(i)->Item()); t && TableRank(t->Type()) < TableRank(kind)) at = i + 1;
    auto p = MakeParams(kind, kRoleSource);
    p->owner = this;
    TNode* n = tree->Add(node, std::move(p), at);
    n->expanded = true;
  }
  for (int kind : kTableOrder) {
    TParams* t = Table(kind);
    if (!t) continue;
    bool wide = kind == kSigTI || kind == kSigTR;
    t->BuildFromList(listOf(kind), wide ? 2 : 0, kind == kSigTR ? TRPrefix() : SignalPrefix());
  }
  if (TParams* ti = Table(kSigTI))
    for (int i = 0; i < ti->Count() && i < static_cast<int>(L.tiWide.size()); ++i)
      if (TParam* r = ti->At(i)) r->valueWidth = (L.tiWide[static_cast<std::size_t>(i)] || r->gain != 0) ? 4 : 2;
  // Same rows and the same link name: the port's table and the storage lists stand as they
  // are; only the views redraw. A full storage rebuild per device edit walks every signal.
  if (RowSnapshot() == rowsBefore && LinkStatusName() == linkBefore) {
    if (TDocument* d = Doc()) d->Storage().RefreshViews();
    return;
  }
  RequestPortRebuild();
}

bool TRTU::ApplyType(const TLibraryFile& f, std::string* error) {
  TRTUSettings t = s;
  long long v = 0;
  auto num = [&](const char* section, const std::string& key, long long def, long long max, auto& field) {
    if (!ReadLibraryNumber(f, section, key, def, max, v, error)) return false;
    field = static_cast<std::remove_reference_t<decltype(field)>>(v);
    return true;
  };
  auto blocks = [&](const char* section, std::array<TRTUBlock, 8>& a, long long defFunction, bool ti) {
    for (int n = 1; n <= 8; ++n) {
      TRTUBlock& b = a[static_cast<std::size_t>(n - 1)];
      const std::string N = std::to_string(n);
      b = TRTUBlock{};
      if (ti && !num(section, N + "_Тип", 0, 7, b.type)) return false;
      if (!num(section, N + "_Функция", defFunction, 255, b.function) || !num(section, N + "_Адрес", 0, 0xFFFF, b.address) ||
          !num(section, N + "_Количество", 0, 255, b.count))
        return false;
    }
    return true;
  };
  if (!blocks("Таблица ТС", t.ts, 1, false) || !blocks("Таблица ТИ", t.ti, 4, true) || !blocks("Таблица ТР", t.tr, 6, false) ||
      !blocks("Таблица ТУ", t.tu, 5, false))
    return false;
  if (!num("Дата Время", "1_Адрес", 0, 0xFFFF, t.clockAddress)) return false;
  t.clockText = Utf8Left(f.ini.ReadString("Дата Время", "1_Строка"), 64);
  auto log = [&](const char* section, TRTULog& l) {
    l = TRTULog{};
    if (!f.ini.HasSection(section)) return true;
    if (!num(section, "Адрес1", 0, 0xFFFF, l.start) || !num(section, "Адрес2", 0, 0xFFFF, l.select) ||
        !num(section, "Интервал", 1, 0xFFFF, l.interval) || !num(section, "Записей", 0, 0xFFFF, l.records))
      return false;
    l.text = Utf8Left(f.ini.ReadString(section, "Строка"), 64);
    return true;
  };
  if (!log("Журнал Системы", t.sysLog) || !log("Журнал Аварий", t.alarmLog)) return false;
  s = std::move(t);
  newDevice = false;
  UpdateStatusTable();
  return true;
}

void TRTU::ApplyDeviceType() {
  const TLibraryFile* f = LibraryFile();
  if (!f) return;
  std::string err;
  if (!ApplyType(*f, &err)) Messages().ShowError(err);
}

TRTUSettings TRTU::TemplateOf() const {
  TRTUSettings t = s;
  t.typeName = name;
  return t;
}

void TRTU::TakeTemplate(const TRTUSettings& t) {
  s = t;
  name = Utf8Left(t.typeName, 64);
}

void TRTU::ToTemplate() {
  if (TAppContext* ctx = Context()) ctx->deviceTemplate = TemplateOf();
}

bool TRTU::FromTemplate() {
  TAppContext* ctx = Context();
  if (!ctx || !ctx->deviceTemplate) return false;
  TakeTemplate(*ctx->deviceTemplate);
  newDevice = false;
  UpdateStatusTable();
  return true;
}

// --- image ---------------------------------------------------------------------------------
void TRTU::Fields(TFieldVisitor& v) {
  v.Text({"place", 77}, place);
  v.U8({"address", 1, 1, 255}, number);
  v.U8({"attempts", 62, 0, 255}, s.attempts);
  v.Text({"type", 41}, name);
  std::uint8_t blocks = kBlocks;
  v.U8({"blocks", 20}, blocks);
  std::uint8_t b[40];
  PackBlocks(s.ts, false, b);
  v.Bytes({"ts", 45}, b, 32);
  PackBlocks(s.tu, false, b);
  v.Bytes({"tu", 47}, b, 32);
  PackBlocks(s.ti, true, b);
  v.Bytes({"ti", 46}, b, 40);
  PackBlocks(s.tr, false, b);
  v.Bytes({"tr", 56}, b, 32);
  v.U16({"autoRelease", 19, 0, 65535}, s.autoRelease);
  v.Text({"password", 59}, s.password);
  v.U16({"passwordAddress", 34, 0, 65535}, s.passwordAddress);
  v.U16({"clockAddress", 63, 0, 65535}, s.clockAddress);
  v.Text({"clockString", 54}, s.clockText);
  v.U8({"eventsAsMts", 101, 0, 1}, s.eventsAsMts);
  v.Ip({"ip", 49}, ip);
  v.U8({"unit", 30, 1, 255}, unit);
  auto log = [&](TRTULog& l, bool sys) {
    v.U16({sys ? "sysLogStart" : "alarmLogStart", sys ? 82 : 89, 0, 65535}, l.start);
    v.U16({sys ? "sysLogSelect" : "alarmLogSelect", sys ? 81 : 88, 0, 65535}, l.select);
    v.U16({sys ? "sysLogInterval" : "alarmLogInterval", sys ? 83 : 90, 0, 255}, l.interval);
    v.U16({sys ? "sysLogRecords" : "alarmLogRecords", sys ? 84 : 91, 0, 65535}, l.records);
    v.Text({sys ? "sysLogString" : "alarmLogString", sys ? 85 : 92}, l.text);
    // The codes (keys 87 and 94) are a list: the dump shows them in DumpExtra.
    auto n = static_cast<std::uint16_t>(std::min(l.codes.size(), TRTULog::kMaxCodes));
    v.U16({sys ? "sysLogCodeCount" : "alarmLogCodeCount", sys ? 86 : 93, 0, TRTULog::kMaxCodes}, n);
  };
  log(s.sysLog, true);
  log(s.alarmLog, false);
}

void TRTU::DumpExtra(std::string& out, const std::string& indent) const {
  auto blocks = [&](const char* label, const std::array<TRTUBlock, 8>& a, bool ti) {
    for (std::size_t i = 0; i < a.size(); ++i)
      if (a[i].count) out += indent + label + " " + std::to_string(i + 1) + ": " + BlockText(a[i], ti) + "\n";
  };
  blocks("ТС", s.ts, false);
  blocks("ТУ", s.tu, false);
  blocks("ТИ", s.ti, true);
  blocks("ТР", s.tr, false);
  auto log = [&](const char* label, const TRTULog& l) {
    out += indent + label + " codes [";
    for (std::size_t i = 0; i < l.codes.size(); ++i) out += (i ? ", " : "") + std::to_string(l.codes[i]);
    out += "]\n";
  };
  log("sysLog", s.sysLog);
  log("alarmLog", s.alarmLog);
}

void TRTU::WriteKeys(TConfig& c) {
  c.PutU8(48, version);
  c.PutText(77, place);
  c.PutU8(1, number);
  c.PutU8(62, s.attempts);
  c.PutText(41, name);
  c.PutU8(20, kBlocks);
  std::uint8_t b[40];
  PackBlocks(s.ts, false, b);
  c.PutEntry(45, 32, b);
  PackBlocks(s.tu, false, b);
  c.PutEntry(47, 32, b);
  PackBlocks(s.ti, true, b);
  c.PutEntry(46, 40, b);
  PackBlocks(s.tr, false, b);
  c.PutEntry(56, 32, b);
  c.PutU16(19, s.autoRelease);
  s.password = PadPassword(s.password);  // two registers: four characters
  if (!s.password.empty()) {
    c.PutText(59, s.password);
    c.PutU16(34, s.passwordAddress);
  }
  c.PutU16(63, s.clockAddress);
  c.PutText(54, s.clockText);
  c.PutU8(101, s.eventsAsMts);
  c.PutU32(49, ip);
  // Key 30 is the unit identifier here, not a channel binding.
  c.PutU8(30, unit);
  PutLog(c, s.sysLog, 82, 81, 83, 84, 85, 86, 87);
  PutLog(c, s.alarmLog, 89, 88, 90, 91, 92, 93, 94);
  for (int kind : kTableOrder)
    if (TParams* t = Table(kind)) t->SaveToImage(c);
}

void TRTU::SaveToImage(TConfig& c) {
  std::int32_t at = c.Pos;
  c.BeginSection(202);
  WriteKeys(c);
  c.EndSection(at);
}

void TRTU::ReadKeys(TConfig& c) {
  c.GetText(77, place);
  c.GetU8(1, number);
  c.GetU8(62, s.attempts);
  if (c.GetText(41, name)) name = Utf8Left(name, 64);
  std::uint8_t n = kBlocks;
  c.GetU8(20, n);
  n = std::min(n, kBlocks);
  std::uint8_t b[40] = {};
  if (c.GetEntry(45, 4u * n, b)) UnpackBlocks(s.ts, false, b, std::min<std::size_t>(n, static_cast<std::size_t>(std::max(0L, c.EntrySize(45))) / 4));
  if (c.GetEntry(47, 4u * n, b)) UnpackBlocks(s.tu, false, b, std::min<std::size_t>(n, static_cast<std::size_t>(std::max(0L, c.EntrySize(47))) / 4));
  if (c.GetEntry(46, 5u * n, b)) UnpackBlocks(s.ti, true, b, std::min<std::size_t>(n, static_cast<std::size_t>(std::max(0L, c.EntrySize(46))) / 5));
  if (c.GetEntry(56, 4u * n, b)) UnpackBlocks(s.tr, false, b, std::min<std::size_t>(n, static_cast<std::size_t>(std::max(0L, c.EntrySize(56))) / 4));
  c.GetU16(19, s.autoRelease);
  if (c.GetText(59, s.password)) s.password = Utf8Left(s.password, 4);
  c.GetU16(34, s.passwordAddress);
  c.GetU16(63, s.clockAddress);
  c.GetText(54, s.clockText);
  s.eventsAsMts = 0;  // absent: events as single ТС
  c.GetU8(101, s.eventsAsMts);
  c.GetU32(49, ip);
  c.GetU8(30, unit);
  GetLog(c, s.sysLog, 82, 81, 83, 84, 85, 86, 87);
  GetLog(c, s.alarmLog, 89, 88, 90, 91, 92, 93, 94);
}

void TRTU::LoadTables(TConfig& c) {
  TChildReader rd(c);
  for (;;) {
    int kind = 0;
    switch (rd.Peek()) {
      case 211: kind = kSigTS; break;
      case 212: kind = kSigTU; break;
      case 213: kind = kSigTI; break;
      case 215: kind = kSigTR; break;
      case 219: kind = kSigMTS; break;
      default: return;
    }
    // A table the settings do not call for is skipped (Load of none skips it).
    rd.Load(Table(kind));
  }
}

void TRTU::LoadFromImage(TConfig& c) {
  s.password.clear();
  s.passwordAddress = 0;
  s.clockAddress = 0;
  s.clockText.clear();
  if (!EnterSection(c, 202)) return;
  ReadKeys(c);
  UpdateNode();
  newDevice = true;  // the tables start fresh, then take the image's rows
  UpdateStatusTable();
  newDevice = false;
  LoadTables(c);
}

void TRTU::LoadFromShortImage(TConfig& c) {
  if (c.NextShortSection() != 202) return;
  // Short images know device layouts 1 to 3.
  std::uint8_t ver = 1;
  c.GetShortEntry(48, 1, &ver);
  if (ver > 3) {
    Messages().ShowError("Новая версия " + name);
    return;
  }
  if (ver == 0) ver = 1;
  s = TRTUSettings{};
  c.GetShortEntry(1, 1, &number);
  c.GetShortEntry(62, 1, &s.attempts);
  std::uint8_t raw[17] = {};
  if (c.GetShortEntry(41, 17, raw)) {
    std::size_t len = std::min<std::size_t>(raw[0], 16);
    name = Cp866ToUtf8(std::string_view(reinterpret_cast<const char*>(raw + 1), len));
  }
  std::uint8_t n = kBlocks;
  c.GetShortEntry(20, 1, &n);
  n = std::min(n, kBlocks);  // a short image's block count is cut to 8
  std::uint8_t b[8 * 7] = {};
  if (c.GetShortEntry(45, static_cast<std::uint16_t>(4 * n), b)) UnpackBlocks(s.ts, false, b, n);
  std::memset(b, 0, sizeof b);
  if (c.GetShortEntry(56, static_cast<std::uint16_t>(4 * n), b)) UnpackBlocks(s.tr, false, b, n);
  std::memset(b, 0, sizeof b);
  if (c.GetShortEntry(47, static_cast<std::uint16_t>(4 * n), b)) UnpackBlocks(s.tu, false, b, n);
  std::memset(b, 0, sizeof b);
  std::size_t width = ver == 1 ? 4 : ver == 2 ? 6 : 7;
  // Storage group and position of each ТИ block (older images place values by them).
  std::array<std::uint8_t, 8> tiGroup{}, tiPos{};
  std::uint8_t key11 = 1;
  c.GetShortEntry(11, 1, &key11);
  if (c.GetShortEntry(46, static_cast<std::uint16_t>(width * n), b))
    for (std::size_t i = 0; i < n; ++i) {
      const std::uint8_t* p = b + i * width;
      TRTUBlock& blk = s.ti[i];
      if (ver >= 3) blk.type = *p++;
      blk.function = p[0];
      blk.address = static_cast<std::uint16_t>(p[1] | (p[2] << 8));
      blk.count = p[3];
      tiGroup[i] = ver == 1 ? static_cast<std::uint8_t>(key11 + i) : p[4];
      tiPos[i] = ver == 1 ? 1 : p[5];
    }
  UpdateNode();
  newDevice = true;
  UpdateStatusTable();
  newDevice = false;
  PutLegacyPositions(c, tiGroup, tiPos);
}

void TRTU::PutLegacyPositions(const TConfig& c, const std::array<std::uint8_t, 8>& tiGroup,
                              const std::array<std::uint8_t, 8>& tiPos) {
  TDocument* d = Doc();
  if (!d) return;
  TStorage& st = d->Storage();
  // ТС, ТУ, ТР: from group g (the key) block by block, bit k of a block at (g - 1) * 8 + k; g
  // then grows by the block's count in whole groups of eight.
  auto bits = [&](int kind, int key, const std::array<TRTUBlock, 8>& blocks) {
    std::uint8_t g8 = 0;
    TParams* t = Table(kind);
    if (!t || !c.GetShortEntry(static_cast<std::uint8_t>(key), 1, &g8)) return;
    int g = g8, row = 0;
    for (const TRTUBlock& blk : blocks) {
      for (int k = 0; k < blk.count && row < t->Count(); ++k, ++row)
        st.PutLegacyName((g - 1) * 8 + k, kind, 0, t->At(row)->DefaultName());
      g += (blk.count + 7) / 8;
    }
  };
  bits(kSigTS, 10, s.ts);
  bits(kSigTU, 12, s.tu);
  bits(kSigTR, 51, s.tr);
  if (TParams* t = Table(kSigTI)) {
    int row = 0;
    for (std::size_t i = 0; i < s.ti.size(); ++i) {
      const TRTUBlock& blk = s.ti[i];
      int values = WideTiType(blk.type) ? blk.count / 2 : blk.count;
      int rows = WideTiType(blk.type) ? (blk.count + 1) / 2 : blk.count;
      for (int v = 0; v < rows && row < t->Count(); ++v, ++row)
        if (v < values && tiGroup[i] > 0 && tiPos[i] > 0)
          st.PutLegacyName((tiGroup[i] - 1) * 8 + (tiPos[i] - 1) + v, kSigTI, t->At(row)->valueWidth,
                           t->At(row)->DefaultName());
    }
  }
  // The device's link signal in its port's table.
  std::uint8_t g = 0, p = 0;
  if (c.GetShortEntry(32, 1, &g) && g > 0) {
    c.GetShortEntry(33, 1, &p);
    st.PutLegacyName((g - 1) * 8 + p, kSigTS, 0, portName + "." + LinkStatusName());
  }
}

void TRTU::EnumerateSignals(TStorageLists& lists) {
  for (int kind : {kSigTS, kSigMTS, kSigTU, kSigTI, kSigTR})
    if (TParams* t = Table(kind)) lists.Append(t);
}

void TRTU::AfterLoad() {
  if (TParams* tu = Table(kSigTU); tu && tu->referencesPending) tu->ResolveReferences();
}

// =======================================================================================
TRTUTCP::TRTUTCP() {
  name = "RTU_TCP";
  frameClass = "TRTUTCPFrame";
  ip = kDefaultTcpIp;
  number = static_cast<std::uint8_t>(ip & 0xFF);
}

void TRTUTCP::Create(TNode* n) {
  TRTU::Create(n);
  UpdateNode();
}

void TRTUTCP::SetIp(std::uint32_t v) {
  ip = v;
  number = static_cast<std::uint8_t>(ip & 0xFF);
  UpdateNode();
}

void TRTUTCP::SaveToImage(TConfig& c) {
  number = static_cast<std::uint8_t>(ip & 0xFF);
  TRTU::SaveToImage(c);
}

void TRTUTCP::LoadFromImage(TConfig& c) {
  TRTU::LoadFromImage(c);
  // The address follows the IP. Only when it differs do the names change: a rebuild without
  // need would replace the image's names by library ones (or defaults when the library is
  // absent).
  const auto fromIp = static_cast<std::uint8_t>(ip & 0xFF);
  if (fromIp == number) return;
  number = fromIp;
  UpdateStatusTable();
}

// =======================================================================================
namespace {
void EnsureLibrary(TItem& item) {
  if (TAppContext* ctx = ContextOf(item.Doc())) ctx->EnsureLibrary(&item.Messages());
}
}  // namespace

TPortMODBUS::TPortMODBUS() {
  name = "MODBUS-RTU";
  frameClass = "TPortMODBUSFrame";
  popup = TPopup::AddRTUMenu;
  iconIndex = 2;
  interfaces = kIfRS232 | kIfRS485;
  number = 1;
}

void TPortMODBUS::Create(TNode* n) {
  TPollingPort::Create(n);
  n->SetImages(0);
  EnsureLibrary(*this);
}

void TPortMODBUS::SetDefaults() {
  replyWait = 500;
  syncPeriod = 0;
}

void TPortMODBUS::SetSyncMinutes(long long m) { syncPeriod = PeriodMinutesToMs(m); }
long long TPortMODBUS::SyncMinutes() const { return PeriodMsToMinutes(syncPeriod); }

void TPortMODBUS::Fields(TFieldVisitor& v) {
  v.U8({"number", 1, 1, 255}, number);
  v.U16({"replyWait", 57, 100, 2000}, replyWait);
  v.I32({"syncPeriod", 31, 0, 60000.0 * kMaxSyncMinutes}, syncPeriod);
  CountFields(v, true);
}

void TPortMODBUS::SaveToImage(TConfig& c) {
  std::int32_t at = c.Pos;
  c.BeginSection(102);
  c.PutU8(48, version);
  c.PutU8(1, number);
  c.PutU16(57, replyWait);
  c.PutI32(31, syncPeriod);
  PutDeviceCount(c);
  PutBinding(c);
  WriteChildren(c);
  c.EndSection(at);
}

void TPortMODBUS::LoadFromImage(TConfig& c) {
  if (!EnterSection(c, 102)) return;
  c.GetU8(1, number);
  c.GetU16(57, replyWait);
  c.GetI32(31, syncPeriod);
  std::uint8_t n = 0;
  c.GetU8(20, n);
  std::uint8_t ch = 0;
  if (c.GetU8(30, ch)) BindByAddress(ch);
  UpdateNode();
  LoadChildren(c, n, 202, [] { return std::make_unique<TRTU>(); });
}

void TPortMODBUS::LoadFromShortImage(TConfig& c) {
  if (c.NextShortSection() != 102) return;
  if (!CheckVersion(c, true)) return;
  c.GetShortEntry(1, 1, &number);
  std::uint8_t n = 0, ch = 0;
  c.GetShortEntry(20, 1, &n);
  if (c.GetShortEntry(30, 1, &ch)) BindByAddress(ch);
  UpdateNode();
  // The device sections follow the port's entries.
  LoadChildren(c, n, 202, [] { return std::make_unique<TRTU>(); }, true);
}

std::vector<TRTU*> TPortMODBUS::AddDevices(const std::vector<std::pair<int, std::string>>& picked) {
  std::vector<std::pair<int, std::string>> sorted = picked;
  std::stable_sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<TRTU*> added;
  TRebuildSuspension hold(this);
  for (const auto& [address, type] : sorted) {
    if (address < 1 || address > 255) continue;
    if (!CanAddDevice()) break;
    auto dev = std::make_unique<TRTU>();
    dev->number = static_cast<std::uint8_t>(address);
    // An empty picked type keeps "RTU".
    if (!type.empty()) dev->name = Utf8Left(type, 64);
    auto* d = static_cast<TRTU*>(AppendDevice(std::move(dev)));
    if (!d) break;
    d->UpdateNode();
    if (d->LibraryFile()) d->ApplyDeviceType();
    added.push_back(d);
  }
  return added;
}

void TPortMODBUS::AddChildren(int /*menuTag*/) {
  if (!CanAddDevice()) return;
  std::vector<TDevicePick> used;
  for (TPolledDevice* d : Devices()) used.push_back({d->number, d->name});
  TAppContext* ctx = ContextOf(Doc());
  std::vector<std::string> types = ctx ? ctx->library.Types() : std::vector<std::string>{};
  std::vector<TDevicePick> picked;
  if (!Messages().PickDevices(used, types, picked)) return;
  std::vector<std::pair<int, std::string>> p;
  for (const auto& x : picked) p.emplace_back(x.address, x.type);
  AddDevices(p);
}

namespace {
// Copies the rows' settings a duplicate keeps from its source.
void CopyRows(const TRTU& src, TRTU& dst, bool names) {
  for (int kind : kTableOrder) {
    TParams* a = src.Table(kind);
    TParams* b = dst.Table(kind);
    if (!a || !b) continue;
    for (int i = 0; i < a->Count() && i < b->Count(); ++i) {
      TParam* r = a->At(i);
      TParam* w = b->At(i);
      if (!r || !w) continue;
      if (names) {
        w->tsKind = r->tsKind;
        w->SetName(r->Name());
        w->SetDefaultName(r->DefaultName());
        w->prefix = r->prefix;
      }
      if (kind == kSigTI) {
        w->gain = r->gain;
        w->offset = r->offset;
        w->group = r->group;
      }
    }
  }
}

template <class Dev>
Dev* Duplicate(TPollingPort& port, TItem* child, bool names, std::function<void(Dev&)> init) {
  auto* src = dynamic_cast<Dev*>(child);
  if (!src || !port.CanAddDevice()) return nullptr;
  TRebuildSuspension hold(&port);
  auto made = std::make_unique<Dev>();
  init(*made);
  auto* d = static_cast<Dev*>(port.AppendDevice(std::move(made)));
  if (!d) return nullptr;
  TRTUSettings t = src->TemplateOf();
  if (TAppContext* ctx = ContextOf(port.Doc())) ctx->deviceTemplate = t;
  d->TakeTemplate(t);
  d->newDevice = false;
  d->UpdateStatusTable();
  CopyRows(*src, *d, names);
  // The copied rows carry the source's prefix: the rebuild gives them the duplicate's own.
  d->UpdateStatusTable();
  return d;
}
}  // namespace

void TPortMODBUS::DuplicateChild(TItem* child) {
  Duplicate<TRTU>(*this, child, true, [](TRTU& d) { d.number = 1; });
}

// =======================================================================================
TPortRTUTCP::TPortRTUTCP() {
  name = "MODBUS-TCP";
  frameClass = "TPortRTUTCPFrame";
  popup = TPopup::AddRTUMenu;
  iconIndex = 2;
  number = 1;
}

void TPortRTUTCP::Create(TNode* n) {
  TPollingPort::Create(n);
  if (TDocument* d = Doc(); d && d->ProcNode()) boundChannel = dynamic_cast<TBlock*>(d->ProcNode()->Item());
  n->SetImages(0);
  EnsureLibrary(*this);
}

void TPortRTUTCP::SetDefaults() {
  netMask = 1;
  connectWait = 2000;
  reconnectWait = 10000;
  pollPeriod = 100;
  replyWait = 500;
  syncPeriod = 0;
}

void TPortRTUTCP::SetSyncMinutes(long long m) { syncPeriod = PeriodMinutesToMs(m); }

void TPortRTUTCP::Fields(TFieldVisitor& v) {
  v.U8({"number", 1, 1, 255}, number);
  v.U16({"connectWait", 63, 0, 65000}, connectWait);
  v.U16({"reconnectWait", 64, 0, 65000}, reconnectWait);
  v.U16({"pollPeriod", 24, 10, 1000}, pollPeriod);
  v.U16({"replyWait", 57, 100, 2000}, replyWait);
  v.I32({"syncPeriod", 31, 0, 60000.0 * TPortMODBUS::kMaxSyncMinutes}, syncPeriod);
  v.U8({"netMask", 72, 1, 1}, netMask);
  CountFields(v, false);
}

void TPortRTUTCP::SaveToImage(TConfig& c) {
  std::int32_t at = c.Pos;
  c.BeginSection(129);
  c.PutU8(48, version);
  c.PutU8(1, number);
  c.PutU16(63, connectWait);
  c.PutU16(64, reconnectWait);
  c.PutU16(24, pollPeriod);
  c.PutU16(57, replyWait);
  c.PutI32(31, syncPeriod);
  c.PutU8(72, netMask);
  PutDeviceCount(c);
  WriteChildren(c);
  c.EndSection(at);
}

void TPortRTUTCP::LoadFromImage(TConfig& c) {
  if (!EnterSection(c, 129)) return;
  c.GetU8(1, number);
  c.GetU16(63, connectWait);
  c.GetU16(64, reconnectWait);
  c.GetU16(24, pollPeriod);
  c.GetU16(57, replyWait);
  c.GetI32(31, syncPeriod);
  c.GetU8(72, netMask);
  std::uint8_t n = 0;
  c.GetU8(20, n);
  UpdateNode();
  LoadChildren(c, n, 202, [] { return std::make_unique<TRTUTCP>(); });
}

void TPortRTUTCP::UpdateStatusTable() {
  if (RebuildSuspended()) return;
  TPollingPort::UpdateStatusTable();
  if (node) node->SetImages(DeviceCountNow() > 0 ? 2 : 0);
}

bool TPortRTUTCP::IpTaken(const TRTU* device, std::uint32_t v) const {
  return Exists(device, [&](const TPolledDevice& d) {
    auto* r = dynamic_cast<const TRTU*>(&d);
    return r && r->ip == v;
  });
}

TRTUTCP* TPortRTUTCP::AddDevice() {
  if (!CanAddDevice()) return nullptr;
  TRebuildSuspension hold(this);
  auto made = std::make_unique<TRTUTCP>();
  made->ip = kDuplicateTcpIp;
  made->number = 1;
  made->unit = 1;
  return static_cast<TRTUTCP*>(AppendDevice(std::move(made)));
}

void TPortRTUTCP::AddChildren(int /*menuTag*/) { AddDevice(); }

void TPortRTUTCP::DuplicateChild(TItem* child) {
  Duplicate<TRTUTCP>(*this, child, false, [](TRTUTCP& d) {
    d.ip = kDuplicateTcpIp;
    d.number = 1;
    d.unit = 1;
  });
}

}  // namespace t32
