// The grid table model: keys a byte cell takes, filling a block, the row commands, reading cells
// back with the Cancel/Ignore question, and the tab-separated text files.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "model/gridtable.h"
#include "model/messages.h"

using namespace t32;

namespace {
TGridTable Make(int cols, std::vector<std::vector<std::string>> rows) {
  TGridTable g(cols);
  for (int c = 1; c <= cols; ++c) g.Column(c).caption = "C" + std::to_string(c);
  g.SetRowCount(static_cast<int>(rows.size()));
  for (std::size_t r = 0; r < rows.size(); ++r)
    for (std::size_t c = 0; c < rows[r].size(); ++c) g.SetCell(static_cast<int>(r + 1), static_cast<int>(c + 1), rows[r][c]);
  return g;
}
std::vector<std::vector<std::string>> Rows(const TGridTable& g) {
  std::vector<std::vector<std::string>> out;
  for (int r = 1; r <= g.RowCount(); ++r) {
    out.emplace_back();
    for (int c = 1; c <= g.ColumnCount(); ++c) out.back().push_back(g.Cell(r, c));
  }
  return out;
}
// Types keys into the current cell as the cell editor would (caret at the end, no selection).
std::string Typed(TGridTable& g, const std::string& keys, std::string* beeps) {
  for (char k : keys) {
    TCellEdit e{g.Cell(g.currentRow, g.currentCol), g.Cell(g.currentRow, g.currentCol).size(), 0, 0};
    if (!g.TypeKey(e, k)) *beeps += k;
  }
  return g.Cell(g.currentRow, g.currentCol);
}
}  // namespace

TEST(GridTable, TypingRespectsTheMaximumButNotTheMinimum) {
  struct Case {
    int min, max;
    std::string keys, cell, beeps;
  } cases[] = {
      {0, 255, "256", "25", "6"},
      {0, 255, "a1", "1", "a"},
      {1, 32, "0", "0", ""},                    // the minimum waits for the read
      {1, 32, "33", "3", "3"},
      {0, 255, "99999", "99", "999"},
      {0, 255, "7\b", "", ""},                  // Backspace may leave an empty cell
      {0, 255, "1\r", "1", ""},
      {0, 255, "-+ .", "", "-+ ."},
  };
  for (const Case& c : cases) {
    TGridTable g(2);
    g.Column(1).minimum = c.min;
    g.Column(1).maximum = c.max;
    std::string beeps;
    EXPECT_EQ(Typed(g, c.keys, &beeps), c.cell) << c.keys;
    EXPECT_EQ(beeps, c.beeps) << c.keys;
  }
  // A digit replaces the selection; Delete removes the character after the caret or the
  // selection and is refused when what remains is too large.
  EXPECT_EQ(TextAfterKey({"123", 3, 3, 0}, '9'), "1239");
  EXPECT_EQ(TextAfterKey({"123", 3, 0, 3}, '9'), "9");
  EXPECT_EQ(TextAfterKey({"123", 0, 0, 0}, kKeyDelete), "23");
  EXPECT_EQ(TextAfterKey({"123", 3, 3, 0}, kKeyDelete), "123");
  EXPECT_EQ(TextAfterKey({"123", 1, 1, 1}, '9'), "193");
  TGridTable g(1);
  g.Column(1).maximum = 32;
  g.SetCell(1, 1, "3025");  // came from a text file
  EXPECT_FALSE(g.TypeKey({"3025", 0, 1, 1}, kKeyDelete));  // "325" is above 32
  EXPECT_TRUE(g.TypeKey({"3025", 0, 0, 2}, kKeyDelete));   // "25"
  EXPECT_EQ(g.Cell(1, 1), "25");
  // Paste is checked like typing.
  EXPECT_FALSE(g.Paste(1, 1, "12a"));
  EXPECT_FALSE(g.Paste(1, 1, "33"));
  EXPECT_TRUE(g.Paste(1, 1, "32"));
}

TEST(GridTable, EnterFillsTheSelectedBlockFromTheCurrentRow) {
  TGridTable g = Make(3, {{"1", "2", "3"}, {"4", "5", "6"}, {"7", "8", "9"}});
  g.SetCurrent(1, 1);
  g.selBottom = 3;
  g.selRight = 2;
  std::string beeps;
  Typed(g, "\r", &beeps);
  EXPECT_EQ(Rows(g), (std::vector<std::vector<std::string>>{{"1", "2", "3"}, {"1", "2", "6"}, {"1", "2", "9"}}));
  // Only the current cell selected: nothing changes.
  g.SetCurrent(3, 3);
  Typed(g, "\r", &beeps);
  EXPECT_EQ(g.Cell(3, 3), "9");
  EXPECT_EQ(beeps, "");
}

TEST(GridTable, RowCommandsAndArrows) {
  using R = std::vector<std::vector<std::string>>;
  struct Case {
    const char* what;
    R rows;
    int current;
    int op;  // 0 insert empty, 1 insert copy, 2 delete, 3 down, 4 right (in the last column)
    R want;
    int wantRow;
  } cases[] = {
      {"copy", {{"1", "2"}, {"3", "4"}, {"5", "6"}}, 2, 1, {{"1", "2"}, {"3", "4"}, {"3", "4"}, {"5", "6"}}, 2},
      {"empty", {{"1", "2"}, {"3", "4"}}, 1, 0, {{"", ""}, {"1", "2"}, {"3", "4"}}, 1},
      {"delete only row", {{"1", "2"}}, 1, 2, {{"", ""}}, 1},
      {"delete last row", {{"1", "2"}, {"3", "4"}}, 2, 2, {{"1", "2"}, {"", ""}}, 2},
      {"delete middle", {{"1", "2"}, {"3", "4"}, {"5", "6"}}, 2, 2, {{"1", "2"}, {"5", "6"}}, 2},
      {"down on last", {{"1", "2"}}, 1, 3, {{"1", "2"}, {"", ""}}, 2},
      {"right in last column", {{"1", "2"}}, 1, 4, {{"1", "2"}, {"", ""}}, 2},
      {"right not on last row", {{"1", "2"}, {"3", "4"}}, 1, 4, {{"1", "2"}, {"3", "4"}}, 2},
  };
  for (const Case& c : cases) {
    TGridTable g = Make(2, c.rows);
    g.SetCurrent(c.current, c.op == 4 ? 2 : 1);
    switch (c.op) {
      case 0: EXPECT_TRUE(g.InsertEmptyRow()); break;
      case 1: EXPECT_TRUE(g.InsertCopyRow()); break;
      case 2: g.DeleteRow(); break;
      case 3: EXPECT_TRUE(g.KeyDown()); break;
      case 4: EXPECT_TRUE(g.KeyRight()); break;
    }
    EXPECT_EQ(Rows(g), c.want) << c.what;
    EXPECT_EQ(g.currentRow, c.wantRow) << c.what;
    if (c.op == 4) {
      EXPECT_EQ(g.currentCol, 1) << c.what;
    }
    EXPECT_EQ(g.RowNumber(g.RowCount()), std::to_string(c.want.size())) << c.what;
  }
  // At the row limit nothing grows and nothing is pushed out.
  TGridTable g = Make(2, {{"1", "2"}, {"3", "4"}});
  g.SetRowLimit(2);
  g.SetCurrent(2, 2);
  EXPECT_FALSE(g.KeyDown());
  EXPECT_FALSE(g.KeyRight());
  EXPECT_FALSE(g.InsertEmptyRow());
  EXPECT_FALSE(g.InsertCopyRow());
  EXPECT_EQ(Rows(g), (R{{"1", "2"}, {"3", "4"}}));
  // Parameters picked from a list go after the last filled row, into an empty row when there is one.
  TGridTable p = Make(2, {{"1", "2"}, {"", ""}, {"", ""}});
  EXPECT_TRUE(p.AppendAfterLast({"7", "8", "9"}));
  EXPECT_TRUE(p.AppendAfterLast({"5"}));
  EXPECT_TRUE(p.AppendAfterLast({"6", "6"}));
  EXPECT_EQ(Rows(p), (R{{"1", "2"}, {"7", "8"}, {"5", ""}, {"6", "6"}}));
  p.SetRowLimit(4);
  EXPECT_FALSE(p.AppendAfterLast({"1", "1"}));
  EXPECT_EQ(g.Heading(0), "N");
  EXPECT_EQ(g.Heading(1), " C1");
}

TEST(GridTable, ReadingCellsAsksCancelOrIgnore) {
  const std::string tail =
      "Дальнейшие действия:\rCancel - возврат к редактированию (рекомендуется);\rIgnore - обнулить данную ячейку и "
      "продолжить (на свой страх и риск).";
  EXPECT_EQ(CellErrorText(2, 3, "0", false, 1, 32),
            "Ячейка таблицы (строка 2, колонка 3)\rсодержит недопустимое значение: \"0\"\rДопустимый диапазон значений: "
            "1..32.\r" + tail);
  EXPECT_EQ(CellErrorText(1, 1, "x", true, 0, 255),
            "Ячейка таблицы (строка 1, колонка 1)\rсодержит недопустимое значение: \"x\"\rкоторое невозможно "
            "преобразовать в число.\r" + tail);

  struct Case {
    std::string cell;
    std::uint8_t want;  // after Ignore
    bool asks;
    bool notNumber;
  } cases[] = {{"7", 7, false, false},  {" 32", 32, false, false}, {"0", 0, true, false},
               {"33", 0, true, false},  {"x", 9, true, true},     {"1000000000000", 0, true, false}};
  for (const Case& c : cases) {
    TGridTable g = Make(3, {{"1", "2", ""}, {"4", "5", c.cell}});
    g.Column(3).minimum = 1;
    g.Column(3).maximum = 32;
    TRecordedMessages m;
    m.cellAnswer = kIgnore;
    std::uint8_t v = 9;
    EXPECT_TRUE(g.ReadByte(3, 2, v, m)) << c.cell;
    EXPECT_EQ(v, c.want) << c.cell;
    ASSERT_EQ(m.cellQuestions.size(), c.asks ? 1u : 0u) << c.cell;
    if (c.asks) {
      EXPECT_EQ(m.cellQuestions[0], CellErrorText(2, 3, c.cell, c.notNumber, 1, 32));
      EXPECT_EQ(g.currentRow, 2);
      EXPECT_EQ(g.currentCol, 3);
    }
  }

  // Reading a table: empty rows are skipped; Cancel returns nothing at all.
  TGridTable g = Make(2, {{"1", "2"}, {"", ""}, {"3", "x"}, {"5", "6"}});
  std::vector<std::vector<std::uint8_t>> out = {{42, 42}};
  TRecordedMessages cancel;
  EXPECT_FALSE(g.ReadEntries(out, cancel));
  EXPECT_EQ(out, (std::vector<std::vector<std::uint8_t>>{{42, 42}}));
  EXPECT_EQ(g.currentRow, 3);
  TRecordedMessages ignore;
  ignore.cellAnswer = kIgnore;
  EXPECT_TRUE(g.ReadEntries(out, ignore));
  EXPECT_EQ(out, (std::vector<std::vector<std::uint8_t>>{{1, 2}, {3, 0}, {5, 6}}));
  // Shown again: one row per entry and an empty row below.
  g.ShowEntries(out);
  EXPECT_EQ(Rows(g), (std::vector<std::vector<std::string>>{{"1", "2"}, {"3", "0"}, {"5", "6"}, {"", ""}}));
}

TEST(GridTable, TextFiles) {
  struct Case {
    const char* what;
    std::string bytes;
    std::vector<std::vector<std::string>> rows;
  } cases[] = {
      {"tabs", "1\t\t2\t3\r\n", {{"1", "2"}}},
      {"LF and leading tabs", "\t10\t20\n30\t40\n", {{"10", "20"}, {"30", "40"}}},
      {"last line without end", "1\r\n2", {{"1", ""}, {"2", ""}}},
      {"empty file", "", {{"", ""}}},
      {"empty lines are rows", "\r\n\r\n5\r\n", {{"", ""}, {"", ""}, {"5", ""}}},
      {"long line cut at 255", std::string(254, '\t') + "12\t7", {{"1", ""}}},
      {"verbatim words", "abc\t-1\r\n", {{"abc", "-1"}}},
  };
  for (const Case& c : cases) {
    TGridTable g = Make(2, {{"9", "9"}, {"9", "9"}, {"9", "9"}, {"9", "9"}});
    EXPECT_EQ(g.ReadText(c.bytes), "") << c.what;
    EXPECT_EQ(Rows(g), c.rows) << c.what;
  }
  // Written: every cell followed by a tab, CR LF per line; read back the same.
  TGridTable g = Make(2, {{"10", "20"}, {"30", "40"}});
  EXPECT_EQ(g.WriteText(), "10\t20\t\r\n30\t40\t\r\n");
  TGridTable back(2);
  EXPECT_EQ(back.ReadText(g.WriteText()), "");
  EXPECT_EQ(Rows(back), Rows(g));

  // Too large: refused, table unchanged. Over the row limit: the first rows and a message.
  EXPECT_NE(g.ReadText(std::string(TGridTable::kMaxTextFile + 1, '1')), "");
  EXPECT_EQ(Rows(g), (std::vector<std::vector<std::string>>{{"10", "20"}, {"30", "40"}}));
  std::string many;
  for (int i = 0; i < 300; ++i) many += std::to_string(i % 256) + "\r\n";
  EXPECT_EQ(g.ReadText(many), "Таблица вмещает не более 255 строк: остальные строки файла не прочитаны.");
  EXPECT_EQ(g.RowCount(), 255);
  EXPECT_EQ(g.Cell(255, 1), "254");

  // Through the disk, with the offered name.
  namespace fs = std::filesystem;
  fs::path dir = fs::temp_directory_path() / ("t32grid." + std::to_string(::getpid()));
  fs::create_directories(dir);
  std::string name = DefaultTableFileName(dir.string(), 2024, 3, 5);
  EXPECT_EQ(name, (dir / "_2024_03_05.txt").string());
  TGridTable small = Make(2, {{"10", "20"}, {"30", "40"}});
  EXPECT_EQ(small.SaveFile(name), "");
  TGridTable read(2);
  EXPECT_EQ(read.LoadFile(name), "");
  EXPECT_EQ(Rows(read), Rows(small));
  EXPECT_NE(read.LoadFile((dir / "absent.txt").string()), "");
  EXPECT_EQ(Rows(read), Rows(small));
  fs::remove_all(dir);
}
