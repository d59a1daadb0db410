// The whole lv2apply process on a 10 ms stereo file: Quillmar against LSP's Para Equalizer
// x16 Stereo (lsp-plugins-lv2, installed by make deps-hosts), each at its defaults, run
// alternately (which goes first alternates too) so that the machine's load falls on both
// alike. Both see the same LV2 bundles (ours and the system's), so lilv's start costs them the
// same. Reported as the medians of the wall time and of the CPU time (user and system) of the
// processes, and Quillmar's median wall time over LSP's.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <string>
#include <vector>

#include "hosts/cli/audio_file.h"

extern char** environ;

namespace {

const char* const kQuillmar = "urn:merrowind:quillmar:stereo";
const char* const kLsp = "http://lsp-plug.in/plugins/lv2/para_equalizer_x16_stereo";
const std::string kDir = "/tmp/quillmar-bench-lv2apply";

struct run_t {
  double wall_ms, cpu_ms;
};

// One lv2apply process to its end, or a negative wall time when it fails.
run_t run_lv2apply(const char* uri) {
  const std::string in = kDir + "/in.wav", out = kDir + "/out.wav";
  std::vector<std::string> args = {"lv2apply", "-i", in, "-o", out, uri};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  const auto t0 = std::chrono::steady_clock::now();
  pid_t pid;
  if (posix_spawnp(&pid, "lv2apply", nullptr, nullptr, argv.data(), environ) != 0) return {-1, 0};
  int status = 0;
  rusage use{};
  if (wait4(pid, &status, 0, &use) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return {-1, 0};
  const double wall = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
  auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec * 1e-3; };
  return {wall, ms(use.ru_utime) + ms(use.ru_stime)};
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

void BM_lv2apply_10ms_stereo(benchmark::State& state) {
  std::system(("mkdir -p " + kDir).c_str());
  audio_t a;
  a.channels = 2;
  a.samplerate = 44100;
  a.ch.assign(2, std::vector<float>(441));
  for (int i = 0; i < 441; ++i) a.ch[0][i] = a.ch[1][i] = 0.5f * std::sin(0.0627f * i);
  std::string err;
  if (!write_audio(kDir + "/in.wav", a, sample_format::float32, &err)) return state.SkipWithError(err.c_str());
  // Every process finds our bundle and the system's; none has a display; Quillmar's settings
  // folder is the benchmark's own.
  setenv("LV2_PATH", (std::string(QUILLMAR_LV2_DIR) + ":/usr/lib/lv2").c_str(), 1);
  setenv("QUILLMAR_CONFIG_DIR", kDir.c_str(), 1);
  unsetenv("DISPLAY");
  std::vector<double> q_wall, q_cpu, l_wall, l_cpu;
  bool quillmar_first = true;
  for (auto _ : state) {
    run_t q{}, l{};
    if (quillmar_first) {
      q = run_lv2apply(kQuillmar);
      l = run_lv2apply(kLsp);
    } else {
      l = run_lv2apply(kLsp);
      q = run_lv2apply(kQuillmar);
    }
    quillmar_first = !quillmar_first;
    if (q.wall_ms < 0 || l.wall_ms < 0)
      return state.SkipWithError(q.wall_ms < 0 ? "lv2apply failed on Quillmar" : "lv2apply failed on LSP's equaliser "
                                                                                  "(make deps-hosts)");
    state.SetIterationTime(q.wall_ms / 1000);
    q_wall.push_back(q.wall_ms);
    q_cpu.push_back(q.cpu_ms);
    l_wall.push_back(l.wall_ms);
    l_cpu.push_back(l.cpu_ms);
  }
  state.counters["quillmar_ms"] = median(q_wall);
  state.counters["lsp_ms"] = median(l_wall);
  state.counters["quillmar_cpu_ms"] = median(q_cpu);
  state.counters["lsp_cpu_ms"] = median(l_cpu);
  state.counters["ratio"] = median(q_wall) / median(l_wall);
}
BENCHMARK(BM_lv2apply_10ms_stereo)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(20);

}  // namespace

BENCHMARK_MAIN();
