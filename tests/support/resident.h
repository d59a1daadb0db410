// The test program's resident memory, for tests of what allocations really cost.
#pragma once
#include <unistd.h>

#include <cstdio>

inline double resident_mb() {
  long pages = 0, resident = 0;
  FILE* f = std::fopen("/proc/self/statm", "r");
  if (f) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * double(sysconf(_SC_PAGESIZE)) / (1 << 20);
}
