// The X11 layer in a real window on a private Xvfb, driven by xdotool as a user would.
#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "framework/IControl.h"
#include "framework/bitmap/RasterBitmap.h"
#include "framework/test_plug.h"
#include "framework/x11/IGraphicsX11.h"
#include "support/resident.h"
#include "support/xvfb.h"

// Last: Xlib's macros (None, Bool) would clash with the names above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

enum { W = 320, H = 200 };

std::string mods(const IMouseMod* m) {
  std::string s;
  if (m->L) s += 'L';
  if (m->R) s += 'R';
  if (m->S) s += 'S';
  if (m->C) s += 'C';
  if (m->A) s += 'A';
  return s;
}

// Logs what reaches it (then behaves as the base does) and paints its rectangle: a gradient
// for the background (always dirty, as the editor is), a colour of its value otherwise.
class Probe : public IControl {
 public:
  Probe(IPluginBase* plug, IRECT r, int param, std::vector<std::string>* log, const char* name)
      : IControl(plug, r, param), mLog(log), mName(name) {
    DisablePrompt(false);
  }
  void OnMouseDown(int x, int y, IMouseMod* m) override { Log("down", x, y, m), IControl::OnMouseDown(x, y, m); }
  void OnMouseUp(int x, int y, IMouseMod* m) override { Log("up", x, y, m); }
  void OnMouseDblClick(int x, int y, IMouseMod* m) override { Log("dbl", x, y, m); }
  void OnMouseWheel(int x, int y, IMouseMod* m, int d) override { Log("wheel" + std::to_string(d), x, y, m); }
  void OnMouseDrag(int x, int y, int dX, int dY, IMouseMod* m) override {
    mDragX += dX, mDragY += dY;
    Log("drag", x, y, m);
  }
  void OnMouseOut() override { mLog->push_back(mName + " out"); }
  bool OnKeyDown(int, int, int key) override {
    mLog->push_back(mName + " key " + std::to_string(key));
    return true;
  }
  bool IsDirty() override { return ParamIdx() < 0 || mDirty; }
  // With sDirect, the window's own pixels are painted and the draw bitmap is cleared, as
  // the editor leaves it.
  bool Draw(IGraphics* g) override {
    RasterBitmap* b = g->GetDrawBitmap();
    int stride = 0;
    uint32_t opaque = 0;
    uint32_t* direct = sDirect ? g->DirectFrame(&stride, &opaque) : nullptr;
    for (int y = mRECT.T; y < mRECT.B; ++y)
      for (int x = mRECT.L; x < mRECT.R; ++x) {
        const uint8_t v = ParamIdx() < 0 ? uint8_t(x + y) : uint8_t(255 * GetValue());
        const srgb_t p{0, v, uint8_t(255 - v), uint8_t(x ^ y)};
        b->Pixels()[y * b->Width() + x] = direct ? srgb_t{} : p;
        if (direct) direct[y * stride + x] = uint32_t(p.r) << 16 | uint32_t(p.g) << 8 | p.b | opaque;
      }
    return true;
  }
  static bool sDirect;
  int mDragX = 0, mDragY = 0;

 private:
  void Log(const std::string& what, int x, int y, IMouseMod* m) {
    mLog->push_back(mName + " " + what + " " + std::to_string(x) + " " + std::to_string(y) + " " + mods(m));
  }
  std::vector<std::string>* mLog;
  std::string mName;
};

bool Probe::sDirect = false;

// A context of the plug-in with only the background control.
IGraphicsX11* background_only(TestPlug* plug, std::vector<std::string>* log) {
  auto* g = new IGraphicsX11(plug, W, H, 60);
  g->AttachControl(new Probe(plug, IRECT(0, 0, W, H), -1, log, "bg"));
  plug->AttachGraphics(g);
  return g;
}

bool contains(const std::vector<std::string>& log, const std::string& s) {
  for (const std::string& l : log)
    if (l == s) return true;
  return false;
}

int count_prefix(const std::vector<std::string>& log, const std::string& p) {
  int n = 0;
  for (const std::string& l : log) n += l.compare(0, p.size(), p) == 0;
  return n;
}

// The window's pixels as the server has them, checked against the draw bitmap.
int pixels_differing(Display* d, Window w, const RasterBitmap& b) {
  XImage* img = XGetImage(d, w, 0, 0, b.Width(), b.Height(), AllPlanes, ZPixmap);
  if (!img) return -1;
  int bad = 0;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) {
      const unsigned long p = XGetPixel(img, x, y);
      const srgb_t s = b.Pixels()[y * b.Width() + x];
      bad += ((p >> 16) & 255) != s.r || ((p >> 8) & 255) != s.g || (p & 255) != s.b;
    }
  XDestroyImage(img);
  return bad;
}

class X11Window : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server = new xvfb_t;
    if (server->ok()) setenv("DISPLAY", server->display().c_str(), 1);
  }
  static void TearDownTestSuite() { delete server; }

  void SetUp() override {
    if (!server->ok()) GTEST_SKIP() << "no Xvfb";
    plug = std::make_unique<TestPlug>();
    g = new IGraphicsX11(plug.get(), W, H, 60);
    g->AttachControl(bg = new Probe(plug.get(), IRECT(0, 0, W, H), -1, &log, "bg"));
    g->AttachControl(knob = new Probe(plug.get(), IRECT(20, 20, 80, 80), 4, &log, "knob"));
    g->AttachControl(new Probe(plug.get(), IRECT(100, 20, 160, 80), 0, &log, "menu"));
    g->SetKeyCatcher(new Probe(plug.get(), IRECT(), -1, &log, "catcher"));
    plug->AttachGraphics(g);  // shows the parameters' values on the controls
    test = XOpenDisplay(nullptr);
  }
  void TearDown() override {
    if (HasFailure()) for (const std::string& l : log) std::printf("  %s\n", l.c_str());
    plug.reset();
    if (test) XCloseDisplay(test);
  }

  void open(void* parent = nullptr) {
    ASSERT_NE(g->OpenWindow(parent), nullptr);
    ASSERT_TRUE(pump_until([&] { return g->IsMapped(); }));
    win = std::to_string(g->XWindow());
  }
  bool pump_until(const std::function<bool()>& done, double seconds = 3) {
    for (double t = 0; t < seconds; t += 0.002) {
      g->Pump();
      if (done()) return true;
      usleep(2000);
    }
    return false;
  }
  // xdotool, then the events it caused are handled.
  void xdo(const std::string& args) {
    ASSERT_EQ(run_on_display(*server, "xdotool " + args), 0) << args;
    XSync(test, False);
    pump_until([] { return false; }, 0.15);
  }

  static xvfb_t* server;
  std::unique_ptr<TestPlug> plug;
  IGraphicsX11* g = nullptr;
  Probe *bg = nullptr, *knob = nullptr;
  std::vector<std::string> log;
  Display* test = nullptr;
  std::string win;
};
xvfb_t* X11Window::server = nullptr;

void check_shown(IGraphicsX11* g, Display* test, bool shm) {
  EXPECT_EQ(g->UsesSharedMemory(), shm);
  EXPECT_TRUE(g->Tick());
  XSync(test, False);
  usleep(20000);
  EXPECT_EQ(pixels_differing(test, g->XWindow(), *g->GetDrawBitmap()), 0);
}

TEST_F(X11Window, TopLevelIsTitledFixedInSizeAndShowsTheDrawBitmap) {
  open();
  char* name = nullptr;
  ASSERT_TRUE(XFetchName(test, g->XWindow(), &name));
  EXPECT_STREQ(name, "Quillmar");
  XFree(name);
  XSizeHints hints{};
  long supplied = 0;
  ASSERT_TRUE(XGetWMNormalHints(test, g->XWindow(), &hints, &supplied));
  EXPECT_EQ(hints.min_width, W);
  EXPECT_EQ(hints.max_width, W);
  EXPECT_EQ(hints.min_height, H);
  EXPECT_EQ(hints.max_height, H);
  check_shown(g, test, true);
}

TEST(X11WindowWithoutShm, ShowsTheFrameThroughPlainPutImageAndOutlivesTheServer) {
  auto server = std::make_unique<xvfb_t>(std::vector<std::string>{"-extension", "MIT-SHM"});
  if (!server->ok()) GTEST_SKIP() << "no Xvfb";
  setenv("DISPLAY", server->display().c_str(), 1);
  TestPlug plug;
  std::vector<std::string> log;
  IGraphicsX11* g = background_only(&plug, &log);
  ASSERT_NE(g->OpenWindow(nullptr), nullptr);
  Display* test = XOpenDisplay(nullptr);
  check_shown(g, test, false);
  XCloseDisplay(test);
  // The server goes away: the window with it, not the process.
  server.reset();
  bool open = true;
  for (int i = 0; i < 500 && open; ++i, usleep(2000)) open = g->Pump();
  EXPECT_FALSE(open);
  EXPECT_TRUE(g->Tick());
}

TEST_F(X11Window, MouseEventsReachControlsWithButtonsAndModifiers) {
  open();
  xdo("mousemove --window " + win + " 50 50 click 1");
  EXPECT_TRUE(contains(log, "knob down 50 50 L"));
  EXPECT_TRUE(contains(log, "knob up 50 50 L"));
  // Shift, control, alt; the Super key and the right button both give R. (Over the
  // background: an R press on the knob would open its value entry.)
  // (Each press 10 px from the last, so that none is a double-click.)
  std::string presses;
  for (const char* key : {"shift", "ctrl", "alt", "super"})
    presses += std::string(" mousemove_relative 10 0 keydown ") + key + " click 1 keyup " + key;
  xdo("mousemove --window " + win + " 190 150" + presses + " mousemove_relative 10 0 click 3");
  for (const char* m : {"200 150 LS", "210 150 LC", "220 150 LA", "230 150 LR", "240 150 LR"})
    EXPECT_TRUE(contains(log, std::string("bg down ") + m)) << m;
  EXPECT_TRUE(contains(log, "bg up 240 150 LR"));
  xdo("click 4 click 5 click 5");
  EXPECT_EQ(count_prefix(log, "bg wheel1 "), 1);
  EXPECT_EQ(count_prefix(log, "bg wheel-1 "), 2);
  // A drag adds up to the pointer's travel; the press that starts it is not a double-click.
  log.clear();
  xdo("mousemove --window " + win + " 50 50 sleep 0.5 mousedown 1 sleep 0.1 mousemove --window " + win +
      " 55 45 sleep 0.1 mousemove --window " + win + " 62 30 sleep 0.1 mouseup 1");
  EXPECT_EQ(knob->mDragX, 12);
  EXPECT_EQ(knob->mDragY, -20);
  // Two presses within 400 ms: the second is a double-click; 600 ms apart: two presses.
  xdo("sleep 0.5 click --repeat 2 --delay 100 1");
  EXPECT_EQ(count_prefix(log, "knob dbl "), 1);
  xdo("sleep 0.5 click --repeat 2 --delay 600 1");
  EXPECT_EQ(count_prefix(log, "knob dbl "), 1);
  // A left and a right press are two presses, however close.
  xdo("sleep 0.5 mousemove --window " + win + " 150 150 click 1 click 3");
  EXPECT_EQ(count_prefix(log, "bg dbl "), 0);
  EXPECT_TRUE(contains(log, "bg down 150 150 LR"));
  // Leaving the window is a mouse-out for every control.
  xdo("mousemove 1000 900");
  EXPECT_TRUE(contains(log, "bg out"));
  EXPECT_TRUE(contains(log, "knob out"));
  // A window unmapped mid-drag ends the drag: no release will come.
  log.clear();
  xdo("mousemove --window " + win + " 50 50 mousedown 1");
  ASSERT_EQ(g->GetMouseCapture(), 1);
  XUnmapWindow(test, g->XWindow());
  XSync(test, False);
  pump_until([&] { return !g->IsMapped(); });
  EXPECT_EQ(g->GetMouseCapture(), -1);
  EXPECT_TRUE(contains(log, "knob up 50 50 L"));
  xdo("mouseup 1");
}

TEST_F(X11Window, APlugInClosedMidDragGoesQuietly) {
  open();
  xdo("mousemove --window " + win + " 50 50 mousedown 1");
  ASSERT_EQ(g->GetMouseCapture(), 1);
  plug.reset();  // with the window: its host adapter is gone, nobody to tell of the drag
  g = nullptr;
  EXPECT_EQ(run_on_display(*server, "xdotool mouseup 1"), 0);
}

TEST_F(X11Window, KeysGoToTheKeyCatcherOrTheOpenTextFieldAndMenu) {
  open();
  xdo("mousemove --window " + win + " 200 150 key a 5 space Up F1");
  for (const char* k : {"15", "10", "0", "1"}) EXPECT_TRUE(contains(log, std::string("catcher key ") + k)) << k;
  EXPECT_EQ(count_prefix(log, "catcher key"), 4);  // F1 has no key code: passed on

  // A right-click opens the text field; typed text and Return set the parameter.
  xdo("mousemove --window " + win + " 50 50 click 3");
  ASSERT_TRUE(g->TextEntryOpen());
  xdo("key End BackSpace BackSpace BackSpace BackSpace BackSpace BackSpace BackSpace minus 1 2 period 5 x Return");
  EXPECT_FALSE(g->PromptOpen());
  EXPECT_DOUBLE_EQ(plug->GetParam(4)->Value(), -12.5);
  // Escape cancels.
  xdo("click 3 key 3 Escape");
  EXPECT_FALSE(g->PromptOpen());
  EXPECT_DOUBLE_EQ(plug->GetParam(4)->Value(), -12.5);

  // The menu of an on/off parameter: a click on "off" sets it.
  ASSERT_EQ(plug->GetParam(0)->Value(), 1);
  xdo("mousemove --window " + win + " 130 50 click 3");
  ASSERT_TRUE(g->MenuOpen());
  EXPECT_EQ(g->PromptText(), "");
  xdo("mousemove --window " + win + " 110 30 click 1");
  EXPECT_FALSE(g->MenuOpen());
  EXPECT_FALSE(contains(log, "menu up 110 30 L"));  // the menu took the whole click
  EXPECT_EQ(plug->GetParam(0)->Value(), 0);
}

TEST_F(X11Window, AFrameWrittenIntoTheWindowShowsAsTheDrawBitmapWouldWithTheTextFieldOverIt) {
  open();
  xdo("mousemove --window " + win + " 50 50 click 3");
  ASSERT_TRUE(g->TextEntryOpen());
  check_shown(g, test, true);
  RasterBitmap want(W, H);
  std::memcpy(want.Pixels(), g->GetDrawBitmap()->Pixels(), sizeof(srgb_t) * W * H);
  Probe::sDirect = true;
  pump_until([] { return false; }, 0.1);
  XSync(test, False);
  usleep(20000);
  EXPECT_EQ(pixels_differing(test, g->XWindow(), want), 0);
  Probe::sDirect = false;
}

TEST_F(X11Window, RunEndsOnTheStopFlagAndOnWindowDelete) {
  open();
  std::atomic<bool> stop{false};
  std::thread t([&] {
    usleep(300000);
    stop = true;
  });
  EXPECT_FALSE(g->Run(&stop));
  t.join();
  EXPECT_GE(g->Frames(), 3);
  ASSERT_TRUE(g->WindowIsOpen());

  // What a window manager sends when the user closes the window.
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = g->XWindow();
  e.xclient.message_type = XInternAtom(test, "WM_PROTOCOLS", False);
  e.xclient.format = 32;
  e.xclient.data.l[0] = XInternAtom(test, "WM_DELETE_WINDOW", False);
  XSendEvent(test, g->XWindow(), False, NoEventMask, &e);
  XSync(test, False);
  int frames = 0;
  EXPECT_TRUE(g->Run(nullptr, [&] { ++frames; }));
  EXPECT_FALSE(g->WindowIsOpen());
  EXPECT_LT(frames, 30);
}

TEST_F(X11Window, ChildOfAHostWindowPassesOnKeysAndSurvivesItsParent) {
  EXPECT_EQ(g->OpenWindow(reinterpret_cast<void*>(uintptr_t(0x7ffffff))), nullptr);  // no such window
  EXPECT_FALSE(g->WindowIsOpen());

  const Window parent = XCreateSimpleWindow(test, DefaultRootWindow(test), 0, 0, 400, 300, 0, 0, 0);
  XSelectInput(test, parent, KeyPressMask);
  XMapWindow(test, parent);
  XSync(test, False);
  open(reinterpret_cast<void*>(uintptr_t(parent)));
  Window root, up, *children = nullptr;
  unsigned n = 0;
  XQueryTree(test, g->XWindow(), &root, &up, &children, &n);
  XFree(children);
  EXPECT_EQ(up, parent);

  // The host's idle callback draws at most at the frame rate.
  const int before = g->Frames();
  const auto t0 = std::chrono::steady_clock::now();
  pump_until([] { return false; }, 0.5);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  EXPECT_GE(g->Frames() - before, 3);
  EXPECT_LE(g->Frames() - before, seconds * 60 + 2);

  // Keys that reach the child (here the pointer's: no window has the focus) and that it does
  // not take go on to the host's window.
  xdo("mousemove --window " + win + " 200 150 key F1 a");
  EXPECT_EQ(count_prefix(log, "catcher key"), 1);
  XEvent e;
  bool forwarded = false;
  while (XCheckTypedWindowEvent(test, parent, KeyPress, &e)) forwarded |= e.xkey.send_event != 0;
  EXPECT_TRUE(forwarded);

  // The host keeps the keyboard focus (in a focus window of its own, as toolkits have): a click
  // in the editor leaves it there; a text field takes it while it is open, then gives it back.
  const Window focus = XCreateSimpleWindow(test, parent, 0, 0, 1, 1, 0, 0, 0);
  XMapWindow(test, focus);
  XSetInputFocus(test, focus, RevertToParent, CurrentTime);
  auto focused = [&] {
    Window w = 0;
    int revert = 0;
    XGetInputFocus(test, &w, &revert);
    return w;
  };
  xdo("mousemove --window " + win + " 200 150 click 1");
  EXPECT_EQ(focused(), focus);
  xdo("mousemove --window " + win + " 50 50 click 3");
  ASSERT_TRUE(g->TextEntryOpen());
  EXPECT_EQ(focused(), g->XWindow());
  xdo("key 7 Return");
  EXPECT_FALSE(g->PromptOpen());
  EXPECT_DOUBLE_EQ(plug->GetParam(4)->Value(), 7);
  EXPECT_EQ(focused(), focus);

  // The host hides its window mid-drag: the child, unviewable, hears of it by no event of its
  // own and its release goes elsewhere; the drag ends, with its gesture.
  log.clear();
  xdo("mousemove --window " + win + " 50 50 mousedown 1");
  ASSERT_EQ(g->GetMouseCapture(), 1);
  XUnmapWindow(test, parent);
  XSync(test, False);
  EXPECT_TRUE(pump_until([&] { return g->GetMouseCapture() == -1; }));
  EXPECT_TRUE(contains(log, "knob up 50 50 L"));
  xdo("mouseup 1");
  XMapWindow(test, parent);
  XSync(test, False);

  // The host destroys its window before telling the editor.
  XDestroyWindow(test, parent);
  XSync(test, False);
  EXPECT_TRUE(pump_until([&] { return !g->Pump(); }));
  g->CloseWindow();
  g->Tick();  // headless again
  open();
}

int count_shm_maps() {
  std::ifstream maps("/proc/self/maps");
  int n = 0;
  for (std::string line; std::getline(maps, line);) n += line.find("SYSV") != std::string::npos;
  return n;
}

TEST_F(X11Window, OpeningAndClosingManyTimesLeaksNothing) {
  for (int i = 0; i < 3; ++i) open(), g->CloseWindow();
  const int fds = count_fds();
  const double mb = resident_mb();
  for (int i = 0; i < 100; ++i) {
    ASSERT_NE(g->OpenWindow(nullptr), nullptr);
    g->Pump();
    g->Tick();
    g->CloseWindow();
  }
  EXPECT_EQ(count_fds(), fds);
  EXPECT_EQ(count_shm_maps(), 0);
#ifndef __SANITIZE_ADDRESS__  // its quarantine keeps freed memory; its leak check stands in
  EXPECT_LT(resident_mb() - mb, 4.0);
#else
  (void)mb;
#endif
}

TEST(X11NoDisplay, OpenWindowGivesNoWindowAndTheContextStaysHeadless) {
  unsetenv("DISPLAY");
  TestPlug plug;
  std::vector<std::string> log;
  IGraphicsX11* g = background_only(&plug, &log);
  EXPECT_EQ(g->OpenWindow(nullptr), nullptr);
  EXPECT_FALSE(g->Pump());
  EXPECT_TRUE(g->Tick());
  EXPECT_EQ(g->Frames(), 1);
}

}  // namespace
