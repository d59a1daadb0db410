#include "support/xvfb.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>

int wait_child(pid_t pid, double timeout) {
  for (double waited = 0; waited < timeout; waited += 0.005) {
    int st = 0;
    if (waitpid(pid, &st, WNOHANG) == pid) return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    usleep(5000);
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  return -1;
}

xvfb_t::xvfb_t(const std::vector<std::string>& extra) {
  // Servers started at the same moment can settle on the same display number, one of them
  // then without its sockets: the tests of all processes start theirs one at a time.
  const int lock = open("/tmp/quillmar-xvfb-start.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (lock >= 0) flock(lock, LOCK_EX);
  start(extra);
  if (lock >= 0) close(lock);  // and with it the lock
}

void xvfb_t::start(const std::vector<std::string>& extra) {
  int fds[2];
  if (pipe(fds) != 0) return;
  pid_ = fork();
  if (pid_ == 0) {
    // The server ends with the test, even one that crashes or is killed.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    close(fds[0]);
    std::vector<std::string> args = {"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", "1600x1000x24",
                                     "-nolisten", "tcp", "-noreset"};
    args.insert(args.end(), extra.begin(), extra.end());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 2);
    execvp("Xvfb", argv.data());
    _exit(127);
  }
  close(fds[1]);
  // Xvfb writes its display number once it accepts connections.
  std::string number;
  pollfd p{fds[0], POLLIN, 0};
  while (pid_ > 0 && poll(&p, 1, 15000) > 0) {
    char c;
    if (read(fds[0], &c, 1) != 1 || c == '\n') break;
    number += c;
  }
  close(fds[0]);
  if (!number.empty()) display_ = ":" + number;
}

xvfb_t::~xvfb_t() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  wait_child(pid_, 5);
}

int run_on_display(const xvfb_t& x, const std::string& command, int timeout) {
  const pid_t pid = fork();
  if (pid == 0) {
    setenv("DISPLAY", x.display().c_str(), 1);
    execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  return pid > 0 ? wait_child(pid, timeout) : -1;
}
