#include "model/gridtable.h"

#include <algorithm>
#include <cstdio>

#include "model/cp1251.h"
#include "model/fileio.h"
#include "model/messages.h"

namespace t32 {

namespace {
// A cell's value as the controller's owners read it: leading blanks, then decimal digits (an
// optional sign is accepted so that "-1" reads as out of range, not as text). Values far beyond
// any range saturate instead of overflowing.
bool ParseCell(std::string_view t, long long& v) {
  std::size_t p = 0;
  while (p < t.size() && (t[p] == ' ' || t[p] == '\t')) ++p;
  bool neg = false;
  if (p < t.size() && (t[p] == '-' || t[p] == '+')) neg = t[p++] == '-';
  if (p == t.size()) return false;
  long long x = 0;
  for (; p < t.size(); ++p) {
    if (t[p] < '0' || t[p] > '9') return false;
    x = std::min<long long>(x * 10 + (t[p] - '0'), 1'000'000'000LL);
  }
  v = neg ? -x : x;
  return true;
}
bool AllDigits(std::string_view t) {
  return std::all_of(t.begin(), t.end(), [](char c) { return c >= '0' && c <= '9'; });
}
const std::string kEmpty;
}  // namespace

std::optional<std::string> TextAfterKey(const TCellEdit& e, char key) {
  std::string t = e.text;
  std::size_t selStart = std::min(e.selStart, t.size());
  std::size_t selLen = std::min(e.selLength, t.size() - selStart);
  std::size_t caret = std::min(e.caret, t.size());
  if (key >= '0' && key <= '9') {
    if (selLen) {
      t.replace(selStart, selLen, 1, key);
    } else {
      t.insert(caret, 1, key);
    }
    return t;
  }
  switch (key) {
    case kKeyBackspace:
      if (selLen) t.erase(selStart, selLen);
      else if (caret > 0) t.erase(caret - 1, 1);
      return t;
    case kKeyDelete:
      if (selLen) t.erase(selStart, selLen);
      else if (caret < t.size()) t.erase(caret, 1);
      return t;
    case kKeyEnter: return t;
    default: return std::nullopt;
  }
}

TGridTable::TGridTable(int columns) {
  SetColumnCount(columns);
  rows_.assign(1, std::vector<std::string>(columns_.size()));
}

void TGridTable::SetColumnCount(int n) {
  n = std::max(n, 1);
  columns_.resize(static_cast<std::size_t>(n));
  for (auto& r : rows_) r.resize(columns_.size());
  currentCol = std::clamp(currentCol, 1, n);
  selLeft = std::clamp(selLeft, 1, n);
  selRight = std::clamp(selRight, 1, n);
}

void TGridTable::SetRowLimit(int limit) {
  rowLimit_ = std::max(limit, 1);
  if (RowCount() > rowLimit_) SetRowCount(rowLimit_);
}

void TGridTable::SetRowCount(int rows) {
  rows = std::clamp(rows, 1, rowLimit_);
  rows_.resize(static_cast<std::size_t>(rows), std::vector<std::string>(columns_.size()));
  SetCurrent(std::min(currentRow, rows), currentCol);
}

const std::string& TGridTable::Cell(int row, int col) const {
  if (row < 1 || row > RowCount() || col < 1 || col > ColumnCount()) return kEmpty;
  return rows_[static_cast<std::size_t>(row - 1)][static_cast<std::size_t>(col - 1)];
}

void TGridTable::SetCell(int row, int col, std::string text) {
  if (row < 1 || row > RowCount() || col < 1 || col > ColumnCount()) return;
  rows_[static_cast<std::size_t>(row - 1)][static_cast<std::size_t>(col - 1)] = std::move(text);
}

std::string TGridTable::Heading(int col) const {
  if (col == 0) return "N";
  if (col < 1 || col > ColumnCount()) return {};
  return " " + Column(col).caption;
}

bool TGridTable::RowEmpty(int row) const {
  if (row < 1 || row > RowCount()) return true;
  const auto& r = rows_[static_cast<std::size_t>(row - 1)];
  return std::all_of(r.begin(), r.end(), [](const std::string& c) { return c.empty(); });
}

void TGridTable::ClearRow(int row) {
  if (row < 1 || row > RowCount()) return;
  for (auto& c : rows_[static_cast<std::size_t>(row - 1)]) c.clear();
}

void TGridTable::WriteByte(int col, int row, int value) { SetCell(row, col, std::to_string(value)); }

void TGridTable::SetCurrent(int row, int col) {
  currentRow = std::clamp(row, 1, RowCount());
  currentCol = std::clamp(col, 1, ColumnCount());
  selTop = selBottom = currentRow;
  selLeft = selRight = currentCol;
}

bool TGridTable::Acceptable(int col, std::string_view text) const {
  if (col < 1 || col > ColumnCount()) return false;
  // An empty cell is left to the read: Backspace on the only digit must be possible.
  if (text.empty()) return true;
  if (!AllDigits(text)) return false;
  long long v = 0;
  return ParseCell(text, v) && v <= Column(col).maximum;
}

bool TGridTable::TypeKey(const TCellEdit& edit, char key, std::string* after) {
  std::optional<std::string> t = TextAfterKey(edit, key);
  if (!t) return false;
  if (key == kKeyEnter) FillSelection();
  if (!Acceptable(currentCol, *t)) return false;
  SetCell(currentRow, currentCol, *t);
  if (after) *after = *t;
  return true;
}

bool TGridTable::Paste(int row, int col, std::string_view text) {
  if (!Acceptable(col, text) || row < 1 || row > RowCount()) return false;
  SetCell(row, col, std::string(text));
  return true;
}

bool TGridTable::AppendAfterLast(const std::vector<std::string>& words) {
  int last = RowCount();
  while (last > 0 && RowEmpty(last)) --last;
  if (last + 1 > RowCount() && !AppendRow()) return false;
  ClearRow(last + 1);
  for (std::size_t c = 0; c < words.size() && c < columns_.size(); ++c) SetCell(last + 1, static_cast<int>(c + 1), words[c]);
  return true;
}

void TGridTable::FillSelection() {
  int top = std::clamp(std::min(selTop, selBottom), 1, RowCount());
  int bottom = std::clamp(std::max(selTop, selBottom), 1, RowCount());
  int left = std::clamp(std::min(selLeft, selRight), 1, ColumnCount());
  int right = std::clamp(std::max(selLeft, selRight), 1, ColumnCount());
  for (int r = top; r <= bottom; ++r)
    for (int c = left; c <= right; ++c)
      if (r != currentRow) SetCell(r, c, Cell(currentRow, c));
}

bool TGridTable::AppendRow() {
  if (RowCount() >= rowLimit_) return false;
  rows_.emplace_back(columns_.size());
  return true;
}

bool TGridTable::KeyDown() {
  if (currentRow < RowCount()) {
    SetCurrent(currentRow + 1, currentCol);
    return true;
  }
  if (!AppendRow()) return false;
  SetCurrent(currentRow + 1, currentCol);
  return true;
}

bool TGridTable::KeyRight() {
  if (currentCol < ColumnCount()) {
    SetCurrent(currentRow, currentCol + 1);
    return true;
  }
  if (currentRow == RowCount() && !AppendRow()) return false;
  SetCurrent(currentRow + 1, 1);
  return true;
}

bool TGridTable::InsertEmptyRow() {
  // A full table would lose its last row: refused instead.
  if (RowCount() >= rowLimit_) return false;
  rows_.insert(rows_.begin() + (currentRow - 1), std::vector<std::string>(columns_.size()));
  SetCurrent(currentRow, currentCol);
  return true;
}

bool TGridTable::InsertCopyRow() {
  if (!InsertEmptyRow()) return false;
  rows_[static_cast<std::size_t>(currentRow - 1)] = rows_[static_cast<std::size_t>(currentRow)];
  return true;
}

void TGridTable::DeleteRow() {
  if (currentRow >= RowCount()) {
    ClearRow(RowCount());
  } else {
    rows_.erase(rows_.begin() + (currentRow - 1));
  }
  SetCurrent(std::min(currentRow, RowCount()), currentCol);
}

std::string CellErrorText(int row, int col, const std::string& text, bool notNumber, int min, int max) {
  std::string s = "Ячейка таблицы (строка " + std::to_string(row) + ", колонка " + std::to_string(col) +
                  ")\rсодержит недопустимое значение: \"" + text + "\"\r";
  if (notNumber) s += "которое невозможно преобразовать в число.\r";
  else s += "Допустимый диапазон значений: " + std::to_string(min) + ".." + std::to_string(max) + ".\r";
  s += "Дальнейшие действия:\rCancel - возврат к редактированию (рекомендуется);\rIgnore - обнулить данную ячейку и "
       "продолжить (на свой страх и риск).";
  return s;
}

bool TGridTable::ReadByte(int col, int row, std::uint8_t& target, TMessages& msgs) {
  const std::string& text = Cell(row, col);
  const TGridColumn& c = Column(std::clamp(col, 1, ColumnCount()));
  long long v = 0;
  bool number = ParseCell(text, v);
  if (number && v >= c.minimum && v <= c.maximum && v <= 255) {
    target = static_cast<std::uint8_t>(v);
    return true;
  }
  if (number) target = 0;
  SetCurrent(row, col);
  return msgs.AskCancelIgnore(CellErrorText(row, col, text, !number, c.minimum, c.maximum)) != kCancel;
}

bool TGridTable::ReadEntries(std::vector<std::vector<std::uint8_t>>& out, TMessages& msgs) {
  std::vector<std::vector<std::uint8_t>> got;
  for (int r = 1; r <= RowCount(); ++r) {
    if (RowEmpty(r)) continue;
    std::vector<std::uint8_t> e(columns_.size(), 0);
    for (int c = 1; c <= ColumnCount(); ++c)
      if (!ReadByte(c, r, e[static_cast<std::size_t>(c - 1)], msgs)) return false;
    got.push_back(std::move(e));
  }
  out = std::move(got);
  return true;
}

void TGridTable::ShowEntries(const std::vector<std::vector<std::uint8_t>>& entries) {
  rows_.clear();
  SetRowCount(static_cast<int>(std::min<std::size_t>(entries.size() + 1, static_cast<std::size_t>(rowLimit_))));
  for (auto& r : rows_) std::fill(r.begin(), r.end(), std::string());
  for (std::size_t i = 0; i < entries.size() && i < rows_.size(); ++i)
    for (std::size_t c = 0; c < entries[i].size() && c < columns_.size(); ++c) rows_[i][c] = std::to_string(entries[i][c]);
  SetCurrent(1, std::min(2, ColumnCount()));
}

std::string TGridTable::ReadText(std::string_view bytes) {
  if (bytes.size() > kMaxTextFile) return "Файл таблицы больше 1 МБ: таблица не прочитана.";
  std::vector<std::vector<std::string>> rows;
  std::string message;
  std::size_t p = 0;
  while (p < bytes.size()) {
    std::size_t e = bytes.find('\n', p);
    std::string_view line = bytes.substr(p, e == std::string_view::npos ? std::string_view::npos : e - p);
    p = e == std::string_view::npos ? bytes.size() : e + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (static_cast<int>(rows.size()) >= rowLimit_) {
      message = "Таблица вмещает не более " + std::to_string(rowLimit_) +
                " строк: остальные строки файла не прочитаны.";
      break;
    }
    line = line.substr(0, kMaxLineChars);
    std::vector<std::string> row(columns_.size());
    std::size_t col = 0, q = 0;
    while (q < line.size() && col < columns_.size()) {
      while (q < line.size() && line[q] == '\t') ++q;
      if (q == line.size()) break;
      std::size_t w = line.find('\t', q);
      if (w == std::string_view::npos) w = line.size();
      row[col++] = Cp1251ToUtf8(line.substr(q, w - q));
      q = w;
    }
    rows.push_back(std::move(row));
  }
  if (rows.empty()) rows.emplace_back(columns_.size());
  rows_ = std::move(rows);
  SetCurrent(1, currentCol);
  return message;
}

std::string TGridTable::WriteText() const {
  std::string out;
  for (const auto& r : rows_) {
    for (const auto& c : r) out += Utf8ToCp1251(c) + "\t";
    out += "\r\n";
  }
  return out;
}

std::string TGridTable::LoadFile(const std::string& path) {
  std::string bytes, err;
  if (!ReadWholeFile(path, bytes, &err, kMaxTextFile + 1)) return err;
  return ReadText(bytes);
}

std::string TGridTable::SaveFile(const std::string& path) const {
  std::string err;
  if (!WriteFileAtomic(path, WriteText(), &err)) return err;
  return {};
}

std::string DefaultTableFileName(const std::string& folder, int year, int month, int day) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "_%04d_%02d_%02d.txt", year, month, day);
  std::string f = folder;
  if (!f.empty() && f.back() != '/') f += '/';
  return f + buf;
}

}  // namespace t32
