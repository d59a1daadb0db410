#include "support/settings_folder.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ftw.h>

namespace {

int remove_entry(const char* path, const struct stat*, int, struct FTW* f) {
  return f->level == 0 ? 0 : std::remove(path);  // the folder itself stays: instances cache its path
}

void empty_folder(const std::string& dir) { nftw(dir.c_str(), remove_entry, 8, FTW_DEPTH | FTW_PHYS); }

struct folder_t {
  std::string dir;
  folder_t() {
    char tmpl[] = "/tmp/quillmar-test-XXXXXX";
    if (mkdtemp(tmpl)) dir = tmpl;
    setenv("QUILLMAR_CONFIG_DIR", dir.c_str(), 1);
  }
  ~folder_t() {
    empty_folder(dir);
    rmdir(dir.c_str());
  }
};

struct empty_before_each_test : ::testing::EmptyTestEventListener {
  void OnTestStart(const ::testing::TestInfo&) override { empty_folder(test_settings_folder()); }
};

}  // namespace

const std::string& test_settings_folder() {
  static folder_t folder;
  return folder.dir;
}

// Made before any test runs, so that the first instance finds it.
static const bool g_made = [] {
  test_settings_folder();
  ::testing::UnitTest::GetInstance()->listeners().Append(new empty_before_each_test);
  return true;
}();
