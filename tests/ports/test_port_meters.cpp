// Meter ports (СС-301, CE-303, CE-318) and the ЦП8500 converter port: the rows each quantity
// adds, the energy option, the 32-bit CE-318 address, sections written by hand (long and
// short), the converter's table rules, save/reopen/save.
#include <gtest/gtest.h>

#include "model/document.h"
#include "model/messages.h"
#include "model/params.h"
#include "model/signal_holders.h"
#include "model/storage.h"
#include "ports/image_sections.h"
#include "ports/port_menu.h"
#include "ports/port_meters.h"
#include "ports/port_mkt3.h"
#include "ports/register.h"
#include "project/json.h"

using namespace t32;
using t32test::TBytes;

namespace {

struct TMeterDoc {
  TRecordedMessages msgs;
  TDocument d{&msgs, &PortsFactory()};
  template <class P>
  P* Add(int tag) {
    return dynamic_cast<P*>(AddPortFromMenu(d, tag)->Item());
  }
  template <class P>
  P* At(int i) {
    return dynamic_cast<P*>(d.ProcNode()->Child(i)->Item());
  }
};

std::vector<std::string> Suffixes(const TParams* t) {
  std::vector<std::string> out;
  for (int i = 0; t && i < t->Count(); ++i) out.push_back(t->At(i)->DefaultSuffix());
  return out;
}

std::vector<std::uint8_t> Bits(std::initializer_list<int> bits) {
  std::vector<std::uint8_t> b(32, 0);
  for (int i : bits) b[static_cast<std::size_t>(i / 8)] |= static_cast<std::uint8_t>(1u << (i % 8));
  return b;
}

}  // namespace

// --- rows of the quantities -------------------------------------------------------------------
TEST(Meters, EachQuantityAddsItsRows) {
  struct Case {
    int tag;
    int bit;
    std::vector<std::string> ti, tii;
  } cases[] = {
      {106, 0, {"Напряжение_А", "Напряжение_B", "Напряжение_C"}, {}},
      {106, 3, {"Мощность_Мгнов_Акт_полная", "Мощность_Мгнов_Акт_А", "Мощность_Мгнов_Акт_B", "Мощность_Мгнов_Акт_C"}, {}},
      {106, 5, {"Мощность_Средн_Акт_Полож", "Мощность_Средн_Акт_Отриц", "Мощность_Средн_Реакт_Полож", "Мощность_Средн_Реакт_Отриц"}, {}},
      {106, 8, {}, {"Энергия_Прошл_сутки_Акт_Полож", "Энергия_Прошл_сутки_Акт_Отриц", "Энергия_Прошл_сутки_Реакт_Полож", "Энергия_Прошл_сутки_Реакт_Отриц"}},
      {118, 3, {"Мощность_Мгнов_Акт_Полная"}, {}},
      {118, 6, {"Мощность_Мгнов_Реакт_А", "Мощность_Мгнов_Реакт_B", "Мощность_Мгнов_Реакт_C"}, {}},
      {118, 10, {}, {"Энергия_Сумм_Реакт_Отриц"}},
      {135, 2, {"Частота"}, {}},
      {135, 9, {}, {"Энергия_Сумм_Акт_Отриц"}},
      {135, 11, {}, {}},  // beyond the list: kept, builds nothing
  };
  for (const Case& k : cases) {
    TMeterDoc m;
    auto* port = m.Add<TMeterPort>(k.tag);
    TMeter* meter = port->AddMeter();
    meter->SetQuantity(k.bit, true);
    meter->UpdateStatusTable();
    EXPECT_EQ(Suffixes(meter->Table(kSigTI)), k.ti) << k.tag << " bit " << k.bit;
    EXPECT_EQ(Suffixes(meter->Table(kSigTII)), k.tii) << k.tag << " bit " << k.bit;
    EXPECT_TRUE(meter->quantities.test(static_cast<std::size_t>(k.bit)));
  }
}

TEST(Meters, ListTextsAndHeadings) {
  TCC301 cc;
  TCE303 ce3;
  TCE318 ce8;
  ASSERT_EQ(cc.Quantities().size(), 9u);
  ASSERT_EQ(ce3.Quantities().size(), 11u);
  ASSERT_EQ(ce8.Quantities().size(), 11u);
  EXPECT_STREQ(cc.Quantities()[0].item, "Напряжение ( фазы А, В, С )");
  EXPECT_STREQ(ce3.Quantities()[5].item, "Мощность мгновенная реактивная суммарная  (CE303)");
  EXPECT_STREQ(ce8.Quantities()[5].item, "Мощность мгновенная реактивная суммарная");
  for (std::size_t i = 0; i < ce8.Quantities().size(); ++i) {
    EXPECT_EQ(std::string(ce8.Quantities()[i].item).find("CE303"), std::string::npos);
    EXPECT_EQ(ce8.Quantities()[i].rows, ce3.Quantities()[i].rows);
  }
  // "Cчётчик" starts with a Latin C; the phase suffixes are Cyrillic А with Latin B and C.
  EXPECT_EQ(std::string(cc.Heading()).substr(0, 1), "C");
  EXPECT_EQ(std::string(ce3.Heading()), "C\xD1\x87\xD1\x91\xD1\x82\xD1\x87\xD0\xB8\xD0\xBA CE-303 / 301");
  EXPECT_EQ(std::string(cc.Quantities()[0].rows[0]), "Напряжение_\xD0\x90");
  EXPECT_EQ(std::string(cc.Quantities()[0].rows[1]), "Напряжение_B");
}

TEST(Meters, CC301EnergyAsTIMovesTheEnergyRows) {
  TMeterDoc m;
  auto* port = m.Add<TPortCC301>(106);
  port->SetPortNumber(2);
  auto* meter = dynamic_cast<TCC301*>(port->AddMeter());
  meter->SetAddress(7);
  meter->SetQuantity(0, true);
  meter->SetQuantity(6, true);
  meter->UpdateStatusTable();
  EXPECT_EQ(meter->Table(kSigTI)->Count(), 3);
  EXPECT_EQ(meter->Table(kSigTII)->Count(), 4);
  EXPECT_EQ(meter->Table(kSigTI)->At(0)->DefaultName(), "2_Порт.7_CC301.Напряжение_А");
  meter->energyAs = 1;
  meter->UpdateStatusTable();
  EXPECT_EQ(meter->Table(kSigTI)->Count(), 7);
  EXPECT_EQ(meter->Table(kSigTII), nullptr);
  EXPECT_EQ(meter->Table(kSigTI)->At(3)->DefaultSuffix(), "Энергия_Сумм_Акт_Полож");
  EXPECT_EQ(port->LinkTable()->At(0)->DefaultName(), "2_Порт.связь_7_CC301");
}

TEST(Meters, AddressesAndTheSameAddressCheck) {
  TMeterDoc m;
  auto* port = m.Add<TPortCE318>(135);
  auto* a = dynamic_cast<TCE318*>(port->AddMeter());
  a->SetAddress(123456);
  a->place = "ТП-4";
  a->UpdateStatusTable();
  EXPECT_EQ(a->Caption(), "123456_CE318");
  EXPECT_EQ(port->LinkTable()->At(0)->DefaultName(), "1_Порт.связь_123456_CE318_ТП-4");
  auto* b = dynamic_cast<TCE318*>(port->AddMeter());
  EXPECT_FALSE(b->AddressTaken());
  b->SetAddress(123456);
  EXPECT_TRUE(b->AddressTaken());
  // Same low byte, other address: not the same meter.
  b->SetAddress(123456 + 256);
  EXPECT_FALSE(b->AddressTaken());
  std::vector<std::uint8_t> img = t32test::Written(m.d);
  std::size_t at = t32test::FindSectionCode(img, 233);
  EXPECT_EQ(t32test::EntryAt(img, at, 1), t32test::Le32(123456));

  auto* cc = m.Add<TPortCC301>(106)->AddMeter();
  cc->SetAddress(300);
  EXPECT_EQ(cc->number, 255);
}

// --- image ------------------------------------------------------------------------------------
TEST(MeterImage, HandWrittenPortsReadAndWriteBackIdentical) {
  TBytes r = t32test::ProcessorAndIp(3);
  r.Sec(106).Ent(48, {1}).Ent(1, {2}).Ent(31, {15}).Ent(20, {1});
  t32test::SourceTable(r, 211, {"2_Порт.связь_7_CC301_Щит"});
  // Bit 200 is beyond the list: kept, and it builds no table.
  r.Sec(216).Ent(48, {1}).Ent(77, t32test::NameField("Щит")).Ent(1, {7}).Ent(62, {3}).Ent(44, Bits({200})).Ent(8, {1}).Ent(73, {1});
  r.End().End();
  r.Sec(135).Ent(48, {1}).Ent(1, {3}).Ent(31, {3}).Ent(20, {1});
  t32test::SourceTable(r, 211, {"3_Порт.связь_70000_CE318"});
  r.Sec(233).Ent(48, {1}).Ent(77, t32test::NameField("")).Ent(1, t32test::Le32(70000)).Ent(62, {0}).Ent(44, Bits({})).End();
  r.End();
  TMeterDoc m;
  ASSERT_TRUE(t32test::Read(m.d, r));
  auto* cc = m.At<TPortCC301>(1);
  auto* ce = m.At<TPortCE318>(2);
  ASSERT_NE(cc, nullptr);
  ASSERT_NE(ce, nullptr);
  EXPECT_EQ(cc->pollPeriod, 15);
  auto* meter = dynamic_cast<TCC301*>(cc->Devices().at(0));
  EXPECT_EQ(meter->ratio, 1);
  EXPECT_TRUE(meter->quantities.test(200));
  EXPECT_EQ(meter->Table(kSigTI), nullptr);
  EXPECT_EQ(meter->retries, 3);
  EXPECT_EQ(dynamic_cast<TCE318*>(ce->Devices().at(0))->address, 70000u);
  EXPECT_TRUE(m.msgs.errors.empty());
  std::vector<std::uint8_t> img = t32test::Written(m.d);
  EXPECT_EQ(t32test::SectionBytes(img, 216), t32test::SectionBytes(r.Image(), 216));
  EXPECT_EQ(t32test::SectionBytes(img, 135), t32test::SectionBytes(r.Image(), 135));
  // Reopened and written again: the same bytes.
  TMeterDoc again;
  TBytes raw;
  raw.b.assign(img.begin() + TConfig::kDataStart, img.end());
  ASSERT_TRUE(t32test::Read(again.d, raw));
  EXPECT_EQ(t32test::Written(again.d), img);
}

TEST(MeterImage, ShortRecordsOfBothVersions) {
  struct Case {
    const char* what;
    std::uint8_t version;
    int port;
    std::vector<std::uint8_t> records;
    std::vector<std::uint32_t> addresses;
    std::vector<std::size_t> tiRows;
    std::size_t messages;
  } cases[] = {
      {"version 1: all six groups", 1, 106, {}, {1, 2}, {15, 15}, 0},
      {"version 2 records", 2, 118, {5, 0, 2, 1, 3, 0, 0, 0, 0, 0, 0, 9, 0, 4, 4, 0, 0, 0, 0, 0, 0, 0}, {5, 9}, {4, 4}, 0},
      {"version 2: address above 255", 2, 106, {0x2C, 0x01, 1, 2, 0, 0, 0, 0, 0, 0, 0, 7, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0}, {1, 7}, {3, 3}, 1},
      {"version 2: CE-318 keeps 16 bits", 2, 135, {0x2C, 0x01, 1, 1, 0, 0, 0, 0, 0, 0, 0, 7, 0, 0, 6, 0, 0, 0, 0, 0, 0, 0}, {300, 7}, {3, 0}, 0},
      {"version 3: newer", 3, 106, {}, {}, {}, 1},
  };
  for (const Case& k : cases) {
    TBytes r;
    r.SSec(0).SEnt(48, {1}).SEnt(2, {1}).SEnt(3, {2}).SEnd();
    r.SSec(100).SEnt(48, {1}).SEnd();
    r.SSec(static_cast<std::uint8_t>(k.port)).SEnt(48, {k.version}).SEnt(1, {4}).SEnt(31, {10}).SEnt(20, {2}).SEnt(11, {3});
    if (!k.records.empty()) r.SEnt(44, k.records);
    r.SEnd();
    TMeterDoc m;
    ASSERT_TRUE(m.d.Config().SetImage(r.Image()));
    m.d.ReadRecords(true);
    auto* port = m.At<TMeterPort>(1);
    ASSERT_NE(port, nullptr) << k.what;
    EXPECT_EQ(m.msgs.errors.size(), k.messages) << k.what;
    ASSERT_EQ(port->Devices().size(), k.addresses.size()) << k.what;
    for (std::size_t i = 0; i < k.addresses.size(); ++i) {
      auto* mt = dynamic_cast<TMeter*>(port->Devices()[i]);
      EXPECT_EQ(mt->Address(), k.addresses[i]) << k.what << " meter " << i;
      TParams* ti = mt->Table(kSigTI);
      EXPECT_EQ(ti ? static_cast<std::size_t>(ti->Count()) : 0u, k.tiRows[i]) << k.what << " meter " << i;
    }
    if (k.version == 1) {
      // One base for the port: the meters' ТИ rows follow each other from group 3.
      auto* second = dynamic_cast<TMeter*>(port->Devices()[1]);
      EXPECT_EQ(m.d.Storage().LegacyName(kSigTI, 16 + 15), second->Table(kSigTI)->At(0)->DefaultName());
    }
    if (k.port == 118) {
      auto* first = dynamic_cast<TMeter*>(port->Devices()[0]);
      EXPECT_EQ(m.d.Storage().LegacyName(kSigTI, 8), first->Table(kSigTI)->At(0)->DefaultName());
    }
    if (k.messages == 1 && k.version == 2) {
      EXPECT_NE(m.msgs.errors[0].find("CC301"), std::string::npos) << m.msgs.errors[0];
    }
  }
}

// --- the converter port ---------------------------------------------------------------------
TEST(CP8500, EntriesBuildBothTablesAndBadRowsAreRefused) {
  TMeterDoc m;
  auto* port = m.Add<TPortCP8500>(116);
  ASSERT_TRUE(port->StoreRows({{"12", "3"}, {"", "4"}, {"40000", ""}}));
  ASSERT_EQ(port->entries.size(), 2u);
  EXPECT_EQ(port->entries[1].parameter, 1);
  EXPECT_EQ(port->Table(kSigTI)->At(0)->DefaultName(), "1_Порт.12.Пр3");
  EXPECT_EQ(port->Table(kSigTS)->At(0)->DefaultName(), "1_Порт.связь.12.Пр3");
  EXPECT_EQ(port->Table(kSigTI)->At(0)->valueWidth, 4);
  EXPECT_EQ(m.d.ProcNode()->Child(1)->Child(0)->Item(), port->Table(kSigTS));

  struct Bad {
    std::vector<std::pair<std::string, std::string>> rows;
  } bad[] = {{{{"70000", "1"}}}, {{{"1.2", "1"}}}, {{{"5", "300"}}}, {{{"5", "2"}, {"5", "2"}}}};
  for (const Bad& b : bad) {
    m.msgs.errors.clear();
    EXPECT_FALSE(port->StoreRows(b.rows));
    EXPECT_EQ(m.msgs.errors.size(), 1u);
    EXPECT_EQ(port->entries.size(), 2u);  // nothing changed
  }
  std::vector<std::pair<std::string, std::string>> many;
  for (int i = 0; i < 66; ++i) many.push_back({std::to_string(i + 1), "1"});
  EXPECT_FALSE(port->StoreRows(many));
  many.pop_back();
  EXPECT_TRUE(port->StoreRows(many));
  EXPECT_EQ(port->Table(kSigTI)->Count(), 65);
  EXPECT_TRUE(port->StoreRows({}));
  EXPECT_EQ(port->Table(kSigTI), nullptr);
  EXPECT_EQ(port->Table(kSigTS), nullptr);
}

TEST(CP8500, SectionsLongAndShort) {
  // Long: 70 entries announced, 70 present: 65 kept with a message; written back as 65.
  std::vector<std::uint8_t> entries;
  for (int i = 0; i < 70; ++i) entries.insert(entries.end(), {static_cast<std::uint8_t>(i + 1), 0, 2});
  TBytes r = t32test::ProcessorAndIp(2);
  r.Sec(116).Ent(48, {1}).Ent(1, {3}).Ent(20, {70}).Ent(44, entries).End();
  TMeterDoc m;
  ASSERT_TRUE(t32test::Read(m.d, r));
  auto* port = m.At<TPortCP8500>(1);
  ASSERT_NE(port, nullptr);
  EXPECT_EQ(port->entries.size(), 65u);
  ASSERT_EQ(m.msgs.errors.size(), 1u);
  std::vector<std::uint8_t> img = t32test::Written(m.d);
  std::size_t at = t32test::FindSectionCode(img, 116);
  EXPECT_EQ(t32test::EntryAt(img, at, 20), (std::vector<std::uint8_t>{65}));
  EXPECT_EQ(t32test::EntryAt(img, at, 44).size(), 65u * 3);
  TMeterDoc again;
  TBytes raw;
  raw.b.assign(img.begin() + TConfig::kDataStart, img.end());
  ASSERT_TRUE(t32test::Read(again.d, raw));
  EXPECT_EQ(t32test::Written(again.d), img);

  // Short: base 2, entry 2 without a parameter gets no legacy name; key 44 shorter than
  // announced reads what is there.
  TBytes s;
  s.SSec(0).SEnt(48, {1}).SEnt(2, {1}).SEnt(3, {2}).SEnd();
  s.SSec(100).SEnt(48, {1}).SEnd();
  s.SSec(116).SEnt(48, {1}).SEnt(1, {4}).SEnt(11, {2}).SEnt(20, {3}).SEnt(44, {12, 0, 3, 13, 0, 0, 14, 0, 5}).SEnd();
  TMeterDoc sm;
  ASSERT_TRUE(sm.d.Config().SetImage(s.Image()));
  sm.d.ReadRecords(true);
  auto* sp = sm.At<TPortCP8500>(1);
  ASSERT_NE(sp, nullptr);
  ASSERT_EQ(sp->entries.size(), 3u);
  const TStorage& st = sm.d.Storage();
  EXPECT_EQ(st.LegacyName(kSigTI, 8), "4_Порт.12.Пр3");
  EXPECT_TRUE(st.LegacyName(kSigTI, 10).empty());
  EXPECT_EQ(st.LegacyName(kSigTI, 12), "4_Порт.14.Пр5");
}

TEST(MeterImage, SaveReopenSaveAndJsonOfEveryNewPort) {
  TMeterDoc m;
  for (int tag : {106, 118, 135}) {
    auto* p = m.Add<TMeterPort>(tag);
    TMeter* a = p->AddMeter();
    a->SetAddress(3);
    a->SetQuantity(0, true);
    a->SetQuantity(7, true);
    a->UpdateStatusTable();
    TMeter* b = p->AddMeter();
    b->SetAddress(4);
    b->place = "Ввод 2";
    b->SetQuantity(1, true);
    b->UpdateStatusTable();
  }
  m.Add<TPortCP8500>(116)->StoreRows({{"12", "3"}, {"9", ""}});
  // The JSON form is written for CPU-927: output rows by storage index.
  m.d.extendedFormat = true;
  auto* mkt = m.Add<TPortMKT3>(103);
  m.d.AfterEdit();
  mkt->Table(kSigTI)->AddFromList(m.d.Storage().List(kSigTI), true);
  mkt->SetChannelType({3}, 0x81);
  std::vector<std::uint8_t> first = t32test::Written(m.d);
  TMeterDoc again;
  again.d.extendedFormat = true;
  TBytes raw;
  raw.b.assign(first.begin() + TConfig::kDataStart, first.end());
  ASSERT_TRUE(t32test::Read(again.d, raw));
  EXPECT_EQ(t32test::Written(again.d), first);
  std::string json = ExportJson(m.d, TCpu::Cpu927);
  EXPECT_NE(json.find("\"id\": \"quantities\""), std::string::npos);
  EXPECT_NE(json.find("\"id\": \"pollPeriod\""), std::string::npos);
  const std::size_t types = json.find("\"id\": \"channelTypes\"");
  ASSERT_NE(types, std::string::npos);
  EXPECT_NE(json.substr(types, 60).find("\"u8s\""), std::string::npos);  // a list of numbers
  TMeterDoc third;
  TCpu cpu{};
  std::string err;
  ASSERT_TRUE(ImportJson(third.d, json, &cpu, &err)) << err;
  third.d.extendedFormat = m.d.extendedFormat;
  EXPECT_EQ(t32test::Written(third.d), first);
  EXPECT_TRUE(m.msgs.errors.empty());
}

// --- the МКТ-3 output port -------------------------------------------------------------------
TEST(MKT3, GroupsAddressesAndTheImage) {
  TMeterDoc m;
  // 70 ТИ and 70 ТС source rows from two converter ports.
  std::vector<std::pair<std::string, std::string>> rows;
  for (int i = 0; i < 70; ++i) rows.push_back({std::to_string(i / 10 + 1), std::to_string(i % 10 + 1)});
  auto* cp = m.Add<TPortCP8500>(116);
  ASSERT_FALSE(cp->StoreRows(rows));  // 70 entries are more than one converter port holds
  rows.resize(65);
  ASSERT_TRUE(cp->StoreRows(rows));
  auto* cp2 = m.Add<TPortCP8500>(116);
  ASSERT_TRUE(cp2->StoreRows({{"90", "1"}, {"90", "2"}, {"90", "3"}, {"90", "4"}, {"90", "5"}}));
  auto* port = m.Add<TPortMKT3>(103);
  EXPECT_EQ(port->Caption(), "3_Порт MKT-3");
  EXPECT_EQ(port->interfaces, kIfModem);
  ASSERT_EQ(port->node->ChildCount(), 3);
  const TStorage& st = m.d.Storage();
  ASSERT_EQ(st.List(kSigTI).Count(), 70);
  port->Table(kSigTI)->AddFromList(st.List(kSigTI), true);
  for (int i = 0; i < 9; ++i) {
    m.d.Storage().List(kSigTS).At(i)->selected = true;
  }
  port->Table(kSigTS)->AddFromList(st.List(kSigTS), false);
  ASSERT_EQ(port->Table(kSigTS)->Count(), 9);
  bool tsLimited = true, tiLimited = false;
  port->CountGroups(&tsLimited, &tiLimited);
  EXPECT_EQ(port->tsGroups, 2);
  EXPECT_EQ(port->tiGroups, 8);
  EXPECT_FALSE(tsLimited);
  EXPECT_TRUE(tiLimited);
  EXPECT_EQ(port->SignalAddressText(0, kSigTI), "Гр1 Пр1");
  EXPECT_EQ(port->SignalAddressText(63, kSigTI), "Гр8 Пр8");
  for (int row = 64; row < 70; ++row) EXPECT_EQ(port->SignalAddressText(row, kSigTI), " ОШИБКА ") << row;
  EXPECT_EQ(port->SignalAddressText(64, kSigTU), " ОШИБКА ");
  EXPECT_EQ(port->SignalAddressText(511, kSigTS), "Гр64 Пр8");
  EXPECT_EQ(port->SignalAddressText(512, kSigTS), " ОШИБКА ");

  port->SetChannelType({0, 9}, 0x82);
  port->SetChannelType({1}, 3);  // not a type the menu offers
  EXPECT_EQ(port->channelTypes[9], 0x82);
  EXPECT_EQ(port->channelTypes[1], 1);
  ASSERT_NE(TPortMKT3::ChannelType(0x82), nullptr);
  EXPECT_STREQ(TPortMKT3::ChannelType(0x82)->cell, "±Дп 2x");
  port->place = "ДП";

  std::vector<std::uint8_t> img = t32test::Written(m.d);
  std::size_t at = t32test::FindSectionCode(img, 103);
  EXPECT_EQ(t32test::EntryAt(img, at, 13), (std::vector<std::uint8_t>{2}));
  EXPECT_EQ(t32test::EntryAt(img, at, 14), (std::vector<std::uint8_t>{8}));
  EXPECT_EQ(t32test::EntryAt(img, at, 46).size(), 64u);
  EXPECT_TRUE(t32test::EntryAt(img, at, 30).empty());  // not bound
  TMeterDoc again;
  TBytes raw;
  raw.b.assign(img.begin() + TConfig::kDataStart, img.end());
  ASSERT_TRUE(t32test::Read(again.d, raw));
  EXPECT_EQ(t32test::Written(again.d), img);
  auto* back = again.At<TPortMKT3>(3);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->place, "ДП");
  EXPECT_EQ(back->Table(kSigTI)->Count(), 70);
  EXPECT_EQ(back->Table(kSigTI)->Ref(5), again.d.Storage().List(kSigTI).Ref(5));
}

TEST(MKT3, ShortImageReadsItsKeysAndTakesTheLegacyNames) {
  // A converter port fills the legacy ТИ list; the МКТ-3 port has no rows of its own in an old
  // image and takes them from there after loading.
  TBytes r;
  r.SSec(0).SEnt(48, {1}).SEnt(2, {1}).SEnt(3, {3}).SEnd();
  r.SSec(100).SEnt(48, {1}).SEnd();
  r.SSec(116).SEnt(48, {1}).SEnt(1, {4}).SEnt(11, {1}).SEnt(20, {2}).SEnt(44, {12, 0, 3, 13, 0, 1}).SEnd();
  r.SSec(103).SEnt(48, {1}).SEnt(1, {5}).SEnt(13, {1}).SEnt(14, {1}).SEnt(46, std::vector<std::uint8_t>(64, 0x81)).SEnd();
  TMeterDoc m;
  ASSERT_TRUE(m.d.Config().SetImage(r.Image()));
  m.d.ReadRecords(true);
  auto* port = m.At<TPortMKT3>(2);
  ASSERT_NE(port, nullptr);
  EXPECT_EQ(port->number, 5);
  EXPECT_EQ(port->channelTypes[63], 0x81);
  TParams* ti = port->Table(kSigTI);
  ASSERT_NE(ti, nullptr);
  ASSERT_GE(ti->Count(), 3);
  EXPECT_EQ(ti->At(0)->Name(), "4_Порт.12.Пр3");
  EXPECT_EQ(ti->At(2)->Name(), "4_Порт.13.Пр1");
}
