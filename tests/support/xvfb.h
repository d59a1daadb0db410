// A private X server for tests of real windows: Xvfb on a display number it picks itself
// (-displayfd), stopped when the object goes. Tests that need it skip when Xvfb is missing.
#pragma once
#include <sys/types.h>

#include <string>
#include <vector>

class xvfb_t {
 public:
  // extra: more Xvfb arguments, e.g. {"-extension", "MIT-SHM"} for a server without it.
  explicit xvfb_t(const std::vector<std::string>& extra = {});
  ~xvfb_t();
  xvfb_t(const xvfb_t&) = delete;
  xvfb_t& operator=(const xvfb_t&) = delete;

  bool ok() const { return !display_.empty(); }
  const std::string& display() const { return display_; }  // ":N"
  pid_t pid() const { return pid_; }

 private:
  void start(const std::vector<std::string>& extra);
  pid_t pid_ = -1;
  std::string display_;
};

// Waits for a child for up to timeout seconds; its exit status, or -1 after killing it.
int wait_child(pid_t pid, double timeout);

// Runs a shell command with DISPLAY set to the server's, killed after timeout seconds;
// returns its exit status (-1 when it did not exit by itself).
int run_on_display(const xvfb_t& x, const std::string& command, int timeout = 20);
