// Shared by the libFuzzer targets: a forward reader of the input, a check that stops the run
// with a message, and one long-lived instance set up as a host sets it up.
#pragma once
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/inst.h"
#include "engine/params.h"
#include "plugin/Quillmar.h"

// A broken invariant is a finding: libFuzzer keeps the input that caused it.
#define FUZZ_CHECK(cond, ...)                                           \
  do {                                                                  \
    if (!(cond)) {                                                      \
      std::fprintf(stderr, "fuzz check failed: %s: ", #cond);           \
      std::fprintf(stderr, __VA_ARGS__);                                \
      std::fprintf(stderr, "\n");                                       \
      std::abort();                                                     \
    }                                                                   \
  } while (0)

// The input read front to back; past its end every value is zero.
struct fuzz_bytes_t {
  const uint8_t* p;
  size_t n;
  bool empty() const { return n == 0; }
  uint8_t u8() {
    if (!n) return 0;
    --n;
    return *p++;
  }
  uint16_t u16() { return static_cast<uint16_t>(u8() | u8() << 8); }
  // Any bit pattern: NaNs and infinities included.
  double f64() {
    uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits |= uint64_t(u8()) << (8 * i);
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
  }
};

// Settings folder in a fresh temporary folder (never the user's), resources from the tree.
void fuzz_scratch_config();

// The target's one long-lived instance (made by the first run), brought back to the state
// of a fresh one: default parameters, 44100 Hz, the block size, stereo in and out, the limiter
// at rest, nothing in flight.
Quillmar* fuzz_fresh_instance(int block);

// Every parameter finite and inside its range.
void fuzz_check_params(Quillmar* plug);

// The engine's sizes agree with the latency the host was told.
void fuzz_check_sizes(Quillmar* plug);

// One host call through the 32-bit float frame with a deterministic signal; every output
// sample must be finite. Returns the number of frames processed.
int fuzz_process(Quillmar* plug, int frames, int channels, uint32_t seed);
