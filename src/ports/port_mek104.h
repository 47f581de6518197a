// The IEC 60870-5-104 output port over a board serial line (RS-232/485): like the control-station
// port it passes the controller's signals on from six output tables; a row's information object
// address is its table's address base plus the row. The protocol runs in the controller.
#pragma once
#include <cstdint>
#include <string>

#include "ports/output_port.h"

namespace t32 {

class TPortMEK104 : public TOutputPort {
 public:
  TPortMEK104();
  const char* ClassName() const override { return "TPortMEK104"; }
  int SectionCode() const override { return 119; }
  void Create(TNode* n) override;
  void SetDefaults() override;
  void Fields(TFieldVisitor& v) override;
  void SaveToImage(TConfig& c) override;
  void LoadFromImage(TConfig& c) override;
  // Older short-record images hold nothing of this port beyond its section.
  void LoadFromShortImage(TConfig& /*c*/) override {}
  std::string SignalAddressText(int row, int kind) const override;

  std::string place;
  std::uint8_t tsType = 1;    // ASDU 1 or 30
  std::uint8_t tiPerAsdu = 1;  // 1, 8, 16, 24 (ТИ and ТС)
  std::uint8_t tiiPerAsdu = 1;  // 1, 4, 8
  std::uint16_t tiInterval = 1000;  // ms, 0..60000
  std::uint32_t t1 = 15000, t2 = 5000, t3 = 40000;  // ms
  std::uint8_t k = 12, w = 8;  // 0..50
  std::uint8_t extraCrc = 1;   // "Дополнительная контрольная сумма"
  std::uint16_t flags = 1;     // bit 0: file writing allowed

  // T1..T3 are edited in seconds (0..60000).
  static std::uint32_t SecondsToMs(long long s);
  // Rows of the ТИ table that found their source.
  int ResolvedTiRows() const;
  // "всех ТИ   %d с": resolved ТИ rows × interval / 1000.
  std::string UpdatePeriodText() const;
  // The label is red while no ТИ row is resolved.
  bool UpdatePeriodAlarm() const { return ResolvedTiRows() == 0; }
};

}  // namespace t32
