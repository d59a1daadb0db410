#include "framework/x11/IGraphicsX11.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <poll.h>

#include <bitset>
#include <cstdint>
#include <ctime>

#include "framework/bitmap/RasterBitmap.h"
#include "framework/x11/X11Image.h"
#include "framework/x11/x11_errors.h"

struct IGraphicsX11Window {
  Display* display = nullptr;
  Window window = 0;
  Window parent = 0;  // the host's window, for a child
  bool child = false;
  GC gc = nullptr;
  Atom wmDelete = 0;
  X11Image image;
  bool mapped = false;
  bool gone = false;         // closed by the user, destroyed, or the connection was lost
  bool ioError = false;      // the connection is broken: only closing it is left
  std::bitset<256> passedOn; // keys whose press went to the host, so their release follows
  // A child takes the keyboard focus only while a text field or menu is open, and gives it back
  // to whoever had it then, so that the host's own shortcuts keep working.
  bool focusTaken = false;
  Window focusBefore = 0;
  Time lastTime = CurrentTime;  // of the last event that carried a time
};

namespace {

long long now_ns() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1000000000LL + t.tv_nsec;
}

// A lost connection must not end the process (Xlib's default): the window is just gone.
void on_io_error(Display*, void* win) {
  auto* w = static_cast<IGraphicsX11Window*>(win);
  w->ioError = w->gone = true;
}

// L is set on every mouse event; R is the right button or the Super key.
IMouseMod modifiers(unsigned state, bool rightButton) {
  return IMouseMod(true, rightButton || (state & (Button3Mask | Mod4Mask)), state & ShiftMask, state & ControlMask,
                   state & Mod1Mask);
}

EVirtualKey virtual_key(XKeyEvent* e, char* ch) {
  char buf[8] = {};
  KeySym sym = 0;
  const int n = XLookupString(e, buf, sizeof buf, &sym, nullptr);
  *ch = 0;
  switch (sym) {
    case XK_Return: case XK_KP_Enter: return VK_RETURN;
    case XK_Escape: return VK_ESCAPE;
    case XK_BackSpace: return VK_BACK;
    case XK_Delete: case XK_KP_Delete: return VK_DELETE;
    case XK_Left: case XK_KP_Left: return VK_LEFT;
    case XK_Right: case XK_KP_Right: return VK_RIGHT;
    case XK_Up: case XK_KP_Up: return VK_UP;
    case XK_Down: case XK_KP_Down: return VK_DOWN;
    case XK_Home: case XK_KP_Home: return VK_HOME;
    case XK_End: case XK_KP_End: return VK_END;
    default: break;
  }
  if (n == 1 && buf[0] >= 0x20 && buf[0] < 0x7f) {
    *ch = buf[0];
    return VK_CHAR;
  }
  return VK_OTHER;
}

}  // namespace

IGraphics* MakeGraphicsX11(IPluginBase* pPlug, int w, int h, int fps) { return new IGraphicsX11(pPlug, w, h, fps); }

bool x11_display_available() {
  Display* d = XOpenDisplay(nullptr);
  if (d) XCloseDisplay(d);
  return d != nullptr;
}

IGraphicsX11::IGraphicsX11(IPluginBase* pPlug, int w, int h, int fps) : IGraphicsHeadless(pPlug, w, h, fps) {}

IGraphicsX11::~IGraphicsX11() {
  ForgetMouseCapture();
  CloseWindow();
}

bool IGraphicsX11::WindowIsOpen() const { return mWin && !mWin->gone; }
unsigned long IGraphicsX11::XWindow() const { return WindowIsOpen() ? mWin->window : 0; }
bool IGraphicsX11::IsMapped() const { return WindowIsOpen() && mWin->mapped; }
bool IGraphicsX11::UsesSharedMemory() const { return WindowIsOpen() && mWin->image.Shm(); }

void* IGraphicsX11::OpenWindow(void* pParent) {
  CloseWindow();
  if (!GetDrawBitmap() || GetDrawBitmap()->Empty()) PrepDraw();
  Display* d = XOpenDisplay(nullptr);
  if (!d) return nullptr;
  x11_own_display(d);
  auto win = std::make_unique<IGraphicsX11Window>();
  win->display = d;
  XSetIOErrorExitHandler(d, on_io_error, win.get());
  win->child = pParent != nullptr;
  win->parent = win->child ? static_cast<Window>(reinterpret_cast<uintptr_t>(pParent)) : DefaultRootWindow(d);

  XSetWindowAttributes a{};
  a.background_pixel = BlackPixel(d, DefaultScreen(d));
  a.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask | KeyPressMask |
                 KeyReleaseMask | LeaveWindowMask | StructureNotifyMask;
  // A parent that does not exist (or went away) must give "no window", not end the process.
  Window w = 0;
  XWindowAttributes attrs{};
  const int error = x11_trap_errors(d, [&] {
    w = XCreateWindow(d, win->parent, 0, 0, Width(), Height(), 0, CopyFromParent, InputOutput, CopyFromParent,
                      CWBackPixel | CWEventMask, &a);
    XGetWindowAttributes(d, w, &attrs);
  });
  if (error || !attrs.visual) {
    x11_forget_display(d);
    XCloseDisplay(d);
    return nullptr;
  }
  win->window = w;
  if (!win->child) {
    XStoreName(d, w, "Quillmar");
    const Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
    XChangeProperty(d, w, XInternAtom(d, "_NET_WM_NAME", False), utf8, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>("Quillmar"), 8);
    XClassHint cls{const_cast<char*>("quillmar"), const_cast<char*>("Quillmar")};
    XSetClassHint(d, w, &cls);
    XSizeHints size{};
    size.flags = PMinSize | PMaxSize;
    size.min_width = size.max_width = Width();
    size.min_height = size.max_height = Height();
    XSetWMNormalHints(d, w, &size);
    win->wmDelete = XInternAtom(d, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(d, w, &win->wmDelete, 1);
  }
  win->gc = XCreateGC(d, w, 0, nullptr);
  if (!win->image.Create(d, attrs.visual, attrs.depth, Width(), Height(), true)) {
    XFreeGC(d, win->gc);
    XDestroyWindow(d, w);
    x11_forget_display(d);
    XCloseDisplay(d);
    return nullptr;
  }
  XMapWindow(d, w);
  XFlush(d);
  mWin = std::move(win);
  mNextTickNs = now_ns();
  return reinterpret_cast<void*>(static_cast<uintptr_t>(w));
}

void IGraphicsX11::CloseWindow() {
  if (!mWin) return;
  PlatformClosed();
  UpdateFocus();
  std::unique_ptr<IGraphicsX11Window> win = std::move(mWin);
  Display* d = win->display;
  // After a lost connection nothing more is asked of the server (Xlib drops the requests,
  // and frees what it holds on our side).
  win->image.Destroy(!win->ioError);
  XFreeGC(d, win->gc);
  // A window the server destroyed with its parent is not destroyed again.
  if (win->window && !win->ioError) XDestroyWindow(d, win->window);
  x11_forget_display(d);
  XCloseDisplay(d);
}

bool IGraphicsX11::DrawScreen(IRECT* pR) {
  IGraphicsHeadless::DrawScreen(pR);
  if (WindowIsOpen() && pR)
    mWin->image.Put(mWin->window, mWin->gc, *GetDrawBitmap(), *pR, PromptOpen() ? &PromptRECT() : nullptr);
  return true;
}

uint32_t* IGraphicsX11::DirectFrame(int* stride, uint32_t* opaque) {
  return WindowIsOpen() ? mWin->image.Direct(Width(), Height(), stride, opaque) : nullptr;
}

void IGraphicsX11::HandlePendingEvents() {
  while (mWin && !mWin->gone && XPending(mWin->display)) {
    XEvent e;
    XNextEvent(mWin->display, &e);
    HandleEvent(&e);
  }
  // Gone by the user's close or the server's destroy: the resources go now.
  if (mWin && mWin->gone) CloseWindow();
  // A host that hides its window mid-drag unmaps only the parent: the child stays mapped but
  // unviewable, gets no UnmapNotify, and its release goes elsewhere.
  if (mWin && GetMouseCapture() >= 0 && mWin->window && !mWin->ioError) {
    XWindowAttributes a = {};
    bool viewable = true;
    x11_trap_errors(mWin->display, [&] {
      viewable = !XGetWindowAttributes(mWin->display, mWin->window, &a) || a.map_state == IsViewable;
    });
    if (!viewable) PlatformCaptureLost();
  }
  if (mWin) UpdateFocus();
}

void IGraphicsX11::UpdateFocus() {
  IGraphicsX11Window& win = *mWin;
  if (!win.child || win.ioError || !win.window) return;
  Display* d = win.display;
  const bool want = PromptOpen();
  if (want == win.focusTaken) return;
  win.focusTaken = want;
  x11_trap_errors(d, [&] {
    if (want) {
      int revert = 0;
      XGetInputFocus(d, &win.focusBefore, &revert);
      XSetInputFocus(d, win.window, RevertToParent, win.lastTime);
      return;
    }
    // Back to the window that had it, unless the focus has moved on meanwhile or that window
    // is gone (the trap keeps the error from ending the process).
    Window now = 0;
    int revert = 0;
    XGetInputFocus(d, &now, &revert);
    const Window back = win.focusBefore > PointerRoot ? win.focusBefore : win.parent;
    if (now == win.window) XSetInputFocus(d, back, RevertToParent, CurrentTime);
  });
}

void IGraphicsX11::HandleEvent(void* event) {
  XEvent& e = *static_cast<XEvent*>(event);
  IGraphicsX11Window& win = *mWin;
  Display* d = win.display;
  win.image.OnEvent(e);
  if (e.xany.window != win.window) return;
  switch (e.type) {
    case Expose:
      if (e.xexpose.count == 0) {
        IRECT all(0, 0, Width(), Height());
        win.image.PutAgain(win.window, win.gc, *GetDrawBitmap(), all);
      }
      break;
    case ButtonPress: {
      const XButtonEvent& b = e.xbutton;
      win.lastTime = b.time;
      if (b.button == Button1 || b.button == Button3)
        PlatformMouseDown(b.x, b.y, modifiers(b.state, b.button == Button3), static_cast<uint32_t>(b.time),
                          b.button == Button3 ? 1 : 0);
      else if (b.button == Button4 || b.button == Button5)
        PlatformMouseWheel(b.x, b.y, modifiers(b.state, false), b.button == Button4 ? 1 : -1);
      break;
    }
    case ButtonRelease: {
      const XButtonEvent& b = e.xbutton;
      win.lastTime = b.time;
      if (b.button == Button1 || b.button == Button3)
        PlatformMouseUp(b.x, b.y, modifiers(b.state, b.button == Button3));
      break;
    }
    case MotionNotify: {
      // Of movements that follow each other only the last matters (drags add up their steps);
      // one after a press or release is another run.
      XEvent next;
      while (XEventsQueued(d, QueuedAlready) && (XPeekEvent(d, &next), next.type == MotionNotify) &&
             next.xany.window == win.window)
        XNextEvent(d, &e);
      const XMotionEvent& m = e.xmotion;
      PlatformMouseMove(m.x, m.y, modifiers(m.state, false), m.state & (Button1Mask | Button3Mask));
      break;
    }
    case LeaveNotify:
      if (e.xcrossing.mode == NotifyNormal) PlatformMouseLeave();
      break;
    case KeyPress:
    case KeyRelease: {
      const unsigned code = e.xkey.keycode & 0xff;
      win.lastTime = e.xkey.time;
      bool passOn;
      if (e.type == KeyPress) {
        char ch = 0;
        const EVirtualKey vk = virtual_key(&e.xkey, &ch);
        passOn = !PlatformKey(vk, ch);
        win.passedOn[code] = passOn;
      } else {
        passOn = win.passedOn[code];
        win.passedOn[code] = false;
      }
      // A key we do not take belongs to the host (its shortcuts): sent on to its window.
      if (passOn && win.child) {
        XEvent fwd = e;
        fwd.xkey.window = win.parent;
        XSendEvent(d, win.parent, True, e.type == KeyPress ? KeyPressMask : KeyReleaseMask, &fwd);
      }
      break;
    }
    case ClientMessage:
      if (static_cast<Atom>(e.xclient.data.l[0]) == win.wmDelete && win.wmDelete) win.gone = true;
      break;
    case MapNotify: win.mapped = true; break;
    case UnmapNotify:
      win.mapped = false;
      PlatformCaptureLost();  // no release will come: the drag ends here, with its gesture
      break;
    case DestroyNotify:
      win.gone = true;
      win.window = 0;  // already destroyed (with the parent): not destroyed again
      break;
    default: break;
  }
}

bool IGraphicsX11::TickIfDue() {
  const long long now = now_ns(), period = 1000000000LL / FPS();
  if (now < mNextTickNs) return false;
  mNextTickNs += period;
  if (mNextTickNs <= now) mNextTickNs = now + period;  // late: skip the missed ticks
  Tick();
  return true;
}

bool IGraphicsX11::Pump() {
  HandlePendingEvents();
  if (!WindowIsOpen()) return false;
  TickIfDue();
  XFlush(mWin->display);
  return true;
}

bool IGraphicsX11::Run(const std::atomic<bool>* stop, const std::function<void()>& eachFrame) {
  while (WindowIsOpen() && !(stop && stop->load())) {
    HandlePendingEvents();
    if (!WindowIsOpen()) break;
    if (TickIfDue() && eachFrame) eachFrame();
    if (!WindowIsOpen()) break;
    Display* d = mWin->display;
    XFlush(d);
    if (XPending(d)) continue;
    // Sleep until the next tick or an event; a signal wakes it early (poll returns EINTR).
    const long long wait = mNextTickNs - now_ns();
    pollfd p{ConnectionNumber(d), POLLIN, 0};
    if (wait > 0) poll(&p, 1, static_cast<int>((wait + 999999) / 1000000));
  }
  return !WindowIsOpen();
}
