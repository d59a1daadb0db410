// AVX2/FMA radix passes and real split. A 256-bit vector holds two complex values; passes
// at stride 1 run two butterflies side by side (j, j + 1), later passes two neighbouring
// sub-transforms (q, q + 1), with one 128-bit butterfly for an odd leftover.
//
// Everything here is compiled for AVX2 and FMA and reached only through
// fft_kernels_avx2(), which checks the processor first. Headers are included before the
// target switch so that no shared inline code is built with it.
#include "engine/fft.h"
#include "toolkit/simd_target.h"
#include "engine/fft_kernels.h"

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
QM_SIMD_PUSH("avx2,fma")
#include <immintrin.h>

namespace fft_avx2 {

#include "engine/fft_vec_x86.h"

}  // namespace fft_avx2

#define FFT_KERNEL_NS fft_avx2
#include "engine/fft_butterflies.h"
#include "engine/fft_strided.h"
#undef FFT_KERNEL_NS

namespace fft_avx2 {
namespace {

// Twiddles of butterflies j and j + 1 for output k, as (re re) and (im im) per lane.
inline void twiddle_pair(const double* tw, size_t stride, __m256d* re, __m256d* im) {
  const __m256d w =
      _mm256_insertf128_pd(_mm256_castpd128_pd256(_mm_loadu_pd(tw)), _mm_loadu_pd(tw + stride), 1);
  *re = _mm256_movedup_pd(w);
  *im = _mm256_permute_pd(w, 15);
}

// Results c_k of butterflies j (low halves) and j + 1 (high halves) are 2P consecutive
// values at y: c_0(j) .. c_P-1(j), c_0(j+1) ..; pair them up into whole vectors.
template <int P>
inline void store_pairs(double* y, const __m256d* c);

template <>
inline void store_pairs<2>(double* y, const __m256d* c) {
  _mm256_storeu_pd(y, _mm256_permute2f128_pd(c[0], c[1], 0x20));
  _mm256_storeu_pd(y + 4, _mm256_permute2f128_pd(c[0], c[1], 0x31));
}
template <>
inline void store_pairs<3>(double* y, const __m256d* c) {
  _mm256_storeu_pd(y, _mm256_permute2f128_pd(c[0], c[1], 0x20));
  _mm256_storeu_pd(y + 4, _mm256_permute2f128_pd(c[2], c[0], 0x30));
  _mm256_storeu_pd(y + 8, _mm256_permute2f128_pd(c[1], c[2], 0x31));
}
template <>
inline void store_pairs<4>(double* y, const __m256d* c) {
  _mm256_storeu_pd(y, _mm256_permute2f128_pd(c[0], c[1], 0x20));
  _mm256_storeu_pd(y + 4, _mm256_permute2f128_pd(c[2], c[3], 0x20));
  _mm256_storeu_pd(y + 8, _mm256_permute2f128_pd(c[0], c[1], 0x31));
  _mm256_storeu_pd(y + 12, _mm256_permute2f128_pd(c[2], c[3], 0x31));
}
template <>
inline void store_pairs<8>(double* y, const __m256d* c) {
#pragma GCC unroll 4
  for (int k = 0; k < 4; ++k) {
    _mm256_storeu_pd(y + 4 * k, _mm256_permute2f128_pd(c[2 * k], c[2 * k + 1], 0x20));
    _mm256_storeu_pd(y + 16 + 4 * k, _mm256_permute2f128_pd(c[2 * k], c[2 * k + 1], 0x31));
  }
}
// (A nine leads only an odd length of threes alone: a plain store of each half serves.)
template <>
inline void store_pairs<9>(double* y, const __m256d* c) {
  for (int k = 0; k < 9; ++k) {
    _mm_storeu_pd(y + 2 * k, _mm256_castpd256_pd128(c[k]));
    _mm_storeu_pd(y + 18 + 2 * k, _mm256_extractf128_pd(c[k], 1));
  }
}
template <>
inline void store_pairs<5>(double* y, const __m256d* c) {
  _mm256_storeu_pd(y, _mm256_permute2f128_pd(c[0], c[1], 0x20));
  _mm256_storeu_pd(y + 4, _mm256_permute2f128_pd(c[2], c[3], 0x20));
  _mm256_storeu_pd(y + 8, _mm256_permute2f128_pd(c[4], c[0], 0x30));
  _mm256_storeu_pd(y + 12, _mm256_permute2f128_pd(c[1], c[2], 0x31));
  _mm256_storeu_pd(y + 16, _mm256_permute2f128_pd(c[3], c[4], 0x31));
}

// Stride 1: butterflies j and j + 1 side by side. Butterflies from j = live - span on have
// only their first input (the others lie at or beyond live, where the input is zero).
template <int P, bool CONJ>
void pass_first(const fft_pass_t* ps, const double* x, double* y, size_t live = ~size_t(0)) {
  const size_t m = ps->count, span = ps->span;
  size_t j = 0;
  if (ps->tw) {
    for (; j + 2 <= m; j += 2) {
      __m256d a[P];
      if (j + span >= live) {
#pragma GCC unroll 8
        for (int r = 0; r < P; ++r) a[r] = _mm256_loadu_pd(x + 2 * j);
      } else {
#pragma GCC unroll 8
        for (int r = 0; r < P; ++r) a[r] = _mm256_loadu_pd(x + 2 * (j + r * span));
        butterfly<v2, P>::run(a);
      }
      const double* w = ps->tw + 2 * (P - 1) * j;
#pragma GCC unroll 8
      for (int k = 1; k < P; ++k) {
        __m256d wr, wi;
        twiddle_pair(w + 2 * (k - 1), 2 * (P - 1), &wr, &wi);
        a[k] = _mm256_fmaddsub_pd(a[k], wr, _mm256_mul_pd(_mm256_permute_pd(a[k], 5), wi));
      }
      if (CONJ) {
#pragma GCC unroll 8
        for (int k = 0; k < P; ++k) a[k] = v2::conj(a[k]);
      }
      store_pairs<P>(y + 2 * P * j, a);
    }
  }
  for (; j < m; ++j)
    column<v1, P, CONJ>(x + 2 * j, y + 2 * P * j, span, 1,
                        ps->tw ? ps->tw + 2 * (P - 1) * j : nullptr);
}

template <int P>
void pass(const fft_pass_t* ps, const double* x, double* y, int conj_out) {
  if (ps->stride == 1)
    conj_out ? pass_first<P, true>(ps, x, y) : pass_first<P, false>(ps, x, y);
  else
    conj_out ? pass_strided<P, true, v2, v1>(ps, x, y) : pass_strided<P, false, v2, v1>(ps, x, y);
}

template <int P>
void head(const fft_pass_t* ps, const double* x, double* y, size_t live) {
  if (ps->stride == 1)
    pass_first<P, false>(ps, x, y, live);
  else
    pass_strided<P, false, v2, v1>(ps, x, y);
}

// Lane orders of the real split: vectors hold bins (k, k + 2, k + 1, k + 3) so that
// unpacking two complex vectors gives them directly; 0xD8 swaps the middle lanes
// (natural order <-> lane order), 0x27 also reverses (descending order <-> lane order).
const int kSwapMiddle = 0xD8, kReverse = 0x27;

// The real split and its reverse, four bins k .. k + 3 and their mirrors m - k - 3 .. m - k at
// a time, in lane order: x holds bins k of the real spectrum, y bins m - k.
struct bins4 {
  __m256d xr, xi, yr, yi;
};

// The real spectrum's bins from the complex spectrum z, as post makes them, times 2 h (times
// 2 without H).
template <bool H = true>
inline bins4 split4(const double* z, int m, int k, __m256d wr, __m256d wi, __m256d h) {
  const __m256d z0 = _mm256_loadu_pd(z + 2 * k), z1 = _mm256_loadu_pd(z + 2 * k + 4);
  const __m256d ar = _mm256_unpacklo_pd(z0, z1), ai = _mm256_unpackhi_pd(z0, z1);
  const __m256d r0 = _mm256_permute2f128_pd(_mm256_loadu_pd(z + 2 * (m - k - 1)), _mm256_setzero_pd(), 0x01);
  const __m256d r1 = _mm256_permute2f128_pd(_mm256_loadu_pd(z + 2 * (m - k - 3)), _mm256_setzero_pd(), 0x01);
  const __m256d br = _mm256_unpacklo_pd(r0, r1), bi = _mm256_unpackhi_pd(r0, r1);
  const auto times_h = [h](__m256d v) { return H ? _mm256_mul_pd(v, h) : v; };
  const __m256d er = times_h(_mm256_add_pd(ar, br));
  const __m256d ei = times_h(_mm256_sub_pd(ai, bi));
  const __m256d o_r = times_h(_mm256_add_pd(ai, bi));
  const __m256d o_i = times_h(_mm256_sub_pd(br, ar));
  const __m256d tr = _mm256_fmsub_pd(o_r, wr, _mm256_mul_pd(o_i, wi));
  const __m256d ti = _mm256_fmadd_pd(o_r, wi, _mm256_mul_pd(o_i, wr));
  return {_mm256_add_pd(er, tr), _mm256_add_pd(ei, ti), _mm256_sub_pd(er, tr), _mm256_sub_pd(ti, ei)};
}

// Back to the conjugated complex spectrum of the inverse, times scale, as pre makes it.
inline void join4(const bins4& b, double* zo, int m, int k, __m256d wr, __m256d wi, double scale) {
  const __m256d g = _mm256_set1_pd(scale), ng = _mm256_set1_pd(-scale);
  const __m256d fr = _mm256_add_pd(b.xr, b.yr), fi = _mm256_sub_pd(b.xi, b.yi);
  const __m256d dr = _mm256_sub_pd(b.xr, b.yr), di = _mm256_add_pd(b.xi, b.yi);
  const __m256d p_r = _mm256_fmadd_pd(wr, dr, _mm256_mul_pd(wi, di));
  const __m256d p_i = _mm256_fmsub_pd(wr, di, _mm256_mul_pd(wi, dr));
  const __m256d kr = _mm256_mul_pd(_mm256_sub_pd(fr, p_i), g);
  const __m256d ki = _mm256_mul_pd(_mm256_add_pd(fi, p_r), ng);
  const __m256d mr = _mm256_mul_pd(_mm256_add_pd(fr, p_i), g);
  const __m256d mi = _mm256_mul_pd(_mm256_sub_pd(fi, p_r), g);
  _mm256_storeu_pd(zo + 2 * k, _mm256_unpacklo_pd(kr, ki));
  _mm256_storeu_pd(zo + 2 * k + 4, _mm256_unpackhi_pd(kr, ki));
  _mm256_storeu_pd(zo + 2 * (m - k - 1), _mm256_permute2f128_pd(_mm256_unpacklo_pd(mr, mi), _mm256_setzero_pd(), 0x01));
  _mm256_storeu_pd(zo + 2 * (m - k - 3), _mm256_permute2f128_pd(_mm256_unpackhi_pd(mr, mi), _mm256_setzero_pd(), 0x01));
}

void post(const double* z, double* out, int n, const double* tw, double scale) {
  const int m = n / 2;
  const __m256d h = _mm256_set1_pd(0.5 * scale);
  int k = 1;
  for (; 2 * (k + 3) < m; k += 4) {
    const bins4 b = split4(z, m, k, _mm256_loadu_pd(tw + fft_post_index(k)),
                           _mm256_loadu_pd(tw + fft_post_index(k) + 4), h);
    _mm256_storeu_pd(out + k, _mm256_permute4x64_pd(b.xr, kSwapMiddle));
    _mm256_storeu_pd(out + n - k - 3, _mm256_permute4x64_pd(b.xi, kReverse));
    _mm256_storeu_pd(out + m - k - 3, _mm256_permute4x64_pd(b.yr, kReverse));
    _mm256_storeu_pd(out + m + k, _mm256_permute4x64_pd(b.yi, kSwapMiddle));
  }
  fft_post_scalar(z, out, n, tw, scale, k);
}

void pre(const double* in, double* z, int n, const double* tw, double scale) {
  const int m = n / 2;
  int k = 1;
  for (; 2 * (k + 3) < m; k += 4) {
    const bins4 b = {_mm256_permute4x64_pd(_mm256_loadu_pd(in + k), kSwapMiddle),
                     _mm256_permute4x64_pd(_mm256_loadu_pd(in + n - k - 3), kReverse),
                     _mm256_permute4x64_pd(_mm256_loadu_pd(in + m - k - 3), kReverse),
                     _mm256_permute4x64_pd(_mm256_loadu_pd(in + m + k), kSwapMiddle)};
    join4(b, z, m, k, _mm256_loadu_pd(tw + fft_post_index(k)), _mm256_loadu_pd(tw + fft_post_index(k) + 4), scale);
  }
  fft_pre_scalar(in, z, n, tw, scale, k);
}

// Those bins times a halfcomplex kernel's, added to acc when it is given.
inline bins4 times4(const bins4& b, const double* kernel, int n, int m, int k, const bins4* acc) {
  const __m256d hxr = _mm256_permute4x64_pd(_mm256_loadu_pd(kernel + k), kSwapMiddle);
  const __m256d hxi = _mm256_permute4x64_pd(_mm256_loadu_pd(kernel + n - k - 3), kReverse);
  const __m256d hyr = _mm256_permute4x64_pd(_mm256_loadu_pd(kernel + m - k - 3), kReverse);
  const __m256d hyi = _mm256_permute4x64_pd(_mm256_loadu_pd(kernel + m + k), kSwapMiddle);
  const __m256d zero = _mm256_setzero_pd();
  const bins4 a = acc ? *acc : bins4{zero, zero, zero, zero};
  return {_mm256_fmadd_pd(b.xr, hxr, _mm256_fnmadd_pd(b.xi, hxi, a.xr)),
          _mm256_fmadd_pd(b.xr, hxi, _mm256_fmadd_pd(b.xi, hxr, a.xi)),
          _mm256_fmadd_pd(b.yr, hyr, _mm256_fnmadd_pd(b.yi, hyi, a.yr)),
          _mm256_fmadd_pd(b.yr, hyi, _mm256_fmadd_pd(b.yi, hyr, a.yi))};
}

// z times kernel (and z2 times kernel2 added, when z2 is given) into zo, which may be z or z2.
void mul(const double* z, const double* kernel, const double* z2, const double* kernel2, double* zo, int n,
         const double* tw, double scale) {
  const int m = n / 2;
  int k = 1;
  for (; 2 * (k + 3) < m; k += 4) {
    const __m256d wr = _mm256_loadu_pd(tw + fft_post_index(k));
    const __m256d wi = _mm256_loadu_pd(tw + fft_post_index(k) + 4);
    // The split's halving moves into the join's scale: halving is exact, so nothing changes.
    const __m256d none = _mm256_setzero_pd();
    bins4 y = times4(split4<false>(z, m, k, wr, wi, none), kernel, n, m, k, nullptr);
    if (z2) y = times4(split4<false>(z2, m, k, wr, wi, none), kernel2, n, m, k, &y);
    join4(y, zo, m, k, wr, wi, 0.5 * scale);
  }
  fft_mul_scalar(z, kernel, z2, kernel2, zo, n, tw, scale, k);
}

const fft_kernels_t kAvx2 = {
    {nullptr, nullptr, pass<2>, pass<3>, pass<4>, pass<5>, nullptr, nullptr, pass<8>, pass<9>}, post, pre, mul,
    {nullptr, nullptr, head<2>, head<3>, head<4>, head<5>, nullptr, nullptr, head<8>, head<9>}};

}  // namespace
}  // namespace fft_avx2

QM_SIMD_POP

const fft_kernels_t* fft_kernels_avx2() {
  if (!__builtin_cpu_supports("avx2") || !__builtin_cpu_supports("fma")) return nullptr;
  return &fft_avx2::kAvx2;
}

#else

const fft_kernels_t* fft_kernels_avx2() { return nullptr; }

#endif
