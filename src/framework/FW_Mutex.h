// The framework's recursive lock: a pthread mutex with the owning thread and a depth count,
// so the owner may take it again (a state restore calls OnParamChange, which locks too).
#pragma once
#include <pthread.h>

#include <atomic>

class FW_Mutex {
 public:
  FW_Mutex();
  ~FW_Mutex();
  FW_Mutex(const FW_Mutex&) = delete;
  FW_Mutex& operator=(const FW_Mutex&) = delete;

  void Lock();
  // Takes the lock only when that needs no waiting; true when taken.
  bool TryLock();
  // Ignored from a thread that does not hold the lock.
  void Unlock();
  bool IsLockedByThisThread() const;

 private:
  pthread_mutex_t mMutex;
  std::atomic<pthread_t> mOwner;
  std::atomic<bool> mOwned;
  int mDepth = 0;  // touched only by the owner
};

// Holds the lock for its lifetime.
class FW_MutexLock {
 public:
  explicit FW_MutexLock(FW_Mutex& mutex) : mMutex(mutex) { mMutex.Lock(); }
  ~FW_MutexLock() { mMutex.Unlock(); }
  FW_MutexLock(const FW_MutexLock&) = delete;
  FW_MutexLock& operator=(const FW_MutexLock&) = delete;

 private:
  FW_Mutex& mMutex;
};
