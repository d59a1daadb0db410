#include "framework/IHost.h"

#include <cctype>
#include <cstring>

namespace {

struct KnownHost {
  const char* part;  // lower case
  EHost host;
};

// Longer, more specific names first: "garageband" before anything that might contain it.
const KnownHost kKnownHosts[] = {
    {"garageband", kHostGarageBand}, {"logic", kHostLogic},   {"reaper", kHostReaper},
    {"ableton", kHostAbletonLive},   {"ardour", kHostArdour}, {"auval", kHostAuval},
    {"quillmar", kHostQuillmar},
};

bool ContainsNoCase(const char* text, const char* part) {
  const size_t n = std::strlen(part);
  for (; *text; ++text) {
    size_t i = 0;
    while (i < n && text[i] &&
           std::tolower(static_cast<unsigned char>(text[i])) == static_cast<unsigned char>(part[i]))
      ++i;
    if (i == n) return true;
  }
  return false;
}

}  // namespace

EHost LookUpHost(const char* name) {
  if (!name) return kHostUnknown;
  for (const KnownHost& known : kKnownHosts)
    if (ContainsNoCase(name, known.part)) return known.host;
  return kHostUnknown;
}
