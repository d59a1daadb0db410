// quillmar_auval [COMPONENT.so] [--cli QUILLMAR]: loads the component as a host does (dlopen,
// then its entry points by name), runs every phase, prints one PASS or FAIL line per phase,
// and exits 1 when any phase fails.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "auval.h"

namespace {

Component register_entry(ComponentRoutineUPP entry, const char (&type)[5], const char (&sub)[5],
                         const char (&mfr)[5]) {
  ComponentDescription d = {fourcc(type), fourcc(sub), fourcc(mfr), 0, 0};
  return RegisterComponent(&d, entry, 0, nullptr, nullptr, nullptr);
}

struct phase_def_t {
  const char* name;
  void (*run)(check_t&);
};

const phase_def_t kPhases[] = {
    {"open and close", phase_open_close},
    {"default formats", phase_default_formats},
    {"properties", phase_properties},
    {"parameters", phase_parameters},
    {"channel configurations", phase_channels},
    {"rendering", phase_rendering},
    {"input by callback and connection", phase_inputs},
    {"parameter scheduling", phase_scheduling},
    {"bypass", phase_bypass},
    {"ClassInfo", phase_class_info},
    {"listeners", phase_listeners},
    {"bad input", phase_bad_input},
    {"no leaks", phase_leaks},
};

}  // namespace

int main(int argc, char** argv) {
  g.plugin_path = QUILLMAR_AU_COMPONENT;
  g.cli_path = QUILLMAR_CLI;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--cli") && i + 1 < argc) g.cli_path = argv[++i];
    else g.plugin_path = argv[i];
  }
  char dir[] = "/tmp/quillmar_auval.XXXXXX";
  if (!mkdtemp(dir)) {
    std::perror("quillmar_auval: temporary folder");
    return 2;
  }
  g.temp_dir = dir;
  // The plug-in's settings folder lives with the validator's files, never in the user's home.
  setenv("QUILLMAR_CONFIG_DIR", (g.temp_dir + "/config").c_str(), 1);

  void* lib = dlopen(g.plugin_path.c_str(), RTLD_NOW | RTLD_LOCAL);
  auto entry = lib ? reinterpret_cast<ComponentRoutineUPP>(dlsym(lib, "Quillmar_Entry")) : nullptr;
  auto view = lib ? reinterpret_cast<ComponentRoutineUPP>(dlsym(lib, "Quillmar_ViewEntry")) : nullptr;
  if (!entry || !view) {
    std::fprintf(stderr, "quillmar_auval: %s: %s\n", g.plugin_path.c_str(),
                 lib ? "no Quillmar_Entry or Quillmar_ViewEntry" : dlerror());
    return 2;
  }
  g.entry = entry;
  g.plugin = register_entry(entry, "aufx", "Qmrl", "Mrwd");
  g.view = register_entry(view, "auvw", "Qmrl", "Mrwd");
  g.source_fast = register_entry(&source_entry_fast, "augn", "Srcf", "QmVa");
  g.source_slow = register_entry(&source_entry_slow, "augn", "Srcs", "QmVa");

  std::printf("quillmar_auval: %s\n", g.plugin_path.c_str());
  int failed = 0;
  for (const phase_def_t& p : kPhases) {
    check_t c;
    p.run(c);
    std::printf("%s  %s", c.failures.empty() ? "PASS" : "FAIL", p.name);
    if (!c.note.empty()) std::printf(" (%s)", c.note.c_str());
    std::printf("\n");
    for (size_t i = 0; i < c.failures.size() && i < 8; ++i)
      std::printf("      %s\n", c.failures[i].c_str());
    if (c.failures.size() > 8) std::printf("      ... %zu more\n", c.failures.size() - 8);
    failed += !c.failures.empty();
    std::fflush(stdout);
  }
  // The component stays loaded until the process ends, as hosts keep components loaded.
  const std::string rm = "rm -rf '" + g.temp_dir + "'";
  if (std::system(rm.c_str()) != 0) std::fprintf(stderr, "quillmar_auval: cannot remove %s\n", dir);
  std::printf("%s: %d of %zu phases failed\n", failed ? "FAIL" : "PASS", failed,
              sizeof kPhases / sizeof kPhases[0]);
  return failed ? 1 : 0;
}
