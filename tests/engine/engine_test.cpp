#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cfenv>
#include <cmath>
#include <random>
#include <vector>
#if defined(__x86_64__)
#include <xmmintrin.h>
#endif

#include "engine/float_mode.h"
#include "engine/levels.h"
#include "harness.h"
#include "support/alloc_counter.h"

namespace {

using signal_t = std::vector<std::vector<double>>;

signal_t noise(size_t len, unsigned seed = 1) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  signal_t s(2, std::vector<double>(len));
  for (auto& ch : s)
    for (double& x : ch) x = u(rng);
  return s;
}

signal_t sine(size_t len, double freq, double amp, double fs = 44100.0) {
  signal_t s(2, std::vector<double>(len));
  for (size_t i = 0; i < len; ++i) s[0][i] = s[1][i] = amp * std::sin(2 * M_PI * freq * i / fs);
  return s;
}

// out[i] == in[i - delay] (zero before), on both channels.
void expect_delayed(const signal_t& in, const signal_t& out, int delay, double tol,
                    int channels = 2) {
  for (int ch = 0; ch < channels; ++ch)
    for (size_t i = 0; i < in[ch].size(); ++i) {
      const double want = i >= size_t(delay) ? in[ch][i - delay] : 0.0;
      ASSERT_NEAR(out[ch][i], want, tol) << "channel " << ch << " sample " << i;
    }
}

// A flat 0 dB curve at Resolution 0.3: K = 309, B = 308, and the odd FFT size 625
// (hop 317). With an odd N the engine is an exact delay.
void make_flat_odd(test_engine_t& t) {
  for (int b = 0; b < 4; ++b) t.host.value[PARAM_BAND_GAIN + b] = 0.0;
  t.host.value[PARAM_RESOLUTION] = 0.3;
  t.refresh_bands(0);
  t.start();
  ASSERT_EQ(t.eng.fft_size, 625);
  ASSERT_EQ(t.inst.latency, 154 + 317);
}

TEST(Stream, WorkedSizesAndReportedLatency) {
  test_engine_t t;
  EXPECT_EQ(t.eng.kernel_size, 1025);
  EXPECT_EQ(t.eng.fft_size, 1350);
  EXPECT_EQ(t.eng.hop_size, 326);
  EXPECT_EQ(t.inst.latency, 838);
  EXPECT_EQ(t.host.reported_latency, 838);
  EXPECT_EQ(t.inst.capture_len, 8000);
  test_engine_t t48(48000.0);
  EXPECT_EQ(t48.eng.fft_size, 1500);
  EXPECT_EQ(t48.host.reported_latency, 943);
  EXPECT_EQ(t48.inst.capture_len, 8748);
}

TEST(Stream, FlatCurveIsAnExactDelayForAnyPatternOfCalls) {
  const std::vector<std::vector<int>> patterns = {
      {1}, {317}, {316, 1}, {7, 64, 120, 317, 1, 3}, {100, 91, 317, 2, 189}};
  for (const auto& calls : patterns) {
    test_engine_t t;
    make_flat_odd(t);
    const signal_t in = noise(6000, 7);
    const signal_t out = t.run(in, calls);
    expect_delayed(in, out, 471, 1e-12);
  }
  // Random call lengths up to the hop.
  std::mt19937 rng(3);
  std::vector<int> calls(500);
  for (int& c : calls) c = 1 + rng() % 317;
  test_engine_t t;
  make_flat_odd(t);
  const signal_t in = noise(40000, 9);
  expect_delayed(in, t.run(in, calls), 471, 1e-12);
}

// A second input disconnected mid-block and connected again brings back nothing of what it
// carried before: neither the samples its block held nor what its output ring held.
TEST(Stream, AnInputConnectedAgainBringsNothingBack) {
  for (int mono_from : {951, 951 + 100}) {  // on a block boundary, and inside a block
    test_engine_t t;
    make_flat_odd(t);
    signal_t in = noise(5000, 11);
    for (size_t i = mono_from; i < in[1].size(); ++i) in[1][i] = 0.0;  // silence once back
    signal_t out(2, std::vector<double>(in[0].size(), 0.0));
    size_t pos = 0;
    auto call = [&](int n, bool stereo) {
      t.host.stereo = stereo;
      double* ip[2] = {in[0].data() + pos, in[1].data() + pos};
      double* op[2] = {out[0].data() + pos, stereo ? out[1].data() + pos : nullptr};
      engine_process(&t.eng, &t.inst, &t.host, ip, op, n);
      pos += n;
    };
    while (pos < (size_t)mono_from) call(std::min<int>(50, mono_from - pos), true);
    call(150, false);
    while (pos < in[0].size()) call(std::min<size_t>(50, in[0].size() - pos), true);
    for (size_t i = mono_from + 150; i < in[1].size(); ++i) {
      const double want = i >= 471 ? in[1][i - 471] : 0.0;
      ASSERT_NEAR(out[1][i], want, 1e-12) << "sample " << i << ", mono from " << mono_from;
    }
  }
}

// A re-sizing that keeps the sizes and the rate (a host's reactivation) keeps the kernel
// instead of designing it again: it sounds bit for bit as one that designs it anew, also with
// an edit of the band records waiting to be served.
TEST(Stream, ReSizingAtTheSameSizesSoundsAsARedesign) {
  const signal_t first = noise(3000, 5), then = noise(6000, 6);
  for (bool edited : {false, true}) {
    test_engine_t kept, redesigned;
    signal_t out[2];
    int k = 0;
    for (test_engine_t* t : {&kept, &redesigned}) {
      t->set_band_param(PARAM_BAND_GAIN + 1, 9);
      t->run(first, {128});
      if (edited) {  // a drag in the editor: the records move, the parameters follow later
        t->bands[2].gain = -20;
        t->inst.bands_from_editor = 1;
        t->inst.bands_dirty = 1;
      }
      if (t == &redesigned) t->eng.design.designed_fs = 0;  // as if the rate had changed
      reinit_buffers(&t->eng, &t->inst, &t->host, 0, 0.2, 1);
      out[k++] = t->run(then, {128});
    }
    for (int ch = 0; ch < 2; ++ch)
      for (size_t i = 0; i < then[ch].size(); ++i)
        ASSERT_EQ(out[0][ch][i], out[1][ch][i]) << "channel " << ch << " sample " << i << (edited ? ", edited" : "");
  }
}

TEST(Stream, FirstHopIsSilentAfterCreationAndAfterReSizing) {
  test_engine_t t;
  const signal_t in = noise(2000);
  signal_t out = t.run(in, {100});
  for (int i = 0; i < 326; ++i) ASSERT_EQ(out[0][i], 0.0) << i;
  EXPECT_NE(out[0][400], 0.0);
  // The main response arrives latency samples after the input.
  signal_t imp(2, std::vector<double>(3000, 0.0));
  imp[0][0] = imp[1][0] = 1.0;
  test_engine_t u;
  out = u.run(imp, {128});
  int peak = 0;
  for (int i = 0; i < 3000; ++i)
    if (std::fabs(out[0][i]) > std::fabs(out[0][peak])) peak = i;
  EXPECT_EQ(peak, 838);
  EXPECT_NEAR(out[0][838], 1.0, 2e-3);  // even N: all but the Nyquist bin

  u.host.value[PARAM_RESOLUTION] = 2.0;
  u.inst.bufs_dirty = 1;
  out = u.run(in, {100});
  EXPECT_EQ(u.inst.bufs_state, 2);
  for (int i = 0; i < u.eng.hop_size; ++i) ASSERT_EQ(out[0][i], 0.0) << i;
  EXPECT_EQ(u.eng.kernel_size, 2051);
  EXPECT_EQ(u.host.reported_latency, 2051 / 2 + u.eng.hop_size);
}

// Pages of n values from p that are in memory.
int resident_pages(const double* p, size_t n) {
  const uintptr_t page = sysconf(_SC_PAGESIZE);
  const uintptr_t from = reinterpret_cast<uintptr_t>(p) / page * page;
  const uintptr_t to = reinterpret_cast<uintptr_t>(p + n);
  std::vector<unsigned char> in((to - from + page - 1) / page);
  if (mincore(reinterpret_cast<void*>(from), to - from, in.data()) != 0) return -1;
  int count = 0;
  for (unsigned char c : in) count += c & 1;
  return count;
}

// A re-sizing clears what the audio wrote and nothing else: before any audio (a host's
// activation of a new instance) it touches no page of the stream buffers, and after audio at
// larger sizes the smaller ones sound as in a new engine.
TEST(Stream, ReSizingClearsWhatTheAudioWroteAndNothingElse) {
  test_engine_t t;
  const engine_t& e = t.eng;
  const double* stream[] = {e.in_block[0], e.in_block[1], e.overflow[0], e.overflow[1],
                            e.out_ring[0], e.out_ring[1], e.saved_block,  e.conv_scratch};
  int resident[8];  // none here; with huge pages always on, those the kernel views' share
  for (int i = 0; i < 8; ++i) resident[i] = resident_pages(stream[i], BUFFER_CAPACITY);
  for (double res : {16.0, 1.0}) reinit_buffers(&t.eng, &t.inst, &t.host, 0, 6, res);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(resident_pages(stream[i], BUFFER_CAPACITY), resident[i]) << i;

  signal_t in = noise(5000, 4), before = noise(20000, 3);
  for (signal_t* s : {&in, &before})
    for (auto& ch : *s)
      for (double& x : ch) x *= 0.3;  // under the limiter's threshold
  test_engine_t fresh, shrunk;
  shrunk.host.value[PARAM_RESOLUTION] = 4;
  shrunk.inst.bufs_dirty = 1;
  shrunk.run(before, {4096});
  ASSERT_GT(shrunk.eng.ring_len, fresh.eng.ring_len);
  reinit_buffers(&shrunk.eng, &shrunk.inst, &shrunk.host, 0, 0.2, 1);
  const signal_t want = fresh.run(in, {100}), got = shrunk.run(in, {100});
  for (int ch = 0; ch < 2; ++ch)
    for (size_t i = 0; i < in[ch].size(); ++i) ASSERT_EQ(got[ch][i], want[ch][i]) << ch << " " << i;
}

TEST(Stream, LongCallReSizesAndLaterShorterCallsKeepTheHop) {
  test_engine_t t;
  const signal_t in = noise(4096 * 3);
  t.run(in, {4096});
  EXPECT_EQ(t.eng.fft_size, 5184);
  EXPECT_EQ(t.eng.hop_size, 4160);
  EXPECT_EQ(t.inst.latency, 4672);
  t.run(in, {128});
  EXPECT_EQ(t.eng.hop_size, 4160);
  EXPECT_EQ(t.eng.in_fill + 0, t.eng.in_fill);  // still a consistent stream
}

TEST(Stream, AMillionFrameCallIsSplitAndStaysExact) {
  test_engine_t t;
  for (int b = 0; b < 4; ++b) t.host.value[PARAM_BAND_GAIN + b] = 0.0;
  t.refresh_bands(0);
  t.start();
  const signal_t in = noise(1000000, 5);
  const signal_t out = t.run(in, {1000000});
  EXPECT_LE(t.eng.fft_size, 234992);
  EXPECT_EQ(t.eng.fft_size % 2, 1);
  expect_delayed(in, out, t.inst.latency, 1e-11);
  EXPECT_EQ(t.host.reported_latency, t.inst.latency);
}

TEST(Stream, HighSampleRatesAtTheLargestSettingsFitAndPassTheSignal) {
  for (double fs : {192000.0, 384000.0, 768000.0}) {
    test_engine_t t(fs, false);
    t.host.value[PARAM_RESOLUTION] = 16;
    t.host.value[PARAM_INPUT_BUFFER_SIZE] = 6;
    for (int b = 0; b < 4; ++b) t.host.value[PARAM_BAND_GAIN + b] = 0.0;
    t.refresh_bands(0);
    t.start();
    ASSERT_LE(t.eng.fft_size, 234992) << fs;
    const size_t len = t.inst.latency + 3 * t.eng.hop_size;
    const signal_t in = sine(len, 1000.0, 0.5, fs);
    const signal_t out = t.run(in, {4096, 1000000 % 4099});
    // A 1 kHz sine passes at unity gain, delayed by the latency (up to the even-N limit).
    expect_delayed(in, out, t.inst.latency, 1e-6);
    EXPECT_EQ(t.host.reported_latency, t.inst.latency);

    // One host call of a million frames: the buffers cannot grow that far, so the call is
    // split, and the stream stays continuous and exact.
    const int latency = t.inst.latency;
    const signal_t big = sine(1000000, 1000.0, 0.5, fs);
    const signal_t big_out = t.run(big, {1000000});
    ASSERT_LE(t.eng.fft_size, 234992) << fs;
    if (t.inst.latency != latency) {
      // Re-sized for the long call: the stream restarts with the new latency.
      expect_delayed(big, big_out, t.inst.latency, 1e-6);
    } else {
      // Not re-sized: the second run continues the first.
      signal_t all_in = in, all_out = out;
      for (int ch = 0; ch < 2; ++ch) {
        all_in[ch].insert(all_in[ch].end(), big[ch].begin(), big[ch].end());
        all_out[ch].insert(all_out[ch].end(), big_out[ch].begin(), big_out[ch].end());
      }
      expect_delayed(all_in, all_out, latency, 1e-6);
    }
  }
}

// Largest sample-to-sample step of channel 0 within [from, to).
double max_step(const signal_t& s, size_t from, size_t to) {
  double m = 0;
  for (size_t i = from + 1; i < to; ++i) m = std::max(m, std::fabs(s[0][i] - s[0][i - 1]));
  return m;
}

TEST(Crossfade, GainChangeDuringASteadySineLeavesNoStep) {
  test_engine_t t;
  const size_t len = 44100;
  const signal_t in = sine(len, 1000.0, 0.1);  // stays below the limiter after +12 dB
  signal_t out(2, std::vector<double>(len));
  // First half, then a +12 dB change of a band at 1 kHz, then the rest.
  auto run_range = [&](size_t from, size_t to) {
    for (size_t pos = from; pos < to; pos += 128) {
      const int n = int(std::min<size_t>(128, to - pos));
      double* ip[2] = {const_cast<double*>(&in[0][pos]), const_cast<double*>(&in[1][pos])};
      double* op[2] = {&out[0][pos], &out[1][pos]};
      engine_process(&t.eng, &t.inst, &t.host, ip, op, n);
    }
  };
  t.host.value[PARAM_BAND_FREQ + 2] = 1000.0;
  t.refresh_bands(0);
  t.start();
  run_range(0, 20000);
  t.set_band_param(PARAM_BAND_GAIN + 2, 12.0);
  run_range(20000, len);
  const double before = max_step(out, 5000, 19000);
  const double after = max_step(out, 30000, len);
  EXPECT_NEAR(after / before, std::pow(10.0, 12.0 / 20.0), 0.05);
  // Around the change the output never steps more than the louder steady sine does.
  EXPECT_LE(max_step(out, 19000, 30000), after * 1.02);
  EXPECT_EQ(t.inst.kernel_view_new, 1);
}

TEST(Crossfade, EditedBandsAreWrittenBackIntoTheParameters) {
  test_engine_t t;
  t.bands[1].gain = 9.0;
  t.bands[1].freq = 500.0;
  t.inst.bands_from_editor = 1;
  t.inst.bands_dirty = 1;
  t.run(noise(400), {200});
  EXPECT_EQ(t.inst.bands_dirty, 0);
  EXPECT_NEAR(t.host.value[PARAM_BAND_GAIN + 1], 9.0, 1e-12);
  EXPECT_NEAR(t.host.value[PARAM_BAND_FREQ + 1], 500.0, 1e-12);
  EXPECT_EQ(t.host.written_back, 1);
  // A band pulled too high is clamped into its parameter's range.
  t.bands[0].gain = 200.0;
  t.inst.bands_dirty = 1;
  t.run(noise(400), {200});
  EXPECT_EQ(t.host.value[PARAM_BAND_GAIN + 0], 60.0);
}

struct LimiterRun {
  test_engine_t t;
  signal_t in, out;
  int delay = 0;
  // Output sample i for input sample i (the flat odd-N engine is an exact delay).
  double y(size_t i) const { return out[0][i + delay]; }
  LimiterRun(double limit_db, const signal_t& signal) : in(signal) {
    make_flat_odd(t);
    t.host.value[PARAM_LIMITER] = limit_db;
    delay = t.inst.latency;
    for (auto& ch : in) ch.resize(ch.size() + delay, 0.0);
    out = t.run(in, {191});
  }
};

TEST(Limiter, HoldsForTwoPointThreeSecondsThenReleasesOverTheNext) {
  const double fs = 44100, T = std::pow(10.0, -6.0 / 20.0);
  const size_t burst = 4410, len = size_t(fs * 6);
  signal_t s(2, std::vector<double>(len, 0.2));
  // One full-scale peak, then a burst that never exceeds it (even by rounding).
  for (size_t i = 0; i < burst; ++i) s[0][i] = s[1][i] = i == 0 ? 1.0 : (i % 2 ? -0.9 : 0.9);
  LimiterRun r(-6.0, s);
  EXPECT_DOUBLE_EQ(std::fabs(r.y(0)), T);  // the first sample above T comes out at T
  EXPECT_NEAR(r.t.inst.limiter_over.load(), 1.0 - T, 1e-12);
  const size_t last_peak = 0;  // the burst's later samples only equal it
  auto after = [&](double seconds) { return last_peak + size_t(seconds * fs); };
  EXPECT_NEAR(r.y(after(1.0)), 0.2 * T, 1e-9);   // hold
  EXPECT_NEAR(r.y(after(2.29)), 0.2 * T, 1e-9);
  const double mid = 0.5 * (1.0 - T) + T;  // half way through the release
  EXPECT_NEAR(r.y(after(3.45)), 0.2 * T / mid, 1e-4);
  EXPECT_NEAR(r.y(after(4.7)), 0.2, 1e-12);      // back to unity, the peak dropped
  EXPECT_EQ(r.t.inst.limiter_peak, 0.0);
}

TEST(Limiter, LoudSignalDuringReleaseReArmsTheHoldAtTheEnvelope) {
  const double fs = 44100, T = std::pow(10.0, -6.0 / 20.0);
  const size_t len = size_t(fs * 5);
  signal_t s(2, std::vector<double>(len, 0.3));
  s[0][0] = s[1][0] = 1.0;
  LimiterRun r(-6.0, s);
  // Independently: the envelope after 2.3 s falls until twice 0.3 exceeds it.
  size_t j = 1;
  double env = 1.0;
  for (;; ++j) {
    const double t = j / fs;
    if (t <= 2.3) continue;
    env = (0.5 * std::cos((t - 2.3) * M_PI / 2.3) + 0.5) * (1.0 - T) + T;
    if (0.6 > env) break;
  }
  EXPECT_NEAR(r.y(j - 1), 0.3 * T / ((0.5 * std::cos(((j - 1) / fs - 2.3) * M_PI / 2.3) + 0.5) * (1.0 - T) + T), 1e-6);
  EXPECT_NEAR(r.y(j), 0.3 * T / env, 1e-6);        // re-armed at the envelope
  EXPECT_NEAR(r.y(j + 44100), 0.3 * T / env, 1e-6);  // and held there
}

// During the release a sample louder than the envelope re-arms the hold at its own level, so
// it too comes out at the threshold, never above it.
TEST(Limiter, ASampleAboveTheReleasingEnvelopeComesOutAtTheThreshold) {
  const double fs = 44100, T = 0.1;
  signal_t s(2, std::vector<double>(size_t(fs * 3.2), 0.01));
  s[0][0] = s[1][0] = 1.0;
  const size_t late = size_t(fs * 3.0);  // 0.7 s into the release: the envelope is near 0.81
  s[0][late] = s[1][late] = 0.9;
  LimiterRun r(-20.0, s);
  for (size_t i = 0; i < s[0].size(); ++i) ASSERT_LE(std::fabs(r.y(i)), T * (1 + 1e-12)) << i;
  EXPECT_NEAR(r.y(late), T, 1e-12);
  EXPECT_NEAR(r.y(late + 1), 0.01 * T / 0.9, 1e-12);  // held at the new peak
}

TEST(Limiter, AtSixtyDecibelsNothingIsTouched) {
  signal_t s(2, std::vector<double>(3000, 0.0));
  for (size_t i = 0; i < 1000; ++i) s[0][i] = s[1][i] = 5000.0 * std::sin(i * 0.1);
  LimiterRun r(60.0, s);
  for (size_t i = 0; i < 1000; ++i) ASSERT_NEAR(r.y(i), s[0][i], 1e-8);
  EXPECT_EQ(r.t.inst.limiter_over.load(), 0.0);
}

TEST(Capture, MonoFillsBothRingsAndWritesOnlyTheFirstOutput) {
  test_engine_t t;
  t.host.stereo = false;
  std::vector<double> in(300), out0(300), out1(300, 7.0);
  for (int i = 0; i < 300; ++i) in[i] = i + 1;
  std::vector<double> other(300, -5.0);
  double* ip[2] = {in.data(), other.data()};
  double* op[2] = {out0.data(), out1.data()};
  engine_process(&t.eng, &t.inst, &t.host, ip, op, 300);
  for (int i = 0; i < 300; ++i) {
    ASSERT_EQ(t.inst.capture[0][i], i + 1);
    ASSERT_EQ(t.inst.capture[1][i], i + 1);
    ASSERT_EQ(out1[i], 7.0);
  }
  EXPECT_EQ(t.inst.capture_pos, 300);
  EXPECT_EQ(t.inst.capture_new, 1);
}

TEST(Capture, LongCallKeepsTheLastSamplesInOrderAndIdleEditorStopsIt) {
  test_engine_t t;
  const signal_t in = noise(10000, 4);
  t.run(in, {10000});
  for (int ch = 0; ch < 2; ++ch)
    for (int i = 0; i < 8000; ++i) ASSERT_EQ(t.inst.capture[ch][i], in[ch][2000 + i]) << ch;
  EXPECT_EQ(t.inst.capture_pos, 0);
  // A call of the ring's length wraps like a shorter one: the ring is rewritten from where it was.
  t.run(noise(300, 7), {300});
  const signal_t whole = noise(8000, 8);
  t.run(whole, {8000});
  EXPECT_EQ(t.inst.capture_pos, 300);
  for (int ch = 0; ch < 2; ++ch)
    for (int i = 0; i < 8000; ++i) ASSERT_EQ(t.inst.capture[ch][(300 + i) % 8000], whole[ch][i]) << ch << " " << i;
  // With no editor frame for a second's worth of samples, the rings keep their content.
  t.run(noise(44100, 5), {300});
  t.inst.capture_new = 0;
  const std::vector<double> kept(t.inst.capture[0], t.inst.capture[0] + 8000);
  t.run(noise(1000, 6), {300});
  EXPECT_EQ(t.inst.capture_new, 0);
  EXPECT_EQ(std::vector<double>(t.inst.capture[0], t.inst.capture[0] + 8000), kept);
  t.inst.samples_since_frame = 0;  // an editor frame
  t.run(noise(100, 6), {100});
  EXPECT_EQ(t.inst.capture_new, 1);
}

TEST(HostileAudio, NotANumberAndInfinitiesAreSilence) {
  signal_t in = noise(6000, 4), zeroed = in;
  for (int i = 1000; i < 1010; ++i) {
    in[0][i] = i % 2 ? NAN : HUGE_VAL;
    zeroed[0][i] = 0.0;
  }
  in[1][3000] = -HUGE_VAL;
  zeroed[1][3000] = 0.0;
  test_engine_t t, u;
  const signal_t out = t.run(in, {128}), want = u.run(zeroed, {128});
  for (int ch = 0; ch < 2; ++ch)
    for (size_t i = 0; i < out[ch].size(); ++i) {
      ASSERT_TRUE(std::isfinite(out[ch][i])) << ch << " " << i;
      ASSERT_EQ(out[ch][i], want[ch][i]) << ch << " " << i;
    }
  for (int ch = 0; ch < 2; ++ch)
    for (int i = 0; i < t.inst.capture_len; ++i) ASSERT_TRUE(std::isfinite(t.inst.capture[ch][i]));
}

TEST(HostileAudio, FullScaleSquareAndDcPassUnchanged) {
  test_engine_t t;
  make_flat_odd(t);
  t.host.value[PARAM_LIMITER] = 60;
  signal_t in(2, std::vector<double>(8000));
  for (size_t i = 0; i < 8000; ++i) {
    in[0][i] = (i / 50) % 2 ? -1.0 : 1.0;
    in[1][i] = 1.0;
  }
  const signal_t out = t.run(in, {128});
  expect_delayed(in, out, 471, 1e-12);
}

TEST(HostileAudio, DenormalsAreZeroInsideAndTheCallersModeIsKept) {
  test_engine_t t;
  make_flat_odd(t);
  signal_t tiny = noise(3000, 5);
  for (auto& ch : tiny)
    for (double& x : ch) x *= 1e-310;  // denormal
  fesetround(FE_TOWARDZERO);
#if defined(__x86_64__)
  const unsigned before = _mm_getcsr();
#endif
  const signal_t out = t.run(tiny, {128});
  EXPECT_EQ(fegetround(), FE_TOWARDZERO);
#if defined(__x86_64__)
  EXPECT_EQ(_mm_getcsr(), before);
#endif
  fesetround(FE_TONEAREST);
#if defined(__x86_64__) || defined(__aarch64__)
  for (double x : out[0]) ASSERT_EQ(x, 0.0);  // read as zero, so they cost nothing
#endif
  EXPECT_NE(tiny[0][1000] * 1e300, 0.0);  // and the caller's arithmetic still sees them
}

// Inside the mode a denormal operand reads as zero and a denormal result is flushed; the
// caller's mode comes back whole.
TEST(FloatMode, DenormalsAreZeroBothWaysUntilRestored) {
#if defined(__x86_64__) || defined(__aarch64__)
  volatile double tiny = 1e-310, big = 1e300, small = 1e-300, shrink = 1e-10;
  const uint64_t mode = float_mode_flush_denormals();
  volatile double operand = tiny * big, result = small * shrink;  // stored before the restore
  float_mode_restore(mode);
  EXPECT_EQ(operand, 0.0);
  EXPECT_EQ(result, 0.0);
  EXPECT_NE(tiny * big, 0.0);
  EXPECT_NE(small * shrink, 0.0);
#endif
}

TEST(RealTime, TheAudioPathNeverAllocates) {
  test_engine_t t;
  const signal_t in = noise(20000);
  signal_t out(2, std::vector<double>(20000));
  alloc_scope scope;
  auto call = [&](size_t pos, int n) {
    double* ip[2] = {const_cast<double*>(&in[0][pos]), const_cast<double*>(&in[1][pos])};
    double* op[2] = {&out[0][pos], &out[1][pos]};
    engine_process(&t.eng, &t.inst, &t.host, ip, op, n);
  };
  for (size_t p = 0; p < 2000; p += 100) call(p, 100);
  t.set_band_param(PARAM_BAND_GAIN + 1, 6.0);  // redesign with a crossfade
  for (size_t p = 2000; p < 4000; p += 100) call(p, 100);
  t.host.value[PARAM_RESOLUTION] = 4.0;  // re-sizing requested by the parameters
  t.inst.bufs_dirty = 1;
  for (size_t p = 4000; p < 8000; p += 100) call(p, 100);
  call(8000, 5000);  // re-sizing by a long call
  EXPECT_EQ(scope.count(), 0u);
}

}  // namespace
