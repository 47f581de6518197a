// tavrik32-cli scl: the model one IED of an SCL file describes, as the client would load it.
#include <cstdio>
#include <string>

#include "cli/cli.h"
#include "iec61850/scl.h"
#include "model/messages.h"

namespace t32::cli {

// The tree printer of "mms browse" (cli_mms.cpp).
void PrintMmsTree(const TMMSobject& c, const TMMSvar& n, int depth);

namespace {

const char* kSclHelp =
    "Usage: tavrik32-cli scl FILE [--ied NAME] [--list]\n"
    "Reads an SCL file (ICD, CID, SCD) and prints the model of one IED: the variable tree,\n"
    "data sets, reports, GOOSE control blocks and the called OSI addressing.\n\n"
    "  --ied NAME   the IED to read (the first one with a server by default)\n"
    "  --list       only name the IEDs of the file\n\n"
    "Exit status: 0 success, 1 the file cannot be read or has no such IED, 2 bad usage.\n";

struct TStderrMessages : TMessages {
  void ShowError(const std::string& text) override { std::fprintf(stderr, "tavrik32-cli scl: %s\n", text.c_str()); }
  int AskConfirm(const std::string&, bool) override { return kNo; }
};

std::string Hex(const std::uint8_t* d, std::size_t n) {
  std::string s;
  char buf[4];
  for (std::size_t i = 0; i < n; ++i) {
    std::snprintf(buf, sizeof buf, i ? "-%02X" : "%02X", d[i]);
    s += buf;
  }
  return s;
}

int RunScl(const Args& args) {
  if (WantsHelp(args)) {
    std::fputs(kSclHelp, stdout);
    return kOk;
  }
  std::string file, ied;
  bool list = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--list") {
      list = true;
    } else if (args[i] == "--ied" && i + 1 < args.size()) {
      ied = args[++i];
    } else if (!args[i].empty() && args[i][0] == '-') {
      std::fputs(kSclHelp, stderr);
      return kUsage;
    } else if (file.empty()) {
      file = args[i];
    } else {
      std::fputs(kSclHelp, stderr);
      return kUsage;
    }
  }
  if (file.empty()) {
    std::fputs(kSclHelp, stderr);
    return kUsage;
  }
  TStderrMessages msgs;
  if (list) {
    std::vector<std::string> names;
    if (!ListSCLIeds(file, names, &msgs)) return kFailure;
    for (const auto& n : names) std::printf("%s\n", n.c_str());
    return kOk;
  }
  TMMSobject c;
  if (!LoadSCL(file, c, ied, &msgs)) return kFailure;
  for (const auto& dom : c.Root().Children) PrintMmsTree(c, *dom, 0);
  std::printf("Data sets:\n");
  for (const auto& ds : c.DataSets()) {
    std::printf("  %s/%s\n", ds->Domain.c_str(), ds->Name.c_str());
    for (const auto& m : ds->MemberNames) std::printf("    %s\n", m.c_str());
  }
  std::printf("Reports:\n");
  for (const auto& r : c.Reports().Items)
    std::printf("  %s %s DatSet=%s IntgPd=%d BufTm=%d TrgOps=0x%02X\n", r->RptID.c_str(), r->Buffered ? "BR" : "RP",
                r->DatSet.c_str(), r->IntgPd, r->BufTm, r->TrgOps);
  std::printf("GOOSE control blocks:\n");
  for (const auto& g : c.GooseBlocks().Items)
    std::printf("  %s GoID=%s DatSet=%s MAC=%s APPID=0x%04X VLAN=0x%03X PRIORITY=%d\n", g->Reference.c_str(),
                g->GoID.c_str(), g->DatSet.c_str(), Hex(g->Mac.data(), 6).c_str(), static_cast<unsigned>(g->APPID),
                static_cast<unsigned>(g->VID), g->Priority);
  std::printf("Called addressing:\n");
  std::printf("  AP title %s, AE qualifier %d, PSEL %u, SSEL %u, TSEL %u\n", OidToString(c.Acse.CalledAPTitle).c_str(),
              c.Acse.CalledAEQualifier, static_cast<unsigned>(c.CalledPSEL), static_cast<unsigned>(c.CalledSSEL),
              static_cast<unsigned>(c.CalledTSAP));
  return kOk;
}

}  // namespace

void AddSclVerbs(std::vector<Verb>& verbs) {
  verbs.push_back({"scl", "print the model of an IED from an SCL file (ICD, CID, SCD)", RunScl});
}

}  // namespace t32::cli
