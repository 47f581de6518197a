// The "iec103" verb: the IEC 103 device-type library as the program sees it (types, what a
// type gives a device, every value a device could not take).
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <string>

#include "cli/cli.h"
#include "model/document.h"
#include "model/messages.h"
#include "model/params.h"
#include "ports/app_context.h"
#include "ports/iec103.h"
#include "ports/port_menu.h"
#include "ports/register.h"

namespace t32::cli {
namespace {

const char* kHelp =
    "Usage: tavrik32-cli iec103 types [--library DIR]\n"
    "       tavrik32-cli iec103 show TYPE [--library DIR]\n"
    "       tavrik32-cli iec103 check [--library DIR]\n"
    "The IEC 103 device-type library: the \"*.ini\" files of DIR (default: the user's data\n"
    "folder tavrik32/IEC_103, then IEC_103 beside the program).\n"
    "types  every type with its file, sorted; a type a later file repeats is marked\n"
    "show   the tables a device of TYPE takes and its signal names\n"
    "check  every bad table line, repeated type and over-long table; exit 1 when any\n";

class TCliMessages : public TMessages {
 public:
  void ShowError(const std::string& text) override {
    std::fprintf(stderr, "tavrik32-cli: %s\n", text.c_str());
    ++errors;
  }
  // Nothing is asked on the command line: questions and cell errors cancel.
  int AskConfirm(const std::string&, bool) override { return kCancel; }
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

int Show(TAppContext& ctx, TCliMessages& msgs, const std::string& type) {
  const TLibraryFile* f = ctx.library103.Find(type);
  if (!f) {
    std::fprintf(stderr, "tavrik32-cli: нет типа устройства \"%s\"\n", type.c_str());
    return kFailure;
  }
  TDocument doc(&msgs, &PortsFactory());
  doc.appContext = &ctx;
  TNode* n = AddPortFromMenu(doc, 115);
  auto* port = n ? dynamic_cast<TPort103*>(n->Item()) : nullptr;
  if (!port) return kFailure;
  auto devs = port->AddDevices({{1, type}});
  if (devs.empty()) return kFailure;
  TRTU103* d = devs[0];
  std::printf("type %s (%s)\n", d->name.c_str(), f->name.c_str());
  std::string extra;
  d->DumpExtra(extra, "  ");
  std::printf("%s", extra.c_str());
  for (TItem* c : d->ChildItems())
    if (auto* t = dynamic_cast<TParams*>(c)) {
      std::printf("%s: %d\n", SignalTypeInfo(t->Type()).tableName, t->Count());
      for (int i = 0; i < t->Count(); ++i) std::printf("  %s\n", t->At(i)->DefaultName().c_str());
    }
  return msgs.errors ? kFailure : kOk;
}

int Check(TAppContext& ctx) {
  int bad = 0;
  TRTU103 scratch;
  for (const auto& f : ctx.library103.Files()) {
    std::vector<std::string> problems;
    scratch.ApplyType(*f, &problems);
    for (const std::string& p : problems) std::printf("%s\n", p.c_str());
    bad += static_cast<int>(problems.size());
  }
  for (const TShadowedType& s : ctx.library103.Shadowed()) {
    std::printf("Тип %s в файле %s повторяет тип из %s\n", s.type.c_str(), s.file.c_str(), s.winner.c_str());
    ++bad;
  }
  return bad ? kFailure : kOk;
}

int Iec103(const Args& a) {
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
  ctx.library103Folders =
      library.empty() ? DefaultLibraryFolders(ProgramDir(), "IEC_103") : std::vector<std::string>{library};
  ctx.EnsureLibrary103(&msgs);
  int unreadable = msgs.errors;
  int rc;
  if (verb == "types") {
    for (const std::string& t : ctx.library103.Types())
      std::printf("%s\t%s\n", t.c_str(), ctx.library103.Find(t)->name.c_str());
    for (const TShadowedType& s : ctx.library103.Shadowed())
      std::printf("%s\t%s\tскрыт: описан в %s\n", s.type.c_str(), s.file.c_str(), s.winner.c_str());
    rc = kOk;
  } else if (verb == "show") {
    rc = Show(ctx, msgs, type);
  } else if (verb == "check") {
    rc = Check(ctx);
  } else {
    return std::fprintf(stderr, "%s", kHelp), kUsage;
  }
  return unreadable && rc == kOk && verb == "check" ? kFailure : rc;
}

}  // namespace

void AddIec103Verbs(std::vector<Verb>& verbs) {
  verbs.push_back({"iec103", "IEC 103 device-type library: types, show TYPE, check", Iec103});
}

}  // namespace t32::cli
