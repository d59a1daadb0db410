#include "toolkit/graphics/drawline.h"

#include <cmath>

#include "toolkit/fixedpoint/fp.h"
#include "toolkit/graphics/blending.h"
#include "toolkit/graphics/line_weights.h"

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
  if (!fb) return;
  with_blend_mode(mode, [&](auto m) {
    line_thin_weights(w, h, x1, y1, x2, y2, radius, intensity, [&](long px, long py, int wgt) {
      lrgb_t& px_ref = fb[py * w + px];
      px_ref = blend_mode<decltype(m)::value>(px_ref, colour, wgt);
    });
  });
}

void draw_line_thin_short(lrgb_t* fb, int w, int h, lrgb_t colour, int mode, double x1, double y1, double x2,
                          double y2, double u1, double u2, double radius, double intensity) {
  if (!(u1 < u2)) return;
  double sx, sy, ex, ey;
  line_short_ends(x1, y1, x2, y2, u1, u2, &sx, &sy, &ex, &ey);
  draw_line_thin(fb, w, h, colour, mode, sx, sy, ex, ey, radius, intensity);
}
