// Runs the test MMS server with the sample model on a loopback port (printed first), for
// trying the command line by hand: mms_test_serve [SECONDS]
#include <poll.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "iec61850/mms_test_server.h"

int main(int argc, char** argv) {
  t32test::TTestMmsServer s;
  t32test::BuildSampleModel(s);
  std::printf("%d\n", s.Port());
  std::fflush(stdout);
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(argc > 1 ? std::atoi(argv[1]) : 30);
  while (std::chrono::steady_clock::now() < end) {
    pollfd p{s.Fd(), POLLIN, 0};
    ::poll(&p, 1, 10);
    s.Poll();
  }
}
