#include "framework/bitmap/RasterBitmap.h"

#include <png.h>
#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {
// Larger images are refused rather than risking a runaway allocation from a hostile header.
const long MAX_PIXELS = 1L << 27;

using row_sink_t = RasterBitmap::RowSink;

// A plain PNG, 8-bit grey or RGB, without transparency or interlacing, in sRGB as far as its
// chunks tell, read row by row with libpng's own reader: for such a file the simplified
// reader's conversions leave every byte as it is, so its rows are the pixels. False for any
// other kind of file and on any fault: the general reader then reads it, or reports the fault
// in its own words. Only plain data lives in this frame, which libpng leaves by longjmp on an
// error.
void quiet_error(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void quiet_warning(png_structp, png_const_charp) {}

bool read_plain_png(FILE* file, row_sink_t* sink) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, quiet_error, quiet_warning);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  uint8_t* volatile row = nullptr;
  volatile bool read = false;
  if (info && !setjmp(png_jmpbuf(png))) {
    png_init_io(png, file);
#ifdef PNG_IGNORE_ADLER32
    // Each data chunk's CRC, which is still checked, already covers every compressed byte:
    // the stream's own checksum over the inflated bytes would only repeat it.
    png_set_option(png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
#endif
    png_read_info(png, info);
    const png_uint_32 w = png_get_image_width(png, info), h = png_get_image_height(png, info);
    const int type = png_get_color_type(png, info);
    double gamma = 0;
    const bool srgb = png_get_valid(png, info, PNG_INFO_sRGB) ||
                      !png_get_gAMA(png, info, &gamma) || std::fabs(gamma - 1 / 2.2) < 1e-3;
    const int channels = type == PNG_COLOR_TYPE_RGB ? 3 : 1;
    if (png_get_bit_depth(png, info) == 8 && (type == PNG_COLOR_TYPE_GRAY || type == PNG_COLOR_TYPE_RGB) &&
        png_get_interlace_type(png, info) == PNG_INTERLACE_NONE && !png_get_valid(png, info, PNG_INFO_tRNS) &&
        srgb && w > 0 && h > 0 && (long)w * h <= MAX_PIXELS &&
        (row = static_cast<uint8_t*>(std::malloc((size_t)w * channels))) && sink->Begin((int)w, (int)h)) {
      for (png_uint_32 y = 0; y < h; ++y) {
        png_read_row(png, row, nullptr);
        sink->Row((int)y, row, channels);
      }
      png_read_end(png, nullptr);
      read = true;
    }
  }
  std::free(row);
  png_destroy_read_struct(&png, &info, nullptr);
  return read;
}

constexpr size_t INFLATE_WINDOW = 16384;
std::atomic<unsigned> g_unfiltered_reads{0};
// The largest file read whole for read_unfiltered_png (the skin's are a few kilobytes).
constexpr off_t UNFILTERED_MAX_FILE = off_t(16) << 20;

uint32_t be32(const uint8_t* p) { return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3]; }

// The commonest plain file, all of its rows unfiltered, inflated many rows at a time: libpng
// inflates row by row, and rows shorter than zlib's longest match (the sheets' 81 bytes, the
// knob's 193) keep zlib off its fast path. Every chunk's CRC is checked. False for any other
// file, and read_plain_png decides.
bool read_unfiltered_png(std::vector<uint8_t>& file, row_sink_t* sink) {
  static const uint8_t kSignature[8] = {137, 'P', 'N', 'G', 13, 10, 26, 10};
  const size_t n = file.size();
  if (n < 8 + 25 || std::memcmp(file.data(), kSignature, 8) != 0) return false;
  uint32_t w = 0, h = 0;
  int channels = 0;
  bool srgb = false, libpngs = false, end = false, in_data = false;
  // The data chunks' bytes are gathered in place, each moved down over the headers before it
  // once its CRC has been checked: nothing after it is touched.
  size_t idat_start = 0, idat_end = 0;
  for (size_t at = 8; !end;) {
    if (n - at < 12) return false;
    const uint32_t len = be32(&file[at]);
    if (len > n - at - 12) return false;
    const uint8_t* type = &file[at + 4];
    const uint8_t* data = type + 4;
    // libpng refuses a chunk whose type is not four letters, wherever it stands.
    if (!std::all_of(type, type + 4, [](uint8_t c) { return (c | 32) >= 'a' && (c | 32) <= 'z'; })) return false;
    if (crc32(crc32(0, nullptr, 0), type, len + 4) != be32(data + len)) return false;
    if (at == 8) {  // IHDR: 8-bit grey or RGB, no interlacing
      if (std::memcmp(type, "IHDR", 4) != 0 || len != 13 || data[8] != 8 || data[10] || data[11] || data[12])
        return false;
      w = be32(data), h = be32(data + 4);
      channels = data[9] == PNG_COLOR_TYPE_GRAY ? 1 : data[9] == PNG_COLOR_TYPE_RGB ? 3 : 0;
      if (!channels || !w || !h || w > PNG_USER_WIDTH_MAX || h > PNG_USER_HEIGHT_MAX || (long)w * h > MAX_PIXELS)
        return false;
    } else if (!std::memcmp(type, "IDAT", 4)) {
      if (!in_data) idat_start = idat_end = (size_t)(data - file.data());
      in_data = true;
      std::memmove(&file[idat_end], data, len);
      idat_end += len;
    } else if (!std::memcmp(type, "IEND", 4)) {
      end = true;
    } else if (in_data) {
      return false;  // chunks after the data: libpng's to judge
    } else if (!std::memcmp(type, "sRGB", 4)) {
      srgb = true;
    } else if (!std::memcmp(type, "gAMA", 4) || !std::memcmp(type, "tRNS", 4) || !(type[0] & 32)) {
      libpngs = true;  // a gamma, a transparency or another critical chunk: libpng's to read
    }
    at += 12 + (size_t)len;
  }
  if (libpngs || !srgb || idat_end == idat_start) return false;
  uint8_t* idat = &file[idat_start];
  const size_t span = (size_t)w * channels + 1;
  // libpng inflates a row at a time within the window the stream's header names, and refuses
  // a copy from further back; one call here would still hold the bytes in its output. Such a
  // stream is left to libpng unless its window holds the whole image or any distance zlib has.
  if ((size_t(256) << (idat[0] >> 4)) < std::min<size_t>(32768, span * h)) return false;
  // As many whole rows at a time as fill about 16 KB: enough room for zlib's fast path, and no
  // buffer of the whole image. Not zeroed: inflate fills it or the file is refused.
  const uint32_t rows_at_once = (uint32_t)std::max<size_t>(1, INFLATE_WINDOW / span);
  std::unique_ptr<uint8_t, decltype(&std::free)> bytes(static_cast<uint8_t*>(std::malloc(span * rows_at_once)),
                                                       &std::free);
  uint8_t* raw = bytes.get();
  if (!raw) return false;
  z_stream z;
  std::memset(&z, 0, sizeof z);
  if (inflateInit(&z) != Z_OK) return false;
#if ZLIB_VERNUM >= 0x1290
  inflateValidate(&z, 0);  // the chunks' CRCs already cover every compressed byte
#endif
  z.next_in = idat;
  z.avail_in = (uInt)(idat_end - idat_start);
  // The rows reach the sink as they are inflated. A filtered row or a broken stream part way
  // leaves the file to read_plain_png, which begins the sink again and writes every row.
  bool whole = sink->Begin((int)w, (int)h);
  for (uint32_t y = 0; whole && y < h;) {
    const uint32_t n = std::min(rows_at_once, h - y);
    z.next_out = raw;
    z.avail_out = (uInt)(span * n);
    const int r = inflate(&z, Z_NO_FLUSH);
    whole = (r == Z_OK || r == Z_STREAM_END) && z.avail_out == 0;
    for (uint32_t k = 0; whole && k < n; ++k, ++y) {
      whole = raw[k * span] == 0;
      if (whole) sink->Row((int)y, &raw[k * span + 1], channels);
    }
  }
  // Nothing may follow the last row but the stream's end.
  uint8_t extra;
  z.next_out = &extra;
  z.avail_out = 1;
  whole = whole && inflate(&z, Z_FINISH) == Z_STREAM_END && z.avail_out == 1;
  inflateEnd(&z);
  return whole;
}

bool read_plain_file(const std::string& path, row_sink_t* sink) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  // Only a regular file of a skin's size is read whole: a device or a huge file named like a
  // skin image is left to libpng, which reads no more of it than a PNG holds.
  struct stat st;
  std::vector<uint8_t> file;
  if (fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 && st.st_size <= UNFILTERED_MAX_FILE) {
    file.resize((size_t)st.st_size);
    file.resize(std::fread(file.data(), 1, file.size(), f));
  }
  bool read = read_unfiltered_png(file, sink);
  if (read) g_unfiltered_reads.fetch_add(1, std::memory_order_relaxed);
  if (!read) {
    std::rewind(f);
    read = read_plain_png(f, sink);
  }
  std::fclose(f);
  return read;
}

}  // namespace

bool RasterBitmap::ReadPlainPNG(const std::string& path, RowSink* sink) { return read_plain_file(path, sink); }

unsigned RasterBitmap::UnfilteredReads() { return g_unfiltered_reads.load(std::memory_order_relaxed); }

void RasterBitmap::Resize(int width, int height) {
  mPixels.reset();
  mWidth = mHeight = 0;
  if (width <= 0 || height <= 0 || (long)width * height > MAX_PIXELS) return;
  mPixels = Allocate((size_t)width * height);
  if (!mPixels) return;
  mWidth = width;
  mHeight = height;
}

RasterBitmap& RasterBitmap::operator=(const RasterBitmap& other) {
  if (this == &other) return *this;
  Resize(other.mWidth, other.mHeight);
  if (mPixels) std::memcpy(mPixels.get(), other.mPixels.get(), sizeof(srgb_t) * mWidth * mHeight);
  return *this;
}

bool RasterBitmap::LoadPNG(const std::string& path, std::string* error) {
  struct sink_t : row_sink_t {
    Pixels_t pixels;
    int w = 0, h = 0;
    bool Begin(int width, int height) override {
      w = width;
      h = height;
      pixels = Allocate((size_t)width * height);
      return pixels != nullptr;
    }
    void Row(int y, const uint8_t* s, int channels) override {
      srgb_t* p = pixels.get() + (size_t)y * w;
      for (int x = 0; x < w; ++x, s += channels)
        p[x] = channels == 3 ? srgb_t{255, s[0], s[1], s[2]} : srgb_t{255, s[0], s[0], s[0]};
    }
  } sink;
  if (!read_plain_file(path, &sink)) return LoadPNGGeneral(path, error);
  mWidth = sink.w;
  mHeight = sink.h;
  mPixels = std::move(sink.pixels);
  return true;
}

bool RasterBitmap::LoadPNGGreen(const std::string& path, std::vector<uint8_t>* green, int* width, int* height,
                                std::string* error) {
  struct sink_t : row_sink_t {
    std::vector<uint8_t>* g;
    int w = 0, h = 0;
    bool Begin(int width, int height) override {
      w = width;
      h = height;
      g->resize((size_t)width * height);
      return true;
    }
    void Row(int y, const uint8_t* s, int channels) override {
      uint8_t* p = g->data() + (size_t)y * w;
      if (channels == 1) {
        std::memcpy(p, s, w);
        return;
      }
      for (int x = 0; x < w; ++x) p[x] = s[3 * x + 1];
    }
  } sink;
  sink.g = green;
  if (read_plain_file(path, &sink)) {
    *width = sink.w;
    *height = sink.h;
    return true;
  }
  RasterBitmap b;
  if (!b.LoadPNGGeneral(path, error)) return false;
  const size_t n = (size_t)b.mWidth * b.mHeight;
  green->resize(n);
  for (size_t i = 0; i < n; ++i) (*green)[i] = b.mPixels.get()[i].g;
  *width = b.mWidth;
  *height = b.mHeight;
  return true;
}

bool RasterBitmap::LoadPNGGeneral(const std::string& path, std::string* error) {
  png_image img;
  memset(&img, 0, sizeof img);
  img.version = PNG_IMAGE_VERSION;
  auto fail = [&](const std::string& why) {
    if (error) *error = path + ": " + why;
    png_image_free(&img);
    return false;
  };
  if (!png_image_begin_read_from_file(&img, path.c_str())) return fail(img.message[0] ? img.message : "cannot read");
  if (img.width == 0 || img.height == 0 || (long)img.width * img.height > MAX_PIXELS)
    return fail("image size out of range");
  img.format = PNG_FORMAT_ARGB;  // byte order of srgb_t
  Pixels_t pixels = Allocate((size_t)img.width * img.height);
  if (!pixels) return fail("out of memory");
  if (!png_image_finish_read(&img, nullptr, pixels.get(), 0, nullptr))
    return fail(img.message[0] ? img.message : "corrupt image data");
  mWidth = (int)img.width;
  mHeight = (int)img.height;
  mPixels = std::move(pixels);
  png_image_free(&img);
  return true;
}

namespace {

// Writes through a temporary file renamed into place, so a failure never leaves a
// half-written file at path.
bool write_png(png_image* img, const std::string& path, const void* data, std::string* error) {
  std::string tmp = path + ".part";
  if (!png_image_write_to_file(img, tmp.c_str(), 0, data, 0, nullptr)) {
    if (error) *error = path + ": " + (img->message[0] ? img->message : "cannot write");
    std::remove(tmp.c_str());
    return false;
  }
  if (std::rename(tmp.c_str(), path.c_str()) != 0) {
    if (error) *error = path + ": " + strerror(errno);
    std::remove(tmp.c_str());
    return false;
  }
  return true;
}

}  // namespace

bool RasterBitmap::SavePNG(const std::string& path, bool withAlpha, std::string* error) const {
  if (Empty()) {
    if (error) *error = path + ": empty bitmap";
    return false;
  }
  png_image img;
  memset(&img, 0, sizeof img);
  img.version = PNG_IMAGE_VERSION;
  img.width = (png_uint_32)mWidth;
  img.height = (png_uint_32)mHeight;
  std::vector<uint8_t> rgb;
  const void* data = mPixels.get();
  if (withAlpha) {
    img.format = PNG_FORMAT_ARGB;
  } else {
    img.format = PNG_FORMAT_RGB;
    const size_t n = (size_t)mWidth * mHeight;
    const srgb_t* px = mPixels.get();
    rgb.resize(n * 3);
    for (size_t i = 0; i < n; i++) {
      rgb[3 * i] = px[i].r;
      rgb[3 * i + 1] = px[i].g;
      rgb[3 * i + 2] = px[i].b;
    }
    data = rgb.data();
  }
  return write_png(&img, path, data, error);
}

bool RasterBitmap::SaveGreyPNG(const std::string& path, std::string* error) const {
  if (Empty()) {
    if (error) *error = path + ": empty bitmap";
    return false;
  }
  png_image img;
  memset(&img, 0, sizeof img);
  img.version = PNG_IMAGE_VERSION;
  img.width = (png_uint_32)mWidth;
  img.height = (png_uint_32)mHeight;
  img.format = PNG_FORMAT_GRAY;
  const size_t n = (size_t)mWidth * mHeight;
  std::vector<uint8_t> grey(n);
  for (size_t i = 0; i < n; i++) grey[i] = mPixels.get()[i].g;
  return write_png(&img, path, grey.data(), error);
}
