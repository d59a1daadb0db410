#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "engine/bands.h"
#include "engine/inst.h"
#include "engine/params.h"
#include "fuzz/fuzz_plug.h"
#include "plug_env.h"
#include "plugin/instances.h"
#include "toolkit/font.h"

namespace {

using Instances = PlugTest;

TEST_F(Instances, TakeTheLowestFreeSlot) {
  PlugPtr a = make(), b = make(), c = make();
  EXPECT_EQ(a->InstanceNumber(), 0);
  EXPECT_EQ(b->InstanceNumber(), 1);
  EXPECT_EQ(c->InstanceNumber(), 2);
  EXPECT_STREQ(b->Inst()->info_text->string, "Instance #1");
  b.reset();
  PlugPtr d = make();
  EXPECT_EQ(d->InstanceNumber(), 1);
  EXPECT_STREQ(d->Inst()->info_text->string, "Instance #1");
  EXPECT_EQ(d->Inst(), instance_record(1));
  EXPECT_EQ(d->Inst()->plug, d.get());
}

TEST_F(Instances, AFullTableRefusesConstructionCleanly) {
  std::vector<int> taken;
  for (int s; (s = acquire_instance_slot()) >= 0;) taken.push_back(s);
  EXPECT_EQ(taken.size(), 1024u);
  EXPECT_EQ(acquire_instance_slot(), -1);
  EXPECT_EQ(MakePlug(), nullptr);
  EXPECT_EQ(instance_record(MAX_INSTANCES - 1), instance_record(0) + (MAX_INSTANCES - 1));
  EXPECT_EQ(instance_record(MAX_INSTANCES), nullptr);
  EXPECT_EQ(instance_record(-1), nullptr);
  release_instance_slot(-1);  // slots outside the table are no slots to free
  release_instance_slot(MAX_INSTANCES);
  EXPECT_EQ(MakePlug(), nullptr);
  release_instance_slot(taken[500]);
  PlugPtr p = make();
  EXPECT_EQ(p->InstanceNumber(), 500);
  p.reset();
  for (int s : taken) release_instance_slot(s);
}

// An instance made for the host's rate is the one a 44.1 kHz instance becomes after that
// rate and a Reset: the same sizes, latency, capture length and kernel, bit for bit.
TEST_F(Instances, MadeForARateAsIfResetToIt) {
  for (double rate : {48000.0, 22050.0, 96000.0, 0.5}) {
    PlugPtr made(MakePlug(rate)), reset = make();
    reset->SetSampleRate(rate);
    reset->Reset();
    const engine_t &a = made->Engine(), &b = reset->Engine();
    EXPECT_EQ(made->GetSampleRate(), rate == 0.5 ? 44100 : rate);
    EXPECT_EQ(made->Inst()->samplerate, made->GetSampleRate());
    EXPECT_EQ(made->GetLatency(), reset->GetLatency()) << rate;
    if (rate == 48000) {
      EXPECT_EQ(made->GetLatency(), 943);
    }
    EXPECT_EQ(made->Inst()->capture_len, reset->Inst()->capture_len) << rate;
    ASSERT_EQ(a.fft_size, b.fft_size) << rate;
    EXPECT_EQ(a.kernel_size, b.kernel_size) << rate;
    EXPECT_EQ(std::memcmp(a.active_kernel, b.active_kernel, sizeof(double) * a.fft_size), 0) << rate;
  }
}

TEST_F(Instances, ConstructionDefaults) {
  PlugPtr p = make();
  inst_t* inst = p->Inst();
  const double freqs[4] = {80, 370, 1700, 8000};
  for (int b = 0; b < 4; ++b) {
    EXPECT_EQ(inst->bands[b].on, 1);
    EXPECT_EQ(inst->bands[b].freq, freqs[b]);
    EXPECT_EQ(inst->bands[b].freq_knob, freqs[b]);
    EXPECT_NEAR(inst->bands[b].gain, 0.000001, 1e-15);
    EXPECT_EQ(inst->bands[b].slope, 0.0);
    EXPECT_EQ(inst->bands[b].index, b);
  }
  EXPECT_EQ(inst->sel_band, 0);  // the band knobs follow band A
  EXPECT_EQ(inst->ui_size, 1);
  EXPECT_EQ(p->GetParam(PARAM_COLOUR)->Value(), 2);
  EXPECT_EQ(inst->colour_scheme, 2);
  EXPECT_EQ(inst->vscale, 1.0);
  EXPECT_EQ(inst->latency, 838);
  EXPECT_EQ(p->GetLatency(), 838);
  EXPECT_EQ(inst->capture_len, 8000);
  EXPECT_EQ(inst->grid_fade, 1e-7);
  EXPECT_EQ(inst->band_count, 4);
  // The identity the host sees.
  EXPECT_STREQ(p->GetEffectName(), "Quillmar");
  EXPECT_STREQ(p->GetMfrName(), "Merrowind");
  EXPECT_EQ(p->GetEffectVersion(false), 65536);
  EXPECT_TRUE(p->LegalIO(1, 1));
  EXPECT_TRUE(p->LegalIO(2, 2));
  EXPECT_FALSE(p->LegalIO(1, 2));
  EXPECT_EQ(p->NPresets(), 0);
  EXPECT_EQ(p->GetUniqueID(), 0x516d726c);  // "Qmrl"
  EXPECT_EQ(p->GetMfrID(), 0x4d727764);     // "Mrwd"
}

TEST_F(Instances, ParameterTable) {
  PlugPtr p = make();
  char text[64];
  struct Row {
    int i;
    const char* name;
    double def, min, max;
    int precision;
    const char* unit;
  } rows[] = {
      {0, "Band A on", 1, 0, 1, 0, ""},
      {7, "Band D gain", 0.000001, -68.68588963806504, 60, 2, "dB"},
      {9, "Band B freq", 370, 20, 20000, 2, "Hz"},
      {14, "Band C slope", 0, -100, 100, 2, "dB/oct"},
      {16, "Transpose", 0, -120, 120, 2, "semitones"},
      {18, "Gain Scale", 1, -4, 4, 2, "x"},
      {19, "Colour", 2, 0, 2, 0, ""},
      {20, "Colour Gain", 1, 0, 40, 2, "x"},
      {22, "Interface Size", 1, 0, 2, 0, ""},
      {23, "Resolution", 1, 0.2, 16, 1, "x"},
      {24, "Input Buffer Size", 0.2, 0, 6, 1, "x"},
      {25, "Limiter", 0, -30, 60, 2, "dB"},
      {26, "Vert. Range", 64.34294481903252, 3, 64.34294481903252, 2, "dB"},
      {27, "Hor. Zoom", 1, 1, 10, 3, "x"},
      {28, "Hor. Position", 0.5, 0, 1, 6, ""},
  };
  for (const Row& r : rows) {
    const IParam* q = p->GetParam(r.i);
    EXPECT_STREQ(q->GetNameForHost(), r.name);
    EXPECT_EQ(q->GetDefault(), r.def) << r.name;
    EXPECT_EQ(q->GetMin(), r.min) << r.name;
    EXPECT_EQ(q->GetMax(), r.max) << r.name;
    EXPECT_EQ(q->GetPrecision(), r.precision) << r.name;
    EXPECT_STREQ(q->GetParamGroupForHost(), "");
    EXPECT_TRUE(q->GetCanAutomate());
    if (r.i > 0) {
      EXPECT_STREQ(q->GetLabelForHost(), r.unit) << r.name;
    }
  }
  const double shapes[][2] = {{8, 3}, {11, 3}, {20, 4}, {21, 1}, {23, 2}, {24, 2}, {26, 2}, {27, 2}, {4, 1}};
  for (auto& s : shapes) EXPECT_EQ(p->GetParam(int(s[0]))->GetShape(), s[1]);
  p->GetParam(0)->GetDisplayForHost(text, sizeof text);
  EXPECT_STREQ(text, "on");
  EXPECT_STREQ(p->GetParam(0)->GetLabelForHost(), "");
  p->GetParam(28)->GetDisplayForHost(text, sizeof text);
  EXPECT_STREQ(text, "0.500000");
  // The gain knob's reset value is 0 dB on the gain range.
  EXPECT_NEAR(p->GetParam(4)->GetNormalized(0.0), 0.5337484150845695, 1e-15);
}

TEST_F(Instances, StateChunkLayoutAndExactRoundTrip) {
  PlugPtr p = make();
  ByteChunk chunk;
  ASSERT_TRUE(p->SerializeState(&chunk));
  ASSERT_EQ(chunk.Size(), 232);
  double first, freq;
  std::memcpy(&first, chunk.GetBytes(), 8);
  std::memcpy(&freq, chunk.GetBytes() + 64, 8);
  EXPECT_EQ(first, 1.0);
  EXPECT_EQ(freq, 80.0);
  const unsigned char one_le[8] = {0, 0, 0, 0, 0, 0, 0xf0, 0x3f};
  EXPECT_EQ(std::memcmp(chunk.GetBytes(), one_le, 8), 0);

  PlugPtr q = make();
  q->GetParam(5)->Set(-12.345);
  q->GetParam(23)->Set(4.0);
  ByteChunk other;
  q->SerializeState(&other);
  EXPECT_EQ(p->UnserializeState(&other, 0), 232);
  for (int i = 0; i < 29; ++i) EXPECT_EQ(p->GetParam(i)->Value(), q->GetParam(i)->Value()) << i;
  EXPECT_EQ(p->GetParam(4)->Value(), 0.000001);
  EXPECT_EQ(p->Inst()->bands_dirty, 1);
  EXPECT_EQ(p->Inst()->bufs_dirty, 1);
}

TEST_F(Instances, ValuesThatAreNotNumbersNeverReachTheEngine) {
  PlugPtr p = make();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  // From a host set or a knob.
  p->GetParam(5)->Set(nan);
  p->SetParameterFromGUI(5, nan);
  EXPECT_NEAR(p->GetParam(5)->Value(), 0.000001, 1e-15);
  // From a state chunk: the default.
  ByteChunk chunk;
  p->GetParam(6)->Set(3.0);
  p->SerializeState(&chunk);
  const double inf = std::numeric_limits<double>::infinity();
  std::memcpy(chunk.GetBytes() + 8 * 6, &nan, 8);
  std::memcpy(chunk.GetBytes() + 8 * 23, &inf, 8);
  p->UnserializeState(&chunk, 0);
  EXPECT_NEAR(p->GetParam(6)->Value(), 0.000001, 1e-15);
  EXPECT_EQ(p->GetParam(23)->Value(), 1.0);
  // The audio path runs on finite values.
  p->SetBlockSize(256);
  std::vector<double> in(256, 0.25), out0(256), out1(256);
  double* ip[2] = {in.data(), in.data()};
  double* op[2] = {out0.data(), out1.data()};
  for (int k = 0; k < 8; ++k) p->ProcessDoubleReplacing(ip, op, 256);
  for (double v : out0) ASSERT_TRUE(std::isfinite(v));
  EXPECT_NEAR(out0.back(), 0.25, 1e-3);
  // Nor does a vanishing sample rate (the limiter's clock would step by infinity).
  p->SetSampleRate(1e-310);
  p->Reset();
  p->GetParam(25)->Set(-30);
  std::fill(in.begin(), in.end(), 1.0);
  for (int k = 0; k < 8; ++k) p->ProcessDoubleReplacing(ip, op, 256);
  for (double v : out0) ASSERT_TRUE(std::isfinite(v));
}

// The fuzz targets' budget charges a run by its frames: calls shorter than a hop are not
// each charged a whole transform, while a long run at the same sizes is still cut short.
TEST_F(Instances, FuzzBudgetChargesFramesNotCalls) {
  PlugPtr p(MakePlug(192000));
  for (auto [index, value] : {std::pair<int, double>{PARAM_RESOLUTION, 16}, {PARAM_INPUT_BUFFER_SIZE, 0}}) {
    p->GetParam(index)->Set(value);
    p->OnParamChange(index);
  }
  long points = FUZZ_POINTS_PER_INPUT;
  int frames = 0;
  for (int call = 0; call < 64; ++call) frames += fuzz_affordable_frames(p.get(), &points, 100);
  EXPECT_EQ(frames, 6400);  // about ten blocks of 72000 points
  EXPECT_LT(fuzz_affordable_frames(p.get(), &points, 65535), 65535);
  EXPECT_EQ(fuzz_affordable_frames(p.get(), &points, 65535), 0);
}

}  // namespace
