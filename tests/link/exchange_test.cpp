// The exchange itself against a hand-driven UDP peer (answers of every shape, including ones
// larger than the response buffer), and the refusals of opening a link.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "link/controller.h"
#include "link/link.h"
#include "model/messages.h"
#include "server.h"
#include "sim.h"

using namespace t32;
using namespace t32::link;

namespace {

// A UDP socket on loopback that answers the next datagram with given bytes (or not at all).
class TRawPeer {
 public:
  TRawPeer() {
    fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(0x7F000001);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
  }
  ~TRawPeer() {
    if (thread_.joinable()) thread_.join();
    ::close(fd_);
  }
  std::uint16_t Port() const { return port_; }
  void AnswerNextWith(std::vector<std::uint8_t> answer) {
    thread_ = std::thread([this, answer] {
      std::uint8_t buf[1024];
      sockaddr_in from{};
      socklen_t flen = sizeof from;
      ssize_t n = ::recvfrom(fd_, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &flen);
      if (n > 0) received.assign(buf, buf + n);
      if (!answer.empty())
        ::sendto(fd_, answer.data(), answer.size(), 0, reinterpret_cast<sockaddr*>(&from), flen);
    });
  }
  void Join() { thread_.join(); }
  std::vector<std::uint8_t> received;

 private:
  int fd_ = -1;
  std::uint16_t port_ = 0;
  std::thread thread_;
};

TLinkSettings Loopback(std::uint16_t port) {
  TLinkSettings s;
  s.kind = TLinkKind::kUdp;
  s.ownIp = 0x7F000001;
  s.localPort = 0;
  s.controllerIp = 0x7F000001;
  s.remotePort = port;
  s.timeouts.udpAnswerMs = 200;
  return s;
}

std::vector<std::uint8_t> Sealed(std::vector<std::uint8_t> f) {
  unsigned sum = 0;
  for (std::size_t i = 1; i < f.size(); ++i) sum += f[i];
  f.push_back(std::uint8_t(sum));
  return f;
}

TEST(LinkExchange, AnswersOfEveryShape) {
  std::vector<std::uint8_t> biggest(255, 0x11);
  biggest[0] = 254;
  biggest[1] = 0x97;
  std::vector<std::uint8_t> huge(60000, 0xEE);
  huge[0] = 255;
  struct Case {
    const char* what;
    std::vector<std::uint8_t> answer;
    bool ok;
    const char* message;
  } cases[] = {
      {"good", {3, 0x97, 0, 0, 0x97}, true, nullptr},
      {"largest frame that fits", Sealed(biggest), true, nullptr},
      {"wrong check byte", {3, 0x97, 0, 0, 0x98}, false, " Ошибка контрольной суммы ответа."},
      {"cut before its check byte", {5, 0x97, 0, 0, 0}, false, " Ошибка контрольной суммы ответа."},
      {"datagram larger than the buffer", huge, false, " Ошибка контрольной суммы ответа."},
      {"silence", {}, false, "Нет ответа."},
  };
  for (const auto& c : cases) {
    TRawPeer peer;
    TRecordedMessages msgs;
    TLink link(msgs);
    link.Configure(Loopback(peer.Port()));
    ASSERT_TRUE(link.OpenLink());
    peer.AnswerNextWith(c.answer);
    BuildOpenDisk(link.Request(), "C:\\");
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(link.Exchange(kDirect, kOpenDiskAnswerSize), c.ok) << c.what;
    auto took = std::chrono::steady_clock::now() - start;
    peer.Join();
    EXPECT_EQ(peer.received, (std::vector<std::uint8_t>{7, 0x97, 0, 0, 3, 'C', ':', '\\', 0x73})) << c.what;
    EXPECT_LE(link.ResponseLength(), kFrameBufferSize) << c.what;
    if (c.message) {
      EXPECT_EQ(msgs.errors, (std::vector<std::string>{c.message})) << c.what;
      EXPECT_EQ(link.LastFailure(), c.message);
    } else {
      EXPECT_TRUE(msgs.errors.empty()) << c.what;
    }
    EXPECT_LT(took, std::chrono::seconds(2)) << c.what;  // 200 ms configured
  }
}

TEST(LinkExchange, QuietModeRecordsButDoesNotShow) {
  TRawPeer peer;
  TRecordedMessages msgs;
  TLink link(msgs);
  link.Configure(Loopback(peer.Port()));
  ASSERT_TRUE(link.OpenLink());
  peer.AnswerNextWith({});
  {
    TQuietLink quiet(link);
    BuildReadValue(link.Request(), 1);
    EXPECT_FALSE(link.Exchange(kDirect, kValueAnswerSize));
  }
  peer.Join();
  EXPECT_TRUE(msgs.errors.empty());
  EXPECT_EQ(link.LastFailure(), kTextNoAnswer);
  EXPECT_TRUE(link.ErrorsShown());
  // Sending without an open link is a send failure, shown.
  link.CloseLink();
  EXPECT_FALSE(link.Exchange(kDirect, 5));
  EXPECT_EQ(msgs.errors, (std::vector<std::string>{kTextSendFailed}));
}

TEST(LinkOpen, RefusalsSayWhyAndHowToMend) {
  TRecordedMessages msgs;
  TLink link(msgs);
  std::string reason;

  // A UDP port another program holds.
  int holder = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(0x7F000001);
  ASSERT_EQ(::bind(holder, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  socklen_t len = sizeof a;
  ::getsockname(holder, reinterpret_cast<sockaddr*>(&a), &len);
  TLinkSettings s = Loopback(1);
  s.localPort = ntohs(a.sin_port);
  link.Configure(s);
  EXPECT_FALSE(link.OpenLink(&reason));
  EXPECT_NE(reason.find("уже занят другой программой"), std::string::npos) << reason;
  ::close(holder);

  if (::geteuid() != 0) {
    s.localPort = 208;
    link.Configure(s);
    if (!link.OpenLink(&reason)) {
      EXPECT_NE(reason.find("cap_net_bind_service"), std::string::npos) << reason;
      EXPECT_NE(reason.find("ip_unprivileged_port_start"), std::string::npos) << reason;
    }
  }

  // Serial port numbers outside 1..8 are refused before anything is opened.
  TLinkSettings ser;
  for (int port : {0, 9, -1}) {
    ser.serialPort = port;
    link.Configure(ser);
    EXPECT_FALSE(link.OpenLink(&reason));
    EXPECT_EQ(reason, "Номер COM-порта " + std::to_string(port) + " недопустим: доступны порты с 1 по 8.");
  }
  ser.serialPort = 1;
  ser.comDevices[0] = "/dev/null";
  link.Configure(ser);
  EXPECT_FALSE(link.OpenLink(&reason));
  EXPECT_EQ(reason, "/dev/null не является последовательным портом.");

  // The command shows the port failure with its reason.
  ser.serialPort = 9;
  link.Configure(ser);
  TController ctl(link, msgs);
  ctl.Login().Set("admin", "");
  std::vector<std::uint8_t> bytes;
  EXPECT_FALSE(ctl.ReadControllerFile("Boot.ini", bytes));
  EXPECT_EQ(msgs.errors,
            (std::vector<std::string>{"Ошибка при инициализации порта\nНомер COM-порта 9 недопустим: доступны порты с 1 по 8."}));
}

TEST(LinkOpen, SerialLineIsExclusive) {
  t32::rtusim::TRtuSimulator sim("/nonexistent");
  t32::rtusim::TSerialServer server(sim);
  std::string path, error;
  ASSERT_TRUE(server.OpenPty(path, error)) << error;
  TRecordedMessages msgs;
  TLink first(msgs), second(msgs);
  TLinkSettings s;
  s.serialDevice = path;
  first.Configure(s);
  second.Configure(s);
  ASSERT_TRUE(first.OpenLink());
  std::string reason;
  EXPECT_FALSE(second.OpenLink(&reason));
  EXPECT_EQ(reason, "Последовательный порт " + path + " занят другой программой.");
  first.CloseLink();
  EXPECT_TRUE(second.TestLink());
}

TEST(LinkAddresses, OwnAddressFallsBackToTheComputers) {
  auto list = TLink::LocalAddresses();
  ASSERT_FALSE(list.empty());
  EXPECT_NE(std::find(list.begin(), list.end(), 0x7F000001u), list.end());
  EXPECT_EQ(TLink::ResolveOwnAddress(0x7F000001), 0x7F000001u);
  EXPECT_EQ(TLink::ResolveOwnAddress(0x0A0B0C0D == list.front() ? 0x0A0B0C0E : 0x0A0B0C0D), list.front());
}

}  // namespace
