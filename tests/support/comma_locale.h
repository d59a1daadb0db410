// A locale whose numbers have a decimal comma (German), as a GTK host sets for its user:
// made once per process with localedef into a folder of its own.
#pragma once
#include <clocale>
#include <cstdlib>
#include <string>

// Sets the process's numbers to the comma locale; false when it cannot be made.
inline bool use_comma_locale() {
  static const bool made = [] {
    char dir[] = "/tmp/quillmar-locale-XXXXXX";
    if (!mkdtemp(dir)) return false;
    setenv("LOCPATH", dir, 1);
    const std::string cmd = std::string("localedef -i de_DE -f UTF-8 ") + dir + "/de_DE.UTF-8 2>/dev/null";
    return std::system(cmd.c_str()) == 0;
  }();
  return made && std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
}

// Back to the C locale's numbers at the end of a scope.
struct c_locale_after_t {
  ~c_locale_after_t() { std::setlocale(LC_NUMERIC, "C"); }
};
