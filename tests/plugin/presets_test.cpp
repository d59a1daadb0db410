// The preset folder: state files read by name, sorted, and refused one file at a time.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "engine/params.h"
#include "plug_env.h"
#include "plugin/params.h"
#include "plugin/presets.h"

namespace {

std::string folder(const std::string& name) {
  const std::string d = test_config_dir() + "/" + name;
  mkdir(d.c_str(), 0700);
  return d;
}

// The first `bytes` bytes of the doubles 0, 1, 2, ..., with value 3 replaced.
void write_state(const std::string& path, size_t bytes, double third = 3.0) {
  std::vector<double> v(PARAM_COUNT + 1);
  for (size_t i = 0; i < v.size(); ++i) v[i] = static_cast<double>(i);
  v[3] = third;
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(v.data()), bytes);
}

// Entries of /proc/self/fd: a folder left open shows here.
int open_descriptors() {
  int n = 0;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (readdir(d)) ++n;
    closedir(d);
  }
  return n;
}

TEST(Presets, AFolderIsReadSortedByNameSkippingOtherFiles) {
  const std::string d = folder("presets");
  write_state(d + "/b one.state", 232);
  write_state(d + "/A two.state", 232, -4.5);
  write_state(d + "/notes.txt", 7);
  write_state(d + "/.hidden.state", 7);
  write_state(d + "/.state", 7);
  std::vector<preset_t> list(3);
  std::string error;
  ASSERT_TRUE(read_presets(d, &list, &error)) << error;
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].name, "A two");
  EXPECT_EQ(list[1].name, "b one");
  EXPECT_EQ(list[0].values[3], -4.5);
  EXPECT_EQ(list[1].values[PARAM_COUNT - 1], PARAM_COUNT - 1.0);
}

TEST(Presets, AFileThatIsNotAStateIsNamedInTheError) {
  const struct {
    size_t bytes;
    double third;
    const char* error;
  } rows[] = {
      {231, 3, "not a preset (a state of 232 bytes)"},
      {233, 3, "not a preset (a state of 232 bytes)"},
      {232, NAN, "not a preset (a value is not a number)"},
      {232, -INFINITY, "not a preset (a value is not a number)"},
  };
  std::vector<preset_t> list;
  std::string error;
  const int descriptors = open_descriptors();
  for (const auto& r : rows) {
    const std::string d = folder("bad" + std::to_string(&r - rows));
    write_state(d + "/x.state", r.bytes, r.third);
    write_state(d + "/a.state", 232);
    EXPECT_FALSE(read_presets(d, &list, &error));
    EXPECT_EQ(error, d + "/x.state: " + r.error);
    EXPECT_TRUE(list.empty()) << "a half-read folder";
  }
  // A preset that cannot be opened (root opens any mode, so a link to nothing).
  const std::string d = folder("dangling");
  ASSERT_EQ(symlink("gone", (d + "/x.state").c_str()), 0);
  EXPECT_FALSE(read_presets(d, &list, &error));
  EXPECT_EQ(error, d + "/x.state: No such file or directory");
  EXPECT_EQ(open_descriptors(), descriptors) << "a preset folder left open";
  EXPECT_FALSE(read_presets(test_config_dir() + "/none", &list, &error));
  EXPECT_EQ(error, test_config_dir() + "/none: No such file or directory");
}

TEST(ParamNames, NamesSymbolsAndSlugsBothWays) {
  const struct {
    int index;
    const char *name, *symbol;
  } rows[] = {{0, "Band A on", "band_a_on"},
              {16, "Transpose", "transpose"},
              {26, "Vert. Range", "vert_range"},
              {28, "Hor. Position", "hor_position"}};
  for (const auto& r : rows) {
    EXPECT_STREQ(param_name(r.index), r.name);
    EXPECT_EQ(param_index(r.name), r.index);
    EXPECT_STREQ(param_symbol(r.index), r.symbol);
    EXPECT_EQ(param_index_by_symbol(r.symbol), r.index);
  }
  for (const char* miss : {"", static_cast<const char*>(nullptr)}) {
    EXPECT_EQ(param_index(miss), -1);
    EXPECT_EQ(param_index_by_symbol(miss), -1);
  }
  EXPECT_EQ(param_index("transpose"), -1);
  EXPECT_EQ(param_index_by_symbol("Transpose"), -1);
  for (int i : {-1, static_cast<int>(PARAM_COUNT)}) {
    EXPECT_EQ(param_name(i), nullptr);
    EXPECT_EQ(param_symbol(i), nullptr);
  }
  EXPECT_EQ(preset_slug(" Low cut: 80 Hz "), "low-cut-80-hz");
}

}  // namespace
