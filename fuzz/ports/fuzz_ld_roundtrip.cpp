// Arbitrary bytes as a logic port's section: whatever is read is written, read and written
// again, and the two writes must be the same bytes.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "model/config.h"
#include "model/document.h"
#include "model/messages.h"
#include "model/storage.h"
#include "ports/port_ld.h"
#include "ports/port_menu.h"
#include "ports/register.h"

namespace {

// Reads the records (head excluded) as the port's section and writes the port again.
std::vector<uint8_t> ReadWrite(const std::vector<uint8_t>& records) {
  t32::TRecordedMessages m;
  t32::TDocument doc(&m, &t32::PortsFactory());
  t32::TNode* n = t32::AddPortFromMenu(doc, 131);
  if (!n) std::abort();
  auto* p = static_cast<t32::TPortLD*>(n->Item());
  std::vector<uint8_t> img(t32::TConfig::kDataStart, 0);
  img.insert(img.end(), records.begin(), records.end());
  t32::TConfig& c = doc.Config();
  if (!c.SetImage(std::move(img))) return {};
  c.Pos = t32::TConfig::kDataStart;
  doc.Storage().Enable(false);
  p->LoadFromImage(c);
  doc.Storage().Enable(true);
  doc.Storage().Rebuild();
  p->AfterLoad();
  doc.Storage().Rebuild();
  p->Problems();
  for (int i = 0; i < static_cast<int>(p->tasks.size()); ++i) p->TaskText(i);
  c.BeginWrite();
  p->SaveToImage(c);
  return {c.Image().begin() + t32::TConfig::kDataStart, c.Image().begin() + c.Pos};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  std::vector<uint8_t> first = ReadWrite(std::vector<uint8_t>(data, data + size));
  std::vector<uint8_t> second = ReadWrite(first);
  if (first != second) std::abort();
  return 0;
}
