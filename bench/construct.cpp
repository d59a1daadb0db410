// What an instance costs to make: construction to the end of the first run() (a 128-frame
// stereo call), destruction, and the first instance of a process, which runs in a child
// process of its own each time: alone, and with its editor's first frame (which loads the
// process-wide fonts and skin and draws the panel, the grid and the labels).
//
//   bench_construct [Google Benchmark options]   the benchmarks
//   bench_construct --first [--frame]            one first instance (and its first frame);
//                                                prints its ms
//   bench_construct --loop N                     for callgrind (docs/PERFORMANCE.md): the
//                                                first instance with its first frame, then N
//                                                later ones made, run once and destroyed,
//                                                each part dumped on its own
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <valgrind/callgrind.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host_calls.h"

namespace {

using clock_type = std::chrono::steady_clock;

double ms_since(clock_type::time_point t0) {
  return std::chrono::duration<double, std::milli>(clock_type::now() - t0).count();
}

// As a host does: rate, block size, Reset, connections, one call.
void first_run(Quillmar* p) {
  host_start(p);
  host_calls(p, 1);
}

std::string g_self;

void BM_first_instance(benchmark::State& state) {
  const std::string cmd = g_self + (state.range(0) ? " --first --frame" : " --first");
  for (auto _ : state) {
    FILE* f = popen(cmd.c_str(), "r");
    double ms = -1;
    if (!f || std::fscanf(f, "%lf", &ms) != 1) ms = -1;
    if (f) pclose(f);
    if (ms < 0) {
      state.SkipWithError("the child failed");
      break;
    }
    state.SetIterationTime(ms / 1000);
  }
}
BENCHMARK(BM_first_instance)->ArgName("with_first_frame")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)
    ->UseManualTime()->Iterations(5);

// One instance stays alive throughout, as in a session, so that every one timed is a later
// one.
Quillmar* keep_first() {
  static Quillmar* first = [] {
    Quillmar* p = MakePlug();
    first_run(p);
    return p;
  }();
  return first;
}

void BM_later_instance(benchmark::State& state) {
  keep_first();
  for (auto _ : state) {
    const auto t0 = clock_type::now();
    Quillmar* p = MakePlug();
    first_run(p);
    state.SetIterationTime(ms_since(t0) / 1000);
    delete p;
  }
}
BENCHMARK(BM_later_instance)->Unit(benchmark::kMillisecond)->UseManualTime();

void BM_destroy(benchmark::State& state) {
  keep_first();
  for (auto _ : state) {
    Quillmar* p = MakePlug();
    first_run(p);
    const auto t0 = clock_type::now();
    delete p;
    state.SetIterationTime(ms_since(t0) / 1000);
  }
}
BENCHMARK(BM_destroy)->Unit(benchmark::kMillisecond)->UseManualTime();

}  // namespace

int main(int argc, char** argv) {
  // Every instance reads the preferences: a folder of the benchmark's own, without a file.
  setenv("QUILLMAR_CONFIG_DIR", "/tmp/quillmar-bench-construct", 1);
  if (argc >= 2 && !std::strcmp(argv[1], "--first")) {
    const bool with_frame = argc >= 3 && !std::strcmp(argv[2], "--frame");
    const auto t0 = clock_type::now();
    Quillmar* p = MakePlug();
    first_run(p);
    if (with_frame) host_frame(p);
    std::printf("%.3f\n", ms_since(t0));
    delete p;
    return 0;
  }
  if (argc >= 3 && !std::strcmp(argv[1], "--loop")) {
    const int n = std::atoi(argv[2]);
    CALLGRIND_START_INSTRUMENTATION;
    Quillmar* first = MakePlug();
    first_run(first);
    CALLGRIND_STOP_INSTRUMENTATION;
    CALLGRIND_DUMP_STATS_AT("first instance");
    CALLGRIND_START_INSTRUMENTATION;
    host_frame(first);
    CALLGRIND_STOP_INSTRUMENTATION;
    CALLGRIND_DUMP_STATS_AT("first frame");
    CALLGRIND_START_INSTRUMENTATION;
    for (int k = 0; k < n; ++k) {
      Quillmar* p = MakePlug();
      first_run(p);
      delete p;
    }
    CALLGRIND_STOP_INSTRUMENTATION;
    CALLGRIND_DUMP_STATS_AT("later instances");
    delete first;
    return 0;
  }
  g_self = argv[0];
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
