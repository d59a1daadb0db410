// The Cocoa view of IGraphicsMac (Objective-C++; only the layer's own sources include it). It
// shows the context's draw bitmap, runs its timer while it is in a window, and hands Cocoa's
// events to the context. It never owns the context: the context lets go of it when it closes,
// and it tells the context when its window closes or it is released. Main thread only.
#pragma once
#import "framework/mac/CocoaPlatform.h"

#include "framework/IGraphicsTypes.h"

class IControl;
class IGraphicsMac;
class IParam;
class IPopupMenu;

// Objective-C classes share one name space per process: the layer's classes carry the
// product's name, so that two plug-ins built on this framework never meet in one host.
#define IGraphicsCocoa Quillmar_IGraphicsCocoa
#define IGraphicsCocoaTimer Quillmar_IGraphicsCocoaTimer

@class IGraphicsCocoaTimer;

@interface IGraphicsCocoa : NSView {
  // The IGraphicsMac served, null once closed. Untyped here: GCC cannot write the type of a
  // C++ class holding a std::function into the class's Objective-C type strings.
  void* mContext;
  NSBitmapImageRep* mRep;         // the draw bitmap as AppKit draws it
  NSTimer* mTimer;                // at the frame rate while in a window
  IGraphicsCocoaTimer* mTimerTarget;
  NSWindow* mObservedWindow;      // the window whose closing closes the view
  NSTrackingRectTag mTrackingRect;
  BOOL mInDrawRect;
  // Value entry: the field, what it edits and its text when opened, and the first responder
  // the focus goes back to (retained while the field is open).
  NSTextField* mTextField;
  IControl* mEdControl;
  IParam* mEdParam;
  NSString* mEdOriginal;
  const char* mEdAllowed;
  int mEdMaxLength;
  NSResponder* mEdPreviousResponder;
  // A press that closed the field, or opened a field or a menu: the release that follows goes
  // nowhere (the press ended at once).
  BOOL mSwallowRelease;
  BOOL mPromptOpened;
  // The button of the last press in this view (1 left, 2 right, 0 none since a wheel step):
  // a double-click is two presses of the same button, whatever clickCount counted between.
  int mLastPress;
  BOOL mLastWasDouble;
  BOOL mMenuUp;
  int mMenuChoice;
}

// graphics: the IGraphicsMac served, untyped as mContext is.
- (id)initWithGraphics:(void*)graphics;
// The context closes: the view stops, leaves its superview and dispatches nothing more.
- (void)detach;
// From the context's DrawScreen, inside drawRect:: the whole draw bitmap at the origin.
- (void)drawBitmap;
// An NSTextField over r (the context's top-left pixels) with str selected; Enter gives its
// text to the context, Escape or the focus going elsewhere cancels.
- (void)openTextEntry:(IControl*)control
                param:(IParam*)param
                style:(const IText*)style
                 rect:(IRECT)r
                 text:(const char*)str;
// An NSMenu of the items at r's top-left corner, run until the user chooses or dismisses it;
// the chosen item's index, or -1.
- (int)runMenu:(const IPopupMenu*)menu rect:(IRECT)r;
@end
