#include "editor/frame.h"

#include <cstdio>
#include <cstring>

#include "editor/curve.h"
#include "editor/grids.h"
#include "editor/knobs.h"
#include "editor/skin.h"
#include "editor/spectrum.h"
#include "editor/view.h"
#include "engine/design.h"
#include "engine/inst.h"
#include "toolkit/font.h"
#include "toolkit/graphics/blit.h"
#include "toolkit/util/mutex.h"

namespace {

constexpr double GRID_FADE_STEP = 0.004, GRID_FADE_END = 6, GRIDS_GONE = 2;

// The curve's rows and the grid image follow the view and the vertical range whether or not
// the spectrum is coloured.
void refresh_curve(inst_t* inst) {
  if (!(inst->vrange_dirty || inst->hview_dirty || inst->curve_new)) return;
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
  if (inst->vrange_dirty || inst->hview_dirty) make_grids_lut(inst);
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

}  // namespace

void draw_frame(inst_t* inst) {
  if (!inst->fb || inst->ui_w <= 0 || inst->ui_h <= 0) return;
  mutex_to_1(inst->lock_buffers);
  const double fade = inst->grid_fade;
  if (fade > 0 && fade < GRID_FADE_END) inst->grid_fade = fade + GRID_FADE_STEP;
  inst->samples_since_frame = 0;
  std::memset(inst->fb, 0, sizeof(lrgb_t) * inst->ui_w * inst->ui_h);

  // The measured response is kept current even with the colours off: the dashed line
  // shows it.
  if (inst->kernel_view_new || inst->hview_dirty) comp_fft_mag_lut(inst);
  const bool coloured = inst->colour_gain != 0;
  if (coloured && (inst->capture_new || inst->hview_dirty)) comp_spectral_table(inst);
  refresh_curve(inst);
  if (coloured) paint_rainbows(inst, inst->colour_scheme);

  if (inst->grid_fade < GRIDS_GONE) draw_grids_lut(inst);
  draw_bezier(inst);
  draw_dashed_fft(inst);
  blit_layout(inst->fb, inst->bg_final, inst->ui_w, inst->ui_h);
  if (inst->layout && inst->plug) {
    draw_knobs(inst);
    draw_limiter_light(inst);
  }

  delay_message(inst);
  blit_text(inst->info_text, inst->fb, skin().black, inst->ui_w, inst->ui_h, 1.3);
  if (inst->screen_bits) convert_lrgb_to_srgb(inst->screen_bits, inst->fb, inst->ui_w * inst->ui_h, 1);
  mutex_to_0(inst->lock_buffers);
}
