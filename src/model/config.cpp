#include "model/config.h"

#include <algorithm>
#include <cstring>

#include "model/cp1251.h"

namespace t32 {
namespace {
constexpr std::uint16_t kSection = 0xFFF1;
constexpr std::uint16_t kEntry = 0xFFF2;
constexpr std::uint8_t kShortSection = 0xF0;
constexpr std::uint8_t kShortEntry = 0xE0;

std::uint16_t Rd16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t Rd32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
}
void Wr16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
void Wr32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
}  // namespace

void TConfig::BeginWrite() {
  image_.assign(kDataStart, 0);
  Pos = kDataStart;
  Mark = kDataStart;
  overflow_ = false;
}

bool TConfig::SetImage(std::vector<std::uint8_t> bytes) {
  if (bytes.size() > kMaxImage) return false;
  image_ = std::move(bytes);
  Pos = kDataStart;
  Mark = kDataStart;
  overflow_ = false;
  return true;
}

bool TConfig::Ensure(std::size_t bytes) {
  if (overflow_ || Pos < 0) return false;
  std::size_t need = static_cast<std::size_t>(Pos) + bytes;
  if (need > kMaxImage) {
    overflow_ = true;
    return false;
  }
  if (image_.size() < need) image_.resize(need, 0);
  return true;
}

void TConfig::BeginSection(std::uint16_t code) {
  if (!Ensure(8)) return;
  std::uint8_t* p = image_.data() + Pos;
  Wr16(p, kSection);
  Wr16(p + 2, code);
  Wr32(p + 4, 8);
  Pos += 8;
}

void TConfig::PutEntry(std::uint16_t key, std::size_t size, const void* src) {
  if (size > kMaxImage || !Ensure(size + 8)) return;
  std::uint8_t* p = image_.data() + Pos;
  Wr16(p, kEntry);
  Wr16(p + 2, key);
  Wr32(p + 4, static_cast<std::uint32_t>(size + 8));
  if (size) std::memcpy(p + 8, src, size);
  Pos += static_cast<std::int32_t>(size + 8);
}

void TConfig::PutBytes(const std::vector<std::uint8_t>& bytes) {
  if (bytes.empty() || !Ensure(bytes.size())) return;
  std::memcpy(image_.data() + Pos, bytes.data(), bytes.size());
  Pos += static_cast<std::int32_t>(bytes.size());
}

void TConfig::EndSection(std::int32_t start) {
  if (overflow_ || start < 0 || static_cast<std::size_t>(start) + 8 > image_.size()) return;
  Wr32(image_.data() + start + 4, static_cast<std::uint32_t>(Pos - start));
}

void TConfig::PutU16(std::uint16_t key, std::uint16_t v) {
  std::uint8_t b[2];
  Wr16(b, v);
  PutEntry(key, 2, b);
}
void TConfig::PutU32(std::uint16_t key, std::uint32_t v) {
  std::uint8_t b[4];
  Wr32(b, v);
  PutEntry(key, 4, b);
}
void TConfig::PutF32(std::uint16_t key, float v) {
  std::uint32_t u;
  std::memcpy(&u, &v, 4);
  PutU32(key, u);
}

void TConfig::EncodeText(std::string_view utf8, std::uint8_t field[65]) {
  std::memset(field, 0, 65);
  std::string cp = Utf8ToCp1251(Utf8Left(utf8, 64));
  if (cp.size() > 64) cp.resize(64);
  field[0] = static_cast<std::uint8_t>(cp.size());
  std::memcpy(field + 1, cp.data(), cp.size());
}

std::string TConfig::DecodeText(const std::uint8_t* field, std::size_t size) {
  if (size == 0) return {};
  std::size_t n = std::min<std::size_t>({field[0], size - 1, 64});
  return Cp1251ToUtf8(std::string_view(reinterpret_cast<const char*>(field + 1), n));
}

void TConfig::PutText(std::uint16_t key, std::string_view utf8) {
  std::uint8_t f[65];
  EncodeText(utf8, f);
  PutEntry(key, 65, f);
}

bool TConfig::LongAt(std::int64_t p, std::uint16_t& type, std::uint16_t& code, std::uint32_t& len) const {
  if (p < 0 || p + 8 > static_cast<std::int64_t>(image_.size())) return false;
  const std::uint8_t* r = image_.data() + p;
  type = Rd16(r);
  code = Rd16(r + 2);
  len = Rd32(r + 4);
  if (type != kSection && type != kEntry) return false;
  if (len < 8 || static_cast<std::uint64_t>(p) + len > image_.size()) return false;
  return true;
}

bool TConfig::ShortAt(std::int64_t p, std::uint8_t& type, std::uint8_t& code, std::uint16_t& len) const {
  if (p < 0 || p + 4 > static_cast<std::int64_t>(image_.size())) return false;
  const std::uint8_t* r = image_.data() + p;
  type = r[0];
  code = r[1];
  len = Rd16(r + 2);
  if (type != kShortSection && type != kShortEntry) return false;
  if (len < 4 || static_cast<std::uint64_t>(p) + len > image_.size()) return false;
  return true;
}

bool TConfig::GetEntry(std::uint16_t key, std::size_t size, void* dst) const {
  std::int64_t p = Pos;
  std::uint16_t type, code;
  std::uint32_t len;
  while (LongAt(p, type, code, len) && type == kEntry) {
    if (code == key) {
      std::size_t n = std::min<std::size_t>(len - 8, size);
      if (n) std::memcpy(dst, image_.data() + p + 8, n);
      return true;
    }
    p += len;
  }
  return false;
}

long TConfig::EntrySize(std::uint16_t key) const {
  std::int64_t p = Pos;
  std::uint16_t type, code;
  std::uint32_t len;
  while (LongAt(p, type, code, len) && type == kEntry) {
    if (code == key) return static_cast<long>(len - 8);
    p += len;
  }
  return -1;
}

int TConfig::PeekSection() const {
  std::int64_t p = Pos;
  std::uint16_t type, code;
  std::uint32_t len;
  while (LongAt(p, type, code, len)) {
    if (type == kSection) return code;
    p += len;
  }
  return 0;
}

int TConfig::NextSection() {
  std::int64_t p = Pos;
  std::uint16_t type, code;
  std::uint32_t len;
  while (LongAt(p, type, code, len)) {
    if (type == kSection) {
      Pos = static_cast<std::int32_t>(p + 8);
      return code;
    }
    p += len;
  }
  Pos = End();  // nothing readable follows: the walk is over
  return kNoSection;
}

std::int32_t TConfig::FindSection() const {
  std::int64_t p = Pos;
  std::uint16_t type, code;
  std::uint32_t len;
  while (LongAt(p, type, code, len)) {
    if (type == kSection) return static_cast<std::int32_t>(p);
    p += len;
  }
  return -1;
}

std::int32_t TConfig::SectionEnd(std::int32_t at) const {
  std::uint16_t type, code;
  std::uint32_t len;
  if (LongAt(at, type, code, len)) return static_cast<std::int32_t>(at + static_cast<std::int64_t>(len));
  return End();
}

std::vector<std::uint8_t> TConfig::SectionBytes(std::int32_t at) const {
  std::uint16_t type, code;
  std::uint32_t len;
  if (!LongAt(at, type, code, len) || type != kSection) return {};
  return std::vector<std::uint8_t>(image_.begin() + at, image_.begin() + at + static_cast<std::int64_t>(len));
}

int TConfig::SkipNextSection() {
  std::int32_t at = FindSection();
  if (at < 0) {
    Pos = End();
    return kNoSection;
  }
  int code = image_[at + 2] | (image_[at + 3] << 8);
  Pos = SectionEnd(at);
  return code;
}

void TConfig::SkipSection() {
  std::uint16_t type, code;
  std::uint32_t len;
  if (LongAt(Mark, type, code, len))
    Pos = static_cast<std::int32_t>(Mark + static_cast<std::int64_t>(len));
  else
    Pos = End();
}

bool TConfig::GetU16(std::uint16_t key, std::uint16_t& v) const {
  std::uint8_t b[2] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)};
  if (!GetEntry(key, 2, b)) return false;
  v = Rd16(b);
  return true;
}
bool TConfig::GetU32(std::uint16_t key, std::uint32_t& v) const {
  std::uint8_t b[4];
  Wr32(b, v);
  if (!GetEntry(key, 4, b)) return false;
  v = Rd32(b);
  return true;
}
bool TConfig::GetI32(std::uint16_t key, std::int32_t& v) const {
  std::uint32_t u = static_cast<std::uint32_t>(v);
  if (!GetU32(key, u)) return false;
  v = static_cast<std::int32_t>(u);
  return true;
}
bool TConfig::GetF32(std::uint16_t key, float& v) const {
  std::uint32_t u;
  std::memcpy(&u, &v, 4);
  if (!GetU32(key, u)) return false;
  std::memcpy(&v, &u, 4);
  return true;
}
bool TConfig::GetText(std::uint16_t key, std::string& utf8) const {
  std::uint8_t f[65] = {0};
  long n = EntrySize(key);
  if (n < 0 || !GetEntry(key, 65, f)) return false;
  utf8 = DecodeText(f, static_cast<std::size_t>(std::min<long>(n, 65)));
  return true;
}

bool TConfig::GetShortEntry(std::uint8_t key, std::uint16_t size, void* dst) const {
  std::int64_t p = Pos;
  std::uint8_t type, code;
  std::uint16_t len;
  while (ShortAt(p, type, code, len) && type == kShortEntry) {
    if (code == key) {
      std::size_t n = std::min<std::size_t>(len - 4u, size);
      if (n) std::memcpy(dst, image_.data() + p + 4, n);
      return true;
    }
    p += len;
  }
  return false;
}

long TConfig::ShortEntrySize(std::uint8_t key) const {
  std::int64_t p = Pos;
  std::uint8_t type, code;
  std::uint16_t len;
  while (ShortAt(p, type, code, len) && type == kShortEntry) {
    if (code == key) return static_cast<long>(len) - 4;
    p += len;
  }
  return -1;
}

bool TConfig::GetShortText(std::uint8_t key, std::string& utf8) const {
  std::uint8_t f[65] = {0};
  if (!GetShortEntry(key, 65, f)) return false;
  utf8 = DecodeText(f, 65);
  return true;
}

int TConfig::NextShortSection() {
  std::int64_t p = Pos;
  std::uint8_t type, code;
  std::uint16_t len;
  while (ShortAt(p, type, code, len)) {
    if (type == kShortSection) {
      Pos = static_cast<std::int32_t>(p + 4);
      return code;
    }
    p += len;
  }
  Pos = End();
  return kNoSection;
}

void TConfig::SkipShortSection() {
  std::uint8_t type, code;
  std::uint16_t len;
  if (ShortAt(Mark, type, code, len))
    Pos = static_cast<std::int32_t>(Mark + len);
  else
    Pos = End();
}

bool TConfig::LooksShort(std::int32_t at) const {
  return at >= 0 && static_cast<std::size_t>(at) < image_.size() && image_[at] == kShortSection;
}

}  // namespace t32
