// The control-station port: passes the controller's signals to a control station (ПУ) over a
// board serial channel in one of six telemechanics protocols, with the protocol address of
// every output row.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "ports/output_port.h"

namespace t32 {

class TPortPU : public TOutputPort {
 public:
  enum Protocol : std::uint8_t { kSirius = 0, kVikont = 1, kIec101 = 2, kLisnaM = 3, kLisnaV = 4, kLisnaCh = 5 };
  static constexpr int kProtocols = 6;
  // Captions of the protocol chooser, by protocol number.
  static const char* ProtocolName(int protocol);
  // The code the protocol puts into the bound channel (the modem's page follows it).
  static std::uint8_t ChannelCode(int protocol);

  TPortPU();
  const char* ClassName() const override { return "TPortPU"; }
  int SectionCode() const override { return 101; }
  void Create(TNode* n) override;
  void SetDefaults() override;
  void Fields(TFieldVisitor& v) override;
  void SaveToImage(TConfig& c) override;
  void LoadFromImage(TConfig& c) override;
  void LoadFromShortImage(TConfig& c) override;
  void BindingChanged() override { UpdateChannelProtocol(); }
  std::string SignalAddressText(int row, int kind) const override;
  std::vector<std::string> SignalAddressTexts(int kind, int count) const override;

  // --- settings -------------------------------------------------------------------------
  std::string place;
  std::uint8_t protocol = kIec101;
  std::uint8_t retransmitter = 0;  // 0/1
  std::uint8_t sourcePort = 0;     // 0..16
  std::array<std::uint8_t, 6> tsFormats{8, 30, 0, 1, 21, 0};
  std::array<std::uint8_t, 6> tiFormats{8, 11, 11, 0, 22, 0};
  std::array<std::uint8_t, 6> tiiFormats{4, 0, 0, 0, 23, 36};
  // Older single bytes, derived from the formats whenever the port is written.
  std::uint8_t oldTs = 30, oldTi = 2, oldTii = 8;
  std::uint16_t requestCode = 0;   // Лисна-М
  std::uint8_t tsBufferLength = 4; // Лисна-М, 1..32
  std::uint16_t kpAddressSet = 0;  // Лисна-В: bit i for КП address i (1..10)
  std::uint8_t transmitDelay = 0;  // Лисна-В, ms
  std::uint8_t lisnaChAddress = 1; // 1..15
  std::uint8_t lisnaMAddress = 1;  // 1..15
  std::uint8_t linkAddress = 1;    // IEC 101 link address, 1..255
  std::uint8_t asduAddress = 1;    // IEC 101 common address of ASDU, 1..255
  std::uint16_t permissions = 0;   // bit 1: commands refused; bit 2: time setting refused

  // --- rules ----------------------------------------------------------------------------
  // Older bytes from the format bytes.
  void DeriveOlderBytes();
  // Puts the protocol's channel code into the port and into the bound channel.
  void UpdateChannelProtocol();
  // "Работать как ретранслятор" is offered for "Сириус", "Виконт" and "МЭК 870-5-101" only.
  bool RetransmitterAllowed() const { return protocol <= kIec101; }
  // Sets the protocol; a protocol without retransmission clears the option. Updates the channel.
  void SetProtocol(int p);
  // "Не совместимо": a Лисна protocol on a bound channel that is not a plain modem.
  bool Incompatible() const;
  // The ТИ choices with time tags (35, 36) allow at most 16 signals per message.
  void LimitTiPerMessage();
  // Text beside "Период обновления ТИ".
  std::string TiPeriodText() const;
  // The processor's station address (1 without a document).
  int StationAddress() const;

 private:
  std::string Address(int row, int kind, const std::vector<int>* tiStart) const;
  // Starting point of every ТИ row for "Сириус"/"Виконт" in one pass; -1 marks "Ошибка!!!".
  // Result: group * 16 + point (point 1..8).
  std::vector<int> TiWalk(int count) const;
  void ReadKeys(TConfig& c, bool shortRecords);
};

}  // namespace t32
