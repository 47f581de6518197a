// IEC 104 polling devices at scale: rebuilding one device's signals from 4 groups of N ticked
// objects each (ТС, ТУ, ТИ, МТС), with every path given twice so that half the names take
// "_повтор"; and opening 20 devices of 3,000 objects, 1,600 of them ticked. Ends with the ratio
// rebuild(4 x 4,000) / rebuild(4 x 2,000), which stays near 2 when the rebuild is linear.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <string>

#include "model/document.h"
#include "model/messages.h"
#include "model/params.h"
#include "ports/port_menu.h"
#include "ports/port_rtu104.h"
#include "ports/register.h"

using namespace t32;

namespace {

void Fill(TRTU104& dev, int perGroup, int ticked) {
  TWS_104& st = dev.Station();
  for (std::int32_t kind : {kKindTS, kKindTU1, kKindTI, kKindMTS}) {
    auto g = std::make_unique<TGroup>();
    g->name = std::string("Группа_") + KindShortName(kind);
    g->record.kind = kind;
    TGroup* grp = st.AppendGroup(st, std::move(g));
    for (int i = 0; i < perGroup; ++i) {
      auto o = CreateObject(kind, "Объект." + std::to_string(i / 2));
      o->address = i;
      o->tick = i < ticked ? 1 : 0;
      grp->AddObject(std::move(o));
    }
  }
  dev.StationEdited();
}

struct TDoc {
  TRecordedMessages msgs;
  TDocument d{&msgs, &PortsFactory()};
  TPortRTU104* port = nullptr;
  TDoc(int devices, int perGroup, int ticked) {
    port = static_cast<TPortRTU104*>(AddPortFromMenu(d, 128)->Item());
    for (int i = 0; i < devices; ++i)
      if (TRTU104* dev = port->AddDevice()) {
        dev->SetIp(0xC0A80100u + static_cast<unsigned>(i + 1));
        Fill(*dev, perGroup, ticked);
      }
  }
};

double RebuildSeconds(int perGroup) {
  TDoc doc(1, perGroup, perGroup);
  auto* dev = static_cast<TRTU104*>(doc.port->Devices()[0]);
  double best = 1e9;
  for (int i = 0; i < 5; ++i) {
    std::clock_t t0 = std::clock();
    dev->UpdateStatusTable();
    best = std::min(best, static_cast<double>(std::clock() - t0) / CLOCKS_PER_SEC);
  }
  return best;
}

void BM_Rebuild(benchmark::State& st) {
  TDoc doc(1, static_cast<int>(st.range(0)), static_cast<int>(st.range(0)));
  auto* dev = static_cast<TRTU104*>(doc.port->Devices()[0]);
  for (auto _ : st) dev->UpdateStatusTable();
}
BENCHMARK(BM_Rebuild)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond);

double OpenSeconds() {
  // 20 devices, 4 groups of 750 objects (3,000), 400 of each group ticked (1,600).
  TDoc doc(20, 750, 400);
  std::int32_t end = doc.d.WriteRecords();
  std::vector<std::uint8_t> img(doc.d.Config().Image().begin(), doc.d.Config().Image().begin() + end);
  TRecordedMessages msgs;
  TDocument again(&msgs, &PortsFactory());
  again.Config().SetImage(img);
  // Processor time: the build machine is shared, wall time would measure the neighbours.
  std::clock_t t0 = std::clock();
  again.ReadRecords(false);
  return static_cast<double>(std::clock() - t0) / CLOCKS_PER_SEC;
}

void BM_Open(benchmark::State& st) {
  for (auto _ : st) st.SetIterationTime(OpenSeconds());
}
BENCHMARK(BM_Open)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  double n = 1e9, n2 = 1e9;
  for (int i = 0; i < 3; ++i) {
    n = std::min(n, RebuildSeconds(2000));
    n2 = std::min(n2, RebuildSeconds(4000));
  }
  std::printf("rebuild 4 x 4000 / 4 x 2000: %.2f (linear: 2)\n", n2 / n);
  benchmark::Shutdown();
  return 0;
}
