// The IEC 61850 polling port's pages driven by real events against the test MMS server: the
// port page, a device whose address is typed, "Выбрать параметры" opening the VMD browser where
// a measurement and a control object are ticked and added, the lists and tables that follow,
// "Отключить"/"Активировать", and a show and store of an untouched device that changes nothing.
#include <QTest>

#include "iec61850/mms_test_server.h"
#include "model/params.h"
#include "ports/port_61850.h"
#include "ui/dialogs_61850.h"
#include "ui/frame_61850.h"
#include "ui/vmd_browser.h"
#include "ui_fixture.h"

using namespace t32;
using namespace t32::test;
using t32test::SNode;

namespace {
// A click and then a double click on a row, as a user opens it.
void OpenRow(QTreeWidget* list, QTreeWidgetItem* it) {
  const QPoint p = list->visualItemRect(it).center();
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, p);
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, p);
}
std::vector<int> ChildKinds(const TItem* dev) {
  std::vector<int> out;
  for (TItem* c : dev->ChildItems())
    if (auto* t = dynamic_cast<TParams*>(c)) out.push_back(t->Type());
  return out;
}
SNode Leaf(const std::string& name, int type, int size, const std::string& value) {
  SNode n;
  n.name = name;
  n.type = type;
  n.size = size;
  n.value = value;
  return n;
}
SNode Struct(const std::string& name, std::vector<SNode> children) {
  SNode n;
  n.name = name;
  n.type = 2;
  n.children = std::move(children);
  return n;
}
// A bay: a measurement (MMXU1.TotW) and a breaker with its control (XCBR1.Pos).
void BuildBay(t32test::TTestMmsServer& s) {
  SNode mmxu = Struct("MMXU1", {Struct("MX", {Struct("TotW", {Struct("mag", {Leaf("f", 7, 32, t32test::DataFloat(1.5f))}),
                                                                Leaf("q", 4, 13, t32test::DataBits(13, 0))})})});
  SNode xcbr = Struct("XCBR1", {Struct("ST", {Struct("Pos", {Leaf("stVal", 3, 0, t32test::DataBool(true))})}),
                                Struct("CO", {Struct("Pos", {Struct("Oper", {Leaf("ctlVal", 3, 0, t32test::DataBool(false))})})})});
  s.domains["BAYLD"] = {mmxu, xcbr};
}

QModelIndex Find(ui::TVMDbrowserForm& b, const QString& path) {
  QModelIndex at = b.Model->index(0, 0);
  for (const QString& name : path.split('/')) {
    QModelIndex next;
    for (int r = 0; r < b.Model->rowCount(at); ++r) {
      QModelIndex c = b.Model->index(r, 0, at);
      if (c.data().toString() == name) next = c;
    }
    if (!next.isValid()) return {};
    b.Tree->expand(at);
    at = next;
  }
  b.Tree->scrollTo(at);
  return at;
}
}  // namespace

TEST_F(UiTest, Port61850PickingThroughTheBrowser) {
  t32test::TTestMmsServer server;
  BuildBay(server);
  QTimer pump;
  pump.setInterval(2);
  QObject::connect(&pump, &QTimer::timeout, [&] { server.Poll(); });
  pump.start();
  ui::TRTU61850Frame::clientPort = server.Port();

  MakeForm();
  ui::TFrame1& f = Frame();
  f.SetCpu(TCpu::Cpu927);
  f.AddFromMenu(124, false);
  auto* port = dynamic_cast<TPort61850*>(f.CurrentNode()->Item());
  ASSERT_TRUE(port);
  auto* pf = dynamic_cast<ui::TPort61850Frame*>(f.CurrentFrame());
  ASSERT_TRUE(pf);
  EXPECT_EQ(pf->Heading->text(), "Порт опроса МЭК-61850");
  EXPECT_TRUE(pf->Net1Box->isChecked());
  EXPECT_FALSE(pf->Net1Box->isEnabled());
  EXPECT_EQ(pf->TimeShiftEdit->text(), "3");
  EXPECT_EQ(pf->LinkLossEdit->text(), "10");
  EXPECT_EQ(pf->CountLabel->text(), "Количество подключенных устройств = 0");
  EXPECT_EQ(pf->SetIntgPdButton->text(), "Установить значение");

  f.AddChildrenClick(0);
  ASSERT_EQ(port->Devices().size(), 1u);
  auto* dev = dynamic_cast<TRTU61850*>(port->Devices()[0]);
  ClickNode(dev->node);
  auto* df = dynamic_cast<ui::TRTU61850Frame*>(f.CurrentFrame());
  ASSERT_TRUE(df);
  EXPECT_EQ(df->TypeBox->currentText(), "IED");
  EXPECT_EQ(df->SignalsLabel->text(), "Список сигналов входящих в  набор данных");
  ASSERT_TRUE(df->Client());

  // 127.0.0.1, typed.
  const char* octets[4] = {"127", "0", "0", "1"};
  for (int i = 0; i < 4; ++i) {
    QLineEdit* e = df->IpEdit->octet[i];
    e->setFocus();
    e->selectAll();
    QTest::keyClicks(e, octets[i]);
    QTest::keyClick(e, Qt::Key_Return);
  }
  EXPECT_EQ(dev->Caption(), "1_IED");

  bool opened = false;
  answer = [&](QDialog& d) {
    auto* b = dynamic_cast<ui::TVMDbrowserForm*>(&d);
    if (!b) return int(QDialog::Rejected);
    opened = true;
    EXPECT_TRUE(b->AddObjectsButton->isVisibleTo(b));
    TMMSobject* c = b->Client();
    EXPECT_TRUE(QTest::qWaitFor([&] { return c->MMSState() == TMMSobject::kMmsAssociated; }, 8000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return b->LoadDeviceButton->isEnabled(); }, 8000));
    QTest::mouseClick(b->LoadDeviceButton, Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return c->ModelLoaded() && !c->Browsing() && b->Model->rowCount() == 1; }, 8000));
    for (const char* path : {"BAYLD/MMXU1/MX/TotW", "BAYLD/XCBR1/CO/Pos"}) {
      QModelIndex i = Find(*b, path);
      EXPECT_TRUE(i.isValid()) << path;
      QTest::mouseClick(b->Tree->viewport(), Qt::LeftButton, {}, b->Tree->IconRect(i).center());
    }
    QTest::mouseClick(b->AddObjectsButton, Qt::LeftButton);
    return int(QDialog::Accepted);
  };
  QTest::mouseClick(df->SelectParamButton, Qt::LeftButton);
  answer = nullptr;
  ASSERT_TRUE(opened);

  TMMSobject m;
  ASSERT_TRUE(dev->LoadModel(m));
  ASSERT_TRUE(m.FindDataSet("DSetTI"));
  ASSERT_TRUE(m.FindDataSet("DSetTU"));
  ASSERT_TRUE(m.Reports().Find("Rep_DSetTI"));
  EXPECT_EQ(m.Reports().Find("Rep_DSetTI")->TrgOps, 0x0C);
  EXPECT_FALSE(m.Reports().Find("Rep_DSetTU"));
  EXPECT_EQ(ChildKinds(dev), (std::vector<int>{kSigTU, kSigTI}));
  EXPECT_EQ(dev->Table(kSigTI)->At(0)->Name(), "1_Порт.1_IED.MMXU1$MX$TotW");
  EXPECT_EQ(dev->Table(kSigTU)->At(0)->Name(), "1_Порт.1_IED.XCBR1$CO$Pos");

  // The lists show the model the page holds.
  ASSERT_EQ(df->ReportList->topLevelItemCount(), 1);
  QTreeWidgetItem* rep = df->ReportList->topLevelItem(0);
  EXPECT_EQ(rep->text(0), " вкл");
  EXPECT_EQ(rep->text(1), " -");
  EXPECT_EQ(rep->text(2), "1");
  EXPECT_EQ(rep->text(3), "DSetTI");
  ASSERT_EQ(df->DataSetList->topLevelItemCount(), 2);
  EXPECT_EQ(df->DataSetList->topLevelItem(1)->text(0), " вкл");  // DSetTU: read, interval 0
  EXPECT_EQ(df->DataSetList->topLevelItem(1)->text(1), "");

  // Selecting the report shows its signals: the ТИ tab only.
  df->ListTabs->setCurrentIndex(0);
  QTest::mouseClick(df->ReportList->viewport(), Qt::LeftButton, {}, df->ReportList->visualItemRect(rep).center());
  EXPECT_TRUE(df->SignalTabs->isTabVisible(2));
  EXPECT_FALSE(df->SignalTabs->isTabVisible(0));
  EXPECT_EQ(df->SignalLists[2]->count(), 1);

  // "Отключить": the report's data no longer gives ТИ signals; "Активировать" brings them back.
  QTest::mouseClick(df->DisableButton, Qt::LeftButton);
  EXPECT_EQ(df->ReportList->topLevelItem(0)->text(0), " -");
  EXPECT_FALSE(dev->Table(kSigTI));
  QTest::mouseClick(df->ActivateButton, Qt::LeftButton);
  EXPECT_TRUE(dev->Table(kSigTI));

  // Showing and storing an untouched device changes no byte of the image.
  const std::int32_t end1 = Doc().WriteRecords();
  const std::vector<std::uint8_t> before(Doc().Config().Image().begin(), Doc().Config().Image().begin() + end1);
  ClickNode(port->node);
  ClickNode(dev->node);
  ClickNode(port->node);
  const std::int32_t end2 = Doc().WriteRecords();
  const std::vector<std::uint8_t> after(Doc().Config().Image().begin(), Doc().Config().Image().begin() + end2);
  EXPECT_EQ(before, after);
  ui::TRTU61850Frame::clientPort = 0;
}

TEST_F(UiTest, Port61850DialogsOfReportsDataSetsAndGoose) {
  MakeForm();
  ui::TFrame1& f = Frame();
  f.SetCpu(TCpu::Cpu927);
  f.AddFromMenu(124, false);
  auto* port = dynamic_cast<TPort61850*>(f.CurrentNode()->Item());
  ASSERT_TRUE(port);
  TRTU61850* dev = port->AddDevice();
  {
    // A model with the picked data set, its report and a GOOSE block.
    TMMSobject c;
    auto& dict = c.Dictionary();
    auto root = std::make_unique<TMMSvar>(dict.Add("VMD"), nullptr);
    TMMSvar* ld = root->AddChild(dict.Add("LD0"));
    ld->Domain = true;
    TMMSvar* ind = ld->AddChild(dict.Add("GGIO1"))->AddChild(dict.Add("MX"))->AddChild(dict.Add("AnIn1"));
    ind->AddChild(dict.Add("mag"))->Type = kMmsFloat;
    TGCBList g;
    TGCBObject* gcb = g.Add();
    gcb->Name = "gcb01";
    gcb->DatSet = "DSetTI";
    c.AdoptModel(std::move(root), {}, {}, std::move(g));
    dev->PickData(c, {ind});
  }
  ClickNode(dev->node);
  auto* df = dynamic_cast<ui::TRTU61850Frame*>(f.CurrentFrame());
  ASSERT_TRUE(df);
  ASSERT_EQ(df->ReportList->topLevelItemCount(), 1);

  // The report: triggers and period; "Установить" keeps them in the device's model.
  answer = [&](QDialog& d) {
    auto* r = dynamic_cast<ui::TReportDlg*>(&d);
    if (!r) return int(QDialog::Rejected);
    EXPECT_EQ(r->RptIdEdit->text(), "Rep_DSetTI");
    EXPECT_TRUE(r->RptIdEdit->isReadOnly());
    EXPECT_EQ(r->DataSetBox->currentText(), "DSetTI");
    EXPECT_TRUE(r->TrgBoxes[3]->isChecked());   // 0x08 periodic
    EXPECT_FALSE(r->TrgBoxes[0]->isChecked());  // 0x40 data change
    QTest::mouseClick(r->TrgBoxes[0], Qt::LeftButton);
    r->IntgPdEdit->setFocus();
    r->IntgPdEdit->selectAll();
    QTest::keyClicks(r->IntgPdEdit, "5000");
    QTest::mouseClick(r->SetButton, Qt::LeftButton);
    return d.result();
  };
  QTreeWidgetItem* rep = df->ReportList->topLevelItem(0);
  df->ListTabs->setCurrentIndex(0);
  OpenRow(df->ReportList, rep);
  ASSERT_FALSE(dialogTitles.empty());
  EXPECT_EQ(dialogTitles.back(), "Параметры отчета");
  {
    TMMSobject c;
    ASSERT_TRUE(dev->LoadModel(c));
    EXPECT_EQ(c.Reports().Items.at(0)->TrgOps, 0x4C);
    EXPECT_EQ(c.Reports().Items.at(0)->IntgPd, 5000);
  }

  // The data set: reading every 500 ms.
  answer = [&](QDialog& d) {
    auto* s = dynamic_cast<ui::TDSetDlg*>(&d);
    if (!s) return int(QDialog::Rejected);
    EXPECT_EQ(s->RptIdEdit->text(), "Rep_DSetTI");
    EXPECT_EQ(s->NameEdit->text(), "DSetTI");
    EXPECT_FALSE(s->UseBox->isChecked());
    QTest::mouseClick(s->UseBox, Qt::LeftButton);
    s->IntervalEdit->setFocus();
    s->IntervalEdit->selectAll();
    QTest::keyClicks(s->IntervalEdit, "500");
    QTest::mouseClick(s->SetButton, Qt::LeftButton);
    return d.result();
  };
  df->ListTabs->setCurrentIndex(1);
  QTreeWidgetItem* ds = df->DataSetList->topLevelItem(0);
  OpenRow(df->DataSetList, ds);
  EXPECT_EQ(dialogTitles.back(), "Параметры набора данных");
  EXPECT_EQ(df->DataSetList->topLevelItem(0)->text(1), "500мс");

  // The GOOSE block: the MAC address is re-read when the field is left; "Отменить" keeps all.
  answer = [&](QDialog& d) {
    auto* g = dynamic_cast<ui::TGCBdlg*>(&d);
    if (!g) return int(QDialog::Rejected);
    g->MacEdit->setFocus();
    g->MacEdit->selectAll();
    QTest::keyClicks(g->MacEdit, "01-0c-cd-01-00-01");
    emit g->MacEdit->editingFinished();  // the field is left
    EXPECT_EQ(g->MacEdit->text(), "01:0C:CD:01:00:01");
    QTest::mouseClick(g->SetButton, Qt::LeftButton);
    return d.result();
  };
  df->ListTabs->setCurrentIndex(2);
  QTreeWidgetItem* gi = df->GooseList->topLevelItem(0);
  OpenRow(df->GooseList, gi);
  EXPECT_EQ(dialogTitles.back(), "Настройка GOOSE Control Block");
  EXPECT_EQ(df->GooseList->topLevelItem(0)->text(2), "01:0C:CD:01:00:01");
}
