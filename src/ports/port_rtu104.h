// The IEC 104 polling port: the controller as a controlling station towards other IEC 104
// stations on its network. Each polled station is a device under the port that owns the
// station's settings and objects; the objects ticked in the station editor become the device's
// signals. The station travels to the controller as its serialised block (key 102).
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "iec104/station.h"
#include "ports/polling_port.h"

namespace t32 {

class TParams;

// The names each table of a device gets, in table order, before they go on the tables.
struct TRTU104Lists {
  std::vector<std::string> ts, tu, ti, tii, tr, mts;
  std::vector<std::string>& Of(int kind);
};

class TRTU104 : public TPolledDevice {
 public:
  // Rows one table takes from the ticked objects.
  static constexpr std::size_t kMaxRows = 8192;
  static constexpr std::uint32_t kDefaultIp = 0xC0A80100;  // 192.168.1.0

  TRTU104();
  ~TRTU104() override;
  const char* ClassName() const override { return "TRTU104"; }
  int SectionCode() const override { return 224; }
  std::uint8_t KnownVersion() const override { return 1; }
  void Create(TNode* n) override;
  void UpdateNode() override;
  void SaveToImage(TConfig& c) override;
  void LoadFromImage(TConfig& c) override;
  void LoadFromShortImage(TConfig& /*c*/) override {}
  void EnumerateSignals(TStorageLists& lists) override;
  void AfterLoad() override;
  void UpdateStatusTable() override;
  void WriteChildren(TConfig& /*c*/) override {}  // tables are written by kind
  void DumpExtra(std::string& out, const std::string& indent) const override;

  TWS_104& Station() { return *station_; }
  const TWS_104& Station() const { return *station_; }
  // The table of a kind (kSigTS..kSigMTS), or none.
  TParams* Table(int kind) const;
  // "%s.%d_%s": port name, address, type name.
  std::string SignalPrefix() const;
  // The station's main-channel remote IP, first octet highest.
  std::uint32_t Ip() const;
  void SetIp(std::uint32_t ip);
  // The names the ticked objects give, sorted into tables, made unique on the final names.
  // `dropped` (when given) gets, per table kind, how many objects went over kMaxRows.
  TRTU104Lists NameLists(std::vector<std::pair<int, std::size_t>>* dropped = nullptr) const;
  // The station was edited (the device's editor or the station editor): place and address
  // follow it, damaged bytes kept from the image are given up, the signals are rebuilt. A
  // station past 1 MiB is reported at once (no image can be made while it stays so).
  void StationEdited();
  // The station block could not be read: its bytes go back to the image unchanged.
  bool StationDamaged() const { return damaged_; }
  // The station's serialised form as the image gets it (the kept bytes when damaged); false
  // when it is larger than the controller takes.
  bool StationBytes(std::vector<std::uint8_t>& out) const;
  // Reads a serialised station (key 102's bytes); false changes nothing.
  bool ReadStation(const std::vector<std::uint8_t>& bytes, std::string* error = nullptr);
  // A damaged station's block as it stood, for a copy of the device.
  void TakeKeptStation(const TRTU104& src) {
    damaged_ = src.damaged_;
    keptLength_ = src.keptLength_;
    keptBytes_ = src.keptBytes_;
  }

 private:
  std::unique_ptr<TWS_104> station_;
  bool damaged_ = false;
  std::uint32_t keptLength_ = 0;          // key 60 as read, for a damaged station
  std::vector<std::uint8_t> keptBytes_;   // key 102 as read, for a damaged station
  std::vector<std::uint8_t> lastBytes_;   // the station as last read or written
};

class TPortRTU104 : public TPollingPort {
 public:
  TPortRTU104();
  const char* ClassName() const override { return "TPortRTU104"; }
  int SectionCode() const override { return 128; }
  void Create(TNode* n) override;
  void SetDefaults() override;
  void Fields(TFieldVisitor& v) override;
  void SaveToImage(TConfig& c) override;
  void LoadFromImage(TConfig& c) override;
  void LoadFromShortImage(TConfig& /*c*/) override {}
  void UpdateStatusTable() override;
  void AddChildren(int menuTag) override;
  void DuplicateChild(TItem* child) override;

  std::uint8_t netMask = 1;

  TRTU104* AddDevice();
  // "Уже существует": another device of the port has this last octet.
  bool OctetTaken(const TRTU104* device, int octet) const;
};

}  // namespace t32
