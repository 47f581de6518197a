// ISO 8073 class 0.
#include "iec61850/cotp.h"

namespace t32 {

namespace {
constexpr std::size_t kSizes[] = {128, 256, 512, 1024, 2048, 4096, 8192};
}

std::uint8_t cotp::SizeCode(std::size_t size) {
  for (int i = 0; i < 7; ++i)
    if (kSizes[i] == size) return static_cast<std::uint8_t>(7 + i);
  return 7;
}

std::vector<std::uint8_t> cotp::BuildCR(std::uint16_t calling, std::uint16_t called, std::size_t tpduSize) {
  return {0x11, 0xE0, 0x00, 0x00, 0x00, 0x01, 0x00,
          0xC1, 0x02, std::uint8_t(calling >> 8), std::uint8_t(calling),
          0xC2, 0x02, std::uint8_t(called >> 8), std::uint8_t(called),
          0xC0, 0x01, SizeCode(tpduSize)};
}

bool cotp::ParseCC(const std::uint8_t* data, std::size_t length, std::uint8_t& sizeCode) {
  if (length < 7 || (data[1] & 0xF0) != 0xD0) return false;
  std::size_t end = std::size_t(data[0]) + 1;  // LI counts the octets after itself
  if (end > length) return false;
  bool found = false;
  std::size_t i = 7;
  while (i + 2 <= end) {
    std::uint8_t code = data[i], len = data[i + 1];
    if (i + 2 + len > end) return false;
    if (code == 0xC0 && len == 1) {
      sizeCode = data[i + 2];
      found = sizeCode >= 7 && sizeCode <= 13;
      if (!found) return false;
    }
    i += 2 + len;
  }
  return found;
}

void TCOTPObject::Connected() {
  TPKTObject::Connected();
  tsdu_.clear();
  SetCotpState(kCotpIdle);
}

void TCOTPObject::Disconnect(int reason) {
  tsdu_.clear();
  SetCotpState(kCotpIdle);
  TPKTObject::Disconnect(reason);
}

void TCOTPObject::Tick(TTime now) {
  TPKTObject::Tick(now);
  if (State() != kConnected) {
    if (cotpState_ != kCotpIdle) SetCotpState(kCotpIdle);
    return;
  }
  if (cotpState_ == kCotpIdle || cotpState_ == kCotpError) {
    MaxTPDUSize = RequestedTPDUSize;
    auto cr = cotp::BuildCR(CallingTSAP, CalledTSAP, RequestedTPDUSize);
    if (SendTPKT(cr.data(), cr.size())) {
      crSent_ = Now();
      SetCotpState(kCotpRequest);
    }
  } else if (cotpState_ == kCotpRequest && WholeSeconds(crSent_, Now()) > ConnectTimeout) {
    SetCotpState(kCotpError);
    Close();
    SetState(kFailed);
  }
}

bool TCOTPObject::Send(const std::uint8_t* data, std::size_t length) {
  if (length == 0 || cotpState_ != kCotpConnected || MaxTPDUSize <= 3) return false;
  const std::size_t piece = MaxTPDUSize - 3;
  std::vector<std::uint8_t> dt;
  bool ok = false;
  for (std::size_t pos = 0; pos < length; pos += piece) {
    std::size_t n = std::min(piece, length - pos);
    bool last = pos + n >= length;
    dt.assign({0x02, 0xF0, std::uint8_t(last ? 0x80 : 0x00)});
    dt.insert(dt.end(), data + pos, data + pos + n);
    ok = SendTPKT(dt.data(), dt.size());
    if (!ok) return false;
  }
  return ok;
}

void TCOTPObject::DeliverTPDU(const std::uint8_t* data, std::size_t length) {
  if (length < 2) return;
  std::uint8_t code = data[1] & 0xF0;
  if (code == 0xD0) {
    if (cotpState_ != kCotpRequest) return;
    std::uint8_t sc = 0;
    if (!cotp::ParseCC(data, length, sc)) {
      SetCotpState(kCotpError);
      return;
    }
    if (sc < 10) MaxTPDUSize = std::size_t(128) << (sc - 7);
    tsdu_.clear();
    SetCotpState(kCotpConnected);
  } else if (code == 0xF0) {
    if (cotpState_ != kCotpConnected) return;
    if (data[0] != 2 || length < 3) {
      tsdu_.clear();
      return;
    }
    if (tsdu_.size() + (length - 3) > kMaxTSDU) {
      // No peer of ours sends units this large; refusing keeps memory bounded.
      tsdu_.clear();
      ProtocolError("COTP");
      return;
    }
    tsdu_.insert(tsdu_.end(), data + 3, data + length);
    if (data[2] & 0x80) {
      std::vector<std::uint8_t> unit;
      unit.swap(tsdu_);
      const std::uint8_t* p = unit.data();
      std::size_t n = unit.size();
      DeliverTSDU(p, n);
    }
  }
  // DR, ER and other codes are ignored: the transport's own close ends the connection.
}

bool TCOTPObject::DeliverTSDU(const std::uint8_t*&, std::size_t& length) { return length > 0; }

}  // namespace t32
