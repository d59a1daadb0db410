#include "engine/design.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>

#include "engine/bands.h"
#include "engine/conv_math.h"
#include "engine/fft.h"
#include "engine/inst.h"
#include "engine/levels.h"
#include "toolkit/util/memory.h"
#include "toolkit/util/mutex.h"

int kernel_size_calc(int samplerate, double resolution) {
  // 64-bit, so that very high sample rates cannot overflow the product.
  const int64_t k0 = static_cast<int64_t>(samplerate) * 1025 / 44100;
  double v = std::trunc(static_cast<double>(k0) * resolution + 0.5);
  v = v > 2147483646.0 ? 2147483646.0 : v >= 0.0 ? v : 0.0;  // NaN: 0
  const int k = static_cast<int>(v);
  return (k % 2) ? k : k + 1;
}

void blackman_coefs(double* w, int n) {
  for (int i = 0; i < n; ++i) {
    const double t = (i + 1.0) / (n + 1.0);
    w[i] = 0.42 - 0.5 * std::cos(2.0 * M_PI * t) + 0.08 * std::cos(4.0 * M_PI * t);
  }
}

// The pure delay of K / 2 samples as a unit-magnitude spectrum, into phase.
static void make_phase(design_t* d, double* phase, int kernel_size, int fft_size) {
  const int centre = kernel_size / 2;
  d->kernel[centre] = 1.0;  // mutate: skip constant (any height: the spectrum is divided by its bin 0)
  fftp(d->kernel, phase, fft_size, 0, d->plan);
  std::memset(d->kernel, 0, sizeof(double) * fft_size);  // mutate: skip (a design writes it all)
  const double r = 1.0 / phase[0];  // an impulse's bin 0 is its height over sqrt(N), never 0
  for (int i = 0; i < fft_size; ++i) phase[i] *= r;
}

// What depends on the sizes only, the delay's spectrum and the window, is made once per pair
// for the whole process and shared read-only: a second instance, or a re-sizing back to a pair
// seen before, skips the transform and the cosines. So is a record's first design (an
// instance's at its creation), which every instance made with the same settings at the same
// rate would repeat exactly; any design from the same inputs takes it too. Designs run on
// the audio thread too, so nothing here allocates or waits: a slot and its room in a fixed
// arena are claimed by atomic counters, filled by the claimer alone and published by a
// release store. Two threads that miss the same entry at once each make it (two slots, both
// right). When the slots or the arena are used up, a record makes its own, as if there were no
// table.
namespace {

enum { SHARED_VALUES = 1 << 21 };  // 16 MB: four pairs at the largest sizes
alignas(64) double g_arena[SHARED_VALUES];
std::atomic<size_t> g_values_claimed{0};

// Room in the arena for a values and then b, each from a cache line; nulls when it has run out.
struct room_t {
  double* a;
  double* b;
};
room_t claim_values(size_t a, size_t b) {
  const auto rounded = [](size_t v) { return (v + 7) & ~size_t(7); };
  const size_t need = rounded(a) + rounded(b);
  size_t at = g_values_claimed.load(std::memory_order_relaxed);
  do {
    if (need > SHARED_VALUES - at) return {nullptr, nullptr};
  } while (!g_values_claimed.compare_exchange_weak(at, at + need, std::memory_order_relaxed));
  return {g_arena + at, g_arena + at + rounded(a)};
}

template <class Entry, int SLOTS>
struct shared_table_t {
  Entry slot[SLOTS];
  std::atomic<int32_t> claimed{0};

  template <class Match>
  const Entry* find(Match match) const {
    const int count = std::min<int>(claimed.load(std::memory_order_acquire), SLOTS);
    for (int i = 0; i < count; ++i)
      if (slot[i].ready.load(std::memory_order_acquire) && match(slot[i])) return &slot[i];
    return nullptr;
  }
  // A slot for the claimer to fill and publish, or null when they have run out.
  Entry* claim() {
    if (claimed.load(std::memory_order_relaxed) >= SLOTS) return nullptr;
    const int i = claimed.fetch_add(1, std::memory_order_relaxed);
    return i < SLOTS ? &slot[i] : nullptr;
  }
};

struct shared_sizes_t {
  std::atomic<int32_t> ready;
  int32_t k, n;
  double* phase;   // N values
  double* window;  // K values
};
shared_table_t<shared_sizes_t, 64> g_sizes;

// A first design's inputs (the sizes, the rate, what the spectrum reads of the point list)
// and what it made.
enum { POINT_VALUES = 5 };
struct shared_design_t {
  std::atomic<int32_t> ready;
  int32_t k, n, count;
  double fs;
  double points[SORTED_COUNT * POINT_VALUES];
  double* spectrum;  // N values
  double* kernel;    // K values
};
shared_table_t<shared_design_t, 32> g_designs;

void read_points(const eqband_t* sorted, int count, double* points) {
  for (int i = 0; i < count + 2; ++i, points += POINT_VALUES) {
    const eqband_t& b = sorted[i];
    const double v[POINT_VALUES] = {b.freq, b.pos, b.gain, b.right_y, b.left_y};
    std::copy(v, v + POINT_VALUES, points);
  }
}

}  // namespace

// Points the record at the delay's spectrum and the window for K and N.
static void take_sizes(design_t* d, int kernel_size, int fft_size) {
  d->made_k = kernel_size;
  d->made_n = fft_size;
  const shared_sizes_t* found =
      g_sizes.find([&](const shared_sizes_t& s) { return s.k == kernel_size && s.n == fft_size; });
  if (found) {
    d->phase = found->phase;
    d->window = found->window;
    return;
  }
  const room_t room = claim_values(fft_size, kernel_size);
  shared_sizes_t* s = room.a ? g_sizes.claim() : nullptr;
  double* phase = s ? room.a : d->own_phase;
  double* window = s ? room.b : d->own_window;
  make_phase(d, phase, kernel_size, fft_size);
  blackman_coefs(window, kernel_size);
  if (s) {
    s->k = kernel_size;
    s->n = fft_size;
    s->phase = phase;
    s->window = window;
    s->ready.store(1, std::memory_order_release);
  }
  d->phase = phase;
  d->window = window;
}

void init_design(gc_list_t* owner, design_t* d, int kernel_size, int fft_size) {
  auto buffer = [owner] { return static_cast<double*>(gc_calloc(owner, BUFFER_CAPACITY, sizeof(double))); };
  d->spectrum = buffer();
  d->previous_spectrum = buffer();
  d->kernel = buffer();
  d->plan = fft_plan_init(owner, fft_size);
  d->own_phase = buffer();
  d->own_window = buffer();
  d->extent = fft_size;
  take_sizes(d, kernel_size, fft_size);
}

void free_design(design_t* d, int kernel_size, int fft_size) {
  // Only what earlier sizes touched needs zeroing; the rest was never written.
  // A design rewrites spectrum and kernel over all N values, previous_spectrum is copied before
  // every crossfade, and fftp prepares a plan again for a new size.
  // mutate: off (hygiene that no output shows)
  const size_t used = sizeof(double) * d->extent;
  std::memset(d->spectrum, 0, used);
  std::memset(d->previous_spectrum, 0, used);
  std::memset(d->kernel, 0, used);
  d->extent = std::max(d->extent, fft_size);
  // mutate: on
  // The plan prepares itself for a new size when next used; a re-sizing that keeps the sizes
  // (a host's reactivation, a Reset at the same rate) keeps the delay's spectrum and the window.
  if (d->made_k == kernel_size && d->made_n == fft_size) return;
  take_sizes(d, kernel_size, fft_size);
}

// First bin at or above frequency f, as a bin index limited to [0, limit].
static int bin_ceil(double f, int n, double fs, int limit) {
  const double k = std::ceil(f * n / fs);
  if (!(k > 0.0)) return 0;
  return k >= limit ? limit : static_cast<int>(k);
}

void design_filters(inst_t* inst, design_t* d, eqband_t* bands, eqband_t* sorted,
                    int kernel_size, int fft_size, double* curve_cols, flag_t* curve_new,
                    mutex_t* lock_curve, int width, int* count, int curve_only,
                    double samplerate) {
  const bool first = !d->spectrum;
  if (first) {
    if (curve_only) return;
    init_design(inst->alloc_list, d, kernel_size, fft_size);
  }
  const int n = fft_size;
  const int half = (n + 1) / 2;
  const double fs = samplerate;

  // The sorting runs under the curve lock too, so that a curve-only update on the editor's
  // thread and a full design on the audio thread never interleave their writes (inst.h).
  mutex_to_1(lock_curve);
  sort_eq(bands, sorted, count, 20.0, 20000.0);
  const int c = *count;
  control_points(sorted, c);
  double points[SORTED_COUNT * POINT_VALUES];
  const shared_design_t* made = nullptr;
  if (!curve_only) {
    read_points(sorted, c, points);
    made = g_designs.find([&](const shared_design_t& m) {
      return m.k == kernel_size && m.n == n && m.count == c && m.fs == fs &&
             !std::memcmp(m.points, points, sizeof(double) * POINT_VALUES * (c + 2));
    });
  }
  if (!curve_only && !made) {
    double* spectrum = d->spectrum;
    for (int i = 0; i <= c; ++i) {
      const int k0 = std::max(bin_ceil(sorted[i].freq, n, fs, half), 1);
      const int k1 = bin_ceil(sorted[i + 1].freq, n, fs, half);
      for (int k = k0; k < k1; ++k) {
        const double x = (std::log(k * fs / n) - LN_20) / LN_1000;
        spectrum[k] = level_to_amp(curve_level(sorted, i, x));
      }
    }
  }
  curve_columns(sorted, c, curve_cols, width, inst->view_u_lo, inst->view_u_hi);
  *curve_new = 1;
  // The fills below and above the curve are taken now: once the lock is released, a curve-only
  // update from the editor may rewrite the point list.
  const double start_freq = sorted[0].freq, start_gain = sorted[0].gain;
  const double end_freq = sorted[c + 1].freq, end_gain = sorted[c + 1].gain;
  mutex_to_0(lock_curve);
  if (curve_only) return;
  if (made) {
    std::copy(made->spectrum, made->spectrum + n, d->spectrum);
    std::copy(made->kernel, made->kernel + kernel_size, d->kernel);
    std::fill(d->kernel + kernel_size, d->kernel + n, 0.0);
    return;
  }

  double* spectrum = d->spectrum;
  const int below = bin_ceil(start_freq, n, fs, half);
  const double start_amp = level_to_amp(start_gain);
  for (int k = 0; k < std::max(below, 1); ++k) spectrum[k] = start_amp;
  const double end_amp = level_to_amp(end_gain);
  for (int k = bin_ceil(end_freq, n, fs, half); k < half; ++k) spectrum[k] = end_amp;
  std::fill(spectrum + half, spectrum + n, 0.0);

  fftconv(spectrum, d->phase, spectrum, n);
  fftp(spectrum, d->kernel, n, 1, d->plan);
  for (int i = 0; i < kernel_size; ++i) d->kernel[i] *= d->window[i];
  std::fill(d->kernel + kernel_size, d->kernel + n, 0.0);
  fftp(d->kernel, spectrum, n, 0, d->plan);
  if (!first) return;
  const room_t room = claim_values(n, kernel_size);
  shared_design_t* keep = room.a ? g_designs.claim() : nullptr;
  if (!keep) return;
  keep->k = kernel_size;
  keep->n = n;
  keep->count = c;
  keep->fs = fs;
  std::copy(points, points + POINT_VALUES * (c + 2), keep->points);
  keep->spectrum = room.a;
  keep->kernel = room.b;
  std::copy(spectrum, spectrum + n, room.a);
  std::copy(d->kernel, d->kernel + kernel_size, room.b);
  keep->ready.store(1, std::memory_order_release);
}

void mix_firs(const double* src, double* dst, int n, double* view, mutex_t* lock,
              flag_t* view_new) {
  std::memcpy(dst, src, sizeof(double) * n);
  mutex_to_1(lock);
  std::memcpy(view, src, sizeof(double) * n);
  *view_new = 1;
  mutex_to_0(lock);
}
