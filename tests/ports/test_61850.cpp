// The IEC 61850 polling port: sections 126/220 with the model dictionary written byte by byte,
// save and reopen, pruning of the image copy, the signals a device builds from its model,
// picking data sets and reports, the integrity period of all devices, and device-type files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "iec61850/modelstream.h"
#include "iec61850/pickmarks.h"
#include "iec61850/scl.h"
#include "model/document.h"
#include "model/fileio.h"
#include "model/messages.h"
#include "model/params.h"
#include "ports/app_context.h"
#include "ports/ied_types.h"
#include "ports/image_sections.h"
#include "ports/port_61850.h"
#include "ports/port_menu.h"
#include "ports/register.h"
#include "project/cfgfile.h"

using namespace t32;
using namespace t32test;
namespace fs = std::filesystem;

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

// Little-endian bytes of a device model.
struct B {
  std::vector<std::uint8_t> b;
  B& u8(std::uint8_t v) { b.push_back(v); return *this; }
  B& u16(std::uint16_t v) { return u8(v & 0xFF).u8(static_cast<std::uint8_t>(v >> 8)); }
  B& u32(std::uint32_t v) { return u16(v & 0xFFFF).u16(static_cast<std::uint16_t>(v >> 16)); }
  B& i32(std::int32_t v) { return u32(static_cast<std::uint32_t>(v)); }
  B& zeros(std::size_t n) { b.insert(b.end(), n, 0); return *this; }
  B& str(const std::string& s) { u8(static_cast<std::uint8_t>(s.size())); b.insert(b.end(), s.begin(), s.end()); return *this; }
  B& fixed(const std::string& s, std::size_t cap) { str(s); return zeros(cap - s.size()); }
  B& oid(std::initializer_list<std::int32_t> arcs) {
    i32(static_cast<std::int32_t>(arcs.size()));
    for (auto a : arcs) i32(a);
    return zeros(4 * (7 - arcs.size()));
  }
};

// The dictionary block: the names in the order a save meets them.
const std::vector<std::string> kDict = {"VMD", "LD0", "GGIO1", "ST", "Ind1", "stVal", "Ind2"};
std::vector<std::uint8_t> DictionaryBlock() {
  B s;
  s.u32(1).u32(static_cast<std::uint32_t>(kDict.size()));
  for (const auto& n : kDict) s.str(n);
  return s.b;
}

// A device model (stream version 3, node version 2): LD0/GGIO1$ST with Ind1 and Ind2 (each a
// stVal), DSetTS holding both, and the enabled report Rep_DSetTS.
std::vector<std::uint8_t> SmallModel() {
  B s;
  s.i32(3);
  s.u32(0).u32(0x0A000007).i32(102).i32(10).i32(0);  // main address
  s.u32(0).u32(0).i32(102).i32(10).i32(0);           // reserve
  s.u16(1).u16(1).u16(1024).zeros(4);
  s.u16(1).u16(1).zeros(4);
  s.u32(1).u32(1).zeros(4);
  s.oid({1, 1, 999, 1}).i32(12).i32(0).i32(0);
  s.oid({1, 1, 999, 1}).i32(12).i32(0).i32(0);
  s.u8(0).zeros(32).zeros(33);
  s.i32(20).i32(65000).i32(1).u16(5).u16(8).u16(3).zeros(2);
  auto node = [&](std::uint32_t name, bool domain, std::uint32_t type, std::uint32_t children) {
    s.i32(2).u32(name).u8(domain ? 1 : 0).u32(type).u32(children);
  };
  node(0, false, 0, 1);
  node(1, true, 0, 1);
  node(2, false, 2, 1);
  node(3, false, 2, 2);
  node(4, false, 2, 1);
  node(5, false, 3, 0);
  node(6, false, 2, 1);
  node(5, false, 3, 0);
  s.u32(1).i32(2).str("DSetTS").str("").u8(1).i32(-1).u32(2);
  s.str("LD0").str("GGIO1$ST$Ind1").str("LD0").str("GGIO1$ST$Ind2");
  s.u32(1).i32(1).fixed("Rep_DSetTS", 64).fixed("DSetTS", 64).u8(0).u16(0).u8(0x54).i32(60000).i32(0).u8(1).zeros(3);
  s.u32(0);
  return s.b;
}

// Processor, IP port, the 61850 port (section `code`) with one device 10.0.0.7 "Ячейка 3".
TBytes Fixture(int code = 126) {
  TBytes r = ProcessorAndIp(2);
  const auto dict = DictionaryBlock();
  r.Sec(static_cast<std::uint16_t>(code)).Ent(48, {1}).Ent(1, {1}).Ent(42, Le32(3)).Ent(57, {10}).Ent(72, {1});
  r.Ent(60, Le32(static_cast<std::uint32_t>(dict.size()))).Ent(102, dict).Ent(20, {1});
  SourceTable(r, 211, {"1_Порт.связь_7_IED_Ячейка 3"});
  const auto model = SmallModel();
  r.Sec(220).Ent(48, {1}).Ent(41, NameField("IED")).Ent(60, Le32(static_cast<std::uint32_t>(model.size())));
  r.Ent(106, {1}).Ent(102, model).Ent(77, NameField("Ячейка 3")).Ent(49, Le32(0x0A000007));
  SourceTable(r, 211, {"1_Порт.7_Ячейка 3.GGIO1$ST$Ind1", "1_Порт.7_Ячейка 3.GGIO1$ST$Ind2"});
  r.End();
  r.End();
  return r;
}

struct TDoc {
  TRecordedMessages msgs;
  TAppContext ctx;
  TDocument d{&msgs, &PortsFactory()};
  TDoc() { d.appContext = &ctx; }
  TPort61850* Port(int child = 1) { return dynamic_cast<TPort61850*>(d.ProcNode()->Child(child)->Item()); }
  TPort61850* Add() { return dynamic_cast<TPort61850*>(AddPortFromMenu(d, 124)->Item()); }
  TRTU61850* Dev(TPort61850* p, int i) { return dynamic_cast<TRTU61850*>(p->Devices().at(static_cast<std::size_t>(i))); }
};

// The sample ICD loaded into a client.
void LoadSample(TMMSobject& client) {
  std::string bytes;
  ASSERT_TRUE(ReadWholeFile(std::string(T32_FIXTURES) + "/scl/sample.icd", bytes));
  TRecordedMessages m;
  ASSERT_TRUE(LoadSCLBytes(bytes, "sample.icd", client, {}, &m));
}

TMMSvar* ByName(TMMSobject& client, const std::string& full) {
  TMMSvar* found = nullptr;
  std::vector<TMMSvar*> stack{&client.Root()};
  while (!stack.empty() && !found) {
    TMMSvar* n = stack.back();
    stack.pop_back();
    if (n->DomainNode() && n->FullName(client.Dictionary()) == full) found = n;
    for (auto& c : n->Children) stack.push_back(c.get());
  }
  return found;
}

// A device of a new port that picked `refs` from the sample model.
TRTU61850* PickedDevice(TDoc& t, const std::vector<std::string>& refs) {
  TPort61850* p = t.Add();
  TRTU61850* dev = p->AddDevice();
  TMMSobject client;
  LoadSample(client);
  for (const auto& r : refs) {
    TMMSvar* n = ByName(client, r);
    EXPECT_TRUE(n) << r;
    if (n) SetPickMark(*n, 1, client.Dictionary());
  }
  dev->PickData(client, SelectedNodes(client));
  return dev;
}

struct TTempDir {
  fs::path path;
  TTempDir() {
    path = fs::temp_directory_path() / ("t32_61850_" + std::to_string(::getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(path);
    fs::create_directories(path);
  }
  ~TTempDir() { fs::remove_all(path); }
};

}  // namespace

TEST(Port61850, HandMadeImageReadsAndWritesBackIdentical) {
  for (int code : {126, 124}) {
    SCOPED_TRACE(code);
    TBytes r = Fixture(code);
    TDoc t;
    ASSERT_TRUE(Read(t.d, r));
    TPort61850* p = t.Port();
    ASSERT_TRUE(p);
    EXPECT_EQ(p->Caption(), "1_Порт 61850");
    EXPECT_EQ(p->timeOffset, 3);
    EXPECT_EQ(p->linkLossTime, 10);
    TRTU61850* dev = t.Dev(p, 0);
    EXPECT_EQ(dev->Caption(), "7_IED");
    EXPECT_EQ(dev->place, "Ячейка 3");
    EXPECT_EQ(dev->receiveGoose, 1);
    EXPECT_EQ(dev->ip, 0x0A000007u);
    EXPECT_EQ(dev->lists.ts, (std::vector<std::string>{"GGIO1$ST$Ind1", "GGIO1$ST$Ind2"}));
    EXPECT_EQ(ChildKinds(dev), (std::vector<int>{kSigTS}));
    EXPECT_EQ(Names(dev->Table(kSigTS)),
              (std::vector<std::string>{"1_Порт.7_Ячейка 3.GGIO1$ST$Ind1", "1_Порт.7_Ячейка 3.GGIO1$ST$Ind2"}));
    EXPECT_EQ(Names(p->LinkTable()), (std::vector<std::string>{"1_Порт.связь_7_IED_Ячейка 3"}));
    EXPECT_EQ(dev->node->image, 28);
    EXPECT_TRUE(t.msgs.errors.empty()) << t.msgs.errors.front();
    // Written back as section 126, byte for byte the hand-made one.
    auto img = Written(t.d);
    TBytes expect = Fixture(126);
    EXPECT_EQ(SectionBytes(img, 126), SectionBytes(expect.Image(), 126));
  }
}

TEST(Port61850, SaveReopenIsStableAndTheImageModelIsPruned) {
  TDoc t;
  TRTU61850* dev = PickedDevice(t, {"MMXU1$MX$PhV", "XCBR1$CO$Pos"});
  TPort61850* p = t.Port();
  t.Dev(p, 0)->place = "Ввод";
  t.Dev(p, 0)->UpdateStatusTable();
  p->DuplicateChild(dev);
  t.Dev(p, 1)->SetIp(0xC0A80108);
  t.Dev(p, 1)->UpdateStatusTable();
  const std::size_t full = dev->ModelSize();
  auto first = Written(t.d);
  const std::string dump = t.d.Dump();
  ASSERT_NE(dump.find("report: Rep_DSetTI"), std::string::npos) << dump;

  // The image holds the pruned model: the DC attribute "d" of XCBR1.Pos is not in it.
  std::size_t at = FindSectionCode(first, 220);
  auto imageModel = EntryAt(first, at, 102);
  EXPECT_LT(imageModel.size(), full);
  auto dictBytes = EntryAt(first, FindSectionCode(first, 126), 102);
  TStrDictionary dict;
  TMemStream ds(dictBytes.data(), dictBytes.size());
  ASSERT_TRUE(DictionaryMemRead(ds, dict));
  EXPECT_EQ(dict.Find("d"), -1);
  EXPECT_GE(dict.Find("phsA"), 0);
  // ... while the device still has the full model.
  TMMSobject live;
  ASSERT_TRUE(dev->LoadModel(live));
  EXPECT_TRUE(ByName(live, "XCBR1$DC$Pos$d"));
  EXPECT_EQ(dev->ModelSize(), full);

  TDoc u;
  ASSERT_TRUE(u.d.Config().SetImage(first));
  u.d.ReadRecords(false);
  EXPECT_TRUE(u.msgs.errors.empty()) << u.msgs.errors.front();
  EXPECT_EQ(u.d.Dump(), dump);
  EXPECT_EQ(Written(u.d), first);
  EXPECT_EQ(Written(t.d), first);  // saved twice: the same pruned model
}

TEST(Port61850, PickingBuildsDataSetsReportsAndTables) {
  {
    TDoc t;
    TRTU61850* dev = PickedDevice(t, {"MMXU1$MX$PhV", "XCBR1$CO$Pos"});
    TMMSobject c;
    ASSERT_TRUE(dev->LoadModel(c));
    TDataSet* ti = c.FindDataSet("DSetTI");
    TDataSet* tu = c.FindDataSet("DSetTU");
    ASSERT_TRUE(ti && tu);
    EXPECT_EQ(ti->Members.size(), 2u);
    EXPECT_EQ(ti->ReadInterval, -1);
    EXPECT_EQ(tu->ReadInterval, 0);
    EXPECT_TRUE(ti->MustExist && tu->MustExist);
    EXPECT_FALSE(c.FindDataSet("DSetTS") || c.FindDataSet("DSetTR"));
    TMMSReportParam* rep = c.Reports().Find("Rep_DSetTI");
    ASSERT_TRUE(rep);
    EXPECT_EQ(rep->TrgOps, 0x0C);
    EXPECT_EQ(rep->DatSet, "DSetTI");
    EXPECT_TRUE(rep->Enabled);
    EXPECT_FALSE(c.Reports().Find("Rep_DSetTU"));
    EXPECT_EQ(ChildKinds(dev), (std::vector<int>{kSigTU, kSigTI}));
    EXPECT_EQ(Names(dev->Table(kSigTI)),
              (std::vector<std::string>{"1_Порт.0_IED.MMXU1$MX$PhV$phsA", "1_Порт.0_IED.MMXU1$MX$PhV$phsB"}));
    EXPECT_EQ(Names(dev->Table(kSigTU)), (std::vector<std::string>{"1_Порт.0_IED.XCBR1$CO$Pos"}));
    EXPECT_EQ(dev->Table(kSigTI)->At(0)->valueWidth, 4);
    // Picking again with ST data: DSetTS gets its report, the ТИ report stays single.
    TMMSvar* st = ByName(c, "XCBR1$ST$Pos");
    ASSERT_TRUE(st);
    MarkSpecialMembers(c);
    SetPickMark(*st, 1, c.Dictionary());
    dev->PickData(c, SelectedNodes(c));
    ASSERT_TRUE(c.Reports().Find("Rep_DSetTS"));
    EXPECT_EQ(c.Reports().Find("Rep_DSetTS")->TrgOps, 0x54);
    int ti_reports = 0;
    for (auto& r : c.Reports().Items) ti_reports += r->DatSet == "DSetTI";
    EXPECT_EQ(ti_reports, 1);
    EXPECT_EQ(ChildKinds(dev), (std::vector<int>{kSigTS, kSigTU, kSigTI}));
  }
  {
    // Only CO data: DSetTU and a ТУ table, no report at all.
    TDoc t;
    TRTU61850* dev = PickedDevice(t, {"XCBR1$CO$Pos"});
    TMMSobject c;
    ASSERT_TRUE(dev->LoadModel(c));
    EXPECT_TRUE(c.FindDataSet("DSetTU"));
    EXPECT_FALSE(c.FindDataSet("DSetTI"));
    for (auto& r : c.Reports().Items) EXPECT_NE(r->RptID.rfind("Rep_", 0), 0u) << r->RptID;
    EXPECT_EQ(ChildKinds(dev), (std::vector<int>{kSigTU}));
    // Unpicking everything removes the data sets and the tables.
    ClearPickMarks(c.Root());
    dev->PickData(c, SelectedNodes(c));
    EXPECT_FALSE(c.FindDataSet("DSetTU"));
    EXPECT_TRUE(ChildKinds(dev).empty());
    EXPECT_EQ(dev->node->image, 0);
  }
}

TEST(Port61850, NameListsFollowReportsIntervalsAndMMTR) {
  TMMSobject c;
  LoadSample(c);
  // DS1 is read by no enabled report and not periodically: nothing.
  EXPECT_TRUE(NameListsOf(c).Empty());
  TDataSet* ds = c.FindDataSet("LLN0$DS1");
  ASSERT_TRUE(ds);
  ds->ReadInterval = 1000;
  T61850Lists L = NameListsOf(c);
  EXPECT_FALSE(L.ts.empty());
  EXPECT_FALSE(L.ti.empty());
  // A member under an MMTR node counts as a measurement whatever its constraint.
  auto& dict = c.Dictionary();
  TMMSvar root(dict.Add("VMD"), nullptr);
  TMMSvar* ld = root.AddChild(dict.Add("LD"));
  ld->Domain = true;
  TMMSvar* st = ld->AddChild(dict.Add("MmtR1"))->AddChild(dict.Add("ST"));
  TMMSvar* totw = st->AddChild(dict.Add("TotWh"));
  totw->AddChild(dict.Add("actVal"));
  EXPECT_EQ(KindOfFC(*totw, dict), kSigTI);
  EXPECT_EQ(KindOfFC(*ld->AddChild(dict.Add("GGIO1"))->AddChild(dict.Add("SP"))->AddChild(dict.Add("x")), dict), kSigTR);
}

TEST(Port61850, EdgeCasesOfDevicesAndTheLinkTable) {
  TDoc t;
  TPort61850* p = t.Add();
  ASSERT_TRUE(p);
  EXPECT_EQ(p->node->caption, "1_Порт 61850");
  EXPECT_TRUE(p->BoundToProcessor());
  // Three devices, one with a place.
  for (std::uint32_t ip : {0x0A000007u, 0x0A000008u, 0x0A000009u}) {
    TRTU61850* d = p->AddDevice();
    d->SetIp(ip);
    if (ip == 0x0A000008u) d->place = "Ввод";
    d->UpdateStatusTable();
  }
  EXPECT_EQ(t.Dev(p, 0)->Caption(), "7_IED");
  EXPECT_EQ(Names(p->LinkTable()),
            (std::vector<std::string>{"1_Порт.связь_7_IED", "1_Порт.связь_8_IED_Ввод", "1_Порт.связь_9_IED"}));
  EXPECT_EQ(p->node->image, 2);

  // A ТИ name at positions 0 and 3, with dots.
  TRTU61850* d = t.Dev(p, 0);
  d->lists.ti = {"A.b", "C", "D", "A.b"};
  d->lists.tr = {"S"};
  d->UpdateStatusTable();
  EXPECT_EQ(Names(d->Table(kSigTI)), (std::vector<std::string>{"1_Порт.7_IED.A b", "1_Порт.7_IED.C", "1_Порт.7_IED.D",
                                                                "1_Порт.7_IED.A b_повтор3"}));
  EXPECT_EQ(Names(d->Table(kSigTR)), (std::vector<std::string>{"1_Порт.7_IED.S"}));
  EXPECT_EQ(d->Table(kSigTR)->At(0)->valueWidth, 2);
  EXPECT_EQ(ChildKinds(d), (std::vector<int>{kSigTI, kSigTR}));

  // Renumbering the port renames every prefix.
  p->SetPortNumber(2);
  EXPECT_EQ(Names(d->Table(kSigTR)), (std::vector<std::string>{"2_Порт.7_IED.S"}));
  EXPECT_EQ(Names(p->LinkTable()).at(1), "2_Порт.связь_8_IED_Ввод");

  // Duplicating copies the model, the lists and the ТИ gains.
  d->Table(kSigTI)->At(2)->gain = 1.5f;
  d->Table(kSigTI)->At(2)->offset = 0.25f;
  p->DuplicateChild(d);
  TRTU61850* c = t.Dev(p, 3);
  EXPECT_EQ(c->lists.ti, d->lists.ti);
  EXPECT_EQ(c->RawModel(), d->RawModel());
  EXPECT_EQ(c->Table(kSigTI)->At(2)->gain, 1.5f);
  EXPECT_EQ(c->Table(kSigTI)->At(2)->offset, 0.25f);

  // Deleting every device removes the link table.
  for (TPolledDevice* x : p->Devices()) t.d.Tree().Delete(x->node);
  p->RecountChildren();
  EXPECT_FALSE(p->LinkTable());
  EXPECT_EQ(p->node->image, 0);
}

TEST(Port61850, IntegrityPeriodForAllDevicesAfterTheQuestion) {
  TDoc t;
  TRTU61850* dev = PickedDevice(t, {"MMXU1$MX$PhV"});
  TPort61850* p = t.Port();
  t.msgs.answer = kNo;
  EXPECT_FALSE(p->SetIntegrityPeriodAll(1234));
  ASSERT_EQ(t.msgs.questions.size(), 1u);
  EXPECT_EQ(t.msgs.questions[0], "Установить интервал выдачи отчётов для всех RTU?");
  TMMSobject c;
  dev->LoadModel(c);
  EXPECT_EQ(c.Reports().Find("Rep_DSetTI")->IntgPd, 60000);
  t.msgs.answer = kYes;
  EXPECT_TRUE(p->SetIntegrityPeriodAll(1234));
  TMMSobject c2;
  dev->LoadModel(c2);
  ASSERT_FALSE(c2.Reports().Items.empty());
  for (auto& r : c2.Reports().Items) EXPECT_EQ(r->IntgPd, 1234);
}

TEST(Port61850, DamagedModelIsReportedAndWhatWasReadKept) {
  TBytes r = ProcessorAndIp(2);
  const auto dict = DictionaryBlock();
  auto model = SmallModel();
  model.resize(model.size() - 40);  // the report list is cut
  r.Sec(126).Ent(48, {1}).Ent(1, {1}).Ent(60, Le32(static_cast<std::uint32_t>(dict.size()))).Ent(102, dict).Ent(20, {1});
  r.Sec(220).Ent(48, {1}).Ent(41, NameField("IED")).Ent(60, Le32(static_cast<std::uint32_t>(model.size())));
  r.Ent(102, model).Ent(49, Le32(0x0A000005)).End();
  r.End();
  TDoc t;
  ASSERT_TRUE(Read(t.d, r));
  EXPECT_EQ(t.msgs.errors, (std::vector<std::string>{"Ошибка чтения модели устройства 5_IED"}));
  TRTU61850* dev = t.Dev(t.Port(), 0);
  TMMSobject c;
  ASSERT_TRUE(dev->LoadModel(c));
  EXPECT_TRUE(c.FindDataSet("DSetTS"));  // read before the fault
  EXPECT_TRUE(ByName(c, "GGIO1$ST$Ind2"));
}

TEST(Port61850, OversizedPrunedModelStopsTheSaveAndKeepsTheFile) {
  TDoc t;
  TPort61850* p = t.Add();
  TRTU61850* dev = p->AddDevice();
  dev->SetIp(0x0A00000B);
  TMMSobject c;
  auto& dict = c.Dictionary();
  auto root = std::make_unique<TMMSvar>(dict.Add("VMD"), nullptr);
  TMMSvar* ld = root->AddChild(dict.Add("LD"));
  ld->Domain = true;
  TMMSvar* cf = ld->AddChild(dict.Add("LN"))->AddChild(dict.Add("CF"));
  cf->FC[0] = 'C';
  cf->FC[1] = 'F';
  // Configuration nodes stay in a pruned model: 70000 of them pass 1 MiB.
  const std::uint32_t leaf = dict.Add("x");
  for (int i = 0; i < 70000; ++i) {
    TMMSvar* n = cf->AddChild(leaf);
    n->FC[0] = 'C';
    n->FC[1] = 'F';
    n->Type = kMmsBoolean;
  }
  c.AdoptModel(std::move(root), {}, {}, {});
  ASSERT_TRUE(dev->StoreModel(c));
  TTempDir tmp;
  const std::string path = (tmp.path / "a.cfg").string();
  ASSERT_TRUE(WriteFileAtomic(path, "old"));
  EXPECT_FALSE(SaveConfigFile(t.d, path, TCpu::Cpu927));
  std::string now;
  ASSERT_TRUE(ReadWholeFile(path, now));
  EXPECT_EQ(now, "old");
  ASSERT_FALSE(t.msgs.errors.empty());
  EXPECT_NE(t.msgs.errors.back().find("11_IED"), std::string::npos) << t.msgs.errors.back();
}

TEST(Port61850, DeviceTypeSavedAndAppliedInAFreshDocumentKeepsItsNames) {
  TTempDir tmp;
  std::vector<std::uint8_t> before;
  {
    TDoc t;
    t.ctx.iedTypes.folders = {tmp.path.string()};
    TRTU61850* dev = PickedDevice(t, {"MMXU1$MX$PhV", "XCBR1$CO$Pos"});
    dev->receiveGoose = 1;
    t.msgs.texts = {"Реле/1"};  // not a file name
    EXPECT_FALSE(SaveDeviceType(*dev, t.ctx.iedTypes, t.msgs));
    ASSERT_EQ(t.msgs.errors.size(), 1u);
    t.msgs.texts = {"Реле"};
    ASSERT_TRUE(SaveDeviceType(*dev, t.ctx.iedTypes, t.msgs));
    EXPECT_EQ(t.msgs.prompts.back(), "Сохранить настройку блока как :");
    EXPECT_EQ(dev->Caption(), "0_Реле");
    // Saving under an existing name asks first.
    t.msgs.texts = {"Реле"};
    t.msgs.answer = kNo;
    EXPECT_FALSE(SaveDeviceType(*dev, t.ctx.iedTypes, t.msgs));
    EXPECT_EQ(t.msgs.questions.back(), "Файл уже существует.\rПереписать настройку?");
    before = dev->RawModel();
  }
  std::string file;
  ASSERT_TRUE(ReadWholeFile((tmp.path / "Реле.ied").string(), file));
  ASSERT_GT(file.size(), 160u);
  EXPECT_EQ(file.substr(0, 14), "Sign:IEC61850 ");
  EXPECT_EQ(file[14], 1);
  EXPECT_EQ(file[15], 0);
  EXPECT_EQ(file.size() % 16, 0u);

  TDoc u;
  u.ctx.iedTypes.folders = {tmp.path.string()};
  u.ctx.iedTypes.Ensure();
  EXPECT_EQ(u.ctx.iedTypes.Types(), (std::vector<std::string>{"Реле"}));
  TPort61850* p = u.Add();
  TRTU61850* dev = p->AddDevice();
  dev->SetIp(0x0A000009);
  dev->name = "Реле";
  dev->ApplyDeviceType();
  EXPECT_TRUE(u.msgs.errors.empty()) << u.msgs.errors.front();
  EXPECT_EQ(dev->receiveGoose, 1);
  EXPECT_EQ(Names(dev->Table(kSigTU)), (std::vector<std::string>{"1_Порт.9_Реле.XCBR1$CO$Pos"}));
  TMMSobject c;
  ASSERT_TRUE(dev->LoadModel(c));
  EXPECT_TRUE(c.Reports().Find("Rep_DSetTI"));
  EXPECT_TRUE(ByName(c, "MMXU1$MX$PhV$phsA"));

  // "Удалить" asks and removes the file and the entry.
  EXPECT_TRUE(DeleteDeviceType("Реле", u.ctx.iedTypes, u.msgs));
  EXPECT_EQ(u.msgs.questions.back(), "Удалить устройство Реле из списка ?");
  EXPECT_FALSE(fs::exists(tmp.path / "Реле.ied"));
  EXPECT_TRUE(u.ctx.iedTypes.Types().empty());
}

TEST(Port61850, BadTypeFilesLeaveTheDeviceUnchanged) {
  TDoc t;
  TRTU61850* src = PickedDevice(t, {"XCBR1$CO$Pos"});
  std::vector<std::uint8_t> good;
  ASSERT_TRUE(IedFileBytes(*src, "A.ied", good, nullptr));
  auto resum = [](std::vector<std::uint8_t> b) {
    std::uint32_t s = 0;
    for (std::size_t i = 0; i + 2 < b.size(); ++i) s += b[i];
    b[b.size() - 2] = static_cast<std::uint8_t>(s);
    b[b.size() - 1] = static_cast<std::uint8_t>(s >> 8);
    return b;
  };
  auto badSig = good;
  badSig[5] = 'X';
  badSig = resum(badSig);
  auto badSum = good;
  badSum[200] ^= 1;
  auto cut = good;
  cut.resize(good.size() / 2);
  auto other = good;
  other[144 + 2] = 221;  // the section code
  other = resum(other);
  auto brokenModel = good;
  brokenModel[144 + 8 + 9 + 8 + 65 + 8 + 4 + 8 + 1 + 8] = 9;  // the model's stream version
  brokenModel = resum(brokenModel);
  const std::vector<std::pair<const char*, std::vector<std::uint8_t>>> cases = {
      {"empty", {}}, {"signature", badSig}, {"sum", badSum}, {"truncated", cut}, {"not 220", other},
      {"model", brokenModel}};
  TPort61850* p = t.Port();
  TRTU61850* dev = p->AddDevice();
  dev->name = "Прежний";
  dev->receiveGoose = 1;
  for (const auto& [what, bytes] : cases) {
    SCOPED_TRACE(what);
    std::string error;
    EXPECT_FALSE(ReadIedBytes(bytes, *dev, "A.ied", &error));
    EXPECT_NE(error.find("A.ied"), std::string::npos) << error;
    EXPECT_EQ(dev->name, "Прежний");
    EXPECT_EQ(dev->receiveGoose, 1);
    EXPECT_FALSE(dev->HasModel());
  }
  std::string error;
  EXPECT_TRUE(ReadIedBytes(good, *dev, "A.ied", &error)) << error;
  EXPECT_EQ(dev->name, "IED");
  EXPECT_TRUE(dev->HasModel());
}
