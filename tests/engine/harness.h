// A running engine without the plug-in: an instance record, the engine, and a host that
// keeps the 29 parameter values in an array.
#pragma once
#include <algorithm>
#include <cmath>
#include <vector>

#include "engine/bands.h"
#include "engine/engine.h"
#include "engine/inst.h"
#include "engine/params.h"
#include "toolkit/util/memory.h"
#include "toolkit/util/mutex.h"

struct test_host_t : engine_host_t {
  double value[PARAM_COUNT];
  double lo[PARAM_COUNT];
  double hi[PARAM_COUNT];
  bool stereo = true;
  int reported_latency = -1;
  int written_back = 0;

  test_host_t() {
    auto set = [this](int i, double v, double l, double h) {
      value[i] = v;
      lo[i] = l;
      hi[i] = h;
    };
    const double freqs[4] = {80, 370, 1700, 8000};
    for (int b = 0; b < 4; ++b) {
      set(PARAM_BAND_ON + b, 1, 0, 1);
      set(PARAM_BAND_GAIN + b, 0.000001, -68.68588963806504, 60);
      set(PARAM_BAND_FREQ + b, freqs[b], 20, 20000);
      set(PARAM_BAND_SLOPE + b, 0, -100, 100);
    }
    set(PARAM_TRANSPOSE, 0, -120, 120);
    set(PARAM_OVERALL_GAIN, 0, -60, 60);
    set(PARAM_GAIN_SCALE, 1, -4, 4);
    set(PARAM_COLOUR, 2, 0, 2);
    set(PARAM_COLOUR_GAIN, 1, 0, 40);
    set(PARAM_GAMMA, 1.1, 1, 2);
    set(PARAM_INTERFACE_SIZE, 1, 0, 2);
    set(PARAM_RESOLUTION, 1, 0.2, 16);
    set(PARAM_INPUT_BUFFER_SIZE, 0.2, 0, 6);
    set(PARAM_LIMITER, 0, -30, 60);
    set(PARAM_VERT_RANGE, 64.34294481903252, 3, 64.34294481903252);
    set(PARAM_HOR_ZOOM, 1, 1, 10);
    set(PARAM_HOR_POSITION, 0.5, 0, 1);
  }
  double param(int i) override { return value[i]; }
  void set_param_clamped(int i, double v) override {
    if (!std::isnan(v)) value[i] = std::min(std::max(v, lo[i]), hi[i]);
  }
  bool second_input_connected() override { return stereo; }
  void set_latency(int samples) override { reported_latency = samples; }
  void bands_written_back(int, int) override { ++written_back; }
};

struct test_engine_t {
  inst_t inst;
  engine_t eng;
  test_host_t host;
  eqband_t bands[BAND_COUNT] = {};
  eqband_t sorted[SORTED_COUNT] = {};
  mutex_t locks[5];
  std::vector<double> curve = std::vector<double>(CURVE_COLUMNS);

  explicit test_engine_t(double samplerate = 44100.0, bool build = true) {
    inst.alloc_list = gc_list_create();
    inst.samplerate = samplerate;
    mutex_t** slots[5] = {&inst.lock_capture, &inst.lock_kernel_view, &inst.lock_curve,
                          &inst.lock_buffers, &inst.lock_process};
    for (int i = 0; i < 5; ++i) {
      mutex_init(&locks[i], 0, 1);
      *slots[i] = &locks[i];
    }
    inst.bands = bands;
    inst.bands_sorted = sorted;
    inst.curve[0] = curve.data();
    inst.area_w = 0;
    capture_alloc(&inst);
    refresh_bands(1);
    engine_alloc(&eng, &inst);
    if (build) start();
  }
  ~test_engine_t() { gc_cleanup(inst.alloc_list); }

  void start() {
    init_buffers(&eng, &inst, &host, 0, host.value[PARAM_INPUT_BUFFER_SIZE],
                 host.value[PARAM_RESOLUTION]);
  }
  void refresh_bands(int at_creation) {
    band_params_t p;
    for (int b = 0; b < BAND_COUNT; ++b) {
      p.on[b] = host.value[PARAM_BAND_ON + b];
      p.gain[b] = host.value[PARAM_BAND_GAIN + b];
      p.freq[b] = host.value[PARAM_BAND_FREQ + b];
      p.slope[b] = host.value[PARAM_BAND_SLOPE + b];
    }
    p.transpose = host.value[PARAM_TRANSPOSE];
    p.overall_gain = host.value[PARAM_OVERALL_GAIN];
    p.gain_scale = host.value[PARAM_GAIN_SCALE];
    bands_from_params(bands, &p, at_creation);
  }
  // A band parameter changed, as the plug-in's parameter handling reports it.
  void set_band_param(int index, double v) {
    host.value[index] = v;
    inst.bands_from_editor = 0;
    inst.bands_dirty = 1;
  }
  // Runs `in` through the engine in calls of the given lengths (cycled); returns the output.
  std::vector<std::vector<double>> run(const std::vector<std::vector<double>>& in,
                                       const std::vector<int>& calls) {
    const size_t len = in[0].size();
    std::vector<std::vector<double>> out(2, std::vector<double>(len, 0.0));
    size_t pos = 0, c = 0;
    while (pos < len) {
      const int n = static_cast<int>(std::min<size_t>(calls[c++ % calls.size()], len - pos));
      double* ip[2] = {const_cast<double*>(in[0].data()) + pos,
                       const_cast<double*>(in[in.size() > 1 ? 1 : 0].data()) + pos};
      double* op[2] = {out[0].data() + pos, out[1].data() + pos};
      engine_process(&eng, &inst, &host, ip, op, n);
      pos += n;
    }
    return out;
  }
};
