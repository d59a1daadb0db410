// The toolkit's random numbers: a small deterministic generator instead of the C library's
// rand, so that every run (and every thread) draws the same reproducible stream and no
// drawing code touches shared global state.
#pragma once
#include <cstdint>

enum { RAND31_MAX = 0x7fffffff };

// Next value 0..RAND31_MAX of the calling thread's stream (like rand, but per thread).
int32_t rand31();
// Restarts the calling thread's stream; every thread starts as if seeded with 1.
void rand31_seed(uint32_t seed);

// A 32-bit value from three draws: bits 22..31, 11..21 and 0..10 in that order.
uint32_t rand32();
// A standard normal deviate (polar method).
double gaussian_rand();
