// INI files in code page 1251 as the controller and the program use them ("Boot.ini",
// "Tavrik32.ini", library and export files). Section and key names compare without case;
// the order of sections and keys is kept so that a rewritten file stays diff-friendly.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace t32 {

class TIniFile {
 public:
  // Parses cp1251 text (CR LF or LF); arbitrary bytes are accepted: lines that are neither a
  // section head nor key=value are ignored, as Windows does.
  void Parse(std::string_view cp1251);
  // Reads a file; false (and an empty file object) when it cannot be read.
  bool Load(const std::string& path);
  // The whole file as cp1251 text with CR LF line ends.
  std::string Serialize() const;
  // Writes the file safely (temporary file then rename); false with *error on failure.
  bool Save(const std::string& path, std::string* error = nullptr) const;

  std::string ReadString(std::string_view section, std::string_view key, std::string_view def = {}) const;
  // Windows semantics: a decimal (or 0x hexadecimal) number at the start of the value, else def.
  long long ReadInteger(std::string_view section, std::string_view key, long long def) const;
  bool HasKey(std::string_view section, std::string_view key) const;
  bool HasSection(std::string_view section) const;
  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  void WriteInteger(std::string_view section, std::string_view key, long long value);
  void EraseSection(std::string_view section);
  // Removes a key (every occurrence of it) from a section.
  void EraseKey(std::string_view section, std::string_view key);
  std::vector<std::string> Sections() const;
  std::vector<std::string> Keys(std::string_view section) const;

  struct Entry { std::string key, value; };
  // Names are looked up through upper-case indexes so that large library files (thousands
  // of names) parse and answer in linear time.
  struct Section {
    std::string name;
    std::vector<Entry> entries;
    std::unordered_map<std::string, std::size_t> byKey;
    const Entry* FindKey(std::string_view key) const;
  };
  // A section found once, for many look-ups in it (none when absent); valid until the file
  // changes.
  const Section* FindSection(std::string_view name) const { return Find(name); }
  static std::string ReadString(const Section* s, std::string_view key, std::string_view def = {}) {
    const Entry* e = s ? s->FindKey(key) : nullptr;
    return e ? e->value : std::string(def);
  }

 private:
  Section* Find(std::string_view name);
  const Section* Find(std::string_view name) const;
  Section& AddSection(std::string name);
  std::vector<Section> sections_;
  std::unordered_map<std::string, std::size_t> byName_;
};

}  // namespace t32
