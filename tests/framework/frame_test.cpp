#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <vector>

#include "framework/sample_convert.h"
#include "test_plug.h"

namespace {

// A stereo plug-in with its block size set and both channels of each side connected.
struct StereoFixture {
  TestPlug plug;
  explicit StereoFixture(int blockSize) {
    plug.SetBlockSize(blockSize);
    plug.SetInputChannelConnections(0, 2, true);
    plug.SetOutputChannelConnections(0, 2, true);
  }
};

// Doubles every connected sample and records what the plug-in saw.
struct Recorder {
  std::vector<int> calls;
  std::vector<double> second;  // input 1 as the plug-in received it
  void Attach(TestPlug& plug) {
    plug.process = [this](double** in, double** out, int n) {
      calls.push_back(n);
      for (int s = 0; s < n; ++s) {
        second.push_back(in[1][s]);
        out[0][s] = 2 * in[0][s];
        out[1][s] = 2 * in[1][s];
      }
    };
  }
};

}  // namespace

TEST(ChannelString, GivesRecordsAndLegalPairs) {
  TestPlug plug("1-1 2-2");
  EXPECT_EQ(plug.NChannelIO(), 2);
  EXPECT_EQ(plug.NInChannels(), 2);
  EXPECT_EQ(plug.NOutChannels(), 2);
  EXPECT_TRUE(plug.LegalIO(1, 1));
  EXPECT_TRUE(plug.LegalIO(2, 2));
  EXPECT_FALSE(plug.LegalIO(1, 2));
  EXPECT_TRUE(plug.LegalIO(-1, 2));
  EXPECT_TRUE(plug.LegalIO(1, -1));
  EXPECT_FALSE(plug.LegalIO(3, -1));
  EXPECT_FALSE(plug.LegalIO(0, 2));  // no inputs is a count like any other, not "any"
  EXPECT_FALSE(plug.LegalIO(2, 0));
  EXPECT_FALSE(plug.IsInChannelConnected(2));
  EXPECT_FALSE(plug.IsOutChannelConnected(-1));
  int in = -1, out = -1;
  EXPECT_TRUE(plug.GetChannelIO(1, &in, &out));
  EXPECT_EQ(in * 10 + out, 22);
  EXPECT_TRUE(plug.GetChannelIO(0, &in, nullptr));
  EXPECT_EQ(in, 1);
  EXPECT_TRUE(plug.GetChannelIO(1, nullptr, &out));
  EXPECT_FALSE(plug.GetChannelIO(2, &in, &out));
  EXPECT_FALSE(plug.GetChannelIO(-1, &in, &out));
}

TEST(ChannelString, MalformedTokensAreSkippedAndCountsBounded) {
  struct Case {
    const char* text;
    int nIO, nIn, nOut;
  } cases[] = {
      {nullptr, 0, 0, 0},        {"", 0, 0, 0},
      {"stereo", 0, 0, 0},       {"1-", 0, 0, 0},
      {"-1-1", 0, 0, 0},         {"1-1x 2-2", 1, 2, 2},
      {"  0-2   1-1 ", 2, 1, 2}, {"99999999999-1 1-1", 1, 1, 1},
      {"129-1 128-128", 1, 128, 128}, {"2147483647-2147483647", 0, 0, 0},
  };
  for (const Case& c : cases) {
    TestPlug plug(c.text);
    EXPECT_EQ(plug.NChannelIO(), c.nIO) << (c.text ? c.text : "null");
    EXPECT_EQ(plug.NInChannels(), c.nIn) << (c.text ? c.text : "null");
    EXPECT_EQ(plug.NOutChannels(), c.nOut) << (c.text ? c.text : "null");
  }
}

TEST(ChannelConnections, RangesOutsideTheRecordsAreHarmless) {
  TestPlug plug;
  plug.SetInputChannelConnections(-5, 100, true);
  EXPECT_TRUE(plug.IsInChannelConnected(0));
  EXPECT_TRUE(plug.IsInChannelConnected(1));
  plug.SetInputChannelConnections(INT_MAX, INT_MAX, false);
  plug.SetOutputChannelConnections(1, -3, true);
  EXPECT_TRUE(plug.IsInChannelConnected(1));
  EXPECT_FALSE(plug.IsOutChannelConnected(1));
  plug.SetInputLabel(0, "left in");
  plug.SetInputLabel(2, "none");
  plug.SetOutputLabel(1, "right out");
  EXPECT_STREQ(plug.GetInputLabel(0), "left in");
  EXPECT_STREQ(plug.GetOutputLabel(1), "right out");
  for (const int ch : {-1, 2}) EXPECT_STREQ(plug.GetInputLabel(ch), "") << ch;
}

TEST(ProcessingFrame, AMonoConnectionHandsSilenceAsTheSecondInput) {
  StereoFixture f(8);
  Recorder rec;
  rec.Attach(f.plug);
  std::vector<float> left(8, 0.5f), right(8, 0.25f), outL(8), outR(8);
  float* in[2] = {left.data(), right.data()};
  float* out[2] = {outL.data(), outR.data()};
  f.plug.AttachInputBuffers(0, 2, in, 8);
  f.plug.AttachOutputBuffers(0, 2, out);
  f.plug.ProcessBuffers(0.0f, 8);
  EXPECT_EQ(rec.second, std::vector<double>(8, 0.25));

  // Now mono: the right channel's old audio must not come back.
  f.plug.SetInputChannelConnections(1, 1, false);
  rec.second.clear();
  f.plug.AttachInputBuffers(0, 1, in, 8);
  f.plug.AttachOutputBuffers(0, 2, out);
  f.plug.ProcessBuffers(0.0f, 8);
  EXPECT_FALSE(f.plug.IsInChannelConnected(1));
  EXPECT_EQ(rec.second, std::vector<double>(8, 0.0));
  EXPECT_EQ(outL, std::vector<float>(8, 1.0f));

  // A connected output the plug-in leaves alone carries silence, never the samples of an
  // earlier call (here the stereo call's 0.5).
  f.plug.SetInputChannelConnections(1, 1, true);
  f.plug.AttachInputBuffers(0, 2, in, 8);
  f.plug.ProcessBuffers(0.0f, 8);
  f.plug.process = [](double** in, double** out, int n) { std::copy(in[0], in[0] + n, out[0]); };
  f.plug.SetInputChannelConnections(1, 1, false);
  f.plug.AttachInputBuffers(0, 1, in, 8);
  f.plug.ProcessBuffers(0.0f, 8);
  EXPECT_EQ(outR, std::vector<float>(8, 0.0f));
}

TEST(ProcessingFrame, FloatBuffersAreConvertedBothWays) {
  StereoFixture f(16);
  Recorder rec;
  rec.Attach(f.plug);
  std::vector<float> inL(16), inR(16), outL(16, 9.f), outR(16, 9.f);
  for (int s = 0; s < 16; ++s) {
    inL[s] = 0.1f * s;
    inR[s] = -1.0f / (s + 1);
  }
  float* in[2] = {inL.data(), inR.data()};
  float* out[2] = {outL.data(), outR.data()};
  f.plug.AttachInputBuffers(0, 2, in, 15);
  f.plug.AttachOutputBuffers(0, 2, out);
  f.plug.ProcessBuffers(0.0f, 15);  // three values past the last four: nothing written past them
  for (int s = 0; s < 15; ++s) {
    EXPECT_EQ(outL[s], static_cast<float>(2.0 * static_cast<double>(inL[s])));
    EXPECT_EQ(outR[s], static_cast<float>(2.0 * static_cast<double>(inR[s])));
  }
  EXPECT_EQ(outL[15], 9.f);
  EXPECT_EQ(outR[15], 9.f);
}

// The portable conversions, which the frame runs on processors without AVX: every value of
// every length once, rounded as a cast rounds, nothing past the end.
TEST(ProcessingFrame, PortableConversionsEveryLength) {
  for (int n = 0; n <= 9; ++n) {
    std::vector<float> f(10, 9.f), fromD(10, 9.f);
    std::vector<double> d(10, 9.0), fromF(10, 9.0);
    for (int s = 0; s < n; ++s) {
      f[s] = 0.1f * (s + 1);
      d[s] = 1.0 / (s + 3);
    }
    sample_convert::FloatsToDoubles(f.data(), fromF.data(), n);
    sample_convert::DoublesToFloats(d.data(), fromD.data(), n);
    for (int s = 0; s < 10; ++s) {
      EXPECT_EQ(fromF[s], s < n ? static_cast<double>(f[s]) : 9.0) << n << " " << s;
      EXPECT_EQ(fromD[s], s < n ? static_cast<float>(d[s]) : 9.f) << n << " " << s;
    }
  }
}

TEST(ProcessingFrame, PassThroughCopiesMatchingChannelsAndSilencesTheRest) {
  TestPlug plug("1-2");
  plug.SetBlockSize(4);
  plug.SetInputChannelConnections(0, 1, true);
  plug.SetOutputChannelConnections(0, 2, true);
  std::vector<float> in0 = {1, 2, 3, 4}, out0(4), out1(4, 7.f);
  float* in[1] = {in0.data()};
  float* out[2] = {out0.data(), out1.data()};
  plug.AttachInputBuffers(0, 1, in, 4);
  plug.AttachOutputBuffers(0, 2, out);
  plug.PassThroughBuffers(0.0f, 4);
  EXPECT_EQ(out0, in0);
  EXPECT_EQ(out1, std::vector<float>(4, 0.f));
  // The single-precision processing a plug-in does not replace does the same.
  std::vector<float> again(4), other(4, 7.f);
  float* out2[2] = {again.data(), other.data()};
  plug.ProcessSingleReplacing(in, out2, 4);
  EXPECT_EQ(again, in0);
  EXPECT_EQ(other, std::vector<float>(4, 0.f));
}

TEST(ProcessingFrame, CallsLongerThanTheBlockRunInPieces) {
  StereoFixture f(4);
  Recorder rec;
  rec.Attach(f.plug);
  f.plug.SetInputChannelConnections(1, 1, false);  // its scratch buffer holds only 4 values
  std::vector<float> inL(10), outL(10), outR(10);
  for (int s = 0; s < 10; ++s) inL[s] = static_cast<float>(s + 1);
  float* in[1] = {inL.data()};
  float* out[2] = {outL.data(), outR.data()};
  f.plug.AttachInputBuffers(0, 1, in, 10);
  f.plug.AttachOutputBuffers(0, 2, out);
  f.plug.ProcessBuffers(0.0f, 10);
  EXPECT_EQ(rec.calls, (std::vector<int>{4, 4, 2}));
  for (int s = 0; s < 10; ++s) EXPECT_EQ(outL[s], 2.0f * (s + 1)) << s;
  EXPECT_EQ(outR, std::vector<float>(10, 0.f));

  // The double form too: the host's buffers are addressed piece by piece.
  std::vector<double> dIn(10, 1.5), dOutL(10), dOutR(10);
  double* dIn1[1] = {dIn.data()};
  double* dOut[2] = {dOutL.data(), dOutR.data()};
  rec.calls.clear();
  f.plug.AttachInputBuffers(0, 1, dIn1, 10);
  f.plug.AttachOutputBuffers(0, 2, dOut);
  f.plug.ProcessBuffers(0.0, 10);
  EXPECT_EQ(rec.calls, (std::vector<int>{4, 4, 2}));
  EXPECT_EQ(dOutL, std::vector<double>(10, 3.0));
}

TEST(ProcessingFrame, BeforeABlockSizeOutputsAreSilentAndThePlugInIsNotCalled) {
  TestPlug plug;
  Recorder rec;
  rec.Attach(plug);
  plug.SetInputChannelConnections(0, 2, true);
  plug.SetOutputChannelConnections(0, 2, true);
  std::vector<float> in0(6, 1.f), out0(6, 5.f);
  std::vector<double> out1(6, 5.0);
  float* in[2] = {in0.data(), in0.data()};
  float* fout[1] = {out0.data()};
  double* dout[1] = {out1.data()};
  plug.AttachInputBuffers(0, 2, in, 6);
  plug.AttachOutputBuffers(0, 1, fout);
  plug.AttachOutputBuffers(1, 1, dout);
  plug.ProcessBuffers(0.0f, -1);  // no frames: not even the silence
  EXPECT_EQ(out0, std::vector<float>(6, 5.f));
  plug.ProcessBuffers(0.0f, 1);
  EXPECT_EQ(out0, (std::vector<float>{0.f, 5.f, 5.f, 5.f, 5.f, 5.f}));
  plug.ProcessBuffers(0.0f, 6);
  EXPECT_TRUE(rec.calls.empty());
  EXPECT_EQ(out0, std::vector<float>(6, 0.f));
  EXPECT_EQ(out1, std::vector<double>(6, 0.0));
}

TEST(ProcessingFrame, NullBuffersFallBackToScratch) {
  StereoFixture f(4);
  float* in[2] = {nullptr, nullptr};
  float* out[2] = {nullptr, nullptr};
  f.plug.AttachInputBuffers(0, 2, in, 4);
  f.plug.AttachOutputBuffers(0, 2, out);
  f.plug.AttachInputBuffers(0, 2, static_cast<float**>(nullptr), 4);
  f.plug.ProcessBuffers(0.0f, 4);
  f.plug.PassThroughBuffers(0.0f, 4);
  SUCCEED();
}

TEST(BlockSize, TheSameSizeKeepsTheScratchContentsAnotherZeroesThem) {
  StereoFixture f(8);
  f.plug.SetOutputChannelConnections(1, 1, false);  // output 1 writes into its scratch buffer
  double* scratch = nullptr;
  double firstSeen = -1;
  f.plug.process = [&](double**, double** out, int n) {
    scratch = out[1];
    firstSeen = out[1][0];
    std::fill(out[1], out[1] + n, 7.0);
  };
  std::vector<double> outL(8);
  double* out[1] = {outL.data()};
  f.plug.AttachOutputBuffers(0, 1, out);
  f.plug.ProcessBuffers(0.0, 8);
  EXPECT_EQ(firstSeen, 0.0);
  double* before = scratch;

  f.plug.SetBlockSize(8);
  f.plug.ProcessBuffers(0.0, 8);
  EXPECT_EQ(scratch, before);
  EXPECT_EQ(firstSeen, 7.0);

  f.plug.SetBlockSize(16);
  EXPECT_EQ(f.plug.GetBlockSize(), 16);
  f.plug.ProcessBuffers(0.0, 8);
  EXPECT_EQ(firstSeen, 0.0);

  f.plug.SetBlockSize(-1);
  f.plug.SetBlockSize(IPluginBase::kMaxBlockSize + 1);
  EXPECT_EQ(f.plug.GetBlockSize(), 16);
  f.plug.SetBlockSize(0);  // taken: silence until a size comes
  EXPECT_EQ(f.plug.GetBlockSize(), 0);
}
