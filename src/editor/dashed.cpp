// The measured response of the kernel in use: a dashed white line, drawn only where it
// departs from the drawn curve, with dashes that crawl one pixel per frame.
#include <algorithm>
#include <cmath>
#include <cstring>

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
// A gap this far under or over a pixel's length is that side of it whatever the rounding of
// the exact distance (about 1e-12 here).
constexpr double NEAR = 0.999, FAR = 1.001;

}  // namespace

namespace {

// Where the dashes go depends only on the response, the curve's rows and the vertical scale:
// per column the response's row, the length of the segment ending there and whether it is
// drawn at all. Kept with what it was worked out from, and worked out again when that changes.
enum { HEAD_W, HEAD_H, HEAD_SCALE, HEAD };

struct dash_geometry_t {
  double* y;
  double* len;
  double* on;
};

// Whether the response's segment from (x - 1, y0) to (x, y), len long, lies more than a pixel
// from the curve's points c0 and c1 at its ends; where the kernel follows the curve, no dash
// covers it. The distance from such a point to the segment's line is its vertical gap over
// len: far from a pixel either way that decides, and only gaps near it are measured exactly.
bool departs(int x, double y0, double y, double len, double c0, double c1) {
  const double e0 = std::fabs(c0 - y0), e1 = std::fabs(c1 - y);
  if (std::isfinite(e0) && std::isfinite(e1)) {
    if (e0 < NEAR * len && e1 < NEAR * len) return false;  // mutate: skip relational (at NEAR or FAR exactly, the exact distance is on the same side of a pixel)
    if (e0 > FAR * len || e1 > FAR * len) return true;  // mutate: skip relational (as above)
  }
  return point_line_distance(x - 1, y0, x, y, x - 1, c0) > 1 || point_line_distance(x - 1, y0, x, y, x, c1) > 1;
}

void dash_geometry(const inst_t* inst, int W, int H, const dash_geometry_t& g) {
  const double* response = inst->response_col;
  const double* curve = inst->curve[2];
  g.y[0] = vol_to_pix(inst, H, 2, response[0]);
  for (int x = 1; x < W; ++x) {
    const double y = g.y[x] = vol_to_pix(inst, H, 2, response[x]), y0 = g.y[x - 1];
    const double len = g.len[x] = std::hypot(1.0, y - y0);
    g.on[x] = departs(x, y0, y, len, curve[x - 1], curve[x]);
  }
}

// The kept geometry, worked out again when its sources changed; null without room for it.
const double* kept_geometry(inst_t* inst, int W, int H, dash_geometry_t* g) {
  double* c = inst->dash_cache;
  if (!c) return nullptr;
  const double head[HEAD] = {double(W), double(H), inst->vscale};
  double* response = c + HEAD;
  double* rows = response + CURVE_COLUMNS;
  *g = {rows + CURVE_COLUMNS, rows + 2 * CURVE_COLUMNS, rows + 3 * CURVE_COLUMNS};
  const size_t bytes = sizeof(double) * W;
  if (std::memcmp(c, head, sizeof head) || std::memcmp(response, inst->response_col, bytes) ||
      std::memcmp(rows, inst->curve[2], bytes)) {
    std::memcpy(c, head, sizeof head);
    std::memcpy(response, inst->response_col, bytes);
    std::memcpy(rows, inst->curve[2], bytes);
    dash_geometry(inst, W, H, *g);
  }
  return c;
}

}  // namespace

void draw_dashed_fft(inst_t* inst) {
  inst->dash_phase += 1;
  if (inst->dash_phase > -PERIOD) inst->dash_phase -= 210 * PERIOD;

  const int W = std::min<int>(inst->area_w, CURVE_COLUMNS), H = inst->area_h;
  if (!inst->fb || !inst->response_col || !inst->curve[2] || W < 2) return;
  double y_local[CURVE_COLUMNS], len_local[CURVE_COLUMNS], on_local[CURVE_COLUMNS];
  dash_geometry_t g;
  if (!kept_geometry(inst, W, H, &g)) {
    g = {y_local, len_local, on_local};
    dash_geometry(inst, W, H, g);
  }
  const lrgb_t white = skin().white;
  const double X = inst->area_xf, Y = inst->area_yf, phase = inst->dash_phase;

  double s = 0;
  for (int x = 1; x < W && s < MAX_ARC; ++x) {
    const double len = g.len[x], x0 = x - 1, y0 = g.y[x - 1], y = g.y[x];
    const double s_start = s;
    s += len;
    if (!g.on[x]) continue;
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
