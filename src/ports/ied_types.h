// Device types of the IEC 61850 polling port: one ".ied" file per type holds a device's
// settings and model (no place, address or signal tables) in the container of a configuration
// file with its own signature. A device takes a type by name from the "Тип" list.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace t32 {

class TMessages;
class TRTU61850;

constexpr const char kIedSignature[] = "Sign:IEC61850 ";  // 14 characters
constexpr std::size_t kMaxIedFile = 104857600;

// The folders of type files, in the order they are read: "IEC61850" beside the program, then
// the user's config folder ($XDG_CONFIG_HOME or ~/.config, then "tavrik32/IEC61850").
std::vector<std::string> DefaultIedFolders(const std::string& programDir);

class TIedTypes {
 public:
  std::vector<std::string> folders;

  // Reads the names once; Reload reads them again.
  void Ensure();
  void Reload();
  const std::vector<std::string>& Types() const { return types_; }
  bool Has(std::string_view type) const;
  // The file of a type as read, or "" when the type is not listed.
  std::string PathOf(std::string_view type) const;
  // Where a type's file is written: the first folder that can be written (made when missing).
  std::string WritePath(std::string_view type) const;
  void Add(const std::string& type, const std::string& path);
  void Remove(std::string_view type);

 private:
  std::vector<std::string> types_;  // sorted
  std::vector<std::string> paths_;  // beside types_
  bool loaded_ = false;
};

// A name a type file may take: not empty, at most 64 characters, no "/", "\", ".." or
// control characters. Otherwise *why is the message.
bool SafeTypeName(std::string_view name, std::string* why);

// The file bytes of the device's type (template form). False with *error when the device
// cannot be written.
bool IedFileBytes(TRTU61850& dev, const std::string& fileName, std::vector<std::uint8_t>& out, std::string* error);
// Checks a type file and loads it into the device (template form). False with *error, the
// device unchanged, when the bytes are not a whole, sound type file.
bool ReadIedBytes(const std::vector<std::uint8_t>& bytes, TRTU61850& dev, const std::string& displayName,
                  std::string* error);

// "Сохранить": asks the name ("Сохранить настройку блока как :") and, when the file exists,
// "Файл уже существует.\rПереписать настройку?"; the device takes the name and the file is
// written. False when cancelled or refused (with a message).
bool SaveDeviceType(TRTU61850& dev, TIedTypes& types, TMessages& msgs);
// "Удалить": asks "Удалить устройство " + name + " из списка ?" and deletes the file.
bool DeleteDeviceType(const std::string& type, TIedTypes& types, TMessages& msgs);

}  // namespace t32
