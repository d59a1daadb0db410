#include "process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

bool have_program(const std::string& name) {
  return shell("command -v " + shell_quote(name) + " >/dev/null 2>&1").status == 0;
}

std::string shell_quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

shell_result_t shell(const std::string& command, bool with_stderr) {
  shell_result_t r;
  FILE* p = popen((command + (with_stderr ? " 2>&1" : "")).c_str(), "r");
  if (!p) return r;
  char buf[4096];
  for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) r.out.append(buf, n);
  const int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

bool process_t::start(const std::vector<std::string>& argv, const std::string& log,
                      bool with_stdin, int extra_fd) {
  int in[2] = {-1, -1};
  if (with_stdin && pipe(in) != 0) return false;
  pid_ = fork();
  if (pid_ < 0) return false;
  if (pid_ == 0) {
    const int null = open("/dev/null", O_RDONLY);
    const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(with_stdin ? in[0] : null, 0);
    dup2(out, 1);
    dup2(out, 2);
    if (extra_fd >= 0) dup2(extra_fd, 3);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    setpgid(0, 0);  // its own group, so that its children end with it
    execvp(args[0], args.data());
    _exit(127);
  }
  setpgid(pid_, pid_);  // as the child does: whichever runs first
  if (with_stdin) {
    close(in[0]);
    stdin_fd_ = in[1];
  }
  return true;
}

void process_t::write(const std::string& text) {
  if (stdin_fd_ >= 0 && ::write(stdin_fd_, text.data(), text.size()) < 0) {
    close(stdin_fd_);
    stdin_fd_ = -1;
  }
}

bool process_t::running() {
  if (pid_ <= 0) return false;
  int st = 0;
  if (waitpid(pid_, &st, WNOHANG) == pid_) {
    status_ = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    pid_ = -1;
    return false;
  }
  return true;
}

bool process_t::wait(double seconds) {
  return wait_until(seconds, [this] { return !running(); });
}

int process_t::stop(double grace_seconds) {
  if (stdin_fd_ >= 0) {
    close(stdin_fd_);
    stdin_fd_ = -1;
  }
  // The group, and the process itself should it have left the group.
  auto signal = [this](int sig) {
    kill(-pid_, sig);
    kill(pid_, sig);
  };
  if (running()) {
    signal(SIGTERM);
    if (!wait(grace_seconds)) {
      signal(SIGKILL);
      wait(10);
    }
  }
  return status_;
}

std::string start_jack_server(process_t* server, const std::vector<std::string>& options, const std::string& log) {
  setenv("JACK_NO_START_SERVER", "1", 1);
  for (int k = 0; k < 4; ++k) {
    const std::string name = "quillmar_test_" + std::to_string(k);
    std::vector<std::string> argv = {"jackd", "-n", name};
    argv.insert(argv.end(), options.begin(), options.end());
    if (!server->start(argv, log)) return "";
    setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
    const bool answers =
        wait_until(20, [&] { return !server->running() || shell("jack_lsp 2>/dev/null").status == 0; });
    // A server of that name already running answers jack_lsp too: ours must still run after.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    if (answers && server->running()) return name;
    server->stop();
  }
  return "";
}
