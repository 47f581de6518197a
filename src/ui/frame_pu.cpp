#include "ui/frame_pu.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "model/params.h"
#include "model/cp1251.h"
#include "ports/port_pu.h"
#include "ui/dialogs.h"
#include "ui/frame1.h"

namespace t32::ui {

namespace {
}  // namespace

TPUFrame::TPUFrame(TFrame1& owner, QWidget* parent) : TPortFrame(owner, parent, "Порт связи с ПУ") {
  setObjectName("TPUFrame");
  PlaceEdit = new QLineEdit(this);
  PlaceEdit->setObjectName("PlaceEdit");
  PlaceEdit->setMaxLength(64);
  PlaceEdit->setMinimumWidth(220);
  form_->addRow("Место установки ПУ", PlaceEdit);
  ProtocolBox = new QComboBox(this);
  ProtocolBox->setObjectName("ProtocolBox");
  for (int p = 0; p < TPortPU::kProtocols; ++p) ProtocolBox->addItem(QString::fromUtf8(TPortPU::ProtocolName(p)));
  IncompatibleLabel = new QLabel("Не совместимо", this);
  IncompatibleLabel->setObjectName("IncompatibleLabel");
  IncompatibleLabel->setStyleSheet("color: red;");
  auto* protoRow = new QHBoxLayout;
  protoRow->addWidget(ProtocolBox);
  protoRow->addWidget(IncompatibleLabel);
  protoRow->addStretch();
  form_->addRow("Протокол", protoRow);
  RetransBox = new QCheckBox("Работать как ретранслятор", this);
  RetransBox->setObjectName("RetransBox");
  form_->addRow(RetransBox);
  SourcePortEdit = AddNumber(form_, "Адрес порта источника", 0, 16, "SourcePortEdit");
  CommandsBox = new QCheckBox("Разрешить исполнение ТУ, ТР", this);
  CommandsBox->setObjectName("CommandsBox");
  TimeSyncBox = new QCheckBox("Разрешить синхронизацию времени", this);
  TimeSyncBox->setObjectName("TimeSyncBox");
  form_->addRow(CommandsBox);
  form_->addRow(TimeSyncBox);

  // IEC 101.
  Iec101Page = new QGroupBox(" Параметры протокола  МЭК 870-5-101 ", this);
  Iec101Page->setObjectName("Iec101Page");
  auto* iv = new QVBoxLayout(Iec101Page);
  auto* iform = new QFormLayout;
  iform->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
  LinkAddrEdit = AddNumber(iform, " Адрес КП ", 1, 255, "LinkAddrEdit");
  AsduEdit = AddNumber(iform, "Адрес ASDU", 1, 255, "AsduEdit");
  iv->addLayout(iform);
  FormatBox = new TFormatBox(Iec101Page);
  iv->addWidget(FormatBox);
  auto* period = new QHBoxLayout;
  period->addWidget(new QLabel("Период обновления ТИ", Iec101Page));
  TiPeriodLabel = new QLabel(Iec101Page);
  TiPeriodLabel->setObjectName("TiPeriodLabel");
  period->addWidget(TiPeriodLabel);
  period->addStretch();
  iv->addLayout(period);
  lay_->addWidget(Iec101Page);

  // Лисна-М.
  LisnaMPage = new QGroupBox(" Параметры протокола  Лисна-М ", this);
  LisnaMPage->setObjectName("LisnaMPage");
  auto* mform = new QFormLayout(LisnaMPage);
  LisnaMAddrEdit = AddNumber(mform, " Адрес КП ", 1, 15, "LisnaMAddrEdit");
  RequestCodeEdit = AddNumber(mform, "Код запроса", 0, 65535, "RequestCodeEdit");
  TsBufferEdit = AddNumber(mform, "Длина буффера ТС", 1, 32, "TsBufferEdit");
  lay_->addWidget(LisnaMPage);

  // Лисна-В.
  LisnaVPage = new QGroupBox(" Параметры протокола  Лисна-В ", this);
  LisnaVPage->setObjectName("LisnaVPage");
  auto* vv = new QVBoxLayout(LisnaVPage);
  auto* kpBox = new QGroupBox(" Адреса КП ", LisnaVPage);
  auto* kpGrid = new QGridLayout(kpBox);
  const char* kp[10] = {"1  (код 11000) (1-2)", "2  (код 10100) (1-3)", "3  (код 10010) (1-4)", "4  (код 10001) (1-5)",
                        "5  (код 01100) (2-3)", "6  (код 01010) (2-4)", "7  (код 01001) (2-5)", "8  (код 00110) (3-4)",
                        "9  (код 00101) (3-5)", "10 (код 00011) (4-5)"};
  for (int i = 0; i < 10; ++i) {
    KpBox[i] = new QCheckBox(QString::fromUtf8(kp[i]), kpBox);
    KpBox[i]->setObjectName(QString("KpBox%1").arg(i + 1));
    kpGrid->addWidget(KpBox[i], i % 5, i / 5);
  }
  vv->addWidget(kpBox);
  auto* vform = new QFormLayout;
  DelayEdit = AddNumber(vform, "Задержка передачи, мс", 0, 255, "DelayEdit");
  vv->addLayout(vform);
  lay_->addWidget(LisnaVPage);

  // Лисна-Ч.
  LisnaChPage = new QGroupBox(" Параметры протокола  Лисна-Ч ", this);
  LisnaChPage->setObjectName("LisnaChPage");
  auto* cform = new QFormLayout(LisnaChPage);
  LisnaChAddrEdit = AddNumber(cform, " Адрес КП ", 1, 15, "LisnaChAddrEdit");
  lay_->addWidget(LisnaChPage);

  ExportButton = new QPushButton("Экспортировать список параметров в INI", this);
  ExportButton->setObjectName("ExportButton");
  auto* exportRow = new QHBoxLayout;
  exportRow->addWidget(ExportButton);
  exportRow->addStretch();
  lay_->addLayout(exportRow);
  lay_->addStretch();

  connect(ProtocolBox, &QComboBox::activated, this, [this](int p) { Apply([this, p] { PU()->SetProtocol(p); }); });
  // A ТИ choice with time tags allows at most 16 signals a message; the period follows.
  for (QComboBox* c : {FormatBox->TiPerMsgBox, FormatBox->TiSporadicBox, FormatBox->TiCyclicBox, FormatBox->TiGiBox})
    connect(c, &QComboBox::activated, this, [this] { Apply([] {}); });
  connect(ExportButton, &QPushButton::clicked, this, [this] { ExportIni(PU()); });
}

TPortPU* TPUFrame::PU() const { return dynamic_cast<TPortPU*>(item_); }

void TPUFrame::ShowPages() {
  TPortPU* p = PU();
  int proto = p ? p->protocol : -1;
  Iec101Page->setVisible(proto == TPortPU::kIec101);
  LisnaMPage->setVisible(proto == TPortPU::kLisnaM);
  LisnaVPage->setVisible(proto == TPortPU::kLisnaV);
  LisnaChPage->setVisible(proto == TPortPU::kLisnaCh);
}

void TPUFrame::Fill() {
  TPortPU* p = PU();
  if (!p) return;
  PlaceEdit->setText(Q(p->place));
  ProtocolBox->setCurrentIndex(p->protocol < TPortPU::kProtocols ? p->protocol : -1);
  RetransBox->setChecked(p->retransmitter != 0 && p->RetransmitterAllowed());
  RetransBox->setEnabled(p->RetransmitterAllowed());
  SourcePortEdit->SetValue(p->sourcePort);
  IncompatibleLabel->setVisible(p->Incompatible());
  CommandsBox->setChecked((p->permissions & 2) == 0);
  TimeSyncBox->setChecked((p->permissions & 4) == 0);
  LinkAddrEdit->SetValue(p->linkAddress);
  AsduEdit->SetValue(p->asduAddress);
  FormatBox->Show(p->tsFormats, p->tiFormats, p->tiiFormats);
  TiPeriodLabel->setText(Q(p->TiPeriodText()));
  LisnaMAddrEdit->SetValue(p->lisnaMAddress);
  RequestCodeEdit->SetValue(p->requestCode);
  TsBufferEdit->SetValue(p->tsBufferLength);
  for (int i = 0; i < 10; ++i) KpBox[i]->setChecked((p->kpAddressSet & (1u << (i + 1))) != 0);
  DelayEdit->SetValue(p->transmitDelay);
  LisnaChAddrEdit->SetValue(p->lisnaChAddress);
  ShowPages();
}

void TPUFrame::StoreItem() {
  TPortPU* p = PU();
  if (!p || filling_) return;
  p->place = Utf8Left(S(PlaceEdit->text()), 64);
  p->retransmitter = RetransBox->isChecked() && p->RetransmitterAllowed() ? 1 : 0;
  p->sourcePort = static_cast<std::uint8_t>(SourcePortEdit->Value());
  std::uint16_t perm = p->permissions & ~std::uint16_t(6);
  if (!CommandsBox->isChecked()) perm |= 2;
  if (!TimeSyncBox->isChecked()) perm |= 4;
  p->permissions = perm;
  p->linkAddress = static_cast<std::uint8_t>(LinkAddrEdit->Value());
  p->asduAddress = static_cast<std::uint8_t>(AsduEdit->Value());
  FormatBox->Store(p->tsFormats, p->tiFormats, p->tiiFormats);
  p->LimitTiPerMessage();
  p->lisnaMAddress = static_cast<std::uint8_t>(LisnaMAddrEdit->Value());
  p->requestCode = static_cast<std::uint16_t>(RequestCodeEdit->Value());
  p->tsBufferLength = static_cast<std::uint8_t>(TsBufferEdit->Value());
  std::uint16_t kp = p->kpAddressSet & ~std::uint16_t(0x7FE);
  for (int i = 0; i < 10; ++i)
    if (KpBox[i]->isChecked()) kp |= static_cast<std::uint16_t>(1u << (i + 1));
  p->kpAddressSet = kp;
  p->transmitDelay = static_cast<std::uint8_t>(DelayEdit->Value());
  p->lisnaChAddress = static_cast<std::uint8_t>(LisnaChAddrEdit->Value());
  p->DeriveOlderBytes();
  p->UpdateChannelProtocol();
}

void RegisterPortFrames() {
  RegisterFrame("TPortPU", [](TFrame1& o, QWidget* p) { return new TPUFrame(o, p); });
}

}  // namespace t32::ui
