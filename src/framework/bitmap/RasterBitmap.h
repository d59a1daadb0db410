// A 32-bit bitmap in the display pixel order of the toolkit (srgb_t: alpha, red, green,
// blue bytes), with PNG reading and writing through libpng.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "toolkit/graphics/srgb.h"
#include "toolkit/util/memory.h"

class RasterBitmap {
 public:
  RasterBitmap() = default;
  RasterBitmap(int width, int height) { Resize(width, height); }
  RasterBitmap(const RasterBitmap& other) { *this = other; }
  RasterBitmap(RasterBitmap&&) = default;
  RasterBitmap& operator=(const RasterBitmap& other);
  RasterBitmap& operator=(RasterBitmap&&) = default;
  virtual ~RasterBitmap() = default;

  // Zero-filled pixels; a non-positive size gives an empty bitmap. A large bitmap costs no
  // memory until its pixels are written.
  void Resize(int width, int height);
  int Width() const { return mWidth; }
  int Height() const { return mHeight; }
  int RowSpan() const { return mWidth; }  // pixels from one row to the next
  bool Empty() const { return !mPixels; }
  srgb_t* Pixels() { return mPixels.get(); }
  const srgb_t* Pixels() const { return mPixels.get(); }

  // Reads an 8- or 16-bit grey, grey-alpha, RGB, RGBA or palette PNG. On failure the
  // bitmap is left unchanged and error names the file and the fault.
  bool LoadPNG(const std::string& path, std::string* error);
  // The green sample of every pixel of a PNG as LoadPNG would read it, one byte a pixel, row
  // by row; false as LoadPNG (green is then unspecified).
  static bool LoadPNGGreen(const std::string& path, std::vector<uint8_t>* green, int* width, int* height,
                           std::string* error);
  // What a plain file's rows go to: called with the size once the header is read (false
  // refuses it), then with each row of 8-bit grey (1 channel) or RGB (3 channels) samples.
  struct RowSink {
    // A read may begin again after some rows (from a faster reader to libpng's): Begin then
    // comes again, and every row follows it.
    virtual bool Begin(int w, int h) = 0;
    virtual void Row(int y, const uint8_t* samples, int channels) = 0;
  };
  // Reads a plain PNG (8-bit grey or RGB, without transparency or interlacing, in sRGB as far
  // as its chunks tell) into sink, whose samples are then exactly the pixels LoadPNG gives.
  // False, silently, for any other kind of file and on any fault.
  static bool ReadPlainPNG(const std::string& path, RowSink* sink);
  // How many files the process has read by the one-pass path for unfiltered plain files,
  // which reads what libpng reads, only faster: the only sign that the path is taken.
  static unsigned UnfilteredReads();
  // Writes RGB, or RGBA when withAlpha, through a temporary file renamed into place, so a
  // failure never leaves a half-written file at path.
  bool SavePNG(const std::string& path, bool withAlpha, std::string* error) const;
  // The same as 8-bit grey, from the green channel: for pictures whose red, green and blue are
  // equal (the font sheets), a third of the data to write and to read back.
  bool SaveGreyPNG(const std::string& path, std::string* error) const;

 private:
  struct Free {
    size_t bytes;
    void operator()(srgb_t* p) const { zeroed_free(p, bytes); }
  };
  using Pixels_t = std::unique_ptr<srgb_t, Free>;
  static Pixels_t Allocate(size_t count) {
    const size_t bytes = count * sizeof(srgb_t);
    return Pixels_t(static_cast<srgb_t*>(zeroed_alloc_image(bytes)), Free{bytes});  // written whole
  }

  // Through libpng's simplified reader, which takes every kind of PNG.
  bool LoadPNGGeneral(const std::string& path, std::string* error);

  int mWidth = 0, mHeight = 0;
  Pixels_t mPixels;
};
