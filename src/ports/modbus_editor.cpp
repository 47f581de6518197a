#include "ports/modbus_editor.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>
#include <unordered_set>

#include "model/cp1251.h"
#include "model/fileio.h"
#include "model/messages.h"
#include "model/params.h"
#include "ports/device_library.h"
#include "ports/modbus.h"

namespace t32 {

namespace fs = std::filesystem;

const char* const kTooManyLogCodes = "Можно выбрать не больше 512 событий: оставлены первые 512.";

namespace {
// Lower-case hex of at least four digits: the keys a type's ТС list is read under.
std::string HexLower(unsigned a) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04x", a);
  return buf;
}

bool IsHexDigit(char32_t c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// A decimal cell: empty is 0; none for anything else or above max.
std::optional<long long> Decimal(const std::string& s, long long max) {
  if (s.empty()) return 0;
  if (s.size() > 6) return std::nullopt;
  long long v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + (c - '0');
  }
  if (v > max) return std::nullopt;
  return v;
}

std::optional<long long> HexCell(const std::string& s) {
  if (s.empty()) return 0;
  if (s.size() > 4) return std::nullopt;
  long long v = 0;
  for (char c : s) {
    if (!IsHexDigit(static_cast<unsigned char>(c))) return std::nullopt;
    v = v * 16 + (c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
  }
  return v;
}

const char* DefaultFunction(int kind) {
  switch (kind) {
    case kSigTS: return "1";
    case kSigTU: return "5";
    case kSigTI: return "3";
    default: return "6";
  }
}

// A grid row's address range (registers of a ТС row with function 3 or 4 count 16 bits).
bool RowRange(const TGridRow& r, int kind, unsigned& lo, unsigned& hi) {
  auto a = HexCell(r.address);
  auto n = Decimal(r.count, 255);
  auto f = Decimal(r.function, 255);
  if (r.address.empty() || !a || !n || !f || *n == 0) return false;
  unsigned base = static_cast<unsigned>(*a), count = static_cast<unsigned>(*n);
  if (kind == kSigTS && (*f == 3 || *f == 4)) base *= 16;
  lo = base;
  hi = base + count - 1;
  return true;
}

constexpr const char* kTypeSections[] = {"Устройства",   "Таблица ТС",  "Таблица ТУ",     "Таблица ТИ",
                                         "Таблица ТР",   "Дата Время",  "Журнал Системы", "Журнал Аварий"};
}  // namespace

// --- grids ------------------------------------------------------------------------------
long long GridColumnMax(TGridCol c) {
  switch (c) {
    case TGridCol::Type: return 7;
    case TGridCol::Address: return 0xFFFF;
    default: return 255;
  }
}

std::string& TGridRow::Cell(TGridCol c) {
  switch (c) {
    case TGridCol::Type: return type;
    case TGridCol::Function: return function;
    case TGridCol::Address: return address;
    default: return count;
  }
}
const std::string& TGridRow::Cell(TGridCol c) const { return const_cast<TGridRow*>(this)->Cell(c); }

TGridRow GridRowOf(const TRTUBlock& b, bool ti) {
  TGridRow r;
  if (!b.count) return r;
  if (ti) r.type = std::to_string(b.type);
  r.function = std::to_string(b.function);
  r.address = Hex4(b.address);
  r.count = std::to_string(b.count);
  return r;
}

TGrid GridOf(const std::array<TRTUBlock, 8>& blocks, bool ti) {
  TGrid g;
  for (std::size_t i = 0; i < blocks.size(); ++i) g[i] = GridRowOf(blocks[i], ti);
  return g;
}

TRTUBlock ReadGridRow(const TGridRow& r, const TRTUBlock& old, bool ti) {
  if (r == GridRowOf(old, ti)) return old;
  TRTUBlock b = old;
  if (ti)
    if (auto v = Decimal(r.type, 7)) b.type = static_cast<std::uint8_t>(*v);
  if (!ti) b.type = 0;
  if (auto v = Decimal(r.function, 255)) b.function = static_cast<std::uint8_t>(*v);
  if (auto v = HexCell(r.address)) b.address = static_cast<std::uint16_t>(*v);
  if (auto v = Decimal(r.count, 255)) b.count = static_cast<std::uint8_t>(*v);
  return b;
}

void ReadGrid(const TGrid& g, std::array<TRTUBlock, 8>& blocks, bool ti) {
  for (std::size_t i = 0; i < blocks.size(); ++i) blocks[i] = ReadGridRow(g[i], blocks[i], ti);
}

std::optional<std::string> GridKey(TGridCol c, const std::string& text, int selStart, int selLen, char32_t key) {
  const bool hex = c == TGridCol::Address;
  if (hex) {
    if (key >= 'a' && key <= 'f') key = key - 'a' + 'A';
    if (!IsHexDigit(key)) return std::nullopt;
  } else if (key < '0' || key > '9') {
    return std::nullopt;
  }
  const auto size = static_cast<int>(text.size());
  selStart = std::clamp(selStart, 0, size);
  selLen = std::clamp(selLen, 0, size - selStart);
  std::string out = text.substr(0, static_cast<std::size_t>(selStart)) + static_cast<char>(key) +
                    text.substr(static_cast<std::size_t>(selStart + selLen));
  if (hex) return out.size() <= 4 ? std::optional<std::string>(out) : std::nullopt;
  if (out.size() > 3 || !Decimal(out, GridColumnMax(c))) return std::nullopt;
  return out;
}

// --- hex fields ---------------------------------------------------------------------------
std::string HexOnly(std::string_view text) {
  std::string out;
  for (char c : text)
    if (IsHexDigit(static_cast<unsigned char>(c))) out += c;
  return out;
}

std::uint16_t HexValue(std::string_view text) {
  std::string h = HexOnly(text);
  if (h.size() > 4) h = h.substr(h.size() - 4);
  return static_cast<std::uint16_t>(HexCell(h).value_or(0));
}

std::string Hex4(unsigned v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04X", v);
  return buf;
}

// --- picking signals ------------------------------------------------------------------------
std::optional<unsigned> ListKeyAddress(std::string_view key) {
  long long v = 0;
  if (!ParseLibraryNumber(key, v) || v < 0 || v > 0xFFFFFF) return std::nullopt;
  return static_cast<unsigned>(v);
}

std::string_view ListLineKey(std::string_view line) {
  std::size_t eq = line.find('=');
  return eq == std::string_view::npos ? line : line.substr(0, eq);
}

bool RunRange(const std::vector<std::string>& lines, unsigned& first, unsigned& last) {
  bool any = false;
  for (const std::string& l : lines)
    if (auto a = ListKeyAddress(ListLineKey(l))) {
      if (!any || *a < first) first = *a;
      if (!any || *a > last) last = *a;
      any = true;
    }
  return any;
}

int AddRangeToGrid(TGrid& grid, int kind, unsigned first, unsigned last) {
  if (first > last) std::swap(first, last);
  int row = 0;
  while (row < kGridRows && !grid[static_cast<std::size_t>(row)].address.empty()) ++row;
  int filled = 0;
  unsigned long long a = first;
  for (; a <= last && row < kGridRows; ++row) {
    TGridRow& r = grid[static_cast<std::size_t>(row)];
    if (!r.address.empty()) continue;  // a row of the user's stays as it is
    if (row == 0) {
      if (r.function.empty()) r.function = DefaultFunction(kind);
      if (kind == kSigTI && r.type.empty()) r.type = "0";
    } else {
      const TGridRow& above = grid[static_cast<std::size_t>(row - 1)];
      r.function = above.function.empty() ? DefaultFunction(kind) : above.function;
      if (kind == kSigTI) r.type = above.type.empty() ? "0" : above.type;
    }
    const auto fn = Decimal(r.function, 255).value_or(0);
    if (kind == kSigTS && (fn == 3 || fn == 4)) {
      // Whole registers: a row never starts or ends inside one, so rows never overlap.
      const unsigned long long reg = a / 16, lastReg = last / 16;
      if (reg > 0xFFFF) break;
      const unsigned long long n = std::min<unsigned long long>(lastReg - reg + 1, 12);
      r.address = Hex4(static_cast<unsigned>(reg));
      r.count = std::to_string(n * 16);
      a = (reg + n) * 16;
    } else {
      if (a > 0xFFFF) break;  // the address column holds four digits
      const unsigned long long n = std::min<unsigned long long>({last - a + 1, 192, 0x10000 - a});
      r.address = Hex4(static_cast<unsigned>(a));
      r.count = std::to_string(n);
      a += n;
    }
    ++filled;
  }
  return filled;
}

bool AddressInGrid(unsigned address, const TGrid& grid, int kind) {
  for (const TGridRow& r : grid) {
    unsigned lo = 0, hi = 0;
    if (RowRange(r, kind, lo, hi) && address >= lo && address <= hi) return true;
  }
  return false;
}

bool LineTooLong(std::string_view devicePrefix, std::string_view line) {
  return Utf8Length(devicePrefix) + Utf8Length(line) > 70;
}

// --- log events -----------------------------------------------------------------------------
std::vector<TLogLine> LogLines(const TLibraryFile& f, bool alarm, const std::vector<std::uint16_t>& codes) {
  std::vector<TLogLine> out;
  std::set<std::uint16_t> have(codes.begin(), codes.end()), listed;
  if (const auto* s = f.ini.FindSection(alarm ? "Список Аварий" : "Список Событий"))
    for (const auto& e : s->entries) {
      TLogLine l;
      l.text = e.key + "=" + e.value;
      long long v = 0;
      if (!e.key.empty() && e.key[0] != '$' && ParseLibraryNumber(e.key, v) && v <= 0xFFFF) {
        l.code = static_cast<int>(v);
        l.ticked = have.count(static_cast<std::uint16_t>(v)) > 0;
        listed.insert(static_cast<std::uint16_t>(v));
      }
      out.push_back(std::move(l));
    }
  // A code the list no longer names stays, ticked, until the user clears it.
  for (std::uint16_t c : codes)
    if (listed.insert(c).second) out.push_back({std::to_string(c) + "=???", c, true});
  return out;
}

std::vector<std::uint16_t> TickedCodes(const std::vector<TLogLine>& lines, bool* cut) {
  std::vector<std::uint16_t> out;
  std::unordered_set<int> seen;
  bool more = false;
  for (const TLogLine& l : lines) {
    if (!l.ticked || l.code < 0 || !seen.insert(l.code).second) continue;
    if (out.size() == TRTULog::kMaxCodes) {
      more = true;
      break;
    }
    out.push_back(static_cast<std::uint16_t>(l.code));
  }
  if (cut) *cut = more;
  return out;
}

// --- device types -----------------------------------------------------------------------------
std::string TypeNameError(const std::string& name) {
  bool bad = name.empty() || name == "." || name == ".." || !FitsCp1251(name);
  for (unsigned char c : name)
    if (c < 0x20 || c == 0x7F || std::string_view("/\\:*?\"<>|").find(static_cast<char>(c)) != std::string_view::npos)
      bad = true;
  if (!name.empty()) {
    const char f = name.front(), b = name.back();
    if (f == ' ' || f == '.' || b == ' ' || b == '.' || f == '\t' || b == '\t') bad = true;
  }
  return bad ? "Недопустимое имя типа: " + name : std::string();
}

void WriteTypeDescription(const TRTU& dev, const std::string& name, TLibraryFile& f) {
  TIniFile& ini = f.ini;
  for (const char* s : kTypeSections) ini.EraseSection(s);
  ini.WriteString("Устройства", name, "");
  const TRTUSettings& s = dev.s;
  auto table = [&](const char* section, const std::array<TRTUBlock, 8>& blocks, bool ti) {
    for (std::size_t i = 0; i < blocks.size(); ++i) {
      const TRTUBlock& b = blocks[i];
      if (!b.count) continue;
      const std::string N = std::to_string(i + 1);
      if (ti) ini.WriteInteger(section, N + "_Тип", b.type);
      ini.WriteString(section, N + "_Адрес", "$" + Hex4(b.address));
      ini.WriteInteger(section, N + "_Количество", b.count);
      ini.WriteInteger(section, N + "_Функция", b.function);
    }
  };
  // The own names of the rows, in row order, under the addresses the blocks give them.
  auto names = [&](int kind, const char* list, const std::vector<std::string>& keys) {
    const TParams* t = dev.Table(kind);
    for (std::size_t i = 0; t && i < keys.size() && static_cast<int>(i) < t->Count(); ++i)
      if (const TParam* r = t->At(static_cast<int>(i))) ini.WriteString(list, keys[i], r->Suffix());
  };
  std::vector<std::string> keys;
  table("Таблица ТС", s.ts, false);
  for (const TRTUBlock& b : s.ts) {
    const unsigned base = (b.function == 3 || b.function == 4) ? b.address * 16u : b.address;
    for (unsigned k = 0; k < b.count; ++k) keys.push_back("$" + HexLower(base + k));
  }
  names(kSigTS, "Список ТС", keys);
  auto plain = [&](const char* tableName, const char* list, int kind, const std::array<TRTUBlock, 8>& blocks) {
    table(tableName, blocks, false);
    keys.clear();
    for (const TRTUBlock& b : blocks)
      for (unsigned k = 0; k < b.count; ++k) keys.push_back("$" + Hex4(b.address + k));
    names(kind, list, keys);
  };
  plain("Таблица ТУ", "Список ТУ", kSigTU, s.tu);
  table("Таблица ТИ", s.ti, true);
  keys.clear();
  for (const TRTUBlock& b : s.ti)
    for (unsigned k = 0; k < b.count; ++k)
      if (!WideTiType(b.type) || k % 2 == 0) keys.push_back("$" + Hex4(b.address + k));
  names(kSigTI, "Список ТИ", keys);
  plain("Таблица ТР", "Список ТР", kSigTR, s.tr);
  // The clock and a log are written when any of their values is set: a clock address alone
  // must come back when the type is applied.
  if (s.clockAddress || !s.clockText.empty()) {
    ini.WriteString("Дата Время", "1_Адрес", "$" + Hex4(s.clockAddress));
    ini.WriteString("Дата Время", "1_Строка", s.clockText);
  }
  auto log = [&](const char* section, const TRTULog& l) {
    if (!l.start && !l.select && !l.interval && !l.records && l.text.empty()) return;
    ini.WriteString(section, "Адрес1", "$" + Hex4(l.start));
    ini.WriteString(section, "Адрес2", "$" + Hex4(l.select));
    ini.WriteInteger(section, "Интервал", l.interval);
    ini.WriteInteger(section, "Записей", l.records);
    ini.WriteString(section, "Строка", l.text);
  };
  log("Журнал Системы", s.sysLog);
  log("Журнал Аварий", s.alarmLog);
}

std::optional<std::string> SaveDeviceType(TRTU& dev, TDeviceLibrary& lib, const std::string& asked, TMessages& msgs) {
  // Cut first: the checks must see the name the file will carry.
  const std::string name = Utf8Left(asked, 64);
  if (name.empty()) return std::nullopt;
  if (std::string e = TypeNameError(name); !e.empty()) {
    msgs.ShowError(e);
    return std::nullopt;
  }
  auto other = [&](const std::string& file) {
    msgs.ShowError("Файл  " + file + "  содержит описание другого устройства. В записи отказано. Задайте другое имя.");
  };
  TLibraryFile* existing = nullptr;
  if (const TLibraryFile* f = lib.Find(name)) existing = lib.FindFile(f->name);
  auto made = std::make_unique<TLibraryFile>();
  std::string error;
  if (existing) {
    if (existing->ini.Keys("Устройства").size() > 1) {
      msgs.ShowError("Файл  " + existing->name +
                     "  содержит описание нескольких устройств. В записи отказано. Задайте другое имя.");
      return std::nullopt;
    }
    if (msgs.AskConfirm("Файл уже существует.\rПереписать настройку?") != kYes) return std::nullopt;
    made->name = existing->name;
    made->path = existing->path;
    made->ini = existing->ini;
    if (made->path.empty()) {
      std::string folder = lib.FolderForNewFile(&error);
      if (folder.empty()) {
        msgs.ShowError(error);
        return std::nullopt;
      }
      made->path = (fs::path(folder) / made->name).string();
    }
  } else {
    made->name = name + ".ini";
    if (lib.FindFile(made->name)) {
      other(made->name);
      return std::nullopt;
    }
    std::string folder = lib.FolderForNewFile(&error);
    if (folder.empty()) {
      msgs.ShowError(error);
      return std::nullopt;
    }
    made->path = (fs::path(folder) / made->name).string();
    std::error_code ec;
    if (fs::exists(made->path, ec)) {  // a file the library could not read
      other(made->name);
      return std::nullopt;
    }
    // The name lists of the type the device had carry over.
    if (const TLibraryFile* prev = lib.Find(dev.name)) made->ini = prev->ini;
  }
  WriteTypeDescription(dev, name, *made);
  if (!made->ini.Save(made->path, &error)) {
    msgs.ShowError(error);
    return std::nullopt;
  }
  if (existing) {
    existing->ini = std::move(made->ini);
    existing->path = made->path;
    lib.Reindex();
  } else {
    lib.AddFile(std::move(made));
  }
  dev.name = name;
  dev.UpdateNode();
  return name;
}

bool DeleteDeviceType(TDeviceLibrary& lib, const std::string& name, TMessages& msgs) {
  const TLibraryFile* found = lib.Find(name);
  if (!found) return false;
  if (msgs.AskConfirm("Удалить устройство " + name + " из списка ?") != kYes) return false;
  TLibraryFile* f = lib.FindFile(found->name);
  if (!f) return false;
  if (f->ini.Keys("Устройства").size() <= 1) {
    std::error_code ec;
    if (!f->path.empty() && !fs::remove(f->path, ec) && ec) {
      msgs.ShowError("Не удалось удалить файл " + f->path + ": " + SystemErrorText(ec.value()));
      return false;
    }
    lib.RemoveFile(f);
    return true;
  }
  TIniFile ini = f->ini;
  ini.EraseKey("Устройства", name);
  std::string error;
  if (!f->path.empty() && !ini.Save(f->path, &error)) {
    msgs.ShowError(error);
    return false;
  }
  f->ini = std::move(ini);
  lib.Reindex();
  return true;
}

}  // namespace t32
