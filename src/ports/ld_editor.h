// The editing rules of the logic diagram without a window: what each click, button and menu
// command of the diagram editor does to the port. The frame only turns mouse events into calls
// of Click and shows the state kept here.
#pragma once
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "ports/port_ld.h"

namespace t32 {

class TLDEditor {
 public:
  enum Button { kLeft, kRight, kMiddle };
  struct Mods {
    bool shift = false, ctrl = false, alt = false, dbl = false;
  };

  explicit TLDEditor(TPortLD& port);

  TPortLD& port;
  TLD* current = nullptr;
  TLD* rangeStart = nullptr;
  TLD* rangeEnd = nullptr;
  int anchorCol = -1, anchorRow = -1;  // -1: none
  // Row of the last plain click, whether it hit an element or an empty cell: a copied range
  // pastes at (anchorCol, clickRow).
  int clickRow = -1;
  int hoverCol = -1, hoverRow = -1;
  bool contactMode = false;
  bool relayout = true;
  // The pop-up menu opened by the last right click, and whether it offered "Дублировать".
  bool menuOpened = false;
  bool menuDuplicate = false;

  bool ContactEnabled() const { return !port.tasks.empty(); }
  bool ShuntEnabled() const { return rangeEnd != nullptr; }

  // Lays the diagram out when an edit asked for it.
  void EnsureLayout();
  // A mouse click at a cell (column, row of the whole diagram).
  void Click(int col, int row, Button b, Mods m);
  void Click(int col, int row, Button b);
  // Pointer moved over a cell; true when the drag pointer shows (contact mode over a cell).
  bool Move(int col, int row);
  // "Контакт" pressed or released: clears the selection.
  void SetContactMode(bool on);

  void Shunt();
  void Delete();
  void Invert();
  void Duplicate();
  void AddTask();
  void NewScheme();
  // Rename of task i (double click on its coil); false when cancelled.
  bool Rename(int task);

  // The signal controls for the current element.
  struct SignalView {
    bool enabled = false;
    std::string label;  // "ТС_%d", "ТС__", or empty when disabled
    int index = -1;     // selected entry of the list, -1 none
    bool inversion = false;
  };
  SignalView Signal() const;
  // Chooses ТС storage row `index` for the current contact.
  void ChooseSignal(int index);
  void SetInversion(bool on);

  // The task, relative row and contact/coil at a diagram cell.
  TTaskLD* TaskAt(int row, int* relRow = nullptr) const;
  TLD* ElementAt(int col, int row) const;
  // Shunt test: the common line of range start and end, or none.
  TLine* ShuntLine() const;
  void ClearSelection();

  // Undo and redo. A command run between BeginStep and EndStep is one step when it changed the
  // diagram; the last kUndoSteps are kept. A step is the port as the controller reads it, so an
  // undone task deletion brings back its own ТС row under its name, and tables that sent that
  // row find it again by name.
  static constexpr int kUndoSteps = 100;
  void BeginStep();
  void EndStep();
  bool Undo();
  bool Redo();
  bool CanUndo() const { return !undo_.empty(); }
  bool CanRedo() const { return !redo_.empty(); }
  void ClearHistory();

  // Copy and paste. With a range that passes the shunt test (a plain click on a contact is a
  // range of one), the elements of its line within the range's columns are copied, and paste
  // puts them in series in front of the cell last clicked (at the end of the top line when that
  // cell is the coil's). Otherwise the tasks whose coils are selected are copied, and paste
  // appends them at the bottom, each with a new row. Signals and inversions are kept.
  bool Copy();
  // False when nothing was pasted (empty clipboard, no cell, a cell that takes no contact).
  bool Paste();
  bool CanPaste() const { return !clip_.empty() || range_ != nullptr; }
 private:
  std::vector<std::uint8_t> Snapshot();
  void Restore(const std::vector<std::uint8_t>& image);
  std::deque<std::vector<std::uint8_t>> undo_, redo_;
  std::vector<std::uint8_t> pending_;
  bool inStep_ = false;
  struct TClip {
    std::unique_ptr<TTaskLD> task;  // contacts kept exactly: signals and inversions
    std::uint8_t inversion = 0;     // of the coil
  };
  std::vector<TClip> clip_;
  std::unique_ptr<TLine> range_;  // holds the copied elements of a range
  int hoverTask_ = -1;              // the task the pointer marks were set in, and where it stood
  TTaskLD* hoverPtr_ = nullptr;
  bool PasteRange();
  void SelectAt(int mode, int col, int row);
  // Runs an edit of one task; restores the task when it would grow past the cell limit.
  template <class Fn>
  bool Guarded(TTaskLD& task, Fn fn);
};

}  // namespace t32
