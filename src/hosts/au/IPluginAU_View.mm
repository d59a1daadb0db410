// The Cocoa view factory (Objective-C++): built against Apple's AppKit on a Mac and against
// GNUstep's here (make mac-view). A host reads the CocoaUI property, loads this class from the
// bundle and asks it for the editor's view; the decision is the factory's (IPluginAU_ViewFactory), the view
// the graphics context's platform layer. The class name is the CocoaUI property's
// (QUILLMAR_AU_VIEW_CLASS); it is unique to this plug-in, as Objective-C classes share one
// name space per process. Main thread only.
#import <AudioUnit/AUCocoaUIView.h>
#import <Cocoa/Cocoa.h>

#include "hosts/au/IPluginAU.h"
#include "hosts/au/IPluginAU_ViewFactory.h"

@interface Quillmar_View : NSObject <AUCocoaUIBase> {
  IPluginAU* mPlug;  // the plug-in served, null until a view was asked for
}
- (NSView*)uiViewForAudioUnit:(AudioUnit)audioUnit withSize:(NSSize)preferredSize;
- (unsigned)interfaceVersion;
- (NSString*)description;
@end

@implementation Quillmar_View

- (id)init {
  self = [super init];
  if (self) mPlug = nullptr;
  return self;
}

// Nothing without a plug-in behind the unit or without a graphics context; otherwise the
// context opens its window with no parent and its view is returned.
- (NSView*)uiViewForAudioUnit:(AudioUnit)audioUnit withSize:(NSSize)preferredSize {
  (void)preferredSize;
  mPlug = AUViewPlugin(audioUnit);
  return mPlug ? static_cast<NSView*>(AUOpenEditorView(audioUnit, nullptr)) : nil;
}

- (unsigned)interfaceVersion {
  return 0;
}

- (NSString*)description {
  return @"Quillmar View";
}

@end
