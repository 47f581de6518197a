// The discrete logic port: its image sections (a hand-written fixture and a hostile image), the
// editing rules through the editing object, task names across renumbering and reopening,
// signals following their rows, and seeded random diagrams through image and JSON.
#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "model/boards.h"
#include "model/document.h"
#include "model/factory.h"
#include "model/messages.h"
#include "model/params.h"
#include "model/signal_holders.h"
#include "model/storage.h"
#include "ports/ld_editor.h"
#include "ports/ld_svg.h"
#include "ports/port_ld.h"
#include "ports/port_menu.h"
#include "ports/register.h"
#include "project/cfgfile.h"
#include "project/json.h"

using namespace t32;
using t32test::TBytes;

namespace {

using Bytes = std::vector<std::uint8_t>;
Bytes U16(std::uint16_t v) { return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)}; }

struct Fixture {
  TRecordedMessages msgs;
  TDocument doc{&msgs, &PortsFactory()};
  TBlock* AddDI32(int address, int index = -1) {
    TNode* n = doc.Tree().Add(doc.Tree().Root(), DefaultFactory().Make(4, TItemPlace::Board), index);
    auto* b = dynamic_cast<TBlock*>(n->Item());
    b->SetAddress(address);
    doc.AfterEdit();
    return b;
  }
  TPortLD* AddPort() {
    TNode* n = AddPortFromMenu(doc, 131);
    return n ? dynamic_cast<TPortLD*>(n->Item()) : nullptr;
  }
  TPortLD* Port() const {
    for (int i = 0; i < doc.ProcNode()->ChildCount(); ++i)
      if (auto* p = dynamic_cast<TPortLD*>(doc.ProcNode()->Child(i)->Item())) return p;
    return nullptr;
  }
  Bytes Records() {
    std::int32_t end = doc.WriteRecords();
    const auto& img = doc.Config().Image();
    return {img.begin() + TConfig::kDataStart, img.begin() + end};
  }
  // Reads a whole image (head included) into this document.
  void Read(const Bytes& image) {
    doc.NewConfiguration();
    ASSERT_TRUE(doc.Config().SetImage(image));
    doc.ReadRecords(false);
  }
  Bytes Image() {
    Bytes r = Records();
    Bytes img(TConfig::kDataStart, 0);
    img.insert(img.end(), r.begin(), r.end());
    return img;
  }
};

// The bytes of the first section with this code in an image.
Bytes SectionBytes(const Bytes& img, int code) {
  std::size_t at = t32test::FindSectionCode(img, code);
  if (!at) return {};
  std::size_t len = img[at + 4] | (img[at + 5] << 8) | (img[at + 6] << 16) | (std::size_t(img[at + 7]) << 24);
  return {img.begin() + static_cast<std::ptrdiff_t>(at), img.begin() + static_cast<std::ptrdiff_t>(at + len)};
}

// Replaces the first section of this code in an image by other bytes.
Bytes Splice(const Bytes& img, int code, const Bytes& with) {
  std::size_t at = t32test::FindSectionCode(img, code);
  std::size_t len = SectionBytes(img, code).size();
  Bytes out(img.begin(), img.begin() + static_cast<std::ptrdiff_t>(at));
  out.insert(out.end(), with.begin(), with.end());
  out.insert(out.end(), img.begin() + static_cast<std::ptrdiff_t>(at + len), img.end());
  return out;
}

// Contacts at the given columns of row 0 of a new task; signal i of the ТС storage each.
void AddTaskWith(TLDEditor& ed, const std::vector<std::pair<int, int>>& colSignal) {
  ed.AddTask();
  int row = ed.port.tasks.back()->row;
  ed.SetContactMode(true);
  for (auto [c, s] : colSignal) ed.Click(c, row, TLDEditor::kLeft);
  ed.SetContactMode(false);
  for (auto [c, s] : colSignal) {
    ed.EnsureLayout();
    TLD* e = nullptr;
    for (int x = 0; x < 255 && !e; ++x)
      if (TLD* k = ed.ElementAt(x, row); k && k->Kind() == TLDKind::Contact && !k->signal) e = k;
    ed.Click(e->col, row, TLDEditor::kLeft);
    ed.ChooseSignal(s);
  }
  ed.ClearSelection();
}

std::vector<int> Columns(const TLine& l) {
  std::vector<int> out;
  for (auto& e : l.elements) out.push_back(e->col);
  return out;
}

}  // namespace

// The example of the documentation: contacts A and B in series, written byte for byte; read
// back and written again, the same bytes.
TEST(PortLD, SeriesExampleMatchesHandWrittenSection) {
  Fixture f;
  f.AddDI32(3);
  TPortLD* p = f.AddPort();
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->Caption(), "1_Порт дискретной логики");
  EXPECT_FALSE(PortEntryEnabled(f.doc, 131, true));  // one logic port per configuration
  TLDEditor ed(*p);
  AddTaskWith(ed, {{0, 0}, {1, 1}});
  ASSERT_NE(p->Table(), nullptr);
  const Bytes img = f.Image();
  // The table writes itself (its own tests cover it); the rest is written out here.
  TConfig tc;
  tc.BeginWrite();
  p->Table()->SaveToImage(tc);
  Bytes table(tc.Image().begin() + TConfig::kDataStart, tc.Image().begin() + tc.Pos);
  TBytes want;
  want.Sec(131).Ent(48, {1}).Ent(1, {1}).Ent(20, U16(1));
  want.Sec(228).Ent(48, {1});
  want.Sec(225).Ent(48, {1}).Ent(43, {0}).Ent(41, U16(32)).End();  // the task's row follows the DI32's 32
  want.Sec(226).Ent(48, {1}).Ent(20, U16(2));
  want.Sec(225).Ent(48, {1}).Ent(43, {0}).Ent(41, U16(0)).End();
  want.Sec(225).Ent(48, {1}).Ent(43, {0}).Ent(41, U16(1)).End();
  want.End().End();
  want.b.insert(want.b.end(), table.begin(), table.end());
  want.End();
  EXPECT_EQ(SectionBytes(img, 131), want.b);
  EXPECT_EQ(p->TaskText(0), "1_Порт.Пр_0 := ТС_0 \"3_DI32.Пр1\" & ТС_1 \"3_DI32.Пр2\"");
  EXPECT_TRUE(p->Problems().empty());

  Fixture g;
  g.Read(img);
  ASSERT_NE(g.Port(), nullptr);
  EXPECT_EQ(g.Image(), img);
  EXPECT_EQ(g.Port()->TaskText(0), p->TaskText(0));
  EXPECT_EQ(g.doc.Dump(), f.doc.Dump());
  EXPECT_TRUE(g.msgs.errors.empty()) << g.msgs.errors.front();
}

// A hostile image: shunts three deep, an inverted coil whose key 41 names a DI32 row, a
// contact index equal to the ТС count, a task of layout version 2, and a task count above the
// tasks present. The later tasks and the table's names are read all the same.
TEST(PortLD, HostileImageReadsWhatItCanAndSaysWhat) {
  Fixture f;
  f.AddDI32(3);
  f.AddPort();
  const Bytes base = f.Image();
  auto contact = [](TBytes& b, std::uint8_t inv, std::uint16_t sig) { b.Sec(225).Ent(48, {1}).Ent(43, {inv}).Ent(41, U16(sig)).End(); };
  TBytes s;
  s.Sec(131).Ent(48, {1}).Ent(1, {9}).Ent(20, U16(5));
  // Task 1: !coil := (((A) | B) | C)
  s.Sec(228).Ent(48, {1});
  contact(s, 1, 5);
  s.Sec(226).Ent(48, {1}).Ent(20, U16(1));
  s.Sec(227).Ent(48, {1}).Ent(20, U16(2));
  s.Sec(226).Ent(48, {1}).Ent(20, U16(1));
  s.Sec(227).Ent(48, {1}).Ent(20, U16(2));
  s.Sec(226).Ent(48, {1}).Ent(20, U16(1));
  s.Sec(227).Ent(48, {1}).Ent(20, U16(1));
  s.Sec(226).Ent(48, {1}).Ent(20, U16(1));
  contact(s, 0, 0);
  s.End().End().End();  // line, shunt 3, line
  s.Sec(226).Ent(48, {1}).Ent(20, U16(1));
  contact(s, 0, 1);
  s.End().End().End();  // line, shunt 2, line
  s.Sec(226).Ent(48, {1}).Ent(20, U16(1));
  contact(s, 0, 2);
  s.End().End().End().End();  // line, shunt 1, top line, task
  // Task 2: a newer layout.
  s.Sec(228).Ent(48, {2});
  contact(s, 0, 3);
  s.End();
  // Task 3: its contact reads index 35, one past the 32 + 3 ТС signals.
  s.Sec(228).Ent(48, {1});
  contact(s, 0, 0xFFFF);
  s.Sec(226).Ent(48, {1}).Ent(20, U16(1));
  contact(s, 0, 35);
  s.End().End();
  std::vector<std::uint8_t> names;
  for (const char* n : {"9_Порт.Пр_0", "9_Порт.Насос", "9_Порт.Пр_7"}) {
    auto fld = t32test::NameField(n);
    names.insert(names.end(), fld.begin(), fld.end());
  }
  s.Sec(211).Ent(48, {1}).Ent(13, U16(3)).Ent(41, names).End();
  s.End();

  Fixture g;
  g.Read(Splice(base, 131, s.b));
  TPortLD* p = g.Port();
  ASSERT_NE(p, nullptr);
  ASSERT_EQ(p->tasks.size(), 3u);
  ASSERT_EQ(g.msgs.errors.size(), 2u);
  EXPECT_EQ(g.msgs.errors[0], "Новая версия TaskLD");
  EXPECT_EQ(g.msgs.errors[1],
            "Схема дискретной логики: катушка управляет сигналом своей задачи, записанный номер не совпал (2):\n"
            "задача 1: записан ТС_5, её сигнал ТС_32\nзадача 3: записан ТС__, её сигнал ТС_34");
  EXPECT_EQ(p->TaskName(0), "9_Порт.Пр_0");
  EXPECT_EQ(p->TaskName(1), "9_Порт.Насос");
  EXPECT_EQ(p->TaskName(2), "9_Порт.Пр_7");
  EXPECT_EQ(p->tasks[0]->coil->row, p->Table()->At(0));
  EXPECT_EQ(p->TaskText(0), "!9_Порт.Пр_0 := (((ТС_0 \"3_DI32.Пр1\") | ТС_1 \"3_DI32.Пр2\") | ТС_2 \"3_DI32.Пр3\")");
  EXPECT_EQ(p->TaskText(1), "9_Порт.Насос := ()");
  EXPECT_EQ(p->TaskText(2), "9_Порт.Пр_7 := ?");
  auto problems = p->Problems();
  EXPECT_EQ(problems, (std::vector<std::string>{"задача 2 \"9_Порт.Насос\": нет контактов",
                                                 "задача 3 \"9_Порт.Пр_7\": контактов без сигнала: 1"}));
  // Written again: the coils name their own rows.
  Bytes again = g.Image();
  Fixture h;
  h.Read(again);
  EXPECT_TRUE(h.msgs.errors.empty());
  EXPECT_EQ(h.Image(), again);
}

TEST(PortLD, ShuntsNestedTooDeepStopWithAMessage) {
  Fixture f;
  f.AddPort();
  const Bytes base = f.Image();
  TBytes s;
  s.Sec(131).Ent(48, {1}).Ent(1, {1}).Ent(20, U16(1));
  s.Sec(228).Ent(48, {1});
  s.Sec(225).Ent(48, {1}).End();
  s.Sec(226).Ent(48, {1}).Ent(20, U16(1));
  const int depth = 2000;
  for (int i = 0; i < depth; ++i) s.Sec(227).Ent(48, {1}).Ent(20, U16(1)).Sec(226).Ent(48, {1}).Ent(20, U16(1));
  for (int i = 0; i < depth; ++i) s.End().End();
  s.End().End().End();
  Fixture g;
  g.Read(Splice(base, 131, s.b));
  ASSERT_NE(g.Port(), nullptr);
  ASSERT_EQ(g.msgs.errors.size(), 1u);
  EXPECT_NE(g.msgs.errors[0].find("глубже 32"), std::string::npos);
  EXPECT_EQ(g.Port()->tasks.size(), 1u);
}

// The editing rules, one case each, through the editing object.
TEST(PortLD, EditingRules) {
  struct Case {
    const char* name;
    std::function<void(Fixture&, TPortLD&, TLDEditor&)> run;
  };
  const std::vector<Case> cases = {
      {"first task makes the table, last deleted task removes it",
       [](Fixture& f, TPortLD& p, TLDEditor& ed) {
         EXPECT_FALSE(ed.ContactEnabled());
         EXPECT_EQ(p.node->ChildCount(), 0);
         ed.AddTask();
         EXPECT_TRUE(ed.ContactEnabled());
         ASSERT_EQ(p.node->ChildCount(), 1);
         ASSERT_NE(p.Table(), nullptr);
         EXPECT_EQ(p.Table()->At(0)->Name(), "1_Порт.Пр_0");
         EXPECT_EQ(p.tasks[0]->coil->col, 9);
         ed.Click(9, 0, TLDEditor::kLeft);
         f.msgs.answer = kYes;
         ed.Delete();
         EXPECT_EQ(f.msgs.questions.back(), "Удалить задачу?");
         EXPECT_EQ(p.node->ChildCount(), 0);
       }},
      {"a line needing a tenth column moves every coil to column 10",
       [](Fixture&, TPortLD& p, TLDEditor& ed) {
         ed.AddTask();
         ed.AddTask();
         ed.SetContactMode(true);
         for (int i = 0; i < 9; ++i) ed.Click(0, 0, TLDEditor::kLeft);
         EXPECT_EQ(p.tasks[0]->coil->col, 9);
         ed.Click(0, 0, TLDEditor::kLeft);
         ed.EnsureLayout();
         EXPECT_EQ(p.tasks[0]->coil->col, 10);
         EXPECT_EQ(p.tasks[1]->coil->col, 10);
         EXPECT_TRUE(ed.contactMode);
       }},
      {"an occupied cell inserts in front; the coil's column ends contact mode",
       [](Fixture&, TPortLD& p, TLDEditor& ed) {
         ed.AddTask();
         ed.SetContactMode(true);
         ed.Click(2, 0, TLDEditor::kLeft);
         TBaseLD* first = p.tasks[0]->line->elements[0].get();
         ed.Click(2, 0, TLDEditor::kLeft);
         ed.EnsureLayout();
         ASSERT_EQ(p.tasks[0]->line->elements.size(), 2u);
         EXPECT_EQ(p.tasks[0]->line->elements[1].get(), first);
         EXPECT_EQ(Columns(*p.tasks[0]->line), (std::vector<int>{2, 3}));
         ed.Click(9, 0, TLDEditor::kLeft);
         EXPECT_FALSE(ed.contactMode);
         EXPECT_EQ(p.tasks[0]->line->elements.size(), 2u);
       }},
      {"a gap stays while editing and closes after writing and reading",
       [](Fixture& f, TPortLD& p, TLDEditor& ed) {
         ed.AddTask();
         ed.AddTask();
         ed.SetContactMode(true);
         ed.Click(5, 0, TLDEditor::kLeft);
         ed.Click(1, 1, TLDEditor::kLeft);
         ed.EnsureLayout();
         EXPECT_EQ(Columns(*p.tasks[0]->line), std::vector<int>{5});
         Fixture g;
         g.Read(f.Image());
         EXPECT_EQ(Columns(*g.Port()->tasks[0]->line), std::vector<int>{0});
       }},
      {"two adjacent contacts make a two-branch shunt; a whole branch adds a third",
       [](Fixture&, TPortLD& p, TLDEditor& ed) {
         ed.AddTask();
         ed.SetContactMode(true);
         ed.Click(0, 0, TLDEditor::kLeft);
         ed.Click(1, 0, TLDEditor::kLeft);
         ed.SetContactMode(false);
         ed.Click(0, 0, TLDEditor::kLeft);
         ed.Click(1, 0, TLDEditor::kLeft, {true, false, false, false});
         ASSERT_TRUE(ed.ShuntEnabled());
         ed.Shunt();
         EXPECT_FALSE(ed.ShuntEnabled());
         ASSERT_EQ(p.tasks[0]->line->elements.size(), 1u);
         auto* s = dynamic_cast<TStack*>(p.tasks[0]->line->elements[0].get());
         ASSERT_NE(s, nullptr);
         ASSERT_EQ(s->branches.size(), 2u);
         EXPECT_EQ(s->branches[0]->elements.size(), 2u);
         EXPECT_EQ(s->branches[1]->elements.size(), 1u);
         EXPECT_EQ(s->height, 2);
         // The whole first branch again: a third branch of the same shunt.
         ed.Click(0, 0, TLDEditor::kLeft);
         ed.Click(1, 0, TLDEditor::kLeft, {true, false, false, false});
         ed.Shunt();
         ASSERT_EQ(p.tasks[0]->line->elements.size(), 1u);
         EXPECT_EQ(s->branches.size(), 3u);
         EXPECT_EQ(p.tasks[0]->height, 3);
         // Deleting the only contacts of branches 2 and 3 dissolves the shunt in order.
         TBaseLD* a = s->branches[0]->elements[0].get();
         TBaseLD* b = s->branches[0]->elements[1].get();
         ed.Click(0, 1, TLDEditor::kLeft);
         ed.Click(0, 2, TLDEditor::kLeft, {false, true, false, false});
         ed.Delete();
         ASSERT_EQ(p.tasks[0]->line->elements.size(), 2u);
         EXPECT_EQ(p.tasks[0]->line->elements[0].get(), a);
         EXPECT_EQ(p.tasks[0]->line->elements[1].get(), b);
         EXPECT_EQ(a->parent, p.tasks[0]->line.get());
         EXPECT_EQ(p.tasks[0]->height, 1);
       }},
      {"a range across different branches passes the shunt test only on element edges",
       [](Fixture&, TPortLD& p, TLDEditor& ed) {
         ed.AddTask();
         ed.SetContactMode(true);
         for (int c : {0, 1, 2}) ed.Click(c, 0, TLDEditor::kLeft);
         ed.SetContactMode(false);
         ed.Click(0, 0, TLDEditor::kLeft);
         ed.Click(1, 0, TLDEditor::kLeft, {true, false, false, false});
         ed.Shunt();  // (A & B | N) & C
         ed.Click(0, 1, TLDEditor::kLeft);  // N, in branch 2: the run holds N alone
         ed.Click(2, 1, TLDEditor::kLeft, {true, false, false, false});
         EXPECT_EQ(ed.rangeStart, ed.rangeEnd);
         EXPECT_TRUE(ed.ShuntEnabled());
         ed.Click(1, 0, TLDEditor::kLeft);  // B
         ed.Click(2, 0, TLDEditor::kLeft, {true, false, false, false});  // to C: B does not start the shunt
         EXPECT_EQ(ed.rangeStart, ed.ElementAt(1, 0));
         EXPECT_FALSE(ed.ShuntEnabled());
         ed.Click(0, 0, TLDEditor::kLeft);
         ed.Click(2, 0, TLDEditor::kLeft, {true, false, false, false});  // A to C: the whole line
         EXPECT_TRUE(ed.ShuntEnabled());
         (void)p;
       }},
      {"a selected coil answered no removes only the selected contacts",
       [](Fixture& f, TPortLD& p, TLDEditor& ed) {
         ed.AddTask();
         ed.SetContactMode(true);
         ed.Click(0, 0, TLDEditor::kLeft);
         ed.Click(1, 0, TLDEditor::kLeft);
         ed.SetContactMode(false);
         ed.Click(9, 0, TLDEditor::kLeft);
         ed.Click(1, 0, TLDEditor::kLeft, {false, true, false, false});
         f.msgs.answer = kNo;
         ed.Delete();
         ASSERT_EQ(p.tasks.size(), 1u);
         EXPECT_EQ(p.tasks[0]->line->elements.size(), 1u);
       }},
      {"duplicating copies the arrangement without signals and makes a new row",
       [](Fixture& f, TPortLD& p, TLDEditor& ed) {
         f.AddDI32(3);
         AddTaskWith(ed, {{0, 0}, {1, 1}});
         ed.Click(0, 0, TLDEditor::kLeft);
         ed.SetInversion(true);
         ed.Click(0, 0, TLDEditor::kLeft);
         ed.Click(1, 0, TLDEditor::kLeft, {true, false, false, false});
         ed.Shunt();
         ed.Click(9, 0, TLDEditor::kRight);
         EXPECT_TRUE(ed.menuOpened);
         EXPECT_TRUE(ed.menuDuplicate);
         ed.Duplicate();
         ASSERT_EQ(p.tasks.size(), 2u);
         EXPECT_EQ(p.TaskText(1), "1_Порт.Пр_1 := (? & ? | ?)");
         EXPECT_EQ(p.Table()->Count(), 2);
         EXPECT_EQ(p.tasks[1]->row, 2);
       }},
      {"rename: a used name asks again, the own name is accepted, empty is refused",
       [](Fixture& f, TPortLD& p, TLDEditor& ed) {
         ed.AddTask();
         ed.AddTask();
         f.msgs.texts = {"Пуск"};
         EXPECT_TRUE(ed.Rename(0));
         f.msgs.prompts.clear();
         f.msgs.texts = {"Пуск", "", "Стоп"};
         ed.Click(9, 1, TLDEditor::kLeft, {false, false, false, true});  // double click on the coil
         EXPECT_EQ(f.msgs.prompts, (std::vector<std::string>{"Введите имя задачи", "Имя задачи уже используется",
                                                             "Имя задачи уже используется"}));
         EXPECT_EQ(p.TaskName(1), "1_Порт.Стоп");
         f.msgs.texts = {"Пуск"};
         EXPECT_TRUE(ed.Rename(0));
         // Cancel keeps the name; a character outside cp1251 is not taken.
         f.msgs.texts = {"Пуск☃"};
         EXPECT_FALSE(ed.Rename(0));
         EXPECT_EQ(p.TaskName(0), "1_Порт.Пуск");
       }},
      {"signal controls: none, lost and chosen rows",
       [](Fixture& f, TPortLD& p, TLDEditor& ed) {
         f.AddDI32(3);
         ed.AddTask();
         EXPECT_FALSE(ed.Signal().enabled);
         ed.Click(9, 0, TLDEditor::kLeft);
         EXPECT_FALSE(ed.Signal().enabled);  // a coil
         AddTaskWith(ed, {{0, 32}});        // reads task 1's row
         ed.Click(0, 1, TLDEditor::kLeft);
         EXPECT_EQ(ed.Signal().label, "ТС_32");
         ed.Click(9, 0, TLDEditor::kLeft);
         f.msgs.answer = kYes;
         ed.Delete();  // the task it read is gone
         ed.Click(0, 0, TLDEditor::kLeft);
         EXPECT_EQ(ed.Signal().label, "ТС__");
         EXPECT_EQ(p.TaskText(0), "1_Порт.Пр_1 := ?");
         ASSERT_EQ(p.Problems().size(), 1u);
         EXPECT_NE(p.Problems()[0].find("удалён из хранилища"), std::string::npos);
         ed.ChooseSignal(4);
         EXPECT_EQ(ed.Signal().label, "ТС_4");
       }},
      {"a task wider than 255 cells is refused",
       [](Fixture& f, TPortLD& p, TLDEditor& ed) {
         ed.AddTask();
         ed.SetContactMode(true);
         for (int i = 0; i < 260; ++i) ed.Click(0, 0, TLDEditor::kLeft);
         ASSERT_FALSE(f.msgs.errors.empty());
         EXPECT_EQ(p.tasks[0]->line->elements.size(), 254u);
         EXPECT_EQ(f.msgs.errors.back(), "Задача не может быть шире или выше 255 клеток.");
         EXPECT_EQ(p.tasks[0]->coil->col, 254);
       }},
      {"shunts nest at most 32 deep, as deep as an image is read",
       [](Fixture& f, TPortLD& p, TLDEditor& ed) {
         ed.AddTask();
         TLine* l = p.tasks[0]->line.get();
         auto contact = [](TLine* in) {
           auto c = std::make_unique<TLD>();
           c->parent = in;
           in->elements.push_back(std::move(c));
         };
         for (int level = 0; level < 32; ++level) {
           auto s = std::make_unique<TStack>();
           s->parent = l;
           TStack* sp = s.get();
           l->elements.push_back(std::move(s));
           TLine* first = sp->AddBranch();
           contact(sp->AddBranch());
           l = first;
         }
         contact(l);
         contact(l);
         ed.relayout = true;
         ed.EnsureLayout();
         const std::string before = p.TaskText(0);
         ed.Click(0, 0, TLDEditor::kLeft);  // the first of the two innermost contacts
         ed.Click(0, 0, TLDEditor::kLeft, {true, false, false, false});
         ASSERT_TRUE(ed.ShuntEnabled());
         ed.Shunt();
         ASSERT_FALSE(f.msgs.errors.empty());
         EXPECT_EQ(f.msgs.errors.back(), "Шунты не могут быть вложены глубже 32 уровней.");
         EXPECT_EQ(p.TaskText(0), before);
         Fixture g;
         g.Read(f.Image());
         EXPECT_EQ(g.Port()->TaskText(0), p.TaskText(0));
       }},
      {"the pointer marks one cell at a time, across tasks and after a deletion",
       [](Fixture& f, TPortLD& p, TLDEditor& ed) {
         for (int i = 0; i < 3; ++i) ed.AddTask();
         ed.SetContactMode(true);
         for (int r : {0, 1, 2}) ed.Click(0, r, TLDEditor::kLeft);
         auto marked = [&] {
           int n = 0;
           for (auto& t : p.tasks) {
             for (auto c : t->line->cells) n += (c & kLDHover) != 0;
             t->line->ForEachContact([&](TLD& c) { n += (c.state & kLDHover) != 0; });
           }
           return n;
         };
         EXPECT_TRUE(ed.Move(0, 0));
         EXPECT_EQ(marked(), 2);  // the cell and its contact
         EXPECT_TRUE(ed.Move(3, 2));
         EXPECT_EQ(marked(), 1);  // an empty cell of the last task
         ed.SetContactMode(false);
         ed.Click(9, 0, TLDEditor::kLeft);
         f.msgs.answer = kYes;
         ed.Delete();  // the marked task moves up a place
         ed.SetContactMode(true);
         EXPECT_TRUE(ed.Move(1, 0));
         EXPECT_EQ(marked(), 1);
         ed.SetContactMode(false);
         EXPECT_FALSE(ed.Move(1, 0));
         EXPECT_EQ(marked(), 0);
       }},
      {"new scheme asks, then empties the diagram",
       [](Fixture& f, TPortLD& p, TLDEditor& ed) {
         ed.AddTask();
         ed.SetContactMode(true);
         for (int i = 0; i < 12; ++i) ed.Click(0, 0, TLDEditor::kLeft);
         f.msgs.answer = kNo;
         ed.NewScheme();
         EXPECT_EQ(p.tasks.size(), 1u);
         f.msgs.answer = kYes;
         ed.NewScheme();
         EXPECT_EQ(f.msgs.questions.back(), "Удалить все задачи?");
         EXPECT_TRUE(p.tasks.empty());
         EXPECT_EQ(p.Table(), nullptr);
         EXPECT_EQ(p.diagramWidth, 10);
         EXPECT_FALSE(ed.contactMode);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    TPortLD* p = f.AddPort();
    ASSERT_NE(p, nullptr);
    TLDEditor ed(*p);
    c.run(f, *p, ed);
  }
}

// A dotted task name survives renumbering and reopening whole; reopening a file twice in one
// document gives the same dump and no task shown renamed.
TEST(PortLD, NamesKeepEveryWordAcrossRenumberingAndReopening) {
  Fixture f;
  f.AddDI32(3);
  TPortLD* p = f.AddPort();
  p->SetNumber(9);
  TLDEditor ed(*p);
  ed.AddTask();
  ed.AddTask();
  f.msgs.texts = {"Насос.Пуск"};
  ASSERT_TRUE(ed.Rename(0));
  EXPECT_EQ(p->TaskName(0), "9_Порт.Насос.Пуск");
  p->SetNumber(10);
  EXPECT_EQ(p->Caption(), "10_Порт дискретной логики");
  EXPECT_EQ(p->TaskName(0), "10_Порт.Насос.Пуск");
  EXPECT_EQ(p->TaskName(1), "10_Порт.Пр_1");
  const Bytes img = f.Image();
  Fixture g;
  g.Read(img);
  EXPECT_EQ(g.Port()->TaskName(0), "10_Порт.Насос.Пуск");
  EXPECT_EQ(g.Port()->TaskSuffix(0), "Насос.Пуск");
  EXPECT_FALSE(g.Port()->Table()->At(1)->Renamed());
  std::string first = g.doc.Dump();
  TLDEditor ed2(*g.Port());
  ed2.AddTask();
  g.Read(img);
  EXPECT_EQ(g.doc.Dump(), first);
  EXPECT_FALSE(g.Port()->Table()->At(1)->Renamed());
}

// A contact's key 41 follows its row when boards come and go before it or the port moves.
TEST(PortLD, SavedSignalIndexFollowsTheRow) {
  Fixture f;
  f.AddDI32(3);
  TPortLD* p = f.AddPort();
  TLDEditor ed(*p);
  AddTaskWith(ed, {{0, 5}});
  auto key41 = [&] {
    Bytes s = SectionBytes(f.Image(), 226);
    return s[s.size() - 2] | (s[s.size() - 1] << 8);
  };
  EXPECT_EQ(key41(), 5);
  TBlock* other = f.AddDI32(4, 1);  // before the first DI32
  EXPECT_EQ(key41(), 37);
  f.doc.Tree().Delete(other->node);
  f.doc.AfterEdit();
  EXPECT_EQ(key41(), 5);
}

// Seeded random diagrams: write, read, write gives the same bytes and text; JSON round trip.
TEST(PortLD, RandomDiagramsRoundTrip) {
  for (unsigned seed = 1; seed <= 12; ++seed) {
    SCOPED_TRACE(seed);
    std::mt19937 rng(seed);
    Fixture f;
    f.AddDI32(3);
    TPortLD* p = f.AddPort();
    TLDEditor ed(*p);
    int tasks = 1 + static_cast<int>(rng() % 6);
    for (int t = 0; t < tasks; ++t) ed.AddTask();
    for (int step = 0; step < 60; ++step) {
      ed.EnsureLayout();
      int row = static_cast<int>(rng() % static_cast<unsigned>(std::max(p->rows, 1)));
      int col = static_cast<int>(rng() % static_cast<unsigned>(p->diagramWidth - 1));
      switch (rng() % 5) {
        case 0:
        case 1:
          ed.SetContactMode(true);
          ed.Click(col, row, TLDEditor::kLeft);
          ed.SetContactMode(false);
          break;
        case 2: {
          ed.Click(col, row, TLDEditor::kLeft);
          ed.Click(col + 1 + static_cast<int>(rng() % 3), row, TLDEditor::kLeft, {true, false, false, false});
          ed.Shunt();
          break;
        }
        case 3:
          ed.Click(col, row, TLDEditor::kLeft);
          ed.ChooseSignal(static_cast<int>(rng() % 34));
          ed.SetInversion(rng() % 2);
          break;
        default:
          if (rng() % 4 == 0) {
            ed.Click(col, row, TLDEditor::kLeft);
            ed.Delete();
          }
      }
    }
    const Bytes img = f.Image();
    Fixture g;
    g.Read(img);
    ASSERT_NE(g.Port(), nullptr);
    EXPECT_EQ(g.Image(), img);
    for (std::size_t i = 0; i < p->tasks.size(); ++i)
      EXPECT_EQ(g.Port()->TaskText(static_cast<int>(i)), p->TaskText(static_cast<int>(i)));
    std::string json = ExportJson(g.doc, TCpu::Cpu927);
    Fixture h;
    TCpu cpu = TCpu::Cpu927;
    std::string err;
    ASSERT_TRUE(ImportJson(h.doc, json, &cpu, &err)) << err;
    EXPECT_EQ(h.Image(), img);
  }
}

// The JSON form names the diagram's entries.
TEST(PortLD, JsonNamesTheDiagramEntries) {
  Fixture f;
  f.AddDI32(3);
  TLDEditor ed(*f.AddPort());
  AddTaskWith(ed, {{0, 2}});
  std::string json = ExportJson(f.doc, TCpu::Cpu927);
  for (const char* id : {"\"taskCount\"", "\"TTaskLD\"", "\"TLine\"", "\"count\"", "\"inversion\"", "\"signalIndex\""})
    EXPECT_NE(json.find(id), std::string::npos) << id;
}

// Saving lists the diagram's problems in one message and goes on.
TEST(PortLD, SaveListsProblemsAndGoesOn) {
  Fixture f;
  TLDEditor ed(*f.AddPort());
  ed.AddTask();
  std::vector<std::uint8_t> out;
  ASSERT_TRUE(BuildImage(f.doc, TBuildOptions{}, out));
  ASSERT_EQ(f.msgs.errors.size(), 1u);  // no "Не все порты связаны с платами."
  EXPECT_EQ(f.msgs.errors[0], "Схема дискретной логики:\nзадача 1 \"1_Порт.Пр_0\": нет контактов");
}

// The drawing list and its SVG.
TEST(PortLD, DrawingOfAContactAndACoil) {
  Fixture f;
  f.AddDI32(3);
  TPortLD* p = f.AddPort();
  TLDEditor ed(*p);
  AddTaskWith(ed, {{0, 7}});
  ed.Click(0, 0, TLDEditor::kLeft);
  ed.Invert();
  auto ops = DrawLD(*p, &ed, 0, 0, 30, 15);
  auto has = [&](TLDOp::Kind k, int x1, int y1, int x2, int y2) {
    for (auto& o : ops)
      if (o.kind == k && o.x1 == x1 && o.y1 == y1 && o.x2 == x2 && o.y2 == y2) return true;
    return false;
  };
  EXPECT_TRUE(has(TLDOp::Line, 27, 22, 27, 42));  // the contact's bars
  EXPECT_TRUE(has(TLDOp::Line, 37, 22, 37, 42));
  EXPECT_TRUE(has(TLDOp::Line, 27, 22, 37, 42));  // inverted
  EXPECT_TRUE(has(TLDOp::Circle, 9 * 64 + 27, 22, 9 * 64 + 47, 42));  // the coil
  bool label = false;
  for (auto& o : ops) label |= o.kind == TLDOp::Text && o.text == "ТС_7" && o.x1 == 10 && o.y1 == 46;
  EXPECT_TRUE(label);
  // A selected coil shows in bold the labels of the contacts reading its task's signal.
  AddTaskWith(ed, {{0, 32}, {1, 7}});
  ed.Click(9, 0, TLDEditor::kLeft);
  std::vector<std::pair<std::string, bool>> labels;
  for (auto& o : DrawLD(*p, &ed, 0, 1, 30, 15))
    if (o.kind == TLDOp::Text && o.text.rfind("ТС_", 0) == 0) labels.push_back({o.text, o.bold});
  EXPECT_EQ(labels, (std::vector<std::pair<std::string, bool>>{{"ТС_32", true}, {"ТС_7", false}}));
  std::string svg = LDToSvg(ops, 30 * 64, 15 * 64);
  EXPECT_EQ(svg.rfind("<svg", 0), 0u);
  EXPECT_NE(svg.find(">ТС_7<"), std::string::npos);
  EXPECT_NE(svg.find("<ellipse"), std::string::npos);
  // Without the editor (a saved picture) the selected coil and the pointer leave no mark.
  ed.Move(0, 1);
  auto fill = [](const std::vector<TLDOp>& list) {
    std::vector<std::uint32_t> colours;
    for (auto& o : list)
      if (o.kind == TLDOp::Rect && o.color != 0xFFFFFF) colours.push_back(o.color);
    return colours;
  };
  EXPECT_FALSE(fill(DrawLD(*p, &ed, 0, 0, 30, 15)).empty());
  EXPECT_TRUE(fill(DrawLD(*p, nullptr, 0, 0, 30, 15)).empty());
}

// A second logic port (an image may hold two): read whole, and the check says so.
TEST(PortLD, TwoPortsAreReadAndReported) {
  Fixture f;
  TPortLD* p = f.AddPort();
  TLDEditor(*p).AddTask();
  TNode* n = f.doc.Tree().Add(f.doc.ProcNode(), std::make_unique<TPortLD>());
  auto* q = static_cast<TPortLD*>(n->Item());
  q->SetNumber(2);
  TLDEditor(*q).AddTask();
  f.doc.AfterEdit();
  Fixture g;
  g.Read(f.Image());
  ASSERT_EQ(g.doc.ProcNode()->ChildCount(), 3);
  auto* second = dynamic_cast<TPortLD*>(g.doc.ProcNode()->Child(2)->Item());
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->TaskName(0), "2_Порт.Пр_0");
  EXPECT_EQ(g.Port()->Problems().size(), 1u);  // the first has only its empty task
  EXPECT_EQ(second->Problems().back(), "в конфигурации больше одного порта дискретной логики");
  EXPECT_FALSE(PortEntryEnabled(g.doc, 131, true));
}

// Undo walks back to the empty port byte for byte and redo forward again; an undone task
// deletion brings back the task's own row under its name, found again by the contact that read it.
TEST(PortLD, UndoAndRedoRestoreTheImageAndTheTaskRow) {
  Fixture f;
  f.AddDI32(3);
  TPortLD* p = f.AddPort();
  TLDEditor ed(*p);
  std::vector<Bytes> images{f.Image()};
  auto step = [&](const std::function<void()>& fn) {
    ed.BeginStep();
    fn();
    ed.EndStep();
    f.doc.AfterEdit();
    images.push_back(f.Image());
  };
  step([&] { AddTaskWith(ed, {{0, 0}, {1, 1}}); });
  step([&] { ed.AddTask(); });
  step([&] {
    ed.SetContactMode(true);
    ed.Click(0, 1, TLDEditor::kLeft);
    ed.SetContactMode(false);
    ed.Click(0, 1, TLDEditor::kLeft);
    ed.ChooseSignal(32);  // task 2 reads task 1's row
  });
  const std::string reads = p->TaskText(1);
  ASSERT_NE(reads.find("1_Порт.Пр_0"), std::string::npos) << reads;
  ed.BeginStep();
  ed.Click(0, 0, TLDEditor::kLeft);  // a selection alone is no step
  ed.EndStep();
  step([&] {
    ed.Click(9, 0, TLDEditor::kLeft);
    f.msgs.answer = kYes;
    ed.Delete();
  });
  ASSERT_EQ(p->tasks.size(), 1u);

  for (std::size_t i = images.size() - 1; i > 0; --i) {
    ASSERT_TRUE(ed.Undo()) << i;
    f.doc.AfterEdit();
    EXPECT_EQ(f.Image(), images[i - 1]) << i;
    if (i == images.size() - 1) {
      EXPECT_EQ(p->TaskText(1), reads);  // the row came back and relinked
    }
  }
  EXPECT_FALSE(ed.Undo());
  for (std::size_t i = 1; i < images.size(); ++i) {
    ASSERT_TRUE(ed.Redo()) << i;
    f.doc.AfterEdit();
    EXPECT_EQ(f.Image(), images[i]) << i;
  }
  EXPECT_FALSE(ed.Redo());

  // A new step drops the redo list; only the last kUndoSteps steps are kept.
  ASSERT_TRUE(ed.Undo());
  step([&] { ed.AddTask(); });
  EXPECT_FALSE(ed.CanRedo());
  for (int i = 0; i < TLDEditor::kUndoSteps + 5; ++i) {
    ed.BeginStep();
    ed.AddTask();
    ed.EndStep();
  }
  int undone = 0;
  while (ed.Undo()) ++undone;
  EXPECT_EQ(undone, TLDEditor::kUndoSteps);
}

// Copied tasks paste at the bottom with their signals and inversions, each under a new row.
TEST(PortLD, CopiedTasksPasteWithSignalsUnderNewRows) {
  Fixture f;
  f.AddDI32(3);
  TPortLD* p = f.AddPort();
  TLDEditor ed(*p);
  AddTaskWith(ed, {{0, 4}, {1, 5}});
  ed.Click(1, 0, TLDEditor::kLeft);
  ed.Invert();
  ed.Click(9, 0, TLDEditor::kLeft);
  ed.Invert();
  EXPECT_FALSE(ed.CanPaste());
  ed.Click(5, 0, TLDEditor::kLeft);
  EXPECT_FALSE(ed.Copy());  // an empty cell: nothing to copy
  ed.Click(9, 0, TLDEditor::kLeft);
  ASSERT_TRUE(ed.Copy());
  ASSERT_TRUE(ed.Paste());
  ASSERT_TRUE(ed.Paste());
  f.doc.AfterEdit();
  ASSERT_EQ(p->tasks.size(), 3u);
  const std::string body = p->TaskText(0).substr(p->TaskText(0).find(" := "));
  for (int i = 1; i < 3; ++i) {
    EXPECT_EQ(p->TaskText(i).substr(p->TaskText(i).find(" := ")), body) << p->TaskText(i);
    EXPECT_EQ(p->TaskText(i)[0], '!');
    EXPECT_NE(p->TaskName(i), p->TaskName(0));
  }
  EXPECT_NE(p->TaskName(1), p->TaskName(2));
  Fixture g;
  g.Read(f.Image());
  ASSERT_NE(g.Port(), nullptr);
  EXPECT_EQ(g.Port()->TaskText(2), p->TaskText(2));
}

// The problem cells name the contact without a signal and the coil of a task without contacts.
TEST(PortLD, ProblemCellsPointAtTheFaultyElements) {
  Fixture f;
  f.AddDI32(3);
  TPortLD* p = f.AddPort();
  TLDEditor ed(*p);
  AddTaskWith(ed, {{0, 1}});
  ed.AddTask();
  ed.SetContactMode(true);
  ed.Click(0, 0, TLDEditor::kLeft);  // a second contact, in front, without a signal
  ed.SetContactMode(false);
  ed.EnsureLayout();
  auto cells = p->ProblemCells();
  ASSERT_EQ(cells.size(), 2u);
  EXPECT_EQ(cells[0].col, 0);
  EXPECT_EQ(cells[0].row, 0);
  EXPECT_EQ(cells[0].text, "контакт без сигнала");
  EXPECT_EQ(cells[1].col, p->tasks[1]->coil->col);
  EXPECT_EQ(cells[1].row, p->tasks[1]->row);
  EXPECT_EQ(cells[1].text, "нет контактов");
  EXPECT_EQ(p->Problems().size(), 2u);
}

// A copied range (the run a shunt would take: contacts and whole shunts of one line) pastes in
// series in front of the cell last clicked, with its signals and inversions: in a line, in a
// branch, in a gap, and at the end of the top line from the coil's cell. A cell that takes no
// contact pastes nothing.
TEST(PortLD, CopiedRangePastesInSeriesInFrontOfTheClickedCell) {
  const auto sig = [](int i) { return "ТС_" + std::to_string(i) + " \"3_DI32.Пр" + std::to_string(i + 1) + "\""; };
  const auto body = [](TPortLD& p, int i) { return p.TaskText(i).substr(p.TaskText(i).find(" := ") + 4); };
  const std::string A = sig(0), B = "!" + sig(1), C = sig(2), D = sig(3);
  // Task 1: A & (!B & C | ?), task 2: D.
  auto build = [&](Fixture& f, TLDEditor& ed) {
    f.AddDI32(3);
    AddTaskWith(ed, {{0, 0}, {1, 1}, {2, 2}});
    AddTaskWith(ed, {{0, 3}});
    ed.Click(1, 0, TLDEditor::kLeft);
    ed.Invert();
    ed.Click(1, 0, TLDEditor::kLeft);
    ed.Click(2, 0, TLDEditor::kLeft, {true, false, false, false});
    ed.Shunt();
    ASSERT_EQ(body(ed.port, 0), A + " & (" + B + " & " + C + " | ?)");
  };
  struct Case {
    const char* name;
    int fromCol, fromRow, toCol;  // the range, in one row
    int atCol, atRow;             // the cell clicked before pasting
    int task;                     // the task that changes
    std::string want;             // its body afterwards
  };
  // Rows: task 1 holds rows 0 and 1 (its shunt's second branch), task 2 row 2.
  const Case cases[] = {
      {"a branch's two contacts in front of a contact", 1, 0, 2, 0, 2, 1, B + " & " + C + " & " + D},
      {"a contact in front of a contact", 0, 0, 0, 0, 2, 1, A + " & " + D},
      {"a range holding a whole shunt, in front of the coil", 0, 0, 2, 9, 2, 1,
       D + " & " + A + " & (" + B + " & " + C + " | ?)"},
      {"into a shunt's branch", 0, 2, 0, 1, 1, 0, A + " & (" + B + " & " + C + " | " + D + " & ?)"},
      {"inside a branch, in front of its second contact", 0, 2, 0, 2, 0, 0, A + " & (" + B + " & " + D + " & " + C + " | ?)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    TPortLD* p = f.AddPort();
    TLDEditor ed(*p);
    build(f, ed);
    const std::string other = body(*p, 1 - c.task);
    ed.Click(c.fromCol, c.fromRow, TLDEditor::kLeft);
    if (c.toCol != c.fromCol) ed.Click(c.toCol, c.fromRow, TLDEditor::kLeft, {true, false, false, false});
    ASSERT_TRUE(ed.Copy());
    ASSERT_TRUE(ed.CanPaste());
    ed.Click(c.atCol, c.atRow, TLDEditor::kLeft);
    ASSERT_TRUE(ed.Paste());
    EXPECT_EQ(body(*p, c.task), c.want);
    EXPECT_EQ(body(*p, 1 - c.task), other);
    EXPECT_EQ(p->tasks.size(), 2u);
    EXPECT_EQ(ed.current, nullptr);
    // The pasted signals are the storage's rows: written and read, the same diagram.
    f.doc.AfterEdit();
    Fixture g;
    g.Read(f.Image());
    ASSERT_NE(g.Port(), nullptr);
    EXPECT_EQ(g.Port()->TaskText(c.task), p->TaskText(c.task));
    EXPECT_TRUE(g.msgs.errors.empty());
  }

  Fixture f;
  TPortLD* p = f.AddPort();
  TLDEditor ed(*p);
  build(f, ed);
  ed.Click(0, 0, TLDEditor::kLeft);
  ASSERT_TRUE(ed.Copy());
  // A gap in a top line: the run stands at the clicked column, the gap kept.
  ed.Click(5, 2, TLDEditor::kLeft);
  ASSERT_TRUE(ed.Paste());
  EXPECT_EQ(body(*p, 1), D + " & " + A);
  EXPECT_EQ(Columns(*p->tasks[1]->line), (std::vector<int>{0, 5}));
  // Twice: the second copy goes in front of the first.
  ASSERT_TRUE(ed.Paste());
  EXPECT_EQ(body(*p, 1), D + " & " + A + " & " + A);
  EXPECT_EQ(Columns(*p->tasks[1]->line), (std::vector<int>{0, 5, 6}));
  // Cells that take no contact: under the shunt's branch, below every task.
  const std::string t0 = body(*p, 0), t1 = body(*p, 1);
  ed.Click(5, 1, TLDEditor::kLeft);
  EXPECT_FALSE(ed.Paste());
  ed.Click(0, 7, TLDEditor::kLeft);
  EXPECT_FALSE(ed.Paste());
  EXPECT_EQ(body(*p, 0), t0);
  EXPECT_EQ(body(*p, 1), t1);
  // A coil copied afterwards replaces the range: its task pastes at the bottom.
  ed.Click(p->tasks[1]->coil->col, 2, TLDEditor::kLeft);
  ASSERT_TRUE(ed.Copy());
  ASSERT_TRUE(ed.Paste());
  ASSERT_EQ(p->tasks.size(), 3u);
  EXPECT_EQ(body(*p, 2), t1);
  // A range that fails the shunt test is no range: with no coil selected, nothing is copied.
  Fixture h;
  TPortLD* q = h.AddPort();
  TLDEditor e2(*q);
  build(h, e2);
  e2.Click(0, 0, TLDEditor::kLeft);
  e2.Click(1, 0, TLDEditor::kLeft, {true, false, false, false});  // A into the shunt: half of it
  EXPECT_FALSE(e2.ShuntEnabled());
  EXPECT_FALSE(e2.Copy());
}
