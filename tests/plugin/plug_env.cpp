#include "plug_env.h"

#include "support/settings_folder.h"

const std::string& test_config_dir() { return test_settings_folder(); }
