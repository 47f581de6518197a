// The KP polling port at scale: 32 "Сириус" stations of 240 ТС rows and 30 groups of "ТИ_11"
// (240 ТИ rows) each. Renumbering the port (every station re-prefixed, the port rebuilt once)
// against its anchor in the same run: each station rebuilt once and the storage once.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "model/document.h"
#include "model/messages.h"
#include "model/storage.h"
#include "ports/port_kp.h"
#include "ports/port_menu.h"
#include "ports/register.h"

using namespace t32;

namespace {

struct TBigKP {
  TRecordedMessages msgs;
  TDocument doc{&msgs, &PortsFactory()};
  TPortKP* port = nullptr;
  TBigKP() {
    port = static_cast<TPortKP*>(AddPortFromMenu(doc, 112)->Item());
    std::vector<int> groups;
    for (int g = 1; g <= 30; ++g) groups.push_back(g);
    for (int i = 0; i < 32; ++i) {
      TKP* k = port->AddStation();
      k->number = static_cast<std::uint8_t>(i + 1);
      k->protocol = TKP::kSirius;
      k->SetCount(kSigTS, 240);
      k->SetGroupType(groups, 1);
      k->UpdateStatusTable();
    }
    doc.AfterEdit();
  }
};

void BM_KPRenumber32Stations(benchmark::State& state) {
  TBigKP b;
  int n = 2;
  for (auto _ : state) {
    b.port->SetPortNumber(n);
    n = n == 2 ? 3 : 2;
  }
}
BENCHMARK(BM_KPRenumber32Stations)->Unit(benchmark::kMillisecond);

// The anchor: each station rebuilt once under a suspended port, then the port (and with it
// the storage) once.
void BM_KPRebuildEachStationOnce(benchmark::State& state) {
  TBigKP b;
  int n = 2;
  for (auto _ : state) {
    b.port->number = static_cast<std::uint8_t>(n);
    n = n == 2 ? 3 : 2;
    {
      TRebuildSuspension hold(b.port);
      for (TPolledDevice* d : b.port->Devices()) {
        d->portName = b.port->PortName();
        d->UpdateStatusTable();
      }
    }
  }
}
BENCHMARK(BM_KPRebuildEachStationOnce)->Unit(benchmark::kMillisecond);

class RecordingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs)
      if (!r.error_occurred && r.run_type == Run::RT_Iteration) cpu[r.benchmark_name()] = r.GetAdjustedCPUTime();
  }
  std::map<std::string, double> cpu;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RecordingReporter rep;
  benchmark::RunSpecifiedBenchmarks(&rep);
  benchmark::Shutdown();
  const auto a = rep.cpu.find("BM_KPRenumber32Stations"), b = rep.cpu.find("BM_KPRebuildEachStationOnce");
  if (a != rep.cpu.end() && b != rep.cpu.end() && b->second > 0)
    std::printf("ratio renumber/rebuild_each_once (target <= 1.5) = %.3f\n", a->second / b->second);
  return 0;
}
