// A 32-bit bitmap in the display pixel order of the toolkit (srgb_t: alpha, red, green,
// blue bytes), with PNG reading and writing through libpng.
#pragma once
#include <string>
#include <vector>

#include "toolkit/graphics/srgb.h"

class RasterBitmap {
 public:
  RasterBitmap() = default;
  RasterBitmap(int width, int height) { Resize(width, height); }
  virtual ~RasterBitmap() = default;

  // Zero-filled pixels; a non-positive size gives an empty bitmap.
  void Resize(int width, int height);
  int Width() const { return mWidth; }
  int Height() const { return mHeight; }
  int RowSpan() const { return mWidth; }  // pixels from one row to the next
  bool Empty() const { return mPixels.empty(); }
  srgb_t* Pixels() { return mPixels.data(); }
  const srgb_t* Pixels() const { return mPixels.data(); }

  // Reads an 8- or 16-bit grey, grey-alpha, RGB, RGBA or palette PNG. On failure the
  // bitmap is left unchanged and error names the file and the fault.
  bool LoadPNG(const std::string& path, std::string* error);
  // Writes RGB, or RGBA when withAlpha, through a temporary file renamed into place, so a
  // failure never leaves a half-written file at path.
  bool SavePNG(const std::string& path, bool withAlpha, std::string* error) const;

 private:
  int mWidth = 0, mHeight = 0;
  std::vector<srgb_t> mPixels;
};
