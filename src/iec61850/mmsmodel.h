// The server model the MMS client loads: a tree of variables whose names are shared through
// a dictionary, the decoded values they carry, data sets, statistics and display texts.
#pragma once
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "iec61850/ber.h"

namespace t32 {

// Component names repeat thousands of times in a model (stVal, q, t, ...): each is stored once.
class TStrDictionary {
 public:
  std::uint32_t Add(std::string_view s);
  // Index of s, or -1 when it is not known.
  std::int64_t Find(std::string_view s) const;
  const std::string& operator[](std::uint32_t i) const;
  std::size_t Count() const { return strings_.size(); }
  void Clear();
  std::size_t MemoryUsed() const;

 private:
  std::deque<std::string> strings_;  // stable addresses for the index keys
  std::unordered_map<std::string_view, std::uint32_t> index_;
};

// MMS Data type tags (TypeDescription and Data share them).
enum TMmsType : std::uint8_t {
  kMmsNone = 0, kMmsArray = 1, kMmsStructure = 2, kMmsBoolean = 3, kMmsBitString = 4, kMmsInteger = 5,
  kMmsUnsigned = 6, kMmsFloat = 7, kMmsOctetString = 9, kMmsVisibleString = 10, kMmsGeneralizedTime = 11,
  kMmsBinaryTime = 12, kMmsBcd = 13, kMmsBooleanArray = 14, kMmsObjId = 15, kMmsString = 16, kMmsUtcTime = 17
};

// One decoded value: a copy of the decoder's description whose kind is the Data tag, owning
// its octets.
struct TMMSDataContainer {
  std::uint8_t kind = 0;
  bool valid = false;          // the element decoded
  std::int16_t bitCount = 0;
  std::int64_t integer = 0;
  double floatValue = 0;
  std::uint8_t raw[8] = {};
  std::uint8_t quality = 0;    // UTC time quality octet
  std::string octets;
  std::uint32_t span = 1;      // containers in this value's subtree (itself included)
  void Assign(const TDecodedValue& v);
  std::int64_t RawInt() const;
  double RawDouble() const;
};

std::string ValueText(const TMMSDataContainer& v);

class TMMSvar {
 public:
  TMMSvar(std::uint32_t name, TMMSvar* parent) : Name(name), Parent(parent) {}
  TMMSvar* FindChild(std::uint32_t name) const;
  TMMSvar* AddChild(std::uint32_t name);
  // Logical-device node above this one (nullptr for the root and domains themselves).
  const TMMSvar* DomainNode() const;
  // Names joined by "$" up to (not including) the domain node: LLN0$BR$brcb01$RptEna.
  std::string FullName(const TStrDictionary& dict) const;
  // Second component of the full name when it has two letters.
  std::string_view FunctionalConstraint() const { return std::string_view(FC, FC[0] ? 2 : 0); }
  bool IsUnder(const TMMSvar* ancestor) const;
  std::size_t CountNodes() const;

  std::uint32_t Name;
  TMMSvar* Parent;
  std::uint8_t Type = kMmsNone;
  bool Domain = false;
  bool ValueReceived = false;
  bool Claimed = false;
  bool TypeTried = false;  // attributes were asked (answered or refused)
  std::uint8_t PickMark = 0;  // 1: ticked in the browser for the device to poll
  char FC[2] = {0, 0};
  // Why the last read gave no value: -1 none, 0..12 the class of a refusal of the whole read
  // (ServiceError), kDataAccessErrorClass a refusal of this variable (DataAccessError).
  std::int8_t ReadErrorClass = -1;
  std::int16_t ReadErrorCode = 0;
  std::int32_t Size = 0;
  std::unique_ptr<TMMSDataContainer> Value;
  std::vector<std::unique_ptr<TMMSvar>> Children;
};

constexpr std::int8_t kDataAccessErrorClass = 100;
// The reason of a failed read as text ("" when there is none), e.g.
// "ошибка доступа: object-non-existent (10)" or "отказ сервера: класс resource (3), код 1".
std::string ReadErrorText(const TMMSvar& v);

// Value text of a node: "н/д" without a value, "(name=value, ...)" for arrays and structures.
std::string NodeValueText(const TMMSvar& v, const TStrDictionary& dict);
// Type name followed by "[size]" when the size is not 0.
std::string TypeText(const TMMSvar& v);
const char* TypeName(int type);

struct TMMSdomain {
  std::string Name;
  std::vector<std::string> VarNames;
  std::vector<std::string> ListNames;
  bool VarsLoaded = false;
  bool ListsLoaded = false;
};

struct TDataSet {
  std::string Name = "DATASET_00";
  std::string Domain;
  bool MustExist = false;
  std::int32_t ReadInterval = -1;
  std::vector<TMMSvar*> Members;
  std::vector<std::string> MemberNames;  // "domain/item" as the server named them
  bool Present = false;
  bool Read = false;
};

struct TDirectoryEntry {
  std::string Name;  // UTF-8
  std::uint64_t Size = 0;
  double Modified = 0;  // days since 1899-12-30, 0 when not given
};

// Communication statistics.
class TStatHolder {
 public:
  enum Counter {
    kUptime, kRequestsSent, kBytesSent, kResponses, kReports, kGoosePackets, kBytesReceived, kSendErrors,
    kTimeouts, kStructureErrors, kReconnects, kGooseLost, kMaxQueue, kCount
  };
  static const char* Caption(int c);
  std::int64_t Get(int c) const { return v_[c]; }
  void Add(int c, std::int64_t n = 1) { v_[c] += n; }
  void Max(int c, std::int64_t n) {
    if (n > v_[c]) v_[c] = n;
  }
  void Set(int c, std::int64_t n) { v_[c] = n; }
  void Clear() { *this = TStatHolder{}; }
  std::string Text() const;

 private:
  std::int64_t v_[kCount] = {};
};

// Decodes a sequence of MMS Data elements into the FIFO (pre-order; arrays and structures
// before their elements). False when the encoding is broken.
bool DecodeMmsData(const std::uint8_t* data, std::size_t length, std::vector<TMMSDataContainer>& fifo,
                   int timeShiftHours);
// Matches the value at fifo[head] onto the node (and its children). True when the node took
// the whole value.
bool MatchValue(TMMSvar& node, const std::vector<TMMSDataContainer>& fifo, std::size_t head);

extern const char* const kServiceNames[85];
extern const char* const kCbbNames[11];
extern const char* const kFunctionalConstraints[20];

}  // namespace t32
