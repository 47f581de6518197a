// The KP station page, a СС-301 meter page and the МКТ-3 page driven by real events: typing in
// the counts grid (a count above the table limit refused as typed), a protocol switch, the
// group-types popup, a meter's tick and energy option reaching the image, and showing and
// storing an untouched station leaving every byte as it was.
#include <QContextMenuEvent>
#include <QLineEdit>
#include <tuple>

#include "model/params.h"
#include "model/storage.h"
#include "ports/image_sections.h"
#include "ports/port_kp.h"
#include "ports/port_meters.h"
#include "ports/port_mkt3.h"
#include "ui/frame_kp.h"
#include "ui_fixture.h"

using namespace t32;
using namespace t32::test;

namespace {

std::vector<std::uint8_t> Image(TDocument& d) { return t32test::Written(d); }

// The value of key `key` of the first section with the code.
std::vector<std::uint8_t> EntryOf(const std::vector<std::uint8_t>& img, int code, int key) {
  return t32test::EntryAt(img, t32test::FindSectionCode(img, code), key);
}

void ClickCell(QTableWidget* t, int row, int col) {
  t->scrollToItem(t->item(row, col));
  QTest::mouseClick(t->viewport(), Qt::LeftButton, {}, t->visualItemRect(t->item(row, col)).center());
}

// Opens the grid's popup as a right click does and clicks the entry with this text.
bool PickFromPopup(QTableWidget* t, QMenu* menu, int row, int col, const QString& entry) {
  QPoint at = t->visualItemRect(t->item(row, col)).center();
  QContextMenuEvent ev(QContextMenuEvent::Mouse, at, t->viewport()->mapToGlobal(at));
  QApplication::sendEvent(t->viewport(), &ev);
  if (!menu->isVisible()) return false;
  for (QAction* a : menu->actions())
    if (a->text() == entry) {
      QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(a).center());
      return true;
    }
  return false;
}

}  // namespace

TEST_F(UiTest, KPStationPageCountsProtocolAndGroupTypes) {
  MakeForm();
  ui::TFrame1& f = Frame();
  f.AddFromMenu(112, false);
  auto* port = dynamic_cast<TPortKP*>(f.CurrentNode()->Item());
  auto* pf = dynamic_cast<ui::TPollingPortFrame*>(f.CurrentFrame());
  ASSERT_TRUE(port && pf);
  EXPECT_EQ(pf->CountLabel->text(), "Количество подключенных устройств = 0");
  TKP* k = port->AddStation();
  TKP* other = port->AddStation();
  // Values a new station holds or a file may carry outside the page's ranges.
  k->retries = 0;
  k->controlPeriod = 0xFFFFFFFFu;
  other->number = 9;
  other->UpdateStatusTable();
  Doc().AfterEdit();
  f.SelectNode(port->node);
  EXPECT_EQ(pf->CountLabel->text(), "Количество подключенных устройств = 2");

  // Shown and left untouched: not a byte changes.
  const std::vector<std::uint8_t> before = Image(Doc());
  f.SelectNode(k->node);
  auto* kf = dynamic_cast<ui::TKPFrame*>(f.CurrentFrame());
  ASSERT_NE(kf, nullptr);
  EXPECT_EQ(kf->SpinEditArrayN->text(), "0");
  EXPECT_FALSE(kf->ExistsLabel->isVisibleTo(kf));
  f.SelectNode(port->node);
  EXPECT_EQ(Image(Doc()), before);

  f.SelectNode(k->node);
  kf = dynamic_cast<ui::TKPFrame*>(f.CurrentFrame());
  ASSERT_NE(kf, nullptr);
  EXPECT_TRUE(kf->IecPanel->isVisibleTo(kf));
  EXPECT_FALSE(kf->SiriusPanel->isVisibleTo(kf));
  // Counts grid: digits only; 8193 is refused at its last digit.
  ui::TCountEdit* ts = kf->CountEdits[0];
  ts->setFocus();
  ts->selectAll();
  QTest::keyClicks(ts, "1a2");
  EXPECT_EQ(k->CountOf(kSigTS), 12);
  ASSERT_NE(k->Table(kSigTS), nullptr);
  EXPECT_EQ(k->Table(kSigTS)->Count(), 12);
  ts->selectAll();
  QTest::keyClicks(ts, "8193");
  EXPECT_EQ(ts->text(), "819");
  EXPECT_EQ(k->CountOf(kSigTS), 819);
  QTest::keyClick(ts, Qt::Key_Backspace);
  QTest::keyClick(ts, Qt::Key_Backspace);
  EXPECT_EQ(k->CountOf(kSigTS), 8);
  EXPECT_EQ(EntryOf(Image(Doc()), 206, 44)[0], 8);

  // Protocol switch by the keyboard: "Сириус" shows its panel, and the ТИ count is read-only.
  kf->ProtBox->setFocus();
  QTest::keyClick(kf->ProtBox, Qt::Key_Up);
  QTest::keyClick(kf->ProtBox, Qt::Key_Up);
  EXPECT_EQ(k->protocol, TKP::kSirius);
  EXPECT_TRUE(kf->SiriusPanel->isVisibleTo(kf));
  EXPECT_FALSE(kf->IecPanel->isVisibleTo(kf));
  EXPECT_TRUE(kf->CountEdits[2]->isReadOnly());
  EXPECT_EQ(k->Table(kSigTS)->At(0)->DefaultName(), "1_Порт.1_КП.Гр1_Пр1");
  EXPECT_EQ(EntryOf(Image(Doc()), 206, 27), (std::vector<std::uint8_t>{0}));

  // Group 1 gets "ТИ_13 real" from the popup: four 4-byte ТИ rows.
  ClickCell(kf->GridTI, 0, 1);
  ASSERT_TRUE(PickFromPopup(kf->GridTI, kf->GroupMenu, 0, 1, "ТИ_13 real"));
  EXPECT_EQ(k->groupTypes[1], 2);
  EXPECT_EQ(kf->GridTI->item(0, 1)->text(), "ТИ_13");
  EXPECT_EQ(kf->CountEdits[2]->text(), "4");
  ASSERT_NE(k->Table(kSigTI), nullptr);
  EXPECT_EQ(k->Table(kSigTI)->At(3)->valueWidth, 4);
  EXPECT_EQ(EntryOf(Image(Doc()), 206, 46).at(1), 2);
  // Group 0 never takes a type; groups 250 to 255 have their row.
  ClickCell(kf->GridTI, 0, 0);
  ASSERT_TRUE(PickFromPopup(kf->GridTI, kf->GroupMenu, 0, 0, "ТИИ_36 real"));
  EXPECT_EQ(k->groupTypes[0], 0);
  ClickCell(kf->GridTI, 25, 5);
  ASSERT_TRUE(PickFromPopup(kf->GridTI, kf->GroupMenu, 25, 5, "ТИ_11 word"));
  EXPECT_EQ(k->groupTypes[255], 1);
  EXPECT_EQ(k->CountOf(kSigTI), 12);

  // The same address as another station of the port.
  kf->AddrEdit->setFocus();
  kf->AddrEdit->selectAll();
  QTest::keyClicks(kf->AddrEdit, "9");
  EXPECT_EQ(k->number, 9);
  EXPECT_TRUE(kf->ExistsLabel->isVisibleTo(kf));
  EXPECT_EQ(k->Caption(), "9_КП");
}

TEST_F(UiTest, CC301MeterPageTicksReachTheImage) {
  MakeForm();
  ui::TFrame1& f = Frame();
  f.AddFromMenu(106, false);
  auto* port = dynamic_cast<TPortCC301*>(f.CurrentNode()->Item());
  ASSERT_NE(port, nullptr);
  auto* pf = dynamic_cast<ui::TMeterPortFrame*>(f.CurrentFrame());
  ASSERT_NE(pf, nullptr);
  EXPECT_EQ(pf->Heading->text(), "Порт счётчиков CC-301");
  TMeter* m = port->AddMeter();
  Doc().AfterEdit();
  const std::vector<std::uint8_t> before = Image(Doc());
  f.SelectNode(m->node);
  auto* mf = dynamic_cast<ui::TMeterFrame*>(f.CurrentFrame());
  ASSERT_NE(mf, nullptr);
  EXPECT_EQ(mf->Heading->text(), "Cчётчик CC-301");
  EXPECT_EQ(mf->RepeatEdit->text(), "0");
  ASSERT_EQ(mf->CheckListBox1->count(), 9);
  f.SelectNode(port->node);
  EXPECT_EQ(Image(Doc()), before);  // shown and stored untouched

  f.SelectNode(m->node);
  mf = dynamic_cast<ui::TMeterFrame*>(f.CurrentFrame());
  ASSERT_NE(mf, nullptr);
  mf->CheckListBox1->setFocus();
  mf->CheckListBox1->setCurrentRow(0);
  QTest::keyClick(mf->CheckListBox1, Qt::Key_Space);
  mf->CheckListBox1->setCurrentRow(6);
  QTest::keyClick(mf->CheckListBox1, Qt::Key_Space);
  EXPECT_TRUE(m->quantities.test(0));
  EXPECT_TRUE(m->quantities.test(6));
  ASSERT_NE(m->Table(kSigTI), nullptr);
  EXPECT_EQ(m->Table(kSigTI)->Count(), 3);
  EXPECT_EQ(m->Table(kSigTII)->Count(), 4);
  EXPECT_EQ(EntryOf(Image(Doc()), 216, 44).at(0), 0x41);
  mf->AsTI->setFocus();
  QTest::keyClick(mf->AsTI, Qt::Key_Space);
  EXPECT_EQ(EntryOf(Image(Doc()), 216, 8), (std::vector<std::uint8_t>{1}));
  EXPECT_EQ(m->Table(kSigTI)->Count(), 7);
  EXPECT_EQ(m->Table(kSigTII), nullptr);
}

TEST_F(UiTest, ConverterTableTakesDigitsUpToItsWidths) {
  MakeForm();
  ui::TFrame1& f = Frame();
  f.AddFromMenu(116, false);
  auto* cp = dynamic_cast<TPortCP8500*>(f.CurrentNode()->Item());
  ASSERT_NE(cp, nullptr);
  auto* pf = dynamic_cast<ui::TPortCP8500Frame*>(f.CurrentFrame());
  ASSERT_NE(pf, nullptr);
  QTableWidget* g = pf->AddrGrid;
  ASSERT_EQ(g->rowCount(), 1);
  // Letters are refused, digits stop at 5 in the address and at 2 in the parameter.
  for (auto [col, typed, kept] : {std::tuple{1, "12a34567", "12345"}, std::tuple{2, "3x45", "34"}}) {
    SCOPED_TRACE(typed);
    ClickCell(g, 0, col);
    QTest::mouseDClick(g->viewport(), Qt::LeftButton, {}, g->visualItemRect(g->item(0, col)).center());
    auto* e = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    ASSERT_NE(e, nullptr);
    QTest::keyClicks(e, typed);
    EXPECT_EQ(e->text(), kept);
    QTest::keyClick(e, Qt::Key_Tab);
    EXPECT_EQ(g->item(0, col)->text(), kept);
  }
  EXPECT_EQ(g->rowCount(), 2);  // a filled address opens the next numbered row
  f.SelectNode(Doc().ProcNode());
  ASSERT_EQ(cp->entries.size(), 1u);
  EXPECT_EQ(cp->entries[0].address, 12345);
  EXPECT_EQ(cp->entries[0].parameter, 34);
}

TEST_F(UiTest, MKT3PageShowsLimitedGroupsInRed) {
  MakeForm();
  ui::TFrame1& f = Frame();
  f.AddFromMenu(116, false);
  auto* cp = dynamic_cast<TPortCP8500*>(f.CurrentNode()->Item());
  ASSERT_NE(cp, nullptr);
  std::vector<std::pair<std::string, std::string>> rows;
  for (int i = 0; i < 65; ++i) rows.push_back({std::to_string(i + 1), "1"});
  ASSERT_TRUE(cp->StoreRows(rows));
  f.AddFromMenu(116, false);
  auto* cp2 = dynamic_cast<TPortCP8500*>(f.CurrentNode()->Item());
  ASSERT_TRUE(cp2->StoreRows({{"90", "1"}, {"90", "2"}, {"90", "3"}, {"90", "4"}, {"90", "5"}}));
  f.AddFromMenu(103, false);
  auto* mkt = dynamic_cast<TPortMKT3*>(f.CurrentNode()->Item());
  ASSERT_NE(mkt, nullptr);
  Doc().AfterEdit();
  mkt->Table(kSigTI)->AddFromList(Doc().Storage().List(kSigTI), true);
  ASSERT_EQ(mkt->Table(kSigTI)->Count(), 70);
  f.SelectNode(mkt->node);
  auto* mf = dynamic_cast<ui::TPortMKT3Frame*>(f.CurrentFrame());
  ASSERT_NE(mf, nullptr);
  EXPECT_EQ(mf->TIGroupsLabel->text(), "8");
  EXPECT_NE(mf->TIGroupsLabel->styleSheet().indexOf("red"), -1);
  EXPECT_EQ(mf->TSGroupsLabel->styleSheet().indexOf("red"), -1);
  EXPECT_EQ(mkt->SignalAddressText(64, kSigTI), " ОШИБКА ");
  ClickCell(mf->GridTI, 1, 2);
  ASSERT_TRUE(PickFromPopup(mf->GridTI, mf->TypeMenu, 1, 2, "± Двухполярные 4x"));
  EXPECT_EQ(mkt->channelTypes[10], 0x84);
  EXPECT_EQ(mf->GridTI->item(1, 2)->text(), "±Дп 4x");
  EXPECT_TRUE(mf->GridTI->item(1, 2)->font().bold());
  EXPECT_EQ(EntryOf(Image(Doc()), 103, 14), (std::vector<std::uint8_t>{8}));
  EXPECT_EQ(EntryOf(Image(Doc()), 103, 46).at(10), 0x84);
}
