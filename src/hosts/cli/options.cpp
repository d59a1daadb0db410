#include "hosts/cli/options.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "hosts/cli/help.h"

int fail(const std::string& message, int status) {
  std::fprintf(stderr, "quillmar: %s\n", message.c_str());
  return status;
}

bool parse_decimal(const std::string& text, double* out) {
  if (text.empty() || text.find_first_not_of("0123456789+-.eE") != std::string::npos) return false;
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (*end != '\0' || !std::isfinite(v)) return false;
  *out = v;
  return true;
}

namespace {

const option_t* find_option(const command_t& cmd, const std::string& name) {
  for (const option_t& o : cmd.options)
    if (name == o.name) return &o;
  return nullptr;
}

// "-x", "--x": an option's shape. "-" alone is an operand, and so is a negative number.
bool looks_like_option(const char* a) {
  return a[0] == '-' && a[1] != '\0' && !(std::isdigit(static_cast<unsigned char>(a[1])) || a[1] == '.');
}

int usage_error(const command_t& cmd, const std::string& message) {
  return fail(std::string(cmd.name) + ": " + message + " (see quillmar " + cmd.name + " --help)",
              STATUS_USAGE);
}

}  // namespace

int parse_args(const command_t& cmd, int argc, char** argv, parsed_args_t* out) {
  bool options_ended = false;
  for (int i = 0; i < argc; ++i) {
    const char* a = argv[i];
    if (options_ended || !looks_like_option(a)) {
      if (!*a) return usage_error(cmd, "an empty argument names no file");
      out->operands.push_back(a);
      continue;
    }
    std::string name = a, value;
    if (name == "--") {
      options_ended = true;
      continue;
    }
    if (name == "-h" || name == "--help") {
      print_command_help(cmd, stdout);
      return HELP_SHOWN;
    }
    const size_t eq = name.find('=');
    const bool inline_value = name.compare(0, 2, "--") == 0 && eq != std::string::npos;
    if (inline_value) {
      value = name.substr(eq + 1);
      name.resize(eq);
    }
    const option_t* o = find_option(cmd, name);
    if (!o) return usage_error(cmd, "unknown option " + name);
    if (!o->value) {
      if (inline_value) return usage_error(cmd, name + " takes no value");
      out->add(name, "");
      continue;
    }
    if (!inline_value) {
      if (i + 1 >= argc) return usage_error(cmd, name + " needs " + o->value);
      value = argv[++i];
      if (looks_like_option(value.c_str()))
        return usage_error(cmd, name + " needs " + o->value + ", not the option " + value);
    }
    if (value.empty()) return usage_error(cmd, name + " needs " + o->value + ", not an empty value");
    out->add(name, value);
  }
  const int n = static_cast<int>(out->operands.size());
  if (n < cmd.min_operands)
    return usage_error(cmd, std::string("expected ") + cmd.operands);
  if (n > cmd.max_operands)
    return usage_error(cmd, "unexpected argument " + out->operands[cmd.max_operands]);
  return 0;
}

bool parsed_args_t::has(const std::string& option) const {
  for (const auto& g : given_)
    if (g.first == option) return true;
  return false;
}

std::string parsed_args_t::last(const std::string& option) const {
  std::string v;
  for (const auto& g : given_)
    if (g.first == option) v = g.second;
  return v;
}

std::vector<std::string> parsed_args_t::all(const std::string& option) const {
  std::vector<std::string> v;
  for (const auto& g : given_)
    if (g.first == option) v.push_back(g.second);
  return v;
}

std::string parsed_args_t::last_given(const std::vector<std::string>& options) const {
  std::string which;
  for (const auto& g : given_)
    for (const std::string& o : options)
      if (g.first == o) which = o;
  return which;
}

bool parsed_args_t::double_value(const std::string& option, double lo, double hi, double* out) const {
  if (!has(option)) return true;
  const std::string v = last(option);
  double d = 0;  // mutate: skip (read only once parse_decimal filled it)
  if (!parse_decimal(v, &d) || d < lo || d > hi) {
    char range[96];
    std::snprintf(range, sizeof range, "expected a number from %g to %g", lo, hi);
    fail(option + " " + v + ": not a valid value (" + range + ")", STATUS_USAGE);
    return false;
  }
  *out = d;
  return true;
}

bool parsed_args_t::int_value(const std::string& option, int lo, int hi, int* out) const {
  if (!has(option)) return true;
  const std::string v = last(option);
  char* end = nullptr;
  errno = 0;
  const long d = std::strtol(v.c_str(), &end, 10);
  if (v.empty() || *end != '\0' || errno || d < lo || d > hi) {
    fail(option + " " + v + ": not a valid value (expected a whole number from " +
             std::to_string(lo) + " to " + std::to_string(hi) + ")",
         STATUS_USAGE);
    return false;
  }
  *out = static_cast<int>(d);
  return true;
}
