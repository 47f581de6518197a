// Comparing two large configurations that differ in 100 rows, reading both files included:
// N = 60,000 signals (6 x 5,000 source rows and one port passing all of them on) and 2N =
// 120,000 (6 x 8,000 source rows, one port passing all on and one passing half). Ends with
// the time of N (target: under 300 ms) and time(2N) / time(N) (target: at most 2.2).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>

#include "model/document.h"
#include "model/messages.h"
#include "model/storage.h"
#include "project/cfgfile.h"
#include "review/diff.h"
#include "signal_holders.h"

using namespace t32;
using namespace t32test;

namespace {

TItemFactory& Factory() {
  static TItemFactory f = HolderFactory();
  return f;
}

// Writes the configuration, and the same with 100 source rows renamed, into two files.
struct TPair {
  std::string a, b;
  std::size_t signals = 0;
  TPair(int perType, int halfPorts) {
    std::string base = "/tmp/bench_diff." + std::to_string(::getpid()) + "." + std::to_string(perType);
    a = base + ".a.cfg";
    b = base + ".b.cfg";
    for (int side = 0; side < 2; ++side) {
      TRecordedMessages m;
      TDocument doc(&m, &Factory());
      TNode* src = doc.Tree().Add(doc.ProcNode(), std::make_unique<TSourceHolder>());
      auto* s = static_cast<TSourceHolder*>(src->Item());
      auto n = static_cast<std::uint16_t>(perType);
      s->SetCounts({0, n, n, n, n, n, n});
      doc.Storage().Rebuild();
      for (int p = 0; p <= halfPorts; ++p) {
        auto holder = std::make_unique<TOutputHolder>();
        holder->number = static_cast<std::uint8_t>(3 + p);  // port numbers are unique
        TNode* out = doc.Tree().Add(doc.ProcNode(), std::move(holder));
        for (int t = 1; t <= 6; ++t) {
          auto& o = static_cast<TOutputHolder*>(out->Item())->Out(t);
          o.AddFromList(doc.Storage().List(t), true);
          if (p > 0)  // a second port passes the first half on
            while (o.Count() > perType / 2) o.RemoveRow(o.Count() - 1);
        }
      }
      doc.Storage().Rebuild();
      if (side == 1)
        for (int k = 0; k < 100; ++k) {
          TParams& t = s->Src(1 + k % 6);
          t.RenameRow((k * 997) % perType, "Переименован " + std::to_string(k));
        }
      signals = 6u * static_cast<std::size_t>(perType) * (halfPorts ? 2.5 : 2);
      if (!SaveConfigFile(doc, side ? b : a, TCpu::Cpu927))
        std::fprintf(stderr, "bench_diff: cannot write %s: %s\n", (side ? b : a).c_str(),
                     m.errors.empty() ? "" : m.errors.back().c_str());
    }
  }
  ~TPair() {
    ::unlink(a.c_str());
    ::unlink(b.c_str());
  }
  std::size_t Run() const {
    TRecordedMessages m;
    TDocument da(&m, &Factory()), db(&m, &Factory());
    TCpu cpu;
    if (!OpenConfigFile(da, a, &cpu) || !OpenConfigFile(db, b, &cpu)) {
      std::fprintf(stderr, "bench_diff: cannot read: %s\n", m.errors.empty() ? "" : m.errors.back().c_str());
      return 0;
    }
    auto list = CompareConfigurations(da, db);
    if (std::getenv("BENCH_DIFF_SHOW")) std::fputs(DifferencesText(list).c_str(), stderr);
    return list.size();
  }
};

TPair& Fixture(bool twice) {
  static std::unique_ptr<TPair> n, n2;
  auto& slot = twice ? n2 : n;
  if (!slot) slot = twice ? std::make_unique<TPair>(8000, 1) : std::make_unique<TPair>(5000, 0);
  return *slot;
}

void BM_DiffFiles(benchmark::State& state) {
  TPair& p = Fixture(state.range(0) != 0);
  std::size_t found = 0;
  for (auto _ : state) found = p.Run();
  state.counters["signals"] = static_cast<double>(p.signals);
  state.counters["differences"] = static_cast<double>(found);
}
BENCHMARK(BM_DiffFiles)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Best of several runs in process CPU time: the machine is shared.
double CpuMs() {
  timespec ts;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

template <class Fn>
double BestMs(Fn fn, int runs = 7) {
  double best = 1e30;
  for (int i = 0; i < runs; ++i) {
    double t0 = CpuMs();
    fn();
    best = std::min(best, CpuMs() - t0);
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  TPair& n = Fixture(false);
  TPair& n2 = Fixture(true);
  std::size_t d1 = 0, d2 = 0;
  double t1 = BestMs([&] { d1 = n.Run(); });
  double t2 = BestMs([&] { d2 = n2.Run(); });
  std::printf("\nDiff of two files differing in 100 rows, reading both included\n");
  std::printf("N = %zu signals: %.1f ms (%zu differences; target under 300 ms)\n", n.signals, t1, d1);
  std::printf("2N = %zu signals: %.1f ms (%zu differences)\n", n2.signals, t2, d2);
  std::printf("ratio time(2N)/time(N) = %.2f (target: at most 2.2)\n", t2 / t1);
  return 0;
}
