// The CPU that `quillmar live` takes, as % of one core, on a JACK2 server of its own (dummy
// driver, 48 kHz, 128 frames, real-time scheduling where the system allows it), its ports on
// the driver's capture and playback ports: without its window, and with it on a private Xvfb.
// Beside it, the xruns the server reported, how long its processing cycles took (from
// --stats: the longest, the time within which 99.9 % ended, how many took a tenth of the
// period or more) and how often the server found it unfinished at a cycle's end. In the same
// graph runs a client that only copies its inputs to its outputs ("base_"): what the machine
// itself gives a real-time client, which Quillmar's figures are read against.
// QUILLMAR_LIVE_SECONDS sets the measured time (default 30 s).
#include <benchmark/benchmark.h>
#ifdef QUILLMAR_HAVE_JACK
#include <jack/jack.h>
#endif
#include <time.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <atomic>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "hosts/cli/cycle_times.h"
#include "process_cpu.h"
// The tests' private X server and child processes.
#include "support/process.cpp"
#include "support/xvfb.cpp"

namespace {

const std::string kDir = "/tmp/quillmar-bench-live";

int measured_seconds() {
  const char* env_seconds = std::getenv("QUILLMAR_LIVE_SECONDS");
  return env_seconds ? std::atoi(env_seconds) : 30;
}

// Counters of one client; the baseline's are named with "base_".
void report(benchmark::State& state, const std::string& who, uint64_t cycles, double longest, int within,
            uint64_t tenth) {
  state.counters[who + "cycles"] = cycles;
  state.counters[who + "longest_us"] = longest;
  state.counters[who + "p999_us"] = within;
  state.counters[who + "over_tenth"] = tenth;
}

// The lines of jackd's log that hold a string.
int log_lines(const std::string& what) {
  std::ifstream f(kDir + "/jackd.log");
  int n = 0;
  for (std::string line; std::getline(f, line);) n += line.find(what) != std::string::npos;
  return n;
}

#ifdef QUILLMAR_HAVE_JACK
// The baseline: a client of this process that copies two inputs to two outputs.
struct copier_t {
  jack_port_t* in[2] = {};
  jack_port_t* out[2] = {};
  cycle_times_t times;

  static int process(jack_nframes_t n, void* arg) {
    copier_t* c = static_cast<copier_t*>(arg);
    const long long t0 = cycle_times_t::now_ns();
    for (int ch = 0; ch < 2; ++ch)
      std::memcpy(jack_port_get_buffer(c->out[ch], n), jack_port_get_buffer(c->in[ch], n), sizeof(float) * n);
    c->times.record(cycle_times_t::now_ns() - t0);
    return 0;
  }
};

// Runs beside quillmar live in the same graph, its ports on the same system ports.
class baseline_t {
 public:
  baseline_t() {
    client_ = jack_client_open("Baseline", JackNoStartServer, nullptr);
    if (!client_) return;
    for (int ch = 0; ch < 2; ++ch) {
      const std::string n = std::to_string(ch + 1);
      c_.in[ch] = jack_port_register(client_, ("in_" + n).c_str(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
      c_.out[ch] = jack_port_register(client_, ("out_" + n).c_str(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
    }
    jack_set_process_callback(client_, copier_t::process, &c_);
    jack_activate(client_);
    for (int ch = 0; ch < 2; ++ch) {
      const std::string n = std::to_string(ch + 1);
      jack_connect(client_, ("system:capture_" + n).c_str(), jack_port_name(c_.in[ch]));
      jack_connect(client_, jack_port_name(c_.out[ch]), ("system:playback_" + n).c_str());
    }
  }
  ~baseline_t() { stop(); }
  bool ok() const { return client_ != nullptr; }
  void stop() {
    if (!client_) return;
    jack_deactivate(client_);
    jack_client_close(client_);
    client_ = nullptr;
  }
  void report_to(benchmark::State& state, double period) const {
    report(state, "base_", c_.times.cycles(), c_.times.longest_us(), c_.times.within_us(0.999),
           c_.times.at_least_us(static_cast<int>(period / 10 + 0.5)));
  }

 private:
  jack_client_t* client_ = nullptr;
  copier_t c_;
};
#else
class baseline_t {
 public:
  bool ok() const { return false; }
  void stop() {}
  void report_to(benchmark::State&, double) const {}
};
#endif

void measure(benchmark::State& state, bool window) {
  const int seconds = measured_seconds();
  std::system(("rm -rf " + kDir + " && mkdir -p " + kDir + "/config").c_str());
  process_t jackd;
  if (start_jack_server(&jackd, {"-R", "-d", "dummy", "-r", "48000", "-p", "128"}, kDir + "/jackd.log").empty()) {
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
    // Made after the fork: the child starts with no thread of JACK's in it.
    baseline_t baseline;
    if (!baseline.ok()) return state.SkipWithError("no baseline client");
    std::this_thread::sleep_for(std::chrono::seconds(3));  // connected, window open, settled
    const double cpu0 = cpu_seconds(pid);
    const auto t0 = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    state.counters["live_pct"] = 100 * (cpu_seconds(pid) - cpu0) / wall;
    kill(pid, SIGINT);
    int st = 0;
    waitpid(pid, &st, 0);
    if (!WIFEXITED(st) || WEXITSTATUS(st) != 0) return state.SkipWithError("quillmar live did not end cleanly");
    baseline.stop();
    // The line print_cycle_stats writes.
    std::ifstream f(kDir + "/stats");
    std::string line;
    std::getline(f, line);
    int xruns = -1, within = -1;
    unsigned long long cycles = 0, tenth = 0;
    double longest = -1, period = -1;
    if (std::sscanf(line.c_str(),
                    "xruns: %d; cycles: %llu; longest cycle: %lf us of a %lf us period; 99.9 %% within %d us; "
                    "%llu of a tenth",
                    &xruns, &cycles, &longest, &period, &within, &tenth) != 6)
      return state.SkipWithError(("no statistics: " + line).c_str());
    state.counters["xruns"] = xruns;
    state.counters["period_us"] = period;
    report(state, "", cycles, longest, within, tenth);
    baseline.report_to(state, period);
    // Who the server found unfinished at a cycle's end, and its own timer waking late.
    state.counters["late"] = log_lines("Quillmar was not finished");
    state.counters["late_running"] = log_lines("Quillmar was not finished, state = Running");
    state.counters["base_late"] = log_lines("Baseline was not finished");
    state.counters["base_late_running"] = log_lines("Baseline was not finished, state = Running");
    state.counters["timer_late"] = log_lines("JackTimedDriver::Process XRun");
  }
}

void BM_live_no_window(benchmark::State& state) { measure(state, false); }
void BM_live_window(benchmark::State& state) { measure(state, true); }
BENCHMARK(BM_live_no_window)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_live_window)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
