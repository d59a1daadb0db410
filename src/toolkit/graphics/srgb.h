// Linear-light pixels (15-bit fixed point, 32768 = 1.0) and their conversion to and from
// 8-bit sRGB display pixels.
#pragma once
#include <cstdint>

struct lrgb_t {
  uint16_t r, g, b, a;
};

// Byte order of the platform's 32-bit screen bitmap: alpha first, never written.
struct srgb_t {
  uint8_t a, r, g, b;
};

// w x h pixels, row by row; srgb may be null (no display form).
struct image_t {
  int32_t w;
  int32_t h;
  srgb_t* srgb;
  lrgb_t* l;
};

struct lut_t {
  int32_t n;
  const int32_t* v;  // the byte-clamp table's bytes are reached through clamp below
  const uint8_t* clamp;  // byte-clamp table only: points at the entry for input 0
};

// Allocates zeroed pixels with malloc (the linear array is what font_load later frees);
// with_srgb also gives the image a display plane. Returns false when memory runs out or
// the size is not positive.
bool image_alloc(image_t* img, int w, int h, bool with_srgb);
// Frees both planes (either may be null) and zeroes the record.
void image_free(image_t* img);

double lsrgb(double v);
double slrgb(double v);

// Shared tables, built on first use (thread-safe) and kept for the process's life.
const lut_t& get_lut_lsrgb();  // 32769 entries, 0..8160 (8-bit value << 5)
const lut_t& get_lut_slrgb();  // 256 entries, 0..32768

// Freshly built tables, owned by the caller (delete[] the arrays through lut_free).
lut_t dither_lut_init();
lut_t bytecheck_lut_init(int margin);
void lut_free(lut_t* lut);

// Linear to display for count pixels; dither 1 adds the table's noise before truncation.
// Byte 0 (alpha) of out is never written. Channels must lie in 0..32768; larger ones are
// treated as 32768.
void convert_lrgb_to_srgb(srgb_t* out, const lrgb_t* in, int count, int dither);

// The conversion of a w x h frame: the same bytes as convert_lrgb_to_srgb(out, in, w * h,
// dither), from the same draws of rand, but cheaper where the frame repeats itself down its
// columns: a pixel equal to the one above it reuses that pixel's table values. scratch holds
// at least 2 * w values.
void convert_frame_to_srgb(srgb_t* out, const lrgb_t* in, int w, int h, int dither, uint64_t* scratch);
// The same conversion, from the same draws of rand, written as a display's 32-bit words:
// 0x00RRGGBB | opaque in the machine's byte order, rows stride words apart.
void convert_frame_to_xrgb(uint32_t* out, int stride, uint32_t opaque, const lrgb_t* in, int w, int h, int dither,
                           uint64_t* scratch);

// Display to linear: r, g, b from bytes 1..3; each output's alpha is kept.
void convert_srgb_to_lrgb(const srgb_t* in, lrgb_t* out, int count);
// count pixels of packed 8-bit sRGB (three bytes a pixel, red first) to linear, each with the
// alpha a: an image file's row straight to linear pixels.
void convert_rgb_bytes_to_lrgb(const uint8_t* in, lrgb_t* out, int count, uint16_t a);
