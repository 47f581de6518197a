// A controller that answers one read piece after the configurator has given up waiting. Its
// late answer, and the answer to the retry, must not be taken for later pieces: the file read
// ends identical to the controller's file or with a message, never shifted with success.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include "link/controller.h"
#include "link/link.h"
#include "model/fileio.h"
#include "model/messages.h"
#include "sim.h"

using namespace t32;
using namespace t32::link;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

enum class TLine { kUdp, kPty };

// Answers from the simulator's disk, every answer 30 ms after its request, except the first
// read-piece request, which is answered `lateMs` later (after the configurator's wait).
class TLateController {
 public:
  TLateController(TLine line, rtusim::TRtuSimulator& sim, int lateMs) : line_(line), sim_(sim), lateMs_(lateMs) {}
  ~TLateController() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (fd_ >= 0) ::close(fd_);
    if (peer_ >= 0) ::close(peer_);
  }

  // Opens the line; the settings the configurator needs to reach it.
  bool Open(TLinkSettings& s) {
    if (line_ == TLine::kUdp) {
      fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
      sockaddr_in a{};
      a.sin_family = AF_INET;
      a.sin_addr.s_addr = htonl(0x7F000001);
      if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return false;
      socklen_t len = sizeof a;
      ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
      s.kind = TLinkKind::kUdp;
      s.ownIp = s.controllerIp = 0x7F000001;
      s.localPort = 0;
      s.remotePort = ntohs(a.sin_port);
    } else {
      fd_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
      if (fd_ < 0 || ::grantpt(fd_) != 0 || ::unlockpt(fd_) != 0) return false;
      char name[256];
      if (::ptsname_r(fd_, name, sizeof name) != 0) return false;
      peer_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);  // keeps the line up between commands
      termios tio{};
      if (peer_ < 0 || ::tcgetattr(peer_, &tio) != 0) return false;
      ::cfmakeraw(&tio);
      ::tcsetattr(peer_, TCSANOW, &tio);
      s.kind = TLinkKind::kSerial;
      s.serialDevice = name;
    }
    thread_ = std::thread([this] { Serve(); });
    return true;
  }

 private:
  struct TDue {
    Clock::time_point at;
    std::vector<std::uint8_t> answer;
  };

  void Serve() {
    std::vector<TDue> due;
    std::vector<std::uint8_t> pending;
    bool lateDone = false;
    std::uint8_t buf[2048];
    sockaddr_in from{};
    socklen_t flen = sizeof from;
    while (!stop_) {
      auto now = Clock::now();
      for (auto it = due.begin(); it != due.end();) {
        if (it->at <= now) {
          if (line_ == TLine::kUdp)
            ::sendto(fd_, it->answer.data(), it->answer.size(), 0, reinterpret_cast<sockaddr*>(&from), flen);
          else
            (void)!::write(fd_, it->answer.data(), it->answer.size());
          it = due.erase(it);
        } else {
          ++it;
        }
      }
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 5) <= 0 || !(p.revents & POLLIN)) continue;
      ssize_t n = line_ == TLine::kUdp ? ::recvfrom(fd_, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &flen)
                                       : ::read(fd_, buf, sizeof buf);
      if (n <= 0) continue;
      pending.insert(pending.end(), buf, buf + n);
      while (!pending.empty() && pending.size() >= AnnouncedFrameSize(pending[0])) {
        std::size_t size = line_ == TLine::kUdp ? pending.size() : AnnouncedFrameSize(pending[0]);
        auto answer = sim_.Handle(pending.data(), size);
        int delay = 30;
        if (pending[1] == kCmdReadPiece && !lateDone) {
          lateDone = true;
          delay = lateMs_;
        }
        pending.erase(pending.begin(), pending.begin() + long(size));
        if (!answer.empty()) due.push_back({Clock::now() + std::chrono::milliseconds(delay), answer});
      }
    }
  }

  TLine line_;
  rtusim::TRtuSimulator& sim_;
  int lateMs_;
  int fd_ = -1, peer_ = -1;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

class LinkLateAnswer : public ::testing::TestWithParam<TLine> {};

TEST_P(LinkLateAnswer, FileReadIsNeverShifted) {
  char tmpl[] = "/tmp/t32-late-XXXXXX";
  ASSERT_NE(::mkdtemp(tmpl), nullptr);
  fs::path dir = tmpl;
  // Every piece differs from every other, so a shifted piece cannot pass for the right one.
  std::string file(20 * kPieceSize + 50, '\0');
  for (std::size_t i = 0; i < file.size(); ++i) file[i] = char(i / kPieceSize * 7 + i % 251);
  ASSERT_TRUE(WriteFileAtomic((dir / "AUTO.SHM").string(), file));

  // The wait for an answer is 200 ms; the late answer comes at 300 ms, after the retry went
  // out, and the retry's own answer follows it.
  rtusim::TRtuSimulator sim(dir.string());
  TLateController controller(GetParam(), sim, 300);
  TLinkSettings s;
  s.timeouts.udpAnswerMs = 200;
  s.timeouts.serialReadBaseMs = 200;
  s.timeouts.serialReadPerByteMs = 0;
  s.timeouts.serialInterByteMs = 100;
  ASSERT_TRUE(controller.Open(s));
  TRecordedMessages msgs;
  TLink link(msgs);
  link.Configure(s);
  link::TController ctl(link, msgs);
  ctl.SetDiskPauseMs(0);
  ctl.Login().Set("admin", "");

  std::vector<std::uint8_t> got;
  bool ok = ctl.ReadControllerFile("AUTO.SHM", got);
  if (ok) {
    const std::vector<std::uint8_t> want(file.begin(), file.end());
    auto diff = std::mismatch(got.begin(), got.end(), want.begin(), want.end());
    EXPECT_TRUE(got.size() == want.size() && diff.first == got.end())
        << "first difference at byte " << (diff.first - got.begin());
    EXPECT_TRUE(msgs.errors.empty());
  } else {
    EXPECT_FALSE(msgs.errors.empty());
  }
  // With the late answer waited out, the read succeeds.
  EXPECT_TRUE(ok) << (msgs.errors.empty() ? "" : msgs.errors[0]);
  std::error_code ec;
  fs::remove_all(dir, ec);
}

INSTANTIATE_TEST_SUITE_P(Lines, LinkLateAnswer, ::testing::Values(TLine::kUdp, TLine::kPty),
                         [](const auto& info) { return info.param == TLine::kUdp ? "Udp" : "Pty"; });

}  // namespace
