#include "hosts/cli/args.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

int fail(const std::string& message, int status) {
  std::fprintf(stderr, "quillmar: %s\n", message.c_str());
  return status;
}

int args_t::usage(const std::string& message) {
  if (!status_) fail(message, 2);
  status_ = 2;
  return 2;
}

std::string args_t::value(const std::string& o) {
  if (!more()) {
    usage(o + ": a value is missing");
    return std::string();
  }
  return take();
}

double args_t::double_value(const std::string& o, double lo, double hi) {
  const std::string v = value(o);
  if (failed()) return lo;
  char* end = nullptr;
  const double d = std::strtod(v.c_str(), &end);
  if (v.empty() || *end != '\0' || !std::isfinite(d) || d < lo || d > hi) {
    char range[96];
    std::snprintf(range, sizeof range, " (expected a number from %g to %g)", lo, hi);
    usage(o + " " + v + ": not a valid value" + range);
    return lo;
  }
  return d;
}

int args_t::int_value(const std::string& o, int lo, int hi) {
  const std::string v = value(o);
  if (failed()) return lo;
  char* end = nullptr;
  const long d = std::strtol(v.c_str(), &end, 10);
  if (v.empty() || *end != '\0' || d < lo || d > hi) {
    usage(o + " " + v + ": not a valid value (expected a whole number from " +
          std::to_string(lo) + " to " + std::to_string(hi) + ")");
    return lo;
  }
  return static_cast<int>(d);
}
