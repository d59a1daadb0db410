// The toolkit's spin lock: the only lock between the audio thread and the editor.
// Not recursive, no owner: any thread may release it.
#pragma once
#include <atomic>
#include <cstdint>

struct mutex_t {
  std::atomic<int32_t> busy;  // 0 free, 1 taken
};

// Prepares a free lock (the program passes shared 0 and value 1).
void mutex_init(mutex_t* lock, int shared, int value);
// Acquires, polling every 10 microseconds while the lock is taken.
void mutex_to_1(mutex_t* lock);
// Releases.
void mutex_to_0(mutex_t* lock);
