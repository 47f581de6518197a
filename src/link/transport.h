// The two ways to reach the controller: a serial line (termios) and UDP datagrams. A transport
// moves bytes only; framing, check bytes and messages belong to TLink.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace t32::link {

// Waiting limits. The defaults are what the controller is built for; tests shorten them.
struct TLinkTimeouts {
  int serialInterByteMs = 20;     // gap between two received bytes
  int serialReadPerByteMs = 2;    // whole read: per requested byte ...
  int serialReadBaseMs = 500;     // ... plus this
  int serialWritePerByteMs = 10;  // whole write: per byte ...
  int serialWriteBaseMs = 1000;   // ... plus this
  int udpAnswerMs = 2000;         // wait for an answer datagram
};

enum class TLinkKind { kSerial = 0, kUdp = 1 };

constexpr std::uint16_t kDefaultUdpPort = 208;

struct TLinkSettings {
  TLinkKind kind = TLinkKind::kSerial;
  int serialPort = 1;        // "COM1".."COM8"
  std::string serialDevice;  // when not empty, this device path is used instead of the port number
  std::array<std::string, 8> comDevices{"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyS2", "/dev/ttyS3",
                                        "/dev/ttyS4", "/dev/ttyS5", "/dev/ttyS6", "/dev/ttyS7"};
  std::uint32_t ownIp = 0;         // most significant byte = first octet
  std::uint32_t controllerIp = 0;
  std::uint16_t localPort = kDefaultUdpPort;   // 0: the system picks one (tests)
  std::uint16_t remotePort = kDefaultUdpPort;
  TLinkTimeouts timeouts;
  // The settings come from the command line: messages name its options (--local) instead of
  // the link settings dialog.
  bool commandLine = false;
};

// The device path for the serial settings; false with a Russian reason when the port number is
// outside 1..8 (no port is opened then).
bool SerialDevicePath(const TLinkSettings& s, std::string& path, std::string& error);

class TTransport {
 public:
  virtual ~TTransport() = default;
  // False with a Russian reason (what failed and how to mend it).
  virtual bool Open(std::string& error) = 0;
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
  // Drops whatever arrived since the last exchange (late answers, line noise).
  virtual void DiscardInput() = 0;
  virtual bool Send(const std::uint8_t* data, std::size_t size) = 0;
  // Waits for one answer frame and stores at most `capacity` bytes of it. `expected` is the
  // size asked for (it sets the serial read time-out). Returns the number of bytes stored,
  // 0 when nothing came in time, -1 when cancelFd became readable.
  virtual long Receive(std::uint8_t* buf, std::size_t capacity, std::size_t expected, int cancelFd) = 0;
};

std::unique_ptr<TTransport> MakeSerialTransport(const std::string& devicePath, const TLinkTimeouts& t);
std::unique_ptr<TTransport> MakeUdpTransport(std::uint32_t ownIp, std::uint16_t localPort, std::uint32_t controllerIp,
                                             std::uint16_t remotePort, const TLinkTimeouts& t,
                                             bool commandLine = false);

}  // namespace t32::link
