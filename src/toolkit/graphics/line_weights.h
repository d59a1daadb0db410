// The weights of a thin line's pixels: what draw_line_thin blends each pixel of its band
// with, for callers that gather them instead of drawing.
#pragma once
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <initializer_list>
#include <cstdint>

#include "toolkit/fixedpoint/fp.h"
#include "toolkit/graphics/blending.h"
#include "toolkit/graphics/drawline.h"
#include "toolkit/graphics/line_band.h"

// A segment as line_thin_weights walks it, found once: its band and the fixed-point terms of
// its pixels' weights.
struct line_thin_t {
  bool drawn = false;  // false: no pixel is visited
  int64_t C = 0, S = 0;  // direction over radius, 30 fractional bits
  int64_t u1_0 = 0, u2_0 = 0, v_0 = 0;  // the endpoints' terms, 16.16 radius units
  int32_t ii = 0;
  line_band_t band{};
};

// Nothing is drawn for a zero-length segment, a radius that is not positive, or a coordinate
// that is not finite.
inline line_thin_t line_thin_prepare(int w, int h, double x1, double y1, double x2, double y2, double radius,
                                     double intensity) {
  line_thin_t L;
  if (w <= 0 || h <= 0 || !(radius > 0) || !std::isfinite(radius)) return L;
  if (!std::isfinite(x1) || !std::isfinite(y1) || !std::isfinite(x2) || !std::isfinite(y2)) return L;
  const double g = blur_extent(radius, intensity);
  border_clip(&x1, &y1, &x2, &y2, w - 1, h - 1, g);
  const double dx = x2 - x1, dy = y2 - y1;
  if (std::hypot(dx, dy) == 0) return L;
  auto fixed = [](double v) { return (int64_t)std::llround(v * 65536); };  // half away from zero
  const int64_t X1 = fixed(x1), Y1 = fixed(y1), X2 = fixed(x2), Y2 = fixed(y2);
  const uint32_t angle = (uint32_t)fpatan2_d2(Y2 - Y1, X2 - X1);
  const int64_t c = fpcos_d2(angle), s = -(int64_t)fpcos_d2(3u * (1u << 30) - angle);
  // Direction over radius with 30 fractional bits (c and s carry 25).
  L.C = std::llround(c * 32.0 / radius);
  L.S = std::llround(s * 32.0 / radius);
  // Endpoint terms in 16.16 radius units; 128-bit because tiny radii make C large.
  auto proj = [](int64_t a, int64_t ca, int64_t b, int64_t cb) {
    return (int64_t)(((__int128)a * ca + (__int128)b * cb) >> 30);
  };
  L.u1_0 = proj(X1, L.C, Y1, L.S);
  L.u2_0 = proj(X2, L.C, Y2, L.S);
  L.v_0 = proj(X1, -L.S, Y1, L.C);
  L.ii = intensity_weight(intensity);
  L.band = line_band(x1, y1, x2, y2, g);
  L.drawn = true;
  return L;
}

// The blend weight of band pixel (px, py): the Gaussian across the segment times the
// difference of the error functions along it, times the intensity.
inline int line_thin_weight(const line_thin_t& L, long px, long py) {
  const int64_t pu = (px * L.C + py * L.S) >> 14;
  const int64_t pv = (py * L.C - px * L.S) >> 14;
  const int64_t u1 = pu - L.u1_0, u2 = pu - L.u2_0, v = pv - L.v_0;
  return (int)((((int64_t)fpgauss_d0(v) * (fperfr_d0(u1) - fperfr_d0(u2))) >> 15) * L.ii >> 15);
}

// Calls visit(x, y, weight) once for every pixel of a prepared segment's band inside w x h and
// rows row0 .. row1.
template <class F>
void line_thin_walk(const line_thin_t& L, int w, int h, long row0, long row1, F&& visit) {
  if (!L.drawn) return;
  line_band_walk(L.band, w, h, [&](long px, long py) { visit(px, py, line_thin_weight(L, px, py)); }, row0, row1);
}

// Calls visit(x, y, weight) once for every pixel of the segment's band inside w x h, the weight
// being the blend weight of draw_line_thin. Nothing is visited for a zero-length segment, a
// radius that is not positive, or a coordinate that is not finite.
template <class F>
void line_thin_weights(int w, int h, double x1, double y1, double x2, double y2, double radius, double intensity,
                       F&& visit) {
  line_thin_walk(line_thin_prepare(w, h, x1, y1, x2, y2, radius, intensity), w, h, 0, h - 1, visit);
}

// The columns a0 .. a1 (inside 0 .. w-1) of every row of a prepared segment that the walk
// takes row by row without ever moving across (a vertical one); false for any other.
inline bool line_thin_row_columns(const line_thin_t& L, int w, long* a0, long* a1) {
  if (!L.drawn || !L.band.steep || L.band.slope != 0) return false;
  const long c = (long)((L.band.minor0 + 32768) >> 16);
  *a0 = std::max(0L, c - L.band.half);
  *a1 = std::min((long)w - 1, c + L.band.half);
  return *a0 <= *a1;
}

// For such a segment: the rows lo .. hi of its band inside 0 .. h-1 in which both error
// functions along it have saturated in every column, so that a pixel's weight there depends
// on its row only through its distance across the segment. False when there are none.
inline bool line_thin_inner_rows(const line_thin_t& L, int w, int h, long* lo, long* hi) {
  long a0, a1;
  if (!line_thin_row_columns(L, w, &a0, &a1)) return false;
  const long m0 = L.band.major0 < 0 ? 0 : L.band.major0, m1 = L.band.major1 >= h ? h - 1 : L.band.major1;
  // The terms move one way along a row and along a column: the two end columns bound the rest.
  auto saturated = [&](long py) {
    bool up = true, down = true;
    for (long px : {a0, a1}) {
      const int64_t pu = (px * L.C + py * L.S) >> 14;
      const int32_t e1 = fperfr_d0(pu - L.u1_0), e2 = fperfr_d0(pu - L.u2_0);
      up = up && e1 == 32768 && e2 == 0;
      down = down && e1 == 0 && e2 == 32768;
    }
    return up || down;
  };
  // Along the rows the saturated ones are one stretch (only one of the two kinds can occur
  // along a segment).
  long a = m0, b = m1;
  while (a <= b && !saturated(a)) ++a;
  while (b >= a && !saturated(b)) --b;
  if (a > b) return false;
  *lo = a;
  *hi = b;
  return true;
}

// For rows r0 < r1 of that stretch: true when every column has the same weights in both rows
// and so in every row between them. A column's distance across the segment moves one way from
// row to row, and the Gaussian of it falls as it grows; where it changes sign between the
// rows, the rows between could be nearer the segment than both, unless all are within the
// Gaussian table's first step.
inline bool line_thin_rows_alike(const line_thin_t& L, int w, long r0, long r1) {
  long a0, a1;
  if (!line_thin_row_columns(L, w, &a0, &a1)) return false;
  for (long a = a0; a <= a1; ++a) {
    const int64_t v0 = ((r0 * L.C - a * L.S) >> 14) - L.v_0, v1 = ((r1 * L.C - a * L.S) >> 14) - L.v_0;
    if ((v0 < 0) != (v1 < 0) && std::max(std::abs(v0), std::abs(v1)) >= 256) return false;
    if (line_thin_weight(L, a, r0) != line_thin_weight(L, a, r1)) return false;
  }
  return true;
}

// The endpoints of the part of a segment between fractions u1 and u2 of its length, as
// draw_line_thin_short draws it.
inline void line_short_ends(double x1, double y1, double x2, double y2, double u1, double u2, double* sx, double* sy,
                            double* ex, double* ey) {
  const double dx = x2 - x1, dy = y2 - y1;
  *sx = u1 == 0 ? x1 : x1 + dx * u1;
  *sy = u1 == 0 ? y1 : y1 + dy * u1;
  *ex = u2 == 1.0 ? x2 : x1 + dx * u2;
  *ey = u2 == 1.0 ? y2 : y1 + dy * u2;
}

// The weights draw_line_thin_short blends with (nothing when u1 >= u2).
template <class F>
void line_thin_short_weights(int w, int h, double x1, double y1, double x2, double y2, double u1, double u2,
                             double radius, double intensity, F&& visit) {
  if (!(u1 < u2)) return;
  double sx, sy, ex, ey;
  line_short_ends(x1, y1, x2, y2, u1, u2, &sx, &sy, &ex, &ey);
  line_thin_weights(w, h, sx, sy, ex, ey, radius, intensity, visit);
}
