// RFC 1006 framing (TPKT) over the TCP client: each ISO transport unit travels with a 4-octet
// header; received bytes are reassembled into whole units.
#pragma once
#include <cstdint>
#include <vector>

#include "net/tcpobject.h"

namespace t32 {

namespace tpkt {
// Header for a payload of `payloadLength` octets.
void PutHeader(std::uint8_t out[4], std::size_t payloadLength);
}

class TPKTObject : public TTCPObject {
 public:
  enum RxError { kRxOk = 0, kRxBadHeader = 1, kRxTooLong = 2 };
  std::size_t MaxTPDUSize = 1024;

  void Receive(const std::uint8_t* data, std::size_t length) override;
  void Open() override;
  // Sends one TPKT carrying 1..MaxTPDUSize payload octets.
  bool SendTPKT(const std::uint8_t* payload, std::size_t length);
  int RxErrorCode() const { return rxError_; }
  std::size_t PendingBytes() const { return pending_.size(); }

 protected:
  // One TPKT payload (header stripped).
  virtual void DeliverTPDU(const std::uint8_t*, std::size_t) {}
  // The byte stream lost its framing; it cannot be resynchronised, so the connection ends.
  virtual void StreamError(int code);

 private:
  std::vector<std::uint8_t> pending_;
  int rxError_ = kRxOk;
};

}  // namespace t32
