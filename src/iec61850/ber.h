// Basic Encoding Rules (X.690) values for the ISO upper layers and MMS. A caller builds a tree
// of values that describes what it sends or expects, then encodes the tree into a bounded
// buffer or lets it decode a received buffer, each expected component picking out the element
// whose tag it carries. Decoding never trusts the input: every tag, length and count is
// checked against the bytes really present, and nesting is bounded.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace t32 {

// Tag classes as they stand in the identifier octet.
enum : std::uint8_t { kUniversal = 0x00, kApplication = 0x40, kContext = 0x80, kPrivate = 0xC0 };

// One PDU is encoded into a buffer of this size at most.
constexpr std::size_t kEncodeBufferSize = 32769;
// Deepest nesting of constructed elements a decode follows.
constexpr int kMaxBerDepth = 40;

// Bounded encode buffer (the encode cursor). Writing past the capacity sets Overflow and
// drops the bytes, so an oversized PDU is refused instead of overrunning anything.
class TBerEncoder {
 public:
  explicit TBerEncoder(std::size_t capacity = kEncodeBufferSize) : cap_(capacity) { buf_.reserve(capacity); }
  void BeginEncode() { buf_.clear(); overflow_ = false; }
  bool Put(std::uint8_t b);
  bool Put(const std::uint8_t* data, std::size_t n);
  std::size_t EncodedLength() const { return buf_.size(); }
  const std::uint8_t* Data() const { return buf_.data(); }
  bool Overflow() const { return overflow_; }
  std::size_t Capacity() const { return cap_; }

 private:
  std::vector<std::uint8_t> buf_;
  std::size_t cap_;
  bool overflow_ = false;
};

// Description of the last decoded primitive value.
struct TDecodedValue {
  std::uint8_t kind = 0;
  const std::uint8_t* octets = nullptr;
  std::int32_t octetCount = 0;
  std::int16_t bitCount = 0;
  std::int64_t integer = 0;
  double floatValue = 0;
  std::uint8_t raw[8] = {};
  std::int64_t RawInt() const;
  double RawDouble() const;
  void SetRawInt(std::int64_t v);
  void SetRawDouble(double v);
};
// Refilled by every primitive DecodeContents (one per thread).
TDecodedValue& LastDecoded();

struct TOidArcs {
  std::int32_t count = 0;
  std::int32_t arcs[7] = {};
  bool operator==(const TOidArcs& o) const;
};
std::string OidToString(const TOidArcs& oid);
TOidArcs StringToOid(std::string_view text);
TOidArcs MakeOid(std::initializer_list<std::int32_t> arcs);

// One parsed element header.
struct TBerHeader {
  std::uint8_t tagClass = 0;
  bool constructed = false;
  std::int32_t tag = 0;
  std::size_t headerSize = 0;  // identifier + length octets
  std::size_t length = 0;      // contents octets
};
// Parses identifier and length at data[0..size); false when malformed, indefinite, or when
// the contents would run past size.
bool ParseHeader(const std::uint8_t* data, std::size_t size, TBerHeader& h);
std::size_t IdentifierSize(std::int32_t tag);
std::size_t LengthSize(std::size_t length);

// Walks the elements of one contents block.
class TBerReader {
 public:
  TBerReader(const std::uint8_t* data, std::size_t size) : p_(data), end_(data + size) {}
  // Next element; false at the end or on a malformed element (then Failed() is true).
  bool Next(TBerHeader& h, const std::uint8_t*& contents);
  bool AtEnd() const { return p_ >= end_; }
  bool Failed() const { return failed_; }

 private:
  const std::uint8_t* p_;
  const std::uint8_t* end_;
  bool failed_ = false;
};

// Counts nesting for one decode; refuses beyond kMaxBerDepth.
class TBerDepthGuard {
 public:
  TBerDepthGuard();
  ~TBerDepthGuard();
  bool Ok() const { return ok_; }

 private:
  bool ok_;
};

class TASNobject {
 public:
  TASNobject(std::uint8_t tagClass, std::int32_t tagNumber) : TagClass(tagClass), TagNumber(tagNumber) {}
  virtual ~TASNobject() = default;
  TASNobject(const TASNobject&) = delete;
  TASNobject& operator=(const TASNobject&) = delete;

  // Virtual constructor used by TASNSequenceOf.
  virtual std::unique_ptr<TASNobject> Create(std::uint8_t tagClass, std::int32_t tagNumber) const;
  bool Encode(TBerEncoder& enc) const;
  virtual bool EncodeContents(TBerEncoder& enc) const;
  virtual std::size_t ContentLength() const { return contents_.size(); }
  virtual const std::uint8_t* ContentData() const { return contents_.data(); }
  // Parses one element at data[0..size). True only when class and tag match and the
  // contents decode.
  bool Decode(const std::uint8_t* data, std::size_t size, std::size_t& consumed);
  virtual bool DecodeContents(const std::uint8_t* data, std::size_t length);
  virtual bool IsConstructed() const { return false; }
  virtual TASNobject* FindComponent(std::uint8_t, std::int32_t) { return nullptr; }
  // Told where the element it decoded starts (used by TASNdata).
  virtual void NoteElement(const std::uint8_t*, std::size_t, std::uint8_t, std::int32_t) {}
  std::size_t EncodedSize() const;

  std::uint8_t TagClass;
  std::int32_t TagNumber;
  std::int32_t Length = 0;
  bool Valid = false;

 protected:
  std::vector<std::uint8_t> contents_;
};

class TASNnull : public TASNobject {
 public:
  using TASNobject::TASNobject;
  std::unique_ptr<TASNobject> Create(std::uint8_t c, std::int32_t t) const override { return std::make_unique<TASNnull>(c, t); }
  std::size_t ContentLength() const override { return 0; }
  bool DecodeContents(const std::uint8_t*, std::size_t length) override { return length == 0; }
};

class TASNboolean : public TASNobject {
 public:
  TASNboolean(std::uint8_t c, bool value, std::int32_t t) : TASNobject(c, t) { contents_ = {std::uint8_t(value ? 1 : 0)}; }
  std::unique_ptr<TASNobject> Create(std::uint8_t c, std::int32_t t) const override { return std::make_unique<TASNboolean>(c, false, t); }
  bool DecodeContents(const std::uint8_t* data, std::size_t length) override;
  bool Value() const { return !contents_.empty() && contents_[0] != 0; }
};

class TASNInteger : public TASNobject {
 public:
  TASNInteger(std::uint8_t c, std::int64_t value, std::int32_t t) : TASNobject(c, t) { SetValue(value); }
  std::unique_ptr<TASNobject> Create(std::uint8_t c, std::int32_t t) const override { return std::make_unique<TASNInteger>(c, 0, t); }
  bool DecodeContents(const std::uint8_t* data, std::size_t length) override;
  void SetValue(std::int64_t v);
  std::int64_t Value() const { return value_; }

 protected:
  bool DecodeWith(const std::uint8_t* data, std::size_t length, bool zeroExtend);
  std::int64_t value_ = 0;
};

class TASNUnsigned : public TASNInteger {
 public:
  TASNUnsigned(std::uint8_t c, std::int64_t value, std::int32_t t) : TASNInteger(c, value, t) {}
  std::unique_ptr<TASNobject> Create(std::uint8_t c, std::int32_t t) const override { return std::make_unique<TASNUnsigned>(c, 0, t); }
  bool DecodeContents(const std::uint8_t* data, std::size_t length) override { return DecodeWith(data, length, true); }
};

class TASNBitString : public TASNobject {
 public:
  // bits: bit 0 of the string is the top bit of bits[0].
  TASNBitString(std::uint8_t c, int bitCount, const std::uint8_t* bits, std::int32_t t);
  std::unique_ptr<TASNobject> Create(std::uint8_t c, std::int32_t t) const override { return std::make_unique<TASNBitString>(c, 0, nullptr, t); }
  bool DecodeContents(const std::uint8_t* data, std::size_t length) override;
  int BitCount() const { return bitCount_; }
  bool Bit(int i) const;
  const std::vector<std::uint8_t>& Bits() const { return bits_; }

 private:
  int bitCount_ = 0;
  std::vector<std::uint8_t> bits_;
};

class TASNOctetString : public TASNobject {
 public:
  TASNOctetString(std::uint8_t c, std::size_t length, const std::uint8_t* src, std::int32_t t);
  std::unique_ptr<TASNobject> Create(std::uint8_t c, std::int32_t t) const override { return std::make_unique<TASNOctetString>(c, 0, nullptr, t); }
  const std::vector<std::uint8_t>& Octets() const { return contents_; }
};

// An octet string whose contents are an already encoded body, written as constructed.
class TASNStructuredOctetString : public TASNOctetString {
 public:
  using TASNOctetString::TASNOctetString;
  bool IsConstructed() const override { return true; }
};

class TASNVisibleString : public TASNOctetString {
 public:
  TASNVisibleString(std::uint8_t c, std::string_view text, std::int32_t t)
      : TASNOctetString(c, text.size(), reinterpret_cast<const std::uint8_t*>(text.data()), t) {}
  std::unique_ptr<TASNobject> Create(std::uint8_t c, std::int32_t t) const override { return std::make_unique<TASNVisibleString>(c, "", t); }
  std::string Text() const { return std::string(contents_.begin(), contents_.end()); }
};

class TASNGeneralizedTime : public TASNVisibleString {
 public:
  TASNGeneralizedTime(std::uint8_t c, std::int32_t t) : TASNVisibleString(c, "", t) {}
  std::unique_ptr<TASNobject> Create(std::uint8_t c, std::int32_t t) const override { return std::make_unique<TASNGeneralizedTime>(c, t); }
  bool DecodeContents(const std::uint8_t* data, std::size_t length) override;
  double DateTime() const { return dateTime_; }  // days since 1899-12-30

 private:
  double dateTime_ = 0;
};

class TASNObjectIdentifier : public TASNobject {
 public:
  TASNObjectIdentifier(std::uint8_t c, const TOidArcs& arcs, std::int32_t t);
  std::unique_ptr<TASNobject> Create(std::uint8_t c, std::int32_t t) const override { return std::make_unique<TASNObjectIdentifier>(c, TOidArcs{}, t); }
  bool DecodeContents(const std::uint8_t* data, std::size_t length) override;
  const TOidArcs& Arcs() const { return arcs_; }

 private:
  TOidArcs arcs_;
};

class TASNStructured : public TASNobject {
 public:
  using TASNobject::TASNobject;
  std::unique_ptr<TASNobject> Create(std::uint8_t c, std::int32_t t) const override { return std::make_unique<TASNStructured>(c, t); }
  bool EncodeContents(TBerEncoder& enc) const override;
  std::size_t ContentLength() const override;
  const std::uint8_t* ContentData() const override { return nullptr; }
  bool DecodeContents(const std::uint8_t* data, std::size_t length) override;
  bool IsConstructed() const override { return true; }
  TASNobject* FindComponent(std::uint8_t tagClass, std::int32_t tag) override;

  // Appends a component and returns it (owned by this value).
  template <class T, class... A> T* Add(A&&... args) {
    auto p = std::make_unique<T>(std::forward<A>(args)...);
    T* raw = p.get();
    Components.push_back(std::move(p));
    return raw;
  }
  TASNobject* Add(std::unique_ptr<TASNobject> p) {
    Components.push_back(std::move(p));
    return Components.back().get();
  }

  std::vector<std::unique_ptr<TASNobject>> Components;
  std::size_t Cursor = 0;
};

class TASNSequence : public TASNStructured {
 public:
  using TASNStructured::TASNStructured;
  std::unique_ptr<TASNobject> Create(std::uint8_t c, std::int32_t t) const override { return std::make_unique<TASNSequence>(c, t); }
  TASNobject* FindComponent(std::uint8_t tagClass, std::int32_t tag) override;
};

// SEQUENCE OF: every element becomes a new value made by the prototype's virtual constructor.
class TASNSequenceOf : public TASNStructured {
 public:
  TASNSequenceOf(std::uint8_t c, std::unique_ptr<TASNobject> elementClass, std::int32_t t)
      : TASNStructured(c, t), ElementClass(std::move(elementClass)) {}
  std::unique_ptr<TASNobject> Create(std::uint8_t c, std::int32_t t) const override {
    return std::make_unique<TASNSequenceOf>(c, ElementClass ? ElementClass->Create(ElementClass->TagClass, ElementClass->TagNumber) : nullptr, t);
  }
  bool DecodeContents(const std::uint8_t* data, std::size_t length) override;
  std::unique_ptr<TASNobject> ElementClass;
};

// Any element, referenced in the received buffer without copying. The bytes must outlive it.
class TASNdata : public TASNOctetString {
 public:
  TASNdata(std::uint8_t c, std::int32_t t) : TASNOctetString(c, 0, nullptr, t) {}
  std::unique_ptr<TASNobject> Create(std::uint8_t c, std::int32_t t) const override { return std::make_unique<TASNdata>(c, t); }
  bool DecodeContents(const std::uint8_t* data, std::size_t length) override {
    ref_ = data;
    refLen_ = length;
    return true;
  }
  std::size_t ContentLength() const override { return refLen_; }
  const std::uint8_t* ContentData() const override { return ref_; }
  bool IsConstructed() const override { return true; }
  void NoteElement(const std::uint8_t* start, std::size_t span, std::uint8_t c, std::int32_t t) override {
    ElementStart = start;
    ElementSpan = span;
    SeenClass = c;
    SeenTag = t;
  }
  const std::uint8_t* ElementStart = nullptr;
  std::size_t ElementSpan = 0;
  std::uint8_t SeenClass = 0;
  std::int32_t SeenTag = -1;

 private:
  const std::uint8_t* ref_ = nullptr;
  std::size_t refLen_ = 0;
};

// Date-time helpers (days since 1899-12-30, the form the value texts use).
double EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int ms);
bool IsValidDate(int year, int month, int day);
// "dd.mm.yy hh-nn-ss.zzz"
std::string DateTimeText(double days);

}  // namespace t32
