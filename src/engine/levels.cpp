#include "engine/levels.h"

#include <cmath>

double realdb_to_db(double r) {
  if (!(r >= -160.0)) return LEVEL_FLOOR;
  if (r < -60.0) return std::pow(10.0, r / 20.0) * 1000.0 * NEPER_DB - 60.0 - NEPER_DB;
  return r;
}

double db_to_realdb(double d) {
  // Grouped so that the floor itself maps to exactly zero amplitude (minus infinity).
  if (d < -60.0) return 20.0 * std::log10((d + (60.0 + NEPER_DB)) * 0.001 / NEPER_DB);
  return d;
}

double realdb_to_vol(double r) { return std::pow(10.0, r / 20.0); }

double level_to_amp(double y) {
  if (y < LEVEL_FLOOR) return 0.0;
  if (y < -60.0) return (y + (60.0 + NEPER_DB)) * 0.001 / NEPER_DB;
  if (y <= 60.0) return std::pow(10.0, y / 20.0);
  if (y > 60.0) return 1000.0;
  return 0.0;  // not a number: silence rather than a poisoned kernel
}

double log_pos(double x, double f1, double f2) {
  return f1 * std::pow(10.0, (std::log10(f2) - std::log10(f1)) * x);
}

double log_pos_inv(double f, double f1, double f2) {
  return (std::log(f) - std::log(f1)) / (std::log(f2) - std::log(f1));
}
