#include "plugin/io.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>

static std::string g_path_prefs, g_path_layout;
static bool g_paths_made = false;

// Makes every missing folder of a path, each with mode 0700.
static void make_folders(const std::string& dir) {
  for (size_t i = 1; i <= dir.size(); ++i) {  // mutate: skip relational (the path ends in '/': < makes the same folders)
    if (i == dir.size() || dir[i] == '/') mkdir(dir.substr(0, i).c_str(), 0700);
  }
}

static std::string settings_folder() {
  const char* over = std::getenv("QUILLMAR_CONFIG_DIR");
  if (over && *over) return std::string(over) + "/";
  const char* home = std::getenv("HOME");
#if defined(__APPLE__)
  // mutate: off (built on macOS only, not where the runner runs)
  if (!home || !*home) return std::string();
  return std::string(home) + "/Library/Application Support/Quillmar/";
  // mutate: on
#else
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && *xdg == '/') return std::string(xdg) + "/Quillmar/";
  if (!home || !*home) return std::string();
  return std::string(home) + "/.config/Quillmar/";
#endif
}

std::string make_settings_path(const char* file_name) {
  const std::string dir = settings_folder();
  if (dir.empty()) return std::string();
  make_folders(dir);
  return dir + file_name;
}

void make_settings_paths() {
  if (g_paths_made) return;
  g_path_layout = make_settings_path("Quillmar Layout.dat");
  g_path_prefs = make_settings_path("Quillmar Preferences.dat");
  g_paths_made = true;
}

const std::string& path_prefs() { return g_path_prefs; }
const std::string& path_layout() { return g_path_layout; }
