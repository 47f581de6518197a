// ISO 8327 session kernel.
#include "iec61850/session.h"

namespace t32 {

namespace {
// Length indicator: one octet below 255, else 0xFF and two octets.
void PutLI(std::vector<std::uint8_t>& out, std::size_t n) {
  if (n < 255) {
    out.push_back(static_cast<std::uint8_t>(n));
  } else {
    out.push_back(0xFF);
    out.push_back(static_cast<std::uint8_t>(n >> 8));
    out.push_back(static_cast<std::uint8_t>(n));
  }
}
bool GetLI(const std::uint8_t* d, std::size_t size, std::size_t& i, std::size_t& n) {
  if (i >= size) return false;
  if (d[i] != 0xFF) {
    n = d[i++];
    return true;
  }
  if (size - i < 3) return false;
  n = (std::size_t(d[i + 1]) << 8) | d[i + 2];
  i += 3;
  return true;
}
}  // namespace

std::vector<std::uint8_t> session::BuildConnect(std::uint16_t calling, std::uint16_t called, const std::uint8_t* user,
                                                std::size_t userLength) {
  std::vector<std::uint8_t> params = {
      0x05, 0x06, 0x13, 0x01, 0x00, 0x16, 0x01, 0x02,  // protocol options 0, version 2
      0x14, 0x02, 0x00, 0x02,                          // user requirements: duplex
      0x33, 0x02, std::uint8_t(calling >> 8), std::uint8_t(calling),
      0x34, 0x02, std::uint8_t(called >> 8), std::uint8_t(called),
      0xC1};
  PutLI(params, userLength);
  params.insert(params.end(), user, user + userLength);
  std::vector<std::uint8_t> spdu = {0x0D};
  PutLI(spdu, params.size());
  spdu.insert(spdu.end(), params.begin(), params.end());
  return spdu;
}

bool session::ParseAccept(const std::uint8_t* d, std::size_t size, const std::uint8_t*& user, std::size_t& userLength) {
  user = nullptr;
  userLength = 0;
  if (size < 2 || d[0] != 0x0E) return false;
  std::size_t i = 1, li = 0;
  if (!GetLI(d, size, i, li) || li != size - i) return false;
  while (i < size) {
    std::uint8_t code = d[i++];
    std::size_t n = 0;
    if (!GetLI(d, size, i, n) || n > size - i) return false;
    if (code == 0xC1) {
      user = d + i;
      userLength = n;
    }
    // Other parameters (options, version, requirements, selectors, TSDU size, ...) carry
    // nothing this client acts upon; they are bounded and skipped.
    i += n;
  }
  return true;
}

void TSessionObject::Tick(TTime now) {
  TCOTPObject::Tick(now);
  if (CotpState() != kCotpConnected) {
    if (sesState_ != kSesNoTransport) SetSessionState(kSesNoTransport);
    return;
  }
  if (sesState_ == kSesNoTransport)
    SetSessionState(kSesWaiting);
  else if (sesState_ == kSesConnecting && WholeSeconds(connectSent_, Now()) > ConnectTimeout)
    SetSessionState(kSesRefused);
}

bool TSessionObject::Send(const std::uint8_t* data, std::size_t length) {
  if (length == 0) return false;
  std::vector<std::uint8_t> spdu;
  if (sesState_ != kSesOpen) {
    spdu = session::BuildConnect(CallingSSEL, CalledSSEL, data, length);
    bool ok = TCOTPObject::Send(spdu.data(), spdu.size());
    if (ok) {
      connectSent_ = Now();
      SetSessionState(kSesConnecting);
    }
    return ok;
  }
  spdu.reserve(length + 4);
  spdu = {0x01, 0x00, 0x01, 0x00};
  spdu.insert(spdu.end(), data, data + length);
  return TCOTPObject::Send(spdu.data(), spdu.size());
}

bool TSessionObject::DeliverTSDU(const std::uint8_t*& data, std::size_t& length) {
  if (!TCOTPObject::DeliverTSDU(data, length)) return false;
  switch (data[0]) {
    case 0x01:
      if (length < 4 || data[1] != 0x00 || data[2] != 0x01 || data[3] != 0x00) {
        ProtocolError("SES");
        return false;
      }
      data += 4;
      length -= 4;
      return length > 0;
    case 0x0E: {
      const std::uint8_t* user;
      std::size_t n;
      if (sesState_ != kSesConnecting || !session::ParseAccept(data, length, user, n)) {
        SetSessionState(kSesRefused);
        ConnectionRefused("SES");
        return false;
      }
      SetSessionState(kSesOpen);
      data = user;
      length = n;
      return n > 0;
    }
    case 0x09:
    case 0x0A:
    case 0x0C:
    case 0x19:
      SetSessionState(kSesRefused);
      ConnectionRefused("SES");
      return false;
    default:
      return true;
  }
}

}  // namespace t32
