// IEC 60870-5-103 polling port: the controller polls protection relays over a serial channel.
// Each device is described by three address tables (ТС and ТИ it sends, general commands ТУ it
// takes) whose entries are function type, information number and, for ТИ, word number. Device
// types with their tables and signal names come from a library of INI files ("IEC_103").
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "ports/polling_port.h"

namespace t32 {

class TAppContext;
class TDeviceLibrary;
class TParams;
struct TLibraryFile;

// One address-table entry; n (word number) is used by ТИ entries only.
struct TEntry103 {
  std::uint8_t f = 0, i = 0, n = 0;
  bool operator==(const TEntry103&) const = default;
};

// The three tables of a device, by kind: 0 ТС, 1 ТИ, 2 ТУ (the order of their image counts).
enum TTable103 { kTab103TS = 0, kTab103TI = 1, kTab103TU = 2 };

class TRTU103 : public TPolledDevice {
 public:
  static constexpr std::size_t kMaxEntries = 255;  // one count byte per table
  TRTU103();
  const char* ClassName() const override { return "TRTU103"; }
  int SectionCode() const override { return 208; }
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

  std::uint8_t attempts = 5;  // "Число попыток обмена", 2..99
  std::vector<TEntry103> tables[3];

  // --- rules ----------------------------------------------------------------------------
  static const char* TableName(int tab);  // "ТС", "ТИ", "ТУ"
  // The signal table of a kind (kSigTS, kSigTU, kSigTI), or none.
  TParams* Table(int kind) const;
  TAppContext* Context() const;
  TDeviceLibrary* Library() const;
  const TLibraryFile* LibraryFile() const;
  // Row suffixes of each table: place + names from the type's lists, or Func%d_Inf%d[_N%d].
  std::vector<std::string> Names(int tab) const;
  std::string SignalPrefix() const;
  // Sets new tables; false (and a message naming the table) when one holds more than 255
  // entries: nothing changes then.
  bool SetTables(std::vector<TEntry103> ts, std::vector<TEntry103> ti, std::vector<TEntry103> tu);
  // Fills the tables from a library file. Bad values are skipped and listed in *problems
  // (file, section, key); at most 255 entries per table.
  void ApplyType(const TLibraryFile& f, std::vector<std::string>* problems);

  // --- type commands ----------------------------------------------------------------------
  // Choosing "Тип": the device takes the type and its tables. A choice made while another is
  // still being applied is ignored (false).
  bool ChooseType(const std::string& type);
  // "Сохранить": asks for a name (preset to `chooserText`), writes the device's tables as that
  // type into the library and applies it. False when cancelled or refused.
  bool SaveType(const std::string& chooserText);
  // "Удалить": removes the device's type from the library (after the question). False when
  // nothing was removed.
  bool DeleteType();
  // "Выбрать параметры": the lines of the type's "Список" section of a table (key, name);
  // empty for a type that is not in the library.
  std::vector<std::pair<std::string, std::string>> ParameterList(int tab) const;
  // The key text of an entry as the "Список" sections write it ("%d %d" or "%d %d %d").
  static std::string EntryKey(int tab, const TEntry103& e);

 private:
  bool applying_ = false;
  void ReadEntries(const TConfig& c, bool shortRecords);
};

class TPort103 : public TPollingPort {
 public:
  // Minutes are stored as milliseconds in 31 bits.
  static constexpr std::int32_t kMaxMinutes = kMaxPeriodMinutes;
  TPort103();
  const char* ClassName() const override { return "TPort103"; }
  int SectionCode() const override { return 115; }
  void Create(TNode* n) override;
  void SetDefaults() override;
  void Fields(TFieldVisitor& v) override;
  void SaveToImage(TConfig& c) override;
  void LoadFromImage(TConfig& c) override;
  void LoadFromShortImage(TConfig& c) override;
  void AddChildren(int menuTag) override;

  std::uint16_t replyWait = 300;  // ms, 100..2000
  std::int32_t syncPeriod = 0;    // ms
  std::int32_t pollPeriod = 0;    // ms, general interrogation

  void SetSyncMinutes(long long m);
  void SetPollMinutes(long long m);
  long long SyncMinutes() const;
  long long PollMinutes() const;
  // Devices at the picked addresses in address order, each with its type's tables; taken
  // addresses are skipped. Returns the devices added.
  std::vector<TRTU103*> AddDevices(const std::vector<std::pair<int, std::string>>& picked);
};

// A type name that can name a library file: no "/", "\", control characters, no leading ".".
bool ValidTypeFileName(const std::string& name);

}  // namespace t32
