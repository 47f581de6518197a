// ISO 8823 presentation kernel, normal mode, BER transfer syntax: CP-type with two contexts
// (1 ACSE, 3 MMS), CPA acceptance and P-DATA in fully encoded form.
#pragma once
#include <cstdint>
#include <vector>

#include "iec61850/session.h"

namespace t32 {

namespace presentation {
constexpr std::int64_t kAcseContext = 1;
constexpr std::int64_t kMmsContext = 3;
bool BuildCP(std::uint32_t callingPsel, std::uint32_t calledPsel, const std::uint8_t* user, std::size_t userLength,
             std::vector<std::uint8_t>& out);
bool BuildUserData(std::int64_t context, const std::uint8_t* user, std::size_t userLength, std::vector<std::uint8_t>& out);
// Fully encoded user data ([APPLICATION 1]): the first PDV's context and its data in place.
bool ParseUserData(const std::uint8_t* data, std::size_t length, std::int64_t& context, const std::uint8_t*& user,
                   std::size_t& userLength);
// CPA-PPDU: accepted when both context results are acceptance; user data in place.
bool ParseCPA(const std::uint8_t* data, std::size_t length, std::int64_t& context, const std::uint8_t*& user,
              std::size_t& userLength);
}  // namespace presentation

class TPresentationObject : public TSessionObject {
 public:
  enum PresState { kPresIdle = 0, kPresConnecting = 1, kPresRefused = 2, kPresConnected = 3 };
  std::uint32_t CallingPSEL = 1;
  std::uint32_t CalledPSEL = 1;

  int PresentationState() const { return presState_; }
  std::int64_t ContextId() const { return contextId_; }
  void Tick(TTime now) override;
  bool Send(const std::uint8_t* data, std::size_t length) override;

 protected:
  bool DeliverTSDU(const std::uint8_t*& data, std::size_t& length) override;
  void SetPresentationState(int s) {
    presState_ = s;
    presChanged_ = Now();
  }
  std::int64_t NextContext = presentation::kMmsContext;

 private:
  int presState_ = kPresIdle;
  TTime presChanged_{};
  TTime cpSent_{};
  std::int64_t contextId_ = 0;
  std::vector<std::uint8_t> buf_;
};

}  // namespace t32
