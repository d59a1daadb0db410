#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "engine/bands.h"
#include "engine/levels.h"

namespace {

constexpr double kFloor = -68.68588963806504;

TEST(LevelScale, DecibelsAboveMinus60AndLinearBelow) {
  for (double r : {-60.0, -12.5, 0.0, 6.0, 60.0}) {
    EXPECT_EQ(realdb_to_db(r), r);
    EXPECT_EQ(db_to_realdb(r), r);
  }
  EXPECT_EQ(realdb_to_db(-200.0), kFloor);
  EXPECT_EQ(db_to_realdb(kFloor), -std::numeric_limits<double>::infinity());
  // Continuous with a continuous slope at -60 dB.
  EXPECT_NEAR(realdb_to_db(-60.000001), -60.000001, 1e-9);
  EXPECT_NEAR(db_to_realdb(realdb_to_db(-100.0)), -100.0, 1e-9);
  // Amplitudes: silence below the floor, linear to 0.001 at -60 dB, limited at 60 dB.
  EXPECT_EQ(level_to_amp(kFloor - 1.0), 0.0);
  EXPECT_NEAR(level_to_amp(kFloor), 0.0, 1e-15);
  EXPECT_NEAR(level_to_amp(-60.0), 0.001, 1e-15);
  EXPECT_NEAR(level_to_amp(-64.0), (-4.0 + 8.685889638065037) * 0.001 / 8.685889638065037, 1e-15);
  EXPECT_NEAR(level_to_amp(20.0), 10.0, 1e-12);
  EXPECT_EQ(level_to_amp(75.0), 1000.0);
  EXPECT_NEAR(realdb_to_vol(-6.0), 0.501187233627, 1e-12);
  // A level that is not a number is silence, never the bound of a clamp.
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(realdb_to_db(nan), kFloor);
  EXPECT_EQ(level_clamped(nan), kFloor);
  EXPECT_EQ(level_clamped(75.0), 60.0);
}

struct BandSet {
  eqband_t bands[BAND_COUNT] = {};
  eqband_t sorted[SORTED_COUNT] = {};
  int count = 0;
  BandSet() {
    const double f[4] = {80, 370, 1700, 8000};
    for (int b = 0; b < 4; ++b) {
      bands[b].on = 1;
      bands[b].freq = f[b];
      bands[b].index = b;
    }
  }
  void build() {
    sort_eq(bands, sorted, &count, 20, 20000);
    control_points(sorted, count);
  }
  // The curve at a frequency, found through its segment.
  double at(double f) const { return curve_at(sorted, count, axis_pos(f)); }
};

TEST(BandCurve, OneBandWithSlopeRunsOutFlatAlongItsTangent) {
  BandSet s;
  s.bands[1].on = s.bands[2].on = s.bands[3].on = 0;
  s.bands[0].slope = 6.0;
  s.build();
  ASSERT_EQ(s.count, 1);
  EXPECT_NEAR(s.sorted[0].gain, -4.0, 1e-9);  // two octaves below, a third of 12 dB
  EXPECT_NEAR(s.at(20.0), -4.0, 1e-9);
  const double octaves_up = std::log2(20000.0 / 80.0);
  EXPECT_NEAR(s.sorted[2].gain, 6.0 * octaves_up / 3.0, 1e-9);
  EXPECT_NEAR(s.at(20000.0), 15.93156856932417, 1e-9);
  EXPECT_NEAR(s.at(80.0), 0.0, 1e-12);
  // The tangent at the band is its slope.
  const double h = 1e-6;
  const double d = (s.at(80.0 * std::pow(2.0, h)) - s.at(80.0 * std::pow(2.0, -h))) / (2 * h);
  EXPECT_NEAR(d, 6.0, 1e-4);
}

// Each band's own control points set the curve's tangent there, on both sides.
TEST(BandCurve, EveryBandsTangentIsItsSlope) {
  BandSet s;
  const double slopes[4] = {6, -3, 4.5, -9};
  for (int b = 0; b < 4; ++b) s.bands[b].slope = slopes[b], s.bands[b].gain = 2.0 * b;
  s.build();
  const double h = 1e-6;
  for (int b = 0; b < 4; ++b) {
    const double f = s.bands[b].freq;
    EXPECT_NEAR((s.at(f * std::pow(2.0, h)) - s.at(f * std::pow(2.0, -h))) / (2 * h), slopes[b], 1e-4) << b;
  }
}

TEST(BandCurve, PassesThroughEveryActiveBandInFrequencyOrder) {
  BandSet s;
  const double gains[4] = {3, -6, 9, -12};
  for (int b = 0; b < 4; ++b) s.bands[b].gain = gains[b];
  std::swap(s.bands[0].freq, s.bands[2].freq);  // bands out of frequency order
  s.build();
  ASSERT_EQ(s.count, 4);
  for (int k = 1; k <= 4; ++k) EXPECT_LT(s.sorted[k - 1].freq, s.sorted[k].freq);
  for (int b = 0; b < 4; ++b) EXPECT_NEAR(s.at(s.bands[b].freq), gains[b], 1e-9);
}

TEST(BandCurve, BandsBeyondTheAxisMoveTheEndPoints) {
  BandSet s;
  s.bands[0].freq = 16.0;
  s.bands[3].freq = 20000.0;
  s.build();
  EXPECT_EQ(s.sorted[0].freq, 8.0);
  EXPECT_LT(s.sorted[0].pos, 0.0);
  EXPECT_EQ(s.sorted[5].freq, 21000.0);
  s.bands[0].freq = 20.0;
  s.build();
  EXPECT_EQ(s.sorted[0].freq, 10.0);
}

TEST(BandCurve, EqualFrequenciesUseTheLowerBandAsIfTheOtherWereOff) {
  BandSet a, b;
  a.bands[2].freq = 370.0;  // C on top of B
  a.bands[1].gain = 5.0;
  a.bands[2].gain = -20.0;
  a.build();
  EXPECT_EQ(a.count, 4);
  EXPECT_EQ(a.sorted[2].index, 1);
  EXPECT_EQ(a.sorted[4].index, 3);  // the last band repeated in the other's place
  b.bands[2].on = 0;
  b.bands[1].gain = 5.0;
  b.build();
  for (double f = 20; f < 20000; f *= 1.07) EXPECT_NEAR(a.at(f), b.at(f), 1e-9) << f;
}

TEST(BandCurve, NoActiveBandKeepsTheLastLowestLevelFlat) {
  BandSet s;
  s.bands[0].gain = -90.0;  // below the floor: raised in the band record
  s.build();
  EXPECT_EQ(s.bands[0].gain, kFloor);
  for (auto& b : s.bands) b.on = 0;
  s.build();
  EXPECT_EQ(s.count, 0);
  EXPECT_EQ(s.sorted[0].freq, 20.0);
  EXPECT_EQ(s.sorted[1].freq, 20000.0);
  for (double f : {20.0, 1000.0, 20000.0}) EXPECT_NEAR(s.at(f), kFloor, 1e-12);

  BandSet fresh;  // nothing designed before: flat at 0 dB
  for (auto& b : fresh.bands) b.on = 0;
  fresh.build();
  EXPECT_NEAR(fresh.at(1000.0), 0.0, 1e-12);
}

TEST(BandCurve, ColumnsSampleTheViewAndBordersTakeTheLaterSegment) {
  BandSet s;
  s.bands[1].gain = 6.0;
  s.build();
  std::vector<double> cols(974, -1e9);
  curve_columns(s.sorted, s.count, cols.data(), 974, 0.0, 1.0);
  for (int j = 0; j < 974; ++j) {
    const double x = j / 973.0;
    EXPECT_NEAR(cols[j], s.at(log_pos(x, 20, 20000)), 1e-9) << j;
  }
  // A zoomed view covers only its part of the axis.
  std::vector<double> zoom(100, -1e9);
  curve_columns(s.sorted, s.count, zoom.data(), 100, 0.4, 0.5);
  EXPECT_NEAR(zoom[0], s.at(log_pos(0.4, 20, 20000)), 1e-9);
  EXPECT_NEAR(zoom[99], s.at(log_pos(0.5, 20, 20000)), 1e-9);
}

TEST(BandMapping, ParametersToBandsAndBack) {
  band_params_t p = {};
  const double f[4] = {80, 370, 1700, 8000};
  for (int b = 0; b < 4; ++b) {
    p.on[b] = b == 2 ? 0.4 : 1.0;
    p.gain[b] = -3.0 * b;
    p.freq[b] = f[b];
    p.slope[b] = b;
  }
  p.transpose = 12;
  p.overall_gain = 2;
  p.gain_scale = 0.5;
  eqband_t bands[4] = {};
  bands_from_params(bands, &p, 1);
  EXPECT_EQ(bands[2].on, 0);
  EXPECT_EQ(bands[2].freq_knob, -1.0);
  EXPECT_NEAR(bands[1].freq, 740.0, 1e-9);
  EXPECT_EQ(bands[1].freq_knob, bands[1].freq);
  EXPECT_NEAR(bands[3].gain, -9.0 * 0.5 + 2.0, 1e-12);
  EXPECT_NEAR(bands[3].slope, 1.5, 1e-12);
  EXPECT_EQ(bands[3].index, 3);

  band_params_t back = p;
  params_from_bands(bands, &back);
  for (int b = 0; b < 4; ++b) {
    EXPECT_NEAR(back.gain[b], p.gain[b], 1e-9);
    EXPECT_NEAR(back.freq[b], p.freq[b], 1e-9);
    EXPECT_NEAR(back.slope[b], p.slope[b], 1e-12);
  }
  // A band dragged above 20 kHz (before Transpose) comes back to exactly 20 kHz.
  bands[3].freq = 50000.0;
  params_from_bands(bands, &back);
  EXPECT_EQ(bands[3].freq, 40000.0);
  EXPECT_EQ(back.freq[3], 20000.0);
  // With a Gain Scale of 0 no gain or slope can be expressed: those parameters stay.
  back.gain_scale = 0.0;
  back.gain[0] = 1.25;
  back.slope[0] = -7.0;
  bands[0].gain = 30.0;
  params_from_bands(bands, &back);
  EXPECT_EQ(back.gain[0], 1.25);
  EXPECT_EQ(back.slope[0], -7.0);
}

}  // namespace
