#include "ui/frame_mek104.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "model/cp1251.h"
#include "ports/port_mek104.h"
#include "ui/dialogs.h"

namespace t32::ui {

namespace {
QComboBox* Combo(QWidget* parent, const char* name, std::initializer_list<std::pair<const char*, int>> items) {
  auto* c = new QComboBox(parent);
  c->setObjectName(name);
  for (const auto& [text, value] : items) c->addItem(QString::fromUtf8(text), value);
  return c;
}
// A value the chooser does not offer is added so that it is kept.
void SetChoice(QComboBox* c, int value) {
  int i = c->findData(value);
  if (i < 0) {
    c->addItem(QString::number(value), value);
    i = c->count() - 1;
  }
  c->setCurrentIndex(i);
}
std::uint8_t Choice(QComboBox* c) { return static_cast<std::uint8_t>(c->currentData().toInt()); }
}  // namespace

TMEK104Frame::TMEK104Frame(TFrame1& owner, QWidget* parent)
    : TPortFrame(owner, parent, "Порт связи с ПУ по протоколу  МЭК 870-5-104  (связь по сети RS-232/485)") {
  setObjectName("TMEK104Frame");
  PlaceEdit = new QLineEdit(this);
  PlaceEdit->setObjectName("PlaceEdit");
  PlaceEdit->setMaxLength(64);
  PlaceEdit->setMinimumWidth(220);
  form_->insertRow(0, "Место установки ПУ", PlaceEdit);
  ComboBoxTS = Combo(this, "ComboBoxTS",
                     {{"ASDU 1  (ТС без метки времени)", 1}, {"ASDU 30  (ТС с меткой времени 7 байт)", 30}});
  form_->addRow("ТС", ComboBoxTS);
  ComboBoxTI = Combo(this, "ComboBoxTI",
                     {{"Выдавать по 1 параметру", 1}, {"Выдавать по 8 параметров", 8}, {"Выдавать по 16 параметров", 16},
                      {"Выдавать по 24 параметра", 24}});
  form_->addRow("ТИ, ТС", ComboBoxTI);
  ComboBoxTII = Combo(this, "ComboBoxTII",
                      {{"Выдавать по 1 параметру", 1}, {"Выдавать по 4 параметра", 4}, {"Выдавать по 8 параметров", 8}});
  form_->addRow("ТИИ", ComboBoxTII);
  EditTimeTI = AddNumber(form_, "Интервал выдачи ТИ, мс", 0, 60000, "EditTimeTI");
  PeriodLabel = new QLabel(this);
  PeriodLabel->setObjectName("PeriodLabel");
  form_->addRow("Период обновления", PeriodLabel);
  Time1Edit = AddNumber(form_, "Время ожидания подтверждения после передачи T1, с", 0, 60000, "Time1Edit");
  Time2Edit = AddNumber(form_, "Таймаут перед передачей подтверждения T2, с", 0, 60000, "Time2Edit");
  Time3Edit = AddNumber(form_, "Таймаут передачи тестовых кадров T3, с", 0, 60000, "Time3Edit");
  MaxKEdit = AddNumber(form_, "Максимальное число переданных без подтверждения кадров K", 0, 50, "MaxKEdit");
  MaxWEdit = AddNumber(form_, "Максимальное число принятых кадров до выдачи подтверждения W", 0, 50, "MaxWEdit");
  CheckCRC = new QCheckBox("Дополнительная контрольная сумма", this);
  CheckCRC->setObjectName("CheckCRC");
  form_->addRow(CheckCRC);
  FileEnableBox = new QCheckBox("Разрешить запись файлов", this);
  FileEnableBox->setObjectName("FileEnableBox");
  form_->addRow(FileEnableBox);
  ExportButton = new QPushButton("Экспортировать список параметров", this);
  ExportButton->setObjectName("ExportButton");
  auto* exportRow = new QHBoxLayout;
  exportRow->addWidget(ExportButton);
  exportRow->addStretch();
  lay_->addLayout(exportRow);
  lay_->addStretch();

  // The interval is stored at once, and the period follows it.
  connect(EditTimeTI, &TNumberEdit::ValueEdited, this, [this](long long v) {
    if (filling_ || !Port104()) return;
    Port104()->tiInterval = static_cast<std::uint16_t>(v);
    ShowPeriod();
  });
  connect(ExportButton, &QPushButton::clicked, this, [this] { ExportIni(Port104()); });
}

TPortMEK104* TMEK104Frame::Port104() const { return dynamic_cast<TPortMEK104*>(item_); }

void TMEK104Frame::ShowPeriod() {
  TPortMEK104* p = Port104();
  if (!p) return;
  PeriodLabel->setText(Q(p->UpdatePeriodText()));
  PeriodLabel->setStyleSheet(p->UpdatePeriodAlarm() ? "color: red;" : "color: black;");
}

void TMEK104Frame::Fill() {
  TPortMEK104* p = Port104();
  if (!p) return;
  PlaceEdit->setText(Q(p->place));
  SetChoice(ComboBoxTS, p->tsType);
  SetChoice(ComboBoxTI, p->tiPerAsdu);
  SetChoice(ComboBoxTII, p->tiiPerAsdu);
  EditTimeTI->SetValue(p->tiInterval);
  Time1Edit->SetValue(p->t1 / 1000);
  Time2Edit->SetValue(p->t2 / 1000);
  Time3Edit->SetValue(p->t3 / 1000);
  MaxKEdit->SetValue(p->k);
  MaxWEdit->SetValue(p->w);
  CheckCRC->setChecked(p->extraCrc != 0);
  FileEnableBox->setChecked((p->flags & 1) != 0);
  ShowPeriod();
}

void TMEK104Frame::StoreItem() {
  TPortMEK104* p = Port104();
  if (!p || filling_) return;
  p->place = Utf8Left(S(PlaceEdit->text()), 64);
  p->tsType = Choice(ComboBoxTS);
  p->tiPerAsdu = Choice(ComboBoxTI);
  p->tiiPerAsdu = Choice(ComboBoxTII);
  p->tiInterval = static_cast<std::uint16_t>(EditTimeTI->Value());
  p->t1 = TPortMEK104::SecondsToMs(Time1Edit->Value());
  p->t2 = TPortMEK104::SecondsToMs(Time2Edit->Value());
  p->t3 = TPortMEK104::SecondsToMs(Time3Edit->Value());
  p->k = static_cast<std::uint8_t>(MaxKEdit->Value());
  p->w = static_cast<std::uint8_t>(MaxWEdit->Value());
  p->extraCrc = CheckCRC->isChecked() ? 1 : 0;
  p->flags = static_cast<std::uint16_t>((p->flags & ~1u) | (FileEnableBox->isChecked() ? 1u : 0u));
}

void RegisterMEK104Frames() {
  RegisterFrame("TPortMEK104", [](TFrame1& o, QWidget* p) { return new TMEK104Frame(o, p); });
}

}  // namespace t32::ui
