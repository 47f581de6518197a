// Undo and redo of a whole configuration: after each committed edit the document's records are
// kept as a compressed image; undo and redo read an earlier or later image back. Memory is
// bounded by a number of states and a byte budget; the oldest states go first.
#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace t32 {

class TDocument;

// What the window shows with a state: the selected node and the expanded nodes, as display
// positions in the tree.
struct TViewState {
  int selected = 0;
  std::vector<int> expanded;
};

class THistory {
 public:
  explicit THistory(std::size_t maxStates = 100, std::size_t maxBytes = 256u << 20)
      : maxStates_(maxStates), maxBytes_(maxBytes) {}

  // Forgets every state and takes the document as it is as the first one (after "Создать",
  // opening a file, reading the controller's configuration).
  void Reset(TDocument& doc, const TViewState& view);
  // Takes the document's state after an edit. Nothing is kept (and false is returned) when it
  // equals the current state. A new state drops the states that could have been redone.
  bool Commit(TDocument& doc, const TViewState& view);
  // The view of the current state follows the window (selection changes are no edits).
  void SetView(const TViewState& view);

  bool CanUndo() const { return current_ > 0; }
  bool CanRedo() const { return current_ + 1 < states_.size(); }
  // Reads the previous / next state into the document; false when there is none or it could
  // not be read (the document is then unchanged). *view gets the state's view.
  bool Undo(TDocument& doc, TViewState* view);
  bool Redo(TDocument& doc, TViewState* view);

  // Every state has an id that no other state of this history ever had: the window compares it
  // with the id of the state last saved to tell whether there are unsaved changes.
  std::uint64_t CurrentId() const { return states_.empty() ? 0 : states_[current_].id; }
  std::size_t Count() const { return states_.size(); }
  std::size_t Bytes() const { return bytes_; }

  // The document's records as an uncompressed image (file head zero), and reading one back
  // (the tree is rebuilt; messages of the reading go nowhere). Exposed for the autosave.
  static std::vector<std::uint8_t> Capture(TDocument& doc);
  static bool Restore(TDocument& doc, const std::vector<std::uint8_t>& image);

 private:
  struct TState {
    std::uint64_t id;
    std::uint64_t hash;     // of the uncompressed image: a quick "nothing changed"
    std::size_t rawSize;
    std::vector<std::uint8_t> packed;
    TViewState view;
  };
  bool Push(const std::vector<std::uint8_t>& raw, const TViewState& view);
  bool Load(TDocument& doc, std::size_t index, TViewState* view);
  void Trim();

  std::size_t maxStates_, maxBytes_;
  std::deque<TState> states_;
  std::size_t current_ = 0;
  std::size_t bytes_ = 0;
  std::uint64_t nextId_ = 1;
  std::vector<std::uint8_t> currentRaw_;  // the current state unpacked, for exact comparison
};

}  // namespace t32
