// The editor's LV2 UI in-process, without a window (no ui:parent, never shown): how it reaches
// its instance, and the values it carries between the editor and the host's ports.
#include <gtest/gtest.h>

#include <lv2/instance-access/instance-access.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

#include "editor/controls.h"
#include "editor/layout.h"
#include "engine/bands.h"
#include "engine/inst.h"
#include "engine/params.h"
#include "framework/IControl.h"
#include "framework/headless/IGraphicsHeadless.h"
#include "hosts/lv2/quillmar_lv2.h"
#include "lv2_fixture.h"
#include "support/xvfb.h"

// Last: Xlib's macros would clash with the names above.
#include <X11/Xlib.h>
#include <unistd.h>

namespace {

IGraphicsHeadless* editor(const lv2_host_t& h) {
  return dynamic_cast<IGraphicsHeadless*>(plug_of(h)->GetGUI());
}

// The last value the UI wrote to a port, or NaN.
float written(const lv2_ui_t& ui, uint32_t port) {
  float v = NAN;
  for (const lv2_ui_t::write_t& w : ui.writes)
    if (w.port == port) v = w.value;
  return v;
}

double knob_value(const lv2_host_t& h, int control) {
  return plug_of(h)->GetGUI()->GetControl(control)->GetValue();
}

TEST_F(LV2Test, TheUIReachesItsInstanceOnlyThroughInstanceAccessAndOnlyOnce) {
  EXPECT_STREQ(lv2ui_descriptor(0)->URI, QUILLMAR_LV2_UI_URI);
  EXPECT_EQ(lv2ui_descriptor(1), nullptr);
  auto h = make_host();
  EXPECT_FALSE(lv2_ui_t(lv2ui_descriptor, *h, 0, false).ok());
  {
    lv2_ui_t ui(lv2ui_descriptor, *h);
    ASSERT_TRUE(ui.ok());
    EXPECT_EQ(ui.widget, nullptr);  // no parent: a window only when shown
    EXPECT_EQ(ui.width, editor(*h)->Width());
    EXPECT_EQ(ui.height, editor(*h)->Height());
    EXPECT_FALSE(lv2_ui_t(lv2ui_descriptor, *h).ok());  // the editor is taken
    EXPECT_EQ(ui.idle(), 0);
  }
  EXPECT_TRUE(lv2_ui_t(lv2ui_descriptor, *h).ok());
}

TEST_F(LV2Test, ABandDragReachesTheHostsPortsAndStandsAgainstThemMeanwhile) {
  auto h = make_host();
  const int gain = PARAM_BAND_GAIN + 1, freq = PARAM_BAND_FREQ + 1;
  h->run(4096);
  lv2_ui_t ui(lv2ui_descriptor, *h);
  IGraphicsHeadless* g = editor(*h);
  g->Tick();  // places the band points
  const eqband_t& B = plug_of(*h)->Inst()->bands[1];
  const int bx = int(std::lround(B.point_px)), by = int(std::lround(B.point_py));
  const double g0 = param(*h, gain);
  g->PlatformMouseDown(bx, by, IMouseMod(true), 1000);
  g->PlatformMouseMove(bx + 40, by - 60, IMouseMod(true), true);
  h->run(4096);  // the audio path writes the dragged band back into its parameters
  const double g1 = param(*h, gain), f1 = param(*h, freq);
  EXPECT_GT(g1, g0 + 5);
  // Before the host's ports follow, and while they bring older values, the drag stands.
  h->control[gain] = -30;
  h->run(256);
  EXPECT_EQ(param(*h, gain), g1);
  ui.idle();
  EXPECT_EQ(written(ui, gain), float(g1));
  EXPECT_EQ(written(ui, freq), float(f1));
  g->PlatformMouseUp(bx + 40, by - 60, IMouseMod(true));
  h->control[gain] = written(ui, gain);
  h->control[freq] = written(ui, freq);
  h->run(256);
  EXPECT_EQ(param(*h, gain), g1);  // exact, not the port's rounding
  EXPECT_EQ(param(*h, freq), f1);
  std::vector<std::pair<uint32_t, bool>> touches;
  for (const lv2_ui_t::touch_t& t : ui.touches) touches.push_back({t.port, t.grabbed});
  const std::vector<std::pair<uint32_t, bool>> gesture = {
      {gain, true}, {freq, true}, {gain, false}, {freq, false}};
  EXPECT_EQ(touches, gesture);
  // After the gesture the host's ports decide again.
  h->control[gain] = -6;
  h->run(256);
  EXPECT_EQ(param(*h, gain), -6.0);
}

TEST_F(LV2Test, KnobsTellTheHostAndShowItsPortsButNotDefaultsTheInstanceDidNotTake) {
  write_prefs("Resolution 2\n");
  auto h = make_host();
  h->run(64);
  lv2_ui_t ui(lv2ui_descriptor, *h);
  const IParam* res = plug_of(*h)->GetParam(PARAM_RESOLUTION);
  // The host still shows the declared default; the editor keeps the value in use and tells
  // the host at its first idle.
  ui.port_event(PARAM_RESOLUTION, 1.0f);
  EXPECT_EQ(knob_value(*h, CTRL_RESOLUTION), res->GetNormalized(2.0));
  ui.idle();
  EXPECT_EQ(written(ui, PARAM_RESOLUTION), 2.0f);

  // Only a float port's value is shown (not an atom, another size, no buffer, not a number).
  const IParam* transpose = plug_of(*h)->GetParam(PARAM_TRANSPOSE);
  const double d = 7.0;
  const float f = 7.0f;
  ui.port_event(PARAM_TRANSPOSE, 5.0f);
  ui.port_event(PARAM_TRANSPOSE, NAN);
  ui.port_event(PARAM_TRANSPOSE, sizeof d, 0, &d);
  ui.port_event(PARAM_TRANSPOSE, sizeof f, 1, &f);
  ui.port_event(PARAM_TRANSPOSE, sizeof f, 0, nullptr);
  EXPECT_NEAR(knob_value(*h, CTRL_TRANSPOSE), transpose->GetNormalized(5.0), 1e-12);
  ui.port_event(PARAM_TRANSPOSE, -2.0f);
  EXPECT_NEAR(knob_value(*h, CTRL_TRANSPOSE), transpose->GetNormalized(-2.0), 1e-12);

  const layout_item_t& k = plug_of(*h)->Inst()->layout[CTRL_OVERALL_GAIN];
  editor(*h)->PlatformMouseWheel(k.x, k.y, IMouseMod(true), 1);
  const double v = param(*h, PARAM_OVERALL_GAIN);
  EXPECT_GT(v, 0.0);
  EXPECT_EQ(written(ui, PARAM_OVERALL_GAIN), float(v));
  // The edit stands before and after the host's port follows it.
  h->run(256);
  EXPECT_EQ(param(*h, PARAM_OVERALL_GAIN), v);
  h->control[PARAM_OVERALL_GAIN] = float(v);
  h->run(256);
  EXPECT_EQ(param(*h, PARAM_OVERALL_GAIN), v);
}

// A host's mistakes are refused or ignored: a UI for another plug-in, an extension we lack, a
// window the display cannot give (the editor stays free for the next UI), port events and
// gestures for no parameter. A program change tells the ports only what changed since the UI
// opened.
TEST_F(LV2Test, TheUIRefusesWhatIsNotItsAndWritesOnlyChangedPorts) {
  auto h = make_host();
  h->run(64);
  const LV2UI_Descriptor* d = lv2ui_descriptor(0);
  EXPECT_EQ(d->extension_data("urn:nothing"), nullptr);
  const LV2_Feature access = {LV2_INSTANCE_ACCESS_URI, h->handle()};
  const LV2_Feature* features[] = {&access, nullptr};
  LV2UI_Widget widget = nullptr;
  const LV2UI_Write_Function write = [](LV2UI_Controller, uint32_t, uint32_t, uint32_t, const void*) {};
  const struct {
    const char* uri;
    LV2UI_Write_Function write;
    bool widget;
  } refused[] = {{"urn:another:plugin", write, true}, {h->uri(), nullptr, true}, {h->uri(), write, false}};
  for (const auto& c : refused) {
    widget = &widget;
    EXPECT_EQ(d->instantiate(d, c.uri, "/", c.write, nullptr, c.widget ? &widget : nullptr, features), nullptr);
    if (c.widget) {
      EXPECT_EQ(widget, nullptr) << c.uri;
    }
  }
  // ui:resize and ui:touch without their functions.
  const LV2UI_Resize no_resize = {nullptr, nullptr};
  const LV2UI_Touch no_touch = {nullptr, nullptr};
  const LV2_Feature resize = {LV2_UI__resize, const_cast<LV2UI_Resize*>(&no_resize)};
  const LV2_Feature touch = {LV2_UI__touch, const_cast<LV2UI_Touch*>(&no_touch)};
  const LV2_Feature* without_functions[] = {&access, &resize, &touch, nullptr};
  LV2UI_Handle opened = d->instantiate(d, h->uri(), "/", write, nullptr, &widget, without_functions);
  ASSERT_NE(opened, nullptr);
  plug_of(*h)->BeginInformHostOfParamChange(PARAM_LIMITER);
  plug_of(*h)->EndInformHostOfParamChange(PARAM_LIMITER);
  d->cleanup(opened);
  const char* display = std::getenv("DISPLAY");
  const std::string saved = display ? display : "";
  unsetenv("DISPLAY");
  EXPECT_FALSE(lv2_ui_t(lv2ui_descriptor, *h, 1).ok());
  if (!saved.empty()) setenv("DISPLAY", saved.c_str(), 1);

  lv2_ui_t ui(lv2ui_descriptor, *h);
  ASSERT_TRUE(ui.ok());
  Quillmar* plug = plug_of(*h);
  for (uint32_t port : {uint32_t(lv2_host_t::PARAMS), 1000u}) ui.port_event(port, 1.0f);
  for (int i : {-1, int(lv2_host_t::PARAMS)}) {
    plug->BeginInformHostOfParamChange(i);
    plug->InformHostOfParamChange(i, 0.0);
    plug->EndInformHostOfParamChange(i);
  }
  plug->InformHostOfProgramChange();
  ui.idle();
  EXPECT_TRUE(ui.touches.empty());
  EXPECT_TRUE(ui.writes.empty());
  const double on = plug->GetParam(PARAM_BAND_ON)->GetDefault();
  plug->GetParam(PARAM_BAND_ON)->Set(1 - on);
  plug->GetParam(PARAM_BAND_GAIN + 1)->Set(-7.0);
  plug->InformHostOfProgramChange();
  ui.idle();
  ASSERT_EQ(ui.writes.size(), 2u);
  EXPECT_EQ(ui.writes[0].port, uint32_t(PARAM_BAND_ON));
  EXPECT_EQ(ui.writes[0].value, float(1 - on));
  EXPECT_EQ(ui.writes[1].port, uint32_t(PARAM_BAND_GAIN + 1));
  EXPECT_EQ(ui.writes[1].value, -7.0f);
}

// Gestures reach a host without ui:touch through the ports alone; a program change from
// before the UI opened writes nothing; a port event for a held parameter is not shown; a UI
// that closes during gestures ends them (the first and last parameter's too), so Run follows
// the ports again; without a UI the editor's changes go nowhere.
TEST_F(LV2Test, GesturesWithAndWithoutTheHostsTouchAndTheirEndWhenTheUICloses) {
  auto h = make_host();
  Quillmar* plug = plug_of(*h);
  plug->InformHostOfProgramChange();
  // A parameter moved while no UI was open (here without telling the editor) shows when one
  // opens.
  const IParam* transpose = plug->GetParam(PARAM_TRANSPOSE);
  plug->GetParam(PARAM_TRANSPOSE)->Set(3.0);
  {
    lv2_ui_t ui(lv2ui_descriptor, *h, 0, true, false);
    ASSERT_TRUE(ui.ok());
    EXPECT_EQ(knob_value(*h, CTRL_TRANSPOSE), transpose->GetNormalized(3.0));
    plug->GetParam(PARAM_TRANSPOSE)->Set(0.0);
    h->control[PARAM_LIMITER] = -6;
    h->run(64);
    ui.idle();
    EXPECT_TRUE(ui.writes.empty());
    plug->BeginInformHostOfParamChange(PARAM_LIMITER);
    plug->InformHostOfParamChange(PARAM_LIMITER, 0.0);
    plug->EndInformHostOfParamChange(PARAM_LIMITER);
    plug->BeginInformHostOfParamChange(PARAM_LIMITER);
    ASSERT_EQ(ui.writes.size(), 1u);
    EXPECT_EQ(ui.writes[0].value, -6.0f);
    EXPECT_TRUE(ui.touches.empty());
  }
  lv2_ui_t ui(lv2ui_descriptor, *h);
  const int last = lv2_host_t::PARAMS - 1;
  for (int i : {0, last, int(PARAM_TRANSPOSE)}) plug->BeginInformHostOfParamChange(i);
  ui.port_event(PARAM_TRANSPOSE, 5.0f);
  EXPECT_EQ(knob_value(*h, CTRL_TRANSPOSE), transpose->GetNormalized(0.0));
  plug->EndInformHostOfParamChange(PARAM_TRANSPOSE);
  ui.close();
  std::vector<std::pair<uint32_t, bool>> touches;
  for (const lv2_ui_t::touch_t& t : ui.touches) touches.push_back({t.port, t.grabbed});
  const std::vector<std::pair<uint32_t, bool>> expected = {
      {0, true}, {last, true}, {PARAM_TRANSPOSE, true}, {PARAM_TRANSPOSE, false}, {0, false}, {last, false}};
  EXPECT_EQ(touches, expected);
  const double on = plug->GetParam(PARAM_BAND_ON)->GetDefault();
  h->control[PARAM_BAND_ON] = float(1 - on);
  h->control[last] = 0.5f;
  h->run(64);
  EXPECT_EQ(param(*h, PARAM_BAND_ON), 1 - on);
  EXPECT_EQ(param(*h, last), 0.5);
  plug->InformHostOfParamChange(PARAM_LIMITER, 0.0);
}

// The UI's window on a private Xvfb: its own (no ui:parent) shows and hides as often as the host
// asks and closes at cleanup; one in the host's window stays when hidden, and when the host's
// window goes the idle calls say so until the host shows or hides the UI again.
TEST_F(LV2Test, TheUIsWindowShowsHidesAndGoesWithTheHostsWindow) {
  xvfb_t server;
  if (!server.ok()) GTEST_SKIP() << "no Xvfb: run make deps";
  const char* display = std::getenv("DISPLAY");
  const std::string saved = display ? display : "";
  setenv("DISPLAY", server.display().c_str(), 1);
  auto h = make_host();
  const IGraphics* g = plug_of(*h)->GetGUI();
  {
    lv2_ui_t ui(lv2ui_descriptor, *h);
    for (int round = 0; round < 2; ++round) {
      EXPECT_EQ(ui.show(), 0);
      EXPECT_EQ(ui.show(), 0);  // already shown
      EXPECT_TRUE(g->WindowIsOpen());
      EXPECT_EQ(ui.idle(), 0);
      EXPECT_EQ(ui.hide(), 0);
      EXPECT_FALSE(g->WindowIsOpen());
    }
    ui.show();
  }
  EXPECT_FALSE(g->WindowIsOpen());  // cleaned up while shown
  Display* x = XOpenDisplay(server.display().c_str());
  ASSERT_NE(x, nullptr);
  for (bool hide : {false, true}) {
    const Window parent = XCreateSimpleWindow(x, DefaultRootWindow(x), 0, 0, 1300, 700, 0, 0, 0);
    XMapWindow(x, parent);
    XSync(x, False);
    lv2_ui_t ui(lv2ui_descriptor, *h, parent);
    ASSERT_TRUE(ui.ok());
    EXPECT_EQ(ui.hide(), 0);
    EXPECT_TRUE(g->WindowIsOpen());
    XDestroyWindow(x, parent);
    XSync(x, False);
    int gone = 0;
    for (int i = 0; i < 2000 && !(gone = ui.idle()); ++i) usleep(5000);
    EXPECT_EQ(gone, 1);
    EXPECT_EQ(ui.idle(), 1);
    if (hide)
      EXPECT_EQ(ui.hide(), 0);
    else
      EXPECT_EQ(ui.show(), 1);  // no window to show it in
    EXPECT_EQ(ui.idle(), 0) << hide;
  }
  XCloseDisplay(x);
  if (saved.empty())
    unsetenv("DISPLAY");
  else
    setenv("DISPLAY", saved.c_str(), 1);
}

}  // namespace
