#include "editor/view.h"

#include <cmath>
#include <limits>

#include "editor_env.h"
#include "engine/levels.h"

namespace {

TEST(ViewMapping, FullRangeRowsOfTheCurveScale) {
  inst_t inst;
  set_view(&inst, 814, 502);
  EXPECT_NEAR(db_to_pix(&inst, 502, 0, 60), 0, 1e-9);
  EXPECT_NEAR(db_to_pix(&inst, 502, 0, LEVEL_FLOOR), 501, 1e-9);
  EXPECT_NEAR(db_to_pix(&inst, 502, 0, 0), 501 * (1 - 0.5337484150845694), 1e-9);
  EXPECT_NEAR(db_to_pix(&inst, 502, 0, 0), 233.6, 0.01);
  EXPECT_NEAR(pix_to_db(&inst, 502, 0), 60, 1e-9);
  EXPECT_NEAR(pix_to_db(&inst, 502, 501), LEVEL_FLOOR, 1e-9);
}

TEST(ViewMapping, VerticalZoomKeepsZeroNearTheMiddle) {
  inst_t inst;
  set_view(&inst, 814, 502, 12);
  EXPECT_NEAR(pix_to_db(&inst, 502, 501), -12.01, 0.005);
  EXPECT_NEAR(pix_to_db(&inst, 502, 0), 11.99, 0.005);
  EXPECT_NEAR(db_to_pix(&inst, 502, 0, 0), 250.26, 0.005);
  // Rows and levels are each other's inverse at every zoom.
  for (double range : {3.0, 6.0, 24.0, FULL_RANGE}) {
    set_view(&inst, 974, 602, range);
    for (double y : {-68.0, -40.0, -3.5, 0.0, 7.25, 59.0})
      EXPECT_NEAR(pix_to_db(&inst, 602, db_to_pix(&inst, 602, 0, y)), y, 1e-9) << range;
  }
}

TEST(ViewMapping, ClampedRowsStayInside) {
  inst_t inst;
  set_view(&inst, 814, 502, 3);
  EXPECT_LT(db_to_pix(&inst, 502, 0, 60), -1000);  // far above, unclamped
  EXPECT_EQ(db_to_pix(&inst, 502, 1, 60), 0);
  EXPECT_EQ(db_to_pix(&inst, 502, 1, LEVEL_FLOOR), 501);
  // The level whose unclamped row is exactly -1 (row h counted from the bottom) is the top row.
  set_view(&inst, 814, 502);
  double lo = 0, hi = 200;
  for (int i = 0; i < 200; ++i) (db_to_pix(&inst, 502, 0, (lo + hi) / 2) > -1 ? lo : hi) = (lo + hi) / 2;
  ASSERT_EQ(db_to_pix(&inst, 502, 0, hi), -1);
  EXPECT_EQ(db_to_pix(&inst, 502, 1, hi), 0);
  // Half a row above the bottom stays; a level that is not a number is the bottom row.
  EXPECT_NEAR(db_to_pix(&inst, 502, 1, pix_to_db(&inst, 502, 500.5)), 500.5, 1e-9);
  EXPECT_EQ(db_to_pix(&inst, 502, 1, std::numeric_limits<double>::quiet_NaN()), 501);
}

TEST(ViewMapping, HorizontalZoomAndPosition) {
  inst_t inst;
  for (double pos : {0.0, 0.3, 1.0}) {
    set_view(&inst, 974, 602, FULL_RANGE, 1, pos);
    EXPECT_NEAR(pix_to_pitch(&inst, 0), 0, 1e-12);
    EXPECT_NEAR(pix_to_pitch(&inst, 973), 1, 1e-12);
  }
  set_view(&inst, 974, 602, FULL_RANGE, 10, 0.5);
  EXPECT_NEAR(inst.view_f_lo, 447.7, 0.05);
  EXPECT_NEAR(inst.view_f_hi, 893.4, 0.05);
  EXPECT_NEAR(pix_to_pitch(&inst, 0), 0.45, 1e-12);
  EXPECT_NEAR(pix_to_pitch(&inst, 973), 0.55, 1e-12);
  EXPECT_NEAR(pitch_to_pix(&inst, axis_pos(20000)), 973 * 0.45 / 0.1 + 973, 1e-6);  // off to the right
  for (double x : {-50.0, 0.0, 123.5, 973.0}) EXPECT_NEAR(pitch_to_pix(&inst, pix_to_pitch(&inst, x)), x, 1e-9);
}

TEST(ViewMapping, AmplitudeRowsStayNearTheArea) {
  inst_t inst;
  const int h = 502;
  set_view(&inst, 814, h);
  EXPECT_NEAR(vol_to_pix(&inst, h, 2, 1.0), db_to_pix(&inst, h, 0, 0), 1e-9);
  EXPECT_NEAR(vol_to_pix(&inst, h, 2, 0.01), db_to_pix(&inst, h, 0, -40), 1e-6);
  // The linear part of the scale joins the decibel part at 0.001 (-60 dB).
  EXPECT_NEAR(vol_to_pix(&inst, h, 2, 0.000999999), vol_to_pix(&inst, h, 2, 0.001), 1e-3);
  EXPECT_NEAR(vol_to_pix(&inst, h, 2, 0.0), h - 1, 1e-9);  // silence, the bottom row
  EXPECT_EQ(vol_to_pix(&inst, h, 2, 1e30), -6);            // huge: just above the area
  EXPECT_EQ(vol_to_pix(&inst, h, 2, 891.0), vol_to_pix(&inst, h, 0, 891.0));  // 59 dB: inside, kept
  set_view(&inst, 814, h, 3);
  EXPECT_EQ(vol_to_pix(&inst, h, 2, 0.0), h + 4);  // silence far below: just below the area
  EXPECT_EQ(vol_to_pix(&inst, h, 2, std::numeric_limits<double>::quiet_NaN()), h + 4);
  // A row between h + 3 and h + 4 is kept as it is: found by halving amplitudes.
  double lo = 0, hi = 1;
  for (int k = 0; k < 200; ++k) {
    const double mid = (lo + hi) / 2;
    (vol_to_pix(&inst, h, 0, mid) > h + 3.5 ? lo : hi) = mid;
  }
  EXPECT_NEAR(vol_to_pix(&inst, h, 2, hi), h + 3.5, 1e-6);
  EXPECT_LT(vol_to_pix(&inst, h, 0, 1e30), -1000);  // other modes do not limit
}

// Above the area the response's rows stay as they are up to 7 rows over the top (a row
// above -7 comes to -6): found by halving amplitudes, rows -6.5, -7 (where the clamp starts), -7.5.
TEST(ViewMapping, AmplitudeRowsAboveTheAreaClampFromRowMinus7) {
  inst_t inst;
  const int h = 502;
  set_view(&inst, 814, h);
  const struct {
    double row, want;
  } cases[] = {{-6.5, -6.5}, {-7, -6}, {-7.5, -6}};
  for (const auto& c : cases) {
    double lo = 1, hi = 1e6;  // unclamped rows fall from lo to hi
    for (int k = 0; k < 200; ++k) {
      const double mid = (lo + hi) / 2;
      (vol_to_pix(&inst, h, 0, mid) > c.row ? lo : hi) = mid;
    }
    ASSERT_NEAR(vol_to_pix(&inst, h, 0, hi), c.row, 1e-9) << c.row;
    EXPECT_NEAR(vol_to_pix(&inst, h, 2, hi), c.want, 1e-9) << c.row;
  }
}

}  // namespace
