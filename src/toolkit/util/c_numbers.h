// Numbers in files and in the editor's texts are written and read with a decimal point,
// whatever locale the host process set: a GTK host sets the user's, where "1.5" reads as 1
// and 64.3 prints as "64,3".
#pragma once

// The C locale's numbers on this thread while it lives, then the thread's own again.
struct c_numeric_scope_t {
  c_numeric_scope_t();
  ~c_numeric_scope_t();
  c_numeric_scope_t(const c_numeric_scope_t&) = delete;
  c_numeric_scope_t& operator=(const c_numeric_scope_t&) = delete;
  void* previous;  // the thread's locale before (a locale_t)
};

// strtod with a decimal point.
double c_strtod(const char* text, char** end);
