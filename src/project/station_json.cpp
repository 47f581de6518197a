#include "project/station_json.h"

#include <cmath>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <string_view>

#include "iec104/station.h"
#include "model/memstream.h"

namespace t32 {
namespace {

using nlohmann::ordered_json;

std::string Hex(const std::uint8_t* p, std::size_t n) {
  static const char* d = "0123456789ABCDEF";
  std::string s;
  for (std::size_t i = 0; i < n; ++i) {
    if (i) s += ' ';
    s += d[p[i] >> 4];
    s += d[p[i] & 15];
  }
  return s;
}

bool AllZero(const std::uint8_t* p, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i)
    if (p[i]) return false;
  return true;
}

// ----- to JSON

ordered_json Channel(const TChannel104& c, bool withVersion) {
  ordered_json j;
  if (withVersion) j["version"] = c.version;
  j["localIp"] = OctetsToIpText(c.localIp.data());
  j["remoteIp"] = OctetsToIpText(c.remoteIp.data());
  j["t0"] = c.t0;
  j["reconnect"] = c.reconnect;
  j["t1"] = c.t1;
  j["t2"] = c.t2;
  j["t3"] = c.t3;
  j["k"] = c.k;
  j["w"] = c.w;
  return j;
}

// False for a value JSON has no number for (the block then stays hex).
bool Float(float f, ordered_json& j, const char* key) {
  if (!std::isfinite(f)) return false;
  j[key] = f;
  return true;
}

bool Object(const TPProcItem& o, ordered_json& j) {
  j["kind"] = o.kind;
  j["name"] = o.name;
  j["address"] = o.address;
  j["tick"] = o.tick;
  if (o.flag) j["flag"] = o.flag;
  if (auto* m = dynamic_cast<const TMultiTSitem*>(&o)) {
    j["dataLength"] = m->dataLength;
    j["dataMask"] = m->dataMask;
  } else if (auto* t = dynamic_cast<const TTIitem*>(&o)) {
    if (!Float(t->scale, j, "scale") || !Float(t->offset, j, "offset")) return false;
    j["options"] = t->options;
  } else if (auto* u = dynamic_cast<const TTUItem*>(&o)) {
    j["options"] = u->options;
  } else if (auto* r = dynamic_cast<const TTRItem*>(&o)) {
    j["options"] = r->options;
  } else if (auto* f = dynamic_cast<const TFileItem*>(&o)) {
    j["fileId"] = f->fileId;
    j["delay"] = f->delay;
    j["fileName"] = f->fileName;
  } else if (auto* l = dynamic_cast<const TRZAlogitem*>(&o)) {
    j["element"] = Hex(l->element.data(), l->element.size());
  }
  return true;
}

bool Node(const TConfigItem& n, ordered_json& j) {
  if (auto* g = dynamic_cast<const TGroup*>(&n)) {
    const TGroupRecord& r = g->record;
    j["name"] = g->name;
    if (!g->alias.empty()) j["alias"] = g->alias;
    j["kind"] = r.kind;
    j["baseAddress"] = r.baseAddress;
    j["commonAddress"] = r.commonAddress;
    j["sendType"] = r.sendType;
    j["askCommand"] = r.askCommand;
    j["askSelector"] = r.askSelector;
    j["askPeriod"] = r.askPeriod;
    if (!AllZero(r.held.data(), r.held.size())) j["held"] = Hex(r.held.data(), r.held.size());
    ordered_json objects = ordered_json::array();
    for (const auto& o : g->Objects()) {
      ordered_json oj;
      if (!Object(*o, oj)) return false;
      objects.push_back(std::move(oj));
    }
    j["objects"] = std::move(objects);
  }
  if (!n.Children().empty()) {
    ordered_json groups = ordered_json::array();
    for (const auto& c : n.Children()) {
      ordered_json cj;
      if (!Node(*c, cj)) return false;
      groups.push_back(std::move(cj));
    }
    j["groups"] = std::move(groups);
  }
  return true;
}

// ----- from JSON

class TFromJson {
 public:
  std::string error;

  bool Fail(const std::string& what) {
    if (error.empty()) error = what;
    return false;
  }

  // Only the named keys may stand in an object: a misspelt key would otherwise be dropped
  // without a word.
  bool Keys(const ordered_json& o, const char* where, std::initializer_list<std::string_view> allowed) {
    if (!o.is_object()) return Fail(std::string(where) + " должен быть объектом");
    for (const auto& item : o.items()) {
      bool known = false;
      for (std::string_view a : allowed) known = known || item.key() == a;
      if (!known) return Fail(std::string(where) + ": неизвестное поле \"" + item.key() + "\"");
    }
    return true;
  }

  // A missing value keeps the default the station has for it.
  template <class T>
  bool Int(const ordered_json& o, const char* key, T& out) {
    if (!o.contains(key)) return true;
    const ordered_json& v = o[key];
    const bool ok = v.is_number_integer() &&
                    (v.is_number_unsigned() ? v.get<std::uint64_t>() <= std::uint64_t(std::numeric_limits<T>::max())
                                            : v.get<std::int64_t>() >= std::int64_t(std::numeric_limits<T>::min()) &&
                                                  v.get<std::int64_t>() <= std::int64_t(std::numeric_limits<T>::max()));
    if (!ok) return Fail(std::string("значение \"") + key + "\" не целое или вне диапазона: " + v.dump());
    out = static_cast<T>(v.is_number_unsigned() ? v.get<std::uint64_t>() : static_cast<std::uint64_t>(v.get<std::int64_t>()));
    return true;
  }

  bool Float(const ordered_json& o, const char* key, float& out) {
    if (!o.contains(key)) return true;
    const ordered_json& v = o[key];
    if (!v.is_number() || !std::isfinite(v.get<double>()) || std::fabs(v.get<double>()) > std::numeric_limits<float>::max())
      return Fail(std::string("значение \"") + key + "\" должно быть числом: " + v.dump());
    out = v.get<float>();
    return true;
  }

  bool Text(const ordered_json& o, const char* key, std::string& out) {
    if (!o.contains(key)) return true;
    const ordered_json& v = o[key];
    if (!v.is_string()) return Fail(std::string("значение \"") + key + "\" должно быть строкой");
    bool replaced = false, cut = false;
    std::string s = v.get<std::string>();
    FitStationText(s, &replaced, &cut);
    if (replaced || cut)
      return Fail("текст \"" + s + "\" длиннее 255 символов или не помещается в кодировку cp1251");
    out = std::move(s);
    return true;
  }

  bool Ip(const ordered_json& o, const char* key, std::array<std::uint8_t, 4>& out) {
    if (!o.contains(key)) return true;
    const ordered_json& v = o[key];
    if (!v.is_string() || !IpTextToOctets(v.get<std::string>(), out.data()))
      return Fail(std::string("неверный IP-адрес \"") + key + "\": " + v.dump());
    return true;
  }

  template <std::size_t N>
  bool Bytes(const ordered_json& o, const char* key, std::array<std::uint8_t, N>& out) {
    if (!o.contains(key)) return true;
    const ordered_json& v = o[key];
    std::vector<std::uint8_t> b;
    int nib = -1;
    bool ok = v.is_string();
    for (char ch : ok ? v.get<std::string>() : std::string()) {
      int d = ch >= '0' && ch <= '9' ? ch - '0' : ch >= 'A' && ch <= 'F' ? ch - 'A' + 10 : ch >= 'a' && ch <= 'f' ? ch - 'a' + 10 : -1;
      if (ch == ' ') continue;
      if (d < 0) ok = false;
      else if (nib < 0) nib = d;
      else {
        b.push_back(static_cast<std::uint8_t>(nib * 16 + d));
        nib = -1;
      }
    }
    if (!ok || nib >= 0 || b.size() != N)
      return Fail(std::string("\"") + key + "\" должен быть " + std::to_string(N) + " байтами в шестнадцатеричном виде");
    std::memcpy(out.data(), b.data(), N);
    return true;
  }

  bool Channel(const ordered_json& o, const char* where, TChannel104& c, bool withVersion) {
    if (withVersion) {
      if (!Keys(o, where, {"version", "localIp", "remoteIp", "t0", "reconnect", "t1", "t2", "t3", "k", "w"})) return false;
      if (!Int(o, "version", c.version)) return false;
    } else if (!Keys(o, where, {"localIp", "remoteIp", "t0", "reconnect", "t1", "t2", "t3", "k", "w"})) {
      return false;
    }
    return Ip(o, "localIp", c.localIp) && Ip(o, "remoteIp", c.remoteIp) && Int(o, "t0", c.t0) &&
           Int(o, "reconnect", c.reconnect) && Int(o, "t1", c.t1) && Int(o, "t2", c.t2) && Int(o, "t3", c.t3) &&
           Int(o, "k", c.k) && Int(o, "w", c.w);
  }

  bool Object(const ordered_json& o, TConfigItem& owner) {
    if (!o.is_object() || !o.contains("kind")) return Fail("объект без \"kind\": " + o.dump());
    std::int32_t kind = 0;
    if (!Int(o, "kind", kind)) return false;
    std::unique_ptr<TPProcItem> obj = CreateObject(kind);
    if (!obj) return Fail("неизвестный тип объекта " + std::to_string(kind));
    const char* where = "объект";
    bool ok = true;
    if (auto* m = dynamic_cast<TMultiTSitem*>(obj.get())) {
      ok = Keys(o, where, {"kind", "name", "address", "tick", "flag", "dataLength", "dataMask"}) &&
           Int(o, "dataLength", m->dataLength) && Int(o, "dataMask", m->dataMask);
    } else if (auto* t = dynamic_cast<TTIitem*>(obj.get())) {
      ok = Keys(o, where, {"kind", "name", "address", "tick", "flag", "scale", "offset", "options"}) &&
           Float(o, "scale", t->scale) && Float(o, "offset", t->offset) && Int(o, "options", t->options);
    } else if (auto* u = dynamic_cast<TTUItem*>(obj.get())) {
      ok = Keys(o, where, {"kind", "name", "address", "tick", "flag", "options"}) && Int(o, "options", u->options);
    } else if (auto* r = dynamic_cast<TTRItem*>(obj.get())) {
      ok = Keys(o, where, {"kind", "name", "address", "tick", "flag", "options"}) && Int(o, "options", r->options);
    } else if (auto* f = dynamic_cast<TFileItem*>(obj.get())) {
      ok = Keys(o, where, {"kind", "name", "address", "tick", "flag", "fileId", "delay", "fileName"}) &&
           Int(o, "fileId", f->fileId) && Int(o, "delay", f->delay) && Text(o, "fileName", f->fileName);
    } else if (auto* l = dynamic_cast<TRZAlogitem*>(obj.get())) {
      ok = Keys(o, where, {"kind", "name", "address", "tick", "flag", "element"}) && Bytes(o, "element", l->element);
    } else {
      ok = Keys(o, where, {"kind", "name", "address", "tick", "flag"});
    }
    if (!ok || !Text(o, "name", obj->name) || !Int(o, "address", obj->address) || !Int(o, "tick", obj->tick) ||
        !Int(o, "flag", obj->flag))
      return false;
    owner.AddObject(std::move(obj));
    return true;
  }

  bool Groups(const ordered_json& o, TConfigItem& parent, int depth) {
    if (!o.contains("groups")) return true;
    const ordered_json& list = o["groups"];
    if (!list.is_array()) return Fail("\"groups\" должен быть списком");
    if (depth > kMaxGroupDepth) return Fail("вложенность групп больше " + std::to_string(kMaxGroupDepth));
    for (const auto& gj : list) {
      TGroup* g = parent.AddChild(std::make_unique<TGroup>(3));
      TGroupRecord& r = g->record;
      if (!Keys(gj, "группа", {"name", "alias", "kind", "baseAddress", "commonAddress", "sendType", "askCommand",
                               "askSelector", "askPeriod", "held", "objects", "groups"}) ||
          !Text(gj, "name", g->name) || !Text(gj, "alias", g->alias) || !Int(gj, "kind", r.kind) ||
          !Int(gj, "baseAddress", r.baseAddress) || !Int(gj, "commonAddress", r.commonAddress) ||
          !Int(gj, "sendType", r.sendType) || !Int(gj, "askCommand", r.askCommand) ||
          !Int(gj, "askSelector", r.askSelector) || !Int(gj, "askPeriod", r.askPeriod) || !Bytes(gj, "held", r.held))
        return false;
      if (gj.contains("objects")) {
        if (!gj["objects"].is_array()) return Fail("\"objects\" должен быть списком");
        for (const auto& oj : gj["objects"])
          if (!Object(oj, *g)) return false;
      }
      if (!Groups(gj, *g, depth + 1)) return false;
    }
    return true;
  }

  bool Station(const ordered_json& j, TWS_104& st) {
    if (!Keys(j, "станция", {"name", "alias", "main", "reserve", "settings", "extra", "groups"})) return false;
    if (!Text(j, "name", st.name) || !Text(j, "alias", st.alias)) return false;
    if (j.contains("main") && !Channel(j["main"], "main", st.main, false)) return false;
    if (j.contains("reserve") && !Channel(j["reserve"], "reserve", st.reserve, true)) return false;
    if (j.contains("settings")) {
      const ordered_json& s = j["settings"];
      TStationSettings& g = st.settings;
      if (!Keys(s, "settings", {"commonAddress", "commandsWithTime", "setPointsWithTime", "giInterval", "syncInterval",
                                "noSyncOnConnect", "extraChecksum", "noGiOnConnect", "linkLossDelay", "switchedOff"}) ||
          !Int(s, "commonAddress", g.commonAddress) || !Int(s, "commandsWithTime", g.commandsWithTime) ||
          !Int(s, "setPointsWithTime", g.setPointsWithTime) || !Int(s, "giInterval", g.giInterval) ||
          !Int(s, "syncInterval", g.syncInterval) || !Int(s, "noSyncOnConnect", g.noSyncOnConnect) ||
          !Int(s, "extraChecksum", g.extraChecksum) || !Int(s, "noGiOnConnect", g.noGiOnConnect) ||
          !Int(s, "linkLossDelay", g.linkLossDelay) || !Int(s, "switchedOff", g.switchedOff))
        return false;
    }
    if (j.contains("extra")) {
      const ordered_json& s = j["extra"];
      TStationExtra& e = st.extra;
      if (!Keys(s, "extra", {"mainPort", "held1", "askTimeout", "toReserveAfter", "retryMainEvery", "reservePort", "held2"}) ||
          !Int(s, "mainPort", e.mainPort) || !Int(s, "held1", e.held1) || !Int(s, "askTimeout", e.askTimeout) ||
          !Int(s, "toReserveAfter", e.toReserveAfter) || !Int(s, "retryMainEvery", e.retryMainEvery) ||
          !Int(s, "reservePort", e.reservePort) || !Bytes(s, "held2", e.held2))
        return false;
    }
    return Groups(j, st, 1);
  }
};

}  // namespace

bool StationBlockToJson(const std::uint8_t* v, std::size_t n, ordered_json& out) {
  TWS_104 st;
  TMemStream s(v, n);
  if (!st.ReadFrom(s)) return false;
  ordered_json j;
  j["name"] = st.name;
  if (!st.alias.empty()) j["alias"] = st.alias;
  j["main"] = Channel(st.main, false);
  j["reserve"] = Channel(st.reserve, true);
  const TStationSettings& g = st.settings;
  j["settings"] = {{"commonAddress", g.commonAddress},     {"commandsWithTime", g.commandsWithTime},
                   {"setPointsWithTime", g.setPointsWithTime}, {"giInterval", g.giInterval},
                   {"syncInterval", g.syncInterval},       {"noSyncOnConnect", g.noSyncOnConnect},
                   {"extraChecksum", g.extraChecksum},     {"noGiOnConnect", g.noGiOnConnect},
                   {"linkLossDelay", g.linkLossDelay},     {"switchedOff", g.switchedOff}};
  const TStationExtra& e = st.extra;
  ordered_json x = {{"mainPort", e.mainPort},         {"askTimeout", e.askTimeout},
                    {"toReserveAfter", e.toReserveAfter}, {"retryMainEvery", e.retryMainEvery},
                    {"reservePort", e.reservePort}};
  if (e.held1) x["held1"] = e.held1;
  if (!AllZero(e.held2.data(), e.held2.size())) x["held2"] = Hex(e.held2.data(), e.held2.size());
  j["extra"] = std::move(x);
  if (!Node(st, j)) return false;
  // Older layouts, unused bytes after the block and texts outside cp1251's mapped characters
  // would come back different: such a block stays hex.
  std::vector<std::uint8_t> again;
  if (!StationBlockFromJson(j, again, nullptr) || again.size() != n || std::memcmp(again.data(), v, n) != 0)
    return false;
  out = std::move(j);
  return true;
}

bool StationBlockFromJson(const ordered_json& j, std::vector<std::uint8_t>& out, std::string* error) {
  TFromJson r;
  TWS_104 st;
  st.ClearObjects();  // the built-in objects are not part of the block
  if (!r.Station(j, st)) {
    if (error) *error = "станция: " + r.error;
    return false;
  }
  if (st.SerialisedSize() > kMaxStationBytes) {
    if (error) *error = "станция занимает больше 1 МБ";
    return false;
  }
  out = st.Serialise();
  return true;
}

}  // namespace t32
