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
  TFrame1& owner_;
  TNode* dragged_ = nullptr;
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
  // Widens the storage panel to at least 440 pixels for signal tables, narrows it to at most
  // 120 for every other item.
  void FitStoragePanel(TItem* item);
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
  void StoreEditor();
  // After a rebuild of the whole tree: expands as the nodes say and shows the selection again.
  void AfterRebuild();
  // Forgets the shown item without storing it (before the tree is rebuilt or it is deleted).
  void DropCurrent();

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
};

}  // namespace t32::ui
