#include "hosts/cli/factory_presets.h"

#include <cstdio>

#include "framework/bitmap/resources.h"
#include "hosts/cli/commands.h"

bool load_factory_presets(std::vector<preset_t>* out, std::string* folder, cli_error* err) {
  *folder = resource_path("presets");
  if (folder->empty()) {
    std::string looked;
    for (const std::string& f : resource_folders()) looked += (looked.empty() ? "" : ", ") + f;
    *err = {"no factory presets: none of the resource folders (" + looked + ") holds presets/", 1};
    return false;
  }
  std::string msg;
  if (!read_presets(*folder, out, &msg)) {
    *err = {msg, 1};
    return false;
  }
  return true;
}

bool find_factory_preset(const std::string& name, preset_t* out, cli_error* err) {
  std::vector<preset_t> presets;
  std::string folder;
  if (!load_factory_presets(&presets, &folder, err)) return false;
  std::string names;
  for (const preset_t& p : presets) {
    if (preset_slug(p.name) == preset_slug(name) && !preset_slug(name).empty()) {
      *out = p;
      return true;
    }
    names += (names.empty() ? "" : ", ") + p.name;
  }
  *err = {"--preset " + name + ": no factory preset is called so (there are " + names + ")", 2};
  return false;
}

int cmd_presets(const command_t& cmd, int argc, char** argv) {
  parsed_args_t args;
  if (const int status = parse_args(cmd, argc, argv, &args)) return status;
  std::vector<preset_t> presets;
  std::string folder;
  cli_error err;
  if (!load_factory_presets(&presets, &folder, &err)) return fail(err.message, err.status);
  for (const preset_t& p : presets) std::printf("%s\n", p.name.c_str());
  return 0;
}
