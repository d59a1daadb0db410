// The audio path and the kernel design: ProcessDoubleReplacing of the plug-in, stereo at
// 44.1 kHz, as times real time on one core, beside a plain FFTW overlap-add loop of the same
// sizes; the same with denormal input and decaying tails; and design_filters at the defaults
// and at the highest Resolution.
//
//   bench_engine --callgrind CONFIG FRAMES SECONDS   SECONDS of stereo audio through the audio
//                                                    path in calls of FRAMES (CONFIG 0, 1, 2
//                                                    as below), with callgrind's
//                                                    instrumentation on only around them
#include <benchmark/benchmark.h>
#include <valgrind/callgrind.h>
#include <fftw3.h>
#include <stdlib.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "engine/bands.h"
#include "engine/design.h"
#include "engine/inst.h"
#include "engine/params.h"
#include "plugin/Quillmar.h"
#include "fftw_product.h"

namespace {

struct Config {
  double resolution, input_buffer_size;
};
const Config kConfigs[] = {{1, 0.2}, {1, 0}, {16, 6}};  // defaults, lowest latency, highest resolution

Quillmar* make_plug(const Config& c) {
  setenv("QUILLMAR_CONFIG_DIR", "/tmp/quillmar-bench-config", 1);
  Quillmar* p = MakePlug();
  p->SetSampleRate(44100);
  p->Reset();
  p->GetParam(PARAM_RESOLUTION)->Set(c.resolution);
  p->GetParam(PARAM_INPUT_BUFFER_SIZE)->Set(c.input_buffer_size);
  p->GetParam(PARAM_BAND_GAIN + 1)->Set(6);
  p->GetParam(PARAM_BAND_GAIN + 3)->Set(-12);
  for (int i : {int(PARAM_RESOLUTION), int(PARAM_INPUT_BUFFER_SIZE), PARAM_BAND_GAIN + 1, PARAM_BAND_GAIN + 3})
    p->OnParamChange(i);
  p->ServePendingChanges();
  p->SetInputChannelConnections(0, 2, true);
  p->SetOutputChannelConnections(0, 2, true);
  return p;
}

std::vector<double> noise(size_t n) {
  std::mt19937 rng(1);
  std::uniform_real_distribution<double> u(-0.5, 0.5);
  std::vector<double> v(n);
  for (double& x : v) x = u(rng);
  return v;
}

// What the audio path is fed: noise, noise at a denormal level (about 1e-310), or noise that
// decays from full scale into the denormals and past them to zero over each pass through the
// buffer, as a fading tail does.
enum { NORMAL = 0, DENORMAL = 1, DECAYING = 2 };

std::vector<double> test_signal(int kind) {
  std::vector<double> v = noise(1 << 16);
  for (size_t i = 0; i < v.size(); ++i) {
    if (kind == DENORMAL) v[i] *= 1e-310;
    if (kind == DECAYING) v[i] *= std::exp2(-1100.0 * i / v.size());
  }
  return v;
}

void run_process(benchmark::State& state, int kind) {
  const Config& c = kConfigs[state.range(0)];
  const int frames = static_cast<int>(state.range(1));
  Quillmar* p = make_plug(c);
  const std::vector<double> l = test_signal(kind), r = test_signal(kind);
  std::vector<double> o0(frames), o1(frames);
  double* out[2] = {o0.data(), o1.data()};
  size_t pos = 0, total = 0;
  for (auto _ : state) {
    double* in[2] = {const_cast<double*>(&l[pos]), const_cast<double*>(&r[pos])};
    p->ProcessDoubleReplacing(in, out, frames);
    pos = (pos + frames) % ((1 << 16) - frames);
    total += frames;
  }
  state.counters["N"] = p->Engine().fft_size;
  state.counters["hop"] = p->Engine().hop_size;
  state.counters["x_realtime"] =
      benchmark::Counter(double(total) / 44100.0, benchmark::Counter::kIsRate);
  delete p;
}

void BM_process(benchmark::State& state) { run_process(state, NORMAL); }
// The same with denormal input and with decaying tails, for comparison with BM_process.
void BM_process_denormal(benchmark::State& state) { run_process(state, DENORMAL); }
void BM_process_decaying(benchmark::State& state) { run_process(state, DECAYING); }

// The same block convolution written plainly on FFTW: per block and channel a real forward
// transform, a complex product and an inverse, added into an output ring.
void BM_fftw_overlap_add(benchmark::State& state) {
  const Config& c = kConfigs[state.range(0)];
  const int frames = static_cast<int>(state.range(1));
  Quillmar* p = make_plug(c);
  {
    std::vector<double> z(frames, 0.0);
    double* io[2] = {z.data(), z.data()};
    p->ProcessDoubleReplacing(io, io, frames);  // take the engine's sizes for this call length
  }
  const int n = p->Engine().fft_size, hop = p->Engine().hop_size;
  delete p;
  double* buf = fftw_alloc_real(n);
  fftw_complex* spec = fftw_alloc_complex(n / 2 + 1);
  fftw_complex* kernel = fftw_alloc_complex(n / 2 + 1);
  for (int k = 0; k <= n / 2; ++k) kernel[k][0] = 1.0, kernel[k][1] = 0.0;
  fftw_plan fwd = fftw_plan_dft_r2c_1d(n, buf, spec, FFTW_MEASURE);
  fftw_plan inv = fftw_plan_dft_c2r_1d(n, spec, buf, FFTW_MEASURE);
  std::vector<std::vector<double>> block(2, std::vector<double>(n)), ring(2, std::vector<double>(2 * n));
  const std::vector<double> src = noise(1 << 16);
  int fill = 0, read = 0;
  size_t pos = 0, total = 0;
  std::vector<double> out(frames);
  for (auto _ : state) {
    for (int i = 0; i < frames; ++i) {
      for (int ch = 0; ch < 2; ++ch) block[ch][fill] = src[(pos + i) & 0xffff];
      if (++fill == hop) {
        for (int ch = 0; ch < 2; ++ch) {
          std::copy(block[ch].begin(), block[ch].end(), buf);
          fftw_execute(fwd);
          fftw_product(spec, kernel, n / 2 + 1);
          fftw_execute(inv);
          for (int j = 0; j < n; ++j) ring[ch][(read + j) % (2 * n)] += buf[j];
        }
        fill = 0;
      }
      out[i] = ring[0][read];
      ring[0][read] = ring[1][read] = 0.0;
      read = (read + 1) % (2 * n);
    }
    benchmark::DoNotOptimize(out.data());
    pos += frames;
    total += frames;
  }
  state.counters["x_realtime"] =
      benchmark::Counter(double(total) / 44100.0, benchmark::Counter::kIsRate);
  fftw_destroy_plan(fwd);
  fftw_destroy_plan(inv);
  fftw_free(buf);
  fftw_free(spec);
  fftw_free(kernel);
}

void configs(benchmark::internal::Benchmark* b) {
  for (int c = 0; c < 3; ++c)
    for (int frames : {128, 512}) b->Args({c, frames});
  b->ArgNames({"config", "frames"});
}

BENCHMARK(BM_process)->Apply(configs)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_fftw_overlap_add)->Apply(configs)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_process_denormal)->Args({0, 128})->Args({0, 512})->ArgNames({"config", "frames"})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_process_decaying)->Args({0, 128})->Args({0, 512})->ArgNames({"config", "frames"})->Unit(benchmark::kMicrosecond);

// A full design (sort, curve, sampling, two FFTs, window) at the plug-in's sizes.
void BM_design_filters(benchmark::State& state) {
  Quillmar* p = make_plug(kConfigs[state.range(0)]);
  inst_t* inst = p->Inst();
  const engine_t& e = p->Engine();
  for (auto _ : state) {
    design_filters(inst, inst->design, inst->bands, inst->bands_sorted, e.kernel_size,
                   e.fft_size, inst->curve[0], &inst->curve_new, inst->lock_curve, 974,
                   &inst->band_count, 0, 44100.0);
  }
  state.counters["N"] = e.fft_size;
  state.counters["hop_ms"] = e.hop_size * 1000.0 / 44100.0;
  delete p;
}
BENCHMARK(BM_design_filters)->Arg(0)->Arg(2)->ArgName("config")->Unit(benchmark::kMicrosecond);

int callgrind_process(int config, int frames, double seconds) {
  Quillmar* p = make_plug(kConfigs[config]);
  const std::vector<double> l = test_signal(NORMAL), r = test_signal(NORMAL);
  std::vector<double> o0(frames), o1(frames);
  double* out[2] = {o0.data(), o1.data()};
  size_t pos = 0;
  auto call = [&] {
    double* in[2] = {const_cast<double*>(&l[pos]), const_cast<double*>(&r[pos])};
    p->ProcessDoubleReplacing(in, out, frames);
    pos = (pos + frames) % ((1 << 16) - frames);
  };
  for (int i = 0; i < 2 * p->Engine().fft_size / frames + 2; ++i) call();  // sized and settled
  CALLGRIND_START_INSTRUMENTATION;
  for (long done = 0; done < (long)(seconds * 44100); done += frames) call();
  CALLGRIND_STOP_INSTRUMENTATION;
  delete p;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && !std::strcmp(argv[1], "--callgrind"))
    return callgrind_process(std::atoi(argv[2]), std::atoi(argv[3]), std::atof(argv[4]));
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
