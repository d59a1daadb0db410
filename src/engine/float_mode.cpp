#include "engine/float_mode.h"

#if defined(__x86_64__) || defined(_M_X64)
#include <xmmintrin.h>

// MXCSR: flush to zero (bit 15) and denormals are zero (bit 6), which every x86-64 processor
// has.
uint64_t float_mode_flush_denormals() {
  const unsigned csr = _mm_getcsr();
  _mm_setcsr(csr | 0x8040u);
  return csr;
}

void float_mode_restore(uint64_t mode) { _mm_setcsr(static_cast<unsigned>(mode)); }

#elif defined(__aarch64__)
// mutate: off (not built on x86-64, where the runner runs)

// FPCR: flush to zero (bit 24), for results and operands alike.
uint64_t float_mode_flush_denormals() {
  uint64_t fpcr;
  __asm__ volatile("mrs %0, fpcr" : "=r"(fpcr));
  __asm__ volatile("msr fpcr, %0" : : "r"(fpcr | (uint64_t(1) << 24)));
  return fpcr;
}

void float_mode_restore(uint64_t mode) { __asm__ volatile("msr fpcr, %0" : : "r"(mode)); }

#else

uint64_t float_mode_flush_denormals() { return 0; }
void float_mode_restore(uint64_t) {}
// mutate: on

#endif
