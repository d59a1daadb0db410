// The command line's vocabulary and its reading: each command with its operands and options
// (the table in command_table.cpp, from which the help, the man page and the completion are
// made too), the parser that reads a command's arguments against it, and the program's error
// conventions: one line on standard error naming the argument or file at fault, status 2 for
// bad usage and 1 for a failed operation.
#pragma once
#include <string>
#include <utility>
#include <vector>

enum {
  STATUS_FAILED = 1,
  STATUS_USAGE = 2,
  HELP_SHOWN = -1,  // the parser printed the command's help: the command ends with status 0
};

struct option_t {
  const char* name;   // "--set"
  const char* value;  // what follows it ("NAME=VALUE"); null for a switch
  const char* help;   // one line
};

struct command_t;
// A command's work: its own table entry and the arguments after its name; the exit status.
using command_run_t = int (*)(const command_t& cmd, int argc, char** argv);

struct command_t {
  const char* name;
  const char* operands;  // as the usage line shows them ("IN OUT", "[OUTDIR]")
  int min_operands, max_operands;
  const char* summary;      // one line, in the list of commands
  const char* description;  // paragraphs, separated by blank lines
  std::vector<option_t> options;
  command_run_t run;
};

// What a command was given: its operands in order, and every option with its value in order.
class parsed_args_t {
 public:
  std::vector<std::string> operands;

  bool has(const std::string& option) const;
  // The last value given (later options override earlier ones); empty when not given.
  std::string last(const std::string& option) const;
  std::vector<std::string> all(const std::string& option) const;
  // Which of the options was given last (a switch and its opposite); empty when none was.
  std::string last_given(const std::vector<std::string>& options) const;
  // A whole number or a number in [lo, hi] for an option into *out, which keeps its value
  // (the default) when the option is not given. A value out of range or not a number is
  // reported as a usage error: false then.
  bool int_value(const std::string& option, int lo, int hi, int* out) const;
  bool double_value(const std::string& option, double lo, double hi, double* out) const;

  void add(const std::string& option, const std::string& value) { given_.emplace_back(option, value); }

 private:
  std::vector<std::pair<std::string, std::string>> given_;
};

// Reads a command's arguments: its options (`--name VALUE` or `--name=VALUE`), `-h` and
// `--help`, `--` ending the options, and `-` as an operand (standard input or output). An
// argument that looks like an option and is not one of the command's, or an option value
// that looks like an option, is a usage error: it is never taken as a file or folder name
// (`./-name` names such a file); so is an empty argument or value. Returns 0, HELP_SHOWN after printing the command's help to
// standard output, or STATUS_USAGE after reporting the error.
int parse_args(const command_t& cmd, int argc, char** argv, parsed_args_t* out);

// A finite decimal number, the whole text ("-6", "1.5e3"): never hexadecimal ("0x10"),
// "inf", "nan" or text around it, which strtod alone would take.
bool parse_decimal(const std::string& text, double* out);

// Reports a failure on standard error ("quillmar: MESSAGE"); returns the status.
int fail(const std::string& message, int status = STATUS_FAILED);
