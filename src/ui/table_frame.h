// The grid table editor: a view over a TGridTable that hands it every key, the current cell and
// the selected block, with the row popup and the text-file commands. The rules are the model's.
#pragma once
#include <QAbstractTableModel>
#include <QTableView>
#include <QWidget>
#include <vector>

#include "model/gridtable.h"

class QMenu;

namespace t32 {
class TMessages;
class TAppContext;
}  // namespace t32

namespace t32::ui {

class TGridModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  explicit TGridModel(TGridTable& g, QObject* parent = nullptr) : QAbstractTableModel(parent), g_(g) {}
  int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : g_.RowCount(); }
  int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : g_.ColumnCount(); }
  QVariant data(const QModelIndex& i, int role) const override;
  QVariant headerData(int section, Qt::Orientation o, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& i) const override;
  void Reset();
  void CellChanged(int row, int col);

 private:
  TGridTable& g_;
};

class TTableFrame;

// Typing goes to the current cell: the first key after moving replaces the cell's text (the
// editor shows it selected), later keys add to it.
class TGridView : public QTableView {
  Q_OBJECT
 public:
  TGridView(TTableFrame& frame, QWidget* parent);

 protected:
  void keyPressEvent(QKeyEvent* e) override;
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
  void contextMenuEvent(QContextMenuEvent* e) override;

 private:
  TTableFrame& f_;
  bool fresh_ = true;
};

class TTableFrame : public QWidget {
  Q_OBJECT
 public:
  explicit TTableFrame(QWidget* parent = nullptr);
  // Columns (captions, widths, ranges); the grid is emptied.
  void SetColumns(const std::vector<TGridColumn>& cols);
  // Shows entries: one row each and an empty row below; the grid counts as untouched.
  void ShowEntries(const std::vector<std::vector<std::uint8_t>>& entries);
  // Reads the non-empty rows. False when a cell was answered with Cancel: the cell is current
  // and focused, out is unchanged.
  bool ReadEntries(std::vector<std::vector<std::uint8_t>>& out, TMessages& msgs);
  // True once the user changed a cell or a row since the last ShowEntries.
  bool Touched() const { return touched_; }
  // Where the text-file dialogs open (shared by all grids through the application context).
  void SetContext(TAppContext* ctx) { ctx_ = ctx; }

  // Copies the view's current cell and selected block into the model.
  void SyncFromView();
  // Shows the model again and puts the view on the model's current cell.
  void Refresh();
  QMenu* MakeMenu();
  void Touch() { touched_ = true; }

  TGridTable grid;
  TGridView* view;
  TGridModel* model;

  void ReadTextFile();
  void SaveTextFile();
  // The row commands as the popup runs them (beep when refused).
  void InsertEmpty();
  void InsertCopy();
  void DeleteCurrentRow();

 private:
  TAppContext* ctx_ = nullptr;
  bool touched_ = false;
  QString Folder() const;
};

}  // namespace t32::ui
