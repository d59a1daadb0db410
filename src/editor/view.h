// Mappings between the curve area's pixels and the view: frequency axis position to column
// (zoomed and panned), curve level to row (with the vertical zoom that keeps 0 dB near the
// middle), and linear amplitude to row.
#pragma once

struct inst_t;

// Column of axis position u (0 at 20 Hz, 1 at 20 kHz); outside the view gives columns
// outside 0 .. area_w - 1.
double pitch_to_pix(const inst_t* inst, double u);
// Axis position of column x.
double pix_to_pitch(const inst_t* inst, double x);
// Row (0 at the top) of curve level y in an area of h rows; clamp != 0 keeps it inside.
double db_to_pix(const inst_t* inst, int h, int clamp, double y);
// Curve level of row r: the inverse of db_to_pix without clamping.
double pix_to_db(const inst_t* inst, int h, double r);
// Row of linear amplitude a (1 is 0 dB, 0 silence). Mode 2 keeps the row within 6 rows
// above and 5 below the area, so far-off values stay just beyond its edges.
double vol_to_pix(const inst_t* inst, int h, int mode, double a);
