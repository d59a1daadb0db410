#include "plugin/prefs.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "editor/controls.h"
#include "engine/inst.h"
#include "engine/params.h"
#include "framework/FW_String.h"
#include "framework/IPluginBase.h"
#include "plugin/Quillmar.h"
#include "plugin/io.h"
#include "toolkit/util/c_numbers.h"
#include "toolkit/util/links.h"

FW_String& pres_dir() {
  static FW_String dir;
  return dir;
}

namespace {

// The file's line length, as readers with a buffer of this size take it: "Preset path ", the
// path and the line end must fit it, or the path would not come back whole.
enum { LINE_BYTES = 2000, MAX_PRESET_PATH = LINE_BYTES - 1 - 13 };

// A setting line: its format, parameter and the control that shows it.
struct setting_t {
  const char* first;   // first word
  const char* second;  // second word, or null
  const char* format;  // how it is read
  int param;
  int control;
};

const setting_t kSettings[] = {
    {"Interface", nullptr, "Interface size %lg", PARAM_INTERFACE_SIZE, CTRL_INTERFACE_SIZE},
    {"Resolution", nullptr, "Resolution %lg", PARAM_RESOLUTION, CTRL_RESOLUTION},
    {"Delay", nullptr, "Delay %lg", PARAM_INPUT_BUFFER_SIZE, CTRL_INPUT_BUFFER},
    {"Limiter", nullptr, "Limiter %lg", PARAM_LIMITER, CTRL_LIMITER},
    {"Colour", "scheme", "Colour scheme %lg", PARAM_COLOUR, CTRL_COLOUR},
    {"Colour", "gain", "Colour gain %lg", PARAM_COLOUR_GAIN, CTRL_COLOUR_GAIN},
    {"Colour", "gamma", "Colour gamma %lg", PARAM_GAMMA, CTRL_GAMMA},
    {"Vertical", nullptr, "Vertical range %lg", PARAM_VERT_RANGE, CTRL_VERT_RANGE},
};

const setting_t* find_setting(const char* first, const char* second) {
  for (const setting_t& s : kSettings)
    if (!std::strcmp(s.first, first) && (!s.second || !std::strcmp(s.second, second))) return &s;
  return nullptr;
}

// The shortest text of a value that reads back as exactly that value: a value that came back
// rounded would move every later instance's setting (a vertical scale a hair off 1).
std::string exact_line(const char* name, double v) {
  char text[40];
  for (int digits = 15; digits <= 17; ++digits) {
    std::snprintf(text, sizeof text, "%.*g", digits, v);
    if (std::strtod(text, nullptr) == v) break;
  }
  return std::string(name) + " " + text + "\n";
}

std::string int_line(const char* name, double v) {
  return std::string(name) + " " + std::to_string(static_cast<int>(v)) + "\n";
}

}  // namespace

void load_prefs(inst_t* inst, int pass) {
  if (pass == 0) inst->ui_size = 1;
  const std::string& path = path_prefs();
  // A missing file leaves no preset folder from an earlier one read in this process.
  if (pass == 1) pres_dir().Clear();
  FILE* f = path.empty() ? nullptr : std::fopen(path.c_str(), "r");
  if (!f) return;
  const c_numeric_scope_t point;
  double version = 1.2;
  char* line = nullptr;
  size_t capacity = 0;
  // Each line is read whole, however long: the end of a long line is never read as a line of
  // its own (a long preset path ending in "Delay 5" must not set the delay).
  while (getline(&line, &capacity, f) >= 0) {  // mutate: skip relational constant (a line read is never empty: > 0 and >= 1 alike)
    char first[64] = "", second[64] = "";
    if (std::sscanf(line, "%63s %63s", first, second) < 1) continue;
    if (pass == 1 && !std::strcmp(first, "Quillmar")) {
      double v;
      if (std::sscanf(line, "Quillmar Prefs %lg", &v) == 1 && std::isfinite(v)) version = v;
      continue;
    }
    if (pass == 1 && !std::strcmp(first, "Preset")) {
      // Only a path whose line, as written back, fits the buffer: longer, it would come back cut.
      char dir[LINE_BYTES];
      if (std::sscanf(line, "Preset path %1999[^\n]", dir) == 1 &&
          std::strlen(dir) <= MAX_PRESET_PATH)
        pres_dir().Set(dir);
      continue;
    }
    const setting_t* s = find_setting(first, second);
    if (!s || (pass == 0 && s->param != PARAM_INTERFACE_SIZE)) continue;
    double v;
    // A value that cannot be read, or is not a finite number, leaves the setting alone.
    if (std::sscanf(line, s->format, &v) != 1 || !std::isfinite(v)) continue;
    if (pass == 0) {
      // The layout knows sizes 0 to 2 only.
      inst->ui_size = static_cast<int>(std::fmin(std::fmax(v, 0.0), 2.0));  // mutate: skip constant (the second pass sets the size again through the parameter, whose range clamps it)
      continue;
    }
    if (s->param == PARAM_COLOUR && version == 1.0) v = 2;
    set_knob_value(inst, v, s->param, s->control);
  }
  std::free(line);
  std::fclose(f);
}

void save_prefs(inst_t* inst) {
  const std::string& path = path_prefs();
  if (path.empty()) return;
  IPluginBase* plug = inst->plug;
  auto value = [plug](int i) { return plug->GetParam(i)->Value(); };
  std::string text;
  {
    const c_numeric_scope_t point;
    text = "Quillmar Prefs 1.2\n" + int_line("Interface size", value(PARAM_INTERFACE_SIZE)) +
           "Preset path " + pres_dir().Get() + "\n" +
           exact_line("Resolution", value(PARAM_RESOLUTION)) +
           exact_line("Delay", value(PARAM_INPUT_BUFFER_SIZE)) +
           exact_line("Limiter", value(PARAM_LIMITER)) +
           int_line("Colour scheme", value(PARAM_COLOUR)) +
           exact_line("Colour gain", value(PARAM_COLOUR_GAIN)) +
           exact_line("Colour gamma", value(PARAM_GAMMA)) +
           exact_line("Vertical range", value(PARAM_VERT_RANGE));
  }
  // Written beside under a name of its own and renamed over, so that a reader never sees a
  // half-written file and two writers never share one. A link is kept and its file written;
  // a file replaced keeps its permissions (a new one is the user's alone).
  std::string target;
  if (!link_target(path, &target)) return;
  struct stat old;
  const bool exists = stat(target.c_str(), &old) == 0;
  std::string tmp = target + ".XXXXXX";
  const int fd = mkstemp(&tmp[0]);
  if (fd < 0) return;
  if (exists) fchmod(fd, old.st_mode & 07777);
  const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  if (close(fd) != 0 || !written || std::rename(tmp.c_str(), target.c_str()) != 0)
    std::remove(tmp.c_str());
}

void Quillmar::save_prefs() { ::save_prefs(mInst); }
