// The program's commands; each takes the arguments after its name and returns the exit status.
#pragma once
#include "hosts/cli/audio_file.h"

int cmd_info(int argc, char** argv);
int cmd_response(int argc, char** argv);
int cmd_demo(int argc, char** argv);
int cmd_gui(int argc, char** argv);

// The demo's test signal, stereo, 10 s at 44100 Hz: pink noise (a sum of octave-spaced held
// random values), with a slow logarithmic sine sweep over it when with_sweep.
audio_t demo_signal(bool with_sweep);
