// Writes the toolkit's constant math tables as C++ sources:
//   quillmar_tablegen OUT_FP_TABLES.cpp OUT_FASTFLOAT_TABLES.cpp
// Plain tables are sampled by their rule and rounded to the nearest integer; the quadratic
// tables are fitted per segment by a Remez exchange (minimax), then the integer coefficients
// are rounded and the constant term re-centred on the error of the integer evaluation itself.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

typedef long double ld;
typedef std::function<ld(ld)> fn_t;

namespace {

// Solves the 4x4 system of the Remez step: p(x_i) + (-1)^i E / w(x_i) = f(x_i).
bool solve4(ld m[4][5]) {
  for (int c = 0; c < 4; c++) {
    int piv = c;
    for (int r = c + 1; r < 4; r++)
      if (fabsl(m[r][c]) > fabsl(m[piv][c])) piv = r;
    if (m[piv][c] == 0) return false;
    for (int k = 0; k < 5; k++) std::swap(m[c][k], m[piv][k]);
    for (int r = 0; r < 4; r++) {
      if (r == c) continue;
      ld q = m[r][c] / m[c][c];
      for (int k = 0; k < 5; k++) m[r][k] -= q * m[c][k];
    }
  }
  return true;
}

// Minimax quadratic c0 + c1 x + c2 x^2 of f on [a, b], error weighted by w.
void remez_quadratic(const fn_t& f, const fn_t& w, ld a, ld b, ld c[3]) {
  ld xs[4];
  for (int i = 0; i < 4; i++) xs[i] = (a + b) / 2 - (b - a) / 2 * cosl(M_PI * i / 3);
  const int N = 4000;
  for (int iter = 0; iter < 12; iter++) {
    ld m[4][5];
    for (int i = 0; i < 4; i++) {
      m[i][0] = 1;
      m[i][1] = xs[i];
      m[i][2] = xs[i] * xs[i];
      m[i][3] = (i & 1 ? -1 : 1) / w(xs[i]);
      m[i][4] = f(xs[i]);
    }
    if (!solve4(m)) break;
    for (int k = 0; k < 3; k++) c[k] = m[k][4] / m[k][k];
    // New reference: the ends and the two interior extrema of the weighted error.
    std::vector<ld> e(N + 1);
    for (int i = 0; i <= N; i++) {
      ld x = a + (b - a) * i / N;
      e[i] = (c[0] + c[1] * x + c[2] * x * x - f(x)) * w(x);
    }
    std::vector<ld> ext;
    for (int i = 1; i < N; i++)
      if ((e[i] - e[i - 1]) * (e[i + 1] - e[i]) <= 0 && fabsl(e[i]) > 0) ext.push_back(a + (b - a) * i / N);
    if (ext.size() != 2) break;
    xs[0] = a; xs[1] = ext[0]; xs[2] = ext[1]; xs[3] = b;
  }
}

void emit_ints(FILE* out, const char* decl, const std::vector<int64_t>& v) {
  fprintf(out, "%s = {", decl);
  for (size_t i = 0; i < v.size(); i++) fprintf(out, "%s%lld,", i % 8 ? " " : "\n  ", (long long)v[i]);
  fprintf(out, "\n};\n\n");
}

void emit_doubles(FILE* out, const char* decl, const std::vector<double>& v) {
  fprintf(out, "%s = {", decl);
  for (size_t i = 0; i < v.size(); i++) fprintf(out, "%s%.17g,", i % 3 ? " " : "\n  ", v[i]);
  fprintf(out, "\n};\n\n");
}

// A fixed-point quadratic table: segment k covers global x in [lo(k), hi(k)], the result
// scale is `unit` per 1.0 of f, and eval() is the exact integer evaluation used at run time.
// After rounding, c0 is moved to centre the measured error (weighted by w) of eval().
typedef std::function<int64_t(const int64_t c[3], int64_t x)> eval_t;
// When pin is set, eval is made exact at x = xlo (an axis direction) by choosing c0, and c1
// and c2 are searched near their rounded values for the least error under that constraint.
void fit_fixed(const fn_t& f, const fn_t& w, ld xscale, ld unit, int64_t xlo, int64_t xhi, const eval_t& eval,
               int64_t out[3], bool pin = false) {
  ld c[3];
  remez_quadratic(f, w, (ld)xlo / xscale, (ld)xhi / xscale, c);
  out[0] = llroundl(c[0] * unit);
  out[1] = llroundl(c[1] * unit);
  out[2] = llroundl(c[2] * unit);
  int64_t best = 0;
  ld best_err = 1e30L;
  for (int64_t shift = -4; shift <= 4; shift++) {
    int64_t cc[3] = {out[0] + shift, out[1], out[2]};
    ld worst = 0;
    const int S = 2048;
    for (int i = 0; i <= S; i++) {
      int64_t x = xlo + (int64_t)((ld)(xhi - xlo) * i / S);
      ld xr = (ld)x / xscale;
      ld e = fabsl(((ld)eval(cc, x) - f(xr) * unit) * w(xr));
      if (e > worst) worst = e;
    }
    if (worst < best_err) { best_err = worst; best = shift; }
  }
  out[0] += best;
  if (!pin) return;
  int64_t target = llroundl(f((ld)xlo / xscale) * unit), base[3] = {out[0], out[1], out[2]};
  best_err = 1e30L;
  for (int64_t d1 = -8; d1 <= 8; d1++)
    for (int64_t d2 = -8; d2 <= 8; d2++) {
      int64_t cc[3] = {base[0], base[1] + d1, base[2] + d2};
      cc[0] += target - eval(cc, xlo);
      ld worst = 0;
      for (int i = 0; i <= 2048; i++) {
        int64_t x = xlo + (int64_t)((ld)(xhi - xlo) * i / 2048);
        ld xr = (ld)x / xscale;
        worst = fmaxl(worst, fabsl(((ld)eval(cc, x) - f(xr) * unit) * w(xr)));
      }
      if (worst < best_err) {
        best_err = worst;
        out[0] = cc[0], out[1] = cc[1], out[2] = cc[2];
      }
    }
}

void write_fp(const char* path) {
  FILE* out = fopen(path, "w");
  if (!out) { perror(path); exit(1); }
  fprintf(out, "// Written by tools/tablegen (quillmar_tablegen); do not edit.\n#include \"toolkit/fixedpoint/fp.h\"\n\n");
  std::vector<int64_t> v;
  for (int i = 0; i < 2048; i++) { int n = 0; while ((i >> n) != 0) n++; v.push_back(n); }
  emit_ints(out, "const uint8_t ffo_lut[2048]", v);
  v.clear();
  for (int i = 0; i < 1024; i++) v.push_back(llroundl(expl(-(ld)i * i / 65536.0L) * 32768));
  v.resize(1024 + 8, 0);
  emit_ints(out, "const uint16_t fpgauss_d0_lut[1024 + 8]", v);
  v.clear();
  for (int i = 0; i <= 1024; i++) v.push_back(llroundl((1 + erfl((ld)i / 128 - 4)) / 2 * 32768));
  v.resize(1025 + 7, 0);
  emit_ints(out, "const uint16_t fperfr_lut[1025 + 7]", v);
  v.clear();
  for (int i = 0; i <= 256; i++) v.push_back(llroundl(expl(-((ld)i / 64) * ((ld)i / 64)) * 536870912.0L));
  v.resize(257 + 3, 0);
  emit_ints(out, "const int32_t fpgauss_d1i_lut[257 + 3]", v);
  v.clear();
  for (int i = 0; i <= 1024; i++) v.push_back(llroundl(sqrtl((ld)i) * 524288.0L));
  v.resize(1025 + 3, 0);
  emit_ints(out, "const int32_t fracsqrt[1025 + 3]", v);

  fn_t one = [](ld) { return (ld)1; };
  // Cosine over one 1/256 of a turn; x is the whole unsigned angle, 2^32 a full turn.
  v.clear();
  for (int k = 0; k < 256; k++) {
    int64_t c[3];
    fit_fixed([](ld x) { return cosl(2 * M_PI * x); }, one, 4294967296.0L, 33554432.0L, (int64_t)k << 24,
              ((int64_t)(k + 1) << 24) - 1,
              [](const int64_t c[3], int64_t x) { return ((((c[2] * x) >> 32) + c[1]) * x >> 32) + c[0]; }, c,
              k % 128 == 0);
    v.insert(v.end(), c, c + 3);
  }
  emit_ints(out, "const int32_t fpcos_lut[256 * 3]", v);
  // Reciprocal 2^54 / x for x in 2^26 .. 2^27 - 1, relative error.
  v.clear();
  for (int k = 0; k < 128; k++) {
    int64_t c[3];
    int64_t lo = (1 << 26) + ((int64_t)k << 19), hi = lo + (1 << 19) - 1;
    fit_fixed([](ld X) { return 1 / X; }, [](ld X) { return X; }, 134217728.0L, 134217728.0L, lo, hi,
              [](const int64_t c[3], int64_t x) { return ((((c[2] * x) >> 27) + c[1]) * x >> 27) + c[0]; }, c);
    v.insert(v.end(), c, c + 3);
  }
  emit_ints(out, "const int32_t fpdiv_lut[128 * 3]", v);
  // pi/4 + atan(r), r with 30 fractional bits, angle with 2^29 = pi/4; segments -65..64.
  v.clear();
  for (int k = -65; k <= 64; k++) {
    int64_t c[3];
    int64_t lo = (int64_t)k << 24, hi = lo + (1 << 24) - 1;
    fit_fixed([](ld r) { return (M_PI / 4 + atanl(r)) / (M_PI / 4); }, one, 1073741824.0L, 536870912.0L, lo, hi,
              [](const int64_t c[3], int64_t r) { return ((((c[2] * r) >> 30) + c[1]) * r >> 30) + c[0]; }, c,
              k == -64 || k == 64);
    v.insert(v.end(), c, c + 3);
  }
  emit_ints(out, "const int32_t fpatan2_lut[130 * 3]", v);
  fclose(out);
}

void write_fastfloat(const char* path) {
  FILE* out = fopen(path, "w");
  if (!out) { perror(path); exit(1); }
  fprintf(out, "// Written by tools/tablegen (quillmar_tablegen); do not edit.\n#include \"toolkit/fastfloat/fastfloat.h\"\n\n");
  std::vector<double> v;
  for (int k = 0; k < 128; k++) {
    ld c[3];
    remez_quadratic([](ld m) { return log2l(m); }, [](ld) { return (ld)1; }, 1 + k / 128.0L, 1 + (k + 1) / 128.0L, c);
    for (int i = 0; i < 3; i++) v.push_back((double)c[i]);
  }
  emit_doubles(out, "const double fastlog2_lut[128 * 3]", v);
  v.clear();
  for (int k = 0; k < 64; k++) {
    ld c[3];
    remez_quadratic([](ld f) { return exp2l(f); }, [](ld f) { return 1 / exp2l(f); }, k / 64.0L, (k + 1) / 64.0L, c);
    for (int i = 0; i < 3; i++) v.push_back((double)c[i]);
  }
  emit_doubles(out, "const double fastexp2_lut[64 * 3]", v);
  fclose(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: %s OUT_FP_TABLES.cpp OUT_FASTFLOAT_TABLES.cpp\n", argv[0]);
    return 2;
  }
  write_fp(argv[1]);
  write_fastfloat(argv[2]);
  return 0;
}
