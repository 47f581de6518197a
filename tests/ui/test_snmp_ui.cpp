// The SNMP pages and the MIB selection dialog driven by real events: the agent's address and
// place, a table's row count, ticking by the check icon and by Space, adding tags, a second
// agent opening with its own ticks, and a real system MIB module.
#include <QCheckBox>
#include <QTreeWidgetItemIterator>
#include <filesystem>
#include <fstream>

#include "model/params.h"
#include "ports/port_snmp.h"
#include "ui/frame_snmp.h"
#include "ui/mib_dialog.h"
#include "ui_fixture.h"

using namespace t32;
using namespace t32::test;

namespace {

const char* const kModule = R"(UI-TEST-MIB DEFINITIONS ::= BEGIN
internet OBJECT IDENTIFIER ::= { iso org(3) dod(6) 1 }
uiTest OBJECT IDENTIFIER ::= { internet 4 1 9998 }
upTime OBJECT-TYPE
    SYNTAX INTEGER
    ACCESS read-only
    STATUS mandatory
    DESCRIPTION "Uptime."
    ::= { uiTest 1 }
ifTable OBJECT-TYPE
    SYNTAX SEQUENCE OF IfEntry
    ACCESS not-accessible
    STATUS mandatory
    DESCRIPTION "Interfaces."
    ::= { uiTest 2 }
ifEntry OBJECT-TYPE
    SYNTAX IfEntry
    ACCESS not-accessible
    STATUS mandatory
    DESCRIPTION "One interface."
    INDEX { ifIndex }
    ::= { ifTable 1 }
IfEntry ::= SEQUENCE {
    ifInOctets INTEGER,
    ifOutOctets INTEGER
}
ifInOctets OBJECT-TYPE
    SYNTAX INTEGER
    ACCESS read-only
    STATUS mandatory
    DESCRIPTION "In."
    ::= { ifEntry 10 }
ifOutOctets OBJECT-TYPE
    SYNTAX INTEGER
    ACCESS read-only
    STATUS mandatory
    DESCRIPTION "Out."
    ::= { ifEntry 16 }
END
)";

QTreeWidgetItem* Find(QTreeWidget* t, const QString& caption) {
  for (QTreeWidgetItemIterator i(t); *i; ++i)
    if ((*i)->text(0) == caption) return *i;
  return nullptr;
}

// A left click on the item's check icon.
void ClickCheck(QTreeWidget* t, QTreeWidgetItem* it) {
  t->scrollToItem(it);
  QRect r = t->visualItemRect(it);
  QStyleOptionViewItem opt;
  opt.initFrom(t);
  opt.rect = r;
  opt.features = QStyleOptionViewItem::HasCheckIndicator;
  QRect box = t->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &opt, t);
  QPoint at = box.isValid() ? box.center() : QPoint(r.left() + 10, r.center().y());
  QTest::mouseClick(t->viewport(), Qt::LeftButton, {}, at);
}

std::vector<std::string> TagNames(const TSNMP& a) {
  std::vector<std::string> out;
  for (const auto& t : a.dev.Tags.Items) out.push_back(t->Name);
  return out;
}

}  // namespace

TEST_F(UiTest, SnmpAgentPageAndMibDialog) {
  MakeForm();
  ui::TFrame1& f = Frame();
  f.AddFromMenu(134, false);
  auto* port = dynamic_cast<TPortSNMP*>(f.CurrentNode()->Item());
  auto* pf = dynamic_cast<ui::TPortSNMPFrame*>(f.CurrentFrame());
  ASSERT_TRUE(port && pf);
  EXPECT_EQ(pf->Heading->text(), "Порт опроса по SNMP");
  EXPECT_EQ(pf->CountLabel->text(), "Количество подключенных устройств = 0");
  TSNMP* a = port->AddAgent();
  TSNMP* b = port->AddAgent();
  f.SelectNode(port->node);
  EXPECT_EQ(pf->CountLabel->text(), "Количество подключенных устройств = 2");

  f.SelectNode(a->node);
  auto* af = dynamic_cast<ui::TSNMPFrame*>(f.CurrentFrame());
  ASSERT_NE(af, nullptr);
  af->IpEdit->octet[3]->clear();
  QTest::keyClicks(af->IpEdit->octet[3], "7");
  EXPECT_EQ(a->Caption(), "7_RTU");  // at once
  f.SelectNode(port->node);  // leaving the page stores it: the link row follows
  EXPECT_EQ(port->LinkTable()->At(0)->DefaultName(), "1_Порт.связь_7_RTU");
  f.SelectNode(a->node);
  af = dynamic_cast<ui::TSNMPFrame*>(f.CurrentFrame());
  ASSERT_NE(af, nullptr);
  QTest::keyClicks(af->IpEdit->octet[3], "00");  // 700 is cut to 255
  EXPECT_EQ(af->IpEdit->octet[3]->text(), "255");
  af->IpEdit->octet[3]->clear();
  QTest::keyClicks(af->IpEdit->octet[3], "7");
  af->PlaceEdit->setFocus();
  TypeText(af->PlaceEdit, "Шкаф");
  QTest::keyClick(af->PlaceEdit, Qt::Key_Return);
  EXPECT_EQ(a->place, "Шкаф");

  QTemporaryDir mibs;
  std::string path = (mibs.path() + "/UI-TEST-MIB.txt").toStdString();
  std::ofstream(path) << kModule;
  ui::TMIBdlg& dlg = ui::TMIBdlg::Instance();
  int step = 0;
  answer = [&](QDialog& d) -> int {
    EXPECT_EQ(&d, &dlg);
    EXPECT_EQ(d.windowTitle(), "Загрузка MIB-файла");
    if (step++ == 0) {
      dlg.FileEdit->clear();
      QTest::keyClicks(dlg.FileEdit, QString::fromStdString(path));
      QTest::mouseClick(dlg.LoadButton, Qt::LeftButton);
      QTreeWidgetItem* table = Find(dlg.TreeView, "ifTable");
      EXPECT_NE(table, nullptr);
      if (!table) return QDialog::Rejected;
      dlg.TreeView->expandAll();
      dlg.TreeView->setCurrentItem(table);
      EXPECT_EQ(dlg.CategoryLabel->text(), "OBJECT TABLE");
      EXPECT_TRUE(dlg.RowsEdit->isVisibleTo(&dlg));
      ClickCheck(dlg.TreeView, table);  // ticked with no rows: nothing to add from it
      EXPECT_EQ(table->checkState(0), Qt::Checked);
      dlg.RowsEdit->setFocus();
      dlg.RowsEdit->selectAll();
      QTest::keyClicks(dlg.RowsEdit, "2");
      QTest::mouseClick(dlg.ApplyButton, Qt::LeftButton);
      EXPECT_EQ(table->childCount(), 2);
      QTreeWidgetItem* cell = Find(dlg.TreeView, "ifOutOctets[2]");
      EXPECT_TRUE(cell && cell->checkState(0) == Qt::Checked);  // the rows take the table's tick
      dlg.TreeView->setCurrentItem(cell);
      EXPECT_EQ(dlg.OidLabel->text(), "1.3.6.1.4.1.9998.2.1.16.2");
      QTest::mouseClick(dlg.AddButton, Qt::LeftButton);
      return dlg.result();
    }
    // The second agent: nothing of the first one's ticks; Space ticks upTime.
    QTreeWidgetItem* up = Find(dlg.TreeView, "upTime");
    EXPECT_TRUE(up && up->checkState(0) == Qt::Unchecked);
    EXPECT_EQ(Find(dlg.TreeView, "ifInOctets[1]")->checkState(0), Qt::Unchecked);
    dlg.TreeView->setFocus();
    dlg.TreeView->setCurrentItem(up);
    QTest::keyClick(dlg.TreeView, Qt::Key_Space);
    EXPECT_EQ(up->checkState(0), Qt::Checked);
    QTest::mouseClick(dlg.AddButton, Qt::LeftButton);
    return dlg.result();
  };
  QTest::mouseClick(af->ChooseButton, Qt::LeftButton);
  EXPECT_EQ(TagNames(*a), (std::vector<std::string>{"ifInOctets[1]", "ifOutOctets[1]", "ifInOctets[2]", "ifOutOctets[2]"}));
  ASSERT_NE(a->TiTable(), nullptr);
  EXPECT_EQ(a->TiTable()->At(3)->DefaultName(), "1_Порт.7_RTU.ifOutOctets[2]");

  f.SelectNode(b->node);
  auto* bf = dynamic_cast<ui::TSNMPFrame*>(f.CurrentFrame());
  ASSERT_NE(bf, nullptr);
  QTest::mouseClick(bf->ChooseButton, Qt::LeftButton);
  EXPECT_EQ(TagNames(*b), (std::vector<std::string>{"upTime"}));

  // Opening the first agent again shows its own four ticks; a right-button release leaves.
  answer = [&](QDialog&) -> int {
    EXPECT_EQ(Find(dlg.TreeView, "ifOutOctets[2]")->checkState(0), Qt::Checked);
    EXPECT_EQ(Find(dlg.TreeView, "upTime")->checkState(0), Qt::Unchecked);
    QTest::mouseClick(dlg.TreeView->viewport(), Qt::RightButton, {}, QPoint(5, 5));
    return dlg.result();
  };
  f.SelectNode(a->node);
  af = dynamic_cast<ui::TSNMPFrame*>(f.CurrentFrame());
  QTest::mouseClick(af->ChooseButton, Qt::LeftButton);
  EXPECT_EQ(a->dev.Tags.Count(), 4u);
}

TEST_F(UiTest, SnmpDialogLoadsASystemModule) {
  const QString sys = "/usr/share/snmp/mibs/UCD-SNMP-MIB.txt";
  if (!QFile::exists(sys)) GTEST_SKIP() << "no system MIB modules";
  ui::TMIBdlg dlg;
  dlg.FileEdit->setText("  " + sys + " ");  // the path is trimmed
  QTest::mouseClick(dlg.LoadButton, Qt::LeftButton);
  ASSERT_NE(dlg.TreeView->topLevelItem(0), nullptr);
  EXPECT_EQ(dlg.TreeView->topLevelItem(0)->text(0), "UCD-SNMP-MIB.txt");
  EXPECT_GT(dlg.MessageList->count() + dlg.ErrorList->count(), 0);
  // Whatever the module gives, a table shown takes rows of column copies.
  for (QTreeWidgetItemIterator i(dlg.TreeView); *i; ++i) {
    dlg.TreeView->setCurrentItem(*i);
    if (dlg.CategoryLabel->text() != "OBJECT TABLE") continue;
    dlg.RowsEdit->setValue(3);
    QTest::mouseClick(dlg.ApplyButton, Qt::LeftButton);
    EXPECT_EQ((*i)->childCount(), 3);
    break;
  }
  // A second load replaces the lists rather than adding to them.
  int messages = dlg.MessageList->count(), errors = dlg.ErrorList->count();
  QTest::mouseClick(dlg.LoadButton, Qt::LeftButton);
  EXPECT_EQ(dlg.MessageList->count(), messages);
  EXPECT_EQ(dlg.ErrorList->count(), errors);
}
