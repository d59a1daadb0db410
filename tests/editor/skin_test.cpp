#include "editor/skin.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>

#include "editor/frame.h"
#include "editor_env.h"
#include "framework/bitmap/RasterBitmap.h"
#include "framework/bitmap/resources.h"

namespace {

struct Skin : EditorTest {};

bool blank(const font_t* f) {
  if (!f || f->cell_w != 80 || f->cell_h != 48) return false;
  for (long i = 0; i < (long)f->cell_w * f->cell_h * FONT_GLYPHS; ++i)
    if (f->coverage[i]) return false;
  return true;
}

// Each family is loaded once: a second call keeps the fonts the editors already hold.
TEST_F(Skin, FontsAreLoadedOnce) {
  skin_load_fonts();
  const skin_t& sk = skin();
  const font_t* fonts[] = {sk.font, sk.font12, sk.font15, sk.fbold, sk.fbold12, sk.fbold15};
  skin_load_fonts();
  const font_t* again[] = {sk.font, sk.font12, sk.font15, sk.fbold, sk.fbold12, sk.fbold15};
  for (int i = 0; i < 6; ++i) {
    EXPECT_NE(fonts[i], nullptr) << i;
    EXPECT_EQ(fonts[i], again[i]) << i;
    // The shipped sheets agree: the six coverages lie one after another in one block.
    const size_t n = (size_t)sk.font->cell_w * sk.font->cell_h * FONT_GLYPHS;
    EXPECT_EQ(fonts[i]->coverage, sk.font->coverage + i * n) << i;
  }
}

// A skin whose files are all unreadable (and, with tall_bold, whose bold sheets are blank
// sheets of taller cells, 80 x 50), in a process of its own where no skin is loaded yet: an
// editor draws a frame with it.
const skin_t& load_skin(bool tall_bold) {
  const std::string dir = std::string(std::getenv("QUILLMAR_CONFIG_DIR")) + "/bad_skin";
  const char* names[] = {"font/font48.png", "font/font12.png", "font/font15.png", "font/bold48.png",
                         "font/bold12.png", "font/bold15.png", "black_knob.png",  "light.png",
                         "logo.png",        "shadow.png"};
  for (const char* sub : {"", "/img", "/img/font"}) mkdir((dir + sub).c_str(), 0700);
  for (const char* name : names) {
    FILE* f = std::fopen((dir + "/img/" + name).c_str(), "wb");
    std::fputs("not a picture", f);
    std::fclose(f);
  }
  const RasterBitmap tall(80, 50 * FONT_GLYPHS);
  for (int i = 3; tall_bold && i < 6; ++i) tall.SaveGreyPNG(dir + "/img/" + names[i], nullptr);
  setenv("QUILLMAR_RESOURCES", dir.c_str(), 1);
  set_resource_reports_quiet(true);
  PreviewPlug p = preview_make(0);
  draw_frame(p->Inst());
  return skin();
}

// Blank font sheets of the usual 80 x 48 cells, and blank images of the usual sizes (a knob
// strip whose frame is 64 x 64).
bool load_unreadable_skin() {
  const skin_t& sk = load_skin(false);
  bool ok = sk.bknob.l;
  const struct {
    const image_t& img;
    int w, h;
  } sizes[] = {{sk.bknob, 64, 64}, {sk.light, 76, 76}, {sk.logo, 119, 30}, {sk.shade, 84, 84}};
  for (const auto& c : sizes) ok = ok && c.img.w == c.w && c.img.h == c.h;
  for (const font_t* f : {sk.font, sk.font12, sk.font15, sk.fbold, sk.fbold12, sk.fbold15}) ok = ok && blank(f);
  return ok;
}

// Bold sheets of other cells than the regular ones: the bold family cannot share the regular
// family's block, and gets coverage of its own, outside that block, all of it blank.
bool load_skin_of_two_geometries() {
  const skin_t& sk = load_skin(true);
  const size_t n = (size_t)80 * 48 * FONT_GLYPHS, tall_n = (size_t)80 * 50 * FONT_GLYPHS;
  bool ok = blank(sk.font) && blank(sk.font12) && blank(sk.font15);
  for (const font_t* f : {sk.fbold, sk.fbold12, sk.fbold15}) {
    ok = ok && f && f->cell_h == 50 &&
         (f->coverage >= sk.font->coverage + 2 * 3 * n || f->coverage + tall_n <= sk.font->coverage);
    for (size_t i = 0; ok && i < tall_n; ++i) ok = !f->coverage[i];
  }
  return ok;
}

TEST_F(Skin, AnUnreadableSkinIsBlank) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(std::exit(load_unreadable_skin() ? 0 : 1), ::testing::ExitedWithCode(0), "");
  EXPECT_EXIT(std::exit(load_skin_of_two_geometries() ? 0 : 1), ::testing::ExitedWithCode(0), "");
}

}  // namespace
