// Modbus polling ports: the device library (hand-made description files), the signals a device
// builds from its blocks, logs and library names, section 202 byte by byte, save/reopen/save of
// both ports, older short images, duplication and the device limit.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>

#include "model/cp1251.h"
#include "model/document.h"
#include "model/factory.h"
#include "model/messages.h"
#include "model/params.h"
#include "model/signal_holders.h"
#include "model/storage.h"
#include "ports/app_context.h"
#include "ports/modbus.h"
#include "ports/port_menu.h"
#include "ports/register.h"
#include "project/json.h"

using namespace t32;
using t32test::TBytes;

namespace {
namespace fs = std::filesystem;

// Mixed-case sections, "$" and decimal numbers, a 5-digit key, "A.B", two equal names, event
// lists, a line that is no key and bytes that are no text.
const char* const kPump =
    "[устройства]\r\nНасос=\r\nДубль=\r\n"
    "[Таблица ТС]\r\n1_Функция=3\r\n1_Адрес=$1000\r\n1_Количество=20\r\n2_Функция=1\r\n2_Адрес=256\r\n2_Количество=2\r\n"
    "мусор без знака равенства\r\n\x01\x02\xff\r\n"
    "[ТАБЛИЦА ТИ]\r\n1_Тип=2\r\n1_Функция=3\r\n1_Адрес=$0010\r\n1_Количество=5\r\n2_Тип=0\r\n2_Адрес=$20\r\n2_Количество=2\r\n"
    "[Таблица ТУ]\r\n1_Адрес=$0005\r\n1_Количество=1\r\n"
    "[Дата Время]\r\n1_Адрес=$0100\r\n1_Строка=ГГ ММ ДД\r\n"
    "[Журнал Системы]\r\nАдрес1=$0200\r\nАдрес2=$0201\r\nЗаписей=100\r\nСтрока=КОД\r\n"
    "[Журнал Аварий]\r\nАдрес1=$0300\r\n"
    "[Список ТС]\r\n$10000=Пуск\r\n$10001=A.B\r\n$10002=X\r\n$10003=X\r\n$0100=Авария\r\n"
    "[Список ТИ]\r\n$0010=Ток\r\n$0014=Ток\r\n"
    "[Список событий]\r\n1=Включение\r\n2=Отключение\r\n"
    "[Список Аварий]\r\n7=Перегрев\r\n";

struct TModbusDoc {
  TRecordedMessages msgs;
  TAppContext ctx;
  TDocument d{&msgs, &PortsFactory()};
  TModbusDoc() {
    d.appContext = &ctx;
    ctx.library.AddText("pump.ini", Utf8ToCp1251(kPump));
  }
  TPortMODBUS* Rtu() { return dynamic_cast<TPortMODBUS*>(AddPortFromMenu(d, 102)->Item()); }
  TPortRTUTCP* Tcp() {
    auto item = PortsFactory().MakeFromMenu(129);
    return dynamic_cast<TPortRTUTCP*>(d.Tree().Add(d.ProcNode(), std::move(item))->Item());
  }
};

std::vector<std::string> Names(const TParams* t) {
  std::vector<std::string> out;
  for (int i = 0; t && i < t->Count(); ++i) out.push_back(t->At(i)->DefaultName());
  return out;
}
std::vector<std::string> Suffixes(const TParams* t) {
  std::vector<std::string> out;
  for (int i = 0; t && i < t->Count(); ++i) out.push_back(t->At(i)->DefaultSuffix());
  return out;
}
std::vector<int> ChildKinds(const TItem* dev) {
  std::vector<int> out;
  for (TItem* c : dev->ChildItems())
    if (auto* t = dynamic_cast<TParams*>(c)) out.push_back(t->Type());
  return out;
}
std::vector<std::uint8_t> Records(TDocument& d) {
  std::int32_t end = d.WriteRecords();
  const auto& img = d.Config().Image();
  return {img.begin() + TConfig::kDataStart, img.begin() + end};
}
std::vector<std::uint8_t> WithHead(const std::vector<std::uint8_t>& records) {
  std::vector<std::uint8_t> img(TConfig::kDataStart, 0);
  img.insert(img.end(), records.begin(), records.end());
  return img;
}
// The first line where two dumps differ ("" when equal), to keep failures short.
std::string FirstDiff(const std::string& a, const std::string& b) {
  std::size_t p = 0;
  while (p < a.size() && p < b.size() && a[p] == b[p]) ++p;
  if (p == a.size() && p == b.size()) return {};
  std::size_t from = a.rfind('\n', p);
  from = from == std::string::npos ? 0 : from + 1;
  return a.substr(from, a.find('\n', p) - from) + " | " + b.substr(from, b.find('\n', p) - from);
}
std::vector<std::uint8_t> U16(std::uint16_t v) { return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)}; }
std::vector<std::uint8_t> U32(std::uint32_t v) {
  return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v >> 16),
          static_cast<std::uint8_t>(v >> 24)};
}
}  // namespace

// --- library -----------------------------------------------------------------------------
TEST(ModbusLibrary, NumbersAreHexWithDollarOrDecimal) {
  struct Case {
    const char* text;
    bool ok;
    long long value;
  } cases[] = {{"$1000", true, 0x1000}, {"$ff", true, 255}, {" 42 ", true, 42}, {"0", true, 0},
               {"$", false, 0},         {"", false, 0},      {"-1", false, 0},  {"12a", false, 0},
               {"0x10", false, 0},      {"$1G", false, 0},   {"1 2", false, 0}, {"99999999999999", false, 0}};
  for (const Case& c : cases) {
    long long v = -7;
    EXPECT_EQ(ParseLibraryNumber(c.text, v), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(v, c.value) << c.text;
    }
  }
}

// The look-up indexes of the INI object follow every edit (library files are large).
TEST(ModbusLibrary, IniIndexFollowsEdits) {
  TIniFile ini;
  ini.Parse(Utf8ToCp1251("[Список ТС]\r\n$00FF=Первый\r\n$00ff=Второй\r\n[Б]\r\nk=1\r\n[список тс]\r\n$0100=Третий\r\n[В]\r\nk=3\r\n"));
  EXPECT_EQ(ini.ReadString("СПИСОК ТС", "$00ff"), "Первый");  // first occurrence wins
  EXPECT_EQ(ini.ReadString("Список ТС", "$0100"), "Третий");  // a repeated head continues the section
  EXPECT_EQ(ini.Sections(), (std::vector<std::string>{"Список ТС", "Б", "В"}));
  ini.EraseSection("б");
  EXPECT_FALSE(ini.HasSection("Б"));
  EXPECT_EQ(ini.ReadString("В", "K"), "3");
  EXPECT_EQ(ini.ReadString("список тс", "$0100"), "Третий");
  ini.WriteString("Список ТС", "$00Ff", "Новый");
  ini.WriteString("Г", "x", "1");
  EXPECT_EQ(ini.Keys("Список ТС"), (std::vector<std::string>{"$00FF", "$0100"}));
  EXPECT_EQ(ini.ReadString("Список ТС", "$00ff"), "Новый");
  EXPECT_EQ(ini.ReadInteger("г", "X", 0), 1);
  TIniFile back;
  back.Parse(ini.Serialize());
  EXPECT_EQ(back.Serialize(), ini.Serialize());
}

TEST(ModbusLibrary, FilesInNameOrderFirstFileWinsAnyCaseExtension) {
  fs::path dir = fs::temp_directory_path() / ("t32modbus." + std::to_string(::getpid()));
  fs::create_directories(dir / "sub.ini");  // a folder is no file
  auto put = [&](const char* name, const std::string& text) { std::ofstream(dir / name, std::ios::binary) << Utf8ToCp1251(text); };
  put("b.INI", "[Устройства]\r\nОбщий=\r\nБэ=\r\n[Таблица ТС]\r\n1_Количество=2\r\n");
  put("a.ini", "[Устройства]\r\nОбщий=\r\nАльфа=\r\n[Таблица ТС]\r\n1_Количество=5\r\n");
  put("c.txt", "[Устройства]\r\nЛишний=\r\n");
  TDeviceLibrary lib;
  EXPECT_EQ(lib.Load({dir.string(), (dir / "absent").string()}), "");
  EXPECT_EQ(lib.Types(), (std::vector<std::string>{"Альфа", "Бэ", "Общий"}));
  ASSERT_NE(lib.Find("общий"), nullptr);
  EXPECT_EQ(lib.Find("Общий")->name, "a.ini");
  ASSERT_EQ(lib.Shadowed().size(), 1u);
  EXPECT_EQ(lib.Shadowed()[0].file, "b.INI");
  EXPECT_EQ(lib.Shadowed()[0].winner, "a.ini");
  EXPECT_EQ(lib.Find("Лишний"), nullptr);
  EXPECT_EQ(lib.WriteFolder(), dir.string());
  fs::remove_all(dir);
}

TEST(ModbusLibrary, ArbitraryBytesNeverCrashAndBadValuesAreNamed) {
  TModbusDoc m;
  TPortMODBUS* port = m.Rtu();
  auto devs = port->AddDevices({{3, "Насос"}});
  ASSERT_EQ(devs.size(), 1u);
  TRTU* dev = devs[0];
  const TRTUSettings before = dev->s;
  struct Case {
    const char* text;
    const char* message;
  } cases[] = {
      {"[Таблица ТС]\r\n1_Функция=256\r\n", "Файл bad.ini, раздел [Таблица ТС], ключ 1_Функция: недопустимое значение \"256\""},
      {"[Таблица ТИ]\r\n3_Тип=8\r\n", "Файл bad.ini, раздел [Таблица ТИ], ключ 3_Тип: недопустимое значение \"8\""},
      {"[Таблица ТУ]\r\n2_Адрес=$10000\r\n", "Файл bad.ini, раздел [Таблица ТУ], ключ 2_Адрес: недопустимое значение \"$10000\""},
      {"[Таблица ТР]\r\n1_Количество=abc\r\n", "Файл bad.ini, раздел [Таблица ТР], ключ 1_Количество: недопустимое значение \"abc\""},
  };
  for (const Case& c : cases) {
    TLibraryFile f;
    f.name = "bad.ini";
    f.ini.Parse(Utf8ToCp1251(c.text));
    std::string err;
    EXPECT_FALSE(dev->ApplyType(f, &err));
    EXPECT_EQ(err, c.message);
    EXPECT_TRUE(dev->s == before) << c.text;  // never cut silently, never half applied
  }
  // Raw bytes as a description: loads, applies or refuses, rebuilds.
  std::string junk;
  for (int i = 0; i < 2000; ++i) junk += static_cast<char>((i * 7919) & 0xFF);
  TLibraryFile f;
  f.name = "junk.ini";
  f.ini.Parse(junk + Utf8ToCp1251("\r\n[Таблица ТС]\r\n1_Количество=255\r\n1_Функция=4\r\n1_Адрес=$FFFF"));
  std::string err;
  EXPECT_TRUE(dev->ApplyType(f, &err)) << err;
  ASSERT_NE(dev->Table(kSigTS), nullptr);
  EXPECT_EQ(dev->Table(kSigTS)->Count(), 255);
  EXPECT_EQ(dev->Table(kSigTS)->At(0)->DefaultSuffix(), "Пр_ffff0");
}

// --- signals -----------------------------------------------------------------------------
TEST(ModbusDevice, DescriptionFileDrivesNamesAndEdgeCases) {
  TModbusDoc m;
  TPortMODBUS* port = m.Rtu();
  TRTU* dev = port->AddDevices({{5, "Насос"}})[0];
  EXPECT_EQ(dev->Caption(), "5_Насос");
  EXPECT_FALSE(dev->newDevice);
  // f3 $1000 × 20 looks up $10000..$10013; f1 256 × 2 looks up $0100, $0101.
  std::vector<std::string> ts = Suffixes(dev->Table(kSigTS));
  ASSERT_EQ(ts.size(), 22u);
  EXPECT_EQ(ts[0], "Пуск");
  EXPECT_EQ(ts[1], "A B");
  EXPECT_EQ(ts[2], "X");
  EXPECT_EQ(ts[3], "X_повтор3");
  EXPECT_EQ(ts[4], "Пр_10004");
  EXPECT_EQ(ts[19], "Пр_10013");
  EXPECT_EQ(ts[20], "Авария");
  EXPECT_EQ(ts[21], "Пр_0101");
  EXPECT_EQ(dev->Table(kSigTS)->At(0)->DefaultName(), "1_Порт.5_Насос.Пуск");
  // Type 2 × 5 words: 3 values at $10, $12, $14, width 4; type 0 × 2: two values of width 2.
  const TParams* ti = dev->Table(kSigTI);
  EXPECT_EQ(Suffixes(ti), (std::vector<std::string>{"Ток", "Пр_0012", "Ток_повтор2", "Пр_0020", "Пр_0021"}));
  std::vector<int> widths;
  for (int i = 0; i < ti->Count(); ++i) widths.push_back(ti->At(i)->valueWidth);
  EXPECT_EQ(widths, (std::vector<int>{4, 4, 4, 2, 2}));
  EXPECT_EQ(dev->s.clockAddress, 0x100);
  EXPECT_EQ(dev->s.clockText, "ГГ ММ ДД");
  EXPECT_EQ(dev->s.sysLog.records, 100);
  EXPECT_EQ(dev->s.sysLog.interval, 1);
  EXPECT_EQ(dev->s.alarmLog.start, 0x300);
  EXPECT_EQ(ChildKinds(dev), (std::vector<int>{kSigTS, kSigTU, kSigTI}));

  // 3 + 2 codes: one МТС row per log while events are МТС, one ТС row per code otherwise.
  dev->s.sysLog.codes = {1, 2, 9};
  dev->s.alarmLog.codes = {7, 8};
  dev->UpdateStatusTable();
  EXPECT_EQ(Suffixes(dev->Table(kSigMTS)), (std::vector<std::string>{"Журнал Событий", "Журнал Аварий"}));
  EXPECT_EQ(dev->Table(kSigTS)->Count(), 22);
  dev->s.eventsAsMts = 0;
  dev->UpdateStatusTable();
  EXPECT_EQ(dev->Table(kSigMTS), nullptr);
  ts = Suffixes(dev->Table(kSigTS));
  ASSERT_EQ(ts.size(), 27u);
  EXPECT_EQ(std::vector<std::string>(ts.begin() + 22, ts.end()),
            (std::vector<std::string>{"Включение", "Отключение", "???", "Перегрев", "???_повтор26"}));
  EXPECT_EQ(dev->Table(kSigTS)->At(22)->DefaultName(), "1_Порт.5_Насос.Включение");

  // Without a library entry: default names.
  dev->name = "Чужой";
  dev->UpdateStatusTable();
  ts = Suffixes(dev->Table(kSigTS));
  EXPECT_EQ(ts[0], "Пр_10000");
  EXPECT_EQ(std::vector<std::string>(ts.begin() + 22, ts.end()),
            (std::vector<std::string>{"1_LogSystem", "2_LogSystem", "9_LogSystem", "7_LogAlarm", "8_LogAlarm"}));
  // Place goes into every prefix but ТР's.
  dev->place = "Насосная";
  dev->s.tr[0] = {0, 6, 0x40, 1};
  dev->UpdateStatusTable();
  EXPECT_EQ(Names(dev->Table(kSigTR)), (std::vector<std::string>{"1_Порт.5_Чужой.Пр_0040"}));
  EXPECT_EQ(dev->Table(kSigTS)->At(0)->DefaultName(), "1_Порт.5_Насосная.Пр_10000");
  EXPECT_EQ(Suffixes(port->LinkTable()), (std::vector<std::string>{"связь_5_Чужой_Насосная"}));
}

TEST(ModbusDevice, TablesKeepTheirKindOrderWhateverComesFirst) {
  TModbusDoc m;
  TPortMODBUS* port = m.Rtu();
  TRTU* dev = port->AddDevices({{2, ""}})[0];
  EXPECT_EQ(dev->name, "RTU");
  dev->newDevice = false;
  EXPECT_TRUE(ChildKinds(dev).empty());
  dev->s.tr[0] = {0, 6, 1, 1};
  dev->UpdateStatusTable();
  dev->s.ts[0] = {0, 1, 1, 1};
  dev->UpdateStatusTable();
  EXPECT_EQ(ChildKinds(dev), (std::vector<int>{kSigTS, kSigTR}));
  dev->s.ti[0] = {0, 4, 1, 1};
  dev->UpdateStatusTable();
  EXPECT_EQ(ChildKinds(dev), (std::vector<int>{kSigTS, kSigTI, kSigTR}));

  std::vector<std::uint8_t> rec = Records(m.d);
  TRecordedMessages msgs;
  TDocument again(&msgs, &PortsFactory());
  ASSERT_TRUE(again.Config().SetImage(WithHead(rec)));
  again.ReadRecords(false);
  auto* port2 = dynamic_cast<TPortMODBUS*>(again.ProcNode()->Child(1)->Item());
  ASSERT_NE(port2, nullptr);
  ASSERT_EQ(port2->Devices().size(), 1u);
  EXPECT_EQ(ChildKinds(port2->Devices()[0]), (std::vector<int>{kSigTS, kSigTI, kSigTR}));
  EXPECT_EQ(Records(again), rec);
}

// --- section 202 byte by byte ------------------------------------------------------------
namespace {
TBytes DeviceSection(bool withCodesOverLimit) {
  TBytes r;
  std::vector<std::uint8_t> ts(32, 0), tu(32, 0), ti(40, 0), tr(32, 0);
  ts[0] = 2, ts[1] = 0x10, ts[2] = 0x00, ts[3] = 3;            // f2 $0010 × 3
  ti[0] = 3, ti[1] = 4, ti[2] = 0x00, ti[3] = 0x01, ti[4] = 4; // type 3, f4 $0100 × 4 words
  for (int i = 1; i < 8; ++i) ts[4 * i] = 1, tu[4 * i] = 5, ti[5 * i + 1] = 4, tr[4 * i] = 6;
  tu[0] = 5, tr[0] = 6;
  r.Sec(202).Ent(48, {1}).Ent(77, t32test::NameField("")).Ent(1, {9}).Ent(62, {3}).Ent(41, t32test::NameField("Счётчик"));
  r.Ent(20, {8}).Ent(45, ts).Ent(47, tu).Ent(46, ti).Ent(56, tr).Ent(19, U16(1500));
  r.Ent(59, t32test::NameField("12  ")).Ent(34, U16(0x40));
  r.Ent(63, U16(0x200)).Ent(54, t32test::NameField("YYMMDD"));
  if (!withCodesOverLimit) r.Ent(101, {0});
  r.Ent(49, U32(0xC0A80105)).Ent(30, {7});
  r.Ent(82, U16(0x500)).Ent(81, U16(0x501)).Ent(83, U16(4)).Ent(84, U16(10)).Ent(85, t32test::NameField("ЗАП"));
  std::vector<std::uint8_t> codes;
  int n = withCodesOverLimit ? 600 : 2;
  for (int i = 0; i < n; ++i) {
    auto c = U16(static_cast<std::uint16_t>(i + 1));
    codes.insert(codes.end(), c.begin(), c.end());
  }
  r.Ent(86, U16(static_cast<std::uint16_t>(n))).Ent(87, codes);
  r.Ent(89, U16(0)).Ent(88, U16(0)).Ent(90, U16(0)).Ent(91, U16(0)).Ent(92, t32test::NameField(""));
  r.Ent(93, U16(withCodesOverLimit ? 900 : 0));  // more codes announced than the image holds
  r.End();
  return r;
}
}  // namespace

TEST(ModbusImage, DeviceSectionByHandReadsAndWritesBackIdentically) {
  {
    TBytes r = DeviceSection(true);
    TConfig c;
    ASSERT_TRUE(c.SetImage(r.Image()));
    c.Pos = TConfig::kDataStart;
    TRTU dev;
    dev.LoadFromImage(c);
    EXPECT_EQ(dev.name, "Счётчик");
    EXPECT_EQ(dev.number, 9);
    EXPECT_EQ(dev.unit, 7);          // key 30 is the unit, not a channel
    EXPECT_EQ(dev.boundChannel, nullptr);
    EXPECT_EQ(dev.s.eventsAsMts, 0);  // no 101: single ТС
    EXPECT_EQ(dev.s.sysLog.codes.size(), 512u);
    EXPECT_EQ(dev.s.alarmLog.codes.size(), 0u);
    EXPECT_EQ(dev.s.ts[0], (TRTUBlock{0, 2, 0x10, 3}));
    EXPECT_EQ(dev.s.ti[0], (TRTUBlock{3, 4, 0x100, 4}));
    EXPECT_EQ(dev.s.password, "12  ");
    EXPECT_EQ(dev.s.passwordAddress, 0x40);
    EXPECT_EQ(dev.s.autoRelease, 1500);
    EXPECT_EQ(dev.ip, 0xC0A80105u);
  }
  TBytes r = DeviceSection(false);
  TConfig c;
  ASSERT_TRUE(c.SetImage(r.Image()));
  c.Pos = TConfig::kDataStart;
  TRTU dev;
  dev.LoadFromImage(c);
  TConfig out;
  out.BeginWrite();
  dev.SaveToImage(out);
  EXPECT_EQ(out.Image(), r.Image());
}

TEST(ModbusImage, SaveReopenSaveBothPorts) {
  TModbusDoc m;
  auto* board = m.d.Tree().Add(m.d.Tree().Root(), DefaultFactory().Make(9, TItemPlace::Board))->Item();
  dynamic_cast<TBlock*>(board)->SetAddress(2);
  m.d.AfterEdit();
  TPortMODBUS* rtu = m.Rtu();
  auto list = rtu->Interfaces();
  ASSERT_GT(list.size(), 1u);
  rtu->SelectInterface(list, 1);
  ASSERT_NE(rtu->boundChannel, nullptr);
  rtu->replyWait = 700;
  rtu->SetSyncMinutes(60000);  // capped: 60000 × 60000 ms would not fit
  EXPECT_EQ(rtu->SyncMinutes(), TPortMODBUS::kMaxSyncMinutes);
  m.msgs.devicePicks = {{7, "Насос"}, {5, "RTU"}, {6, ""}};
  m.msgs.pickAnswer = true;
  rtu->AddChildren(102);
  ASSERT_EQ(rtu->Devices().size(), 3u);
  EXPECT_EQ(rtu->Devices()[0]->number, 5);  // in address order
  auto* plain = dynamic_cast<TRTU*>(rtu->Devices()[0]);
  plain->s.ts[0] = {0, 1, 0x10, 4};
  plain->newDevice = false;
  plain->UpdateStatusTable();
  plain->Table(kSigTS)->RenameRow(1, "Дверь");
  rtu->LinkTable()->RenameRow(2, "Насос на связи");

  TPortRTUTCP* tcp = m.Tcp();
  tcp->SetConnectSeconds(65);
  tcp->SetReconnectSeconds(99);
  EXPECT_EQ(tcp->connectWait, 65000);
  EXPECT_EQ(tcp->reconnectWait, 65000);
  tcp->SetSyncMinutes(-5);
  EXPECT_EQ(tcp->syncPeriod, 0);
  TRTUTCP* a = tcp->AddDevice();
  TRTUTCP* b = tcp->AddDevice();
  ASSERT_TRUE(a && b);
  EXPECT_TRUE(tcp->IpTaken(a, b->ip));  // "Уже существует"
  b->SetIp(0xC0A80114);
  EXPECT_EQ(b->Caption(), "20_RTU_TCP");
  b->s.password = "7";
  b->s.passwordAddress = 0x10;
  b->s.sysLog.codes = {3, 4};
  b->s.ti[0] = {2, 3, 0x30, 4};
  b->newDevice = false;
  b->UpdateStatusTable();
  m.d.AfterEdit();
  EXPECT_EQ(tcp->node->image, 2);

  EXPECT_EQ(Names(rtu->LinkTable()),
            (std::vector<std::string>{"1_Порт.связь_5_RTU", "1_Порт.связь_6_RTU", "1_Порт.связь_7_Насос"}));
  EXPECT_EQ(rtu->LinkTable()->At(2)->Name(), "1_Порт.Насос на связи");
  std::vector<std::uint8_t> first = Records(m.d);
  std::string dump = m.d.Dump();
  // Keys in the controller's order; 59/34 only with a password, 87/94 only with codes.
  const auto& img = m.d.Config().Image();
  std::size_t at102 = t32test::FindSectionCode(img, 102), at129 = t32test::FindSectionCode(img, 129);
  ASSERT_NE(at102, 0u);
  ASSERT_NE(at129, 0u);
  EXPECT_EQ(t32test::EntryKeys(img, at102), (std::vector<int>{48, 1, 57, 31, 20, 30}));
  EXPECT_EQ(t32test::EntryKeys(img, at129), (std::vector<int>{48, 1, 63, 64, 24, 57, 31, 72, 20}));
  EXPECT_EQ(t32test::EntryKeys(img, t32test::FindSectionCode(img, 202, at102)),
            (std::vector<int>{48, 77, 1, 62, 41, 20, 45, 47, 46, 56, 19, 63, 54, 101, 49, 30, 82, 81, 83, 84, 85, 86, 89,
                              88, 90, 91, 92, 93}));
  std::size_t tcpA = t32test::FindSectionCode(img, 202, at129), tcpB = t32test::FindSectionCode(img, 202, tcpA + 1);
  EXPECT_EQ(t32test::EntryKeys(img, tcpA).size(), 28u);
  std::vector<int> withAll = t32test::EntryKeys(img, tcpB);
  EXPECT_EQ(withAll, (std::vector<int>{48, 77, 1, 62, 41, 20, 45, 47, 46, 56, 19, 59, 34, 63, 54, 101, 49, 30, 82, 81, 83, 84,
                                       85, 86, 87, 89, 88, 90, 91, 92, 93}));
  EXPECT_NE(dump.find("ТС 1: f1 $0010 x4"), std::string::npos);
  EXPECT_NE(dump.find("codes [3, 4]"), std::string::npos);

  TRecordedMessages msgs;
  TAppContext ctx;
  ctx.library.AddText("pump.ini", Utf8ToCp1251(kPump));
  TDocument again(&msgs, &PortsFactory());
  again.appContext = &ctx;
  ASSERT_TRUE(again.Config().SetImage(WithHead(first)));
  again.ReadRecords(false);
  EXPECT_TRUE(msgs.errors.empty());
  EXPECT_EQ(FirstDiff(again.Dump(), dump), "");
  EXPECT_EQ(Records(again), first);
  auto* rtu2 = dynamic_cast<TPortMODBUS*>(again.ProcNode()->Child(1)->Item());
  ASSERT_NE(rtu2, nullptr);
  EXPECT_NE(rtu2->boundChannel, nullptr);
  auto* b2 = dynamic_cast<TRTU*>(dynamic_cast<TPollingPort*>(again.ProcNode()->Child(2)->Item())->Devices()[1]);
  EXPECT_EQ(b2->s.password, "7   ");
  EXPECT_EQ(b2->s.sysLog.codes, (std::vector<std::uint16_t>{3, 4}));

  // A new port address renames every signal, the user's own name included.
  EXPECT_EQ(rtu2->LinkTable()->At(2)->Name(), "1_Порт.Насос на связи");  // kept through the reopen
  rtu2->SetPortNumber(4);
  EXPECT_EQ(Names(rtu2->LinkTable())[0], "4_Порт.связь_5_RTU");
  EXPECT_EQ(rtu2->LinkTable()->At(2)->Name(), "4_Порт.Насос на связи");
  auto* p2 = dynamic_cast<TRTU*>(rtu2->Devices()[0]);
  EXPECT_EQ(p2->Table(kSigTS)->At(0)->Name(), "4_Порт.5_RTU.Пр_0010");
  EXPECT_EQ(p2->Table(kSigTS)->At(1)->Name(), "4_Порт.5_RTU.Дверь");
}

// The JSON form shows the polling blocks as function, hex address and count (ТИ with the value
// type) and imports back to the same image; a damaged block is refused with a message.
TEST(ModbusImage, JsonBlocksRoundTrip) {
  TModbusDoc m;
  TPortMODBUS* rtu = m.Rtu();
  m.msgs.devicePicks = {{3, "Насос"}};
  m.msgs.pickAnswer = true;
  rtu->AddChildren(102);
  TPortRTUTCP* tcp = m.Tcp();
  TRTUTCP* t = tcp->AddDevice();
  ASSERT_TRUE(t && rtu->Devices().size() == 1u);
  t->s.ti[7] = {7, 255, 0xFFFF, 255};  // every field at its top
  t->s.tr[0] = {0, 16, 0x0A, 1};
  t->newDevice = false;
  t->UpdateStatusTable();
  m.d.AfterEdit();

  std::string json = ExportJson(m.d, TCpu::Cpu927);
  for (const char* shown : {R"({"function":3,"address":"$1000","count":20})",
                            R"({"type":2,"function":3,"address":"$0010","count":5})",
                            R"({"type":7,"function":255,"address":"$FFFF","count":255})",
                            R"({"function":16,"address":"$000A","count":1})"}) {
    std::string compact = nlohmann::ordered_json::parse(json).dump();
    EXPECT_NE(compact.find(shown), std::string::npos) << shown;
  }
  TRecordedMessages msgs;
  TAppContext ctx;
  ctx.library.AddText("pump.ini", Utf8ToCp1251(kPump));
  TDocument back(&msgs, &PortsFactory());
  back.appContext = &ctx;
  TCpu cpu{};
  std::string err;
  ASSERT_TRUE(ImportJson(back, json, &cpu, &err)) << err;
  EXPECT_EQ(FirstDiff(back.Dump(), m.d.Dump()), "");
  EXPECT_EQ(Records(back), Records(m.d));
  EXPECT_EQ(ExportJson(back, TCpu::Cpu927), json);

  // Each damage of the first ТС block, applied to the JSON, is refused.
  const std::string good = R"("address": "$1000")";
  ASSERT_NE(json.find(good), std::string::npos);
  for (const char* bad : {R"("address": "1000")", R"("address": "$10000")", R"("address": "$10G0")",
                          R"("address": 4096)", R"("address": "$")", R"("type": 1, "address": "$1000")"}) {
    std::string broken = json;
    broken.replace(broken.find(good), good.size(), bad);
    TDocument d(&msgs, &PortsFactory());
    d.appContext = &ctx;
    err.clear();
    EXPECT_FALSE(ImportJson(d, broken, &cpu, &err)) << bad;
    EXPECT_NE(err.find("блок опроса"), std::string::npos) << bad << ": " << err;
  }
  std::string bigCount = json;
  const std::string count = R"("count": 20)";
  ASSERT_NE(bigCount.find(count), std::string::npos);
  bigCount.replace(bigCount.find(count), count.size(), R"("count": 256)");
  TDocument d(&msgs, &PortsFactory());
  EXPECT_FALSE(ImportJson(d, bigCount, &cpu, &err));
}

TEST(ModbusImage, ShortImageWithVersion3DeviceAndCp866Name) {
  TBytes r;
  r.SSec(0).SEnt(48, {1}).SEnt(2, {1}).SEnt(3, {2}).SEnd();
  r.SSec(100).SEnt(48, {1}).SEnd();
  r.SSec(102).SEnt(48, {1}).SEnt(1, {2}).SEnt(20, {1}).SEnd();
  // "Щит" in cp866: 0x99 0xA8 0xE2.
  std::vector<std::uint8_t> name(17, 0);
  name[0] = 3, name[1] = 0x99, name[2] = 0xA8, name[3] = 0xE2;
  std::vector<std::uint8_t> ts = {1, 0x20, 0, 2, 1, 0, 0, 0};
  std::vector<std::uint8_t> ti = {5, 3, 0x40, 0, 3, 1, 1, 0, 4, 0, 0, 0, 0, 0};
  r.SSec(202).SEnt(48, {3}).SEnt(1, {4}).SEnt(62, {2}).SEnt(41, name).SEnt(20, {200}).SEnt(45, ts).SEnt(46, ti);
  r.SEnt(10, {3}).SEnt(32, {2}).SEnt(33, {5}).SEnd();
  TRecordedMessages msgs;
  TDocument d(&msgs, &PortsFactory());
  ASSERT_TRUE(d.Config().SetImage(r.Image()));
  d.ReadRecords(true);
  ASSERT_GE(d.ProcNode()->ChildCount(), 2);
  auto* port = dynamic_cast<TPortMODBUS*>(d.ProcNode()->Child(1)->Item());
  ASSERT_NE(port, nullptr);
  ASSERT_EQ(port->Devices().size(), 1u);
  auto* dev = dynamic_cast<TRTU*>(port->Devices()[0]);
  EXPECT_EQ(dev->name, "Щит");
  EXPECT_EQ(dev->number, 4);
  EXPECT_EQ(dev->s.ts[0], (TRTUBlock{0, 1, 0x20, 2}));
  EXPECT_EQ(dev->s.ti[0], (TRTUBlock{5, 3, 0x40, 3}));
  EXPECT_EQ(Names(dev->Table(kSigTI)), (std::vector<std::string>{"2_Порт.4_Щит.Пр_0040", "2_Порт.4_Щит.Пр_0041", "2_Порт.4_Щит.Пр_0042"}));
  EXPECT_EQ(Names(port->LinkTable()), (std::vector<std::string>{"2_Порт.связь_4_Щит"}));
  // Legacy positions: ТС from group 3, ТИ block 1 at group 1 position 1, the link at 8 + 5.
  const TStorage& st = d.Storage();
  EXPECT_EQ(st.LegacyName(kSigTS, 16), "2_Порт.4_Щит.Пр_0020");
  EXPECT_EQ(st.LegacyName(kSigTS, 17), "2_Порт.4_Щит.Пр_0021");
  EXPECT_EQ(st.LegacyName(kSigTS, 13), "2_Порт.связь_4_Щит");
  EXPECT_EQ(st.LegacyName(kSigTI, 0), "2_Порт.4_Щит.Пр_0040");
  EXPECT_EQ(st.LegacyName(kSigTI, 2), "2_Порт.4_Щит.Пр_0042");
}

TEST(ModbusImage, NewerLayoutShowsMessageAndKeepsDefaults) {
  TBytes r = DeviceSection(false);
  r.b[16] = 2;  // key 48 of the device: version 2
  TConfig c;
  ASSERT_TRUE(c.SetImage(r.Image()));
  c.Pos = TConfig::kDataStart;
  TRecordedMessages msgs;
  TDocument d(&msgs, &PortsFactory());
  TModbusDoc m;
  TRTU* dev = m.Rtu()->AddDevices({{1, ""}})[0];
  dev->LoadFromImage(c);
  ASSERT_EQ(m.msgs.errors.size(), 1u);
  EXPECT_EQ(m.msgs.errors[0], "Новая версия RTU");
  EXPECT_EQ(dev->number, 1);
}

// --- duplication, template, limits -----------------------------------------------------------
TEST(ModbusPort, DuplicateTakesOwnPrefixAndFillsTheBuffer) {
  TModbusDoc m;
  TPortMODBUS* port = m.Rtu();
  TRTU* src = port->AddDevices({{5, "Насос"}})[0];
  src->place = "Цех";
  src->UpdateStatusTable();
  src->Table(kSigTI)->AcceptTI(0, 2.5f, 1.0f, "");
  src->Table(kSigTS)->RenameRow(4, "Свой");
  port->DuplicateChild(src);
  ASSERT_EQ(port->Devices().size(), 2u);
  auto* dup = dynamic_cast<TRTU*>(port->Devices()[1]);
  EXPECT_EQ(dup->number, 1);
  EXPECT_TRUE(dup->place.empty());
  EXPECT_TRUE(dup->TemplateOf() == src->TemplateOf());
  ASSERT_TRUE(m.ctx.deviceTemplate.has_value());
  EXPECT_EQ(m.ctx.deviceTemplate->typeName, "Насос");
  EXPECT_EQ(dup->Table(kSigTS)->At(0)->Name(), "1_Порт.1_Насос.Пуск");
  EXPECT_EQ(dup->Table(kSigTS)->At(4)->Name(), "1_Порт.1_Насос.Свой");
  EXPECT_FLOAT_EQ(dup->Table(kSigTI)->At(0)->gain, 2.5f);
  EXPECT_EQ(Suffixes(port->LinkTable()), (std::vector<std::string>{"связь_5_Насос_Цех", "связь_1_Насос"}));

  // The template applies to another device; place and address stay.
  TRTU* other = port->AddDevices({{9, ""}})[0];
  other->place = "Склад";
  ASSERT_TRUE(other->FromTemplate());
  EXPECT_EQ(other->name, "Насос");
  EXPECT_EQ(other->number, 9);
  EXPECT_EQ(other->place, "Склад");
  EXPECT_EQ(other->Table(kSigTS)->Count(), 22);

  // Deleting a device: the link table follows.
  m.d.Tree().Delete(dup->node);
  m.d.AfterEdit();
  EXPECT_EQ(port->deviceCount, 2);
  EXPECT_EQ(Suffixes(port->LinkTable()), (std::vector<std::string>{"связь_5_Насос_Цех", "связь_9_Насос_Склад"}));
}

TEST(ModbusPort, AtMost255DevicesAndMovesTakeThePortName) {
  TModbusDoc m;
  TPortRTUTCP* tcp = m.Tcp();
  for (int i = 0; i < 255; ++i) ASSERT_NE(tcp->AddDevice(), nullptr);
  EXPECT_EQ(tcp->AddDevice(), nullptr);
  tcp->DuplicateChild(tcp->Devices()[0]);
  EXPECT_EQ(tcp->DeviceCountNow(), 255);
  ASSERT_EQ(m.msgs.errors.size(), 2u);
  EXPECT_EQ(m.msgs.errors[0], "В порту не может быть больше 255 устройств.");
  EXPECT_EQ(tcp->LinkTable()->Count(), 255);

  TPortMODBUS* a = m.Rtu();
  TPortMODBUS* b = m.Rtu();
  b->SetPortNumber(3);
  TRTU* dev = a->AddDevices({{4, ""}})[0];
  dev->s.ts[0] = {0, 1, 0, 1};
  dev->UpdateStatusTable();
  m.d.Tree().Move(dev->node, b->node, b->node->ChildCount());
  m.d.AfterEdit();
  EXPECT_EQ(a->LinkTable(), nullptr);
  EXPECT_EQ(Names(b->LinkTable()), (std::vector<std::string>{"3_Порт.связь_4_RTU"}));
  EXPECT_EQ(dev->Table(kSigTS)->At(0)->DefaultName(), "3_Порт.4_RTU.Пр_0000");
}
