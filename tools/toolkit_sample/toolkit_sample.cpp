// toolkit_sample OUT.png: renders the toolkit sample sheet.
#include <cstdio>

#include "framework/bitmap/RasterBitmap.h"
#include "sample_sheet.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s OUT.png\n", argv[0]);
    return 2;
  }
  std::vector<lrgb_t> fb;
  std::string error;
  if (!render_sample_sheet(&fb, &error)) {
    fprintf(stderr, "toolkit_sample: %s\n", error.c_str());
    return 1;
  }
  RasterBitmap bmp(SAMPLE_W, SAMPLE_H);
  convert_lrgb_to_srgb(bmp.Pixels(), fb.data(), SAMPLE_W * SAMPLE_H, 1);
  if (!bmp.SavePNG(argv[1], false, &error)) {
    fprintf(stderr, "toolkit_sample: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
