#include "editor/skin.h"

#include <atomic>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "framework/IGraphics.h"
#include "framework/bitmap/resources.h"
#include "toolkit/graphics/colour.h"

namespace {

// Resource ids of the skin images in the bitmap cache.
enum { RES_LOGO = 100, RES_KNOB = 101, RES_LIGHT = 103, RES_SHADOW = 104 };

skin_t g_skin = {};

// A blank sheet must still hold 224 cells for the font loader.
constexpr int SHEET_W = 80, SHEET_H = 48 * FONT_GLYPHS;

// A font sheet as the green byte of each pixel, which is all a font takes from it: read
// straight from the file, without a bitmap or a linear image of the whole sheet. A missing
// sheet is blank.
struct sheet_t {
  std::vector<uint8_t> green;
  int w = 0, h = 0;
};

sheet_t load_sheet(const char* name) {
  sheet_t s;
  if (!load_resource_png_green(std::string("img/font/") + name, &s.green, &s.w, &s.h)) {
    s.w = SHEET_W;
    s.h = SHEET_H;
    s.green.assign((size_t)SHEET_W * SHEET_H, 0);
  }
  return s;
}

void load_family(font_t** base, font_t** small, font_t** medium, int trim, const char* big_name,
                 const char* small_name, const char* medium_name) {
  if (*base) return;
  const sheet_t big = load_sheet(big_name);
  *base = font_load_green(trim, big.w, big.h, big.green.data());
  if (!*base) return;
  const sheet_t s12 = load_sheet(small_name);
  *small = make_font_size_green(*base, s12.w, s12.h, s12.green.data(), 12.0);
  const sheet_t s15 = load_sheet(medium_name);
  *medium = make_font_size_green(*base, s15.w, s15.h, s15.green.data(), 15.0);
}

// Through the graphics context's bitmap cache, which keeps the bitmaps for the process's life:
// the images use their pixels as display planes. A missing file gets a blank bitmap of the
// usual size.
void load_once(IGraphics* g, image_t* img, int id, const char* name, int w, int h) {
  if (img->l) return;
  IBitmap b = g->LoadIBitmap(id, (std::string("img/") + name).c_str());
  if (!b.mData) {
    // Kept for the process's life like the cached ones, and reachable, as they are.
    static std::vector<std::unique_ptr<RasterBitmap>> blanks;
    blanks.push_back(std::make_unique<RasterBitmap>(w, h));
    b.mData = blanks.back().get();
  }
  *img = load_image(*b.mData);
}

}  // namespace

const skin_t& skin() { return g_skin; }

void init_colours() {
  g_skin.black = make_colour_srgb(0, 0, 0, 255);
  g_skin.white = make_colour_srgb(255, 255, 255, 255);
}

void skin_load_fonts() {
  load_family(&g_skin.font, &g_skin.font12, &g_skin.font15, 6, "font48.png", "font12.png", "font15.png");
  load_family(&g_skin.fbold, &g_skin.fbold12, &g_skin.fbold15, 8, "bold48.png", "bold12.png", "bold15.png");
}

void skin_load_images(IGraphics* g) {
  if (!g) return;
  if (!g_skin.bknob.l) {
    load_once(g, &g_skin.bknob, RES_KNOB, "black_knob.png", 64, 64 * KNOB_FRAMES);
    g_skin.bknob.h /= KNOB_FRAMES;
  }
  load_once(g, &g_skin.light, RES_LIGHT, "light.png", 76, 76);
  load_once(g, &g_skin.logo, RES_LOGO, "logo.png", 119, 30);
  load_once(g, &g_skin.shade, RES_SHADOW, "shadow.png", 84, 84);
}

void skin_ensure(IGraphics* g) {
  // Published once complete: an editor that sees the flag set sees every field written.
  static std::atomic<bool> ready{false};
  static std::mutex lock;
  if (ready.load(std::memory_order_acquire)) return;
  std::lock_guard<std::mutex> guard(lock);
  if (ready.load(std::memory_order_relaxed)) return;
  init_colours();
  skin_load_fonts();
  skin_load_images(g);
  // Without a graphics context no image was loaded: a later editor loads them.
  if (g) ready.store(true, std::memory_order_release);
}
