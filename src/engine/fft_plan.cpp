// Preparing a plan for one size: the radix passes, where every table and scratch array
// lives inside the plan's work arrays, and the twiddle factors.
#include <cstddef>
#include <cstdint>

#include "engine/fft.h"
#include "engine/fft_kernels.h"

namespace {

// Radices of the complex length m, in pass order. The first pass runs at stride 1 and
// the vector kernels like every later stride to be even, so an even length starts with
// 8, 4 or 2; fives come before nines and threes (fewer odd-stride leftovers); other primes go
// last, where a pass needs no twiddles.
int factorize(int m, int32_t* radix) {
  int count = 0, e2 = 0, e3 = 0, e5 = 0;
  while (m % 2 == 0) m /= 2, ++e2;
  while (m % 3 == 0) m /= 3, ++e3;
  while (m % 5 == 0) m /= 5, ++e5;
  // A lone two is a pass of its own; more twos go as eights where they spare a pass (2^5 as
  // 8 4, 2^6 as 8 8), else as fours.
  if (e2 == 1) radix[count++] = 2;
  for (; e2 >= 3 && e2 != 4; e2 -= 3) radix[count++] = 8;
  for (; e2 >= 2; e2 -= 2) radix[count++] = 4;
  for (; e5 > 0; --e5) radix[count++] = 5;
  for (; e3 >= 2; e3 -= 2) radix[count++] = 9;  // two threes in one trip over the arrays
  for (; e3 > 0; --e3) radix[count++] = 3;
  for (int p = 7; m > 1; p += 2) {
    if ((int64_t)p * p > m) p = m;
    while (m % p == 0) m /= p, radix[count++] = p;
  }
  return count;
}

// Two arrays that regions are taken from, first fit, on 32-byte boundaries when `align`.
struct arena_t {
  double* base[2];
  size_t used[2];
  bool align;
  bool failed;

  double* take(size_t count) {
    for (int i = 0; i < 2; ++i) {
      size_t at = used[i];
      if (align)
        while (((uintptr_t)(base[i] + at) & 31) != 0) ++at;
      if (at + count <= (size_t)FFT_WORK_CAPACITY) {
        used[i] = at + count;
        return base[i] + at;
      }
    }
    failed = true;
    return nullptr;
  }
};

size_t post_size(int cn) { return 8 * (size_t)((cn / 2 + 3) / 4); }

// Places every array of the tabled layout; false when they do not all fit.
bool place_tables(fft_plan_t* plan, bool even, bool align) {
  arena_t ar = {{plan->work[0], plan->work[1]}, {0, 0}, align, false};
  const size_t cn = (size_t)plan->cn;
  plan->a = ar.take(2 * cn);
  plan->b = ar.take(2 * cn);
  plan->post = even ? ar.take(post_size(plan->cn)) : nullptr;
  for (int i = 0; i < plan->npasses; ++i) {
    fft_pass_t& ps = plan->pass[i];
    ps.tw = ps.count > 1 ? ar.take(2 * (size_t)(ps.radix - 1) * ps.count) : nullptr;
    ps.roots = nullptr;
    if (!fft_kernel_radix(ps.radix)) {
      for (int k = 0; k < i; ++k)
        if (plan->pass[k].radix == ps.radix) ps.roots = plan->pass[k].roots;
      if (!ps.roots) ps.roots = ar.take(2 * (size_t)ps.radix);
    }
  }
  return !ar.failed;
}

// Twiddles and roots are all powers of W_n, taken from the two-level table (two short
// tables of sines and cosines and one complex product each: fast, and accurate to a few
// units in the last place).
void fill_tables(fft_plan_t* plan, int n) {
  const fft_roots_t w = fft_roots_build(plan->aux, n);
  for (int i = 0; i < plan->npasses; ++i) {
    const fft_pass_t& ps = plan->pass[i];
    const int64_t step = n / ((int64_t)ps.radix * ps.count);
    if (ps.tw) {
      double* tw = const_cast<double*>(ps.tw);
      for (int j = 0; j < ps.count; ++j)
        for (int k = 1; k < ps.radix; ++k, tw += 2) fft_root(&w, (int64_t)j * k * step, tw);
    }
    if (ps.roots)
      for (int t = 0; t < ps.radix; ++t)
        fft_root(&w, (int64_t)t * (n / ps.radix), const_cast<double*>(ps.roots) + 2 * t);
  }
  if (plan->post) {
    double* post = const_cast<double*>(plan->post);
    const size_t size = post_size(plan->cn);
    for (size_t i = 0; i < size; ++i) post[i] = 0;
    for (int k = 1; 2 * k <= plan->cn; ++k) {
      double r[2];
      fft_root(&w, k, r);
      const int ti = fft_post_index(k);
      post[ti] = r[0];
      post[ti + 4] = r[1];
    }
  }
}

}  // namespace

void fft_prepare(fft_plan_t* plan, int n) {
  const bool even = n % 2 == 0;
  plan->size = n;
  plan->cn = even ? n / 2 : n;
  plan->npasses = factorize(plan->cn, plan->factors + 2);
  plan->factors[0] = n;
  plan->factors[1] = plan->npasses;
  int s = 1, len = plan->cn;
  for (int i = 0; i < plan->npasses; ++i) {
    fft_pass_t& ps = plan->pass[i];
    ps.radix = plan->factors[2 + i];
    ps.stride = s;
    ps.count = ps.span = len / ps.radix;
    s *= ps.radix;
    len = ps.count;
  }
  plan->lean = 0;
  if (place_tables(plan, even, true) || place_tables(plan, even, false)) {
    fill_tables(plan, n);
  } else {
    // Only odd lengths above about 117000 get here: their two complex scratch arrays
    // fill the work arrays, so the twiddles come from the small roots table instead.
    plan->lean = 1;
    plan->a = plan->work[0];
    plan->b = plan->work[1];
    plan->post = nullptr;
    for (int i = 0; i < plan->npasses; ++i) plan->pass[i].tw = plan->pass[i].roots = nullptr;
    fft_roots_build(plan->aux, plan->cn);
  }
  static const fft_kernels_t* const best = [] {
    const fft_kernels_t* k = fft_kernels_avx512();
    if (!k) k = fft_kernels_avx2();
    return k ? k : fft_kernels_portable();
  }();
  plan->kern = best;
  plan->cached = 1;
}
