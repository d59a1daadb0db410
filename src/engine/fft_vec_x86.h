// Vector types of the x86 kernels: two complex values in a 256-bit vector (v2) and one in a
// 128-bit vector (v1), with what the butterflies need. Each kernel file includes this inside
// its own namespace, under its own instruction-set switch, so no two files share an instance.
// (No include guard: included once per kernel namespace.)

// Two complex values per vector.
struct v2 {
  enum { lanes = 2 };
  typedef __m256d v;
  static v load(const double* p) { return _mm256_loadu_pd(p); }
  static void store(double* p, v a) { _mm256_storeu_pd(p, a); }
  static v add(v a, v b) { return _mm256_add_pd(a, b); }
  static v sub(v a, v b) { return _mm256_sub_pd(a, b); }
  static v mul(v a, double s) { return _mm256_mul_pd(a, _mm256_set1_pd(s)); }
  static v fma(v a, double s, v c) { return _mm256_fmadd_pd(a, _mm256_set1_pd(s), c); }
  static v fms(v a, double s, v c) { return _mm256_fmsub_pd(a, _mm256_set1_pd(s), c); }
  static v odd_sign() { return _mm256_set_pd(-0.0, 0.0, -0.0, 0.0); }
  static v neg_i(v a) { return _mm256_xor_pd(_mm256_permute_pd(a, 5), odd_sign()); }
  static v conj(v a) { return _mm256_xor_pd(a, odd_sign()); }
  // a times the complex w[0] + i w[1], the same for both values
  static v cmul(v a, const double* w) {
    const v t = _mm256_mul_pd(_mm256_permute_pd(a, 5), _mm256_broadcast_sd(w + 1));
    return _mm256_fmaddsub_pd(a, _mm256_broadcast_sd(w), t);
  }
};

// One complex value per vector.
struct v1 {
  enum { lanes = 1 };
  typedef __m128d v;
  static v load(const double* p) { return _mm_loadu_pd(p); }
  static void store(double* p, v a) { _mm_storeu_pd(p, a); }
  static v add(v a, v b) { return _mm_add_pd(a, b); }
  static v sub(v a, v b) { return _mm_sub_pd(a, b); }
  static v mul(v a, double s) { return _mm_mul_pd(a, _mm_set1_pd(s)); }
  static v fma(v a, double s, v c) { return _mm_fmadd_pd(a, _mm_set1_pd(s), c); }
  static v fms(v a, double s, v c) { return _mm_fmsub_pd(a, _mm_set1_pd(s), c); }
  static v odd_sign() { return _mm_set_pd(-0.0, 0.0); }
  static v neg_i(v a) { return _mm_xor_pd(_mm_permute_pd(a, 1), odd_sign()); }
  static v conj(v a) { return _mm_xor_pd(a, odd_sign()); }
  static v cmul(v a, const double* w) {
    const v t = _mm_mul_pd(_mm_permute_pd(a, 1), _mm_set1_pd(w[1]));
    return _mm_fmaddsub_pd(a, _mm_set1_pd(w[0]), t);
  }
};
