// Where Apple's AppKit and GNUstep's differ for this layer, each behind a name that says so.
// GNUstep knows only the names AppKit used before macOS 10.12 for event types and modifier
// flags (Apple still has those too, but marks them deprecated), and it takes the common modes
// of a run loop for a mode of their own name, in which its event loop never runs. Everything
// else the layer uses is the same class and call on both.
#pragma once
#import <Cocoa/Cocoa.h>

#if defined(GNUSTEP)
#define QM_COCOA_SHIFT_KEY NSShiftKeyMask
#define QM_COCOA_CONTROL_KEY NSControlKeyMask
#define QM_COCOA_OPTION_KEY NSAlternateKeyMask
#define QM_COCOA_COMMAND_KEY NSCommandKeyMask
#define QM_COCOA_RIGHT_MOUSE_DOWN NSRightMouseDown
#else
#define QM_COCOA_SHIFT_KEY NSEventModifierFlagShift
#define QM_COCOA_CONTROL_KEY NSEventModifierFlagControl
#define QM_COCOA_OPTION_KEY NSEventModifierFlagOption
#define QM_COCOA_COMMAND_KEY NSEventModifierFlagCommand
#define QM_COCOA_RIGHT_MOUSE_DOWN NSEventTypeRightMouseDown
#endif

// Schedules a timer in the run loop's common modes: it fires also while the host tracks a menu
// or runs a modal panel.
static inline void QMCocoaScheduleInCommonModes(NSTimer* timer) {
  NSRunLoop* loop = [NSRunLoop currentRunLoop];
#if defined(GNUSTEP)
  [loop addTimer:timer forMode:NSDefaultRunLoopMode];
  [loop addTimer:timer forMode:NSEventTrackingRunLoopMode];
  [loop addTimer:timer forMode:NSModalPanelRunLoopMode];
#else
  [loop addTimer:timer forMode:NSRunLoopCommonModes];
#endif
}
