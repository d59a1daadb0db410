#include "engine/engine.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/bands.h"
#include "engine/conv_math.h"
#include "engine/fft.h"
#include "engine/float_mode.h"
#include "engine/inst.h"
#include "engine/levels.h"
#include "engine/params.h"
#include "toolkit/util/memory.h"
#include "toolkit/util/mutex.h"

// A group's fixed-capacity buffers, one after another in one zeroed block: one mapping to
// make and one to give back for the group instead of one per buffer (each unmapping flushes
// the address translations). All null when the block cannot be had.
struct buffer_group_t {
  double* base;
  int next = 0;
  buffer_group_t(inst_t* inst, int count)
      : base(static_cast<double*>(gc_calloc(inst->alloc_list, size_t(count) * BUFFER_CAPACITY, sizeof(double)))) {}
  double* take() { return base ? base + size_t(next++) * BUFFER_CAPACITY : nullptr; }
};

static int truncated_rate(double fs) {
  return static_cast<int>(std::min(std::max(std::trunc(fs), 0.0), 2147483647.0));
}

static int block_for(int kernel_size, int fixed_block, double ratio) {
  if (fixed_block != 0) return fixed_block;
  const double b = std::trunc((kernel_size - 1) * 1.5 * ratio + 0.5);
  return b > 128.0 ? static_cast<int>(std::min(b, 1e9)) : 128;
}

engine_sizes_t engine_sizes(double fs, int fixed_block, double input_buffer_size,
                            double resolution) {
  const double ratio = input_buffer_size / resolution;
  int k = kernel_size_calc(truncated_rate(fs), resolution);
  int n = fft_size_calc(fixed_block, k, ratio);
  if (n > ENGINE_MAX_FFT) {
    // Shorten the kernel first where even the smallest block cannot join it, then
    // the block: a host call longer than the block is split by the audio path.
    const int k_max = ENGINE_MAX_FFT - 128 + 1;  // the longest kernel beside a 128 block
    k = std::min(k, k_max % 2 ? k_max : k_max - 1);
    if (fixed_block == 0) {
      while (k > 1 && k - 1 + block_for(k, 0, ratio) > ENGINE_MAX_FFT) {
        const double est = std::floor(ENGINE_MAX_FFT / (1.0 + 1.5 * ratio));
        int next = std::min(k - 2, static_cast<int>(est) + 1);
        if (next % 2 == 0) --next;
        k = std::max(next, 1);
      }
    }
    const int block = std::min(block_for(k, fixed_block, ratio), ENGINE_MAX_FFT - (k - 1));
    n = next_fast_fft_size(k - 1 + block);
  }
  return {k, n, n + 1 - k};
}

void engine_alloc(engine_t* e, inst_t* inst) {
  buffer_group_t group(inst, 11);
  for (int ch = 0; ch < 2; ++ch) {
    e->in_block[ch] = group.take();
    e->overflow[ch] = group.take();
    e->out_ring[ch] = group.take();
    inst->kernel_view[ch] = group.take();
  }
  e->saved_block = group.take();
  e->active_kernel = group.take();
  e->conv_scratch = group.take();
  e->design.spectrum = nullptr;  // the first full design allocates the record's arrays
  inst->design = &e->design;
  inst->active_kernel = e->active_kernel;
  inst->fft_size_ref = &e->fft_size;
  inst->kernel_size_ref = &e->kernel_size;
}

static int capture_length(double fs) {
  // The analysis runs through an FFT plan, so the length must also fit a plan.
  return std::min(last2k_size_calc(truncated_rate(fs)), int(ENGINE_MAX_FFT));
}

void capture_alloc(inst_t* inst) {
  inst->capture_len = capture_length(inst->samplerate);
  inst->capture_pos = 0;
  buffer_group_t group(inst, 7);
  for (int ch = 0; ch < 2; ++ch) {
    inst->capture[ch] = group.take();
    inst->capture_copy[ch] = group.take();
    inst->capture_spectrum[ch] = group.take();
  }
  inst->capture_window = group.take();  // the editor's spectrum fills it when it first runs
  inst->capture_plan = fft_plan_init(inst->alloc_list, inst->capture_len);
}

static void design_full(engine_t* e, inst_t* inst) {
  design_filters(inst, &e->design, inst->bands, inst->bands_sorted, e->kernel_size,
                 e->fft_size, inst->curve[0], &inst->curve_new, inst->lock_curve, inst->area_w,
                 &inst->band_count, 0, inst->samplerate);
  e->design.designed_k = e->kernel_size;
  e->design.designed_n = e->fft_size;
  e->design.designed_fs = inst->samplerate;
}

// The kernel in the design record is the one the band records give at these sizes and this
// rate, and no band change waits: a re-sizing that keeps them all (a host's reactivation, a
// Reset at the same rate) keeps it instead of designing it again.
static bool design_current(const engine_t* e, const inst_t* inst) {
  const design_t& d = e->design;
  return d.spectrum && !inst->bands_dirty && d.designed_k == e->kernel_size && d.designed_n == e->fft_size &&
         d.designed_fs == inst->samplerate;
}

static void install(engine_t* e, inst_t* inst, const double* spectrum) {
  mix_firs(spectrum, e->active_kernel, e->fft_size, inst->kernel_view[0],
           inst->lock_kernel_view, &inst->kernel_view_new);
}

void init_buffers(engine_t* e, inst_t* inst, engine_host_t* host, int fixed_block,
                  double input_buffer_size, double resolution) {
  const engine_sizes_t s =
      engine_sizes(inst->samplerate, fixed_block, input_buffer_size, resolution);
  e->kernel_size = s.kernel_size;
  e->fft_size = s.fft_size;
  e->hop_size = s.hop_size;
  inst->latency = e->kernel_size / 2 + e->hop_size;
  e->in_fill = 0;
  e->block_valid[0] = e->block_valid[1] = 0;  // the blocks are zero: nothing earlier to hide
  e->ring_read_pos = 0;
  if (!design_current(e, inst)) {
    if (e->design.spectrum) free_design(&e->design, e->kernel_size, e->fft_size);
    design_full(e, inst);
  }
  install(e, inst, e->design.spectrum);
  e->ring_len = e->hop_size + e->fft_size;
  e->ring_write_ofs = e->hop_size;
  if (!e->conv_plan) e->conv_plan = fft_plan_init(inst->alloc_list, e->fft_size);  // prepared for a new size when next used
  host->set_latency(e->kernel_size / 2 + e->hop_size);
}

// A re-sizing, with lock_buffers and lock_process held.
static void resize_locked(engine_t* e, inst_t* inst, engine_host_t* host, int fixed_block,
                          double input_buffer_size, double resolution) {
  // Only the audio path writes the blocks and the rings, never beyond the longest hop and ring
  // it ran with since the last zeroing: a re-sizing before any audio (a host's activation of a
  // new instance) touches none of their pages, and the blocks' pages past the hop (which a
  // transform of odd size reads, as the zero page) stay untouched. The other stream buffers
  // (overflow, saved block, convolution scratch) and the active kernel are always written
  // before they are read.
  for (int ch = 0; ch < 2; ++ch) {
    std::memset(e->in_block[ch], 0, sizeof(double) * e->block_extent);
    std::memset(e->out_ring[ch], 0, sizeof(double) * e->ring_extent);
  }
  e->block_extent = e->ring_extent = 0;
  init_buffers(e, inst, host, fixed_block, input_buffer_size, resolution);
  inst->bufs_state = 1;
}

void reinit_buffers(engine_t* e, inst_t* inst, engine_host_t* host, int fixed_block,
                    double input_buffer_size, double resolution) {
  mutex_to_1(inst->lock_buffers);
  mutex_to_1(inst->lock_process);
  resize_locked(e, inst, host, fixed_block, input_buffer_size, resolution);
  mutex_to_0(inst->lock_process);
  mutex_to_0(inst->lock_buffers);
}

void engine_reset(engine_t* e, inst_t* inst, engine_host_t* host, double samplerate) {
  // The rate is only ever written here, by the host's thread, so reading it unlocked is safe.
  if (inst->samplerate == samplerate || !(samplerate > 0.0) || !std::isfinite(samplerate))
    return;
  // The audio path and the editor read the rate under these locks.
  mutex_to_1(inst->lock_buffers);
  mutex_to_1(inst->lock_process);
  inst->samplerate = samplerate;
  resize_locked(e, inst, host, 0, host->param(PARAM_INPUT_BUFFER_SIZE),
                host->param(PARAM_RESOLUTION));
  inst->capture_len = capture_length(samplerate);  // the editor makes its window anew
  inst->capture_pos = 0;
  inst->capture_plan->cached = 0;
  mutex_to_0(inst->lock_process);
  mutex_to_0(inst->lock_buffers);
}

band_params_t read_band_params(engine_host_t* host) {
  band_params_t p;
  for (int b = 0; b < BAND_COUNT; ++b) {
    p.on[b] = host->param(PARAM_BAND_ON + b);
    p.gain[b] = host->param(PARAM_BAND_GAIN + b);
    p.freq[b] = host->param(PARAM_BAND_FREQ + b);
    p.slope[b] = host->param(PARAM_BAND_SLOPE + b);
  }
  p.transpose = host->param(PARAM_TRANSPOSE);
  p.overall_gain = host->param(PARAM_OVERALL_GAIN);
  p.gain_scale = host->param(PARAM_GAIN_SCALE);
  return p;
}

int engine_update_kernel(engine_t* e, inst_t* inst, engine_host_t* host, int from_editor) {
  if (!inst->bands_dirty) return 0;
  inst->bands_dirty = 0;
  band_params_t p = read_band_params(host);
  const bool from_bands = inst->bands_from_editor;
  // The band records belong to the curve: the editor drags them and draws from them.
  mutex_to_1(inst->lock_curve);
  if (from_bands)
    params_from_bands(inst->bands, &p);
  else
    bands_from_params(inst->bands, &p, 0);
  mutex_to_0(inst->lock_curve);
  if (from_bands) {
    for (int b = 0; b < BAND_COUNT; ++b) {
      host->set_param_clamped(PARAM_BAND_ON + b, p.on[b]);
      host->set_param_clamped(PARAM_BAND_GAIN + b, p.gain[b]);
      host->set_param_clamped(PARAM_BAND_FREQ + b, p.freq[b]);
      host->set_param_clamped(PARAM_BAND_SLOPE + b, p.slope[b]);
    }
    host->bands_written_back(inst->sel_band, from_editor);
  }
  const int n = e->fft_size;
  std::memcpy(e->design.previous_spectrum, e->design.spectrum, sizeof(double) * n);
  design_full(e, inst);
  install(e, inst, e->design.spectrum);
  return 1;
}

// The block's convolution, in conv_scratch, overlap-added into the channel's ring.
static void add_to_ring(engine_t* e, int ch) {
  double* ring = e->out_ring[ch];
  const int len = e->ring_len;
  int pos = (e->ring_write_ofs + e->ring_read_pos) % len;
  const double* src = e->conv_scratch;
  int remaining = e->fft_size;
  while (remaining > 0) {
    const int run = std::min(remaining, len - pos);
    add_into(ring + pos, src, run);
    src += run;
    remaining -= run;
    pos = 0;
  }
}

static void process_block(engine_t* e, inst_t* inst, engine_host_t* host, int channels) {
  const int n = e->fft_size;
  if (engine_update_kernel(e, inst, host, 0)) {
    // The block passes the old kernel fading out and the new one fading in; the fades sum
    // to one and the convolution is linear, so the change never steps. Both products meet
    // in one inverse transform.
    for (int ch = 0; ch < channels; ++ch) {
      double* block = e->in_block[ch];
      std::memcpy(e->saved_block, block, sizeof(double) * n);
      hann_transition(block, e->hop_size, 1);
      hann_transition(e->saved_block, e->hop_size, 0);
      fft_convolve2(block, e->design.previous_spectrum, e->saved_block, e->design.spectrum, e->conv_scratch, n,
                    e->conv_plan, e->hop_size);
      add_to_ring(e, ch);
    }
  } else {
    for (int ch = 0; ch < channels; ++ch) {
      fft_convolve(e->in_block[ch], e->active_kernel, e->conv_scratch, n, e->conv_plan, e->hop_size);
      add_to_ring(e, ch);
    }
  }
  // The next block starts with the overflow. A channel with input overwrites the rest of its
  // block as it fills, so only a channel without input is cleared here; one whose input is
  // connected later clears what it missed then (process_piece), so it never brings back
  // samples from before. Nothing is ever written into a block beyond the hop, so that part
  // stays zero.
  for (int ch = 0; ch < 2; ++ch) {
    const int kept = ch < channels ? e->overflow_count : 0;
    std::memcpy(e->in_block[ch], e->overflow[ch], sizeof(double) * kept);
    if (ch >= channels) std::memset(e->in_block[ch] + kept, 0, sizeof(double) * (e->hop_size - kept));
    e->block_valid[ch] = ch < channels ? kept : e->hop_size;
  }
  e->ring_write_ofs += e->hop_size;
  e->in_fill = e->overflow_count;
  e->overflow_count = 0;
}

static void capture_input(inst_t* inst, double** inputs, int frames, int channels) {
  if (inst->samplerate <= inst->samples_since_frame) return;
  mutex_to_1(inst->lock_capture);
  const int len = inst->capture_len;
  const double* left = inputs[0];
  const double* right = channels == 2 ? inputs[1] : inputs[0];
  if (frames <= len) {
    // At most two pieces: up to the end of the ring, then from its start.
    const int pos = inst->capture_pos, first = std::min(frames, len - pos);
    for (int c = 0; c < 2; ++c) {
      const double* src = c == 0 ? left : right;
      copy_finite(inst->capture[c] + pos, src, first);
      copy_finite(inst->capture[c], src + first, frames - first);
    }
    inst->capture_pos = pos + frames < len ? pos + frames : pos + frames - len;
  } else {
    copy_finite(inst->capture[0], left + frames - len, len);
    copy_finite(inst->capture[1], right + frames - len, len);
    inst->capture_pos = 0;
  }
  inst->capture_new = 1;
  mutex_to_0(inst->lock_capture);
}

// Peak limiter: a new peak is brought to the threshold at once, the gain holds for 2.3 s,
// then returns to unity along a half raised cosine over the next 2.3 s.
// under: every output of the piece lies at or under the threshold.
static void limit(inst_t* inst, double** outputs, int frames, int channels, double threshold, bool under) {
  double peak = inst->limiter_peak, t = inst->limiter_time;
  double over = 0.0;  // the largest overshoot of this piece
  const double dt = 1.0 / inst->samplerate;
  // While the held peak and every sample stay at or under the threshold, nothing changes and
  // there is no overshoot: no work per sample.
  const bool idle = peak <= threshold && under;
  for (int i = 0; i < (idle ? 0 : frames); ++i) {
    for (int ch = 0; ch < channels; ++ch) {
      double x = outputs[ch][i];
      const double a = std::fabs(x);
      if (a - threshold > over) over = a - threshold;
      if (a <= threshold && peak <= threshold) continue;
      if (ch == 0) t += dt;
      if (a > peak) {
        peak = a;
        t = 0.0;
      }
      bool rearmed = false;
      if (peak > threshold) {
        if (t <= 2.3) {
          x *= threshold / peak;
        } else {
          const double env =
              (0.5 * std::cos((t - 2.3) * M_PI / 2.3) + 0.5) * (peak - threshold) + threshold;
          // A sample above the envelope itself re-arms at its own level: brought to the
          // threshold like a new peak, never past it.
          const double level = std::max(env, a);
          if (2.0 * a > env) {
            peak = level;
            t = 0.0;
            rearmed = true;
          }
          x *= threshold / (rearmed ? level : env);
        }
      }
      if (!rearmed && t > 4.6) peak = 0.0;
      outputs[ch][i] = x;
    }
  }
  inst->limiter_peak = peak;
  inst->limiter_time = t;
  // The light is only ever raised from here; the editor lowers it as it fades.
  double shown = inst->limiter_over.load(std::memory_order_relaxed);
  while (over > shown &&  // mutate: skip relational (an equal value stored again changes nothing)
         !inst->limiter_over.compare_exchange_weak(shown, over, std::memory_order_relaxed)) {
  }
}

// One piece of a call, never longer than the hop: gather, process a completed block,
// deliver, limit.
static void process_piece(engine_t* e, inst_t* inst, engine_host_t* host, double** in,
                          double** out, int frames, int channels, double threshold) {
  const int n = std::min(frames, e->hop_size - e->in_fill);
  for (int ch = 0; ch < channels; ++ch) {
    double* block = e->in_block[ch];
    // Samples this channel missed while it had no input are silence.
    if (e->block_valid[ch] < e->in_fill)
      std::memset(block + e->block_valid[ch], 0, sizeof(double) * (e->in_fill - e->block_valid[ch]));
    copy_finite(block + e->in_fill, in[ch], n);
    e->block_valid[ch] = std::max(e->block_valid[ch], e->in_fill + n);
    if (n < frames) copy_finite(e->overflow[ch], in[ch] + n, frames - n);
  }
  e->in_fill += n;
  if (n < frames) e->overflow_count = frames - n;

  if (e->in_fill == e->hop_size) process_block(e, inst, host, channels);

  const int len = e->ring_len;
  const int first = std::min(frames, len - e->ring_read_pos);
  bool under = true;
  for (int ch = 0; ch < channels; ++ch) {
    double* ring = e->out_ring[ch];
    under &= move_under(out[ch], ring + e->ring_read_pos, first, threshold);
    under &= move_under(out[ch] + first, ring, frames - first, threshold);
  }
  // A channel without input delivers nothing, but its ring passes on as the other's does:
  // what it held for these samples is dropped, or it would come out a ring later.
  for (int ch = channels; ch < 2; ++ch) {
    std::memset(e->out_ring[ch] + e->ring_read_pos, 0, sizeof(double) * first);
    std::memset(e->out_ring[ch], 0, sizeof(double) * (frames - first));
  }
  if (threshold < 999.0 && frames >= 1) limit(inst, out, frames, channels, threshold, under);
  e->ring_write_ofs -= frames;
  e->ring_read_pos = (e->ring_read_pos + frames) % len;
}

void engine_process(engine_t* e, inst_t* inst, engine_host_t* host, double** inputs,
                    double** outputs, int frames) {
  const uint64_t caller_mode = float_mode_flush_denormals();
  if (frames < 0) frames = 0;
  inst->audio_idle_frames = 0;
  if (inst->bufs_dirty) {
    inst->bufs_dirty = 0;
    reinit_buffers(e, inst, host, 0, host->param(PARAM_INPUT_BUFFER_SIZE),
                   host->param(PARAM_RESOLUTION));
  }
  // The sizes and the rate as a Reset on the host's thread may just have left them.
  mutex_to_1(inst->lock_process);
  const int hop = e->hop_size;
  const double fs = inst->samplerate;
  mutex_to_0(inst->lock_process);
  if (hop < frames) {
    // The hop grows to the call's length where the buffers allow it; a longer call is
    // split into pieces of at most the hop below.
    const double ibs = host->param(PARAM_INPUT_BUFFER_SIZE);
    const double res = host->param(PARAM_RESOLUTION);
    if (engine_sizes(fs, frames, ibs, res).hop_size > hop)
      reinit_buffers(e, inst, host, frames, ibs, res);
  }
  if (inst->bufs_state == 1) inst->bufs_state = 2;

  mutex_to_1(inst->lock_process);
  if (frames > 0) {
    e->block_extent = std::max(e->block_extent, e->hop_size);
    e->ring_extent = std::max(e->ring_extent, e->ring_len);
  }
  const double threshold = realdb_to_vol(host->param(PARAM_LIMITER));
  const int channels = host->second_input_connected() ? 2 : 1;
  capture_input(inst, inputs, frames, channels);
  if (inst->samples_since_frame < inst->samplerate) inst->samples_since_frame += frames;

  double* in[2] = {inputs[0], channels == 2 ? inputs[1] : nullptr};
  double* out[2] = {outputs[0], channels == 2 ? outputs[1] : nullptr};
  for (int done = 0; done < frames;) {
    const int piece = std::min(frames - done, e->hop_size);
    process_piece(e, inst, host, in, out, piece, channels, threshold);
    done += piece;
    for (int ch = 0; ch < channels; ++ch) {
      in[ch] += piece;
      out[ch] += piece;
    }
  }
  mutex_to_0(inst->lock_process);
  float_mode_restore(caller_mode);
}
