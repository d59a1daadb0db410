// A host of our own that loads the bundle's shared object with dlopen, as real hosts do, and
// puts eight instances through their life: run, save, restore into a neighbour, run again,
// open and close the editor's UI in a window of its own (on a private Xvfb) many times, clean
// up. Built with the sanitizers it checks the plug-in's memory handling in a host.
// Prints what failed and exits 1; exits 0 when all went well.
#include <dlfcn.h>
#include <stdlib.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include "../lv2_harness.h"
#include "support/xvfb.h"

// Last: Xlib's macros would clash with the names above.
#include <X11/Xlib.h>

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

// The host's window that the UI is embedded in.
Window host_window(Display* x) {
  Window w = XCreateSimpleWindow(x, DefaultRootWindow(x), 0, 0, 1300, 700, 0, 0, 0);
  XMapWindow(x, w);
  XSync(x, False);
  return w;
}

// Idle calls, as a host makes them, until the UI says it is gone (or 20 s have passed).
bool idle_until_closed(lv2_ui_t& ui) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < end) {
    if (ui.idle()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

// Opens and closes each instance's UI, the first one many times, idling it meanwhile; then
// one that shows a window of its own; then one whose host window goes away first.
void open_and_close_uis(lv2ui_descriptor_fn ui_entry, std::vector<std::unique_ptr<lv2_host_t>>& hosts) {
  xvfb_t server;
  check(server.ok(), "no Xvfb for the editor's window: run make deps", -1);
  if (!server.ok()) return;
  setenv("DISPLAY", server.display().c_str(), 1);
  Display* x = XOpenDisplay(nullptr);
  check(x != nullptr, "cannot connect to the Xvfb", -1);
  if (!x) return;
  const Window parent = host_window(x);
  for (size_t k = 0; k < hosts.size(); ++k) {
    for (int round = 0; round < (k == 0 ? 25 : 2); ++round) {
      lv2_ui_t ui(ui_entry, *hosts[k], parent);
      check(ui.ok() && ui.widget, "the UI did not open in the host's window", int(k));
      if (!ui.ok()) return;
      ui.port_event(5, -6.0f - round);
      hosts[k]->run(256);
      for (int i = 0; i < 3; ++i) check(ui.idle() == 0, "the UI closed by itself", int(k));
    }
  }
  // Without a host window the UI shows a window of its own when asked, as often as asked.
  {
    lv2_ui_t ui(ui_entry, *hosts[1]);
    check(ui.ok() && !ui.widget, "the UI without a parent did not start hidden", 1);
    for (int round = 0; ui.ok() && round < 3; ++round) {
      check(ui.show() == 0 && ui.idle() == 0, "the UI's own window did not show", 1);
      check(ui.hide() == 0 && ui.idle() == 0, "the UI's own window did not hide", 1);
    }
    if (ui.ok()) ui.show();  // cleaned up while shown
  }
  Window gone = host_window(x);
  {
    lv2_ui_t ui(ui_entry, *hosts[0], gone);
    check(ui.ok(), "the UI did not open", 0);
    XDestroyWindow(x, gone);
    XSync(x, False);
    check(ui.ok() && idle_until_closed(ui), "the UI did not notice its window went away", 0);
  }
  XDestroyWindow(x, parent);
  XCloseDisplay(x);
}

}  // namespace

int main() {
  void* so = dlopen(QUILLMAR_LV2_SO, RTLD_NOW | RTLD_LOCAL);
  if (!so) {
    std::fprintf(stderr, "lv2_dlopen_host: %s\n", dlerror());
    return 1;
  }
  auto entry = reinterpret_cast<lv2_descriptor_fn>(dlsym(so, "lv2_descriptor"));
  auto ui_entry = reinterpret_cast<lv2ui_descriptor_fn>(dlsym(so, "lv2ui_descriptor"));
  if (!entry || !ui_entry) {
    std::fprintf(stderr, "lv2_dlopen_host: no lv2_descriptor or lv2ui_descriptor in %s\n",
                 QUILLMAR_LV2_SO);
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
  }
  open_and_close_uis(ui_entry, hosts);
  for (auto& h : hosts) h->deactivate();
  hosts.clear();
  dlclose(so);
  return g_failures ? 1 : 0;
}
