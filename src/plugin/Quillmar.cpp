#include "plugin/Quillmar.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "engine/bands.h"
#include "engine/inst.h"
#include "engine/params.h"
#include "framework/IGraphics.h"
#include "plugin/instances.h"
#include "plugin/io.h"
#include "plugin/params.h"
#include "plugin/prefs.h"
#include "toolkit/font.h"
#include "toolkit/util/memory.h"
#include "toolkit/util/mutex.h"

namespace {

enum { N_LAYOUT = 17 };

// Controls of the editor that show parameters (control index = layout slot).
enum {
  CTRL_BAND_GAIN = 1, CTRL_BAND_FREQ = 2, CTRL_BAND_SLOPE = 3,
  CTRL_TRANSPOSE = 7, CTRL_OVERALL_GAIN = 8, CTRL_GAIN_SCALE = 9,
};

constexpr int fourcc(const char* s) {
  return (s[0] << 24) | (s[1] << 16) | (s[2] << 8) | s[3];
}

band_params_t band_params_of(IPluginBase* plug) {
  band_params_t p;
  for (int b = 0; b < BAND_COUNT; ++b) {
    p.on[b] = plug->GetParam(PARAM_BAND_ON + b)->Value();
    p.gain[b] = plug->GetParam(PARAM_BAND_GAIN + b)->Value();
    p.freq[b] = plug->GetParam(PARAM_BAND_FREQ + b)->Value();
    p.slope[b] = plug->GetParam(PARAM_BAND_SLOPE + b)->Value();
  }
  p.transpose = plug->GetParam(PARAM_TRANSPOSE)->Value();
  p.overall_gain = plug->GetParam(PARAM_OVERALL_GAIN)->Value();
  p.gain_scale = plug->GetParam(PARAM_GAIN_SCALE)->Value();
  return p;
}

void show_on_control(inst_t* inst, int control, double normalized) {
  if (inst->graphics) inst->graphics->SetControlFromPlug(control, normalized);
}

}  // namespace

Quillmar* MakePlug() {
  FW_MutexLock guard(construction_mutex());
  const int slot = acquire_instance_slot();
  if (slot < 0) return nullptr;
  return new Quillmar(slot);
}

Quillmar::Quillmar(int slot)
    : IPluginHost(PARAM_COUNT, "1-1 2-2", 0, "Quillmar", "", "Merrowind", 0x00010000,
                  fourcc("Qmrl"), fourcc("Mrwd"), 65536, false, false, false),
      mInstanceNumber(slot),
      mInst(instance_record(slot)) {
  FW_MutexLock lock(GetMutex());
  inst_t* inst = mInst;
  inst->alloc_list = gc_list_create();
  inst->plug = this;
  inst->n_layout = N_LAYOUT;

  init_params(this);
  // The display settings start from the parameters, so that an instance without a
  // preferences file does not draw with zeroed gains and scales.
  inst->colour_scheme = GetParam(PARAM_COLOUR)->Int();
  inst->colour_gain = GetParam(PARAM_COLOUR_GAIN)->Value();
  inst->gamma = GetParam(PARAM_GAMMA)->Value();
  inst->vscale = 64.34294481903252 / GetParam(PARAM_VERT_RANGE)->Value();
  make_settings_paths();
  load_prefs(inst, 0);

  char text[64];
  inst->info_text = init_text(inst->alloc_list, nullptr, TEXT_LEFT, 200, 10.5);
  inst->label_text_a = init_text(inst->alloc_list, nullptr, 80, 0, 0);
  inst->label_text_b = init_text(inst->alloc_list, nullptr, 64, 0, 0);
  inst->label_text_c = init_text(inst->alloc_list, nullptr, 64, 0, 0);
  std::snprintf(text, sizeof text, "Instance #%d", mInstanceNumber);
  if (inst->info_text) std::snprintf(inst->info_text->string, TEXT_BYTES, "%s", text);

  inst->grid_fade = 1e-7;
  inst->samplerate = GetSampleRate();
  capture_alloc(inst);
  for (double*& c : inst->curve)
    c = static_cast<double*>(gc_calloc(inst->alloc_list, CURVE_COLUMNS, sizeof(double)));
  inst->curve_row =
      static_cast<int32_t*>(gc_calloc(inst->alloc_list, CURVE_COLUMNS, sizeof(int32_t)));

  mutex_t** locks[] = {&inst->lock_capture, &inst->lock_kernel_view, &inst->lock_curve,
                       &inst->lock_buffers, &inst->lock_process};
  for (mutex_t** l : locks) {
    *l = static_cast<mutex_t*>(gc_calloc(inst->alloc_list, 1, sizeof(mutex_t)));
    mutex_init(*l, 0, 1);
  }

  inst->bands = static_cast<eqband_t*>(gc_calloc(inst->alloc_list, BAND_COUNT, sizeof(eqband_t)));
  inst->bands_sorted =
      static_cast<eqband_t*>(gc_calloc(inst->alloc_list, SORTED_COUNT, sizeof(eqband_t)));
  const band_params_t p = band_params_of(this);
  bands_from_params(inst->bands, &p, 1);

  engine_alloc(&mEngine, inst);
  inst->engine = &mEngine;
  inst->engine_host = this;

  load_prefs(inst, 1);
  init_buffers(0, GetParam(PARAM_INPUT_BUFFER_SIZE)->Value(),
               GetParam(PARAM_RESOLUTION)->Value());
}

Quillmar::~Quillmar() {
  FW_MutexLock lock(GetMutex());
  gc_cleanup(mInst->alloc_list);
  mInst->alloc_list = nullptr;
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

void Quillmar::bands_written_back(int sel_band, int /*from_editor*/) {
  const int s = std::min(std::max(sel_band, 0), BAND_COUNT - 1);
  show_on_control(mInst, CTRL_BAND_GAIN, GetParam(PARAM_BAND_GAIN + s)->GetNormalized());
  show_on_control(mInst, CTRL_BAND_FREQ, GetParam(PARAM_BAND_FREQ + s)->GetNormalized());
  show_on_control(mInst, CTRL_BAND_SLOPE, GetParam(PARAM_BAND_SLOPE + s)->GetNormalized());
  show_on_control(mInst, CTRL_TRANSPOSE, GetParam(PARAM_TRANSPOSE)->GetNormalized());
  show_on_control(mInst, CTRL_OVERALL_GAIN, GetParam(PARAM_OVERALL_GAIN)->GetNormalized());
  show_on_control(mInst, CTRL_GAIN_SCALE, GetParam(PARAM_GAIN_SCALE)->GetNormalized());
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
