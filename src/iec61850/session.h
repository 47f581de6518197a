// ISO 8327 session kernel (version 2, duplex): CONNECT carrying the first user data, ACCEPT,
// and DATA TRANSFER with an empty GIVE TOKENS in front of every unit.
#pragma once
#include <cstdint>
#include <vector>

#include "iec61850/cotp.h"

namespace t32 {

namespace session {
std::vector<std::uint8_t> BuildConnect(std::uint16_t callingSsel, std::uint16_t calledSsel,
                                       const std::uint8_t* user, std::size_t userLength);
// ACCEPT SPDU: true when well formed; user data (if any) is returned in place.
bool ParseAccept(const std::uint8_t* data, std::size_t length, const std::uint8_t*& user, std::size_t& userLength);
}  // namespace session

class TSessionObject : public TCOTPObject {
 public:
  enum SesState { kSesNoTransport = 0, kSesWaiting = 1, kSesConnecting = 2, kSesRefused = 3, kSesOpen = 4 };
  std::uint16_t CallingSSEL = 1;
  std::uint16_t CalledSSEL = 1;

  int SessionState() const { return sesState_; }
  void Tick(TTime now) override;
  bool Send(const std::uint8_t* data, std::size_t length) override;

 protected:
  bool DeliverTSDU(const std::uint8_t*& data, std::size_t& length) override;
  // A layer above refused the connection (or this one did).
  virtual void ConnectionRefused(const char*) {}
  void SetSessionState(int s) {
    sesState_ = s;
    sesChanged_ = Now();
  }

 private:
  int sesState_ = kSesNoTransport;
  TTime sesChanged_{};
  TTime connectSent_{};
};

}  // namespace t32
