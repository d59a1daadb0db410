#include "framework/FW_Mutex.h"

FW_Mutex::FW_Mutex() : mOwner(pthread_t()), mOwned(false) {
  pthread_mutex_init(&mMutex, nullptr);
}

FW_Mutex::~FW_Mutex() { pthread_mutex_destroy(&mMutex); }

// Only the owner ever writes its own id while holding the mutex, so another thread can never
// read "owned by me" by accident.
bool FW_Mutex::IsLockedByThisThread() const {
  return mOwned.load(std::memory_order_acquire) &&
         pthread_equal(mOwner.load(std::memory_order_relaxed), pthread_self());
}

void FW_Mutex::Lock() {
  if (IsLockedByThisThread()) {
    ++mDepth;
    return;
  }
  pthread_mutex_lock(&mMutex);
  mOwner.store(pthread_self(), std::memory_order_relaxed);
  mOwned.store(true, std::memory_order_release);
  mDepth = 1;
}

bool FW_Mutex::TryLock() {
  if (IsLockedByThisThread()) {
    ++mDepth;
    return true;
  }
  if (pthread_mutex_trylock(&mMutex) != 0) return false;
  mOwner.store(pthread_self(), std::memory_order_relaxed);
  mOwned.store(true, std::memory_order_release);
  mDepth = 1;
  return true;
}

void FW_Mutex::Unlock() {
  if (!IsLockedByThisThread()) return;
  if (--mDepth > 0) return;
  mOwned.store(false, std::memory_order_release);
  pthread_mutex_unlock(&mMutex);
}
