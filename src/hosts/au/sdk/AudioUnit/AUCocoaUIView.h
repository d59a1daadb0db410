// Stand-in for Apple's AUCocoaUIView.h: the protocol of an Audio Unit's Cocoa view factory, the
// class a host finds by the name the CocoaUI property gives and asks for the unit's view.
// Objective-C; built against GNUstep's AppKit here. Never compiled on Apple.
#pragma once
#import <Cocoa/Cocoa.h>

#include <AudioUnit/AudioUnit.h>

@protocol AUCocoaUIBase
- (unsigned)interfaceVersion;
- (NSView*)uiViewForAudioUnit:(AudioUnit)inAudioUnit withSize:(NSSize)inPreferredSize;
@end
