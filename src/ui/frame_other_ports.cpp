#include "ui/frame_other_ports.h"

#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QMimeData>
#include <QVBoxLayout>
#include <bitset>

#include "model/document.h"
#include "model/messages.h"
#include "model/storage.h"
#include "ports/port_auto.h"
#include "ports/port_time.h"
#include "ports/port_twopos.h"
#include "ports/port_unio.h"
#include "ui/dialogs.h"
#include "ui/frame1.h"
#include "ui/frames_boards.h"
#include "ui/link_dialogs.h"

namespace t32::ui {

namespace {
// Rows dragged from a signal list carry this format; "storage" marks the storage panel.
const char* const kRowsMime = "application/x-tavrik32-rows";
const char* const kListFilter = "Список параметров|*.ini|Все файлы  (*.*)|*.*";
}  // namespace

// ---------------------------------------------------------------------------------------
TOtherPortFrame::TOtherPortFrame(TFrame1& owner, QWidget* parent, const QString& heading, bool processorBound)
    : TPortFrame(owner, parent, heading) {
  // A port on the processor has no board channel to choose: choosing "none" would unbind it.
  if (processorBound) form_->setRowVisible(1, false);
  AddrEdit->onClick = [this] { OpenNumberPicker(); };
}

TAddrEditForm* TOtherPortFrame::OpenNumberPicker() {
  TPort* p = Port();
  if (!p) return nullptr;
  std::bitset<256> taken;
  if (TNode* proc = Doc().ProcNode())
    for (int i = 0; i < proc->ChildCount(); ++i)
      if (TItem* it = proc->Child(i)->Item(); it && it != p) taken.set(it->number);
  auto* picker = new TAddrEditForm(1, 40, 5, taken, p->number, this);
  picker->setAttribute(Qt::WA_DeleteOnClose);
  picker->onPick = [this](int n) {
    AddrEdit->setText(QString::number(n));
    Apply([this, n] { NumberChosen(n); });
  };
  picker->move(AddrEdit->mapToGlobal(QPoint(0, AddrEdit->height())));
  picker->show();
  return picker;
}

void TOtherPortFrame::NumberChosen(int n) {
  Port()->number = static_cast<std::uint8_t>(n);
  Port()->UpdateNode();
}

// ---------------------------------------------------------------------------------------
TPortGPSFrame::TPortGPSFrame(TFrame1& owner, QWidget* parent)
    : TOtherPortFrame(owner, parent, "Порт синхронизации от источника точного времени", true) {
  setObjectName("TPortGPSFrame");
  ProtBox = new QComboBox(this);
  ProtBox->setObjectName("ProtBox");
  ProtBox->addItems({"SNTP", "NMEA 0183"});
  form_->addRow("Протокол синхронизации", ProtBox);
  TimeGPSEdit = AddNumber(form_, "Период установки времени, мин", 0, TPortGPS::kMaxMinutes, "TimeGPSEdit");
  PortEdit = AddNumber(form_, "Номер UDP порта", 0, 65535, "PortEdit");
  ServerEdit = new TIpEdit(this);
  ServerEdit->setObjectName("ServerEdit");
  const char* names[4] = {"AddrEdit4", "AddrEdit3", "AddrEdit2", "AddrEdit1"};
  for (int i = 0; i < 4; ++i) ServerEdit->octet[i]->setObjectName(names[i]);
  ServerLabel = new QLabel("IP адрес SNTP сервера", this);
  ServerLabel->setObjectName("ServerLabel");
  form_->addRow(ServerLabel, ServerEdit);
  TimeZoneEdit = AddNumber(form_, "Смещение временной зоны, час", 0, 24, "TimeZoneEdit");
  lay_->addStretch();
  connect(ProtBox, &QComboBox::activated, this, [this](int index) {
    Apply([this, index] { Gps()->ChooseProtocol(index); });
  });
}

TPortGPS* TPortGPSFrame::Gps() const { return dynamic_cast<TPortGPS*>(item_); }

void TPortGPSFrame::Fill() {
  TPortGPS* p = Gps();
  if (!p) return;
  TimeGPSEdit->SetValue(p->PeriodMinutes());
  PortEdit->SetValue(p->udpPort);
  ProtBox->setCurrentIndex(p->protocol);
  ServerEdit->SetAddress(p->server);
  TimeZoneEdit->SetValue(p->timeZone);
  ServerLabel->setEnabled(p->ServerEnabled());
  ServerEdit->setEnabled(p->ServerEnabled());
}

void TPortGPSFrame::StoreItem() {
  TPortGPS* p = Gps();
  if (!p || filling_) return;
  p->SetPeriodMinutes(static_cast<std::uint32_t>(TimeGPSEdit->Value()));
  p->udpPort = static_cast<std::uint16_t>(PortEdit->Value());
  p->timeZone = static_cast<std::uint8_t>(TimeZoneEdit->Value());
  p->protocol = ProtBox->currentIndex() == 1 ? TPortGPS::kNmea : TPortGPS::kSntp;
  p->server = ServerEdit->Address();
}

// ---------------------------------------------------------------------------------------
TPortSNTPFrame::TPortSNTPFrame(TFrame1& owner, QWidget* parent)
    : TOtherPortFrame(owner, parent, "Порт NTP сервера точного времени", true) {
  setObjectName("TPortSNTPFrame");
  ProtocolLabel = new QLabel("NTP", this);
  ProtocolLabel->setObjectName("ProtocolLabel");
  form_->addRow("Протокол синхронизации", ProtocolLabel);
  NetBox = new QCheckBox("Сеть 1", this);
  NetBox->setObjectName("NetBox");
  NetBox->setChecked(true);
  NetBox->setEnabled(false);
  form_->addRow("Порт связи", NetBox);
  PortEdit = AddNumber(form_, "Номер UDP порта", 0, 65535, "PortEdit");
  TimeZoneEdit = AddNumber(form_, "Смещение временной зоны, час", 0, 24, "TimeZoneEdit");
  lay_->addStretch();
}

void TPortSNTPFrame::Fill() {
  auto* p = dynamic_cast<TPortSNTP*>(item_);
  if (!p) return;
  PortEdit->SetValue(p->udpPort);
  TimeZoneEdit->SetValue(p->timeZone);
}

void TPortSNTPFrame::StoreItem() {
  auto* p = dynamic_cast<TPortSNTP*>(item_);
  if (!p || filling_) return;
  p->udpPort = static_cast<std::uint16_t>(PortEdit->Value());
  p->timeZone = static_cast<std::uint8_t>(TimeZoneEdit->Value());
}

// ---------------------------------------------------------------------------------------
TSignalDropField::TSignalDropField(QWidget* parent) : QLineEdit(parent) {
  setReadOnly(true);
  setAcceptDrops(true);
  setMinimumWidth(160);
}

namespace {
bool FromStorage(const QMimeData* m) { return m && m->hasFormat(kRowsMime) && m->data(kRowsMime) == "storage"; }
}  // namespace

void TSignalDropField::dragEnterEvent(QDragEnterEvent* e) {
  if (FromStorage(e->mimeData())) e->acceptProposedAction();
}

void TSignalDropField::dragMoveEvent(QDragMoveEvent* e) {
  if (FromStorage(e->mimeData())) e->acceptProposedAction();
}

void TSignalDropField::dropEvent(QDropEvent* e) {
  if (!FromStorage(e->mimeData())) return;
  e->acceptProposedAction();
  if (onDrop) onDrop();
}

TTwoPosFrame::TTwoPosFrame(TFrame1& owner, QWidget* parent, bool ts)
    : TOtherPortFrame(owner, parent, ts ? "Порт двухпозиционных телесигналов" : "Порт двухканальных телеуправлений", true),
      ts_(ts) {
  setObjectName(ts ? "TTS2Frame" : "TTU2Frame");
  auto* countRow = new QHBoxLayout;
  CountEdit = new TNumberEdit(0, kMaxRows, this);
  CountEdit->setObjectName("CountEdit");
  CountEdit->setMaximumWidth(80);
  SetButton = new QPushButton("Установить", this);
  SetButton->setObjectName("SetButton");
  countRow->addWidget(CountEdit);
  countRow->addWidget(SetButton);
  countRow->addStretch();
  form_->addRow(ts ? "Количество ТС" : "Количество ТУ", countRow);

  auto* body = new QHBoxLayout;
  auto* listCol = new QVBoxLayout;
  listCol->addWidget(new QLabel("Список сигналов", this));
  SignalList = new QListWidget(this);
  SignalList->setObjectName("SignalList");
  SignalList->setMaximumWidth(200);
  listCol->addWidget(SignalList);
  body->addLayout(listCol);

  SignalBox = new QGroupBox("Настройка сигнала", this);
  SignalBox->setObjectName("SignalBox");
  auto* sf = new QFormLayout(SignalBox);
  OffField = new TSignalDropField(SignalBox);
  OffField->setObjectName("OffField");
  OnField = new TSignalDropField(SignalBox);
  OnField->setObjectName("OnField");
  auto commandBox = [this](const char* name) {
    auto* c = new QComboBox(SignalBox);
    c->setObjectName(name);
    c->addItems({"Отключить", "Включить"});
    return c;
  };
  if (ts) {
    OffInvert = new QCheckBox("Инвертировать ТС", SignalBox);
    OffInvert->setObjectName("OffInvert");
    OnInvert = new QCheckBox("Инвертировать ТС", SignalBox);
    OnInvert->setObjectName("OnInvert");
    sf->addRow("ТС состояния Отключено", OffField);
    sf->addRow(OffInvert);
    sf->addRow("ТС состояния Включено", OnField);
    sf->addRow(OnInvert);
    TransitionEdit = new TNumberEdit(0, 65535, SignalBox);
    TransitionEdit->setObjectName("TransitionEdit");
    sf->addRow("Время  переходого состояния, мс", TransitionEdit);
  } else {
    OffCommand = commandBox("OffCommand");
    OnCommand = commandBox("OnCommand");
    sf->addRow("ТУ команды Отключить", OffField);
    sf->addRow(" Команда ТУ ", OffCommand);
    sf->addRow("ТУ команды Включить", OnField);
    sf->addRow(" Команда ТУ ", OnCommand);
  }
  DeleteButton = new QPushButton("Удалить сигнал", SignalBox);
  DeleteButton->setObjectName("DeleteButton");
  sf->addRow(DeleteButton);
  body->addWidget(SignalBox, 1);
  lay_->addLayout(body, 1);
  SignalBox->hide();

  OffField->onDrop = [this] { Dropped(false); };
  OnField->onDrop = [this] { Dropped(true); };
  connect(SetButton, &QPushButton::clicked, this, [this] {
    Apply([this] { TwoPos()->Apply(static_cast<int>(CountEdit->Value())); });
  });
  connect(SignalList, &QListWidget::currentRowChanged, this, [this](int row) {
    if (filling_) return;
    StoreRecord();
    shown_ = row;
    ShowRecord();
  });
  connect(DeleteButton, &QPushButton::clicked, this, [this] {
    TPortTwoPos* p = TwoPos();
    if (!p || shown_ < 0) return;
    StoreItem();
    if (p->DeleteRecord(shown_)) shown_ = -1;
    ShowItem(item_);
  });
}

TPortTwoPos* TTwoPosFrame::TwoPos() const { return dynamic_cast<TPortTwoPos*>(item_); }

void TTwoPosFrame::NumberChosen(int n) {
  TwoPos()->number = static_cast<std::uint8_t>(n);
  TwoPos()->UpdateStatusTable();  // the table's rows carry the number
}

void TTwoPosFrame::Fill() {
  TPortTwoPos* p = TwoPos();
  if (!p) return;
  CountEdit->SetValue(p->count);
  p->NamesFromTable();
  SignalList->clear();
  for (const auto& r : p->records) SignalList->addItem(Q(r->name));
  if (shown_ >= p->RecordCount()) shown_ = -1;
  SignalList->setCurrentRow(shown_);
  ShowRecord();
}

void TTwoPosFrame::ShowRecord() {
  TPortTwoPos* p = TwoPos();
  TTwoPosRecord* r = p ? p->Record(shown_) : nullptr;
  SignalBox->setVisible(r != nullptr);
  if (!r) return;
  bool was = filling_;
  filling_ = true;
  OffField->setText(r->off ? Q(r->off->Name()) : QString());
  OnField->setText(r->on ? Q(r->on->Name()) : QString());
  if (ts_) {
    OffInvert->setChecked(r->a != 0);
    OnInvert->setChecked(r->b != 0);
    TransitionEdit->SetValue(r->transition);
  } else {
    OffCommand->setCurrentIndex(r->a ? 1 : 0);
    OnCommand->setCurrentIndex(r->b ? 1 : 0);
  }
  filling_ = was;
}

void TTwoPosFrame::StoreRecord() {
  TPortTwoPos* p = TwoPos();
  TTwoPosRecord* r = p ? p->Record(shown_) : nullptr;
  if (!r) return;
  if (ts_) {
    r->a = OffInvert->isChecked() ? 1 : 0;
    r->b = OnInvert->isChecked() ? 1 : 0;
    r->transition = static_cast<std::uint16_t>(TransitionEdit->Value());
  } else {
    r->a = static_cast<std::uint8_t>(OffCommand->currentIndex() == 1);
    r->b = static_cast<std::uint8_t>(OnCommand->currentIndex() == 1);
  }
}

void TTwoPosFrame::StoreItem() {
  TPortTwoPos* p = TwoPos();
  if (!p || filling_) return;
  p->SetCount(static_cast<int>(CountEdit->Value()));
  StoreRecord();
}

void TTwoPosFrame::Dropped(bool on) {
  TPortTwoPos* p = TwoPos();
  if (!p || shown_ < 0) return;
  StoreRecord();
  p->SetSignal(shown_, on, Doc().Storage().TakeSelectedRow(p->Type()));
  ShowRecord();
}

// ---------------------------------------------------------------------------------------
TPortUnioFrame::TPortUnioFrame(TFrame1& owner, QWidget* parent)
    : TOtherPortFrame(owner, parent, "Порт опроса модулей ввода-вывода по протоколу МЭК 870-5-101 ", false) {
  setObjectName("TPortUnioFrame");
  CountLabel = new QLabel(this);
  CountLabel->setObjectName("CountLabel");
  lay_->addWidget(CountLabel);
  lay_->addStretch();
}

void TPortUnioFrame::Fill() {
  auto* p = dynamic_cast<TPortUnio*>(item_);
  if (!p) return;
  p->RecountChildren();
  CountLabel->setText(Q(p->CountText()));
}

void TPortUnioFrame::NumberChosen(int n) { dynamic_cast<TPortUnio*>(item_)->ChangeNumber(n); }

// ---------------------------------------------------------------------------------------
TUnioModuleFrame::TUnioModuleFrame(TFrame1& owner, QWidget* parent, int code) : TEditorFrame(owner, parent), code_(code) {
  static const char* const headings[3] = {"Модуль дискретных сигналов МДС-24", "Модуль релейной коммутации МРК-12",
                                          "Модуль дискретной коммутации МДК-24"};
  setObjectName(code == 221 ? "TMDS24Frame" : code == 222 ? "TMRK12Frame" : "TMDK24Frame");
  auto* lay = new QVBoxLayout(this);
  Heading = new QLabel(headings[code == 221 ? 0 : code == 222 ? 1 : 2], this);
  Heading->setObjectName("Heading");
  QFont f = Heading->font();
  f.setBold(true);
  Heading->setFont(f);
  lay->addWidget(Heading);
  auto* form = new QFormLayout;
  form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
  lay->addLayout(form);
  form->addRow("Протокол", new QLabel("МЭК 870-5-101 ", this));
  auto number = [&](const QString& /*caption*/, long long min, long long max, const char* name) {
    auto* e = new TNumberEdit(min, max, this);
    e->setObjectName(name);
    return e;
  };
  AddressEdit = number("", 1, 255, "AddressEdit");
  ExistsLabel = new QLabel("Уже существует", this);
  ExistsLabel->setObjectName("ExistsLabel");
  ExistsLabel->setStyleSheet("color: red;");
  auto* addrRow = new QHBoxLayout;
  addrRow->addWidget(AddressEdit);
  addrRow->addWidget(ExistsLabel);
  addrRow->addStretch();
  form->addRow("Адрес модуля", addrRow);
  RetriesEdit = number("", 2, 99, "RetriesEdit");
  form->addRow("Число попыток обмена", RetriesEdit);
  WaitEdit = number("", 1, 65500, "WaitEdit");
  form->addRow("Время ожидания ответа, мс", WaitEdit);
  ModeBox = new QComboBox(this);
  ModeBox->setObjectName("ModeBox");
  if (code == 221) {
    PeriodEdit = number("", 0, 60000, "PeriodEdit");
    form->addRow("Период контрольного опроса, мин", PeriodEdit);
    DebounceEdit = number("", 0, 60000, "DebounceEdit");
    form->addRow(" Время антидребезга ТС, мс", DebounceEdit);
    ModeBox->addItems({"однопозиционные ТС", "двухпозиционные ТС"});
    form->addRow(" Режим обработки каналов ТС ", ModeBox);
  } else {
    TuTimeEdit = number("", 100, 60000, "TuTimeEdit");
    form->addRow("Время выдачи ТУ, мс", TuTimeEdit);
    TMRK12 mrk;
    TMDK24 mdk;
    const TRelayModule& names = code == 222 ? static_cast<const TRelayModule&>(mrk) : mdk;
    for (int m = 0; m < 4; ++m) ModeBox->addItem(QString::fromUtf8(names.ModeName(m)));
    form->addRow(" Режим работы модуля ", ModeBox);
  }
  lay->addStretch();

  connect(AddressEdit, &QLineEdit::editingFinished, this, [this] {
    TUnioModule* m = Module();
    if (filling_ || !m || AddressEdit->Value() == m->number) return;
    StoreItem();
    m->ChangeAddress(static_cast<int>(AddressEdit->Value()));
    ShowItem(item_);
  });
  connect(ModeBox, &QComboBox::activated, this, [this](int index) {
    TUnioModule* m = Module();
    if (filling_ || !m) return;
    StoreItem();
    if (auto* mds = dynamic_cast<TMDS24*>(m)) mds->SetMode(index);
    if (auto* relay = dynamic_cast<TRelayModule*>(m)) relay->SetMode(index);
    ShowItem(item_);
  });
}

TUnioModule* TUnioModuleFrame::Module() const { return dynamic_cast<TUnioModule*>(item_); }

void TUnioModuleFrame::ShowItem(TItem* item) {
  item_ = item;
  TUnioModule* m = Module();
  if (!m) return;
  filling_ = true;
  AddressEdit->SetValue(m->number);
  ExistsLabel->setVisible(m->DuplicateAddress());
  RetriesEdit->SetValue(m->retries);
  WaitEdit->SetValue(m->responseWait);
  ModeBox->setCurrentIndex(m->mode);
  if (auto* mds = dynamic_cast<TMDS24*>(m)) {
    PeriodEdit->SetValue(mds->controlPeriod / 60000);
    DebounceEdit->SetValue(mds->debounce);
  }
  if (auto* relay = dynamic_cast<TRelayModule*>(m)) {
    TuTimeEdit->SetValue(relay->tuTime);
    TuTimeEdit->setEnabled(relay->TuTimeEnabled());
  }
  filling_ = false;
}

void TUnioModuleFrame::StoreItem() {
  TUnioModule* m = Module();
  if (!m || filling_) return;
  m->retries = static_cast<std::uint8_t>(RetriesEdit->Value());
  m->responseWait = static_cast<std::uint16_t>(WaitEdit->Value());
  if (auto* mds = dynamic_cast<TMDS24*>(m)) {
    mds->controlPeriod = static_cast<std::uint32_t>(PeriodEdit->Value()) * 60000u;
    mds->debounce = static_cast<std::uint16_t>(DebounceEdit->Value());
  }
  if (auto* relay = dynamic_cast<TRelayModule*>(m)) relay->tuTime = static_cast<std::uint16_t>(TuTimeEdit->Value());
}

// ---------------------------------------------------------------------------------------
TPortAutoFrame::TPortAutoFrame(TFrame1& owner, QWidget* parent)
    : TOtherPortFrame(owner, parent, "Порт локальной автоматики", true) {
  setObjectName("TPortAutoFrame");
  AutoCheck = new QCheckBox("Включить автоматику", this);
  AutoCheck->setObjectName("AutoCheck");
  form_->addRow(AutoCheck);
  ExportButton = new QPushButton("Экспортировать список входных параметров", this);
  ExportButton->setObjectName("ExportButton");
  ImportButton = new QPushButton("Импортировать список выходных параметров", this);
  ImportButton->setObjectName("ImportButton");
  lay_->addWidget(ExportButton, 0, Qt::AlignLeft);
  lay_->addWidget(ImportButton, 0, Qt::AlignLeft);
  lay_->addStretch();
  auto start = [] {
    return LastExportFile().isEmpty() ? QCoreApplication::applicationDirPath() + "/" : LastExportFile();
  };
  connect(ExportButton, &QPushButton::clicked, this, [this, start] {
    TPortAuto* p = Auto();
    if (!p) return;
    StoreItem();
    QString path = ChooseFile(this, "Экспортировать список входных параметров", kListFilter, start(), true);
    if (path.isEmpty()) return;
    LastExportFile() = path;
    std::string error;
    if (!p->ExportInputs(S(path), &error)) Doc().Messages().ShowError(error);
  });
  connect(ImportButton, &QPushButton::clicked, this, [this, start] {
    TPortAuto* p = Auto();
    if (!p) return;
    StoreItem();
    QString path = ChooseFile(this, "Импортировать список выходных параметров", kListFilter, start(), false);
    if (path.isEmpty()) return;
    LastExportFile() = path;
    std::string error;
    if (!p->ImportOutputs(S(path), &error)) Doc().Messages().ShowError(error);
    ShowItem(item_);
  });
}

TPortAuto* TPortAutoFrame::Auto() const { return dynamic_cast<TPortAuto*>(item_); }

void TPortAutoFrame::Fill() {
  if (TPortAuto* p = Auto()) AutoCheck->setChecked(p->autoCheck != 0);
}

void TPortAutoFrame::StoreItem() {
  if (TPortAuto* p = Auto(); p && !filling_) p->autoCheck = AutoCheck->isChecked() ? 1 : 0;
}

// ---------------------------------------------------------------------------------------
void RegisterOtherPortFrames() {
  RegisterFrame("TPortGPS", [](TFrame1& o, QWidget* p) { return new TPortGPSFrame(o, p); });
  RegisterFrame("TPortSNTP", [](TFrame1& o, QWidget* p) { return new TPortSNTPFrame(o, p); });
  RegisterFrame("TPortTS2", [](TFrame1& o, QWidget* p) { return new TTwoPosFrame(o, p, true); });
  RegisterFrame("TPortTU2", [](TFrame1& o, QWidget* p) { return new TTwoPosFrame(o, p, false); });
  RegisterFrame("TPortUnio", [](TFrame1& o, QWidget* p) { return new TPortUnioFrame(o, p); });
  RegisterFrame("TMDS24", [](TFrame1& o, QWidget* p) { return new TUnioModuleFrame(o, p, 221); });
  RegisterFrame("TMRK12", [](TFrame1& o, QWidget* p) { return new TUnioModuleFrame(o, p, 222); });
  RegisterFrame("TMDK24", [](TFrame1& o, QWidget* p) { return new TUnioModuleFrame(o, p, 229); });
  RegisterFrame("TPortAuto", [](TFrame1& o, QWidget* p) { return new TPortAutoFrame(o, p); });
}

}  // namespace t32::ui
