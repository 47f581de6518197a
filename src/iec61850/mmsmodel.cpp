// Variable tree, value containers, value texts and MMS Data decoding.
#include "iec61850/mmsmodel.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace t32 {

// ---- dictionary ----

std::uint32_t TStrDictionary::Add(std::string_view s) {
  auto it = index_.find(s);
  if (it != index_.end()) return it->second;
  strings_.emplace_back(s);
  auto idx = static_cast<std::uint32_t>(strings_.size() - 1);
  index_.emplace(std::string_view(strings_.back()), idx);
  return idx;
}

std::int64_t TStrDictionary::Find(std::string_view s) const {
  auto it = index_.find(s);
  return it == index_.end() ? -1 : static_cast<std::int64_t>(it->second);
}

const std::string& TStrDictionary::operator[](std::uint32_t i) const {
  static const std::string kEmpty;
  return i < strings_.size() ? strings_[i] : kEmpty;
}

void TStrDictionary::Clear() {
  index_.clear();
  strings_.clear();
}

std::size_t TStrDictionary::MemoryUsed() const {
  std::size_t n = strings_.size() * (sizeof(std::string) + 48);
  for (const auto& s : strings_)
    if (s.size() > 15) n += s.capacity() + 1;
  return n;
}

// ---- containers ----

void TMMSDataContainer::Assign(const TDecodedValue& v) {
  bitCount = v.bitCount;
  integer = v.integer;
  floatValue = v.floatValue;
  std::memcpy(raw, v.raw, 8);
  if (v.octets && v.octetCount > 0)
    octets.assign(reinterpret_cast<const char*>(v.octets), static_cast<std::size_t>(v.octetCount));
  else
    octets.clear();
  valid = true;
}

std::int64_t TMMSDataContainer::RawInt() const {
  std::int64_t v;
  std::memcpy(&v, raw, 8);
  return v;
}
double TMMSDataContainer::RawDouble() const {
  double v;
  std::memcpy(&v, raw, 8);
  return v;
}

std::string ValueText(const TMMSDataContainer& v) {
  char buf[64];
  switch (v.kind) {
    case 0:
      std::snprintf(buf, sizeof buf, "ош.%lld", static_cast<long long>(v.integer));
      return buf;
    case kMmsBoolean:
      return v.integer ? "true" : "false";
    case kMmsBitString:
    case kMmsBooleanArray: {
      std::string s;
      for (int i = 0; i < v.bitCount && static_cast<std::size_t>(i / 8) < v.octets.size(); ++i)
        s += ((static_cast<std::uint8_t>(v.octets[i / 8]) >> (7 - i % 8)) & 1) ? '1' : '0';
      return s;
    }
    case kMmsInteger:
    case kMmsBcd:
      return std::to_string(v.integer);
    case kMmsUnsigned:
      return std::to_string(static_cast<std::uint64_t>(v.integer));
    case kMmsFloat: {
      // The shortest text that reads back to the same value, in the width it came in: a
      // single-precision 0.1 shows as "0.1", not as its double widening.
      std::to_chars_result r = v.bitCount == 32
                                   ? std::to_chars(buf, buf + sizeof buf, static_cast<float>(v.floatValue))
                                   : std::to_chars(buf, buf + sizeof buf, v.floatValue);
      return std::string(buf, r.ptr);
    }
    case kMmsOctetString: {
      std::string s;
      for (unsigned char c : v.octets) {
        std::snprintf(buf, sizeof buf, "%02X ", c);
        s += buf;
      }
      return s;
    }
    case kMmsVisibleString:
    case kMmsString:
    case kMmsObjId:
      return v.octets;
    case kMmsBinaryTime:
      // Four octets carry only the time of day.
      if (v.bitCount == 4) return DateTimeText(v.RawDouble()).substr(9);
      return DateTimeText(v.RawDouble());
    case kMmsGeneralizedTime:
    case kMmsUtcTime:
      return DateTimeText(v.RawDouble());
    default:
      return "";
  }
}

// ---- tree ----

TMMSvar* TMMSvar::FindChild(std::uint32_t name) const {
  for (const auto& c : Children)
    if (c->Name == name) return c.get();
  return nullptr;
}

TMMSvar* TMMSvar::AddChild(std::uint32_t name) {
  Children.push_back(std::make_unique<TMMSvar>(name, this));
  return Children.back().get();
}

const TMMSvar* TMMSvar::DomainNode() const {
  for (const TMMSvar* p = Parent; p; p = p->Parent)
    if (p->Domain) return p;
  return nullptr;
}

std::string TMMSvar::FullName(const TStrDictionary& dict) const {
  std::vector<const TMMSvar*> path;
  for (const TMMSvar* p = this; p && !p->Domain && p->Parent; p = p->Parent) path.push_back(p);
  std::string s;
  for (auto it = path.rbegin(); it != path.rend(); ++it) {
    if (!s.empty()) s += '$';
    s += dict[(*it)->Name];
  }
  return s;
}

bool TMMSvar::IsUnder(const TMMSvar* ancestor) const {
  for (const TMMSvar* p = this; p; p = p->Parent)
    if (p == ancestor) return true;
  return false;
}

std::size_t TMMSvar::CountNodes() const {
  std::size_t n = 1;
  for (const auto& c : Children) n += c->CountNodes();
  return n;
}

const char* TypeName(int type) {
  static const char* const kNames[18] = {"n/a", "array", "structure", "boolean", "bit string", "integer",
                                         "unsigned", "floatig point", "reserved", "octet string",
                                         "visible string", "generalized time", "time of day", "bcd",
                                         "boolean array", "object identifier", "MMS string", "UTC time"};
  return type >= 0 && type < 18 ? kNames[type] : "n/a";
}

std::string TypeText(const TMMSvar& v) {
  std::string s = TypeName(v.Type);
  if (v.Size) s += "[" + std::to_string(v.Size) + "]";
  return s;
}

std::string ReadErrorText(const TMMSvar& v) {
  static const char* const kClasses[13] = {"vmd-state", "application-reference", "definition", "resource",
                                           "service", "service-preempt", "time-resolution", "access",
                                           "initiate", "conclude", "cancel", "file", "others"};
  static const char* const kAccess[12] = {"object-invalidated", "hardware-fault", "temporarily-unavailable",
                                          "object-access-denied", "object-undefined", "invalid-address",
                                          "type-unsupported", "type-inconsistent", "object-attribute-inconsistent",
                                          "object-access-unsupported", "object-non-existent", "object-value-invalid"};
  const int code = v.ReadErrorCode;
  if (v.ReadErrorClass == kDataAccessErrorClass)
    return std::string("ошибка доступа: ") + (code >= 0 && code < 12 ? kAccess[code] : "код") + " (" +
           std::to_string(code) + ")";
  if (v.ReadErrorClass >= 0 && v.ReadErrorClass < 13)
    return std::string("отказ сервера: класс ") + kClasses[v.ReadErrorClass] + " (" +
           std::to_string(v.ReadErrorClass) + "), код " + std::to_string(code);
  return {};
}

std::string NodeValueText(const TMMSvar& v, const TStrDictionary& dict) {
  if (v.Type == kMmsArray || v.Type == kMmsStructure) {
    if (!v.ValueReceived) return "н/д";
    std::string s = "(";
    bool first = true;
    for (const auto& c : v.Children) {
      if (!first) s += ", ";
      first = false;
      s += dict[c->Name] + "=" + NodeValueText(*c, dict);
    }
    return s + ")";
  }
  if (!v.ValueReceived || !v.Value) return "н/д";
  return ValueText(*v.Value);
}

// ---- statistics ----

const char* TStatHolder::Caption(int c) {
  static const char* const k[kCount] = {"время работы", "отправлено запросов", "отправлено байт",
                                        "принято ответов", "принято отчетов", "принято пакетов GOOSE",
                                        "принято байт", "ошибок передачи", "таймаутов ожидания ответа",
                                        "ошибок структуры", "переустановок соединения", "пропусков пакетов GOOSE",
                                        "макс.размер очереди запросов"};
  return c >= 0 && c < kCount ? k[c] : "";
}

std::string TStatHolder::Text() const {
  std::string s;
  for (int i = 0; i < kCount; ++i) s += std::string(Caption(i)) + ": " + std::to_string(v_[i]) + "\n";
  return s;
}

// ---- MMS Data ----

namespace {

bool DecodeOne(const TBerHeader& h, const std::uint8_t* c, std::vector<TMMSDataContainer>& fifo, int shift) {
  std::size_t idx = fifo.size();
  fifo.emplace_back();
  fifo[idx].kind = static_cast<std::uint8_t>(h.tag > 255 ? 255 : h.tag);
  if (h.tagClass != kContext) return true;  // not Data: kept as an undecoded entry
  TDecodedValue& last = LastDecoded();
  last = TDecodedValue{};
  bool ok = false;
  switch (h.tag) {
    case 1:
    case 2: {
      TBerDepthGuard depth;
      if (!depth.Ok()) return false;
      if (!DecodeMmsData(c, h.length, fifo, shift)) return false;
      fifo[idx].valid = true;
      fifo[idx].span = static_cast<std::uint32_t>(fifo.size() - idx);
      return true;
    }
    case 0:
    case 5: {
      TASNInteger v(kContext, 0, h.tag);
      ok = v.DecodeContents(c, h.length);
      break;
    }
    case 3: {
      TASNboolean v(kContext, false, 3);
      ok = v.DecodeContents(c, h.length);
      break;
    }
    case 4:
    case 14: {
      TASNBitString v(kContext, 0, nullptr, h.tag);
      ok = v.DecodeContents(c, h.length);
      if (ok) fifo[idx].Assign(last);
      return true;
    }
    case 6: {
      TASNUnsigned v(kContext, 0, 6);
      ok = v.DecodeContents(c, h.length);
      break;
    }
    case 7: {
      // Floating point: exponent width octet, then IEEE single (8) or double (11) big-endian.
      if (h.length == 5 && c[0] == 8) {
        std::uint32_t u = (std::uint32_t(c[1]) << 24) | (std::uint32_t(c[2]) << 16) | (std::uint32_t(c[3]) << 8) | c[4];
        float f;
        std::memcpy(&f, &u, 4);
        last.floatValue = f;
        last.bitCount = 32;
        ok = true;
      } else if (h.length == 9 && c[0] == 11) {
        std::uint64_t u = 0;
        for (int i = 1; i < 9; ++i) u = (u << 8) | c[i];
        double d;
        std::memcpy(&d, &u, 8);
        last.floatValue = d;
        last.bitCount = 64;
        ok = true;
      }
      if (ok) last.SetRawDouble(last.floatValue);
      break;
    }
    case 9:
    case 10:
    case 16: {
      TASNOctetString v(kContext, 0, nullptr, h.tag);
      ok = v.DecodeContents(c, h.length);
      if (ok) fifo[idx].Assign(last);
      return true;
    }
    case 11: {
      TASNGeneralizedTime v(kContext, 11);
      ok = v.DecodeContents(c, h.length);
      if (ok) fifo[idx].Assign(last);
      fifo[idx].valid = ok;
      return true;
    }
    case 12: {
      // Binary time (TimeOfDay): milliseconds since midnight, then (six octets) days since
      // 1984-01-01; shown in local time like UTC time. bitCount keeps the octet count.
      if (h.length == 4 || h.length == 6) {
        std::uint32_t ms = (std::uint32_t(c[0]) << 24) | (std::uint32_t(c[1]) << 16) | (std::uint32_t(c[2]) << 8) | c[3];
        if (ms < 86400000u) {
          double days = ms / 86400000.0 + shift / 24.0;
          if (h.length == 6) {
            days += 30682.0 + ((std::uint32_t(c[4]) << 8) | c[5]);  // 1984-01-01 as a day number
          } else {
            days -= std::floor(days);  // time of day only: stays within one day
          }
          last.floatValue = days;
          last.SetRawDouble(days);
          last.bitCount = static_cast<std::int16_t>(h.length);
          ok = true;
        }
      }
      break;
    }
    case 13: {
      // 18 digits at most: a longer BCD number does not fit the 64-bit value.
      if (h.length >= 1 && h.length <= 9) {
        std::int64_t v = 0;
        ok = true;
        for (std::size_t i = 0; i < h.length; ++i) {
          int hi = c[i] >> 4, lo = c[i] & 15;
          if (hi > 9 || lo > 9) ok = false;
          v = v * 100 + hi * 10 + lo;
        }
        last.integer = v;
        last.floatValue = static_cast<double>(v);
        last.SetRawInt(v);
      }
      break;
    }
    case 15: {
      TASNObjectIdentifier v(kContext, {}, 15);
      ok = v.DecodeContents(c, h.length);
      if (ok) {
        fifo[idx].valid = true;
        fifo[idx].octets = OidToString(v.Arcs());
      }
      return true;
    }
    case 17: {
      if (h.length == 8) {
        std::uint32_t secs = (std::uint32_t(c[0]) << 24) | (std::uint32_t(c[1]) << 16) | (std::uint32_t(c[2]) << 8) | c[3];
        std::uint32_t frac = (std::uint32_t(c[4]) << 16) | (std::uint32_t(c[5]) << 8) | c[6];
        double days = 25569.0 + (secs + frac / 16777216.0) / 86400.0 + shift / 24.0;
        last.floatValue = days;
        last.SetRawDouble(days);
        last.integer = secs;
        fifo[idx].quality = c[7];
        ok = true;
      }
      break;
    }
    default:
      return true;  // unknown tags: not decoded
  }
  if (ok) fifo[idx].Assign(last);
  return true;
}

}  // namespace

bool DecodeMmsData(const std::uint8_t* data, std::size_t length, std::vector<TMMSDataContainer>& fifo,
                   int timeShiftHours) {
  TBerReader r(data, length);
  TBerHeader h;
  const std::uint8_t* c;
  while (r.Next(h, c))
    if (!DecodeOne(h, c, fifo, timeShiftHours)) return false;
  return !r.Failed();
}

bool MatchValue(TMMSvar& node, const std::vector<TMMSDataContainer>& fifo, std::size_t head) {
  if (head >= fifo.size()) return false;
  const TMMSDataContainer& c = fifo[head];
  if (c.kind == 0 || c.kind != node.Type) return false;
  if (c.kind == kMmsArray || c.kind == kMmsStructure) {
    node.ValueReceived = true;
    std::size_t pos = head + 1, end = head + c.span;
    bool all = true;
    for (auto& child : node.Children) {
      if (pos >= end) return false;
      if (!MatchValue(*child, fifo, pos)) all = false;
      pos += fifo[pos].span;
    }
    return all;
  }
  if (!c.valid) return false;
  node.ValueReceived = true;
  if (!node.Value) node.Value = std::make_unique<TMMSDataContainer>();
  *node.Value = c;
  return true;
}

const char* const kCbbNames[11] = {"str1", "str2", "vnam", "valt", "vadr", "vsca", "vtpy", "vlis", "cei", "aco", "sem"};

const char* const kFunctionalConstraints[20] = {"ST", "MX", "CO", "SP", "SV", "CF", "DC", "SG", "SE", "SR",
                                                "OR", "BL", "EX", "BR", "RP", "LG", "GO", "GS", "MS", "US"};

const char* const kServiceNames[85] = {
    "status", "getNameList", "identify", "rename", "read", "write", "getVariableAccessAttributes",
    "defineNamedVariable", "defineScatteredAccess", "getScatteredAccessAttributes", "deleteVariableAccess",
    "defineNamedVariableList", "getNamedVariableListAttributes", "deleteNamedVariableList", "defineNamedType",
    "getNamedTypeAttributes", "deleteNamedType", "input", "output", "takeControl", "relinquishControl",
    "defineSemaphore", "deleteSemaphore", "reportSemaphoreStatus", "reportPoolSemaphoreStatus",
    "reportSemaphoreEntryStatus", "initiateDownloadSequence", "downloadSegment", "terminateDownloadSequence",
    "initiateUploadSequence", "uploadSegment", "terminateUploadSequence", "requestDomainDownload",
    "requestDomainUpload", "loadDomainContent", "storeDomainContent", "deleteDomain", "getDomainAttributes",
    "createProgramInvocation", "deleteProgramInvocation", "start", "stop", "resume", "reset", "kill",
    "getProgramInvocationAttributes", "obtainFile", "defineEventCondition", "deleteEventCondition",
    "getEventConditionAttributes", "reportEventConditionStatus", "alterEventConditionMonitoring", "triggerEvent",
    "defineEventAction", "deleteEventAction", "getEventActionAttributes", "reportEventActionStatus",
    "defineEventEnrollment", "deleteEventEnrollment", "alterEventEnrollment", "reportEventEnrollmentStatus",
    "getEventEnrollmentAttributes", "acknowledgeEventNotification", "getAlarmSummary",
    "getAlarmEnrollmentSummary", "readJournal", "writeJournal", "initializeJournal", "reportJournalStatus",
    "createJournal", "deleteJournal", "getCapabilityList", "fileOpen", "fileRead", "fileClose", "fileRename",
    "fileDelete", "fileDirectory", "unsolicitedStatus", "informationReport", "eventNotification",
    "attachToEventCondition", "attachToSemaphore", "conclude", "cancel"};

}  // namespace t32
