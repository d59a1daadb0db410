// What a parameter change does: it only stores values and raises flags in the instance
// record; the audio path and the editor's frame act on them at their next run.
#include <cmath>
#include <cstdio>

#include "engine/inst.h"
#include "engine/levels.h"
#include "engine/params.h"
#include "plugin/Quillmar.h"
#include "toolkit/font.h"
#include "toolkit/util/mutex.h"

// The visible part of the log axis for a zoom and a position.
static void set_horizontal_view(inst_t* inst, double zoom, double position) {
  const double w = 1.0 / zoom;
  inst->view_width = w;
  inst->view_pos = position;
  const double d = (1.0 - w) * position * LN_1000;
  inst->view_f_lo = std::exp(d + LN_20);
  inst->view_f_hi = std::exp(w * LN_1000 + LN_20 + d);
  // The audio path's designs read the visible range for the curve's columns.
  mutex_to_1(inst->lock_curve);
  inst->view_u_lo = log_pos_inv(inst->view_f_lo, 20.0, 20000.0);
  inst->view_u_hi = log_pos_inv(inst->view_f_hi, 20.0, 20000.0);
  mutex_to_0(inst->lock_curve);
}

void Quillmar::OnParamChange(int paramIdx) {
  FW_MutexLock lock(GetMutex());
  if (paramIdx < 0 || paramIdx >= PARAM_COUNT) return;
  inst_t* inst = mInst;
  const double v = GetParam(paramIdx)->Value();
  if (paramIdx <= PARAM_GAIN_SCALE) {
    if (inst->grid_fade > 0.0) inst->grid_fade = 1e-7;  // 0: the mouse is in the curve area
    inst->bands_from_editor = 0;
    inst->bands_dirty = 1;
  }
  switch (paramIdx) {
    case PARAM_COLOUR: inst->colour_scheme = static_cast<int>(v); break;
    case PARAM_COLOUR_GAIN: inst->colour_gain = v; break;
    case PARAM_GAMMA: inst->gamma = v; break;
    case PARAM_INTERFACE_SIZE:
      inst->ui_size = static_cast<int>(v);
      if (inst->frame_count >= 21 && inst->info_text)
        std::snprintf(inst->info_text->string, TEXT_BYTES,
                      "The interface size will change after you restart Quillmar.");
      break;
    case PARAM_RESOLUTION:
    case PARAM_INPUT_BUFFER_SIZE: inst->bufs_dirty = 1; break;
    case PARAM_VERT_RANGE:
      inst->vscale = 64.34294481903252 / v;
      inst->vrange_dirty = 1;
      inst->grid_fade = 1e-7;
      break;
    case PARAM_HOR_ZOOM:
    case PARAM_HOR_POSITION:
      set_horizontal_view(inst, GetParam(PARAM_HOR_ZOOM)->Value(),
                          GetParam(PARAM_HOR_POSITION)->Value());
      inst->hview_dirty = 1;
      inst->grid_fade = 1e-7;
      break;
    default: break;
  }
  if (paramIdx >= PARAM_COLOUR && paramIdx <= PARAM_VERT_RANGE) {
    inst->prefs_save_count = 0;
    inst->prefs_dirty = 1;
  }
}
