// The LV2 plug-in as a host drives it, through its descriptors: instantiation at any rate
// and with or without its features, then port values (NaN and the infinities included),
// runs of any length, saved state restored from any bytes of any type, saves, activation.
// Input: the kind, the rate and the features, then one byte per event and its arguments.
// An instance is kept for the next input made the same way (the same kind, rate and
// features), brought back to a new one's state; any other input instantiates anew.
#include <lv2/atom/atom.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

#include "fuzz_plug.h"
#include "hosts/lv2/quillmar_lv2.h"
#include "lv2_harness.h"

extern "C" const LV2_Descriptor* lv2_descriptor(uint32_t index);

namespace {

enum { BUFFER = 8192, MAX_EVENTS = 48, MAX_FRAMES_PER_RUN = 1 << 16 };
// At most KEPT instances, their longest transforms together at most KEPT_FFT values (the
// pages an instance's buffers touched stay resident while it is kept; three at the largest
// size stay far under the run's memory limit).
enum { KEPT = 16, KEPT_FFT = 2 * ENGINE_MAX_FFT };
const double kRates[] = {44100, 48000, 96000, 22050, 192000, 8000, 1, 0, -44100};
const float kInf = std::numeric_limits<float>::infinity();
const float kValues[] = {0.0f, 1.0f,  -1.0f,  0.5f, 60.0f, -100.0f,
                         2e4f, 1e30f, -1e30f, kInf, -kInf, std::numeric_limits<float>::quiet_NaN()};

float any_float(fuzz_bytes_t& in) {
  const uint8_t pick = in.u8();
  if (pick < 128) return kValues[pick % 12];
  uint32_t bits = in.u16() | uint32_t(in.u16()) << 16;
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

// The plug-in behind a handle.
Quillmar* plug_of(LV2_Handle h) { return static_cast<Quillmar*>(static_cast<IPluginLV2*>(h)); }

// How an instance was made: everything the host hands to instantiate.
struct made_t {
  int kind;
  uint64_t rate_bits;
  bool urid_map;
  int max_block;
  bool operator==(const made_t& o) const {
    return kind == o.kind && rate_bits == o.rate_bits && urid_map == o.urid_map &&
           max_block == o.max_block;
  }
};

// An instance kept between inputs, with the engine's sizes (kernel, transform, hop) its first
// activation gave (every later activation after the reset below must give them too) and the
// longest transform it ran with.
struct kept_t {
  made_t how;
  std::unique_ptr<lv2_host_t> host;
  int sizes[3] = {0, 0, 0};
  int longest = 0;
};

// The instances of the last inputs, the most recently used last.
std::vector<kept_t> kept;

// The host for an input: a kept instance made the same way, brought back to a new one's
// state (its deactivation ended the last input; every port is connected again and reads NaN,
// which the plug-in ignores; its parameters and limiter are those of a new instance; the
// input's activation clears the stream and re-sizes as a new one's does), or a new instance,
// kept unless the plug-in refused it.
kept_t& host_for(const made_t& how, double rate, const lv2_features_t& features) {
  for (size_t i = 0; i < kept.size(); ++i) {
    if (!(kept[i].how == how)) continue;
    std::rotate(kept.begin() + i, kept.begin() + i + 1, kept.end());
    lv2_host_t* host = kept.back().host.get();
    host->connect_all(BUFFER);
    host->latency = -1.0f;
    fuzz_rest_params(plug_of(host->handle()));
    return kept.back();
  }
  kept_t fresh{how, std::make_unique<lv2_host_t>(&lv2_descriptor, how.kind, rate, features)};
  if (!fresh.host->ok()) {
    static kept_t refused;
    refused = std::move(fresh);
    return refused;
  }
  fresh.host->connect_all(BUFFER);
  auto over = [] {
    int64_t total = 0;
    for (const kept_t& k : kept) total += k.longest;
    return kept.size() >= KEPT || total > KEPT_FFT;
  };
  while (!kept.empty() && over()) kept.erase(kept.begin());
  kept.push_back(std::move(fresh));
  return kept.back();
}

void check_run(lv2_host_t& host, uint32_t frames) {
  FUZZ_CHECK(std::isfinite(host.latency) && host.latency >= 0, "latency port %g", host.latency);
  for (int c = 0; c < host.channels(); ++c)
    for (uint32_t i = 0; i < frames; ++i)
      FUZZ_CHECK(std::isfinite(host.out[c][i]), "output %d[%u] = %g", c, i, host.out[c][i]);
  const Quillmar* p = plug_of(host.handle());
  fuzz_check_params(p);
  fuzz_check_sizes(p->Engine(), p->GetLatency());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_scratch_config();
  fuzz_bytes_t in{data, size};
  const uint8_t setup = in.u8();
  const uint8_t rate_pick = in.u8();
  const double rate = rate_pick < 200 ? kRates[rate_pick % 9] : in.f64();
  lv2_features_t features;
  features.urid_map = setup & 2;
  features.max_block = (setup & 4) ? 0 : 1 << (6 + (setup >> 4) % 7);  // none, or 64 .. 4096
  made_t how{setup & 1, 0, features.urid_map, features.max_block};
  std::memcpy(&how.rate_bits, &rate, sizeof rate);
  kept_t& made = host_for(how, rate, features);
  lv2_host_t& host = *made.host;
  // Only a positive, finite rate makes an instance.
  FUZZ_CHECK(host.ok() == (rate > 0 && std::isfinite(rate)), "rate %g: instance %d", rate,
             host.ok());
  if (!host.ok()) return 0;
  for (int c = 0; c < host.channels(); ++c)
    for (int i = 0; i < BUFFER; ++i) host.in[c][i] = 0.8f * std::sin(0.03f * i * (c + 1));
  host.activate();
  const engine_t& e = plug_of(host.handle())->Engine();
  const int sizes[3] = {e.kernel_size, e.fft_size, e.hop_size};
  if (!made.sizes[0]) std::copy(sizes, sizes + 3, made.sizes);
  made.longest = std::max(made.longest, e.fft_size);
  FUZZ_CHECK(std::equal(sizes, sizes + 3, made.sizes),
             "activated at K %d N %d hop %d, new at %d %d %d", sizes[0], sizes[1], sizes[2],
             made.sizes[0], made.sizes[1], made.sizes[2]);
  int frames_left = MAX_FRAMES_PER_RUN;
  long points_left = FUZZ_POINTS_PER_INPUT;
  for (int event = 0; event < MAX_EVENTS && !in.empty(); ++event) {
    switch (in.u8() % 8) {
      case 0:
      case 1: host.control[in.u8() % lv2_host_t::PARAMS] = any_float(in); break;
      case 2: {  // saved state of any size and type, or none at all
        const uint8_t how = in.u8();
        std::vector<lv2_host_t::stored_t> entries;
        if (how % 4) {
          std::vector<uint8_t> bytes(in.u16() % 600);
          for (uint8_t& b : bytes) b = in.u8();
          entries.push_back(host.chunk_entry(bytes));
          if (how % 4 == 3) entries.back().type = host.uris.map(LV2_ATOM__Float);
        }
        host.restore(entries);
        break;
      }
      case 3: {
        std::vector<lv2_host_t::stored_t> saved;
        const LV2_State_Status status = host.save(&saved);
        FUZZ_CHECK(features.urid_map ? status == LV2_STATE_SUCCESS && saved.size() == 1 &&
                                           saved[0].bytes.size() == 8 * lv2_host_t::PARAMS
                                     : status != LV2_STATE_SUCCESS,
                   "save: status %d, %zu entries", status, saved.size());
        break;
      }
      case 4:
        host.deactivate();
        host.activate();
        break;
      case 5: {  // a control port disconnected, or connected again
        const uint32_t port = in.u8() % lv2_host_t::PARAMS;
        host.connect(port, in.u8() & 1 ? nullptr : &host.control[port]);
        break;
      }
      default: {  // a run of any length the buffers hold, beyond the maximum block too
        const uint32_t frames =
            fuzz_affordable_frames(plug_of(host.handle()), &points_left, std::min<int>(in.u16() % (BUFFER + 1), frames_left));
        frames_left -= frames;
        host.run(frames);
        check_run(host, frames);
        made.longest = std::max(made.longest, e.fft_size);
        break;
      }
    }
  }
  host.deactivate();
  return 0;
}
