// The curve's level scale and the log-frequency axis.
//
// Levels are true decibels from -60 dB up and linear in amplitude below, down to
// LEVEL_FLOOR (-60 dB less one neper), which stands for silence. The scale and its
// first derivative are continuous at -60 dB.
#pragma once

constexpr double LEVEL_FLOOR = -68.68588963806504;   // -(60 + 20 / ln 10)
constexpr double NEPER_DB = 8.685889638065037;       // 20 / ln 10
constexpr double OCTAVES_PER_AXIS = 9.965784284662087;  // log2(1000): dB/oct -> dB per axis unit
constexpr double LN_20 = 2.995732273553991;
constexpr double LN_1000 = 6.907755278982137;

// A level that is not a number counts as silence everywhere below, so that it can never be
// read as a bound (std::min(60, NaN) is 60).
double realdb_to_db(double r);   // true dB -> curve level (the floor for NaN)
double db_to_realdb(double d);   // curve level -> true dB (-inf at the floor)
double realdb_to_vol(double r);  // true dB -> linear amplitude
double level_to_amp(double y);   // curve level -> the amplitude the design uses (0 .. 1000)

// A level raised to the floor, and one limited to LEVEL_FLOOR .. 60; NaN gives the floor.
inline double level_at_least_floor(double y) { return y >= LEVEL_FLOOR ? y : LEVEL_FLOOR; }
inline double level_clamped(double y) { return y > 60.0 ? 60.0 : level_at_least_floor(y); }

// The frequency at position x of the log axis from f1 to f2, and the position of f on it.
double log_pos(double x, double f1, double f2);
double log_pos_inv(double f, double f1, double f2);

// Position on the 20 Hz .. 20 kHz axis (0 at 20 Hz, 1 at 20 kHz).
inline double axis_pos(double f) { return log_pos_inv(f, 20.0, 20000.0); }
