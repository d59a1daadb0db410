#include "toolkit/graphics/srgb.h"
#include "toolkit/simd_target.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
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

enum { DITHER_ENTRIES = 16384, DITHER_MASK = DITHER_ENTRIES - 1, CHUNK = 1024 };

// The linear-to-sRGB values as 16 bits for every 16-bit channel: a channel above 32768 reads
// as 32768, so no pixel needs a range check.
const uint16_t* lsrgb16() {
  static const uint16_t* t = [] {
    uint16_t* v = new uint16_t[65536];
    const int32_t* src = get_lut_lsrgb().v;
    for (int i = 0; i < 65536; i++) v[i] = (uint16_t)src[i > 32768 ? 32768 : i];
    return v;
  }();
  return t;
}

// What the display conversion reads, built on its first call: the dither table takes its
// deviates from the rand stream at that moment.
struct convert_tables_t {
  const uint16_t* lsrgb;
  lut_t dither;
  lut_t clamp;
  uint64_t* dither_keys;  // each dither value in lanes 1..3, ready to add to a key
};

const convert_tables_t& tables() {
  static const convert_tables_t t = [] {
    convert_tables_t c;
    c.lsrgb = lsrgb16();
    c.dither = dither_lut_init();
    c.clamp = bytecheck_lut_init(4);
    c.dither_keys = new uint64_t[DITHER_ENTRIES];
    for (int i = 0; i < DITHER_ENTRIES; i++) {
      const uint64_t d = (uint16_t)(int16_t)c.dither.v[i];
      c.dither_keys[i] = d << 16 | d << 32 | d << 48;
    }
    return c;
  }();
  return t;
}

inline uint64_t key_of(const lrgb_t& p, const uint16_t* table) {
  return (uint64_t)table[p.r] << 16 | (uint64_t)table[p.g] << 32 | (uint64_t)table[p.b] << 48;
}

inline bool same(const lrgb_t& a, const lrgb_t& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// The frame reads the dither table in runs of 100 to 1123 consecutive entries, each run
// starting at a random place, so that no fixed dither pattern shows.
struct dither_walk_t {
  uint32_t p, e;

  // Draws two values from rand, in this order, on every conversion.
  void start() {
    const uint32_t r1 = (uint32_t)rand31();
    const uint32_t r2 = (uint32_t)rand31();
    p = r1 & DITHER_MASK;
    e = (r1 + (r2 & 1023) + 100) & DITHER_MASK;
  }
  // The next stretch of at most n dither keys, read in place from the table: its length goes
  // to *run. A run also stops at the table's end.
  const uint64_t* next(const uint64_t* table, int n, int* run) {
    int r = (int)((e - p) & DITHER_MASK);
    if (r == 0) r = DITHER_ENTRIES;
    if (r > (int)(DITHER_ENTRIES - p)) r = (int)(DITHER_ENTRIES - p);
    *run = r < n ? r : n;
    const uint64_t* at = table + p;
    p = (p + (uint32_t)*run) & DITHER_MASK;
    if (p == e) start();
    return at;
  }
};

// Where a conversion's pixels go: srgb_t with byte 0 kept, or a display's 32-bit words
// 0x00RRGGBB with the alpha bits of `opaque` set.
struct to_srgb_t {
  typedef srgb_t pixel;
  static constexpr bool words = false;
  uint32_t opaque;
};
struct to_xrgb_t {
  typedef uint32_t pixel;
  static constexpr bool words = true;
  uint32_t opaque;
};

// One pixel from its key and dither.
inline void put_key(srgb_t* o, uint64_t key, uint64_t dq, const uint8_t* clamp, uint32_t) {
  const int d = (int16_t)(dq >> 16);
  o->r = clamp[((int)(key >> 16 & 0xffff) + d) >> 5];
  o->g = clamp[((int)(key >> 32 & 0xffff) + d) >> 5];
  o->b = clamp[((int)(key >> 48) + d) >> 5];
}
inline void put_key(uint32_t* o, uint64_t key, uint64_t dq, const uint8_t* clamp, uint32_t opaque) {
  srgb_t p;
  put_key(&p, key, dq, clamp, 0);
  *o = (uint32_t)p.r << 16 | (uint32_t)p.g << 8 | p.b | opaque;
}

// n pixels with their dither dq. Where all pixels of a group equal their reference pixels
// (ref may be null), the reference keys serve; otherwise the keys are looked up. Every key
// goes to keys (may be null). With SSE2, four pixels at a time: the signed saturating pack
// clamps to bytes as the clamp table would (the dither bound keeps every sum within 16 bits),
// and byte 0 of each output is merged back unchanged (for words, the channels are reversed
// before the pack and the alpha bits set).
template <class To>
void convert_span(typename To::pixel* out, const lrgb_t* in, int n, const uint64_t* dq, const lrgb_t* ref,
                  const uint64_t* ref_keys, uint64_t* keys, To to, const convert_tables_t& t) {
  int k = 0;
#ifdef __SSE2__
  const __m128i keep = _mm_set1_epi32(0xff), opaque = _mm_set1_epi32((int)to.opaque);
  for (; k + 4 <= n; k += 4) {
    __m128i k0, k1;
    bool known = false;
    if (ref) {
      const __m128i e0 = _mm_cmpeq_epi8(_mm_loadu_si128((const __m128i*)(const void*)(in + k)),
                                        _mm_loadu_si128((const __m128i*)(const void*)(ref + k)));
      const __m128i e1 = _mm_cmpeq_epi8(_mm_loadu_si128((const __m128i*)(const void*)(in + k + 2)),
                                        _mm_loadu_si128((const __m128i*)(const void*)(ref + k + 2)));
      known = _mm_movemask_epi8(_mm_and_si128(e0, e1)) == 0xffff;
    }
    if (known) {
      k0 = _mm_loadu_si128((const __m128i*)(const void*)(ref_keys + k));
      k1 = _mm_loadu_si128((const __m128i*)(const void*)(ref_keys + k + 2));
    } else {
      k0 = _mm_set_epi64x((long long)key_of(in[k + 1], t.lsrgb), (long long)key_of(in[k], t.lsrgb));
      k1 = _mm_set_epi64x((long long)key_of(in[k + 3], t.lsrgb), (long long)key_of(in[k + 2], t.lsrgb));
    }
    if (keys) {
      _mm_storeu_si128((__m128i*)(void*)(keys + k), k0);
      _mm_storeu_si128((__m128i*)(void*)(keys + k + 2), k1);
    }
    __m128i v0 = _mm_srai_epi16(_mm_add_epi16(k0, _mm_loadu_si128((const __m128i*)(const void*)(dq + k))), 5);
    __m128i v1 = _mm_srai_epi16(_mm_add_epi16(k1, _mm_loadu_si128((const __m128i*)(const void*)(dq + k + 2))), 5);
    if (To::words) {
      v0 = _mm_shufflehi_epi16(_mm_shufflelo_epi16(v0, 0x1b), 0x1b);
      v1 = _mm_shufflehi_epi16(_mm_shufflelo_epi16(v1, 0x1b), 0x1b);
      _mm_storeu_si128((__m128i*)(void*)(out + k), _mm_or_si128(_mm_packus_epi16(v0, v1), opaque));
      continue;
    }
    const __m128i v = _mm_packus_epi16(v0, v1);
    const __m128i old = _mm_loadu_si128((const __m128i*)(const void*)(out + k));
    _mm_storeu_si128((__m128i*)(void*)(out + k), _mm_or_si128(_mm_and_si128(old, keep), _mm_andnot_si128(keep, v)));
  }
#endif
  for (; k < n; k++) {
    const uint64_t key = ref && same(in[k], ref[k]) ? ref_keys[k] : key_of(in[k], t.lsrgb);
    if (keys) keys[k] = key;
    put_key(out + k, key, dq[k], t.clamp.clamp, to.opaque);
  }
}

#if defined(__GNUC__) && defined(__x86_64__)
QM_SIMD_PUSH("avx2")
// The same with AVX2, eight pixels at a time (a 256-bit pack interleaves its two halves,
// hence the permute); the rest of a span goes to the version above.
inline __m256i load(const void* p) { return _mm256_loadu_si256((const __m256i*)p); }

inline __m256i lookup4(const lrgb_t* in, const uint16_t* table) {
  return _mm256_set_epi64x((long long)key_of(in[3], table), (long long)key_of(in[2], table),
                           (long long)key_of(in[1], table), (long long)key_of(in[0], table));
}

template <class To>
void convert_span_avx2(typename To::pixel* out, const lrgb_t* in, int n, const uint64_t* dq, const lrgb_t* ref,
                       const uint64_t* ref_keys, uint64_t* keys, To to, const convert_tables_t& t) {
  int k = 0;
  const __m256i keep = _mm256_set1_epi32(0xff), opaque = _mm256_set1_epi32((int)to.opaque);
  for (; k + 8 <= n; k += 8) {
    __m256i k0, k1;
    if (ref && _mm256_movemask_epi8(_mm256_cmpeq_epi64(load(in + k), load(ref + k))) == -1)
      k0 = load(ref_keys + k);
    else
      k0 = lookup4(in + k, t.lsrgb);
    if (ref && _mm256_movemask_epi8(_mm256_cmpeq_epi64(load(in + k + 4), load(ref + k + 4))) == -1)
      k1 = load(ref_keys + k + 4);
    else
      k1 = lookup4(in + k + 4, t.lsrgb);
    if (keys) {
      _mm256_storeu_si256((__m256i*)(keys + k), k0);
      _mm256_storeu_si256((__m256i*)(keys + k + 4), k1);
    }
    __m256i v0 = _mm256_srai_epi16(_mm256_add_epi16(k0, load(dq + k)), 5);
    __m256i v1 = _mm256_srai_epi16(_mm256_add_epi16(k1, load(dq + k + 4)), 5);
    if (To::words) {
      v0 = _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(v0, 0x1b), 0x1b);
      v1 = _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(v1, 0x1b), 0x1b);
    }
    const __m256i v = _mm256_permute4x64_epi64(_mm256_packus_epi16(v0, v1), 0xd8);
    if (To::words) {
      _mm256_storeu_si256((__m256i*)(out + k), _mm256_or_si256(v, opaque));
      continue;
    }
    const __m256i old = load(out + k);
    _mm256_storeu_si256((__m256i*)(out + k), _mm256_or_si256(_mm256_and_si256(old, keep), _mm256_andnot_si256(keep, v)));
  }
  convert_span(out + k, in + k, n - k, dq + k, ref ? ref + k : nullptr, ref_keys ? ref_keys + k : nullptr,
               keys ? keys + k : nullptr, to, t);
}
QM_SIMD_POP
#endif

template <class To>
using span_fn = void (*)(typename To::pixel*, const lrgb_t*, int, const uint64_t*, const lrgb_t*, const uint64_t*,
                         uint64_t*, To, const convert_tables_t&);

template <class To>
span_fn<To> best_span() {
#if defined(__GNUC__) && defined(__x86_64__)
  if (__builtin_cpu_supports("avx2")) return convert_span_avx2<To>;
#endif
  return convert_span<To>;
}

}  // namespace

namespace {

// n pixels of one row, in stretches of consecutive dither (or all with zero dither); ref,
// ref_keys and keys as for the span.
template <class To>
void convert_row(typename To::pixel* out, const lrgb_t* in, int n, int dither, dither_walk_t& walk,
                 const lrgb_t* ref, const uint64_t* ref_keys, uint64_t* keys, To to, const convert_tables_t& t) {
  static const span_fn<To> span = best_span<To>();
  static const uint64_t zero[CHUNK] = {};
  for (int i = 0, run = 0; i < n; i += run) {
    const uint64_t* dq = zero;
    run = n - i < CHUNK ? n - i : CHUNK;
    if (dither == 1) dq = walk.next(t.dither_keys, run, &run);
    span(out + i, in + i, run, dq, ref ? ref + i : nullptr, ref_keys ? ref_keys + i : nullptr,
         keys ? keys + i : nullptr, to, t);
  }
}

template <class To>
void convert_frame(typename To::pixel* out, size_t stride, To to, const lrgb_t* in, int w, int h, int dither,
                   uint64_t* scratch) {
  const convert_tables_t& t = tables();
  dither_walk_t walk;
  walk.start();
  if (w <= 0 || h <= 0) return;
  uint64_t* keys[2] = {scratch, scratch + w};
  for (int y = 0; y < h; ++y) {
    const size_t row = (size_t)y * w;
    convert_row(out + y * stride, in + row, w, dither, walk, y > 0 ? in + row - w : nullptr, keys[(y + 1) & 1],
                keys[y & 1], to, t);
  }
}

}  // namespace

void convert_lrgb_to_srgb(srgb_t* out, const lrgb_t* in, int count, int dither) {
  dither_walk_t walk;
  walk.start();
  convert_row(out, in, count, dither, walk, nullptr, nullptr, nullptr, to_srgb_t{0}, tables());
}

void convert_frame_to_srgb(srgb_t* out, const lrgb_t* in, int w, int h, int dither, uint64_t* scratch) {
  convert_frame(out, (size_t)w, to_srgb_t{0}, in, w, h, dither, scratch);
}

void convert_frame_to_xrgb(uint32_t* out, int stride, uint32_t opaque, const lrgb_t* in, int w, int h, int dither,
                           uint64_t* scratch) {
  convert_frame(out, (size_t)stride, to_xrgb_t{opaque}, in, w, h, dither, scratch);
}

namespace {

#if defined(__GNUC__) && defined(__x86_64__)
QM_SIMD_PUSH("avx2")
// Four pixels at a time while sixteen bytes can be read: each pair's bytes spread to the
// lanes r, g, b, a of 32-bit indices (alpha's index 255, whose value the caller's a replaces),
// looked up eight at a time. Returns the pixels done.
int rgb_bytes_avx2(const uint8_t* in, lrgb_t* out, int count, uint16_t a, const int32_t* table) {
  const __m128i pair0 = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  const __m128i pair1 = _mm_setr_epi8(6, 7, 8, -1, 9, 10, 11, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  const __m256i alpha_index = _mm256_setr_epi32(0, 0, 0, 255, 0, 0, 0, 255);
  const __m256i keep_colour = _mm256_setr_epi16(-1, -1, -1, 0, -1, -1, -1, 0, -1, -1, -1, 0, -1, -1, -1, 0);
  const __m256i alpha = _mm256_setr_epi16(0, 0, 0, (short)a, 0, 0, 0, (short)a, 0, 0, 0, (short)a, 0, 0, 0, (short)a);
  int i = 0;
  for (; 3 * i + 16 <= 3 * count; i += 4) {
    const __m128i b = _mm_loadu_si128((const __m128i*)(const void*)(in + 3 * i));
    const __m256i i0 = _mm256_or_si256(_mm256_cvtepu8_epi32(_mm_shuffle_epi8(b, pair0)), alpha_index);
    const __m256i i1 = _mm256_or_si256(_mm256_cvtepu8_epi32(_mm_shuffle_epi8(b, pair1)), alpha_index);
    const __m256i v0 = _mm256_i32gather_epi32(table, i0, 4), v1 = _mm256_i32gather_epi32(table, i1, 4);
    // packus takes the halves in turn; every value is at most 32768, so it packs unchanged.
    const __m256i v = _mm256_permute4x64_epi64(_mm256_packus_epi32(v0, v1), 0xd8);
    _mm256_storeu_si256((__m256i*)(void*)(out + i), _mm256_or_si256(_mm256_and_si256(v, keep_colour), alpha));
  }
  return i;
}
QM_SIMD_POP
#endif

}  // namespace

void convert_rgb_bytes_to_lrgb(const uint8_t* in, lrgb_t* out, int count, uint16_t a) {
  static const int32_t* table = get_lut_slrgb().v;
  int i = 0;
#if defined(__GNUC__) && defined(__x86_64__)
  static const bool avx2 = __builtin_cpu_supports("avx2");
  if (avx2) i = rgb_bytes_avx2(in, out, count, a, table);
#endif
  for (in += 3 * i; i < count; ++i, in += 3) out[i] = lrgb_t{(uint16_t)table[in[0]], (uint16_t)table[in[1]], (uint16_t)table[in[2]], a};
}

void convert_srgb_to_lrgb(const srgb_t* in, lrgb_t* out, int count) {
  static const int32_t* table = get_lut_slrgb().v;
  for (int i = 0; i < count; i++) {
    out[i].r = (uint16_t)table[in[i].r];
    out[i].g = (uint16_t)table[in[i].g];
    out[i].b = (uint16_t)table[in[i].b];
  }
}
