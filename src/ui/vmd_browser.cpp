#include "ui/vmd_browser.h"

#include <QCheckBox>
#include <algorithm>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include "iec61850/pickmarks.h"
#include "iec61850/scl.h"
#include "ui/link_dialogs.h"

namespace t32::ui {

namespace {

// The empty listener the window passes events to when the client had none.
TMMSEvents& NoListener() {
  static TMMSEvents none;
  return none;
}

QPushButton* Button(const QString& text, const char* name, QWidget* parent, QLayout* lay) {
  auto* b = new QPushButton(text, parent);
  b->setObjectName(name);
  b->setAutoDefault(false);
  lay->addWidget(b);
  return b;
}

void SetupList(QTreeView* view, const auto& cols) {
  view->setRootIsDecorated(false);
  view->setUniformRowHeights(true);
  view->setSelectionMode(QAbstractItemView::SingleSelection);
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->header()->setStretchLastSection(false);
  for (std::size_t i = 0; i < cols.size(); ++i) view->setColumnWidth(static_cast<int>(i), cols[i].width);
  view->header()->setSectionResizeMode(0, QHeaderView::Fixed);
}

// Whether the text fits the node's declared width: integers by their bit width, strings by
// their length. A value the server would refuse or cut is not sent at all.
bool FitsWidth(const TMMSvar& v, const std::string& text) {
  if (v.Size <= 0) return true;
  switch (v.Type) {
    case kMmsInteger:
      if (v.Size < 64) {
        long long x = std::strtoll(text.c_str(), nullptr, 10);
        long long lim = 1LL << (v.Size - 1);
        return x >= -lim && x < lim;
      }
      return true;
    case kMmsUnsigned:
      if (v.Size < 64) return std::strtoull(text.c_str(), nullptr, 10) < (1ULL << v.Size);
      return true;
    case kMmsVisibleString:
      return text.size() <= static_cast<std::size_t>(v.Size);
    case kMmsString:
      return static_cast<std::size_t>(QString::fromStdString(text).size()) <= static_cast<std::size_t>(v.Size);
    default:
      return true;
  }
}

bool Writable(const TMMSvar& v) {
  switch (v.Type) {
    case kMmsBoolean: case kMmsBitString: case kMmsInteger: case kMmsUnsigned: case kMmsFloat:
    case kMmsOctetString: case kMmsVisibleString: case kMmsBooleanArray: case kMmsString:
      return true;
    default:
      return false;
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------
TVMDTreeView::TVMDTreeView(QWidget* parent) : QTreeView(parent) {}

QRect TVMDTreeView::IconRect(const QModelIndex& index) {
  QStyleOptionViewItem opt;
  initViewItemOption(&opt);
  opt.rect = visualRect(index);
  opt.features |= QStyleOptionViewItem::HasDecoration | QStyleOptionViewItem::HasDisplay;
  opt.icon = qvariant_cast<QIcon>(index.data(Qt::DecorationRole));
  opt.text = index.data(Qt::DisplayRole).toString();
  opt.index = index;
  return style()->subElementRect(QStyle::SE_ItemViewItemDecoration, &opt, this);
}

int TVMDTreeView::TextLeft(const QModelIndex& index) {
  QStyleOptionViewItem opt;
  initViewItemOption(&opt);
  opt.rect = visualRect(index);
  opt.features |= QStyleOptionViewItem::HasDecoration | QStyleOptionViewItem::HasDisplay;
  opt.icon = qvariant_cast<QIcon>(index.data(Qt::DecorationRole));
  opt.text = index.data(Qt::DisplayRole).toString();
  opt.index = index;
  return style()->subElementRect(QStyle::SE_ItemViewItemText, &opt, this).left();
}

void TVMDTreeView::mouseReleaseEvent(QMouseEvent* e) {
  QTreeView::mouseReleaseEvent(e);
  if (!picking || e->button() != Qt::LeftButton) return;
  QModelIndex at = indexAt(e->position().toPoint());
  if (!at.isValid() || at.column() != 0 || at != currentIndex()) return;
  // Over the icon: from 16 pixels left of the text (or the icon's own left edge) to the text.
  int x = e->position().toPoint().x();
  int text = TextLeft(at);
  int left = std::min(text - 16, IconRect(at).left());
  if (x >= left && x < text) emit PickRequested(at);
}

void TVMDTreeView::keyPressEvent(QKeyEvent* e) {
  if (picking && e->key() == Qt::Key_Space && currentIndex().isValid()) {
    emit PickRequested(currentIndex().siblingAtColumn(0));
    return;
  }
  QTreeView::keyPressEvent(e);
}

void TVMDTreeView::drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
  QTreeView::drawRow(painter, option, index);
  // A line at each column's left edge and a silver line under the row.
  painter->save();
  painter->setPen(QColor(192, 192, 192));
  const QHeaderView* h = header();
  for (int c = 0; c < h->count(); ++c) {
    int x = h->sectionViewportPosition(c);
    if (c > 0) painter->drawLine(x, option.rect.top(), x, option.rect.bottom());
  }
  painter->drawLine(option.rect.left(), option.rect.bottom(), option.rect.right(), option.rect.bottom());
  painter->restore();
}

// ---------------------------------------------------------------------------------------
TVMDbrowserForm::TVMDbrowserForm(QWidget* parent) : TRightCloseDialog(parent) {
  setObjectName("TVMDbrowserForm");
  setWindowTitle("Структура IED");
  resize(1000, 640);
  auto* lay = new QVBoxLayout(this);

  auto* top = new QHBoxLayout;
  LoadDeviceButton = Button("Загрузить из устройства", "LoadDeviceButton", this, top);
  LoadFileButton = Button("Загрузить из ICD-файла", "LoadFileButton", this, top);
  ReadButton = Button("Читать данные", "ReadButton", this, top);
  WritePanelButton = Button("Панель записи", "WritePanelButton", this, top);
  ReportPanelButton = Button("Панель отчетов", "ReportPanelButton", this, top);
  GoosePanelButton = Button("Панель GOOSE", "GoosePanelButton", this, top);
  AddObjectsButton = Button("Добавить объекты", "AddObjectsButton", this, top);
  AttributesButton = Button("Получить атрибуты", "AttributesButton", this, top);
  AttributesButton->hide();  // attributes come with the model load
  top->addStretch();
  LinkLamp = new QLabel(this);
  LinkLamp->setObjectName("LinkLamp");
  top->addWidget(LinkLamp);
  SvcLabel = new QLabel("SVC", this);
  SvcLabel->setObjectName("SvcLabel");
  top->addWidget(SvcLabel);
  CbbLabel = new QLabel("CBB", this);
  CbbLabel->setObjectName("CbbLabel");
  top->addWidget(CbbLabel);
  CloseButton = Button("Закрыть окно ", "CloseButton", this, top);
  lay->addLayout(top);

  auto* filters = new QHBoxLayout;
  for (int i = 0; i < TVMDModel::kFilterCount; ++i) {
    auto* c = new QCheckBox(kFunctionalConstraints[i], this);
    c->setObjectName(QString("Filter") + kFunctionalConstraints[i]);
    c->setChecked(i < 4);
    filters->addWidget(c);
    Filters.push_back(c);
    connect(c, &QCheckBox::clicked, this, [this, i](bool on) {
      Model->SetFilter(i, on);
      Tree->expandToDepth(0);
    });
  }
  filters->addStretch();
  lay->addLayout(filters);

  Model = new TVMDModel(this);
  Tree = new TVMDTreeView(this);
  Tree->setObjectName("Tree");
  Tree->setModel(Model);
  Tree->setSelectionMode(QAbstractItemView::ExtendedSelection);
  Tree->setSelectionBehavior(QAbstractItemView::SelectRows);
  Tree->setUniformRowHeights(true);
  Tree->setAllColumnsShowFocus(true);
  Tree->header()->setStretchLastSection(false);
  const int widths[TVMDModel::kColumns] = {200, 80, 200, 2000};
  for (int c = 0; c < TVMDModel::kColumns; ++c) Tree->setColumnWidth(c, widths[c]);
  connect(Tree->header(), &QHeaderView::sectionResized, Tree->viewport(), qOverload<>(&QWidget::update));
  connect(Model, &TVMDModel::Repaint, Tree->viewport(), qOverload<>(&QWidget::update));
  connect(Tree, &TVMDTreeView::PickRequested, this, &TVMDbrowserForm::TogglePick);
  lay->addWidget(Tree, 1);

  WritePanel = new QWidget(this);
  WritePanel->setObjectName("WritePanel");
  auto* wl = new QHBoxLayout(WritePanel);
  wl->setContentsMargins(0, 0, 0, 0);
  WriteEdit = new QLineEdit(WritePanel);
  WriteEdit->setObjectName("WriteEdit");
  wl->addWidget(WriteEdit, 1);
  WriteButton = Button("записать значение ", "WriteButton", WritePanel, wl);
  WriteHideButton = Button("Скрыть", "WriteHideButton", WritePanel, wl);
  lay->addWidget(WritePanel);

  ReportPanel = new QWidget(this);
  ReportPanel->setObjectName("ReportPanel");
  auto* rl = new QVBoxLayout(ReportPanel);
  rl->setContentsMargins(0, 0, 0, 0);
  ReportModel = new TReportListModel(this);
  ReportView = new QTreeView(ReportPanel);
  ReportView->setObjectName("ReportView");
  ReportView->setModel(ReportModel);
  SetupList(ReportView, ReportModel->Columns());
  rl->addWidget(ReportView);
  auto* rb = new QHBoxLayout;
  ReportRequestButton = Button("Запрос отчета", "ReportRequestButton", ReportPanel, rb);
  rb->addStretch();
  ReportHideButton = Button("Скрыть", "ReportHideButton", ReportPanel, rb);
  rl->addLayout(rb);
  lay->addWidget(ReportPanel);

  GoosePanel = new QWidget(this);
  GoosePanel->setObjectName("GoosePanel");
  auto* gl = new QVBoxLayout(GoosePanel);
  gl->setContentsMargins(0, 0, 0, 0);
  GooseModel = new TGooseListModel(this);
  GooseView = new QTreeView(GoosePanel);
  GooseView->setObjectName("GooseView");
  GooseView->setModel(GooseModel);
  SetupList(GooseView, GooseModel->Columns());
  gl->addWidget(GooseView);
  auto* gb = new QHBoxLayout;
  gb->addStretch();
  GooseHideButton = Button("Скрыть", "GooseHideButton", GoosePanel, gb);
  gl->addLayout(gb);
  lay->addWidget(GoosePanel);

  StatusLabel = new QLabel(this);
  StatusLabel->setObjectName("StatusLabel");
  lay->addWidget(StatusLabel);

  WritePanel->hide();
  ReportPanel->hide();
  GoosePanel->hide();

  connect(LoadDeviceButton, &QPushButton::clicked, this, &TVMDbrowserForm::LoadFromDevice);
  connect(LoadFileButton, &QPushButton::clicked, this, &TVMDbrowserForm::LoadFromFile);
  connect(ReadButton, &QPushButton::clicked, this, &TVMDbrowserForm::ReadData);
  connect(WritePanelButton, &QPushButton::clicked, WritePanel, &QWidget::show);
  connect(WriteButton, &QPushButton::clicked, this, &TVMDbrowserForm::WriteValue);
  connect(WriteHideButton, &QPushButton::clicked, WritePanel, &QWidget::hide);
  connect(ReportPanelButton, &QPushButton::clicked, this, &TVMDbrowserForm::ShowReports);
  connect(ReportRequestButton, &QPushButton::clicked, this, &TVMDbrowserForm::RequestReport);
  connect(ReportHideButton, &QPushButton::clicked, ReportPanel, &QWidget::hide);
  connect(GoosePanelButton, &QPushButton::clicked, this, &TVMDbrowserForm::ShowGoose);
  connect(GooseHideButton, &QPushButton::clicked, GoosePanel, &QWidget::hide);
  connect(AddObjectsButton, &QPushButton::clicked, this, &TVMDbrowserForm::AddObjects);
  connect(CloseButton, &QPushButton::clicked, this, &QDialog::reject);

  StatusTimer.setInterval(200);
  connect(&StatusTimer, &QTimer::timeout, this, &TVMDbrowserForm::UpdateStatus);
  StatusTimer.start();
}

TVMDbrowserForm::~TVMDbrowserForm() { Detach(); }

TVMDbrowserForm& TVMDbrowserForm::Shared() {
  static TVMDbrowserForm* form = new TVMDbrowserForm;  // lives as long as the program
  return *form;
}

TMMSEvents& TVMDbrowserForm::Next() { return previous_ ? *previous_ : NoListener(); }

void TVMDbrowserForm::Attach(TMMSobject* client) {
  if (client_ == client) return;
  Detach();
  client_ = client;
  if (!client_) return;
  previous_ = client_->Events == this ? nullptr : client_->Events;
  client_->Events = this;
}

void TVMDbrowserForm::Detach() {
  if (client_ && client_->Events == this) client_->Events = previous_;
  client_ = nullptr;
  previous_ = nullptr;
  lastShown_ = nullptr;
  writeChunks_.clear();
  lastServer_ = -1;
  Model->SetClient(nullptr);
  ReportModel->SetClient(nullptr);
  GooseModel->SetClient(nullptr);
}

int TVMDbrowserForm::OpenBrowser(TMMSobject* client, bool selecting) {
  Attach(client);
  if (!client_) return QDialog::Rejected;
  lastServer_ = client_->ActiveServer();
  ShowCaption();
  selecting_ = selecting;
  LoadDeviceButton->setVisible(true);
  LoadFileButton->setVisible(true);
  ReadButton->setVisible(!selecting);
  WritePanelButton->setVisible(!selecting);
  ReportPanelButton->setVisible(!selecting);
  GoosePanelButton->setVisible(!selecting && client_->ReadGooseBlocks);
  AddObjectsButton->setVisible(selecting);
  AttributesButton->setVisible(false);
  WritePanel->hide();
  ReportPanel->hide();
  GoosePanel->hide();
  UpdateStatus();
  Tree->picking = selecting;
  Model->SetSelecting(selecting);
  // Another client, or the same one whose model was replaced meanwhile (a device loaded its
  // stored model into it): the tree shows the nodes of now.
  if (lastShown_ != client_ || shownRoot_ != &client_->Root()) {
    lastShown_ = client_;
    RebuildTree();
  }
  return RunModal(*this);
}

int TVMDbrowserForm::OpenBrowserForSelection(TMMSobject* client) {
  if (isVisible()) reject();
  return OpenBrowser(client, true);
}

void TVMDbrowserForm::RebuildTree() {
  SvcLabel->setToolTip(client_ ? QString::fromStdString(client_->ServicesText()) : QString());
  CbbLabel->setToolTip(client_ ? QString::fromStdString(client_->CbbText()) : QString());
  // While the client loads a model it rebuilds its tree: nothing of it is shown meanwhile.
  Model->SetClient(client_ && !client_->Browsing() ? client_ : nullptr);
  shownRoot_ = client_ ? &client_->Root() : nullptr;
  ReportModel->SetClient(client_);
  GooseModel->SetClient(client_);
  Tree->expandToDepth(0);
}

void TVMDbrowserForm::ShowCaption() {
  const std::uint8_t* ip = client_->RemoteAddress;
  setWindowTitle(QString("Структура IED [%1.%2.%3.%4]").arg(ip[0]).arg(ip[1]).arg(ip[2]).arg(ip[3]));
}

void TVMDbrowserForm::UpdateStatus() {
  if (!client_) return;
  const bool up = client_->MMSState() == TMMSobject::kMmsAssociated;
  ReadButton->setEnabled(up);
  LoadDeviceButton->setEnabled(up);
  WritePanelButton->setEnabled(up);
  ReportPanelButton->setEnabled(up);
  GoosePanelButton->setEnabled(client_->GooseBlocks().Count() > 0);
  if (!writeChunks_.empty()) SendNextWrite();
  if (ReportPanel->isVisible()) ReportModel->Refresh();
  if (GoosePanel->isVisible()) GooseModel->Refresh();
  LinkLamp->setPixmap(LampIcon(up ? TLamp::Green : TLamp::Red).pixmap(16, 16));
  LinkLamp->setProperty("linked", up);
  QString status = QString::fromStdString(client_->StatusText());
  status.replace('\r', '\n');
  LinkLamp->setToolTip(status);
  if (client_->ActiveServer() != lastServer_) {
    lastServer_ = client_->ActiveServer();
    ShowCaption();
  }
  // A load that ended without finishing (the link fell, the server refused) shows what is there.
  if (!Model->Client() && lastShown_ == client_ && !client_->Browsing()) RebuildTree();
}

QString TVMDbrowserForm::BrowseStepText(int step, const TMMSobject& client) {
  // The domain being asked is the first whose list is not complete yet.
  auto domain = [&](bool lists) -> QString {
    for (const auto& d : client.Domains())
      if (!(lists ? d.ListsLoaded : d.VarsLoaded)) return QString::fromStdString(d.Name);
    return {};
  };
  switch (step) {
    case 1: return "получение списка доменов";
    case 2: return "загрузка списка переменных VMD";
    case 3: return "загрузка списка переменных домена " + domain(false);
    case 4: return "чтение атрибутов VMD";
    case 5: {
      // The logical node asked last: the first one of a domain still without its type.
      TMMSobject& c = const_cast<TMMSobject&>(client);
      const TStrDictionary& dict = c.Dictionary();
      TMMSvar* last = nullptr;
      for (auto& dom : c.Root().Children)
        for (auto& ln : dom->Children)
          if (ln->TypeTried) last = ln.get();
      if (!last) return "чтение атрибутов домена ";
      return QString::fromStdString("чтение атрибутов домена " + dict[last->Parent->Name] + " узел " +
                                    dict[last->Name]);
    }
    case 6: return "именованые списки переменных VMD";
    case 7: return "именованые списки переменных домена " + domain(true);
    case 9: return "параметры отчетов ";
    case 11: return "ошибка данных";
    default: return {};
  }
}

void TVMDbrowserForm::BrowseStepChanged(int step) {
  if (client_) {
    QString text = BrowseStepText(step, *client_);
    if (!text.isEmpty()) StatusLabel->setText(text);
    if (client_->Browsing()) {
      if (Model->Client()) Model->SetClient(nullptr);
      writeChunks_.clear();
    }
  }
  Next().BrowseStepChanged(step);
}

void TVMDbrowserForm::ModelLoaded() {
  if (client_) {
    StatusLabel->setText("Конфигурация загружена");
    RebuildTree();
    if (client_->Reports().Count() == 0) {
      client_->BuildReportList();
      ReportModel->Refresh();
    }
    if (OnModelLoaded) OnModelLoaded();
  }
  Next().ModelLoaded();
}

void TVMDbrowserForm::StateChanged(int s) { Next().StateChanged(s); }
void TVMDbrowserForm::VariableUpdated(TMMSvar* v) {
  Tree->viewport()->update();
  Next().VariableUpdated(v);
}
void TVMDbrowserForm::WriteResult(TMMSvar* v, int code) {
  if (client_ && v) {
    QString name = QString::fromStdString(v->FullName(client_->Dictionary()));
    StatusLabel->setText(code == 255 ? "записано: " + name
                                     : QString("отказ записи %1: код %2").arg(name).arg(code));
    // The next part of a long write goes once this answer is fully handled.
    if (!writeChunks_.empty()) QTimer::singleShot(0, this, &TVMDbrowserForm::SendNextWrite);
  }
  Next().WriteResult(v, code);
}
void TVMDbrowserForm::FileProgress(std::uint64_t done, std::uint64_t size) { Next().FileProgress(done, size); }
void TVMDbrowserForm::DirectoryComplete(bool ok) { Next().DirectoryComplete(ok); }
void TVMDbrowserForm::FileComplete(bool ok) { Next().FileComplete(ok); }
void TVMDbrowserForm::ActiveServerChanged(int index) { Next().ActiveServerChanged(index); }
void TVMDbrowserForm::ReportStepChanged(int s) { Next().ReportStepChanged(s); }
void TVMDbrowserForm::Trace(const std::string& text) {
  Tree->viewport()->update();
  StatusLabel->setText(QString::fromStdString(text));
  Next().Trace(text);
}

// ---- commands ----

void TVMDbrowserForm::LoadFromDevice() {
  if (!client_) return;
  Model->SetClient(nullptr);  // the client is about to replace its tree
  writeChunks_.clear();
  if (!client_->LoadModel()) RebuildTree();
}

void TVMDbrowserForm::LoadFromFile() {
  if (!client_) return;
  QFileDialog dlg(this, "Загрузить конфигурацию из файла", QString(),
                  QtFilter("файлы конфигурации|*.icd;*.cid;*.scd|все файлы|*.*"));
  dlg.setAcceptMode(QFileDialog::AcceptOpen);
  dlg.setFileMode(QFileDialog::ExistingFile);
  dlg.setDefaultSuffix("ICD");
  QString path;
  if (RunModal(dlg) == QDialog::Accepted && !dlg.selectedFiles().isEmpty()) path = dlg.selectedFiles().first();
  if (!path.isEmpty()) {
    TRecordedMessages found;
    std::vector<std::string> ieds;
    std::string ied;
    bool ok = ListSCLIeds(S(path), ieds, &found);
    if (ok && ieds.size() > 1) {
      // A substation file describes several devices: the engineer says which one this is.
      QDialog pick(this);
      pick.setObjectName("TIedChoice");
      pick.setWindowTitle("Выбор IED");
      auto* l = new QVBoxLayout(&pick);
      l->addWidget(new QLabel("Устройство из файла:", &pick));
      auto* list = new QListWidget(&pick);
      list->setObjectName("IedList");
      for (const auto& n : ieds) list->addItem(Q(n));
      list->setCurrentRow(0);
      l->addWidget(list);
      auto* b = new QHBoxLayout;
      QPushButton* okb = Button("OK", "OkButton", &pick, b);
      QPushButton* cancel = Button("Отмена", "CancelButton", &pick, b);
      l->addLayout(b);
      connect(okb, &QPushButton::clicked, &pick, &QDialog::accept);
      connect(cancel, &QPushButton::clicked, &pick, &QDialog::reject);
      connect(list, &QListWidget::itemDoubleClicked, &pick, &QDialog::accept);
      if (RunModal(pick) == QDialog::Accepted && list->currentItem())
        ied = S(list->currentItem()->text());
      else
        ok = false, found.errors.clear();
    }
    if (ok) {
      // The reader replaces the client's tree: the view lets go of it first.
      Model->SetClient(nullptr);
      writeChunks_.clear();
      ok = LoadSCL(S(path), *client_, ied, &found);
      RebuildTree();
      if (ok) StatusLabel->setText("Конфигурация загружена");
    }
    TQtMessages msgs(this);
    for (const auto& e : found.errors) msgs.ShowError(e);
  }
  if (OnModelLoaded) OnModelLoaded();
}

std::vector<TMMSvar*> TVMDbrowserForm::SelectedNodes() const {
  std::vector<TMMSvar*> out;
  for (const QModelIndex& i : Tree->selectionModel()->selectedRows(0))
    if (TMMSvar* v = Model->NodeOf(i)) out.push_back(v);
  // Keep the order of the tree, whatever order the rows were picked in.
  std::vector<TMMSvar*> ordered;
  std::function<void(TMMSvar&)> walk = [&](TMMSvar& n) {
    if (std::find(out.begin(), out.end(), &n) != out.end()) ordered.push_back(&n);
    if (ordered.size() < out.size())
      for (auto& c : n.Children) walk(*c);
  };
  if (client_ && !out.empty()) walk(client_->Root());
  return ordered;
}

void TVMDbrowserForm::ReadData() {
  if (!client_) return;
  std::vector<TMMSvar*> vars;
  for (TMMSvar* v : SelectedNodes())
    if (v->Parent && !v->Domain) vars.push_back(v);  // the server and its domains hold no value
  if (!vars.empty()) client_->ReadVariables(vars);
}

void TVMDbrowserForm::WriteValue() {
  if (!client_) return;
  const std::string text = S(WriteEdit->text());
  const TStrDictionary& dict = client_->Dictionary();
  std::vector<TMMSvar*> vars;
  for (TMMSvar* v : SelectedNodes())
    if (v->Parent && !v->Domain && Writable(*v)) vars.push_back(v);
  if (vars.empty()) return;
  // Every value is checked before anything goes out: a write is all or nothing.
  client_->BeginWrite();
  for (TMMSvar* v : vars)
    if (!FitsWidth(*v, text) || !client_->AddWriteText(v, text)) {
      client_->BeginWrite();
      TQtMessages(this).ShowError("Значение \"" + text + "\" не подходит для " + v->FullName(dict) + " (" +
                                  TypeText(*v) + "), ничего не записано");
      return;
    }
  client_->BeginWrite();
  // Requests of a bounded size: names and the value, with room for the encoding around them.
  const std::size_t limit = std::min<std::size_t>(12000, static_cast<std::size_t>(client_->MaxPduSize()) / 2);
  writeChunks_.clear();
  writeText_ = text;
  std::size_t size = 0;
  for (TMMSvar* v : vars) {
    const TMMSvar* dom = v->DomainNode();
    std::size_t need = v->FullName(dict).size() + (dom ? dict[dom->Name].size() : 0) + text.size() + 24;
    if (writeChunks_.empty() || size + need > limit) {
      writeChunks_.emplace_back();
      size = 0;
    }
    writeChunks_.back().push_back(v);
    size += need;
  }
  SendNextWrite();
}

void TVMDbrowserForm::SendNextWrite() {
  if (!client_ || writeChunks_.empty() || client_->WriteOutstanding()) return;
  std::vector<TMMSvar*> chunk = std::move(writeChunks_.front());
  writeChunks_.erase(writeChunks_.begin());
  client_->BeginWrite();
  for (TMMSvar* v : chunk) client_->AddWriteText(v, writeText_);
  if (!client_->SendWrite()) {
    writeChunks_.clear();
    StatusLabel->setText("запись не отправлена");
  }
}

void TVMDbrowserForm::SizeList(QTreeView* view, int rows) {
  int row = view->sizeHintForRow(0) > 0 ? view->sizeHintForRow(0) : view->fontMetrics().height() + 4;
  // The last column is wide, so the horizontal scroll bar is always there: leave it room.
  view->setFixedHeight(view->header()->sizeHint().height() + row * std::max(rows, 1) +
                       view->horizontalScrollBar()->sizeHint().height() + 2 * view->frameWidth() + 2);
}

void TVMDbrowserForm::ShowReports() {
  GoosePanel->hide();
  ReportModel->SetClient(client_);
  SizeList(ReportView, std::min(ReportModel->rowCount(), 10));
  ReportPanel->show();
}

void TVMDbrowserForm::ShowGoose() {
  ReportPanel->hide();
  GooseModel->SetClient(client_);
  SizeList(GooseView, std::min(GooseModel->rowCount(), 10));
  GoosePanel->show();
}

void TVMDbrowserForm::RequestReport() {
  if (!client_ || client_->MMSState() != TMMSobject::kMmsAssociated) return;
  TMMSReportParam* r = ReportModel->At(ReportView->currentIndex().row());
  if (!r || !r->Active || !r->Block) return;
  std::int64_t gi = client_->Dictionary().Find("GI");
  TMMSvar* node = gi >= 0 ? r->Block->FindChild(static_cast<std::uint32_t>(gi)) : nullptr;
  if (!node) return;
  client_->BeginWrite();
  client_->AddWriteBoolean(node, true);
  if (!client_->SendWrite()) StatusLabel->setText("запрос отчета не отправлен");
}

void TVMDbrowserForm::AddObjects() {
  if (client_ && OnAddObjects) OnAddObjects(PickedNodes(client_->Root()));
}

void TVMDbrowserForm::TogglePick(const QModelIndex& index) {
  TMMSvar* v = Model->NodeOf(index);
  if (!v || !client_ || !selecting_) return;
  TogglePickMark(*v, client_->Dictionary());
  Model->RefreshAll();
}

}  // namespace t32::ui
