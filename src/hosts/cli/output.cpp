#include "hosts/cli/output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "hosts/cli/temp_files.h"
#include "toolkit/util/links.h"

namespace {

std::string dir_of(const std::string& p) {
  const size_t s = p.rfind('/');
  return s == std::string::npos ? "." : s == 0 ? "/" : p.substr(0, s);
}

std::string base_of(const std::string& p) {
  const size_t s = p.rfind('/');
  return s == std::string::npos ? p : p.substr(s + 1);
}

std::string temp_folder() {
  const char* t = std::getenv("TMPDIR");
  return t && *t ? t : "/tmp";
}

void remove_temp(const std::string& file) {
  unlink(file.c_str());
  forget_temp(file);
}

// The file a path finally names: symbolic links followed (also to a target that does not
// exist yet, which is then made).
bool follow_links(const std::string& path, std::string* target, std::string* reason) {
  if (link_target(path, target)) return true;
  *reason = std::strerror(errno);
  return false;
}

bool write_all(int fd, const char* data, size_t size, std::string* reason) {
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {  // mutate: skip relational constant (a blocking write of a positive size never returns 0 or 1 here)
      *reason = std::strerror(n < 0 ? errno : EIO);
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Produces the output into a temporary file, then copies it into fd (a device, a FIFO,
// standard output).
bool produce_into(int fd, const produce_t& produce, std::string* reason) {
  const std::string tmp = make_temp_file(temp_folder() + "/quillmar-out-XXXXXX");
  if (tmp.empty()) {
    *reason = std::string("cannot make a temporary file in ") + temp_folder() + " (" + std::strerror(errno) + ")";
    return false;
  }
  bool ok = produce(tmp, reason);
  const int in = ok ? open(tmp.c_str(), O_RDONLY | O_CLOEXEC) : -1;
  if (ok && in < 0) {
    *reason = std::strerror(errno);
    ok = false;
  }
  char buf[65536];
  for (ssize_t n; ok && (n = read(in, buf, sizeof buf)) != 0;) {
    if (n < 0 && errno == EINTR) continue;  // mutate: skip relational constant logical (a read of our own regular file is neither interrupted nor failing)
    if (n < 0) {
      *reason = std::strerror(errno);  // mutate: skip (a read of our own temporary file does not fail)
      ok = false;
    } else {
      ok = write_all(fd, buf, static_cast<size_t>(n), reason);
    }
  }
  if (in >= 0) close(in);
  remove_temp(tmp);
  return ok;
}

bool write_in_place(const std::string& target, const produce_t& produce, std::string* reason) {
  const int fd = open(target.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) {
    *reason = std::strerror(errno);
    return false;
  }
  bool ok = produce_into(fd, produce, reason);
  if (close(fd) != 0 && ok) {
    *reason = std::strerror(errno);
    ok = false;
  }
  return ok;
}

// A temporary file beside the target, renamed over it when complete.
bool write_beside(const std::string& target, const struct stat* old, const produce_t& produce,
                  std::string* reason) {
  const std::string tmp = make_temp_file(dir_of(target) + "/." + base_of(target) + ".XXXXXX");
  if (tmp.empty()) {
    *reason = std::string("cannot write (") + std::strerror(errno) + ")";
    return false;
  }
  // A replaced file keeps its permissions; a new one gets what the umask allows.
  mode_t mode;
  if (old) {
    mode = old->st_mode & 07777;
  } else {
    const mode_t mask = umask(0);
    umask(mask);
    mode = 0666 & ~mask;
  }
  bool ok = chmod(tmp.c_str(), mode) == 0 || (*reason = std::strerror(errno), false);
  ok = ok && produce(tmp, reason);
  if (ok && rename(tmp.c_str(), target.c_str()) != 0) {
    *reason = std::string("cannot write (") + std::strerror(errno) + ")";
    ok = false;
  }
  if (ok) forget_temp(tmp);  // mutate: skip statement (the renamed file's old name is gone: forgetting it changes nothing)
  else remove_temp(tmp);
  return ok;
}

}  // namespace

bool write_output(const std::string& path, const produce_t& produce, std::string* error) {
  std::string reason;
  bool ok = false;
  if (path == "-") {
    if (isatty(STDOUT_FILENO)) {
      *error = "standard output is a terminal: name an output file, or redirect the output";
      return false;
    }
    if (produce_into(STDOUT_FILENO, produce, &reason)) return true;
    *error = "standard output: " + reason;
    return false;
  }
  std::string target;
  if (follow_links(path, &target, &reason)) {
    struct stat st;
    const bool exists = stat(target.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) reason = "is a folder";
    else if (exists && !S_ISREG(st.st_mode)) ok = write_in_place(target, produce, &reason);
    else ok = write_beside(target, exists ? &st : nullptr, produce, &reason);
  }
  if (!ok) *error = path + ": " + reason;
  return ok;
}

bool write_bytes(const std::string& path, const void* data, size_t size, std::string* error) {
  return write_output(
      path,
      [&](const std::string& file, std::string* reason) {
        const int fd = open(file.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        if (fd < 0) {
          *reason = std::strerror(errno);
          return false;
        }
        bool ok = write_all(fd, static_cast<const char*>(data), size, reason);
        if (close(fd) != 0 && ok) {
          *reason = std::strerror(errno);
          ok = false;
        }
        return ok;
      },
      error);
}

std::string output_clash(const std::vector<named_file_t>& inputs,
                         const std::vector<named_file_t>& outputs) {
  auto same = [](const std::string& a, const std::string& b) {
    struct stat sa, sb;
    return a != "-" && b != "-" && stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 &&
           sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
  };
  for (size_t o = 0; o < outputs.size(); ++o) {
    const named_file_t& out = outputs[o];
    if (out.path.empty()) continue;
    for (const named_file_t& in : inputs)
      if (!in.path.empty() && same(in.path, out.path))
        return out.role + " " + out.path + " is the input file " + in.role + " " + in.path +
               ": nothing was written over it";
    for (size_t k = 0; k < o; ++k)
      if (!outputs[k].path.empty() && (same(outputs[k].path, out.path) || outputs[k].path == out.path))
        return out.role + " " + out.path + " and " + outputs[k].role +
               " name the same file: nothing was written";
  }
  return "";
}

void remove_spooled_input(const std::string& file) { remove_temp(file); }

bool spool_standard_input(std::string* file, std::string* error) {
  if (isatty(STDIN_FILENO)) {
    *error = "standard input is a terminal: pipe audio into it, or name an input file";
    return false;
  }
  *file = make_temp_file(temp_folder() + "/quillmar-in-XXXXXX");
  if (file->empty()) {
    *error = std::string("cannot make a temporary file in ") + temp_folder() + " (" + std::strerror(errno) + ")";
    return false;
  }
  const int fd = open(file->c_str(), O_WRONLY | O_CLOEXEC);
  bool ok = fd >= 0;
  std::string reason = ok ? "" : std::strerror(errno);
  char buf[65536];
  for (ssize_t n; ok && (n = read(STDIN_FILENO, buf, sizeof buf)) != 0;) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      reason = std::strerror(errno);
      ok = false;
    } else {
      ok = write_all(fd, buf, static_cast<size_t>(n), &reason);
    }
  }
  if (fd >= 0 && close(fd) != 0 && ok) {
    reason = std::strerror(errno);
    ok = false;
  }
  if (!ok) {
    remove_temp(*file);
    *error = "standard input: " + reason;
  }
  return ok;
}
