// Real FFT of any length, unitary, in halfcomplex order.
//
// Spectrum layout: index 0 holds bin 0, index k the real and index n - k the imaginary
// part of bin k, and for even n index n / 2 the Nyquist bin. Both directions scale by
// 1 / sqrt(n), so a forward and an inverse transform in a row give back the input.
//
// A plan holds everything a transform touches; fftp never allocates. It prepares the
// plan for a size on the first call after `cached` was reset (or when n differs from the
// size it was prepared for) and reuses it for every later call of that size.
#pragma once
#include <cstdint>

struct gc_list_t;

enum { FFT_WORK_CAPACITY = 470000, FFT_MAX_SIZE = 234992 };
// aux: roots table, then twiddles of lean plans, then butterfly scratch.
enum { FFT_AUX_ROOTS = 2048, FFT_AUX_TWIDDLES = 8192, FFT_AUX_SCRATCH = 6144 };
enum { FFT_MAX_PASSES = 40, FFT_AUX_CAPACITY = FFT_AUX_ROOTS + FFT_AUX_TWIDDLES + FFT_AUX_SCRATCH };

// One radix pass of the complex transform (the indexing is in fft_kernels.h).
struct fft_pass_t {
  int32_t radix;        // butterfly size p
  int32_t stride;       // s: number of interleaved sub-transforms before this pass
  int32_t count;        // butterflies per sub-transform run by this call
  int32_t span;         // m: remaining length / p, the distance between butterfly inputs
  const double* tw;     // twiddles [j][k - 1] as (re, im) from j = 0, or null (all 1)
  const double* roots;  // a radix the kernel sets lack (7 and up, but 9): its p-th roots as (re, im), or null
};

struct fft_kernels_t;

struct fft_plan_t {
  double* work[2];  // two arrays of FFT_WORK_CAPACITY doubles, tracked allocations
  int32_t factors[64];  // n, the number of passes, then the radices
  int32_t cached;   // 1 when the plan holds the twiddles/factors of the last size used

  // Prepared state, valid while cached == 1.
  int32_t size;      // n
  int32_t cn;        // length of the complex transform: n / 2 for even n, else n
  int32_t npasses;
  int32_t lean;      // twiddles made per call, in chunks (odd sizes too large for tables)
  double* aux;       // FFT_AUX_CAPACITY doubles
  double* a;         // complex scratch, cn values
  double* b;         // complex scratch, cn values
  const double* post;  // even n: twiddles of the real split, in blocks of four bins
  const fft_kernels_t* kern;
  fft_pass_t pass[FFT_MAX_PASSES];
};

// Creates a plan with cached = 0, its arrays tracked allocations of `owner`; n is not
// used. Returns null when an allocation fails.
fft_plan_t* fft_plan_init(gc_list_t* owner, int n);

// direction 0: real `in` -> halfcomplex `out`; any other value: halfcomplex `in` -> real
// `out`. `in` is never modified unless it is `out` (in == out is allowed). n = 1 copies;
// n = 0 or a null pointer does nothing; n < 0 or n > FFT_MAX_SIZE prints
// "fftp(): argument n = <n>" to standard error and writes nothing.
void fftp(double* in, double* out, int n, int direction, fft_plan_t* plan);

// The convolution of a real signal with a kernel given by its halfcomplex spectrum: to
// rounding, what a forward fftp, fftconv with the kernel and an inverse fftp give, with the
// product made in one pass between the two transforms for even n. `in` is not changed; out
// may be in. Nothing is allocated. filled >= 0 promises that in[filled ..] are zero (and
// for fft_convolve2, in2's too).
void fft_convolve(const double* in, const double* kernel, double* out, int n, fft_plan_t* plan, int filled = -1);
// The sum of two such convolutions (a crossfade between two kernels), with one inverse
// transform for even n. in is not changed; in2 serves as working space and is left
// undefined; out may be neither.
void fft_convolve2(const double* in, const double* kernel, double* in2, const double* kernel2, double* out, int n,
                   fft_plan_t* plan, int filled = -1);

// The smallest entry >= n of the table of fast sizes; above the table, the smallest
// integer >= n with no prime factor but 2, 3 and 5; -1 when no such int exists.
int next_fast_fft_size(int n);

// Halfcomplex spectrum to magnitudes in place, up to bin (n - 1) / 2. The Nyquist value
// of an even n keeps its sign and the upper half is left as it was.
void polar_mag(double* hc, int n);
