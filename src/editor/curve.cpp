#include "editor/curve.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <initializer_list>

#include "editor/skin.h"
#include "editor/view.h"
#include "engine/bands.h"
#include "engine/inst.h"
#include "toolkit/graphics/blending.h"
#include "toolkit/graphics/blit.h"
#include "toolkit/graphics/colour.h"
#include "toolkit/graphics/drawline.h"
#include "toolkit/graphics/drawprimitives.h"
#include "toolkit/graphics/line_weights.h"
#include "toolkit/math/functions.h"
#include "toolkit/util/mutex.h"

namespace {

constexpr double BLUR = 0.85;
constexpr double HANDLE_RING = 5.0, HANDLE_DISC = 5.8;

struct frame_ctx_t {
  lrgb_t* fb;
  int w, h;
};

void line(const frame_ctx_t& c, lrgb_t colour, int mode, double x1, double y1, double x2, double y2) {
  draw_line_thin(c.fb, c.w, c.h, colour, mode, x1, y1, x2, y2, BLUR, 1.0);
}

void circle(const frame_ctx_t& c, int kind, lrgb_t colour, int mode, double x, double y, double r) {
  draw_circle(kind, c.fb, c.w, c.h, colour, mode, x, y, r, BLUR, 1.0);
}

// A slope handle and the line from its point: a ring, or a disc while hovered.
void draw_handle(const frame_ctx_t& c, lrgb_t colour, double px, double py, double hx, double hy, bool hovered) {
  line(c, colour, BLEND_MIX_ALPHA, px, py, hx, hy);
  if (hovered)
    circle(c, CIRCLE_DISC, colour, BLEND_MIX, hx, hy, HANDLE_DISC);
  else
    circle(c, CIRCLE_RING, colour, BLEND_MIX_ALPHA, hx, hy, HANDLE_RING);
}

// The response curve: one white segment per column from the previous column's row.
template <class F>
void curve_segments(double X, double Y, const double* rows, int W, F&& segment) {
  for (int x = 0; x < W; ++x) {
    const int prev = x > 0 ? x - 1 : 0;
    segment(X + prev, Y + rows[prev], X + x, Y + rows[x]);
  }
}

enum { KEY_X, KEY_Y, KEY_W, KEY_H, KEY_COLUMNS, KEY_ROWS };

// The curve's segments are added in white, and a run of saturating additions of amounts that
// are never negative adds, whatever lies beneath, their sum clamped to full scale. So the
// light the whole curve adds is gathered once for each shape and place of the curve, and each
// frame adds it in one pass (the same pixels as drawing every segment). False when the
// instance has no room for it.
bool refresh_curve_line(inst_t* inst) {
  double* key = inst->curve_line_key;
  lrgb_t* image = inst->curve_line_image;
  if (!key || !image || !inst->curve_line_runs || !inst->curve_line_packed || !inst->curve_line_span) return false;
  const int w = inst->ui_w, h = inst->ui_h, W = std::min<int>(inst->area_w, CURVE_COLUMNS);
  const double* rows = inst->curve[2];
  const double head[KEY_ROWS] = {inst->area_xf, inst->area_yf, double(w), double(h), double(W)};
  if (std::memcmp(key, head, sizeof head) == 0 && std::memcmp(key + KEY_ROWS, rows, sizeof(double) * W) == 0)
    return true;
  std::memcpy(key, head, sizeof head);
  std::memcpy(key + KEY_ROWS, rows, sizeof(double) * W);
  const lrgb_t white = skin().white;
  // Each row's touched columns, so that packing reads only those.
  int32_t* lo = inst->curve_line_span;
  int32_t* hi = lo + h;
  std::fill(lo, lo + h, w);
  std::fill(hi, hi + h, 0);  // mutate: skip statement (a stale end only widens the scan over pixels emptied below)
  auto gather = [&](long px, long py, int p) {
    lo[py] = std::min<int32_t>(lo[py], px);
    hi[py] = std::max<int32_t>(hi[py], px + 1);
    lrgb_t& a = image[py * w + px];
    const int64_t q = p > 0 ? p : 0;
    auto add = [q](uint16_t sum, uint16_t colour) {
      return (uint16_t)std::min<int64_t>(32768, sum + ((colour * q) >> 15));
    };
    a = lrgb_t{add(a.r, white.r), add(a.g, white.g), add(a.b, white.b), 1};  // alpha: visited
  };
  curve_segments(inst->area_xf, inst->area_yf, rows, W, [&](double x1, double y1, double x2, double y2) {
    line_thin_weights(w, h, x1, y1, x2, y2, BLUR, 1.0, gather);
  });
  pack_runs(image, w, h, inst->curve_line_runs, inst->curve_line_packed, lo, hi);
  // The gathering image is left empty again, touched only where a curve has passed.
  const int32_t* run = inst->curve_line_runs;
  for (int y = 0; y < h; ++y)
    for (int32_t n = *run++; n > 0; --n, run += 2)
      std::memset(image + (size_t)y * w + run[0], 0, sizeof(lrgb_t) * (run[1] - run[0]));
  return true;
}

}  // namespace

void draw_bezier(inst_t* inst) {
  if (!inst->fb) return;
  const frame_ctx_t c{inst->fb, inst->ui_w, inst->ui_h};
  // The points mix without alpha; the slope handles take the grids' fade, the rings their own.
  const lrgb_t point_colour = srgb_colour(255, 224, 0);
  lrgb_t right_colour = srgb_colour(32, 96, 224), left_colour = srgb_colour(255, 64, 96);
  // The slope handles fade with the grids; the points stay.
  const uint16_t fade = (uint16_t)(int)(gaussian(inst->grid_fade) * 32768 + 0.5);
  right_colour.a = left_colour.a = fade;

  inst->ring_phase += 0.0001;
  if (inst->ring_phase > 1) inst->ring_phase -= 1;

  const double X = inst->area_xf, Y = inst->area_yf;
  const int H = inst->area_h;
  // The point list and the band records are the curve's, shared with the designs: the handle
  // positions are made and stored under lock_curve, and drawn from this copy. Every instance
  // has both (made with it).
  eqband_t drawn[BAND_COUNT];
  int count = 0;
  mutex_to_1(inst->lock_curve);
  for (int k = 1; k <= inst->band_count && k <= BAND_COUNT; ++k) {
    const eqband_t& P = inst->bands_sorted[k];
    if (P.index < 0 || P.index >= BAND_COUNT) continue;
    eqband_t& B = inst->bands[P.index];
    B.point_px = X + pitch_to_pix(inst, P.pos);
    B.point_py = Y + db_to_pix(inst, H, 0, P.gain);
    B.right_px = X + pitch_to_pix(inst, P.right_x);
    B.right_py = Y + db_to_pix(inst, H, 0, P.right_y);
    B.left_px = X + pitch_to_pix(inst, P.left_x);
    B.left_py = Y + db_to_pix(inst, H, 0, P.left_y);
    B.right_x = P.right_x;
    B.left_x = P.left_x;
    drawn[count++] = B;
  }
  mutex_to_0(inst->lock_curve);
  for (int k = 0; k < count; ++k) {
    const eqband_t& B = drawn[k];
    const bool ours = inst->hover != 0 && inst->hover_band == B.index;
    draw_handle(c, left_colour, B.point_px, B.point_py, B.left_px, B.left_py,
                ours && inst->hover_handle == HANDLE_LEFT);
    draw_handle(c, right_colour, B.point_px, B.point_py, B.right_px, B.right_py,
                ours && inst->hover_handle == HANDLE_RIGHT);

    if (B.index == inst->sel_band) {
      // Four rings a quarter cycle apart, each growing while it fades.
      for (double o : {0.0, 0.25, 0.5, 0.75}) {
        const double q = 1 - std::fmod(inst->ring_phase + o, 1.0);
        lrgb_t ring = point_colour;
        ring.a = (uint16_t)(int)(q * q * q * q * 32768 + 0.5);
        circle(c, CIRCLE_RING, ring, BLEND_MIX_ALPHA, B.point_px, B.point_py, (1 - q) * 20);
      }
    }
    if (ours && inst->hover_handle == HANDLE_POINT)
      circle(c, CIRCLE_RING, point_colour, BLEND_MIX, B.point_px, B.point_py, HANDLE_RING);
    else
      circle(c, CIRCLE_DISC, point_colour, BLEND_MIX, B.point_px, B.point_py, HANDLE_DISC);
  }

  const double* rows = inst->curve[2];
  if (!rows) return;
  if (refresh_curve_line(inst)) {
    add_runs(inst->fb, inst->ui_w, inst->ui_h, inst->curve_line_runs, inst->curve_line_packed);
    return;
  }
  curve_segments(X, Y, rows, inst->area_w,
                 [&](double x1, double y1, double x2, double y2) { line(c, skin().white, BLEND_ADD, x1, y1, x2, y2); });
}
