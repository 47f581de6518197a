#include "link/config_transfer.h"

#include "link/controller.h"
#include "model/document.h"

namespace t32::link {
namespace {
TCpu ToCpu(TCpuType t) { return t == TCpuType::kCpu927 ? TCpu::Cpu927 : TCpu::Cpu6358; }
}  // namespace

bool WriteConfiguration(TController& controller, TDocument& doc, TCpu* cpu) {
  TBootInfo boot;
  if (!controller.ReadBootIni("ConfigFilename", boot) || boot.fileName.empty()) return false;
  TBuildOptions opt;
  opt.cpu = ToCpu(boot.cpu);
  opt.minorVersion = boot.minorVersion;
  opt.fileName = boot.fileName;
  if (cpu) *cpu = opt.cpu;
  std::vector<std::uint8_t> image;
  if (!BuildImage(doc, opt, image)) return false;
  return controller.WriteControllerFile(boot.fileName, image);
}

bool ReadConfiguration(TController& controller, TDocument& doc, TCpu* cpu) {
  TBootInfo boot;
  if (!controller.ReadBootIni("ConfigFilename", boot) || boot.fileName.empty()) return false;
  std::vector<std::uint8_t> image;
  if (!controller.ReadControllerFile(boot.fileName, image)) return false;
  TCpu selected = ToCpu(boot.cpu);
  if (!ParseImage(doc, std::move(image), true, &selected, boot.fileName)) return false;
  if (cpu) *cpu = selected;
  return true;
}

}  // namespace t32::link
