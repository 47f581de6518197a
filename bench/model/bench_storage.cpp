// Signal storage at scale: a rebuild with relinking of full output tables, and the resolution
// of output rows by name after a load, at N and 2N source rows. Ends with the ratios
// time(2N) / time(N), which stay near 2 when the work is linear.
#include <benchmark/benchmark.h>

#include "bench_clock.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>

#include "../tests/model/signal_holders.h"
#include "model/boards.h"
#include "model/document.h"
#include "model/messages.h"

using namespace t32;
using namespace t32test;

namespace {

// perType rows of each of the six types: a quarter of the ТС rows on DI32 boards, the rest in
// source tables of ports; one port whose six output tables hold every storage row.
struct TBig {
  TItemFactory factory = HolderFactory();
  TRecordedMessages msgs;
  TDocument doc{&msgs, &factory};
  TOutputHolder* out = nullptr;
  std::vector<std::int32_t> outSections;  // output table sections in the written image

  explicit TBig(int perType) {
    TStorage& st = doc.Storage();
    st.Enable(false);
    int boards = perType / 4 / 32;
    for (int i = 0; i < boards; ++i)
      static_cast<TDI32*>(doc.Tree().Add(doc.Tree().Root(), std::make_unique<TDI32>())->Item())->SetAddress(i % 15);
    auto* src = static_cast<TSourceHolder*>(doc.Tree().Add(doc.ProcNode(), std::make_unique<TSourceHolder>())->Item());
    std::array<std::uint16_t, 7> counts{};
    for (int t = 1; t <= 6; ++t) counts[static_cast<std::size_t>(t)] = static_cast<std::uint16_t>(perType);
    counts[kSigTS] = static_cast<std::uint16_t>(perType - boards * 32);
    src->SetCounts(counts);
    out = static_cast<TOutputHolder*>(doc.Tree().Add(doc.ProcNode(), std::make_unique<TOutputHolder>())->Item());
    st.Enable(true);
    st.Rebuild();
    for (int t = 1; t <= 6; ++t) out->Out(t).AddFromList(st.List(t), true);
    st.Rebuild();
    doc.WriteRecords();
    std::int32_t at = static_cast<std::int32_t>(FindSectionCode(doc.Config().Image(), 150));
    for (int t = 1; t <= 6; ++t) {
      at = static_cast<std::int32_t>(FindSectionCode(doc.Config().Image(), SignalTypeInfo(t).sectionCode, at + 8));
      outSections.push_back(at);
    }
  }
  int SourceRows() const {
    int n = 0;
    for (int t = 1; t <= 6; ++t) n += const_cast<TDocument&>(doc).Storage().List(t).Count();
    return n;
  }
  // Puts every output table back into its just-read state (rows by name, pending).
  void Reload() {
    for (int t = 1; t <= 6; ++t) {
      doc.Config().Pos = outSections[static_cast<std::size_t>(t - 1)];
      out->Out(t).LoadFromImage(doc.Config());
    }
  }
  void Resolve() {
    for (int t = 1; t <= 6; ++t) out->Out(t).ResolveReferences();
  }
};

TBig& Fixture(int perType) {
  static std::unique_ptr<TBig> n, n2;
  auto& slot = perType == 4096 ? n : n2;
  if (!slot) slot = std::make_unique<TBig>(perType);
  return *slot;
}

void BM_Rebuild(benchmark::State& state) {
  TBig& b = Fixture(static_cast<int>(state.range(0)));
  for (auto _ : state) b.doc.Storage().Rebuild();
  state.counters["source_rows"] = b.SourceRows();
}
BENCHMARK(BM_Rebuild)->Arg(4096)->Arg(8192)->Unit(benchmark::kMillisecond);

void BM_ResolveAfterLoad(benchmark::State& state) {
  TBig& b = Fixture(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    b.Reload();
    state.ResumeTiming();
    b.Resolve();
  }
  state.counters["output_rows"] = 6 * static_cast<double>(state.range(0));
}
BENCHMARK(BM_ResolveAfterLoad)->Arg(4096)->Arg(8192)->Unit(benchmark::kMillisecond);

void BM_ReadWholeImage(benchmark::State& state) {
  TBig& b = Fixture(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    TDocument d(nullptr, &b.factory);
    d.Config().SetImage(b.doc.Config().Image());
    d.ReadRecords(false);
    benchmark::DoNotOptimize(d.Storage().List(kSigTS).Count());
  }
}
BENCHMARK(BM_ReadWholeImage)->Arg(4096)->Arg(8192)->Unit(benchmark::kMillisecond);

}  // namespace

using t32::bench::BestMs;

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  TBig& n = Fixture(4096);
  TBig& n2 = Fixture(8192);
  double r1 = BestMs([&] { n.doc.Storage().Rebuild(); }, 31);
  double r2 = BestMs([&] { n2.doc.Storage().Rebuild(); }, 31);
  // A rebuild whose lists must be refilled (after a load, a move or a renumbering).
  double f1 = BestMs([&] { n.doc.Storage().Clear(); n.doc.Storage().Rebuild(); }, 31);
  double f2 = BestMs([&] { n2.doc.Storage().Clear(); n2.doc.Storage().Rebuild(); }, 31);
  double s1 = 1e30, s2 = 1e30;
  for (int i = 0; i < 15; ++i) {
    n.Reload();
    s1 = std::min(s1, BestMs([&] { n.Resolve(); }, 1));
    n2.Reload();
    s2 = std::min(s2, BestMs([&] { n2.Resolve(); }, 1));
  }
  std::printf("\nsource rows N = %d, 2N = %d; output rows %d and %d\n", n.SourceRows(), n2.SourceRows(), 6 * 4096,
              6 * 8192);
  std::printf("Rebuild with relinking (unchanged lists): N %.2f ms, 2N %.2f ms, ratio time(2N)/time(N) = %.2f\n", r1, r2, r2 / r1);
  std::printf("Rebuild refilling the lists:  N %.2f ms, 2N %.2f ms, ratio time(2N)/time(N) = %.2f\n", f1, f2, f2 / f1);
  std::printf("ResolveReferences after load: N %.2f ms, 2N %.2f ms, ratio time(2N)/time(N) = %.2f\n", s1, s2, s2 / s1);
  return 0;
}
