// The tree frame: the configuration tree on the left, the editor frame of the selected item in
// the middle, the signal storage panel on the right; the popup menus, the factory entries and
// the rules for adding, deleting, duplicating and moving items.
#pragma once
#include <QMenu>
#include <QTreeView>
#include <QWidget>
#include <map>
#include <string>

#include "project/cfgfile.h"

class QMimeData;
class QScrollArea;
class QSplitter;
class QLabel;

namespace t32 {
class TDocument;
class TItem;
class TNode;
}  // namespace t32

namespace t32::ui {

class TEditorFrame;
class TTreeModel;
class TFrame1;
class TStoragePanel;

// The tree view: any button selects, the root never collapses, drag and drop follows the
// tree rules, Del and Enter run the popup's delete and add entries.
class TBlockTree : public QTreeView {
  Q_OBJECT
 public:
  TBlockTree(TFrame1& owner, QWidget* parent);
  // What dragging a node carries.
  QMimeData* DragMime(TNode* n) const;

 protected:
  void mousePressEvent(QMouseEvent* e) override;
  void contextMenuEvent(QContextMenuEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void startDrag(Qt::DropActions actions) override;
  void dragEnterEvent(QDragEnterEvent* e) override;
  void dragMoveEvent(QDragMoveEvent* e) override;
  void dropEvent(QDropEvent* e) override;

 private:
  TNode* DropTarget(const QPoint& pos) const;
  TNode* DraggedNode(const QMimeData* mime) const;
  TFrame1& owner_;
};

class TFrame1 : public QWidget {
  Q_OBJECT
 public:
  TFrame1(TDocument& doc, QWidget* parent = nullptr);
  ~TFrame1() override;

  TDocument& Doc() const { return doc_; }
  TBlockTree* BlockTree() const { return tree_; }
  TTreeModel* TreeModel() const { return model_; }
  TStoragePanel* StoragePanel() const { return storage_; }
  // The first time a signal table is shown the storage panel opens up to at least 440 pixels
  // beside it; after that the panel keeps the width the user gave it.
  void FitStoragePanel(TItem* item);
  // Splits a window of this width between the panels, the editor getting what it needs first.
  void FitPanels(int windowWidth);
  QSplitter* Splitter() const { return splitter_; }
  TNode* CurrentNode() const { return current_; }
  TItem* CurrentItem() const;
  TEditorFrame* CurrentFrame() const { return frame_; }
  TEditorFrame* FrameFor(const std::string& itemClass);

  // Selection change: the previous frame is stored, the new item's frame shown.
  void SelectNode(TNode* node);
  // Shows the current item again (after the model changed it).
  void RefreshCurrent();
  // Stores the shown frame into its item (before saving, closing, building an image).
  // False when the page refused to store (its item stays selected; the caller stops).
  bool StoreEditor();
  // After a rebuild of the whole tree: expands as the nodes say and shows the selection again.
  void AfterRebuild();
  // Forgets the shown item without storing it (before the tree is rebuilt or it is deleted).
  void DropCurrent();
  // After undo or redo rebuilt the tree: expands as the nodes say, selects the node at this
  // display position (the controller when there is none).
  void ShowRestored(int absoluteIndex);
  // Tells the window that the document was edited (it takes the state for undo).
  void NotifyEdited() { emit Edited(); }

  // Menus and commands
  QMenu* MenuFor(const TNode* node);
  void AddFromMenu(int tag, bool board);  // AddBlockClick / AddPortClick
  void AddChildrenClick(int tag);         // AddRTUClick
  void DuplicateClick();                  // DubblePCClick
  void DeleteClick();                     // asks, then deletes
  void EnterClick();                      // the add entry of the current popup
  void NewConfiguration();                // "Создать"
  bool DropNode(TNode* dragged, TNode* target);

  void SetCpu(TCpu cpu);
  TCpu Cpu() const { return cpu_; }
  int HelpContext() const;

  QMenu* blockMenu = nullptr;     // BlockMenu
  QMenu* portMenu = nullptr;      // PortMenu
  QMenu* deleteMenu = nullptr;    // DeleteMenu
  QMenu* addRtuMenu = nullptr;    // AddRTUMenu
  QMenu* addKpMenu = nullptr;     // AddKPMenu
  QMenu* addPcMenu = nullptr;     // AddPCMenu
  QMenu* addCC301Menu = nullptr;  // AddCC301Menu
  QMenu* addCE303Menu = nullptr;  // AddCE303Menu
  QMenu* addCE318Menu = nullptr;  // AddCE318Menu
  QMenu* addMdsMrkMenu = nullptr; // AddMdsMrkMenu
  QMenu* dubbleDelMenu = nullptr; // DubbleDelMenu
  QAction* PortAction(int tag) const;
  QAction* BlockAction(int tag) const;
  // Values offered by the ТИ dialog's calculator (settings section "EditorTI").
  std::map<std::string, std::string> editorTISettings;
  // Redraws the shown table and the storage lists (the storage calls it after changes).
  void RefreshViews();

 signals:
  void CurrentChanged(t32::TNode* node);
  void Edited();

 private:
  void BuildMenus();
  void UpdateMenuStates();
  void SyncExpanded(const QModelIndex& parent);
  QMenu* NewMenu(const char* name);
  void AddCancel(QMenu* m);

  TDocument& doc_;
  TTreeModel* model_;
  TBlockTree* tree_;
  QScrollArea* editorArea_;
  QWidget* editorHost_;
  QLabel* emptyLabel_;
  TStoragePanel* storage_;
  QSplitter* splitter_;
  TNode* current_ = nullptr;
  TEditorFrame* frame_ = nullptr;
  std::map<std::string, TEditorFrame*> frames_;
  TCpu cpu_ = TCpu::Cpu6358;
  bool storageWidened_ = false;  // the panel was opened up beside a table once
};

}  // namespace t32::ui
