// The UNIO port and its modules: addresses, tables by mode, the link-status rows, renumbering
// and moving, the channel it sets, and its sections by hand.
#include <gtest/gtest.h>

#include "model/boards.h"
#include "model/document.h"
#include "model/factory.h"
#include "model/messages.h"
#include "model/params.h"
#include "model/storage.h"
#include "model/treerules.h"
#include "ports/image_sections.h"
#include "ports/port_auto.h"
#include "ports/port_menu.h"
#include "ports/port_twopos.h"
#include "ports/port_unio.h"
#include "ports/register.h"
#include "project/cfgfile.h"
#include "project/json.h"

using namespace t32;
using namespace t32test;

namespace {

TPortUnio* AddUnio(TDocument& d) {
  TNode* n = AddPortFromMenu(d, 125);
  return n ? dynamic_cast<TPortUnio*>(n->Item()) : nullptr;
}

std::vector<std::string> RowNames(const TParams* t) {
  std::vector<std::string> out;
  for (int i = 0; t && i < t->Count(); ++i) out.push_back(t->At(i)->Name());
  return out;
}

std::vector<std::string> Numbered(const std::string& prefix, int n) {
  std::vector<std::string> out;
  for (int i = 1; i <= n; ++i) out.push_back(prefix + ".Пр" + std::to_string(i));
  return out;
}

}  // namespace

TEST(UnioPort, AddressesAndStatusRowsFollowTheModules) {
  TRecordedMessages msgs;
  TDocument d(&msgs, &PortsFactory());
  TPortUnio* p = AddUnio(d);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->popup, TPopup::AddMdsMrkMenu);
  EXPECT_EQ(p->StatusTable(), nullptr);

  TUnioModule* a = p->AddModule(221);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->number, 1);
  EXPECT_EQ(a->Caption(), "1_МДС-24");
  EXPECT_EQ(RowNames(p->StatusTable()), std::vector<std::string>{"1_Порт.связь_1_МДС-24"});
  EXPECT_EQ(p->CountText(), "Количество подключенных модулей = 1");

  TUnioModule* b = p->AddModule(222);
  EXPECT_EQ(b->number, 2);
  EXPECT_EQ(RowNames(p->StatusTable()), (std::vector<std::string>{"1_Порт.связь_1_МДС-24", "1_Порт.связь_2_МРК-12",
                                                                    "1_Порт.Работа ТУ", "1_Порт.Сбой ТУ"}));
  EXPECT_EQ(RowNames(b->Table(kSigTS)), (std::vector<std::string>{"1_Порт.2_МРК-12.Работа ТУ", "1_Порт.2_МРК-12.Сбой ТУ"}));
  EXPECT_EQ(b->Table(kSigTU)->Count(), 4);

  d.Tree().Delete(a->node);
  d.AfterEdit();
  EXPECT_EQ(RowNames(p->StatusTable()), (std::vector<std::string>{"1_Порт.связь_2_МРК-12", "1_Порт.Работа ТУ", "1_Порт.Сбой ТУ"}));
  TUnioModule* c = p->AddModule(229);
  EXPECT_EQ(c->number, 1);  // the lowest free address again
  EXPECT_EQ(p->moduleCount, 2);

  // Readdressing renames the module's row in place.
  const TParam* row = p->StatusTable()->At(1);
  ASSERT_EQ(row->Name(), "1_Порт.связь_1_МДК-24");
  c->ChangeAddress(2);
  EXPECT_EQ(p->StatusTable()->At(1), row);
  EXPECT_EQ(row->Name(), "1_Порт.связь_2_МДК-24");
  EXPECT_TRUE(c->DuplicateAddress());
  EXPECT_TRUE(b->DuplicateAddress());
}

TEST(UnioPort, ModuleTablesFollowTheMode) {
  TRecordedMessages msgs;
  TDocument d(&msgs, &PortsFactory());
  TPortUnio* p = AddUnio(d);
  auto* mds = dynamic_cast<TMDS24*>(p->AddModule(221));
  EXPECT_EQ(RowNames(mds->Table(kSigTS)), Numbered("1_Порт.1_МДС-24", 24));
  mds->SetMode(1);
  EXPECT_EQ(mds->Table(kSigTS)->Count(), 12);
  mds->SetMode(0);
  EXPECT_EQ(mds->Table(kSigTS)->Count(), 24);

  auto* mrk = dynamic_cast<TRelayModule*>(p->AddModule(222));
  struct Case {
    int mode, tu;
    bool outputs;
  } cases[] = {{0, 4, false}, {1, 6, false}, {2, 10, false}, {3, 12, true}};
  for (const auto& c : cases) {
    mrk->SetMode(c.mode);
    EXPECT_EQ(mrk->Table(kSigTU)->Count(), c.tu) << c.mode;
    EXPECT_EQ(mrk->OutputTable() != nullptr, c.outputs) << c.mode;
    EXPECT_EQ(mrk->TuTimeEnabled(), !c.outputs);
  }
  ASSERT_NE(mrk->OutputTable(), nullptr);
  EXPECT_EQ(mrk->OutputTable()->Caption(), "Выходы");
  auto addr = mrk->SignalAddressTexts(kSigTS, 13);
  EXPECT_EQ(addr.front(), "1");
  EXPECT_EQ(addr[11], "12");
  EXPECT_EQ(addr[12], "");
  auto img = Written(d);
  std::size_t at = FindSectionCode(img, 222);
  ASSERT_NE(at, 0u);
  EXPECT_EQ(EntryAt(img, at, 48), std::vector<std::uint8_t>{2});
  EXPECT_EQ(EntryKeys(img, at), (std::vector<int>{48, 1, 62, 57, 19, 8}));
  mrk->SetMode(0);
  EXPECT_EQ(mrk->OutputTable(), nullptr);
  EXPECT_EQ(mrk->version, 1);
}

TEST(UnioPort, RenumberingAndMovingReprefix) {
  TRecordedMessages msgs;
  TDocument d(&msgs, &PortsFactory());
  TPortUnio* p = AddUnio(d);
  TPortUnio* q = AddUnio(d);
  ASSERT_EQ(q->number, 2);
  TUnioModule* m = p->AddModule(221);
  p->AddModule(222);
  p->ChangeNumber(5);
  EXPECT_EQ(p->Caption(), "5_Порт UNIO");
  EXPECT_EQ(m->Table(kSigTS)->At(0)->Name(), "5_Порт.1_МДС-24.Пр1");
  EXPECT_EQ(p->StatusTable()->At(0)->Name(), "5_Порт.связь_1_МДС-24");

  // Dragged onto the other port's module: it lands under that port and takes its prefix.
  TUnioModule* there = q->AddModule(222);
  ASSERT_TRUE(MoveNode(d, m->node, there->node));
  EXPECT_EQ(m->Port(), q);
  EXPECT_EQ(m->portPrefix, "2_Порт");
  EXPECT_EQ(m->Table(kSigTS)->At(0)->Name(), "2_Порт.1_МДС-24.Пр1");
  EXPECT_EQ(RowNames(q->StatusTable()), (std::vector<std::string>{"2_Порт.связь_1_МДС-24", "2_Порт.связь_1_МРК-12",
                                                                    "2_Порт.Работа ТУ", "2_Порт.Сбой ТУ"}));
  EXPECT_TRUE(m->DuplicateAddress());
  EXPECT_EQ(RowNames(p->StatusTable()), (std::vector<std::string>{"5_Порт.связь_2_МРК-12", "5_Порт.Работа ТУ", "5_Порт.Сбой ТУ"}));
}

TEST(UnioPort, ChoosingAChannelSetsItsSpeedAndParity) {
  TRecordedMessages msgs;
  TDocument d(&msgs, &PortsFactory());
  TNode* board = d.Tree().Add(d.Tree().Root(), DefaultFactory().Make(3, TItemPlace::Board));
  dynamic_cast<TBlock*>(board->Item())->SetAddress(1);
  TPortUnio* p = AddUnio(d);
  auto list = p->Interfaces();
  ASSERT_GT(list.size(), 1u);
  auto* ch = dynamic_cast<TRS232*>(list[1].block);
  ASSERT_NE(ch, nullptr);
  ch->SetSpeed(9600);
  ch->SetParity(2);
  p->SelectInterface(list, 1);
  EXPECT_EQ(p->boundChannel, ch);
  EXPECT_EQ(ch->speed, 57600u);
  EXPECT_EQ(ch->parity, 0);
  EXPECT_EQ(p->node->image, 2);
  auto img = Written(d);
  EXPECT_EQ(EntryAt(img, FindSectionCode(img, 125), 30), std::vector<std::uint8_t>{ch->number});
}

TEST(UnioPort, HandMadeSectionsReadAndWriteBackIdentical) {
  TBytes r = ProcessorAndIp(2);
  r.Sec(125).Ent(48, {1}).Ent(1, {2}).Ent(20, {3});
  SourceTable(r, 211, {"2_Порт.Связь с МДС", "2_Порт.связь_2_МРК-12", "2_Порт.связь_3_МДК-24", "2_Порт.Работа ТУ",
                       "2_Порт.Сбой ТУ"});
  r.Sec(221).Ent(48, {1}).Ent(1, {1}).Ent(62, {3}).Ent(57, Le16(400)).Ent(31, Le32(1200000)).Ent(17, Le16(20)).Ent(8, {1});
  SourceTable(r, 211, Numbered("2_Порт.1_МДС-24", 12));
  r.End();
  r.Sec(222).Ent(48, {2}).Ent(1, {2}).Ent(62, {5}).Ent(57, Le16(2000)).Ent(19, Le16(2000)).Ent(8, {3});
  SourceTable(r, 211, {"2_Порт.2_МРК-12.Работа ТУ", "2_Порт.2_МРК-12.Сбой ТУ"});
  SourceTable(r, 212, Numbered("2_Порт.2_МРК-12", 12));
  r.Sec(211).Ent(48, {1}).Ent(13, Le16(1)).Ent(41, NameField("2_Порт.1_МДС-24.Пр3")).End();
  r.End();
  r.Sec(229).Ent(48, {1}).Ent(1, {3}).Ent(62, {9}).Ent(57, Le16(100)).Ent(19, Le16(500)).Ent(8, {0});
  SourceTable(r, 211, {"2_Порт.3_МДК-24.Работа ТУ", "2_Порт.3_МДК-24.Сбой ТУ"});
  SourceTable(r, 212, Numbered("2_Порт.3_МДК-24", 8));
  r.End();
  r.End();

  TRecordedMessages msgs;
  TDocument d(&msgs, &PortsFactory());
  ASSERT_TRUE(Read(d, r));
  EXPECT_TRUE(msgs.errors.empty());
  auto* p = dynamic_cast<TPortUnio*>(d.ProcNode()->Child(1)->Item());
  ASSERT_NE(p, nullptr);
  auto mods = p->Modules();
  ASSERT_EQ(mods.size(), 3u);  // the status table did not cost the last module its turn
  EXPECT_EQ(p->StatusTable()->At(0)->Name(), "2_Порт.Связь с МДС");
  auto* mds = dynamic_cast<TMDS24*>(mods[0]);
  auto* mrk = dynamic_cast<TRelayModule*>(mods[1]);
  ASSERT_TRUE(mds && mrk);
  EXPECT_EQ(mds->controlPeriod, 1200000u);
  EXPECT_EQ(mds->Table(kSigTS)->Count(), 12);
  ASSERT_NE(mrk->OutputTable(), nullptr);
  ASSERT_EQ(mrk->OutputTable()->Count(), 1);
  EXPECT_EQ(mrk->OutputTable()->At(0), mds->Table(kSigTS)->At(2));
  EXPECT_EQ(mods[2]->Table(kSigTU)->Count(), 8);

  auto img = Written(d);
  EXPECT_EQ(SectionBytes(img, 125), SectionBytes(r.Image(), 125));
}

// Every port kind of this family, with records, modules and names, survives the JSON form
// and the configuration file unchanged.
TEST(OtherPorts, JsonRoundTripKeepsEverything) {
  TRecordedMessages msgs;
  TDocument d(&msgs, &PortsFactory());
  TNode* board = d.Tree().Add(d.Tree().Root(), DefaultFactory().Make(4, TItemPlace::Board));
  dynamic_cast<TBlock*>(board->Item())->SetAddress(1);
  d.AfterEdit();
  for (int tag : {120, 130, 132, 133, 125, 117}) ASSERT_NE(AddPortFromMenu(d, tag), nullptr) << tag;
  auto port = [&](int i) { return d.ProcNode()->Child(i)->Item(); };
  auto* ts2 = dynamic_cast<TPortTwoPos*>(port(3));
  ts2->Apply(2);
  ts2->SetSignal(1, true, d.Storage().List(kSigTS).Ref(7));
  auto* unio = dynamic_cast<TPortUnio*>(port(5));
  unio->AddModule(221);
  dynamic_cast<TRelayModule*>(unio->AddModule(229))->SetMode(3);
  std::string err;
  ASSERT_TRUE(dynamic_cast<TPortAuto*>(port(6))->ImportText("[TS_out]\r\n1=A\r\n[TU_out]\r\n1=B\r\n", &err));
  d.AfterEdit();

  std::string json = ExportJson(d, TCpu::Cpu927);
  TDocument back(&msgs, &PortsFactory());
  TCpu cpu{};
  ASSERT_TRUE(ImportJson(back, json, &cpu, &err)) << err;
  EXPECT_EQ(back.Dump(), d.Dump());
  EXPECT_EQ(ExportJson(back, TCpu::Cpu927), json);
  EXPECT_TRUE(msgs.errors.empty());
}

// Renumbering re-prefixes every module under the rebuilding flag: the storage is rebuilt once,
// not once per module.
TEST(UnioPort, RenumberingRebuildsTheStorageOnce) {
  TRecordedMessages msgs;
  TDocument d(&msgs, &PortsFactory());
  TPortUnio* p = AddUnio(d);
  for (int i = 0; i < 200; ++i) ASSERT_NE(p->AddModule(221), nullptr);
  int rebuilds = 0;
  d.Storage().onRefresh = [&] { ++rebuilds; };
  p->ChangeNumber(7);
  EXPECT_EQ(rebuilds, 1);
  EXPECT_EQ(p->Modules().back()->Table(kSigTS)->At(0)->Name(), "7_Порт.200_МДС-24.Пр1");
  EXPECT_EQ(d.Storage().List(kSigTS).Count(), 200 + 200 * 24);
}
