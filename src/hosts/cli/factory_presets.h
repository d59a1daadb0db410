// The factory presets as the command line finds them: the presets folder of the resources
// (plugin/presets.h), looked up as the skin is.
#pragma once
#include <string>
#include <vector>

#include "hosts/cli/options.h"
#include "hosts/cli/session.h"
#include "plugin/presets.h"

// Every factory preset, and the folder they are in. False, with the reason, when there is
// no presets folder or a file in it is not a preset.
bool load_factory_presets(std::vector<preset_t>* out, std::string* folder, cli_error* err);

// A preset by its name, compared without regard to case, spaces or punctuation ("Low cut
// 80 Hz", "low-cut-80-hz"). An unknown name is a usage error (status 2) listing the names.
bool find_factory_preset(const std::string& name, preset_t* out, cli_error* err);
