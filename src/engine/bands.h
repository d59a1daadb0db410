// The band set and its response curve: four bands (A..D), each a point the curve passes
// through with the band's slope as tangent, between a flat start point and a flat end point.
#pragma once
#include <cstdint>

struct eqband_t {
  int32_t on;         // 1 active, 0 off
  double freq;        // Hz, Transpose applied
  double freq_knob;   // the frequency knob's default: the band's frequency, or -1 when off
  double pos;         // axis position of freq, written by sort_eq
  double gain;        // curve level, LEVEL_FLOOR .. 60
  double slope;       // dB per octave
  double right_x, right_y;  // control point towards the next point (position, level)
  double left_x, left_y;    // control point towards the previous point
  // Screen positions of the point and its slope handles, written by the curve drawing.
  double point_px, point_py, right_px, right_py, left_px, left_py;
  int32_t index;      // 0..3
};

enum { BAND_COUNT = 4, SORTED_COUNT = 6 };

// The parameter values a band set is built from (index order of the plug-in's table).
struct band_params_t {
  double on[BAND_COUNT], gain[BAND_COUNT], freq[BAND_COUNT], slope[BAND_COUNT];
  double transpose, overall_gain, gain_scale;
};

// Band records from parameter values; at creation also sets index and freq_knob.
void bands_from_params(eqband_t* bands, const band_params_t* p, int at_creation);

// Parameter values from edited band records (unclamped; the caller clamps to each range).
// A band pulled above 20 kHz before Transpose is brought back to it in the record itself.
// With a Gain Scale of 0 no gain or slope can be expressed: those values keep what *p held.
void params_from_bands(eqband_t* bands, band_params_t* p);

// Builds the point list: start point, active bands by ascending frequency, end point.
void sort_eq(eqband_t* bands, eqband_t* sorted, int* count, double f_lo, double f_hi);

// Control points of every point of the list, then the flat end levels.
void control_points(eqband_t* sorted, int count);

// Curve level at axis position x inside segment i (between sorted[i] and sorted[i + 1]).
double curve_level(const eqband_t* sorted, int i, double x);

// Curve level at any axis position: flat beyond the start and end points.
double curve_at(const eqband_t* sorted, int count, double x);

// The curve at each of `width` columns spanning axis positions lo .. hi.
void curve_columns(const eqband_t* sorted, int count, double* cols, int width, double lo,
                   double hi);
