// The add-devices picker of an RTU port driven by real events: from the port's popup, cells
// picked with different types come back as devices in address order; addresses already used
// cannot be picked.
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QTest>

#include "model/cp1251.h"
#include "model/params.h"
#include "ports/app_context.h"
#include "ports/modbus.h"
#include "ui/select_rtu.h"
#include "ui_fixture.h"

using namespace t32;
using namespace t32::test;

namespace {
void PutLibraryFile(const QString& folder, const QString& file, const std::string& text) {
  QDir().mkpath(folder);
  QFile f(folder + "/" + file);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  std::string bytes = Utf8ToCp1251(text);
  f.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

std::vector<std::string> Names(const TParams* t) {
  std::vector<std::string> r;
  for (int i = 0; t && i < t->Count(); ++i) r.push_back(t->At(i)->Name());
  return r;
}
}  // namespace

TEST_F(UiTest, RtuPortAddsPickedDevicesFromThePopup) {
  // The fixture stands a fake port in for this tag; this test needs the real one.
  factory.Register(102, TItemPlace::Port, [] { return std::make_unique<TPortMODBUS>(); }, 102);
  MakeForm();
  const QString lib = dir.filePath("MODBUS");
  PutLibraryFile(lib, "b.ini", "[Устройства]\r\nБета=\r\n[Таблица ТС]\r\n1_Функция=1\r\n1_Адрес=$20\r\n1_Количество=2\r\n");
  PutLibraryFile(lib, "a.ini", "[Устройства]\r\nАльфа=\r\n[Таблица ТС]\r\n1_Функция=2\r\n1_Адрес=$10\r\n1_Количество=1\r\n");
  ASSERT_NE(Doc().appContext, nullptr);
  Doc().appContext->libraryFolders = {lib.toStdString()};

  ui::TFrame1& f = Frame();
  f.AddFromMenu(9, true);  // a board with serial channels for the port
  f.AddFromMenu(102, false);
  TNode* portNode = f.CurrentNode();
  auto* port = dynamic_cast<TPortMODBUS*>(portNode->Item());
  ASSERT_NE(port, nullptr) << (dialogTexts.empty() ? "" : dialogTexts.back().toStdString());
  auto addFromPopup = [&] {
    f.SelectNode(portNode);
    QMenu* m = f.MenuFor(portNode);
    ASSERT_NE(m, nullptr);
    QAction* action = nullptr;
    for (QAction* a : m->actions())
      if (a->text() == "Добавить устройство") action = a;
    ASSERT_NE(action, nullptr);
    m->popup(QPoint(10, 10));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m));
    QTest::mouseClick(m, Qt::LeftButton, {}, m->actionGeometry(action).center());
    Settle();
  };
  auto clickCell = [](ui::TSelectRTU& s, int address) {
    QTest::mouseClick(s.Cell(address), Qt::LeftButton);
  };

  // First visit: 9 with the preselected type, then 2 with the other one.
  QString status9;
  int shown = 0;
  answer = [&](QDialog& d) {
    auto* s = dynamic_cast<ui::TSelectRTU*>(&d);
    if (!s) return int(QDialog::Rejected);
    ++shown;
    EXPECT_EQ(s->TypeBox->count(), 2);
    EXPECT_EQ(s->TypeBox->currentText(), "Альфа");  // sorted, the first preselected
    clickCell(*s, 9);
    status9 = s->StatusPanel->text();
    s->TypeBox->setFocus();
    QTest::keyClick(s->TypeBox, Qt::Key_Down);
    EXPECT_EQ(s->TypeBox->currentText(), "Бета");
    clickCell(*s, 2);
    clickCell(*s, 40);
    clickCell(*s, 40);  // picked and unpicked again: not added, and shows nothing
    EXPECT_EQ(s->StatusPanel->text(), "");
    EXPECT_EQ(s->Cell(9)->toolTip(), "Альфа");
    EXPECT_EQ(s->Cell(40)->toolTip(), "");
    EXPECT_EQ(s->Cell(2)->geometry(), QRect(40, 40, 30, 26));
    EXPECT_EQ(s->Cell(255)->geometry(), QRect(10 + 30 * 14 + 30, 40 + 26 * 15 + 24, 30, 26));
    QTest::mouseClick(s->AddButton, Qt::LeftButton);
    return d.result();
  };
  addFromPopup();
  ASSERT_EQ(shown, 1);
  EXPECT_EQ(dialogTitles.back(), "Выбор сетевых адресов добавляемых устройств");
  EXPECT_EQ(status9, "  9 = Альфа");
  auto devs = port->Devices();
  ASSERT_EQ(devs.size(), 2u);
  EXPECT_EQ(devs[0]->Caption(), "2_Бета");
  EXPECT_EQ(devs[1]->Caption(), "9_Альфа");
  EXPECT_EQ(devs[0]->node->Parent(), portNode);
  EXPECT_EQ(Names(dynamic_cast<TRTU*>(devs[0])->Table(kSigTS)),
            (std::vector<std::string>{"1_Порт.2_Бета.Пр_0020", "1_Порт.2_Бета.Пр_0021"}));
  EXPECT_EQ(Names(dynamic_cast<TRTU*>(devs[1])->Table(kSigTS)), (std::vector<std::string>{"1_Порт.9_Альфа.Пр_0010"}));
  EXPECT_EQ(Names(port->LinkTable()), (std::vector<std::string>{"1_Порт.связь_2_Бета", "1_Порт.связь_9_Альфа"}));

  // Second visit: the used addresses are flat and a click does not pick them; a new pick
  // goes after the old ones.
  answer = [&](QDialog& d) {
    auto* s = dynamic_cast<ui::TSelectRTU*>(&d);
    if (!s) return int(QDialog::Rejected);
    EXPECT_TRUE(QTest::qWaitForWindowExposed(s));
    EXPECT_TRUE(s->Cell(2)->used && s->Cell(2)->isFlat());
    EXPECT_FALSE(s->Cell(3)->used);
    clickCell(*s, 2);
    EXPECT_FALSE(s->Cell(2)->picked);
    EXPECT_EQ(s->StatusPanel->text(), "  2 = Бета");
    clickCell(*s, 5);
    EXPECT_EQ(s->StatusPanel->text(), "  5 = Альфа");
    QTest::mouseClick(s->AddButton, Qt::LeftButton);
    return d.result();
  };
  addFromPopup();
  devs = port->Devices();
  ASSERT_EQ(devs.size(), 3u);
  EXPECT_EQ(devs[2]->Caption(), "5_Альфа");  // appended after the devices already there

  // "Отмена" adds nothing, whatever was picked.
  answer = [&](QDialog& d) {
    auto* s = dynamic_cast<ui::TSelectRTU*>(&d);
    if (!s) return int(QDialog::Rejected);
    clickCell(*s, 7);
    QTest::mouseClick(s->CancelButton, Qt::LeftButton);
    return d.result();
  };
  addFromPopup();
  EXPECT_EQ(port->Devices().size(), 3u);
}
