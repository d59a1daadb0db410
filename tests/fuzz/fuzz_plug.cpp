#include "fuzz_plug.h"

#include <unistd.h>

#include <algorithm>
#include <string>

Quillmar* fuzz_fresh_instance(int block) {
  static Quillmar* plug = nullptr;
  if (!plug) {
    fuzz_scratch_config();
    plug = MakePlug();
    if (!plug) std::abort();
  }
  fuzz_rest_params(plug);
  plug->SetSampleRate(44100);
  plug->SetBlockSize(block);
  plug->Reset();
  plug->SetBypassed(false);
  plug->SetInputChannelConnections(0, 2, true);
  plug->SetOutputChannelConnections(0, 2, true);
  // Nothing the last input sent is heard: the stream starts clean, as after a host's
  // activation.
  plug->Inst()->bufs_dirty = 1;
  plug->ServePendingChanges();
  return plug;
}

int fuzz_process(Quillmar* plug, int frames, int channels, uint32_t seed) {
  static std::vector<float> buf[4];
  for (auto& b : buf)
    if (b.size() < size_t(frames)) b.resize(frames);
  // Every kind of finite signal a host may send: noise, a sine, an impulse, silence, a
  // full-scale square, DC.
  const int kind = seed % 6;
  for (int c = 0; c < 2; ++c) {
    uint32_t r = seed * 2654435761u + c;
    for (int i = 0; i < frames; ++i) {
      r = r * 1664525u + 1013904223u;
      float x = 0;
      switch (kind) {
        case 0: x = (r >> 8) * (2.0f / 16777216.0f) - 1.0f; break;
        case 1: x = 0.7f * std::sin(0.05f * i + c); break;
        case 2: x = i == 0 ? 1.0f : 0.0f; break;
        case 3: x = 0; break;
        case 4: x = (i / 50) % 2 ? 1.0f : -1.0f; break;
        default: x = 1.0f; break;
      }
      buf[c][i] = x;
    }
  }
  float* in[2] = {buf[0].data(), buf[1].data()};
  float* out[2] = {buf[2].data(), buf[3].data()};
  plug->SetInputChannelConnections(0, channels, true);
  plug->SetInputChannelConnections(channels, 2 - channels, false);
  plug->AttachInputBuffers(0, 2, in, frames);
  plug->AttachOutputBuffers(0, 2, out);
  if (plug->IsBypassed())
    plug->PassThroughBuffers(0.0f, frames);
  else
    plug->ProcessBuffers(0.0f, frames);
  // The k-th connected output took the k-th buffer.
  for (int c = 0, k = 0; c < 2; ++c) {
    if (!plug->IsOutChannelConnected(c)) continue;
    for (int i = 0; i < frames; ++i)
      FUZZ_CHECK(std::isfinite(out[k][i]), "output %d[%d] = %g", c, i, out[k][i]);
    ++k;
  }
  return frames;
}
