// Runs the test MMS server with the sample model on a loopback port (printed first), for
// trying the command line by hand: mms_test_serve [SECONDS] [reports]. With "reports" the
// report model is served too, and a report "BR01" goes out every second.
#include <poll.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "iec61850/mms_test_server.h"

int main(int argc, char** argv) {
  t32test::TTestMmsServer s;
  t32test::BuildSampleModel(s);
  bool reports = argc > 2 && std::string(argv[2]) == "reports";
  if (reports) t32test::BuildReportModel(s);
  auto nextReport = std::chrono::steady_clock::now();
  int sq = 0;
  std::printf("%d\n", s.Port());
  std::fflush(stdout);
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(argc > 1 ? std::atoi(argv[1]) : 30);
  while (std::chrono::steady_clock::now() < end) {
    pollfd p{s.Fd(), POLLIN, 0};
    ::poll(&p, 1, 10);
    s.Poll();
    if (reports && std::chrono::steady_clock::now() >= nextReport) {
      nextReport += std::chrono::seconds(1);
      using namespace t32test;
      s.SendReport(DataVisibleString("BR01") + DataBits(10, 0x100) + DataUnsigned(std::uint64_t(sq)) +
                   DataBits(3, 0b101) + DataBool(sq % 2 != 0) + DataFloat(float(sq) / 2));
      ++sq;
    }
  }
}
