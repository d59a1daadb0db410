#include "editor/curve.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

#include "editor/frame.h"
#include "editor_env.h"
#include "engine/bands.h"
#include "engine/levels.h"
#include "toolkit/graphics/blending.h"
#include "toolkit/graphics/colour.h"
#include "toolkit/graphics/drawprimitives.h"
#include "toolkit/util/mutex.h"

namespace {

// Instances drawn without spectrum colours, so that the area is black but for the grid,
// the handles and the curve.
struct Curve : EditorTest {
  PreviewPlug p;
  inst_t* inst = nullptr;
  preview_signal_t silence;

  void SetUp() override {
    p = make(1);
    inst = p->Inst();
    preview_set(p.get(), "Colour Gain", 0);
    silence.kind = preview_signal_t::SILENCE;
  }
  void frame(double grid_fade = 0) {
    inst->grid_fade = grid_fade;
    draw_frame(inst);
  }
  const lrgb_t& px(double x, double y) const {
    return inst->fb[(int)std::lround(y) * inst->ui_w + (int)std::lround(x)];
  }
  static bool yellow(const lrgb_t& c) { return c.r > 20000 && c.g > 15000 && c.b < 3000; }
  static bool dark(const lrgb_t& c) { return c.r < 3000 && c.g < 3000 && c.b < 4000; }
};

TEST_F(Curve, PointsAndHandlesAreStoredWhereTheyAreDrawn) {
  frame();
  const double freqs[4] = {80, 370, 1700, 8000};
  const double zero_row = 501 * (1 - 0.5337484150845694);
  for (int b = 0; b < 4; ++b) {
    const eqband_t& B = inst->bands[b];
    EXPECT_NEAR(B.point_px, 32 + 813 * std::log(freqs[b] / 20) / std::log(1000.0), 1e-6) << b;
    EXPECT_NEAR(B.point_py, 32 + zero_row, 1e-3) << b;
    // A flat curve: the slope handles lie on either side of the point, on the same row.
    EXPECT_NEAR(B.right_py, B.point_py, 1e-3);
    EXPECT_NEAR(B.left_py, B.point_py, 1e-3);
    EXPECT_GT(B.right_px, B.point_px + 5);
    EXPECT_LT(B.left_px, B.point_px - 5);
    EXPECT_NEAR(B.right_px, 32 + 813 * B.right_x, 1e-6);
    EXPECT_NEAR(B.left_px, 32 + 813 * B.left_x, 1e-6);
  }
  // Zoomed in, the positions follow the view: band B (370 Hz) at zoom 2, centred.
  preview_set(p.get(), "Hor. Zoom", 2);
  frame();
  EXPECT_NEAR(inst->bands[1].point_px, 32 + 813 * (axis_pos(370) - 0.25) / 0.5, 1e-6);
}

TEST_F(Curve, HoveringTurnsDiscsIntoRingsAndRingsIntoDiscs) {
  frame();
  const eqband_t& B = inst->bands[2];
  EXPECT_TRUE(yellow(px(B.point_px, B.point_py - 3)));  // inside the disc
  EXPECT_TRUE(dark(px(B.left_px, B.left_py - 3)));      // inside the ring
  inst->hover = 1;
  inst->hover_band = 2;
  inst->hover_handle = 0;
  frame();
  EXPECT_TRUE(dark(px(B.point_px, B.point_py - 3)));
  EXPECT_TRUE(yellow(px(B.point_px, B.point_py - 5)));  // on the ring
  inst->hover_handle = 2;
  frame();
  EXPECT_TRUE(yellow(px(B.point_px, B.point_py - 3)));
}

// Inside its disc, each colour exactly (the slope handles wholly opaque with the grids shown):
// the point's, not hovered, and each slope handle's, hovered.
TEST_F(Curve, DiscColoursAreExact) {
  const struct {
    int handle, r, g, b;
  } cases[] = {{-1, 255, 224, 0}, {HANDLE_LEFT, 255, 64, 96}, {HANDLE_RIGHT, 32, 96, 224}};
  const eqband_t& B = inst->bands[2];
  for (const auto& c : cases) {
    inst->hover = c.handle >= 0;
    inst->hover_band = 2;
    inst->hover_handle = c.handle;
    frame();
    const double x = c.handle == HANDLE_LEFT ? B.left_px : c.handle == HANDLE_RIGHT ? B.right_px : B.point_px;
    const lrgb_t &got = px(x, B.point_py - 3), want = make_colour_srgb(c.r, c.g, c.b, 255);
    EXPECT_EQ(got.r, want.r) << c.handle;
    EXPECT_EQ(got.g, want.g) << c.handle;
    EXPECT_EQ(got.b, want.b) << c.handle;
    // The same handle of a band not hovered stays a ring.
    const eqband_t& O = inst->bands[1];
    const double other = c.handle == HANDLE_LEFT ? O.left_px : c.handle == HANDLE_RIGHT ? O.right_px : O.point_px;
    EXPECT_EQ(dark(px(other, O.point_py - 3)), c.handle >= 0);
  }
}

TEST_F(Curve, SlopeHandlesFadeWithTheGridsAndPointsStay) {
  const eqband_t& B = inst->bands[1];
  frame(0);
  const lrgb_t on_ring = px(B.right_px, B.right_py - 5);
  EXPECT_GT(on_ring.b, 15000);  // (32, 96, 224)
  frame(1);
  EXPECT_NEAR(px(B.right_px, B.right_py - 5).b, on_ring.b * std::exp(-1.0), on_ring.b * 0.03);
  frame(3);
  EXPECT_TRUE(dark(px(B.right_px, B.right_py - 5)));
  EXPECT_TRUE(dark(px((B.point_px + B.right_px) / 2, B.point_py - 2)));
  EXPECT_TRUE(yellow(px(B.point_px, B.point_py - 3)));
}

TEST_F(Curve, TheSelectedBandPulses) {
  inst->ring_phase = 0.5 - 0.0001;  // rings of radius 0, 5, 10 and 15 on this frame
  frame(3);
  const eqband_t &A = inst->bands[0], &B = inst->bands[1];
  EXPECT_GT(px(A.point_px, A.point_py - 10).r, 1000);
  EXPECT_TRUE(dark(px(B.point_px, B.point_py - 10)));
  EXPECT_NEAR(inst->ring_phase, 0.5, 1e-12);
}

// At phase 0.3 the selected band's four rings have radius (1 - q) * 20 and alpha q^4 for q =
// 0.7, 0.45, 0.2 and 0.95, and its disc lies over them: above the curve, those pixels exactly
// (the slope handles wholly faded, the grids gone), nothing left of the frame before.
TEST_F(Curve, TheSelectedBandsRingsExactly) {
  inst->ring_phase = 0.8;
  frame(6);
  inst->ring_phase = 0.3 - 0.0001;
  frame(6);
  const eqband_t& A = inst->bands[0];
  const int w = inst->ui_w, h = inst->ui_h;
  std::vector<lrgb_t> want((size_t)w * h, lrgb_t{0, 0, 0, 0});
  const struct {
    double radius;
    uint16_t alpha;
  } rings[] = {{6, 7868}, {11, 1344}, {16, 52}, {1, 26690}};
  lrgb_t c = make_colour_srgb(255, 224, 0, 255);
  for (const auto& ring : rings) {
    c.a = ring.alpha;
    draw_circle(CIRCLE_RING, want.data(), w, h, c, BLEND_MIX_ALPHA, A.point_px, A.point_py, ring.radius, 0.85, 1.0);
  }
  draw_circle(CIRCLE_DISC, want.data(), w, h, c, BLEND_MIX, A.point_px, A.point_py, 5.8, 0.85, 1.0);
  const int x0 = (int)std::lround(A.point_px), y0 = (int)std::lround(A.point_py);
  int wrong = 0;
  for (int y = y0 - 22; y <= y0 - 3; ++y)
    for (int x = x0 - 22; x <= x0 + 22; ++x) {
      const lrgb_t &a = inst->fb[y * w + x], &b = want[y * w + x];
      wrong += a.r != b.r || a.g != b.g || a.b != b.b;
    }
  EXPECT_EQ(wrong, 0);
}

TEST_F(Curve, WithoutActiveBandsOnlyTheCurveIsDrawn) {
  frame();
  const eqband_t before = inst->bands[1];
  for (int b = 0; b < 4; ++b) preview_set(p.get(), "Band " + std::string(1, char('A' + b)) + " on", 0);
  preview_run(p.get(), &silence, 2);  // the audio path serves the change
  frame(0);
  EXPECT_EQ(inst->band_count, 0);
  EXPECT_TRUE(dark(px(before.point_px, before.point_py - 3)));
  EXPECT_TRUE(dark(px(before.left_px, before.left_py - 5)));
  const lrgb_t& curve = px(before.point_px, before.point_py);
  EXPECT_GT(curve.r, 20000);
  EXPECT_GT(curve.b, 20000);
  // A band that is off keeps the positions it was last drawn at.
  EXPECT_EQ(inst->bands[1].point_px, before.point_px);
  EXPECT_EQ(inst->bands[1].right_px, before.right_px);
}

// The handles are placed under the curve's lock: drawing waits while a design holds it (it
// cannot finish early; a missing lock lets it through at once).
TEST_F(Curve, HandlesArePlacedUnderTheCurvesLock) {
  frame();
  mutex_to_1(inst->lock_curve);
  std::atomic<bool> done{false};
  std::thread drawing([&] {
    draw_bezier(inst);
    done = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(done.load());
  mutex_to_0(inst->lock_curve);
  drawing.join();
  EXPECT_TRUE(done.load());
}

// The curve's light is gathered once per shape and place and kept with its key (the area's
// place and size, then the rows): each row's span of touched columns starts inside the area,
// a row the curve misses spans nothing (first column w, end 0), whatever the last shape was.
TEST_F(Curve, TheCurvesLightIsKeptWithItsKeyAndSpans) {
  for (const double gain : {18.0, 0.0}) {
    preview_set(p.get(), "Band B gain", gain);
    frame();
    frame();
    const int w = inst->ui_w, h = inst->ui_h, W = inst->area_w;
    const double head[] = {inst->area_xf, inst->area_yf, double(w), double(h), double(W)};
    for (int k = 0; k < 5; ++k) EXPECT_EQ(inst->curve_line_key[k], head[k]) << k;
    EXPECT_EQ(std::memcmp(inst->curve_line_key + 5, inst->curve[2], sizeof(double) * W), 0);
    const int32_t *lo = inst->curve_line_span, *hi = lo + h;
    int missed = 0, outside = 0;
    for (int y = 0; y < h; ++y) {
      missed += lo[y] == w && hi[y] == 0;
      outside += lo[y] < w && (lo[y] < inst->area_x - 3 || hi[y] > inst->area_x + W + 3);  // the blur's reach
    }
    EXPECT_EQ(outside, 0) << gain;
    EXPECT_GT(missed, 100) << gain;
  }
  // Any of its parts missing (the memory ran out), the curve is drawn segment by segment.
  for (int k = 0; k < 5; ++k) {
    void** part[] = {(void**)&inst->curve_line_key, (void**)&inst->curve_line_image, (void**)&inst->curve_line_runs,
                     (void**)&inst->curve_line_packed, (void**)&inst->curve_line_span};
    void* kept = *part[k];
    const std::vector<double> key(inst->curve_line_key, inst->curve_line_key + 5 + inst->area_w);
    *part[k] = nullptr;
    preview_set(p.get(), "Band B gain", 3 + 3 * k);
    frame();
    *part[k] = kept;
    EXPECT_EQ(std::memcmp(key.data(), inst->curve_line_key, sizeof(double) * key.size()), 0) << k;  // not kept
  }
}

}  // namespace
