// Meter ports: the controller polls electricity meters (СС-301, CE-303, CE-318) over a serial
// channel or the modem; each meter builds ТИ and ТИИ tables with fixed names from the groups of
// quantities the user ticks. Also the converter port (ЦП8500 / ЭП8500), which polls measuring
// converters from a table of (instrument address, parameter number) pairs.
#pragma once
#include <bitset>
#include <cstdint>
#include <string>
#include <vector>

#include "ports/polling_port.h"

namespace t32 {

class TParams;

// One quantity group of a meter's list: the list item and the rows it adds.
struct TMeterQuantity {
  const char* item;
  bool energy;  // rows go to ТИИ (or, for СС-301 with energy as "ТИ", after the ТИ rows)
  std::vector<const char*> rows;
};

class TMeter : public TPolledDevice {
 public:
  TMeter();
  void Create(TNode* n) override;
  void UpdateNode() override;
  void Fields(TFieldVisitor& v) override;
  void LoadFromImage(TConfig& c) override;
  void EnumerateSignals(TStorageLists& lists) override;
  // Rebuilds the ТИ and ТИИ tables from the ticked quantities, then the port.
  void UpdateStatusTable() override;
  void WriteChildren(TConfig& c) override;

  // The list of this meter type, in bit order.
  virtual const std::vector<TMeterQuantity>& Quantities() const = 0;
  // "Cчётчик CC-301" and so on.
  virtual const char* Heading() const = 0;
  // The address as the meter has it (32 bits for CE-318, one byte for the others).
  virtual std::uint32_t Address() const { return number; }
  // Sets the address within the meter's range (1..255, or any 32-bit value for CE-318).
  virtual void SetAddress(long long a);
  // Energy rows after the ТИ rows instead of in a ТИИ table (СС-301's "ТИ" choice).
  virtual bool EnergyAsTI() const { return false; }

  std::uint8_t retries = 0;  // "Число попыток обмена": 0 in a new meter, 2..99 when set
  std::bitset<256> quantities;

  TParams* Table(int type) const;
  std::string SignalPrefix() const;
  void SetQuantity(int bit, bool on);
  // ТИ and ТИИ names of the ticked quantities.
  void NameLists(std::vector<std::string>& ti, std::vector<std::string>& tii) const;
  bool AddressTaken() const;

 protected:
  void QuantityBytes(TFieldVisitor& v);
};

class TCC301 : public TMeter {
 public:
  TCC301();
  const char* ClassName() const override { return "TCC301"; }
  int SectionCode() const override { return 216; }
  const std::vector<TMeterQuantity>& Quantities() const override;
  const char* Heading() const override { return "Cчётчик CC-301"; }
  void Fields(TFieldVisitor& v) override;
  bool EnergyAsTI() const override { return energyAs == 1; }

  std::uint8_t energyAs = 0;  // 0 "ТИИ", 1 "ТИ"
  std::uint8_t ratio = 0;     // 0 "Не учитывать", 1 "Учитывать"
};

class TCE303 : public TMeter {
 public:
  TCE303();
  const char* ClassName() const override { return "TCE303"; }
  int SectionCode() const override { return 217; }
  const std::vector<TMeterQuantity>& Quantities() const override;
  const char* Heading() const override { return "Cчётчик CE-303 / 301"; }
};

class TCE318 : public TMeter {
 public:
  TCE318();
  const char* ClassName() const override { return "TCE318"; }
  int SectionCode() const override { return 233; }
  const std::vector<TMeterQuantity>& Quantities() const override;
  const char* Heading() const override { return "Cчётчик CE318"; }
  void Fields(TFieldVisitor& v) override;
  void UpdateNode() override;
  std::uint32_t Address() const override { return address; }
  void SetAddress(long long a) override;

  // The CE-318 network address has 32 bits; TItem::number keeps its low byte.
  std::uint32_t address = 1;
};

class TMeterPort : public TPollingPort {
 public:
  TMeterPort();
  void Create(TNode* n) override;
  void Fields(TFieldVisitor& v) override;
  void SaveToImage(TConfig& c) override;
  void LoadFromImage(TConfig& c) override;
  void LoadFromShortImage(TConfig& c) override;
  void AddChildren(int menuTag) override;

  virtual int MeterCode() const = 0;
  virtual const char* Heading() const = 0;
  virtual std::unique_ptr<TMeter> MakeMeter() const = 0;

  std::uint8_t pollPeriod = 3;  // "Период опроса энергии, мин", 1..60

  TMeter* AddMeter();
};

class TPortCC301 : public TMeterPort {
 public:
  TPortCC301();
  const char* ClassName() const override { return "TPortCC301"; }
  int SectionCode() const override { return 106; }
  int MeterCode() const override { return 216; }
  const char* Heading() const override { return "Порт счётчиков CC-301"; }
  std::unique_ptr<TMeter> MakeMeter() const override { return std::make_unique<TCC301>(); }
};

class TPortCE303 : public TMeterPort {
 public:
  TPortCE303();
  const char* ClassName() const override { return "TPortCE303"; }
  int SectionCode() const override { return 118; }
  int MeterCode() const override { return 217; }
  const char* Heading() const override { return "Порт счётчиков CE-303"; }
  std::unique_ptr<TMeter> MakeMeter() const override { return std::make_unique<TCE303>(); }
};

class TPortCE318 : public TMeterPort {
 public:
  TPortCE318();
  const char* ClassName() const override { return "TPortCE318"; }
  int SectionCode() const override { return 135; }
  int MeterCode() const override { return 233; }
  const char* Heading() const override { return "Порт счётчиков CE-318"; }
  std::unique_ptr<TMeter> MakeMeter() const override { return std::make_unique<TCE318>(); }
};

// ---------------------------------------------------------------------------------------
struct TCP8500Entry {
  std::uint16_t address = 0;  // "Адрес прибора"
  std::uint8_t parameter = 1;  // "Номер параметра"
  bool operator==(const TCP8500Entry&) const = default;
};

class TPortCP8500 : public TPort {
 public:
  static constexpr int kMaxEntries = 65;
  TPortCP8500();
  const char* ClassName() const override { return "TPortCP8500"; }
  int SectionCode() const override { return 116; }
  void Create(TNode* n) override;
  void Fields(TFieldVisitor& v) override;
  void SaveToImage(TConfig& c) override;
  void LoadFromImage(TConfig& c) override;
  void LoadFromShortImage(TConfig& c) override;
  void EnumerateSignals(TStorageLists& lists) override;
  void UpdateStatusTable() override;
  void WriteChildren(TConfig& c) override;

  std::vector<TCP8500Entry> entries;

  TParams* Table(int type) const;
  // Takes the editor's rows: false (with the message, nothing changed) beyond 65 entries or
  // when a pair repeats.
  bool SetEntries(const std::vector<TCP8500Entry>& rows);
  // The grid's rows as typed ("" address = row left out, "" parameter = 1). False with a
  // message for an address above 65535, a parameter above 255, a dot, or as SetEntries.
  bool StoreRows(const std::vector<std::pair<std::string, std::string>>& rows);
};

}  // namespace t32
