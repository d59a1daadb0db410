// Resident memory of plug-in instances: one after construction, a render at the defaults
// and a second of editor frames (the editor open, at the default size); a second instance
// with its editor closed; then ten side by side, each drawn. Prints the figures; arguments
// are ignored.
#include <stdlib.h>

#include <cstdio>
#include <vector>

#include "host_calls.h"
#include "support/resident.h"

static void render_ten_seconds(Quillmar* p) {
  host_start(p);
  host_calls(p, 44100 * 10 / 128);
}

int main() {
  setenv("QUILLMAR_CONFIG_DIR", "/tmp/quillmar-bench-config", 1);
  const double base = resident_mb();
  std::vector<Quillmar*> plugs;
  plugs.push_back(MakePlug());
  const double constructed = resident_mb();
  render_ten_seconds(plugs[0]);
  const double one = resident_mb();
  for (int k = 0; k < 60; ++k) host_frame(plugs[0]);
  const double drawn = resident_mb();
  plugs.push_back(MakePlug());
  render_ten_seconds(plugs.back());
  const double second = resident_mb();
  for (int k = 0; k < 60; ++k) host_frame(plugs.back());
  for (int i = 2; i < 10; ++i) {
    plugs.push_back(MakePlug());
    render_ten_seconds(plugs.back());
    for (int k = 0; k < 60; ++k) host_frame(plugs.back());
  }
  const double ten = resident_mb();
  std::printf("process before any instance:       %.1f MB resident\n", base);
  std::printf("one instance, constructed:         %.1f MB\n", constructed - base);
  std::printf("one instance, after a render:      %.1f MB\n", one - base);
  std::printf("  and a second of editor frames:   %.1f MB\n", drawn - base);
  std::printf("a second instance, rendered, editor closed: %.1f MB\n", second - drawn);
  std::printf("ten instances, rendered and drawn: %.1f MB (%.1f MB each)\n", ten - base,
              (ten - base) / 10);
  for (Quillmar* p : plugs) delete p;
  return 0;
}
