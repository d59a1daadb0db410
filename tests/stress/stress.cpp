// The thread stress, for ThreadSanitizer (make tsan): two instances side by side. The host's
// audio thread runs both through the processing frame, stopping its transport now and then; a
// host thread automates their band parameters as an adapter's parameter procedure does; the
// host's main thread changes their sample rate and resets them; a thread watches the limiter
// lights; the editor's thread plays both editors through the headless graphics context as a
// user does (points and slope handles dragged, knobs turned, the wheel zooming: curve-only
// redesigns that race the audio path's designs, and, while the transport is stopped, the
// editor's own redesigns) and saves and restores their state and changes their block size; and
// a loader thread keeps making and closing a third instance (the instance table, the
// process-wide fonts, skin and tables). Each thread is a function object of the harness, whose
// watchdog fails the run when a thread stops making progress (a deadlock).
//   stress_threads [--seconds S]
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <random>
#include <vector>

#include "editor/controls.h"
#include "engine/bands.h"
#include "engine/engine.h"
#include "engine/inst.h"
#include "engine/params.h"
#include "framework/IControl.h"
#include "framework/IGraphics.h"
#include "harness.h"
#include "preview.h"
#include "toolkit/util/mutex.h"

namespace {

// The transport stops after PLAYING_CALLS calls until the editor has drawn STOPPED_FRAMES
// frames: more than the 16 after which it serves band edits itself.
enum { INSTANCES = 2, MAX_BLOCK = 512, LOUD_CALLS = 24, PLAYING_CALLS = 1500, STOPPED_FRAMES = 24 };
constexpr double kRates[] = {44100, 48000, 96000};

struct shared_t {
  PreviewPlug plug;
  inst_t* inst;
  stress_run_t* run;
  // Odd while the audio path may raise the limiter light: from the first loud call until its
  // output has drained from the engine.
  std::atomic<uint32_t> loud_window{0};
};

// The host's transport. A host renders under it and changes the block size (which resizes the
// frame's buffers) only between renders, as an Audio Unit host sets MaximumFramesPerSlice only
// while the unit is not rendering.
struct transport_t {
  std::mutex lock;
  int block = 128;
  std::atomic<long> editor_frames{0};
};

// The audio thread: both instances, in calls of changing length, with bursts of a loud sine
// (over the limiter's threshold, which no other thread changes) between silences long enough
// for the output to drain.
struct audio_t {
  shared_t* s;
  transport_t* t;
  std::vector<double> buf[4];
  double* in[2];
  double* out[2];
  long call = 0, quiet_samples = 0;
  long stopped_until = -1;  // the editor frame the stopped transport waits for, -1 playing
  double phase = 0;
  std::chrono::steady_clock::time_point next = std::chrono::steady_clock::now();

  audio_t(shared_t* sh, transport_t* tr) : s(sh), t(tr) {
    for (auto& b : buf) b.assign(MAX_BLOCK, 0.0);
    in[0] = buf[0].data(), in[1] = buf[1].data(), out[0] = buf[2].data(), out[1] = buf[3].data();
  }
  long operator()() {
    // Stopped, the thread only waits (each wait a step, so the watchdog sees it alive).
    if (stopped_until < 0 && call % PLAYING_CALLS == PLAYING_CALLS - 1) stopped_until = t->editor_frames + STOPPED_FRAMES;
    if (stopped_until >= 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      if (t->editor_frames < stopped_until) return 1;
      stopped_until = -1;
      next = std::chrono::steady_clock::now();
    }
    std::lock_guard<std::mutex> rendering(t->lock);
    const int n = 1 + static_cast<int>(call * 37 % t->block);
    // Twice as fast as the audio would play, so that the editor's thread gets its share.
    next += std::chrono::microseconds(n * 1000000 / 44100 / 2);
    std::this_thread::sleep_until(next);
    const bool loud = call++ % 400 < LOUD_CALLS;
    for (int i = 0; i < n; ++i) {
      in[0][i] = in[1][i] = loud ? 0.9 * std::sin(phase) : 0.0;
      phase += 0.05;
    }
    quiet_samples = loud ? 0 : quiet_samples + n;
    for (int k = 0; k < INSTANCES; ++k) {
      shared_t& sk = s[k];
      if (loud && !(sk.loud_window & 1)) ++sk.loud_window;
      Quillmar* p = sk.plug.get();
      p->AttachInputBuffers(0, 2, in, n);
      p->AttachOutputBuffers(0, 2, out);
      p->ProcessBuffers(0.0, n);
      // Drained once twice the longest way through the engine is quiet. Its sizes follow the
      // rate, Resolution and Input Buffer Size that other threads change: read as the audio
      // path reads them, under lock_process.
      const engine_t& e = p->Engine();
      mutex_to_1(sk.inst->lock_process);
      const long drain = 2L * (e.hop_size + e.fft_size);
      mutex_to_0(sk.inst->lock_process);
      if ((sk.loud_window & 1) && quiet_samples > drain) ++sk.loud_window;
    }
    return 1;
  }
};

// The host thread: random band, Transpose, Overall Gain and Gain Scale values for either
// instance, each set under the plug-in's lock and followed by OnParamChange.
struct host_t {
  shared_t* s;
  std::mt19937 rng{2};
  long operator()() {
    const int index = std::uniform_int_distribution<int>(0, PARAM_GAIN_SCALE)(rng);
    const double v = std::uniform_real_distribution<double>(0, 1)(rng);
    Quillmar* p = s[rng() % INSTANCES].plug.get();
    {
      FW_MutexLock lock(p->GetMutex());
      p->GetParam(index)->SetNormalized(v);
      p->OnParamChange(index);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return 1;
  }
};

// The host's main thread, apart from the editor's (as an LV2 host may run its UI): a new sample
// rate, set under the plug-in's lock, and a Reset, which takes that lock and then the engine's
// locks.
struct host_main_t {
  shared_t* s;
  std::mt19937 rng{4};
  long operator()() {
    Quillmar* p = s[rng() % INSTANCES].plug.get();
    {
      FW_MutexLock lock(p->GetMutex());
      p->SetSampleRate(kRates[rng() % 3]);
    }
    p->Reset();
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
    return 1;
  }
};

// The editor's thread: each editor's frame through its graphics context, with now and then a
// user's gesture through the platform calls (the wheel, a band's point or slope handle dragged,
// a knob turned), and, as the host, state saved and restored and a new block size.
struct editor_t {
  shared_t* s;
  transport_t* t;
  std::mt19937 rng{3};
  long frame = 0, gestures = 0, ms = 0;

  int uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }

  void drag(IGraphics* g, int x0, int y0, int dx, int dy, IMouseMod m = IMouseMod(true)) {
    g->PlatformMouseDown(x0, y0, m, ms += 1000);  // far apart: never a double-click
    for (int k = 1; k <= 3; ++k) g->PlatformMouseMove(x0 + dx * k / 3, y0 + dy * k / 3, m, true);
    g->PlatformMouseUp(x0 + dx, y0 + dy, m);
  }
  void gesture(shared_t& sk) {
    inst_t* inst = sk.inst;
    IGraphics* g = sk.plug->GetGUI();
    switch (gestures++ % 4) {
      case 0:
        g->PlatformMouseWheel(inst->area_x + uniform(0, inst->area_w - 1), inst->area_y + 20,
                              IMouseMod(), uniform(0, 1) ? 1 : -1);
        break;
      case 1: {  // a point or a slope handle where the last frame drew it
        const eqband_t& b = inst->bands[uniform(0, BAND_COUNT - 1)];
        const bool point = uniform(0, 2) != 0;
        drag(g, static_cast<int>(point ? b.point_px : b.right_px),
             static_cast<int>(point ? b.point_py : b.right_py), uniform(-40, 40), uniform(-40, 40));
        break;
      }
      default: {  // any knob but the Limiter's, whose threshold the light's check relies on
        int slot = uniform(CTRL_BAND_GAIN, CTRL_HOR_POSITION);
        if (slot == CTRL_LIMITER) slot = CTRL_OVERALL_GAIN;
        const IRECT r = g->GetControl(slot)->GetRECT();
        drag(g, r.MW(), r.MH(), 0, uniform(-30, 30));
        break;
      }
    }
  }
  // Restores the instance's own state with one band moved (the Limiter kept).
  void restore(shared_t& sk) {
    Quillmar* p = sk.plug.get();
    ByteChunk chunk;
    p->SerializeState(&chunk);
    const double gain = uniform(-30, 30);
    std::memcpy(chunk.GetBytes() + 8 * (PARAM_BAND_GAIN + uniform(0, 3)), &gain, sizeof gain);
    p->UnserializeState(&chunk, 0);
  }
  long operator()() {
    for (int k = 0; k < INSTANCES; ++k) {
      shared_t& sk = s[k];
      if (frame % 2 == 0) gesture(sk);
      if (frame % 10 == 2) restore(sk);
      IRECT r;
      IGraphics* g = sk.plug->GetGUI();
      if (g->IsDirty(&r)) g->Draw(&r);
    }
    if (frame % 11 == 5) {
      std::lock_guard<std::mutex> stopped(t->lock);
      t->block = 1 << uniform(5, 9);
      for (int k = 0; k < INSTANCES; ++k) {
        s[k].plug->SetBlockSize(t->block);
        s[k].plug->Reset();
      }
    }
    ++frame;
    ++t->editor_frames;
    // A timer leaves time between frames: a re-sizing waits for lock_buffers, held by a frame.
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return 1;
  }
};

// A host loading and closing a third instance on a worker thread while the others run: the
// instance table and the process-wide resources that construction creates and reads.
struct loader_t {
  long operator()() {
    PreviewPlug p(MakePlug());
    if (!p) return 0;
    IRECT r;
    IGraphics* g = p->GetGUI();
    if (g->IsDirty(&r)) g->Draw(&r);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return 1;
  }
};

// The limiter lights, watched. Only the editor's frames lower a light (by its fade); the audio
// path only ever raises it, and outside a loud window (its output drained) never: so while a
// window stays closed, a light that rises means the audio path wrote back an old level.
struct light_t {
  shared_t* s;
  double seen[INSTANCES] = {};
  uint32_t window_seen[INSTANCES] = {1, 1};
  long operator()() {
    for (int k = 0; k < INSTANCES; ++k) {
      const uint32_t window = s[k].loud_window.load();
      const double v = s[k].inst->limiter_over.load();
      if (window == window_seen[k] && !(window & 1) && v > seen[k]) ++s[k].run->failures;
      window_seen[k] = s[k].loud_window.load();
      seen[k] = v;
    }
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
  transport_t transport;
  shared_t s[INSTANCES];
  for (shared_t& sk : s) {
    sk.plug = preview_make(0);
    if (!sk.plug) return 2;
    sk.plug->SetBlockSize(transport.block);
    sk.inst = sk.plug->Inst();
    sk.run = &run;
    preview_set(sk.plug.get(), "Limiter", -6);
  }
  audio_t audio(s, &transport);
  host_t host{s};
  host_main_t host_main{s};
  light_t light{s};
  loader_t loader;
  editor_t editor{s, &transport};
  run.threads = {{"audio", std::ref(audio)},
                 {"host", std::ref(host)},
                 {"hostmain", std::ref(host_main)},
                 {"light", std::ref(light)},
                 {"loader", std::ref(loader)},
                 {"editor", std::ref(editor)}};
  const int status = run.run(seconds);
  // What reached the plug-ins through the editors: gestures told to the host, and band edits
  // the audio path wrote back into the parameters.
  for (shared_t& sk : s)
    std::printf("instance %d: %zu host gestures, %d band write-backs\n", sk.plug->InstanceNumber(),
                sk.plug->HostEvents().size(), sk.plug->ProgramChanges());
  return status;
}
