// Review verbs of tavrik32-cli: the comparison of two configurations.
#include <cstdio>
#include <string>

#include "cli/cli.h"
#include "model/document.h"
#include "review/diff.h"

namespace t32::cli {
namespace {

const char* kDiffHelp =
    "Usage: tavrik32-cli diff [--json] A.cfg B.cfg\n"
    "Compares two configurations by what they mean (either may be the JSON form, \".json\"):\n"
    "items are matched by their place in the tree and their identity, so a board set to another\n"
    "address or a renumbered port shows as moved or renumbered; settings by their names with\n"
    "the old and new value; signal rows by their default names (added, removed, renamed, moved);\n"
    "output rows whose source changed or no longer resolves; kept sections as opaque blocks.\n"
    "One line per difference, or with --json an array of objects. Neither file is changed.\n"
    "Exit status: 0 equal, 1 different, 2 bad usage or a file that cannot be read.\n";

int Diff(const Args& a) {
  if (WantsHelp(a)) return std::printf("%s", kDiffHelp), kOk;
  bool json = false;
  Args files;
  for (const auto& x : a) {
    if (x == "--json") json = true;
    else if (x.size() > 1 && x[0] == '-') return std::fprintf(stderr, "%s", kDiffHelp), kUsage;
    else files.push_back(x);
  }
  if (files.size() != 2) return std::fprintf(stderr, "%s", kDiffHelp), kUsage;
  TDocument da, db;
  TCpu cpu = TCpu::Cpu927;
  std::string err;
  if (!LoadConfiguration(da, files[0], &cpu, &err) || !LoadConfiguration(db, files[1], &cpu, &err)) {
    std::fprintf(stderr, "tavrik32-cli: %s\n", err.c_str());
    return kUsage;
  }
  auto list = CompareConfigurations(da, db);
  if (json) std::fputs(DifferencesJson(list).c_str(), stdout);
  else std::fputs(DifferencesText(list).c_str(), stdout);
  return list.empty() ? kOk : kFailure;
}

}  // namespace

void AddReviewVerbs(std::vector<Verb>& verbs) {
  verbs.push_back({"diff", "compare two configurations by meaning (exit 0 equal, 1 different)", Diff});
}

}  // namespace t32::cli
