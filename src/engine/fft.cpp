#include "engine/fft.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "engine/conv_math.h"
#include "engine/fft_kernels.h"
#include "toolkit/util/memory.h"

fft_plan_t* fft_plan_init(gc_list_t* owner, int /*n*/) {
  auto* plan = static_cast<fft_plan_t*>(gc_calloc(owner, 1, sizeof(fft_plan_t)));
  if (!plan) return nullptr;
  plan->work[0] = static_cast<double*>(gc_calloc(owner, FFT_WORK_CAPACITY, sizeof(double)));
  plan->work[1] = static_cast<double*>(gc_calloc(owner, FFT_WORK_CAPACITY, sizeof(double)));
  plan->aux = static_cast<double*>(gc_calloc(owner, FFT_AUX_CAPACITY, sizeof(double)));
  if (!plan->work[0] || !plan->work[1] || !plan->aux) {
    gc_free(owner, plan->work[0]);
    gc_free(owner, plan->work[1]);
    gc_free(owner, plan->aux);
    gc_free(owner, plan);
    return nullptr;
  }
  return plan;
}

namespace {

void run_part(const fft_plan_t* plan, const fft_pass_t* ps, double* x, double* y, int conj_out) {
  double* scratch = plan->aux + FFT_AUX_ROOTS + FFT_AUX_TWIDDLES;
  if (fft_kernel_radix(ps->radix)) {
    plan->kern->pass[ps->radix](ps, x, y, conj_out);
  } else if (plan->lean) {
    const fft_roots_t roots = fft_roots_view(plan->aux, plan->cn);
    fft_pass_lean(ps, x, y, conj_out, &roots, scratch, FFT_AUX_SCRATCH);
  } else {
    fft_pass_generic(ps, x, y, conj_out, scratch, FFT_AUX_SCRATCH);
  }
}

void run_pass(const fft_plan_t* plan, int i, double* x, double* y, int conj_out) {
  const fft_pass_t* ps = &plan->pass[i];
  if (!plan->lean || ps->span == 1) return run_part(plan, ps, x, y, conj_out);
  // A lean plan has no twiddle tables: they are made here, a chunk of butterflies at a
  // time, from the roots table. Only the last pass can have a radix above sqrt(n), and it
  // needs no twiddles, so a chunk always holds at least one butterfly.
  const fft_roots_t roots = fft_roots_view(plan->aux, plan->cn);
  const int p = ps->radix, s = ps->stride;
  const int chunk = FFT_AUX_TWIDDLES / (2 * (p - 1));
  fft_pass_t part = *ps;
  part.tw = plan->aux + FFT_AUX_ROOTS;
  for (int j0 = 0; j0 < ps->count; j0 += chunk) {
    part.count = ps->count - j0 < chunk ? ps->count - j0 : chunk;
    fft_twiddles(&roots, p, s, j0, part.count, plan->aux + FFT_AUX_ROOTS);
    run_part(plan, &part, x + 2 * (size_t)s * j0, y + 2 * (size_t)s * p * j0, conj_out);
  }
}

double* other(const fft_plan_t* plan, const double* buf) { return buf == plan->a ? plan->b : plan->a; }

// Runs the passes from `from` on from src, each into the scratch array it is not reading;
// returns the array holding the result.
double* run_passes(const fft_plan_t* plan, double* src, int from = 0) {
  for (int i = from; i < plan->npasses; ++i) {
    double* dst = other(plan, src);
    run_pass(plan, i, src, dst, 0);
    src = dst;
  }
  return src;
}

// Even n: the n real values are n / 2 complex ones (even samples real, odd imaginary),
// transformed at half length and then split into the spectrum of the real signal.
void forward_even(const fft_plan_t* plan, double* in, double* out, int n, double scale) {
  double* src = in;
  if (!fft_kernel_radix(plan->pass[0].radix)) {
    // The forward transform keeps its input: passes of other radices scratch theirs, so copy.
    std::memcpy(plan->b, in, sizeof(double) * n);
    src = plan->b;
  }
  plan->kern->post(run_passes(plan, src), out, n, plan->post, scale);
}

// The inverse runs the forward passes on the conjugate; the last pass conjugates back
// as it writes the interleaved samples straight into out.
void inverse_even(const fft_plan_t* plan, const double* in, double* out, int n, double scale) {
  plan->kern->pre(in, plan->a, n, plan->post, scale);
  double* src = plan->a;
  for (int i = 0; i < plan->npasses; ++i) {
    const bool last = i == plan->npasses - 1;
    double* dst = last ? out : other(plan, src);
    run_pass(plan, i, src, dst, last);
    src = dst;
  }
}

void forward_odd(const fft_plan_t* plan, const double* in, double* out, int n, double scale) {
  double* a = plan->a;
  for (int k = 0; k < n; ++k) {
    a[2 * k] = in[k] * scale;
    a[2 * k + 1] = 0;
  }
  const double* z = run_passes(plan, a);
  out[0] = z[0];
  for (int k = 1; 2 * k < n; ++k) {
    out[k] = z[2 * k];
    out[n - k] = z[2 * k + 1];
  }
}

void inverse_odd(const fft_plan_t* plan, const double* in, double* out, int n, double scale) {
  double* a = plan->a;
  a[0] = in[0] * scale;
  a[1] = 0;
  for (int k = 1; 2 * k < n; ++k) {
    const double re = in[k] * scale, im = in[n - k] * scale;
    a[2 * k] = re;
    a[2 * k + 1] = -im;
    a[2 * (n - k)] = re;
    a[2 * (n - k) + 1] = im;
  }
  const double* z = run_passes(plan, a);
  for (int j = 0; j < n; ++j) out[j] = z[2 * j];
}

}  // namespace

void fftp(double* in, double* out, int n, int direction, fft_plan_t* plan) {
  if (n < 0 || n > FFT_MAX_SIZE) {
    std::fprintf(stderr, "fftp(): argument n = %d\n", n);
    return;
  }
  if (n == 0 || !in || !out || !plan) return;
  if (n <= 2) {
    // both directions of sizes 1 and 2 are the same map
    const double a = in[0], b = n == 2 ? in[1] : 0, scale = n == 2 ? M_SQRT1_2 : 1;
    out[0] = (a + b) * scale;
    if (n == 2) out[1] = (a - b) * scale;
    return;
  }
  if (!plan->cached || plan->size != n) fft_prepare(plan, n);
  const double scale = 1.0 / std::sqrt((double)n);
  if (n % 2 == 0) {
    if (direction == 0)
      forward_even(plan, in, out, n, scale);
    else
      inverse_even(plan, in, out, n, scale);
  } else {
    if (direction == 0)
      forward_odd(plan, in, out, n, scale);
    else
      inverse_odd(plan, in, out, n, scale);
  }
}

namespace {

// The forward passes of even n from in, which they leave as it was; returns the array of the
// plan that holds the complex spectrum.
double* forward_passes(fft_plan_t* plan, const double* in, int n, int filled = -1) {
  const fft_pass_t& first = plan->pass[0];
  if (!fft_kernel_radix(first.radix)) {
    std::memcpy(plan->b, in, sizeof(double) * n);  // passes of other radices use their input as scratch
    return run_passes(plan, plan->b);
  }
  if (filled >= 0 && filled < n && !plan->lean && plan->kern->head[first.radix]) {
    // A zero tail spares the first pass most of its butterflies.
    plan->kern->head[first.radix](&first, in, plan->a, (size_t)(filled + 1) / 2);
    return run_passes(plan, plan->a, 1);
  }
  return run_passes(plan, const_cast<double*>(in));
}

// The inverse from the conjugated spectrum z (an array of the plan): the forward passes, the
// last one conjugating back into out.
void inverse_passes(fft_plan_t* plan, double* z, double* out) {
  for (int i = 0; i < plan->npasses; ++i) {
    const bool last = i == plan->npasses - 1;
    double* dst = last ? out : other(plan, z);
    run_pass(plan, i, z, dst, last);
    z = dst;
  }
}

// Checks the arguments of a convolution; false when there is nothing to do.
bool convolve_args(int n, fft_plan_t* plan) {
  if (n < 0 || n > FFT_MAX_SIZE) {
    std::fprintf(stderr, "fftp(): argument n = %d\n", n);
    return false;
  }
  if (n == 0 || !plan) return false;
  if (n % 2 == 0 && (!plan->cached || plan->size != n)) fft_prepare(plan, n);
  return true;
}

}  // namespace

void fft_convolve(const double* in, const double* kernel, double* out, int n, fft_plan_t* plan, int filled) {
  if (!in || !kernel || !out || !convolve_args(n, plan)) return;
  if (n % 2 || n <= 2) {
    fftp(const_cast<double*>(in), out, n, 0, plan);  // the forward transform keeps its input
    fftconv(out, kernel, out, n);
    fftp(out, out, n, 1, plan);
    return;
  }
  double* z = forward_passes(plan, in, n, filled);
  plan->kern->mul(z, kernel, nullptr, nullptr, z, n, plan->post, 1.0 / n);
  inverse_passes(plan, z, out);
}

void fft_convolve2(const double* in, const double* kernel, double* in2, const double* kernel2, double* out, int n,
                   fft_plan_t* plan, int filled) {
  if (!in || !kernel || !in2 || !kernel2 || !out || !convolve_args(n, plan)) return;
  if (n % 2 || n <= 2) {
    fft_convolve(in, kernel, out, n, plan);
    fft_convolve(in2, kernel2, in2, n, plan);
    for (int i = 0; i < n; ++i) out[i] += in2[i];
    return;
  }
  // The first spectrum waits in out while the second is made in the plan's arrays.
  std::memcpy(out, forward_passes(plan, in, n, filled), sizeof(double) * n);
  double* z2 = forward_passes(plan, in2, n, filled);
  plan->kern->mul(out, kernel, z2, kernel2, z2, n, plan->post, 1.0 / n);
  inverse_passes(plan, z2, out);
}

namespace {

const int kFastSizes[250] = {
    64, 72, 80, 90, 96, 100, 120, 125, 128, 135, 144, 150, 160, 180, 200, 225, 240, 250, 256,
    270, 300, 320, 324, 360, 375, 400, 405, 432, 450, 480, 500, 512, 540, 576, 625, 640, 648,
    720, 768, 800, 810, 864, 900, 960, 972, 1000, 1080, 1125, 1152, 1200, 1215, 1280, 1296,
    1350, 1440, 1500, 1600, 1620, 1728, 1800, 1920, 2000, 2025, 2160, 2304, 2400, 2500, 2560,
    2700, 2880, 3000, 3200, 3375, 3600, 3840, 4000, 4500, 4800, 4860, 5000, 5184, 5625, 6000,
    6400, 6480, 6561, 7500, 8000, 8100, 8640, 8748, 9375, 10000, 10125, 10800, 10935, 11520,
    12500, 12960, 13500, 14400, 14580, 15625, 16000, 16200, 17280, 18000, 18225, 19440, 20000,
    20736, 21600, 22500, 23040, 24300, 25920, 27000, 28800, 30000, 30375, 32400, 34560, 36000,
    37500, 38400, 40000, 40500, 43200, 43740, 45000, 48000, 50000, 50625, 54000, 54675, 56250,
    57600, 58320, 60000, 62500, 64000, 67500, 72000, 72900, 75000, 80000, 84375, 90000, 96000,
    97200, 100000, 103680, 104976, 112500, 120000, 125000, 129600, 131220, 140625, 150000,
    160000, 162000, 164025, 174960, 187500, 200000, 202500, 207360, 216000, 218700, 234375,
    250000, 259200, 270000, 273375, 291600, 312500, 324000, 337500, 345600, 360000, 364500,
    390625, 405000, 421875, 432000, 450000, 455625, 486000, 518400, 540000, 562500, 576000,
    607500, 648000, 675000, 703125, 720000, 759375, 781250, 800000, 810000, 843750, 864000,
    900000, 937500, 1000000, 1012500, 1080000, 1125000, 1171875, 1200000, 1250000, 1265625,
    1280000, 1350000, 1406250, 1440000, 1500000, 1562500, 1600000, 1687500, 1875000, 2000000,
    2109375, 2250000, 2343750, 2400000, 2500000, 2531250, 2812500, 3125000, 3200000, 3515625,
    3750000, 3906250, 4000000, 4100625, 4687500, 5000000, 5062500, 5184000, 5400000, 5467500,
    5859375, 6250000, 6328125, 6480000, 6561000, 6635520};

}  // namespace

int next_fast_fft_size(int n) {
  for (int size : kFastSizes)
    if (size >= n) return size;
  // The smallest 2^a 3^b 5^c >= n: for each odd part 3^b 5^c, the least power of two
  // that lifts it to n. Exact in 64 bits and a few dozen steps even near INT_MAX.
  int64_t best = INT64_MAX;
  for (int64_t p5 = 1; p5 < 2 * (int64_t)n; p5 *= 5)
    for (int64_t odd = p5; odd < 2 * (int64_t)n; odd *= 3) {
      int64_t v = odd;
      while (v < n) v *= 2;
      if (v < best) best = v;
    }
  return best <= INT32_MAX ? (int)best : -1;
}

void polar_mag(double* hc, int n) {
  if (n < 1) return;
  hc[0] = std::fabs(hc[0]);
  for (int k = 1; 2 * k < n; ++k) hc[k] = std::sqrt(hc[k] * hc[k] + hc[n - k] * hc[n - k]);
}
