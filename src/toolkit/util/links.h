// Symbolic links, for writers that replace a file by renaming a new one over it: the new file
// must go where the link points, or the link itself is what gets replaced.
#pragma once
#include <string>

// The file `path` finally names, its symbolic links followed (also to a target that does not
// exist yet). False with errno set when a link cannot be read or they loop (ELOOP).
bool link_target(const std::string& path, std::string* target);
