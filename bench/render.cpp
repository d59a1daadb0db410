// The whole `quillmar render` process on 60 s of stereo 44.1 kHz audio at the defaults,
// file reading and writing included, as times real time.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cmath>
#include <random>
#include <string>

#include "hosts/cli/audio_file.h"

namespace {

const std::string kDir = "/tmp/quillmar-bench-render";

void BM_render_60s(benchmark::State& state) {
  std::system(("mkdir -p " + kDir).c_str());
  audio_t a;
  a.channels = 2;
  a.samplerate = 44100;
  a.ch.assign(2, std::vector<float>(44100 * 60));
  std::mt19937 rng(1);
  std::uniform_real_distribution<float> u(-0.5f, 0.5f);
  for (auto& c : a.ch)
    for (float& x : c) x = u(rng);
  std::string err;
  write_audio(kDir + "/in.wav", a, sample_format::float32, &err);
  const std::string cmd = "QUILLMAR_CONFIG_DIR=" + kDir + " " QUILLMAR_BIN " render " + kDir +
                          "/in.wav " + kDir + "/out.wav --no-progress";
  for (auto _ : state) {
    if (std::system(cmd.c_str()) != 0) state.SkipWithError("render failed");
  }
  state.counters["x_realtime"] =
      benchmark::Counter(60.0 * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_render_60s)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
