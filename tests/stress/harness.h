// A small thread harness: named thread functions, each called in a loop until the time is up,
// the last one on the calling (main) thread. A function returns a count of work it did, for
// the report; `failures` collects broken invariants. A thread that does no work for
// kStallSeconds is taken for a deadlock: the run ends at once, with status 3.
#pragma once
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <thread>
#include <vector>

struct stress_thread_t {
  const char* name;
  std::function<long()> step;
  std::atomic<long> done{0};
  stress_thread_t(const char* n, std::function<long()> f) : name(n), step(std::move(f)) {}
  stress_thread_t(const stress_thread_t& o) : name(o.name), step(o.step) {}
  stress_thread_t& operator=(const stress_thread_t& o) {
    name = o.name, step = o.step;
    return *this;
  }
};

struct stress_run_t {
  static constexpr int kStallSeconds = 60;
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
      const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
      std::vector<long> seen(threads.size(), -1);
      std::vector<int> still(threads.size(), 0);
      for (int tick = 0; std::chrono::steady_clock::now() < end; ++tick) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (tick % 10) continue;
        for (size_t i = 0; i < threads.size(); ++i) {
          const long d = threads[i].done.load();
          still[i] = d == seen[i] ? still[i] + 1 : 0;
          seen[i] = d;
          if (still[i] >= kStallSeconds) {
            std::printf("thread %s made no progress for %d s: deadlocked\n", threads[i].name, kStallSeconds);
            std::fflush(stdout);
            std::_Exit(3);
          }
        }
      }
      stop = true;
    });
    loop(&threads.back());
    timer.join();
    for (std::thread& t : others) t.join();
    for (const stress_thread_t& t : threads) std::printf("%-8s %ld\n", t.name, t.done.load());
    std::printf("broken invariants: %ld\n", failures.load());
    return failures.load() ? 1 : 0;
  }
};
