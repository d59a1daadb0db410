// fftp against FFTW's real-to-halfcomplex transforms (FFTW_MEASURE plans, out of place),
// at the sizes the engine uses most; and a whole convolution (forward transform, product
// with a kernel spectrum, inverse) by fft_convolve against FFTW's real-to-complex pair.
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <random>
#include <vector>

#include "engine/fft.h"
#include "engine/fft_kernels.h"
#include "toolkit/util/memory.h"
#include "fftw_product.h"

namespace {

const int kSizes[] = {1152, 1350, 1500, 5184, 25920, 112500};
// Odd fast sizes the engine can also pick; the largest runs the lean layout.
const int kOddSizes[] = {3375, 15625, 84375, 234375};

std::vector<double> signal(int n) {
  std::mt19937 gen(n);
  std::uniform_real_distribution<double> dist(-1.0, 1.0);
  std::vector<double> v(n);
  for (double& x : v) x = dist(gen);
  return v;
}

// portable: the plain C++ kernels that processors without AVX2 run.
void run_fftp(benchmark::State& state, int direction, bool portable = false) {
  const int n = (int)state.range(0);
  gc_list_t* owner = gc_list_create();
  fft_plan_t* plan = fft_plan_init(owner, n);
  std::vector<double> in = signal(n), out(n);
  fftp(in.data(), out.data(), n, direction, plan);
  if (portable) plan->kern = fft_kernels_portable();
  for (auto _ : state) {
    fftp(in.data(), out.data(), n, direction, plan);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  gc_cleanup(owner);
}

void run_fftw(benchmark::State& state, fftw_r2r_kind kind) {
  const int n = (int)state.range(0);
  double* in = fftw_alloc_real(n);
  double* out = fftw_alloc_real(n);
  fftw_plan p = fftw_plan_r2r_1d(n, in, out, kind, FFTW_MEASURE);
  const std::vector<double> x = signal(n);
  for (int i = 0; i < n; ++i) in[i] = x[i];
  for (auto _ : state) {
    fftw_execute(p);
    benchmark::DoNotOptimize(out);
    benchmark::ClobberMemory();
  }
  fftw_destroy_plan(p);
  fftw_free(in);
  fftw_free(out);
}

// One block's convolution: fft_convolve (with the kernels the processor allows, or forced to
// the AVX2 ones) against r2c, a complex product and c2r.
void run_convolve(benchmark::State& state, const fft_kernels_t* kernels) {
  const int n = (int)state.range(0);
  gc_list_t* owner = gc_list_create();
  fft_plan_t* plan = fft_plan_init(owner, n);
  std::vector<double> in = signal(n), kernel = signal(n), out(n);
  fft_convolve(in.data(), kernel.data(), out.data(), n, plan);
  if (kernels) plan->kern = kernels;
  for (auto _ : state) {
    fft_convolve(in.data(), kernel.data(), out.data(), n, plan);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  gc_cleanup(owner);
}

void BM_fft_convolve(benchmark::State& state) { run_convolve(state, nullptr); }
void BM_fft_convolve_avx2(benchmark::State& state) {
  if (!fft_kernels_avx2()) return state.SkipWithError("no AVX2");
  run_convolve(state, fft_kernels_avx2());
}

void BM_fftw_r2c_convolve(benchmark::State& state) {
  const int n = (int)state.range(0);
  double* buf = fftw_alloc_real(n);
  fftw_complex* spec = fftw_alloc_complex(n / 2 + 1);
  fftw_complex* kernel = fftw_alloc_complex(n / 2 + 1);
  fftw_plan fwd = fftw_plan_dft_r2c_1d(n, buf, spec, FFTW_MEASURE);
  fftw_plan inv = fftw_plan_dft_c2r_1d(n, spec, buf, FFTW_MEASURE);
  const std::vector<double> x = signal(n);
  for (int k = 0; k <= n / 2; ++k) kernel[k][0] = x[k], kernel[k][1] = x[n - 1 - k];
  for (auto _ : state) {
    for (int i = 0; i < n; ++i) buf[i] = x[i];
    fftw_execute(fwd);
    fftw_product(spec, kernel, n / 2 + 1);
    fftw_execute(inv);
    benchmark::DoNotOptimize(buf);
    benchmark::ClobberMemory();
  }
  fftw_destroy_plan(fwd);
  fftw_destroy_plan(inv);
  fftw_free(buf);
  fftw_free(spec);
  fftw_free(kernel);
}

void BM_fftp_forward(benchmark::State& state) { run_fftp(state, 0); }
void BM_fftp_inverse(benchmark::State& state) { run_fftp(state, 1); }
void BM_fftp_portable_forward(benchmark::State& state) { run_fftp(state, 0, true); }
void BM_fftp_portable_inverse(benchmark::State& state) { run_fftp(state, 1, true); }
void BM_fftw_forward(benchmark::State& state) { run_fftw(state, FFTW_R2HC); }
void BM_fftw_inverse(benchmark::State& state) { run_fftw(state, FFTW_HC2R); }

void sizes(benchmark::internal::Benchmark* b) {
  for (int n : kSizes) b->Arg(n);
}
void odd_sizes(benchmark::internal::Benchmark* b) {
  for (int n : kOddSizes) b->Arg(n);
}

BENCHMARK(BM_fftp_forward)->Apply(sizes);
BENCHMARK(BM_fftp_inverse)->Apply(sizes);
BENCHMARK(BM_fftw_forward)->Apply(sizes);
BENCHMARK(BM_fftw_inverse)->Apply(sizes);
BENCHMARK(BM_fftp_forward)->Name("BM_fftp_forward_odd")->Apply(odd_sizes);
BENCHMARK(BM_fftw_forward)->Name("BM_fftw_forward_odd")->Apply(odd_sizes);
BENCHMARK(BM_fft_convolve)->Apply(sizes);
BENCHMARK(BM_fft_convolve_avx2)->Apply(sizes);
BENCHMARK(BM_fftw_r2c_convolve)->Apply(sizes);
BENCHMARK(BM_fftp_portable_forward)->Apply(sizes);
BENCHMARK(BM_fftp_portable_inverse)->Apply(sizes);

}  // namespace

BENCHMARK_MAIN();
