#include "toolkit/graphics/srgb.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "toolkit/math/rand.h"

bool image_alloc(image_t* img, int w, int h, bool with_srgb) {
  *img = image_t{0, 0, nullptr, nullptr};
  if (w <= 0 || h <= 0) return false;
  size_t n = (size_t)w * (size_t)h;
  img->l = (lrgb_t*)calloc(n, sizeof(lrgb_t));
  if (with_srgb) img->srgb = (srgb_t*)calloc(n, sizeof(srgb_t));
  if (!img->l || (with_srgb && !img->srgb)) {
    image_free(img);
    return false;
  }
  img->w = w;
  img->h = h;
  return true;
}

void image_free(image_t* img) {
  free(img->l);
  free(img->srgb);
  *img = image_t{0, 0, nullptr, nullptr};
}

double lsrgb(double v) { return v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1 / 2.4) - 0.055; }

double slrgb(double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); }

const lut_t& get_lut_lsrgb() {
  static const lut_t lut = [] {
    int32_t* v = new int32_t[32769];
    for (int i = 0; i <= 32768; i++) v[i] = (int32_t)(lsrgb(i / 32768.0) * 8160 + 0.5);
    return lut_t{32769, v, nullptr};
  }();
  return lut;
}

const lut_t& get_lut_slrgb() {
  static const lut_t lut = [] {
    int32_t* v = new int32_t[256];
    for (int i = 0; i < 256; i++) v[i] = (int32_t)(slrgb(i / 255.0) * 32768 + 0.5);
    return lut_t{256, v, nullptr};
  }();
  return lut;
}

// The display conversion indexes the clamp table (margin 4) with (value + d) >> 5 for
// values 0..8160, so d is held to -128..159: beyond about 8 standard deviations, which
// only an extreme draw reaches.
enum { DITHER_MIN = -128, DITHER_MAX = 159 };

lut_t dither_lut_init() {
  int32_t* v = new int32_t[16384];
  for (int i = 0; i < 16384; i++) {
    double d = std::nearbyint((gaussian_rand() + 0.5) * 16);
    v[i] = d < DITHER_MIN ? DITHER_MIN : d > DITHER_MAX ? DITHER_MAX : (int32_t)d;
  }
  return lut_t{16384, v, nullptr};
}

lut_t bytecheck_lut_init(int margin) {
  if (margin < 0) margin = 0;
  uint8_t* b = new uint8_t[2 * margin + 256];
  for (int i = -margin; i < 256 + margin; i++) b[i + margin] = (uint8_t)(i < 0 ? 0 : i > 255 ? 255 : i);
  return lut_t{2 * margin + 256, nullptr, b + margin};
}

void lut_free(lut_t* lut) {
  delete[] lut->v;
  if (lut->clamp) {
    int margin = (lut->n - 256) / 2;
    delete[] (lut->clamp - margin);
  }
  *lut = lut_t{0, nullptr, nullptr};
}

namespace {

// The conversion's private copy of the linear-to-sRGB table as 16-bit entries: half the
// cache footprint of the shared table, same values.
const uint16_t* lsrgb16() {
  static const uint16_t* t = [] {
    uint16_t* v = new uint16_t[32769];
    const int32_t* src = get_lut_lsrgb().v;
    for (int i = 0; i <= 32768; i++) v[i] = (uint16_t)src[i];
    return v;
  }();
  return t;
}

inline int chan(uint16_t c) { return c > 32768 ? 32768 : c; }

// Writes bytes 1..3 of a pixel, keeping byte 0.
inline void put_rgb(srgb_t* o, int r, int g, int b) {
  o->r = (uint8_t)r;
  o->g = (uint8_t)g;
  o->b = (uint8_t)b;
}

// n pixels of one dither run (dp[k] for pixel k). With SSE2, four pixels at a time: the
// signed saturating pack clamps to bytes as the clamp table would (the dither bound keeps
// every sum within 16 bits), and byte 0 of each output is merged back unchanged.
void convert_run(srgb_t* out, const lrgb_t* in, int n, const int32_t* dp, const uint16_t* table,
                 const uint8_t* clamp) {
  int k = 0;
#ifdef __SSE2__
  const __m128i keep = _mm_set1_epi32(0xff);
  for (; k + 4 <= n; k += 4) {
    const lrgb_t* p = in + k;
    auto t = [&](int j, uint16_t c) { return (short)(table[chan(c)] + dp[k + j]); };
    __m128i lo = _mm_set_epi16(t(1, p[1].b), t(1, p[1].g), t(1, p[1].r), 0, t(0, p[0].b), t(0, p[0].g),
                               t(0, p[0].r), 0);
    __m128i hi = _mm_set_epi16(t(3, p[3].b), t(3, p[3].g), t(3, p[3].r), 0, t(2, p[2].b), t(2, p[2].g),
                               t(2, p[2].r), 0);
    __m128i v = _mm_packus_epi16(_mm_srai_epi16(lo, 5), _mm_srai_epi16(hi, 5));
    __m128i old = _mm_loadu_si128((const __m128i*)(const void*)(out + k));
    _mm_storeu_si128((__m128i*)(void*)(out + k), _mm_or_si128(_mm_and_si128(old, keep), _mm_andnot_si128(keep, v)));
  }
#endif
  for (; k < n; k++) {
    int d = dp[k];
    put_rgb(out + k, clamp[(table[chan(in[k].r)] + d) >> 5], clamp[(table[chan(in[k].g)] + d) >> 5],
            clamp[(table[chan(in[k].b)] + d) >> 5]);
  }
}

}  // namespace

void convert_lrgb_to_srgb(srgb_t* out, const lrgb_t* in, int count, int dither) {
  static const uint16_t* table = lsrgb16();
  static const lut_t dither_l = dither_lut_init();
  static const lut_t clamp_l = bytecheck_lut_init(4);
  uint32_t r1 = (uint32_t)rand31(), r2 = (uint32_t)rand31();
  if (dither != 1) {
    static const int32_t zeros[16384] = {};  // plain truncation is a run of zero dither
    for (int i = 0; i < count; i += 16384)
      convert_run(out + i, in + i, count - i < 16384 ? count - i : 16384, zeros, table, clamp_l.clamp);
    return;
  }
  const int32_t* dt = dither_l.v;
  const uint8_t* clamp = clamp_l.clamp;
  uint32_t p = r1 & 16383, e = (r1 + (r2 & 1023) + 100) & 16383;
  int i = 0;
  while (i < count) {
    // A run of consecutive dither entries up to the run's end (wrapping at 16384).
    // Runs also stop at the table's end, so that an inner run reads it contiguously.
    int run = (int)((e - p) & 16383);
    if (run == 0) run = 16384;
    if (run > (int)(16384 - p)) run = (int)(16384 - p);
    int stop = count - i < run ? count : i + run;
    convert_run(out + i, in + i, stop - i, dt + p, table, clamp);
    p = (p + (uint32_t)(stop - i)) & 16383;
    i = stop;
    if (p == e) {
      uint32_t r3 = (uint32_t)rand31();
      p = r3 & 16383;
      e = (r3 + ((uint32_t)rand31() & 1023) + 100) & 16383;
    }
  }
}

void convert_srgb_to_lrgb(const srgb_t* in, lrgb_t* out, int count) {
  static const int32_t* table = get_lut_slrgb().v;
  for (int i = 0; i < count; i++) {
    out[i].r = (uint16_t)table[in[i].r];
    out[i].g = (uint16_t)table[in[i].g];
    out[i].b = (uint16_t)table[in[i].b];
  }
}
