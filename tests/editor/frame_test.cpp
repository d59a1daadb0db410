#include "editor/frame.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "editor/controls.h"
#include "editor/curve.h"
#include "editor/knobs.h"
#include "editor/layout.h"
#include "editor/skin.h"
#include "editor_env.h"
#include "engine/bands.h"
#include "engine/levels.h"
#include "framework/IGraphics.h"
#include "support/golden.h"
#include "toolkit/font.h"
#include "toolkit/graphics/colour.h"

namespace {

struct Frame : EditorTest {};

TEST_F(Frame, TheDelayMessageFollowsAResizing) {
  PreviewPlug p = make(1);
  preview_set(p.get(), "Resolution", 16);
  preview_set(p.get(), "Input Buffer Size", 6);
  preview_signal_t pink;
  preview_run(p.get(), &pink, 1);
  inst_t* inst = p->Inst();
  EXPECT_STREQ(inst->info_text->string, "Delay: 402 ms (kernel: 186 ms, buffer: 216 ms)");
  EXPECT_EQ(inst->bufs_state, 0);
  EXPECT_EQ(inst->samples_since_frame, 0);
  // Shown once: the next frame leaves a new message alone.
  std::strcpy(inst->info_text->string, "something else");
  preview_run(p.get(), &pink, 1);
  EXPECT_STREQ(inst->info_text->string, "something else");
  // The info line is drawn in black over the panel.
  int dark = 0;
  for (int x = 200; x < 320; ++x)
    for (int y = 2; y < 20; ++y) dark += inst->fb[y * inst->ui_w + x].g < 4000;
  EXPECT_GT(dark, 50);
}

TEST_F(Frame, CurveGridsAndResponseFollowChangesWithTheColoursOff) {
  PreviewPlug p = make(1);
  preview_set(p.get(), "Colour Gain", 0);
  preview_set(p.get(), "Vert. Range", 12);
  preview_set(p.get(), "Band C freq", 1000);
  preview_set(p.get(), "Band C gain", -20);
  preview_signal_t pink;
  preview_run(p.get(), &pink, 2);
  const inst_t* inst = p->Inst();
  EXPECT_EQ(inst->vrange_dirty + inst->hview_dirty + inst->grids_stale, 0);  // each change served once
  // 0 dB now sits at row 250.26; the curve there is flat at 0 dB.
  EXPECT_EQ(inst->curve_row[(int)std::lround(813 * 0.05)], 250);
  // The dashed response is measured from the kernel in use, not an old one.
  const int x1k = (int)std::lround(813 * axis_pos(1000));
  EXPECT_NEAR(20 * std::log10(inst->response_col[x1k]), -20, 1);
  EXPECT_GT(inst->curve[2][x1k], inst->area_h + 100);  // the curve's rows leave the area: drawing clips them
  // Zoomed in, the curve is designed anew for the view: 1 kHz keeps its level in its new column.
  const double at_1k = inst->curve[1][x1k];
  preview_set(p.get(), "Hor. Zoom", 2);
  preview_run(p.get(), &pink, 1);
  const double u = (axis_pos(1000) - inst->view_u_lo) / (inst->view_u_hi - inst->view_u_lo);
  EXPECT_NEAR(inst->curve[1][(int)std::lround(813 * u)], at_1k, 0.01);
  EXPECT_EQ(inst->hview_dirty, 0);
}

TEST_F(Frame, TheScreenGetsTheDitheredFrame) {
  PreviewPlug p = make(0);
  preview_signal_t pink;
  preview_run(p.get(), &pink, 5);
  const inst_t* inst = p->Inst();
  const int n = inst->ui_w * inst->ui_h;
  std::vector<srgb_t> plain(n);
  convert_lrgb_to_srgb(plain.data(), inst->fb, n, 0);
  int off = 0, off_by_more = 0, worst = 0;
  for (int i = 0; i < n; ++i) {
    const int d = std::max({std::abs(plain[i].r - inst->screen_bits[i].r), std::abs(plain[i].g - inst->screen_bits[i].g),
                            std::abs(plain[i].b - inst->screen_bits[i].b)});
    off += d > 0;
    off_by_more += d > 1;
    worst = std::max(worst, d);
  }
  EXPECT_GT(off, n / 10);  // dithered, not rounded
  EXPECT_LT(off_by_more, n / 20);  // the dither spreads by half a step
  EXPECT_LE(worst, 3);
}

// The grids' fade timer runs a step a frame from its start to 6, then stays; 0 is grids shown.
TEST_F(Frame, TheGridFadeAdvancesAStepAFrameWhileItRuns) {
  PreviewPlug p = make(0);
  inst_t* inst = p->Inst();
  const double cases[][2] = {{0, 0}, {1e-7, 0.0040001}, {1, 1.004}, {5.999, 6.003}, {6, 6}, {7.5, 7.5}};
  for (const auto& c : cases) {
    inst->grid_fade = c[0];
    draw_frame(inst);
    EXPECT_DOUBLE_EQ(inst->grid_fade, c[1]) << c[0];
  }
}

// Composed frames: every channel within 3 of 255 steps on all but 0.1 % of the pixels (the
// FFTs and fast math may round differently on other processors).
void check_frame(const char* name, int size, preview_signal_t sig, int frames,
                 std::initializer_list<std::pair<const char*, double>> settings) {
  preview_scratch_config();
  PreviewPlug p = preview_make(size);
  ASSERT_NE(p, nullptr);
  for (const auto& s : settings) ASSERT_TRUE(preview_set(p.get(), s.first, s.second)) << s.first;
  p->Inst()->grid_fade = 0;
  preview_run(p.get(), &sig, frames);
  const inst_t* inst = p->Inst();
  check_golden("editor", name, inst->fb, inst->ui_w, inst->ui_h, 3, inst->ui_w * inst->ui_h / 1000);
}

// Knobs copied back from their kept boxes give the frame drawing them anew gives, whatever
// turns, resizes or relabels in between.
TEST_F(Frame, KeptKnobsAreTheKnobsDrawn) {
  PreviewPlug kept = make(1), drawn = make(1);
  drawn->Inst()->knob_cache = nullptr;
  preview_signal_t sig[2];
  const std::pair<const char*, double> steps[] = {
      {"Band A gain", 3},   {"Band A gain", 3.04},  {"Band A gain", 3.06},   {"Limiter", -24},
      {"Band B freq", 20000},
      {"Vert. Range", 12},  {"Colour", 2},          {"Interface Size", 2},   {"Band A gain", -90},
      {"Band C on", 0},     {"Interface Size", 0},  {"Colour Gain", 40},     {"Band A gain", 0}};
  for (const auto& step : steps) {
    int n = 0;
    for (Quillmar* p : {kept.get(), drawn.get()}) {
      ASSERT_TRUE(preview_set(p, step.first, step.second)) << step.first;
      preview_run(p, &sig[n++], 2);
    }
    const inst_t *a = kept->Inst(), *b = drawn->Inst();
    ASSERT_EQ(a->ui_w * a->ui_h, b->ui_w * b->ui_h);
    EXPECT_EQ(std::memcmp(a->fb, b->fb, sizeof(lrgb_t) * a->ui_w * a->ui_h), 0) << step.first << " " << step.second;
  }
}

// The knobs' value texts, exactly; a golden frame would not see a changed digit.
// An instance without room for what the frame keeps (the panel's runs, the curve line's image,
// the dashes' geometry, the spectrum's bins, the display conversion's scratch) draws the same
// frames to the last bit, and shows each on the screen (within the dither's reach): the kept
// paths must give what the plain ones give, and follow every change.
TEST_F(Frame, WithoutItsKeptImagesTheFrameIsTheSame) {
  PreviewPlug kept = make(1), plain = make(1);
  inst_t* b = plain->Inst();
  b->layout_runs = nullptr;
  b->curve_line_image = nullptr;
  b->dash_cache = nullptr;
  b->bin_cache = nullptr;
  b->convert_scratch = nullptr;
  preview_signal_t sig[2];
  const std::pair<const char*, double> steps[] = {
      {"Colour Gain", 0},   {"Band A gain", 12},      {"Band C freq", 300},     {"Vert. Range", 12},
      {"Colour Gain", 40},  {"Hor. Zoom", 3},         {"Hor. Position", 0.3},  {"Hor. Position", 0.7},
      {"Hor. Zoom", 2.5}};
  for (const auto& step : steps) {
    int n = 0;
    for (Quillmar* p : {kept.get(), plain.get()}) {
      ASSERT_TRUE(preview_set(p, step.first, step.second)) << step.first;
      preview_run(p, &sig[n++], 2);
    }
    const inst_t* a = kept->Inst();
    const size_t pixels = (size_t)a->ui_w * a->ui_h;
    EXPECT_EQ(std::memcmp(a->fb, b->fb, sizeof(lrgb_t) * pixels), 0) << step.first << " " << step.second;
    for (const inst_t* inst : {a, (const inst_t*)b}) {
      std::vector<srgb_t> rounded(pixels);
      convert_lrgb_to_srgb(rounded.data(), inst->fb, (int)pixels, 0);
      int worst = 0;
      size_t moved = 0;  // dithered: some pixels leave their plain rounding
      for (size_t i = 0; i < pixels; ++i) {
        const srgb_t &s = inst->screen_bits[i], &t = rounded[i];
        const int d = std::max({std::abs(s.r - t.r), std::abs(s.g - t.g), std::abs(s.b - t.b)});
        worst = std::max(worst, d);
        moved += d > 0;
      }
      EXPECT_LE(worst, 3) << step.first << " " << step.second << (inst == a ? ", kept" : ", plain");
      EXPECT_GT(moved, pixels / 10) << step.first << " " << step.second << (inst == a ? ", kept" : ", plain");
    }
  }
}

TEST_F(Frame, KnobValueTexts) {
  PreviewPlug p = make(1);
  inst_t* inst = p->Inst();
  inst->sel_band = 1;
  ASSERT_TRUE(preview_set(p.get(), "Band A on", 0));  // another band off changes nothing
  const struct {
    int slot;
    double value;
    const char* text;  // nullptr: no text, the previous one stays
  } cases[] = {
      {CTRL_BAND_GAIN, -68.68588963806504, "-INF"}, {CTRL_BAND_GAIN, 0, "0.0"},
      {CTRL_BAND_GAIN, -60.5, "-60.5"},  // real dB below the curve's -60: -60.51
      {CTRL_BAND_GAIN, -68.6858076379792, "-INF"},  // -160.5 real dB
      {CTRL_BAND_GAIN, -68.68579763245548, "-159.5"}, {CTRL_BAND_GAIN, 12.34, "12.3"},
      {CTRL_BAND_FREQ, 999.6, "1000"},              {CTRL_BAND_FREQ, 20, "20"},
      {CTRL_BAND_SLOPE, -100, "-100"},              {CTRL_BAND_SLOPE, 99.94, "99.9"},
      {CTRL_BAND_SLOPE, 99.95, "100"},              {CTRL_BAND_SLOPE, -99.94, "-99.9"},
      {CTRL_COLOUR, 0, "RGB"},                      {CTRL_COLOUR, 1.5, "CMY"},
      {CTRL_COLOUR, 2.9, "Stereo"},                 {CTRL_COLOUR, 3, nullptr},
      {CTRL_COLOUR, -0.5, nullptr},                 {CTRL_INTERFACE_SIZE, 0, "780"},
      {CTRL_INTERFACE_SIZE, 1, "1060"},             {CTRL_INTERFACE_SIZE, 2, "1220"},
      {CTRL_INTERFACE_SIZE, 3, nullptr},            {CTRL_COLOUR_GAIN, 0.5, "0.50"},
      {CTRL_COLOUR_GAIN, 0, "0.0"},                 {CTRL_COLOUR_GAIN, 1, "1.0"},
      {CTRL_OVERALL_GAIN, -0.5, "-0.50"},           {CTRL_OVERALL_GAIN, 0.9989, "1.00"},
      {CTRL_OVERALL_GAIN, 0.999, "1.0"},            {CTRL_LIMITER, -24.25, "-24.2"},
  };
  for (const auto& c : cases) {
    char text[32] = "kept";
    EXPECT_EQ(knob_value_text(inst, c.slot, c.value, text, sizeof text), c.text != nullptr)
        << c.slot << " " << c.value;
    EXPECT_STREQ(text, c.text ? c.text : "kept") << c.slot << " " << c.value;
  }
  // The selected band off: its three knobs have no text, the others keep theirs.
  ASSERT_TRUE(preview_set(p.get(), "Band B on", 0));
  for (int slot : {CTRL_BAND_GAIN, CTRL_BAND_FREQ, CTRL_BAND_SLOPE, CTRL_COLOUR_GAIN}) {
    char text[32] = "kept";
    EXPECT_TRUE(knob_value_text(inst, slot, 0.5, text, sizeof text));
    EXPECT_STREQ(text, slot == CTRL_COLOUR_GAIN ? "0.50" : "") << slot;
  }
}

// The information line while a point or handle is dragged, exactly.
TEST_F(Frame, DragInformationTexts) {
  PreviewPlug p = make(1);
  inst_t* inst = p->Inst();
  ASSERT_NE(inst->info_text, nullptr);
  const struct {
    int band, handle;
    double freq, gain, slope;
    const char* text;
  } cases[] = {
      {1, HANDLE_POINT, 1000, 3.5, 0, "Band B : freq: 1000 Hz - gain: +3.50 dB"},
      {1, HANDLE_POINT, 50, -20, 0, "Band B : freq: 50.0 Hz - gain: -20.0 dB"},
      {0, HANDLE_POINT, 99.96, 12.5, 0, "Band A : freq: 100.0 Hz - gain: +12.5 dB"},
      {3, HANDLE_POINT, 100, -12.49, 0, "Band D : freq:  100 Hz - gain: -12.49 dB"},
      {2, HANDLE_POINT, 20000, -68.68588963806504, 0, "Band C : freq: 20000 Hz - gain: -INF dB"},
      {2, HANDLE_POINT, 8000, -68.6858076379792, 0, "Band C : freq: 8000 Hz - gain: -INF dB"},  // -160.5
      {2, HANDLE_POINT, 8000, -68.68579763245548, 0, "Band C : freq: 8000 Hz - gain: -159.5 dB"},
      {1, HANDLE_RIGHT, 370, 0, 12.25, "Band B, top handle : freq:  370 Hz - slope: 12.2 dB/octave"},
      {0, HANDLE_LEFT, 50, 0, 3, "Band A, bottom handle : freq: 50.0 Hz - slope: 3.0  dB/octave"},
      {3, HANDLE_LEFT, 99.9, 0, -40, "Band D, bottom handle : freq: 99.9 Hz - slope: -40.0 dB/octave"},
  };
  for (const auto& c : cases) {
    inst->drag_band = c.band;
    inst->drag_handle = c.handle;
    inst->bands[c.band].freq = c.freq;
    inst->bands[c.band].gain = c.gain;
    inst->bands[c.band].slope = c.slope;
    print_control_info(inst);
    EXPECT_STREQ(inst->info_text->string, c.text);
  }
  // No band dragged, or none of the four: the line stays.
  for (int band : {-1, 4}) {
    inst->drag_band = band;
    print_control_info(inst);
    EXPECT_STREQ(inst->info_text->string, cases[9].text);
  }
}

TEST_F(Frame, GoldenPinkNoiseInStereo) { check_frame("frame_pink_stereo", 1, preview_signal_t{}, 30, {}); }

TEST_F(Frame, GoldenSmallestSizeWithTheLimiterLit) {
  check_frame("frame_small_limiter", 0, preview_signal_t{}, 30, {{"Limiter", -24}, {"Band A gain", 12}});
}

// A peak far over the threshold lights the light fully and fades from there like any other.
TEST_F(Frame, TheLimiterLightFadesFromFullHoweverFarThePeakWent) {
  PreviewPlug p = make(0);
  for (const double peak : {0.5, 1.0, 5.0}) {
    p->Inst()->limiter_over.store(peak);
    draw_frame(p->Inst());
    EXPECT_EQ(p->Inst()->limiter_over.load(), std::min(peak, 1.0) * 0.9) << peak;
  }
}

// The light adds the light sprite tinted (192, 240, 255) and scaled by the peak, centred on
// the Limiter knob; no peak, or one that is not a number, adds nothing. Any sprite adds its
// light, one pixel too; none adds nothing.
TEST_F(Frame, TheLimiterLightExactly) {
  PreviewPlug p = make(0);
  inst_t* inst = p->Inst();
  draw_frame(inst);  // loads the skin
  const int W = inst->ui_w;
  const size_t n = (size_t)W * inst->ui_h;
  const image_t& light = skin().light;
  const lrgb_t tint = make_colour_srgb(192, 240, 255, 255);
  const int x0 = inst->layout[CTRL_LIMITER].x - light.w / 2, y0 = inst->layout[CTRL_LIMITER].y - light.h / 2;
  for (const double peak : {0.0, std::nan(""), 0.5}) {
    std::fill(inst->fb, inst->fb + n, lrgb_t{0, 0, 0, 0});
    inst->limiter_over.store(peak);
    draw_limiter_light(inst);
    const int64_t f[3] = {(int64_t)(tint.r * 0.5 + 0.5), (int64_t)(tint.g * 0.5 + 0.5), (int64_t)(tint.b * 0.5 + 0.5)};
    size_t lit = 0, wrong = 0;
    for (int j = 0; j < light.h; ++j)
      for (int i = 0; i < light.w; ++i) {
        const lrgb_t &s = light.l[j * light.w + i], &got = inst->fb[(y0 + j) * W + x0 + i];
        const bool on = peak > 0;
        wrong += got.r != (on ? (s.r * f[0]) >> 15 : 0) || got.g != (on ? (s.g * f[1]) >> 15 : 0) ||
                 got.b != (on ? (s.b * f[2]) >> 15 : 0);
        lit += got.r + got.g + got.b > 0;
      }
    EXPECT_EQ(wrong, 0u) << peak;
    EXPECT_EQ(lit > 100, peak > 0) << peak;
  }
  const lrgb_t dot{16384, 8192, 32768, 32768}, full{32768, 32768, 32768, 32768};
  std::fill(inst->fb, inst->fb + n, lrgb_t{0, 0, 0, 0});
  blit_sprite_fma(inst, nullptr, 1, 1, 10, 10, 0, &full, 1.0);
  blit_sprite_fma(inst, &dot, 1, 1, 10, 10, 0, &full, 1.0);
  const lrgb_t& got = inst->fb[10 * W + 10];
  EXPECT_EQ(got.r + 10 * got.g + 100 * got.b, 16384 + 81920 + 3276800);
}

// The notice that a new interface size waits for a restart shows once the editor has drawn 21
// frames (a size set before is the one the editor opened with).
TEST_F(Frame, TheRestartNoticeWaitsForTheTwentyFirstFrame) {
  PreviewPlug p = make(0);
  const char* notice = "The interface size will change after you restart Quillmar.";
  preview_signal_t sig;
  preview_run(p.get(), &sig, 20);
  preview_set(p.get(), "Interface Size", 1);
  EXPECT_STRNE(p->Inst()->info_text->string, notice);
  preview_run(p.get(), &sig, 1);
  preview_set(p.get(), "Interface Size", 2);
  EXPECT_STREQ(p->Inst()->info_text->string, notice);
}

// An instance whose knob slots are missing (its memory ran out) draws its frames without knobs.
TEST_F(Frame, WithoutKnobSlotsNoKnobIsDrawn) {
  PreviewPlug p = make(0);
  inst_t* inst = p->Inst();
  draw_frame(inst);
  const int at = inst->layout[CTRL_LIMITER].y * inst->ui_w + inst->layout[CTRL_LIMITER].x;
  ASSERT_NE(inst->fb[at].g, inst->bg_final[at].g);  // a knob there
  inst->layout = nullptr;
  draw_frame(inst);
  EXPECT_EQ(inst->fb[at].g, inst->bg_final[at].g);
}

// An editor without a graphics context loads the colours and fonts but no image, and leaves
// the images to the next editor that has one. In a process of its own, where no editor has
// loaded the skin yet.
TEST_F(Frame, AnEditorWithoutAContextLeavesTheImagesToTheNext) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        skin_ensure(nullptr);
        const skin_t& sk = skin();
        const bool first = !sk.bknob.l && sk.font && sk.white.r == 32768 && sk.white.g == 32768 &&
                           sk.white.b == 32768 && sk.white.a == 32768 && sk.black.r + sk.black.g + sk.black.b == 0 &&
                           sk.black.a == 32768;
        PreviewPlug p = preview_make(0);
        draw_frame(p->Inst());
        std::exit(first && sk.bknob.l && sk.shade.w == 84 ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(Frame, GoldenSineUnderACut) {
  preview_signal_t sine;
  sine.kind = preview_signal_t::SINE;
  check_frame("frame_sine_cut_rgb", 1, sine, 30, {{"Colour", 0}, {"Band C freq", 1000}, {"Band C gain", -20}});
}

TEST_F(Frame, GoldenSteepCurveAtLowResolution) {
  check_frame("frame_steep_cmy", 2, preview_signal_t{}, 30,
              {{"Colour", 1}, {"Resolution", 0.2}, {"Band B gain", 24}, {"Band C freq", 500}, {"Band C gain", -24},
               {"Vert. Range", 36}});
}

// Zooming by wheel steps and panning by a right-button drag, a frame after every step, then
// at rest: the frame then is the one every view change has always led to.
TEST_F(Frame, GoldenAfterTheWheelStops) {
  preview_scratch_config();
  PreviewPlug p = preview_make(2);
  ASSERT_NE(p, nullptr);
  preview_signal_t pink;
  preview_run(p.get(), &pink, 10);
  const inst_t* inst = p->Inst();
  IGraphics* g = p->GetGUI();
  const int x = inst->area_x + 300, y = inst->area_y + 250;
  IMouseMod none, right(false, true);
  g->OnMouseOver(x, y, &none);
  for (int d : {1, 1, 1, 1, 1, -1}) {
    g->OnMouseWheel(x, y, &none, d);
    preview_run(p.get(), &pink, 1);
  }
  g->OnMouseDown(x, y, &right);
  for (int step = 1; step <= 4; ++step) {
    g->OnMouseDrag(x - 15 * step, y, &right);
    preview_run(p.get(), &pink, 1);
  }
  g->OnMouseUp(x - 60, y, &right);
  preview_run(p.get(), &pink, 20);
  check_golden("editor", "frame_after_zoom", inst->fb, inst->ui_w, inst->ui_h, 3, inst->ui_w * inst->ui_h / 1000);
}

// Knob images of sizes the shipped skin never has (a little wider or taller than a kept box,
// a box apart from its neighbours but with more pixels than a kept box holds; far wider, its
// texts outside) draw, over several frames and a turned knob, what drawing every knob anew draws.
TEST_F(Frame, KeptKnobsOfOddSizesAreTheKnobsDrawn) {
  const int sizes[][2] = {{66, 64}, {64, 90}, {120, 40}};
  for (const auto& size : sizes) {
    const int w = size[0], h = size[1];
    std::vector<lrgb_t> pixels((size_t)w * h * KNOB_FRAMES);
    for (size_t i = 0; i < pixels.size(); ++i) {
      const uint16_t v = (uint16_t)(i * 2654435761u % 32768);
      pixels[i] = lrgb_t{v, (uint16_t)(32768 - v), (uint16_t)(v / 2), 32768};
    }
    image_t image{};
    image.w = w;
    image.h = h;
    image.l = pixels.data();
    PreviewPlug kept = make(1), drawn = make(1);
    drawn->Inst()->knob_cache = nullptr;
    for (const double gain : {0.0, 0.0, 6.0, 6.0}) {
      for (Quillmar* p : {kept.get(), drawn.get()}) {
        preview_set(p, "Band A gain", gain);
        inst_t* inst = p->Inst();
        prepare_panel(inst);
        std::memcpy(inst->fb, inst->bg_final, sizeof(lrgb_t) * inst->ui_w * inst->ui_h);
        for (int slot = 1; slot < CTRL_COUNT; ++slot) draw_knob(inst, &image, nullptr, knob_param(inst->sel_band, slot), slot);
      }
      const inst_t *a = kept->Inst(), *b = drawn->Inst();
      EXPECT_EQ(std::memcmp(a->fb, b->fb, sizeof(lrgb_t) * a->ui_w * a->ui_h), 0) << w << "x" << h << " " << gain;
    }
  }
}

// A panel whose rows end in pixels it does not hide: the frame clears those too, as a frame
// drawn without the panel's runs does.
TEST_F(Frame, RowsEndingUnderAnOpenPanelAreCleared) {
  PreviewPlug kept = make(0), plain = make(0);
  plain->Inst()->layout_runs = nullptr;
  preview_signal_t sig[2];
  int n = 0;
  for (Quillmar* p : {kept.get(), plain.get()}) {
    preview_run(p, &sig[n], 1);
    inst_t* inst = p->Inst();
    for (int y = 0; y < inst->ui_h; ++y) inst->bg_final[(y + 1) * inst->ui_w - 1].a = 0;
    inst->layout_stale = 1;
    preview_run(p, &sig[n++], 1);
  }
  const inst_t *a = kept->Inst(), *b = plain->Inst();
  EXPECT_EQ(std::memcmp(a->fb, b->fb, sizeof(lrgb_t) * a->ui_w * a->ui_h), 0);
}

// The buffer's delay is N + 1 - K samples (N the FFT, 1350, K the kernel, 1025): at rates
// that put it just over and just under half a millisecond, a sample more or less shows.
TEST_F(Frame, TheDelayMessageCountsTheBuffersSamplesExactly) {
  PreviewPlug p = make(1);
  preview_signal_t pink;
  preview_run(p.get(), &pink, 1);
  inst_t* inst = p->Inst();
  const struct {
    double rate;
    const char* text;
  } cases[] = {{43400, "Delay: 19 ms (kernel: 12 ms, buffer: 8 ms)"},  // 326 samples: 7.51 ms
               {43525, "Delay: 19 ms (kernel: 12 ms, buffer: 7 ms)"}};  // 7.49 ms
  for (const auto& c : cases) {
    inst->samplerate = c.rate;
    inst->bufs_state = 2;
    draw_frame(inst);
    EXPECT_STREQ(inst->info_text->string, c.text) << c.rate;
  }
}

// A grid made stale with nothing else changed is made again: a frame over a spoilt grid image
// is the frame drawn before it spoilt.
TEST_F(Frame, AStaleGridAloneIsMadeAgain) {
  PreviewPlug p = make(1);
  preview_signal_t pink;
  preview_run(p.get(), &pink, 2);
  inst_t* inst = p->Inst();
  inst->grid_fade = 0;
  const size_t n = (size_t)inst->ui_w * inst->ui_h;
  std::vector<lrgb_t> frames[2];
  for (std::vector<lrgb_t>& f : frames) {
    inst->dash_phase = -1000;
    inst->ring_phase = 0.5;
    draw_frame(inst);
    f.assign(inst->fb, inst->fb + n);
    std::fill(inst->grid_packed, inst->grid_packed + n, lrgb_t{0, 0, 0, 0});
    inst->grids_stale = 1;
  }
  EXPECT_EQ(std::memcmp(frames[0].data(), frames[1].data(), sizeof(lrgb_t) * n), 0);
}

// A frame leaves nothing of what the frame buffer held before (the area's alpha too): drawn
// over garbage it is the frame drawn over the last one.
TEST_F(Frame, AFrameOverGarbageIsTheSameFrame) {
  PreviewPlug p = make(0);
  preview_signal_t pink;
  preview_run(p.get(), &pink, 2);
  inst_t* inst = p->Inst();
  const size_t n = (size_t)inst->ui_w * inst->ui_h;
  std::vector<lrgb_t> frames[2];
  for (int k = 0; k < 2; ++k) {
    if (k) std::fill(inst->fb, inst->fb + n, lrgb_t{12345, 23456, 3456, 32768});
    inst->grid_fade = 0;
    inst->dash_phase = -1000;
    inst->ring_phase = 0.5;
    draw_frame(inst);
    frames[k].assign(inst->fb, inst->fb + n);
  }
  EXPECT_EQ(std::memcmp(frames[0].data(), frames[1].data(), sizeof(lrgb_t) * n), 0);
  EXPECT_EQ(frames[1][(inst->area_y + inst->area_h - 1) * inst->ui_w + inst->area_x + 100].a, 0);
}

// What a frame may not use leaves the instance alone: no frame buffer or an empty window
// draws nothing (the frame count is not reset), a missing text or size skips the delay message
// (it waits), and the curve's rows end at the area's last column.
TEST_F(Frame, WhatAFrameMayNotUseIsLeftAlone) {
  PreviewPlug p = make(0);
  inst_t* inst = p->Inst();
  draw_frame(inst);
  lrgb_t* const fb = inst->fb;
  text_t* const text = inst->info_text;
  int32_t *const kernel = inst->kernel_size_ref, *const fft = inst->fft_size_ref;
  const int w = inst->ui_w, h = inst->ui_h, W = inst->area_w;
  for (int k = 0; k < 6; ++k) {
    inst->samples_since_frame = 7;
    inst->bufs_state = 2;
    inst->vrange_dirty = 1;
    inst->curve[2][W] = -5;
    inst->curve_row[W] = -5;
    if (k == 0) inst->fb = nullptr;
    if (k == 1) inst->ui_w = 0;
    if (k == 2) inst->ui_h = 0;
    if (k == 3) inst->info_text = nullptr;
    if (k == 4) inst->kernel_size_ref = nullptr;
    if (k == 5) inst->fft_size_ref = nullptr;
    draw_frame(inst);
    inst->fb = fb;
    inst->ui_w = w;
    inst->ui_h = h;
    inst->info_text = text;
    inst->kernel_size_ref = kernel;
    inst->fft_size_ref = fft;
    EXPECT_EQ(inst->samples_since_frame, k < 3 ? 7 : 0) << k;
    EXPECT_EQ(inst->bufs_state, 2) << k;
    EXPECT_EQ(inst->curve[2][W], -5) << k;
    EXPECT_EQ(inst->curve_row[W], -5) << k;
  }
}

}  // namespace
