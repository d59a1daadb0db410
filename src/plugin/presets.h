// Factory presets: state files (the 29 parameter values as a 232-byte state chunk), one a
// preset, named after it: "Low cut 80 Hz.state". They are kept once, in resources/presets/;
// the command line offers them by name and the LV2 bundle's presets are made from them when
// it is built. The plug-in's own preset list stays empty.
//
// A preset sets the curve, parameters 0 .. PRESET_PARAMS - 1: the bands, Transpose, Overall
// Gain and Gain Scale. The settings that belong to the user rather than to a sound
// (resolution, delay, limiter, colours, size, view) stay as they are.
#pragma once
#include <string>
#include <vector>

#include "engine/params.h"

enum { PRESET_PARAMS = PARAM_GAIN_SCALE + 1 };

#define PRESET_SUFFIX ".state"

struct preset_t {
  std::string name;
  double values[PARAM_COUNT];
};

// Every preset in a folder (files ending in PRESET_SUFFIX), sorted by name. False, with one
// line naming the file at fault and an empty list, when the folder cannot be read or a file is
// not a state of finite values.
bool read_presets(const std::string& folder, std::vector<preset_t>* out, std::string* error);

// "Low cut 80 Hz" -> "low-cut-80-hz": letters and digits in lower case, each run of anything
// else one hyphen. Names a preset in URIs, and on the command line without quotes.
std::string preset_slug(const std::string& name);
