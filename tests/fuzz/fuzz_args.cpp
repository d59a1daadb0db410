// The command line's arguments: the render command's options with their values, every
// --set NAME=VALUE, and the same bytes read as an automation file. Input: arguments
// separated by NUL bytes.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/params.h"
#include "fuzz.h"
#include "hosts/cli/automate.h"
#include "hosts/cli/render.h"

// An argument list with --help prints the render command's help: not into the log.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (!std::freopen("/dev/null", "w", stdout)) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> args;
  for (size_t start = 0; start <= text.size();) {
    size_t end = text.find('\0', start);
    if (end == std::string::npos) end = text.size();
    args.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(&a[0]);
  argv.push_back(nullptr);

  render_args_t r;
  const int status = parse_render_args(static_cast<int>(args.size()), argv.data(), &r);
  FUZZ_CHECK(status == 0 || status == 2 || status == HELP_SHOWN, "status %d", status);
  if (status == 0) {
    FUZZ_CHECK(!r.in_path.empty() && !r.out_path.empty(), "paths");
    FUZZ_CHECK(r.opts.block >= 1 && r.opts.block <= IPluginBase::kMaxBlockSize, "block %d",
               r.opts.block);
  }
  for (const std::string& s : r.settings.sets) {
    int index = -1;
    double value = 0;
    cli_error err;
    if (parse_set(s, &index, &value, &err))
      FUZZ_CHECK(index >= 0 && index < PARAM_COUNT && std::isfinite(value), "%s", s.c_str());
    else
      FUZZ_CHECK(err.status == 2 && !err.message.empty(), "%s", s.c_str());
  }

  std::vector<timed_change_t> changes;
  cli_error err;
  if (!parse_automation(text, "fuzz", &changes, &err)) {
    FUZZ_CHECK(err.status == 2 && err.message.find(" line ") != std::string::npos, "%s",
               err.message.c_str());
    return 0;
  }
  for (double rate : {44100.0, 1.0, 3e6}) {
    std::vector<scheduled_change_t> at;
    if (!schedule_changes(changes, rate, "fuzz", &at, &err)) continue;
    for (size_t i = 1; i < at.size(); ++i) FUZZ_CHECK(at[i].at >= at[i - 1].at, "order");
    for (const scheduled_change_t& c : at)
      FUZZ_CHECK(c.at >= 0 && c.change.index >= 0 && c.change.index < PARAM_COUNT &&
                     std::isfinite(c.change.value),
                 "line %d", c.change.line);
  }
  return 0;
}
