#pragma once

#include <time.h>

// The processor time this process has used so far, in seconds, all its threads counted: for
// tests and benchmarks that hold a quiet program's cost against the wall time it ran.
inline double processCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}
