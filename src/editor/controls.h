// The editor's controls and the parameters its knobs turn. Control 0 is the editor itself;
// control k (1..16) is the knob of layout slot k.
#pragma once

struct inst_t;

enum {
  CTRL_EDITOR = 0,
  CTRL_BAND_GAIN = 1, CTRL_BAND_FREQ = 2, CTRL_BAND_SLOPE = 3,
  CTRL_COLOUR = 4, CTRL_COLOUR_GAIN = 5, CTRL_GAMMA = 6,
  CTRL_TRANSPOSE = 7, CTRL_OVERALL_GAIN = 8, CTRL_GAIN_SCALE = 9,
  CTRL_RESOLUTION = 10, CTRL_INPUT_BUFFER = 11, CTRL_LIMITER = 12, CTRL_VERT_RANGE = 13,
  CTRL_HOR_ZOOM = 14, CTRL_HOR_POSITION = 15, CTRL_INTERFACE_SIZE = 16,
  CTRL_COUNT = 17,
  KNOB_SIZE = 60,          // pixels: the square a knob takes the mouse in
};

constexpr double KNOB_GEARING = 4.0;
// The gain knob's default: 0 dB on the gain parameter's range.
constexpr double GAIN_KNOB_DEFAULT = 0.5337484150845695;
// The slope knob's default: 0 dB per octave.
constexpr double SLOPE_KNOB_DEFAULT = 0.5;

// The name the editor gives a value of "Colour" ("RGB", "CMY", "Stereo") or "Interface Size"
// ("780", "1060", "1220": the editor widths); null for other parameters and values.
const char* knob_caption(int param, int value);

// The parameter the knob of a slot turns; slots 1..3 follow the selected band.
int knob_param(int sel_band, int slot);

// Builds the editor's 17 controls into the instance's graphics context and attaches the
// context to its plug-in (which shows every parameter on them).
void attach_editor_controls(inst_t* inst);

// Points knobs 1..3 at band b's parameters and sets their defaults (the values a
// double-click returns to), the frequency knob's from the band's freq_knob.
void bind_band_knobs(inst_t* inst, int b);

// Gives knobs 1..3 (the selected band's) and 7..9 (Transpose, Overall Gain, Gain Scale) their
// parameters' values: as values the user made (the host is told of those that change) or as
// values the plug-in shows.
void sync_band_knobs(inst_t* inst, bool as_user_input);
