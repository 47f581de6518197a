// Block compression of configuration images against zlib: compressed size and speed of
// Deflate modes 4 and 5 versus zlib level 9, and decoding speed versus zlib's inflate, on a
// generated configuration image and on mixed text and binary data. After the runs it prints the
// ratios ("ratio <what> = <value>") computed from its own measurements, and, where xz and zstd
// are installed, the sizes they reach on the same bytes ("reference <what> = <size>") as a
// measure of how far the bytes can shrink at all (T32_BENCH_NO_REFERENCE=1 skips those).
#include "project/compress.h"

#include <benchmark/benchmark.h>
#include <zlib.h>
#ifdef T32_BENCH_LZMA
#include <lzma.h>
#endif
#ifdef T32_BENCH_ZSTD
#include <zstd.h>
#endif

#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

class Writer {
 public:
  void U8(std::uint32_t v) { b.push_back(static_cast<std::uint8_t>(v)); }
  void U16(std::uint32_t v) {
    U8(v);
    U8(v >> 8);
  }
  void U32(std::uint32_t v) {
    U16(v & 0xFFFF);
    U16(v >> 16);
  }
  void F32(float f) {
    std::uint32_t u;
    std::memcpy(&u, &f, 4);
    U32(u);
  }
  std::size_t Section(std::uint32_t code) {
    const std::size_t at = b.size();
    U16(0xFFF1);
    U16(code);
    U32(8);
    return at;
  }
  void End(std::size_t at) {
    const std::uint32_t len = static_cast<std::uint32_t>(b.size() - at);
    std::memcpy(&b[at + 4], &len, 4);
  }
  void Entry(std::uint32_t key, const void* data, std::size_t n) {
    U16(0xFFF2);
    U16(key);
    U32(static_cast<std::uint32_t>(8 + n));
    const auto* p = static_cast<const std::uint8_t*>(data);
    b.insert(b.end(), p, p + n);
  }
  void EntryU8(std::uint32_t key, std::uint8_t v) { Entry(key, &v, 1); }
  void EntryU16(std::uint32_t key, std::uint16_t v) { Entry(key, &v, 2); }
  void EntryU32(std::uint32_t key, std::uint32_t v) { Entry(key, &v, 4); }
  void EntryF32(std::uint32_t key, float v) { Entry(key, &v, 4); }
  // A 65-byte name field: length byte, cp1251 text, unused rest zero.
  void EntryName(std::uint32_t key, const std::string& cp1251) {
    std::uint8_t field[65] = {};
    field[0] = static_cast<std::uint8_t>(std::min<std::size_t>(cp1251.size(), 64));
    std::memcpy(field + 1, cp1251.data(), field[0]);
    Entry(key, field, sizeof field);
  }
  Bytes b;
};

// A configuration image of several MB: boards with signal tables, ports with devices, each
// row a section with its name, address, scale and limits, as the items write them.
Bytes MakeImage(std::size_t target) {
  std::mt19937 rng(2024);
  Writer w;
  const char* kinds[] = {"DI32", "DO16", "AI8", "TI16", "MTS8"};
  const char* prefixes[] = {"\xCF\xF0", "\xD2\xD1", "\xD2\xC8", "\xD2\xD3", "\xD2\xD0"};  // Пр ТС ТИ ТУ ТР
  int board = 0;
  const std::size_t proc = w.Section(0);
  w.EntryU8(48, 1);
  w.EntryU32(2, 40);
  w.EntryU32(3, 12);
  while (w.b.size() < target) {
    ++board;
    const int kind = static_cast<int>(rng() % 5);
    const std::size_t bs = w.Section(static_cast<std::uint32_t>(60 + kind));
    w.EntryU8(48, 1);
    w.EntryU16(1, static_cast<std::uint16_t>(board));
    w.EntryName(2, std::to_string(board) + "_\xCF\xEB\xE0\xF2\xE0 " + kinds[kind]);  // Плата
    w.EntryU32(5, 9600u * (1u + rng() % 4));
    for (int table = 0; table < 3; ++table) {
      const std::size_t ts = w.Section(200 + static_cast<std::uint32_t>(table));
      w.EntryU8(48, 1);
      w.EntryU8(1, static_cast<std::uint8_t>(table));
      const int rows = 16 + static_cast<int>(rng() % 48);
      for (int r = 0; r < rows; ++r) {
        const std::size_t rs = w.Section(210);
        w.EntryU8(48, 1);
        w.EntryName(1, std::to_string(board) + "_" + kinds[kind] + "." + prefixes[(kind + table) % 5] +
                           std::to_string(r + 1));
        w.EntryU16(2, static_cast<std::uint16_t>(0x2000 + board * 64 + r));
        w.EntryF32(3, rng() % 4 ? 1.0f : static_cast<float>(rng() % 1000) / 100.0f);
        w.EntryF32(4, 0.0f);
        w.EntryF32(5, static_cast<float>(rng() % 100));
        w.EntryU8(6, static_cast<std::uint8_t>(rng() % 3));
        if (rng() % 4 == 0) w.EntryName(7, "\xEF\xEE\xE4\xF1\xF2\xE0\xED\xF6\xE8\xFF " + std::to_string(rng() % 50));
        w.End(rs);
      }
      w.End(ts);
    }
    w.End(bs);
  }
  w.End(proc);
  return w.b;
}

// A few MB of mixed data: INI-like Russian and English text, integer tables, float samples
// and some incompressible blocks.
Bytes MakeMixed(std::size_t target) {
  std::mt19937 rng(77);
  static const char* words[] = {"\xCF\xEE\xF0\xF2", "\xEE\xEF\xF0\xEE\xF1\xE0", "MODBUS", "\xF3\xF1\xF2\xF0\xEE\xE9\xF1\xF2\xE2\xEE",
                                "Address", "Timeout", "=", "[Device]", "\xF1\xE8\xE3\xED\xE0\xEB", "register",
                                "0x0100", "holding", "coil", "\xF1\xE2\xFF\xE7\xFC"};
  Bytes b;
  while (b.size() < target) {
    switch (rng() % 4) {
      case 0: {  // text
        const int n = 200 + static_cast<int>(rng() % 3000);
        for (int i = 0; i < n; ++i) {
          const std::string wd = words[rng() % 14];
          b.insert(b.end(), wd.begin(), wd.end());
          b.push_back(rng() % 8 ? ' ' : '\n');
        }
        break;
      }
      case 1: {  // table of slowly growing 32-bit numbers
        std::uint32_t v = rng() % 1000;
        for (int i = 0; i < 2000; ++i) {
          v += rng() % 16;
          for (int k = 0; k < 4; ++k) b.push_back(static_cast<std::uint8_t>(v >> (8 * k)));
        }
        break;
      }
      case 2: {  // float samples
        for (int i = 0; i < 1500; ++i) {
          const float f = static_cast<float>(i % 100) * 0.25f + static_cast<float>(rng() % 4);
          std::uint8_t x[4];
          std::memcpy(x, &f, 4);
          b.insert(b.end(), x, x + 4);
        }
        break;
      }
      default: {  // incompressible
        const int n = 1000 + static_cast<int>(rng() % 6000);
        for (int i = 0; i < n; ++i) b.push_back(static_cast<std::uint8_t>(rng()));
      }
    }
  }
  b.resize(target);
  return b;
}

const Bytes& Input(int which) {
  static const Bytes image = MakeImage(8u << 20);
  static const Bytes mixed = MakeMixed(4u << 20);
  return which == 0 ? image : mixed;
}
const char* InputName(int which) { return which == 0 ? "image" : "mixed"; }

Bytes OurPacked(int which) {
  Bytes out;
  t32::Deflate(Input(which).data(), Input(which).size(), 4, out, nullptr);
  return out;
}
Bytes ZlibPacked(int which) {
  const Bytes& in = Input(which);
  uLongf n = compressBound(in.size());
  Bytes out(n);
  compress2(out.data(), &n, in.data(), in.size(), 9);
  out.resize(n);
  return out;
}

void BM_Deflate(benchmark::State& state, int mode) {
  const int which = static_cast<int>(state.range(0));
  const Bytes& in = Input(which);
  Bytes out;
  for (auto _ : state) {
    t32::Deflate(in.data(), in.size(), mode, out, nullptr);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * in.size()));
  state.counters["size"] = static_cast<double>(out.size());
  state.SetLabel(InputName(which));
}

void BM_Zlib9(benchmark::State& state) {
  const int which = static_cast<int>(state.range(0));
  const Bytes& in = Input(which);
  Bytes out(compressBound(in.size()));
  uLongf n = 0;
  for (auto _ : state) {
    n = out.size();
    compress2(out.data(), &n, in.data(), in.size(), 9);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * in.size()));
  state.counters["size"] = static_cast<double>(n);
  state.SetLabel(InputName(which));
}

void BM_Inflate(benchmark::State& state) {
  const int which = static_cast<int>(state.range(0));
  const Bytes& in = Input(which);
  const Bytes packed = OurPacked(which);
  Bytes out(in.size());
  for (auto _ : state) {
    std::size_t produced = 0;
    if (!t32::InflateInto(packed.data(), packed.size(), out.data(), out.size(), &produced, nullptr))
      state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(out.data());
  }
  if (out != in) state.SkipWithError("round trip differs");
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * in.size()));
  state.SetLabel(InputName(which));
}

void BM_ZlibInflate(benchmark::State& state) {
  const int which = static_cast<int>(state.range(0));
  const Bytes& in = Input(which);
  const Bytes packed = ZlibPacked(which);
  Bytes out(in.size());
  for (auto _ : state) {
    uLongf n = out.size();
    if (uncompress(out.data(), &n, packed.data(), packed.size()) != Z_OK) state.SkipWithError("zlib failed");
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * in.size()));
  state.SetLabel(InputName(which));
}

void BM_Deflate4(benchmark::State& state) { BM_Deflate(state, 4); }
void BM_Deflate5(benchmark::State& state) { BM_Deflate(state, t32::kStrongestMode); }

// Mode 5 searches in a second thread: its speed is what the engineer waits (wall time), and
// the CPU column counts both threads, so the work it costs stays visible beside it.
BENCHMARK(BM_Deflate4)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(BM_Deflate5)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime()->MinTime(2.0);
BENCHMARK(BM_Zlib9)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime()->MinTime(2.0);
BENCHMARK(BM_Inflate)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibInflate)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Keeps each run's speed and size for the ratios printed at the end.
class RecordingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      if (r.error_occurred || r.run_type != Run::RT_Iteration) continue;
      // Keyed by function and argument: the time options add to the full name.
      const std::string name = r.run_name.function_name + "/" + r.run_name.args;
      if (auto it = r.counters.find("bytes_per_second"); it != r.counters.end()) speed[name] = it->second.value;
      if (r.iterations > 0) cpuMs[name] = r.GetAdjustedCPUTime();
      if (auto it = r.counters.find("size"); it != r.counters.end()) size[name] = it->second.value;
    }
  }
  std::map<std::string, double> speed, size, cpuMs;
};

void PrintRatio(const char* what, const std::map<std::string, double>& m, const std::string& a,
                const std::string& b) {
  const auto x = m.find(a), y = m.find(b);
  if (x == m.end() || y == m.end() || y->second == 0) return;
  std::printf("ratio %s = %.3f\n", what, x->second / y->second);
}

// Sizes reached by stronger general-purpose compressors on the same bytes (0 = unavailable).
std::size_t XzSize(const Bytes& in, std::uint32_t preset) {
#ifdef T32_BENCH_LZMA
  Bytes out(lzma_stream_buffer_bound(in.size()));
  std::size_t pos = 0;
  if (lzma_easy_buffer_encode(preset, LZMA_CHECK_CRC32, nullptr, in.data(), in.size(), out.data(), &pos, out.size()) ==
      LZMA_OK)
    return pos;
#else
  (void)in;
  (void)preset;
#endif
  return 0;
}

// zstd -19 with the given window (log2); 27 is what "--long" selects.
std::size_t ZstdSize(const Bytes& in, int windowLog) {
#ifdef T32_BENCH_ZSTD
  ZSTD_CCtx* c = ZSTD_createCCtx();
  ZSTD_CCtx_setParameter(c, ZSTD_c_compressionLevel, 19);
  ZSTD_CCtx_setParameter(c, ZSTD_c_windowLog, windowLog);
  if (windowLog >= 27) ZSTD_CCtx_setParameter(c, ZSTD_c_enableLongDistanceMatching, 1);
  Bytes out(ZSTD_compressBound(in.size()));
  const std::size_t n = ZSTD_compress2(c, out.data(), out.size(), in.data(), in.size());
  ZSTD_freeCCtx(c);
  return ZSTD_isError(n) ? 0 : n;
#else
  (void)in;
  (void)windowLog;
  return 0;
#endif
}

// Growth of the resident set's peak while fn runs, in MB (-1 where the system cannot tell): the
// encoder's tables and buffers and the output it writes.
// Linux resets the peak when "5" is written to /proc/self/clear_refs.
double ReadStatusKb(const char* key) {
  std::FILE* f = std::fopen("/proc/self/status", "r");
  if (!f) return -1;
  char line[256];
  double kb = -1;
  const std::size_t n = std::strlen(key);
  while (std::fgets(line, sizeof line, f))
    if (std::strncmp(line, key, n) == 0) kb = std::atof(line + n);
  std::fclose(f);
  return kb;
}
template <class Fn>
double PeakMemoryMb(Fn fn) {
  std::FILE* f = std::fopen("/proc/self/clear_refs", "w");
  if (!f) return -1;
  std::fputs("5", f);
  std::fclose(f);
  const double before = ReadStatusKb("VmRSS:");
  fn();
  const double peak = ReadStatusKb("VmHWM:");
  return before < 0 || peak < 0 ? -1 : (peak - before) / 1024.0;
}

void PrintReference(const char* what, const std::string& tag, std::size_t size, double zlibSize) {
  if (!size) return;
  std::printf("reference %s %s = %zu (%.3f of zlib -9)\n", what, tag.c_str(), size,
              zlibSize > 0 ? static_cast<double>(size) / zlibSize : 0.0);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  // Memory first, while freed blocks of earlier runs cannot hide the encoder's growth.
  double peakMb[2];
  for (int which = 0; which < 2; ++which) {
    const Bytes& in = Input(which);
    malloc_trim(0);
    peakMb[which] = PeakMemoryMb([&] {
      Bytes out;
      t32::Deflate(in.data(), in.size(), t32::kStrongestMode, out, nullptr);
    });
  }
  RecordingReporter rep;
  benchmark::RunSpecifiedBenchmarks(&rep);
  benchmark::Shutdown();
  for (int which = 0; which < 2; ++which) {
    const std::string arg = "/" + std::to_string(which);
    const std::string tag = InputName(which);
    std::printf("input %s: %zu bytes\n", tag.c_str(), Input(which).size());
    PrintRatio(("deflate4_size/zlib9_size " + tag).c_str(), rep.size, "BM_Deflate4" + arg, "BM_Zlib9" + arg);
    PrintRatio(("deflate4_speed/zlib9_speed " + tag).c_str(), rep.speed, "BM_Deflate4" + arg, "BM_Zlib9" + arg);
    PrintRatio(("deflate5_size/zlib9_size " + tag).c_str(), rep.size, "BM_Deflate5" + arg, "BM_Zlib9" + arg);
    PrintRatio(("deflate5_speed/zlib9_speed " + tag).c_str(), rep.speed, "BM_Deflate5" + arg, "BM_Zlib9" + arg);
    // Work rather than waiting: CPU time of both threads (same bytes, so the inverse ratio).
    PrintRatio(("deflate5_cpu_speed/zlib9_cpu_speed " + tag).c_str(), rep.cpuMs, "BM_Zlib9" + arg, "BM_Deflate5" + arg);
    if (peakMb[which] >= 0) std::printf("memory deflate5 %s = %.1f MB\n", tag.c_str(), peakMb[which]);
    if (std::getenv("T32_BENCH_NO_REFERENCE") == nullptr) {
      const auto z = rep.size.find("BM_Zlib9" + arg);
      const double zlibSize = z == rep.size.end() ? 0.0 : z->second;
      PrintReference("xz -9", tag, XzSize(Input(which), 9), zlibSize);
#ifdef T32_BENCH_LZMA
      PrintReference("xz -9e", tag, XzSize(Input(which), 9 | LZMA_PRESET_EXTREME), zlibSize);
#endif
      PrintReference("zstd -19 --long", tag, ZstdSize(Input(which), 27), zlibSize);
      PrintReference("zstd -19 window 256 KiB", tag, ZstdSize(Input(which), 18), zlibSize);
    }
    PrintRatio(("inflate_speed/zlib_inflate_speed " + tag).c_str(), rep.speed, "BM_Inflate" + arg,
               "BM_ZlibInflate" + arg);
  }
  return 0;
}
