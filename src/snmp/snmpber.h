// The SNMP tool's own small BER family (X.690): object identifiers to contents octets and
// back, and the decoding side of an SNMP message with the application tags that agents use.
// It shares nothing with the IEC 61850 BER values: own namespace, own encode cursor.
// Every decode is bounded by the bytes really present; nothing here trusts its input.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace t32::snmp {

enum : std::uint8_t { kUniversal = 0x00, kApplication = 0x40, kContext = 0x80, kPrivate = 0xC0 };

// An object identifier as the SNMP tool keeps it. Arcs are 32-bit so that enterprise numbers
// above 65535 stay right; at most kMaxArcs of them. What limits a polled tag is the 32 octets
// of its encoded contents, not the arc count.
struct TSnmpOid {
  static constexpr std::size_t kMaxArcs = 128;

  TSnmpOid() = default;
  TSnmpOid(const TSnmpOid& o) { *this = o; }
  TSnmpOid& operator=(const TSnmpOid& o);
  TSnmpOid(TSnmpOid&& o) noexcept { *this = std::move(o); }
  TSnmpOid& operator=(TSnmpOid&& o) noexcept;  // leaves o empty

  std::size_t Count() const { return count_; }
  std::uint32_t operator[](std::size_t i) const { return Data()[i]; }
  // False (and nothing added) when the identifier already holds kMaxArcs arcs.
  bool Append(std::uint32_t arc);
  bool operator==(const TSnmpOid& o) const;

 private:
  // Most identifiers are short: their arcs stay inline, longer ones move to the heap.
  static constexpr std::size_t kInline = 24;
  const std::uint32_t* Data() const { return heap_ ? heap_.get() : inline_; }
  std::uint32_t inline_[kInline] = {};
  std::unique_ptr<std::uint32_t[]> heap_;
  std::uint16_t count_ = 0;
};
TSnmpOid MakeSnmpOid(std::initializer_list<std::uint32_t> arcs);
// Arcs in decimal joined by "."; an empty identifier gives "".
std::string SnmpOidToString(const TSnmpOid& oid);

// X.690 contents octets of an identifier: 40 * arc1 + arc2, then arcs 3 onward in base 128.
// Fewer than two arcs give no octets. Appends to out.
void EncodeOidContents(const TSnmpOid& oid, std::vector<std::uint8_t>& out);
// False when the contents end inside a subidentifier, a subidentifier exceeds 32 bits, or
// there would be more than kMaxArcs arcs.
bool DecodeOidContents(const std::uint8_t* data, std::size_t length, TSnmpOid& oid);

// The encode cursor of this family: a caller's buffer and its capacity. A write past the
// capacity writes nothing and fails, so an identifier too long for a tag is refused whole.
void SnmpBeginEncode(std::uint8_t* buffer, std::size_t capacity);
std::size_t SnmpEncodedLength();
bool SnmpPut(const std::uint8_t* data, std::size_t n);

// Application tags of SNMP matched as the universal type they carry.
// 0 IpAddress and 4 Opaque as OCTET STRING (4); 1 Counter32, 2 Gauge32, 3 TimeTicks and
// 6 Counter64 as INTEGER (2). Other numbers keep their own.
std::int32_t AppTagMap(std::int32_t applicationTag);

// One element header parsed at data[0..size). False when malformed, indefinite, too long
// for the bytes present, or the tag does not fit 31 bits.
struct TSnmpHeader {
  std::uint8_t tagClass = 0;
  std::int32_t tag = 0;
  std::size_t headerSize = 0;
  std::size_t length = 0;
};
bool SnmpParseHeader(const std::uint8_t* data, std::size_t size, TSnmpHeader& h);

class TASNobject {
 public:
  TASNobject(std::uint8_t tagClass, std::int32_t tagNumber) : TagClass(tagClass), TagNumber(tagNumber) {}
  virtual ~TASNobject() = default;
  TASNobject(const TASNobject&) = delete;
  TASNobject& operator=(const TASNobject&) = delete;

  // Identifier, length, contents through the encode cursor. False if they did not fit.
  bool Encode() const;
  virtual bool EncodeContents() const;
  virtual std::size_t ContentLength() const { return contents_.size(); }
  virtual const std::uint8_t* ContentData() const { return contents_.data(); }
  // One element at data[0..size); true when class and tag match and the contents decode.
  virtual bool Decode(const std::uint8_t* data, std::size_t size, std::size_t& consumed);
  virtual bool DecodeContents(const std::uint8_t* data, std::size_t length);
  void Reserve(std::size_t size);
  virtual bool IsConstructed() const { return false; }
  virtual TASNobject* FindComponent(std::uint8_t, std::int32_t) { return nullptr; }
  // Told where a matched element starts (TASNdata keeps it).
  virtual void NoteElement(const std::uint8_t*, std::size_t, std::uint8_t, std::int32_t) {}

  std::uint8_t TagClass;
  std::int32_t TagNumber;
  std::int32_t Length = 0;
  bool Valid = false;

 protected:
  std::vector<std::uint8_t> contents_;
};

class TASNInteger : public TASNobject {
 public:
  using TASNobject::TASNobject;
  // 1 to 8 octets, big-endian, sign-extended; anything else is not valid (value unchanged).
  bool DecodeContents(const std::uint8_t* data, std::size_t length) override;
  std::size_t ContentLength() const override;
  const std::uint8_t* ContentData() const override;
  bool EncodeContents() const override;
  std::int64_t Value = 0;

 private:
  mutable std::uint8_t be_[8] = {};
};

class TASNOctetString : public TASNobject {
 public:
  using TASNobject::TASNobject;
  const std::vector<std::uint8_t>& Octets() const { return contents_; }
};

class TASNObjectIdentifier : public TASNobject {
 public:
  // Copies the identifier and encodes its contents at once (room for 32 octets reserved).
  TASNObjectIdentifier(std::uint8_t tagClass, const TSnmpOid& oid, std::int32_t tagNumber);
  bool DecodeContents(const std::uint8_t* data, std::size_t length) override;
  TSnmpOid Oid;
};

class TASNStructured : public TASNobject {
 public:
  using TASNobject::TASNobject;
  template <class T, class... A> T* Add(A&&... a) {
    auto p = std::make_unique<T>(std::forward<A>(a)...);
    T* raw = p.get();
    Components.push_back(std::move(p));
    return raw;
  }
  bool IsConstructed() const override { return true; }
  std::size_t ContentLength() const override;
  bool EncodeContents() const override;
  bool DecodeContents(const std::uint8_t* data, std::size_t length) override;
  TASNobject* FindComponent(std::uint8_t tagClass, std::int32_t tagNumber) override;

  std::vector<std::unique_ptr<TASNobject>> Components;
  std::size_t Cursor = 0;

 protected:
  static bool Matches(const TASNobject& c, std::uint8_t tagClass, std::int32_t tagNumber);
  // Index of the component matched or marked last; -1 before the first.
  std::ptrdiff_t last_ = -1;
  TASNobject* lastFound_ = nullptr;
};

class TASNSequence : public TASNStructured {
 public:
  using TASNStructured::TASNStructured;
  TASNobject* FindComponent(std::uint8_t tagClass, std::int32_t tagNumber) override;
};

// A reference to an element's contents inside the received buffer (not copied); the bytes
// must outlive the value.
class TASNdata : public TASNOctetString {
 public:
  using TASNOctetString::TASNOctetString;
  bool DecodeContents(const std::uint8_t* data, std::size_t length) override;
  std::size_t ContentLength() const override { return refLen_; }
  const std::uint8_t* ContentData() const override { return ref_; }
  bool IsConstructed() const override { return true; }
  void NoteElement(const std::uint8_t* start, std::size_t span, std::uint8_t tagClass, std::int32_t tag) override;

  std::int32_t SeenTag = -1;           // class bits plus tag number of the element matched
  const std::uint8_t* ElementStart = nullptr;
  std::size_t ElementSpan = 0;         // octets from ElementStart to the end of the enclosing contents

 private:
  const std::uint8_t* ref_ = nullptr;
  std::size_t refLen_ = 0;
};

// Any element: identifier and length parsed, contents referenced, tag not compared.
class TSNMPdata : public TASNdata {
 public:
  TSNMPdata() : TASNdata(kContext, 0) {}
  bool Decode(const std::uint8_t* data, std::size_t size, std::size_t& consumed) override;
};

// The SNMP message: version, community, PDU (context-specific, any tag).
class TSNMPresponse : public TASNSequence {
 public:
  TSNMPresponse();
  // Takes the message's contents (inside the outer SEQUENCE), not the SEQUENCE itself.
  bool Decode(const std::uint8_t* data, std::size_t size, std::size_t& consumed) override;
  TASNInteger* VersionValue;
  TASNOctetString* CommunityValue;
  TASNdata* Pdu;
  std::int32_t Version = 0;
  std::string Community;
};

}  // namespace t32::snmp
