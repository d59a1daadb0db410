// Where the per-user settings live: $QUILLMAR_CONFIG_DIR when set, else on Linux
// $XDG_CONFIG_HOME/Quillmar/ (default ~/.config/Quillmar/), on macOS
// ~/Library/Application Support/Quillmar/. The folder is made (mode 0700) when missing.
#pragma once
#include <string>

// Full path of a file in the settings folder; empty when no folder can be resolved.
std::string make_settings_path(const char* file_name);

// The process-wide paths of the preferences and layout files, made by the first instance.
const std::string& path_prefs();
const std::string& path_layout();
void make_settings_paths();
