#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "toolkit/util/links.h"

namespace {

// Links relative to their own folder, absolute, dangling, and in a loop.
TEST(Links, TargetsFollowedToTheEndAndLoopsRefused) {
  char tmpl[] = "/tmp/quillmar-links-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string d = tmpl;
  ASSERT_EQ(mkdir((d + "/sub").c_str(), 0755), 0);
  ASSERT_EQ(symlink("sub/b", (d + "/a").c_str()), 0);           // relative to a's folder
  ASSERT_EQ(symlink("c", (d + "/sub/b").c_str()), 0);           // relative to b's folder
  ASSERT_EQ(symlink((d + "/new").c_str(), (d + "/abs").c_str()), 0);  // dangling, absolute
  ASSERT_EQ(symlink("loop2", (d + "/loop1").c_str()), 0);
  ASSERT_EQ(symlink("loop1", (d + "/loop2").c_str()), 0);
  const struct {
    std::string path, target;
  } rows[] = {{d + "/a", d + "/sub/c"}, {d + "/abs", d + "/new"}, {d + "/plain", d + "/plain"}};
  for (const auto& r : rows) {
    std::string t;
    EXPECT_TRUE(link_target(r.path, &t)) << r.path;
    EXPECT_EQ(t, r.target);
  }
  std::string t;
  errno = ENOENT;  // a reason left over from an earlier call must not show
  EXPECT_FALSE(link_target(d + "/loop1", &t));
  EXPECT_EQ(errno, ELOOP);
  std::system(("rm -rf " + d).c_str());
}

}  // namespace
