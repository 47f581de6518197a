// The library of device types: description files ("*.ini") of a folder, each naming the types
// it describes in [Устройства] and holding their polling blocks, clock, logs and signal
// names. Shared by the polling ports whose devices are described this way (Modbus, IEC 103).
#pragma once
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "model/ini.h"

namespace t32 {

struct TLibraryFile {
  std::string name;  // file name without folder
  std::string path;  // where it was read ("" for text given directly)
  TIniFile ini;
};

// A type found again in a later file: the first file keeps it.
struct TShadowedType {
  std::string type;
  std::string file;     // the later file
  std::string winner;   // the file that describes it
};

class TDeviceLibrary {
 public:
  // Reads every "*.ini" (any letter case) of the folders, each folder's files in name order
  // (directory order varies between systems, the result must not). A file name already read
  // from an earlier folder is skipped. Returns "" or one message naming the unreadable files.
  std::string Load(const std::vector<std::string>& folders);
  // Adds one file from its cp1251 text (tests, fuzzing, files read elsewhere).
  void AddText(const std::string& fileName, std::string_view cp1251);
  void Clear();
  bool Loaded() const { return loaded_; }
  void MarkLoaded() { loaded_ = true; }

  const std::vector<std::unique_ptr<TLibraryFile>>& Files() const { return files_; }
  // Type names, sorted (the order the pickers show).
  std::vector<std::string> Types() const;
  // The description of a type (letter case ignored), or none.
  const TLibraryFile* Find(std::string_view type) const;
  const std::vector<TShadowedType>& Shadowed() const { return shadowed_; }
  // Where new description files go: the first folder that Load was given and can be written.
  const std::string& WriteFolder() const { return writeFolder_; }
  // The folders Load was given.
  const std::vector<std::string>& Folders() const { return folders_; }

  // --- changes made by the device editor (saving and deleting types) --------------------
  // The file of that name (letter case ignored), or none.
  TLibraryFile* FindFile(std::string_view fileName);
  // The file that describes a type (the one the pickers use), or none.
  TLibraryFile* FileOf(std::string_view type);
  // Appends a file (it joins the type list after the files already read).
  TLibraryFile& AddFile(std::unique_ptr<TLibraryFile> f);
  void RemoveFile(const TLibraryFile* f);
  // Builds the type list again after a file's [Устройства] changed.
  void Reindex();
  // Where a new file goes: the write folder, else the first folder, created when missing.
  // "" with *error when there is none or it cannot be made.
  std::string FolderForNewFile(std::string* error);

 private:
  void Index(const TLibraryFile& f);
  std::vector<std::unique_ptr<TLibraryFile>> files_;
  std::map<std::string, std::pair<std::string, const TLibraryFile*>> types_;  // upper name -> (name, file)
  std::vector<TShadowedType> shadowed_;
  std::string writeFolder_;
  std::vector<std::string> folders_;
  bool loaded_ = false;
};

// Numbers of description files: "$" + hexadecimal (addresses) or decimal, surrounding blanks
// allowed. False for anything else (empty, signs, trailing text, too long).
bool ParseLibraryNumber(std::string_view text, long long& value);

// Reads a number key: absent or empty gives def. A value that is not a number or is above max
// fails with a message naming file, section, key and value.
bool ReadLibraryNumber(const TLibraryFile& f, std::string_view section, std::string_view key, long long def,
                       long long max, long long& value, std::string* error);

}  // namespace t32
