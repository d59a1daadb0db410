// The LV2 plug-in driven through its descriptors in-process, as a host drives it.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <future>
#include <limits>
#include <memory>
#include <vector>

#include <lv2/atom/atom.h>

#include "engine/inst.h"
#include "engine/params.h"
#include "hosts/lv2/quillmar_lv2.h"
#include "lv2_fixture.h"
#include "plugin/instances.h"
#include "support/alloc_counter.h"

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();

TEST_F(LV2Test, DescriptorsNameTheTwoPluginsAndTheStateInterface) {
  EXPECT_STREQ(lv2_descriptor(0)->URI, QUILLMAR_LV2_STEREO_URI);
  EXPECT_STREQ(lv2_descriptor(1)->URI, QUILLMAR_LV2_MONO_URI);
  EXPECT_EQ(lv2_descriptor(2), nullptr);
  EXPECT_NE(lv2_descriptor(0)->extension_data(LV2_STATE__interface), nullptr);
  EXPECT_EQ(lv2_descriptor(0)->extension_data("urn:nothing"), nullptr);
  auto mono = make_host(1);
  EXPECT_EQ(plug_of(*mono)->Channels(), 1);
  EXPECT_FALSE(plug_of(*mono)->IsInChannelConnected(1));
}

TEST_F(LV2Test, BadRatesAndAFullInstanceTableAreRefused) {
  for (double rate : {0.0, -48000.0, double(NAN), double(INFINITY)})
    EXPECT_FALSE(lv2_host_t(lv2_descriptor, 0, rate).ok()) << rate;
  EXPECT_TRUE(lv2_host_t(lv2_descriptor, 0, 1.0).ok());  // any positive rate
  std::vector<int> taken;
  for (int s; (s = acquire_instance_slot()) >= 0;) taken.push_back(s);
  EXPECT_FALSE(lv2_host_t(lv2_descriptor, 0).ok());
  for (int s : taken) release_instance_slot(s);
  EXPECT_TRUE(lv2_host_t(lv2_descriptor, 0).ok());
}

TEST_F(LV2Test, ControlPortsSetParametersAndIgnoreWhatIsNotANumber) {
  auto h = make_host();
  struct {
    int port;
    float value;
    double expected;
  } cases[] = {
      {PARAM_BAND_GAIN + 1, -12.5f, -12.5},
      {PARAM_BAND_FREQ, 30000.0f, 20000.0},  // clamped to the range
      {PARAM_BAND_ON + 2, 0.25f, 1.0},       // lv2:toggled: above 0 is on
      {PARAM_BAND_ON + 3, 0.0f, 0.0},
      {PARAM_TRANSPOSE, kNaN, 0.0},          // not a number: ignored
      {PARAM_OVERALL_GAIN, INFINITY, 0.0},
  };
  for (const auto& c : cases) h->control[c.port] = c.value;
  h->run(64);
  for (const auto& c : cases) EXPECT_EQ(param(*h, c.port), c.expected) << c.port;
  EXPECT_EQ(plug_of(*h)->Inst()->bands_dirty, 1);
  // Unconnected control ports leave their parameters alone.
  h->connect(PARAM_LIMITER, nullptr);
  h->run(64);
  EXPECT_EQ(param(*h, PARAM_LIMITER), 0.0);
}

TEST_F(LV2Test, ANewInstanceKeepsTheUsersSettingsWhereTheHostShowsTheDefault) {
  write_prefs("Colour scheme 0\nResolution 2\n");
  auto h = make_host();
  h->run(64);
  EXPECT_EQ(param(*h, PARAM_COLOUR), 0.0);
  EXPECT_EQ(param(*h, PARAM_RESOLUTION), 2.0);
  h->control[PARAM_COLOUR] = 1;  // a host's change always counts, also back to the default
  h->run(64);
  h->control[PARAM_COLOUR] = 2;
  h->run(64);
  EXPECT_EQ(param(*h, PARAM_COLOUR), 2.0);
}

TEST_F(LV2Test, RunOfAnyLengthWithOrWithoutPortsAndTheLatencyItReports) {
  lv2_host_t bare(lv2_descriptor, 0);
  bare.activate();
  bare.run(0);
  bare.run(512);  // no port connected: nothing is read or written
  auto h = make_host();
  h->out[0][0] = 7.0f;
  h->run(0);
  EXPECT_EQ(h->latency, plug_of(*h)->GetLatency());
  EXPECT_EQ(h->out[0][0], 7.0f);
  // An impulse comes out after the reported latency, also through a call longer than the
  // largest block the host announced (4096: the engine's hop grows to it, and the latency
  // with it) and with the right input and output unconnected.
  h->connect(lv2_host_t::PARAMS + 2, nullptr);
  h->connect(lv2_host_t::PARAMS + 4, nullptr);
  std::vector<float> in(12000, 0.0f), out(12000, 0.0f);
  in[0] = 1.0f;
  h->connect(lv2_host_t::PARAMS + 1, in.data());
  h->connect(lv2_host_t::PARAMS + 3, out.data());
  h->run(12000);
  const int latency = static_cast<int>(h->latency);
  EXPECT_EQ(latency, plug_of(*h)->GetLatency());
  EXPECT_NEAR(out[latency], 1.0, 1e-6);
  EXPECT_NEAR(rms(out, 0, latency), 0.0, 1e-9);
}

TEST_F(LV2Test, ALatencyChangeShowsOnTheLatencyPort) {
  auto h = make_host();
  h->run(64);
  const float before = h->latency;
  h->control[PARAM_RESOLUTION] = 4;
  h->run(64);
  EXPECT_GT(h->latency, before);
  EXPECT_EQ(h->latency, plug_of(*h)->GetLatency());
}

TEST_F(LV2Test, RunNeverAllocatesNorWaitsForTheLockAMainThreadHolds) {
  auto h = make_host();
  sine(*h, 4096, 1000);
  alloc_scope allocations;
  h->run(256);
  h->control[PARAM_BAND_GAIN + 2] = -30;
  h->control[PARAM_INPUT_BUFFER_SIZE] = 1;  // a re-sizing on the audio thread
  h->run(256);
  h->run(4096);
  h->run(0);
  EXPECT_EQ(allocations.count(), 0u);

  // While the main thread holds the plug-in's lock, a changed port waits for a later call.
  plug_of(*h)->Lock();
  h->control[PARAM_OVERALL_GAIN] = -20;
  auto done = std::async(std::launch::async, [&] { h->run(256); });
  ASSERT_EQ(done.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_EQ(param(*h, PARAM_OVERALL_GAIN), 0.0);
  plug_of(*h)->Unlock();
  h->run(256);
  EXPECT_EQ(param(*h, PARAM_OVERALL_GAIN), -20.0);
}

TEST_F(LV2Test, StateRestoresBitForBitThoughThePortsRoundTheValues) {
  auto a = make_host();
  const double exact[][2] = {{PARAM_BAND_FREQ + 1, 1234.56789012345},
                             {PARAM_TRANSPOSE, 0.1},
                             {PARAM_HOR_POSITION, 0.123456789}};
  for (const auto& e : exact) plug_of(*a)->GetParam(int(e[0]))->Set(e[1]);
  std::vector<lv2_host_t::stored_t> saved;
  ASSERT_EQ(a->save(&saved), LV2_STATE_SUCCESS);
  ASSERT_EQ(saved.size(), 1u);
  EXPECT_EQ(saved[0].bytes.size(), 232u);
  EXPECT_EQ(saved[0].type, a->uris.map(LV2_ATOM__Chunk));
  EXPECT_TRUE(saved[0].flags & LV2_STATE_IS_POD);

  auto b = make_host();
  ASSERT_EQ(b->restore({b->chunk_entry(saved[0].bytes)}), LV2_STATE_SUCCESS);
  b->ports_from_chunk(saved[0].bytes);  // the host restores its rounded ports beside
  b->run(64);
  EXPECT_EQ(b->chunk(), saved[0].bytes);
  for (const auto& e : exact) EXPECT_EQ(param(*b, int(e[0])), e[1]);
  // Without a chunk the restored ports decide.
  b->control[PARAM_LIMITER] = -6;
  ASSERT_EQ(b->restore({}), LV2_STATE_SUCCESS);
  b->run(64);
  EXPECT_EQ(param(*b, PARAM_LIMITER), -6.0);
}

TEST_F(LV2Test, AChunkOfTheWrongSizeOrTypeRestoresWhatItCanAndSaysSo) {
  auto h = make_host();
  const std::vector<uint8_t> good = h->chunk();
  std::vector<uint8_t> changed = good;
  for (int i = 0; i < 29; ++i) {
    double v = plug_of(*h)->GetParam(i)->GetMin();
    std::memcpy(changed.data() + 8 * i, &v, 8);
  }
  // 12 values and a half; the vector's memory still holds the rest, which is not read.
  lv2_host_t::stored_t shorter = h->chunk_entry(changed);
  shorter.bytes.resize(100);
  EXPECT_EQ(h->restore({shorter}), LV2_STATE_ERR_UNKNOWN);
  EXPECT_EQ(param(*h, PARAM_BAND_FREQ + 3), 20.0);
  EXPECT_EQ(param(*h, PARAM_BAND_SLOPE), 0.0);  // not covered: kept
  EXPECT_EQ(param(*h, PARAM_TRANSPOSE), 0.0);
  std::vector<uint8_t> longer = changed;
  longer.resize(300, 0xFF);
  EXPECT_EQ(h->restore({h->chunk_entry(longer)}), LV2_STATE_ERR_UNKNOWN);
  EXPECT_EQ(param(*h, PARAM_HOR_POSITION), 0.0);
  lv2_host_t::stored_t other = h->chunk_entry(good);
  other.type = h->uris.map(LV2_ATOM__String);
  EXPECT_EQ(h->restore({other}), LV2_STATE_ERR_BAD_TYPE);
  EXPECT_EQ(param(*h, PARAM_HOR_POSITION), 0.0);

  lv2_features_t no_map;
  no_map.urid_map = false;
  auto bare = make_host(0, no_map);
  std::vector<lv2_host_t::stored_t> saved;
  EXPECT_EQ(bare->save(&saved), LV2_STATE_ERR_NO_FEATURE);
  EXPECT_EQ(bare->restore({}), LV2_STATE_ERR_NO_FEATURE);
}

TEST_F(LV2Test, EveryActivationStartsTheStreamClean) {
  auto h = make_host();
  sine(*h, 4096, 500);
  h->run(4096);
  h->deactivate();
  h->activate();
  std::fill(h->in[0].begin(), h->in[0].end(), 0.0f);
  std::fill(h->in[1].begin(), h->in[1].end(), 0.0f);
  h->run(4096);
  EXPECT_EQ(rms(h->out[0], 0, 4096), 0.0);
}

TEST_F(LV2Test, EightInstancesRunSideBySideEachWithItsOwnSettings) {
  std::vector<std::unique_ptr<lv2_host_t>> hosts;
  for (int k = 0; k < 8; ++k) {
    hosts.push_back(make_host(k % 2));
    hosts.back()->control[PARAM_OVERALL_GAIN] = -6.0f * k;
    sine(*hosts.back(), 4096, 1000);
  }
  for (int round = 0; round < 4; ++round)
    for (auto& h : hosts) h->run(4096);
  const double level0 = rms(hosts[0]->out[0], 0, 4096);
  for (int k = 0; k < 8; ++k) {
    EXPECT_EQ(plug_of(*hosts[k])->InstanceNumber(), k);
    EXPECT_NEAR(20 * std::log10(rms(hosts[k]->out[0], 0, 4096) / level0), -6.0 * k, 0.01) << k;
  }
}

// The host's maximum block length sizes the scratch buffers; no record, or one the plug-in
// cannot read, leaves the default.
TEST_F(LV2Test, TheHostsMaximumBlockLengthSizesTheScratchBuffers) {
  using F = lv2_features_t;
  const int kDefault = IPluginLV2::kDefaultMaxBlock;
  const struct {
    int max_block;
    F::option_t option;
    bool map;
    int expected;
  } cases[] = {
      {512, F::OPTION_RIGHT, true, 512},         {1, F::OPTION_RIGHT, true, 1},
      {0, F::OPTION_RIGHT, true, kDefault},
      {512, F::OPTION_ZERO, true, kDefault},     {-5, F::OPTION_RIGHT, true, kDefault},
      {512, F::OPTION_OTHER_KEY, true, kDefault}, {512, F::OPTION_NOT_INT, true, kDefault},
      {512, F::OPTION_WRONG_SIZE, true, kDefault}, {512, F::OPTION_NO_VALUE, true, kDefault},
      {512, F::OPTION_RIGHT, false, kDefault},  // no urid:map to read the record's key with
  };
  for (const auto& c : cases) {
    F f;
    f.max_block = c.max_block;
    f.option = c.option;
    f.urid_map = c.map;
    lv2_host_t h(lv2_descriptor, 1, 44100, f);
    ASSERT_TRUE(h.ok());
    EXPECT_EQ(plug_of(h)->GetBlockSize(), c.expected) << c.max_block << " " << c.option << c.map;
    EXPECT_EQ(plug_of(h)->GetSampleRate(), 44100.0);
  }
}

// An instance the host made but did not activate; its control ports at their defaults.
std::unique_ptr<lv2_host_t> inactive_host() {
  auto h = std::make_unique<lv2_host_t>(lv2_descriptor, 0);
  h->connect_all();
  for (int i = 0; i < lv2_host_t::PARAMS; ++i)
    h->control[i] = static_cast<float>(plug_of(*h)->GetParam(i)->GetDefault());
  return h;
}

// Changed ports apply at the activation and at each later run, one at a time (the first and
// the last port too), beside a port the host disconnected; nothing is left for the audio
// thread to design after instantiation, activation and a restore.
TEST_F(LV2Test, EachPortChangeAppliesAtActivationAndAtTheNextRun) {
  auto h = inactive_host();
  const inst_t* inst = plug_of(*h)->Inst();
  EXPECT_EQ(inst->bufs_dirty + inst->bands_dirty, 0);
  h->control[PARAM_OVERALL_GAIN] = -3;
  h->activate();
  EXPECT_EQ(param(*h, PARAM_OVERALL_GAIN), -3.0);
  EXPECT_EQ(inst->bufs_dirty + inst->bands_dirty, 0);
  const double on = plug_of(*h)->GetParam(PARAM_BAND_ON)->GetDefault();
  const struct {
    int port;
    float value;
  } steps[] = {{PARAM_BAND_ON, float(1 - on)}, {PARAM_HOR_POSITION, 0.5f}, {PARAM_BAND_ON, float(on)}};
  h->connect(PARAM_LIMITER, nullptr);
  for (const auto& s : steps) {
    h->control[s.port] = s.value;
    h->run(64);
    EXPECT_EQ(param(*h, s.port), s.value) << s.port;
  }
  auto other = make_host();
  plug_of(*other)->GetParam(PARAM_BAND_GAIN + 2)->Set(-9.0);
  ASSERT_EQ(h->restore({h->chunk_entry(other->chunk())}), LV2_STATE_SUCCESS);
  EXPECT_EQ(inst->bufs_dirty + inst->bands_dirty, 0);
}

TEST_F(LV2Test, ActivationWaitsForTheLockAMainThreadHolds) {
  auto h = inactive_host();
  h->control[PARAM_LIMITER] = -6;
  plug_of(*h)->Lock();
  auto done = std::async(std::launch::async, [&] { h->activate(); });
  EXPECT_EQ(done.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
  EXPECT_EQ(param(*h, PARAM_LIMITER), 0.0);
  plug_of(*h)->Unlock();
  done.wait();
  EXPECT_EQ(param(*h, PARAM_LIMITER), -6.0);
}

// A port that did not change leaves an edit alone (while another changes); after a restore without a chunk every port
// decides again, the ones that show the declared default too, and nothing counts as kept.
TEST_F(LV2Test, AfterARestoreWithoutAChunkEveryPortDecides) {
  auto h = inactive_host();
  Quillmar* plug = plug_of(*h);
  const double on = plug->GetParam(PARAM_BAND_ON)->GetDefault();
  plug->GetParam(PARAM_BAND_ON)->Set(1 - on);  // what the new instance was built with
  h->activate();
  plug->GetParam(PARAM_LIMITER)->Set(-3.0);  // as the editor does
  h->control[PARAM_OVERALL_GAIN] = -1;        // another port changes meanwhile
  h->run(64);
  EXPECT_EQ(param(*h, PARAM_BAND_ON), 1 - on);
  EXPECT_EQ(param(*h, PARAM_LIMITER), -3.0);
  ASSERT_EQ(h->restore({}), LV2_STATE_SUCCESS);
  h->run(64);
  EXPECT_EQ(param(*h, PARAM_BAND_ON), on);
  EXPECT_EQ(param(*h, PARAM_LIMITER), 0.0);
  lv2_ui_t ui(lv2ui_descriptor, *h);
  ui.idle();
  EXPECT_TRUE(ui.writes.empty());
}

TEST_F(LV2Test, TheHostGivesNoTimeSignatureNorTransport) {
  auto h = make_host();
  int num = 7, den = 7;
  plug_of(*h)->GetTimeSig(&num, &den);
  EXPECT_EQ(num * 10 + den, 0);
  ITimeInfo t;
  t.mTempo = 120;
  t.mNumerator = 3;
  plug_of(*h)->GetTime(&t);
  EXPECT_EQ(t.mTempo + t.mNumerator, 0.0);
  plug_of(*h)->GetTimeSig(nullptr, nullptr);
  plug_of(*h)->GetTime(nullptr);
}

}  // namespace
