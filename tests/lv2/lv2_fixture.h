// The in-process LV2 tests' fixture: instances made through the plug-in's own descriptors,
// with the settings folder of the plug-in tests.
#pragma once
#include <cmath>
#include <memory>
#include <vector>

#include "hosts/lv2/IPluginLV2.h"
#include "lv2_harness.h"
#include "plug_env.h"

extern "C" const LV2_Descriptor* lv2_descriptor(uint32_t index);
extern "C" const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index);

inline Quillmar* plug_of(const lv2_host_t& h) {
  return static_cast<Quillmar*>(static_cast<IPluginLV2*>(h.handle()));
}

inline double param(const lv2_host_t& h, int i) { return plug_of(h)->GetParam(i)->Value(); }

struct LV2Test : PlugTest {
  // A running instance with every port connected, the controls at their declared defaults.
  std::unique_ptr<lv2_host_t> make_host(int kind = 0, lv2_features_t f = lv2_features_t()) {
    auto h = std::make_unique<lv2_host_t>(lv2_descriptor, kind, 48000, f);
    EXPECT_TRUE(h->ok());
    h->connect_all();
    for (int i = 0; i < lv2_host_t::PARAMS; ++i)
      h->control[i] = static_cast<float>(plug_of(*h)->GetParam(i)->GetDefault());
    h->activate();
    return h;
  }
  static void sine(lv2_host_t& h, int frames, double hz) {
    for (int c = 0; c < h.channels(); ++c)
      for (int i = 0; i < frames; ++i) h.in[c][i] = std::sin(2 * M_PI * hz * i / 48000.0);
  }
  static double rms(const std::vector<float>& x, int from, int to) {
    double s = 0;
    for (int i = from; i < to; ++i) s += double(x[i]) * x[i];
    return std::sqrt(s / (to - from));
  }
};
