#include "editor/IDrawControl.h"

#include <cstring>

#include "editor/controls.h"
#include "editor/editor_host.h"
#include "editor/frame.h"
#include "engine/engine.h"
#include "engine/inst.h"
#include "toolkit/util/mutex.h"

namespace {

constexpr int PREFS_DELAY_FRAMES = 19;  // the file is written on the 20th frame after a change
constexpr int IDLE_FRAMES = 16;         // frames without an audio call before the editor serves
constexpr int IDLE_HANDLED = 1000;      // marks an idle period whose spectrum is already cleared

void write_prefs_when_due(inst_t* inst) {
  const int c = inst->prefs_save_count;
  inst->prefs_save_count = c + 1;
  inst->frame_count += 1;
  if (c >= PREFS_DELAY_FRAMES && inst->prefs_dirty == 1) {
    inst->prefs_save_count = 0;  // mutate: skip statement (every change sets it to 0 again; this keeps it from growing without end)
    inst->prefs_dirty = 0;
    if (inst->editor_host) inst->editor_host->save_prefs();
  }
}

// While the host is not calling the audio path, the editor serves band changes itself, so
// edits still reshape the curve and the kernel.
void serve_idle_audio(inst_t* inst) {
  if (inst->audio_idle_frames < IDLE_FRAMES) {
    inst->audio_idle_frames += 1;
    return;
  }
  // With no band edit waiting, the redesign and the write-back return at once.
  if (inst->bands_dirty && inst->engine && inst->engine_host) {  // mutate: skip logical (as said; every instance has both)
    // An audio call that starts meanwhile waits for the redesign rather than use a kernel
    // being rewritten.
    mutex_to_1(inst->lock_process);
    engine_update_kernel(inst->engine, inst, inst->engine_host, 1);
    mutex_to_0(inst->lock_process);
    if (inst->editor_host) inst->editor_host->finish_idle_write_back();
  }
  // Cleared again, it stays clear: nothing captures while the audio is idle.
  if (inst->audio_idle_frames != IDLE_HANDLED) {
    // A host's Reset may re-size the capture meanwhile, on its own thread.
    mutex_to_1(inst->lock_buffers);
    for (int c = 0; c < 2; ++c) {
      std::memset(inst->spectrum_col[c], 0, sizeof(double) * inst->area_w);
      std::memset(inst->capture_spectrum[c], 0, sizeof(double) * inst->capture_len);
    }
    mutex_to_0(inst->lock_buffers);
  }
  inst->audio_idle_frames = IDLE_HANDLED;
}

}  // namespace

IDrawControl::IDrawControl(IPluginBase* pPlug, IRECT rect, inst_t* inst)
    : IControl(pPlug, rect, -1), mInst(inst) {}

bool IDrawControl::Draw(IGraphics*) {
  inst_t* inst = mInst;
  write_prefs_when_due(inst);
  serve_idle_audio(inst);
  // Band values the audio path wrote back into the parameters reach the knobs here, on the
  // editor's thread.
  if (inst->knobs_dirty) {
    inst->knobs_dirty = 0;
    sync_band_knobs(inst, false);
  }
  draw_frame(inst);
  return true;
}
