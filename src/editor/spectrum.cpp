// The input's spectrum per column and the painting of the curve area.
#include <algorithm>
#include <cmath>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "editor/spectrum.h"
#include "editor/view.h"
#include "engine/fft.h"
#include "engine/design.h"
#include "engine/inst.h"
#include "engine/levels.h"
#include "toolkit/util/mutex.h"

namespace {

// The fractional FFT bin of size n at column x plus offset o is lo * 10^(decades (x + o) /
// last_col): log_pos((x + o) / last_col, lo, hi), with the decades between lo and hi worked out
// once.
struct bin_map_t {
  double lo, decades, last_col;
};

bin_map_t bin_map(const inst_t* inst, int n) {
  const double fs = inst->samplerate;
  const double lo = inst->view_f_lo * n / fs, hi = inst->view_f_hi * n / fs;
  return {lo, std::log10(hi) - std::log10(lo), double(inst->area_w - 1)};
}

// The powers of ten of every column at offsets 0 and 0.5, which depend only on the decades
// the view spans, not on where it starts or on the transform's size: the two uses (the
// kernel's response, the input's spectrum) share them, and a pan keeps them. Kept in two
// entries with what they were worked out from; without room to keep them, they are worked
// out into local.
enum { KEY_DECADES, KEY_W, KEY_HALF, KEY_USE, KEY = 5 };
enum { BIN_ENTRY = KEY + 2 * CURVE_COLUMNS };
struct column_bins_t {
  double lo;
  const double* at0;      // times lo: the bin at each column's left edge
  const double* at_half;  // times lo: the bin at its middle; null unless asked for
  double at(int x) const { return lo * at0[x]; }
  double half(int x) const { return lo * at_half[x]; }
};

column_bins_t column_bins(inst_t* inst, int n, bool halves, double* local) {
  const int W = std::min<int>(inst->area_w, CURVE_COLUMNS);
  const bin_map_t map = bin_map(inst, n);
  auto fill = [&](double* p, double o) {
    for (int x = 0; x < W; ++x) p[x] = std::pow(10.0, map.decades * ((x + o) / map.last_col));
  };
  double* const c = inst->bin_cache;
  if (!c) {
    fill(local, 0);
    if (halves) fill(local + CURVE_COLUMNS, 0.5);
    return {map.lo, local, halves ? local + CURVE_COLUMNS : nullptr};
  }
  double* e = c;
  const double key[2] = {map.decades, double(W)};
  if (std::memcmp(e, key, sizeof key)) e = c + BIN_ENTRY;
  if (std::memcmp(e, key, sizeof key)) {
    // The entry used longer ago is worked out again.
    e = c[KEY_USE] < c[BIN_ENTRY + KEY_USE] ? c : c + BIN_ENTRY;  // mutate: skip relational (a cache: either entry is worked out anew)
    std::memcpy(e, key, sizeof key);
    e[KEY_HALF] = 0;
    fill(e + KEY, 0);
  }
  if (halves && !e[KEY_HALF]) {
    fill(e + KEY + CURVE_COLUMNS, 0.5);
    e[KEY_HALF] = 1;
  }
  e[KEY_USE] = std::max(c[KEY_USE], c[BIN_ENTRY + KEY_USE]) + 1;  // mutate: skip (a cache: only which entry goes next)
  return {map.lo, e + KEY, halves ? e + KEY + CURVE_COLUMNS : nullptr};
}

// Magnitudes of a halfcomplex spectrum; the Nyquist value is made a magnitude as well.
void magnitudes(double* hc, int n) {
  polar_mag(hc, n);
  if (n % 2 == 0) hc[n / 2] = std::fabs(hc[n / 2]);
}

// fmod(v, 1) exactly, without the library call.
double frac(double v) { return v - std::trunc(v); }

// The hue of column x: red below about 65 Hz, through green and blue towards magenta.
void column_hue(const inst_t* inst, int x, int scheme, double rgb[3]) {
  double c = std::max(0.0, (pix_to_pitch(inst, x) * 1.05 - 0.18) * 3);
  c = std::min(c, 3.0);
  if (c < 1) {
    rgb[0] = 1 - c, rgb[1] = c, rgb[2] = 0;
  } else if (c < 2) {
    rgb[0] = 0, rgb[1] = 2 - c, rgb[2] = c - 1;
  } else {
    rgb[0] = c - 2, rgb[1] = 0, rgb[2] = 3 - c;
  }
  // Mixed hues as bright as pure ones.
  const double k = 0.75 + 0.25 * std::fabs(std::sin(M_PI * c));
  for (int i = 0; i < 3; ++i) {
    rgb[i] *= k;
    if (scheme == COLOUR_CMY) rgb[i] = std::pow(1 - std::pow(rgb[i], 1 / 2.44), 2.44);
  }
}

// Faint levels show the hue; strong ones run to white, the faster the larger the gamma.
void level_colour(lrgb_t* px, const double rgb[3], double m, double gamma) {  // mutate: skip (a parameter's bound, which the compiler ignores)
  const double white = std::pow(m * 0.1, gamma * 2.8) * 32768;
  const double tint = std::pow(m * 0.5, gamma) * 32768;
  uint16_t* ch[3] = {&px->r, &px->g, &px->b};
  for (int i = 0; i < 3; ++i) {
    const double v = rgb[i] * tint + white + 0.5;
    *ch[i] = v >= 32768 ? 32768 : v > 0 ? (uint16_t)v : 0;
  }
}

// One row r of the area: the input's colour where the row lies below the curve, the
// output's on and above it. With SSE2 four pixels at a time, by a mask from the rows.
void fill_row(lrgb_t* row, const lrgb_t* in, const lrgb_t* out, const int32_t* curve_row, int r, int W) {
  int x = 0;
#ifdef __SSE2__
  const __m128i rr = _mm_set1_epi32(r);
  for (; x + 4 <= W; x += 4) {
    const __m128i below = _mm_cmpgt_epi32(rr, _mm_loadu_si128((const __m128i*)(const void*)(curve_row + x)));
    const __m128i m0 = _mm_shuffle_epi32(below, _MM_SHUFFLE(1, 1, 0, 0));
    const __m128i m1 = _mm_shuffle_epi32(below, _MM_SHUFFLE(3, 3, 2, 2));
    auto pick = [&](__m128i m, int i) {
      const __m128i a = _mm_loadu_si128((const __m128i*)(const void*)(in + x + i));
      const __m128i b = _mm_loadu_si128((const __m128i*)(const void*)(out + x + i));
      _mm_storeu_si128((__m128i*)(void*)(row + x + i), _mm_or_si128(_mm_and_si128(m, a), _mm_andnot_si128(m, b)));
    };
    pick(m0, 0);
    pick(m1, 2);
  }
#endif
  for (; x < W; ++x) row[x] = r > curve_row[x] ? in[x] : out[x];
}

}  // namespace

void comp_fft_mag_lut(inst_t* inst) {
  const int W = inst->area_w;
  double* col = inst->response_col;
  if (!col || W <= 0) return;
  std::fill(col, col + W, 0.0);
  const int N = inst->fft_size_ref ? *inst->fft_size_ref : 0;
  double* m = inst->kernel_view[1];
  if (N <= 0 || N > BUFFER_CAPACITY || !inst->kernel_view[0] || !m) return;
  mutex_to_1(inst->lock_kernel_view);
  inst->kernel_view_new = 0;
  std::memcpy(m, inst->kernel_view[0], sizeof(double) * N);
  mutex_to_0(inst->lock_kernel_view);
  magnitudes(m, N);
  double local[CURVE_COLUMNS];
  const column_bins_t bins = column_bins(inst, N, false, local);
  for (int x = 0; x < W; ++x) {
    const double b = bins.at(x);
    // Above the Nyquist frequency: no gain. Compared before any conversion, so that a bin
    // beyond every integer (a vanishing sample rate) cannot overflow it.
    if (!(b >= 0) || b >= N / 2) continue;
    const double f = frac(b);
    col[x] = (1 - f) * m[(int)std::floor(b)] + f * m[(int)std::ceil(b)];
  }
}

void comp_spectral_table(inst_t* inst) {
  const int W = inst->area_w, L = inst->capture_len;
  double** sc = inst->spectrum_col;
  if (!sc[0] || !sc[1] || !sc[2] || W <= 0) return;
  inst->capture_new = 0;
  std::fill(sc[0], sc[0] + W, 0.0);
  std::fill(sc[1], sc[1] + W, 0.0);
  std::fill(sc[2], sc[2] + W, 0.0);
  if (L <= 0 || L > BUFFER_CAPACITY) return;

  // Unrolled oldest sample first.
  mutex_to_1(inst->lock_capture);
  const int p = std::min(std::max(inst->capture_pos, 0), L);
  for (int c = 0; c < 2; ++c) {
    std::memcpy(inst->capture_copy[c], inst->capture[c] + p, sizeof(double) * (L - p));
    std::memcpy(inst->capture_copy[c] + L - p, inst->capture[c], sizeof(double) * p);
  }
  mutex_to_0(inst->lock_capture);

  // The window follows the analysis length; made here, where it is used, rather than by
  // every construction and change of rate.
  if (inst->capture_window_len != L) {
    blackman_coefs(inst->capture_window, L);
    inst->capture_window_len = L;
  }
  for (int c = 0; c < 2; ++c) {
    double* s = inst->capture_copy[c];
    for (int i = 0; i < L; ++i) s[i] *= inst->capture_window[i];
    fftp(s, inst->capture_spectrum[c], L, 0, inst->capture_plan);
    magnitudes(inst->capture_spectrum[c], L);
  }

  // Each column averages the bins it covers, tilted up by 3 dB per octave so that pink
  // noise shows level; the bin at a column's left edge is shared with the previous column.
  const double fs = inst->samplerate;
  double local[2 * CURVE_COLUMNS];
  const column_bins_t bins = column_bins(inst, L, true, local);
  int prev = 0;
  for (int x = 0; x < W; ++x) {
    const double b0 = bins.at(x);
    const double right = bins.half(x) + 0.5;
    const int b1 = right < L ? (int)right : L;  // the bin nearest the column's right edge
    if (b0 >= 0 && b1 < L / 2) {
      for (int c = 0; c < 2; ++c) {
        const double* m = inst->capture_spectrum[c];
        if (b1 == prev) {
          const double lo = std::floor(b0), hi = std::ceil(b0), f = frac(b0);
          sc[c][x] += std::sqrt(fs * lo / L) * m[(int)lo] * (1 - f) + std::sqrt(fs * hi / L) * m[(int)hi] * f;
        } else {
          const double tilt = std::sqrt(fs * b0 / L);
          for (int k = prev; k <= b1; ++k) sc[c][x] += tilt * m[k];
        }
      }
    }
    const double d = (b1 - prev + 1) * 20.0;
    sc[0][x] /= d;
    sc[1][x] /= d;
    sc[2][x] = sc[0][x] + sc[1][x];
    prev = b1;
  }
}

bool paint_rainbows(inst_t* inst, int scheme) {
  const int W = std::min<int>(inst->area_w, CURVE_COLUMNS), H = inst->area_h;
  if (!inst->fb || W <= 0 || H <= 0 || !inst->spectrum_col[2] || !inst->response_col || !inst->curve_row) return false;
  lrgb_t* top = inst->fb + (size_t)inst->area_y * inst->ui_w + inst->area_x;
  lrgb_t* bottom = top + (size_t)(H - 1) * inst->ui_w;
  const double* sum = inst->spectrum_col[2];
  const double* response = inst->response_col;
  const double gain = inst->colour_gain;
  for (int x = 0; x < W; ++x) {
    if (scheme == COLOUR_STEREO) {
      const double l = inst->spectrum_col[0][x], r = inst->spectrum_col[1][x];
      calc_colour_pan_full(l, r, 2 * gain, inst, &bottom[x]);
      calc_colour_pan_full(l, r, 2 * response[x] * gain, inst, &top[x]);
    } else {
      double rgb[3];
      column_hue(inst, x, scheme, rgb);
      level_colour(&bottom[x], rgb, sum[x] * gain, inst->gamma);  // the input
      level_colour(&top[x], rgb, sum[x] * response[x] * gain, inst->gamma);  // the output
    }
  }
  // Below the curve the input, on and above it the output.
  lrgb_t in[CURVE_COLUMNS], out[CURVE_COLUMNS];
  std::memcpy(in, bottom, sizeof(lrgb_t) * W);
  std::memcpy(out, top, sizeof(lrgb_t) * W);
  // Rows wholly above or below the curve are plain copies.
  const int32_t* curve_row = inst->curve_row;
  const int32_t lowest = *std::min_element(curve_row, curve_row + W);
  const int32_t highest = *std::max_element(curve_row, curve_row + W);
  for (int r = 1; r < H; ++r) {
    lrgb_t* row = top + (size_t)r * inst->ui_w;
    if (r <= lowest)
      std::memcpy(row, out, sizeof(lrgb_t) * W);
    else if (r > highest)
      std::memcpy(row, in, sizeof(lrgb_t) * W);
    else
      fill_row(row, in, out, curve_row, r, W);
  }
  return true;
}
