#include "ports/app_context.h"

#include <cstdlib>

#include "model/document.h"
#include "model/messages.h"

namespace t32 {

void TAppContext::EnsureLibrary(TMessages* msgs) {
  if (library.Loaded()) return;
  std::string err = library.Load(libraryFolders);
  if (!err.empty() && msgs) msgs->ShowError(err);
}

void TAppContext::EnsureLibrary103(TMessages* msgs) {
  if (library103.Loaded()) return;
  std::string err = library103.Load(library103Folders);
  if (!err.empty() && msgs) msgs->ShowError(err);
}

std::vector<std::string> DefaultLibraryFolders(const std::string& programDir) { return DefaultLibraryFolders(programDir, "MODBUS"); }

std::vector<std::string> DefaultLibraryFolders(const std::string& programDir, const std::string& folderName) {
  std::vector<std::string> out;
  if (const char* x = std::getenv("XDG_DATA_HOME"); x && *x) out.push_back(std::string(x) + "/tavrik32/" + folderName);
  else if (const char* h = std::getenv("HOME"); h && *h) out.push_back(std::string(h) + "/.local/share/tavrik32/" + folderName);
  out.push_back((programDir.empty() ? std::string(".") : programDir) + "/" + folderName);
  return out;
}

TAppContext* ContextOf(const TDocument* doc) { return doc ? doc->appContext : nullptr; }

}  // namespace t32
