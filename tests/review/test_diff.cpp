// The comparison of two configurations: each kind of change between two small configurations
// read from images gives exactly its lines, the reverse comparison mirrors them, and equal
// configurations (also an image and its JSON form) give none.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>

#include "model/boards.h"
#include "model/document.h"
#include "model/factory.h"
#include "model/messages.h"
#include "model/params.h"
#include "model/storage.h"
#include "model/controller.h"
#include "ports/port_menu.h"
#include "ports/port_pu.h"
#include "ports/register.h"
#include "project/cfgfile.h"
#include "project/json.h"
#include "review/diff.h"
#include "model/signal_holders.h"

using namespace t32;

namespace {

struct TDoc {
  TRecordedMessages msgs;
  std::unique_ptr<TDocument> doc = std::make_unique<TDocument>(&msgs, &PortsFactory());
};

// The base: a DI32 at 0 and a DO32 board, a control-station port passing the ТС inputs on and a
// second control-station port passing the first eight.
void BuildBase(TDocument& d) {
  for (int code : {4, 9}) {
    TNode* n = d.Tree().Add(d.Tree().Root(), DefaultFactory().Make(code, TItemPlace::Board));
    ASSERT_NE(n, nullptr);
  }
  static_cast<TBlock*>(d.Tree().Root()->Child(1)->Item())->SetAddress(0);
  static_cast<TBlock*>(d.Tree().Root()->Child(2)->Item())->SetAddress(2);
  d.AfterEdit();
  TNode* p1 = AddPortFromMenu(d, 101);
  ASSERT_NE(p1, nullptr);
  static_cast<TPortPU*>(p1->Item())->Table(kSigTS)->AddFromList(d.Storage().List(kSigTS), true);
  d.AfterEdit();
}

// The document written as an image and read back: what a file holds.
void Reload(TDoc& t) {
  std::vector<std::uint8_t> img;
  ASSERT_TRUE(BuildImage(*t.doc, {}, img));
  auto fresh = std::make_unique<TDocument>(&t.msgs, &PortsFactory());
  TCpu cpu = TCpu::Cpu927;
  ASSERT_TRUE(ParseImage(*fresh, img, false, &cpu));
  t.doc = std::move(fresh);
}

TNode* Find(TDocument& d, const std::string& path) {
  TNode* hit = nullptr;
  d.Tree().ForEach([&](TNode* n) {
    if (!hit && NodePath(n) == path) hit = n;
  });
  return hit;
}

std::vector<std::string> Lines(const std::vector<TDifference>& list, bool mirror = false) {
  std::vector<std::string> out;
  for (const auto& d : list) out.push_back(DifferenceLine(mirror ? Mirror(d) : d));
  std::sort(out.begin(), out.end());
  return out;
}

struct TCase {
  const char* what;
  std::function<void(TDocument&)> change;
  std::vector<std::string> expected;  // lines of b against a, in tree order
};

TEST(Diff, EachChangeGivesItsLinesAndTheReverseMirrorsThem) {
  const std::vector<TCase> cases = {
      {"a setting",
       [](TDocument& d) { static_cast<TDI32*>(Find(d, "0_Плата DI32")->Item())->debounce = 1; },
       {"changed 0_Плата DI32: debounce: 2 -> 1"}},
      {"a board at another address",
       [](TDocument& d) {
         static_cast<TBlock*>(Find(d, "0_Плата DI32")->Item())->SetAddress(3);
         d.AfterEdit();
       },
       {"moved 0_Плата DI32 -> 3_Плата DI32"}},
      {"a port renumbered",
       [](TDocument& d) {
         TItem* pu = Find(d, "Процессор/1_Порт ПУ")->Item();
         pu->number = 4;
         pu->UpdateNode();
       },
       {"renumbered Процессор/1_Порт ПУ -> Процессор/4_Порт ПУ"}},
      {"a row renamed",
       [](TDocument& d) {
         auto* t = static_cast<TParams*>(Find(d, "0_Плата DI32/ТС")->Item());
         t->RenameRow(2, "Выключатель");
       },
       {"row-renamed 0_Плата DI32/ТС[2] \"0_DI32.Пр3\": \"0_DI32.Пр3\" -> \"0_DI32.Выключатель\""}},
      {"a row moved",
       [](TDocument& d) {
         auto* t = static_cast<TParams*>(Find(d, "Процессор/1_Порт ПУ/ТС")->Item());
         t->SelectOnly(5);
         t->MoveSelectedTo(0);
       },
       {"row-moved Процессор/1_Порт ПУ/ТС[5 -> 0] \"0_DI32.Пр6\""}},
      {"an output row whose source was deleted",
       [](TDocument& d) {
         d.Tree().Delete(Find(d, "0_Плата DI32"));
         d.AfterEdit();
       },
       [] {
         // Every row the port took from the board no longer resolves; the board's own rows go
         // with it.
         std::vector<std::string> l;
         for (int i = 0; i < 32; ++i)
           l.push_back("source Процессор/1_Порт ПУ/ТС[" + std::to_string(i) + "] 0_DI32.Пр" + std::to_string(i + 1) +
                       ": 0_Плата DI32/ТС -> unresolved");
         l.push_back("removed 0_Плата DI32");
         return l;
       }()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TDoc a, b;
    BuildBase(*a.doc);
    Reload(a);
    BuildBase(*b.doc);
    c.change(*b.doc);
    Reload(b);
    auto forward = CompareConfigurations(*a.doc, *b.doc);
    std::vector<std::string> got;
    for (const auto& d : forward) got.push_back(DifferenceLine(d));
    EXPECT_EQ(got, c.expected) << DifferencesText(forward);
    auto backward = CompareConfigurations(*b.doc, *a.doc);
    EXPECT_EQ(Lines(backward), Lines(forward, true)) << DifferencesText(backward);
  }
}

TEST(Diff, EqualConfigurationsAndAnImageAgainstItsJsonGiveNothing) {
  TDoc a, b, j;
  BuildBase(*a.doc);
  Reload(a);
  BuildBase(*b.doc);
  Reload(b);
  EXPECT_TRUE(CompareConfigurations(*a.doc, *b.doc).empty());
  std::string text = ExportJson(*a.doc, TCpu::Cpu927);
  TCpu cpu;
  std::string err;
  ASSERT_TRUE(ImportJson(*j.doc, text, &cpu, &err)) << err;
  auto d = CompareConfigurations(*a.doc, *j.doc);
  EXPECT_TRUE(d.empty()) << DifferencesText(d);
}

// A section this build cannot read compares as one block: equal, or different with its code.
TEST(Diff, KeptSectionsCompareAsOpaqueBlocks) {
  auto image = [](std::uint8_t last) {
    t32test::TBytes r;
    r.Sec(0).Ent(48, {1}).Ent(1, {7, 0}).Ent(2, {2}).Ent(3, {1}).End();
    r.Sec(99).Ent(48, {1}).Ent(1, {5}).Ent(500, {1, 2, last}).End();
    r.Sec(100).Ent(48, {1}).Ent(20, {0}).End();
    return r.Image();
  };
  TDocument a, same, b;
  for (auto [d, last] : {std::pair{&a, 3}, std::pair{&same, 3}, std::pair{&b, 4}}) {
    ASSERT_TRUE(d->Config().SetImage(image(static_cast<std::uint8_t>(last))));
    d->ReadRecords(false);
  }
  EXPECT_TRUE(CompareConfigurations(a, same).empty());
  auto d = CompareConfigurations(a, b);
  ASSERT_EQ(d.size(), 1u) << DifferencesText(d);
  EXPECT_EQ(d[0].kind, TDiffKind::SectionChanged);
  EXPECT_EQ(d[0].field, "code 99");
  EXPECT_EQ(d[0].path, d[0].pathB);
  EXPECT_NE(d[0].path.find("99"), std::string::npos);
  auto back = CompareConfigurations(b, a);
  EXPECT_EQ(Lines(back), Lines(d, true));
}

}  // namespace
