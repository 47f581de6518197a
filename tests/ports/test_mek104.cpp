// The IEC 104 output port over a serial line: its section, the values it corrects on loading,
// the INI export, the update-period label and the short-record image.
#include <gtest/gtest.h>

#include "model/boards.h"
#include "model/cp1251.h"
#include "model/document.h"
#include "model/rawsection.h"
#include "model/factory.h"
#include "model/messages.h"
#include "model/params.h"
#include "model/signal_holders.h"
#include "model/storage.h"
#include "ports/port_mek104.h"
#include "ports/port_menu.h"
#include "ports/register.h"
#include "project/cfgfile.h"
#include "project/json.h"

using namespace t32;
using t32test::TBytes;

namespace {
TPortMEK104* AddMEK(TDocument& d) {
  TNode* n = AddPortFromMenu(d, 119);
  return n ? dynamic_cast<TPortMEK104*>(n->Item()) : nullptr;
}

std::vector<std::uint8_t> Image(TDocument& d) {
  std::int32_t end = d.WriteRecords();
  return {d.Config().Image().begin(), d.Config().Image().begin() + end};
}

// key -> value bytes of the section's own entries.
std::map<int, std::vector<std::uint8_t>> Entries(const std::vector<std::uint8_t>& img, std::size_t at) {
  std::map<int, std::vector<std::uint8_t>> out;
  std::size_t p = at + 8;
  while (p + 8 <= img.size() && img[p] == 0xF2 && img[p + 1] == 0xFF) {
    std::size_t len = img[p + 4] | (img[p + 5] << 8) | (img[p + 6] << 16) | (std::size_t(img[p + 7]) << 24);
    out[img[p + 2] | (img[p + 3] << 8)] = {img.begin() + p + 8, img.begin() + p + len};
    p += len;
  }
  return out;
}

std::vector<std::uint8_t> Le(std::uint32_t v, int n) {
  std::vector<std::uint8_t> b;
  for (int i = 0; i < n; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  return b;
}
}  // namespace

TEST(MEK104, NewPortSectionAndTables) {
  TDocument d(nullptr, &PortsFactory());
  TPortMEK104* p = AddMEK(d);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->Caption(), "1_Порт RS_МЭК870-5-104");
  EXPECT_EQ(p->node->image, 0);
  EXPECT_EQ(p->interfaces, 3);
  std::vector<std::uint8_t> img = Image(d);
  std::size_t at = t32test::FindSectionCode(img, 119);
  ASSERT_NE(at, 0u);
  EXPECT_EQ(t32test::EntryKeys(img, at), (std::vector<int>{48, 77, 1, 35, 36, 73, 18, 63, 64, 65, 66, 67, 79, 78}));
  auto e = Entries(img, at);
  const std::pair<int, std::vector<std::uint8_t>> expected[] = {
      {35, {1}}, {36, {1}}, {73, {1}}, {18, Le(1000, 2)}, {63, Le(15000, 4)}, {64, Le(5000, 4)},
      {65, Le(40000, 4)}, {66, {12}}, {67, {8}}, {79, {1}}, {78, Le(1, 2)}};
  for (const auto& [key, value] : expected) EXPECT_EQ(e[key], value) << key;
  // The five tables always, МТС only with rows.
  EXPECT_NE(t32test::FindSectionCode(img, 215, at), 0u);
  EXPECT_EQ(t32test::FindSectionCode(img, 219, at), 0u);
  auto r = p->Table(kSigMTS)->NewParam();
  r->SetName("МТС.1");
  p->Table(kSigMTS)->Append(r);
  img = Image(d);
  EXPECT_NE(t32test::FindSectionCode(img, 219, at), 0u);
  EXPECT_EQ(TPortMEK104::SecondsToMs(20), 20000u);
}

TEST(MEK104, LoadingCorrectsCountsAndBindsTheChannel) {
  TBytes r;
  r.Sec(0).Ent(48, {1}).Ent(2, {1}).Ent(3, {3}).End();
  r.Sec(100).Ent(48, {1}).End();
  r.Sec(119).Ent(48, {1}).Ent(77, t32test::NameField("ЦУС")).Ent(1, {6}).Ent(30, {2}).Ent(35, {30}).Ent(36, {5})
      .Ent(73, {3}).Ent(63, Le(20000, 4)).Ent(79, {0}).End();
  r.Sec(119).Ent(48, {2}).Ent(1, {7}).Ent(36, {8}).End();
  TRecordedMessages msgs;
  TDocument d(&msgs, &PortsFactory());
  ASSERT_TRUE(d.Config().SetImage(r.Image()));
  d.ReadRecords(false);
  ASSERT_EQ(d.ProcNode()->ChildCount(), 3);
  auto* p = dynamic_cast<TPortMEK104*>(d.ProcNode()->Child(1)->Item());
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->place, "ЦУС");
  EXPECT_EQ(p->number, 6);
  EXPECT_EQ(p->tsType, 30);
  EXPECT_EQ(p->tiPerAsdu, 1);   // 5 is no choice
  EXPECT_EQ(p->tiiPerAsdu, 1);  // nor 3
  EXPECT_EQ(p->t1, 20000u);
  EXPECT_EQ(p->extraCrc, 0);
  EXPECT_EQ(p->flags, 1);  // no key 78
  EXPECT_EQ(p->boundChannel, nullptr);  // no channel 2 in this image
  auto* newer = dynamic_cast<TPortMEK104*>(d.ProcNode()->Child(2)->Item());
  EXPECT_EQ(msgs.errors, (std::vector<std::string>{"Новая версия RS_МЭК870-5-104", kKeptSectionsMessage}));
  EXPECT_EQ(newer->tiPerAsdu, 1);

  // Bound to a serial channel: key 30 brings the binding and the bound icon back.
  TDocument a(nullptr, &PortsFactory());
  TNode* board = a.Tree().Add(a.Tree().Root(), DefaultFactory().Make(9, TItemPlace::Board));
  dynamic_cast<TBlock*>(board->Item())->SetAddress(2);
  a.AfterEdit();
  TPortMEK104* q = AddMEK(a);
  auto list = q->Interfaces();
  ASSERT_GE(list.size(), 2u);
  q->SelectInterface(list, 1);
  EXPECT_EQ(q->node->image, 13);
  std::vector<std::uint8_t> img = Image(a);
  EXPECT_FALSE(Entries(img, t32test::FindSectionCode(img, 119))[30].empty());
  TDocument b(nullptr, &PortsFactory());
  ASSERT_TRUE(b.Config().SetImage(img));
  b.ReadRecords(false);
  auto* q2 = dynamic_cast<TPortMEK104*>(b.ProcNode()->Child(1)->Item());
  ASSERT_NE(q2->boundChannel, nullptr);
  EXPECT_EQ(q2->node->image, 13);
  EXPECT_EQ(b.Dump(), a.Dump());
  // The JSON form names every entry and gives the same configuration back.
  std::string json = ExportJson(a, TCpu::Cpu927);
  TDocument c(nullptr, &PortsFactory());
  TCpu cpu;
  std::string err;
  ASSERT_TRUE(ImportJson(c, json, &cpu, &err)) << err;
  EXPECT_EQ(c.Dump(), a.Dump());
  EXPECT_NE(json.find("extraCrc"), std::string::npos);
}

TEST(MEK104, IniExportAndUpdateLabel) {
  TDocument d(nullptr, &PortsFactory());
  TNode* di = d.Tree().Add(d.Tree().Root(), DefaultFactory().Make(4, TItemPlace::Board));
  dynamic_cast<TBlock*>(di->Item())->SetAddress(3);
  d.AfterEdit();
  TPortMEK104* p = AddMEK(d);
  const TParams& ts = d.Storage().List(kSigTS);
  ASSERT_EQ(ts.At(4)->Name(), "3_DI32.Пр5");
  p->Table(kSigTS)->Append(ts.Ref(4));
  auto bare = p->Table(kSigTS)->NewParam();
  bare->SetName("Авария");
  p->Table(kSigTS)->Append(bare);
  std::string ini = Cp1251ToUtf8(p->IniText());
  EXPECT_EQ(ini, "[TS.3_DI32]\r\n8192=Пр5\r\n\r\n[TS.]\r\n8193=Авария\r\n\r\n");
  EXPECT_EQ(p->SignalAddressText(2, kSigTR), "32770");

  // The label: red without a resolved ТИ row, black with one.
  p->tiInterval = 2500;
  EXPECT_TRUE(p->UpdatePeriodAlarm());
  EXPECT_EQ(p->UpdatePeriodText(), "всех ТИ   0 с");
  p->Table(kSigTI)->NewEmptyRow(0);
  EXPECT_TRUE(p->UpdatePeriodAlarm());
  TNode* src = d.Tree().Add(d.ProcNode(), std::make_unique<t32test::TSourceHolder>());
  dynamic_cast<t32test::TSourceHolder*>(src->Item())->SetCounts({0, 0, 0, 3, 0, 0, 0});
  d.AfterEdit();
  const TParams& ti = d.Storage().List(kSigTI);
  ASSERT_EQ(ti.Count(), 3);
  p->Table(kSigTI)->AddFromList(ti, true);
  EXPECT_FALSE(p->UpdatePeriodAlarm());
  EXPECT_EQ(p->UpdatePeriodText(), "всех ТИ   " + std::to_string(ti.Count() * 2500 / 1000) + " с");
}

// A short-record file (type 1): a DI32 with its legacy names and the port, whose ТС table takes
// them.
TEST(MEK104, ShortImageFillsTheTablesFromTheLegacyNames) {
  TBytes r;
  r.SSec(0).SEnt(48, {1}).SEnt(1, {7, 0}).SEnt(2, {2}).SEnt(3, {2}).SEnd();
  r.SSec(4).SEnt(48, {1}).SEnt(1, {1}).SEnt(17, {3, 0, 0, 0}).SEnt(10, {1}).SEnd();
  r.SSec(100).SEnt(48, {1}).SEnd();
  r.SSec(119).SEnt(48, {1}).SEnt(1, {9}).SEnt(36, {8}).SEnd();
  std::vector<std::uint8_t> file = r.Image();
  TBuildOptions opt;
  opt.cpu = TCpu::Cpu6358;
  std::string err;
  ASSERT_TRUE(FinishImage(file, file.size(), opt, &err)) << err;
  file[15] = 1;  // the image type of short records; the sum over the bytes follows
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i + 2 < file.size(); ++i) sum += file[i];
  file[file.size() - 2] = static_cast<std::uint8_t>(sum);
  file[file.size() - 1] = static_cast<std::uint8_t>(sum >> 8);
  TRecordedMessages msgs;
  TDocument d(&msgs, &PortsFactory());
  TCpu cpu = TCpu::Cpu927;
  ASSERT_TRUE(ParseImage(d, file, false, &cpu));
  EXPECT_EQ(cpu, TCpu::Cpu6358);
  ASSERT_EQ(d.ProcNode()->ChildCount(), 2);
  auto* p = dynamic_cast<TPortMEK104*>(d.ProcNode()->Child(1)->Item());
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->number, 1);  // the section holds nothing this port reads
  EXPECT_EQ(p->tiPerAsdu, 1);
  ASSERT_EQ(p->Table(kSigTS)->Count(), 32);
  for (int i = 0; i < 32; ++i) {
    EXPECT_EQ(p->Table(kSigTS)->Ref(i), d.Storage().List(kSigTS).Ref(i)) << i;
    EXPECT_FALSE(p->Table(kSigTS)->At(i)->unresolved);
  }
  EXPECT_TRUE(msgs.errors.empty());
}
