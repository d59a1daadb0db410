// The audio path: gathers host calls into blocks of the hop length, convolves each block
// with the linear-phase kernel by FFT and overlap-add, crossfades every kernel change over one
// block, delivers with a fixed latency, limits peaks and captures the input for the display.
//
// The plug-in object owns an engine_t and the instance's inst_t, and gives the engine what it
// needs of the framework through engine_host_t.
#pragma once
#include <cstdint>

#include "engine/design.h"

struct band_params_t;
struct fft_plan_t;
struct inst_t;

// What the audio path asks of the plug-in that owns it.
struct engine_host_t {
  virtual double param(int index) = 0;
  // Stores a value directly, clamped to the parameter's range (an infinity clamps to the
  // bound it points to), without telling the host.
  virtual void set_param_clamped(int index, double value) = 0;
  virtual bool second_input_connected() = 0;
  virtual void set_latency(int samples) = 0;
  // The band parameters were just rewritten from the band records: the selected band's knobs
  // and the Transpose, Overall Gain and Gain Scale knobs follow, and the host is told.
  // from_editor: the editor served the update while the audio path was idle.
  virtual void bands_written_back(int sel_band, int from_editor) = 0;

 protected:
  ~engine_host_t() = default;
};

struct engine_t {
  int32_t kernel_size = 0, fft_size = 0, hop_size = 0;
  double* in_block[2] = {};
  int32_t in_fill = 0;
  // Per channel, how much of the block's start holds this block's samples (or the zeros a
  // channel without input has): the rest holds an earlier block's samples until overwritten.
  int32_t block_valid[2] = {};
  double* overflow[2] = {};
  int32_t overflow_count = 0;  // set and taken within one call: 0 between calls
  double* saved_block = nullptr;
  double* active_kernel = nullptr;
  double* conv_scratch = nullptr;
  fft_plan_t* conv_plan = nullptr;
  double* out_ring[2] = {};
  int32_t ring_len = 0;
  int32_t ring_write_ofs = 0;
  int32_t ring_read_pos = 0;
  design_t design = {};
  // How far the audio path may have written since the last zeroing: the blocks (never beyond
  // the hop) and the rings.
  int32_t block_extent = 0, ring_extent = 0;
};

// The largest FFT size the buffers allow: sizes are limited so that N never exceeds it.
enum { ENGINE_MAX_FFT = 234375 };

struct engine_sizes_t {
  int32_t kernel_size, fft_size, hop_size;
};

// Kernel, FFT and hop sizes for a sample rate, a fixed block (0: from the ratio I / R),
// Input Buffer Size and Resolution. Where the buffers cannot hold what the settings ask,
// the kernel and the block are shortened (the kernel staying odd) until N fits.
engine_sizes_t engine_sizes(double samplerate, int fixed_block, double input_buffer_size,
                            double resolution);

// Allocates the stream buffers and the published kernel views (tracked, zero-filled) and
// points the instance at the design record and the active kernel.
void engine_alloc(engine_t* e, inst_t* inst);

// Allocates and prepares the input capture of the spectrum display for the instance's rate.
void capture_alloc(inst_t* inst);

void init_buffers(engine_t* e, inst_t* inst, engine_host_t* host, int fixed_block,
                  double input_buffer_size, double resolution);
void reinit_buffers(engine_t* e, inst_t* inst, engine_host_t* host, int fixed_block,
                    double input_buffer_size, double resolution);

// Reacts to a new sample rate only: re-sizes the engine and the capture.
void engine_reset(engine_t* e, inst_t* inst, engine_host_t* host, double samplerate);

// One host call of any length >= 0. Input samples that are not finite (NaN, either
// infinity) are taken as silence: through a block's transforms one such sample would spoil
// every output sample the block reaches, a whole hop and kernel long. They reach neither the
// output nor the spectrum display. The call runs with denormals flushed to zero
// (float_mode.h) and gives the caller's floating-point mode back on return.
void engine_process(engine_t* e, inst_t* inst, engine_host_t* host, double** inputs,
                    double** outputs, int frames);

// The band parameters' current values, as the band records are built from them.
band_params_t read_band_params(engine_host_t* host);

// Serves a pending band change: band records and parameters brought in line, the previous
// spectrum kept, the kernel redesigned and installed. Returns 1 when there was one.
int engine_update_kernel(engine_t* e, inst_t* inst, engine_host_t* host, int from_editor);
