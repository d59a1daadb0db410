#include "editor/grids.h"
#include "toolkit/simd_target.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#endif

#include "editor/layout.h"
#include "editor/skin.h"
#include "editor/view.h"
#include "engine/inst.h"
#include "engine/levels.h"
#include "toolkit/font.h"
#include "toolkit/graphics/blending.h"
#include "toolkit/graphics/blit.h"
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

void make_grids_lut(inst_t* inst) {
  const int n = inst->area_w * inst->area_h;
  if (!inst->grids_lut || !inst->grid_runs || !inst->grid_packed || !inst->bg_final || n <= 0) return;
  std::memset(inst->grids_lut, 0, sizeof(lrgb_t) * n);
  restore_label_strips(inst);
  // The labels change bg_final's colours, never its alpha: the panel's runs stay as they are.
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
  // The covered pixels as runs, packed in run order: the frame reads them as one stream
  // instead of picking them out of the whole image.
  pack_runs(inst->grids_lut, inst->area_w, inst->area_h, inst->grid_runs, inst->grid_packed);
}

namespace {

// n covered pixels of one run: each channel (grid * k + frame * (32768 - k)) >> 15 with
// k = (alpha * A) >> 15. Alphas never exceed 32768 (the lines saturate there), so every
// product fits 32 bits. With SSE2 two pixels at a time: the products from their 16-bit
// halves, and the results packed back through a bias (a signed pack of 0 .. 32768 would
// saturate at 32767).
void blend_grid_run(lrgb_t* f, const lrgb_t* g, int n, uint32_t A) {
  int x = 0;
#ifdef __SSE2__
  const __m128i a_vec = _mm_set1_epi16((short)A), full = _mm_set1_epi16((short)32768);
  const __m128i bias = _mm_set1_epi32(32768), keep = _mm_set_epi16(-1, 0, 0, 0, -1, 0, 0, 0);
  for (; x + 2 <= n; x += 2) {
    const __m128i gv = _mm_loadu_si128((const __m128i*)(const void*)(g + x));
    const __m128i fv = _mm_loadu_si128((const __m128i*)(const void*)(f + x));
    const __m128i alpha = _mm_shufflehi_epi16(_mm_shufflelo_epi16(gv, 0xff), 0xff);
    const __m128i k = _mm_or_si128(_mm_slli_epi16(_mm_mulhi_epu16(alpha, a_vec), 1),
                                   _mm_srli_epi16(_mm_mullo_epi16(alpha, a_vec), 15));
    const __m128i j = _mm_sub_epi16(full, k);
    const __m128i gk_lo = _mm_mullo_epi16(gv, k), gk_hi = _mm_mulhi_epu16(gv, k);
    const __m128i fj_lo = _mm_mullo_epi16(fv, j), fj_hi = _mm_mulhi_epu16(fv, j);
    auto half = [&](__m128i gk, __m128i fj) {
      return _mm_sub_epi32(_mm_srli_epi32(_mm_add_epi32(gk, fj), 15), bias);
    };
    const __m128i lo = half(_mm_unpacklo_epi16(gk_lo, gk_hi), _mm_unpacklo_epi16(fj_lo, fj_hi));
    const __m128i hi = half(_mm_unpackhi_epi16(gk_lo, gk_hi), _mm_unpackhi_epi16(fj_lo, fj_hi));
    const __m128i v = _mm_add_epi16(_mm_packs_epi32(lo, hi), full);
    _mm_storeu_si128((__m128i*)(void*)(f + x), _mm_or_si128(_mm_and_si128(keep, fv), _mm_andnot_si128(keep, v)));
  }
#endif
  for (; x < n; ++x) {
    const uint32_t k = (g[x].a * A) >> 15, j = 32768 - k;
    f[x].r = (uint16_t)((g[x].r * k + f[x].r * j) >> 15);
    f[x].g = (uint16_t)((g[x].g * k + f[x].g * j) >> 15);
    f[x].b = (uint16_t)((g[x].b * k + f[x].b * j) >> 15);
  }
}

#if defined(__GNUC__) && defined(__x86_64__)
QM_SIMD_PUSH("avx2")
// The same with AVX2, in 32-bit lanes, two pixels at a time: (grid * k + frame * (32768 -
// k)) >> 15 is frame + ((grid - frame) * k >> 15) exactly, and that product fits a signed lane.
void blend_grid_run_avx2(lrgb_t* f, const lrgb_t* g, int n, uint32_t A) {
  int x = 0;
  const __m256i a_vec = _mm256_set1_epi32((int)A);
  for (; x + 2 <= n; x += 2) {
    const __m128i f16 = _mm_loadu_si128((const __m128i*)(const void*)(f + x));
    const __m256i gv = _mm256_cvtepu16_epi32(_mm_loadu_si128((const __m128i*)(const void*)(g + x)));
    const __m256i fv = _mm256_cvtepu16_epi32(f16);
    const __m256i k = _mm256_srli_epi32(_mm256_mullo_epi32(_mm256_shuffle_epi32(gv, 0xff), a_vec), 15);
    const __m256i d = _mm256_srai_epi32(_mm256_mullo_epi32(_mm256_sub_epi32(gv, fv), k), 15);
    const __m256i v = _mm256_blend_epi32(_mm256_add_epi32(fv, d), fv, 0x88);  // alpha kept
    _mm_storeu_si128((__m128i*)(void*)(f + x),
                     _mm_packus_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1)));
  }
  blend_grid_run(f + x, g + x, n - x, A);
}
QM_SIMD_POP
#endif

typedef void (*grid_run_fn)(lrgb_t*, const lrgb_t*, int, uint32_t);

grid_run_fn best_grid_run() {
#if defined(__GNUC__) && defined(__x86_64__)
  if (__builtin_cpu_supports("avx2")) return blend_grid_run_avx2;
#endif
  return blend_grid_run;
}

}  // namespace

void draw_grids_lut(inst_t* inst) {
  static const grid_run_fn blend_run = best_grid_run();
  const int H = inst->area_h;
  if (!inst->grid_runs || !inst->grid_packed || !inst->fb) return;
  const uint32_t A = (uint32_t)(gaussian(2 * inst->grid_fade) * 32768 + 0.5);
  const int32_t* run = inst->grid_runs;
  const lrgb_t* g = inst->grid_packed;
  for (int y = 0; y < H; ++y) {
    lrgb_t* f = inst->fb + (size_t)(inst->area_y + y) * inst->ui_w + inst->area_x;
    for (int32_t n = *run++; n > 0; --n, run += 2) {
      blend_run(f + run[0], g, run[1] - run[0], A);
      g += run[1] - run[0];
    }
  }
}
