#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include "skin.h"

namespace {

void on_error(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void on_warning(png_structp, png_const_charp) {}

// Only plain data lives in this frame, which libpng leaves by longjmp on an error.
bool write_rows(FILE* file, const uint8_t* samples, int w, int h, int channels) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, on_error, on_warning);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  volatile bool ok = false;
  if (info && !setjmp(png_jmpbuf(png))) {
    png_init_io(png, file);
    static const int kTypes[] = {0, PNG_COLOR_TYPE_GRAY, 0, PNG_COLOR_TYPE_RGB, PNG_COLOR_TYPE_RGB_ALPHA};
    png_set_IHDR(png, info, (png_uint_32)w, (png_uint_32)h, 8, kTypes[channels], PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    png_set_sRGB(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
    // Unfiltered rows: the sheets are mostly blank and the knob's rows repeat, so they pack
    // smaller than with per-row filters and cost the reader nothing to unfilter.
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_set_compression_level(png, 9);
    png_set_compression_mem_level(png, 9);
    png_write_info(png, info);
    for (int y = 0; y < h; ++y) png_write_row(png, samples + (size_t)y * w * channels);
    png_write_end(png, nullptr);
    ok = true;
  }
  png_destroy_write_struct(&png, &info);
  return ok;
}

}  // namespace

bool save_plain_png(const std::string& path, const uint8_t* samples, int w, int h, int channels,
                    std::string* error) {
  const std::string tmp = path + ".part";
  FILE* f = std::fopen(tmp.c_str(), "wb");
  bool ok = f && channels >= 1 && channels <= 4 && channels != 2 && write_rows(f, samples, w, h, channels);
  if (f && std::fclose(f) != 0) ok = false;
  if (ok && std::rename(tmp.c_str(), path.c_str()) == 0) return true;
  if (error) *error = path + ": " + (errno ? strerror(errno) : "cannot write");
  std::remove(tmp.c_str());
  return false;
}
