// IEC 103 polling port: the type library (hand-made files), signal names from the type's lists,
// section 208 byte by byte, save/reopen/save and JSON of a port with three devices, the short
// layout with its cp866 type name, and the type commands "Сохранить" and "Удалить" on disk.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "model/cp1251.h"
#include "model/document.h"
#include "model/factory.h"
#include "model/fileio.h"
#include "model/messages.h"
#include "model/params.h"
#include "model/signal_holders.h"
#include "model/storage.h"
#include "ports/app_context.h"
#include "ports/iec103.h"
#include "ports/port_menu.h"
#include "ports/register.h"
#include "project/json.h"

using namespace t32;
using t32test::TBytes;

namespace {
namespace fs = std::filesystem;

// Two types in one file; the lists name some entries, not all.
const char* const kTwoTypes =
    "[Устройства]\r\nРЗА-1=\r\nРЗА-2=\r\n"
    "[Таблица ТС]\r\nТС_1=160 16\r\nТС_2=160 17\r\n"
    "[Таблица ТУ]\r\nТУ_1=20 1\r\n"
    "[Таблица ТИ]\r\nТИ_1=160 148 2\r\nТИ_2=160 148 3\r\n"
    "[Список ТС]\r\n160 16=Авария\r\n160 18=Пуск\r\n"
    "[Список ТУ]\r\n20 1=Отключить\r\n"
    "[Список ТИ]\r\n160 148 2=Ia\r\n";
const char* const kOneType =
    "[Устройства]\r\nБМРЗ=\r\n"
    "[Таблица ТС]\r\nТС_1=1 2\r\n"
    "[Список ТС]\r\n1 2=Положение\r\n";

struct TDoc103 {
  TRecordedMessages msgs;
  TAppContext ctx;
  TDocument d{&msgs, &PortsFactory()};
  TDoc103() {
    d.appContext = &ctx;
    ctx.library103.AddText("rza.ini", Utf8ToCp1251(kTwoTypes));
    ctx.library103.AddText("bmrz.ini", Utf8ToCp1251(kOneType));
  }
  TPort103* Port() { return dynamic_cast<TPort103*>(AddPortFromMenu(d, 115)->Item()); }
};

std::vector<std::string> Suffixes(const TParams* t) {
  std::vector<std::string> out;
  for (int i = 0; t && i < t->Count(); ++i) out.push_back(t->At(i)->DefaultSuffix());
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
std::string ReadFile(const fs::path& p) {
  std::string s;
  ReadWholeFile(p.string(), s);
  return s;
}
struct TTempDir {
  fs::path p;
  explicit TTempDir(const char* tag) : p(fs::temp_directory_path() / (std::string(tag) + std::to_string(::getpid()))) {
    fs::remove_all(p);
    fs::create_directories(p);
  }
  ~TTempDir() {
    std::error_code ec;
    fs::permissions(p, fs::perms::owner_all, ec);
    fs::remove_all(p, ec);
  }
};
}  // namespace

TEST(Iec103Names, RowNamesFromTheTypeListsOrFallbacks) {
  struct Case {
    const char* type;
    const char* place;
    int tab;
    TEntry103 e;
    const char* suffix;
    const char* name;  // full default name, when checked
  } cases[] = {
      {"X", "ПС2", kTab103TS, {160, 16, 0}, "ПС2 Func160_Inf16", "1_Порт.5_X.ПС2 Func160_Inf16"},
      {"РЗА-1", "", kTab103TS, {160, 16, 0}, "Авария", "1_Порт.5_РЗА-1.Авария"},
      {"рза-2", "", kTab103TS, {160, 17, 0}, "Func160_Inf17", nullptr},  // type found without case, key missing
      {"РЗА-1", "Ячейка 3", kTab103TI, {160, 148, 2}, "Ячейка 3 Ia", nullptr},
      {"РЗА-1", "", kTab103TI, {160, 148, 3}, "Func160_Inf148_N3", nullptr},
      {"РЗА-1", "", kTab103TU, {20, 1, 0}, "Отключить", nullptr},
      {"X", "", kTab103TU, {20, 1, 0}, "Func20_Inf1", nullptr},
  };
  for (const Case& c : cases) {
    TDoc103 m;
    TRTU103* dev = m.Port()->AddDevices({{5, ""}})[0];
    dev->name = c.type;
    dev->place = c.place;
    dev->tables[c.tab] = {c.e};
    dev->UpdateStatusTable();
    const int kind = c.tab == kTab103TS ? kSigTS : c.tab == kTab103TI ? kSigTI : kSigTU;
    TParams* t = dev->Table(kind);
    ASSERT_NE(t, nullptr) << c.suffix;
    EXPECT_EQ(Suffixes(t), std::vector<std::string>{c.suffix});
    if (c.name) {
      EXPECT_EQ(t->At(0)->DefaultName(), c.name);
    }
    EXPECT_EQ(dev->ChildItems().size(), 1u) << "only the table with entries";
    if (kind == kSigTI) {
      EXPECT_EQ(t->At(0)->valueWidth, 2);
    }
  }
}

TEST(Iec103Library, ApplyTakesTheTablesAndReportsBadValues) {
  TDoc103 m;
  TPort103* port = m.Port();
  auto devs = port->AddDevices({{7, "РЗА-2"}, {3, ""}, {7, "БМРЗ"}});
  ASSERT_EQ(devs.size(), 2u);  // address 7 once
  EXPECT_EQ(port->Devices()[0]->number, 3);
  EXPECT_EQ(port->Devices()[0]->Caption(), "3_RTU_103");
  EXPECT_TRUE(devs[0]->tables[0].empty());
  TRTU103* dev = devs[1];
  EXPECT_EQ(dev->tables[kTab103TS], (std::vector<TEntry103>{{160, 16, 0}, {160, 17, 0}}));
  EXPECT_EQ(dev->tables[kTab103TI], (std::vector<TEntry103>{{160, 148, 2}, {160, 148, 3}}));
  EXPECT_EQ(dev->tables[kTab103TU], (std::vector<TEntry103>{{20, 1, 0}}));
  std::vector<int> kinds;
  for (TItem* c : dev->ChildItems()) kinds.push_back(dynamic_cast<TParams*>(c)->Type());
  EXPECT_EQ(kinds, (std::vector<int>{kSigTS, kSigTU, kSigTI}));
  EXPECT_TRUE(m.msgs.errors.empty());

  struct Case {
    std::string text;
    std::vector<TEntry103> ts;
    std::vector<std::string> problems;
  } cases[] = {
      {"[Таблица ТС]\r\nТС_1=300 5\r\nТС_2=7\r\nТС_3=1 2 3\r\nТС_4=a b\r\nТС_5= 4  5 \r\nXX_6=9 9\r\nТС_7=\r\n",
       {{4, 5, 0}},
       {"Файл bad.ini, раздел [Таблица ТС], ключ ТС_1: недопустимое значение \"300 5\"",
        "Файл bad.ini, раздел [Таблица ТС], ключ ТС_2: недопустимое значение \"7\"",
        "Файл bad.ini, раздел [Таблица ТС], ключ ТС_3: недопустимое значение \"1 2 3\"",
        "Файл bad.ini, раздел [Таблица ТС], ключ ТС_4: недопустимое значение \"a b\""}},
      {"[Таблица ТИ]\r\nТИ_1=1 2 0\r\nТИ_2=1 2 33\r\nТИ_3=1 2 32\r\nти_4=1 2\r\n",
       {},
       {"Файл bad.ini, раздел [Таблица ТИ], ключ ТИ_1: недопустимое значение \"1 2 0\"",
        "Файл bad.ini, раздел [Таблица ТИ], ключ ТИ_2: недопустимое значение \"1 2 33\"",
        "Файл bad.ini, раздел [Таблица ТИ], ключ ти_4: недопустимое значение \"1 2\""}},
  };
  for (const Case& c : cases) {
    TLibraryFile f;
    f.name = "bad.ini";
    f.ini.Parse(Utf8ToCp1251(c.text));
    std::vector<std::string> problems;
    dev->ApplyType(f, &problems);
    EXPECT_EQ(dev->tables[kTab103TS], c.ts) << c.text;
    EXPECT_EQ(problems, c.problems) << c.text;
  }
  EXPECT_EQ(dev->tables[kTab103TI], (std::vector<TEntry103>{{1, 2, 32}}));

  // 1000 keys: 255 entries and one line saying the rest was not read; raw bytes never crash.
  std::string many = "[Таблица ТС]\r\n";
  for (int i = 1; i <= 1000; ++i) many += "ТС_" + std::to_string(i) + "=1 " + std::to_string(i % 256) + "\r\n";
  std::string junk;
  for (int i = 0; i < 3000; ++i) junk += static_cast<char>((i * 7919 + 13) & 0xFF);
  TLibraryFile f;
  f.name = "big.ini";
  f.ini.Parse(junk + "\r\n" + Utf8ToCp1251(many));
  std::vector<std::string> problems;
  dev->ApplyType(f, &problems);
  EXPECT_EQ(dev->tables[kTab103TS].size(), 255u);
  EXPECT_EQ(problems, std::vector<std::string>{"Файл big.ini, раздел [Таблица ТС]: больше 255 записей, лишние не прочитаны"});
  EXPECT_EQ(dev->Table(kSigTS)->Count(), 255);

  // ApplyDeviceType shows the problems in one message.
  m.ctx.library103.AddText("broken.ini", Utf8ToCp1251("[Устройства]\r\nСломанный=\r\n[Таблица ТУ]\r\nТУ_1=1\r\n"));
  EXPECT_TRUE(dev->ChooseType("Сломанный"));
  ASSERT_EQ(m.msgs.errors.size(), 1u);
  EXPECT_EQ(m.msgs.errors[0], "Файл broken.ini, раздел [Таблица ТУ], ключ ТУ_1: недопустимое значение \"1\"");
  EXPECT_TRUE(dev->tables[kTab103TS].empty());
  EXPECT_EQ(dev->Caption(), "7_Сломанный");

  // More than 255 entries are refused as a whole, naming the table.
  m.msgs.errors.clear();
  EXPECT_FALSE(dev->SetTables({}, std::vector<TEntry103>(256, TEntry103{1, 1, 1}), {}));
  ASSERT_EQ(m.msgs.errors.size(), 1u);
  EXPECT_NE(m.msgs.errors[0].find("Таблица ТИ"), std::string::npos);
}

TEST(Iec103Image, DeviceSectionByHandReadsAndWritesBackIdentically) {
  TBytes r;
  r.Sec(208).Ent(48, {1}).Ent(77, t32test::NameField("ПС-110")).Ent(1, {12}).Ent(62, {3});
  r.Ent(41, t32test::NameField("Сириус")).Ent(13, {2}).Ent(14, {1}).Ent(15, {1});
  r.Ent(45, {160, 16, 160, 17}).Ent(46, {160, 148, 2}).Ent(47, {20, 1}).End();
  TConfig c;
  ASSERT_TRUE(c.SetImage(r.Image()));
  c.Pos = TConfig::kDataStart;
  TRTU103 dev;
  dev.LoadFromImage(c);
  EXPECT_EQ(dev.place, "ПС-110");
  EXPECT_EQ(dev.number, 12);
  EXPECT_EQ(dev.attempts, 3);
  EXPECT_EQ(dev.name, "Сириус");
  EXPECT_EQ(dev.tables[kTab103TS], (std::vector<TEntry103>{{160, 16, 0}, {160, 17, 0}}));
  EXPECT_EQ(dev.tables[kTab103TI], (std::vector<TEntry103>{{160, 148, 2}}));
  EXPECT_EQ(dev.tables[kTab103TU], (std::vector<TEntry103>{{20, 1, 0}}));
  TConfig out;
  out.BeginWrite();
  dev.SaveToImage(out);
  EXPECT_EQ(out.Image(), r.Image());

  // Counts beyond the entry bytes are cut to what is there; a newer layout keeps the defaults.
  TBytes cut;
  cut.Sec(208).Ent(48, {1}).Ent(13, {200}).Ent(14, {3}).Ent(45, {1, 2, 3, 4, 5}).Ent(46, {1, 2, 3, 4}).End();
  ASSERT_TRUE(c.SetImage(cut.Image()));
  c.Pos = TConfig::kDataStart;
  TRTU103 small;
  small.LoadFromImage(c);
  EXPECT_EQ(small.tables[kTab103TS], (std::vector<TEntry103>{{1, 2, 0}, {3, 4, 0}}));
  EXPECT_EQ(small.tables[kTab103TI], (std::vector<TEntry103>{{1, 2, 3}}));
}

TEST(Iec103Image, NewerLayoutShowsMessageAndKeepsDefaults) {
  TDoc103 m;
  TRTU103* dev = m.Port()->AddDevices({{1, ""}})[0];
  TBytes r;
  r.Sec(208).Ent(48, {2}).Ent(1, {9}).End();
  TConfig c;
  ASSERT_TRUE(c.SetImage(r.Image()));
  c.Pos = TConfig::kDataStart;
  dev->LoadFromImage(c);
  EXPECT_EQ(m.msgs.errors, std::vector<std::string>{"Новая версия RTU_103"});
  EXPECT_EQ(dev->number, 1);
}

// A library type, an unknown type and a device with 255 ТИ entries: save, reopen, save gives the
// same bytes; the JSON form lists the entries and imports back to the same image.
TEST(Iec103Image, SaveReopenSaveAndJson) {
  TDoc103 m;
  auto* board = m.d.Tree().Add(m.d.Tree().Root(), DefaultFactory().Make(9, TItemPlace::Board))->Item();
  dynamic_cast<TBlock*>(board)->SetAddress(2);
  m.d.AfterEdit();
  TPort103* port = m.Port();
  auto list = port->Interfaces();
  ASSERT_GT(list.size(), 1u);
  port->SelectInterface(list, 1);
  ASSERT_NE(port->boundChannel, nullptr);
  port->replyWait = 1500;
  port->SetSyncMinutes(60000);
  EXPECT_EQ(port->SyncMinutes(), TPort103::kMaxMinutes);
  port->SetPollMinutes(15);
  EXPECT_EQ(port->pollPeriod, 15 * 60000);
  m.msgs.devicePicks = {{9, ""}, {4, "РЗА-1"}, {6, "Неизвестный"}};
  m.msgs.pickAnswer = true;
  port->AddChildren(115);
  auto devs = port->Devices();
  ASSERT_EQ(devs.size(), 3u);
  auto* lib = dynamic_cast<TRTU103*>(devs[0]);
  auto* unknown = dynamic_cast<TRTU103*>(devs[1]);
  auto* big = dynamic_cast<TRTU103*>(devs[2]);
  lib->place = "Ввод 1";
  lib->UpdateStatusTable();
  lib->Table(kSigTS)->RenameRow(0, "Авария ввода");
  unknown->tables[kTab103TS] = {{1, 1, 0}, {0, 0, 0}};
  unknown->tables[kTab103TU] = {{2, 2, 0}};
  unknown->UpdateStatusTable();
  for (int i = 0; i < 255; ++i) big->tables[kTab103TI].push_back({static_cast<std::uint8_t>(i), 7, static_cast<std::uint8_t>(1 + i % 32)});
  big->UpdateStatusTable();
  m.d.AfterEdit();

  std::vector<std::uint8_t> first = Records(m.d);
  std::string dump = m.d.Dump();
  const auto& img = m.d.Config().Image();
  std::size_t at115 = t32test::FindSectionCode(img, 115);
  ASSERT_NE(at115, 0u);
  EXPECT_EQ(t32test::EntryKeys(img, at115), (std::vector<int>{48, 1, 57, 31, 17, 20, 30}));
  EXPECT_EQ(t32test::EntryKeys(img, t32test::FindSectionCode(img, 208, at115)),
            (std::vector<int>{48, 77, 1, 62, 41, 13, 14, 15, 45, 46, 47}));
  EXPECT_NE(dump.find("ТС [(160, 16), (160, 17)]"), std::string::npos);
  EXPECT_NE(dump.find("ТИ [(160, 148, 2), (160, 148, 3)]"), std::string::npos);

  TRecordedMessages msgs;
  TAppContext ctx;
  ctx.library103.AddText("rza.ini", Utf8ToCp1251(kTwoTypes));
  TDocument again(&msgs, &PortsFactory());
  again.appContext = &ctx;
  ASSERT_TRUE(again.Config().SetImage(WithHead(first)));
  again.ReadRecords(false);
  EXPECT_TRUE(msgs.errors.empty());
  EXPECT_EQ(again.Dump(), dump);
  EXPECT_EQ(Records(again), first);
  auto* port2 = dynamic_cast<TPort103*>(again.ProcNode()->Child(1)->Item());
  ASSERT_NE(port2, nullptr);
  EXPECT_NE(port2->boundChannel, nullptr);
  EXPECT_EQ(port2->Caption(), "1_Порт МЭК 870-5-103");
  auto* lib2 = dynamic_cast<TRTU103*>(port2->Devices()[0]);
  EXPECT_EQ(lib2->Table(kSigTS)->At(0)->Name(), "1_Порт.4_РЗА-1.Авария ввода");
  EXPECT_EQ(port2->LinkTable()->At(0)->DefaultName(), "1_Порт.связь_4_РЗА-1_Ввод 1");

  std::string json = ExportJson(m.d, TCpu::Cpu927);
  std::string compact = nlohmann::ordered_json::parse(json).dump();
  EXPECT_NE(compact.find(R"("entries":[[160,16],[160,17]])"), std::string::npos);
  EXPECT_NE(compact.find(R"("entries":[[160,148,2],[160,148,3]])"), std::string::npos);
  TDocument back(&msgs, &PortsFactory());
  back.appContext = &ctx;
  TCpu cpu{};
  std::string err;
  ASSERT_TRUE(ImportJson(back, json, &cpu, &err)) << err;
  EXPECT_EQ(Records(back), first);
  EXPECT_EQ(ExportJson(back, TCpu::Cpu927), json);
  for (const char* bad : {R"([[160,16],[160,17,1]])", R"([[160,256],[160,17]])", R"([[160],[160,17]])", R"(7)"}) {
    // Replace the first list of entries (pretty-printed over several lines).
    std::string broken = json;
    std::size_t p = broken.find('[', broken.find("\"entries\""));
    ASSERT_NE(p, std::string::npos);
    std::size_t end = p;
    for (int depth = 0; end < broken.size(); ++end) {
      if (broken[end] == '[') ++depth;
      if (broken[end] == ']' && --depth == 0) break;
    }
    broken.replace(p, end - p + 1, bad);
    TDocument d(&msgs, &PortsFactory());
    EXPECT_FALSE(ImportJson(d, broken, &cpu, &err)) << bad;
  }
}

TEST(Iec103Image, ShortLayoutWithCp866TypeName) {
  TBytes r;
  r.SSec(0).SEnt(48, {1}).SEnt(2, {1}).SEnt(3, {2}).SEnd();
  r.SSec(100).SEnt(48, {1}).SEnd();
  r.SSec(115).SEnt(48, {1}).SEnt(1, {3}).SEnt(20, {2}).SEnt(57, {0x2C, 0x01}).SEnt(31, {0x60, 0xEA, 0, 0}).SEnd();
  // "Щит" in cp866: 0x99 0xA8 0xE2.
  std::vector<std::uint8_t> name(17, 0);
  name[0] = 3, name[1] = 0x99, name[2] = 0xA8, name[3] = 0xE2;
  r.SSec(208).SEnt(48, {1}).SEnt(1, {4}).SEnt(62, {2}).SEnt(41, name).SEnt(10, {3}).SEnt(11, {1}).SEnt(12, {0});
  r.SEnt(13, {2}).SEnt(14, {9}).SEnt(15, {1}).SEnt(45, {1, 2, 3, 4}).SEnt(46, {5, 6, 7}).SEnt(47, {8, 9});
  r.SEnt(32, {2}).SEnt(33, {5}).SEnd();
  r.SSec(208).SEnt(48, {1}).SEnt(1, {5}).SEnt(13, {1}).SEnt(45, {1, 1}).SEnt(10, {0}).SEnd();
  TRecordedMessages msgs;
  TDocument d(&msgs, &PortsFactory());
  ASSERT_TRUE(d.Config().SetImage(r.Image()));
  d.ReadRecords(true);
  ASSERT_GE(d.ProcNode()->ChildCount(), 2);
  auto* port = dynamic_cast<TPort103*>(d.ProcNode()->Child(1)->Item());
  ASSERT_NE(port, nullptr);
  EXPECT_EQ(port->replyWait, 300);
  EXPECT_EQ(port->syncPeriod, 60000);
  ASSERT_EQ(port->Devices().size(), 2u);
  auto* dev = dynamic_cast<TRTU103*>(port->Devices()[0]);
  EXPECT_EQ(dev->name, "Щит");
  EXPECT_EQ(dev->number, 4);
  EXPECT_EQ(dev->attempts, 2);
  EXPECT_EQ(dev->tables[kTab103TS], (std::vector<TEntry103>{{1, 2, 0}, {3, 4, 0}}));
  EXPECT_EQ(dev->tables[kTab103TI], (std::vector<TEntry103>{{5, 6, 7}}));  // 9 announced, one there
  EXPECT_EQ(dev->tables[kTab103TU], (std::vector<TEntry103>{{8, 9, 0}}));
  const TStorage& st = d.Storage();
  EXPECT_EQ(st.LegacyName(kSigTS, 16), "3_Порт.4_Щит.Func1_Inf2");
  EXPECT_EQ(st.LegacyName(kSigTS, 17), "3_Порт.4_Щит.Func3_Inf4");
  EXPECT_EQ(st.LegacyName(kSigTI, 0), "3_Порт.4_Щит.Func5_Inf6_N7");
  EXPECT_EQ(st.LegacyName(kSigTU, 0), "");  // first group 0: no legacy place
  EXPECT_EQ(st.LegacyName(kSigTS, 13), "3_Порт.связь_4_Щит");
  EXPECT_EQ(port->Devices()[1]->Caption(), "5_RTU_103");
}

// "Сохранить" and "Удалить" against real folders: exact bytes, a fresh library (as after a
// restart) gives the same tables, refusals leave everything as it was.
TEST(Iec103Types, SaveAndDeleteOnDisk) {
  TTempDir dir("t32iec103.");
  WriteFileAtomic((dir.p / "rza.ini").string(), Utf8ToCp1251(kTwoTypes));
  WriteFileAtomic((dir.p / "bmrz.ini").string(), Utf8ToCp1251(kOneType));
  TDoc103 m;
  m.ctx.library103.Clear();
  ASSERT_EQ(m.ctx.library103.Load({dir.p.string()}), "");
  TRTU103* dev = m.Port()->AddDevices({{2, "РЗА-1"}})[0];
  dev->tables[kTab103TS] = {{0, 5, 0}, {160, 20, 0}};
  dev->tables[kTab103TU] = {{20, 2, 0}};
  dev->tables[kTab103TI] = {{1, 2, 3}};

  // A name inside the two-type file is refused, and so is a name that cannot be a file name.
  m.msgs.texts = {"РЗА-2", "../x", ""};
  EXPECT_FALSE(dev->SaveType("РЗА-1"));
  EXPECT_EQ(m.msgs.errors.back(),
            "Файл  rza.ini  содержит описание нескольких устройств. В записи отказано. Задайте другое имя.");
  EXPECT_EQ(m.msgs.prompts.back(), "Сохранить настройку блока как :");
  EXPECT_EQ(m.msgs.shownTexts.back(), "РЗА-1");
  EXPECT_FALSE(dev->SaveType("РЗА-1"));
  EXPECT_NE(m.msgs.errors.back().find("не годится для имени файла"), std::string::npos);
  EXPECT_FALSE(dev->SaveType("РЗА-1"));  // empty answer: nothing
  EXPECT_EQ(m.msgs.errors.size(), 2u);

  // A new type: a copy of the current type's file with the four sections rewritten.
  m.msgs.texts = {"Новый"};
  ASSERT_TRUE(dev->SaveType("РЗА-1"));
  EXPECT_EQ(dev->name, "Новый");
  EXPECT_EQ(ReadFile(dir.p / "Новый.ini"),
            Utf8ToCp1251("[Список ТС]\r\n160 16=Авария\r\n160 18=Пуск\r\n\r\n"
                         "[Список ТУ]\r\n20 1=Отключить\r\n\r\n"
                         "[Список ТИ]\r\n160 148 2=Ia\r\n\r\n"
                         "[Устройства]\r\nНовый=\r\n\r\n"
                         "[Таблица ТС]\r\nТС_2=160 20\r\n\r\n"
                         "[Таблица ТУ]\r\nТУ_1=20 2\r\n\r\n"
                         "[Таблица ТИ]\r\nТИ_1=1 2 3\r\n\r\n"));
  EXPECT_EQ(ReadFile(dir.p / "rza.ini"), Utf8ToCp1251(kTwoTypes));
  // Applied back: the function-0 entry is gone.
  EXPECT_EQ(dev->tables[kTab103TS], (std::vector<TEntry103>{{160, 20, 0}}));
  {
    TDeviceLibrary fresh;
    ASSERT_EQ(fresh.Load({dir.p.string()}), "");
    ASSERT_NE(fresh.Find("новый"), nullptr);
    TDoc103 n;
    n.ctx.library103 = TDeviceLibrary();
    n.ctx.library103.Load({dir.p.string()});
    TRTU103* d2 = n.Port()->AddDevices({{1, "Новый"}})[0];
    EXPECT_EQ(d2->tables[kTab103TS], dev->tables[kTab103TS]);
    EXPECT_EQ(d2->tables[kTab103TU], dev->tables[kTab103TU]);
    EXPECT_EQ(d2->tables[kTab103TI], dev->tables[kTab103TI]);
  }

  // Saving over an existing one-type file asks first; No leaves the file.
  const std::string before = ReadFile(dir.p / "bmrz.ini");
  m.msgs.texts = {"БМРЗ"};
  m.msgs.answer = kNo;
  EXPECT_FALSE(dev->SaveType("Новый"));
  EXPECT_EQ(m.msgs.questions.back(), "Блок уже существует.\rПереписать настройку?");
  EXPECT_EQ(ReadFile(dir.p / "bmrz.ini"), before);
  m.msgs.answer = kYes;

  // Deleting from the two-type file rewrites it; deleting a one-type file removes it.
  ASSERT_TRUE(dev->ChooseType("РЗА-2"));
  ASSERT_TRUE(dev->DeleteType());
  EXPECT_EQ(m.msgs.questions.back(), "Удалить устройство РЗА-2 из списка ?");
  EXPECT_EQ(m.ctx.library103.Find("РЗА-2"), nullptr);
  EXPECT_NE(m.ctx.library103.Find("РЗА-1"), nullptr);
  std::string rza = Cp1251ToUtf8(ReadFile(dir.p / "rza.ini"));
  EXPECT_EQ(rza.find("РЗА-2"), std::string::npos);
  EXPECT_EQ(rza.find("[Устройства]\r\nРЗА-1=\r\n\r\n[Таблица ТС]"), 0u);
  ASSERT_TRUE(dev->ChooseType("Новый"));
  ASSERT_TRUE(dev->DeleteType());
  EXPECT_FALSE(fs::exists(dir.p / "Новый.ini"));
  EXPECT_EQ(m.ctx.library103.Types(), (std::vector<std::string>{"БМРЗ", "РЗА-1"}));
  EXPECT_FALSE(dev->DeleteType());  // no longer in the library

  // A read-only folder: the delete says why and keeps the type.
  if (::geteuid() != 0) {
    fs::permissions(dir.p, fs::perms::owner_read | fs::perms::owner_exec);
    ASSERT_TRUE(dev->ChooseType("БМРЗ"));
    std::size_t errors = m.msgs.errors.size();
    EXPECT_FALSE(dev->DeleteType());
    ASSERT_EQ(m.msgs.errors.size(), errors + 1);
    EXPECT_NE(m.msgs.errors.back().find("нельзя удалить"), std::string::npos);
    EXPECT_NE(m.ctx.library103.Find("БМРЗ"), nullptr);
    EXPECT_TRUE(fs::exists(dir.p / "bmrz.ini"));
  }
}
