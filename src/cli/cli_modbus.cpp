// The "modbus" verb: the device library as the program sees it (types, what a type gives a
// device, files with bad values), and the Modbus part of the sample configuration.
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <string>

#include "cli/cli.h"
#include "model/boards.h"
#include "model/document.h"
#include "model/messages.h"
#include "model/params.h"
#include "ports/app_context.h"
#include "ports/modbus.h"
#include "ports/port_menu.h"
#include "ports/register.h"

namespace t32::cli {
namespace {

const char* kHelp =
    "Usage: tavrik32-cli modbus types [--library DIR]\n"
    "       tavrik32-cli modbus show TYPE [--library DIR]\n"
    "       tavrik32-cli modbus check [--library DIR]\n"
    "The Modbus device library: the \"*.ini\" description files of DIR (default: the user's\n"
    "data folder tavrik32/MODBUS, then MODBUS beside the program).\n"
    "types  every type with its file, sorted; a type a later file repeats is marked\n"
    "show   what a device of TYPE gets: blocks, clock, logs and its signal names\n"
    "check  values a device could not take and repeated types; exit 1 when any\n";

class TCliMessages : public TMessages {
 public:
  void ShowError(const std::string& text) override {
    std::fprintf(stderr, "tavrik32-cli: %s\n", text.c_str());
    ++errors;
  }
  int AskConfirm(const std::string&, bool) override { return kYes; }
  int errors = 0;
};

std::string ProgramDir() {
  char buf[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  std::string p(buf, static_cast<std::size_t>(n));
  auto slash = p.rfind('/');
  return slash == std::string::npos ? "." : p.substr(0, slash);
}

int Types(TDeviceLibrary& lib) {
  for (const std::string& t : lib.Types()) std::printf("%s\t%s\n", t.c_str(), lib.Find(t)->name.c_str());
  for (const TShadowedType& s : lib.Shadowed())
    std::printf("%s\t%s\tскрыт: описан в %s\n", s.type.c_str(), s.file.c_str(), s.winner.c_str());
  return kOk;
}

int Show(TAppContext& ctx, TCliMessages& msgs, const std::string& type) {
  if (!ctx.library.Find(type)) {
    std::fprintf(stderr, "tavrik32-cli: нет типа устройства \"%s\"\n", type.c_str());
    return kFailure;
  }
  TDocument doc(&msgs, &PortsFactory());
  doc.appContext = &ctx;
  TNode* n = AddPortFromMenu(doc, 102);
  auto* port = n ? dynamic_cast<TPortMODBUS*>(n->Item()) : nullptr;
  if (!port) return kFailure;
  int before = msgs.errors;
  auto devs = port->AddDevices({{1, type}});
  if (devs.empty() || msgs.errors != before) return kFailure;
  TRTU* d = devs[0];
  std::printf("type %s (%s)\n", d->name.c_str(), ctx.library.Find(type)->name.c_str());
  std::string extra;
  d->DumpExtra(extra, "  ");
  std::printf("clock $%04X \"%s\"\n%s", d->s.clockAddress, d->s.clockText.c_str(), extra.c_str());
  for (TItem* c : d->ChildItems())
    if (auto* t = dynamic_cast<TParams*>(c)) {
      std::printf("%s: %d\n", SignalTypeInfo(t->Type()).tableName, t->Count());
      for (int i = 0; i < t->Count(); ++i) std::printf("  %s\n", t->At(i)->DefaultName().c_str());
    }
  return kOk;
}

int Check(TAppContext& ctx) {
  int bad = 0;
  TRTU scratch;
  for (const auto& f : ctx.library.Files()) {
    std::string err;
    if (!scratch.ApplyType(*f, &err)) {
      std::printf("%s\n", err.c_str());
      ++bad;
    }
  }
  for (const TShadowedType& s : ctx.library.Shadowed()) {
    std::printf("Тип %s в файле %s повторяет тип из %s\n", s.type.c_str(), s.file.c_str(), s.winner.c_str());
    ++bad;
  }
  return bad ? kFailure : kOk;
}

int Modbus(const Args& a) {
  if (WantsHelp(a) || a.empty()) return std::printf("%s", kHelp), a.empty() ? kUsage : kOk;
  std::string verb = a[0], library, type;
  for (std::size_t i = 1; i < a.size(); ++i) {
    if (a[i] == "--library" && i + 1 < a.size()) library = a[++i];
    else if (a[i].rfind("-", 0) == 0 || !type.empty()) return std::fprintf(stderr, "%s", kHelp), kUsage;
    else type = a[i];
  }
  if ((verb == "show") != !type.empty()) return std::fprintf(stderr, "%s", kHelp), kUsage;
  TCliMessages msgs;
  TAppContext ctx;
  ctx.libraryFolders = library.empty() ? DefaultLibraryFolders(ProgramDir()) : std::vector<std::string>{library};
  ctx.EnsureLibrary(&msgs);
  int unreadable = msgs.errors;
  int rc;
  if (verb == "types") rc = Types(ctx.library);
  else if (verb == "show") rc = Show(ctx, msgs, type);
  else if (verb == "check") rc = Check(ctx);
  else return std::fprintf(stderr, "%s", kHelp), kUsage;
  return unreadable && rc == kOk && verb == "check" ? kFailure : rc;
}

}  // namespace

void AddModbusVerbs(std::vector<Verb>& verbs) {
  verbs.push_back({"modbus", "Modbus device library: types, show TYPE, check", Modbus});
}

void AddSampleModbus(TDocument& doc) {
  if (TNode* n = AddPortFromMenu(doc, 102)) {
    auto* rtu = static_cast<TPortMODBUS*>(n->Item());
    auto list = rtu->Interfaces();
    if (list.size() > 1) rtu->SelectInterface(list, 1);
    for (TRTU* d : rtu->AddDevices({{1, "RTU"}, {2, "RTU"}})) {
      d->newDevice = false;
      d->s.ts[0] = {0, 2, 0x0000, 16};
      d->s.ti[0] = {1, 3, 0x0100, 8};
      d->s.tu[0] = {0, 5, 0x0010, 2};
      d->UpdateStatusTable();
    }
  }
  if (TNode* n = AddPortFromMenu(doc, 129)) {
    auto* tcp = static_cast<TPortRTUTCP*>(n->Item());
    if (TRTUTCP* d = tcp->AddDevice()) {
      d->SetIp(0xC0A8010A);
      d->newDevice = false;
      d->s.tr[0] = {0, 6, 0x0200, 4};
      d->s.sysLog.codes = {1, 2, 3};
      d->UpdateStatusTable();
    }
  }
  doc.AfterEdit();
}

}  // namespace t32::cli
