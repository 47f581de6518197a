// Two arbitrary record streams read as configurations and compared both ways, with their
// signal lists: whatever trees the readers build, the comparison and the lists finish. The
// same bytes read twice must compare equal.
// Input: a flag byte (bit 0 short records, bit 1 rows by index), two bytes of split point,
// then the records of the first configuration and of the second.
#include <cstdint>
#include <vector>

#include "model/config.h"
#include "model/document.h"
#include "model/messages.h"
#include "ports/register.h"
#include "review/diff.h"
#include "review/signal_list.h"

namespace {
void Read(t32::TDocument& doc, const uint8_t* data, size_t size, uint8_t flags) {
  std::vector<uint8_t> img(t32::TConfig::kDataStart, 0);
  img.insert(img.end(), data, data + size);
  doc.extendedFormat = flags & 2;
  doc.Config().SetImage(std::move(img));
  doc.ReadRecords(flags & 1);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const uint8_t flags = data[0];
  size_t split = static_cast<size_t>(data[1] | (data[2] << 8));
  data += 3;
  size -= 3;
  if (split > size) split = size;
  t32::TRecordedMessages m;
  t32::TDocument a(&m, &t32::PortsFactory()), again(&m, &t32::PortsFactory()), b(&m, &t32::PortsFactory());
  Read(a, data, split, flags);
  Read(again, data, split, flags);
  Read(b, data + split, size - split, flags);
  if (!t32::CompareConfigurations(a, again).empty()) __builtin_trap();
  auto ab = t32::CompareConfigurations(a, b);
  auto ba = t32::CompareConfigurations(b, a);
  t32::DifferencesText(ab);
  t32::DifferencesJson(ba);
  t32::SignalListCsv(t32::SignalList(b), {';', true});
  t32::SignalListJson(t32::SignalList(a));
  return 0;
}
