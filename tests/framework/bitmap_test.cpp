// The bitmap layer: PNG reading in every colour type we accept, writing, bad files, the
// resource lookup, the linear image loader, and the metrics of the committed font sheets.
#include <gtest/gtest.h>
#include <png.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>
#include <zlib.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "framework/bitmap/RasterBitmap.h"
#include "framework/bitmap/resources.h"
#include "toolkit/font.h"

namespace {

struct temp_dir_t {
  std::string path;
  temp_dir_t() {
    char tmpl[] = "/tmp/qm_bitmap_XXXXXX";
    path = mkdtemp(tmpl);
  }
  ~temp_dir_t() { std::system(("rm -rf '" + path + "'").c_str()); }
  std::string file(const std::string& name) const { return path + "/" + name; }
};

// Writes a PNG with libpng's own writer in the given format (independent of our writer).
void write_png(const std::string& path, png_uint_32 format, int w, int h, const void* data,
               const void* colormap = nullptr, int colours = 0) {
  png_image img;
  memset(&img, 0, sizeof img);
  img.version = PNG_IMAGE_VERSION;
  img.width = w;
  img.height = h;
  img.format = format;
  img.colormap_entries = colours;
  ASSERT_TRUE(png_image_write_to_file(&img, path.c_str(), 0, data, 0, colormap)) << img.message;
}

// Fonts live for the whole process, as in the product: keep them reachable (a plain
// array, which no destructor clears before the leak check at exit).
font_t* fonts_kept[16];
int fonts_count = 0;

std::string read_all(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

}  // namespace

TEST(RasterBitmap, ReadsRgbRgbaGreyAndPalette) {
  temp_dir_t dir;
  const uint8_t rgb[] = {255, 0, 0, 0, 128, 7};
  write_png(dir.file("rgb.png"), PNG_FORMAT_RGB, 2, 1, rgb);
  const uint8_t rgba[] = {1, 2, 3, 4, 250, 251, 252, 253};
  write_png(dir.file("rgba.png"), PNG_FORMAT_RGBA, 2, 1, rgba);
  const uint8_t grey[] = {0, 77, 255};
  write_png(dir.file("grey.png"), PNG_FORMAT_GRAY, 3, 1, grey);
  const uint8_t map[] = {10, 20, 30, 200, 100, 50};
  const uint8_t idx[] = {1, 0, 1};
  write_png(dir.file("pal.png"), PNG_FORMAT_RGB_COLORMAP, 3, 1, idx, map, 2);

  RasterBitmap b;
  std::string err;
  ASSERT_TRUE(b.LoadPNG(dir.file("rgb.png"), &err)) << err;
  ASSERT_EQ(b.Width(), 2);
  ASSERT_EQ(b.Height(), 1);
  const srgb_t* p = b.Pixels();
  EXPECT_EQ(p[0].a, 255);
  EXPECT_EQ(p[0].r, 255);
  EXPECT_EQ(p[0].g, 0);
  EXPECT_EQ(p[1].g, 128);
  EXPECT_EQ(p[1].b, 7);
  ASSERT_TRUE(b.LoadPNG(dir.file("rgba.png"), &err)) << err;
  p = b.Pixels();
  EXPECT_EQ(p[1].a, 253);
  EXPECT_EQ(p[1].r, 250);
  EXPECT_EQ(p[1].b, 252);
  ASSERT_TRUE(b.LoadPNG(dir.file("grey.png"), &err)) << err;
  p = b.Pixels();
  EXPECT_EQ(b.Width(), 3);
  EXPECT_EQ(p[1].r, 77);
  EXPECT_EQ(p[1].g, 77);
  EXPECT_EQ(p[1].b, 77);
  ASSERT_TRUE(b.LoadPNG(dir.file("pal.png"), &err)) << err;
  p = b.Pixels();
  EXPECT_EQ(p[0].r, 200);
  EXPECT_EQ(p[0].b, 50);
  EXPECT_EQ(p[1].g, 20);
  EXPECT_EQ(p[2].r, 200);
}

// What libpng's simplified reader makes of a file, as ARGB bytes: the reference for ours.
std::vector<uint8_t> simplified_argb(const std::string& path, int* w, int* h) {
  png_image img;
  memset(&img, 0, sizeof img);
  img.version = PNG_IMAGE_VERSION;
  std::vector<uint8_t> px;
  if (!png_image_begin_read_from_file(&img, path.c_str())) return px;
  img.format = PNG_FORMAT_ARGB;
  px.resize(PNG_IMAGE_SIZE(img));
  if (!png_image_finish_read(&img, nullptr, px.data(), 0, nullptr)) px.clear();
  *w = (int)img.width;
  *h = (int)img.height;
  png_image_free(&img);
  return px;
}

// A grey file with a gAMA chunk, written with libpng's own writer.
void write_grey_with_gamma(const std::string& path, double gamma) {
  FILE* f = fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, f);
  png_set_IHDR(png, info, 4, 1, 8, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_set_gAMA(png, info, gamma);
  png_write_info(png, info);
  uint8_t row[4] = {0, 60, 128, 255};
  png_write_row(png, row);
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  fclose(f);
}

// Plain files (8-bit grey and RGB in sRGB) are read row by row; every file must read exactly
// as the simplified reader reads it, the committed skin included.
TEST(RasterBitmap, EveryFileReadsAsLibpngsSimplifiedReaderReadsIt) {
  temp_dir_t dir;
  const uint8_t rgb[] = {255, 0, 0, 0, 128, 7};
  write_png(dir.file("rgb.png"), PNG_FORMAT_RGB, 2, 1, rgb);
  const uint8_t grey[] = {0, 77, 255};
  write_png(dir.file("grey.png"), PNG_FORMAT_GRAY, 3, 1, grey);
  const uint8_t rgba[] = {1, 2, 3, 4, 250, 251, 252, 253};
  write_png(dir.file("rgba.png"), PNG_FORMAT_RGBA, 2, 1, rgba);
  write_grey_with_gamma(dir.file("linear.png"), 1.0);
  write_grey_with_gamma(dir.file("srgb_gamma.png"), 1 / 2.2);
  std::vector<std::string> files = {dir.file("rgb.png"), dir.file("grey.png"), dir.file("rgba.png"),
                                    dir.file("linear.png"), dir.file("srgb_gamma.png")};
  for (const char* name : {"black_knob", "light", "logo", "shadow", "font/font48", "font/font12", "font/font15",
                           "font/bold48", "font/bold12", "font/bold15"})
    files.push_back(resource_path(std::string("img/") + name + ".png"));
  for (const std::string& path : files) {
    int w = 0, h = 0, gw = 0, gh = 0;
    const std::vector<uint8_t> want = simplified_argb(path, &w, &h);
    ASSERT_FALSE(want.empty()) << path;
    RasterBitmap b;
    std::string err;
    ASSERT_TRUE(b.LoadPNG(path, &err)) << err;
    ASSERT_EQ(b.Width(), w);
    ASSERT_EQ(b.Height(), h);
    EXPECT_EQ(memcmp(b.Pixels(), want.data(), want.size()), 0) << path;
    std::vector<uint8_t> green;
    ASSERT_TRUE(RasterBitmap::LoadPNGGreen(path, &green, &gw, &gh, &err)) << err;
    ASSERT_EQ(gw * gh, w * h);
    size_t wrong = 0;
    for (size_t i = 0; i < green.size(); ++i) wrong += green[i] != want[4 * i + 2];
    EXPECT_EQ(wrong, 0u) << path;
  }
}

// A committed skin file (rows unfiltered, inflated in one call) changed in ways that the
// one-call reader must leave to libpng: each reads as the simplified reader reads it, or is
// refused as it is refused.
TEST(RasterBitmap, UnfilteredFileVariantsReadAsLibpngReadsThem) {
  temp_dir_t dir;
  const std::string plain = read_all(resource_path("img/logo.png"));
  auto chunk = [](const char* type, const std::string& data) {
    std::string c = std::string(type, 4) + data;
    auto be32 = [](uint32_t v) { return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; };
    return be32((uint32_t)data.size()) + c + be32((uint32_t)crc32(0, (const Bytef*)c.data(), (uInt)c.size()));
  };
  const size_t srgb = plain.find("sRGB") - 4, idat = plain.find("IDAT") - 4, iend = plain.rfind("IEND") - 4;
  const std::string data = plain.substr(idat + 8, iend - idat - 12), half = data.substr(0, data.size() / 2);
  std::string bad_block = data;
  bad_block[2] |= 6;  // the first block's type: 3, which does not exist
  // The last row filtered (Up) after unfiltered ones: read part way, then begun again.
  const uint32_t w = (uint8_t)plain[16] << 24 | (uint8_t)plain[17] << 16 | (uint8_t)plain[18] << 8 | (uint8_t)plain[19];
  const size_t span = 3 * w + 1;
  std::string raw(span * 30, '\0');  // the logo is 30 rows of RGB
  uLongf raw_len = raw.size();
  ASSERT_EQ(uncompress((Bytef*)&raw[0], &raw_len, (const Bytef*)data.data(), data.size()), Z_OK);
  ASSERT_EQ(raw_len, raw.size());
  // The same stream claiming a window of 256 bytes, which its copies from a row back exceed.
  std::string narrow = data;
  narrow[0] = 0x08, narrow[1] = 29;  // 0x081d is a multiple of 31, as a stream's header must be
  const size_t last = raw.size() - span;
  for (size_t i = span - 1; i >= 1; --i) raw[last + i] = char(raw[last + i] - raw[last - span + i]);
  raw[last] = 2;
  std::string late(compressBound(raw.size()), '\0');
  uLongf late_len = late.size();
  ASSERT_EQ(compress((Bytef*)&late[0], &late_len, (const Bytef*)raw.data(), raw.size()), Z_OK);
  late.resize(late_len);
  const struct {
    const char* name;
    std::string bytes;
    bool fast;  // read by the one-pass path, not left to libpng
  } cases[] = {
      {"plain.png", plain, true},
      {"split_data.png", plain.substr(0, idat) + chunk("IDAT", data.substr(0, 5)) + chunk("IDAT", "") +
                             chunk("IDAT", data.substr(5)) + plain.substr(iend), true},
      {"linear.png",  // sRGB replaced by a gamma of 1
       plain.substr(0, srgb) + chunk("gAMA", std::string{0, 1, char(0x86), char(0xa0)}) + plain.substr(srgb + 13),
       false},
      {"text_inside.png",
       plain.substr(0, idat) + chunk("IDAT", half) + chunk("tEXt", std::string("a\0b", 3)) +
           chunk("IDAT", data.substr(half.size())) + plain.substr(iend),
       false},
      {"bad_block.png", plain.substr(0, idat) + chunk("IDAT", bad_block) + plain.substr(iend), false},
      {"filtered_late.png", plain.substr(0, idat) + chunk("IDAT", late) + plain.substr(iend), false},
      {"narrow_window.png", plain.substr(0, idat) + chunk("IDAT", narrow) + plain.substr(iend), false},
      {"bad_name.png", plain.substr(0, idat) + chunk("a1b2", "x") + plain.substr(idat), false},  // not letters
  };
  for (const auto& c : cases) {
    const std::string path = dir.file(c.name);
    std::ofstream(path, std::ios::binary) << c.bytes;
    int w = 0, h = 0;
    const std::vector<uint8_t> want = simplified_argb(path, &w, &h);
    RasterBitmap b;
    std::string err;
    const unsigned fast_before = RasterBitmap::UnfilteredReads();
    ASSERT_EQ(b.LoadPNG(path, &err), !want.empty()) << c.name << err;
    EXPECT_EQ(RasterBitmap::UnfilteredReads() - fast_before, c.fast ? 1u : 0u) << c.name;
    if (!want.empty()) {
      EXPECT_EQ(memcmp(b.Pixels(), want.data(), want.size()), 0) << c.name;
    }
  }
}

#ifndef __SANITIZE_ADDRESS__  // its shadow memory does not fit under an address-space limit
// A device named like a skin image is refused as libpng refuses it, never read whole.
TEST(RasterBitmapDeathTest, EndlessFileIsRefusedUnread) {
  temp_dir_t dir;
  const std::string path = dir.file("zero.png");
  ASSERT_EQ(symlink("/dev/zero", path.c_str()), 0);
  auto refused_within_1gb = [&] {
    rlimit cap;
    cap.rlim_cur = cap.rlim_max = rlim_t(1) << 30;
    setrlimit(RLIMIT_AS, &cap);
    RasterBitmap b;
    return !b.LoadPNG(path, nullptr);
  };
  EXPECT_EXIT(std::exit(refused_within_1gb() ? 0 : 1), ::testing::ExitedWithCode(0), "");
}
#endif

TEST(RasterBitmap, WritesAndReadsBack) {
  temp_dir_t dir;
  RasterBitmap b(7, 5);
  for (int i = 0; i < 35; i++) b.Pixels()[i] = srgb_t{(uint8_t)(i * 7), (uint8_t)i, (uint8_t)(255 - i), (uint8_t)(i * 3)};
  std::string err;
  ASSERT_TRUE(b.SavePNG(dir.file("a.png"), true, &err)) << err;
  ASSERT_TRUE(b.SavePNG(dir.file("c.png"), false, &err)) << err;
  ASSERT_TRUE(b.SaveGreyPNG(dir.file("g.png"), &err)) << err;
  RasterBitmap a, c, g;
  ASSERT_TRUE(a.LoadPNG(dir.file("a.png"), &err)) << err;
  ASSERT_TRUE(c.LoadPNG(dir.file("c.png"), &err)) << err;
  ASSERT_TRUE(g.LoadPNG(dir.file("g.png"), &err)) << err;
  ASSERT_EQ(a.Width(), 7);
  ASSERT_EQ(a.Height(), 5);
  for (int i = 0; i < 35; i++) {
    EXPECT_EQ(memcmp(&a.Pixels()[i], &b.Pixels()[i], 4), 0) << i;
    EXPECT_EQ(c.Pixels()[i].a, 255);
    EXPECT_EQ(c.Pixels()[i].g, b.Pixels()[i].g);
    const srgb_t grey{255, b.Pixels()[i].g, b.Pixels()[i].g, b.Pixels()[i].g};
    EXPECT_EQ(memcmp(&g.Pixels()[i], &grey, 4), 0) << i;  // green, as grey
  }
  EXPECT_NE(access(dir.file("a.png.part").c_str(), F_OK), 0);  // no temporary left behind
}

TEST(RasterBitmap, BadFilesAreErrorsWithTheirPath) {
  temp_dir_t dir;
  RasterBitmap good(4, 4);
  for (int i = 0; i < 16; i++) good.Pixels()[i] = srgb_t{255, (uint8_t)(i * 16), 9, 9};
  std::string err;
  ASSERT_TRUE(good.SavePNG(dir.file("good.png"), false, &err));
  std::string bytes = read_all(dir.file("good.png"));
  std::ofstream(dir.file("truncated.png"), std::ios::binary) << bytes.substr(0, bytes.size() / 2);
  std::string flipped = bytes;
  flipped[bytes.size() / 2] ^= 0x55;  // breaks the image data's checksum
  std::ofstream(dir.file("corrupt.png"), std::ios::binary) << flipped;
  std::ofstream(dir.file("text.png")) << "this is not a picture\n";
  std::ofstream(dir.file("empty.png")).close();

  RasterBitmap b(2, 3);
  std::vector<uint8_t> green;
  int gw = 0, gh = 0;
  for (const char* name : {"missing.png", "truncated.png", "corrupt.png", "text.png", "empty.png"}) {
    err.clear();
    EXPECT_FALSE(b.LoadPNG(dir.file(name), &err)) << name;
    EXPECT_NE(err.find(dir.file(name)), std::string::npos) << err;
    err.clear();
    EXPECT_FALSE(RasterBitmap::LoadPNGGreen(dir.file(name), &green, &gw, &gh, &err)) << name;
    EXPECT_NE(err.find(dir.file(name)), std::string::npos) << err;
    EXPECT_EQ(b.Width(), 2);  // left as it was
    EXPECT_EQ(b.Height(), 3);
  }
  EXPECT_FALSE(good.SavePNG(dir.file("no/such/folder/x.png"), false, &err));
  EXPECT_NE(err.find("no/such/folder/x.png"), std::string::npos);
  RasterBitmap empty;
  EXPECT_FALSE(empty.SavePNG(dir.file("e.png"), false, &err));
  EXPECT_FALSE(empty.SaveGreyPNG(dir.file("e.png"), &err));
}

TEST(Resources, LookupOrder) {
  temp_dir_t dir;
  const char* old = getenv("QUILLMAR_RESOURCES");
  std::string saved = old ? old : "";
  std::system(("mkdir -p '" + dir.file("img") + "'").c_str());
  std::ofstream(dir.file("img/logo.png")) << "x";
  setenv("QUILLMAR_RESOURCES", dir.path.c_str(), 1);
  EXPECT_EQ(resource_path("img/logo.png"), dir.file("img/logo.png"));
  // A name the folder does not have falls through to the source tree.
  EXPECT_EQ(resource_path("img/font/font48.png"), std::string(QUILLMAR_SOURCE_RESOURCES) + "/img/font/font48.png");
  EXPECT_EQ(resource_path("img/nothing-by-this-name.png"), "");
  if (old) setenv("QUILLMAR_RESOURCES", saved.c_str(), 1);
  else unsetenv("QUILLMAR_RESOURCES");
}

TEST(Resources, LoadImageConvertsEveryChannel) {
  RasterBitmap b(2, 1);
  b.Pixels()[0] = srgb_t{255, 255, 0, 128};
  b.Pixels()[1] = srgb_t{0, 10, 20, 30};
  image_t img = load_image(b);
  ASSERT_EQ(img.w, 2);
  ASSERT_EQ(img.h, 1);
  EXPECT_EQ(img.srgb, b.Pixels());
  EXPECT_EQ(img.l[0].a, 32768);
  EXPECT_EQ(img.l[0].r, 32768);
  EXPECT_EQ(img.l[0].g, 0);
  EXPECT_EQ(img.l[0].b, (int)(std::pow((128 / 255.0 + 0.055) / 1.055, 2.4) * 32768 + 0.5));
  EXPECT_EQ(img.l[1].a, 0);
  EXPECT_EQ(img.l[1].r, (int)(10 / 255.0 / 12.92 * 32768 + 0.5));
  free(img.l);
}

TEST(Resources, MissingSkinImageIsReportedOnceAndBlank) {
  RasterBitmap a, b;
  testing::internal::CaptureStderr();
  image_t ia = load_skin_image("img/not-there.png", a, 30, 20);
  image_t ib = load_skin_image("img/not-there.png", b, 30, 20);
  std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(ia.w, 30);
  EXPECT_EQ(ia.h, 20);
  EXPECT_EQ(ib.w, 30);
  EXPECT_EQ(ia.l[599].g, 0);
  EXPECT_NE(said.find("img/not-there.png"), std::string::npos);
  EXPECT_EQ(said.find("img/not-there.png"), said.rfind("img/not-there.png"));  // once
  free(ia.l);
  free(ib.l);
}

// Read straight to linear pixels, a skin image (RGB or grey) is the image the bitmap path
// gives, without a display plane.
TEST(Resources, SkinImageStraightToLinearIsTheBitmapsImage) {
  for (const char* name : {"img/black_knob.png", "img/logo.png", "img/font/bold15.png"}) {
    RasterBitmap b;
    const image_t want = load_skin_image(name, b, 30, 20);
    const image_t got = load_skin_linear(name, 30, 20);
    ASSERT_EQ(got.w, want.w) << name;
    ASSERT_EQ(got.h, want.h) << name;
    EXPECT_EQ(got.srgb, nullptr) << name;
    EXPECT_EQ(memcmp(got.l, want.l, sizeof(lrgb_t) * want.w * want.h), 0) << name;
    free(want.l);
    free(got.l);
  }
}

// A font made from a sheet's green bytes is the font made from its linear image.
TEST(FontSheets, GreenBytesMakeTheFontTheImageMakes) {
  for (const char* name : {"font48", "bold15"}) {
    const std::string path = resource_path(std::string("img/font/") + name + ".png");
    static RasterBitmap bitmaps[2];
    static int used = 0;
    RasterBitmap& b = bitmaps[used++];
    std::string err;
    ASSERT_TRUE(b.LoadPNG(path, &err)) << err;
    std::vector<uint8_t> green;
    int w = 0, h = 0;
    ASSERT_TRUE(RasterBitmap::LoadPNGGreen(path, &green, &w, &h, &err)) << err;
    font_t* want = font_load(7, load_image(b));
    // The green font's coverage goes where the caller says: room for it and for a sized one.
    const size_t n = font_coverage_values(w, h);
    auto* room = new uint16_t[2 * n];  // kept like the fonts
    font_t* got = font_load_green(7, w, h, green.data(), room);
    ASSERT_NE(want, nullptr);
    ASSERT_NE(got, nullptr);
    fonts_kept[fonts_count++] = want;
    fonts_kept[fonts_count++] = got;
    EXPECT_EQ(n, (size_t)want->cell_w * want->cell_h * FONT_GLYPHS);
    EXPECT_EQ(got->coverage, room);
    EXPECT_EQ(memcmp(want->coverage, got->coverage, n * sizeof(uint16_t)), 0) << name;
    EXPECT_EQ(memcmp(want->ink, got->ink, 4 * FONT_GLYPHS * sizeof(int32_t)), 0) << name;
    EXPECT_EQ(memcmp(want->left, got->left, 2 * FONT_GLYPHS * sizeof(int16_t)), 0) << name;
    font_t* sized = make_font_size_green(want, w, h, green.data(), 12.0, room + n);
    ASSERT_NE(sized, nullptr);
    fonts_kept[fonts_count++] = sized;
    EXPECT_EQ(sized->coverage, room + n);
    EXPECT_EQ(memcmp(want->coverage, sized->coverage, n * sizeof(uint16_t)), 0) << name;
    EXPECT_EQ(make_font_size_green(want, w, h / 2, green.data(), 12.0), nullptr);  // too small
  }
}

TEST(FontSheets, CommittedSheetsGiveSoundMetrics) {
  struct {
    const char* base;
    const char* small[2];
    int trim;
  } faces[] = {{"font48", {"font12", "font15"}, 6}, {"bold48", {"bold12", "bold15"}, 8}};
  for (auto& face : faces) {
    static RasterBitmap bitmaps[6];
    static int used = 0;
    RasterBitmap& bb = bitmaps[used++];
    std::string err;
    ASSERT_TRUE(bb.LoadPNG(resource_path(std::string("img/font/") + face.base + ".png"), &err)) << err;
    ASSERT_EQ(bb.Height() % 224, 0);
    font_t* f = font_load(face.trim, load_image(bb));
    ASSERT_NE(f, nullptr);
    fonts_kept[fonts_count++] = f;
    EXPECT_EQ(f->cell_h, 48);
    EXPECT_GT(f->advance[0], 6);  // a space wide enough to separate words
    // Every printable ASCII glyph has a width; the control block has none.
    for (int c = 33; c < 127; c++) EXPECT_GT(f->advance[c - 32], 0) << face.base << " " << (char)c;
    for (int c = 127; c < 160; c++) EXPECT_EQ(f->advance[c - 32], 0) << c;
    // All glyphs share one pen origin in their cells.
    for (int c = 33; c < 256; c++)
      if (f->advance[c - 32]) {
        EXPECT_EQ(f->left[c - 32], f->left[0]) << c;
      }
    // The face's own proportions: digits share one width, 'm' is wider than 'i'.
    for (char d = '1'; d <= '9'; d++) EXPECT_EQ(f->advance[d - 32], f->advance['0' - 32]) << face.base;
    EXPECT_GT(f->advance['m' - 32], 2 * f->advance['i' - 32]);
    EXPECT_GT(f->advance['W' - 32], f->advance['l' - 32]);
    for (const char* small : face.small) {
      RasterBitmap& sb = bitmaps[used++];
      ASSERT_TRUE(sb.LoadPNG(resource_path(std::string("img/font/") + small + ".png"), &err)) << err;
      EXPECT_EQ(sb.Width(), bb.Width());
      EXPECT_EQ(sb.Height(), bb.Height());
      fonts_kept[fonts_count] = make_font_size(f, load_image(sb), 12.0);
      EXPECT_NE(fonts_kept[fonts_count++], nullptr);
    }
  }
}
