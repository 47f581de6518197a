// IEC 103 devices at scale: opening a configuration of 32 devices × (255 ТС + 255 ТИ entries)
// whose type names every entry, against the same file with the type missing from the library
// (fallback names only). Ends with the ratio of the two, which stays near 1 when each name is
// one indexed look-up rather than a scan of the type's list.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <string>

#include "model/cp1251.h"
#include "model/document.h"
#include "model/messages.h"
#include "ports/app_context.h"
#include "ports/iec103.h"
#include "ports/port_menu.h"
#include "ports/register.h"

using namespace t32;

namespace {
constexpr int kDevices = 32;

std::string TypeFile() {
  std::string t = "[Устройства]\r\nБольшой=\r\n[Список ТС]\r\n";
  for (int k = 0; k < 255; ++k) t += "1 " + std::to_string(k) + "=Сигнал " + std::to_string(k) + "\r\n";
  t += "[Список ТИ]\r\n";
  for (int k = 0; k < 255; ++k) t += "2 " + std::to_string(k) + " 1=Измерение " + std::to_string(k) + "\r\n";
  return Utf8ToCp1251(t);
}

std::vector<std::uint8_t> Image() {
  TRecordedMessages msgs;
  TAppContext ctx;
  TDocument doc(&msgs, &PortsFactory());
  doc.appContext = &ctx;
  auto* port = static_cast<TPort103*>(AddPortFromMenu(doc, 115)->Item());
  std::vector<std::pair<int, std::string>> picks;
  for (int i = 1; i <= kDevices; ++i) picks.emplace_back(i, "Большой");
  for (TRTU103* d : port->AddDevices(picks)) {
    for (int k = 0; k < 255; ++k) {
      d->tables[kTab103TS].push_back({1, static_cast<std::uint8_t>(k), 0});
      d->tables[kTab103TI].push_back({2, static_cast<std::uint8_t>(k), 1});
    }
    d->UpdateStatusTable();
  }
  std::int32_t end = doc.WriteRecords();
  return {doc.Config().Image().begin(), doc.Config().Image().begin() + end};
}

const std::vector<std::uint8_t>& Img() {
  static const std::vector<std::uint8_t> img = Image();
  return img;
}

double OpenSeconds(bool withType) {
  TRecordedMessages msgs;
  TAppContext ctx;
  if (withType) ctx.library103.AddText("big.ini", TypeFile());
  ctx.library103.MarkLoaded();
  TDocument doc(&msgs, &PortsFactory());
  doc.appContext = &ctx;
  doc.Config().SetImage(Img());
  // Processor time: the build machine is shared, wall time would measure the neighbours.
  std::clock_t t0 = std::clock();
  doc.ReadRecords(false);
  return static_cast<double>(std::clock() - t0) / CLOCKS_PER_SEC;
}

void BM_Open(benchmark::State& st) {
  for (auto _ : st) st.SetIterationTime(OpenSeconds(st.range(0) != 0));
}
BENCHMARK(BM_Open)->Arg(1)->Arg(0)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  double named = 1e9, missing = 1e9;
  for (int i = 0; i < 5; ++i) {
    named = std::min(named, OpenSeconds(true));
    missing = std::min(missing, OpenSeconds(false));
  }
  std::printf("open with type names / without the type: %.2f (target <= 1.5)\n", named / missing);
  benchmark::Shutdown();
  return 0;
}
