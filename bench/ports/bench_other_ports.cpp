// Renumbering a UNIO port with 200 МДС-24 modules (every module's table re-prefixed, one
// storage rebuild) and "Установить" with 8192 two-position ТС records (records, table and one
// storage rebuild). The "rebuilds" counter is the number of storage rebuilds per operation.
#include <benchmark/benchmark.h>

#include "model/document.h"
#include "model/messages.h"
#include "model/params.h"
#include "model/storage.h"
#include "ports/port_menu.h"
#include "ports/port_twopos.h"
#include "ports/port_unio.h"
#include "ports/register.h"

using namespace t32;

static void BM_UnioRenumber200Modules(benchmark::State& state) {
  TRecordedMessages msgs;
  TDocument doc(&msgs, &PortsFactory());
  auto* p = static_cast<TPortUnio*>(AddPortFromMenu(doc, 125)->Item());
  for (int i = 0; i < 200; ++i) p->AddModule(221);
  long rebuilds = 0;
  doc.Storage().onRefresh = [&] { ++rebuilds; };
  int n = 2;
  for (auto _ : state) {
    p->ChangeNumber(n);
    n = n == 2 ? 3 : 2;
  }
  state.counters["rebuilds"] = benchmark::Counter(static_cast<double>(rebuilds), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_UnioRenumber200Modules)->Unit(benchmark::kMillisecond);

static void BM_TwoPosSet8192(benchmark::State& state) {
  TRecordedMessages msgs;
  TDocument doc(&msgs, &PortsFactory());
  auto* p = static_cast<TPortTwoPos*>(AddPortFromMenu(doc, 132)->Item());
  long rebuilds = 0;
  for (auto _ : state) {
    state.PauseTiming();
    p->Apply(0);
    doc.Storage().onRefresh = [&] { ++rebuilds; };
    state.ResumeTiming();
    p->Apply(kMaxRows);
    state.PauseTiming();
    doc.Storage().onRefresh = nullptr;
    state.ResumeTiming();
  }
  state.counters["rebuilds"] = benchmark::Counter(static_cast<double>(rebuilds), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_TwoPosSet8192)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
