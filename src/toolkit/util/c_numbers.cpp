#include "toolkit/util/c_numbers.h"

#include <locale.h>

#include <cstdlib>
#if defined(__APPLE__)
#include <xlocale.h>
#endif

namespace {

// Made once and kept for the process's life: uselocale needs it as long as any thread uses it.
locale_t c_locale() {
  static const locale_t c = newlocale(LC_NUMERIC_MASK, "C", static_cast<locale_t>(nullptr));
  return c;
}

}  // namespace

c_numeric_scope_t::c_numeric_scope_t() : previous(c_locale() ? uselocale(c_locale()) : nullptr) {}

c_numeric_scope_t::~c_numeric_scope_t() {
  if (previous) uselocale(static_cast<locale_t>(previous));
}

double c_strtod(const char* text, char** end) {
  c_numeric_scope_t scope;
  return std::strtod(text, end);
}
