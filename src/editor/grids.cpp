#include "editor/grids.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "editor/skin.h"
#include "editor/view.h"
#include "engine/inst.h"
#include "engine/levels.h"
#include "toolkit/font.h"
#include "toolkit/graphics/blending.h"
#include "toolkit/graphics/colour.h"
#include "toolkit/graphics/drawline.h"
#include "toolkit/math/functions.h"

namespace {

enum { FREQS = 28 };

// Every line is drawn with red and green at half of blue, so the tint is the same
// everywhere and the accumulated green is the line's opacity.
lrgb_t line_colour() { return make_colour_lin(0.07, 0.07, 0.14, 1); }
lrgb_t tick_colour() { return make_colour_lin(0.04, 0.04, 0.04, 1); }

constexpr double LINE_RADIUS = 0.85;

struct freq_table_t {
  double freq[FREQS];
  double ratio[FREQS];       // brightness of the line: sqrt(1 / leading digit)
  double importance[FREQS];  // how much zoom a label needs; 1, 2 and 5 are always labelled
};

const freq_table_t& freq_table() {
  static const freq_table_t table = [] {
    const double freq[FREQS] = {20,   30,   40,   50,   60,   70,   80,   90,   100,  200,
                                300,  400,  500,  600,  700,  800,  900,  1000, 2000, 3000,
                                4000, 5000, 6000, 7000, 8000, 9000, 10000, 20000};
    // By leading digit: the interval each line adds to its neighbours, in octaves.
    const double importance[10] = {0,  10, 10, 0.5849625007211563, 0.3219280948873623,
                                   10, 0.22239242133644788, 0.48542682717024177,
                                   0.19264507794239574, 0.15200309344505003};
    freq_table_t t{};
    for (int i = 0; i < FREQS; ++i) {
      int digit = (int)freq[i];
      while (digit >= 10) digit /= 10;
      t.freq[i] = freq[i];
      t.ratio[i] = std::sqrt(1.0 / digit);
      t.importance[i] = importance[digit];
    }
    return t;
  }();
  return table;
}

void draw_label(inst_t* inst, text_t* text, double x, double y, const char* s) {
  if (!text) return;
  std::snprintf(text->string, TEXT_BYTES, "%s", s);
  text->x = x;
  text->y = y;
  blit_text(text, inst->bg_final, skin().black, inst->ui_w, inst->ui_h, 1.0);
}

void draw_tick(inst_t* inst, double x1, double y1, double x2, double y2) {
  draw_line_thin(inst->bg_final, inst->ui_w, inst->ui_h, tick_colour(), BLEND_MULTIPLY, x1, y1, x2, y2,
                 LINE_RADIUS, 1.0);
}

double fade_in(double z, double k, double centre) { return 0.5 + 0.5 * erf_as(k * (z - centre)); }

}  // namespace

void draw_freq_grid(inst_t* inst) {
  const freq_table_t& t = freq_table();
  const int W = inst->area_w, H = inst->area_h;
  const lrgb_t c = line_colour();
  for (int i = 0; i < FREQS; ++i) {
    const double f = t.freq[i];
    const double x = (W - 1) * log_pos_inv(f, inst->view_f_lo, inst->view_f_hi);
    if (i != 0 && i != FREQS - 1) {
      const lrgb_t lc = {(uint16_t)(c.r * t.ratio[i]), (uint16_t)(c.g * t.ratio[i]), (uint16_t)(c.b * t.ratio[i]), 0};
      draw_line_thin(inst->grids_lut, W, H, lc, BLEND_ADD, x, 0, x, H - 1, LINE_RADIUS, 1.0);
    }
    if (x >= 0 && x <= W - 1 && (W - 1) * t.importance[i] / inst->view_width > 500) {
      const double bx = inst->area_x + x, by = inst->area_y + H - 1;
      draw_tick(inst, bx, by, bx, by + 10);
      char s[32];
      if (i <= 16)
        std::snprintf(s, sizeof s, "%.0f Hz", f);
      else
        std::snprintf(s, sizeof s, "%.0f kHz", f * 0.001);
      draw_label(inst, inst->label_text_b, bx, by + 18, s);
    }
  }
}

void draw_db_dashed_line(inst_t* inst, int label_switch, double v, double q) {
  if (q < 0.0017) return;
  const int W = inst->area_w, H = inst->area_h;
  const double y = db_to_pix(inst, H, 0, realdb_to_db(v));
  if (v != 60) {
    // The 0 dB line has longer dashes.
    const double start = v == 0 ? 0.003 : 0.002, step = v == 0 ? 0.012 : 0.008, len = v == 0 ? 0.006 : 0.004;
    const lrgb_t c = line_colour();
    for (int k = 0;; ++k) {
      const double t = start + k * step;
      if (!(t < 1)) break;
      draw_line_thin_short(inst->grids_lut, W, H, c, BLEND_MIX, 0, y, W - 1, y, t, t + len, LINE_RADIUS, q);
    }
  }
  if (y >= 0 && y <= H - 1 && q > 0.1 && !(label_switch == 1 && v == -72)) {
    const double by = inst->area_y + y;
    draw_tick(inst, inst->area_x - (v == 0 ? 6 : 8), by, inst->area_x, by);
    char s[32];
    if (v == 0)
      draw_label(inst, inst->label_text_a, inst->area_x - 4.7, by, "0 dB");
    else {
      std::snprintf(s, sizeof s, "%+.0f", v);
      draw_label(inst, inst->label_text_a, inst->area_x - 8, by, s);
    }
  }
}

void draw_db_grid(inst_t* inst) {
  const double z = inst->vscale;
  const int H = inst->area_h;
  // Below -60 dB the scale is compressed: with -84 dB on screen, -72 dB has no label.
  const int s = db_to_pix(inst, H, 0, realdb_to_db(-84)) <= H - 1 ? 1 : 0;
  for (int v = -84; v <= 60; v += 12) draw_db_dashed_line(inst, s, v, 1.0);
  const double q6 = fade_in(z, 0.75, 3), q3 = fade_in(z, 0.75, 6), q1 = fade_in(z, 0.333, 12);
  for (int v = -84; v <= 54; v += 6)
    if (v % 12) draw_db_dashed_line(inst, 0, v, q6);
  for (int v = -15; v <= 15; v += 3)
    if (v % 6) draw_db_dashed_line(inst, 0, v, q3);
  for (int v = -9; v <= 9; ++v)
    if (v % 3) draw_db_dashed_line(inst, 0, v, q1);
}

// Runs of covered pixels per row (the row's run count, then each run's first and end column),
// and the covered pixels themselves, packed in run order: the frame reads them as one stream
// instead of picking them out of the whole image.
static void index_grid_runs(inst_t* inst) {
  const int W = inst->area_w, H = inst->area_h;
  int32_t* out = inst->grid_runs;
  lrgb_t* packed = inst->grid_packed;
  for (int y = 0; y < H; ++y) {
    const lrgb_t* g = inst->grids_lut + (size_t)y * W;
    int32_t* count = out++;
    *count = 0;
    for (int x = 0; x < W;) {
      while (x < W && !g[x].a) ++x;
      if (x == W) break;
      *out++ = x;
      while (x < W && g[x].a) *packed++ = g[x++];
      *out++ = x;
      ++*count;
    }
  }
}

void make_grids_lut(inst_t* inst) {
  const int n = inst->area_w * inst->area_h;
  if (!inst->grids_lut || !inst->grid_runs || !inst->grid_packed || !inst->bg_final || n <= 0) return;
  std::memset(inst->grids_lut, 0, sizeof(lrgb_t) * n);
  if (inst->bg_layer) std::memcpy(inst->bg_final, inst->bg_layer, sizeof(lrgb_t) * inst->ui_w * inst->ui_h);
  draw_freq_grid(inst);
  draw_db_grid(inst);
  for (lrgb_t* p = inst->grids_lut; p < inst->grids_lut + n; ++p) {
    p->a = p->g;
    if (p->b == 0) {
      p->r = p->g = 0;
    } else {
      p->r = (uint16_t)(((uint32_t)p->r << 15) / p->b);
      p->g = (uint16_t)(((uint32_t)p->g << 15) / p->b);
      p->b = 32768;
    }
  }
  index_grid_runs(inst);
}

void draw_grids_lut(inst_t* inst) {
  const int H = inst->area_h;
  if (!inst->grid_runs || !inst->grid_packed || !inst->fb) return;
  const uint32_t A = (uint32_t)(gaussian(2 * inst->grid_fade) * 32768 + 0.5);
  const int32_t* run = inst->grid_runs;
  const lrgb_t* g = inst->grid_packed;
  for (int y = 0; y < H; ++y) {
    lrgb_t* f = inst->fb + (size_t)(inst->area_y + y) * inst->ui_w + inst->area_x;
    for (int32_t n = *run++; n > 0; --n, run += 2) {
      for (int x = run[0]; x < run[1]; ++x, ++g) {
        const uint32_t k = (g->a * A) >> 15, j = 32768 - k;
        f[x].r = (uint16_t)((g->r * k + f[x].r * j) >> 15);
        f[x].g = (uint16_t)((g->g * k + f[x].g * j) >> 15);
        f[x].b = (uint16_t)((g->b * k + f[x].b * j) >> 15);
      }
    }
  }
}
