// Building blocks of the FFT shared by the plan and the kernel sets (not for users).
//
// The complex transform is a self-sorting (Stockham) decimation in frequency: a pass of
// radix p with stride s and span m reads x[q + s (j + m r)] and writes
// y[q + s (p j + k)] = W_pm^(jk) * sum_r x[q + s (j + m r)] W_p^(rk), all values complex
// (re, im) pairs. A call runs j = 0 .. count - 1 (the whole pass when count == m, or a
// chunk of it from offset x and y). Only the forward direction exists; the inverse
// conjugates on the way in and out.
#pragma once
#include <cstddef>
#include <cstdint>

struct fft_pass_t;
struct fft_plan_t;

// Factors n, lays out and fills the plan's tables, and sets cached = 1.
void fft_prepare(fft_plan_t* plan, int n);

// conj_out != 0 stores the conjugate of every result (last pass of an inverse).
typedef void (*fft_pass_fn)(const fft_pass_t* pass, const double* x, double* y, int conj_out);
// Even n: complex spectrum z of n / 2 values -> halfcomplex out, times scale.
typedef void (*fft_post_fn)(const double* z, double* out, int n, const double* tw, double scale);
// Even n: halfcomplex in -> conjugated complex spectrum of n / 2 values, times scale.
typedef void (*fft_pre_fn)(const double* in, double* z, int n, const double* tw, double scale);

// Even n: the product of a convolution between the two transforms, in one pass. From the
// complex spectrum z of n / 2 values (as the forward passes leave it): post, times the
// halfcomplex kernel (plus the same of z2 and kernel2 when z2 is not null), then pre, times
// scale, into zo (may be z or z2).
typedef void (*fft_mul_fn)(const double* z, const double* kernel, const double* z2, const double* kernel2,
                           double* zo, int n, const double* tw, double scale);

// The first pass (stride 1) of a forward transform whose complex input values from `live`
// on are all zero: a butterfly with only its first input left scales that one by its
// twiddles. The results are the pass's to rounding.
typedef void (*fft_head_fn)(const fft_pass_t* pass, const double* x, double* y, size_t live);

// The radices the kernel sets run (2 to 5, 8 and 9); the plan's other radices go to the
// generic passes.
enum { FFT_KERNEL_RADICES = 10 };
inline bool fft_kernel_radix(int p) { return p <= 5 || p == 8 || p == 9; }

struct fft_kernels_t {
  fft_pass_fn pass[FFT_KERNEL_RADICES];  // by radix
  fft_post_fn post;
  fft_pre_fn pre;
  fft_mul_fn mul;
  fft_head_fn head[FFT_KERNEL_RADICES];  // by radix; null: the plain pass serves
};

// Plain C++ kernels, for every processor.
const fft_kernels_t* fft_kernels_portable();
// AVX2 and FMA kernels; null when the processor lacks them.
const fft_kernels_t* fft_kernels_avx2();
// AVX-512 passes after the first, the rest AVX2's; null when the processor lacks either.
const fft_kernels_t* fft_kernels_avx512();

// Plain versions of fft_post_fn and fft_pre_fn for bin 0 and bins from .. n / 4; the
// vector kernels hand them what is left over.
void fft_post_scalar(const double* z, double* out, int n, const double* tw, double scale,
                     int from);
void fft_pre_scalar(const double* in, double* z, int n, const double* tw, double scale,
                    int from);
// Bins from .. n / 4 and then bin 0 with the Nyquist bin.
void fft_mul_scalar(const double* z, const double* kernel, const double* z2, const double* kernel2, double* zo,
                    int n, const double* tw, double scale, int from);

// Radix 7 and up, with the plan's roots table. Uses `scratch` (or else x) as scratch space.
void fft_pass_generic(const fft_pass_t* pass, double* x, double* y, int conj_out,
                      double* scratch, size_t scratch_len);

// Roots of unity of order n from two short tables: W^t = hi[t / block] * lo[t % block].
struct fft_roots_t {
  const double* lo;
  const double* hi;
  int32_t n;
  int32_t block;
};
// The table of order n lives in fft_roots_size(n) doubles at mem; build fills it, view
// only points into it.
int fft_roots_size(int n);
fft_roots_t fft_roots_build(double* mem, int n);
fft_roots_t fft_roots_view(const double* mem, int n);
// Radix 7 and up, its roots from the two-level table of the transform's length (roots->n).
void fft_pass_lean(const fft_pass_t* pass, double* x, double* y, int conj_out,
                   const fft_roots_t* roots, double* scratch, size_t scratch_len);
// W^t (t < n) into w[0], w[1].
void fft_root(const fft_roots_t* roots, int64_t t, double* w);
// The twiddle table [j][k - 1] of a pass of radix p and stride s (whose roots are those of
// roots->n), for j = j0 .. j0 + count - 1.
void fft_twiddles(const fft_roots_t* roots, int p, int s, int j0, int count, double* w);

// Index in the real-split twiddle table of bin k >= 1: blocks of four bins k, k + 2, k + 1,
// k + 3, real parts then imaginary parts, which is the lane order of the vector kernels.
inline int fft_post_index(int k) {
  const int r = (k - 1) & 3;
  return 8 * ((k - 1) >> 2) + (((r & 1) << 1) | (r >> 1));
}
