// The logic port's page driven by real mouse and key events on its canvas: the series example
// built by clicks, shunts, the click rules at two zooms, keys, renaming and Del kept inside the
// diagram.
#include <QFile>
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
#include "ui/frame_ld.h"
#include "ui/storagepanel.h"
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
  EXPECT_EQ(series.rfind("1_Порт.Пр_0 := ТС_0 \"", 0), 0u) << series;
  EXPECT_NE(series.find(" & ТС_1 \""), std::string::npos) << series;
  EXPECT_TRUE(p.port->Problems().empty());

  // A Shift range over both contacts turns green and "Шунт" puts a branch around it.
  ClickCell(pf, 0, 0);
  ClickCell(pf, 1, 0, Qt::LeftButton, Qt::ShiftModifier);
  EXPECT_TRUE(pf->AddStackButton->isEnabled());
  QTest::mouseClick(pf->AddStackButton, Qt::LeftButton);
  const std::string shunted = p.port->TaskText(0);
  EXPECT_NE(shunted, series);
  EXPECT_GT(p.port->tasks[0]->height, 1) << shunted;

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
