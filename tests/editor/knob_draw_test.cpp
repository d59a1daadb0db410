#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "editor/controls.h"
#include "editor/knobs.h"
#include "editor/layout.h"
#include "editor/skin.h"
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

}  // namespace
