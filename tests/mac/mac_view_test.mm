// The Cocoa view driven as a Mac host drives it, against GNUstep's AppKit on a private Xvfb:
// the bundle loaded through its Info.plist and factory, the CocoaUI property read, the view
// factory class found by its name and asked for the view, the view shown in an NSWindow and
// used through xdotool as a person would.
//
// The program is its own harness. Started plainly it makes a private folder (home, GNUstep's
// temporary folder, the plug-in's settings), an X server and GNUstep's notification and
// pasteboard servers (which an AppKit program otherwise launches itself and leaves running),
// runs itself again in that setting, and ends the servers. GNUstep reads its user defaults from the command line:
// the harness maps Super to Command (R in the editor, as in the X11 layer) and Alt to Option,
// and keeps the application icon away. Test options go through the environment (GTEST_FILTER):
// GNUstep would take arguments for files to open.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#import <AudioUnit/AUCocoaUIView.h>
#import <Cocoa/Cocoa.h>
#import <Foundation/NSDebug.h>

#include "AUStandIn.h"
#include "bundle.h"
#include "engine/bands.h"
#include "engine/inst.h"
#include "framework/IControl.h"
#include "framework/IGraphics.h"
#include "framework/headless/IGraphicsHeadless.h"
#include "framework/bitmap/RasterBitmap.h"
#include "hosts/au/IPluginAU.h"
#include "plugin/Quillmar.h"
#include "support/resident.h"
#include "support/xvfb.h"

// Last: Xlib's macros (None, Bool) would clash with the names above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

const char* const kChildFlag = "QUILLMAR_MAC_VIEW_CHILD";
enum { kPlugInProperty = 64000 };
enum { kBandBGain = 5, kOverallGain = 17, kColour = 19, kOverallGainKnob = 8 };

// ---- the harness ----

pid_t spawn(const std::vector<std::string>& args) {
  const pid_t pid = fork();
  if (pid == 0) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

int count_entries(const std::string& dir) {
  DIR* d = opendir(dir.c_str());
  if (!d) return 0;
  int n = 0;
  while (dirent* e = readdir(d)) n += e->d_name[0] != '.';
  closedir(d);
  return n;
}

int harness(char** argv) {
  char dir[] = "/tmp/quillmar_mac_view.XXXXXX";
  if (!mkdtemp(dir)) return 2;
  const std::string root = dir;
  for (const char* sub : {"/home", "/tmp", "/config"}) mkdir((root + sub).c_str(), 0700);
  xvfb_t server;
  if (!server.ok()) {
    std::fprintf(stderr, "mac_view_test: no Xvfb\n");
    return 2;
  }
  setenv("DISPLAY", server.display().c_str(), 1);
  setenv("HOME", (root + "/home").c_str(), 1);
  setenv("TMP", (root + "/tmp").c_str(), 1);  // GNUstep's temporary folder: its servers' names
  setenv("TEMP", (root + "/tmp").c_str(), 1);
  setenv("QUILLMAR_CONFIG_DIR", (root + "/config").c_str(), 1);
  setenv(kChildFlag, "1", 1);
  // The notification and pasteboard servers, registered before the program needs them (a text
  // field asks for the pasteboard; launching it from there blocks the program for seconds).
  const std::string names = root + "/tmp/GNUstepSecure" + std::to_string(getuid()) + "/NSMessagePort/names";
  std::vector<pid_t> servers;
  for (const char* server : {"gdnc", "gpbs"}) {
    servers.push_back(spawn({server, "--no-fork"}));
    for (int i = 0; i < 500 && count_entries(names) < int(servers.size()); ++i) usleep(10000);
  }
  std::vector<std::string> args = {argv[0], "-GSFirstCommandKey", "Super_L",
                                   "-GSFirstAlternateKey", "Alt_L", "-GSSuppressAppIcon", "YES"};
  for (int i = 1; argv[i]; ++i) args.push_back(argv[i]);  // test filters and the like
  const int status = wait_child(spawn(args), 600);
  for (pid_t server : servers) {
    if (server <= 0) continue;
    kill(server, SIGTERM);
    if (wait_child(server, 5) == -1) std::fprintf(stderr, "mac_view_test: a GNUstep server did not end\n");
  }
  const std::string rm = "rm -rf '" + root + "'";
  if (std::system(rm.c_str()) != 0) std::fprintf(stderr, "mac_view_test: cannot remove %s\n", dir);
  return status;
}

// ---- the host ----

// Runs AppKit's event loop for a while (the timers, the drawing, the events).
void pump(double seconds) {
  NSDate* until = [NSDate dateWithTimeIntervalSinceNow:seconds];
  do {
    NSAutoreleasePool* pool = [NSAutoreleasePool new];
    NSEvent* e = [NSApp nextEventMatchingMask:NSAnyEventMask
                                    untilDate:[NSDate dateWithTimeIntervalSinceNow:0.005]
                                       inMode:NSDefaultRunLoopMode
                                      dequeue:YES];
    if (e) [NSApp sendEvent:e];
    [pool release];
  } while ([until timeIntervalSinceNow] > 0);
}

// xdotool in a process of its own while the event loop runs; its exit status.
int xdo(const std::string& args) {
  const pid_t pid = spawn({"sh", "-c", "xdotool " + args});
  for (int i = 0; i < 2000; ++i) {
    int st = 0;
    if (waitpid(pid, &st, WNOHANG) == pid) {
      pump(0.15);  // what it caused is handled
      return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    }
    pump(0.01);
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  return -1;
}

std::string cf_text(CFStringRef s) {
  char buf[512] = "";
  if (s) CFStringGetCString(s, buf, sizeof buf, kCFStringEncodingUTF8);
  return buf;
}

// The X window titled title, on the test's own connection; 0 when there is none.
Window find_window(Display* d, Window w, const std::string& title) {
  XTextProperty name = {};
  if (XGetWMName(d, w, &name) && name.value) {  // GNUstep writes it as UTF8_STRING
    const bool found = title == reinterpret_cast<const char*>(name.value);
    XFree(name.value);
    if (found) return w;
  }
  Window root, parent, *children = nullptr;
  unsigned n = 0;
  if (!XQueryTree(d, w, &root, &parent, &children, &n)) return 0;
  Window found = 0;
  for (unsigned i = 0; i < n && !found; ++i) found = find_window(d, children[i], title);
  if (children) XFree(children);
  return found;
}

int count_x_windows(Display* d) {
  Window root, parent, *children = nullptr;
  unsigned n = 0;
  XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &n);
  if (children) XFree(children);
  return static_cast<int>(n);
}

// The begin and end gestures the host was told of, per parameter: every begin ended once,
// never an end without its begin. Empty when balanced.
std::string unbalanced_gestures() {
  std::map<UInt32, int> open;
  std::string faults;
  for (CFIndex i = 0; i < AUStandIn_EventCount(); ++i) {
    AudioUnitEvent e = {};
    AUStandIn_GetEvent(i, &e);
    const UInt32 p = e.mArgument.mParameter.mParameterID;
    if (e.mEventType == kAudioUnitEvent_BeginParameterChangeGesture) ++open[p];
    if (e.mEventType == kAudioUnitEvent_EndParameterChangeGesture && --open[p] < 0)
      faults += " an end of " + std::to_string(p) + " without its begin;";
  }
  for (const auto& o : open)
    if (o.second > 0) faults += " " + std::to_string(o.first) + " left open;";
  return faults;
}

int count_events(AudioUnitEventType type, UInt32 param) {
  int n = 0;
  for (CFIndex i = 0; i < AUStandIn_EventCount(); ++i) {
    AudioUnitEvent e = {};
    AUStandIn_GetEvent(i, &e);
    n += e.mEventType == type && e.mArgument.mParameter.mParameterID == param;
  }
  return n;
}

NSString* ns(const std::string& s) { return [NSString stringWithUTF8String:s.c_str()]; }

// Objects of a class alive (GNUstep counts them once its allocation debugging is on).
int live(const char* className) { return GSDebugAllocationCount(NSClassFromString(ns(className))); }

}  // namespace

// A host's window that records the keys its content view passes on.
@interface KeyRecordingWindow : NSWindow {
 @public
  char keys[64];
}
@end
@implementation KeyRecordingWindow
- (void)keyDown:(NSEvent*)e {
  std::strncat(keys, [[e charactersIgnoringModifiers] UTF8String], sizeof keys - std::strlen(keys) - 1);
}
@end

namespace {

class MacView : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string err;
    loaded = load_au_bundle(QUILLMAR_MAC_BUNDLE, "aufx", "Qmrl", "Mrwd", &bundle, &err);
    if (!loaded) std::fprintf(stderr, "%s\n", err.c_str());
    x = XOpenDisplay(nullptr);
  }
  static void TearDownTestSuite() {
    if (x) XCloseDisplay(x);
  }

  void SetUp() override {
    ASSERT_TRUE(loaded);
    ASSERT_NE(x, nullptr);
    ASSERT_EQ(AudioComponentInstanceNew(bundle.component, &unit), noErr);
    IPluginAU* p = nullptr;
    UInt32 size = sizeof p;
    ASSERT_EQ(AudioUnitGetProperty(unit, kPlugInProperty, kAudioUnitScope_Global, 0, &p, &size), noErr);
    plug = static_cast<Quillmar*>(p);
  }
  void TearDown() override {
    close();
    if (unit) AudioComponentInstanceDispose(unit);
    pump(0.05);
  }

  // What a Mac host does: the CocoaUI property, the bundle's code, the factory class by its
  // name, its view, a window around it.
  void open(const std::string& title = "Quillmar test") {
    // As a host's event loop does, the view and the factory go with a pool of their own.
    NSAutoreleasePool* pool = [NSAutoreleasePool new];
    open_in_pool(title);
    [pool release];
  }
  void open_in_pool(const std::string& title) {
    AudioUnitCocoaViewInfo info = {};
    UInt32 size = sizeof info;
    ASSERT_EQ(AudioUnitGetProperty(unit, kAudioUnitProperty_CocoaUI, kAudioUnitScope_Global, 0, &info, &size), noErr);
    char path[4096] = "";
    CFURLGetFileSystemRepresentation(info.mCocoaAUViewBundleLocation, true, reinterpret_cast<UInt8*>(path), sizeof path);
    const std::string name = cf_text(info.mCocoaAUViewClass[0]);
    CFRelease(info.mCocoaAUViewBundleLocation);
    CFRelease(info.mCocoaAUViewClass[0]);
    NSBundle* code = [NSBundle bundleWithPath:ns(path)];
    ASSERT_NE(code, nil) << path;
    bundle_loaded = [code load];
    Class factory_class = NSClassFromString(ns(name));
    ASSERT_NE(factory_class, Nil) << name;
    ASSERT_TRUE([factory_class conformsToProtocol:@protocol(AUCocoaUIBase)]);
    id<AUCocoaUIBase> factory = [[factory_class alloc] init];
    EXPECT_EQ([factory interfaceVersion], 0u);
    EXPECT_STREQ([[(NSObject*)factory description] UTF8String], "Quillmar View");
    view = [factory uiViewForAudioUnit:unit withSize:NSMakeSize(800, 600)];
    [(NSObject*)factory release];
    ASSERT_NE(view, nil);
    // Placed clear of the corner where GNUstep keeps its application icon.
    window = [[KeyRecordingWindow alloc] initWithContentRect:NSMakeRect(200, 200, [view frame].size.width, [view frame].size.height)
                                         styleMask:NSTitledWindowMask | NSClosableWindowMask
                                           backing:NSBackingStoreBuffered
                                             defer:NO];
    [window setReleasedWhenClosed:YES];
    [window setTitle:ns(title)];
    [window setContentView:view];
    [window makeKeyAndOrderFront:nil];
    for (int i = 0; i < 300 && !xwin; ++i, pump(0.01)) xwin = find_window(x, DefaultRootWindow(x), title);
    ASSERT_NE(xwin, 0u);
    // The window takes the keyboard before anything is typed or clicked into it.
    for (int i = 0; i < 300 && ![window isKeyWindow]; ++i) pump(0.01);
    ASSERT_TRUE([window isKeyWindow]);
    pump(0.3);
    wid = std::to_string(xwin);
  }
  void close() {
    if (!window) return;
    [window close];  // released with it: the view goes too
    window = nil;
    view = nil;
    xwin = 0;
    pump(0.05);
  }
  IGraphics* gui() const { return plug->GetGUI(); }
  float param(UInt32 id) const {
    AudioUnitParameterValue v = NAN;
    AudioUnitGetParameter(unit, id, kAudioUnitScope_Global, 0, &v);
    return v;
  }
  NSTextField* text_field() const {
    NSArray* subviews = [view subviews];
    for (NSUInteger i = 0; i < [subviews count]; ++i) {
      NSView* v = [subviews objectAtIndex:i];
      if ([v isKindOfClass:[NSTextField class]]) return static_cast<NSTextField*>(v);
    }
    return nil;
  }
  // xdotool at the context's pixel (x, y): the view places the pointer 2 pixels left of and 3
  // above the event's place.
  std::string at(int cx, int cy) const {
    return "mousemove --window " + wid + " " + std::to_string(cx + 2) + " " + std::to_string(cy + 3);
  }

  static bool loaded;
  static au_bundle_t bundle;
  static Display* x;
  AudioUnit unit = nullptr;
  Quillmar* plug = nullptr;
  NSView* view = nil;
  KeyRecordingWindow* window = nil;
  Window xwin = 0;
  std::string wid;
  BOOL bundle_loaded = NO;
};
bool MacView::loaded = false;
au_bundle_t MacView::bundle;
Display* MacView::x = nullptr;

TEST_F(MacView, TheWindowShowsTheHeadlessFrame) {
  open();
  EXPECT_TRUE(gui()->WindowIsOpen());
  const NSSize size = [view frame].size;
  EXPECT_EQ(size.width, gui()->Width());
  EXPECT_EQ(size.height, gui()->Height());
  EXPECT_EQ(gui()->Width(), 1060);
  EXPECT_EQ(gui()->Height(), 566);
  // Read back from the server between two frames: the draw bitmap, pixel for pixel.
  XSync(x, False);
  XWindowAttributes a = {};
  XGetWindowAttributes(x, xwin, &a);
  ASSERT_EQ(a.width, 1060);
  ASSERT_EQ(a.height, 566);
  XImage* img = XGetImage(x, xwin, 0, 0, a.width, a.height, AllPlanes, ZPixmap);
  ASSERT_NE(img, nullptr);
  const RasterBitmap* b = gui()->GetDrawBitmap();
  int differ = 0;
  for (int yy = 0; yy < a.height; ++yy)
    for (int xx = 0; xx < a.width; ++xx) {
      const unsigned long p = XGetPixel(img, xx, yy);
      const srgb_t s = b->Pixels()[yy * b->Width() + xx];
      differ += int((p >> 16) & 255) != s.r || int((p >> 8) & 255) != s.g || int(p & 255) != s.b;
    }
  XDestroyImage(img);
  EXPECT_EQ(differ, 0);
  int lit = 0;  // and the frame is no blank one
  for (int i = 0; i < b->Width() * b->Height(); ++i) lit += b->Pixels()[i].r > 40;
  EXPECT_GT(lit, 10000);
}

TEST_F(MacView, DraggingABandPointMovesItsGainWithBalancedGestures) {
  open();
  const eqband_t& B = plug->Inst()->bands[1];
  const int bx = int(std::lround(B.point_px)), by = int(std::lround(B.point_py));
  const float before = param(kBandBGain);
  AUStandIn_ClearEvents();
  // Pressed, moved up while held (until the point follows), released.
  ASSERT_EQ(xdo(at(bx, by) + " mousedown 1"), 0);
  const double gain = B.gain;
  ASSERT_EQ(xdo("mousemove_relative 0 -20 sleep 0.1 mousemove_relative 0 -20"), 0);
  for (int i = 0; i < 300 && B.gain == gain; ++i) pump(0.01);
  ASSERT_EQ(xdo("mouseup 1"), 0);
  // With no audio running the editor writes the band back itself, after 16 frames.
  for (int i = 0; i < 500 && param(kBandBGain) == before; ++i) pump(0.01);
  EXPECT_GT(param(kBandBGain), before + 3) << "before " << before << ", " << AUStandIn_EventCount()
                                           << " events at the host; the band's gain " << B.gain
                                           << (plug->Inst()->bands_dirty ? ", not written back" : "");
  EXPECT_GE(count_events(kAudioUnitEvent_BeginParameterChangeGesture, kBandBGain), 1);
  EXPECT_EQ(unbalanced_gestures(), "");
}

TEST_F(MacView, ARightClickOnAKnobOpensTheTextFieldAndEnterSetsTheValue) {
  open();
  const IRECT r = gui()->GetControl(kOverallGainKnob)->GetRECT();
  ASSERT_EQ(gui()->GetControl(kOverallGainKnob)->ParamIdx(), kOverallGain);
  AUStandIn_ClearEvents();
  ASSERT_EQ(xdo(at(r.MW(), r.MH()) + " click 3"), 0);
  NSTextField* field = text_field();
  ASSERT_NE(field, nil);
  EXPECT_STREQ([[field stringValue] UTF8String], "0.00");
  // The whole text is selected: typing replaces it.
  ASSERT_EQ(xdo("key 6 Return"), 0);
  EXPECT_EQ(text_field(), nil);
  EXPECT_EQ(param(kOverallGain), 6.0f);
  EXPECT_EQ([window firstResponder], view);
  // Escape cancels; letters are not typed; Enter on an unedited field changes nothing.
  ASSERT_EQ(xdo(at(r.MW(), r.MH()) + " click 3 key 1 a Escape"), 0);
  EXPECT_EQ(text_field(), nil);
  EXPECT_EQ(param(kOverallGain), 6.0f);
  ASSERT_EQ(xdo(at(r.MW(), r.MH()) + " click 3"), 0);
  ASSERT_NE(text_field(), nil);
  EXPECT_STREQ([[text_field() stringValue] UTF8String], "6.00");
  ASSERT_EQ(xdo("key Return"), 0);
  EXPECT_EQ(param(kOverallGain), 6.0f);
  EXPECT_EQ(unbalanced_gestures(), "");
}

// A third press starts counting again: a triple click is a double-click and a single press.
TEST_F(MacView, ATripleClickIsOneDoubleClick) {
  open();
  const eqband_t* bands = plug->Inst()->bands;
  auto on = [&] { return bands[0].on + bands[1].on + bands[2].on + bands[3].on; };
  ASSERT_EQ(on(), 4);
  // On band B's point: B goes, the third press lands on the empty spot and adds nothing.
  const int bx = int(std::lround(bands[1].point_px)), by = int(std::lround(bands[1].point_py));
  ASSERT_EQ(xdo(at(bx, by) + " click --repeat 3 --delay 60 1"), 0);
  EXPECT_EQ(bands[1].on, 0);
  EXPECT_EQ(on(), 3);
  // On that empty spot: a band comes back, and the third press leaves it.
  ASSERT_EQ(xdo("sleep 0.6 click --repeat 3 --delay 60 1"), 0);
  EXPECT_EQ(on(), 4);
  EXPECT_EQ(unbalanced_gestures(), "");
}

// A press outside an open field cancels it and goes no further (the field is let go after
// AppKit has finished ending its editing).
TEST_F(MacView, APressOutsideAnOpenFieldCancelsIt) {
  open();
  for (const int p : {kOverallGain, kColour}) {
    int k = 0;
    while (k < gui()->GetNControls() && gui()->GetControl(k)->ParamIdx() != p) ++k;
    ASSERT_LT(k, gui()->GetNControls());
    const IRECT r = gui()->GetControl(k)->GetRECT();
    const float before = param(p);
    ASSERT_EQ(xdo(at(r.MW(), r.MH()) + " click 3 sleep 1"), 0);
    ASSERT_NE(text_field(), nil) << p;
    ASSERT_EQ(xdo("mousemove_relative -- -15 -22 sleep 0.3 click 1"), 0);
    EXPECT_EQ(text_field(), nil) << p;
    EXPECT_EQ(param(p), before) << p;
  }
  EXPECT_EQ(unbalanced_gestures(), "");
}

TEST_F(MacView, WheelModifiersAndKeysArriveAsCocoaHandsThemOver) {
  open();
  const IRECT r = gui()->GetControl(kOverallGainKnob)->GetRECT();
  // A wheel step is 1 % of the range (120 dB), with Shift 0.1 %.
  ASSERT_EQ(xdo(at(r.MW(), r.MH()) + " click 4"), 0);
  EXPECT_NEAR(param(kOverallGain), 1.2, 1e-4);
  ASSERT_EQ(xdo("keydown shift click 4 keyup shift click 5 click 5"), 0);
  EXPECT_NEAR(param(kOverallGain), 1.2 + 0.12 - 2.4, 1e-4);
  // Command (Super here) with the left button is R: the knob's value entry.
  ASSERT_EQ(xdo("keydown super click 1 keyup super"), 0);
  ASSERT_NE(text_field(), nil);
  ASSERT_EQ(xdo("key Escape"), 0);
  EXPECT_EQ(text_field(), nil);
  // Keys the editor does not take go on to the next responder, the host's window.
  window->keys[0] = 0;
  ASSERT_EQ(xdo("key x 7"), 0);
  EXPECT_STREQ(window->keys, "x7");
  EXPECT_EQ(unbalanced_gestures(), "");
}

TEST_F(MacView, ClosingTheWindowReleasesTheViewAndItsTimer) {
  open();
  EXPECT_EQ(live("Quillmar_IGraphicsCocoa"), 1);
  EXPECT_EQ(live("Quillmar_IGraphicsCocoaTimer"), 1);
  close();
  EXPECT_EQ(live("Quillmar_IGraphicsCocoa"), 0);
  EXPECT_EQ(live("Quillmar_IGraphicsCocoaTimer"), 0);
  EXPECT_FALSE(gui()->WindowIsOpen());
}

TEST_F(MacView, FiftyOpensAndClosesLeakNothing) {
  open("warm up");
  close();
  const int fds = count_fds(), xwindows = count_x_windows(x), windows = int([[NSApp windows] count]);
  const double mb = resident_mb();
  for (int i = 0; i < 50; ++i) {
    open("round " + std::to_string(i));
    close();
  }
  pump(0.2);
  EXPECT_EQ(live("Quillmar_IGraphicsCocoa"), 0);
  EXPECT_EQ(live("Quillmar_IGraphicsCocoaTimer"), 0);
  EXPECT_EQ(count_fds(), fds);
  EXPECT_EQ(count_x_windows(x), xwindows);
  EXPECT_EQ(int([[NSApp windows] count]), windows);
  EXPECT_LT(resident_mb() - mb, 8.0);
}

}  // namespace

int main(int argc, char** argv) {
  if (!getenv(kChildFlag)) return harness(argv);
  NSAutoreleasePool* pool = [NSAutoreleasePool new];
  GSDebugAllocationActive(YES);
  [NSApplication sharedApplication];
  [NSApp finishLaunching];
  testing::InitGoogleTest(&argc, argv);
  const int status = RUN_ALL_TESTS();
  [pool release];
  return status;
}




