// Gaussian and error function in double precision.
#pragma once

// exp(-x*x)
double gaussian(double x);
// Abramowitz-Stegun 7.1.26 (absolute error below 1.5e-7); odd in x. Named apart from the
// C library's erf, which the toolkit does not replace.
double erf_as(double x);
