#include "iec104/station_xml.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "model/cp1251.h"
#include "model/messages.h"
#include "xml/xml.h"

namespace t32 {

std::string TImportResult::ProblemsMessage(const std::string& path) const {
  if (problems.empty()) return {};
  std::string r = "Файл " + path + ": не приняты или изменены значения:";
  for (const auto& p : problems) r += "\n" + p;
  return r;
}

namespace {

using i128 = __int128;

enum class TParse { kOk, kNotNumber, kRange };

// Decimal with an optional sign, or "$" and hexadecimal digits.
bool ParseInteger(std::string_view s, i128& out) {
  if (s.empty()) return false;
  bool neg = false, hex = false;
  std::size_t i = 0;
  if (s[0] == '$') {
    hex = true;
    i = 1;
  } else if (s[0] == '-' || s[0] == '+') {
    neg = s[0] == '-';
    i = 1;
  }
  if (i >= s.size()) return false;
  i128 v = 0;
  const i128 cap = static_cast<i128>(1) << 100;  // far above any field; stops overflow
  for (; i < s.size(); ++i) {
    char c = s[i];
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (hex && c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (hex && c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else return false;
    if (v < cap) v = v * (hex ? 16 : 10) + d;
  }
  out = neg ? -v : v;
  return true;
}

// "." or "," as the decimal separator, whatever the locale.
bool ParseReal(std::string_view s, double& out) {
  std::string t(s);
  for (char& c : t)
    if (c == ',') c = '.';
  if (t.empty() || t.find_first_not_of("+-0123456789.eE") != std::string::npos) return false;
  const char* b = t.data();
  if (*b == '+') ++b;
  auto [p, ec] = std::from_chars(b, t.data() + t.size(), out);
  return ec == std::errc() && p == t.data() + t.size() && std::isfinite(out);
}

class TImporter {
 public:
  TImporter(TWS_104& st, std::vector<std::string>& problems) : st_(st), problems_(problems) {}

  void Note(TXMLNode el, std::string_view attr, std::string_view value, const std::string& why) {
    std::string v(value);
    if (Utf8Length(v) > 60) v = Utf8Left(v, 60) + "…";
    problems_.push_back("строка " + std::to_string(el.Line()) + ", " + std::string(el.Name()) + " " +
                        std::string(attr) + "=\"" + v + "\": " + why);
  }

  // The attribute's integer within [lo, hi]; nullopt (listed) when absent or unusable.
  std::optional<i128> Integer(TXMLNode el, const char* attr, i128 lo, i128 hi) {
    std::optional<std::string> v = el.Attribute(attr);
    if (!v) return std::nullopt;
    i128 n = 0;
    if (!ParseInteger(*v, n)) {
      Note(el, attr, *v, "не число");
      return std::nullopt;
    }
    if (n < lo || n > hi) {
      Note(el, attr, *v, "вне диапазона " + std::to_string(static_cast<long long>(lo)) + ".." +
                             std::to_string(static_cast<unsigned long long>(hi)));
      return std::nullopt;
    }
    return n;
  }

  template <class T> void Int(TXMLNode el, const char* attr, T& field, TRange r) {
    if (auto n = Integer(el, attr, r.min, r.max)) field = static_cast<T>(*n);
  }

  void Real(TXMLNode el, const char* attr, float& field) {
    std::optional<float> f = RealValue(el, attr);
    if (f) field = *f;
  }

  std::optional<float> RealValue(TXMLNode el, const char* attr) {
    std::optional<std::string> v = el.Attribute(attr);
    if (!v) return std::nullopt;
    double d = 0;
    if (!ParseReal(*v, d)) {
      Note(el, attr, *v, "не число");
      return std::nullopt;
    }
    if (std::fabs(d) > FLT_MAX) {
      Note(el, attr, *v, "вне диапазона чисел с плавающей точкой");
      return std::nullopt;
    }
    return static_cast<float>(d);
  }

  // "0"/"1" or "false"/"true"; `inverse` for settings stored as "no ...".
  void Flag(TXMLNode el, const char* attr, std::uint8_t& field, bool inverse) {
    std::optional<std::string> v = el.Attribute(attr);
    if (!v) return;
    std::string low = *v;
    for (char& c : low)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    bool on;
    if (low == "1" || low == "true") on = true;
    else if (low == "0" || low == "false") on = false;
    else {
      Note(el, attr, *v, "ожидается 0, 1, false или true");
      return;
    }
    field = (on != inverse) ? 1 : 0;
  }

  void Ip(TXMLNode el, const char* attr, std::array<std::uint8_t, 4>& field) {
    std::optional<std::string> v = el.Attribute(attr);
    if (!v) return;
    std::array<std::uint8_t, 4> r{};
    std::string_view rest = *v;
    for (int i = 0; i < 4; ++i) {
      std::size_t dot = i < 3 ? rest.find('.') : rest.size();
      if (dot == std::string_view::npos || (i == 3 && rest.find('.') != std::string_view::npos)) {
        Note(el, attr, *v, "ожидается IP-адрес из четырёх чисел через точку");
        return;
      }
      std::string_view part = rest.substr(0, dot);
      while (!part.empty() && (part.front() == ' ' || part.front() == '\t')) part.remove_prefix(1);
      while (!part.empty() && (part.back() == ' ' || part.back() == '\t')) part.remove_suffix(1);
      bool digits = !part.empty() && part.find_first_not_of("0123456789") == std::string_view::npos;
      if (!digits) {
        Note(el, attr, *v, "ожидается IP-адрес из четырёх чисел через точку");
        return;
      }
      i128 n = 0;
      ParseInteger(part, n);
      if (n > 255) {
        Note(el, attr, *v, "часть адреса вне диапазона 0..255");
        return;
      }
      r[i] = static_cast<std::uint8_t>(n);
      rest.remove_prefix(i < 3 ? dot + 1 : dot);
    }
    field = r;
  }

  // A text as the station holds it; changes are listed.
  std::optional<std::string> Text(TXMLNode el, const char* attr) {
    std::optional<std::string> v = el.Attribute(attr);
    if (!v) return std::nullopt;
    if (StationTextFits(*v)) return v;
    bool replaced = false, cut = false;
    std::string t = FitStationText(*v, &replaced, &cut);
    if (replaced) Note(el, attr, *v, "символы, которых нет в кодировке windows-1251, заменены на «?»");
    if (cut) Note(el, attr, *v, "текст длиннее 255 символов обрезан");
    return t;
  }

  void SetText(TXMLNode el, const char* attr, std::string& field) {
    if (auto t = Text(el, attr)) field = std::move(*t);
  }

  void Station(TXMLNode ws) {
    TStationSettings& g = st_.settings;
    TStationExtra& e = st_.extra;
    SetText(ws, "name", st_.name);
    Int(ws, "ASDUaddr", g.commonAddress, range104::kCommonAddress);
    if (TXMLNode c = ws.FindElement("Common")) {
      Int(c, "BreakTO", g.linkLossDelay, range104::kTime);
      Int(c, "ResvChannelTO", e.toReserveAfter, range104::kTime);
      Int(c, "CheckBaseChannelInterval", e.retryMainEvery, range104::kTime);
      Int(c, "AskInterval", g.giInterval, range104::kTime);
      Int(c, "AskTO", e.askTimeout, range104::kTime);
      Int(c, "SyncInterval", g.syncInterval, range104::kTime);
      Flag(c, "AskOnConnect", g.noGiOnConnect, true);
      Flag(c, "SyncOnConnect", g.noSyncOnConnect, true);
      Flag(c, "ExtraCS", g.extraChecksum, false);
    }
    if (TXMLNode c = ws.FindElement("BaseChannel")) Channel(c, st_.main, e.mainPort);
    if (TXMLNode c = ws.FindElement("ResvChannel")) Channel(c, st_.reserve, e.reservePort);
    if (TXMLNode c = ws.FindElement("Control")) {
      Flag(c, "TUwithTimeTag", g.commandsWithTime, false);
      Flag(c, "TRwithTimeTag", g.setPointsWithTime, false);
    }
  }

  void Channel(TXMLNode c, TChannel104& ch, std::uint16_t& port) {
    Ip(c, "LocalIP", ch.localIp);
    Ip(c, "RemoteIP", ch.remoteIp);
    Int(c, "Port", port, range104::kU16);
    Int(c, "ReconnectInterval", ch.reconnect, range104::kTime);
    Int(c, "t0", ch.t0, range104::kTime);
    Int(c, "t1", ch.t1, range104::kTime);
    Int(c, "t2", ch.t2, range104::kTime);
    Int(c, "t3", ch.t3, range104::kTime);
    Int(c, "k", ch.k, range104::kWindow);
    Int(c, "w", ch.w, range104::kWindow);
  }

  // Groups depth-first with an explicit stack. False when they nest deeper than allowed.
  bool Groups(TXMLNode ws) {
    struct Pending {
      TXMLNode el;
      TConfigItem* parent;
      int depth;
    };
    std::vector<Pending> stack;
    auto pushGroups = [&](TXMLNode el, TConfigItem* parent, int depth) {
      std::size_t first = stack.size();
      for (TXMLNode c = el.FirstChild(); c; c = c.NextSibling())
        if (c.Name() == "Group") stack.push_back({c, parent, depth});
      std::reverse(stack.begin() + static_cast<std::ptrdiff_t>(first), stack.end());
    };
    pushGroups(ws, &st_, 1);
    while (!stack.empty()) {
      Pending p = stack.back();
      stack.pop_back();
      if (p.depth > kMaxGroupDepth) return false;
      std::optional<std::string> name = Text(p.el, "name");
      if (!name) {
        problems_.push_back("строка " + std::to_string(p.el.Line()) + ", Group: нет атрибута name, группа пропущена");
        continue;
      }
      TGroup* g = FindGroup(*p.parent, *name);
      if (!g) {
        g = p.parent->AddChild(std::make_unique<TGroup>(3));
        g->name = *name;
        groups_[p.parent].emplace(*name, g);
      }
      Group(p.el, *g);
      pushGroups(p.el, g, p.depth + 1);
    }
    return true;
  }

  void Group(TXMLNode el, TGroup& g) {
    TGroupRecord& r = g.record;
    SetText(el, "alias", g.alias);
    if (std::optional<std::string> t = el.Attribute("type")) {
      std::int32_t kind = KindByShortName(*t);
      // An unknown kind keeps the group's objects usable: the kind stays as it was.
      if (!kind) Note(el, "type", *t, "неизвестный тип, оставлен прежний");
      else g.SetKind(kind);
    }
    Int(el, "ASDUaddr", r.commonAddress, range104::kCommonAddress);
    Int(el, "Baseaddr", r.baseAddress, range104::kAddress);
    if (std::optional<std::string> v = el.Attribute("AskType")) {
      i128 n = -1;
      bool num = ParseInteger(*v, n);
      if (n == 0 || n == 100) r.askCommand = 0;
      else if (n == 1 || n == 101) r.askCommand = 1;
      else Note(el, "AskType", *v, num ? "ожидается 100 или 101" : "не число");
    }
    Int(el, "AskSelector", r.askSelector, TRange{0, AskSelectorCount(r.askCommand) - 1});
    Int(el, "AskPeriod", r.askPeriod, range104::kU16);
    if (std::optional<std::string> v = el.Attribute("sendtype")) {
      std::int32_t code = SendTypeByName(*v);
      i128 n = 0;
      if (!code && ParseInteger(*v, n) && n >= 0 && n <= 255 && SendTypeName(static_cast<std::int32_t>(n))[0])
        code = static_cast<std::int32_t>(n);
      if (code) r.sendType = code;
      else Note(el, "sendtype", *v, "неизвестный тип ASDU");
    }
    bool hasItems = false;
    for (TXMLNode c = el.FirstChild(); c; c = c.NextSibling())
      if (c.Name() == "Item") hasItems = true;
    if (!hasItems) return;
    if (!KindInfo(r.kind)) {
      problems_.push_back("строка " + std::to_string(el.Line()) + ", Group name=\"" + g.name +
                          "\": у группы не задан тип, её элементы Item пропущены");
      return;
    }
    // Views of the objects' own names: objects stay where they are while the group fills.
    std::unordered_set<std::string_view> used;
    for (const auto& o : g.Objects()) used.insert(o->name);
    for (TXMLNode c = el.FirstChild(); c; c = c.NextSibling()) {
      if (c.Name() != "Item") continue;
      std::optional<std::string> name = Text(c, "name");
      if (!name) {
        problems_.push_back("строка " + std::to_string(c.Line()) + ", Item: нет атрибута name, объект пропущен");
        continue;
      }
      if (used.count(*name)) continue;
      std::unique_ptr<TPProcItem> o = CreateObject(r.kind);
      o->name = std::move(*name);
      Item(c, *o);
      used.insert(g.AddObject(std::move(o))->name);
    }
  }

  void Item(TXMLNode el, TPProcItem& o) {
    Int(el, "address", o.address, range104::kAddress);
    switch (o.Family()) {
      case TFamily::kMeasure: {
        auto& t = static_cast<TTIitem&>(o);
        Real(el, "scale", t.scale);
        Real(el, "offset", t.offset);
        Int(el, "options", t.options, range104::kU32);
        break;
      }
      case TFamily::kMultiTS: {
        auto& t = static_cast<TMultiTSitem&>(o);
        Int(el, "datalen", t.dataLength, range104::kDataBits);
        Int(el, "datamask", t.dataMask, range104::kU32);
        break;
      }
      case TFamily::kCommand:
        Int(el, "options", static_cast<TTUItem&>(o).options, TRange{0, static_cast<long long>(kCommandQualifiers.size()) - 1});
        break;
      case TFamily::kSetPoint:
        Int(el, "options", static_cast<TTRItem&>(o).options, TRange{0, static_cast<long long>(kSetPointFormats.size()) - 1});
        break;
      case TFamily::kFile: {
        auto& t = static_cast<TFileItem&>(o);
        SetText(el, "filename", t.fileName);
        Int(el, "fileID", t.fileId, range104::kU16);
        Int(el, "delay", t.delay, range104::kU16);
        break;
      }
      case TFamily::kLog: {
        auto& t = static_cast<TRZAlogitem&>(o);
        if (auto n = Integer(el, "size", range104::kLogSize.min, range104::kLogSize.max)) t.SetSize(static_cast<int>(*n));
        if (auto n = Integer(el, "type", 0, static_cast<long long>(kLogDataTypes.size()) - 1))
          t.SetDataType(static_cast<int>(*n));
        if (auto f = RealValue(el, "scale")) t.SetScale(*f);
        if (auto f = RealValue(el, "offset")) t.SetOffset(*f);
        // The mask is read last and fills the whole 64-bit value field.
        if (auto n = Integer(el, "mask", 0, (static_cast<i128>(1) << 64) - 1)) t.SetMask(static_cast<std::uint64_t>(*n));
        break;
      }
      case TFamily::kPlain: break;
    }
  }

 private:
  // The first child group of that exact name. Children are indexed on first use, so files
  // with many sibling groups import in linear time.
  TGroup* FindGroup(TConfigItem& parent, const std::string& name) {
    auto [it, fresh] = groups_.try_emplace(&parent);
    if (fresh)
      for (const auto& c : parent.Children()) it->second.emplace(c->name, c.get());
    auto g = it->second.find(name);
    return g == it->second.end() ? nullptr : g->second;
  }

  TWS_104& st_;
  std::vector<std::string>& problems_;
  std::unordered_map<const TConfigItem*, std::unordered_map<std::string, TGroup*>> groups_;
};

}  // namespace

TImportResult ImportXml(TWS_104& station, std::string_view bytes, const std::string& path) {
  TImportResult res;
  auto fail = [&](std::string text) {
    res.error = std::move(text);
    if (station.messages) station.messages->ShowError(res.error);
    return res;
  };
  TXMLDocument doc;
  if (!doc.Parse(bytes)) {
    const TXMLError& e = doc.Error();
    char place[64];
    std::snprintf(place, sizeof place, ", строка %d, позиция %d: ", e.line > 0 ? e.line : 1,
                  e.column > 0 ? e.column : 1);
    return fail("Ошибка в XML-файле " + path + place + e.description);
  }
  TXMLNode ws = doc.Root().FindElement("WS_IEC_870_5_104");
  if (!ws) return fail("В файле " + path + " нет элемента WS_IEC_870_5_104");
  // Work on a copy, so that a refused import leaves the station as it was.
  std::unique_ptr<TWS_104> work = station.DeepCopy();
  TImporter imp(*work, res.problems);
  imp.Station(ws);
  if (!imp.Groups(ws)) {
    res.problems.clear();
    return fail("В файле " + path + " группы вложены глубже " + std::to_string(kMaxGroupDepth) +
                " уровней: импорт отменён");
  }
  if (work->SerialisedSize() > kMaxStationBytes) {
    res.problems.clear();
    return fail(kStationTooLarge);
  }
  station.TakeFrom(*work);
  res.ok = true;
  if (station.messages && !res.problems.empty()) station.messages->ShowError(res.ProblemsMessage(path));
  return res;
}

}  // namespace t32
