// The IEC 104 station editor driven by real mouse and key events: edits reach the station,
// dialogs round-trip the station unchanged, import through the open dialog, closing rules.
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QMenu>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QToolBar>
#include <QTreeWidget>
#include <deque>

#include "iec104/station_xml.h"
#include "ui/station_dialogs.h"
#include "ui/station_form.h"
#include "ui_fixture.h"

namespace t32::test {
namespace {
using ui::Q;
using ui::S;

std::string Fixture104() {
  QFile f(QString(T32_FIXTURES) + "/iec104/workstation_cp1251.xml");
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll().toStdString();
}

class StationUi : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    ctx.messages = &msgs;
    ctx.programDir = dir.path();
    // Dialogs are answered in turn by the steps queued in `steps`.
    answer = [this](QDialog& d) {
      QApplication::setActiveWindow(&d);
      if (steps.empty()) {
        ADD_FAILURE() << "unexpected dialog " << S(d.windowTitle());
        return int(QDialog::Rejected);
      }
      auto step = std::move(steps.front());
      steps.pop_front();
      return step(d);
    };
    editor = std::make_unique<ui::Tc104Form>(ctx);
  }
  void TearDown() override {
    editor.reset();
    UiTest::TearDown();
  }
  void Open(TWS_104& st) {
    editor->SetStation(&st);
    editor->show();
    QApplication::setActiveWindow(editor.get());
    QApplication::processEvents();
  }
  void Click(QAction* a) {
    QWidget* b = editor->Button(a);
    ASSERT_NE(b, nullptr);
    QTest::mouseClick(b, Qt::LeftButton);
  }
  void ClickNode(const TConfigItem* n) {
    QTreeWidgetItem* it = editor->ItemOf(n);
    ASSERT_NE(it, nullptr);
    editor->tree->scrollToItem(it);
    QTest::mouseClick(editor->tree->viewport(), Qt::LeftButton, {}, editor->tree->visualItemRect(it).center());
  }
  QPoint RowPoint(int row, int x = 100) {
    return QPoint(x, editor->list->rowViewportPosition(row) + editor->list->rowHeight(row) / 2);
  }
  void ClickRow(int row, int x = 100, Qt::KeyboardModifiers m = {}) {
    QTest::mouseClick(editor->list->viewport(), Qt::LeftButton, m, RowPoint(row, x));
  }
  static void Type(QLineEdit* e, const QString& text) {
    e->setFocus();
    e->selectAll();
    // keyClicks knows ASCII only: other letters go as key events carrying their text.
    for (QChar c : text) {
      if (c.unicode() < 128) QTest::keyClick(e, c.toLatin1());
      else QTest::sendKeyEvent(QTest::Click, e, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
  }
  static int Ok(ui::TStationDlg& d) {
    QTest::mouseClick(d.okButton, Qt::LeftButton);
    return d.result();
  }

  // Stations outlive the editor that shows them.
  TWS_104& NewStation() { return stations.emplace_back(); }
  std::deque<TWS_104> stations;
  TRecordedMessages msgs;
  ui::T104EditorContext ctx;
  std::unique_ptr<ui::Tc104Form> editor;
  std::deque<std::function<int(QDialog&)>> steps;
};

std::vector<std::uint8_t> Bytes(const TWS_104& st) { return st.Serialise(); }

TEST_F(StationUi, EditingReachesTheStation) {
  TWS_104& st = NewStation();
  TWS_104 want;
  for (TWS_104* s : {&st, &want}) {
    auto g = std::make_unique<TGroup>(3);
    g->name = "ТС";
    g->record.kind = kKindTS;
    s->AddChild(std::move(g));
  }
  Open(st);
  // The station is selected: no tag, no removal, no paste yet; "Замена строк" never.
  EXPECT_FALSE(editor->actAddTag->isEnabled());
  EXPECT_FALSE(editor->actRemove->isEnabled());
  EXPECT_TRUE(editor->actAddGroup->isEnabled());
  EXPECT_FALSE(editor->actPaste->isEnabled());
  EXPECT_FALSE(editor->actReplace->isEnabled());

  // A ТИ group through the group dialog, its base address typed in hex.
  steps.push_back([](QDialog& d) {
    auto& g = dynamic_cast<ui::TGroupDlg&>(d);
    Type(g.name, "Изм");
    g.kind->setCurrentIndex(g.kind->findData(kKindTI));
    Type(g.baseAddress->hex, "4000");
    EXPECT_EQ(g.baseAddress->dec->text(), "16384");
    Type(g.baseAddress->hex, "FFFFFFFF");  // past the maximum: the maximum
    EXPECT_EQ(g.baseAddress->dec->text(), "16777215");
    Type(g.baseAddress->dec, "16384");
    EXPECT_EQ(g.baseAddress->hex->text(), "4000");
    return Ok(g);
  });
  Click(editor->actAddGroup);
  ASSERT_EQ(st.Children().size(), 2u);
  TGroup* ti = st.Children()[1].get();
  ClickNode(ti);
  EXPECT_TRUE(editor->actAddTag->isEnabled());
  EXPECT_TRUE(editor->actRemove->isEnabled());

  // Two tags through the object dialog.
  for (const char* name : {"Ua", "Ub"}) {
    steps.push_back([name](QDialog& d) {
      auto& o = dynamic_cast<ui::TItemParamDlg&>(d);
      EXPECT_TRUE(o.pages->isTabVisible(o.pages->indexOf(o.valuePage)));
      EXPECT_FALSE(o.pages->isTabVisible(o.pages->indexOf(o.logPage)));
      Type(o.name, name);
      if (std::string(name) == "Ub") Type(o.scale, "2,5");
      return Ok(o);
    });
    Click(editor->actAddTag);
  }
  // Clone the first: two copies at 10 and 14.
  ClickRow(0);
  EXPECT_TRUE(editor->actCopy->isEnabled());
  steps.push_back([](QDialog& d) {
    auto& c = dynamic_cast<ui::TCloneDialog&>(d);
    EXPECT_EQ(d.windowTitle(), "Клонировать параметр");
    EXPECT_EQ(c.nameTemplate->text(), "пар.%%");
    Type(c.count, "2");
    Type(c.addressStart->dec, "10");
    Type(c.addressStep->hex, "4");
    return Ok(c);
  });
  Click(editor->actClone);
  // Copy Ub (row 1) with Ctrl+Ins and paste it into the ТС group.
  ClickRow(1);
  QTest::keyClick(editor->list, Qt::Key_Insert, Qt::ControlModifier);
  EXPECT_EQ(ctx.State().clipboard.size(), 1u);
  ClickNode(st.Children()[0].get());
  EXPECT_TRUE(editor->actPaste->isEnabled());
  Click(editor->actPaste);
  // Drag row 0 of the ТИ group onto row 2, and tick rows 1 and 3 by a click at their left edge.
  ClickNode(ti);
  QTest::mousePress(editor->list->viewport(), Qt::LeftButton, Qt::ShiftModifier, RowPoint(0));
  QTest::mouseMove(editor->list->viewport(), RowPoint(1));
  QTest::mouseRelease(editor->list->viewport(), Qt::LeftButton, Qt::ShiftModifier, RowPoint(2));
  ClickRow(1, 5);
  ClickRow(3, 5);
  ClickRow(3, 5);
  ClickRow(3, 5);
  EXPECT_EQ(editor->model->CellText(0, 4), "Изм.Ub");
  EXPECT_TRUE(steps.empty());
  EXPECT_TRUE(msgs.errors.empty());

  // The same edits through the station's own methods.
  auto g = want.NewGroup(want);
  g->name = "Изм";
  want.SetGroupKind(*g, kKindTI);
  g->record.baseAddress = 0x4000;
  TGroup* wti = want.AppendGroup(want, std::move(g));
  for (const char* name : {"Ua", "Ub"}) {
    auto o = want.NewObject(*wti);
    o->name = name;
    if (std::string(name) == "Ub") static_cast<TTIitem&>(*o).scale = 2.5f;
    want.AppendObject(*wti, std::move(o));
  }
  TCloneParams p = TWS_104::DefaultObjectClone(*wti->Objects()[0]);
  p.count = 2;
  p.addressStart = 10;
  p.addressStep = 4;
  want.CloneObjects(*wti, 0, p);
  TObjectClipboard clip;
  want.CopyObjects(*wti, {1}, clip);
  want.PasteObjects(*want.Children()[0], clip);
  want.MoveObject(*wti, 0, 2);
  want.TickRows(*wti, {1, 3}, true);
  EXPECT_EQ(Bytes(st), Bytes(want)) << DumpStation(st) << "\n----\n" << DumpStation(want);
}

TEST_F(StationUi, RemoveAsksForAGroupWithContentAndKeepsTheRoot) {
  TWS_104& st = NewStation();
  ASSERT_TRUE(ImportXml(st, Fixture104(), "f.xml").ok);
  Open(st);
  // The tree: station caption first, expanded, its groups below.
  ASSERT_EQ(editor->tree->topLevelItemCount(), 1);
  EXPECT_EQ(editor->tree->topLevelItem(0)->text(0), Q(st.Caption()));
  EXPECT_TRUE(editor->tree->topLevelItem(0)->isExpanded());
  EXPECT_EQ(editor->tree->topLevelItem(0)->childCount(), int(st.Children().size()));
  // The station's own objects show bare full names; a group's, the path.
  EXPECT_EQ(editor->model->CellText(0, 4), "состояние связи");
  TGroup* sub = st.FindChild("Подстанция")->FindChild("Вводы");
  ClickNode(st.FindChild("Подстанция"));
  editor->tree->currentItem()->setExpanded(true);
  ClickNode(sub);
  EXPECT_EQ(editor->model->CellText(0, 2), "5 [03edh]");
  EXPECT_EQ(editor->model->CellText(0, 4), "Подстанция.Вводы.Q1");

  QStringList heads;
  for (int c = 0; c < editor->model->columnCount(); ++c)
    heads << editor->model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString() + "/" +
                 QString::number(editor->list->columnWidth(c));
  EXPECT_EQ(S(heads.join(" ")), "/20 тип данных/70 адрес/80 наименование/150 полное наименование/5000");
  // A kind without a short name cannot be shown: its cell says so.
  sub->AddObject(CreateObject(996, "x"));
  editor->model->Refresh();
  EXPECT_EQ(editor->model->CellText(1, 1), "ошибка");
  EXPECT_EQ(editor->model->CellText(1, 4), "Подстанция.Вводы.x");

  std::size_t before = st.Children().size();
  ClickNode(st.FindChild("ТИ"));
  msgs.answer = kNo;
  Click(editor->actRemove);
  ASSERT_EQ(msgs.questions.size(), 1u);
  EXPECT_EQ(msgs.questions[0], "Удалить группу ТИ?");
  EXPECT_EQ(st.Children().size(), before);
  msgs.answer = kYes;
  Click(editor->actRemove);
  EXPECT_EQ(st.Children().size(), before - 1);
  EXPECT_EQ(st.FindChild("ТИ"), nullptr);
  EXPECT_EQ(editor->SelectedNode(), &st);
  EXPECT_FALSE(editor->actRemove->isEnabled());
}

TEST_F(StationUi, DialogsRoundTripTheStation) {
  TWS_104& st = NewStation();
  ASSERT_TRUE(ImportXml(st, Fixture104(), "f.xml").ok);
  const auto before = Bytes(st);
  ui::TProcDlg proc;
  proc.ShowStation(st);
  EXPECT_FALSE(proc.pages->isTabVisible(2));  // reserve channel
  EXPECT_EQ(proc.pages->tabText(1), "Параметры связи");
  EXPECT_FALSE(proc.reserveBox->isEnabled());
  proc.StoreStation(st);
  EXPECT_EQ(Bytes(st), before) << DumpStation(st);

  ui::TGroupDlg gd;
  ui::TItemParamDlg od;
  std::vector<TConfigItem*> nodes{&st};
  for (std::size_t i = 0; i < nodes.size(); ++i)
    for (const auto& c : nodes[i]->Children()) nodes.push_back(c.get());
  for (TConfigItem* n : nodes) {
    if (!n->IsStation()) {
      gd.ShowGroup(static_cast<TGroup&>(*n));
      gd.StoreGroup(st, static_cast<TGroup&>(*n));
    }
    for (const auto& o : n->Objects()) {
      od.ShowItem(*o);
      od.StoreItem(*o);
    }
    EXPECT_EQ(Bytes(st), before) << n->name;
  }

  // A built-in object is shown, not edited.
  od.ShowItem(*st.Objects()[0]);
  EXPECT_FALSE(od.okButton->isEnabled());
  od.ShowItem(*st.FindChild("ТИ")->Objects()[0]);
  EXPECT_TRUE(od.okButton->isEnabled());

  // The interrogation selector follows the command.
  gd.ShowGroup(*st.FindChild("ТИИ"));
  EXPECT_EQ(gd.askSelector->count(), 6);
  EXPECT_EQ(gd.askSelector->currentText(), "общий запрос счетчиков");
  gd.askCommand->setCurrentIndex(0);
  emit gd.askCommand->activated(0);
  EXPECT_EQ(gd.askSelector->count(), 17);
  EXPECT_EQ(gd.askSelector->itemText(9), "опрос группы 9 ");

  // Log elements: the real type keeps its scale, the integer type changes only the shown
  // mask bits, "время МРххх" keeps the whole value field.
  TGroup* log = st.FindChild("журналы аварий");
  auto& real = static_cast<TRZAlogitem&>(*log->Objects()[0]);
  auto& integer = static_cast<TRZAlogitem&>(*log->Objects()[1]);
  integer.SetMask(0x123400000000ABCDull);
  od.ShowItem(integer);
  od.show();
  QTest::mouseClick(od.maskBit[0], Qt::LeftButton);
  od.StoreItem(integer);
  EXPECT_EQ(integer.Mask(), 0x123400000000ABCCull);
  od.ShowItem(real);
  EXPECT_FALSE(od.logRealBox->isHidden());
  EXPECT_TRUE(od.logMaskBox->isHidden());
  od.StoreItem(real);
  EXPECT_EQ(real.Scale(), 0.5f);
  real.SetDataType(2);
  real.SetMask(0xFFEEDDCCBBAA9988ull);
  od.ShowItem(real);
  od.StoreItem(real);
  EXPECT_EQ(real.Mask(), 0xFFEEDDCCBBAA9988ull);
  od.logType->setCurrentIndex(0);
  emit od.logType->activated(0);
  EXPECT_LE(od.logSize->value(), 8);
  od.logType->setCurrentIndex(2);
  emit od.logType->activated(2);
  EXPECT_EQ(od.logSize->value(), 14);
  od.hide();
}

TEST_F(StationUi, BadNumberIsReportedAndKeepsTheFocus) {
  TWS_104& st = NewStation();
  ASSERT_TRUE(ImportXml(st, Fixture104(), "f.xml").ok);
  TPProcItem& ua = *st.FindChild("ТИ")->Objects()[0];
  ui::TItemParamDlg& od = *editor->ItemDlg();
  od.ShowItem(ua);
  od.show();
  QApplication::setActiveWindow(&od);
  od.pages->setCurrentWidget(od.valuePage);
  Type(od.scale, "abc");
  QTest::keyClick(od.scale, Qt::Key_Tab);
  ASSERT_EQ(msgs.errors.size(), 1u);
  EXPECT_EQ(msgs.errors[0], "Неверный числовой формат");
  EXPECT_TRUE(od.scale->hasFocus());
  od.hide();
}

TEST_F(StationUi, ImportThroughTheOpenDialog) {
  TWS_104& st = NewStation();
  Open(st);
  QString path = QString(T32_FIXTURES) + "/iec104/workstation_cp1251.xml";
  steps.push_back([&](QDialog& d) {
    auto& f = dynamic_cast<QFileDialog&>(d);
    EXPECT_EQ(d.windowTitle(), "Загрузит из XML-файла");
    EXPECT_EQ(f.defaultSuffix(), "xml");
    EXPECT_EQ(f.nameFilters(), QStringList({"XML-файлы (*.xml)", "все файлы (*.*)"}));
    EXPECT_EQ(f.directory().absolutePath(), QDir(dir.path()).absolutePath());
    // The engineer types the file's path and presses Enter.
    auto* name = f.findChild<QLineEdit*>("fileNameEdit");
    EXPECT_NE(name, nullptr);
    if (!name) return int(QDialog::Rejected);
    name->setFocus();
    name->setText(path);
    QTest::keyClick(name, Qt::Key_Return);
    return f.result();
  });
  Click(editor->actLoadXml);
  EXPECT_TRUE(steps.empty());
  // The values the import did not take reach the user in one message.
  ASSERT_EQ(msgs.errors.size(), 1u);
  EXPECT_NE(msgs.errors[0].find("без типа"), std::string::npos);
  msgs.errors.clear();
  ASSERT_NE(st.FindChild("ТИ"), nullptr);
  QTreeWidgetItem* root = editor->tree->topLevelItem(0);
  EXPECT_EQ(root->text(0), "Подстанция \"Северная\"");
  EXPECT_EQ(root->childCount(), int(st.Children().size()));
  EXPECT_EQ(root->child(0)->text(0), "ТС");

  // Importing again while a group is shown: the message about the file is shown (and the
  // window repainted) after the import replaced the groups the list was showing.
  ClickNode(st.FindChild("ТИ"));
  struct Painting : TRecordedMessages {
    QWidget* view;
    void ShowError(const std::string& text) override {
      TRecordedMessages::ShowError(text);
      view->repaint();
    }
  } painting;
  painting.view = editor->list->viewport();
  ctx.messages = &painting;
  editor->ImportFile(path);
  EXPECT_EQ(painting.errors.size(), 1u);
  EXPECT_EQ(root = editor->tree->topLevelItem(0), editor->tree->currentItem());
  ctx.messages = &msgs;

  // An empty file changes nothing and says nothing; a file that cannot be read is named.
  const auto bytes = Bytes(st);
  QFile empty(dir.filePath("empty.xml"));
  ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
  empty.close();
  editor->ImportFile(empty.fileName());
  EXPECT_TRUE(msgs.errors.empty());
  editor->ImportFile(dir.path());
  ASSERT_EQ(msgs.errors.size(), 1u);
  EXPECT_EQ(msgs.errors[0], "Ошибка чтения из файла " + S(dir.path()));
  EXPECT_EQ(Bytes(st), bytes);
}

TEST_F(StationUi, EscAndRightClickLeaveTheEditorOpen) {
  MakeForm();  // the main window's rules for secondary windows are active
  TWS_104& st = NewStation();
  ASSERT_TRUE(ImportXml(st, Fixture104(), "f.xml").ok);
  Open(st);
  QTest::keyClick(editor.get(), Qt::Key_Escape);
  QTest::keyClick(editor->tree, Qt::Key_Escape);
  EXPECT_TRUE(editor->isVisible());
  QTest::mouseClick(editor->tree->viewport(), Qt::RightButton);
  QTest::mouseClick(editor.get(), Qt::RightButton, {}, QPoint(editor->width() - 5, editor->height() - 5));
  EXPECT_TRUE(editor->isVisible());
  editor->popup->hide();

  // A right click on a label of a dialog cancels that dialog: nothing is stored.
  ClickNode(st.FindChild("ТИ"));
  const std::string name = st.FindChild("ТИ")->name;
  steps.push_back([](QDialog& d) {
    auto& g = dynamic_cast<ui::TGroupDlg&>(d);
    g.name->setText("другое");
    QLabel* label = nullptr;
    for (QLabel* l : d.findChildren<QLabel*>())
      if (l->text() == "Наименование  группы:") label = l;
    EXPECT_EQ(g.pages->tabText(1), "Опрос");
    EXPECT_NE(label, nullptr);
    if (label) QTest::mouseClick(label, Qt::RightButton);
    EXPECT_FALSE(d.isVisible());
    return d.result();
  });
  Click(editor->actParams);
  EXPECT_TRUE(steps.empty());
  EXPECT_EQ(st.FindChild("ТИ")->name, name);
  EXPECT_TRUE(editor->isVisible());
}

TEST_F(StationUi, ToolbarPopupShortcutsDragAndHelp) {
  MakeForm();  // F1 goes through the main window's rules
  TWS_104& st = NewStation();
  auto g = std::make_unique<TGroup>(3);
  g->name = "ТИ";
  g->record.kind = kKindTI;
  for (int i = 1; i <= 6; ++i) {
    auto o = CreateObject(kKindTI, "o" + std::to_string(i));
    o->address = i;
    g->AddObject(std::move(o));
  }
  TGroup* ti = st.AddChild(std::move(g));
  Open(st);

  QStringList captions;
  for (QAction* a : editor->toolbar->actions() + editor->toolbar2->actions())
    if (!a->isSeparator()) captions << (a->text().isEmpty() ? a->toolTip() : a->text());
  EXPECT_EQ(captions.join("|"),
            "Выйти из диалога|Импорт из XML-файла|||Добавить тег|Добавить группу|Удалить|Параметры|Клонировать|"
            "Копировать|Вырезать|Вставить|Выбрать все объекты|Отменить выбор всех объектов|Выделить все|Замена строк");
  EXPECT_EQ(editor->actParams->toolTip(), "Настройка параметров ");
  QStringList popup;
  for (QAction* a : editor->popup->actions()) popup << a->text();
  EXPECT_EQ(popup.join("|"), "Добавить группу|Добавить тег|Удалить|Параметры");

  auto names = [&] {
    std::string r;
    for (const auto& o : ti->Objects()) r += o->name + (o->tick ? "+ " : " ");
    return r;
  };
  ClickNode(ti);
  // Dragging row 2 onto row 5 makes it the fifth; row 5 onto row 2 makes it the second; a drop
  // below the last row moves to the end.
  auto drag = [&](int from, QPoint to) {
    QTest::mousePress(editor->list->viewport(), Qt::LeftButton, Qt::ShiftModifier, RowPoint(from));
    QTest::mouseRelease(editor->list->viewport(), Qt::LeftButton, Qt::ShiftModifier, to);
  };
  drag(1, RowPoint(4));
  EXPECT_EQ(names(), "o1 o3 o4 o5 o2 o6 ");
  drag(4, RowPoint(1));
  EXPECT_EQ(names(), "o1 o2 o3 o4 o5 o6 ");
  drag(0, QPoint(100, editor->list->viewport()->height() - 3));
  EXPECT_EQ(names(), "o2 o3 o4 o5 o6 o1 ");

  // Ctrl+C and Ctrl+V work beside Ctrl+Ins and Shift+Ins; the copy converts nothing in its own
  // group. The tick buttons and "Выбрать все объекты" reach every object.
  ClickRow(0);
  ClickRow(1, 100, Qt::ControlModifier);
  QTest::keyClick(editor->list, Qt::Key_C, Qt::ControlModifier);
  QTest::keyClick(editor->list, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(names(), "o2 o3 o4 o5 o6 o1 o2 o3 ");
  // Shift+Del cuts the highlighted rows; "Удалить" with the list focused deletes the current.
  ClickRow(6);
  ClickRow(7, 100, Qt::ControlModifier);
  QTest::keyClick(editor->list, Qt::Key_Delete, Qt::ShiftModifier);
  EXPECT_EQ(names(), "o2 o3 o4 o5 o6 o1 ");
  EXPECT_EQ(ctx.State().clipboard.size(), 2u);
  ClickRow(5);
  Click(editor->actRemove);
  EXPECT_EQ(names(), "o2 o3 o4 o5 o6 ");
  ClickRow(0);
  ClickRow(1, 100, Qt::ControlModifier);
  Click(editor->actTick);
  EXPECT_EQ(names(), "o2+ o3+ o4 o5 o6 ");
  Click(editor->actUntick);
  Click(editor->actCheckAll);
  EXPECT_EQ(names(), "o2+ o3+ o4+ o5+ o6+ ");
  Click(editor->actUncheckAll);
  EXPECT_EQ(names(), "o2 o3 o4 o5 o6 ");
  EXPECT_EQ(st.Objects()[0]->tick, 1);  // built-in objects stay ticked

  // A double click opens the object's dialog; F1 there opens its page, in the window the
  // window's page.
  steps.push_back([this](QDialog& d) {
    EXPECT_EQ(dynamic_cast<ui::TItemParamDlg&>(d).name->text(), "o4");
    QTest::keyClick(&d, Qt::Key_F1);
    EXPECT_TRUE(form->lastHelpPage.endsWith("/63.html")) << S(form->lastHelpPage);
    return int(QDialog::Rejected);
  });
  QTest::mouseDClick(editor->list->viewport(), Qt::LeftButton, {}, RowPoint(2));
  EXPECT_TRUE(steps.empty());
  QApplication::setActiveWindow(editor.get());
  QTest::keyClick(editor->list, Qt::Key_F1);
  EXPECT_TRUE(form->lastHelpPage.endsWith("/60.html")) << S(form->lastHelpPage);
}

}  // namespace
}  // namespace t32::test
