#include "ui/frame_rtu104.h"

#include <QFormLayout>
#include <QVBoxLayout>

#include "model/cp1251.h"
#include "model/document.h"
#include "ports/port_rtu104.h"
#include "ui/dialogs.h"
#include "ui/frame1.h"
#include "ui/station_form.h"

namespace t32::ui {

// ---------------------------------------------------------------------------------------
TPortRTU104Frame::TPortRTU104Frame(TFrame1& owner, QWidget* parent)
    : TOtherPortFrame(owner, parent, "Порт опроса по МЭК 870-5-104", true) {
  setObjectName("TPortRTU104Frame");
  Net1Box = new QCheckBox("Сеть 1", this);
  Net1Box->setObjectName("Net1Box");
  Net1Box->setChecked(true);
  Net1Box->setEnabled(false);  // the controller has one network interface for this port
  form_->addRow("Порт связи", Net1Box);
  CountLabel = new QLabel(this);
  CountLabel->setObjectName("CountLabel");
  lay_->addWidget(CountLabel);
  lay_->addStretch();
}

void TPortRTU104Frame::Fill() {
  auto* p = dynamic_cast<TPortRTU104*>(item_);
  if (!p) return;
  const int before = p->deviceCount;
  p->RecountChildren();
  if (p->deviceCount != before) p->UpdateStatusTable();
  CountLabel->setText(QString("Количество подключенных устройств = %1").arg(p->deviceCount));
}

void TPortRTU104Frame::NumberChosen(int n) {
  if (auto* p = dynamic_cast<TPortRTU104*>(item_)) p->SetPortNumber(n);
}

// ---------------------------------------------------------------------------------------
TRTU104Frame::TRTU104Frame(TFrame1& owner, QWidget* parent) : TEditorFrame(owner, parent) {
  setObjectName("TRTU104Frame");
  auto* lay = new QVBoxLayout(this);
  auto* heading = new QLabel("Устройство с протоколом МЭК 870-5-104", this);
  heading->setObjectName("Heading");
  QFont f = heading->font();
  f.setBold(true);
  heading->setFont(f);
  lay->addWidget(heading);
  auto* form = new QFormLayout;
  form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
  form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
  lay->addLayout(form);

  PlaceEdit = new QLineEdit(this);
  PlaceEdit->setObjectName("PlaceEdit");
  PlaceEdit->setMaxLength(255);  // the station's name; the device's place is its first 64 characters
  PlaceEdit->setMinimumWidth(240);
  form->addRow("Место установки", PlaceEdit);

  auto* ipRow = new QWidget(this);
  auto* ipLay = new QHBoxLayout(ipRow);
  ipLay->setContentsMargins(0, 0, 0, 0);
  IpEdit = new TIpEdit(ipRow);
  const char* names[4] = {"AddrEdit4", "AddrEdit3", "AddrEdit2", "AddrEdit1"};
  for (int i = 0; i < 4; ++i) IpEdit->octet[i]->setObjectName(names[i]);
  ExistsLabel = new QLabel("Уже существует", ipRow);
  ExistsLabel->setObjectName("ExistsLabel");
  ExistsLabel->setStyleSheet("color: red");
  ipLay->addWidget(IpEdit);
  ipLay->addWidget(ExistsLabel);
  form->addRow("IP адрес", ipRow);

  auto number = [&](const QString& caption, long long max, const char* name) {
    auto* e = new TNumberEdit(0, max, this);
    e->setObjectName(name);
    form->addRow(caption, e);
    return e;
  };
  const auto time = range104::kTime.max;
  ConnectEdit = number("Время ожидания установки соединения T0, с", time, "ConnectEdit");
  ReconnectEdit = number("Интервал установки соединения, с", time, "ReconnectEdit");
  Time1Edit = number("Время ожидания подтверждения после передачи T1, с", time, "Time1Edit");
  Time2Edit = number("Таймаут перед передачей подтверждения T2, с", time, "Time2Edit");
  Time3Edit = number("Таймаут передачи тестовых кадров T3, с", time, "Time3Edit");
  MaxKEdit = number("Максимальное число переданных без подтверждения кадров K", range104::kWindow.max, "MaxKEdit");
  MaxWEdit = number("Максимальное число принятых кадров до выдачи подтверждения W", range104::kWindow.max, "MaxWEdit");
  ASDUEdit = number("Общий адрес АСДУ", range104::kCommonAddress.max, "ASDUEdit");
  BreakTimeOutEdit = number("Таймаут фиксакции отсутствия связи, с", time, "BreakTimeOutEdit");
  AskIntervalEdit = number("Интервал выдачи общего опроса, мин", time, "AskIntervalEdit");
  SyncIntervalEdit = number("Интервал синхронизации времени, мин", time, "SyncIntervalEdit");

  SelectParamButton = new QPushButton("Выбрать параметры", this);
  SelectParamButton->setObjectName("SelectParamButton");
  lay->addWidget(SelectParamButton, 0, Qt::AlignLeft);
  lay->addStretch();

  connect(SelectParamButton, &QPushButton::clicked, this, &TRTU104Frame::SelectParams);
  connect(IpEdit->octet[3], &TNumberEdit::ValueEdited, this, [this] { LastOctetEdited(); });
  connect(IpEdit, &TIpEdit::Edited, this, [this] { ShowExists(); });
  connect(PlaceEdit, &QLineEdit::editingFinished, this, [this] {
    if (filling_ || !Device()) return;
    StoreItem();
  });
}

TRTU104* TRTU104Frame::Device() const { return dynamic_cast<TRTU104*>(item_); }

void TRTU104Frame::ShowExists() {
  TRTU104* d = Device();
  auto* port = d ? dynamic_cast<TPortRTU104*>(d->Port()) : nullptr;
  ExistsLabel->setVisible(port && port->OctetTaken(d, static_cast<int>(IpEdit->octet[3]->Value())));
}

void TRTU104Frame::ShowItem(TItem* item) {
  item_ = item;
  TRTU104* d = Device();
  if (!d) return;
  filling_ = true;
  const TWS_104& st = d->Station();
  d->place = Utf8Left(st.name, 64);
  PlaceEdit->setText(Q(st.name));
  PlaceEdit->setModified(false);
  IpEdit->SetAddress(d->Ip());
  ConnectEdit->SetValue(st.main.t0);
  ReconnectEdit->SetValue(st.main.reconnect);
  Time1Edit->SetValue(st.main.t1);
  Time2Edit->SetValue(st.main.t2);
  Time3Edit->SetValue(st.main.t3);
  MaxKEdit->SetValue(st.main.k);
  MaxWEdit->SetValue(st.main.w);
  ASDUEdit->SetValue(st.settings.commonAddress);
  BreakTimeOutEdit->SetValue(st.settings.linkLossDelay);
  AskIntervalEdit->SetValue(st.settings.giInterval);
  SyncIntervalEdit->SetValue(st.settings.syncInterval);
  ShowExists();
  filling_ = false;
}

void TRTU104Frame::StoreItem() {
  TRTU104* d = Device();
  if (!d || filling_) return;
  TWS_104& st = d->Station();
  bool changed = false;
  auto put = [&](TNumberEdit* e, auto& field) {
    if (!e->isModified()) return;
    using T = std::remove_reference_t<decltype(field)>;
    const T v = static_cast<T>(e->Value());
    if (field != v) changed = true;
    field = v;
  };
  if (PlaceEdit->isModified()) {
    std::string name = FitStationText(S(PlaceEdit->text()));
    if (name != st.name) changed = true;
    st.name = name;
  }
  put(ConnectEdit, st.main.t0);
  put(ReconnectEdit, st.main.reconnect);
  put(Time1Edit, st.main.t1);
  put(Time2Edit, st.main.t2);
  put(Time3Edit, st.main.t3);
  put(MaxKEdit, st.main.k);
  put(MaxWEdit, st.main.w);
  put(ASDUEdit, st.settings.commonAddress);
  put(BreakTimeOutEdit, st.settings.linkLossDelay);
  put(AskIntervalEdit, st.settings.giInterval);
  put(SyncIntervalEdit, st.settings.syncInterval);
  const std::uint32_t ip = IpEdit->Address();
  if (ip != d->Ip()) {
    changed = true;
    d->SetIp(ip);
  }
  if (changed) {
    d->StationEdited();
    Doc().AfterEdit();
  }
}

void TRTU104Frame::LastOctetEdited() {
  if (filling_ || !Device()) return;
  // The device address and every signal name follow the last octet at once.
  StoreItem();
  ShowExists();
}

void TRTU104Frame::SelectParams() {
  TRTU104* d = Device();
  if (!d) return;
  StoreItem();
  {
    // The clipboard and the import folder outlive the window: they are the application's.
    TAppContext* app = ContextOf(&Doc());
    T104EditorContext ctx(app ? app->stationEditor : ownEditorState_);
    Tc104Form form(ctx, this);
    form.Edit(d->Station());
  }
  d->StationEdited();
  Doc().AfterEdit();
  ShowItem(d);
}

void RegisterRtu104Frames() {
  RegisterFrame("TPortRTU104", [](TFrame1& o, QWidget* p) { return new TPortRTU104Frame(o, p); });
  RegisterFrame("TRTU104", [](TFrame1& o, QWidget* p) { return new TRTU104Frame(o, p); });
}

}  // namespace t32::ui
