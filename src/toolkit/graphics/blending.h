// The one per-pixel operation every primitive ends in: combine the framebuffer's pixel bg
// with a colour fg by weight p (0..32768) in one of nine blend modes.
#pragma once
#include <cstdint>
#include <type_traits>

#include "toolkit/graphics/srgb.h"

enum {
  BLEND_REPLACE = 0,   // fg, whatever p
  BLEND_ADD = 1,       // bg + fg * p, clamped at 32768
  BLEND_SUBTRACT = 2,  // bg - fg * p, clamped at 0
  BLEND_MULTIPLY = 3,  // towards bg * fg
  BLEND_MULTIPLY4 = 4, // towards 4 * bg * fg, clamped
  BLEND_MIX = 5,       // towards fg
  BLEND_OVER = 6,      // fg over bg by bg's alpha
  BLEND_MIX_ALPHA = 7, // towards fg by p * fg's alpha
  BLEND_ALPHA = 8,     // alpha only, towards fg's alpha
};

// An intensity factor as the integer weight (int)(I * 32768 + 0.5), held to 0..2^24 so that
// absurd intensities cannot overflow the weight products.
inline int32_t intensity_weight(double intensity) {
  if (!(intensity > 0)) return 0;
  if (intensity > 512.0) return 1 << 24;
  return (int32_t)(intensity * 32768 + 0.5);
}

// One blend mode at compile time (MODE above 8: bg unchanged). Weights below 0 count as 0;
// the interpolating modes (3 to 8) hold p to 32768, the additive ones (1, 2) take larger
// weights as more light.
template <int MODE>
inline lrgb_t blend_mode(lrgb_t bg, lrgb_t fg, int p) {
  if (p < 0) p = 0;
  if (MODE >= 3 && p > 32768) p = 32768;
  int64_t q = 32768 - p;
  auto sat = [](int64_t v) { return (uint16_t)(v > 32768 ? 32768 : v < 0 ? 0 : v); };
  if (MODE == 0) return fg;
  if (MODE == 1)
    return lrgb_t{sat(bg.r + (((int64_t)fg.r * p) >> 15)), sat(bg.g + (((int64_t)fg.g * p) >> 15)),
                  sat(bg.b + (((int64_t)fg.b * p) >> 15)), bg.a};
  if (MODE == 2)
    return lrgb_t{sat(bg.r - (((int64_t)fg.r * p) >> 15)), sat(bg.g - (((int64_t)fg.g * p) >> 15)),
                  sat(bg.b - (((int64_t)fg.b * p) >> 15)), bg.a};
  if (MODE == 3)
    return lrgb_t{(uint16_t)((bg.r * q + (((int64_t)fg.r * bg.r) >> 15) * p) >> 15),
                  (uint16_t)((bg.g * q + (((int64_t)fg.g * bg.g) >> 15) * p) >> 15),
                  (uint16_t)((bg.b * q + (((int64_t)fg.b * bg.b) >> 15) * p) >> 15), bg.a};
  if (MODE == 4)
    return lrgb_t{sat((bg.r * q + (((int64_t)fg.r * bg.r) >> 13) * p) >> 15),
                  sat((bg.g * q + (((int64_t)fg.g * bg.g) >> 13) * p) >> 15),
                  sat((bg.b * q + (((int64_t)fg.b * bg.b) >> 13) * p) >> 15), bg.a};
  if (MODE == 5)
    return lrgb_t{(uint16_t)((bg.r * q + (int64_t)fg.r * p) >> 15), (uint16_t)((bg.g * q + (int64_t)fg.g * p) >> 15),
                  (uint16_t)((bg.b * q + (int64_t)fg.b * p) >> 15), bg.a};
  if (MODE == 6) {
    int64_t A = (bg.a * q + (int64_t)p * 32768) >> 15;
    if (A == 0) return lrgb_t{0, 0, 0, 0};
    auto over = [&](int64_t b, int64_t f) { return sat(((((b * bg.a) >> 15) * q) + f * p) / A); };
    return lrgb_t{over(bg.r, fg.r), over(bg.g, fg.g), over(bg.b, fg.b), (uint16_t)A};
  }
  if (MODE == 7) {
    int64_t t = ((int64_t)fg.a * p) >> 15;
    int64_t u = 32768 - t;
    return lrgb_t{(uint16_t)((bg.r * u + fg.r * t) >> 15), (uint16_t)((bg.g * u + fg.g * t) >> 15),
                  (uint16_t)((bg.b * u + fg.b * t) >> 15), bg.a};
  }
  if (MODE == 8) return lrgb_t{bg.r, bg.g, bg.b, (uint16_t)((bg.a * q + (int64_t)fg.a * p) >> 15)};
  return bg;
}

// Calls f(std::integral_constant<int, mode>()) (modes above 8 as 9), so that a pixel loop in
// f blends with blend_mode<decltype(m)::value> and no per-pixel choice of mode.
template <class F>
inline void with_blend_mode(int mode, F&& f) {
  switch (mode) {
    case 0: return f(std::integral_constant<int, 0>());
    case 1: return f(std::integral_constant<int, 1>());
    case 2: return f(std::integral_constant<int, 2>());
    case 3: return f(std::integral_constant<int, 3>());
    case 4: return f(std::integral_constant<int, 4>());
    case 5: return f(std::integral_constant<int, 5>());
    case 6: return f(std::integral_constant<int, 6>());
    case 7: return f(std::integral_constant<int, 7>());
    case 8: return f(std::integral_constant<int, 8>());
    default: return f(std::integral_constant<int, 9>());
  }
}

// The same with the mode chosen per call.
inline lrgb_t blend_pixels(lrgb_t bg, lrgb_t fg, int p, int mode) {
  lrgb_t out = bg;
  with_blend_mode(mode, [&](auto m) { out = blend_mode<decltype(m)::value>(bg, fg, p); });
  return out;
}
