#include "engine/conv_math.h"
#include "toolkit/simd_target.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#endif

#include "engine/fft.h"

void fftconv(const double* a, const double* b, double* out, int n) {
  if (n <= 0) return;
  out[0] = a[0] * b[0];
  const int half = n / 2 + n % 2;
  for (int k = 1; k < half; ++k) {
    const double ar = a[k], ai = a[n - k], br = b[k], bi = b[n - k];
    out[k] = ar * br - ai * bi;
    out[n - k] = ai * br + ar * bi;
  }
  if (n % 2 == 0) out[n / 2] = a[n / 2] * b[n / 2];
}

namespace {

void copy_finite_sse2(double* dst, const double* src, int n) {
  int i = 0;
#ifdef __SSE2__
  // |x| < infinity is false for both infinities and for NaN
  const __m128d sign = _mm_set1_pd(-0.0), inf = _mm_set1_pd(HUGE_VAL);
  for (; i + 2 <= n; i += 2) {
    const __m128d x = _mm_loadu_pd(src + i);
    _mm_storeu_pd(dst + i, _mm_and_pd(x, _mm_cmplt_pd(_mm_andnot_pd(sign, x), inf)));
  }
#endif
  for (; i < n; ++i) dst[i] = std::isfinite(src[i]) ? src[i] : 0.0;
}

void add_into_sse2(double* dst, const double* src, int n) {
  int i = 0;
#ifdef __SSE2__
  for (; i + 2 <= n; i += 2) _mm_storeu_pd(dst + i, _mm_add_pd(_mm_loadu_pd(dst + i), _mm_loadu_pd(src + i)));
#endif
  for (; i < n; ++i) dst[i] += src[i];
}

bool move_under_sse2(double* dst, double* src, int n, double limit) {
  int i = 0;
  bool under = true;
#ifdef __SSE2__
  const __m128d sign = _mm_set1_pd(-0.0), lim = _mm_set1_pd(limit), zero = _mm_setzero_pd();
  __m128d ok = _mm_castsi128_pd(_mm_set1_epi32(-1));
  for (; i + 2 <= n; i += 2) {
    const __m128d x = _mm_loadu_pd(src + i);
    _mm_storeu_pd(dst + i, x);
    _mm_storeu_pd(src + i, zero);
    ok = _mm_and_pd(ok, _mm_cmple_pd(_mm_andnot_pd(sign, x), lim));
  }
  under = _mm_movemask_pd(ok) == 3;
#endif
  for (; i < n; ++i) {
    dst[i] = src[i];
    src[i] = 0.0;
    under = under && std::fabs(dst[i]) <= limit;
  }
  return under;
}

#if defined(__GNUC__) && defined(__x86_64__)
QM_SIMD_PUSH("avx2")
// The same four values at a time.
void copy_finite_avx2(double* dst, const double* src, int n) {
  int i = 0;
  const __m256d sign = _mm256_set1_pd(-0.0), inf = _mm256_set1_pd(HUGE_VAL);
  for (; i + 4 <= n; i += 4) {
    const __m256d x = _mm256_loadu_pd(src + i);
    _mm256_storeu_pd(dst + i, _mm256_and_pd(x, _mm256_cmp_pd(_mm256_andnot_pd(sign, x), inf, _CMP_LT_OQ)));
  }
  copy_finite_sse2(dst + i, src + i, n - i);
}

void add_into_avx2(double* dst, const double* src, int n) {
  int i = 0;
  for (; i + 4 <= n; i += 4)
    _mm256_storeu_pd(dst + i, _mm256_add_pd(_mm256_loadu_pd(dst + i), _mm256_loadu_pd(src + i)));
  add_into_sse2(dst + i, src + i, n - i);
}

bool move_under_avx2(double* dst, double* src, int n, double limit) {
  int i = 0;
  const __m256d sign = _mm256_set1_pd(-0.0), lim = _mm256_set1_pd(limit), zero = _mm256_setzero_pd();
  __m256d ok = _mm256_cmp_pd(zero, zero, _CMP_EQ_OQ);  // every lane true
  for (; i + 4 <= n; i += 4) {
    const __m256d x = _mm256_loadu_pd(src + i);
    _mm256_storeu_pd(dst + i, x);
    _mm256_storeu_pd(src + i, zero);
    ok = _mm256_and_pd(ok, _mm256_cmp_pd(_mm256_andnot_pd(sign, x), lim, _CMP_LE_OQ));
  }
  const bool under = _mm256_movemask_pd(ok) == 15;
  return move_under_sse2(dst + i, src + i, n - i, limit) && under;
}
QM_SIMD_POP
#endif

typedef void (*copy_fn)(double*, const double*, int);

#if defined(__GNUC__) && defined(__x86_64__)
// The AVX2 version where the processor has it (chosen on the first call, after the
// processor's features are known).
template <class F>
F pick(F avx2, F plain) {
  return __builtin_cpu_supports("avx2") ? avx2 : plain;
}
#endif

}  // namespace

void copy_finite(double* dst, const double* src, int n) {
#if defined(__GNUC__) && defined(__x86_64__)
  static const copy_fn f = pick(copy_finite_avx2, copy_finite_sse2);
#else
  static const copy_fn f = copy_finite_sse2;
#endif
  f(dst, src, n);
}

void add_into(double* dst, const double* src, int n) {
#if defined(__GNUC__) && defined(__x86_64__)
  static const copy_fn f = pick(add_into_avx2, add_into_sse2);
#else
  static const copy_fn f = add_into_sse2;
#endif
  f(dst, src, n);
}

bool move_under(double* dst, double* src, int n, double limit) {
#if defined(__GNUC__) && defined(__x86_64__)
  static const auto f = pick(move_under_avx2, move_under_sse2);
#else
  static const auto f = move_under_sse2;
#endif
  return f(dst, src, n, limit);
}

void hann_transition(double* buf, int n, int fade_out) {
  if (n == 1) {  // a one-sample fade: the cosine starts at 1
    buf[0] *= fade_out ? 1.0 : 0.0;
    return;
  }
  const double step = M_PI / (n - 1);
  for (int i = 0; i < n; ++i) {
    const double c = std::cos(step * i);
    buf[i] *= fade_out ? 0.5 + 0.5 * c : 0.5 - 0.5 * c;
  }
}

int fft_size_calc(int fixed_block, int kernel_size, double ratio) {
  int block = fixed_block;
  if (block == 0) {
    const double b = std::trunc((kernel_size - 1) * 1.5 * ratio + 0.5);
    block = b > 128.0 ? static_cast<int>(std::min(b, 1e9)) : 128;
  }
  const int64_t want = static_cast<int64_t>(kernel_size) - 1 + block;
  return next_fast_fft_size(static_cast<int>(std::min<int64_t>(want, 2000000000)));
}

int last2k_size_calc(int samplerate) {
  const int64_t n = static_cast<int64_t>(samplerate) * 8000 / 44100;
  return next_fast_fft_size(static_cast<int>(std::min<int64_t>(n, 2000000000)));
}
