// Serial transport over termios: 57600 baud, 8 data bits, no parity, one stop bit, raw bytes.
// Reading ends when the frame announced by its length byte is complete, when the gap between
// two bytes exceeds the inter-byte time-out, or when the whole read time-out has passed.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "link/frame.h"
#include "link/transport.h"
#include "model/fileio.h"

namespace t32::link {

bool SerialDevicePath(const TLinkSettings& s, std::string& path, std::string& error) {
  if (!s.serialDevice.empty()) {
    path = s.serialDevice;
    return true;
  }
  if (s.serialPort < 1 || s.serialPort > 8) {
    error = "Номер COM-порта " + std::to_string(s.serialPort) + " недопустим: доступны порты с 1 по 8.";
    return false;
  }
  path = s.comDevices[std::size_t(s.serialPort - 1)];
  if (path.empty()) {
    error = "Для порта COM" + std::to_string(s.serialPort) + " не задано устройство.";
    return false;
  }
  return true;
}

namespace {
using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left < 0 ? 0 : int(left);
}

class TSerialTransport : public TTransport {
 public:
  TSerialTransport(std::string path, const TLinkTimeouts& t) : path_(std::move(path)), t_(t) {}
  ~TSerialTransport() override { Close(); }

  bool Open(std::string& error) override {
    Close();
    fd_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
      int e = errno;
      error = "Не удалось открыть последовательный порт " + path_ + ": " + SystemErrorText(e);
      if (e == EACCES) error += " Добавьте пользователя в группу dialout и войдите в систему заново.";
      return false;
    }
    // Exclusive use: a second program (or a second configurator) must not share the line.
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
      error = "Последовательный порт " + path_ + " занят другой программой.";
      Close();
      return false;
    }
    termios tio{};
    if (::tcgetattr(fd_, &tio) != 0) {
      error = path_ + " не является последовательным портом.";
      Close();
      return false;
    }
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~tcflag_t(CSTOPB | PARENB | CSIZE | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~tcflag_t(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    ::cfsetispeed(&tio, B57600);
    ::cfsetospeed(&tio, B57600);
    if (::tcsetattr(fd_, TCSANOW, &tio) != 0) {
      error = "Не удалось настроить последовательный порт " + path_ + ": " + SystemErrorText(errno);
      Close();
      return false;
    }
    ::tcflush(fd_, TCIOFLUSH);
    return true;
  }

  void Close() override {
    if (fd_ < 0) return;
    // Only input is thrown away: flushing output as well would discard a request still on its
    // way out (a restart is sent just before the close and must reach the controller).
    ::tcflush(fd_, TCIFLUSH);
    ::close(fd_);  // also releases the lock
    fd_ = -1;
  }

  bool IsOpen() const override { return fd_ >= 0; }

  void DiscardInput() override {
    if (fd_ >= 0) ::tcflush(fd_, TCIFLUSH);
  }

  bool Send(const std::uint8_t* data, std::size_t size) override {
    if (fd_ < 0) return false;
    auto deadline = Clock::now() + std::chrono::milliseconds(t_.serialWritePerByteMs * long(size) + t_.serialWriteBaseMs);
    std::size_t done = 0;
    while (done < size) {
      ssize_t w = ::write(fd_, data + done, size - done);
      if (w > 0) {
        done += std::size_t(w);
        continue;
      }
      if (w < 0 && errno != EAGAIN && errno != EINTR) break;
      pollfd p{fd_, POLLOUT, 0};
      int left = MsLeft(deadline);
      if (left == 0 || ::poll(&p, 1, left) <= 0 || (p.revents & (POLLERR | POLLHUP | POLLNVAL))) break;
    }
    if (done == size) return true;
    ::tcflush(fd_, TCIOFLUSH);  // clear what is left so the next request starts clean
    return false;
  }

  long Receive(std::uint8_t* buf, std::size_t capacity, std::size_t expected, int cancelFd) override {
    if (fd_ < 0 || capacity == 0) return 0;
    auto deadline =
        Clock::now() + std::chrono::milliseconds(t_.serialReadPerByteMs * long(expected) + t_.serialReadBaseMs);
    std::size_t got = 0;
    for (;;) {
      if (got > 0 && got >= AnnouncedFrameSize(buf[0])) break;
      if (got >= capacity) break;
      int wait = MsLeft(deadline);
      if (got > 0 && wait > t_.serialInterByteMs) wait = t_.serialInterByteMs;
      if (wait == 0) break;
      pollfd p[2] = {{fd_, POLLIN, 0}, {cancelFd, POLLIN, 0}};
      int r = ::poll(p, cancelFd >= 0 ? 2 : 1, wait);
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) break;  // time-out (inter-byte or whole read)
      if (cancelFd >= 0 && (p[1].revents & POLLIN)) return -1;
      if (p[0].revents & POLLIN) {
        ssize_t n = ::read(fd_, buf + got, capacity - got);
        if (n > 0) {
          got += std::size_t(n);
          continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
      }
      // Read error or hang-up: clear the line state and give up on this answer.
      ::tcflush(fd_, TCIOFLUSH);
      break;
    }
    return long(got);
  }

 private:
  std::string path_;
  TLinkTimeouts t_;
  int fd_ = -1;
};
}  // namespace

std::unique_ptr<TTransport> MakeSerialTransport(const std::string& devicePath, const TLinkTimeouts& t) {
  return std::make_unique<TSerialTransport>(devicePath, t);
}

}  // namespace t32::link
