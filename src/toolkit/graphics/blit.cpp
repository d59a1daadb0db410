#include "toolkit/graphics/blit.h"

#include <algorithm>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#endif

#include "toolkit/graphics/blending.h"
#include "toolkit/simd_target.h"

namespace {

// The additive blend at full weight, n pixels: each colour channel min(d + s, 32768), the
// alpha kept. With SSE2 two pixels at a time (d - (d - 32768 saturated) is min(d, 32768)).
void add_span(lrgb_t* d, const lrgb_t* s, long n) {
  long i = 0;
#ifdef __SSE2__
  const __m128i full = _mm_set1_epi16((short)32768);
  const __m128i alpha = _mm_set_epi16(-1, 0, 0, 0, -1, 0, 0, 0);
  for (; i + 2 <= n; i += 2) {
    const __m128i a = _mm_loadu_si128((const __m128i*)(const void*)(d + i));
    const __m128i sum = _mm_adds_epu16(a, _mm_loadu_si128((const __m128i*)(const void*)(s + i)));
    const __m128i v = _mm_sub_epi16(sum, _mm_subs_epu16(sum, full));
    _mm_storeu_si128((__m128i*)(void*)(d + i), _mm_or_si128(_mm_and_si128(alpha, a), _mm_andnot_si128(alpha, v)));
  }
#endif
  for (; i < n; i++) d[i] = blend_mode<BLEND_ADD>(d[i], s[i], 32768);
}

}  // namespace

void blit_sprite(lrgb_t* dst, int w, int h, const lrgb_t* sprite, int sw, int sh, int x, int y, int mode,
                 int halign, int valign) {
  if (!dst || !sprite || sw <= 0 || sh <= 0 || w <= 0 || h <= 0) return;
  long x0 = halign == ALIGN_RIGHT ? (long)x + 1 - sw : halign == ALIGN_CENTRE ? (long)x - (sw >> 1) : x;
  long y0 = valign == ALIGN_BOTTOM ? (long)y + 1 - sh : valign == ALIGN_CENTRE ? (long)y - (sh >> 1) : y;
  long cx0 = x0 < 0 ? -x0 : 0, cx1 = x0 + sw < w ? sw : w - x0;
  long cy0 = y0 < 0 ? -y0 : 0, cy1 = y0 + sh < h ? sh : h - y0;
  if (cx0 >= cx1 || cy0 >= cy1) return;
  with_blend_mode(mode, [&](auto m) {
    for (long j = cy0; j < cy1; j++) {
      const lrgb_t* s = sprite + j * sw + cx0;
      lrgb_t* d = dst + (y0 + j) * w + x0 + cx0;
      if (m == 0)
        memcpy(d, s, (size_t)(cx1 - cx0) * sizeof(lrgb_t));
      else if (m == 1)
        add_span(d, s, cx1 - cx0);
      else
        for (long i = 0; i < cx1 - cx0; i++) d[i] = blend_mode<decltype(m)::value>(d[i], s[i], 32768);
    }
  });
}

namespace {

// One pixel of the layout laid over the frame by its alpha.
inline void lay(lrgb_t& d, const lrgb_t& s) {
  if (s.a == 0) return;
  if (s.a >= 32768) {
    d = s;
    return;
  }
  const int a = s.a;
  d.r = (uint16_t)(d.r + (((int)s.r - d.r) * a >> 15));
  d.g = (uint16_t)(d.g + (((int)s.g - d.g) * a >> 15));
  d.b = (uint16_t)(d.b + (((int)s.b - d.b) * a >> 15));
}

int kind_of(uint16_t alpha) { return alpha == 0 ? 0 : alpha >= 32768 ? LAYOUT_OPAQUE : LAYOUT_PARTIAL; }

// A run whose every alpha lies strictly between 0 and 32768, as lay would do it pixel by pixel.
void lay_partial(lrgb_t* d, const lrgb_t* s, int n) {
  for (int i = 0; i < n; ++i) lay(d[i], s[i]);
}

#if defined(__GNUC__) && defined(__x86_64__)
QM_SIMD_PUSH("avx2")
// The same two pixels at a time in 32-bit lanes: the products of 16-bit differences and
// alphas need them, and the result always lies between the two channels, so it packs back
// exactly.
void lay_partial_avx2(lrgb_t* d, const lrgb_t* s, int n) {
  int i = 0;
  for (; i + 2 <= n; i += 2) {
    const __m256i dv = _mm256_cvtepu16_epi32(_mm_loadu_si128((const __m128i*)(const void*)(d + i)));
    const __m256i sv = _mm256_cvtepu16_epi32(_mm_loadu_si128((const __m128i*)(const void*)(s + i)));
    const __m256i a = _mm256_shuffle_epi32(sv, 0xff);
    const __m256i mixed = _mm256_add_epi32(dv, _mm256_srai_epi32(_mm256_mullo_epi32(_mm256_sub_epi32(sv, dv), a), 15));
    const __m256i kept = _mm256_blend_epi32(mixed, dv, 0x88);  // the frame's alpha stays
    const __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi32(kept, kept), 0x08);
    _mm_storeu_si128((__m128i*)(void*)(d + i), _mm256_castsi256_si128(packed));
  }
  lay_partial(d + i, s + i, n - i);
}
QM_SIMD_POP
#endif

typedef void (*lay_fn)(lrgb_t*, const lrgb_t*, int);

lay_fn best_lay_partial() {
#if defined(__GNUC__) && defined(__x86_64__)
  if (__builtin_cpu_supports("avx2")) return lay_partial_avx2;
#endif
  return lay_partial;
}

}  // namespace

void blit_layout(lrgb_t* dst, const lrgb_t* layout, int w, int h) {
  if (w <= 0 || h <= 0) return;
  const long n = (long)w * h;
  for (long i = 0; i < n; i++) lay(dst[i], layout[i]);
}

namespace {

// The end of the run of pixels of the given kind from x on.
int run_end(const lrgb_t* row, int x, int w, int kind) {
  while (x < w && kind_of(row[x].a) == kind) ++x;
  return x;
}

#if defined(__GNUC__) && defined(__x86_64__)
QM_SIMD_PUSH("avx2")
// The same eight pixels at a time: in the byte masks of 64 bytes each alpha's high byte
// carries its pixel's bit, set for alpha 0 (both bytes compare equal to 0) or for an alpha of
// 32768 or more (its top bit).
int run_end_avx2(const lrgb_t* row, int x, int w, int kind) {
  const uint64_t alpha_hi = 0x8080808080808080ull;
  const __m256i zero = _mm256_setzero_si256();
  for (; x + 8 <= w; x += 8) {
    const __m256i a = _mm256_loadu_si256((const __m256i*)(const void*)(row + x));
    const __m256i b = _mm256_loadu_si256((const __m256i*)(const void*)(row + x + 4));
    auto mask = [](__m256i lo, __m256i hi) {
      return (uint64_t)(uint32_t)_mm256_movemask_epi8(lo) | (uint64_t)(uint32_t)_mm256_movemask_epi8(hi) << 32;
    };
    const uint64_t clear = mask(_mm256_cmpeq_epi16(a, zero), _mm256_cmpeq_epi16(b, zero));
    const uint64_t opaque = mask(a, b);
    const uint64_t same = (kind == 0 ? clear : kind == LAYOUT_OPAQUE ? opaque : ~(clear | opaque)) & alpha_hi;
    if (same != alpha_hi) return x + __builtin_ctzll(~same & alpha_hi) / 8;
  }
  return run_end(row, x, w, kind);
}
QM_SIMD_POP
#endif

typedef int (*run_end_fn)(const lrgb_t*, int, int, int);

run_end_fn best_run_end() {
#if defined(__GNUC__) && defined(__x86_64__)
  if (__builtin_cpu_supports("avx2")) return run_end_avx2;
#endif
  return run_end;
}

}  // namespace

int layout_runs_build(int32_t* runs, const lrgb_t* layout, int w, int h) {
  static const run_end_fn run_end_best = best_run_end();
  int32_t* o = runs;
  for (int y = 0; y < h; ++y) {
    const lrgb_t* row = layout + (size_t)y * w;
    int32_t* count = o++;
    *count = 0;
    for (int x = 0; x < w;) {
      const int kind = kind_of(row[x].a);
      const int first = x;
      x = run_end_best(row, x + 1, w, kind);
      if (kind == 0) continue;
      *o++ = first;
      *o++ = x;
      *o++ = kind;
      ++*count;
    }
  }
  return (int)(o - runs);
}

void blit_layout_runs(lrgb_t* dst, const lrgb_t* layout, const int32_t* runs, int w, int h) {
  static const lay_fn lay_partial_best = best_lay_partial();
  for (int y = 0; y < h; ++y) {
    const size_t row = (size_t)y * w;
    for (int32_t n = *runs++; n > 0; --n, runs += 3) {
      const int first = runs[0], end = runs[1];
      if (runs[2] == LAYOUT_OPAQUE) {
        std::memcpy(dst + row + first, layout + row + first, sizeof(lrgb_t) * (end - first));
      } else {
        lay_partial_best(dst + row + first, layout + row + first, end - first);
      }
    }
  }
}

void pack_runs(const lrgb_t* image, int w, int h, int32_t* runs, lrgb_t* packed, const int32_t* lo,
               const int32_t* hi) {
  for (int y = 0; y < h; ++y) {
    const lrgb_t* g = image + (size_t)y * w;
    int32_t* count = runs++;
    *count = 0;
    const int end = hi ? std::min(hi[y], w) : w;
    for (int x = lo ? std::max(lo[y], 0) : 0; x < end;) {
      while (x < end && !g[x].a) ++x;
      if (x == end) break;
      *runs++ = x;
      while (x < end && g[x].a) *packed++ = g[x++];
      *runs++ = x;
      ++*count;
    }
  }
}

void add_runs(lrgb_t* dst, int w, int h, const int32_t* runs, const lrgb_t* packed) {
  for (int y = 0; y < h; ++y) {
    lrgb_t* row = dst + (size_t)y * w;
    for (int32_t n = *runs++; n > 0; --n, runs += 2) {
      add_span(row + runs[0], packed, runs[1] - runs[0]);
      packed += runs[1] - runs[0];
    }
  }
}
