// The sRGB conversion, its tables, the colour makers and the colour model.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "toolkit/graphics/colour.h"
#include "toolkit/graphics/srgb.h"
#include "toolkit/math/rand.h"

TEST(Srgb, TransferTablesFollowTheCurves) {
  const lut_t& ls = get_lut_lsrgb();
  const lut_t& sl = get_lut_slrgb();
  ASSERT_EQ(ls.n, 32769);
  ASSERT_EQ(sl.n, 256);
  EXPECT_EQ(ls.v[0], 0);
  EXPECT_EQ(ls.v[32768], 8160);
  EXPECT_EQ(sl.v[0], 0);
  EXPECT_EQ(sl.v[255], 32768);
  // The standard curve at a few points, computed here independently.
  EXPECT_EQ(sl.v[128], (int)(std::pow((128 / 255.0 + 0.055) / 1.055, 2.4) * 32768 + 0.5));
  EXPECT_EQ(sl.v[5], (int)(5 / 255.0 / 12.92 * 32768 + 0.5));
  EXPECT_EQ(ls.v[16384], (int)((1.055 * std::pow(0.5, 1 / 2.4) - 0.055) * 8160 + 0.5));
  for (int i = 1; i <= 32768; i++) ASSERT_GE(ls.v[i], ls.v[i - 1]);
}

TEST(Srgb, RoundTripExceptions) {
  std::vector<srgb_t> in(256), out(256);
  std::vector<lrgb_t> lin(256, lrgb_t{0, 0, 0, 777});
  for (int i = 0; i < 256; i++) in[i] = srgb_t{9, (uint8_t)i, (uint8_t)i, (uint8_t)i};
  convert_srgb_to_lrgb(in.data(), lin.data(), 256);
  for (int i = 0; i < 256; i++) ASSERT_EQ(lin[i].a, 777);  // alpha kept
  for (int i = 0; i < 256; i++) out[i].a = 42;
  convert_lrgb_to_srgb(out.data(), lin.data(), 256, 0);
  for (int i = 0; i < 256; i++) {
    bool lower = i == 10 || i == 12 || i == 19 || i == 24 || i == 26 || i == 30;
    EXPECT_EQ(out[i].r, lower ? i - 1 : i) << i;
    EXPECT_EQ(out[i].g, out[i].r);
    EXPECT_EQ(out[i].a, 42);  // byte 0 is never written
  }
}

TEST(Srgb, DitheredConversionStaysInRangeAndKeepsAlpha) {
  const int N = 100000;
  std::vector<lrgb_t> in(N);
  std::vector<srgb_t> out(N, srgb_t{7, 1, 1, 1});
  for (int i = 0; i < N; i++) in[i] = i % 2 ? lrgb_t{0, 0, 0, 0} : lrgb_t{32768, 32768, 32768, 0};
  convert_lrgb_to_srgb(out.data(), in.data(), N, 1);
  for (int i = 0; i < N; i++) {
    ASSERT_EQ(out[i].a, 7);
    // Full white lands on 255, a little lower where the deviate is negative, and never
    // below the bound of the dither table, (8160 - 128) >> 5.
    if (i % 2 == 0) {
      ASSERT_GE(out[i].r, 251);
    }
  }
  // Black stays black unless a deviate of 32 or more (1.5 sd above the mean) falls on it.
  int lifted = 0;
  for (int i = 1; i < N; i += 2) lifted += out[i].r != 0;
  EXPECT_GT(lifted, N / 2 * 0.04);
  EXPECT_LT(lifted, N / 2 * 0.1);
}

TEST(Srgb, DitherAveragesAQuarterStepBrighter) {
  const int N = 200000;
  const lut_t& ls = get_lut_lsrgb();
  uint16_t level = 5000;
  std::vector<lrgb_t> in(N, lrgb_t{level, level, level, 0});
  std::vector<srgb_t> out(N);
  convert_lrgb_to_srgb(out.data(), in.data(), N, 1);
  double mean = 0;
  for (auto& p : out) mean += p.g;
  mean /= N;
  EXPECT_NEAR(mean, (ls.v[level] + 8) / 32.0 - 0.5 + 1 / 64.0, 0.05);
}

TEST(Srgb, DitherTableIsBoundedForTheClampTable) {
  lut_t d = dither_lut_init();
  lut_t c = bytecheck_lut_init(4);
  ASSERT_EQ(d.n, 16384);
  ASSERT_EQ(c.n, 264);
  double sum = 0;
  for (int i = 0; i < d.n; i++) {
    ASSERT_GE((0 + d.v[i]) >> 5, -4);
    ASSERT_LE((8160 + d.v[i]) >> 5, 259);
    sum += d.v[i];
  }
  EXPECT_NEAR(sum / d.n, 8, 0.5);
  EXPECT_EQ(c.clamp[-4], 0);
  EXPECT_EQ(c.clamp[0], 0);
  EXPECT_EQ(c.clamp[100], 100);
  EXPECT_EQ(c.clamp[259], 255);
  lut_free(&d);
  lut_free(&c);
}

TEST(Srgb, FrameConversionGivesTheSameBytesFromTheSameDrawsAsPixelsOrAsDisplayWords) {
  // A frame that repeats itself down most of its columns, with rows and pixels that do not.
  const int w = 300, h = 40;
  std::vector<lrgb_t> in(w * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint16_t v = (uint16_t)(x * 97 % 32769), u = (uint16_t)((x * 31 + y * 7) % 40000);
      in[y * w + x] = y % 7 && x > 100 && (x + y) % 11 ? lrgb_t{v, (uint16_t)(v / 2), 100, 0}
                                                       : lrgb_t{u, v, (uint16_t)(u / 3), 9};
    }
  std::vector<uint64_t> scratch(2 * w);
  srgb_t first;
  convert_lrgb_to_srgb(&first, in.data(), 1, 1);  // builds the dither table from the stream
  for (int dither : {0, 1}) {
    std::vector<srgb_t> plain(w * h, srgb_t{3, 0, 0, 0}), frame(plain);
    rand31_seed(11);
    convert_lrgb_to_srgb(plain.data(), in.data(), w * h, dither);
    const int32_t next = rand31();
    rand31_seed(11);
    convert_frame_to_srgb(frame.data(), in.data(), w, h, dither, scratch.data());
    EXPECT_EQ(rand31(), next);
    for (int i = 0; i < w * h; ++i)
      ASSERT_EQ(std::memcmp(&plain[i], &frame[i], sizeof(srgb_t)), 0) << i << " dither " << dither;
    // As a display's words, in rows with room to spare that stays as it was.
    const int stride = w + 5;
    std::vector<uint32_t> words(stride * h, 7);
    rand31_seed(11);
    convert_frame_to_xrgb(words.data(), stride, 0xff000000u, in.data(), w, h, dither, scratch.data());
    EXPECT_EQ(rand31(), next);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < stride; ++x) {
        const srgb_t& p = plain[y * w + x];
        const uint32_t want = x < w ? 0xff000000u | p.r << 16 | p.g << 8 | p.b : 7;
        ASSERT_EQ(words[y * stride + x], want) << x << ", " << y << " dither " << dither;
      }
  }
}

TEST(Srgb, NothingWrittenForEmptyCounts) {
  srgb_t out{1, 2, 3, 4};
  lrgb_t in{32768, 32768, 32768, 0};
  convert_lrgb_to_srgb(&out, &in, 0, 1);
  convert_lrgb_to_srgb(&out, &in, -5, 0);
  EXPECT_EQ(out.r, 2);
}

TEST(Srgb, OverRangeChannelsSaturate) {
  lrgb_t in{65535, 40000, 32769, 0};
  srgb_t out{};
  convert_lrgb_to_srgb(&out, &in, 1, 0);
  EXPECT_EQ(out.r, 255);
  EXPECT_EQ(out.g, 255);
  EXPECT_EQ(out.b, 255);
  convert_lrgb_to_srgb(&out, &in, 1, 1);
  EXPECT_GE(out.r, 251);  // as full white, whatever the dither
}

TEST(Colour, Makers) {
  lrgb_t w = make_colour_srgb(255, 255, 255, 255);
  EXPECT_EQ(w.r, 32768);
  EXPECT_EQ(w.a, 32768);
  lrgb_t k = make_colour_srgb(0, 0, 0, 255);
  EXPECT_EQ(k.r, 0);
  EXPECT_EQ(k.a, 32768);
  EXPECT_EQ(make_colour_srgb(0, 0, 0, 0).a, 0);
  EXPECT_EQ(make_colour_srgb(1, 1, 1, 128).a, get_lut_slrgb().v[128]);  // alpha through the colour curve
  lrgb_t c = make_colour_lin(0.5, 0.25, 1.0, 0.0);
  EXPECT_EQ(c.r, 16384);
  EXPECT_EQ(c.g, 8192);
  EXPECT_EQ(c.b, 32768);
  EXPECT_EQ(c.a, 0);
  lrgb_t g = make_grey_lin(0.15);
  EXPECT_EQ(g.r, (int)(0.15 * 32768 + 0.5));
  EXPECT_EQ(g.b, g.r);
  EXPECT_EQ(g.a, 32768);
}

TEST(Colour, HslPrimariesAndGrey) {
  double r, g, b;
  hsl_to_rgb(&r, &g, &b, HUE_INTERNAL, 0, 0.0, 1.0, 0.16);
  EXPECT_NEAR(r, 1.0, 1e-12);
  EXPECT_NEAR(g, 0, 1e-12);
  EXPECT_NEAR(b, 0, 1e-12);
  hsl_to_rgb(&r, &g, &b, HUE_DEGREES, 0, 120.0, 1.0, 0.16);
  EXPECT_NEAR(g, 0.16 / 0.73, 1e-12);
  EXPECT_NEAR(r, 0, 1e-12);
  hsl_to_rgb(&r, &g, &b, HUE_RADIANS, 0, 4 * M_PI / 3, 1.0, 0.11);
  EXPECT_NEAR(b, 1.0, 1e-9);
  for (double h : {0.0, 37.0, 200.0, 359.0, -90.0, 1000.0}) {
    hsl_to_rgb(&r, &g, &b, HUE_DEGREES, 1, h, 0.0, 0.4);
    EXPECT_NEAR(r, 0.4, 1e-12);
    EXPECT_NEAR(g, 0.4, 1e-12);
    EXPECT_NEAR(b, 0.4, 1e-12);
  }
}

TEST(Colour, HslKeepsLuminanceAndBoostsSecondaries) {
  double r, g, b;
  for (double h = 0; h < 360; h += 7.5) {
    hsl_to_rgb(&r, &g, &b, HUE_DEGREES, 0, h, 1.0, 0.2);
    EXPECT_NEAR(0.16 * r + 0.73 * g + 0.11 * b, 0.2, 1e-12) << h;
  }
  // Yellow, halfway between red and green, is raised twice; red is left as it is.
  double r0, g0, b0;
  hsl_to_rgb(&r0, &g0, &b0, HUE_DEGREES, 0, 60, 1.0, 0.2);
  hsl_to_rgb(&r, &g, &b, HUE_DEGREES, 1, 60, 1.0, 0.2);
  EXPECT_NEAR(r, 2 * r0, 1e-12);
  hsl_to_rgb(&r0, &g0, &b0, HUE_DEGREES, 0, 0, 1.0, 0.2);
  hsl_to_rgb(&r, &g, &b, HUE_DEGREES, 1, 0, 1.0, 0.2);
  EXPECT_NEAR(r, r0, 1e-12);
}

TEST(Colour, Blowout) {
  uint32_t r = 40000, g = 0, b = 0;
  colour_blowout_int(&r, &g, &b);
  EXPECT_EQ(r, 32767u);
  EXPECT_EQ(g, 1377u);
  EXPECT_EQ(b, 1377u);
  r = g = b = 65535;
  colour_blowout_int(&r, &g, &b);
  EXPECT_EQ(r, 32768u);
  EXPECT_EQ(g, 32768u);
  EXPECT_EQ(b, 32768u);
  r = 32768, g = 100, b = 5;
  colour_blowout_int(&r, &g, &b);
  EXPECT_EQ(r, 32768u);
  EXPECT_EQ(g, 100u);
  EXPECT_EQ(b, 5u);
  // Luminance is kept while moving to grey.
  r = 20000, g = 40000, b = 1000;
  double y0 = 0.16 * r + 0.73 * g + 0.11 * b;
  colour_blowout_int(&r, &g, &b);
  EXPECT_LE(std::max({r, g, b}), 32768u);
  EXPECT_NEAR(0.16 * r + 0.73 * g + 0.11 * b, y0, 8);
}

// Packed sRGB bytes to linear at every count that leaves a different tail after the
// four-at-a-time path: each channel the table's value, alpha as given.
TEST(Srgb, PackedBytesToLinearAtEveryTail) {
  const int32_t* lut = get_lut_slrgb().v;
  for (int n = 0; n <= 13; n++) {
    std::vector<uint8_t> in(3 * n);
    for (size_t i = 0; i < in.size(); i++) in[i] = (uint8_t)(i * 97 + n * 31);
    std::vector<lrgb_t> out(n + 1, lrgb_t{7, 7, 7, 7});
    convert_rgb_bytes_to_lrgb(in.data(), out.data(), n, 1234);
    for (int i = 0; i < n; i++) {
      EXPECT_EQ(out[i].r, lut[in[3 * i]]) << n << " " << i;
      EXPECT_EQ(out[i].g, lut[in[3 * i + 1]]) << n << " " << i;
      EXPECT_EQ(out[i].b, lut[in[3 * i + 2]]) << n << " " << i;
      EXPECT_EQ(out[i].a, 1234) << n << " " << i;
    }
    EXPECT_EQ(out[n].r + out[n].a, 14) << n;  // nothing past the count
  }
}
