// Bitmap-font text: a tall sheet of 224 glyph cells (codes 32..255) drawn at any size by
// bilinear sampling, straight into the linear framebuffer.
#pragma once
#include <cstdint>

#include "toolkit/graphics/srgb.h"
#include "toolkit/util/memory.h"

enum { FONT_GLYPHS = 224, TEXT_BYTES = 512 };

struct font_t {
  int32_t cell_w;      // the sheet's width
  int32_t cell_h;      // the sheet's height / 224
  int32_t glyphs;      // 224
  double size;         // text height in framebuffer pixels
  uint16_t* coverage;  // cell_w * cell_h * 224 values 0..32768
  int16_t* left;       // per glyph: first marked column of its middle row plus the trim
  int16_t* advance;    // per glyph: advance in sheet pixels
  int32_t* ink;        // per glyph: first and end column, first and end row of its marks
};

enum {
  TEXT_CENTRE = 0,
  TEXT_LEFT = 2,     // starts one space advance right of x
  TEXT_RIGHT = 16,   // ends one space advance left of x
  TEXT_MIDDLE = 64,  // y is near the text's middle, else near its top
};

struct text_t {
  font_t* font;
  double x, y;
  char* string;   // TEXT_BYTES, NUL-terminated
  char* scratch;  // TEXT_BYTES, the owner's
  int32_t flags;
  double x0, y0;  // the anchor given at creation
  int32_t counter;
};

// A font from a sheet image; the sheet's linear pixels are freed (free()) after copying,
// whatever the outcome. Returns null for a sheet that is too small to hold 224 cells or
// when memory runs out. Fonts are never freed.
font_t* font_load(int trim, image_t sheet);
// A font of the given size sharing base's geometry and metrics, coverage from the sheet
// (which must hold at least the base's pixel count; else null). Frees the sheet's linear
// pixels.
font_t* make_font_size(const font_t* base, image_t sheet, double size);

// The same from a sheet given as the sRGB green byte of each of its w x h pixels, which is all
// a font takes from a sheet (its linear value is the coverage). The bytes stay the caller's.
// room, if not null, is where the coverage goes (font_coverage_values of the base's sheet),
// kept by the caller for the font's life; null: the font allocates its own.
font_t* font_load_green(int trim, int w, int h, const uint8_t* green, uint16_t* room = nullptr);
font_t* make_font_size_green(const font_t* base, int w, int h, const uint8_t* green, double size,
                             uint16_t* room = nullptr);
// The coverage values of a font whose base sheet is w x h: 0 when it cannot hold 224 cells.
size_t font_coverage_values(int w, int h);

// A text record allocated through the owner's tracked allocator (null on failure).
text_t* init_text(gc_list_t* owner, font_t* font, int flags, double x, double y);
void free_text(gc_list_t* owner, text_t* text);

// Draws the record's string in colour; intensity scales coverage (saturating at full).
void blit_text(const text_t* text, lrgb_t* fb, lrgb_t colour, int w, int h, double intensity);
// The rectangle blit_text may mark in a w x h frame: columns i0 .. i1, rows j0 .. j1 (ends
// excluded). False when it marks nothing.
bool text_bounds(const text_t* text, int w, int h, long* i0, long* i1, long* j0, long* j1);

// The string's width in framebuffer pixels (sum of its advances times the scale).
double text_width(const font_t* font, const char* s);
