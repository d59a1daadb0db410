// Small routines of the block convolution.
#pragma once

// Product of two halfcomplex spectra of length n; out may be a or b.
void fftconv(const double* a, const double* b, double* out, int n);

// Copies n samples with every NaN and infinity replaced by silence (0).
void copy_finite(double* dst, const double* src, int n);
// dst[i] += src[i] for n values.
void add_into(double* dst, const double* src, int n);
// Moves n values from src to dst, leaving zeros behind; true when every value moved lies at
// or under limit in size (a NaN does not).
bool move_under(double* dst, double* src, int n, double limit);

// Multiplies buf[0 .. n-1] by a raised-cosine fade: out (1 -> 0) or in (0 -> 1).
void hann_transition(double* buf, int n, int fade_out);

// The FFT size for a kernel of K taps and a block of fixed_block samples, or, with
// fixed_block 0, a block of (K - 1) * 1.5 * ratio samples (at least 128).
int fft_size_calc(int fixed_block, int kernel_size, double ratio);

// The analysis length of the spectrum display at a sample rate.
int last2k_size_calc(int samplerate);
