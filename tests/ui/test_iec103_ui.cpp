// The IEC 103 device page driven by real events: an untouched page stores nothing new, typing
// into a grid follows the column's range, Enter fills a selected block, the row popup inserts
// and deletes, and a cell answered with Cancel keeps the device unchanged and the tree on it.
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QMenu>
#include <QTabWidget>
#include <QTest>

#include "model/cp1251.h"
#include "model/params.h"
#include "ports/app_context.h"
#include "ports/iec103.h"
#include "ui/frame_iec103.h"
#include "ui_fixture.h"

using namespace t32;
using namespace t32::test;

namespace {
std::vector<std::uint8_t> Image(TDocument& d) {
  std::int32_t end = d.WriteRecords();
  const auto& img = d.Config().Image();
  return {img.begin(), img.begin() + end};
}
void ClickCell(ui::TTableFrame* g, int row, int col, Qt::KeyboardModifiers mods = {}) {
  QRect r = g->view->visualRect(g->model->index(row, col));
  QTest::mouseClick(g->view->viewport(), Qt::LeftButton, mods, r.center());
}
std::vector<std::string> Row(ui::TTableFrame* g, int row) {
  std::vector<std::string> out;
  for (int c = 1; c <= g->grid.ColumnCount(); ++c) out.push_back(g->grid.Cell(row, c));
  return out;
}
void Trigger(ui::TTableFrame* g, const QString& text) {
  QMenu* m = g->MakeMenu();
  for (QAction* a : m->actions())
    if (a->text() == text) a->trigger();
  delete m;
}
}  // namespace

class Iec103Ui : public UiTest {
 protected:
  TRTU103* dev = nullptr;
  TPort103* port = nullptr;
  ui::TRTU103Frame* page = nullptr;
  void Build() {
    MakeForm();
    const QString lib = dir.filePath("IEC_103");
    QDir().mkpath(lib);
    QFile f(lib + "/rza.ini");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    std::string bytes = Utf8ToCp1251("[Устройства]\r\nРЗА=\r\n[Таблица ТС]\r\nТС_1=160 16\r\n[Таблица ТИ]\r\nТИ_1=160 148 2\r\n"
                                     "[Список ТС]\r\n160 16=Авария\r\n160 18=Пуск\r\n");
    f.write(bytes.data(), static_cast<qint64>(bytes.size()));
    f.close();
    Doc().appContext->library103Folders = {lib.toStdString()};
    Frame().AddFromMenu(9, true);
    Frame().AddFromMenu(115, false);
    port = dynamic_cast<TPort103*>(Frame().CurrentNode()->Item());
    ASSERT_NE(port, nullptr);
    auto added = port->AddDevices({{5, "РЗА"}});
    ASSERT_EQ(added.size(), 1u);
    dev = added[0];
    ClickNode(dev->node);
    page = dynamic_cast<ui::TRTU103Frame*>(Frame().CurrentFrame());
    ASSERT_NE(page, nullptr);
  }
};

TEST_F(Iec103Ui, PageShowsTheDeviceAndAnUntouchedStoreChangesNothing) {
  Build();
  EXPECT_EQ(page->TypeBox->currentText(), "РЗА");
  EXPECT_EQ(page->Pages->tabText(0), "            ТС            ");
  EXPECT_EQ(page->Pages->tabText(2), "            ТУ            ");
  ui::TTableFrame* ts = page->Grids[kTab103TS];
  EXPECT_EQ(ts->model->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), " ТИП ФУНКЦИИ");
  EXPECT_EQ(ts->model->headerData(1, Qt::Vertical, Qt::DisplayRole).toString(), "2");
  EXPECT_EQ(Row(ts, 1), (std::vector<std::string>{"160", "16"}));
  EXPECT_EQ(ts->grid.RowCount(), 2);  // the entry and an empty row
  // An old word number 0 is kept while its grid is not touched.
  dev->tables[kTab103TI][0].n = 0;
  ClickNode(port->node);
  ClickNode(dev->node);
  const auto before = Image(Doc());
  ClickNode(port->node);
  ClickNode(dev->node);
  ClickNode(port->node);
  EXPECT_EQ(Image(Doc()), before);
  EXPECT_TRUE(dialogTexts.empty());
}

TEST_F(Iec103Ui, TypingEnterOverABlockAndTheRowPopup) {
  Build();
  ui::TTableFrame* ts = page->Grids[kTab103TS];
  ClickCell(ts, 1, 0);
  QTest::keyClicks(ts->view, "256a");
  EXPECT_EQ(Row(ts, 2), (std::vector<std::string>{"25", ""}));
  QTest::keyClick(ts->view, Qt::Key_Right);
  QTest::keyClicks(ts->view, "7");
  // Right in the last column opens a row below; Down on the last row too.
  QTest::keyClick(ts->view, Qt::Key_Right);
  EXPECT_EQ(ts->grid.RowCount(), 3);
  QTest::keyClick(ts->view, Qt::Key_Down);
  EXPECT_EQ(ts->grid.RowCount(), 4);
  EXPECT_EQ(ts->view->currentIndex().row(), 3);
  // Rows 2..4 selected in both columns with the caret on row 2 (the block is drawn from its
  // far corner, so the caret ends where the mouse ends): Enter copies row 2 down.
  ClickCell(ts, 3, 1);
  ClickCell(ts, 1, 0, Qt::ShiftModifier);
  QTest::keyClick(ts->view, Qt::Key_Return);
  for (int r = 2; r <= 4; ++r) EXPECT_EQ(Row(ts, r), (std::vector<std::string>{"25", "7"})) << r;

  // The popup: a copy of row 1 above it, then row 1 deleted again.
  ClickCell(ts, 0, 0);
  Trigger(ts, "Вставить копию строки");
  EXPECT_EQ(ts->grid.RowCount(), 5);
  EXPECT_EQ(Row(ts, 2), (std::vector<std::string>{"160", "16"}));
  Trigger(ts, "Удалить строку");
  EXPECT_EQ(ts->grid.RowCount(), 4);
  Trigger(ts, "Вставить  пустую строку");
  EXPECT_EQ(Row(ts, 1), (std::vector<std::string>{"", ""}));
  QMenu* m = ts->MakeMenu();
  QStringList texts;
  for (QAction* a : m->actions()) texts << (a->isSeparator() ? "-" : a->text());
  delete m;
  EXPECT_EQ(texts, (QStringList{"Вставить  пустую строку", "Вставить копию строки", "-", "Удалить строку", "-",
                                "Читать таблицу из текстового файла", "Сохранить таблицу в текстовом файле"}));

  // Stored when the tree moves on: empty rows are skipped.
  ClickNode(port->node);
  EXPECT_EQ(Frame().CurrentNode(), port->node);
  EXPECT_EQ(dev->tables[kTab103TS], (std::vector<TEntry103>{{160, 16, 0}, {25, 7, 0}, {25, 7, 0}, {25, 7, 0}}));
  EXPECT_EQ(dev->Table(kSigTS)->Count(), 4);
}

TEST_F(Iec103Ui, CancelKeepsTheDeviceAndTheSelectionIgnoreStoresZero) {
  Build();
  ui::TTableFrame* ti = page->Grids[kTab103TI];
  page->Pages->setCurrentIndex(kTab103TI);
  Settle();
  ClickCell(ti, 0, 2);
  QTest::keyClicks(ti->view, "0");
  ClickCell(ti, 0, 0);
  QTest::keyClicks(ti->view, "7");
  const auto before = dev->tables[kTab103TI];
  answer = Click("Cancel");
  ClickNode(port->node);
  ASSERT_EQ(dialogTexts.size(), 1u);
  EXPECT_EQ(dialogTexts[0],
            "Ячейка таблицы (строка 1, колонка 3)\nсодержит недопустимое значение: \"0\"\nДопустимый диапазон значений: "
            "1..32.\nДальнейшие действия:\nCancel - возврат к редактированию (рекомендуется);\nIgnore - обнулить данную "
            "ячейку и продолжить (на свой страх и риск).");
  EXPECT_EQ(Frame().CurrentNode(), dev->node);
  EXPECT_EQ(dev->tables[kTab103TI], before);
  EXPECT_EQ(page->Pages->currentIndex(), kTab103TI);
  EXPECT_EQ(ti->view->currentIndex().column(), 2);

  answer = Click("Ignore");
  ClickNode(port->node);
  EXPECT_EQ(Frame().CurrentNode(), port->node);
  EXPECT_EQ(dev->tables[kTab103TI], (std::vector<TEntry103>{{7, 148, 0}}));
}

TEST_F(Iec103Ui, ChooseParametersAddsTheSelectedLines) {
  Build();
  QString title;
  QColor first, second;
  answer = [&](QDialog& d) {
    auto* dlg = dynamic_cast<ui::TParams103Dialog*>(&d);
    if (!dlg) return int(QDialog::Rejected);
    title = d.windowTitle();
    first = dlg->List->item(0)->foreground().color();
    second = dlg->List->item(1)->foreground().color();
    QRect r = dlg->List->visualItemRect(dlg->List->item(1));
    QTest::mouseClick(dlg->List->viewport(), Qt::LeftButton, {}, r.center());
    QTest::mouseClick(dlg->AddButton, Qt::LeftButton);
    QTest::mouseClick(dlg->AcceptButton, Qt::LeftButton);
    return d.result();
  };
  QTest::mouseClick(page->ChooseButtons[kTab103TS], Qt::LeftButton);
  EXPECT_EQ(title, "Список ТС");
  EXPECT_EQ(first, QColor(Qt::gray));  // (160, 16) is in the table already
  EXPECT_NE(second, QColor(Qt::gray));
  EXPECT_EQ(dev->tables[kTab103TS], (std::vector<TEntry103>{{160, 16, 0}, {160, 18, 0}}));
  EXPECT_EQ(dev->Table(kSigTS)->At(1)->DefaultSuffix(), "Пуск");
}
