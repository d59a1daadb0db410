// What the commands that show the editor in a window of its own (gui, live) share. Main thread.
#pragma once
#include <string>

#include "hosts/cli/session.h"

class IGraphicsX11;

// Checks the display, remembers the interface size (size >= 0), makes the instance with the
// settings and its editor, and checks the skin. 0 with *plug set, or the status after
// reporting the failure in one line.
int make_editor_session(const settings_t& settings, int size, plug_ptr* plug);
// Opens the instance's editor in a window of its own. 0 with *window set, or the status after
// reporting the failure.
int open_editor_window(Quillmar* plug, IGraphicsX11** window);

// Why the state could not be written to file at the end (its folder missing or not writable,
// or the file a folder), or "": checked before anything is shown or run.
std::string save_state_problem(const std::string& file);

// Writes the state at the end, an edit the audio path has not taken up yet included. 0, or the
// status after reporting the failure.
int write_state_at_end(Quillmar* plug, const std::string& file);
