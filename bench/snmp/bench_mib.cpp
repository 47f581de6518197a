// LoadMib on every module of Debian's two MIB folders in turn (libsnmp-base and the IETF
// modules of erlang-snmp), imports included, against Net-SNMP reading both folders once:
// snmptranslate -m ALL -Tz, less a run of snmptranslate that loads no MIB (process start-up).
// Both sides are CPU time (the machine may be busy with other work).
// After the runs it prints "ratio loadmib_every_module/netsnmp_read_all = <value>".
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

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
BENCHMARK(BM_LoadMibEveryModule)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// One run of snmptranslate; its CPU time (user + system, from wait4) is the iteration's time,
// so that other load on the machine does not count on either side.
double SnmptranslateCpu(const std::vector<std::string>& args) {
  pid_t pid = ::fork();
  if (pid == 0) {
    int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1);
    ::dup2(null, 2);
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
  }
  int status = 0;
  rusage ru{};
  if (pid < 0 || ::wait4(pid, &status, 0, &ru) != pid || !WIFEXITED(status) || WEXITSTATUS(status) == 127) return -1;
  return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) + double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

void RunSnmptranslate(benchmark::State& state, bool all) {
  std::string erl = ErlangMibs();
  std::vector<std::string> args = all ? std::vector<std::string>{"snmptranslate", "-M", kSys + ":" + erl + ":" + erl + "/v1", "-m", "ALL", "-Tz"}
                                      : std::vector<std::string>{"snmptranslate", "-M", "/nonexistent", "-m", "", "-Tz"};
  if (erl.empty() || SnmptranslateCpu(args) < 0) {
    state.SkipWithError("needs snmptranslate and the MIBs (scripts/setup)");
    return;
  }
  for (auto _ : state) state.SetIterationTime(SnmptranslateCpu(args));
}
void BM_SnmptranslateAll(benchmark::State& state) { RunSnmptranslate(state, true); }
void BM_SnmptranslateNoMibs(benchmark::State& state) { RunSnmptranslate(state, false); }
BENCHMARK(BM_SnmptranslateAll)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(1.0);
BENCHMARK(BM_SnmptranslateNoMibs)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(1.0);

class RecordingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs)
      if (!r.error_occurred && r.run_type == Run::RT_Iteration)
        time[r.benchmark_name()] = r.benchmark_name().find("manual_time") != std::string::npos ? r.GetAdjustedRealTime()
                                                                                                 : r.GetAdjustedCPUTime();
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
