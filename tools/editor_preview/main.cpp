// quillmar_editor_preview OUT.png [options]: builds an instance, feeds a test signal through
// its audio path while drawing editor frames, and writes the last frame as PNG.
//   --size 0|1|2        interface size (default 1)
//   --signal SPEC       pink | sine[:HZ] | silence, optionally ",left" or ",right" (default pink)
//   --level DB          signal level in dBFS (default -12)
//   --rate HZ           sample rate (default 44100)
//   --frames N          frames to run (default 40)
//   --set NAME=VALUE    a parameter by its exact name or index (repeatable)
//   --grid-fade T       the grid fade timer at the start (default 0: pointer over the area)
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "engine/inst.h"
#include "preview.h"

static int usage(const char* msg) {
  std::fprintf(stderr, "quillmar_editor_preview: %s\n", msg);
  std::fprintf(stderr,
               "usage: quillmar_editor_preview OUT.png [--size 0|1|2] [--signal SPEC] [--level DB] "
               "[--rate HZ] [--frames N] [--set NAME=VALUE]... [--grid-fade T]\n");
  return 2;
}

static bool number(const char* s, double* v) {
  char* end = nullptr;
  *v = std::strtod(s, &end);
  return *s && !*end;
}

int main(int argc, char** argv) {
  if (argc < 2 || argv[1][0] == '-') return usage("the output file comes first");
  const std::string out = argv[1];
  double size = 1, rate = 44100, frames = 40, fade = 0;
  preview_signal_t sig;
  std::vector<std::pair<std::string, double>> sets;
  for (int i = 2; i < argc; ++i) {
    const std::string opt = argv[i];
    if (i + 1 >= argc) return usage(("missing value after " + opt).c_str());
    const char* val = argv[++i];
    bool ok = true;
    if (opt == "--size")
      ok = number(val, &size) && (size == 0 || size == 1 || size == 2);
    else if (opt == "--signal")
      ok = preview_parse_signal(val, &sig);
    else if (opt == "--level")
      ok = number(val, &sig.level);
    else if (opt == "--rate")
      ok = number(val, &rate) && rate >= 8000 && rate <= 384000;
    else if (opt == "--frames")
      ok = number(val, &frames) && frames >= 1 && frames <= 100000;
    else if (opt == "--grid-fade")
      ok = number(val, &fade) && fade >= 0;
    else if (opt == "--set") {
      const std::string s = val;
      const size_t eq = s.rfind('=');
      double v;
      ok = eq != std::string::npos && number(s.c_str() + eq + 1, &v);
      if (ok) sets.emplace_back(s.substr(0, eq), v);
    } else
      return usage(("unknown option " + opt).c_str());
    if (!ok) return usage(("bad value for " + opt + ": " + val).c_str());
  }

  preview_scratch_config();
  PreviewPlug plug = preview_make(static_cast<int>(size), rate);
  if (!plug) return usage("no instance could be made");
  for (const auto& s : sets)
    if (!preview_set(plug.get(), s.first, s.second)) return usage(("unknown parameter " + s.first).c_str());
  plug->Inst()->grid_fade = fade;
  preview_run(plug.get(), &sig, static_cast<int>(frames));
  std::string error;
  if (!preview_write_png(plug->Inst(), out, &error)) {
    std::fprintf(stderr, "quillmar_editor_preview: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
