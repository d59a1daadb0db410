#include "toolkit/graphics/blend_span.h"

#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#endif

#include "toolkit/graphics/blending.h"
#include "toolkit/simd_target.h"

namespace {

#if defined(__GNUC__) && defined(__x86_64__)
QM_SIMD_PUSH("avx2")
// Every channel c of two pixels in 32-bit lanes becomes (c * Q + (MUL ? ((c * F) >> 15) * P
// : P)) >> 15. Callers keep each sum below 2^31 and each result below 2^16, so the lanes
// neither overflow nor saturate when packed back.
template <bool MUL>
inline __m256i span_pair_avx2(__m256i c, __m256i F, __m256i Q, __m256i P) {
  const __m256i add = MUL ? _mm256_mullo_epi32(_mm256_srli_epi32(_mm256_mullo_epi32(c, F), 15), P) : P;
  return _mm256_srli_epi32(_mm256_add_epi32(_mm256_mullo_epi32(c, Q), add), 15);
}

template <bool MUL>
void span_avx2(lrgb_t* d, long n, __m256i F, __m256i Q, __m256i P) {
  long i = 0;
  for (; i + 4 <= n; i += 4) {
    const __m128i* s = (const __m128i*)(const void*)(d + i);
    const __m256i a = span_pair_avx2<MUL>(_mm256_cvtepu16_epi32(_mm_loadu_si128(s)), F, Q, P);
    const __m256i b = span_pair_avx2<MUL>(_mm256_cvtepu16_epi32(_mm_loadu_si128(s + 1)), F, Q, P);
    // packus interleaves the 128-bit halves: pixels 0, 2, 1, 3.
    _mm256_storeu_si256((__m256i*)(void*)(d + i), _mm256_permute4x64_epi64(_mm256_packus_epi32(a, b), 0xd8));
  }
  for (; i < n; i++) {  // the last pixels one by one in the low lanes
    const __m256i a = span_pair_avx2<MUL>(_mm256_cvtepu16_epi32(_mm_loadl_epi64((const __m128i*)(const void*)(d + i))), F, Q, P);
    _mm_storel_epi64((__m128i*)(void*)(d + i), _mm256_castsi256_si128(_mm256_packus_epi32(a, a)));
  }
}

// The alpha-only blend, four pixels at a time: alpha * q + fg.a * p stays below 2^31, and the
// colour channels are left as they are.
void span_alpha_avx2(lrgb_t* d, long n, lrgb_t fg, int p) {
  const __m256i q = _mm256_set1_epi32(32768 - p), add = _mm256_set1_epi32(fg.a * p);
  long i = 0;
  for (; i + 4 <= n; i += 4) {
    __m256i* s = (__m256i*)(void*)(d + i);
    const __m256i v = _mm256_loadu_si256(s);
    const __m256i a = _mm256_srli_epi32(_mm256_add_epi32(_mm256_mullo_epi32(_mm256_srli_epi32(v, 16), q), add), 15);
    _mm256_storeu_si256(s, _mm256_blend_epi16(v, _mm256_slli_epi32(a, 16), 0x88));
  }
  for (; i < n; i++) d[i] = blend_mode<BLEND_ALPHA>(d[i], fg, p);
}

__m256i lanes(int r, int g, int b, int a) { return _mm256_setr_epi32(r, g, b, a, r, g, b, a); }

// The modes whose pixel is an exact affine or product form in 32-bit lanes for this colour;
// false, having done nothing, for the others.
bool blend_span_avx2(lrgb_t* d, long n, lrgb_t fg, int p, int mode) {
  const int q = 32768 - p;
  switch (mode) {
    case BLEND_MULTIPLY:  // (c * fg) >> 15 stays at most c while fg is at most 1.0
      if (fg.r > 32768 || fg.g > 32768 || fg.b > 32768) return false;
      if (!fg.r && !fg.g && !fg.b) {  // by black: the product is 0, only the background's share is left
        span_avx2<false>(d, n, _mm256_setzero_si256(), lanes(q, q, q, 32768), _mm256_setzero_si256());
        return true;
      }
      span_avx2<true>(d, n, lanes(fg.r, fg.g, fg.b, 0), lanes(q, q, q, 32768), lanes(p, p, p, 0));
      return true;
    case BLEND_MIX:
      span_avx2<false>(d, n, _mm256_setzero_si256(), lanes(q, q, q, 32768), lanes(fg.r * p, fg.g * p, fg.b * p, 0));
      return true;
    case BLEND_MIX_ALPHA: {  // a weight beyond 1.0 would turn the background's share negative
      if (fg.a > 32768) return false;
      const int t = (fg.a * p) >> 15;
      span_avx2<false>(d, n, _mm256_setzero_si256(), lanes(32768 - t, 32768 - t, 32768 - t, 32768),
                       lanes(fg.r * t, fg.g * t, fg.b * t, 0));
      return true;
    }
    case BLEND_ALPHA:
      span_alpha_avx2(d, n, fg, p);
      return true;
  }
  return false;
}
QM_SIMD_POP
#endif

}  // namespace

void blend_span(lrgb_t* d, long n, lrgb_t fg, int p, int mode) {
  if (n <= 0 || mode < BLEND_REPLACE || mode > BLEND_ALPHA) return;  // other modes keep the pixels
  if (p < 0) p = 0;
  // The interpolating modes at weight 0 keep every pixel exactly.
  const bool interpolating = mode == BLEND_MULTIPLY || mode == BLEND_MIX || mode == BLEND_MIX_ALPHA ||
                             mode == BLEND_ALPHA;
  if (interpolating && p == 0) return;
  if (mode >= BLEND_MULTIPLY && p > 32768) p = 32768;
#if defined(__GNUC__) && defined(__x86_64__)
  static const bool has_avx2 = __builtin_cpu_supports("avx2");
  if (has_avx2 && blend_span_avx2(d, n, fg, p, mode)) return;
#endif
  with_blend_mode(mode, [&](auto m) {
    for (long i = 0; i < n; i++) d[i] = blend_mode<decltype(m)::value>(d[i], fg, p);
  });
}
