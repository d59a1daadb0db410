// The test program's resident memory and open files, for tests of what allocations really cost
// and of what a window leaves behind.
#pragma once
#include <dirent.h>
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

// The file descriptors the program has open (with the one that reads them).
inline int count_fds() {
  int n = 0;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (readdir(d)) ++n;
    closedir(d);
  }
  return n;
}
