// The discrete logic port: a relay-ladder program the controller runs on ТС signals. Bound to
// the processor, at most one per configuration. Each task (rung) drives one row of the port's
// own ТС table, which joins the storage like a board's input table.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/item.h"
#include "ports/ld_elements.h"

namespace t32 {

class TPortLD : public TPort {
 public:
  // The controller's table holds at most this many rows, one per task.
  static constexpr int kMaxTasks = kMaxRows;
  static constexpr int kDefaultWidth = 10;

  TPortLD();
  ~TPortLD() override;
  const char* ClassName() const override { return "TPortLD"; }
  int SectionCode() const override { return 131; }
  void Create(TNode* n) override;
  void SetDefaults() override;
  void Fields(TFieldVisitor& v) override;
  void SaveToImage(TConfig& c) override;
  void LoadFromImage(TConfig& c) override;
  void LoadFromShortImage(TConfig&) override {}  // old images carry no logic port
  void EnumerateSignals(TStorageLists& lists) override;
  void AfterLoad() override;
  void UpdateStatusTable() override;
  void DumpExtra(std::string& out, const std::string& indent) const override;
  std::vector<std::string> Problems() const override;

  std::vector<std::unique_ptr<TTaskLD>> tasks;
  std::vector<std::string> taskNames;  // suffixes the table was last built from
  int diagramWidth = kDefaultWidth;
  int columns = 0, rows = 0;  // of the last layout

  // "%d_Порт" of the number.
  std::string Prefix() const;
  // The task table (first child), none while there are no tasks.
  TParams* Table() const;
  // A changed number re-captions the node and re-prefixes the table at once.
  void SetNumber(int n);
  void Layout();
  // The task whose rows hold `row` (a binary search), or -1.
  int TaskAtRow(int row) const;
  // Appends a task (no table rebuild); none past kMaxTasks.
  TTaskLD* AppendTask();
  std::uint32_t NextSequence() { return sequence_++; }
  // The row name of task i and the text after "%d_Порт.".
  std::string TaskName(int i) const;
  std::string TaskSuffix(int i) const;
  // "name := contacts" of task i.
  std::string TaskText(int i) const;
  // Storage index of a contact's signal (relinked by name), -1 for none.
  int ContactIndex(TLD& contact) const;
  // The cells of the diagram (column, row of the laid-out port) a problem is about, with what
  // is wrong there: contacts without a signal or with one gone from the storage, and the coils
  // of tasks without contacts or whose row is outside the storage.
  struct TProblemCell {
    int col = 0, row = 0;
    std::string text;
  };
  std::vector<TProblemCell> ProblemCells() const;
  // Remarks that are no fault: contacts reading their own or a later task.
  std::vector<std::string> Notes() const;
  // Frees every task (contacts release their signals).
  void ClearTasks();

 private:
  void FixReadNames();
  std::uint32_t sequence_ = 0;
  std::vector<int> readCoil41_;  // key 41 of each coil read, -1 when absent
};

}  // namespace t32
