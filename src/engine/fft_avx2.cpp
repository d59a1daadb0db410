#include "engine/fft_kernels.h"
const fft_kernels_t* fft_kernels_avx2() { return nullptr; }
