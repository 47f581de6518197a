// The signal storage panel on the right of the main window: one tab per signal type and a
// column of buttons that fill and edit the current output table from the storage lists.
#pragma once
#include <QWidget>

class QTabWidget;
class QToolButton;

namespace t32 {
class TItem;
}

namespace t32::ui {

class TFrame1;

class TStoragePanel : public QWidget {
  Q_OBJECT
 public:
  TStoragePanel(TFrame1& owner, QWidget* parent = nullptr);
  // Called after each node selection: shows the tab of the current item's type and sets the
  // button states.
  void SyncWithCurrentItem(TItem* item);
  void RefreshButtons();
  QTabWidget* Tabs() const { return tabs_; }

 private:
  TFrame1& owner_;
  TItem* current_ = nullptr;
  QTabWidget* tabs_;
};

}  // namespace t32::ui
