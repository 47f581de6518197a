// The engineer never loses work: every gesture here is a real mouse, key, wheel or drag-and-drop
// event on the real widgets, and each test shows a way work used to be lost or corrupted.
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QProcess>
#include <QRadioButton>
#include <QCompleter>
#include <QScreen>
#include <QScrollBar>
#include <QSplitter>
#include <QToolBar>
#include <QPushButton>
#include <QTableWidget>
#include <QToolButton>
#include <QWheelEvent>
#include <set>

#include "model/boards.h"
#include "model/controller.h"
#include "model/params.h"
#include "model/storage.h"
#include "model/treerules.h"
#include "project/cfgfile.h"
#include "project/history.h"
#include "ui/frame_proc.h"
#include "ui/frames_boards.h"
#include "ui/screenshot.h"
#include "ui/storagepanel.h"
#include "ui/treemodel.h"
#include "ui_fixture.h"

namespace t32::test {
namespace {

TNode* ChildOfClass(TNode* n, const char* cls, int skip = 0) {
  for (int i = 0; i < n->ChildCount(); ++i)
    if (std::string(n->Child(i)->Item()->ClassName()) == cls && skip-- == 0) return n->Child(i);
  return nullptr;
}

TNode* TableOf(TNode* n, int type = 0) {
  for (int i = 0; i < n->ChildCount(); ++i)
    if (auto* t = dynamic_cast<TParams*>(n->Child(i)->Item()); t && (type == 0 || t->Type() == type))
      return n->Child(i);
  return nullptr;
}

TParams* Table(TNode* n) { return n ? dynamic_cast<TParams*>(n->Item()) : nullptr; }

std::string Records(TDocument& doc) {
  doc.WriteRecords();
  const auto& img = doc.Config().Image();
  return std::string(img.begin(), img.end());
}

class NoLostWorkTest : public UiTest {
 protected:
  // The tree's popup menu of the node, and a click on its entry.
  void MenuCommand(TNode* n, const QString& entry) {
    ClickNode(n, Qt::RightButton);
    if (!QApplication::activePopupWidget()) {
      // The platform sends the context menu event with the press or the release; here it may
      // not: the event the menu key would send.
      auto* tree = Frame().BlockTree();
      QPoint at = tree->visualRect(Frame().TreeModel()->IndexOf(n)).center();
      QContextMenuEvent ev(QContextMenuEvent::Mouse, at, tree->viewport()->mapToGlobal(at));
      QApplication::sendEvent(tree->viewport(), &ev);
    }
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr) << n->caption;
    QAction* action = nullptr;
    for (QAction* a : menu->actions())
      if (a->text() == entry) action = a;
    ASSERT_NE(action, nullptr) << entry.toStdString();
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
    Settle();
  }
  // Renames a source row by the name editor: double click, type, Enter.
  void TypeName(int row, const QString& text) {
    ui::TFrameParams* lf = ListFrame();
    ASSERT_NE(lf, nullptr);
    DoubleClickRow(lf, row, ui::TCol::Name);
    ASSERT_NE(lf->nameEditor, nullptr);
    lf->nameEditor->selectAll();
    TypeText(lf->nameEditor, text);
    QTest::keyClick(lf->nameEditor, Qt::Key_Return);
    Settle();
  }
  // The keyboard focus, as a click or Tab would give it.
  void Focus(QWidget* w) {
    QApplication::setActiveWindow(form.get());
    w->setFocus(Qt::TabFocusReason);
    Settle();
    ASSERT_EQ(QApplication::focusWidget(), w);
  }
  void Key(int key, Qt::KeyboardModifiers mods = {}) {
    // A message window that was shown and closed leaves no window active; the user's next key
    // goes to the main window again.
    if (!QApplication::activeWindow()) QApplication::setActiveWindow(form.get());
    QWidget* w = QApplication::focusWidget();
    QTest::keyClick(w ? w : form.get(), static_cast<Qt::Key>(key), mods);
    Settle();
  }
  // A configuration with every board of the board menu (added by the menu).
  void AddEveryBoard() {
    for (const char* e : {"Добавить плату ППИ", "Добавить плату ПВС", "Добавить плату UNIO96", "Добавить плату AI16",
                          "Добавить плату DI32", "Добавить плату DO32"})
      MenuCommand(Doc().ControllerNode(), e);
  }
};

// ---------------------------------------------------------------------------------------
TEST_F(NoLostWorkTest, UndoAndRedoWalkEveryKindOfEditBothWays) {
  MakeForm();
  std::vector<std::string> dumps{Doc().Dump()};
  auto step = [&] {
    Settle();
    dumps.push_back(Doc().Dump());
    ASSERT_NE(dumps.back(), dumps[dumps.size() - 2]) << "step " << dumps.size() - 1 << " changed nothing";
  };
  MenuCommand(Doc().ControllerNode(), "Добавить плату DI32");  // 1: a board
  step();
  MenuCommand(Doc().ControllerNode(), "Добавить плату DO32");  // 2: another
  step();
  MenuCommand(Doc().ProcNode(), "Добавить Порт связи с ПУ");  // 3: a port with its output tables
  step();
  TNode* port = Doc().ProcNode()->Child(1);

  TNode* di32 = ChildOfClass(Doc().ControllerNode(), "TDI32");
  TNode* tsTable = TableOf(di32);
  ClickNode(tsTable);
  TypeName(1, "Ввод");  // 4: a row renamed
  step();
  ASSERT_EQ(Table(tsTable)->At(1)->Name(), "0_DI32.Ввод");

  TNode* do32 = ChildOfClass(Doc().ControllerNode(), "TDO32");
  ClickNode(do32);
  auto* df = dynamic_cast<ui::TDO32Frame*>(Frame().CurrentFrame());
  ASSERT_NE(df, nullptr);
  Focus(df->TypeOfPort);
  Key(Qt::Key_Down);  // 5: a mode
  step();
  ASSERT_EQ(dynamic_cast<TDO32*>(do32->Item())->mode, 1);

  TNode* out = TableOf(port);
  ClickNode(out);
  ui::TFrameParams* storageTs = Frame().StoragePanel()->List(kSigTS);
  ClickRow(storageTs, 2, ui::TCol::Name);
  ui::TFrameParams* lf = ListFrame();
  ASSERT_TRUE(DropOn(lf->view->viewport(), QPoint(20, lf->view->viewport()->height() - 5),
                     storageTs->view->DragMime()));  // 6: a signal dragged into the output table
  step();
  ASSERT_EQ(Table(out)->Count(), 1);

  MenuCommand(Doc().ProcNode(), "Добавить Порт опроса MODBUS-RTU");  // 7: a second port
  step();
  TNode* second = Doc().ProcNode()->Child(2);
  const std::string secondCaption = second->caption;
  ClickNode(second);
  Focus(Frame().BlockTree());
  answer = Click("Да");
  Key(Qt::Key_Delete);  // 8: ... deleted
  step();
  ASSERT_EQ(Doc().ProcNode()->ChildCount(), 2);

  // Back one by one to the empty configuration; the selection comes back with the edit.
  for (int k = static_cast<int>(dumps.size()) - 2; k >= 0; --k) {
    Key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Doc().Dump(), dumps[k]) << "undo to state " << k;
    if (k == 3) {
      EXPECT_EQ(Frame().CurrentNode(), TableOf(ChildOfClass(Doc().ControllerNode(), "TDI32")));
    }
    if (k == 7) {
      EXPECT_EQ(Frame().CurrentNode()->caption, secondCaption);
    }
  }
  EXPECT_FALSE(form->Undo->isEnabled());
  // ... and forward again, by the menu entry and by the key.
  form->Redo->trigger();
  EXPECT_EQ(Doc().Dump(), dumps[1]);
  for (std::size_t k = 2; k < dumps.size(); ++k) {
    Key(Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(Doc().Dump(), dumps[k]) << "redo to state " << k;
  }
  EXPECT_FALSE(form->Redo->isEnabled());
}

// ---------------------------------------------------------------------------------------
TEST_F(NoLostWorkTest, FailedOpenKeepsTheCurrentFileAndF2WritesOnlyIt) {
  MakeForm();
  MenuCommand(Doc().ControllerNode(), "Добавить плату DI32");
  QString good = dir.filePath("good.cfg"), bad = dir.filePath("bad.cfg");
  ASSERT_TRUE(form->SaveToFile(good));
  {
    QFile f(bad);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("not a configuration at all");
  }
  std::string before = Doc().Dump();
  answer = [&](QDialog& d) {
    if (auto* fd = qobject_cast<QFileDialog*>(&d)) {
      fd->selectFile(bad);
      return int(QDialog::Accepted);
    }
    return int(QDialog::Accepted);  // the reading error
  };
  Key(Qt::Key_F3);
  ASSERT_FALSE(dialogTexts.empty());
  EXPECT_EQ(form->CurrentFile(), good);
  EXPECT_TRUE(form->windowTitle().contains("good.cfg")) << form->windowTitle().toStdString();
  EXPECT_EQ(Doc().Dump(), before);
  Key(Qt::Key_F2);
  QFile b(bad);
  ASSERT_TRUE(b.open(QIODevice::ReadOnly));
  EXPECT_EQ(b.readAll(), QByteArray("not a configuration at all"));
}

// ---------------------------------------------------------------------------------------
TEST_F(NoLostWorkTest, TextStillBeingTypedGoesIntoTheSavedFile) {
  MakeForm();
  MenuCommand(Doc().ControllerNode(), "Добавить плату DI32");
  QString path = dir.filePath("typed.cfg");
  ASSERT_TRUE(form->SaveToFile(path));
  struct Case {
    const char* what;
    std::function<void()> type;    // opens an editor and types, nothing committed
    std::function<std::string(TDocument&)> read;
    const char* expected;
  } cases[] = {
      {"group name in the processor's grid",
       [&] {
         ClickNode(Doc().ProcNode());
         auto* pf = dynamic_cast<ui::TProcFrame*>(Frame().CurrentFrame());
         Focus(pf->GroupGrid);
         QRect cell = pf->GroupGrid->visualRect(pf->GroupGrid->model()->index(0, 0));
         QTest::mouseClick(pf->GroupGrid->viewport(), Qt::LeftButton, {}, cell.center());
         QTest::mouseDClick(pf->GroupGrid->viewport(), Qt::LeftButton, {}, cell.center());
         TypeText(QApplication::focusWidget(), "Напряжения");
       },
       [](TDocument& d) { return d.Proc()->groupCount > 0 ? d.Proc()->groups[0].name : std::string(); },
       "Напряжения"},
      {"signal name in the list's name editor",
       [&] {
         ClickNode(TableOf(ChildOfClass(Doc().ControllerNode(), "TDI32")));
         ui::TFrameParams* lf = ListFrame();
         DoubleClickRow(lf, 3, ui::TCol::Name);
         lf->nameEditor->selectAll();
         TypeText(lf->nameEditor, "Выключатель");
       },
       [](TDocument& d) {
         std::string name;
         d.Tree().ForEach([&](TNode* n) {
           if (auto* t = dynamic_cast<TParams*>(n->Item()); t && t->IsSource() && t->Count() > 3) name = t->At(3)->Name();
         });
         return name;
       },
       "0_DI32.Выключатель"},
  };
  for (const auto& c : cases) {
    c.type();
    QWidget* typing = QApplication::focusWidget();
    ASSERT_TRUE(qobject_cast<QLineEdit*>(typing)) << c.what;
    QTest::keyClick(typing, Qt::Key_F2);  // saved while the editor is still open
    Settle();
    TDocument back;
    TCpu cpu = TCpu::Cpu6358;
    ASSERT_TRUE(OpenConfigFile(back, path.toStdString(), &cpu)) << c.what;
    EXPECT_EQ(c.read(back), c.expected) << c.what;
  }
}

// ---------------------------------------------------------------------------------------
TEST_F(NoLostWorkTest, ShowingAndLeavingAnUntouchedItemChangesNoByte) {
  MakeForm();
  AddEveryBoard();
  // Values a file may hold that the editors cannot show as they are.
  Doc().Tree().ForEach([](TNode* n) {
    if (auto* c = dynamic_cast<TRS232*>(n->Item())) c->gap = 1;  // the field starts at 2
    if (auto* m = dynamic_cast<TMVS4*>(n->Item())) m->freq1 = 2717;  // not on the 10 Hz step
    if (auto* a = dynamic_cast<TAI16*>(n->Item())) a->filterTime = 30;  // not on the 20 ms step
  });
  TProc* p = Doc().Proc();
  TTIGroup g;
  g.name = "Токи";
  g.absAperture = 0.1234567f;
  g.lower = -5.0f;
  g.upper = 12.5f;
  p->SetGroups({g});
  p->stationAddress = 300;  // beyond the field's 255
  form->Checkpoint();
  const std::string dump = Doc().Dump(), records = Records(Doc());
  const std::size_t states = form->History().Count();
  std::set<std::string> frames;
  Doc().Tree().ForEach([&](TNode* n) {
    ClickNode(n);
    EXPECT_EQ(Doc().Dump(), dump) << "while showing " << n->caption;
    EXPECT_TRUE(Records(Doc()) == records) << "while showing " << n->caption;
    ClickNode(Doc().ControllerNode());
    if (Frame().FrameFor(n->Item()->ClassName())) frames.insert(n->Item()->ClassName());
    EXPECT_EQ(Doc().Dump(), dump) << "after showing " << n->caption;
    EXPECT_TRUE(Records(Doc()) == records) << "after showing " << n->caption;
  });
  EXPECT_EQ(form->History().Count(), states);  // no edit to undo
  // Every frame class of the build was shown (board frames, tables, controller, processor, IP).
  for (const char* cls : {"TController", "TProc", "TPortIP", "TRS232", "TMPI4", "TMVS4", "TDI32", "TAI16", "TAI8",
                          "TAO2", "TUnio96", "TUnio24", "TDO32", "TParamsTS", "TParamsTU"})
    EXPECT_TRUE(frames.count(cls)) << cls;
}

// ---------------------------------------------------------------------------------------
TEST_F(NoLostWorkTest, RowsAndPortsAreDraggedOnlyWhereTheirOrderMeansSomething) {
  MakeForm();
  MenuCommand(Doc().ControllerNode(), "Добавить плату DI32");
  MenuCommand(Doc().ProcNode(), "Добавить Порт связи с ПУ");
  TNode* port = Doc().ProcNode()->Child(1);
  TNode* out = TableOf(port);
  Table(out)->AddFromList(Doc().Storage().List(kSigTS), true);
  Doc().Storage().RefreshViews();
  struct Case {
    const char* what;
    TNode* table;
    bool moves;
  } cases[] = {{"board's own table: its rows are physical inputs", TableOf(ChildOfClass(Doc().ControllerNode(), "TDI32")), false},
               {"output table: the order is the port's order", out, true}};
  for (const auto& c : cases) {
    ClickNode(c.table);
    ui::TFrameParams* lf = ListFrame();
    TParams* t = Table(c.table);
    std::vector<std::string> names;
    for (int i = 0; i < t->Count(); ++i) names.push_back(t->At(i)->Name());
    ClickRow(lf, 0, ui::TCol::Name);
    ClickRow(lf, 1, ui::TCol::Name, Qt::ShiftModifier);
    QPoint at = lf->view->visualRect(lf->model->index(5, 0)).center();
    EXPECT_EQ(DropOn(lf->view->viewport(), at, lf->view->DragMime()), c.moves) << c.what;
    EXPECT_EQ(t->At(0)->Name() != names[0], c.moves) << c.what;
    if (c.moves) {
      EXPECT_EQ(t->At(3)->Name(), names[0]);
    }
    EXPECT_EQ(t->Count(), static_cast<int>(names.size()));
  }
  // Rows of one table never drop into another.
  ClickNode(TableOf(ChildOfClass(Doc().ControllerNode(), "TDI32")));
  QMimeData* foreign = ListFrame()->view->DragMime();
  ClickNode(out);
  EXPECT_FALSE(DropOn(ListFrame()->view->viewport(), QPoint(10, 10), foreign));

  // UNIO24 ports: reordered on their board, never moved to another board.
  MenuCommand(Doc().ControllerNode(), "Добавить плату UNIO96");
  MenuCommand(Doc().ControllerNode(), "Добавить плату UNIO96");
  TNode* b1 = ChildOfClass(Doc().ControllerNode(), "TUnio96");
  TNode* b2 = ChildOfClass(Doc().ControllerNode(), "TUnio96", 1);
  ASSERT_TRUE(b1 && b2);
  auto* tree = Frame().BlockTree();
  auto dropNode = [&](TNode* dragged, TNode* target) {
    QModelIndex ti = Frame().TreeModel()->IndexOf(target);
    tree->scrollTo(ti);
    return DropOn(tree->viewport(), tree->visualRect(ti).center(), tree->DragMime(dragged));
  };
  std::string before = Doc().Dump();
  TNode* moved = b1->Child(3);
  EXPECT_FALSE(dropNode(moved, b2->Child(0)));
  EXPECT_EQ(b2->ChildCount(), 4);
  EXPECT_EQ(Doc().Dump(), before);
  EXPECT_TRUE(dropNode(moved, b1->Child(0)));
  EXPECT_EQ(b1->Child(0), moved);
  EXPECT_EQ(b1->ChildCount(), 4);
}

// ---------------------------------------------------------------------------------------
TEST_F(NoLostWorkTest, ModeChoosersIgnoreAStrayWheelAndAskBeforeDroppingNames) {
  MakeForm();
  MenuCommand(Doc().ControllerNode(), "Добавить плату DO32");
  MenuCommand(Doc().ControllerNode(), "Добавить плату UNIO96");
  MenuCommand(Doc().ControllerNode(), "Добавить плату AI16");
  TNode* do32 = ChildOfClass(Doc().ControllerNode(), "TDO32");
  TNode* unio = ChildOfClass(Doc().ControllerNode(), "TUnio96")->Child(0);
  TNode* ai16 = ChildOfClass(Doc().ControllerNode(), "TAI16");
  TNode* ai8 = ChildOfClass(ai16, "TAI8");
  TNode* ao2 = ChildOfClass(ai16, "TAO2");
  // The analog ports and the UNIO24 port first get a table (nothing named yet: no question).
  struct Prep {
    TNode* node;
    const char* chooser;
  } preps[] = {{unio, "TypeOfPort"}, {ai8, "TypeTI1"}, {ao2, "TypeTR1"}};
  for (const auto& p : preps) {
    ClickNode(p.node);
    auto* box = Frame().CurrentFrame()->findChild<QComboBox*>(p.chooser);
    Focus(box);
    Key(Qt::Key_Down);
    ASSERT_NE(TableOf(p.node), nullptr) << p.node->caption;
  }
  EXPECT_TRUE(dialogTexts.empty());
  struct Case {
    TNode* node;
    const char* chooser;
  } cases[] = {{do32, "TypeOfPort"}, {unio, "TypeOfPort"}, {ai8, "TypeTI1"}, {ao2, "TypeTR1"}};
  for (const auto& c : cases) {
    TNode* tableNode = TableOf(c.node);
    ASSERT_NE(tableNode, nullptr) << c.node->caption;
    Table(tableNode)->RenameRow(0, "Мой сигнал");
    std::string named = Table(tableNode)->At(0)->Name();
    ClickNode(c.node);
    auto* box = Frame().CurrentFrame()->findChild<QComboBox*>(c.chooser);
    ASSERT_NE(box, nullptr);
    std::string before = Doc().Dump();
    int shown = box->currentIndex();
    // A wheel notch while the page scrolls under the pointer: the chooser has no focus.
    Focus(Frame().BlockTree());
    QPoint at = box->rect().center();
    QWheelEvent wheel(at, box->mapToGlobal(at), {}, QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                      false);
    QApplication::sendEvent(box, &wheel);
    Settle();
    EXPECT_EQ(box->currentIndex(), shown) << c.chooser;
    EXPECT_EQ(Doc().Dump(), before) << c.node->caption;
    // With the focus the arrow changes the mode, but first asks; "Нет" keeps all.
    Focus(box);
    dialogTexts.clear();
    answer = Click("Нет");
    Key(shown + 1 < box->count() ? Qt::Key_Down : Qt::Key_Up);
    ASSERT_EQ(dialogTexts.size(), 1u) << c.node->caption;
    EXPECT_TRUE(dialogTexts[0].contains(kModeChangeQuestion));
    EXPECT_EQ(Doc().Dump(), before);
    EXPECT_EQ(box->currentIndex(), shown);
    answer = Click("Да");
    Focus(box);
    Key(shown + 1 < box->count() ? Qt::Key_Down : Qt::Key_Up);
    EXPECT_NE(Doc().Dump(), before) << "MODE " << c.node->caption << " " << shown << " " << box->currentIndex();
  }
}

// ---------------------------------------------------------------------------------------
TEST_F(NoLostWorkTest, ClicksKeepTheFocusedRowAndAPlainClickNarrowsTheSelection) {
  MakeForm();
  MenuCommand(Doc().ControllerNode(), "Добавить плату DI32");
  MenuCommand(Doc().ProcNode(), "Добавить Порт связи с ПУ");
  TNode* port = Doc().ProcNode()->Child(1);
  TNode* out = TableOf(port);
  Table(out)->AddFromList(Doc().Storage().List(kSigTS), true);
  ClickNode(out);
  ui::TFrameParams* lf = ListFrame();
  TParams* t = Table(out);
  // "Добавить пустую строку" after a click: the empty row comes before the clicked row.
  ClickRow(lf, 3, ui::TCol::Name);
  std::string third = t->At(3)->Name();
  QTest::mouseClick(Frame().StoragePanel()->AddFree, Qt::LeftButton);
  Settle();
  EXPECT_EQ(t->At(3)->Name(), "");
  EXPECT_EQ(t->At(4)->Name(), third);
  EXPECT_EQ(lf->view->currentIndex().row(), 4);
  // Rows 5..8 selected; a plain click on one of them leaves only it selected.
  ClickRow(lf, 5, ui::TCol::Name);
  ClickRow(lf, 8, ui::TCol::Name, Qt::ShiftModifier);
  ClickRow(lf, 6, ui::TCol::Name);
  for (int i = 0; i < t->Count(); ++i) EXPECT_EQ(t->At(i)->selected, i == 6) << i;
}

// ---------------------------------------------------------------------------------------
TEST_F(NoLostWorkTest, UnsavedChangesAreOfferedForSavingBeforeTheyAreReplaced) {
  struct Case {
    const char* command;
    const char* answerText;
    bool replaced;  // the configuration went away
    bool saved;     // the file got the changes first
  } cases[] = {{"Создать", "Отмена", false, false}, {"Создать", "Нет", true, false}, {"Создать", "Да", true, true},
               {"Открыть файл", "Отмена", false, false}, {"Открыть файл", "Да", true, true},
               {"close", "Отмена", false, false}, {"close", "Да", true, true}};
  for (const auto& c : cases) {
    MakeForm();
    QString path = dir.filePath("work.cfg"), other = dir.filePath("other.cfg");
    ASSERT_TRUE(form->SaveToFile(other));
    ASSERT_TRUE(form->SaveToFile(path));
    EXPECT_FALSE(form->windowTitle().endsWith("*"));
    MenuCommand(Doc().ControllerNode(), "Добавить плату DI32");
    EXPECT_TRUE(form->windowTitle().endsWith("*")) << form->windowTitle().toStdString();
    std::string edited = Doc().Dump();
    dialogTexts.clear();
    answer = [&](QDialog& d) {
      if (auto* fd = qobject_cast<QFileDialog*>(&d)) {
        fd->selectFile(other);
        return int(QDialog::Accepted);
      }
      return Click(c.answerText)(d);
    };
    if (std::string(c.command) == "close") form->close();
    else if (std::string(c.command) == "Создать") Key(Qt::Key_F4);
    else Key(Qt::Key_F3);
    ASSERT_FALSE(dialogTexts.empty()) << c.command;
    EXPECT_TRUE(dialogTexts[0].contains("Сохранить изменения в файле work.cfg?")) << dialogTexts[0].toStdString();
    if (std::string(c.command) == "close") EXPECT_EQ(form->isVisible(), !c.replaced) << c.answerText;
    else EXPECT_EQ(Doc().Dump() != edited, c.replaced) << c.command << " " << c.answerText;
    TDocument back;
    TCpu cpu;
    ASSERT_TRUE(OpenConfigFile(back, path.toStdString(), &cpu));
    EXPECT_EQ(back.Dump() == edited, c.saved) << c.command << " " << c.answerText;
    form.reset();
  }
}

TEST_F(NoLostWorkTest, FirstSaveAfterCreateAsksBeforeReplacingTheFile) {
  MakeForm();
  QString path = dir.filePath("plant.cfg");
  MenuCommand(Doc().ControllerNode(), "Добавить плату DI32");
  ASSERT_TRUE(form->SaveToFile(path));
  std::string plant = Doc().Dump();
  Key(Qt::Key_F4);  // nothing unsaved: no question
  EXPECT_TRUE(dialogTexts.empty());
  EXPECT_EQ(form->CurrentFile(), path);
  answer = Click("Отмена");
  Key(Qt::Key_F2);
  ASSERT_EQ(dialogTexts.size(), 1u);
  EXPECT_TRUE(dialogTexts[0].contains("Заменить файл plant.cfg новой конфигурацией?"));
  TDocument back;
  TCpu cpu;
  ASSERT_TRUE(OpenConfigFile(back, path.toStdString(), &cpu));
  EXPECT_EQ(back.Dump(), plant);
}


// ---------------------------------------------------------------------------------------
TEST_F(NoLostWorkTest, TIDialogTakesBothDecimalMarksAndRefusesWhatAFloatCannotHold) {
  MakeForm();
  MenuCommand(Doc().ControllerNode(), "Добавить плату AI16");
  TNode* ai8 = ChildOfClass(ChildOfClass(Doc().ControllerNode(), "TAI16"), "TAI8");
  ClickNode(ai8);
  Focus(Frame().CurrentFrame()->findChild<QComboBox*>("TypeTI1"));
  Key(Qt::Key_Down);
  TNode* tn = TableOf(ai8);
  ASSERT_NE(tn, nullptr);
  ClickNode(tn);
  struct Case {
    const char* text;
    bool ok;
    float value;
  } cases[] = {{"0,5", true, 0.5f},   {"0.25", true, 0.25f}, {" -1,5e2 ", true, -150.0f}, {"nan", false, 0},
               {"inf", false, 0},     {"1e40", false, 0},    {"1,2,3", false, 0},          {"", false, 0}};
  for (const auto& c : cases) {
    float before = Table(tn)->At(0)->gain;
    int errors = 0;
    answer = [&](QDialog& d) {
      auto* ti = dynamic_cast<ui::TEditorTI*>(&d);
      if (!ti) {
        errors += qobject_cast<ui::TErrorDlg*>(&d) && dialogTexts.back().contains("Ошибка значения!");
        return int(QDialog::Accepted);
      }
      ti->GainEdit->selectAll();
      QTest::keyClick(ti->GainEdit, Qt::Key_Delete);
      TypeText(ti->GainEdit, c.text);
      QTest::mouseClick(ti->AcceptButton, Qt::LeftButton);
      return d.result();
    };
    ClickRow(ListFrame(), 0, ui::TCol::Gain);
    if (c.ok) {
      EXPECT_FLOAT_EQ(Table(tn)->At(0)->gain, c.value) << c.text;
      EXPECT_EQ(errors, 0) << c.text;
    } else {
      EXPECT_EQ(Table(tn)->At(0)->gain, before) << c.text;
      EXPECT_GE(errors, 1) << c.text;
    }
  }
}

// ---------------------------------------------------------------------------------------
TEST_F(NoLostWorkTest, StoragePanelKeepsTheWidthTheUserGaveIt) {
  MakeForm();
  form->resize(1200, 700);
  Settle();
  MenuCommand(Doc().ControllerNode(), "Добавить плату DI32");
  TNode* table = TableOf(ChildOfClass(Doc().ControllerNode(), "TDI32"));
  ClickNode(table);
  ui::TStoragePanel* panel = Frame().StoragePanel();
  EXPECT_GE(panel->width(), 440);  // opened up beside the first table
  // The user drags the splitter: the panel becomes narrower.
  QSplitterHandle* handle = Frame().Splitter()->handle(2);
  QPoint from = handle->rect().center(), to = from + QPoint(180, 0);
  QTest::mousePress(handle, Qt::LeftButton, {}, from);
  QMouseEvent move(QEvent::MouseMove, QPointF(to), QPointF(handle->mapToGlobal(to)), Qt::NoButton, Qt::LeftButton,
                   Qt::NoModifier);
  QApplication::sendEvent(handle, &move);
  QTest::mouseRelease(handle, Qt::LeftButton, {}, to);
  Settle();
  int chosen = panel->width();
  ASSERT_LT(chosen, 440);
  ASSERT_GE(chosen, 100);
  for (TNode* n : {Doc().PortIPNode(), Doc().ProcNode(), table, Doc().ControllerNode(), table}) {
    ClickNode(n);
    EXPECT_EQ(panel->width(), chosen) << n->caption;
  }
}

// ---------------------------------------------------------------------------------------
TEST_F(NoLostWorkTest, FirstStartShowsTheCpuChoiceAndTheWholeGroupGrid) {
  MakeForm();  // no settings file yet: the first start
  Settle();
  QRect screen = form->screen()->availableGeometry();
  EXPECT_LE(form->width(), screen.width());
  EXPECT_LE(form->height(), screen.height());
  auto* tb = form->findChild<QToolBar*>("ToolBar1");
  for (QRadioButton* w : {form->FastwelButton, form->DalgorButton}) {
    EXPECT_TRUE(w->isVisible()) << w->objectName().toStdString();
    QRect r(w->mapTo(tb, QPoint(0, 0)), w->size());
    EXPECT_TRUE(tb->rect().contains(r)) << w->objectName().toStdString();
  }
  ClickNode(Doc().ProcNode());
  auto* pf = dynamic_cast<ui::TProcFrame*>(Frame().CurrentFrame());
  ASSERT_NE(pf, nullptr);
  // Every column of the group grid lies inside the grid: nothing to scroll sideways.
  EXPECT_EQ(pf->GroupGrid->horizontalScrollBar()->maximum(), 0);
  EXPECT_LE(pf->GroupGrid->horizontalHeader()->length(), pf->GroupGrid->viewport()->width());
}

// ---------------------------------------------------------------------------------------
TEST_F(NoLostWorkTest, KeyboardReachesEveryCommand) {
  MakeForm();
  MenuCommand(Doc().ControllerNode(), "Добавить плату DI32");
  TNode* board = ChildOfClass(Doc().ControllerNode(), "TDI32");
  TNode* tsNode = TableOf(board);
  TParams* ts = Table(tsNode);
  ClickNode(tsNode);
  ui::TFrameParams* lf = ListFrame();
  auto selected = [&] {
    std::vector<int> rows;
    for (int i = 0; i < ts->Count(); ++i)
      if (ts->At(i)->selected) rows.push_back(i);
    return rows;
  };
  // Arrows select as clicks do, Shift extends, Space toggles the focused row.
  ClickRow(lf, 2, ui::TCol::Name);
  Focus(lf->view);
  Key(Qt::Key_Down);
  EXPECT_EQ(selected(), std::vector<int>({3}));
  Key(Qt::Key_Down, Qt::ShiftModifier);
  EXPECT_EQ(selected(), std::vector<int>({3, 4}));
  Key(Qt::Key_Space);
  EXPECT_EQ(selected(), std::vector<int>({3}));
  // Esc in the name editor cancels; Enter (F2 is the save key) opens it.
  std::string name = ts->At(3)->Name();
  Key(Qt::Key_Up);
  Key(Qt::Key_Down);
  Key(Qt::Key_Return);
  ASSERT_NE(lf->nameEditor, nullptr);
  TypeText(lf->nameEditor, "Ошибка");
  QTest::keyClick(lf->nameEditor, Qt::Key_Escape);
  Settle();
  EXPECT_EQ(lf->nameEditor, nullptr);
  EXPECT_EQ(ts->At(3)->Name(), name);

  // The board's number: Space opens the picker, Tab moves, Space picks.
  ClickNode(board);
  auto* bf = dynamic_cast<ui::TBoardFrame*>(Frame().CurrentFrame());
  Focus(bf->AddrEdit);
  QTest::keyClick(bf->AddrEdit, Qt::Key_Space);
  Settle();
  auto* picker = qobject_cast<ui::TAddrEditForm*>(QApplication::activePopupWidget());
  ASSERT_NE(picker, nullptr);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
  Settle();
  EXPECT_EQ(dynamic_cast<TBoard*>(board->Item())->number, 1);

  // The tree's popup menu opens on the current node from the keyboard.
  ClickNode(Doc().ProcNode());
  Focus(Frame().BlockTree());
  QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(0, 0), Frame().BlockTree()->mapToGlobal(QPoint(0, 0)));
  QApplication::sendEvent(Frame().BlockTree()->viewport(), &menuKey);
  auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
  ASSERT_NE(popup, nullptr);
  EXPECT_EQ(popup, Frame().portMenu);
  popup->close();

  // Every storage button has its key (shown in its hint) and works from the keyboard.
  MenuCommand(Doc().ProcNode(), "Добавить Порт связи с ПУ");
  TNode* port = Doc().ProcNode()->Child(1);
  TNode* out = TableOf(port);
  ClickNode(out);
  ui::TStoragePanel* sp = Frame().StoragePanel();
  for (QToolButton* b : sp->findChildren<QToolButton*>())
    if (b->isVisibleTo(sp)) {
      EXPECT_FALSE(b->property("keys").toString().isEmpty()) << b->objectName().toStdString();
      EXPECT_TRUE(b->toolTip().contains(QKeySequence(b->property("keys").toString()).toString(QKeySequence::NativeText)));
    }
  struct Case {
    int key;
    Qt::KeyboardModifiers mods;
    int count;  // rows of the output table after the key
  } cases[] = {{Qt::Key_Insert, Qt::ControlModifier | Qt::ShiftModifier, 32},  // "Добавить все"
               {Qt::Key_Insert, Qt::NoModifier, 33},                            // "Добавить пустую строку"
               {Qt::Key_Delete, Qt::ControlModifier | Qt::ShiftModifier, 0}};   // "Удалить все"
  for (const auto& c : cases) {
    Focus(ListFrame()->view);
    Key(c.key, c.mods);
    EXPECT_EQ(Table(out)->Count(), c.count) << QKeySequence(c.key | c.mods).toString().toStdString();
  }
}

// ---------------------------------------------------------------------------------------
TEST_F(NoLostWorkTest, FileFiltersAndTheSearchableBlockingChoosers) {
  MakeForm();
  QStringList filters;
  answer = [&](QDialog& d) {
    if (auto* fd = qobject_cast<QFileDialog*>(&d)) filters = fd->nameFilters();
    return int(QDialog::Rejected);
  };
  Key(Qt::Key_F3);
  EXPECT_EQ(filters, QStringList({"Файлы конфигурации (*.cfg)", "Все файлы (*)"}));

  MenuCommand(Doc().ControllerNode(), "Добавить плату DI32");
  MenuCommand(Doc().ControllerNode(), "Добавить плату DO32");
  TNode* tu = TableOf(ChildOfClass(Doc().ControllerNode(), "TDO32"), kSigTU);
  ClickNode(tu);
  struct Case {
    const char* typed;
    bool accepted;
    const char* blockOn;  // the ТС name set, "" for none
  } cases[] = {{"Пр17", true, "0_DI32.Пр17"}, {"0_DI32.Пр5", true, "0_DI32.Пр5"}, {"нет такого", false, "0_DI32.Пр5"}};
  for (const auto& c : cases) {
    int completions = -1;
    bool errorShown = false;
    answer = [&](QDialog& d) {
      auto* tud = dynamic_cast<ui::TEditorTU*>(&d);
      if (!tud) {
        errorShown = qobject_cast<ui::TErrorDlg*>(&d) != nullptr;
        return int(QDialog::Accepted);
      }
      QComboBox* on = tud->OnBox;
      on->setFocus();
      on->lineEdit()->selectAll();
      TypeText(on->lineEdit(), c.typed);
      completions = on->completer()->completionCount();
      // The engineer picks the first proposal, or keeps what was typed when there is none.
      if (completions > 0) {
        on->completer()->setCurrentRow(0);
        on->lineEdit()->setText(on->completer()->currentCompletion());
      }
      for (QPushButton* b : d.findChildren<QPushButton*>())
        if (b->text() == "Принять") QTest::mouseClick(b, Qt::LeftButton);
      return d.result();
    };
    ClickRow(ListFrame(), 0, ui::TCol::Blocking);
    TParam* r = Table(tu)->At(0);
    EXPECT_EQ(r->blockOn ? r->blockOn->Name() : std::string(), c.blockOn) << c.typed;
    EXPECT_EQ(errorShown, !c.accepted) << c.typed;
    if (c.accepted) {
      EXPECT_GE(completions, 1) << c.typed;
    }
  }
}

#ifdef T32_APP_PATH
// The program is killed (SIGKILL) with unsaved changes; the next start offers what the
// autosave wrote beside the settings file and restores it exactly, and the user's own file
// was never touched.
TEST_F(NoLostWorkTest, AutosavedWorkSurvivesAKilledProgram) {
  const QString script = "add-board:4;add-board:15;rename-ts:2:Выключатель Q1;add-board:9";
  QTemporaryDir home;
  QString ini = home.filePath("Tavrik32.ini"), user = home.filePath("plant.cfg");
  MakeForm();
  ASSERT_TRUE(form->SaveToFile(user));  // the user's file: an empty configuration
  QByteArray userBytes;
  {
    QFile f(user);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    userBytes = f.readAll();
  }
  RunScript(*form, script);
  const std::string expected = Doc().Dump();
  form.reset();

  QProcess prog;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  env.insert("T32_AUTOSAVE_SECONDS", "1");
  prog.setProcessEnvironment(env);
  prog.start(T32_APP_PATH, {"--settings", ini, "--script", script, user});
  ASSERT_TRUE(prog.waitForStarted(10000));
  QString autosave = home.filePath("Tavrik32.autosave.cfg");
  QElapsedTimer t;
  t.start();
  while (!QFileInfo::exists(autosave) && t.elapsed() < 30000) QTest::qWait(50);
  ASSERT_TRUE(QFileInfo::exists(autosave)) << prog.readAllStandardError().toStdString();
  QTest::qWait(200);  // the file is renamed into place whole; let a second write pass too
  prog.kill();        // SIGKILL: no close, no question, no settings written
  ASSERT_TRUE(prog.waitForFinished(10000));
  EXPECT_EQ(prog.exitStatus(), QProcess::CrashExit);
  {
    QFile f(user);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), userBytes);
  }

  answer = Click("Да");
  MakeForm(ini);
  ASSERT_EQ(dialogTexts.size(), 1u);
  EXPECT_TRUE(dialogTexts[0].contains("Восстановить её?")) << dialogTexts[0].toStdString();
  EXPECT_TRUE(dialogTexts[0].contains("plant.cfg"));
  EXPECT_EQ(Doc().Dump(), expected);
  EXPECT_EQ(form->CurrentFile(), user);
  EXPECT_TRUE(form->Modified());
  EXPECT_TRUE(form->windowTitle().endsWith("*"));
  // Saved, the autosave is no longer needed; the next start asks nothing.
  ASSERT_TRUE(form->SaveToFile(user));
  EXPECT_FALSE(QFileInfo::exists(autosave));
}
#endif

}  // namespace
}  // namespace t32::test
