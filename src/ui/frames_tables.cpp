#include "ui/frames_tables.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QDrag>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

#include "model/controller.h"
#include "model/document.h"
#include "model/params.h"
#include "model/storage.h"
#include "ui/frame1.h"
#include "ui/link_session.h"
#include "ui/storagepanel.h"
#include "model/treerules.h"

namespace t32::ui {

namespace {
const char* kRowsMime = "application/x-tavrik32-rows";

QString GeneralFormat(double v, int digits) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%.*g", digits, v);
  return QString::fromLatin1(buf);
}
}  // namespace

QString Num6(double v) { return GeneralFormat(v, 6); }

// ---------------------------------------------------------------------------------------
void TParamsModel::SetTable(TParams* t, bool storageList) {
  beginResetModel();
  table_ = t;
  storage_ = storageList;
  cols_ = {TCol::No};
  if (t && !storageList) {
    if (t->IsSource()) {
      if (t->Type() == kSigTS) cols_.insert(cols_.end(), {TCol::Inversion, TCol::Kind});
      if (t->Type() == kSigTU) cols_.push_back(TCol::Blocking);
      if (t->Type() == kSigTI) cols_.insert(cols_.end(), {TCol::Gain, TCol::Group});
    } else {
      cols_.push_back(TCol::Address);
    }
  }
  cols_.push_back(TCol::Name);
  endResetModel();
}

int TParamsModel::ColumnOf(TCol c) const {
  for (std::size_t i = 0; i < cols_.size(); ++i)
    if (cols_[i] == c) return static_cast<int>(i);
  return -1;
}

void TParamsModel::Refresh() {
  beginResetModel();
  endResetModel();
}

int TParamsModel::rowCount(const QModelIndex& p) const { return p.isValid() || !table_ ? 0 : table_->Count(); }
int TParamsModel::columnCount(const QModelIndex& p) const { return p.isValid() ? 0 : static_cast<int>(cols_.size()); }

QVariant TParamsModel::headerData(int section, Qt::Orientation o, int role) const {
  if (o != Qt::Horizontal || role != Qt::DisplayRole) return {};
  switch (ColumnAt(section)) {
    case TCol::No: return " №";
    case TCol::Inversion: return "Инверсия";
    case TCol::Kind: return "Тип";
    case TCol::Gain: return "Дорасчет";
    case TCol::Group: return "Группа";
    case TCol::Blocking: return "Блокировка";
    case TCol::Address: return "Адрес";
    case TCol::Name: return "Имя параметра";
  }
  return {};
}

QVariant TParamsModel::data(const QModelIndex& i, int role) const {
  if (!table_ || !i.isValid()) return {};
  const TParam* r = table_->At(i.row());
  if (!r) return {};
  TCol col = ColumnAt(i.column());
  if (role == Qt::DisplayRole) {
    switch (col) {
      case TCol::No: return " " + QString::number(i.row());
      case TCol::Inversion: return r->inversion ? "Вкл" : "";
      case TCol::Kind:
        if (r->locked) return {};
        return r->tsKind == 1 ? "┌ 2П" : r->tsKind == 2 ? "└" : "";
      case TCol::Gain: return r->gain != 0 ? GeneralFormat(r->gain, 5) : QString();
      case TCol::Group: return Q(r->group);
      case TCol::Blocking:
        return QString(r->blockOn ? "ТУ_В | " : "     | ") + (r->blockOff ? "ТУ_О" : "     ");
      case TCol::Address:
        return table_->owner ? Q(table_->owner->SignalAddressText(i.row(), table_->Type())) : QString();
      case TCol::Name: {
        QString name = Q(table_->IsSource() && !storage_ && !r->prefix.empty() ? r->Suffix() : r->Name());
        if (showValues) {
          bool integer = table_->Type() == kSigTS || table_->Type() == kSigMTS;
          float f;
          std::memcpy(&f, &r->value, 4);
          name += "  =  " + (integer ? QString::number(r->value) : GeneralFormat(f, 7));
        }
        return name;
      }
    }
  }
  if (role == Qt::ForegroundRole) {
    if (col == TCol::Name) {
      if (r->selected) return QColor(Qt::white);
      if (r->unresolved) return QColor(Qt::gray);
      if (r->Renamed()) return QColor(Qt::blue);
    }
    if (col == TCol::Kind && r->tsKind == 2) return QColor(Qt::gray);
    if (col == TCol::No && compareWith && !compareWith->Holds(r)) return QColor(150, 150, 150);
  }
  if (role == Qt::BackgroundRole && col == TCol::Name && r->selected) return QColor(0, 0, 128);
  if (role == Qt::BackgroundRole && col == TCol::No && compareWith && !compareWith->Holds(r)) return QColor(245, 245, 245);
  return {};
}

// ---------------------------------------------------------------------------------------
TParamsView::TParamsView(TFrameParams& owner, QWidget* parent) : QTableView(parent), owner_(owner) {
  setSelectionMode(NoSelection);
  setEditTriggers(NoEditTriggers);
  setWordWrap(false);
  verticalHeader()->hide();
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  horizontalHeader()->setStretchLastSection(true);
  horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  setAcceptDrops(!owner.IsStorageList());
  setDragDropMode(owner.IsStorageList() ? DragOnly : DragDrop);
}

bool TParamsView::MayDragRows() const {
  TParams* t = owner_.Table();
  if (!t) return false;
  if (owner_.IsStorageList()) {
    auto* panel = owner_.window()->findChild<TStoragePanel*>();
    return panel && panel->AddSelectEnabled();
  }
  return CanMoveRowsWithin(*t);
}

void TParamsView::mousePressEvent(QMouseEvent* e) {
  QPoint p = e->position().toPoint();
  int row = rowAt(p.y());
  mayDrag_ = false;
  narrowOnRelease_ = -1;
  pressPos_ = p;
  if (e->button() != Qt::LeftButton || row < 0) {
    owner_.ClickCell(-1, TCol::No, e->modifiers());
    return;
  }
  setFocus(Qt::MouseFocusReason);
  TCol col = owner_.model->ColumnAt(columnAt(p.x()));
  TParams* t = owner_.Table();
  const TParam* r = t ? t->At(row) : nullptr;
  // A press on an already selected row may start a drag instead of changing the selection;
  // released without a drag, it is a plain click and selects only that row.
  if (r && r->selected && col == TCol::Name && e->modifiers() == Qt::NoModifier) {
    mayDrag_ = MayDragRows();
    narrowOnRelease_ = row;
    setCurrentIndex(owner_.model->index(row, 0));
    return;
  }
  setCurrentIndex(owner_.model->index(row, 0));
  owner_.ClickCell(row, col, e->modifiers());
  mayDrag_ = r && r->selected && MayDragRows();
}

void TParamsView::mouseReleaseEvent(QMouseEvent* e) {
  int row = narrowOnRelease_;
  narrowOnRelease_ = -1;
  mayDrag_ = false;
  if (row >= 0 && e->button() == Qt::LeftButton) owner_.ClickCell(row, TCol::Name, Qt::NoModifier);
}

void TParamsView::mouseDoubleClickEvent(QMouseEvent* e) {
  QPoint p = e->position().toPoint();
  int row = rowAt(p.y());
  narrowOnRelease_ = -1;
  if (row >= 0 && owner_.model->ColumnAt(columnAt(p.x())) == TCol::Name) owner_.OpenNameEditor(row);
}

void TParamsView::mouseMoveEvent(QMouseEvent* e) {
  if (!mayDrag_ || !(e->buttons() & Qt::LeftButton) ||
      (e->position().toPoint() - pressPos_).manhattanLength() < QApplication::startDragDistance())
    return;
  mayDrag_ = false;
  narrowOnRelease_ = -1;
  if (!MayDragRows()) return;
  QMimeData* mime = DragMime();
  auto* drag = new QDrag(this);
  drag->setMimeData(mime);
  drag->exec(Qt::CopyAction | Qt::MoveAction);
}

QMimeData* TParamsView::DragMime() const {
  // Rows of a table name the table they come from: they may only be dropped back onto it.
  auto* mime = new QMimeData;
  mime->setData(kRowsMime, owner_.IsStorageList()
                               ? QByteArray("storage")
                               : "table " + QByteArray::number(reinterpret_cast<quintptr>(owner_.Table())));
  return mime;
}

namespace {
bool FromStorage(const QMimeData* m) { return m->data(kRowsMime) == "storage"; }
bool FromTable(const QMimeData* m, const TParams* t) {
  return t && m->data(kRowsMime) == "table " + QByteArray::number(reinterpret_cast<quintptr>(t));
}
}  // namespace

void TParamsView::keyPressEvent(QKeyEvent* e) {
  TParams* t = owner_.Table();
  int count = t ? t->Count() : 0;
  int row = currentIndex().isValid() ? currentIndex().row() : -1;
  auto mods = e->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier);
  int to = -1;
  switch (e->key()) {
    case Qt::Key_Up: to = row < 0 ? 0 : row - 1; break;
    case Qt::Key_Down: to = row < 0 ? 0 : row + 1; break;
    case Qt::Key_PageUp: to = std::max(0, row - std::max(1, viewport()->height() / rowHeight(0) - 1)); break;
    case Qt::Key_PageDown: to = std::min(count - 1, row + std::max(1, viewport()->height() / rowHeight(0) - 1)); break;
    case Qt::Key_Home: to = 0; break;
    case Qt::Key_End: to = count - 1; break;
    case Qt::Key_Space:
      // Space toggles the focused row as Ctrl+click does.
      if (row >= 0) owner_.ClickCell(row, TCol::Name, Qt::ControlModifier);
      return;
    case Qt::Key_F2:
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (row >= 0) owner_.OpenNameEditor(row);
      return;
    default: QTableView::keyPressEvent(e); return;
  }
  if (count == 0 || to < 0 || to >= count) return;
  setCurrentIndex(owner_.model->index(to, currentIndex().isValid() ? currentIndex().column() : 0));
  scrollTo(currentIndex());
  // Arrows select as clicks do: plain moves the selection, Shift extends it, Ctrl only moves.
  if (mods == Qt::ControlModifier) return;
  owner_.ClickCell(to, TCol::Name, mods);
}

void TParamsView::dragEnterEvent(QDragEnterEvent* e) {
  if (!owner_.IsStorageList() && e->mimeData()->hasFormat(kRowsMime)) e->acceptProposedAction();
  else e->ignore();
}

void TParamsView::dragMoveEvent(QDragMoveEvent* e) {
  if (owner_.IsStorageList() || !e->mimeData()->hasFormat(kRowsMime)) {
    e->ignore();
    return;
  }
  bool fromStorage = FromStorage(e->mimeData());
  TParams* t = owner_.Table();
  // Rows of this table move only within an output table; storage rows go into output tables.
  bool ok = t && (fromStorage ? t->IsOutput() : (FromTable(e->mimeData(), t) && CanMoveRowsWithin(*t)));
  if (ok) e->acceptProposedAction();
  else e->ignore();
}

void TParamsView::dropEvent(QDropEvent* e) {
  int row = rowAt(e->position().toPoint().y());
  TParams* t = owner_.Table();
  if (!t) return;
  if (row < 0) row = t->Count();
  bool fromStorage = FromStorage(e->mimeData());
  if (!fromStorage && !FromTable(e->mimeData(), t)) {
    e->ignore();
    return;
  }
  if (owner_.DropRows(fromStorage, row)) e->acceptProposedAction();
  else e->ignore();
}

// ---------------------------------------------------------------------------------------
TFrameParams::TFrameParams(TFrame1& owner, QWidget* parent, bool storageList)
    : TEditorFrame(owner, parent), storageList_(storageList) {
  setObjectName(storageList ? "StorageList" : "TFrameParams");
  auto* lay = new QVBoxLayout(this);
  lay->setContentsMargins(0, 0, 0, 0);
  ValueBox = new QCheckBox("Значение", this);
  ValueBox->setObjectName("ValueBox");
  ValueBox->setToolTip("Текущие значения из контроллера");
  lay->addWidget(ValueBox);
  model = new TParamsModel(this);
  view = new TParamsView(*this, this);
  view->setModel(model);
  lay->addWidget(view);
  if (!storageList) {
    live = new TLiveValues(*this, *ValueBox);
    connect(ValueBox, &QCheckBox::toggled, this, [this](bool on) {
      if (on) live->Start();
      else live->Stop();
    });
  }
}

TFrameParams::~TFrameParams() {
  // Live values end (and the link closes) while the model they draw into still exists.
  delete live;
  live = nullptr;
}

TParams* TFrameParams::Table() const { return model->Table(); }

void TFrameParams::ShowItem(TItem* item) {
  // Values belong to the table they were read for.
  if (live && item != item_) live->Stop();
  item_ = item;
  auto* t = dynamic_cast<TParams*>(item);
  model->SetTable(t, storageList_);
  if (!t) return;
  QHeaderView* h = view->horizontalHeader();
  h->setVisible(!storageList_);  // the main frame shows the header for every type, lists never
  for (int c = 0; c < model->columnCount(); ++c) {
    int w = 90;
    switch (model->ColumnAt(c)) {
      case TCol::No: w = 49; break;
      case TCol::Inversion: w = 80; break;
      case TCol::Kind: w = 44; break;
      case TCol::Blocking: w = 110; break;
      case TCol::Name: w = 200; break;
      default: break;
    }
    view->setColumnWidth(c, w);
  }
  int type = t->Type();
  ValueBox->setVisible(!storageList_ && t->IsSource() &&
                       (type == kSigTS || type == kSigTI || type == kSigTII || type == kSigMTS));
}

void TFrameParams::Refresh() {
  // The model is reset after every edit; the focused row and the scroll position survive it,
  // so the next command ("Добавить пустую строку", the arrows) works where the user was.
  int top = view->rowAt(0);
  QModelIndex cur = view->currentIndex();
  int curRow = cur.isValid() ? cur.row() : -1, curCol = cur.isValid() ? cur.column() : 0;
  model->Refresh();
  int rows = model->rowCount();
  if (top > 0 && rows > 0)
    view->scrollTo(model->index(std::min(top, rows - 1), 0), QAbstractItemView::PositionAtTop);
  if (curRow >= 0 && rows > 0) {
    auto* sel = view->selectionModel();
    sel->setCurrentIndex(model->index(std::min(curRow, rows - 1), std::min(curCol, model->columnCount() - 1)),
                         QItemSelectionModel::NoUpdate);
  }
}

void TFrameParams::StoreItem() {
  // A name still being typed belongs to the table before it is stored, saved or sent.
  if (nameEditor) CommitNameEditor();
}

void TFrameParams::ClickCell(int row, TCol col, Qt::KeyboardModifiers mods) {
  TParams* t = Table();
  if (!t) return;
  TStorage& st = Doc().Storage();
  if (nameEditor) CommitNameEditor();
  TParam* r = t->At(row);
  if (!r) {
    t->ClearSelection();
    st.RefreshViews();
    return;
  }
  switch (col) {
    case TCol::Inversion:
      t->SelectOnly(row);
      t->ToggleInversion(row);
      break;
    case TCol::Kind: {
      t->SelectOnly(row);
      TParam* next = t->At(row + 1);
      if (!next || r->tsKind == 2 || next->tsKind == 1 || r->locked) break;
      QMenu menu(this);
      QAction* single = menu.addAction("Однопозиционный  (1, 30)");
      QAction* dbl = menu.addAction("Двухпозиционный  (3, 31)");
      QRect cell = view->visualRect(model->index(row, model->ColumnOf(TCol::Kind)));
      QAction* chosen = menu.exec(view->viewport()->mapToGlobal(cell.bottomLeft()));
      if (chosen == single) t->SetPairKind(row, 0);
      else if (chosen == dbl) t->SetPairKind(row, 1);
      break;
    }
    case TCol::Gain: {
      t->SelectOnly(row);
      TEditorTI dlg(owner_, *t, row, window());
      if (RunModal(dlg) == TEditorTI::kGoToGroups) Doc().Messages().SelectNode(Doc().ProcNode());
      break;
    }
    case TCol::Group: {
      if (!r->selected) t->SelectOnly(row);
      QMenu menu(this);
      menu.addAction("")->setData(QString());
      if (TProc* p = Doc().Proc())
        for (std::uint32_t g = 0; g < std::min<std::uint32_t>(p->groupCount, TProc::kMaxGroups); ++g)
          menu.addAction(Q(p->groups[g].name))->setData(Q(p->groups[g].name));
      QRect cell = view->visualRect(model->index(row, model->ColumnOf(TCol::Group)));
      if (QAction* a = menu.exec(view->viewport()->mapToGlobal(cell.bottomLeft())))
        t->SetGroupOfSelected(S(a->data().toString()));
      break;
    }
    case TCol::Blocking: {
      t->SelectOnly(row);
      TEditorTU dlg(*t, row, window());
      RunModal(dlg);
      break;
    }
    default:
      if (mods & Qt::ControlModifier) {
        r->selected = !r->selected;
      } else if (mods & Qt::ShiftModifier) {
        int first = -1;
        for (int i = 0; i < t->Count() && first < 0; ++i)
          if (t->At(i)->selected) first = i;
        if (first < 0) first = row;
        for (int i = std::min(first, row); i <= std::max(first, row); ++i) t->At(i)->selected = true;
      } else {
        t->SelectOnly(row);
      }
      break;
  }
  st.RefreshViews();
}

void TFrameParams::OpenNameEditor(int row) {
  TParams* t = Table();
  TParam* r = t ? t->At(row) : nullptr;
  if (!r || r->locked || !t->IsSource() || storageList_) return;
  if (nameEditor) CommitNameEditor();
  nameRow = row;
  nameEditor = new QLineEdit(view->viewport());
  nameEditor->setObjectName("NameEditor");
  nameEditor->setMaxLength(64);
  nameEditor->setText(Q(r->prefix.empty() ? r->Name() : r->Suffix()));
  nameEditor->setGeometry(view->visualRect(model->index(row, model->ColumnOf(TCol::Name))));
  nameEditor->show();
  nameEditor->setFocus();
  nameEditor->selectAll();
  connect(nameEditor, &QLineEdit::returnPressed, this, [this] { CommitNameEditor(); });
  connect(nameEditor, &QLineEdit::editingFinished, this, [this] {
    if (nameEditor && !nameEditor->hasFocus()) CommitNameEditor();
  });
  // Up and Down commit and move the editor.
  auto* up = new QAction(nameEditor);
  up->setShortcut(Qt::Key_Up);
  up->setShortcutContext(Qt::WidgetShortcut);
  connect(up, &QAction::triggered, this, [this] { CommitNameEditor(-1); });
  nameEditor->addAction(up);
  auto* down = new QAction(nameEditor);
  down->setShortcut(Qt::Key_Down);
  down->setShortcutContext(Qt::WidgetShortcut);
  connect(down, &QAction::triggered, this, [this] { CommitNameEditor(1); });
  nameEditor->addAction(down);
  auto* esc = new QAction(nameEditor);
  esc->setShortcut(Qt::Key_Escape);
  esc->setShortcutContext(Qt::WidgetShortcut);
  connect(esc, &QAction::triggered, this, &TFrameParams::CancelNameEditor);
  nameEditor->addAction(esc);
}

void TFrameParams::CancelNameEditor() {
  if (!nameEditor) return;
  QLineEdit* ed = nameEditor;
  nameEditor = nullptr;
  ed->hide();
  ed->deleteLater();
  view->setFocus();
}

void TFrameParams::CommitNameEditor(int moveBy) {
  if (!nameEditor) return;
  QLineEdit* ed = nameEditor;
  nameEditor = nullptr;
  int row = nameRow;
  QString text = ed->text();
  bool hadFocus = ed->hasFocus();
  ed->hide();
  ed->deleteLater();
  if (hadFocus && moveBy == 0) view->setFocus();
  if (TParams* t = Table()) {
    t->RenameRow(row, S(text));
    Doc().Storage().RefreshViews();
    int next = row + moveBy;
    if (moveBy != 0 && next >= 0 && next < t->Count()) OpenNameEditor(next);
  }
}

bool TFrameParams::DropRows(bool fromStorage, int pos) {
  TParams* t = Table();
  if (!t || storageList_) return false;
  if (fromStorage) {
    auto* panel = window()->findChild<TStoragePanel*>();
    if (!panel || !t->IsOutput()) return false;
    t->InsertSelected(panel->ActiveList(), pos);
  } else {
    if (!CanMoveRowsWithin(*t)) return false;
    t->MoveSelectedTo(pos);
  }
  Doc().Storage().RefreshViews();
  return true;
}

// ---------------------------------------------------------------------------------------
TEditorTI::TEditorTI(TFrame1& frame, TParams& table, int row, QWidget* parent)
    : TRightCloseDialog(parent), frame_(frame), table_(table), row_(row) {
  setObjectName("TEditorTI");
  setProperty("helpContext", 6);
  const TParam* r = table.At(row);
  setWindowTitle("Настройка параметра ТИ  " + (r ? Q(r->Name()) : QString()));
  auto* lay = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
  GainEdit = new QLineEdit(this);
  GainEdit->setObjectName("GainEdit");
  OffsetEdit = new QLineEdit(this);
  OffsetEdit->setObjectName("OffsetEdit");
  GroupEdit = new QComboBox(this);
  GroupEdit->setObjectName("GroupEdit");
  GroupEdit->addItem("");
  if (TProc* p = frame.Doc().Proc())
    for (std::uint32_t g = 0; g < std::min<std::uint32_t>(p->groupCount, TProc::kMaxGroups); ++g)
      GroupEdit->addItem(Q(p->groups[g].name));
  form->addRow("Множитель", GainEdit);
  form->addRow("Смещение", OffsetEdit);
  form->addRow("Группа ТИ", GroupEdit);
  lay->addLayout(form);

  auto* calc = new QGroupBox(" Вычислитель множителя и смещения ", this);
  auto* cf = new QFormLayout(calc);
  cf->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
  auto combo = [&](const char* name, const char* key) {
    auto* c = new QComboBox(calc);
    c->setObjectName(name);
    c->setEditable(true);
    auto it = frame.editorTISettings.find(key);
    if (it != frame.editorTISettings.end())
      for (const QString& v : Q(it->second).split(';', Qt::SkipEmptyParts)) c->addItem(v.trimmed());
    c->setEditText("0");
    cf->addRow(QString::fromUtf8(key), c);
    return c;
  };
  MinEdit = combo("MinEdit", "Минимум квантов");
  MaxEdit = combo("MaxEdit", "Максимум квантов");
  LowEdit = combo("LowEdit", "Нижний предел");
  HiEdit = combo("HiEdit", "Верхний предел");
  SetButton = new QPushButton("Установить", calc);
  cf->addRow("", SetButton);
  lay->addWidget(calc);

  auto* tpl = new QHBoxLayout;
  SaveTemplate = new QPushButton("Сохранить ТИ в шаблон", this);
  LoadTemplate = new QPushButton("Заполнить ТИ из шаблона", this);
  tpl->addWidget(SaveTemplate);
  tpl->addWidget(LoadTemplate);
  lay->addLayout(tpl);
  auto* buttons = new QHBoxLayout;
  GroupsButton = new QPushButton("Перейти в настройку групп", this);
  AcceptButton = new QPushButton("Принять", this);
  CancelButton = new QPushButton("Отмена", this);
  AcceptButton->setDefault(true);
  buttons->addWidget(GroupsButton);
  buttons->addStretch();
  buttons->addWidget(AcceptButton);
  buttons->addWidget(CancelButton);
  lay->addLayout(buttons);

  if (r) {
    GainEdit->setText(Num6(r->gain));
    OffsetEdit->setText(Num6(r->offset));
    GroupEdit->setCurrentIndex(std::max(0, GroupEdit->findText(Q(r->group))));
  }
  LoadTemplate->setEnabled(frame.Doc().Storage().tiTemplate.present);
  GainEdit->installEventFilter(this);
  OffsetEdit->installEventFilter(this);

  connect(SetButton, &QPushButton::clicked, this, &TEditorTI::Calculate);
  connect(SaveTemplate, &QPushButton::clicked, this, [this] {
    if (!CheckNumber(GainEdit) || !CheckNumber(OffsetEdit)) return;
    TTITemplate& t = frame_.Doc().Storage().tiTemplate;
    t.present = true;
    double gain = 0, offset = 0;
    ParseUserNumber(GainEdit->text(), &gain);
    ParseUserNumber(OffsetEdit->text(), &offset);
    t.gain = static_cast<float>(gain);
    t.offset = static_cast<float>(offset);
    t.group = S(GroupEdit->currentText());
    LoadTemplate->setEnabled(true);
    frame_.StoragePanel()->SyncWithCurrentItem(frame_.CurrentItem());
  });
  connect(LoadTemplate, &QPushButton::clicked, this, [this] {
    const TTITemplate& t = frame_.Doc().Storage().tiTemplate;
    GainEdit->setText(Num6(t.gain));
    OffsetEdit->setText(Num6(t.offset));
    GroupEdit->setCurrentIndex(std::max(0, GroupEdit->findText(Q(t.group))));
  });
  connect(AcceptButton, &QPushButton::clicked, this, &TEditorTI::Accept);
  connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
  connect(GroupsButton, &QPushButton::clicked, this, [this] { done(kGoToGroups); });
}

bool TEditorTI::CheckNumber(QLineEdit* e) {
  if (!ParseUserNumber(e->text(), nullptr)) {
    frame_.Doc().Messages().ShowError("Ошибка значения!");
    e->setFocus();
    return false;
  }
  return true;
}

bool TEditorTI::eventFilter(QObject* o, QEvent* e) {
  if (e->type() == QEvent::FocusOut && (o == GainEdit || o == OffsetEdit) && isVisible()) {
    auto* fe = static_cast<QFocusEvent*>(e);
    // Leaving the field for the cancel button does not insist on a number.
    if (fe->reason() != Qt::PopupFocusReason && !CancelButton->underMouse()) CheckNumber(static_cast<QLineEdit*>(o));
  }
  return TRightCloseDialog::eventFilter(o, e);
}

void TEditorTI::Calculate() {
  if (MinEdit->currentText().trimmed() == MaxEdit->currentText().trimmed()) {
    frame_.Doc().Messages().ShowError("Ошибка. Минимум и максимум квантов должны быть разными.");
    return;
  }
  double mn = 0, mx = 0, lo = 0, hi = 0;
  bool ok = ParseUserNumber(MinEdit->currentText(), &mn) && ParseUserNumber(MaxEdit->currentText(), &mx) &&
            ParseUserNumber(LowEdit->currentText(), &lo) && ParseUserNumber(HiEdit->currentText(), &hi);
  if (!ok || mx == mn) {
    frame_.Doc().Messages().ShowError("Ошибка значения!");
    return;
  }
  double gain = (hi - lo) / (mx - mn);
  if (!std::isfinite(gain) || !std::isfinite(lo - gain * mn)) {
    frame_.Doc().Messages().ShowError("Ошибка значения!");
    return;
  }
  GainEdit->setText(Num6(gain));
  OffsetEdit->setText(Num6(lo - gain * mn));
}

void TEditorTI::Accept() {
  if (!CheckNumber(GainEdit) || !CheckNumber(OffsetEdit)) return;
  double gain = 0, offset = 0;
  ParseUserNumber(GainEdit->text(), &gain);
  ParseUserNumber(OffsetEdit->text(), &offset);
  table_.AcceptTI(row_, static_cast<float>(gain), static_cast<float>(offset), S(GroupEdit->currentText()));
  accept();
}

// ---------------------------------------------------------------------------------------
TEditorTU::TEditorTU(TParams& table, int row, QWidget* parent) : TRightCloseDialog(parent), table_(table), row_(row) {
  setObjectName("TEditorTU");
  setProperty("helpContext", 6);
  const TParam* r = table.At(row);
  setWindowTitle("Выбор сигналов блокировки выдачи ТУ " + (r ? Q(r->Name()) : QString()));
  auto* lay = new QVBoxLayout(this);
  QStringList names{""};
  if (TStorage* st = table.Storage()) {
    const TParams& ts = st->List(kSigTS);
    for (int i = 0; i < ts.Count(); ++i) names << Q(ts.At(i)->Name());
  }
  auto chooser = [&](const char* caption, const char* name, const TParamRef& current) {
    lay->addWidget(new QLabel(caption, this));
    auto* row = new QHBoxLayout;
    auto* c = new QComboBox(this);
    c->setObjectName(name);
    c->addItems(names);
    c->setMinimumWidth(320);
    // Thousands of ТС names: typing any part of a name finds it.
    c->setEditable(true);
    c->setInsertPolicy(QComboBox::NoInsert);
    auto* completer = new QCompleter(names, c);
    completer->setCaseSensitivity(Qt::CaseInsensitive);
    completer->setFilterMode(Qt::MatchContains);
    completer->setCompletionMode(QCompleter::PopupCompletion);
    c->setCompleter(completer);
    c->setCurrentIndex(current ? std::max(0, c->findText(Q(current->Name()))) : 0);
    auto* clear = new QPushButton("Очистить", this);
    connect(clear, &QPushButton::clicked, c, [c] { c->setCurrentIndex(0); });
    row->addWidget(c, 1);
    row->addWidget(clear);
    lay->addLayout(row);
    return c;
  };
  OnBox = chooser("ТС блокирующий / разрешающий выдачу ТУ Включить", "OnBox", r ? r->blockOn : TParamRef());
  OffBox = chooser("ТС блокирующий / разрешающий выдачу ТУ Отключить", "OffBox", r ? r->blockOff : TParamRef());
  lay->addWidget(new QLabel("Значение 0 выбранного ТС блокирует выдачу команды ТУ,\n"
                            "значение 1 разрешает её.", this));
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  auto* ok = new QPushButton("Принять", this);
  auto* cancel = new QPushButton("Отмена", this);
  ok->setDefault(true);
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  lay->addLayout(buttons);
  connect(ok, &QPushButton::clicked, this, &TEditorTU::Accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TEditorTU::Accept() {
  // A typed name must be one of the list: a name that matches nothing is not silently dropped.
  for (QComboBox* c : {OnBox, OffBox}) {
    QString t = c->currentText().trimmed();
    if (!t.isEmpty() && c->findText(t, Qt::MatchFixedString | Qt::MatchCaseSensitive) < 0) {
      TErrorDlg err("Сигнал ТС \"" + t + "\" не найден.", this);
      RunModal(err);
      c->setFocus();
      return;
    }
  }
  table_.SetBlocking(row_, S(OnBox->currentText().trimmed()), S(OffBox->currentText().trimmed()));
  accept();
}

// ---------------------------------------------------------------------------------------
void RegisterTableFrames() {
  for (int type = 1; type <= 6; ++type)
    RegisterFrame(SignalTypeInfo(type).tableClass, [](TFrame1& o, QWidget* p) { return new TFrameParams(o, p); });
}

}  // namespace t32::ui
