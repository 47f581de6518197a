// The control-station port at scale: the protocol address texts of every output row and the
// INI export of a "Сириус" port whose ТИ rows have mixed widths, with 6 x 4096 and 6 x 8192
// rows. Ends with the ratios time(2N) / time(N), which stay near 2 when the work is linear (a
// ТИ walk from row 0 for every row would give 4).
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
#include "ports/port_menu.h"
#include "ports/port_pu.h"
#include "ports/register.h"

using namespace t32;

namespace {

struct TBigPU {
  TRecordedMessages msgs;
  TDocument doc{&msgs, &PortsFactory()};
  TPortPU* pu = nullptr;
  std::string path;

  explicit TBigPU(int perType) {
    pu = static_cast<TPortPU*>(AddPortFromMenu(doc, 101)->Item());
    pu->SetProtocol(TPortPU::kSirius);
    const std::uint8_t widths[] = {2, 4, 2, 8, 2, 2, 4, 6};  // ends of groups miss now and then
    for (int t = 1; t <= 6; ++t) {
      TParams* tab = pu->Table(t);
      for (int i = 0; i < perType; ++i) {
        auto p = tab->NewParam();
        if (t == kSigTI) p->valueWidth = widths[i % 8];
        p->SetName("5_Порт КП.Ячейка " + std::to_string(i / 64) + ".Сигнал " + std::to_string(i));
        tab->Append(p);
      }
    }
    path = "/tmp/bench_port_pu." + std::to_string(::getpid()) + "." + std::to_string(perType) + ".ini";
  }
  ~TBigPU() { ::unlink(path.c_str()); }
  std::size_t AllAddresses() const {
    std::size_t n = 0;
    for (int t = 1; t <= 6; ++t) n += pu->SignalAddressTexts(t, pu->Table(t)->Count()).size();
    return n;
  }
  bool Export() const {
    std::string err;
    return pu->ExportIni(path, &err);
  }
};

TBigPU& Fixture(int perType) {
  static std::unique_ptr<TBigPU> n, n2;
  auto& slot = perType == 4096 ? n : n2;
  if (!slot) slot = std::make_unique<TBigPU>(perType);
  return *slot;
}

void BM_AddressTexts(benchmark::State& state) {
  TBigPU& b = Fixture(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(b.AllAddresses());
  state.counters["rows"] = 6 * static_cast<double>(state.range(0));
}
BENCHMARK(BM_AddressTexts)->Arg(4096)->Arg(8192)->Unit(benchmark::kMillisecond);

void BM_IniExport(benchmark::State& state) {
  TBigPU& b = Fixture(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(b.Export());
  state.counters["rows"] = 6 * static_cast<double>(state.range(0));
}
BENCHMARK(BM_IniExport)->Arg(4096)->Arg(8192)->Unit(benchmark::kMillisecond);

}  // namespace

using t32::bench::BestMs;

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  TBigPU& n = Fixture(4096);
  TBigPU& n2 = Fixture(8192);
  double a1 = BestMs([&] { n.AllAddresses(); });
  double a2 = BestMs([&] { n2.AllAddresses(); });
  double t1 = BestMs([&] { benchmark::DoNotOptimize(n.pu->IniText()); });
  double t2 = BestMs([&] { benchmark::DoNotOptimize(n2.pu->IniText()); });
  double e1 = BestMs([&] { n.Export(); });
  double e2 = BestMs([&] { n2.Export(); });
  std::printf("\n\"Сириус\" port, mixed ТИ widths; rows 6 x 4096 = N, 6 x 8192 = 2N\n");
  std::printf("Address texts of all rows: N %.2f ms, 2N %.2f ms, ratio time(2N)/time(N) = %.2f\n", a1, a2, a2 / a1);
  std::printf("INI text: N %.2f ms, 2N %.2f ms, ratio time(2N)/time(N) = %.2f\n", t1, t2, t2 / t1);
  std::printf("INI export (text and safe write): N %.2f ms, 2N %.2f ms, ratio time(2N)/time(N) = %.2f\n", e1, e2,
              e2 / e1);
  return 0;
}
