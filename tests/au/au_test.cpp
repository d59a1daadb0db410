// The Audio Unit adapter's inner pieces, linked in: what the validator cannot see through the
// entry points (allocation on the render path, input assessment, host time, the view factory's
// decision, the framework lock) and the component's export list.
#include <AudioToolbox/AudioToolbox.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <cmath>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "AUStandIn.h"
#include "au_unit.h"
#include "framework/IControl.h"
#include "framework/IGraphics.h"
#include "hosts/au/IPluginAU.h"
#include "hosts/au/IPluginAU_State.h"
#include "hosts/au/IPluginAU_ViewFactory.h"
#include "support/alloc_counter.h"

extern "C" ComponentResult Quillmar_ViewEntry(ComponentParameters* params, Handle storage);

namespace {

enum : UInt32 { G = kAudioUnitScope_Global, I = kAudioUnitScope_Input, O = kAudioUnitScope_Output };

// A unit without a fast render procedure (its storage holds no plug-in), and careless: it
// writes over what a property's reader gives it before it refuses.
ComponentResult plain_entry(ComponentParameters* p, Handle) {
  if (p->what == kAudioUnitGetPropertySelect)
    if (void* out = Arg<void*>(p, 3)) std::memset(out, 0xAB, sizeof(void*));
  const bool life = p->what == kComponentOpenSelect || p->what == kComponentCloseSelect;
  return life ? noErr : ComponentResult(kAudioUnitErr_InvalidProperty);
}

// A plug-in with the adapter and nothing else: no graphics context; its parameters in groups.
struct BarePlug : IPluginAU {
  BarePlug() : IPluginAU(3, "1-1 2-2", 0, "Bare", "", "Test", 0x10000, 1, 2, 0, false, false, false) {
    GetParam(0)->InitDouble("Drive", 0, 0, 1, 0.01, "", "Input");
    GetParam(1)->InitDouble("Tone", 0, 0, 1, 0.01);
    GetParam(2)->InitDouble("Level", 0, 0, 1, 0.01, "", "Output");
  }
  void OnParamChange(int idx) override { changed.push_back(idx); }
  void ProcessMidiMsg(IMidiMsg* m) override { midi = {m->mStatus, m->mData1, m->mData2, m->mOffset}; }
  void ProcessSysEx(ISysEx* s) override { sysex = {s->mData, s->mSize}; }
  std::vector<int> changed, midi;
  std::pair<const uint8_t*, int> sysex{nullptr, -1};
};
IPluginAU* make_bare() { return new BarePlug(); }
ComponentResult bare_entry(ComponentParameters* p, Handle storage) {
  return IPluginAU::Dispatch(p, storage, &make_bare);
}


IPluginAU* make_none() { return nullptr; }

// Three outputs: a stereo bus and a mono one.
struct ThreeOutPlug : IPluginAU {
  ThreeOutPlug() : IPluginAU(1, "1-3", 0, "Three", "", "Test", 0x10000, 1, 2, 0, false, false, false) {
    GetParam(0)->InitDouble("Gain", 0, 0, 1, 0.01);
  }
};
IPluginAU* make_three() { return new ThreeOutPlug(); }
ComponentResult three_entry(ComponentParameters* p, Handle storage) {
  return IPluginAU::Dispatch(p, storage, &make_three);
}

OSStatus silence(void*, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32, UInt32 frames,
                 AudioBufferList* io) {
  for (UInt32 c = 0; c < io->mNumberBuffers; ++c)
    std::fill_n(static_cast<float*>(io->mBuffers[c].mData), frames, 0.0f);
  return noErr;
}

// Each channel at its own level: 0.25 on the first, 0.75 on the second.
OSStatus levels(void*, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32, UInt32 frames,
                AudioBufferList* io) {
  for (UInt32 c = 0; c < io->mNumberBuffers; ++c)
    std::fill_n(static_cast<float*>(io->mBuffers[c].mData), frames, 0.25f + 0.5f * c);
  return noErr;
}

// As levels, or failing (refCon 1), with its second buffer left out (2), or failing on its
// first call only (3). It keeps the flags it was called with.
AudioUnitRenderActionFlags g_pull_flags = 0;
int g_pulls = 0;
OSStatus faulty(void* refCon, AudioUnitRenderActionFlags* f, const AudioTimeStamp* ts, UInt32 bus,
                UInt32 frames, AudioBufferList* io) {
  const intptr_t fault = reinterpret_cast<intptr_t>(refCon);
  g_pull_flags = *f;
  if (fault == 1 || (fault == 3 && g_pulls++ == 0)) return -50;
  levels(nullptr, f, ts, bus, frames, io);
  if (fault == 2) io->mNumberBuffers = 1;
  return noErr;
}

// A bypassed unit (its output is its input) fed by proc.
void feed_bypassed(AudioUnit u, AURenderCallback proc, void* refCon = nullptr) {
  const AURenderCallbackStruct cb = {proc, refCon};
  ASSERT_EQ(AudioUnitSetProperty(u, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0,
                                 &cb, sizeof cb), noErr);
  const UInt32 bypass = 1;
  ASSERT_EQ(AudioUnitSetProperty(u, kAudioUnitProperty_BypassEffect, kAudioUnitScope_Global, 0,
                                 &bypass, sizeof bypass), noErr);
}

// The unit's own format: 32-bit floats, one buffer a channel, at 44.1 kHz.
AudioStreamBasicDescription float_format(UInt32 channels) {
  return {44100, kAudioFormatLinearPCM,
          kAudioFormatFlagsNativeFloatPacked | kAudioFormatFlagIsNonInterleaved, 4, 1, 4, channels, 32, 0};
}

OSStatus render(AudioUnit u, double time, UInt32 frames, float* left, float* right) {
  alignas(AudioBufferList) unsigned char bytes[sizeof(AudioBufferList) + sizeof(AudioBuffer)];
  AudioBufferList* list = reinterpret_cast<AudioBufferList*>(bytes);
  list->mNumberBuffers = 2;
  list->mBuffers[0] = AudioBuffer{1, frames * 4, left};
  list->mBuffers[1] = AudioBuffer{1, frames * 4, right};
  AudioTimeStamp ts = {};
  ts.mSampleTime = time;
  ts.mFlags = kAudioTimeStampSampleTimeValid;
  AudioUnitRenderActionFlags flags = 0;
  return AudioUnitRender(u, &flags, &ts, 0, frames, list);
}

}  // namespace

TEST(AUComponent, ExportsOnlyItsEntryPoints) {
  FILE* p = popen("nm -D --defined-only '" QUILLMAR_AU_COMPONENT "'", "r");
  ASSERT_NE(p, nullptr);
  std::set<std::string> names;
  char line[512], name[400];
  while (std::fgets(line, sizeof line, p))
    if (std::sscanf(line, "%*s %*s %399s", name) == 1) names.insert(name);
  EXPECT_EQ(pclose(p), 0);
  EXPECT_EQ(names, (std::set<std::string>{"Quillmar_Factory", "Quillmar_Entry", "Quillmar_ViewEntry"}));
}

TEST(AUPlugInInterface, WhatCannotBeMadeIsRefused) {
  EXPECT_EQ(IPluginAU::NewPlugInInterface(nullptr), nullptr);
  alloc_refuse_next_nothrow();
  EXPECT_EQ(IPluginAU::NewPlugInInterface(&make_bare), nullptr);
  int instance = 0;  // never touched while no plug-in is made
  const auto ci = reinterpret_cast<AudioComponentInstance>(&instance);
  AudioComponentPlugInInterface* none = IPluginAU::NewPlugInInterface(&make_none);
  ASSERT_NE(none, nullptr);
  EXPECT_EQ(none->reserved, nullptr);
  EXPECT_EQ(none->Open(none, ci), kAudio_MemFullError);
  EXPECT_EQ(none->Open(nullptr, ci), kAudio_ParamError);
  EXPECT_EQ(none->Close(nullptr), kAudio_ParamError);
  EXPECT_EQ(none->Close(none), noErr);
}

// A unit opened as an audio component is what it was registered as, whatever the plug-in's
// own identifiers say.
TEST(AUPlugInInterface, AComponentIsWhatItWasRegisteredAs) {
  const AudioComponentDescription desc = {kAudioUnitType_Effect, 0x4f746872 /* Othr */, 0x456c7365 /* Else */, 0, 0};
  AudioComponent c = AudioComponentRegister(&desc, CFSTR("Other"), 1, [](const AudioComponentDescription*) {
    return IPluginAU::NewPlugInInterface(&make_bare);
  });
  AudioComponentInstance ci = nullptr;
  ASSERT_EQ(AudioComponentInstanceNew(c, &ci), noErr);
  IPluginAU* plug = nullptr;
  UInt32 size = sizeof plug;
  ASSERT_EQ(AudioUnitGetProperty(ci, kAUPlugInProperty, G, 0, &plug, &size), noErr);
  const ComponentDescription d = AUComponentDescription(plug);
  EXPECT_EQ(d.componentSubType, desc.componentSubType);
  EXPECT_EQ(d.componentManufacturer, desc.componentManufacturer);
  AudioComponentInstanceDispose(ci);
}

TEST(AURender, AllocatesNothingOnceInitialised) {
  Unit plug, upstream(&Quillmar_Entry);
  std::vector<float> l(512), r(512);
  const AURenderCallbackStruct cb = {&silence, nullptr};
  for (bool byConnection : {false, true}) {
    if (byConnection) {
      const AudioUnitConnection c = {upstream.u, 0, 0};
      ASSERT_EQ(AudioUnitSetProperty(plug.u, kAudioUnitProperty_MakeConnection, I, 0, &c, sizeof c), noErr);
      AudioUnitSetProperty(upstream.u, kAudioUnitProperty_SetRenderCallback, I, 0, &cb, sizeof cb);
      AudioUnitInitialize(upstream.u);
    } else {
      ASSERT_EQ(AudioUnitSetProperty(plug.u, kAudioUnitProperty_SetRenderCallback, I, 0, &cb, sizeof cb), noErr);
    }
    AudioUnitInitialize(plug.u);
    ASSERT_EQ(render(plug.u, 0, 512, l.data(), r.data()), noErr);
    alloc_scope allocations;
    for (int i = 1; i < 40; ++i) render(plug.u, 512.0 * i, 512, l.data(), r.data());
    EXPECT_EQ(allocations.count(), 0u) << (byConnection ? "by connection" : "by callback");
  }
}

TEST(AUInputs, AssessmentFindsEachInputType) {
  Unit plug, fast, plain(&plain_entry);
  IPluginAU* p = plug.plug();
  EXPECT_EQ(p->InputType(0), 0);
  EXPECT_EQ(p->InputType(1), -1);
  const AURenderCallbackStruct cb = {&silence, nullptr}, none = {nullptr, nullptr};
  AudioUnitSetProperty(plug.u, kAudioUnitProperty_SetRenderCallback, I, 0, &cb, sizeof cb);
  EXPECT_EQ(p->InputType(0), 3);
  // A connection from no unit leaves the callback; one from a unit drops it.
  const AudioUnitConnection toFast = {fast.u, 0, 0}, toPlain = {plain.u, 0, 0}, cut = {};
  AudioUnitSetProperty(plug.u, kAudioUnitProperty_MakeConnection, I, 0, &cut, sizeof cut);
  EXPECT_EQ(p->InputType(0), 3);
  AudioUnitSetProperty(plug.u, kAudioUnitProperty_MakeConnection, I, 0, &toFast, sizeof toFast);
  EXPECT_EQ(p->InputType(0), 1);
  AudioUnitSetProperty(plug.u, kAudioUnitProperty_MakeConnection, I, 0, &toPlain, sizeof toPlain);
  EXPECT_EQ(p->InputType(0), 2);
  AudioUnitSetProperty(plug.u, kAudioUnitProperty_MakeConnection, I, 0, &cut, sizeof cut);
  EXPECT_EQ(p->InputType(0), 0);
  AudioUnitSetProperty(plug.u, kAudioUnitProperty_SetRenderCallback, I, 0, &none, sizeof none);
  EXPECT_EQ(p->InputType(0), 0);
  const char* words[] = {"NotConnected", "DirectFastProc", "DirectNoFastProc", "RenderCallback"};
  for (int t = 0; t < 4; ++t) EXPECT_STREQ(IPluginAU::InputTypeName(t), words[t]);
}

TEST(AUInputs, AConnectedInputReachesTheFrameworkAndABypassedOutput) {
  Unit plug;
  IPluginAU* p = plug.plug();
  const AURenderCallbackStruct none = {nullptr, nullptr};
  feed_bypassed(plug.u, &levels);
  EXPECT_TRUE(p->IsInChannelConnected(0) && p->IsInChannelConnected(1));
  ASSERT_EQ(AudioUnitInitialize(plug.u), noErr);
  std::vector<float> l(64, 9.0f), r(64, 9.0f);
  ASSERT_EQ(render(plug.u, 0, 64, l.data(), r.data()), noErr);
  EXPECT_EQ(l, std::vector<float>(64, 0.25f));
  EXPECT_EQ(r, std::vector<float>(64, 0.75f));
  ASSERT_EQ(AudioUnitUninitialize(plug.u), noErr);
  const AudioStreamBasicDescription mono = float_format(1);
  ASSERT_EQ(AudioUnitSetProperty(plug.u, kAudioUnitProperty_StreamFormat, I, 0, &mono, sizeof mono), noErr);
  EXPECT_TRUE(p->IsInChannelConnected(0) && !p->IsInChannelConnected(1));
  AudioUnitSetProperty(plug.u, kAudioUnitProperty_SetRenderCallback, I, 0, &none, sizeof none);
  EXPECT_FALSE(p->IsInChannelConnected(0) || p->IsInChannelConnected(1));
}

TEST(AUProperties, SizesListsAndShortSets) {
  Unit plug;
  const UInt32 n = UInt32(plug.plug()->NParams());
  // The size alone, asked through GetProperty with no data.
  const struct {
    AudioUnitPropertyID id;
    UInt32 scope, size;
  } sizes[] = {{kAudioUnitProperty_Latency, G, sizeof(Float64)},
               {kAudioUnitProperty_CocoaUI, G, sizeof(AudioUnitCocoaViewInfo)},
               {kAudioUnitProperty_ParameterList, G, n * UInt32(sizeof(AudioUnitParameterID))},
               {kAudioUnitProperty_MakeConnection, I, sizeof(AudioUnitConnection)},
               {kAudioUnitProperty_SetRenderCallback, I, sizeof(AURenderCallbackStruct)},
               {kAudioUnitProperty_HostCallbacks, G, sizeof(HostCallbackInfo)},
               {kAudioUnitProperty_OfflineRender, G, sizeof(UInt32)},
               {kAudioUnitProperty_AUHostIdentifier, G, sizeof(AUHostIdentifier)}};
  for (const auto& s : sizes) {
    UInt32 size = 0;
    EXPECT_EQ(AudioUnitGetProperty(plug.u, s.id, s.scope, 0, nullptr, &size), noErr) << s.id;
    EXPECT_EQ(size, s.size) << s.id;
  }
  std::vector<AudioUnitParameterID> ids(n + 1, 999);  // one more, left alone
  UInt32 size = n * sizeof ids[0];
  ASSERT_EQ(AudioUnitGetProperty(plug.u, kAudioUnitProperty_ParameterList, G, 0, ids.data(), &size), noErr);
  for (UInt32 i = 0; i <= n; ++i) EXPECT_EQ(ids[i], i < n ? i : 999);
  // A property the unit has not leaves the size alone.
  size = 77;
  EXPECT_EQ(AudioUnitGetProperty(plug.u, 9999, G, 0, nullptr, &size), kAudioUnitErr_InvalidProperty);
  EXPECT_EQ(size, 77u);
  const UInt32 frames = 1024;
  EXPECT_EQ(AudioUnitSetProperty(plug.u, kAudioUnitProperty_MaximumFramesPerSlice, G, 0, &frames,
                                 sizeof frames), noErr);
  EXPECT_EQ(plug.plug()->GetBlockSize(), 1024);
  for (UInt32 offline : {1u, 0u}) {
    ASSERT_EQ(AudioUnitSetProperty(plug.u, kAudioUnitProperty_OfflineRender, G, 0, &offline,
                                   sizeof offline), noErr);
    EXPECT_EQ(plug.plug()->IsRenderingOffline(), offline != 0);
  }
  // Every settable property refuses a record shorter than its own.
  alignas(16) unsigned char zeros[256] = {};
  const std::pair<AudioUnitPropertyID, UInt32> sets[] = {
      {kAudioUnitProperty_ClassInfo, G},         {kAudioUnitProperty_MakeConnection, I},
      {kAudioUnitProperty_SampleRate, G},        {kAudioUnitProperty_StreamFormat, I},
      {kAudioUnitProperty_MaximumFramesPerSlice, G}, {kAudioUnitProperty_BypassEffect, G},
      {kAudioUnitProperty_SetRenderCallback, I}, {kAudioUnitProperty_HostCallbacks, G},
      {kAudioUnitProperty_CurrentPreset, G},     {kAudioUnitProperty_PresentPreset, G},
      {kAudioUnitProperty_OfflineRender, G},     {kAudioUnitProperty_AUHostIdentifier, G}};
  for (const auto& [id, scope] : sets)
    EXPECT_EQ(AudioUnitSetProperty(plug.u, id, scope, 0, zeros, 3), kAudio_ParamError) << id;
  // A bus the unit has not.
  for (AudioUnitPropertyID id : {kAudioUnitProperty_StreamFormat, kAudioUnitProperty_ElementName,
                                 kAudioUnitProperty_SupportedChannelLayoutTags}) {
    size = sizeof zeros;
    EXPECT_EQ(AudioUnitGetProperty(plug.u, id, O, 1, zeros, &size), kAudioUnitErr_InvalidElement) << id;
  }
}

TEST(AUChannels, OutputsAreBusesOfAtMostTwoChannels) {
  Unit three(&three_entry);
  UInt32 buses = 0, size = sizeof buses;
  ASSERT_EQ(AudioUnitGetProperty(three.u, kAudioUnitProperty_ElementCount, O, 0, &buses, &size), noErr);
  EXPECT_EQ(buses, 2u);
  const char* names[] = {"output 1", "output 2"};
  for (UInt32 bus = 0; bus < 2; ++bus) {
    AudioStreamBasicDescription f = {};
    size = sizeof f;
    ASSERT_EQ(AudioUnitGetProperty(three.u, kAudioUnitProperty_StreamFormat, O, bus, &f, &size), noErr);
    EXPECT_EQ(f.mChannelsPerFrame, 2u - bus);
    CFStringRef name = nullptr;
    size = sizeof name;
    ASSERT_EQ(AudioUnitGetProperty(three.u, kAudioUnitProperty_ElementName, O, bus, &name, &size), noErr);
    char text[32] = "";
    CFStringGetCString(name, text, sizeof text, kCFStringEncodingUTF8);
    EXPECT_STREQ(text, names[bus]);
    CFRelease(name);
  }
}

TEST(AURender, AFailingSourceAMissingBufferAndAnOutputTooSmall) {
  const struct {
    intptr_t fault;
    UInt32 leftBytes;
    OSStatus result;
    float left, right;
  } cases[] = {{0, 256, noErr, 0.25f, 0.75f},
               {1, 256, -50, 9.0f, 9.0f},
               {2, 256, noErr, 0.25f, 0.0f},  // the channel left out is silence
               {3, 256, noErr, 0.25f, 0.75f},  // pulled again after it failed
               {0, 252, kAudio_ParamError, 9.0f, 9.0f}};
  for (const auto& k : cases) {
    Unit plug;
    g_pulls = 0;
    g_pull_flags = 99;
    feed_bypassed(plug.u, &faulty, reinterpret_cast<void*>(k.fault));
    ASSERT_EQ(AudioUnitInitialize(plug.u), noErr);
    std::vector<float> l(64, 9.0f), r(64, 9.0f);
    alignas(AudioBufferList) unsigned char bytes[sizeof(AudioBufferList) + sizeof(AudioBuffer)];
    AudioBufferList* list = reinterpret_cast<AudioBufferList*>(bytes);
    list->mNumberBuffers = 2;
    list->mBuffers[0] = AudioBuffer{1, k.leftBytes, l.data()};
    list->mBuffers[1] = AudioBuffer{1, 256, r.data()};
    AudioTimeStamp ts = {};
    ts.mFlags = kAudioTimeStampSampleTimeValid;
    AudioUnitRenderActionFlags flags = 0;
    if (k.fault == 3) {
      EXPECT_EQ(AudioUnitRender(plug.u, &flags, &ts, 0, 64, list), -50);
    }
    EXPECT_EQ(AudioUnitRender(plug.u, &flags, &ts, 0, 64, list), k.result) << k.fault;
    EXPECT_EQ(g_pull_flags, k.leftBytes < 256 ? 99u : 0u) << k.fault;
    EXPECT_EQ(l, std::vector<float>(64, k.left)) << k.fault;
    EXPECT_EQ(r, std::vector<float>(64, k.right)) << k.fault;
  }
}

TEST(AURender, TheBlockRunsWhenTheLastConnectedOutputBusIsRendered) {
  Unit three(&three_entry);
  IPluginAU* p = three.plug();
  const AURenderCallbackStruct cb = {&levels, nullptr};
  AudioUnitSetProperty(three.u, kAudioUnitProperty_SetRenderCallback, I, 0, &cb, sizeof cb);
  ASSERT_EQ(AudioUnitInitialize(three.u), noErr);
  std::vector<float> l(64), r(64), m(64);
  const auto bus = [&](UInt32 idx, double time) {
    std::fill(l.begin(), l.end(), 9.0f);
    std::fill(m.begin(), m.end(), 9.0f);
    alignas(AudioBufferList) unsigned char bytes[sizeof(AudioBufferList) + sizeof(AudioBuffer)];
    AudioBufferList* list = reinterpret_cast<AudioBufferList*>(bytes);
    list->mNumberBuffers = 2 - idx;
    list->mBuffers[0] = AudioBuffer{1, 256, idx ? m.data() : l.data()};
    list->mBuffers[1] = AudioBuffer{1, 256, r.data()};
    AudioTimeStamp ts = {};
    ts.mSampleTime = time;
    ts.mFlags = kAudioTimeStampSampleTimeValid;
    return AudioUnitRender(three.u, nullptr, &ts, idx, 64, list);
  };
  // The first bus alone is the last connected: it runs the block, the second one is not
  // connected.
  ASSERT_EQ(bus(0, 0), noErr);
  EXPECT_EQ(l, std::vector<float>(64, 0.25f));
  EXPECT_FALSE(p->IsOutChannelConnected(2));
  // Once the second bus is rendered too, the block waits for it.
  ASSERT_EQ(bus(1, 64), noErr);
  EXPECT_EQ(m, std::vector<float>(64, 0.0f));
  ASSERT_EQ(bus(0, 128), noErr);
  EXPECT_EQ(l, std::vector<float>(64, 9.0f));
  ASSERT_EQ(bus(1, 128), noErr);
  EXPECT_EQ(l, std::vector<float>(64, 0.25f));
  EXPECT_TRUE(p->IsOutChannelConnected(2));
}

TEST(AURender, TheUnitFillsBuffersTheHostLeftEmptyAndUsesTheChannelsItWasGiven) {
  Unit plug;
  IPluginAU* p = plug.plug();
  feed_bypassed(plug.u, &levels);
  // Stereo first, then the host asks for one output channel.
  ASSERT_EQ(AudioUnitInitialize(plug.u), noErr);
  std::vector<float> l(64), r(64);
  ASSERT_EQ(render(plug.u, 0, 64, l.data(), r.data()), noErr);
  EXPECT_TRUE(p->IsOutChannelConnected(1));
  ASSERT_EQ(AudioUnitUninitialize(plug.u), noErr);
  const AudioStreamBasicDescription mono = float_format(1);
  ASSERT_EQ(AudioUnitSetProperty(plug.u, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0,
                                 &mono, sizeof mono), noErr);
  ASSERT_EQ(AudioUnitInitialize(plug.u), noErr);
  AudioBufferList list = {1, {{1, 0, nullptr}}};
  AudioTimeStamp ts = {};
  ts.mSampleTime = 64;
  ts.mFlags = kAudioTimeStampSampleTimeValid;
  ASSERT_EQ(AudioUnitRender(plug.u, nullptr, &ts, 0, 64, &list), noErr);
  ASSERT_NE(list.mBuffers[0].mData, nullptr);
  EXPECT_EQ(list.mBuffers[0].mDataByteSize, 256u);
  const float* out = static_cast<const float*>(list.mBuffers[0].mData);
  EXPECT_EQ(std::vector<float>(out, out + 64), std::vector<float>(64, 0.25f));
  EXPECT_TRUE(p->IsOutChannelConnected(0) && !p->IsOutChannelConnected(1));
}

TEST(AUChannels, EachChannelCountHasItsLayoutTag) {
  Unit plug;
  for (UInt32 n : {1u, 2u}) {
    const AudioStreamBasicDescription f = float_format(n);
    ASSERT_EQ(AudioUnitSetProperty(plug.u, kAudioUnitProperty_StreamFormat, I, 0, &f, sizeof f), noErr);
    AudioChannelLayoutTag tag = 0;
    UInt32 size = sizeof tag;
    ASSERT_EQ(AudioUnitGetProperty(plug.u, kAudioUnitProperty_SupportedChannelLayoutTags, I, 0, &tag, &size), noErr);
    EXPECT_EQ(tag, n == 1 ? kAudioChannelLayoutTag_Mono : kAudioChannelLayoutTag_Stereo);
  }
}

namespace {

OSStatus beat_and_tempo(void*, Float64* beat, Float64* tempo) {
  *beat = 16.5;
  *tempo = NAN;  // not a number: stays 0
  return noErr;
}
OSStatus time_location(void*, UInt32*, Float32* num, UInt32* den, Float64*) {
  *num = 7;
  *den = 8;
  return noErr;
}
OSStatus transport(void*, Boolean* playing, Boolean*, Float64* pos, Boolean*, Float64*, Float64*) {
  *playing = true;
  *pos = 44100;
  return noErr;
}
OSStatus transport2(void*, Boolean* playing, Boolean* recording, Boolean*, Float64* pos, Boolean*,
                   Float64*, Float64*) {
  *playing = false;
  *recording = true;
  *pos = 96000;
  return noErr;
}

}  // namespace

TEST(AUHost, IdentityAndTimeComeFromTheHost) {
  Unit plug;
  const AUHostIdentifier id = {CFSTR("auval"), {0, 0, 0x21, 1}};  // 1.2.1
  ASSERT_EQ(AudioUnitSetProperty(plug.u, kAudioUnitProperty_AUHostIdentifier, G, 0, &id, sizeof id), noErr);
  EXPECT_EQ(plug.plug()->GetHost(), kHostAuval);
  EXPECT_EQ(plug.plug()->GetHostVersion(false), 0x10201);
  ITimeInfo t;
  plug.plug()->GetTime(&t);
  EXPECT_EQ(t.mTempo + t.mPPQPos + t.mSamplePos + t.mNumerator, 0.0);
  // An older host's record, without the second transport procedure.
  HostCallbackInfo cb = {nullptr, &beat_and_tempo, &time_location, &transport, nullptr};
  ASSERT_EQ(AudioUnitSetProperty(plug.u, kAudioUnitProperty_HostCallbacks, G, 0, &cb,
                                 offsetof(HostCallbackInfo, transportStateProc2)), noErr);
  plug.plug()->GetTime(&t);
  EXPECT_EQ(t.mPPQPos, 16.5);
  EXPECT_EQ(t.mTempo, 0.0);
  int num = 0, den = 0;
  plug.plug()->GetTimeSig(&num, &den);
  EXPECT_EQ(num * 10 + den, 78);
  plug.plug()->GetTimeSig(nullptr, &den);  // either may be left out
  plug.plug()->GetTimeSig(&num, nullptr);
  EXPECT_EQ(t.mSamplePos, 44100.0);
  EXPECT_TRUE(t.mTransportIsRunning);
  EXPECT_FALSE(t.mTransportIsRecording);
  // A newer host's record: its second transport procedure is asked, not the first.
  cb.transportStateProc2 = &transport2;
  ASSERT_EQ(AudioUnitSetProperty(plug.u, kAudioUnitProperty_HostCallbacks, G, 0, &cb, sizeof cb), noErr);
  plug.plug()->GetTime(&t);
  EXPECT_EQ(t.mSamplePos, 96000.0);
  EXPECT_FALSE(t.mTransportIsRunning);
  EXPECT_TRUE(t.mTransportIsRecording);
}

TEST(AUParameters, GroupsAreClumpsNumberedFromOneAsAsked) {
  Unit bare(&bare_entry);
  const UInt32 ask[] = {2, 1, 0};  // Output is asked for first
  const UInt32 clumps[] = {1, 0, 2};
  for (int i = 0; i < 3; ++i) {
    AudioUnitParameterInfo info = {};
    UInt32 size = sizeof info;
    ASSERT_EQ(AudioUnitGetProperty(bare.u, kAudioUnitProperty_ParameterInfo, G, ask[i], &info, &size), noErr);
    EXPECT_EQ(info.clumpID, clumps[i]);
    EXPECT_EQ(bool(info.flags & kAudioUnitParameterFlag_HasClump), clumps[i] != 0);
    CFRelease(info.cfNameString);
  }
  const struct {
    UInt32 clump;
    OSStatus result;
    const char* name;
  } names[] = {{0, kAudioUnitErr_InvalidPropertyValue, ""}, {1, noErr, "Output"},
               {2, noErr, "Input"}, {3, kAudioUnitErr_InvalidPropertyValue, ""}};
  for (const auto& n : names) {
    AudioUnitParameterNameInfo name = {n.clump, kAudioUnitParameterName_Full, nullptr};
    UInt32 size = sizeof name;
    EXPECT_EQ(AudioUnitGetProperty(bare.u, kAudioUnitProperty_ParameterClumpName, G, 0, &name, &size),
              n.result) << "clump " << n.clump;
    char text[32] = "";
    if (name.outName) CFStringGetCString(name.outName, text, sizeof text, kCFStringEncodingUTF8);
    EXPECT_STREQ(text, n.name) << "clump " << n.clump;
    if (name.outName) CFRelease(name.outName);
  }
}

TEST(AUParameters, SetGetNamesAndValueTexts) {
  Unit bare(&bare_entry);
  auto* plug = static_cast<BarePlug*>(bare.plug());
  // A value is clamped, a value that is not a number leaves it, and the plug-in hears of each.
  for (float v : {0.25f, NAN, 7.0f}) AudioUnitSetParameter(bare.u, 1, G, 0, v, 0);
  AudioUnitParameterValue got = 0;
  ASSERT_EQ(AudioUnitGetParameter(bare.u, 1, G, 0, &got), noErr);
  EXPECT_EQ(got, 1.0f);
  EXPECT_EQ(plug->changed, (std::vector<int>{1, 1}));
  EXPECT_EQ(AUSetParamProc(nullptr, 1, G, 0, 0.5f, 0), kAudio_ParamError);
  EXPECT_EQ(AUGetParamProc(nullptr, 1, G, 0, &got), kAudio_ParamError);
  // A typed text is read as the parameter shows it: "-0.25" is 0.25 where values show negated.
  plug->GetParam(2)->SetNegateDisplay(true);
  for (const auto& [id, text, want] : {std::tuple<UInt32, const char*, float>{0, "0.5", 0.5f}, {2, "-0.25", 0.25f}}) {
    AudioUnitParameterValueFromString q = {id, AUMakeCFString(text), -1.0f};
    UInt32 size = sizeof q;
    EXPECT_EQ(AudioUnitGetProperty(bare.u, kAudioUnitProperty_ParameterValueFromString, G, 0, &q, &size), noErr);
    EXPECT_EQ(q.outValue, want) << text;
    CFRelease(q.inString);
  }
  // A name cut to the length the host asks for, whole when it asks for none.
  for (const auto& [length, want] : {std::pair<SInt32, const char*>{3, "Dri"}, {1, "D"}, {0, "Drive"}}) {
    AudioUnitParameterIDName q = {0, length, nullptr};
    UInt32 size = sizeof q;
    ASSERT_EQ(AudioUnitGetProperty(bare.u, kAudioUnitProperty_ParameterIDName, G, 0, &q, &size), noErr);
    char text[32] = "";
    CFStringGetCString(q.outName, text, sizeof text, kCFStringEncodingUTF8);
    EXPECT_STREQ(text, want);
    CFRelease(q.outName);
  }
  // Every parameter with display texts lists them all, in order.
  Unit unit;
  int listed = 0;
  for (int i = 0; i < unit.plug()->NParams(); ++i) {
    IParam* param = unit.plug()->GetParam(i);
    if (!param->GetNDisplayTexts()) continue;
    CFArrayRef texts = nullptr;
    UInt32 size = sizeof texts;
    ASSERT_EQ(AudioUnitGetProperty(unit.u, kAudioUnitProperty_ParameterValueStrings, G, i, &texts, &size), noErr);
    ASSERT_EQ(CFArrayGetCount(texts), param->GetNDisplayTexts());
    for (int k = 0; k < param->GetNDisplayTexts(); ++k) {
      char text[64] = "";
      CFStringGetCString(CFStringRef(CFArrayGetValueAtIndex(texts, k)), text, sizeof text,
                         kCFStringEncodingUTF8);
      EXPECT_STREQ(text, param->GetDisplayTextAtIdx(k));
    }
    CFRelease(texts);
    ++listed;
  }
  EXPECT_GT(listed, 0);
}

// MIDI and system-exclusive bytes reach the plug-in as the host sent them; a message said to
// hold bytes it does not point at is refused.
TEST(AUMusicDevice, MessagesReachThePlugInAsSentAndBadOnesAreRefused) {
  Unit bare(&bare_entry);
  auto* plug = static_cast<BarePlug*>(bare.plug());
  auto call = [&](SInt16 what, auto... args) {
    AUComponentCall c(bare.u, what, args...);
    return IPluginAU::Dispatch(c.Params(), plug, nullptr);
  };
  EXPECT_EQ(call(kMusicDeviceMIDIEventSelect, UInt32(0x90), UInt32(60), UInt32(100), UInt32(17)), noErr);
  EXPECT_EQ(plug->midi, (std::vector<int>{0x90, 60, 100, 17}));
  const UInt8 bytes[] = {0xF0, 0x7E, 0xF7};
  const struct {
    const UInt8* data;
    UInt32 size;
    OSStatus result;
    int heard;  // the size the plug-in got, -1 for nothing
  } sysex[] = {{bytes, 3, noErr, 3}, {nullptr, 0, noErr, 0}, {nullptr, 3, kAudio_ParamError, -1}};
  for (const auto& s : sysex) {
    plug->sysex = {nullptr, -1};
    EXPECT_EQ(call(kMusicDeviceSysExSelect, s.data, s.size), s.result) << s.size;
    EXPECT_EQ(plug->sysex.second, s.heard) << s.size;
    EXPECT_EQ(plug->sysex.first, s.heard > 0 ? bytes : nullptr);
  }
}

TEST(AUViewFactory, GivesAViewOnlyForAPlugInWithAGraphicsContext) {
  Unit plug, bare(&bare_entry), plain(&plain_entry);
  EXPECT_EQ(AUViewPlugin(plain.u), nullptr);  // storage that holds no plug-in
  EXPECT_EQ(AUOpenEditorView(bare.u, nullptr), nullptr);
  auto* view = static_cast<AUStandIn_View*>(AUOpenEditorView(plug.u, nullptr));
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->mWidth, 1060);
}

TEST(AUViewFactory, CodeInNoBundleNamesItsOwnFolder) {
  // This program links the adapter itself and lies in no bundle.
  AudioUnitCocoaViewInfo info = {};
  ASSERT_TRUE(AUFillCocoaViewInfo(&info));
  char path[PATH_MAX] = "", exe[PATH_MAX] = "";
  CFURLGetFileSystemRepresentation(info.mCocoaAUViewBundleLocation, true,
                                   reinterpret_cast<UInt8*>(path), sizeof path);
  ASSERT_NE(realpath("/proc/self/exe", exe), nullptr);
  std::string dir(exe);
  dir.erase(dir.rfind('/') + 1);
  EXPECT_EQ(path, dir);
  CFRelease(info.mCocoaAUViewBundleLocation);
  CFRelease(info.mCocoaAUViewClass[0]);
}

TEST(AUViewFactory, TheViewComponentCanDoItsSelectorsAndOpensOnlyOurEditors) {
  ComponentDescription d = {0x61757677 /* auvw */, 0x516d726c, 0x4d727764, 0, 0};
  Component c = RegisterComponent(&d, &Quillmar_ViewEntry, 0, nullptr, nullptr, nullptr);
  ComponentInstance v = nullptr;
  ASSERT_EQ(OpenAComponent(c, &v), noErr);
  for (int s = -5; s <= 0x302; ++s) {
    const bool can = (s >= -4 && s <= -1) || s == 0x301;  // open, close, can-do, version, create
    EXPECT_EQ(CallComponentCanDo(v, SInt16(s)), can) << s;
  }
  // Its create selector: the editor of one of our units with a graphics context, else nothing.
  Unit plug, bare(&bare_entry), plain(&plain_entry);
  const struct {
    AudioUnit unit;
    OSStatus result;
  } creates[] = {{plug.u, noErr}, {bare.u, kAudio_UnimplementedError}, {plain.u, badComponentInstance}};
  for (const auto& k : creates) {
    void* control = &c;  // whatever the host left there
    AUComponentCall call(v, 0x0301, k.unit, nullptr, nullptr, nullptr, nullptr, &control);
    EXPECT_EQ(Quillmar_ViewEntry(call.Params(), nullptr), k.result);
    EXPECT_EQ(control == nullptr, k.result != noErr);
  }
  EXPECT_EQ(Quillmar_ViewEntry(nullptr, nullptr), kAudio_ParamError);
  CloseComponent(v);
  UnregisterComponent(c);
}

TEST(AUEditor, ValuesSetOffTheMainThreadReachTheControlsOnIt) {
  Unit plug;
  IControl* knob = plug.plug()->GetGUI()->GetControl(8);  // Overall Gain, -60 .. 60 dB
  const double before = knob->GetValue();
  std::thread([&] { AudioUnitSetParameter(plug.u, 17, G, 0, 30.0f, 0); }).join();
  EXPECT_EQ(knob->GetValue(), before);
  UInt32 size = 0;
  std::thread([&] { plug.plug()->OnIdle(); }).join();  // not the main thread: still pending
  EXPECT_EQ(knob->GetValue(), before);
  AudioUnitGetPropertyInfo(plug.u, kAudioUnitProperty_Latency, G, 0, &size, nullptr);
  EXPECT_DOUBLE_EQ(knob->GetValue(), 0.75);
  AudioUnitSetParameter(plug.u, 17, G, 0, -60.0f, 0);
  EXPECT_EQ(knob->GetValue(), 0.0);
}

TEST(AUState, AShortStateRestoresWhatItHoldsAndTheEditorShowsIt) {
  Unit plug;
  IPluginAU* p = plug.plug();
  IControl* knob = p->GetGUI()->GetControl(8);  // Overall Gain (parameter 17), -60 .. 60 dB
  // The chunk holds parameters 0 to 17 only; the rest keep their values (each at its maximum).
  std::vector<double> values;
  for (int i = 0; i < 18; ++i) values.push_back(i == 17 ? 30.0 : p->GetParam(i)->Value());
  for (int i = 18; i < p->NParams(); ++i) p->GetParam(i)->Set(p->GetParam(i)->GetMax());
  CFPropertyListRef state = nullptr;
  UInt32 size = sizeof state;
  ASSERT_EQ(AudioUnitGetProperty(plug.u, kAudioUnitProperty_ClassInfo, G, 0, &state, &size), noErr);
  CFDataRef data = CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(values.data()),
                                CFIndex(values.size() * sizeof(double)));
  CFDictionarySetValue(CFMutableDictionaryRef(state), CFSTR(kAUPresetDataKey), data);
  CFRelease(data);
  ASSERT_EQ(AudioUnitSetProperty(plug.u, kAudioUnitProperty_ClassInfo, G, 0, &state, sizeof state), noErr);
  CFRelease(state);
  EXPECT_EQ(p->GetParam(17)->Value(), 30.0);
  EXPECT_DOUBLE_EQ(knob->GetValue(), 0.75);
  for (int i = 18; i < p->NParams(); ++i) EXPECT_EQ(p->GetParam(i)->Value(), p->GetParam(i)->GetMax()) << i;
}

TEST(AULock, ParametersStateAndInputsWaitForTheFrameworkLock) {
  Unit plug, other, plain(&plain_entry);
  IPluginAU* p = plug.plug();
  AudioUnitSetParameter(other.u, 6, G, 0, 6.0f, 0);
  CFPropertyListRef state = nullptr;
  UInt32 size = sizeof state;
  AudioUnitGetProperty(other.u, kAudioUnitProperty_ClassInfo, G, 0, &state, &size);
  const AudioUnitConnection c = {plain.u, 0, 0};
  struct op_t {
    const char* name;
    std::function<void()> run;
    std::function<bool()> done;  // whether its effect is visible
  };
  const op_t ops[] = {
      {"set parameter", [&] { AudioUnitSetParameter(plug.u, 5, G, 0, -3.0f, 0); },
       [&] { return p->GetParam(5)->Value() == -3.0; }},
      {"restore state",
       [&] { AudioUnitSetProperty(plug.u, kAudioUnitProperty_ClassInfo, G, 0, &state, sizeof state); },
       [&] { return p->GetParam(6)->Value() == 6.0; }},
      {"connect an input",
       [&] { AudioUnitSetProperty(plug.u, kAudioUnitProperty_MakeConnection, I, 0, &c, sizeof c); },
       [&] { return p->InputType(0) == 2; }},
  };
  for (const op_t& op : ops) {
    p->Lock();
    std::thread t(op.run);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_FALSE(op.done()) << op.name << " went ahead while another thread held the lock";
    p->Unlock();
    t.join();
    EXPECT_TRUE(op.done()) << op.name;
  }
  CFRelease(state);
}
