#include "plugin/presets.h"

#include <dirent.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "plugin/params.h"

namespace {

bool read_preset(const std::string& path, const std::string& name, preset_t* p,
                 std::string* error) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    *error = path + ": " + std::strerror(errno);
    return false;
  }
  unsigned char bytes[sizeof p->values + 1];
  const size_t n = std::fread(bytes, 1, sizeof bytes, f);
  std::fclose(f);
  if (n != sizeof p->values) {
    *error = path + ": not a preset (a state of " + std::to_string(sizeof p->values) + " bytes)";
    return false;
  }
  std::memcpy(p->values, bytes, sizeof p->values);  // little-endian doubles, as on this machine
  for (double v : p->values) {
    if (!std::isfinite(v)) {
      *error = path + ": not a preset (a value is not a number)";
      return false;
    }
  }
  p->name = name;
  return true;
}

}  // namespace

bool read_presets(const std::string& folder, std::vector<preset_t>* out, std::string* error) {
  out->clear();
  DIR* d = opendir(folder.c_str());
  if (!d) {
    *error = folder + ": " + std::strerror(errno);
    return false;
  }
  const size_t suffix = std::strlen(PRESET_SUFFIX);
  bool ok = true;
  for (dirent* e; ok && (e = readdir(d));) {
    const std::string file = e->d_name;
    if (file.size() <= suffix || file.compare(file.size() - suffix, suffix, PRESET_SUFFIX) != 0 ||
        file[0] == '.')
      continue;
    preset_t p;
    ok = read_preset(folder + "/" + file, file.substr(0, file.size() - suffix), &p, error);
    out->push_back(p);
  }
  closedir(d);
  if (!ok) out->clear();
  std::sort(out->begin(), out->end(),
            [](const preset_t& a, const preset_t& b) { return a.name < b.name; });  // mutate: skip (a folder's names are distinct)
  return ok;
}

std::string preset_slug(const std::string& name) { return identifier(name, '-'); }
