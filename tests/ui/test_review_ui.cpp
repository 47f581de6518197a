// Reviewing in the window: "Сравнить с файлом…" lists what was changed since a file was saved,
// and a click on a difference selects its item in the tree; "Экспортировать список сигналов…"
// writes the list in the format the file dialog's filter names.
#include <QFile>
#include <QFileDialog>
#include <QPushButton>
#include <QTreeWidget>

#include "model/boards.h"
#include "model/cp1251.h"
#include "model/fileio.h"
#include "model/params.h"
#include "model/storage.h"
#include "ports/port_menu.h"
#include "ports/port_pu.h"
#include "ui/review_dialogs.h"
#include "ui_fixture.h"

namespace t32::test {
namespace {

class ReviewUiTest : public UiTest {
 protected:
  // A DI32 at 0 and a control-station port passing its inputs on.
  void Build() {
    TDocument& d = Doc();
    TNode* n = d.Tree().Add(d.Tree().Root(), factory.Make(4, TItemPlace::Board));
    static_cast<TBlock*>(n->Item())->SetAddress(0);
    d.AfterEdit();
    auto* pu = static_cast<TPortPU*>(AddPortFromMenu(d, 101)->Item());
    pu->Table(kSigTS)->AddFromList(d.Storage().List(kSigTS), true);
    d.AfterEdit();
    board = n;
  }
  QAction* Action(const char* name) { return form->findChild<QAction*>(name); }
  TNode* board = nullptr;
};

QTreeWidgetItem* FindItem(QTreeWidget* t, const QString& text) {
  for (QTreeWidgetItem* it : t->findItems(text, Qt::MatchContains | Qt::MatchRecursive, 0))
    if (it->parent()) return it;
  return nullptr;
}

TEST_F(ReviewUiTest, DifferencesSinceTheFileAndAClickSelectsTheItem) {
  MakeForm();
  Build();
  QString file = dir.filePath("before.cfg");
  ASSERT_TRUE(form->SaveToFile(file));
  TNode* table = board->Child(0);
  static_cast<TParams*>(table->Item())->RenameRow(3, "Насос");
  static_cast<TDI32*>(board->Item())->debounce = 1;
  ClickNode(Doc().ProcNode());
  std::string before = Doc().Dump();

  QStringList shown;
  TNode* selectedInside = nullptr;
  int diffDialogs = 0;
  answer = [&](QDialog& d) {
    if (auto* fd = qobject_cast<QFileDialog*>(&d)) {
      fd->selectFile(file);
      return int(QDialog::Accepted);
    }
    auto* dlg = qobject_cast<ui::TDiffDialog*>(&d);
    if (!dlg) return int(QDialog::Rejected);
    ++diffDialogs;
    for (QTreeWidgetItemIterator it(dlg->tree); *it; ++it)
      if ((*it)->parent()) shown << (*it)->text(0) + "|" + (*it)->text(1) + "|" + (*it)->text(2);
    QTreeWidgetItem* row = FindItem(dlg->tree, "Строка переименована");
    if (row) {
      dlg->tree->scrollToItem(row);
      QRect r = dlg->tree->visualItemRect(row);
      QTest::mouseClick(dlg->tree->viewport(), Qt::LeftButton, {}, r.center());
      Settle();
      selectedInside = Frame().CurrentNode();
    }
    QTest::mouseClick(dlg->closeButton, Qt::LeftButton);
    return dlg->result();
  };
  Action("CompareFile")->trigger();
  Settle();
  ASSERT_EQ(diffDialogs, 1);
  EXPECT_EQ(shown, QStringList({"Изменено: debounce|2|1",
                                "Строка переименована, строка 4: 0_DI32.Пр4|0_DI32.Пр4|0_DI32.Насос"}));
  EXPECT_EQ(selectedInside, table);
  EXPECT_EQ(Frame().CurrentNode(), table);
  // The renamed row is the one selected in the table's list.
  auto* rows = static_cast<TParams*>(table->Item());
  for (int i = 0; i < rows->Count(); ++i) EXPECT_EQ(rows->At(i)->selected, i == 3) << i;
  // The comparison changed neither side.
  EXPECT_EQ(Doc().Dump(), before);
  TRecordedMessages m;
  TDocument saved(&m, &factory);
  TCpu cpu;
  ASSERT_TRUE(OpenConfigFile(saved, file.toStdString(), &cpu));
  EXPECT_EQ(CompareConfigurations(saved, Doc()).size(), 2u);

  // A file that cannot be read: the reason, no comparison.
  QString bad = dir.filePath("bad.cfg");
  ASSERT_TRUE(WriteFileAtomic(bad.toStdString(), "not a configuration"));
  file = bad;
  dialogTexts.clear();
  Action("CompareFile")->trigger();
  Settle();
  EXPECT_EQ(diffDialogs, 1);
  ASSERT_FALSE(dialogTexts.empty());
}

TEST_F(ReviewUiTest, SignalListExportFollowsTheChosenFilter) {
  MakeForm();
  Build();
  QString out = dir.filePath("list");
  QString filter;
  answer = [&](QDialog& d) {
    if (auto* fd = qobject_cast<QFileDialog*>(&d)) {
      fd->selectNameFilter(filter);
      fd->selectFile(out);
      return int(QDialog::Accepted);
    }
    return int(QDialog::Accepted);
  };
  filter = "Список сигналов CSV для Excel, cp1251 и \";\" (*.csv)";
  Action("ExportSignals")->trigger();
  Settle();
  std::string text;
  ASSERT_TRUE(ReadWholeFile((out + ".csv").toStdString(), text));
  std::string utf8 = Cp1251ToUtf8(text);
  EXPECT_EQ(utf8.substr(0, utf8.find("\r\n")), "Порт;Таблица;Индекс;Имя;Адрес;Источник;Индекс в хранилище;Плата;Канал;Вход");
  EXPECT_NE(utf8.find("\r\nПроцессор/1_Порт ПУ;ТС;0;0_DI32.Пр1;"), std::string::npos) << utf8.substr(0, 400);

  filter = "Список сигналов JSON (*.json)";
  Action("ExportSignals")->trigger();
  Settle();
  ASSERT_TRUE(ReadWholeFile((out + ".json").toStdString(), text));
  EXPECT_EQ(text.rfind("[\n", 0), 0u);
  EXPECT_NE(text.find("\"name\": \"0_DI32.Пр1\""), std::string::npos);
}

}  // namespace
}  // namespace t32::test
