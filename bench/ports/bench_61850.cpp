// A configuration of 10 IEC 61850 devices with 5,000 data attributes each (a fifth of them in
// the picked data sets): BuildImage (pruning every model and building the shared dictionary)
// plus ParseImage (re-indexing every model). Target: under 200 ms together, the bound of
// bench_cfgfile.
#include <benchmark/benchmark.h>

#include <string>

#include "iec61850/mmsclient.h"
#include "model/document.h"
#include "model/messages.h"
#include "ports/port_61850.h"
#include "ports/port_menu.h"
#include "ports/register.h"
#include "project/cfgfile.h"

using namespace t32;

namespace {

// LD0 with 100 logical nodes; each has ST and MX with 5 data objects of 5 attributes (and
// those of 10 DOs are 5,000 attributes); the MX objects of every fifth node are picked.
std::vector<TMMSvar*> FillModel(TMMSobject& c) {
  auto& dict = c.Dictionary();
  auto root = std::make_unique<TMMSvar>(dict.Add("VMD"), nullptr);
  TMMSvar* ld = root->AddChild(dict.Add("LD0"));
  ld->Domain = true;
  std::vector<TMMSvar*> picked;
  for (int ln = 0; ln < 100; ++ln) {
    TMMSvar* lnode = ld->AddChild(dict.Add("GGIO" + std::to_string(ln + 1)));
    for (const char* fc : {"ST", "MX"}) {
      TMMSvar* f = lnode->AddChild(dict.Add(fc));
      f->FC[0] = fc[0];
      f->FC[1] = fc[1];
      for (int d = 0; d < 5; ++d) {
        TMMSvar* dobj = f->AddChild(dict.Add("Ind" + std::to_string(d + 1)));
        dobj->FC[0] = fc[0];
        dobj->FC[1] = fc[1];
        for (const char* a : {"stVal", "q", "t", "subEna", "subVal"}) {
          TMMSvar* at = dobj->AddChild(dict.Add(a));
          at->FC[0] = fc[0];
          at->FC[1] = fc[1];
          at->Type = kMmsBoolean;
        }
        if (fc[0] == 'M' && ln % 5 == 0) picked.push_back(dobj);
      }
    }
  }
  c.AdoptModel(std::move(root), {}, {}, {});
  return picked;
}

struct TBig {
  TRecordedMessages msgs;
  TDocument d{&msgs, &PortsFactory()};
  TBig() {
    auto* port = static_cast<TPort61850*>(AddPortFromMenu(d, 124)->Item());
    for (int i = 0; i < 10; ++i) {
      TRTU61850* dev = port->AddDevice();
      dev->SetIp(0x0A000001u + static_cast<unsigned>(i));
      TMMSobject c;
      dev->PickData(c, FillModel(c));
    }
  }
};

TBig& Shared() {
  static TBig b;
  return b;
}

void BM_BuildAndParse61850(benchmark::State& state) {
  TBuildOptions o;
  o.cpu = TCpu::Cpu927;
  o.fileName = "bench.cfg";
  std::size_t bytes = 0;
  for (auto _ : state) {
    std::vector<std::uint8_t> img;
    if (!BuildImage(Shared().d, o, img)) state.SkipWithError("build failed");
    bytes = img.size();
    TRecordedMessages m;
    TDocument d(&m, &PortsFactory());
    TCpu got = TCpu::Cpu927;
    if (!ParseImage(d, std::move(img), false, &got)) state.SkipWithError("parse failed");
  }
  state.counters["file_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_BuildAndParse61850)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
