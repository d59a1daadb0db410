#include "engine/fft.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "engine/conv_math.h"
#include "engine/fft_kernels.h"
#include "support/alloc_counter.h"
#include "toolkit/util/memory.h"

namespace {

using ldouble = long double;
const ldouble kTwoPi = 6.283185307179586476925286766559L;

std::vector<double> random_signal(int n, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> dist(-1.0, 1.0);
  std::vector<double> v(n);
  for (double& x : v) x = dist(gen);
  return v;
}

// exp(-2 pi i t / n) for every t < n, in long double.
struct roots_ld {
  std::vector<ldouble> c, s;
  explicit roots_ld(int n) : c(n), s(n) {
    for (int t = 0; t < n; ++t) {
      c[t] = cosl(kTwoPi * t / n);
      s[t] = -sinl(kTwoPi * t / n);
    }
  }
};

// Bin k of the unitary forward DFT of a real signal.
void naive_bin(const std::vector<double>& x, const roots_ld& w, int k, ldouble* re, ldouble* im) {
  const int n = (int)x.size();
  ldouble r = 0, i = 0;
  int64_t t = 0;
  for (int j = 0; j < n; ++j, t = (t + k) % n) {
    r += x[j] * w.c[t];
    i += x[j] * w.s[t];
  }
  *re = r / sqrtl(n);
  *im = i / sqrtl(n);
}

// Sample j of the unitary inverse DFT of a halfcomplex spectrum.
ldouble naive_sample(const std::vector<double>& hc, const roots_ld& w, int j) {
  const int n = (int)hc.size();
  ldouble sum = hc[0];
  int64_t t = 0;
  for (int k = 1; 2 * k < n; ++k) {
    t = (t + j) % n;  // t = j k mod n; exp(+i a) = c - i s
    sum += 2 * (hc[k] * w.c[t] + hc[n - k] * w.s[t]);
  }
  if (n % 2 == 0) sum += (j % 2 ? -1 : 1) * (ldouble)hc[n / 2];
  return sum / sqrtl(n);
}

double rms(const std::vector<double>& v) {
  ldouble s = 0;
  for (double x : v) s += (ldouble)x * x;
  return (double)sqrtl(s / v.size());
}

// Bins to compare: all of them for small n, an even spread plus the edges for large n.
std::vector<int> bins_to_check(int n, int all_below) {
  std::vector<int> k;
  const int half = n / 2;
  if (n <= all_below) {
    for (int i = 0; i <= half; ++i) k.push_back(i);
  } else {
    for (int i = 0; i < 12; ++i) k.push_back((int)((int64_t)half * i / 11));
    k.push_back(1);
    k.push_back(half - 1);
    k.push_back(1234 % half);
  }
  return k;
}

// The larger error; a NaN (an output never written) wins, as std::max would drop it.
double worst(double err, double d) { return d <= err ? err : d; }

// Largest error of the forward transform relative to the signal's RMS; the output into `got`.
double forward_error(fft_plan_t* plan, int n, int all_below = 4096, std::vector<double>* got = nullptr) {
  const std::vector<double> x = random_signal(n, 1000 + n);
  std::vector<double> in = x, out(n, NAN);
  fftp(in.data(), out.data(), n, 0, plan);
  if (got) *got = out;
  const roots_ld w(n);
  double err = 0;
  for (int k : bins_to_check(n, all_below)) {
    ldouble re, im;
    naive_bin(x, w, k, &re, &im);
    err = worst(err, (double)fabsl(out[k] - re));
    if (k > 0 && 2 * k != n) err = worst(err, (double)fabsl(out[n - k] - im));
  }
  return err / rms(x);
}

double inverse_error(fft_plan_t* plan, int n, int all_below = 4096, std::vector<double>* got = nullptr) {
  std::vector<double> hc = random_signal(n, 2000 + n);
  std::vector<double> in = hc, out(n, NAN);
  fftp(in.data(), out.data(), n, 1, plan);
  if (got) *got = out;
  const roots_ld w(n);
  double err = 0;
  std::vector<int> samples = bins_to_check(n, all_below);
  if (n <= all_below)
    for (int j = n / 2 + 1; j < n; ++j) samples.push_back(j);
  else
    samples.push_back(n - 1);
  for (int j : samples) err = worst(err, (double)fabsl(out[j] - naive_sample(hc, w, j)));
  return err / rms(hc);
}

class FftTest : public ::testing::Test {
 protected:
  void SetUp() override {
    owner_ = gc_list_create();
    plan_ = fft_plan_init(owner_, 0);
    ASSERT_NE(plan_, nullptr);
  }
  void TearDown() override { gc_cleanup(owner_); }
  gc_list_t* owner_ = nullptr;
  fft_plan_t* plan_ = nullptr;
};

TEST_F(FftTest, MatchesNaiveDftForEverySizeUpTo64AndOtherPrimes) {
  std::vector<int> sizes;
  for (int n = 1; n <= 64; ++n) sizes.push_back(n);
  for (int n : {77, 97, 98, 121, 154, 169, 194, 1001, 1009, 2018, 2 * 7 * 11 * 13})
    sizes.push_back(n);
  for (int n : sizes) {
    plan_->cached = 0;
    EXPECT_LT(forward_error(plan_, n), 1e-12) << "forward n = " << n;
    plan_->cached = 0;
    EXPECT_LT(inverse_error(plan_, n), 1e-12) << "inverse n = " << n;
  }
}

TEST_F(FftTest, MatchesNaiveDftAcrossFastSizesUpToTheCapacity) {
  // Large sizes are checked on a spread of bins; the odd ones above ~156000 use the
  // lean layout, 234992 (= 16 * 19 * 773) and the primes the passes of other radices,
  // whose sums run over several chunks of roots.
  for (int n : {1152, 1350, 1500, 5184, 6561, 10007, 15625, 20014, 25920, 84375, 112500, 164025,
                207360, 234375, (int)FFT_MAX_SIZE}) {
    plan_->cached = 0;
    EXPECT_LT(forward_error(plan_, n), 1e-12) << "forward n = " << n;
    plan_->cached = 0;
    EXPECT_LT(inverse_error(plan_, n), 1e-12) << "inverse n = " << n;
  }
}

// Every kernel set the processor can run, the plain ones always.
std::vector<const fft_kernels_t*> kernel_sets() {
  std::vector<const fft_kernels_t*> sets = {fft_kernels_portable()};
  for (const fft_kernels_t* k : {fft_kernels_avx2(), fft_kernels_avx512()})
    if (k) sets.push_back(k);
  return sets;
}

// The kernels are chosen at run time; each set the processor runs is forced on the plan after
// it was prepared, and must stay in use. The AVX-512 passes do lane for lane what the AVX2
// passes do, so they give the same bits: a slip of one unit in the last place shows.
TEST_F(FftTest, EveryKernelSetMatchesNaiveDft) {
  for (int n : {2, 4, 6, 16, 18, 30, 64, 250, 625, 1350, 1536, 2187, 5184, 3375, 164025}) {
    std::vector<double> avx2[2];
    for (const fft_kernels_t* kernels : kernel_sets()) {
      plan_->cached = 0;
      std::vector<double> x(n, 0.0), fwd, inv;
      fftp(x.data(), x.data(), n, 0, plan_);  // prepares the plan
      plan_->kern = kernels;
      EXPECT_LT(forward_error(plan_, n, 4096, &fwd), 1e-12) << "forward n = " << n;
      EXPECT_LT(inverse_error(plan_, n, 4096, &inv), 1e-12) << "inverse n = " << n;
      ASSERT_EQ(plan_->kern, kernels) << "prepared again for the same size, n = " << n;
      if (kernels == fft_kernels_avx2()) avx2[0] = fwd, avx2[1] = inv;
      if (kernels != fft_kernels_avx512()) continue;
      EXPECT_EQ(fwd, avx2[0]) << "forward n = " << n;
      EXPECT_EQ(inv, avx2[1]) << "inverse n = " << n;
    }
  }
}

// (x circularly convolved with h) / sqrt(n): what the unitary transforms give for a kernel
// whose spectrum is the forward transform of h.
std::vector<double> naive_convolution(const std::vector<double>& x, const std::vector<double>& h) {
  const int n = (int)x.size();
  std::vector<double> y(n);
  for (int j = 0; j < n; ++j) {
    ldouble s = 0;
    for (int i = 0; i < n; ++i) s += (ldouble)x[i] * h[(j - i + n) % n];
    y[j] = (double)(s / sqrtl(n));
  }
  return y;
}

// The sizes' first passes take every radix the kernels have (2, 3, 4, 5, 8, 9); with a zero
// tail the AVX-512 set runs AVX2's first pass, so it gives AVX2's bits.
TEST_F(FftTest, ConvolutionsMatchTheNaiveSumWithEveryKernelSet) {
  std::map<std::pair<int, int>, std::vector<double>> avx2_tails;  // by size and fill
  for (const fft_kernels_t* kernels : kernel_sets())
    for (int n : {1, 2, 4, 6, 8, 18, 30, 64, 97, 1125, 1350, 1536, 3375, 5184}) {
      const std::vector<double> x = random_signal(n, 5), x2 = random_signal(n, 6);
      const std::vector<double> h = random_signal(n, 7), h2 = random_signal(n, 8);
      std::vector<double> k(h), k2(h2), out(n, NAN), scratch(x2);
      plan_->cached = 0;
      fftp(k.data(), k.data(), n, 0, plan_);
      fftp(k2.data(), k2.data(), n, 0, plan_);
      plan_->kern = kernels;
      std::vector<double> want = naive_convolution(x, h);
      fft_convolve(x.data(), k.data(), out.data(), n, plan_);
      double err = 0;
      for (int j = 0; j < n; ++j) err = worst(err, std::fabs(out[j] - want[j]));
      EXPECT_LT(err, 1e-12) << "n = " << n;
      const std::vector<double> want2 = naive_convolution(x2, h2);
      fft_convolve2(x.data(), k.data(), scratch.data(), k2.data(), out.data(), n, plan_);
      err = 0;
      for (int j = 0; j < n; ++j) err = worst(err, std::fabs(out[j] - want[j] - want2[j]));
      EXPECT_LT(err, 1e-12) << "two, n = " << n;
      EXPECT_EQ(x, random_signal(n, 5));  // the input is kept
      // An input said to end in zeros, as the engine's blocks do.
      for (int filled : {n / 10, n / 3 | 1}) {
        std::vector<double> xt(x);
        std::fill(xt.begin() + std::min(filled, n), xt.end(), 0.0);
        want = naive_convolution(xt, h);
        fft_convolve(xt.data(), k.data(), out.data(), n, plan_, filled);
        err = 0;
        for (int j = 0; j < n; ++j) err = worst(err, std::fabs(out[j] - want[j]));
        EXPECT_LT(err, 1e-12) << "n = " << n << ", filled " << filled;
        if (kernels == fft_kernels_avx2()) avx2_tails[{n, filled}] = out;
        if (kernels == fft_kernels_avx512()) {
          EXPECT_EQ(out, (avx2_tails[{n, filled}])) << n << " " << filled;
        }
      }
      alloc_scope scope;
      fft_convolve(x.data(), k.data(), out.data(), n, plan_);
      fft_convolve2(x.data(), k.data(), scratch.data(), k2.data(), out.data(), n, plan_);
      EXPECT_EQ(scope.count(), 0u);
    }
}

// An even size whose half is a prime too large for the passes' scratch: they fold their input
// in place, so the convolution works on a copy, with or without a zero tail.
TEST_F(FftTest, ConvolutionWhosePassesWorkInTheirInputKeepsIt) {
  const int n = 2 * 3079;
  const std::vector<double> x = random_signal(n, 1);
  std::vector<double> k = random_signal(n, 2), want(n), out(n);
  fftp(k.data(), k.data(), n, 0, plan_);
  for (int filled : {-1, n / 3}) {
    std::vector<double> in(x);
    std::fill(in.begin() + (filled < 0 ? n : filled), in.end(), 0.0);
    const std::vector<double> kept = in;
    fftp(in.data(), want.data(), n, 0, plan_);
    fftconv(want.data(), k.data(), want.data(), n);
    fftp(want.data(), want.data(), n, 1, plan_);
    fft_convolve(in.data(), k.data(), out.data(), n, plan_, filled);
    EXPECT_EQ(in, kept) << filled;
    double err = 0;
    for (int j = 0; j < n; ++j) err = worst(err, std::fabs(out[j] - want[j]));
    EXPECT_LT(err, 1e-12) << filled;
  }
}

TEST_F(FftTest, ConvolutionsWithAnArrayOrThePlanMissingDoNothing) {
  const int n = 64;
  std::vector<double> in(n, 1.0), k(n, 1.0), in2(n, 2.0), k2(n, 1.0), out(n, 5.0);
  for (int missing = 0; missing < 6; ++missing) {  // in, kernel, in2, kernel2, out, plan
    double* a[5] = {in.data(), k.data(), in2.data(), k2.data(), out.data()};
    if (missing < 5) a[missing] = nullptr;
    fft_plan_t* plan = missing == 5 ? nullptr : plan_;
    fft_convolve2(a[0], a[1], a[2], a[3], a[4], n, plan);
    if (missing != 2 && missing != 3) fft_convolve(a[0], a[1], a[4], n, plan);
  }
  EXPECT_EQ(out, std::vector<double>(n, 5.0));
  EXPECT_EQ(in2, std::vector<double>(n, 2.0));
}

TEST_F(FftTest, ForwardThenInverseReturnsTheInputAndLeavesItUnchanged) {
  for (int n : {3, 8, 1350, 1009, 2 * 1009, 25920, 84375}) {
    plan_->cached = 0;
    const std::vector<double> x = random_signal(n, n);
    std::vector<double> in = x, spectrum(n), back(n);
    fftp(in.data(), spectrum.data(), n, 0, plan_);
    EXPECT_EQ(in, x) << "forward changed its input, n = " << n;
    const std::vector<double> kept = spectrum;
    fftp(spectrum.data(), back.data(), n, 1, plan_);
    EXPECT_EQ(spectrum, kept) << "inverse changed its input, n = " << n;
    double err = 0;
    for (int i = 0; i < n; ++i) err = worst(err, std::fabs(back[i] - x[i]));
    EXPECT_LT(err, 1e-13) << "n = " << n;
  }
}

TEST_F(FftTest, InPlaceGivesTheSameResultAsOutOfPlace) {
  for (int n : {2, 5, 12, 1350, 1009, 1018, 2 * 3 * 7 * 7, 84375}) {
    plan_->cached = 0;
    const std::vector<double> x = random_signal(n, 7 * n);
    std::vector<double> in = x, ref(n);
    fftp(in.data(), ref.data(), n, 0, plan_);
    std::vector<double> buf = x;
    fftp(buf.data(), buf.data(), n, 0, plan_);
    EXPECT_EQ(buf, ref) << "forward n = " << n;
    std::vector<double> back(n);
    fftp(ref.data(), back.data(), n, 1, plan_);
    fftp(buf.data(), buf.data(), n, 1, plan_);
    EXPECT_EQ(buf, back) << "inverse n = " << n;
  }
}

TEST_F(FftTest, UnitImpulseGivesAFlatSpectrum) {
  for (int n : {1350, 1351, 97}) {
    plan_->cached = 0;
    std::vector<double> x(n, 0.0), out(n);
    x[0] = 1;
    fftp(x.data(), out.data(), n, 0, plan_);
    const double level = 1 / std::sqrt((double)n);
    for (int k = 0; k <= n / 2; ++k) {
      EXPECT_NEAR(out[k], level, 1e-15) << "n = " << n << " k = " << k;
      if (k > 0 && 2 * k != n) {
        EXPECT_NEAR(out[n - k], 0, 1e-15) << "n = " << n << " k = " << k;
      }
    }
  }
}

TEST_F(FftTest, TrivialSizes) {
  double one[1] = {-2.5}, res[1] = {0};
  fftp(one, res, 1, 0, plan_);
  EXPECT_EQ(res[0], -2.5);
  fftp(one, res, 1, 1, plan_);
  EXPECT_EQ(res[0], -2.5);
  double two[2] = {3, 1};
  fftp(two, two, 2, 0, plan_);
  EXPECT_DOUBLE_EQ(two[0], 4 / std::sqrt(2.0));
  EXPECT_DOUBLE_EQ(two[1], 2 / std::sqrt(2.0));
  double untouched[1] = {7};
  testing::internal::CaptureStderr();
  fftp(untouched, untouched, 0, 0, plan_);  // empty: nothing to do, nothing to report
  fft_convolve(untouched, untouched, untouched, 0, plan_);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(untouched[0], 7);
}

TEST_F(FftTest, InvalidSizesAreReportedAndWriteNothing) {
  std::vector<double> in(8, 1.0), out(8, 5.0);
  for (int n : {-1, -100, INT_MIN}) {
    testing::internal::CaptureStderr();
    fftp(in.data(), out.data(), n, 0, plan_);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "fftp(): argument n = " + std::to_string(n) + "\n");
  }
  // Beyond what the work arrays hold: the same report, nothing written anywhere; a convolution
  // checks its size the same way.
  std::vector<double> big_in(FFT_MAX_SIZE + 2, 1.0), big_out(FFT_MAX_SIZE + 2, 5.0);
  for (int n : {FFT_MAX_SIZE + 1, INT_MAX, -2}) {
    const std::string report = "fftp(): argument n = " + std::to_string(n) + "\n";
    testing::internal::CaptureStderr();
    fftp(big_in.data(), big_out.data(), n, 1, plan_);
    fft_convolve(big_in.data(), big_in.data(), big_out.data(), n, plan_);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), report + report);
  }
  for (double v : out) EXPECT_EQ(v, 5.0);
  for (double v : big_out) ASSERT_EQ(v, 5.0);
  EXPECT_EQ(plan_->cached, 0);
  // The largest size is valid: its convolution runs, and nothing is reported.
  testing::internal::CaptureStderr();
  fft_convolve(big_in.data(), big_in.data(), big_out.data(), FFT_MAX_SIZE, plan_);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_NE(big_out[0], 5.0);
}

TEST_F(FftTest, PlanFollowsSizeChanges) {
  // After a reset the plan serves a new size; a size change without a reset is noticed too.
  for (int n : {1350, 64, 1350, 1009, 5184}) {
    plan_->cached = 0;
    EXPECT_LT(forward_error(plan_, n), 1e-12) << "n = " << n;
  }
  for (int n : {100, 90, 1000, 97}) EXPECT_LT(inverse_error(plan_, n), 1e-12) << "n = " << n;
}

TEST_F(FftTest, TransformsDoNotAllocate) {
  for (int n : {1350, 1351, 1009, 2 * 1009, 234375}) {
    std::vector<double> x = random_signal(n, 3), y(n);
    plan_->cached = 0;
    alloc_scope scope;
    fftp(x.data(), y.data(), n, 0, plan_);  // includes preparing the plan
    fftp(y.data(), x.data(), n, 1, plan_);
    fftp(x.data(), x.data(), n, 0, plan_);
    fftp(x.data(), x.data(), n, 1, plan_);
    EXPECT_EQ(scope.count(), 0u) << "n = " << n;
  }
}

// The roots table of the largest transform fits the plan's place for it, and a table fills
// exactly the doubles fft_roots_size gives.
TEST(FftRoots, TablesFitTheirSize) {
  for (int n : {7, 1024, (int)FFT_MAX_SIZE}) {  // 1024 = 32 * 32: the rounding up adds nothing
    const int size = fft_roots_size(n);
    ASSERT_LE(size, FFT_AUX_ROOTS) << n;
    std::vector<double> mem(size + 2, 9.0);
    fft_roots_build(mem.data(), n);
    EXPECT_NE(mem[size - 1], 9.0) << n;
    EXPECT_EQ(mem[size], 9.0) << n;
    EXPECT_EQ(mem[size + 1], 9.0) << n;
  }
}

TEST(FftSizes, NextFastSizeFollowsTheTableThenSearches) {
  EXPECT_EQ(next_fast_fft_size(1331), 1350);
  EXPECT_EQ(next_fast_fft_size(5120), 5184);
  EXPECT_EQ(next_fast_fft_size(8000), 8000);
  EXPECT_EQ(next_fast_fft_size(8001), 8100);
  for (int n : {INT_MIN, -5, 0, 1, 63, 64}) EXPECT_EQ(next_fast_fft_size(n), 64) << n;
  EXPECT_EQ(next_fast_fft_size(65), 72);
  EXPECT_EQ(next_fast_fft_size(74), 80);  // 75 is not in the table
  EXPECT_EQ(next_fast_fft_size(6635520), 6635520);
  EXPECT_EQ(next_fast_fft_size(6635521), 6718464);  // 2^10 3^8, found by search
  EXPECT_EQ(next_fast_fft_size(7000000), 7031250);
  for (int odd : {6834375, 9765625}) EXPECT_EQ(next_fast_fft_size(odd), odd);  // 3^7 5^5, 5^10
}

TEST(FftSizes, SearchBeyondTheTableIsExactAndSafeForHugeSizes) {
  auto smooth = [](int64_t v) {
    for (int p : {2, 3, 5})
      while (v % p == 0) v /= p;
    return v == 1;
  };
  for (int n : {6635521, 9999999, 123456789, 1000000007}) {
    const int got = next_fast_fft_size(n);
    ASSERT_GE(got, n);
    EXPECT_TRUE(smooth(got)) << n;
    for (int64_t v = n; v < got && v < n + 2000000; ++v) ASSERT_FALSE(smooth(v)) << v;
  }
  EXPECT_EQ(next_fast_fft_size(2125764000), 2125764000);  // 2^5 3^12 5^3 ... largest below 2^31
  EXPECT_EQ(next_fast_fft_size(INT_MAX), -1);
  EXPECT_EQ(next_fast_fft_size(2147483000), -1);
}

TEST(FftPolarMag, MagnitudesUpToTheNyquistBin) {
  double even[6] = {-3, 3, 1, -2, 1, 4};  // bins 0, 1 (3, 4), 2 (1, 1), Nyquist -2
  polar_mag(even, 6);
  EXPECT_EQ(even[0], 3);
  EXPECT_DOUBLE_EQ(even[1], 5);
  EXPECT_DOUBLE_EQ(even[2], std::sqrt(2.0));
  EXPECT_EQ(even[3], -2);  // Nyquist keeps its sign
  EXPECT_EQ(even[4], 1);   // upper half unchanged
  EXPECT_EQ(even[5], 4);
  double odd[5] = {2, 6, -5, 12, 8};
  polar_mag(odd, 5);
  EXPECT_EQ(odd[0], 2);
  EXPECT_DOUBLE_EQ(odd[1], 10);
  EXPECT_DOUBLE_EQ(odd[2], 13);
  EXPECT_EQ(odd[3], 12);
  double one[1] = {-1};
  polar_mag(one, 1);
  EXPECT_EQ(one[0], 1);
  double two[2] = {-1, -1};
  polar_mag(two, 2);
  EXPECT_EQ(two[0], 1);
  EXPECT_EQ(two[1], -1);
}

}  // namespace
