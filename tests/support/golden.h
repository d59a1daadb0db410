// Golden images: a linear frame, converted without dither, or a display bitmap, compared with
// a committed PNG under tests/golden/<folder>/. Every channel must be within `tolerance` of 255 steps, except
// for at most `allowed` pixels. QUILLMAR_UPDATE_GOLDENS=1 rewrites the golden instead.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "framework/bitmap/RasterBitmap.h"
#include "toolkit/graphics/srgb.h"

// The same for a display bitmap (a graphics context's draw bitmap, say).
inline void check_golden(const std::string& folder, const std::string& name, const RasterBitmap& got,
                         int tolerance = 2, int allowed = 0) {
  const int w = got.Width(), h = got.Height();
  std::string path = std::string(QUILLMAR_SOURCE_RESOURCES) + "/../tests/golden/" + folder + "/" + name + ".png";
  std::string err;
  const char* update = getenv("QUILLMAR_UPDATE_GOLDENS");
  if (update && std::string(update) == "1") {
    ASSERT_TRUE(got.SavePNG(path, false, &err)) << err;
    return;
  }
  RasterBitmap want;
  ASSERT_TRUE(want.LoadPNG(path, &err)) << err << " (make goldens writes it)";
  ASSERT_EQ(want.Width(), w);
  ASSERT_EQ(want.Height(), h);
  int worst = 0, bad = 0;
  for (int i = 0; i < w * h; i++) {
    const srgb_t &a = got.Pixels()[i], &b = want.Pixels()[i];
    int d = std::max({std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
    worst = std::max(worst, d);
    bad += d > tolerance;
  }
  EXPECT_LE(bad, allowed) << name << ": " << bad << " pixels differ by more than " << tolerance << " (worst " << worst
                          << "); look at both images";
}

inline void check_golden(const std::string& folder, const std::string& name, const lrgb_t* fb, int w, int h,
                         int tolerance = 2, int allowed = 0) {
  RasterBitmap got(w, h);
  convert_lrgb_to_srgb(got.Pixels(), fb, w * h, 0);
  check_golden(folder, name, got, tolerance, allowed);
}
