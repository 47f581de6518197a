// UDP transport: one datagram per frame, sent from the own address and port to the
// controller's. The socket may send broadcasts, so a controller whose address is not known
// yet can be reached through the broadcast address.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include "link/transport.h"
#include "model/fileio.h"
#include "model/memstream.h"

namespace t32::link {
namespace {
using Clock = std::chrono::steady_clock;

constexpr std::size_t kDatagramBuffer = 64000;

std::string ProgramPath() {
  char buf[4096];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "<программа>";
  return std::string(buf, std::size_t(n));
}

sockaddr_in MakeAddr(std::uint32_t ip, std::uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(ip);
  a.sin_port = htons(port);
  return a;
}

class TUdpTransport : public TTransport {
 public:
  TUdpTransport(std::uint32_t own, std::uint16_t lport, std::uint32_t ctrl, std::uint16_t rport,
                const TLinkTimeouts& t, bool commandLine)
      : own_(own), lport_(lport), ctrl_(ctrl), rport_(rport), t_(t), commandLine_(commandLine), rx_(kDatagramBuffer) {}
  ~TUdpTransport() override { Close(); }

  bool Open(std::string& error) override {
    Close();
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd_ < 0) {
      error = "Не удалось создать сокет UDP: " + SystemErrorText(errno);
      return false;
    }
    int on = 1;
    ::setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    sockaddr_in a = MakeAddr(own_, lport_);
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
      int e = errno;
      std::string where = U32ToIpText(own_) + ":" + std::to_string(lport_);
      if (e == EADDRINUSE) {
        error = "UDP порт " + where +
                " уже занят другой программой (например, вторым экземпляром конфигуратора или симулятором "
                "контроллера на том же адресе). Закройте её или " +
                std::string(commandLine_ ? "задайте другой адрес или порт опцией --local ADDR[:PORT]."
                                         : "задайте в параметрах связи другой IP адрес ПЭВМ или другой порт.");
      } else if (e == EACCES) {
        error = "Нет прав открыть UDP порт " + std::to_string(lport_) +
                ": порты с номерами ниже 1024 открывает только программа с правом CAP_NET_BIND_SERVICE. "
                "Дайте программе это право командой «sudo setcap cap_net_bind_service=+ep " +
                ProgramPath() + "», или разрешите такие порты всем командой «sudo sysctl -w "
                "net.ipv4.ip_unprivileged_port_start=" + std::to_string(lport_) + "», или " +
                (commandLine_ ? "задайте опцией --local ADDR:PORT порт 1024 или выше (или 0)."
                              : "задайте в параметрах связи порт 1024 или выше.");
      } else if (e == EADDRNOTAVAIL) {
        error = "Адрес " + U32ToIpText(own_) + " не принадлежит этому компьютеру. " +
                (commandLine_ ? "Задайте опцией --local ADDR[:PORT] один из адресов этого компьютера."
                              : "Выберите IP адрес ПЭВМ из списка в параметрах связи.");
      } else {
        error = "Не удалось открыть UDP порт " + where + ": " + SystemErrorText(e);
      }
      Close();
      return false;
    }
    socklen_t len = sizeof self_;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&self_), &len);
    return true;
  }

  void Close() override {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

  bool IsOpen() const override { return fd_ >= 0; }

  void DiscardInput() override {
    if (fd_ < 0) return;
    // A late answer to an earlier, timed-out request must not pass for the next answer.
    while (::recv(fd_, rx_.data(), rx_.size(), MSG_DONTWAIT) >= 0) {
    }
  }

  bool Send(const std::uint8_t* data, std::size_t size) override {
    if (fd_ < 0) return false;
    sockaddr_in to = MakeAddr(ctrl_, rport_);
    for (;;) {
      ssize_t n = ::sendto(fd_, data, size, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
      if (n == ssize_t(size)) return true;
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno == EAGAIN) {
        pollfd p{fd_, POLLOUT, 0};
        if (::poll(&p, 1, t_.udpAnswerMs) > 0) continue;
      }
      return false;
    }
  }

  long Receive(std::uint8_t* buf, std::size_t capacity, std::size_t, int cancelFd) override {
    if (fd_ < 0) return 0;
    auto deadline = Clock::now() + std::chrono::milliseconds(t_.udpAnswerMs);
    for (;;) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return 0;
      pollfd p[2] = {{fd_, POLLIN, 0}, {cancelFd, POLLIN, 0}};
      int r = ::poll(p, cancelFd >= 0 ? 2 : 1, int(left));
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) return 0;
      if (cancelFd >= 0 && (p[1].revents & POLLIN)) return -1;
      sockaddr_in from{};
      socklen_t flen = sizeof from;
      ssize_t n = ::recvfrom(fd_, rx_.data(), rx_.size(), 0, reinterpret_cast<sockaddr*>(&from), &flen);
      if (n < 0) {
        if (errno == EAGAIN || errno == EINTR || errno == ECONNREFUSED) continue;
        return 0;
      }
      // Our own broadcast coming back is not an answer; neither is an empty datagram.
      if (n == 0 || (from.sin_addr.s_addr == self_.sin_addr.s_addr && from.sin_port == self_.sin_port)) continue;
      std::size_t take = std::min(std::size_t(n), capacity);
      std::memcpy(buf, rx_.data(), take);
      return long(take);
    }
  }

 private:
  std::uint32_t own_;
  std::uint16_t lport_;
  std::uint32_t ctrl_;
  std::uint16_t rport_;
  TLinkTimeouts t_;
  bool commandLine_ = false;
  std::vector<std::uint8_t> rx_;
  sockaddr_in self_{};
  int fd_ = -1;
};
}  // namespace

std::unique_ptr<TTransport> MakeUdpTransport(std::uint32_t ownIp, std::uint16_t localPort, std::uint32_t controllerIp,
                                             std::uint16_t remotePort, const TLinkTimeouts& t, bool commandLine) {
  return std::make_unique<TUdpTransport>(ownIp, localPort, controllerIp, remotePort, t, commandLine);
}

}  // namespace t32::link
