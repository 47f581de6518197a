// The device model stream: a stream written byte by byte from the layout, round trips,
// older versions, pruning and hostile streams.
#include <gtest/gtest.h>

#include <cstring>

#include "iec61850/modelstream.h"
#include "iec61850/scl.h"

using namespace t32;

namespace {

// Little-endian byte builder.
struct B {
  std::string b;
  B& u8(std::uint8_t v) { b += char(v); return *this; }
  B& u16(std::uint16_t v) { return u8(v & 0xFF).u8(v >> 8); }
  B& u32(std::uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
  B& i32(std::int32_t v) { return u32(static_cast<std::uint32_t>(v)); }
  B& zeros(std::size_t n) { b.append(n, '\0'); return *this; }
  B& str(const std::string& s) { u8(static_cast<std::uint8_t>(s.size())); b += s; return *this; }
  B& fixed(const std::string& s, std::size_t cap) { str(s); return zeros(cap - s.size()); }
  B& oid(std::initializer_list<std::int32_t> arcs) {
    i32(static_cast<std::int32_t>(arcs.size()));
    for (auto a : arcs) i32(a);
    return zeros(4 * (7 - arcs.size()));
  }
  std::size_t size() const { return b.size(); }
};

// Names in the order a save of the golden model meets them.
const char* const kNames[] = {"VMD", "LD", "LLN0", "ST", "Mod", "stVal", "BR", "brcb01", "RptID"};

struct Golden {
  std::string bytes;
  std::size_t treeAt = 0, reportAt = 0;
};

void Header(B& s, int version) {
  s.i32(version);
  s.u32(7).u32(0x0A000005).i32(102).i32(10).i32(5);  // main: 10.0.0.5
  if (version > 2) s.u32(0).u32(0x0A000006).i32(102).i32(10).i32(5);  // reserve: 10.0.0.6
  s.u16(1).u16(10).u16(1024).zeros(4);  // transport
  s.u16(1).u16(1).zeros(4);             // session
  s.u32(1).u32(1).zeros(4);             // presentation
  s.oid({1, 3, 9999, 33}).i32(23).i32(11).i32(11);
  s.oid({1, 1, 9999, 10}).i32(12).i32(11).i32(11);
  s.u8(0).zeros(32).zeros(33);  // authentication: flag, mechanism, password
  s.i32(20).i32(65000).i32(1).u16(5).u16(8).u16(3).zeros(2);
}

void Node(B& s, int version, std::uint32_t name, bool domain, std::uint32_t type, std::uint32_t children) {
  s.i32(version);
  if (version == 2) s.u32(name);
  else s.str(kNames[name]);
  s.u8(domain ? 1 : 0).u32(type).u32(children);
}

Golden MakeGolden(int version) {
  B s;
  Golden g;
  Header(s, version);
  g.treeAt = s.size();
  int nv = version == 1 ? 1 : 2;
  Node(s, nv, 0, false, 0, 1);
  Node(s, nv, 1, true, 2, 1);
  Node(s, nv, 2, false, 2, 2);
  Node(s, nv, 3, false, 2, 1);
  Node(s, nv, 4, false, 2, 1);
  Node(s, nv, 5, false, 5, 0);
  Node(s, nv, 6, false, 2, 1);
  Node(s, nv, 7, false, 2, 1);
  Node(s, nv, 8, false, 10, 0);
  s.u32(1).i32(version == 1 ? 1 : 2).str("LLN0$DS1").str("LD").u8(0);
  if (version != 1) s.i32(1000);
  s.u32(1).str("LD").str("LLN0$ST$Mod$stVal");
  s.u32(1);
  g.reportAt = s.size();
  s.i32(1).fixed("brcb01", 64).fixed("LD/LLN0$DS1", 64).u8(1).u16(0).u8(0x5C).i32(60000).i32(100).u8(1).zeros(3);
  if (version > 1) {
    s.u32(1).i32(1).fixed("gcb01", 64).fixed("G1", 64).fixed("LD/LLN0$DS1", 64);
    s.u8(1).u8(0x0C).u8(0xCD).u8(1).u8(0).u8(1).i32(4).i32(0x123).i32(0x3001);
  }
  g.bytes = s.b;
  return g;
}

TStrDictionary GoldenNames() {
  TStrDictionary d;
  for (const char* n : kNames) d.Add(n);
  return d;
}

bool Load(TMMSobject& c, const std::string& bytes, const TStrDictionary& names) {
  TMemStream s(bytes.data(), bytes.size());
  return c.LoadState(s, names);
}

std::string Save(TMMSobject& c, TStrDictionary& names) {
  std::vector<char> buf(4 << 20);
  TMemStream s(buf.data(), buf.size());
  EXPECT_TRUE(c.SaveState(s, names));
  return std::string(buf.data(), static_cast<std::size_t>(s.MemPos()));
}

}  // namespace

TEST(ModelStream, HandWrittenStreamLoadsAndSavesToTheSameBytes) {
  Golden g = MakeGolden(3);
  TMMSobject c;
  ASSERT_TRUE(Load(c, g.bytes, GoldenNames()));
  EXPECT_EQ(c.Main.Reserved, 7u);
  EXPECT_EQ(c.Main.Ip[0], 10);
  EXPECT_EQ(c.Main.Ip[3], 5);
  EXPECT_EQ(c.Main.ReconnectInterval, 5);
  EXPECT_EQ(c.Reserve.Ip[3], 6);
  EXPECT_EQ(c.CalledTSAP, 10);
  EXPECT_EQ(c.RequestedTPDUSize, 1024u);
  EXPECT_EQ(OidToString(c.Acse.CalledAPTitle), "1.3.9999.33");
  EXPECT_EQ(c.Acse.CalledAEQualifier, 23);
  EXPECT_EQ(c.MaxServOutstandingCalled, 5);
  EXPECT_EQ(c.TimeShiftHours, 3);
  TMMSvar* st = c.FindVariable("LD/LLN0$ST$Mod$stVal");
  ASSERT_NE(st, nullptr);
  EXPECT_EQ(st->Type, kMmsInteger);
  EXPECT_EQ(st->FunctionalConstraint(), "ST");
  ASSERT_EQ(c.DataSets().size(), 1u);
  EXPECT_EQ(c.DataSets()[0]->ReadInterval, 1000);
  EXPECT_EQ(c.DataSets()[0]->Members, std::vector<TMMSvar*>{st});
  ASSERT_EQ(c.Reports().Count(), 1u);
  const TMMSReportParam& r = *c.Reports().Items[0];
  EXPECT_EQ(r.RptID, "brcb01");
  EXPECT_EQ(r.DatSet, "LD/LLN0$DS1");
  EXPECT_TRUE(r.Buffered && r.Enabled);
  EXPECT_EQ(r.IntgPd, 60000);
  EXPECT_EQ(r.BufTm, 100);
  ASSERT_EQ(c.GooseBlocks().Count(), 1u);
  const TGCBObject& gcb = *c.GooseBlocks().Items[0];
  EXPECT_EQ(gcb.GoID, "G1");
  EXPECT_EQ(gcb.DataSet, c.DataSets()[0].get());
  EXPECT_EQ(gcb.Mac[2], 0xCD);
  EXPECT_EQ(gcb.APPID, 0x3001);

  TStrDictionary names;
  EXPECT_EQ(Save(c, names), g.bytes);
  for (std::size_t i = 0; i < std::size(kNames); ++i) EXPECT_EQ(names[static_cast<std::uint32_t>(i)], kNames[i]);

  // The dictionary block the port stores beside the stream.
  std::vector<char> buf(256);
  TMemStream ds(buf.data(), buf.size());
  ASSERT_TRUE(DictionaryMemWrite(ds, names));
  B expect;
  expect.u32(1).u32(static_cast<std::uint32_t>(std::size(kNames)));
  for (const char* n : kNames) expect.str(n);
  EXPECT_EQ(std::string(buf.data(), static_cast<std::size_t>(ds.MemPos())), expect.b);
  TStrDictionary back;
  TMemStream rs(expect.b.data(), expect.b.size());
  ASSERT_TRUE(DictionaryMemRead(rs, back));
  EXPECT_EQ(back.Count(), std::size(kNames));
}

TEST(ModelStream, OlderVersionsLoad) {
  // Version 2: no reserve set. Version 1: also no GOOSE blocks, names stored in the nodes,
  // data sets without read interval.
  for (int version : {2, 1}) {
    SCOPED_TRACE(version);
    Golden g = MakeGolden(version);
    TMMSobject c;
    c.Reserve.Ip[0] = 9;  // replaced by the load
    ASSERT_TRUE(Load(c, g.bytes, GoldenNames()));
    EXPECT_FALSE(c.Reserve.IsSet());
    EXPECT_NE(c.FindVariable("LD/LLN0$BR$brcb01$RptID"), nullptr);
    EXPECT_EQ(c.Reports().Items.at(0)->RptID, "brcb01");
    EXPECT_EQ(c.GooseBlocks().Count(), version == 2 ? 1u : 0u);
    EXPECT_EQ(c.DataSets().at(0)->ReadInterval, version == 2 ? 1000 : -1);
    EXPECT_EQ(c.DataSets()[0]->Members.size(), 1u);
  }
}

TEST(ModelStream, SclModelRoundTripsByteForByte) {
  TMMSobject a;
  ASSERT_TRUE(LoadSCL(std::string(T32_FIXTURES) + "/scl/sample.icd", a));
  a.Main.Ip[0] = 192;
  a.Reports().Items[1]->Enabled = true;
  TStrDictionary n1, n2;
  std::string first = Save(a, n1);
  TMMSobject b;
  ASSERT_TRUE(Load(b, first, n1));
  EXPECT_EQ(Save(b, n2), first);
  EXPECT_EQ(b.FindVariable("IED1LD0/XCBR1$CO$Pos$Oper$ctlVal")->Type, kMmsBoolean);
  EXPECT_EQ(b.FindDataSet("IED1LD0/LLN0$DS1")->Members.size(), 3u);
}

TEST(ModelStream, PruningKeepsWhatDataSetsReportsAndGooseNeed) {
  TMMSobject a;
  ASSERT_TRUE(LoadSCL(std::string(T32_FIXTURES) + "/scl/sample.icd", a));
  a.Pruning = true;
  auto saveLoad = [&](TMMSobject& out) {
    TStrDictionary names;
    std::string bytes = Save(a, names);
    ASSERT_TRUE(Load(out, bytes, names));
  };
  TMMSobject b;
  saveLoad(b);
  struct {
    const char* ref;
    bool kept;
  } cases[] = {
      {"IED1LD0/XCBR1$ST$Pos$stVal", true},            // data set member
      {"IED1LD0/MMXU1$MX$PhV$phsB$cVal$mag$f", true},  // below a member
      {"IED1LD0/XCBR1$ST$Pos$q", false},               // ST, needed by nothing
      {"IED1LD0/LLN0$ST$Mod$stVal", false},
      {"IED1LD0/XCBR1$DC$Pos$d", false},
      {"IED1LD0/MMXU1$CF$PhV$phsA$db", true},  // CO, SP and CF always stay
      {"IED1LD0/XCBR1$CO$Pos$Oper$ctlVal", true},
      {"IED1LD0/LLN0$SP$SGCB$ActSG", true},
      {"IED1LD0/LLN0$BR$brcb02$EntryID", true},
      {"IED1LD0/LLN0$RP$urcbA$Resv", true},
      {"IED1LD0/LLN0$GO$gcb01$DstAddress$APPID", true},  // a GOOSE block
      {"BAY1CTRL/GGIO1", true},                          // logical nodes have no constraint
  };
  for (const auto& c : cases) EXPECT_EQ(b.FindVariable(c.ref) != nullptr, c.kept) << c.ref;
  // The marks are made for each save: a member taken out of the data set is pruned next time.
  TDataSet* ds = a.FindDataSet("IED1LD0/LLN0$DS1");
  ds->Members.erase(ds->Members.begin());
  TMMSobject d;
  saveLoad(d);
  EXPECT_EQ(d.FindVariable("IED1LD0/XCBR1$ST$Pos$stVal"), nullptr);
  // Without pruning everything goes.
  a.Pruning = false;
  TMMSobject e;
  saveLoad(e);
  EXPECT_NE(e.FindVariable("IED1LD0/XCBR1$ST$Pos$q"), nullptr);
}

TEST(ModelStream, HostileStreamsFailCleanly) {
  Golden g = MakeGolden(3);
  TStrDictionary names = GoldenNames();
  // Every truncation fails: the reader never goes past the stored length.
  for (std::size_t n = 0; n < g.bytes.size(); ++n) {
    TMMSobject c;
    EXPECT_FALSE(Load(c, g.bytes.substr(0, n), names)) << n;
  }
  auto patch32 = [&](std::size_t at, std::uint32_t v) {
    std::string b = g.bytes;
    std::memcpy(&b[at], &v, 4);
    return b;
  };
  const std::size_t acseAt = 4 + 20 + 20 + 10 + 8 + 12;
  struct {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"state version 4", patch32(0, 4)},
      {"AP title of 8 arcs", patch32(acseAt, 8)},
      {"node version 3", patch32(g.treeAt, 3)},
      {"name index outside the dictionary", patch32(g.treeAt + 4, 99)},
      {"type 200", patch32(g.treeAt + 9, 200)},
      {"more children than bytes", patch32(g.treeAt + 13, 0x7FFFFFFF)},
      {"RptID longer than its field", [&] {
         std::string b = g.bytes;
         b[g.reportAt + 4] = char(65);
         return b;
       }()},
      {"report count beyond the bytes", patch32(g.reportAt - 4, 1000)},
  };
  for (const auto& c : cases) {
    TMMSobject client;
    EXPECT_FALSE(Load(client, c.bytes, names)) << c.name;
  }
  // Nesting deeper than 64 levels.
  B deep;
  Header(deep, 3);
  for (int i = 0; i < 70; ++i) Node(deep, 2, 3, false, 2, 1);
  Node(deep, 2, 5, false, 5, 0);
  deep.u32(0).u32(0).u32(0);
  TMMSobject c;
  EXPECT_FALSE(Load(c, deep.b, names));
  // A dictionary block that repeats a name would shift every index after it.
  B dict;
  dict.u32(1).u32(3).str("a").str("b").str("a");
  TStrDictionary d;
  TMemStream s(dict.b.data(), dict.b.size());
  EXPECT_FALSE(DictionaryMemRead(s, d));
}
