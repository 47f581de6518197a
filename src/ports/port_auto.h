// The automation port declares the ТС and ТУ signals that the controller's local automation
// program produces. Their names come from an INI list the automation tools write; the port
// exports the controller's input signals for those tools the same way.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/item.h"

namespace t32 {

class TParams;

// The values of one INI section in file order, repeated keys included (cp1251 in, UTF-8
// out). *found tells whether the section exists at all.
std::vector<std::string> IniSectionValues(std::string_view cp1251, std::string_view section, bool* found = nullptr);

class TPortAuto : public TPort {
 public:
  TPortAuto();
  const char* ClassName() const override { return "TPortAuto"; }
  int SectionCode() const override { return 117; }
  void Create(TNode* n) override;
  void UpdateNode() override;
  void SetDefaults() override { autoCheck = 0; }
  void Fields(TFieldVisitor& v) override;
  void SaveToImage(TConfig& c) override;
  void LoadFromImage(TConfig& c) override;
  void LoadFromShortImage(TConfig&) override {}
  void UpdateStatusTable() override;
  void EnumerateSignals(TStorageLists& lists) override;

  TParams* Table(int type) const;

  // "Экспортировать список входных параметров": the file's sections "TS_in", "TU_in", "TI_in"
  // and "TR_in" are replaced by the storage lists (key = storage index, value = name); every
  // other line of the file stays. Written through a temporary file.
  bool ExportInputs(const std::string& path, std::string* error) const;
  // The new file text for ExportInputs (cp1251, CR LF).
  std::string ExportText(std::string_view oldCp1251) const;
  // "Импортировать список выходных параметров": "TS_out" values in file order (repeats kept),
  // "TU_out" values with repeats dropped. A file with neither section changes nothing and
  // *error says so.
  bool ImportOutputs(const std::string& path, std::string* error);
  bool ImportText(std::string_view cp1251, std::string* error);

  std::uint8_t autoCheck = 0;
  std::vector<std::string> tsNames, tuNames;

 private:
  void NamesFromTables();
};

}  // namespace t32
