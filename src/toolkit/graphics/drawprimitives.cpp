#include "toolkit/graphics/drawprimitives.h"

#include <algorithm>
#include <cmath>
#include <vector>
#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#endif

#include "toolkit/fixedpoint/fp.h"
#include "toolkit/graphics/blend_span.h"
#include "toolkit/graphics/blending.h"
#include "toolkit/graphics/drawline.h"
#include "toolkit/simd_target.h"

namespace {

int64_t to_fixed(double v) { return (int64_t)std::llround(v * 65536); }

bool finite_all(std::initializer_list<double> vs) {
  for (double v : vs)
    if (!std::isfinite(v)) return false;
  return true;
}

// Pixel range lo..hi (inclusive) clamped to 0..n-1; false when empty.
bool span(double lo, double hi, int n, long* a, long* b) {
  double fa = std::ceil(lo), fb = std::floor(hi);
  if (fa < 0) fa = 0;
  if (fb > n - 1) fb = n - 1;
  if (fa > fb) return false;
  *a = (long)fa;
  *b = (long)fb;
  return true;
}

// A rounded rectangle prepared for distance queries in 16.16.
struct rrect_t {
  int64_t ix0, iy0, ix1, iy1, R;
};

rrect_t make_rrect(double x0, double y0, double x1, double y1, double R) {
  double half = std::fmin(x1 - x0, y1 - y0) / 2;
  if (R > half) R = half;  // corner centres may not cross
  if (R < 0) R = 0;
  return rrect_t{to_fixed(x0 + R), to_fixed(y0 + R), to_fixed(x1 - R), to_fixed(y1 - R), to_fixed(R)};
}

// The pixels lo .. hi (inclusive) whose 16.16 coordinate lies in [a, b]: inside a rounded
// rectangle's inner rectangle every pixel is at the distance -R, so they all get one weight.
void inner_span(int64_t a, int64_t b, long* lo, long* hi) {
  *lo = (long)((a + 65535) >> 16);
  *hi = (long)(b >> 16);
}

}  // namespace

void draw_circle(int kind, lrgb_t* fb, int w, int h, lrgb_t colour, int mode, double x, double y, double R,
                 double radius, double intensity) {
  if (!fb || w <= 0 || h <= 0 || !(radius > 0) || !finite_all({x, y, R, radius})) return;
  if (R < 0) R = 0;
  double g = blur_extent(radius, intensity);
  long j0, j1, i0, i1;
  if (!span(y - R - g, y + R + g, h, &j0, &j1) || !span(x - R - g, x + R + g, w, &i0, &i1)) return;
  int64_t cx = to_fixed(x), cy = to_fixed(y), Rf = to_fixed(R);
  // A ring thinner than its extent has no hole at all, not even at its centre pixel.
  int64_t outer = to_fixed(R + g), inner = kind == CIRCLE_RING ? to_fixed(std::fmax(R - g, 0.0)) : 0;
  uint64_t outer2 = (uint64_t)(outer * outer);
  uint64_t inner2 = (uint64_t)(inner * inner);
  int64_t k = std::llround(65536 / radius);
  int32_t ii = intensity_weight(intensity);
  with_blend_mode(mode, [&](auto m) {
    for (long j = j0; j <= j1; j++) {
      int64_t dy = (j << 16) - cy;
      for (long i = i0; i <= i1; i++) {
        int64_t dx = (i << 16) - cx;
        uint64_t d2 = (uint64_t)(dx * dx + dy * dy);
        if (d2 >= outer2 || (inner > 0 && d2 <= inner2)) continue;
        int64_t d = isqrt_d1i(d2);
        int64_t t = ((Rf - d) * k) >> 16;
        int64_t wgt = kind == CIRCLE_RING ? fpgauss_d0(t) : fperfr_d0(t);
        lrgb_t& p = fb[j * w + i];
        p = blend_mode<decltype(m)::value>(p, colour, (int)((wgt * ii) >> 15));
      }
    }
  });
}

int64_t get_dist_to_roundrect(int64_t px, int64_t py, int64_t ix0, int64_t iy0, int64_t ix1, int64_t iy1, int64_t R) {
  int64_t ox = px < ix0 ? ix0 - px : px > ix1 ? px - ix1 : 0;  // distance outside the inner rectangle
  int64_t oy = py < iy0 ? iy0 - py : py > iy1 ? py - iy1 : 0;
  if (ox && oy) {
    // fphypot takes 32-bit values; pixels far outside are simply far away.
    if (ox > 0x3fffffff || oy > 0x3fffffff) return (ox > oy ? ox : oy) - R;
    return fphypot((int32_t)ox, (int32_t)oy) - R;
  }
  return (ox ? ox : oy) - R;
}

namespace {

// Blends colour over rows j0..j1 and columns i0..i1 of fb at weight_at(i, j). In the rows
// ra..rb and columns ca..cb a pixel is outside the inner rectangle in neither direction, so
// every such pixel has the weight inside; beside them only one direction counts, so the rows
// above and below take one weight a row and the columns to the sides one weight a column.
template <class Weight>
void blend_rrect_area(lrgb_t* fb, int w, lrgb_t colour, int mode, long j0, long j1, long i0, long i1, long ra,
                      long rb, long ca, long cb, int inside, Weight weight_at) {
  ra = std::max(ra, j0), rb = std::min(rb, j1);
  ca = std::max(ca, i0), cb = std::min(cb, i1);
  if (ra > rb) ra = j1 + 1, rb = j1;
  if (ca > cb) ca = i1 + 1, cb = i1;
  with_blend_mode(mode, [&](auto m) {
    auto blend_at = [&](lrgb_t& p, int wgt) { p = blend_mode<decltype(m)::value>(p, colour, wgt); };
    for (long j = j0; j <= j1; j++) {
      lrgb_t* row = fb + j * w;
      const bool uniform = j >= ra && j <= rb;
      if (ca <= cb) blend_span(row + ca, cb - ca + 1, colour, uniform ? inside : weight_at(ca, j), mode);
      if (uniform) continue;
      for (long i = i0; i < ca; i++) blend_at(row[i], weight_at(i, j));
      for (long i = cb + 1; i <= i1; i++) blend_at(row[i], weight_at(i, j));
    }
    if (ra > rb) return;
    for (long i = i0; i <= i1; i++) {
      if (i == ca) i = cb + 1;
      if (i > i1) break;
      const int wgt = weight_at(i, ra);
      for (long j = ra; j <= rb; j++) blend_at(fb[j * w + i], wgt);
    }
  });
}

}  // namespace

void draw_roundrect(lrgb_t* fb, int w, int h, lrgb_t colour, int mode, double x0, double y0, double x1, double y1,
                    double R, double radius, double intensity) {
  if (!fb || w <= 0 || h <= 0 || !(radius > 0) || !finite_all({x0, y0, x1, y1, R, radius})) return;
  if (x1 < x0 || y1 < y0) return;
  double g = blur_extent(radius, intensity);
  long j0, j1, i0, i1;
  if (!span(y0 - g, y1 + g, h, &j0, &j1) || !span(x0 - g, x1 + g, w, &i0, &i1)) return;
  rrect_t rr = make_rrect(x0, y0, x1, y1, R);
  int64_t k = std::llround(65536 / radius);
  int32_t ii = intensity_weight(intensity);
  auto weight = [&](int64_t D) { return (int)(((int64_t)fperfr_d0(-((D * k) >> 16)) * ii) >> 15); };
  const int inside = weight(-rr.R);
  long ca, cb, ra, rb;
  inner_span(rr.ix0, rr.ix1, &ca, &cb);
  inner_span(rr.iy0, rr.iy1, &ra, &rb);
  blend_rrect_area(fb, w, colour, mode, j0, j1, i0, i1, ra, rb, ca, cb, inside, [&](long i, long j) {
    return weight(get_dist_to_roundrect(i << 16, j << 16, rr.ix0, rr.iy0, rr.ix1, rr.iy1, rr.R));
  });
}

void draw_roundrect_frame(lrgb_t* fb, int w, int h, lrgb_t colour, int mode, double r_out, double r_in,
                          double radius, double intensity, double ox0, double oy0, double ox1, double oy1,
                          double ix0, double iy0, double ix1, double iy1) {
  if (!fb || w <= 0 || h <= 0 || !(radius > 0)) return;
  if (!finite_all({r_out, r_in, radius, ox0, oy0, ox1, oy1, ix0, iy0, ix1, iy1})) return;
  if (ox1 < ox0 || oy1 < oy0) return;
  double g = blur_extent(radius, intensity);
  long j0, j1, i0, i1;
  if (!span(oy0 - g, oy1 + g, h, &j0, &j1) || !span(ox0 - g, ox1 + g, w, &i0, &i1)) return;
  rrect_t ro = make_rrect(ox0, oy0, ox1, oy1, r_out);
  bool has_inner = ix1 >= ix0 && iy1 >= iy0;
  rrect_t ri = has_inner ? make_rrect(ix0, iy0, ix1, iy1, r_in) : rrect_t{};
  int64_t k = std::llround(65536 / radius);
  int32_t ii = intensity_weight(intensity);
  auto weight = [&](int64_t D_out, int64_t D_in, bool inner) {
    int64_t wgt = fperfr_d0(-((D_out * k) >> 16)) - (inner ? fperfr_d0(-((D_in * k) >> 16)) : 0);
    if (wgt < 0) wgt = 0;
    return (int)((wgt * ii) >> 15);
  };
  // Inside both inner rectangles every pixel has the same two distances.
  long ca = 1, cb = 0, ra = 1, rb = 0;
  if (has_inner) {
    long oa, ob, ia, ib;
    inner_span(ro.ix0, ro.ix1, &oa, &ob);
    inner_span(ri.ix0, ri.ix1, &ia, &ib);
    ca = std::max(oa, ia), cb = std::min(ob, ib);
    inner_span(ro.iy0, ro.iy1, &oa, &ob);
    inner_span(ri.iy0, ri.iy1, &ia, &ib);
    ra = std::max(oa, ia), rb = std::min(ob, ib);
  }
  const int inside = weight(-ro.R, -ri.R, has_inner);
  blend_rrect_area(fb, w, colour, mode, j0, j1, i0, i1, ra, rb, ca, cb, inside, [&](long i, long j) {
    const int64_t px = i << 16, py = j << 16;
    const int64_t D_out = get_dist_to_roundrect(px, py, ro.ix0, ro.iy0, ro.ix1, ro.iy1, ro.R);
    const int64_t D_in = has_inner ? get_dist_to_roundrect(px, py, ri.ix0, ri.iy0, ri.ix1, ri.iy1, ri.R) : 0;
    return weight(D_out, D_in, has_inner);
  });
}

namespace {

// The gradient's colour at weight k (0..32768) from colour0 towards colour1.
inline lrgb_t gradient_colour(lrgb_t c0, lrgb_t c1, int64_t k) {
  return lrgb_t{(uint16_t)((c0.r * (32768 - k) + c1.r * k) >> 15), (uint16_t)((c0.g * (32768 - k) + c1.g * k) >> 15),
                (uint16_t)((c0.b * (32768 - k) + c1.b * k) >> 15), c0.a};
}

inline int64_t gradient_weight(double gx, double gy) { return (int64_t)(gx * gy * 32768 + 0.5); }

#if defined(__GNUC__) && defined(__x86_64__)
QM_SIMD_PUSH("avx2")
// A replacing row four pixels at a time: the weight's double arithmetic is the scalar one
// lane by lane, and with k in 0..32768 each channel is c0 + ((c1 - c0) * k >> 15) exactly,
// within 32 bits and between the two colours.
void gradient_row_avx2(lrgb_t* row, const double* gx, int w, double gy, lrgb_t c0, lrgb_t c1) {
  const __m256d y = _mm256_set1_pd(gy), scale = _mm256_set1_pd(32768), half = _mm256_set1_pd(0.5);
  const __m256i base = _mm256_setr_epi32(c0.r, c0.g, c0.b, c0.a, c0.r, c0.g, c0.b, c0.a);
  const __m256i diff = _mm256_setr_epi32(c1.r - c0.r, c1.g - c0.g, c1.b - c0.b, 0, c1.r - c0.r, c1.g - c0.g,
                                         c1.b - c0.b, 0);
  const __m256i pick01 = _mm256_setr_epi32(0, 0, 0, 0, 1, 1, 1, 1), pick23 = _mm256_setr_epi32(2, 2, 2, 2, 3, 3, 3, 3);
  int i = 0;
  for (; i + 4 <= w; i += 4) {
    const __m256d t = _mm256_add_pd(_mm256_mul_pd(_mm256_mul_pd(_mm256_loadu_pd(gx + i), y), scale), half);
    const __m256i k = _mm256_castsi128_si256(_mm256_cvttpd_epi32(t));
    const __m256i a = _mm256_add_epi32(base, _mm256_srai_epi32(_mm256_mullo_epi32(diff, _mm256_permutevar8x32_epi32(k, pick01)), 15));
    const __m256i b = _mm256_add_epi32(base, _mm256_srai_epi32(_mm256_mullo_epi32(diff, _mm256_permutevar8x32_epi32(k, pick23)), 15));
    // packus interleaves the 128-bit halves: pixels 0, 2, 1, 3.
    _mm256_storeu_si256((__m256i*)(void*)(row + i), _mm256_permute4x64_epi64(_mm256_packus_epi32(a, b), 0xd8));
  }
  for (; i < w; i++) row[i] = gradient_colour(c0, c1, gradient_weight(gx[i], gy));
}
QM_SIMD_POP
#endif

}  // namespace

void draw_gaussian_gradient(lrgb_t* fb, int w, int h, lrgb_t colour0, lrgb_t colour1, int mode, double x, double y,
                            double size, double offset_x, double offset_y) {
  if (!fb || w <= 0 || h <= 0 || size == 0 || !finite_all({x, y, size, offset_x, offset_y})) return;
  // The weight is separable: one Gaussian per column and one per row, each in 0..1.
  auto gauss = [](double t) {
    int64_t f = to_fixed(t);
    if (f < 0) f = -f;
    return f >= 4 * 65536 ? 0.0 : fpgauss_d1i(f) * (1.0 / 1073741824.0);
  };
  std::vector<double> gx(w), gy(h);
  for (int i = 0; i < w; i++) gx[i] = gauss((x - i) / size + offset_x);
  for (int j = 0; j < h; j++) gy[j] = gauss((y - j) / size + offset_y);
#if defined(__GNUC__) && defined(__x86_64__)
  static const bool has_avx2 = __builtin_cpu_supports("avx2");
  if (mode == BLEND_REPLACE && has_avx2) {
    for (int j = 0; j < h; j++) gradient_row_avx2(fb + (long)j * w, gx.data(), w, gy[j], colour0, colour1);
    return;
  }
#endif
  with_blend_mode(mode, [&](auto m) {
    for (int j = 0; j < h; j++) {
      lrgb_t* row = fb + (long)j * w;
      for (int i = 0; i < w; i++)
        row[i] = blend_mode<decltype(m)::value>(row[i], gradient_colour(colour0, colour1, gradient_weight(gx[i], gy[j])),
                                                32768);
    }
  });
}
