// The signal storage: indexes that follow the tree, relinking of output rows, output tables
// through the image (by index and by name), ТУ blocking signals, legacy names, capacity.
#include <gtest/gtest.h>

#include "model/boards.h"
#include "model/document.h"
#include "model/messages.h"
#include "model/storage.h"
#include "signal_holders.h"

using namespace t32;
using namespace t32test;

namespace {
template <class T>
T* AddBoard(TDocument& d, int number = -1) {
  TNode* n = d.Tree().Add(d.Tree().Root(), std::make_unique<T>());
  auto* b = static_cast<T*>(n->Item());
  if (number >= 0) b->SetAddress(number);
  return b;
}
TOutputHolder* AddOutput(TDocument& d) {
  return static_cast<TOutputHolder*>(d.Tree().Add(d.ProcNode(), std::make_unique<TOutputHolder>())->Item());
}
}  // namespace

TEST(Storage, IndexesFollowTheTree) {
  TDocument d;
  TDI32* a = AddBoard<TDI32>(d, 1);
  TDI32* b = AddBoard<TDI32>(d, 2);
  TStorage& st = d.Storage();
  ASSERT_EQ(st.List(kSigTS).Count(), 64);
  const TParam* first = b->Table(kSigTS)->At(0);
  EXPECT_EQ(st.IndexOf(kSigTS, first), a->Table(kSigTS)->Count());
  EXPECT_EQ(st.AddressOf(kSigTS, first), 0x2000 + 32);
  EXPECT_EQ(st.IndexOf(kSigTU, first), -1);
  // Moving the second board before the first swaps their ranges.
  d.Tree().Move(b->node, d.Tree().Root(), 1);
  d.AfterEdit();
  EXPECT_EQ(st.IndexOf(kSigTS, first), 0);
  EXPECT_EQ(st.IndexOf(kSigTS, a->Table(kSigTS)->At(0)), 32);
  // Boards first, then ports; look-ups by default name and by index agree.
  auto* src = static_cast<TSourceHolder*>(d.Tree().Add(d.ProcNode(), std::make_unique<TSourceHolder>())->Item());
  src->SetCounts({0, 3, 0, 2, 0, 0, 1});
  st.Rebuild();
  EXPECT_EQ(st.IndexOf(kSigTS, src->Src(kSigTS).At(0)), 64);
  EXPECT_EQ(st.AcquireByIndex(kSigTI, 1).get(), src->Src(kSigTI).At(1));
  EXPECT_EQ(st.AcquireByIndex(kSigTI, 2), nullptr);
  EXPECT_EQ(st.FindByDefaultName(kSigMTS, "2_Порт Источник.Пр1").get(), src->Src(kSigMTS).At(0));
}

TEST(Storage, DeletedSourceLeavesUnresolvedRowsThatRelinkWhenItComesBack) {
  TDocument d;
  TDI32* a = AddBoard<TDI32>(d, 3);
  TOutputHolder* o = AddOutput(d);
  TParams& out = o->Out(kSigTS);
  TParams& list = d.Storage().List(kSigTS);
  list.At(0)->selected = true;
  list.At(1)->selected = true;
  ASSERT_TRUE(out.AddFromList(list, false));
  out.At(1)->SetName("Выключатель");  // renamed through the output table: the row is shared
  EXPECT_EQ(a->Table(kSigTS)->At(1)->Name(), "Выключатель");

  d.Tree().Delete(a->node);
  d.AfterEdit();
  ASSERT_EQ(out.Count(), 2);
  EXPECT_TRUE(out.At(0)->unresolved);
  EXPECT_TRUE(out.At(1)->unresolved);
  EXPECT_EQ(out.At(0)->Name(), "3_DI32.Пр1");
  EXPECT_EQ(out.At(1)->Name(), "Выключатель");

  // A new board with the same default names takes the rows back; the user's name moves over.
  TDI32* b = AddBoard<TDI32>(d, 3);
  d.AfterEdit();
  EXPECT_EQ(out.At(0), b->Table(kSigTS)->At(0));
  EXPECT_EQ(out.At(1), b->Table(kSigTS)->At(1));
  EXPECT_FALSE(out.At(1)->unresolved);
  EXPECT_EQ(b->Table(kSigTS)->At(1)->Name(), "Выключатель");
}

TEST(Storage, OutputTablesThroughTheImageByIndexAndByName) {
  TItemFactory f = HolderFactory();
  for (bool extended : {true, false}) {
    SCOPED_TRACE(extended ? "by index" : "by name");
    TDocument a(nullptr, &f);
    a.extendedFormat = extended;
    AddBoard<TDI32>(a, 3);
    TOutputHolder* o = AddOutput(a);
    TParams& list = a.Storage().List(kSigTS);
    list.At(5)->selected = true;
    list.At(7)->selected = true;
    o->Out(kSigTS).AddFromList(list, false);
    o->Out(kSigTS).AddEmptyRow(2);
    a.WriteRecords();
    const auto& img = a.Config().Image();
    std::size_t at = FindSectionCode(img, 211, FindSectionCode(img, 150));
    EXPECT_EQ(EntryKeys(img, at), (std::vector<int>{48, 13, extended ? 1 : 41}));

    TDocument b(nullptr, &f);
    b.extendedFormat = extended;
    ASSERT_TRUE(b.Config().SetImage(img));
    b.ReadRecords(false);
    auto* ob = static_cast<TOutputHolder*>(b.ProcNode()->Child(1)->Item());
    TParams& out = ob->Out(kSigTS);
    ASSERT_EQ(out.Count(), 3);
    EXPECT_FALSE(out.referencesPending);
    EXPECT_EQ(out.At(0), b.Storage().List(kSigTS).At(5));
    EXPECT_EQ(out.At(1), b.Storage().List(kSigTS).At(7));
    EXPECT_EQ(out.At(2)->Name(), "");
    EXPECT_EQ(b.Dump(), a.Dump());
  }
}

TEST(Storage, NameMatchToleratesAChangedFirstWord) {
  TDocument d;
  AddBoard<TDI32>(d, 3);
  TStorage& st = d.Storage();
  struct Case {
    const char* stored;
    int index;  // -1: no match
  } cases[] = {{"3_DI32.Пр1", 0}, {"3_DI.Пр1", 0}, {"3_DI3299.Пр2", 1}, {"4_DI.Пр1", -1}, {"3_DI32.Пр99", -1},
               {"3_DI32.пр1", -1}, {"Пр1", -1},
               // The whole shorter first word must agree, its last character included.
               {"3_DI33.Пр1", -1}, {"3_DX.Пр1", -1}, {"3_DI33299.Пр1", -1}};
  for (const auto& c : cases) {
    TParamRef r = st.AcquireMatching(kSigTS, c.stored);
    EXPECT_EQ(r ? st.IndexOf(kSigTS, r.get()) : -1, c.index) << c.stored;
  }
  // An unresolved name written by name stays in the output table and re-links later.
  TItemFactory f = HolderFactory();
  TDocument a(nullptr, &f);
  AddBoard<TDI32>(a, 3);
  TOutputHolder* o = AddOutput(a);
  o->Out(kSigTS).AddFromList(a.Storage().List(kSigTS), true);
  a.WriteRecords();
  TDocument b(nullptr, &f);
  std::vector<std::uint8_t> img = a.Config().Image();
  ASSERT_TRUE(b.Config().SetImage(img));
  b.ReadRecords(false);
  TNode* board = b.Tree().Root()->Child(1);
  b.Tree().Delete(board);
  b.AfterEdit();
  b.WriteRecords();  // written by name even though no source exists
  TDocument c2(nullptr, &f);
  ASSERT_TRUE(c2.Config().SetImage(b.Config().Image()));
  c2.ReadRecords(false);
  auto* oc = static_cast<TOutputHolder*>(c2.ProcNode()->Child(1)->Item());
  ASSERT_EQ(oc->Out(kSigTS).Count(), 32);
  EXPECT_TRUE(oc->Out(kSigTS).At(31)->unresolved);
  EXPECT_EQ(oc->Out(kSigTS).At(31)->Name(), "3_DI32.Пр32");
  auto* again = AddBoard<TDI32>(c2, 3);
  c2.AfterEdit();
  EXPECT_EQ(oc->Out(kSigTS).At(31), again->Table(kSigTS)->At(31));
}

TEST(Storage, BlockingSignalsOfCommandsSurviveTheImage) {
  TDocument a;
  a.extendedFormat = true;
  AddBoard<TDI32>(a, 1);
  TDO32* dout = AddBoard<TDO32>(a);
  TParams* tu = dout->Table(kSigTU);
  tu->SetBlocking(3, "1_DI32.Пр4", "");
  tu->SetBlocking(5, "нет такого", "1_DI32.Пр1");
  EXPECT_TRUE(tu->At(3)->blockOn);
  EXPECT_FALSE(tu->At(5)->blockOn);
  a.WriteRecords();
  std::size_t at = FindSectionCode(a.Config().Image(), 212);
  EXPECT_EQ(EntryKeys(a.Config().Image(), at), (std::vector<int>{48, 15, 41, 110, 111}));

  TDocument b;
  ASSERT_TRUE(b.Config().SetImage(a.Config().Image()));
  b.ReadRecords(false);
  auto* db = static_cast<TDO32*>(b.Tree().Root()->Child(2)->Item());
  auto* di = static_cast<TDI32*>(b.Tree().Root()->Child(1)->Item());
  TParams* tub = db->Table(kSigTU);
  EXPECT_EQ(tub->At(3)->blockOn.get(), di->Table(kSigTS)->At(3));
  EXPECT_EQ(tub->At(3)->blockOff, nullptr);
  EXPECT_EQ(tub->At(5)->blockOff.get(), di->Table(kSigTS)->At(0));
  EXPECT_EQ(b.Dump(), a.Dump());
}

TEST(Storage, LegacyNamesAndCapacity) {
  TRecordedMessages msgs;
  TDocument d(&msgs);
  TStorage& st = d.Storage();
  st.PutLegacyName(10, kSigTI, 2, "ТИ10");
  st.PutLegacyName(-1, kSigTI, 2, "x");
  st.PutLegacyName(kMaxRows, kSigTS, 0, "x");
  st.PutLegacyName(3, kSigMTS, 0, "x");  // only ТС, ТУ, ТИ and ТР are kept
  EXPECT_EQ(st.LegacyCount(kSigTI), 11);
  EXPECT_EQ(st.LegacyName(kSigTI, 10), "ТИ10");
  EXPECT_EQ(st.LegacyWidth(10), 2);
  EXPECT_EQ(st.LegacyCount(kSigTS), 0);
  EXPECT_EQ(st.LegacyCount(kSigMTS), 0);
  st.ClearLegacyNames();
  EXPECT_EQ(st.LegacyCount(kSigTI), 0);

  // More ТС signals than the controller numbers: the rest get no index; said once.
  auto* src = static_cast<TSourceHolder*>(d.Tree().Add(d.ProcNode(), std::make_unique<TSourceHolder>())->Item());
  src->SetCounts({0, 8000, 0, 0, 0, 0, 0});
  AddBoard<TDI32>(d, 1);
  AddBoard<TDI32>(d, 2);
  AddBoard<TDI32>(d, 4);
  AddBoard<TDI32>(d, 5);
  AddBoard<TDI32>(d, 6);
  AddBoard<TDI32>(d, 7);
  AddBoard<TDI32>(d, 8);
  st.Rebuild();
  EXPECT_EQ(st.List(kSigTS).Count(), kMaxRows);
  EXPECT_EQ(st.IndexOf(kSigTS, src->Src(kSigTS).At(7999)), -1);
  EXPECT_EQ(st.IndexOf(kSigTS, src->Src(kSigTS).At(7967)), kMaxRows - 1);
  ASSERT_EQ(msgs.errors.size(), 1u);
  EXPECT_EQ(msgs.errors[0], "Сигналов ТС больше 8192: 32 последних не получили адреса в контроллере");
}
