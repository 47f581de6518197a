// KP polling port and its stations: table rebuilds per protocol, link-status rows, duplication
// and renumbering, sections 112 and 206 written by hand (long and short), hostile variants,
// save/reopen/save and the JSON form.
#include <gtest/gtest.h>

#include "model/boards.h"
#include "model/document.h"
#include "model/factory.h"
#include "model/messages.h"
#include "model/params.h"
#include "model/signal_holders.h"
#include "model/storage.h"
#include "ports/image_sections.h"
#include "ports/port_kp.h"
#include "ports/port_menu.h"
#include "ports/register.h"
#include "project/json.h"

using namespace t32;
using t32test::TBytes;

namespace {

struct TKPDoc {
  TRecordedMessages msgs;
  TDocument d{&msgs, &PortsFactory()};
  TPortKP* Port() { return dynamic_cast<TPortKP*>(AddPortFromMenu(d, 112)->Item()); }
  TPortKP* PortAt(int i) { return dynamic_cast<TPortKP*>(d.ProcNode()->Child(i)->Item()); }
};

std::vector<std::string> Defaults(const TParams* t) {
  std::vector<std::string> out;
  for (int i = 0; t && i < t->Count(); ++i) out.push_back(t->At(i)->DefaultName());
  return out;
}
std::vector<std::string> Names(const TParams* t) {
  std::vector<std::string> out;
  for (int i = 0; t && i < t->Count(); ++i) out.push_back(t->At(i)->Name());
  return out;
}

std::vector<std::uint8_t> Counts(std::initializer_list<std::uint16_t> c) {
  std::vector<std::uint8_t> out;
  for (std::uint16_t v : c) {
    auto b = t32test::Le16(v);
    out.insert(out.end(), b.begin(), b.end());
  }
  return out;
}

// A station section written from the key table, its tables left to the caller.
void StationKeys(TBytes& r, const std::string& place, std::uint8_t address, std::uint8_t protocol, std::uint8_t countCount,
                 const std::vector<std::uint8_t>& counts, const std::vector<std::uint8_t>& groups) {
  r.Sec(206).Ent(48, {1}).Ent(77, t32test::NameField(place)).Ent(1, {address}).Ent(108, {static_cast<std::uint8_t>(address + 1)});
  r.Ent(27, {protocol}).Ent(62, {7}).Ent(57, t32test::Le16(1500)).Ent(58, t32test::Le16(2500));
  r.Ent(17, t32test::Le32(120000)).Ent(63, t32test::Le32(60000)).Ent(64, t32test::Le32(0)).Ent(65, t32test::Le32(180000));
  r.Ent(31, t32test::Le32(300000)).Ent(59, {4}).Ent(20, {countCount}).Ent(44, counts).Ent(46, groups);
  r.Ent(60, {2}).Ent(61, {1}).Ent(10, t32test::Le16(0x2010)).Ent(100, t32test::Le16(0xC000)).Ent(12, t32test::Le16(0x6000));
  r.Ent(11, t32test::Le16(0x4000)).Ent(76, t32test::Le16(0xA000)).Ent(51, t32test::Le16(0x8000));
}

}  // namespace

// --- rebuilding a station --------------------------------------------------------------------
TEST(KPStation, GroupTypesAndCountsBuildTheTablesOfEachProtocol) {
  TKPDoc m;
  TPortKP* port = m.Port();
  TKP* k = port->AddStation();
  k->number = 5;
  k->protocol = TKP::kSirius;
  k->SetGroupType({1}, 1);
  k->SetGroupType({3}, 2);
  k->SetGroupType({0}, 4);  // group 0 always stays empty
  k->SetGroupType({4, 5}, 5);
  k->UpdateStatusTable();
  TParams* ti = k->Table(kSigTI);
  ASSERT_NE(ti, nullptr);
  ASSERT_EQ(ti->Count(), 12);
  EXPECT_EQ(ti->At(0)->DefaultName(), "1_Порт.5_КП.Гр1_Пр1");
  EXPECT_EQ(ti->At(7)->DefaultName(), "1_Порт.5_КП.Гр1_Пр8");
  EXPECT_EQ(ti->At(8)->DefaultName(), "1_Порт.5_КП.Гр3_Пр1");
  EXPECT_EQ(ti->At(11)->DefaultName(), "1_Порт.5_КП.Гр3_Пр4");
  EXPECT_EQ(ti->At(7)->valueWidth, 2);
  EXPECT_EQ(ti->At(8)->valueWidth, 4);
  EXPECT_EQ(k->groupTypes[0], 0);
  EXPECT_EQ(Defaults(k->Table(kSigTII)),
            (std::vector<std::string>{"1_Порт.5_КП.Гр4_Пр1", "1_Порт.5_КП.Гр4_Пр2", "1_Порт.5_КП.Гр5_Пр1", "1_Порт.5_КП.Гр5_Пр2"}));
  EXPECT_EQ(k->CountOf(kSigTI), 12);
  EXPECT_EQ(k->CountOf(kSigTII), 4);

  // Виконт: ТС 10 as groups of eight; МЭК 870-5-101: prefix.Пр1 ... with the same count.
  k->protocol = TKP::kVikont;
  ASSERT_TRUE(k->SetCount(kSigTS, 10));
  k->UpdateStatusTable();
  std::vector<std::string> ts = Defaults(k->Table(kSigTS));
  ASSERT_EQ(ts.size(), 10u);
  EXPECT_EQ(ts[7], "1_Порт.5_КП.Гр1_Пр8");
  EXPECT_EQ(ts[8], "1_Порт.5_КП.Гр2_Пр1");
  EXPECT_EQ(ts[9], "1_Порт.5_КП.Гр2_Пр2");
  k->Table(kSigTS)->At(0)->SetName("1_Порт.5_КП.Ввод");
  k->protocol = TKP::kIec101;
  k->UpdateStatusTable();
  ts = Defaults(k->Table(kSigTS));
  EXPECT_EQ(ts.front(), "1_Порт.5_КП.Пр1");
  EXPECT_EQ(ts.back(), "1_Порт.5_КП.Пр10");
  EXPECT_EQ(k->Table(kSigTS)->At(0)->Name(), "1_Порт.5_КП.Ввод");  // the user's name stays
  // Under 101 the ТИ count is typed, not derived from the group types.
  ASSERT_TRUE(k->SetCount(kSigTI, 3));
  k->UpdateStatusTable();
  EXPECT_EQ(k->Table(kSigTI)->Count(), 3);
  // A count of 0 removes the table.
  ASSERT_TRUE(k->SetCount(kSigTS, 0));
  k->UpdateStatusTable();
  EXPECT_EQ(k->Table(kSigTS), nullptr);
}

TEST(KPStation, EditorRulesKeepValuesInTheirRanges) {
  TKP k;
  EXPECT_FALSE(k.SetCount(kSigTS, 8193));  // refused, not wrapped to 1
  EXPECT_EQ(k.CountOf(kSigTS), 0);
  EXPECT_TRUE(k.SetCount(kSigTS, 8192));
  EXPECT_FALSE(k.SetCount(kSigTS, 65536 + 5));
  EXPECT_EQ(k.CountOf(kSigTS), 8192);
  k.SetAsdu(300);
  EXPECT_EQ(k.asdu, 255);
  k.SetAsdu(0);
  EXPECT_EQ(k.asdu, 1);
  EXPECT_EQ(TKP::MinutesToMs(60000), 35791u * 60000u);
  EXPECT_EQ(TKP::MinutesToMs(100, TKP::kMaxTimeSetMinutes), 24u * 60000u);
  // A file value beyond 31 bits is shown unsigned, not as a negative number.
  EXPECT_EQ(TKP::Minutes(0xFFFFFFFFu), 71582u);
  k.SetGroupType({1, 300, -1}, 9);  // unknown code: nothing changes
  EXPECT_EQ(k.groupTypes[1], 0);
}

TEST(KPPort, LinkRowsAddressCheckAndRenumbering) {
  TKPDoc m;
  TPortKP* port = m.Port();
  TKP* a = port->AddStation();
  a->number = 5;
  a->SetCount(kSigTS, 4);
  a->UpdateStatusTable();
  TKP* b = port->AddStation();
  b->number = 7;
  b->place = "ПС1";
  b->UpdateStatusTable();
  EXPECT_EQ(Defaults(port->LinkTable()), (std::vector<std::string>{"1_Порт.связь_5_КП", "1_Порт.связь_7_КП_ПС1"}));
  EXPECT_FALSE(a->AddressTaken());
  b->number = 5;
  EXPECT_TRUE(b->AddressTaken());
  EXPECT_TRUE(a->AddressTaken());
  b->number = 7;

  a->Table(kSigTS)->At(1)->SetName("1_Порт.5_КП.Ввод");
  port->SetPortNumber(3);
  EXPECT_EQ(a->Table(kSigTS)->At(0)->Name(), "3_Порт.5_КП.Пр1");
  EXPECT_EQ(a->Table(kSigTS)->At(1)->Name(), "3_Порт.5_КП.Ввод");
  EXPECT_EQ(Defaults(port->LinkTable()), (std::vector<std::string>{"3_Порт.связь_5_КП", "3_Порт.связь_7_КП_ПС1"}));
  EXPECT_EQ(port->Caption(), "3_Порт опроса КП");
  EXPECT_EQ(port->deviceCount, 2);
}

TEST(KPPort, RenumberingRebuildsThePortOnce) {
  struct TCountingPort : TPortKP {
    int rebuilds = 0;
    void UpdateStatusTable() override {
      if (!RebuildSuspended()) ++rebuilds;
      TPortKP::UpdateStatusTable();
    }
  };
  TKPDoc m;
  auto made = std::make_unique<TCountingPort>();
  TCountingPort* port = made.get();
  m.d.Tree().Add(m.d.ProcNode(), std::move(made));
  for (int i = 0; i < 4; ++i) port->AddStation()->number = static_cast<std::uint8_t>(i + 1);
  port->rebuilds = 0;
  port->SetPortNumber(9);
  EXPECT_EQ(port->rebuilds, 1);
  for (TPolledDevice* d : port->Devices()) EXPECT_EQ(d->portName, "9_Порт");
}

TEST(KPPort, DuplicateTakesSettingsGroupTypesAndRowNamesUnderItsOwnPrefix) {
  TKPDoc m;
  TPortKP* port = m.Port();
  TKP* src = port->AddStation();
  src->number = 4;
  src->place = "Шкаф";
  src->protocol = TKP::kSirius;
  src->SetCount(kSigTS, 8);
  src->SetGroupType({2}, 1);
  src->replyWait = 1234;
  src->baseTI = 0x4100;
  src->UpdateStatusTable();
  src->Table(kSigTS)->At(2)->SetName("1_Порт.4_КП.Авария");
  src->Table(kSigTI)->At(0)->gain = 2.5f;
  port->DuplicateChild(src);
  ASSERT_EQ(port->Devices().size(), 2u);
  auto* copy = dynamic_cast<TKP*>(port->Devices()[1]);
  EXPECT_EQ(copy->number, 1);  // not the source's address or place
  EXPECT_TRUE(copy->place.empty());
  EXPECT_EQ(copy->replyWait, 1234);
  EXPECT_EQ(copy->baseTI, 0x4100);
  EXPECT_EQ(copy->groupTypes, src->groupTypes);
  ASSERT_NE(copy->Table(kSigTI), nullptr);
  EXPECT_EQ(copy->Table(kSigTI)->Count(), 8);
  EXPECT_EQ(copy->Table(kSigTI)->At(0)->gain, 2.5f);
  EXPECT_EQ(copy->Table(kSigTS)->At(2)->Name(), "1_Порт.1_КП.Авария");
  EXPECT_EQ(copy->Table(kSigTS)->At(3)->Name(), "1_Порт.1_КП.Гр1_Пр4");
  EXPECT_EQ(copy->Table(kSigTS)->At(3)->DefaultName(), "1_Порт.1_КП.Гр1_Пр4");
}

// --- sections written by hand ---------------------------------------------------------------
TEST(KPImage, HandWrittenSectionsReadAndWriteBackIdentical) {
  std::vector<std::uint8_t> groups(256, 0);
  TBytes r = t32test::ProcessorAndIp(2);
  r.Sec(112).Ent(48, {1}).Ent(1, {2}).Ent(20, {2});
  t32test::SourceTable(r, 211, {"2_Порт.связь_5_КП_ПС1", "2_Порт.Связь с КП 6"});
  StationKeys(r, "ПС1", 5, TKP::kIec101, 6, Counts({2, 1, 0, 0, 0, 0}), groups);
  t32test::SourceTable(r, 211, {"2_Порт.5_КП.Пр1", "2_Порт.5_КП.Выключатель"});
  t32test::SourceTable(r, 212, {"2_Порт.5_КП.Пр1"});
  r.End();
  groups[1] = 1;
  StationKeys(r, "", 6, TKP::kSirius, 6, Counts({0, 0, 8, 0, 0, 0}), groups);
  r.End();  // the ТИ table of the image is absent: the station builds its own
  r.End();  // port
  TKPDoc m;
  ASSERT_TRUE(t32test::Read(m.d, r));
  TPortKP* port = m.PortAt(1);
  ASSERT_NE(port, nullptr);
  ASSERT_EQ(port->Devices().size(), 2u);
  auto* a = dynamic_cast<TKP*>(port->Devices()[0]);
  EXPECT_EQ(a->Caption(), "5_КП");
  EXPECT_EQ(a->asdu, 6);
  EXPECT_EQ(a->controlPeriod, 120000u);
  EXPECT_EQ(a->baseTS, 0x2010);
  EXPECT_EQ(Names(a->Table(kSigTS)), (std::vector<std::string>{"2_Порт.5_КП.Пр1", "2_Порт.5_КП.Выключатель"}));
  EXPECT_EQ(Names(port->LinkTable()), (std::vector<std::string>{"2_Порт.связь_5_КП_ПС1", "2_Порт.Связь с КП 6"}));
  EXPECT_EQ(Defaults(port->LinkTable()), (std::vector<std::string>{"2_Порт.связь_5_КП_ПС1", "2_Порт.связь_6_КП"}));
  auto* b = dynamic_cast<TKP*>(port->Devices()[1]);
  EXPECT_EQ(b->Table(kSigTI)->Count(), 8);
  EXPECT_TRUE(m.msgs.errors.empty());

  // Written back: the same port section, but for the ТИ table the second station built.
  std::vector<std::uint8_t> img = t32test::Written(m.d);
  std::vector<std::uint8_t> back = t32test::SectionBytes(img, 112);
  std::vector<std::uint8_t> first = t32test::SectionBytes(r.Image(), 112);
  ASSERT_GT(back.size(), first.size());
  std::vector<std::uint8_t> aBack = t32test::SectionBytes(img, 206);
  std::vector<std::uint8_t> aFirst = t32test::SectionBytes(r.Image(), 206);
  EXPECT_EQ(aBack, aFirst);
  // Save, reopen, save: byte-identical.
  TKPDoc again;
  TBytes raw;
  raw.b.assign(img.begin() + TConfig::kDataStart, img.end());
  ASSERT_TRUE(t32test::Read(again.d, raw));
  EXPECT_EQ(t32test::Written(again.d), img);
}

TEST(KPImage, OddCountEntriesAndVersions) {
  struct Case {
    const char* what;
    std::uint8_t countCount;
    std::vector<std::uint8_t> counts;
    std::uint8_t version;
    std::vector<int> want;  // ТС, ТУ, ТИ, ТИИ, ТР, МТС
    bool newer;
  } cases[] = {
      {"five counts: no МТС", 5, Counts({1, 0, 0, 0, 0}), 1, {1, 0, 0, 0, 0, 0}, false},
      {"key 20 above 6 reads six", 200, Counts({1, 0, 2, 0, 0, 3, 9, 9}), 1, {1, 0, 2, 0, 0, 3}, false},
      {"key 44 shorter than key 20 says", 6, Counts({4, 2}), 1, {4, 2, 0, 0, 0, 0}, false},
      {"newer layout keeps defaults", 6, Counts({1, 1, 1, 1, 1, 1}), 2, {0, 0, 0, 0, 0, 0}, true},
  };
  for (const Case& k : cases) {
    TBytes r = t32test::ProcessorAndIp(2);
    r.Sec(112).Ent(48, {1}).Ent(1, {1}).Ent(20, {1});
    t32test::SourceTable(r, 211, {"1_Порт.связь_5_КП"});
    StationKeys(r, "", 5, TKP::kIec101, k.countCount, k.counts, std::vector<std::uint8_t>(256, 0));
    r.b[r.open.back() + 8 + 8] = k.version;  // key 48's value
    r.End();
    r.End();
    TKPDoc m;
    ASSERT_TRUE(t32test::Read(m.d, r)) << k.what;
    auto* st = dynamic_cast<TKP*>(m.PortAt(1)->Devices().at(0));
    const int types[6] = {kSigTS, kSigTU, kSigTI, kSigTII, kSigTR, kSigMTS};
    for (int i = 0; i < 6; ++i) {
      EXPECT_EQ(st->CountOf(types[i]), k.want[static_cast<std::size_t>(i)]) << k.what << " count " << i;
      EXPECT_EQ(st->Table(types[i]) != nullptr, k.want[static_cast<std::size_t>(i)] > 0) << k.what << " table " << i;
    }
    // A newer layout also brings the note that kept sections are written back unchanged.
    EXPECT_EQ(m.msgs.errors.empty(), !k.newer) << k.what;
    if (k.newer) {
      EXPECT_EQ(m.msgs.errors[0], "Новая версия КП");
      // The newer section is written back as it stood.
      EXPECT_EQ(t32test::SectionBytes(t32test::Written(m.d), 206), t32test::SectionBytes(r.Image(), 206)) << k.what;
    }
  }
}

TEST(KPImage, ShortRecordsGiveCountsGroupTypesAndLegacyNames) {
  struct Case {
    const char* what;
    std::uint8_t pairCount;
    std::vector<std::uint8_t> pairs;  // ТС, ТИ, ТУ, ТР: first group, number of groups
    int ts, ti, tu, tr;
    int tsLegacyAt, tiLegacyAt;  // index of row 0 in the legacy lists, -1: none
  } cases[] = {
      {"first groups 3 and 1", 4, {3, 1, 1, 2, 2, 1, 5, 1}, 8, 16, 8, 8, 16, 0},
      {"more than four pairs read four", 9, {3, 1, 1, 2, 2, 1, 5, 1, 7, 7}, 8, 16, 8, 8, 16, 0},
      {"first group 0: no legacy names", 4, {0, 1, 0, 1, 0, 0, 0, 0}, 8, 0, 0, 0, -1, -1},
      {"ТИ groups end at 255", 4, {0, 0, 250, 20, 0, 0, 0, 0}, 0, 48, 0, 0, -1, 249 * 8},
  };
  for (const Case& k : cases) {
    TBytes r;
    r.SSec(0).SEnt(48, {1}).SEnt(2, {1}).SEnt(3, {3}).SEnd();
    r.SSec(100).SEnt(48, {1}).SEnd();
    r.SSec(112).SEnt(48, {1}).SEnt(1, {2}).SEnt(20, {2}).SEnd();
    r.SSec(206).SEnt(48, {1}).SEnt(1, {4}).SEnt(27, {0}).SEnt(62, {3}).SEnt(57, t32test::Le16(900));
    r.SEnt(20, {k.pairCount}).SEnt(44, k.pairs).SEnt(32, {2}).SEnt(33, {1}).SEnd();
    r.SSec(206).SEnt(48, {1}).SEnt(1, {9}).SEnt(27, {2}).SEnd();
    // The stations stand behind the port's section: the next port is still read as one.
    r.SSec(116).SEnt(48, {1}).SEnt(1, {5}).SEnd();
    TKPDoc m;
    ASSERT_TRUE(m.d.Config().SetImage(r.Image()));
    m.d.ReadRecords(true);
    auto* port = m.PortAt(1);
    ASSERT_NE(port, nullptr) << k.what;
    ASSERT_EQ(port->Devices().size(), 2u) << k.what;
    ASSERT_EQ(m.d.ProcNode()->ChildCount(), 3) << k.what;
    EXPECT_EQ(m.d.ProcNode()->Child(2)->Item()->SectionCode(), 116) << k.what;
    auto* st = dynamic_cast<TKP*>(port->Devices()[0]);
    EXPECT_EQ(st->asdu, 4) << k.what;
    EXPECT_EQ(st->replyWait, 900) << k.what;
    EXPECT_EQ(st->CountOf(kSigTS), k.ts) << k.what;
    EXPECT_EQ(st->CountOf(kSigTI), k.ti) << k.what;
    EXPECT_EQ(st->CountOf(kSigTU), k.tu) << k.what;
    EXPECT_EQ(st->CountOf(kSigTR), k.tr) << k.what;
    EXPECT_EQ(st->CountOf(kSigTII), 0) << k.what;
    const TStorage& s = m.d.Storage();
    if (k.tsLegacyAt >= 0) {
      EXPECT_EQ(s.LegacyName(kSigTS, k.tsLegacyAt), "2_Порт.4_КП.Гр1_Пр1") << k.what;
    } else {
      EXPECT_LE(s.LegacyCount(kSigTS), 10) << k.what;  // only the link row
    }
    if (k.tiLegacyAt >= 0) {
      EXPECT_EQ(s.LegacyName(kSigTI, k.tiLegacyAt), st->Table(kSigTI)->At(0)->DefaultName()) << k.what;
    }
    // keys 32 = 2, 33 = 1: the link row at 9.
    EXPECT_EQ(s.LegacyName(kSigTS, 9), "2_Порт.связь_4_КП") << k.what;
    EXPECT_TRUE(m.msgs.errors.empty()) << k.what;
  }
}

TEST(KPImage, SaveReopenSaveWithBoundPortAndJsonRoundTrip) {
  TKPDoc m;
  auto* board = m.d.Tree().Add(m.d.Tree().Root(), DefaultFactory().Make(9, TItemPlace::Board))->Item();
  dynamic_cast<TBlock*>(board)->SetAddress(2);
  m.d.AfterEdit();
  TPortKP* port = m.Port();
  auto list = port->Interfaces();
  ASSERT_GT(list.size(), 1u);
  port->SelectInterface(list, 1);
  ASSERT_NE(port->boundChannel, nullptr);
  const TKP::TProtocol protocols[3] = {TKP::kSirius, TKP::kVikont, TKP::kIec101};
  for (int i = 0; i < 3; ++i) {
    TKP* k = port->AddStation();
    k->number = static_cast<std::uint8_t>(10 + i);
    k->place = i == 1 ? "Подстанция №2" : "";
    k->protocol = protocols[i];
    k->SetCount(kSigTS, 9);
    k->SetCount(kSigMTS, 2);
    k->SetCount(kSigTR, 1);
    k->SetGroupType({1, 2}, 1);
    k->SetGroupType({7}, 4);
    if (i == 2) k->SetCount(kSigTI, 5);
    k->UpdateStatusTable();
    k->Table(kSigTS)->At(0)->SetName(k->SignalPrefix() + ".Своё имя");
  }
  port->LinkTable()->At(0)->SetName("1_Порт.Связь первая");
  std::vector<std::uint8_t> first = t32test::Written(m.d);
  ASSERT_FALSE(t32test::SectionBytes(first, 112).empty());
  EXPECT_EQ(t32test::EntryAt(first, t32test::FindSectionCode(first, 112), 30), (std::vector<std::uint8_t>{port->boundChannel->number}));

  TKPDoc again;
  TBytes raw;
  raw.b.assign(first.begin() + TConfig::kDataStart, first.end());
  ASSERT_TRUE(t32test::Read(again.d, raw));
  EXPECT_EQ(t32test::Written(again.d), first);
  EXPECT_TRUE(again.msgs.errors.empty());
  TPortKP* p2 = nullptr;
  for (int i = 0; i < again.d.ProcNode()->ChildCount() && !p2; ++i) p2 = dynamic_cast<TPortKP*>(again.d.ProcNode()->Child(i)->Item());
  ASSERT_NE(p2, nullptr);
  EXPECT_NE(p2->boundChannel, nullptr);

  std::string json = ExportJson(m.d, TCpu::Cpu927);
  EXPECT_NE(json.find("\"id\": \"counts\""), std::string::npos);
  EXPECT_NE(json.find("\"u16s\": [\n"), std::string::npos);
  EXPECT_NE(json.find("\"id\": \"groupTypes\""), std::string::npos);
  TKPDoc third;
  TCpu cpu{};
  std::string err;
  ASSERT_TRUE(ImportJson(third.d, json, &cpu, &err)) << err;
  third.d.extendedFormat = m.d.extendedFormat;
  EXPECT_EQ(t32test::Written(third.d), first);
  std::string dump = m.d.Dump();
  EXPECT_NE(dump.find("groupTypes"), std::string::npos);
}

TEST(KPPort, StationMovedToAnotherPortTakesItsPrefix) {
  TKPDoc m;
  TPortKP* a = m.Port();
  TPortKP* b = m.Port();
  ASSERT_EQ(b->number, 2);
  TKP* k = a->AddStation();
  k->number = 4;
  k->SetCount(kSigTS, 2);
  k->UpdateStatusTable();
  k->Table(kSigTS)->At(1)->SetName("1_Порт.4_КП.Своё");
  b->AddStation();
  m.d.Tree().Move(k->node, b->node, b->node->ChildCount());
  a->RecountChildren();
  b->RecountChildren();
  EXPECT_EQ(k->portName, "2_Порт");
  EXPECT_EQ(k->Table(kSigTS)->At(0)->Name(), "2_Порт.4_КП.Пр1");
  EXPECT_EQ(k->Table(kSigTS)->At(1)->Name(), "2_Порт.4_КП.Своё");
  EXPECT_EQ(a->LinkTable(), nullptr);
  EXPECT_EQ(a->deviceCount, 0);
  EXPECT_EQ(Defaults(b->LinkTable()), (std::vector<std::string>{"2_Порт.связь_1_КП", "2_Порт.связь_4_КП"}));
  EXPECT_EQ(b->deviceCount, 2);
}
