#include "toolkit/graphics/drawline.h"

#include <cmath>

#include "toolkit/fixedpoint/fp.h"
#include "toolkit/graphics/blending.h"
#include "toolkit/graphics/line_band.h"

double blur_extent(double radius, double intensity) {
  struct cache_t {
    double intensity = -1, radius = -1, extent = 0;
  };
  thread_local cache_t cache;
  if (intensity == cache.intensity && radius == cache.radius) return cache.extent;
  cache.intensity = intensity;
  cache.radius = radius;
  cache.extent = intensity > 0.0002 ? radius * std::sqrt(std::log(intensity / 0.0002)) : 0.0;
  return cache.extent;
}

namespace {

// Clamps *a into lo..hi; the partner coordinate *b of the same endpoint follows the line
// towards the other endpoint (oa, ob) unless both endpoints share the clamped coordinate.
void clamp_end(double* a, double* b, double oa, double ob, double lo, double hi) {
  double t = *a < lo ? lo : *a > hi ? hi : *a;
  if (t == *a) return;
  if (oa != *a) *b = *b + (ob - *b) * (t - *a) / (oa - *a);
  *a = t;
}

int64_t to_fixed(double v) { return (int64_t)std::llround(v * 65536); }  // half away from zero

}  // namespace

void border_clip(double* x1, double* y1, double* x2, double* y2, double xmax, double ymax, double margin) {
  double xl = -margin, xh = xmax + margin, yl = -margin, yh = ymax + margin;
  clamp_end(x1, y1, *x2, *y2, xl, xh);
  clamp_end(y1, x1, *y2, *x2, yl, yh);
  clamp_end(x2, y2, *x1, *y1, xl, xh);
  clamp_end(y2, x2, *y1, *x1, yl, yh);
  // A segment that misses the rectangle can be carried outside again by the moves above;
  // press such endpoints onto the border.
  auto press = [](double v, double lo, double hi) { return v < lo ? lo : v > hi ? hi : v; };
  *x1 = press(*x1, xl, xh);
  *y1 = press(*y1, yl, yh);
  *x2 = press(*x2, xl, xh);
  *y2 = press(*y2, yl, yh);
}

void draw_line_thin(lrgb_t* fb, int w, int h, lrgb_t colour, int mode, double x1, double y1, double x2, double y2,
                    double radius, double intensity) {
  if (!fb || w <= 0 || h <= 0 || !(radius > 0) || !std::isfinite(radius)) return;
  if (!std::isfinite(x1) || !std::isfinite(y1) || !std::isfinite(x2) || !std::isfinite(y2)) return;
  double g = blur_extent(radius, intensity);
  border_clip(&x1, &y1, &x2, &y2, w - 1, h - 1, g);
  double dx = x2 - x1, dy = y2 - y1;
  if (std::hypot(dx, dy) == 0) return;
  int64_t X1 = to_fixed(x1), Y1 = to_fixed(y1), X2 = to_fixed(x2), Y2 = to_fixed(y2);
  uint32_t angle = (uint32_t)fpatan2_d2(Y2 - Y1, X2 - X1);
  int64_t c = fpcos_d2(angle), s = -(int64_t)fpcos_d2(3u * (1u << 30) - angle);
  // Direction over radius with 30 fractional bits (c and s carry 25).
  int64_t C = std::llround(c * 32.0 / radius), S = std::llround(s * 32.0 / radius);
  // Endpoint terms in 16.16 radius units; 128-bit because tiny radii make C large.
  auto proj = [](int64_t a, int64_t ca, int64_t b, int64_t cb) {
    return (int64_t)(((__int128)a * ca + (__int128)b * cb) >> 30);
  };
  int64_t u1_0 = proj(X1, C, Y1, S), u2_0 = proj(X2, C, Y2, S), v_0 = proj(X1, -S, Y1, C);
  int32_t ii = intensity_weight(intensity);
  line_band_t band = line_band(x1, y1, x2, y2, g);
  with_blend_mode(mode, [&](auto m) {
    line_band_walk(band, w, h, [&](long px, long py) {
      int64_t pu = (px * C + py * S) >> 14;
      int64_t pv = (py * C - px * S) >> 14;
      int64_t u1 = pu - u1_0, u2 = pu - u2_0, v = pv - v_0;
      int64_t wgt = (((int64_t)fpgauss_d0(v) * (fperfr_d0(u1) - fperfr_d0(u2))) >> 15) * ii >> 15;
      lrgb_t& px_ref = fb[py * w + px];
      px_ref = blend_mode<decltype(m)::value>(px_ref, colour, (int)wgt);
    });
  });
}

void draw_line_thin_short(lrgb_t* fb, int w, int h, lrgb_t colour, int mode, double x1, double y1, double x2,
                          double y2, double u1, double u2, double radius, double intensity) {
  if (!(u1 < u2)) return;
  double dx = x2 - x1, dy = y2 - y1;
  double sx = u1 == 0 ? x1 : x1 + dx * u1, sy = u1 == 0 ? y1 : y1 + dy * u1;
  double ex = u2 == 1.0 ? x2 : x1 + dx * u2, ey = u2 == 1.0 ? y2 : y1 + dy * u2;
  draw_line_thin(fb, w, h, colour, mode, sx, sy, ex, ey, radius, intensity);
}
