// Running audio through the plug-in exactly as a host does.
#pragma once
#include "hosts/cli/audio_file.h"
#include "hosts/cli/automate.h"
#include "hosts/cli/options.h"
#include "hosts/cli/session.h"

// The host's side of one stream through the plug-in: sample rate, block size, Reset and the
// channel connections for mono or stereo, then host calls of 32-bit float buffers through
// the processing frame.
class host_stream_t {
 public:
  host_stream_t(Quillmar* plug, int samplerate, int channels, int block);
  // One host call of n <= block frames, one buffer per channel. Allocates nothing.
  void call(float* const* in, float* const* out, int n);
  int block() const { return block_; }

 private:
  Quillmar* plug_;
  int channels_, block_;
};

struct render_opts_t {
  int block = 128;          // frames per host call; the last call may be shorter
  bool compensate = false;  // drop the latency and flush the tail: output lines up with input
  bool progress = false;    // a progress bar on standard error
  // Parameter changes at input samples: a host call ends where one is due, and the change is
  // made before the next call. automation_name names the file in warnings.
  std::vector<scheduled_change_t> automation;
  std::string automation_name;
};

// Everything the render command's arguments ask for.
struct render_args_t {
  std::string in_path, out_path, save_state_file, automate_file;
  settings_t settings;
  render_opts_t opts;
  sample_format format = sample_format::same;
};

// Parses the render command's arguments into r (whose defaults stand where an option is not
// given). Returns 0, HELP_SHOWN, or the status of the usage error it reported.
int parse_render_args(int argc, char** argv, render_args_t* r);

// Sample rate, block size, Reset, channel connections for mono or stereo, then 32-bit float
// buffers through the processing frame, call after call. `out` gets the input's rate, channel
// count and format.
void render_audio(Quillmar* plug, const audio_t& in, const render_opts_t& opts, audio_t* out);
