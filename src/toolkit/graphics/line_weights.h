// The weights of a thin line's pixels: what draw_line_thin blends each pixel of its band
// with, for callers that gather them instead of drawing.
#pragma once
#include <cmath>
#include <cstdint>

#include "toolkit/fixedpoint/fp.h"
#include "toolkit/graphics/blending.h"
#include "toolkit/graphics/drawline.h"
#include "toolkit/graphics/line_band.h"

// Calls visit(x, y, weight) once for every pixel of the segment's band inside w x h, the weight
// being the blend weight of draw_line_thin (the Gaussian across the segment times the
// difference of the error functions along it, times the intensity). Nothing is visited for a
// zero-length segment, a radius that is not positive, or a coordinate that is not finite.
template <class F>
void line_thin_weights(int w, int h, double x1, double y1, double x2, double y2, double radius, double intensity,
                       F&& visit) {
  if (w <= 0 || h <= 0 || !(radius > 0) || !std::isfinite(radius)) return;
  if (!std::isfinite(x1) || !std::isfinite(y1) || !std::isfinite(x2) || !std::isfinite(y2)) return;
  const double g = blur_extent(radius, intensity);
  border_clip(&x1, &y1, &x2, &y2, w - 1, h - 1, g);
  const double dx = x2 - x1, dy = y2 - y1;
  if (std::hypot(dx, dy) == 0) return;
  auto fixed = [](double v) { return (int64_t)std::llround(v * 65536); };  // half away from zero
  const int64_t X1 = fixed(x1), Y1 = fixed(y1), X2 = fixed(x2), Y2 = fixed(y2);
  const uint32_t angle = (uint32_t)fpatan2_d2(Y2 - Y1, X2 - X1);
  const int64_t c = fpcos_d2(angle), s = -(int64_t)fpcos_d2(3u * (1u << 30) - angle);
  // Direction over radius with 30 fractional bits (c and s carry 25).
  const int64_t C = std::llround(c * 32.0 / radius), S = std::llround(s * 32.0 / radius);
  // Endpoint terms in 16.16 radius units; 128-bit because tiny radii make C large.
  auto proj = [](int64_t a, int64_t ca, int64_t b, int64_t cb) {
    return (int64_t)(((__int128)a * ca + (__int128)b * cb) >> 30);
  };
  const int64_t u1_0 = proj(X1, C, Y1, S), u2_0 = proj(X2, C, Y2, S), v_0 = proj(X1, -S, Y1, C);
  const int32_t ii = intensity_weight(intensity);
  const line_band_t band = line_band(x1, y1, x2, y2, g);
  line_band_walk(band, w, h, [&](long px, long py) {
    const int64_t pu = (px * C + py * S) >> 14;
    const int64_t pv = (py * C - px * S) >> 14;
    const int64_t u1 = pu - u1_0, u2 = pu - u2_0, v = pv - v_0;
    const int64_t wgt = (((int64_t)fpgauss_d0(v) * (fperfr_d0(u1) - fperfr_d0(u2))) >> 15) * ii >> 15;
    visit(px, py, (int)wgt);
  });
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

// Columns x0 .. x1 (inclusive, inside 0 .. w-1) that hold every pixel line_thin_weights can
// visit for the segment, perhaps more; false when it can visit none.
inline bool line_thin_columns(int w, int h, double x1, double y1, double x2, double y2, double radius,
                              double intensity, long* x0, long* x1_out) {
  if (w <= 0 || h <= 0 || !(radius > 0) || !std::isfinite(radius)) return false;
  if (!std::isfinite(x1) || !std::isfinite(y1) || !std::isfinite(x2) || !std::isfinite(y2)) return false;
  const double g = blur_extent(radius, intensity);
  border_clip(&x1, &y1, &x2, &y2, w - 1, h - 1, g);
  // The band reaches g across and sqrt(2) g along the segment, plus a pixel of rounding.
  const double reach = 1.5 * g + 2;
  const long a = (long)std::floor(std::fmin(x1, x2) - reach), b = (long)std::ceil(std::fmax(x1, x2) + reach);
  *x0 = a < 0 ? 0 : a;
  *x1_out = b > w - 1 ? w - 1 : b;
  return *x0 <= *x1_out;
}
