#include "ui/frame_61850.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QVBoxLayout>

#include "iec61850/mmsclient.h"
#include "iec61850/pickmarks.h"
#include "model/cp1251.h"
#include "model/document.h"
#include "model/params.h"
#include "ports/app_context.h"
#include "ports/ied_types.h"
#include "ports/port_61850.h"
#include "ui/dialogs.h"
#include "ui/dialogs_61850.h"
#include "ui/frame1.h"
#include "ui/vmd_browser.h"

namespace t32::ui {

int TRTU61850Frame::clientPort = 0;

namespace {
constexpr int kKinds[4] = {kSigTS, kSigTU, kSigTI, kSigTR};

QTreeWidget* MakeList(QWidget* parent, const QStringList& columns, const char* name) {
  auto* l = new QTreeWidget(parent);
  l->setObjectName(name);
  l->setColumnCount(columns.size());
  l->setHeaderLabels(columns);
  l->setRootIsDecorated(false);
  l->setSelectionMode(QAbstractItemView::ExtendedSelection);
  l->header()->setStretchLastSection(true);
  return l;
}

// A data set's members as signals, filed by kind as the device does it.
void MembersByKind(TMMSobject& c, const TDataSet* ds, std::vector<std::string> out[4]) {
  if (!ds) return;
  for (TMMSvar* m : ds->Members) {
    const int kind = KindOfFC(*m, c.Dictionary());
    for (int i = 0; i < 4; ++i)
      if (kKinds[i] == kind) out[i].push_back(m->FullName(c.Dictionary()));
  }
}
}  // namespace

// ---------------------------------------------------------------------------------------
TPort61850Frame::TPort61850Frame(TFrame1& owner, QWidget* parent)
    : TOtherPortFrame(owner, parent, "Порт опроса МЭК-61850", true) {
  setObjectName("TPort61850Frame");
  Net1Box = new QCheckBox("Сеть 1", this);
  Net1Box->setObjectName("Net1Box");
  Net1Box->setChecked(true);
  Net1Box->setEnabled(false);  // the port works on the controller's first network only
  form_->addRow("Порт связи", Net1Box);
  TimeShiftEdit = AddNumber(form_, "Смещение времени, час", 0, 24, "TimeShiftEdit");
  LinkLossEdit = AddNumber(form_, "Время фиксации обрыва связи, сек", 0, 60, "LinkLossEdit");
  CountLabel = new QLabel(this);
  CountLabel->setObjectName("CountLabel");
  lay_->addWidget(CountLabel);
  auto* row = new QHBoxLayout;
  row->addWidget(new QLabel("Интервал выдачи отчётов IntgPd, мс", this));
  IntgPdEdit = new TNumberEdit(0, 0x7FFFFFFF, this);
  IntgPdEdit->setObjectName("IntgPdEdit");
  IntgPdEdit->SetValue(60000);
  row->addWidget(IntgPdEdit);
  SetIntgPdButton = new QPushButton("Установить значение", this);
  SetIntgPdButton->setObjectName("SetIntgPdButton");
  row->addWidget(SetIntgPdButton);
  row->addStretch();
  lay_->addLayout(row);
  lay_->addStretch();
  connect(SetIntgPdButton, &QPushButton::clicked, this, [this] {
    TPort61850* p = Port61850();
    if (!p) return;
    StoreItem();
    if (p->SetIntegrityPeriodAll(static_cast<std::int32_t>(IntgPdEdit->Value()))) Doc().AfterEdit();
  });
  for (TNumberEdit* e : {TimeShiftEdit, LinkLossEdit})
    connect(e, &QLineEdit::editingFinished, this, [this] { StoreItem(); });
}

TPort61850* TPort61850Frame::Port61850() const { return dynamic_cast<TPort61850*>(item_); }

void TPort61850Frame::Fill() {
  TPort61850* p = Port61850();
  if (!p) return;
  const int before = p->deviceCount;
  p->RecountChildren();
  if (p->deviceCount != before) p->UpdateStatusTable();
  TimeShiftEdit->SetValue(p->timeOffset);
  LinkLossEdit->SetValue(p->linkLossTime);
  CountLabel->setText(QString("Количество подключенных устройств = %1").arg(p->deviceCount));
}

void TPort61850Frame::StoreItem() {
  TPort61850* p = Port61850();
  if (!p || filling_) return;
  bool changed = false;
  if (TimeShiftEdit->isModified() && TimeShiftEdit->Value() != p->timeOffset) {
    p->timeOffset = static_cast<std::int32_t>(TimeShiftEdit->Value());
    changed = true;
  }
  if (LinkLossEdit->isModified() && LinkLossEdit->Value() != p->linkLossTime) {
    p->linkLossTime = static_cast<std::uint8_t>(LinkLossEdit->Value());
    changed = true;
  }
  if (changed) Doc().AfterEdit();
}

void TPort61850Frame::NumberChosen(int n) {
  if (auto* p = Port61850()) p->SetPortNumber(n);
}

// ---------------------------------------------------------------------------------------
TRTU61850Frame::TRTU61850Frame(TFrame1& owner, QWidget* parent) : TEditorFrame(owner, parent) {
  setObjectName("TRTU61850Frame");
  auto* lay = new QVBoxLayout(this);
  auto* heading = new QLabel("Устройство с протоколом МЭК-61850", this);
  heading->setObjectName("Heading");
  QFont f = heading->font();
  f.setBold(true);
  heading->setFont(f);
  lay->addWidget(heading);
  auto* form = new QFormLayout;
  form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
  form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
  lay->addLayout(form);

  auto* typeRow = new QHBoxLayout;
  TypeBox = new QComboBox(this);
  TypeBox->setObjectName("TypeBox");
  TypeBox->setMinimumWidth(180);
  SaveTypeButton = new QPushButton("Сохранить", this);
  SaveTypeButton->setObjectName("SaveTypeButton");
  DeleteTypeButton = new QPushButton("Удалить", this);
  DeleteTypeButton->setObjectName("DeleteTypeButton");
  typeRow->addWidget(TypeBox);
  typeRow->addWidget(SaveTypeButton);
  typeRow->addWidget(DeleteTypeButton);
  form->addRow("Тип", typeRow);

  PlaceEdit = new QLineEdit(this);
  PlaceEdit->setObjectName("PlaceEdit");
  PlaceEdit->setMaxLength(64);
  PlaceEdit->setMinimumWidth(240);
  form->addRow("Место установки", PlaceEdit);

  IpEdit = new TIpEdit(this);
  const char* names[4] = {"AddrEdit4", "AddrEdit3", "AddrEdit2", "AddrEdit1"};
  for (int i = 0; i < 4; ++i) IpEdit->octet[i]->setObjectName(names[i]);
  form->addRow("IP адрес", IpEdit);

  GooseBox = new QCheckBox("Принимать сообщения GOOSE", this);
  GooseBox->setObjectName("GooseBox");
  lay->addWidget(GooseBox);

  auto* buttons = new QHBoxLayout;
  SelectParamButton = new QPushButton("Выбрать параметры", this);
  SelectParamButton->setObjectName("SelectParamButton");
  ViewParamButton = new QPushButton("Просмотр параметров", this);
  ViewParamButton->setObjectName("ViewParamButton");
  buttons->addWidget(SelectParamButton);
  buttons->addWidget(ViewParamButton);
  buttons->addStretch();
  lay->addLayout(buttons);

  ListTabs = new QTabWidget(this);
  ListTabs->setObjectName("ListTabs");
  auto* reportPage = new QWidget(ListTabs);
  auto* reportLay = new QVBoxLayout(reportPage);
  ReportList = MakeList(reportPage, {"Вкл", "Буфер", "Кол", "Имя отчёта"}, "ReportList");
  reportLay->addWidget(ReportList);
  auto* reportButtons = new QHBoxLayout;
  ActivateButton = new QPushButton("Активировать", reportPage);
  ActivateButton->setObjectName("ActivateButton");
  DisableButton = new QPushButton("Отключить", reportPage);
  DisableButton->setObjectName("DisableButton");
  reportButtons->addWidget(ActivateButton);
  reportButtons->addWidget(DisableButton);
  reportButtons->addStretch();
  reportLay->addLayout(reportButtons);
  ListTabs->addTab(reportPage, "Отчёты");
  DataSetList = MakeList(ListTabs, {"Вкл", "Чтение", "Кол", "Имя набора данных "}, "DataSetList");
  ListTabs->addTab(DataSetList, "Наборы данных");
  GooseList = MakeList(ListTabs, {"Имя блока", "Набор данных", "MAC"}, "GooseList");
  ListTabs->addTab(GooseList, "GOOSE");
  lay->addWidget(ListTabs, 1);

  SignalsLabel = new QLabel("Список сигналов входящих в  набор данных", this);
  SignalsLabel->setObjectName("SignalsLabel");
  lay->addWidget(SignalsLabel);
  SignalTabs = new QTabWidget(this);
  SignalTabs->setObjectName("SignalTabs");
  const char* captions[4] = {"ТС", "ТУ", "ТИ", "ТР"};
  for (int i = 0; i < 4; ++i) {
    SignalLists[i] = new QListWidget(SignalTabs);
    SignalTabs->addTab(SignalLists[i], captions[i]);
    SignalTabs->setTabVisible(i, false);
  }
  lay->addWidget(SignalTabs, 1);

  tick_.setInterval(20);
  connect(&tick_, &QTimer::timeout, this, [this] {
    if (client_) client_->Tick(TClock::now());
  });
  connect(SelectParamButton, &QPushButton::clicked, this, &TRTU61850Frame::SelectParams);
  connect(ViewParamButton, &QPushButton::clicked, this, &TRTU61850Frame::ViewParams);
  connect(SaveTypeButton, &QPushButton::clicked, this, &TRTU61850Frame::SaveType);
  connect(DeleteTypeButton, &QPushButton::clicked, this, &TRTU61850Frame::DeleteType);
  connect(TypeBox, &QComboBox::activated, this, &TRTU61850Frame::TypeChosen);
  connect(ActivateButton, &QPushButton::clicked, this, [this] { EnableSelected(true); });
  connect(DisableButton, &QPushButton::clicked, this, [this] { EnableSelected(false); });
  connect(ReportList, &QTreeWidget::itemSelectionChanged, this, &TRTU61850Frame::FillSignals);
  connect(DataSetList, &QTreeWidget::itemSelectionChanged, this, &TRTU61850Frame::FillSignals);
  connect(GooseList, &QTreeWidget::itemSelectionChanged, this, [this] {
    // A GOOSE block shows the signals of its data set.
    QTreeWidgetItem* it = GooseList->currentItem();
    if (!it || !client_) return;
    const int row = it->data(0, Qt::UserRole).toInt();
    auto& items = client_->GooseBlocks().Items;
    if (row < 0 || row >= static_cast<int>(items.size())) return;
    TDataSet* ds = client_->ResolveDataSet(items[static_cast<std::size_t>(row)]->DatSet);
    for (int i = 0; i < DataSetList->topLevelItemCount(); ++i) {
      QTreeWidgetItem* d = DataSetList->topLevelItem(i);
      d->setSelected(ds && client_->DataSets()[static_cast<std::size_t>(d->data(0, Qt::UserRole).toInt())].get() == ds);
    }
  });
  connect(ReportList, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* it) { EditRow(0, it); });
  connect(DataSetList, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* it) { EditRow(1, it); });
  connect(GooseList, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* it) { EditRow(2, it); });
  for (QWidget* w : std::initializer_list<QWidget*>{PlaceEdit, IpEdit->octet[0], IpEdit->octet[1], IpEdit->octet[2],
                                                    IpEdit->octet[3]})
    if (auto* e = qobject_cast<QLineEdit*>(w)) connect(e, &QLineEdit::editingFinished, this, [this] { StoreItem(); });
  connect(GooseBox, &QCheckBox::toggled, this, [this] { StoreItem(); });
}

TRTU61850Frame::~TRTU61850Frame() {
  tick_.stop();
  // The browser lets go of the client at every close; it is made only when first used.
  if (browserUsed_) TVMDbrowserForm::Shared().Detach();
}

TRTU61850* TRTU61850Frame::Device() const { return dynamic_cast<TRTU61850*>(item_); }

void TRTU61850Frame::hideEvent(QHideEvent* e) {
  tick_.stop();
  TEditorFrame::hideEvent(e);
}

void TRTU61850Frame::FillTypes() {
  TRTU61850* d = Device();
  TypeBox->clear();
  if (TAppContext* ctx = ContextOf(&Doc())) {
    ctx->iedTypes.Ensure();
    for (const std::string& t : ctx->iedTypes.Types()) TypeBox->addItem(Q(t));
  }
  if (!d) return;
  int at = TypeBox->findText(Q(d->name));
  if (at < 0) {
    TypeBox->insertItem(0, Q(d->name));
    at = 0;
  }
  TypeBox->setCurrentIndex(at);
}

void TRTU61850Frame::ShowItem(TItem* item) {
  item_ = item;
  TRTU61850* d = Device();
  if (!d) return;
  // A device still being set up takes its type's settings first.
  if (d->newDevice) d->ApplyDeviceType();
  filling_ = true;
  FillTypes();
  // A fresh client for this device, with the port's time offset.
  client_ = std::make_unique<TMMSobject>();
  if (TPort61850* p = d->Port61850()) client_->TimeShiftHours = static_cast<std::int16_t>(p->timeOffset);
  if (!d->LoadModel(*client_)) Doc().Messages().ShowError("Ошибка чтения модели устройства " + d->Caption());
  MarkSpecialMembers(*client_);
  modelChanged_ = false;
  PlaceEdit->setText(Q(d->place));
  PlaceEdit->setModified(false);
  IpEdit->SetAddress(d->ip);
  GooseBox->setChecked(d->receiveGoose != 0);
  FillLists();
  filling_ = false;
}

void TRTU61850Frame::StoreItem() {
  TRTU61850* d = Device();
  if (!d || filling_) return;
  bool changed = false;
  if (modelChanged_ && client_ && d->StoreModel(*client_)) {
    d->TakeNameLists(*client_);
    changed = true;
  }
  modelChanged_ = false;
  if (PlaceEdit->isModified()) {
    std::string place = Utf8Left(S(PlaceEdit->text()), 64);
    PlaceEdit->setModified(false);
    if (place != d->place) {
      d->place = place;
      changed = true;
    }
  }
  if (!TypeBox->currentText().isEmpty() && S(TypeBox->currentText()) != d->name) {
    d->name = Utf8Left(S(TypeBox->currentText()), 64);
    changed = true;
  }
  const std::uint32_t ip = IpEdit->Address();
  if (ip != d->ip) {
    d->SetIp(ip);
    changed = true;
  }
  const std::uint8_t goose = GooseBox->isChecked() ? 1 : 0;
  if (goose != d->receiveGoose) {
    d->receiveGoose = goose;
    changed = true;
  }
  if (changed) {
    d->UpdateStatusTable();
    Doc().AfterEdit();
  }
}

void TRTU61850Frame::FillLists() {
  ReportList->clear();
  DataSetList->clear();
  GooseList->clear();
  if (!client_) return;
  TMMSobject& c = *client_;
  int row = 0;
  for (const auto& r : c.Reports().Items) {
    TDataSet* ds = c.ResolveDataSet(r->DatSet);
    std::string name = r->DatSet;
    if (auto slash = name.find('/'); slash != std::string::npos) name = name.substr(slash + 1);
    auto* it = new QTreeWidgetItem(ReportList, {r->Enabled ? " вкл" : " -", r->Buffered ? " да" : " -",
                                                ds ? QString::number(ds->Members.size()) : " -", Q(name)});
    it->setToolTip(3, Q(r->RptID));
    it->setData(0, Qt::UserRole, row++);
  }
  row = 0;
  for (const auto& ds : c.DataSets()) {
    auto* it = new QTreeWidgetItem(
        DataSetList, {ds->ReadInterval >= 0 ? " вкл" : "",
                      ds->ReadInterval > 0 ? QString("%1мс").arg(ds->ReadInterval) : QString(),
                      QString::number(ds->Members.size()), Q(ds->Name)});
    it->setData(0, Qt::UserRole, row++);
  }
  row = 0;
  for (const auto& g : c.GooseBlocks().Items) {
    QStringList mac;
    for (std::uint8_t b : g->Mac) mac << QString("%1").arg(b, 2, 16, QChar('0')).toUpper();
    auto* it = new QTreeWidgetItem(GooseList, {Q(g->Name), Q(g->DatSet), mac.join(":")});
    it->setData(0, Qt::UserRole, row++);
  }
  FillSignals();
}

void TRTU61850Frame::FillSignals() {
  std::vector<std::string> lists[4];
  if (client_) {
    TMMSobject& c = *client_;
    for (QTreeWidgetItem* it : ReportList->selectedItems()) {
      const auto i = static_cast<std::size_t>(it->data(0, Qt::UserRole).toInt());
      if (i < c.Reports().Items.size()) MembersByKind(c, c.ResolveDataSet(c.Reports().Items[i]->DatSet), lists);
    }
    for (QTreeWidgetItem* it : DataSetList->selectedItems()) {
      const auto i = static_cast<std::size_t>(it->data(0, Qt::UserRole).toInt());
      if (i < c.DataSets().size()) MembersByKind(c, c.DataSets()[i].get(), lists);
    }
  }
  for (int i = 0; i < 4; ++i) {
    SignalLists[i]->clear();
    for (const std::string& n : lists[i]) SignalLists[i]->addItem(Q(n));
    SignalTabs->setTabVisible(i, !lists[i].empty());
  }
}

void TRTU61850Frame::EnableSelected(bool on) {
  if (!client_ || !Device()) return;
  auto& items = client_->Reports().Items;
  bool any = false;
  for (QTreeWidgetItem* it : ReportList->selectedItems()) {
    const auto i = static_cast<std::size_t>(it->data(0, Qt::UserRole).toInt());
    if (i >= items.size()) continue;
    TMMSReportParam& r = *items[i];
    const bool v = on && !r.DatSet.empty();  // a report without a data set has nothing to send
    if (r.Enabled != v) any = true;
    r.Enabled = v;
  }
  if (!any) return;
  modelChanged_ = true;
  StoreItem();
  std::vector<int> selected;
  for (QTreeWidgetItem* it : ReportList->selectedItems()) selected.push_back(it->data(0, Qt::UserRole).toInt());
  FillLists();
  for (int i : selected)
    if (QTreeWidgetItem* it = ReportList->topLevelItem(i)) it->setSelected(true);
}

void TRTU61850Frame::EditRow(int list, QTreeWidgetItem* it) {
  if (!client_ || !Device() || !it) return;
  TMMSobject& c = *client_;
  const auto i = static_cast<std::size_t>(it->data(0, Qt::UserRole).toInt());
  int result = QDialog::Rejected;
  if (list == 0 && i < c.Reports().Items.size()) {
    TReportDlg dlg(c, *c.Reports().Items[i], this);
    result = RunModal(dlg);
  } else if (list == 1 && i < c.DataSets().size()) {
    TDataSet& ds = *c.DataSets()[i];
    std::string rptId;
    for (const auto& r : c.Reports().Items)
      if (c.ResolveDataSet(r->DatSet) == &ds) rptId = r->RptID;
    TDSetDlg dlg(rptId, ds, this);
    result = RunModal(dlg);
  } else if (list == 2 && i < c.GooseBlocks().Items.size()) {
    TGCBdlg dlg(*c.GooseBlocks().Items[i], this);
    result = RunModal(dlg);
  }
  if (result != QDialog::Accepted) return;
  modelChanged_ = true;
  StoreItem();
  FillLists();
}

void TRTU61850Frame::OpenBrowser(bool selecting) {
  TRTU61850* d = Device();
  if (!d || !client_) return;
  StoreItem();
  const std::uint32_t ip = IpEdit->Address();
  for (int i = 0; i < 4; ++i) client_->Main.Ip[i] = static_cast<std::uint8_t>(ip >> (24 - 8 * i));
  client_->Main.Port = clientPort > 0 ? clientPort : 102;
  client_->ApplyAddress();
  TVMDbrowserForm& b = TVMDbrowserForm::Shared();
  browserUsed_ = true;
  bool picked = false;
  b.OnAddObjects = [&](const std::vector<TMMSvar*>&) {
    if (!selecting) return;
    d->PickData(*client_, SelectedNodes(*client_));
    picked = true;
    FillLists();
  };
  b.OnModelLoaded = [this] { modelChanged_ = true; };
  tick_.start();
  if (selecting) b.OpenBrowserForSelection(client_.get());
  else b.OpenBrowser(client_.get(), false);
  tick_.stop();
  b.Detach();
  b.OnAddObjects = nullptr;
  b.OnModelLoaded = nullptr;
  client_->DropConnection();
  if (!picked) MarkSpecialMembers(*client_);
  // A model loaded in the browser is the device's model from now on.
  if (modelChanged_) StoreItem();
  if (picked) Doc().AfterEdit();
  FillLists();
}

void TRTU61850Frame::SelectParams() { OpenBrowser(true); }
void TRTU61850Frame::ViewParams() { OpenBrowser(false); }

void TRTU61850Frame::SaveType() {
  TRTU61850* d = Device();
  TAppContext* ctx = ContextOf(&Doc());
  if (!d || !ctx) return;
  StoreItem();
  if (SaveDeviceType(*d, ctx->iedTypes, Doc().Messages())) {
    Doc().AfterEdit();
    filling_ = true;
    FillTypes();
    filling_ = false;
  }
}

void TRTU61850Frame::DeleteType() {
  TAppContext* ctx = ContextOf(&Doc());
  if (!ctx || TypeBox->currentText().isEmpty()) return;
  if (DeleteDeviceType(S(TypeBox->currentText()), ctx->iedTypes, Doc().Messages())) {
    filling_ = true;
    FillTypes();
    filling_ = false;
  }
}

void TRTU61850Frame::TypeChosen(int index) {
  TRTU61850* d = Device();
  if (!d || filling_ || index < 0) return;
  const std::string type = S(TypeBox->itemText(index));
  d->newDevice = true;
  StoreItem();  // takes the type name from the box
  d->name = type;
  d->UpdateNode();
  d->ApplyDeviceType();
  Doc().AfterEdit();
  ShowItem(d);
}

void Register61850Frames() {
  RegisterFrame("TPort61850", [](TFrame1& o, QWidget* p) { return new TPort61850Frame(o, p); });
  RegisterFrame("TRTU61850", [](TFrame1& o, QWidget* p) { return new TRTU61850Frame(o, p); });
}

}  // namespace t32::ui
