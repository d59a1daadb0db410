// Editor pictures without a window: an instance's headless graphics context ticked as the
// editor's timer would tick it, with audio going through the plug-in as a host playing would
// feed it. Shared by the `snapshot` and `demo` commands, the editor preview tool and the
// editor's tests.
#pragma once
#include <string>

#include "hosts/cli/audio_file.h"

class Quillmar;

// Points the settings folder at a fresh temporary folder of this process (removed at exit),
// so that the instances made afterwards never read or write the user's preferences. Call it
// before the first instance: the first one fixes the folder for the process. False, with one
// line, when the folder cannot be made (the user's folder is then never used instead).
bool use_scratch_settings_folder(std::string* error);

// One tick of the instance's graphics context: the frame drawn as the timer draws it.
void editor_tick(Quillmar* plug);

// `frames` ticks, each after one timer period (1/60 s) of `in` (looped, from its start) has
// gone through the plug-in in host calls of 128 frames; the plug-in is first prepared as a
// host does.
void run_editor_frames(Quillmar* plug, const audio_t& in, int frames);

// The editor's draw bitmap as PNG (through a temporary file renamed into place).
bool write_editor_png(Quillmar* plug, const std::string& path, std::string* error);
