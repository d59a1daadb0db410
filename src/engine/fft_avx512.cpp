// AVX-512 radix passes. A 512-bit vector holds four complex values: the passes after the first
// run four neighbouring sub-transforms side by side (then two, then one for what is left). The
// first pass, the real split and the fused product are the AVX2 kernels'.
//
// Everything here is compiled for AVX-512 and reached only through fft_kernels_avx512(),
// which checks the processor first. Headers are included before the target switch so that no
// shared inline code is built with it.
#include "engine/fft.h"
#include "toolkit/simd_target.h"
#include "engine/fft_kernels.h"

#if defined(__GNUC__) && defined(__x86_64__)
QM_SIMD_PUSH("avx512f,avx2,fma")
#include <immintrin.h>

namespace fft_avx512 {

#include "engine/fft_vec_x86.h"

// Four complex values per vector.
struct v4 {
  enum { lanes = 4 };
  typedef __m512d v;
  static v load(const double* p) { return _mm512_loadu_pd(p); }
  static void store(double* p, v a) { _mm512_storeu_pd(p, a); }
  static v add(v a, v b) { return _mm512_add_pd(a, b); }
  static v sub(v a, v b) { return _mm512_sub_pd(a, b); }
  static v mul(v a, double s) { return _mm512_mul_pd(a, _mm512_set1_pd(s)); }
  static v fma(v a, double s, v c) { return _mm512_fmadd_pd(a, _mm512_set1_pd(s), c); }
  static v fms(v a, double s, v c) { return _mm512_fmsub_pd(a, _mm512_set1_pd(s), c); }
  static v flip_odd(v a) {  // the sign of every imaginary part
    const __m512i sign = _mm512_set_epi64(INT64_MIN, 0, INT64_MIN, 0, INT64_MIN, 0, INT64_MIN, 0);
    return _mm512_castsi512_pd(_mm512_xor_si512(_mm512_castpd_si512(a), sign));
  }
  static v neg_i(v a) { return flip_odd(_mm512_shuffle_pd(a, a, 0x55)); }
  static v conj(v a) { return flip_odd(a); }
  // a times the complex w[0] + i w[1], the same for all four values
  static v cmul(v a, const double* w) {
    const v t = _mm512_mul_pd(_mm512_shuffle_pd(a, a, 0x55), _mm512_set1_pd(w[1]));
    return _mm512_fmaddsub_pd(a, _mm512_set1_pd(w[0]), t);
  }
};

}  // namespace fft_avx512

#define FFT_KERNEL_NS fft_avx512
#include "engine/fft_butterflies.h"
#include "engine/fft_strided.h"
#undef FFT_KERNEL_NS

namespace fft_avx512 {
namespace {

template <int P>
void pass(const fft_pass_t* ps, const double* x, double* y, int conj_out) {
  // The first pass is AVX2's, quicker at stride 1. AVX2's passes give the same bits as these at
  // every stride, so this choice is one of speed only.
  // mutate: off (speed only: the same bits either way)
  if (ps->stride == 1) return fft_kernels_avx2()->pass[P](ps, x, y, conj_out);
  // mutate: on
  if (conj_out)
    pass_strided<P, true, v4, v2, v1>(ps, x, y);
  else
    pass_strided<P, false, v4, v2, v1>(ps, x, y);
}

}  // namespace
}  // namespace fft_avx512

QM_SIMD_POP

const fft_kernels_t* fft_kernels_avx512() {
  const fft_kernels_t* avx2 = fft_kernels_avx2();
  if (!avx2 || !__builtin_cpu_supports("avx512f")) return nullptr;
  static const fft_kernels_t k = {
      {nullptr, nullptr, fft_avx512::pass<2>, fft_avx512::pass<3>, fft_avx512::pass<4>, fft_avx512::pass<5>, nullptr,
       nullptr, fft_avx512::pass<8>, fft_avx512::pass<9>},
      avx2->post,
      avx2->pre,
      avx2->mul,
      {nullptr, nullptr, avx2->head[2], avx2->head[3], avx2->head[4], avx2->head[5], nullptr, nullptr,
       avx2->head[8], avx2->head[9]}};
  return &k;
}

#else

const fft_kernels_t* fft_kernels_avx512() { return nullptr; }

#endif
