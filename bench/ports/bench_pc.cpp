// The workstation's XML export at scale: 6 x 4096 and 6 x 8192 rows whose names nest two groups
// deep, and a few alarm-log rows. Ends with time(2N) / time(N), near 2 while the export stays
// linear.
#include <benchmark/benchmark.h>

#include "bench_clock.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>

#include "model/document.h"
#include "model/messages.h"
#include "model/params.h"
#include "model/port_ip.h"
#include "ports/port_pc.h"
#include "ports/register.h"

using namespace t32;

namespace {

struct TBigPC {
  TRecordedMessages msgs;
  TDocument doc{&msgs, &PortsFactory()};
  TPC* pc = nullptr;
  std::string path;

  explicit TBigPC(int perType) {
    doc.PortIP()->AddChildren(0);
    pc = static_cast<TPC*>(doc.PortIP()->Workstations().front());
    for (int t = 1; t <= 6; ++t) {
      TParams* tab = pc->Table(t);
      for (int i = 0; i < perType; ++i) {
        auto p = tab->NewParam();
        if (t == kSigMTS && i % 512 == 0)
          p->SetName(std::to_string(i / 512 + 1) + "_Порт.1_Устр.Журнал Аварий");
        else if (i % 97 != 5)  // now and then an empty row
          p->SetName(std::to_string(i / 1024 + 1) + "_Порт КП.Ячейка " + std::to_string(i / 64) + ".Сигнал " +
                     std::to_string(i));
        tab->Append(p);
      }
    }
    path = "/tmp/bench_pc." + std::to_string(::getpid()) + "." + std::to_string(perType) + ".xml";
  }
  ~TBigPC() { ::unlink(path.c_str()); }
  bool Export() const {
    std::string err;
    return pc->ExportXml(path, &err);
  }
};

TBigPC& Fixture(int perType) {
  static std::unique_ptr<TBigPC> n, n2;
  auto& slot = perType == 4096 ? n : n2;
  if (!slot) slot = std::make_unique<TBigPC>(perType);
  return *slot;
}

void BM_WorkstationXml(benchmark::State& state) {
  TBigPC& b = Fixture(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(b.pc->WorkstationXml());
  state.counters["rows"] = 6 * static_cast<double>(state.range(0));
}
BENCHMARK(BM_WorkstationXml)->Arg(4096)->Arg(8192)->Unit(benchmark::kMillisecond);

void BM_WorkstationXmlExport(benchmark::State& state) {
  TBigPC& b = Fixture(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(b.Export());
  state.counters["rows"] = 6 * static_cast<double>(state.range(0));
}
BENCHMARK(BM_WorkstationXmlExport)->Arg(4096)->Arg(8192)->Unit(benchmark::kMillisecond);

}  // namespace

using t32::bench::BestMs;

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  TBigPC& n = Fixture(4096);
  TBigPC& n2 = Fixture(8192);
  double t1 = BestMs([&] { benchmark::DoNotOptimize(n.pc->WorkstationXml()); });
  double t2 = BestMs([&] { benchmark::DoNotOptimize(n2.pc->WorkstationXml()); });
  double e1 = BestMs([&] { n.Export(); });
  double e2 = BestMs([&] { n2.Export(); });
  std::printf("\nWorkstation XML, names two groups deep; rows 6 x 4096 = N, 6 x 8192 = 2N\n");
  std::printf("XML text: N %.2f ms, 2N %.2f ms, ratio time(2N)/time(N) = %.2f (target: 2N under 100 ms, ratio <= 2.2)\n",
              t1, t2, t2 / t1);
  std::printf("XML export (text and safe write): N %.2f ms, 2N %.2f ms, ratio time(2N)/time(N) = %.2f\n", e1, e2,
              e2 / e1);
  return 0;
}
