// The unit as a version 2 Audio Unit: the plug-in interface the factory function returns. The
// system calls its Open with the new instance, its Lookup for the method of each selector, each
// method with the interface itself as self, and its Close when the instance is disposed. Every
// method hands its arguments to Dispatch as the Component Manager would, so that both ways of
// opening the unit run the same code.
#include <new>

#include "hosts/au/IPluginAU_State.h"

namespace {

struct PlugInInstance {
  AudioComponentPlugInInterface mInterface;  // first: the system hands its address back as self
  IPluginAU* (*mMakePlug)() = nullptr;
  AudioUnit mInstance = nullptr;
  IPluginAU* mPlug = nullptr;
};

PlugInInstance* Self(void* self) { return static_cast<PlugInInstance*>(self); }

OSStatus Open(void* self, AudioComponentInstance instance) {
  PlugInInstance* p = Self(self);
  if (!p || !instance || p->mPlug) return kAudio_ParamError;
  p->mPlug = AUOpen(instance, false, p->mMakePlug);
  if (!p->mPlug) return kAudio_MemFullError;
  p->mInstance = instance;  // mutate: skip (only the open selector reads the instance slot, and it never comes through a method)
  return noErr;
}

// Also after a failed Open.
OSStatus Close(void* self) {
  PlugInInstance* p = Self(self);
  if (!p) return kAudio_ParamError;
  AUClose(p->mPlug);
  delete p;
  return noErr;
}

// The method of a selector, typed as Apple's method type Proc: its arguments go to Dispatch in
// the Component Manager's layout. Without a plug-in (a failed Open) Dispatch refuses them.
template <class Proc, SInt16 kSelect>
struct Method;
template <SInt16 kSelect, class... A>
struct Method<OSStatus (*)(void*, A...), kSelect> {
  static OSStatus Call(void* self, A... args) {
    PlugInInstance* p = Self(self);
    AUComponentCall call(p->mInstance, kSelect, args...);
    return IPluginAU::Dispatch(call.Params(), p->mPlug, nullptr);
  }
};

template <class Proc, SInt16 kSelect>
AudioComponentMethod M() {
  return reinterpret_cast<AudioComponentMethod>(&Method<Proc, kSelect>::Call);
}

// A method for each Audio Unit selector of the can-do table, null for the others.
AudioComponentMethod Lookup(SInt16 select) {
  switch (select) {
    case kAudioUnitInitializeSelect: return M<AudioUnitInitializeProc, kAudioUnitInitializeSelect>();
    case kAudioUnitUninitializeSelect:
      return M<AudioUnitUninitializeProc, kAudioUnitUninitializeSelect>();
    case kAudioUnitGetPropertyInfoSelect:
      return M<AudioUnitGetPropertyInfoProc, kAudioUnitGetPropertyInfoSelect>();
    case kAudioUnitGetPropertySelect:
      return M<AudioUnitGetPropertyProc, kAudioUnitGetPropertySelect>();
    case kAudioUnitSetPropertySelect:
      return M<AudioUnitSetPropertyProc, kAudioUnitSetPropertySelect>();
    case kAudioUnitGetParameterSelect:
      return M<AudioUnitGetParameterProc, kAudioUnitGetParameterSelect>();
    case kAudioUnitSetParameterSelect:
      return M<AudioUnitSetParameterProc, kAudioUnitSetParameterSelect>();
    case kAudioUnitResetSelect: return M<AudioUnitResetProc, kAudioUnitResetSelect>();
    case kAudioUnitAddPropertyListenerSelect:
      return M<AudioUnitAddPropertyListenerProc, kAudioUnitAddPropertyListenerSelect>();
    case kAudioUnitRemovePropertyListenerSelect:
      return M<AudioUnitRemovePropertyListenerProc, kAudioUnitRemovePropertyListenerSelect>();
    case kAudioUnitRemovePropertyListenerWithUserDataSelect:
      return M<AudioUnitRemovePropertyListenerWithUserDataProc,
               kAudioUnitRemovePropertyListenerWithUserDataSelect>();
    case kAudioUnitRenderSelect: return M<AudioUnitRenderProc, kAudioUnitRenderSelect>();
    case kAudioUnitAddRenderNotifySelect:
      return M<AudioUnitAddRenderNotifyProc, kAudioUnitAddRenderNotifySelect>();
    case kAudioUnitRemoveRenderNotifySelect:
      return M<AudioUnitRemoveRenderNotifyProc, kAudioUnitRemoveRenderNotifySelect>();
    case kAudioUnitScheduleParametersSelect:
      return M<AudioUnitScheduleParametersProc, kAudioUnitScheduleParametersSelect>();
    default: return nullptr;
  }
}

}  // namespace

AudioComponentPlugInInterface* IPluginAU::NewPlugInInterface(IPluginAU* (*makePlug)()) {
  if (!makePlug) return nullptr;
  // Value-initialised: the interface's reserved field is null.
  PlugInInstance* p = new (std::nothrow) PlugInInstance();
  if (!p) return nullptr;
  p->mInterface.Open = &Open;
  p->mInterface.Close = &Close;
  p->mInterface.Lookup = &Lookup;
  p->mMakePlug = makePlug;
  return &p->mInterface;
}
