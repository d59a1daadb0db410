#include <gtest/gtest.h>

#include <vector>

#include "support/alloc_counter.h"
#include "test_plug.h"

TEST(ProcessingFrame, AttachingAndProcessingAllocateNothing) {
  TestPlug plug;
  plug.SetBlockSize(4);
  plug.SetInputChannelConnections(0, 2, true);
  plug.SetOutputChannelConnections(0, 2, true);
  std::vector<float> in0(9, 1.f), out0(9), out1(9);
  std::vector<double> din(9, 1.0), dout(9);
  float* in[2] = {in0.data(), in0.data()};
  float* out[2] = {out0.data(), out1.data()};
  double* din2[2] = {din.data(), din.data()};
  double* dout2[2] = {dout.data(), dout.data()};
  alloc_scope allocations;
  plug.AttachInputBuffers(0, 2, in, 9);
  plug.AttachOutputBuffers(0, 2, out);
  plug.ProcessBuffers(0.0f, 9);
  plug.PassThroughBuffers(0.0f, 9);
  plug.AttachInputBuffers(0, 2, din2, 9);
  plug.AttachOutputBuffers(0, 2, dout2);
  plug.ProcessBuffers(0.0, 9);
  plug.PassThroughBuffers(0.0, 9);
  EXPECT_EQ(allocations.count(), 0u);
}
