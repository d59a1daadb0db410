// Editing by mouse on the curve area: the operations of IDrawControl that take the pointer.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "editor/IDrawControl.h"
#include "editor/IKnobInvisibleControl.h"
#include "editor/controls.h"
#include "editor/curve.h"
#include "editor/knobs.h"
#include "editor/view.h"
#include "engine/bands.h"
#include "engine/inst.h"
#include "engine/levels.h"
#include "engine/params.h"
#include "framework/IGraphics.h"
#include "framework/IParam.h"
#include "framework/IPluginBase.h"
#include "toolkit/font.h"
#include "toolkit/util/mutex.h"

namespace {

constexpr double HIT_RADIUS_SQ = 49.0;  // a handle is within reach up to 7 pixels away
constexpr double GRID_FADE_START = 1e-7;
constexpr double ZOOM_STEP = 1.25;

struct hit_t {
  int band = -1, handle = -1;
};

bool in_area(const inst_t* inst, int x, int y) {
  return x >= inst->area_x && x < inst->area_x + inst->area_w && y >= inst->area_y &&
         y < inst->area_y + inst->area_h;
}

// The pointer's level on the curve scale and its frequency in Hz.
double level_at(const inst_t* inst, double y) { return pix_to_db(inst, inst->area_h, y - inst->area_y); }
double freq_at(const inst_t* inst, double x) {
  return log_pos((x - inst->area_x) / static_cast<double>(inst->area_w - 1), inst->view_f_lo, inst->view_f_hi);
}

// The nearest handle of an active band within reach, drawn where the last frame put it; ties
// go to the earlier band, and within a band to the point, then the right, then the left handle.
hit_t hit_test(const inst_t* inst, int x, int y, bool points_only) {
  hit_t hit;
  if (!in_area(inst, x, y)) return hit;
  double best = HIT_RADIUS_SQ;
  for (int b = 0; b < BAND_COUNT; ++b) {
    const eqband_t& B = inst->bands[b];
    if (!B.on) continue;
    const double pos[3][2] = {{B.point_px, B.point_py}, {B.right_px, B.right_py}, {B.left_px, B.left_py}};
    for (int h = 0; h < (points_only ? 1 : 3); ++h) {
      const double dx = pos[h][0] - x, dy = pos[h][1] - y, d2 = dx * dx + dy * dy;
      if (d2 < best) {
        best = d2;
        hit.band = b;
        hit.handle = h;
      }
    }
  }
  return hit;
}

IKnobInvisibleControl* knob(inst_t* inst, int slot) {
  return inst->graphics ? static_cast<IKnobInvisibleControl*>(inst->graphics->GetControl(slot)) : nullptr;
}

// Stores a value straight into a parameter (clamped) and shows it on its knob as the user's.
void set_view_param(inst_t* inst, int param, int slot, double value) {
  IParam* p = inst->plug->GetParam(param);
  p->Set(std::min(p->GetMax(), std::max(p->GetMin(), value)));
  if (IKnobInvisibleControl* k = knob(inst, slot)) k->SetValueFromUserInput(p->GetNormalized());
}

void start_grid_fade(inst_t* inst) {
  if (inst->grid_fade == 0) inst->grid_fade = GRID_FADE_START;
}

void set_info(inst_t* inst, const char* text) {
  if (inst->info_text) std::snprintf(inst->info_text->string, TEXT_BYTES, "%s", text);
}

double gain_scale(const inst_t* inst) { return inst->plug->GetParam(PARAM_GAIN_SCALE)->Value(); }

// The band records are shared with the audio path's designs: read and written under lock_curve.
struct curve_lock_t {
  mutex_t* m;
  explicit curve_lock_t(const inst_t* inst) : m(inst->lock_curve) { mutex_to_1(m); }
  ~curve_lock_t() { mutex_to_0(m); }
};

void band_edited(inst_t* inst) {
  inst->bands_from_editor = 1;
  inst->bands_dirty = 1;
}

// A new band at the pointer, selected, its knobs pointed at it.
void add_band(inst_t* inst, int b, int x, int y, double overall_gain) {
  eqband_t& B = inst->bands[b];
  const double f = freq_at(inst, x);
  B.on = 1;
  // At Gain Scale 0 the bands' gains do not count: a new band sits on the flat curve.
  B.gain = gain_scale(inst) == 0 ? realdb_to_db(overall_gain) : level_at(inst, y);
  B.freq = f;
  B.freq_knob = f;
  B.slope = 0;
  inst->sel_band = b;
  inst->ring_phase = 0;
  bind_band_knobs(inst, b);
  band_edited(inst);
}

}  // namespace

void IDrawControl::EndGestures() {
  for (int& p : mGestureParams) {
    if (p >= 0) mPlug->EndInformHostOfParamChange(p);  // mutate: skip relational constant (-1 or a band's gain, frequency or slope: 4 and up)
    p = -1;
  }
}

void IDrawControl::OnMouseDown(int x, int y, IMouseMod* pMod) {
  inst_t* inst = mInst;
  if (!pMod || !pMod->L) return;
  hit_t hit;
  {
    curve_lock_t lock(inst);
    hit = hit_test(inst, x, y, false);
    if (hit.band < 0) return;
    inst->drag_mode = 1;
    inst->drag_band = hit.band;
    inst->drag_handle = hit.handle;
    const eqband_t& B = inst->bands[hit.band];
    const double at[3][2] = {{B.point_px, B.point_py}, {B.right_px, B.right_py}, {B.left_px, B.left_py}};
    mGrab = {at[hit.handle][0], at[hit.handle][1], at[hit.handle][0] - x, at[hit.handle][1] - y, B.freq, B.gain};
    print_control_info(inst);
    if (inst->sel_band != hit.band) inst->ring_phase = 0;
    inst->sel_band = hit.band;
    bind_band_knobs(inst, hit.band);
  }
  // The drag is one gesture for the host on the parameters it moves, begun before the knobs,
  // pointed at the band, report its values. (The graphics context releases a press before it
  // delivers the next, so none is still open here.)
  mGestureParams[0] = hit.handle == HANDLE_POINT ? PARAM_BAND_GAIN + hit.band : PARAM_BAND_SLOPE + hit.band;
  mGestureParams[1] = hit.handle == HANDLE_POINT ? PARAM_BAND_FREQ + hit.band : -1;
  for (int p : mGestureParams)
    if (p >= 0) mPlug->BeginInformHostOfParamChange(p);
  for (int slot = CTRL_BAND_GAIN; slot <= CTRL_BAND_SLOPE; ++slot)
    if (IKnobInvisibleControl* k = knob(inst, slot)) k->SetValueFromUserInput(k->GetParam()->GetNormalized());
}

void IDrawControl::OnMouseUp(int, int, IMouseMod*) {
  mInst->drag_mode = 0;
  set_info(mInst, "");
  EndGestures();
}

void IDrawControl::OnMouseDrag(int x, int y, int dX, int, IMouseMod* pMod) {
  inst_t* inst = mInst;
  if (pMod && pMod->R && inst->view_width < 1) {
    const double p = inst->view_pos - dX * (inst->view_u_hi - inst->view_u_lo) /
                                          ((inst->area_w - 1) * (1 - inst->view_width));
    set_view_param(inst, PARAM_HOR_POSITION, CTRL_HOR_POSITION, p);
    mPlug->OnParamChange(PARAM_HOR_POSITION);
  }
  if (in_area(inst, x, y))
    inst->grid_fade = 0;
  else
    start_grid_fade(inst);
  if (!pMod || !pMod->L) return;
  // The grabbed handle follows the pointer's movement since the press, not the pointer itself.
  double hx = x + mGrab.dx, hy = y + mGrab.dy;
  if (inst->drag_mode && inst->drag_handle == HANDLE_POINT) {
    hx = std::min(std::max(hx, double(inst->area_x)), double(inst->area_x + inst->area_w - 1));
    hy = std::min(std::max(hy, double(inst->area_y)), double(inst->area_y + inst->area_h - 1));
  }
  const double scale = gain_scale(inst);
  // At Gain Scale 0 band values cannot be turned back into parameters.
  if (!inst->drag_mode || scale == 0) return;
  inst->grid_fade = 0;
  curve_lock_t lock(inst);
  eqband_t& B = inst->bands[inst->drag_band];
  double g = level_at(inst, hy), f = freq_at(inst, hx);
  if (inst->drag_handle == HANDLE_POINT) {
    // Unmoved along an axis, the point keeps its value there exactly (not the value of the
    // pixel it stands on).
    B.gain = hy == mGrab.y ? mGrab.gain : g;
    B.freq = hx == mGrab.x ? mGrab.freq : f;
  } else {
    // A slope handle never passes its point: the pointer counts no closer to the point,
    // horizontally, than the handle stands now.
    if (inst->drag_handle == HANDLE_RIGHT && hx < B.right_px) f = log_pos(B.right_x, 20, 20000);
    if (inst->drag_handle == HANDLE_LEFT && hx > B.left_px) f = log_pos(B.left_x, 20, 20000);
    const double s = (g - B.gain) / (log_pos_inv(f, 20, 20000) - B.pos) / OCTAVES_PER_AXIS;
    const double limit = 100 * std::fabs(scale);
    if (!std::isnan(s)) B.slope = std::min(limit, std::max(-limit, s));
  }
  print_control_info(inst);
  band_edited(inst);
}

void IDrawControl::OnMouseDblClick(int x, int y, IMouseMod* pMod) {
  inst_t* inst = mInst;
  if (!pMod || !pMod->L) return;
  const double overall = inst->plug->GetParam(PARAM_OVERALL_GAIN)->Value();
  {
    curve_lock_t lock(inst);
    const hit_t hit = hit_test(inst, x, y, true);
    if (hit.band >= 0) {
      eqband_t& B = inst->bands[hit.band];
      B.on = 0;
      B.freq_knob = -1;
      band_edited(inst);
      return;
    }
    int b = 0;
    while (b < BAND_COUNT && inst->bands[b].on) ++b;
    if (in_area(inst, x, y) && b < BAND_COUNT) {
      add_band(inst, b, x, y, overall);
      return;
    }
  }
  OnMouseDown(x, y, pMod);
}

void IDrawControl::OnMouseWheel(int x, int, IMouseMod*, int d) {
  inst_t* inst = mInst;
  const double k = std::pow(ZOOM_STEP, -d);
  const double u = log_pos_inv(freq_at(inst, x), 20, 20000);
  const double lo = u - k * (u - inst->view_u_lo), hi = u - k * (u - inst->view_u_hi);
  const double w = hi - lo;
  if (w > 0.1 && w < 1) set_view_param(inst, PARAM_HOR_POSITION, CTRL_HOR_POSITION, lo / (lo + 1 - hi));
  set_view_param(inst, PARAM_HOR_ZOOM, CTRL_HOR_ZOOM, 1 / w);
  mPlug->OnParamChange(PARAM_HOR_ZOOM);
  inst->hview_dirty = 1;
}

void IDrawControl::OnMouseOver(int x, int y, IMouseMod*) {
  inst_t* inst = mInst;
  hit_t hit;
  {
    curve_lock_t lock(inst);
    hit = hit_test(inst, x, y, false);
  }
  inst->hover = hit.band >= 0;
  if (inst->hover) {
    inst->hover_band = hit.band;
    inst->hover_handle = hit.handle;
  }
  if (!in_area(inst, x, y)) {
    set_info(inst, "");
    start_grid_fade(inst);
    return;
  }
  if (!inst->info_text) return;
  char* s = inst->info_text->string;
  char* tmp = inst->info_text->scratch;
  const double f = freq_at(inst, x), r = db_to_realdb(level_at(inst, y));
  std::snprintf(tmp, TEXT_BYTES, f >= 100 ? "freq: %4.0f Hz" : "freq: %4.1f Hz", f);
  if (r <= -160)
    std::snprintf(s, TEXT_BYTES, "%s - gain: -INF dB", tmp);
  else
    std::snprintf(s, TEXT_BYTES, std::fabs(r) >= 12.5 ? "%s - gain: %+2.1f dB" : "%s - gain: %+2.2f dB", tmp, r);
  if (inst->grid_fade > 0) inst->grid_fade = 0;
}

void IDrawControl::OnMouseOut() {
  set_info(mInst, "");
  start_grid_fade(mInst);
}
