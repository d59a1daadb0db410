// Making linear colours, and the luminance-normalised colour model of the spectrum display.
#pragma once
#include <cstdint>

#include "toolkit/graphics/srgb.h"

// Each channel (int)(v * 32768 + 0.5) kept to 16 bits; no clamping.
lrgb_t make_colour_lin(double r, double g, double b, double a);
// 8-bit sRGB values 0..255 (clamped), alpha through the same curve as the colours.
lrgb_t make_colour_srgb(int r, int g, int b, int a);
// Grey v with alpha 32768.
lrgb_t make_grey_lin(double v);

enum { HUE_RADIANS = 0, HUE_DEGREES = 1, HUE_INTERNAL = 2 };  // internal: a full turn is 3

// Hue, saturation and luminance to linear RGB whose weighted luminance is l; the outputs
// may exceed 1.0. boost raises the secondaries (yellow, cyan, magenta) up to twice.
void hsl_to_rgb_cw(double* r, double* g, double* b, int hue_unit, int boost, double wr, double wg, double wb,
                   double hue, double sat, double lum);
// The same with the toolkit's weights 0.16, 0.73, 0.11.
void hsl_to_rgb(double* r, double* g, double* b, int hue_unit, int boost, double hue, double sat, double lum);

// Brings 15-bit channels above 32768 back into range by moving towards grey at constant
// luminance; colours already in range are left alone.
void colour_blowout_int(uint32_t* r, uint32_t* g, uint32_t* b);
