// The coloured spectrum behind the curve: the input per column below the curve, the output
// (input times the kernel's gain) above it, coloured by frequency or by stereo position; and
// the kernel's measured response as a crawling dashed line where it departs from the curve.
#pragma once

#include "toolkit/graphics/srgb.h"

struct inst_t;

enum { COLOUR_RGB = 0, COLOUR_CMY = 1, COLOUR_STEREO = 2 };
enum { PAN_ENTRIES = 4097 };  // 0 left only, 2048 centre, 4096 right only

// The kernel in use: its gain per column as a linear amplitude (response_col).
void comp_fft_mag_lut(inst_t* inst);
// The captured input: its level per column, left, right and their sum (spectrum_col).
void comp_spectral_table(inst_t* inst);
// Fills the curve area of fb with the spectrum's colours in a scheme; false when it cannot
// (no frame or no per-column arrays) and leaves fb as it was.
bool paint_rainbows(inst_t* inst, int scheme);
// The measured response, dashed, wherever it is more than a pixel from the drawn curve.
void draw_dashed_fft(inst_t* inst);

// One pixel coloured by where left and right sit between the channels, at gain.
void calc_colour_pan_full(double left, double right, double gain, const inst_t* inst, lrgb_t* out);
// One pixel of a colour at intensity v (gamma applied); over-bright colours run to white.
void calc_colour_pan(lrgb_t* out, double v, lrgb_t colour, double gamma);
// The pan colour table: violet on the left, yellow at the centre, blue on the right.
const lrgb_t* pancol();
