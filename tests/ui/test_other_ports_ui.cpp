// The time, two-position, UNIO and automation pages driven by real events: switching the time
// protocol, dropping a storage row on a ТС-2 field, adding modules from the UNIO popup and
// importing the automation program's TU_out list through the open dialog.
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QMenu>
#include <QMimeData>
#include <QTest>

#include "model/cp1251.h"
#include "model/params.h"
#include "model/storage.h"
#include "ports/port_auto.h"
#include "ports/port_time.h"
#include "ports/port_twopos.h"
#include "ports/port_unio.h"
#include "ui/frame_other_ports.h"
#include "ui/frames_tables.h"
#include "ui/storagepanel.h"
#include "ui_fixture.h"

using namespace t32;
using namespace t32::test;

TEST_F(UiTest, TimePortProtocolSwitch) {
  MakeForm();
  ui::TFrame1& f = Frame();
  f.AddFromMenu(120, false);
  auto* gps = dynamic_cast<TPortGPS*>(f.CurrentNode()->Item());
  auto* pf = dynamic_cast<ui::TPortGPSFrame*>(f.CurrentFrame());
  ASSERT_TRUE(gps && pf);
  EXPECT_EQ(pf->Heading->text(), "Порт синхронизации от источника точного времени");
  EXPECT_FALSE(pf->ChannelBox->isVisibleTo(pf));  // bound to the processor
  EXPECT_EQ(pf->PortEdit->text(), "123");

  pf->ProtBox->setFocus();
  QTest::keyClick(pf->ProtBox, Qt::Key_Down);
  EXPECT_EQ(pf->ProtBox->currentText(), "NMEA 0183");
  EXPECT_EQ(pf->PortEdit->text(), "10110");
  EXPECT_FALSE(pf->ServerEdit->isEnabled());
  EXPECT_FALSE(pf->ServerLabel->isEnabled());
  QTest::keyClick(pf->ProtBox, Qt::Key_Up);
  EXPECT_EQ(pf->PortEdit->text(), "123");
  EXPECT_TRUE(pf->ServerEdit->isEnabled());

  pf->TimeGPSEdit->clear();
  QTest::keyClicks(pf->TimeGPSEdit, "15");
  QTest::keyClicks(pf->ServerEdit->octet[0], "10");
  QTest::keyClicks(pf->ServerEdit->octet[3], "1");
  f.SelectNode(Doc().ProcNode());  // leaving the page stores it
  EXPECT_EQ(gps->period, 900000u);
  EXPECT_EQ(gps->server & 0xFF0000FFu, 0x0A000001u);
}

TEST_F(UiTest, TwoPositionPortTakesADroppedStorageRow) {
  MakeForm();
  ui::TFrame1& f = Frame();
  f.AddFromMenu(4, true);  // DI32: 32 ТС
  f.AddFromMenu(132, false);
  TNode* portNode = f.CurrentNode();
  auto* port = dynamic_cast<TPortTwoPos*>(portNode->Item());
  auto* pf = dynamic_cast<ui::TTwoPosFrame*>(f.CurrentFrame());
  ASSERT_TRUE(port && pf);
  // The processor's menu, opened, offers no second ТС-2 port.
  QMenu* portMenu = f.MenuFor(Doc().ProcNode());
  ASSERT_NE(portMenu, nullptr);
  portMenu->popup(QPoint(10, 10));
  EXPECT_FALSE(f.PortAction(132)->isEnabled());
  EXPECT_TRUE(f.PortAction(133)->isEnabled());
  portMenu->hide();

  pf->CountEdit->clear();
  QTest::keyClicks(pf->CountEdit, "3");
  QTest::mouseClick(pf->SetButton, Qt::LeftButton);
  ASSERT_NE(port->Table(), nullptr);
  EXPECT_EQ(port->Table()->At(2)->Name(), "1_Порт.Пр3");
  ASSERT_EQ(pf->SignalList->count(), 3);
  EXPECT_FALSE(pf->SignalBox->isVisibleTo(pf));
  QRect item = pf->SignalList->visualItemRect(pf->SignalList->item(1));
  QTest::mouseClick(pf->SignalList->viewport(), Qt::LeftButton, {}, item.center());
  EXPECT_EQ(pf->Shown(), 1);
  EXPECT_TRUE(pf->SignalBox->isVisibleTo(pf));

  // Select the fifth ТС of the storage panel, then drop it on "ТС состояния Включено".
  ui::TFrameParams* list = f.StoragePanel()->List(kSigTS);
  int nameCol = list->model->ColumnOf(ui::TCol::Name);
  QRect cell = list->view->visualRect(list->model->index(4, nameCol));
  QTest::mouseClick(list->view->viewport(), Qt::LeftButton, {}, cell.center());
  const TParam* wanted = Doc().Storage().List(kSigTS).At(4);
  ASSERT_TRUE(wanted && wanted->selected);

  QMimeData mime;
  mime.setData("application/x-tavrik32-rows", "storage");
  QPoint at = pf->OnField->rect().center();
  QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(pf->OnField, &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(at), Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(pf->OnField, &drop);
  EXPECT_EQ(port->Record(1)->on.get(), wanted);
  EXPECT_EQ(pf->OnField->text(), QString::fromStdString(wanted->Name()));

  // A drag from another table is not taken.
  QMimeData other;
  other.setData("application/x-tavrik32-rows", "table");
  QDragEnterEvent refused(at, Qt::CopyAction, &other, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(pf->OffField, &refused);
  EXPECT_FALSE(refused.isAccepted());
}

TEST_F(UiTest, UnioModulesFromThePopup) {
  MakeForm();
  ui::TFrame1& f = Frame();
  f.AddFromMenu(125, false);
  TNode* portNode = f.CurrentNode();
  auto* port = dynamic_cast<TPortUnio*>(portNode->Item());
  ASSERT_NE(port, nullptr);
  auto add = [&](const QString& caption) {
    f.SelectNode(portNode);
    QMenu* m = f.MenuFor(portNode);
    ASSERT_NE(m, nullptr);
    QAction* action = nullptr;
    for (QAction* a : m->actions())
      if (a->text() == caption) action = a;
    ASSERT_NE(action, nullptr) << caption.toStdString();
    m->popup(QPoint(10, 10));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m));
    QTest::mouseClick(m, Qt::LeftButton, {}, m->actionGeometry(action).center());
  };
  add("Добавить МДС-24");
  add("Добавить МРК-12");
  auto mods = port->Modules();
  ASSERT_EQ(mods.size(), 2u);
  EXPECT_EQ(mods[1]->Caption(), "2_МРК-12");
  ASSERT_NE(port->StatusTable(), nullptr);
  EXPECT_EQ(port->StatusTable()->Count(), 4);
  f.SelectNode(portNode);
  auto* pf = dynamic_cast<ui::TPortUnioFrame*>(f.CurrentFrame());
  ASSERT_NE(pf, nullptr);
  EXPECT_EQ(pf->CountLabel->text(), "Количество подключенных модулей = 2");

  // The МРК-12 page: mode 3 gives the outputs table and disables the ТУ time.
  f.SelectNode(mods[1]->node);
  auto* mf = dynamic_cast<ui::TUnioModuleFrame*>(f.CurrentFrame());
  ASSERT_NE(mf, nullptr);
  mf->ModeBox->setFocus();
  for (int i = 0; i < 3; ++i) QTest::keyClick(mf->ModeBox, Qt::Key_Down);
  auto* mrk = dynamic_cast<TRelayModule*>(mods[1]);
  EXPECT_EQ(mrk->mode, 3);
  EXPECT_NE(mrk->OutputTable(), nullptr);
  EXPECT_FALSE(mf->TuTimeEdit->isEnabled());
  // Readdressing onto the МДС-24's address is flagged.
  mf->AddressEdit->setFocus();
  mf->AddressEdit->selectAll();
  QTest::keyClicks(mf->AddressEdit, "1");
  QTest::keyClick(mf->AddressEdit, Qt::Key_Return);
  EXPECT_EQ(mods[1]->number, 1);
  EXPECT_TRUE(mf->ExistsLabel->isVisibleTo(mf));
}

TEST_F(UiTest, AutomationImportsTuOut) {
  MakeForm();
  ui::TFrame1& f = Frame();
  f.AddFromMenu(117, false);
  auto* port = dynamic_cast<TPortAuto*>(f.CurrentNode()->Item());
  auto* pf = dynamic_cast<ui::TPortAutoFrame*>(f.CurrentFrame());
  ASSERT_TRUE(port && pf);
  QString path = dir.filePath("auto.ini");
  {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray::fromStdString(Utf8ToCp1251("[TU_out]\r\n1=Пуск\r\n2=Стоп\r\n3=Пуск\r\n")));
  }
  bool open = false;
  answer = [&](QDialog& d) {
    if (auto* fd = qobject_cast<QFileDialog*>(&d)) {
      open = fd->acceptMode() == QFileDialog::AcceptOpen;
      fd->selectFile(path);
      return int(QDialog::Accepted);
    }
    return int(QDialog::Rejected);
  };
  QTest::mouseClick(pf->ImportButton, Qt::LeftButton);
  EXPECT_TRUE(open);
  EXPECT_EQ(port->tuNames, (std::vector<std::string>{"Пуск", "Стоп"}));
  ASSERT_NE(port->Table(kSigTU), nullptr);
  EXPECT_EQ(port->Table(kSigTU)->Count(), 2);
  EXPECT_TRUE(port->Table(kSigTU)->At(0)->locked);
  EXPECT_EQ(Doc().Storage().List(kSigTU).Count(), 2);
}
