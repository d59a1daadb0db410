#include "editor/grids.h"
#include "toolkit/simd_target.h"

#include <algorithm>
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
#include "toolkit/graphics/line_weights.h"
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

// Calls f(i, x) for every round frequency i, at x on the area's columns.
template <class F>
void each_freq(const inst_t* inst, F&& f) {
  const freq_table_t& t = freq_table();
  const int W = inst->area_w;
  for (int i = 0; i < FREQS; ++i) f(i, (W - 1) * log_pos_inv(t.freq[i], inst->view_f_lo, inst->view_f_hi));
}

bool has_freq_line(int i) { return i != 0 && i != FREQS - 1; }

lrgb_t freq_colour(int i) {
  const double ratio = freq_table().ratio[i];
  const lrgb_t c = line_colour();
  return {(uint16_t)(c.r * ratio), (uint16_t)(c.g * ratio), (uint16_t)(c.b * ratio), 0};
}

void freq_line(inst_t* inst, int i, double x) {
  const int W = inst->area_w, H = inst->area_h;
  draw_line_thin(inst->grids_lut, W, H, freq_colour(i), BLEND_ADD, x, 0, x, H - 1, LINE_RADIUS, 1.0);
}

void freq_label(inst_t* inst, int i, double x) {
  const freq_table_t& t = freq_table();
  const int W = inst->area_w, H = inst->area_h;
  if (!(x >= 0 && x <= W - 1 && (W - 1) * t.importance[i] / inst->view_width > 500)) return;
  const double f = t.freq[i];
  const double bx = inst->area_x + x, by = inst->area_y + H - 1;
  draw_tick(inst, bx, by, bx, by + 10);
  char s[32];
  if (i <= 16)
    std::snprintf(s, sizeof s, "%.0f Hz", f);
  else
    std::snprintf(s, sizeof s, "%.0f kHz", f * 0.001);
  draw_label(inst, inst->label_text_b, bx, by + 18, s);
}

// Calls f(label_switch, v, q) for every level line in drawing order.
template <class F>
void each_level(const inst_t* inst, F&& f) {
  const double z = inst->vscale;
  const int H = inst->area_h;
  // Below -60 dB the scale is compressed: with -84 dB on screen, -72 dB has no label.
  const int s = db_to_pix(inst, H, 0, realdb_to_db(-84)) <= H - 1 ? 1 : 0;
  for (int v = -84; v <= 60; v += 12) f(s, v, 1.0);
  const double q6 = fade_in(z, 0.75, 3), q3 = fade_in(z, 0.75, 6), q1 = fade_in(z, 0.333, 12);
  for (int v = -84; v <= 54; v += 6)
    if (v % 12) f(0, v, q6);
  for (int v = -15; v <= 15; v += 3)
    if (v % 6) f(0, v, q3);
  for (int v = -9; v <= 9; ++v)
    if (v % 3) f(0, v, q1);
}

constexpr double FAINTEST = 0.0017;  // level lines fainter than this are not drawn

// Calls dash(y, t0, t1) for every dash of the level line at v real dB: the fraction t0 .. t1
// of the row y across the area.
template <class F>
void each_dash(const inst_t* inst, double v, double q, F&& dash) {
  if (q < FAINTEST || v == 60) return;
  const double y = db_to_pix(inst, inst->area_h, 0, realdb_to_db(v));
  // The 0 dB line has longer dashes.
  const double start = v == 0 ? 0.003 : 0.002, step = v == 0 ? 0.012 : 0.008, len = v == 0 ? 0.006 : 0.004;
  for (int k = 0;; ++k) {
    const double t = start + k * step;
    if (!(t < 1)) break;
    dash(y, t, t + len);
  }
}

void level_label(inst_t* inst, int label_switch, double v, double q) {
  if (q < FAINTEST) return;
  const int H = inst->area_h;
  const double y = db_to_pix(inst, H, 0, realdb_to_db(v));
  if (!(y >= 0 && y <= H - 1 && q > 0.1 && !(label_switch == 1 && v == -72))) return;
  const double by = inst->area_y + y;
  draw_tick(inst, inst->area_x - (v == 0 ? 6 : 8), by, inst->area_x, by);
  if (v == 0) {
    draw_label(inst, inst->label_text_a, inst->area_x - 4.7, by, "0 dB");
  } else {
    char s[32];
    std::snprintf(s, sizeof s, "%+.0f", v);
    draw_label(inst, inst->label_text_a, inst->area_x - 8, by, s);
  }
}

// A covered pixel of the accumulated lines becomes the tint with the green light as its
// opacity. Every line has equal red and green (at half of blue), and equal red and green stay
// equal through every blend: one division serves both.
inline void to_tint(lrgb_t* p) {
  p->a = p->g;
  if (p->b == 0) return;  // no blue light: no red or green either
  p->r = p->g = (uint16_t)(((uint32_t)p->g << 15) / p->b);
  p->b = 32768;
}

// Runs of covered pixels written row by row as pack_runs writes them (per row a count, then
// first/end pairs, the pixels packed in run order), from pieces given left to right: a piece
// that begins where the row's last run ends extends it, so the runs are the longest ones.
struct run_writer_t {
  int32_t* run;
  lrgb_t* packed;
  int32_t* count = nullptr;

  void next_row() {
    count = run++;
    *count = 0;
  }
  // x0 < x1, every pixel covered.
  void add(int x0, int x1, const lrgb_t* px) {
    if (*count && run[-1] == x0) {
      run[-1] = x1;
    } else {
      *run++ = x0;
      *run++ = x1;
      ++*count;
    }
    std::memcpy(packed, px, sizeof(lrgb_t) * (x1 - x0));
    packed += x1 - x0;
  }
  // n whole runs of another stream, apart from the row's last run and from each other, with
  // their pixels.
  void add_apart(const int32_t* runs, int n, const lrgb_t* px, size_t pixels) {
    std::memcpy(run, runs, sizeof(int32_t) * 2 * n);
    run += 2 * n;
    *count += n;
    std::memcpy(packed, px, sizeof(lrgb_t) * pixels);
    packed += pixels;
  }
  // The covered pixels of row[a .. b).
  void add_covered(const lrgb_t* row, int a, int b) {
    for (int x = a; x < b;) {
      while (x < b && !row[x].a) ++x;
      if (x == b) break;
      const int x0 = x;
      while (x < b && row[x].a) ++x;
      add(x0, x, row + x0);
    }
  }
};

// A recorded dash pixel as one key: its index in the grid image, then the order it was drawn
// in, then its weight. Sorted, the keys give each row's pixels left to right and each pixel's
// dashes in drawing order.
constexpr int OP_WEIGHT_BITS = 17, OP_ORDER_BITS = 19, OP_AT_SHIFT = OP_WEIGHT_BITS + OP_ORDER_BITS;
static_assert(GRID_DASH_CAPACITY <= 1 << OP_ORDER_BITS, "the drawing order must fit its bits");
static_assert((int64_t)FRAME_PIXELS < (int64_t)1 << (64 - OP_AT_SHIFT), "every pixel index must fit its bits");

inline uint64_t op_key(int64_t at, int64_t order, int weight) {
  return (uint64_t)at << OP_AT_SHIFT | (uint64_t)order << OP_WEIGHT_BITS | (uint64_t)weight;
}
inline int64_t op_at(uint64_t key) { return (int64_t)(key >> OP_AT_SHIFT); }
inline int op_weight(uint64_t key) { return (int)(key & ((1u << OP_WEIGHT_BITS) - 1)); }

// The level lines' dashes do not move with the horizontal view: their pixels and weights are
// recorded once per vertical range and area, and with them the dashes alone, tinted and
// packed. A horizontal zoom or pan then takes those pixels as they are wherever no frequency
// line reaches, and replays only the dashes in the frequency lines' columns over the new
// lines. False when the instance has no room for them (the grid is then drawn whole).
bool record_dashes(inst_t* inst) {
  if (!inst->grid_dash_ops || !inst->grid_dash_row_start || !inst->grid_dash_runs || !inst->grid_dash_packed)
    return false;
  const int W = inst->area_w, H = inst->area_h;
  if (inst->grid_dash_vscale == inst->vscale && inst->grid_dash_w == W && inst->grid_dash_h == H)
    return inst->grid_dash_count >= 0;
  inst->grid_dash_vscale = inst->vscale;
  inst->grid_dash_w = W;
  inst->grid_dash_h = H;
  inst->grid_dash_count = -1;
  uint64_t* ops = inst->grid_dash_ops;
  int32_t n = 0;
  bool full = false;
  each_level(inst, [&](int, double v, double q) {
    each_dash(inst, v, q, [&](double y, double t0, double t1) {
      line_thin_short_weights(W, H, 0, y, W - 1, y, t0, t1, LINE_RADIUS, q, [&](long px, long py, int wgt) {
        if (wgt <= 0) return;  // a mix by nothing leaves the pixel
        if (n == GRID_DASH_CAPACITY || wgt >> OP_WEIGHT_BITS) {
          full = true;
          return;
        }
        ops[n] = op_key(py * W + px, n, wgt);
        ++n;
      });
    });
  });
  if (full) return false;
  std::sort(ops, ops + n);
  int32_t* start = inst->grid_dash_row_start;
  for (int y = 0, k = 0; y <= H; ++y) {
    while (k < n && op_at(ops[k]) < (int64_t)y * W) ++k;
    start[y] = k;
  }
  // The dashes alone, drawn over nothing in the rows they reach (the image is scratch).
  lrgb_t* img = inst->grids_lut;
  const lrgb_t c = line_colour();
  run_writer_t out{inst->grid_dash_runs, inst->grid_dash_packed};
  for (int y = 0; y < H; ++y) {
    out.next_row();
    if (start[y] == start[y + 1]) continue;
    lrgb_t* row = img + (size_t)y * W;
    std::memset(row, 0, sizeof(lrgb_t) * W);
    for (int32_t k = start[y]; k < start[y + 1]; ++k) {
      lrgb_t& p = img[op_at(ops[k])];
      p = blend_mode<BLEND_MIX>(p, c, op_weight(ops[k]));
    }
    for (int x = 0; x < W; ++x) to_tint(row + x);
    out.add_covered(row, 0, W);
  }
  inst->grid_dash_count = n;
  return true;
}

// Rows of the area in stretches first .. last, each row after the first having the first's
// pixels of the frequency lines; a row in none is drawn for itself.
struct shared_rows_t {
  enum { MAX = 32 };
  int32_t first[MAX], last[MAX];
  int count = 0;
};

// The lines are vertical: away from their ends, their pixels change from row to row only
// where a column's distance to a line crosses a step of the Gaussian's table, which happens in
// few rows or none. The stretches between those rows are found by halving.
shared_rows_t find_shared_rows(const line_thin_t* line, int lines, int W, int H) {
  shared_rows_t r;
  long lo = 0, hi = H - 1;
  const line_thin_t* crossing[FREQS];  // the lines that reach the stretches' rows
  int n_crossing = 0;
  for (int n = 0; n < lines; ++n) {
    long a, b;
    if (line_thin_inner_rows(line[n], W, H, &a, &b)) {
      lo = std::max(lo, a);
      hi = std::min(hi, b);
      crossing[n_crossing++] = line + n;
      continue;
    }
    // A line just outside a side of the area is pressed into a short piece at its top: the
    // stretches keep below it.
    const line_band_t& band = line[n].band;
    if (!band.steep || band.major1 >= H / 2) return r;
    lo = std::max(lo, band.major1 + 1);  // mutate: skip constant (the first row of a stretch is drawn for itself)
  }
  auto alike = [&](long r0, long r1) {
    for (int n = 0; n < n_crossing; ++n)
      if (!line_thin_rows_alike(*crossing[n], W, r0, r1)) return false;
    return true;
  };
  long pending[64][2];
  int top = 0;
  if (lo < hi) pending[top][0] = lo, pending[top++][1] = hi;
  while (top > 0 && r.count < shared_rows_t::MAX) {
    const long a = pending[--top][0], b = pending[top][1];
    if (alike(a, b)) {
      r.first[r.count] = (int32_t)a;
      r.last[r.count++] = (int32_t)b;
    } else if (b - a >= 3) {  // halves of at least two rows; the left one is taken first
      const long m = (a + b) / 2;
      // A stretch is kept only when checked alike whole: a half pushed wrong, twice or not at
      // all is checked again or drawn row by row, to the same pixels.
      pending[top][0] = m + 1, pending[top++][1] = b;  // mutate: skip statement constant (as said)
      pending[top][0] = a, pending[top++][1] = m;      // mutate: skip statement constant (as said)
    }
  }
  return r;
}

// The grid from the recorded dashes: only the frequency lines' columns are drawn, crossed by
// their dashes and tinted; everywhere else a row takes the dashes alone as recorded. Rows that
// share their pixels of the lines are drawn once.
void build_from_dashes(inst_t* inst) {
  const int W = inst->area_w, H = inst->area_h;
  lrgb_t* img = inst->grids_lut;
  line_thin_t line[FREQS];
  lrgb_t colour[FREQS];
  int lines = 0;
  // The columns the lines reach, in order and merged where they meet.
  int32_t span[FREQS][2] = {};
  int spans = 0;
  each_freq(inst, [&](int i, double x) {
    if (!has_freq_line(i)) return;
    const line_thin_t L = line_thin_prepare(W, H, x, 0, x, H - 1, LINE_RADIUS, 1.0);
    // A vertical line reaches the same columns in every row: none, for one wholly outside.
    long a, b;
    if (!line_thin_row_columns(L, W, &a, &b)) return;
    int k = spans++;
    for (; k > 0 && span[k - 1][0] > a; --k) span[k][0] = span[k - 1][0], span[k][1] = span[k - 1][1];
    span[k][0] = (int32_t)a;
    span[k][1] = (int32_t)b + 1;
    line[lines] = L;
    colour[lines++] = freq_colour(i);
  });
  int merged = 0;  // mutate: skip constant (from 1 the first span merges with itself; with none, span 0 is empty)
  for (int k = 0; k < spans; ++k) {
    if (merged && span[k][0] <= span[merged - 1][1]) {  // mutate: skip relational (spans that only touch cover the same columns merged or not)
      span[merged - 1][1] = std::max(span[merged - 1][1], span[k][1]);
    } else {
      span[merged][0] = span[k][0];
      span[merged][1] = span[k][1];
      ++merged;
    }
  }
  const shared_rows_t shared = W <= FRAME_W ? find_shared_rows(line, lines, W, H) : shared_rows_t{};
  // The rows drawn for themselves: every one outside first + 1 .. last of the stretches.
  auto each_drawn = [&](auto&& f) {
    long y0 = 0;
    for (int s = 0; s < shared.count; ++s) {
      f(y0, (long)shared.first[s]);
      y0 = shared.last[s] + 1;
    }
    f(y0, (long)H - 1);
  };
  each_drawn([&](long y0, long y1) {
    for (long y = y0; y <= y1; ++y)
      for (int k = 0; k < merged; ++k)
        std::memset(img + (size_t)y * W + span[k][0], 0, sizeof(lrgb_t) * (span[k][1] - span[k][0]));
  });
  for (int n = 0; n < lines; ++n) {
    auto add = [&](long px, long py, int wgt) {
      lrgb_t& p = img[py * W + px];
      p = blend_mode<BLEND_ADD>(p, colour[n], wgt);
    };
    each_drawn([&](long y0, long y1) { line_thin_walk(line[n], W, H, y0, y1, add); });
  }
  // The first row of the current stretch, as drawn and tinted, for the rows after it.
  lrgb_t ref[FRAME_W], ref_tint[FRAME_W];
  int s = 0;
  const lrgb_t c = line_colour();
  const uint64_t* ops = inst->grid_dash_ops;
  const int32_t* start = inst->grid_dash_row_start;
  const int32_t* kept = inst->grid_dash_runs;
  const lrgb_t* kept_px = inst->grid_dash_packed;
  run_writer_t out{inst->grid_runs, inst->grid_packed};
  // The first row that took its stretch's pixels and nothing else: a row like it is a copy.
  const int32_t* plain_runs = nullptr;
  const lrgb_t* plain_px = nullptr;
  size_t plain_ints = 0, plain_pixels = 0;
  int plain_s = -1;
  for (int y = 0; y < H; ++y) {
    lrgb_t* row = img + (size_t)y * W;
    const int64_t base = (int64_t)y * W;
    while (s < shared.count && y > shared.last[s]) ++s;
    // The next row's keys, which its searches read out of order: the frame has long since
    // pushed them out of the cache.
    if (y + 1 < H)
      for (const uint64_t* k = ops + start[y + 1]; k < ops + start[y + 2]; k += 8) __builtin_prefetch(k);  // mutate: skip (a prefetch: no pixel changes)
    const bool own = s == shared.count || y <= shared.first[s];
    const bool plain = !own && *kept == 0 && start[y] == start[y + 1];
    if (plain && plain_s == s) {
      std::memcpy(out.run, plain_runs, sizeof(int32_t) * plain_ints);
      std::memcpy(out.packed, plain_px, sizeof(lrgb_t) * plain_pixels);
      out.run += plain_ints;
      out.packed += plain_pixels;
      ++kept;
      continue;
    }
    const bool first_plain = plain;
    if (plain) {
      plain_runs = out.run;
      plain_px = out.packed;
      plain_s = s;
    }
    if (s < shared.count && y == shared.first[s]) {
      for (int k = 0; k < merged; ++k) {
        const int a = span[k][0], n = span[k][1] - a;
        std::memcpy(ref + a, row + a, sizeof(lrgb_t) * n);
        std::memcpy(ref_tint + a, row + a, sizeof(lrgb_t) * n);
        for (int x = a; x < a + n; ++x) to_tint(ref_tint + x);
      }
    }
    out.next_row();
    int32_t left = *kept++;
    int from = 0;  // the recorded pixels left of this column are taken or passed over
    // The recorded pixels from `from` up to `to`; a run reaching past `to` is kept for later.
    auto take_kept = [&](int to) {
      while (left > 0) {
        const int s0 = kept[0], e = kept[1], a = std::max(s0, from), b = std::min(e, to);
        if (a < b) out.add(a, b, kept_px + (a - s0));
        if (e > to) break;
        --left, kept_px += e - s0, kept += 2;
        if (a >= b) continue;
        // The runs after one taken whole, up to `to`, are whole too: taken together.
        int m = 0;
        size_t pixels = 0;
        for (; m < left && kept[2 * m + 1] <= to; ++m) pixels += kept[2 * m + 1] - kept[2 * m];
        out.add_apart(kept, m, kept_px, pixels);
        left -= m, kept_px += pixels, kept += 2 * m;
      }
    };
    const uint64_t* op = ops + start[y];
    const uint64_t* const end = ops + start[y + 1];
    for (int k = 0; k < merged; ++k) {
      const int a = span[k][0], b = span[k][1];
      take_kept(a);
      const uint64_t* first = op == end ? op : std::lower_bound(op, end, (uint64_t)(base + a) << OP_AT_SHIFT);
      for (op = first; op != end && op_at(*op) < base + b; ++op) {}
      if (own || first != op) {
        if (!own) std::memcpy(row + a, ref + a, sizeof(lrgb_t) * (b - a));
        for (const uint64_t* o = first; o != op; ++o) {
          lrgb_t& p = row[op_at(*o) - base];
          p = blend_mode<BLEND_MIX>(p, c, op_weight(*o));
        }
        for (int x = a; x < b; ++x) to_tint(row + x);
        out.add_covered(row, a, b);
      } else {
        out.add_covered(ref_tint, a, b);
      }
      from = b;
    }
    take_kept(W);
    if (first_plain) {
      plain_ints = out.run - plain_runs;
      plain_pixels = out.packed - plain_px;
    }
  }
}

}  // namespace

void draw_freq_grid(inst_t* inst) {
  each_freq(inst, [&](int i, double x) {
    if (has_freq_line(i)) freq_line(inst, i, x);
    freq_label(inst, i, x);
  });
}

void draw_db_dashed_line(inst_t* inst, int label_switch, double v, double q) {
  const int W = inst->area_w, H = inst->area_h;
  const lrgb_t c = line_colour();
  each_dash(inst, v, q, [&](double y, double t0, double t1) {
    draw_line_thin_short(inst->grids_lut, W, H, c, BLEND_MIX, 0, y, W - 1, y, t0, t1, LINE_RADIUS, q);
  });
  level_label(inst, label_switch, v, q);
}

void draw_db_grid(inst_t* inst) {
  each_level(inst, [inst](int s, double v, double q) { draw_db_dashed_line(inst, s, v, q); });
}

void make_grids_lut(inst_t* inst) {
  const int n = inst->area_w * inst->area_h;
  if (!inst->grids_lut || !inst->grid_runs || !inst->grid_packed || !inst->bg_final || n <= 0) return;
  // The labels change bg_final's colours, never its alpha: the panel's runs stay as they are.
  restore_label_strips(inst);
  if (record_dashes(inst)) {
    build_from_dashes(inst);
    each_freq(inst, [&](int i, double x) { freq_label(inst, i, x); });
    each_level(inst, [&](int s, double v, double q) { level_label(inst, s, v, q); });
    return;
  }
  std::memset(inst->grids_lut, 0, sizeof(lrgb_t) * n);
  draw_freq_grid(inst);
  draw_db_grid(inst);
  for (lrgb_t* p = inst->grids_lut; p < inst->grids_lut + n; ++p) to_tint(p);
  // The covered pixels as runs, packed in run order: the frame reads them as one stream
  // instead of picking them out of the whole image.
  pack_runs(inst->grids_lut, inst->area_w, inst->area_h, inst->grid_runs, inst->grid_packed);
}

namespace {

// Calls blend(f, g, n) for every run of the grid's stream: n covered pixels g over the frame's
// f. Inlined into each kernel's caller, so that the kernel is too.
template <class Blend>
__attribute__((always_inline)) inline void each_grid_run(const inst_t* inst, Blend&& blend) {
  const int32_t* run = inst->grid_runs;
  const lrgb_t* g = inst->grid_packed;
  for (int y = 0; y < inst->area_h; ++y) {
    lrgb_t* f = inst->fb + (size_t)(inst->area_y + y) * inst->ui_w + inst->area_x;
    for (int32_t n = *run++; n > 0; --n, run += 2) {
      blend(f + run[0], g, run[1] - run[0]);
      g += run[1] - run[0];
    }
  }
}

// n covered pixels of one run: each channel (grid * k + frame * (32768 - k)) >> 15 with
// k = (alpha * A) >> 15. Alphas never exceed 32768 (the lines saturate there), so every
// product fits 32 bits.
void blend_grid_run(lrgb_t* f, const lrgb_t* g, int n, uint32_t A) {
  for (int x = 0; x < n; ++x) {
    const uint32_t k = (g[x].a * A) >> 15, j = 32768 - k;
    f[x].r = (uint16_t)((g[x].r * k + f[x].r * j) >> 15);
    f[x].g = (uint16_t)((g[x].g * k + f[x].g * j) >> 15);
    f[x].b = (uint16_t)((g[x].b * k + f[x].b * j) >> 15);
  }
}

#ifdef __SSE2__
// The same with SSE2, two pixels at a time: the products from their 16-bit halves, and the
// results packed back through a bias (a signed pack of 0 .. 32768 would saturate at 32767).
void blend_grid_run_sse2(lrgb_t* f, const lrgb_t* g, int n, uint32_t A) {
  int x = 0;
  const __m128i a_vec = _mm_set1_epi16((short)A), full = _mm_set1_epi16((short)32768);
  const __m128i bias = _mm_set1_epi32(32768), keep = _mm_set_epi16(-1, 0, 0, 0, -1, 0, 0, 0);
  for (; x + 2 <= n; x += 2) {  // mutate: skip relational (pixels the loop leaves, the plain tail blends to the same bits)
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
  blend_grid_run(f + x, g + x, n - x, A);
}
#endif

#if defined(__GNUC__) && defined(__x86_64__)
QM_SIMD_PUSH("avx2")
// The same with AVX2, in 32-bit lanes, two pixels at a time: (grid * k + frame * (32768 -
// k)) >> 15 is frame + ((grid - frame) * k >> 15) exactly, and that product fits a signed lane.
// A last odd pixel goes through the same lanes, its neighbour's zero.
inline __m128i blend_grid_pair_avx2(__m128i f16, __m128i g16, __m256i a_vec) {
  const __m256i gv = _mm256_cvtepu16_epi32(g16), fv = _mm256_cvtepu16_epi32(f16);
  const __m256i k = _mm256_srli_epi32(_mm256_mullo_epi32(_mm256_shuffle_epi32(gv, 0xff), a_vec), 15);
  const __m256i d = _mm256_srai_epi32(_mm256_mullo_epi32(_mm256_sub_epi32(gv, fv), k), 15);
  const __m256i v = _mm256_blend_epi32(_mm256_add_epi32(fv, d), fv, 0x88);  // alpha kept
  return _mm_packus_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
}

__attribute__((always_inline)) inline void blend_grid_run_avx2(lrgb_t* f, const lrgb_t* g, int n, uint32_t A) {
  int x = 0;
  const __m256i a_vec = _mm256_set1_epi32((int)A);
  for (; x + 2 <= n; x += 2) {  // mutate: skip relational (as in the SSE2 kernel)
    __m128i* fp = (__m128i*)(void*)(f + x);
    const __m128i* gp = (const __m128i*)(const void*)(g + x);
    _mm_storeu_si128(fp, blend_grid_pair_avx2(_mm_loadu_si128(fp), _mm_loadu_si128(gp), a_vec));
  }
  if (x < n) {
    __m128i* fp = (__m128i*)(void*)(f + x);
    const __m128i* gp = (const __m128i*)(const void*)(g + x);
    _mm_storel_epi64(fp, blend_grid_pair_avx2(_mm_loadl_epi64(fp), _mm_loadl_epi64(gp), a_vec));
  }
}

// The whole stream, the kernel inlined into the walk rather than called for every run.
void blend_grid_avx2(const inst_t* inst, uint32_t A) {
  each_grid_run(inst, [A](lrgb_t* f, const lrgb_t* g, int n) { blend_grid_run_avx2(f, g, n, A); });
}
QM_SIMD_POP
#endif

}  // namespace

grid_blends_t grid_blends() {
  grid_blends_t b = {blend_grid_run, nullptr, nullptr};
#ifdef __SSE2__
  b.sse2 = blend_grid_run_sse2;
#endif
#if defined(__GNUC__) && defined(__x86_64__)
  if (__builtin_cpu_supports("avx2")) b.avx2 = blend_grid_run_avx2;
#endif
  return b;
}

void draw_grids_lut(inst_t* inst) {
  // Every kernel gives the same bits (the grid tests hold them to it): the fastest one runs.
  static const grid_blends_t kernels = grid_blends();
  if (!inst->grid_runs || !inst->grid_packed || !inst->fb) return;
  const uint32_t A = (uint32_t)(gaussian(2 * inst->grid_fade) * 32768 + 0.5);
#if defined(__GNUC__) && defined(__x86_64__)
  if (kernels.avx2) {
    blend_grid_avx2(inst, A);
    return;
  }
#endif
  const grid_blend_fn blend_run = kernels.sse2 ? kernels.sse2 : kernels.plain;
  each_grid_run(inst, [&](lrgb_t* f, const lrgb_t* g, int n) { blend_run(f, g, n, A); });
}
