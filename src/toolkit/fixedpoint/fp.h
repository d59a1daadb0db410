// Fixed-point math for per-pixel work: Gaussian, error function, square root, bit length,
// cosine, arctangent and reciprocal from constant tables (fp_tables.cpp, written by
// tools/tablegen). Distances are 16.16 in units of a blur radius unless stated otherwise.
#pragma once
#include <cstdint>

extern const uint8_t ffo_lut[2048];
extern const uint16_t fpgauss_d0_lut[1024 + 8];
extern const uint16_t fperfr_lut[1025 + 7];
extern const int32_t fpgauss_d1i_lut[257 + 3];
extern const int32_t fracsqrt[1025 + 3];
extern const int32_t fpcos_lut[256 * 3];
extern const int32_t fpatan2_lut[130 * 3];   // segments -65..64
extern const int32_t fpdiv_lut[128 * 3];
static const int32_t* const fpatan2_lut_off = fpatan2_lut + 65 * 3;

// Bit length: 0 for 0, 1 for 1, 2 for 2..3, ...
inline int ffo32(uint32_t x) {
  if (x < (1u << 10)) return ffo_lut[x];
  if (x < (1u << 21)) return ffo_lut[x >> 10] + 10;
  return ffo_lut[x >> 21] + 21;
}
inline int ffo64(uint64_t x) {
  if (x >> 32) return ffo32((uint32_t)(x >> 32)) + 32;
  return ffo32((uint32_t)x);
}

// exp(-t^2) * 32768 for t >= 0 (16.16); 0 from 4 radii on.
inline int32_t fpgauss_d0(int64_t t) {
  if (t < 0) t = -t;
  if (t >= 4 * 65536) return 0;
  return fpgauss_d0_lut[t >> 8];
}

// (1 + erf(t)) / 2 * 32768: 0 at or below -4 radii, 32768 at or above +4.
inline int32_t fperfr_d0(int64_t t) {
  if (t <= -4 * 65536) return 0;
  if (t >= 4 * 65536) return 32768;
  return fperfr_lut[(t + 262144) >> 9];
}

// exp(-t^2) with 2^30 = 1.0, linearly interpolated; t >= 0 in 16.16, 0 from 4 radii on.
inline int32_t fpgauss_d1i(int64_t t) {
  if (t < 0) t = -t;
  if (t >= 4 * 65536) return 0;
  int i = (int)(t >> 10), f = (int)((t >> 2) & 255);
  const int32_t* T = fpgauss_d1i_lut;
  return 2 * T[i] + (int32_t)(((int64_t)(T[i + 1] - T[i]) * f) >> 7);
}

// Square root of a 64-bit value, rounded down for small values.
inline uint32_t isqrt_d1i(uint64_t x) {
  int n = ffo64(x) + 1;
  uint64_t v = x << ((64 - (n & 62)) & 63);
  int i = (int)(v >> 54);
  int64_t f = (int64_t)((v >> 36) & 262143);
  const int32_t* T = fracsqrt;
  int64_t s = ((int64_t)T[i] << 8) + (((int64_t)(T[i + 1] - T[i]) * f) >> 10);
  return (uint32_t)(s >> ((32 - (n >> 1)) & 31));
}

// hypot of two 16.16 values, 16.16 result.
inline int32_t fphypot(int32_t a, int32_t b) {
  return (int32_t)isqrt_d1i((uint64_t)((int64_t)a * a + (int64_t)b * b));
}

// cos of a 32-bit angle (2^32 = a full turn), 2^25 = 1.0.
inline int32_t fpcos_d2(uint32_t x) {
  const int32_t* c = fpcos_lut + 3 * (x >> 24);
  int64_t X = x;
  int64_t t = ((int64_t)c[2] * X) >> 32;
  return (int32_t)((((t + c[1]) * X) >> 32) + c[0]);
}

// 2^54 / x for x normalised into 2^26 .. 2^27 - 1.
inline int64_t fpdiv_d2(int64_t x) {
  const int32_t* c = fpdiv_lut + 3 * ((x - (1 << 26)) >> 19);
  int64_t t = ((int64_t)c[2] * x) >> 27;
  return (((t + c[1]) * x) >> 27) + c[0];
}

// Direction of (x, y) as a 32-bit angle: 0 along +x, 2^30 along +y, 2^31 along -x.
inline int32_t fpatan2_d2(int64_t y, int64_t x) {
  int64_t a = x < 0 ? -x : x, b = y < 0 ? -y : y;
  while (a + b >= 0x7fffffff) { a >>= 1; b >>= 1; }
  int64_t sum = a + b;
  if (sum == 0) return 0;
  int n = ffo32((uint32_t)sum);
  int64_t norm = n > 27 ? sum >> (n - 27) : sum << (27 - n);
  int64_t q = fpdiv_d2(norm) * (b - a);
  int64_t r = n >= 3 ? q >> (n - 3) : q * ((int64_t)1 << (3 - n));
  const int32_t* c = fpatan2_lut_off + 3 * (r >> 24);
  int64_t t = ((int64_t)c[2] * r) >> 30;
  int64_t ang = (((t + c[1]) * r) >> 30) + c[0];
  if (x < 0) ang = ((int64_t)1 << 31) - ang;
  if (y < 0) ang = -ang;
  return (int32_t)(uint32_t)ang;
}
