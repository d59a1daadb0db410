// Antialiased lines: a segment blurred by a Gaussian of the given radius (light falls to
// 1/e at that distance), drawn as a soft beam through blend_pixels.
#pragma once

#include "toolkit/graphics/srgb.h"

// Distance beyond which a blurred shape's light stays below 0.0002:
// radius * sqrt(ln(intensity / 0.0002)), 0 for intensities at or below 0.0002. The last
// result is cached (per thread) with its radius and intensity.
double blur_extent(double radius, double intensity);

// Presses the endpoints into -margin..xmax + margin by -margin..ymax + margin, moving the
// other coordinate of a clamped endpoint along the line through both endpoints.
void border_clip(double* x1, double* y1, double* x2, double* y2, double xmax, double ymax, double margin);

// A blurred segment. Nothing is drawn for a zero-length segment, a radius that is not
// positive, or any coordinate that is not finite.
void draw_line_thin(lrgb_t* fb, int w, int h, lrgb_t colour, int mode, double x1, double y1, double x2, double y2,
                    double radius, double intensity);

// The part of the segment between fractions u1 and u2 of its length (nothing when u1 >= u2).
void draw_line_thin_short(lrgb_t* fb, int w, int h, lrgb_t colour, int mode, double x1, double y1, double x2,
                          double y2, double u1, double u2, double radius, double intensity);
