#include "framework/x11/x11_errors.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace {

std::mutex g_mutex;
std::vector<Display*> g_displays;
XErrorHandler g_previous = nullptr;
XIOErrorHandler g_previous_io = nullptr;
thread_local int t_error = 0;

bool ours(Display* d) { return std::find(g_displays.begin(), g_displays.end(), d) != g_displays.end(); }

int on_error(Display* d, XErrorEvent* e) {
  XErrorHandler previous;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (ours(d)) {
      if (!t_error) t_error = e->error_code;
      return 0;
    }
    previous = g_previous;
  }
  return previous ? previous(d, e) : 0;
}

// A lost connection of ours returns, so that Xlib goes on to the connection's exit handler
// (which closes the window) instead of ending the process; anyone else's goes on as before.
int on_io_error(Display* d) {
  XIOErrorHandler previous;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (ours(d)) return 0;
    previous = g_previous_io;
  }
  return previous ? previous(d) : 0;
}

}  // namespace

void x11_own_display(Display* d) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_displays.push_back(d);
  // Installed again if someone replaced it since; whatever was there is chained.
  XErrorHandler current = XSetErrorHandler(on_error);
  if (current != on_error) g_previous = current;
  XIOErrorHandler current_io = XSetIOErrorHandler(on_io_error);
  if (current_io != on_io_error) g_previous_io = current_io;
}

void x11_forget_display(Display* d) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_displays.erase(std::remove(g_displays.begin(), g_displays.end(), d), g_displays.end());
}

int x11_trap_errors(Display* d, const std::function<void()>& f) {
  XSync(d, False);  // errors of earlier requests are not f's
  t_error = 0;
  f();
  XSync(d, False);
  return t_error;
}
