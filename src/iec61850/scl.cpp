// SCL reader: one IED of the file becomes the client's model. Every element and attribute
// name is compared without regard to case, and attribute values are trimmed (the XML reader
// does both).
#include "iec61850/scl.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <unordered_map>

#include "iec61850/modelstream.h"
#include "model/fileio.h"
#include "model/messages.h"
#include "xml/xml.h"

namespace t32 {

namespace {

// Types nest no deeper than this (a cycle is cut at the same place).
constexpr int kMaxTypeDepth = 16;
constexpr int kMaxReportInstances = 99;

struct TAttr {
  const char* name;
  std::uint8_t tag;
};
constexpr TAttr kUnbufferedAttrs[] = {{"RptID", 10}, {"RptEna", 3}, {"Resv", 3},    {"DatSet", 10},
                                      {"ConfRev", 6}, {"OptFlds", 4}, {"BufTm", 6}, {"SqNum", 6},
                                      {"TrgOps", 4},  {"IntgPd", 6},  {"GI", 3},    {"Owner", 9}};
constexpr TAttr kBufferedAttrs[] = {{"RptID", 10},  {"RptEna", 3},    {"DatSet", 10},  {"ConfRev", 6},
                                    {"OptFlds", 4}, {"BufTm", 6},     {"SqNum", 6},    {"TrgOps", 4},
                                    {"IntgPd", 6},  {"GI", 3},        {"PurgeBuff", 3}, {"EntryID", 9},
                                    {"TimeOfEntry", 12}, {"ResvTms", 5}, {"Owner", 9}};
constexpr TAttr kGooseAttrs[] = {{"GoEna", 3},  {"GoID", 10},  {"DatSet", 10}, {"ConfRev", 6}, {"NdsCom", 3},
                                 {"DstAddress", 2}, {"DstAddress$Addr", 9}, {"DstAddress$PRIORITY", 6},
                                 {"DstAddress$VID", 6}, {"DstAddress$APPID", 6}, {"MinTime", 6},
                                 {"MaxTime", 6}, {"FixedOffs", 3}};
constexpr TAttr kSettingAttrs[] = {{"NumOfSG", 6}, {"ActSG", 6}, {"EditSG", 10},
                                   {"CnfEdit", 3}, {"LActTm", 17}, {"ResvTms", 6}};

// Basic types. Tcmd is a bit string and Unicode255 an MMS string on the wire; Check,
// ObjRef and EntryID are basic types of their own in current editions.
constexpr TAttr kBasicTypes[] = {
    {"BOOLEAN", 3},     {"INT8", 5},         {"INT16", 5},        {"INT24", 5},        {"INT32", 5},
    {"INT64", 5},       {"INT128", 9},       {"Dbpos", 4},        {"Unicode255", 16},  {"INT8U", 6},
    {"INT16U", 6},      {"INT24U", 6},       {"INT32U", 6},       {"FLOAT32", 7},      {"FLOAT64", 7},
    {"Enum", 5},        {"Struct", 2},       {"Tcmd", 4},         {"Quality", 4},      {"Timestamp", 17},
    {"VisString32", 10}, {"VisString64", 10}, {"VisString255", 10}, {"Octet64", 9},    {"EntryTime", 12},
    {"Check", 4},       {"ObjRef", 10},      {"EntryID", 9}};

bool Same(std::string_view a, std::string_view b) { return XmlNameEquals(a, b); }

std::string Attr(const TXMLNode& n, std::string_view name) { return n.Attribute(name).value_or(std::string()); }

template <class F> void ForChildren(const TXMLNode& n, std::string_view name, F f) {
  for (TXMLNode c = n.FirstChild(); c; c = c.NextSibling())
    if (Same(c.Name(), name)) f(c);
}

// A section of the file: a child of the root as the schema puts it, anywhere else failing that
// (a search of the whole document is the slow path on large SCD files).
TXMLNode Section(const TXMLNode& root, std::string_view name) {
  for (TXMLNode c = root.FirstChild(); c; c = c.NextSibling())
    if (Same(c.Name(), name)) return c;
  return root.FindElement(name);
}

std::string Dollars(std::string s) {
  for (char& c : s)
    if (c == '.') c = '$';
  return s;
}

std::string Indexed(const std::string& name, int i) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%2.2d", i);
  return name + buf;
}

// Hexadecimal digits of a text with blanks skipped; false when anything else is there or
// the number does not fit 32 bits.
bool HexNumber(std::string_view text, std::uint32_t& out) {
  std::uint64_t v = 0;
  int digits = 0;
  for (char c : text) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    v = v * 16 + static_cast<std::uint64_t>(std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                                                                                      : std::tolower(c) - 'a' + 10);
    if (++digits > 8 && v > 0xFFFFFFFFu) return false;
  }
  if (!digits) return false;
  out = static_cast<std::uint32_t>(v);
  return true;
}

bool DecimalNumber(std::string_view text, std::int32_t& out) {
  std::int64_t v = 0;
  bool any = false;
  for (char c : text) {
    if (c == ' ') continue;
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
    if (v > 0x7FFFFFFF) return false;
    any = true;
  }
  if (!any) return false;
  out = static_cast<std::int32_t>(v);
  return true;
}

// "1.3.9999.33", "1,3,9999,33" or "1 3 9999 33".
TOidArcs ApTitle(std::string_view text) {
  std::string dotted;
  bool gap = false;
  for (char c : text) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      gap = true;
      continue;
    }
    if (gap && !dotted.empty() && dotted.back() != '.' && dotted.back() != ',' && c != '.' && c != ',') dotted += '.';
    gap = false;
    dotted += c;
  }
  return StringToOid(dotted);
}

class TSclReader {
 public:
  TSclReader(TMMSobject& client, const TXMLNode& scl, const TXMLNode& ied, const TXMLNode& templates)
      : client_(client), dict_(client.Dictionary()), scl_(scl), ied_(ied), templates_(templates) {}

  void Run() {
    iedName_ = Attr(ied_, "name");
    IndexTemplates();
    root_ = std::make_unique<TMMSvar>(dict_.Add("VMD"), nullptr);
    TXMLNode server = ied_.FindElement("Server");
    ForChildren(server, "LDevice", [&](const TXMLNode& ld) {
      std::string ldName = Attr(ld, "ldName");
      std::string domain = ldName.empty() ? iedName_ + Attr(ld, "inst") : ldName;
      domainOfInst_[Attr(ld, "inst")] = domain;
      lds_.emplace_back(ld, domain);
    });
    BuildTree();
    BuildDataSets();
    BuildReportsAndGoose();
    ReadAddresses();
    client_.AdoptModel(std::move(root_), std::move(dataSets_), std::move(reports_), std::move(gcbs_));
  }

 private:
  using TPaths = std::vector<std::pair<std::string, std::uint8_t>>;

  void IndexTemplates() {
    for (TXMLNode t = templates_.FirstChild(); t; t = t.NextSibling()) {
      std::string id = Attr(t, "id");
      if (id.empty()) continue;
      if (Same(t.Name(), "LNodeType")) lnTypes_.emplace(id, t);
      else if (Same(t.Name(), "DOType")) doTypes_.emplace(id, t);
      else if (Same(t.Name(), "DAType")) daTypes_.emplace(id, t);
    }
  }

  static TXMLNode Find(const std::unordered_map<std::string, TXMLNode>& m, const std::string& id) {
    auto it = m.find(id);
    return it == m.end() ? TXMLNode() : it->second;
  }

  // A DA or BDA: its own tag, or for a structure the members of its DAType.
  void AddAttribute(const TXMLNode& da, const std::string& path, TPaths& out, std::vector<std::string>& chain) {
    if (!pathBudget_) return;
    std::string btype = Attr(da, "bType");
    if (!Same(btype, "Struct")) {
      out.emplace_back(path, static_cast<std::uint8_t>(SclTypeTag(btype)));
      --pathBudget_;
      return;
    }
    std::string type = Attr(da, "type");
    TXMLNode dat = Find(daTypes_, type);
    if (!dat || chain.size() >= kMaxTypeDepth || std::find(chain.begin(), chain.end(), type) != chain.end()) return;
    chain.push_back(type);
    for (TXMLNode b = dat.FirstChild(); b; b = b.NextSibling()) {
      std::string name = Attr(b, "name");
      if (name.empty() || !b.Attribute("bType")) continue;
      AddAttribute(b, path + "$" + name, out, chain);
    }
    chain.pop_back();
  }

  void AddDataObject(const std::string& doPath, const std::string& type, TPaths& out, std::vector<std::string>& chain) {
    TXMLNode dot = Find(doTypes_, type);
    if (!dot || !pathBudget_ || chain.size() >= kMaxTypeDepth || std::find(chain.begin(), chain.end(), type) != chain.end()) return;
    chain.push_back(type);
    for (TXMLNode c = dot.FirstChild(); c; c = c.NextSibling()) {
      std::string name = Attr(c, "name");
      if (name.empty()) continue;
      if (Same(c.Name(), "DA")) {
        std::string fc = Attr(c, "fc");
        if (fc.size() != 2) continue;
        AddAttribute(c, fc + "$" + doPath + "$" + name, out, chain);
      } else if (Same(c.Name(), "SDO")) {
        AddDataObject(doPath + "$" + name, Attr(c, "type"), out, chain);
      }
    }
    chain.pop_back();
  }

  // Data paths of a logical node type, built once per type.
  const TPaths& TypePaths(const std::string& lnType) {
    auto it = typePaths_.find(lnType);
    if (it != typePaths_.end()) return it->second;
    TPaths& out = typePaths_[lnType];
    TXMLNode lnt = Find(lnTypes_, lnType);
    std::vector<std::string> chain;
    ForChildren(lnt, "DO", [&](const TXMLNode& d) {
      std::string name = Attr(d, "name");
      if (!name.empty()) AddDataObject(name, Attr(d, "type"), out, chain);
    });
    return out;
  }

  void AddBlock(TPaths& out, const std::string& prefix, const TAttr* attrs, std::size_t n) {
    for (std::size_t i = 0; i < n && pathBudget_; ++i, --pathBudget_) out.emplace_back(prefix + attrs[i].name, attrs[i].tag);
  }

  static int Instances(const TXMLNode& rc) {
    int max = 1;
    if (TXMLNode en = rc.FindElement("RptEnabled"); en && en != rc) {
      std::int32_t v;
      if (DecimalNumber(Attr(en, "max"), v)) max = v;
    }
    return std::clamp(max, 1, kMaxReportInstances);
  }
  static bool IsIndexed(const TXMLNode& rc) { return !Same(Attr(rc, "indexed"), "false"); }
  static std::vector<std::string> BlockNames(const TXMLNode& rc) {
    std::string name = Attr(rc, "name");
    if (!IsIndexed(rc)) return {name};
    std::vector<std::string> names;
    for (int i = 1, n = Instances(rc); i <= n; ++i) names.push_back(Indexed(name, i));
    return names;
  }
  static std::string LnName(const TXMLNode& ln) {
    return Attr(ln, "prefix") + Attr(ln, "lnClass") + Attr(ln, "inst");
  }
  template <class F> void ForLogicalNodes(const TXMLNode& ld, F f) {
    for (TXMLNode ln = ld.FirstChild(); ln; ln = ln.NextSibling())
      if (Same(ln.Name(), "LN0") || Same(ln.Name(), "LN")) f(ln);
  }

  TMMSvar* Insert(TMMSvar* at, const std::string& path, std::uint8_t tag) {
    std::size_t i = 0;
    while (i <= path.size()) {
      std::size_t j = path.find('$', i);
      if (j == std::string::npos) j = path.size();
      std::string_view part(path.data() + i, j - i);
      if (part.empty() || part.size() > 64) return nullptr;
      std::uint32_t idx = dict_.Add(part);
      TMMSvar* next = at->FindChild(idx);
      if (!next) {
        if (nodes_ >= TMMSobject::kMaxModelNodes) return nullptr;
        next = at->AddChild(idx);
        AssignFC(*next, dict_);
        ++nodes_;
        // Components above the last are structures on the wire.
        next->Type = kMmsStructure;
      }
      at = next;
      i = j + 1;
    }
    at->Type = tag;
    if (tag == kMmsFloat) at->Size = 32;
    return at;
  }

  void BuildTree() {
    for (auto& entry : lds_) {
      const TXMLNode& ld = entry.first;
      const std::string& domain = entry.second;
      if (domain.empty() || domain.size() > 64) continue;
      TMMSvar* dom = root_->FindChild(dict_.Add(domain));
      if (!dom) {
        if (nodes_ >= TMMSobject::kMaxModelNodes) return;
        dom = root_->AddChild(dict_.Add(domain));
        ++nodes_;
      }
      dom->Domain = true;
      dom->Type = kMmsStructure;
      ForLogicalNodes(ld, [&](const TXMLNode& ln) {
        std::string lnName = LnName(ln);
        if (lnName.empty() || lnName.size() > 64) return;
        TMMSvar* node = dom->FindChild(dict_.Add(lnName));
        if (!node) {
          if (nodes_ >= TMMSobject::kMaxModelNodes) return;
          node = dom->AddChild(dict_.Add(lnName));
          ++nodes_;
        }
        node->Type = kMmsStructure;
        if (TXMLNode sg = ln.FindElement("SGCB"); sg && sg != ln) return;
        const TPaths& data = TypePaths(Attr(ln, "lnType"));
        TPaths paths;
        for (TXMLNode c = ln.FirstChild(); c; c = c.NextSibling()) {
          if (Same(c.Name(), "SettingControl")) {
            std::string name = Attr(c, "name");
            AddBlock(paths, "SP$" + (name.empty() ? std::string("SGCB") : name) + "$", kSettingAttrs,
                     std::size(kSettingAttrs));
          } else if (Same(c.Name(), "ReportControl")) {
            bool buffered = Same(Attr(c, "buffered"), "true");
            for (const std::string& b : BlockNames(c)) {
              if (buffered) AddBlock(paths, "BR$" + b + "$", kBufferedAttrs, std::size(kBufferedAttrs));
              else AddBlock(paths, "RP$" + b + "$", kUnbufferedAttrs, std::size(kUnbufferedAttrs));
            }
          } else if (Same(c.Name(), "GSEControl")) {
            AddBlock(paths, "GO$" + Attr(c, "name") + "$", kGooseAttrs, std::size(kGooseAttrs));
          }
        }
        for (const TPaths* list : {&data, static_cast<const TPaths*>(&paths)})
          for (const auto& [path, tag] : *list) {
            if (nodes_ >= TMMSobject::kMaxModelNodes) return;
            Insert(node, path, tag);
          }
      });
    }
  }

  TMMSvar* Lookup(const std::string& domain, const std::string& item) {
    std::int64_t di = dict_.Find(domain);
    TMMSvar* at = di >= 0 ? root_->FindChild(static_cast<std::uint32_t>(di)) : nullptr;
    std::size_t i = 0;
    while (at && i <= item.size()) {
      std::size_t j = item.find('$', i);
      if (j == std::string::npos) j = item.size();
      std::int64_t idx = dict_.Find(std::string_view(item).substr(i, j - i));
      at = idx >= 0 ? at->FindChild(static_cast<std::uint32_t>(idx)) : nullptr;
      i = j + 1;
    }
    return at;
  }

  void BuildDataSets() {
    for (auto& entry : lds_) {
      const TXMLNode& ld = entry.first;
      const std::string& domain = entry.second;
      ForLogicalNodes(ld, [&](const TXMLNode& ln) {
        ForChildren(ln, "DataSet", [&](const TXMLNode& dsx) {
          auto ds = std::make_unique<TDataSet>();
          ds->Name = LnName(ln) + "$" + Attr(dsx, "name");
          ds->Domain = domain;
          ForChildren(dsx, "FCDA", [&](const TXMLNode& f) {
            std::string ldInst = Attr(f, "ldInst");
            auto d = domainOfInst_.find(ldInst);
            std::string mdomain = d != domainOfInst_.end() ? d->second : iedName_ + ldInst;
            std::string item = Attr(f, "prefix") + Attr(f, "lnClass") + Attr(f, "lnInst") + "$" + Attr(f, "fc") + "$" +
                               Dollars(Attr(f, "doName"));
            std::string da = Attr(f, "daName");
            if (!da.empty()) item += "$" + Dollars(da);
            if (TMMSvar* v = Lookup(mdomain, item)) {
              if (std::find(ds->Members.begin(), ds->Members.end(), v) != ds->Members.end()) return;
              ds->Members.push_back(v);
              ds->MemberNames.push_back(mdomain + "/" + item);
            }
          });
          dataSets_.push_back(std::move(ds));
        });
      });
    }
  }

  void BuildReportsAndGoose() {
    for (auto& entry : lds_) {
      const TXMLNode& ld = entry.first;
      const std::string& domain = entry.second;
      ForLogicalNodes(ld, [&](const TXMLNode& ln) {
        std::string lnName = LnName(ln);
        ForChildren(ln, "ReportControl", [&](const TXMLNode& rc) {
          bool buffered = Same(Attr(rc, "buffered"), "true");
          std::string set = Attr(rc, "datSet");
          for (const std::string& b : BlockNames(rc)) {
            TMMSReportParam* r = reports_.Add();
            r->RptID = b.substr(0, 64);
            if (!set.empty()) r->DatSet = (domain + "/" + lnName + "$" + set).substr(0, 64);
            r->Buffered = buffered;
            std::int32_t v;
            if (DecimalNumber(Attr(rc, "intgPd"), v)) r->IntgPd = v;
            if (DecimalNumber(Attr(rc, "bufTime"), v)) r->BufTm = v;
          }
        });
        ForChildren(ln, "GSEControl", [&](const TXMLNode& gc) {
          TGCBObject* g = gcbs_.Add();
          g->Name = Attr(gc, "name").substr(0, 64);
          g->Reference = domain + "/" + lnName + "$GO$" + g->Name;
          g->GoID = Attr(gc, "appID").substr(0, 64);
          if (g->GoID.empty()) g->GoID = g->Reference.substr(0, 64);
          std::string set = Attr(gc, "datSet");
          if (!set.empty()) g->DatSet = (domain + "/" + lnName + "$" + set).substr(0, 64);
          for (auto& ds : dataSets_)
            if (ds->Domain + "/" + ds->Name == g->DatSet) g->DataSet = ds.get();
          gcbDomains_.push_back(domain);
        });
      });
    }
  }

  void ReadAddresses() {
    // The access point of the IED's server when the IED has several, else its first one.
    TXMLNode ap, any;
    TXMLNode server = ied_.FindElement("Server");
    std::string apName = server && server.Parent() ? Attr(server.Parent(), "name") : std::string();
    if (TXMLNode comm = Section(scl_, "Communication"))
      for (TXMLNode sub = comm.FirstChild(); sub && !ap; sub = sub.NextSibling())
        ForChildren(sub, "ConnectedAP", [&](const TXMLNode& c) {
          if (ap || !Same(Attr(c, "iedName"), iedName_)) return;
          if (!any) any = c;
          if (!apName.empty() && Same(Attr(c, "apName"), apName)) ap = c;
        });
    if (!ap) ap = any;
    if (!ap) return;
    ForChildren(ap, "Address", [&](const TXMLNode& addr) {
      ForChildren(addr, "P", [&](const TXMLNode& p) {
        std::string type = Attr(p, "type");
        std::string text = p.Text();
        std::uint32_t hex = 1;
        std::int32_t dec;
        if (Same(type, "OSI-AP-Title")) {
          client_.Acse.CalledAPTitle = ApTitle(text);
        } else if (Same(type, "OSI-AE-Qualifier")) {
          if (DecimalNumber(text, dec)) client_.Acse.CalledAEQualifier = dec;
        } else if (Same(type, "OSI-PSEL")) {
          client_.CalledPSEL = HexNumber(text, hex) ? hex : 1;
        } else if (Same(type, "OSI-SSEL")) {
          client_.CalledSSEL = static_cast<std::uint16_t>(HexNumber(text, hex) && hex <= 0xFFFF ? hex : 1);
        } else if (Same(type, "OSI-TSEL")) {
          client_.CalledTSAP = static_cast<std::uint16_t>(HexNumber(text, hex) && hex <= 0xFFFF ? hex : 1);
        }
      });
    });
    ForChildren(ap, "GSE", [&](const TXMLNode& gse) {
      std::string cb = Attr(gse, "cbName");
      std::string ldInst = Attr(gse, "ldInst");
      auto d = domainOfInst_.find(ldInst);
      for (std::size_t i = 0; i < gcbs_.Items.size(); ++i) {
        TGCBObject& g = *gcbs_.Items[i];
        if (!Same(g.Name, cb)) continue;
        if (!ldInst.empty() && d != domainOfInst_.end() && gcbDomains_[i] != d->second) continue;
        TXMLNode addr = gse.FindElement("Address");
        if (!addr) break;
        ForChildren(addr, "P", [&](const TXMLNode& p) {
          std::string type = Attr(p, "type");
          std::string text = p.Text();
          std::uint32_t v = 0;
          bool ok = HexNumber(text, v);
          if (Same(type, "VLAN-ID")) g.VID = ok ? static_cast<std::int32_t>(v) : 0;
          else if (Same(type, "VLAN-PRIORITY")) g.Priority = ok ? static_cast<std::int32_t>(v) : 0;
          else if (Same(type, "APPID")) g.APPID = ok ? static_cast<std::int32_t>(v) : 0;
          else if (Same(type, "MAC-Address")) {
            std::string digits;
            for (char c : text)
              if (std::isxdigit(static_cast<unsigned char>(c))) digits += c;
            g.Mac = {};
            for (std::size_t k = 0; k < 6 && 2 * k + 1 < digits.size(); ++k)
              g.Mac[k] = static_cast<std::uint8_t>(std::stoul(digits.substr(2 * k, 2), nullptr, 16));
          }
        });
        break;
      }
    });
  }

  TMMSobject& client_;
  TStrDictionary& dict_;
  TXMLNode scl_, ied_, templates_;
  std::string iedName_;
  std::unordered_map<std::string, TXMLNode> lnTypes_, doTypes_, daTypes_;
  std::unordered_map<std::string, TPaths> typePaths_;
  std::unordered_map<std::string, std::string> domainOfInst_;
  std::vector<std::pair<TXMLNode, std::string>> lds_;
  std::unique_ptr<TMMSvar> root_;
  std::size_t nodes_ = 1;
  // Paths the type expansion may still produce: types that fan out at every level would
  // otherwise multiply without end before a single node is made.
  std::size_t pathBudget_ = TMMSobject::kMaxModelNodes;
  std::vector<std::unique_ptr<TDataSet>> dataSets_;
  TMMSReportList reports_;
  TGCBList gcbs_;
  std::vector<std::string> gcbDomains_;  // domain of each GOOSE block, in order
};

void Say(TMessages* msgs, const std::string& text) {
  if (msgs) msgs->ShowError(text);
}

// The IEDs of the file: children of the root first, anywhere else when the root has none.
std::vector<TXMLNode> Ieds(const TXMLNode& root) {
  std::vector<TXMLNode> out;
  ForChildren(root, "IED", [&](const TXMLNode& n) { out.push_back(n); });
  if (out.empty())
    if (TXMLNode n = root.FindElement("IED")) out.push_back(n);
  return out;
}

bool ReadFile(const std::string& path, std::string& bytes, TMessages* msgs) {
  if (!ReadWholeFile(path, bytes, nullptr, kMaxSclFileSize)) {
    Say(msgs, "Не удалось прочитать файл " + path);
    return false;
  }
  return true;
}

}  // namespace

int SclTypeTag(std::string_view btype) {
  for (const auto& t : kBasicTypes)
    if (Same(btype, t.name)) return t.tag;
  if (btype.size() >= 9 && Same(btype.substr(0, 9), "VISSTRING")) return kMmsVisibleString;
  return 0;
}

bool LoadSCLBytes(std::string_view bytes, const std::string& path, TMMSobject& client, std::string_view iedName,
                  TMessages* msgs) {
  if (bytes.size() > kMaxSclFileSize) {
    Say(msgs, "Не удалось прочитать файл " + path);
    return false;
  }
  TXMLDocument doc;
  if (!doc.Parse(bytes) || !doc.DocumentElement()) {
    Say(msgs, "Не удалось прочитать файл " + path);
    return false;
  }
  TXMLNode root = doc.DocumentElement();
  TXMLNode ied;
  for (const TXMLNode& n : Ieds(root)) {
    if (!iedName.empty() && !Same(Attr(n, "name"), iedName)) continue;
    if (Attr(n, "name").empty() || !n.FindElement("Server")) continue;
    ied = n;
    break;
  }
  TXMLNode templates = Section(root, "DataTypeTemplates");
  if (!ied || !templates) {
    Say(msgs, "В файле " + path + " нет описания IED");
    return false;
  }
  TSclReader(client, root, ied, templates).Run();
  return true;
}

bool LoadSCL(const std::string& path, TMMSobject& client, std::string_view ied, TMessages* msgs) {
  std::string bytes;
  return ReadFile(path, bytes, msgs) && LoadSCLBytes(bytes, path, client, ied, msgs);
}

bool ListSCLIeds(const std::string& path, std::vector<std::string>& names, TMessages* msgs) {
  std::string bytes;
  if (!ReadFile(path, bytes, msgs)) return false;
  TXMLDocument doc;
  if (!doc.Parse(bytes) || !doc.DocumentElement()) {
    Say(msgs, "Не удалось прочитать файл " + path);
    return false;
  }
  names.clear();
  for (const TXMLNode& n : Ieds(doc.DocumentElement())) names.push_back(Attr(n, "name"));
  return true;
}

}  // namespace t32
