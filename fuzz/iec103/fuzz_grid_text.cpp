// Arbitrary bytes as a grid table's text file: read into a three-column table (ranges 0..255,
// 0..255, 1..32), every cell read as a byte with Ignore, written back out and read again.
#include <cstdint>
#include <string_view>

#include "model/gridtable.h"
#include "model/messages.h"

namespace {
class TIgnoreAll : public t32::TMessages {
 public:
  void ShowError(const std::string&) override {}
  int AskConfirm(const std::string&, bool) override { return t32::kYes; }
  int AskCancelIgnore(const std::string&) override { return t32::kIgnore; }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace t32;
  TGridTable g(3);
  g.Column(3).minimum = 1;
  g.Column(3).maximum = 32;
  g.ReadText(std::string_view(reinterpret_cast<const char*>(data), size));
  TIgnoreAll m;
  std::vector<std::vector<std::uint8_t>> entries;
  if (!g.ReadEntries(entries, m) || entries.size() > 255) __builtin_trap();
  std::string text = g.WriteText();
  TGridTable again(3);
  again.ReadText(text);
  if (again.RowCount() != g.RowCount()) __builtin_trap();
  g.ShowEntries(entries);
  return 0;
}
