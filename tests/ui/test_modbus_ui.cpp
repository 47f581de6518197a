// The Modbus port and device pages driven by real events: fields and grids typed, tabs clicked,
// the values stored and shown again; the library type saved and deleted from the page; the
// signal and event pickers; the TCP pages with their seconds and the gateway rule.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTabBar>
#include <QTest>

#include "model/config.h"
#include "model/cp1251.h"
#include "model/params.h"
#include "ports/app_context.h"
#include "ports/modbus.h"
#include "ui/frame_modbus.h"
#include "ui/frames_boards.h"
#include "ui/select_param.h"
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

std::vector<std::uint8_t> Records(TDocument& d) {
  std::int32_t end = d.WriteRecords();
  const auto& img = d.Config().Image();
  return {img.begin() + TConfig::kDataStart, img.begin() + end};
}

// Types into a grid cell through the cell's own editor, then Enter.
QString TypeCell(ui::TBlockGrid* g, int row, int col, const QString& keys) {
  g->setFocus();
  g->setCurrentCell(row, col);  // the grid opens the cell's editor as the current cell moves
  if (!g->indexWidget(g->currentIndex())) g->editItem(g->item(row, col));
  auto* e = qobject_cast<ui::TGridCellEdit*>(g->indexWidget(g->currentIndex()));
  if (!e) return "<no editor>";
  e->selectAll();
  for (QChar c : keys) QTest::keyClick(e, c.toLatin1());
  const QString shown = e->text();
  QTest::keyClick(e, Qt::Key_Return);
  QApplication::processEvents();
  return shown;
}

void ClickTab(QTabWidget* tabs, const QString& title) {
  for (int i = 0; i < tabs->count(); ++i)
    if (tabs->tabText(i) == title) QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, {}, tabs->tabBar()->tabRect(i).center());
}

class ModbusUi : public UiTest {
 protected:
  QString lib;
  ui::TFrame1* f = nullptr;
  TPortMODBUS* port = nullptr;
  void Build() {
    factory.Register(102, TItemPlace::Port, [] { return std::make_unique<TPortMODBUS>(); }, 102);
    MakeForm();
    lib = dir.filePath("MODBUS");
    std::string ti = "[Устройства]\r\nНасос=\r\n[Таблица ТС]\r\n1_Функция=1\r\n1_Адрес=$10\r\n1_Количество=2\r\n"
                     "[Список ТИ]\r\n";
    for (int a = 0; a < 500; ++a) {
      char key[16];
      std::snprintf(key, sizeof key, "$%04X", a);
      ti += std::string(key) + "=Параметр " + std::to_string(a) + "\r\n";
    }
    ti += "[Список Событий]\r\n1=Пуск\r\n2=Стоп\r\n3=Авария\r\n";
    PutLibraryFile(lib, "pump.ini", ti);
    Doc().appContext->libraryFolders = {lib.toStdString()};
    f = &Frame();
    f->AddFromMenu(9, true);
    f->AddFromMenu(102, false);
    port = dynamic_cast<TPortMODBUS*>(f->CurrentNode()->Item());
  }
  static void Retype(QLineEdit* e, const QString& text) {
    e->setFocus();
    e->selectAll();
    QTest::keyClick(e, Qt::Key_Delete);
    TypeText(e, text);
  }
  ui::TRTUFrame* Open(TItem* it) {
    ClickNode(it->node);
    return dynamic_cast<ui::TRTUFrame*>(f->CurrentFrame());
  }
};
}  // namespace

TEST_F(ModbusUi, DevicePageControlsReachTheDevice) {
  Build();
  ASSERT_TRUE(port);
  auto* pf = dynamic_cast<ui::TPortRTUFrame*>(f->CurrentFrame());
  ASSERT_TRUE(pf);
  EXPECT_EQ(pf->Heading->text(), "Порт опроса устройств по протоколу MODBUS-RTU");
  EXPECT_EQ(pf->CountLabel->text(), "Количество подключенных устройств = 0");
  EXPECT_EQ(pf->ReplyEdit->value(), 500);
  std::vector<TRTU*> devs = port->AddDevices({{5, "Насос"}, {9, ""}});
  TRTU* dev = devs[0];

  // Show and store of untouched devices changes no byte.
  const std::vector<std::uint8_t> before = Records(Doc());
  auto* df = Open(dev);
  ASSERT_TRUE(df);
  EXPECT_EQ(df->Heading->text(), "Устройство MODBUS-RTU");
  EXPECT_EQ(df->TypeBox->currentText(), "Насос");
  EXPECT_EQ(df->TSGrid->item(0, 1)->text(), "0010");
  EXPECT_EQ(df->TSGrid->item(1, 1)->text(), "");
  EXPECT_EQ(df->TSGrid->verticalHeaderItem(7)->text(), "   8");
  EXPECT_EQ(df->TIGrid->horizontalHeaderItem(0)->text(), " Тип ТИ");
  EXPECT_EQ(df->TRGrid->horizontalHeaderItem(2)->text(), " Кол-во, парметров");
  QStringList tabs;
  for (int i = 0; i < df->Tabs->count(); ++i) tabs << df->Tabs->tabText(i);
  EXPECT_EQ(tabs, (QStringList{"ТС", "ТУ", "ТИ", "ТР", "Время", "Журналы"}));
  Open(devs[1]);
  Open(port);
  EXPECT_EQ(Records(Doc()), before);
  EXPECT_EQ(pf, f->CurrentFrame());
  EXPECT_EQ(dynamic_cast<ui::TPortRTUFrame*>(f->CurrentFrame())->CountLabel->text(),
            "Количество подключенных устройств = 2");

  df = Open(dev);
  // The address: "Уже существует" while another device has it; caption and names follow.
  Retype(df->AddrEdit, "9");
  EXPECT_TRUE(df->ErrorLabel->isVisibleTo(df));
  EXPECT_EQ(dev->Caption(), "9_Насос");
  Retype(df->AddrEdit, "7");
  EXPECT_FALSE(df->ErrorLabel->isVisibleTo(df));
  EXPECT_EQ(dev->Table(kSigTS)->At(0)->DefaultName(), "1_Порт.7_Насос.Пр_0010");
  Retype(df->PlaceEdit, "Насосная");
  QTest::keyClick(df->PlaceEdit, Qt::Key_Return);
  Retype(df->RepeatEdit, "150");  // capped at 99

  // Grids: keys past a column's limit are dropped.
  ClickTab(df->Tabs, "ТИ");
  EXPECT_EQ(Doc().appContext->lastEditorTab, 2);
  EXPECT_EQ(TypeCell(df->TIGrid, 0, 0, "9"), "");
  TypeCell(df->TIGrid, 0, 0, "2");
  EXPECT_EQ(TypeCell(df->TIGrid, 0, 1, "999"), "99");
  TypeCell(df->TIGrid, 0, 1, "3");
  EXPECT_EQ(TypeCell(df->TIGrid, 0, 2, "1a2bc"), "1A2B");
  TypeCell(df->TIGrid, 0, 3, "10");
  ClickTab(df->Tabs, "ТУ");
  Retype(df->AutoOffEdit, "70000");
  Retype(df->PasswordEdit, "ab12x");
  Retype(df->PassAddrEdit, "z1f");
  ClickTab(df->Tabs, "Время");
  Retype(df->ClockAddrEdit, "00g20");
  EXPECT_EQ(df->ClockAddrEdit->text(), "0020");
  ClickTab(df->Tabs, "Журналы");
  Retype(df->SysLog.start, "300");
  Retype(df->SysLog.interval, "4");
  Retype(df->AlarmLog.records, "70000");
  Retype(df->AlarmLog.text, "ГГ ММ");
  QTest::mouseClick(df->MultiTSBox, Qt::LeftButton, {}, QPoint(5, df->MultiTSBox->height() / 2));
  EXPECT_EQ(dev->s.eventsAsMts, 0);

  Open(port);  // leaving the page stores it
  EXPECT_EQ(dev->place, "Насосная");
  EXPECT_EQ(dev->s.attempts, 99);
  EXPECT_EQ(dev->s.ti[0], (TRTUBlock{2, 3, 0x1A2B, 10}));
  EXPECT_EQ(dev->s.ts[0], (TRTUBlock{0, 1, 0x10, 2}));
  EXPECT_EQ(dev->s.autoRelease, 60000);
  EXPECT_EQ(dev->s.password, "ab12");
  EXPECT_EQ(dev->s.passwordAddress, 0x1F);
  EXPECT_EQ(dev->s.clockAddress, 0x20);
  EXPECT_EQ(dev->s.sysLog.start, 0x300);
  EXPECT_EQ(dev->s.sysLog.interval, 4);
  EXPECT_EQ(dev->s.alarmLog.records, 65535);
  EXPECT_EQ(dev->s.alarmLog.text, "ГГ ММ");
  ASSERT_TRUE(dev->Table(kSigTI));
  EXPECT_EQ(dev->Table(kSigTI)->Count(), 5);  // type 2: a value per two words

  // The image holds what was typed (section 202 read back by a fresh device); a reopened page
  // shows it, on the tab shown last.
  const std::vector<std::uint8_t> after = Records(Doc());
  EXPECT_NE(after, before);
  {
    TConfig c;
    c.BeginWrite();
    dev->SaveToImage(c);
    c.Pos = TConfig::kDataStart;
    TRTU back;
    back.LoadFromImage(c);
    EXPECT_EQ(back.s, dev->s);
    EXPECT_EQ(back.place, "Насосная");
    EXPECT_EQ(back.number, 7);
    EXPECT_EQ(back.name, "Насос");
  }
  df = Open(dev);
  EXPECT_EQ(df->Tabs->tabText(df->Tabs->currentIndex()), "Журналы");
  EXPECT_EQ(df->TIGrid->item(0, 2)->text(), "1A2B");
  EXPECT_EQ(df->AddrEdit->text(), "7");
  EXPECT_EQ(df->SysLog.start->text(), "0300");
  EXPECT_FALSE(df->MultiTSBox->isChecked());
  Open(port);
  EXPECT_EQ(Records(Doc()), after);
}

TEST_F(ModbusUi, TypesTemplateAndPickers) {
  Build();
  ASSERT_TRUE(port);
  TRTU* dev = port->AddDevices({{5, "Насос"}})[0];
  auto* df = Open(dev);
  ASSERT_TRUE(df);
  EXPECT_FALSE(Doc().appContext->deviceTemplate.has_value());
  EXPECT_FALSE(df->SetDefButton->isEnabled());

  // "Выбрать параметры" on ТИ: 500 lines picked with Shift, three rows of 192, 192 and 116.
  ClickTab(df->Tabs, "ТИ");
  int shown = 0;
  answer = [&](QDialog& d) {
    auto* s = dynamic_cast<ui::TSelectParam*>(&d);
    if (!s) return int(QDialog::Rejected);
    ++shown;
    EXPECT_EQ(s->windowTitle(), "Список ТИ");
    EXPECT_EQ(s->List->count(), 500);
    s->List->scrollToItem(s->List->item(0));
    QTest::mouseClick(s->List->viewport(), Qt::LeftButton, {}, s->List->visualItemRect(s->List->item(0)).center());
    s->List->scrollToItem(s->List->item(499));
    QTest::mouseClick(s->List->viewport(), Qt::LeftButton, Qt::ShiftModifier,
                      s->List->visualItemRect(s->List->item(499)).center());
    EXPECT_EQ(s->List->selectedItems().size(), 500);
    QTest::mouseClick(s->AddButton, Qt::LeftButton);
    EXPECT_EQ(s->List->item(10)->foreground().color(), QColor(Qt::gray));
    QTest::mouseClick(s->OkButton, Qt::LeftButton);
    return d.result();
  };
  ui::TBlockGrid* tiGrid = df->TIGrid;
  QTest::mouseClick(df->findChild<QPushButton*>(QString("ChooseButton%1").arg(kSigTI)), Qt::LeftButton);
  ASSERT_EQ(shown, 1);
  EXPECT_EQ(dev->s.ti[0], (TRTUBlock{0, 3, 0x0000, 192}));
  EXPECT_EQ(dev->s.ti[1], (TRTUBlock{0, 3, 0x00C0, 192}));
  EXPECT_EQ(dev->s.ti[2], (TRTUBlock{0, 3, 0x0180, 116}));
  EXPECT_EQ(tiGrid->item(2, 3)->text(), "116");
  EXPECT_EQ(dev->Table(kSigTI)->At(1)->DefaultSuffix(), "Параметр 1");

  // A row's delete button moves the rows below up; "Отмена" leaves the device as it was.
  answer = [&](QDialog& d) {
    auto* s = dynamic_cast<ui::TSelectParam*>(&d);
    if (!s) return int(QDialog::Rejected);
    QTest::mouseClick(s->findChild<QPushButton*>("DeleteRow1"), Qt::LeftButton);
    EXPECT_EQ(s->Grid()[0].address, "00C0");
    EXPECT_EQ(s->Grid()[2], t32::TGridRow{});
    EXPECT_EQ(s->List->item(10)->foreground().color(), QColor(Qt::black));
    // With Ctrl a line joins the selection only beside it: the selection stays one run.
    auto click = [&](int row, Qt::KeyboardModifiers mods) {
      s->List->scrollToItem(s->List->item(row));
      QTest::mouseClick(s->List->viewport(), Qt::LeftButton, mods, s->List->visualItemRect(s->List->item(row)).center());
    };
    click(5, {});
    click(6, Qt::ControlModifier);
    click(9, Qt::ControlModifier);
    EXPECT_TRUE(s->List->item(6)->isSelected());
    EXPECT_FALSE(s->List->item(9)->isSelected());
    EXPECT_EQ(s->List->selectedItems().size(), 2);
    QTest::mouseClick(s->CancelButton, Qt::LeftButton);
    return d.result();
  };
  QTest::mouseClick(df->findChild<QPushButton*>(QString("ChooseButton%1").arg(kSigTI)), Qt::LeftButton);
  EXPECT_EQ(dev->s.ti[0].count, 192);
  EXPECT_EQ(dev->s.ti[2].count, 116);

  // Events of the system log: two ticked, then rebuilt and counted.
  answer = [&](QDialog& d) {
    auto* s = dynamic_cast<ui::TSelectLogParam*>(&d);
    if (!s) return int(QDialog::Rejected);
    EXPECT_EQ(s->windowTitle(), "Выбор событий журнала");
    QTest::mouseClick(s->List->viewport(), Qt::LeftButton, {}, s->List->visualItemRect(s->List->item(0)).center());
    QTest::mouseClick(s->List->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      s->List->visualItemRect(s->List->item(2)).center());
    QTest::mouseClick(s->SelectButton, Qt::LeftButton);
    QTest::mouseClick(s->OkButton, Qt::LeftButton);
    return d.result();
  };
  ClickTab(df->Tabs, "Журналы");
  QTest::mouseClick(df->SysLog.choose, Qt::LeftButton);
  EXPECT_EQ(dev->s.sysLog.codes, (std::vector<std::uint16_t>{1, 3}));
  EXPECT_EQ(df->SysLog.count->text(), "2");
  ASSERT_TRUE(dev->Table(kSigMTS));

  // "Сохранить" under a new name through the name input.
  answer = [&](QDialog& d) {
    auto* in = dynamic_cast<ui::TInputTextDialog*>(&d);
    if (!in) return int(QDialog::Rejected);
    EXPECT_EQ(in->windowTitle(), "Конфигуратор ТАВРИК32 - Ввод");
    EXPECT_EQ(in->promptLabel->text(), "Сохранить настройку блока как :");
    EXPECT_EQ(in->edit->text(), "Насос");
    in->edit->selectAll();
    UiTest::TypeText(in->edit, "Насос2");
    QTest::mouseClick(in->okButton, Qt::LeftButton);
    return d.result();
  };
  QTest::mouseClick(df->SaveButton, Qt::LeftButton);
  EXPECT_TRUE(QFile::exists(lib + "/Насос2.ini"));
  EXPECT_EQ(dev->Caption(), "5_Насос2");
  EXPECT_EQ(df->TypeBox->currentText(), "Насос2");
  EXPECT_EQ(df->TypeBox->count(), 2);
  // Saving over it asks, the question on two lines; "Нет" keeps the file.
  answer = [&](QDialog& d) {
    if (auto* in = dynamic_cast<ui::TInputTextDialog*>(&d)) {
      QTest::mouseClick(in->okButton, Qt::LeftButton);
      return d.result();
    }
    return Click("Нет")(d);
  };
  QTest::mouseClick(df->SaveButton, Qt::LeftButton);
  EXPECT_EQ(dialogTexts.back(), "Файл уже существует.\nПереписать настройку?");

  // "В шаблон", then a second device takes it; picking a type applies it.
  QTest::mouseClick(df->AddDefButton, Qt::LeftButton);
  EXPECT_TRUE(df->SetDefButton->isEnabled());
  TRTU* other = port->AddDevices({{8, ""}})[0];
  df = Open(other);
  QTest::mouseClick(df->SetDefButton, Qt::LeftButton);
  EXPECT_EQ(other->s.ti, dev->s.ti);
  EXPECT_EQ(other->name, "Насос2");
  df->TypeBox->setFocus();
  df->TypeBox->setCurrentIndex(-1);
  QTest::keyClick(df->TypeBox, Qt::Key_Home);  // "Насос" sorts first
  EXPECT_EQ(other->name, "Насос");
  EXPECT_EQ(other->s.ti[0].count, 0);
  EXPECT_EQ(other->s.ts[0], (TRTUBlock{0, 1, 0x10, 2}));

  // "Удалить": asked, the file goes, the device keeps its settings.
  df = Open(dev);
  answer = Click("Да");
  QTest::mouseClick(df->DeleteButton, Qt::LeftButton);
  EXPECT_EQ(dialogTexts.back(), "Удалить устройство Насос2 из списка ?");
  EXPECT_FALSE(QFile::exists(lib + "/Насос2.ini"));
  EXPECT_EQ(df->TypeBox->count(), 1);
  EXPECT_EQ(dev->name, "Насос2");
  EXPECT_EQ(dev->s.ti[2].count, 116);
}

TEST_F(ModbusUi, PortAddressRenamesEveryDevice) {
  Build();
  ASSERT_TRUE(port);
  port->AddDevices({{5, "Насос"}, {6, "Насос"}});
  ClickNode(port->node);
  auto* pf = dynamic_cast<ui::TPortRTUFrame*>(f->CurrentFrame());
  ASSERT_TRUE(pf);
  ui::TAddrEditForm* picker = pf->OpenNumberPicker();
  ASSERT_TRUE(picker);
  QTest::mouseClick(picker->cells[2], Qt::LeftButton);  // number 3
  Settle();
  EXPECT_EQ(port->number, 3);
  for (TPolledDevice* d : port->Devices())
    EXPECT_EQ(dynamic_cast<TRTU*>(d)->Table(kSigTS)->At(0)->DefaultName().rfind("3_Порт.", 0), 0u);
  EXPECT_EQ(port->LinkTable()->At(1)->DefaultName(), "3_Порт.связь_6_Насос");
}

TEST_F(ModbusUi, TcpPagesSecondsAndGateway) {
  factory.Register(129, TItemPlace::Port, [] { return std::make_unique<TPortRTUTCP>(); }, 129);
  MakeForm();
  ui::TFrame1& fr = Frame();
  fr.SetCpu(TCpu::Cpu927);  // the port runs on that processor only
  fr.AddFromMenu(129, false);
  auto* port = dynamic_cast<TPortRTUTCP*>(fr.CurrentNode()->Item());
  ASSERT_TRUE(port);
  auto* pf = dynamic_cast<ui::TPortRTUTCPFrame*>(fr.CurrentFrame());
  ASSERT_TRUE(pf);
  EXPECT_EQ(pf->Heading->text(), "Порт опроса устройств по протоколу MODBUS-TCP");
  EXPECT_TRUE(pf->Net1Box->isChecked());
  EXPECT_FALSE(pf->Net1Box->isEnabled());
  Retype(pf->ConnectEdit, "65");
  Retype(pf->ReconnectEdit, "99");  // capped at 65
  Retype(pf->PollEdit, "5000");
  pf->ReplyEdit->setFocus();
  QTest::keyClick(pf->ReplyEdit, Qt::Key_Up);
  TRTUTCP* a = port->AddDevice();
  TRTUTCP* b = port->AddDevice();
  ClickNode(a->node);
  EXPECT_EQ(port->connectWait, 65000);
  EXPECT_EQ(port->reconnectWait, 65000);
  EXPECT_EQ(port->pollPeriod, 1000);
  EXPECT_EQ(port->replyWait, 600);

  auto* df = dynamic_cast<ui::TRTUTCPFrame*>(fr.CurrentFrame());
  ASSERT_TRUE(df);
  EXPECT_EQ(df->Heading->text(), "Устройство MODBUS-TCP");
  EXPECT_EQ(df->Tabs->count(), 5);
  // A type the library does not know has no list to pick from: the picker does not open.
  const std::size_t dialogs = dialogTitles.size();
  QTest::mouseClick(df->findChild<QPushButton*>(QString("ChooseButton%1").arg(kSigTS)), Qt::LeftButton);
  EXPECT_EQ(dialogTitles.size(), dialogs);
  // Same IP and same unit clash; another unit behind the same IP is a gateway.
  EXPECT_TRUE(df->ErrorLabel->isVisibleTo(df));
  Retype(df->AddrEdit, "2");
  EXPECT_FALSE(df->ErrorLabel->isVisibleTo(df));
  EXPECT_EQ(a->unit, 2);
  Retype(df->IpEdit->octet[3], "20");
  EXPECT_EQ(a->number, 20);
  EXPECT_EQ(a->Caption(), "20_RTU_TCP");
  EXPECT_EQ(a->ip, 0xC0A80114u);
  ClickNode(b->node);
  EXPECT_EQ(a->unit, 2);
  EXPECT_EQ(b->unit, 1);
}

TEST_F(ModbusUi, EachControlReachesSection202AndShowsAgain) {
  Build();
  ASSERT_TRUE(port);
  TRTU* dev = port->AddDevices({{5, "Насос"}})[0];
  struct Case {
    const char* tab;   // "" for the fields above the tabs
    const char* name;  // the control
    const char* typed;
    const char* shown;  // what the page shows after leaving and coming back
    int key, width;     // width 0: a text entry
    long long num;
    const char* text;
  };
  const Case cases[] = {
      {"", "PlaceEdit", "Цех 2", "Цех 2", 77, 0, 0, "Цех 2"},
      {"", "AddrEdit", "12", "12", 1, 1, 12, ""},
      {"", "RepeatEdit", "7", "7", 62, 1, 7, ""},
      {"ТУ", "AutoOffEdit", "1500", "1500", 19, 2, 1500, ""},
      {"ТУ", "PasswordEdit", "a漢Ж", "aЖ  ", 59, 0, 0, "aЖ  "},  // cp1251 only; two registers: four characters
      {"ТУ", "PassAddrEdit", "1f", "001F", 34, 2, 0x1F, ""},
      {"Время", "ClockAddrEdit", "abc", "0ABC", 63, 2, 0xABC, ""},
      {"Время", "ClockTextEdit", "ЧЧ:ММ", "ЧЧ:ММ", 54, 0, 0, "ЧЧ:ММ"},
      {"Журналы", "SysStartEdit", "100", "0100", 82, 2, 0x100, ""},
      {"Журналы", "SysSelectEdit", "1x01", "0101", 81, 2, 0x101, ""},
      {"Журналы", "SysIntervalEdit", "300", "255", 83, 2, 255, ""},
      {"Журналы", "SysRecordsEdit", "99999", "65535", 84, 2, 65535, ""},
      {"Журналы", "SysTextEdit", "КОД", "КОД", 85, 0, 0, "КОД"},
      {"Журналы", "AlarmStartEdit", "200", "0200", 89, 2, 0x200, ""},
      {"Журналы", "AlarmSelectEdit", "201", "0201", 88, 2, 0x201, ""},
      {"Журналы", "AlarmIntervalEdit", "3", "3", 90, 2, 3, ""},
      {"Журналы", "AlarmRecordsEdit", "10", "10", 91, 2, 10, ""},
      {"Журналы", "AlarmTextEdit", "Авария", "Авария", 92, 0, 0, "Авария"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto* df = Open(dev);
    ASSERT_TRUE(df);
    if (*c.tab) ClickTab(df->Tabs, c.tab);
    auto* e = df->findChild<QLineEdit*>(c.name);
    ASSERT_TRUE(e);
    Retype(e, QString::fromUtf8(c.typed));
    Open(port);  // leaving stores
    TConfig img;
    img.BeginWrite();
    dev->SaveToImage(img);
    img.Pos = TConfig::kDataStart;
    ASSERT_EQ(img.NextSection(), 202);
    if (c.width == 0) {
      std::string v;
      EXPECT_TRUE(img.GetText(static_cast<std::uint16_t>(c.key), v));
      EXPECT_EQ(v, c.text);
    } else if (c.width == 1) {
      std::uint8_t v = 0;
      EXPECT_TRUE(img.GetU8(static_cast<std::uint16_t>(c.key), v));
      EXPECT_EQ(v, c.num);
    } else {
      std::uint16_t v = 0;
      EXPECT_TRUE(img.GetU16(static_cast<std::uint16_t>(c.key), v));
      EXPECT_EQ(v, c.num);
    }
    df = Open(dev);
    EXPECT_EQ(df->findChild<QLineEdit*>(c.name)->text(), QString::fromUtf8(c.shown));
  }
}
