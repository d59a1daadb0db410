// Blurred discs, rings, rounded rectangles, frames and the background gradient.
#pragma once
#include <cstdint>

#include "toolkit/graphics/srgb.h"

enum { CIRCLE_DISC = 0, CIRCLE_RING = 1 };

// kind 0: a disc of radius R with a soft edge; kind 1: a blurred ring of radius R.
void draw_circle(int kind, lrgb_t* fb, int w, int h, lrgb_t colour, int mode, double x, double y, double R,
                 double radius, double intensity);

// Signed distance (16.16) of pixel (px, py) (16.16) from the outline of the rounded
// rectangle whose corner centres span (ix0, iy0)..(ix1, iy1), with corner radius R:
// negative inside, never below -R.
int64_t get_dist_to_roundrect(int64_t px, int64_t py, int64_t ix0, int64_t iy0, int64_t ix1, int64_t iy1, int64_t R);

// A filled rounded rectangle (x0, y0)..(x1, y1) with corner radius R and a soft edge.
void draw_roundrect(lrgb_t* fb, int w, int h, lrgb_t colour, int mode, double x0, double y0, double x1, double y1,
                    double R, double radius, double intensity);

// The area between two rounded rectangles.
void draw_roundrect_frame(lrgb_t* fb, int w, int h, lrgb_t colour, int mode, double r_out, double r_in,
                          double radius, double intensity, double ox0, double oy0, double ox1, double oy1,
                          double ix0, double iy0, double ix1, double iy1);

// A separable Gaussian blend from colour0 to colour1 over the whole image, centred on
// (x, y) with the given size, shifted by the offsets (in units of size).
void draw_gaussian_gradient(lrgb_t* fb, int w, int h, lrgb_t colour0, lrgb_t colour1, int mode, double x, double y,
                            double size, double offset_x, double offset_y);
