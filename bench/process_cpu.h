// The CPU time a process has taken so far (user + system, from /proc/PID/stat), for the
// benchmarks that measure a running program rather than a function.
#pragma once
#include <sys/types.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

inline double cpu_seconds(pid_t pid) {
  std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  std::getline(f, line);
  // Fields after the command's closing parenthesis: state is field 3, utime 14, stime 15.
  std::istringstream rest(line.substr(line.rfind(')') + 2));
  std::string field;
  unsigned long long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && rest >> field; ++i) {
    if (i == 14) utime = std::stoull(field);
    if (i == 15) stime = std::stoull(field);
  }
  return double(utime + stime) / sysconf(_SC_CLK_TCK);
}
