// tavrik32-cli iec104: what an IEC 104 station XML file gives when imported.
#include <cstdio>
#include <string>

#include "cli/cli.h"
#include "iec104/station_xml.h"
#include "model/fileio.h"

namespace t32::cli {

namespace {

const char* kIec104Help =
    "Usage: tavrik32-cli iec104 show FILE.xml\n"
    "Imports an IEC 104 station XML file (root element WS_IEC_870_5_104) into a new station\n"
    "and prints it: the station's parameters, its groups, and per object its type, address\n"
    "(\"address [information object address in hex]\"), tick (+/-) and full name.\n"
    "Values the import did not take are listed on stderr.\n\n"
    "Exit status: 0 imported, 1 the file cannot be read or imported, 2 bad usage.\n";

int RunIec104(const Args& args) {
  if (WantsHelp(args)) {
    std::fputs(kIec104Help, stdout);
    return kOk;
  }
  if (args.size() != 2 || args[0] != "show") {
    std::fputs(kIec104Help, stderr);
    return kUsage;
  }
  std::string bytes, err;
  if (!ReadWholeFile(args[1], bytes, &err, 512u << 20)) {
    std::fprintf(stderr, "%s\n", err.c_str());
    return kFailure;
  }
  TWS_104 station;
  TImportResult r = ImportXml(station, bytes, args[1]);
  if (!r.ok) {
    std::fprintf(stderr, "%s\n", r.error.c_str());
    return kFailure;
  }
  if (!r.problems.empty()) std::fprintf(stderr, "%s\n", r.ProblemsMessage(args[1]).c_str());
  std::fputs(DumpStation(station).c_str(), stdout);
  return kOk;
}

}  // namespace

void AddIec104Verbs(std::vector<Verb>& verbs) {
  verbs.push_back({"iec104", "show what an IEC 104 station XML file imports to", RunIec104});
}

}  // namespace t32::cli
