// The simulated controller itself: a serial line that hangs up, and piece reads of a file far
// larger than anything it would read whole.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <mutex>
#include <thread>

#include "link/frame.h"
#include "server.h"
#include "sim.h"

using namespace t32;
using namespace t32::link;
using namespace t32::rtusim;
namespace fs = std::filesystem;

namespace {

double CpuSeconds() {
  rusage u{};
  ::getrusage(RUSAGE_SELF, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

TEST(RtuSim, HungUpLineIsAwaitedWithoutSpinning) {
  // The simulator serves the device end of a pseudo-terminal; closing the other end hangs the
  // line up for good (poll reports it at once, read gives end of input).
  int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(master, 0);
  ASSERT_EQ(::grantpt(master), 0);
  ASSERT_EQ(::unlockpt(master), 0);
  char name[256];
  ASSERT_EQ(::ptsname_r(master, name, sizeof name), 0);
  const std::string path = name;

  TRtuSimulator sim("/nonexistent");
  TSerialServer server(sim);
  std::mutex m;
  std::vector<std::string> notices;
  server.SetNotice([&](const std::string& t) {
    std::lock_guard<std::mutex> lock(m);
    notices.push_back(t);
  });
  std::string error;
  ASSERT_TRUE(server.OpenDevice(path, error)) << error;
  server.Start();
  ::close(master);

  double before = CpuSeconds();
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  EXPECT_LT(CpuSeconds() - before, 0.05) << "the server turned round on the hung-up line";

  auto start = std::chrono::steady_clock::now();
  server.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  std::lock_guard<std::mutex> lock(m);
  // (Another program may take the terminal's number meanwhile; then the line "comes back".)
  ASSERT_FALSE(notices.empty());
  EXPECT_EQ(notices[0], "Линия " + path + " отключена; ожидание её восстановления.");
}

TEST(RtuSim, ReadsOnlyThePieceAskedFor) {
  char tmpl[] = "/tmp/t32-sim-XXXXXX";
  ASSERT_NE(::mkdtemp(tmpl), nullptr);
  fs::path dir = tmpl;
  // A sparse file of 2 GiB: reading it whole for a piece would need that much memory.
  const std::uint32_t size = 0x80000000u, at = 0x7FFFFF80u;
  {
    int fd = ::open((dir / "BIG.BIN").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, off_t(size)), 0);
    std::uint8_t mark[128];
    for (int i = 0; i < 128; ++i) mark[i] = std::uint8_t(i + 1);
    ASSERT_EQ(::pwrite(fd, mark, sizeof mark, off_t(at)), ssize_t(sizeof mark));
    ::close(fd);
  }
  TRtuSimulator sim(dir.string());
  struct Case {
    std::uint32_t offset;
    std::uint16_t error;
    std::size_t count;
    std::uint8_t first;
  } cases[] = {
      {at, 0, 128, 1},                                   // the last piece, marked
      {0, 0, 128, 0},                                    // the first piece, a hole
      {size, 0, 0, 0},                                   // at the end: nothing left
  };
  for (const auto& c : cases) {
    std::uint8_t req[kFrameBufferSize];
    std::size_t n = BuildReadPiece(req, c.offset, size, 128, "BIG.BIN", 0);
    auto answer = sim.Handle(req, n);
    std::uint16_t error = 1;
    const std::uint8_t* data = nullptr;
    std::uint8_t count = 0;
    ASSERT_EQ(CheckFrame(answer.data(), answer.size()), TFrameStatus::kOk) << c.offset;
    ASSERT_TRUE(ParseReadAnswer(answer.data(), answer.size(), error, data, count)) << c.offset;
    EXPECT_EQ(error, c.error) << c.offset;
    EXPECT_EQ(count, c.count) << c.offset;
    if (count) {
      EXPECT_EQ(data[0], c.first) << c.offset;
    }
  }
  std::error_code ec;
  fs::remove_all(dir, ec);
}

}  // namespace
