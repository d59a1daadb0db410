// The Component Manager and AudioComponent stand-ins and the Audio Unit calls of a host. A call
// on a Component Manager instance packs the instance and its arguments into
// ComponentParameters, one long-sized slot each in declared order, and calls the unit's entry
// point with the instance's storage, as on 64-bit macOS. A call on an AudioComponent instance
// asks the unit's plug-in interface for the selector's method and calls it with the interface.
#include <AudioToolbox/AudioToolbox.h>

#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "AUStandIn.h"

namespace {

enum : UInt32 { kComponentMagic = 0x436f6d70, kInstanceMagic = 0x496e7374, kAudioComponentMagic = 0x41436d70 };

}  // namespace

struct ComponentRecord {
  UInt32 magic = kComponentMagic;
  ComponentDescription desc;
  ComponentRoutineUPP entry;
};

struct OpaqueAudioComponent {
  UInt32 magic = kAudioComponentMagic;
  AudioComponentDescription desc;
  UInt32 version;
  AudioComponentFactoryFunction factory;
  OpaqueAudioComponent* next;
};

// One record for both kinds of instance, as macOS declares both with it: a Component Manager
// instance has a component and storage, an AudioComponent instance a plug-in interface.
struct ComponentInstanceRecord {
  UInt32 magic = kInstanceMagic;
  ComponentRecord* component = nullptr;
  Handle storage = nullptr;
  OpaqueAudioComponent* audioComponent = nullptr;
  AudioComponentPlugInInterface* plugIn = nullptr;
};

namespace {

ComponentInstanceRecord* instance(ComponentInstance ci) {
  return ci && ci->magic == kInstanceMagic ? ci : nullptr;
}

// A Component Manager instance; an AudioComponent instance is not one.
ComponentInstanceRecord* cm_instance(ComponentInstance ci) {
  ComponentInstanceRecord* rec = instance(ci);
  return rec && rec->component ? rec : nullptr;
}

ComponentInstanceRecord* ac_instance(AudioComponentInstance ci) {
  ComponentInstanceRecord* rec = instance(ci);
  return rec && rec->plugIn ? rec : nullptr;
}

AudioComponent audio_component(AudioComponent c) {
  return c && c->magic == kAudioComponentMagic ? c : nullptr;
}

// Up to eight arguments after the instance.
struct Call {
  ComponentParameters head;
  long more[8];
};

template <class T>
void put(Call& c, int& slot, T value) {
  static_assert(sizeof(T) <= sizeof(long), "one slot per argument");
  long word = 0;
  std::memcpy(&word, &value, sizeof(T));
  reinterpret_cast<long*>(c.head.params)[slot++] = word;
}

template <class... Args>
ComponentResult dispatch(ComponentInstance ci, SInt16 what, Args... args) {
  ComponentInstanceRecord* rec = cm_instance(ci);
  if (!rec) return badComponentInstance;
  Call c = {};
  int slot = 0;
  put(c, slot, ci);
  (put(c, slot, args), ...);
  c.head.what = what;
  c.head.paramSize = static_cast<UInt8>(sizeof(long) * (slot - 1));
  return rec->component->entry(&c.head, rec->storage);
}

// An Audio Unit call: through the method the unit's Lookup gives for an AudioComponent
// instance (a selector without one is refused), else through the Component Manager entry.
template <class Method, class... Args>
ComponentResult call(AudioUnit u, SInt16 what, Args... args) {
  if (ComponentInstanceRecord* rec = ac_instance(u)) {
    AudioComponentMethod m = rec->plugIn->Lookup(what);
    if (!m) return badComponentSelector;
    return reinterpret_cast<Method>(m)(rec->plugIn, args...);
  }
  return dispatch(u, what, args...);
}

std::mutex g_components_lock;
OpaqueAudioComponent* g_components = nullptr;

std::mutex g_events_lock;
std::vector<AudioUnitEvent>& events() {
  static std::vector<AudioUnitEvent>* list = new std::vector<AudioUnitEvent>();
  return *list;
}

}  // namespace

extern "C" {

void SetComponentInstanceStorage(ComponentInstance ci, Handle theStorage) {
  if (ComponentInstanceRecord* rec = cm_instance(ci)) rec->storage = theStorage;
}

Handle GetComponentInstanceStorage(ComponentInstance ci) {
  ComponentInstanceRecord* rec = cm_instance(ci);
  return rec ? rec->storage : nullptr;
}

OSErr GetComponentInfo(Component c, ComponentDescription* cd, Handle, Handle, Handle) {
  const void* any = c;
  ComponentRecord* comp = nullptr;
  if (c && c->magic == kComponentMagic) comp = c;
  else if (ComponentInstanceRecord* rec = cm_instance((ComponentInstance)any)) comp = rec->component;
  if (!comp) return invalidComponentID;
  if (cd) *cd = comp->desc;
  return noErr;
}

Component RegisterComponent(ComponentDescription* cd, ComponentRoutineUPP entry, SInt16, Handle,
                            Handle, Handle) {
  if (!cd || !entry) return nullptr;
  ComponentRecord* c = new (std::nothrow) ComponentRecord();
  if (!c) return nullptr;
  c->desc = *cd;
  c->entry = entry;
  return c;
}

OSErr UnregisterComponent(Component c) {
  if (!c || c->magic != kComponentMagic) return invalidComponentID;
  c->magic = 0;
  delete c;
  return noErr;
}

OSErr OpenAComponent(Component c, ComponentInstance* out) {
  if (out) *out = nullptr;
  if (!c || c->magic != kComponentMagic || !out) return paramErr;
  ComponentInstanceRecord* rec = new (std::nothrow) ComponentInstanceRecord();
  if (!rec) return memFullErr;
  rec->component = c;
  const ComponentResult status = dispatch(rec, kComponentOpenSelect);
  if (status != noErr) {
    dispatch(rec, kComponentCloseSelect);
    delete rec;
    return static_cast<OSErr>(status);
  }
  *out = rec;
  return noErr;
}

OSErr CloseComponent(ComponentInstance ci) {
  ComponentInstanceRecord* rec = cm_instance(ci);
  if (!rec) return invalidComponentID;
  const ComponentResult status = dispatch(rec, kComponentCloseSelect);
  rec->magic = 0;
  delete rec;
  return static_cast<OSErr>(status);
}

ComponentResult GetComponentVersion(ComponentInstance ci) {
  return dispatch(ci, kComponentVersionSelect);
}

ComponentResult CallComponentCanDo(ComponentInstance ci, SInt16 ftnNumber) {
  return dispatch(ci, kComponentCanDoSelect, ftnNumber);
}

ComponentResult CallComponentDispatch(ComponentParameters* cp) {
  if (!cp) return paramErr;
  ComponentInstanceRecord* rec = cm_instance(reinterpret_cast<ComponentInstance>(cp->params[0]));
  if (!rec) return badComponentInstance;
  return rec->component->entry(cp, rec->storage);
}

AudioComponent AudioComponentRegister(const AudioComponentDescription* desc, CFStringRef,
                                      UInt32 version, AudioComponentFactoryFunction factory) {
  if (!desc || !factory) return nullptr;
  OpaqueAudioComponent* c = new (std::nothrow) OpaqueAudioComponent();
  if (!c) return nullptr;
  c->desc = *desc;
  c->version = version;
  c->factory = factory;
  std::lock_guard<std::mutex> guard(g_components_lock);
  c->next = g_components;
  g_components = c;
  return c;
}

AudioComponent AudioComponentFindNext(AudioComponent after, const AudioComponentDescription* d) {
  std::lock_guard<std::mutex> guard(g_components_lock);
  OpaqueAudioComponent* c = g_components;
  if (after) {
    while (c && c != after) c = c->next;
    if (c) c = c->next;
  }
  const auto matches = [d](OSType want, OSType have) { return !d || !want || want == have; };
  for (; c; c = c->next)
    if (matches(d ? d->componentType : 0, c->desc.componentType) &&
        matches(d ? d->componentSubType : 0, c->desc.componentSubType) &&
        matches(d ? d->componentManufacturer : 0, c->desc.componentManufacturer))
      return c;
  return nullptr;
}

OSStatus AudioComponentGetDescription(AudioComponent c, AudioComponentDescription* out) {
  if (!audio_component(c) || !out) return paramErr;
  *out = c->desc;
  return noErr;
}

OSStatus AudioComponentGetVersion(AudioComponent c, UInt32* out) {
  if (!audio_component(c) || !out) return paramErr;
  *out = c->version;
  return noErr;
}

OSStatus AudioComponentInstanceNew(AudioComponent c, AudioComponentInstance* out) {
  if (out) *out = nullptr;
  if (!audio_component(c) || !out) return paramErr;
  AudioComponentPlugInInterface* plugIn = c->factory(&c->desc);
  if (!plugIn || !plugIn->Open || !plugIn->Close || !plugIn->Lookup) return kAudio_UnimplementedError;
  ComponentInstanceRecord* rec = new (std::nothrow) ComponentInstanceRecord();
  if (!rec) {
    plugIn->Close(plugIn);
    return memFullErr;
  }
  rec->audioComponent = c;
  rec->plugIn = plugIn;
  const OSStatus status = plugIn->Open(plugIn, rec);
  if (status != noErr) {
    plugIn->Close(plugIn);
    delete rec;
    return status;
  }
  *out = rec;
  return noErr;
}

OSStatus AudioComponentInstanceDispose(AudioComponentInstance ci) {
  ComponentInstanceRecord* rec = ac_instance(ci);
  if (!rec) return paramErr;
  const OSStatus status = rec->plugIn->Close(rec->plugIn);
  rec->magic = 0;
  delete rec;
  return status;
}

AudioComponent AudioComponentInstanceGetComponent(AudioComponentInstance ci) {
  ComponentInstanceRecord* rec = ac_instance(ci);
  return rec ? rec->audioComponent : nullptr;
}

Boolean AudioComponentInstanceCanDo(AudioComponentInstance ci, SInt16 selector) {
  ComponentInstanceRecord* rec = ac_instance(ci);
  return rec && rec->plugIn->Lookup(selector) != nullptr;
}

OSStatus AudioUnitInitialize(AudioUnit u) { return call<AudioUnitInitializeProc>(u, kAudioUnitInitializeSelect); }
OSStatus AudioUnitUninitialize(AudioUnit u) { return call<AudioUnitUninitializeProc>(u, kAudioUnitUninitializeSelect); }

OSStatus AudioUnitGetPropertyInfo(AudioUnit u, AudioUnitPropertyID id, AudioUnitScope scope,
                                  AudioUnitElement el, UInt32* outDataSize, Boolean* outWritable) {
  return call<AudioUnitGetPropertyInfoProc>(u, kAudioUnitGetPropertyInfoSelect, id, scope, el, outDataSize, outWritable);
}

OSStatus AudioUnitGetProperty(AudioUnit u, AudioUnitPropertyID id, AudioUnitScope scope,
                              AudioUnitElement el, void* outData, UInt32* ioDataSize) {
  return call<AudioUnitGetPropertyProc>(u, kAudioUnitGetPropertySelect, id, scope, el, outData, ioDataSize);
}

OSStatus AudioUnitSetProperty(AudioUnit u, AudioUnitPropertyID id, AudioUnitScope scope,
                              AudioUnitElement el, const void* inData, UInt32 inDataSize) {
  return call<AudioUnitSetPropertyProc>(u, kAudioUnitSetPropertySelect, id, scope, el, inData, inDataSize);
}

OSStatus AudioUnitAddPropertyListener(AudioUnit u, AudioUnitPropertyID id,
                                      AudioUnitPropertyListenerProc proc, void* userData) {
  return call<AudioUnitAddPropertyListenerProc>(u, kAudioUnitAddPropertyListenerSelect, id, proc, userData);
}

OSStatus AudioUnitRemovePropertyListener(AudioUnit u, AudioUnitPropertyID id,
                                         AudioUnitPropertyListenerProc proc) {
  return call<AudioUnitRemovePropertyListenerProc>(u, kAudioUnitRemovePropertyListenerSelect, id, proc);
}

OSStatus AudioUnitRemovePropertyListenerWithUserData(AudioUnit u, AudioUnitPropertyID id,
                                                     AudioUnitPropertyListenerProc proc,
                                                     void* userData) {
  return call<AudioUnitRemovePropertyListenerWithUserDataProc>(u, kAudioUnitRemovePropertyListenerWithUserDataSelect, id, proc, userData);
}

OSStatus AudioUnitAddRenderNotify(AudioUnit u, AURenderCallback proc, void* userData) {
  return call<AudioUnitAddRenderNotifyProc>(u, kAudioUnitAddRenderNotifySelect, proc, userData);
}

OSStatus AudioUnitRemoveRenderNotify(AudioUnit u, AURenderCallback proc, void* userData) {
  return call<AudioUnitRemoveRenderNotifyProc>(u, kAudioUnitRemoveRenderNotifySelect, proc, userData);
}

OSStatus AudioUnitGetParameter(AudioUnit u, AudioUnitParameterID id, AudioUnitScope scope,
                               AudioUnitElement el, AudioUnitParameterValue* outValue) {
  return call<AudioUnitGetParameterProc>(u, kAudioUnitGetParameterSelect, id, scope, el, outValue);
}

OSStatus AudioUnitSetParameter(AudioUnit u, AudioUnitParameterID id, AudioUnitScope scope,
                               AudioUnitElement el, AudioUnitParameterValue value,
                               UInt32 bufferOffset) {
  return call<AudioUnitSetParameterProc>(u, kAudioUnitSetParameterSelect, id, scope, el, value, bufferOffset);
}

OSStatus AudioUnitScheduleParameters(AudioUnit u, const AudioUnitParameterEvent* events,
                                     UInt32 n) {
  return call<AudioUnitScheduleParametersProc>(u, kAudioUnitScheduleParametersSelect, events, n);
}

OSStatus AudioUnitRender(AudioUnit u, AudioUnitRenderActionFlags* ioActionFlags,
                         const AudioTimeStamp* ts, UInt32 bus, UInt32 frames,
                         AudioBufferList* ioData) {
  return call<AudioUnitRenderProc>(u, kAudioUnitRenderSelect, ioActionFlags, ts, bus, frames, ioData);
}

OSStatus AudioUnitReset(AudioUnit u, AudioUnitScope scope, AudioUnitElement el) {
  return call<AudioUnitResetProc>(u, kAudioUnitResetSelect, scope, el);
}

OSStatus AUEventListenerNotify(AUEventListenerRef, void*, const AudioUnitEvent* inEvent) {
  if (!inEvent) return paramErr;
  std::lock_guard<std::mutex> guard(g_events_lock);
  events().push_back(*inEvent);
  return noErr;
}

CFIndex AUStandIn_EventCount(void) {
  std::lock_guard<std::mutex> guard(g_events_lock);
  return static_cast<CFIndex>(events().size());
}

Boolean AUStandIn_GetEvent(CFIndex index, AudioUnitEvent* out) {
  std::lock_guard<std::mutex> guard(g_events_lock);
  if (!out || index < 0 || index >= static_cast<CFIndex>(events().size())) return false;
  *out = events()[index];
  return true;
}

void AUStandIn_ClearEvents(void) {
  std::lock_guard<std::mutex> guard(g_events_lock);
  events().clear();
}

}  // extern "C"
