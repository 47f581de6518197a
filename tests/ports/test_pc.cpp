// Workstations under the IP port: the status table that follows them, their section (new and
// older forms, short records), duplication and the two exports of their signal list.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "model/boards.h"
#include "model/controller.h"
#include "model/cp1251.h"
#include "model/document.h"
#include "model/rawsection.h"
#include "model/factory.h"
#include "model/fileio.h"
#include "model/messages.h"
#include "model/params.h"
#include "model/port_ip.h"
#include "model/signal_holders.h"
#include "model/storage.h"
#include "model/treerules.h"
#include "ports/port_pc.h"
#include "ports/register.h"
#include "project/cfgfile.h"
#include "project/json.h"

using namespace t32;
using t32test::TBytes;

namespace {
namespace fs = std::filesystem;

struct TempDir {
  fs::path path;
  TempDir() {
    path = fs::temp_directory_path() / ("t32pc." + std::to_string(::getpid()) + "." + std::to_string(rand()));
    fs::create_directories(path);
  }
  ~TempDir() { fs::remove_all(path); }
  std::string operator/(const char* name) const { return (path / name).string(); }
};

TPC* AddPC(TDocument& d) {
  d.PortIP()->AddChildren(0);
  d.AfterEdit();
  auto pcs = d.PortIP()->Workstations();
  return pcs.empty() ? nullptr : dynamic_cast<TPC*>(pcs.back());
}

std::vector<std::string> StatusNames(const TDocument& d) {
  std::vector<std::string> out;
  if (const TParams* t = d.PortIP()->StatusTable())
    for (int i = 0; i < t->Count(); ++i) out.push_back(t->At(i)->Name());
  return out;
}

std::vector<std::uint8_t> Image(TDocument& d) {
  std::int32_t end = d.WriteRecords();
  return {d.Config().Image().begin(), d.Config().Image().begin() + end};
}

std::vector<std::uint8_t> EntryValue(const std::vector<std::uint8_t>& img, std::size_t at, int key) {
  std::size_t p = at + 8;
  while (p + 8 <= img.size() && img[p] == 0xF2 && img[p + 1] == 0xFF) {
    std::size_t len = img[p + 4] | (img[p + 5] << 8) | (img[p + 6] << 16) | (std::size_t(img[p + 7]) << 24);
    if ((img[p + 2] | (img[p + 3] << 8)) == key) return {img.begin() + p + 8, img.begin() + p + len};
    p += len;
  }
  return {};
}

TParamRef Row(TParams* t, const std::string& name) {
  auto r = t->NewParam();
  r->SetName(name);
  t->Append(r);
  return r;
}
}  // namespace

TEST(PC, StatusTableFollowsTheWorkstations) {
  TDocument d(nullptr, &PortsFactory());
  TPortIP* ip = d.PortIP();
  EXPECT_EQ(ip->StatusTable(), nullptr);
  TPC* a = AddPC(d);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->Caption(), "1_Порт ПЭВМ");
  ASSERT_NE(ip->StatusTable(), nullptr);
  EXPECT_EQ(ip->node->Child(0)->Item(), ip->StatusTable());  // the first child
  EXPECT_EQ(ip->pcCount, 1);
  EXPECT_EQ(StatusNames(d), std::vector<std::string>{"0_Порт_IP.связь_1_Порт ПЭВМ_1"});
  EXPECT_EQ(ip->StatusTable()->At(0)->DefaultName(), "0_Порт_IP.связь_1_Порт ПЭВМ_1");
  EXPECT_EQ(d.Storage().List(kSigTS).Count(), 1);

  TPC* b = AddPC(d);
  b->place = "Щит";
  d.AfterEdit();
  EXPECT_EQ(StatusNames(d), (std::vector<std::string>{"0_Порт_IP.связь_1_Порт ПЭВМ_1", "0_Порт_IP.связь_1_Порт ПЭВМ_Щит"}));

  // A control-station output row that sends the second workstation's status keeps it through a
  // change of place and a move: the row is renamed in place.
  TParamRef bRow = ip->StatusTable()->Ref(1);
  a->Table(kSigTS)->Append(bRow);
  b->place = "Пульт";
  d.AfterEdit();
  EXPECT_EQ(ip->StatusTable()->Ref(1), bRow);
  EXPECT_EQ(bRow->Name(), "0_Порт_IP.связь_1_Порт ПЭВМ_Пульт");
  ASSERT_TRUE(MoveNode(d, b->node, a->node));
  EXPECT_EQ(ip->StatusTable()->Ref(0), bRow);
  EXPECT_EQ(StatusNames(d)[1], "0_Порт_IP.связь_1_Порт ПЭВМ_2");  // `a` is now second
  EXPECT_EQ(a->Table(kSigTS)->Ref(0), bRow);
  EXPECT_FALSE(a->Table(kSigTS)->At(0)->unresolved);
  // A renamed status row keeps the user's name.
  ip->StatusTable()->At(1)->SetName("0_Порт_IP.Диспетчер");
  d.AfterEdit();
  EXPECT_EQ(StatusNames(d)[1], "0_Порт_IP.Диспетчер");

  // Deleting down to none removes the table; its rows leave the storage.
  DeleteNode(d, b->node);
  EXPECT_EQ(StatusNames(d).size(), 1u);
  DeleteNode(d, a->node);
  EXPECT_EQ(ip->StatusTable(), nullptr);
  EXPECT_EQ(ip->node->ChildCount(), 0);
  EXPECT_EQ(ip->pcCount, 0);
  EXPECT_EQ(d.Storage().List(kSigTS).Count(), 0);
}

TEST(PC, DuplicateAppendsACopyThatSharesTheRows) {
  TDocument d(nullptr, &PortsFactory());
  d.Tree().Add(d.Tree().Root(), DefaultFactory().Make(4, TItemPlace::Board));  // DI32
  d.AfterEdit();
  TPC* a = AddPC(d);
  AddPC(d);
  a->place = "Диспетчерская";
  a->t1 = 20000;
  a->bases[kSigTS] = 0x8001;
  a->permissions = 5;
  a->Table(kSigTS)->AddFromList(d.Storage().List(kSigTS), true);
  d.AfterEdit();
  const long refs = a->Table(kSigTS)->Ref(0)->RefCount();
  d.PortIP()->DuplicateChild(a);
  d.AfterEdit();
  auto pcs = d.PortIP()->Workstations();
  ASSERT_EQ(pcs.size(), 3u);
  auto* c = dynamic_cast<TPC*>(pcs[2]);
  EXPECT_EQ(c->place, "Диспетчерская");
  EXPECT_EQ(c->t1, 20000u);
  EXPECT_EQ(c->bases[kSigTS], 0x8001);
  EXPECT_EQ(c->permissions, 5);
  ASSERT_EQ(c->Table(kSigTS)->Count(), a->Table(kSigTS)->Count());
  EXPECT_EQ(c->Table(kSigTS)->Ref(5), a->Table(kSigTS)->Ref(5));
  EXPECT_EQ(c->Table(kSigTS)->Ref(0)->RefCount(), refs + 1);
  EXPECT_EQ(StatusNames(d).size(), 3u);
  EXPECT_EQ(StatusNames(d)[2], "0_Порт_IP.связь_1_Порт ПЭВМ_Диспетчерская");
}

TEST(PC, ValuesSurviveFileAndJson) {
  TempDir dir;
  TRecordedMessages msgs;
  TDocument a(&msgs, &PortsFactory());
  a.Tree().Add(a.Tree().Root(), DefaultFactory().Make(4, TItemPlace::Board));
  a.AfterEdit();
  TPC* pc = AddPC(a);
  AddPC(a)->place = "Щит";
  pc->t1 = TPC::SecondsToMs(15);
  pc->t2 = TPC::SecondsToMs(70000);  // above the editor's range
  pc->bases[kSigTS] = 0x8001;
  pc->bases[kSigMTS] = 0xFFFF;
  pc->pcAddress = 0xFFFFFFFF;
  pc->asduAddress = 40000;
  pc->tiFormats = {16, 35, 0, 13, 22, 0};
  pc->Table(kSigTS)->AddFromList(a.Storage().List(kSigTS), true);
  pc->Table(kSigTS)->Append(a.PortIP()->StatusTable()->Ref(1));
  a.PortIP()->StatusTable()->At(0)->SetName("0_Порт_IP.Главная");
  a.AfterEdit();
  EXPECT_EQ(pc->t1, 15000u);
  EXPECT_EQ(pc->t2, 60000000u);

  std::vector<std::uint8_t> img = Image(a);
  std::size_t at = t32test::FindSectionCode(img, 202);
  ASSERT_NE(at, 0u);
  EXPECT_EQ(t32test::EntryKeys(img, at), (std::vector<int>{48, 77, 49, 68, 27, 108, 35, 36, 73, 45, 46, 107, 18, 63, 64,
                                                          65, 66, 67, 78, 10, 100, 12, 11, 76, 51}));
  EXPECT_EQ(EntryValue(img, at, 63), (std::vector<std::uint8_t>{0x98, 0x3A, 0, 0}));  // 15000
  EXPECT_EQ(EntryValue(img, at, 10), (std::vector<std::uint8_t>{0x01, 0x80}));
  EXPECT_EQ(EntryValue(img, at, 27), std::vector<std::uint8_t>{1});
  EXPECT_EQ(EntryValue(img, at, 36), std::vector<std::uint8_t>{16});  // copy of ТИ byte 0

  for (TCpu cpu : {TCpu::Cpu927, TCpu::Cpu6358}) {
    std::string path = dir / "pc.cfg";
    ASSERT_TRUE(SaveConfigFile(a, path, cpu));
    TDocument b(&msgs, &PortsFactory());
    TCpu got = cpu;
    ASSERT_TRUE(OpenConfigFile(b, path, &got));
    EXPECT_EQ(b.Dump(), a.Dump());
    auto* pb = dynamic_cast<TPC*>(b.PortIP()->Workstations().at(0));
    EXPECT_EQ(pb->bases[kSigTS], 0x8001);
    EXPECT_EQ(pb->bases[kSigMTS], 0xFFFF);
    EXPECT_EQ(pb->SignalAddressText(1, kSigTS), "32770");
    EXPECT_EQ(pb->asduAddress, 40000);
    // The status rows: the renamed name from the image, the default from the workstation, and
    // the output row that sends the second workstation's status is that very row.
    TParams* st = b.PortIP()->StatusTable();
    ASSERT_NE(st, nullptr);
    EXPECT_EQ(st->At(0)->Name(), "0_Порт_IP.Главная");
    EXPECT_EQ(st->At(0)->DefaultName(), "0_Порт_IP.связь_1_Порт ПЭВМ_1");
    ASSERT_EQ(pb->Table(kSigTS)->Count(), 35);  // the board's 32, both status rows, the second again
    EXPECT_EQ(pb->Table(kSigTS)->Ref(34), st->Ref(1));
    EXPECT_EQ(Image(b), Image(a));

    TDocument c(&msgs, &PortsFactory());
    TCpu jc;
    std::string err;
    ASSERT_TRUE(ImportJson(c, ExportJson(a, cpu), &jc, &err)) << err;
    EXPECT_EQ(c.Dump(), a.Dump());
  }
  EXPECT_TRUE(msgs.errors.empty()) << msgs.errors.front();
}

// Sections written by hand: the older single bytes, no key 78, a foreign section in a
// workstation's place, a newer workstation layout.
TEST(PC, OlderSectionsByHand) {
  auto u16 = [](std::uint16_t v) { return std::vector<std::uint8_t>{static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)}; };
  TBytes r;
  r.Sec(0).Ent(48, {1}).Ent(1, u16(9)).Ent(2, {1}).Ent(3, {1}).End();
  r.Sec(100).Ent(48, {1}).Ent(49, {2, 0, 0, 10}).Ent(20, {3});
  r.Sec(211).Ent(48, {1}).Ent(13, u16(3)).Ent(41, [] {
    std::vector<std::uint8_t> names;
    for (const char* n : {"0_Порт_IP.А", "", "0_Порт_IP.В"}) {
      auto f = t32test::NameField(n);
      names.insert(names.end(), f.begin(), f.end());
    }
    return names;
  }()).End();
  // Older bytes: ТС 7 (no choice of the chooser: kept), ТИ 5 (none: 8), ТИИ 3 (none: 8).
  r.Sec(202).Ent(48, {1}).Ent(49, {5, 1, 168, 192}).Ent(35, {7}).Ent(36, {5}).Ent(73, {3}).Ent(27, {0}).End();
  r.Sec(300).Ent(48, {1}).End();  // not a workstation: kept as it stood, and counted
  r.Sec(202).Ent(48, {2}).Ent(49, {9, 9, 9, 9}).End();  // newer: defaults
  r.Sec(202).Ent(48, {1}).Ent(36, {16}).Ent(78, u16(6)).Ent(45, {16, 30, 0, 30, 21, 0}).End();  // the fourth
  r.End();
  TRecordedMessages msgs;
  TDocument d(&msgs, &PortsFactory());
  ASSERT_TRUE(d.Config().SetImage(r.Image()));
  d.ReadRecords(false);
  EXPECT_EQ(msgs.errors, (std::vector<std::string>{"Новая версия ПЭВМ", kKeptSectionsMessage}));
  EXPECT_EQ(d.PortIP()->net1Address, 0x0A000002u);
  auto pcs = d.PortIP()->Workstations();
  ASSERT_EQ(pcs.size(), 3u);  // the foreign section counts as one; the fourth was never read
  EXPECT_NE(dynamic_cast<TRawSection*>(pcs[1]), nullptr);
  auto* old = dynamic_cast<TPC*>(pcs[0]);
  EXPECT_EQ(old->pcAddress, 0xC0A80105u);
  EXPECT_EQ(old->permissions, 1);   // no key 78: file writing allowed
  EXPECT_EQ(old->asduAddress, 9);   // the station address
  EXPECT_EQ(old->tsFormats[3], 7);
  EXPECT_EQ(old->tsFormats[0], 8);
  EXPECT_EQ(old->tiFormats[0], 8);
  EXPECT_EQ(old->tiiFormats[0], 8);
  EXPECT_EQ(old->addressing, 1);
  auto* newer = dynamic_cast<TPC*>(pcs[2]);
  EXPECT_EQ(newer->pcAddress, 0xC0A80100u);
  EXPECT_TRUE(newer->ReadOnly());
  // Status rows: names from the image where it had them.
  EXPECT_EQ(StatusNames(d), (std::vector<std::string>{"0_Порт_IP.А", "0_Порт_IP.связь_" + pcs[1]->Caption() + "_2",
                                                      "0_Порт_IP.В"}));
  EXPECT_EQ(d.Storage().List(kSigTS).Count(), 3);
  // Written back: 35 keeps 7, 27 is 1, the count is 3.
  std::vector<std::uint8_t> img = Image(d);
  std::size_t at = t32test::FindSectionCode(img, 202);
  EXPECT_EQ(EntryValue(img, at, 35), std::vector<std::uint8_t>{7});
  EXPECT_EQ(EntryValue(img, at, 27), std::vector<std::uint8_t>{1});
  EXPECT_EQ(EntryValue(img, at, 45), (std::vector<std::uint8_t>{8, 30, 0, 7, 21, 0}));
  EXPECT_EQ(EntryValue(img, t32test::FindSectionCode(img, 100), 20), std::vector<std::uint8_t>{3});
}

TEST(PC, ShortImageReadsTheIpPortAndItsWorkstations) {
  TBytes r;
  r.SSec(0).SEnt(48, {1}).SEnt(1, {3, 0}).SEnt(2, {1}).SEnt(3, {1}).SEnd();
  r.SSec(100).SEnt(48, {1}).SEnt(49, {7, 0, 0, 10}).SEnt(68, {1, 0, 0, 10}).SEnt(20, {2});
  r.SSec(202).SEnt(48, {1}).SEnt(49, {9, 1, 168, 192}).SEnt(68, {1, 1, 1, 1}).SEnt(36, {5}).SEnt(63, {0x20, 0x4E, 0, 0})
      .SEnt(66, {20}).SEnd();
  r.SSec(202).SEnt(48, {1}).SEnt(35, {30}).SEnt(36, {24}).SEnd();
  r.SEnd();
  TDocument d(nullptr, &PortsFactory());
  ASSERT_TRUE(d.Config().SetImage(r.Image()));
  d.ReadRecords(true);
  EXPECT_EQ(d.PortIP()->net1Address, 0x0A000007u);
  EXPECT_EQ(d.PortIP()->net1Gateway, 0x0A000001u);
  auto pcs = d.PortIP()->Workstations();
  ASSERT_EQ(pcs.size(), 2u);
  auto* a = dynamic_cast<TPC*>(pcs[0]);
  EXPECT_EQ(a->pcAddress, 0xC0A80109u);
  EXPECT_EQ(a->gateway, 0u);
  EXPECT_EQ(a->tiFormats[0], 1);  // an unusable older ТИ byte: 1 in short images
  EXPECT_EQ(a->t1, 20000u);
  EXPECT_EQ(a->k, 20);
  EXPECT_EQ(a->asduAddress, 3);
  auto* b = dynamic_cast<TPC*>(pcs[1]);
  EXPECT_EQ(b->tsFormats[3], 30);
  EXPECT_EQ(b->tiFormats[0], 24);
  EXPECT_EQ(StatusNames(d).size(), 2u);
}

TEST(PC, IniExportUsesTheBaseAddresses) {
  TDocument d(nullptr, &PortsFactory());
  TPC* pc = AddPC(d);
  pc->bases[kSigTI] = 100;
  Row(pc->Table(kSigTI), "3_AI8.Ток");
  Row(pc->Table(kSigTI), "Напряжение");
  EXPECT_EQ(Cp1251ToUtf8(pc->IniText()), "[TI.3_AI8]\r\n100=Ток\r\n\r\n[TI.]\r\n101=Напряжение\r\n\r\n");
}

TEST(PC, AlarmLogNames) {
  struct Case {
    const char* name;
    int device;
    const char* group;
  } cases[] = {
      {"2_Порт.1_Dev.Журнал Аварий", 513, "2_Порт.1_Dev"},
      {"12_Порт.300.Журнал Аварий", 12 * 256 + 300, "12_Порт.300"},
      {"Порт.1_Dev.Журнал Аварий", -1, "Порт.1_Dev"},  // no digits: no device number
      {"2_Порт.Dev.Журнал Аварий", -1, "2_Порт.Dev"},
      {"Журнал Аварий", -1, ""},                        // never fewer than no characters
      {"99999999999_x.1_y.Журнал Аварий", -1, "99999999999_x.1_y"},  // more digits than a number takes
      {"8388607_x.999999999_y.Журнал Аварий", -1, "8388607_x.999999999_y"},  // beyond a 32-bit number
  };
  for (const Case& c : cases) {
    EXPECT_EQ(AlarmLogDevice(c.name), c.device) << c.name;
    EXPECT_EQ(AlarmLogGroupName(c.name), c.group) << c.name;
  }
}

namespace {
// The small configuration of the golden file.
TPC* GoldenConfiguration(TDocument& d) {
  d.Proc()->place = "ПС \"Сосны\" & Ко";
  d.Proc()->stationAddress = 5;
  d.PortIP()->net1Address = 0x0A000002;
  TPC* pc = AddPC(d);
  for (const char* n : {"A.x", "A.B.y", "", "z", "Щит&\"1\".v<2>"}) Row(pc->Table(kSigTS), n);
  Row(pc->Table(kSigMTS), "2_Порт.1_Dev.Журнал Аварий");
  Row(pc->Table(kSigTU), "Вкл");
  d.AfterEdit();
  return pc;
}
}  // namespace

TEST(PC, WorkstationXmlEqualsTheGoldenFile) {
  TDocument d(nullptr, &PortsFactory());
  TPC* pc = GoldenConfiguration(d);
  std::string golden;
  ASSERT_TRUE(ReadWholeFile(std::string(T32_FIXTURES) + "/pc/workstation.xml", golden));
  std::string xml = pc->WorkstationXml();
  EXPECT_EQ(xml, golden) << Cp1251ToUtf8(xml);

  TempDir dir;
  std::string path = dir / "ws.xml";
  ASSERT_TRUE(WriteFileAtomic(path, "old"));
  std::string err;
  ASSERT_TRUE(pc->ExportXml(path, &err)) << err;
  std::string back;
  ASSERT_TRUE(ReadWholeFile(path, back));
  EXPECT_EQ(back, golden);
  // A well-formed document for a real XML parser, when one is installed.
  if (std::system("command -v xmllint >/dev/null 2>&1") == 0) {
    EXPECT_EQ(std::system(("xmllint --noout '" + path + "'").c_str()), 0);
  }

  std::string bad = dir / "no/such/folder/ws.xml";
  EXPECT_FALSE(pc->ExportXml(bad, &err));
  EXPECT_EQ(err.rfind("Ошибка записи файла " + bad, 0), 0u) << err;
}

TEST(PC, XmlWithoutAlarmLogsHasOnlyTheFixedFiles) {
  TDocument d(nullptr, &PortsFactory());
  TPC* pc = AddPC(d);
  Row(pc->Table(kSigMTS), "Порт.Dev.Журнал Аварий");  // no device number: left out
  pc->t3 = TPC::SecondsToMs(41);
  std::string xml = Cp1251ToUtf8(pc->WorkstationXml());
  EXPECT_NE(xml.find("t3=\"41\""), std::string::npos);
  EXPECT_NE(xml.find("<Item name=\"Журнал Аварий\" address=\"0\" />"), std::string::npos);
  EXPECT_EQ(xml.find("MODBUS"), std::string::npos);
  EXPECT_EQ(xml.find("журналы"), std::string::npos);
  EXPECT_NE(xml.find("filename=\"Password.ini\" />\r\n    </Group>\r\n</WS_IEC_870_5_104>"), std::string::npos);
}
