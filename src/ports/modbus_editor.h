// What the Modbus device editor decides without a window: the cells of its polling-block
// grids and the keys they take, the hex fields, the address ranges picked from a type's
// signal list, the event codes picked from its event list, and saving or deleting a type in
// the device library. The frames and dialogs only move these values.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ports/modbus_settings.h"

namespace t32 {

class TDeviceLibrary;
class TMessages;
class TRTU;
struct TLibraryFile;

// --- grids ------------------------------------------------------------------------------
enum class TGridCol { Type, Function, Address, Count };
constexpr int kGridRows = 8;

// The largest value a column holds: ТИ type 7, function and count 255, address FFFF.
long long GridColumnMax(TGridCol c);

// The texts of one grid row. A block with count 0 shows as a blank row.
struct TGridRow {
  std::string type, function, address, count;
  std::string& Cell(TGridCol c);
  const std::string& Cell(TGridCol c) const;
  bool operator==(const TGridRow&) const = default;
};
using TGrid = std::array<TGridRow, kGridRows>;

TGridRow GridRowOf(const TRTUBlock& b, bool ti);
TGrid GridOf(const std::array<TRTUBlock, 8>& blocks, bool ti);
// Reads a row back: an empty cell is 0, the address is hexadecimal. A row that still shows
// `old` gives `old` unchanged (a blank row stands for any block with count 0); a cell that is
// no number or passes its column's maximum keeps the old field.
TRTUBlock ReadGridRow(const TGridRow& r, const TRTUBlock& old, bool ti);
void ReadGrid(const TGrid& g, std::array<TRTUBlock, 8>& blocks, bool ti);

// A character typed into a cell whose text is `text` with the selection [selStart,
// selStart + selLen): the cell's new text, or none when the key is dropped (the editor beeps).
// The address column takes hex digits (letters turned upper-case) up to 4; the others take
// decimal digits while the value stays within the column's maximum.
std::optional<std::string> GridKey(TGridCol c, const std::string& text, int selStart, int selLen, char32_t key);

// --- hex fields ---------------------------------------------------------------------------
// Drops every character that is no hex digit (letters kept as typed).
std::string HexOnly(std::string_view text);
// An empty field is 0; more than four digits keep the last four.
std::uint16_t HexValue(std::string_view text);
// Four upper-case hex digits.
std::string Hex4(unsigned v);

// --- picking signals from a type's list -------------------------------------------------
// The signal kind of a grid tab: kSigTS, kSigTU, kSigTI or kSigTR (params.h).
// The address of a list key: "$" + hex or decimal; none for anything else.
std::optional<unsigned> ListKeyAddress(std::string_view key);
// The key of a list line "key=name".
std::string_view ListLineKey(std::string_view line);
// The range of a run of list lines: smallest to largest usable key (lines need not be
// sorted). False when no line has a usable key.
bool RunRange(const std::vector<std::string>& lines, unsigned& first, unsigned& last);
// Lays the range first..last on the grid, from the first row whose address cell is empty, in
// rows of at most 192 addresses; rows whose address is already filled are passed over. The
// first row gets the tab's default function ("1", "5", "3", "6") when its function cell is
// empty; later rows copy function and ТИ type from the row above. ТС rows with function 3 or
// 4 hold registers: a row covers whole registers, at most 12 (192 bits). Returns the number
// of rows filled.
int AddRangeToGrid(TGrid& grid, int kind, unsigned first, unsigned last);
// A list line lies inside a grid row's range (grey).
bool AddressInGrid(unsigned address, const TGrid& grid, int kind);
// The signal name the line would give is longer than a name may be (red).
bool LineTooLong(std::string_view devicePrefix, std::string_view line);

// --- picking log events -----------------------------------------------------------------
struct TLogLine {
  std::string text;  // "code=name"
  int code = -1;     // -1: the key is no event code (shown, never taken)
  bool ticked = false;
};
// The lines of [Список Событий] (system log) or [Список Аварий] (alarm log), those whose code
// the log has ticked; a code the list lacks follows as a ticked "code=???" line.
std::vector<TLogLine> LogLines(const TLibraryFile& f, bool alarm, const std::vector<std::uint16_t>& codes);
// The codes of the ticked lines in list order, at most TRTULog::kMaxCodes (*cut tells
// whether more were ticked).
std::vector<std::uint16_t> TickedCodes(const std::vector<TLogLine>& lines, bool* cut = nullptr);
extern const char* const kTooManyLogCodes;

// --- device types in the library ----------------------------------------------------------
// "" for a name that can be a type (and so a file) name, else the refusal.
std::string TypeNameError(const std::string& name);
// Writes the device's settings and the own names of its signals into a description file
// under the type `name` (the sections of types are rewritten, other sections kept).
void WriteTypeDescription(const TRTU& dev, const std::string& name, TLibraryFile& f);
// "Сохранить" after the name was asked: checks the name, asks before overwriting a type,
// writes the file (the library changes only when the file is on disk) and gives the device
// the type name. Returns the name saved, or none (the message said why, or the user said no).
std::optional<std::string> SaveDeviceType(TRTU& dev, TDeviceLibrary& lib, const std::string& asked, TMessages& msgs);
// "Удалить": asks, then deletes the type's file (its only type) or its key. False when nothing
// changed.
bool DeleteDeviceType(TDeviceLibrary& lib, const std::string& name, TMessages& msgs);

}  // namespace t32
