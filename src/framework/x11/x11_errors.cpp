#include "framework/x11/x11_errors.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace {

std::mutex g_mutex;
std::vector<Display*> g_displays;
XErrorHandler g_previous = nullptr;
thread_local int t_error = 0;

int on_error(Display* d, XErrorEvent* e) {
  XErrorHandler previous;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (std::find(g_displays.begin(), g_displays.end(), d) != g_displays.end()) {
      if (!t_error) t_error = e->error_code;
      return 0;
    }
    previous = g_previous;
  }
  return previous ? previous(d, e) : 0;
}

}  // namespace

void x11_own_display(Display* d) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_displays.push_back(d);
  // Installed again if someone replaced it since; whatever was there is chained.
  XErrorHandler current = XSetErrorHandler(on_error);
  if (current != on_error) g_previous = current;
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
