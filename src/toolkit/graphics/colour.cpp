#include "toolkit/graphics/colour.h"

#include <cmath>

lrgb_t make_colour_lin(double r, double g, double b, double a) {
  return lrgb_t{(uint16_t)(int)(r * 32768 + 0.5), (uint16_t)(int)(g * 32768 + 0.5), (uint16_t)(int)(b * 32768 + 0.5),
                (uint16_t)(int)(a * 32768 + 0.5)};
}

lrgb_t make_colour_srgb(int r, int g, int b, int a) {
  static const int32_t* table = get_lut_slrgb().v;
  auto c = [](int v) { return v < 0 ? 0 : v > 255 ? 255 : v; };
  return lrgb_t{(uint16_t)table[c(r)], (uint16_t)table[c(g)], (uint16_t)table[c(b)], (uint16_t)table[c(a)]};
}

lrgb_t make_grey_lin(double v) {
  uint16_t c = (uint16_t)(int)(v * 32768 + 0.5);
  return lrgb_t{c, c, c, 32768};
}

namespace {

// One channel's share of a hue at distance t from its primary (internal unit): full within
// half a step, then falling evenly in CIE lightness to zero at one step.
double hue_ramp(double t) {
  while (t < -1) t += 3;
  while (t > 2) t -= 3;
  double u = std::fabs(t < -1 ? -1 : t > 1 ? 1 : t);
  if (u <= 0.5) return 1.0;
  double v = (2 * (1 - u) + 0.16) / 1.16;
  return v > 0.20689655172413793 ? v * v * v : (v - 4.0 / 29) * 0.12841854934601665;
}

}  // namespace

void hsl_to_rgb_cw(double* r, double* g, double* b, int hue_unit, int boost, double wr, double wg, double wb,
                   double hue, double sat, double lum) {
  double h = hue;
  if (hue_unit == HUE_DEGREES) h = hue / 120.0;
  else if (hue_unit == HUE_RADIANS) h = hue * 0.477464829275686;
  if (!std::isfinite(h)) h = 0;  // keeps the wrap loops finite
  else h = std::fmod(h, 3.0);
  double cr = hue_ramp(h), cg = hue_ramp(h - 1), cb = hue_ramp(h - 2);
  double k = lum / (wr * cr + wg * cg + wb * cb);
  if (boost) {
    double x = h;
    while (x < 0) x += 1;
    while (x > 1) x -= 1;
    k *= 1.5 + 0.5 * std::cos(2 * M_PI * std::fabs(x - 0.5));
  }
  *r = cr * k * sat + (1 - sat) * lum;
  *g = cg * k * sat + (1 - sat) * lum;
  *b = cb * k * sat + (1 - sat) * lum;
}

void hsl_to_rgb(double* r, double* g, double* b, int hue_unit, int boost, double hue, double sat, double lum) {
  hsl_to_rgb_cw(r, g, b, hue_unit, boost, 0.16, 0.73, 0.11, hue, sat, lum);
}

void colour_blowout_int(uint32_t* r, uint32_t* g, uint32_t* b) {
  uint32_t m = *r > *g ? *r : *g;
  if (*b > m) m = *b;
  if (m <= 32768) return;
  uint64_t Y = 5243ull * *r + 23921ull * *g + 3604ull * *b;
  if (Y > 1073774591ull) {
    *r = *g = *b = 32768;
    return;
  }
  uint32_t y = (uint32_t)(Y >> 15);
  uint32_t t = (uint32_t)(((uint64_t)(32768 - y) << 15) / (m - y));
  uint32_t base = (uint32_t)(((uint64_t)(32768 - t) * y) >> 15);
  auto fix = [&](uint32_t c) {
    uint32_t v = (uint32_t)(((uint64_t)c * t) >> 15) + base;
    return v > 32768 ? 32768u : v;
  };
  *r = fix(*r);
  *g = fix(*g);
  *b = fix(*b);
}
