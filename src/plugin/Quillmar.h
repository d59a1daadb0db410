// The plug-in: its parameters, its instance record and the audio path it owns.
#pragma once
#include "editor/editor_host.h"
#include "engine/engine.h"
#include "plugin/host_base.h"

struct inst_t;

enum { MAX_INSTANCES = 1024 };

class Quillmar : public IPluginHost, private engine_host_t, private editor_host_t {
 public:
  ~Quillmar() override;

  void Reset() override;
  void OnParamChange(int paramIdx) override;
  void ProcessDoubleReplacing(double** inputs, double** outputs, int nFrames) override;
  void OnGUIOpen() override {}
  void OnGUIClose() override {}

  inst_t* Inst() const { return mInst; }
  int InstanceNumber() const { return mInstanceNumber; }
  const engine_t& Engine() const { return mEngine; }

  // Sizes the engine for the current settings and designs the kernel.
  void init_buffers(int fixed_block, double input_buffer_size, double resolution);
  void reinit_buffers(int fixed_block, double input_buffer_size, double resolution);
  // Writes the preferences file from the current parameter values.
  void save_prefs() override;
  // Editor thread, after its idle redesign released lock_process.
  void finish_idle_write_back() override;
  // Serves pending re-sizing and kernel redesign now rather than at the next audio block
  // (for offline use: reports of the latency and of the response after settings changed).
  void ServePendingChanges();

 private:
  friend Quillmar* MakePlug(double);
  Quillmar(int slot, double samplerate);

  // engine_host_t: what the audio path asks of the plug-in.
  double param(int index) override;
  void set_param_clamped(int index, double value) override;
  bool second_input_connected() override;
  void set_latency(int samples) override;
  void bands_written_back(int sel_band, int from_editor) override;

  int mInstanceNumber;
  inst_t* mInst;
  engine_t mEngine;
  bool mIdleWriteBack = false;  // the editor's redesign rewrote the band parameters
};

// A new instance in the lowest free slot of the process-wide table, built under the
// process-wide construction mutex; null when all 1024 slots are taken. A host that knows its
// rate before the first call gives it here, so that the first kernel is designed for that
// rate rather than for 44.1 kHz and then again (a rate SetSampleRate refuses, 0 among them,
// keeps 44.1 kHz).
Quillmar* MakePlug(double samplerate = 0.0);

// Applies a setting from outside the parameter system: stores the value clamped, shows it on
// the control with the given index, then reacts as to any parameter change.
void set_knob_value(inst_t* inst, double value, int paramIdx, int controlIdx);
