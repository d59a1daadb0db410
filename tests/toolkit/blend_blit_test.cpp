// Blend modes, sprite placement and clipping, and the layout blit.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "toolkit/graphics/blend_span.h"
#include "toolkit/graphics/blending.h"
#include "toolkit/graphics/blit.h"

namespace {
lrgb_t px(int r, int g, int b, int a) { return lrgb_t{(uint16_t)r, (uint16_t)g, (uint16_t)b, (uint16_t)a}; }
#define EXPECT_PX(p, R, G, B, A) \
  EXPECT_EQ((p).r, R);           \
  EXPECT_EQ((p).g, G);           \
  EXPECT_EQ((p).b, B);           \
  EXPECT_EQ((p).a, A)
}  // namespace

TEST(Blend, ReplaceIgnoresWeight) {
  lrgb_t r = blend_pixels(px(1, 2, 3, 4), px(5, 6, 7, 8), 0, 0);
  EXPECT_PX(r, 5, 6, 7, 8);
}

TEST(Blend, AddAndSubtractSaturate) {
  lrgb_t r = blend_pixels(px(20000, 0, 100, 9), px(32768, 16384, 32768, 1), 32768, 1);
  EXPECT_PX(r, 32768, 16384, 32768, 9);
  r = blend_pixels(px(20000, 0, 100, 9), px(32768, 16384, 0, 1), 16384, 1);
  EXPECT_PX(r, 32768, 8192, 100, 9);
  r = blend_pixels(px(20000, 5000, 100, 9), px(32768, 4000, 32768, 1), 32768, 2);
  EXPECT_PX(r, 0, 1000, 0, 9);
}

TEST(Blend, MultiplyModes) {
  // Half weight of a half-grey multiply: halfway between bg and bg * fg.
  lrgb_t r = blend_pixels(px(32768, 16384, 0, 3), px(16384, 16384, 16384, 0), 16384, 3);
  EXPECT_PX(r, 24576, 12288, 0, 3);
  r = blend_pixels(px(16384, 32768, 1000, 3), px(16384, 32768, 32768, 0), 32768, 4);
  EXPECT_PX(r, 32768, 32768, 4000, 3);  // four times bg * fg, clamped
  // The products of mode 4 at full inputs need more than 32 bits.
  r = blend_pixels(px(32768, 32768, 32768, 0), px(32768, 32768, 32768, 0), 32768, 4);
  EXPECT_EQ(r.r, 32768);
}

TEST(Blend, MixModes) {
  lrgb_t r = blend_pixels(px(0, 32768, 1000, 5), px(32768, 0, 3000, 6), 8192, 5);
  EXPECT_PX(r, 8192, 24576, 1500, 5);
  r = blend_pixels(px(0, 32768, 1000, 5), px(32768, 0, 3000, 16384), 32768, 7);  // by fg's alpha
  EXPECT_PX(r, 16384, 16384, 2000, 5);
  r = blend_pixels(px(1, 2, 3, 0), px(9, 9, 9, 32768), 16384, 8);  // alpha only
  EXPECT_PX(r, 1, 2, 3, 16384);
}

TEST(Blend, Over) {
  lrgb_t r = blend_pixels(px(500, 600, 700, 0), px(100, 200, 300, 32768), 0, 6);
  EXPECT_PX(r, 0, 0, 0, 0);
  r = blend_pixels(px(500, 600, 700, 0), px(100, 200, 300, 32768), 32768, 6);
  EXPECT_PX(r, 100, 200, 300, 32768);
  // Half over an opaque background.
  r = blend_pixels(px(32768, 0, 0, 32768), px(0, 32768, 0, 32768), 16384, 6);
  EXPECT_PX(r, 16384, 16384, 0, 32768);
}

TEST(Blend, WeightsOutsideTheRange) {
  lrgb_t r = blend_pixels(px(100, 100, 100, 0), px(32768, 32768, 32768, 32768), -500, 5);
  EXPECT_PX(r, 100, 100, 100, 0);
  r = blend_pixels(px(100, 100, 100, 0), px(32768, 32768, 32768, 32768), 99999, 5);
  EXPECT_PX(r, 32768, 32768, 32768, 0);
  r = blend_pixels(px(100, 100, 100, 7), px(1, 1, 1, 1), 32768, 9);
  EXPECT_PX(r, 100, 100, 100, 7);
}

namespace {
struct canvas_t {
  int w, h;
  std::vector<lrgb_t> px;
  std::vector<lrgb_t> guard;  // rows beyond the image, which must never change
  canvas_t(int w_, int h_) : w(w_), h(h_), px((size_t)w_ * (h_ + 2), lrgb_t{0, 0, 0, 0}) {}
  lrgb_t* image() { return px.data() + w; }
  lrgb_t at(int x, int y) { return image()[y * w + x]; }
};
}  // namespace

TEST(Blend, SpanMatchesThePixelBlend) {
  // Every mode and weight class over runs of every remainder, the background across the
  // whole 16-bit range, colours within 1.0 and beyond it.
  const lrgb_t colours[] = {px(9000, 32768, 0, 20000), px(65535, 100, 32769, 65535), px(0, 0, 0, 0)};
  std::vector<lrgb_t> bg(13);
  for (size_t i = 0; i < bg.size(); ++i) {
    const int v = (int)(i * 40503 % 65536);
    bg[i] = px(v, 65535 - v, (v * 7) & 65535, i % 3 ? v : 65535);
  }
  for (int mode = -1; mode <= 9; ++mode)
    for (int p : {-7, 0, 1, 12345, 32767, 32768, 50000})
      for (const lrgb_t& fg : colours)
        for (long n : {1, 2, 3, 4, 5, 7, 13}) {
          std::vector<lrgb_t> d(bg.begin(), bg.begin() + n);
          blend_span(d.data(), n, fg, p, mode);
          for (long i = 0; i < n; ++i) {
            const lrgb_t e = blend_pixels(bg[i], fg, p, mode);
            ASSERT_TRUE(d[i].r == e.r && d[i].g == e.g && d[i].b == e.b && d[i].a == e.a)
                << "mode " << mode << " p " << p << " fg.r " << fg.r << " n " << n << " i " << i;
          }
        }
}

TEST(Blit, AlignmentCodes) {
  std::vector<lrgb_t> sprite(3 * 2, px(1000, 1000, 1000, 32768));
  sprite[0] = px(7, 7, 7, 7);  // marks the sprite's top-left pixel
  struct {
    int ha, va, ex, ey;
  } cases[] = {{1, 3, 10, 10}, {0, 0, 9, 9}, {2, 4, 8, 9}, {0, 3, 9, 10}, {2, 0, 8, 9}};
  for (auto c : cases) {
    canvas_t cv(20, 20);
    blit_sprite(cv.image(), 20, 20, sprite.data(), 3, 2, 10, 10, 0, c.ha, c.va);
    EXPECT_EQ(cv.at(c.ex, c.ey).r, 7) << c.ha << " " << c.va;
  }
}

TEST(Blit, ClipsAtEveryEdgeWithoutTouchingOutside) {
  std::vector<lrgb_t> sprite(5 * 5, px(32768, 32768, 32768, 32768));
  for (int mode : {0, 1}) {
    for (int x = -7; x <= 12; x++)
      for (int y = -7; y <= 12; y++) {
        canvas_t cv(6, 6);
        blit_sprite(cv.image(), 6, 6, sprite.data(), 5, 5, x, y, mode, 1, 3);
        for (int i = 0; i < 6; i++) ASSERT_EQ(cv.px[i].r, 0);              // row above
        for (int i = 0; i < 6; i++) ASSERT_EQ(cv.px[6 * 7 + i].r, 0);      // row below
        int count = 0;
        for (int j = 0; j < 6; j++)
          for (int i = 0; i < 6; i++) {
            bool inside = i >= x && i < x + 5 && j >= y && j < y + 5;
            ASSERT_EQ(cv.at(i, j).r, inside ? 32768 : 0) << x << "," << y;
            count += inside;
          }
      }
  }
}

TEST(Blit, Layout) {
  std::vector<lrgb_t> dst = {px(0, 32768, 100, 5), px(0, 32768, 100, 5), px(0, 32768, 100, 5)};
  std::vector<lrgb_t> lay = {px(32768, 0, 301, 0), px(32768, 0, 301, 16384), px(32768, 0, 301, 32768)};
  blit_layout(dst.data(), lay.data(), 3, 1);
  EXPECT_PX(dst[0], 0, 32768, 100, 5);
  EXPECT_PX(dst[1], 16384, 16384, 200, 5);
  EXPECT_PX(dst[2], 32768, 0, 301, 32768);
  // A negative difference rounds toward minus infinity.
  std::vector<lrgb_t> d2 = {px(3, 3, 3, 0)};
  std::vector<lrgb_t> l2 = {px(0, 0, 0, 16384)};
  blit_layout(d2.data(), l2.data(), 1, 1);
  EXPECT_EQ(d2[0].r, 1);
}

TEST(Blit, LayoutByRunsMatchesTheWholeBlit) {
  // Rows of transparent, partial, opaque and over-opaque alphas in runs of every length.
  const int w = 23, h = 5;
  std::vector<lrgb_t> lay(w * h), a(w * h), b;
  const uint16_t alphas[] = {0, 0, 32768, 40000, 7, 16384, 16384, 0, 32768};
  for (int i = 0; i < w * h; ++i) {
    lay[i] = px((uint16_t)(i * 1000 % 32769), 500, 32768, alphas[(i * i / 3) % 9]);
    a[i] = px(100, (uint16_t)(i * 300), 7, 3);
  }
  b = a;
  std::vector<int32_t> runs(h * layout_runs_per_row(w));
  layout_runs_build(runs.data(), lay.data(), w, h);
  blit_layout(a.data(), lay.data(), w, h);
  blit_layout_runs(b.data(), lay.data(), runs.data(), w, h);
  for (int i = 0; i < w * h; ++i) {
    EXPECT_PX(b[i], a[i].r, a[i].g, a[i].b, a[i].a);
  }
}

TEST(Blit, LayoutRunsOfEveryLengthAndAlpha) {
  // One row per string: '.' transparent, '+' partial, '#' opaque, each kind drawn from its
  // edge alphas; the runs are the string's groups of '+' and '#'.
  const char* rows[] = {"#", ".", "+", "########", "#########", "........+", "+++++++.#", "#.+#.+#.+#.+#.+#.+",
                        "................#++++++++++++++++#", "##############################.##"};
  const uint16_t alphas[3][3] = {{0, 0, 0}, {32768, 32769, 65535}, {1, 255, 32767}};  // by kind
  for (const char* str : rows) {
    const int w = (int)std::strlen(str);
    std::vector<lrgb_t> lay(w);
    std::vector<int32_t> want = {0};
    for (int x = 0; x < w; ++x) {
      const int kind = str[x] == '#' ? LAYOUT_OPAQUE : str[x] == '+' ? LAYOUT_PARTIAL : 0;
      lay[x] = px(7, 7, 7, alphas[kind][x % 3]);
      if (!kind) continue;
      if (x && str[x - 1] == str[x]) {
        want[want.size() - 2] = x + 1;
        continue;
      }
      want.insert(want.end(), {x, x + 1, kind});
      ++want[0];
    }
    std::vector<int32_t> runs(layout_runs_per_row(w), -1);
    ASSERT_EQ(layout_runs_build(runs.data(), lay.data(), w, 1), (int)want.size()) << str;
    runs.resize(want.size());
    EXPECT_EQ(runs, want) << str;
  }
}
