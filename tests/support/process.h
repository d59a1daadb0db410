// Starting real programs beside a test (jackd, Xvfb, jalv) as child processes.
#pragma once
#include <sys/types.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

// True when the program is on the PATH.
bool have_program(const std::string& name);

// Runs a shell command; its standard output (standard error too when both) and exit status.
struct shell_result_t {
  int status = -1;
  std::string out;
};
shell_result_t shell(const std::string& command, bool with_stderr = false);

// Quotes a word for the shell.
std::string shell_quote(const std::string& s);

class process_t {
 public:
  process_t() = default;
  ~process_t() { stop(); }
  process_t(const process_t&) = delete;
  process_t& operator=(const process_t&) = delete;

  // Starts argv[0] from the PATH with its output (both streams) into log; with_stdin gives it
  // a pipe for standard input, otherwise /dev/null. extra_fd, when >= 0, is handed to the
  // child as descriptor 3. False when it could not start.
  bool start(const std::vector<std::string>& argv, const std::string& log,
             bool with_stdin = false, int extra_fd = -1);
  void write(const std::string& text);
  bool running();
  // SIGTERM, then SIGKILL after the grace time; the exit status, or -1 when killed.
  int stop(double grace_seconds = 3.0);
  // Waits for the process to end by itself, at most the given time; false on timeout.
  bool wait(double seconds);
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  int stdin_fd_ = -1;
  int status_ = -1;
};

// Polls `done` every 50 ms until it is true or the time is up.
template <class F>
bool wait_until(double seconds, F done) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

// Starts a JACK2 server (jackd with the options after its name) under one of a few fixed names
// and points this process's JACK clients at it (JACK_DEFAULT_SERVER, never starting one
// themselves). JACK2's machine-wide table has room for eight servers and frees the entry of a
// killed one only when a server of the same name starts again: names that come back keep the
// table from filling up. A name whose server is running (another test program's) is passed
// over. The name, or "" when none started.
std::string start_jack_server(process_t* server, const std::vector<std::string>& options, const std::string& log);
