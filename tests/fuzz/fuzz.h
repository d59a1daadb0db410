// Shared by the libFuzzer targets: a forward reader of the input, a check that stops the run
// with a message, and checks of a plug-in's parameters and sizes (any host's build).
#pragma once
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/engine.h"
#include "framework/IPluginBase.h"

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

// Settings folder in a fresh temporary folder (never the user's), made once per process.
inline void fuzz_scratch_config() {
  static bool made = false;
  if (made) return;
  char tmpl[] = "/tmp/quillmar-fuzz-XXXXXX";
  if (!mkdtemp(tmpl)) std::abort();
  setenv("QUILLMAR_CONFIG_DIR", tmpl, 1);
  made = true;
}

// Every parameter finite and inside its range.
inline void fuzz_check_params(const IPluginBase* plug) {
  for (int i = 0; i < plug->NParams(); ++i) {
    const IParam* p = plug->GetParam(i);
    const double v = p->Value();
    FUZZ_CHECK(std::isfinite(v) && v >= p->GetMin() && v <= p->GetMax(), "parameter %d = %g", i, v);
  }
}

// The engine's sizes agree with each other and with the latency the host was told.
inline void fuzz_check_sizes(const engine_t& e, int latency) {
  FUZZ_CHECK(e.kernel_size % 2 == 1 && e.hop_size >= 1 && e.fft_size <= ENGINE_MAX_FFT &&
                 e.hop_size == e.fft_size + 1 - e.kernel_size,
             "K %d N %d hop %d", e.kernel_size, e.fft_size, e.hop_size);
  FUZZ_CHECK(latency == e.kernel_size / 2 + e.hop_size, "latency %d, K %d, hop %d", latency,
             e.kernel_size, e.hop_size);
}
