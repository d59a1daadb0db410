// The thread stress of one instance, for ThreadSanitizer (make tsan): the host's audio thread
// through the processing frame, a host thread changing band parameters as an adapter's
// parameter procedure does, the limiter light's fade, and the editor's main thread drawing
// frames while it turns the zoom knobs (curve-only redesigns that race the audio path's
// designs) and drags band points. Each thread is a function object of the harness.
//   stress_threads [--seconds S]
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "editor/frame.h"
#include "engine/bands.h"
#include "engine/inst.h"
#include "engine/params.h"
#include "harness.h"
#include "preview.h"
#include "toolkit/util/mutex.h"

namespace {

enum { BLOCK = 128, LOUD_CALLS = 24 };

struct shared_t {
  PreviewPlug plug;
  inst_t* inst;
  stress_run_t* run;
  // Odd while the audio path may raise the limiter light: from the first loud call until its
  // output has drained from the engine.
  std::atomic<uint32_t> loud_window{0};
};

// The audio thread: bursts of a loud sine (over the limiter's threshold, which no other thread
// changes) between silences long enough for the output to drain.
struct audio_t {
  shared_t* s;
  std::vector<double> buf[4];
  double* in[2];
  double* out[2];
  long call = 0, quiet_samples = 0, drain = 0;
  double phase = 0;
  std::chrono::steady_clock::time_point next = std::chrono::steady_clock::now();

  explicit audio_t(shared_t* sh) : s(sh) {
    for (auto& b : buf) b.assign(BLOCK, 0.0);
    in[0] = buf[0].data(), in[1] = buf[1].data(), out[0] = buf[2].data(), out[1] = buf[3].data();
    const engine_t& e = s->plug->Engine();
    drain = 2L * (e.hop_size + e.fft_size);
  }
  long operator()() {
    // Twice as fast as the audio would play, so that the editor's thread gets its share.
    next += std::chrono::microseconds(BLOCK * 1000000 / 44100 / 2);
    std::this_thread::sleep_until(next);
    const bool loud = call++ % 400 < LOUD_CALLS;
    if (loud && !(s->loud_window & 1)) ++s->loud_window;
    for (int i = 0; i < BLOCK; ++i) {
      in[0][i] = in[1][i] = loud ? 0.9 * std::sin(phase) : 0.0;
      phase += 0.05;
    }
    Quillmar* p = s->plug.get();
    p->AttachInputBuffers(0, 2, in, BLOCK);
    p->AttachOutputBuffers(0, 2, out);
    p->ProcessBuffers(0.0, BLOCK);
    quiet_samples = loud ? 0 : quiet_samples + BLOCK;
    if ((s->loud_window & 1) && quiet_samples > drain) ++s->loud_window;
    return 1;
  }
};

// The host thread: random band, Transpose, Overall Gain and Gain Scale values, each set under
// the plug-in's lock and followed by OnParamChange.
struct host_t {
  shared_t* s;
  std::mt19937 rng{2};
  long operator()() {
    const int index = std::uniform_int_distribution<int>(0, PARAM_GAIN_SCALE)(rng);
    const double v = std::uniform_real_distribution<double>(0, 1)(rng);
    Quillmar* p = s->plug.get();
    {
      FW_MutexLock lock(p->GetMutex());
      p->GetParam(index)->SetNormalized(v);
      p->OnParamChange(index);
    }
    std::this_thread::sleep_for(std::chrono::microseconds(300));
    return 1;
  }
};

// The editor's main thread: a frame, with now and then the zoom knobs turned or a band point
// dragged, as the mouse makes them.
struct editor_t {
  shared_t* s;
  std::mt19937 rng{3};
  long frame = 0;

  double uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); }

  void zoom() {
    s->plug->SetParameterFromGUI(PARAM_HOR_ZOOM, uniform(0, 1));
    s->plug->SetParameterFromGUI(PARAM_HOR_POSITION, uniform(0, 1));
  }
  // The band records are the curve's: written under lock_curve.
  void drag() {
    inst_t* inst = s->inst;
    const int b = static_cast<int>(uniform(0, BAND_COUNT));
    mutex_to_1(inst->lock_curve);
    inst->bands[b].gain = uniform(-30, 30);
    inst->bands[b].freq = std::exp(uniform(std::log(20.0), std::log(20000.0)));
    mutex_to_0(inst->lock_curve);
    inst->bands_from_editor = 1;
    inst->bands_dirty = 1;
  }
  long operator()() {
    if (frame % 3 == 0) zoom();
    if (frame % 5 == 1) drag();
    draw_frame(s->inst);
    ++frame;
    // A timer leaves time between frames: a re-sizing waits for lock_buffers, held by a frame.
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return 1;
  }
};

// The limiter light's fade, which the editor's frame makes by 0.9 a frame: here on a thread of
// its own and far more often, so that a write-back from the audio path has many chances to show.
// Outside a loud window the audio path must never bring back a level already lowered. (This
// must stay the only thread that lowers it, or two fades could undo each other.)
struct light_t {
  shared_t* s;
  double stored = 0;
  uint32_t window_at_store = 1;
  long operator()() {
    inst_t* inst = s->inst;
    const double v = inst->limiter_over.load();
    const uint32_t window = s->loud_window.load();
    if (window == window_at_store && !(window & 1) && v > stored) ++s->run->failures;
    double next = std::min(v, 1.0) * 0.99;
    if (next < 1e-6) next = 0;
    window_at_store = s->loud_window.load();
    inst->limiter_over.store(next);
    stored = next;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
    return 1;
  }
};

}  // namespace

int main(int argc, char** argv) {
  double seconds = 5;
  for (int i = 1; i + 1 < argc; ++i)
    if (!std::strcmp(argv[i], "--seconds")) seconds = std::atof(argv[i + 1]);
  preview_scratch_config();
  stress_run_t run;
  shared_t s;
  s.plug = preview_make(0);
  if (!s.plug) return 2;
  s.inst = s.plug->Inst();
  s.run = &run;
  preview_set(s.plug.get(), "Limiter", -6);
  audio_t audio(&s);
  host_t host{&s};
  light_t light{&s};
  editor_t editor{&s};
  run.threads = {{"audio", std::ref(audio)},
                 {"host", std::ref(host)},
                 {"light", std::ref(light)},
                 {"editor", std::ref(editor)}};
  return run.run(seconds);
}
