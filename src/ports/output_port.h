// Ports that pass the controller's signals on to a control station or a workstation: six
// output tables (ТС, ТУ, ТИ, ТИИ, ТР, МТС) as children, written in that order (МТС only when it
// has rows), resolved against the signal sources after a load, and exported as an INI list.
#pragma once
#include <array>
#include <string>
#include <vector>

#include "model/item.h"

namespace t32 {

class TParams;

class TOutputPort : public TPort {
 public:
  TOutputPort();
  // Makes the six output tables (role 1, owner this port) under the node.
  void Create(TNode* n) override;
  // The output table of a signal type (1..6), or none.
  TParams* Table(int type) const;

  void AfterLoad() override;
  // Old short-record images: the ТС, ТУ, ТИ and ТР tables take names and counts from the
  // storage's legacy lists, then resolve by name.
  void AfterShortLoad() override;
  void ResolveOutputTables() override;
  // The tables are written by WriteOutputTables in their fixed order, not in tree order.
  void WriteChildren(TConfig& /*c*/) override {}

  // ТС, ТУ, ТИ, ТИИ, ТР sections always, МТС only when it has rows.
  void WriteOutputTables(TConfig& c);
  // Call right after the port's own keys were read (Pos behind the port's section head):
  // loads the table sections that follow, stopping at the first other section.
  void LoadOutputTables(TConfig& c);

  // The signal list as INI text (cp1251, CR LF): tables in the order ТС, МТС, ТУ, ТИ, ТИИ,
  // ТР; section = "TS." (and so on) + the name's parts but the last, joined with "."; key = the
  // row's address text; value = the last part. Rows whose address cannot be a key (none, or
  // "Ошибка!!!") are left out and counted in *skipped.
  std::string IniText(int* skipped = nullptr) const;
  // Writes IniText safely (temporary file, then rename). On failure *error holds
  // "Ошибка записи файла " + path + the reason. *skipped as above.
  bool ExportIni(const std::string& path, std::string* error, int* skipped = nullptr) const;
  // The message for rows left out of an export (empty when none were).
  static std::string SkippedText(int skipped);

 protected:
  std::array<TParams*, 7> tables_{};
};

// The INI section prefix of a signal type: "TS.", "TU.", "TI.", "TII.", "TR.", "MTS.".
const char* IniPrefix(int type);

}  // namespace t32
