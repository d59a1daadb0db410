#include "editor/curve.h"

#include <cmath>
#include <initializer_list>

#include "editor/skin.h"
#include "editor/view.h"
#include "engine/bands.h"
#include "engine/inst.h"
#include "toolkit/graphics/blending.h"
#include "toolkit/graphics/colour.h"
#include "toolkit/graphics/drawline.h"
#include "toolkit/graphics/drawprimitives.h"
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

}  // namespace

void draw_bezier(inst_t* inst) {
  if (!inst->fb) return;
  const frame_ctx_t c{inst->fb, inst->ui_w, inst->ui_h};
  const lrgb_t point_colour = make_colour_srgb(255, 224, 0, 255);
  lrgb_t right_colour = make_colour_srgb(32, 96, 224, 255);
  lrgb_t left_colour = make_colour_srgb(255, 64, 96, 255);
  // The slope handles fade with the grids; the points stay.
  const uint16_t fade = (uint16_t)(int)(gaussian(inst->grid_fade) * 32768 + 0.5);
  right_colour.a = left_colour.a = fade;

  inst->ring_phase += 0.0001;
  if (inst->ring_phase > 1) inst->ring_phase -= 1;

  const double X = inst->area_xf, Y = inst->area_yf;
  const int H = inst->area_h;
  // The point list and the band records are the curve's, shared with the designs: the handle
  // positions are made and stored under lock_curve, and drawn from this copy.
  eqband_t drawn[BAND_COUNT];
  int count = 0;
  if (inst->bands && inst->bands_sorted) {
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
  }
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
  if (!rows || inst->area_w <= 0) return;
  const lrgb_t white = skin().white;
  for (int x = 0; x < inst->area_w; ++x) {
    const int prev = x > 0 ? x - 1 : 0;
    line(c, white, BLEND_ADD, X + prev, Y + rows[prev], X + x, Y + rows[x]);
  }
}
