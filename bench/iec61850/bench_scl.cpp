// Loading one IED from a generated SCD of about 30 MB (100 IEDs; the chosen one has about
// 20,000 data attributes and 50 data sets) against pugixml's load_buffer of the same bytes
// (the anchor), and saving and loading the resulting device model through the memory stream.
// After the runs it prints "ratio load_scl/pugixml_load_buffer = <value>" (CPU time: the
// machine running it may be shared).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "iec61850/modelstream.h"
#include "iec61850/scl.h"

using namespace t32;

namespace {

constexpr int kIeds = 100;
constexpr int kLnsPerIed = 200;    // 100 attributes each
constexpr int kSetsPerIed = 50;
constexpr int kMembersPerSet = 64;
const char* const kChosen = "IED050";

std::string IedName(int i) {
  char b[16];
  std::snprintf(b, sizeof b, "IED%03d", i);
  return b;
}

const std::string& Scd() {
  static const std::string s = [] {
    std::string x;
    x.reserve(32u << 20);
    x += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SCL xmlns=\"http://www.iec.ch/61850/2003/SCL\">\n";
    x += "<Header id=\"bench\"/>\n<Communication><SubNetwork name=\"W1\" type=\"8-MMS\">\n";
    for (int i = kIeds - 1; i >= 0; --i)
      x += "<ConnectedAP iedName=\"" + IedName(i) +
           "\" apName=\"S1\"><Address><P type=\"OSI-AP-Title\">1,3,9999,33</P><P type=\"OSI-PSEL\">00000001</P>"
           "<P type=\"OSI-SSEL\">0001</P><P type=\"OSI-TSEL\">0001</P></Address>"
           "<GSE ldInst=\"LD0\" cbName=\"gcb01\"><Address><P type=\"MAC-Address\">01-0C-CD-01-00-01</P>"
           "<P type=\"APPID\">3001</P></Address></GSE></ConnectedAP>\n";
    x += "</SubNetwork></Communication>\n";
    for (int i = 0; i < kIeds; ++i) {
      x += "<IED name=\"" + IedName(i) + "\"><AccessPoint name=\"S1\"><Server><LDevice inst=\"LD0\">\n";
      x += "<LN0 lnClass=\"LLN0\" inst=\"\" lnType=\"LLN0_T\">\n";
      for (int d = 0; d < kSetsPerIed; ++d) {
        x += "<DataSet name=\"DS" + std::to_string(d) + "\">";
        for (int m = 0; m < kMembersPerSet; ++m) {
          int ln = (d * kMembersPerSet + m) % kLnsPerIed;
          x += "<FCDA ldInst=\"LD0\" prefix=\"\" lnClass=\"GGIO\" lnInst=\"" + std::to_string(ln + 1) +
               "\" doName=\"Ind" + std::to_string(m % 20 + 1) + "\" daName=\"stVal\" fc=\"ST\"/>";
        }
        x += "</DataSet>\n";
      }
      for (int r = 0; r < 8; ++r)
        x += "<ReportControl name=\"rcb" + std::to_string(r) + "\" datSet=\"DS" + std::to_string(r) +
             "\" buffered=\"true\" intgPd=\"5000\"><RptEnabled max=\"2\"/></ReportControl>\n";
      x += "<GSEControl name=\"gcb01\" appID=\"G\" datSet=\"DS0\"/><SettingControl numOfSGs=\"1\" actSG=\"1\"/>\n";
      x += "</LN0>\n";
      for (int l = 0; l < kLnsPerIed; ++l)
        x += "<LN prefix=\"\" lnClass=\"GGIO\" inst=\"" + std::to_string(l + 1) + "\" lnType=\"GGIO_T\"/>\n";
      x += "</LDevice></Server></AccessPoint></IED>\n";
    }
    x += "<DataTypeTemplates>\n<LNodeType id=\"LLN0_T\" lnClass=\"LLN0\"><DO name=\"Mod\" type=\"SPS_T\"/></LNodeType>\n";
    x += "<LNodeType id=\"GGIO_T\" lnClass=\"GGIO\">";
    for (int d = 1; d <= 20; ++d) x += "<DO name=\"Ind" + std::to_string(d) + "\" type=\"SPS_T\"/>";
    x += "</LNodeType>\n<DOType id=\"SPS_T\" cdc=\"SPS\"><DA name=\"stVal\" bType=\"BOOLEAN\" fc=\"ST\"/>"
         "<DA name=\"q\" bType=\"Quality\" fc=\"ST\"/><DA name=\"t\" bType=\"Timestamp\" fc=\"ST\"/>"
         "<DA name=\"subEna\" bType=\"BOOLEAN\" fc=\"SV\"/><DA name=\"d\" bType=\"VisString255\" fc=\"DC\"/></DOType>\n";
    x += "</DataTypeTemplates>\n</SCL>\n";
    return x;
  }();
  return s;
}

void BM_PugixmlLoadBuffer(benchmark::State& state) {
  const std::string& s = Scd();
  for (auto _ : state) {
    pugi::xml_document doc;
    benchmark::DoNotOptimize(doc.load_buffer(s.data(), s.size()));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * s.size()));
}

void BM_LoadSCL(benchmark::State& state) {
  const std::string& s = Scd();
  double nodes = 0, sets = 0;
  for (auto _ : state) {
    TMMSobject c;
    if (!LoadSCLBytes(s, "bench.scd", c, kChosen)) state.SkipWithError("not loaded");
    nodes = static_cast<double>(c.NodeCount());
    sets = static_cast<double>(c.DataSets().size());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * s.size()));
  state.counters["nodes"] = nodes;
  state.counters["data_sets"] = sets;
  state.counters["mb"] = static_cast<double>(s.size()) / (1 << 20);
}

TMMSobject& Model() {
  static TMMSobject c;
  static bool loaded = LoadSCLBytes(Scd(), "bench.scd", c, kChosen);
  (void)loaded;
  return c;
}

void BM_SaveState(benchmark::State& state) {
  TMMSobject& c = Model();
  std::vector<std::uint8_t> buf(16u << 20);
  std::int32_t size = 0;
  for (auto _ : state) {
    TMemStream s(buf.data(), buf.size());
    TStrDictionary names;
    if (!c.SaveState(s, names)) state.SkipWithError("save failed");
    size = s.MemPos();
  }
  state.counters["bytes"] = size;
}

void BM_LoadState(benchmark::State& state) {
  TMMSobject& c = Model();
  std::vector<std::uint8_t> buf(16u << 20);
  TMemStream s(buf.data(), buf.size());
  TStrDictionary names;
  c.SaveState(s, names);
  const std::size_t size = static_cast<std::size_t>(s.MemPos());
  for (auto _ : state) {
    TMMSobject d;
    TMemStream in(static_cast<const std::uint8_t*>(buf.data()), size);
    if (!d.LoadState(in, names)) state.SkipWithError("load failed");
  }
}

BENCHMARK(BM_PugixmlLoadBuffer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadSCL)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveState)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadState)->Unit(benchmark::kMillisecond);

class RecordingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs)
      if (!r.error_occurred && r.run_type == Run::RT_Iteration) time[r.benchmark_name()] = r.GetAdjustedCPUTime();
  }
  std::map<std::string, double> time;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  Scd();  // generated before any timing
  RecordingReporter rep;
  benchmark::RunSpecifiedBenchmarks(&rep);
  benchmark::Shutdown();
  auto a = rep.time.find("BM_LoadSCL"), b = rep.time.find("BM_PugixmlLoadBuffer");
  if (a != rep.time.end() && b != rep.time.end() && b->second > 0)
    std::printf("ratio load_scl/pugixml_load_buffer = %.3f\n", a->second / b->second);
  return 0;
}
