#include "hosts/au/IPluginAU_ViewFactory.h"

#include "framework/IGraphics.h"
#include "hosts/au/IPluginAU_State.h"
#include "quillmar_version.h"

#if !defined(__APPLE__)
#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

#include <string>
#endif

#ifndef QUILLMAR_AU_VIEW_CLASS
#define QUILLMAR_AU_VIEW_CLASS "Quillmar_View"
#endif
#ifndef QUILLMAR_AU_BUNDLE_ID
#define QUILLMAR_AU_BUNDLE_ID "com.merrowind.audiounit.Quillmar"
#endif

namespace {

// Carbon view component selectors (Apple's newer headers no longer carry them).
enum { kCarbonViewCreateSelect = 0x0301 };

// The folder of the component: its bundle (X.component/, whose Contents/MacOS/ holds the
// code), found by the bundle's identifier on Apple and from the code's own path elsewhere; the
// code's folder when it lies in no bundle.
CFURLRef BundleLocation() {
#if defined(__APPLE__)
  CFBundleRef bundle = CFBundleGetBundleWithIdentifier(CFSTR(QUILLMAR_AU_BUNDLE_ID));
  return bundle ? CFBundleCopyBundleURL(bundle) : nullptr;
#else
  Dl_info info;
  // dladdr of a function of this code always succeeds and names its file.
  if (!dladdr(reinterpret_cast<void*>(&BundleLocation), &info) || !info.dli_fname) return nullptr;  // mutate: skip logical (dladdr of a function of this code always succeeds and names its file)
  char real[PATH_MAX];
  if (!realpath(info.dli_fname, real)) return nullptr;
  std::string dir(real);
  dir.erase(dir.rfind('/') + 1);
  const std::string code = "/Contents/MacOS/";
  if (dir.size() > code.size() && dir.compare(dir.size() - code.size(), code.size(), code) == 0)
    dir.erase(dir.size() - code.size());  // the URL below is a folder's: it ends in '/' 
  CFStringRef path = AUMakeCFString(dir.c_str());
  CFURLRef url =
      CFURLCreateWithFileSystemPath(kCFAllocatorDefault, path, kCFURLPOSIXPathStyle, true);
  CFRelease(path);
  return url;
#endif
}

}  // namespace

const char* AUViewClassName() { return QUILLMAR_AU_VIEW_CLASS; }

bool AUFillCocoaViewInfo(AudioUnitCocoaViewInfo* info) {
  CFURLRef location = BundleLocation();
  if (!location) return false;
  info->mCocoaAUViewBundleLocation = location;
  info->mCocoaAUViewClass[0] = AUMakeCFString(AUViewClassName());
  return true;
}

IPluginAU* AUViewPlugin(void* audioUnit) {
  // Through the unit's own property, whichever way it was opened (instance storage belongs to
  // the Component Manager's instances only).
  IPluginAU* plug = nullptr;
  UInt32 size = sizeof plug;
  if (AudioUnitGetProperty(static_cast<AudioUnit>(audioUnit), kAUPlugInProperty,
                           kAudioUnitScope_Global, 0, &plug, &size) != noErr)
    return nullptr;
  return AUOpenPlugin(plug);
}

void* AUOpenEditorView(void* audioUnit, void* parent) {
  IPluginAU* plug = AUViewPlugin(audioUnit);
  IGraphics* gui = plug ? plug->GetGUI() : nullptr;
  return gui ? gui->OpenWindow(parent) : nullptr;
}

// The view component: opened and closed like any component; its create selector opens the
// unit's editor inside the host's window and returns the view as the control.
int AUViewDispatch(ComponentParameters* params) {
  if (!params) return kAudio_ParamError;
  switch (params->what) {
    case kComponentOpenSelect:
    case kComponentCloseSelect: return noErr;
    case kComponentVersionSelect: return QUILLMAR_UNIT_VERSION;
    case kComponentCanDoSelect: {
      const int select = Arg<SInt16>(params, 0);
      return select == kComponentOpenSelect || select == kComponentCloseSelect ||
             select == kComponentCanDoSelect || select == kComponentVersionSelect ||
             select == kCarbonViewCreateSelect;
    }
    case kCarbonViewCreateSelect: {
      // After the view component's instance: unit, window, parent control, location, size,
      // control out.
      void** pControl = Arg<void**>(params, 5);
      if (!pControl) return kAudio_ParamError;
      *pControl = nullptr;
      void* unit = Arg<void*>(params, 0);
      if (!AUViewPlugin(unit)) return badComponentInstance;
      void* view = AUOpenEditorView(unit, Arg<void*>(params, 1));  // mutate: skip constant (the stand-in's view takes no parent window)
      if (!view) return kAudio_UnimplementedError;
      *pControl = view;
      return noErr;
    }
    default: return badComponentSelector;
  }
}
