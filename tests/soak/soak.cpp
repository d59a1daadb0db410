// The soak (make soak): one process, four instances, for a long time. The host's audio thread
// runs every instance at real-time pace with host calls of random length, and now and then
// stops one to give it a new sample rate, block size and channel count; the main thread
// automates all 29 parameters at random and draws every editor at 60 frames per second
// through the headless graphics context. Checked all the while:
//   - every output sample is finite, and within the Limiter's threshold while it is on
//     (within what the kernel can give a full-scale input while it is off);
//   - the resident memory stops growing after the first minute;
//   - the audio path allocates nothing;
//   - after every change of the engine's sizes, an impulse comes out exactly the reported
//     latency later.
//   soak [--seconds S] [--seed N]
#include <atomic>
#include <cstdarg>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "engine/engine.h"
#include "engine/inst.h"
#include "engine/levels.h"
#include "engine/params.h"
#include "framework/headless/IGraphicsHeadless.h"
#include "plugin/Quillmar.h"
#include "preview.h"
#include "support/alloc_counter.h"
#include "support/resident.h"

namespace {

using clock_type = std::chrono::steady_clock;

enum { INSTANCES = 4, FPS = 60, MAX_BLOCK = 4096, SETTLED_S = 60 };
constexpr double kRates[] = {44100, 48000, 88200, 96000};
constexpr int kBlocks[] = {64, 128, 256, 512, 1024, 2048, 4096};
constexpr double RSS_GROWTH_MB = 8;  // allowed after the first minute (allocator slack)

double seconds_since(clock_type::time_point t0) {
  return std::chrono::duration<double>(clock_type::now() - t0).count();
}

// Broken invariants by kind; the first few of each are printed.
struct failures_t {
  std::atomic<long> count[5] = {};
  static constexpr const char* kNames[5] = {"not finite", "over the bound", "allocation",
                                            "latency", "memory growth"};
  void report(int kind, const char* fmt, ...) __attribute__((format(printf, 3, 4))) {
    if (count[kind]++ >= 5) return;
    va_list ap;
    va_start(ap, fmt);
    std::fprintf(stderr, "FAIL (%s): ", kNames[kind]);
    std::vfprintf(stderr, fmt, ap);
    std::fputc('\n', stderr);
    va_end(ap);
  }
  long total() const {
    long n = 0;
    for (const auto& c : count) n += c.load();
    return n;
  }
};

// A test signal that changes character every fraction of a second: noise and sines at any
// level, full-scale squares, loud bursts over full scale, silence.
struct signal_t {
  std::mt19937 rng;
  int kind = 0;
  long left = 0;
  double level = 0.1, phase = 0, step = 0.05;
  explicit signal_t(unsigned seed) : rng(seed) {}
  double uniform(double a, double b) { return std::uniform_real_distribution<double>(a, b)(rng); }
  float next(double rate) {
    if (left-- <= 0) {
      kind = std::uniform_int_distribution<int>(0, 4)(rng);
      left = static_cast<long>(uniform(0.05, 2.0) * rate);
      level = std::pow(10.0, uniform(-60, 0) / 20);
      step = 2 * M_PI * std::exp(uniform(std::log(20.0), std::log(20000.0))) / rate;
    }
    phase = std::fmod(phase + step, 2 * M_PI);
    switch (kind) {
      case 0: return static_cast<float>(level * uniform(-1, 1));
      case 1: return static_cast<float>(level * std::sin(phase));
      case 2: return phase < M_PI ? 1.0f : -1.0f;
      case 3: return static_cast<float>(uniform(-1.5, 1.5));
      default: return 0.0f;
    }
  }
};

struct plug_deleter_t {
  void operator()(Quillmar* p) const { delete p; }
};

struct sizes_t {
  int k = 0, n = 0, hop = 0;
  bool operator!=(const sizes_t& o) const { return k != o.k || n != o.n || hop != o.hop; }
};

// One instance as its host sees it.
struct instance_t {
  std::unique_ptr<Quillmar, plug_deleter_t> plug;
  std::mt19937 rng;
  signal_t signal;
  double rate = 44100;
  int block = 512, channels = 2;
  clock_type::time_point start;  // of the current stream, for pacing
  long long fed = 0;             // samples of the current stream
  sizes_t sizes;
  // The host pauses its automation of an instance while it measures the latency.
  std::atomic<int> probing{0}, changing{0};
  // The highest Limiter setting the automation made since the last host call began.
  std::atomic<double> limiter_high{-1000};
  bool warmed = false;
  long calls = 0, probes = 0, unmeasurable = 0, reconfigures = 0;
  std::vector<float> fin[2], fout[2];
  std::vector<double> din[2], dout[2];

  explicit instance_t(unsigned seed) : rng(seed), signal(seed + 1000) {
    for (int c = 0; c < 2; ++c) {
      fin[c].resize(MAX_BLOCK);
      fout[c].resize(MAX_BLOCK);
      din[c].resize(MAX_BLOCK);
      dout[c].resize(MAX_BLOCK);
    }
  }
  sizes_t engine_sizes() const {
    const engine_t& e = plug->Engine();
    return {e.kernel_size, e.fft_size, e.hop_size};
  }
  double limiter() const { return plug->GetParam(PARAM_LIMITER)->Value(); }
};

void raise(std::atomic<double>& a, double v) {
  double seen = a.load();
  while (v > seen && !a.compare_exchange_weak(seen, v)) {
  }
}

// The host's parameter procedure: the value stored, clamped, under the plug-in's lock.
void host_set(Quillmar* plug, int index, double value) {
  FW_MutexLock lock(plug->GetMutex());
  plug->GetParam(index)->Set(value);
  plug->OnParamChange(index);
}

struct soak_t {
  instance_t* inst[INSTANCES];
  failures_t fail;
  std::atomic<bool> stop{false};
  clock_type::time_point t0 = clock_type::now();
  std::atomic<long> param_changes{0}, editor_frames{0}, late_frames{0};

  // ---- the audio thread ----

  // One host call through the 32-bit float frame, checked.
  void call(instance_t& h, int n) {
    Quillmar* p = h.plug.get();
    for (int i = 0; i < n; ++i) {
      const float x = h.signal.next(h.rate);
      h.fin[0][i] = x;
      h.fin[1][i] = h.channels == 2 ? -x : 0.0f;
    }
    float* in[2] = {h.fin[0].data(), h.fin[1].data()};
    float* out[2] = {h.fout[0].data(), h.fout[1].data()};
    h.limiter_high = h.limiter();
    const size_t allocs = alloc_count_this_thread();
    p->AttachInputBuffers(0, h.channels, in, n);
    p->AttachOutputBuffers(0, h.channels, out);
    p->ProcessBuffers(0.0f, n);
    if (alloc_count_this_thread() != allocs)
      fail.report(2, "instance %d: %zu allocations in a call of %d frames", p->InstanceNumber(),
                  alloc_count_this_thread() - allocs, n);
    const double db = std::max(h.limiter_high.load(), h.limiter());
    // The limiter brings every sample to its threshold at most; off, a full-scale input
    // gives at most the kernel's largest gain (60 dB) times its spread.
    const double bound = db < 59.99 ? realdb_to_vol(db) * (1 + 1e-6)
                                     : 1.5 * 1000.0 * std::sqrt(double(p->Engine().kernel_size));
    for (int c = 0; c < h.channels; ++c)
      for (int i = 0; i < n; ++i) {
        const float y = out[c][i];
        if (!std::isfinite(y))
          fail.report(0, "instance %d: output %d[%d] = %g", p->InstanceNumber(), c, i, y);
        else if (std::fabs(y) > bound)
          fail.report(1, "instance %d: |%g| > %g (Limiter %g dB)", p->InstanceNumber(), y,
                      bound, db);
      }
    h.fed += n;
    ++h.calls;
  }

  // Runs the instance on double buffers (precise): input x at its first sample, zeros after.
  void feed_double(instance_t& h, long long total, std::vector<double>* out, double first) {
    Quillmar* p = h.plug.get();
    for (long long done = 0; done < total;) {
      const int hop = p->Engine().hop_size;
      const int n = static_cast<int>(std::min<long long>(
          {total - done, std::uniform_int_distribution<long long>(1, h.block)(h.rng), hop}));
      for (int c = 0; c < 2; ++c) std::fill(h.din[c].begin(), h.din[c].begin() + n, 0.0);
      if (done == 0) h.din[0][0] = h.din[1][0] = first;
      double* in[2] = {h.din[0].data(), h.din[1].data()};
      double* o[2] = {h.dout[0].data(), h.dout[1].data()};
      p->AttachInputBuffers(0, h.channels, in, n);
      p->AttachOutputBuffers(0, h.channels, o);
      p->ProcessBuffers(0.0, n);
      if (out) out->insert(out->end(), h.dout[0].begin(), h.dout[0].begin() + n);
      done += n;
      h.fed += n;
    }
  }

  // The latency check: with automation paused and the limiter off, the stream is flushed,
  // then an impulse goes in; the kernel's centre tap (its largest) must come out exactly the
  // reported latency later.
  void probe(instance_t& h) {
    Quillmar* p = h.plug.get();
    h.probing = 1;
    while (h.changing) std::this_thread::yield();
    const double limit = h.limiter();
    host_set(p, PARAM_LIMITER, 60);
    for (int attempt = 0; attempt < 3; ++attempt) {
      const sizes_t s = h.engine_sizes();
      feed_double(h, 2LL * (s.n + s.hop), nullptr, 0.0);
      if (h.engine_sizes() != s) continue;
      std::vector<double> y;
      const int latency = p->GetLatency();
      feed_double(h, latency + s.k + s.hop, &y, 1.0);
      if (h.engine_sizes() != s) continue;
      size_t peak = 0;
      for (size_t i = 0; i < y.size(); ++i)
        if (std::fabs(y[i]) > std::fabs(y[peak])) peak = i;
      ++h.probes;
      if (!(std::fabs(y[peak]) > 1e-12))
        ++h.unmeasurable;  // a curve that silences everything
      else if (int(peak) != latency)
        fail.report(3, "instance %d at %g Hz, K %d, N %d, hop %d: impulse after %zu samples, "
                    "latency reported %d", p->InstanceNumber(), h.rate, s.k, s.n, s.hop, peak,
                    latency);
      break;
    }
    host_set(p, PARAM_LIMITER, limit);
    h.sizes = h.engine_sizes();
    h.probing = 0;
  }

  // The host stops the instance, sets a new rate, block size and channels, and restarts it.
  void reconfigure(instance_t& h, double rate, int block, int channels = 0) {
    Quillmar* p = h.plug.get();
    h.rate = rate;
    h.block = block;
    h.channels = channels ? channels : std::uniform_int_distribution<int>(1, 2)(h.rng);
    p->SetSampleRate(rate);
    p->SetBlockSize(block);
    p->Reset();
    // One of the legal configurations: 1-1 or 2-2.
    p->SetInputChannelConnections(0, h.channels, true);
    p->SetInputChannelConnections(h.channels, 2 - h.channels, false);
    p->SetOutputChannelConnections(0, h.channels, true);
    p->SetOutputChannelConnections(h.channels, 2 - h.channels, false);
    h.start = clock_type::now();
    h.fed = 0;
    ++h.reconfigures;
  }

  // Once per instance in the first minute: the largest sizes the soak ever asks for, run
  // through (the latency check's flush touches every buffer to its extent), so that what the
  // memory check sees later is no new high-water mark but growth.
  void warm_up(instance_t& h) {
    h.probing = 1;
    while (h.changing) std::this_thread::yield();
    reconfigure(h, 96000, MAX_BLOCK, 2);
    host_set(h.plug.get(), PARAM_RESOLUTION, 16);
    host_set(h.plug.get(), PARAM_INPUT_BUFFER_SIZE, 6);
    call(h, MAX_BLOCK);
    probe(h);
  }

  void audio_thread() {
    for (instance_t* h : inst) {
      reconfigure(*h, 44100, 512, 2);
      probe(*h);
    }
    std::mt19937 rng(7);
    while (!stop) {
      const double now = seconds_since(t0);
      for (int i = 0; i < INSTANCES; ++i) {
        instance_t& h = *inst[i];
        // During the warm-up each instance goes once through the largest sizes.
        if (!h.warmed && now > 5 + 8 * i) {  // before the first minute ends
          h.warmed = true;
          warm_up(h);
        } else if (std::uniform_real_distribution<double>(0, 1)(rng) < 2e-4) {
          reconfigure(h, kRates[rng() % 4], kBlocks[rng() % 7]);
        }
        // Real-time pace: the stream keeps up with the wall clock.
        const long long due = static_cast<long long>(seconds_since(h.start) * h.rate);
        while (h.fed < due && !stop) {
          const int pick = std::uniform_int_distribution<int>(0, 3)(h.rng);
          const int n = pick == 0 ? h.block
                        : pick == 1 ? std::uniform_int_distribution<int>(1, 32)(h.rng)
                                    : std::uniform_int_distribution<int>(1, h.block)(h.rng);
          call(h, n);
          if (h.engine_sizes() != h.sizes) probe(h);
        }
        if (h.engine_sizes() != h.sizes) probe(h);  // a Reset re-sized it
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }

  // ---- the main thread: automation and editor frames ----

  // A change as the host's automation makes it, unless the instance is being measured.
  void change(instance_t& h, int index, double normalized) {
    Quillmar* p = h.plug.get();
    h.changing = 1;
    if (!h.probing) {
      FW_MutexLock lock(p->GetMutex());
      p->GetParam(index)->SetNormalized(normalized);
      if (index == PARAM_LIMITER) raise(h.limiter_high, p->GetParam(index)->Value());
      p->OnParamChange(index);
      ++param_changes;
    }
    h.changing = 0;
  }

  void automate(instance_t& h, std::mt19937& rng) {
    // Sizes change every few seconds; everything else many times a second.
    const int index = std::uniform_int_distribution<int>(0, PARAM_COUNT - 1)(rng);
    const bool sizes = index == PARAM_RESOLUTION || index == PARAM_INPUT_BUFFER_SIZE;
    if (sizes && std::uniform_int_distribution<int>(0, 9)(rng) != 0) return;
    double v = std::uniform_real_distribution<double>(0, 1)(rng);
    if (index == PARAM_LIMITER && v > 0.9) v = 1.0;  // off now and then
    change(h, index, v);
  }

  int main_thread(double seconds) {
    std::mt19937 rng(11);
    const auto frame = std::chrono::microseconds(1000000 / FPS);
    auto next = clock_type::now();
    double rss_settled = 0, rss_max_after = 0;
    int last_report = 0, last_sample = -1;
    while (seconds_since(t0) < seconds) {
      const double now = seconds_since(t0);
      for (int i = 0; i < INSTANCES; ++i) {
        instance_t& h = *inst[i];
        if (std::uniform_real_distribution<double>(0, 1)(rng) < 0.3) automate(h, rng);
        static_cast<IGraphicsHeadless*>(h.plug->GetGUI())->Tick();
        ++editor_frames;
      }
      if (static_cast<int>(now) != last_sample) {  // the resident memory once a second
        last_sample = static_cast<int>(now);
        const double rss = resident_mb();
        if (now >= SETTLED_S && rss_settled == 0) rss_settled = rss;
        if (rss_settled > 0) rss_max_after = std::max(rss_max_after, rss);
      }
      if (now >= last_report + 60 || now + 1.0 / FPS >= seconds) {
        last_report = static_cast<int>(now);
        const double rss = resident_mb();
        long calls = 0, probes = 0;
        for (instance_t* h : inst) calls += h->calls, probes += h->probes;
        std::printf("%6.0f s  resident %.1f MB  host calls %ld  latency probes %ld  parameter "
                    "changes %ld  editor frames %ld (late %ld)  failures %ld\n",
                    now, rss, calls, probes, param_changes.load(), editor_frames.load(),
                    late_frames.load(), fail.total());
        std::fflush(stdout);
      }
      next += frame;
      if (clock_type::now() > next) {
        ++late_frames;
        next = clock_type::now();
      }
      std::this_thread::sleep_until(next);
    }
    if (rss_settled > 0 && rss_max_after > rss_settled + RSS_GROWTH_MB)
      fail.report(4, "resident %.1f MB after the first minute, %.1f MB at most later",
                  rss_settled, rss_max_after);
    return 0;
  }
};

}  // namespace

int main(int argc, char** argv) {
  double seconds = 600;
  unsigned seed = 1;
  for (int i = 1; i + 1 < argc; ++i) {
    if (!std::strcmp(argv[i], "--seconds")) seconds = std::atof(argv[i + 1]);
    if (!std::strcmp(argv[i], "--seed")) seed = static_cast<unsigned>(std::atoi(argv[i + 1]));
  }
  preview_scratch_config();
  std::vector<std::unique_ptr<instance_t>> owned;
  soak_t soak;
  for (int i = 0; i < INSTANCES; ++i) {
    owned.emplace_back(new instance_t(seed * 100 + i));
    owned.back()->plug.reset(MakePlug());
    if (!owned.back()->plug) return 2;
    soak.inst[i] = owned.back().get();
  }
  std::thread audio([&] { soak.audio_thread(); });
  soak.main_thread(seconds);
  soak.stop = true;
  audio.join();
  long calls = 0, probes = 0, unmeasurable = 0, reconfigures = 0;
  for (instance_t* h : soak.inst) {
    calls += h->calls;
    probes += h->probes;
    unmeasurable += h->unmeasurable;
    reconfigures += h->reconfigures;
  }
  std::printf("soak: %.0f s, %d instances, %ld host calls, %ld reconfigurations, %ld latency "
              "probes (%ld of silenced curves), %ld parameter changes, %ld editor frames\n",
              seconds, INSTANCES, calls, reconfigures, probes, unmeasurable,
              soak.param_changes.load(), soak.editor_frames.load());
  for (int k = 0; k < 5; ++k)
    std::printf("  %-15s %ld\n", failures_t::kNames[k], soak.fail.count[k].load());
  return soak.fail.total() ? 1 : 0;
}
