// Stand-in for the configuration file layer while its reader and writer are not part of the
// build: every command reports that files cannot be handled, so no command pretends success.
#include "model/document.h"
#include "model/messages.h"
#include "project/cfgfile.h"

namespace t32 {

namespace {
const char* kMissing = "Чтение и запись файлов конфигурации в этой сборке недоступны.";
}

bool BuildImage(TDocument& doc, const TBuildOptions&, std::vector<std::uint8_t>&) {
  doc.Messages().ShowError(kMissing);
  return false;
}

bool ParseImage(TDocument& doc, std::vector<std::uint8_t>, bool, TCpu*, const std::string&) {
  doc.Messages().ShowError(kMissing);
  return false;
}

bool OpenConfigFile(TDocument& doc, const std::string&, TCpu*) {
  doc.Messages().ShowError(kMissing);
  return false;
}

bool SaveConfigFile(TDocument& doc, const std::string&, TCpu) {
  doc.Messages().ShowError(kMissing);
  return false;
}

}  // namespace t32
