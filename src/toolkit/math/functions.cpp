#include "toolkit/math/functions.h"

#include <cmath>

double gaussian(double x) { return std::exp(-x * x); }

double erf_as(double x) {
  double ax = std::fabs(x);
  double t = 1.0 / (1.0 + 0.3275911 * ax);
  double poly = t * (0.254829592 + t * (-0.284496736 + t * (1.421413741 + t * (-1.453152027 + t * 1.061405429))));
  double y = 1.0 - poly * std::exp(-ax * ax);
  return x < 0 ? -y : y;
}
