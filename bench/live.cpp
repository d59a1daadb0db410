// The CPU that `quillmar live` takes, as % of one core, on a JACK2 server of its own (dummy
// driver, 48 kHz, 128 frames, real-time scheduling where the system allows it), its ports on
// the driver's capture and playback ports: without its window, and with it on a private Xvfb.
// Beside it, the xruns the server reported and the longest processing cycle (from --stats),
// against the period. QUILLMAR_LIVE_SECONDS sets the measured time (default 30 s).
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "process_cpu.h"
// The tests' private X server and child processes.
#include "support/process.cpp"
#include "support/xvfb.cpp"

namespace {

const std::string kDir = "/tmp/quillmar-bench-live";

void measure(benchmark::State& state, bool window) {
  const char* env_seconds = std::getenv("QUILLMAR_LIVE_SECONDS");
  const int seconds = env_seconds ? std::atoi(env_seconds) : 30;
  std::system(("rm -rf " + kDir + " && mkdir -p " + kDir + "/config").c_str());
  const std::string server = "qm_bench_live_" + std::to_string(getpid());
  setenv("JACK_DEFAULT_SERVER", server.c_str(), 1);
  setenv("JACK_NO_START_SERVER", "1", 1);
  process_t jackd;
  if (!jackd.start({"jackd", "-n", server, "-R", "-d", "dummy", "-r", "48000", "-p", "128"}, kDir + "/jackd.log") ||
      !wait_until(20, [] { return shell("jack_lsp 2>/dev/null").status == 0; })) {
    state.SkipWithError("jackd did not start");
    return;
  }
  std::unique_ptr<xvfb_t> x;
  if (window) {
    x = std::make_unique<xvfb_t>();
    if (!x->ok()) {
      state.SkipWithError("no Xvfb");
      return;
    }
  }
  for (auto _ : state) {
    const pid_t pid = fork();
    if (pid == 0) {
      if (x) setenv("DISPLAY", x->display().c_str(), 1);
      setenv("QUILLMAR_CONFIG_DIR", (kDir + "/config").c_str(), 1);
      if (!freopen((kDir + "/stats").c_str(), "w", stdout)) _exit(126);
      std::vector<const char*> argv = {QUILLMAR_BIN,        "live",         "--stats",
                                       "--connect-in",      "system:capture_1",  "--connect-in",
                                       "system:capture_2",  "--connect-out",     "system:playback_1",
                                       "--connect-out",     "system:playback_2"};
      if (!window) argv.push_back("--no-window");
      argv.push_back(nullptr);
      execv(QUILLMAR_BIN, const_cast<char* const*>(argv.data()));
      _exit(127);
    }
    std::this_thread::sleep_for(std::chrono::seconds(3));  // connected, window open, settled
    const double cpu0 = cpu_seconds(pid);
    const auto t0 = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    state.counters["live_pct"] = 100 * (cpu_seconds(pid) - cpu0) / wall;
    kill(pid, SIGINT);
    int st = 0;
    waitpid(pid, &st, 0);
    if (!WIFEXITED(st) || WEXITSTATUS(st) != 0) state.SkipWithError("quillmar live did not end cleanly");
    // "xruns: N; longest cycle: T us of a P us period"
    std::ifstream f(kDir + "/stats");
    std::string line;
    std::getline(f, line);
    int xruns = -1;
    double longest = -1, period = -1;
    if (std::sscanf(line.c_str(), "xruns: %d; longest cycle: %lf us of a %lf us period", &xruns, &longest,
                    &period) == 3) {
      state.counters["xruns"] = xruns;
      state.counters["longest_us"] = longest;
      state.counters["period_us"] = period;
    }
  }
}

void BM_live_no_window(benchmark::State& state) { measure(state, false); }
void BM_live_window(benchmark::State& state) { measure(state, true); }
BENCHMARK(BM_live_no_window)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_live_window)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
