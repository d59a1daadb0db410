// The CPU that `quillmar gui` takes, as % of one core, with its window open on a private Xvfb:
// with no input, and with pink noise playing into a null ALSA device. Measured from the
// process's user and system time (/proc/PID/stat) over 30 s after it has settled; the X
// server's own time for showing the frames is given beside it.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "hosts/cli/audio_file.h"
#include "hosts/cli/commands.h"
#include "process_cpu.h"
// The tests' private X server.
#include "support/xvfb.cpp"

namespace {

const std::string kDir = "/tmp/quillmar-bench-gui";
constexpr int kSeconds = 30;

void measure(benchmark::State& state, bool playing) {
  std::system(("mkdir -p " + kDir + "/config").c_str());
  std::ofstream(kDir + "/asoundrc") << "pcm.bench_null { type null }\n";
  std::string err;
  if (playing) write_audio(kDir + "/pink.wav", demo_signal(false), sample_format::float32, &err);
  xvfb_t x;
  if (!x.ok()) {
    state.SkipWithError("no Xvfb");
    return;
  }
  const pid_t server = x.pid();
  for (auto _ : state) {
    const pid_t pid = fork();
    if (pid == 0) {
      setenv("DISPLAY", x.display().c_str(), 1);
      setenv("QUILLMAR_CONFIG_DIR", (kDir + "/config").c_str(), 1);
      setenv("ALSA_CONFIG_PATH", (kDir + "/asoundrc").c_str(), 1);
      const std::string in = kDir + "/pink.wav";
      if (playing)
        execl(QUILLMAR_BIN, QUILLMAR_BIN, "gui", in.c_str(), "--device", "bench_null", static_cast<char*>(nullptr));
      else
        execl(QUILLMAR_BIN, QUILLMAR_BIN, "gui", static_cast<char*>(nullptr));
      _exit(127);
    }
    std::this_thread::sleep_for(std::chrono::seconds(3));  // window open, frames settled
    const double gui0 = cpu_seconds(pid), server0 = server ? cpu_seconds(server) : 0;
    const auto t0 = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(kSeconds));
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    state.counters["gui_pct"] = 100 * (cpu_seconds(pid) - gui0) / wall;
    if (server) state.counters["xvfb_pct"] = 100 * (cpu_seconds(server) - server0) / wall;
    kill(pid, SIGTERM);
    int st = 0;
    waitpid(pid, &st, 0);
    if (!WIFEXITED(st) || WEXITSTATUS(st) != 0) state.SkipWithError("quillmar gui did not end cleanly");
  }
}

void BM_gui_idle(benchmark::State& state) { measure(state, false); }
void BM_gui_playing_pink_noise(benchmark::State& state) { measure(state, true); }
BENCHMARK(BM_gui_idle)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_gui_playing_pink_noise)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
