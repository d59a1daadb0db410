#include "hosts/cli/temp_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace {

// A fixed table the handler can read without allocating: a slot's path is written before the
// slot is marked in use.
enum { SLOTS = 8, PATH_BYTES = 4096 };
enum : int { FREE = 0, FILE_SLOT = 1, FOLDER_SLOT = 2 };
volatile sig_atomic_t g_kind[SLOTS];
char g_path[SLOTS][PATH_BYTES];

void remember(const std::string& path, int kind) {
  if (path.size() >= PATH_BYTES) return;
  for (int i = 0; i < SLOTS; ++i) {
    if (g_kind[i] != FREE) continue;
    std::memcpy(g_path[i], path.c_str(), path.size() + 1);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    g_kind[i] = kind;
    return;
  }
}

// The entries of a folder (no deeper: a settings folder holds files), then the folder, with
// calls that are safe in a signal handler.
void remove_folder(const char* path) {
  const int fd = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    alignas(8) char buf[4096];
    for (long n; (n = syscall(SYS_getdents64, fd, buf, sizeof buf)) > 0;) {
      for (long at = 0; at < n;) {
        struct entry_t {
          unsigned long long ino;
          long long off;
          unsigned short reclen;
          unsigned char type;
          char name[1];
        };
        const entry_t* e = reinterpret_cast<const entry_t*>(buf + at);
        if (std::strcmp(e->name, ".") != 0 && std::strcmp(e->name, "..") != 0) unlinkat(fd, e->name, 0);
        at += e->reclen;
      }
    }
    close(fd);
  }
  rmdir(path);
}

void on_fatal_signal(int sig) {
  const int saved = errno;
  for (int i = 0; i < SLOTS; ++i) {
    if (g_kind[i] == FILE_SLOT) unlink(g_path[i]);
    else if (g_kind[i] == FOLDER_SLOT) remove_folder(g_path[i]);
    g_kind[i] = FREE;
  }
  errno = saved;
  // The handler was reset on entry: the signal now ends the program as it would have.
  raise(sig);
}

}  // namespace

std::string make_temp_file(std::string tmpl) {
  const int fd = mkstemp(tmpl.data());
  if (fd < 0) return "";
  close(fd);
  remember(tmpl, FILE_SLOT);
  return tmpl;
}

std::string make_temp_folder(std::string tmpl) {
  if (!mkdtemp(tmpl.data())) return "";
  remember(tmpl, FOLDER_SLOT);
  return tmpl;
}

void remember_temp(const std::string& path) { remember(path, FILE_SLOT); }

void forget_temp(const std::string& path) {
  for (int i = 0; i < SLOTS; ++i)
    if (g_kind[i] != FREE && path == g_path[i]) g_kind[i] = FREE;
}

void remove_temps_on_signals() {
  for (const int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
    struct sigaction old {};
    // An ignored signal (nohup's SIGHUP, a shell's SIGPIPE) stays ignored: it ends nothing.
    if (sigaction(sig, nullptr, &old) != 0 || old.sa_handler != SIG_DFL) continue;
    struct sigaction sa {};
    sa.sa_handler = on_fatal_signal;
    sigfillset(&sa.sa_mask);
    sa.sa_flags = SA_RESETHAND | SA_NODEFER;
    sigaction(sig, &sa, nullptr);
  }
}
