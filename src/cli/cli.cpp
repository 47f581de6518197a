// tavrik32-cli: create, inspect and convert configurations, talk to a controller, and use the
// engineering aids without windows.
#include "cli/cli.h"

#include <cstdio>
#include <cstring>

#include "model/factory.h"
#include "ports/register.h"

namespace t32::cli {

bool WantsHelp(const Args& args) {
  for (const auto& a : args)
    if (a == "--help" || a == "-h") return true;
  return false;
}

// Weak defaults so that a verb group can be absent from a build.
__attribute__((weak)) void AddFileVerbs(std::vector<Verb>&) {}
__attribute__((weak)) void AddLinkVerbs(std::vector<Verb>&) {}
__attribute__((weak)) void AddMmsVerbs(std::vector<Verb>&) {}
__attribute__((weak)) void AddSclVerbs(std::vector<Verb>&) {}
__attribute__((weak)) void AddPortVerbs(std::vector<Verb>&) {}
__attribute__((weak)) void AddIec104Verbs(std::vector<Verb>&) {}
__attribute__((weak)) void AddSnmpVerbs(std::vector<Verb>&) {}
__attribute__((weak)) void AddAutomationVerbs(std::vector<Verb>&) {}
__attribute__((weak)) void AddLogicVerbs(std::vector<Verb>&) {}
__attribute__((weak)) void AddModbusVerbs(std::vector<Verb>&) {}
__attribute__((weak)) void AddReviewVerbs(std::vector<Verb>&) {}
__attribute__((weak)) void AddIec61850Verbs(std::vector<Verb>&) {}
__attribute__((weak)) void AddIec103Verbs(std::vector<Verb>&) {}

}  // namespace t32::cli

using namespace t32::cli;

static void PrintHelp(const std::vector<Verb>& verbs) {
  std::printf(
      "Usage: tavrik32-cli VERB [OPTIONS] [ARGS]\n"
      "Configurator of the Tavrik32 controller without windows.\n\n"
      "Verbs:\n");
  for (const auto& v : verbs) std::printf("  %-12s %s\n", v.name, v.summary);
  std::printf(
      "\nOptions:\n"
      "  --help       this text (VERB --help: the verb's own)\n"
      "  --version    program version\n\n"
      "Exit status: 0 success, 1 failure, 2 bad usage.\n");
}

int main(int argc, char** argv) {
  t32::RegisterPorts(t32::DefaultFactory());
  std::vector<Verb> verbs;
  AddFileVerbs(verbs);
  AddLinkVerbs(verbs);
  AddMmsVerbs(verbs);
  AddSclVerbs(verbs);
  AddPortVerbs(verbs);
  AddIec104Verbs(verbs);
  AddSnmpVerbs(verbs);
  AddAutomationVerbs(verbs);
  AddLogicVerbs(verbs);
  AddModbusVerbs(verbs);
  AddReviewVerbs(verbs);
  AddIec61850Verbs(verbs);
  AddIec103Verbs(verbs);
  if (argc < 2) {
    PrintHelp(verbs);
    return kUsage;
  }
  std::string first = argv[1];
  if (first == "--help" || first == "-h" || first == "help") {
    PrintHelp(verbs);
    return kOk;
  }
  if (first == "--version") {
    std::printf("tavrik32-cli %s\n", T32_VERSION);
    return kOk;
  }
  for (const auto& v : verbs)
    if (first == v.name) return v.run(Args(argv + 2, argv + argc));
  std::fprintf(stderr, "tavrik32-cli: unknown verb '%s' (see --help)\n", first.c_str());
  return kUsage;
}
