// The two network time ports: the time-setting port makes the controller set its clock from
// an SNTP server or an NMEA 0183 stream over UDP; the time-server port makes it answer NTP
// requests itself. Both live on the processor and carry no tables.
#pragma once
#include <cstdint>

#include "model/item.h"

namespace t32 {

// Ports that run inside the processor: they take it as their channel and write no key 30.
void BindToProcessor(TPort& port);

class TPortGPS : public TPort {
 public:
  enum Protocol : std::uint8_t { kSntp = 0, kNmea = 1 };
  static constexpr std::uint16_t kSntpUdpPort = 123;
  static constexpr std::uint16_t kNmeaUdpPort = 10110;
  static constexpr std::uint32_t kMaxMinutes = 65535;

  TPortGPS();
  const char* ClassName() const override { return "TPortGPS"; }
  int SectionCode() const override { return 120; }
  void Create(TNode* n) override;
  void UpdateNode() override;
  void SetDefaults() override;
  void Fields(TFieldVisitor& v) override;
  void LoadFromImage(TConfig& c) override;
  void LoadFromShortImage(TConfig&) override {}

  // The period is edited in minutes and kept in milliseconds; 65535 minutes still fit the
  // unsigned 32-bit field (a signed one would overflow).
  std::uint32_t PeriodMinutes() const { return period / 60000u; }
  void SetPeriodMinutes(std::uint32_t minutes);
  // Choosing a protocol puts its usual UDP port in place.
  void ChooseProtocol(int p);
  // The server address fields apply to SNTP only.
  bool ServerEnabled() const { return protocol == kSntp; }

  std::uint32_t period = 3600000;
  std::uint16_t udpPort = kSntpUdpPort;
  std::uint8_t protocol = kSntp;
  // No server by default: the controller asks none the engineer did not choose.
  std::uint32_t server = 0;
  std::uint8_t timeZone = 3;
};

class TPortSNTP : public TPort {
 public:
  TPortSNTP();
  const char* ClassName() const override { return "TPortSNTP"; }
  int SectionCode() const override { return 130; }
  void Create(TNode* n) override;
  void UpdateNode() override;
  void SetDefaults() override;
  void Fields(TFieldVisitor& v) override;
  void LoadFromShortImage(TConfig&) override {}

  std::uint16_t udpPort = 123;
  std::uint8_t timeZone = 3;
};

}  // namespace t32
