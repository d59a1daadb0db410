#import "framework/mac/IGraphicsCocoa.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "framework/IControl.h"
#include "framework/IGraphics.h"
#include "framework/IParam.h"
#include "framework/IPluginBase.h"
#include "framework/bitmap/RasterBitmap.h"
#include "framework/mac/IGraphicsMac.h"

namespace {

const char* const kDoubleChars = "0123456789.-+";
const char* const kIntegerChars = "0123456789-+";

// The context's pixels (top left, y down) as the view's rectangle (y up).
NSRect ToNSRect(const IGraphicsMac* g, const IRECT& r) {
  return NSMakeRect(r.L, g->Height() - r.B, r.W(), r.H());
}

// A view rectangle as the context's pixels, grown to whole pixels.
IRECT ToIRECT(const IGraphicsMac* g, NSRect r) {
  const int l = static_cast<int>(NSMinX(r)), r_ = static_cast<int>(NSMaxX(r) + 0.999);
  const int top = g->Height() - static_cast<int>(NSMaxY(r) + 0.999);
  const int bottom = g->Height() - static_cast<int>(NSMinY(r));
  return IRECT(l, top, r_, bottom);
}

// L on every mouse event; R with the right button or the Command key; S, C, A with Shift,
// Control and Option.
IMouseMod Modifiers(NSEvent* e, bool rightButton) {
  const NSUInteger f = [e modifierFlags];
  return IMouseMod(true, rightButton || (f & QM_COCOA_COMMAND_KEY), f & QM_COCOA_SHIFT_KEY,
                   f & QM_COCOA_CONTROL_KEY, f & QM_COCOA_OPTION_KEY);
}

// A key as the context takes it: arrows and editing keys by name, printable ASCII as itself.
EVirtualKey VirtualKey(NSEvent* e, char* ch) {
  *ch = 0;
  NSString* s = [e charactersIgnoringModifiers];
  const unichar c = [s length] ? [s characterAtIndex:0] : 0;
  switch (c) {
    case NSUpArrowFunctionKey: return VK_UP;
    case NSDownArrowFunctionKey: return VK_DOWN;
    case NSLeftArrowFunctionKey: return VK_LEFT;
    case NSRightArrowFunctionKey: return VK_RIGHT;
    case NSHomeFunctionKey: return VK_HOME;
    case NSEndFunctionKey: return VK_END;
    case NSDeleteFunctionKey: return VK_DELETE;
    case '\r':
    case 3: return VK_RETURN;
    case 27: return VK_ESCAPE;
    case 8:
    case 127: return VK_BACK;
    default: break;
  }
  if (c >= 0x20 && c < 0x7f) {
    *ch = static_cast<char>(c);
    return VK_CHAR;
  }
  return VK_OTHER;
}

// The context a view serves (mContext), typed.
IGraphicsMac* Ctx(void* context) { return static_cast<IGraphicsMac*>(context); }

NSString* Text(const char* s) { return [NSString stringWithUTF8String:s ? s : ""]; }

NSColor* Colour(const IColor& c) {
  return [NSColor colorWithCalibratedRed:c.R / 255.0 green:c.G / 255.0 blue:c.B / 255.0 alpha:c.A / 255.0];
}

}  // namespace

// The timer's target. The timer keeps it, not the view, so that a view whose window goes away
// is released even before its timer is stopped; the view stops it when it leaves its window.
@interface IGraphicsCocoaTimer : NSObject {
  IGraphicsCocoa* mView;  // not retained
}
- (id)initWithView:(IGraphicsCocoa*)view;
- (void)detach;
- (void)tick:(NSTimer*)timer;
@end

@interface IGraphicsCocoa (Private)
- (void)timerTick;
- (void)startInWindow;
- (void)stopInWindow;
- (void)windowWillClose:(NSNotification*)note;
- (void)endTextEntry:(BOOL)accept;
- (void)removeToolTips;
- (BOOL)mouseX:(int*)x y:(int*)y of:(NSEvent*)e;
- (void)press:(NSEvent*)e right:(bool)right;
- (void)releaseButton:(NSEvent*)e right:(bool)right;
- (void)move:(NSEvent*)e right:(bool)right buttonDown:(bool)down;
@end

@implementation IGraphicsCocoaTimer
- (id)initWithView:(IGraphicsCocoa*)view {
  self = [super init];
  if (self) mView = view;
  return self;
}
- (void)detach {
  mView = nil;
}
- (void)tick:(NSTimer*)timer {
  (void)timer;
  [mView timerTick];
}
@end

@implementation IGraphicsCocoa

- (id)initWithGraphics:(void*)context {
  IGraphicsMac* graphics = static_cast<IGraphicsMac*>(context);
  const int w = graphics->Width(), h = graphics->Height();
  self = [super initWithFrame:NSMakeRect(0, 0, w, h)];
  if (!self) return nil;
  mContext = graphics;
  // Four 8-bit samples a pixel, alpha last and always opaque: the layout both AppKits draw.
  mRep = [[NSBitmapImageRep alloc] initWithBitmapDataPlanes:NULL
                                                 pixelsWide:w
                                                 pixelsHigh:h
                                              bitsPerSample:8
                                            samplesPerPixel:4
                                                   hasAlpha:YES
                                                   isPlanar:NO
                                             colorSpaceName:NSDeviceRGBColorSpace
                                                bytesPerRow:w * 4
                                               bitsPerPixel:32];
  if (!mRep) {
    [self release];
    return nil;
  }
  // The controls' tool tips, by the control's index.
  for (int i = 0; i < graphics->GetNControls(); ++i) {
    IControl* c = graphics->GetControl(i);
    const char* tip = c->GetTooltip();
    if (tip && tip[0] && !c->GetTargetRECT().Empty())
      [self addToolTipRect:ToNSRect(graphics, c->GetTargetRECT()) owner:self userData:reinterpret_cast<void*>(static_cast<intptr_t>(i))];
  }
  return self;
}

- (void)dealloc {
  [self stopInWindow];
  if (IGraphicsMac* g = Ctx(mContext)) g->ViewClosed();
  mContext = nullptr;
  [mRep release];
  [super dealloc];
}

- (void)detach {
  [self stopInWindow];
  mContext = nullptr;
  [self removeToolTips];
  [self removeFromSuperview];  // may release the view
}

// ---- window life ----

- (void)viewWillMoveToWindow:(NSWindow*)window {
  if ([self window] && window != [self window]) [self stopInWindow];
  [super viewWillMoveToWindow:window];
}

- (void)viewDidMoveToWindow {
  [super viewDidMoveToWindow];
  if ([self window] && Ctx(mContext)) [self startInWindow];
}

- (void)startInWindow {
  NSWindow* w = [self window];
  if (!mTimer) {
    mTimerTarget = [[IGraphicsCocoaTimer alloc] initWithView:self];
    mTimer = [[NSTimer timerWithTimeInterval:1.0 / Ctx(mContext)->FPS()
                                      target:mTimerTarget
                                    selector:@selector(tick:)
                                    userInfo:nil
                                     repeats:YES] retain];
    QMCocoaScheduleInCommonModes(mTimer);
  }
  [w setAcceptsMouseMovedEvents:YES];
  if (!mTrackingRect) mTrackingRect = [self addTrackingRect:[self bounds] owner:self userData:NULL assumeInside:NO];
  if (mObservedWindow != w) {
    [[NSNotificationCenter defaultCenter] removeObserver:self];
    mObservedWindow = w;
    [[NSNotificationCenter defaultCenter] addObserver:self
                                             selector:@selector(windowWillClose:)
                                                 name:NSWindowWillCloseNotification
                                               object:w];
  }
}

- (void)stopInWindow {
  [self endTextEntry:NO];
  if (mTimer) {
    [mTimer invalidate];
    [mTimer release];
    mTimer = nil;
    [mTimerTarget detach];
    [mTimerTarget release];
    mTimerTarget = nil;
  }
  if (mTrackingRect) {
    [self removeTrackingRect:mTrackingRect];
    mTrackingRect = 0;
  }
  if (mObservedWindow) {
    [[NSNotificationCenter defaultCenter] removeObserver:self];
    mObservedWindow = nil;
  }
}

// The host closes the window the view is in: the view stops and the context lets go of it.
- (void)windowWillClose:(NSNotification*)note {
  (void)note;
  [self stopInWindow];
  IGraphicsMac* g = Ctx(mContext);
  mContext = nullptr;
  if (g) g->ViewClosed();
}

// ---- drawing ----

- (BOOL)isOpaque {
  return YES;
}

- (void)timerTick {
  IGraphicsMac* g = Ctx(mContext);
  if (!g || mMenuUp) return;
  if (IPluginBase* plug = g->GetPlug()) plug->OnIdle();
  IRECT r;
  if (g->IsDirty(&r)) [self setNeedsDisplayInRect:ToNSRect(g, r)];
}

- (void)drawRect:(NSRect)rect {
  IGraphicsMac* g = Ctx(mContext);
  if (!g) return;
  IRECT r = ToIRECT(g, rect);
  mInDrawRect = YES;
  g->Draw(&r);
  mInDrawRect = NO;
}

- (void)drawBitmap {
  IGraphicsMac* g = Ctx(mContext);
  if (!g || !mInDrawRect) return;
  const RasterBitmap* b = g->GetDrawBitmap();
  const int w = static_cast<int>([mRep pixelsWide]), h = static_cast<int>([mRep pixelsHigh]);
  if (!b || b->Width() != w || b->Height() != h) return;
  unsigned char* dst = [mRep bitmapData];
  const srgb_t* src = b->Pixels();
  for (int i = 0; i < w * h; ++i, dst += 4) {
    dst[0] = src[i].r;
    dst[1] = src[i].g;
    dst[2] = src[i].b;
    dst[3] = 255;
  }
  [mRep drawInRect:NSMakeRect(0, 0, w, h)];
}

// ---- mouse and keys ----

- (BOOL)acceptsFirstResponder {
  return YES;
}

- (BOOL)acceptsFirstMouse:(NSEvent*)e {
  (void)e;
  return YES;
}

// The context's pixels of an event: x = px - 2, y = height - py - 3, with (px, py) the
// event's place in the view (y up), as the editor has always placed the pointer.
- (BOOL)mouseX:(int*)x y:(int*)y of:(NSEvent*)e {
  IGraphicsMac* g = Ctx(mContext);
  if (!g) return NO;
  const NSPoint p = [self convertPoint:[e locationInWindow] fromView:nil];
  *x = static_cast<int>(p.x) - 2;
  *y = g->Height() - static_cast<int>(p.y) - 3;
  return YES;
}

- (void)press:(NSEvent*)e right:(bool)right {
  int x, y;
  if (![self mouseX:&x y:&y of:e]) return;
  mSwallowRelease = NO;
  const int button = right ? 2 : 1;
  // A third press starts counting again.
  const bool dbl = [e clickCount] >= 2 && mLastPress == button && !mLastWasDouble;
  mLastPress = button;
  mLastWasDouble = dbl;
  // A press outside an open field closes it and goes no further.
  if (mTextField) {
    [self endTextEntry:NO];
    mSwallowRelease = YES;
    return;
  }
  mPromptOpened = NO;
  const IMouseMod mod = Modifiers(e, right);
  Ctx(mContext)->PlatformMousePress(x, y, mod, dbl);
  // A menu it opened ran modally and took the release; a field it opened lies under the
  // pointer and may take it: the press ends here, and its release goes nowhere.
  if (IGraphicsMac* g = mPromptOpened ? Ctx(mContext) : nullptr) {
    g->PlatformMouseUp(x, y, mod);
    mSwallowRelease = YES;
  }
}

- (void)releaseButton:(NSEvent*)e right:(bool)right {
  int x, y;
  if (![self mouseX:&x y:&y of:e]) return;
  if (mSwallowRelease) {
    mSwallowRelease = NO;
    return;
  }
  Ctx(mContext)->PlatformMouseUp(x, y, Modifiers(e, right));
}

- (void)move:(NSEvent*)e right:(bool)right buttonDown:(bool)down {
  int x, y;
  if (![self mouseX:&x y:&y of:e]) return;
  if (down && mTextField) return;  // no drags while a field is open
  Ctx(mContext)->PlatformMouseMove(x, y, Modifiers(e, right), down);
}

- (void)mouseDown:(NSEvent*)e {
  [self press:e right:false];
}
- (void)rightMouseDown:(NSEvent*)e {
  [self press:e right:true];
}
- (void)mouseUp:(NSEvent*)e {
  [self releaseButton:e right:false];
}
- (void)rightMouseUp:(NSEvent*)e {
  [self releaseButton:e right:true];
}
- (void)mouseDragged:(NSEvent*)e {
  [self move:e right:false buttonDown:true];
}
- (void)rightMouseDragged:(NSEvent*)e {
  [self move:e right:true buttonDown:true];
}
- (void)mouseMoved:(NSEvent*)e {
  [self move:e right:false buttonDown:false];
}
- (void)mouseExited:(NSEvent*)e {
  (void)e;
  if (IGraphicsMac* g = Ctx(mContext)) g->PlatformMouseLeave();
}

// A wheel step first ends an open field; the delta is the event's, truncated.
- (void)scrollWheel:(NSEvent*)e {
  int x, y;
  if (![self mouseX:&x y:&y of:e]) return;
  [self endTextEntry:NO];
  mLastPress = 0;
  mLastWasDouble = NO;
  Ctx(mContext)->PlatformMouseWheel(x, y, Modifiers(e, false), static_cast<int>([e deltaY]));
}

// Keys the context does not take go on to the next responder (the host).
- (void)keyDown:(NSEvent*)e {
  char ch = 0;
  const EVirtualKey vk = VirtualKey(e, &ch);
  IGraphicsMac* g = Ctx(mContext);
  if (!g || !g->PlatformKey(vk, ch)) [super keyDown:e];
}

// ---- tool tips ----

- (void)removeToolTips {
  [self removeAllToolTips];
}

- (NSString*)view:(NSView*)view
    stringForToolTip:(NSToolTipTag)tag
               point:(NSPoint)point
            userData:(void*)data {
  (void)view;
  (void)tag;
  (void)point;
  IGraphicsMac* g = Ctx(mContext);
  IControl* c = g ? g->GetControl(static_cast<int>(reinterpret_cast<intptr_t>(data))) : nullptr;
  return c ? Text(c->GetTooltip()) : @"";
}

// ---- value entry ----

- (void)openTextEntry:(IControl*)control
                param:(IParam*)param
                style:(const IText*)style
                 rect:(IRECT)r
                 text:(const char*)str {
  [self endTextEntry:NO];
  NSWindow* w = [self window];
  if (!w || !Ctx(mContext)) return;
  mEdControl = control;
  mEdParam = param;
  mEdOriginal = [Text(str) retain];
  mEdAllowed = param->Type() == IParam::kTypeDouble ? kDoubleChars : kIntegerChars;
  // The whole text fits even where it is longer than the control's entry length.
  mEdMaxLength = std::max(control->GetTextEntryLength(), static_cast<int>(std::strlen(str ? str : "")));
  mTextField = [[NSTextField alloc] initWithFrame:ToNSRect(Ctx(mContext), r)];
  NSFont* font = [NSFont fontWithName:Text(style->mFont) size:0.9 * style->mSize];
  [mTextField setFont:font ? font : [NSFont userFontOfSize:0.9 * style->mSize]];
  [mTextField setAlignment:style->mAlign == IText::kAlignNear ? NSTextAlignmentLeft
                           : style->mAlign == IText::kAlignFar ? NSTextAlignmentRight
                                                                : NSTextAlignmentCenter];
  [mTextField setBackgroundColor:Colour(style->mTextEntryBGColor)];
  [mTextField setTextColor:Colour(style->mTextEntryFGColor)];
  [mTextField setDrawsBackground:YES];
  [mTextField setStringValue:mEdOriginal];
  [mTextField setDelegate:(id)self];
  [mTextField setTarget:self];
  [mTextField setAction:@selector(textEntered:)];
  [self addSubview:mTextField];
  mPromptOpened = YES;
  // The field takes the keys while it is open, with its whole text selected so that typing
  // replaces it; the focus goes back where it was when it closes.
  mEdPreviousResponder = [[w firstResponder] retain];
  [w makeFirstResponder:mTextField];
  [mTextField selectText:nil];
}

- (void)endTextEntry:(BOOL)accept {
  if (!mTextField) return;
  NSTextField* field = mTextField;
  mTextField = nil;  // first: what follows may end editing, which calls back here
  NSString* text = [[[field stringValue] copy] autorelease];
  IControl* control = mEdControl;
  IParam* param = mEdParam;
  const BOOL edited = ![text isEqualToString:mEdOriginal];
  [field setDelegate:nil];
  [field setTarget:nil];
  [field abortEditing];
  [field removeFromSuperview];
  // Autoreleased: this may run inside the field's own end-of-editing or action code.
  [field autorelease];
  [mEdOriginal release];
  mEdOriginal = nil;
  NSWindow* w = [self window];
  if (w) [w makeFirstResponder:mEdPreviousResponder ? mEdPreviousResponder : self];
  [mEdPreviousResponder release];
  mEdPreviousResponder = nil;
  // Enter on an unedited field leaves the value exactly as it was.
  IGraphicsMac* g = Ctx(mContext);
  if (accept && edited && g) g->SetFromStringAfterPrompt(control, param, [text UTF8String]);
  [self setNeedsDisplay:YES];
}

- (void)textEntered:(id)sender {
  (void)sender;
  [self endTextEntry:YES];
}

// Only the characters the parameter's type allows, up to the field's length.
- (void)controlTextDidChange:(NSNotification*)note {
  (void)note;
  if (!mTextField) return;
  NSText* editor = [[self window] fieldEditor:NO forObject:mTextField];
  NSString* text = editor ? [editor string] : [mTextField stringValue];
  std::string kept;
  for (NSUInteger i = 0; i < [text length]; ++i) {
    const unichar c = [text characterAtIndex:i];
    if (c < 0x80 && c && std::strchr(mEdAllowed, static_cast<char>(c)) &&
        static_cast<int>(kept.size()) < mEdMaxLength)
      kept += static_cast<char>(c);
  }
  NSString* allowed = Text(kept.c_str());
  if ([allowed isEqualToString:text]) return;
  if (editor) {
    [editor setString:allowed];
    [(NSTextView*)editor setSelectedRange:NSMakeRange([allowed length], 0)];
  } else {
    [mTextField setStringValue:allowed];
  }
}

// Editing ended: by Enter (the field's action may come before or after this), or by the
// focus going elsewhere, which cancels.
- (void)controlTextDidEndEditing:(NSNotification*)note {
  NSNumber* movement = [[note userInfo] objectForKey:@"NSTextMovement"];
  [self endTextEntry:movement && [movement intValue] == NSReturnTextMovement];
}

// Escape cancels (AppKit sends cancelOperation:, GNUstep's key bindings complete:).
- (BOOL)control:(NSControl*)control textView:(NSTextView*)textView doCommandBySelector:(SEL)command {
  (void)control;
  (void)textView;
  if (sel_isEqual(command, @selector(cancelOperation:)) || sel_isEqual(command, @selector(complete:))) {
    [self endTextEntry:NO];
    return YES;
  }
  return NO;
}

// ---- menus ----

- (int)runMenu:(const IPopupMenu*)menu rect:(IRECT)r {
  [self endTextEntry:NO];
  NSWindow* w = [self window];
  if (!w || !Ctx(mContext)) return -1;
  NSMenu* m = [[NSMenu alloc] initWithTitle:@""];
  [m setAutoenablesItems:NO];
  for (int i = 0; i < menu->NItems(); ++i) {
    NSMenuItem* item = [m addItemWithTitle:Text(menu->GetItemText(i))
                                    action:@selector(menuChosen:)
                             keyEquivalent:@""];
    [item setTarget:self];
    [item setTag:i];
    [item setEnabled:YES];
    if (menu->IsItemChecked(i)) [item setState:NSOnState];
  }
  mMenuChoice = -1;
  const NSPoint at = [self convertPoint:NSMakePoint(r.L, Ctx(mContext)->Height() - r.T) toView:nil];
  NSEvent* e = [NSEvent mouseEventWithType:QM_COCOA_RIGHT_MOUSE_DOWN
                                  location:at
                             modifierFlags:0
                                 timestamp:0
                              windowNumber:[w windowNumber]
                                   context:nil
                               eventNumber:0
                                clickCount:1
                                  pressure:1];
  // The frame stands still while the menu is up (GNUstep's cairo back end does not return
  // from drawing the view while its menu tracks the mouse).
  mMenuUp = YES;
  [NSMenu popUpContextMenu:m withEvent:e forView:self];
  mMenuUp = NO;
  [m release];
  mPromptOpened = YES;
  return mMenuChoice;
}

- (void)menuChosen:(id)sender {
  mMenuChoice = static_cast<int>([sender tag]);
}

@end






