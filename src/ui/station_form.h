// The IEC 104 station editor: a tree of the station's groups, the objects of the selected
// group in a list, and the commands that edit them. Every rule is a station method; the
// window only moves values and calls them.
#pragma once
#include <QAbstractTableModel>
#include <QDialog>
#include <QTableView>
#include <memory>

#include "iec104/station.h"
#include "ports/app_context.h"

class QAction;
class QMenu;
class QToolBar;
class QTreeWidget;
class QTreeWidgetItem;

namespace t32 {
class TMessages;
}

namespace t32::ui {

class TProcDlg;
class TGroupDlg;
class TItemParamDlg;
class TCloneDialog;

// One opening of the station editor: where its messages go, and the state kept between
// openings (the clipboard and the import folder), which the application context owns. A
// context made without one keeps its own, for as long as it lives.
struct T104EditorContext {
  T104EditorContext() = default;
  explicit T104EditorContext(TStationEditorState& kept) : kept_(&kept) {}
  T104EditorContext(const T104EditorContext&) = delete;
  T104EditorContext& operator=(const T104EditorContext&) = delete;

  TStationEditorState& State() { return kept_ ? *kept_ : own_; }
  QString programDir;             // where the import and file choosers start the first time
  TMessages* messages = nullptr;  // where the editor's messages go (real windows when null)

 private:
  TStationEditorState* kept_ = nullptr;
  TStationEditorState own_;
};

// The objects of one node as list rows; owns nothing.
class TObjectListModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  using QAbstractTableModel::QAbstractTableModel;
  void SetNode(TConfigItem* node);
  TConfigItem* Node() const { return node_; }
  void Refresh();
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation o, int role) const override;
  void RowChanged(int row);
  // The text of a cell; "ошибка" when it cannot be made.
  QString CellText(int row, int column) const;

 private:
  TConfigItem* node_ = nullptr;
};

// The list view: a click near a row's left edge toggles its tick, Shift + left button drags a
// row onto another.
class TObjectView : public QTableView {
  Q_OBJECT
 public:
  using QTableView::QTableView;
  int dragRow = -1;  // the row being dragged, or -1
 signals:
  void TickClicked(int row);
  void RowClicked();
  void RowDropped(int from, int to);  // to == row count: below the last row
  void RowDoubleClicked(int row);

 protected:
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
};

class Tc104Form : public QDialog {
  Q_OBJECT
 public:
  explicit Tc104Form(T104EditorContext& ctx, QWidget* parent = nullptr);
  ~Tc104Form() override;
  // Shows the station (the tree rebuilt, the root selected).
  void SetStation(TWS_104* station);
  TWS_104* Station() const { return station_; }
  // Opens the window modally on the station.
  int Edit(TWS_104& station);

  // The node whose objects the list shows.
  TConfigItem* SelectedNode() const;
  void SelectNode(const TConfigItem* node);
  QTreeWidgetItem* ItemOf(const TConfigItem* node) const;
  std::vector<std::size_t> HighlightedRows() const;
  void RefreshActions();

  QToolBar* toolbar;
  QToolBar* toolbar2;
  QWidget* Button(QAction* a) const;  // the toolbar button of an action
  QTreeWidget* tree;
  TObjectView* list;
  TObjectListModel* model;
  QMenu* popup;
  QAction *actClose, *actLoadXml, *actTick, *actUntick, *actAddTag, *actAddGroup, *actRemove, *actParams,
      *actClone, *actCopy, *actCut, *actPaste, *actCheckAll, *actUncheckAll, *actSelectAll, *actReplace;
  // The dialogs, made on first use and kept.
  TProcDlg* ProcDlg();
  TGroupDlg* GroupDlg();
  TItemParamDlg* ItemDlg();
  TCloneDialog* CloneDlg();

  void AddGroup();
  void AddTag();
  void Remove();
  void Params();
  void Clone();
  void Copy();
  void Cut();
  void Paste();
  void LoadFromXml();
  void ImportFile(const QString& path);

 protected:
  void keyPressEvent(QKeyEvent* e) override;
  void contextMenuEvent(QContextMenuEvent* e) override;

 private:
  bool ListFocused() const;
  TGroup* SelectedGroup() const;
  void RebuildTree();
  QTreeWidgetItem* AddTreeNode(QTreeWidgetItem* parent, TConfigItem* node);
  void ShowSelected();
  void EditObject(int row);
  void Ticks(bool ticked);
  TMessages& Messages();

  T104EditorContext& ctx_;
  TWS_104* station_ = nullptr;
  TMessages* stationHookBefore_ = nullptr;
  std::unique_ptr<TMessages> ownMessages_;
  TProcDlg* procDlg_ = nullptr;
  TGroupDlg* groupDlg_ = nullptr;
  TItemParamDlg* itemDlg_ = nullptr;
  TCloneDialog* cloneDlg_ = nullptr;
  bool listFocused_ = false;
  QMetaObject::Connection focusConn_;
};

// Draws one view of the editor on a sample station into a PNG (scripts/screenshots).
bool StationScreenshot(const QString& view, const QString& png);

}  // namespace t32::ui
