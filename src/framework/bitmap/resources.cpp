#include "framework/bitmap/resources.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>

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

}  // namespace

std::string resource_path(const std::string& name) {
  const char* env = getenv("QUILLMAR_RESOURCES");
  if (env && *env && exists(std::string(env) + "/" + name)) return std::string(env) + "/" + name;
  std::string dir = module_dir();
  if (!dir.empty()) {
    // Beside the binary, an installed share folder, or a macOS bundle's Resources folder.
    for (const char* sub :
         {"/resources/", "/../share/quillmar/resources/", "/../Resources/resources/"})
      if (exists(dir + sub + name)) return dir + sub + name;
  }
  std::string src = std::string(QUILLMAR_SOURCE_RESOURCES) + "/" + name;
  return exists(src) ? src : "";
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

// A resource that could not be loaded: reported once per name.
bool refuse(const std::string& name, const std::string& path, std::string error) {
  if (path.empty()) error = name + ": not found in any resource folder";
  static std::mutex lock;
  static std::set<std::string> reported;
  std::lock_guard<std::mutex> guard(lock);
  if (reported.insert(name).second) fprintf(stderr, "quillmar: cannot load skin image %s\n", error.c_str());
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

image_t load_skin_image(const std::string& name, RasterBitmap& bitmap, int fallbackW, int fallbackH) {
  if (!load_resource_png(name, bitmap)) bitmap.Resize(fallbackW, fallbackH);
  return load_image(bitmap);
}
