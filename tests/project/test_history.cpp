// Undo history of a whole configuration: states are kept compressed, read back exactly, and
// bounded by count and bytes; an unchanged document adds no state.
#include <gtest/gtest.h>

#include "model/boards.h"
#include "model/document.h"
#include "model/factory.h"
#include "model/params.h"
#include "project/history.h"

using namespace t32;

namespace {

struct Doc {
  TItemFactory factory;
  std::unique_ptr<TDocument> doc;
  Doc() {
    RegisterModelItems(factory);
    doc = std::make_unique<TDocument>(nullptr, &factory);
  }
  TNode* AddBoard(int code) {
    TNode* n = doc->Tree().Add(doc->ControllerNode(), factory.Make(code, TItemPlace::Board));
    doc->AfterEdit();
    return n;
  }
};

TEST(History, UndoAndRedoReadBackEveryStateExactly) {
  Doc d;
  THistory h;
  h.Reset(*d.doc, {});
  std::vector<std::string> dumps{d.doc->Dump()};
  d.AddBoard(4);
  ASSERT_TRUE(h.Commit(*d.doc, {1, {0, 1}}));
  dumps.push_back(d.doc->Dump());
  d.AddBoard(15);
  ASSERT_TRUE(h.Commit(*d.doc, {}));
  dumps.push_back(d.doc->Dump());
  EXPECT_FALSE(h.Commit(*d.doc, {}));  // nothing changed: no state
  EXPECT_EQ(h.Count(), 3u);

  TViewState v;
  ASSERT_TRUE(h.Undo(*d.doc, &v));
  EXPECT_EQ(d.doc->Dump(), dumps[1]);
  EXPECT_EQ(v.selected, 1);
  EXPECT_EQ(v.expanded, (std::vector<int>{0, 1}));
  ASSERT_TRUE(h.Undo(*d.doc, &v));
  EXPECT_EQ(d.doc->Dump(), dumps[0]);
  EXPECT_FALSE(h.Undo(*d.doc, &v));
  ASSERT_TRUE(h.Redo(*d.doc, &v));
  ASSERT_TRUE(h.Redo(*d.doc, &v));
  EXPECT_EQ(d.doc->Dump(), dumps[2]);
  EXPECT_FALSE(h.Redo(*d.doc, &v));

  // A new edit after an undo drops what could have been redone.
  ASSERT_TRUE(h.Undo(*d.doc, &v));
  std::uint64_t before = h.CurrentId();
  d.AddBoard(5);
  ASSERT_TRUE(h.Commit(*d.doc, {}));
  EXPECT_NE(h.CurrentId(), before);
  EXPECT_FALSE(h.CanRedo());
  EXPECT_EQ(h.Count(), 3u);
}

TEST(History, MemoryIsBoundedByStatesAndBytes) {
  struct Case {
    std::size_t maxStates, maxBytes, expectStates;
  } cases[] = {{5, 256u << 20, 5}, {100, 1, 1}};
  for (const auto& c : cases) {
    Doc d;
    TNode* board = d.AddBoard(4);
    auto* t = dynamic_cast<TParams*>(board->Child(0)->Item());
    ASSERT_NE(t, nullptr);
    THistory h(c.maxStates, c.maxBytes);
    h.Reset(*d.doc, {});
    for (int i = 0; i < 12; ++i) {
      t->At(0)->SetName("Имя " + std::to_string(i));
      ASSERT_TRUE(h.Commit(*d.doc, {}));
      EXPECT_LE(h.Count(), c.maxStates);
    }
    EXPECT_EQ(h.Count(), c.expectStates) << c.maxStates << " " << c.maxBytes;
    // The newest state is always there; the oldest went first.
    std::string last = d.doc->Dump();
    TViewState v;
    while (h.Undo(*d.doc, &v)) {
    }
    if (c.expectStates > 1) {
      std::string oldest = dynamic_cast<TParams*>(d.doc->ControllerNode()->Child(1)->Child(0)->Item())->At(0)->Name();
      EXPECT_EQ(oldest, "Имя " + std::to_string(12 - static_cast<int>(c.expectStates)));
    } else {
      EXPECT_EQ(d.doc->Dump(), last);
    }
  }
}

}  // namespace
