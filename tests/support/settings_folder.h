// Every test program has a settings folder of its own: made in /tmp and set as
// QUILLMAR_CONFIG_DIR before the first instance reads it, emptied before each test, removed
// when the program ends. So no test reads or writes the user's real settings, and none
// depends on what another test left there.
#pragma once
#include <string>

const std::string& test_settings_folder();
