// Point-to-line geometry for hit tests.
#pragma once

// Distance from (px, py) to the infinite line through (x1, y1) and (x2, y2); a degenerate
// line (both points equal) gives the distance to that point.
double point_line_distance(double x1, double y1, double x2, double y2, double px, double py);
