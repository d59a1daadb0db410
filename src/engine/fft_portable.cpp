// Plain C++ radix passes: the kernels of processors without AVX2, the passes of any
// radix, and the lean passes whose twiddles come from a two-level roots table.
#include <cmath>
#include <cstddef>

#include "engine/fft.h"
#include "engine/fft_kernels.h"

namespace fft_portable {

struct cpx {
  double r, i;
};
inline cpx operator+(cpx a, cpx b) { return {a.r + b.r, a.i + b.i}; }
inline cpx operator-(cpx a, cpx b) { return {a.r - b.r, a.i - b.i}; }
inline cpx operator*(cpx a, double s) { return {a.r * s, a.i * s}; }
inline cpx mul(cpx a, cpx w) { return {a.r * w.r - a.i * w.i, a.r * w.i + a.i * w.r}; }
inline cpx neg_i(cpx a) { return {a.i, -a.r}; }  // a * (-i)
inline cpx conj(cpx a) { return {a.r, -a.i}; }
inline cpx load(const double* p) { return {p[0], p[1]}; }
inline void store(double* p, cpx a) {
  p[0] = a.r;
  p[1] = a.i;
}

// One complex value, for the shared butterflies.
struct s1 {
  typedef cpx v;
  static v add(v a, v b) { return a + b; }
  static v sub(v a, v b) { return a - b; }
  static v mul(v a, double s) { return a * s; }
  static v fma(v a, double s, v c) { return a * s + c; }
  static v fms(v a, double s, v c) { return a * s - c; }
  static v neg_i(v a) { return fft_portable::neg_i(a); }
};

}  // namespace fft_portable

#define FFT_KERNEL_NS fft_portable
#include "engine/fft_butterflies.h"
#undef FFT_KERNEL_NS

namespace fft_portable {
namespace {

// Twiddle W_pm^(jk) of a pass, from its table.
struct table_twiddles {
  const double* tw;
  int pm1;
  cpx get(int j, int k) const { return load(tw + 2 * ((size_t)pm1 * j + k - 1)); }
};

cpx root_at(const fft_roots_t* r, int64_t t) {
  const cpx hi = load(r->hi + 2 * (t / r->block));
  const cpx lo = load(r->lo + 2 * (t % r->block));
  return mul(hi, lo);
}

// p-th roots of unity W_p^t, t < p, from the plan's table or the two-level roots.
struct table_roots {
  const double* roots;
  cpx get(int t) const { return load(roots + 2 * t); }
};
struct lean_roots {
  const fft_roots_t* roots;
  int step;  // n / p
  cpx get(int t) const { return root_at(roots, (int64_t)t * step); }
};

template <int P, bool CONJ>
void pass_fixed(const fft_pass_t* ps, const double* x, double* y) {
  const int s = ps->stride, m = ps->count;
  const size_t ms = (size_t)ps->span * s;
  const table_twiddles tw = {ps->tw, P - 1};
  for (int j = 0; j < m; ++j) {
    cpx w[P];
    const bool twiddle = ps->tw != nullptr;
    if (twiddle) {
#pragma GCC unroll 8
      for (int k = 1; k < P; ++k) w[k] = tw.get(j, k);
    }
    const double* xj = x + 2 * (size_t)s * j;
    double* yj = y + 2 * (size_t)s * P * j;
    for (int q = 0; q < s; ++q) {
      cpx a[P];
#pragma GCC unroll 8
      for (int r = 0; r < P; ++r) a[r] = load(xj + 2 * (q + r * ms));
      butterfly<s1, P>::run(a);
      if (twiddle) {
#pragma GCC unroll 8
        for (int k = 1; k < P; ++k) a[k] = mul(a[k], w[k]);
      }
#pragma GCC unroll 8
      for (int k = 0; k < P; ++k) store(yj + 2 * (q + (size_t)s * k), CONJ ? conj(a[k]) : a[k]);
    }
  }
}

// Any odd radix p >= 7. Each butterfly first folds its inputs into sums and differences
// of mirrored pairs, u_r = a_r + a_(p-r) and v_r = a_r - a_(p-r), which halves the O(p^2)
// work; they go to the scratch when it holds them (contiguous reads), else back into x.
// The sums then run over chunks of pairs, four outputs at a time, with their partial
// results parked in the outputs' own slots, so a large p streams its data once per chunk
// rather than once per output. Within a chunk the roots advance by multiplication
// (re-anchored from the table at every chunk, which bounds the rounding drift).
template <bool CONJ, class Roots>
void pass_any(const fft_pass_t* ps, double* x, double* y, const Roots& roots, double* scratch,
              size_t scratch_len) {
  const int p = ps->radix, s = ps->stride, m = ps->count, h = (p - 1) / 2;
  const int chunk = 128;
  const ptrdiff_t ms = (ptrdiff_t)ps->span * s;
  const table_twiddles tw = {ps->tw, p - 1};
  const bool local = scratch && scratch_len >= 4 * (size_t)h;
  for (int j = 0; j < m; ++j) {
    for (int q = 0; q < s; ++q) {
      double* xq = x + 2 * ((ptrdiff_t)s * j + q);
      double* yq = y + 2 * ((ptrdiff_t)s * p * j + q);
      const ptrdiff_t ys = 2 * (ptrdiff_t)s;  // between output slots
      double* u = local ? scratch : xq + 2 * ms;
      double* v = local ? scratch + 2 * h : xq + 2 * (p - 1) * ms;
      const ptrdiff_t us = local ? 2 : 2 * ms, vs = local ? 2 : -2 * ms;
      const cpx a0 = load(xq);
      cpx sum = a0;
      for (int r = 1; r <= h; ++r) {
        const cpx a = load(xq + 2 * r * ms), b = load(xq + 2 * (p - r) * ms);
        store(u + (r - 1) * us, a + b);
        store(v + (r - 1) * vs, a - b);
        sum = sum + a + b;
      }
      // slot k collects the cosine sum of output k, slot p - k its sine sum
      for (int k = 1; k <= h; ++k) {
        store(yq + ys * k, a0);
        store(yq + ys * (p - k), cpx{0, 0});
      }
      for (int r0 = 1; r0 <= h; r0 += chunk) {
        const int r1 = r0 + chunk - 1 < h ? r0 + chunk - 1 : h;
        for (int k0 = 1; k0 <= h; k0 += 4) {
          // k0 + 3 < p: the spare lanes of the last block are valid roots, never stored
          cpx re[4], im[4], w[4], step[4];
          const cpx spare = {0, 0};  // mutate: skip (never stored: any value serves)
          for (int i = 0; i < 4; ++i) {
            const int k = k0 + i;
            re[i] = k <= h ? load(yq + ys * k) : spare;
            im[i] = k <= h ? load(yq + ys * (p - k)) : spare;
            w[i] = roots.get((int)((int64_t)r0 * k % p));
            step[i] = roots.get(k);
          }
          for (int r = r0; r <= r1; ++r) {
            const cpx ur = load(u + (r - 1) * us), vr = load(v + (r - 1) * vs);
#pragma GCC unroll 4
            for (int i = 0; i < 4; ++i) {
              re[i] = re[i] + ur * w[i].r;
              im[i] = im[i] + vr * w[i].i;
              w[i] = mul(w[i], step[i]);
            }
          }
          for (int i = 0; i < 4 && k0 + i <= h; ++i) {
            store(yq + ys * (k0 + i), re[i]);
            store(yq + ys * (p - k0 - i), im[i]);
          }
        }
      }
      store(yq, CONJ ? conj(sum) : sum);
      for (int k = 1; k <= h; ++k) {
        const cpx re = load(yq + ys * k), im = load(yq + ys * (p - k));
        const cpx ii = {-im.i, im.r};  // i * im
        cpx lo = re + ii, hi = re - ii;
        if (ps->tw) {
          lo = mul(lo, tw.get(j, k));
          hi = mul(hi, tw.get(j, p - k));
        }
        store(yq + ys * k, CONJ ? conj(lo) : lo);
        store(yq + ys * (p - k), CONJ ? conj(hi) : hi);
      }
    }
  }
}

template <int P>
void portable_pass(const fft_pass_t* ps, const double* x, double* y, int conj_out) {
  if (conj_out)
    pass_fixed<P, true>(ps, x, y);
  else
    pass_fixed<P, false>(ps, x, y);
}

void portable_post(const double* z, double* out, int n, const double* tw, double scale) {
  fft_post_scalar(z, out, n, tw, scale, 1);
}

void portable_pre(const double* in, double* z, int n, const double* tw, double scale) {
  fft_pre_scalar(in, z, n, tw, scale, 1);
}

void portable_mul(const double* z, const double* kernel, const double* z2, const double* kernel2, double* zo, int n,
                  const double* tw, double scale) {
  fft_mul_scalar(z, kernel, z2, kernel2, zo, n, tw, scale, 1);
}

}  // namespace
}  // namespace fft_portable

using namespace fft_portable;

const fft_kernels_t* fft_kernels_portable() {
  static const fft_kernels_t k = {
      {nullptr, nullptr, portable_pass<2>, portable_pass<3>, portable_pass<4>, portable_pass<5>, nullptr, nullptr,
       portable_pass<8>, portable_pass<9>},
      portable_post,
      portable_pre,
      portable_mul,
      {}};
  return &k;
}

void fft_pass_generic(const fft_pass_t* ps, double* x, double* y, int conj_out,
                      double* scratch, size_t scratch_len) {
  const table_roots roots = {ps->roots};
  if (conj_out)
    pass_any<true>(ps, x, y, roots, scratch, scratch_len);
  else
    pass_any<false>(ps, x, y, roots, scratch, scratch_len);
}

void fft_pass_lean(const fft_pass_t* ps, double* x, double* y, int conj_out,
                   const fft_roots_t* roots, double* scratch, size_t scratch_len) {
  const lean_roots r = {roots, roots->n / ps->radix};
  if (conj_out)
    pass_any<true>(ps, x, y, r, scratch, scratch_len);
  else
    pass_any<false>(ps, x, y, r, scratch, scratch_len);
}

void fft_root(const fft_roots_t* roots, int64_t t, double* w) { store(w, root_at(roots, t)); }

void fft_post_scalar(const double* z, double* out, int n, const double* tw, double scale,
                     int from) {
  const int m = n / 2;
  const double h = 0.5 * scale;
  const cpx z0 = load(z);
  out[0] = (z0.r + z0.i) * scale;
  out[m] = (z0.r - z0.i) * scale;
  for (int k = from; 2 * k <= m; ++k) {
    const cpx a = load(z + 2 * k), b = load(z + 2 * (m - k));
    const cpx e = {(a.r + b.r) * h, (a.i - b.i) * h};
    const cpx o = {(a.i + b.i) * h, (b.r - a.r) * h};
    const int ti = fft_post_index(k);
    const cpx t = mul(o, cpx{tw[ti], tw[ti + 4]});
    out[k] = e.r + t.r;
    out[n - k] = e.i + t.i;
    if (2 * k != m) {
      out[m - k] = e.r - t.r;
      out[m + k] = t.i - e.i;
    }
  }
}

void fft_pre_scalar(const double* in, double* z, int n, const double* tw, double scale,
                    int from) {
  const int m = n / 2;
  store(z, cpx{(in[0] + in[m]) * scale, (in[m] - in[0]) * scale});
  for (int k = from; 2 * k <= m; ++k) {
    const cpx x = {in[k], in[n - k]}, y = {in[m - k], in[m + k]};
    const cpx e = {x.r + y.r, x.i - y.i}, d = {x.r - y.r, x.i + y.i};
    const int ti = fft_post_index(k);
    const cpx o = mul(d, cpx{tw[ti], -tw[ti + 4]});
    store(z + 2 * k, cpx{(e.r - o.i) * scale, -(e.i + o.r) * scale});
    if (2 * k != m) store(z + 2 * (m - k), cpx{(e.r + o.i) * scale, (e.i - o.r) * scale});
  }
}

void fft_mul_scalar(const double* z, const double* kernel, const double* z2, const double* kernel2, double* zo,
                    int n, const double* tw, double scale, int from) {
  const int m = n / 2;
  // Bins k and m - k of a real spectrum from its complex spectrum, as post makes them
  // (without its scale), times a kernel's.
  auto bins = [&](const double* zz, const double* kk, int k, cpx w, cpx* x, cpx* y) {
    const cpx a = load(zz + 2 * k), b = load(zz + 2 * (m - k));
    const cpx e = {(a.r + b.r) * 0.5, (a.i - b.i) * 0.5};
    const cpx t = mul(cpx{(a.i + b.i) * 0.5, (b.r - a.r) * 0.5}, w);
    *x = mul(cpx{e.r + t.r, e.i + t.i}, cpx{kk[k], kk[n - k]});
    *y = mul(cpx{e.r - t.r, t.i - e.i}, cpx{kk[m - k], kk[m + k]});
  };
  for (int k = from; 2 * k <= m; ++k) {
    const int ti = fft_post_index(k);
    const cpx w = {tw[ti], tw[ti + 4]};
    cpx x, y;
    bins(z, kernel, k, w, &x, &y);
    if (z2) {
      cpx x2, y2;
      bins(z2, kernel2, k, w, &x2, &y2);
      x = x + x2;
      y = y + y2;
    }
    // and back as pre makes them
    const cpx f = {x.r + y.r, x.i - y.i}, d = {x.r - y.r, x.i + y.i};
    const cpx o = mul(d, conj(w));
    store(zo + 2 * k, cpx{(f.r - o.i) * scale, -(f.i + o.r) * scale});
    if (2 * k != m) store(zo + 2 * (m - k), cpx{(f.r + o.i) * scale, (f.i - o.r) * scale});
  }
  // bin 0 and the Nyquist bin are real; they are read last, so zo may be z or z2
  auto ends = [&](const double* zz, const double* kk, double* y0, double* ym) {
    const cpx z0 = load(zz);
    *y0 += (z0.r + z0.i) * kk[0];
    *ym += (z0.r - z0.i) * kk[m];
  };
  double y0 = 0, ym = 0;
  ends(z, kernel, &y0, &ym);
  if (z2) ends(z2, kernel2, &y0, &ym);
  store(zo, cpx{(y0 + ym) * scale, (ym - y0) * scale});
}

void fft_twiddles(const fft_roots_t* roots, int p, int s, int j0, int count, double* w) {
  if (p > 5) {
    for (int j = j0; j < j0 + count; ++j)
      for (int k = 1; k < p; ++k, w += 2) fft_root(roots, (int64_t)j * k * s, w);
    return;
  }
  // t = j s walks the table without dividing; the few higher powers are products
  const int b = roots->block;
  int hi = (int)((int64_t)j0 * s / b), lo = (int)((int64_t)j0 * s % b);
  const int step_hi = s / b, step_lo = s % b;
  for (int j = 0; j < count; ++j, w += 2 * (p - 1)) {
    const cpx w1 = mul(load(roots->hi + 2 * hi), load(roots->lo + 2 * lo));
    cpx wk = w1;
    store(w, w1);
    for (int k = 2; k < p; ++k) {
      wk = mul(wk, w1);
      store(w + 2 * (k - 1), wk);
    }
    hi += step_hi;
    lo += step_lo;
    if (lo >= b) lo -= b, ++hi;
  }
}

static int roots_block(int n) {
  int b = (int)std::sqrt((double)n);
  while ((int64_t)b * b < n) ++b;
  return b < 1 ? 1 : b;
}

int fft_roots_size(int n) {
  const int b = roots_block(n);
  return 2 * (b + (n + b - 1) / b);
}

fft_roots_t fft_roots_view(const double* mem, int n) {
  const int b = roots_block(n);
  return fft_roots_t{mem, mem + 2 * b, n, b};
}

fft_roots_t fft_roots_build(double* mem, int n) {
  const fft_roots_t r = fft_roots_view(mem, n);
  const int hi_count = (n + r.block - 1) / r.block;
  const double step = -2.0 * M_PI / n;
  for (int t = 0; t < r.block; ++t) {
    mem[2 * t] = std::cos(step * t);
    mem[2 * t + 1] = std::sin(step * t);
  }
  double* hi = mem + 2 * r.block;
  for (int t = 0; t < hi_count; ++t) {
    const int64_t e = (int64_t)t * r.block % n;
    hi[2 * t] = std::cos(step * (double)e);
    hi[2 * t + 1] = std::sin(step * (double)e);
  }
  return r;
}
