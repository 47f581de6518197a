#include "server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "link/frame.h"
#include "model/fileio.h"

namespace t32::rtusim {

TServer::TServer(TRtuSimulator& sim) : sim_(sim) { stopFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK); }

TServer::~TServer() {
  Stop();
  if (stopFd_ >= 0) ::close(stopFd_);
}

void TServer::Start() { thread_ = std::thread([this] { Serve(); }); }

void TServer::Run() { Serve(); }

void TServer::RequestStop() {
  std::uint64_t one = 1;
  if (stopFd_ >= 0) (void)!::write(stopFd_, &one, sizeof one);
}

void TServer::Stop() {
  RequestStop();
  if (thread_.joinable()) thread_.join();
}

void TServer::Reply(const std::vector<std::uint8_t>& answer, int delayMs) {
  if (answer.empty()) return;
  if (delayMs > 0) {
    pollfd p{stopFd_, POLLIN, 0};
    if (::poll(&p, 1, delayMs) > 0) return;  // stopping
  }
  Send(answer);
}

// ---- UDP

TUdpServer::~TUdpServer() {
  Stop();
  if (fd_ >= 0) ::close(fd_);
}

bool TUdpServer::Bind(std::uint32_t ip, std::uint16_t port, std::string& error) {
  fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) {
    error = "socket: " + SystemErrorText(errno);
    return false;
  }
  int on = 1;
  ::setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(ip);
  a.sin_port = htons(port);
  if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    int e = errno;
    error = "UDP " + std::to_string(port) + ": " + SystemErrorText(e);
    if (e == EACCES) error += " (порты ниже 1024: sudo setcap cap_net_bind_service=+ep tavrik32-rtu-sim)";
    ::close(fd_);
    fd_ = -1;
    return false;
  }
  socklen_t len = sizeof a;
  ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
  port_ = ntohs(a.sin_port);
  return true;
}

void TUdpServer::Serve() {
  std::vector<std::uint8_t> buf(65536);
  for (;;) {
    pollfd p[2] = {{fd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
    if (::poll(p, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (p[1].revents & POLLIN) return;
    if (!(p[0].revents & POLLIN)) continue;
    sockaddr_in from{};
    socklen_t flen = sizeof from;
    ssize_t n = ::recvfrom(fd_, buf.data(), buf.size(), 0, reinterpret_cast<sockaddr*>(&from), &flen);
    if (n <= 0) continue;
    peer_.ip = from.sin_addr.s_addr;
    peer_.port = from.sin_port;
    int delay = 0;
    auto answer = sim_.Handle(buf.data(), std::size_t(n), &delay);
    Reply(answer, delay);
  }
}

void TUdpServer::Send(const std::vector<std::uint8_t>& answer) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = peer_.ip;
  to.sin_port = peer_.port;
  ::sendto(fd_, answer.data(), answer.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
}

// ---- Serial

namespace {
bool MakeRaw(int fd, std::string& error) {
  termios tio{};
  if (::tcgetattr(fd, &tio) != 0) {
    error = "tcgetattr: " + SystemErrorText(errno);
    return false;
  }
  ::cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  ::cfsetispeed(&tio, B57600);
  ::cfsetospeed(&tio, B57600);
  if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
    error = "tcsetattr: " + SystemErrorText(errno);
    return false;
  }
  return true;
}
}  // namespace

TSerialServer::~TSerialServer() {
  Stop();
  if (fd_ >= 0) ::close(fd_);
  if (peerFd_ >= 0) ::close(peerFd_);
}

bool TSerialServer::OpenPty(std::string& peerPath, std::string& error) {
  fd_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd_ < 0 || ::grantpt(fd_) != 0 || ::unlockpt(fd_) != 0) {
    error = "posix_openpt: " + SystemErrorText(errno);
    return false;
  }
  char name[256];
  if (::ptsname_r(fd_, name, sizeof name) != 0) {
    error = "ptsname: " + SystemErrorText(errno);
    return false;
  }
  peerPath = name;
  peerFd_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (peerFd_ < 0) {
    error = peerPath + ": " + SystemErrorText(errno);
    return false;
  }
  // No echo, no line editing: the line carries binary frames.
  return MakeRaw(peerFd_, error);
}

bool TSerialServer::OpenDevice(const std::string& path, std::string& error) {
  fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd_ < 0) {
    error = path + ": " + SystemErrorText(errno);
    return false;
  }
  devicePath_ = path;
  return MakeRaw(fd_, error);
}

namespace {
constexpr int kLineRetryMs = 500;

bool HungUp(int fd) {
  pollfd p{fd, POLLIN, 0};
  return fd < 0 || (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) && !(p.revents & POLLIN));
}
}  // namespace

bool TSerialServer::WaitForLine() {
  const std::string name = devicePath_.empty() ? std::string("псевдотерминала") : devicePath_;
  Notice("Линия " + name + " отключена; ожидание её восстановления.");
  for (;;) {
    pollfd stop{stopFd_, POLLIN, 0};
    if (::poll(&stop, 1, kLineRetryMs) > 0) return false;
    if (!devicePath_.empty()) {
      // A device that hung up stays hung up on its old descriptor: open it afresh.
      int fd = ::open(devicePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
      std::string error;
      if (fd < 0) continue;
      if (!MakeRaw(fd, error) || HungUp(fd)) {
        ::close(fd);
        continue;
      }
      if (fd_ >= 0) ::close(fd_);
      fd_ = fd;
    } else if (HungUp(fd_)) {
      continue;
    }
    Notice("Линия " + name + " снова доступна.");
    return true;
  }
}

void TSerialServer::Serve() {
  // Frames are cut from the byte stream by their length byte; a pause of 100 ms in the middle
  // of a frame, or a frame with a wrong check byte, throws the pending bytes away (line noise).
  std::vector<std::uint8_t> pending;
  std::uint8_t chunk[512];
  for (;;) {
    pollfd p[2] = {{fd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
    int r = ::poll(p, 2, pending.empty() ? -1 : 100);
    if (r < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (p[1].revents & POLLIN) return;
    if (r == 0) {
      pending.clear();
      continue;
    }
    if (!(p[0].revents & POLLIN)) {
      if (p[0].revents & POLLNVAL) return;
      // Hung up (or failed) with nothing to read: poll would report it again at once, so
      // wait for the line instead of turning round here.
      if (p[0].revents & (POLLHUP | POLLERR)) {
        pending.clear();
        if (!WaitForLine()) return;
      }
      continue;
    }
    ssize_t n = ::read(fd_, chunk, sizeof chunk);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (n <= 0) {
      // End of input or a read error on a readable line: the other end went away.
      pending.clear();
      if (!WaitForLine()) return;
      continue;
    }
    pending.insert(pending.end(), chunk, chunk + n);
    while (!pending.empty() && pending.size() >= link::AnnouncedFrameSize(pending[0])) {
      std::size_t size = link::AnnouncedFrameSize(pending[0]);
      int delay = 0;
      auto answer = sim_.Handle(pending.data(), size, &delay);
      if (link::CheckFrame(pending.data(), size) != link::TFrameStatus::kOk) {
        pending.clear();
        break;
      }
      pending.erase(pending.begin(), pending.begin() + long(size));
      Reply(answer, delay);
    }
  }
}

void TSerialServer::Send(const std::vector<std::uint8_t>& answer) {
  std::size_t done = 0;
  while (done < answer.size()) {
    ssize_t w = ::write(fd_, answer.data() + done, answer.size() - done);
    if (w > 0) {
      done += std::size_t(w);
    } else if (w < 0 && (errno == EAGAIN || errno == EINTR)) {
      pollfd p{fd_, POLLOUT, 0};
      if (::poll(&p, 1, 1000) <= 0) return;
    } else {
      return;
    }
  }
}

}  // namespace t32::rtusim
