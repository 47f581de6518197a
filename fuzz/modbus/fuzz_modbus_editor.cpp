// Arbitrary bytes through the Modbus device editor's rules: the first byte picks the tab, the
// rest is split into lines that serve as list lines (range picking), grid cells (reading back
// and typing key by key), hex fields and an event list with its codes.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/params.h"
#include "ports/device_library.h"
#include "ports/modbus_editor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace t32;
  if (size == 0) return 0;
  static const int kinds[] = {kSigTS, kSigTU, kSigTI, kSigTR};
  const int kind = kinds[data[0] % 4];
  std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  std::vector<std::string> lines;
  for (std::size_t at = 0; at <= text.size();) {
    std::size_t nl = text.find('\n', at);
    if (nl == std::string_view::npos) nl = text.size();
    lines.emplace_back(text.substr(at, nl - at));
    at = nl + 1;
  }
  TGrid grid{};
  for (std::size_t i = 0; i < lines.size() && i < 32; ++i)
    grid[(i / 4) % kGridRows].Cell(static_cast<TGridCol>(i % 4)) = lines[i].substr(0, 8);
  unsigned first = 0, last = 0;
  if (RunRange(lines, first, last)) {
    AddRangeToGrid(grid, kind, first, last);
    AddressInGrid(first, grid, kind);
  }
  std::array<TRTUBlock, 8> blocks{};
  ReadGrid(grid, blocks, kind == kSigTI);
  ReadGrid(GridOf(blocks, kind == kSigTI), blocks, kind == kSigTI);
  std::string cell;
  for (char c : text.substr(0, 64)) {
    auto next = GridKey(static_cast<TGridCol>(static_cast<unsigned char>(c) % 4), cell, static_cast<int>(c) % 5,
                        static_cast<int>(c) % 3, static_cast<unsigned char>(c));
    if (next) cell = *next;
  }
  HexValue(text);
  TypeNameError(std::string(text.substr(0, 80)));
  TLibraryFile f;
  f.ini.Parse(text);
  std::vector<std::uint16_t> codes;
  for (std::size_t i = 0; i + 1 < size && codes.size() < 600; i += 2)
    codes.push_back(static_cast<std::uint16_t>(data[i] | (data[i + 1] << 8)));
  std::vector<TLogLine> log = LogLines(f, data[0] & 1, codes);
  TickedCodes(log);
  return 0;
}
