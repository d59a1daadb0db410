// quillmar render --automate: time-stamped parameter changes in an offline render.
#include <cmath>
#include <fstream>

#include "cli_harness.h"
#include "hosts/cli/automate.h"

namespace {

using Automate = CliTest;

constexpr int FS = 44100;
constexpr double W = 2 * M_PI * 1000 / FS;  // a 1 kHz sine

std::vector<std::vector<float>> sine(int frames) {
  std::vector<std::vector<float>> ch(1, std::vector<float>(frames));
  for (int i = 0; i < frames; ++i) ch[0][i] = 0.5f * std::sin(W * i);
  return ch;
}

// A time lands on the first input sample at or after it, the decimal's rounding forgiven
// (0.07 s is 3087.0000000000005 samples at 44.1 kHz); a sample number has at most 15 digits,
// and a time past every input lands at sample 9e15.
TEST_F(Automate, ATimeLandsOnTheFirstSampleAtOrAfterIt) {
  std::vector<timed_change_t> changes;
  cli_error err;
  ASSERT_TRUE(parse_automation("0 5=0\n0.07 5=1\n0.1 5=2\n0.10001 5=3\n1.5 5=4\n66151s 5=5\n"
                               "999999999999999s 5=6\n1e300 5=7\n", "f", &changes, &err))
      << err.message;
  std::vector<scheduled_change_t> at;
  ASSERT_TRUE(schedule_changes(changes, FS, "f", &at, &err)) << err.message;
  std::vector<int64_t> samples;
  for (const scheduled_change_t& s : at) samples.push_back(s.at);
  EXPECT_EQ(samples, (std::vector<int64_t>{0, 3087, 4410, 4411, 66150, 66151, 999999999999999,
                                            9000000000000000}));
  EXPECT_FALSE(parse_automation("1000000000000000s 5=1\n", "f", &changes, &err));
  EXPECT_EQ(err.message, "f line 1: \"1000000000000000s\" is not a time (seconds, or samples with an s "
                         "suffix: 1.5 or 66150s)");
}

double peak(const std::vector<float>& x, size_t from, size_t n) {
  double p = 0;
  for (size_t i = from; i < from + n; ++i) p = std::max(p, double(std::fabs(x[i])));
  return p;
}

TEST_F(Automate, AGainStepDuringASineIsCrossfadedWithoutAClick) {
  write_wav("sine.wav", sine(2 * FS));
  std::ofstream(path("step.txt")) << "# the step\n\n1.0 Overall Gain=-6.0206  # half\n";
  std::ofstream(path("samples.txt")) << "44100s 17=-6.0206\n";
  ASSERT_EQ(run({"render", "sine.wav", "a.wav", "--automate", "step.txt", "--compensate"}).status,
            0);
  ASSERT_EQ(run({"render", "sine.wav", "b.wav", "--automate", "samples.txt", "--compensate",
                 "--block", "100"}).status,
            0);
  const audio_t a = read_wav("a.wav");
  EXPECT_EQ(a.ch, read_wav("b.wav").ch);  // seconds or samples, whatever the host's calls
  const std::vector<float>& y = a.ch[0];
  // The step takes effect in the engine's block (hop 326) that holds sample 44100.
  EXPECT_NEAR(peak(y, FS - 800, 400), 0.5, 1e-3);
  EXPECT_NEAR(peak(y, FS + 400, 400), 0.25, 1e-3);
  // A sine obeys y[n+1] = 2 cos(w) y[n] - y[n-1]; a hard step of 0.25 would break that by up
  // to 0.25, the hop-long crossfade by a thousandth of it.
  double worst = 0;
  for (size_t n = 2000; n + 2000 < y.size(); ++n)
    worst = std::max(worst, std::fabs(y[n + 1] - 2 * std::cos(W) * y[n] + y[n - 1]));
  EXPECT_LT(worst, 1e-3);
}

TEST_F(Automate, ABadLineIsRefusedWithItsNumberBeforeAnyOutput) {
  write_wav("in.wav", sine(FS));
  const struct {
    const char* text;
    const char* mentions;
  } cases[] = {
      {"0.5 Overall Gain=-6\n0.25 Overall Gain=0\n", "line 2: 0.25 comes before"},
      {"1.0 Overall Gain=-6\n22050s Overall Gain=0\n", "line 2: sample 22050"},
      {"# ok\n0.5 Band Q gain=1\n", "line 2: Band Q gain=1: no parameter"},
      {"\n\n-1 Overall Gain=1\n", "line 3: \"-1\" is not a time"},
      {"1.5x Overall Gain=1\n", "line 1: \"1.5x\" is not a time"},
      {"2 Overall Gain=nan\n", "line 1: Overall Gain=nan: \"nan\" is not a number"},
      {"0.5\n", "line 1: \"0.5\": expected TIME NAME=VALUE"},
  };
  for (const auto& c : cases) {
    std::ofstream(path("bad.txt")) << c.text;
    const cli_result_t r = run({"render", "in.wav", "o.wav", "--automate", "bad.txt"});
    EXPECT_EQ(r.status, 2) << c.text;
    EXPECT_NE(r.err.find(std::string("bad.txt ") + c.mentions), std::string::npos) << r.err;
    EXPECT_EQ(r.err_lines(), 1) << r.err;
    EXPECT_FALSE(exists("o.wav")) << c.text;
  }
  EXPECT_EQ(run({"render", "in.wav", "o.wav", "--automate", "none.txt"}).status, 1);
}

}  // namespace
