// ISO 8650 ACSE kernel: AARQ carrying the MMS initiate request, AARE acceptance.
#pragma once
#include <cstdint>
#include <vector>

#include "iec61850/ber.h"
#include "iec61850/presentation.h"

namespace t32 {

struct TAcseParams {
  TOidArcs CalledAPTitle = MakeOid({1, 1, 9999, 10});
  std::int32_t CalledAEQualifier = 12;
  std::int32_t CalledAPInvocation = 11;
  std::int32_t CalledAEInvocation = 11;
  TOidArcs CallingAPTitle = MakeOid({1, 1, 9999, 10});
  std::int32_t CallingAEQualifier = 12;
  std::int32_t CallingAPInvocation = 11;
  std::int32_t CallingAEInvocation = 11;
};

namespace acse {
// 1.0.9506.2.3: the MMS application context.
const TOidArcs& MmsContextName();
bool BuildAARQ(const TAcseParams& p, const std::uint8_t* user, std::size_t userLength, std::vector<std::uint8_t>& out);
struct TAare {
  TOidArcs context;
  std::int64_t result = -1;  // 0 accepted, 1 rejected (permanent), 2 rejected (transient)
  const std::uint8_t* user = nullptr;
  std::size_t userLength = 0;
};
bool ParseAARE(const std::uint8_t* data, std::size_t length, TAare& out);
}  // namespace acse

class TACSEobject : public TPresentationObject {
 public:
  enum AcseState { kAcseIdle = 0, kAcseConnecting = 1, kAcseRefused = 2, kAcseConnected = 3 };
  TAcseParams Acse;

  int AcseState() const { return acseState_; }
  void Tick(TTime now) override;
  bool Send(const std::uint8_t* data, std::size_t length) override;

 protected:
  bool DeliverTSDU(const std::uint8_t*& data, std::size_t& length) override;
  void SetAcseState(int s) {
    acseState_ = s;
    acseChanged_ = Now();
  }

 private:
  int acseState_ = kAcseIdle;
  TTime acseChanged_{};
  TTime aarqSent_{};
  std::vector<std::uint8_t> buf_;
};

}  // namespace t32
