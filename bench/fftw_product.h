// The complex product of the plain FFTW loops the benchmarks compare against.
#pragma once
#include <fftw3.h>

// spec[k] *= kernel[k] for the bins of an r2c spectrum.
inline void fftw_product(fftw_complex* spec, const fftw_complex* kernel, int bins) {
  for (int k = 0; k < bins; ++k) {
    const double re = spec[k][0] * kernel[k][0] - spec[k][1] * kernel[k][1];
    spec[k][1] = spec[k][0] * kernel[k][1] + spec[k][1] * kernel[k][0];
    spec[k][0] = re;
  }
}
