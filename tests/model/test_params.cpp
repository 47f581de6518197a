// Signal tables: naming rules, building rows, shared rows, the row limit, the ТИ section and
// the editing operations of the storage panel and the table editors.
#include <gtest/gtest.h>

#include <cstring>

#include "model/boards.h"
#include "model/controller.h"
#include "model/cp1251.h"
#include "model/document.h"
#include "model/messages.h"
#include "model/params.h"
#include "model/storage.h"
#include "signal_holders.h"

using namespace t32;
using namespace t32test;

namespace {
TDI32* AddDI32(TDocument& d, int number = 0) {
  TNode* n = d.Tree().Add(d.Tree().Root(), std::make_unique<TDI32>());
  auto* b = static_cast<TDI32*>(n->Item());
  if (number) b->SetAddress(number);
  return b;
}
}  // namespace

TEST(Names, SplitSuffixAndReprefix) {
  struct Case {
    const char* name;
    const char* prefix;
  } cases[] = {
      {"A.B.C", "A.B"},        {"A.B", "A"},           {"Имя", ""},          {"..A..B", "A"},
      {"4_DI32.Пр1", "4_DI32"}, {"4_AI16.1_Порт.Пр3", "4_AI16.1_Порт"}, {".", ""}, {"A.", "A"},
  };
  for (const auto& c : cases) EXPECT_EQ(TParams::SplitPrefix(c.name), c.prefix) << c.name;
  // Suffixes and re-prefixing count characters, not UTF-8 bytes.
  EXPECT_EQ(TParams::NameSuffix("4_DI32.Ввод", 6), "Ввод");
  EXPECT_EQ(TParams::NameSuffix("Щит.Ввод", 3), "Ввод");
  EXPECT_EQ(TParams::ReprefixName("Щит.Ввод", 3, "Шкаф2"), "Шкаф2.Ввод");
  EXPECT_EQ(TParams::ReprefixName("3_DI32.Ввод", 6, "12_DI32"), "12_DI32.Ввод");
  EXPECT_EQ(TParams::ReprefixName("Ввод", 0, "5_DO32"), "5_DO32.Ввод");  // a dot is put in front
  EXPECT_EQ(TParams::ReprefixName("5_DO32.Ввод", 6, ""), "Ввод");       // no prefix: no stray dot
  std::string longName = "P." + std::string(70, 'x');
  EXPECT_EQ(Utf8Length(TParams::ReprefixName(longName, 1, "Длинный")), 64u);
}

TEST(Names, BoardNumberRenamesRowsAndKeepsUserSuffixes) {
  TDocument d;
  TDI32* b = AddDI32(d);
  TParams* t = b->Table(kSigTS);
  ASSERT_EQ(t->Count(), 32);
  EXPECT_EQ(t->At(0)->Name(), "0_DI32.Пр1");
  EXPECT_EQ(t->At(31)->Name(), "0_DI32.Пр32");
  t->RenameRow(4, "Ввод");
  EXPECT_EQ(t->At(4)->Name(), "0_DI32.Ввод");
  EXPECT_TRUE(t->At(4)->Renamed());
  b->SetAddress(3);
  for (int i = 0; i < 32; ++i) {
    EXPECT_EQ(t->At(i)->DefaultName(), "3_DI32.Пр" + std::to_string(i + 1));
    if (i != 4) {
      EXPECT_EQ(t->At(i)->Name(), t->At(i)->DefaultName());
    }
  }
  EXPECT_EQ(t->At(4)->Name(), "3_DI32.Ввод");
  EXPECT_EQ(t->At(4)->Suffix(), "Ввод");
  EXPECT_EQ(t->At(4)->DefaultSuffix(), "Пр5");
  b->SetAddress(15);  // above the board's range: nothing changes
  EXPECT_EQ(b->number, 3);
  EXPECT_EQ(t->At(0)->Name(), "3_DI32.Пр1");
}

TEST(Names, UserSuffixWithDotsKeepsEveryWordWhenTheOwnerIsRenumbered) {
  // The suffix is given once in the editor and once through the image: both must keep the
  // board's prefix and the whole of the user's "Насос.Пуск".
  TItemFactory f = HolderFactory();
  TDocument a(nullptr, &f);
  TDI32* b = AddDI32(a, 3);
  b->Table(kSigTS)->RenameRow(4, "Насос.Пуск");
  EXPECT_EQ(b->Table(kSigTS)->At(4)->Name(), "3_DI32.Насос.Пуск");
  EXPECT_EQ(b->Table(kSigTS)->At(4)->prefix, "3_DI32");
  a.WriteRecords();
  TDocument r(nullptr, &f);
  ASSERT_TRUE(r.Config().SetImage(a.Config().Image()));
  r.ReadRecords(false);
  auto* rb = static_cast<TDI32*>(r.Tree().Root()->Child(1)->Item());
  for (TDI32* board : {b, rb}) {
    board->SetAddress(4);
    EXPECT_EQ(board->Table(kSigTS)->At(4)->Name(), "4_DI32.Насос.Пуск");
    EXPECT_EQ(board->Table(kSigTS)->At(4)->Suffix(), "Насос.Пуск");
  }
  // A name that does not begin with the owner's prefix is still split at its last dot.
  TParam p;
  p.prefix = "4_DI32";
  p.SetName("Щит.Ввод.1");
  p.SplitPrefix();
  EXPECT_EQ(p.prefix, "Щит.Ввод");
}

TEST(Build, FromListKeepsRowsWhoseSuffixIsOfferedAgain) {
  TDocument d;
  TParamsTU t;
  ASSERT_TRUE(t.BuildFromList({"A", "B", "C"}, 0, "P"));
  TParamRef a = t.Ref(0), b = t.Ref(1);
  b->SetSuffix("Мой");
  ASSERT_TRUE(t.BuildFromList({"C", "B"}, 0, "Q"));
  ASSERT_EQ(t.Count(), 2);
  EXPECT_EQ(t.Ref(1), b);  // same row object, user name re-prefixed
  EXPECT_EQ(t.At(1)->Name(), "Q.Мой");
  EXPECT_EQ(t.At(0)->Name(), "Q.C");
  EXPECT_EQ(a->RefCount(), 1);  // released by the table: only this handle holds it
  // Rows that carried the owner's old default take the new default even with a new suffix.
  ASSERT_TRUE(t.Build(2, "R"));
  EXPECT_EQ(t.At(0)->Name(), "R.Пр1");
  EXPECT_EQ(t.At(1)->Name(), "R.Мой");
}

TEST(Rows, SharedRowsAreCountedAndNeverFreedWhileHeld) {
  TDocument d;
  TDI32* b = AddDI32(d);
  TParamRef row = b->Table(kSigTS)->Ref(0);
  std::weak_ptr<TParam> watch = row;
  TParamsTS out(kRoleOutput);
  ASSERT_TRUE(out.Append(row));
  std::vector<TParamRef> handles(300, row);  // more holders than an 8-bit count could take
  // The board's table, the storage list, the output table, `row` and the handles.
  EXPECT_EQ(row->RefCount(), 1 + 1 + 1 + 1 + 300);
  handles.clear();
  row.reset();
  d.Tree().Delete(b->node);  // the source goes; the output table still holds the row
  d.Storage().Rebuild();
  ASSERT_FALSE(watch.expired());
  EXPECT_EQ(out.At(0)->Name(), "0_DI32.Пр1");
  out.ClearRows();
  EXPECT_TRUE(watch.expired());
}

TEST(Rows, TableRefusesToPass8192RowsAndChangesNothing) {
  TRecordedMessages msgs;
  TDocument d(&msgs);
  TDI32* b = AddDI32(d);
  TParams* t = b->Table(kSigTS);
  EXPECT_FALSE(t->Build(kMaxRows + 1, "X"));
  EXPECT_EQ(t->Count(), 32);
  EXPECT_EQ(t->At(0)->Name(), "0_DI32.Пр1");
  ASSERT_EQ(msgs.errors.size(), 1u);
  EXPECT_EQ(msgs.errors[0], "В таблице ТС не может быть больше 8192 сигналов: операция отменена");

  TParamsTS big(kRoleSource);
  ASSERT_TRUE(big.Build(kMaxRows, "B"));
  EXPECT_FALSE(big.Append(big.NewParam()));
  EXPECT_FALSE(big.NewEmptyRow(0));
  std::vector<std::string> list(kMaxRows + 1, "x");
  EXPECT_FALSE(big.BuildFromList(list, 0, "B"));
  EXPECT_EQ(big.Count(), kMaxRows);

  // Adding from the storage: all or nothing.
  TParamsTS out(kRoleOutput);
  ASSERT_TRUE(out.Build(kMaxRows - 10, "O"));
  TParamsTS src(kRoleSource);
  src.Build(11, "S");
  for (int i = 0; i < 11; ++i) src.At(i)->selected = true;
  EXPECT_FALSE(out.AddFromList(src, false));
  EXPECT_FALSE(out.InsertSelected(src, 0));
  EXPECT_EQ(out.Count(), kMaxRows - 10);
  src.At(10)->selected = false;
  EXPECT_TRUE(out.AddFromList(src, false));
  EXPECT_EQ(out.Count(), kMaxRows);
}

TEST(TITable, WithoutGroupsOrGainsWritesOnlyCountNamesAndGroupNumbers) {
  TDocument d;
  TNode* n = d.Tree().Add(d.Tree().Root(), std::make_unique<TAI16>());
  auto* ai = static_cast<TAI16*>(n->Item());
  ai->Input(1)->SetConnection(1);
  TParams* ti = ai->Input(1)->Table(kSigTI);
  ASSERT_EQ(ti->Count(), 8);
  d.WriteRecords();
  const auto& img = d.Config().Image();
  std::size_t at = FindSectionCode(img, 213);
  ASSERT_GT(at, 0u);
  EXPECT_EQ(EntryKeys(img, at), (std::vector<int>{48, 14, 41, 46}));

  // With a gain and a group the optional arrays appear, in order, with the group's values.
  TTIGroup g;
  g.name = "Быстрые";
  g.upper = 100;
  g.lower = -5;
  g.relAperture = 2.6f;
  d.Proc()->SetGroups({g});
  ti->AcceptTI(2, 1.5f, 0, "Быстрые");
  d.WriteRecords();
  const auto& img2 = d.Config().Image();
  at = FindSectionCode(img2, 213);
  EXPECT_EQ(EntryKeys(img2, at), (std::vector<int>{48, 14, 41, 21, 42, 96, 97, 98, 46}));
  TConfig& c = d.Config();
  c.Pos = static_cast<std::int32_t>(at + 8);
  std::uint8_t rel[8], grp[8];
  ASSERT_TRUE(c.GetEntry(98, 8, rel));
  ASSERT_TRUE(c.GetEntry(46, 8, grp));
  EXPECT_EQ(rel[2], 3);  // rounded to the nearest integer
  EXPECT_EQ(grp[2], 1);
  EXPECT_EQ(grp[1], 0);
}

TEST(TITable, OldImagesRecreateGroupsUpToTheProcessorsHundred) {
  // A ТИ table of 4 rows without key 46: rows 0 and 2 share thresholds, row 1 differs, row 3
  // has none.
  auto floats = [](std::vector<float> v) {
    std::vector<std::uint8_t> b(v.size() * 4);
    std::memcpy(b.data(), v.data(), b.size());
    return b;
  };
  std::vector<std::uint8_t> names;
  for (int i = 0; i < 4; ++i) {
    auto f = NameField("Т" + std::to_string(i));
    names.insert(names.end(), f.begin(), f.end());
  }
  TBytes r;
  r.Sec(213).Ent(48, {1}).Ent(14, {4, 0}).Ent(41, names).Ent(96, floats({10, 20, 10, 0}))
      .Ent(97, floats({1, 2, 1, 0})).Ent(98, {5, 0, 5, 0}).End();

  auto load = [&](TDocument& d) {
    TParamsTI* t = new TParamsTI();
    d.Tree().Add(d.ProcNode(), std::unique_ptr<TParams>(t));
    t->Build(4, "");
    ASSERT_TRUE(d.Config().SetImage(r.Image()));
    t->LoadFromImage(d.Config());
  };
  {
    TDocument d;
    load(d);
    TProc* p = d.Proc();
    ASSERT_EQ(p->groupCount, 2u);
    EXPECT_EQ(p->groups[0].name, "Group0");
    EXPECT_EQ(p->groups[1].name, "Group1");
    EXPECT_FLOAT_EQ(p->groups[1].upper, 20);
    EXPECT_FLOAT_EQ(p->groups[0].relAperture, 5);
    auto* t = static_cast<TParams*>(d.ProcNode()->Child(1)->Item());
    EXPECT_EQ(t->At(0)->group, "Group0");
    EXPECT_EQ(t->At(1)->group, "Group1");
    EXPECT_EQ(t->At(2)->group, "Group0");
    EXPECT_EQ(t->At(3)->group, "");
    EXPECT_EQ(t->At(1)->Name(), "Т1");
  }
  {
    // The processor already holds 99 groups: one more fits, the other row stays without.
    TRecordedMessages msgs;
    TDocument d(&msgs);
    std::vector<TTIGroup> full(99);
    for (int i = 0; i < 99; ++i) full[static_cast<std::size_t>(i)].name = "g" + std::to_string(i);
    d.Proc()->SetGroups(full);
    load(d);
    auto* t = static_cast<TParams*>(d.ProcNode()->Child(1)->Item());
    EXPECT_EQ(d.Proc()->groupCount, 100u);
    EXPECT_EQ(t->At(0)->group, "Group99");
    EXPECT_EQ(t->At(1)->group, "");
    ASSERT_EQ(msgs.errors.size(), 1u);
    EXPECT_NE(msgs.errors[0].find("Групп ТИ больше 100"), std::string::npos);
  }
}

TEST(Editing, RemoveClearEmptyRowAndMoves) {
  TParamsTS src(kRoleSource);
  src.Build(5, "S");
  TParamsTS out(kRoleOutput);
  ASSERT_TRUE(out.AddFromList(src, true));
  ASSERT_TRUE(out.AddFromList(src, true));  // a second "all" adds nothing
  ASSERT_EQ(out.Count(), 5);
  // Remove row 2: rows 3 and 4 close up.
  out.At(2)->selected = true;
  EXPECT_TRUE(out.RemoveRows(false));
  ASSERT_EQ(out.Count(), 4);
  EXPECT_EQ(out.At(2)->Name(), "S.Пр4");
  EXPECT_EQ(src.At(2)->RefCount(), 1);
  // Clear row 1: an empty row stays in place.
  out.At(1)->selected = true;
  out.ClearSelected();
  EXPECT_EQ(out.Count(), 4);
  EXPECT_EQ(out.At(1)->Name(), "");
  // An empty row goes before the focused row; none focused: at 0.
  out.AddEmptyRow(-1);
  EXPECT_EQ(out.At(0)->Name(), "");
  EXPECT_EQ(out.At(1)->Name(), "S.Пр1");
  // Dragging selected rows to the end keeps their order.
  out.ClearSelection();
  out.At(1)->selected = true;
  out.At(4)->selected = true;
  out.MoveSelectedTo(out.Count());
  EXPECT_EQ(out.At(3)->Name(), "S.Пр1");
  EXPECT_EQ(out.At(4)->Name(), "S.Пр5");

  // Names move, default names stay; a block at the top does not move up.
  src.ClearSelection();
  src.At(0)->selected = true;
  src.MoveNamesUp();
  EXPECT_EQ(src.At(0)->Name(), "S.Пр1");
  src.At(0)->selected = false;
  src.At(2)->selected = true;
  src.At(3)->selected = true;
  src.MoveNamesUp();
  EXPECT_EQ(src.At(1)->Name(), "S.Пр3");
  EXPECT_EQ(src.At(2)->Name(), "S.Пр4");
  EXPECT_EQ(src.At(3)->Name(), "S.Пр2");
  EXPECT_EQ(src.At(1)->DefaultName(), "S.Пр2");
  EXPECT_TRUE(src.At(1)->selected && src.At(2)->selected && !src.At(3)->selected);
  src.MoveNamesDown();
  EXPECT_EQ(src.At(1)->Name(), "S.Пр2");

  // Pairs: the last row cannot start one; choosing single frees the second half.
  EXPECT_FALSE(src.SetPairKind(4, 1));
  EXPECT_TRUE(src.SetPairKind(3, 1));
  EXPECT_EQ(src.At(4)->tsKind, 2);
  EXPECT_FALSE(src.SetPairKind(2, 1));  // the next row already starts a pair
  EXPECT_TRUE(src.SetPairKind(3, 0));
  EXPECT_EQ(src.At(4)->tsKind, 0);
}

TEST(Editing, DuplicateNamesGetRepeatSuffixes) {
  TDocument d;
  TDI32* a = AddDI32(d, 1);
  TDI32* b = AddDI32(d, 2);
  TParams* ta = a->Table(kSigTS);
  TParams* tb = b->Table(kSigTS);
  ta->RenameRow(0, "Ввод");
  tb->RenameRow(0, "x");
  // Renaming into a name that exists among ТС signals.
  tb->At(0)->prefix = "1_DI32";
  tb->RenameRow(0, "Ввод");
  EXPECT_EQ(tb->At(0)->Name(), "1_DI32.Ввод_повтор1");
  tb->At(1)->prefix = "1_DI32";
  tb->RenameRow(1, "Ввод");
  EXPECT_EQ(tb->At(1)->Name(), "1_DI32.Ввод_повтор2");
  // Typing a repeat name of one's own starts again from its base.
  tb->RenameRow(2, "Пр3");
  EXPECT_EQ(tb->At(2)->Name(), "2_DI32.Пр3");
  // Restoring default names from the storage list.
  d.Storage().List(kSigTS).At(32)->selected = true;
  d.Storage().RestoreDefaultNames(kSigTS);
  EXPECT_EQ(tb->At(0)->Name(), "2_DI32.Пр1");
}
