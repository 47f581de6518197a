// Modbus devices at scale: a description file of 2 x 2,040 names (8 ТС blocks of 255 bits,
// 8 ТИ blocks of 255 words), one device rebuild with that file, opening a configuration of N
// such devices, and reading 50 such files. Ends with the ratio time(2N) / time(N) of opening,
// which stays near 2 when opening is linear in the number of devices.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <string>

#include "model/cp1251.h"
#include "model/document.h"
#include "model/messages.h"
#include "model/params.h"
#include "ports/app_context.h"
#include "ports/modbus.h"
#include "ports/port_menu.h"
#include "ports/register.h"

using namespace t32;

namespace {

std::string BigFile() {
  std::string t = "[Устройства]\r\nБольшой=\r\n[Таблица ТС]\r\n";
  char buf[160];
  for (int n = 1; n <= 8; ++n) {
    std::snprintf(buf, sizeof buf, "%d_Функция=1\r\n%d_Адрес=$%04X\r\n%d_Количество=255\r\n", n, n, (n - 1) * 256, n);
    t += buf;
  }
  t += "[Таблица ТИ]\r\n";
  for (int n = 1; n <= 8; ++n) {
    std::snprintf(buf, sizeof buf, "%d_Тип=0\r\n%d_Функция=4\r\n%d_Адрес=$%04X\r\n%d_Количество=255\r\n", n, n, n,
                  (n - 1) * 256, n);
    t += buf;
  }
  for (const char* sec : {"[Список ТС]\r\n", "[Список ТИ]\r\n"}) {
    t += sec;
    for (int b = 0; b < 8; ++b)
      for (int k = 0; k < 255; ++k) {
        std::snprintf(buf, sizeof buf, "$%04x=Сигнал %d\r\n", b * 256 + k, b * 256 + k);
        t += buf;
      }
  }
  return Utf8ToCp1251(t);
}

const std::string& File() {
  static const std::string f = BigFile();
  return f;
}

struct TBig {
  TRecordedMessages msgs;
  TAppContext ctx;
  TDocument doc{&msgs, &PortsFactory()};
  TPortMODBUS* port = nullptr;
  explicit TBig(int devices) {
    ctx.library.AddText("big.ini", File());
    doc.appContext = &ctx;
    port = static_cast<TPortMODBUS*>(AddPortFromMenu(doc, 102)->Item());
    std::vector<std::pair<int, std::string>> picks;
    for (int i = 1; i <= devices; ++i) picks.emplace_back(i, "Большой");
    port->AddDevices(picks);
  }
};

void BM_ParseFile(benchmark::State& st) {
  for (auto _ : st) {
    TIniFile ini;
    ini.Parse(File());
    benchmark::DoNotOptimize(ini);
  }
}
BENCHMARK(BM_ParseFile)->Unit(benchmark::kMillisecond);

void BM_LoadFiftyFiles(benchmark::State& st) {
  for (auto _ : st) {
    TDeviceLibrary lib;
    for (int i = 0; i < 50; ++i) lib.AddText("f" + std::to_string(i) + ".ini", File());
    benchmark::DoNotOptimize(lib);
  }
}
BENCHMARK(BM_LoadFiftyFiles)->Unit(benchmark::kMillisecond);

void BM_Rebuild(benchmark::State& st) {
  TBig big(1);
  auto* dev = static_cast<TRTU*>(big.port->Devices()[0]);
  for (auto _ : st) dev->UpdateStatusTable();
  st.counters["rows"] = dev->Table(1)->Count() + dev->Table(3)->Count();
}
BENCHMARK(BM_Rebuild)->Unit(benchmark::kMillisecond);

double OpenSeconds(int devices) {
  TBig big(devices);
  std::int32_t end = big.doc.WriteRecords();
  std::vector<std::uint8_t> img(big.doc.Config().Image().begin(), big.doc.Config().Image().begin() + end);
  TRecordedMessages msgs;
  TAppContext ctx;
  ctx.library.AddText("big.ini", File());
  TDocument again(&msgs, &PortsFactory());
  again.appContext = &ctx;
  again.Config().SetImage(img);
  // Processor time: the build machine is shared, wall time would measure the neighbours.
  std::clock_t t0 = std::clock();
  again.ReadRecords(false);
  return static_cast<double>(std::clock() - t0) / CLOCKS_PER_SEC;
}

void BM_Open(benchmark::State& st) {
  for (auto _ : st) st.SetIterationTime(OpenSeconds(static_cast<int>(st.range(0))));
}
BENCHMARK(BM_Open)->Arg(64)->Arg(128)->Arg(255)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  double n = 1e9, n2 = 1e9;
  for (int i = 0; i < 3; ++i) {
    n = std::min(n, OpenSeconds(64));
    n2 = std::min(n2, OpenSeconds(128));
  }
  std::printf("open 128 / open 64 devices: %.2f (linear: 2)\n", n2 / n);
  benchmark::Shutdown();
  return 0;
}
