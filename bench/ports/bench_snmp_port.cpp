// An SNMP agent with 8,192 tags (the ТИ table's limit): the rebuild of its ТИ table with the
// storage, and the whole image written and read back. Each should stay well under 50 ms.
#include <benchmark/benchmark.h>

#include <string>

#include "model/document.h"
#include "model/messages.h"
#include "model/storage.h"
#include "ports/port_menu.h"
#include "ports/port_snmp.h"
#include "ports/register.h"

using namespace t32;

namespace {

struct TBigAgent {
  TRecordedMessages msgs;
  TDocument doc{&msgs, &PortsFactory()};
  TPortSNMP* port = nullptr;
  TSNMP* agent = nullptr;

  TBigAgent() {
    port = static_cast<TPortSNMP*>(AddPortFromMenu(doc, 134)->Item());
    agent = port->AddAgent();
    std::vector<TSnmpTagPick> picks;
    picks.reserve(TSNMP::kMaxTags);
    // A few names repeat, as column copies of several tables may.
    for (std::uint32_t i = 0; i < TSNMP::kMaxTags; ++i)
      picks.push_back({"ifInOctets[" + std::to_string(i % 4000 + 1) + "]",
                       snmp::MakeSnmpOid({1, 3, 6, 1, 2, 1, 2, 2, 1, 10, i + 1})});
    agent->SetTags(picks);
    agent->UpdateStatusTable();
    doc.AfterEdit();
  }
};

void BM_SnmpAgentRebuild8192(benchmark::State& state) {
  TBigAgent b;
  std::uint8_t last = 0;
  for (auto _ : state) {
    // A new address renames every row, then the port's and the storage's rebuild follow.
    b.agent->dev.Address[3] = ++last;
    b.agent->UpdateStatusTable();
    b.doc.Storage().Rebuild();
  }
}
BENCHMARK(BM_SnmpAgentRebuild8192)->Unit(benchmark::kMillisecond);

void BM_SnmpAgentWrite8192(benchmark::State& state) {
  TBigAgent b;
  for (auto _ : state) benchmark::DoNotOptimize(b.doc.WriteRecords());
}
BENCHMARK(BM_SnmpAgentWrite8192)->Unit(benchmark::kMillisecond);

void BM_SnmpAgentRead8192(benchmark::State& state) {
  TBigAgent b;
  std::int32_t end = b.doc.WriteRecords();
  std::vector<std::uint8_t> img(b.doc.Config().Image().begin(), b.doc.Config().Image().begin() + end);
  for (auto _ : state) {
    TRecordedMessages m;
    TDocument d(&m, &PortsFactory());
    d.Config().SetImage(img);
    d.ReadRecords(false);
    benchmark::DoNotOptimize(d.ProcNode());
  }
}
BENCHMARK(BM_SnmpAgentRead8192)->Unit(benchmark::kMillisecond);

}  // namespace
BENCHMARK_MAIN();
