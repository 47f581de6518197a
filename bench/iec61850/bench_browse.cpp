// Loading a server model of about 5,000 data attributes over loopback through the whole
// stack: time per load, requests per load and the memory the loaded model holds.
#include <benchmark/benchmark.h>
#include <poll.h>

#include "iec61850/mms_test_server.h"
#include "iec61850/mmsclient.h"

using namespace t32;

static void BM_BrowseModel5000(benchmark::State& state) {
  t32test::TTestMmsServer server;
  t32test::BuildLargeModel(server, 5000);
  server.namesPerPage = 200;  // a server answers in pages, as real ones do
  double requests = 0, memory = 0, nodes = 0;
  for (auto _ : state) {
    TMMSobject client;
    client.Main.Ip[0] = 127;
    client.Main.Ip[3] = 1;
    client.Main.Port = server.Port();
    client.ApplyAddress();
    bool started = false;
    auto end = TClock::now() + std::chrono::seconds(30);
    while (!client.ModelLoaded() && TClock::now() < end) {
      server.Poll();
      client.Tick(TClock::now());
      if (!started && client.MMSState() == TMMSobject::kMmsAssociated) started = client.LoadModel();
      pollfd p[2] = {{server.Fd(), POLLIN, 0}, {client.Fd(), client.PollEvents(), 0}};
      ::poll(p, client.Fd() >= 0 ? 2 : 1, 1);
    }
    if (!client.ModelLoaded()) state.SkipWithError("model not loaded");
    requests = static_cast<double>(client.Stats().Get(TStatHolder::kRequestsSent));
    memory = static_cast<double>(client.ModelMemory());
    nodes = static_cast<double>(client.Root().CountNodes());
    client.DropConnection();
    for (int i = 0; i < 50; ++i) server.Poll();  // let the server see the close
  }
  state.counters["requests"] = requests;
  state.counters["model_bytes"] = memory;
  state.counters["nodes"] = nodes;
}
BENCHMARK(BM_BrowseModel5000)->Unit(benchmark::kMillisecond)->MinTime(2.0);

BENCHMARK_MAIN();
