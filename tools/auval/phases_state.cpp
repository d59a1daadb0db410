// Phases on state and notifications: the ClassInfo dictionary, listeners and the editor's
// gestures, bad input of every kind, and what stays alive afterwards.
#include <cmath>
#include <cstring>
#include <functional>

#include "auval.h"
#include "AUStandIn.h"
#include "quillmar_version.h"

namespace {

enum : UInt32 { G = kAudioUnitScope_Global, I = kAudioUnitScope_Input, O = kAudioUnitScope_Output };

CFDictionaryRef class_info(AudioUnit u) {
  CFPropertyListRef p = nullptr;
  get_prop(u, kAudioUnitProperty_ClassInfo, G, 0, &p);
  return static_cast<CFDictionaryRef>(p);
}

std::vector<UInt8> state_bytes(AudioUnit u) {
  CFDictionaryRef d = class_info(u);
  std::vector<UInt8> bytes;
  const void* data = d ? CFDictionaryGetValue(d, CFSTR("data")) : nullptr;
  if (data && CFGetTypeID(data) == CFDataGetTypeID()) {
    const UInt8* p = CFDataGetBytePtr(CFDataRef(data));
    bytes.assign(p, p + CFDataGetLength(CFDataRef(data)));
  }
  if (d) CFRelease(d);
  return bytes;
}

SInt32 number(CFDictionaryRef d, const char* key) {
  CFStringRef k = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
  const void* v = CFDictionaryGetValue(d, k);
  CFRelease(k);
  SInt32 n = -1;
  if (v && CFGetTypeID(v) == CFNumberGetTypeID()) CFNumberGetValue(CFNumberRef(v), kCFNumberSInt32Type, &n);
  return n;
}

// A copy of a dictionary with one key replaced (or removed, with a null value).
CFMutableDictionaryRef variant(CFDictionaryRef base, const char* key, CFTypeRef value) {
  CFMutableDictionaryRef d = CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                                       &kCFTypeDictionaryValueCallBacks);
  for (const char* k : {"version", "type", "subtype", "manufacturer", "name", "data"}) {
    CFStringRef ks = CFStringCreateWithCString(nullptr, k, kCFStringEncodingUTF8);
    const void* v = std::strcmp(k, key) ? CFDictionaryGetValue(base, ks) : value;
    if (v) CFDictionarySetValue(d, ks, v);
    CFRelease(ks);
  }
  return d;
}

struct listen_t {
  int latency_calls = 0, preset_calls = 0, pre = 0, post = 0, order_errors = 0;
  Float64 latency_seen = 0;
};

void property_listener(void* ref, AudioUnit u, AudioUnitPropertyID id, AudioUnitScope scope,
                       AudioUnitElement el) {
  listen_t* l = static_cast<listen_t*>(ref);
  if (scope != G || el != 0) ++l->order_errors;
  if (id == kAudioUnitProperty_PresentPreset) ++l->preset_calls;
  if (id != kAudioUnitProperty_Latency) return;
  ++l->latency_calls;
  get_prop(u, kAudioUnitProperty_Latency, G, 0, &l->latency_seen);
}

OSStatus render_notify(void* ref, AudioUnitRenderActionFlags* flags, const AudioTimeStamp*,
                       UInt32, UInt32, AudioBufferList*) {
  listen_t* l = static_cast<listen_t*>(ref);
  if (*flags & kAudioUnitRenderAction_PreRender) {
    if (l->pre != l->post) ++l->order_errors;
    ++l->pre;
  }
  if (*flags & kAudioUnitRenderAction_PostRender) ++l->post;
  return noErr;
}

// Opens the unit's editor through its view component's create selector, with the arguments
// after the view instance as Apple's 64-bit layout has them: unit, window, parent control,
// location, size, the control out. The view, or null.
AUStandIn_View* open_view(AudioUnit view, AudioUnit unit) {
  void* control = nullptr;
  raw_call_t call = raw_call(view, 0x0301, {long(unit), 0, 0, 0, 0, long(&control)});
  return CallComponentDispatch(&call.head) == noErr ? static_cast<AUStandIn_View*>(control) : nullptr;
}

void check_editor_gesture(check_t& c, AudioUnit u) {
  unit_t view(g.view);
  AUStandIn_View* v = open_view(view, u);
  if (!c(v && v->mWidth == 1060 && v->mHeight == 566, "editor view")) return;
  // The Overall Gain knob: pressed, dragged up, released.
  const int x = v->mWidth - 106, y = 186;
  const float before = get_param(u, 17);
  AUStandIn_ClearEvents();
  v->mMouseDown(v->mRef, x, y);
  v->mMouseDragged(v->mRef, x, y - 20);
  v->mMouseUp(v->mRef, x, y - 20);
  const AudioUnitEventType want[] = {kAudioUnitEvent_BeginParameterChangeGesture,
                                     kAudioUnitEvent_ParameterValueChange,
                                     kAudioUnitEvent_EndParameterChangeGesture};
  c(AUStandIn_EventCount() == 3, "%ld events for one gesture", long(AUStandIn_EventCount()));
  for (int i = 0; i < 3; ++i) {
    AudioUnitEvent e = {};
    AUStandIn_GetEvent(i, &e);
    const AudioUnitParameter& p = e.mArgument.mParameter;
    c(e.mEventType == want[i] && p.mAudioUnit == u && p.mParameterID == 17 && p.mScope == G &&
          p.mElement == 0,
      "event %d: type %u, parameter %u", i, e.mEventType, p.mParameterID);
  }
  c(get_param(u, 17) > before, "Overall Gain %g after the drag, %g before", get_param(u, 17), before);
}

}  // namespace

void phase_class_info(check_t& c) {
  unit_t a, b, fresh;
  apply_settings(a, kCurve);
  CFDictionaryRef saved = class_info(a);
  if (!c(saved && CFGetRetainCount(saved) == 1, "ClassInfo of a new instance")) return;
  const void* name = CFDictionaryGetValue(saved, CFSTR("name"));
  c(number(saved, "version") == QUILLMAR_UNIT_VERSION && number(saved, "type") == SInt32(fourcc("aufx")) &&
        number(saved, "subtype") == SInt32(fourcc("Qmrl")) &&
        number(saved, "manufacturer") == SInt32(fourcc("Mrwd")) && CFDictionaryGetCount(saved) == 6 &&
        name && cf_text(CFStringRef(name)).empty(),
    "keys of the dictionary");
  const std::vector<UInt8> bytes = state_bytes(a);
  double b5 = 0;
  if (bytes.size() == 232) std::memcpy(&b5, &bytes[5 * 8], 8);
  c(bytes.size() == 232 && b5 == -12.0, "state chunk of %zu bytes", bytes.size());
  c(set_prop(b, kAudioUnitProperty_ClassInfo, G, 0, CFPropertyListRef(saved)) == noErr,
    "restore into a new instance");
  c(state_bytes(b) == bytes && get_param(b, 14) == 24.0f, "restored state differs");

  // Refused dictionaries change nothing.
  const std::vector<UInt8> before = state_bytes(fresh);
  CFNumberRef other = CFNumberCreate(nullptr, kCFNumberSInt32Type, &b5);
  CFStringRef text = CFStringCreateWithCString(nullptr, "aufx", kCFStringEncodingUTF8);
  const SInt32 foreign = fourcc("Xxxx");
  CFNumberRef foreign_n = CFNumberCreate(nullptr, kCFNumberSInt32Type, &foreign);
  const Float64 huge = 7e221;  // no integer holds it
  CFNumberRef huge_n = CFNumberCreate(nullptr, kCFNumberFloat64Type, &huge);
  struct bad_t {
    const char* key;
    CFTypeRef value;
  } bad[] = {{"version", nullptr}, {"type", nullptr},  {"subtype", nullptr},
             {"manufacturer", nullptr}, {"name", nullptr}, {"type", text},
             {"subtype", foreign_n},   {"data", text},     {"name", other},
             {"version", huge_n}};
  for (const bad_t& k : bad) {
    CFMutableDictionaryRef d = variant(saved, k.key, k.value);
    c(set_prop(fresh, kAudioUnitProperty_ClassInfo, G, 0, CFPropertyListRef(d)) ==
          kAudioUnitErr_InvalidPropertyValue,
      "a dictionary with \"%s\" %s", k.key, k.value ? "of the wrong kind" : "missing");
    CFRelease(d);
  }
  c(set_prop(fresh, kAudioUnitProperty_ClassInfo, G, 0, CFPropertyListRef(other)) ==
        kAudioUnitErr_InvalidPropertyValue,
    "a number for a dictionary");
  c(state_bytes(fresh) == before, "a refused dictionary changed the state");

  // Without "data" nothing changes; a truncated "data" restores the parameters it holds.
  CFMutableDictionaryRef no_data = variant(saved, "data", nullptr);
  c(set_prop(fresh, kAudioUnitProperty_ClassInfo, G, 0, CFPropertyListRef(no_data)) == noErr &&
        state_bytes(fresh) == before,
    "a dictionary without data");
  CFDataRef part = CFDataCreate(nullptr, bytes.data(), 100);
  CFMutableDictionaryRef truncated = variant(saved, "data", part);
  c(set_prop(fresh, kAudioUnitProperty_ClassInfo, G, 0, CFPropertyListRef(truncated)) == noErr,
    "100 bytes of data");
  c(get_param(fresh, 5) == -12.0f && get_param(fresh, 6) == 6.0f && get_param(fresh, 14) == 0.0f,
    "after 100 bytes: %g, %g, %g", get_param(fresh, 5), get_param(fresh, 6), get_param(fresh, 14));
  for (CFTypeRef o : {CFTypeRef(no_data), CFTypeRef(part), CFTypeRef(truncated), CFTypeRef(other),
                      CFTypeRef(text), CFTypeRef(foreign_n), CFTypeRef(huge_n), CFTypeRef(saved)})
    CFRelease(o);
}

void phase_listeners(check_t& c) {
  unit_t u;
  listen_t l;
  c(AudioUnitAddPropertyListener(u, kAudioUnitProperty_Latency, &property_listener, &l) == noErr &&
        AudioUnitAddPropertyListener(u, kAudioUnitProperty_PresentPreset, &property_listener, &l) ==
            noErr &&
        AudioUnitAddRenderNotify(u, &render_notify, &l) == noErr,
    "adding listeners");
  render_job_t job;
  job.frames = 4096;
  const audio_t in = test_signal(2, job.frames, job.rate);
  audio_t out;
  AudioUnitSetParameter(u, 23, G, 0, 2.0f, 0);  // Resolution: a new kernel size and latency
  render(u, job, in, &out);
  Float64 latency = 0;
  get_prop(u, kAudioUnitProperty_Latency, G, 0, &latency);
  c(l.latency_calls >= 1 && l.latency_seen == latency, "latency listener: %d calls, saw %g s of %g s",
    l.latency_calls, l.latency_seen, latency);
  const int renders = int(job.frames / job.slice);
  c(l.pre == renders && l.post == renders && l.order_errors == 0,
    "render notifications: %d before, %d after %d renders", l.pre, l.post, renders);
  CFDictionaryRef state = class_info(u);
  set_prop(u, kAudioUnitProperty_ClassInfo, G, 0, CFPropertyListRef(state));
  CFRelease(state);
  c(l.preset_calls == 1, "a restored state told %d preset listeners", l.preset_calls);

  AudioUnitRemovePropertyListenerWithUserData(u, kAudioUnitProperty_Latency, &property_listener, &l);
  AudioUnitRemoveRenderNotify(u, &render_notify, &l);
  const int calls = l.latency_calls;
  AudioUnitSetParameter(u, 23, G, 0, 3.0f, 0);
  render(u, job, in, &out);
  c(l.latency_calls == calls && l.pre == renders, "removed listeners were called");
  check_editor_gesture(c, u);
}

void phase_bad_input(check_t& c) {
  unit_t u, source(g.source_slow), view(g.view);
  const AudioStreamBasicDescription fmt = canonical_format(44100, 2);
  const auto format = [&](UInt32 channels, UInt32 flags, double rate) {
    AudioStreamBasicDescription f = fmt;
    f.mChannelsPerFrame = channels;
    f.mFormatFlags = flags;
    f.mSampleRate = rate;
    return f;
  };
  const UInt32 float_flags = fmt.mFormatFlags;
  const auto render_list = [&](UInt32 buffers, UInt32 chans, UInt32 bytes, UInt32 frames,
                               const AudioTimeStamp* ts, UInt32 bus) {
    static float mem[2][8192];
    list2_t l;
    l.get()->mNumberBuffers = buffers;
    l.get()->mBuffers[0] = AudioBuffer{chans, bytes, mem[0]};
    l.get()->mBuffers[1] = AudioBuffer{chans, bytes, mem[1]};
    return AudioUnitRender(u, nullptr, ts, bus, frames, l.get());
  };
  AudioTimeStamp ts = {}, no_time = {};
  ts.mFlags = kAudioTimeStampSampleTimeValid;
  const auto raw = [&](AudioUnit unit, SInt16 what, std::vector<long> args) {
    raw_call_t call = raw_call(unit, what, std::move(args));
    return CallComponentDispatch(&call.head);
  };
  void* out_control = nullptr;
  UInt32 size = 0;
  Float64 nan = NAN, zero = 0;
  const float nan_value = NAN;
  AudioUnitParameterValueFromString no_text = {5, nullptr, 0};
  AudioUnitParameterStringFromValue nan_text = {5, &nan_value, nullptr};
  AudioUnitParameterNameInfo clump0 = {0, -1, nullptr};
  CFNumberRef number = CFNumberCreate(nullptr, kCFNumberSInt32Type, &size);

  struct bad_t {
    const char* what;
    OSStatus expected;
    std::function<OSStatus()> call;
    bool component_manager_only = false;  // a call only the Component Manager's entry takes
  };
  // Initialised, so that renders get as far as their arguments.
  AudioUnitInitialize(u);
  const bad_t cases[] = {
      {"no dispatch record", kAudio_ParamError, [&] { return g.entry(nullptr, Handle(GetComponentInstanceStorage(u))); }, true},
      {"a selector with no plug-in", badComponentInstance, [&] { raw_call_t k = raw_call(u, kAudioUnitResetSelect, {0, 0}); return g.entry(&k.head, nullptr); }, true},
      {"unknown selector 8", badComponentSelector, [&] { return raw(u, 8, {}); }, true},
      {"unknown selector 300", badComponentSelector, [&] { return raw(u, 300, {}); }, true},
      {"property info with no outputs", noErr, [&] { return AudioUnitGetPropertyInfo(u, kAudioUnitProperty_StreamFormat, O, 0, nullptr, nullptr); }},
      {"get with no size", kAudio_ParamError, [&] { return AudioUnitGetProperty(u, kAudioUnitProperty_Latency, G, 0, &size, nullptr); }},
      {"get with no data", noErr, [&] { return AudioUnitGetProperty(u, kAudioUnitProperty_Latency, G, 0, nullptr, &size); }},
      {"format into 39 bytes", kAudio_ParamError, [&] { AudioStreamBasicDescription f; UInt32 n = 39; return AudioUnitGetProperty(u, kAudioUnitProperty_StreamFormat, O, 0, &f, &n); }},
      {"ClassInfo into 4 bytes", kAudio_ParamError, [&] { void* p = nullptr; UInt32 n = 4; return AudioUnitGetProperty(u, kAudioUnitProperty_ClassInfo, G, 0, &p, &n); }},
      {"set with no data", kAudio_ParamError, [&] { return AudioUnitSetProperty(u, kAudioUnitProperty_StreamFormat, O, 0, nullptr, 40); }},
      {"set a format of 39 bytes", kAudio_ParamError, [&] { return AudioUnitSetProperty(u, kAudioUnitProperty_StreamFormat, O, 0, &fmt, 39); }},
      {"set a read-only property", kAudioUnitErr_PropertyNotWritable, [&] { return set_prop(u, kAudioUnitProperty_Latency, G, 0, zero); }},
      {"sample rate NaN", kAudioUnitErr_InvalidPropertyValue, [&] { return set_prop(u, kAudioUnitProperty_SampleRate, G, 0, nan); }},
      {"sample rate 0", kAudioUnitErr_InvalidPropertyValue, [&] { return set_prop(u, kAudioUnitProperty_SampleRate, G, 0, zero); }},
      {"sample rate 0.5", kAudioUnitErr_InvalidPropertyValue, [&] { return set_prop(u, kAudioUnitProperty_SampleRate, G, 0, Float64(0.5)); }},
      {"a format at 0.5 Hz", kAudioUnitErr_InvalidPropertyValue, [&] { return set_prop(u, kAudioUnitProperty_StreamFormat, O, 0, format(2, float_flags, 0.5)); }},
      {"a format at -44100 Hz", kAudioUnitErr_InvalidPropertyValue, [&] { return set_prop(u, kAudioUnitProperty_StreamFormat, I, 0, format(2, float_flags, -44100)); }},
      {"maximum frames 0", kAudioUnitErr_InvalidPropertyValue, [&] { return set_prop(u, kAudioUnitProperty_MaximumFramesPerSlice, G, 0, UInt32(0)); }},
      {"maximum frames 2^21", kAudioUnitErr_InvalidPropertyValue, [&] { return set_prop(u, kAudioUnitProperty_MaximumFramesPerSlice, G, 0, UInt32(1 << 21)); }},
      {"a format of 0 channels", kAudioUnitErr_FormatNotSupported, [&] { return set_prop(u, kAudioUnitProperty_StreamFormat, I, 0, format(0, float_flags, 44100)); }},
      {"a format of 129 channels", kAudioUnitErr_FormatNotSupported, [&] { return set_prop(u, kAudioUnitProperty_StreamFormat, O, 0, format(129, float_flags, 44100)); }},
      {"an interleaved format", kAudioUnitErr_FormatNotSupported, [&] { return set_prop(u, kAudioUnitProperty_StreamFormat, O, 0, format(2, kAudioFormatFlagsNativeFloatPacked, 44100)); }},
      {"a 16-bit integer format", kAudioUnitErr_FormatNotSupported, [&] { auto f = format(2, kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsNonInterleaved, 44100); f.mBitsPerChannel = 16; f.mBytesPerFrame = 2; return set_prop(u, kAudioUnitProperty_StreamFormat, O, 0, f); }},
      {"a format at NaN Hz", kAudioUnitErr_FormatNotSupported, [&] { return set_prop(u, kAudioUnitProperty_StreamFormat, O, 0, format(2, float_flags, NAN)); }},
      {"a format for bus 3", kAudioUnitErr_InvalidElement, [&] { return set_prop(u, kAudioUnitProperty_StreamFormat, O, 3, fmt); }},
      {"a format in scope 7", kAudioUnitErr_InvalidScope, [&] { return set_prop(u, kAudioUnitProperty_StreamFormat, 7, 0, fmt); }},
      {"element count in scope 5", kAudioUnitErr_InvalidScope, [&] { return get_prop(u, kAudioUnitProperty_ElementCount, 5, 0, &size); }},
      {"info of parameter 2^32 - 1", kAudioUnitErr_InvalidElement, [&] { AudioUnitParameterInfo i; return get_prop(u, kAudioUnitProperty_ParameterInfo, G, 0xFFFFFFFF, &i); }},
      {"parameter info in input scope", kAudioUnitErr_InvalidProperty, [&] { AudioUnitParameterInfo i; return get_prop(u, kAudioUnitProperty_ParameterInfo, I, 0, &i); }},
      {"render callback in output scope", kAudioUnitErr_InvalidScope, [&] { return set_prop(u, kAudioUnitProperty_SetRenderCallback, O, 0, AURenderCallbackStruct{}); }},
      {"render callback for bus 1", kAudioUnitErr_InvalidElement, [&] { return set_prop(u, kAudioUnitProperty_SetRenderCallback, I, 1, AURenderCallbackStruct{}); }},
      {"a connection of 8 bytes", kAudio_ParamError, [&] { AudioUnitConnection k = {}; return AudioUnitSetProperty(u, kAudioUnitProperty_MakeConnection, I, 0, &k, 8); }},
      {"host callbacks of 8 bytes", kAudio_ParamError, [&] { HostCallbackInfo h = {}; return AudioUnitSetProperty(u, kAudioUnitProperty_HostCallbacks, G, 0, &h, 8); }},
      {"a host name that is no string", noErr, [&] { AUHostIdentifier h = {CFStringRef(number), {}}; return set_prop(u, kAudioUnitProperty_AUHostIdentifier, G, 0, h); }},
      {"ClassInfo of null", kAudioUnitErr_InvalidPropertyValue, [&] { return set_prop(u, kAudioUnitProperty_ClassInfo, G, 0, CFPropertyListRef(nullptr)); }},
      {"value of no text", kAudioUnitErr_InvalidPropertyValue, [&] { return get_prop(u, kAudioUnitProperty_ParameterValueFromString, G, 0, &no_text); }},
      {"text of NaN", kAudioUnitErr_InvalidPropertyValue, [&] { return get_prop(u, kAudioUnitProperty_ParameterStringFromValue, G, 0, &nan_text); }},
      {"name of clump 0", kAudioUnitErr_InvalidPropertyValue, [&] { return get_prop(u, kAudioUnitProperty_ParameterClumpName, G, 0, &clump0); }},
      {"get parameter into null", kAudio_ParamError, [&] { return AudioUnitGetParameter(u, 0, G, 0, nullptr); }},
      {"get parameter 29", kAudioUnitErr_InvalidElement, [&] { AudioUnitParameterValue v; return AudioUnitGetParameter(u, 29, G, 0, &v); }},
      {"get parameter in output scope", kAudioUnitErr_InvalidProperty, [&] { AudioUnitParameterValue v; return AudioUnitGetParameter(u, 0, O, 0, &v); }},
      {"listener with no procedure", kAudio_ParamError, [&] { return AudioUnitAddPropertyListener(u, 12, nullptr, nullptr); }},
      {"render notify with no procedure", kAudio_ParamError, [&] { return AudioUnitAddRenderNotify(u, nullptr, nullptr); }},
      {"one event at null", kAudio_ParamError, [&] { return AudioUnitScheduleParameters(u, nullptr, 1); }},
      {"a system-exclusive message at null", kAudio_ParamError, [&] { return raw(u, 0x0102, {0, 16}); }, true},
      {"render into no buffer list", kAudio_ParamError, [&] { return AudioUnitRender(u, nullptr, &ts, 0, 512, nullptr); }},
      {"render with no time stamp", kAudioUnitErr_InvalidPropertyValue, [&] { return render_list(2, 1, 2048, 512, nullptr, 0); }},
      {"render without a sample time", kAudioUnitErr_InvalidPropertyValue, [&] { return render_list(2, 1, 2048, 512, &no_time, 0); }},
      {"render of bus 1", kAudioUnitErr_InvalidPropertyValue, [&] { return render_list(2, 1, 2048, 512, &ts, 1); }},
      {"render into one buffer for two channels", kAudio_ParamError, [&] { return render_list(1, 1, 2048, 512, &ts, 0); }},
      {"render into buffers too small", kAudio_ParamError, [&] { return render_list(2, 1, 2044, 512, &ts, 0); }},
      {"render into interleaved buffers", kAudio_ParamError, [&] { return render_list(2, 2, 4096, 512, &ts, 0); }},
      {"view of no unit", badComponentInstance, [&] { return raw(view, 0x0301, {0, 0, 0, 0, 0, long(&out_control)}); }},
      {"view of another unit", badComponentInstance, [&] { return raw(view, 0x0301, {long(source.u), 0, 0, 0, 0, long(&out_control)}); }},
      {"view into no control", kAudio_ParamError, [&] { return raw(view, 0x0301, {long(u.u), 0, 0, 0, 0, 0}); }},
  };
  for (const bad_t& k : cases) {
    if (k.component_manager_only && g.by_bundle) continue;
    const OSStatus r = k.call();
    c(r == k.expected, "%s: %d, expected %d", k.what, int(r), int(k.expected));
  }
  CFRelease(number);
  // After all of it the unit still works.
  render_job_t job;
  job.frames = 2048;
  audio_t out;
  c(render(u, job, test_signal(2, job.frames, job.rate), &out) == noErr, "rendering afterwards");
}

void phase_leaks(check_t& c) {
  const CFIndex alive = AUStandIn_CFObjectsAlive();
  c(alive == 0, "%ld CoreFoundation objects alive after every instance closed", long(alive));
}
