// Import of an IEC 104 station from an XML file (root element "WS_IEC_870_5_104"), as a
// workstation exports it or an engineer writes it by hand.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "iec104/station.h"

namespace t32 {

struct TImportResult {
  bool ok = false;
  std::string error;                  // why nothing was imported
  std::vector<std::string> problems;  // values not taken or changed, one line each
  // All problems in one message naming the file; empty when there are none.
  std::string ProblemsMessage(const std::string& path) const;
};

// Imports the file's bytes into the station. A broken file, a file without the station
// element, groups nested deeper than 64 or a result above 1 MiB change nothing. A value that is
// not a number or out of range leaves its field and is listed. The error and the list also go
// to the station's message hook. Groups are matched by name and objects by name within their
// group, so importing the same file again adds nothing.
TImportResult ImportXml(TWS_104& station, std::string_view bytes, const std::string& path);

}  // namespace t32
