// Small ports for the table and storage tests: one passes signals on through six output tables,
// one produces signals of every type. The real ports come with the ports layer.
#pragma once
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "model/boards.h"
#include "model/config.h"
#include "model/factory.h"
#include "model/params.h"
#include "model/storage.h"

namespace t32test {
using namespace t32;

class TOutputHolder : public TPort {
 public:
  std::array<TParams*, 7> out{};
  TOutputHolder() {
    name = "Выход";
    role = 1;
    number = 1;
  }
  const char* ClassName() const override { return "TOutputHolder"; }
  int SectionCode() const override { return 150; }
  void Create(TNode* n) override {
    TPort::Create(n);
    for (int t = 1; t <= 6; ++t) {
      auto p = MakeParams(t, kRoleOutput);
      p->owner = this;
      out[static_cast<std::size_t>(t)] = p.get();
      n->Tree()->Add(n, std::move(p));
    }
  }
  void ResolveOutputTables() override {
    for (int t = 1; t <= 6; ++t) out[static_cast<std::size_t>(t)]->RelinkOutputRows();
  }
  void AfterLoad() override {
    for (int t = 1; t <= 6; ++t) out[static_cast<std::size_t>(t)]->ResolveReferences();
  }
  std::string SignalAddressText(int row, int) const override { return std::to_string(row + 1); }
  void LoadFromImage(TConfig& c) override {
    if (!EnterSection(c, 150)) return;
    TChildReader rd(c);
    for (int t = 1; t <= 6; ++t) rd.Load(out[static_cast<std::size_t>(t)]);
  }
  TParams& Out(int t) { return *out[static_cast<std::size_t>(t)]; }
};

class TSourceHolder : public TPort {
 public:
  std::array<TParams*, 7> src{};
  std::array<std::uint16_t, 7> counts{};
  TSourceHolder() {
    name = "Источник";
    number = 2;
  }
  const char* ClassName() const override { return "TSourceHolder"; }
  int SectionCode() const override { return 151; }
  void Create(TNode* n) override {
    TPort::Create(n);
    for (int t = 1; t <= 6; ++t) {
      auto p = MakeParams(t, kRoleSource);
      p->owner = this;
      src[static_cast<std::size_t>(t)] = p.get();
      n->Tree()->Add(n, std::move(p));
    }
  }
  std::string Prefix() const { return std::to_string(number) + "_Порт " + name; }
  void SetCounts(const std::array<std::uint16_t, 7>& c) {
    counts = c;
    for (int t = 1; t <= 6; ++t) {
      auto& tab = *src[static_cast<std::size_t>(t)];
      if (counts[static_cast<std::size_t>(t)] == 0) tab.ClearRows();
      else tab.Build(counts[static_cast<std::size_t>(t)], Prefix());
    }
  }
  void Fields(TFieldVisitor& v) override {
    static const char* ids[7] = {"", "ts", "tu", "ti", "tii", "tr", "mts"};
    for (int t = 1; t <= 6; ++t) v.U16({ids[t], 10 + t}, counts[static_cast<std::size_t>(t)]);
  }
  void EnumerateSignals(TStorageLists& lists) override {
    for (int t = 1; t <= 6; ++t) lists.Append(src[static_cast<std::size_t>(t)]);
  }
  void LoadFromImage(TConfig& c) override {
    if (!EnterSection(c, 151)) return;
    TImageReader r(c);
    Fields(r);
    SetCounts(counts);
    TChildReader rd(c);
    for (int t = 1; t <= 6; ++t) rd.Load(src[static_cast<std::size_t>(t)]);
  }
  TParams& Src(int t) { return *src[static_cast<std::size_t>(t)]; }
};

// The default classes plus the two holders as ports.
inline TItemFactory HolderFactory() {
  TItemFactory f = DefaultFactory();
  f.Register(150, TItemPlace::Port, [] { return std::make_unique<TOutputHolder>(); });
  f.Register(151, TItemPlace::Port, [] { return std::make_unique<TSourceHolder>(); });
  return f;
}

// Records written by hand: long and short.
struct TBytes {
  std::vector<std::uint8_t> b;
  std::vector<std::size_t> open;
  TBytes& U8(std::uint8_t v) { b.push_back(v); return *this; }
  TBytes& U16(std::uint16_t v) { b.push_back(v & 0xFF); b.push_back(static_cast<std::uint8_t>(v >> 8)); return *this; }
  TBytes& U32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    return *this;
  }
  // Long records.
  TBytes& Sec(std::uint16_t code) { open.push_back(b.size()); return U16(0xFFF1).U16(code).U32(0); }
  TBytes& Ent(std::uint16_t key, const std::vector<std::uint8_t>& v) {
    U16(0xFFF2).U16(key).U32(static_cast<std::uint32_t>(v.size() + 8));
    b.insert(b.end(), v.begin(), v.end());
    return *this;
  }
  TBytes& End() {
    std::size_t at = open.back();
    open.pop_back();
    std::uint32_t len = static_cast<std::uint32_t>(b.size() - at);
    for (int i = 0; i < 4; ++i) b[at + 4 + i] = static_cast<std::uint8_t>(len >> (8 * i));
    return *this;
  }
  // Short records.
  TBytes& SSec(std::uint8_t code) { open.push_back(b.size()); return U8(0xF0).U8(code).U16(0); }
  TBytes& SEnt(std::uint8_t key, const std::vector<std::uint8_t>& v) {
    U8(0xE0).U8(key).U16(static_cast<std::uint16_t>(v.size() + 4));
    b.insert(b.end(), v.begin(), v.end());
    return *this;
  }
  TBytes& SEnd() {
    std::size_t at = open.back();
    open.pop_back();
    std::uint16_t len = static_cast<std::uint16_t>(b.size() - at);
    b[at + 2] = len & 0xFF;
    b[at + 3] = static_cast<std::uint8_t>(len >> 8);
    return *this;
  }
  std::vector<std::uint8_t> Image() const {
    std::vector<std::uint8_t> img(TConfig::kDataStart, 0);
    img.insert(img.end(), b.begin(), b.end());
    return img;
  }
};

// A 65-byte name field.
inline std::vector<std::uint8_t> NameField(const std::string& utf8) {
  std::vector<std::uint8_t> f(65);
  TConfig::EncodeText(utf8, f.data());
  return f;
}

// Keys of the entries directly after a section record at `at`.
inline std::vector<int> EntryKeys(const std::vector<std::uint8_t>& img, std::size_t at) {
  std::vector<int> keys;
  std::size_t p = at + 8;
  while (p + 8 <= img.size() && img[p] == 0xF2 && img[p + 1] == 0xFF) {
    keys.push_back(img[p + 2] | (img[p + 3] << 8));
    p += img[p + 4] | (img[p + 5] << 8) | (img[p + 6] << 16) | (std::size_t(img[p + 7]) << 24);
  }
  return keys;
}

// Offset of the first section record with the code at or after `from`, or 0.
inline std::size_t FindSectionCode(const std::vector<std::uint8_t>& img, int code, std::size_t from = TConfig::kDataStart) {
  for (std::size_t p = from; p + 8 <= img.size(); ++p)
    if (img[p] == 0xF1 && img[p + 1] == 0xFF && (img[p + 2] | (img[p + 3] << 8)) == code) return p;
  return 0;
}

}  // namespace t32test
