// The graphics context and the control base: values, drawing rules, dispatch, value entry.
#include <gtest/gtest.h>

#include <string>

#include "framework/IControl.h"
#include "framework/bitmap/RasterBitmap.h"
#include "framework/headless/IGraphicsHeadless.h"
#include "test_plug.h"

namespace {

// A control that records what reaches it.
struct Probe : IControl {
  Probe(IPluginBase* p, IRECT r, int param = -1) : IControl(p, r, param) { DisablePrompt(false); }
  std::string log;
  int draws = 0;
  void OnMouseDown(int, int, IMouseMod* m) override { log += "d"; IControl::OnMouseDown(0, 0, m); }
  void OnMouseUp(int, int, IMouseMod*) override { log += "u"; }
  void OnMouseDrag(int, int, int dX, int dY, IMouseMod*) override { log += "g" + std::to_string(dX) + "," + std::to_string(dY); }
  void OnMouseDblClick(int x, int y, IMouseMod* m) override { log += "2"; IControl::OnMouseDblClick(x, y, m); }
  void OnMouseWheel(int x, int y, IMouseMod* m, int d) override { log += "w"; IControl::OnMouseWheel(x, y, m, d); }
  void OnMouseOver(int, int, IMouseMod*) override { log += "o"; }
  void OnMouseOut() override { log += "x"; }
  bool OnKeyDown(int, int, int key) override { log += "k" + std::to_string(key); return true; }
  bool Draw(IGraphics*) override { ++draws; return true; }
  void OnGUIIdle() override { log += "i"; }
};

struct GraphicsContext : ::testing::Test {
  TestPlug plug;
  IGraphicsHeadless* g = new IGraphicsHeadless(&plug, 200, 100, 60);
  Probe* bg = new Probe(&plug, IRECT(0, 0, 200, 100));
  Probe* knob = new Probe(&plug, IRECT(10, 10, 30, 30), 20);     // "Colour Gain": a double
  Probe* toggle = new Probe(&plug, IRECT(40, 10, 60, 30), 0);    // "Band A on": off / on
  Probe* catcher = new Probe(&plug, IRECT());
  IMouseMod left{true};

  void SetUp() override {
    for (IControl* c : {static_cast<IControl*>(bg), static_cast<IControl*>(knob), static_cast<IControl*>(toggle)})
      g->AttachControl(c);
    g->SetKeyCatcher(catcher);
    g->HandleMouseOver(true);
    plug.AttachGraphics(g);
  }
};

TEST(Control, ValuesDefaultsClampAndDirtyCarryOver) {
  TestPlug plug;
  Probe c(&plug, IRECT(0, 0, 10, 10), 20);
  c.SetClean();
  c.SetValueFromPlug(0.3);  // the first value is also the default, and draws nothing new
  EXPECT_EQ(c.GetDefaultValue(), 0.3);
  EXPECT_FALSE(c.IsDirty());
  c.SetValueFromUserInput(0.3);
  EXPECT_TRUE(plug.hostChanges.empty());
  IMouseMod shift{true, false, true}, none{true};
  c.OnMouseWheel(0, 0, &shift, 1);
  EXPECT_NEAR(c.GetValue(), 0.301, 1e-12);
  c.OnMouseWheel(0, 0, &none, -100);
  EXPECT_EQ(c.GetValue(), 0.0);
  EXPECT_EQ(plug.hostChanges.size(), 2u);
  c.SetValueFromUserInput(0.7);  // changed "while drawn": stays dirty one more pass
  c.SetClean();
  EXPECT_TRUE(c.IsDirty());
  c.SetClean();
  EXPECT_FALSE(c.IsDirty());
  Probe nodefault(&plug, IRECT(0, 0, 10, 10), 20);
  nodefault.SetValueFromUserInput(0.5);
  nodefault.OnMouseDblClick(0, 0, &none);
  EXPECT_EQ(nodefault.GetValue(), 0.5);
  Probe orphan(nullptr, IRECT(0, 0, 10, 10), 20);  // no plug-in to tell
  orphan.SetValueFromUserInput(0.5);
  EXPECT_EQ(orphan.GetValue(), 0.5);
  EXPECT_EQ(orphan.GetParam(), nullptr);
  orphan.AddAuxParam(5);
  orphan.SetAllAuxParamsFromGUI();
  c.SetValueFromUserInput(std::nan(""));
  EXPECT_EQ(c.GetValue(), 0.7);
  EXPECT_TRUE(c.IsHit(9, 9));
  EXPECT_FALSE(c.IsHit(10, 5));
  EXPECT_FALSE(c.IsHit(5, 10));
  EXPECT_FALSE(Probe(&plug, IRECT()).IsHit(0, 0));
}

TEST(Control, DisplaysShowTheWholeValueWithItsLabelAndTheName) {
  TestPlug plug;
  const std::string unit(31, 'u');  // the longest label a parameter keeps
  plug.GetParam(20)->InitDouble("Colour Gain", 1, 0, 40, 0.01, unit.c_str());
  Probe c(&plug, IRECT(0, 0, 10, 10), 20);
  ITextControl value(&plug, IRECT()), name(&plug, IRECT());
  c.SetValDisplayControl(&value);
  c.SetNameDisplayControl(&name);
  c.SetValueFromUserInput(1.0);
  EXPECT_EQ(value.GetTextForDisplay(), "40.00 " + unit);
  EXPECT_STREQ(name.GetTextForDisplay(), "Colour Gain");
  // Text is black on white unless a control says otherwise.
  const IText text;
  const IColor* colours[] = {&text.mColor, &text.mTextEntryBGColor, &text.mTextEntryFGColor};
  std::string argb;
  for (const IColor* k : colours)
    argb += std::to_string(k->A) + "," + std::to_string(k->R) + "," + std::to_string(k->G) + "," +
            std::to_string(k->B) + " ";
  EXPECT_EQ(argb, "255,0,0,0 255,255,255,255 255,0,0,0 ");
}

TEST(Control, KnobGearingAndFineMode) {
  TestPlug plug;
  struct Knob : IKnobControl {
    using IKnobControl::IKnobControl;
    bool Draw(IGraphics*) override { return true; }
  } k(&plug, IRECT(0, 0, 60, 60), 20);
  IMouseMod plain{true}, fine{true, false, false, true};
  k.OnMouseDrag(0, 0, 0, -60, &plain);  // one height up with gearing 4: a quarter
  EXPECT_DOUBLE_EQ(k.GetValue(), 0.25);
  k.OnMouseDrag(0, 0, 0, -60, &fine);
  EXPECT_DOUBLE_EQ(k.GetValue(), 0.275);
  k.OnMouseDrag(0, 0, 0, 1000, &plain);
  EXPECT_EQ(k.GetValue(), 0.0);
  Knob h(&plug, IRECT(0, 0, 60, 30), 20, IKnobControl::kHorizontal, 2.0);
  h.OnMouseDrag(0, 0, 30, -30, &plain);  // half the width with gearing 2; up counts for nothing
  EXPECT_DOUBLE_EQ(h.GetValue(), 0.25);
}

TEST(Control, HidingMarksDirtyAndAuxiliaryParametersFollowTheirOwn) {
  TestPlug plug;
  IGraphicsHeadless* g = new IGraphicsHeadless(&plug, 20, 20, 60);
  Probe* c = new Probe(&plug, IRECT(0, 0, 10, 10), 20);
  g->AttachControl(c);
  plug.AttachGraphics(g);
  c->SetClean();
  c->SetClean();
  c->Hide(true);
  EXPECT_TRUE(c->IsDirty());
  c->AddAuxParam(5);
  c->AddAuxParam(17);
  EXPECT_EQ(c->AuxParamIdx(17), 1);
  EXPECT_EQ(c->AuxParamIdx(20), -1);  // its own parameter is not an auxiliary one
  g->SetParameterFromPlug(17, 0.25, true);
  EXPECT_EQ(c->GetAuxParam(0)->mValue, 0.0);
  EXPECT_EQ(c->GetAuxParam(1)->mValue, 0.25);
  EXPECT_EQ(c->GetAuxParam(2), nullptr);
  c->SetAllAuxParamsFromGUI();
  EXPECT_EQ(plug.hostChanges, (std::vector<std::pair<int, double>>{{5, 0.0}, {17, 0.25}}));
  g->SetParameterFromPlug(5, 0.5, true);  // the first auxiliary one, of the first control
  g->SetParameterFromGUI(20, 0.75);
  EXPECT_EQ(c->GetAuxParam(0)->mValue, 0.5);
  EXPECT_EQ(c->GetValue(), 0.75);
}

TEST_F(GraphicsContext, AnOpenFieldRedrawsEverythingUnderIt) {
  IRECT box(10, 10, 40, 26);
  knob->DisablePrompt(true);
  knob->PromptUserInput(&box);  // no field for a control that asks for none,
  bg->PromptUserInput(&box);    // nor for one without a parameter
  EXPECT_FALSE(g->PromptOpen());
  knob->DisablePrompt(false);
  knob->PromptUserInput();
  ASSERT_TRUE(g->TextEntryOpen());
  knob->SetClean();  // drawn while the field opened: drawn once more
  EXPECT_TRUE(knob->IsDirty());
  for (int pass = 0; pass < 2; ++pass)
    for (int i = 0; i < g->GetNControls(); ++i) g->GetControl(i)->SetClean();
  IRECT r;
  EXPECT_TRUE(g->IsDirty(&r));
  EXPECT_EQ(r, IRECT(0, 0, 200, 100));
  EXPECT_TRUE(toggle->IsDirty());
}

TEST_F(GraphicsContext, IsDirtyIsTheUnionOfDirtyControls) {
  for (int i = 0; i < g->GetNControls(); ++i) g->GetControl(i)->SetClean();
  IRECT r;
  EXPECT_FALSE(g->IsDirty(&r));
  knob->SetDirty(false);
  ASSERT_TRUE(g->IsDirty(&r));
  EXPECT_EQ(r, knob->GetRECT());
  toggle->SetDirty(false);
  r = IRECT();
  g->IsDirty(&r);
  EXPECT_EQ(r, IRECT(10, 10, 60, 30));
}

TEST_F(GraphicsContext, DrawingRulesStrictAndNot) {
  for (int i = 0; i < 3; ++i) g->GetControl(i)->SetClean();
  knob->SetDirty(false);
  IRECT r = knob->GetRECT();
  g->Draw(&r);  // strict: what overlaps the rectangle
  EXPECT_EQ(bg->draws, 1);
  EXPECT_EQ(knob->draws, 1);
  EXPECT_EQ(toggle->draws, 0);
  g->Draw(&r);  // strict: drawn again though nothing is dirty
  EXPECT_EQ(bg->draws + knob->draws + toggle->draws, 4);
  g->SetStrictDrawing(false);  // everything dirty: the background and all on top of it
  g->Tick();
  EXPECT_EQ(toggle->draws, 1);
  knob->SetDirty(false);  // background clean: the dirty control and what overlaps it
  g->Tick();
  EXPECT_EQ(knob->draws, 4);
  EXPECT_EQ(bg->draws, 4);
  EXPECT_EQ(toggle->draws, 1);
}

TEST_F(GraphicsContext, MouseDispatchCaptureAndGestures) {
  g->OnMouseDown(100, 80, &left);  // the background, no parameter: no gesture
  EXPECT_EQ(bg->log, "d");
  g->OnMouseDrag(100, 80, &left);  // the same position: not delivered
  g->OnMouseDrag(103, 78, &left);
  EXPECT_EQ(bg->log, "dg3,-2");
  g->OnMouseUp(15, 15, &left);  // to the captured control, not the one under the pointer
  EXPECT_EQ(bg->log, "dg3,-2u");
  EXPECT_TRUE(plug.gestures.empty());
  g->OnMouseDown(15, 15, &left);
  g->OnMouseUp(15, 15, &left);
  g->OnMouseUp(45, 15, &left);  // never pressed: it has no gesture to end
  EXPECT_EQ(plug.gestures, (std::vector<std::pair<char, int>>{{'b', 20}, {'e', 20}}));
  knob->Hide(true);
  toggle->GrayOut(true);
  g->OnMouseDown(15, 15, &left);
  g->OnMouseDown(45, 15, &left);  // a second press ends the first one's capture
  EXPECT_EQ(bg->log, "dg3,-2udud");
  toggle->SetMOWhenGrayed(true);
  g->OnMouseUp(45, 15, &left);
  g->OnMouseOver(45, 15, &left);
  g->OnMouseOver(100, 50, &left);
  EXPECT_EQ(toggle->log, "uox");
  g->Resize(300, 150);
  EXPECT_EQ(g->GetNControls(), 0);
  EXPECT_EQ(g->GetDrawBitmap()->Width(), 300);
}

TEST_F(GraphicsContext, DoubleClicksAndValuesFromTheEditorReachTheirControls) {
  toggle->SetDblAsSingleClick(true);
  EXPECT_TRUE(g->OnMouseDblClick(50, 20, &left));  // taken as a press
  g->OnMouseUp(50, 20, &left);
  EXPECT_FALSE(g->OnMouseDblClick(20, 20, &left));
  g->OnMouseUp(20, 20, &left);
  EXPECT_FALSE(g->OnMouseDblClick(-5, 20, &left));  // outside every control
  EXPECT_EQ(toggle->log, "du");
  EXPECT_EQ(knob->log, "2u");
  EXPECT_EQ(plug.gestures, (std::vector<std::pair<char, int>>{{'b', 0}, {'e', 0}, {'b', 20}, {'e', 20}}));
  Probe* twin = new Probe(&plug, IRECT(0, 40, 20, 60), 20);  // a second control of the knob's
  g->AttachControl(twin);
  plug.hostChanges.clear();
  g->SetParameterFromGUI(20, 0.25);
  EXPECT_EQ(knob->GetValue(), 0.25);
  EXPECT_EQ(twin->GetValue(), 0.25);
  EXPECT_EQ(toggle->GetValue(), 1.0);  // "on", as it was
  EXPECT_EQ(plug.hostChanges, (std::vector<std::pair<int, double>>{{20, 0.25}, {20, 0.25}}));
  // From the plug-in: a plain value is normalised (0 to 40, shape 4: 10 is 0.5^0.5);
  // an index nothing has changes nothing.
  g->SetParameterFromPlug(20, 10.0, false);
  EXPECT_DOUBLE_EQ(knob->GetValue(), std::sqrt(0.5));
  EXPECT_DOUBLE_EQ(twin->GetValue(), std::sqrt(0.5));
  g->SetParameterFromPlug(kTestParams, 10.0, false);
  g->SetControlFromPlug(3, 0.75);
  g->SetControlFromPlug(4, 0.5);
  EXPECT_EQ(twin->GetValue(), 0.75);
  EXPECT_DOUBLE_EQ(knob->GetValue(), std::sqrt(0.5));
  g->OnGUIIdle();
  EXPECT_EQ(bg->log + toggle->log + twin->log, "iduii");
}

TEST_F(GraphicsContext, KeysGoToTheControlOrTheKeyCatcherNeverTheBackground) {
  EXPECT_TRUE(g->OnKeyDown(15, 15, KEY_UP));
  EXPECT_TRUE(g->OnKeyDown(100, 80, KEY_SPACE));
  g->OnMouseDown(100, 80, &left);  // background captured: keys still to the catcher
  EXPECT_TRUE(g->OnKeyDown(15, 15, KEY_UP));  // even over the knob
  EXPECT_TRUE(g->PlatformKey(VK_CHAR, 'q'));
  EXPECT_TRUE(g->PlatformKey(VK_CHAR, 'Q'));  // either case is the letter's key
  for (char c : std::string("079")) EXPECT_TRUE(g->PlatformKey(VK_CHAR, c)) << c;
  for (char c : std::string("%/:@[`{")) EXPECT_FALSE(g->PlatformKey(VK_CHAR, c)) << c;  // not a key code: passed on
  EXPECT_EQ(knob->log, "k1");
  EXPECT_EQ(catcher->log, "k0k1k31k31k5k12k14");
  EXPECT_EQ(bg->log, "d");
}

TEST(PopupMenu, ItemsByIndexAndNothingOutsideThem) {
  IPopupMenu menu;
  menu.AddItem("low");
  menu.AddItem("high", true);
  EXPECT_STREQ(menu.GetItemText(1), "high");
  EXPECT_FALSE(menu.IsItemChecked(0));
  EXPECT_TRUE(menu.IsItemChecked(1));
  for (int idx : {-1, 2}) {
    EXPECT_STREQ(menu.GetItemText(idx), "") << idx;
    EXPECT_FALSE(menu.IsItemChecked(idx)) << idx;
  }
  EXPECT_EQ(menu.GetChosenItemIdx(), -1);
}

// What a host or the platform may call with nothing to act on: no rectangle, no control
// under the pointer, the key catcher it already has.
TEST_F(GraphicsContext, CallsWithNothingToActOnChangeNothing) {
  struct Owned : Probe {
    bool* gone;
    Owned(IPluginBase* p, bool* g) : Probe(p, IRECT()), gone(g) {}
    ~Owned() override { *gone = true; }
  };
  bool gone = false;
  auto* again = new Owned(&plug, &gone);
  g->SetKeyCatcher(again);
  g->SetKeyCatcher(again);  // the same one: kept, not deleted
  EXPECT_FALSE(gone);
  EXPECT_TRUE(g->OnKeyDown(100, 80, KEY_SPACE));
  EXPECT_EQ(again->log, "k0");
  EXPECT_TRUE(g->Draw(nullptr));
  EXPECT_EQ(IGraphicsHeadless(&plug, 20, 20, 0).FPS(), 25);  // no rate: the default
  EXPECT_TRUE(g->OnMouseOver(-5, 20, &left));  // over no control
  EXPECT_EQ(bg->draws + knob->draws + toggle->draws, 0);
  EXPECT_EQ(bg->log + knob->log + toggle->log, "");
  g->SetKeyCatcher(nullptr);  // another one: the old is deleted (while `gone` still lives)
  EXPECT_TRUE(gone);
}

// A window hidden or closed mid-press sends no release: the press ends there, with its gesture.
TEST_F(GraphicsContext, ALostCaptureEndsThePressAndItsGesture) {
  g->PlatformMouseDown(15, 15, left, 0);
  g->PlatformCaptureLost();
  g->PlatformMouseMove(20, 20, left, true);  // neither a drag nor a hover
  g->PlatformClosed();  // nothing pressed now: nothing more to end
  g->OnMouseOut();
  EXPECT_EQ(knob->log, "dux");
  EXPECT_EQ(bg->log + toggle->log, "xx");
  EXPECT_EQ(plug.gestures, (std::vector<std::pair<char, int>>{{'b', 20}, {'e', 20}}));
}

TEST_F(GraphicsContext, KeysGoWhereThePlatformLastSawThePointer) {
  g->OnMouseDown(-5, 20, &left);  // outside every control: nothing to capture
  g->OnMouseUp(-5, 20, &left);
  EXPECT_TRUE(plug.gestures.empty());
  g->PlatformMouseDown(100, 80, left, 0);  // the background, released over the toggle
  g->PlatformMouseUp(50, 20, left);
  g->PlatformKey(VK_UP, 0);
  g->PlatformMouseMove(15, 90, left, false);  // over the background, below the knob
  g->PlatformKey(VK_DOWN, 0);
  g->PlatformMouseDown(100, 80, left, 5000);
  g->PlatformMouseMove(15, 15, left, true);
  g->PlatformMouseUp(15, 15, left);
  g->PlatformKey(VK_UP, 0);
  EXPECT_EQ(bg->log, "duodg-85,-65u");
  EXPECT_EQ(toggle->log, "k1");
  EXPECT_EQ(knob->log, "k1");
  EXPECT_EQ(catcher->log, "k2");
}

TEST_F(GraphicsContext, TheMenuKeepsItsChoiceWhenThePointerLeavesIt) {
  IMouseMod right{true, true};
  g->PlatformMouseDown(50, 20, right, 0);
  g->PlatformMouseUp(50, 20, right);
  ASSERT_TRUE(g->MenuOpen());
  const IRECT m = g->PromptRECT();
  g->PlatformMouseMove(m.L + 5, m.T + 5, left, false);
  EXPECT_EQ(g->PromptMenuHover(), 0);
  g->PlatformMouseMove(m.R + 5, m.B + 5, left, false);
  EXPECT_EQ(g->PromptMenuHover(), 0);
  g->PlatformKey(VK_RETURN, 0);
  EXPECT_EQ(plug.GetParam(0)->Value(), 0.0);
}

TEST_F(GraphicsContext, PlatformDoubleClickNeedsTheSameButtonTimeAndPlace) {
  // 400 ms and 4 pixels with the same button make a double-click; a third press starts again.
  // The clock is 32 bits and wraps: differences are taken across the wrap, never negative.
  // A platform that names no button (-1) leaves it to the modifiers: right or left.
  const struct {
    uint32_t t;
    int x, button;
    bool right;
  } presses[] = {{1000, 100, 0, false}, {1400, 104, 0, false}, {1500, 104, 0, false},
                 {2000, 104, 0, false}, {2300, 109, 0, false}, {2400, 109, 1, true},
                 {2500, 109, 1, true},  {9000, 50, 0, false},  {100, 50, 0, false},
                 {0xFFFFFF00u, 50, 0, false}, {0x40, 50, 0, false}, {5000, 50, -1, false},
                 {5100, 50, -1, true}, {5200, 50, -1, true}};
  for (const auto& p : presses) {
    const IMouseMod mod(true, p.right);
    g->PlatformMouseDown(p.x, 80, mod, p.t, p.button);
    g->PlatformMouseUp(p.x, 80, mod);
  }
  std::string presses_seen;
  for (char c : bg->log)
    if (c != 'u') presses_seen += c;
  EXPECT_EQ(presses_seen, "d2dddd2ddd2dd2");
}

TEST(TextEntry, OpensWithTheWholeValueSelectedAndEnterAloneChangesNothing) {
  // Keys: '<' the left arrow, '\b' backspace, '\n' Enter; other characters are typed.
  const double vrange = 60.0 + 10.0 / std::log(10.0);  // shown rounded: 64.34
  const struct {
    int param;
    double value;
    const char *keys, *shown;
    double result;
  } rows[] = {
      {17, 0.0, "6\n", "0.00", 6.0},                         // typing replaces the selection
      {8, 12345.67, "\n", "12345.67", 12345.67},             // shown whole, not cut
      {26, vrange, "\n", "64.34", vrange},                   // unedited: exactly as it was
      {17, 1.5, "<5\n", "1.50", 51.5},                        // an arrow leaves the selection
      {17, 1.5, "\b\n", "1.50", 1.5},                         // nothing left: not a number
      {17, 1.5, "\b-2\b3\n", "1.50", -3.0},
  };
  for (const auto& r : rows) {
    TestPlug plug;
    IGraphicsHeadless* g = new IGraphicsHeadless(&plug, 100, 100, 60);
    Probe* field = new Probe(&plug, IRECT(0, 0, 100, 100), r.param);
    g->AttachControl(field);
    plug.AttachGraphics(g);
    plug.GetParam(r.param)->Set(r.value);
    field->PromptUserInput();
    ASSERT_TRUE(g->TextEntryOpen()) << r.keys;
    EXPECT_EQ(g->PromptText(), r.shown);
    for (const char* k = r.keys; *k; ++k)
      g->PlatformKey(*k == '<' ? VK_LEFT : *k == '\b' ? VK_BACK : *k == '\n' ? VK_RETURN : VK_CHAR, *k);
    EXPECT_FALSE(g->PromptOpen());
    EXPECT_EQ(plug.GetParam(r.param)->Value(), r.result) << r.shown << " " << r.keys;
  }
}

TEST_F(GraphicsContext, TextEntryTakesANumberRefusesTheRest) {
  std::string message;
  g->SetMessageHandler([&](const char* m) { message = m; });
  IMouseMod right{true, true};
  long long t = 0;
  auto right_click = [&](int x, int y) {
    g->PlatformMouseDown(x, y, right, t += 1000);
    g->PlatformMouseUp(x, y, right);
  };
  right_click(20, 20);  // value entry at the knob's centre
  ASSERT_TRUE(g->TextEntryOpen());
  EXPECT_EQ(g->PromptRECT(), IRECT(5, 12, 35, 28));
  EXPECT_EQ(g->PromptText(), "1.00");
  for (int i = 0; i < 4; ++i) g->PlatformKey(VK_BACK, 0);
  for (char c : std::string("2x5.5e")) g->PlatformKey(VK_CHAR, c);  // x and e cannot be typed
  EXPECT_EQ(g->PromptText(), "25.5");
  g->PlatformMouseMove(90, 90, left, true);  // no drag while the field is open
  g->PlatformKey(VK_RETURN, 0);
  EXPECT_FALSE(g->PromptOpen());
  EXPECT_DOUBLE_EQ(plug.GetParam(20)->Value(), 25.5);
  // Refused: nothing changes, and the editor is told why.
  EXPECT_FALSE(g->SetFromStringAfterPrompt(knob, plug.GetParam(20), "-"));
  EXPECT_EQ(message, "\"-\" is not a number");
  EXPECT_DOUBLE_EQ(plug.GetParam(20)->Value(), 25.5);
  EXPECT_FALSE(g->SetFromStringAfterPrompt(toggle, plug.GetParam(0), "1"));
  EXPECT_EQ(message, "\"1\" is not a value of Band A on");
  EXPECT_EQ(plug.GetParam(0)->Value(), 1.0);
  // Escape, a click outside and a wheel step each cancel.
  for (int how = 0; how < 3; ++how) {
    right_click(20, 20);
    g->PlatformKey(VK_BACK, 0);
    g->PlatformKey(VK_CHAR, '9');
    if (how == 0) g->PlatformKey(VK_ESCAPE, 0);
    if (how == 1) g->PlatformMouseDown(150, 80, left, 10000 * how);
    if (how == 2) g->PlatformMouseWheel(150, 80, left, 1);
    EXPECT_FALSE(g->PromptOpen());
    EXPECT_DOUBLE_EQ(plug.GetParam(20)->Value(), 25.5);
  }
  // The cancelling click went no further; the wheel step, after cancelling, turned what lies
  // under the pointer.
  EXPECT_EQ(bg->log, "w");
  IParam mode;  // an enumeration takes its texts, not numbers
  mode.InitEnum("Mode", 0, 3);
  for (int v = 0; v < 3; ++v) mode.SetDisplayText(v, v == 2 ? "last" : "other");
  EXPECT_TRUE(g->SetFromStringAfterPrompt(knob, &mode, "last"));
  EXPECT_EQ(knob->GetValue(), 1.0);
}

TEST_F(GraphicsContext, MenuOfDisplayTextsByClickOrKeys) {
  IMouseMod right{true, true};
  g->PlatformMouseDown(50, 20, right, 0);
  g->PlatformMouseUp(50, 20, right);
  ASSERT_TRUE(g->MenuOpen());
  EXPECT_EQ(g->PromptMenuHover(), 1);  // the current text, "on", is the chosen one
  const IRECT m = g->PromptRECT();
  g->PlatformMouseDown(m.L + 5, m.T + 5, left, 0);  // the first item: "off"
  EXPECT_FALSE(g->PromptOpen());
  EXPECT_EQ(plug.GetParam(0)->Value(), 0.0);
  g->PlatformMouseDown(50, 20, right, 5000);
  g->PlatformMouseUp(50, 20, right);
  g->PlatformKey(VK_DOWN, 0);
  g->PlatformKey(VK_RETURN, 0);
  EXPECT_EQ(plug.GetParam(0)->Value(), 1.0);
}

TEST(BitmapCache, OneBitmapPerIdForEveryContextOfTheProcess) {
  TestPlug plug;
  IGraphicsHeadless a(&plug, 10, 10), b(&plug, 10, 10);
  const IBitmap knob = a.LoadIBitmap(9101, "img/black_knob.png", 192);
  ASSERT_NE(knob.mData, nullptr);
  EXPECT_EQ(knob.N, 192);
  EXPECT_EQ(b.LoadIBitmap(9101, "img/light.png").mData, knob.mData);  // by id, loaded once
  EXPECT_EQ(a.LoadIBitmap(9102, "img/no such image.png").mData, nullptr);
}

}  // namespace
