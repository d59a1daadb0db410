// Font sheets: one column of 224 cells (codes 32..255 as Latin-1), white coverage on black,
// sRGB-encoded so that the loader's sRGB-to-linear step gives back linear coverage.
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cmath>
#include <vector>

#include "skin.h"

namespace {

enum { MARK_ROW = CELL_H / 2 };

uint8_t encode(double coverage) { return (uint8_t)std::lround(lsrgb(coverage < 0 ? 0 : coverage > 1 ? 1 : coverage) * 255); }

struct glyph_t {
  std::vector<uint8_t> px;
  int w = 0, h = 0, left = 0, top = 0;
  double advance = 0;  // unhinted, in pixels
  bool exists = false;
};

bool render(FT_Face face, unsigned code, glyph_t* g) {
  *g = glyph_t();
  if (code >= 127 && code < 160) return true;  // C1 controls: no glyph
  if (FT_Load_Char(face, code, FT_LOAD_RENDER | FT_LOAD_TARGET_LIGHT)) return false;
  FT_GlyphSlot s = face->glyph;
  g->exists = true;
  g->w = (int)s->bitmap.width;
  g->h = (int)s->bitmap.rows;
  g->left = s->bitmap_left;
  g->top = s->bitmap_top;
  g->advance = s->linearHoriAdvance / 65536.0;
  for (int y = 0; y < g->h; y++)
    for (int x = 0; x < g->w; x++) g->px.push_back(s->bitmap.buffer[y * s->bitmap.pitch + x]);
  return true;
}

struct sheet_t {
  RasterBitmap bmp{CELL_W, CELL_H * 224};
  void set(int cell, int x, int y, uint8_t v) {
    if (x < 0 || x >= CELL_W || y < 0 || y >= CELL_H) return;
    srgb_t& p = bmp.Pixels()[(size_t)(cell * CELL_H + y) * CELL_W + x];
    p = srgb_t{255, v, v, v};
  }
  uint8_t get(int cell, int x, int y) { return bmp.Pixels()[(size_t)(cell * CELL_H + y) * CELL_W + x].g; }
};

// Small glyphs look thin once blended in linear light; a mild curve restores their weight.
double small_weight(uint8_t v) { return std::pow(v / 255.0, 0.8); }

}  // namespace

bool make_font_sheets(const std::string& ttf, int trim, const std::string& out48, const std::string& out12,
                      const std::string& out15, std::string* error) {
  FT_Library lib;
  if (FT_Init_FreeType(&lib)) {
    *error = "cannot start FreeType";
    return false;
  }
  FT_Face face;
  if (FT_New_Face(lib, ttf.c_str(), 0, &face)) {
    *error = ttf + ": cannot open font";
    FT_Done_FreeType(lib);
    return false;
  }
  sheet_t big, small12, small15;
  for (sheet_t* s : {&big, &small12, &small15})
    for (int i = 0; i < CELL_W * CELL_H * 224; i++) s->bmp.Pixels()[i] = srgb_t{255, 0, 0, 0};
  std::vector<int> advances(224, -1);

  FT_Set_Pixel_Sizes(face, 0, FONT_PX);
  for (int cell = 0; cell < 224; cell++) {
    glyph_t g;
    if (!render(face, 32 + cell, &g)) continue;
    if (!g.exists) continue;
    for (int y = 0; y < g.h; y++)
      for (int x = 0; x < g.w; x++)
        big.set(cell, ORIGIN_X + g.left + x, BASELINE - g.top + y, encode(g.px[y * g.w + x] / 255.0));
    // The middle row marks the advance widened by the trim on each side: coverage exactly
    // there (a faint 1 where there is no ink), nothing outside.
    int adv = (int)std::lround(g.advance);
    advances[cell] = adv;
    int x0 = ORIGIN_X - trim, x1 = ORIGIN_X + adv + trim;
    for (int x = 0; x < CELL_W; x++) {
      uint8_t v = big.get(cell, x, MARK_ROW);
      big.set(cell, x, MARK_ROW, x < x0 || x > x1 ? 0 : v ? v : 1);
    }
  }

  // Pre-filtered small sheets: the glyph rendered (and hinted) at the small size, each sheet
  // pixel taking the small pixel whose centre is nearest, so that sampling at the small
  // scale lands on whole small pixels.
  struct small_t {
    sheet_t* sheet;
    double scale;
  } smalls[2] = {{&small12, 12.0 / CELL_H}, {&small15, 15.0 / CELL_H}};
  for (const small_t& sm : smalls) {
    FT_Set_Char_Size(face, 0, (FT_F26Dot6)std::lround(FONT_PX * sm.scale * 64), 72, 72);
    int ox = (int)std::lround(ORIGIN_X * sm.scale), oy = (int)std::lround(BASELINE * sm.scale);
    for (int cell = 0; cell < 224; cell++) {
      glyph_t g;
      if (!render(face, 32 + cell, &g) || !g.exists) continue;
      for (int y = 0; y < CELL_H; y++)
        for (int x = 0; x < CELL_W; x++) {
          int kx = (int)std::floor(x * sm.scale + 0.5) - ox - g.left;
          int ky = (int)std::floor(y * sm.scale + 0.5) - oy + g.top;
          if (kx < 0 || ky < 0 || kx >= g.w || ky >= g.h) continue;
          sm.sheet->set(cell, x, y, encode(small_weight(g.px[ky * g.w + kx])));
        }
    }
  }
  FT_Done_Face(face);
  FT_Done_FreeType(lib);
  // The sheets are grey (the glyphs are white on black): grey PNGs hold a third of the data.
  auto save = [error](const RasterBitmap& b, const std::string& path) {
    std::vector<uint8_t> grey((size_t)b.Width() * b.Height());
    for (size_t i = 0; i < grey.size(); i++) grey[i] = b.Pixels()[i].g;
    return save_plain_png(path, grey.data(), b.Width(), b.Height(), 1, error);
  };
  return save(big.bmp, out48) && save(small12.bmp, out12) && save(small15.bmp, out15);
}
