// Butterflies of radix 2 to 5, written once over a vector type T that holds one or more
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

}  // namespace FFT_KERNEL_NS
