// The MIB reader: its line rules on tiny modules, hostile files, and real modules of Debian
// checked against Net-SNMP's snmptranslate.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "snmp/mib.h"

using namespace t32::snmp;
namespace fs = std::filesystem;

namespace {

class TTempDir {
 public:
  TTempDir() {
    char tmpl[] = "/tmp/t32mibXXXXXX";
    path_ = ::mkdtemp(tmpl);
  }
  ~TTempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  std::string Write(const std::string& name, const std::string& text) const {
    std::string p = path_ + "/" + name;
    std::ofstream(p, std::ios::binary) << text;
    return p;
  }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

struct TLoad {
  TMibCatalogue cat;
  std::vector<std::string> messages, errors;
  bool ok = false;
  TLoad() {
    cat.SystemMibFolders = false;
    cat.OnMibMessage = [this](const std::string& s) { messages.push_back(s); };
    cat.OnMibError = [this](const std::string& s) { errors.push_back(s); };
  }
  const TSNMPObject* Object(const std::string& name) const {
    for (const auto& o : cat.Objects)
      if (o->Name == name) return o.get();
    return nullptr;
  }
  std::string Oid(const std::string& name) const {
    const TSnmpOid* o = cat.OidDictionary.Find(name);
    return o ? SnmpOidToString(*o) : "-";
  }
  // Names of the listed objects of the first module (or the loose ones), in order.
  std::string Listed() const {
    const TSNMPObjList& l = cat.Modules.Items.empty() ? cat.LooseObjects : *cat.Modules.Items[0].Objects;
    std::string s;
    for (auto* o : l.Items) s += (s.empty() ? "" : " ") + o->Name;
    return s;
  }
  std::string Columns(std::size_t seq = 0) const {
    std::string s;
    if (seq < cat.Sequences.Items.size())
      for (auto& c : cat.Sequences.Items[seq]->Columns) s += (s.empty() ? "" : " ") + c.Name;
    return s;
  }
};

const char* kHead =
    "TEST-MIB DEFINITIONS ::= BEGIN\n"
    "internet OBJECT IDENTIFIER ::= { iso org(3) dod(6) 1 }\n"
    "test OBJECT IDENTIFIER ::= { internet 99 }\n";

std::string Scalar(const std::string& name, const std::string& syntax, const std::string& access, int arc) {
  return "  " + name + " OBJECT-TYPE\n    SYNTAX " + syntax + "\n    MAX-ACCESS " + access +
         "\n    STATUS current\n    DESCRIPTION\n      \"About " + name + ".\"\n    ::= { test " + std::to_string(arc) + " }\n";
}

}  // namespace

// The reader's rules, each on a module of a few lines. check() sees the load.
TEST(MibReader, LineRulesOnTinyModules) {
  struct TCase {
    const char* what;
    std::string text;
    std::function<void(const TLoad&)> check;
  };
  std::vector<TCase> cases = {
      {"internet from named arcs", kHead, [](const TLoad& l) {
         EXPECT_EQ(l.Oid("internet"), "1.3.6.1");
         EXPECT_EQ(l.Oid("ISO"), "1");  // lookups ignore case
         EXPECT_TRUE(l.errors.empty());
       }},
      {"comments", std::string(kHead) + "-- a OBJECT IDENTIFIER ::= { test 1 }\nb OBJECT IDENTIFIER ::= { test 2 } -- { test 3 }\n",
       [](const TLoad& l) {
         EXPECT_EQ(l.Oid("a"), "-");
         EXPECT_EQ(l.Oid("b"), "1.3.6.1.99.2");
       }},
      {"OBJECT-TYPE in columns 1 and 2 is no definition",
       std::string(kHead) + "x\n OBJECT-TYPE\n SYNTAX Counter32\n ACCESS read-only\n ::= { test 1 }\n" +
           "\tsysName OBJECT-TYPE -- the tab is a space\n SYNTAX Counter32\n ACCESS read-only\n ::= { test 2 }\n",
       [](const TLoad& l) {
         EXPECT_EQ(l.Object("x"), nullptr);
         ASSERT_NE(l.Object("sysName"), nullptr);
         EXPECT_EQ(SnmpOidToString(l.Object("sysName")->Oid), "1.3.6.1.99.2");
       }},
      {"listing: readable numbers only",
       std::string(kHead) + Scalar("cnt", "Counter32", "read-only", 1) + Scalar("txt", "DisplayString", "read-only", 2) +
           Scalar("st", "INTEGER { up(1), down(2) }", "read-write", 3) + Scalar("wo", "Integer32", "not-accessible", 4) +
           Scalar("g1", "Gauge", "read-only", 5) + Scalar("g2", "Gauge32", "read-only", 6) + Scalar("ip", "IpAddress", "read-only", 7),
       [](const TLoad& l) {
         // Gauge of SMIv1 is the wire type of Gauge32 and is listed like it.
         EXPECT_EQ(l.Listed(), "cnt st g1 g2 ip");
         EXPECT_EQ(l.Object("txt")->Syntax, "DisplayString");
         EXPECT_EQ(l.Object("st")->Access, "read-write");
         EXPECT_EQ(l.Object("cnt")->Description, "About cnt.");
       }},
      {"table, entry and sequence",
       std::string(kHead) +
           "  ifTable OBJECT-TYPE\n    SYNTAX SEQUENCE OF IfEntry\n    MAX-ACCESS not-accessible\n    ::= { test 2 }\n"
           "  ifEntry OBJECT-TYPE\n    SYNTAX IfEntry\n    MAX-ACCESS not-accessible\n    ::= { ifTable 1 }\n"
           "IfEntry ::=\n    SEQUENCE {\n        ifIndex InterfaceIndex,\n        ifDescr DisplayString,\n"
           "        ifInOctets Counter32, ifOutOctets Counter32,\n        ifSpeed\nGauge32\n    }\n" +
           Scalar("ifIndex", "InterfaceIndex", "read-only", 21) + Scalar("ifDescr", "DisplayString", "read-only", 22) +
           Scalar("ifInOctets", "Counter32", "read-only", 23) + Scalar("ifOutOctets", "Counter32", "read-only", 24) +
           Scalar("ifSpeed", "Gauge32", "read-only", 25) + Scalar("sysUp", "TimeTicks", "read-only", 3),
       [](const TLoad& l) {
         const TSNMPObject* t = l.Object("ifTable");
         ASSERT_NE(t, nullptr);
         EXPECT_TRUE(t->IsTable);
         EXPECT_EQ(t->Syntax, "IfEntry");
         EXPECT_EQ(t->RowCount, 1);
         ASSERT_EQ(t->Entry, l.Object("ifEntry"));
         EXPECT_TRUE(t->Entry->IsEntry);
         ASSERT_NE(t->Entry->Sequence, nullptr);
         // ifDescr is no number; ifOutOctets shares a line with ifInOctets (one column a
         // line); ifSpeed's type on its own line still makes a column.
         EXPECT_EQ(l.Columns(), "ifIndex ifInOctets ifSpeed");
         EXPECT_EQ(l.Listed(), "ifTable ifOutOctets sysUp");  // columns are no scalars any more
       }},
      {"undefined parent stops the module at its line",
       std::string(kHead) + Scalar("a", "Counter32", "read-only", 1) + "b OBJECT IDENTIFIER ::= { nowhere 1 }\n" +
           Scalar("c", "Counter32", "read-only", 3),
       [](const TLoad& l) {
         ASSERT_FALSE(l.errors.empty());
         EXPECT_TRUE(l.errors[0].ends_with(" строка 11")) << l.errors[0];
         EXPECT_EQ(l.errors[0].rfind("----- ошибка: ", 0), 0u);
         EXPECT_EQ(l.Listed(), "a");
       }},
      {"forward reference within the module",
       "TEST-MIB DEFINITIONS ::= BEGIN\ntestMib MODULE-IDENTITY\n  LAST-UPDATED \"x\"\n  DESCRIPTION \"d ::= { no }\"\n"
       "  ::= { test 1 }\ntest OBJECT IDENTIFIER ::= { iso 3 6 1 99 }\n" + Scalar("a", "Counter32", "read-only", 2),
       [](const TLoad& l) {
         EXPECT_TRUE(l.errors.empty());
         EXPECT_EQ(l.Oid("testMib"), "1.3.6.1.99.1");
         ASSERT_EQ(l.cat.Modules.Items.size(), 1u);
         EXPECT_EQ(l.cat.Modules.Items[0].Name, "testMib");
         EXPECT_EQ(l.Listed(), "a");
         EXPECT_NE(std::find(l.messages.begin(), l.messages.end(), "Модуль: testMib"), l.messages.end());
       }},
      {"no module identity: loose objects", std::string(kHead) + Scalar("a", "Counter32", "read-only", 1),
       [](const TLoad& l) {
         EXPECT_TRUE(l.cat.Modules.Items.empty());
         ASSERT_EQ(l.cat.LooseObjects.Items.size(), 1u);
         EXPECT_EQ(l.Object("a")->ModuleObjects, nullptr);
       }},
      {"textual conventions and traps are skipped whole",
       std::string(kHead) +
           "AutonomousType ::= TEXTUAL-CONVENTION\n  STATUS current\n  DESCRIPTION \"SYNTAX here is text ::= {\"\n"
           "  SYNTAX OBJECT IDENTIFIER\n\nStatus ::= TEXTUAL-CONVENTION\n  STATUS current\n  SYNTAX INTEGER\n   { on(1),\n off(2) }\n"
           "after OBJECT IDENTIFIER ::= { test 5 }\n"
           "  boot TRAP-TYPE\n    ENTERPRISE test\n    VARIABLES { a }\n    ::= 0\n"
           "ObjectName ::=\n    OBJECT IDENTIFIER\nlast OBJECT IDENTIFIER ::= { 0 0 }\n",
       [](const TLoad& l) {
         EXPECT_TRUE(l.errors.empty());
         EXPECT_EQ(l.Oid("after"), "1.3.6.1.99.5");
         EXPECT_EQ(l.Oid("last"), "0.0");
       }},
      {"groups take what no table took",
       std::string(kHead) + Scalar("a", "Counter32", "read-only", 1) + Scalar("b", "Counter32", "read-only", 2) +
           "  g1 OBJECT-GROUP\n    OBJECTS { a,\n              b ,, nope }\n    STATUS current\n    ::= { test 10 }\n"
           "  g2 OBJECT-GROUP\n    OBJECTS { a }\n    ::= { test 11 }\n",
       [](const TLoad& l) {
         ASSERT_EQ(l.cat.Groups.Items.size(), 2u);
         auto& g1 = *l.cat.Groups.Items[0];
         ASSERT_EQ(g1.Members.size(), 2u);
         EXPECT_EQ(g1.Members[0].Name, "a");
         EXPECT_EQ(g1.Members[1].Object, l.Object("b"));
         EXPECT_EQ(SnmpOidToString(g1.Oid), "1.3.6.1.99.10");
         EXPECT_TRUE(l.cat.Groups.Items[1]->Members.empty());
         EXPECT_TRUE(l.cat.LooseObjects.Items.empty());
       }},
      {"big arcs", std::string(kHead) + "e OBJECT IDENTIFIER ::= { test 4294967295 mib-2(1) }\n"
                                         "f OBJECT IDENTIFIER ::= { test 4294967296 }\n",
       [](const TLoad& l) {
         EXPECT_EQ(l.Oid("e"), "1.3.6.1.99.4294967295.1");
         EXPECT_EQ(l.Oid("f"), "-");
         EXPECT_EQ(l.errors.size(), 1u);
       }},
      {"unclosed description", std::string(kHead) + "  a OBJECT-TYPE\n SYNTAX Counter32\n DESCRIPTION \"never\n closes\n",
       [](const TLoad& l) {
         EXPECT_EQ(l.errors.size(), 1u);
         EXPECT_EQ(l.Object("a")->Description, "never closes ");
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TTempDir dir;
    TLoad l;
    l.ok = l.cat.LoadMib(dir.Write("TEST-MIB", c.text));
    EXPECT_TRUE(l.ok);
    c.check(l);
  }
}

TEST(MibReader, ImportsFindModulesOnceAndSurviveCycles) {
  TTempDir dir, lib;
  const std::string base = "BASE DEFINITIONS ::= BEGIN\nbase OBJECT IDENTIFIER ::= { iso 3 6 1 4 1 }\nEND\n";
  lib.Write("base.MY", base);  // found in another folder, whatever the case of its name
  dir.Write("A-MIB.txt", "A-MIB DEFINITIONS ::= BEGIN\nIMPORTS base FROM BASE\n  top FROM TOP-MIB;\n"
                         "a OBJECT IDENTIFIER ::= { base 1 }\nEND\n");
  dir.Write("B-MIB.mib", "B-MIB DEFINITIONS ::= BEGIN\nIMPORTS\n  base\n    FROM BASE;\nb OBJECT IDENTIFIER ::= { base 2 }\nEND\n");
  std::string top = dir.Write("TOP-MIB", "TOP-MIB DEFINITIONS ::= BEGIN\nIMPORTS x FROM A-MIB\n y FROM B-MIB\n"
                                         " z FROM MISSING-MIB;\ntop OBJECT IDENTIFIER ::= { base 3 }\nEND\n");
  TLoad l;
  l.cat.ExtraMibFolders = {lib.Path()};
  ASSERT_TRUE(l.cat.LoadMib(top));
  EXPECT_EQ(l.Oid("a"), "1.3.6.1.4.1.1");
  EXPECT_EQ(l.Oid("b"), "1.3.6.1.4.1.2");
  EXPECT_EQ(l.Oid("top"), "1.3.6.1.4.1.3");
  // BASE read once although two modules import it; TOP-MIB read again through A-MIB.
  EXPECT_EQ(std::count(l.messages.begin(), l.messages.end(), "BASE"), 1);
  EXPECT_EQ(std::count(l.messages.begin(), l.messages.end(), "TOP-MIB"), 1);
  EXPECT_EQ(l.cat.ParsedModules, (std::vector<std::string>{"A-MIB", "BASE", "TOP-MIB", "B-MIB", "MISSING-MIB"}));
  ASSERT_EQ(l.errors.size(), 1u);
  EXPECT_EQ(l.errors[0].rfind("----- ошибка: ", 0), 0u);
  EXPECT_NE(l.errors[0].find("MISSING-MIB"), std::string::npos);
  EXPECT_TRUE(l.errors[0].ends_with("/MISSING-MIB.my файл не найден ")) << l.errors[0];

  TLoad none;
  EXPECT_FALSE(none.cat.LoadMib(dir.Path() + "/NO-SUCH-MIB"));
  ASSERT_EQ(none.errors.size(), 1u);
  EXPECT_NE(none.errors[0].find(" файл не найден "), std::string::npos);
}

TEST(MibReader, HostileFilesEndInMessagesNotHangs) {
  TTempDir dir;
  std::string binary;
  for (int i = 0; i < 70000; ++i) binary += static_cast<char>((i * 7919) & 0xFF);
  std::string nul = std::string(kHead) + std::string("a\0b OBJECT IDENTIFIER ::= { test 1 }\n", 37);
  std::string longLine = std::string(kHead) + "x OBJECT IDENTIFIER ::= { test " + std::string(2000000, '1') + " }\n";
  std::string deep = std::string(kHead) + "x OBJECT IDENTIFIER ::= { test" + std::string(300, ' ') + [] {
    std::string s;
    for (int i = 0; i < 200; ++i) s += " 1";
    return s;
  }() + " }\n";
  std::string self = "SELF DEFINITIONS ::= BEGIN\nIMPORTS a FROM SELF;\nIMPORTS b FROM self\n;\nEND\n";
  // Constructs that never end, over many lines: each must be read in one pass.
  std::string lines200k;
  for (int i = 0; i < 200000; ++i) lines200k += "a\n";
  std::string blank200k(200000, '\n');
  std::string seqOpen = std::string(kHead) + "X ::= SEQUENCE {\n" + lines200k;
  std::string membersOpen = std::string(kHead) + "  g OBJECT-GROUP\n OBJECTS {\n" + lines200k;
  std::string tcBlanks = std::string(kHead) + "T ::= TEXTUAL-CONVENTION\n SYNTAX INTEGER\n" + blank200k + "{ a(1) }\n";
  std::string macroOpen = std::string(kHead) + "X MACRO ::=\n" + lines200k;
  for (const auto& text : {binary, nul, longLine, deep, self, std::string(), std::string("IMPORTS FROM"), seqOpen, membersOpen,
                           tcBlanks, macroOpen}) {
    TLoad l;
    EXPECT_TRUE(l.cat.LoadMib(dir.Write("SELF", text)));
  }
  TLoad l;
  l.cat.LoadMib(dir.Write("SELF", longLine));
  EXPECT_EQ(l.Oid("x"), "-");  // a number beyond 32 bits is refused, not wrapped
  EXPECT_EQ(l.errors.size(), 1u);
  TLoad d;
  d.cat.LoadMib(dir.Write("SELF", deep));
  EXPECT_EQ(d.Oid("x"), "-");  // more arcs than the catalogue keeps
}

// Real modules: every one loads, and every object listed has Net-SNMP's identifier.
TEST(MibReader, DebianModulesAgreeWithSnmptranslate) {
  const std::string sys = "/usr/share/snmp/mibs";
  std::string erl;
  std::error_code ec;
  for (fs::directory_iterator d("/usr/lib/erlang/lib", ec), end; !ec && d != end; d.increment(ec))
    if (d->path().filename().string().rfind("snmp-", 0) == 0 && fs::is_directory(d->path() / "mibs")) erl = (d->path() / "mibs").string();
  if (erl.empty() || !fs::exists(sys + "/UCD-SNMP-MIB.txt") || ::system("snmptranslate -V >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "needs snmp, libsnmp-base and the MIBs of erlang-snmp (scripts/setup)";

  std::multimap<std::string, std::string> oracle;
  std::string cmd = "snmptranslate -M " + sys + ":" + erl + ":" + erl + "/v1 -m ALL -Tz 2>/dev/null";
  FILE* p = ::popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  char buf[4096];
  while (std::fgets(buf, sizeof buf, p)) {
    std::string line = buf;
    std::size_t q1 = line.find('"'), q2 = line.find('"', q1 + 1), q3 = line.find('"', q2 + 1), q4 = line.find('"', q3 + 1);
    if (q4 == std::string::npos) continue;
    oracle.emplace(line.substr(q1 + 1, q2 - q1 - 1), line.substr(q3 + 1, q4 - q3 - 1));
  }
  ::pclose(p);
  ASSERT_GT(oracle.size(), 500u);

  std::vector<std::string> files;
  for (const auto& dir : {sys, erl, erl + "/v1"})
    for (const auto& e : fs::directory_iterator(dir))
      if (e.is_regular_file() && (e.path().extension() == ".txt" || e.path().extension() == ".mib")) files.push_back(e.path().string());
  std::sort(files.begin(), files.end());
  ASSERT_GE(files.size(), 13u + 20u);

  std::set<std::string> compared;
  bool hcnumMissing = false;
  for (const auto& file : files) {
    SCOPED_TRACE(file);
    TLoad l;
    l.cat.SystemMibFolders = true;
    l.cat.ExtraMibFolders = {erl, erl + "/v1"};
    ASSERT_TRUE(l.cat.LoadMib(file));
    for (const auto& e : l.errors) {
      // The only faults in these modules are imports that no installed package ships.
      EXPECT_NE(e.find(" файл не найден "), std::string::npos) << e;
      if (e.find("HCNUM-TC") != std::string::npos) hcnumMissing = true;
    }
    auto check = [&](const TSNMPObject& o) {
      auto range = oracle.equal_range(o.Name);
      ASSERT_NE(range.first, range.second) << o.Name << " unknown to snmptranslate";
      std::string ours = SnmpOidToString(o.Oid);
      bool same = false;
      for (auto it = range.first; it != range.second; ++it) same |= it->second == ours;
      EXPECT_TRUE(same) << o.Name << " " << ours << " snmptranslate: " << range.first->second;
      compared.insert(o.Name);
    };
    auto checkList = [&](const TSNMPObjList& list) {
      for (const TSNMPObject* o : list.Items) {
        check(*o);
        if (o->Entry) {
          check(*o->Entry);
          if (o->Entry->Sequence)
            for (const auto& c : o->Entry->Sequence->Columns) check(*c.Object);
        }
      }
    };
    for (const auto& m : l.cat.Modules.Items) checkList(*m.Objects);
    checkList(l.cat.LooseObjects);
    for (const auto& g : l.cat.Groups.Items)
      for (const auto& m : g->Members) check(*m.Object);
  }
  EXPECT_TRUE(hcnumMissing);
  // Objects from every kind of source: SMIv2 scalars, SMIv1 ones, table columns whose type
  // sits on its own line in the SEQUENCE, and enterprise objects.
  for (const char* name : {"sysUpTime", "ifNumber", "ifInOctets", "logMatchIndex", "laLoadInt", "snmpInPkts", "memTotalReal"})
    EXPECT_TRUE(compared.count(name)) << name;
  EXPECT_GT(compared.size(), 400u);
}
