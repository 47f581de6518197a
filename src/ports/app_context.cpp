#include "ports/app_context.h"

#include "model/document.h"
#include "model/messages.h"

namespace t32 {

void TAppContext::EnsureLibrary(TMessages* msgs) {
  if (library.Loaded()) return;
  std::string err = library.Load(libraryFolders);
  if (!err.empty() && msgs) msgs->ShowError(err);
}

TAppContext* ContextOf(const TDocument* doc) { return doc ? doc->appContext : nullptr; }

}  // namespace t32
