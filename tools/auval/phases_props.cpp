// Phases on the unit's identity and description: opening, formats, properties, parameters and
// channel configurations.
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "auval.h"
#include "quillmar_version.h"

namespace {

constexpr OSStatus kNoGet = 1;  // a property whose reading needs a query record (see parameters)

struct prop_case_t {
  AudioUnitPropertyID id;
  AudioUnitScope scope;
  UInt32 element;
  OSStatus info, get;  // statuses of GetPropertyInfo and GetProperty
  bool writable;
};

enum : UInt32 { G = kAudioUnitScope_Global, I = kAudioUnitScope_Input, O = kAudioUnitScope_Output };
enum : OSStatus {
  kBadProp = kAudioUnitErr_InvalidProperty,
  kBadScope = kAudioUnitErr_InvalidScope,
  kBadElement = kAudioUnitErr_InvalidElement,
  kBadValue = kAudioUnitErr_InvalidPropertyValue,
};

// Required, recommended and optional properties, in their scopes, and a few in the wrong ones.
const prop_case_t kProps[] = {
    {kAudioUnitProperty_ClassInfo, G, 0, noErr, noErr, true},
    {kAudioUnitProperty_MakeConnection, I, 0, noErr, kBadProp, true},
    {kAudioUnitProperty_MakeConnection, O, 0, kBadScope, kBadScope, false},
    {kAudioUnitProperty_SampleRate, G, 0, noErr, noErr, true},
    {kAudioUnitProperty_ParameterList, G, 0, noErr, noErr, false},
    {kAudioUnitProperty_ParameterInfo, G, 0, noErr, noErr, false},
    {kAudioUnitProperty_FastDispatch, G, kAudioUnitRenderSelect, noErr, noErr, false},
    {kAudioUnitProperty_StreamFormat, I, 0, noErr, noErr, true},
    {kAudioUnitProperty_StreamFormat, O, 0, noErr, noErr, true},
    {kAudioUnitProperty_StreamFormat, G, 0, kBadScope, kBadScope, false},
    {kAudioUnitProperty_StreamFormat, O, 1, kBadElement, kBadElement, false},
    {kAudioUnitProperty_ElementCount, G, 0, noErr, noErr, false},
    {kAudioUnitProperty_Latency, G, 0, noErr, noErr, false},
    {kAudioUnitProperty_SupportedNumChannels, G, 0, noErr, noErr, false},
    {kAudioUnitProperty_MaximumFramesPerSlice, G, 0, noErr, noErr, true},
    {kAudioUnitProperty_ParameterValueStrings, G, 0, noErr, noErr, false},
    {kAudioUnitProperty_ParameterValueStrings, G, 4, kBadProp, kBadProp, false},
    {18 /* GetUIComponentList */, G, 0, noErr, noErr, false},
    {kAudioUnitProperty_AudioChannelLayout, O, 0, kBadValue, kBadValue, false},
    {kAudioUnitProperty_TailTime, G, 0, noErr, noErr, false},
    {kAudioUnitProperty_BypassEffect, G, 0, noErr, noErr, true},
    {kAudioUnitProperty_LastRenderError, G, 0, noErr, noErr, false},
    {kAudioUnitProperty_SetRenderCallback, I, 0, noErr, kBadProp, true},
    {kAudioUnitProperty_FactoryPresets, G, 0, noErr, noErr, false},
    {kAudioUnitProperty_HostCallbacks, G, 0, noErr, kBadProp, true},
    {kAudioUnitProperty_CurrentPreset, G, 0, noErr, noErr, true},
    {kAudioUnitProperty_PresentPreset, G, 0, noErr, noErr, true},
    {kAudioUnitProperty_ElementName, I, 0, noErr, noErr, false},
    {kAudioUnitProperty_ElementName, O, 0, noErr, noErr, false},
    {kAudioUnitProperty_ElementName, G, 0, kBadScope, kBadScope, false},
    {kAudioUnitProperty_CocoaUI, G, 0, noErr, noErr, false},
    {kAudioUnitProperty_SupportedChannelLayoutTags, O, 0, noErr, noErr, false},
    {kAudioUnitProperty_ParameterStringFromValue, G, 0, noErr, kNoGet, false},
    {kAudioUnitProperty_ParameterIDName, G, 0, noErr, kNoGet, false},
    {kAudioUnitProperty_ParameterClumpName, G, 0, noErr, kNoGet, false},
    {kAudioUnitProperty_ParameterValueFromString, G, 0, noErr, kNoGet, false},
    {kAudioUnitProperty_OfflineRender, G, 0, noErr, kBadProp, true},
    {kAudioUnitProperty_AUHostIdentifier, G, 0, noErr, kBadProp, true},
    {64000 /* the plug-in, for the view */, G, 0, noErr, noErr, false},
    {64000, I, 0, kBadScope, kBadScope, false},
    {6, G, 0, kBadProp, kBadProp, false}, {7, G, 0, kBadProp, kBadProp, false},
    {9, G, 0, kBadProp, kBadProp, false}, {10, G, 0, kBadProp, kBadProp, false},
    {15, G, 0, kBadProp, kBadProp, false}, {17, G, 0, kBadProp, kBadProp, false},
    {25, G, 0, kBadProp, kBadProp, false}, {26, G, 0, kBadProp, kBadProp, false},
    {29, G, 0, kBadProp, kBadProp, false}, {1000, G, 0, kBadProp, kBadProp, false},
};

// A CF object the unit handed over: it must be the host's alone (retain count 1).
void release_owned(check_t& c, CFTypeRef obj, UInt32 id) {
  if (!c(obj != nullptr, "property %u: a null object", id)) return;
  c(CFGetRetainCount(obj) == 1, "property %u: retain count %ld", id, long(CFGetRetainCount(obj)));
  CFRelease(obj);
}

// Releases what a property's value hands to the host.
void release_value(check_t& c, UInt32 id, void* data) {
  switch (id) {
    case kAudioUnitProperty_ClassInfo:
    case kAudioUnitProperty_FactoryPresets:
    case kAudioUnitProperty_ElementName:
    case kAudioUnitProperty_ParameterValueStrings:
      release_owned(c, *static_cast<CFTypeRef*>(data), id);
      break;
    case kAudioUnitProperty_ParameterInfo: {
      auto* info = static_cast<AudioUnitParameterInfo*>(data);
      if (info->flags & kAudioUnitParameterFlag_CFNameRelease) {
        release_owned(c, info->cfNameString, id);
        if (info->unit == kAudioUnitParameterUnit_CustomUnit) release_owned(c, info->unitName, id);
      }
      break;
    }
    case kAudioUnitProperty_PresentPreset:
      release_owned(c, static_cast<AUPreset*>(data)->presetName, id);
      break;
    case kAudioUnitProperty_CocoaUI: {
      auto* info = static_cast<AudioUnitCocoaViewInfo*>(data);
      release_owned(c, info->mCocoaAUViewBundleLocation, id);
      release_owned(c, info->mCocoaAUViewClass[0], id);
      break;
    }
    default: break;
  }
}

// Values of the properties a host reads first.
void check_values(check_t& c, AudioUnit u) {
  Float64 latency = 0, tail = 0;
  get_prop(u, kAudioUnitProperty_Latency, G, 0, &latency);
  get_prop(u, kAudioUnitProperty_TailTime, G, 0, &tail);
  c(latency > 0 && latency == tail, "latency %g s, tail %g s", latency, tail);
  for (UInt32 scope : {G, I, O}) {
    UInt32 n = 0;
    get_prop(u, kAudioUnitProperty_ElementCount, scope, 0, &n);
    c(n == 1, "element count %u in scope %u", n, scope);
  }
  AUChannelInfo io[4] = {};
  UInt32 size = sizeof io;
  AudioUnitGetProperty(u, kAudioUnitProperty_SupportedNumChannels, G, 0, io, &size);
  c(size == 2 * sizeof(AUChannelInfo) && io[0].inChannels == 1 && io[0].outChannels == 1 &&
        io[1].inChannels == 2 && io[1].outChannels == 2,
    "channel configurations differ from 1-1 2-2");
  const char* names[] = {"", "input", "output"};
  for (UInt32 scope : {I, O}) {
    CFStringRef name = nullptr;
    get_prop(u, kAudioUnitProperty_ElementName, scope, 0, &name);
    c(cf_text(name) == names[scope], "bus name \"%s\"", cf_text(name).c_str());
    if (name) CFRelease(name);
  }
  ComponentDescription view = {};
  get_prop(u, 18, G, 0, &view);
  c(view.componentType == fourcc("auvw") && view.componentSubType == fourcc("Qmrl") &&
        view.componentManufacturer == fourcc("Mrwd"),
    "view component list");
  AudioChannelLayoutTag tag = 0;
  get_prop(u, kAudioUnitProperty_SupportedChannelLayoutTags, O, 0, &tag);
  c(tag == kAudioChannelLayoutTag_Stereo, "layout tag %#x", tag);
  AudioUnitCocoaViewInfo cocoa = {};
  get_prop(u, kAudioUnitProperty_CocoaUI, G, 0, &cocoa);
  char path[PATH_MAX] = "", real[PATH_MAX] = "";
  if (cocoa.mCocoaAUViewBundleLocation)
    CFURLGetFileSystemRepresentation(cocoa.mCocoaAUViewBundleLocation, true,
                                     reinterpret_cast<UInt8*>(path), sizeof path);
  // The bundle: three folders above its code (Contents/MacOS/Quillmar).
  std::string dir = realpath(g.plugin_path.c_str(), real) ? real : "";
  for (int up = 0; up < 3 && !dir.empty(); ++up) dir.erase(dir.rfind('/'));
  dir += '/';
  c(dir == path && cf_text(cocoa.mCocoaAUViewClass[0]) == "Quillmar_View",
    "Cocoa view: %s in %s", cf_text(cocoa.mCocoaAUViewClass[0]).c_str(), path);
  if (cocoa.mCocoaAUViewBundleLocation) CFRelease(cocoa.mCocoaAUViewBundleLocation);
  if (cocoa.mCocoaAUViewClass[0]) CFRelease(cocoa.mCocoaAUViewClass[0]);
  CFArrayRef presets = nullptr;
  get_prop(u, kAudioUnitProperty_FactoryPresets, G, 0, &presets);
  c(presets && CFArrayGetCount(presets) == 0, "factory presets are listed");
  if (presets) CFRelease(presets);
  AUPreset present = {-2, nullptr};
  get_prop(u, kAudioUnitProperty_PresentPreset, G, 0, &present);
  c(present.presetNumber == 0 && cf_text(present.presetName).empty(), "present preset %d",
    int(present.presetNumber));
  if (present.presetName) CFRelease(present.presetName);
  // The fast procedures answer as the selectors do.
  AudioUnitGetParameterProc getp = nullptr;
  get_prop(u, kAudioUnitProperty_FastDispatch, G, kAudioUnitGetParameterSelect, &getp);
  AudioUnitParameterValue v = 0;
  c(g.by_bundle ? !getp : getp && getp(GetComponentInstanceStorage(u), 8, G, 0, &v) == noErr && v == 80.0f,
    "fast get-parameter procedure");
  void* none = nullptr;
  c(get_prop(u, kAudioUnitProperty_FastDispatch, G, 1, &none) == (g.by_bundle ? kBadProp : kBadElement),
    "fast dispatch of an unknown selector");
  const AUHostIdentifier host = {CFSTR("auval"), {0, 0, 0x21, 1}};
  c(set_prop(u, kAudioUnitProperty_AUHostIdentifier, G, 0, host) == noErr, "host identifier");
  c(set_prop(u, kAudioUnitProperty_OfflineRender, G, 0, UInt32(1)) == noErr, "offline render");
  c(set_prop(u, kAudioUnitProperty_HostCallbacks, G, 0, HostCallbackInfo{}) == noErr,
    "host callbacks");
}

struct param_expect_t {
  const char* name;
  AudioUnitParameterUnit unit;
  double min, max, def;
  const char* label;
};

enum : UInt32 { kBool = kAudioUnitParameterUnit_Boolean, kIdx = kAudioUnitParameterUnit_Indexed,
                kCustom = kAudioUnitParameterUnit_CustomUnit, kGeneric = kAudioUnitParameterUnit_Generic };
const double kGainMin = -(60.0 + 20.0 / std::log(10.0)), kVRange = 60.0 + 10.0 / std::log(10.0);

const param_expect_t kParams[29] = {
    {"Band A on", kBool, 0, 1, 1, ""}, {"Band B on", kBool, 0, 1, 1, ""},
    {"Band C on", kBool, 0, 1, 1, ""}, {"Band D on", kBool, 0, 1, 1, ""},
    {"Band A gain", kCustom, kGainMin, 60, 1e-6, "dB"}, {"Band B gain", kCustom, kGainMin, 60, 1e-6, "dB"},
    {"Band C gain", kCustom, kGainMin, 60, 1e-6, "dB"}, {"Band D gain", kCustom, kGainMin, 60, 1e-6, "dB"},
    {"Band A freq", kCustom, 20, 20000, 80, "Hz"}, {"Band B freq", kCustom, 20, 20000, 370, "Hz"},
    {"Band C freq", kCustom, 20, 20000, 1700, "Hz"}, {"Band D freq", kCustom, 20, 20000, 8000, "Hz"},
    {"Band A slope", kCustom, -100, 100, 0, "dB/oct"}, {"Band B slope", kCustom, -100, 100, 0, "dB/oct"},
    {"Band C slope", kCustom, -100, 100, 0, "dB/oct"}, {"Band D slope", kCustom, -100, 100, 0, "dB/oct"},
    {"Transpose", kCustom, -120, 120, 0, "semitones"}, {"Overall Gain", kCustom, -60, 60, 0, "dB"},
    {"Gain Scale", kCustom, -4, 4, 1, "x"}, {"Colour", kIdx, 0, 2, 2, ""},
    {"Colour Gain", kCustom, 0, 40, 1, "x"}, {"Gamma", kGeneric, 1, 2, 1.1, ""},
    {"Interface Size", kIdx, 0, 2, 1, ""}, {"Resolution", kCustom, 0.2, 16, 1, "x"},
    {"Input Buffer Size", kCustom, 0, 6, 0.2, "x"}, {"Limiter", kCustom, -30, 60, 0, "dB"},
    {"Vert. Range", kCustom, 3, kVRange, kVRange, "dB"}, {"Hor. Zoom", kCustom, 1, 10, 1, "x"},
    {"Hor. Position", kGeneric, 0, 1, 0.5, ""},
};

void check_param_info(check_t& c, AudioUnit u, UInt32 i) {
  const param_expect_t& e = kParams[i];
  AudioUnitParameterInfo info = {};
  if (!c(get_prop(u, kAudioUnitProperty_ParameterInfo, G, i, &info) == noErr, "info %u", i)) return;
  const UInt32 flags = kAudioUnitParameterFlag_IsReadable | kAudioUnitParameterFlag_IsWritable |
                       kAudioUnitParameterFlag_HasCFNameString |
                       kAudioUnitParameterFlag_CFNameRelease;
  c(!std::strcmp(info.name, e.name) && cf_text(info.cfNameString) == e.name, "name of %u: %s", i,
    info.name);
  c(info.flags == flags && info.clumpID == 0, "flags of %s: %#x", e.name, info.flags);
  c(info.unit == e.unit && (e.unit != kCustom || cf_text(info.unitName) == e.label),
    "unit of %s: %u", e.name, info.unit);
  c(info.minValue == float(e.min) && info.maxValue == float(e.max) &&
        info.defaultValue == float(e.def),
    "range of %s: %g .. %g, %g", e.name, info.minValue, info.maxValue, info.defaultValue);
  release_value(c, kAudioUnitProperty_ParameterInfo, &info);
  AudioUnitParameterIDName idName = {i, kAudioUnitParameterName_Full, nullptr};
  get_prop(u, kAudioUnitProperty_ParameterIDName, G, 0, &idName);
  c(cf_text(idName.outName) == e.name, "ID name of %u", i);
  if (idName.outName) CFRelease(idName.outName);
  CFArrayRef strings = nullptr;
  const OSStatus r = get_prop(u, kAudioUnitProperty_ParameterValueStrings, G, i, &strings);
  if (e.unit == kBool) {
    c(r == noErr && strings && CFArrayGetCount(strings) == 2 &&
          cf_text(CFStringRef(CFArrayGetValueAtIndex(strings, 0))) == "off" &&
          cf_text(CFStringRef(CFArrayGetValueAtIndex(strings, 1))) == "on",
      "value strings of %s", e.name);
    if (strings) CFRelease(strings);
  } else {
    c(r == kBadProp, "value strings of %s: %d", e.name, int(r));
  }
}

std::string string_from_value(AudioUnit u, UInt32 id, const float* value) {
  AudioUnitParameterStringFromValue q = {id, value, nullptr};
  get_prop(u, kAudioUnitProperty_ParameterStringFromValue, G, 0, &q);
  const std::string s = cf_text(q.outString);
  if (q.outString) CFRelease(q.outString);
  return s;
}

OSStatus value_from_string(AudioUnit u, UInt32 id, const char* text, float* value) {
  CFStringRef s = CFStringCreateWithCString(nullptr, text, kCFStringEncodingUTF8);
  AudioUnitParameterValueFromString q = {id, s, NAN};
  const OSStatus r = get_prop(u, kAudioUnitProperty_ParameterValueFromString, G, 0, &q);
  CFRelease(s);
  *value = q.outValue;
  return r;
}

}  // namespace

void phase_bundle(check_t& c) {
  const au_bundle_t& b = g.bundle;
  c(b.identifier == "com.merrowind.audiounit.Quillmar" && b.name == "Merrowind: Quillmar" &&
        b.factory_name == "Quillmar_Factory",
    "Info.plist: %s, \"%s\", factory %s", b.identifier.c_str(), b.name.c_str(),
    b.factory_name.c_str());
  const AudioComponentDescription want = {fourcc("aufx"), fourcc("Qmrl"), fourcc("Mrwd"), 0, 0};
  c(AudioComponentFindNext(nullptr, &want) == b.component, "the registered unit is not found");
  for (const char* f : {"black_knob.png", "light.png", "logo.png", "shadow.png", "font"}) {
    const std::string path = b.path + "/Contents/Resources/resources/img/" + f;
    c(access(path.c_str(), R_OK) == 0, "%s is missing", path.c_str());
  }
  // The entry's version is the unit's own (the one its saved state carries).
  UInt32 version = 0;
  AudioComponentGetVersion(b.component, &version);
  unit_t u;
  CFPropertyListRef state = nullptr;
  get_prop(u.u, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, &state);
  SInt32 unit_version = -1;
  const void* v = state ? CFDictionaryGetValue(CFDictionaryRef(state), CFSTR("version")) : nullptr;
  if (v) CFNumberGetValue(CFNumberRef(v), kCFNumberSInt32Type, &unit_version);
  if (state) CFRelease(state);
  c(version == b.version && SInt32(b.version) == unit_version && unit_version == QUILLMAR_UNIT_VERSION,
    "version: the plist's %#x, the unit's %#x", unsigned(b.version), unsigned(unit_version));
  c(AudioComponentInstanceGetComponent(u.u) == b.component, "the instance's component");
  // Each call of the factory gives an interface of its own; one never opened closes cleanly.
  AudioComponentPlugInInterface* one = b.factory(&b.desc);
  AudioComponentPlugInInterface* two = b.factory(&b.desc);
  if (c(one && two && one != two, "the factory gave %p and %p", (void*)one, (void*)two)) {
    c(one->Lookup(kAudioUnitRenderSelect) && !one->Lookup(8) && !one->Lookup(kComponentOpenSelect),
      "Lookup of render, 8 and open");
    using get_t = AudioUnitGetPropertyProc;
    UInt32 size = 4;
    const auto get = reinterpret_cast<get_t>(one->Lookup(kAudioUnitGetPropertySelect));
    c(get && get(one, kAudioUnitProperty_Latency, 0, 0, &size, &size) == badComponentInstance,
      "a method of an interface never opened");
    c(one->Open(one, nullptr) == kAudio_ParamError, "opening for no instance");
    c(one->Close(one) == noErr && two->Close(two) == noErr, "closing interfaces never opened");
  }
  char note[160];
  std::snprintf(note, sizeof note, "%s, %s %s %s version %#x", b.factory_name.c_str(), "aufx",
                "Qmrl", "Mrwd", unsigned(b.version));
  c.note = note;
}

void phase_open_close(check_t& c) {
  using clock = std::chrono::steady_clock;
  const auto ms = [](clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); };
  double first = 0, open = 0, close = 0;
  const int n = 10;
  for (int i = 0; i <= n; ++i) {
    AudioUnit u = nullptr;
    const auto t0 = clock::now();
    const OSStatus r = open_unit(&u);
    const auto t1 = clock::now();
    if (!c(r == noErr && u, "open answered %d", int(r))) return;
    if (i == 0 && !g.by_bundle) {
      c(GetComponentVersion(u) == QUILLMAR_UNIT_VERSION, "version %#x", unsigned(GetComponentVersion(u)));
      for (SInt16 s = -4; s <= 20; ++s) {
        const bool expected = s < 0 || (s >= 1 && s <= 18 && s != 8 && s != 12 && s != 13);
        c(CallComponentCanDo(u, s) == expected, "can-do %d", s);
      }
    }
    if (i == 0 && g.by_bundle) {
      // Through Lookup: a method for each Audio Unit selector of the can-do table.
      for (SInt16 s = -4; s <= 300; ++s) {
        const bool expected = s >= 1 && s <= 18 && s != 8 && s != 12 && s != 13;
        c(AudioComponentInstanceCanDo(u, s) == expected, "can-do %d", s);
      }
    }
    const auto t2 = clock::now();
    c(close_unit(u) == noErr, "close");
    const auto t3 = clock::now();
    if (i == 0) first = ms(t1 - t0);
    else {
      open += ms(t1 - t0);
      close += ms(t3 - t2);
    }
  }
  char note[160];
  std::snprintf(note, sizeof note, "first open %.1f ms; then open %.1f ms, close %.2f ms, mean of %d",
                first, open / n, close / n, n);
  c.note = note;
}

void phase_default_formats(check_t& c) {
  unit_t u;
  const AudioStreamBasicDescription want = canonical_format(44100, 2);
  for (UInt32 scope : {I, O}) {
    AudioStreamBasicDescription f = {};
    c(get_prop(u, kAudioUnitProperty_StreamFormat, scope, 0, &f) == noErr &&
          !std::memcmp(&f, &want, sizeof f),
      "scope %u: %g Hz, %u channels, flags %#x, %u bits", scope, f.mSampleRate,
      f.mChannelsPerFrame, f.mFormatFlags, f.mBitsPerChannel);
  }
  Float64 rate = 0;
  UInt32 frames = 0;
  get_prop(u, kAudioUnitProperty_SampleRate, G, 0, &rate);
  get_prop(u, kAudioUnitProperty_MaximumFramesPerSlice, G, 0, &frames);
  c(rate == 44100 && frames == 4096, "rate %g, maximum frames %u", rate, frames);
}

void phase_properties(check_t& c) {
  unit_t u;
  alignas(16) unsigned char data[1024];
  for (prop_case_t p : kProps) {
    // An instance made through the factory has no instance storage for fast procedures.
    if (g.by_bundle && p.id == kAudioUnitProperty_FastDispatch) p.info = p.get = kBadProp;
    UInt32 size = 0;
    Boolean writable = 2;
    OSStatus r = AudioUnitGetPropertyInfo(u, p.id, p.scope, p.element, &size, &writable);
    if (!c(r == p.info, "info of %u in scope %u element %u: %d", p.id, p.scope, p.element, int(r)))
      continue;
    if (r == noErr) c(bool(writable) == p.writable, "writability of %u", p.id);
    if (p.get == kNoGet) continue;
    UInt32 got = sizeof data;
    std::memset(data, 0, sizeof data);
    r = AudioUnitGetProperty(u, p.id, p.scope, p.element, data, &got);
    c(r == p.get, "get of %u in scope %u element %u: %d", p.id, p.scope, p.element, int(r));
    if (r != noErr) continue;
    c(got == size, "size of %u: %u, info said %u", p.id, got, size);
    release_value(c, p.id, data);
  }
  check_values(c, u);
}

void phase_parameters(check_t& c) {
  unit_t u;
  UInt32 ids[64] = {}, size = sizeof ids;
  AudioUnitGetProperty(u, kAudioUnitProperty_ParameterList, G, 0, ids, &size);
  c(size == 29 * sizeof(UInt32) && ids[0] == 0 && ids[28] == 28, "parameter list of %u bytes",
    size);
  size = sizeof ids;
  AudioUnitGetProperty(u, kAudioUnitProperty_ParameterList, I, 0, ids, &size);
  c(size == 0, "parameter list in input scope: %u bytes", size);
  for (UInt32 i = 0; i < 29; ++i) check_param_info(c, u, i);

  const float minus6 = -6.0f, off = 0.0f;
  c(string_from_value(u, 5, &minus6) == "-6.00" && string_from_value(u, 0, &off) == "off" &&
        string_from_value(u, 8, nullptr) == "80.00",
    "display texts of values");
  float v = 0;
  c(value_from_string(u, 0, "on", &v) == noErr && v == 1.0f, "value of \"on\": %g", v);
  c(value_from_string(u, 5, "-6.00", &v) == noErr && v == -6.0f, "value of \"-6.00\": %g", v);
  c(value_from_string(u, 5, "-6.00  ", &v) == noErr && v == -6.0f, "value of \"-6.00  \": %g", v);
  c(value_from_string(u, 5, "loud", &v) == kBadValue, "a text that names no value");
  AudioUnitParameterNameInfo clump = {1, kAudioUnitParameterName_Full, nullptr};
  c(get_prop(u, kAudioUnitProperty_ParameterClumpName, G, 0, &clump) == kBadValue, "clump 1");

  // Minimum, maximum and default read back as set.
  for (UInt32 i = 0; i < 29; ++i)
    for (double x : {kParams[i].min, kParams[i].max, kParams[i].def}) {
      const OSStatus r = AudioUnitSetParameter(u, i, G, 0, float(x), 0);
      c(r == noErr && get_param(u, i) == float(x), "%s set to %.9g: %d, reads %.9g",
        kParams[i].name, x, int(r), get_param(u, i));
    }

  // Values a quarter into each range are kept through reset and re-initialisation.
  c(AudioUnitInitialize(u) == noErr, "initialize");
  float set[29];
  for (UInt32 i = 0; i < 29; ++i) {
    set[i] = float(kParams[i].min + 0.25 * (kParams[i].max - kParams[i].min));
    c(AudioUnitSetParameter(u, i, G, 0, set[i], 0) == noErr, "set %u", i);
  }
  for (int round = 0; round < 3; ++round) {
    if (round == 1) AudioUnitReset(u, G, 0);
    if (round == 2) {
      AudioUnitUninitialize(u);
      AudioUnitInitialize(u);
    }
    for (UInt32 i = 0; i < 29; ++i)
      c(get_param(u, i) == set[i], "round %d: %s reads %g, set %g", round, kParams[i].name,
        get_param(u, i), set[i]);
  }
  AudioUnitSetParameter(u, 5, G, 0, 1000.0f, 0);
  c(get_param(u, 5) == 60.0f, "a value above the range reads %g", get_param(u, 5));
  AudioUnitSetParameter(u, 5, G, 0, NAN, 0);
  c(get_param(u, 5) == 60.0f, "a value that is not a number changed the parameter");
  c(AudioUnitSetParameter(u, 5, I, 0, 1.0f, 0) == kBadProp, "set in input scope");
  c(AudioUnitSetParameter(u, 29, G, 0, 1.0f, 0) == kBadElement, "set of parameter 29");
}

void phase_channels(check_t& c) {
  struct io_case_t {
    int in, out;
    OSStatus status;  // of the stream formats, then of initialisation
  };
  const io_case_t cases[] = {{1, 1, noErr},
                             {2, 2, noErr},
                             {2, 1, badComponentSelector},
                             {1, 2, badComponentSelector},
                             {3, 3, kAudioUnitErr_FormatNotSupported},
                             {0, 2, kAudioUnitErr_FormatNotSupported}};
  for (const io_case_t& k : cases) {
    unit_t u;
    OSStatus r = set_io(u, k.in, k.out, 44100);
    if (r == noErr) r = AudioUnitInitialize(u);
    c(r == k.status, "%d-%d: %d, expected %d", k.in, k.out, int(r), int(k.status));
  }
}
