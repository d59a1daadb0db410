#include "editor/spectrum.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#include "editor/frame.h"
#include "editor/skin.h"
#include "editor/view.h"
#include "editor_env.h"
#include "engine/levels.h"
#include "toolkit/graphics/blending.h"
#include "toolkit/graphics/colour.h"
#include "toolkit/graphics/drawline.h"

namespace {

struct Spectrum : EditorTest {
  // Column of frequency f on the full axis of an area of width w.
  static int column(double f, int w) { return (int)std::lround((w - 1) * axis_pos(f)); }
  static double db(double a) { return 20 * std::log10(a); }
  // An instance after three frames of pink noise with one setting changed.
  PreviewPlug run_with(const char* name, double value) {
    PreviewPlug p = make(1);
    preview_set(p.get(), name, value);
    preview_signal_t pink;
    preview_run(p.get(), &pink, 3);
    return p;
  }
};

// --- stereo colouring -------------------------------------------------------------------

TEST(PanColours, LeftCentreAndRightHaveTheirHues) {
  const lrgb_t* pan = pancol();
  const lrgb_t &left = pan[0], &centre = pan[2048], &right = pan[4096];
  // Violet (291.2 degrees): blue and red, little green.
  EXPECT_GT(left.b, left.r);
  EXPECT_GT(left.r, 4 * left.g);
  // Yellow: red and green alike, no blue.
  EXPECT_NEAR(left.a, 0, 0);
  EXPECT_NEAR(double(centre.r) / centre.g, 1.0, 0.05);
  EXPECT_LT(centre.b, centre.g / 20);
  // Blue with a touch of cyan (215 degrees).
  EXPECT_GT(right.b, 2 * right.g);
  EXPECT_GT(right.g, right.r);
  // A little left of the centre red, a little right cyan.
  EXPECT_GT(pan[1024].r, 4 * std::max(pan[1024].g, pan[1024].b));
  EXPECT_NEAR(double(pan[3072].g) / pan[3072].b, 1.0, 0.1);
  EXPECT_LT(pan[3072].r, pan[3072].g / 10);
  // The left end is the table's fixed first colour exactly.
  double r, g, b;
  hsl_to_rgb(&r, &g, &b, HUE_DEGREES, 0, -68.8, 1, 0.11);
  EXPECT_EQ(left.r, (int)(r * 32768 + 0.5));
  EXPECT_EQ(left.b, (int)(b * 32768 + 0.5));
  // Smooth all the way, with no alpha.
  for (int i = 1; i < PAN_ENTRIES; ++i) {
    ASSERT_EQ(pan[i].a, 0);
    ASSERT_LT(std::abs(pan[i].r - pan[i - 1].r) + std::abs(pan[i].g - pan[i - 1].g) +
                  std::abs(pan[i].b - pan[i - 1].b),
              400)
        << i;
  }
}

// The table exactly, at its knots and between them (the curves' shape and the rounding).
TEST(PanColours, TheTableExactly) {
  const struct {
    int i, r, g, b;
  } cases[] = {{0, 11090, 0, 16637},   {512, 17465, 411, 4639}, {1024, 18743, 721, 722},
               {1536, 11753, 2295, 445}, {2048, 4056, 4049, 0},   {2560, 10, 4935, 0},
               {3072, 0, 4292, 4285},    {3584, 0, 3222, 11388},  {4096, 0, 2219, 18039}};
  for (const auto& c : cases) {
    const lrgb_t& t = pancol()[c.i];
    EXPECT_EQ((std::vector<int>{t.r, t.g, t.b}), (std::vector<int>{c.r, c.g, c.b})) << c.i;
  }
  // Each channel summed over the whole table: a curve a little off anywhere between the
  // samples above shows here.
  std::vector<long long> sum(3);
  for (int i = 0; i < PAN_ENTRIES; ++i) {
    sum[0] += pancol()[i].r;
    sum[1] += pancol()[i].g;
    sum[2] += pancol()[i].b;
  }
  EXPECT_EQ(sum, (std::vector<long long>{29694840, 10896981, 18741753}));
}

TEST(PanColours, PanIndexFromTheChannels) {
  inst_t inst;
  inst.gamma = 1;
  const lrgb_t* pan = pancol();
  // With s * gain * 0.5 = 1 the pixel is the table's colour itself.
  auto colour_of = [&](double l, double r) {
    lrgb_t out{1, 2, 3, 777};
    calc_colour_pan_full(l, r, 2 / (l + r), &inst, &out);
    EXPECT_EQ(out.a, 777);  // alpha is left alone
    return out;
  };
  auto same = [](lrgb_t a, lrgb_t b) { return a.r == b.r && a.g == b.g && a.b == b.b; };
  EXPECT_TRUE(same(colour_of(0.3, 0), pan[0]));
  EXPECT_TRUE(same(colour_of(0.3, 0.3), pan[2048]));
  EXPECT_TRUE(same(colour_of(0, 0.3), pan[4096]));
  EXPECT_TRUE(same(colour_of(0.1, 0.3), pan[3072]));
  lrgb_t silent{9, 9, 9, 0};
  calc_colour_pan_full(0, 0, 5, &inst, &silent);
  EXPECT_TRUE(same(silent, lrgb_t{0, 0, 0, 0}));
}

TEST(PanColours, IntensityGammaAndBlowout) {
  const lrgb_t c{10000, 20000, 4000, 0};
  lrgb_t out{};
  calc_colour_pan(&out, 0.5, c, 2.0);  // 0.5^2 = 0.25, half of which is the intensity
  EXPECT_NEAR(out.r, 10000 * 0.125, 1);
  EXPECT_NEAR(out.g, 20000 * 0.125, 1);
  calc_colour_pan(&out, 1e9, c, 1.0);
  EXPECT_EQ(out.r, 32768);
  EXPECT_EQ(out.g, 32768);
  EXPECT_EQ(out.b, 32768);
  // No light at all, even from full scale (where one unit of intensity would show).
  const lrgb_t full{32768, 32768, 32768, 0};
  for (double v : {std::numeric_limits<double>::quiet_NaN(), -3.0, 0.0}) {
    calc_colour_pan(&out, v, full, 1.1);
    EXPECT_EQ(out.r + out.g + out.b, 0) << v;
  }
}

// --- per-column data --------------------------------------------------------------------

TEST_F(Spectrum, ASinePeaksInItsColumn) {
  PreviewPlug p = make(1);
  preview_signal_t sine;
  sine.kind = preview_signal_t::SINE;
  sine.freq = 1000;
  preview_run(p.get(), &sine, 20);
  const inst_t* inst = p->Inst();
  const double* sum = inst->spectrum_col[2];
  const int peak = int(std::max_element(sum, sum + inst->area_w) - sum);
  EXPECT_NEAR(peak, column(1000, inst->area_w), 1);
  for (int x = 0; x < inst->area_w; ++x) ASSERT_EQ(inst->spectrum_col[0][x], inst->spectrum_col[1][x]);
  EXPECT_GT(sum[peak], 1000 * sum[column(100, inst->area_w)]);
}

TEST_F(Spectrum, PinkNoiseShowsLevel) {
  PreviewPlug p = make(2);
  preview_signal_t pink;
  preview_run(p.get(), &pink, 20);
  const inst_t* inst = p->Inst();
  auto octave = [&](double f) {
    double s = 0;
    const int x0 = column(f, inst->area_w), x1 = column(2 * f, inst->area_w);
    for (int x = x0; x < x1; ++x) s += inst->spectrum_col[2][x];
    return s / (x1 - x0);
  };
  const double mid = octave(1000);
  EXPECT_NEAR(db(octave(200) / mid), 0, 3);
  EXPECT_NEAR(db(octave(5000) / mid), 0, 3);
}

TEST_F(Spectrum, ColumnsBeyondHalfTheAnalysisLengthGetNothing) {
  const double fs = 32000;
  PreviewPlug p = make(1, fs);
  preview_signal_t pink;
  preview_run(p.get(), &pink, 20);
  const inst_t* inst = p->Inst();
  const int L = inst->capture_len, W = inst->area_w;
  int zero = 0, lit = 0;
  for (int x = 0; x < W; ++x) {
    // The bin nearest the column's right edge.
    const double right = 20 * std::pow(1000.0, (x + 0.5) / (W - 1)) * L / fs + 0.5;
    if (right >= L / 2 + 1e-6) {
      ++zero;
      EXPECT_EQ(inst->spectrum_col[0][x], 0) << x;
      EXPECT_EQ(inst->spectrum_col[1][x], 0) << x;
      EXPECT_EQ(inst->spectrum_col[2][x], 0) << x;
      EXPECT_EQ(inst->response_col[x], 0) << x;  // above the Nyquist frequency, no gain
    } else if (right < L / 2 - 1e-6) {
      ++lit;
      EXPECT_GT(inst->spectrum_col[2][x], 0) << x;
    }
  }
  EXPECT_GT(zero, 10);
  EXPECT_GT(lit, 700);
}

// At the lowest rate a host may set, with a host call long enough to grow the FFT, every
// column lies far above the Nyquist frequency (its bin beyond any integer) and shows nothing.
TEST_F(Spectrum, AtOneHertzEveryColumnIsEmpty) {
  PreviewPlug p = make(1);
  p->SetSampleRate(1);
  p->Reset();
  std::vector<double> in(150000, 0.5), out(150000);
  double* ip[2] = {in.data(), in.data()};
  double* op[2] = {out.data(), out.data()};
  p->ProcessDoubleReplacing(ip, op, 150000);
  preview_frame(p.get());
  const inst_t* inst = p->Inst();
  ASSERT_GE(*inst->fft_size_ref, 150000);  // a bin of 20 kHz: 3e9
  for (int x = 0; x < inst->area_w; ++x) ASSERT_EQ(inst->response_col[x], 0);
}

TEST_F(Spectrum, ResponsePerColumnFollowsTheKernel) {
  PreviewPlug p = make(1);
  preview_set(p.get(), "Band C freq", 1000);
  preview_set(p.get(), "Band C gain", -20);
  preview_signal_t pink;
  preview_run(p.get(), &pink, 4);
  const inst_t* inst = p->Inst();
  EXPECT_NEAR(db(inst->response_col[column(1000, inst->area_w)]), -20, 1);
  EXPECT_NEAR(db(inst->response_col[column(40, inst->area_w)]), 0, 0.5);
  EXPECT_NEAR(db(inst->response_col[column(15000, inst->area_w)]), 0, 0.5);
  // Worked out again after the spectrum, whose bins are kept beside the response's: the same.
  const std::vector<double> first(inst->response_col, inst->response_col + inst->area_w);
  comp_spectral_table(p->Inst());
  comp_fft_mag_lut(p->Inst());
  EXPECT_EQ(std::vector<double>(inst->response_col, inst->response_col + inst->area_w), first);
}

// --- painting ---------------------------------------------------------------------------

double luminance(const lrgb_t& c) { return 0.16 * c.r + 0.73 * c.g + 0.11 * c.b; }

TEST_F(Spectrum, ACutDarkensTheOutputAboveTheCurve) {
  PreviewPlug p = make(1);
  preview_set(p.get(), "Colour", 0);
  preview_set(p.get(), "Band C freq", 1000);
  preview_set(p.get(), "Band C gain", -20);
  preview_signal_t sine;
  sine.kind = preview_signal_t::SINE;
  preview_run(p.get(), &sine, 20);
  const inst_t* inst = p->Inst();
  const int x = column(1000, inst->area_w), row = inst->curve_row[x];
  auto at = [&](int r) { return inst->fb[(inst->area_y + r) * inst->ui_w + inst->area_x + x]; };
  EXPECT_GT(luminance(at(row + 60)), 2 * luminance(at(row - 60)));
  EXPECT_GT(luminance(at(row - 60)), 1000);  // darker, but still lit
}

TEST_F(Spectrum, NoColourGainLeavesTheAreaDark) {
  PreviewPlug p = make(1);
  preview_set(p.get(), "Colour Gain", 0);
  preview_signal_t pink;
  pink.level = 0;
  preview_run(p.get(), &pink, 20);
  inst_t* inst = p->Inst();
  inst->grid_fade = 3;
  draw_frame(inst);
  const int x = column(1000, inst->area_w);
  const lrgb_t c = inst->fb[(inst->area_y + 400) * inst->ui_w + inst->area_x + x];
  EXPECT_EQ(c.r + c.g + c.b, 0);
}

// Stereo colouring pans by the two channels' levels: below the curve, the input's colour.
TEST_F(Spectrum, StereoColoursPanByTheTwoChannels) {
  PreviewPlug p = run_with("Colour", 2);
  inst_t* inst = p->Inst();
  const int W = inst->area_w;
  for (const auto& lr : {std::make_pair(0.5, 0.0), std::make_pair(0.0, 0.5), std::make_pair(0.1, 0.3)}) {
    std::fill(inst->spectrum_col[0], inst->spectrum_col[0] + W, lr.first);
    std::fill(inst->spectrum_col[1], inst->spectrum_col[1] + W, lr.second);
    ASSERT_TRUE(paint_rainbows(inst, COLOUR_STEREO));
    lrgb_t want{};
    calc_colour_pan_full(lr.first, lr.second, 2 * inst->colour_gain, inst, &want);
    const lrgb_t& got = inst->fb[(inst->area_y + inst->area_h - 1) * inst->ui_w + inst->area_x + 10];
    EXPECT_EQ((std::vector<int>{got.r, got.g, got.b}), (std::vector<int>{want.r, want.g, want.b})) << lr.first;
  }
}

// Row by row, each pixel shows the input where it lies below its column's curve and the
// output on and above it, however far apart neighbouring columns' curves are.
TEST_F(Spectrum, EachPixelShowsTheInputBelowTheCurveAndTheOutputOnAndAbove) {
  PreviewPlug p = run_with("Colour", 0);
  inst_t* inst = p->Inst();
  const int W = inst->area_w, H = inst->area_h;
  std::fill(inst->response_col, inst->response_col + W, 0.25);  // the output darker than the input
  for (int x = 0; x < W; ++x) inst->curve_row[x] = (x % 7) * (H / 8);
  ASSERT_TRUE(paint_rainbows(inst, COLOUR_RGB));
  const lrgb_t* area = inst->fb + inst->area_y * inst->ui_w + inst->area_x;
  const lrgb_t* bottom = area + (H - 1) * inst->ui_w;  // below every curve: the input
  auto same = [](const lrgb_t& a, const lrgb_t& b) { return std::memcmp(&a, &b, sizeof a) == 0; };
  int differ = 0, wrong = 0;
  for (int x = 0; x < W; ++x) {
    differ += !same(bottom[x], area[x]);
    for (int r = 1; r < H; ++r) wrong += !same(area[r * inst->ui_w + x], r > inst->curve_row[x] ? bottom[x] : area[x]);
  }
  EXPECT_EQ(wrong, 0);
  EXPECT_GT(differ, W / 2);
  // An area without columns or rows, or any of the per-column arrays, is not painted: false,
  // and the frame left as it was. One column and one row are painted.
  const std::vector<lrgb_t> painted(inst->fb, inst->fb + inst->ui_w * inst->ui_h);
  double* sum = inst->spectrum_col[2];
  double* response = inst->response_col;
  int32_t* curve = inst->curve_row;
  const struct {
    int w, h, missing;
  } cases[] = {{0, H, 0}, {W, 0, 0}, {W, H, 1}, {W, H, 2}, {W, H, 3}};
  for (const auto& c : cases) {
    inst->area_w = c.w, inst->area_h = c.h;
    inst->spectrum_col[2] = c.missing == 1 ? nullptr : sum;
    inst->response_col = c.missing == 2 ? nullptr : response;
    inst->curve_row = c.missing == 3 ? nullptr : curve;
    EXPECT_FALSE(paint_rainbows(inst, COLOUR_RGB)) << c.w << " x " << c.h << ", " << c.missing;
  }
  inst->spectrum_col[2] = sum, inst->response_col = response, inst->curve_row = curve;
  inst->area_w = W, inst->area_h = H;
  EXPECT_EQ(std::memcmp(painted.data(), inst->fb, painted.size() * sizeof(lrgb_t)), 0);
  for (const auto& wh : {std::make_pair(1, H), std::make_pair(W, 1)}) {
    inst->area_w = wh.first, inst->area_h = wh.second;
    EXPECT_TRUE(paint_rainbows(inst, COLOUR_RGB)) << wh.first << " x " << wh.second;
  }
  inst->area_w = W, inst->area_h = H;
}

// --- the measured response --------------------------------------------------------------

// Pixels of the dashed line: white light away from the curve (the points are yellow and the
// slope handles faded out).
int dash_pixels(const inst_t* inst) {
  int n = 0;
  for (int x = 0; x < inst->area_w; ++x)
    for (int r = 0; r < inst->area_h; ++r) {
      if (std::abs(r - inst->curve_row[x]) <= 3) continue;
      const lrgb_t& c = inst->fb[(inst->area_y + r) * inst->ui_w + inst->area_x + x];
      n += c.b > 8000;
    }
  return n;
}

TEST_F(Spectrum, DashesOnlyWhereTheKernelCannotFollow) {
  PreviewPlug p = make(1);
  preview_set(p.get(), "Colour Gain", 0);
  preview_signal_t pink;
  preview_run(p.get(), &pink, 3);
  inst_t* inst = p->Inst();
  inst->grid_fade = 3;
  draw_frame(inst);
  EXPECT_EQ(dash_pixels(inst), 0);  // a flat curve is followed exactly

  preview_set(p.get(), "Resolution", 0.2);
  preview_set(p.get(), "Band B gain", 24);
  preview_set(p.get(), "Band C freq", 500);
  preview_set(p.get(), "Band C gain", -24);
  preview_run(p.get(), &pink, 3);
  inst->grid_fade = 3;
  draw_frame(inst);
  const int dashes = dash_pixels(inst);
  EXPECT_GT(dashes, 200);
  // Dashes and gaps: about half of the response line is lit.
  std::vector<lrgb_t> before(inst->fb, inst->fb + inst->ui_w * inst->ui_h);
  draw_frame(inst);
  EXPECT_NEAR(dash_pixels(inst), dashes, dashes * 0.2);
  int moved = 0;
  for (size_t i = 0; i < before.size(); ++i) moved += before[i].b != inst->fb[i].b;
  EXPECT_GT(moved, 50);  // the dashes crawl
}

// The response is dashed where it leaves the curve by more than a pixel at either end of a
// column, measured square to the response: a curve off by some rows at every other column is
// dashed all along or not at all. On a slope of 0.4 rows a column, 1.05 rows off is 0.97 of
// a pixel square to it.
TEST_F(Spectrum, ACurveOffAtEitherEndOfAColumnIsDashed) {
  PreviewPlug p = run_with("Colour Gain", 0);
  inst_t* inst = p->Inst();
  const int W = inst->area_w, H = inst->area_h;
  const struct {
    double slope, off;
    bool dashed;
  } cases[] = {{0, 5, true}, {0, 1.05, true}, {0, 0.95, false}, {0.4, 1.05, false}, {0.4, 1.12, true}};
  for (const auto& c : cases) {
    for (int x = 0; x < W; ++x) {
      const double row = 20 + c.slope * x;
      inst->response_col[x] = std::pow(10.0, pix_to_db(inst, H, row) / 20);
      inst->curve[2][x] = vol_to_pix(inst, H, 2, inst->response_col[x]) + (x % 2 ? 0 : c.off);
    }
    std::fill(inst->fb, inst->fb + inst->ui_w * inst->ui_h, lrgb_t{0, 0, 0, 0});
    draw_dashed_fft(inst);
    int lit = 0;
    for (int x = 0; x < W; ++x) {
      const int row = (int)std::lround(vol_to_pix(inst, H, 2, inst->response_col[x]));
      lit += inst->fb[(inst->area_y + row) * inst->ui_w + inst->area_x + x].g > 0;
    }
    if (c.dashed)
      EXPECT_GT(lit, W / 3) << c.slope << ", " << c.off;
    else
      EXPECT_EQ(lit, 0) << c.slope << ", " << c.off;
  }
}

// Two frames whose dashes are half a period apart light the whole line once: added, a straight
// sloping line has the same light in every column, wherever a dash starts inside a column.
TEST_F(Spectrum, DashesHalfAPeriodApartMakeAWholeLine) {
  PreviewPlug p = run_with("Colour Gain", 0);
  inst_t* inst = p->Inst();
  const int W = inst->area_w, H = inst->area_h;
  for (int x = 0; x < W; ++x) {
    const double row = 100 + 0.37 * x;
    inst->response_col[x] = std::pow(10.0, pix_to_db(inst, H, row) / 20);
    inst->curve[2][x] = row + 5;
  }
  std::fill(inst->fb, inst->fb + inst->ui_w * inst->ui_h, lrgb_t{0, 0, 0, 0});
  for (double phase : {-5000.0, -5000.0 + 12}) {
    inst->dash_phase = phase - 1;  // each frame moves the dashes on by one first
    draw_dashed_fft(inst);
  }
  double lo = 1e300, hi = 0;
  for (int x = 20; x < W - 20; ++x) {
    double sum = 0;
    for (int y = 0; y < H; ++y) sum += inst->fb[(inst->area_y + y) * inst->ui_w + inst->area_x + x].g;
    lo = std::min(lo, sum);
    hi = std::max(hi, sum);
  }
  EXPECT_GT(lo, 0.0);
  EXPECT_LT(hi / lo, 1.01);
}

// Next to either end of the pan the index is the position rounded: one step in from the right
// and one step in from the left.
TEST(PanColours, PanIndexNextToTheEnds) {
  inst_t inst;
  inst.gamma = 1;
  const lrgb_t* pan = pancol();
  const struct {
    double l, r;
    int index;
  } cases[] = {{1, 4095, 4095}, {8191, 1, 1}};
  for (const auto& c : cases) {
    lrgb_t out{};
    calc_colour_pan_full(c.l, c.r, 2 / (c.l + c.r), &inst, &out);
    const lrgb_t& want = pan[c.index];
    EXPECT_TRUE(out.r == want.r && out.g == want.g && out.b == want.b) << c.index;
  }
  EXPECT_NE(pan[4095].r + pan[4095].g + pan[4095].b, pan[4096].r + pan[4096].g + pan[4096].b);
  EXPECT_NE(pan[1].r + pan[1].g + pan[1].b, pan[0].r + pan[0].g + pan[0].b);
}

// A flat response 5 rows off the curve, its dashes starting half a column in: pixel for pixel,
// the halves and wholes of the columns a dash covers (arc s lit where (s - phase) mod 24 < 12),
// and nothing at all while the curve follows the response (the kept geometry follows the rows).
TEST_F(Spectrum, DashesLieExactlyWhereThePhasePutsThem) {
  PreviewPlug p = run_with("Colour Gain", 0);
  inst_t* inst = p->Inst();
  const int W = inst->area_w, w = inst->ui_w, h = inst->ui_h;
  const double X = inst->area_xf, Y = inst->area_yf, phase = -5000.5;
  std::fill(inst->response_col, inst->response_col + W, 0.5);
  const double row = vol_to_pix(inst, inst->area_h, 2, 0.5);
  std::vector<lrgb_t> want(w * h);
  const lrgb_t white = skin().white;
  auto lit = [&](double s) { return std::fmod(s - phase, 24.0) < 12; };
  for (int x = 1; x < W; ++x) {
    const bool first = lit(x - 0.75), second = lit(x - 0.25);
    if (first && second)
      draw_line_thin(want.data(), w, h, white, BLEND_ADD, X + x - 1, Y + row, X + x, Y + row, 0.85, 1.0);
    else if (first || second)
      draw_line_thin_short(want.data(), w, h, white, BLEND_ADD, X + x - 1, Y + row, X + x, Y + row, first ? 0 : 0.5,
                           first ? 0.5 : 1, 0.85, 1.0);
  }
  for (double off : {0.0, 5.0}) {
    std::fill(inst->curve[2], inst->curve[2] + W, row + off);
    std::fill(inst->fb, inst->fb + w * h, lrgb_t{0, 0, 0, 0});
    inst->dash_phase = phase - 1;
    draw_dashed_fft(inst);
    const std::vector<lrgb_t> none(w * h, lrgb_t{0, 0, 0, 0});
    EXPECT_EQ(std::memcmp(inst->fb, (off ? want : none).data(), sizeof(lrgb_t) * w * h), 0) << off;
  }
}

// A steep response (20 rows a column) is cut into pieces shorter than a dash: two frames half
// a period apart light each column as one whole line does.
TEST_F(Spectrum, ASteepLinesDashesHalfAPeriodApartMakeAWholeLine) {
  PreviewPlug p = run_with("Colour Gain", 0);
  inst_t* inst = p->Inst();
  const int W = inst->area_w, H = inst->area_h, w = inst->ui_w, h = inst->ui_h;
  for (int x = 0; x < W; ++x) {
    const double row = 100 + (x % 2) * 20;
    inst->response_col[x] = std::pow(10.0, pix_to_db(inst, H, row) / 20);
    inst->curve[2][x] = 300;
  }
  std::vector<lrgb_t> whole(w * h);
  for (int x = 1; x < W; ++x)
    draw_line_thin(whole.data(), w, h, skin().white, BLEND_ADD, inst->area_xf + x - 1,
                   inst->area_yf + 100 + (x - 1) % 2 * 20, inst->area_xf + x, inst->area_yf + 100 + x % 2 * 20, 0.85, 1.0);
  std::fill(inst->fb, inst->fb + w * h, lrgb_t{0, 0, 0, 0});
  for (double phase : {-5000.0, -5000.0 + 12}) {
    inst->dash_phase = phase - 1;
    draw_dashed_fft(inst);
  }
  double worst = 0;  // each column's light against the whole line's
  for (int x = 20; x < W - 20; ++x) {
    double dashed = 0, full = 0;
    for (int y = 0; y < h; ++y) {
      dashed += inst->fb[y * w + inst->area_x + x].g;
      full += whole[y * w + inst->area_x + x].g;
    }
    worst = std::max(worst, std::abs(dashed / full - 1));
  }
  EXPECT_LT(worst, 1e-3);  // 5e-5; pieces misplaced along the arc give 9e-3
}

// Level colours exactly, in the lowest column (a pure red at three quarters): green and blue
// are the white alone, red adds the hue's tint; below the curve the input, above it the
// output (the input times the response).
TEST_F(Spectrum, LevelColoursExactly) {
  PreviewPlug p = run_with("Colour", 0);
  inst_t* inst = p->Inst();
  const int W = inst->area_w, H = inst->area_h;
  inst->colour_gain = 1;
  std::fill(inst->curve_row, inst->curve_row + W, H / 2);
  const struct {
    double m, response, gamma;
    std::vector<int> in_out;  // r, g, b below the curve, then above it
  } cases[] = {
      {9, 0.5, 1, {32768, 24397, 24397, 32768, 3503, 3503}},
      {1, 0.25, 1.5, {8691, 2, 2, 1086, 0, 0}},
      {3, 2, 0.5, {32768, 6073, 6073, 32768, 16027, 16027}},
      {2.2, 0.5, 1, {27506, 472, 472, 13585, 68, 68}},
  };
  for (const auto& c : cases) {
    std::fill(inst->spectrum_col[2], inst->spectrum_col[2] + W, c.m);
    std::fill(inst->response_col, inst->response_col + W, c.response);
    inst->gamma = c.gamma;
    ASSERT_TRUE(paint_rainbows(inst, COLOUR_RGB));
    const lrgb_t* area = inst->fb + inst->area_y * inst->ui_w + inst->area_x;
    const lrgb_t &in = area[(H - 1) * inst->ui_w], &out = area[0];
    EXPECT_EQ((std::vector<int>{in.r, in.g, in.b, out.r, out.g, out.b}), c.in_out) << c.m;
  }
}

// The capture ring is unrolled oldest sample first from its write position (held to 0 .. L):
// an impulse as far from that position shows the same columns exactly, one sample further
// other ones (the window weighs it differently).
TEST_F(Spectrum, TheCaptureIsUnrolledFromItsWritePosition) {
  PreviewPlug p = run_with("Colour", 0);
  inst_t* inst = p->Inst();
  const int L = inst->capture_len, W = inst->area_w;
  auto columns = [&](int pos, int at) {
    for (double* c : inst->capture) std::fill(c, c + L, 0.0);
    inst->capture[0][at] = 1;
    inst->capture_pos = pos;
    comp_spectral_table(inst);
    return std::vector<double>(inst->spectrum_col[0], inst->spectrum_col[0] + W);
  };
  const std::vector<double> ref = columns(0, L / 4);
  ASSERT_GT(ref[W / 2], 0);
  const struct {
    int pos, at;
    bool same;
  } cases[] = {{-3, L / 4, true},  {L, L / 4, true},         {L + 9, L / 4, true}, {5, L / 4 + 5, true},
               {L - 1, L / 4 - 1, true}, {0, L / 4 + 1, false}, {1, L / 4, false}};
  for (const auto& c : cases) EXPECT_EQ(columns(c.pos, c.at) == ref, c.same) << c.pos << " " << c.at;
}

}  // namespace
