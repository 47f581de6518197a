// The processor's IP (Ethernet) port: always the processor's first child, bound to the
// processor itself; it cannot be deleted or moved. Its workstation children (section 202) are
// made by the document's factory as children of this class, so the model needs no ports layer.
// While it has workstations it keeps a ТС status table as its first child: one row per
// workstation telling whether its connection is up.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "model/item.h"

namespace t32 {

class TParam;
class TParams;

// What the IP port needs of a workstation child; the workstation class lives in the ports layer.
class TStatusSource {
 public:
  virtual ~TStatusSource() = default;
  virtual const std::string& Place() const = 0;
  // Copies every setting and the output rows (shared) into a fresh workstation of the same class.
  virtual void CopyInto(TItem& copy) const = 0;
  // The status row that reports this workstation's connection; it follows the workstation
  // through renames and moves, so output rows that send it keep it.
  std::weak_ptr<TParam> statusRow;
};

class TPortIP : public TPort {
 public:
  TPortIP();
  const char* ClassName() const override { return "TPortIP"; }
  int SectionCode() const override { return 100; }
  void Create(TNode* n) override;
  void UpdateNode() override;
  void SetDefaults() override;
  void Fields(TFieldVisitor& v) override;
  void SaveToImage(TConfig& c) override;
  void LoadFromImage(TConfig& c) override;
  void LoadFromShortImage(TConfig& c) override;
  // Recounts the workstations and brings the status table in step with them.
  void RecountChildren() override;
  // "Добавить ПЭВМ": a new workstation as the last child.
  void AddChildren(int menuTag) override;
  // "Дублировать": a copy of the workstation as the last child.
  void DuplicateChild(TItem* child) override;
  void UpdateStatusTable() override;
  void EnumerateSignals(TStorageLists& lists) override;
  // The storage asks only the processor's children: pass it on to every workstation.
  void ResolveOutputTables() override;
  void AfterLoad() override;
  void AfterShortLoad() override;

  // The status table, or none while there are no workstations.
  TParams* StatusTable() const;
  // Workstations in child order.
  std::vector<TItem*> Workstations() const;
  // The row text of a workstation at a position (from 1): "связь_" + caption + "_" + place,
  // or + "_" + position when the place is empty.
  static std::string StatusName(const TItem& pc, int position);

  std::uint32_t net1Address = 0xC0A80101;  // 192.168.1.1
  std::uint32_t net1Mask = 0xFFFFFF00;
  std::uint32_t net1Gateway = 0;
  std::uint32_t net2Address = 0xC0A80201;  // 192.168.2.1
  std::uint32_t net2Mask = 0xFFFFFF00;
  std::uint32_t net2Gateway = 0;
  std::uint8_t pcCount = 0;

 private:
  // Links rows to workstations in order; `keepNames`: rows keep the names they hold (loading).
  void SyncStatusRows(bool keepNames);
  TParams* MakeStatusTable();
  TNode* AddWorkstation();
};

}  // namespace t32
