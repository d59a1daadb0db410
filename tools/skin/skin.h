// The skin generator's parts: font sheets through FreeType, images through the toolkit.
#pragma once
#include <string>

#include "framework/bitmap/RasterBitmap.h"
#include "toolkit/graphics/srgb.h"

// Sheet geometry shared by all six sheets: 224 cells of CELL_W x CELL_H, the pen origin at
// column ORIGIN_X and the baseline at row BASELINE of each cell.
enum { CELL_W = 80, CELL_H = 48, ORIGIN_X = 16, BASELINE = 37, FONT_PX = 40 };

// Renders the 48-pixel sheet of a font file (with the metric marker row for the given trim)
// and its pre-filtered 12- and 15-pixel sheets; returns false with a message on failure.
bool make_font_sheets(const std::string& ttf, int trim, const std::string& out48, const std::string& out12,
                      const std::string& out15, std::string* error);

// Linear image to a bitmap (no dither, so regeneration is byte-identical) and to a PNG.
bool save_linear(const std::string& path, const lrgb_t* px, int w, int h, bool alpha, std::string* error);

// Samples of 1 (grey), 3 (RGB) or 4 (RGBA) bytes a pixel, row after row, to an sRGB PNG.
bool save_plain_png(const std::string& path, const uint8_t* samples, int w, int h, int channels,
                    std::string* error);

bool make_knob(const std::string& path, std::string* error);
bool make_shadow(const std::string& path, std::string* error);
bool make_light(const std::string& path, std::string* error);
bool make_logo(const std::string& path, const std::string& bold48, std::string* error);
