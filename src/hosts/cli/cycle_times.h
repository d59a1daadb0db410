// How long a real-time callback's cycles take, as a histogram of whole microseconds: written by
// the callback's thread alone (no allocation, no lock), read once the callback has stopped.
// The longest cycle alone says little on a machine that can hold a real-time thread off the
// processor for milliseconds; the share of cycles within a time says what the work costs.
#pragma once
#include <time.h>

#include <algorithm>
#include <atomic>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <vector>

class cycle_times_t {
 public:
  enum { LIMIT_US = 100000 };  // a longer cycle is counted in the last bin

  cycle_times_t() : bins_(LIMIT_US + 1, 0) {}

  static long long now_ns() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000000000LL + t.tv_nsec;
  }
  // Audio thread: one cycle that took ns nanoseconds.
  void record(long long ns) {
    const long long us = std::min<long long>(std::max(0LL, ns / 1000), LIMIT_US);
    ++bins_[static_cast<size_t>(us)];
    if (ns > longest_ns_.load(std::memory_order_relaxed)) longest_ns_.store(ns, std::memory_order_relaxed);
  }
  double longest_us() const { return longest_ns_.load(std::memory_order_relaxed) / 1000.0; }
  // After the callback stopped: the cycles counted, and the time within which a fraction of
  // them ended (in whole microseconds, rounded up).
  uint64_t cycles() const {
    uint64_t n = 0;
    for (uint32_t b : bins_) n += b;
    return n;
  }
  int within_us(double fraction) const {
    const double want = fraction * static_cast<double>(cycles());
    uint64_t n = 0;
    for (size_t us = 0; us < bins_.size(); ++us)
      if ((n += bins_[us]) >= want && n > 0) return static_cast<int>(us) + 1;
    return 0;
  }
  // Cycles that took at least us microseconds.
  uint64_t at_least_us(int us) const {
    uint64_t n = 0;
    for (size_t k = static_cast<size_t>(std::max(0, us)); k < bins_.size(); ++k) n += bins_[k];
    return n;
  }

 private:
  std::vector<uint32_t> bins_;
  std::atomic<long long> longest_ns_{0};
};

// The line `quillmar live --stats` ends with (bench_live reads it back).
inline void print_cycle_stats(int xruns, const cycle_times_t& t, double period_us) {
  std::printf("xruns: %d; cycles: %" PRIu64 "; longest cycle: %.0f us of a %.0f us period; 99.9 %% within %d us; "
              "%" PRIu64 " of a tenth of the period or more\n",
              xruns, t.cycles(), t.longest_us(), period_us, t.within_us(0.999),
              t.at_least_us(static_cast<int>(period_us / 10 + 0.5)));
}
