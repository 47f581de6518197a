// What the program keeps beside its documents while it runs: the device library (read once,
// when the first port that needs it is made), the device template buffer, the device
// editor's last tab and the station editor's clipboard. The program and every test make their
// own and hang it on the document.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "iec104/station.h"
#include "ports/device_library.h"
#include "ports/ied_types.h"
#include "ports/modbus_settings.h"

namespace t32 {

class TDocument;
class TMessages;

// What the IEC 104 station editor keeps from one opening to the next, whichever device it
// edits: objects copied in one station can be pasted into another.
struct TStationEditorState {
  TObjectClipboard clipboard;
  bool clipboardMade = false;  // "Копировать" or "Вырезать" ran at least once
  std::string importFolder;    // where the last XML import was read from
};

class TAppContext {
 public:
  // Folders the library is read from, in priority order (user's data folder, program folder).
  std::vector<std::string> libraryFolders;
  TDeviceLibrary library;
  // The IEC 103 device types ("IEC_103" folders), read when the first such port is made.
  std::vector<std::string> library103Folders;
  TDeviceLibrary library103;
  // "В шаблон" fills it; "Настроить по шаблону" and duplication read it.
  std::optional<TRTUSettings> deviceTemplate;
  int lastEditorTab = 0;
  TStationEditorState stationEditor;
  // The IEC 61850 device types ("Тип"): read once, when first needed.
  TIedTypes iedTypes;
  // The folder the grid tables' text-file dialogs open in ("" until first used).
  std::string tableFolder;

  // Reads the library the first time it is needed; problems go to msgs.
  void EnsureLibrary(TMessages* msgs);
  void EnsureLibrary103(TMessages* msgs);
};

// Where the device library is read: the user's data folder ($XDG_DATA_HOME or
// ~/.local/share, then "tavrik32/MODBUS"), then "MODBUS" beside the program.
std::vector<std::string> DefaultLibraryFolders(const std::string& programDir);
// The same for another library folder name ("IEC_103").
std::vector<std::string> DefaultLibraryFolders(const std::string& programDir, const std::string& folderName);

// The document's context, or none.
TAppContext* ContextOf(const TDocument* doc);

}  // namespace t32
