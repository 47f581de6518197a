// The control-station port's page driven by real events: binding through "Плата", "Настроить",
// the protocol pages and the retransmitter rule, filling the ТИ output table from the storage
// panel, the number picker and the INI export through the save dialog.
#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include "model/boards.h"
#include "model/cp1251.h"
#include "model/params.h"
#include "model/storage.h"
#include "ports/port_pu.h"
#include "ui/frame_pu.h"
#include "ui/frames_boards.h"
#include "ui/frames_tables.h"
#include "ui/storagepanel.h"
#include "ui/treemodel.h"
#include "ui_fixture.h"

using namespace t32;
using namespace t32::test;

TEST_F(UiTest, ControlStationPortPage) {
  MakeForm();
  ui::TFrame1& f = Frame();
  f.AddFromMenu(1, true);  // ПВС: a modem
  TNode* modemNode = f.CurrentNode();
  auto* modem = dynamic_cast<TMVS4*>(modemNode->Item());
  ASSERT_NE(modem, nullptr);
  f.AddFromMenu(5, true);  // AI16: its first AI8 gives eight ТИ signals
  for (TItem* c : f.CurrentNode()->Item()->ChildItems())
    if (auto* ai8 = dynamic_cast<TAI8*>(c)) {
      ai8->SetConnection(1);
      ai8->RebuildTable();
      break;
    }
  Doc().AfterEdit();
  ASSERT_EQ(Doc().Storage().List(kSigTI).Count(), 8);

  f.AddFromMenu(101, false);
  TNode* puNode = f.CurrentNode();
  auto* pu = dynamic_cast<TPortPU*>(puNode->Item());
  ASSERT_NE(pu, nullptr);
  auto* pf = dynamic_cast<ui::TPUFrame*>(f.CurrentFrame());
  ASSERT_NE(pf, nullptr);
  EXPECT_EQ(pf->Heading->text(), "Порт связи с ПУ");
  EXPECT_TRUE(pf->Iec101Page->isVisibleTo(pf));
  EXPECT_EQ(pf->Iec101Page->title(), " Параметры протокола  МЭК 870-5-101 ");
  EXPECT_FALSE(pf->SetupButton->isEnabled());

  // "Плата": the modem is the only channel; choosing it binds the port.
  ASSERT_EQ(pf->ChannelBox->count(), 2);
  pf->ChannelBox->setFocus();
  QTest::keyClick(pf->ChannelBox, Qt::Key_Down);
  EXPECT_EQ(pu->boundChannel, modem);
  EXPECT_EQ(puNode->image, 13);
  EXPECT_EQ(modem->channelProtocol, 4);
  EXPECT_TRUE(pf->SetupButton->isEnabled());

  // Time-tagged ТИ allow at most 16 signals a message.
  pf->FormatBox->TiPerMsgBox->setFocus();
  QTest::keyClick(pf->FormatBox->TiPerMsgBox, Qt::Key_End);
  ASSERT_EQ(pu->tiFormats[0], 24);
  pf->FormatBox->TiSporadicBox->setFocus();
  QTest::keyClick(pf->FormatBox->TiSporadicBox, Qt::Key_Down);  // "Авто + время (35,36,37)"
  EXPECT_EQ(pu->tiFormats[1], 35);
  EXPECT_EQ(pu->tiFormats[0], 16);
  EXPECT_EQ(pf->FormatBox->TiPerMsgBox->currentText(), "16");

  // Retransmitter on under IEC 101; "Лисна-М" clears and disables it.
  QTest::mouseClick(pf->RetransBox, Qt::LeftButton, {}, QPoint(6, pf->RetransBox->height() / 2));
  ASSERT_TRUE(pf->RetransBox->isChecked());
  pf->ProtocolBox->setFocus();
  QTest::keyClick(pf->ProtocolBox, Qt::Key_Down);
  EXPECT_EQ(pu->protocol, TPortPU::kLisnaM);
  EXPECT_FALSE(pf->RetransBox->isChecked());
  EXPECT_FALSE(pf->RetransBox->isEnabled());
  EXPECT_EQ(pu->retransmitter, 0);
  EXPECT_TRUE(pf->LisnaMPage->isVisibleTo(pf));
  EXPECT_FALSE(pf->Iec101Page->isVisibleTo(pf));
  EXPECT_FALSE(pf->IncompatibleLabel->isVisibleTo(pf));  // a modem takes the Лисна protocols
  EXPECT_EQ(modem->channelProtocol, 12);

  // "Настроить" selects the modem.
  QTest::mouseClick(pf->SetupButton, Qt::LeftButton);
  QCoreApplication::processEvents();
  EXPECT_EQ(f.CurrentNode(), modemNode);

  // The number picker: 1 to 40; a pick applies at once.
  f.SelectNode(puNode);
  ui::TAddrEditForm* picker = pf->OpenPicker();
  ASSERT_NE(picker, nullptr);
  EXPECT_EQ(picker->cells.size(), 40);
  QTest::mouseClick(qobject_cast<QToolButton*>(picker->cells[6]), Qt::LeftButton);
  EXPECT_EQ(pu->number, 7);
  EXPECT_EQ(puNode->caption, "7_Порт ПУ");

  // The ТИ output table filled from the storage panel shows the Лисна-М addresses.
  TNode* tiNode = puNode->Child(2);
  ASSERT_EQ(tiNode->Item(), pu->Table(kSigTI));
  f.SelectNode(tiNode);
  ui::TStoragePanel* sp = f.StoragePanel();
  EXPECT_EQ(sp->Tabs()->currentIndex(), kSigTI - 1);
  QTest::mouseClick(sp->AddAll, Qt::LeftButton);
  ASSERT_EQ(pu->Table(kSigTI)->Count(), 8);
  auto* lf = dynamic_cast<ui::TFrameParams*>(f.CurrentFrame());
  ASSERT_NE(lf, nullptr);
  int col = lf->model->ColumnOf(ui::TCol::Address);
  ASSERT_GE(col, 0);
  EXPECT_EQ(lf->model->data(lf->model->index(0, col), Qt::DisplayRole).toString(), "Гр1 Пр1");
  EXPECT_EQ(lf->model->data(lf->model->index(7, col), Qt::DisplayRole).toString(), "Гр1 Пр8");

  // Export through the save dialog.
  f.SelectNode(puNode);
  QString path = dir.filePath("pu.ini");
  QStringList filters;
  answer = [&](QDialog& d) {
    if (auto* fd = qobject_cast<QFileDialog*>(&d)) {
      filters = fd->nameFilters();
      fd->selectFile(path);
      return int(QDialog::Accepted);
    }
    return int(QDialog::Rejected);
  };
  QTest::mouseClick(pf->ExportButton, Qt::LeftButton);
  ASSERT_FALSE(filters.isEmpty());
  EXPECT_TRUE(filters.first().startsWith("Список параметров (*.ini)")) << filters.join("|").toStdString();
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  std::string text = Cp1251ToUtf8(file.readAll().toStdString());
  EXPECT_NE(text.find("Гр1 Пр1="), std::string::npos) << text;
  EXPECT_EQ(ui::LastExportFile(), path);
}
