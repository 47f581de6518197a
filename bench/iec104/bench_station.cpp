// The XML reader against pugixml's load_buffer of the same bytes (a generated 16.7 MB cp1251
// station file of 200,000 items), the import of 12,500 and 25,000 items (about 1 MiB
// serialised), and WriteTo + ReadFrom of the larger station. After the runs it prints
// "ratio <what> = <value>" lines computed from its own measurements.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "iec104/station_xml.h"
#include "model/cp1251.h"
#include "xml/xml.h"

namespace {

// A cp1251 station file: groups of 1000 ТИ items each.
std::string StationFile(int items, bool longNames) {
  std::string x = "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n<WS_IEC_870_5_104 name=\"Подстанция\" ASDUaddr=\"1\">\n"
                  "<BaseChannel LocalIP=\"0.0.0.0\" RemoteIP=\"192.168.1.20\" Port=\"2404\" t1=\"15\" t2=\"10\" t3=\"20\" k=\"12\" w=\"8\"/>\n";
  char line[256];
  for (int i = 0; i < items; ++i) {
    if (i % 1000 == 0) {
      if (i) x += "</Group>\n";
      std::snprintf(line, sizeof line, "<Group name=\"Группа %d\" type=\"TI\" ASDUaddr=\"1\" Baseaddr=\"%d\">\n", i / 1000, i);
      x += line;
    }
    if (longNames)
      std::snprintf(line, sizeof line,
                    "  <Item name=\"Ввод_%06d.Ток фазы A\" address=\"%d\" scale=\"0.0010\" offset=\"0.00\" />\n",
                    i, i % 1000);
    else
      std::snprintf(line, sizeof line, "<Item name=\"Ввод_%06d_Ia\" address=\"%d\" scale=\"0.001\"/>\n", i, i % 1000);
    x += line;
  }
  x += "</Group>\n</WS_IEC_870_5_104>\n";
  return t32::Utf8ToCp1251(x);
}

const std::string& BigFile() {
  static const std::string f = StationFile(200000, true);
  return f;
}

void BM_XmlParse(benchmark::State& state) {
  const std::string& f = BigFile();
  for (auto _ : state) {
    t32::TXMLDocument doc;
    bool ok = doc.Parse(f);
    benchmark::DoNotOptimize(ok);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * f.size()));
  state.counters["size"] = static_cast<double>(f.size());
}

void BM_PugixmlLoadBuffer(benchmark::State& state) {
  const std::string& f = BigFile();
  for (auto _ : state) {
    pugi::xml_document doc;
    pugi::xml_parse_result r = doc.load_buffer(f.data(), f.size());
    benchmark::DoNotOptimize(r.status);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * f.size()));
}

void BM_Import(benchmark::State& state) {
  const std::string f = StationFile(static_cast<int>(state.range(0)), false);
  for (auto _ : state) {
    t32::TWS_104 st;
    t32::TImportResult r = t32::ImportXml(st, f, "bench.xml");
    if (!r.ok) state.SkipWithError(r.error.c_str());
  }
  t32::TWS_104 st;
  t32::ImportXml(st, f, "bench.xml");
  state.counters["serialised"] = static_cast<double>(st.SerialisedSize());
}

void BM_WriteRead(benchmark::State& state) {
  t32::TWS_104 st;
  t32::ImportXml(st, StationFile(25000, false), "bench.xml");
  std::vector<std::uint8_t> buf(st.SerialisedSize());
  for (auto _ : state) {
    t32::TMemStream w(buf.data(), buf.size());
    st.WriteTo(w);
    t32::TWS_104 back;
    t32::TMemStream r(static_cast<const void*>(buf.data()), buf.size());
    if (!back.ReadFrom(r)) state.SkipWithError("read failed");
  }
  state.counters["serialised"] = static_cast<double>(buf.size());
}

BENCHMARK(BM_XmlParse)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PugixmlLoadBuffer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Import)->Arg(12500)->Arg(25000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteRead)->Unit(benchmark::kMillisecond);

// Keeps each run's real time (ms) for the ratios printed at the end.
class RecordingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs)
      if (!r.error_occurred && r.run_type == Run::RT_Iteration) {
        ms[r.benchmark_name()] = r.GetAdjustedRealTime();
        cpu[r.benchmark_name()] = r.GetAdjustedCPUTime();
      }
  }
  std::map<std::string, double> ms, cpu;
};

void PrintRatio(const char* what, const std::map<std::string, double>& m, const std::string& a,
                const std::string& b) {
  const auto x = m.find(a), y = m.find(b);
  if (x == m.end() || y == m.end() || y->second == 0) return;
  std::printf("ratio %s = %.3f\n", what, x->second / y->second);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RecordingReporter rep;
  benchmark::RunSpecifiedBenchmarks(&rep);
  benchmark::Shutdown();
  // Wall-clock figures first, then CPU time (the fairer measure on a busy machine).
  for (const auto* m : {&rep.ms, &rep.cpu}) {
    const char* kind = m == &rep.ms ? "real" : "cpu";
    std::printf("-- %s time\n", kind);
    PrintRatio("xml_parse/pugixml_load_buffer (target <= 2)", *m, "BM_XmlParse", "BM_PugixmlLoadBuffer");
    PrintRatio("import_25000/import_12500 (target <= 2.2)", *m, "BM_Import/25000", "BM_Import/12500");
    if (auto it = m->find("BM_Import/25000"); it != m->end())
      std::printf("import 25000 items: %.2f ms (target < 50)\n", it->second);
    if (auto it = m->find("BM_WriteRead"); it != m->end())
      std::printf("WriteTo + ReadFrom of 25000 items: %.2f ms (target < 10)\n", it->second);
  }
  return 0;
}
