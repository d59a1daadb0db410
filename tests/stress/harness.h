// A small thread harness: named thread functions, each called in a loop until the time is up,
// the last one on the calling (main) thread. A function returns a count of work it did, for
// the report; `failures` collects broken invariants.
#pragma once
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>
#include <vector>

struct stress_thread_t {
  const char* name;
  std::function<long()> step;
  long done = 0;
};

struct stress_run_t {
  std::vector<stress_thread_t> threads;
  std::atomic<long> failures{0};

  // Runs every thread for the given time, then prints what each did. 0 when no invariant broke.
  int run(double seconds) {
    std::atomic<bool> stop{false};
    const auto loop = [&stop](stress_thread_t* t) {
      while (!stop.load(std::memory_order_relaxed)) t->done += t->step();
    };
    std::vector<std::thread> others;
    for (size_t i = 0; i + 1 < threads.size(); ++i) others.emplace_back(loop, &threads[i]);
    std::thread timer([&] {
      std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
      stop = true;
    });
    loop(&threads.back());
    timer.join();
    for (std::thread& t : others) t.join();
    for (const stress_thread_t& t : threads) std::printf("%-8s %ld\n", t.name, t.done);
    std::printf("broken invariants: %ld\n", failures.load());
    return failures.load() ? 1 : 0;
  }
};
