// Font metrics from a sheet, text records through the tracked allocator, and placement of
// text for every alignment, on small synthetic sheets whose answers are known by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "toolkit/font.h"

namespace {

enum { CW = 12, CH = 10 };

// Fonts live for the whole process, as in the product: keep them reachable (a plain
// array, which no destructor clears before the leak check at exit).
font_t* fonts_kept[64];
int fonts_count = 0;
font_t* keep(font_t* f) {
  if (fonts_count < 64) fonts_kept[fonts_count++] = f;
  return f;
}

// A sheet of 12 x 10 cells. Every glyph's middle row (row 5) is marked from column 2 to
// column 2 + 2 * trim + adv(code); glyph 'I' also has a full-height ink column at column 4.
int adv_of(int code) { return code == ' ' ? 4 : code == 'I' ? 3 : code == 'W' ? 7 : 5; }

image_t make_sheet(int trim, bool marks = true) {
  image_t img;
  image_alloc(&img, CW, CH * FONT_GLYPHS, false);
  for (int g = 0; g < FONT_GLYPHS; g++) {
    int code = 32 + g;
    lrgb_t* cell = img.l + g * CW * CH;
    if (code >= 127 && code < 160) continue;  // no glyph
    if (marks)
      for (int x = 2; x <= 2 + 2 * trim + adv_of(code); x++) cell[5 * CW + x].g = 10;
    if (code == 'I')
      for (int y = 0; y < CH; y++) cell[y * CW + 4].g = 32768;
  }
  return img;
}

struct fb_t {
  int w = 200, h = 40;
  std::vector<lrgb_t> px = std::vector<lrgb_t>(200 * 40, lrgb_t{0, 0, 0, 0});
  // Columns where row y has more than half light.
  std::vector<int> lit(int y) {
    std::vector<int> v;
    for (int x = 0; x < w; x++)
      if (px[y * w + x].g > 16384) v.push_back(x);
    return v;
  }
};

}  // namespace

TEST(Font, MetricsFromTheMarkerRow) {
  font_t* f = keep(font_load(1, make_sheet(1)));
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->cell_w, CW);
  EXPECT_EQ(f->cell_h, CH);
  EXPECT_EQ(f->glyphs, 224);
  EXPECT_EQ(f->size, CH);
  EXPECT_EQ(f->left[0], 3);     // first marked column 2, plus trim 1
  EXPECT_EQ(f->advance[0], 4);  // last column 8 - trim - left
  EXPECT_EQ(f->advance['W' - 32], 7);
  EXPECT_EQ(f->advance[127 - 32], 0);  // no marker: no advance
  EXPECT_EQ(f->left[127 - 32], 0);
  EXPECT_EQ(f->coverage[('I' - 32) * CW * CH + 3 * CW + 4], 32768);
}

TEST(Font, LargerTrimTightensByTwiceTheTrim) {
  font_t* a = keep(font_load(0, make_sheet(2)));
  font_t* b = keep(font_load(2, make_sheet(2)));
  ASSERT_TRUE(a && b);
  for (int g : {0, 'A' - 32, 'W' - 32}) EXPECT_EQ(a->advance[g] - b->advance[g], 4);
}

TEST(Font, RejectsSheetsTooSmall) {
  image_t tiny;
  image_alloc(&tiny, 4, 100, false);
  EXPECT_EQ(font_load(0, tiny), nullptr);
  font_t* base = keep(font_load(0, make_sheet(0)));
  image_t small;
  image_alloc(&small, CW, CH * FONT_GLYPHS - 1, false);
  EXPECT_EQ(make_font_size(base, small, 5.0), nullptr);
  image_t none{0, 0, nullptr, nullptr};
  EXPECT_EQ(font_load(0, none), nullptr);
}

TEST(Font, SizedFontSharesMetrics) {
  font_t* base = keep(font_load(0, make_sheet(0)));
  font_t* sized = keep(make_font_size(base, make_sheet(0, false), 2.5));
  ASSERT_NE(sized, nullptr);
  EXPECT_EQ(sized->size, 2.5);
  EXPECT_EQ(sized->left, base->left);
  EXPECT_EQ(sized->advance, base->advance);
  EXPECT_NE(sized->coverage, base->coverage);
  EXPECT_EQ(sized->coverage[5 * CW + 2], 0);  // its own coverage: no marks in this sheet
  EXPECT_DOUBLE_EQ(text_width(sized, "AA"), 2 * 5 * 0.25);
}

TEST(Text, RecordsThroughTheTrackedAllocator) {
  gc_list_t* owner = gc_list_create();
  font_t* f = keep(font_load(0, make_sheet(0)));
  text_t* t = init_text(owner, f, TEXT_RIGHT | TEXT_MIDDLE, 12.5, 7.0);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->font, f);
  EXPECT_EQ(t->flags, 80);
  EXPECT_EQ(t->x, 12.5);
  EXPECT_EQ(t->y0, 7.0);
  EXPECT_EQ(t->counter, 0);
  for (int i = 0; i < TEXT_BYTES; i++) ASSERT_EQ(t->string[i] | t->scratch[i], 0);
  int used = 0;
  for (void* s : owner->slot) used += s != nullptr;
  EXPECT_EQ(used, 3);
  free_text(owner, t);
  used = 0;
  for (void* s : owner->slot) used += s != nullptr;
  EXPECT_EQ(used, 0);
  gc_cleanup(owner);
}

TEST(Text, PlacementForEachAlignment) {
  // 'I' ink at cell column 4; space: left L = 2, advance A = 4; 'I' advance 3. Scale 1.
  font_t* f = keep(font_load(0, make_sheet(0)));
  gc_list_t* owner = gc_list_create();
  struct {
    int flags;
    double x;
    std::vector<int> cols;
  } cases[] = {
      // centred: start = x - 6 * 0.5 - L = 95, so the inks at 95 + 4 and 95 + 3 + 4
      {TEXT_CENTRE, 100, {99, 102}},
      // left: start = x + A - L = 102
      {TEXT_LEFT, 100, {106, 109}},
      // right: start = x - (A + 6) - L = 88
      {TEXT_RIGHT, 100, {92, 95}},
      {TEXT_RIGHT | TEXT_MIDDLE, 100, {92, 95}},
  };
  for (auto& c : cases) {
    fb_t fb;
    text_t* t = init_text(owner, f, c.flags, c.x, 20);
    strcpy(t->string, "II");
    blit_text(t, fb.px.data(), lrgb_t{32768, 32768, 32768, 0}, fb.w, fb.h, 1.0);
    EXPECT_EQ(fb.lit(21), c.cols) << c.flags;
  }
  gc_cleanup(owner);
}

TEST(Text, VerticalPlacement) {
  // Cells start 0.2 * size / 3 below y, or 1.3 * size / 3 above it with flag 64.
  font_t* f = keep(font_load(0, make_sheet(0)));
  gc_list_t* owner = gc_list_create();
  for (int flags : {(int)TEXT_LEFT, TEXT_LEFT | TEXT_MIDDLE}) {
    fb_t fb;
    text_t* t = init_text(owner, f, flags, 50, 18);
    strcpy(t->string, "I");
    blit_text(t, fb.px.data(), lrgb_t{32768, 32768, 32768, 0}, fb.w, fb.h, 1.0);
    double top = flags & TEXT_MIDDLE ? 18 - 13.0 / 3 : 18 + 2.0 / 3;
    int first = -1, last = -1;
    for (int y = 0; y < fb.h; y++)
      if (fb.px[y * fb.w + 56].g > 16384) last = y, first = first < 0 ? y : first;
    EXPECT_EQ(first, (int)std::ceil(top)) << flags;
    EXPECT_EQ(last, (int)std::floor(top + CH - 0.5)) << flags;  // bilinear: half a row beyond
  }
  gc_cleanup(owner);
}

TEST(Text, ScaledGlyphsNeverSampleTheNeighbouringCell) {
  // Fill the cells of 'H' and 'J' completely; 'I' between them draws only its own column.
  image_t sheet = make_sheet(0);
  for (int code : {'H', 'J'})
    for (int i = 0; i < CW * CH; i++) sheet.l[(code - 32) * CW * CH + i].g = 32768;
  font_t* f = keep(font_load(0, sheet));
  gc_list_t* owner = gc_list_create();
  fb_t fb;
  text_t* t = init_text(owner, f, TEXT_LEFT, 20.3, 5.6);
  strcpy(t->string, "I");
  font_t big = *f;
  big.size = 27.0;  // scale 2.7
  t->font = &big;
  blit_text(t, fb.px.data(), lrgb_t{32768, 32768, 32768, 0}, fb.w, fb.h, 1.0);
  // Light only around the ink column: pen + 4 * 2.7, a few pixels wide.
  double pen = 20.3 + (4 - 2) * 2.7;
  for (int y = 0; y < fb.h; y++)
    for (int x = 0; x < fb.w; x++)
      if (fb.px[y * fb.w + x].g > 100) {  // the faint marker row aside
        ASSERT_LT(std::fabs(x - (pen + 4 * 2.7)), 4.0) << x << "," << y;
      }
  gc_cleanup(owner);
}

TEST(Text, IntensitySaturatesAndControlCodesAdvance) {
  font_t* f = keep(font_load(0, make_sheet(0)));
  for (int i = 0; i < FONT_GLYPHS * CW * CH; i++)
    if (f->coverage[i] == 32768) f->coverage[i] = 26000;  // about 0.79
  gc_list_t* owner = gc_list_create();
  fb_t a, b;
  text_t* t = init_text(owner, f, TEXT_LEFT, 100, 20);
  strcpy(t->string, "I\tI");  // a control code draws nothing and advances like a space
  blit_text(t, a.px.data(), lrgb_t{32768, 32768, 32768, 0}, a.w, a.h, 1.3);
  EXPECT_EQ(a.px[21 * a.w + 106].g, 32768);  // 0.79 * 1.3 saturates
  EXPECT_EQ(a.lit(21), (std::vector<int>{106, 113}));  // 3 + 4 further on
  strcpy(t->string, "");
  blit_text(t, b.px.data(), lrgb_t{32768, 32768, 32768, 0}, b.w, b.h, 1.0);
  for (auto& p : b.px) ASSERT_EQ(p.g, 0);
  gc_cleanup(owner);
}

TEST(Text, InkBoxesLeaveEveryPixelAsWholeCellsWould) {
  font_t* f = keep(font_load(1, make_sheet(1)));
  std::vector<int32_t> whole(4 * FONT_GLYPHS);
  for (int g = 0; g < FONT_GLYPHS; g++) {
    int32_t* w = &whole[4 * g];
    w[0] = 0, w[1] = CW, w[2] = 0, w[3] = CH;
  }
  font_t cells = *f, none = *f;
  cells.ink = whole.data();
  none.ink = nullptr;  // a record without ink boxes reads as whole cells
  gc_list_t* owner = gc_list_create();
  text_t* t = init_text(owner, f, TEXT_LEFT, 0, 0);
  strcpy(t->string, "WI Hi,\t~W");
  for (double size : {3.3, 10.0, 17.9})
    for (double x : {-7.0, 3.25, 150.6})
      for (double y : {-3.0, 5.5, 31.7}) {
        fb_t a;
        t->x = x, t->y = y;
        font_t sized = *f;
        sized.size = size;
        t->font = &sized;
        blit_text(t, a.px.data(), lrgb_t{32768, 20000, 9000, 0}, a.w, a.h, 1.3);
        for (const font_t* other : {&cells, &none}) {
          font_t sized_other = *other;
          sized_other.size = size;
          t->font = &sized_other;
          fb_t b;
          blit_text(t, b.px.data(), lrgb_t{32768, 20000, 9000, 0}, b.w, b.h, 1.3);
          ASSERT_EQ(std::memcmp(a.px.data(), b.px.data(), a.px.size() * sizeof(lrgb_t)), 0) << size << " " << x << " " << y;
        }
      }
  gc_cleanup(owner);
}

// A sheet of green bytes, wide enough for every path through the copy (sixteen bytes at a
// time, eight, one): each glyph's two marks at columns of its own, any byte values, and the
// coverage and ink box of each glyph as the table and the marks say.
TEST(Font, GreenCoverageAndInkBoxAtEveryColumn) {
  const int32_t* lut = get_lut_slrgb().v;
  for (int w : {80, 37, 7}) {
    const int ch = 3;
    std::vector<uint8_t> sheet((size_t)w * ch * FONT_GLYPHS, 0);
    struct mark_t {
      int x0, x1, y;
    };
    std::vector<mark_t> marks(FONT_GLYPHS);
    for (int g = 0; g < FONT_GLYPHS; g++) {
      const int x0 = (g * 7) % w, x1 = std::min(w - 1, x0 + g % 19), y = g % ch;
      marks[g] = {x0, x1, y};
      if (g % 50 == 49) continue;  // a blank glyph: no ink
      uint8_t* row = &sheet[((size_t)g * ch + y) * w];
      row[x0] = (uint8_t)(1 + g);
      row[x1] = (uint8_t)(255 - g);
    }
    font_t* f = keep(font_load_green(0, w, ch * FONT_GLYPHS, sheet.data()));
    ASSERT_NE(f, nullptr);
    for (size_t i = 0; i < sheet.size(); i++)
      ASSERT_EQ(f->coverage[i], std::min(lut[sheet[i]], 32768)) << "width " << w << " at " << i;
    for (int g = 0; g < FONT_GLYPHS; g++) {
      const int32_t* ink = f->ink + 4 * g;
      const mark_t m = marks[g];
      const bool blank = g % 50 == 49;
      EXPECT_EQ(ink[0], blank ? 0 : m.x0) << w << " " << g;
      EXPECT_EQ(ink[1], blank ? 0 : m.x1 + 1) << w << " " << g;
      EXPECT_EQ(ink[2], blank ? 0 : m.y) << w << " " << g;
      EXPECT_EQ(ink[3], blank ? 0 : m.y + 1) << w << " " << g;
    }
  }
}
