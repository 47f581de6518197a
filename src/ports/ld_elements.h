// The relay-ladder diagram of the discrete logic port: contacts, coils, shunts (groups of
// parallel branches), lines and tasks (one rung each), with their layout on a grid of cells and
// their image sections. Only the order and nesting of elements reach the controller; columns
// and rows exist for drawing and editing.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/params.h"

namespace t32 {

class TConfig;
class TMessages;
class TLine;
class TStack;
class TLD;

enum class TLDKind { Contact, Coil, Shunt, Line };

// Cell and element state bits.
enum : std::uint8_t { kLDSelected = 1, kLDHover = 2 };

// The controller keeps column and row of an element in 8-bit fields: a task may not grow
// past this many cells either way.
constexpr int kLDMaxCells = 255;
// Shunts nested deeper than this in an image are not read (a hostile image could otherwise
// exhaust the stack).
constexpr int kLDMaxDepth = 32;

class TBaseLD {
 public:
  virtual ~TBaseLD() = default;
  virtual TLDKind Kind() const = 0;
  bool IsContact() const { return Kind() == TLDKind::Contact; }

  std::uint8_t version = 1;
  bool topLine = false;
  int col = 0, row = 0;
  int width = 1, height = 1;
  TBaseLD* parent = nullptr;
  std::uint8_t state = 0;

  bool Selected() const { return state & kLDSelected; }
  bool Holds(int c, int r) const { return c >= col && c < col + width && r >= row && r < row + height; }
  // The line holding this contact or shunt.
  TLine* ParentLine() const;

  virtual void SaveToImage(TConfig& c) const = 0;
  virtual void Measure() = 0;
  virtual void PlaceColumn(int column, int minWidth) = 0;
  virtual void PlaceRow(int r) = 0;
  virtual void Hover(int c, int r) = 0;
  // mode 0 clears, 2 sets, 3 toggles at the cell; the contact or coil there reports itself.
  virtual void Select(int mode, int c, int r, TLD*& current) = 0;
  virtual void ToggleInversion() = 0;
  // keep: an exact copy (signals, inversion, sequence numbers); else a fresh arrangement.
  virtual std::unique_ptr<TBaseLD> Clone(TBaseLD* newParent, bool keep) const = 0;
  virtual void ForEachContact(const std::function<void(TLD&)>& fn) = 0;
};

// A contact (reads one ТС signal) and, through TOutLD, a coil.
class TLD : public TBaseLD {
 public:
  TLDKind Kind() const override { return TLDKind::Contact; }
  std::uint32_t sequence = 0;
  std::uint8_t inversion = 0;
  TParamRef signal;                 // contact: the row read, held
  std::uint16_t signalIndex = kNoIndex;  // as last written or read
  bool indexRead = false;                // key 41 was present when read

  void SaveToImage(TConfig& c) const override;
  void Measure() override { width = height = 1; }
  void PlaceColumn(int column, int) override { col = column; }
  void PlaceRow(int r) override { row = r; }
  void Hover(int c, int r) override;
  void Select(int mode, int c, int r, TLD*& current) override;
  void ToggleInversion() override;
  std::unique_ptr<TBaseLD> Clone(TBaseLD* newParent, bool keep) const override;
  void ForEachContact(const std::function<void(TLD&)>& fn) override { fn(*this); }
  // Storage index written as key 41 (kNoIndex without a signal in the storage).
  mutable std::uint16_t written = kNoIndex;
};

class TOutLD : public TLD {
 public:
  TLDKind Kind() const override { return TLDKind::Coil; }
  TParam* row = nullptr;  // the task's row of the port's table (not held)
  void ForEachContact(const std::function<void(TLD&)>&) override {}
};

class TLine : public TBaseLD {
 public:
  TLDKind Kind() const override { return TLDKind::Line; }
  std::vector<std::unique_ptr<TBaseLD>> elements;
  std::vector<std::uint8_t> cells;  // per cell of the width; only grows

  void SetWidth(int w);
  void SaveToImage(TConfig& c) const override;
  void Measure() override;  // a branch
  void PlaceColumn(int column, int minWidth) override;  // a branch
  void PlaceRow(int r) override;
  void Hover(int c, int r) override;
  void Select(int mode, int c, int r, TLD*& current) override;
  void ToggleInversion() override;
  std::unique_ptr<TBaseLD> Clone(TBaseLD* newParent, bool keep) const override;
  void ForEachContact(const std::function<void(TLD&)>& fn) override;

  // The enclosing shunt of a branch (none for a top line).
  TStack* Shunt() const;
  // Nesting: 0 for the top line.
  int Depth() const;
  // Contact mode: inserts a new contact at the cell; false when the cell takes none.
  TLD* InsertContact(int c, int r);
  // Where a contact put at the cell would go: the innermost line whose own row holds the cell,
  // and the position in its elements (in front of the contact at the cell, or of the first
  // element right of it). None when the cell takes no contact.
  TLine* InsertionPoint(int c, int r, std::size_t& pos);
  // The contact at the cell, inside shunts too.
  TLD* ContactAt(int c, int r) const;
  // Removes selected contacts; cleans shunts (drops empty branches, dissolves single ones).
  void CleanSelected();
};

class TStack : public TBaseLD {
 public:
  TLDKind Kind() const override { return TLDKind::Shunt; }
  std::vector<std::unique_ptr<TLine>> branches;

  TLine* AddBranch();
  void SaveToImage(TConfig& c) const override;
  void Measure() override;
  void PlaceColumn(int column, int minWidth) override;
  void PlaceRow(int r) override;
  void Hover(int c, int r) override;
  void Select(int mode, int c, int r, TLD*& current) override;
  void ToggleInversion() override;
  std::unique_ptr<TBaseLD> Clone(TBaseLD* newParent, bool keep) const override;
  void ForEachContact(const std::function<void(TLD&)>& fn) override;
};

class TTaskLD {
 public:
  explicit TTaskLD(int coilColumn);
  std::uint8_t version = 1;
  int row = 0;
  int height = 1;
  std::unique_ptr<TOutLD> coil;
  std::unique_ptr<TLine> line;

  void SaveToImage(TConfig& c) const;
  // Top line layout, first pass; returns the width the task needs (line width + 1).
  int MeasureTop();
  // Second pass: gaps kept, everything left of the coil, which stands at column minWidth.
  void PlaceTop(int minWidth);
  int Contacts() const;
  // A copy of the arrangement (fresh contacts) or an exact copy (keep).
  std::unique_ptr<TTaskLD> Clone(bool keep) const;
};

// Reading sections of the diagram: messages go to `msgs`; `seq` gives new sequence numbers.
struct TLDReadContext {
  TMessages* msgs = nullptr;
  std::function<std::uint32_t()> nextSequence;
  bool tooDeep = false;
};
// Reads a task section (Pos just behind its head, `end` the end of its section).
void ReadTask(TConfig& c, std::int32_t end, TTaskLD& task, TLDReadContext& ctx);

// Text of a line: series with " & ", parallel branches "(a | b)", "!" for inversion, a contact
// as "ТС_<index> \"name\"" or "?" without a signal. indexOf gives a row's storage index.
std::string LineText(const TLine& line, const std::function<int(TLD&)>& indexOf);

}  // namespace t32
