// Editor previews without a graphics context: an instance of a chosen interface size, test
// signals fed through its audio path at the editor's frame rate, frames drawn as the editor
// draws them, and the result written as PNG. Shared by the preview tool, the editor's tests
// and its benchmark.
#pragma once
#include <memory>
#include <string>

#include "plugin/Quillmar.h"

struct inst_t;

struct PreviewPlugDeleter {
  void operator()(Quillmar* p) const { delete p; }
};
using PreviewPlug = std::unique_ptr<Quillmar, PreviewPlugDeleter>;

// What goes into the audio path: pink noise or a sine, in the left, right or both channels.
struct preview_signal_t {
  enum kind_t { SILENCE, PINK, SINE } kind = PINK;
  enum place_t { BOTH, LEFT, RIGHT } place = BOTH;
  double freq = 1000;    // Hz, for the sine
  double level = -12;    // dBFS: the sine's peak, the noise's RMS
  // Generator state.
  uint32_t seed = 12345;
  double phase = 0;
  double rows[16] = {};
  uint32_t counter = 0;
};

// Parses "pink", "sine", "sine:440", "silence", optionally followed by ",left" / ",right".
bool preview_parse_signal(const std::string& spec, preview_signal_t* sig);

// A new instance of interface size 0, 1 or 2 at the sample rate, stereo in and out. The size
// reaches it as it reaches any instance: through the preferences file, written by a
// throwaway instance (so the settings folder must be a scratch one; see preview_scratch_config).
PreviewPlug preview_make(int size, double samplerate = 44100);

// Points the settings folder at a fresh temporary folder (removed at exit) unless
// QUILLMAR_CONFIG_DIR is already set.
void preview_scratch_config();

// Sets a parameter by its exact name or its index, as a host would. False if unknown.
bool preview_set(Quillmar* plug, const std::string& name, double value);

// One tick of the instance's graphics context: the frame drawn as the editor's timer draws it.
void preview_frame(Quillmar* plug);

// Runs `frames` editor frames, feeding 1/60 s of the signal before each (no audio for SILENCE
// with feed false: the host stopped).
void preview_run(Quillmar* plug, preview_signal_t* sig, int frames, bool feed = true);

// Writes the last frame's picture (fb, converted without dither) as PNG.
bool preview_write_png(const inst_t* inst, const std::string& path, std::string* error);
