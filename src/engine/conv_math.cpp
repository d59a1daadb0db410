#include "engine/conv_math.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#ifdef __SSE2__
#include <emmintrin.h>
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

void copy_finite(double* dst, const double* src, int n) {
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
