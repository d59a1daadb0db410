// FIR kernel design by frequency sampling: the band curve is sampled at the FFT bins as
// amplitudes, given the linear phase of a delay of K / 2 samples, brought into the time
// domain, truncated to K taps under a Blackman window and transformed back.
#pragma once
#include <cstdint>

#include "engine/flags.h"

struct eqband_t;
struct fft_plan_t;
struct gc_list_t;
struct inst_t;
struct mutex_t;

struct design_t {
  double* spectrum;           // halfcomplex spectrum of the finished kernel (N values)
  double* kernel;             // K taps, then zeros up to N
  double* previous_spectrum;  // the kernel before the last redesign, for the crossfade
  // The pure delay of K / 2 samples (unit magnitude) and the Blackman window of K taps, as
  // made for the sizes made_k and made_n: shared read-only by the process (design.cpp), or
  // the record's own own_phase and own_window when the shared table is full.
  const double* phase;
  const double* window;
  double* own_phase;
  double* own_window;
  fft_plan_t* plan;           // both directions
  // The curve sampled at the bins, before the delay: the next design's, and the one spectrum
  // and kernel were made from while sampled_kept is 1 (free_design, which every change of
  // sizes passes through, clears it).
  double* sampled;
  double* sampled_last;
  int32_t sampled_kept;
  int32_t extent;             // values of the arrays touched since they were last zeroed
  int32_t made_k, made_n;
  int32_t designed_k, designed_n;  // the sizes and the rate of the kernel in spectrum
  double designed_fs;
};

int kernel_size_calc(int samplerate, double resolution);
void blackman_coefs(double* w, int n);

void init_design(gc_list_t* owner, design_t* design, int kernel_size, int fft_size);
void free_design(design_t* design, int kernel_size, int fft_size);

// Sorts the bands, refreshes the per-column curve (published under lock_curve) and, unless
// curve_only, designs the kernel for K and N at the sample rate. A curve-only call before the
// first full design does nothing. The instance gives the allocation list and the view.
void design_filters(inst_t* inst, design_t* design, eqband_t* bands,
                    eqband_t* sorted, int kernel_size, int fft_size, double* curve_cols,
                    flag_t* curve_new, mutex_t* lock_curve, int width, int* count,
                    int curve_only, double samplerate);

// Installs a kernel spectrum into dst and publishes it to the editor's view under the lock.
void mix_firs(const double* src, double* dst, int n, double* view, mutex_t* lock,
              flag_t* view_new);
