// The Component Manager stand-in and the Audio Unit calls of a host. A call packs the unit
// instance and its arguments into ComponentParameters, one long-sized slot each in declared
// order, and calls the unit's entry point with the instance's storage, as on 64-bit macOS.
#include <AudioToolbox/AudioToolbox.h>

#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "AUStandIn.h"

namespace {

enum : UInt32 { kComponentMagic = 0x436f6d70, kInstanceMagic = 0x496e7374 };

}  // namespace

struct ComponentRecord {
  UInt32 magic = kComponentMagic;
  ComponentDescription desc;
  ComponentRoutineUPP entry;
};

struct ComponentInstanceRecord {
  UInt32 magic = kInstanceMagic;
  ComponentRecord* component;
  Handle storage = nullptr;
};

namespace {

ComponentInstanceRecord* instance(ComponentInstance ci) {
  return ci && ci->magic == kInstanceMagic ? ci : nullptr;
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
  ComponentInstanceRecord* rec = instance(ci);
  if (!rec) return badComponentInstance;
  Call c = {};
  int slot = 0;
  put(c, slot, ci);
  (put(c, slot, args), ...);
  c.head.what = what;
  c.head.paramSize = static_cast<UInt8>(sizeof(long) * (slot - 1));
  return rec->component->entry(&c.head, rec->storage);
}

std::mutex g_events_lock;
std::vector<AudioUnitEvent>& events() {
  static std::vector<AudioUnitEvent>* list = new std::vector<AudioUnitEvent>();
  return *list;
}

}  // namespace

extern "C" {

void SetComponentInstanceStorage(ComponentInstance ci, Handle theStorage) {
  if (ComponentInstanceRecord* rec = instance(ci)) rec->storage = theStorage;
}

Handle GetComponentInstanceStorage(ComponentInstance ci) {
  ComponentInstanceRecord* rec = instance(ci);
  return rec ? rec->storage : nullptr;
}

OSErr GetComponentInfo(Component c, ComponentDescription* cd, Handle, Handle, Handle) {
  const void* any = c;
  ComponentRecord* comp = nullptr;
  if (c && c->magic == kComponentMagic) comp = c;
  else if (ComponentInstanceRecord* rec = instance((ComponentInstance)any)) comp = rec->component;
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
  ComponentInstanceRecord* rec = instance(ci);
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
  ComponentInstanceRecord* rec = instance(reinterpret_cast<ComponentInstance>(cp->params[0]));
  if (!rec) return badComponentInstance;
  return rec->component->entry(cp, rec->storage);
}

OSStatus AudioUnitInitialize(AudioUnit u) { return dispatch(u, kAudioUnitInitializeSelect); }
OSStatus AudioUnitUninitialize(AudioUnit u) { return dispatch(u, kAudioUnitUninitializeSelect); }

OSStatus AudioUnitGetPropertyInfo(AudioUnit u, AudioUnitPropertyID id, AudioUnitScope scope,
                                  AudioUnitElement el, UInt32* outDataSize, Boolean* outWritable) {
  return dispatch(u, kAudioUnitGetPropertyInfoSelect, id, scope, el, outDataSize, outWritable);
}

OSStatus AudioUnitGetProperty(AudioUnit u, AudioUnitPropertyID id, AudioUnitScope scope,
                              AudioUnitElement el, void* outData, UInt32* ioDataSize) {
  return dispatch(u, kAudioUnitGetPropertySelect, id, scope, el, outData, ioDataSize);
}

OSStatus AudioUnitSetProperty(AudioUnit u, AudioUnitPropertyID id, AudioUnitScope scope,
                              AudioUnitElement el, const void* inData, UInt32 inDataSize) {
  return dispatch(u, kAudioUnitSetPropertySelect, id, scope, el, inData, inDataSize);
}

OSStatus AudioUnitAddPropertyListener(AudioUnit u, AudioUnitPropertyID id,
                                      AudioUnitPropertyListenerProc proc, void* userData) {
  return dispatch(u, kAudioUnitAddPropertyListenerSelect, id, proc, userData);
}

OSStatus AudioUnitRemovePropertyListener(AudioUnit u, AudioUnitPropertyID id,
                                         AudioUnitPropertyListenerProc proc) {
  return dispatch(u, kAudioUnitRemovePropertyListenerSelect, id, proc);
}

OSStatus AudioUnitRemovePropertyListenerWithUserData(AudioUnit u, AudioUnitPropertyID id,
                                                     AudioUnitPropertyListenerProc proc,
                                                     void* userData) {
  return dispatch(u, kAudioUnitRemovePropertyListenerWithUserDataSelect, id, proc, userData);
}

OSStatus AudioUnitAddRenderNotify(AudioUnit u, AURenderCallback proc, void* userData) {
  return dispatch(u, kAudioUnitAddRenderNotifySelect, proc, userData);
}

OSStatus AudioUnitRemoveRenderNotify(AudioUnit u, AURenderCallback proc, void* userData) {
  return dispatch(u, kAudioUnitRemoveRenderNotifySelect, proc, userData);
}

OSStatus AudioUnitGetParameter(AudioUnit u, AudioUnitParameterID id, AudioUnitScope scope,
                               AudioUnitElement el, AudioUnitParameterValue* outValue) {
  return dispatch(u, kAudioUnitGetParameterSelect, id, scope, el, outValue);
}

OSStatus AudioUnitSetParameter(AudioUnit u, AudioUnitParameterID id, AudioUnitScope scope,
                               AudioUnitElement el, AudioUnitParameterValue value,
                               UInt32 bufferOffset) {
  return dispatch(u, kAudioUnitSetParameterSelect, id, scope, el, value, bufferOffset);
}

OSStatus AudioUnitScheduleParameters(AudioUnit u, const AudioUnitParameterEvent* events,
                                     UInt32 n) {
  return dispatch(u, kAudioUnitScheduleParametersSelect, events, n);
}

OSStatus AudioUnitRender(AudioUnit u, AudioUnitRenderActionFlags* ioActionFlags,
                         const AudioTimeStamp* ts, UInt32 bus, UInt32 frames,
                         AudioBufferList* ioData) {
  return dispatch(u, kAudioUnitRenderSelect, ioActionFlags, ts, bus, frames, ioData);
}

OSStatus AudioUnitReset(AudioUnit u, AudioUnitScope scope, AudioUnitElement el) {
  return dispatch(u, kAudioUnitResetSelect, scope, el);
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
