#include "editor/skin.h"

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "framework/bitmap/resources.h"
#include "toolkit/graphics/colour.h"

namespace {

skin_t g_skin = {};

// A blank sheet must still hold 224 cells for the font loader.
constexpr int SHEET_W = 80, SHEET_H = 48 * FONT_GLYPHS;
constexpr size_t FAMILY_SIZES = 3;  // the base font, size 12 and size 15
constexpr size_t FAMILIES = 2;      // regular and bold

// A font sheet as the green byte of each pixel, which is all a font takes from it: read
// straight from the file, without a bitmap or a linear image of the whole sheet. A missing
// sheet is blank.
struct sheet_t {
  std::vector<uint8_t> green;
  int w = 0, h = 0;
};

// The sheets are read one after another into the same buffer: each is copied into its font
// before the next is read, and the buffer's pages are faulted in once, not once a sheet.
const sheet_t& load_sheet(sheet_t* s, const char* name) {
  if (!load_resource_png_green(std::string("img/font/") + name, &s->green, &s->w, &s->h)) {
    s->w = SHEET_W;
    s->h = SHEET_H;
    s->green.assign((size_t)SHEET_W * SHEET_H, 0);
  }
  return *s;
}

// Room for a family's coverage: three fonts of n values each, which share the base's cells.
// The coverage is written whole and kept for the process's life like the fonts, so it lives in
// one block that can be backed by large pages; both families share the block when their sheets
// agree, as the shipped ones do, which leaves fewer small pages at its end.
uint16_t* family_room(size_t n) {
  static uint16_t* block = nullptr;
  static size_t block_n = 0, taken = 0;
  if (!n) return nullptr;
  if (!block) {
    const size_t bytes = mem_round_to_large_pages(FAMILIES * FAMILY_SIZES * n * sizeof(uint16_t));
    block = static_cast<uint16_t*>(zeroed_alloc_image(bytes));
    mem_expect_written(block, bytes);
    block_n = n;
  }
  if (block && n == block_n && taken < FAMILIES) return block + FAMILY_SIZES * n * taken++;
  const size_t bytes = FAMILY_SIZES * n * sizeof(uint16_t);
  auto* own = static_cast<uint16_t*>(zeroed_alloc_image(bytes));
  mem_expect_written(own, bytes);
  return own;
}

void load_family(sheet_t* sheet, font_t** base, font_t** small, font_t** medium, int trim, const char* big_name,
                 const char* small_name, const char* medium_name) {
  if (*base) return;
  const sheet_t& big = load_sheet(sheet, big_name);
  const size_t n = font_coverage_values(big.w, big.h);
  uint16_t* room = family_room(n);  // kept even if the fonts fail: at most once a process
  *base = font_load_green(trim, big.w, big.h, big.green.data(), room);
  if (!*base) return;
  const sheet_t& s12 = load_sheet(sheet, small_name);
  *small = make_font_size_green(*base, s12.w, s12.h, s12.green.data(), 12.0, room ? room + n : nullptr);
  const sheet_t& s15 = load_sheet(sheet, medium_name);
  *medium = make_font_size_green(*base, s15.w, s15.h, s15.green.data(), 15.0, room ? room + 2 * n : nullptr);
}

// The linear pixels alone: the editor draws only with them, so no 32-bit bitmap (3 MB for the
// knob strip) is made or kept. A missing file gets a blank image of the usual size.
void load_once(image_t* img, const char* name, int w, int h) {
  if (img->l) return;
  *img = load_skin_linear(std::string("img/") + name, w, h);
}

}  // namespace

const skin_t& skin() { return g_skin; }

lrgb_t srgb_colour(int r, int g, int b) {
  return make_colour_srgb(r, g, b, 255);  // mutate: skip constant (no caller reads this alpha)
}

void init_colours() {
  g_skin.black = make_grey_lin(0.0);
  g_skin.white = make_grey_lin(1.0);
}

void skin_load_fonts() {
  sheet_t sheet;
  load_family(&sheet, &g_skin.font, &g_skin.font12, &g_skin.font15, 6, "font48.png", "font12.png", "font15.png");
  load_family(&sheet, &g_skin.fbold, &g_skin.fbold12, &g_skin.fbold15, 8, "bold48.png", "bold12.png", "bold15.png");
}

void skin_load_images(IGraphics* g) {
  if (!g) return;
  if (!g_skin.bknob.l) {
    load_once(&g_skin.bknob, "black_knob.png", 64, 64 * KNOB_FRAMES);
    g_skin.bknob.h /= KNOB_FRAMES;
  }
  load_once(&g_skin.light, "light.png", 76, 76);
  load_once(&g_skin.logo, "logo.png", 119, 30);
  load_once(&g_skin.shade, "shadow.png", 84, 84);
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
  if (g) ready.store(true, std::memory_order_release);  // mutate: skip statement (left unset, the next call finds everything loaded)
}
