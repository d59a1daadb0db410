#include "plugin/Quillmar.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "editor/controls.h"
#include "editor/grids.h"
#include "editor/knobs.h"
#include "editor/layout.h"
#include "engine/bands.h"
#include "engine/inst.h"
#include "engine/params.h"
#include "framework/IGraphics.h"
#include "framework/bitmap/RasterBitmap.h"
#include "plugin/instances.h"
#include "plugin/io.h"
#include "plugin/params.h"
#include "plugin/prefs.h"
#include "quillmar_version.h"
#include "toolkit/font.h"
#include "toolkit/graphics/blit.h"
#include "toolkit/util/memory.h"
#include "toolkit/util/mutex.h"

namespace {

constexpr int EDITOR_FPS = 60;

constexpr int fourcc(const char* s) {
  return (s[0] << 24) | (s[1] << 16) | (s[2] << 8) | s[3];
}

template <class T>
T* tracked(inst_t* inst, size_t count) {
  return static_cast<T*>(gc_calloc(inst->alloc_list, count, sizeof(T)));
}

// An editor image drawn over whole by the first frame at its size (prepare_panel).
lrgb_t* tracked_image(inst_t* inst) {
  return static_cast<lrgb_t*>(gc_calloc_image(inst->alloc_list, FRAME_PIXELS, sizeof(lrgb_t)));
}

void show_on_control(inst_t* inst, int control, double normalized) {
  if (inst->graphics) inst->graphics->SetControlFromPlug(control, normalized);
}

}  // namespace

Quillmar* MakePlug(double samplerate) {
  FW_MutexLock guard(construction_mutex());
  const int slot = acquire_instance_slot();
  if (slot < 0) return nullptr;
  return new Quillmar(slot, samplerate);
}

Quillmar::Quillmar(int slot, double samplerate)
    : IPluginHost(PARAM_COUNT, "1-1 2-2", 0, "Quillmar", "", "Merrowind", QUILLMAR_UNIT_VERSION,
                  fourcc("Qmrl"), fourcc("Mrwd"), 65536, false, false, false),
      mInstanceNumber(slot),
      mInst(instance_record(slot)) {
  FW_MutexLock lock(GetMutex());
  SetSampleRate(samplerate);
  inst_t* inst = mInst;
  inst->alloc_list = gc_list_create();
  inst->plug = this;
  inst->n_layout = LAYOUT_ITEMS;

  init_params(this);
  // The display settings start from the parameters, so that an instance without a
  // preferences file does not draw with zeroed gains and scales.
  inst->colour_scheme = GetParam(PARAM_COLOUR)->Int();
  inst->colour_gain = GetParam(PARAM_COLOUR_GAIN)->Value();
  inst->gamma = GetParam(PARAM_GAMMA)->Value();
  inst->vscale = 64.34294481903252 / GetParam(PARAM_VERT_RANGE)->Value();
  make_settings_paths();
  inst->layout = tracked<layout_item_t>(inst, LAYOUT_ITEMS);
  load_prefs(inst, 0);

  // The editor: its framebuffer holds the largest size; only the size in use is touched.
  inst->fb = tracked_image(inst);
  layout_pos_from_uisize(inst);
  // The editor: its graphics context with the editor control and the sixteen knobs; frames
  // are converted straight into the context's draw bitmap.
  inst->graphics = MakeGraphics(this, inst->ui_w, inst->ui_h, EDITOR_FPS);
  inst->graphics->HandleMouseOver(true);
  inst->graphics->SetStrictDrawing(false);
  attach_editor_controls(inst);
  inst->screen_bits = inst->graphics->GetDrawBitmap()->Pixels();
  // The editor's images are allocated here and drawn by its first frame (prepare_panel),
  // together with the process-wide skin: an instance whose editor never draws pays for
  // neither. Large blocks are mapped untouched, so they cost no memory until then.
  inst->bg_layer = tracked_image(inst);
  inst->bg_final = tracked_image(inst);
  inst->label_backing = tracked<lrgb_t>(inst, FRAME_PIXELS);  // only the strips are ever touched
  inst->layout_runs = tracked<int32_t>(inst, (size_t)FRAME_H * layout_runs_per_row(FRAME_W));
  inst->convert_scratch = tracked<uint64_t>(inst, 2 * FRAME_W);
  inst->knob_cache = new_knob_cache(inst);

  inst->graphics->SetMessageHandler([inst](const char* message) {
    if (inst->info_text) std::snprintf(inst->info_text->string, TEXT_BYTES, "%s", message);
  });
  // Their fonts are set with the skin's (prepare_panel).
  inst->info_text = init_text(inst->alloc_list, nullptr, TEXT_LEFT, 200, 10.5);
  inst->label_text_a = init_text(inst->alloc_list, nullptr, TEXT_RIGHT | TEXT_MIDDLE, 0, 0);
  inst->label_text_b = init_text(inst->alloc_list, nullptr, TEXT_MIDDLE, 0, 0);
  inst->label_text_c = init_text(inst->alloc_list, nullptr, TEXT_MIDDLE, 0, 0);
  if (inst->info_text)
    std::snprintf(inst->info_text->string, TEXT_BYTES, "Instance #%d", mInstanceNumber);

  inst->grid_fade = 1e-7;
  inst->samplerate = GetSampleRate();
  capture_alloc(inst);
  for (double*& c : inst->spectrum_col) c = tracked<double>(inst, CURVE_COLUMNS);
  inst->response_col = tracked<double>(inst, CURVE_COLUMNS);
  for (double*& c : inst->curve) c = tracked<double>(inst, CURVE_COLUMNS);
  inst->curve_row = tracked<int32_t>(inst, CURVE_COLUMNS);
  // The grid image is needed only while the grid is rebuilt, before a frame draws anything,
  // and every pixel of the frame is drawn anew after it: it lives in the framebuffer. The
  // first frame builds it (grids_stale).
  inst->grids_lut = inst->fb;
  // A row holds its count and two ends a run, a run at most every other pixel.
  inst->curve_line_runs = tracked<int32_t>(inst, (size_t)FRAME_H * (2 + FRAME_W));  // mutate: skip constant (a row fits with 1 + FRAME_W or more; without the block the line is drawn uncached, the same pixels)
  inst->curve_line_packed = tracked<lrgb_t>(inst, FRAME_PIXELS);
  inst->curve_line_image = tracked<lrgb_t>(inst, FRAME_PIXELS);
  inst->curve_line_span = tracked<int32_t>(inst, 2 * FRAME_H);
  inst->dash_cache = tracked<double>(inst, 3 + 5 * CURVE_COLUMNS);
  // The spectrum's bins per column; without it they are worked out anew every frame.
  inst->bin_cache = tracked<double>(inst, 2 * (5 + 2 * CURVE_COLUMNS));  // mutate: skip statement (a cache: without it the bins are worked out every frame)
  inst->curve_line_key = tracked<double>(inst, CURVE_COLUMNS + 5);
  inst->grid_runs = tracked<int32_t>(inst, GRID_RUNS_CAPACITY);
  inst->grid_packed = tracked<lrgb_t>(inst, FRAME_PIXELS);
  // The level lines' dashes, kept between frames; without them the grid is drawn whole.
  inst->grid_dash_ops = tracked<uint64_t>(inst, GRID_DASH_CAPACITY);  // mutate: skip (a cache)
  inst->grid_dash_row_start = tracked<int32_t>(inst, FRAME_H + 1);
  inst->grid_dash_runs = tracked<int32_t>(inst, GRID_RUNS_CAPACITY);  // mutate: skip (a cache)
  inst->grid_dash_packed = tracked<lrgb_t>(inst, GRID_DASH_CAPACITY);  // mutate: skip (a cache)
  inst->grids_stale = 1;

  mutex_t** locks[] = {&inst->lock_capture, &inst->lock_kernel_view, &inst->lock_curve,
                       &inst->lock_buffers, &inst->lock_process};
  for (mutex_t** l : locks) {
    *l = static_cast<mutex_t*>(gc_calloc(inst->alloc_list, 1, sizeof(mutex_t)));
    mutex_init(*l, 0, 1);
  }

  inst->bands = static_cast<eqband_t*>(gc_calloc(inst->alloc_list, BAND_COUNT, sizeof(eqband_t)));
  inst->bands_sorted =
      static_cast<eqband_t*>(gc_calloc(inst->alloc_list, SORTED_COUNT, sizeof(eqband_t)));
  const band_params_t p = read_band_params(this);
  bands_from_params(inst->bands, &p, 1);

  engine_alloc(&mEngine, inst);
  inst->engine = &mEngine;
  inst->engine_host = this;
  inst->editor_host = this;
  bind_band_knobs(inst, inst->sel_band);
  for (int slot = CTRL_BAND_GAIN; slot <= CTRL_BAND_SLOPE; ++slot)
    inst->graphics->SetControlFromPlug(slot, GetParam(knob_param(inst->sel_band, slot))->GetNormalized());

  load_prefs(inst, 1);
  init_buffers(0, GetParam(PARAM_INPUT_BUFFER_SIZE)->Value(),
               GetParam(PARAM_RESOLUTION)->Value());
}

Quillmar::~Quillmar() {
  {
    FW_MutexLock lock(GetMutex());
    gc_cleanup(mInst->alloc_list);
    mInst->alloc_list = nullptr;
  }
  release_instance_slot(mInstanceNumber);
}

void Quillmar::init_buffers(int fixed_block, double input_buffer_size, double resolution) {
  ::init_buffers(&mEngine, mInst, this, fixed_block, input_buffer_size, resolution);
}

void Quillmar::reinit_buffers(int fixed_block, double input_buffer_size, double resolution) {
  ::reinit_buffers(&mEngine, mInst, this, fixed_block, input_buffer_size, resolution);
}

void Quillmar::ServePendingChanges() {
  if (mInst->bufs_dirty) {
    mInst->bufs_dirty = 0;
    reinit_buffers(0, GetParam(PARAM_INPUT_BUFFER_SIZE)->Value(),
                   GetParam(PARAM_RESOLUTION)->Value());
  }
  engine_update_kernel(&mEngine, mInst, this, 0);
}

void Quillmar::Reset() {
  FW_MutexLock lock(GetMutex());
  engine_reset(&mEngine, mInst, this, GetSampleRate());
}

void Quillmar::ProcessDoubleReplacing(double** inputs, double** outputs, int nFrames) {
  engine_process(&mEngine, mInst, this, inputs, outputs, nFrames);
}

double Quillmar::param(int index) { return GetParam(index)->Value(); }

void Quillmar::set_param_clamped(int index, double value) {
  if (std::isnan(value)) return;
  IParam* p = GetParam(index);
  p->Set(std::min(std::max(value, p->GetMin()), p->GetMax()));
}

bool Quillmar::second_input_connected() { return IsInChannelConnected(1); }

void Quillmar::set_latency(int samples) { SetLatency(samples); }

void Quillmar::bands_written_back(int /*sel_band*/, int from_editor) {
  // The editor's own redesign finishes once it has let go of lock_process
  // (finish_idle_write_back); the audio thread leaves the knobs to the editor's next frame,
  // never touching the controls itself.
  if (from_editor) {
    mIdleWriteBack = true;
    return;
  }
  mInst->knobs_dirty = 1;
  InformHostOfProgramChange();
}

void Quillmar::finish_idle_write_back() {
  if (!mIdleWriteBack) return;
  mIdleWriteBack = false;
  // The editor's redesign moves the knobs as the user's values.
  if (mInst->graphics) sync_band_knobs(mInst, true);
  InformHostOfProgramChange();
}

void set_knob_value(inst_t* inst, double value, int paramIdx, int controlIdx) {
  if (std::isnan(value)) return;
  IPluginBase* plug = inst->plug;
  IParam* p = plug->GetParam(paramIdx);
  p->Set(std::min(std::max(value, p->GetMin()), p->GetMax()));
  show_on_control(inst, controlIdx, p->GetNormalized(value));
  plug->OnParamChange(paramIdx);
}
