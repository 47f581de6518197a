// The processor's IP (Ethernet) port: always the processor's first child, bound to the
// processor itself; it cannot be deleted or moved. Its workstation children come with the
// workstation items.
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

  // Hook for the workstation children (code 202) and the status table; set by the ports
  // layer so that the model does not depend on it.
  using ChildLoader = void (*)(TPortIP& port, TConfig& c);
  static ChildLoader childLoader;
};

}  // namespace t32
