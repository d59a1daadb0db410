// The passes after the first (stride s > 1): the butterflies of neighbouring sub-transforms
// side by side, as many per vector as the vector types hold, widest first. Written once over
// the vector types; each kernel file includes this after its types and butterflies, inside
// its own namespace (FFT_KERNEL_NS), compiled for its own instruction set.
#pragma once

namespace FFT_KERNEL_NS {

// Butterflies of sub-transforms q .. q + T::lanes - 1 at index j.
template <class T, int P, bool CONJ>
inline void column(const double* xq, double* yq, size_t ms, size_t s, const double* w) {
  typename T::v a[P];
#pragma GCC unroll 8
  for (int r = 0; r < P; ++r) a[r] = T::load(xq + 2 * r * ms);
  butterfly<T, P>::run(a);
  if (w) {
#pragma GCC unroll 8
    for (int k = 1; k < P; ++k) a[k] = T::cmul(a[k], w + 2 * (k - 1));
  }
#pragma GCC unroll 8
  for (int k = 0; k < P; ++k) T::store(yq + 2 * k * s, CONJ ? T::conj(a[k]) : a[k]);
}

// Sub-transforms q .. s - 1 of one butterfly index, with the widest type that fits, then the
// next.
template <int P, bool CONJ>
inline void columns(const double*, double*, size_t, size_t, const double*, size_t) {}

template <int P, bool CONJ, class T, class... Rest>
inline void columns(const double* xj, double* yj, size_t ms, size_t s, const double* w, size_t q) {
  for (; q + T::lanes <= s; q += T::lanes) column<T, P, CONJ>(xj + 2 * q, yj + 2 * q, ms, s, w);
  columns<P, CONJ, Rest...>(xj, yj, ms, s, w, q);
}

template <int P, bool CONJ, class... Ts>
void pass_strided(const fft_pass_t* ps, const double* x, double* y) {
  const size_t s = ps->stride, m = ps->count, ms = (size_t)ps->span * s;
  for (size_t j = 0; j < m; ++j) {
    const double* w = ps->tw ? ps->tw + 2 * (P - 1) * j : nullptr;
    columns<P, CONJ, Ts...>(x + 2 * s * j, y + 2 * s * P * j, ms, s, w, 0);
  }
}

}  // namespace FFT_KERNEL_NS
