#include "engine/design.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <utility>

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
// seen before, skips the transform and the cosines. So are the transforms of a record's first
// design (an instance's at its creation), which every instance made with the same settings at
// the same rate repeats exactly; any design that samples the same curve at the same sizes
// takes them too. Designs run on the audio thread too, so nothing here allocates or waits: a
// slot and its room in a fixed arena are claimed by atomic counters, filled by the claimer
// alone and published by a release store. Two threads that miss the same entry at once each
// make it (two slots, both right). When the slots or the arena are used up, a record makes
// its own, as if there were no table.
namespace {

enum { SHARED_VALUES = 1 << 21 };  // 16 MB: one of each entry at the largest sizes, many at usual ones
alignas(64) double g_arena[SHARED_VALUES];
std::atomic<size_t> g_values_claimed{0};

size_t on_lines(size_t values) { return (values + 7) & ~size_t(7); }  // whole cache lines

// Room in the arena for arrays of these lengths, one after another, each from a cache line;
// false when it has run out.
bool claim_arrays(std::initializer_list<std::pair<double**, size_t>> arrays) {
  size_t need = 0;
  for (const auto& a : arrays) need += on_lines(a.second);
  size_t at = g_values_claimed.load(std::memory_order_relaxed);
  do {
    if (need > SHARED_VALUES - at) return false;
  } while (!g_values_claimed.compare_exchange_weak(at, at + need, std::memory_order_relaxed));
  for (const auto& a : arrays) {
    *a.first = g_arena + at;
    at += on_lines(a.second);
  }
  return true;
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

// A first design's transforms: what they started from (the sizes and the sampled curve) and
// what they made.
struct shared_design_t {
  std::atomic<int32_t> ready;
  int32_t k, n;
  double* sampled;   // N values
  double* spectrum;  // N values
  double* kernel;    // K values
};
shared_table_t<shared_design_t, 32> g_designs;

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
  double *phase, *window;
  // The slot first: with the slots used up, no room in the arena is claimed for nothing.
  shared_sizes_t* s = g_sizes.claim();
  if (s && !claim_arrays({{&phase, fft_size}, {&window, kernel_size}})) s = nullptr;
  if (!s) {
    phase = d->own_phase;
    window = d->own_window;
  }
  make_phase(d, phase, kernel_size, fft_size);
  blackman_coefs(window, kernel_size);
  if (s) {
    s->k = kernel_size;
    s->n = fft_size;
    s->phase = phase;
    s->window = window;
    s->ready.store(1, std::memory_order_release);  // mutate: skip constant (any non-zero publishes it)
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
  d->sampled = buffer();
  d->sampled_last = buffer();
  d->extent = fft_size;
  d->sampled_kept = 0;
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
  d->sampled_kept = 0;  // spectrum and kernel no longer hold what sampled_last gave
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
  // A curve-only design (the editor's) leaves the sampled arrays to the audio path, which swaps them.
  double* const sampled = curve_only ? nullptr : d->sampled;
  if (!curve_only) {
    for (int i = 0; i <= c; ++i) {
      const int k0 = std::max(bin_ceil(sorted[i].freq, n, fs, half), 1);
      const int k1 = bin_ceil(sorted[i + 1].freq, n, fs, half);
      for (int k = k0; k < k1; ++k) {
        const double x = (std::log(k * fs / n) - LN_20) / LN_1000;
        sampled[k] = level_to_amp(curve_level(sorted, i, x));
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

  // Every one of the N values is written, whatever the point list: the segments run from the
  // first point's bin to the last one's without a gap, the fills cover the rest below half.
  const int below = bin_ceil(start_freq, n, fs, half);
  const double start_amp = level_to_amp(start_gain);
  for (int k = 0; k < std::max(below, 1); ++k) sampled[k] = start_amp;
  const double end_amp = level_to_amp(end_gain);
  for (int k = bin_ceil(end_freq, n, fs, half); k < half; ++k) sampled[k] = end_amp;
  std::fill(sampled + half, sampled + n, 0.0);

  // The transforms depend on nothing else than the sampled curve and the sizes: where the
  // record's last design started from the same, spectrum and kernel hold their result already
  // (a change that moves no bin: a band switched off, a value sent again).
  const auto same = [&](const double* other) { return !std::memcmp(other, sampled, sizeof(double) * n); };
  if (d->sampled_kept && same(d->sampled_last)) return;
  std::swap(d->sampled, d->sampled_last);
  d->sampled_kept = 1;
  const shared_design_t* made = g_designs.find(
      [&](const shared_design_t& m) { return m.k == kernel_size && m.n == n && same(m.sampled); });
  if (made) {
    std::copy(made->spectrum, made->spectrum + n, d->spectrum);
    std::copy(made->kernel, made->kernel + kernel_size, d->kernel);
    std::fill(d->kernel + kernel_size, d->kernel + n, 0.0);
    return;
  }

  double* spectrum = d->spectrum;
  fftconv(sampled, d->phase, spectrum, n);
  fftp(spectrum, d->kernel, n, 1, d->plan);
  for (int i = 0; i < kernel_size; ++i) d->kernel[i] *= d->window[i];
  std::fill(d->kernel + kernel_size, d->kernel + n, 0.0);
  fftp(d->kernel, spectrum, n, 0, d->plan);
  if (!first) return;
  double *keep_sampled, *keep_spectrum, *keep_kernel;
  shared_design_t* keep = g_designs.claim();
  if (!keep || !claim_arrays({{&keep_sampled, n}, {&keep_spectrum, n}, {&keep_kernel, kernel_size}})) return;
  keep->k = kernel_size;
  keep->n = n;
  keep->sampled = keep_sampled;
  keep->spectrum = keep_spectrum;
  keep->kernel = keep_kernel;
  std::copy(sampled, sampled + n, keep_sampled);
  std::copy(spectrum, spectrum + n, keep_spectrum);
  std::copy(d->kernel, d->kernel + kernel_size, keep_kernel);
  keep->ready.store(1, std::memory_order_release);  // mutate: skip constant (any non-zero publishes it)
}

void mix_firs(const double* src, double* dst, int n, double* view, mutex_t* lock,
              flag_t* view_new) {
  std::memcpy(dst, src, sizeof(double) * n);
  mutex_to_1(lock);
  std::memcpy(view, src, sizeof(double) * n);
  *view_new = 1;
  mutex_to_0(lock);
}
