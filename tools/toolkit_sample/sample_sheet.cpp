#include "sample_sheet.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "framework/bitmap/resources.h"
#include "toolkit/font.h"
#include "toolkit/graphics/blending.h"
#include "toolkit/graphics/blit.h"
#include "toolkit/graphics/colour.h"
#include "toolkit/graphics/drawline.h"
#include "toolkit/graphics/drawprimitives.h"
#include "toolkit/gui/drawelements.h"

namespace {

struct skin_t {
  RasterBitmap bitmaps[10];
  image_t knob{}, shadow{}, light{}, logo{};
  font_t* fonts[6] = {};  // regular 48, 12, 15, bold 48, 12, 15
};

bool load(skin_t* s, std::string* error) {
  const char* sheets[6] = {"font48", "font12", "font15", "bold48", "bold12", "bold15"};
  image_t img[6];
  for (int i = 0; i < 6; i++) {
    std::string path = resource_path(std::string("img/font/") + sheets[i] + ".png");
    if (path.empty() || !s->bitmaps[i].LoadPNG(path, error)) {
      if (path.empty()) *error = std::string(sheets[i]) + ".png: not found";
      return false;
    }
    img[i] = load_image(s->bitmaps[i]);
  }
  s->fonts[0] = font_load(6, img[0]);
  s->fonts[1] = make_font_size(s->fonts[0], img[1], 12.0);
  s->fonts[2] = make_font_size(s->fonts[0], img[2], 15.0);
  s->fonts[3] = font_load(8, img[3]);
  s->fonts[4] = make_font_size(s->fonts[3], img[4], 12.0);
  s->fonts[5] = make_font_size(s->fonts[3], img[5], 15.0);
  for (font_t* f : s->fonts)
    if (!f) {
      *error = "a font sheet does not have the expected geometry";
      return false;
    }
  const char* images[4] = {"img/black_knob.png", "img/shadow.png", "img/light.png", "img/logo.png"};
  image_t* dst[4] = {&s->knob, &s->shadow, &s->light, &s->logo};
  for (int i = 0; i < 4; i++) {
    std::string path = resource_path(images[i]);
    if (path.empty() || !s->bitmaps[6 + i].LoadPNG(path, error)) {
      if (path.empty()) *error = std::string(images[i]) + ": not found";
      return false;
    }
    *dst[i] = load_image(s->bitmaps[6 + i]);
  }
  s->knob.h /= 192;
  return true;
}

void text(gc_list_t* owner, font_t* f, int flags, double x, double y, const char* s, lrgb_t* fb, lrgb_t c,
          double intensity = 1.0) {
  text_t* t = init_text(owner, f, flags, x, y);
  snprintf(t->string, TEXT_BYTES, "%s", s);
  blit_text(t, fb, c, SAMPLE_W, SAMPLE_H, intensity);
  free_text(owner, t);
}

}  // namespace

bool render_sample_sheet(std::vector<lrgb_t>* out, std::string* error) {
  static skin_t skin;
  static bool loaded = false;
  if (!loaded && !(loaded = load(&skin, error))) return false;
  const int W = SAMPLE_W, H = SAMPLE_H;
  out->assign((size_t)W * H, lrgb_t{0, 0, 0, 32768});
  lrgb_t* fb = out->data();
  gc_list_t* owner = gc_list_create();
  lrgb_t white = make_colour_srgb(255, 255, 255, 255), black = make_colour_srgb(0, 0, 0, 255);
  lrgb_t blue = make_colour_srgb(64, 192, 255, 255), amber = make_colour_srgb(255, 176, 64, 255);

  // Panel: the background gradient, the logo, a titled frame with knobs, shadows, labels.
  draw_gaussian_gradient(fb, W, H, make_colour_lin(0.14, 0.14, 0.1092, 1), make_colour_lin(0.9, 0.9, 0.9, 1), 0, 500,
                         200, 700, -0.05, -0.15);
  blit_sprite(fb, W, H, skin.logo.l, skin.logo.w, skin.logo.h, 25, 1, BLEND_MULTIPLY, ALIGN_LEFT, ALIGN_TOP);
  lrgb_t frame = make_colour_lin(0.02, 0.02, 0.02, 1);
  draw_titled_roundrect_frame(fb, W, H, frame, BLEND_MULTIPLY, 620, 110, 0.85, 4, 1, 68, 100);
  text(owner, skin.fonts[1], TEXT_LEFT, 620 - 30, 110 - 49, "Band parameters", fb, white);
  const char* labels[4] = {"Gain", "Frequency", "Slope", "Limiter"};
  const char* values[4] = {"-12.5", "1000 Hz", "0.0", "Off"};
  double knob_values[4] = {0.0, 0.35, 0.5, 1.0};
  for (int k = 0; k < 4; k++) {
    int x = 620 + 68 * k, y = 110;
    blit_sprite(fb, W, H, skin.shadow.l, skin.shadow.w, skin.shadow.h, x, y, BLEND_MULTIPLY, ALIGN_CENTRE,
                ALIGN_CENTRE);
    text(owner, skin.fonts[4], TEXT_MIDDLE, x, y + 30, labels[k], fb, black);
    text(owner, skin.fonts[1], TEXT_MIDDLE, x - 0.5, y, values[k], fb, blue, 1.3);
    int n = (int)(knob_values[k] * 191 + 0.5);
    const lrgb_t* frame_px = skin.knob.l + (size_t)n * skin.knob.w * skin.knob.h;
    blit_sprite(fb, W, H, frame_px, skin.knob.w, skin.knob.h, x, y, BLEND_ADD, ALIGN_CENTRE, ALIGN_CENTRE);
  }
  // The limiter light over the last knob, tinted as the editor does.
  blit_sprite(fb, W, H, skin.light.l, skin.light.w, skin.light.h, 620 + 68 * 3, 110, BLEND_ADD, ALIGN_CENTRE,
              ALIGN_CENTRE);

  // A dark area for the line work, framed as the editor frames its curve area.
  const int ax = 20, ay = 200, aw = 560, ah = 540;
  draw_roundrect(fb, W, H, make_colour_lin(0.01, 0.012, 0.02, 1), BLEND_REPLACE, ax, ay, ax + aw, ay + ah, 3.0, 0.85,
                 1.0);
  draw_roundrect(fb, W, H, frame, BLEND_MULTIPLY, ax - 1.8, ay - 1.8, ax + aw + 1.8, ay + ah + 1.8, 3.0, 0.85, 0.9);
  // Stars of lines at every 7.5 degrees, one per blur radius.
  const double radii[4] = {0.5, 0.85, 1.5, 3.0};
  for (int s = 0; s < 4; s++) {
    double cx = ax + 140 + (s % 2) * 280, cy = ay + 135 + (s / 2) * 270;
    for (int a = 0; a < 48; a++) {
      double ang = a * M_PI / 24, c = std::cos(ang), sn = std::sin(ang);
      draw_line_thin(fb, W, H, white, BLEND_ADD, cx + 18 * c, cy + 18 * sn, cx + 120 * c, cy + 120 * sn, radii[s],
                     1.0);
    }
    char label[32];
    snprintf(label, sizeof label, "radius %.2f", radii[s]);
    text(owner, skin.fonts[1], TEXT_MIDDLE, cx, cy, label, fb, amber, 1.3);
  }

  // Shapes on the panel: discs, rings (one thinner than its blur), rounded rectangles, frames.
  const double sx = 620, sy = 260;
  draw_circle(CIRCLE_DISC, fb, W, H, make_colour_lin(0.05, 0.2, 0.6, 1), BLEND_MIX, sx, sy, 28, 0.85, 1.0);
  draw_circle(CIRCLE_RING, fb, W, H, make_colour_lin(0.9, 0.5, 0.1, 1), BLEND_MIX, sx + 80, sy, 26, 0.85, 1.0);
  draw_circle(CIRCLE_RING, fb, W, H, make_colour_lin(0.0, 0.0, 0.0, 1), BLEND_MIX, sx + 160, sy, 26, 3.0, 1.0);
  draw_circle(CIRCLE_DISC, fb, W, H, make_colour_lin(0.8, 0.1, 0.1, 1), BLEND_MIX, sx + 240, sy, 6, 2.0, 1.0);
  draw_circle(CIRCLE_RING, fb, W, H, make_colour_lin(0.1, 0.1, 0.1, 1), BLEND_MIX, sx + 300, sy, 1.5, 2.5, 1.0);
  draw_roundrect(fb, W, H, make_colour_lin(0.1, 0.4, 0.15, 1), BLEND_MIX, sx - 30, sy + 50, sx + 90, sy + 110, 9.0,
                 0.85, 1.0);
  draw_roundrect(fb, W, H, make_colour_lin(0.5, 0.1, 0.5, 1), BLEND_MIX, sx + 120, sy + 50, sx + 240, sy + 110, 3.0,
                 3.0, 1.0);
  draw_roundrect_frame(fb, W, H, make_colour_lin(0.0, 0.0, 0.0, 1), BLEND_MIX, 12, 6, 0.85, 1.0, sx + 260, sy + 50,
                       sx + 350, sy + 110, sx + 266, sy + 56, sx + 344, sy + 104);
  // Dashes of short pieces, as the editor's measured-response line.
  for (int d = 0; d < 20; d++)
    draw_line_thin_short(fb, W, H, make_colour_lin(0.0, 0.0, 0.0, 1), BLEND_MIX, sx - 30, sy + 140, sx + 350, sy + 160,
                         d / 20.0, d / 20.0 + 0.03, 0.85, 1.0);

  // Text: the six fonts, one line each, left-aligned on x = 600.
  const char* names[6] = {"Regular", "Regular 12", "Regular 15", "Bold", "Bold 12", "Bold 15"};
  double ty = sy + 150;
  for (int f = 0; f < 6; f++) {
    font_t* font = skin.fonts[f];
    char s[96];
    snprintf(s, sizeof s, f % 3 == 0 ? "%s 48 \xC5gy" : "%s: Quillmar EQ -6.25 dB at 1 kHz, Q 0.7", names[f]);
    text(owner, font, TEXT_LEFT, 590, ty, s, fb, black);
    ty += font->size + 6;
  }
  // Anchors of the four alignments, each marked with a small cross.
  const char* align[4] = {"left (2)", "centre (0)", "right (16)", "middle right (80)"};
  for (int a = 0; a < 4; a++) {
    double x = 790, y = ty + 10 + a * 24;
    draw_line_thin(fb, W, H, make_colour_lin(0.8, 0.0, 0.0, 1), BLEND_MIX, x - 4, y, x + 4, y, 0.6, 1.0);
    draw_line_thin(fb, W, H, make_colour_lin(0.8, 0.0, 0.0, 1), BLEND_MIX, x, y - 4, x, y + 4, 0.6, 1.0);
    int fl = a == 0 ? TEXT_LEFT : a == 1 ? TEXT_CENTRE : a == 2 ? TEXT_RIGHT : TEXT_RIGHT | TEXT_MIDDLE;
    text(owner, skin.fonts[2], fl, x, y, align[a], fb, black);
  }
  text(owner, skin.fonts[5], TEXT_RIGHT, W - 3, H - 15, "v1.2", fb, make_colour_lin(0.15, 0.15, 0.15, 1));
  gc_cleanup(owner);
  return true;
}
