// Building and reading a large configuration file: 14 boards, a port producing ~48,000 signals
// and a port passing all of them on (six output tables of 8,000 rows), several MB of records.
// Target: BuildImage + ParseImage under 200 ms. The anchor is a plain copy of the same number
// of bytes (memcpy), measured in the same run, so the ratio shows the cost per byte.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstring>

#include "model/boards.h"
#include "model/document.h"
#include "model/messages.h"
#include "model/storage.h"
#include "project/cfgfile.h"
#include "signal_holders.h"

using namespace t32;
using namespace t32test;

namespace {

struct Large {
  TItemFactory factory = HolderFactory();
  TRecordedMessages msgs;
  TDocument doc{&msgs, &factory};
  Large() {
    TNode* root = doc.Tree().Root();
    const int codes[] = {4, 5, 15, 7, 9, 1, 3};
    for (int i = 0; i < 14; ++i) {
      TNode* n = doc.Tree().Add(root, factory.Make(codes[i % 7], TItemPlace::Board));
      static_cast<TBlock*>(n->Item())->SetAddress(i);
    }
    TNode* src = doc.Tree().Add(doc.ProcNode(), std::make_unique<TSourceHolder>());
    static_cast<TSourceHolder*>(src->Item())->SetCounts({0, 7600, 7600, 7600, 7600, 7600, 7600});
    TNode* out = doc.Tree().Add(doc.ProcNode(), std::make_unique<TOutputHolder>());
    doc.Storage().Rebuild();
    for (int t = 1; t <= 6; ++t)
      static_cast<TOutputHolder*>(out->Item())->Out(t).AddFromList(doc.Storage().List(t), true);
    doc.Storage().Rebuild();
  }
};

Large& Shared() {
  static Large l;
  return l;
}

std::vector<std::uint8_t> Build(TCpu cpu, int minor) {
  TBuildOptions o;
  o.cpu = cpu;
  o.minorVersion = minor;
  o.fileName = "bench.cfg";
  std::vector<std::uint8_t> img;
  BuildImage(Shared().doc, o, img);
  return img;
}

void BM_BuildAndParse(benchmark::State& state) {
  TCpu cpu = state.range(0) ? TCpu::Cpu927 : TCpu::Cpu6358;
  int minor = static_cast<int>(state.range(1));
  std::size_t bytes = 0;
  for (auto _ : state) {
    auto img = Build(cpu, minor);
    bytes = img.size();
    TItemFactory f = HolderFactory();
    TRecordedMessages m;
    TDocument d(&m, &f);
    TCpu got = cpu;
    if (!ParseImage(d, std::move(img), minor > 0, &got)) state.SkipWithError("parse failed");
  }
  state.counters["file_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_BuildAndParse)->Args({0, 0})->Args({1, 0})->Args({1, 16})->Unit(benchmark::kMillisecond);

void BM_AnchorCopy(benchmark::State& state) {
  auto img = Build(TCpu::Cpu6358, 0);
  std::vector<std::uint8_t> dst(img.size());
  for (auto _ : state) {
    std::memcpy(dst.data(), img.data(), img.size());
    benchmark::DoNotOptimize(dst.data());
  }
}
BENCHMARK(BM_AnchorCopy)->Unit(benchmark::kMillisecond);

double BestMs(const std::function<void()>& fn, int reps = 5) {
  double best = 1e18;
  for (int i = 0; i < reps; ++i) {
    auto t0 = std::chrono::steady_clock::now();
    fn();
    best = std::min(best, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  // Summary: best of five, wall time.
  Large& l = Shared();
  int signals = 0;
  for (int t = 1; t <= 6; ++t) signals += l.doc.Storage().List(t).Count();
  auto img = Build(TCpu::Cpu927, 0);
  auto roundTrip = [&](TCpu cpu, int minor) {
    return BestMs([&] {
      auto b = Build(cpu, minor);
      TItemFactory f = HolderFactory();
      TDocument d(nullptr, &f);
      TCpu got = cpu;
      ParseImage(d, std::move(b), minor > 0, &got);
    });
  };
  double copy = BestMs([&] {
    std::vector<std::uint8_t> dst(img);
    benchmark::DoNotOptimize(dst.data());
  });
  double t5 = roundTrip(TCpu::Cpu6358, 0), t7 = roundTrip(TCpu::Cpu927, 0), t9 = roundTrip(TCpu::Cpu927, 16);
  std::printf("configuration: %d signals in storage, file %zu bytes (type 7)\n", signals, img.size());
  std::printf("BuildImage+ParseImage type 5: %.1f ms, type 7: %.1f ms, type 9: %.1f ms (target < 200 ms)\n", t5, t7, t9);
  std::printf("ratio build+parse(type 7) / copy of the file (anchor %.3f ms) = %.0f\n", copy, t7 / copy);
  return 0;
}
