// Phases that render: slice sizes and rates, the ways input arrives, parameter events and
// bypass. Every output is compared with `quillmar render` of the same signal and settings.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <string>
#include <thread>

#include "auval.h"

namespace {

enum : UInt32 { G = kAudioUnitScope_Global };

// Renders one slice of a stereo signal at a sample time into out; the render's status.
OSStatus render_at(AudioUnit u, double time, UInt32 frames, std::vector<float>* out) {
  AudioTimeStamp ts = {};
  ts.mSampleTime = time;
  ts.mFlags = kAudioTimeStampSampleTimeValid;
  list2_t l;
  out->assign(2 * frames, 1234.5f);
  l.get()->mNumberBuffers = 2;
  l.get()->mBuffers[0] = AudioBuffer{1, frames * 4, out->data()};
  l.get()->mBuffers[1] = AudioBuffer{1, frames * 4, out->data() + frames};
  AudioUnitRenderActionFlags flags = 0;
  return AudioUnitRender(u, &flags, &ts, 0, frames, l.get());
}

}  // namespace

void phase_rendering(check_t& c) {
  struct case_t {
    const char* name;
    render_job_t job;
  };
  const case_t cases[] = {
      {"512 frames, default settings", {44100, 2, 512, 16384, kByCallback, false, false}},
      {"512 frames", {44100, 2, 512, 16384}},
      {"64-frame slices", {44100, 2, 64, 8192}},
      {"64 at 22050", {22050, 2, 64, 8192}},
      {"137 at 96000", {96000, 2, 137, 16384}},
      {"4096 at 48000", {48000, 2, 4096, 20480}},
      {"4096 at 192000", {192000, 2, 4096, 24576}},
      {"4096 at 11025", {11025, 2, 4096, 20480}},
      {"1 channel", {44100, 1, 512, 16384}},
      {"output buffers from the unit", {44100, 2, 512, 8192, kByCallback, true}},
  };
  for (const case_t& k : cases) check_against_cli(c, k.name, k.job);

  // More frames than MaximumFramesPerSlice: refused, and the host's buffers are not touched.
  unit_t u;
  feeder_t feeder;
  const audio_t in = test_signal(2, 8192, 44100);
  feeder.in = &in;
  set_prop(u, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0,
           AURenderCallbackStruct{&feed_callback, &feeder});
  AudioUnitInitialize(u);
  std::vector<float> out;
  for (UInt32 limit : {4096u, 256u}) {
    if (limit != 4096) set_prop(u, kAudioUnitProperty_MaximumFramesPerSlice, G, 0, limit);
    const OSStatus r = render_at(u, 0, limit + 1, &out);
    c(r == kAudioUnitErr_InvalidPropertyValue && out[0] == 1234.5f && out.back() == 1234.5f,
      "%u frames with a maximum of %u: %d", limit + 1, limit, int(r));
    c(render_at(u, 0, limit, &out) == noErr, "%u frames with a maximum of %u", limit, limit);
  }
}

void phase_inputs(check_t& c) {
  check_against_cli(c, "render callback", {44100, 2, 512, 16384, kByCallback});
  check_against_cli(c, "upstream unit with a fast render procedure",
                    {44100, 2, 512, 16384, kByFastUnit});
  check_against_cli(c, "upstream unit through AudioUnitRender",
                    {44100, 2, 512, 16384, kBySlowUnit});

  // Inputs are pulled once per time stamp, and again for the same time stamp after a reset.
  const audio_t in = test_signal(2, 4096, 44100);
  for (input_t input : {kByCallback, kBySlowUnit}) {
    unit_t u, source(g.source_slow);
    feeder_t feeder;
    feeder.in = &in;
    g_source = feeder_t{&in, 0};
    if (input == kByCallback)
      set_prop(u, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0,
               AURenderCallbackStruct{&feed_callback, &feeder});
    else
      set_prop(u, kAudioUnitProperty_MakeConnection, kAudioUnitScope_Input, 0,
               AudioUnitConnection{source, 0, 0});
    const int& pulls = input == kByCallback ? feeder.pulls : g_source.pulls;
    AudioUnitInitialize(u);
    std::vector<float> out;
    // Time stamps 0, 0, 0 after a reset, 512.
    const int expected[] = {1, 1, 2, 3};
    for (int step = 0; step < 4; ++step) {
      if (step == 2) AudioUnitReset(u, G, 0);
      render_at(u, step == 3 ? 512 : 0, 512, &out);
      c(pulls == expected[step], "%s, step %d: %d pulls",
        input == kByCallback ? "callback" : "connection", step, pulls);
    }
    set_prop(u, kAudioUnitProperty_MakeConnection, kAudioUnitScope_Input, 0,
             AudioUnitConnection{nullptr, 0, 0});
  }
}

void phase_scheduling(check_t& c) {
  unit_t u;
  AudioUnitParameterEvent ev[3] = {};
  ev[0].parameter = 5;  // Band B gain, at a buffer offset
  ev[0].eventType = kParameterEvent_Immediate;
  ev[0].eventValues.immediate = {100, -6.0f};
  ev[1].parameter = 17;  // a ramp: not followed
  ev[1].eventType = kParameterEvent_Ramped;
  ev[1].eventValues.ramp = {0, 512, 0.0f, 12.0f};
  ev[2].parameter = 25;
  ev[2].eventType = kParameterEvent_Immediate;
  ev[2].eventValues.immediate = {0, -3.0f};
  c(AudioUnitScheduleParameters(u, ev, 3) == noErr, "three events");
  c(get_param(u, 5) == -6.0f && get_param(u, 25) == -3.0f && get_param(u, 17) == 0.0f,
    "values after the events: %g, %g, %g", get_param(u, 5), get_param(u, 25), get_param(u, 17));
  // A bad event in the middle: the valid ones on either side still apply.
  ev[0].eventValues.immediate.value = 3.0f;
  ev[1] = ev[2];
  ev[1].parameter = 29;
  ev[2].eventValues.immediate.value = -9.0f;
  const OSStatus r = AudioUnitScheduleParameters(u, ev, 3);
  c(r == kAudioUnitErr_InvalidElement && get_param(u, 5) == 3.0f && get_param(u, 25) == -9.0f,
    "an event for parameter 29 between two others: %d, %g, %g", int(r), get_param(u, 5),
    get_param(u, 25));
  ev[0].scope = kAudioUnitScope_Input;
  c(AudioUnitScheduleParameters(u, ev, 1) == kAudioUnitErr_InvalidProperty, "an event in input scope");
}

void phase_bypass(check_t& c) {
  unit_t u;
  const render_job_t job;
  const audio_t in = test_signal(2, job.frames, job.rate);
  audio_t out;
  Float64 latency = 0, bypassed_latency = -1;
  get_prop(u, kAudioUnitProperty_Latency, G, 0, &latency);
  c(set_prop(u, kAudioUnitProperty_BypassEffect, G, 0, UInt32(1)) == noErr, "bypass on");
  UInt32 flag = 0;
  get_prop(u, kAudioUnitProperty_BypassEffect, G, 0, &flag);
  c(flag == 1, "bypass reads %u", flag);
  c(render(u, job, in, &out) == noErr && max_diff(out, in) == 0.0,
    "bypassed output differs from the input by %g", max_diff(out, in));
  // The latency stays reported while bypassed: the host keeps its compensation.
  get_prop(u, kAudioUnitProperty_Latency, G, 0, &bypassed_latency);
  c(bypassed_latency == latency && latency > 0, "latency %g s, bypassed %g s", latency,
    bypassed_latency);
  set_prop(u, kAudioUnitProperty_BypassEffect, G, 0, UInt32(0));
  c(render(u, job, in, &out) == noErr && max_diff(out, in) > 1e-3, "processing after bypass");
}

void phase_initialisation(check_t& c) {
  unit_t u;
  feeder_t feeder;
  const audio_t in = test_signal(2, 4096, 44100);
  feeder.in = &in;
  set_prop(u, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0,
           AURenderCallbackStruct{&feed_callback, &feeder});
  std::vector<float> out;
  // Not initialised (yet, or again): refused, and the host's buffers are not touched.
  for (int round = 0; round < 2; ++round) {
    const OSStatus r = render_at(u, 0, 512, &out);
    c(r == kAudioUnitErr_Uninitialized && out[0] == 1234.5f && feeder.pulls == 0,
      "render %s: %d", round ? "after Uninitialize" : "before Initialize", int(r));
    c(AudioUnitInitialize(u) == noErr && render_at(u, 0, 512, &out) == noErr, "render initialised");
    AudioUnitUninitialize(u);
    feeder.pulls = 0;
  }
  // Initialised, a format with other channels is refused; one with another rate re-sizes.
  AudioUnitInitialize(u);
  AudioStreamBasicDescription f = {};
  c(set_prop(u, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, 0,
             canonical_format(44100, 1)) == kAudioUnitErr_Initialized &&
        get_prop(u, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, 0, &f) == noErr &&
        f.mChannelsPerFrame == 2,
    "one channel while initialised: %u channels", f.mChannelsPerFrame);
  Float64 rate = 0;
  c(set_io(u, 2, 2, 96000) == noErr &&
        get_prop(u, kAudioUnitProperty_SampleRate, kAudioUnitScope_Global, 0, &rate) == noErr &&
        rate == 96000 && render_at(u, 512, 512, &out) == noErr,
    "96000 Hz while initialised: %g Hz", rate);
  // Uninitialised, the channels change and initialise again.
  AudioUnitUninitialize(u);
  c(set_io(u, 1, 1, 96000) == noErr && AudioUnitInitialize(u) == noErr, "one channel after Uninitialize");
}

namespace {

// A render callback that checks what the unit asks for, serves the signal and, as some hosts
// do, hands over buffers of its own: as large as the largest slice, or (the host's fault) one
// that is too small for the frames asked.
struct sizes_t {
  feeder_t feeder;
  enum { kGiven, kOwnLarge, kOwnTooSmall } mode = kGiven;
  UInt32 expected_frames = 0;
  int wrong = 0;
  std::vector<float> own[2];
};

OSStatus sizes_callback(void* ref, AudioUnitRenderActionFlags* flags, const AudioTimeStamp* ts,
                        UInt32 bus, UInt32 frames, AudioBufferList* io) {
  sizes_t* s = static_cast<sizes_t*>(ref);
  if (frames != s->expected_frames || io->mNumberBuffers != 2) ++s->wrong;
  for (UInt32 b = 0; b < io->mNumberBuffers && b < 2; ++b) {
    AudioBuffer& buf = io->mBuffers[b];
    if (buf.mNumberChannels != 1 || buf.mDataByteSize != frames * 4 || !buf.mData) ++s->wrong;
    if (s->mode == sizes_t::kGiven) continue;
    s->own[b].assign(4096, 0.0f);
    buf.mData = s->own[b].data();
    buf.mDataByteSize = s->mode == sizes_t::kOwnTooSmall && b == 1 ? frames * 4 - 4 : 4096 * 4;
  }
  return feed_callback(&s->feeder, flags, ts, bus, frames, io);
}

// Renders a signal in slices through the callback above into host buffers sized for 4096
// frames, as a host that keeps one buffer for its largest slice does.
OSStatus render_sliced(sizes_t& s, int slice, const audio_t& in, audio_t* out) {
  unit_t u;
  s.feeder = feeder_t{&in, 0};
  set_io(u, 2, 2, 44100);
  set_prop(u, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0,
           AURenderCallbackStruct{&sizes_callback, &s});
  apply_settings(u, kCurve);
  OSStatus r = AudioUnitInitialize(u);
  const size_t frames = in[0].size();
  out->assign(2, std::vector<float>(frames));
  std::vector<float> host[2] = {std::vector<float>(4096), std::vector<float>(4096)};
  for (size_t pos = 0; r == noErr && pos < frames; pos += slice) {
    const UInt32 n = UInt32(std::min<size_t>(slice, frames - pos));
    s.expected_frames = n;
    AudioTimeStamp ts = {};
    ts.mSampleTime = double(pos);
    ts.mFlags = kAudioTimeStampSampleTimeValid;
    list2_t l;
    l.get()->mNumberBuffers = 2;
    for (int ch = 0; ch < 2; ++ch) l.get()->mBuffers[ch] = AudioBuffer{1, 4096 * 4, host[ch].data()};
    AudioUnitRenderActionFlags flags = 0;
    r = AudioUnitRender(u, &flags, &ts, 0, n, l.get());
    for (int ch = 0; ch < 2; ++ch) std::copy_n(host[ch].data(), n, &(*out)[ch][pos]);
  }
  return r;
}

}  // namespace

void phase_input_buffers(check_t& c) {
  const audio_t in = test_signal(2, 8192, 44100);
  for (int slice : {64, 137, 512, 4096}) {
    audio_t given, large, small;
    sizes_t s;
    c(render_sliced(s, slice, in, &given) == noErr && s.wrong == 0,
      "slices of %d: %d pulls of the wrong size", slice, s.wrong);
    s.mode = sizes_t::kOwnLarge;
    c(render_sliced(s, slice, in, &large) == noErr && max_diff(given, large) == 0.0,
      "slices of %d into the host's own buffers: differs by %g", slice, max_diff(given, large));
    // A buffer too small for the frames is silence, never read past its end.
    s.mode = sizes_t::kOwnTooSmall;
    const OSStatus r = render_sliced(s, slice, in, &small);
    double loud = 0;
    for (float x : small[1]) loud = std::max(loud, double(std::fabs(x)));
    c(r == noErr && small[0] == given[0] && loud == 0.0,
      "slices of %d with a short buffer: %d, the short channel peaks at %g", slice, int(r), loud);
  }
}

namespace {

// The host's time: 120 beats a minute, 4/4, playing, at the sample time of the render under
// way. Calls are counted; one outside a render is a fault.
struct host_time_t {
  double sample = 0;
  bool rendering = false;
  int calls = 0, outside = 0;
};

OSStatus beat_and_tempo(void* ref, Float64* beat, Float64* tempo) {
  host_time_t* t = static_cast<host_time_t*>(ref);
  ++t->calls;
  t->outside += !t->rendering;
  if (beat) *beat = t->sample / 44100 * 2;
  if (tempo) *tempo = 120;
  return noErr;
}

OSStatus musical_time(void* ref, UInt32* delta, Float32* num, UInt32* den, Float64* downbeat) {
  host_time_t* t = static_cast<host_time_t*>(ref);
  ++t->calls;
  t->outside += !t->rendering;
  if (delta) *delta = 0;
  if (num) *num = 4;
  if (den) *den = 4;
  if (downbeat) *downbeat = 0;
  return noErr;
}

OSStatus transport(void* ref, Boolean* playing, Boolean* recording, Boolean* changed,
                   Float64* pos, Boolean* cycling, Float64* start, Float64* end) {
  host_time_t* t = static_cast<host_time_t*>(ref);
  ++t->calls;
  t->outside += !t->rendering;
  if (playing) *playing = true;
  if (recording) *recording = false;
  if (changed) *changed = false;
  if (pos) *pos = t->sample;
  if (cycling) *cycling = false;
  if (start) *start = 0;
  if (end) *end = 0;
  return noErr;
}

host_time_t* g_time = nullptr;

// Marks the render under way for the callbacks.
OSStatus time_notify(void*, AudioUnitRenderActionFlags* flags, const AudioTimeStamp* ts, UInt32,
                     UInt32, AudioBufferList*) {
  if (*flags & kAudioUnitRenderAction_PreRender) {
    g_time->rendering = true;
    g_time->sample = ts->mSampleTime;
  }
  if (*flags & kAudioUnitRenderAction_PostRender) g_time->rendering = false;
  return noErr;
}

}  // namespace

void phase_host_callbacks(check_t& c) {
  const render_job_t job;
  const audio_t in = test_signal(2, job.frames, job.rate);
  audio_t plain, timed;
  {
    unit_t u;
    c(render(u, job, in, &plain) == noErr, "render without callbacks");
  }
  host_time_t t;
  g_time = &t;
  unit_t u;
  const HostCallbackInfo cb = {&t, &beat_and_tempo, &musical_time, nullptr, &transport};
  c(set_prop(u, kAudioUnitProperty_HostCallbacks, kAudioUnitScope_Global, 0, cb) == noErr &&
        AudioUnitAddRenderNotify(u, &time_notify, nullptr) == noErr,
    "host callbacks");
  c(render(u, job, in, &timed) == noErr, "render with callbacks");
  // The equaliser does not follow the song: the output is the same, sample for sample.
  c(max_diff(plain, timed) == 0.0, "the host's time changed the output by %g", max_diff(plain, timed));
  c(t.outside == 0, "%d of %d calls outside a render", t.outside, t.calls);
  AudioUnitRemoveRenderNotify(u, &time_notify, nullptr);
  g_time = nullptr;
  c.note = std::to_string(t.calls) + " calls";
}

void phase_two_threads(check_t& c) {
  // One thread renders while another sets and reads parameters, as a host's audio and main
  // threads do; the gains (three bands and the overall gain) stay within -12 .. 6 dB, so that
  // every sample must stay below 10.
  unit_t u;
  render_job_t job;
  job.slice = 256;
  job.frames = 256 * 400;
  const audio_t in = test_signal(2, job.frames, job.rate);
  audio_t out;
  std::atomic<bool> done{false};
  const float last[] = {-6.0f, 4.5f, 3.0f, -12.0f};
  const AudioUnitParameterID ids[] = {5, 6, 7, 17};
  std::atomic<int> set_errors{0};
  std::thread setter([&] {
    for (int i = 0; !done.load(); ++i) {
      for (int k = 0; k < 4; ++k) {
        const float v = float(((i * 7 + k * 3) % 19) - 12);
        set_errors += AudioUnitSetParameter(u, ids[k], kAudioUnitScope_Global, 0, v, 0) != noErr;
        get_param(u, ids[k]);
      }
      if (i % 16 == 0) std::this_thread::yield();
    }
    for (int k = 0; k < 4; ++k)
      set_errors += AudioUnitSetParameter(u, ids[k], kAudioUnitScope_Global, 0, last[k], 0) != noErr;
  });
  job.curve = false;
  const OSStatus r = render(u, job, in, &out);
  done = true;
  setter.join();
  double peak = 0;
  bool finite = true;
  for (const std::vector<float>& ch : out)
    for (float x : ch) {
      finite = finite && std::isfinite(x);
      peak = std::max(peak, double(std::fabs(x)));
    }
  c(r == noErr && set_errors == 0, "render %d, %d failed parameter calls", int(r), int(set_errors));
  c(finite && peak < 10.0, "the output peaks at %g", peak);
  for (int k = 0; k < 4; ++k)
    c(get_param(u, ids[k]) == last[k], "parameter %u reads %g, set %g", ids[k],
      get_param(u, ids[k]), last[k]);
}
