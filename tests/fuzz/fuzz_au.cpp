// The Audio Unit as a host (or a hostile one) drives it, in-process through its entry point:
// property info, get and set with any property ID, scope, element and size (buffers exactly that
// large); ClassInfo dictionaries of any shape, or the unit's own with one value replaced;
// parameters (NaN and the infinities included), initialisation, renders of any shape, resets,
// listeners, scheduled parameters, can-do. Whatever a property's value carries as a pointer is a
// valid object (a host cannot hand over anything else), the rest is raw bytes. Every
// CoreFoundation object handed to the host is released as Apple's rules say; after the unit
// closes none may be left alive. Input: one byte per event, then its arguments.
#include <AudioToolbox/AudioToolbox.h>
#include <CoreServices/CoreServices.h>

#include <cstddef>
#include <string>
#include <vector>

#include "AUStandIn.h"
#include "fuzz.h"

extern "C" ComponentResult Quillmar_Entry(ComponentParameters* params, Handle storage);

namespace {

enum { MAX_EVENTS = 48, MAX_FRAMES = 1 << 14 };

const AudioUnitPropertyID kIDs[] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12,  13,
                                    14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26,  27,
                                    28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 46, 1000};
const char* const kKeys[] = {"version", "type", "subtype", "manufacturer", "name", "data", "x"};

Component g_unit = nullptr;

OSStatus source(void* ref, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32,
                UInt32 frames, AudioBufferList* io) {
  const uintptr_t how = reinterpret_cast<uintptr_t>(ref);
  if (how == 1) return -50;  // a failing pull
  for (UInt32 b = 0; io && b < io->mNumberBuffers; ++b)
    if (float* d = static_cast<float*>(io->mBuffers[b].mData))
      for (UInt32 i = 0; i < frames && i < io->mBuffers[b].mDataByteSize / 4; ++i)
        d[i] = how == 2 ? 1.0f : 0.25f * (i % 7);
  return noErr;
}
void listener(void*, AudioUnit, AudioUnitPropertyID, AudioUnitScope, AudioUnitElement) {}
OSStatus notify(void*, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32, UInt32,
                AudioBufferList*) {
  return noErr;
}
OSStatus beat(void*, Float64* b, Float64* t) {
  if (b) *b = 1.5;
  if (t) *t = 120;
  return noErr;
}

UInt32 pick_id(fuzz_bytes_t& in) {
  const uint8_t p = in.u8();
  return p < 240 ? kIDs[p % (sizeof kIDs / sizeof kIDs[0])] : in.u16() | UInt32(in.u16()) << 16;
}
UInt32 pick_scope(fuzz_bytes_t& in) {
  const uint8_t p = in.u8();
  return p < 250 ? p % 4 : in.u16();
}
UInt32 pick_element(fuzz_bytes_t& in) {
  const uint8_t p = in.u8();
  if (p < 200) return p % 3;
  if (p < 250) return p;  // element numbers as selectors for FastDispatch, or far buses
  return in.u16() | UInt32(in.u16()) << 16;
}
float any_float(fuzz_bytes_t& in) {
  const uint32_t bits = in.u16() | uint32_t(in.u16()) << 16;
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}
std::string text(fuzz_bytes_t& in) {
  std::string s(in.u8() % 24, ' ');
  for (char& c : s) c = static_cast<char>(in.u8() % 95 + 32);
  return s;
}
CFStringRef cf_string(fuzz_bytes_t& in) {
  return CFStringCreateWithCString(nullptr, text(in).c_str(), kCFStringEncodingUTF8);
}

// Any CoreFoundation value; the caller releases it.
CFTypeRef cf_value(fuzz_bytes_t& in, int depth = 0) {
  switch (in.u8() % (depth < 2 ? 6 : 4)) {
    case 0: {
      SInt64 v = 0;  // any integer, from raw bytes
      for (int i = 0; i < 8; ++i) v = SInt64(uint64_t(v) << 8 | in.u8());
      const CFNumberType t = in.u8() % 2 ? kCFNumberSInt32Type : kCFNumberSInt64Type;
      return CFNumberCreate(nullptr, t, &v);
    }
    case 1: {
      const Float64 v = in.f64();
      return CFNumberCreate(nullptr, kCFNumberFloat64Type, &v);
    }
    case 2: return cf_string(in);
    case 3: {
      std::vector<UInt8> bytes(in.u16() % 600);
      for (UInt8& b : bytes) b = in.u8();
      return CFDataCreate(nullptr, bytes.data(), CFIndex(bytes.size()));
    }
    case 4: {
      CFMutableArrayRef a = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
      for (int n = in.u8() % 3; n > 0; --n) {
        CFTypeRef v = cf_value(in, depth + 1);
        CFArrayAppendValue(a, v);
        CFRelease(v);
      }
      return a;
    }
    default: {
      CFMutableDictionaryRef d = CFDictionaryCreateMutable(
          nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
      for (int n = in.u8() % 8; n > 0; --n) {
        CFStringRef k =
            CFStringCreateWithCString(nullptr, kKeys[in.u8() % 7], kCFStringEncodingUTF8);
        CFTypeRef v = cf_value(in, depth + 1);
        CFDictionarySetValue(d, k, v);
        CFRelease(k);
        CFRelease(v);
      }
      return d;
    }
  }
}

// A ClassInfo to restore: any value at all, or the unit's own dictionary with one key's value
// replaced (or removed), which reaches deep into the restore.
CFTypeRef class_info(fuzz_bytes_t& in, AudioUnit u) {
  if (in.u8() % 2) return cf_value(in);
  CFPropertyListRef own = nullptr;
  UInt32 size = sizeof own;
  if (AudioUnitGetProperty(u, kAudioUnitProperty_ClassInfo, 0, 0, &own, &size) != noErr || !own)
    return cf_value(in);
  CFMutableDictionaryRef d = CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                                       &kCFTypeDictionaryValueCallBacks);
  for (const char* key : kKeys) {
    CFStringRef k = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
    if (const void* v = CFDictionaryGetValue(static_cast<CFDictionaryRef>(own), k))
      CFDictionarySetValue(d, k, v);
    CFRelease(k);
  }
  CFRelease(own);
  CFStringRef k = CFStringCreateWithCString(nullptr, kKeys[in.u8() % 7], kCFStringEncodingUTF8);
  if (in.u8() % 4 == 0) {
    CFDictionaryRemoveValue(d, k);
  } else {
    CFTypeRef v = cf_value(in);
    CFDictionarySetValue(d, k, v);
    CFRelease(v);
  }
  CFRelease(k);
  return d;
}

// Releases what a property's value hands to the host, as the validator does.
void release_value(UInt32 id, const std::vector<uint8_t>& buf, UInt32 size) {
  const auto at = [&](size_t offset) {
    CFTypeRef r = nullptr;
    if (offset + sizeof r <= size) std::memcpy(&r, buf.data() + offset, sizeof r);
    return r;
  };
  const auto release = [](CFTypeRef r) {
    if (r) CFRelease(r);
  };
  switch (id) {
    case kAudioUnitProperty_ClassInfo:
    case kAudioUnitProperty_FactoryPresets:
    case kAudioUnitProperty_ElementName:
    case kAudioUnitProperty_ParameterValueStrings: release(at(0)); break;
    case kAudioUnitProperty_ParameterInfo: {
      if (size < sizeof(AudioUnitParameterInfo)) break;
      AudioUnitParameterInfo info;
      std::memcpy(&info, buf.data(), sizeof info);
      if (!(info.flags & kAudioUnitParameterFlag_CFNameRelease)) break;
      release(info.cfNameString);
      if (info.unit == kAudioUnitParameterUnit_CustomUnit) release(info.unitName);
      break;
    }
    // The deprecated CurrentPreset lends its name: only PresentPreset's is the host's.
    case kAudioUnitProperty_PresentPreset: release(at(offsetof(AUPreset, presetName))); break;
    case kAudioUnitProperty_CocoaUI:
      release(at(offsetof(AudioUnitCocoaViewInfo, mCocoaAUViewBundleLocation)));
      release(at(offsetof(AudioUnitCocoaViewInfo, mCocoaAUViewClass)));
      break;
    case kAudioUnitProperty_ParameterIDName:
    case kAudioUnitProperty_ParameterClumpName:
      release(at(offsetof(AudioUnitParameterNameInfo, outName)));
      break;
    case kAudioUnitProperty_ParameterStringFromValue:
      release(at(offsetof(AudioUnitParameterStringFromValue, outString)));
      break;
    default: break;
  }
}

void get_property(fuzz_bytes_t& in, AudioUnit u) {
  const UInt32 id = pick_id(in), scope = pick_scope(in), element = pick_element(in);
  UInt32 size = in.u16() % 512;
  std::vector<uint8_t> buf(size);  // exactly the size the host says it has
  for (uint8_t& b : buf) b = in.u8() & 3 ? 0 : in.u8();
  // The query properties' inputs: a valid value pointer and string.
  const float value = any_float(in);
  CFStringRef string = cf_string(in);
  if (id == kAudioUnitProperty_ParameterStringFromValue &&
      size >= sizeof(AudioUnitParameterStringFromValue)) {
    AudioUnitParameterStringFromValue q = {in.u8(), in.u8() % 2 ? &value : nullptr, nullptr};
    std::memcpy(buf.data(), &q, sizeof q);
  }
  if (id == kAudioUnitProperty_ParameterValueFromString &&
      size >= sizeof(AudioUnitParameterValueFromString)) {
    AudioUnitParameterValueFromString q = {in.u8(), in.u8() % 2 ? string : nullptr, 0};
    std::memcpy(buf.data(), &q, sizeof q);
  }
  if ((id == kAudioUnitProperty_ParameterIDName || id == kAudioUnitProperty_ParameterClumpName) &&
      size >= sizeof(AudioUnitParameterNameInfo)) {
    AudioUnitParameterNameInfo q = {in.u8(), SInt32(int8_t(in.u8())), nullptr};
    std::memcpy(buf.data(), &q, sizeof q);
  }
  // An empty buffer's data() may be null, which asks for the size as no_data does.
  const bool no_data = in.u8() % 16 == 0 || !buf.data();
  const OSStatus r =
      AudioUnitGetProperty(u, id, scope, element, no_data ? nullptr : buf.data(), &size);
  FUZZ_CHECK(size <= buf.size() || no_data, "property %u: size %u out of %zu", id, size,
             buf.size());
  if (r == noErr && !no_data) release_value(id, buf, size);
  CFRelease(string);
}

void set_property(fuzz_bytes_t& in, AudioUnit u) {
  const UInt32 id = pick_id(in), scope = pick_scope(in), element = pick_element(in);
  std::vector<uint8_t> data(in.u16() % 256);
  for (uint8_t& b : data) b = in.u8();
  std::vector<CFTypeRef> owned;
  const auto put = [&](const void* v, size_t n) {
    data.assign(static_cast<const uint8_t*>(v), static_cast<const uint8_t*>(v) + n);
  };
  switch (id) {  // values that carry pointers: valid objects, or null
    case kAudioUnitProperty_ClassInfo: {
      CFTypeRef info = in.u8() % 8 ? class_info(in, u) : nullptr;
      if (info) owned.push_back(info);
      put(&info, sizeof info);
      break;
    }
    case kAudioUnitProperty_MakeConnection: {
      const AudioUnitConnection c = {nullptr, in.u8(), UInt32(in.u8() % 3)};
      put(&c, sizeof c);
      break;
    }
    case kAudioUnitProperty_SetRenderCallback: {
      const uint8_t how = in.u8() % 4;
      const AURenderCallbackStruct c = {how ? &source : nullptr,
                                        reinterpret_cast<void*>(uintptr_t(how))};
      put(&c, sizeof c);
      break;
    }
    case kAudioUnitProperty_HostCallbacks: {
      const HostCallbackInfo c = {nullptr, in.u8() % 2 ? &beat : nullptr, nullptr, nullptr,
                                  nullptr};
      put(&c, sizeof c);
      break;
    }
    case kAudioUnitProperty_CurrentPreset:
    case kAudioUnitProperty_PresentPreset: {
      const AUPreset p = {SInt32(int8_t(in.u8())), in.u8() % 2 ? cf_string(in) : nullptr};
      if (p.presetName) owned.push_back(p.presetName);
      put(&p, sizeof p);
      break;
    }
    case kAudioUnitProperty_AUHostIdentifier: {
      AUHostIdentifier h = {in.u8() % 2 ? cf_string(in) : nullptr,
                            {in.u8(), in.u8(), in.u8(), in.u8()}};
      if (h.hostName) owned.push_back(h.hostName);
      put(&h, sizeof h);
      break;
    }
    default: break;
  }
  // A size that says less than the value holds, now and then.
  const UInt32 size = in.u8() % 8 == 0 ? UInt32(in.u8() % (data.size() + 1)) : UInt32(data.size());
  AudioUnitSetProperty(u, id, scope, element, data.empty() ? nullptr : data.data(), size);
  for (CFTypeRef o : owned) CFRelease(o);
}

void render(fuzz_bytes_t& in, AudioUnit u) {
  static float mem[2][MAX_FRAMES + 64];
  const UInt32 frames = in.u16() % (MAX_FRAMES + 1);
  alignas(AudioBufferList)
      uint8_t list_bytes[sizeof(AudioBufferList) + 2 * sizeof(AudioBuffer)] = {};
  AudioBufferList* list = reinterpret_cast<AudioBufferList*>(list_bytes);
  const uint8_t shape = in.u8();
  list->mNumberBuffers = shape % 4;  // up to three; the unit has two channels at most
  for (UInt32 b = 0; b < 3; ++b) {
    const UInt32 bytes = shape & 0x80 ? (in.u16() % (MAX_FRAMES + 1)) * 4 : frames * 4;
    list->mBuffers[b] = AudioBuffer{1, std::min<UInt32>(bytes, MAX_FRAMES * 4),
                                    shape & 0x40 ? nullptr : mem[b % 2]};
  }
  AudioTimeStamp ts = {};
  ts.mSampleTime = in.u16();
  ts.mFlags = in.u8() % 4 ? kAudioTimeStampSampleTimeValid : 0;
  AudioUnitRenderActionFlags flags = 0;
  if (AudioUnitRender(u, &flags, &ts, in.u8() % 3, frames, list) != noErr) return;
  for (UInt32 b = 0; b < list->mNumberBuffers && b < 2; ++b) {
    const float* d = static_cast<const float*>(list->mBuffers[b].mData);
    const UInt32 n = std::min(frames, list->mBuffers[b].mDataByteSize / 4);
    for (UInt32 i = 0; d && i < n; ++i)
      FUZZ_CHECK(std::isfinite(d[i]), "output %u[%u] = %g", b, i, d[i]);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz_scratch_config();
  const auto code = [](const char(&s)[5]) {
    return OSType(s[0]) << 24 | OSType(s[1]) << 16 | OSType(s[2]) << 8 | OSType(s[3]);
  };
  ComponentDescription d = {code("aufx"), code("Qmrl"), code("Mrwd"), 0, 0};
  g_unit = RegisterComponent(&d, &Quillmar_Entry, 0, nullptr, nullptr, nullptr);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const CFIndex alive = AUStandIn_CFObjectsAlive();
  AudioUnit u = nullptr;
  FUZZ_CHECK(OpenAComponent(g_unit, &u) == noErr && u, "open");
  fuzz_bytes_t in{data, size};
  for (int event = 0; event < MAX_EVENTS && !in.empty(); ++event) {
    switch (in.u8() % 12) {
      case 0: {
        UInt32 n = 0;
        Boolean w = false;
        const uint8_t outs = in.u8();
        AudioUnitGetPropertyInfo(u, pick_id(in), pick_scope(in), pick_element(in),
                                 outs & 1 ? &n : nullptr, outs & 2 ? &w : nullptr);
        break;
      }
      case 1:
      case 2: get_property(in, u); break;
      case 3:
      case 4: set_property(in, u); break;
      case 5: {
        AudioUnitParameterValue v = 0;
        const UInt32 id = in.u8() % 40, scope = pick_scope(in), el = pick_element(in);
        if (in.u8() % 2)
          AudioUnitSetParameter(u, id, scope, el, any_float(in), in.u16());
        else if (AudioUnitGetParameter(u, id, scope, el, &v) == noErr)
          FUZZ_CHECK(std::isfinite(v), "parameter %u = %g", id, v);
        break;
      }
      case 6: in.u8() % 2 ? AudioUnitInitialize(u) : AudioUnitUninitialize(u); break;
      case 7:
      case 8: render(in, u); break;
      case 9: AudioUnitReset(u, pick_scope(in), pick_element(in)); break;
      case 10: {
        const UInt32 id = pick_id(in);
        switch (in.u8() % 4) {
          case 0: AudioUnitAddPropertyListener(u, id, &listener, nullptr); break;
          case 1: AudioUnitRemovePropertyListenerWithUserData(u, id, &listener, nullptr); break;
          case 2: AudioUnitAddRenderNotify(u, &notify, nullptr); break;
          default: AudioUnitRemoveRenderNotify(u, &notify, nullptr); break;
        }
        break;
      }
      default: {
        AudioUnitParameterEvent events[4] = {};
        const UInt32 n = in.u8() % 5;
        for (UInt32 i = 0; i < n; ++i) {
          events[i].scope = pick_scope(in);
          events[i].parameter = in.u8() % 40;
          events[i].eventType = in.u8() % 3;
          events[i].eventValues.immediate.bufferOffset = in.u16();
          events[i].eventValues.immediate.value = any_float(in);
        }
        AudioUnitScheduleParameters(u, n ? events : nullptr, n);
        CallComponentCanDo(u, SInt16(in.u16()));
        break;
      }
    }
  }
  FUZZ_CHECK(CloseComponent(u) == noErr, "close");
  FUZZ_CHECK(AUStandIn_CFObjectsAlive() == alive, "%ld CoreFoundation objects left alive",
             long(AUStandIn_CFObjectsAlive() - alive));
  return 0;
}
