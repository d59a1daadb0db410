#include "editor/frame.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "editor/curve.h"
#include "editor/grids.h"
#include "editor/knobs.h"
#include "editor/layout.h"
#include "editor/skin.h"
#include "editor/spectrum.h"
#include "editor/view.h"
#include "engine/design.h"
#include "engine/inst.h"
#include "framework/IGraphics.h"
#include "toolkit/font.h"
#include "toolkit/graphics/blit.h"
#include "toolkit/util/mutex.h"

namespace {

constexpr double GRID_FADE_STEP = 0.004, GRID_FADE_END = 6, GRIDS_GONE = 2;

// The curve's rows and the grid image follow the view and the vertical range whether or not
// the spectrum is coloured.
void refresh_curve(inst_t* inst) {
  // Nothing changed: the early return saves work only, the rows and grid would come out the same.
  if (!(inst->vrange_dirty || inst->hview_dirty || inst->curve_new || inst->grids_stale)) return;
  const int W = inst->area_w, H = inst->area_h;
  if (inst->hview_dirty && inst->design && inst->kernel_size_ref && inst->fft_size_ref)
    design_filters(inst, inst->design, inst->bands, inst->bands_sorted, *inst->kernel_size_ref,
                   *inst->fft_size_ref, inst->curve[0], &inst->curve_new, inst->lock_curve, W,
                   &inst->band_count, 1, inst->samplerate);
  if (inst->curve_new || inst->hview_dirty) {
    mutex_to_1(inst->lock_curve);
    inst->curve_new = 0;  // cleared with the copy, so a curve published meanwhile is not lost
    std::memcpy(inst->curve[1], inst->curve[0], sizeof(double) * W);
    mutex_to_0(inst->lock_curve);
  }
  for (int x = 0; x < W; ++x) {
    inst->curve[2][x] = db_to_pix(inst, H, 0, inst->curve[1][x]);
    inst->curve_row[x] = (int)(inst->curve[2][x] + 0.5);
  }
  if (inst->vrange_dirty || inst->hview_dirty || inst->grids_stale) make_grids_lut(inst);
  inst->grids_stale = 0;
  inst->vrange_dirty = 0;
  inst->hview_dirty = 0;
}

void delay_message(inst_t* inst) {
  if (inst->bufs_state != 2 || !inst->info_text || !inst->kernel_size_ref || !inst->fft_size_ref) return;
  const double fs = inst->samplerate;
  const int K = *inst->kernel_size_ref, N = *inst->fft_size_ref;
  std::snprintf(inst->info_text->string, TEXT_BYTES, "Delay: %.0f ms (kernel: %0.f ms, buffer: %0.f ms)",
                inst->latency * 1000.0 / fs, (K / 2) * 1000.0 / fs, (N + 1 - K) * 1000.0 / fs);
  inst->bufs_state = 0;
}

// The panel's runs follow bg_final. False when the instance has no room for them: the frame
// then goes over every pixel.
bool refresh_layout_runs(inst_t* inst) {
  if (!inst->layout_runs || !inst->bg_final) return false;
  if (inst->layout_stale) {
    layout_runs_build(inst->layout_runs, inst->bg_final, inst->ui_w, inst->ui_h);
    inst->layout_stale = 0;
  }
  return true;
}

// Clears the pixels the panel does not hide, except the painted rectangle x0..x1, y0..y1:
// whatever was left under the opaque panel is replaced when the panel is laid over.
void clear_under_panel(inst_t* inst, int x0, int x1, int y0, int y1) {
  const int w = inst->ui_w;
  const int32_t* run = inst->layout_runs;
  for (int y = 0; y < inst->ui_h; ++y) {
    lrgb_t* row = inst->fb + (size_t)y * w;
    const bool painted = y >= y0 && y < y1;
    auto clear = [&](int a, int b) {
      if (painted) {
        if (a < x0) std::memset(row + a, 0, sizeof(lrgb_t) * (std::min(b, x0) - a));
        a = std::max(a, x1);
      }
      if (a < b) std::memset(row + a, 0, sizeof(lrgb_t) * (b - a));
    };
    int x = 0;
    // Clearing under an opaque run as well only costs time: the panel replaces those pixels.
    for (int32_t n = *run++; n > 0; --n, run += 3) {
      if (run[2] != LAYOUT_OPAQUE) continue;
      clear(x, run[0]);  // mutate: skip constant (as said: up to the run's end clears under it too)
      x = run[1];  // mutate: skip constant statement (as said: from an earlier column clears under it too)
    }
    clear(x, w);
  }
}

// The painting keeps the alpha of the area's top and bottom rows and copies those rows over
// the area: they are given the alpha 0 of a cleared frame first.
void clear_area_alpha(inst_t* inst) {
  const int W = std::min<int>(inst->area_w, CURVE_COLUMNS);
  if (W <= 0 || inst->area_h <= 0) return;  // mutate: skip relational constant logical (the smallest area is hundreds of pixels wide and high)
  lrgb_t* top = inst->fb + (size_t)inst->area_y * inst->ui_w + inst->area_x;
  lrgb_t* bottom = top + (size_t)(inst->area_h - 1) * inst->ui_w;
  for (int x = 0; x < W; ++x) top[x].a = bottom[x].a = 0;
}

}  // namespace

void draw_frame(inst_t* inst) {
  if (!inst->fb || inst->ui_w <= 0 || inst->ui_h <= 0) return;  // mutate: skip constant (every window size is hundreds of pixels each way)
  prepare_panel(inst);  // outside lock_buffers: the first frame draws the whole panel
  mutex_to_1(inst->lock_buffers);
  const double fade = inst->grid_fade;
  if (fade > 0 && fade < GRID_FADE_END) inst->grid_fade = fade + GRID_FADE_STEP;
  inst->samples_since_frame = 0;

  // The measured response is kept current even with the colours off: the dashed line
  // shows it.
  if (inst->kernel_view_new || inst->hview_dirty) comp_fft_mag_lut(inst);
  const bool coloured = inst->colour_gain != 0;
  if (coloured && (inst->capture_new || inst->hview_dirty)) comp_spectral_table(inst);
  // May rebuild the grid (in fb's memory, inst.h) and the labels of bg_final; every pixel of
  // fb is drawn anew below: painted, cleared or covered by the panel.
  refresh_curve(inst);
  const bool runs = refresh_layout_runs(inst);
  if (!runs) std::memset(inst->fb, 0, sizeof(lrgb_t) * inst->ui_w * inst->ui_h);
  if (runs && coloured) clear_area_alpha(inst);
  const bool painted = coloured && paint_rainbows(inst, inst->colour_scheme);
  if (runs) {
    const int x0 = inst->area_x, y0 = inst->area_y;
    if (painted)
      clear_under_panel(inst, x0, x0 + std::min<int>(inst->area_w, CURVE_COLUMNS), y0, y0 + inst->area_h);
    else
      clear_under_panel(inst, 0, 0, 0, 0);  // mutate: skip constant (an empty rectangle anywhere spares nothing)
  }

  if (inst->grid_fade < GRIDS_GONE) draw_grids_lut(inst);
  draw_bezier(inst);
  draw_dashed_fft(inst);
  if (runs)
    blit_layout_runs(inst->fb, inst->bg_final, inst->layout_runs, inst->ui_w, inst->ui_h);
  else
    blit_layout(inst->fb, inst->bg_final, inst->ui_w, inst->ui_h);
  // The knob slots are missing only where the instance's memory ran out.
  if (inst->layout) {
    draw_knobs(inst);
    draw_limiter_light(inst);
  }

  delay_message(inst);
  blit_text(inst->info_text, inst->fb, skin().black, inst->ui_w, inst->ui_h, 1.3);
  if (inst->screen_bits) {
    // With a window that takes them, the display pixels go straight into it.
    int stride = 0;
    uint32_t opaque = 0;
    uint32_t* direct = inst->graphics && inst->convert_scratch ? inst->graphics->DirectFrame(&stride, &opaque) : nullptr;
    if (direct)
      convert_frame_to_xrgb(direct, stride, opaque, inst->fb, inst->ui_w, inst->ui_h, 1, inst->convert_scratch);
    else if (inst->convert_scratch)
      convert_frame_to_srgb(inst->screen_bits, inst->fb, inst->ui_w, inst->ui_h, 1, inst->convert_scratch);
    else
      convert_lrgb_to_srgb(inst->screen_bits, inst->fb, inst->ui_w * inst->ui_h, 1);
  }
  mutex_to_0(inst->lock_buffers);
}
