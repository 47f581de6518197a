// One outgoing TCP connection on a non-blocking POSIX socket, driven by Tick(). The owner
// calls Tick periodically (and whenever poll() reports the descriptor ready); everything runs
// on the owner's thread and no call here ever blocks.
#pragma once
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace t32 {

using TClock = std::chrono::steady_clock;
using TTime = TClock::time_point;

// Whole seconds from `since` to `now` (negative spans count as 0).
std::int64_t WholeSeconds(TTime since, TTime now);

class TTCPObject {
 public:
  enum TcpState { kClosed = 0, kConnecting = 1, kConnected = 2, kFailed = 5, kNoSocket = 6 };
  // Error code stored when the connect time limit runs out.
  static constexpr int kConnectTimeoutError = 3;
  // Largest piece handed to Receive at a time.
  static constexpr std::size_t kReceiveChunk = 64000;
  // Bytes the socket did not take at once wait here; beyond this limit Transmit fails.
  static constexpr std::size_t kMaxPendingOutput = 4u << 20;

  TTCPObject() = default;
  virtual ~TTCPObject();
  TTCPObject(const TTCPObject&) = delete;
  TTCPObject& operator=(const TTCPObject&) = delete;

  // Settings.
  std::uint8_t RemoteAddress[4] = {0, 0, 0, 0};  // first octet first; last octet 0 = not set
  int RemotePort = 102;
  int ConnectTimeout = 10;  // s; descendants also use it as their response time-out
  int RetryInterval = 0;    // s between attempts in states 0 and 5

  int State() const { return state_; }
  int ErrorCode() const { return errorCode_; }
  TTime LastAttempt() const { return lastAttempt_; }
  TTime ConnectedAt() const { return connectedAt_; }
  TTime StateChanged() const { return stateChanged_; }
  // Time given to the last Tick; every time stamp of the stack uses it.
  TTime Now() const { return now_; }

  // Descriptor to watch (-1 when none) and the poll events the object waits for.
  int Fd() const { return fd_; }
  short PollEvents() const;

  // Periodic step: serves socket events first (connect completion, incoming bytes, queued
  // output, peer close), then the connect time limit and the retry timer.
  virtual void Tick(TTime now);
  virtual void Receive(const std::uint8_t* data, std::size_t length);
  virtual bool Send(const std::uint8_t* data, std::size_t length) { return Transmit(data, length); }
  virtual void Open();
  virtual void Close();
  // Sends only while connected; true when the bytes were taken (written or queued).
  virtual bool Transmit(const std::uint8_t* data, std::size_t length);
  virtual void Connected();
  virtual void Disconnect(int reason);

 protected:
  void SetState(int state);
  void SetNow(TTime now) { now_ = now; }
  // Serves socket readiness without the timers (the part of Tick that reacts to events).
  void ServiceSocket();

 private:
  void FlushOutput();

  int state_ = kClosed;
  int errorCode_ = 0;
  int fd_ = -1;
  TTime now_{};
  TTime lastAttempt_{};
  TTime connectedAt_{};
  TTime stateChanged_{};
  std::vector<std::uint8_t> out_;
  std::size_t outPos_ = 0;
};

}  // namespace t32
