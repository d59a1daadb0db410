// Golden images of the value entry the graphics context draws itself: the text field of a
// number and the pop-up menu of a parameter with display texts, in the skin's 12-px font.
#include <gtest/gtest.h>

#include "framework/IControl.h"
#include "framework/bitmap/resources.h"
#include "framework/headless/IGraphicsHeadless.h"
#include "support/golden.h"
#include "test_plug.h"
#include "toolkit/font.h"

namespace {

// The skin's regular 12-px font (fonts live as long as the process, as the editor's do).
font_t* prompt_font() {
  static font_t* base = nullptr;
  static font_t* font = [] {
    RasterBitmap big, small;  // the fonts keep only the coverage
    image_t sheet = load_skin_image("img/font/font48.png", big, 80, 48 * FONT_GLYPHS);
    sheet.srgb = nullptr;
    base = font_load(6, sheet);
    image_t sheet12 = load_skin_image("img/font/font12.png", small, 80, 48 * FONT_GLYPHS);
    sheet12.srgb = nullptr;
    return base ? make_font_size(base, sheet12, 12.0) : nullptr;
  }();
  return font;
}

// A plain field of grey with a knob's square on it, so the pictures show what lies around.
class Panel : public IControl {
 public:
  Panel(IPluginBase* plug, IRECT r, int param) : IControl(plug, r, param) { DisablePrompt(false); }
  bool Draw(IGraphics* g) override {
    RasterBitmap* b = g->GetDrawBitmap();
    const uint8_t v = ParamIdx() < 0 ? 60 : 110;
    for (int y = mRECT.T; y < mRECT.B; ++y)
      for (int x = mRECT.L; x < mRECT.R; ++x) b->Pixels()[y * b->Width() + x] = srgb_t{0, v, v, uint8_t(v + 20)};
    return true;
  }
};

struct PromptScene {
  TestPlug plug;
  IGraphicsHeadless* g = new IGraphicsHeadless(&plug, 200, 120, 60);
  PromptScene() {
    g->AttachControl(new Panel(&plug, IRECT(0, 0, 200, 120), -1));
    g->AttachControl(new Panel(&plug, IRECT(30, 30, 90, 90), 4));    // Band A gain: a number
    g->AttachControl(new Panel(&plug, IRECT(120, 30, 180, 90), 0));  // Band A on: off / on
    g->SetPromptFont(prompt_font());
    plug.AttachGraphics(g);
  }
  void right_click(int x, int y) {
    g->PlatformMouseDown(x, y, IMouseMod(true, true), 0);
    g->PlatformMouseUp(x, y, IMouseMod(true, true));
  }
};

TEST(PromptGolden, TextFieldOpenedSelectedThenTyping) {
  ASSERT_NE(prompt_font(), nullptr);
  PromptScene s;
  s.right_click(60, 60);
  ASSERT_TRUE(s.g->TextEntryOpen());
  ASSERT_TRUE(s.g->Tick());
  check_golden("framework", "prompt_text_field_selected", *s.g->GetDrawBitmap());
  for (char c : std::string("-12.5")) s.g->PlatformKey(VK_CHAR, c);
  s.g->PlatformKey(VK_LEFT, 0);
  ASSERT_EQ(s.g->PromptText(), "-12.5");
  ASSERT_TRUE(s.g->Tick());
  check_golden("framework", "prompt_text_field", *s.g->GetDrawBitmap());
}

TEST(PromptGolden, MenuWithTheCurrentItemMarkedAndAnotherUnderThePointer) {
  ASSERT_NE(prompt_font(), nullptr);
  PromptScene s;
  s.right_click(150, 60);
  ASSERT_TRUE(s.g->MenuOpen());
  s.g->PlatformMouseMove(130, 40, IMouseMod(true), false);  // over "off"; "on" is the value
  ASSERT_EQ(s.g->PromptMenuHover(), 0);
  ASSERT_TRUE(s.g->Tick());
  check_golden("framework", "prompt_menu", *s.g->GetDrawBitmap());
}

}  // namespace
