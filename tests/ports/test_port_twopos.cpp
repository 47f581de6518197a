// The two-position ТС and ТУ ports: the count and its table, the records' signals taken from
// the storage, their sections by hand, and the "at most once" menu rule of the processor-bound
// ports (two-position and automation).
#include <gtest/gtest.h>

#include "model/boards.h"
#include "model/document.h"
#include "model/factory.h"
#include "model/messages.h"
#include "model/params.h"
#include "model/storage.h"
#include "ports/image_sections.h"
#include "ports/port_menu.h"
#include "ports/port_twopos.h"
#include "ports/register.h"

using namespace t32;
using namespace t32test;

namespace {

TPortTwoPos* AddTwoPos(TDocument& d, int tag) {
  TNode* n = AddPortFromMenu(d, tag);
  return n ? dynamic_cast<TPortTwoPos*>(n->Item()) : nullptr;
}

void AddBoard(TDocument& d, int code, int address) {
  TNode* n = d.Tree().Add(d.Tree().Root(), DefaultFactory().Make(code, TItemPlace::Board));
  dynamic_cast<TBlock*>(n->Item())->SetAddress(address);
  d.AfterEdit();
}

std::vector<std::string> RowNames(const TParams* t) {
  std::vector<std::string> out;
  for (int i = 0; t && i < t->Count(); ++i) out.push_back(t->At(i)->Name());
  return out;
}

}  // namespace

TEST(TwoPosPorts, CountBuildsAndRemovesTheTable) {
  TRecordedMessages msgs;
  TDocument d(&msgs, &PortsFactory());
  TPortTwoPos* p = AddTwoPos(d, 132);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->Caption(), "1_Порт ТС-2");
  EXPECT_EQ(p->node->image, 5);
  EXPECT_EQ(p->role, 3);
  EXPECT_EQ(p->Table(), nullptr);

  p->Apply(3);
  ASSERT_NE(p->Table(), nullptr);
  EXPECT_EQ(RowNames(p->Table()), (std::vector<std::string>{"1_Порт.Пр1", "1_Порт.Пр2", "1_Порт.Пр3"}));
  EXPECT_EQ(d.Storage().List(kSigTS).Count(), 3);

  // Renaming a row renames its record.
  p->Table()->RenameRow(1, "Выключатель");
  p->NamesFromTable();
  EXPECT_EQ(p->Record(1)->name, "Выключатель");

  // A count typed but not applied is not written: the records that follow decide.
  p->SetCount(7);
  auto img = Written(d);
  EXPECT_EQ(EntryAt(img, FindSectionCode(img, 132), 13), Le16(3));

  p->Apply(0);
  EXPECT_EQ(p->Table(), nullptr);
  EXPECT_EQ(p->RecordCount(), 0);
  EXPECT_EQ(d.Storage().List(kSigTS).Count(), 0);

  // The count stops at the rows one table holds.
  p->SetCount(65535);
  EXPECT_EQ(p->count, kMaxRows);
}

TEST(TwoPosPorts, FieldsTakeOnlyStorageRowsOfTheirTypeAndReleaseTheOldOne) {
  TRecordedMessages msgs;
  TDocument d(&msgs, &PortsFactory());
  AddBoard(d, 4, 1);   // 32 ТС
  AddBoard(d, 15, 2);  // ТУ
  TPortTwoPos* tu2 = AddTwoPos(d, 133);
  tu2->Apply(1);
  TParams& tuList = d.Storage().List(kSigTU);
  ASSERT_GE(tuList.Count(), 2);
  TParamRef a = tuList.Ref(0), b = tuList.Ref(1);
  long aBefore = a.use_count(), bBefore = b.use_count();

  EXPECT_TRUE(tu2->SetSignal(0, true, a));
  EXPECT_EQ(a.use_count(), aBefore + 1);
  EXPECT_TRUE(tu2->SetSignal(0, true, b));  // a second drop replaces the first
  EXPECT_EQ(tu2->Record(0)->on, b);
  EXPECT_EQ(a.use_count(), aBefore);
  EXPECT_EQ(b.use_count(), bBefore + 1);

  // A ТС row, or a row that no storage list holds, is refused and changes nothing.
  EXPECT_FALSE(tu2->SetSignal(0, true, d.Storage().List(kSigTS).Ref(0)));
  EXPECT_FALSE(tu2->SetSignal(0, false, std::make_shared<TParam>()));
  EXPECT_EQ(tu2->Record(0)->on, b);
  EXPECT_EQ(tu2->Record(0)->off, nullptr);
}

TEST(TwoPosPorts, OnlyTheOnSignalWritesNoneForOff) {
  TRecordedMessages msgs;
  TDocument d(&msgs, &PortsFactory());
  AddBoard(d, 4, 1);
  TPortTwoPos* ts2 = AddTwoPos(d, 132);
  ts2->Apply(1);
  ASSERT_TRUE(ts2->SetSignal(0, true, d.Storage().List(kSigTS).Ref(5)));
  auto img = Written(d);
  std::size_t at = FindSectionCode(img, 230);
  ASSERT_NE(at, 0u);
  EXPECT_EQ(EntryKeys(img, at), (std::vector<int>{48, 43, 111, 110, 17}));
  EXPECT_EQ(EntryAt(img, at, 111), Le16(0xFFFF));
  EXPECT_EQ(EntryAt(img, at, 110), Le16(5));
  EXPECT_EQ(EntryAt(img, at, 17), Le16(500));
}

TEST(TwoPosPorts, DeleteAsksAndShrinks) {
  TRecordedMessages msgs;
  TDocument d(&msgs, &PortsFactory());
  TPortTwoPos* p = AddTwoPos(d, 133);
  p->Apply(2);
  msgs.answer = kNo;
  EXPECT_FALSE(p->DeleteRecord(0));
  EXPECT_EQ(p->count, 2);
  msgs.answer = kYes;
  EXPECT_TRUE(p->DeleteRecord(0));
  EXPECT_EQ(msgs.questions, (std::vector<std::string>{"Удалить сигнал Пр1 ?", "Удалить сигнал Пр1 ?"}));
  EXPECT_EQ(p->count, 1);
  EXPECT_EQ(RowNames(p->Table()), std::vector<std::string>{"1_Порт.Пр2"});
}

TEST(TwoPosPorts, HandMadeSectionsReadAndWriteBackIdentical) {
  TBytes r = ProcessorAndIp(3);
  r.Sec(132).Ent(48, {1}).Ent(1, {2}).Ent(13, Le16(2));
  r.Sec(230).Ent(48, {1}).Ent(43, Le16(0x0100)).Ent(111, Le16(0xFFFF)).Ent(110, Le16(1)).Ent(17, Le16(700)).End();
  r.Sec(230).Ent(48, {1}).Ent(43, Le16(0x0001)).Ent(111, Le16(0)).Ent(110, Le16(0xFFFF)).Ent(17, Le16(500)).End();
  SourceTable(r, 211, {"2_Порт.Пр1", "2_Порт.Вход"});
  r.End();
  r.Sec(133).Ent(48, {1}).Ent(1, {3}).Ent(13, Le16(1));
  r.Sec(231).Ent(48, {1}).Ent(43, Le16(0x0001)).Ent(111, Le16(0)).Ent(110, Le16(0xFFFF)).End();
  SourceTable(r, 212, {"3_Порт.Пр1"});
  r.End();

  TRecordedMessages msgs;
  TDocument d(&msgs, &PortsFactory());
  ASSERT_TRUE(Read(d, r));
  EXPECT_TRUE(msgs.errors.empty());
  auto* ts2 = dynamic_cast<TPortTwoPos*>(d.ProcNode()->Child(1)->Item());
  auto* tu2 = dynamic_cast<TPortTwoPos*>(d.ProcNode()->Child(2)->Item());
  ASSERT_TRUE(ts2 && tu2);
  ASSERT_EQ(ts2->RecordCount(), 2);
  EXPECT_EQ(ts2->Record(1)->name, "Вход");
  EXPECT_EQ(ts2->Record(0)->b, 1);  // invert on
  EXPECT_EQ(ts2->Record(0)->transition, 700);
  EXPECT_EQ(ts2->Record(0)->on.get(), ts2->Table()->At(1));
  EXPECT_EQ(ts2->Record(1)->off.get(), ts2->Table()->At(0));
  EXPECT_EQ(tu2->Record(0)->a, 1);
  EXPECT_EQ(tu2->Record(0)->b, 0);
  EXPECT_EQ(tu2->Record(0)->off.get(), tu2->Table()->At(0));

  auto img = Written(d);
  auto in = r.Image();
  EXPECT_EQ(SectionBytes(img, 132), SectionBytes(in, 132));
  EXPECT_EQ(SectionBytes(img, 133), SectionBytes(in, 133));
}

TEST(TwoPosPorts, BadSectionsEndInMessages) {
  struct Case {
    const char* what;
    std::uint16_t count;
    std::uint8_t recordVersion;
    std::uint16_t onIndex;
    std::vector<std::string> errors;
    int records;
  } cases[] = {
      {"newer record", 1, 2, 0, {"Новая версия TS2"}, 1},
      {"index past the list", 1, 1, 40, {}, 1},
      {"count past a table", 9000, 1, 0, {"В порту 1_Порт ТС-2 записано 9000 сигналов, прочитаны первые 8192"}, kMaxRows},
  };
  for (const auto& c : cases) {
    TBytes r = ProcessorAndIp(2);
    r.Sec(132).Ent(48, {1}).Ent(1, {1}).Ent(13, Le16(c.count));
    r.Sec(230).Ent(48, {c.recordVersion}).Ent(43, Le16(0)).Ent(111, Le16(0xFFFF)).Ent(110, Le16(c.onIndex)).End();
    r.End();
    TRecordedMessages msgs;
    TDocument d(&msgs, &PortsFactory());
    ASSERT_TRUE(Read(d, r));
    auto* p = dynamic_cast<TPortTwoPos*>(d.ProcNode()->Child(1)->Item());
    ASSERT_NE(p, nullptr) << c.what;
    EXPECT_EQ(msgs.errors, c.errors) << c.what;
    EXPECT_EQ(p->RecordCount(), c.records) << c.what;
    if (c.onIndex == 40) {
      EXPECT_EQ(p->Record(0)->on, nullptr) << c.what;
    }
  }
}

TEST(PortMenuOnce, AddedOrOpenedDisablesDeletedEnables) {
  for (int tag : {132, 133, 117}) {
    TRecordedMessages msgs;
    TDocument d(&msgs, &PortsFactory());
    EXPECT_TRUE(PortEntryEnabled(d, tag, true)) << tag;
    TNode* n = AddPortFromMenu(d, tag);
    ASSERT_NE(n, nullptr) << tag;
    EXPECT_FALSE(PortEntryEnabled(d, tag, true)) << tag;
    EXPECT_FALSE(PortEntryEnabled(d, tag, false)) << tag;
    auto img = Written(d);

    TDocument opened(&msgs, &PortsFactory());
    ASSERT_TRUE(opened.Config().SetImage(img));
    opened.ReadRecords(false);
    EXPECT_FALSE(PortEntryEnabled(opened, tag, true)) << tag;
    opened.Tree().Delete(opened.ProcNode()->Child(1));
    EXPECT_TRUE(PortEntryEnabled(opened, tag, true)) << tag;
  }
}

TEST(TwoPosPorts, FullCountRebuildsTheStorageOnce) {
  TRecordedMessages msgs;
  TDocument d(&msgs, &PortsFactory());
  TPortTwoPos* p = AddTwoPos(d, 132);
  int rebuilds = 0;
  d.Storage().onRefresh = [&] { ++rebuilds; };
  p->Apply(kMaxRows);
  EXPECT_EQ(rebuilds, 1);
  EXPECT_EQ(d.Storage().List(kSigTS).Count(), kMaxRows);
  EXPECT_TRUE(msgs.errors.empty());
}
