// The automation verb of tavrik32-cli (import of the automation program's output names, export
// of the controller's input lists) and the sample's time, two-position, UNIO and automation
// ports.
#include <cstdio>
#include <string>

#include "cli/cli.h"
#include "model/boards.h"
#include "model/document.h"
#include "model/messages.h"
#include "model/params.h"
#include "model/storage.h"
#include "ports/port_auto.h"
#include "ports/port_menu.h"
#include "ports/port_time.h"
#include "ports/port_twopos.h"
#include "ports/port_unio.h"
#include "project/cfgfile.h"

namespace t32::cli {
namespace {

class TStderr : public TMessages {
 public:
  void ShowError(const std::string& text) override { std::fprintf(stderr, "tavrik32-cli: %s\n", text.c_str()); }
  int AskConfirm(const std::string&, bool) override { return kYes; }
};

const char* kAutomationHelp =
    "Usage: tavrik32-cli automation FILE.cfg --import IN.ini OUT.cfg\n"
    "       tavrik32-cli automation FILE.cfg --export OUT.ini\n"
    "--import  the automation port takes its ТС names from section TS_out (file order, repeats\n"
    "          kept) and its ТУ names from TU_out (repeats dropped); the configuration is saved\n"
    "          as OUT.cfg. A file with neither section changes nothing.\n"
    "--export  sections TS_in, TU_in, TI_in and TR_in of OUT.ini are replaced by the signal\n"
    "          storage lists (key = storage index, value = name); other sections stay.\n"
    "FILE.cfg must hold an automation port.\n";

int Automation(const Args& a) {
  if (WantsHelp(a)) return std::printf("%s", kAutomationHelp), kOk;
  bool imp = a.size() == 4 && a[1] == "--import";
  bool exp = a.size() == 3 && a[1] == "--export";
  if (!imp && !exp) return std::fprintf(stderr, "%s", kAutomationHelp), kUsage;
  TStderr m;
  TDocument doc(&m);
  TCpu cpu = TCpu::Cpu927;
  if (!OpenConfigFile(doc, a[0], &cpu)) return kFailure;
  TPortAuto* port = nullptr;
  if (TNode* proc = doc.ProcNode())
    for (int i = 0; i < proc->ChildCount() && !port; ++i) port = dynamic_cast<TPortAuto*>(proc->Child(i)->Item());
  if (!port) {
    std::fprintf(stderr, "tavrik32-cli: %s has no automation port\n", a[0].c_str());
    return kFailure;
  }
  std::string err;
  if (exp) {
    if (!port->ExportInputs(a[2], &err)) return std::fprintf(stderr, "tavrik32-cli: %s\n", err.c_str()), kFailure;
    return kOk;
  }
  if (!port->ImportOutputs(a[2], &err)) return std::fprintf(stderr, "tavrik32-cli: %s\n", err.c_str()), kFailure;
  return SaveConfigFile(doc, a[3], cpu) ? kOk : kFailure;
}

}  // namespace

void AddAutomationVerbs(std::vector<Verb>& verbs) {
  verbs.push_back({"automation", "automation port: import output names, export input lists", Automation});
}

void AddSampleOtherPorts(TDocument& doc) {
  if (TNode* n = AddPortFromMenu(doc, 120)) static_cast<TPortGPS*>(n->Item())->server = 0xC0A80164;  // 192.168.1.100
  AddPortFromMenu(doc, 130);
  if (TNode* n = AddPortFromMenu(doc, 132)) {
    auto* p = static_cast<TPortTwoPos*>(n->Item());
    p->Apply(2);
    TParams& ts = doc.Storage().List(kSigTS);
    if (ts.Count() >= 2) {
      p->SetSignal(0, false, ts.Ref(0));
      p->SetSignal(0, true, ts.Ref(1));
    }
  }
  if (TNode* n = AddPortFromMenu(doc, 133)) {
    auto* p = static_cast<TPortTwoPos*>(n->Item());
    p->Apply(1);
    TParams& tu = doc.Storage().List(kSigTU);
    if (tu.Count() >= 2) {
      p->SetSignal(0, false, tu.Ref(0));
      p->SetSignal(0, true, tu.Ref(1));
    }
  }
  if (TNode* n = AddPortFromMenu(doc, 125)) {
    auto* p = static_cast<TPortUnio*>(n->Item());
    auto list = p->Interfaces();
    for (std::size_t i = 1; i < list.size(); ++i)
      if (list[i].block && (list[i].block->interfaces & kIfRS485)) {
        p->SelectInterface(list, static_cast<int>(i));
        break;
      }
    p->AddModule(221);
    if (auto* mrk = dynamic_cast<TRelayModule*>(p->AddModule(222))) mrk->SetMode(3);
    p->AddModule(229);
  }
  if (TNode* n = AddPortFromMenu(doc, 117)) {
    std::string err;
    static_cast<TPortAuto*>(n->Item())->ImportText("[TS_out]\r\n1=AUTO_TS1\r\n2=AUTO_TS2\r\n[TU_out]\r\n1=AUTO_TU1\r\n", &err);
  }
  doc.AfterEdit();
}

}  // namespace t32::cli
