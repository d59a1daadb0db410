#include "editor/grids.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <set>
#include <vector>

#include "editor/layout.h"
#include "editor/skin.h"
#include "editor/view.h"
#include "editor_env.h"
#include "engine/levels.h"
#include "toolkit/font.h"
#include "toolkit/graphics/colour.h"

namespace {

// A record with just what the grids need: the view, a white panel and the label texts, in
// buffers that hold the largest editor. With dashes, it also has the room to rebuild from the
// recorded level lines.
struct grid_record_t {
  inst_t inst;
  std::vector<lrgb_t> layer = std::vector<lrgb_t>(FRAME_PIXELS), final_bg = layer, backing = layer, lut = layer,
                      fb = layer, packed = layer;
  std::vector<int32_t> runs = std::vector<int32_t>(GRID_RUNS_CAPACITY);
  std::vector<uint64_t> dash_ops;
  std::vector<int32_t> dash_row_start, dash_runs;
  std::vector<lrgb_t> dash_packed;
  gc_list_t* owner = gc_list_create();

  grid_record_t(int w, int h, double vrange = FULL_RANGE, double zoom = 1, double pos = 0.5, bool dashes = false) {
    init_colours();
    skin_load_fonts();
    inst.area_x = inst.area_y = 32;
    inst.area_xf = inst.area_yf = 32;
    inst.bg_layer = layer.data();
    inst.bg_final = final_bg.data();
    inst.label_backing = backing.data();
    inst.grids_lut = lut.data();
    inst.grid_runs = runs.data();
    inst.grid_packed = packed.data();
    inst.fb = fb.data();
    if (dashes) {
      dash_ops.resize(GRID_DASH_CAPACITY);
      dash_row_start.resize(FRAME_H + 1);
      dash_runs.resize(GRID_RUNS_CAPACITY);
      dash_packed.resize(GRID_DASH_CAPACITY);
      inst.grid_dash_ops = dash_ops.data();
      inst.grid_dash_row_start = dash_row_start.data();
      inst.grid_dash_runs = dash_runs.data();
      inst.grid_dash_packed = dash_packed.data();
    }
    inst.label_text_a = init_text(owner, skin().fbold12, TEXT_RIGHT | TEXT_MIDDLE, 0, 0);
    inst.label_text_b = init_text(owner, skin().fbold12, TEXT_MIDDLE, 0, 0);
    resize(w, h, vrange, zoom, pos);
  }
  // A new area size, its panel drawn anew, and the grid made.
  void resize(int w, int h, double vrange = FULL_RANGE, double zoom = 1, double pos = 0.5) {
    set_view(&inst, w, h, vrange, zoom, pos);
    inst.ui_w = w + 246;
    inst.ui_h = h + 64;
    std::fill(layer.begin(), layer.end(), make_grey_lin(1.0));
    std::fill(fb.begin(), fb.end(), lrgb_t{0, 0, 0, 0});
    make_final_layout(&inst);
    make_grids_lut(&inst);
  }
  ~grid_record_t() { gc_cleanup(owner); }

  const lrgb_t& panel(int x, int y) const { return final_bg[y * inst.ui_w + x]; }
  const lrgb_t& grid(int x, int y) const { return lut[y * inst.area_w + x]; }
  // A tick darkens the white panel just below the area (frequencies) or left of it (levels).
  bool freq_tick(double x) const {
    return panel(inst.area_x + (int)std::lround(x), inst.area_y + inst.area_h - 1 + 5).g < 20000;
  }
  bool level_tick(double row) const { return panel(inst.area_x - 4, inst.area_y + (int)std::lround(row)).g < 20000; }
  double row_of(double real_db) const { return db_to_pix(&inst, inst.area_h, 0, realdb_to_db(real_db)); }
};

const double FREQS[] = {20,   30,   40,   50,   60,   70,   80,   90,   100,  200,  300,  400,  500,  600,
                        700,  800,  900,  1000, 2000, 3000, 4000, 5000, 6000, 7000, 8000, 9000, 10000, 20000};

int leading_digit(double f) {
  while (f >= 10) f /= 10;
  return (int)f;
}

// Which frequencies get a label: those on screen whose leading digit the zoom makes room for.
void expect_labels(int w, double zoom, std::set<int> digits) {
  grid_record_t g(w, 602, FULL_RANGE, zoom);
  for (double f : FREQS) {
    const double x = (w - 1) * std::log(f / g.inst.view_f_lo) / std::log(g.inst.view_f_hi / g.inst.view_f_lo);
    // A frequency exactly at an edge of the view is on either side by rounding: skip it.
    if (x < 1e-6 || x > w - 1 - 1e-6) continue;
    EXPECT_EQ(g.freq_tick(x), digits.count(leading_digit(f)) == 1) << f << " Hz at zoom " << zoom << ", " << w;
  }
}

TEST(FrequencyGrid, LabelsAppearAsTheZoomMakesRoom) {
  expect_labels(974, 1, {1, 2, 5, 3});
  expect_labels(974, 2, {1, 2, 5, 3, 4, 7});
  expect_labels(974, 3, {1, 2, 5, 3, 4, 7, 6, 8});
  expect_labels(974, 4, {1, 2, 5, 3, 4, 7, 6, 8, 9});
  expect_labels(534, 1, {1, 2, 5});
}

TEST(FrequencyGrid, NoLinesAtTheEndsButTheirLabels) {
  grid_record_t g(974, 602);
  const int quiet_row = 300;  // between level lines
  EXPECT_EQ(g.grid(0, quiet_row).a, 0);
  EXPECT_EQ(g.grid(973, quiet_row).a, 0);
  EXPECT_TRUE(g.freq_tick(0));
  EXPECT_TRUE(g.freq_tick(973));
  // 100 Hz is brighter than 90 Hz, by sqrt(9).
  const double x100 = 973 * std::log(5.0) / std::log(1000.0), x90 = 973 * std::log(4.5) / std::log(1000.0);
  const int a100 = g.grid((int)std::lround(x100), quiet_row).a, a90 = g.grid((int)std::lround(x90), quiet_row).a;
  EXPECT_GT(a100, 2 * a90);
}

// A column inside a dash of the ordinary level lines, away from every frequency line.
int dash_column(const grid_record_t& g, int quiet_row) {
  for (int k = 0; k < 100; ++k) {
    const int x = (int)std::lround((g.inst.area_w - 1) * (0.004 + k * 0.008));
    if (g.grid(x, quiet_row).a == 0 && g.grid(x - 3, quiet_row).a == 0 && g.grid(x + 3, quiet_row).a == 0) return x;
  }
  ADD_FAILURE() << "no free dash column";
  return 0;
}

TEST(LevelGrid, FullRangeShowsTwelveDecibelLinesAndFaintSixes) {
  grid_record_t g(814, 502);
  const int x = dash_column(g, (int)std::lround(g.row_of(-9)));
  auto line_alpha = [&](double v) { return g.grid(x, (int)std::lround(g.row_of(v))).a; };
  EXPECT_GT(line_alpha(-12), 1000);
  EXPECT_GT(line_alpha(-6), 0);  // intensity 0.5 + 0.5 erf(-1.5): about 0.017
  EXPECT_LT(line_alpha(-6), 100);
  EXPECT_EQ(line_alpha(-3), 0);  // 3 dB lines are far below visibility at this range
  EXPECT_TRUE(g.level_tick(g.row_of(-12)));
  EXPECT_FALSE(g.level_tick(g.row_of(-6)));
  // 60 dB is on the top row: a label, never a line.
  EXPECT_TRUE(g.level_tick(0));
  EXPECT_EQ(g.grid(x, 0).a, 0);
  // With -84 dB on screen the crowded -72 dB label is left out.
  EXPECT_TRUE(g.level_tick(g.row_of(-84)));
  EXPECT_FALSE(g.level_tick(g.row_of(-72)));
  EXPECT_TRUE(g.level_tick(g.row_of(-60)));
}

// The -72 dB label gives way exactly while -84 dB is on screen: these ranges put -84 dB on the
// last row (at 500.8 of 501), just below it (501.2) and further below.
TEST(LevelGrid, TheMinus72LabelGivesWayOnlyWhileMinus84IsOnScreen) {
  const struct {
    double vrange;
    bool label;
  } cases[] = {{64.1, false}, {64.05, true}, {64, true}};
  for (const auto& c : cases) {
    grid_record_t g(814, 502, c.vrange);
    EXPECT_EQ(g.level_tick(g.row_of(-72)), c.label) << c.vrange;
  }
}

TEST(LevelGrid, ZoomedInShowsSingleDecibels) {
  grid_record_t g(814, 502, 3);
  for (int v : {-2, -1, 1, 2}) EXPECT_TRUE(g.level_tick(g.row_of(v))) << v;
  EXPECT_TRUE(g.level_tick(g.row_of(0)));
  // Every covered pixel has the one grid tint (up to the rounding of the faintest ones); its
  // opacity is what the lines left.
  int covered = 0;
  for (const lrgb_t& p : g.lut) {
    if (p.a < 256) continue;
    ++covered;
    EXPECT_EQ(p.b, 32768);
    EXPECT_NEAR(p.r, 16384, 164);  // 1 %
    EXPECT_EQ(p.r, p.g);
  }
  EXPECT_GT(covered, 1000);
}

TEST(LevelGrid, RebuildingStartsFromTheCleanPanel) {
  grid_record_t g(814, 502, 3);
  g.inst.vscale = 1;  // back to the full range
  make_grids_lut(&g.inst);
  EXPECT_FALSE(g.level_tick(g.row_of(1)));  // the single-decibel labels are gone
  EXPECT_TRUE(g.level_tick(g.row_of(-12)));
}

// The grid a horizontal zoom or pan rebuilds from the recorded dashes is the grid drawn dash by
// dash: the same runs, the same packed pixels and the same labels, bit for bit, through a
// sequence of views, vertical ranges and area sizes as a user's wheel and knobs make them.
TEST(GridRebuild, RecordedDashesGiveTheGridDrawnDashByDash) {
  struct view_t {
    int w, h;
    double vrange, zoom, pos;
  } views[] = {{974, 602, FULL_RANGE, 1, 0.5}, {974, 602, FULL_RANGE, 1.3, 0.4}, {974, 602, FULL_RANGE, 2.9, 0.1},
               {974, 602, FULL_RANGE, 10, 1},  {974, 602, 20, 10, 0.73},        {974, 602, 20, 4, 0.5},
               {534, 602, 20, 4, 0.5},         {534, 602, 3, 1, 0.5},           {534, 602, 3, 7.5, 0.01},
               {974, 602, 3, 7.5, 0.01},       {974, 502, 3, 7.5, 0.01},        {974, 502, 3, 1.01, 0.01},
               {814, 502, FULL_RANGE, 1, 0.5}, {974, 602, FULL_RANGE, 1, 0.5}};
  grid_record_t fast(974, 602, FULL_RANGE, 1, 0.5, true), whole(974, 602);
  for (const view_t& v : views) {
    for (grid_record_t* g : {&fast, &whole}) {
      if (v.w != g->inst.area_w || v.h != g->inst.area_h) g->resize(v.w, v.h, v.vrange, v.zoom, v.pos);
      set_view(&g->inst, v.w, v.h, v.vrange, v.zoom, v.pos);
      // The image lives in the frame's memory, which the frames draw over in between.
      std::fill(g->lut.begin(), g->lut.end(), lrgb_t{1234, 5678, 910, 1112});
      make_grids_lut(&g->inst);
    }
    ASSERT_GT(fast.inst.grid_dash_count, 0);
    const std::string at = std::to_string(v.w) + " x " + std::to_string(v.h) + ", range " +
                           std::to_string(v.vrange) + ", zoom " + std::to_string(v.zoom) + ", position " +
                           std::to_string(v.pos);
    size_t runs = 0, pixels = 0;
    const int32_t* r = whole.runs.data();
    for (int y = 0; y < v.h; ++y, ++runs) {
      for (int32_t n = *r++; n > 0; --n, r += 2, runs += 2) pixels += r[1] - r[0];
    }
    EXPECT_EQ(std::memcmp(fast.runs.data(), whole.runs.data(), runs * sizeof(int32_t)), 0) << at;
    EXPECT_EQ(std::memcmp(fast.packed.data(), whole.packed.data(), pixels * sizeof(lrgb_t)), 0) << at;
    EXPECT_EQ(std::memcmp(fast.final_bg.data(), whole.final_bg.data(), fast.final_bg.size() * sizeof(lrgb_t)), 0)
        << at;
  }
}

// Where a text's ink can reach as blit_text lays it out, from the font's glyph cells rather
// than from a drawing: sheet pixel (c, r) of a glyph cell at (pen, top) touches the pixels
// within one sheet pixel of pen + c s, top + r s.
struct extent_t {
  double x0 = 1e9, x1 = -1e9, y0 = 1e9, y1 = -1e9;
};
extent_t ink_extent(const font_t* f, int flags, double x, double y, const char* s) {
  const double sc = f->size / f->cell_h;
  long sum = 0;
  for (const char* p = s; *p; ++p) sum += f->advance[(unsigned char)*p - 32];
  double pen = (flags & TEXT_RIGHT ? x - (f->advance[0] + sum) * sc : x - sum * 0.5 * sc) - f->left[0] * sc;
  const double top = y - (flags & TEXT_MIDDLE ? 1.3 : -0.2) * f->size / 3;
  extent_t e;
  for (const char* p = s; *p; ++p) {
    const int g = (unsigned char)*p - 32;
    for (int r = 0; r < f->cell_h; ++r)
      for (int c = 0; c < f->cell_w; ++c)
        if (f->coverage[((size_t)g * f->cell_h + r) * f->cell_w + c]) {
          e.x0 = std::min(e.x0, pen + (c - 1) * sc), e.x1 = std::max(e.x1, pen + (c + 1) * sc);
          e.y0 = std::min(e.y0, top + (r - 1) * sc), e.y1 = std::max(e.y1, top + (r + 1) * sc);
        }
    pen += f->advance[g] * sc;
  }
  return e;
}

TEST(ScaleLabels, EveryLabelLiesInsideTheEditorAtEverySizeAndRange) {
  init_colours();
  skin_load_fonts();
  const font_t* f = skin().fbold12;
  ASSERT_NE(f, nullptr);
  for (int size = 0; size < 3; ++size) {
    inst_t inst;
    inst.ui_size = size;
    layout_pos_from_uisize(&inst);
    const int W = inst.area_w, H = inst.area_h;
    auto inside = [&](const extent_t& e, const char* s) {
      EXPECT_GE(e.x0, 0) << s << " at size " << size;
      EXPECT_LE(e.x1, inst.ui_w) << s << " at size " << size;
      EXPECT_GE(e.y0, 0) << s << " at size " << size;
      EXPECT_LE(e.y1, inst.ui_h) << s << " at size " << size;
    };
    // Levels: every whole decibel, on its row wherever that row is inside the area.
    for (double vrange : {FULL_RANGE, 40.0, 20.0, 10.0, 5.0, 3.0}) {
      set_view(&inst, W, H, vrange);
      for (int v = -84; v <= 60; ++v) {
        const double row = db_to_pix(&inst, H, 0, realdb_to_db(v));
        if (row < 0 || row > H - 1) continue;
        char s[16];
        std::snprintf(s, sizeof s, "%+d", v);
        if (v == 0) std::snprintf(s, sizeof s, "0 dB");
        const double x = v == 0 ? inst.area_x - 4.7 : inst.area_x - 8.0;
        inside(ink_extent(f, TEXT_RIGHT | TEXT_MIDDLE, x, inst.area_y + row, s), s);
      }
    }
    // Frequencies, at both ends of the area.
    for (const char* s : {"20 Hz", "200 Hz", "500 Hz", "10 kHz", "20 kHz"})
      for (double x : {0.0, W - 1.0}) inside(ink_extent(f, TEXT_MIDDLE, inst.area_x + x, inst.area_y + H - 1 + 18, s), s);
  }
}

TEST(GridFade, OpacityFollowsTheFadeTimer) {
  grid_record_t g(814, 502);
  // Over black, a covered pixel shows the tint at its opacity times the fade.
  for (double fade : {0.0, 0.5, 1.0}) {
    std::fill(g.fb.begin(), g.fb.end(), lrgb_t{0, 0, 0, 0});
    g.inst.grid_fade = fade;
    draw_grids_lut(&g.inst);
    int covered = 0;
    for (int y = 0; y < 502; ++y)
      for (int x = 0; x < 814; ++x) {
        const lrgb_t& f = g.fb[(32 + y) * g.inst.ui_w + 32 + x];
        const int alpha = g.grid(x, y).a;
        covered += alpha > 0;
        ASSERT_NEAR(f.b, alpha * std::exp(-4 * fade * fade), 2) << x << ", " << y;
        ASSERT_NEAR(f.r, alpha * std::exp(-4 * fade * fade) / 2, 2) << x << ", " << y;
      }
    EXPECT_GT(covered, 10000);
  }
  // Nothing outside the area.
  EXPECT_EQ(g.fb[31 * g.inst.ui_w + 100].b, 0);
}

// Each blend kernel, forced, against the blend worked out here, bit for bit: opacities from
// none to full, alphas up to the lines' 32768, runs of every length up to a vector and a tail
// (the vector kernels do two pixels at a time), and the frame's alpha kept.
TEST(GridFade, EveryBlendKernelGivesTheExactBlend) {
  const grid_blends_t b = grid_blends();
  std::vector<lrgb_t> grid(7), frame(7);
  for (int i = 0; i < 7; ++i) {
    const uint16_t a[] = {20000, 0, 1, 12345, 32767, 32768, 32768};
    grid[i] = {(uint16_t)(32768 - 5000 * i), (uint16_t)(7 * i), (uint16_t)(30001 + i), a[i]};
    frame[i] = {(uint16_t)(5000 * i), (uint16_t)(32768 - i), (uint16_t)(20000 - 77 * i), (uint16_t)(111 * i)};
  }
  for (grid_blend_fn blend : {b.plain, b.sse2, b.avx2}) {
    if (!blend) continue;
    for (uint32_t A : {0u, 1u, 16384u, 29999u, 32768u})
      for (int n = 0; n <= 7; ++n) {
        std::vector<lrgb_t> f = frame;
        blend(f.data(), grid.data(), n, A);
        for (int i = 0; i < 7; ++i) {
          const uint32_t k = (grid[i].a * A) >> 15;
          auto mix = [&](uint16_t g, uint16_t v) { return i < n ? (g * k + v * (32768 - k)) >> 15 : v; };
          ASSERT_EQ(f[i].r, mix(grid[i].r, frame[i].r)) << "A " << A << ", n " << n << ", pixel " << i;
          ASSERT_EQ(f[i].g, mix(grid[i].g, frame[i].g)) << "A " << A << ", n " << n << ", pixel " << i;
          ASSERT_EQ(f[i].b, mix(grid[i].b, frame[i].b)) << "A " << A << ", n " << n << ", pixel " << i;
          ASSERT_EQ(f[i].a, frame[i].a) << "A " << A << ", n " << n << ", pixel " << i;
        }
      }
  }
}

}  // namespace
