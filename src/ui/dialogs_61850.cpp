#include "ui/dialogs_61850.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QRegularExpression>
#include <QVBoxLayout>

#include "iec61850/mmsclient.h"
#include "ui/dialogs.h"

namespace t32::ui {

namespace {
QHBoxLayout* Buttons(QDialog* d, QPushButton*& set, QPushButton*& cancel, const QString& cancelText) {
  auto* row = new QHBoxLayout;
  row->addStretch();
  set = new QPushButton("Установить", d);
  set->setObjectName("SetButton");
  set->setDefault(true);
  cancel = new QPushButton(cancelText, d);
  cancel->setObjectName("CancelButton");
  row->addWidget(set);
  row->addWidget(cancel);
  QObject::connect(cancel, &QPushButton::clicked, d, &QDialog::reject);
  return row;
}
}  // namespace

TReportDlg::TReportDlg(TMMSobject& client, TMMSReportParam& report, QWidget* parent)
    : QDialog(parent), client_(client), report_(report) {
  setWindowTitle("Параметры отчета");
  setObjectName("TReportDlg");
  auto* lay = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  lay->addLayout(form);
  RptIdEdit = new QLineEdit(Q(report.RptID), this);
  RptIdEdit->setReadOnly(true);
  form->addRow("Наименование отчета:", RptIdEdit);
  DataSetBox = new QComboBox(this);
  DataSetBox->addItem(QString());
  int current = 0;
  for (const auto& ds : client.DataSets()) {
    DataSetBox->addItem(Q(ds->Name));
    if (report.DatSet == ds->Name || report.DatSet == ds->Domain + "/" + ds->Name) current = DataSetBox->count() - 1;
  }
  DataSetBox->setCurrentIndex(current);
  form->addRow("объект DataSet", DataSetBox);
  auto* trg = new QGroupBox(" Триггеры", this);
  auto* tl = new QVBoxLayout(trg);
  const char* texts[5] = {"формировать при изменении данных", "формировать при обновлении данных",
                          "формировать при  изменении достоверности данных", "формировать периодически",
                          "формировать по запросу"};
  for (int i = 0; i < 5; ++i) {
    TrgBoxes[i] = new QCheckBox(texts[i], trg);
    TrgBoxes[i]->setChecked(report.TrgOps & kTrgBits[i]);
    tl->addWidget(TrgBoxes[i]);
  }
  lay->addWidget(trg);
  auto* f2 = new QFormLayout;
  lay->addLayout(f2);
  IntgPdEdit = new TNumberEdit(0, 0x7FFFFFFF, this);
  IntgPdEdit->SetValue(report.IntgPd);
  f2->addRow("Интервал периодической выдачи, мс:", IntgPdEdit);
  BufTmEdit = new TNumberEdit(0, 0x7FFFFFFF, this);
  BufTmEdit->SetValue(report.BufTm);
  f2->addRow("Интервал буферизации, мс:", BufTmEdit);
  BufferedBox = new QCheckBox("буферизация ", this);
  BufferedBox->setChecked(report.Buffered);
  lay->addWidget(BufferedBox);
  EnabledBox = new QCheckBox("использовать отчет", this);
  EnabledBox->setChecked(report.Enabled);
  lay->addWidget(EnabledBox);
  lay->addLayout(Buttons(this, SetButton, CancelButton, "Отмена"));
  connect(SetButton, &QPushButton::clicked, this, [this] {
    Store();
    accept();
  });
}

void TReportDlg::Store() {
  std::uint8_t trg = report_.TrgOps & ~std::uint8_t(0x7C);
  for (int i = 0; i < 5; ++i)
    if (TrgBoxes[i]->isChecked()) trg |= kTrgBits[i];
  report_.TrgOps = trg;
  const int at = DataSetBox->currentIndex() - 1;
  if (at < 0) {
    report_.DatSet.clear();
  } else if (static_cast<std::size_t>(at) < client_.DataSets().size()) {
    const TDataSet& ds = *client_.DataSets()[static_cast<std::size_t>(at)];
    // Kept as it was when it names the same data set (with or without its domain).
    if (report_.DatSet != ds.Name && report_.DatSet != ds.Domain + "/" + ds.Name) report_.DatSet = ds.Name;
  }
  report_.IntgPd = static_cast<std::int32_t>(IntgPdEdit->Value());
  report_.BufTm = static_cast<std::int32_t>(BufTmEdit->Value());
  report_.Buffered = BufferedBox->isChecked();
  report_.Enabled = EnabledBox->isChecked() && !report_.DatSet.empty();
}

TDSetDlg::TDSetDlg(const std::string& rptId, TDataSet& ds, QWidget* parent) : QDialog(parent), ds_(ds) {
  setWindowTitle("Параметры набора данных");
  setObjectName("TDSetDlg");
  auto* lay = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  lay->addLayout(form);
  RptIdEdit = new QLineEdit(Q(rptId), this);
  RptIdEdit->setReadOnly(true);
  form->addRow("Наименование отчета:", RptIdEdit);
  NameEdit = new QLineEdit(Q(ds.Name), this);
  NameEdit->setReadOnly(true);
  form->addRow("Объект DataSet", NameEdit);
  UseBox = new QCheckBox("Включить использование данных", this);
  UseBox->setChecked(ds.ReadInterval >= 0);
  lay->addWidget(UseBox);
  IntervalEdit = new TNumberEdit(0, 0x7FFFFFFF, this);
  IntervalEdit->SetValue(ds.ReadInterval >= 0 ? ds.ReadInterval : 0);
  form->addRow("Интервал периодического чтения, мс:", IntervalEdit);
  lay->addLayout(Buttons(this, SetButton, CancelButton, "Отмена"));
  connect(SetButton, &QPushButton::clicked, this, [this] {
    ds_.ReadInterval = UseBox->isChecked() ? static_cast<std::int32_t>(IntervalEdit->Value()) : -1;
    accept();
  });
}

bool TGCBdlg::ParseMac(const QString& text, std::uint8_t out[6]) {
  QString hex = text;
  hex.remove(QRegularExpression("[^0-9A-Fa-f]"));
  if (hex.size() != 12) return false;
  for (int i = 0; i < 6; ++i) out[i] = static_cast<std::uint8_t>(hex.mid(2 * i, 2).toUInt(nullptr, 16));
  return true;
}

QString TGCBdlg::MacText(const std::uint8_t mac[6]) {
  QStringList parts;
  for (int i = 0; i < 6; ++i) parts << QString("%1").arg(mac[i], 2, 16, QChar('0')).toUpper();
  return parts.join(":");
}

TGCBdlg::TGCBdlg(TGCBObject& gcb, QWidget* parent) : QDialog(parent), gcb_(gcb) {
  setWindowTitle("Настройка GOOSE Control Block");
  setObjectName("TGCBdlg");
  auto* lay = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  lay->addLayout(form);
  NameEdit = new QLineEdit(Q(gcb.Name), this);
  NameEdit->setReadOnly(true);
  form->addRow("Имя блока:", NameEdit);
  DataSetEdit = new QLineEdit(Q(gcb.DatSet), this);
  DataSetEdit->setReadOnly(true);
  form->addRow("DataSet:", DataSetEdit);
  MacEdit = new QLineEdit(MacText(gcb.Mac.data()), this);
  form->addRow("МАС-адрес:", MacEdit);
  PriorityEdit = new TNumberEdit(0, 7, this);
  PriorityEdit->SetValue(gcb.Priority);
  form->addRow("PRIORITY:", PriorityEdit);
  VlanEdit = new TNumberEdit(0, 65535, this);
  VlanEdit->SetValue(gcb.VID);
  form->addRow("VLAN ID:", VlanEdit);
  AppIdEdit = new TNumberEdit(0, 65535, this);
  AppIdEdit->SetValue(gcb.APPID);
  form->addRow("APP ID:", AppIdEdit);
  lay->addLayout(Buttons(this, SetButton, CancelButton, "Отменить"));
  // Leaving the field shows the address as it will be kept (or as it was, when unreadable).
  connect(MacEdit, &QLineEdit::editingFinished, this, [this] {
    std::uint8_t mac[6];
    if (ParseMac(MacEdit->text(), mac)) MacEdit->setText(MacText(mac));
    else MacEdit->setText(MacText(gcb_.Mac.data()));
  });
  connect(SetButton, &QPushButton::clicked, this, [this] {
    std::uint8_t mac[6];
    if (ParseMac(MacEdit->text(), mac)) std::copy(mac, mac + 6, gcb_.Mac.begin());
    gcb_.Priority = static_cast<std::int32_t>(PriorityEdit->Value());
    gcb_.VID = static_cast<std::int32_t>(VlanEdit->Value());
    gcb_.APPID = static_cast<std::int32_t>(AppIdEdit->Value());
    accept();
  });
}

}  // namespace t32::ui
