#include "project/json.h"

#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <tuple>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "model/config.h"
#include "model/cp1251.h"
#include "model/document.h"
#include "model/factory.h"
#include "model/item.h"
#include "model/memstream.h"
#include "model/messages.h"
#include "model/rawsection.h"
#include "project/station_json.h"
#include "snmp/snmprecord.h"

namespace t32 {
namespace {

using nlohmann::ordered_json;

// Blocks / TiBlocks: a device's polling blocks (function, address, count; ТИ ones start with
// the value type), 4 and 5 bytes each.
// Pairs / Triples: IEC 103 address entries (f, i) and (f, i, n), 2 and 3 bytes each.
enum class Kind { U8, U16, U32, I32, F32, Text, Ip, Bytes, U8List, U16List, F32List, SnmpAgent, Blocks, TiBlocks, Station, Pairs, Triples };
struct Slot {
  std::string id;
  Kind kind;
};
using Schema = std::map<int, Slot>;  // key -> setting

// Collects the keyed settings of an item with their types.
class TSchemaVisitor : public TFieldVisitor {
 public:
  explicit TSchemaVisitor(Schema& s) : s_(s) {}
  void U8(const TField& f, std::uint8_t&) override { Add(f, Kind::U8); }
  void U16(const TField& f, std::uint16_t&) override { Add(f, Kind::U16); }
  void U32(const TField& f, std::uint32_t&) override { Add(f, Kind::U32); }
  void I32(const TField& f, std::int32_t&) override { Add(f, Kind::I32); }
  void F32(const TField& f, float&) override { Add(f, Kind::F32); }
  void Text(const TField& f, std::string&) override { Add(f, Kind::Text); }
  void Ip(const TField& f, std::uint32_t&) override { Add(f, Kind::Ip); }
  void Bytes(const TField& f, void*, std::size_t) override { Add(f, Kind::Bytes); }
  bool Reading() const override { return false; }

 private:
  void Add(const TField& f, Kind k) {
    if (f.key >= 0 && !s_.count(f.key)) s_[f.key] = {f.id, k};
  }
  Schema& s_;
};

// Section classes are known by parent class and code: one code can name different classes
// under different parents (a workstation under the IP port, a device under a Modbus port).
// Top-level sections have the parent "".
struct Classes {
  std::map<std::pair<std::string, int>, std::string> name;
  std::map<int, std::set<std::string>> byCode;
  std::map<std::string, Schema> schema;
  // The class of a section under a parent class, or "" when unknown. A code that only one
  // known class uses names that class wherever it stands.
  std::string Find(const std::string& parent, int code) const {
    if (auto it = name.find({parent, code}); it != name.end()) return it->second;
    if (auto it = byCode.find(code); it != byCode.end() && it->second.size() == 1) return *it->second.begin();
    return {};
  }
};

void Learn(Classes& cl, TItem* item, const std::string& parent) {
  int code = item->SectionCode();
  // A kept section's code names no class of this build.
  if (code < 0 || dynamic_cast<TRawSection*>(item)) return;
  cl.name[{parent, code}] = item->ClassName();
  cl.byCode[code].insert(item->ClassName());
  if (cl.schema.count(item->ClassName())) return;
  TSchemaVisitor v(cl.schema[item->ClassName()]);
  item->Fields(v);
}

// Entries that items write outside their setting lists (counts worked out while writing,
// per-row arrays of the signal tables), named here so the JSON reads as a description.
void AddKnownSlots(Classes& cl) {
  auto add = [&](const char* cls, int key, const char* id, Kind k) {
    Schema& s = cl.schema[cls];
    if (!s.count(key)) s[key] = {id, k};
  };
  add("TProc", 2, "boardCount", Kind::U8);
  add("TProc", 3, "portCount", Kind::U8);
  add("TProc", 20, "groupCount", Kind::U8);
  add("TProc", 46, "groups", Kind::Bytes);
  add("TPortIP", 20, "pcCount", Kind::U8);
  // The logic diagram's sections: task, line, shunt, contact or coil.
  add("TPortLD", 20, "taskCount", Kind::U16);
  add("TLine", 20, "count", Kind::U16);
  add("TStack", 20, "count", Kind::U16);
  add("TLD", 43, "inversion", Kind::U8);
  add("TLD", 41, "signalIndex", Kind::U16);
  cl.name[{"TPortLD", 228}] = "TTaskLD";
  cl.name[{"TTaskLD", 225}] = "TLD";
  cl.name[{"TTaskLD", 226}] = "TLine";
  cl.name[{"TLine", 225}] = "TLD";
  cl.name[{"TLine", 227}] = "TStack";
  cl.name[{"TStack", 226}] = "TLine";
  for (const char* dev : {"TRTU", "TRTUTCP"}) {
    add(dev, 87, "sysLogCodes", Kind::U16List);
    add(dev, 94, "alarmLogCodes", Kind::U16List);
    // The polling blocks are declared as bytes by the device; they read as lists of blocks.
    for (auto [key, id, k] : {std::tuple{45, "ts", Kind::Blocks}, std::tuple{47, "tu", Kind::Blocks},
                              std::tuple{46, "ti", Kind::TiBlocks}, std::tuple{56, "tr", Kind::Blocks}}) {
      Slot& slot = cl.schema[dev][key];
      if (slot.id.empty()) slot.id = id;
      slot.kind = k;
    }
  }
  // A KP station's six signal counts and its ТИ group types read as number lists.
  for (auto [key, id, k] : {std::tuple{44, "counts", Kind::U16List}, std::tuple{46, "groupTypes", Kind::U8List}}) {
    Slot& slot = cl.schema["TKP"][key];
    if (slot.id.empty()) slot.id = id;
    slot.kind = k;
  }
  cl.schema["TPortMKT3"][46] = {"channelTypes", Kind::U8List};
  for (auto [key, id, k] : {std::tuple{45, "ts", Kind::Pairs}, std::tuple{46, "ti", Kind::Triples},
                            std::tuple{47, "tu", Kind::Pairs}})
    add("TRTU103", key, id, k);
  add("TRTU104", 60, "stationLength", Kind::U32);
  add("TRTU104", 102, "station", Kind::Station);
  struct Table {
    const char* cls;
    int code, countKey;
  } tables[] = {{"TParamsTS", 211, 13}, {"TParamsTU", 212, 15}, {"TParamsTI", 213, 14},
                {"TParamsTII", 214, 75}, {"TParamsTR", 215, 74}, {"TParamsMTS", 219, 99}};
  for (const Table& t : tables) {
    add(t.cls, t.countKey, "rowCount", Kind::U16);
    add(t.cls, 41, "names", Kind::Bytes);
    add(t.cls, 1, "storageIndexes", Kind::U16List);
    cl.byCode[t.code].insert(t.cls);  // tables stand under many parents
  }
  add("TParamsTS", 78, "flags", Kind::U8List);
  add("TParamsTI", 21, "gains", Kind::F32List);
  add("TParamsTI", 42, "offsets", Kind::F32List);
  add("TParamsTI", 96, "upperThresholds", Kind::F32List);
  add("TParamsTI", 97, "lowerThresholds", Kind::F32List);
  add("TParamsTI", 98, "relativeApertures", Kind::U8List);
  add("TParamsTI", 46, "groupNumbers", Kind::U8List);
  add("TParamsTU", 110, "blockOn", Kind::U16List);
  add("TParamsTU", 111, "blockOff", Kind::U16List);
  add("TSNMP", 60, "recordLength", Kind::U32);
  add("TSNMP", 102, "agent", Kind::SnmpAgent);
}

Classes LearnClasses(TDocument& doc) {
  Classes cl;
  TNode* root = doc.Tree().Root();
  TNode* proc = doc.ProcNode();
  doc.Tree().ForEach([&](TNode* n) {
    if (!n->Item()) return;
    // Root and processor children are written at the top level; others inside the section of
    // their nearest ancestor that writes one.
    std::string parent;
    if (n != root && n->Parent() != root && n->Parent() != proc)
      for (TNode* a = n->Parent(); a; a = a->Parent())
        if (a->Item() && a->Item()->SectionCode() >= 0) {
          parent = a->Item()->ClassName();
          break;
        }
    Learn(cl, n->Item(), parent);
  });
  AddKnownSlots(cl);
  return cl;
}

std::uint32_t Le(const std::uint8_t* p, std::size_t n) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < n; ++i) v |= std::uint32_t(p[i]) << (8 * i);
  return v;
}

std::string Hex(const std::uint8_t* p, std::size_t n) {
  std::string s = OctetsToHexText(p, n);
  if (!s.empty()) s.pop_back();
  return s;
}

// A 65-byte text field that decodes and encodes back to the same bytes.
bool CleanText(const std::uint8_t* p) {
  if (p[0] > 64) return false;
  for (std::size_t i = 1 + p[0]; i < 65; ++i)
    if (p[i]) return false;
  return true;
}

// "1.3.6.1" -> arcs; false for anything but decimal arcs joined by single dots.
bool OidFromText(const std::string& t, snmp::TSnmpOid& oid) {
  oid = snmp::TSnmpOid();
  std::uint64_t arc = 0;
  bool digit = false;
  for (std::size_t i = 0; i <= t.size(); ++i) {
    if (i == t.size() || t[i] == '.') {
      if (!digit || arc > 0xFFFFFFFFu || !oid.Append(static_cast<std::uint32_t>(arc))) return false;
      arc = 0;
      digit = false;
    } else if (t[i] >= '0' && t[i] <= '9') {
      arc = arc * 10 + static_cast<unsigned>(t[i] - '0');
      if (arc > 0xFFFFFFFFu) return false;
      digit = true;
    } else {
      return false;
    }
  }
  return true;
}

// The agent record written back from its parts; the JSON form is used only when this gives
// the very same bytes (otherwise the record stays hex and nothing is lost).
bool SnmpAgentBytes(const snmp::TSNMP_device& d, std::vector<std::uint8_t>& out) {
  std::size_t need = 16;
  for (const auto& t : d.Tags.Items) need += 2 + t->Name.size() + t->OidLength;
  out.assign(need, 0);
  TMemStream s(out.data(), out.size());
  if (!d.SaveTo(s)) return false;
  out.resize(static_cast<std::size_t>(s.MemPos()));
  return true;
}

bool SnmpAgentToJson(const std::uint8_t* v, std::size_t n, ordered_json& e) {
  snmp::TSNMP_device d;
  TMemStream s(static_cast<const void*>(v), n);
  if (!d.LoadFrom(s) || d.Reserved[0] || d.Reserved[1]) return false;
  ordered_json a;
  a["address"] = OctetsToIpText(d.Address);
  a["port"] = d.Port;
  a["extraWords"] = {d.ExtraWord1, d.ExtraWord2};
  ordered_json tags = ordered_json::array();
  for (const auto& t : d.Tags.Items) {
    snmp::TSnmpOid oid;
    bool lossless = false;
    std::string utf8 = Cp1251ToUtf8(t->Name);
    if (Utf8ToCp1251(utf8, &lossless) != t->Name || !lossless || !t->GetOid(oid)) return false;
    tags.push_back({{"name", utf8}, {"oid", snmp::SnmpOidToString(oid)}});
  }
  a["tags"] = tags;
  std::vector<std::uint8_t> again;
  if (!SnmpAgentBytes(d, again) || again.size() != n || std::memcmp(again.data(), v, n) != 0) return false;
  e["agent"] = a;
  return true;
}

ordered_json Entry(int key, const std::uint8_t* v, std::size_t n, const Schema* schema) {
  ordered_json e;
  e["key"] = key;
  const Slot* slot = nullptr;
  if (schema)
    if (auto it = schema->find(key); it != schema->end()) slot = &it->second;
  static const Slot kVersion{"layoutVersion", Kind::U8};
  if (!slot && key == 48) slot = &kVersion;
  if (slot) e["id"] = slot->id;
  Kind k = slot ? slot->kind : Kind::Bytes;
  std::size_t want = k == Kind::U8 ? 1 : k == Kind::U16 ? 2 : (k == Kind::Text || k == Kind::Bytes || k == Kind::U8List || k == Kind::SnmpAgent || k == Kind::Station) ? n
                     : k == Kind::U16List ? n - n % 2 : k == Kind::F32List ? n - n % 4
                     : k == Kind::Blocks ? n - n % 4 : k == Kind::TiBlocks ? n - n % 5
                     : k == Kind::Pairs ? n - n % 2 : k == Kind::Triples ? n - n % 3 : 4;
  if (n != want) k = Kind::Bytes;  // stored width differs from the class's: keep the bytes
  switch (k) {
    case Kind::U8: e["u8"] = v[0]; break;
    case Kind::U16: e["u16"] = Le(v, 2); break;
    case Kind::U32: e["u32"] = Le(v, 4); break;
    case Kind::I32: e["i32"] = static_cast<std::int32_t>(Le(v, 4)); break;
    case Kind::F32: {
      float f;
      std::memcpy(&f, v, 4);
      if (f == f) {
        e["f32"] = f;
        break;
      }
      e["hex"] = Hex(v, n);  // NaN has no JSON number
      break;
    }
    case Kind::Ip: e["ip"] = U32ToIpText(Le(v, 4)); break;
    case Kind::SnmpAgent:
      if (!SnmpAgentToJson(v, n, e)) e["hex"] = Hex(v, n);
      break;
    case Kind::Station: {
      // A damaged station (one that does not read, or would not come back the same) stays hex.
      ordered_json st;
      if (StationBlockToJson(v, n, st)) e["station"] = std::move(st);
      else e["hex"] = Hex(v, n);
      break;
    }
    case Kind::U8List: {
      ordered_json list = ordered_json::array();
      for (std::size_t i = 0; i < n; ++i) list.push_back(v[i]);
      e["u8s"] = list;
      break;
    }
    case Kind::U16List: {
      ordered_json list = ordered_json::array();
      for (std::size_t i = 0; i < n; i += 2) list.push_back(Le(v + i, 2));
      e["u16s"] = list;
      break;
    }
    case Kind::F32List: {
      ordered_json list = ordered_json::array();
      bool numbers = true;
      for (std::size_t i = 0; i < n && numbers; i += 4) {
        float f;
        std::memcpy(&f, v + i, 4);
        if (f != f || f - f != 0) numbers = false;  // NaN and infinities have no JSON number
        else list.push_back(f);
      }
      if (numbers) e["f32s"] = list;
      else e["hex"] = Hex(v, n);
      break;
    }
    case Kind::Blocks:
    case Kind::TiBlocks: {
      const bool ti = k == Kind::TiBlocks;
      ordered_json list = ordered_json::array();
      for (std::size_t i = 0; i < n; i += ti ? 5 : 4) {
        const std::uint8_t* b = v + i;
        ordered_json j;
        if (ti) j["type"] = *b++;
        char addr[8];
        std::snprintf(addr, sizeof addr, "$%04X", static_cast<unsigned>(Le(b + 1, 2)));
        j["function"] = b[0];
        j["address"] = addr;
        j["count"] = b[3];
        list.push_back(j);
      }
      e["blocks"] = list;
      break;
    }
    case Kind::Pairs:
    case Kind::Triples: {
      const std::size_t w = k == Kind::Pairs ? 2 : 3;
      if (n % w) {
        e["hex"] = Hex(v, n);
        break;
      }
      ordered_json list = ordered_json::array();
      for (std::size_t i = 0; i < n; i += w) {
        ordered_json one = ordered_json::array();
        for (std::size_t j = 0; j < w; ++j) one.push_back(v[i + j]);
        list.push_back(one);
      }
      e["entries"] = list;
      break;
    }
    case Kind::Text:
      if (n == 65 && CleanText(v)) e["text"] = TConfig::DecodeText(v, 65);
      else e["hex"] = Hex(v, n);
      break;
    case Kind::Bytes: {
      // Name lists (65 bytes a name) read as lists of texts when every name is clean.
      bool names = (key == 41 || key == 77) && n > 0 && n % 65 == 0;
      for (std::size_t i = 0; names && i < n; i += 65) names = CleanText(v + i);
      if (names) {
        ordered_json list = ordered_json::array();
        for (std::size_t i = 0; i < n; i += 65) list.push_back(TConfig::DecodeText(v + i, 65));
        e["texts"] = list;
      } else {
        e["hex"] = Hex(v, n);
      }
      break;
    }
  }
  return e;
}

// Walks the long records of one section at `at` (its record) into JSON.
ordered_json Section(const std::vector<std::uint8_t>& img, std::size_t at, std::size_t end, const Classes& cl,
                     int depth, const std::string& parent) {
  ordered_json s;
  int code = static_cast<int>(Le(img.data() + at + 2, 2));
  std::size_t len = Le(img.data() + at + 4, 4);
  s["section"] = code;
  std::string cls = cl.Find(parent, code);
  if (!cls.empty()) s["class"] = cls;
  const Schema* schema = nullptr;
  if (auto it = cl.schema.find(cls); !cls.empty() && it != cl.schema.end()) schema = &it->second;
  ordered_json entries = ordered_json::array(), children = ordered_json::array();
  std::size_t p = at + 8, stop = std::min(end, at + len);
  long long stationLength = -1;
  // Entries first, then nested sections, and nothing else: what the items write. A section
  // laid out otherwise (one this version keeps without reading it) goes as its bytes.
  while (p + 8 <= stop) {
    std::uint16_t type = static_cast<std::uint16_t>(Le(img.data() + p, 2));
    std::size_t rlen = Le(img.data() + p + 4, 4);
    if (rlen < 8 || p + rlen > stop) break;
    if (type == 0xFFF2 && children.empty()) {
      ordered_json e = Entry(static_cast<int>(Le(img.data() + p + 2, 2)), img.data() + p + 8, rlen - 8, schema);
      if (e.value("id", "") == "stationLength" && e.contains("u32")) stationLength = e["u32"].get<long long>();
      // Import writes the length of a station given by its parts; a length that disagreed with
      // the block (a damaged device keeps both as they were) must come back as it was.
      if (e.contains("station") && stationLength != static_cast<long long>(rlen - 8)) {
        e.erase("station");
        e["hex"] = Hex(img.data() + p + 8, rlen - 8);
      }
      entries.push_back(std::move(e));
    } else if (type == 0xFFF1 && depth < 64)
      children.push_back(Section(img, p, stop, cl, depth + 1, cls));
    else
      break;
    p += rlen;
  }
  if (p != stop) {
    s["raw"] = Hex(img.data() + at + 8, stop - at - 8);
    return s;
  }
  s["entries"] = entries;
  if (!children.empty()) s["children"] = children;
  return s;
}

// --- import ------------------------------------------------------------------------------
struct Writer {
  std::vector<std::uint8_t> out;
  std::string error;
  void U16(std::uint16_t v) { out.push_back(v & 0xFF); out.push_back(v >> 8); }
  void U32(std::uint32_t v) { for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i))); }
  void Patch(std::size_t at, std::uint32_t v) { for (int i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(v >> (8 * i)); }

  bool FromHex(const std::string& s, std::vector<std::uint8_t>& v) {
    v.clear();
    int nib = -1;
    for (char ch : s) {
      int d = ch >= '0' && ch <= '9' ? ch - '0' : ch >= 'A' && ch <= 'F' ? ch - 'A' + 10 : ch >= 'a' && ch <= 'f' ? ch - 'a' + 10 : -1;
      if (d < 0) {
        if (ch == ' ') continue;
        error = "неверная шестнадцатеричная строка \"" + s + "\"";
        return false;
      }
      if (nib < 0) nib = d;
      else {
        v.push_back(static_cast<std::uint8_t>(nib * 16 + d));
        nib = -1;
      }
    }
    if (nib >= 0) {
      error = "нечётное число цифр в \"" + s + "\"";
      return false;
    }
    return true;
  }

  bool TextField(const ordered_json& t, std::vector<std::uint8_t>& v) {
    if (!t.is_string()) {
      error = "текст должен быть строкой";
      return false;
    }
    std::string s = t.get<std::string>();
    if (Utf8Length(s) > 64 || !FitsCp1251(s)) {
      error = "текст \"" + s + "\" длиннее 64 символов или не помещается в кодировку cp1251";
      return false;
    }
    std::uint8_t f[65];
    TConfig::EncodeText(s, f);
    v.insert(v.end(), f, f + 65);
    return true;
  }

  // An SNMP agent record from its JSON form: address, port, the two words and the tags.
  bool SnmpAgent(const ordered_json& a, std::vector<std::uint8_t>& v) {
    snmp::TSNMP_device d;
    bool ok = a.is_object() && a.contains("address") && a["address"].is_string() &&
              IpTextToOctets(a["address"].get<std::string>(), d.Address);
    auto word = [&](const ordered_json& j, std::uint16_t& w) {
      if (!j.is_number_unsigned() || j.get<std::uint64_t>() > 65535) return false;
      w = static_cast<std::uint16_t>(j.get<std::uint64_t>());
      return true;
    };
    ok = ok && a.contains("port") && word(a["port"], d.Port) && a.contains("extraWords") && a["extraWords"].is_array() &&
         a["extraWords"].size() == 2 && word(a["extraWords"][0], d.ExtraWord1) && word(a["extraWords"][1], d.ExtraWord2) &&
         a.contains("tags") && a["tags"].is_array();
    if (!ok) {
      error = "запись агента SNMP: нужны \"address\", \"port\", \"extraWords\" и \"tags\"";
      return false;
    }
    for (const auto& t : a["tags"]) {
      if (!t.is_object() || !t.contains("name") || !t["name"].is_string() || !t.contains("oid") || !t["oid"].is_string()) {
        error = "тег SNMP: нужны \"name\" и \"oid\"";
        return false;
      }
      std::string name = t["name"].get<std::string>();
      bool lossless = false;
      std::string cp = Utf8ToCp1251(name, &lossless);
      snmp::TSnmpOid oid;
      if (!lossless || cp.size() > snmp::TSNMP_Tag::kMaxName) {
        error = "имя тега SNMP \"" + name + "\" длиннее 63 символов или не помещается в кодировку cp1251";
        return false;
      }
      snmp::TSNMP_Tag& tag = d.Tags.Add();
      tag.Name = cp;
      if (!OidFromText(t["oid"].get<std::string>(), oid) || !tag.SetOid(oid)) {
        error = "неверный OID тега " + name + ": " + t["oid"].dump();
        return false;
      }
    }
    std::vector<std::uint8_t> bytes;
    if (!SnmpAgentBytes(d, bytes)) {
      error = "запись агента SNMP не записывается";
      return false;
    }
    v.insert(v.end(), bytes.begin(), bytes.end());
    return true;
  }

  // Polling blocks: {"type"?, "function", "address": "$hex", "count"}; a list mixing blocks with
  // and without a type is refused, since the device reads them at one width.
  bool BlockList(const ordered_json& list, std::vector<std::uint8_t>& v) {
    if (!list.is_array()) {
      error = "\"blocks\" должен быть списком";
      return false;
    }
    const bool ti = !list.empty() && list[0].is_object() && list[0].contains("type");
    for (const auto& b : list) {
      if (!b.is_object() || b.contains("type") != ti) {
        error = "неверный блок опроса: " + b.dump();
        return false;
      }
      auto byte = [&](const char* k) -> int {
        if (!b.contains(k) || !b[k].is_number_unsigned() || b[k].get<unsigned long long>() > 255) return -1;
        return static_cast<int>(b[k].get<unsigned>());
      };
      int type = ti ? byte("type") : 0, function = byte("function"), count = byte("count");
      long address = -1;
      if (b.contains("address") && b["address"].is_string()) {
        std::string a = b["address"].get<std::string>();
        bool ok = a.size() >= 2 && a.size() <= 5 && a[0] == '$';
        unsigned long x = 0;
        for (std::size_t i = 1; ok && i < a.size(); ++i) {
          char ch = a[i];
          int d = ch >= '0' && ch <= '9' ? ch - '0' : ch >= 'A' && ch <= 'F' ? ch - 'A' + 10 : ch >= 'a' && ch <= 'f' ? ch - 'a' + 10 : -1;
          ok = d >= 0;
          x = x * 16 + static_cast<unsigned long>(d < 0 ? 0 : d);
        }
        if (ok) address = static_cast<long>(x);
      }
      if (type < 0 || function < 0 || count < 0 || address < 0) {
        error = "неверный блок опроса: " + b.dump();
        return false;
      }
      if (ti) v.push_back(static_cast<std::uint8_t>(type));
      v.push_back(static_cast<std::uint8_t>(function));
      v.push_back(static_cast<std::uint8_t>(address & 0xFF));
      v.push_back(static_cast<std::uint8_t>(address >> 8));
      v.push_back(static_cast<std::uint8_t>(count));
    }
    return true;
  }

  bool EntryValue(const ordered_json& e, std::vector<std::uint8_t>& v) {
    auto num = [&](const char* k, double lo, double hi, std::size_t width) {
      const auto& j = e[k];
      if (!j.is_number()) {
        error = std::string("значение \"") + k + "\" должно быть числом";
        return false;
      }
      double d = j.get<double>();
      if (d < lo || d > hi || d != static_cast<double>(static_cast<long long>(d))) {
        error = std::string("значение \"") + k + "\" вне диапазона: " + j.dump();
        return false;
      }
      std::uint32_t u = static_cast<std::uint32_t>(static_cast<long long>(d));
      for (std::size_t i = 0; i < width; ++i) v.push_back(static_cast<std::uint8_t>(u >> (8 * i)));
      return true;
    };
    if (e.contains("u8")) return num("u8", 0, 255, 1);
    if (e.contains("u16")) return num("u16", 0, 65535, 2);
    if (e.contains("u32")) return num("u32", 0, 4294967295.0, 4);
    if (e.contains("i32")) return num("i32", -2147483648.0, 2147483647.0, 4);
    if (e.contains("f32")) {
      if (!e["f32"].is_number()) {
        error = "значение \"f32\" должно быть числом";
        return false;
      }
      float f = e["f32"].get<float>();
      std::uint8_t b[4];
      std::memcpy(b, &f, 4);
      v.insert(v.end(), b, b + 4);
      return true;
    }
    if (e.contains("ip")) {
      bool ok = e["ip"].is_string();
      std::uint32_t ip = ok ? IpTextToU32(e["ip"].get<std::string>(), &ok) : 0;
      if (!ok) {
        error = "неверный IP-адрес " + e["ip"].dump();
        return false;
      }
      for (int i = 0; i < 4; ++i) v.push_back(static_cast<std::uint8_t>(ip >> (8 * i)));
      return true;
    }
    auto list = [&](const char* k, double lo, double hi, std::size_t width) {
      if (!e[k].is_array()) {
        error = std::string("\"") + k + "\" должен быть списком";
        return false;
      }
      for (const auto& j : e[k]) {
        if (!j.is_number()) {
          error = std::string("в \"") + k + "\" не число: " + j.dump();
          return false;
        }
        double d = j.get<double>();
        if (width == 4) {
          float f = j.get<float>();
          std::uint8_t b[4];
          std::memcpy(b, &f, 4);
          v.insert(v.end(), b, b + 4);
          continue;
        }
        if (d < lo || d > hi || d != static_cast<double>(static_cast<long long>(d))) {
          error = std::string("в \"") + k + "\" значение вне диапазона: " + j.dump();
          return false;
        }
        std::uint32_t u = static_cast<std::uint32_t>(static_cast<long long>(d));
        for (std::size_t i = 0; i < width; ++i) v.push_back(static_cast<std::uint8_t>(u >> (8 * i)));
      }
      return true;
    };
    if (e.contains("u8s")) return list("u8s", 0, 255, 1);
    if (e.contains("u16s")) return list("u16s", 0, 65535, 2);
    if (e.contains("f32s")) return list("f32s", 0, 0, 4);
    if (e.contains("text")) return TextField(e["text"], v);
    if (e.contains("blocks")) return BlockList(e["blocks"], v);
    if (e.contains("entries")) {
      // Address entries: lists of two or three bytes, all of one length.
      const auto& list = e["entries"];
      std::size_t width = 0;
      for (const auto& one : list.is_array() ? list : ordered_json::array()) {
        bool ok = one.is_array() && (one.size() == 2 || one.size() == 3) && (!width || one.size() == width);
        for (std::size_t j = 0; ok && j < one.size(); ++j)
          ok = one[j].is_number_unsigned() && one[j].get<unsigned long long>() <= 255;
        if (!ok) {
          error = "неверная запись таблицы адресации: " + one.dump();
          return false;
        }
        width = one.size();
        for (const auto& x : one) v.push_back(static_cast<std::uint8_t>(x.get<unsigned>()));
      }
      if (!list.is_array()) {
        error = "\"entries\" должен быть списком";
        return false;
      }
      return true;
    }
    if (e.contains("texts")) {
      if (!e["texts"].is_array()) {
        error = "\"texts\" должен быть списком";
        return false;
      }
      for (const auto& t : e["texts"])
        if (!TextField(t, v)) return false;
      return true;
    }
    if (e.contains("hex") && e["hex"].is_string()) return FromHex(e["hex"].get<std::string>(), v);
    if (e.contains("agent")) return SnmpAgent(e["agent"], v);
    if (e.contains("station")) {
      std::vector<std::uint8_t> bytes;
      if (!StationBlockFromJson(e["station"], bytes, &error)) return false;
      v.insert(v.end(), bytes.begin(), bytes.end());
      return true;
    }
    error = "у записи нет значения";
    return false;
  }

  bool Section(const ordered_json& s, int depth) {
    if (depth > 64 || !s.is_object() || !s.contains("section") || !s["section"].is_number_unsigned() ||
        s["section"].get<unsigned>() > 0xFFFF) {
      error = "раздел без верного кода \"section\"";
      return false;
    }
    std::size_t at = out.size();
    U16(0xFFF1);
    U16(static_cast<std::uint16_t>(s["section"].get<unsigned>()));
    U32(0);
    if (s.contains("raw")) {
      // A section kept as it stood: its bytes after the head, as they were.
      std::vector<std::uint8_t> body;
      if (!s["raw"].is_string() || !FromHex(s["raw"].get<std::string>(), body)) {
        if (error.empty()) error = "\"raw\" должен быть шестнадцатеричной строкой";
        error = "раздел " + s["section"].dump() + ": " + error;
        return false;
      }
      out.insert(out.end(), body.begin(), body.end());
      if (out.size() > TConfig::kMaxImage) {
        error = "конфигурация слишком велика";
        return false;
      }
      Patch(at + 4, static_cast<std::uint32_t>(out.size() - at));
      return true;
    }
    if (s.contains("entries")) {
      if (!s["entries"].is_array()) {
        error = "\"entries\" должен быть списком";
        return false;
      }
      // An agent record or a station given by its parts may have changed size: its length
      // entry follows.
      std::size_t recordLengthAt = 0;
      for (const auto& e : s["entries"]) {
        if (!e.is_object() || !e.contains("key") || !e["key"].is_number_unsigned() || e["key"].get<unsigned>() > 0xFFFF) {
          error = "запись без верного ключа \"key\"";
          return false;
        }
        std::vector<std::uint8_t> v;
        if (!EntryValue(e, v)) {
          error = "раздел " + s["section"].dump() + ", ключ " + e["key"].dump() + ": " + error;
          return false;
        }
        U16(0xFFF2);
        U16(static_cast<std::uint16_t>(e["key"].get<unsigned>()));
        U32(static_cast<std::uint32_t>(v.size() + 8));
        if (e.contains("id") && (e["id"] == "recordLength" || e["id"] == "stationLength") && v.size() == 4)
          recordLengthAt = out.size();
        if ((e.contains("agent") || e.contains("station")) && recordLengthAt)
          Patch(recordLengthAt, static_cast<std::uint32_t>(v.size()));
        out.insert(out.end(), v.begin(), v.end());
        if (out.size() > TConfig::kMaxImage) {
          error = "конфигурация слишком велика";
          return false;
        }
      }
    }
    if (s.contains("children")) {
      if (!s["children"].is_array()) {
        error = "\"children\" должен быть списком";
        return false;
      }
      for (const auto& c : s["children"])
        if (!Section(c, depth + 1)) return false;
    }
    Patch(at + 4, static_cast<std::uint32_t>(out.size() - at));
    return true;
  }
};

}  // namespace

std::string ExportJson(TDocument& doc, TCpu cpu) {
  doc.extendedFormat = cpu == TCpu::Cpu927;
  std::int32_t end = doc.WriteRecords();
  doc.extendedFormat = true;
  if (!doc.Config().Refusals().empty()) {
    for (const std::string& r : doc.Config().Refusals()) doc.Messages().ShowError(r);
    return {};
  }
  Classes cl = LearnClasses(doc);
  const auto& img = doc.Config().Image();
  ordered_json root;
  root["format"] = "tavrik32-config";
  root["version"] = 1;
  root["cpu"] = CpuCaption(cpu);
  ordered_json sections = ordered_json::array();
  std::size_t p = TConfig::kDataStart;
  while (p + 8 <= static_cast<std::size_t>(end)) {
    std::size_t len = Le(img.data() + p + 4, 4);
    if (len < 8 || p + len > static_cast<std::size_t>(end)) break;
    sections.push_back(Section(img, p, static_cast<std::size_t>(end), cl, 0, std::string()));
    p += len;
  }
  root["sections"] = sections;
  return root.dump(2) + "\n";
}

bool ImportJson(TDocument& doc, const std::string& text, TCpu* cpu, std::string* error) {
  auto fail = [&](const std::string& m) {
    if (error) *error = m;
    return false;
  };
  ordered_json root = ordered_json::parse(text, nullptr, false);
  if (root.is_discarded() || !root.is_object()) return fail("Файл не является JSON-описанием конфигурации");
  if (!root.contains("format") || root["format"] != "tavrik32-config")
    return fail("Нет признака \"format\": \"tavrik32-config\"");
  TCpu c = TCpu::Cpu927;
  if (root.contains("cpu")) {
    if (root["cpu"] == "CPU-927") c = TCpu::Cpu927;
    else if (root["cpu"] == "CPU-6358, CPC108") c = TCpu::Cpu6358;
    else return fail("Неизвестный тип процессора " + root["cpu"].dump());
  }
  if (!root.contains("sections") || !root["sections"].is_array()) return fail("Нет списка \"sections\"");
  Writer w;
  w.out.assign(TConfig::kDataStart, 0);
  for (const auto& s : root["sections"])
    if (!w.Section(s, 0)) return fail("Ошибка в описании: " + w.error);
  std::vector<std::uint8_t> img = std::move(w.out);
  TBuildOptions opt;
  opt.cpu = c;
  opt.fileName = "json";
  std::string err;
  if (!FinishImage(img, img.size(), opt, &err)) return fail(err);
  TCpu parsed = c;
  if (!ParseImage(doc, std::move(img), false, &parsed, "JSON")) return fail("Конфигурация из JSON не прочитана");
  if (cpu) *cpu = parsed;
  return true;
}

}  // namespace t32
