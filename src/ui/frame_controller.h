// The controller's overview: which board sits at which address and interrupt line, and which
// port is bound to which board channel. Names can be double-clicked (select the board) and
// dragged to a free address or interrupt line.
#pragma once
#include <QTableWidget>
#include <vector>

#include "ui/frames.h"

namespace t32 {
class TBlock;
}

namespace t32::ui {

class TControllerFrame;

class TOverviewGrid : public QTableWidget {
  Q_OBJECT
 public:
  TOverviewGrid(TControllerFrame& owner, bool boards, QWidget* parent);
  // The item whose name lies under x (viewport coordinates) in the row; null on a space.
  TItem* ItemAt(int row, int x) const;
  std::vector<std::vector<TItem*>> rowItems;

 protected:
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void dragEnterEvent(QDragEnterEvent* e) override;
  void dragMoveEvent(QDragMoveEvent* e) override;
  void dropEvent(QDropEvent* e) override;

 private:
  bool Accepts(const QPoint& pos, const QMimeData* mime) const;
  TControllerFrame& owner_;
  bool boards_;  // address/IRQ grid (names) or port grid (objects)
  TItem* pressed_ = nullptr;
  QPoint pressPos_;
};

class TControllerFrame : public TEditorFrame {
  Q_OBJECT
 public:
  TControllerFrame(TFrame1& owner, QWidget* parent);
  void ShowItem(TItem* item) override;
  int HelpContext() const override { return 2; }

  // The overview's actions (also used by drag and drop).
  void SelectItem(TItem* item);
  // grid: 0 address, 1 IRQ; row: 0-based grid row.
  bool DropBoard(int grid, TBlock* board, int row);

  TOverviewGrid* StringGridAddr;
  TOverviewGrid* StringGridIRQ;
  TOverviewGrid* StringGridPorts;

 private:
  void Fill();
};

}  // namespace t32::ui
