#include "toolkit/util/links.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

bool link_target(const std::string& path, std::string* target) {
  enum { MAX_HOPS = 40 };  // as the kernel's own limit
  std::string p = path;
  for (int hops = 0; hops < MAX_HOPS; ++hops) {
    struct stat st;
    if (lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
      *target = p;
      return true;
    }
    char buf[4096];
    const ssize_t n = readlink(p.c_str(), buf, sizeof buf - 1);
    if (n < 0) return false;
    buf[n] = '\0';
    const size_t slash = p.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "" : p.substr(0, slash);
    p = buf[0] == '/' ? std::string(buf) : dir + "/" + buf;
  }
  errno = ELOOP;
  return false;
}
