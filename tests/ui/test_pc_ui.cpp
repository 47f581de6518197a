// Workstations and the serial IEC 104 output port driven by real events: "Добавить ПЭВМ" with
// Enter, the status table, a place change that keeps the status row an output table sends, the
// seconds fields, "Адреса сигналов", the XML export through the save dialog, deleting the
// workstations, and the update-period label of the output port turning from red to black.
#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include "model/boards.h"
#include "model/cp1251.h"
#include "model/params.h"
#include "model/port_ip.h"
#include "model/storage.h"
#include "ports/port_mek104.h"
#include "ports/port_pc.h"
#include "ui/frame_mek104.h"
#include "ui/frame_pc.h"
#include "ui/frame_portip.h"
#include "ui/storagepanel.h"
#include "ui_fixture.h"

using namespace t32;
using namespace t32::test;

namespace {
void TypeInto(QLineEdit* e, const QString& text) {
  e->setFocus();
  QTest::keyClick(e, Qt::Key_A, Qt::ControlModifier);
  // Key events with the characters' text: QTest's key table knows only ASCII.
  for (QChar ch : text) QTest::sendKeyEvent(QTest::Click, e, Qt::Key_unknown, QString(ch), Qt::NoModifier);
}
}  // namespace

TEST_F(UiTest, WorkstationPages) {
  MakeForm();
  ui::TFrame1& f = Frame();
  TNode* ipNode = Doc().PortIPNode();
  TPortIP* ip = Doc().PortIP();
  for (int i = 0; i < 2; ++i) {
    f.SelectNode(ipNode);
    f.BlockTree()->setFocus();
    QTest::keyClick(f.BlockTree(), Qt::Key_Return);  // "Добавить ПЭВМ"
  }
  auto pcs = ip->Workstations();
  ASSERT_EQ(pcs.size(), 2u);
  ASSERT_NE(ip->StatusTable(), nullptr);
  EXPECT_EQ(ipNode->Child(0)->Item(), ip->StatusTable());
  EXPECT_EQ(ip->StatusTable()->At(1)->Name(), "0_Порт_IP.связь_1_Порт ПЭВМ_2");
  f.SelectNode(ipNode);
  auto* ipf = dynamic_cast<ui::TPortIPFrame*>(f.CurrentFrame());
  ASSERT_NE(ipf, nullptr);
  EXPECT_EQ(ipf->CountLabel->text(), "Количество подключенных ПЭВМ = 2");

  // The first workstation sends the second one's status.
  auto* first = dynamic_cast<TPC*>(pcs[0]);
  auto* second = dynamic_cast<TPC*>(pcs[1]);
  TParamRef status = ip->StatusTable()->Ref(1);
  first->Table(kSigTS)->Append(status);

  f.SelectNode(second->node);
  auto* pf = dynamic_cast<ui::TPCFrame*>(f.CurrentFrame());
  ASSERT_NE(pf, nullptr);
  EXPECT_EQ(pf->T1Edit->text(), "15");
  TypeInto(pf->PlaceEdit, "Щит");
  TypeInto(pf->T1Edit, "20");
  QTest::mouseClick(pf->FilesBox, Qt::LeftButton, {}, QPoint(6, pf->FilesBox->height() / 2));
  f.SelectNode(ipNode);  // leaving the page stores it
  EXPECT_EQ(second->place, "Щит");
  EXPECT_EQ(second->t1, 20000u);
  EXPECT_EQ(second->permissions & 1, 1);
  EXPECT_EQ(ip->StatusTable()->Ref(1), status);
  EXPECT_EQ(status->Name(), "0_Порт_IP.связь_1_Порт ПЭВМ_Щит");
  EXPECT_EQ(first->Table(kSigTS)->Ref(0), status);
  EXPECT_FALSE(first->Table(kSigTS)->At(0)->unresolved);

  // "Адреса сигналов": a base address typed; a click on any hexadecimal label refreshes all.
  f.SelectNode(second->node);
  pf = dynamic_cast<ui::TPCFrame*>(f.CurrentFrame());
  ASSERT_NE(pf, nullptr);
  QTabBar* bar = pf->Pages->tabBar();
  QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(1).center());
  ASSERT_EQ(pf->Pages->currentIndex(), 1);
  EXPECT_EQ(pf->Pages->tabText(1), "Адреса сигналов");
  EXPECT_EQ(pf->HexLabel[0]->text(), "2000");
  TypeInto(pf->BaseEdit[0], "32769");
  TypeInto(pf->BaseEdit[5], "65535");
  EXPECT_EQ(pf->HexLabel[0]->text(), "2000");
  QTest::mouseClick(pf->HexLabel[3], Qt::LeftButton);
  EXPECT_EQ(pf->HexLabel[0]->text(), "8001");
  EXPECT_EQ(pf->HexLabel[5]->text(), "FFFF");

  // XML through the save dialog.
  QString path = dir.filePath("ws.xml");
  answer = [&](QDialog& d) {
    if (auto* fd = qobject_cast<QFileDialog*>(&d)) {
      fd->selectFile(path);
      return int(QDialog::Accepted);
    }
    return int(QDialog::Rejected);
  };
  QTest::mouseClick(pf->Pages->tabBar(), Qt::LeftButton, {}, bar->tabRect(0).center());
  QTest::mouseClick(pf->ExportXmlButton, Qt::LeftButton);
  EXPECT_EQ(second->bases[kSigTS], 0x8001);
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  std::string xml = Cp1251ToUtf8(file.readAll().toStdString());
  EXPECT_NE(xml.find("t1=\"20\""), std::string::npos) << xml.substr(0, 400);
  EXPECT_NE(xml.find("<Group name=\"файлы\""), std::string::npos);

  // "Дублировать" appends a copy with the same settings.
  f.SelectNode(second->node);
  QMenu* menu = f.MenuFor(second->node);
  ASSERT_NE(menu, nullptr);
  ASSERT_EQ(menu->actions().value(0)->text(), "Дублировать");
  menu->actions().value(0)->trigger();
  ASSERT_EQ(ip->Workstations().size(), 3u);
  EXPECT_EQ(dynamic_cast<TPC*>(ip->Workstations()[2])->t1, 20000u);
  EXPECT_EQ(ip->StatusTable()->At(2)->Name(), "0_Порт_IP.связь_1_Порт ПЭВМ_Щит");

  // Deleting every workstation removes the status table.
  answer = [](QDialog&) { return int(kYes); };
  for (TItem* pc : ip->Workstations()) {
    f.SelectNode(pc->node);
    QTest::keyClick(f.BlockTree(), Qt::Key_Delete);
  }
  EXPECT_TRUE(ip->Workstations().empty());
  EXPECT_EQ(ip->StatusTable(), nullptr);
  EXPECT_EQ(ipNode->ChildCount(), 0);
}

TEST_F(UiTest, SerialIec104PortPage) {
  MakeForm();
  ui::TFrame1& f = Frame();
  f.AddFromMenu(5, true);  // AI16: its first AI8 gives eight ТИ signals
  for (TItem* c : f.CurrentNode()->Item()->ChildItems())
    if (auto* ai8 = dynamic_cast<TAI8*>(c)) {
      ai8->SetConnection(1);
      ai8->RebuildTable();
      break;
    }
  Doc().AfterEdit();
  ASSERT_EQ(Doc().Storage().List(kSigTI).Count(), 8);

  f.AddFromMenu(119, false);
  TNode* portNode = f.CurrentNode();
  auto* port = dynamic_cast<TPortMEK104*>(portNode->Item());
  ASSERT_NE(port, nullptr);
  auto* mf = dynamic_cast<ui::TMEK104Frame*>(f.CurrentFrame());
  ASSERT_NE(mf, nullptr);
  EXPECT_EQ(mf->Heading->text(), "Порт связи с ПУ по протоколу  МЭК 870-5-104  (связь по сети RS-232/485)");
  EXPECT_EQ(mf->PeriodLabel->text(), "всех ТИ   0 с");
  EXPECT_TRUE(mf->PeriodLabel->styleSheet().contains("red"));
  TypeInto(mf->Time1Edit, "20");
  TypeInto(mf->EditTimeTI, "1500");
  EXPECT_EQ(port->tiInterval, 1500);  // stored at once

  // The ТИ output table filled from the storage panel: the label turns black.
  TNode* tiNode = portNode->Child(2);
  ASSERT_EQ(tiNode->Item(), port->Table(kSigTI));
  f.SelectNode(tiNode);
  EXPECT_EQ(port->t1, 20000u);
  QTest::mouseClick(f.StoragePanel()->AddAll, Qt::LeftButton);
  ASSERT_EQ(port->Table(kSigTI)->Count(), 8);
  f.SelectNode(portNode);
  mf = dynamic_cast<ui::TMEK104Frame*>(f.CurrentFrame());
  ASSERT_NE(mf, nullptr);
  EXPECT_EQ(mf->PeriodLabel->text(), "всех ТИ   12 с");
  EXPECT_TRUE(mf->PeriodLabel->styleSheet().contains("black"));
  EXPECT_FALSE(mf->PeriodLabel->styleSheet().contains("red"));
}
