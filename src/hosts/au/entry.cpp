// The Audio Unit component's two entry points, the only symbols the component exports: the
// unit (every Audio Unit selector) and its view component (the editor in a host's window).
#include <CoreServices/CoreServices.h>

#include "hosts/au/IPluginAU.h"
#include "hosts/au/IPluginAU_ViewFactory.h"
#include "plugin/Quillmar.h"

#if !defined(__APPLE__)
#include "hosts/au/AUStandInView.h"
#endif

#define QUILLMAR_AU_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// Editors open through the platform layer of the build.
IPluginAU* MakeAUPlug() {
#if !defined(__APPLE__)
  SetGraphicsFactory(&MakeAUStandInGraphics);
#endif
  return MakePlug();
}

}  // namespace

QUILLMAR_AU_EXPORT ComponentResult Quillmar_Entry(ComponentParameters* params, Handle storage) {
  return IPluginAU::Dispatch(params, storage, &MakeAUPlug);
}

QUILLMAR_AU_EXPORT ComponentResult Quillmar_ViewEntry(ComponentParameters* params, Handle) {
  return AUViewDispatch(params);
}
