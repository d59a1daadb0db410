// The adapter's life, its host operations and the component's selector dispatch.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>

#include "framework/IGraphics.h"
#include "hosts/au/IPluginAU_State.h"

// The selectors this unit answers. MIDI is not among them: the plug-in ignores it.
bool AUCanDo(int select) {
  switch (select) {
    case kComponentOpenSelect:
    case kComponentCloseSelect:
    case kComponentCanDoSelect:
    case kComponentVersionSelect:
    case kAudioUnitInitializeSelect:
    case kAudioUnitUninitializeSelect:
    case kAudioUnitGetPropertyInfoSelect:
    case kAudioUnitGetPropertySelect:
    case kAudioUnitSetPropertySelect:
    case kAudioUnitGetParameterSelect:
    case kAudioUnitSetParameterSelect:
    case kAudioUnitResetSelect:
    case kAudioUnitAddPropertyListenerSelect:
    case kAudioUnitRemovePropertyListenerSelect:
    case kAudioUnitRenderSelect:
    case kAudioUnitAddRenderNotifySelect:
    case kAudioUnitRemoveRenderNotifySelect:
    case kAudioUnitScheduleParametersSelect:
    case kAudioUnitRemovePropertyListenerWithUserDataSelect: return true;
    default: return false;
  }
}

namespace {

// The channel count asked for on all buses of one direction; -1 (any) while one is not set.
int HostChannelTotal(const std::vector<BusChannels>& buses) {
  int total = 0;
  for (const BusChannels& bus : buses) {
    if (bus.mNHostChannels < 0) return -1;
    total += bus.mNHostChannels;
  }
  return total;
}

ComponentResult Initialize(IPluginAU* plug) {
  IPluginAU::State& au = plug->AU();
  // A direction the host left unset (-1) matches any configuration.
  const int nIn = HostChannelTotal(au.mInBuses), nOut = HostChannelTotal(au.mOutBuses);
  if (!plug->LegalIO(nIn, nOut)) return badComponentSelector;
  au.mActive = true;
  au.mLastRenderSampleTime = NAN;
  plug->OnParamReset();
  plug->OnActivate(true);
  return noErr;
}

void SendParamEvent(IPluginAU* plug, AudioUnitEventType type, int paramIdx) {
  if (paramIdx < 0 || paramIdx >= plug->NParams()) return;
  AudioUnitEvent event;
  std::memset(&event, 0, sizeof event);
  event.mEventType = type;
  event.mArgument.mParameter.mAudioUnit = plug->AU().mCI;
  event.mArgument.mParameter.mParameterID = static_cast<AudioUnitParameterID>(paramIdx);
  event.mArgument.mParameter.mScope = kAudioUnitScope_Global;
  event.mArgument.mParameter.mElement = 0;
  AUEventListenerNotify(nullptr, nullptr, &event);
}

// Parameter events at a buffer offset are applied at once; ramps are not followed. A bad event
// does not keep the valid ones after it from applying: the first error is reported at the end.
ComponentResult ScheduleParameters(IPluginAU* plug, const AudioUnitParameterEvent* events,
                                   UInt32 n) {
  if (!events && n) return kAudio_ParamError;
  OSStatus first = noErr;
  for (UInt32 i = 0; i < n; ++i) {
    const AudioUnitParameterEvent& e = events[i];
    if (e.eventType != kParameterEvent_Immediate) continue;
    const OSStatus r = AUSetParamProc(plug, e.parameter, e.scope, e.element,
                                      e.eventValues.immediate.value,
                                      e.eventValues.immediate.bufferOffset);
    if (first == noErr) first = r;
  }
  return first;
}

ComponentResult GetPropertySelector(IPluginAU* plug, const ComponentParameters* params) {
  const AudioUnitPropertyID id = Arg<AudioUnitPropertyID>(params, 0);
  const AudioUnitScope scope = Arg<AudioUnitScope>(params, 1);
  const AudioUnitElement element = Arg<AudioUnitElement>(params, 2);
  void* pData = Arg<void*>(params, 3);
  UInt32* pDataSize = Arg<UInt32*>(params, 4);
  if (!pDataSize) return kAudio_ParamError;
  UInt32 size = 0;
  Boolean writeable = false;
  ComponentResult r = AUGetProperty(plug, id, scope, element, &size, &writeable, nullptr);
  if (r != noErr || !pData) {
    if (r == noErr) *pDataSize = size;
    return r;
  }
  if (*pDataSize < size) return kAudio_ParamError;
  r = AUGetProperty(plug, id, scope, element, &size, &writeable, pData);
  if (r == noErr) *pDataSize = size;
  return r;
}

}  // namespace

IPluginAU::IPluginAU(int nParams, const char* channelIOStr, int nPresets, const char* effectName,
                     const char* productName, const char* mfrName, int vendorVersion,
                     int uniqueID, int mfrID, int latency, bool plugDoesMidi, bool plugDoesChunks,
                     bool plugIsInst)
    : IPluginBase(nParams, channelIOStr, nPresets, effectName, productName, mfrName,
                  vendorVersion, uniqueID, mfrID, latency, plugDoesMidi, plugDoesChunks,
                  plugIsInst, kAPIAU),
      mAU(new State()) {
  // One input bus with every input channel (no side-chain is declared), and output buses of at
  // most two channels each.
  if (NInChannels() > 0) {
    BusChannels bus;
    bus.mNPlugChannels = NInChannels();
    mAU->mInBuses.push_back(bus);
    AddInputBusLabel("input");
  }
  const int nOutBuses = (NOutChannels() + 1) / 2;
  for (int i = 0; i < nOutBuses; ++i) {
    BusChannels bus;
    bus.mPlugChannelStartIdx = 2 * i;  // mutate: skip statement constant (Quillmar has one output bus, i = 0: its start stays 0)
    bus.mNPlugChannels = std::min(2, NOutChannels() - 2 * i);
    mAU->mOutBuses.push_back(bus);
    char label[32];
    if (nOutBuses == 1) std::snprintf(label, sizeof label, "output");
    else std::snprintf(label, sizeof label, "output %i", i + 1);
    AddOutputBusLabel(label);
  }
  mAU->mInBusConnections.resize(mAU->mInBuses.size());
  mAU->mEditorPending.reset(new std::atomic<bool>[NParams()]());
  mAU->mInBufList.Make(kAUMaxChannels);
  SetBlockSize(kAUDefaultBlockSize);
}

IPluginAU::~IPluginAU() {
  for (AUPreset& p : mAU->mFactoryPresets)
    if (p.presetName) CFRelease(p.presetName);  // mutate: skip (an opened unit keeps only presets it filled, and Quillmar fills none: the list is empty)
  if (mAU->mCurrentPresetName) CFRelease(mAU->mCurrentPresetName);
}

void IPluginAU::BeginInformHostOfParamChange(int paramIdx) {
  SendParamEvent(this, kAudioUnitEvent_BeginParameterChangeGesture, paramIdx);
}

void IPluginAU::InformHostOfParamChange(int paramIdx, double) {
  SendParamEvent(this, kAudioUnitEvent_ParameterValueChange, paramIdx);
}

void IPluginAU::EndInformHostOfParamChange(int paramIdx) {
  SendParamEvent(this, kAudioUnitEvent_EndParameterChangeGesture, paramIdx);
}

void IPluginAU::InformHostOfProgramChange() {
  AUInformListeners(this, kAudioUnitProperty_PresentPreset);
}

bool IPluginAU::IsRenderingOffline() { return mAU->mOffline; }

void IPluginAU::GetTime(ITimeInfo* pTimeInfo) {
  if (!pTimeInfo) return;
  ITimeInfo t;
  const HostCallbackInfo& cb = mAU->mHostCallbacks;
  void* ud = cb.hostUserData;
  const auto finite = [](double v) { return std::isfinite(v) ? v : 0.0; };
  Float64 beat = 0, tempo = 0;
  if (cb.beatAndTempoProc && cb.beatAndTempoProc(ud, &beat, &tempo) == noErr) {
    t.mPPQPos = finite(beat);
    t.mTempo = finite(tempo);
  }
  UInt32 deltaToBeat = 0, denominator = 0;
  Float32 numerator = 0;
  Float64 downBeat = 0;
  if (cb.musicalTimeLocationProc &&
      cb.musicalTimeLocationProc(ud, &deltaToBeat, &numerator, &denominator, &downBeat) == noErr) {
    t.mNumerator = static_cast<int>(finite(numerator));
    t.mDenominator = static_cast<int>(denominator);
  }
  Boolean playing = false, recording = false, changed = false, cycling = false;
  Float64 pos = 0, cycleStart = 0, cycleEnd = 0;
  OSStatus r = -1;
  if (cb.transportStateProc2)
    r = cb.transportStateProc2(ud, &playing, &recording, &changed, &pos, &cycling, &cycleStart,
                               &cycleEnd);
  else if (cb.transportStateProc)
    r = cb.transportStateProc(ud, &playing, &changed, &pos, &cycling, &cycleStart, &cycleEnd);
  if (r == noErr) {
    t.mSamplePos = finite(pos);
    t.mTransportIsRunning = playing != 0;
    t.mTransportIsRecording = recording != 0;
  }
  *pTimeInfo = t;
}

double IPluginAU::GetSamplePos() {
  ITimeInfo t;
  GetTime(&t);
  return t.mSamplePos;
}

double IPluginAU::GetTempo() {
  ITimeInfo t;
  GetTime(&t);
  return t.mTempo;
}

void IPluginAU::GetTimeSig(int* pNumerator, int* pDenominator) {
  ITimeInfo t;
  GetTime(&t);
  if (pNumerator) *pNumerator = t.mNumerator;
  if (pDenominator) *pDenominator = t.mDenominator;
}

// The thread that opens the unit is the host's main thread; buses, scratch memory and the block
// size exist from construction.
void IPluginAU::HostSpecificInit() { mAU->mMainThread = std::this_thread::get_id(); }

void IPluginAU::OnIdle() { AUShowPendingParams(this); }

void IPluginAU::SetLatency(int samples) {
  IPluginBase::SetLatency(samples);
  AUInformListeners(this, kAudioUnitProperty_Latency);
}

void IPluginAU::SetBlockSize(int blockSize) {
  const int old = GetBlockSize();
  IPluginBase::SetBlockSize(blockSize);
  if (GetBlockSize() == old && !mAU->mInScratch.empty()) return;
  const size_t frames = static_cast<size_t>(GetBlockSize());
  try {
    std::vector<float> in(frames * NInChannels()), out(frames * NOutChannels());
    mAU->mInScratch.swap(in);
    mAU->mOutScratch.swap(out);
    // The framework may still point at pulled input in the old memory: pull afresh.
    mAU->mLastRenderSampleTime = NAN;
  } catch (const std::bad_alloc&) {
    IPluginBase::SetBlockSize(old);  // the old scratch memory still fits the old size
  }
}

int IPluginAU::InputType(int bus) const {
  const std::vector<InputBusConnection>& c = mAU->mInBusConnections;
  return bus >= 0 && bus < static_cast<int>(c.size()) ? c[bus].mInputType : -1;
}

const char* IPluginAU::InputTypeName(int type) {
  static const char* const kNames[] = {"NotConnected", "DirectFastProc", "DirectNoFastProc",
                                       "RenderCallback"};
  return type >= 0 && type < 4 ? kNames[type] : "";
}

namespace {

std::mutex& OpenPluginsLock() {
  static std::mutex lock;
  return lock;
}

std::vector<IPluginAU*>& OpenPlugins() {
  static std::vector<IPluginAU*> plugins;
  return plugins;
}

}  // namespace

void AURegisterPlugin(IPluginAU* plug, bool open) {
  std::lock_guard<std::mutex> guard(OpenPluginsLock());
  std::vector<IPluginAU*>& v = OpenPlugins();
  v.erase(std::remove(v.begin(), v.end(), plug), v.end());
  if (open) v.push_back(plug);
}

IPluginAU* AUOpenPlugin(const void* p) {
  std::lock_guard<std::mutex> guard(OpenPluginsLock());
  for (IPluginAU* plug : OpenPlugins())
    if (plug == p) return plug;
  return nullptr;
}

void AUShowParam(IPluginAU* plug, int paramIdx) {
  IGraphics* gui = plug->GetGUI();
  if (!gui) return;
  IPluginAU::State& au = plug->AU();
  if (std::this_thread::get_id() == au.mMainThread) {
    gui->SetParameterFromPlug(paramIdx, plug->GetParam(paramIdx)->Value(), false);
    return;
  }
  au.mEditorPending[paramIdx].store(true);
  au.mEditorPendingAny.store(true);
}

void AUShowPendingParams(IPluginAU* plug) {
  IPluginAU::State& au = plug->AU();
  IGraphics* gui = plug->GetGUI();
  if (!gui || std::this_thread::get_id() != au.mMainThread || !au.mEditorPendingAny.exchange(false))
    return;
  FW_MutexLock lock(plug->GetMutex());
  for (int i = 0; i < plug->NParams(); ++i)
    if (au.mEditorPending[i].exchange(false))
      gui->SetParameterFromPlug(i, plug->GetParam(i)->Value(), false);
}

void AUInformListeners(IPluginAU* plug, AudioUnitPropertyID propID) {
  AudioUnit ci = plug->AU().mCI;
  plug->AU().mPropertyListeners.ForEach(propID, [&](AudioUnitPropertyListenerProc proc, void* ref) {
    proc(ref, ci, propID, kAudioUnitScope_Global, 0);
  });
}

CFStringRef AUMakeCFString(const char* text) {
  return CFStringCreateWithCString(kCFAllocatorDefault, text ? text : "", kCFStringEncodingUTF8);
}

ComponentDescription AUComponentDescription(IPluginAU* plug) {
  ComponentDescription d = {};
  const IPluginAU::State& au = plug->AU();
  bool known = false;
  if (au.mCI && au.mComponentManager) {
    // A Component Manager instance stands for its component in GetComponentInfo.
    known = GetComponentInfo(reinterpret_cast<Component>(au.mCI), &d, nullptr, nullptr, nullptr) == noErr;
  } else if (au.mCI) {
    AudioComponentDescription ad;
    known = AudioComponentGetDescription(AudioComponentInstanceGetComponent(au.mCI), &ad) == noErr;
    if (known) {
      d.componentType = ad.componentType;
      d.componentSubType = ad.componentSubType;
      d.componentManufacturer = ad.componentManufacturer;
    }
  }
  if (!known) {
    d.componentType = kAudioUnitType_Effect;
    d.componentSubType = static_cast<OSType>(plug->GetUniqueID());
    d.componentManufacturer = static_cast<OSType>(plug->GetMfrID());
  }
  return d;
}

IPluginAU* AUOpen(AudioUnit instance, bool componentManager, IPluginAU* (*makePlug)()) {
  if (!instance || !makePlug) return nullptr;
  IPluginAU* plug = makePlug();
  if (!plug) return nullptr;
  plug->AU().mCI = instance;
  plug->AU().mComponentManager = componentManager;
  AURegisterPlugin(plug, true);
  plug->HostSpecificInit();
  plug->PruneUninitializedPresets();
  return plug;
}

void AUClose(IPluginAU* plug) {
  if (!plug) return;
  AURegisterPlugin(plug, false);
  delete plug;
}

int32_t IPluginAU::Dispatch(ComponentParameters* params, void* storage,
                            IPluginAU* (*makePlug)()) {
  if (!params) return kAudio_ParamError;
  const int select = params->what;
  if (select == kComponentOpenSelect) {
    ComponentInstance ci = Arg<ComponentInstance>(params, -1);
    if (!ci || !makePlug) return kAudio_ParamError;
    IPluginAU* plug = AUOpen(ci, true, makePlug);
    if (!plug) return kAudio_MemFullError;
    SetComponentInstanceStorage(ci, reinterpret_cast<Handle>(plug));
    return noErr;
  }
  if (select == kComponentCanDoSelect) return AUCanDo(Arg<SInt16>(params, 0)) ? 1 : 0;
  IPluginAU* plug = static_cast<IPluginAU*>(storage);
  if (select == kComponentCloseSelect) {
    // A failed open is closed too, with no plug-in in the storage.
    if (plug && plug->mAU->mComponentManager) SetComponentInstanceStorage(plug->mAU->mCI, nullptr);
    AUClose(plug);
    return noErr;
  }
  if (!plug) return badComponentInstance;
  State& au = *plug->mAU;
  if (select != kAudioUnitRenderSelect) AUShowPendingParams(plug);
  switch (select) {
    case kComponentVersionSelect: return plug->GetEffectVersion(false);
    case kAudioUnitInitializeSelect: return Initialize(plug);
    case kAudioUnitUninitializeSelect:
      au.mActive = false;
      plug->OnActivate(false);
      return noErr;
    case kAudioUnitGetPropertyInfoSelect: {
      UInt32 size = 0;
      Boolean writeable = false;
      const ComponentResult r =
          AUGetProperty(plug, Arg<AudioUnitPropertyID>(params, 0), Arg<AudioUnitScope>(params, 1),
                        Arg<AudioUnitElement>(params, 2), &size, &writeable, nullptr);
      if (r != noErr) return r;
      if (UInt32* pSize = Arg<UInt32*>(params, 3)) *pSize = size;
      if (Boolean* pWriteable = Arg<Boolean*>(params, 4)) *pWriteable = writeable;
      return noErr;
    }
    case kAudioUnitGetPropertySelect: return GetPropertySelector(plug, params);
    case kAudioUnitSetPropertySelect:
      return AUSetProperty(plug, Arg<AudioUnitPropertyID>(params, 0),
                           Arg<AudioUnitScope>(params, 1), Arg<AudioUnitElement>(params, 2),
                           Arg<UInt32>(params, 4), Arg<const void*>(params, 3));
    case kAudioUnitGetParameterSelect:
      return AUGetParamProc(plug, Arg<AudioUnitParameterID>(params, 0),
                            Arg<AudioUnitScope>(params, 1), Arg<AudioUnitElement>(params, 2),
                            Arg<AudioUnitParameterValue*>(params, 3));
    case kAudioUnitSetParameterSelect:
      return AUSetParamProc(plug, Arg<AudioUnitParameterID>(params, 0),
                            Arg<AudioUnitScope>(params, 1), Arg<AudioUnitElement>(params, 2),
                            Arg<AudioUnitParameterValue>(params, 3), Arg<UInt32>(params, 4));
    case kAudioUnitResetSelect:
      plug->Reset();
      au.mLastRenderSampleTime = NAN;  // the same time stamp may come again: pull it afresh
      return noErr;
    case kAudioUnitAddPropertyListenerSelect: {
      const auto proc = Arg<AudioUnitPropertyListenerProc>(params, 1);
      if (!proc) return kAudio_ParamError;
      return au.mPropertyListeners.Add(Arg<AudioUnitPropertyID>(params, 0), proc,
                                       Arg<void*>(params, 2))
                 ? noErr
                 : ComponentResult(kAudio_MemFullError);
    }
    case kAudioUnitRemovePropertyListenerSelect:
    case kAudioUnitRemovePropertyListenerWithUserDataSelect:
    {
      // The plain remove has no user-data argument to read, and removes every user data.
      const bool anyRefCon = select == kAudioUnitRemovePropertyListenerSelect;
      au.mPropertyListeners.Remove(Arg<AudioUnitPropertyID>(params, 0),
                                   Arg<AudioUnitPropertyListenerProc>(params, 1),
                                   anyRefCon ? nullptr : Arg<void*>(params, 2), anyRefCon);
      return noErr;
    }
    case kAudioUnitRenderSelect:
      return AURenderProc(plug, Arg<AudioUnitRenderActionFlags*>(params, 0),
                          Arg<const AudioTimeStamp*>(params, 1), Arg<UInt32>(params, 2),
                          Arg<UInt32>(params, 3), Arg<AudioBufferList*>(params, 4));
    case kAudioUnitAddRenderNotifySelect: {
      const auto proc = Arg<AURenderCallback>(params, 0);
      if (!proc) return kAudio_ParamError;
      return au.mRenderNotify.Add(0, proc, Arg<void*>(params, 1))
                 ? noErr
                 : ComponentResult(kAudio_MemFullError);
    }
    case kAudioUnitRemoveRenderNotifySelect:
      au.mRenderNotify.Remove(0, Arg<AURenderCallback>(params, 0), Arg<void*>(params, 1), false);
      return noErr;
    case kAudioUnitScheduleParametersSelect:
      return ScheduleParameters(plug, Arg<const AudioUnitParameterEvent*>(params, 0),
                                Arg<UInt32>(params, 1));
    case kMusicDeviceMIDIEventSelect: {
      IMidiMsg msg;
      msg.mStatus = static_cast<uint8_t>(Arg<UInt32>(params, 0));
      msg.mData1 = static_cast<uint8_t>(Arg<UInt32>(params, 1));
      msg.mData2 = static_cast<uint8_t>(Arg<UInt32>(params, 2));
      msg.mOffset = static_cast<int>(Arg<UInt32>(params, 3));
      plug->ProcessMidiMsg(&msg);
      return noErr;
    }
    case kMusicDeviceSysExSelect: {
      ISysEx sysex;
      sysex.mData = Arg<const UInt8*>(params, 0);
      sysex.mSize = static_cast<int>(Arg<UInt32>(params, 1));
      if (!sysex.mData && sysex.mSize) return kAudio_ParamError;
      plug->ProcessSysEx(&sysex);
      return noErr;
    }
    case kMusicDevicePrepareInstrumentSelect:
    case kMusicDeviceReleaseInstrumentSelect:
    case kMusicDeviceStartNoteSelect:
    case kMusicDeviceStopNoteSelect: return noErr;  // notes mean nothing to an effect
    default: return badComponentSelector;
  }
}
