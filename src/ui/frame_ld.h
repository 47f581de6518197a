// The page of the discrete logic port: the ladder diagram drawn from the editing object's
// drawing list, with the buttons, the signal controls and the pop-up menu. Every click, key and
// command goes to TLDEditor; this page only turns events into its calls and repaints.
#pragma once
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QWidget>
#include <memory>

#include "ports/ld_editor.h"
#include "ui/frame_other_ports.h"

namespace t32::ui {

class TPortLDFrame;

// The diagram canvas ("Image1"): paints only the visible cells, turns the pointer into cells.
class TLDCanvas : public QWidget {
  Q_OBJECT
 public:
  explicit TLDCanvas(TPortLDFrame& frame);
  // Cell under a pixel of the canvas (zoom and scroll applied).
  QPoint CellAt(QPoint pixel) const;
  // The pixel size of one cell at the current zoom.
  double CellPixels() const;

 protected:
  void paintEvent(QPaintEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void wheelEvent(QWheelEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  bool event(QEvent* e) override;
  void dragEnterEvent(QDragEnterEvent* e) override;
  void dragMoveEvent(QDragMoveEvent* e) override;
  void dropEvent(QDropEvent* e) override;

 private:
  TPortLDFrame& frame_;
};

class TPortLDFrame : public TOtherPortFrame {
  Q_OBJECT
 public:
  TPortLDFrame(TFrame1& owner, QWidget* parent);
  ~TPortLDFrame() override;
  int HelpContext() const override { return 131; }

  QPushButton* AddInButton;     // "Контакт  " (toggle)
  QPushButton* AddOutButton;    // "Задача  "
  QPushButton* AddStackButton;  // "Шунт  "
  QPushButton* ClearButton;     // "Новая схема"
  QPushButton* PictureButton;   // "Рисунок"
  QLabel* TS_NLabel;
  QComboBox* ComboBoxTS;
  QCheckBox* InverseBox;  // "Инверсия"
  TLDCanvas* Image1;
  QScrollBar* ScrollBarX;
  QScrollBar* ScrollBarY;
  QLabel* StatusLabel;  // tasks, contacts and problems under the diagram
  QMenu* PopupMenu;
  QAction* DeleteAction;     // "Удалить"
  QAction* InvertAction;     // "Инверсия"
  QAction* DuplicateAction;  // "Дублировать"

  TLDEditor* Editor() const { return editor_.get(); }
  const std::vector<TPortLD::TProblemCell>& ProblemCells() const { return problems_; }
  double zoom = 1.0;
  // Zoom (kept within 25 % to 400 %) around a canvas pixel that keeps pointing at the same spot.
  void SetZoom(double z, QPoint around);
  // After any command: buttons, signal controls, scroll bars, status line and the picture.
  void Refresh();
  // A click of the canvas at a diagram cell, as the mouse gives it.
  void CellClick(int col, int row, TLDEditor::Button b, TLDEditor::Mods m, QPoint globalPos);
  // Handles a key of the diagram; true when it was used.
  bool Key(QKeyEvent* e);
  // Saves the selected task (its coil selected) or the whole diagram as a picture, without
  // selection marks: SVG when the name ends in ".svg" (the command-line tool's bytes), else PNG.
  bool SavePicture(const QString& path, std::string* error);
  // The ТС row selected in the storage panel becomes the signal of the contact at the cell.
  void DropSignal(int col, int row);
  // Fills the signal list from the ТС storage (the list index is the storage index).
  void FillSignals();

 protected:
  void Fill() override;
  void NumberChosen(int n) override;
  void focusInEvent(QFocusEvent* e) override;
  void hideEvent(QHideEvent* e) override;

 private:
  friend class TLDCanvas;
  TPortLD* LD() const;
  // Runs an editing command, then marks the document changed and repaints.
  void Run(const std::function<void()>& cmd);
  void UpdateScrollBars();
  std::unique_ptr<TLDEditor> editor_;
  TPortLD* editorPort_ = nullptr;
  // The moving end of a Shift+arrow range and the anchor it grows from.
  int rangeFar_ = 0, rangeRow_ = -1, rangeAnchor_ = -1;
  std::vector<TPortLD::TProblemCell> problems_;  // as of the last refresh
};

}  // namespace t32::ui
