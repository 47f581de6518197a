// The two-position ports. The ТС-2 port makes one two-position ТС of each pair of ordinary ТС
// (an "off" and an "on" signal); the ТУ-2 port turns one ТУ command into commands on two other
// ТУ signals. Each record takes its two signals from the storage panel; the port's own source
// table names the results.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/item.h"
#include "model/params.h"

namespace t32 {

// One record. `a`/`b` are the per-signal bytes of key 43: the inversion flags of a ТС-2 record
// or the commands ("Отключить" 0, "Включить" 1) of a ТУ-2 record.
struct TTwoPosRecord {
  std::string name;
  TParamRef off, on;
  std::uint8_t a = 0, b = 0;
  std::uint16_t transition = 500;  // ТС-2 only, ms
  std::uint16_t offIndex = kNoIndex, onIndex = kNoIndex;
};
struct TTS2 : TTwoPosRecord {};
struct TTU2 : TTwoPosRecord {
  TTU2() { a = b = 1; }
};

class TPortTwoPos : public TPort {
 public:
  explicit TPortTwoPos(int type);
  void Create(TNode* n) override;
  void UpdateNode() override;
  void Fields(TFieldVisitor& v) override;
  void SaveToImage(TConfig& c) override;
  void LoadFromImage(TConfig& c) override;
  void LoadFromShortImage(TConfig&) override {}
  void EnumerateSignals(TStorageLists& lists) override;
  void AfterLoad() override;
  void UpdateStatusTable() override;
  void DumpExtra(std::string& out, const std::string& indent) const override;

  int Type() const { return signalKind; }
  int RecordCode() const { return Type() == kSigTS ? 230 : 231; }
  std::string Prefix() const { return std::to_string(number) + "_Порт"; }
  // The port's table (first child), or none while the count is 0.
  TParams* Table() const;
  int RecordCount() const { return static_cast<int>(records.size()); }
  TTwoPosRecord* Record(int i) const;

  // "Количество ТС"/"Количество ТУ": at most the rows one table holds.
  void SetCount(int n);
  // "Установить".
  void Apply(int n) {
    SetCount(n);
    UpdateStatusTable();
  }
  // Records take the suffixes of their rows, so renaming a row renames its record.
  void NamesFromTable();
  // A drop on the off (on == false) or on field: only a row of this port's signal type that
  // is in the storage list takes the field; the row held before is released. False when refused.
  bool SetSignal(int record, bool on, TParamRef row);
  // "Удалить сигнал": asks "Удалить сигнал <name> ?"; on yes the record goes and the count
  // shrinks. True when it was deleted.
  bool DeleteRecord(int record);

  std::uint16_t count = 0;
  std::vector<std::unique_ptr<TTwoPosRecord>> records;

 private:
  std::unique_ptr<TTwoPosRecord> NewRecord(int position) const;
  void LoadRecord(TConfig& c, TTwoPosRecord& r);
};

class TPortTS2 : public TPortTwoPos {
 public:
  TPortTS2();
  const char* ClassName() const override { return "TPortTS2"; }
  int SectionCode() const override { return 132; }
};

class TPortTU2 : public TPortTwoPos {
 public:
  TPortTU2();
  const char* ClassName() const override { return "TPortTU2"; }
  int SectionCode() const override { return 133; }
};

}  // namespace t32
