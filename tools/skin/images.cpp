// The skin images, drawn with the toolkit's own primitives in linear light.
#include <cmath>
#include <cstring>
#include <vector>

#include "framework/bitmap/resources.h"
#include "skin.h"
#include "toolkit/font.h"
#include "toolkit/graphics/blending.h"
#include "toolkit/graphics/colour.h"
#include "toolkit/graphics/drawline.h"
#include "toolkit/graphics/drawprimitives.h"

namespace {

enum { KNOB = 64, FRAMES = 192, SHADOW = 84, LIGHT = 76 };
const double START = -150.0 * M_PI / 180, RANGE = 300.0 * M_PI / 180;  // knob travel, from the top

lrgb_t grey(double v) { return make_colour_lin(v, v, v, 1); }

lrgb_t scaled(lrgb_t c, double k) {
  auto s = [&](uint16_t v) { return (uint16_t)std::lround(std::fmin(32768.0, v * k)); };
  return lrgb_t{s(c.r), s(c.g), s(c.b), c.a};
}

// Adds a soft arc of light (Gaussian across, soft ends) from angle a0 to a1 at radius R.
void add_arc(lrgb_t* px, int w, int h, double cx, double cy, double R, double blur, double a0, double a1, lrgb_t c) {
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) {
      double dx = x - cx, dy = y - cy, d = std::hypot(dx, dy);
      double across = std::exp(-std::pow((d - R) / blur, 2));
      if (across < 1e-4) continue;
      double a = std::atan2(dx, -dy);  // 0 at the top, clockwise positive
      double along = 0.5 * (std::erf((a - a0) * R / blur) - std::erf((a - a1) * R / blur));
      double k = across * along;
      if (k <= 0) continue;
      px[y * w + x] = blend_pixels(px[y * w + x], c, (int)std::lround(k * 32768), BLEND_ADD);
    }
}

// One knob frame: a lit rim, a faint top sheen on the cap, the value arc along the track
// and a pointer; additive light on black (the shadow image darkens the panel under it).
void draw_knob_frame(lrgb_t* px, double value) {
  const double c = (KNOB - 1) / 2.0;
  std::vector<lrgb_t> rim(KNOB * KNOB, lrgb_t{0, 0, 0, 32768});
  draw_circle(CIRCLE_RING, rim.data(), KNOB, KNOB, grey(1), BLEND_ADD, c, c, 21.5, 0.75, 1.0);
  draw_circle(CIRCLE_DISC, rim.data(), KNOB, KNOB, grey(0.09), BLEND_ADD, c, c, 20.5, 0.9, 1.0);
  for (int y = 0; y < KNOB; y++)
    for (int x = 0; x < KNOB; x++) {
      double light = 0.5 - 0.5 * (y - c) / 22.0 - 0.15 * (x - c) / 22.0;  // lit from the upper left
      light = light < 0.05 ? 0.05 : light > 1 ? 1 : light;
      lrgb_t r = rim[y * KNOB + x];
      px[y * KNOB + x] = scaled(r, 0.42 * light * light);
    }
  add_arc(px, KNOB, KNOB, c, c, 27.0, 0.9, START, START + RANGE, grey(0.07));
  add_arc(px, KNOB, KNOB, c, c, 27.0, 0.9, START, START + RANGE * value, make_colour_lin(0.10, 0.42, 0.95, 1));
  double a = START + RANGE * value, sx = std::sin(a), sy = -std::cos(a);
  draw_line_thin(px, KNOB, KNOB, grey(0.95), BLEND_ADD, c + sx * 13.5, c + sy * 13.5, c + sx * 19.0, c + sy * 19.0,
                 0.85, 1.0);
}

}  // namespace

bool save_linear(const std::string& path, const lrgb_t* px, int w, int h, bool alpha, std::string* error) {
  RasterBitmap bmp(w, h);
  convert_lrgb_to_srgb(bmp.Pixels(), px, w * h, 0);
  static const int32_t* table = get_lut_lsrgb().v;
  for (int i = 0; i < w * h; i++) bmp.Pixels()[i].a = (uint8_t)(table[px[i].a > 32768 ? 32768 : px[i].a] >> 5);
  const int channels = alpha ? 4 : 3;
  std::vector<uint8_t> samples((size_t)w * h * channels);
  for (int i = 0; i < w * h; i++) {
    const srgb_t p = bmp.Pixels()[i];
    const uint8_t s[] = {p.r, p.g, p.b, p.a};
    std::memcpy(&samples[(size_t)i * channels], s, channels);
  }
  return save_plain_png(path, samples.data(), w, h, channels, error);
}

bool make_knob(const std::string& path, std::string* error) {
  std::vector<lrgb_t> px((size_t)KNOB * KNOB * FRAMES, lrgb_t{0, 0, 0, 32768});
  for (int n = 0; n < FRAMES; n++) draw_knob_frame(px.data() + (size_t)n * KNOB * KNOB, n / (FRAMES - 1.0));
  return save_linear(path, px.data(), KNOB, KNOB * FRAMES, false, error);
}

// Multiplied into the panel under each knob: a near-black disc for the knob's body and a
// soft drop shadow below it; white (no change) elsewhere.
bool make_shadow(const std::string& path, std::string* error) {
  std::vector<lrgb_t> px((size_t)SHADOW * SHADOW, grey(1));
  const double c = (SHADOW - 1) / 2.0;
  draw_circle(CIRCLE_DISC, px.data(), SHADOW, SHADOW, grey(0.45), BLEND_MULTIPLY, c, c + 2.5, 27.0, 4.0, 1.0);
  draw_circle(CIRCLE_DISC, px.data(), SHADOW, SHADOW, grey(0.02), BLEND_MULTIPLY, c, c, 28.5, 0.8, 1.0);
  return save_linear(path, px.data(), SHADOW, SHADOW, false, error);
}

// The limiter light: a glow ring around the knob, added tinted and scaled by the overshoot.
bool make_light(const std::string& path, std::string* error) {
  std::vector<lrgb_t> px((size_t)LIGHT * LIGHT, lrgb_t{0, 0, 0, 32768});
  const double c = (LIGHT - 1) / 2.0;
  draw_circle(CIRCLE_RING, px.data(), LIGHT, LIGHT, grey(0.55), BLEND_ADD, c, c, 29.0, 3.5, 1.0);
  draw_circle(CIRCLE_RING, px.data(), LIGHT, LIGHT, grey(0.9), BLEND_ADD, c, c, 28.0, 1.0, 1.0);
  return save_linear(path, px.data(), LIGHT, LIGHT, false, error);
}

// "Quillmar" in the bold face, dark on white: multiplied into the panel's top-left corner.
// Drawn at four times the size and averaged down for clean edges.
bool make_logo(const std::string& path, const std::string& bold48, std::string* error) {
  RasterBitmap sheet;
  if (!sheet.LoadPNG(bold48, error)) return false;
  font_t* font = font_load(8, load_image(sheet));
  if (!font) {
    *error = bold48 + ": not a font sheet";
    return false;
  }
  const int S = 4, H = 30;
  font_t big = *font;
  big.size = 27.0 * S;
  int W = (int)std::ceil(text_width(&big, "Quillmar") / S) + 10;
  std::vector<lrgb_t> hi((size_t)W * S * H * S, grey(0));
  gc_list_t* owner = gc_list_create();
  text_t* t = init_text(owner, &big, TEXT_LEFT, 0, H * S / 2.0);
  strcpy(t->string, "Quillmar");
  t->flags = TEXT_MIDDLE | TEXT_LEFT;
  t->x = -big.advance[0] * big.size / big.cell_h + 3 * S;
  blit_text(t, hi.data(), grey(1), W * S, H * S, 1.0);
  gc_cleanup(owner);
  std::vector<lrgb_t> px((size_t)W * H);
  for (int y = 0; y < H; y++)
    for (int x = 0; x < W; x++) {
      long sum = 0;
      for (int j = 0; j < S; j++)
        for (int i = 0; i < S; i++) sum += hi[(size_t)(y * S + j) * W * S + x * S + i].g;
      double ink = sum / (S * S * 32768.0);
      px[y * W + x] = grey(1 - 0.9 * ink);
    }
  return save_linear(path, px.data(), W, H, false, error);
}
