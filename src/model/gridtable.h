// A table of byte values edited in a grid: one data row per table entry, one data column per
// field, each column with its own range. The grid window shows this model and passes keys and
// selection to it; every rule (which keys a cell takes, filling a block, inserting, copying and
// deleting rows, reading cells back as numbers, text files) lives here so it works without Qt.
//
// Indexes follow the grid: row 0 is the heading row and column 0 holds the row numbers, so data
// cells are rows 1..RowCount() and columns 1..ColumnCount(). These are also the numbers the cell
// error message names.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace t32 {

class TMessages;

enum TDataType { dkByte = 0 };

struct TGridColumn {
  std::string caption;
  int width = 36;
  TDataType kind = dkByte;
  std::uint16_t minimum = 0;
  std::uint16_t maximum = 255;
};

// A cell key: digits, Backspace, Enter and Delete are the ones a byte cell knows.
constexpr char kKeyBackspace = '\b';
constexpr char kKeyEnter = '\r';
constexpr char kKeyDelete = 0x7F;

// What the cell editor holds while a key is typed: its text, the caret and the selected run.
struct TCellEdit {
  std::string text;        // digits only in practice; positions count bytes
  std::size_t caret = 0;
  std::size_t selStart = 0, selLength = 0;
};

// The text a key leaves in the cell editor (Enter leaves it unchanged), or none for a key the
// byte cells do not take.
std::optional<std::string> TextAfterKey(const TCellEdit& e, char key);

class TGridTable {
 public:
  static constexpr int kDefaultRowLimit = 255;
  static constexpr std::size_t kMaxTextFile = 1u << 20;  // 1 MiB
  static constexpr std::size_t kMaxLineChars = 255;

  explicit TGridTable(int columns = 1);

  // --- set-up ---------------------------------------------------------------------------
  // Data columns; existing cells are kept where they still fit.
  void SetColumnCount(int n);
  int ColumnCount() const { return static_cast<int>(columns_.size()); }
  TGridColumn& Column(int col) { return columns_[static_cast<std::size_t>(col - 1)]; }
  const TGridColumn& Column(int col) const { return columns_[static_cast<std::size_t>(col - 1)]; }
  // Most data rows the grid takes (the owners' count bytes hold 255).
  void SetRowLimit(int limit);
  int RowLimit() const { return rowLimit_; }

  // --- cells ----------------------------------------------------------------------------
  int RowCount() const { return static_cast<int>(rows_.size()); }
  // Data rows, at least one and at most the limit; new rows are empty.
  void SetRowCount(int rows);
  const std::string& Cell(int row, int col) const;
  void SetCell(int row, int col, std::string text);
  // "N" over the numbers, " " + caption over the data columns.
  std::string Heading(int col) const;
  // The number shown in column 0 of a data row.
  std::string RowNumber(int row) const { return std::to_string(row); }
  bool RowEmpty(int row) const;
  void ClearRow(int row);
  void WriteByte(int col, int row, int value);

  // --- current cell and selection ---------------------------------------------------------
  int currentRow = 1, currentCol = 1;
  // The selected block (inclusive); a single cell when it is only the current cell.
  int selTop = 1, selLeft = 1, selBottom = 1, selRight = 1;
  void SetCurrent(int row, int col);

  // --- typing -----------------------------------------------------------------------------
  // True when the text may stand in the column while typing: empty, or digits whose value does
  // not exceed the maximum (the minimum is left to the read).
  bool Acceptable(int col, std::string_view text) const;
  // A key typed into the current cell's editor. Enter first copies the current row into the
  // selected block. Returns false (the caller beeps) when the key is refused; on success the
  // cell holds `after`.
  bool TypeKey(const TCellEdit& edit, char key, std::string* after = nullptr);
  // Pasted text is taken as if typed: refused unless acceptable.
  bool Paste(int row, int col, std::string_view text);
  // A row after the last filled one, its cells taken from the words in order (extra words are
  // dropped). False when the table is full.
  bool AppendAfterLast(const std::vector<std::string>& words);
  // Enter over a block: every selected cell takes the current row's cell of its column.
  void FillSelection();

  // --- navigation -------------------------------------------------------------------------
  // Down arrow: on the last row appends an empty one and moves into it. False (beep) when the
  // limit stops it.
  bool KeyDown();
  // Right arrow: in the last column moves to column 1 of the next row, appending one on the
  // last row. False when the limit stops it.
  bool KeyRight();

  // --- rows -------------------------------------------------------------------------------
  // "Вставить  пустую строку": false (nothing changes) when the table is full.
  bool InsertEmptyRow();
  // "Вставить копию строки": the current row doubled, the caret on the upper copy.
  bool InsertCopyRow();
  // "Удалить строку".
  void DeleteRow();

  // --- reading cells ----------------------------------------------------------------------
  // Reads a cell as a byte. In range: stored in target. Out of range: target 0 and the cell
  // error in its range form; not a number: the number form, target unchanged. The current cell
  // moves to the offending cell before the question. Returns false when the user chose Cancel.
  bool ReadByte(int col, int row, std::uint8_t& target, TMessages& msgs);
  // Every non-empty row as one entry of ColumnCount() values (cells that fail read as 0 after
  // Ignore). False on Cancel: nothing is returned, so the owner keeps what it had.
  bool ReadEntries(std::vector<std::vector<std::uint8_t>>& out, TMessages& msgs);
  // Shows entries: one row each plus an empty row below when the limit allows.
  void ShowEntries(const std::vector<std::vector<std::uint8_t>>& entries);

  // --- text files -------------------------------------------------------------------------
  // Fills the grid from a text file's bytes (cp1251, CR LF or LF, tab-separated words). An
  // empty file gives one empty row. Returns "" or a message: too large (nothing changes), or
  // more lines than the limit (the first ones are read).
  std::string ReadText(std::string_view bytes);
  // Each row as its cells each followed by a tab, lines ended by CR LF, in cp1251.
  std::string WriteText() const;
  // The files themselves: "" or the message (reading: the table unchanged on failure).
  std::string LoadFile(const std::string& path);
  std::string SaveFile(const std::string& path) const;

 private:
  std::vector<TGridColumn> columns_;
  std::vector<std::vector<std::string>> rows_;  // data rows × data columns
  int rowLimit_ = kDefaultRowLimit;
  bool AppendRow();
};

// The cell error message: number form when `notNumber`, else the range form.
std::string CellErrorText(int row, int col, const std::string& text, bool notNumber, int min, int max);

// The first name the save dialog offers: folder + "_yyyy_mm_dd.txt" of the given date.
std::string DefaultTableFileName(const std::string& folder, int year, int month, int day);

}  // namespace t32
