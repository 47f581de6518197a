// Writing a 1 MiB file to the simulator over loopback UDP (8192 pieces of 128 bytes), next to
// the same pieces sent through TLink::Exchange alone and through a bare socket, so the time
// the configurator adds per piece beyond the exchange itself can be read off.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

#include "link/controller.h"
#include "link/link.h"
#include "model/fileio.h"
#include "model/messages.h"
#include "server.h"
#include "sim.h"

using namespace t32;
using namespace t32::link;

namespace {
constexpr std::size_t kFileSize = 1u << 20;
constexpr std::size_t kPieces = kFileSize / kPieceSize;

struct TBench {
  TBench() {
    char tmpl[] = "/tmp/t32-bench-link-XXXXXX";
    dir = ::mkdtemp(tmpl);
    WriteFileAtomic(dir + "/Boot.ini", "[Boot]\r\nLastVersion=4.16\r\n");
    sim = std::make_unique<rtusim::TRtuSimulator>(dir);
    server = std::make_unique<rtusim::TUdpServer>(*sim);
    std::string error;
    server->Bind(0x7F000001, 0, error);
    server->Start();
    settings.kind = TLinkKind::kUdp;
    settings.ownIp = settings.controllerIp = 0x7F000001;
    settings.localPort = 0;
    settings.remotePort = server->Port();
    file.resize(kFileSize);
    for (std::size_t i = 0; i < kFileSize; ++i) file[i] = std::uint8_t(i * 7 + (i >> 9));
  }
  ~TBench() {
    server->Stop();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  std::string dir;
  std::unique_ptr<rtusim::TRtuSimulator> sim;
  std::unique_ptr<rtusim::TUdpServer> server;
  TLinkSettings settings;
  std::vector<std::uint8_t> file;
};

TBench& Bench() {
  static TBench b;
  return b;
}

// Per-piece figures. Wall time includes the simulator's side on the same machine; CPU time is
// this process's own work (the configurator), which is what its code adds.
void Report(benchmark::State& state) {
  state.counters["pieces_per_s"] = benchmark::Counter(double(state.iterations() * kPieces), benchmark::Counter::kIsRate);
  state.counters["pieces"] = double(state.iterations() * kPieces);
}

// The whole command: open disk, find nothing, 8192 write pieces with CRC, retries armed, progress.
void BM_WriteFile1MiB(benchmark::State& state) {
  auto& b = Bench();
  TRecordedMessages msgs;
  TLink link(msgs);
  link.Configure(b.settings);
  TController ctl(link, msgs);
  ctl.SetDiskPauseMs(0);
  ctl.Login().Set("admin", "secret");
  for (auto _ : state)
    if (!ctl.WriteControllerFile("BENCH.BIN", b.file)) state.SkipWithError("write failed");
  Report(state);
}
BENCHMARK(BM_WriteFile1MiB)->Unit(benchmark::kMillisecond)->UseRealTime();

// Only the link: the same 8192 pre-built write frames through TLink::Exchange.
void BM_ExchangeOnly(benchmark::State& state) {
  auto& b = Bench();
  TRecordedMessages msgs;
  TLink link(msgs);
  link.Configure(b.settings);
  link.OpenLink();
  for (auto _ : state) {
    for (std::size_t p = 0; p < kPieces; ++p) {
      BuildWritePiece(link.Request(), "BENCH2.BIN", std::uint32_t(p * kPieceSize), kFileSize, kPieceSize,
                      b.file.data() + p * kPieceSize, true, 0, 0);
      if (!link.Exchange(kReader, kWriteAnswerSize)) state.SkipWithError("exchange failed");
    }
  }
  Report(state);
}
BENCHMARK(BM_ExchangeOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

// Anchor: a bare blocking socket sending the same frames and waiting for each answer.
void BM_BareSocket(benchmark::State& state) {
  auto& b = Bench();
  int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(0x7F000001);
  to.sin_port = htons(b.settings.remotePort);
  ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to);
  std::uint8_t req[kFrameBufferSize], ans[kFrameBufferSize];
  for (auto _ : state) {
    for (std::size_t p = 0; p < kPieces; ++p) {
      std::size_t n = BuildWritePiece(req, "BENCH3.BIN", std::uint32_t(p * kPieceSize), kFileSize, kPieceSize,
                                      b.file.data() + p * kPieceSize, true, 0, 0);
      ::send(fd, req, n, 0);
      pollfd pf{fd, POLLIN, 0};
      if (::poll(&pf, 1, 2000) <= 0 || ::recv(fd, ans, sizeof ans, 0) <= 0) state.SkipWithError("no answer");
    }
  }
  ::close(fd);
  Report(state);
}
BENCHMARK(BM_BareSocket)->Unit(benchmark::kMillisecond)->UseRealTime();
}  // namespace

BENCHMARK_MAIN();
