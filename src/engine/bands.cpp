#include "engine/bands.h"

#include <cmath>

#include "engine/levels.h"

void bands_from_params(eqband_t* bands, const band_params_t* p, int at_creation) {
  const double transpose = std::pow(2.0, p->transpose / 12.0);
  for (int b = 0; b < BAND_COUNT; ++b) {
    eqband_t& band = bands[b];
    band.on = p->on[b] >= 0.5 ? 1 : 0;
    // At a Gain Scale of 0 every band counts as 0 dB, the silenced one too (minus infinity
    // times 0 is not a number): the curve is flat at Overall Gain.
    const double scaled = p->gain_scale == 0.0 ? 0.0 : db_to_realdb(p->gain[b]) * p->gain_scale;
    band.gain = level_clamped(realdb_to_db(scaled + p->overall_gain));
    band.freq = transpose * p->freq[b];
    band.slope = p->slope[b] * p->gain_scale;
    if (at_creation) {
      band.index = b;
      band.freq_knob = band.on ? band.freq : -1.0;
    }
  }
}

void params_from_bands(eqband_t* bands, band_params_t* p) {
  const double transpose = std::pow(2.0, p->transpose / 12.0);
  const double scale = p->gain_scale;
  for (int b = 0; b < BAND_COUNT; ++b) {
    eqband_t& band = bands[b];
    if (band.freq / transpose > 20000.0) band.freq = transpose * 20000.0;
    p->on[b] = band.on;
    p->freq[b] = band.freq / transpose;
    if (scale != 0.0) {
      p->gain[b] = realdb_to_db((db_to_realdb(band.gain) - p->overall_gain) / scale);
      p->slope[b] = band.slope / scale;
    }
  }
}

void sort_eq(eqband_t* bands, eqband_t* sorted, int* count, double f_lo, double f_hi) {
  const auto pos = [&](double f) { return log_pos_inv(f, f_lo, f_hi); };
  int n = 0;
  for (int b = 0; b < BAND_COUNT; ++b) {
    bands[b].gain = level_at_least_floor(bands[b].gain);
    bands[b].pos = pos(bands[b].freq);
    if (bands[b].on) ++n;
  }
  *count = n;

  // Selection by ascending frequency; of equal frequencies the lowest band wins and the
  // others are replaced by repeating the last chosen band.
  double prev = 0.0;
  int chosen = -1;
  for (int k = 1; k <= n; ++k) {
    double best = 1e38;
    int found = -1;
    for (int b = 0; b < BAND_COUNT; ++b) {
      if (bands[b].on && prev < bands[b].freq && bands[b].freq < best) {
        best = bands[b].freq;
        found = b;
      }
    }
    if (found >= 0) {
      chosen = found;
      prev = best;
    } else {
      prev = 1e38;
    }
    if (chosen >= 0) sorted[k] = bands[chosen];
  }

  eqband_t& start = sorted[0];
  start.freq = f_lo;
  if (n > 0 && f_lo >= sorted[1].freq) start.freq = sorted[1].freq * 0.5;
  start.pos = pos(start.freq);
  start.slope = 0.0;

  eqband_t& end = sorted[n + 1];
  end.freq = f_hi;
  if (n > 0 && sorted[n].freq >= f_hi) end.freq = sorted[n].freq + 1000.0;
  end.pos = pos(end.freq);
  end.slope = 0.0;
}

void control_points(eqband_t* s, int count) {
  const int last = count + 1;
  for (int i = 0; i <= last; ++i) {
    if (i < last) {
      const double d = s[i + 1].pos - s[i].pos;
      s[i].right_x = s[i].pos + d / 3.0;
      s[i].right_y = s[i].gain + s[i].slope * OCTAVES_PER_AXIS * d / 3.0;
    }
    if (i > 0) {
      const double d = s[i].pos - s[i - 1].pos;
      s[i].left_x = s[i].pos - d / 3.0;
      s[i].left_y = s[i].gain - s[i].slope * OCTAVES_PER_AXIS * d / 3.0;
    }
  }
  s[0].gain = s[0].right_y = level_at_least_floor(s[1].left_y);
  s[last].gain = s[last].left_y = level_at_least_floor(s[count].right_y);
}

double curve_level(const eqband_t* s, int i, double x) {
  const double u = (x - s[i].pos) / (s[i + 1].pos - s[i].pos);
  const double v = 1.0 - u;
  return v * v * v * s[i].gain + 3.0 * v * v * u * s[i].right_y +
         3.0 * v * u * u * s[i + 1].left_y + u * u * u * s[i + 1].gain;
}

double curve_at(const eqband_t* s, int count, double x) {
  if (x <= s[0].pos) return s[0].gain;
  for (int i = 0; i <= count; ++i)
    if (x <= s[i + 1].pos) return curve_level(s, i, x);
  return s[count + 1].gain;
}

void curve_columns(const eqband_t* s, int count, double* cols, int width, double lo,
                   double hi) {
  if (width < 2 || !(hi > lo)) return;
  const double scale = (width - 1) / (hi - lo);
  for (int i = 0; i <= count; ++i) {
    // Columns are computed in double and clamped before converting, so far-off
    // positions cannot overflow the integer; a segment off the view, or whose ends are not
    // numbers, has no column.
    const double a = std::ceil((s[i].pos - lo) * scale);
    const double b = std::ceil((s[i + 1].pos - lo) * scale);
    if (!(a <= width - 1.0 && b >= 0.0)) continue;
    const int j0 = a > 0.0 ? static_cast<int>(a) : 0;
    const int j1 = b < width - 1.0 ? static_cast<int>(b) : width - 1;
    for (int j = j0; j <= j1; ++j) cols[j] = curve_level(s, i, lo + (hi - lo) * j / (width - 1));
  }
}
