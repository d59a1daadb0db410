#include "toolkit/fastfloat/fastfloat.h"

#include <cmath>
#include <cstdint>
#include <cstring>

double fastlog2(double x) {
  uint64_t bits;
  std::memcpy(&bits, &x, 8);
  int e = (int)((bits >> 52) & 2047) - 1023;
  uint64_t mbits = (bits & 0x000fffffffffffffull) | 0x3ff0000000000000ull;
  double m;
  std::memcpy(&m, &mbits, 8);
  const double* c = fastlog2_lut + 3 * ((bits >> 45) & 127);
  return e + c[0] + (c[1] + c[2] * m) * m;
}

double fastexp2(double x) {
  if (x != x) return x;
  double n = std::floor(x);
  double f = x - n;
  double one_f = 1.0 + f;
  uint64_t bits;
  std::memcpy(&bits, &one_f, 8);
  const double* c = fastexp2_lut + 3 * ((bits >> 46) & 63);
  double p = c[0] + (c[1] + c[2] * f) * f;
  if (n < -1022 || n > 1023) return std::ldexp(p, (int)n);  // below normal range or overflow
  uint64_t pbits = (uint64_t)((int64_t)n + 1023) << 52;
  double scale;
  std::memcpy(&scale, &pbits, 8);
  return p * scale;
}

double fastpow(double x, double p) {
  if (p == 1.0) return x;
  return fastexp2(fastlog2(x) * p);
}
