// The Audio Unit property table: what each property answers and accepts, in which scopes.
#include <algorithm>
#include <cstddef>
#include <cstring>

#include "hosts/au/IPluginAU_State.h"
#include "hosts/au/IPluginAU_ViewFactory.h"

namespace {

// Carbon-era names, absent from Apple's newer headers: the view list and the view type.
enum : UInt32 {
  kPropGetUIComponentList = 18,
  kCarbonViewComponentType = 0x61757677,  // 'auvw'
};

// Values go through memcpy: the host's buffer need not be aligned for them.
template <class T>
void Put(void* pData, const T& value) {
  std::memcpy(pData, &value, sizeof(T));
}

// Set data that is absent or shorter than the n bytes a property needs.
bool Short(const void* pData, UInt32 size, size_t n) { return !pData || size < n; }

template <class T>
T Take(const void* pData) {
  T value;
  std::memcpy(&value, pData, sizeof(T));
  return value;
}

// A property of one fixed-size value; make() runs only when the value is asked for.
template <class T, class Make>
ComponentResult Value(UInt32* pSize, void* pData, Make make) {
  *pSize = sizeof(T);
  if (pData) Put<T>(pData, make());
  return noErr;
}

// The bus an input- or output-scope property addresses; null with the status in *r otherwise.
BusChannels* Bus(IPluginAU* plug, AudioUnitScope scope, AudioUnitElement element,
                 ComponentResult* r) {
  IPluginAU::State& au = plug->AU();
  std::vector<BusChannels>* buses = scope == kAudioUnitScope_Input    ? &au.mInBuses
                                    : scope == kAudioUnitScope_Output ? &au.mOutBuses
                                                                      : nullptr;
  if (!buses) {
    *r = kAudioUnitErr_InvalidScope;
    return nullptr;
  }
  if (element >= buses->size()) {
    *r = kAudioUnitErr_InvalidElement;
    return nullptr;
  }
  return &(*buses)[element];
}

// The input bus an input-only property addresses.
ComponentResult InputBus(IPluginAU* plug, AudioUnitScope scope, AudioUnitElement element) {
  ComponentResult r = noErr;
  if (scope != kAudioUnitScope_Input) return kAudioUnitErr_InvalidScope;
  Bus(plug, scope, element, &r);
  return r;
}

// What feeds an input bus: an upstream unit or a render callback (setting one drops the other),
// recorded under the framework lock, then the inputs are assessed again.
template <class T, class Record>
ComponentResult SetInputSource(IPluginAU* plug, AudioUnitScope scope, AudioUnitElement element,
                               UInt32 size, const void* pData, Record record) {
  const ComponentResult r = InputBus(plug, scope, element);
  if (r != noErr) return r;
  if (Short(pData, size, sizeof(T))) return kAudio_ParamError;
  FW_MutexLock lock(plug->GetMutex());
  record(plug->AU().mInBusConnections[element], Take<T>(pData));
  AUAssessInputConnections(plug);
  return noErr;
}

AudioStreamBasicDescription CanonicalFormat(double rate, int channels) {
  AudioStreamBasicDescription f;
  std::memset(&f, 0, sizeof f);
  f.mSampleRate = rate;
  f.mFormatID = kAudioFormatLinearPCM;
  f.mFormatFlags = kAudioFormatFlagsNativeFloatPacked | kAudioFormatFlagIsNonInterleaved;
  f.mBytesPerPacket = sizeof(Float32);
  f.mFramesPerPacket = 1;
  f.mBytesPerFrame = sizeof(Float32);
  f.mChannelsPerFrame = static_cast<UInt32>(channels);
  f.mBitsPerChannel = 32;
  return f;
}

// The adapter hands the host's buffers to the framework as separate 32-bit float channels.
bool IsCanonicalFloat(const AudioStreamBasicDescription& f) {
  const UInt32 flags = f.mFormatFlags;
  return f.mFormatID == kAudioFormatLinearPCM && (flags & kAudioFormatFlagIsFloat) &&
         (flags & kAudioFormatFlagIsNonInterleaved) && !(flags & kAudioFormatFlagIsBigEndian) &&
         f.mBitsPerChannel == 32 && f.mBytesPerFrame == sizeof(Float32) &&
         f.mFramesPerPacket == 1 && std::isfinite(f.mSampleRate);
}

// A rate the framework can run at; below it a sample would last longer than a second.
bool UsableRate(double rate) { return rate >= IPluginBase::kMinSampleRate; }

AudioChannelLayoutTag LayoutTag(int channels) {
  if (channels == 1) return kAudioChannelLayoutTag_Mono;
  if (channels == 2) return kAudioChannelLayoutTag_Stereo;
  return kAudioChannelLayoutTag_DiscreteInOrder | static_cast<UInt32>(channels);
}

// A new sample rate reaches the engine through Reset; the next render pulls afresh.
void ChangeSampleRate(IPluginAU* plug, double rate) {
  if (rate == plug->GetSampleRate()) return;
  plug->SetSampleRate(rate);
  plug->Reset();
  plug->AU().mLastRenderSampleTime = NAN;
}

// The factory presets as AUPreset records, made once: the array the host gets points at them.
CFArrayRef FactoryPresets(IPluginAU* plug) {
  IPluginAU::State& au = plug->AU();
  if (au.mFactoryPresets.size() != static_cast<size_t>(plug->NPresets())) {  // mutate: skip (Quillmar has no factory presets: both counts are 0, the loop adds none)
    for (int i = static_cast<int>(au.mFactoryPresets.size()); i < plug->NPresets(); ++i)
      au.mFactoryPresets.push_back(AUPreset{i, AUMakeCFString(plug->GetPresetName(i))});
  }
  CFMutableArrayRef a = CFArrayCreateMutable(kCFAllocatorDefault, 0, nullptr);
  for (AUPreset& p : au.mFactoryPresets) CFArrayAppendValue(a, &p);
  return a;
}

// PresentPreset hands the host a name it releases; the deprecated CurrentPreset lends one the
// adapter keeps (replaced only when the name changes).
AUPreset CurrentPreset(IPluginAU* plug, bool retained) {
  const int idx = plug->GetCurrentPresetIdx();
  const char* name = plug->GetPresetName(idx);
  AUPreset p = {idx, nullptr};
  if (retained) {
    p.presetName = AUMakeCFString(name);
    return p;
  }
  IPluginAU::State& au = plug->AU();
  char kept[256] = "";
  if (!au.mCurrentPresetName ||
      !CFStringGetCString(au.mCurrentPresetName, kept, sizeof kept, kCFStringEncodingUTF8) ||
      std::strcmp(kept, name) != 0) {
    if (au.mCurrentPresetName) CFRelease(au.mCurrentPresetName);
    au.mCurrentPresetName = AUMakeCFString(name);
  }
  p.presetName = au.mCurrentPresetName;
  return p;
}

ComponentResult SetStreamFormat(IPluginAU* plug, AudioUnitScope scope, AudioUnitElement element,
                                UInt32 size, const void* pData) {
  ComponentResult r = noErr;
  BusChannels* bus = Bus(plug, scope, element, &r);
  if (!bus) return r;
  if (Short(pData, size, sizeof(AudioStreamBasicDescription))) return kAudio_ParamError;
  const auto f = Take<AudioStreamBasicDescription>(pData);
  const UInt32 n = f.mChannelsPerFrame;
  if (!IsCanonicalFloat(f) || n < 1 || n > static_cast<UInt32>(bus->mNPlugChannels))
    return kAudioUnitErr_FormatNotSupported;
  if (!UsableRate(f.mSampleRate)) return kAudioUnitErr_InvalidPropertyValue;
  // Initialised, the unit keeps the channels it was initialised with; a new rate re-sizes it
  // at once, as the SampleRate property does.
  if (plug->AU().mActive && static_cast<int>(n) != bus->Channels()) return kAudioUnitErr_Initialized;
  ChangeSampleRate(plug, f.mSampleRate);
  bus->mNHostChannels = static_cast<int>(n);
  if (scope == kAudioUnitScope_Input) AUAssessInputConnections(plug);
  return noErr;
}

// The host's version packed as major << 16, minor digit << 8, third digit.
ComponentResult SetHostIdentifier(IPluginAU* plug, UInt32 size, const void* pData) {
  if (Short(pData, size, sizeof(AUHostIdentifier))) return kAudio_ParamError;
  const auto id = Take<AUHostIdentifier>(pData);
  char name[256] = "";
  if (id.hostName && CFGetTypeID(id.hostName) == CFStringGetTypeID())
    CFStringGetCString(id.hostName, name, sizeof name, kCFStringEncodingUTF8);
  const AUNumVersion& v = id.hostVersion;
  const int version = (v.majorRev << 16) | (((v.minorAndBugRev >> 4) & 0xF) << 8) |
                      (v.minorAndBugRev & 0xF);
  plug->SetHost(name, version);
  plug->OnHostIdentified();
  return noErr;
}

}  // namespace

ComponentResult AUGetProperty(IPluginAU* plug, AudioUnitPropertyID propID, AudioUnitScope scope,
                              AudioUnitElement element, UInt32* pDataSize, Boolean* pWriteable,
                              void* pData) {
  IPluginAU::State& au = plug->AU();
  ComponentResult r = noErr;
  *pWriteable = false;
  switch (propID) {
    case kAudioUnitProperty_ClassInfo:
      *pWriteable = true;
      return Value<CFPropertyListRef>(pDataSize, pData, [&] { return AUSaveClassInfo(plug); });
    case kAudioUnitProperty_MakeConnection:
    case kAudioUnitProperty_SetRenderCallback:
      // Set only: the size is known, reading is not.
      if ((r = InputBus(plug, scope, element)) != noErr) return r;
      *pWriteable = true;
      *pDataSize = propID == kAudioUnitProperty_MakeConnection ? sizeof(AudioUnitConnection)
                                                               : sizeof(AURenderCallbackStruct);
      return pData ? ComponentResult(kAudioUnitErr_InvalidProperty) : noErr;
    case kAudioUnitProperty_HostCallbacks:
    case kAudioUnitProperty_OfflineRender:
    case kAudioUnitProperty_AUHostIdentifier:
      *pWriteable = true;
      *pDataSize = propID == kAudioUnitProperty_HostCallbacks ? sizeof(HostCallbackInfo)
                   : propID == kAudioUnitProperty_OfflineRender ? sizeof(UInt32)
                                                                : sizeof(AUHostIdentifier);
      return pData ? ComponentResult(kAudioUnitErr_InvalidProperty) : noErr;
    case kAudioUnitProperty_SampleRate:
      *pWriteable = true;
      return Value<Float64>(pDataSize, pData, [&] { return plug->GetSampleRate(); });
    case kAudioUnitProperty_ParameterList: {
      const UInt32 n = scope == kAudioUnitScope_Global ? plug->NParams() : 0;
      *pDataSize = n * sizeof(AudioUnitParameterID);
      for (UInt32 i = 0; pData && i < n; ++i)
        Put<AudioUnitParameterID>(static_cast<char*>(pData) + i * sizeof(AudioUnitParameterID), i);
      return noErr;
    }
    case kAudioUnitProperty_ParameterInfo:
    case kAudioUnitProperty_ParameterValueStrings:
    case kAudioUnitProperty_ParameterStringFromValue:
    case kAudioUnitProperty_ParameterIDName:
    case kAudioUnitProperty_ParameterClumpName:
    case kAudioUnitProperty_ParameterValueFromString:
      return AUGetParamProperty(plug, propID, scope, element, pDataSize, pData);
    case kAudioUnitProperty_FastDispatch:
      // The procedures take the Component Manager's instance storage, which an instance made
      // through the factory has not: its host calls the methods Lookup gives instead.
      if (!au.mComponentManager) return kAudioUnitErr_InvalidProperty;
      switch (element) {
        case kAudioUnitGetParameterSelect:
          return Value<AudioUnitGetParameterProc>(pDataSize, pData, [] { return &AUGetParamProc; });
        case kAudioUnitSetParameterSelect:
          return Value<AudioUnitSetParameterProc>(pDataSize, pData, [] { return &AUSetParamProc; });
        case kAudioUnitRenderSelect:
          return Value<AudioUnitRenderProc>(pDataSize, pData, [] { return &AURenderProc; });
        default: return kAudioUnitErr_InvalidElement;
      }
    case kAudioUnitProperty_StreamFormat: {
      const BusChannels* bus = Bus(plug, scope, element, &r);
      if (!bus) return r;
      *pWriteable = true;
      return Value<AudioStreamBasicDescription>(pDataSize, pData, [&] {
        return CanonicalFormat(plug->GetSampleRate(), bus->Channels());
      });
    }
    case kAudioUnitProperty_ElementCount: {
      if (scope > kAudioUnitScope_Output) return kAudioUnitErr_InvalidScope;
      const size_t n = scope == kAudioUnitScope_Input    ? au.mInBuses.size()
                       : scope == kAudioUnitScope_Output ? au.mOutBuses.size()
                                                         : 1;
      return Value<UInt32>(pDataSize, pData, [&] { return static_cast<UInt32>(n); });
    }
    case kAudioUnitProperty_Latency:
    case kAudioUnitProperty_TailTime:
      return Value<Float64>(pDataSize, pData,
                            [&] { return plug->GetLatency() / plug->GetSampleRate(); });
    case kAudioUnitProperty_SupportedNumChannels: {
      const int n = plug->NChannelIO();
      *pDataSize = n * sizeof(AUChannelInfo);
      for (int i = 0; pData && i < n; ++i) {
        int nIn = 0, nOut = 0;
        plug->GetChannelIO(i, &nIn, &nOut);
        const AUChannelInfo info = {static_cast<SInt16>(nIn), static_cast<SInt16>(nOut)};
        Put(static_cast<char*>(pData) + i * sizeof(AUChannelInfo), info);
      }
      return noErr;
    }
    case kAudioUnitProperty_MaximumFramesPerSlice:
      *pWriteable = true;
      return Value<UInt32>(pDataSize, pData, [&] { return UInt32(plug->GetBlockSize()); });
    case kPropGetUIComponentList:
      return Value<ComponentDescription>(pDataSize, pData, [&] {
        ComponentDescription d;
        std::memset(&d, 0, sizeof d);
        d.componentType = kCarbonViewComponentType;
        d.componentSubType = static_cast<OSType>(plug->GetUniqueID());
        d.componentManufacturer = static_cast<OSType>(plug->GetMfrID());
        return d;
      });
    case kAudioUnitProperty_AudioChannelLayout: return kAudioUnitErr_InvalidPropertyValue;
    case kAudioUnitProperty_BypassEffect:
      *pWriteable = true;
      return Value<UInt32>(pDataSize, pData, [&] { return UInt32(plug->IsBypassed()); });
    case kAudioUnitProperty_LastRenderError:
      return Value<OSStatus>(pDataSize, pData, [] { return OSStatus(noErr); });
    case kAudioUnitProperty_FactoryPresets:
      return Value<CFArrayRef>(pDataSize, pData, [&] { return FactoryPresets(plug); });
    case kAudioUnitProperty_CurrentPreset:
    case kAudioUnitProperty_PresentPreset:
      *pWriteable = true;
      return Value<AUPreset>(pDataSize, pData, [&] {
        return CurrentPreset(plug, propID == kAudioUnitProperty_PresentPreset);
      });
    case kAudioUnitProperty_ElementName: {
      const BusChannels* bus = Bus(plug, scope, element, &r);
      if (!bus) return r;
      return Value<CFStringRef>(pDataSize, pData, [&] {
        return AUMakeCFString(scope == kAudioUnitScope_Input ? plug->GetInputBusLabel(element)
                                                             : plug->GetOutputBusLabel(element));
      });
    }
    case kAudioUnitProperty_CocoaUI: {
      *pDataSize = sizeof(AudioUnitCocoaViewInfo);
      if (!pData) return noErr;
      AudioUnitCocoaViewInfo info;
      if (!AUFillCocoaViewInfo(&info)) return kAudioUnitErr_InvalidProperty;
      Put(pData, info);
      return noErr;
    }
    case kAudioUnitProperty_SupportedChannelLayoutTags: {
      const BusChannels* bus = Bus(plug, scope, element, &r);
      if (!bus) return r;
      return Value<AudioChannelLayoutTag>(pDataSize, pData,
                                          [&] { return LayoutTag(bus->Channels()); });
    }
    case kAUPlugInProperty:
      if (scope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidScope;
      return Value<IPluginAU*>(pDataSize, pData, [&] { return plug; });
    default: return kAudioUnitErr_InvalidProperty;
  }
}

ComponentResult AUSetProperty(IPluginAU* plug, AudioUnitPropertyID propID, AudioUnitScope scope,
                              AudioUnitElement element, UInt32 dataSize, const void* pData) {
  IPluginAU::State& au = plug->AU();
  switch (propID) {
    case kAudioUnitProperty_ClassInfo:
      if (Short(pData, dataSize, sizeof(CFPropertyListRef))) return kAudio_ParamError;
      return AURestoreClassInfo(plug, Take<CFPropertyListRef>(pData));
    case kAudioUnitProperty_MakeConnection:
      return SetInputSource<AudioUnitConnection>(
          plug, scope, element, dataSize, pData, [](InputBusConnection& in, const auto& c) {
            in.mUpstreamUnit = c.sourceAudioUnit;
            in.mUpstreamBusIdx = static_cast<int>(c.sourceOutputNumber);
            if (c.sourceAudioUnit) in.mCallback = AURenderCallbackStruct{nullptr, nullptr};
          });
    case kAudioUnitProperty_SetRenderCallback:
      return SetInputSource<AURenderCallbackStruct>(
          plug, scope, element, dataSize, pData, [](InputBusConnection& in, const auto& cb) {
            in.mCallback = cb.inputProc ? cb : AURenderCallbackStruct{nullptr, nullptr};
            if (cb.inputProc) in.mUpstreamUnit = nullptr;
          });
    case kAudioUnitProperty_SampleRate: {
      if (Short(pData, dataSize, sizeof(Float64))) return kAudio_ParamError;
      const auto rate = Take<Float64>(pData);
      if (!UsableRate(rate)) return kAudioUnitErr_InvalidPropertyValue;
      ChangeSampleRate(plug, rate);
      return noErr;
    }
    case kAudioUnitProperty_StreamFormat:
      return SetStreamFormat(plug, scope, element, dataSize, pData);
    case kAudioUnitProperty_MaximumFramesPerSlice: {
      if (Short(pData, dataSize, sizeof(UInt32))) return kAudio_ParamError;
      const auto frames = Take<UInt32>(pData);
      if (frames < 1 || frames > IPluginBase::kMaxBlockSize)
        return kAudioUnitErr_InvalidPropertyValue;
      plug->SetBlockSize(static_cast<int>(frames));
      if (plug->GetBlockSize() != static_cast<int>(frames)) return kAudio_MemFullError;
      plug->Reset();
      return noErr;
    }
    case kAudioUnitProperty_BypassEffect: {
      if (Short(pData, dataSize, sizeof(UInt32))) return kAudio_ParamError;
      const bool bypass = Take<UInt32>(pData) != 0;
      plug->SetBypassed(bypass);
      plug->OnActivate(!bypass);
      plug->Reset();
      return noErr;
    }
    case kAudioUnitProperty_HostCallbacks: {
      // Older hosts pass the record without its last procedure.
      if (Short(pData, dataSize, offsetof(HostCallbackInfo, transportStateProc2)))
        return kAudio_ParamError;
      HostCallbackInfo info;
      std::memset(&info, 0, sizeof info);
      std::memcpy(&info, pData, std::min<size_t>(dataSize, sizeof info));
      au.mHostCallbacks = info;
      return noErr;
    }
    case kAudioUnitProperty_CurrentPreset:
    case kAudioUnitProperty_PresentPreset:
      if (Short(pData, dataSize, sizeof(AUPreset))) return kAudio_ParamError;
      return plug->RestorePreset(static_cast<int>(Take<AUPreset>(pData).presetNumber))
                 ? noErr
                 : ComponentResult(kAudioUnitErr_InvalidPropertyValue);
    case kAudioUnitProperty_OfflineRender:
      if (Short(pData, dataSize, sizeof(UInt32))) return kAudio_ParamError;
      au.mOffline = Take<UInt32>(pData) != 0;
      return noErr;
    case kAudioUnitProperty_AUHostIdentifier: return SetHostIdentifier(plug, dataSize, pData);
    case kAudioUnitProperty_ParameterList:
    case kAudioUnitProperty_ParameterInfo:
    case kAudioUnitProperty_FastDispatch:
    case kAudioUnitProperty_ElementCount:
    case kAudioUnitProperty_Latency:
    case kAudioUnitProperty_SupportedNumChannels:
    case kAudioUnitProperty_ParameterValueStrings:
    case kPropGetUIComponentList:
    case kAudioUnitProperty_AudioChannelLayout:
    case kAudioUnitProperty_TailTime:
    case kAudioUnitProperty_LastRenderError:
    case kAudioUnitProperty_FactoryPresets:
    case kAudioUnitProperty_ElementName:
    case kAudioUnitProperty_CocoaUI:
    case kAudioUnitProperty_SupportedChannelLayoutTags:
    case kAudioUnitProperty_ParameterStringFromValue:
    case kAudioUnitProperty_ParameterIDName:
    case kAudioUnitProperty_ParameterClumpName:
    case kAudioUnitProperty_ParameterValueFromString:
    case kAUPlugInProperty: return kAudioUnitErr_PropertyNotWritable;
    default: return kAudioUnitErr_InvalidProperty;
  }
}
