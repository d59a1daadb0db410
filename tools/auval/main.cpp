// quillmar_auval --bundle X.component [--cli QUILLMAR]: loads the bundle as macOS does (its
// Info.plist, its executable, the factory function the plist names) and runs every phase on
// instances made through the AudioComponent API, which calls the unit through its plug-in
// interface's Open, Lookup and Close.
// quillmar_auval [EXECUTABLE] [--cli QUILLMAR]: the same phases through the Component Manager
// entry of the bundle's executable (or of the given one), as older hosts open the unit.
// One PASS or FAIL line per phase; exit 1 when any phase fails, 2 when nothing could be loaded.
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
  bool bundle_only;
};

const phase_def_t kPhases[] = {
    {"bundle", phase_bundle, true},
    {"open and close", phase_open_close, false},
    {"default formats", phase_default_formats, false},
    {"properties", phase_properties, false},
    {"parameters", phase_parameters, false},
    {"channel configurations", phase_channels, false},
    {"initialisation and format changes", phase_initialisation, false},
    {"rendering", phase_rendering, false},
    {"input buffer sizes", phase_input_buffers, false},
    {"input by callback and connection", phase_inputs, false},
    {"parameter scheduling", phase_scheduling, false},
    {"host callbacks", phase_host_callbacks, false},
    {"render and parameters from two threads", phase_two_threads, false},
    {"bypass", phase_bypass, false},
    {"ClassInfo", phase_class_info, false},
    {"listeners", phase_listeners, false},
    {"bad input", phase_bad_input, false},
    {"no leaks", phase_leaks, false},
};

}  // namespace

int main(int argc, char** argv) {
  g.plugin_path = QUILLMAR_AU_COMPONENT;
  g.cli_path = QUILLMAR_CLI;
  std::string bundle;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--cli") && i + 1 < argc) g.cli_path = argv[++i];
    else if (!std::strcmp(argv[i], "--bundle") && i + 1 < argc) bundle = argv[++i];
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

  void* lib = nullptr;
  if (!bundle.empty()) {
    std::string err;
    if (!load_au_bundle(bundle, "aufx", "Qmrl", "Mrwd", &g.bundle, &err)) {
      std::fprintf(stderr, "quillmar_auval: %s: %s\n", bundle.c_str(), err.c_str());
      return 2;
    }
    g.by_bundle = true;
    g.plugin_path = g.bundle.executable;
    lib = g.bundle.library;
  } else {
    lib = dlopen(g.plugin_path.c_str(), RTLD_NOW | RTLD_LOCAL);
  }
  // The Component Manager entry and the Carbon view's, as a host finds them in the code.
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

  if (g.by_bundle)
    std::printf("quillmar_auval: %s through %s (AudioComponent API)\n", bundle.c_str(),
                g.bundle.factory_name.c_str());
  else
    std::printf("quillmar_auval: %s through Quillmar_Entry (Component Manager)\n",
                g.plugin_path.c_str());
  int failed = 0, run = 0;
  for (const phase_def_t& p : kPhases) {
    if (p.bundle_only && !g.by_bundle) continue;
    check_t c;
    p.run(c);
    ++run;
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
  std::printf("%s: %d of %d phases failed\n", failed ? "FAIL" : "PASS", failed, run);
  return failed ? 1 : 0;
}
