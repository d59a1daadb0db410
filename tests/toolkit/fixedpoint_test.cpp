// Fixed-point and fast-float math: worked values, and the accuracy of every table measured
// against the C library over its whole domain (dense strides through it).
#include <gtest/gtest.h>

#include <cmath>

#include "toolkit/fastfloat/fastfloat.h"
#include "toolkit/fixedpoint/fp.h"

TEST(FixedPointTables, WorkedValues) {
  EXPECT_EQ(fpgauss_d0(0), 32768);
  EXPECT_EQ(fpgauss_d0(65536), 12055);
  EXPECT_EQ(fpgauss_d0(4 * 65536), 0);
  EXPECT_EQ(fperfr_d0(0), 16384);
  EXPECT_EQ(fperfr_d0(-4 * 65536), 0);
  EXPECT_EQ(fperfr_d0(4 * 65536), 32768);
  EXPECT_EQ(fpcos_d2(0), 1 << 25);
  EXPECT_EQ(fpcos_d2(1u << 31), -(1 << 25));
  EXPECT_EQ(isqrt_d1i(1ull << 32), 65536u);
  EXPECT_EQ(fphypot(3 * 65536, 4 * 65536), 5 * 65536);
  EXPECT_EQ(isqrt_d1i(0), 0u);
  for (uint64_t x : {1ull, 2ull, 3ull}) EXPECT_EQ(isqrt_d1i(x), 1u) << x;
}

TEST(FixedPointTables, BitLength) {
  EXPECT_EQ(ffo32(0), 0);
  EXPECT_EQ(ffo32(1), 1);
  EXPECT_EQ(ffo32(3), 2);
  for (int b = 0; b < 32; b++) {
    EXPECT_EQ(ffo32(1u << b), b + 1);
    EXPECT_EQ(ffo32((1u << b) | ((1u << b) - 1)), b + 1);
  }
  for (int b = 0; b < 64; b++) EXPECT_EQ(ffo64(1ull << b), b + 1);
}

TEST(FixedPointTables, GaussianAndErfFollowTheirRules) {
  // Within one table step of the exact function: the lookups truncate the index.
  for (int64_t t = 0; t < 4 * 65536; t += 97) {
    double x = t / 65536.0;
    EXPECT_NEAR(fpgauss_d0(t), 32768 * std::exp(-x * x), 32768 * 2 * x / 256 + 0.6) << t;
    EXPECT_NEAR(fpgauss_d1i(t) / 1073741824.0, std::exp(-x * x), 6.2e-5) << t;  // chord error h^2/8 * 2
  }
  for (int64_t t = -4 * 65536 + 1; t < 4 * 65536; t += 89) {
    double x = t / 65536.0;
    double exact = 32768 * (1 + std::erf(x)) / 2;
    EXPECT_NEAR(fperfr_d0(t), exact, 32768 * 1.13 / 128 * std::exp(-x * x) + 0.6) << t;
  }
}

TEST(FixedPointTables, SquareRootAccuracy) {
  double worst = 0;
  for (uint64_t x = 1 << 20; x < (1ull << 62); x += x / 977 + 1) {
    double r = std::sqrt((double)x);
    double got = isqrt_d1i(x);
    EXPECT_LE(got, r * (1 + 5e-7) + 1e-9) << x;
    EXPECT_GE(got, r * (1 - 5e-7) - 1) << x;
    worst = std::fmax(worst, std::fabs(got - r) / r);
  }
  EXPECT_LT(worst, 1e-3);
}

TEST(FixedPointTables, CosineWithinBoundOverAFullTurn) {
  double worst = 0;
  for (uint64_t x = 0; x < (1ull << 32); x += 257) {
    double e = std::fabs(fpcos_d2((uint32_t)x) / 33554432.0 - std::cos(2 * M_PI * x / 4294967296.0));
    if (e > worst) worst = e;
  }
  EXPECT_LT(worst, 1.5e-7);
}

TEST(FixedPointTables, ReciprocalWithinBoundOverItsRange) {
  double worst = 0;
  for (int64_t x = 1 << 26; x < (1 << 27); x += 7) {
    double exact = 18014398509481984.0 / x;
    worst = std::fmax(worst, std::fabs(fpdiv_d2(x) - exact) / exact);
  }
  EXPECT_LT(worst, 2.3e-8);
}

TEST(FixedPointTables, ArctangentWithinBound) {
  // The table itself, over every segment.
  double worst = 0;
  for (int64_t r = -(1 << 30); r <= (1 << 30); r += 61) {
    const int32_t* c = fpatan2_lut_off + 3 * (r >> 24);
    int64_t t = ((int64_t)c[2] * r) >> 30;
    int64_t a = (((t + c[1]) * r) >> 30) + c[0];
    worst = std::fmax(worst, std::fabs(a * (M_PI / 4) / 536870912.0 - (M_PI / 4 + std::atan(r / 1073741824.0))));
  }
  EXPECT_LT(worst, 4.2e-8);
  // The whole function, all around the circle and at many lengths.
  worst = 0;
  for (int i = 0; i < 200000; i++) {
    double ang = i * 2 * M_PI / 200000, len = 3 + (i % 17) * 1e5;
    int64_t x = std::llround(std::cos(ang) * len), y = std::llround(std::sin(ang) * len);
    double got = fpatan2_d2(y, x) * M_PI / 2147483648.0;
    worst = std::fmax(worst, std::fabs(std::remainder(got - std::atan2((double)y, (double)x), 2 * M_PI)));
  }
  EXPECT_LT(worst, 1e-7);
}

TEST(FixedPointTables, ArctangentAxes) {
  EXPECT_NEAR(fpatan2_d2(0, 65536), 0, 40);
  EXPECT_NEAR(fpatan2_d2(65536, 0), 1 << 30, 40);
  EXPECT_NEAR(std::fabs((double)fpatan2_d2(0, -65536)), 2147483648.0, 40);
  EXPECT_NEAR(fpatan2_d2(-65536, 0), -(1 << 30), 40);
  EXPECT_EQ(fpatan2_d2(0, 0), 0);
  // Huge vectors are halved first rather than overflowing.
  EXPECT_NEAR(fpatan2_d2(3000000000LL, 3000000000LL), 1 << 29, 40);
}

TEST(FastFloat, Log2WithinBoundOverTheMantissa) {
  double worst = 0;
  for (double m = 1; m < 2; m += 3.1e-7) worst = std::fmax(worst, std::fabs(fastlog2(m) - std::log2(m)));
  EXPECT_LT(worst, 7.1e-9);
  EXPECT_NEAR(fastlog2(1024.0), 10.0, 1e-8);
  EXPECT_NEAR(fastlog2(0.125), -3.0, 1e-8);
  EXPECT_NEAR(fastlog2(3e-300), std::log2(3e-300), 1e-8);
}

TEST(FastFloat, Exp2WithinBoundOverTheFraction) {
  double worst = 0;
  for (double f = 0; f < 1; f += 2.9e-7) worst = std::fmax(worst, std::fabs(fastexp2(f) / std::exp2(f) - 1));
  EXPECT_LT(worst, 6.7e-9);
  EXPECT_NEAR(fastexp2(-2.5) / std::exp2(-2.5), 1, 6.7e-9);
  EXPECT_NEAR(fastexp2(40.25) / std::exp2(40.25), 1, 6.7e-9);
  EXPECT_TRUE(std::isinf(fastexp2(5000)));
  EXPECT_EQ(fastexp2(-5000), 0.0);
}

TEST(FastFloat, Power) {
  EXPECT_EQ(fastpow(0.3, 1.0), 0.3);
  EXPECT_NEAR(fastpow(0.3, 2.2), std::pow(0.3, 2.2), 1e-8);
  EXPECT_NEAR(fastpow(5.0, 0.5), std::sqrt(5.0), 1e-7);
}
