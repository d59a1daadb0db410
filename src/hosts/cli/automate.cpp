#include "hosts/cli/automate.h"

#include <cmath>
#include <cstdlib>

#include "hosts/cli/audio_file.h"
#include "hosts/cli/options.h"

namespace {

const char* const kSpace = " \t\r\f\v";
const size_t kMaxFileBytes = size_t(64) << 20;  // about two million changes

std::string trim(const std::string& s) {
  const size_t a = s.find_first_not_of(kSpace);
  if (a == std::string::npos) return std::string();
  return s.substr(a, s.find_last_not_of(kSpace) + 1 - a);
}

// Samples are whole numbers ("66150s"); seconds any finite number ("1.5", "2e-3").
bool parse_time(const std::string& t, timed_change_t* c) {
  char* end = nullptr;
  if (!t.empty() && t.back() == 's') {
    const std::string digits = t.substr(0, t.size() - 1);
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos ||
        digits.size() > 15)
      return false;
    c->time = static_cast<double>(std::strtoll(digits.c_str(), &end, 10));
    c->in_samples = true;
    return true;
  }
  c->in_samples = false;
  return parse_decimal(t, &c->time) && c->time >= 0;
}

}  // namespace

bool parse_automation(const std::string& text, const std::string& name,
                      std::vector<timed_change_t>* out, cli_error* err) {
  size_t start = 0;
  for (int line = 1; start <= text.size(); ++line) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string s = text.substr(start, end - start);
    start = end + 1;
    s = trim(s.substr(0, s.find('#')));
    if (s.empty()) continue;
    const std::string where = name + " line " + std::to_string(line) + ": ";
    const size_t gap = s.find_first_of(kSpace);
    timed_change_t c;
    c.line = line;
    if (gap == std::string::npos) {
      *err = {where + "\"" + s + "\": expected TIME NAME=VALUE", 2};
      return false;
    }
    const std::string time = s.substr(0, gap);
    if (!parse_time(time, &c)) {
      *err = {where + "\"" + time +
                  "\" is not a time (seconds, or samples with an s suffix: 1.5 or 66150s)",
              2};
      return false;
    }
    if (!parse_set(trim(s.substr(gap)), &c.index, &c.value, err, where)) return false;
    if (!out->empty() && out->back().in_samples == c.in_samples && c.time < out->back().time) {
      *err = {where + time + " comes before the time of line " +
                  std::to_string(out->back().line) + " (lines go in time order)",
              2};
      return false;
    }
    out->push_back(c);
  }
  return true;
}

bool read_automation(const std::string& path, std::vector<timed_change_t>* out, cli_error* err) {
  std::vector<unsigned char> bytes;
  std::string msg;
  if (!read_file(path, &bytes, &msg, kMaxFileBytes)) {
    *err = {msg, 1};
    return false;
  }
  return parse_automation(std::string(bytes.begin(), bytes.end()), path, out, err);
}

bool schedule_changes(const std::vector<timed_change_t>& changes, double samplerate,
                      const std::string& name, std::vector<scheduled_change_t>* out,
                      cli_error* err) {
  for (const timed_change_t& c : changes) {
    // A time given in seconds lands on the first sample at or after it; a millionth of a
    // sample forgives the decimal's rounding (0.1 s is sample 4410 at 44.1 kHz, not 4411).
    constexpr double kForgive = 1e-6;  // mutate: skip (any tolerance far below a sample and above the rounding)
    const double p = c.in_samples ? c.time : std::ceil(c.time * samplerate - kForgive);
    const int64_t pos = static_cast<int64_t>(std::fmin(std::fmax(p, 0.0), 9e15));
    if (!out->empty() && pos < out->back().at) {
      *err = {name + " line " + std::to_string(c.line) + ": sample " + std::to_string(pos) +
                  " comes before the sample of line " + std::to_string(out->back().change.line) +
                  ", " + std::to_string(out->back().at) + " (lines go in time order)",
              2};
      return false;
    }
    out->push_back({pos, c});
  }
  return true;
}
