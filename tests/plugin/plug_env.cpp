#include "plug_env.h"

#include <ftw.h>

namespace {

int remove_entry(const char* path, const struct stat*, int, struct FTW*) {
  return std::remove(path);
}

struct ConfigFolder : ::testing::Environment {
  std::string dir;
  ConfigFolder() {
    char tmpl[] = "/tmp/quillmar-test-XXXXXX";
    dir = mkdtemp(tmpl);
    setenv("QUILLMAR_CONFIG_DIR", dir.c_str(), 1);
  }
  ~ConfigFolder() override { nftw(dir.c_str(), remove_entry, 8, FTW_DEPTH | FTW_PHYS); }
};

ConfigFolder* g_folder = nullptr;

}  // namespace

const std::string& test_config_dir() {
  if (!g_folder) {
    g_folder = new ConfigFolder();
    ::testing::AddGlobalTestEnvironment(g_folder);
  }
  return g_folder->dir;
}

// Made before any test runs, so the first instance finds it.
static const bool g_made = (test_config_dir(), true);
