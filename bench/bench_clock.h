// Timing helpers of the ratio printouts that follow the Google Benchmark tables.
#pragma once
#include <time.h>

#include <algorithm>

namespace t32::bench {

// Process CPU time in milliseconds. The benchmark machines are shared, and wall time there
// measures the neighbours as much as this code.
inline double CpuMs() {
  timespec ts;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// The best of several runs of fn, in CPU milliseconds.
template <class Fn>
double BestMs(Fn fn, int runs = 15) {
  double best = 1e30;
  for (int i = 0; i < runs; ++i) {
    double t0 = CpuMs();
    fn();
    best = std::min(best, CpuMs() - t0);
  }
  return best;
}

}  // namespace t32::bench
