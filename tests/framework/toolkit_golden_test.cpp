// Golden images of the toolkit: the sample sheet and a few primitives, rendered without
// dither and compared with the committed PNGs under tests/golden/toolkit. Every channel must
// be within 2 of 255 steps. QUILLMAR_UPDATE_GOLDENS=1 rewrites the goldens instead.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/golden.h"
#include "toolkit/graphics/blending.h"
#include "toolkit/graphics/colour.h"
#include "toolkit/graphics/drawline.h"
#include "toolkit/graphics/drawprimitives.h"
// The sample sheet is the same code as the toolkit_sample tool's.
#include "../../tools/toolkit_sample/sample_sheet.cpp"

namespace {

// Every channel within 2 of 255 steps.
void check_golden(const std::string& name, const std::vector<lrgb_t>& fb, int w, int h) {
  ::check_golden("toolkit", name, fb.data(), w, h, 2);
}

}  // namespace

TEST(ToolkitGolden, SampleSheet) {
  std::vector<lrgb_t> fb;
  std::string err;
  ASSERT_TRUE(render_sample_sheet(&fb, &err)) << err;
  check_golden("sample_sheet", fb, SAMPLE_W, SAMPLE_H);
}

TEST(ToolkitGolden, LinesAtEveryAngle) {
  const int W = 128, H = 128;
  std::vector<lrgb_t> fb(W * H, lrgb_t{0, 0, 0, 32768});
  lrgb_t white = make_grey_lin(1.0);
  for (int a = 0; a < 40; a++) {
    double t = a * M_PI / 20 + 0.013, c = std::cos(t), s = std::sin(t);
    draw_line_thin(fb.data(), W, H, white, BLEND_ADD, 64 + 10 * c, 64 + 10 * s, 64 + 60 * c, 64 + 60 * s,
                   a % 2 ? 0.85 : 0.6, 1.0);
  }
  check_golden("lines", fb, W, H);
}

TEST(ToolkitGolden, Shapes) {
  const int W = 160, H = 64;
  std::vector<lrgb_t> fb(W * H, make_grey_lin(0.6));
  draw_circle(CIRCLE_DISC, fb.data(), W, H, make_colour_lin(0.1, 0.3, 0.8, 1), BLEND_MIX, 24, 32, 18, 0.85, 1.0);
  draw_circle(CIRCLE_RING, fb.data(), W, H, make_colour_lin(0, 0, 0, 1), BLEND_MIX, 68, 32, 18, 1.2, 1.0);
  draw_roundrect(fb.data(), W, H, make_colour_lin(0.9, 0.4, 0.1, 1), BLEND_MIX, 96, 10, 150, 54, 8, 0.85, 1.0);
  draw_line_thin(fb.data(), W, H, make_colour_lin(1, 1, 1, 1), BLEND_ADD, 0, 60, 159, 4, 0.85, 1.0);
  check_golden("shapes", fb, W, H);
}
