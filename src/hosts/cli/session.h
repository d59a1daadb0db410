// One plug-in instance as the command-line program uses it, with the settings given on the
// command line applied.
#pragma once
#include <memory>
#include <string>
#include <vector>

class Quillmar;

struct plug_deleter {
  void operator()(Quillmar* p) const;
};
using plug_ptr = std::unique_ptr<Quillmar, plug_deleter>;

// A failure: the message (naming the file or argument at fault) and the exit status.
struct cli_error {
  std::string message;
  int status = 1;  // 2: bad usage, 1: a failed operation
};

struct settings_t {
  std::vector<std::string> sets;  // "NAME=VALUE": a parameter's name, symbol or index
  std::string state_file;
  std::string preset;             // a factory preset's name
  double rate = 0;                // 0: the plug-in's own default
};

class parsed_args_t;
// The settings a command was given: --set, --preset, --state and --rate. False after
// reporting a bad value (usage, status 2).
bool settings_from_args(const parsed_args_t& args, settings_t* s);

// A new instance at the rate, with the state restored, then the preset's curve, then the
// --set values applied. Warnings (a value clamped to its range) go to standard error.
plug_ptr make_session(const settings_t& s, cli_error* err);

// Writes the interface size into the preferences file as the Interface Size knob does, so
// that the instances made afterwards open at that size.
bool remember_interface_size(int size, cli_error* err);

// Parses "NAME=VALUE" into a parameter index and a finite value; NAME is the parameter's
// exact name, its port symbol or its index. Messages begin with `where` (the option, or a
// file and line).
bool parse_set(const std::string& arg, int* index, double* value, cli_error* err,
               const std::string& where = "--set ");

// Sets a parameter as a host does (clamped to its range, then OnParamChange); a value outside
// the range is reported on standard error, after `where`.
void apply_setting(Quillmar* plug, int index, double value, const std::string& where = "");

// The designed kernel's gain in dB at each frequency.
std::vector<double> kernel_response_db(Quillmar* plug, const std::vector<double>& freqs);

// n frequencies log-spaced from 20 Hz to 20 kHz.
std::vector<double> log_frequencies(int n);

// Bytes of the plug-in's state chunk.
std::vector<unsigned char> save_state(Quillmar* plug);
