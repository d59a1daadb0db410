#include "toolkit/util/mutex.h"

#include <cstdio>
#include <ctime>

// Under ThreadSanitizer the spin lock is announced as a lock, so that the sanitizer sees the
// order it is taken in against the other locks and reports an inversion (a deadlock waiting
// to happen) the first time both orders run, not only when they collide.
#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
#define SPIN_PRE_LOCK(m) __tsan_mutex_pre_lock(m, 0)
#define SPIN_POST_LOCK(m) __tsan_mutex_post_lock(m, 0, 0)
#define SPIN_PRE_UNLOCK(m) __tsan_mutex_pre_unlock(m, 0)
#define SPIN_POST_UNLOCK(m) __tsan_mutex_post_unlock(m, 0)
#else
#define SPIN_PRE_LOCK(m)
#define SPIN_POST_LOCK(m)
#define SPIN_PRE_UNLOCK(m)
#define SPIN_POST_UNLOCK(m)
#endif

void mutex_init(mutex_t* lock, int /*shared*/, int /*value*/) {
  if (lock) lock->busy.store(0, std::memory_order_release);
}

void mutex_to_1(mutex_t* lock) {
  if (!lock) {
    std::fputs("Mutex error 0x0000001B\n", stderr);
    return;
  }
  SPIN_PRE_LOCK(lock);
  // Test-and-set in one step; sleep only while somebody else holds it.
  while (lock->busy.exchange(1, std::memory_order_acquire) != 0) {
    const timespec ten_us = {0, 10000};
    nanosleep(&ten_us, nullptr);
  }
  SPIN_POST_LOCK(lock);
}

void mutex_to_0(mutex_t* lock) {
  if (!lock) {
    std::fputs("Mutex error 0x00000025\n", stderr);
    return;
  }
  SPIN_PRE_UNLOCK(lock);
  lock->busy.store(0, std::memory_order_release);
  SPIN_POST_UNLOCK(lock);
}
