// The floating-point mode of the audio path: numbers too small for the normal range
// (denormals) read and come out as zero, so that tiny inputs and fading signals cost what
// normal audio costs. The processing call sets the mode on entry and gives the caller's mode
// back on return. On processors without such a mode nothing changes.
#pragma once
#include <cstdint>

// Flushes denormals to zero in results and in operands from now on; returns the mode it
// replaced, for float_mode_restore.
uint64_t float_mode_flush_denormals();
void float_mode_restore(uint64_t mode);
