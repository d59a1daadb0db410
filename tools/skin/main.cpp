// quillmar_skin OUTDIR: draws the knob, light, logo and shadow images and renders the six
// font sheets from DejaVu Sans and DejaVu Sans Condensed Bold into OUTDIR (and OUTDIR/font).
// The bold sheets are condensed so that the level labels fit left of the curve area; the logo
// keeps DejaVu Sans Bold, from sheets rendered into a scratch folder.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
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
  char scratch[] = "/tmp/quillmar-skin-XXXXXX";
  if (!mkdtemp(scratch)) {
    fprintf(stderr, "quillmar_skin: cannot make a scratch folder\n");
    return 1;
  }
  const std::string logo_font = std::string(scratch) + "/logo";
  bool ok = make_font_sheets(dejavu + "DejaVuSans.ttf", 6, fonts + "font48.png", fonts + "font12.png",
                             fonts + "font15.png", &error) &&
            make_font_sheets(dejavu + "DejaVuSansCondensed-Bold.ttf", 8, fonts + "bold48.png",
                             fonts + "bold12.png", fonts + "bold15.png", &error) &&
            make_font_sheets(dejavu + "DejaVuSans-Bold.ttf", 8, logo_font + "48.png", logo_font + "12.png",
                             logo_font + "15.png", &error) &&
            make_knob(out + "/black_knob.png", &error) && make_shadow(out + "/shadow.png", &error) &&
            make_light(out + "/light.png", &error) && make_logo(out + "/logo.png", logo_font + "48.png", &error);
  for (const char* size : {"48", "12", "15"}) remove((logo_font + size + ".png").c_str());
  rmdir(scratch);
  if (!ok) {
    fprintf(stderr, "quillmar_skin: %s\n", error.c_str());
    return 1;
  }
  printf("skin written to %s\n", out.c_str());
  return 0;
}
