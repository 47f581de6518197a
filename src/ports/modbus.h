// Modbus polling ports: the controller as a Modbus master over a board serial channel (RTU)
// or over its network interface (TCP). Each polled slave is a device child that owns up to
// five signal tables built from its polling blocks, log settings and the device library.
#pragma once
#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "ports/modbus_settings.h"
#include "ports/polling_port.h"

namespace t32 {

class TAppContext;
class TParams;
struct TLibraryFile;

// The names a device's tables get, before they are laid on the tables.
struct TRTUNameLists {
  std::vector<std::string> ts, tu, ti, tr, mts;
  // Per ТИ value: true for a 4-byte type.
  std::vector<bool> tiWide;
};

class TRTU : public TPolledDevice {
 public:
  static constexpr std::uint8_t kBlocks = 8;
  TRTU();
  const char* ClassName() const override { return "TRTU"; }
  int SectionCode() const override { return 202; }
  std::uint8_t KnownVersion() const override { return 1; }
  void Create(TNode* n) override;
  void UpdateNode() override;
  void Fields(TFieldVisitor& v) override;
  void DumpExtra(std::string& out, const std::string& indent) const override;
  void SaveToImage(TConfig& c) override;
  void LoadFromImage(TConfig& c) override;
  void LoadFromShortImage(TConfig& c) override;
  void EnumerateSignals(TStorageLists& lists) override;
  void AfterLoad() override;
  void UpdateStatusTable() override;
  void ApplyDeviceType() override;
  void WriteChildren(TConfig& /*c*/) override {}  // tables are written by kind

  // --- settings (type name: TItem::name; type-changed flag: typeChanged) ----------------
  TRTUSettings s;
  std::uint32_t ip = 0;
  std::uint8_t unit = 1;
  bool typeChanged = false;

  // --- rules ----------------------------------------------------------------------------
  // The table of a kind (1 ТС, 2 ТУ, 3 ТИ, 5 ТР, 6 МТС), or none.
  TParams* Table(int kind) const;
  // Applies a type from a description file; false (with *error naming file, section, key and
  // value) leaves the device unchanged.
  bool ApplyType(const TLibraryFile& f, std::string* error);
  // The names the device's settings give, from the library file (none: default names).
  TRTUNameLists NameLists(const TLibraryFile* f) const;
  // The settings the template buffer carries (the type name included).
  TRTUSettings TemplateOf() const;
  void TakeTemplate(const TRTUSettings& t);
  // "В шаблон" / "Настроить по шаблону".
  void ToTemplate();
  bool FromTemplate();
  // Prefix of ТС, МТС, ТУ, ТИ names and of ТР names.
  std::string SignalPrefix() const;
  std::string TRPrefix() const;
  const TLibraryFile* LibraryFile() const;
  TAppContext* Context() const;

 protected:
  // Entries common to both device classes, in write order.
  void WriteKeys(TConfig& c);
  void ReadKeys(TConfig& c);
  void LoadTables(TConfig& c);
  std::vector<const void*> RowSnapshot() const;
  // Older short images: where each signal stood in the storage lists.
  void PutLegacyPositions(const TConfig& c, const std::array<std::uint8_t, 8>& tiGroup,
                          const std::array<std::uint8_t, 8>& tiPos);
};

class TRTUTCP : public TRTU {
 public:
  TRTUTCP();
  const char* ClassName() const override { return "TRTUTCP"; }
  void Create(TNode* n) override;
  void SaveToImage(TConfig& c) override;
  void LoadFromImage(TConfig& c) override;
  void LoadFromShortImage(TConfig& /*c*/) override {}
  // Sets the IP; the device address follows the last octet.
  void SetIp(std::uint32_t v);
};

class TPortMODBUS : public TPollingPort {
 public:
  static constexpr std::int32_t kMaxSyncMinutes = kMaxPeriodMinutes;
  TPortMODBUS();
  const char* ClassName() const override { return "TPortMODBUS"; }
  int SectionCode() const override { return 102; }
  void Create(TNode* n) override;
  void SetDefaults() override;
  void Fields(TFieldVisitor& v) override;
  void SaveToImage(TConfig& c) override;
  void LoadFromImage(TConfig& c) override;
  void LoadFromShortImage(TConfig& c) override;
  void AddChildren(int menuTag) override;
  void DuplicateChild(TItem* child) override;

  std::uint16_t replyWait = 500;  // ms, 100..2000
  std::int32_t syncPeriod = 0;    // ms

  // "Период синхронизации времени, мин": 0..kMaxSyncMinutes, stored × 60000.
  void SetSyncMinutes(long long minutes);
  long long SyncMinutes() const;
  // Adds devices at the picked addresses, each with its type (applied when in the library).
  // Returns the devices added.
  std::vector<TRTU*> AddDevices(const std::vector<std::pair<int, std::string>>& picked);
};

class TPortRTUTCP : public TPollingPort {
 public:
  TPortRTUTCP();
  const char* ClassName() const override { return "TPortRTUTCP"; }
  int SectionCode() const override { return 129; }
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
  std::uint16_t connectWait = 2000;     // ms, whole seconds 0..65
  std::uint16_t reconnectWait = 10000;  // ms, whole seconds 0..65
  std::uint16_t pollPeriod = 100;       // ms, 10..1000
  std::uint16_t replyWait = 500;
  std::int32_t syncPeriod = 0;

  void SetSyncMinutes(long long minutes);
  // "Время ожидания установки соединения, с" and "Интервал установки соединения, с": whole
  // seconds 0..65, stored in ms.
  void SetConnectSeconds(long long s) { connectWait = static_cast<std::uint16_t>(std::clamp<long long>(s, 0, 65) * 1000); }
  void SetReconnectSeconds(long long s) { reconnectWait = static_cast<std::uint16_t>(std::clamp<long long>(s, 0, 65) * 1000); }
  // "Уже существует": another device of the port has this IP.
  bool IpTaken(const TRTU* device, std::uint32_t ip) const;
  TRTUTCP* AddDevice();
};

// Dump text of a block list: "f3 $1000 x20" per non-empty block.
std::string BlockText(const TRTUBlock& b, bool ti);

}  // namespace t32
