// The temporary files and folders the command line makes, removed when it ends normally (by
// their owners) and also when a signal (Ctrl-C, SIGTERM, SIGHUP, a closed pipe) ends it.
// Main thread only; the signal handler only unlinks and then dies of the signal as before.
#pragma once
#include <string>

// mkstemp on the template, the file closed and registered; empty with errno set on failure.
std::string make_temp_file(std::string tmpl);
// mkdtemp on the template, registered; empty with errno set on failure. The signal handler
// removes the files in it and the folder (its owner removes it on a normal end).
std::string make_temp_folder(std::string tmpl);
// A file another part will make and remove (a writer's own temporary name), to be removed
// should a signal come first.
void remember_temp(const std::string& path);
// The path no longer needs removing (renamed into place, or removed by its owner).
void forget_temp(const std::string& path);
// Installs the handler for SIGINT, SIGTERM, SIGHUP and SIGPIPE where their action is the
// default one; a command that catches one itself (the window's clean stop) overrides it.
void remove_temps_on_signals();
