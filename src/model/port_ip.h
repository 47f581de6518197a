// The processor's IP (Ethernet) port: always the processor's first child, bound to the
// processor itself; it cannot be deleted or moved. Its workstation children (section 202) are
// made by the document's factory as children of this class, so the model needs no ports layer.
#pragma once
#include <cstdint>

#include "model/item.h"

namespace t32 {

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
  void RecountChildren() override;

  std::uint32_t net1Address = 0xC0A80101;  // 192.168.1.1
  std::uint32_t net1Mask = 0xFFFFFF00;
  std::uint32_t net1Gateway = 0;
  std::uint32_t net2Address = 0xC0A80201;  // 192.168.2.1
  std::uint32_t net2Mask = 0xFFFFFF00;
  std::uint32_t net2Gateway = 0;
  std::uint8_t pcCount = 0;
};

}  // namespace t32
