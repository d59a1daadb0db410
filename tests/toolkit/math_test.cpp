// Random numbers, the double-precision Gaussian and error function, and point-line distance.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <thread>

#include "toolkit/geometry/intersection.h"
#include "toolkit/math/functions.h"
#include "toolkit/math/rand.h"

TEST(Rand, ReproduciblePerThreadAndSeedable) {
  rand31_seed(7);
  int32_t a = rand31(), b = rand31();
  rand31_seed(7);
  EXPECT_EQ(rand31(), a);
  EXPECT_EQ(rand31(), b);
  // A new thread starts on the default stream, whatever this thread did.
  int32_t t1 = 0, t2 = 0;
  std::thread([&] { t1 = rand31(); }).join();
  std::thread([&] { t2 = rand31(); }).join();
  EXPECT_EQ(t1, t2);
}

TEST(Rand, Rand32FillsAllBits) {
  uint32_t seen_or = 0, seen_and = ~0u;
  for (int i = 0; i < 2000; i++) {
    uint32_t v = rand32();
    seen_or |= v;
    seen_and &= v;
  }
  EXPECT_EQ(seen_or, 0xffffffffu);
  EXPECT_EQ(seen_and, 0u);
}

TEST(Rand, GaussianDeviatesHaveUnitSpread) {
  rand31_seed(3);
  const int N = 200000;
  double sum = 0, sq = 0;
  for (int i = 0; i < N; i++) {
    double g = gaussian_rand();
    sum += g;
    sq += g * g;
  }
  double mean = sum / N, var = sq / N - mean * mean;
  EXPECT_NEAR(mean, 0, 0.01);
  EXPECT_NEAR(var, 1, 0.015);
}

TEST(Functions, GaussianAndErf) {
  EXPECT_EQ(gaussian(0), 1.0);
  EXPECT_NEAR(gaussian(1), std::exp(-1.0), 1e-15);
  EXPECT_NEAR(erf_as(0), 0, 1e-8);
  for (double x = -4; x <= 4; x += 0.01) {
    EXPECT_NEAR(erf_as(x), std::erf(x), 1.5e-7) << x;
    EXPECT_EQ(erf_as(-x), -erf_as(x)) << x;
  }
}

TEST(Intersection, PointLineDistance) {
  EXPECT_NEAR(point_line_distance(0, 0, 10, 0, 5, 3), 3, 1e-12);
  EXPECT_NEAR(point_line_distance(0, 0, 10, 0, 25, 0), 0, 1e-12);  // beyond the segment's end
  EXPECT_NEAR(point_line_distance(0, 0, 3, 4, 4, -3), 5, 1e-12);
  EXPECT_NEAR(point_line_distance(1, 1, 1, 1, 4, 5), 5, 1e-12);  // a point, not a line
}
