// The editor as a real window shows it, against the frame an instance of the test's own draws:
// for tests of windows on a private X server (the program's, or a plug-in host's). Needs the
// command-line host's library (qm_cli) and Xlib.
#pragma once
#include <algorithm>
#include <cstdlib>
#include <string>

#include "framework/IGraphics.h"
#include "framework/bitmap/RasterBitmap.h"
#include "hosts/cli/session.h"
#include "hosts/cli/snapshot.h"
#include "plugin/Quillmar.h"

// Last: Xlib's macros (None, Bool) would clash with the names above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

// An instance with the given settings folder and rate, the pointer resting at (x, y), after
// 30 frames: the frame a window of the same settings should show, and where it draws what.
inline plug_ptr same_editor(const std::string& config, int x, int y, double rate = 0) {
  setenv("QUILLMAR_CONFIG_DIR", config.c_str(), 1);
  cli_error err;
  settings_t settings;
  settings.rate = rate;
  plug_ptr plug = make_session(settings, &err);
  if (!plug) return plug;
  plug->GetGUI()->PlatformMouseMove(x, y, IMouseMod(true), false);
  for (int i = 0; i < 30; ++i) editor_tick(plug.get());
  return plug;
}

// What the window shows, read back from the server; empty when it cannot be read.
inline RasterBitmap window_pixels(Display* x, Window w) {
  RasterBitmap got;
  XWindowAttributes a{};
  if (!XGetWindowAttributes(x, w, &a)) return got;
  XImage* img = XGetImage(x, w, 0, 0, a.width, a.height, AllPlanes, ZPixmap);
  if (!img) return got;
  got.Resize(a.width, a.height);
  for (int yy = 0; yy < a.height; ++yy)
    for (int xx = 0; xx < a.width; ++xx) {
      const unsigned long p = XGetPixel(img, xx, yy);
      srgb_t& s = got.Pixels()[yy * a.width + xx];
      s.a = 255;
      s.r = (p >> 16) & 255;
      s.g = (p >> 8) & 255;
      s.b = p & 255;
    }
  XDestroyImage(img);
  return got;
}

// How many pixels differ from the frame by more than the screen's dither in some channel; -1
// when the sizes differ.
inline int pixels_unlike(const RasterBitmap& got, const RasterBitmap& want) {
  if (got.Width() != want.Width() || got.Height() != want.Height()) return -1;
  int far = 0;
  for (int i = 0; i < got.Width() * got.Height(); ++i) {
    const srgb_t a = got.Pixels()[i], b = want.Pixels()[i];
    far += std::max({std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)}) > 3;
  }
  return far;
}
