// The command-line build's instance for the fuzz targets that drive the plug-in directly.
#pragma once
#include "engine/params.h"
#include "fuzz.h"
#include "plugin/Quillmar.h"

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
