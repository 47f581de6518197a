#include "ui/table_frame.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QVBoxLayout>

#include "model/messages.h"
#include "ports/app_context.h"
#include "ui/dialogs.h"
#include "ui/settings.h"

namespace t32::ui {

QVariant TGridModel::data(const QModelIndex& i, int role) const {
  if (!i.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole)) return {};
  return QString::fromStdString(g_.Cell(i.row() + 1, i.column() + 1));
}

QVariant TGridModel::headerData(int section, Qt::Orientation o, int role) const {
  if (role != Qt::DisplayRole) return {};
  if (o == Qt::Horizontal) return QString::fromStdString(g_.Heading(section + 1));
  return QString::fromStdString(g_.RowNumber(section + 1));
}

Qt::ItemFlags TGridModel::flags(const QModelIndex& i) const {
  return i.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

void TGridModel::Reset() {
  beginResetModel();
  endResetModel();
}

void TGridModel::CellChanged(int row, int col) {
  QModelIndex i = index(row - 1, col - 1);
  emit dataChanged(i, i);
}

// ---------------------------------------------------------------------------------------
TGridView::TGridView(TTableFrame& frame, QWidget* parent) : QTableView(parent), f_(frame) {
  setSelectionMode(QAbstractItemView::ContiguousSelection);
  setSelectionBehavior(QAbstractItemView::SelectItems);
  setShowGrid(true);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  horizontalHeader()->setDefaultSectionSize(36);
  verticalHeader()->setDefaultAlignment(Qt::AlignCenter);
}

void TGridView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  QTableView::currentChanged(current, previous);
  fresh_ = true;
}

void TGridView::keyPressEvent(QKeyEvent* e) {
  f_.SyncFromView();
  TGridTable& g = f_.grid;
  const int key = e->key();
  if (key == Qt::Key_Down && !(e->modifiers() & Qt::ShiftModifier) && g.currentRow == g.RowCount()) {
    if (!g.KeyDown()) QApplication::beep();
    else f_.Touch();
    f_.Refresh();
    return;
  }
  if (key == Qt::Key_Right && !(e->modifiers() & Qt::ShiftModifier) && g.currentCol == g.ColumnCount()) {
    if (!g.KeyRight()) QApplication::beep();
    else f_.Touch();
    f_.Refresh();
    return;
  }
  char ch = 0;
  if (key == Qt::Key_Backspace) ch = kKeyBackspace;
  else if (key == Qt::Key_Delete) ch = kKeyDelete;
  else if (key == Qt::Key_Return || key == Qt::Key_Enter) ch = kKeyEnter;
  else if (!e->text().isEmpty() && e->text()[0].isPrint()) ch = e->text()[0].toLatin1() ? e->text()[0].toLatin1() : '?';
  if (!ch) {
    QTableView::keyPressEvent(e);
    return;
  }
  const std::string text = g.Cell(g.currentRow, g.currentCol);
  // Right after moving the editor holds the whole text selected.
  TCellEdit edit{text, text.size(), fresh_ ? 0 : text.size(), fresh_ ? text.size() : 0};
  if (ch == kKeyEnter) {
    const bool block = g.selTop != g.selBottom || g.selLeft != g.selRight;
    g.TypeKey(edit, ch);
    if (block) {
      f_.Touch();
      f_.model->Reset();
      f_.Refresh();
    }
    return;
  }
  if (!g.TypeKey(edit, ch)) {
    QApplication::beep();
    return;
  }
  fresh_ = false;
  f_.Touch();
  f_.model->CellChanged(g.currentRow, g.currentCol);
}

void TGridView::contextMenuEvent(QContextMenuEvent* e) {
  QModelIndex i = indexAt(e->pos());
  if (i.isValid()) setCurrentIndex(i);
  QMenu* m = f_.MakeMenu();
  m->exec(e->globalPos());
  m->deleteLater();
}

// ---------------------------------------------------------------------------------------
TTableFrame::TTableFrame(QWidget* parent) : QWidget(parent) {
  setObjectName("TTableFrame");
  auto* lay = new QVBoxLayout(this);
  lay->setContentsMargins(0, 0, 0, 0);
  model = new TGridModel(grid, this);
  view = new TGridView(*this, this);
  view->setObjectName("Grid");
  view->setModel(model);
  lay->addWidget(view);
}

void TTableFrame::SetColumns(const std::vector<TGridColumn>& cols) {
  grid = TGridTable(static_cast<int>(cols.size()));
  for (std::size_t c = 0; c < cols.size(); ++c) grid.Column(static_cast<int>(c + 1)) = cols[c];
  model->Reset();
  for (std::size_t c = 0; c < cols.size(); ++c) view->setColumnWidth(static_cast<int>(c), cols[c].width);
}

void TTableFrame::ShowEntries(const std::vector<std::vector<std::uint8_t>>& entries) {
  grid.ShowEntries(entries);
  touched_ = false;
  Refresh();
}

void TTableFrame::SyncFromView() {
  QModelIndex cur = view->currentIndex();
  if (cur.isValid()) {
    grid.currentRow = cur.row() + 1;
    grid.currentCol = cur.column() + 1;
  }
  grid.selTop = grid.selBottom = grid.currentRow;
  grid.selLeft = grid.selRight = grid.currentCol;
  const QItemSelection sel = view->selectionModel() ? view->selectionModel()->selection() : QItemSelection();
  if (!sel.isEmpty()) {
    const QItemSelectionRange& r = sel.first();
    grid.selTop = r.top() + 1;
    grid.selBottom = r.bottom() + 1;
    grid.selLeft = r.left() + 1;
    grid.selRight = r.right() + 1;
  }
}

void TTableFrame::Refresh() {
  model->Reset();
  for (int c = 1; c <= grid.ColumnCount(); ++c) view->setColumnWidth(c - 1, grid.Column(c).width);
  view->setCurrentIndex(model->index(grid.currentRow - 1, grid.currentCol - 1));
}

bool TTableFrame::ReadEntries(std::vector<std::vector<std::uint8_t>>& out, TMessages& msgs) {
  if (grid.ReadEntries(out, msgs)) return true;
  Refresh();
  view->setFocus();
  return false;
}

QMenu* TTableFrame::MakeMenu() {
  auto* m = new QMenu(this);
  m->setObjectName("GridMenu");
  connect(m->addAction("Вставить  пустую строку"), &QAction::triggered, this, &TTableFrame::InsertEmpty);
  connect(m->addAction("Вставить копию строки"), &QAction::triggered, this, &TTableFrame::InsertCopy);
  m->addSeparator();
  connect(m->addAction("Удалить строку"), &QAction::triggered, this, &TTableFrame::DeleteCurrentRow);
  m->addSeparator();
  connect(m->addAction("Читать таблицу из текстового файла"), &QAction::triggered, this, &TTableFrame::ReadTextFile);
  connect(m->addAction("Сохранить таблицу в текстовом файле"), &QAction::triggered, this, &TTableFrame::SaveTextFile);
  return m;
}

void TTableFrame::InsertEmpty() {
  SyncFromView();
  if (!grid.InsertEmptyRow()) QApplication::beep();
  else touched_ = true;
  Refresh();
}

void TTableFrame::InsertCopy() {
  SyncFromView();
  if (!grid.InsertCopyRow()) QApplication::beep();
  else touched_ = true;
  Refresh();
}

void TTableFrame::DeleteCurrentRow() {
  SyncFromView();
  grid.DeleteRow();
  touched_ = true;
  Refresh();
}

QString TTableFrame::Folder() const {
  if (ctx_ && !ctx_->tableFolder.empty()) return QString::fromStdString(ctx_->tableFolder);
  return DataFolder(QCoreApplication::applicationDirPath());
}

void TTableFrame::ReadTextFile() {
  QString path = QFileDialog::getOpenFileName(this, "Читать таблицу из текстового файла", Folder(),
                                              "Текстовые файлы (*.txt);;Все файлы (*)");
  if (path.isEmpty()) return;
  if (ctx_) ctx_->tableFolder = QFileInfo(path).absolutePath().toStdString();
  std::string msg = grid.LoadFile(path.toStdString());
  touched_ = true;
  Refresh();
  if (!msg.empty()) TQtMessages(this).ShowError(msg);
}

void TTableFrame::SaveTextFile() {
  QString folder = Folder();
  QDir().mkpath(folder);
  const QDate d = QDate::currentDate();
  QString name = QString::fromStdString(DefaultTableFileName(folder.toStdString(), d.year(), d.month(), d.day()));
  QString path = QFileDialog::getSaveFileName(this, "Сохранить таблицу в текстовом файле", name,
                                              "Текстовые файлы (*.txt);;Все файлы (*)");
  if (path.isEmpty()) return;
  if (ctx_) ctx_->tableFolder = QFileInfo(path).absolutePath().toStdString();
  std::string msg = grid.SaveFile(path.toStdString());
  if (!msg.empty()) TQtMessages(this).ShowError(msg);
}

}  // namespace t32::ui
