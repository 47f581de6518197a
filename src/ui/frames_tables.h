// Signal table editors: the list frame (a model over one table and its view), the ТИ dialog
// and the ТУ dialog. The same list frame shows the six storage lists of the storage panel.
#pragma once
#include <QAbstractTableModel>
#include <QTableView>
#include <vector>

#include "ui/dialogs.h"
#include "ui/frames.h"

class QCheckBox;
class QComboBox;
class QMimeData;
class QLineEdit;

namespace t32 {
class TParams;
class TParam;
}  // namespace t32

namespace t32::ui {

class TFrameParams;
class TLiveValues;

// Columns of a list frame.
enum class TCol { No, Inversion, Kind, Gain, Group, Blocking, Address, Name };

class TParamsModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  explicit TParamsModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}
  void SetTable(TParams* t, bool storageList);
  TParams* Table() const { return table_; }
  const std::vector<TCol>& Columns() const { return cols_; }
  TCol ColumnAt(int c) const { return c >= 0 && c < static_cast<int>(cols_.size()) ? cols_[c] : TCol::No; }
  int ColumnOf(TCol c) const;
  void Refresh();
  // Storage lists: rows not yet in this output table are drawn lighter.
  TParams* compareWith = nullptr;
  bool showValues = false;

  int rowCount(const QModelIndex& p = {}) const override;
  int columnCount(const QModelIndex& p = {}) const override;
  QVariant data(const QModelIndex& i, int role) const override;
  QVariant headerData(int section, Qt::Orientation o, int role) const override;

 private:
  TParams* table_ = nullptr;
  bool storage_ = false;
  std::vector<TCol> cols_;
};

class TParamsView : public QTableView {
  Q_OBJECT
 public:
  TParamsView(TFrameParams& owner, QWidget* parent);
  // What a drag of the selected rows carries (storage rows, or rows of this very table).
  QMimeData* DragMime() const;

 protected:
  void mousePressEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void dragEnterEvent(QDragEnterEvent* e) override;
  void dragMoveEvent(QDragMoveEvent* e) override;
  void dropEvent(QDropEvent* e) override;

 private:
  // Storage lists drag when "Добавить выбранные" is on; tables only when their rows may move.
  bool MayDragRows() const;
  TFrameParams& owner_;
  QPoint pressPos_;
  bool mayDrag_ = false;
  int narrowOnRelease_ = -1;  // row pressed among several selected: selected alone on release
};

// The list frame. In the main editor it shows the current table; in the storage panel one
// storage list (storageList = true).
class TFrameParams : public TEditorFrame {
  Q_OBJECT
 public:
  TFrameParams(TFrame1& owner, QWidget* parent, bool storageList = false);
  ~TFrameParams() override;
  void ShowItem(TItem* item) override;
  void StoreItem() override;
  int HelpContext() const override { return 6; }
  void Refresh();
  TParams* Table() const;
  bool IsStorageList() const { return storageList_; }

  // Click rules by column (row -1: outside any row).
  void ClickCell(int row, TCol col, Qt::KeyboardModifiers mods);
  void OpenNameEditor(int row);
  void CommitNameEditor(int moveBy = 0);
  void CancelNameEditor();  // Esc: the name stays as it was
  // A drop at the row under the point (the count when below the last row).
  bool DropRows(bool fromStorage, int pos);

  TParamsModel* model;
  TParamsView* view;
  QCheckBox* ValueBox;
  TLiveValues* live = nullptr;  // "Значение": the rows' values read from the controller
  QLineEdit* nameEditor = nullptr;
  int nameRow = -1;

 private:
  bool storageList_;
};

// "Настройка параметра ТИ": gain, offset, group, calculator and template.
class TEditorTI : public TRightCloseDialog {
  Q_OBJECT
 public:
  enum { kGoToGroups = 10 };
  TEditorTI(TFrame1& frame, TParams& table, int row, QWidget* parent);
  QLineEdit *GainEdit, *OffsetEdit;
  QComboBox *GroupEdit, *MinEdit, *MaxEdit, *LowEdit, *HiEdit;
  QPushButton *SetButton, *SaveTemplate, *LoadTemplate, *AcceptButton, *CancelButton, *GroupsButton;
  void Calculate();
  bool CheckNumber(QLineEdit* e);
  void Accept();

 protected:
  bool eventFilter(QObject* o, QEvent* e) override;

 private:
  TFrame1& frame_;
  TParams& table_;
  int row_;
};

// "Выбор сигналов блокировки выдачи ТУ".
class TEditorTU : public TRightCloseDialog {
  Q_OBJECT
 public:
  TEditorTU(TParams& table, int row, QWidget* parent);
  QComboBox *OnBox, *OffBox;
  void Accept();

 private:
  TParams& table_;
  int row_;
};

// "%.6g" with the C locale's point.
QString Num6(double v);

}  // namespace t32::ui
