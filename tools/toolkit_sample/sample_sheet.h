// The toolkit sample sheet: lines, circles, rings, rounded rectangles, a titled frame, a
// gradient, sprites and text in all six fonts, drawn into one linear frame.
#pragma once
#include <string>
#include <vector>

#include "toolkit/graphics/srgb.h"

enum { SAMPLE_W = 1000, SAMPLE_H = 760 };

// Draws the sheet from the skin resources (found as the product finds them); false with a
// message when a resource cannot be loaded.
bool render_sample_sheet(std::vector<lrgb_t>* fb, std::string* error);
