#include "ui/station_form.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QSplitter>
#include <QStyle>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "iec104/station_xml.h"
#include "model/messages.h"
#include "ui/dialogs.h"
#include "ui/station_dialogs.h"

namespace t32::ui {

namespace {
constexpr int kNodeRole = Qt::UserRole + 1;
constexpr int kTickZone = 15;  // a click this close to a row's left edge toggles its tick

TConfigItem* NodeOfItem(const QTreeWidgetItem* it) {
  return it ? reinterpret_cast<TConfigItem*>(it->data(0, kNodeRole).value<quintptr>()) : nullptr;
}

QIcon TickIcon(bool ticked) {
  QPixmap pm(14, 14);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(Qt::darkGray, 1));
  p.setBrush(Qt::white);
  p.drawRect(1, 1, 11, 11);
  if (ticked) {
    p.setPen(QPen(QColor(0, 120, 0), 2));
    p.drawLine(3, 7, 6, 10);
    p.drawLine(6, 10, 11, 3);
  }
  return QIcon(pm);
}
}  // namespace

// ----- TObjectListModel

void TObjectListModel::SetNode(TConfigItem* node) {
  beginResetModel();
  node_ = node;
  endResetModel();
}

void TObjectListModel::Refresh() {
  beginResetModel();
  endResetModel();
}

void TObjectListModel::RowChanged(int row) { emit dataChanged(index(row, 0), index(row, columnCount() - 1)); }

int TObjectListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() || !node_ ? 0 : static_cast<int>(node_->Objects().size());
}

int TObjectListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 5; }

QString TObjectListModel::CellText(int row, int column) const {
  static const QString kError = "ошибка";
  if (!node_ || row < 0 || static_cast<std::size_t>(row) >= node_->Objects().size()) return kError;
  const TPProcItem& o = *node_->Objects()[static_cast<std::size_t>(row)];
  switch (column) {
    case 1: {
      const char* s = KindShortName(o.kind);
      return *s ? QString(s) : kError;
    }
    case 2:
      return Q(TWS_104::AddressText(o));
    case 3:
      return Q(o.name);
    case 4: {
      std::string path = o.owner ? o.owner->PathName() : node_->PathName();
      return Q(path.empty() ? o.name : path + "." + o.name);
    }
    default:
      return {};
  }
}

QVariant TObjectListModel::data(const QModelIndex& index, int role) const {
  if (!node_ || !index.isValid() || static_cast<std::size_t>(index.row()) >= node_->Objects().size()) return {};
  if (role == Qt::DisplayRole && index.column() > 0) return CellText(index.row(), index.column());
  if (role == Qt::DecorationRole && index.column() == 0) {
    static const QIcon on = TickIcon(true), off = TickIcon(false);
    return node_->Objects()[static_cast<std::size_t>(index.row())]->tick ? on : off;
  }
  return {};
}

QVariant TObjectListModel::headerData(int section, Qt::Orientation o, int role) const {
  static const char* kHeads[] = {"", "тип данных", "адрес", "наименование", "полное наименование"};
  if (o == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < 5) return QString(kHeads[section]);
  return {};
}

// ----- TObjectView

void TObjectView::mousePressEvent(QMouseEvent* e) {
  int row = rowAt(e->position().toPoint().y());
  if (e->button() == Qt::LeftButton && (e->modifiers() & Qt::ShiftModifier) && row >= 0) {
    dragRow = row;
    setFocus(Qt::MouseFocusReason);
    viewport()->setCursor(Qt::DragMoveCursor);
    e->accept();
    return;
  }
  QTableView::mousePressEvent(e);
  if (e->button() == Qt::LeftButton && row >= 0) {
    if (e->position().x() < kTickZone) emit TickClicked(row);
    emit RowClicked();
  }
}

void TObjectView::mouseMoveEvent(QMouseEvent* e) {
  if (dragRow >= 0) {
    e->accept();
    return;
  }
  QTableView::mouseMoveEvent(e);
}

void TObjectView::mouseReleaseEvent(QMouseEvent* e) {
  if (dragRow >= 0 && e->button() == Qt::LeftButton) {
    int from = dragRow;
    dragRow = -1;
    viewport()->unsetCursor();
    int to = rowAt(e->position().toPoint().y());
    if (to < 0 && e->position().y() >= 0) to = model() ? model()->rowCount() : 0;  // below the last row
    if (to >= 0 && to != from) emit RowDropped(from, to);
    e->accept();
    return;
  }
  QTableView::mouseReleaseEvent(e);
}

void TObjectView::mouseDoubleClickEvent(QMouseEvent* e) {
  int row = rowAt(e->position().toPoint().y());
  if (e->button() == Qt::LeftButton && row >= 0) {
    emit RowDoubleClicked(row);
    e->accept();
    return;
  }
  QTableView::mouseDoubleClickEvent(e);
}

// ----- Tc104Form

namespace {
// The station reports refusals through its hook; while a command runs, the hook is the
// editor's when the station has none of its own.
struct HookGuard {
  TWS_104* st;
  bool set;
  HookGuard(TWS_104* s, TMessages& m) : st(s), set(s && !s->messages) {
    if (set) st->messages = &m;
  }
  ~HookGuard() {
    if (set) st->messages = nullptr;
  }
};
}  // namespace

Tc104Form::Tc104Form(T104EditorContext& ctx, QWidget* parent) : QDialog(parent), ctx_(ctx) {
  setObjectName("Tc104Form");
  setWindowTitle("Клиент МЭК 60870-5-104");
  // Esc and a right click close other secondary windows, not this one.
  setProperty("keepOnEsc", true);
  setProperty("helpContext", int(kHelpStationForm));
  setWindowFlag(Qt::WindowMaximizeButtonHint);
  resize(900, 560);

  auto* lay = new QVBoxLayout(this);
  lay->setContentsMargins(2, 2, 2, 2);
  // The buttons sit in two rows, in order: the editing commands, then clipboard and selection.
  toolbar = new QToolBar(this);
  toolbar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  lay->addWidget(toolbar);
  toolbar2 = new QToolBar(this);
  toolbar2->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  lay->addWidget(toolbar2);
  auto* split = new QSplitter(Qt::Horizontal, this);
  lay->addWidget(split, 1);
  tree = new QTreeWidget(split);
  tree->setHeaderHidden(true);
  tree->setMinimumWidth(160);
  list = new TObjectView(split);
  model = new TObjectListModel(list);
  list->setModel(model);
  list->setSelectionBehavior(QAbstractItemView::SelectRows);
  list->setSelectionMode(QAbstractItemView::ExtendedSelection);
  list->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list->setShowGrid(true);
  list->setStyleSheet("QTableView { gridline-color: silver; }");
  list->verticalHeader()->hide();
  list->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  list->verticalHeader()->setDefaultSectionSize(list->fontMetrics().height() + 4);
  list->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  list->horizontalHeader()->setMinimumSectionSize(16);
  list->setWordWrap(false);
  const int widths[] = {20, 70, 80, 150, 5000};
  for (int i = 0; i < 5; ++i) list->setColumnWidth(i, widths[i]);
  split->setStretchFactor(1, 1);
  split->setSizes({220, 680});

  QStyle* s = style();
  auto act = [&](const QIcon& icon, const QString& caption, const QString& hint, void (Tc104Form::*slot)()) {
    auto* a = new QAction(icon, caption, this);
    a->setToolTip(hint.isEmpty() ? caption : hint);
    a->setStatusTip(hint);
    if (slot) connect(a, &QAction::triggered, this, slot);
    return a;
  };
  actClose = act(s->standardIcon(QStyle::SP_DialogCloseButton), {}, "Выйти из диалога", nullptr);
  connect(actClose, &QAction::triggered, this, &QDialog::accept);
  actLoadXml = act(s->standardIcon(QStyle::SP_DialogOpenButton), "Импорт из XML-файла",
                   "Загрузить конфигурацию из XML-файла", &Tc104Form::LoadFromXml);
  actTick = act(TickIcon(true), {}, {}, nullptr);
  connect(actTick, &QAction::triggered, this, [this] { Ticks(true); });
  actUntick = act(TickIcon(false), {}, {}, nullptr);
  connect(actUntick, &QAction::triggered, this, [this] { Ticks(false); });
  actAddTag = act(s->standardIcon(QStyle::SP_FileIcon), "Добавить тег", {}, &Tc104Form::AddTag);
  actAddGroup = act(s->standardIcon(QStyle::SP_FileDialogNewFolder), "Добавить группу", "Добавить группу тегов",
                    &Tc104Form::AddGroup);
  actRemove = act(s->standardIcon(QStyle::SP_TrashIcon), "Удалить", {}, &Tc104Form::Remove);
  actParams = act(s->standardIcon(QStyle::SP_FileDialogDetailedView), "Параметры", "Настройка параметров ",
                  &Tc104Form::Params);
  actClone = act(s->standardIcon(QStyle::SP_FileDialogContentsView), "Клонировать", "Клонировать объекты",
                 &Tc104Form::Clone);
  actCopy = act({}, "Копировать", {}, &Tc104Form::Copy);
  actCopy->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Insert), QKeySequence(Qt::CTRL | Qt::Key_C)});
  actCut = act({}, "Вырезать", {}, &Tc104Form::Cut);
  actCut->setShortcuts({QKeySequence(Qt::SHIFT | Qt::Key_Delete), QKeySequence(Qt::CTRL | Qt::Key_X)});
  actPaste = act({}, "Вставить", {}, &Tc104Form::Paste);
  actPaste->setShortcuts({QKeySequence(Qt::SHIFT | Qt::Key_Insert), QKeySequence(Qt::CTRL | Qt::Key_V)});
  actCheckAll = act({}, "Выбрать все объекты", {}, nullptr);
  connect(actCheckAll, &QAction::triggered, this, [this] {
    if (!station_) return;
    station_->TickAll();
    model->Refresh();
  });
  actUncheckAll = act({}, "Отменить выбор всех объектов", {}, nullptr);
  connect(actUncheckAll, &QAction::triggered, this, [this] {
    if (!station_) return;
    station_->UntickAll();
    model->Refresh();
  });
  actSelectAll = act({}, "Выделить все", "Выделить все теги", nullptr);
  connect(actSelectAll, &QAction::triggered, list, &QTableView::selectAll);
  // Context replacement of names is not offered: the command stays disabled.
  actReplace = act({}, "Замена строк", "Контекстная замена строк", nullptr);
  actReplace->setEnabled(false);

  for (QAction* a : {actClose, actLoadXml}) toolbar->addAction(a);
  toolbar->addSeparator();
  for (QAction* a : {actTick, actUntick}) toolbar->addAction(a);
  toolbar->addSeparator();
  for (QAction* a : {actAddTag, actAddGroup, actRemove, actParams, actClone}) toolbar->addAction(a);
  for (QAction* a : {actCopy, actCut, actPaste}) toolbar2->addAction(a);
  toolbar2->addSeparator();
  for (QAction* a : {actCheckAll, actUncheckAll, actSelectAll, actReplace}) toolbar2->addAction(a);
  for (QAction* a : {actCopy, actCut, actPaste}) a->setShortcutContext(Qt::WindowShortcut);

  // Wide enough for the whole toolbar.
  resize(std::max({width(), toolbar->sizeHint().width() + 8, toolbar2->sizeHint().width() + 8}), height());

  popup = new QMenu(this);
  for (QAction* a : {actAddGroup, actAddTag, actRemove, actParams}) popup->addAction(a);

  connect(tree, &QTreeWidget::currentItemChanged, this, [this] {
    ShowSelected();
    RefreshActions();
  });
  connect(tree, &QTreeWidget::itemPressed, this, [this] {
    listFocused_ = false;
    RefreshActions();
  });
  connect(list, &TObjectView::TickClicked, this, [this](int row) {
    TConfigItem* n = SelectedNode();
    if (!station_ || !n || static_cast<std::size_t>(row) >= n->Objects().size()) return;
    station_->TickRows(*n, {static_cast<std::size_t>(row)}, !n->Objects()[static_cast<std::size_t>(row)]->tick);
    model->RowChanged(row);
  });
  connect(list, &TObjectView::RowClicked, this, [this] {
    listFocused_ = true;
    RefreshActions();
  });
  connect(list, &TObjectView::RowDoubleClicked, this, [this](int row) {
    listFocused_ = true;
    EditObject(row);
  });
  connect(list, &TObjectView::RowDropped, this, [this](int from, int to) {
    TConfigItem* n = SelectedNode();
    if (!station_ || !n) return;
    if (station_->MoveObject(*n, static_cast<std::size_t>(from), static_cast<std::size_t>(to))) {
      model->Refresh();
      int at = std::min(to, model->rowCount() - 1);
      list->selectRow(at);
    }
  });
  focusConn_ = connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
    if (now == list) listFocused_ = true;
    else if (now == tree) listFocused_ = false;
    else return;
    RefreshActions();
  });
  RefreshActions();
}

QWidget* Tc104Form::Button(QAction* a) const {
  QWidget* w = toolbar->widgetForAction(a);
  return w ? w : toolbar2->widgetForAction(a);
}

Tc104Form::~Tc104Form() {
  // The child widgets go after this part of the object: their last signals must not reach it.
  disconnect(focusConn_);
  model->SetNode(nullptr);
  for (QObject* o : std::initializer_list<QObject*>{tree, list, model, list->selectionModel()})
    if (o) o->blockSignals(true);
}

TMessages& Tc104Form::Messages() {
  if (ctx_.messages) return *ctx_.messages;
  if (!ownMessages_) ownMessages_ = std::make_unique<TQtMessages>(this);
  return *ownMessages_;
}

int Tc104Form::Edit(TWS_104& station) {
  SetStation(&station);
  int r = RunModal(*this);
  SetStation(nullptr);
  return r;
}

void Tc104Form::SetStation(TWS_104* station) {
  station_ = station;
  RebuildTree();
}

void Tc104Form::RebuildTree() {
  const TConfigItem* keep = SelectedNode();
  QSignalBlocker block(tree);
  tree->clear();
  model->SetNode(nullptr);
  if (station_) {
    QTreeWidgetItem* root = AddTreeNode(nullptr, station_);
    root->setExpanded(true);
  }
  block.unblock();
  if (station_) SelectNode(keep && ItemOf(keep) ? keep : station_);
  RefreshActions();
}

QTreeWidgetItem* Tc104Form::AddTreeNode(QTreeWidgetItem* parent, TConfigItem* node) {
  auto* it = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree);
  it->setText(0, Q(node->Caption()));
  it->setIcon(0, style()->standardIcon(node->IsStation() ? QStyle::SP_ComputerIcon : QStyle::SP_DirIcon));
  it->setData(0, kNodeRole, QVariant::fromValue(reinterpret_cast<quintptr>(node)));
  for (const auto& c : node->Children()) AddTreeNode(it, c.get());
  return it;
}

QTreeWidgetItem* Tc104Form::ItemOf(const TConfigItem* node) const {
  if (!node) return nullptr;
  QTreeWidgetItemIterator i(tree);
  for (; *i; ++i)
    if (NodeOfItem(*i) == node) return *i;
  return nullptr;
}

TConfigItem* Tc104Form::SelectedNode() const { return NodeOfItem(tree->currentItem()); }

TGroup* Tc104Form::SelectedGroup() const {
  TConfigItem* n = SelectedNode();
  return n && !n->IsStation() ? static_cast<TGroup*>(n) : nullptr;
}

void Tc104Form::SelectNode(const TConfigItem* node) {
  if (QTreeWidgetItem* it = ItemOf(node)) {
    tree->setCurrentItem(it);
    ShowSelected();
  }
}

void Tc104Form::ShowSelected() {
  TConfigItem* n = SelectedNode();
  if (model->Node() != n) model->SetNode(n);
}

bool Tc104Form::ListFocused() const { return listFocused_; }

std::vector<std::size_t> Tc104Form::HighlightedRows() const {
  std::vector<std::size_t> rows;
  if (!list->selectionModel()) return rows;
  for (const QModelIndex& i : list->selectionModel()->selectedRows()) rows.push_back(static_cast<std::size_t>(i.row()));
  std::sort(rows.begin(), rows.end());
  return rows;
}

void Tc104Form::RefreshActions() {
  TConfigItem* n = SelectedNode();
  bool group = n && !n->IsStation();
  bool row = ListFocused() && list->currentIndex().isValid();
  actAddTag->setEnabled(group);
  actAddGroup->setEnabled(n);
  actRemove->setEnabled(group);
  actParams->setEnabled(n);
  actClone->setEnabled(row || group);
  actCopy->setEnabled(row);
  actCut->setEnabled(row);
  actPaste->setEnabled(n && ctx_.State().clipboardMade);
  actReplace->setEnabled(false);
}

TProcDlg* Tc104Form::ProcDlg() {
  if (!procDlg_) procDlg_ = new TProcDlg(this);
  return procDlg_;
}
TGroupDlg* Tc104Form::GroupDlg() {
  if (!groupDlg_) groupDlg_ = new TGroupDlg(this);
  return groupDlg_;
}
TItemParamDlg* Tc104Form::ItemDlg() {
  if (!itemDlg_) {
    itemDlg_ = new TItemParamDlg(this);
    itemDlg_->programDir = ctx_.programDir;
    itemDlg_->messages = &Messages();
  }
  return itemDlg_;
}
TCloneDialog* Tc104Form::CloneDlg() {
  if (!cloneDlg_) cloneDlg_ = new TCloneDialog(this);
  return cloneDlg_;
}

void Tc104Form::AddGroup() {
  TConfigItem* parent = SelectedNode();
  if (!station_ || !parent) return;
  HookGuard hook(station_, Messages());
  std::unique_ptr<TGroup> g = station_->NewGroup(*parent);
  GroupDlg()->ShowGroup(*g);
  if (RunModal(*GroupDlg()) != QDialog::Accepted) return;
  GroupDlg()->StoreGroup(*station_, *g);
  TGroup* added = station_->AppendGroup(*parent, std::move(g));
  if (!added) return;
  QTreeWidgetItem* pit = ItemOf(parent);
  AddTreeNode(pit, added);
  pit->setExpanded(true);
}

void Tc104Form::AddTag() {
  TGroup* g = SelectedGroup();
  if (!station_ || !g) return;
  HookGuard hook(station_, Messages());
  std::unique_ptr<TPProcItem> o = station_->NewObject(*g);
  if (!o) return;
  o->owner = g;  // the dialog shows the address with the group's base
  ItemDlg()->ShowItem(*o);
  if (RunModal(*ItemDlg()) != QDialog::Accepted) return;
  ItemDlg()->StoreItem(*o);
  o->owner = nullptr;
  if (station_->AppendObject(*g, std::move(o))) model->Refresh();
}

void Tc104Form::Remove() {
  if (!station_) return;
  HookGuard hook(station_, Messages());
  TConfigItem* n = SelectedNode();
  if (ListFocused()) {
    if (!n || !list->currentIndex().isValid()) return;
    station_->RemoveObjects(*n, HighlightedRows());
    model->Refresh();
    RefreshActions();
    return;
  }
  TGroup* g = SelectedGroup();
  if (!g) return;  // the station itself is never removed
  // Nothing can be undone: a group with content is removed only when confirmed.
  if ((!g->Objects().empty() || !g->Children().empty()) &&
      Messages().AskConfirm("Удалить группу " + g->name + "?") != kYes)
    return;
  TConfigItem* parent = g->Parent();
  QTreeWidgetItem* it = ItemOf(g);
  {
    QSignalBlocker block(tree);
    model->SetNode(nullptr);
    delete it;
  }
  station_->RemoveGroup(g);
  SelectNode(parent);
  RefreshActions();
}

void Tc104Form::EditObject(int row) {
  TConfigItem* n = SelectedNode();
  if (!station_ || !n || row < 0 || static_cast<std::size_t>(row) >= n->Objects().size()) return;
  TPProcItem& o = *n->Objects()[static_cast<std::size_t>(row)];
  ItemDlg()->ShowItem(o);
  if (RunModal(*ItemDlg()) != QDialog::Accepted) return;
  ItemDlg()->StoreItem(o);
  model->RowChanged(row);
}

void Tc104Form::Params() {
  TConfigItem* n = SelectedNode();
  if (!station_ || !n) return;
  HookGuard hook(station_, Messages());
  if (ListFocused()) {
    if (list->currentIndex().isValid()) EditObject(list->currentIndex().row());
    return;
  }
  if (n->IsStation()) {
    ProcDlg()->ShowStation(*station_);
    if (RunModal(*ProcDlg()) != QDialog::Accepted) return;
    ProcDlg()->StoreStation(*station_);
  } else {
    auto& g = static_cast<TGroup&>(*n);
    GroupDlg()->ShowGroup(g);
    if (RunModal(*GroupDlg()) != QDialog::Accepted) return;
    GroupDlg()->StoreGroup(*station_, g);
    model->Refresh();  // a new kind converts the objects
  }
  if (QTreeWidgetItem* it = ItemOf(n)) it->setText(0, Q(n->Caption()));
}

void Tc104Form::Clone() {
  if (!station_) return;
  HookGuard hook(station_, Messages());
  TGroup* g = SelectedGroup();
  if (ListFocused() && list->currentIndex().isValid()) {
    if (!g) return;
    std::size_t row = static_cast<std::size_t>(list->currentIndex().row());
    if (row >= g->Objects().size()) return;
    CloneDlg()->ShowParams("Клонировать параметр", TWS_104::DefaultObjectClone(*g->Objects()[row]));
    if (RunModal(*CloneDlg()) != QDialog::Accepted) return;
    if (station_->CloneObjects(*g, row, CloneDlg()->Params()) > 0) model->Refresh();
    return;
  }
  if (!g) return;
  CloneDlg()->ShowParams("Клонировать группу", TWS_104::DefaultGroupClone());
  if (RunModal(*CloneDlg()) != QDialog::Accepted) return;
  TConfigItem* parent = g->Parent();
  std::size_t before = parent->Children().size();
  if (station_->CloneGroup(*g, CloneDlg()->Params()) <= 0) return;
  QTreeWidgetItem* pit = ItemOf(parent);
  for (std::size_t i = before; i < parent->Children().size(); ++i) AddTreeNode(pit, parent->Children()[i].get());
}

void Tc104Form::Copy() {
  TConfigItem* n = SelectedNode();
  if (!station_ || !n || !ListFocused() || !list->currentIndex().isValid()) return;
  station_->CopyObjects(*n, HighlightedRows(), ctx_.State().clipboard);
  ctx_.State().clipboardMade = true;
  RefreshActions();
}

void Tc104Form::Cut() {
  TConfigItem* n = SelectedNode();
  if (!station_ || !n || !ListFocused() || !list->currentIndex().isValid()) return;
  if (station_->CutObjects(*n, HighlightedRows(), ctx_.State().clipboard) > 0) ctx_.State().clipboardMade = true;
  model->Refresh();
  RefreshActions();
}

void Tc104Form::Paste() {
  TConfigItem* n = SelectedNode();
  if (!station_ || !n || !ctx_.State().clipboardMade) return;
  HookGuard hook(station_, Messages());
  if (station_->PasteObjects(*n, ctx_.State().clipboard) > 0) model->Refresh();
}

void Tc104Form::Ticks(bool ticked) {
  TConfigItem* n = SelectedNode();
  if (!station_ || !n) return;
  station_->TickRows(*n, HighlightedRows(), ticked);
  model->Refresh();
}

void Tc104Form::LoadFromXml() {
  if (!station_) return;
  const std::string& last = ctx_.State().importFolder;
  QString folder = last.empty() ? ctx_.programDir : QString::fromStdString(last);
  QFileDialog dlg(this, "Загрузит из XML-файла", folder, "XML-файлы (*.xml);;все файлы (*.*)");
  dlg.setOption(QFileDialog::DontUseNativeDialog);
  dlg.setAcceptMode(QFileDialog::AcceptOpen);
  dlg.setFileMode(QFileDialog::ExistingFile);
  dlg.setDefaultSuffix("xml");
  if (RunModal(dlg) != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return;
  QString path = dlg.selectedFiles().first();
  ctx_.State().importFolder = QFileInfo(path).absolutePath().toStdString();
  ImportFile(path);
}

void Tc104Form::ImportFile(const QString& path) {
  if (!station_) return;
  HookGuard hook(station_, Messages());
  QFile f(path);
  QByteArray bytes;
  if (!f.open(QIODevice::ReadOnly) || (bytes = f.readAll(), f.error() != QFileDevice::NoError)) {
    Messages().ShowError("Ошибка чтения из файла " + S(path));
    return;
  }
  if (bytes.isEmpty()) return;
  // The import replaces the station's groups and objects, and its messages run an event loop:
  // the views let go of them first.
  {
    QSignalBlocker block(tree);
    model->SetNode(nullptr);
    tree->clear();
  }
  // Refusals and problems reach the user through the station's hook.
  ImportXml(*station_, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), S(path));
  RebuildTree();
}

void Tc104Form::keyPressEvent(QKeyEvent* e) {
  // The editor stays open on Esc; it closes with its own button.
  if (e->key() == Qt::Key_Escape) {
    e->accept();
    return;
  }
  QDialog::keyPressEvent(e);
}

void Tc104Form::contextMenuEvent(QContextMenuEvent* e) {
  RefreshActions();
  popup->popup(e->globalPos());
  e->accept();
}

}  // namespace t32::ui
