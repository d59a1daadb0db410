// Stereo colouring: a table of 4097 colours along the pan position, made of smooth curves
// of hue, saturation and luminance through five fixed points.
#include <cmath>
#include <vector>

#include "editor/spectrum.h"
#include "engine/inst.h"
#include "toolkit/fastfloat/fastfloat.h"
#include "toolkit/graphics/colour.h"

namespace {

enum { KNOTS = 5 };

struct knot_t {
  double x, y;
};

// The value at integer abscissa p of one cubic Bezier segment whose x runs from x0 to x3,
// found by false position on the segment's x(t).
double bezier_at(const knot_t& k0, const knot_t& k1, const knot_t& k2, const knot_t& k3, int p) {
  const double span = k3.x - k0.x;
  const double s = (p - k0.x) / span, a = (k1.x - k0.x) / span, b = (k2.x - k0.x) / span;
  auto X = [&](double t) { return 3 * (1 - t) * (1 - t) * t * a + 3 * (1 - t) * t * t * b + t * t * t; };
  double t_lo = 0, x_lo = 0, t_hi = 1, x_hi = 1, t = 0, prev = 0.5;
  for (int i = 0; i < 401; ++i) {
    t = t_lo + (t_hi - t_lo) * (s - x_lo) / (x_hi - x_lo);
    const double x = X(t);
    if (x == prev) break;
    prev = x;
    if (x < s) {
      t_lo = t;
      x_lo = x;
    } else if (x > s) {
      t_hi = t;
      x_hi = x;
    }
  }
  const double u = 1 - t;
  return u * u * u * k0.y + 3 * u * u * t * k1.y + 3 * u * t * t * k2.y + t * t * t * k3.y;
}

// A smooth curve through the knots into out[1 .. last knot]. Inner controls follow the
// neighbours' slope, weighted by the abscissas; flat ones stay at the knot's level.
void smooth_curve(const knot_t* k, bool flat, double* out) {
  knot_t before[KNOTS], after[KNOTS];
  after[0] = {k[0].x + (k[1].x - k[0].x) / 3, k[0].y + (k[1].y - k[0].y) / 3};
  before[KNOTS - 1] = {k[KNOTS - 1].x + (k[KNOTS - 2].x - k[KNOTS - 1].x) / 3,
                       k[KNOTS - 1].y + (k[KNOTS - 2].y - k[KNOTS - 1].y) / 3};
  for (int i = 1; i < KNOTS - 1; ++i) {
    const knot_t &A = k[i - 1], &B = k[i], &C = k[i + 1];
    const double d1 = (float)std::sqrt(A.x * A.x + B.x * B.x);
    const double d2 = (float)std::sqrt(C.x * C.x + B.x * B.x);
    const double w1 = d1 / (d1 + d2) / 3, w2 = d2 / (d1 + d2) / 3;
    before[i] = {B.x - (C.x - A.x) * w1, flat ? B.y : B.y - (C.y - A.y) * w1};
    after[i] = {B.x + (C.x - A.x) * w2, flat ? B.y : B.y + (C.y - A.y) * w2};
  }
  for (int i = 0; i < KNOTS - 1; ++i)
    for (int p = (int)std::ceil(k[i].x); p < (int)std::ceil(k[i + 1].x); ++p)
      out[p] = bezier_at(k[i], after[i], before[i + 1], k[i + 1], p);
}

struct pan_table_t {
  lrgb_t c[PAN_ENTRIES];
};

pan_table_t make_pan_table() {
  const double xs[KNOTS] = {0.5, 1024.5, 2048.5, 3072.5, 4096.5};
  double hue[KNOTS] = {291.2, 0, 60, 180, 215};
  const double sat[KNOTS] = {1, 0.8, 1, 1, 1};
  const double lum[KNOTS] = {0.11, 0.11, 0.11, 0.11, 0.11};
  // Unwrapped so that each step turns the short way round: -68.8, 0, 60, 180, 215.
  for (int i = 1; i < KNOTS; ++i) {
    while (hue[i] - hue[i - 1] < -180)
      for (int j = 0; j < i; ++j) hue[j] -= 360;
    while (hue[i] - hue[i - 1] > 180)
      for (int j = 0; j < i; ++j) hue[j] += 360;
  }
  knot_t kh[KNOTS], ks[KNOTS], kl[KNOTS];
  for (int i = 0; i < KNOTS; ++i) {
    kh[i] = {xs[i], hue[i]};
    ks[i] = {xs[i], sat[i]};
    kl[i] = {xs[i], lum[i]};
  }
  std::vector<double> H(PAN_ENTRIES), S(PAN_ENTRIES), L(PAN_ENTRIES);
  smooth_curve(kh, false, H.data());
  smooth_curve(ks, true, S.data());
  smooth_curve(kl, false, L.data());
  H[0] = -68.8;
  S[0] = 1;
  L[0] = 0.11;
  pan_table_t t;
  for (int p = 0; p < PAN_ENTRIES; ++p) {
    double r, g, b;
    hsl_to_rgb(&r, &g, &b, HUE_DEGREES, 0, H[p], S[p], L[p]);
    t.c[p] = lrgb_t{(uint16_t)(int)(r * 32768 + 0.5), (uint16_t)(int)(g * 32768 + 0.5),
                    (uint16_t)(int)(b * 32768 + 0.5), 0};
  }
  return t;
}

}  // namespace

const lrgb_t* pancol() {
  static const pan_table_t table = make_pan_table();
  return table.c;
}

void calc_colour_pan(lrgb_t* out, double v, lrgb_t colour, double gamma) {
  if (gamma != 1 && v > 0) v = fastexp2(fastlog2(v) * gamma);
  // Beyond 80/11 the intensity stays at its limit, which the blowout turns into white.
  uint64_t n = 0;  // no light for v <= 0, or for a value that is not a number
  if (v * 0.5 >= 7.272727272727273)
    n = 238313;
  else if (v > 0)
    n = (uint64_t)(v * 0.5 * 32768 + 0.5);
  uint32_t r = (uint32_t)((colour.r * n) >> 15), g = (uint32_t)((colour.g * n) >> 15),
           b = (uint32_t)((colour.b * n) >> 15);
  colour_blowout_int(&r, &g, &b);
  out->r = (uint16_t)r;
  out->g = (uint16_t)g;
  out->b = (uint16_t)b;
}

void calc_colour_pan_full(double left, double right, double gain, const inst_t* inst, lrgb_t* out) {
  const lrgb_t* table = pancol();
  const double s = left + right;
  int i = 0;
  if (s > 0) {
    const double pos = 2 * right / s * 2048 + 0.5;
    i = pos >= 4096 ? 4096 : pos > 0 ? (int)pos : 0;  // mutate: skip relational (at 4096 and at 0 both branches give the same index)
  }
  calc_colour_pan(out, s * gain, table[i], inst->gamma);
}
