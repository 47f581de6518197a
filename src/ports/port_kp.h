// KP polling port: the controller polls telemechanics stations ("КП") over a serial channel or
// the modem, each with one of three protocols ("Сириус", "Виконт", "МЭК 870-5-101"). A station
// owns the source tables of the signals it delivers and accepts; the port owns the usual
// link-status ТС table with one row per station.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "ports/polling_port.h"

namespace t32 {

class TParams;

class TKP : public TPolledDevice {
 public:
  enum TProtocol : std::uint8_t { kSirius = 0, kVikont = 1, kIec101 = 2 };
  // Index of a signal count (key 44 order): ТС, ТУ, ТИ, ТИИ, ТР, МТС.
  enum TCountIndex { kCountTS, kCountTU, kCountTI, kCountTII, kCountTR, kCountMTS };
  static constexpr int kGroups = 256;
  // Poll periods are kept in ms in 32 bits; 35791 minutes is the most that fits 31 bits.
  static constexpr std::uint32_t kMaxMinutes = 35791;
  static constexpr std::uint32_t kMaxTimeSetMinutes = 24;
  static const char* const kGroupCells[6];  // "", "ТИ_11", ...

  TKP();
  const char* ClassName() const override { return "TKP"; }
  int SectionCode() const override { return 206; }
  void Create(TNode* n) override;
  void UpdateNode() override;
  void Fields(TFieldVisitor& v) override;
  void SaveToImage(TConfig& c) override;
  void LoadFromImage(TConfig& c) override;
  void LoadFromShortImage(TConfig& c) override;
  void EnumerateSignals(TStorageLists& lists) override;
  void AfterLoad() override;
  // Rebuilds the station's tables from its protocol, counts and group types, then the port.
  void UpdateStatusTable() override;
  void WriteChildren(TConfig& c) override;

  // --- settings (address: TItem::number) --------------------------------------------------
  std::uint8_t asdu = 1;
  std::uint8_t protocol = kIec101;
  std::uint8_t retries = 5;
  std::uint16_t replyWait = 2000;
  std::uint16_t commandWait = 3000;
  std::uint32_t controlPeriod = 600000;  // ms
  std::array<std::uint32_t, 3> groupPeriod{};  // ms
  std::uint32_t timeSetPeriod = 0;  // ms
  std::uint8_t arrayChannel = 0;
  std::array<std::uint16_t, 6> counts{};
  std::array<std::uint8_t, kGroups> groupTypes{};
  std::uint8_t linkAddrLength = 1;
  std::uint8_t asduAddrLength = 1;
  std::uint16_t baseTS = 0x2000, baseMTS = 0xC000, baseTU = 0x6000, baseTI = 0x4000, baseTII = 0xA000, baseTR = 0x8000;

  // --- rules ------------------------------------------------------------------------------
  // The table of a signal type, or none.
  TParams* Table(int type) const;
  // "%d_Порт.%d_КП": the prefix of every table.
  std::string SignalPrefix() const;
  // The count of a signal type (1..6).
  int CountOf(int type) const;
  // A typed count: refused (false, nothing changed) above the table limit of 8192.
  bool SetCount(int type, long long value);
  // Minutes as the editor shows them (file values read unsigned) and sets them (capped).
  static std::uint32_t Minutes(std::uint32_t ms) { return ms / 60000u; }
  static std::uint32_t MinutesToMs(long long minutes, std::uint32_t cap = kMaxMinutes);
  // ASDU address 1..255 (the controller keeps one byte).
  void SetAsdu(long long v);
  // Writes a type into groups (group 0 stays empty); codes above 5 are refused.
  void SetGroupType(const std::vector<int>& groups, int code);
  // "Уже существует": another station of the same port has this address.
  bool AddressTaken() const;
  // ТИ and ТИИ names of the group types (Сириус and Виконт), with each ТИ row's width.
  void GroupLists(std::vector<std::string>& ti, std::vector<std::uint8_t>& tiWidth,
                  std::vector<std::string>& tii) const;
  // The settings a copy takes ("Дублировать").
  void CopySettingsFrom(const TKP& src);
};

class TPortKP : public TPollingPort {
 public:
  TPortKP();
  const char* ClassName() const override { return "TPortKP"; }
  int SectionCode() const override { return 112; }
  void Create(TNode* n) override;
  void Fields(TFieldVisitor& v) override;
  void SaveToImage(TConfig& c) override;
  void LoadFromImage(TConfig& c) override;
  void LoadFromShortImage(TConfig& c) override;
  void UpdateStatusTable() override;
  void AddChildren(int menuTag) override;
  void DuplicateChild(TItem* child) override;

  TKP* AddStation();
  // A copy of the station: every setting but the address and place (the ТИ group types
  // included), then each table's rows take the source's names under the copy's prefix.
  TKP* Duplicate(const TKP& src);
};

}  // namespace t32
