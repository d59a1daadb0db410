// The program's commands; each takes its own table entry (command_table.cpp) and the
// arguments after its name, and returns the exit status (HELP_SHOWN after printing its help).
#pragma once
#include "hosts/cli/audio_file.h"
#include "hosts/cli/options.h"

class Quillmar;

int cmd_render(const command_t& cmd, int argc, char** argv);
int cmd_info(const command_t& cmd, int argc, char** argv);
int cmd_response(const command_t& cmd, int argc, char** argv);
int cmd_presets(const command_t& cmd, int argc, char** argv);
int cmd_snapshot(const command_t& cmd, int argc, char** argv);
int cmd_gui(const command_t& cmd, int argc, char** argv);
int cmd_live(const command_t& cmd, int argc, char** argv);
int cmd_demo(const command_t& cmd, int argc, char** argv);

// The demo's test signal, stereo, 10 s at 44100 Hz: pink noise (a sum of octave-spaced held
// random values), with a slow logarithmic sine sweep over it when with_sweep.
audio_t demo_signal(bool with_sweep);

// The program's first check of a command that draws the editor: after its instance is made,
// the skin is loaded (an editor otherwise loads it for its first frame), and a skin that
// could not be loaded (the resources not found) ends the command, since the editor would
// draw no text. Returns 0, or the status after reporting it.
int refuse_without_skin(Quillmar* plug);
