// The IEC 104 polling port: hand-made sections 128/224 byte by byte, the signals a device builds
// from the ticked objects of its station (kinds, names, table order, long names, the row
// limit), save and reopen, duplication, damaged stations kept as they stood, a station past
// 1 MiB that stops the save, the JSON form of the station and a station from a workstation's
// export.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <sstream>

#include "iec104/station.h"
#include "iec104/station_xml.h"
#include "model/controller.h"
#include "model/document.h"
#include "model/messages.h"
#include "model/params.h"
#include "model/port_ip.h"
#include "ports/image_sections.h"
#include "ports/port_menu.h"
#include "ports/port_pc.h"
#include "ports/port_rtu104.h"
#include "ports/register.h"
#include "project/cfgfile.h"
#include "project/json.h"
#include "project/station_json.h"

using namespace t32;
using namespace t32test;

namespace {
namespace fs = std::filesystem;

std::string FileText(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

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

// A station with an object of every kind, both channels and the held bytes set.
std::vector<std::uint8_t> StationEveryKind() {
  TWS_104 st;
  st.name = "Все типы";
  st.alias = "псевдоним";
  st.main.remoteIp = {10, 0, 0, 9};
  st.main.localIp = {10, 0, 0, 1};
  st.main.t0 = 7;
  st.reserve.version = 4;
  st.reserve.remoteIp = {10, 0, 1, 9};
  st.settings.giInterval = 15;
  st.settings.switchedOff = 1;
  st.extra.mainPort = 2405;
  st.extra.held1 = 9;
  st.extra.held2 = {1, 2, 3, 4, 5, 6};
  TGroup* top = AddGroup(st, st, "Все", kKindTS);
  for (const TKindInfo& k : kKinds) {
    TGroup* g = AddGroup(st, *top, k.shortName, k.code);
    g->record.sendType = 30;
    g->record.askPeriod = 60;
    g->record.held[11] = 7;
    TPProcItem* o = AddObject(*g, std::string("объект ") + k.shortName);
    o->address = 100;
    o->flag = 3;
    if (auto* t = dynamic_cast<TTIitem*>(o)) {
      t->scale = 0.1f;
      t->offset = -2.5f;
      t->options = 1;
    }
    if (auto* m = dynamic_cast<TMultiTSitem*>(o)) {
      m->dataLength = 7;
      m->dataMask = 0xFF;
    }
    if (auto* f = dynamic_cast<TFileItem*>(o)) {
      f->fileId = 3;
      f->delay = 20;
      f->fileName = "/tmp/осц.dat";
    }
    if (auto* l = dynamic_cast<TRZAlogitem*>(o)) l->SetScale(2.0f);
    if (auto* u = dynamic_cast<TTUItem*>(o)) u->options = 2;
    if (auto* r = dynamic_cast<TTRItem*>(o)) r->options = 1;
  }
  return st.Serialise();
}

nlohmann::ordered_json* StationEntry(nlohmann::ordered_json& j, int device) {
  int seen = 0;
  nlohmann::ordered_json* found = nullptr;
  std::function<void(nlohmann::ordered_json&)> walk = [&](nlohmann::ordered_json& s) {
    if (found) return;
    if (s.value("class", "") == "TRTU104" && seen++ == device)
      for (auto& e : s["entries"])
        if (e["key"] == 102) found = &e;
    if (s.contains("children"))
      for (auto& c : s["children"]) walk(c);
  };
  for (auto& s : j["sections"]) walk(s);
  return found;
}

TEST(Rtu104, JsonShowsTheStationAndWritesTheSameBytes) {
  TDoc104 t;
  ASSERT_TRUE(Read(t.d, Fixture()));
  auto* b = dynamic_cast<TRTU104*>(t.Port()->Devices().at(1));
  ASSERT_TRUE(b->ReadStation(StationEveryKind()));
  b->StationEdited();
  const auto image = Written(t.d);
  const std::string text = ExportJson(t.d, TCpu::Cpu927);
  auto j = nlohmann::ordered_json::parse(text);

  auto* a = StationEntry(j, 0);
  ASSERT_TRUE(a && a->contains("station")) << text;
  EXPECT_FALSE(a->contains("hex"));
  const auto& sa = (*a)["station"];
  EXPECT_EQ(sa["name"], "Подстанция");
  EXPECT_EQ(sa["main"]["remoteIp"], "10.0.0.7");
  EXPECT_EQ(sa["settings"]["commonAddress"], 12);
  EXPECT_EQ(sa["groups"][0]["name"], "Входы");
  EXPECT_EQ(sa["groups"][0]["objects"][0]["name"], "Q1.ready");
  EXPECT_EQ(sa["groups"][0]["objects"][2]["tick"], 0);
  auto* every = StationEntry(j, 1);
  ASSERT_TRUE(every && every->contains("station")) << text;
  EXPECT_EQ((*every)["station"]["groups"][0]["groups"].size(), kKinds.size());

  // Import writes the very same image, and the same JSON again.
  TDoc104 u;
  TCpu cpu;
  std::string err;
  ASSERT_TRUE(ImportJson(u.d, text, &cpu, &err)) << err;
  EXPECT_EQ(Written(u.d), image);
  EXPECT_EQ(ExportJson(u.d, TCpu::Cpu927), text);

  // An edit in the JSON reaches the device; the length entry follows the new size.
  (*a)["station"]["name"] = "Другая подстанция";
  (*a)["station"]["groups"][0]["objects"][2]["tick"] = 1;
  TDoc104 v;
  ASSERT_TRUE(ImportJson(v.d, j.dump(), &cpu, &err)) << err;
  auto* edited = dynamic_cast<TRTU104*>(v.Port()->Devices().at(0));
  EXPECT_FALSE(edited->StationDamaged());
  EXPECT_EQ(edited->place, "Другая подстанция");
  EXPECT_EQ(Names(edited->Table(kSigTS)).back(), "1_Порт.7_RTU.Входы_Q2");
  EXPECT_TRUE(v.msgs.errors.empty()) << v.msgs.errors.front();
}

TEST(Rtu104, JsonKeepsADamagedStationAsHex) {
  const auto good = StationA();
  auto cut = good;
  cut.resize(cut.size() / 2);
  struct Case {
    const char* what;
    std::uint32_t length;
    std::vector<std::uint8_t> bytes;
  } cases[] = {
      {"cut", static_cast<std::uint32_t>(cut.size()), cut},
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
    const auto image = Written(t.d);
    const std::string text = ExportJson(t.d, TCpu::Cpu927);
    auto j = nlohmann::ordered_json::parse(text);
    auto* e = StationEntry(j, 0);
    ASSERT_TRUE(e) << k.what;
    EXPECT_FALSE(e->contains("station")) << k.what;
    EXPECT_TRUE(e->contains("hex")) << k.what;
    TDoc104 u;
    TCpu cpu;
    std::string err;
    ASSERT_TRUE(ImportJson(u.d, text, &cpu, &err)) << err;
    EXPECT_EQ(Written(u.d), image) << k.what;
    EXPECT_TRUE(dynamic_cast<TRTU104*>(u.Port()->Devices().at(0))->StationDamaged()) << k.what;
  }

  // Blocks that read but would not come back the same stay hex as well.
  auto trailing = StationA();
  trailing.push_back(0);
  TWS_104 nan;
  TGroup* g = AddGroup(nan, nan, "Изм", kKindTI);
  static_cast<TTIitem*>(AddObject(*g, "U"))->scale = std::numeric_limits<float>::quiet_NaN();
  for (const auto& bytes : {trailing, nan.Serialise()}) {
    nlohmann::ordered_json out;
    EXPECT_FALSE(StationBlockToJson(bytes.data(), bytes.size(), out));
  }
}

TEST(Rtu104, JsonStationErrorsAreRefused) {
  const auto good = StationEveryKind();
  nlohmann::ordered_json base;
  ASSERT_TRUE(StationBlockToJson(good.data(), good.size(), base));
  std::vector<std::uint8_t> again;
  ASSERT_TRUE(StationBlockFromJson(base, again, nullptr));
  EXPECT_EQ(again, good);
  struct Case {
    const char* what;
    std::function<void(nlohmann::ordered_json&)> edit;
    const char* error;
  } cases[] = {
      {"unknown kind", [](auto& s) { s["groups"][0]["groups"][0]["objects"][0]["kind"] = 1234; }, "неизвестный тип объекта 1234"},
      {"misspelt key", [](auto& s) { s["groups"][0]["tik"] = 1; }, "неизвестное поле \"tik\""},
      {"tick past a byte", [](auto& s) { s["groups"][0]["groups"][0]["objects"][0]["tick"] = 300; }, "\"tick\""},
      {"text outside cp1251", [](auto& s) { s["name"] = "站"; }, "cp1251"},
      {"bad address", [](auto& s) { s["main"]["remoteIp"] = "10.0.0"; }, "IP"},
      {"held of the wrong size", [](auto& s) { s["extra"]["held2"] = "01 02"; }, "held2"},
      {"scale not a number", [](auto& s) { s["groups"][0]["groups"][5]["objects"][0]["scale"] = "x"; }, "scale"},
  };
  for (const auto& k : cases) {
    nlohmann::ordered_json j = base;
    k.edit(j);
    std::string err;
    EXPECT_FALSE(StationBlockFromJson(j, again, &err)) << k.what;
    EXPECT_NE(err.find(k.error), std::string::npos) << k.what << ": " << err;
  }
}

TEST(Rtu104, StationFromAWorkstationExportNamesSignalsAfterItsRows) {
  // A workstation with rows in every table, exported through its own XML export.
  TDocument pcDoc(nullptr, &PortsFactory());
  pcDoc.Proc()->place = "ПС Сосны";
  pcDoc.PortIP()->net1Address = 0x0A000019;  // 10.0.0.25: the station the device will poll
  pcDoc.PortIP()->AddChildren(0);
  pcDoc.AfterEdit();
  auto* pc = dynamic_cast<TPC*>(pcDoc.PortIP()->Workstations().at(0));
  ASSERT_TRUE(pc);
  const std::pair<int, std::vector<std::string>> rows[] = {
      {kSigTS, {"A.x", "A.B.y", "z", "Щит.v<2>"}},
      {kSigMTS, {"2_Порт.1_Dev.Связь"}},
      {kSigTU, {"Вкл", "Q1.Откл"}},
      {kSigTI, {"Изм.U", "I"}},
      {kSigTII, {"Wp"}},
      {kSigTR, {"Уст.Uуст"}},
  };
  for (const auto& [kind, names] : rows)
    for (const auto& n : names) {
      auto r = pc->Table(kind)->NewParam();
      r->SetName(n);
      pc->Table(kind)->Append(r);
    }
  pcDoc.AfterEdit();
  const fs::path dir = fs::temp_directory_path() / ("t32rtu104ws." + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string xmlPath = (dir / "ws.xml").string();
  std::string err;
  ASSERT_TRUE(pc->ExportXml(xmlPath, &err)) << err;

  // Imported into a device's station, every object ticked.
  TDoc104 t;
  ASSERT_TRUE(Read(t.d, Fixture()));
  auto* dev = dynamic_cast<TRTU104*>(t.Port()->Devices().at(1));
  TImportResult res = ImportXml(dev->Station(), FileText(xmlPath), xmlPath);
  ASSERT_TRUE(res.ok) << res.error;
  EXPECT_TRUE(res.problems.empty()) << res.ProblemsMessage(xmlPath);
  dev->Station().TickAll();
  dev->StationEdited();
  fs::remove_all(dir);

  EXPECT_EQ(dev->Caption(), "25_RTU");
  EXPECT_EQ(dev->place, "ПС Сосны");
  auto sorted = [](std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
  };
  const std::string p = "1_Порт.25_RTU.";
  // Each row comes back under its table's group, "." made "_"; the workstation sends its
  // ТИИ rows as measurements, so they join the ТИ table.
  EXPECT_EQ(sorted(Names(dev->Table(kSigTS))),
            sorted({p + "ТС_A_x", p + "ТС_A_B_y", p + "ТС_z", p + "ТС_Щит_v<2>"}));
  EXPECT_EQ(sorted(Names(dev->Table(kSigMTS))),
            sorted({p + "состояние связи", p + "МТС_2_Порт_1_Dev_Связь"}));
  EXPECT_EQ(sorted(Names(dev->Table(kSigTU))), sorted({p + "ТУ_Вкл", p + "ТУ_Q1_Откл"}));
  EXPECT_EQ(sorted(Names(dev->Table(kSigTI))), sorted({p + "ТИ_Изм_U", p + "ТИ_I", p + "ТИИ_Wp"}));
  EXPECT_EQ(sorted(Names(dev->Table(kSigTR))), sorted({p + "опрос", p + "ТР_Уст_Uуст"}));
  EXPECT_EQ(dev->Table(kSigTII), nullptr);
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

TEST(Rtu104, StationOverOneMebibyteStopsEverySaveAndLeavesTheFile) {
  TDoc104 t;
  ASSERT_TRUE(Read(t.d, Fixture()));
  const fs::path dir = fs::temp_directory_path() / ("t32rtu104big." + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string path = (dir / "c.cfg").string();
  ASSERT_TRUE(SaveConfigFile(t.d, path, TCpu::Cpu927));
  const std::string before = FileText(path);

  auto* a = dynamic_cast<TRTU104*>(t.Port()->Devices().at(0));
  TGroup* g = a->Station().Children().at(0).get();
  for (int i = 0; i < 5200; ++i) AddObject(*g, std::string(200, 'x') + std::to_string(i), false);
  ASSERT_GT(a->Station().SerialisedSize(), kMaxStationBytes);
  // The editor closing with it says so at once.
  t.msgs.errors.clear();
  a->StationEdited();
  ASSERT_EQ(t.msgs.errors.size(), 1u);
  EXPECT_EQ(t.msgs.errors[0],
            "Параметры станции 7_RTU занимают больше 1 МБ: конфигурация не будет сохранена, пока их не станет меньше.");

  const std::string stopped = "Параметры станции 7_RTU занимают больше 1 МБ. Сохранение прервано.";
  t.msgs.errors.clear();
  EXPECT_FALSE(SaveConfigFile(t.d, path, TCpu::Cpu927));
  EXPECT_EQ(t.msgs.errors, std::vector<std::string>{stopped});
  EXPECT_EQ(FileText(path), before);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);  // no temp file left
  // The controller and the JSON form are refused alike.
  std::vector<std::uint8_t> img;
  EXPECT_FALSE(BuildImage(t.d, TBuildOptions{}, img));
  EXPECT_TRUE(img.empty());
  EXPECT_EQ(ExportJson(t.d, TCpu::Cpu927), "");

  // A write for the program's own use (an undo step) still gives readable records: the
  // station as it was read, never cut.
  auto w = Written(t.d);
  EXPECT_EQ(t.d.Config().Refusals(), std::vector<std::string>{stopped});
  const std::size_t at = FindSectionCode(w, 224);
  EXPECT_EQ(EntryAt(w, at, 102), StationA());
  EXPECT_EQ(EntryAt(w, at, 60), Le32(static_cast<std::uint32_t>(StationA().size())));

  // Once it is small again, saving goes on.
  std::vector<bool> all(g->Objects().size(), false);
  for (std::size_t i = 3; i < all.size(); ++i) all[i] = true;
  g->EraseObjects(all);
  a->StationEdited();
  EXPECT_TRUE(SaveConfigFile(t.d, path, TCpu::Cpu927));
  // The file holds the first save's configuration again; its header carries the time of the
  // save, which a slow run may have moved on by a second.
  auto reopened = [&](const std::string& bytes) {
    const std::string copy = (dir / "compare.cfg").string();
    { std::ofstream(copy, std::ios::binary) << bytes; }
    TDocument d(nullptr, &PortsFactory());
    EXPECT_TRUE(OpenConfigFile(d, copy, nullptr));
    return Written(d);
  };
  EXPECT_EQ(reopened(FileText(path)), reopened(before));
  fs::remove_all(dir);
}
