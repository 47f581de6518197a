#include "ui/frame_pc.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "model/cp1251.h"
#include "model/document.h"
#include "model/messages.h"
#include "model/params.h"
#include "model/storage.h"
#include "ports/port_pc.h"
#include "ui/dialogs.h"
#include "ui/frame_port.h"
#include "ui/link_dialogs.h"

namespace t32::ui {

void TClickLabel::mousePressEvent(QMouseEvent* e) {
  QLabel::mousePressEvent(e);
  if (onClick) onClick();
}

namespace {
TNumberEdit* Number(QWidget* parent, QFormLayout* form, const QString& caption, long long min, long long max,
                    const char* name) {
  auto* e = new TNumberEdit(min, max, parent);
  e->setObjectName(name);
  e->setMaximumWidth(80);
  form->addRow(caption, e);
  return e;
}
// Signal types of the six base address fields, in page order.
constexpr int kBaseTypes[6] = {kSigTS, kSigTI, kSigTU, kSigTR, kSigTII, kSigMTS};
const char* const kBaseCaptions[6] = {"Базовый адрес ТС", "Базовый адрес ТИ",  "Базовый адрес ТУ",
                                      "Базовый адрес ТР", "Базовый адрес ТИИ", "Базовый адрес МТС"};
}  // namespace

TPCFrame::TPCFrame(TFrame1& owner, QWidget* parent) : TEditorFrame(owner, parent) {
  setObjectName("TPCFrame");
  auto* lay = new QVBoxLayout(this);
  auto* heading = new QLabel("ПЭВМ", this);
  QFont f = heading->font();
  f.setBold(true);
  heading->setFont(f);
  lay->addWidget(heading);
  Pages = new QTabWidget(this);
  Pages->setObjectName("Pages");
  lay->addWidget(Pages);

  auto* main = new QWidget(Pages);
  auto* mv = new QVBoxLayout(main);
  auto* form = new QFormLayout;
  form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
  form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
  PlaceEdit = new QLineEdit(main);
  PlaceEdit->setObjectName("PlaceEdit");
  PlaceEdit->setMaxLength(64);
  PlaceEdit->setMinimumWidth(220);
  form->addRow("Место установки", PlaceEdit);
  AddressEdit = new TIpEdit(main);
  AddressEdit->setObjectName("AddressEdit");
  auto* addrRow = new QHBoxLayout;
  addrRow->addWidget(AddressEdit);
  addrRow->addWidget(new QLabel("255.255.255.255 любой клиент", main));
  addrRow->addStretch();
  form->addRow("IP адрес ПЭВМ", addrRow);
  GatewayEdit = new TIpEdit(main);
  GatewayEdit->setObjectName("GatewayEdit");
  form->addRow("IP Адрес шлюза", GatewayEdit);
  AsduEdit = Number(main, form, "Адрес ASDU", 1, 65535, "AsduEdit");
  CycleEdit = Number(main, form, "Интервал циклической выдачи ТИ, мс", 0, 60000, "CycleEdit");
  T1Edit = Number(main, form, "Время ожидания подтверждения после передачи T1, с", 0, 60000, "T1Edit");
  T2Edit = Number(main, form, "Таймаут перед передачей подтверждения T2, с", 0, 60000, "T2Edit");
  T3Edit = Number(main, form, "Таймаут передачи тестовых кадров T3, с", 0, 60000, "T3Edit");
  KEdit = Number(main, form, "Максимальное число переданных без подтверждения кадров K", 0, 50, "KEdit");
  WEdit = Number(main, form, "Максимальное число принятых кадров до выдачи подтверждения W", 0, 50, "WEdit");
  mv->addLayout(form);

  FormatBox = new TFormatBox(main);
  mv->addWidget(FormatBox);
  auto* period = new QHBoxLayout;
  period->addWidget(new QLabel("Период обновления ТИ", main));
  TiPeriodLabel = new QLabel(main);
  TiPeriodLabel->setObjectName("TiPeriodLabel");
  period->addWidget(TiPeriodLabel);
  period->addStretch();
  mv->addLayout(period);

  FilesBox = new QCheckBox("Разрешить запись файлов", main);
  FilesBox->setObjectName("FilesBox");
  CommandsBox = new QCheckBox("Разрешить исполнение ТУ, ТР", main);
  CommandsBox->setObjectName("CommandsBox");
  TimeSyncBox = new QCheckBox("Разрешить синхронизацию времени", main);
  TimeSyncBox->setObjectName("TimeSyncBox");
  mv->addWidget(FilesBox);
  mv->addWidget(CommandsBox);
  mv->addWidget(TimeSyncBox);
  auto* buttons = new QHBoxLayout;
  ExportIniButton = new QPushButton("Экспортировать список параметров в INI", main);
  ExportIniButton->setObjectName("ExportIniButton");
  ExportXmlButton = new QPushButton("Экспортировать список параметров в  XML", main);
  ExportXmlButton->setObjectName("ExportXmlButton");
  buttons->addWidget(ExportIniButton);
  buttons->addWidget(ExportXmlButton);
  buttons->addStretch();
  mv->addLayout(buttons);
  mv->addStretch();
  Pages->addTab(main, "ПЭВМ");

  auto* addresses = new QWidget(Pages);
  auto* ag = new QGridLayout(addresses);
  for (int i = 0; i < 6; ++i) {
    ag->addWidget(new QLabel(QString::fromUtf8(kBaseCaptions[i]), addresses), i, 0);
    BaseEdit[i] = new TNumberEdit(0, 65535, addresses);
    BaseEdit[i]->setObjectName(QString("BaseEdit%1").arg(i));
    BaseEdit[i]->setMaximumWidth(80);
    ag->addWidget(BaseEdit[i], i, 1);
    HexLabel[i] = new TClickLabel(addresses);
    HexLabel[i]->setObjectName(QString("HexLabel%1").arg(i));
    HexLabel[i]->setCursor(Qt::PointingHandCursor);
    HexLabel[i]->onClick = [this] { RefreshHex(); };
    ag->addWidget(HexLabel[i], i, 2);
  }
  ag->setColumnStretch(3, 1);
  ag->setRowStretch(6, 1);
  Pages->addTab(addresses, "Адреса сигналов");

  // A ТИ choice with time tags allows at most 16 signals a message; the period follows.
  for (QComboBox* c : {FormatBox->TiPerMsgBox, FormatBox->TiSporadicBox, FormatBox->TiCyclicBox, FormatBox->TiGiBox})
    connect(c, &QComboBox::activated, this, [this] {
      if (filling_ || !PC()) return;
      StoreItem();
      ShowItem(item_);
    });
  connect(ExportIniButton, &QPushButton::clicked, this, &TPCFrame::ExportIni);
  connect(ExportXmlButton, &QPushButton::clicked, this, &TPCFrame::ExportXml);
}

TPC* TPCFrame::PC() const { return dynamic_cast<TPC*>(item_); }

void TPCFrame::RefreshHex() {
  for (int i = 0; i < 6; ++i)
    HexLabel[i]->setText(QString("%1").arg(BaseEdit[i]->Value(), 4, 16, QChar('0')).toUpper());
}

void TPCFrame::ShowItem(TItem* item) {
  item_ = item;
  TPC* p = PC();
  if (!p) return;
  filling_ = true;
  PlaceEdit->setText(Q(p->place));
  AddressEdit->SetAddress(p->pcAddress);
  GatewayEdit->SetAddress(p->gateway);
  AsduEdit->SetValue(p->asduAddress);
  CycleEdit->SetValue(p->tiCycle);
  T1Edit->SetValue(p->t1 / 1000);
  T2Edit->SetValue(p->t2 / 1000);
  T3Edit->SetValue(p->t3 / 1000);
  KEdit->SetValue(p->k);
  WEdit->SetValue(p->w);
  FormatBox->Show(p->tsFormats, p->tiFormats, p->tiiFormats);
  TiPeriodLabel->setText(Q(p->TiPeriodText()));
  FilesBox->setChecked((p->permissions & 1) != 0);
  CommandsBox->setChecked((p->permissions & 2) == 0);
  TimeSyncBox->setChecked((p->permissions & 4) == 0);
  for (int i = 0; i < 6; ++i) BaseEdit[i]->SetValue(p->bases[static_cast<std::size_t>(kBaseTypes[i])]);
  RefreshHex();
  filling_ = false;
}

void TPCFrame::StoreItem() {
  TPC* p = PC();
  if (!p || filling_) return;
  p->place = Utf8Left(S(PlaceEdit->text()), 64);
  p->pcAddress = AddressEdit->Address();
  p->gateway = GatewayEdit->Address();
  p->asduAddress = static_cast<std::uint16_t>(AsduEdit->Value());
  p->tiCycle = static_cast<std::uint16_t>(CycleEdit->Value());
  p->t1 = TPC::SecondsToMs(T1Edit->Value());
  p->t2 = TPC::SecondsToMs(T2Edit->Value());
  p->t3 = TPC::SecondsToMs(T3Edit->Value());
  p->k = static_cast<std::uint8_t>(KEdit->Value());
  p->w = static_cast<std::uint8_t>(WEdit->Value());
  FormatBox->Store(p->tsFormats, p->tiFormats, p->tiiFormats);
  p->LimitTiPerMessage();
  std::uint16_t perm = p->permissions & ~std::uint16_t(7);
  if (FilesBox->isChecked()) perm |= 1;
  if (!CommandsBox->isChecked()) perm |= 2;
  if (!TimeSyncBox->isChecked()) perm |= 4;
  p->permissions = perm;
  for (int i = 0; i < 6; ++i)
    p->bases[static_cast<std::size_t>(kBaseTypes[i])] = static_cast<std::uint16_t>(BaseEdit[i]->Value());
  p->DeriveOlderBytes();
  // The place names the status row of this workstation.
  if (TDocument* d = p->Doc()) {
    if (TPortIP* ip = d->PortIP()) ip->UpdateStatusTable();
    d->Storage().Rebuild();
  }
}

namespace {
QString AskExportFile(QWidget* parent, const QString& title, const QString& filter) {
  QString start = LastExportFile().isEmpty() ? QCoreApplication::applicationDirPath() + "/" : LastExportFile();
  QString path = ChooseFile(parent, title, filter, start, true);
  if (!path.isEmpty()) LastExportFile() = path;
  return path;
}
}  // namespace

void TPCFrame::ExportIni() {
  TPC* p = PC();
  if (!p) return;
  StoreItem();
  QString path = AskExportFile(this, "Экспортировать список параметров в INI", "Список параметров|*.ini|Все файлы  (*.*)|*.*");
  if (path.isEmpty()) return;
  std::string error;
  int skipped = 0;
  if (!p->ExportIni(S(path), &error, &skipped)) Doc().Messages().ShowError(error);
  else if (skipped) Doc().Messages().ShowError(TOutputPort::SkippedText(skipped));
}

void TPCFrame::ExportXml() {
  TPC* p = PC();
  if (!p) return;
  StoreItem();
  QString path = AskExportFile(this, "Экспортировать список параметров в  XML", "Файлы XML|*.xml|Все файлы  (*.*)|*.*");
  if (path.isEmpty()) return;
  std::string error;
  if (!p->ExportXml(S(path), &error)) Doc().Messages().ShowError(error);
}

void RegisterPCFrames() {
  RegisterFrame("TPC", [](TFrame1& o, QWidget* p) { return new TPCFrame(o, p); });
}

}  // namespace t32::ui
