// The main window: settings file, CPU choice and the port menu, message windows, the tree's
// delete / move / "Создать" rules driven through the real widgets.
#include <QAction>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>

#include "model/controller.h"
#include "model/ini.h"
#include "model/port_ip.h"
#include "ui/frame_proc.h"
#include "ui/frames.h"
#include "ui/treemodel.h"
#include "model/treerules.h"
#include "ui_fixture.h"
#include "ui/storagepanel.h"

namespace t32::test {
namespace {

void WriteBytes(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(bytes);
}

TEST_F(UiTest, SettingsFileComPortAndRoundTrip) {
  // "СОМ_N" written in cp1251 (Cyrillic С О М), with a number outside 1..8 and a foreign
  // section that must survive the rewrite at close.
  struct Case {
    const char* value;
    int port;
  } cases[] = {{"12", 1}, {"0", 1}, {"8", 8}, {"3", 3}, {"x", 1}};
  for (const auto& c : cases) {
    QString ini = dir.filePath(QString("t%1.ini").arg(c.value));
    QByteArray text = "[Form]\r\nTop=10\r\nLeft=20\r\nWidth=1100\r\nHeight=700\r\n[Link]\r\nMode=0\r\n"
                      "\xD1\xCE\xCC_N=";
    text += c.value;
    text += "\r\n[EditorTI]\r\n\xCC\xE8\xED\xE8\xEC\xF3\xEC \xEA\xE2\xE0\xED\xF2\xEE\xE2=0;4;819\r\n";
    WriteBytes(ini, text);
    MakeForm(ini);
    EXPECT_EQ(form->Settings().comPort, c.port) << c.value;
    EXPECT_EQ(form->windowTitle(), QString("Конфигуратор ТАВРИК32.  COM=%1").arg(c.port));
    EXPECT_EQ(form->width(), 1100);
    form->close();
    form.reset();
    TIniFile back;
    ASSERT_TRUE(back.Load(ini.toStdString()));
    EXPECT_EQ(back.ReadInteger("Link", "СОМ_N", -1), c.port);
    EXPECT_EQ(back.ReadString("EditorTI", "Минимум квантов"), "0;4;819");
    EXPECT_EQ(back.ReadInteger("Form", "Width", 0), 1100);
  }
}

TEST_F(UiTest, SettingsAddressWithAnOctetAbove255IsRefused) {
  QString ini = dir.filePath("ip.ini");
  WriteBytes(ini, "[Link]\r\nMode=1\r\nSelfIP=192.168.1.300\r\nDestIP=10.0.0.2\r\n");
  MakeForm(ini);
  int said = 0;
  for (const QString& t : dialogTexts) said += t.contains("192.168.1.300");
  EXPECT_EQ(said, 1);
  EXPECT_EQ(form->Settings().selfIp, "00.00.00.00");
  EXPECT_EQ(form->Settings().destIp, "10.0.0.2");
}

TEST_F(UiTest, CpuButtonsEnableTheCpu927PortEntries) {
  MakeForm();
  ui::TFrame1& f = Frame();
  EXPECT_TRUE(form->FastwelButton->isChecked());
  for (int tag : {124, 128, 129}) EXPECT_FALSE(f.PortAction(tag)->isEnabled()) << tag;
  EXPECT_TRUE(f.PortAction(101)->isEnabled());
  // An entry without a class in this build (the hidden ones) stays disabled whatever the CPU.
  EXPECT_FALSE(f.PortAction(104)->isEnabled());
  QTest::mouseClick(form->DalgorButton, Qt::LeftButton);
  for (int tag : {124, 128, 129}) EXPECT_TRUE(f.PortAction(tag)->isEnabled()) << tag;
  QTest::mouseClick(form->FastwelButton, Qt::LeftButton);
  for (int tag : {124, 128, 129}) EXPECT_FALSE(f.PortAction(tag)->isEnabled()) << tag;
  // Hidden entries never show.
  for (int tag : {104, 105, 107, 108, 109, 113, 114}) EXPECT_FALSE(f.PortAction(tag)->isVisible()) << tag;
}

TEST_F(UiTest, FileMenuEntriesAndShortcuts) {
  MakeForm();
  QStringList texts;
  for (QAction* a : form->fileMenu->actions()) texts << (a->isSeparator() ? "-" : a->text());
  EXPECT_EQ(texts.join("|"),
            "Создать|Открыть файл|Сохранить в файл|Сохранить как ..|Сравнить с файлом…|"
            "Сравнить с контроллером|Экспортировать список сигналов…|-|Отменить|Повторить|-|Прочитать конфигурацию|"
            "Записать конфигурацию|Записать программу|Прочитать файл автоматики|Записать файл автоматики|"
            "Записать файл паролей|-|Перезапустить|Установить время|-|Выход");
  EXPECT_EQ(form->New->shortcut(), QKeySequence(Qt::Key_F4));
  EXPECT_EQ(form->Open->shortcut(), QKeySequence(Qt::Key_F3));
  EXPECT_EQ(form->Save->shortcut(), QKeySequence(Qt::Key_F2));
  EXPECT_EQ(form->WriteConf->shortcut(), QKeySequence(Qt::Key_F5));
  EXPECT_EQ(form->ReadConf->shortcut(), QKeySequence(Qt::Key_F6));
  EXPECT_EQ(form->WriteProg->shortcut(), QKeySequence(Qt::Key_F7));
  EXPECT_EQ(form->Exits->shortcut(), QKeySequence(Qt::ALT | Qt::Key_X));
  EXPECT_EQ(form->Undo->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Z));
  EXPECT_EQ(form->Redo->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Y));
  // The controller commands are on while no command runs (the link tests cover busy states).
  EXPECT_TRUE(form->WriteConf->isEnabled());
  EXPECT_TRUE(form->PasswordButton->isEnabled());
}

TEST_F(UiTest, MessageWindows) {
  MakeForm();
  // Error window: one button "Закрыть"; a right click closes it.
  answer = [](QDialog& d) {
    auto buttons = d.findChildren<QPushButton*>();
    EXPECT_EQ(buttons.size(), 1);
    EXPECT_EQ(buttons[0]->text(), "Закрыть");
    QTest::mouseClick(&d, Qt::RightButton);
    EXPECT_FALSE(d.isVisible());
    return d.result();
  };
  Doc().Messages().ShowError("Ошибка типа контроллера");
  ASSERT_EQ(dialogTitles.size(), 1u);
  EXPECT_EQ(dialogTitles[0], "Конфигуратор ТАВРИК32 - Ошибка");
  EXPECT_TRUE(dialogTexts[0].contains("Ошибка типа контроллера"));

  // Confirmation: "Да"/"Нет" and, only when asked for, "Отмена"; right click answers 3.
  struct Case {
    bool withCancel;
    const char* click;  // button text, or "" for a right click
    int result;
  } cases[] = {{false, "Да", kYes}, {false, "Нет", kNo}, {true, "Отмена", kCancel}, {true, "", kCancel}};
  for (const auto& c : cases) {
    answer = [&](QDialog& d) {
      auto* tyn = dynamic_cast<ui::TYesNoDialog*>(&d);
      EXPECT_NE(tyn, nullptr);
      EXPECT_EQ(tyn->cancelButton->isVisible(), c.withCancel);
      if (*c.click == 0) {
        QTest::mouseClick(&d, Qt::RightButton);
      } else {
        for (QPushButton* b : d.findChildren<QPushButton*>())
          if (b->text() == c.click) QTest::mouseClick(b, Qt::LeftButton);
      }
      return d.result();
    };
    EXPECT_EQ(Doc().Messages().AskConfirm("Вопрос", c.withCancel), c.result) << c.click;
    EXPECT_EQ(dialogTitles.back(), "Конфигуратор ТАВРИК32 - Запрос");
  }
}

TEST_F(UiTest, DeletePortAsksAndNoKeepsTheTree) {
  MakeForm();
  ui::TFrame1& f = Frame();
  f.AddFromMenu(101, false);
  TNode* port = f.CurrentNode();
  ASSERT_NE(port, nullptr);
  EXPECT_EQ(port->Parent(), Doc().ProcNode());
  std::string before = Doc().Dump();
  std::string caption = port->caption;

  answer = [](QDialog& d) {
    for (QPushButton* b : d.findChildren<QPushButton*>())
      if (b->text() == "Нет") QTest::mouseClick(b, Qt::LeftButton);
    return d.result();
  };
  QTest::keyClick(f.BlockTree(), Qt::Key_Delete);
  ASSERT_EQ(dialogTexts.size(), 1u);
  EXPECT_TRUE(dialogTexts[0].contains(QString::fromStdString("Удалить порт " + caption + " ?")));
  EXPECT_EQ(Doc().Dump(), before);
  EXPECT_EQ(f.CurrentNode(), port);

  answer = [](QDialog&) { return int(kYes); };
  QTest::keyClick(f.BlockTree(), Qt::Key_Delete);
  EXPECT_EQ(Doc().ProcNode()->ChildCount(), 1);
  EXPECT_EQ(f.TreeModel()->rowCount(f.TreeModel()->IndexOf(Doc().ProcNode())), 1);
  EXPECT_NE(f.CurrentNode(), nullptr);

  // The fixed nodes are never offered for deletion.
  dialogTexts.clear();
  for (TNode* n : {Doc().ControllerNode(), Doc().ProcNode(), Doc().PortIPNode()}) {
    f.SelectNode(n);
    f.DeleteClick();
  }
  EXPECT_TRUE(dialogTexts.empty());
  EXPECT_EQ(Doc().Tree().Count(), 3);
}

TEST_F(UiTest, DragPortBeforeAnotherPort) {
  MakeForm();
  ui::TFrame1& f = Frame();
  f.AddFromMenu(101, false);
  TNode* a = f.CurrentNode();
  f.AddFromMenu(102, false);
  TNode* b = f.CurrentNode();
  TNode* proc = Doc().ProcNode();
  ASSERT_EQ(proc->Child(1), a);
  ASSERT_EQ(proc->Child(2), b);
  // Onto the IP port or the processor: refused; the fixed nodes cannot be dragged at all.
  EXPECT_FALSE(f.DropNode(b, Doc().PortIPNode()));
  EXPECT_FALSE(f.DropNode(b, proc));
  EXPECT_FALSE(CanDrag(Doc(), Doc().PortIPNode()));
  EXPECT_FALSE(CanDrop(Doc(), b, nullptr));  // empty space takes boards only
  EXPECT_EQ(proc->Child(2), b);
  // Onto another port: inserted before it; the view follows the tree.
  EXPECT_TRUE(f.DropNode(b, a));
  EXPECT_EQ(proc->Child(1), b);
  EXPECT_EQ(proc->Child(2), a);
  auto* m = f.TreeModel();
  QModelIndex pi = m->IndexOf(proc);
  EXPECT_EQ(m->NodeOf(m->index(1, 0, pi)), b);
  EXPECT_EQ(m->NodeOf(m->index(2, 0, pi)), a);
  EXPECT_EQ(f.CurrentNode(), b);
}

TEST_F(UiTest, CreateLeavesThreeNodesWithDefaults) {
  MakeForm();
  ui::TFrame1& f = Frame();
  f.SelectNode(Doc().ProcNode());
  auto* pf = dynamic_cast<ui::TProcFrame*>(f.CurrentFrame());
  ASSERT_NE(pf, nullptr);
  pf->AddrEdit->setFocus();
  pf->AddrEdit->selectAll();
  QTest::keyClicks(pf->AddrEdit, "17");
  pf->PlaceEdit->setFocus();
  TypeText(pf->PlaceEdit, "Подстанция");
  f.AddFromMenu(101, false);  // stores the processor's frame
  f.AddFromMenu(102, false);
  EXPECT_EQ(Doc().Proc()->stationAddress, 17);
  EXPECT_EQ(Doc().Proc()->place, "Подстанция");
  Doc().PortIP()->net1Address = 0x0A000001;
  EXPECT_EQ(Doc().Tree().Count(), 11);  // the control-station port brings its six output tables

  answer = [](QDialog&) { return int(kNo); };  // "Сохранить изменения в файле?": no
  QTest::keyClick(f.BlockTree(), Qt::Key_F4);  // "Создать" is an application shortcut
  if (Doc().Tree().Count() != 3) form->New->trigger();
  EXPECT_EQ(Doc().Tree().Count(), 3);
  EXPECT_EQ(Doc().Proc()->stationAddress, 1);
  EXPECT_EQ(Doc().Proc()->place, "");
  EXPECT_EQ(Doc().PortIP()->net1Address, 0xC0A80101u);
  EXPECT_EQ(f.CurrentNode(), Doc().ControllerNode());
  EXPECT_EQ(f.TreeModel()->rowCount(f.TreeModel()->IndexOf(Doc().ProcNode())), 1);
  f.SelectNode(Doc().ProcNode());
  EXPECT_EQ(pf->AddrEdit->text(), "1");
}

TEST_F(UiTest, NumberFieldRule) {
  MakeForm();
  Frame().SelectNode(Doc().ProcNode());
  auto* pf = dynamic_cast<ui::TProcFrame*>(Frame().CurrentFrame());
  ASSERT_NE(pf, nullptr);
  pf->AddrEdit->setFocus();
  pf->AddrEdit->clear();
  QTest::keyClicks(pf->AddrEdit, "300");
  EXPECT_EQ(pf->AddrEdit->text(), "255");  // above the maximum: the maximum
  pf->AddrEdit->clear();
  pf->PlaceEdit->setFocus();  // left empty: the minimum
  EXPECT_EQ(pf->AddrEdit->text(), "0");
}

TEST_F(UiTest, ProcessorGroupsStoredFromTheGrid) {
  MakeForm();
  Frame().SelectNode(Doc().ProcNode());
  auto* pf = dynamic_cast<ui::TProcFrame*>(Frame().CurrentFrame());
  ASSERT_NE(pf, nullptr);
  auto set = [&](int r, int c, const char* t) { pf->GroupGrid->setItem(r, c, new QTableWidgetItem(t)); };
  set(0, 0, "Напряжения");
  set(0, 1, "0,5");
  set(0, 3, "10");
  set(0, 4, "250,25");
  set(1, 1, "7");  // a row without a name is dropped
  set(2, 0, "Токи");
  Frame().SelectNode(Doc().ControllerNode());
  TProc* p = Doc().Proc();
  ASSERT_EQ(p->groupCount, 2u);
  EXPECT_EQ(p->groups[0].name, "Напряжения");
  EXPECT_FLOAT_EQ(p->groups[0].absAperture, 0.5f);
  EXPECT_FLOAT_EQ(p->groups[0].lower, 10.0f);
  EXPECT_FLOAT_EQ(p->groups[0].upper, 250.25f);
  EXPECT_EQ(p->groups[1].name, "Токи");
  EXPECT_FLOAT_EQ(p->groups[1].absAperture, 0.0f);
  // Shown back: numbers above 0 with "%.6g" and a decimal comma, others empty.
  Frame().SelectNode(Doc().ProcNode());
  EXPECT_EQ(pf->GroupGrid->item(0, 4)->text(), "250,25");
  EXPECT_EQ(pf->GroupGrid->item(0, 2)->text(), "");
  EXPECT_EQ(pf->GroupGrid->item(1, 0)->text(), "Токи");
  // The numeric cells take digits and one comma only.
  ui::TGroupDelegate del;
  QStyleOptionViewItem opt;
  std::unique_ptr<QWidget> ed(del.createEditor(nullptr, opt, pf->GroupGrid->model()->index(0, 1)));
  auto* le = qobject_cast<QLineEdit*>(ed.get());
  ASSERT_NE(le, nullptr);
  QTest::keyClicks(le, "1a2,3,4");
  EXPECT_EQ(le->text(), "12,34");
}

TEST_F(UiTest, SelectRequestIsQueued) {
  MakeForm();
  TNode* ip = Doc().PortIPNode();
  Doc().Messages().SelectNode(ip);
  EXPECT_NE(Frame().CurrentNode(), ip);  // posted: it runs after the current command
  QApplication::processEvents();
  EXPECT_EQ(Frame().CurrentNode(), ip);
}

TEST_F(UiTest, HelpPageFollowsTheShownFrame) {
  MakeForm();
  Frame().SelectNode(Doc().ProcNode());
  form->activateWindow();
  form->HelpKey();
  EXPECT_TRUE(form->lastHelpPage.endsWith("/3.html")) << form->lastHelpPage.toStdString();
  form->HelpsClick();
  EXPECT_TRUE(form->lastHelpPage.endsWith("/1.html")) << form->lastHelpPage.toStdString();
}

}  // namespace
}  // namespace t32::test
