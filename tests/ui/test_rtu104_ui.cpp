// The IEC 104 polling port's pages driven by real events: a device added under the port, its last
// IP octet typed (caption and signals follow at once), "Выбрать параметры" opening the station
// editor where a group's objects are ticked, and the tables that follow when it closes; the
// editor's clipboard kept by the application from one device to the next, and the warning
// when a station past 1 MiB closes.
#include <QTest>
#include <QTreeWidget>
#include <algorithm>

#include "model/params.h"
#include "ports/app_context.h"
#include "ports/port_rtu104.h"
#include "ui/frame_rtu104.h"
#include "ui/station_form.h"
#include "ui_fixture.h"

using namespace t32;
using namespace t32::test;

namespace {
std::vector<int> ChildKinds(const TItem* dev) {
  std::vector<int> out;
  for (TItem* c : dev->ChildItems())
    if (auto* t = dynamic_cast<TParams*>(c)) out.push_back(t->Type());
  return out;
}
}  // namespace

TEST_F(UiTest, Rtu104DeviceOctetAndStationEditor) {
  factory.Register(128, TItemPlace::Port, [] { return std::make_unique<TPortRTU104>(); }, 128);
  MakeForm();
  ui::TFrame1& f = Frame();
  f.SetCpu(TCpu::Cpu927);  // the port runs on that processor only
  f.AddFromMenu(128, false);
  auto* port = dynamic_cast<TPortRTU104*>(f.CurrentNode()->Item());
  ASSERT_TRUE(port);
  auto* pf = dynamic_cast<ui::TPortRTU104Frame*>(f.CurrentFrame());
  ASSERT_TRUE(pf);
  EXPECT_EQ(pf->Heading->text(), "Порт опроса по МЭК 870-5-104");
  EXPECT_TRUE(pf->Net1Box->isChecked());
  EXPECT_FALSE(pf->Net1Box->isEnabled());
  EXPECT_EQ(pf->CountLabel->text(), "Количество подключенных устройств = 0");

  f.AddChildrenClick(0);
  ASSERT_EQ(port->Devices().size(), 1u);
  auto* dev = dynamic_cast<TRTU104*>(port->Devices()[0]);
  EXPECT_EQ(pf->CountLabel->text(), "Количество подключенных устройств = 1");
  ClickNode(dev->node);
  auto* df = dynamic_cast<ui::TRTU104Frame*>(f.CurrentFrame());
  ASSERT_TRUE(df);
  EXPECT_EQ(df->IpEdit->octet[0]->text(), "192");
  EXPECT_FALSE(df->ExistsLabel->isVisibleTo(df));

  // The last octet renames the device and its signals as it is typed.
  QLineEdit* last = df->IpEdit->octet[3];
  last->setFocus();
  last->selectAll();
  QTest::keyClicks(last, "25");
  EXPECT_EQ(dev->Caption(), "25_RTU");
  ASSERT_TRUE(dev->Table(kSigMTS));
  EXPECT_EQ(dev->Table(kSigMTS)->At(0)->Name(), "1_Порт.25_RTU.состояние связи");

  // The place is the station's name, shown and stored whole; the device keeps 64 characters.
  const QString longName = QString("П").repeated(70);
  df->PlaceEdit->setFocus();
  TypeText(df->PlaceEdit, longName);
  QTest::keyClick(df->PlaceEdit, Qt::Key_Return);
  EXPECT_EQ(dev->Station().name, longName.toStdString());
  EXPECT_EQ(dev->place, QString("П").repeated(64).toStdString());
  EXPECT_EQ(df->PlaceEdit->text(), longName);

  // A group with two objects, none ticked yet: the station editor ticks them all.
  {
    TWS_104& st = dev->Station();
    auto g = std::make_unique<TGroup>();
    g->name = "Входы";
    g->record.kind = kKindTS;
    TGroup* grp = st.AppendGroup(st, std::move(g));
    for (const char* n : {"Q1.ready", "Q2"}) {
      auto o = st.NewObject(*grp);
      o->name = n;
      st.AppendObject(*grp, std::move(o));
    }
  }
  bool opened = false;
  answer = [&](QDialog& d) {
    auto* editor = dynamic_cast<ui::Tc104Form*>(&d);
    if (!editor) return int(QDialog::Rejected);
    opened = true;
    const TConfigItem* grp = editor->Station()->Children().at(0).get();
    QTreeWidgetItem* it = editor->ItemOf(grp);
    editor->tree->scrollToItem(it);
    QTest::mouseClick(editor->tree->viewport(), Qt::LeftButton, {}, editor->tree->visualItemRect(it).center());
    QTest::mouseClick(editor->Button(editor->actCheckAll), Qt::LeftButton);
    // Copied here, pasted in the next device's editor.
    QTest::mouseClick(editor->list->viewport(), Qt::LeftButton, {},
                      editor->list->visualRect(editor->list->model()->index(0, 1)).center());
    QTest::mouseClick(editor->Button(editor->actSelectAll), Qt::LeftButton);
    QTest::mouseClick(editor->Button(editor->actCopy), Qt::LeftButton);
    return int(QDialog::Accepted);
  };
  QTest::mouseClick(df->SelectParamButton, Qt::LeftButton);
  EXPECT_TRUE(opened);
  EXPECT_EQ(ChildKinds(dev), (std::vector<int>{kSigTS, kSigMTS, kSigTR}));
  ASSERT_TRUE(dev->Table(kSigTS));
  ASSERT_EQ(dev->Table(kSigTS)->Count(), 2);
  EXPECT_EQ(dev->Table(kSigTS)->At(0)->Name(), "1_Порт.25_RTU.Входы_Q1_ready");
  EXPECT_EQ(dev->node->image, 28);
  // The page shows the device again.
  EXPECT_EQ(df->IpEdit->octet[3]->text(), "25");

  // A duplicate starts with the source's address: the page says so.
  f.DuplicateClick();
  ASSERT_EQ(port->Devices().size(), 2u);
  ClickNode(port->Devices()[1]->node);
  auto* df2 = dynamic_cast<ui::TRTU104Frame*>(f.CurrentFrame());
  ASSERT_TRUE(df2);
  EXPECT_TRUE(df2->ExistsLabel->isVisibleTo(df2));

  // The clipboard is the application's, not the window's: the copy's editor pastes what the
  // first one copied. Closing it with a station past 1 MiB warns at once.
  auto* dev2 = dynamic_cast<TRTU104*>(port->Devices()[1]);
  ASSERT_EQ(ContextOf(&Doc())->stationEditor.clipboard.size(), 2u);
  opened = false;
  std::size_t pasted = 0;
  answer = [&](QDialog& d) {
    auto* editor = dynamic_cast<ui::Tc104Form*>(&d);
    if (!editor) return int(QDialog::Rejected);
    opened = true;
    const TConfigItem* grp = editor->Station()->Children().at(0).get();
    QTreeWidgetItem* it = editor->ItemOf(grp);
    QTest::mouseClick(editor->tree->viewport(), Qt::LeftButton, {}, editor->tree->visualItemRect(it).center());
    EXPECT_TRUE(editor->actPaste->isEnabled());
    const std::size_t before = grp->Objects().size();
    QTest::mouseClick(editor->Button(editor->actPaste), Qt::LeftButton);
    pasted = grp->Objects().size() - before;
    // Grown past 1 MiB before the window closes.
    TGroup* big = dev2->Station().Children().at(0).get();
    for (int i = 0; i < 5200; ++i) big->AddObject(CreateObject(kKindTS, std::string(200, 'x') + std::to_string(i)));
    return int(QDialog::Accepted);
  };
  dialogTexts.clear();
  QTest::mouseClick(df2->SelectParamButton, Qt::LeftButton);
  EXPECT_TRUE(opened);
  EXPECT_EQ(pasted, 2u);
  const QString warning = "Параметры станции 25_RTU занимают больше 1 МБ: конфигурация не будет сохранена, пока их не станет меньше.";
  EXPECT_TRUE(std::find(dialogTexts.begin(), dialogTexts.end(), warning) != dialogTexts.end());
}
