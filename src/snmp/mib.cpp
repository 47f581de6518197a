// The MIB module reader (see mib.h). Every construct is recognised by keywords on a line and
// reads further lines itself; a construct that fails stops its module, never the load.
#include "snmp/mib.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string_view>
#include <unordered_map>

namespace t32::snmp {

namespace {

constexpr std::size_t npos = std::string::npos;
constexpr int kMaxImportDepth = 64;
// Lines joined while looking for the end of one column or group member.
constexpr std::size_t kMaxJoined = 4096;
const char* const kSystemMibFolder = "/usr/share/snmp/mibs/";

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

std::string ToLower(std::string s) {
  for (auto& c : s) c = Lower(c);
  return s;
}
std::string ToUpper(std::string s) {
  for (auto& c : s) c = Upper(c);
  return s;
}

// Case-insensitive search (ASCII letters; other bytes compare as they are).
std::size_t IFind(std::string_view hay, std::string_view needle, std::size_t from = 0) {
  std::size_t n = needle.size();
  if (n == 0) return from <= hay.size() ? from : npos;
  if (hay.size() < n) return npos;
  const char lo = Lower(needle[0]), up = Upper(needle[0]);
  for (std::size_t i = from; i + n <= hay.size(); ++i) {
    if (hay[i] != lo && hay[i] != up) continue;
    std::size_t k = 1;
    while (k < n && Lower(hay[i + k]) == Lower(needle[k])) ++k;
    if (k == n) return i;
  }
  return npos;
}
bool IsIdentChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

// A keyword as a whole word, any case (lower-case needle), from position `from` on.
std::size_t FindWord(const std::string& hay, const char* lowerWord, std::size_t from) {
  std::size_t n = std::char_traits<char>::length(lowerWord);
  for (std::size_t p = IFind(hay, lowerWord, from); p != npos; p = IFind(hay, lowerWord, p + 1))
    if ((p == 0 || !IsIdentChar(hay[p - 1])) && (p + n == hay.size() || !IsIdentChar(hay[p + n]))) return p;
  return npos;
}

bool IEquals(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

std::string_view TrimView(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\r' || s[b] == '\n' || s[b] == '\f' || s[b] == '\v')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\r' || s[e - 1] == '\n' || s[e - 1] == '\f' || s[e - 1] == '\v')) --e;
  return s.substr(b, e - b);
}

std::string Trim(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\r' || s[b] == '\n' || s[b] == '\f' || s[b] == '\v')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\r' || s[e - 1] == '\n' || s[e - 1] == '\f' || s[e - 1] == '\v')) --e;
  return s.substr(b, e - b);
}

std::string RemoveSpaces(const std::string& s) {
  std::string r;
  r.reserve(s.size());
  for (char c : s)
    if (c != ' ') r += c;
  return r;
}

// A keyword that names a construct counts only from the third character on: a descriptor
// stands before it (column 1 or 2 holds no definition).
bool KeywordAt3(const std::string& line, const char* kw, bool anyCase, std::size_t* pos = nullptr) {
  std::size_t p = anyCase ? IFind(line, kw) : line.find(kw);
  if (p == npos || p < 2) return false;
  if (pos) *pos = p;
  return true;
}

// Checks are ordered like this so the numeric SNMP types are found in every spelling.
const char* const kNumericNames[] = {"Integer", "Unsigned", "IPaddress", "Counter", "Gauge32", "TimeTicks", "InterfaceIndex"};

bool IsNumericSyntax(const std::string& syntax) {
  for (const char* n : kNumericNames)
    if (IFind(syntax, n) != npos) return true;
  // SMIv1 "Gauge" is the same wire type as Gauge32: the controller reads it as a number.
  std::string t = Trim(syntax);
  std::size_t p = IFind(t, "Gauge");
  if (p != npos) {
    std::size_t e = p + 5;
    if (e == t.size() || !((t[e] >= 'A' && t[e] <= 'Z') || (t[e] >= 'a' && t[e] <= 'z') || t[e] == '-')) return true;
  }
  return false;
}

bool IsReadable(const std::string& access) {
  return access == "read-only" || access == "read-write" || access == "read-create";
}

enum class TResult { kOk, kStop, kEof };

}  // namespace

TSNMPObject* TSNMPObjList::Take(const std::string& name) {
  for (auto it = Items.begin(); it != Items.end(); ++it)
    if ((*it)->Name == name) {
      TSNMPObject* o = *it;
      Items.erase(it);
      return o;
    }
  return nullptr;
}

std::size_t TOIDList::TNoCaseHash::operator()(std::string_view s) const {
  std::size_t h = 1469598103934665603ull;
  for (char c : s) h = (h ^ static_cast<unsigned char>(Lower(c))) * 1099511628211ull;
  return h;
}

bool TOIDList::TNoCaseEqual::operator()(std::string_view a, std::string_view b) const {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

void TOIDList::Reset() {
  items_.clear();
  first_.clear();
  Add("iso", MakeSnmpOid({1}));
}

void TOIDList::Add(const std::string& name, const TSnmpOid& oid) {
  items_.emplace_back(name, oid);
  first_.emplace(items_.back().first, items_.size() - 1);
}

const TSnmpOid* TOIDList::Find(const std::string& name) const {
  auto it = first_.find(std::string_view(name));
  return it == first_.end() ? nullptr : &items_[it->second].second;
}

const TSNMPObjList* TSNMPmoduleList::Find(const std::string& name) const {
  for (const auto& m : Items)
    if (m.Name == name) return m.Objects.get();
  return nullptr;
}

namespace {

// What a line holds, found once when the file is read; the main loop tests these bits.
enum : std::uint32_t {
  kImports = 1u << 0, kExports = 1u << 1, kObjectIdentifier = 1u << 2, kMacro = 1u << 3, kTextualConvention = 1u << 4,
  kTrapType = 1u << 5, kModuleIdentity = 1u << 6, kModuleCompliance = 1u << 7, kNotificationType = 1u << 8,
  kNotificationGroup = 1u << 9, kObjectIdentity = 1u << 10, kObjectType = 1u << 11, kObjectGroup = 1u << 12,
  kSequenceBrace = 1u << 13, kSyntax = 1u << 14, kAccess = 1u << 15, kDescription = 1u << 16, kAssign = 1u << 17,
  kQuote = 1u << 18, kBrace = 1u << 19, kEnd = 1u << 20,
  kMainLoop = (1u << 14) - 1, kEveryLine = 1u << 31,
};

// From the first "--" on is comment; a tab is a space.
std::string CleanLine(const char* p, std::size_t n) {
  std::string s(p, n);
  std::size_t c = s.find("--");
  if (c != npos) s.erase(c);
  if (!s.empty() && s.back() == '\r') s.pop_back();
  std::replace(s.begin(), s.end(), '\t', ' ');
  return s;
}

std::uint32_t LineFlags(const std::string& line) {
  if (line.empty()) return 0;
  std::string lower = ToLower(line);
  auto ci = [&](const char* kw) { return lower.find(kw) != npos; };
  auto at3 = [&](const char* kw, bool anyCase) {
    std::size_t p = anyCase ? lower.find(kw) : line.find(kw);
    return p != npos && p >= 2;
  };
  std::uint32_t f = 0;
  if (ci("imports")) f |= kImports;
  if (ci("exports")) f |= kExports;
  if ((ci("object") || ci("sequence")) ) {
    std::string packed = RemoveSpaces(line);
    if (packed.find("OBJECTIDENTIFIER") != npos) f |= kObjectIdentifier;
    if (ToLower(packed).find("sequence{") != npos) f |= kSequenceBrace;
  }
  if (at3("MACRO ::=", false)) f |= kMacro;
  if (at3("TEXTUAL-CONVENTION", false)) f |= kTextualConvention;
  if (at3("TRAP-TYPE", false)) f |= kTrapType;
  if (at3("MODULE-IDENTITY", false)) f |= kModuleIdentity;
  if (at3("module-compliance", true)) f |= kModuleCompliance;
  if (at3("notification-type", true)) f |= kNotificationType;
  if (at3("notification-group", true)) f |= kNotificationGroup;
  if (at3("OBJECT-IDENTITY", false)) f |= kObjectIdentity;
  if (at3("OBJECT-TYPE", false)) f |= kObjectType;
  if (at3("OBJECT-GROUP", false)) f |= kObjectGroup;
  if (ci("syntax")) f |= kSyntax;
  if (ci("access")) f |= kAccess;
  if (ci("description")) f |= kDescription;
  if (line.find("::=") != npos) f |= kAssign;
  if (line.find('"') != npos) f |= kQuote;
  if (line.find_first_of("{}") != npos) f |= kBrace;
  if (ci("end")) f |= kEnd;
  return f;
}

}  // namespace

struct TMibCatalogue::TText {
  std::int64_t mtime = -1;
  std::uintmax_t size = 0;
  std::vector<std::string> lines;
  std::vector<std::uint32_t> flags;

  // "name OBJECT IDENTIFIER ..." lines by name, in file order (built on first use).
  const std::unordered_map<std::string, std::vector<std::size_t>>& Definitions() const {
    if (!defsBuilt) {
      for (std::size_t p = 0; p < lines.size(); ++p) {
        if (!(flags[p] & kObjectIdentifier)) continue;
        std::size_t k = IFind(lines[p], "OBJECT IDENTIFIER");
        if (k == npos) continue;
        std::string name = Trim(lines[p].substr(0, k));
        if (!name.empty() && name.find(' ') == npos) defs[name].push_back(p);
      }
      defsBuilt = true;
    }
    return defs;
  }
  mutable std::unordered_map<std::string, std::vector<std::size_t>> defs;
  mutable bool defsBuilt = false;
};

struct TMibCatalogue::TListing {
  std::filesystem::file_time_type mtime;
  unsigned checked = 0;
  std::map<std::string, std::string> files;
};

std::shared_ptr<const TMibCatalogue::TText> TMibCatalogue::ReadText(const std::string& path) {
  // One stat: a file unchanged since it was last read (time and size) is not read again.
  struct stat st {};
  bool known = ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  std::int64_t mtime = known ? std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec : -1;
  std::uintmax_t size = known ? static_cast<std::uintmax_t>(st.st_size) : 0;
  if (known) {
    auto it = texts_.find(path);
    if (it != texts_.end() && it->second->mtime == mtime && it->second->size == size) return it->second;
  }
  std::FILE* in = std::fopen(path.c_str(), "rb");
  if (!in) return nullptr;
  std::string data;
  char buf[65536];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, in)) > 0) data.append(buf, n);
  bool failed = std::ferror(in) != 0;
  std::fclose(in);
  if (failed) return nullptr;
  auto t = std::make_shared<TText>();
  t->mtime = mtime;
  t->size = size;
  for (std::size_t p = 0; p < data.size();) {
    std::size_t e = data.find('\n', p);
    if (e == npos) e = data.size();
    t->lines.push_back(CleanLine(data.data() + p, e - p));
    t->flags.push_back(LineFlags(t->lines.back()));
    p = e + 1;
  }
  if (known) texts_[path] = t;
  return t;
}

// One module file being read: its lines, the current and the previous line, the count.
struct TMibCatalogue::TFile {
  std::string path;
  std::shared_ptr<const TText> text;
  std::size_t next = 0;
  int lineNo = 0;
  std::string line, prev;
  std::uint32_t flags = 0;  // of the current line as read
  TSNMPObjList* module = nullptr;

  // A line is copied into `line` only when it holds one of the keywords in need (all lines
  // for kEveryLine); any other is reached through View(), Line() or, later, Prev().
  bool Read(std::uint32_t need = kEveryLine) {
    if (next >= text->lines.size()) return false;
    if (lineLazy) {
      prevIdx = lineIdx;
      prevLazy = true;
    } else {
      std::swap(prev, line);
      prevLazy = false;
    }
    lineIdx = next++;
    flags = text->flags[lineIdx];
    lineLazy = need != kEveryLine && !(flags & need);
    if (!lineLazy) line.assign(text->lines[lineIdx]);
    ++lineNo;
    return true;
  }
  std::string_view View() const { return lineLazy ? std::string_view(text->lines[lineIdx]) : std::string_view(line); }
  std::string& Line() {
    if (lineLazy) {
      line.assign(text->lines[lineIdx]);
      lineLazy = false;
    }
    return line;
  }
  const std::string& Prev() {
    if (prevLazy) {
      prev.assign(text->lines[prevIdx]);
      prevLazy = false;
    }
    return prev;
  }
  std::size_t lineIdx = 0, prevIdx = 0;
  bool lineLazy = false, prevLazy = false;
  // The next line that is not blank, without consuming anything.
  // Remembers where the next non-blank line was, so runs of blank lines are scanned once.
  std::string PeekNonBlank() {
    if (!(peekFrom <= next && next <= peekAt)) {
      peekFrom = next;
      peekAt = next;
      while (peekAt < text->lines.size() && Trim(text->lines[peekAt]).empty()) ++peekAt;
    }
    return peekAt < text->lines.size() ? Trim(text->lines[peekAt]) : std::string();
  }
  std::size_t peekFrom = 1, peekAt = 0;
};

TMibCatalogue::TMibCatalogue() { Reset(); }

void TMibCatalogue::Reset() {
  ParsedModules.clear();
  Modules.Items.clear();
  OidDictionary.Reset();
  LooseObjects.Items.clear();
  Groups.Items.clear();
  Sequences.Items.clear();
  Entries.Items.clear();
  EntryTypes.clear();
  Objects.clear();
}

std::string TMibCatalogue::FindModuleFile(const std::string& name, std::string& lastTried) {
  namespace fs = std::filesystem;
  std::vector<std::string> folders{MibFolder, ProgramMibFolder};
  for (const auto& f : ExtraMibFolders) folders.push_back(f.empty() || f.back() == '/' ? f : f + '/');
  if (SystemMibFolders) {
    folders.push_back(kSystemMibFolder);
    folders.push_back(std::string(kSystemMibFolder) + "iana/");
    folders.push_back(std::string(kSystemMibFolder) + "ietf/");
  }
  std::vector<std::string> names{name, name + ".mib", name + ".txt", name + ".my"};
  std::size_t dot = name.rfind('.');
  if (dot != npos && dot > 0) names.push_back(name.substr(0, dot) + ".mib");
  for (const auto& folder : folders) {
    if (folder.empty()) continue;
    auto& listing = listings_[folder];
    if (!listing || listing->checked != loads_) {
      std::error_code ec;
      auto mtime = fs::last_write_time(folder, ec);
      if (ec || !listing || listing->mtime != mtime) {
        auto l = std::make_shared<TListing>();  // a missing folder lists nothing
        l->mtime = mtime;
        for (fs::directory_iterator d(folder, ec), end; !ec && d != end; d.increment(ec)) {
          std::error_code ec2;
          if (d->is_regular_file(ec2)) {
            std::string n = d->path().filename().string();
            l->files.emplace(ToLower(n), n);  // the first of names that differ only in case
          }
        }
        listing = std::move(l);
      }
      listing->checked = loads_;
    }
    const auto& files = listing->files;
    for (const auto& n : names) {
      lastTried = folder + n;
      auto f = files.find(ToLower(n));
      if (f != files.end()) return folder + f->second;
    }
  }
  return {};
}

bool TMibCatalogue::LoadMib(const std::string& path) {
  Reset();
  ++loads_;
  std::size_t slash = path.rfind('/');
  MibFolder = slash == npos ? std::string("./") : path.substr(0, slash + 1);
  if (!ParseModule(path, true, 0)) return false;
  Resolve();
  return true;
}

bool TMibCatalogue::ParseModule(const std::string& name, bool topLevel, int depth) {
  namespace fs = std::filesystem;
  TFile f;
  std::error_code ec;
  if (topLevel && fs::is_regular_file(name, ec)) {
    f.path = name;
  } else {
    std::string base = name;
    std::size_t slash = base.rfind('/');
    if (slash != npos) base = base.substr(slash + 1);
    std::string last = MibFolder + base;
    f.path = base.empty() ? std::string() : FindModuleFile(base, last);
    if (f.path.empty()) {
      Error("----- ошибка: " + last + " файл не найден ");
      return false;
    }
  }
  Message(name);
  f.text = ReadText(f.path);
  if (!f.text) {
    Error("----- ошибка: " + f.path + " строка 0");
    return false;
  }

  auto err = [&]() { Error("----- ошибка: " + f.path + " строка " + std::to_string(f.lineNo)); };

  // A parent that this file defines further down ("name OBJECT IDENTIFIER ::= { p n }" after
  // the MODULE-IDENTITY that uses it) is looked up ahead, without consuming any line.
  std::function<bool(const std::string&, TSnmpOid&, int)> parseValueAt;
  auto forwardDefinition = [&](const std::string& name, TSnmpOid& oid, int fwd) -> bool {
    if (fwd > 8 || name.empty()) return false;
    const auto& index = f.text->Definitions();
    auto it = index.find(name);
    if (it == index.end()) return false;
    for (std::size_t p : it->second) {
      if (p < f.next) continue;
      const std::string& l = f.text->lines[p];
      std::size_t a = l.find("::=");
      return a != npos && parseValueAt(l.substr(a + 3), oid, fwd + 1);
    }
    return false;
  };

  // Parses "{ parent arc arc ... }" on one line.
  parseValueAt = [&](const std::string& text, TSnmpOid& oid, int fwd) -> bool {
    std::size_t b = text.find('{');
    std::size_t e = text.find('}');
    if (b == npos || e == npos || e <= b + 1) return false;
    std::string v = Trim(text.substr(b + 1, e - b - 1));
    if (v.empty()) return false;
    std::size_t sp = v.find(' ');
    std::string parent = sp == npos ? v : v.substr(0, sp);
    std::string rest = sp == npos ? std::string() : v.substr(sp + 1);
    // "iso(1)" as the first component names its parent by the descriptor before "(".
    std::size_t par = parent.find('(');
    if (par != npos && par > 0) parent.erase(par);
    if (!parent.empty() && parent.find_first_not_of("0123456789") == npos && parent.size() <= 9) {
      oid = MakeSnmpOid({static_cast<std::uint32_t>(std::stoul(parent))});  // "{ 0 0 }": a root arc
    } else if (const TSnmpOid* p = OidDictionary.Find(parent)) {
      oid = *p;
    } else if (!forwardDefinition(parent, oid, fwd)) {
      if (fwd == 0) err();
      return false;
    }
    for (std::size_t wb = 0; wb < rest.size();) {
      if (rest[wb] == ' ') {
        ++wb;
        continue;
      }
      std::size_t we = rest.find(' ', wb);
      if (we == npos) we = rest.size();
      std::string_view w(rest.data() + wb, we - wb);
      wb = we;
      // "mib-2(1)" is arc 1: the number in parentheses counts, not the digits of the name.
      std::size_t o = w.find('(');
      std::size_t from = 0, to = w.size();
      if (o != npos) {
        from = o + 1;
        std::size_t c = w.find(')', from);
        to = c == npos ? w.size() : c;
      }
      std::uint64_t n = 0;
      bool any = false;
      for (std::size_t i = from; i < to; ++i)
        if (w[i] >= '0' && w[i] <= '9') {
          n = n * 10 + static_cast<unsigned>(w[i] - '0');
          any = true;
          if (n > 0xFFFFFFFFu) {
            if (fwd == 0) err();
            return false;
          }
        }
      if (any && !oid.Append(static_cast<std::uint32_t>(n))) {
        if (fwd == 0) err();
        return false;
      }
    }
    return true;
  };
  auto parseValue = [&](const std::string& text, TSnmpOid& oid) { return parseValueAt(text, oid, 0); };

  // The text after "::=" and one more character, as the value is read from there.
  auto afterAssign = [](const std::string& line) {
    std::size_t p = line.find("::=");
    return p + 4 <= line.size() ? line.substr(p + 4) : std::string();
  };

  auto descriptorOf = [&](std::size_t kwPos, bool usePrev) {
    std::string d = Trim(f.line.substr(0, std::min(kwPos, f.line.size())));
    if (d.empty() && usePrev) d = Trim(f.Prev());
    return d;
  };

  // Reads from the keyword line to the "::=" outside quoted text; registers the value.
  auto identifierAssignment = [&](const std::string& descriptor) -> TResult {
    bool inQuote = false;
    for (bool first = true;; first = false) {
      // A line with neither a quote nor "::=" changes nothing (a line as read has its bits).
      if (first || (f.flags & (kQuote | kAssign))) {
        std::size_t found = npos;
        for (std::size_t i = 0; i < f.line.size(); ++i) {
          if (f.line[i] == '"') {
            inQuote = !inQuote;
          } else if (!inQuote && f.line.compare(i, 3, "::=") == 0) {
            found = i;
            break;
          }
        }
        if (found != npos) break;
      }
      if (!f.Read(kQuote | kAssign)) return TResult::kEof;
    }
    TSnmpOid oid;
    if (!parseValue(afterAssign(f.line), oid)) return TResult::kStop;
    if (!descriptor.empty()) OidDictionary.Add(descriptor, oid);
    return TResult::kOk;
  };


  // DESCRIPTION "..." possibly over many lines; leaves the text after the closing quote.
  auto description = [&](std::string& out) -> TResult {
    std::size_t p = IFind(f.line, "DESCRIPTION");
    std::size_t from = p + 12 <= f.line.size() ? p + 12 : f.line.size();
    out.clear();
    bool inside = false;
    for (;;) {
      std::string_view rest = f.View();
      rest.remove_prefix(std::min(from, rest.size()));
      if (!inside) {
        std::size_t q = rest.find('"');
        if (q != npos) {
          rest.remove_prefix(q + 1);
          inside = true;
        }
      }
      if (inside) {
        std::size_t q = rest.find('"');
        if (q != npos) {
          out += TrimView(rest.substr(0, q));
          std::size_t cut = f.View().size() - rest.size() + q + 1;
          f.Line().erase(0, cut);
          return TResult::kOk;
        }
        out += TrimView(rest);
        out += ' ';
      }
      if (!f.Read(0)) {
        err();  // the text never closes
        return TResult::kEof;
      }
      from = 0;
    }
  };


  // Skips to the end of a construct whose body this reader does not use.
  auto skipTo = [&](bool toSyntax) -> TResult {
    bool inQuote = false;
    bool inSyntax = false;
    int depthBraces = 0;
    bool first = true;
    for (;;) {
      if (!first && !f.Read(kQuote | kBrace | (toSyntax ? kSyntax : kAssign))) return TResult::kEof;
      first = false;
      const std::string& l = f.line;
      // Lines without a quote, a brace or the keyword looked for change nothing here.
      if (!(f.flags & (kQuote | kBrace)) && !(f.flags & (toSyntax ? kSyntax : kAssign))) {
        if (inSyntax && !inQuote && depthBraces <= 0 && f.PeekNonBlank().rfind("{", 0) != 0) return TResult::kOk;
        continue;
      }
      for (std::size_t i = 0; i < l.size(); ++i) {
        char c = l[i];
        if (c == '"') {
          inQuote = !inQuote;
          continue;
        }
        if (inQuote) continue;
        if (!toSyntax) {
          if (l.compare(i, 3, "::=") == 0) {
            // TRAP-TYPE ends with "::= number".
            return TResult::kOk;
          }
          continue;
        }
        if (!inSyntax) {
          if (l.compare(i, 6, "SYNTAX") == 0) {
            inSyntax = true;
            i += 5;
          }
          continue;
        }
        if (c == '{') ++depthBraces;
        if (c == '}') --depthBraces;
      }
      if (inSyntax && !inQuote && depthBraces <= 0) {
        // The type may continue with "{" on the next line (INTEGER or BITS values).
        if (f.PeekNonBlank().rfind("{", 0) == 0) continue;
        return TResult::kOk;
      }
    }
  };

  auto listObject = [&](TSNMPObject* o) {
    if (o->IsEntry) return;
    if (o->IsTable || (o->Readable && o->Numeric)) (f.module ? f.module : &LooseObjects)->Items.push_back(o);
  };

  auto objectDefinition = [&](const std::string& descriptor) -> TResult {
    Objects.push_back(std::make_unique<TSNMPObject>());
    TSNMPObject* o = Objects.back().get();
    o->Name = descriptor;
    bool entryAdded = false;
    bool fresh = true;  // f.line is as read: its keyword bits hold
    auto has = [&](std::uint32_t bit) { return !fresh || (f.flags & bit); };
    // The rules below hold on every line of the definition; those that depend only on the
    // syntax and on the entry types are evaluated again only when these change.
    bool recheck = true;
    for (;;) {
      std::size_t p;
      if (has(kSyntax) && (p = IFind(f.line, "SYNTAX")) != npos) {
        o->Syntax = Trim(f.line.substr(p + 6));
        recheck = true;
      }
      if (recheck && (p = IFind(o->Syntax, "SEQUENCE OF")) != npos) {
        std::string s = o->Syntax;
        s.erase(p, std::min(s.size() - p, std::size_t(12)));
        o->Syntax = Trim(s);
        EntryTypes.emplace_back(ToUpper(o->Syntax), o);
        o->IsTable = true;
        o->RowCount = 1;
      }
      if (!entryAdded && recheck)
        for (auto& [type, table] : EntryTypes)
          if (IEquals(type, o->Name)) {
            o->IsEntry = true;
            table->Entry = o;
            Entries.Items.push_back(o);
            entryAdded = true;
            break;
          }
      if (recheck) o->Numeric = !o->IsTable && !o->IsEntry && IsNumericSyntax(o->Syntax);
      recheck = false;
      if (has(kAccess) && (p = IFind(f.line, "ACCESS")) != npos) {
        o->Access = ToLower(Trim(f.line.substr(p + 6)));
        o->Readable = IsReadable(o->Access);
      }
      if (has(kDescription) && IFind(f.line, "DESCRIPTION") != npos) {
        TResult r = description(o->Description);
        if (r != TResult::kOk) return r;
        fresh = false;
      }
      if (has(kAssign) && f.line.find("::=") != npos) {
        TSnmpOid oid;
        if (!parseValue(afterAssign(f.line), oid)) return TResult::kStop;
        OidDictionary.Add(o->Name, oid);
        o->Oid = std::move(oid);
        o->ModuleObjects = f.module;
        listObject(o);
        return TResult::kOk;
      }
      if (!f.Read(kSyntax | kAccess | kDescription | kAssign)) return TResult::kEof;
      fresh = true;
    }
  };

  auto readMembers = [&](std::vector<TSNMPMember>& members) -> TResult {
    std::size_t b;
    while ((b = f.line.find('{')) == npos)
      if (!f.Read()) return TResult::kEof;
    std::string rest = f.line.substr(b + 1);
    for (;;) {
      std::size_t start = 0;
      for (std::size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == ',' || rest[i] == '}') {
          std::string n = Trim(rest.substr(start, i - start));
          if (!n.empty()) members.push_back({n, nullptr});
          start = i + 1;
          if (rest[i] == '}') {
            f.line = rest.substr(i + 1);
            return TResult::kOk;
          }
        }
      }
      std::string tail = Trim(rest.substr(start));
      if (tail.size() > kMaxJoined) {  // no name runs over lines like this: not a member list
        err();
        return TResult::kStop;
      }
      if (!f.Read()) return TResult::kEof;
      rest = tail.empty() ? f.line : tail + " " + f.line;
    }
  };

  auto groupDefinition = [&](const std::string& descriptor) -> TResult {
    Groups.Items.push_back(std::make_unique<TSNMPGroup>());
    TSNMPGroup* g = Groups.Items.back().get();
    g->Name = descriptor;
    g->ModuleObjects = f.module;
    for (;;) {
      if (IFind(f.line, "OBJECTS") != npos) {
        TResult r = readMembers(g->Members);
        if (r != TResult::kOk) return r;
      }
      if (IFind(f.line, "DESCRIPTION") != npos) {
        TResult r = description(g->Description);
        if (r != TResult::kOk) return r;
      }
      if (f.line.find("::=") != npos) {
        TSnmpOid oid;
        if (!parseValue(afterAssign(f.line), oid)) return TResult::kStop;
        OidDictionary.Add(g->Name, oid);
        g->Oid = std::move(oid);
        return TResult::kOk;
      }
      if (!f.Read()) return TResult::kEof;
    }
  };

  auto sequenceDefinition = [&]() -> TResult {
    std::size_t kw = IFind(f.line, "SEQUENCE");
    std::string before = Trim(f.line.substr(0, kw));
    // "IfEntry ::= SEQUENCE {" names itself; "IfEntry ::=" alone puts the name a line up.
    std::string joined = before.find("::=") != npos ? before : Trim(f.Prev()) + before;
    std::size_t a = joined.find("::=");
    if (a == npos) return TResult::kStop;
    std::string name = Trim(joined.substr(0, a));
    if (name.empty()) {
      err();
      return TResult::kStop;
    }
    std::size_t b;
    while ((b = f.line.find('{')) == npos)
      if (!f.Read()) return TResult::kStop;
    auto seq = std::make_unique<TSNMPSequence>();
    seq->Name = name;
    std::string cur = f.line.substr(b + 1);
    for (;;) {
      std::string t = Trim(cur);
      std::size_t comma = t.find(',');
      std::size_t brace = t.find('}');
      if (comma == npos && brace == npos) {
        if (t.size() > kMaxJoined) {  // no column runs over lines like this: not a SEQUENCE
          err();
          return TResult::kStop;
        }
        // The column's type may sit on the next line: join them with a space between.
        if (!f.Read()) break;
        cur = t + " " + f.line;
        continue;
      }
      std::string item = Trim(t.substr(0, comma != npos ? comma : brace));
      std::size_t sp = item.find(' ');
      if (sp != npos) seq->Columns.push_back({item.substr(0, sp), nullptr});
      if (brace != npos) break;
      if (!f.Read()) break;
      cur = f.line;
    }
    seq->ModuleObjects = f.module;
    for (TSNMPObject* e : Entries.Items)
      if (IEquals(e->Syntax, seq->Name)) {
        e->Sequence = seq.get();
        break;
      }
    Sequences.Items.push_back(std::move(seq));
    return TResult::kOk;
  };

  // Every "FROM module" of the IMPORTS, several on a line if need be ("a FROM B c FROM D;"),
  // the module name possibly on the line after its FROM. Each module is read once per load.
  auto importLoop = [&]() -> TResult {
    bool pending = false;
    for (;;) {
      const std::string& l = f.line;
      std::size_t pos = 0;
      for (;;) {
        if (!pending) {
          std::size_t p = FindWord(l, "from", pos);
          if (p == npos) break;
          pos = p + 4;
          pending = true;
        }
        while (pos < l.size() && l[pos] == ' ') ++pos;
        std::size_t e = pos;
        while (e < l.size() && l[e] != ' ' && l[e] != ';' && l[e] != ',') ++e;
        if (e == pos) break;  // the name is on a later line
        std::string m = l.substr(pos, e - pos);
        pos = e;
        pending = false;
        bool seen = false;
        for (const auto& pm : ParsedModules)
          if (IEquals(pm, m)) seen = true;
        if (!seen) {
          ParsedModules.push_back(m);
          if (depth + 1 >= kMaxImportDepth)
            err();  // imports nested beyond any real module's: refuse to go deeper
          else
            ParseModule(m, false, depth + 1);
        }
      }
      if (f.line.find(';') != npos) return TResult::kOk;
      if (!f.Read()) return TResult::kEof;
    }
  };


  while (f.Read(kMainLoop)) {
    std::size_t kw = 0;
    TResult r = TResult::kOk;
    if (!(f.flags & kMainLoop)) continue;  // nothing this reader looks for
    if (f.flags & kImports) {
      r = importLoop();
    } else if (f.flags & kExports) {
      while (f.line.find(';') == npos)
        if (!f.Read()) {
          r = TResult::kEof;
          break;
        }
    } else if (f.flags & kObjectIdentifier) {
      std::size_t p = IFind(f.line, "OBJECT IDENTIFIER");
      if (p == npos) p = IFind(f.line, "OBJECT");
      std::string d = descriptorOf(p, true);
      // Only "name OBJECT IDENTIFIER ::= {...}" assigns: a type ("X ::= OBJECT IDENTIFIER"),
      // a SYNTAX clause or a component of a CHOICE or SEQUENCE does not.
      std::size_t end = f.line.find("IDENTIFIER", p);
      std::string after = end == npos ? std::string() : Trim(f.line.substr(end + 10));
      bool assigns = d.find("::=") == npos && !IEquals(d, "SYNTAX") &&
                     (after.rfind("::=", 0) == 0 || (after.empty() && f.PeekNonBlank().rfind("::=", 0) == 0));
      if (assigns) {
        if (d.empty()) {
          err();
          r = TResult::kStop;
        } else {
          r = identifierAssignment(d);
        }
      }
    } else if (f.flags & kMacro) {
      while (!(f.flags & kEnd))
        if (!f.Read(0)) {
          r = TResult::kEof;
          break;
        }
    } else if (f.flags & kTextualConvention) {
      r = skipTo(true);
    } else if (f.flags & kTrapType) {
      r = skipTo(false);
    } else if ((f.flags & kModuleIdentity) && KeywordAt3(f.line, "MODULE-IDENTITY", false, &kw)) {
      std::string d = descriptorOf(kw, false);
      r = identifierAssignment(d);
      if (r == TResult::kOk && !d.empty()) {
        Modules.Items.push_back({d, std::make_unique<TSNMPObjList>()});
        f.module = Modules.Items.back().Objects.get();
        Message("Модуль: " + d);
      }
    } else if ((f.flags & (kModuleCompliance | kNotificationType | kNotificationGroup | kObjectIdentity)) &&
               (KeywordAt3(f.line, "MODULE-COMPLIANCE", true, &kw) || KeywordAt3(f.line, "NOTIFICATION-TYPE", true, &kw) ||
                KeywordAt3(f.line, "NOTIFICATION-GROUP", true, &kw) || KeywordAt3(f.line, "OBJECT-IDENTITY", false, &kw))) {
      r = identifierAssignment(descriptorOf(kw, false));
    } else if ((f.flags & kObjectType) && KeywordAt3(f.line, "OBJECT-TYPE", false, &kw)) {
      std::string d = descriptorOf(kw, true);
      if (d.empty()) {
        err();
        r = TResult::kStop;
      } else {
        r = objectDefinition(d);
        if (r == TResult::kStop) err();
      }
    } else if ((f.flags & kObjectGroup) && KeywordAt3(f.line, "OBJECT-GROUP", false, &kw)) {
      std::string d = descriptorOf(kw, true);
      if (d.empty()) {
        err();
        r = TResult::kStop;
      } else {
        r = groupDefinition(d);
      }
    } else if (f.flags & kSequenceBrace) {
      r = sequenceDefinition();
    }
    if (r != TResult::kOk) break;
  }
  return true;
}

void TMibCatalogue::Resolve() {
  for (auto& s : Sequences.Items) {
    TSNMPObjList* list = s->ModuleObjects ? s->ModuleObjects : &LooseObjects;
    for (std::size_t i = s->Columns.size(); i-- > 0;) {
      if (TSNMPObject* o = list->Take(s->Columns[i].Name))
        s->Columns[i].Object = o;
      else
        s->Columns.erase(s->Columns.begin() + static_cast<std::ptrdiff_t>(i));
    }
  }
  for (auto& g : Groups.Items) {
    TSNMPObjList* list = g->ModuleObjects ? g->ModuleObjects : &LooseObjects;
    for (std::size_t i = g->Members.size(); i-- > 0;) {
      if (TSNMPObject* o = list->Take(g->Members[i].Name))
        g->Members[i].Object = o;
      else
        g->Members.erase(g->Members.begin() + static_cast<std::ptrdiff_t>(i));
    }
  }
}

}  // namespace t32::snmp
