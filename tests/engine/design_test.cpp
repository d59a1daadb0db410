#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <complex>
#include <thread>
#include <vector>

#include "engine/conv_math.h"
#include "engine/design.h"
#include "engine/engine.h"
#include "engine/fft.h"
#include "engine/levels.h"
#include "harness.h"
#include "toolkit/util/mutex.h"

namespace {

TEST(KernelSize, FollowsResolutionAndSampleRateAndStaysOdd) {
  EXPECT_EQ(kernel_size_calc(44100, 1.0), 1025);
  EXPECT_EQ(kernel_size_calc(44100, 1.1), 1129);
  EXPECT_EQ(kernel_size_calc(44100, 0.2), 205);
  EXPECT_EQ(kernel_size_calc(44100, 16.0), 16401);
  EXPECT_EQ(kernel_size_calc(48000, 1.0), 1115);
  EXPECT_EQ(kernel_size_calc(96000, 1.0), 2231);
  EXPECT_EQ(kernel_size_calc(3000000, 1.0), 69727);  // no overflow at absurd rates
  // K0 is an integer division: at 44099 Hz it is 1024, not 1025, and Resolution shows it.
  EXPECT_EQ(kernel_size_calc(44099, 16.0), 16385);
  // Values no caller should pass still give an odd length, never an overflow.
  EXPECT_EQ(kernel_size_calc(44100, 3e9 / 1025), 2147483647);
  EXPECT_EQ(kernel_size_calc(44100, double(NAN)), 1);
  EXPECT_EQ(kernel_size_calc(44100, -1.0), 1);
  EXPECT_EQ(kernel_size_calc(44100, 1e12), 2147483647);
}

TEST(BlockSizes, WorkedValues) {
  struct Case {
    double fs, ibs, res;
    int k, n, hop, latency;
  } cases[] = {
      {44100, 0.2, 1, 1025, 1350, 326, 838},
      {48000, 0.2, 1, 1115, 1500, 386, 943},
      {44100, 6, 16, 16401, 25920, 9520, 17720},
      {44100, 0, 1, 1025, 1152, 128, 640},
  };
  for (const Case& c : cases) {
    const engine_sizes_t s = engine_sizes(c.fs, 0, c.ibs, c.res);
    EXPECT_EQ(s.kernel_size, c.k) << c.fs;
    EXPECT_EQ(s.fft_size, c.n) << c.fs;
    EXPECT_EQ(s.hop_size, c.hop) << c.fs;
    EXPECT_EQ(s.kernel_size / 2 + s.hop_size, c.latency) << c.fs;
  }
  EXPECT_EQ(fft_size_calc(4096, 1025, 0.2), 5184);
  EXPECT_EQ(fft_size_calc(2000000000, 1025, 0.2), 2000000000);  // capped, and a fast size itself
  EXPECT_EQ(last2k_size_calc(44100), 8000);
  EXPECT_EQ(last2k_size_calc(48000), 8748);
  EXPECT_EQ(last2k_size_calc(96000), 18000);
  EXPECT_EQ(last2k_size_calc(192000), 36000);
  EXPECT_EQ(last2k_size_calc(384000), 72000);  // 32-bit products would have overflowed here
}

TEST(BlockSizes, DemandsBeyondTheBuffersAreShortenedToFit) {
  for (double fs : {192000.0, 384000.0, 768000.0, 2822400.0}) {
    for (int fixed : {0, 4096, 1000000}) {
      const engine_sizes_t s = engine_sizes(fs, fixed, 6, 16);
      EXPECT_LE(s.fft_size, 234992) << fs;
      EXPECT_EQ(s.kernel_size % 2, 1);
      EXPECT_GE(s.hop_size, 128);
      EXPECT_EQ(s.fft_size, next_fast_fft_size(s.fft_size));
    }
  }
  // What fits is left exactly as asked.
  EXPECT_EQ(engine_sizes(192000, 0, 6, 16).fft_size, 112500);
  EXPECT_EQ(engine_sizes(384000, 0, 6, 16).kernel_size, 142801);
  // Too long a kernel keeps the block's share of the FFT.
  const engine_sizes_t s = engine_sizes(768000, 0, 6, 16);
  EXPECT_EQ(s.fft_size, 234375);
  EXPECT_NEAR(double(s.hop_size) / (s.kernel_size - 1), 1.5 * 6 / 16, 0.01);
}

TEST(Crossfade, FadesAreRaisedCosinesThatSumToOne) {
  std::vector<double> out(326, 1.0), in(326, 1.0);
  hann_transition(out.data(), 326, 1);
  hann_transition(in.data(), 326, 0);
  EXPECT_EQ(out[0], 1.0);
  EXPECT_NEAR(out[325], 0.0, 1e-15);
  EXPECT_NEAR(in[0], 0.0, 1e-15);
  for (int i = 0; i < 326; ++i) EXPECT_NEAR(out[i] + in[i], 1.0, 1e-15);
  EXPECT_NEAR(out[163], 0.5 + 0.5 * std::cos(M_PI * 163 / 325), 1e-15);
  // A one-sample fade is the cosine's start: all of the old, none of the new; nothing beyond.
  double one_out[2] = {0.75, 0.5}, one_in[2] = {0.75, 0.5};
  hann_transition(one_out, 1, 1);
  hann_transition(one_in, 1, 0);
  EXPECT_EQ(one_out[0], 0.75);
  EXPECT_EQ(one_in[0], 0.0);
  EXPECT_EQ(one_out[1] + one_in[1], 1.0);
}

// The delivery moves the ring's samples out and tells the limiter whether any needs it.
TEST(Delivery, MovesLeavesZerosAndFindsAnySampleOverTheLimit) {
  for (int n : {0, 1, 3, 4, 6, 9, 17})
    for (int bad = -1; bad < n; ++bad)
      for (double v : {0.5, -0.5000001, 7.0, double(NAN)}) {
        std::vector<double> src(n), dst(n, 9.0);
        for (int i = 0; i < n; ++i) src[i] = i == bad ? v : (i % 2 ? -0.25 : 0.5);
        const std::vector<double> want = src;
        EXPECT_EQ(move_under(dst.data(), src.data(), n, 0.5), bad < 0 || v == 0.5) << n << " " << bad << " " << v;
        for (int i = 0; i < n; ++i) {
          ASSERT_EQ(src[i], 0.0);
          ASSERT_TRUE(dst[i] == want[i] || (std::isnan(dst[i]) && std::isnan(want[i])));
        }
      }
}

// The input's samples that are not finite become silence, and the blocks add up, at every
// length the vector kernels split into (four, two and one at a time) and in every place.
TEST(Delivery, CopiesOnlyFiniteSamplesAndAddsInEveryPlace) {
  for (int n : {0, 1, 3, 4, 6, 9, 17})
    for (int bad = -1; bad < n; ++bad)
      for (double v : {HUGE_VAL, -HUGE_VAL, double(NAN), -0.75}) {
        std::vector<double> src(n), dst(n, 9.0), sum(n);
        for (int i = 0; i < n; ++i) src[i] = i == bad ? v : 0.25 * (i + 1) * (i % 2 ? -1 : 1);
        copy_finite(dst.data(), src.data(), n);
        for (int i = 0; i < n; ++i) sum[i] = 1000.0 * i;
        add_into(sum.data(), dst.data(), n);
        for (int i = 0; i < n; ++i) {
          ASSERT_EQ(dst[i], std::isfinite(src[i]) ? src[i] : 0.0) << n << " " << bad << " " << v;
          ASSERT_EQ(sum[i], 1000.0 * i + dst[i]) << n << " " << bad << " " << v;
        }
      }
}

TEST(SpectrumProduct, MultipliesHalfcomplexBinsAlsoInPlace) {
  for (int n : {7, 8}) {
    std::vector<double> a(n), b(n), out(n);
    for (int i = 0; i < n; ++i) {
      a[i] = 0.5 + i;
      b[i] = 1.5 - 0.25 * i;
    }
    fftconv(a.data(), b.data(), out.data(), n);
    EXPECT_EQ(out[0], a[0] * b[0]);
    for (int k = 1; k < (n + 1) / 2; ++k) {
      const std::complex<double> p =
          std::complex<double>(a[k], a[n - k]) * std::complex<double>(b[k], b[n - k]);
      EXPECT_DOUBLE_EQ(out[k], p.real());
      EXPECT_DOUBLE_EQ(out[n - k], p.imag());
    }
    if (n % 2 == 0) {
      EXPECT_EQ(out[n / 2], a[n / 2] * b[n / 2]);
    }
    fftconv(a.data(), b.data(), a.data(), n);
    EXPECT_EQ(a, out);
  }
}

struct DesignFixture : ::testing::Test {
  test_engine_t t{44100.0, false};
  design_t d = {};
  void design(int k, int n, double fs = 44100.0) {
    t.refresh_bands(0);
    if (d.spectrum) free_design(&d, k, n);
    design_filters(&t.inst, &d, t.bands, t.sorted, k, n, t.curve.data(), &t.inst.curve_new,
                   t.inst.lock_curve, 0, &t.inst.band_count, 0, fs);
  }
  // The design in d against the method written out with plain sums (below) for the curve of
  // t's point list.
  void expect_plain_sums(int kernel_size, int n, double fs) {
    const int half = (n + 1) / 2;
    std::vector<double> amp(half), window(kernel_size), kernel(n), re(half), im(half);
    for (int k = 0; k < half; ++k)
      amp[k] = level_to_amp(curve_at(t.sorted, t.inst.band_count, axis_pos(k * fs / n)));
    blackman_coefs(window.data(), kernel_size);
    for (int j = 0; j < kernel_size; ++j) {
      double sum = amp[0];
      for (int k = 1; k < half; ++k) sum += 2 * amp[k] * std::cos(2 * M_PI * k * (j - kernel_size / 2) / n);
      kernel[j] = sum / std::sqrt(double(n)) * window[j];
    }
    for (int k = 0; k < half; ++k)
      for (int j = 0; j < kernel_size; ++j) {
        re[k] += kernel[j] * std::cos(2 * M_PI * k * j / n) / std::sqrt(double(n));
        im[k] -= kernel[j] * std::sin(2 * M_PI * k * j / n) / std::sqrt(double(n));
      }
    for (int j = 0; j < n; ++j) ASSERT_NEAR(d.kernel[j], kernel[j], 1e-12) << n << " tap " << j;
    for (int k = 0; k < half; ++k) {
      ASSERT_NEAR(d.spectrum[k], re[k], 1e-12) << n << " bin " << k;
      if (k > 0) {
        ASSERT_NEAR(d.spectrum[n - k], im[k], 1e-12) << n << " bin " << k;
      }
    }
  }
  // Magnitude of the designed kernel at bin k, in dB.
  double bin_db(int k, int n) const {
    return 20 * std::log10(std::hypot(d.spectrum[k], k == 0 ? 0.0 : d.spectrum[n - k]));
  }
};

TEST_F(DesignFixture, FlatCurveGivesTheCentredImpulseOfHeightRootN) {
  for (int b = 0; b < 4; ++b) t.host.value[PARAM_BAND_GAIN + b] = 0.0;
  const int k = 1025, n = 1215;
  design(k, n);
  for (int i = 1; i < (n + 1) / 2; ++i)
    ASSERT_NEAR(std::hypot(d.spectrum[i], d.spectrum[n - i]), 1.0, 1e-12) << i;
  ASSERT_NEAR(std::fabs(d.spectrum[0]), 1.0, 1e-12);
  std::vector<double> spec(d.spectrum, d.spectrum + n), kernel(n);
  fft_plan_t* plan = fft_plan_init(t.inst.alloc_list, n);
  fftp(spec.data(), kernel.data(), n, 1, plan);
  for (int i = 0; i < n; ++i)
    ASSERT_NEAR(kernel[i], i == k / 2 ? std::sqrt(double(n)) : 0.0, 1e-10) << i;
}

TEST_F(DesignFixture, KernelFollowsTheCurveWhereItIsSmooth) {
  t.host.value[PARAM_BAND_GAIN + 1] = 6.0;    // B +6 dB at 370 Hz
  t.host.value[PARAM_BAND_GAIN + 3] = -12.0;  // D -12 dB at 8 kHz
  const int k = 1025, n = 1350;
  design(k, n);
  // 370 Hz and 8 kHz at N = 1350 and 44.1 kHz are close to bins 11.3 and 244.9; the curve
  // there is within a few hundredths of a dB of the band gains.
  for (double f : {370.0, 1000.0, 8000.0, 15000.0}) {
    const int bin = int(std::lround(f * n / 44100.0));
    const double fb = bin * 44100.0 / n;
    const double level = curve_at(t.sorted, t.inst.band_count, axis_pos(fb));
    EXPECT_NEAR(bin_db(bin, n), level, 0.25) << f;
  }
  // Redesign for new sizes after free_design gives the same response.
  const double at_8k = bin_db(245, 1350);
  design(2049, 2700);
  EXPECT_NEAR(bin_db(490, 2700), at_8k, 0.1);
}

// The design against the method written out with plain sums at small sizes: the curve sampled
// at every bin below (N + 1) / 2 (its end levels below and above the end points), the Nyquist
// bin zero, the delay of K / 2, the inverse transform, K taps under the window, the forward one.
// Each is a redesign over an earlier curve, so that nothing of that may remain.
TEST_F(DesignFixture, MatchesTheMethodWithPlainSums) {
  struct Case {
    int k, n;
    double fs;
  } cases[] = {{33, 64, 44100.0}, {41, 75, 44100.0}, {33, 64, 16000.0}, {41, 64, 44100.0}, {33, 75, 44100.0}};
  const double gains[4] = {6.0, -9.0, 3.0, -12.0};
  for (const Case& c : cases) {
    for (int b = 0; b < 4; ++b) {
      t.host.value[PARAM_BAND_GAIN + b] = -gains[b];
      t.host.value[PARAM_BAND_SLOPE + b] = 3.0 * (b + 1);  // the end levels differ from A's and D's
    }
    design(c.k, c.n, c.fs);  // resized for the case, the curve mirrored
    for (int b = 0; b < 4; ++b) t.host.value[PARAM_BAND_GAIN + b] = gains[b];
    t.refresh_bands(0);  // redesigned as the audio path does, without resizing
    design_filters(&t.inst, &d, t.bands, t.sorted, c.k, c.n, t.curve.data(), &t.inst.curve_new,
                   t.inst.lock_curve, 0, &t.inst.band_count, 0, c.fs);
    expect_plain_sums(c.k, c.n, c.fs);
  }
}

// First designs of new records one after another, each at settings that differ from an
// earlier one's in one input only (or in none): a design taken from an earlier record is taken
// only where every input is the same. Each record is then redesigned from the same settings,
// as they stand and after a re-sizing to the same sizes.
TEST_F(DesignFixture, FirstDesignsOfNewRecordsFollowTheirOwnInputs) {
  struct Case {
    int k, n;
    double fs, gain_c;
  } cases[] = {{33, 64, 44100.0, 3.0}, {33, 64, 44100.0, 3.0}, {33, 64, 16000.0, 3.0},
               {41, 64, 44100.0, 3.0}, {33, 75, 44100.0, 3.0}, {33, 64, 44100.0, 4.0}};
  for (const Case& c : cases) {
    t.host.value[PARAM_BAND_GAIN + 2] = c.gain_c;
    for (int b = 0; b < 4; ++b) t.host.value[PARAM_BAND_SLOPE + b] = 3.0 * (b + 1);
    d = {};
    design(c.k, c.n, c.fs);
    expect_plain_sums(c.k, c.n, c.fs);
    design_filters(&t.inst, &d, t.bands, t.sorted, c.k, c.n, t.curve.data(), &t.inst.curve_new,
                   t.inst.lock_curve, 0, &t.inst.band_count, 0, c.fs);
    expect_plain_sums(c.k, c.n, c.fs);
    design(c.k, c.n, c.fs);
    expect_plain_sums(c.k, c.n, c.fs);
  }
}

TEST_F(DesignFixture, GainScaleZeroIsFlatAtOverallGainWhateverTheBandsHold) {
  const double gains[4] = {-68.68588963806504, -30, 12, 60};  // A silenced
  for (int b = 0; b < 4; ++b) {
    t.host.value[PARAM_BAND_GAIN + b] = gains[b];
    t.host.value[PARAM_BAND_SLOPE + b] = 40.0;
  }
  t.host.value[PARAM_OVERALL_GAIN] = -6.0;
  t.host.value[PARAM_GAIN_SCALE] = 0.0;
  const int n = 1215;
  design(1025, n);
  for (int b = 0; b < 4; ++b) EXPECT_EQ(t.bands[b].gain, -6.0) << b;
  for (int i = 0; i < (n + 1) / 2; ++i) ASSERT_NEAR(bin_db(i, n), -6.0, 1e-9) << i;
}

TEST_F(DesignFixture, LowSampleRatePutsTheEndPointAboveNyquist) {
  t.host.value[PARAM_BAND_GAIN + 3] = -20.0;  // 8 kHz band, near Nyquist at 16 kHz
  design(373, 512, 16000.0);
  for (int i = 0; i < 512; ++i) ASSERT_TRUE(std::isfinite(d.spectrum[i]));
  const double at_4k = bin_db(128, 512);  // between band C at 0 dB and band D at -20 dB
  EXPECT_LT(at_4k, -1.0);
  EXPECT_GT(at_4k, -20.0);
}

TEST_F(DesignFixture, CurveOnlyUpdateBeforeTheFirstDesignDoesNothing) {
  t.inst.curve_new = 0;
  design_filters(&t.inst, &d, t.bands, t.sorted, 0, 0, t.curve.data(), &t.inst.curve_new,
                 t.inst.lock_curve, 974, &t.inst.band_count, 1, 0);
  EXPECT_EQ(d.spectrum, nullptr);
  EXPECT_EQ(t.inst.curve_new, 0);
  design(1025, 1350);
  t.inst.curve_new = 0;
  t.host.value[PARAM_BAND_GAIN] = 9.0;
  t.refresh_bands(0);
  std::vector<double> before(d.spectrum, d.spectrum + 1350);
  design_filters(&t.inst, &d, t.bands, t.sorted, 0, 0, t.curve.data(), &t.inst.curve_new,
                 t.inst.lock_curve, 974, &t.inst.band_count, 1, 0);
  EXPECT_EQ(t.inst.curve_new, 1);
  EXPECT_NEAR(t.curve[axis_pos(80.0) * 973 + 0.5], 9.0, 0.05);  // the curve moved
  EXPECT_EQ(std::vector<double>(d.spectrum, d.spectrum + 1350), before);  // the kernel did not
}

// The install is the caller's; the view is written only under the lock, then flagged.
TEST(MixFirs, InstallsAndPublishesUnderTheLock) {
  const std::vector<double> src = {0.5, -1.0, 2.0, 0.25};
  std::vector<double> dst(4, 9.0), view(5, 9.0);
  flag_t view_new;
  view_new = 0;
  mutex_t lock;
  mutex_init(&lock, 0, 1);
  mutex_to_1(&lock);
  std::thread publisher([&] { mix_firs(src.data(), dst.data(), 4, view.data(), &lock, &view_new); });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(dst, src);  // not locked
  EXPECT_EQ(view, std::vector<double>(5, 9.0));
  EXPECT_EQ(int(view_new), 0);
  mutex_to_0(&lock);
  publisher.join();
  EXPECT_EQ(view, (std::vector<double>{0.5, -1.0, 2.0, 0.25, 9.0}));
  EXPECT_EQ(int(view_new), 1);
  EXPECT_EQ(lock.busy.load(), 0);
}

TEST(Window, BlackmanIsSymmetricWithUnitCentre) {
  std::vector<double> w(1025);
  blackman_coefs(w.data(), 1025);
  EXPECT_NEAR(w[512], 1.0, 1e-15);
  EXPECT_GT(w[0], 0.0);
  for (int i = 0; i < 1025; ++i) EXPECT_NEAR(w[i], w[1024 - i], 1e-15);
}

}  // namespace
