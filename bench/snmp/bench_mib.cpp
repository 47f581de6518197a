// LoadMib on every module of Debian's two MIB folders in turn (libsnmp-base and the IETF
// modules of erlang-snmp), imports included, against Net-SNMP reading both folders once:
// snmptranslate -m ALL -Tz, less a run of snmptranslate that loads no MIB (process start-up).
// After the runs it prints "ratio loadmib_every_module/netsnmp_read_all = <value>".
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "snmp/mib.h"

namespace fs = std::filesystem;

namespace {

const std::string kSys = "/usr/share/snmp/mibs";

std::string ErlangMibs() {
  std::error_code ec;
  for (fs::directory_iterator d("/usr/lib/erlang/lib", ec), end; !ec && d != end; d.increment(ec))
    if (d->path().filename().string().rfind("snmp-", 0) == 0 && fs::is_directory(d->path() / "mibs")) return (d->path() / "mibs").string();
  return {};
}

std::vector<std::string> ModuleFiles() {
  std::vector<std::string> files;
  std::string erl = ErlangMibs();
  for (const auto& dir : {kSys, erl, erl + "/v1"}) {
    std::error_code ec;
    for (fs::directory_iterator d(dir, ec), end; !ec && d != end; d.increment(ec))
      if (d->is_regular_file() && (d->path().extension() == ".txt" || d->path().extension() == ".mib")) files.push_back(d->path().string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

void BM_LoadMibEveryModule(benchmark::State& state) {
  auto files = ModuleFiles();
  std::string erl = ErlangMibs();
  if (erl.empty() || files.empty()) {
    state.SkipWithError("needs libsnmp-base and the MIBs of erlang-snmp (scripts/setup)");
    return;
  }
  double objects = 0;
  // One catalogue, as the selection dialog keeps one: each load replaces its contents.
  t32::snmp::TMibCatalogue cat;
  cat.ExtraMibFolders = {erl, erl + "/v1"};
  for (auto _ : state) {
    objects = 0;
    for (const auto& f : files) {
      cat.LoadMib(f);
      objects += static_cast<double>(cat.Objects.size());
    }
  }
  state.counters["modules"] = static_cast<double>(files.size());
  state.counters["objects"] = objects;
}
BENCHMARK(BM_LoadMibEveryModule)->Unit(benchmark::kMillisecond)->UseRealTime();

void RunSnmptranslate(benchmark::State& state, bool all) {
  std::string erl = ErlangMibs();
  if (erl.empty() || std::system("snmptranslate -V >/dev/null 2>&1") != 0) {
    state.SkipWithError("needs snmptranslate (scripts/setup)");
    return;
  }
  std::string cmd = all ? "snmptranslate -M " + kSys + ":" + erl + ":" + erl + "/v1 -m ALL -Tz >/dev/null 2>&1"
                        : std::string("snmptranslate -M /nonexistent -m '' -Tz >/dev/null 2>&1");
  for (auto _ : state)
    if (std::system(cmd.c_str()) == -1) state.SkipWithError("cannot run snmptranslate");
}
void BM_SnmptranslateAll(benchmark::State& state) { RunSnmptranslate(state, true); }
void BM_SnmptranslateNoMibs(benchmark::State& state) { RunSnmptranslate(state, false); }
BENCHMARK(BM_SnmptranslateAll)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SnmptranslateNoMibs)->Unit(benchmark::kMillisecond)->UseRealTime();

class RecordingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs)
      if (!r.error_occurred && r.run_type == Run::RT_Iteration) time[r.benchmark_name()] = r.GetAdjustedRealTime();
  }
  std::map<std::string, double> time;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RecordingReporter rep;
  benchmark::RunSpecifiedBenchmarks(&rep);
  benchmark::Shutdown();
  auto get = [&](const char* prefix) {
    for (const auto& [k, v] : rep.time)
      if (k.rfind(prefix, 0) == 0) return v;
    return -1.0;
  };
  double ours = get("BM_LoadMibEveryModule"), all = get("BM_SnmptranslateAll"), none = get("BM_SnmptranslateNoMibs");
  if (ours > 0 && all > 0 && none >= 0 && all > none)
    std::printf("ratio loadmib_every_module/netsnmp_read_all = %.3f (%.2f ms / (%.2f ms - %.2f ms))\n", ours / (all - none), ours,
                all, none);
  return 0;
}
