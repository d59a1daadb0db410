#include "toolkit/util/mutex.h"

#include <cstdio>
#include <ctime>

void mutex_init(mutex_t* lock, int /*shared*/, int /*value*/) {
  if (lock) lock->busy.store(0, std::memory_order_release);
}

void mutex_to_1(mutex_t* lock) {
  if (!lock) {
    std::fputs("Mutex error 0x0000001B\n", stderr);
    return;
  }
  // Test-and-set in one step; sleep only while somebody else holds it.
  while (lock->busy.exchange(1, std::memory_order_acquire) != 0) {
    const timespec ten_us = {0, 10000};
    nanosleep(&ten_us, nullptr);
  }
}

void mutex_to_0(mutex_t* lock) {
  if (!lock) {
    std::fputs("Mutex error 0x00000025\n", stderr);
    return;
  }
  lock->busy.store(0, std::memory_order_release);
}
