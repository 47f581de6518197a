// Board frames, the storage panel and the table editors driven through their widgets; saving
// and reopening a configuration through the file commands.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

#include "model/boards.h"
#include "model/controller.h"
#include "model/params.h"
#include "model/storage.h"
#include "ui/frames_boards.h"
#include "ui/frames_tables.h"
#include "ui/storagepanel.h"
#include "ui/treemodel.h"
#include "ui_fixture.h"

namespace t32::test {
namespace {

// Selects the table child of a node (first child whose item is a table).
TNode* TableOf(TNode* n) {
  for (int i = 0; i < n->ChildCount(); ++i)
    if (dynamic_cast<TParams*>(n->Child(i)->Item())) return n->Child(i);
  return nullptr;
}

TEST_F(UiTest, EveryBoardGetsItsFrameAndStoresIt) {
  MakeForm();
  ui::TFrame1& f = Frame();
  struct Case {
    int tag;
    const char* frame;
  } cases[] = {{9, "TMPI4Frame"}, {1, "TMVS4Frame"}, {7, "TUnio96Frame"}, {5, "TAI16Frame"}, {4, "TDI32Frame"}, {15, "TDO32Frame"}};
  for (const auto& c : cases) {
    ASSERT_TRUE(f.BlockAction(c.tag)->isEnabled()) << c.tag;
    f.BlockAction(c.tag)->trigger();
    ASSERT_NE(f.CurrentFrame(), nullptr) << c.tag;
    EXPECT_EQ(f.CurrentFrame()->objectName(), c.frame);
    auto* bf = dynamic_cast<ui::TBoardFrame*>(f.CurrentFrame());
    ASSERT_NE(bf, nullptr);
    EXPECT_FALSE(bf->Caption->text().isEmpty());
    // Every sub-item of the board has a frame too.
    Doc().Tree().ForEach([&](TNode* n) {
      if (f.CurrentNode()->IsAncestorOf(n) && n != f.CurrentNode() && !dynamic_cast<TParams*>(n->Item())) {
        EXPECT_NE(f.FrameFor(n->Item()->ClassName()), nullptr) << n->caption;
      }
    });
  }
  EXPECT_EQ(Doc().ControllerNode()->ChildCount(), 7);
}

TEST_F(UiTest, DI32NumberPickerAndDebounce) {
  MakeForm();
  ui::TFrame1& f = Frame();
  f.AddFromMenu(4, true);
  TNode* board = f.CurrentNode();
  auto* bf = dynamic_cast<ui::TDI32Frame*>(f.CurrentFrame());
  ASSERT_NE(bf, nullptr);
  ui::TAddrEditForm* picker = bf->OpenPicker();
  ASSERT_NE(picker, nullptr);
  EXPECT_EQ(picker->cells.size(), 15);  // 0 .. 14
  picker->Pick(3);
  EXPECT_EQ(board->caption, "3_Плата DI32");
  auto* table = dynamic_cast<TParams*>(TableOf(board)->Item());
  ASSERT_EQ(table->Count(), 32);
  EXPECT_EQ(table->At(0)->Name(), "3_DI32.Пр1");
  bf->TimeBox->setCurrentIndex(0);
  f.SelectNode(Doc().ControllerNode());
  EXPECT_EQ(dynamic_cast<TDI32*>(board->Item())->debounce, 0);
}

TEST_F(UiTest, SerialChannelFrameRecomputesTimes) {
  MakeForm();
  ui::TFrame1& f = Frame();
  f.AddFromMenu(9, true);
  TNode* ch = f.CurrentNode()->Child(0);
  f.SelectNode(ch);
  auto* cf = dynamic_cast<ui::TRS232Frame*>(f.CurrentFrame());
  ASSERT_NE(cf, nullptr);
  auto choose = [](QComboBox* box, int i) {
    box->setCurrentIndex(i);
    emit box->activated(i);
  };
  choose(cf->ParityBox, 2);
  choose(cf->StopBitsBox, 1);
  choose(cf->SpeedBox, 8);  // 600 baud, even parity, two stop bits
  EXPECT_EQ(cf->StartTimeEdit->text(), "40");
  EXPECT_EQ(cf->GapTimeEdit->text(), "60");
  choose(cf->InterfaceBox, 0);
  EXPECT_EQ(ch->caption, "COM_0.1 RS232");
  EXPECT_FALSE(cf->PortTcpEdit->isEnabled());
}

TEST_F(UiTest, RenameRowGetsRepeatSuffix) {
  MakeForm();
  ui::TFrame1& f = Frame();
  f.AddFromMenu(4, true);
  TNode* tableNode = TableOf(f.CurrentNode());
  f.SelectNode(tableNode);
  auto* lf = dynamic_cast<ui::TFrameParams*>(f.CurrentFrame());
  ASSERT_NE(lf, nullptr);
  auto* t = lf->Table();
  for (int row : {1, 2}) {
    lf->OpenNameEditor(row);
    ASSERT_NE(lf->nameEditor, nullptr);
    lf->nameEditor->setText("Пр1");
    QTest::keyClick(lf->nameEditor, Qt::Key_Return);
  }
  EXPECT_EQ(t->At(1)->Name(), "0_DI32.Пр1_повтор1");
  EXPECT_EQ(t->At(2)->Name(), "0_DI32.Пр1_повтор2");
  EXPECT_EQ(lf->model->data(lf->model->index(1, lf->model->ColumnOf(ui::TCol::Name)), Qt::DisplayRole).toString(),
            "Пр1_повтор1");
  EXPECT_EQ(Doc().Storage().List(kSigTS).At(1)->Name(), "0_DI32.Пр1_повтор1");
}

TEST_F(UiTest, StoragePanelFillsAnOutputTable) {
  MakeForm();
  ui::TFrame1& f = Frame();
  f.AddFromMenu(4, true);  // 32 ТС rows in the storage
  ui::TStoragePanel* sp = f.StoragePanel();
  EXPECT_EQ(sp->List(kSigTS)->model->rowCount(), 32);
  // An output ТС table of a port.
  f.AddFromMenu(101, false);
  TNode* port = f.CurrentNode();
  TNode* out = Doc().Tree().Add(port, MakeParams(kSigTS, kRoleOutput));
  dynamic_cast<TParams*>(out->Item())->owner = port->Item();
  f.SelectNode(out);
  EXPECT_EQ(sp->Tabs()->currentIndex(), 0);
  EXPECT_TRUE(sp->AddSelect->isEnabled());
  sp->Tabs()->setCurrentIndex(2);  // another type: adding is off
  EXPECT_FALSE(sp->AddSelect->isEnabled());
  sp->Tabs()->setCurrentIndex(0);
  // Select rows 2..4 in the storage list by clicks, then add them.
  ui::TFrameParams* list = sp->List(kSigTS);
  list->ClickCell(2, ui::TCol::Name, Qt::NoModifier);
  list->ClickCell(4, ui::TCol::Name, Qt::ShiftModifier);
  QTest::mouseClick(sp->AddSelect, Qt::LeftButton);
  auto* t = dynamic_cast<TParams*>(out->Item());
  ASSERT_EQ(t->Count(), 3);
  EXPECT_EQ(t->At(0)->Name(), "0_DI32.Пр3");
  QTest::mouseClick(sp->AddAll, Qt::LeftButton);
  QTest::mouseClick(sp->AddAll, Qt::LeftButton);
  EXPECT_EQ(t->Count(), 32);  // each row once
  auto* lf = dynamic_cast<ui::TFrameParams*>(f.CurrentFrame());
  ASSERT_NE(lf, nullptr);
  EXPECT_EQ(lf->model->rowCount(), 32);
  lf->ClickCell(0, ui::TCol::Name, Qt::NoModifier);
  QTest::mouseClick(sp->DelSelect, Qt::LeftButton);
  EXPECT_EQ(t->Count(), 31);
  EXPECT_EQ(lf->model->rowCount(), 31);
}

TEST_F(UiTest, TIDialogCalculatorAndAccept) {
  MakeForm();
  ui::TFrame1& f = Frame();
  f.AddFromMenu(5, true);
  TNode* ai8 = f.CurrentNode()->Child(0);
  f.SelectNode(ai8);
  auto* af = dynamic_cast<ui::TAI8Frame*>(f.CurrentFrame());
  ASSERT_NE(af, nullptr);
  af->TypeTI1->setCurrentIndex(1);
  emit af->TypeTI1->activated(1);
  TNode* tn = TableOf(ai8);
  ASSERT_NE(tn, nullptr);
  auto* t = dynamic_cast<TParams*>(tn->Item());
  EXPECT_EQ(t->Count(), 8);
  f.SelectNode(tn);
  auto* lf = dynamic_cast<ui::TFrameParams*>(f.CurrentFrame());
  ui::TEditorTI* seen = nullptr;
  answer = [&](QDialog& d) {
    auto* ti = dynamic_cast<ui::TEditorTI*>(&d);
    if (!ti) {  // the error window of a bad calculator input
      return 0;
    }
    seen = ti;
    EXPECT_TRUE(d.windowTitle().startsWith("Настройка параметра ТИ  "));
    ti->MinEdit->setEditText("0");
    ti->MaxEdit->setEditText("0");
    ti->Calculate();  // equal bounds: refused with a message
    ti->MaxEdit->setEditText("4000");
    ti->HiEdit->setEditText("100");
    ti->Calculate();
    EXPECT_EQ(ti->GainEdit->text(), "0.025");
    QTest::mouseClick(ti->AcceptButton, Qt::LeftButton);
    return d.result();
  };
  lf->ClickCell(0, ui::TCol::Gain, Qt::NoModifier);
  ASSERT_NE(seen, nullptr);
  EXPECT_TRUE(dialogTitles.size() >= 2);
  EXPECT_TRUE(dialogTexts[0].contains("Минимум и максимум квантов должны быть разными") ||
              dialogTexts[1].contains("Минимум и максимум квантов должны быть разными"));
  EXPECT_FLOAT_EQ(t->At(0)->gain, 0.025f);
  EXPECT_EQ(t->At(0)->valueWidth, 4);
}

TEST_F(UiTest, SaveAndReopenShowTheSameTree) {
  MakeForm();
  ui::TFrame1& f = Frame();
  f.AddFromMenu(4, true);
  f.AddFromMenu(9, true);
  f.AddFromMenu(5, true);
  f.SelectNode(Doc().ProcNode());
  Doc().Proc()->stationAddress = 42;
  f.RefreshCurrent();
  std::string before = Doc().Dump();
  QString path = dir.filePath("a.cfg");
  answer = [](QDialog&) { return 0; };  // "Не все порты связаны с платами." and the like
  ASSERT_TRUE(form->SaveToFile(path));
  form->NewExecute();
  EXPECT_EQ(Doc().Tree().Count(), 3);
  ASSERT_TRUE(form->OpenFile(path));
  EXPECT_EQ(Doc().Dump(), before);
  EXPECT_EQ(f.TreeModel()->rowCount(f.TreeModel()->IndexOf(Doc().ControllerNode())), 4);
}

}  // namespace
}  // namespace t32::test
