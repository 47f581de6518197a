// The two fixed items at the top of every tree: the controller (root, writes nothing) and the
// processor board (first section of every image, station-wide settings and the counts of
// boards and ports that drive the image reader).
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "model/item.h"

namespace t32 {

class TController : public TBlock {
 public:
  TController();
  const char* ClassName() const override { return "TController"; }
  int SectionCode() const override { return -1; }
  void UpdateNode() override;
  void SaveToImage(TConfig&) override {}
  void LoadFromImage(TConfig&) override {}
  void LoadFromShortImage(TConfig&) override {}

  // The controller overview: which boards sit at which address and interrupt line.
  struct Cell {
    std::string text;
    std::vector<TItem*> items;
  };
  std::array<Cell, 16> AddressRows() const;  // addresses 0..15
  std::array<Cell, 5> IrqRows() const;       // IRQ 3..7
  struct PortRow {
    std::string port, channel;
    TItem* portItem = nullptr;
    TItem* channelItem = nullptr;
  };
  std::vector<PortRow> PortRows() const;  // one per port after the IP port
};

// One sporadic ТИ group of the processor (81 bytes in the image). Not TGroup: that is the
// IEC 104 station's group, and one program holds both.
struct TTIGroup {
  float absAperture = 0;
  float relAperture = 0;
  float upper = 0;
  float lower = 0;
  std::string name;
  static constexpr std::size_t kSize = 81;
  void Encode(std::uint8_t out[kSize]) const;
  void Decode(const std::uint8_t in[kSize]);
};

class TProc : public TBlock {
 public:
  static constexpr int kMaxGroups = 100;
  TProc();
  const char* ClassName() const override { return "TProc"; }
  int SectionCode() const override { return 0; }
  void UpdateNode() override;
  void SetDefaults() override;
  void SaveToImage(TConfig& c) override;
  void LoadFromImage(TConfig& c) override;
  void LoadFromShortImage(TConfig& c) override;
  void Fields(TFieldVisitor& v) override;
  void DumpExtra(std::string& out, const std::string& indent) const override;

  std::string place;
  std::uint16_t stationAddress = 1;
  std::uint16_t logRetention = 30;
  std::uint8_t saveTSInLog = 0;
  std::uint32_t groupCount = 0;
  std::array<std::uint8_t, 4> passwordFlags{0, 0, 0, 0};  // read files, write files, read data, write data
  std::array<TTIGroup, kMaxGroups> groups{};

  // Sets the groups from editor rows: rows with an empty name are dropped, names cut to 64.
  void SetGroups(const std::vector<TTIGroup>& rows);

 protected:
  // A processor section kept as it stood still has to tell how many boards and ports follow.
  void WriteKept(TConfig& c) override;

 private:
  // Root children (processor and boards) and processor children (IP port and ports) now.
  std::uint8_t BoardCount() const;
  std::uint8_t PortCount() const;
};

}  // namespace t32
