#include "framework/bitmap/RasterBitmap.h"

#include <png.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {
// Larger images are refused rather than risking a runaway allocation from a hostile header.
const long MAX_PIXELS = 1L << 27;
}  // namespace

void RasterBitmap::Resize(int width, int height) {
  mPixels.reset();
  mWidth = mHeight = 0;
  if (width <= 0 || height <= 0 || (long)width * height > MAX_PIXELS) return;
  mPixels = Allocate((size_t)width * height);
  if (!mPixels) return;
  mWidth = width;
  mHeight = height;
}

RasterBitmap& RasterBitmap::operator=(const RasterBitmap& other) {
  if (this == &other) return *this;
  Resize(other.mWidth, other.mHeight);
  if (mPixels) std::memcpy(mPixels.get(), other.mPixels.get(), sizeof(srgb_t) * mWidth * mHeight);
  return *this;
}

bool RasterBitmap::LoadPNG(const std::string& path, std::string* error) {
  png_image img;
  memset(&img, 0, sizeof img);
  img.version = PNG_IMAGE_VERSION;
  auto fail = [&](const std::string& why) {
    if (error) *error = path + ": " + why;
    png_image_free(&img);
    return false;
  };
  if (!png_image_begin_read_from_file(&img, path.c_str())) return fail(img.message[0] ? img.message : "cannot read");
  if (img.width == 0 || img.height == 0 || (long)img.width * img.height > MAX_PIXELS)
    return fail("image size out of range");
  img.format = PNG_FORMAT_ARGB;  // byte order of srgb_t
  Pixels_t pixels = Allocate((size_t)img.width * img.height);
  if (!pixels) return fail("out of memory");
  if (!png_image_finish_read(&img, nullptr, pixels.get(), 0, nullptr))
    return fail(img.message[0] ? img.message : "corrupt image data");
  mWidth = (int)img.width;
  mHeight = (int)img.height;
  mPixels = std::move(pixels);
  png_image_free(&img);
  return true;
}

bool RasterBitmap::SavePNG(const std::string& path, bool withAlpha, std::string* error) const {
  if (Empty()) {
    if (error) *error = path + ": empty bitmap";
    return false;
  }
  png_image img;
  memset(&img, 0, sizeof img);
  img.version = PNG_IMAGE_VERSION;
  img.width = (png_uint_32)mWidth;
  img.height = (png_uint_32)mHeight;
  std::vector<uint8_t> rgb;
  const void* data = mPixels.get();
  if (withAlpha) {
    img.format = PNG_FORMAT_ARGB;
  } else {
    img.format = PNG_FORMAT_RGB;
    const size_t n = (size_t)mWidth * mHeight;
    const srgb_t* px = mPixels.get();
    rgb.resize(n * 3);
    for (size_t i = 0; i < n; i++) {
      rgb[3 * i] = px[i].r;
      rgb[3 * i + 1] = px[i].g;
      rgb[3 * i + 2] = px[i].b;
    }
    data = rgb.data();
  }
  std::string tmp = path + ".part";
  if (!png_image_write_to_file(&img, tmp.c_str(), 0, data, 0, nullptr)) {
    if (error) *error = path + ": " + (img.message[0] ? img.message : "cannot write");
    std::remove(tmp.c_str());
    return false;
  }
  if (std::rename(tmp.c_str(), path.c_str()) != 0) {
    if (error) *error = path + ": " + strerror(errno);
    std::remove(tmp.c_str());
    return false;
  }
  return true;
}
