// МКТ-3 output port: the controller sends its ТС, ТУ and ТИ signals to a receiver in the МКТ-3
// telemechanics protocol over a modem channel. Signals are grouped by eight; the protocol
// carries at most 64 ТС groups and 8 ТИ (and ТУ) groups, and each ТИ channel has a type.
#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "ports/output_port.h"

namespace t32 {

// A ТИ channel type: code, menu caption, cell text (bipolar cells are drawn bold).
struct TMkt3ChannelType {
  std::uint8_t code;
  const char* menu;
  const char* cell;
  bool bipolar;
};

class TPortMKT3 : public TOutputPort {
 public:
  static constexpr int kMaxTSGroups = 64;
  static constexpr int kMaxTIGroups = 8;
  static const std::array<TMkt3ChannelType, 6>& ChannelTypes();
  // The entry of a code, or none for a code no menu offers (kept as it stands).
  static const TMkt3ChannelType* ChannelType(std::uint8_t code);

  TPortMKT3();
  const char* ClassName() const override { return "TPortMKT3"; }
  int SectionCode() const override { return 103; }
  // The ТС, ТУ and ТИ output tables.
  void Create(TNode* n) override;
  void Fields(TFieldVisitor& v) override;
  void SaveToImage(TConfig& c) override;
  void LoadFromImage(TConfig& c) override;
  // No short layout of its own is known: the keys present are read, the tables come from the
  // storage's legacy lists afterwards.
  void LoadFromShortImage(TConfig& c) override;
  std::string SignalAddressText(int row, int kind) const override;

  std::string place;  // "Место установки ПУ"
  std::uint8_t tsGroups = 1;
  std::uint8_t tiGroups = 1;
  std::array<std::uint8_t, 64> channelTypes{};  // 8 groups × 8 channels

  // Recounts the groups from the table rows; true in *tsLimited / *tiLimited when the protocol's
  // maximum had to be taken.
  void CountGroups(bool* tsLimited = nullptr, bool* tiLimited = nullptr);
  // Sets a type on cells (group × 8 + channel); codes not offered are refused.
  void SetChannelType(const std::vector<int>& cells, std::uint8_t code);
};

}  // namespace t32
