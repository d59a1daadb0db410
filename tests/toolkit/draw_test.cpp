// Lines and shapes: the light model's worked values, the band walk, clipping and bounds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "toolkit/fixedpoint/fp.h"
#include "toolkit/graphics/blending.h"
#include "toolkit/graphics/drawline.h"
#include "toolkit/graphics/drawprimitives.h"
#include "toolkit/graphics/line_band.h"
#include "toolkit/graphics/line_weights.h"
#include "toolkit/gui/drawelements.h"
#include "toolkit/math/rand.h"

namespace {

const lrgb_t WHITE{32768, 32768, 32768, 32768};
const lrgb_t BLACK{0, 0, 0, 32768};

struct img_t {
  int w, h;
  std::vector<lrgb_t> px;
  img_t(int w_, int h_, lrgb_t fill = BLACK) : w(w_), h(h_), px((size_t)w_ * h_, fill) {}
  lrgb_t* p() { return px.data(); }
  int g(int x, int y) const { return px[(size_t)y * w + x].g; }
  int max_g() const {
    int m = 0;
    for (auto& q : px) m = std::max(m, (int)q.g);
    return m;
  }
};

double extent(double r, double i) { return r * std::sqrt(std::log(i / 0.0002)); }

// Distance from a point to a finite segment.
double seg_dist(double x1, double y1, double x2, double y2, double px, double py) {
  double dx = x2 - x1, dy = y2 - y1, l2 = dx * dx + dy * dy;
  double t = l2 > 0 ? ((px - x1) * dx + (py - y1) * dy) / l2 : 0;
  t = t < 0 ? 0 : t > 1 ? 1 : t;
  return std::hypot(x1 + dx * t - px, y1 + dy * t - py);
}

// A background over the whole 16-bit range, the same for every caller.
std::vector<lrgb_t> noise(int n) {
  std::vector<lrgb_t> v(n);
  for (int i = 0; i < n; ++i) {
    const int k = (int)((i * 40503u) & 65535);
    v[i] = lrgb_t{(uint16_t)k, (uint16_t)(65535 - k), (uint16_t)(k * 7), (uint16_t)(k ^ 0x5555)};
  }
  return v;
}

// A rounded rectangle's corner centres and radius in 16.16, and a pixel's distance from it.
struct rr_ref_t {
  int64_t x0, y0, x1, y1, R;
  rr_ref_t(double a, double b, double c, double d, double R_) {
    const double r = std::max(0.0, std::min(R_, std::min(c - a, d - b) / 2));
    auto f = [](double v) { return (int64_t)std::llround(v * 65536); };
    x0 = f(a + r), y0 = f(b + r), x1 = f(c - r), y1 = f(d - r), R = f(r);
  }
  int64_t dist(int i, int j) const { return get_dist_to_roundrect((int64_t)i << 16, (int64_t)j << 16, x0, y0, x1, y1, R); }
};

bool eq(lrgb_t a, lrgb_t b) { return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a; }

}  // namespace

TEST(Extent, FormulaAndThreshold) {
  EXPECT_NEAR(blur_extent(1.0, 1.0), 2.9184, 1e-4);
  EXPECT_NEAR(blur_extent(0.85, 2.0), 0.85 * std::sqrt(std::log(10000.0)), 1e-12);
  EXPECT_EQ(blur_extent(3.0, 0.0002), 0.0);
  EXPECT_NEAR(blur_extent(1.0, 1.0), 2.9184, 1e-4);  // served from the cache after a change
}

TEST(BorderClip, MovesEndpointsAlongTheLine) {
  double x1 = -10, y1 = 0, x2 = 10, y2 = 20;
  border_clip(&x1, &y1, &x2, &y2, 9, 9, 1);
  EXPECT_DOUBLE_EQ(x1, -1);
  EXPECT_DOUBLE_EQ(y1, 9);  // followed the line (slope 1)
  EXPECT_DOUBLE_EQ(y2, 10);
  EXPECT_DOUBLE_EQ(x2, 0);
  // A vertical segment only has its clamped coordinate changed.
  x1 = 5, y1 = -50, x2 = 5, y2 = 50;
  border_clip(&x1, &y1, &x2, &y2, 9, 9, 2);
  EXPECT_DOUBLE_EQ(x1, 5);
  EXPECT_DOUBLE_EQ(y1, -2);
  EXPECT_DOUBLE_EQ(y2, 11);
  // Wholly outside: pressed onto the border, not rejected.
  x1 = -30, y1 = -30, x2 = -20, y2 = -40;
  border_clip(&x1, &y1, &x2, &y2, 9, 9, 2);
  EXPECT_DOUBLE_EQ(x1, -2);
  EXPECT_DOUBLE_EQ(y1, -2);
}

TEST(Line, ZeroLengthDrawsNothing) {
  img_t im(40, 40);
  draw_line_thin(im.p(), 40, 40, WHITE, BLEND_ADD, 20, 20, 20, 20, 5.0, 1.0);
  draw_line_thin(im.p(), 40, 40, WHITE, BLEND_REPLACE, 20, 20, 20, 20, 5.0, 1.0);
  EXPECT_EQ(im.max_g(), 0);
}

TEST(Line, LongHorizontalLineWeights) {
  img_t im(200, 21);
  draw_line_thin(im.p(), 200, 21, WHITE, BLEND_ADD, 0, 10, 199, 10, 0.85, 1.0);
  double side = 32768 * std::exp(-std::pow(1 / 0.85, 2));
  for (int x = 20; x < 180; x++) {
    ASSERT_EQ(im.g(x, 10), 32768) << x;
    ASSERT_NEAR(im.g(x, 9), side, side * 0.01 + 2) << x;
    ASSERT_NEAR(im.g(x, 11), side, side * 0.01 + 2) << x;
    ASSERT_LT(im.g(x, 7), 7);
  }
  // The ends fade as the integral of the Gaussian: half light at the endpoint.
  EXPECT_NEAR(im.g(0, 10), 16384, 300);
  EXPECT_NEAR(im.g(199, 10), 16384, 300);
}

TEST(Line, LightDoesNotDependOnDirection) {
  // The same segment drawn either way, and a diagonal against its mirror.
  img_t a(64, 64), b(64, 64), c(64, 64);
  draw_line_thin(a.p(), 64, 64, WHITE, BLEND_ADD, 10.3, 12.7, 50.1, 40.2, 1.2, 1.0);
  draw_line_thin(b.p(), 64, 64, WHITE, BLEND_ADD, 50.1, 40.2, 10.3, 12.7, 1.2, 1.0);
  for (size_t i = 0; i < a.px.size(); i++) ASSERT_NEAR(a.px[i].g, b.px[i].g, 300);
  draw_line_thin(c.p(), 64, 64, WHITE, BLEND_ADD, 12.7, 10.3, 40.2, 50.1, 1.2, 1.0);  // transposed
  for (int y = 0; y < 64; y++)
    for (int x = 0; x < 64; x++) ASSERT_NEAR(a.g(x, y), c.g(y, x), 300);
}

TEST(Line, MatchesTheBlurredSegmentModel) {
  img_t im(64, 64);
  const double x1 = 8.4, y1 = 50.2, x2 = 55.7, y2 = 13.9, r = 1.5;
  draw_line_thin(im.p(), 64, 64, WHITE, BLEND_ADD, x1, y1, x2, y2, r, 1.0);
  double len = std::hypot(x2 - x1, y2 - y1), c = (x2 - x1) / len, s = (y2 - y1) / len;
  for (int y = 0; y < 64; y++)
    for (int x = 0; x < 64; x++) {
      double u1 = ((x - x1) * c + (y - y1) * s) / r, u2 = ((x - x2) * c + (y - y2) * s) / r;
      double v = (-(x - x1) * s + (y - y1) * c) / r;
      double model = 32768 * std::exp(-v * v) * (std::erf(u1) - std::erf(u2)) / 2;
      ASSERT_NEAR(im.g(x, y), model, 32768 * 0.012 + 3) << x << "," << y;
    }
}

TEST(Line, TwoPassesAddOrMix) {
  img_t add(60, 20);
  draw_line_thin(add.p(), 60, 20, lrgb_t{10000, 10000, 10000, 0}, BLEND_ADD, 0, 10, 59, 10, 0.85, 1.0);
  int once = add.g(30, 10), side1 = add.g(30, 11);
  draw_line_thin(add.p(), 60, 20, lrgb_t{10000, 10000, 10000, 0}, BLEND_ADD, 0, 10, 59, 10, 0.85, 1.0);
  EXPECT_EQ(add.g(30, 10), 2 * once);
  EXPECT_NEAR(add.g(30, 11), 2 * side1, 1);
  img_t mix(60, 20);
  draw_line_thin(mix.p(), 60, 20, WHITE, BLEND_MIX, 0, 10, 59, 10, 0.85, 1.0);
  int m1 = mix.g(30, 11);
  draw_line_thin(mix.p(), 60, 20, WHITE, BLEND_MIX, 0, 10, 59, 10, 0.85, 1.0);
  EXPECT_GT(mix.g(30, 11), m1);
  EXPECT_LE(mix.g(30, 11), 32768);
}

TEST(Line, BandVisitsEachPixelOnceAndCoversTheLight) {
  rand31_seed(11);
  for (int trial = 0; trial < 300; trial++) {
    auto rnd = [](double lo, double hi) { return lo + (hi - lo) * rand31() / (double)RAND31_MAX; };
    double x1 = rnd(-20, 80), y1 = rnd(-20, 70), x2 = rnd(-20, 80), y2 = rnd(-20, 70);
    if (trial % 10 == 0) y2 = y1;  // exact horizontals
    if (trial % 10 == 1) x2 = x1;  // and verticals
    if (std::hypot(x2 - x1, y2 - y1) == 0) continue;
    double g = extent(rnd(0.3, 4), 1.0);
    const int W = 60, H = 50;
    std::vector<int> visits(W * H, 0);
    line_band_walk(line_band(x1, y1, x2, y2, g), W, H, [&](long x, long y) {
      ASSERT_TRUE(x >= 0 && x < W && y >= 0 && y < H);
      visits[y * W + x]++;
    });
    for (int y = 0; y < H; y++)
      for (int x = 0; x < W; x++) {
        ASSERT_LE(visits[y * W + x], 1) << trial;
        // Every pixel within the extent of the segment is reached.
        if (seg_dist(x1, y1, x2, y2, x, y) <= g) {
          ASSERT_EQ(visits[y * W + x], 1) << trial << " " << x << "," << y;
        }
      }
  }
}

TEST(Line, OffImageSegmentsStayBelowThreshold) {
  const double segs[][4] = {{-50, -50, -20, -80}, {100, 10, 140, 30}, {10, 90, 50, 200}, {-5, -40, 70, -9}};
  for (auto& s : segs) {
    img_t im(64, 64);
    draw_line_thin(im.p(), 64, 64, WHITE, BLEND_ADD, s[0], s[1], s[2], s[3], 1.3, 1.0);
    EXPECT_LE(im.max_g(), 7);  // 0.0002 of full light
  }
}

TEST(Line, BadArgumentsDrawNothing) {
  img_t im(20, 20);
  draw_line_thin(im.p(), 20, 20, WHITE, BLEND_REPLACE, 1, 1, 15, 15, 0.0, 1.0);
  draw_line_thin(im.p(), 20, 20, WHITE, BLEND_REPLACE, 1, 1, 15, 15, -1.0, 1.0);
  draw_line_thin(im.p(), 20, 20, WHITE, BLEND_REPLACE, NAN, 1, 15, 15, 1.0, 1.0);
  draw_line_thin(im.p(), 20, 20, WHITE, BLEND_REPLACE, 1, 1, INFINITY, 15, 1.0, 1.0);
  EXPECT_EQ(im.max_g(), 0);
}

TEST(Line, ShortPieces) {
  img_t whole(50, 20), piece(50, 20);
  draw_line_thin(whole.p(), 50, 20, WHITE, BLEND_ADD, 3.3, 7.1, 44.9, 12.6, 0.85, 1.0);
  draw_line_thin_short(piece.p(), 50, 20, WHITE, BLEND_ADD, 3.3, 7.1, 44.9, 12.6, 0.0, 1.0, 0.85, 1.0);
  for (size_t i = 0; i < whole.px.size(); i++) ASSERT_EQ(whole.px[i].g, piece.px[i].g);
  img_t none(50, 20);
  draw_line_thin_short(none.p(), 50, 20, WHITE, BLEND_ADD, 3, 7, 44, 12, 0.5, 0.5, 0.85, 1.0);
  EXPECT_EQ(none.max_g(), 0);
  // The middle half: dark at the ends of the full segment, lit at its middle.
  img_t half(50, 20);
  draw_line_thin_short(half.p(), 50, 20, WHITE, BLEND_ADD, 0, 10, 40, 10, 0.25, 0.75, 0.85, 1.0);
  EXPECT_EQ(half.g(20, 10), 32768);
  EXPECT_LT(half.g(5, 10), 10);
  EXPECT_NEAR(half.g(10, 10), 16384, 300);
}

// A vertical segment's rows that the walk calls alike get the same weights, and so does every
// row between them; its inner rows exclude the ends, where the light fades along the segment.
TEST(Line, VerticalRowsCalledAlikeAreAlike) {
  const int w = 40;
  int alike_pairs = 0, other_pairs = 0;
  for (int h : {502, 602}) {
    for (double x = 3.1; x < 36; x += 0.173) {
      std::vector<int> wgt(w * h, 0);
      line_thin_weights(w, h, x, 0, x, h - 1, 0.85, 1.0, [&](long px, long py, int v) { wgt[py * w + px] = v; });
      auto row = [&](long y) { return std::vector<int>(wgt.begin() + y * w, wgt.begin() + (y + 1) * w); };
      const line_thin_t L = line_thin_prepare(w, h, x, 0, x, h - 1, 0.85, 1.0);
      long lo, hi;
      ASSERT_TRUE(line_thin_inner_rows(L, w, h, &lo, &hi)) << x;
      EXPECT_TRUE(lo >= 3 && lo <= 5 && hi >= h - 6 && hi <= h - 4) << x << ": " << lo << " .. " << hi;
      EXPECT_NE(row(lo - 1), row(lo)) << x;
      EXPECT_NE(row(hi + 1), row(hi)) << x;
      bool same = true;  // rows lo .. r all as row lo
      for (long r = lo + 1; r <= hi; r += 7) {
        for (long y = std::max(lo + 1, r - 6); y <= r && same; ++y) same = row(y) == row(lo);
        if (line_thin_rows_alike(L, w, lo, r)) {
          ++alike_pairs;
          ASSERT_TRUE(same) << x << ", rows " << lo << " .. " << r;
        } else {
          ++other_pairs;
        }
      }
    }
  }
  EXPECT_GT(alike_pairs, 1000);
  EXPECT_GT(other_pairs, 100);
}

TEST(Circle, DiscAndRing) {
  img_t disc(80, 80);
  draw_circle(CIRCLE_DISC, disc.p(), 80, 80, WHITE, BLEND_ADD, 40, 40, 20, 1.0, 1.0);
  EXPECT_EQ(disc.g(40, 40), 32768);
  EXPECT_EQ(disc.g(40 + 16, 40), 32768);  // four radii inside the edge
  EXPECT_NEAR(disc.g(60, 40), 16384, 300);  // on the edge
  EXPECT_LT(disc.g(40 + 24, 40), 7);
  img_t ring(80, 80);
  draw_circle(CIRCLE_RING, ring.p(), 80, 80, WHITE, BLEND_ADD, 40, 40, 20, 1.0, 1.0);
  EXPECT_EQ(ring.g(60, 40), 32768);
  EXPECT_NEAR(ring.g(61, 40), 32768 * std::exp(-1.0), 150);
  EXPECT_EQ(ring.g(40, 40), 0);
  // A ring smaller than its extent has no hole: its centre is lit.
  img_t small(20, 20);
  draw_circle(CIRCLE_RING, small.p(), 20, 20, WHITE, BLEND_ADD, 10, 10, 1.0, 1.5, 1.0);
  EXPECT_NEAR(small.g(10, 10), 32768 * std::exp(-std::pow(1 / 1.5, 2)), 150);
}

TEST(Circle, ClippedAtEveryEdge) {
  for (double x : {-10.0, 0.0, 15.0, 30.0, 45.0})
    for (double y : {-10.0, 0.0, 15.0, 30.0, 45.0}) {
      std::vector<lrgb_t> buf(32 * 34, BLACK);
      draw_circle(CIRCLE_DISC, buf.data() + 32, 32, 32, WHITE, BLEND_REPLACE, x, y, 12, 2.0, 1.0);
      for (int i = 0; i < 32; i++) ASSERT_EQ(buf[i].g, 0);
      for (int i = 32 * 33; i < 32 * 34; i++) ASSERT_EQ(buf[i].g, 0);
    }
}

TEST(RoundRect, FilledWithSoftEdge) {
  img_t im(100, 60);
  draw_roundrect(im.p(), 100, 60, WHITE, BLEND_ADD, 10, 10, 90, 50, 6, 0.85, 1.0);
  EXPECT_EQ(im.g(50, 30), 32768);
  EXPECT_NEAR(im.g(10, 30), 16384, 300);  // on the straight edge
  EXPECT_NEAR(im.g(50, 50), 16384, 300);
  EXPECT_LT(im.g(10, 10), 300);  // the corner is rounded off
  EXPECT_LT(im.g(5, 30), 7);
}

TEST(RoundRect, SmallCornerIsNotOpaque) {
  // With the corner radius equal to the blur radius the middle sits only R inside the edge.
  img_t im(60, 60);
  draw_roundrect(im.p(), 60, 60, WHITE, BLEND_ADD, 20, 20, 40, 40, 3.0, 3.0, 1.0);
  EXPECT_NEAR(im.g(30, 30) / 32768.0, (1 + std::erf(1.0)) / 2, 0.01);
}

TEST(RoundRect, FrameLightsOnlyBetweenItsOutlines) {
  img_t im(120, 120);
  draw_roundrect_frame(im.p(), 120, 120, WHITE, BLEND_ADD, 9, 8, 0.85, 1.0, 10, 10, 110, 110, 20, 30, 100, 100);
  EXPECT_EQ(im.g(60, 60), 0);   // inside both
  EXPECT_EQ(im.g(60, 20), 32768);  // in the title band
  EXPECT_EQ(im.g(15, 60), 32768);
  EXPECT_LT(im.g(3, 60), 7);
}

TEST(RoundRect, EveryPixelAtItsOwnDistance) {
  // The shapes blend whole runs at one weight; pixel by pixel from the distances they must
  // come out the same, clipped at every edge, with corners wider than the shape and frames
  // with no inner part.
  struct shape_t {
    double o[4], R, r[4], rin;  // outer rectangle and radius; inner rectangle (a frame) and radius
    double radius, intensity;
    bool frame;
  };
  const shape_t shapes[] = {
      {{5.3, 4.7, 30.2, 18.9}, 3, {}, 0, 0.85, 1.0, false},
      {{-6.5, -3.2, 20.1, 15.5}, 3, {}, 0, 0.85, 0.9, false},
      {{12.4, 9.1, 45, 30}, 6, {}, 0, 1.5, 2.5, false},
      {{10, 5, 11.5, 20}, 3, {}, 0, 0.85, 1.0, false},
      {{-10, -10, 50, 40}, 2, {}, 0, 0.6, 1.0, false},
      {{3.25, 2.5, 33.5, 20}, 9, {4.25, 8.0, 32.5, 19}, 8, 0.85, 1.0, true},
      {{-4, 6, 28, 40}, 5, {-3, 9.5, 27, 39}, 4, 1.2, 0.7, true},
      {{6, 3, 30, 19}, 4, {20, 10, 10, 15}, 3, 0.85, 1.0, true},
  };
  const lrgb_t colours[] = {{6000, 32768, 100, 9000}, {65535, 1, 40000, 65535}};
  const int w = 37, h = 23;
  const std::vector<lrgb_t> bg = noise(w * h);
  for (const shape_t& s : shapes)
    for (int mode : {BLEND_MULTIPLY, BLEND_MIX, BLEND_ALPHA, BLEND_ADD, BLEND_OVER})
      for (const lrgb_t& c : colours) {
        std::vector<lrgb_t> im = bg;
        if (s.frame)
          draw_roundrect_frame(im.data(), w, h, c, mode, s.R, s.rin, s.radius, s.intensity, s.o[0], s.o[1], s.o[2],
                               s.o[3], s.r[0], s.r[1], s.r[2], s.r[3]);
        else
          draw_roundrect(im.data(), w, h, c, mode, s.o[0], s.o[1], s.o[2], s.o[3], s.R, s.radius, s.intensity);
        const rr_ref_t out(s.o[0], s.o[1], s.o[2], s.o[3], s.R), in(s.r[0], s.r[1], s.r[2], s.r[3], s.rin);
        const bool has_in = s.frame && s.r[2] >= s.r[0] && s.r[3] >= s.r[1];
        const double g = blur_extent(s.radius, s.intensity);
        const int64_t k = std::llround(65536 / s.radius);
        auto erf_w = [&](int64_t D) { return (int64_t)fperfr_d0(-((D * k) >> 16)); };
        for (int j = 0; j < h; ++j)
          for (int i = 0; i < w; ++i) {
            lrgb_t e = bg[j * w + i];
            if (i >= std::ceil(s.o[0] - g) && i <= std::floor(s.o[2] + g) && j >= std::ceil(s.o[1] - g) &&
                j <= std::floor(s.o[3] + g)) {
              const int64_t wgt = std::max<int64_t>(0, erf_w(out.dist(i, j)) - (has_in ? erf_w(in.dist(i, j)) : 0));
              e = blend_pixels(e, c, (int)((wgt * intensity_weight(s.intensity)) >> 15), mode);
            }
            ASSERT_TRUE(eq(im[j * w + i], e)) << "shape " << (&s - shapes) << " mode " << mode << " at " << i << "," << j;
          }
      }
}

TEST(TitledFrame, Geometry) {
  // One 68 x 100 cell centred on (100, 100): outer 67.25..131.75 by 48.25..144.75.
  img_t im(200, 200);
  draw_titled_roundrect_frame(im.p(), 200, 200, WHITE, BLEND_ADD, 100, 100, 0.85, 1, 1, 68.0, 100.0);
  EXPECT_NEAR(im.g(100, 60), 32768, 50);  // title band
  EXPECT_EQ(im.g(100, 100), 0);            // inside
  EXPECT_GT(im.g(68, 100), 12000);         // the rim at the left
  EXPECT_LT(im.g(63, 100), 7);
}

TEST(Gradient, SeparableGaussianBlend) {
  img_t im(64, 48, lrgb_t{1, 2, 3, 4});
  lrgb_t c0{0, 0, 0, 1234}, c1{32768, 16384, 8192, 0};
  draw_gaussian_gradient(im.p(), 64, 48, c0, c1, BLEND_REPLACE, 32, 24, 10, 0, 0);
  EXPECT_EQ(im.px[24 * 64 + 32].r, 32768);
  EXPECT_EQ(im.px[24 * 64 + 32].a, 1234);
  double k = std::exp(-1.0) * std::exp(-0.25);
  EXPECT_NEAR(im.px[29 * 64 + 42].r, 32768 * k, 40);
  EXPECT_NEAR(im.px[29 * 64 + 42].g, 16384 * k, 20);
  // The offsets shift the centre by offset * size.
  img_t sh(64, 48);
  draw_gaussian_gradient(sh.p(), 64, 48, c0, c1, BLEND_REPLACE, 32, 24, 10, -0.5, 0.3);
  EXPECT_EQ(sh.px[27 * 64 + 27].r, 32768);
}

TEST(Gradient, ReplaceMatchesTheFullWeightMix) {
  // Replacing takes its own row path; a full-weight mix over the first colour's alpha goes
  // the general way and must give the same pixels, on every row remainder.
  struct case_t {
    int w, h;
    double x, y, size, ox, oy;
    lrgb_t c0, c1;
  };
  const case_t cases[] = {
      {1, 3, 0, 1, 2, 0, 0, {100, 200, 300, 32768}, {32768, 0, 65535, 0}},
      {5, 4, 2.5, 1.5, 1.7, -0.05, -0.15, {9000, 9000, 7000, 32768}, {30000, 30000, 30000, 32768}},
      {7, 3, -1, 4, 3, 0.3, 0, {65535, 65535, 0, 7}, {0, 1, 65535, 65535}},
      {13, 5, 12, 0, -2.5, 0, 0.2, {32768, 0, 16384, 1}, {0, 32768, 16385, 2}},
  };
  for (const case_t& c : cases) {
    std::vector<lrgb_t> a = noise(c.w * c.h), b = a;
    for (lrgb_t& p : b) p.a = c.c0.a;
    draw_gaussian_gradient(a.data(), c.w, c.h, c.c0, c.c1, BLEND_REPLACE, c.x, c.y, c.size, c.ox, c.oy);
    draw_gaussian_gradient(b.data(), c.w, c.h, c.c0, c.c1, BLEND_MIX, c.x, c.y, c.size, c.ox, c.oy);
    for (int i = 0; i < c.w * c.h; ++i) ASSERT_TRUE(eq(a[i], b[i])) << "case " << (&c - cases) << " pixel " << i;
  }
}
