// The command-line build's instance for the fuzz targets that drive the plug-in directly.
#pragma once
#include "engine/inst.h"
#include "engine/params.h"
#include "fuzz.h"
#include "plugin/Quillmar.h"

// Brings a kept instance's parameters and limiter back to those of a new one (any host's
// build). Only the parameters the last input moved are set back and reported, so that an
// input that left the bands alone costs no redesign. Their reactions are served now, before
// the re-sizing the caller starts next, which then finds the kernel current (a pending band
// change would have it designed twice).
inline void fuzz_rest_params(Quillmar* plug) {
  for (int i = 0; i < plug->NParams(); ++i) {
    IParam* p = plug->GetParam(i);
    if (p->Value() == p->GetDefault()) continue;
    p->Set(p->GetDefault());
    plug->OnParamChange(i);
  }
  inst_t* inst = plug->Inst();
  inst->bufs_dirty = 0;
  plug->ServePendingChanges();
  inst->limiter_peak = inst->limiter_time = 0;
  inst->limiter_over = 0;
}

// The target's one long-lived instance (made by the first run), brought back to the state
// of a fresh one: default parameters, 44100 Hz, the block size, stereo in and out, the limiter
// at rest, nothing in flight.
Quillmar* fuzz_fresh_instance(int block);

inline void fuzz_check_sizes(Quillmar* plug) {
  fuzz_check_sizes(plug->Engine(), plug->GetLatency());
}

// One host call through the 32-bit float frame with a deterministic signal; every output
// sample must be finite. Returns the number of frames processed.
int fuzz_process(Quillmar* plug, int frames, int channels, uint32_t seed);
