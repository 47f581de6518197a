// The TCP client against loopback listeners: connect, refuse, time limit, retry, large reads.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include "net/tcpobject.h"

using namespace t32;
using namespace std::chrono_literals;

namespace {

int Listener(int& port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
  ::listen(fd, 4);
  socklen_t l = sizeof sa;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &l);
  port = ntohs(sa.sin_port);
  return fd;
}

class TCollect : public TTCPObject {
 public:
  TCollect(int port) {
    RemoteAddress[0] = 127;
    RemoteAddress[3] = 1;
    RemotePort = port;
  }
  void Receive(const std::uint8_t* d, std::size_t n) override {
    pieces.push_back(n);
    total += n;
    (void)d;
  }
  void Disconnect(int reason) override {
    lastReason = reason;
    TTCPObject::Disconnect(reason);
  }
  std::vector<std::size_t> pieces;
  std::size_t total = 0;
  int lastReason = 0;
};

template <class F> bool Spin(TTCPObject& c, F done, std::chrono::milliseconds limit = 3000ms) {
  auto end = TClock::now() + limit;
  while (TClock::now() < end) {
    c.Tick(TClock::now());
    if (done()) return true;
    pollfd p{c.Fd(), c.PollEvents(), 0};
    ::poll(&p, c.Fd() >= 0 ? 1 : 0, 5);
  }
  return done();
}

}  // namespace

TEST(TcpObject, ConnectsSendsAndDeliversLargeDataInPieces) {
  int port;
  int lfd = Listener(port);
  TCollect c(port);
  ASSERT_TRUE(Spin(c, [&] { return c.State() == TTCPObject::kConnected; }));
  int peer = ::accept(lfd, nullptr, nullptr);
  ASSERT_GE(peer, 0);
  const std::uint8_t hello[] = {1, 2, 3};
  EXPECT_TRUE(c.Transmit(hello, 3));
  std::uint8_t got[3];
  EXPECT_EQ(::recv(peer, got, 3, MSG_WAITALL), 3);
  // More than twice 64000 bytes waiting: handed over in pieces of at most 64000.
  std::vector<std::uint8_t> big(200000, 0x5A);
  std::thread writer([&] { ::send(peer, big.data(), big.size(), 0); });
  EXPECT_TRUE(Spin(c, [&] { return c.total == big.size(); }));
  writer.join();
  for (auto n : c.pieces) EXPECT_LE(n, TTCPObject::kReceiveChunk);
  ::close(peer);
  EXPECT_TRUE(Spin(c, [&] { return c.State() == TTCPObject::kClosed; }));
  EXPECT_EQ(c.lastReason, 4);
  ::close(lfd);
}

TEST(TcpObject, RefusedConnectionFailsWithTheSocketError) {
  int port;
  int lfd = Listener(port);
  ::close(lfd);  // nobody listens there now
  TCollect c(port);
  c.RetryInterval = 100;
  ASSERT_TRUE(Spin(c, [&] { return c.State() == TTCPObject::kFailed; }));
  EXPECT_NE(c.ErrorCode(), 0);
  EXPECT_NE(c.ErrorCode(), TTCPObject::kConnectTimeoutError);
  const std::uint8_t b = 0;
  EXPECT_FALSE(c.Transmit(&b, 1));  // nothing is queued while not connected
}

TEST(TcpObject, UnsetAddressNeverConnectsAndRetryWaitsWholeSeconds) {
  TCollect c(102);
  c.RemoteAddress[0] = 10;
  c.RemoteAddress[3] = 0;
  TTime t0 = TClock::now();
  c.Tick(t0);
  EXPECT_EQ(c.State(), TTCPObject::kClosed);
  EXPECT_EQ(c.Fd(), -1);

  int port;
  int lfd = Listener(port);
  ::close(lfd);
  TCollect r(port);
  r.Tick(t0);  // first attempt
  ASSERT_TRUE(Spin(r, [&] { return r.State() == TTCPObject::kFailed; }, 1000ms) || r.State() == TTCPObject::kFailed);
  TTime first = r.LastAttempt();
  r.Tick(first + 999ms);
  EXPECT_EQ(r.LastAttempt(), first);  // under a whole second: no new attempt
  r.Tick(first + 1000ms);
  EXPECT_NE(r.LastAttempt(), first);
}

TEST(TcpObject, ConnectTimeLimitGivesErrorThree) {
  // A loopback listener that never accepts and whose backlog is full leaves a further
  // connect pending.
  int port;
  int lfd = Listener(port);
  ::listen(lfd, 0);
  std::vector<int> fillers;
  for (int i = 0; i < 4; ++i) {
    int f = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sa.sin_port = htons(std::uint16_t(port));
    ::connect(f, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    fillers.push_back(f);
  }
  TCollect c(port);
  c.ConnectTimeout = 1;
  c.RetryInterval = 100;
  TTime t0 = TClock::now();
  c.Tick(t0);
  ::usleep(100000);
  c.Tick(t0 + 200ms);
  if (c.State() != TTCPObject::kConnecting) {
    for (int f : fillers) ::close(f);
    ::close(lfd);
    GTEST_SKIP() << "this system completed the connect despite the full backlog";
  }
  c.Tick(t0 + 1500ms);
  EXPECT_EQ(c.State(), TTCPObject::kConnecting);  // 1 whole second does not exceed the limit
  c.Tick(t0 + 2000ms);
  EXPECT_EQ(c.State(), TTCPObject::kFailed);
  EXPECT_EQ(c.ErrorCode(), TTCPObject::kConnectTimeoutError);
  for (int f : fillers) ::close(f);
  ::close(lfd);
}
