#include "framework/bitmap/resources.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "toolkit/util/memory.h"

namespace {

bool exists(const std::string& p) { return access(p.c_str(), R_OK) == 0; }

std::string dir_of(const std::string& p) {
  size_t s = p.rfind('/');
  return s == std::string::npos ? "." : p.substr(0, s);
}

// The folder of the binary or shared object this code was linked into.
std::string module_dir() {
  Dl_info info;
  if (dladdr((void*)&module_dir, &info) && info.dli_fname && strchr(info.dli_fname, '/')) {
    char* real = realpath(info.dli_fname, nullptr);
    if (real) {
      std::string d = dir_of(real);
      free(real);
      return d;
    }
  }
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "";
  buf[n] = 0;
  return dir_of(buf);
}

// True for a folder inside the build tree this code was compiled in.
bool in_build_tree(const std::string& dir) {
  const std::string tree = QUILLMAR_BUILD_TREE;
  return !dir.empty() && dir.compare(0, tree.size(), tree) == 0 &&
         (dir.size() == tree.size() || dir[tree.size()] == '/');
}

// What went wrong with the first resource that could not be loaded, and whether to say so.
struct report_t {
  std::mutex lock;
  std::string first;
  bool quiet = false;
};

report_t& report() {
  static report_t r;
  return r;
}

}  // namespace

std::vector<std::string> resource_folders() {
  std::vector<std::string> folders;
  const char* env = getenv("QUILLMAR_RESOURCES");
  if (env && *env) folders.push_back(env);
  const std::string dir = module_dir();
  if (!dir.empty()) {
    // Beside the binary, then the share folder of the prefix it is installed under.
    folders.push_back(dir + "/resources");
    folders.push_back(dir_of(dir) + "/share/quillmar/resources");
    // Code in a bundle (Contents/MacOS): the bundle's Resources folder, on every system.
    static const std::string kBundleCode = "/Contents/MacOS";
    if (dir.size() > kBundleCode.size() &&
        dir.compare(dir.size() - kBundleCode.size(), kBundleCode.size(), kBundleCode) == 0)
      folders.push_back(dir_of(dir) + "/Resources/resources");
  }
  // The source tree serves only builds run in place: an installed or copied program never
  // depends on where it was built.
  if (in_build_tree(dir)) folders.push_back(QUILLMAR_SOURCE_RESOURCES);
  return folders;
}

std::string resource_path(const std::string& name) {
  for (const std::string& folder : resource_folders())
    if (exists(folder + "/" + name)) return folder + "/" + name;
  return "";
}

image_t load_image(RasterBitmap& bitmap) {
  image_t img{0, 0, nullptr, nullptr};
  if (bitmap.Empty()) return img;
  static const int32_t* table = get_lut_slrgb().v;
  size_t n = (size_t)bitmap.Width() * bitmap.Height();
  img.l = (lrgb_t*)malloc(n * sizeof(lrgb_t));
  if (!img.l) return img;
  img.w = bitmap.Width();
  img.h = bitmap.Height();
  img.srgb = bitmap.Pixels();
  const srgb_t* s = bitmap.Pixels();
  for (size_t i = 0; i < n; i++)
    img.l[i] = lrgb_t{(uint16_t)table[s[i].r], (uint16_t)table[s[i].g], (uint16_t)table[s[i].b], (uint16_t)table[s[i].a]};
  return img;
}

namespace {

// A resource that could not be loaded (path empty: found in no folder): false. One line for
// the first failure: a missing skin misses every file, and one line says where they were
// looked for. A file found but unreadable is a fault of its own.
bool refuse(const std::string& name, const std::string& path, std::string error) {
  if (path.empty()) {
    error = name + " is in none of the resource folders (";
    const std::vector<std::string> folders = resource_folders();
    for (size_t i = 0; i < folders.size(); ++i) error += (i ? ", " : "") + folders[i];
    error += "); QUILLMAR_RESOURCES may name the folder that holds img/";
  }
  report_t& r = report();
  std::lock_guard<std::mutex> guard(r.lock);
  const bool first = r.first.empty();
  if (first) r.first = error;
  if (!r.quiet && (first || !path.empty()))
    fprintf(stderr, "quillmar: cannot load the skin: %s\n", error.c_str());
  return false;
}

}  // namespace

bool load_resource_png(const std::string& name, RasterBitmap& bitmap) {
  std::string path = resource_path(name);
  std::string error;
  if (!path.empty() && bitmap.LoadPNG(path, &error)) return true;
  return refuse(name, path, error);
}

bool load_resource_png_green(const std::string& name, std::vector<uint8_t>* green, int* w, int* h) {
  std::string path = resource_path(name);
  std::string error;
  if (!path.empty() && RasterBitmap::LoadPNGGreen(path, green, w, h, &error)) return true;
  return refuse(name, path, error);
}

void set_resource_reports_quiet(bool quiet) {
  std::lock_guard<std::mutex> guard(report().lock);
  report().quiet = quiet;
}

std::string resource_failure() {
  std::lock_guard<std::mutex> guard(report().lock);
  return report().first;
}

image_t load_skin_image(const std::string& name, RasterBitmap& bitmap, int fallbackW, int fallbackH) {
  if (!load_resource_png(name, bitmap)) bitmap.Resize(fallbackW, fallbackH);
  return load_image(bitmap);
}

image_t load_skin_linear(const std::string& name, int fallbackW, int fallbackH) {
  struct sink_t : RasterBitmap::RowSink {
    image_t img{0, 0, nullptr, nullptr};
    const int32_t* table = get_lut_slrgb().v;
    bool Begin(int width, int height) override {
      free(img.l);  // a read begun again
      img.l = (lrgb_t*)written_alloc((size_t)width * height * sizeof(lrgb_t));  // every row is read into it
      img.w = width;
      img.h = height;
      return img.l != nullptr;
    }
    // As load_image converts the bitmap LoadPNG makes of the row, whose alpha is 255.
    void Row(int y, const uint8_t* s, int channels) override {
      lrgb_t* p = img.l + (size_t)y * img.w;
      const uint16_t a = (uint16_t)table[255];
      if (channels == 3)
        convert_rgb_bytes_to_lrgb(s, p, img.w, a);
      else
        for (int x = 0; x < img.w; ++x) {
          const uint16_t v = (uint16_t)table[s[x]];
          p[x] = lrgb_t{v, v, v, a};
        }
    }
  } sink;
  const std::string path = resource_path(name);
  if (!path.empty() && RasterBitmap::ReadPlainPNG(path, &sink)) return sink.img;
  free(sink.img.l);
  RasterBitmap bitmap;
  image_t img = load_skin_image(name, bitmap, fallbackW, fallbackH);
  img.srgb = nullptr;
  return img;
}
