#include "ports/port_pc.h"

#include <algorithm>
#include <cstdio>

#include "model/config.h"
#include "model/controller.h"
#include "model/cp1251.h"
#include "model/document.h"
#include "model/fileio.h"
#include "model/params.h"

namespace t32 {

TPC::TPC() {
  name = "ПЭВМ";
  frameClass = "TPCFrame";
  popup = TPopup::DubbleDelMenu;
  number = 1;
  role = 1;
}

int TPC::StationAddress() const {
  TDocument* d = Doc();
  return d && d->Proc() ? d->Proc()->stationAddress : 1;
}

void TPC::Create(TNode* n) {
  TOutputPort::Create(n);
  asduAddress = static_cast<std::uint16_t>(StationAddress());
  DeriveOlderBytes();
  UpdateNode();
}

void TPC::SetDefaults() {
  place.clear();
  pcAddress = 0xC0A80100;
  gateway = 0;
  addressing = 1;
  asduAddress = static_cast<std::uint16_t>(StationAddress());
  tiCycle = 100;
  tsFormats = kTsFormats;
  tiFormats = kTiFormats;
  tiiFormats = kTiiFormats;
  t1 = 15000;
  t2 = 5000;
  t3 = 40000;
  k = 12;
  w = 8;
  permissions = 0;
  bases = {0, 0x2000, 0x6000, 0x4000, 0xA000, 0x8000, 0xC000};
  DeriveOlderBytes();
}

void TPC::Fields(TFieldVisitor& v) {
  v.Text({"place", 77}, place);
  v.Ip({"pcAddress", 49}, pcAddress);
  v.Ip({"gateway", 68}, gateway);
  v.U8({"addressing", 27, 1, 1}, addressing);
  v.U16({"asduAddress", 108, 1, 65535}, asduAddress);
  v.U8({"olderTs", 35}, oldTs);
  v.U8({"olderTi", 36}, oldTi);
  v.U8({"olderTii", 73}, oldTii);
  v.Bytes({"tsFormats", 45}, tsFormats.data(), tsFormats.size());
  v.Bytes({"tiFormats", 46}, tiFormats.data(), tiFormats.size());
  v.Bytes({"tiiFormats", 107}, tiiFormats.data(), tiiFormats.size());
  v.U16({"tiCycle", 18, 0, 60000}, tiCycle);
  v.U32({"t1", 63}, t1);
  v.U32({"t2", 64}, t2);
  v.U32({"t3", 65}, t3);
  v.U8({"k", 66, 0, 50}, k);
  v.U8({"w", 67, 0, 50}, w);
  v.U16({"permissions", 78}, permissions);
  v.U16({"baseTs", 10}, bases[kSigTS]);
  v.U16({"baseMts", 100}, bases[kSigMTS]);
  v.U16({"baseTu", 12}, bases[kSigTU]);
  v.U16({"baseTi", 11}, bases[kSigTI]);
  v.U16({"baseTii", 76}, bases[kSigTII]);
  v.U16({"baseTr", 51}, bases[kSigTR]);
}

std::uint32_t TPC::SecondsToMs(long long s) {
  return static_cast<std::uint32_t>(std::clamp<long long>(s, 0, 60000) * 1000);
}

void TPC::DeriveOlderBytes() {
  oldTs = tsFormats[3];
  oldTi = tiFormats[0];
  oldTii = tiiFormats[0];
}

void TPC::LimitTiPerMessage() {
  bool timed = false;
  for (std::size_t i = 1; i <= 3; ++i) timed |= tiFormats[i] == 35 || tiFormats[i] == 36;
  if (timed && tiFormats[0] > 16) tiFormats[0] = 16;
}

std::string TPC::TiPeriodText() const {
  if (tiFormats[2] == 0) return "определяется периодом \"Опроса группы 2\"";
  int rows = Table(kSigTI) ? Table(kSigTI)->Count() : 0;
  int per = std::max<int>(1, tiFormats[0]);
  return std::to_string((rows + per - 1) / per) + " запросов";
}

void TPC::SaveToImage(TConfig& c) {
  DeriveOlderBytes();
  addressing = 1;
  std::int32_t s = c.Pos;
  c.BeginSection(202);
  c.PutU8(48, version);
  TImageWriter wr(c);
  Fields(wr);
  WriteOutputTables(c);
  c.EndSection(s);
}

// An image from before the format tables keeps one byte per type. A ТС byte the chooser does not
// offer is kept as it is, so that saving again does not change the controller's behaviour.
void TPC::ConvertOlderBytes(bool haveTs, bool shortImage) {
  if (oldTi != 1 && oldTi != 8 && oldTi != 16 && oldTi != 24) oldTi = shortImage ? 1 : 8;
  if (oldTii != 1 && oldTii != 4 && oldTii != 8) oldTii = 8;
  if (haveTs) tsFormats[3] = oldTs;
  tsFormats[0] = oldTi;
  tiFormats[0] = oldTi;
  tiiFormats[0] = oldTii;
}

void TPC::LoadFromImage(TConfig& c) {
  tsFormats = kTsFormats;
  tiFormats = kTiFormats;
  tiiFormats = kTiiFormats;
  bases = {0, 0x2000, 0x6000, 0x4000, 0xA000, 0x8000, 0xC000};
  if (!EnterSection(c, 202)) return;
  c.GetU32(49, pcAddress);
  c.GetU32(68, gateway);
  asduAddress = static_cast<std::uint16_t>(StationAddress());
  c.GetU16(108, asduAddress);
  if (c.GetEntry(45, 6, tsFormats.data())) {
    c.GetEntry(46, 6, tiFormats.data());
    c.GetEntry(107, 6, tiiFormats.data());
  } else {
    DeriveOlderBytes();
    bool haveTs = c.GetU8(35, oldTs);
    c.GetU8(36, oldTi);
    c.GetU8(73, oldTii);
    ConvertOlderBytes(haveTs, false);
  }
  c.GetU16(18, tiCycle);
  c.GetU32(63, t1);
  c.GetU32(64, t2);
  c.GetU32(65, t3);
  c.GetU8(66, k);
  c.GetU8(67, w);
  c.GetText(77, place);
  permissions = 1;  // an image from before key 78 let the workstation write files
  c.GetU16(78, permissions);
  c.GetU16(10, bases[kSigTS]);
  c.GetU16(100, bases[kSigMTS]);
  c.GetU16(12, bases[kSigTU]);
  c.GetU16(11, bases[kSigTI]);
  c.GetU16(76, bases[kSigTII]);
  c.GetU16(51, bases[kSigTR]);
  addressing = 1;  // key 27 is the controller's, never read back
  DeriveOlderBytes();
  LoadOutputTables(c);
  UpdateNode();
}

void TPC::LoadFromShortImage(TConfig& c) {
  tsFormats = kTsFormats;
  tiFormats = kTiFormats;
  tiiFormats = kTiiFormats;
  if (c.NextShortSection() != 202 || !CheckVersion(c, true)) return;
  auto u32 = [&](int key, std::uint32_t& v) {
    std::uint8_t b[4];
    if (c.GetShortEntry(static_cast<std::uint8_t>(key), 4, b))
      v = b[0] | (std::uint32_t(b[1]) << 8) | (std::uint32_t(b[2]) << 16) | (std::uint32_t(b[3]) << 24);
  };
  u32(49, pcAddress);
  gateway = 0;
  asduAddress = static_cast<std::uint16_t>(StationAddress());
  DeriveOlderBytes();
  bool haveTs = c.GetShortEntry(35, 1, &oldTs);
  c.GetShortEntry(36, 1, &oldTi);
  ConvertOlderBytes(haveTs, true);
  std::uint8_t b[2];
  if (c.GetShortEntry(18, 2, b)) tiCycle = static_cast<std::uint16_t>(b[0] | (b[1] << 8));
  u32(63, t1);
  u32(64, t2);
  u32(65, t3);
  c.GetShortEntry(66, 1, &k);
  c.GetShortEntry(67, 1, &w);
  permissions = 1;  // no key 78 in such images
  DeriveOlderBytes();
  UpdateNode();
}

std::string TPC::SignalAddressText(int row, int kind) const {
  if (row < 0 || !ValidSignalType(kind)) return {};
  return std::to_string(bases[static_cast<std::size_t>(kind)] + row);
}

void TPC::CopyInto(TItem& copy) const {
  auto* pc = dynamic_cast<TPC*>(&copy);
  if (!pc) return;
  pc->place = place;
  pc->pcAddress = pcAddress;
  pc->gateway = gateway;
  pc->addressing = addressing;
  pc->asduAddress = asduAddress;
  pc->tiCycle = tiCycle;
  pc->tsFormats = tsFormats;
  pc->tiFormats = tiFormats;
  pc->tiiFormats = tiiFormats;
  pc->oldTs = oldTs;
  pc->oldTi = oldTi;
  pc->oldTii = oldTii;
  pc->t1 = t1;
  pc->t2 = t2;
  pc->t3 = t3;
  pc->k = k;
  pc->w = w;
  pc->permissions = permissions;
  pc->bases = bases;
  // The copy sends the same signals: the rows are shared, each table holding its reference.
  for (int t = 1; t <= 6; ++t) {
    const TParams* from = Table(t);
    TParams* to = pc->Table(t);
    if (!from || !to) continue;
    to->ClearRows();
    for (int i = 0; i < from->Count(); ++i) to->Append(from->Ref(i));
  }
  pc->UpdateNode();
}

// --- the workstation program's file --------------------------------------------------------
namespace {

const char* const kAlarmLog = "Журнал Аварий";

// Leading decimal digits of the text before the first "_" (at most 9 digits), or -1.
int PartNumber(std::string_view part) {
  std::size_t u = part.find('_');
  std::string_view head = part.substr(0, u);
  int v = 0, digits = 0;
  for (char ch : head) {
    if (ch < '0' || ch > '9' || digits == 9) break;
    v = v * 10 + (ch - '0');
    ++digits;
  }
  return digits ? v : -1;
}

// Appends text with the characters XML reserves escaped, so that names and places cannot break
// the file.
void AppendEscaped(std::string& out, std::string_view s) {
  for (char ch : s) {
    switch (ch) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default:
        // Control characters are not allowed in XML 1.0 text.
        out += static_cast<unsigned char>(ch) < 0x20 ? ' ' : ch;
    }
  }
}

std::string XmlEscape(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  AppendEscaped(out, s);
  return out;
}

void Indent(std::string& out, int level) { out.append(static_cast<std::size_t>(level) * 4, ' '); }

void AppendNumber(std::string& out, long v) {
  char buf[24];
  int n = std::snprintf(buf, sizeof buf, "%ld", v);
  out.append(buf, static_cast<std::size_t>(n));
}

// The group head without its name: ` type="TS" ASDUaddr="5"  Baseaddr="8192" >` + CR LF.
std::string GroupTail(const char* type, int asdu, int base) {
  std::string s = "\" type=\"";
  s += type;
  s += "\" ASDUaddr=\"";
  s += std::to_string(asdu);
  s += "\"  Baseaddr=\"";
  s += std::to_string(base);
  s += "\" >\r\n";
  return s;
}

void AppendGroup(std::string& out, int level, std::string_view name, const std::string& tail) {
  Indent(out, level);
  out += "<Group name=\"";
  AppendEscaped(out, name);
  out += tail;
}

std::string GroupHead(std::string_view name, const char* type, int asdu, int base) {
  std::string s;
  AppendGroup(s, 0, name, GroupTail(type, asdu, base));
  return s;
}

struct TRowRef {
  std::string_view name;
  std::size_t skip;  // characters of the name already taken by the groups the row sits in
  int index;         // running index in the table, empty rows counted
};

// Rows [begin, end) at one nesting level: a name without "." is an item; a name A.rest opens a
// group A holding this and the following rows whose names continue with "A.".
void EmitRows(std::string& out, std::vector<TRowRef>& rows, std::size_t begin, std::size_t end, int level,
              const std::string& tail) {
  std::size_t i = begin;
  while (i < end) {
    std::string_view n = rows[i].name.substr(rows[i].skip);
    std::size_t dot = n.find('.');
    if (dot == std::string_view::npos) {
      Indent(out, level);
      out += "<Item name=\"";
      AppendEscaped(out, n);
      out += "\" address=\"";
      AppendNumber(out, rows[i].index);
      out += "\" />\r\n";
      ++i;
      continue;
    }
    std::string_view part = n.substr(0, dot + 1);  // "A."
    std::size_t j = i + 1;
    while (j < end && rows[j].name.substr(rows[j].skip, part.size()) == part) ++j;
    for (std::size_t k = i; k < j; ++k) rows[k].skip += part.size();
    AppendGroup(out, level, part.substr(0, dot), tail);
    EmitRows(out, rows, i, j, level + 1, tail);
    Indent(out, level);
    out += "</Group>\r\n";
    i = j;
  }
}

}  // namespace

int AlarmLogDevice(const std::string& name) {
  std::size_t d1 = name.find('.');
  if (d1 == std::string::npos) return -1;
  std::string_view rest = std::string_view(name).substr(d1 + 1);
  std::string_view second = rest.substr(0, rest.find('.'));
  int p = PartNumber(std::string_view(name).substr(0, d1));
  int d = PartNumber(second);
  if (p < 0 || d < 0) return -1;
  long long v = static_cast<long long>(p) * 256 + d;
  return v > 0x7FFFFFFF ? -1 : static_cast<int>(v);
}

std::string AlarmLogGroupName(const std::string& name) {
  std::size_t at = name.find(kAlarmLog);
  if (at == std::string::npos) return name;
  // Characters before the log's part, less the separator before it.
  std::size_t chars = Utf8Length(std::string_view(name).substr(0, at));
  return Utf8Left(name, chars > 0 ? chars - 1 : 0);
}

std::string TPC::WorkstationXml() const {
  TDocument* d = Doc();
  const int asdu = StationAddress();
  const std::string station = d && d->Proc() ? d->Proc()->place : std::string();
  const std::uint32_t ip = d && d->PortIP() ? d->PortIP()->net1Address : 0xC0A80101;
  std::string out;
  out += "<?xml version=\"1.0\" encoding=\"windows-1251\"?> \r\n";
  out += "<WS_IEC_870_5_104 name=\"" + XmlEscape(station) + "\"  ASDUaddr=\"" + std::to_string(asdu) + "\" >\r\n";
  char buf[256];
  std::snprintf(buf, sizeof buf,
                "<BaseChannel   LocalIP=\"0.0.0.0\"  RemoteIP=\"%u.%u.%u.%u\" Port=\"%d\" t1=\"%u\" t2=\"%u\" "
                "t3=\"%u\" k=\"%d\" w=\"%d\" />  \r\n",
                (ip >> 24) & 0xFF, (ip >> 16) & 0xFF, (ip >> 8) & 0xFF, ip & 0xFF, kIecPort, t1 / 1000, t2 / 1000,
                t3 / 1000, k, w);
  out += buf;

  struct TGroupKind {
    int type;
    const char* group;
    const char* wsType;
  };
  const TGroupKind kinds[] = {{kSigTS, "ТС", "TS"},  {kSigMTS, "МТС", "TS32"}, {kSigTU, "ТУ", "TU2"},
                              {kSigTI, "ТИ", "TI"},  {kSigTII, "ТИИ", "TI"},   {kSigTR, "ТР", "TR"}};
  for (const TGroupKind& g : kinds) {
    const TParams* t = Table(g.type);
    if (!t || t->Count() == 0) continue;
    const int base = bases[static_cast<std::size_t>(g.type)];
    std::vector<TRowRef> rows;
    rows.reserve(static_cast<std::size_t>(t->Count()));
    for (int i = 0; i < t->Count(); ++i)
      if (const TParam* r = t->At(i); r && !r->Name().empty()) rows.push_back({r->Name(), 0, i});
    out.reserve(out.size() + rows.size() * 64);
    // Every nested group repeats the table's type and addresses.
    const std::string tail = GroupTail(g.wsType, asdu, base);
    AppendGroup(out, 1, g.group, tail);
    EmitRows(out, rows, 0, rows.size(), 2, tail);
    Indent(out, 1);
    out += "</Group>\r\n";
  }

  // Alarm logs of devices: МТС rows named like "2_Порт.1_Dev.Журнал Аварий".
  struct TLog {
    std::string name;
    int device;
  };
  std::vector<TLog> logs;
  if (const TParams* m = Table(kSigMTS))
    for (int i = 0; i < m->Count(); ++i) {
      const TParam* r = m->At(i);
      if (!r || r->Name().find(kAlarmLog) == std::string::npos) continue;
      int dev = AlarmLogDevice(r->Name());
      if (dev >= 0) logs.push_back({r->Name(), dev});
    }

  auto item = [&](int level, std::string_view nm, int address, int fileId, std::string_view file) {
    Indent(out, level);
    out += "<Item name=\"" + XmlEscape(nm) + "\" address=\"" + std::to_string(address) + "\" fileID=\"" +
           std::to_string(fileId) + "\" filename=\"" + XmlEscape(file) + "\" />\r\n";
  };
  Indent(out, 1);
  out += GroupHead("файлы", "file", asdu, 0);
  item(2, "конфигурация", 1, 0, "TVR32.cfg");
  item(2, "прошивка", 2, 0, "TVR32.bin");
  item(2, "автоматика", 3, 0, "Auto.shm");
  item(2, "пароли", 4, 0, "Password.ini");
  if (!logs.empty()) {
    Indent(out, 2);
    out += GroupHead("MODBUS", "file", asdu, 0);
    for (const TLog& l : logs) item(3, l.name, 9, l.device, l.name + ".dat");
    Indent(out, 2);
    out += "</Group>\r\n";
    Indent(out, 2);
    out += GroupHead("журналы событий КП", "file", asdu, 0);
    for (int day = 1; day <= 31; ++day) {
      std::string nm = "за_" + std::to_string(day) + "_дату";
      item(3, nm, 6, day, nm + ".txt");
    }
    Indent(out, 2);
    out += "</Group>\r\n";
  }
  Indent(out, 1);
  out += "</Group>\r\n";
  if (!logs.empty()) {
    Indent(out, 1);
    out += GroupHead("журналы аварий", "log", asdu, 0);
    for (const TLog& l : logs) {
      Indent(out, 2);
      out += GroupHead(AlarmLogGroupName(l.name), "log", asdu, l.device);
      Indent(out, 2);
      out += "</Group>\r\n";
    }
    Indent(out, 1);
    out += "</Group>\r\n";
  }
  out += "</WS_IEC_870_5_104>\r\n";
  return Utf8ToCp1251(out);
}

bool TPC::ExportXml(const std::string& path, std::string* error) const {
  return WriteFileAtomic(path, WorkstationXml(), error);
}

}  // namespace t32
