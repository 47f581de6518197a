#include "model/rawsection.h"

#include <algorithm>
#include <iterator>

#include "model/config.h"
#include "model/document.h"
#include "model/memstream.h"
#include "model/params.h"
#include "model/storage.h"
#include "model/tree.h"

namespace t32 {

const char* const kKeptSectionsMessage =
    "Файл содержит разделы, которые эта версия программы не редактирует: они сохраняются без изменений.";
const char* const kDroppedSectionsMessage =
    "Файл старого формата содержит разделы, которые эта версия программы не читает: при сохранении они будут "
    "потеряны.";

const char* const kKeptItemNote =
    "Этот раздел файла эта версия программы не редактирует: он сохраняется без изменений.";

namespace {

std::uint32_t Le(const std::vector<std::uint8_t>& b, std::size_t at, int n) {
  std::uint32_t v = 0;
  for (int i = 0; i < n; ++i) v |= std::uint32_t(b[at + static_cast<std::size_t>(i)]) << (8 * i);
  return v;
}

// One record at p within [p, to): type, code or key, length; false when none stands there.
bool Record(const std::vector<std::uint8_t>& b, std::size_t p, std::size_t to, std::uint16_t& type, int& code,
            std::size_t& len) {
  if (p + 8 > to) return false;
  type = static_cast<std::uint16_t>(Le(b, p, 2));
  code = static_cast<int>(Le(b, p + 2, 2));
  len = Le(b, p + 4, 4);
  return (type == 0xFFF1 || type == 0xFFF2) && len >= 8 && len <= to - p;
}

// Value of the first entry with the key among the section's own entries, or null.
const std::uint8_t* EntryValue(const std::vector<std::uint8_t>& b, std::size_t sec, std::size_t end, int key,
                               std::size_t& size) {
  std::uint16_t type;
  int k;
  std::size_t len;
  for (std::size_t p = sec + 8; Record(b, p, end, type, k, len) && type == 0xFFF2; p += len)
    if (k == key) {
      size = len - 8;
      return b.data() + p + 8;
    }
  return nullptr;
}

}  // namespace

TRawSection::TRawSection(std::vector<std::uint8_t> bytes, bool extendedFormat) {
  keptSection = std::move(bytes);
  code_ = keptSection.size() >= 8 ? static_cast<int>(Le(keptSection, 2, 2)) : 0;
  name = "Раздел " + std::to_string(code_);
  frameClass = "TRawSectionFrame";
  popup = TPopup::DeleteMenu;  // it may be deleted, nothing else
  if (keptSection.size() >= 8) FindTables(8, keptSection.size(), code_, 0, extendedFormat);
}

TRawSection::~TRawSection() = default;

void TRawSection::UpdateNode() {
  if (node) node->SetCaption(name + " (" + std::to_string(keptSection.size()) + " байт)");
}

void TRawSection::SaveToImage(TConfig& c) { c.PutBytes(keptSection); }

void TRawSection::FindTables(std::size_t from, std::size_t to, int parentCode, int depth, bool extendedFormat) {
  // The ports that pass signals on (control station, IP port, workstation, IEC 104 output,
  // МКТ-3) hold output tables only.
  static const int kOutputOwners[] = {100, 101, 103, 119, 202};
  if (std::find(std::begin(kOutputOwners), std::end(kOutputOwners), parentCode) != std::end(kOutputOwners)) {
    std::uint16_t type;
    int code;
    std::size_t len;
    for (std::size_t p = from; Record(keptSection, p, to, type, code, len); p += len)
      if (type == 0xFFF1 && depth < 32 && (code < 211 || code > 219))
        FindTables(p + 8, p + len, code, depth + 1, extendedFormat);
    return;
  }
  static const int kTypeOfCode[][2] = {{211, kSigTS}, {212, kSigTU}, {213, kSigTI},
                                       {214, kSigTII}, {215, kSigTR}, {219, kSigMTS}};
  std::uint16_t type;
  int code;
  std::size_t len;
  for (std::size_t p = from; Record(keptSection, p, to, type, code, len); p += len) {
    if (type != 0xFFF1) continue;
    int sig = 0;
    for (const auto& tc : kTypeOfCode)
      if (tc[0] == code) sig = tc[1];
    if (sig == 0) {
      if (depth < 32) FindTables(p + 8, p + len, code, depth + 1, extendedFormat);
      continue;
    }
    // A source table always names its rows (key 41) and never stores storage indexes (key 1);
    // where output rows are stored by name as well, a ТС source has its flags (78) and a ТИ
    // source its group numbers (46).
    std::size_t nameSize = 0, n = 0;
    const std::uint8_t* names = EntryValue(keptSection, p, p + len, 41, nameSize);
    if (!names || EntryValue(keptSection, p, p + len, 1, n)) continue;
    if (!extendedFormat && ((sig == kSigTS && !EntryValue(keptSection, p, p + len, 78, n)) ||
                            (sig == kSigTI && !EntryValue(keptSection, p, p + len, 46, n))))
      continue;
    std::size_t countSize = 0;
    const std::uint8_t* cnt = EntryValue(keptSection, p, p + len, SignalTypeInfo(sig).countKey, countSize);
    std::size_t count = cnt && countSize >= 2 ? static_cast<std::size_t>(cnt[0] | (cnt[1] << 8)) : nameSize / 65;
    count = std::min<std::size_t>(count, kMaxRows);
    auto t = MakeParams(sig, kRoleSource);
    t->owner = this;
    for (std::size_t i = 0; i < count; ++i) {
      TParamRef r = t->NewParam();
      std::string nm = (i + 1) * 65 <= nameSize ? TConfig::DecodeText(names + i * 65, 65) : std::string();
      r->number = static_cast<std::int16_t>(i);
      r->SetName(nm);
      r->SetDefaultName(nm);
      r->SplitPrefix();
      r->locked = true;  // kept as it stood: nothing of it is edited here
      t->Append(std::move(r));
    }
    tables_.push_back(std::move(t));
  }
}

void TRawSection::EnumerateSignals(TStorageLists& lists) {
  for (const auto& t : tables_) lists.Append(t.get());
}

void TRawSection::DumpExtra(std::string& out, const std::string& indent) const {
  for (const auto& t : tables_)
    out += indent + "signals " + t->name + " = " + std::to_string(t->Count()) + "\n";
}

TNode* KeepRawSection(TTree& tree, TNode* parent, const TConfig& c, std::int32_t at) {
  std::vector<std::uint8_t> bytes = c.SectionBytes(at);
  if (bytes.empty() || !parent) return nullptr;
  bool extended = tree.Doc() ? tree.Doc()->extendedFormat : true;
  return tree.Add(parent, std::make_unique<TRawSection>(std::move(bytes), extended));
}

void KeepChildSections(TItem& parent, TConfig& c) {
  if (!parent.node || !parent.node->Tree()) return;
  const std::int32_t end = c.SectionEnd(c.Pos - 8);
  for (std::int32_t at = c.FindSection(); at >= 0 && at < end; at = c.FindSection()) {
    KeepRawSection(*parent.node->Tree(), parent.node, c, at);
    c.Pos = c.SectionEnd(at);
  }
}

bool HasKeptSections(const TTree& tree) {
  bool any = false;
  tree.ForEach([&](TNode* n) {
    if (n->Item() && !n->Item()->keptSection.empty()) any = true;
  });
  return any;
}

}  // namespace t32
