// Report setup and reception, data set definition and GOOSE control blocks of the MMS client
// against the test server over loopback.
#include <gtest/gtest.h>

#include <poll.h>

#include <algorithm>

#include "iec61850/mms_test_server.h"
#include "iec61850/mmsclient.h"

using namespace t32;
using namespace t32test;
using namespace std::chrono_literals;

namespace {

struct TRecorder : TMMSEvents {
  void VariableUpdated(TMMSvar* v) override { updated.push_back(v); }
  void ReportStepChanged(int s) override { steps.push_back(s); }
  void Trace(const std::string& t) override {
    if (t.rfind("Report:", 0) == 0) traces.push_back(t);
  }
  std::vector<TMMSvar*> updated;
  std::vector<int> steps;
  std::vector<std::string> traces;
};

class Reports : public ::testing::Test {
 protected:
  void SetUp() override {
    BuildReportModel(server);
    client.Main.Ip[0] = 127;
    client.Main.Ip[3] = 1;
    client.Main.Port = server.Port();
    client.ApplyAddress();
    client.Events = &ev;
  }
  // skew: how far the client's clock runs ahead of the real one.
  template <class F> bool Run(F done, std::chrono::milliseconds limit = 5000ms) {
    auto end = TClock::now() + limit;
    while (TClock::now() < end) {
      server.Poll();
      client.Tick(TClock::now() + skew);
      if (done()) return true;
      pollfd p[2] = {{server.Fd(), POLLIN, 0}, {client.Fd(), client.PollEvents(), 0}};
      ::poll(p, client.Fd() >= 0 ? 2 : 1, 2);
    }
    return done();
  }
  bool Load() {
    if (!Run([&] { return client.MMSState() == TMMSobject::kMmsAssociated; }) || !client.LoadModel()) return false;
    bool ok = Run([&] { return client.ModelLoaded(); });
    ev.updated.clear();
    return ok;
  }
  TMMSReportParam* Report(const char* id) { return client.Reports().Find(id); }
  TMMSvar* Var(const char* ref) { return client.FindVariable(ref); }
  std::string Text(const char* ref) {
    TMMSvar* v = Var(ref);
    return v ? NodeValueText(*v, client.Dictionary()) : "<missing>";
  }
  // Write requests (confirmed request [5]) that arrived at the server.
  std::vector<Bytes> Writes() const {
    std::vector<Bytes> out;
    for (const auto& r : server.mmsRequests) {
      std::size_t idLen = std::uint8_t(r[1]);
      if (r.size() > 2 + idLen && std::uint8_t(r[2 + idLen]) == 0xA5) out.push_back(r);
    }
    return out;
  }
  std::chrono::seconds skew{0};
  TTestMmsServer server;
  TMMSobject client;
  TRecorder ev;
};

Bytes Vs(const std::string& s) { return DataVisibleString(s); }
// OptFlds with the given bit numbers set.
Bytes Opt(std::initializer_list<int> bits) {
  std::uint64_t v = 0;
  for (int b : bits) v |= std::uint64_t(1) << (9 - b);
  return DataBits(10, v);
}

}  // namespace

TEST_F(Reports, SetupWritesTheControlBlocksAndEnablesThem) {
  ASSERT_TRUE(Load());
  client.BuildReportList();
  ASSERT_EQ(client.Reports().Count(), 4u);
  TMMSReportParam* br = Report("BR01");
  TMMSReportParam* rp = Report("RP01");
  ASSERT_TRUE(br && rp);
  EXPECT_TRUE(br->Buffered);
  EXPECT_EQ(br->DatSet, "RPTLD/LLN0$DS1");
  EXPECT_EQ(br->IntgPd, 0);  // the block's value
  br->IntgPd = 60000;
  EXPECT_FALSE(rp->Buffered);
  rp->DatSet = "RPTLD/LLN0$DS1";
  rp->IntgPd = 60000;
  client.EnableReports({br, rp}, true);
  ASSERT_TRUE(Run([&] { return client.ReportStep() == 11; })) << "step " << client.ReportStep();
  EXPECT_TRUE(br->Active);
  EXPECT_TRUE(rp->Active);
  EXPECT_TRUE(client.Reports().AllActive);
  EXPECT_EQ(ev.steps.back(), 11);
  EXPECT_EQ(client.Dictionary()[br->Block->Name], "brcb01");  // the block already carrying the data set
  EXPECT_EQ(client.Dictionary()[rp->Block->Name], "urcb01");

  // The settings writes, value by value: Resv, RptID, DatSet, OptFlds, (EntryID, ResvTms),
  // TrgOps, IntgPd, BufTm.
  auto writes = Writes();
  ASSERT_GE(writes.size(), 3u);
  const Bytes dataSet = Vs("RPTLD/LLN0$DS1");
  const Bytes trgOps = {char(0x84), 2, 2, 0x5C};
  const Bytes intgPd = {char(0x86), 3, 0, char(0xEA), 0x60};
  const Bytes bufTm = {char(0x86), 1, 0};
  Bytes brData = Vs("BR01") + dataSet + Bytes{char(0x84), 3, 6, char(0xC3), 0} +
                 Bytes{char(0x89), 8, 0, 0, 0, 0, 0, 0, 0, 0} + Bytes{char(0x85), 1, 1} + trgOps + intgPd + bufTm;
  Bytes rpData = Bytes{char(0x83), 1, 1} + Vs("RP01") + dataSet + Bytes{char(0x84), 3, 6, char(0xC0), 0} + trgOps +
                 intgPd + bufTm;
  auto holds = [&](const Bytes& data) {
    Bytes list = Bytes{char(0xA0), char(data.size())} + data;
    return std::any_of(writes.begin(), writes.end(), [&](const Bytes& w) {
      return w.size() >= list.size() && w.compare(w.size() - list.size(), list.size(), list) == 0;
    });
  };
  EXPECT_TRUE(holds(brData));
  EXPECT_TRUE(holds(rpData));
  // RptEna true for both in one request.
  EXPECT_TRUE(holds(Bytes{char(0x83), 1, 1} + Bytes{char(0x83), 1, 1}));
}

TEST_F(Reports, DataSetsTheClientOwnsAreDefinedButNeverTheReservedOnes) {
  ASSERT_TRUE(Load());
  auto own = std::make_unique<TDataSet>();
  own->Name = "DSX";
  own->MustExist = true;
  own->Members = {Var("RPTLD/GGIO1$ST$Ind1$stVal")};
  auto reserved = std::make_unique<TDataSet>();
  reserved->Name = "DSetTR";
  reserved->MustExist = true;
  reserved->Members = {Var("RPTLD/GGIO1$ST$Ind2$stVal")};
  client.DataSets().push_back(std::move(own));
  client.DataSets().push_back(std::move(reserved));
  for (const char* set : {"DSetTR", "DSX"}) {
    TMMSReportParam* r = client.Reports().Add();
    r->RptID = std::string("R_") + set;
    r->DatSet = set;
  }
  client.EnableReports({}, true);
  ASSERT_TRUE(Run([&] { return client.ReportStep() == 11 || client.ReportStep() == 12; }));
  ASSERT_EQ(server.definedSets.size(), 1u);
  EXPECT_EQ(server.definedSets[0].name, "DSX");
  EXPECT_EQ(server.definedSets[0].members, std::vector<std::string>{"GGIO1$ST$Ind1$stVal"});
  EXPECT_TRUE(client.FindDataSet("DSX")->Present);
  // The block of the report on DSX names the data set alone: it is association-specific.
  TMMSReportParam* rx = Report("R_DSX");
  ASSERT_NE(rx->Block, nullptr);
  auto writes = Writes();
  EXPECT_TRUE(std::any_of(writes.begin(), writes.end(), [](const Bytes& w) { return w.find(Vs("DSX")) != Bytes::npos; }));
}

TEST_F(Reports, RefusedDefinitionDoesNotHoldTheSetupBack) {
  server.refuseDefine = true;
  ASSERT_TRUE(Load());
  auto own = std::make_unique<TDataSet>();
  own->Name = "DSX";
  own->MustExist = true;
  own->Members = {Var("RPTLD/GGIO1$ST$Ind1$stVal")};
  client.DataSets().push_back(std::move(own));
  TMMSReportParam* r = client.Reports().Add();
  r->DatSet = "DSX";
  client.EnableReports({}, true);
  ASSERT_TRUE(Run([&] { return client.ReportStep() >= 4; }));
  int defines = 0;
  for (const auto& q : server.mmsRequests)
    if (q.find(Bytes{char(0xAB)}) != Bytes::npos && q.find("DSX") != Bytes::npos) ++defines;
  EXPECT_EQ(defines, 1);
}

TEST_F(Reports, RefusedRptEnaRetriesAfterTheDelay) {
  server.refuseRptEna = true;
  ASSERT_TRUE(Load());
  client.BuildReportList();
  TMMSReportParam* br = Report("BR01");
  client.EnableReports({br}, true);
  ASSERT_TRUE(Run([&] { return client.ReportStep() == 12; }));
  EXPECT_FALSE(br->Active);
  EXPECT_FALSE(client.Reports().AllActive);
  ev.steps.clear();
  // Nothing happens before the delay is up.
  skew = 15s;
  Run([&] { return false; }, 100ms);
  EXPECT_TRUE(ev.steps.empty());
  server.refuseRptEna = false;
  skew = 21s;
  ASSERT_TRUE(Run([&] { return client.ReportStep() == 11; }));
  ASSERT_FALSE(ev.steps.empty());
  EXPECT_EQ(ev.steps.front(), 2);
  EXPECT_TRUE(br->Active);
}

TEST_F(Reports, BlockHeldByAnotherClientIsLeftForTheNextOne) {
  server.reservedElsewhere = {"RPTLD/LLN0$RP$urcb01"};
  ASSERT_TRUE(Load());
  client.BuildReportList();
  TMMSReportParam* rp = Report("RP01");
  rp->DatSet = "RPTLD/LLN0$DS1";
  client.EnableReports({rp}, true);
  ASSERT_TRUE(Run([&] { return client.ReportStep() == 12; }));
  EXPECT_FALSE(rp->Active);
  skew = 21s;
  ASSERT_TRUE(Run([&] { return client.ReportStep() == 11; }));
  EXPECT_TRUE(rp->Active);
  ASSERT_NE(rp->Block, nullptr);
  EXPECT_EQ(client.Reference(rp->Block), "RPTLD/LLN0$RP$urcb02");
}

TEST_F(Reports, RestartDisablesAndSetsUpAgain) {
  ASSERT_TRUE(Load());
  client.BuildReportList();
  TMMSReportParam* rp = Report("RP01");
  rp->DatSet = "RPTLD/LLN0$DS1";
  client.EnableReports({rp}, true);
  ASSERT_TRUE(Run([&] { return client.ReportStep() == 11; }));
  ASSERT_TRUE(Run([&] { return !client.WriteOutstanding(); }));  // the GI write
  ev.steps.clear();
  ASSERT_TRUE(client.RestartReports());
  ASSERT_TRUE(Run([&] { return client.ReportStep() == 11; }));
  EXPECT_EQ(ev.steps.front(), 6);
  EXPECT_TRUE(rp->Active);
}

TEST_F(Reports, InformationReportsUpdateTheDataSetMembers) {
  ASSERT_TRUE(Load());
  client.BuildReportList();
  TMMSReportParam* br = Report("BR01");
  ASSERT_NE(br, nullptr);
  const Bytes entry = {1, 2, 3, 4, 5, 6, 7, 8};
  const Bytes incl101 = DataBits(3, 0b101), incl010 = DataBits(3, 0b010);
  struct Case {
    const char* name;
    Bytes report;
    bool accepted;
    const char* ind1;  // expected values afterwards
    const char* ind2;
    const char* f;
    std::int64_t sqNum;
  } cases[] = {
      {"no sequence number", Vs("BR01") + Opt({}) + incl101 + DataBool(true) + DataFloat(2.5f), true, "true", "false",
       "2.5", 77},
      {"sequence, time, data set, overflow, EntryID, revision",
       Vs("BR01") + Opt({1, 2, 4, 6, 7, 8}) + DataUnsigned(5) + DataOctets(Bytes(6, 0)) + Vs("RPTLD/LLN0$DS1") +
           DataBool(true) + DataOctets(entry) + DataUnsigned(3) + incl010 + DataBool(true),
       true, "false", "true", "0", 5},
      {"segmented", Vs("BR01") + Opt({1, 9}) + DataUnsigned(6) + DataUnsigned(0) + DataBool(true) + incl101 +
                        DataBool(true) + DataFloat(-1.0f),
       true, "true", "false", "-1", 6},
      // Two included members: two references before the values.
      {"data references", Vs("BR01") + Opt({5}) + incl101 + Vs("RPTLD/GGIO1$ST$Ind1$stVal") +
                              Vs("RPTLD/GGIO1$MX$AnIn1$mag$f") + DataBool(true) + DataFloat(7.0f),
       true, "true", "false", "7", 77},
      {"unknown RptID", Vs("NOPE") + Opt({}) + incl101 + DataBool(true) + DataFloat(9.0f), false, "false", "false",
       "0", 77},
      {"wrong inclusion length", Vs("BR01") + Opt({}) + DataBits(4, 0b1010) + DataBool(true) + DataFloat(9.0f), false,
       "false", "false", "0", 77},
      {"value missing", Vs("BR01") + Opt({1}), false, "false", "false", "0", 77},
  };
  TMMSvar* ind1 = Var("RPTLD/GGIO1$ST$Ind1$stVal");
  TMMSvar* ind2 = Var("RPTLD/GGIO1$ST$Ind2$stVal");
  TMMSvar* f = Var("RPTLD/GGIO1$MX$AnIn1$mag$f");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (TMMSvar* v : {ind1, ind2}) {
      v->Value = std::make_unique<TMMSDataContainer>();
      v->Value->kind = kMmsBoolean;
      v->Value->valid = true;
      v->ValueReceived = true;
    }
    f->Value = std::make_unique<TMMSDataContainer>();
    f->Value->kind = kMmsFloat;
    f->Value->valid = true;
    f->ValueReceived = true;
    br->SqNum = 77;
    br->BufOvfl = false;
    br->EntryID = {};
    ev.updated.clear();
    ev.traces.clear();
    auto reports = client.Stats().Get(TStatHolder::kReports);
    auto errors = client.Stats().Get(TStatHolder::kStructureErrors);
    server.SendReport(c.report);
    ASSERT_TRUE(Run([&] { return client.Stats().Get(TStatHolder::kReports) == reports + 1; }));
    EXPECT_EQ(client.Stats().Get(TStatHolder::kStructureErrors), errors + (c.accepted ? 0 : 1));
    EXPECT_EQ(ev.traces.size(), c.accepted ? 1u : 0u);
    if (c.accepted) {
      EXPECT_EQ(ev.traces[0], "Report:BR01");
    }
    EXPECT_EQ(Text("RPTLD/GGIO1$ST$Ind1$stVal"), c.ind1);
    EXPECT_EQ(Text("RPTLD/GGIO1$ST$Ind2$stVal"), c.ind2);
    EXPECT_EQ(Text("RPTLD/GGIO1$MX$AnIn1$mag$f"), c.f);
    EXPECT_EQ(br->SqNum, c.sqNum);
  }
  // The overflow and EntryID case stored both for the buffered report.
  server.SendReport(cases[1].report);
  ASSERT_TRUE(Run([&] { return br->EntryID[7] == 8; }));
  EXPECT_TRUE(br->BufOvfl);
  EXPECT_TRUE(br->Seen);
  EXPECT_EQ(client.MMSState(), TMMSobject::kMmsAssociated);
}

TEST_F(Reports, GooseBlocksAreReadAfterTheLoadAndAfterEachAssociation) {
  ASSERT_TRUE(Load());
  ASSERT_EQ(client.GooseBlocks().Count(), 1u);
  TGCBObject* g = client.GooseBlocks().Items[0].get();
  EXPECT_EQ(g->Name, "gcb01");
  EXPECT_EQ(g->Reference, "RPTLD/LLN0$GO$gcb01");
  EXPECT_EQ(g->GoID, "RPTLD/LLN0$GO$gcb01");
  EXPECT_EQ(g->DataSet, client.FindDataSet("RPTLD/LLN0$DS1"));
  EXPECT_EQ(g->Mac, (std::array<std::uint8_t, 6>{1, 0x0C, 0xCD, 1, 0, 1}));
  EXPECT_EQ(g->Priority, 4);
  EXPECT_EQ(g->VID, 0x123);
  EXPECT_EQ(g->APPID, 0x3001);
  EXPECT_EQ(g->ConfRev, 7);
  EXPECT_TRUE(g->GoEna);
  // A new association reads them again.
  auto reads = server.requests;
  server.CloseConnection();
  ASSERT_TRUE(Run([&] { return client.MMSState() != TMMSobject::kMmsAssociated; }));
  ASSERT_TRUE(Run([&] { return client.MMSState() == TMMSobject::kMmsAssociated && client.GooseStep() == 2; }, 8000ms));
  int goReads = 0;
  for (std::size_t i = static_cast<std::size_t>(reads); i < server.mmsRequests.size(); ++i)
    if (server.mmsRequests[i].find("LLN0$GO$gcb01") != Bytes::npos) ++goReads;
  EXPECT_EQ(goReads, 1);
}
