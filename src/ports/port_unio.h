// The UNIO port polls remote input/output modules (МДС-24, МРК-12, МДК-24) over an RS-485
// channel in IEC 60870-5-101 and keeps a link-status ТС table with one "связь_" row per module
// (and the ТУ work/fault rows while a relay module is present).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "model/item.h"
#include "model/params.h"

namespace t32 {

class TPortUnio;

// Common ground of the three modules: address (the item's number, 1..255), retries and
// response wait, and the port prefix their signal names start with.
class TUnioModule : public TPort {
 public:
  TUnioModule();
  void Create(TNode* n) override;
  void UpdateNode() override;
  void LoadFromShortImage(TConfig&) override {}
  void EnumerateSignals(TStorageLists& lists) override;

  TPortUnio* Port() const;
  // The module's source table of a type (ТС first child, ТУ second), or none.
  TParams* Table(int type) const;
  // "Уже существует": another module of the same port has this address.
  bool DuplicateAddress() const;
  // A new address: re-caption, and the module's "связь_" row of the port is renamed in place
  // so the output rows that send it keep it.
  void ChangeAddress(int address);
  // Re-prefix the tables for the port's prefix (after a move or a new port number).
  void SetPortPrefix(const std::string& p) { portPrefix = p; }
  bool HasTuRows() const { return SectionCode() != 221; }

  std::string portPrefix = "1_Порт";
  std::uint8_t retries = 5;
  std::uint16_t responseWait = 500;
  std::uint8_t mode = 0;

 protected:
  TParams* AddTable(int type, int role, int index);
  // Runs the port's UpdateStatusTable, or rebuilds the storage when there is no port.
  void AfterOwnTables();
  void LoadTables(TConfig& c);
};

class TMDS24 : public TUnioModule {
 public:
  TMDS24();
  const char* ClassName() const override { return "TMDS24"; }
  int SectionCode() const override { return 221; }
  void SetDefaults() override;
  void Fields(TFieldVisitor& v) override;
  void LoadFromImage(TConfig& c) override;
  void UpdateStatusTable() override;
  void SetMode(int m);
  int TsCount() const { return mode == 1 ? 12 : 24; }

  std::uint32_t controlPeriod = 600000;  // ms, edited in minutes
  std::uint16_t debounce = 50;
};

// МРК-12 and МДК-24: relay modules whose mode 3 turns every channel into a plain output fed
// by the "Выходы" table.
class TRelayModule : public TUnioModule {
 public:
  explicit TRelayModule(int outputs);
  std::uint8_t KnownVersion() const override { return 2; }
  void SetDefaults() override;
  void Fields(TFieldVisitor& v) override;
  void LoadFromImage(TConfig& c) override;
  void UpdateStatusTable() override;
  void AfterLoad() override;
  void ResolveOutputTables() override;
  std::string SignalAddressText(int row, int kind) const override;
  void SetMode(int m);
  int TuCount() const;
  int Outputs() const { return outputs_; }
  TParams* OutputTable() const;
  bool TuTimeEnabled() const { return mode != 3; }
  virtual const char* ModeName(int m) const = 0;

  std::uint16_t tuTime = 2000;

 private:
  int outputs_;
};

class TMRK12 : public TRelayModule {
 public:
  TMRK12();
  const char* ClassName() const override { return "TMRK12"; }
  int SectionCode() const override { return 222; }
  const char* ModeName(int m) const override;
};

class TMDK24 : public TRelayModule {
 public:
  TMDK24();
  const char* ClassName() const override { return "TMDK24"; }
  int SectionCode() const override { return 229; }
  const char* ModeName(int m) const override;
};

class TPortUnio : public TPort {
 public:
  TPortUnio();
  const char* ClassName() const override { return "TPortUnio"; }
  int SectionCode() const override { return 125; }
  void UpdateNode() override;
  void Fields(TFieldVisitor& v) override;
  void SaveToImage(TConfig& c) override;
  void LoadFromImage(TConfig& c) override;
  void LoadFromShortImage(TConfig&) override {}
  void AddChildren(int menuTag) override;
  void RecountChildren() override;
  void UpdateStatusTable() override;
  void EnumerateSignals(TStorageLists& lists) override;
  void AfterLoad() override;
  void ResolveOutputTables() override;
  void BindingChanged() override;

  std::string Prefix() const { return std::to_string(number) + "_Порт"; }
  TParams* StatusTable() const;
  std::vector<TUnioModule*> Modules() const;
  // The lowest address 1..255 no module of the port has; 0 when all are taken.
  int FreeAddress() const;
  // The new module, or none when no address is free.
  TUnioModule* AddModule(int code);
  // A new port number: every module takes the new prefix; the storage is rebuilt once.
  void ChangeNumber(int n);
  // "Количество подключенных модулей = %d".
  std::string CountText() const;

  std::uint8_t moduleCount = 0;
  bool rebuilding = false;
};

}  // namespace t32
