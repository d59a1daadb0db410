// The editor played as a user plays it: mouse and keys through the graphics context's
// platform entry points, audio through the plug-in, results read from the parameters and
// from what the host was told.
#include <sys/stat.h>

#include <cmath>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "editor/controls.h"
#include "editor/curve.h"
#include "editor/view.h"
#include "editor_env.h"
#include "engine/bands.h"
#include "engine/levels.h"
#include "framework/IControl.h"
#include "framework/IGraphics.h"
#include "framework/IParam.h"
#include "engine/params.h"
#include "plugin/io.h"
#include "plugin/params.h"
#include "support/gesture_script.h"
#include "toolkit/font.h"
#include "toolkit/util/mutex.h"

namespace {

using Event = IPluginCli::HostEvent;

struct Interaction : EditorTest {
  PreviewPlug p = make(1);
  inst_t* inst = p->Inst();
  IGraphics* g = p->GetGUI();
  preview_signal_t pink;
  long long t = 0;
  IMouseMod left{true}, right{true, true}, ctrl{true, false, false, true};

  void SetUp() override { preview_run(p.get(), &pink, 3); }  // handles placed, audio flowing
  double param(const char* name) { return p->GetParam(param_index(name))->Value(); }
  void press(double x, double y, IMouseMod m) { g->PlatformMouseDown((int)std::lround(x), (int)std::lround(y), m, t += 1000); }
  void release(double x, double y, IMouseMod m) { g->PlatformMouseUp((int)std::lround(x), (int)std::lround(y), m); }
  void drag(double x0, double y0, double x1, double y1, IMouseMod m = IMouseMod(true)) {
    press(x0, y0, m);
    for (int k = 1; k <= 4; ++k)
      g->PlatformMouseMove((int)std::lround(x0 + (x1 - x0) * k / 4), (int)std::lround(y0 + (y1 - y0) * k / 4), m, true);
    release(x1, y1, m);
  }
  void double_click(double x, double y, IMouseMod m = IMouseMod(true)) {
    press(x, y, m);
    release(x, y, m);
    g->PlatformMouseDown((int)std::lround(x), (int)std::lround(y), m, t + 100);
    release(x, y, m);
  }
  int count(char kind) {
    int n = 0;
    for (const Event& e : p->HostEvents()) n += e.kind == kind;
    return n;
  }
};

// Hovering reads the frequency and level under the pointer at the area's corners exactly, and
// leaving the area clears the line. The grids show in full while the pointer is inside and
// start fading when it leaves; a fade already running goes on.
TEST_F(Interaction, HoveringShowsFrequencyAndLevelUnderThePointer) {
  const int x0 = inst->area_x, y0 = inst->area_y, x1 = x0 + inst->area_w - 1, y1 = y0 + inst->area_h - 1;
  const struct {
    int x, y;
    const char* text;
    double fade_before, fade;
  } cases[] = {
      {x0, y0, "freq: 20.0 Hz - gain: +60.0 dB", 2.5, 0},
      {x1, y1, "freq: 20000 Hz - gain: -INF dB", 0, 0},
      {x1 + 1, y0, "", 0, 1e-7},
      {x0, y1 + 1, "", 2.5, 2.5},
  };
  for (const auto& c : cases) {
    inst->grid_fade = c.fade_before;
    g->PlatformMouseMove(c.x, c.y, IMouseMod(), false);
    EXPECT_STREQ(inst->info_text->string, c.text) << c.x << " " << c.y;
    EXPECT_EQ(inst->grid_fade, c.fade) << c.x << " " << c.y;
  }
  g->PlatformMouseMove(x0, y0, IMouseMod(), false);
  g->PlatformMouseLeave();
  EXPECT_STREQ(inst->info_text->string, "");
  EXPECT_EQ(inst->grid_fade, 1e-7);
  // Over a point or a handle, the editor knows which; off them, it keeps the last one.
  const eqband_t &B = inst->bands[1], &C = inst->bands[2];
  const struct {
    double x, y;
    int hover, band, handle;
  } over[] = {{C.point_px, C.point_py, 1, 2, HANDLE_POINT}, {B.left_px, B.left_py, 1, 1, HANDLE_LEFT},
              {x0 + 1.0, y0 + 1.0, 0, 1, HANDLE_LEFT},        {C.right_px, C.right_py, 1, 2, HANDLE_RIGHT}};
  for (const auto& o : over) {
    g->PlatformMouseMove((int)std::lround(o.x), (int)std::lround(o.y), IMouseMod(), false);
    EXPECT_EQ(inst->hover, o.hover) << o.x;
    EXPECT_EQ(inst->hover_band, o.band) << o.x;
    EXPECT_EQ(inst->hover_handle, o.handle) << o.x;
  }
}

TEST_F(Interaction, DraggingAPointMovesItsBandOneGestureForTheHost) {
  const eqband_t& B = inst->bands[1];
  p->ClearHostEvents();
  const int programs = p->ProgramChanges();
  press(B.point_px, B.point_py, left);
  EXPECT_STREQ(inst->info_text->string, "Band B : freq:  370 Hz - gain: +0.00 dB");
  EXPECT_EQ(g->GetControl(CTRL_BAND_FREQ)->ParamIdx(), 9);  // the band knobs follow band B
  g->PlatformMouseMove((int)B.point_px + 80, (int)B.point_py - 60, left, true);
  release(B.point_px + 80, B.point_py - 60, left);
  // One gesture on the two parameters the point moves.
  std::vector<Event> gestures;
  for (const Event& e : p->HostEvents())
    if (e.kind != 'v') gestures.push_back(e);
  EXPECT_EQ(gestures, (std::vector<Event>{{'b', 5}, {'b', 9}, {'e', 5}, {'e', 9}}));
  p->ClearHostEvents();
  EXPECT_EQ(param("Band B gain"), 0.000001);  // the parameters follow at the next kernel update
  preview_run(p.get(), &pink, 2);
  EXPECT_GT(param("Band B gain"), 10);
  EXPECT_GT(param("Band B freq"), 600);
  EXPECT_GT(p->ProgramChanges(), programs);
  EXPECT_NEAR(g->GetControl(CTRL_BAND_GAIN)->GetValue(), p->GetParam(5)->GetNormalized(), 1e-12);
  EXPECT_EQ(count('v'), 0);  // the knobs take the written-back values as the plug-in's, unreported
}

// Dragged beyond the area a point stops at its edge; a move without the left button leaves it.
TEST_F(Interaction, APointStopsAtTheAreasEdgeAndFollowsOnlyTheLeftButton) {
  const eqband_t& B = inst->bands[1];
  const double f0 = B.freq, g0 = B.gain;
  press(B.point_px, B.point_py, left);
  g->PlatformMouseMove(inst->area_x + 300, inst->area_y + 20, IMouseMod(false, true), true);
  EXPECT_EQ(B.freq, f0);
  EXPECT_EQ(B.gain, g0);
  const struct {
    int x, y;
    const char* text;
  } cases[] = {
      {inst->area_x - 40, inst->area_y - 40, "Band B : freq: 20.0 Hz - gain: +60.0 dB"},
      {inst->area_x + inst->area_w + 40, inst->area_y + inst->area_h + 40, "Band B : freq: 20000 Hz - gain: -INF dB"},
  };
  for (const auto& c : cases) {
    g->PlatformMouseMove(c.x, c.y, left, true);
    EXPECT_STREQ(inst->info_text->string, c.text);
  }
  release(0, 0, left);
}

TEST_F(Interaction, APointMovesByThePointersMovementAndKeepsTheOtherAxisExactly) {
  const eqband_t& B = inst->bands[1];
  const double f0 = param("Band B freq"), g0 = param("Band B gain");
  const double px = B.point_px, py = B.point_py;
  const double u_per_px = (inst->view_u_hi - inst->view_u_lo) / (inst->area_w - 1);
  // Pressed 3 px right of and 2 px above the point; then moved by (dx, dy).
  const struct { int dx, dy; } moves[] = {{0, 0}, {0, 40}, {30, 0}, {30, 40}};
  for (const auto& m : moves) {
    PreviewPlug q = make(1);
    preview_run(q.get(), &pink, 3);
    const eqband_t& Q = q->Inst()->bands[1];
    IGraphics* qg = q->GetGUI();
    qg->PlatformMouseDown(int(std::lround(px)) + 3, int(std::lround(py)) - 2, left, 1000);
    if (m.dx || m.dy) qg->PlatformMouseMove(int(std::lround(px)) + 3 + m.dx, int(std::lround(py)) - 2 + m.dy, left, true);
    qg->PlatformMouseUp(0, 0, left);
    preview_run(q.get(), &pink, 2);
    const double f = q->GetParam(9)->Value(), gain = q->GetParam(5)->Value();
    if (m.dx == 0) EXPECT_EQ(f, f0) << m.dy;
    else EXPECT_NEAR(std::log(f / f0) / std::log(1000.0), m.dx * u_per_px, 1e-9);
    if (m.dy == 0) EXPECT_EQ(gain, g0) << m.dx;
    else EXPECT_LT(gain, -5) << m.dx;
    EXPECT_NEAR(Q.point_py, py + m.dy, 0.5);
  }
}

TEST_F(Interaction, FrequencyKnobReturnsToTheBandsFrequencyUnderTranspose) {
  set_knob_value(inst, 12, PARAM_TRANSPOSE, CTRL_TRANSPOSE);
  preview_run(p.get(), &pink, 2);
  // Band B made anew where the pointer is: its knob returns to that frequency, an octave
  // below what the display shows.
  double_click(inst->bands[1].point_px, inst->bands[1].point_py);
  preview_run(p.get(), &pink, 2);
  double_click(inst->area_x + inst->area_w / 2, inst->area_y + 100);
  preview_run(p.get(), &pink, 2);
  const double made = param("Band B freq");
  EXPECT_NEAR(made, inst->bands[1].freq / 2, 1e-9 * made);
  const layout_item_t& k = inst->layout[CTRL_BAND_FREQ];
  drag(k.x, k.y, k.x, k.y - 30);
  EXPECT_GT(param("Band B freq"), made * 1.5);
  double_click(k.x, k.y);
  EXPECT_NEAR(param("Band B freq"), made, 1e-9 * made);
}

TEST_F(Interaction, EveryGestureBegunEndsOnceWhateverTheUserDoes) {
  for (const gesture_script_t& s : gesture_scripts()) {
    PreviewPlug q = make(1);
    preview_run(q.get(), &pink, 3);
    q->ClearHostEvents();
    play_gesture_script(q->GetGUI(), q->Inst(), s);
    std::vector<gesture_event_t> events;
    for (const Event& e : q->HostEvents()) events.push_back({e.kind, e.param});
    EXPECT_EQ(gesture_balance(events, s.values_inside), "") << s.name;
    EXPECT_EQ(q->GetGUI()->GetMouseCapture(), -1) << s.name;
  }
}

TEST_F(Interaction, SlopeHandlesAndDoubleClicksShapeTheBandSet) {
  const eqband_t& C = inst->bands[2];
  drag(C.right_px, C.right_py, C.right_px + 20, C.right_py - 40);
  preview_run(p.get(), &pink, 2);
  EXPECT_GT(param("Band C slope"), 5);
  const char* knob_params[] = {"Band C gain", "Band C freq", "Band C slope"};  // the knobs follow band C
  for (int slot = CTRL_BAND_GAIN; slot <= CTRL_BAND_SLOPE; ++slot)
    EXPECT_EQ(g->GetControl(slot)->ParamIdx(), param_index(knob_params[slot - CTRL_BAND_GAIN])) << slot;
  // A handle dragged level past its point counts as where it stood: the slope stays (counted
  // on the far side, it would turn over).
  for (const bool right : {true, false}) {
    const double before = param("Band C slope");
    const double hx = right ? C.right_px : C.left_px, hy = right ? C.right_py : C.left_py;
    drag(hx, hy, C.point_px + (right ? -60 : 60), hy);
    preview_run(p.get(), &pink, 2);
    EXPECT_NEAR(param("Band C slope"), before, 1e-9 * before) << (right ? "right" : "left");
  }
  // Dragged straight up or down, a handle follows the pointer's row exactly.
  for (const bool right : {true, false}) {
    const double hx = right ? C.right_px : C.left_px, hy = right ? C.right_py : C.left_py, dy = right ? -30 : 25;
    drag(hx, hy, hx, hy + dy);
    preview_run(p.get(), &pink, 2);
    EXPECT_NEAR(right ? C.right_py : C.left_py, hy + dy, 1e-6) << (right ? "right" : "left");
  }
  // A double-click on a point removes its band (with the left button only); on empty space it
  // adds the first free band there.
  double_click(C.point_px, C.point_py, IMouseMod(false, true));
  preview_run(p.get(), &pink, 2);
  EXPECT_EQ(param("Band C on"), 1);
  double_click(C.point_px, C.point_py);
  preview_run(p.get(), &pink, 2);
  EXPECT_EQ(param("Band C on"), 0);
  const int x = inst->area_x + inst->area_w / 2, y = inst->area_y + 100;
  double_click(x, y);
  preview_run(p.get(), &pink, 2);
  EXPECT_EQ(param("Band C on"), 1);
  EXPECT_EQ(inst->sel_band, 2);
  EXPECT_NEAR(param("Band C freq"), 20 * std::pow(1000.0, 0.5), 15);
  EXPECT_EQ(param("Band C slope"), 0);
  EXPECT_GT(param("Band C gain"), 20);
}

// A slope handle standing on its point (the next band moved onto its frequency during the drag)
// with the pointer level with the point gives no slope: the band keeps the one it had.
TEST_F(Interaction, AHandleOnItsPointLevelWithItKeepsTheSlope) {
  eqband_t& C = inst->bands[2];
  const double slope = C.slope, hy = C.right_py;
  const int x = (int)std::lround(C.right_px), y = (int)std::lround(hy);
  press(x, y, left);
  C.right_x = C.pos;
  C.pos = log_pos_inv(log_pos(C.pos, 20, 20000), 20, 20000);  // the pointer's place, exactly
  C.right_px = 1e9;                                            // the pointer counts at the handle
  C.gain = pix_to_db(inst, inst->area_h, hy - inst->area_y);
  g->PlatformMouseMove(x + 5, y, left, true);
  EXPECT_EQ(C.slope, slope);
  release(x, y, left);
}

TEST_F(Interaction, WheelZoomsRightDragPans) {
  const int cx = inst->area_x + (inst->area_w - 1) / 2, cy = inst->area_y + 50;
  g->PlatformMouseWheel(cx, cy, left, 1);  // the pointer's place on the axis stays put
  EXPECT_NEAR(param("Hor. Zoom"), 1.25, 1e-9);
  EXPECT_NEAR(param("Hor. Position"), (cx - inst->area_x) / (inst->area_w - 1.0), 1e-9);
  EXPECT_NEAR(g->GetControl(CTRL_HOR_ZOOM)->GetValue(), p->GetParam(27)->GetNormalized(), 1e-12);
  const double span = inst->view_u_hi - inst->view_u_lo, before = param("Hor. Position");
  drag(cx, cy, cx + 100, cy, right);
  EXPECT_NEAR(param("Hor. Position"), before - 100 * span / ((inst->area_w - 1) * (1 - span)), 1e-9);
  // A left drag, zoomed in as it is, never pans.
  const double panned = param("Hor. Position");
  drag(cx, cy, cx + 100, cy, left);
  EXPECT_EQ(param("Hor. Position"), panned);
  for (int k = 0; k < 40; ++k) g->PlatformMouseWheel(cx, cy, left, 1);  // never beyond 10 x
  EXPECT_EQ(param("Hor. Zoom"), 10);
}

TEST_F(Interaction, KnobsTurnFineDefaultAndTypedEntry) {
  const IRECT r = g->GetControl(CTRL_OVERALL_GAIN)->GetRECT();
  const int x = r.MW(), y = r.MH();
  IParam* gain = p->GetParam(param_index("Overall Gain"));
  drag(x, y, x, y - 60);  // a quarter of the range up: -60..60 dB, from 0 to +30
  EXPECT_NEAR(gain->Value(), 30, 1e-9);
  drag(x, y, x, y + 60, ctrl);  // a tenth of that down
  EXPECT_NEAR(gain->Value(), 27, 1e-9);
  double_click(x, y);
  EXPECT_NEAR(gain->Value(), 0, 1e-9);
  press(x, y, right);
  release(x, y, right);
  ASSERT_TRUE(g->TextEntryOpen());
  EXPECT_EQ(g->PromptRECT(), IRECT(x - 26, y - 8, x + 26, y + 8));
  for (int k = 0; k < 8; ++k) g->PlatformKey(VK_BACK, 0);
  for (char c : std::string("-6.5")) g->PlatformKey(VK_CHAR, c);
  g->PlatformKey(VK_RETURN, 0);
  EXPECT_NEAR(gain->Value(), -6.5, 1e-9);
  press(x, y, right);
  release(x, y, right);
  for (int k = 0; k < 8; ++k) g->PlatformKey(VK_BACK, 0);
  g->PlatformKey(VK_CHAR, '-');
  g->PlatformKey(VK_RETURN, 0);
  EXPECT_NEAR(gain->Value(), -6.5, 1e-9);
  EXPECT_STREQ(inst->info_text->string, "\"-\" is not a number");
  // The hidden knobs lie outside the window: no pointer reaches them.
  for (int slot : {CTRL_GAMMA, CTRL_HOR_ZOOM, CTRL_HOR_POSITION}) {
    const IRECT k = g->GetControl(slot)->GetRECT();
    EXPECT_TRUE(k.R <= 0 || k.B <= 0 || k.L >= inst->ui_w || k.T >= inst->ui_h) << slot;
  }
}

// The magnitude in dB of the kernel in use at a frequency (its nearest bin).
double kernel_db(const Quillmar* p, double hz) {
  const engine_t& e = p->Engine();
  const int n = e.fft_size, k = int(std::lround(hz * n / p->Inst()->samplerate));
  return 20 * std::log10(std::hypot(e.active_kernel[k], e.active_kernel[n - k]));
}

TEST_F(Interaction, WithTheHostStoppedTheEditorRedesignsAndTellsTheHost) {
  preview_run(p.get(), &pink, 20);  // the spectrum shows the noise
  preview_run(p.get(), &pink, 15, false);  // 16 frames since the last audio call keep it
  EXPECT_GT(inst->spectrum_col[0][100], 0.0);
  preview_run(p.get(), &pink, 1, false);  // the 17th starts the idle service, which clears it
  EXPECT_EQ(inst->spectrum_col[0][100], 0.0);
  const eqband_t& A = inst->bands[0];
  const int programs = p->ProgramChanges();
  const double before = kernel_db(p.get(), 80);
  const int column = int(std::lround(A.point_px)) - inst->area_x;
  drag(A.point_px, A.point_py, A.point_px, A.point_py - 50);
  p->ClearHostEvents();
  preview_run(p.get(), &pink, 1, false);
  const double gain = param("Band A gain");
  EXPECT_GT(gain, 5);
  EXPECT_GT(p->ProgramChanges(), programs);
  EXPECT_EQ(p->HostEvents().front(), (Event{'v', 4}));  // the gain knob moved as the user's value
  // The curve at the band and the kernel in use rose by the band's new gain.
  EXPECT_NEAR(inst->curve[0][column], realdb_to_db(gain), 0.5);
  EXPECT_NEAR(kernel_db(p.get(), 80) - before, gain, 1.0);
}

TEST_F(Interaction, ASettingChangedThreeTimesWithin19FramesWritesOnce) {
  const std::string prefs = path_prefs();
  std::remove(prefs.c_str());
  int writes = 0;
  struct stat st;
  for (int frame = 0; frame < 60; ++frame) {
    if (frame == 0 || frame == 9 || frame == 18) set_knob_value(inst, 2.0 + frame, PARAM_COLOUR_GAIN, CTRL_COLOUR_GAIN);
    preview_run(p.get(), &pink, 1);
    if (stat(prefs.c_str(), &st) == 0) {
      ++writes;
      EXPECT_EQ(frame, 18 + 19);  // the 20th frame after the last change
      std::remove(prefs.c_str());
    }
  }
  EXPECT_EQ(writes, 1);
}

// The idle redesign rewrites the kernel the audio path reads: while an audio call holds
// lock_process, the frame that serves a band edit waits for it.
TEST_F(Interaction, TheIdleRedesignWaitsForAnAudioCallInProgress) {
  preview_run(p.get(), &pink, 17, false);  // idle: the editor serves band changes
  const eqband_t& A = inst->bands[0];
  drag(A.point_px, A.point_py, A.point_px, A.point_py - 50);
  const double before = kernel_db(p.get(), 80);
  mutex_to_1(inst->lock_process);
  std::atomic<bool> done{false};
  std::thread frame([&] {
    preview_run(p.get(), &pink, 1, false);
    done = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(done);
  EXPECT_EQ(kernel_db(p.get(), 80), before);
  mutex_to_0(inst->lock_process);
  frame.join();
  EXPECT_GT(kernel_db(p.get(), 80) - before, 5);
}

// With the host stopped, the idle service clears the captured spectrum and the columns, both
// channels, to exact zeros.
TEST_F(Interaction, TheIdleServiceClearsTheSpectrumToZero) {
  preview_run(p.get(), &pink, 20);
  preview_run(p.get(), &pink, 17, false);
  size_t left = 0;
  for (int c = 0; c < 2; ++c) {
    for (int i = 0; i < inst->capture_len; ++i) left += inst->capture_spectrum[c][i] != 0.0;
    for (int x = 0; x < inst->area_w; ++x) left += inst->spectrum_col[c][x] != 0.0;
  }
  EXPECT_GT(inst->capture_len, 0);
  EXPECT_EQ(left, 0u);
}

// Whichever band the knobs are pointed at, a double-click returns its gain knob to 0 dB and its
// slope knob to flat. Without a graphics context there are no knobs to point: nothing happens.
TEST_F(Interaction, BandKnobsReturnToZeroGainAndFlatSlope) {
  for (int b : {1, 3, 0}) {
    bind_band_knobs(inst, b);
    EXPECT_EQ(g->GetControl(CTRL_BAND_GAIN)->GetDefaultValue(), GAIN_KNOB_DEFAULT) << b;
    EXPECT_EQ(g->GetControl(CTRL_BAND_SLOPE)->GetDefaultValue(), SLOPE_KNOB_DEFAULT) << b;
    EXPECT_EQ(g->GetControl(CTRL_BAND_GAIN)->ParamIdx(), PARAM_BAND_GAIN + b) << b;
  }
  inst->graphics = nullptr;
  bind_band_knobs(inst, 2);
  sync_band_knobs(inst, true);
  inst->graphics = g;
  EXPECT_EQ(g->GetControl(CTRL_BAND_FREQ)->ParamIdx(), PARAM_BAND_FREQ);
}

}  // namespace
