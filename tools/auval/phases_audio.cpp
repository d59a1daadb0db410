// Phases that render: slice sizes and rates, the ways input arrives, parameter events and
// bypass. Every output is compared with `quillmar render` of the same signal and settings.
#include <cmath>
#include <cstring>

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
  ev[0].eventValues.immediate.value = 3.0f;
  ev[2].parameter = 29;
  c(AudioUnitScheduleParameters(u, ev, 3) == kAudioUnitErr_InvalidElement && get_param(u, 5) == 3.0f,
    "an event for parameter 29");
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
