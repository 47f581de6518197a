// tavrik32-cli iec104: what an IEC 104 station XML file gives when imported.
#include <cstdio>
#include <string>

#include "cli/cli.h"
#include "iec104/station_xml.h"
#include "model/document.h"
#include "model/fileio.h"
#include "model/messages.h"
#include "model/params.h"
#include "ports/port_rtu104.h"
#include "ports/register.h"
#include "project/cfgfile.h"

namespace t32::cli {

namespace {

const char* kIec104Help =
    "Usage: tavrik32-cli iec104 show FILE.xml\n"
    "       tavrik32-cli iec104 show FILE.cfg DEVICE\n"
    "       tavrik32-cli iec104 import FILE.cfg DEVICE FILE.xml OUT.cfg [--tick all]\n"
    "DEVICE is PORT/N or PORT/CAPTION: an IEC 104 polling port by its caption or its position\n"
    "under the processor, then its N-th device (from 1) or the device's caption (\"1/7_RTU\").\n"
    "show FILE.cfg prints the device's station and its signals; import replaces the device's\n"
    "station by the XML file's (with --tick all every object is ticked) and rebuilds its\n"
    "signals.\n\n"
    "Imports an IEC 104 station XML file (root element WS_IEC_870_5_104) into a new station\n"
    "and prints it: the station's parameters, its groups, and per object its type, address\n"
    "(\"address [information object address in hex]\"), tick (+/-) and full name.\n"
    "Values the import did not take are listed on stderr.\n\n"
    "Exit status: 0 imported, 1 the file cannot be read or imported, 2 bad usage.\n";

class TStderr : public TMessages {
 public:
  void ShowError(const std::string& text) override { std::fprintf(stderr, "tavrik32-cli: %s\n", text.c_str()); }
  int AskConfirm(const std::string&, bool) override { return kYes; }
};

bool Digits(const std::string& s) {
  return !s.empty() && s.size() < 4 && s.find_first_not_of("0123456789") == std::string::npos;
}

// PORT/DEVICE: the port by caption or position under the processor, the device by caption or
// position from 1.
TRTU104* FindDevice(TDocument& doc, const std::string& what) {
  std::size_t slash = what.rfind('/');
  TNode* proc = doc.ProcNode();
  if (slash == std::string::npos || !proc) return nullptr;
  const std::string p = what.substr(0, slash), d = what.substr(slash + 1);
  TPortRTU104* port = nullptr;
  for (int i = 0; i < proc->ChildCount() && !port; ++i)
    if ((Digits(p) && std::stoi(p) == i) || proc->Child(i)->caption == p)
      port = dynamic_cast<TPortRTU104*>(proc->Child(i)->Item());
  if (!port) return nullptr;
  auto devs = port->Devices();
  for (std::size_t i = 0; i < devs.size(); ++i)
    if ((Digits(d) && static_cast<std::size_t>(std::stoi(d)) == i + 1) || devs[i]->Caption() == d)
      return dynamic_cast<TRTU104*>(devs[i]);
  return nullptr;
}

void PrintSignals(const TRTU104& dev) {
  for (TItem* c : dev.ChildItems())
    if (auto* t = dynamic_cast<TParams*>(c))
      for (int i = 0; i < t->Count(); ++i) std::printf("%s %d %s\n", t->Caption().c_str(), i, t->At(i)->Name().c_str());
}

int DeviceVerb(const Args& args) {
  const bool import = args[0] == "import";
  TStderr m;
  TDocument doc(&m, &PortsFactory());
  TCpu cpu = TCpu::Cpu927;
  if (!OpenConfigFile(doc, args[1], &cpu)) return kFailure;
  TRTU104* dev = FindDevice(doc, args[2]);
  if (!dev) {
    std::fprintf(stderr, "tavrik32-cli: no IEC 104 device '%s' in %s\n", args[2].c_str(), args[1].c_str());
    return kFailure;
  }
  if (import) {
    std::string bytes, err;
    if (!ReadWholeFile(args[3], bytes, &err, 512u << 20)) {
      std::fprintf(stderr, "%s\n", err.c_str());
      return kFailure;
    }
    TWS_104 station;
    TImportResult r = ImportXml(station, bytes, args[3]);
    if (!r.ok) {
      std::fprintf(stderr, "%s\n", r.error.c_str());
      return kFailure;
    }
    if (!r.problems.empty()) std::fprintf(stderr, "%s\n", r.ProblemsMessage(args[3]).c_str());
    if (args.size() == 7) station.TickAll();
    if (!dev->ReadStation(station.Serialise())) return kFailure;
    dev->StationEdited();
    doc.AfterEdit();
    return SaveConfigFile(doc, args[4], cpu) ? kOk : kFailure;
  }
  std::printf("# %s\n", dev->Caption().c_str());
  if (dev->StationDamaged()) std::printf("station: damaged, kept as read\n");
  else std::fputs(DumpStation(dev->Station()).c_str(), stdout);
  PrintSignals(*dev);
  return kOk;
}

int RunIec104(const Args& args) {
  if (WantsHelp(args)) {
    std::fputs(kIec104Help, stdout);
    return kOk;
  }
  if (!args.empty() && ((args.size() == 3 && args[0] == "show") ||
      (args[0] == "import" && (args.size() == 5 || (args.size() == 7 && args[5] == "--tick" && args[6] == "all")))))
    return DeviceVerb(args);
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
