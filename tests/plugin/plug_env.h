// Every plug-in test runs with its settings folder in a fresh temporary folder, never the
// user's real one, and with no preferences file unless the test writes one.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "plugin/Quillmar.h"
#include "plugin/io.h"

const std::string& test_config_dir();

struct PlugDeleter {
  void operator()(Quillmar* p) const { delete p; }
};
using PlugPtr = std::unique_ptr<Quillmar, PlugDeleter>;

inline std::string prefs_file() { return test_config_dir() + "/Quillmar Preferences.dat"; }

inline void write_prefs(const std::string& text) {
  std::ofstream(prefs_file()) << text;
}

inline std::string read_prefs() {
  std::ifstream f(prefs_file());
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

struct PlugTest : ::testing::Test {
  void SetUp() override { std::remove(prefs_file().c_str()); }
  PlugPtr make() {
    PlugPtr p(MakePlug());
    EXPECT_NE(p, nullptr);
    return p;
  }
};
