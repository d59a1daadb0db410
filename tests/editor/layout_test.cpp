#include "editor/layout.h"

#include <cstring>
#include <vector>

#include "editor/controls.h"
#include "editor/knobs.h"
#include "editor/skin.h"
#include "editor_env.h"
#include "engine/params.h"
#include "framework/IControl.h"
#include "framework/IGraphics.h"
#include "support/alloc_counter.h"
#include "support/golden.h"
#include "support/resident.h"
#include "toolkit/graphics/blit.h"
#include "toolkit/graphics/colour.h"

namespace {

struct Layout : EditorTest {};

struct layout_record_t {
  inst_t inst;
  layout_item_t items[LAYOUT_ITEMS] = {};
  explicit layout_record_t(int size) {
    inst.ui_size = size;
    inst.layout = items;
    inst.n_layout = LAYOUT_ITEMS;
    layout_pos_from_uisize(&inst);
  }
};

TEST(LayoutSizes, EditorAndCurveAreaForEachSize) {
  const int want[3][4] = {{780, 566, 534, 502}, {1060, 566, 814, 502}, {1220, 666, 974, 602}};
  for (int size = 0; size < 3; ++size) {
    layout_record_t r(size);
    EXPECT_EQ(r.inst.ui_w, want[size][0]);
    EXPECT_EQ(r.inst.ui_h, want[size][1]);
    EXPECT_EQ(r.inst.area_w, want[size][2]);
    EXPECT_EQ(r.inst.area_h, want[size][3]);
    EXPECT_EQ(r.inst.area_x, 32);
    EXPECT_EQ(r.inst.area_y, 32);
    EXPECT_EQ(r.inst.area_xf, 32.0);
    EXPECT_EQ(r.inst.area_yf, 32.0);
  }
}

TEST(LayoutSizes, KnobSlots) {
  const int columns[3][3] = {{606, 674, 742}, {886, 954, 1022}, {1046, 1114, 1182}};
  for (int size = 0; size < 3; ++size) {
    layout_record_t r(size);
    const int* c = columns[size];
    const int r5 = size == 2 ? 586 : 486;
    const int want[LAYOUT_ITEMS][2] = {{0, 0},        {c[0], 86},  {c[1], 86},  {c[2], 86},  {c[0], r5},
                                       {c[1], r5},    {-1, -1},    {c[0], 186}, {c[1], 186}, {c[2], 186},
                                       {c[0], 286},   {c[1], 286}, {c[2], 286}, {c[2], r5},  {-1, -1},
                                       {-1, -1},      {c[2], 386}};
    for (int k = 1; k < LAYOUT_ITEMS; ++k) {
      const layout_item_t& s = r.items[k];
      if (want[k][0] < 0) {
        // Gamma, Hor. Zoom and Hor. Position: out of sight and out of reach.
        EXPECT_TRUE(s.x + 30 < 0 || s.y + 30 < 0) << "slot " << k;
      } else {
        EXPECT_EQ(s.x, want[k][0]) << "size " << size << " slot " << k;
        EXPECT_EQ(s.y, want[k][1]) << "size " << size << " slot " << k;
      }
    }
  }
}

// The strips the scale labels are rebuilt in: every row left of the curve area (8 columns into
// it) and every column from 8 rows above its bottom; the knobs' 64-pixel boxes lie clear of them.
TEST(LayoutSizes, LabelStripsAndTheKnobBoxes) {
  layout_record_t r(2);  // area 32 .. 1005 by 32 .. 633
  const struct {
    long box[4];
    bool meets;
  } cases[] = {{{39, 100, 10, 10}, true},   {{40, 100, 10, 10}, false}, {{500, 616, 10, 10}, false},
               {{500, 617, 10, 10}, true},  {{0, 0, 1, 1}, true},      {{1150, 554, 64, 64}, false}};
  for (const auto& c : cases)
    EXPECT_EQ(meets_label_strips(&r.inst, c.box), c.meets) << c.box[0] << ", " << c.box[1];
  for (int size = 0; size < 3; ++size) {
    layout_record_t k(size);
    for (int slot = 1; slot < LAYOUT_ITEMS; ++slot) {
      const long box[4] = {k.items[slot].x - 32L, k.items[slot].y - 32L, 64, 64};
      if (box[0] < 0 || box[1] < 0) continue;  // a hidden slot
      EXPECT_FALSE(meets_label_strips(&k.inst, box)) << size << ", " << slot;
    }
  }
}

TEST(LayoutSizes, ASizeOutsideTheRangeTakesTheNearestOne) {
  layout_record_t below(-3), above(7);
  EXPECT_EQ(below.inst.ui_size, 0);
  EXPECT_EQ(below.inst.ui_w, 780);
  EXPECT_EQ(below.items[1].x, 606);
  EXPECT_EQ(above.inst.ui_size, 2);
  EXPECT_EQ(above.inst.ui_w, 1220);
  EXPECT_EQ(above.items[4].y, 586);
  EXPECT_EQ(load_layout(), 0);
}

TEST(LayoutSizes, ARecordTooShortForTheSlotsIsLeftAlone) {
  inst_t inst;
  layout_item_t items[LAYOUT_ITEMS] = {};
  inst.layout = items;
  inst.n_layout = LAYOUT_ITEMS - 1;
  inst.ui_size = 0;
  layout_pos_from_uisize(&inst);
  EXPECT_EQ(inst.ui_w, 780);
  EXPECT_EQ(items[1].x, 0);
}

// Each knob takes the mouse in its square about its slot; slots outside the knobs have none.
TEST_F(Layout, KnobsAndTheirParameters) {
  PreviewPlug p = make(0);
  const inst_t* inst = p->Inst();
  for (int slot = 1; slot < CTRL_COUNT; ++slot) {
    const IRECT& r = inst->graphics->GetControl(slot)->GetRECT();
    const layout_item_t& c = inst->layout[slot];
    EXPECT_EQ(r.L, c.x - 30) << slot;
    EXPECT_EQ(r.T, c.y - 30) << slot;
    EXPECT_EQ(r.R, c.x + 30) << slot;
    EXPECT_EQ(r.B, c.y + 30) << slot;
  }
  const int cases[][3] = {{2, 0, -1}, {2, CTRL_COUNT, -1}, {2, CTRL_BAND_SLOPE, PARAM_BAND_SLOPE + 2},
                          {2, CTRL_INTERFACE_SIZE, PARAM_INTERFACE_SIZE}};
  for (const auto& k : cases) EXPECT_EQ(knob_param(k[0], k[1]), k[2]) << k[1];
}

// A panel is still made when its texts cannot be had (each of its first allocations refused
// in turn) or the instance has no window.
TEST_F(Layout, APanelIsMadeWithoutItsTextsOrAWindow) {
  PreviewPlug p = make(0);
  inst_t* inst = p->Inst();
  preview_frame(p.get());
  IGraphics* g = inst->graphics;
  EXPECT_EQ(g->GetPromptFont(), skin().font12);  // typed entry writes in the panel's small font
  // Made again, the panel gets its scale labels back at the next frame: the same panel.
  const std::vector<lrgb_t> first(inst->bg_final, inst->bg_final + inst->ui_w * inst->ui_h);
  inst->panel_ready = 0;
  prepare_panel(inst);
  preview_frame(p.get());
  EXPECT_EQ(std::memcmp(first.data(), inst->bg_final, first.size() * sizeof(lrgb_t)), 0);
  for (int k = 0; k <= 9; ++k) {
    inst->panel_ready = 0;
    if (k == 0) inst->graphics = nullptr;
    alloc_refuse_calloc(k);
    prepare_panel(inst);
    alloc_refuse_calloc(0);
    inst->graphics = g;
    EXPECT_EQ(inst->panel_ready, 1) << k;
    EXPECT_EQ(inst->bg_final[10 * inst->ui_w + inst->ui_w / 2].a, 32768) << k;
  }
}

TEST_F(Layout, InstancesComeUpInTheSizeOfTheirPreferences) {
  for (int size : {2, 0}) {
    PreviewPlug p = make(size);
    const inst_t* inst = p->Inst();
    EXPECT_EQ(inst->ui_size, size);
    EXPECT_EQ(inst->ui_w, size == 2 ? 1220 : 780);
    EXPECT_EQ(inst->layout[16].y, 386);
    ASSERT_NE(inst->fb, nullptr);
    ASSERT_NE(inst->bg_final, nullptr);
    ASSERT_NE(inst->screen_bits, nullptr);
    // The panel is drawn by the editor's first frame, not by the construction.
    const int w = inst->ui_w;
    EXPECT_EQ(inst->bg_final[10 * w + w / 2].a, 0);
    preview_frame(p.get());
    EXPECT_EQ(inst->bg_layer[10 * w + w / 2].a, 0);  // the drawing layer's memory given back: zeros
    // The curve area is cut out of the panel; the panel around it is opaque.
    EXPECT_EQ(inst->bg_final[(inst->area_y + 100) * w + inst->area_x + 100].a, 0);
    EXPECT_EQ(inst->bg_final[10 * w + w / 2].a, 32768);
  }
}

TEST_F(Layout, ClosingAnInstanceGivesItsMemoryBack) {
  // An instance drawing at the largest size holds about 25 MB; closed, it must give it all
  // back, and one made after it must not hold more than the first did.
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer keeps freed memory in quarantine on purpose";
#endif
  preview_signal_t pink;
  auto cycle = [&] {
    PreviewPlug p = make(2);
    preview_run(p.get(), &pink, 2);
  };
  cycle();
  const double before = resident_mb();
  for (int i = 0; i < 6; ++i) cycle();
  EXPECT_LT(resident_mb(), before + 16);
}

// The panel as every frame sees it (the first frame draws it): laid over a mid grey, so the
// cut-out shows.
void check_background(int size) {
  preview_scratch_config();
  PreviewPlug p = preview_make(size);
  ASSERT_NE(p, nullptr);
  preview_frame(p.get());
  const inst_t* inst = p->Inst();
  std::vector<lrgb_t> frame(inst->ui_w * inst->ui_h, make_grey_lin(0.5));
  blit_layout(frame.data(), inst->bg_final, inst->ui_w, inst->ui_h);
  check_golden("editor", "background" + std::to_string(size), frame.data(), inst->ui_w, inst->ui_h);
}

TEST_F(Layout, GoldenBackgroundSize0) { check_background(0); }
TEST_F(Layout, GoldenBackgroundSize1) { check_background(1); }
TEST_F(Layout, GoldenBackgroundSize2) { check_background(2); }

// The panel is made on a layer of at least one pixel each way: a 1 by 1 layer gets the
// background's pixel, an empty or missing one is left alone.
TEST_F(Layout, APanelNeedsALayerOfAPixelOrMore) {
  PreviewPlug p = make(0);
  inst_t* inst = p->Inst();
  lrgb_t* const layer = inst->bg_layer;
  layout_item_t* const slots = inst->layout;
  const int w = inst->ui_w, h = inst->ui_h;
  inst->layout = nullptr;
  const lrgb_t mark{1, 2, 3, 4};
  const int cases[][3] = {{1, 1, 1}, {0, 1, 0}, {1, 0, 0}, {-1, 1, 0}};
  for (const auto& c : cases) {
    lrgb_t pixel = mark;
    inst->bg_layer = &pixel;
    inst->ui_w = c[0];
    inst->ui_h = c[1];
    make_layout(inst);
    EXPECT_EQ(pixel.a == 32768 && pixel.r != 1, c[2] == 1) << c[0] << "x" << c[1];
    EXPECT_EQ(pixel.r == 1 && pixel.a == 4, c[2] == 0) << c[0] << "x" << c[1];
  }
  inst->bg_layer = nullptr;
  inst->ui_w = w;
  inst->ui_h = h;
  make_layout(inst);  // no layer: nothing to draw on
  inst->bg_layer = layer;
  inst->layout = slots;
}

}  // namespace
