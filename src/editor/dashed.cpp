// The measured response of the kernel in use: a dashed white line, drawn only where it
// departs from the drawn curve, with dashes that crawl one pixel per frame.
#include <cmath>

#include "editor/skin.h"
#include "editor/spectrum.h"
#include "editor/view.h"
#include "engine/inst.h"
#include "toolkit/geometry/intersection.h"
#include "toolkit/graphics/blending.h"
#include "toolkit/graphics/drawline.h"

namespace {

constexpr double DASH = 12;              // on, then off, by arc length
constexpr double PERIOD = 2 * DASH;
constexpr double MAX_ARC = 25000;
constexpr double BLUR = 0.85;

}  // namespace

void draw_dashed_fft(inst_t* inst) {
  inst->dash_phase += 1;
  if (inst->dash_phase > -PERIOD) inst->dash_phase -= 210 * PERIOD;

  const int W = inst->area_w, H = inst->area_h;
  const double* response = inst->response_col;
  const double* curve = inst->curve[2];
  if (!inst->fb || !response || !curve || W < 2) return;
  const lrgb_t white = skin().white;
  const double X = inst->area_xf, Y = inst->area_yf, phase = inst->dash_phase;

  double s = 0;
  double y_prev = vol_to_pix(inst, H, 2, response[0]);
  for (int x = 1; x < W && s < MAX_ARC; ++x) {
    const double y = vol_to_pix(inst, H, 2, response[x]);
    const double len = std::hypot(1.0, y - y_prev);
    const double x0 = x - 1, y0 = y_prev;
    y_prev = y;
    const double s_start = s;
    s += len;
    // Where the kernel follows the curve, no dash covers it.
    if (!(point_line_distance(x0, y0, x, y, x0, curve[x - 1]) > 1 ||
          point_line_distance(x0, y0, x, y, x, curve[x]) > 1))
      continue;
    const int n = len >= DASH ? (int)std::ceil(len / DASH) : 1;
    for (int j = 0; j < n; ++j) {
      const double f0 = double(j) / n, f1 = double(j + 1) / n;
      const double px0 = X + x0 + f0, py0 = Y + y0 + (y - y0) * f0;
      const double px1 = X + x0 + f1, py1 = Y + y0 + (y - y0) * f1;
      const double s0 = s_start + len * f0, s1 = s_start + len * f1;
      const double a = s0 - phase, e = s1 - phase;
      const bool e_on = std::fmod(e, PERIOD) < DASH;
      if ((int)(a / DASH) == (int)(e / DASH)) {
        if (e_on) draw_line_thin(inst->fb, inst->ui_w, inst->ui_h, white, BLEND_ADD, px0, py0, px1, py1, BLUR, 1.0);
      } else {
        const double u1 = std::fmod(a, PERIOD) < DASH ? 0 : (std::ceil(a / DASH) * DASH - a) / (s1 - s0);
        const double u2 = e_on ? 1 : (std::floor(e / DASH) * DASH - a) / (s1 - s0);
        draw_line_thin_short(inst->fb, inst->ui_w, inst->ui_h, white, BLEND_ADD, px0, py0, px1, py1, u1, u2, BLUR,
                             1.0);
      }
    }
  }
}
