// The Audio Unit's editor view, apart from the Objective-C view class of the Apple build: what
// the CocoaUI property tells the host, and the view factory's decision. Everything here runs on
// the host's main thread.
#pragma once

class IPluginAU;
struct AudioUnitCocoaViewInfo;

// The name of the Cocoa view factory class.
const char* AUViewClassName();

// Fills the CocoaUI record with the bundle's location and the view class name, each retained
// for the host, which releases them. False (record untouched) when the location is unknown.
bool AUFillCocoaViewInfo(AudioUnitCocoaViewInfo* info);

// The plug-in behind an Audio Unit, from the unit's instance storage; null for a null unit or
// one without a plug-in.
IPluginAU* AUViewPlugin(void* audioUnit);

// The factory's decision: opens the editor of the plug-in behind the unit inside parent (null:
// a window of its own) and returns the platform view, or null when there is no plug-in or the
// plug-in has no graphics context.
void* AUOpenEditorView(void* audioUnit, void* parent);

struct ComponentParameters;
// The view component's selectors (Quillmar_ViewEntry): open, close, can-do, version and the
// Carbon view's create, which opens the editor inside the host's window.
int AUViewDispatch(ComponentParameters* params);
