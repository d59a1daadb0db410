// The graphics context in an X11 window, through Xlib. Without a window it is exactly the
// headless context. With one it maps X events to the Platform* calls of IGraphics, draws on
// a timer at the context's frame rate and shows the draw bitmap with XPutImage (through
// MIT-SHM when the server offers it).
//
// Two ways to drive it, both on the thread that opened the window (the editor's thread):
//  - a program calls Run, which returns when the window is closed or a stop flag is set;
//  - a plug-in host calls Pump from its idle callback (an LV2 UI's idle interface, say):
//      graphics->OpenWindow(reinterpret_cast<void*>(parentWindowId));  // UI instantiate
//      if (!graphics->Pump()) ...;  // idle: the window went away (closed or destroyed)
//      graphics->CloseWindow();     // UI cleanup (safe when the parent is already gone)
// Each window has its own display connection, so a host's own Xlib use is never touched.
#pragma once
#include <atomic>
#include <functional>
#include <memory>

#include "framework/headless/IGraphicsHeadless.h"

struct IGraphicsX11Window;  // the open window's X resources

class IGraphicsX11 : public IGraphicsHeadless {
 public:
  IGraphicsX11(IPluginBase* pPlug, int w, int h, int fps = 0);
  ~IGraphicsX11() override;

  // A window of the context's size on $DISPLAY: top level, titled "Quillmar", fixed size,
  // when pParent is null; otherwise a child of the X window whose id pParent carries. Returns
  // the window id as a pointer, or null (no display, or the parent does not exist). A window
  // already open is closed first.
  void* OpenWindow(void* pParent) override;
  // Destroys the window and lets go of the display; any open text field or menu is cancelled.
  void CloseWindow() override;
  bool WindowIsOpen() const override;

  // Handles the window's events and draws at the frame rate until the window is closed (by
  // the user, or destroyed with its parent) or *stop becomes true (a signal handler may set
  // it). eachFrame, when given, runs after every timer tick. True when the window closed.
  bool Run(const std::atomic<bool>* stop = nullptr, const std::function<void()>& eachFrame = {});
  // One turn of a host's idle callback: handles every pending event, then draws one frame
  // when a tick is due. Never blocks. False once the window is gone.
  bool Pump();

  // Shows the rectangle of the draw bitmap in the window (when one is open), or the frame
  // written through DirectFrame.
  bool DrawScreen(IRECT* pR) override;
  // The window's shared image, when its pixels are 0x00RRGGBB words of the context's size.
  uint32_t* DirectFrame(int* stride, uint32_t* opaque) override;

  // ---- for tests and embedding ----
  unsigned long XWindow() const;  // 0 without a window
  bool IsMapped() const;          // the server has shown the window
  bool UsesSharedMemory() const;  // the frame goes through MIT-SHM

 private:
  void HandlePendingEvents();
  // A child window holds the keyboard focus exactly while a text field or menu is open.
  void UpdateFocus();
  void HandleEvent(void* event);  // an XEvent
  bool TickIfDue();

  std::unique_ptr<IGraphicsX11Window> mWin;
  long long mNextTickNs = 0;
};

// Makes X11 contexts: give it to SetGraphicsFactory in a program that wants windows.
IGraphics* MakeGraphicsX11(IPluginBase* pPlug, int w, int h, int fps);

// Whether $DISPLAY names a display that takes a connection (a program asks before it builds
// anything that needs a window).
bool x11_display_available();
