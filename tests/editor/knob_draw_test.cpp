#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

#include "editor/controls.h"
#include "editor/knobs.h"
#include "editor/layout.h"
#include "editor/skin.h"
#include "engine/params.h"
#include "toolkit/font.h"
#include "toolkit/graphics/colour.h"
#include "editor_env.h"

namespace {

struct KnobDraw : EditorTest {};

using change_t = std::function<void(Quillmar*)>;

// Knobs of a w x h strip whose pixels are half see-through, drawn over the panel by an instance
// that keeps their boxes and by one that draws every knob anew, at each gain of band A in turn;
// `change` alters both once their panel is made, and a pixel at `under` (an index into the
// frame, or -1) changes with every frame as a spectrum under the panel would. The frames must
// be equal.
void expect_kept_as_drawn(int w, int h, const change_t& change, long under, const char* what) {
  std::vector<lrgb_t> pixels((size_t)w * h * KNOB_FRAMES);
  for (size_t i = 0; i < pixels.size(); ++i) {
    const uint16_t v = (uint16_t)(i * 2654435761u % 32768);
    pixels[i] = lrgb_t{v, (uint16_t)(32768 - v), (uint16_t)(v / 2), (uint16_t)(8192 + v / 2)};
  }
  const image_t image{w, h, nullptr, pixels.data()};
  PreviewPlug kept = preview_make(1), drawn = preview_make(1);
  drawn->Inst()->knob_cache = nullptr;
  for (Quillmar* p : {kept.get(), drawn.get()}) {
    prepare_panel(p->Inst());
    change(p);
  }
  int frame = 0;
  for (const double gain : {0.0, 0.0, 6.0, 6.0}) {
    ++frame;
    for (Quillmar* p : {kept.get(), drawn.get()}) {
      preview_set(p, "Band A gain", gain);
      inst_t* inst = p->Inst();
      std::memcpy(inst->fb, inst->bg_final, sizeof(lrgb_t) * inst->ui_w * inst->ui_h);
      if (under >= 0) inst->fb[under] = lrgb_t{(uint16_t)(frame * 7000), 0, 0, 0};
      draw_knobs(inst, &image);
    }
    const inst_t *a = kept->Inst(), *b = drawn->Inst();
    EXPECT_EQ(std::memcmp(a->fb, b->fb, sizeof(lrgb_t) * a->ui_w * a->ui_h), 0) << what << ", frame " << frame;
  }
}

long pixel(const inst_t* inst, int x, int y) { return (long)y * inst->ui_w + x; }

// A box over a see-through pixel of the panel, boxes overlapping a neighbour's by one column or
// one row (the image is 62 x 56, so a width and a height are told apart), the empty value
// texts of a band that is off, and a box over the label strip.
TEST_F(KnobDraw, KeptBoxesAreOnlyThoseNothingElseDraws) {
  PreviewPlug probe = make(1);
  const inst_t* at = probe->Inst();
  const layout_item_t lim = at->layout[CTRL_LIMITER], gain = at->layout[CTRL_BAND_GAIN];
  expect_kept_as_drawn(62, 56, [&](Quillmar* p) { p->Inst()->bg_final[pixel(p->Inst(), lim.x + 5, lim.y - 20)].a = 32767; },
                       pixel(at, lim.x + 5, lim.y - 20), "a hole");
  expect_kept_as_drawn(62, 56, [&](Quillmar* p) { p->Inst()->layout[CTRL_BAND_FREQ].x = gain.x + 61; }, -1,
                       "a column shared");
  expect_kept_as_drawn(62, 56, [&](Quillmar* p) { p->Inst()->layout[CTRL_TRANSPOSE].y = gain.y + 55; }, -1,
                       "a row shared");
  expect_kept_as_drawn(62, 56, [&](Quillmar* p) { preview_set(p, "Band A on", 0); }, -1, "band A off");
  // The scale labels below the area are redrawn without a new panel: a box reaching down
  // there is drawn anew.
  const layout_item_t range = at->layout[CTRL_VERT_RANGE];
  expect_kept_as_drawn(62, 56, [&](Quillmar* p) { p->Inst()->layout[CTRL_VERT_RANGE].y = range.y + 20; },
                       pixel(at, range.x, range.y + 44), "a box over the label strip");
}

// The captions exist for Colour and Interface Size alone, and only for their three values.
TEST_F(KnobDraw, CaptionsOfTheTwoChoiceParameters) {
  const struct {
    int param, value;
    const char* caption;
  } cases[] = {{PARAM_COLOUR, 2, "Stereo"},     {PARAM_INTERFACE_SIZE, 1, "1060"}, {PARAM_INTERFACE_SIZE, 3, nullptr},
               {PARAM_INTERFACE_SIZE, -1, nullptr}, {PARAM_GAMMA, 1, nullptr},       {PARAM_BAND_GAIN, 0, nullptr}};
  for (const auto& c : cases) EXPECT_STREQ(knob_caption(c.param, c.value), c.caption) << c.param << " " << c.value;
}

// A knob's value text is light blue (sRGB 64, 192, 255) at 1.3 times the font's light,
// whatever image the knob has.
TEST_F(KnobDraw, ValueTextColour) {
  PreviewPlug p = make(1);
  inst_t* inst = p->Inst();
  prepare_panel(inst);  // the fonts
  const size_t n = (size_t)inst->ui_w * inst->ui_h;
  std::fill(inst->fb, inst->fb + n, lrgb_t{0, 0, 0, 0});
  const image_t none{0, 0, nullptr, nullptr};
  draw_knob(inst, &none, nullptr, PARAM_LIMITER, CTRL_LIMITER);
  std::vector<lrgb_t> want(n, lrgb_t{0, 0, 0, 0});
  blit_text(inst->label_text_c, want.data(), make_colour_srgb(64, 192, 255, 255), inst->ui_w, inst->ui_h, 1.3);
  EXPECT_GT(std::count_if(want.begin(), want.end(), [](const lrgb_t& c) { return c.g > 0; }), 30);
  EXPECT_EQ(std::memcmp(inst->fb, want.data(), sizeof(lrgb_t) * n), 0);
}

}  // namespace
