// The saved-state dictionary (ClassInfo): the component's identity, the current preset's name
// and the plug-in's state chunk.
#include <algorithm>

#include "hosts/au/IPluginAU_State.h"

namespace {

void PutNumber(CFMutableDictionaryRef dict, CFStringRef key, SInt32 value) {
  CFNumberRef n = CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt32Type, &value);
  CFDictionarySetValue(dict, key, n);
  CFRelease(n);
}

// A value of the given type under key, or null.
CFTypeRef Get(CFDictionaryRef dict, CFStringRef key, CFTypeID type) {
  const void* value = CFDictionaryGetValue(dict, key);
  return value && CFGetTypeID(value) == type ? value : nullptr;
}

bool GetNumber(CFDictionaryRef dict, CFStringRef key, SInt32* value) {
  CFTypeRef n = Get(dict, key, CFNumberGetTypeID());
  return n && CFNumberGetValue(static_cast<CFNumberRef>(n), kCFNumberSInt32Type, value);
}

}  // namespace

CFPropertyListRef AUSaveClassInfo(IPluginAU* plug) {
  const ComponentDescription cd = AUComponentDescription(plug);
  CFMutableDictionaryRef dict = CFDictionaryCreateMutable(
      kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
  PutNumber(dict, CFSTR(kAUPresetVersionKey), plug->GetEffectVersion(false));
  PutNumber(dict, CFSTR(kAUPresetTypeKey), static_cast<SInt32>(cd.componentType));
  PutNumber(dict, CFSTR(kAUPresetSubtypeKey), static_cast<SInt32>(cd.componentSubType));
  PutNumber(dict, CFSTR(kAUPresetManufacturerKey),
            static_cast<SInt32>(cd.componentManufacturer));
  CFStringRef name = AUMakeCFString(plug->GetPresetName(plug->GetCurrentPresetIdx()));
  CFDictionarySetValue(dict, CFSTR(kAUPresetNameKey), name);
  CFRelease(name);
  ByteChunk chunk;
  if (plug->SerializeState(&chunk)) {
    CFDataRef data = CFDataCreate(kCFAllocatorDefault, chunk.GetBytes(), chunk.Size());
    CFDictionarySetValue(dict, CFSTR(kAUPresetDataKey), data);
    CFRelease(data);
  }
  return dict;
}

// Everything is checked before anything changes: a refused dictionary leaves the plug-in as it
// was.
ComponentResult AURestoreClassInfo(IPluginAU* plug, CFPropertyListRef info) {
  if (!info || CFGetTypeID(info) != CFDictionaryGetTypeID())
    return kAudioUnitErr_InvalidPropertyValue;
  CFDictionaryRef dict = static_cast<CFDictionaryRef>(info);
  SInt32 version = 0, type = 0, subtype = 0, mfr = 0;  // mutate: skip (each is read only once filled)
  CFTypeRef name = Get(dict, CFSTR(kAUPresetNameKey), CFStringGetTypeID());
  const ComponentDescription cd = AUComponentDescription(plug);
  if (!GetNumber(dict, CFSTR(kAUPresetVersionKey), &version) ||
      !GetNumber(dict, CFSTR(kAUPresetTypeKey), &type) ||
      !GetNumber(dict, CFSTR(kAUPresetSubtypeKey), &subtype) ||
      !GetNumber(dict, CFSTR(kAUPresetManufacturerKey), &mfr) || !name ||
      static_cast<OSType>(type) != cd.componentType ||
      static_cast<OSType>(subtype) != cd.componentSubType ||
      static_cast<OSType>(mfr) != cd.componentManufacturer)
    return kAudioUnitErr_InvalidPropertyValue;
  const bool hasData = CFDictionaryGetValueIfPresent(dict, CFSTR(kAUPresetDataKey), nullptr);
  CFTypeRef data = Get(dict, CFSTR(kAUPresetDataKey), CFDataGetTypeID());
  if (hasData && !data) return kAudioUnitErr_InvalidPropertyValue;

  FW_MutexLock lock(plug->GetMutex());
  // An opened unit keeps only presets it filled itself, and Quillmar has none: no name matches.
  char presetName[256] = "";
  CFStringGetCString(static_cast<CFStringRef>(name), presetName, sizeof presetName,
                     kCFStringEncodingUTF8);  // mutate: skip (as said)
  plug->RestorePreset(presetName);  // mutate: skip (as said)
  if (data) {
    // Only the parameters' values are read: longer data is not copied.
    const CFIndex room = static_cast<CFIndex>(plug->NParams()) * sizeof(double);
    const CFIndex n = std::min(CFDataGetLength(static_cast<CFDataRef>(data)), room);
    ByteChunk chunk;
    chunk.PutBytes(CFDataGetBytePtr(static_cast<CFDataRef>(data)), static_cast<int>(n));
    plug->UnserializeState(&chunk, 0);
  }
  plug->RedrawParamControls();
  plug->InformHostOfProgramChange();
  return noErr;
}
