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

// What an input's audio may cost, in transform points: each block costs its transform's size.
// At rates of megahertz with the shortest input buffer, a transform of about 2^18 points runs
// every few hundred frames, and single inputs took half a minute; the budget keeps any input
// to about a second and still affords over a dozen blocks at the largest transform. At the
// usual rates only the finest resolution with the shortest input buffer reaches it (48 kHz:
// about 37000 of a run's 65536 frames).
constexpr long FUZZ_POINTS_PER_INPUT = long(1) << 22;

// The frames of a host call that the budget still affords, taken from it. The cost is
// reckoned at the engine's sizes, or at those a pending re-sizing will give the call where
// they cost more a frame, and by frames: a call shorter than a hop completes a block only
// where the calls before it left one nearly full, so it is not charged a whole transform.
inline int fuzz_affordable_frames(const Quillmar* plug, long* points_left, int frames) {
  const engine_t& e = plug->Engine();
  const inst_t* inst = plug->Inst();
  long n = e.fft_size, hop = e.hop_size;
  if (inst->bufs_dirty) {
    const engine_sizes_t s = engine_sizes(inst->samplerate, 0, plug->GetParam(PARAM_INPUT_BUFFER_SIZE)->Value(),
                                          plug->GetParam(PARAM_RESOLUTION)->Value());
    if (s.hop_size >= 1 && (double)s.fft_size / s.hop_size > (double)n / hop) n = s.fft_size, hop = s.hop_size;
  }
  if (hop < 1 || n < 1 || frames <= 0) return frames;
  const long affordable = *points_left * hop / n;
  if (frames > affordable) frames = (int)affordable;
  *points_left -= (frames * n + hop - 1) / hop;
  return frames;
}

// One host call through the 32-bit float frame with a deterministic signal; every output
// sample must be finite. Returns the number of frames processed.
int fuzz_process(Quillmar* plug, int frames, int channels, uint32_t seed);
