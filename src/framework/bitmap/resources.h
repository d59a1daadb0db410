// Finding the skin resources at run time and loading them as linear images.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "framework/bitmap/RasterBitmap.h"
#include "toolkit/graphics/srgb.h"

// Full path of a resource-relative name (e.g. "img/font/font48.png"), looked up in
// $QUILLMAR_RESOURCES, then beside the running binary or shared object (resources/,
// ../share/quillmar/resources/), then the source tree. Empty when found nowhere.
std::string resource_path(const std::string& name);

// The image of a bitmap: its pixels serve as the display plane (the bitmap must outlive
// the image) and a new linear plane (malloc) holds every channel, alpha included, through
// the sRGB-to-linear table. An empty bitmap gives an empty image.
image_t load_image(RasterBitmap& bitmap);

// Reads a resource PNG into bitmap. A file that cannot be found or read is reported once on
// standard error with its path, and the bitmap is left as it was: false then.
bool load_resource_png(const std::string& name, RasterBitmap& bitmap);

// The green samples of a resource PNG, one byte a pixel (RasterBitmap::LoadPNGGreen); a file
// that cannot be found or read is reported as by load_resource_png: false then.
bool load_resource_png_green(const std::string& name, std::vector<uint8_t>* green, int* w, int* h);

// Loads a skin resource into bitmap and returns its image. A file that cannot be found or
// read is reported once on standard error with its path, and replaced by a blank bitmap of
// fallbackW x fallbackH so that the program keeps working.
image_t load_skin_image(const std::string& name, RasterBitmap& bitmap, int fallbackW, int fallbackH);
