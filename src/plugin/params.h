// The plug-in's 29 parameters, in index order.
#pragma once
#include <string>

class IPluginBase;

// Initialises every parameter of a freshly constructed plug-in base.
void init_params(IPluginBase* plug);

// The host name of a parameter ("Band A gain"), or null outside 0..28.
const char* param_name(int index);
// The name the editor gives a value of "Colour" ("RGB", "CMY", "Stereo") or "Interface Size"
// ("780", "1060", "1220"); null for other parameters and values.
const char* param_value_name(int index, int value);
// The index of a parameter by its exact name, or -1.
int param_index(const char* name);
// The letters and digits of a text in lower case, each run of anything else one separator:
// identifier("Band A gain", '_') is "band_a_gain", identifier("Low cut 80 Hz", '-') is
// "low-cut-80-hz".
std::string identifier(const std::string& text, char separator);
// The LV2 port symbol of a parameter ("band_b_gain", "vert_range"), or null outside 0..28.
const char* param_symbol(int index);
// The index of a parameter by its port symbol, or -1.
int param_index_by_symbol(const char* symbol);
