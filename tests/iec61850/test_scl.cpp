// The SCL reader: a hand-written ICD, a generated two-IED SCD and broken files.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include <unistd.h>

#include "iec61850/scl.h"
#include "model/messages.h"

using namespace t32;

namespace {

struct TRecorder : TMessages {
  void ShowError(const std::string& t) override { errors.push_back(t); }
  int AskConfirm(const std::string&, bool) override { return kYes; }
  std::vector<std::string> errors;
};

const std::string kSample = std::string(T32_FIXTURES) + "/scl/sample.icd";

std::string ReadText(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

class Scl : public ::testing::Test {
 protected:
  TMMSvar* Var(const std::string& ref) { return client.FindVariable(ref); }
  std::size_t ChildCount(const std::string& ref) {
    TMMSvar* v = Var(ref);
    return v ? v->Children.size() : 0;
  }
  TMMSobject client;
  TRecorder msgs;
};

}  // namespace

TEST_F(Scl, SampleIcdBuildsTheModel) {
  ASSERT_TRUE(LoadSCL(kSample, client, {}, &msgs));
  EXPECT_TRUE(msgs.errors.empty());
  const auto& dict = client.Dictionary();
  // Nodes and their type tags.
  struct {
    const char* ref;
    int type;  // -1: must be absent
  } nodes[] = {
      {"IED1LD0/XCBR1$ST$Pos$stVal", kMmsBitString},  // Dbpos
      {"IED1LD0/XCBR1$ST$Pos$q", kMmsBitString},
      {"IED1LD0/XCBR1$CO$Pos$Oper$ctlVal", kMmsBoolean},
      {"IED1LD0/XCBR1$CO$Pos$Oper$origin$orIdent", kMmsOctetString},
      {"IED1LD0/XCBR1$CO$Pos$Oper$T", kMmsUtcTime},
      {"IED1LD0/XCBR1$CO$Pos$Oper$Check", kMmsBitString},
      {"IED1LD0/XCBR1$CO$Pos$Oper", kMmsStructure},
      {"IED1LD0/XCBR1$DC$Pos$d", kMmsVisibleString},
      {"IED1LD0/XCBR1$X$Pos$odd", -1},  // a functional constraint of one letter
      {"IED1LD0/MMXU1$MX$PhV$phsA$cVal$mag$f", kMmsFloat},
      {"IED1LD0/MMXU1$CF$PhV$phsB$db", kMmsUnsigned},
      {"IED1LD0/LLN0$ST$Mod$stVal", kMmsInteger},
      {"IED1LD0/LLN0$BR$brcb01$PurgeBuff", kMmsBoolean},
      {"IED1LD0/LLN0$BR$brcb03$TimeOfEntry", kMmsBinaryTime},
      {"IED1LD0/LLN0$BR$brcb04", -1},
      {"IED1LD0/LLN0$RP$urcbA$Resv", kMmsBoolean},
      {"IED1LD0/LLN0$RP$urcbA01", -1},  // not indexed: the bare name
      {"IED1LD0/LLN0$GO$gcb01$DstAddress$APPID", kMmsUnsigned},
      {"IED1LD0/LLN0$GO$gcb01$DstAddress", kMmsStructure},
      {"IED1LD0/LLN0$SP$SGCB$ActSG", kMmsUnsigned},
      {"IED1LD0/LLN0$SP$SGCB$LActTm", kMmsUtcTime},
      {"BAY1CTRL/LLN0$ST$Mod$stVal", kMmsInteger},  // ldName names the domain
      {"IED1CTRL/LLN0", -1},
  };
  for (const auto& n : nodes) {
    TMMSvar* v = Var(n.ref);
    if (n.type < 0) {
      EXPECT_EQ(v, nullptr) << n.ref;
      continue;
    }
    ASSERT_NE(v, nullptr) << n.ref;
    EXPECT_EQ(v->Type, n.type) << n.ref;
  }
  EXPECT_EQ(Var("IED1LD0/XCBR1$ST$Pos$stVal")->FunctionalConstraint(), "ST");
  for (const char* b : {"brcb01", "brcb02", "brcb03"})
    EXPECT_EQ(ChildCount(std::string("IED1LD0/LLN0$BR$") + b), 15u) << b;
  EXPECT_EQ(ChildCount("IED1LD0/LLN0$RP$urcbA"), 12u);
  EXPECT_EQ(ChildCount("IED1LD0/LLN0$GO$gcb01"), 9u);  // DstAddress holds four of the 13
  EXPECT_EQ(ChildCount("IED1LD0/LLN0$GO$gcb01$DstAddress"), 4u);
  EXPECT_EQ(ChildCount("IED1LD0/LLN0$SP$SGCB"), 6u);
  EXPECT_EQ(dict[Var("IED1LD0/LLN0$BR$brcb01")->Children[0]->Name], "RptID");
  EXPECT_EQ(dict[Var("IED1LD0/LLN0$BR$brcb01")->Children[14]->Name], "Owner");
  // An LN holding an SGCB element anywhere gets no children.
  ASSERT_NE(Var("BAY1CTRL/GGIO1"), nullptr);
  EXPECT_EQ(ChildCount("BAY1CTRL/GGIO1"), 0u);

  // Data set: "." in doName and daName become "$"; the member of a missing LN is dropped.
  TDataSet* ds = client.FindDataSet("IED1LD0/LLN0$DS1");
  ASSERT_NE(ds, nullptr);
  EXPECT_EQ(ds->MemberNames, (std::vector<std::string>{"IED1LD0/XCBR1$ST$Pos$stVal",
                                                       "IED1LD0/MMXU1$MX$PhV$phsA$cVal$mag$f",
                                                       "IED1LD0/MMXU1$MX$PhV$phsB"}));
  ASSERT_EQ(ds->Members.size(), 3u);
  EXPECT_EQ(ds->Members[1], Var("IED1LD0/MMXU1$MX$PhV$phsA$cVal$mag$f"));

  // Reports: three instances of brcb, the bare urcbA.
  const auto& reports = client.Reports().Items;
  ASSERT_EQ(reports.size(), 4u);
  const char* ids[] = {"brcb01", "brcb02", "brcb03", "urcbA"};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(reports[i]->RptID, ids[i]);
    EXPECT_EQ(reports[i]->DatSet, "IED1LD0/LLN0$DS1");
    EXPECT_EQ(reports[i]->Buffered, i < 3);
    EXPECT_EQ(client.ResolveDataSet(reports[i]->DatSet), ds);
  }
  EXPECT_EQ(reports[0]->IntgPd, 5000);
  EXPECT_EQ(reports[0]->BufTm, 100);
  EXPECT_EQ(reports[3]->IntgPd, 60000);  // default kept
  EXPECT_EQ(reports[3]->TrgOps, 0x5C);

  // GOOSE block with the addressing of its GSE (cbName compared without case).
  ASSERT_EQ(client.GooseBlocks().Count(), 1u);
  const TGCBObject& g = *client.GooseBlocks().Items[0];
  EXPECT_EQ(g.Name, "gcb01");
  EXPECT_EQ(g.GoID, "IED1_GOOSE");
  EXPECT_EQ(g.DataSet, ds);
  EXPECT_EQ(g.Mac, (std::array<std::uint8_t, 6>{0x01, 0x0C, 0xCD, 0x01, 0x00, 0x01}));
  EXPECT_EQ(g.APPID, 0x3001);
  EXPECT_EQ(g.VID, 0x123);
  EXPECT_EQ(g.Priority, 4);

  // Called addressing: selectors are hexadecimal, blanks skipped; the title's arcs are
  // separated by blanks.
  EXPECT_EQ(client.CalledPSEL, 1u);
  EXPECT_EQ(client.CalledSSEL, 1u);
  EXPECT_EQ(client.CalledTSAP, 10u);
  EXPECT_EQ(OidToString(client.Acse.CalledAPTitle), "1.3.9999.33");
  EXPECT_EQ(client.Acse.CalledAEQualifier, 23);
}

TEST(SclTypes, BasicTypeTable) {
  struct {
    const char* name;
    int tag;
  } cases[] = {{"BOOLEAN", 3}, {"boolean", 3}, {"INT128", 9},    {"Dbpos", 4},       {"Tcmd", 4},
               {"Unicode255", 16}, {"Check", 4}, {"ObjRef", 10}, {"EntryID", 9},    {"EntryTime", 12},
               {"VisString129", 10}, {"visstring65", 10}, {"VISSTRIN", 0}, {"Struct", 2}, {"Foo", 0}, {"", 0}};
  for (const auto& c : cases) EXPECT_EQ(SclTypeTag(c.name), c.tag) << c.name;
}

namespace {
// A two-IED SCD whose Communication section lists the second IED first.
std::string TwoIedScd() {
  auto ied = [](const char* name) {
    return std::string("<IED name=\"") + name + "\"><AccessPoint name=\"S1\"><Server><LDevice inst=\"LD0\">"
           "<LN0 lnClass=\"LLN0\" inst=\"\" lnType=\"T\"/></LDevice></Server></AccessPoint></IED>";
  };
  auto ap = [](const char* name, const char* psel) {
    return std::string("<ConnectedAP iedName=\"") + name + "\" apName=\"S1\"><Address><P type=\"OSI-PSEL\">" + psel +
           "</P></Address></ConnectedAP>";
  };
  return "<SCL><Communication><SubNetwork name=\"N\">" + ap("IEDB", "00000002") + ap("IEDA", "00000001") +
         "</SubNetwork></Communication>" + ied("IEDA") + ied("IEDB") +
         "<DataTypeTemplates><LNodeType id=\"T\" lnClass=\"LLN0\"><DO name=\"Mod\" type=\"D\"/></LNodeType>"
         "<DOType id=\"D\"><DA name=\"stVal\" bType=\"INT32\" fc=\"ST\"/></DOType></DataTypeTemplates></SCL>";
}
}  // namespace

TEST_F(Scl, EachIedOfAnScdLoadsItsOwnModelAndSelectors) {
  std::string scd = TwoIedScd();
  struct {
    const char* ied;
    const char* domain;
    const char* other;
    std::uint32_t psel;
  } cases[] = {{"", "IEDALD0", "IEDBLD0", 1}, {"IEDA", "IEDALD0", "IEDBLD0", 1}, {"iedb", "IEDBLD0", "IEDALD0", 2}};
  for (const auto& c : cases) {
    TMMSobject fresh;
    ASSERT_TRUE(LoadSCLBytes(scd, "x.scd", fresh, c.ied, &msgs)) << c.ied;
    EXPECT_NE(fresh.FindVariable(std::string(c.domain) + "/LLN0$ST$Mod$stVal"), nullptr) << c.ied;
    EXPECT_EQ(fresh.FindVariable(std::string(c.other) + "/LLN0"), nullptr) << c.ied;
    EXPECT_EQ(fresh.CalledPSEL, c.psel) << c.ied;
  }
  std::vector<std::string> names;
  std::string path = ::testing::TempDir() + "two.scd";
  std::ofstream(path, std::ios::binary) << scd;
  ASSERT_TRUE(ListSCLIeds(path, names, &msgs));
  EXPECT_EQ(names, (std::vector<std::string>{"IEDA", "IEDB"}));
  std::remove(path.c_str());
}

TEST_F(Scl, BadFilesEndInAMessageOrAPartialModel) {
  const std::string sample = ReadText(kSample);
  ASSERT_FALSE(sample.empty());
  std::string deep = "<SCL><IED name=\"D\"><Server><LDevice inst=\"L\"><LN0 lnClass=\"LLN0\" inst=\"\" lnType=\"T\">";
  for (int i = 0; i < 100000; ++i) deep += "<x>";
  for (int i = 0; i < 100000; ++i) deep += "</x>";
  deep += "</LN0></LDevice></Server></IED><DataTypeTemplates/></SCL>";
  const std::string cycle =
      "<SCL><IED name=\"C\"><Server><LDevice inst=\"L\"><LN0 lnClass=\"LLN0\" inst=\"\" lnType=\"T\"/></LDevice>"
      "</Server></IED><DataTypeTemplates><LNodeType id=\"T\"><DO name=\"D\" type=\"DO\"/></LNodeType>"
      "<DOType id=\"DO\"><DA name=\"s\" bType=\"Struct\" type=\"A\" fc=\"ST\"/><DA name=\"v\" bType=\"INT8\" fc=\"ST\"/>"
      "<SDO name=\"self\" type=\"DO\"/></DOType>"
      "<DAType id=\"A\"><BDA name=\"x\" bType=\"INT8\"/><BDA name=\"loop\" bType=\"Struct\" type=\"A\"/></DAType>"
      "</DataTypeTemplates></SCL>";
  const std::string kUnreadable = "Не удалось прочитать файл bad.scd";
  const std::string kNoIed = "В файле bad.scd нет описания IED";
  struct {
    const char* name;
    std::string bytes;
    bool loads;
    std::string message;
    const char* present;  // a node of the new model when it loads
  } cases[] = {
      {"empty", "", false, kUnreadable, nullptr},
      {"not XML", "this is not XML at all", false, kUnreadable, nullptr},
      {"truncated", sample.substr(0, sample.size() / 2), false, kUnreadable, nullptr},
      {"no IED", "<SCL><DataTypeTemplates/></SCL>", false, kNoIed, nullptr},
      {"no Server", "<SCL><IED name=\"A\"/><DataTypeTemplates/></SCL>", false, kNoIed, nullptr},
      {"no templates", "<SCL><IED name=\"A\"><Server/></IED></SCL>", false, kNoIed, nullptr},
      {"named IED absent", sample, false, kNoIed, nullptr},
      {"type cycle", cycle, true, "", "CL/LLN0$ST$D$s$x"},
      {"100,000 nested elements", deep, true, "", "DL/LLN0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TMMSobject fresh;
    ASSERT_TRUE(LoadSCL(kSample, fresh));
    msgs.errors.clear();
    const char* ied = std::string(c.name) == "named IED absent" ? "NOPE" : "";
    EXPECT_EQ(LoadSCLBytes(c.bytes, "bad.scd", fresh, ied, &msgs), c.loads);
    if (!c.loads) {
      EXPECT_EQ(msgs.errors, std::vector<std::string>{c.message});
      EXPECT_NE(fresh.FindVariable("IED1LD0/XCBR1$ST$Pos$stVal"), nullptr);  // the old model stays
      EXPECT_EQ(fresh.Reports().Count(), 4u);
    } else {
      EXPECT_TRUE(msgs.errors.empty());
      EXPECT_NE(fresh.FindVariable(c.present), nullptr);
      EXPECT_EQ(fresh.FindVariable("IED1LD0/XCBR1"), nullptr);
    }
  }
  // The cycle ends its branch; the rest of the type is there.
  TMMSobject c;
  ASSERT_TRUE(LoadSCLBytes(cycle, "c.scd", c));
  EXPECT_NE(c.FindVariable("CL/LLN0$ST$D$v"), nullptr);
  EXPECT_EQ(c.FindVariable("CL/LLN0$ST$D$s$loop"), nullptr);
  EXPECT_EQ(c.FindVariable("CL/LLN0$ST$D$self"), nullptr);
  // A missing file.
  msgs.errors.clear();
  EXPECT_FALSE(LoadSCL("/nonexistent/x.icd", c, {}, &msgs));
  EXPECT_EQ(msgs.errors, std::vector<std::string>{"Не удалось прочитать файл /nonexistent/x.icd"});
}

TEST_F(Scl, TypesNestNoDeeperThanSixteenLevels) {
  // DO "D" -> DAType T1 -> T2 -> ... -> T20, each with a leaf "v" and the next level "n".
  std::string types;
  for (int i = 1; i <= 20; ++i)
    types += "<DAType id=\"T" + std::to_string(i) + "\"><BDA name=\"v\" bType=\"INT8\"/>" +
             (i < 20 ? "<BDA name=\"n\" bType=\"Struct\" type=\"T" + std::to_string(i + 1) + "\"/>" : "") + "</DAType>";
  std::string scl = "<SCL><IED name=\"N\"><Server><LDevice inst=\"L\"><LN0 lnClass=\"LLN0\" inst=\"\" lnType=\"L\"/>"
                    "</LDevice></Server></IED><DataTypeTemplates><LNodeType id=\"L\"><DO name=\"D\" type=\"DO\"/>"
                    "</LNodeType><DOType id=\"DO\"><DA name=\"s\" bType=\"Struct\" type=\"T1\" fc=\"ST\"/></DOType>" +
                    types + "</DataTypeTemplates></SCL>";
  ASSERT_TRUE(LoadSCLBytes(scl, "n.scd", client));
  auto path = [](int levels) {
    std::string p = "NL/LLN0$ST$D$s";
    for (int i = 1; i < levels; ++i) p += "$n";
    return p + "$v";
  };
  // The DO type is one level of the sixteen; the data attribute types take the rest.
  EXPECT_NE(Var(path(15)), nullptr);
  EXPECT_EQ(Var(path(16)), nullptr);
}

TEST_F(Scl, FilesOverTheSizeLimitAreRefused) {
  ASSERT_TRUE(LoadSCL(kSample, client));
  std::string path = ::testing::TempDir() + "huge.scd";
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fclose(f);
  ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(kMaxSclFileSize + 1)), 0);  // sparse
  EXPECT_FALSE(LoadSCL(path, client, {}, &msgs));
  EXPECT_EQ(msgs.errors, std::vector<std::string>{"Не удалось прочитать файл " + path});
  EXPECT_NE(Var("IED1LD0/XCBR1$ST$Pos$stVal"), nullptr);
  std::remove(path.c_str());
}

TEST_F(Scl, TypesThatFanOutAtEveryLevelStayWithinTheModelLimit) {
  // Eight levels of ten members each: 10^8 attributes if nothing held the expansion.
  std::string types;
  for (int i = 1; i <= 8; ++i) {
    types += "<DAType id=\"T" + std::to_string(i) + "\">";
    for (int k = 0; k < 10; ++k)
      types += "<BDA name=\"m" + std::to_string(k) + "\" bType=\"" +
               (i < 8 ? "Struct\" type=\"T" + std::to_string(i + 1) : std::string("INT8")) + "\"/>";
    types += "</DAType>";
  }
  std::string lns;
  for (int i = 1; i <= 50; ++i) lns += "<LN lnClass=\"GGIO\" inst=\"" + std::to_string(i) + "\" lnType=\"L\"/>";
  std::string scl = "<SCL><IED name=\"F\"><Server><LDevice inst=\"L\">" + lns +
                    "</LDevice></Server></IED><DataTypeTemplates><LNodeType id=\"L\"><DO name=\"D\" type=\"DO\"/>"
                    "</LNodeType><DOType id=\"DO\"><DA name=\"s\" bType=\"Struct\" type=\"T1\" fc=\"ST\"/></DOType>" +
                    types + "</DataTypeTemplates></SCL>";
  ASSERT_TRUE(LoadSCLBytes(scl, "f.scd", client));
  EXPECT_LE(client.NodeCount(), TMMSobject::kMaxModelNodes);
  EXPECT_NE(Var("FL/GGIO1$ST$D$s$m0$m0$m0$m0$m0$m0$m0$m0"), nullptr);
}
