// One colour at one weight over a run of pixels: the inside of a filled shape.
#pragma once

#include "toolkit/graphics/srgb.h"

// n pixels of d, each becoming blend_pixels(d[i], fg, p, mode).
void blend_span(lrgb_t* d, long n, lrgb_t fg, int p, int mode);
