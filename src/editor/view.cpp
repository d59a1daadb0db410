#include "editor/view.h"

#include <cmath>

#include "engine/inst.h"
#include "engine/levels.h"

namespace {

constexpr double SCALE_SPAN = 128.68588963806505;    // LEVEL_FLOOR .. 60 dB
constexpr double SCALE_SPAN_PIX = 128.68588963806502;  // the rows' divisor, one ulp less
constexpr double ZERO_DB = 0.5337484150845694;       // 0 dB on the normalised scale
constexpr double ZERO_OFS = 0.03374841508456938;     // ZERO_DB - 0.5

// The vertical zoom stretches about 0 dB and moves it towards the middle as it grows.
inline double zoomed(double n, double z) {
  return (n - ZERO_DB) * z + 0.5 + ZERO_OFS / ((z - 0.9375) * 16.0);
}

}  // namespace

double pitch_to_pix(const inst_t* inst, double u) {
  return (u - inst->view_u_lo) * (inst->area_w - 1) / (inst->view_u_hi - inst->view_u_lo);
}

double pix_to_pitch(const inst_t* inst, double x) {
  return (inst->view_u_hi - inst->view_u_lo) * x / (inst->area_w - 1) + inst->view_u_lo;
}

double db_to_pix(const inst_t* inst, int h, int clamp, double y) {
  const double n = (y - LEVEL_FLOOR) / SCALE_SPAN_PIX;
  double p = zoomed(n, inst->vscale) * (h - 1);
  if (clamp) {
    if (p >= h) p = h - 1;  // (int)p >= h, without converting an out-of-range double
    if (!(p > 0)) p = 0;  // mutate: skip relational (a row of 0 is kept as 0)
  }
  return (h - 1) - p;
}

double pix_to_db(const inst_t* inst, int h, double r) {
  const double z = inst->vscale;
  const double v = ((h - 1) - r) / (h - 1);
  const double n = (v - 0.5 - ZERO_OFS / ((z - 0.9375) * 16.0)) / z + ZERO_DB;
  return n * SCALE_SPAN + LEVEL_FLOOR;
}

double vol_to_pix(const inst_t* inst, int h, int mode, double a) {
  const double n = a >= 0.001 ? (20.0 * std::log10(a) - LEVEL_FLOOR) / SCALE_SPAN
                              : a * 1000.0 * NEPER_DB / SCALE_SPAN;
  double p = zoomed(n, inst->vscale) * (h - 1);
  if (mode == 2) {
    if (p >= h + 6) p = h + 5;    // (int)p > h + 5
    if (!(p >= -5)) p = -5;       // also catches a value that is not a number
  }
  return (h - 1) - p;
}
