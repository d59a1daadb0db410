// Table-driven base-2 logarithm and exponential (tables in fastfloat_tables.cpp, written by
// tools/tablegen).
#pragma once

extern const double fastlog2_lut[128 * 3];
extern const double fastexp2_lut[64 * 3];

// log2(x) for finite x > 0, absolute error below 7.1e-9.
double fastlog2(double x);
// 2^x for x within the double range, relative error below 6.7e-9.
double fastexp2(double x);
// x^p for x > 0; plain x when p is exactly 1.
double fastpow(double x, double p);
