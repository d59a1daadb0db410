// What the instance benchmarks do to an instance as a host would (main thread, between
// construction and destruction): start it for audio, feed it 128-frame stereo calls, and tick
// its editor's timer.
#pragma once
#include <vector>

#include "framework/IGraphics.h"
#include "plugin/Quillmar.h"

// 44.1 kHz, 128-frame calls, Reset, stereo in and out connected.
inline void host_start(Quillmar* p) {
  p->SetSampleRate(44100);
  p->SetBlockSize(128);
  p->Reset();
  p->SetInputChannelConnections(0, 2, true);
  p->SetOutputChannelConnections(0, 2, true);
}

// n calls of 128 frames of a constant signal.
inline void host_calls(Quillmar* p, int n) {
  static std::vector<float> in(128, 0.25f), o0(128), o1(128);
  float* ip[2] = {in.data(), in.data()};
  float* op[2] = {o0.data(), o1.data()};
  for (int k = 0; k < n; ++k) {
    p->AttachInputBuffers(0, 2, ip, 128);
    p->AttachOutputBuffers(0, 2, op);
    p->ProcessBuffers(0.0f, 128);
  }
}

// One tick of the editor's timer.
inline void host_frame(Quillmar* p) {
  IRECT r;
  if (p->GetGUI()->IsDirty(&r)) p->GetGUI()->Draw(&r);
}
