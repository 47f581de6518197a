// `tavrik32-cli mms` as a user runs it, against the test server on loopback (served on a
// thread of the test while the program runs).
#include <gtest/gtest.h>

#include "run_program.h"

#include <poll.h>
#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "iec61850/mms_test_server.h"

#ifdef T32_CLI
namespace {

using namespace t32test;
using Clock = std::chrono::steady_clock;

struct TRun {
  int exit = -1;
  std::string output;  // stdout and stderr together
  double seconds = 0;
};

class MmsCli : public ::testing::Test {
 protected:
  void SetUp() override { BuildSampleModel(server); }
  void TearDown() override { Stop(); }
  void Serve() {
    thread = std::thread([this] {
      while (!stop) {
        pollfd p{server.Fd(), POLLIN, 0};
        ::poll(&p, 1, 2);
        server.Poll();
      }
    });
  }
  void Stop() {
    stop = true;
    if (thread.joinable()) thread.join();
  }
  TRun Cli(const std::string& args) {
    if (!thread.joinable()) Serve();
    TRun r;
    auto start = Clock::now();
    t32::test::TRun run = t32::test::RunCli("mms " + args);
    r.exit = run.exit;
    r.output = std::move(run.output);
    r.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return r;
  }
  std::string Host() const { return "127.0.0.1:" + std::to_string(server.Port()); }

  TTestMmsServer server;
  std::thread thread;
  std::atomic<bool> stop{false};
};

TEST_F(MmsCli, NegativeValuesAndDoubleDash) {
  const std::string ref = "'TESTLD/GGIO1$ST$All$i'";
  struct {
    std::string args;
    std::string echo;
  } cases[] = {
      {"write " + Host() + " " + ref + " -1", "-1"},
      {"write " + Host() + " -- " + ref + " -75", "-75"},
      {"write " + Host() + " --timeout 5 -- " + ref + " -0", "-0"},
  };
  for (const auto& c : cases) {
    TRun r = Cli(c.args);
    EXPECT_EQ(r.exit, 0) << c.args << "\n" << r.output;
    EXPECT_NE(r.output.find(":= " + c.echo), std::string::npos) << r.output;
  }
  Stop();
  EXPECT_EQ(server.domains["TESTLD"][1].children[0].children[0].children[2].value, std::string("\x85\x01\x00", 3));
  // An unknown option is still bad usage.
  TRun r = Cli("write " + Host() + " " + ref + " 1 --bogus");
  EXPECT_EQ(r.exit, 2) << r.output;
}

TEST_F(MmsCli, ServerThatClosesAtOnceFailsAtOnce) {
  server.closeOnAccept = true;
  TRun r = Cli("read " + Host() + " 'TESTLD/GGIO1$ST$All$i' --timeout 20");
  EXPECT_EQ(r.exit, 1) << r.output;
  EXPECT_NE(r.output.find("сервер закрыл соединение до установления связи"), std::string::npos) << r.output;
  EXPECT_LT(r.seconds, 5.0);
}

TEST_F(MmsCli, TimeoutIsPerAnswer) {
  // Every answer takes 300 ms; the browse needs many, so it lasts longer than the limit of
  // one second, which each answer keeps.
  server.answerDelayMs = 300;
  TRun r = Cli("browse " + Host() + " --timeout 1");
  EXPECT_EQ(r.exit, 0) << r.output;
  EXPECT_NE(r.output.find("brcb01"), std::string::npos) << r.output;
  EXPECT_GT(r.seconds, 1.5);

  // A server that stops answering is reported as such, not as "есть связь".
  Stop();
  stop = false;
  server.answerDelayMs = 0;
  server.silent = true;
  r = Cli("read " + Host() + " 'TESTLD/GGIO1$ST$All$i' --timeout 1");
  EXPECT_EQ(r.exit, 1) << r.output;
  EXPECT_NE(r.output.find("сервер не ответил за 1 с"), std::string::npos) << r.output;
}

TEST_F(MmsCli, FailedReadSaysWhy) {
  server.maxReadVariables = 0;
  TRun r = Cli("read " + Host() + " 'TESTLD/GGIO1$ST$All$i'");
  EXPECT_EQ(r.exit, 1) << r.output;
  EXPECT_NE(r.output.find("TESTLD/GGIO1$ST$All$i = н/д (отказ сервера: класс resource (3), код 1)"), std::string::npos)
      << r.output;
}

TEST_F(MmsCli, ListsFilesAndKeepsTheOldFileWhenADownloadBreaks) {
  server.dirPerPage = 1;
  TRun r = Cli("files " + Host());
  EXPECT_EQ(r.exit, 0) << r.output;
  for (const char* name : {"COMTRADE/rec1.cfg", "empty.bin", "log.txt"})
    EXPECT_NE(r.output.find(name), std::string::npos) << r.output;

  char dir[] = "/tmp/t32mmscliXXXXXX";
  ASSERT_NE(::mkdtemp(dir), nullptr);
  const std::string local = std::string(dir) + "/rec1.cfg";
  { std::ofstream(local, std::ios::binary) << "old"; }
  Stop();
  stop = false;
  server.closeAfterFileReads = 2;
  r = Cli("get " + Host() + " COMTRADE/rec1.cfg " + local);
  EXPECT_EQ(r.exit, 1) << r.output;
  EXPECT_NE(r.output.find("загрузка прервана"), std::string::npos) << r.output;
  std::ifstream in(local, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  EXPECT_EQ(ss.str(), "old");
  std::filesystem::remove_all(dir);
}

}  // namespace
#endif  // T32_CLI
