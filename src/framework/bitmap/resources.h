// Finding the skin resources at run time and loading them as linear images.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "framework/bitmap/RasterBitmap.h"
#include "toolkit/graphics/srgb.h"

// The folders resources are looked up in, in order: $QUILLMAR_RESOURCES; beside the running
// binary or shared object (resources/, ../share/quillmar/resources/); the source tree, only
// for a binary run in the build tree it was built in.
std::vector<std::string> resource_folders();

// Full path of a resource-relative name (e.g. "img/font/font48.png") in the first of the
// resource folders that has it. Empty when found nowhere.
std::string resource_path(const std::string& name);

// The image of a bitmap: its pixels serve as the display plane (the bitmap must outlive
// the image) and a new linear plane (malloc) holds every channel, alpha included, through
// the sRGB-to-linear table. An empty bitmap gives an empty image.
image_t load_image(RasterBitmap& bitmap);

// Reads a resource PNG into bitmap; false, with the bitmap left as it was, when the file
// cannot be found or read. The first failure of the process is reported as one line on
// standard error (for a missing file, naming the folders looked in); later files not found
// are not reported again, files found but unreadable are.
bool load_resource_png(const std::string& name, RasterBitmap& bitmap);

// The green samples of a resource PNG, one byte a pixel (RasterBitmap::LoadPNGGreen); a file
// that cannot be found or read is reported as by load_resource_png: false then.
bool load_resource_png_green(const std::string& name, std::vector<uint8_t>* green, int* w, int* h);

// Any thread. Quiet: failures are recorded but not reported (a program that draws nothing).
void set_resource_reports_quiet(bool quiet);
// The first resource failure of the process, as the report words it; empty when none.
std::string resource_failure();

// Loads a skin resource into bitmap and returns its image. A file that cannot be loaded is
// reported as load_resource_png says and replaced by a blank bitmap of fallbackW x fallbackH,
// so that the program keeps working.
image_t load_skin_image(const std::string& name, RasterBitmap& bitmap, int fallbackW, int fallbackH);
// The same image without a display plane (srgb null) or a bitmap: a plain file's rows go
// straight to the linear plane.
image_t load_skin_linear(const std::string& name, int fallbackW, int fallbackH);
