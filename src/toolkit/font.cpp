#include "toolkit/font.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#endif

#include "toolkit/graphics/blending.h"
#include "toolkit/simd_target.h"

namespace {

// A font's record; its coverage goes into room when given (the caller's), else is allocated.
font_t* new_font(const font_t* geometry, double size, uint16_t* room) {
  font_t* f = (font_t*)calloc(1, sizeof(font_t));
  if (!f) return nullptr;
  *f = *geometry;
  f->size = size;
  f->coverage = room ? room : (uint16_t*)malloc((size_t)f->cell_w * f->cell_h * FONT_GLYPHS * sizeof(uint16_t));
  f->ink = (int32_t*)malloc(4 * FONT_GLYPHS * sizeof(int32_t));
  if (!f->coverage || !f->ink) {
    if (f->coverage != room) free(f->coverage);
    free(f->ink);
    free(f);
    return nullptr;
  }
  return f;
}

// The coverage from the sheet's linear green, capped at full, and each glyph's ink box: the
// first and end column and row of its marks, all 0 without any. fill(row, at, n) writes the
// coverage of pixels at .. at + n - 1 to row and returns their values or'ed together; only
// rows with marks are searched.
template <class Fill>
void copy_green(font_t* f, Fill fill) {
  const int cw = f->cell_w, ch = f->cell_h;
  for (int g = 0; g < FONT_GLYPHS; g++) {
    int x0 = cw, x1 = 0, y0 = ch, y1 = 0;
    for (int y = 0; y < ch; y++) {
      const size_t at = ((size_t)g * ch + y) * cw;
      uint16_t* row = f->coverage + at;
      if (!fill(row, at, cw)) continue;
      // The row has a mark: four blank coverages at a time from either end, then one by one.
      int first = 0, last = cw - 1;
      for (uint64_t four = 0; first + 4 <= cw && (std::memcpy(&four, row + first, 8), !four);) first += 4;
      while (!row[first]) first++;
      for (uint64_t four = 0; last >= 3 && (std::memcpy(&four, row + last - 3, 8), !four);) last -= 4;
      while (!row[last]) last--;
      x0 = std::min(x0, first), x1 = std::max(x1, last + 1), y0 = std::min(y0, y), y1 = y + 1;
    }
    int32_t* ink = f->ink + 4 * g;
    ink[0] = std::min(x0, x1), ink[1] = x1, ink[2] = std::min(y0, y1), ink[3] = y1;
  }
}

void copy_green(font_t* f, const lrgb_t* src) {
  copy_green(f, [src](uint16_t* row, size_t at, int n) {
    unsigned marks = 0;
    for (int x = 0; x < n; x++) marks |= row[x] = (uint16_t)(src[at + x].g > 32768 ? 32768 : src[at + x].g);
    return marks;
  });
}

// The capped linear coverage of each sRGB byte.
struct byte_coverage_t {
  uint16_t v[256];
  byte_coverage_t() {
    const int32_t* lut = get_lut_slrgb().v;
    for (int b = 0; b < 256; b++) v[b] = (uint16_t)(lut[b] > 32768 ? 32768 : lut[b]);
  }
};

#if defined(__GNUC__) && defined(__x86_64__)
QM_SIMD_PUSH("avx2")
// Sixteen sheet bytes at a time: blank ones are sixteen zero coverages, the others looked up
// eight at a time in the table widened to 32 bits (every value fits 16 bits unsigned, so the
// pack keeps it). Returns the coverage or'ed together, as far as it is zero or not; from x on.
unsigned fill_sixteens_avx2(uint16_t* row, const uint8_t* s, int n, const int32_t* wide, int* x) {
  __m256i marks = _mm256_setzero_si256();
  int i = 0;
  for (; i + 16 <= n; i += 16) {
    const __m128i b = _mm_loadu_si128((const __m128i*)(const void*)(s + i));
    __m256i v = _mm256_setzero_si256();
    if (!_mm_testz_si128(b, b)) {
      const __m256i lo = _mm256_i32gather_epi32(wide, _mm256_cvtepu8_epi32(b), 4);
      const __m256i hi = _mm256_i32gather_epi32(wide, _mm256_cvtepu8_epi32(_mm_srli_si128(b, 8)), 4);
      v = _mm256_permute4x64_epi64(_mm256_packus_epi32(lo, hi), 0xd8);  // packus takes the halves in turn
      marks = _mm256_or_si256(marks, v);
    }
    _mm256_storeu_si256((__m256i*)(void*)(row + i), v);
  }
  *x = i;
  return _mm256_testz_si256(marks, marks) ? 0 : 1;
}
QM_SIMD_POP
#endif

// Most of a sheet is blank: eight zero bytes at a time are eight zero coverages, without a
// lookup each (sixteen at a time with AVX2).
void copy_green(font_t* f, const uint8_t* green) {
  static const byte_coverage_t table;
  static_assert(sizeof(uint64_t) == 8, "eight bytes a word");
#if defined(__GNUC__) && defined(__x86_64__)
  static const bool sixteens = !table.v[0] && __builtin_cpu_supports("avx2");
  int32_t wide[256];
  for (int b = 0; b < 256; b++) wide[b] = table.v[b];
#endif
  copy_green(f, [&](uint16_t* row, size_t at, int n) {
    const uint8_t* s = green + at;
    unsigned marks = 0;
    int x = 0;
#if defined(__GNUC__) && defined(__x86_64__)
    if (sixteens) marks = fill_sixteens_avx2(row, s, n, wide, &x);
#endif
    if (!table.v[0])
      for (; x + 8 <= n; x += 8) {
        uint64_t word;
        std::memcpy(&word, s + x, 8);
        if (!word) {
          std::memcpy(row + x, &word, 8);
          std::memcpy(row + x + 4, &word, 8);
          continue;
        }
        for (int k = x; k < x + 8; k++) marks |= row[k] = table.v[s[k]];
      }
    for (; x < n; x++) marks |= row[x] = table.v[s[x]];
    return marks;
  });
}

// The font of a sheet w x h whose linear green copy_green reads from src; null when the sheet
// cannot hold 224 cells or memory runs out.
template <class Src>
font_t* load_font(int trim, int w, int h, Src src, uint16_t* room) {
  if (!src || w <= 0 || h < FONT_GLYPHS) return nullptr;
  font_t geometry{w, h / FONT_GLYPHS, FONT_GLYPHS, 0, nullptr, nullptr, nullptr, nullptr};
  font_t* f = new_font(&geometry, geometry.cell_h, room);
  int16_t* metrics = f ? (int16_t*)calloc(2 * FONT_GLYPHS, sizeof(int16_t)) : nullptr;
  if (f && !metrics) {
    if (f->coverage != room) free(f->coverage);
    free(f->ink);
    free(f);
    return nullptr;
  }
  if (!f) return nullptr;
  f->left = metrics;
  f->advance = metrics + FONT_GLYPHS;
  copy_green(f, src);
  for (int g = 0; g < FONT_GLYPHS; g++) {
    const uint16_t* row = f->coverage + ((size_t)g * f->cell_h + f->cell_h / 2) * f->cell_w;
    int first = 0, last = f->cell_w - 1;
    while (first < f->cell_w && row[first] == 0) first++;
    if (first == f->cell_w) continue;  // no marker: left and advance stay 0
    while (row[last] == 0) last--;
    f->left[g] = (int16_t)(first + trim);
    f->advance[g] = (int16_t)(last - trim - f->left[g]);
  }
  return f;
}

template <class Src>
font_t* sized_font(const font_t* base, int w, int h, Src src, double size, uint16_t* room) {
  size_t n = base ? (size_t)base->cell_w * base->cell_h * FONT_GLYPHS : 0;
  if (!base || !src || !(size > 0) || w <= 0 || h <= 0 || (size_t)w * h < n) return nullptr;
  font_t* f = new_font(base, size, room);
  if (f) copy_green(f, src);
  return f;
}

inline int glyph_advance(const font_t* f, unsigned char c) {
  return c < 32 ? f->advance[0] : f->advance[c - 32];
}

}  // namespace

font_t* font_load(int trim, image_t sheet) {
  font_t* f = load_font(trim, sheet.w, sheet.h, (const lrgb_t*)sheet.l, nullptr);
  free(sheet.l);
  return f;
}

font_t* make_font_size(const font_t* base, image_t sheet, double size) {
  font_t* f = sized_font(base, sheet.w, sheet.h, (const lrgb_t*)sheet.l, size, nullptr);
  free(sheet.l);
  return f;
}

font_t* font_load_green(int trim, int w, int h, const uint8_t* green, uint16_t* room) {
  return load_font(trim, w, h, green, room);
}

font_t* make_font_size_green(const font_t* base, int w, int h, const uint8_t* green, double size, uint16_t* room) {
  return sized_font(base, w, h, green, size, room);
}

size_t font_coverage_values(int w, int h) {
  return w > 0 && h >= FONT_GLYPHS ? (size_t)w * (h / FONT_GLYPHS) * FONT_GLYPHS : 0;
}

text_t* init_text(gc_list_t* owner, font_t* font, int flags, double x, double y) {
  text_t* t = (text_t*)gc_calloc(owner, 1, sizeof(text_t));
  if (!t) return nullptr;
  t->string = (char*)gc_calloc(owner, TEXT_BYTES, 1);
  t->scratch = (char*)gc_calloc(owner, TEXT_BYTES, 1);
  if (!t->string || !t->scratch) {
    free_text(owner, t);
    return nullptr;
  }
  t->font = font;
  t->flags = flags;
  t->x = t->x0 = x;
  t->y = t->y0 = y;
  return t;
}

void free_text(gc_list_t* owner, text_t* text) {
  if (!text) return;
  gc_free(owner, text->string);
  gc_free(owner, text->scratch);
  gc_free(owner, text);
}

double text_width(const font_t* font, const char* s) {
  double scale = font->size / font->cell_h;
  long sum = 0;
  for (const unsigned char* p = (const unsigned char*)s; *p; p++) sum += glyph_advance(font, *p);
  return sum * scale;
}

namespace {

// Where a text goes: its scale, the pen before the first glyph, the top of its sampling and
// the rows it may mark.
struct text_place_t {
  double scale, pen, top;
  long j0, j1;
  size_t len;
};

bool place_text(const text_t* text, int h, text_place_t* t) {
  if (!text || !text->font || !text->string) return false;
  const font_t* f = text->font;
  const unsigned char* s = (const unsigned char*)text->string;
  t->len = strnlen(text->string, TEXT_BYTES);  // never read past the buffer
  if (t->len == 0) return false;
  const double scale = f->size / f->cell_h;
  const double L = f->left[0], A = f->advance[0];
  long sum = 0;
  for (size_t i = 0; i < t->len; i++) sum += glyph_advance(f, s[i]);
  double pen;
  if (text->flags & TEXT_RIGHT) pen = text->x - (A + sum) * scale;
  else if (text->flags & TEXT_LEFT) pen = text->x + A * scale;
  else pen = text->x - sum * 0.5 * scale;
  const double v = text->flags & TEXT_MIDDLE ? f->size * 1.3 : f->size * -0.2;
  t->scale = scale;
  t->pen = pen - L * scale;
  t->top = text->y - v / 3;
  t->j0 = std::max(0L, (long)std::ceil(t->top - 1));
  t->j1 = std::min((long)h, (long)std::floor(f->cell_h * scale + t->top + 1));
  return true;
}

// The columns a glyph whose pen is at pen may mark.
inline void glyph_columns(const font_t* f, double scale, double pen, int w, long* i0, long* i1) {
  *i0 = std::max(0L, (long)std::ceil(pen - 1));
  *i1 = std::min((long)w, (long)std::floor(f->cell_w * scale + pen + 1));
}

}  // namespace

bool text_bounds(const text_t* text, int w, int h, long* i0, long* i1, long* j0, long* j1) {
  text_place_t t;
  if (!place_text(text, h, &t)) return false;
  const font_t* f = text->font;
  *i0 = w;
  *i1 = 0;
  double pen = t.pen;
  for (size_t n = 0; n < t.len; n++) {
    const unsigned char c = (unsigned char)text->string[n];
    if (c >= 32) {
      long a, b;
      glyph_columns(f, t.scale, pen, w, &a, &b);
      if (a < b) *i0 = std::min(*i0, a), *i1 = std::max(*i1, b);
    }
    pen += glyph_advance(f, c) * t.scale;
  }
  *j0 = t.j0;
  *j1 = t.j1;
  return *i0 < *i1 && *j0 < *j1;
}

void blit_text(const text_t* text, lrgb_t* fb, lrgb_t colour, int w, int h, double intensity) {
  text_place_t t;
  if (!fb || !place_text(text, h, &t)) return;
  const font_t* f = text->font;
  const unsigned char* s = (const unsigned char*)text->string;
  const double scale = t.scale, top = t.top;
  double pen = t.pen;
  int32_t ii = intensity_weight(intensity);
  const int cw = f->cell_w, ch = f->cell_h;
  for (size_t n = 0; n < t.len; n++) {
    unsigned char c = s[n];
    double adv = glyph_advance(f, c) * scale;
    if (c >= 32) {
      const uint16_t* cell = f->coverage + (size_t)(c - 32) * cw * ch;
      long i0, i1;
      glyph_columns(f, scale, pen, w, &i0, &i1);
      // Only pixels that sample the glyph's marks can be marked: the columns whose sampled
      // pair of cell columns meets the ink, and likewise the rows.
      long j0 = t.j0, j1 = t.j1;
      if (f->ink) {  // a font record made by hand may have none
        const int32_t* ink = f->ink + 4 * (c - 32);
        auto cell_at = [scale](long i, double origin) { return (long)std::floor((i - origin) / scale); };
        while (i0 < i1 && cell_at(i0, pen) + 1 < ink[0]) ++i0;
        while (i0 < i1 && cell_at(i1 - 1, pen) >= ink[1]) --i1;
        while (j0 < j1 && cell_at(j0, top) + 1 < ink[2]) ++j0;
        while (j0 < j1 && cell_at(j1 - 1, top) >= ink[3]) --j1;
      }
      // The sampling position of every column, worked out once for all the rows.
      enum { COLS = 64 };
      struct column_t {
        long ix;
        int64_t tx;
        bool col0, col1;
      } cols[COLS];
      for (long c0 = i0; c0 < i1; c0 += COLS) {
        const long c1 = std::min(i1, c0 + COLS);
        for (long i = c0; i < c1; i++) {
          double fx = (i - pen) / scale;
          long ix = (long)std::floor(fx);
          cols[i - c0] = {ix, (int64_t)((fx - ix) * 32768 + 0.5), ix >= 0 && ix < cw, ix + 1 >= 0 && ix + 1 < cw};
        }
        for (long j = j0; j < j1; j++) {
          double fy = (j - top) / scale;
          long iy = (long)std::floor(fy);
          int64_t ty = (int64_t)((fy - iy) * 32768 + 0.5);
          bool row0 = iy >= 0 && iy < ch, row1 = iy + 1 >= 0 && iy + 1 < ch;
          for (long i = c0; i < c1; i++) {
            const column_t& k = cols[i - c0];
            const long ix = k.ix;
            const int64_t tx = k.tx;
            int64_t s00 = row0 && k.col0 ? cell[iy * cw + ix] : 0, s10 = row0 && k.col1 ? cell[iy * cw + ix + 1] : 0;
            int64_t s01 = row1 && k.col0 ? cell[(iy + 1) * cw + ix] : 0;
            int64_t s11 = row1 && k.col1 ? cell[(iy + 1) * cw + ix + 1] : 0;
            int64_t cov = (((s00 * (32768 - ty)) >> 15) * (32768 - tx) >> 15) +
                          (((s10 * (32768 - ty)) >> 15) * tx >> 15) + (((s01 * ty) >> 15) * (32768 - tx) >> 15) +
                          (((s11 * ty) >> 15) * tx >> 15);
            if (cov == 0) continue;
            int64_t p = (cov * ii) >> 15;
            if (p > 32768) p = 32768;
            lrgb_t& px = fb[j * w + i];
            px.r = (uint16_t)(((px.r * (32768 - p)) >> 15) + ((p * colour.r) >> 15));
            px.g = (uint16_t)(((px.g * (32768 - p)) >> 15) + ((p * colour.g) >> 15));
            px.b = (uint16_t)(((px.b * (32768 - p)) >> 15) + ((p * colour.b) >> 15));
          }
        }
      }
    }
    pen += adv;
  }
}
