// The Audio Unit component's entry points, the only symbols the component exports: the
// factory function the bundle's Info.plist names (the AudioComponent API calls it for each new
// instance), the Component Manager entry of the same unit for hosts that open it that way, and
// the entry of its view component (the editor in a host's window).
#include <AudioUnit/AudioUnit.h>
#include <CoreServices/CoreServices.h>

#include "hosts/au/IPluginAU.h"
#include "hosts/au/IPluginAU_ViewFactory.h"
#include "plugin/Quillmar.h"

#if defined(QUILLMAR_COCOA)
#include "framework/mac/IGraphicsMac.h"
#else
#include "hosts/au/AUStandInView.h"
#endif

#define QUILLMAR_AU_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// Editors open through the platform layer of the build: Cocoa's (Apple's AppKit or
// GNUstep's), else a view record without a window system.
IPluginAU* MakeAUPlug() {
#if defined(QUILLMAR_COCOA)
  SetGraphicsFactory(&MakeGraphicsMac);
#else
  SetGraphicsFactory(&MakeAUStandInGraphics);
#endif
  return MakePlug();
}

}  // namespace

QUILLMAR_AU_EXPORT AudioComponentPlugInInterface* Quillmar_Factory(
    const AudioComponentDescription*) {
  return IPluginAU::NewPlugInInterface(&MakeAUPlug);
}

QUILLMAR_AU_EXPORT ComponentResult Quillmar_Entry(ComponentParameters* params, Handle storage) {
  return IPluginAU::Dispatch(params, storage, &MakeAUPlug);
}

QUILLMAR_AU_EXPORT ComponentResult Quillmar_ViewEntry(ComponentParameters* params, Handle) {
  return AUViewDispatch(params);
}
