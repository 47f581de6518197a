// The SNMP tool's BER values (see snmpber.h).
#include "snmp/snmpber.h"

#include <cstring>

namespace t32::snmp {

TSnmpOid& TSnmpOid::operator=(const TSnmpOid& o) {
  if (this == &o) return *this;
  count_ = o.count_;
  if (o.heap_) {
    if (!heap_) heap_ = std::make_unique<std::uint32_t[]>(kMaxArcs);
    std::memcpy(heap_.get(), o.heap_.get(), count_ * sizeof(std::uint32_t));
  } else {
    heap_.reset();
    std::memcpy(inline_, o.inline_, count_ * sizeof(std::uint32_t));
  }
  return *this;
}

TSnmpOid& TSnmpOid::operator=(TSnmpOid&& o) noexcept {
  if (this == &o) return *this;
  count_ = o.count_;
  heap_ = std::move(o.heap_);
  if (!heap_) std::memcpy(inline_, o.inline_, count_ * sizeof(std::uint32_t));
  o.count_ = 0;
  return *this;
}

bool TSnmpOid::Append(std::uint32_t arc) {
  if (count_ >= kMaxArcs) return false;
  if (count_ == kInline && !heap_) {
    heap_ = std::make_unique<std::uint32_t[]>(kMaxArcs);
    std::memcpy(heap_.get(), inline_, sizeof inline_);
  }
  (heap_ ? heap_.get() : inline_)[count_++] = arc;
  return true;
}

bool TSnmpOid::operator==(const TSnmpOid& o) const {
  return count_ == o.count_ && std::memcmp(Data(), o.Data(), count_ * sizeof(std::uint32_t)) == 0;
}

TSnmpOid MakeSnmpOid(std::initializer_list<std::uint32_t> arcs) {
  TSnmpOid o;
  for (auto a : arcs) o.Append(a);
  return o;
}

std::string SnmpOidToString(const TSnmpOid& oid) {
  std::string s;
  for (std::size_t i = 0; i < oid.Count(); ++i) {
    if (i) s += '.';
    s += std::to_string(oid[i]);
  }
  return s;
}

static void PutBase128(std::uint64_t v, std::vector<std::uint8_t>& out) {
  std::uint8_t tmp[10];
  int n = 0;
  do {
    tmp[n++] = static_cast<std::uint8_t>(v & 0x7F);
    v >>= 7;
  } while (v);
  while (n > 1) out.push_back(static_cast<std::uint8_t>(tmp[--n] | 0x80));
  out.push_back(tmp[0]);
}

void EncodeOidContents(const TSnmpOid& oid, std::vector<std::uint8_t>& out) {
  if (oid.Count() < 2) return;
  // 64 bits: 40 * arc1 + arc2 can pass 32 bits for the joint-iso (2.x) arcs.
  PutBase128(std::uint64_t(oid[0]) * 40 + oid[1], out);
  for (std::size_t i = 2; i < oid.Count(); ++i) PutBase128(oid[i], out);
}

bool DecodeOidContents(const std::uint8_t* data, std::size_t length, TSnmpOid& oid) {
  TSnmpOid r;
  std::uint64_t v = 0;
  bool first = true;
  for (std::size_t i = 0; i < length; ++i) {
    if (v > (std::uint64_t(1) << 50)) return false;  // far beyond any arc; stop before overflow
    v = (v << 7) | (data[i] & 0x7F);
    if (data[i] & 0x80) continue;
    if (first) {
      std::uint64_t a1 = v < 40 ? 0 : v < 80 ? 1 : 2;
      std::uint64_t a2 = v - a1 * 40;
      if (a2 > 0xFFFFFFFFu) return false;
      r.Append(static_cast<std::uint32_t>(a1));
      r.Append(static_cast<std::uint32_t>(a2));
      first = false;
    } else {
      if (v > 0xFFFFFFFFu || !r.Append(static_cast<std::uint32_t>(v))) return false;
    }
    v = 0;
  }
  if (length && (data[length - 1] & 0x80)) return false;
  oid = std::move(r);
  return true;
}

namespace {
struct TCursor {
  std::uint8_t* buf = nullptr;
  std::size_t cap = 0;
  std::size_t pos = 0;
};
thread_local TCursor g_cursor;  // one per thread: tests and tools may encode in parallel
}  // namespace

void SnmpBeginEncode(std::uint8_t* buffer, std::size_t capacity) { g_cursor = {buffer, buffer ? capacity : 0, 0}; }
std::size_t SnmpEncodedLength() { return g_cursor.pos; }
bool SnmpPut(const std::uint8_t* data, std::size_t n) {
  if (n > g_cursor.cap - g_cursor.pos) return false;
  if (n) std::memcpy(g_cursor.buf + g_cursor.pos, data, n);
  g_cursor.pos += n;
  return true;
}

std::int32_t AppTagMap(std::int32_t t) {
  switch (t) {
    case 0:
    case 4: return 4;
    case 1:
    case 2:
    case 3:
    case 6: return 2;
    default: return t;
  }
}

bool SnmpParseHeader(const std::uint8_t* data, std::size_t size, TSnmpHeader& h) {
  if (size < 2) return false;
  std::size_t p = 0;
  h.tagClass = data[0] & 0xC0;
  std::uint32_t tag = data[p++] & 0x1F;
  if (tag == 0x1F) {
    tag = 0;
    for (;;) {
      if (p >= size || tag > (0x7FFFFFFFu >> 7)) return false;
      std::uint8_t b = data[p++];
      tag = (tag << 7) | (b & 0x7F);
      if (!(b & 0x80)) break;
    }
  }
  h.tag = static_cast<std::int32_t>(tag);
  if (p >= size) return false;
  std::uint8_t l = data[p++];
  std::size_t len = l;
  if (l & 0x80) {
    std::size_t n = l & 0x7F;
    if (n == 0 || n > 4) return false;  // indefinite or absurd
    len = 0;
    for (std::size_t i = 0; i < n; ++i) {
      if (p >= size) return false;
      len = (len << 8) | data[p++];
    }
  }
  if (len > size - p) return false;
  h.headerSize = p;
  h.length = len;
  return true;
}

static bool PutHeader(std::uint8_t cls, bool constructed, std::int32_t tag, std::size_t len) {
  std::vector<std::uint8_t> h;
  std::uint8_t first = static_cast<std::uint8_t>(cls | (constructed ? 0x20 : 0));
  if (tag >= 0 && tag < 31) {
    h.push_back(static_cast<std::uint8_t>(first | tag));
  } else {
    h.push_back(static_cast<std::uint8_t>(first | 0x1F));
    PutBase128(static_cast<std::uint32_t>(tag), h);
  }
  if (len < 128) {
    h.push_back(static_cast<std::uint8_t>(len));
  } else {
    std::uint8_t tmp[8];
    int n = 0;
    for (std::size_t v = len; v; v >>= 8) tmp[n++] = static_cast<std::uint8_t>(v);
    h.push_back(static_cast<std::uint8_t>(0x80 | n));
    while (n) h.push_back(tmp[--n]);
  }
  return SnmpPut(h.data(), h.size());
}

static std::size_t HeaderSize(std::int32_t tag, std::size_t len) {
  std::size_t s = 1;
  if (tag < 0 || tag >= 31)
    for (std::uint32_t v = static_cast<std::uint32_t>(tag); v; v >>= 7) ++s;
  s += 1;
  if (len >= 128)
    for (std::size_t v = len; v; v >>= 8) ++s;
  return s;
}

bool TASNobject::Encode() const {
  return PutHeader(TagClass, IsConstructed(), TagNumber, ContentLength()) && EncodeContents();
}

bool TASNobject::EncodeContents() const { return SnmpPut(ContentData(), ContentLength()); }

bool TASNobject::Decode(const std::uint8_t* data, std::size_t size, std::size_t& consumed) {
  consumed = 0;
  TSnmpHeader h;
  if (!data || !SnmpParseHeader(data, size, h)) {
    Valid = false;
    return false;
  }
  Length = static_cast<std::int32_t>(h.length);
  Valid = h.length == 0 ? true : DecodeContents(data + h.headerSize, h.length);
  consumed = h.headerSize + h.length;
  return h.tagClass == TagClass && h.tag == TagNumber && Valid;
}

bool TASNobject::DecodeContents(const std::uint8_t* data, std::size_t length) {
  if (length >= 65535) return false;
  contents_.assign(data, data + length);
  Length = static_cast<std::int32_t>(length);
  return true;
}

void TASNobject::Reserve(std::size_t size) {
  if (contents_.capacity() < size) contents_.reserve(size < 8 ? 8 : size);
}

bool TASNInteger::DecodeContents(const std::uint8_t* data, std::size_t length) {
  if (length < 1 || length > 8) return false;
  std::uint64_t v = (data[0] & 0x80) ? ~std::uint64_t(0) : 0;
  for (std::size_t i = 0; i < length; ++i) v = (v << 8) | data[i];
  Value = static_cast<std::int64_t>(v);
  return true;
}

std::size_t TASNInteger::ContentLength() const {
  for (int i = 0; i < 8; ++i) be_[i] = static_cast<std::uint8_t>(static_cast<std::uint64_t>(Value) >> (56 - 8 * i));
  std::size_t start = 0;
  while (start < 7 && ((be_[start] == 0x00 && !(be_[start + 1] & 0x80)) || (be_[start] == 0xFF && (be_[start + 1] & 0x80))))
    ++start;
  return 8 - start;
}

const std::uint8_t* TASNInteger::ContentData() const {
  std::size_t n = ContentLength();
  return be_ + (8 - n);
}

bool TASNInteger::EncodeContents() const {
  std::size_t n = ContentLength();
  return SnmpPut(be_ + (8 - n), n);
}

TASNObjectIdentifier::TASNObjectIdentifier(std::uint8_t tagClass, const TSnmpOid& oid, std::int32_t tagNumber)
    : TASNobject(tagClass, tagNumber), Oid(oid) {
  Reserve(32);
  EncodeOidContents(Oid, contents_);
  Length = static_cast<std::int32_t>(contents_.size());
}

bool TASNObjectIdentifier::DecodeContents(const std::uint8_t* data, std::size_t length) {
  if (!DecodeOidContents(data, length, Oid)) return false;
  contents_.assign(data, data + length);
  Length = static_cast<std::int32_t>(length);
  return true;
}

std::size_t TASNStructured::ContentLength() const {
  std::size_t n = 0;
  for (const auto& c : Components) {
    std::size_t l = c->ContentLength();
    n += HeaderSize(c->TagNumber, l) + l;
  }
  return n;
}

bool TASNStructured::EncodeContents() const {
  for (const auto& c : Components)
    if (!c->Encode()) return false;
  return true;
}

bool TASNStructured::Matches(const TASNobject& c, std::uint8_t tagClass, std::int32_t tagNumber) {
  if (c.TagNumber == -1 && c.TagClass == tagClass) return true;
  if (tagClass == kApplication) {
    tagClass = kUniversal;
    tagNumber = AppTagMap(tagNumber);
  }
  return c.TagClass == tagClass && (c.TagNumber == tagNumber || c.TagNumber == -1);
}

TASNobject* TASNStructured::FindComponent(std::uint8_t tagClass, std::int32_t tagNumber) {
  for (std::size_t i = 0; i < Components.size(); ++i)
    if (Matches(*Components[i], tagClass, tagNumber)) {
      last_ = static_cast<std::ptrdiff_t>(i);
      return Components[i].get();
    }
  return nullptr;
}

TASNobject* TASNSequence::FindComponent(std::uint8_t tagClass, std::int32_t tagNumber) {
  for (std::size_t i = Cursor; i < Components.size(); ++i)
    if (Matches(*Components[i], tagClass, tagNumber)) {
      Cursor = i + 1;
      last_ = static_cast<std::ptrdiff_t>(i);
      return Components[i].get();
    }
  return nullptr;
}

bool TASNStructured::DecodeContents(const std::uint8_t* data, std::size_t length) {
  Cursor = 0;
  last_ = -1;
  Length = static_cast<std::int32_t>(length);
  if (length == 0) return false;
  std::size_t pos = 0;
  while (pos < length) {
    TSnmpHeader h;
    if (!SnmpParseHeader(data + pos, length - pos, h)) return false;
    TASNobject* c = h.length ? FindComponent(h.tagClass, h.tag) : nullptr;
    if (c) {
      c->Valid = c->DecodeContents(data + pos + h.headerSize, h.length);
      c->NoteElement(data + pos, length - pos, h.tagClass, h.tag);
    } else if (last_ + 1 < static_cast<std::ptrdiff_t>(Components.size())) {
      // An exception value (noSuchObject 0x80, noSuchInstance 0x81, endOfMibView 0x82), a
      // NULL, or an element nobody expects stands where the next component belongs: mark
      // that component so the caller sees what came instead of the value.
      auto& next = Components[static_cast<std::size_t>(last_ + 1)];
      next->Valid = false;
      next->TagNumber = h.tagClass + h.tag;
      ++last_;
      if (Cursor < static_cast<std::size_t>(last_ + 1)) Cursor = static_cast<std::size_t>(last_ + 1);
    }
    pos += h.headerSize + h.length;
  }
  return true;
}

bool TASNdata::DecodeContents(const std::uint8_t* data, std::size_t length) {
  ref_ = data;
  refLen_ = length;
  Length = static_cast<std::int32_t>(length);
  return true;
}

void TASNdata::NoteElement(const std::uint8_t* start, std::size_t span, std::uint8_t tagClass, std::int32_t tag) {
  ElementStart = start;
  ElementSpan = span;
  SeenTag = tagClass + tag;
}

bool TSNMPdata::Decode(const std::uint8_t* data, std::size_t size, std::size_t& consumed) {
  consumed = 0;
  TSnmpHeader h;
  if (!data || !SnmpParseHeader(data, size, h)) {
    // Even a broken header leaves a defined (empty) reference behind.
    DecodeContents(data, 0);
    Valid = true;
    return true;
  }
  DecodeContents(data + h.headerSize, h.length);
  consumed = h.headerSize + h.length;
  Valid = true;
  return true;
}

TSNMPresponse::TSNMPresponse() : TASNSequence(kUniversal, 16) {
  VersionValue = Add<TASNInteger>(kUniversal, 2);
  CommunityValue = Add<TASNOctetString>(kUniversal, 4);
  Pdu = Add<TASNdata>(kContext, -1);
}

bool TSNMPresponse::Decode(const std::uint8_t* data, std::size_t size, std::size_t& consumed) {
  consumed = size;
  Valid = data && DecodeContents(data, size);
  Version = static_cast<std::int32_t>(VersionValue->Value & 0xFFFFFFFF);
  const auto& c = CommunityValue->Octets();
  Community.assign(c.begin(), c.end());
  return Valid && VersionValue->Valid && CommunityValue->Valid && Pdu->Valid;
}

}  // namespace t32::snmp
