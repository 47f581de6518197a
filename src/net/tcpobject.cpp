// Non-blocking TCP client: connect with a time limit, retry, send queue, receive hand-off.
#include "net/tcpobject.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace t32 {

std::int64_t WholeSeconds(TTime since, TTime now) {
  if (now <= since) return 0;
  return std::chrono::duration_cast<std::chrono::seconds>(now - since).count();
}

TTCPObject::~TTCPObject() {
  if (fd_ >= 0) ::close(fd_);
}

short TTCPObject::PollEvents() const {
  if (fd_ < 0) return 0;
  if (state_ == kConnecting) return POLLOUT;
  if (state_ == kConnected) return static_cast<short>(POLLIN | (outPos_ < out_.size() ? POLLOUT : 0));
  return 0;
}

void TTCPObject::SetState(int state) {
  state_ = state;
  stateChanged_ = now_;
}

void TTCPObject::Open() {
  lastAttempt_ = now_;
  if (RemoteAddress[3] == 0) return;
  if (fd_ >= 0) Close();
  out_.clear();
  outPos_ = 0;
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    errorCode_ = errno;
    SetState(kNoSocket);
    return;
  }
  int size = 32768, on = 1, off = 0;
  ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
  ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
  ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &off, sizeof off);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<std::uint16_t>(RemotePort));
  std::memcpy(&sa.sin_addr.s_addr, RemoteAddress, 4);
  int rc = ::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
  if (rc == 0 || errno == EINPROGRESS) {
    fd_ = fd;
    errorCode_ = 0;
    // Completion (even an immediate one) is picked up by the next Tick, like a notification.
    SetState(kConnecting);
  } else {
    errorCode_ = errno;
    ::close(fd);
    SetState(kFailed);
  }
}

void TTCPObject::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  out_.clear();
  outPos_ = 0;
  SetState(kClosed);
}

void TTCPObject::Connected() {
  SetState(kConnected);
  connectedAt_ = now_;
}

void TTCPObject::Disconnect(int) { Close(); }

void TTCPObject::Receive(const std::uint8_t*, std::size_t) {}

bool TTCPObject::Transmit(const std::uint8_t* data, std::size_t length) {
  if (state_ != kConnected || fd_ < 0) return false;
  if (length == 0) return true;
  std::size_t sent = 0;
  if (outPos_ >= out_.size()) {
    while (sent < length) {
      ssize_t n = ::send(fd_, data + sent, length - sent, MSG_NOSIGNAL);
      if (n > 0) {
        sent += static_cast<std::size_t>(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
      return false;
    }
    if (sent == length) return true;
    out_.clear();
    outPos_ = 0;
  }
  if (out_.size() - outPos_ + (length - sent) > kMaxPendingOutput) return false;
  out_.insert(out_.end(), data + sent, data + length);
  return true;
}

void TTCPObject::FlushOutput() {
  while (fd_ >= 0 && outPos_ < out_.size()) {
    ssize_t n = ::send(fd_, out_.data() + outPos_, out_.size() - outPos_, MSG_NOSIGNAL);
    if (n > 0) {
      outPos_ += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    Disconnect(4);
    return;
  }
  if (outPos_ >= out_.size()) {
    out_.clear();
    outPos_ = 0;
  }
}

void TTCPObject::ServiceSocket() {
  if (fd_ < 0) return;
  if (state_ == kConnecting) {
    pollfd p{fd_, POLLOUT, 0};
    if (::poll(&p, 1, 0) <= 0) return;
    int err = 0;
    socklen_t len = sizeof err;
    if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
    if (err == 0 && (p.revents & (POLLERR | POLLHUP)) == 0) {
      Connected();
    } else {
      if (err == 0) err = ECONNREFUSED;
      ::close(fd_);
      fd_ = -1;
      errorCode_ = err;
      SetState(kFailed);
    }
    return;
  }
  if (state_ != kConnected) return;
  FlushOutput();
  // Read what is waiting, in pieces of at most kReceiveChunk, but not forever in one tick.
  static thread_local std::uint8_t buffer[kReceiveChunk];
  for (int round = 0; round < 64 && fd_ >= 0 && state_ == kConnected; ++round) {
    ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
    if (n > 0) {
      Receive(buffer, static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    // 0 = orderly close by the peer; anything else = reset or error.
    Disconnect(4);
    break;
  }
}

void TTCPObject::Tick(TTime now) {
  now_ = now;
  ServiceSocket();
  switch (state_) {
    case kClosed:
    case kFailed:
      if (WholeSeconds(lastAttempt_, now_) > RetryInterval || lastAttempt_ == TTime{}) Open();
      break;
    case kConnecting:
      if (WholeSeconds(lastAttempt_, now_) > ConnectTimeout) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
        errorCode_ = kConnectTimeoutError;
        SetState(kFailed);
      }
      break;
    default:
      break;
  }
}

}  // namespace t32
