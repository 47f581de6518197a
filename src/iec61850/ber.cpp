// BER value classes: encoding, checked decoding, object identifiers and date-times.
#include "iec61850/ber.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace t32 {

namespace {
thread_local TDecodedValue gLastDecoded;
thread_local int gDepth = 0;

bool IsDigits(const char* s, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i)
    if (s[i] < '0' || s[i] > '9') return false;
  return true;
}
int Num(const char* s, std::size_t n) {
  int v = 0;
  for (std::size_t i = 0; i < n; ++i) v = v * 10 + (s[i] - '0');
  return v;
}
}  // namespace

TDecodedValue& LastDecoded() { return gLastDecoded; }

std::int64_t TDecodedValue::RawInt() const {
  std::int64_t v;
  std::memcpy(&v, raw, 8);
  return v;
}
double TDecodedValue::RawDouble() const {
  double v;
  std::memcpy(&v, raw, 8);
  return v;
}
void TDecodedValue::SetRawInt(std::int64_t v) { std::memcpy(raw, &v, 8); }
void TDecodedValue::SetRawDouble(double v) { std::memcpy(raw, &v, 8); }

TBerDepthGuard::TBerDepthGuard() : ok_(++gDepth <= kMaxBerDepth) {}
TBerDepthGuard::~TBerDepthGuard() { --gDepth; }

// ---- encoder ----

bool TBerEncoder::Put(std::uint8_t b) {
  if (buf_.size() >= cap_) {
    overflow_ = true;
    return false;
  }
  buf_.push_back(b);
  return true;
}

bool TBerEncoder::Put(const std::uint8_t* data, std::size_t n) {
  if (n > cap_ - buf_.size()) {
    overflow_ = true;
    return false;
  }
  buf_.insert(buf_.end(), data, data + n);
  return true;
}

std::size_t IdentifierSize(std::int32_t tag) {
  if (tag < 31) return 1;
  std::size_t n = 1;
  for (std::uint32_t v = static_cast<std::uint32_t>(tag); v; v >>= 7) ++n;
  return n;
}

std::size_t LengthSize(std::size_t length) {
  if (length < 128) return 1;
  std::size_t n = 1;
  for (std::size_t v = length; v; v >>= 8) ++n;
  return n;
}

std::size_t TASNobject::EncodedSize() const {
  std::size_t len = ContentLength();
  return IdentifierSize(TagNumber) + LengthSize(len) + len;
}

bool TASNobject::Encode(TBerEncoder& enc) const {
  std::uint8_t id = static_cast<std::uint8_t>(TagClass & 0xC0);
  if (IsConstructed()) id |= 0x20;
  if (TagNumber >= 0 && TagNumber < 31) {
    enc.Put(static_cast<std::uint8_t>(id | TagNumber));
  } else {
    enc.Put(static_cast<std::uint8_t>(id | 0x1F));
    std::uint32_t v = static_cast<std::uint32_t>(TagNumber);
    std::uint8_t groups[5];
    int n = 0;
    do {
      groups[n++] = v & 0x7F;
      v >>= 7;
    } while (v);
    while (n-- > 0) enc.Put(static_cast<std::uint8_t>(groups[n] | (n ? 0x80 : 0)));
  }
  std::size_t len = ContentLength();
  if (len > 65535) {
    // Longer contents cannot be expressed in the two length octets the peer expects.
    return false;
  }
  if (len < 128) {
    enc.Put(static_cast<std::uint8_t>(len));
  } else if (len < 256) {
    enc.Put(0x81);
    enc.Put(static_cast<std::uint8_t>(len));
  } else {
    enc.Put(0x82);
    enc.Put(static_cast<std::uint8_t>(len >> 8));
    enc.Put(static_cast<std::uint8_t>(len));
  }
  return EncodeContents(enc) && !enc.Overflow();
}

bool TASNobject::EncodeContents(TBerEncoder& enc) const {
  std::size_t len = ContentLength();
  if (len == 0) return true;
  return enc.Put(ContentData(), len);
}

std::unique_ptr<TASNobject> TASNobject::Create(std::uint8_t c, std::int32_t t) const {
  return std::make_unique<TASNOctetString>(c, 0, nullptr, t);
}

// ---- header parsing ----

bool ParseHeader(const std::uint8_t* data, std::size_t size, TBerHeader& h) {
  if (size < 2) return false;
  std::size_t i = 0;
  std::uint8_t id = data[i++];
  h.tagClass = id & 0xC0;
  h.constructed = (id & 0x20) != 0;
  std::uint32_t tag = id & 0x1F;
  if (tag == 31) {
    tag = 0;
    for (int groups = 0;; ++groups) {
      if (i >= size || groups >= 4) return false;  // tags beyond 28 bits are not ours
      std::uint8_t b = data[i++];
      tag = (tag << 7) | (b & 0x7F);
      if (!(b & 0x80)) break;
    }
  }
  h.tag = static_cast<std::int32_t>(tag);
  if (i >= size) return false;
  std::uint8_t l = data[i++];
  std::size_t len = 0;
  if (l < 0x80) {
    len = l;
  } else {
    std::size_t n = l & 0x7F;
    // 0x80 (indefinite form) is not used by this stack's peers; more than 4 octets is absurd.
    if (n == 0 || n > 4) return false;
    if (size - i < n) return false;
    for (std::size_t k = 0; k < n; ++k) len = (len << 8) | data[i++];
  }
  if (len > size - i) return false;
  h.headerSize = i;
  h.length = len;
  return true;
}

bool TBerReader::Next(TBerHeader& h, const std::uint8_t*& contents) {
  if (failed_ || p_ >= end_) return false;
  if (!ParseHeader(p_, static_cast<std::size_t>(end_ - p_), h)) {
    failed_ = true;
    return false;
  }
  contents = p_ + h.headerSize;
  p_ = contents + h.length;
  return true;
}

// ---- decoding ----

bool TASNobject::Decode(const std::uint8_t* data, std::size_t size, std::size_t& consumed) {
  consumed = 0;
  TBerHeader h;
  if (!ParseHeader(data, size, h)) {
    Valid = false;
    return false;
  }
  consumed = h.headerSize + h.length;
  Length = static_cast<std::int32_t>(h.length);
  if (h.length == 0)
    Valid = true;
  else
    Valid = DecodeContents(data + h.headerSize, h.length);
  return h.tagClass == TagClass && h.tag == TagNumber && Valid;
}

bool TASNobject::DecodeContents(const std::uint8_t* data, std::size_t length) {
  gLastDecoded = TDecodedValue{};
  if (length >= 65535) return false;
  contents_.assign(data, data + length);
  Length = static_cast<std::int32_t>(length);
  gLastDecoded.octets = contents_.data();
  gLastDecoded.octetCount = static_cast<std::int32_t>(length);
  return true;
}

bool TASNboolean::DecodeContents(const std::uint8_t* data, std::size_t length) {
  gLastDecoded = TDecodedValue{};
  if (length != 1) return false;
  bool v = data[0] != 0;
  contents_ = {std::uint8_t(v ? 1 : 0)};
  gLastDecoded.raw[0] = v ? 1 : 0;
  gLastDecoded.integer = v ? 1 : 0;
  gLastDecoded.bitCount = 1;
  return true;
}

void TASNInteger::SetValue(std::int64_t v) {
  value_ = v;
  std::uint8_t b[8];
  for (int i = 0; i < 8; ++i) b[i] = static_cast<std::uint8_t>(static_cast<std::uint64_t>(v) >> (56 - 8 * i));
  int start = 0;
  while (start < 7) {
    bool nextTop = (b[start + 1] & 0x80) != 0;
    if ((b[start] == 0x00 && !nextTop) || (b[start] == 0xFF && nextTop))
      ++start;
    else
      break;
  }
  contents_.assign(b + start, b + 8);
}

bool TASNInteger::DecodeContents(const std::uint8_t* data, std::size_t length) { return DecodeWith(data, length, false); }

bool TASNInteger::DecodeWith(const std::uint8_t* data, std::size_t length, bool zeroExtend) {
  gLastDecoded = TDecodedValue{};
  if (length < 1 || length > 8) return false;
  std::uint64_t v = (!zeroExtend && (data[0] & 0x80)) ? ~std::uint64_t{0} : 0;
  for (std::size_t i = 0; i < length; ++i) v = (v << 8) | data[i];
  value_ = static_cast<std::int64_t>(v);
  contents_.assign(data, data + length);
  gLastDecoded.SetRawInt(value_);
  gLastDecoded.integer = value_;
  gLastDecoded.bitCount = static_cast<std::int16_t>(8 * length);
  gLastDecoded.floatValue = zeroExtend ? static_cast<double>(v) : static_cast<double>(value_);
  return true;
}

TASNBitString::TASNBitString(std::uint8_t c, int bitCount, const std::uint8_t* bits, std::int32_t t)
    : TASNobject(c, t), bitCount_(bitCount < 0 ? 0 : bitCount) {
  std::size_t octets = (bitCount_ + 7) / 8;
  bits_.assign(octets, 0);
  if (bits && octets) std::memcpy(bits_.data(), bits, octets);
  int unused = (8 - bitCount_ % 8) % 8;
  if (unused && octets) bits_.back() &= static_cast<std::uint8_t>(0xFF << unused);
  contents_.clear();
  contents_.push_back(static_cast<std::uint8_t>(unused));
  contents_.insert(contents_.end(), bits_.begin(), bits_.end());
}

bool TASNBitString::Bit(int i) const {
  if (i < 0 || i >= bitCount_) return false;
  return (bits_[i / 8] >> (7 - i % 8)) & 1;
}

bool TASNBitString::DecodeContents(const std::uint8_t* data, std::size_t length) {
  gLastDecoded = TDecodedValue{};
  if (length < 2 || length > 65534) return false;
  int unused = data[0];
  if (unused > 7) return false;
  bits_.assign(data + 1, data + length);
  bitCount_ = static_cast<int>(8 * (length - 1)) - unused;
  contents_.assign(data, data + length);
  gLastDecoded.octets = bits_.data();
  gLastDecoded.octetCount = static_cast<std::int32_t>(bits_.size());
  gLastDecoded.bitCount = static_cast<std::int16_t>(bitCount_ > 32767 ? 32767 : bitCount_);
  if (bits_.size() <= 8) {
    std::uint64_t v = 0;
    for (auto b : bits_) v = (v << 8) | b;
    std::memcpy(gLastDecoded.raw, bits_.data(), bits_.size());
    gLastDecoded.integer = static_cast<std::int64_t>(v >> unused);
  }
  return true;
}

TASNOctetString::TASNOctetString(std::uint8_t c, std::size_t length, const std::uint8_t* src, std::int32_t t)
    : TASNobject(c, t) {
  if (src)
    contents_.assign(src, src + length);
  else
    contents_.reserve(length);
  Length = static_cast<std::int32_t>(contents_.size());
}

bool TASNGeneralizedTime::DecodeContents(const std::uint8_t* data, std::size_t length) {
  if (!TASNobject::DecodeContents(data, length)) return false;
  dateTime_ = 0;
  const char* s = reinterpret_cast<const char*>(contents_.data());
  std::size_t n = contents_.size();
  if (n <= 13 || !IsDigits(s, 12)) return false;
  int year = Num(s, 4), month = Num(s + 4, 2), day = Num(s + 6, 2), hour = Num(s + 8, 2), minute = Num(s + 10, 2);
  if (!year || !month || !day || hour > 23 || minute >= 60 || !IsValidDate(year, month, day)) return false;
  // Seconds with an optional fraction, up to "Z", up to a "-" offset, or to the end.
  std::size_t end = n;
  bool offset = false;
  for (std::size_t i = 12; i < n; ++i) {
    if (s[i] == 'Z') {
      end = i;
      break;
    }
    if (s[i] == '-') {
      end = i;
      offset = true;
      break;
    }
  }
  double secs = 0;
  {
    std::string field(s + 12, s + end);
    char* stop = nullptr;
    secs = std::strtod(field.c_str(), &stop);
    if (stop == field.c_str() || !std::isfinite(secs) || secs < 0 || secs >= 61) secs = 0;
  }
  int whole = static_cast<int>(secs);
  int ms = static_cast<int>(std::lround((secs - whole) * 1000));
  if (ms >= 1000) {
    ms -= 1000;
    ++whole;
  }
  dateTime_ = EncodeDateTime(year, month, day, hour, minute, 0, 0) + (whole * 1000.0 + ms) / 86400000.0;
  gLastDecoded.floatValue = dateTime_;
  gLastDecoded.SetRawDouble(dateTime_);
  if (offset) return n - end - 1 == 4 && IsDigits(s + end + 1, 4);
  return true;
}

bool TOidArcs::operator==(const TOidArcs& o) const {
  if (count != o.count) return false;
  for (int i = 0; i < count && i < 7; ++i)
    if (arcs[i] != o.arcs[i]) return false;
  return true;
}

TOidArcs MakeOid(std::initializer_list<std::int32_t> arcs) {
  TOidArcs o;
  for (auto a : arcs)
    if (o.count < 7) o.arcs[o.count++] = a;
  return o;
}

std::string OidToString(const TOidArcs& oid) {
  std::string s;
  for (int i = 0; i < oid.count && i < 7; ++i) {
    if (i) s += '.';
    s += std::to_string(oid.arcs[i]);
  }
  return s;
}

TOidArcs StringToOid(std::string_view text) {
  TOidArcs o;
  std::size_t i = 0;
  while (i <= text.size() && o.count < 7) {
    std::size_t j = i;
    while (j < text.size() && text[j] != '.' && text[j] != ',') ++j;
    std::string_view piece = text.substr(i, j - i);
    std::int64_t v = 0;
    bool ok = !piece.empty();
    for (char ch : piece) {
      if (ch < '0' || ch > '9' || v > 0x7FFFFFF) {
        ok = false;
        break;
      }
      v = v * 10 + (ch - '0');
    }
    o.arcs[o.count++] = ok ? static_cast<std::int32_t>(v) : 0;
    if (j >= text.size()) break;
    i = j + 1;
  }
  return o;
}

TASNObjectIdentifier::TASNObjectIdentifier(std::uint8_t c, const TOidArcs& arcs, std::int32_t t)
    : TASNobject(c, t), arcs_(arcs) {
  contents_.reserve(32);
  if (arcs.count < 2) return;
  auto put = [this](std::uint32_t v) {
    std::uint8_t g[5];
    int n = 0;
    do {
      g[n++] = v & 0x7F;
      v >>= 7;
    } while (v);
    while (n-- > 0) contents_.push_back(static_cast<std::uint8_t>(g[n] | (n ? 0x80 : 0)));
  };
  put(static_cast<std::uint32_t>(40 * arcs.arcs[0] + arcs.arcs[1]));
  for (int i = 2; i < arcs.count && i < 7; ++i) put(static_cast<std::uint32_t>(arcs.arcs[i]));
}

bool TASNObjectIdentifier::DecodeContents(const std::uint8_t* data, std::size_t length) {
  gLastDecoded = TDecodedValue{};
  TOidArcs o;
  std::uint64_t v = 0;
  int groups = 0;
  for (std::size_t i = 0; i < length; ++i) {
    v = (v << 7) | (data[i] & 0x7F);
    if (++groups > 5 || v > 0x7FFFFFFF) return false;
    if (data[i] & 0x80) continue;
    if (o.count == 0) {
      if (v < 40) {
        o.arcs[0] = 0;
        o.arcs[1] = static_cast<std::int32_t>(v);
      } else if (v < 80) {
        o.arcs[0] = 1;
        o.arcs[1] = static_cast<std::int32_t>(v - 40);
      } else {
        o.arcs[0] = 2;
        o.arcs[1] = static_cast<std::int32_t>(v - 80);
      }
      o.count = 2;
    } else {
      if (o.count >= 7) return false;  // longer identifiers are not held
      o.arcs[o.count++] = static_cast<std::int32_t>(v);
    }
    v = 0;
    groups = 0;
  }
  if (groups) return false;  // last subidentifier unfinished
  arcs_ = o;
  contents_.assign(data, data + length);
  return true;
}

// ---- structured ----

std::size_t TASNStructured::ContentLength() const {
  std::size_t n = 0;
  for (const auto& c : Components) n += c->EncodedSize();
  return n;
}

bool TASNStructured::EncodeContents(TBerEncoder& enc) const {
  for (const auto& c : Components)
    if (!c->Encode(enc)) return false;
  return true;
}

TASNobject* TASNStructured::FindComponent(std::uint8_t tagClass, std::int32_t tag) {
  for (auto& c : Components)
    if ((c->TagClass == tagClass && c->TagNumber == tag) || c->TagNumber == -1) return c.get();
  return nullptr;
}

TASNobject* TASNSequence::FindComponent(std::uint8_t tagClass, std::int32_t tag) {
  for (std::size_t i = Cursor; i < Components.size(); ++i) {
    auto& c = Components[i];
    if ((c->TagClass == tagClass && c->TagNumber == tag) || c->TagNumber == -1) {
      Cursor = i + 1;
      return c.get();
    }
  }
  return nullptr;
}

bool TASNStructured::DecodeContents(const std::uint8_t* data, std::size_t length) {
  TBerDepthGuard depth;
  if (!depth.Ok()) return false;
  Cursor = 0;
  if (length == 0) return false;
  std::size_t pos = 0;
  while (pos < length) {
    TBerHeader h;
    if (!ParseHeader(data + pos, length - pos, h)) return false;
    if (TASNobject* c = FindComponent(h.tagClass, h.tag)) {
      c->Length = static_cast<std::int32_t>(h.length);
      c->Valid = h.length == 0 ? true : c->DecodeContents(data + pos + h.headerSize, h.length);
      c->NoteElement(data + pos, length - pos, h.tagClass, h.tag);
    }
    pos += h.headerSize + h.length;
  }
  return true;
}

bool TASNSequenceOf::DecodeContents(const std::uint8_t* data, std::size_t length) {
  TBerDepthGuard depth;
  if (!depth.Ok() || !ElementClass) return false;
  std::size_t pos = 0;
  while (pos < length) {
    TBerHeader h;
    if (!ParseHeader(data + pos, length - pos, h)) return false;
    auto e = ElementClass->Create(h.tagClass, h.tag);
    e->Length = static_cast<std::int32_t>(h.length);
    e->Valid = e->DecodeContents(data + pos + h.headerSize, h.length);
    e->NoteElement(data + pos, length - pos, h.tagClass, h.tag);
    Components.push_back(std::move(e));
    pos += h.headerSize + h.length;
  }
  return true;
}

// ---- date-time ----

namespace {
// Days from 1970-01-01 to the civil date (proleptic Gregorian).
std::int64_t DaysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}
void CivilFromDays(std::int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2));
}
constexpr std::int64_t kUnixEpochDays = 25569;  // 1970-01-01 in days since 1899-12-30
}  // namespace

bool IsValidDate(int year, int month, int day) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

double EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int ms) {
  double days = static_cast<double>(DaysFromCivil(year, month, day) + kUnixEpochDays);
  return days + (((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + ms) / 86400000.0;
}

std::string DateTimeText(double days) {
  if (!std::isfinite(days) || days < -693593 || days > 2958466) days = 0;
  std::int64_t totalMs = std::llround(days * 86400000.0);
  std::int64_t day = totalMs / 86400000;
  std::int64_t msOfDay = totalMs % 86400000;
  if (msOfDay < 0) {
    msOfDay += 86400000;
    --day;
  }
  int y, m, d;
  CivilFromDays(day - kUnixEpochDays, y, m, d);
  char buf[40];
  std::snprintf(buf, sizeof buf, "%02d.%02d.%02d %02d-%02d-%02d.%03d", d, m, ((y % 100) + 100) % 100,
                static_cast<int>(msOfDay / 3600000), static_cast<int>(msOfDay / 60000 % 60),
                static_cast<int>(msOfDay / 1000 % 60), static_cast<int>(msOfDay % 1000));
  return buf;
}

}  // namespace t32
