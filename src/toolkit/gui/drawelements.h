// Composite panel elements built from the primitives.
#pragma once

#include "toolkit/graphics/srgb.h"

// A one-pixel rounded frame with a 17.5-pixel title band across its top, around a grid of
// nx x ny cells of cw x ch pixels whose first cell is centred on (x, y).
void draw_titled_roundrect_frame(lrgb_t* fb, int w, int h, lrgb_t colour, int mode, double x, double y,
                                 double radius, int nx, int ny, double cw, double ch);
