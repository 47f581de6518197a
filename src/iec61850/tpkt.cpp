// TPKT framing and reassembly.
#include "iec61850/tpkt.h"

#include <cstring>

namespace t32 {

void tpkt::PutHeader(std::uint8_t out[4], std::size_t payloadLength) {
  std::size_t total = payloadLength + 4;
  out[0] = 3;
  out[1] = 0;
  out[2] = static_cast<std::uint8_t>(total >> 8);
  out[3] = static_cast<std::uint8_t>(total);
}

void TPKTObject::Open() {
  pending_.clear();
  rxError_ = kRxOk;
  TTCPObject::Open();
}

bool TPKTObject::SendTPKT(const std::uint8_t* payload, std::size_t length) {
  if (length < 1 || length > MaxTPDUSize || length > 65531) return false;
  std::vector<std::uint8_t> frame(length + 4);
  tpkt::PutHeader(frame.data(), length);
  std::memcpy(frame.data() + 4, payload, length);
  return Transmit(frame.data(), frame.size());
}

void TPKTObject::StreamError(int code) { Disconnect(code); }

void TPKTObject::Receive(const std::uint8_t* data, std::size_t length) {
  pending_.insert(pending_.end(), data, data + length);
  std::size_t pos = 0;
  const int generation = Fd();
  while (pending_.size() - pos >= 4) {
    const std::uint8_t* p = pending_.data() + pos;
    if (p[0] != 3 || p[1] != 0) {
      rxError_ = kRxBadHeader;
      pending_.clear();
      StreamError(kRxBadHeader);
      return;
    }
    std::size_t total = (std::size_t(p[2]) << 8) | p[3];
    if (total < 5 || total > MaxTPDUSize + 64) {
      rxError_ = kRxTooLong;
      pending_.clear();
      StreamError(kRxTooLong);
      return;
    }
    if (pending_.size() - pos < total) break;
    // Deliver a copy: the layer above may end the connection (and clear pending_) meanwhile.
    std::vector<std::uint8_t> unit(p + 4, p + total);
    pos += total;
    DeliverTPDU(unit.data(), unit.size());
    if (Fd() != generation || State() != kConnected) {
      pending_.clear();
      return;
    }
  }
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(pos));
}

}  // namespace t32
