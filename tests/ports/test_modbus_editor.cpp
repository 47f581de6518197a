// The Modbus device editor's rules without a window: grid keys and cells, hex fields, range
// picking from a type's list, log event picking, and device types saved to and deleted from
// library files on disk.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "model/cp1251.h"
#include "model/document.h"
#include "model/messages.h"
#include "model/params.h"
#include "ports/app_context.h"
#include "ports/modbus.h"
#include "ports/modbus_editor.h"
#include "ports/port_menu.h"
#include "ports/register.h"

using namespace t32;
namespace fs = std::filesystem;

namespace {

std::string ReadText(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Cp1251ToUtf8(std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()));
}

// A document with an RTU port whose library lives in a fresh folder.
struct TEditorDoc {
  TRecordedMessages msgs;
  TAppContext ctx;
  TDocument d{&msgs, &PortsFactory()};
  fs::path dir;
  explicit TEditorDoc(const std::string& tag) {
    dir = fs::temp_directory_path() / ("t32_modbus_editor_" + tag + "_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::ofstream(dir / "pair.ini", std::ios::binary)
        << Utf8ToCp1251("[Устройства]\r\nПара=\r\nДвойка=\r\n[Список ТС]\r\n$0000=Общий\r\n");
    d.appContext = &ctx;
    ctx.libraryFolders = {dir.string()};
    ctx.EnsureLibrary(&msgs);
  }
  ~TEditorDoc() { fs::remove_all(dir); }
  TRTU* Device(int address = 5) {
    auto* port = dynamic_cast<TPortMODBUS*>(AddPortFromMenu(d, 102)->Item());
    return port->AddDevices({{address, ""}})[0];
  }
};

}  // namespace

// --- grids ----------------------------------------------------------------------------------
TEST(ModbusGrid, KeysObeyColumnLimits) {
  struct Case {
    TGridCol col;
    std::string text;
    int selStart, selLen;
    char32_t key;
    std::optional<std::string> out;
  };
  const Case cases[] = {
      {TGridCol::Address, "1F", 2, 0, U'a', "1FA"},    // lower-case letters turn upper-case
      {TGridCol::Address, "1F", 2, 0, U'g', {}},       // no hex digit
      {TGridCol::Address, "ABCD", 4, 0, U'1', {}},     // a fifth digit
      {TGridCol::Address, "ABCD", 0, 4, U'7', "7"},    // the selection is replaced
      {TGridCol::Count, "25", 2, 0, U'5', "255"},
      {TGridCol::Count, "25", 2, 0, U'6', {}},         // 256 passes the maximum
      {TGridCol::Function, "99", 2, 0, U'9', {}},      // 999 would be stored as 231
      {TGridCol::Function, "99", 0, 2, U'9', "9"},
      {TGridCol::Function, "1", 1, 0, U'x', {}},
      {TGridCol::Type, "", 0, 0, U'7', "7"},
      {TGridCol::Type, "", 0, 0, U'8', {}},
      {TGridCol::Count, "1", 0, 0, U'0', "01"},
      {TGridCol::Count, "12", 9, 9, U'3', "123"},      // a selection past the end is clamped
  };
  for (const Case& c : cases)
    EXPECT_EQ(GridKey(c.col, c.text, c.selStart, c.selLen, c.key), c.out)
        << c.text << " + " << static_cast<char>(c.key);
}

TEST(ModbusGrid, ShowAndReadBack) {
  TRTUSettings s;  // default functions 1, 5, 4, 6 behind blank rows
  s.ti[2] = {3, 4, 0xAB, 10};
  const TGrid g = GridOf(s.ti, true);
  EXPECT_EQ(g[0], TGridRow{});
  EXPECT_EQ(g[2], (TGridRow{"3", "4", "00AB", "10"}));
  // Untouched rows give back every byte, blank ones included.
  std::array<TRTUBlock, 8> back = s.ti;
  ReadGrid(g, back, true);
  EXPECT_EQ(back, s.ti);
  std::array<TRTUBlock, 8> ts = s.ts;
  ReadGrid(GridOf(s.ts, false), ts, false);
  EXPECT_EQ(ts, s.ts);

  // Edited rows: empty cells are 0, the address is hex, a cell that is no number keeps the field.
  struct Case {
    TGridRow row;
    TRTUBlock old, want;
  };
  const Case cases[] = {
      {{"", "3", "1a", "16"}, {0, 1, 0, 0}, {0, 3, 0x1A, 16}},
      {{"", "", "", "2"}, {0, 1, 0, 0}, {0, 0, 0, 2}},
      {{"", "1", "", ""}, {0, 1, 0x10, 4}, {0, 1, 0, 0}},
      {{"", "x", "ZZ", "300"}, {0, 2, 0x22, 7}, {0, 2, 0x22, 7}},
  };
  for (const Case& c : cases) EXPECT_EQ(ReadGridRow(c.row, c.old, false), c.want) << c.row.address;
  EXPECT_EQ(ReadGridRow({"9", "3", "0010", "2"}, {1, 3, 0, 0}, true), (TRTUBlock{1, 3, 0x10, 2}));  // type above 7 kept
}

TEST(ModbusGrid, HexFields) {
  const std::pair<const char*, std::uint16_t> cases[] = {
      {"", 0}, {"1a2B", 0x1A2B}, {"$12", 0x12}, {"g1h2", 0x12}, {"Ж1", 1}, {"123456", 0x3456}};
  for (const auto& [text, v] : cases) EXPECT_EQ(HexValue(text), v) << text;
  EXPECT_EQ(HexOnly("x1-Fz9"), "1F9");
  EXPECT_EQ(Hex4(0xab), "00AB");
}

// --- range picking ------------------------------------------------------------------------
TEST(ModbusRangePick, PiecesOfAtMost192) {
  TGrid ti{};
  ti[0].type = "2";  // typed before picking: kept and copied down
  EXPECT_EQ(AddRangeToGrid(ti, kSigTI, 0x0000, 0x01F3), 3);
  EXPECT_EQ(ti[0], (TGridRow{"2", "3", "0000", "192"}));
  EXPECT_EQ(ti[1], (TGridRow{"2", "3", "00C0", "192"}));
  EXPECT_EQ(ti[2], (TGridRow{"2", "3", "0180", "116"}));
  EXPECT_EQ(ti[3], TGridRow{});

  // The first free row is used, a filled row below is passed over, and the grid end stops it.
  TGrid tu{};
  tu[0] = {"", "6", "0100", "1"};
  tu[2] = {"", "16", "0200", "1"};
  EXPECT_EQ(AddRangeToGrid(tu, kSigTU, 10, 10 + 192 * 7), 6);
  EXPECT_EQ(tu[1], (TGridRow{"", "6", "000A", "192"}));
  EXPECT_EQ(tu[2], (TGridRow{"", "16", "0200", "1"}));
  EXPECT_EQ(tu[3], (TGridRow{"", "16", "00CA", "192"}));
  EXPECT_EQ(tu[7].address, "03CA");

  // A full grid takes nothing.
  TGrid full{};
  for (auto& r : full) r = {"", "1", "0000", "1"};
  EXPECT_EQ(AddRangeToGrid(full, kSigTS, 0, 5), 0);
}

TEST(ModbusRangePick, RegisterRowsOfTsHoldWholeRegisters) {
  TGrid ts{};
  ts[0].function = "3";
  EXPECT_EQ(AddRangeToGrid(ts, kSigTS, 0x13, 0x22), 1);
  EXPECT_EQ(ts[0], (TGridRow{"", "3", "0001", "32"}));

  TGrid big{};
  big[0].function = "4";
  EXPECT_EQ(AddRangeToGrid(big, kSigTS, 0x13, 0x200), 3);
  EXPECT_EQ(big[0], (TGridRow{"", "4", "0001", "192"}));
  EXPECT_EQ(big[1], (TGridRow{"", "4", "000D", "192"}));
  EXPECT_EQ(big[2], (TGridRow{"", "4", "0019", "128"}));
  // No bit is polled twice and every picked bit is polled.
  for (unsigned a = 0x13; a <= 0x200; ++a) {
    int rows = 0;
    for (const TGridRow& r : big) {
      TGrid one{};
      one[0] = r;
      rows += AddressInGrid(a, one, kSigTS);
    }
    ASSERT_EQ(rows, 1) << a;
  }
  // The tab's default function on the first row: bit addresses as they are.
  TGrid plain{};
  EXPECT_EQ(AddRangeToGrid(plain, kSigTS, 0x13, 0x22), 1);
  EXPECT_EQ(plain[0], (TGridRow{"", "1", "0013", "16"}));
}

TEST(ModbusRangePick, RunRangeAndLineLooks) {
  unsigned first = 0, last = 0;
  // Unsorted, with a key that is no address (shown, never used).
  EXPECT_TRUE(RunRange({"$0020=B", "Ошибка=x", "$0010=A", "40=C"}, first, last));
  EXPECT_EQ(first, 0x10u);
  EXPECT_EQ(last, 0x28u);
  EXPECT_FALSE(RunRange({"abc=1", "=2"}, first, last));

  TGrid g{};
  g[0] = {"", "3", "0001", "20"};   // bits $10..$23
  g[1] = {"", "1", "0100", "2"};    // $100, $101
  const std::pair<unsigned, bool> cases[] = {{0xF, false}, {0x10, true}, {0x23, true}, {0x24, false},
                                             {0x101, true}, {0x102, false}};
  for (const auto& [a, in] : cases) EXPECT_EQ(AddressInGrid(a, g, kSigTS), in) << a;
  EXPECT_FALSE(AddressInGrid(0x15, g, kSigTU));  // registers only on the ТС tab
  EXPECT_TRUE(AddressInGrid(0x14, g, kSigTU));

  const std::string prefix = "1_Порт.5_Насос.";  // 15 characters
  EXPECT_FALSE(LineTooLong(prefix, std::string(55, 'x')));
  EXPECT_TRUE(LineTooLong(prefix, std::string(56, 'x')));
  EXPECT_FALSE(LineTooLong(prefix, "$0001=" + std::string(49, 'x')));
}

// --- log events -------------------------------------------------------------------------------
TEST(ModbusLogPick, ListedUnknownAndTooMany) {
  TLibraryFile f;
  f.ini.Parse(Utf8ToCp1251("[Список Событий]\r\n1=Пуск\r\n2=Стоп\r\nзаметка=не код\r\n[Список Аварий]\r\n7=Перегрев\r\n"));
  std::vector<TLogLine> lines = LogLines(f, false, {2, 40});
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0].text, "1=Пуск");
  EXPECT_FALSE(lines[0].ticked);
  EXPECT_TRUE(lines[1].ticked);
  EXPECT_EQ(lines[2].code, -1);
  EXPECT_EQ(lines[3].text, "40=???");  // a code the list lacks stays until cleared
  EXPECT_TRUE(lines[3].ticked);
  lines[0].ticked = true;
  lines[2].ticked = true;  // no code: never taken
  EXPECT_EQ(TickedCodes(lines), (std::vector<std::uint16_t>{1, 2, 40}));
  lines[3].ticked = false;
  EXPECT_EQ(TickedCodes(lines), (std::vector<std::uint16_t>{1, 2}));
  EXPECT_EQ(LogLines(f, true, {}).at(0).text, "7=Перегрев");

  std::vector<TLogLine> many;
  for (int c = 0; c < 600; ++c) many.push_back({std::to_string(c) + "=e", c, true});
  bool cut = false;
  std::vector<std::uint16_t> codes = TickedCodes(many, &cut);
  EXPECT_TRUE(cut);
  ASSERT_EQ(codes.size(), 512u);
  EXPECT_EQ(codes.back(), 511);
}

// --- device types on disk -------------------------------------------------------------------
TEST(ModbusTypes, NamesThatAreNoFileNames) {
  for (const std::string& bad : std::vector<std::string>{"../x", "a/b", "a\\b", "C:", "x*", "?", "\"q\"", "<a>", "a|b", ".", "..", " x", "x ", ".x",
                          "x.", std::string("a\tb"), std::string("a\x01")})
    EXPECT_EQ(TypeNameError(bad), "Недопустимое имя типа: " + bad) << bad;
  for (const std::string good : {"Насос", "ПЦ-6806 v2.1", "a b"}) EXPECT_EQ(TypeNameError(good), "") << good;
  EXPECT_NE(TypeNameError("漢字"), "");  // no cp1251 file name
}

TEST(ModbusTypes, SaveWritesOnlyTheTypeAndANewLibraryReproducesIt) {
  TEditorDoc m("save");
  TRTU* dev = m.Device();
  dev->s.ts[1] = {0, 3, 0x0010, 18};
  dev->s.ti[0] = {2, 4, 0x0100, 3};
  dev->s.tu[0] = {0, 5, 0x0005, 1};
  dev->s.clockAddress = 0x20;  // a clock address without a string still goes into the file
  dev->s.sysLog = {0x300, 0x301, 4, 100, "", {}};
  dev->UpdateStatusTable();
  dev->Table(kSigTS)->At(1)->SetSuffix("Мой сигнал");

  ASSERT_EQ(SaveDeviceType(*dev, m.ctx.library, "Счётчик", m.msgs), "Счётчик");
  EXPECT_TRUE(m.msgs.errors.empty());
  EXPECT_EQ(dev->Caption(), "5_Счётчик");
  const std::string text = ReadText(m.dir / "Счётчик.ini");
  EXPECT_NE(text.find("[Устройства]\r\nСчётчик=\r\n"), std::string::npos);
  EXPECT_NE(text.find("2_Адрес=$0010"), std::string::npos);
  EXPECT_EQ(text.find("1_Адрес=$0000"), std::string::npos);  // empty blocks are not written
  EXPECT_EQ(text.find("[Таблица ТР]"), std::string::npos);
  EXPECT_EQ(text.find("[Журнал Аварий]"), std::string::npos);
  EXPECT_NE(text.find("$0101=Мой сигнал"), std::string::npos);
  EXPECT_NE(text.find("1_Тип=2"), std::string::npos);

  // As after a restart: a new library object reads the folder and the type applies.
  TEditorDoc fresh("fresh");
  fresh.ctx.library.Clear();
  fresh.ctx.libraryFolders = {m.dir.string()};
  fresh.ctx.EnsureLibrary(&fresh.msgs);
  TRTU* other = fresh.Device(9);
  other->name = "счётчик";  // letter case does not matter
  other->ApplyDeviceType();
  EXPECT_EQ(other->s.ts, dev->s.ts);
  EXPECT_EQ(other->s.ti, dev->s.ti);
  EXPECT_EQ(other->s.tu, dev->s.tu);
  EXPECT_EQ(other->s.clockAddress, 0x20);
  EXPECT_EQ(other->s.sysLog, dev->s.sysLog);
  EXPECT_EQ(other->s.alarmLog, TRTULog{});
  EXPECT_EQ(other->Table(kSigTS)->At(1)->Suffix(), "Мой сигнал");

  // Saving again over the single-type file asks; "no" writes nothing.
  dev->s.ts[1].count = 2;
  m.msgs.answer = kNo;
  EXPECT_FALSE(SaveDeviceType(*dev, m.ctx.library, "СЧЁТЧИК", m.msgs));
  EXPECT_EQ(m.msgs.questions.back(), "Файл уже существует.\rПереписать настройку?");
  EXPECT_EQ(ReadText(m.dir / "Счётчик.ini"), text);
  m.msgs.answer = kYes;
  EXPECT_EQ(SaveDeviceType(*dev, m.ctx.library, "Счётчик", m.msgs), "Счётчик");
  EXPECT_NE(ReadText(m.dir / "Счётчик.ini").find("2_Количество=2"), std::string::npos);
}

TEST(ModbusTypes, RefusalsChangeNoFile) {
  TEditorDoc m("refuse");
  TRTU* dev = m.Device();
  auto listing = [&] {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(m.dir)) out.push_back(e.path().filename().string() + ":" + ReadText(e.path()));
    std::sort(out.begin(), out.end());
    return out;
  };
  const auto before = listing();
  const std::size_t types = m.ctx.library.Types().size();
  struct Case {
    std::string name, error;
  };
  // 70 characters that cut to a type of the two-type file; a new name whose file describes
  // another type; a name that is no file name.
  const std::string type64 = "Тип" + std::string(61, 'x');
  const std::string longName = type64 + "ABCDEF";
  m.ctx.library.FindFile("pair.ini")->ini.WriteString("Устройства", type64, "");
  m.ctx.library.Reindex();
  const Case cases[] = {
      {longName, "Файл  pair.ini  содержит описание нескольких устройств. В записи отказано. Задайте другое имя."},
      {"pair", "Файл  pair.ini  содержит описание другого устройства. В записи отказано. Задайте другое имя."},
      {"../x", "Недопустимое имя типа: ../x"},
  };
  for (const Case& c : cases) {
    m.msgs.errors.clear();
    EXPECT_FALSE(SaveDeviceType(*dev, m.ctx.library, c.name, m.msgs)) << c.name;
    ASSERT_EQ(m.msgs.errors.size(), 1u) << c.name;
    EXPECT_EQ(m.msgs.errors[0], c.error);
  }
  EXPECT_EQ(listing(), before);
  EXPECT_EQ(dev->name, "RTU");

  // A file that cannot be written (a folder stands in its place): the reason, the library as it was.
  ASSERT_TRUE(SaveDeviceType(*dev, m.ctx.library, "Блок", m.msgs));
  const std::string kept = m.ctx.library.Find("Блок")->ini.Serialize();
  fs::remove(m.dir / "Блок.ini");
  fs::create_directories(m.dir / "Блок.ini" / "x");
  dev->s.tr[0] = {0, 6, 1, 1};
  m.msgs.errors.clear();
  EXPECT_FALSE(SaveDeviceType(*dev, m.ctx.library, "Блок", m.msgs));
  EXPECT_EQ(m.msgs.errors.size(), 1u);
  EXPECT_EQ(m.ctx.library.Find("Блок")->ini.Serialize(), kept);
  EXPECT_EQ(m.ctx.library.Types().size(), types + 2);  // the long name and "Блок"
}

TEST(ModbusTypes, MissingFolderIsMadeUnusableFolderIsReported) {
  TRecordedMessages msgs;
  TAppContext ctx;
  TDocument d{&msgs, &PortsFactory()};
  d.appContext = &ctx;
  const fs::path base = fs::temp_directory_path() / ("t32_modbus_nofolder_" + std::to_string(::getpid()));
  fs::remove_all(base);
  ctx.libraryFolders = {(base / "data" / "MODBUS").string()};
  auto* port = dynamic_cast<TPortMODBUS*>(AddPortFromMenu(d, 102)->Item());
  TRTU* dev = port->AddDevices({{3, ""}})[0];
  EXPECT_EQ(SaveDeviceType(*dev, ctx.library, "Новый", msgs), "Новый");
  EXPECT_TRUE(fs::exists(base / "data" / "MODBUS" / "Новый.ini"));

  // A folder under a plain file cannot be made.
  TDeviceLibrary lib;
  fs::create_directories(base);
  std::ofstream(base / "plain") << "x";
  lib.Load({(base / "plain" / "MODBUS").string()});
  msgs.errors.clear();
  EXPECT_FALSE(SaveDeviceType(*dev, lib, "Другой", msgs));
  ASSERT_EQ(msgs.errors.size(), 1u);
  EXPECT_NE(msgs.errors[0].find("Не удалось создать папку"), std::string::npos);
  EXPECT_TRUE(lib.Types().empty());
  fs::remove_all(base);
}

TEST(ModbusTypes, DeleteTakesTheFileOrTheKey) {
  TEditorDoc m("delete");
  TRTU* dev = m.Device();
  ASSERT_TRUE(SaveDeviceType(*dev, m.ctx.library, "Один", m.msgs));
  m.msgs.answer = kNo;
  EXPECT_FALSE(DeleteDeviceType(m.ctx.library, "Один", m.msgs));
  EXPECT_EQ(m.msgs.questions.back(), "Удалить устройство Один из списка ?");
  EXPECT_TRUE(fs::exists(m.dir / "Один.ini"));
  m.msgs.answer = kYes;
  EXPECT_TRUE(DeleteDeviceType(m.ctx.library, "Один", m.msgs));
  EXPECT_FALSE(fs::exists(m.dir / "Один.ini"));
  EXPECT_EQ(m.ctx.library.Find("Один"), nullptr);
  EXPECT_EQ(dev->name, "Один");  // the device keeps its settings

  EXPECT_TRUE(DeleteDeviceType(m.ctx.library, "Двойка", m.msgs));
  const std::string pair = ReadText(m.dir / "pair.ini");
  EXPECT_EQ(pair.find("Двойка"), std::string::npos);
  EXPECT_NE(pair.find("Пара="), std::string::npos);
  EXPECT_NE(pair.find("$0000=Общий"), std::string::npos);
  EXPECT_EQ(m.ctx.library.Types(), (std::vector<std::string>{"Пара"}));
  EXPECT_FALSE(DeleteDeviceType(m.ctx.library, "Нет такого", m.msgs));
}
