// The MMS client against the test server over loopback through the whole ISO stack.
#include <gtest/gtest.h>

#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "iec61850/mms_test_server.h"
#include "iec61850/mmsclient.h"

using namespace t32;
using namespace t32test;
using namespace std::chrono_literals;

namespace {

struct TRecorder : TMMSEvents {
  void WriteResult(TMMSvar* v, int code) override { writes.emplace_back(v, code); }
  void VariableUpdated(TMMSvar* v) override { updated.push_back(v); }
  void FileProgress(std::uint64_t a, std::uint64_t b) override { progress.emplace_back(a, b); }
  void DirectoryComplete(bool ok) override { dirDone = ok ? 1 : 2; }
  void FileComplete(bool ok) override { fileDone = ok ? 1 : 2; }
  void ModelLoaded() override { loaded = true; }
  void ActiveServerChanged(int i) override { server = i; }
  std::vector<std::pair<TMMSvar*, int>> writes;
  std::vector<TMMSvar*> updated;
  std::vector<std::pair<std::uint64_t, std::uint64_t>> progress;
  int dirDone = 0, fileDone = 0, server = -1;
  bool loaded = false;
};

class Mms : public ::testing::Test {
 protected:
  void SetUp() override {
    BuildSampleModel(server);
    client.Main.Ip[0] = 127;
    client.Main.Ip[3] = 1;
    client.Main.Port = server.Port();
    client.ApplyAddress();
    client.Events = &ev;
  }
  template <class F> bool Run(F done, std::chrono::milliseconds limit = 5000ms) {
    auto end = TClock::now() + limit;
    while (TClock::now() < end) {
      server.Poll();
      client.Tick(TClock::now());
      if (done()) return true;
      pollfd p[2] = {{server.Fd(), POLLIN, 0}, {client.Fd(), client.PollEvents(), 0}};
      ::poll(p, client.Fd() >= 0 ? 2 : 1, 2);
    }
    return done();
  }
  bool Associate() { return Run([&] { return client.MMSState() == TMMSobject::kMmsAssociated; }); }
  bool Load() {
    if (!Associate() || !client.LoadModel()) return false;
    bool ok = Run([&] { return client.ModelLoaded(); });
    ev.updated.clear();  // the control blocks read while loading
    return ok;
  }
  std::string Text(const char* ref) {
    TMMSvar* v = client.FindVariable(ref);
    return v ? NodeValueText(*v, client.Dictionary()) : "<missing>";
  }
  TTestMmsServer server;
  TMMSobject client;
  TRecorder ev;
};

}  // namespace

TEST_F(Mms, AssociatesAndLoadsTheModelPageByPage) {
  server.namesPerPage = 4;
  server.omitMoreFollows = true;  // absent moreFollows means more
  ASSERT_TRUE(Load()) << client.StatusText() << " step " << client.BrowseStep() << " req " << server.requests << "\n" << client.Stats().Text();
  EXPECT_TRUE(ev.loaded);
  EXPECT_TRUE(client.ServerServices()[4]);
  int nameLists = 0;
  for (auto& r : server.mmsRequests)
    if (r.size() > 3 && std::uint8_t(r[3]) == 0xA1) ++nameLists;
  EXPECT_GT(nameLists, 5);  // domains, paged variables, data set lists
  TMMSvar* f = client.FindVariable("TESTLD/GGIO1$ST$All$f");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(TypeText(*f), "floatig point[32]");
  EXPECT_EQ(f->FunctionalConstraint(), "ST");
  TMMSvar* arr = client.FindVariable("TESTLD/GGIO1$ST$arr");
  ASSERT_NE(arr, nullptr);
  EXPECT_EQ(arr->Type, kMmsArray);
  EXPECT_EQ(arr->Children.size(), 3u);
  // Every variable the server named is in the tree, in the order of its type description.
  TMMSvar* all = client.FindVariable("TESTLD/GGIO1$ST$All");
  ASSERT_NE(all, nullptr);
  ASSERT_EQ(all->Children.size(), 17u);
  EXPECT_EQ(client.Dictionary()[all->Children[0]->Name], "b");
  EXPECT_EQ(client.Dictionary()[all->Children[12]->Name], "utc");
  // Data set members resolved; report control blocks read during the load.
  TDataSet* ds = client.FindDataSet("TESTLD/DS1");
  ASSERT_NE(ds, nullptr);
  EXPECT_EQ(ds->Members.size(), 3u);
  EXPECT_EQ(client.ReportControlBlocks().size(), 2u);
  EXPECT_EQ(Text("TESTLD/LLN0$BR$brcb01$RptID"), "R1");
  EXPECT_EQ(Text("TESTLD/LLN0$RP$urcb01"), "(RptID=U1, RptEna=false)");
}

TEST_F(Mms, ReadsEveryDataType) {
  ASSERT_TRUE(Load());
  TMMSvar* all = client.FindVariable("TESTLD/GGIO1$ST$All");
  TMMSvar* arr = client.FindVariable("TESTLD/GGIO1$ST$arr");
  ASSERT_TRUE(client.ReadVariables({all, arr}));
  ASSERT_TRUE(Run([&] { return ev.updated.size() == 2; }));
  struct {
    const char* ref;
    const char* text;
  } cases[] = {
      {"b", "true"}, {"bs", "1010010100101"}, {"i", "-1234567"}, {"u", "3000000000"}, {"f", "1.5"},
      {"d", "-2.25"}, {"os", "DE AD BE EF "}, {"vs", "hello"}, {"gt", "31.01.24 23-59-59.000"}, {"bcd", "1234"},
      {"oid", "1.0.9506.2.3"}, {"ms", "text"}, {"utc", "01.01.70 03-00-00.000"},
      // Every digit that tells the value apart, and no more.
      {"f7", "1234567"}, {"d9", "0.123456789"},
      // Binary time in local time (3 hours ahead here), with and without the date.
      {"bt6", "31.01.24 15-34-56.789"}, {"bt4", "15-34-56.789"},
  };
  for (auto& c : cases) EXPECT_EQ(Text(("TESTLD/GGIO1$ST$All$" + std::string(c.ref)).c_str()), c.text) << c.ref;
  EXPECT_EQ(Text("TESTLD/GGIO1$ST$arr"), "(0=10, 1=11, 2=12)");
}

TEST_F(Mms, FailedResultLeavesOnlyItsOwnVariableUnchanged) {
  ASSERT_TRUE(Load());
  TMMSvar* all = client.FindVariable("TESTLD/GGIO1$ST$All");
  TMMSvar* ghost = all->AddChild(client.Dictionary().Add("ghost"));  // the server has no such variable
  ghost->Type = kMmsInteger;
  TMMSvar* i = client.FindVariable("TESTLD/GGIO1$ST$All$i");
  TMMSvar* vs = client.FindVariable("TESTLD/GGIO1$ST$All$vs");
  ASSERT_TRUE(client.ReadVariables({i, ghost, vs}));
  ASSERT_TRUE(Run([&] { return !client.OutstandingCount(); }));
  EXPECT_EQ(Text("TESTLD/GGIO1$ST$All$i"), "-1234567");
  EXPECT_EQ(NodeValueText(*ghost, client.Dictionary()), "н/д");
  EXPECT_EQ(Text("TESTLD/GGIO1$ST$All$vs"), "hello");
  EXPECT_EQ(ev.updated.size(), 2u);
}

TEST_F(Mms, ReadFailuresSayWhyAndLargeReadsAreSplit) {
  server.localDetail = 300;  // a small PDU size: five names do not fit one read request
  server.maxReadVariables = 2;  // and more than two values do not fit one answer
  ASSERT_TRUE(Load());
  EXPECT_EQ(client.MaxPduSize(), 300);
  TMMSvar* all = client.FindVariable("TESTLD/GGIO1$ST$All");
  TMMSvar* ghost = all->AddChild(client.Dictionary().Add("ghost"));
  ghost->Type = kMmsInteger;
  std::vector<TMMSvar*> vars;
  for (const char* n : {"i", "vs", "b", "u", "bcd", "os"}) vars.push_back(client.FindVariable(std::string("TESTLD/GGIO1$ST$All$") + n));
  vars.insert(vars.begin() + 2, ghost);
  server.mmsRequests.clear();
  ASSERT_TRUE(client.ReadVariables(vars));
  ASSERT_TRUE(Run([&] { return !client.OutstandingCount(); }));
  for (TMMSvar* v : vars) {
    if (v == ghost) continue;
    EXPECT_TRUE(v->ValueReceived) << client.Dictionary()[v->Name];
    EXPECT_EQ(ReadErrorText(*v), "");
  }
  EXPECT_EQ(Text("TESTLD/GGIO1$ST$All$i"), "-1234567");
  EXPECT_EQ(NodeValueText(*ghost, client.Dictionary()), "н/д");
  EXPECT_EQ(ReadErrorText(*ghost), "ошибка доступа: object-non-existent (10)");
  for (const auto& r : server.mmsRequests) EXPECT_LE(r.size() + 16, 300u);

  // Refused even alone: the server's class and code are kept.
  server.maxReadVariables = 0;
  TMMSvar* i = client.FindVariable("TESTLD/GGIO1$ST$All$i");
  i->ValueReceived = false;
  ASSERT_TRUE(client.ReadVariables({i}));
  ASSERT_TRUE(Run([&] { return !client.OutstandingCount(); }));
  EXPECT_EQ(ReadErrorText(*i), "отказ сервера: класс resource (3), код 1");
  EXPECT_EQ(client.MMSState(), TMMSobject::kMmsAssociated);
}

TEST_F(Mms, WriteReportsSuccessAndFailure) {
  ASSERT_TRUE(Load());
  TMMSvar* i = client.FindVariable("TESTLD/GGIO1$ST$All$i");
  TMMSvar* f = client.FindVariable("TESTLD/GGIO1$ST$All$f");
  TMMSvar* ro = client.FindVariable("TESTLD/GGIO1$CF$ro");
  TMMSvar* ms = client.FindVariable("TESTLD/GGIO1$ST$All$ms");
  client.BeginWrite();
  ASSERT_TRUE(client.AddWriteText(i, "-42"));
  ASSERT_TRUE(client.AddWriteText(f, "2.5"));
  ASSERT_TRUE(client.AddWriteText(ro, "1"));
  ASSERT_TRUE(client.AddWriteText(ms, "Привет"));
  EXPECT_FALSE(client.AddWriteText(i, "4x2"));
  ASSERT_TRUE(client.SendWrite());
  EXPECT_FALSE(client.SendWrite());  // one write at a time
  ASSERT_TRUE(Run([&] { return ev.writes.size() == 4; }));
  EXPECT_EQ(ev.writes[0].second, 255);
  EXPECT_EQ(ev.writes[1].second, 255);  // a 32-bit float attribute takes a single-precision value
  EXPECT_EQ(ev.writes[2].second, 3);
  EXPECT_EQ(ev.writes[3].second, 255);  // an MMS string goes with its own tag
  ASSERT_TRUE(client.ReadVariables({i, f, ms}));
  ASSERT_TRUE(Run([&] { return !client.OutstandingCount(); }));
  EXPECT_EQ(Text("TESTLD/GGIO1$ST$All$i"), "-42");
  EXPECT_EQ(Text("TESTLD/GGIO1$ST$All$f"), "2.5");
  EXPECT_EQ(Text("TESTLD/GGIO1$ST$All$ms"), "Привет");
}

TEST_F(Mms, ListsDirectoryAndDownloadsFiles) {
  server.dirPerPage = 2;
  ASSERT_TRUE(Associate());
  ASSERT_TRUE(client.ListDirectory(""));
  ASSERT_TRUE(Run([&] { return ev.dirDone != 0; }));
  EXPECT_EQ(ev.dirDone, 1);
  ASSERT_EQ(client.Directory().size(), 3u);
  EXPECT_EQ(client.Directory()[0].Name, "COMTRADE/rec1.cfg");
  EXPECT_EQ(client.Directory()[0].Size, 1000u);
  EXPECT_EQ(DateTimeText(client.Directory()[0].Modified), "31.01.24 23-59-59.000");

  char dir[] = "/tmp/t32mmsXXXXXX";
  ASSERT_NE(::mkdtemp(dir), nullptr);
  client.DownloadFolder = dir;
  ASSERT_TRUE(client.DownloadFile("COMTRADE/rec1.cfg"));
  ASSERT_TRUE(Run([&] { return ev.fileDone != 0; }));
  EXPECT_EQ(ev.fileDone, 1);
  std::ifstream in(std::string(dir) + "/rec1.cfg", std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  EXPECT_EQ(ss.str(), server.files["COMTRADE/rec1.cfg"]);
  ASSERT_FALSE(ev.progress.empty());
  EXPECT_EQ(ev.progress.back(), (std::pair<std::uint64_t, std::uint64_t>{1000, 1000}));
  ev.fileDone = 0;
  ASSERT_TRUE(client.DownloadToMemory("missing.bin"));
  ASSERT_TRUE(Run([&] { return ev.fileDone != 0; }));
  EXPECT_EQ(ev.fileDone, 2);
  ev.fileDone = 0;
  ASSERT_TRUE(client.DownloadToMemory("log.txt"));
  ASSERT_TRUE(Run([&] { return ev.fileDone != 0; }));
  EXPECT_EQ(std::string(client.DownloadedData().begin(), client.DownloadedData().end()), "line one\nline two\n");
  std::remove((std::string(dir) + "/rec1.cfg").c_str());
  ::rmdir(dir);
}

TEST_F(Mms, InterruptedDownloadKeepsTheExistingFile) {
  char dir[] = "/tmp/t32mmsXXXXXX";
  ASSERT_NE(::mkdtemp(dir), nullptr);
  const std::string local = std::string(dir) + "/rec1.cfg";
  { std::ofstream(local, std::ios::binary) << "old contents"; }
  server.closeAfterFileReads = 2;  // the connection breaks in the middle of the file
  ASSERT_TRUE(Associate());
  ASSERT_TRUE(client.DownloadFile("COMTRADE/rec1.cfg", local));
  ASSERT_TRUE(Run([&] { return ev.fileDone != 0; }));
  EXPECT_EQ(ev.fileDone, 2);
  std::ifstream in(local, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  EXPECT_EQ(ss.str(), "old contents");
  // Nothing else is left behind in the folder.
  int entries = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir)) entries += e.is_regular_file();
  EXPECT_EQ(entries, 1);
  std::filesystem::remove_all(dir);
}

TEST_F(Mms, ReadRequestIsTheGoldenEncoding) {
  ASSERT_TRUE(Load());
  server.mmsRequests.clear();
  ASSERT_TRUE(client.ReadVariables({client.FindVariable("TESTLD/LLN0$ST$Mod$stVal")}));
  ASSERT_TRUE(Run([&] { return !client.OutstandingCount(); }));
  ASSERT_EQ(server.mmsRequests.size(), 1u);
  // Contents of the confirmed-RequestPDU [0]: invokeID, then read [4] { [1] { [0] listOfVariable
  // { SEQUENCE { [0] name { [1] domain-specific { "TESTLD", "LLN0$ST$Mod$stVal" } } } } } }.
  std::string item = "LLN0$ST$Mod$stVal";
  Bytes name = Bytes{char(0xA1), char(8 + 2 + item.size())} + Bytes{0x1A, 6} + "TESTLD" + Bytes{0x1A, char(item.size())} + item;
  Bytes typeSpec = Bytes{char(0xA0), char(name.size())} + name;
  Bytes seq = Bytes{0x30, char(typeSpec.size())} + typeSpec;
  Bytes list = Bytes{char(0xA0), char(seq.size())} + seq;
  Bytes access = Bytes{char(0xA1), char(list.size())} + list;
  Bytes read = Bytes{char(0xA4), char(access.size())} + access;
  std::uint32_t id = static_cast<std::uint32_t>(std::uint8_t(server.mmsRequests[0][2]));
  Bytes expect = Bytes{0x02, 0x01, char(id)} + read;
  EXPECT_EQ(server.mmsRequests[0], expect);
}

TEST_F(Mms, HostileServerDataDropsTheConnectionAndIsCounted) {
  struct {
    const char* what;
    Bytes bytes;
    bool raw;
  } cases[] = {
      {"broken TPKT header", Bytes{9, 9, 9, 9, 9, 9}, true},
      {"TPKT longer than allowed", Bytes{3, 0, char(0xFF), char(0xF0)}, true},
      {"session unit of the wrong form", Bytes{1, 0, 2, 0, 0x55}, false},
      {"presentation length beyond the unit", Bytes{1, 0, 1, 0, 0x61, char(0x84), 0x7F, 0, 0, 0, 0x30}, false},
      {"MMS PDU that does not decode", Bytes{1, 0, 1, 0, 0x61, 0x09, 0x30, 0x07, 0x02, 0x01, 0x03, char(0xA0), 0x02, char(0xA1), 0x7F}, false},
  };
  for (auto& c : cases) {
    TTestMmsServer s;
    BuildSampleModel(s);
    s.garbageAfterAssociation = c.bytes;
    s.garbageRaw = c.raw;
    TMMSobject m;
    m.Main.Ip[0] = 127;
    m.Main.Ip[3] = 1;
    m.Main.Port = s.Port();
    m.Main.ReconnectInterval = 100;
    m.ApplyAddress();
    auto end = TClock::now() + 3s;
    while (TClock::now() < end && m.Stats().Get(TStatHolder::kStructureErrors) == 0) {
      s.Poll();
      m.Tick(TClock::now());
      ::usleep(1000);
    }
    for (int i = 0; i < 20; ++i) {
      s.Poll();
      m.Tick(TClock::now());
      ::usleep(1000);
    }
    EXPECT_EQ(m.Stats().Get(TStatHolder::kStructureErrors), 1) << c.what;
    EXPECT_NE(m.MMSState(), TMMSobject::kMmsAssociated) << c.what;
    EXPECT_NE(m.State(), TTCPObject::kConnected) << c.what;
  }
}

TEST_F(Mms, RejectedAssociationShowsTheErrorState) {
  server.rejectAssociation = true;
  ASSERT_TRUE(Run([&] { return client.MMSState() == TMMSobject::kMmsError; }));
  EXPECT_STREQ(TMMSobject::StateCaption(client.MMSState()), "ошибка ");
  EXPECT_NE(client.StatusText().find("ACSE:отказ подключения"), std::string::npos);
}

TEST_F(Mms, UnansweredRequestTimesOutAndReconnects) {
  client.ResponseTimeout = 1;
  ASSERT_TRUE(Load());
  server.silent = true;
  ASSERT_TRUE(client.ReadVariables({client.FindVariable("TESTLD/GGIO1$ST$All$i")}));
  ASSERT_TRUE(Run([&] { return client.Stats().Get(TStatHolder::kTimeouts) == 1; }, 4000ms));
  EXPECT_EQ(client.OutstandingCount(), 0u);
  server.silent = false;
  ASSERT_TRUE(Associate());
  EXPECT_EQ(client.Stats().Get(TStatHolder::kReconnects), 2);
  EXPECT_TRUE(client.ModelLoaded());  // a loaded model survives the new association
}

TEST_F(Mms, FailedMainServerSwitchesToTheReserve) {
  auto dead = std::make_unique<TTestMmsServer>();
  int deadPort = dead->Port();
  dead.reset();  // nobody listens on that port any more
  client.Reserve = client.Main;
  client.Main.Port = deadPort;
  client.ApplyAddress();
  ASSERT_TRUE(Associate()) << client.StatusText();
  EXPECT_EQ(client.ActiveServer(), 1);
  EXPECT_EQ(ev.server, 1);
}
