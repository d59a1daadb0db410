// Time-stamped parameter changes for `quillmar render --automate FILE`: one change a line,
// "TIME NAME=VALUE", TIME in seconds ("1.5") or in samples ("66150s"), NAME=VALUE as for
// --set, '#' starting a comment, lines in time order.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "hosts/cli/session.h"

struct timed_change_t {
  double time = 0;       // seconds, or samples when in_samples
  bool in_samples = false;
  int index = 0;         // parameter
  double value = 0;      // parameter units, not yet clamped
  int line = 0;          // in the file, from 1
};

// Parses the text of an automation file into an empty `out`; `name` is the file's name for
// messages. A bad line
// fails the whole file with one message naming the file and the line (status 2).
bool parse_automation(const std::string& text, const std::string& name,
                      std::vector<timed_change_t>* out, cli_error* err);

// Reads and parses a file (status 1 when it cannot be read).
bool read_automation(const std::string& path, std::vector<timed_change_t>* out, cli_error* err);

// A change and the input sample at which it takes effect.
struct scheduled_change_t {
  int64_t at;
  timed_change_t change;
};

// Places every change at the first input sample at or after its time, at a sample rate, into
// an empty `out`. Fails
// (status 2) where a time in samples and one in seconds are out of order at this rate.
bool schedule_changes(const std::vector<timed_change_t>& changes, double samplerate,
                      const std::string& name, std::vector<scheduled_change_t>* out,
                      cli_error* err);
