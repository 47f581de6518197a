// The logic port's page driven by real mouse and key events on its canvas: the series example
// built by clicks, shunts, the click rules at two zooms, keys, renaming and Del kept inside the
// diagram.
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QImage>
#include <QLineEdit>
#include <QMimeData>
#include <QHelpEvent>
#include <QTest>
#include <QWheelEvent>
#include <QToolTip>

#include "ports/ld_editor.h"
#include "ports/ld_svg.h"
#include "ports/port_ld.h"
#include "model/storage.h"
#include "project/cfgfile.h"
#include "ui/frame_ld.h"
#include "ui/storagepanel.h"
#include "model/signal_holders.h"
#include "ui_fixture.h"

using namespace t32;
using namespace t32::test;

namespace {

struct LDPage {
  ui::TPortLDFrame* pf = nullptr;
  TPortLD* port = nullptr;
  TNode* node = nullptr;
};

LDPage MakePage(ui::TFrame1& f, bool withInputs = true) {
  if (withInputs) f.AddFromMenu(4, true);  // DI32: 32 ТС
  f.AddFromMenu(131, false);
  LDPage p;
  p.node = f.CurrentNode();
  p.port = dynamic_cast<TPortLD*>(p.node->Item());
  p.pf = dynamic_cast<ui::TPortLDFrame*>(f.CurrentFrame());
  if (p.pf) p.pf->resize(900, 600);
  return p;
}

// The centre of a diagram cell on the canvas at the page's zoom and scroll.
QPoint CellPoint(ui::TPortLDFrame* pf, int col, int row) {
  const double c = pf->Image1->CellPixels();
  return {static_cast<int>((col - pf->ScrollBarX->value() + 0.5) * c),
          static_cast<int>((row - pf->ScrollBarY->value() + 0.5) * c)};
}

void ClickCell(ui::TPortLDFrame* pf, int col, int row, Qt::MouseButton b = Qt::LeftButton,
               Qt::KeyboardModifiers m = {}) {
  QTest::mouseClick(pf->Image1, b, m, CellPoint(pf, col, row));
}

// Chooses ТС storage row `index` in the signal list by keys, as a user would.
void ChooseByKeys(ui::TPortLDFrame* pf, int index) {
  pf->ComboBoxTS->setFocus();
  QTest::keyClick(pf->ComboBoxTS, Qt::Key_Home);
  for (int i = 0; i < index; ++i) QTest::keyClick(pf->ComboBoxTS, Qt::Key_Down);
}

using Bytes = std::vector<std::uint8_t>;
Bytes U16(std::uint16_t v) { return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)}; }

// The logic port's section as the document writes it.
Bytes PortSection(TDocument& doc) {
  const std::int32_t end = doc.WriteRecords();
  const Bytes img(doc.Config().Image().begin(), doc.Config().Image().begin() + end);
  const std::size_t at = t32test::FindSectionCode(img, 131);
  if (!at) return {};
  const std::size_t len = img[at + 4] | (img[at + 5] << 8) | (img[at + 6] << 16) | (std::size_t(img[at + 7]) << 24);
  return {img.begin() + static_cast<std::ptrdiff_t>(at), img.begin() + static_cast<std::ptrdiff_t>(at + len)};
}

// The series example written out by hand, as the model's tests have it: one task whose coil
// drives ТС_32 (after the DI32's 32 inputs), contacts ТС_0 and ТС_1; the task table follows.
Bytes SeriesFixture(TPortLD& p) {
  TConfig tc;
  tc.BeginWrite();
  p.Table()->SaveToImage(tc);
  const Bytes table(tc.Image().begin() + TConfig::kDataStart, tc.Image().begin() + tc.Pos);
  t32test::TBytes want;
  want.Sec(131).Ent(48, {1}).Ent(1, {1}).Ent(20, U16(1));
  want.Sec(228).Ent(48, {1});
  want.Sec(225).Ent(48, {1}).Ent(43, {0}).Ent(41, U16(32)).End();
  want.Sec(226).Ent(48, {1}).Ent(20, U16(2));
  want.Sec(225).Ent(48, {1}).Ent(43, {0}).Ent(41, U16(0)).End();
  want.Sec(225).Ent(48, {1}).Ent(43, {0}).Ent(41, U16(1)).End();
  want.End().End();
  want.b.insert(want.b.end(), table.begin(), table.end());
  want.End();
  return want.b;
}

// "ТС_i \"name\"" of a ТС storage row, as the text form writes a contact.
std::string Sig(TDocument& doc, int i) {
  return "ТС_" + std::to_string(i) + " \"" + doc.Storage().List(kSigTS).At(i)->Name() + "\"";
}

std::string Body(TPortLD& p, int i) { return p.TaskText(i).substr(p.TaskText(i).find(" := ") + 4); }

}  // namespace

TEST_F(UiTest, LogicPageBuildsTheSeriesExampleByClicks) {
  MakeForm();
  LDPage p = MakePage(Frame());
  ASSERT_TRUE(p.port && p.pf);
  ui::TPortLDFrame* pf = p.pf;
  EXPECT_EQ(pf->Heading->text(), "Порт дискретной логики");
  EXPECT_EQ(pf->AddInButton->text(), "Контакт  ");
  EXPECT_EQ(pf->AddOutButton->text(), "Задача  ");
  EXPECT_EQ(pf->AddStackButton->text(), "Шунт  ");
  EXPECT_EQ(pf->ClearButton->text(), "Новая схема");
  EXPECT_EQ(pf->AddInButton->toolTip(), "Добавить контакт");
  EXPECT_FALSE(pf->AddInButton->isEnabled());  // no task yet
  EXPECT_EQ(pf->ComboBoxTS->count(), 32);

  QTest::mouseClick(pf->AddOutButton, Qt::LeftButton);
  ASSERT_EQ(p.port->tasks.size(), 1u);
  EXPECT_TRUE(pf->AddInButton->isEnabled());
  QTest::mouseClick(pf->AddInButton, Qt::LeftButton);
  EXPECT_TRUE(pf->Editor()->contactMode);
  ClickCell(pf, 0, 0);
  ClickCell(pf, 1, 0);
  QTest::mouseClick(pf->AddInButton, Qt::LeftButton);  // released: contact mode ends
  EXPECT_FALSE(pf->Editor()->contactMode);
  ClickCell(pf, 0, 0);
  EXPECT_TRUE(pf->ComboBoxTS->isEnabled());
  EXPECT_EQ(pf->TS_NLabel->text(), "ТС__");
  ChooseByKeys(pf, 0);
  ClickCell(pf, 1, 0);
  ChooseByKeys(pf, 1);
  EXPECT_EQ(pf->TS_NLabel->text(), "ТС_1");
  const std::string series = p.port->TaskText(0);
  const std::string A = Sig(Doc(), 0), B = Sig(Doc(), 1);
  EXPECT_EQ(series, "1_Порт.Пр_0 := " + A + " & " + B);
  EXPECT_TRUE(p.port->Problems().empty());
  const Bytes fixture = SeriesFixture(*p.port);
  EXPECT_EQ(PortSection(Doc()), fixture);

  // A Shift range over both contacts turns green and "Шунт" puts a branch around it.
  ClickCell(pf, 0, 0);
  ClickCell(pf, 1, 0, Qt::LeftButton, Qt::ShiftModifier);
  EXPECT_TRUE(pf->AddStackButton->isEnabled());
  EXPECT_EQ(pf->Image1->grab().toImage().pixelColor(CellPoint(pf, 0, 0) - QPoint(20, 20)), QColor(192, 220, 192));
  QTest::mouseClick(pf->AddStackButton, Qt::LeftButton);
  EXPECT_EQ(Body(*p.port, 0), "(" + A + " & " + B + " | ?)");
  EXPECT_FALSE(pf->AddStackButton->isEnabled());
  // The whole first branch again: a third branch of the same shunt.
  ClickCell(pf, 0, 0);
  EXPECT_EQ(pf->Image1->grab().toImage().pixelColor(CellPoint(pf, 0, 0) - QPoint(20, 20)), QColor(192, 220, 192));
  ClickCell(pf, 1, 0, Qt::LeftButton, Qt::ShiftModifier);
  QTest::mouseClick(pf->AddStackButton, Qt::LeftButton);
  EXPECT_EQ(Body(*p.port, 0), "(" + A + " & " + B + " | ? | ?)");
  EXPECT_EQ(p.port->tasks[0]->height, 3);
  // Deleting the empty contacts of branches 2 and 3 dissolves the shunt: the example again.
  ClickCell(pf, 0, 1);
  ClickCell(pf, 0, 2, Qt::LeftButton, Qt::ControlModifier);
  EXPECT_EQ(pf->Image1->grab().toImage().pixelColor(CellPoint(pf, 0, 1) - QPoint(20, 20)), QColor(166, 202, 240));
  QTest::keyClick(pf->Image1, Qt::Key_Delete);
  EXPECT_EQ(p.port->TaskText(0), series);
  EXPECT_EQ(PortSection(Doc()), fixture);

  // A range copied with Ctrl+C pastes in series in front of the cell clicked, signals kept.
  ClickCell(pf, 0, 0);
  ClickCell(pf, 1, 0, Qt::LeftButton, Qt::ShiftModifier);
  QTest::keyClick(pf->Image1, Qt::Key_C, Qt::ControlModifier);
  ClickCell(pf, 1, 0);
  QTest::keyClick(pf->Image1, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(Body(*p.port, 0), A + " & " + A + " & " + B + " & " + B);
  QTest::keyClick(pf->Image1, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(PortSection(Doc()), fixture);

  // The shunt for the drop below.
  ClickCell(pf, 0, 0);
  ClickCell(pf, 1, 0, Qt::LeftButton, Qt::ShiftModifier);
  QTest::mouseClick(pf->AddStackButton, Qt::LeftButton);
  EXPECT_GT(p.port->tasks[0]->height, 1);

  EXPECT_NE(pf->StatusLabel->text().indexOf("Задач: 1"), -1);

  // A ТС row selected in the storage panel and dropped on the first contact becomes its signal.
  ui::TFrameParams* list = Frame().StoragePanel()->List(kSigTS);
  QRect cell = list->view->visualRect(list->model->index(4, list->model->ColumnOf(ui::TCol::Name)));
  QTest::mouseClick(list->view->viewport(), Qt::LeftButton, {}, cell.center());
  auto* mime = new QMimeData;
  mime->setData("application/x-tavrik32-rows", "storage");
  EXPECT_FALSE(DropOn(pf->Image1, CellPoint(pf, p.port->tasks[0]->coil->col, 0), mime));  // not on a coil
  mime = new QMimeData;
  mime->setData("application/x-tavrik32-rows", "storage");
  ASSERT_TRUE(DropOn(pf->Image1, CellPoint(pf, 0, 0), mime));
  EXPECT_NE(p.port->TaskText(0).find("ТС_4 "), std::string::npos) << p.port->TaskText(0);
  EXPECT_EQ(pf->TS_NLabel->text(), "ТС_4");
}

// One table of clicks, at 100 % and at 200 %: the cell hit follows the zoom.
TEST_F(UiTest, LogicPageClickRulesFollowTheZoom) {
  MakeForm();
  LDPage p = MakePage(Frame());
  ASSERT_TRUE(p.port && p.pf);
  ui::TPortLDFrame* pf = p.pf;
  QTest::mouseClick(pf->AddOutButton, Qt::LeftButton);
  QTest::mouseClick(pf->AddInButton, Qt::LeftButton);
  QTest::mouseMove(pf->Image1, CellPoint(pf, 0, 0));
  EXPECT_EQ(pf->Image1->cursor().shape(), Qt::DragCopyCursor);  // contact mode over a task
  QTest::mouseMove(pf->Image1, CellPoint(pf, 0, 4));
  EXPECT_EQ(pf->Image1->cursor().shape(), Qt::ArrowCursor);  // below the tasks
  ClickCell(pf, 0, 0);
  ClickCell(pf, 1, 0);
  ClickCell(pf, 2, 0);
  // A click on the coil column ends contact mode without a contact.
  ClickCell(pf, p.port->tasks[0]->coil->col, 0);
  EXPECT_FALSE(pf->Editor()->contactMode);
  EXPECT_FALSE(pf->AddInButton->isChecked());
  int contacts = 0;
  p.port->tasks[0]->line->ForEachContact([&](TLD&) { ++contacts; });
  ASSERT_EQ(contacts, 3);

  for (double zoom : {1.0, 2.0}) {
    SCOPED_TRACE(zoom);
    pf->SetZoom(zoom, QPoint(0, 0));
    ASSERT_EQ(pf->zoom, zoom);
    TLDEditor& ed = *pf->Editor();
    struct Case {
      int col;
      Qt::MouseButton button;
      Qt::KeyboardModifiers mods;
      int currentCol;  // -1: nothing current
      bool range, menu;
    };
    const int coil = p.port->tasks[0]->coil->col;
    const Case cases[] = {
        {1, Qt::LeftButton, {}, 1, true, false},                     // plain: one selected contact
        {2, Qt::LeftButton, Qt::ShiftModifier, 2, true, false},      // Shift: a range from the anchor
        {0, Qt::LeftButton, Qt::ControlModifier, 0, false, false},   // Ctrl: toggles, no range
        {coil, Qt::LeftButton, {}, coil, false, false},              // the coil: never a range end
        {2, Qt::RightButton, {}, 2, false, true},                    // right: the pop-up
        {coil, Qt::RightButton, {}, coil, false, true},
    };
    for (const Case& c : cases) {
      ClickCell(pf, c.col, 0, c.button, c.mods);
      if (pf->PopupMenu->isVisible()) pf->PopupMenu->hide();
      ASSERT_NE(ed.current, nullptr) << c.col;
      EXPECT_EQ(ed.current->col, c.currentCol);
      EXPECT_EQ(ed.rangeEnd != nullptr, c.range) << c.col;
      EXPECT_EQ(ed.menuOpened, c.menu) << c.col;
      if (c.menu) {
        EXPECT_EQ(pf->DuplicateAction->isVisible(), c.col == coil);
      }
    }
    // A click under the last task selects nothing.
    ClickCell(pf, 0, 3);
    EXPECT_EQ(ed.current, nullptr);
  }

  // Zoom by keys and by Ctrl+wheel, held within 25 % to 400 %.
  pf->Image1->setFocus();
  QTest::keyClick(pf->Image1, Qt::Key_0, Qt::ControlModifier);
  EXPECT_EQ(pf->zoom, 1.0);
  QTest::keyClick(pf->Image1, Qt::Key_Minus, Qt::ControlModifier);
  EXPECT_DOUBLE_EQ(pf->zoom, 0.8);
  for (int i = 0; i < 20; ++i) {
    QWheelEvent wheel(QPointF(100, 50), pf->Image1->mapToGlobal(QPointF(100, 50)), {}, QPoint(0, 120), Qt::NoButton,
                      Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(pf->Image1, &wheel);
  }
  EXPECT_DOUBLE_EQ(pf->zoom, 4.0);
  for (int i = 0; i < 20; ++i) QTest::keyClick(pf->Image1, Qt::Key_Minus, Qt::ControlModifier);
  EXPECT_DOUBLE_EQ(pf->zoom, 0.25);
}

// Keys alone: a task, two contacts, an inversion; Del stays in the diagram, so the port node
// remains while a contact goes.
TEST_F(UiTest, LogicPageKeysStayInTheDiagram) {
  MakeForm();
  LDPage p = MakePage(Frame());
  ASSERT_TRUE(p.port && p.pf);
  ui::TPortLDFrame* pf = p.pf;
  QTest::mouseClick(pf->AddOutButton, Qt::LeftButton);
  pf->Image1->setFocus();
  QTest::keyClick(pf->Image1, Qt::Key_Right);  // the anchor appears on the first cell
  QTest::keyClick(pf->Image1, Qt::Key_Space);
  QTest::keyClick(pf->Image1, Qt::Key_Right);
  QTest::keyClick(pf->Image1, Qt::Key_Insert);
  int contacts = 0;
  p.port->tasks[0]->line->ForEachContact([&](TLD&) { ++contacts; });
  EXPECT_EQ(contacts, 2);
  ASSERT_NE(pf->Editor()->current, nullptr);
  QTest::keyClick(pf->Image1, Qt::Key_I, Qt::ControlModifier);
  EXPECT_NE(pf->Editor()->current->inversion, 0);
  QTest::keyClick(pf->Image1, Qt::Key_Delete);
  contacts = 0;
  p.port->tasks[0]->line->ForEachContact([&](TLD&) { ++contacts; });
  EXPECT_EQ(contacts, 1);
  Settle();
  EXPECT_EQ(Frame().CurrentNode(), p.node);
  EXPECT_EQ(Frame().CurrentFrame(), pf);
  QTest::keyClick(pf->Image1, Qt::Key_Escape);
  EXPECT_EQ(pf->Editor()->current, nullptr);

  // Undo back to the empty port, then redo to the last diagram.
  const std::string last = p.port->TaskText(0);
  for (int i = 0; i < 10; ++i) QTest::keyClick(pf->Image1, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_TRUE(p.port->tasks.empty());
  EXPECT_FALSE(pf->AddInButton->isEnabled());
  for (int i = 0; i < 3; ++i) QTest::keyClick(pf->Image1, Qt::Key_Y, Qt::ControlModifier);
  for (int i = 0; i < 7; ++i) QTest::keyClick(pf->Image1, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  ASSERT_EQ(p.port->tasks.size(), 1u);
  EXPECT_EQ(p.port->TaskText(0), last);
  EXPECT_EQ(Frame().CurrentNode(), p.node);

  // Ctrl+C on the coil and Ctrl+V: a second task reading the same contacts.
  ClickCell(pf, p.port->tasks[0]->coil->col, 0);
  QTest::keyClick(pf->Image1, Qt::Key_C, Qt::ControlModifier);
  QTest::keyClick(pf->Image1, Qt::Key_V, Qt::ControlModifier);
  ASSERT_EQ(p.port->tasks.size(), 2u);
  EXPECT_EQ(p.port->TaskText(1).substr(p.port->TaskText(1).find(" := ")), last.substr(last.find(" := ")));
}

// The same diagram without the mouse: Ctrl+Ins adds the task, arrows and Space put the
// contacts, Shift+Tab reaches the signal list, Ctrl+Shift+Ins makes the shunts, Del dissolves
// them. Undo goes back to the empty port's bytes, redo forward to the last; F1 opens the
// editor's help page.
TEST_F(UiTest, LogicPageBuildsTheExampleByKeys) {
  MakeForm();
  LDPage p = MakePage(Frame());
  ASSERT_TRUE(p.port && p.pf);
  ui::TPortLDFrame* pf = p.pf;
  form->show();
  QApplication::setActiveWindow(form.get());
  pf->Image1->setFocus();
  const Bytes empty = PortSection(Doc());
  auto key = [&](int k, Qt::KeyboardModifiers m = {}) { QTest::keyClick(QApplication::focusWidget(), Qt::Key(k), m); };
  // From the diagram to the signal list and back by Tab keys; the list picks row `index`.
  auto choose = [&](int index) {
    key(Qt::Key_Backtab, Qt::ShiftModifier);
    key(Qt::Key_Backtab, Qt::ShiftModifier);
    ASSERT_EQ(QApplication::focusWidget(), pf->ComboBoxTS);
    key(Qt::Key_Home);
    for (int i = 0; i < index; ++i) key(Qt::Key_Down);
    key(Qt::Key_Tab);
    key(Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), pf->Image1);
  };
  key(Qt::Key_Insert, Qt::ControlModifier);
  ASSERT_EQ(p.port->tasks.size(), 1u);
  key(Qt::Key_Right);  // the cursor appears on the first cell
  key(Qt::Key_Space);
  key(Qt::Key_Right);
  key(Qt::Key_Insert);
  key(Qt::Key_Left);
  choose(0);
  key(Qt::Key_Right);
  choose(1);
  const std::string A = Sig(Doc(), 0), B = Sig(Doc(), 1);
  EXPECT_EQ(Body(*p.port, 0), A + " & " + B);
  const Bytes fixture = SeriesFixture(*p.port);
  EXPECT_EQ(PortSection(Doc()), fixture);

  key(Qt::Key_Left, Qt::ShiftModifier);  // from B back to A: a range
  EXPECT_TRUE(pf->AddStackButton->isEnabled());
  key(Qt::Key_Insert, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(Body(*p.port, 0), "(" + A + " & " + B + " | ?)");
  key(Qt::Key_Left);  // the cursor stayed on B's cell; the range again over the first branch
  key(Qt::Key_Right, Qt::ShiftModifier);
  key(Qt::Key_Insert, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(Body(*p.port, 0), "(" + A + " & " + B + " | ? | ?)");
  key(Qt::Key_Left);
  key(Qt::Key_Down);
  key(Qt::Key_Delete);
  EXPECT_EQ(Body(*p.port, 0), "(" + A + " & " + B + " | ?)");
  EXPECT_EQ(pf->Editor()->anchorRow, 1);  // the keyboard's cursor stays where it was
  EXPECT_EQ(pf->Editor()->current, nullptr);
  key(Qt::Key_Up);  // the branch below moved up to the cursor's row
  key(Qt::Key_Down);
  key(Qt::Key_Delete);
  EXPECT_EQ(Body(*p.port, 0), A + " & " + B);
  const Bytes last = PortSection(Doc());
  EXPECT_EQ(last, fixture);
  EXPECT_EQ(Frame().CurrentNode(), p.node);

  int undone = 0;
  while (pf->Editor()->CanUndo() && undone < 50) {
    key(Qt::Key_Z, Qt::ControlModifier);
    ++undone;
  }
  EXPECT_GE(undone, 9);
  EXPECT_EQ(PortSection(Doc()), empty);
  EXPECT_FALSE(pf->AddInButton->isEnabled());
  while (pf->Editor()->CanRedo() && undone-- > 0) key(Qt::Key_Y, Qt::ControlModifier);
  EXPECT_EQ(PortSection(Doc()), last);

  key(Qt::Key_F1);
  EXPECT_TRUE(form->lastHelpPage.endsWith("/131.html")) << form->lastHelpPage.toStdString();
  EXPECT_EQ(QApplication::focusWidget(), pf->Image1);
}

// Renaming by a double click on the coil: a taken name is asked again with the reason, the
// task's own name and Cancel keep it, a new name is taken.
TEST_F(UiTest, LogicPageRenamesATaskThroughTheInputDialog) {
  MakeForm();
  LDPage p = MakePage(Frame());
  ASSERT_TRUE(p.port && p.pf);
  ui::TPortLDFrame* pf = p.pf;
  QTest::mouseClick(pf->AddOutButton, Qt::LeftButton);
  QTest::mouseClick(pf->AddOutButton, Qt::LeftButton);
  ASSERT_EQ(p.port->tasks.size(), 2u);
  const std::string first = p.port->TaskSuffix(0), second = p.port->TaskSuffix(1);
  std::vector<QString> typed = {QString::fromStdString(first), "", "Насос"};
  std::vector<QString> prompts, shown;
  answer = [&](QDialog& d) {
    auto* edit = d.findChild<QLineEdit*>("edit");
    auto* label = d.findChild<QLabel*>("promptLabel");
    if (!edit || !label || typed.empty()) return int(QDialog::Rejected);
    prompts.push_back(label->text());
    shown.push_back(edit->selectedText());
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    TypeText(edit, typed.front());
    typed.erase(typed.begin());
    QTest::keyClick(edit, Qt::Key_Return);
    return d.result();
  };
  const int coil = p.port->tasks[1]->coil->col, row = p.port->tasks[1]->row;
  QTest::mouseDClick(pf->Image1, Qt::LeftButton, {}, CellPoint(pf, coil, row));
  ASSERT_EQ(prompts.size(), 3u);  // a taken name and an empty one are both asked again
  EXPECT_EQ(prompts[0], "Введите имя задачи");
  EXPECT_EQ(prompts[1], "Имя задачи уже используется");
  EXPECT_EQ(prompts[2], "Имя задачи уже используется");
  EXPECT_EQ(shown[0], QString::fromStdString(second));
  EXPECT_EQ(dialogTitles.front(), "Tavrik32 - Ввод");
  EXPECT_EQ(p.port->TaskSuffix(1), "Насос");

  // The task's own name is taken at once.
  prompts.clear();
  typed = {"Насос"};
  QTest::mouseDClick(pf->Image1, Qt::LeftButton, {}, CellPoint(pf, coil, row));
  EXPECT_EQ(prompts.size(), 1u);
  EXPECT_EQ(p.port->TaskSuffix(1), "Насос");

  // Cancel keeps the name.
  prompts.clear();
  answer = Click("Отмена");
  QTest::mouseDClick(pf->Image1, Qt::LeftButton, {}, CellPoint(pf, coil, row));
  EXPECT_EQ(p.port->TaskSuffix(1), "Насос");
}

// "Рисунок": the PNG shows the contact's bars at x + 27 and x + 37 on white, with no selection
// colour; the SVG is the command-line tool's picture.
TEST_F(UiTest, LogicPageSavesThePicture) {
  MakeForm();
  LDPage p = MakePage(Frame());
  ASSERT_TRUE(p.port && p.pf);
  ui::TPortLDFrame* pf = p.pf;
  QTest::mouseClick(pf->AddOutButton, Qt::LeftButton);
  QTest::mouseClick(pf->AddInButton, Qt::LeftButton);
  ClickCell(pf, 1, 0);
  QTest::keyClick(pf->Image1, Qt::Key_Escape);
  ClickCell(pf, 1, 0);  // selected: the picture must not show it
  const int x = p.port->tasks[0]->line->elements.front()->col * kLDCell;

  // The contact has no signal: a red frame on the page and the reason in its tooltip, but not
  // in the picture.
  ASSERT_EQ(pf->ProblemCells().size(), 1u);
  EXPECT_EQ(pf->Image1->grab().toImage().pixelColor(x + 2, 32), QColor(255, 0, 0));
  EXPECT_NE(pf->StatusLabel->text().indexOf("проблем: 1"), -1);
  QHelpEvent help(QEvent::ToolTip, CellPoint(pf, x / kLDCell, 0), pf->Image1->mapToGlobal(CellPoint(pf, x / kLDCell, 0)));
  QApplication::sendEvent(pf->Image1, &help);
  EXPECT_EQ(QToolTip::text(), "контакт без сигнала");

  const QString png = dir.filePath("ld.png");
  std::string error;
  ASSERT_TRUE(pf->SavePicture(png, &error)) << error;
  QImage img(png);
  ASSERT_FALSE(img.isNull());
  EXPECT_EQ(img.width(), p.port->diagramWidth * kLDCell);
  EXPECT_EQ(img.pixelColor(x + 27, 30), QColor(Qt::black));
  EXPECT_EQ(img.pixelColor(x + 37, 30), QColor(Qt::black));
  EXPECT_EQ(img.pixelColor(x + 32, 10), QColor(Qt::white));  // no selection colour

  const QString svg = dir.filePath("ld.svg");
  ASSERT_TRUE(pf->SavePicture(svg, &error)) << error;
  QFile f(svg);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const auto ops = DrawLD(*p.port, nullptr, 0, 0, p.port->diagramWidth, p.port->rows);
  EXPECT_EQ(f.readAll().toStdString(), LDToSvg(ops, p.port->diagramWidth * kLDCell, p.port->rows * kLDCell));
}

namespace {

// A diagram of two tasks built by clicks, packed from column 0 as a file reads back:
// (A & B | ?) & !C := !coil, and a one-contact task. Signals 0..3.
void BuildPictureDiagram(ui::TPortLDFrame* pf) {
  QTest::mouseClick(pf->AddOutButton, Qt::LeftButton);
  QTest::mouseClick(pf->AddInButton, Qt::LeftButton);
  for (int c : {0, 1, 2}) ClickCell(pf, c, 0);
  QTest::mouseClick(pf->AddInButton, Qt::LeftButton);
  for (int c : {0, 1, 2}) {
    ClickCell(pf, c, 0);
    ChooseByKeys(pf, c);
  }
  ClickCell(pf, 2, 0);
  QTest::keyClick(pf->Image1, Qt::Key_I, Qt::ControlModifier);
  ClickCell(pf, 0, 0);
  ClickCell(pf, 1, 0, Qt::LeftButton, Qt::ShiftModifier);
  QTest::mouseClick(pf->AddStackButton, Qt::LeftButton);
  ClickCell(pf, pf->Editor()->port.tasks[0]->coil->col, 0);
  QTest::keyClick(pf->Image1, Qt::Key_I, Qt::ControlModifier);
  QTest::mouseClick(pf->AddOutButton, Qt::LeftButton);
  QTest::mouseClick(pf->AddInButton, Qt::LeftButton);
  ClickCell(pf, 0, 2);
  QTest::mouseClick(pf->AddInButton, Qt::LeftButton);
  ClickCell(pf, 0, 2);
  ChooseByKeys(pf, 3);
  ClickCell(pf, 1, 0);  // a selection: the pictures must not show it
}

QString ReadAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

bool HasTool(const char* name) { return !QStandardPaths::findExecutable(name).isEmpty(); }

}  // namespace

// The SVG of "Рисунок" is the command-line tool's "logic svg" of the saved file, byte for
// byte, and a valid SVG 1.1 document.
TEST_F(UiTest, LogicPagePictureSvgIsTheCommandLinesAndValid) {
  MakeForm();
  LDPage p = MakePage(Frame());
  ASSERT_TRUE(p.port && p.pf);
  BuildPictureDiagram(p.pf);
  ASSERT_EQ(Body(*p.port, 0).find("(ТС_0 "), 0u) << Body(*p.port, 0);
  const QString svg = dir.filePath("ld.svg"), cfg = dir.filePath("ld.cfg"), cli = dir.filePath("cli.svg");
  std::string error;
  ASSERT_TRUE(p.pf->SavePicture(svg, &error)) << error;
  ASSERT_TRUE(SaveConfigFile(Doc(), cfg.toStdString(), TCpu::Cpu927));
#ifdef T32_CLI_PATH
  QProcess run;
  run.start(T32_CLI_PATH, {"logic", "svg", cfg, cli});
  ASSERT_TRUE(run.waitForFinished(30000));
  ASSERT_EQ(run.exitCode(), 0) << run.readAllStandardError().toStdString();
  EXPECT_EQ(ReadAll(cli), ReadAll(svg));
#endif
  const QString dtd = "/usr/share/xml/w3c-sgml-lib/schema/dtd/REC-SVG11-20110816/svg11.dtd";
  if (!HasTool("xmllint") || !QFileInfo::exists(dtd)) GTEST_SKIP() << "xmllint or the SVG 1.1 DTD is not installed";
  QProcess lint;
  lint.start("xmllint", {"--noout", "--nonet", "--dtdvalid", dtd, svg});
  ASSERT_TRUE(lint.waitForFinished(30000));
  EXPECT_EQ(lint.exitCode(), 0) << lint.readAllStandardError().toStdString();
}

// The PNG of "Рисунок" at the drawing's own pixels: the contact bars at x + 27 and x + 37, the
// rail at pixels 5 and 6, no selection colour; and the SVG rasterised by rsvg-convert puts its
// wires and bars on the same pixels (texts, circles and diagonals aside, which fonts and
// smoothing draw differently).
TEST_F(UiTest, LogicPagePicturePngAndRasterisedSvgAgree) {
  MakeForm();
  LDPage p = MakePage(Frame());
  ASSERT_TRUE(p.port && p.pf);
  BuildPictureDiagram(p.pf);
  const QString png = dir.filePath("ld.png"), svg = dir.filePath("ld.svg"), raster = dir.filePath("raster.png");
  std::string error;
  ASSERT_TRUE(p.pf->SavePicture(png, &error)) << error;
  ASSERT_TRUE(p.pf->SavePicture(svg, &error)) << error;
  const QImage img = QImage(png).convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(img.width(), p.port->diagramWidth * kLDCell);
  ASSERT_EQ(img.height(), p.port->rows * kLDCell);
  const auto black = QColor(Qt::black), white = QColor(Qt::white);
  const int xB = 1 * kLDCell;  // B, in the shunt's first branch
  EXPECT_EQ(img.pixelColor(xB + 27, 25), black);
  EXPECT_EQ(img.pixelColor(xB + 37, 25), black);
  EXPECT_EQ(img.pixelColor(xB + 26, 25), white);
  EXPECT_EQ(img.pixelColor(xB + 32, 25), white);  // selected, but not in the picture
  EXPECT_EQ(img.pixelColor(xB + 38, 25), white);
  for (int y : {3, 64 + 10, 2 * kLDCell + 60}) {
    EXPECT_EQ(img.pixelColor(5, y), black) << y;
    EXPECT_EQ(img.pixelColor(6, y), black) << y;
    EXPECT_EQ(img.pixelColor(4, y), white) << y;
    EXPECT_EQ(img.pixelColor(7, y), white) << y;
  }

  if (!HasTool("rsvg-convert")) GTEST_SKIP() << "rsvg-convert is not installed";
  QProcess run;
  run.start("rsvg-convert", {"-o", raster, svg});
  ASSERT_TRUE(run.waitForFinished(30000));
  ASSERT_EQ(run.exitCode(), 0) << run.readAllStandardError().toStdString();
  const QImage ras = QImage(raster).convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(ras.size(), img.size());
  // Pixels that texts, circles and diagonals may touch are left out.
  QImage mask(img.size(), QImage::Format_Mono);
  mask.fill(0);
  const auto ops = DrawLD(*p.port, nullptr, 0, 0, p.port->diagramWidth, p.port->rows);
  int strokes = 0;
  for (const TLDOp& o : ops) {
    QRect box;
    if (o.kind == TLDOp::Text) box = QRect(o.x1 - 2, o.y1 - 2, 80, 20);
    if (o.kind == TLDOp::Circle || (o.kind == TLDOp::Line && o.x1 != o.x2 && o.y1 != o.y2))
      box = QRect(QPoint(std::min(o.x1, o.x2) - 2, std::min(o.y1, o.y2) - 2), QPoint(std::max(o.x1, o.x2) + 2, std::max(o.y1, o.y2) + 2));
    if (o.kind == TLDOp::Line && !box.isValid()) ++strokes;
    for (int y = std::max(box.top(), 0); box.isValid() && y <= std::min(box.bottom(), img.height() - 1); ++y)
      for (int x = std::max(box.left(), 0); x <= std::min(box.right(), img.width() - 1); ++x) mask.setPixel(x, y, 1);
  }
  ASSERT_GT(strokes, 20);
  auto dark = [](const QImage& i, int x, int y) { return qGray(i.pixel(x, y)) < 128; };
  int compared = 0, differ = 0;
  QString first;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) {
      if (mask.pixelIndex(x, y)) continue;
      ++compared;
      if (dark(img, x, y) != dark(ras, x, y)) {
        if (!differ) first = QString("%1,%2").arg(x).arg(y);
        ++differ;
      }
    }
  EXPECT_GT(compared, img.width() * img.height() / 2);
  EXPECT_EQ(differ, 0) << "first at " << first.toStdString();
  // The bars and the rail themselves, in the rasterised picture.
  EXPECT_TRUE(dark(ras, xB + 27, 25) && dark(ras, xB + 37, 25) && !dark(ras, xB + 32, 25));
  EXPECT_TRUE(dark(ras, 5, 3) && dark(ras, 6, 3) && !dark(ras, 4, 3) && !dark(ras, 7, 3));
}
