// Butterflies of radix 2 to 5, 8 and 9, written once over a vector type T that holds one or more
// complex values and provides add, sub, mul and fma/fms by a real constant, and neg_i.
// Each kernel file includes this inside its own namespace (FFT_KERNEL_NS), compiled
// for its own instruction set, so no two files share an instance.
#pragma once

namespace FFT_KERNEL_NS {

const double kSin60 = 0.86602540378443864676;
const double kCos72 = 0.30901699437494742410;
const double kSin72 = 0.95105651629515357212;
const double kCos144 = -0.80901699437494742410;
const double kSin144 = 0.58778525229247312917;
const double kSqrtHalf = 0.70710678118654752440;
const double kCos40 = 0.76604444311897803520, kSin40 = 0.64278760968653932632;
const double kCos80 = 0.17364817766693034885, kSin80 = 0.98480775301220805936;
const double kCos160 = -0.93969262078590838405, kSin160 = 0.34202014332566873304;

// In-place DFT of size P with W = exp(-2 pi i / P).
template <class T, int P>
struct butterfly;

template <class T>
struct butterfly<T, 2> {
  static void run(typename T::v* a) {
    const typename T::v t = T::sub(a[0], a[1]);
    a[0] = T::add(a[0], a[1]);
    a[1] = t;
  }
};

template <class T>
struct butterfly<T, 3> {
  static void run(typename T::v* a) {
    const typename T::v s = T::add(a[1], a[2]);
    const typename T::v d = T::mul(T::neg_i(T::sub(a[1], a[2])), kSin60);
    const typename T::v m = T::fma(s, -0.5, a[0]);
    a[0] = T::add(a[0], s);
    a[1] = T::add(m, d);
    a[2] = T::sub(m, d);
  }
};

template <class T>
struct butterfly<T, 4> {
  static void run(typename T::v* a) {
    const typename T::v t0 = T::add(a[0], a[2]), t1 = T::sub(a[0], a[2]);
    const typename T::v t2 = T::add(a[1], a[3]), t3 = T::neg_i(T::sub(a[1], a[3]));
    a[0] = T::add(t0, t2);
    a[2] = T::sub(t0, t2);
    a[1] = T::add(t1, t3);
    a[3] = T::sub(t1, t3);
  }
};

template <class T>
struct butterfly<T, 5> {
  static void run(typename T::v* a) {
    typedef typename T::v v;
    const v s1 = T::add(a[1], a[4]), d1 = T::sub(a[1], a[4]);
    const v s2 = T::add(a[2], a[3]), d2 = T::sub(a[2], a[3]);
    const v a1 = T::fma(s1, kCos72, T::fma(s2, kCos144, a[0]));
    const v a2 = T::fma(s1, kCos144, T::fma(s2, kCos72, a[0]));
    const v b1 = T::neg_i(T::fma(d1, kSin72, T::mul(d2, kSin144)));
    const v b2 = T::neg_i(T::fms(d1, kSin144, T::mul(d2, kSin72)));
    a[0] = T::add(a[0], T::add(s1, s2));
    a[1] = T::add(a1, b1);
    a[4] = T::sub(a1, b1);
    a[2] = T::add(a2, b2);
    a[3] = T::sub(a2, b2);
  }
};

// Eight as the DFTs of 4 of the even and the odd inputs, the odd ones turned by W_8^k.
template <class T>
struct butterfly<T, 8> {
  typedef typename T::v v;
  __attribute__((always_inline)) static void run(v* a) {
    v e[4] = {a[0], a[2], a[4], a[6]}, o[4] = {a[1], a[3], a[5], a[7]};
    butterfly<T, 4>::run(e);
    butterfly<T, 4>::run(o);
    o[1] = T::mul(T::add(o[1], T::neg_i(o[1])), kSqrtHalf);
    o[2] = T::neg_i(o[2]);
    o[3] = T::mul(T::sub(T::neg_i(o[3]), o[3]), kSqrtHalf);
#pragma GCC unroll 4
    for (int k = 0; k < 4; ++k) {
      a[k] = T::add(e[k], o[k]);
      a[k + 4] = T::sub(e[k], o[k]);
    }
  }
};

// Nine as three by three: DFTs of 3 over the inputs n1, n1 + 3, n1 + 6, the twiddles
// W_9^(n1 k2), then DFTs of 3 across, whose results k1 land at 3 k1 + k2.
template <class T>
struct butterfly<T, 9> {
  typedef typename T::v v;
  static v rotate(v a, double c, double s) { return T::fma(a, c, T::mul(T::neg_i(a), s)); }  // a (c - i s)
  // Inlined, so that the nine values stay in registers.
  __attribute__((always_inline)) static void run(v* a) {
    v b[9];
#pragma GCC unroll 3
    for (int n1 = 0; n1 < 3; ++n1) {
      v t[3] = {a[n1], a[n1 + 3], a[n1 + 6]};
      butterfly<T, 3>::run(t);
      b[3 * n1] = t[0], b[3 * n1 + 1] = t[1], b[3 * n1 + 2] = t[2];
    }
    b[4] = rotate(b[4], kCos40, kSin40);
    b[5] = rotate(b[5], kCos80, kSin80);
    b[7] = rotate(b[7], kCos80, kSin80);
    b[8] = rotate(b[8], kCos160, kSin160);
#pragma GCC unroll 3
    for (int k2 = 0; k2 < 3; ++k2) {
      v t[3] = {b[k2], b[3 + k2], b[6 + k2]};
      butterfly<T, 3>::run(t);
      a[k2] = t[0], a[3 + k2] = t[1], a[6 + k2] = t[2];
    }
  }
};

}  // namespace FFT_KERNEL_NS
