// Command-line arguments, one at a time, with the program's error conventions: one line on
// standard error naming the argument at fault, status 2 for bad usage, 1 for a failure.
#pragma once
#include <string>

class args_t {
 public:
  args_t(int argc, char** argv) : argc_(argc), argv_(argv) {}
  bool more() const { return i_ < argc_; }
  bool is_option() const { return argv_[i_][0] == '-' && argv_[i_][1] == '-'; }
  std::string take() { return argv_[i_++]; }
  // The value after option o (a usage error when missing).
  std::string value(const std::string& o);
  int int_value(const std::string& o, int lo, int hi);
  double double_value(const std::string& o, double lo, double hi);
  // Reports a usage error; returns the status to exit with.
  int usage(const std::string& message);
  bool failed() const { return status_ != 0; }
  int status() const { return status_; }

 private:
  int argc_;
  char** argv_;
  int i_ = 0;
  int status_ = 0;
};

// Reports a failure on standard error; returns the status.
int fail(const std::string& message, int status = 1);
