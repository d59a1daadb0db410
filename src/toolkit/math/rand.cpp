#include "toolkit/math/rand.h"

#include <cmath>

namespace {

// splitmix64: tiny, fast and statistically sound for dither and test noise.
struct rand_stream_t {
  uint64_t state = 0x9e3779b97f4a7c15ull;  // the stream of seed 1
};
thread_local rand_stream_t stream;

uint64_t splitmix_next(uint64_t* s) {
  uint64_t z = (*s += 0x9e3779b97f4a7c15ull);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
  return z ^ (z >> 31);
}

}  // namespace

int32_t rand31() { return (int32_t)(splitmix_next(&stream.state) >> 33); }

void rand31_seed(uint32_t seed) { stream.state = 0x9e3779b97f4a7c15ull * (uint64_t)seed; }

uint32_t rand32() {
  // Each part comes from the high bits of its 31-bit draw.
  uint32_t a = (uint32_t)rand31(), b = (uint32_t)rand31(), c = (uint32_t)rand31();
  return ((a << 1) & 0xffc00000u) | ((b >> 9) & 0x003ff800u) | ((c >> 20) & 0x000007ffu);
}

double gaussian_rand() {
  double u, v, s;
  do {
    u = 2.0 * rand32() / 4294967295.0 - 1.0;
    v = 2.0 * rand32() / 4294967295.0 - 1.0;
    s = u * u + v * v;
  } while (s >= 1.0);
  return u * std::sqrt(-2.0 * std::log(s) / s);
}
