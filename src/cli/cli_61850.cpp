// tavrik32-cli iec61850: adds an IEC 61850 device to a configuration from an SCL file, with the
// data picked as the device page's "Выбрать параметры" picks it.
#include <cstdio>
#include <string>

#include "cli/cli.h"
#include "iec61850/pickmarks.h"
#include "iec61850/scl.h"
#include "model/document.h"
#include "model/factory.h"
#include "model/memstream.h"
#include "model/messages.h"
#include "model/fileio.h"
#include "ports/ied_types.h"
#include "ports/port_61850.h"
#include "ports/port_menu.h"
#include "ports/register.h"
#include "project/cfgfile.h"

namespace t32::cli {

namespace {

const char* kHelp =
    "Usage: tavrik32-cli iec61850 add FILE.cfg --scl FILE.icd [--ied NAME] --ip A.B.C.D [--port N]\n"
    "                                 [--pick REF]...\n"
    "Adds a device under the configuration's first IEC 61850 polling port (a new port when there\n"
    "is none) with the server model of the SCL file's IED (the first IED with a server when\n"
    "--ied is not given). Each --pick names a data object as LD/LN$FC$DO (for example\n"
    "IED1LD0/MMXU1$MX$PhV): the picks become the data sets DSetTS, DSetTI, DSetTR and DSetTU,\n"
    "with reports for the first two, and the device's signals. --port sets the server's MMS\n"
    "port kept in the model (102 when not given). The file is saved in place.\n\n"
    "Exit status: 0 added, 1 a file cannot be read or written or a pick is not in the model,\n"
    "2 bad usage.\n";

class TStderr : public TMessages {
 public:
  void ShowError(const std::string& text) override { std::fprintf(stderr, "tavrik32-cli: %s\n", text.c_str()); }
  int AskConfirm(const std::string&, bool) override { return kYes; }
};

int Add(const Args& a) {
  std::string cfg, scl, ied, ip;
  int port = 102;
  std::vector<std::string> picks;
  for (std::size_t i = 1; i < a.size(); ++i) {
    auto value = [&](std::string& out) {
      if (i + 1 >= a.size()) return false;
      out = a[++i];
      return true;
    };
    std::string p;
    if (a[i] == "--scl") {
      if (!value(scl)) return kUsage;
    } else if (a[i] == "--ied") {
      if (!value(ied)) return kUsage;
    } else if (a[i] == "--ip") {
      if (!value(ip)) return kUsage;
    } else if (a[i] == "--port") {
      if (!value(p) || p.empty() || p.size() > 5 || p.find_first_not_of("0123456789") != std::string::npos) return kUsage;
      port = std::stoi(p);
      if (port < 1 || port > 65535) return kUsage;
    } else if (a[i] == "--pick") {
      if (!value(p)) return kUsage;
      picks.push_back(p);
    } else if (cfg.empty() && a[i].rfind("--", 0) != 0) {
      cfg = a[i];
    } else {
      return kUsage;
    }
  }
  bool ipOk = false;
  const std::uint32_t address = IpTextToU32(ip, &ipOk);
  if (cfg.empty() || scl.empty() || !ipOk) return kUsage;

  TStderr msgs;
  TDocument doc(&msgs, &DefaultFactory());
  TCpu cpu = TCpu::Cpu927;
  if (!OpenConfigFile(doc, cfg, &cpu)) return kFailure;
  TMMSobject client;
  if (!LoadSCL(scl, client, ied, &msgs)) return kFailure;
  client.Main.Port = port;
  for (const std::string& ref : picks) {
    TMMSvar* n = client.FindVariable(ref);
    if (!n) {
      std::fprintf(stderr, "tavrik32-cli: %s: нет в модели %s\n", ref.c_str(), scl.c_str());
      return kFailure;
    }
    SetPickMark(*n, 1, client.Dictionary());
  }
  TPort61850* p = nullptr;
  if (TNode* proc = doc.ProcNode())
    for (int i = 0; i < proc->ChildCount() && !p; ++i) p = dynamic_cast<TPort61850*>(proc->Child(i)->Item());
  if (!p) {
    TNode* n = AddPortFromMenu(doc, 124);
    p = n ? dynamic_cast<TPort61850*>(n->Item()) : nullptr;
  }
  TRTU61850* dev = p ? p->AddDevice() : nullptr;
  if (!dev) return kFailure;
  dev->SetIp(address);
  dev->PickData(client, SelectedNodes(client));
  doc.AfterEdit();
  if (!SaveConfigFile(doc, cfg, cpu)) return kFailure;
  std::printf("%s\n", dev->Caption().c_str());
  return kOk;
}

int Run(const Args& a) {
  if (WantsHelp(a)) {
    std::fputs(kHelp, stdout);
    return kOk;
  }
  if (!a.empty() && a[0] == "add") return Add(a);
  std::fputs(kHelp, stderr);
  return kUsage;
}

}  // namespace

bool IsIedFile(const std::string& bytes) { return bytes.compare(0, 14, kIedSignature) == 0; }

int IedIntegrity(const std::string& path, const std::string& bytes, bool info) {
  TRecordedMessages m;
  TDocument doc(&m, &DefaultFactory());
  TNode* n = AddPortFromMenu(doc, 124);
  auto* port = n ? dynamic_cast<TPort61850*>(n->Item()) : nullptr;
  TRTU61850* dev = port ? port->AddDevice() : nullptr;
  if (!dev) return kFailure;
  std::string error;
  const bool ok = ReadIedBytes(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), *dev, path, &error);
  if (info) {
    std::printf("integrity:   %s\n", ok ? "sum holds, the device type reads" : error.c_str());
    if (ok) std::printf("device type: %s\n", dev->name.c_str());
  } else if (ok) {
    std::printf("%s: ok (device type %s)\n", path.c_str(), dev->name.c_str());
  } else {
    std::fprintf(stderr, "tavrik32-cli: %s\n", error.c_str());
  }
  return ok ? kOk : kFailure;
}

int IedCheckFile(const std::string& path) {
  std::string bytes;
  if (!ReadWholeFile(path, bytes, nullptr, kMaxIedFile) || !IsIedFile(bytes)) return -1;
  return IedIntegrity(path, bytes, false);
}

void AddIec61850Verbs(std::vector<Verb>& verbs) {
  verbs.push_back({"iec61850", "add an IEC 61850 device from an SCL file with picked data", Run});
}

}  // namespace t32::cli
