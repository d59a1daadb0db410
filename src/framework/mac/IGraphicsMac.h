// The graphics context in a Cocoa view: AppKit's on a Mac, GNUstep's AppKit on X11 (make
// mac-view). Without a view it is exactly the headless context. OpenWindow makes the view
// (IGraphicsCocoa, an NSView): it shows the draw bitmap through an NSBitmapImageRep, redraws
// on an NSTimer at the frame rate, turns Cocoa's mouse, wheel and key events into the context's,
// gives value entry as an NSTextField over the control and menus as an NSMenu, and shows the
// controls' tool tips. This header is plain C++: only the layer's own sources see AppKit.
//
// Threads: everything on the main thread, AppKit's: a host's view factory calls OpenWindow
// there, and the view's events, timer and drawing come there.
#pragma once
#include "framework/headless/IGraphicsHeadless.h"

class IGraphicsMac : public IGraphicsHeadless {
 public:
  IGraphicsMac(IPluginBase* pPlug, int w, int h, int fps = 0);
  // Lets go of an open view first (CloseWindow).
  ~IGraphicsMac() override;

  // A new view of the context's size, autoreleased as a Cocoa factory hands views out: the
  // window or superview that shows it keeps it. Added to pParent (an NSView*) when given. A
  // view already open is closed first. Null when no view can be made.
  void* OpenWindow(void* pParent) override;
  // Takes the view out of its superview and lets go of it: its timer stops, an open text field
  // or menu goes, and the view draws and dispatches nothing more, even where a host still
  // holds it.
  void CloseWindow() override;
  bool WindowIsOpen() const override { return mView != nullptr; }
  // Draws the whole draw bitmap at the view's origin (from the view's drawRect:, where the
  // view's graphics context is current).
  bool DrawScreen(IRECT* pR) override;

  // The open view (an IGraphicsCocoa*), or null.
  void* View() const { return mView; }
  // From the view: its window closed, or the view was released; the context lets go of it and
  // ends what was under way there (a drag, a text entry).
  void ViewClosed();

 protected:
  void CreateTextEntry(IControl* pControl, const IText& text, IRECT* pR, const char* str,
                       IParam* pParam) override;
  void CreateIPopupMenu(IControl* pControl, IParam* pParam, IPopupMenu* pMenu, IRECT* pR) override;

 private:
  void* mView = nullptr;  // not retained: the window or superview showing it owns it
};

// Makes Cocoa contexts: give it to SetGraphicsFactory where editors open in Cocoa.
IGraphics* MakeGraphicsMac(IPluginBase* pPlug, int w, int h, int fps);
