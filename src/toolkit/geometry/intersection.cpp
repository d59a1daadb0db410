#include "toolkit/geometry/intersection.h"

#include <cmath>

double point_line_distance(double x1, double y1, double x2, double y2, double px, double py) {
  double dx = x2 - x1, dy = y2 - y1;
  double len = std::hypot(dx, dy);
  double t = len > 0 ? ((px - x1) * dx + (py - y1) * dy) / (len * len) : 0.0;
  return std::hypot(x1 + dx * t - px, y1 + dy * t - py);
}
