// The signal storage panel on the right of the main window: one tab per signal type and a
// column of buttons that fill and edit the current output table from the storage lists.
#pragma once
#include <QWidget>

class QTabWidget;
class QToolButton;

namespace t32 {
class TItem;
class TParams;
}  // namespace t32

namespace t32::ui {

class TFrame1;
class TFrameParams;

class TStoragePanel : public QWidget {
  Q_OBJECT
 public:
  TStoragePanel(TFrame1& owner, QWidget* parent = nullptr);
  // Called after each node selection: shows the tab of the current item's type and sets the
  // button states.
  void SyncWithCurrentItem(TItem* item);
  void RefreshButtons();
  // Redraws the six lists (after every storage rebuild).
  void RefreshLists();
  QTabWidget* Tabs() const { return tabs_; }
  TParams& ActiveList() const;
  int ActiveType() const;
  bool AddSelectEnabled() const;
  TFrameParams* List(int type) const { return lists_[type - 1]; }

  QToolButton *DefaultName, *AddFree, *ClearSelect, *AddSelect, *AddAll, *DelSelect, *DelAll, *NameUp, *NameDown,
      *SetTemplateButton, *PriorityButton;

 private:
  TParams* CurrentTable() const;
  void AddClick(bool all);
  void DelClick(bool all);
  TFrame1& owner_;
  TItem* current_ = nullptr;
  QTabWidget* tabs_;
  TFrameParams* lists_[6];
};

}  // namespace t32::ui
