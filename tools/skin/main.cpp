// quillmar_skin OUTDIR: draws the knob, light, logo and shadow images and renders the six
// font sheets from DejaVu Sans and DejaVu Sans Bold into OUTDIR (and OUTDIR/font).
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "skin.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s OUTDIR\n", argv[0]);
    return 2;
  }
  std::string out = argv[1], fonts = out + "/font/";
  mkdir(out.c_str(), 0755);
  mkdir(fonts.c_str(), 0755);
  const std::string dejavu = "/usr/share/fonts/truetype/dejavu/";
  std::string error;
  bool ok = make_font_sheets(dejavu + "DejaVuSans.ttf", 6, fonts + "font48.png", fonts + "font12.png",
                             fonts + "font15.png", &error) &&
            make_font_sheets(dejavu + "DejaVuSans-Bold.ttf", 8, fonts + "bold48.png", fonts + "bold12.png",
                             fonts + "bold15.png", &error) &&
            make_knob(out + "/black_knob.png", &error) && make_shadow(out + "/shadow.png", &error) &&
            make_light(out + "/light.png", &error) && make_logo(out + "/logo.png", fonts + "bold48.png", &error);
  if (!ok) {
    fprintf(stderr, "quillmar_skin: %s\n", error.c_str());
    return 1;
  }
  printf("skin written to %s\n", out.c_str());
  return 0;
}
