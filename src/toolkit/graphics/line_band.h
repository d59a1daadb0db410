// The pixel walk of a thin line: a band along the segment, walked as adjacent parallel
// digital lines (one per offset along the minor axis), so each pixel is visited once.
#pragma once
#include <climits>
#include <cmath>
#include <cstdint>

struct line_band_t {
  bool steep;        // walk by rows (closer to vertical) instead of columns
  long major0, major1;  // first and last column (or row), inclusive, before image clipping
  int64_t minor0;    // centre line's minor coordinate at major0, 16.16
  int64_t slope;     // its change per major step, 16.16
  long half;         // the band reaches this many pixels either side of the centre line
};

// The band of segment (x1, y1)-(x2, y2) for a blur extent g: sqrt(2) g beyond each end
// along the segment and g across it on both sides.
inline line_band_t line_band(double x1, double y1, double x2, double y2, double g) {
  line_band_t b;
  double dx = x2 - x1, dy = y2 - y1, len = std::hypot(dx, dy);
  b.steep = std::fabs(dy) > std::fabs(dx);
  if (b.steep) {
    std::swap(x1, y1);
    std::swap(x2, y2);
    std::swap(dx, dy);
  }
  if (dx < 0) {
    std::swap(x1, x2);
    std::swap(y1, y2);
    dx = -dx;
    dy = -dy;
  }
  double c = dx / len;  // cosine of the angle to the major axis, at least 1/sqrt(2)
  double ext = std::sqrt(2.0) * g * c;
  b.major0 = (long)std::ceil(x1 - ext);
  b.major1 = (long)std::floor(x2 + ext);
  double k = dy / dx;
  b.slope = (int64_t)std::llround(k * 65536);
  b.minor0 = (int64_t)std::llround((y1 + (b.major0 - x1) * k) * 65536);
  b.half = (long)std::floor(g / c + 0.5);
  return b;
}

// Calls visit(x, y) once for every band pixel inside 0..w-1 by 0..h-1 and rows row0..row1.
template <class F>
inline void line_band_walk(const line_band_t& b, int w, int h, F&& visit, long row0 = 0, long row1 = LONG_MAX) {
  if (row0 < 0) row0 = 0;
  if (row1 > h - 1) row1 = h - 1;
  const long nmaj = b.steep ? h : w;
  long m0 = b.major0 < 0 ? 0 : b.major0, m1 = b.major1 >= nmaj ? nmaj - 1 : b.major1;
  if (b.steep) {
    if (m0 < row0) m0 = row0;
    if (m1 > row1) m1 = row1;
  }
  // The minor axis's limits: the columns, or the rows of the window.
  const long lo = b.steep ? 0 : row0, hi = b.steep ? w - 1 : row1;
  int64_t minor = b.minor0 + (m0 - b.major0) * b.slope;
  for (long m = m0; m <= m1; m++, minor += b.slope) {
    long c = (long)((minor + 32768) >> 16);  // the centre line's pixel, rounded
    long a0 = c - b.half, a1 = c + b.half;
    if (a0 < lo) a0 = lo;
    if (a1 > hi) a1 = hi;
    for (long a = a0; a <= a1; a++) {
      if (b.steep) visit(a, m);
      else visit(m, a);
    }
  }
}
