// ISO 8073 class 0 transport over TPKT: connection request/confirm, data units cut to the
// negotiated size and reassembled into whole service data units.
#pragma once
#include <cstdint>
#include <vector>

#include "iec61850/tpkt.h"

namespace t32 {

namespace cotp {
// Size code (7..13) for a TPDU size; sizes not in the table give 7.
std::uint8_t SizeCode(std::size_t size);
// Connection request TPDU (18 octets).
std::vector<std::uint8_t> BuildCR(std::uint16_t callingTsap, std::uint16_t calledTsap, std::size_t tpduSize);
// Connection confirm: true with the offered size code when the TPDU is a CC with a valid 0xC0
// parameter.
bool ParseCC(const std::uint8_t* data, std::size_t length, std::uint8_t& sizeCode);
}  // namespace cotp

class TCOTPObject : public TPKTObject {
 public:
  enum CotpState { kCotpIdle = 0, kCotpRequest = 1, kCotpError = 2, kCotpConnected = 3 };
  static constexpr std::size_t kMaxTSDU = 65540;

  std::uint16_t CallingTSAP = 1;
  std::uint16_t CalledTSAP = 1;
  std::size_t RequestedTPDUSize = 1024;

  int CotpState() const { return cotpState_; }
  void ResetCotp() { SetCotpState(kCotpIdle); }

  void Tick(TTime now) override;
  void Connected() override;
  void Disconnect(int reason) override;
  // Cuts a TSDU into DT TPDUs; the result is that of the last one.
  bool Send(const std::uint8_t* data, std::size_t length) override;

 protected:
  void DeliverTPDU(const std::uint8_t* data, std::size_t length) override;
  // One reassembled TSDU; the layers above strip their headers in turn (data and length are
  // advanced past each layer's own part). True when something is left for the layer above.
  virtual bool DeliverTSDU(const std::uint8_t*& data, std::size_t& length);
  // A received unit broke the rules of a layer so badly that the association cannot go on.
  virtual void ProtocolError(const char*) { Disconnect(5); }
  void SetCotpState(int s) {
    cotpState_ = s;
    cotpChanged_ = Now();
  }

 private:
  int cotpState_ = kCotpIdle;
  TTime cotpChanged_{};
  TTime crSent_{};
  std::vector<std::uint8_t> tsdu_;
};

}  // namespace t32
