// Sprites and the prepared panel layout onto the framebuffer.
#pragma once

#include "toolkit/graphics/srgb.h"

enum { ALIGN_CENTRE = 0, ALIGN_LEFT = 1, ALIGN_RIGHT = 2, ALIGN_TOP = 3, ALIGN_BOTTOM = 4 };

// Places the sprite by the alignment codes (horizontal: 0 centred on x, 2 x is its rightmost
// column, others x is its leftmost; vertical: 0 centred on y, 4 y is its bottom row, others
// its top), clips it to the destination and copies (mode 0) or blends it at full weight.
void blit_sprite(lrgb_t* dst, int w, int h, const lrgb_t* sprite, int sw, int sh, int x, int y, int mode,
                 int halign, int valign);

// Lays the layout image over the frame by the layout's alpha (0 keeps the frame, 32768
// replaces it, alpha included).
void blit_layout(lrgb_t* dst, const lrgb_t* layout, int w, int h);

// The rows of a layout image as runs of the pixels it does not leave transparent: per row a
// count n, then n runs of (first column, end column, kind), kind LAYOUT_OPAQUE (alpha 32768
// or more) or LAYOUT_PARTIAL. Returns the number of values written, at most
// layout_runs_per_row(w) per row.
enum { LAYOUT_OPAQUE = 1, LAYOUT_PARTIAL = 2 };
inline int layout_runs_per_row(int w) { return 1 + 3 * w; }
int layout_runs_build(int32_t* runs, const lrgb_t* layout, int w, int h);

// blit_layout over the runs only: the same result, without visiting transparent pixels.
void blit_layout_runs(lrgb_t* dst, const lrgb_t* layout, const int32_t* runs, int w, int h);

// The pixels of a w x h image whose alpha is not 0: per row a count, then the first and end
// column of each run of them; and the pixels themselves, packed in run order. runs takes at
// most h * (2 + w) values, packed w * h. Given lo and hi, row y is looked at only from column
// lo[y] up to hi[y] (the rest of it known to be empty).
void pack_runs(const lrgb_t* image, int w, int h, int32_t* runs, lrgb_t* packed, const int32_t* lo = nullptr,
               const int32_t* hi = nullptr);

// Adds packed pixels into their runs in dst (w pixels a row): each colour channel
// min(dst + packed, 32768), the alpha kept, as the additive blend at full weight.
void add_runs(lrgb_t* dst, int w, int h, const int32_t* runs, const lrgb_t* packed);
