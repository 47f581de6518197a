// The IEC 104 polling port: hand-made sections 128/224 byte by byte, the signals a device builds
// from the ticked objects of its station (kinds, names, table order, long names, the row
// limit), save and reopen, duplication and damaged stations kept as they stood.
#include <gtest/gtest.h>

#include <algorithm>

#include "iec104/station.h"
#include "model/document.h"
#include "model/messages.h"
#include "model/params.h"
#include "ports/image_sections.h"
#include "ports/port_menu.h"
#include "ports/port_rtu104.h"
#include "ports/register.h"

using namespace t32;
using namespace t32test;

namespace {

std::vector<std::string> Names(const TParams* t) {
  std::vector<std::string> out;
  for (int i = 0; t && i < t->Count(); ++i) out.push_back(t->At(i)->Name());
  return out;
}
std::vector<int> ChildKinds(const TItem* dev) {
  std::vector<int> out;
  for (TItem* c : dev->ChildItems())
    if (auto* t = dynamic_cast<TParams*>(c)) out.push_back(t->Type());
  return out;
}

TGroup* AddGroup(TWS_104& st, TConfigItem& parent, const std::string& name, std::int32_t kind) {
  auto g = std::make_unique<TGroup>();
  g->name = name;
  g->record.kind = kind;
  return st.AppendGroup(parent, std::move(g));
}
TPProcItem* AddObject(TGroup& g, const std::string& name, bool ticked = true) {
  auto o = CreateObject(g.record.kind, name);
  o->tick = ticked ? 1 : 0;
  return g.AddObject(std::move(o));
}

// Station of the first device: 10.0.0.7, "Подстанция", a ТС group with Q1.ready ticked twice
// (one path twice), an unticked object, a ТИ group.
std::vector<std::uint8_t> StationA() {
  TWS_104 st;
  st.name = "Подстанция";
  st.main.remoteIp = {10, 0, 0, 7};
  st.settings.commonAddress = 12;
  TGroup* in = AddGroup(st, st, "Входы", kKindTS);
  AddObject(*in, "Q1.ready");
  AddObject(*in, "Q1.ready");
  AddObject(*in, "Q2", false);
  TGroup* ti = AddGroup(st, st, "Изм", kKindTI);
  AddObject(*ti, "U");
  return st.Serialise();
}
std::vector<std::uint8_t> StationB() {
  TWS_104 st;
  st.name = "Резерв";
  st.main.remoteIp = {192, 168, 1, 8};
  return st.Serialise();
}

void NamedTable(TBytes& r, int code, int countKey, const std::vector<std::string>& names, bool ti = false) {
  std::vector<std::uint8_t> field;
  for (const auto& n : names) {
    auto f = NameField(n);
    field.insert(field.end(), f.begin(), f.end());
  }
  r.Sec(static_cast<std::uint16_t>(code)).Ent(48, {1}).Ent(static_cast<std::uint16_t>(countKey),
                                                             Le16(static_cast<std::uint16_t>(names.size())));
  r.Ent(41, field);
  if (code == 211) r.Ent(78, std::vector<std::uint8_t>(names.size(), 0));
  if (ti) r.Ent(46, std::vector<std::uint8_t>(names.size(), 0));
  r.End();
}

void Device(TBytes& r, const std::vector<std::uint8_t>& station) {
  r.Sec(224).Ent(48, {1}).Ent(60, Le32(static_cast<std::uint32_t>(station.size()))).Ent(102, station);
}

// Processor, IP port, then the IEC 104 port with the two devices written from the key tables.
TBytes Fixture() {
  TBytes r = ProcessorAndIp(2);
  r.Sec(128).Ent(48, {1}).Ent(1, {1}).Ent(72, {1}).Ent(20, {2});
  SourceTable(r, 211, {"1_Порт.связь_7_RTU_Подстанция", "1_Порт.связь_8_RTU_Резерв"});
  Device(r, StationA());
  NamedTable(r, 211, 13, {"1_Порт.7_RTU.Входы_Q1_ready", "1_Порт.7_RTU.Входы_Q1_ready_повтор1"});
  NamedTable(r, 213, 14, {"1_Порт.7_RTU.Изм_U"}, true);
  NamedTable(r, 215, 74, {"1_Порт.7_RTU.опрос"});
  NamedTable(r, 219, 99, {"1_Порт.7_RTU.состояние связи"});
  r.End();
  Device(r, StationB());
  NamedTable(r, 215, 74, {"1_Порт.8_RTU.опрос"});
  NamedTable(r, 219, 99, {"1_Порт.8_RTU.состояние связи"});
  r.End();
  r.End();
  return r;
}

struct TDoc104 {
  TRecordedMessages msgs;
  TDocument d{&msgs, &PortsFactory()};
  TPortRTU104* Port(int child = 1) { return dynamic_cast<TPortRTU104*>(d.ProcNode()->Child(child)->Item()); }
  TPortRTU104* Add() { return dynamic_cast<TPortRTU104*>(AddPortFromMenu(d, 128)->Item()); }
};

}  // namespace

TEST(Rtu104, HandMadeSectionReadsIntoTreeAndWritesBackIdentical) {
  TBytes r = Fixture();
  TDoc104 t;
  ASSERT_TRUE(Read(t.d, r));
  TPortRTU104* p = t.Port();
  ASSERT_TRUE(p);
  EXPECT_EQ(p->number, 1);
  auto devs = p->Devices();
  ASSERT_EQ(devs.size(), 2u);
  auto* a = dynamic_cast<TRTU104*>(devs[0]);
  auto* b = dynamic_cast<TRTU104*>(devs[1]);
  ASSERT_TRUE(a && b);
  EXPECT_EQ(a->Caption(), "7_RTU");
  EXPECT_EQ(a->place, "Подстанция");
  EXPECT_EQ(a->Station().settings.commonAddress, 12);
  EXPECT_EQ(b->Caption(), "8_RTU");
  EXPECT_EQ(ChildKinds(a), (std::vector<int>{kSigTS, kSigTI, kSigMTS, kSigTR}));
  EXPECT_EQ(ChildKinds(b), (std::vector<int>{kSigMTS, kSigTR}));
  EXPECT_EQ(Names(a->Table(kSigTS)),
            (std::vector<std::string>{"1_Порт.7_RTU.Входы_Q1_ready", "1_Порт.7_RTU.Входы_Q1_ready_повтор1"}));
  EXPECT_EQ(a->Table(kSigTI)->At(0)->valueWidth, 4);
  EXPECT_EQ(Names(p->LinkTable()), (std::vector<std::string>{"1_Порт.связь_7_RTU_Подстанция", "1_Порт.связь_8_RTU_Резерв"}));
  EXPECT_EQ(a->node->image, 28);
  EXPECT_EQ(p->node->image, 2);
  EXPECT_TRUE(t.msgs.errors.empty()) << t.msgs.errors.front();

  auto img = Written(t.d);
  EXPECT_EQ(SectionBytes(img, 128), SectionBytes(r.Image(), 128));
}

TEST(Rtu104, NewDeviceSignalsOrderAndRenaming) {
  TDoc104 t;
  TPortRTU104* p = t.Add();
  ASSERT_TRUE(p);
  EXPECT_EQ(p->netMask, 1);
  EXPECT_TRUE(p->BoundToProcessor());
  p->AddChildren(0);
  auto* dev = dynamic_cast<TRTU104*>(p->Devices().at(0));
  ASSERT_TRUE(dev);
  EXPECT_EQ(dev->Caption(), "0_RTU");
  EXPECT_EQ(ChildKinds(dev), (std::vector<int>{kSigMTS, kSigTR}));
  EXPECT_EQ(Names(dev->Table(kSigMTS)), (std::vector<std::string>{"1_Порт.0_RTU.состояние связи"}));
  EXPECT_EQ(Names(dev->Table(kSigTR)), (std::vector<std::string>{"1_Порт.0_RTU.опрос"}));
  EXPECT_EQ(dev->node->image, 28);
  ASSERT_TRUE(p->LinkTable());

  TWS_104& st = dev->Station();
  TGroup* in = AddGroup(st, st, "Входы", kKindTS);
  AddObject(*in, "Q1.ready");
  AddObject(*in, "Q1.ready");
  TGroup* cmd = AddGroup(st, st, "Ком", kKindTU1);
  AddObject(*cmd, "Вкл");
  TGroup* cnt = AddGroup(st, st, "Сч", kKindCounter);
  AddObject(*cnt, "W");
  TGroup* files = AddGroup(st, st, "Ф", kKindFile);
  AddObject(*files, "f");  // no signal
  dev->StationEdited();
  EXPECT_EQ(ChildKinds(dev), (std::vector<int>{kSigTS, kSigTU, kSigMTS, kSigTII, kSigTR}));
  EXPECT_EQ(Names(dev->Table(kSigTS)),
            (std::vector<std::string>{"1_Порт.0_RTU.Входы_Q1_ready", "1_Порт.0_RTU.Входы_Q1_ready_повтор1"}));

  // Untick the commands: the table goes; tick again: it comes back in its place.
  st.TickRows(*cmd, {0}, false);
  dev->StationEdited();
  EXPECT_EQ(ChildKinds(dev), (std::vector<int>{kSigTS, kSigMTS, kSigTII, kSigTR}));
  st.TickRows(*cmd, {0}, true);
  dev->StationEdited();
  EXPECT_EQ(ChildKinds(dev), (std::vector<int>{kSigTS, kSigTU, kSigMTS, kSigTII, kSigTR}));

  // The last octet names the device and every signal; the link row follows.
  dev->SetIp(0xC0A80119);
  dev->StationEdited();
  EXPECT_EQ(dev->Caption(), "25_RTU");
  EXPECT_EQ(Names(dev->Table(kSigTU)), (std::vector<std::string>{"1_Порт.25_RTU.Ком_Вкл"}));
  EXPECT_EQ(Names(p->LinkTable()), (std::vector<std::string>{"1_Порт.связь_25_RTU"}));

  // A renamed port renames the devices' signals.
  p->SetPortNumber(3);
  EXPECT_EQ(Names(dev->Table(kSigTII)), (std::vector<std::string>{"3_Порт.25_RTU.Сч_W"}));
}

TEST(Rtu104, LongPathsStayApartAndKeepTheirGains) {
  TDoc104 t;
  TPortRTU104* p = t.Add();
  p->AddChildren(0);
  auto* dev = dynamic_cast<TRTU104*>(p->Devices().at(0));
  TWS_104& st = dev->Station();
  TGroup* g = AddGroup(st, st, std::string(60, 'G'), kKindTI);
  AddObject(*g, "first");
  AddObject(*g, "second");
  dev->StationEdited();
  TParams* ti = dev->Table(kSigTI);
  ASSERT_EQ(ti->Count(), 2);
  auto names = Names(ti);
  EXPECT_NE(names[0], names[1]);
  for (auto& n : names) EXPECT_LE(n.size(), 64u * 2) << n;
  ti->At(1)->gain = 2.5f;
  ti->At(1)->SetName("1_Порт.0_RTU.Напряжение");
  for (int i = 0; i < 3; ++i) dev->StationEdited();
  ASSERT_EQ(ti->Count(), 2);
  EXPECT_EQ(Names(ti), (std::vector<std::string>{names[0], "1_Порт.0_RTU.Напряжение"}));
  EXPECT_EQ(ti->At(1)->gain, 2.5f);
}

TEST(Rtu104, RowLimitPerTableIsReportedAndStable) {
  TDoc104 t;
  TPortRTU104* p = t.Add();
  p->AddChildren(0);
  auto* dev = dynamic_cast<TRTU104*>(p->Devices().at(0));
  TWS_104& st = dev->Station();
  TGroup* g = AddGroup(st, st, "A", kKindTS);
  for (std::size_t i = 0; i < TRTU104::kMaxRows + 5; ++i) AddObject(*g, "s" + std::to_string(i));
  dev->StationEdited();
  ASSERT_EQ(dev->Table(kSigTS)->Count(), static_cast<int>(TRTU104::kMaxRows));
  const std::string said = "Таблица ТС устройства 0_RTU: в неё вошли первые 8192 объектов, не вошло 5";
  EXPECT_EQ(std::count(t.msgs.errors.begin(), t.msgs.errors.end(), said), 1);
  EXPECT_EQ(dev->Table(kSigTS)->At(0)->Name(), "1_Порт.0_RTU.A_s0");
}

TEST(Rtu104, SaveReopenAndDuplicate) {
  TDoc104 t;
  ASSERT_TRUE(Read(t.d, Fixture()));
  TPortRTU104* p = t.Port();
  auto* a = dynamic_cast<TRTU104*>(p->Devices().at(0));
  a->Table(kSigTI)->At(0)->gain = 3.0f;
  a->Table(kSigTI)->At(0)->offset = -1.0f;
  a->Table(kSigTS)->At(0)->SetName("Готов");
  p->DuplicateChild(a);
  ASSERT_EQ(p->Devices().size(), 3u);
  auto* c = dynamic_cast<TRTU104*>(p->Devices().at(2));
  EXPECT_EQ(c->Station().Serialise(), a->Station().Serialise());
  EXPECT_EQ(c->Table(kSigTI)->At(0)->gain, 3.0f);
  EXPECT_EQ(c->Table(kSigTI)->At(0)->offset, -1.0f);
  EXPECT_TRUE(p->OctetTaken(c, 7));  // the copy starts with the source's address

  auto first = Written(t.d);
  const std::string dump = t.d.Dump();
  TDoc104 u;
  ASSERT_TRUE(u.d.Config().SetImage(first));
  u.d.ReadRecords(false);
  EXPECT_EQ(u.d.Dump(), dump);
  EXPECT_EQ(Written(u.d), first);
  EXPECT_NE(dump.find("station:"), std::string::npos);
}

TEST(Rtu104, DamagedStationsKeepTheirBytes) {
  const auto good = StationA();
  auto broken = good;
  broken.resize(broken.size() / 2);
  struct Case {
    const char* what;
    std::uint32_t length;
    std::vector<std::uint8_t> bytes;
  } cases[] = {
      {"cut", static_cast<std::uint32_t>(broken.size()), broken},
      {"length past the bytes", static_cast<std::uint32_t>(good.size() + 1), good},
      {"length past 1 MiB", 1048577u, good},
  };
  for (const auto& k : cases) {
    TBytes r = ProcessorAndIp(2);
    r.Sec(128).Ent(48, {1}).Ent(1, {1}).Ent(72, {1}).Ent(20, {1});
    SourceTable(r, 211, {"1_Порт.связь_0_RTU"});
    r.Sec(224).Ent(48, {1}).Ent(60, Le32(k.length)).Ent(102, k.bytes);
    NamedTable(r, 215, 74, {"1_Порт.0_RTU.опрос"});
    NamedTable(r, 219, 99, {"1_Порт.0_RTU.состояние связи"});
    r.End().End();
    TDoc104 t;
    ASSERT_TRUE(Read(t.d, r));
    auto* dev = dynamic_cast<TRTU104*>(t.Port()->Devices().at(0));
    EXPECT_TRUE(dev->StationDamaged()) << k.what;
    ASSERT_FALSE(t.msgs.errors.empty()) << k.what;
    EXPECT_EQ(t.msgs.errors.front(), "Параметры станции 0_RTU повреждены: они будут сохранены без изменений");
    EXPECT_EQ(SectionBytes(Written(t.d), 128), SectionBytes(r.Image(), 128)) << k.what;
    // A copy carries the same block.
    t.Port()->DuplicateChild(dev);
    auto* copy = dynamic_cast<TRTU104*>(t.Port()->Devices().at(1));
    ASSERT_TRUE(copy) << k.what;
    EXPECT_TRUE(copy->StationDamaged()) << k.what;
    std::vector<std::uint8_t> a, b;
    ASSERT_TRUE(dev->StationBytes(a) && copy->StationBytes(b));
    EXPECT_EQ(a, b) << k.what;
    t.d.Tree().Delete(copy->node);
    // Once edited, the station is written afresh.
    dev->StationEdited();
    auto img = Written(t.d);
    const std::size_t at = FindSectionCode(img, 224);
    EXPECT_EQ(EntryAt(img, at, 102), dev->Station().Serialise()) << k.what;
    EXPECT_EQ(EntryAt(img, at, 60), Le32(static_cast<std::uint32_t>(dev->Station().Serialise().size()))) << k.what;
  }
}

TEST(Rtu104, NewerDeviceLayoutIsKeptWithItsMessage) {
  TBytes r = ProcessorAndIp(2);
  r.Sec(128).Ent(48, {1}).Ent(1, {1}).Ent(72, {1}).Ent(20, {1});
  SourceTable(r, 211, {"1_Порт.связь_0_RTU"});
  r.Sec(224).Ent(48, {2}).Ent(60, Le32(3)).Ent(102, {1, 2, 3}).End();
  r.End();
  TDoc104 t;
  ASSERT_TRUE(Read(t.d, r));
  ASSERT_FALSE(t.msgs.errors.empty());
  EXPECT_EQ(t.msgs.errors.front(), "Новая версия RTU");
  EXPECT_EQ(SectionBytes(Written(t.d), 224), SectionBytes(r.Image(), 224));
}

TEST(Rtu104, StationOverOneMebibyteIsNotWrittenCut) {
  TDoc104 t;
  ASSERT_TRUE(Read(t.d, Fixture()));
  auto* a = dynamic_cast<TRTU104*>(t.Port()->Devices().at(0));
  TGroup* g = a->Station().Children().at(0).get();
  for (int i = 0; i < 5200; ++i) AddObject(*g, std::string(200, 'x') + std::to_string(i), false);
  ASSERT_GT(a->Station().SerialisedSize(), kMaxStationBytes);
  auto img = Written(t.d);
  ASSERT_FALSE(t.msgs.errors.empty());
  EXPECT_EQ(t.msgs.errors.back(), "Параметры станции 7_RTU занимают больше 1 МБ. Сохранение прервано.");
  // The station goes as it was read: the image stays readable and nothing is half written.
  const std::size_t at = FindSectionCode(img, 224);
  EXPECT_EQ(EntryAt(img, at, 102), StationA());
  EXPECT_EQ(EntryAt(img, at, 60), Le32(static_cast<std::uint32_t>(StationA().size())));
}
