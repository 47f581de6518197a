// Small helpers for port tests that read hand-made sections and compare what is written back.
#pragma once
#include <cstdint>
#include <vector>

#include "model/config.h"
#include "model/document.h"
#include "model/signal_holders.h"

namespace t32test {

// The processor (with `ports` processor children, the IP port included) and the IP port; the
// port sections under test follow.
inline TBytes ProcessorAndIp(int ports) {
  TBytes r;
  r.Sec(0).Ent(48, {1}).Ent(2, {1}).Ent(3, {static_cast<std::uint8_t>(ports)}).End();
  r.Sec(100).Ent(48, {1}).End();
  return r;
}

inline std::uint32_t SectionLength(const std::vector<std::uint8_t>& img, std::size_t at) {
  return img[at + 4] | (img[at + 5] << 8) | (img[at + 6] << 16) | (std::uint32_t(img[at + 7]) << 24);
}

// The whole first section with the code (head and everything nested), or empty.
inline std::vector<std::uint8_t> SectionBytes(const std::vector<std::uint8_t>& img, int code,
                                              std::size_t from = t32::TConfig::kDataStart) {
  std::size_t at = FindSectionCode(img, code, from);
  if (at == 0 || at + 8 > img.size()) return {};
  std::size_t len = SectionLength(img, at);
  if (at + len > img.size()) return {};
  return {img.begin() + static_cast<long>(at), img.begin() + static_cast<long>(at + len)};
}

// The document's image after writing it (head included).
inline std::vector<std::uint8_t> Written(t32::TDocument& d) {
  std::int32_t end = d.WriteRecords();
  const auto& img = d.Config().Image();
  return {img.begin(), img.begin() + end};
}

inline bool Read(t32::TDocument& d, const TBytes& r) {
  if (!d.Config().SetImage(r.Image())) return false;
  d.ReadRecords(false);
  return true;
}

inline std::vector<std::uint8_t> Le16(std::uint16_t v) {
  return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)};
}
inline std::vector<std::uint8_t> Le32(std::uint32_t v) {
  return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v >> 16),
          static_cast<std::uint8_t>(v >> 24)};
}

// Value bytes of an entry of the section at `at` (first level only), or empty.
inline std::vector<std::uint8_t> EntryAt(const std::vector<std::uint8_t>& img, std::size_t at, int key) {
  std::size_t p = at + 8;
  while (p + 8 <= img.size() && img[p] == 0xF2 && img[p + 1] == 0xFF) {
    std::size_t len = SectionLength(img, p);
    if ((img[p + 2] | (img[p + 3] << 8)) == key) return {img.begin() + static_cast<long>(p + 8), img.begin() + static_cast<long>(p + len)};
    p += len;
  }
  return {};
}

// ТС (211) or ТУ (212) source table section with names.
inline void SourceTable(TBytes& r, int code, const std::vector<std::string>& names) {
  std::vector<std::uint8_t> field;
  for (const auto& n : names) {
    auto f = NameField(n);
    field.insert(field.end(), f.begin(), f.end());
  }
  r.Sec(static_cast<std::uint16_t>(code)).Ent(48, {1}).Ent(code == 211 ? 13 : 15, Le16(static_cast<std::uint16_t>(names.size())));
  r.Ent(41, field);
  if (code == 211) r.Ent(78, std::vector<std::uint8_t>(names.size(), 0));
  r.End();
}

}  // namespace t32test
