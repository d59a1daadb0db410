// A host of our own that loads the bundle's shared object with dlopen, as real hosts do, and
// puts eight instances through their life: run, save, restore into a neighbour, run again,
// clean up. Built with the sanitizers it checks the plug-in's memory handling in a host.
// Prints what failed and exits 1; exits 0 when all went well.
#include <dlfcn.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

#include "../lv2_harness.h"

namespace {

int g_failures = 0;

void check(bool ok, const char* what, int instance) {
  if (ok) return;
  std::fprintf(stderr, "lv2_dlopen_host: instance %d: %s\n", instance, what);
  ++g_failures;
}

void feed(lv2_host_t& h, int frames, int round) {
  for (int c = 0; c < h.channels(); ++c)
    for (int i = 0; i < frames; ++i)
      h.in[c][i] = static_cast<float>(0.5 * std::sin(0.01 * (i + round * frames) * (c + 1)));
}

}  // namespace

int main() {
  void* so = dlopen(QUILLMAR_LV2_SO, RTLD_NOW | RTLD_LOCAL);
  if (!so) {
    std::fprintf(stderr, "lv2_dlopen_host: %s\n", dlerror());
    return 1;
  }
  auto entry = reinterpret_cast<lv2_descriptor_fn>(dlsym(so, "lv2_descriptor"));
  if (!entry) {
    std::fprintf(stderr, "lv2_dlopen_host: no lv2_descriptor in %s\n", QUILLMAR_LV2_SO);
    return 1;
  }
  const int kInstances = 8, kFrames = 1024;
  std::vector<std::unique_ptr<lv2_host_t>> hosts;
  for (int k = 0; k < kInstances; ++k) {
    hosts.push_back(std::make_unique<lv2_host_t>(entry, k % 2, 44100.0 + 1000 * k));
    lv2_host_t& h = *hosts.back();
    check(h.ok(), "instantiate failed", k);
    if (!h.ok()) return 1;
    h.connect_all(kFrames);
    h.control[5] = static_cast<float>(-3 * k);  // band B gain
    h.control[23] = 1.0f + 0.5f * k;            // resolution
    h.activate();
  }
  for (int round = 0; round < 6; ++round) {
    for (auto& h : hosts) {
      feed(*h, kFrames, round);
      h->run(round == 3 ? 0 : kFrames - 7 * round);
    }
  }
  std::vector<std::vector<uint8_t>> chunks;
  for (int k = 0; k < kInstances; ++k) {
    chunks.push_back(hosts[k]->chunk());
    check(chunks.back().size() == 232, "saved state is not 232 bytes", k);
  }
  for (int k = 0; k < kInstances; ++k) {
    lv2_host_t& h = *hosts[k];
    const std::vector<uint8_t>& from = chunks[(k + 1) % kInstances];
    check(h.restore({h.chunk_entry(from)}) == LV2_STATE_SUCCESS, "restore failed", k);
    h.ports_from_chunk(from);
    feed(h, kFrames, 7);
    h.run(kFrames);
    check(h.chunk() == from, "restored state differs from the saved one", k);
    for (int c = 0; c < h.channels(); ++c)
      for (float v : h.out[c]) check(std::isfinite(v), "output is not finite", k);
    h.deactivate();
  }
  hosts.clear();
  dlclose(so);
  return g_failures ? 1 : 0;
}
