// Flags and counters shared between the audio thread and the editor: plain 32-bit values,
// always written whole.
#pragma once
#include <atomic>
#include <cstdint>

struct flag_t {
  std::atomic<int32_t> v{0};
  operator int32_t() const { return v.load(std::memory_order_acquire); }
  flag_t& operator=(int32_t x) {
    v.store(x, std::memory_order_release);
    return *this;
  }
  flag_t& operator+=(int32_t x) {
    v.fetch_add(x, std::memory_order_acq_rel);
    return *this;
  }
};
