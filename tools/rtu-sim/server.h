// Puts the simulated controller on a line: a UDP socket (one datagram per frame, answered to
// its sender) or a serial device, including a pseudo-terminal pair created here whose other
// end the configurator opens as its serial port.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "sim.h"

namespace t32::rtusim {

class TServer {
 public:
  explicit TServer(TRtuSimulator& sim);
  virtual ~TServer();
  // Serves on a thread of its own until Stop().
  void Start();
  // Serves on the calling thread until Stop() (from another thread or a signal handler).
  void Run();
  void Stop();
  // Only signals the serving loop to end (safe in a signal handler); Stop() also waits.
  void RequestStop();
  // Receives what the server has to tell its operator (a line that hung up, came back).
  // Set before Start().
  void SetNotice(std::function<void(const std::string&)> f) { notice_ = std::move(f); }

 protected:
  virtual void Serve() = 0;
  void Reply(const std::vector<std::uint8_t>& answer, int delayMs);
  virtual void Send(const std::vector<std::uint8_t>& answer) = 0;
  void Notice(const std::string& text) {
    if (notice_) notice_(text);
  }
  TRtuSimulator& sim_;
  std::function<void(const std::string&)> notice_;
  int stopFd_ = -1;
  std::thread thread_;
};

class TUdpServer : public TServer {
 public:
  using TServer::TServer;
  ~TUdpServer() override;
  // port 0: the system picks one (see Port()).
  bool Bind(std::uint32_t ip, std::uint16_t port, std::string& error);
  std::uint16_t Port() const { return port_; }

 protected:
  void Serve() override;
  void Send(const std::vector<std::uint8_t>& answer) override;

 private:
  int fd_ = -1;
  std::uint16_t port_ = 0;
  struct { std::uint32_t ip = 0; std::uint16_t port = 0; } peer_;
};

class TSerialServer : public TServer {
 public:
  using TServer::TServer;
  ~TSerialServer() override;
  // Creates a pseudo-terminal pair; `peerPath` is the end the configurator opens.
  bool OpenPty(std::string& peerPath, std::string& error);
  // Serves on a real serial device at 57600 8N1.
  bool OpenDevice(const std::string& path, std::string& error);

 protected:
  void Serve() override;
  void Send(const std::vector<std::uint8_t>& answer) override;

 private:
  // After a hang-up: waits, without spinning, until the line is usable again (a device is
  // reopened by its path). False when the server is stopping.
  bool WaitForLine();

  int fd_ = -1;
  std::string devicePath_;  // set for a device opened by path
  int peerFd_ = -1;  // the pty's other end, kept open so the line survives the configurator's close
};

}  // namespace t32::rtusim
