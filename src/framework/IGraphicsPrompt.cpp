// Value entry drawn by the graphics context itself: a one-line text field and a pop-up menu,
// composed in linear light over the finished frame and converted into the draw bitmap.
#include <algorithm>
#include <cstring>

#include "framework/IControl.h"
#include "framework/IGraphics.h"
#include "framework/IParam.h"
#include "framework/bitmap/RasterBitmap.h"
#include "toolkit/font.h"
#include "toolkit/graphics/colour.h"
#include "toolkit/graphics/srgb.h"

namespace {

constexpr int MENU_ITEM_H = 18, MENU_PAD = 10;
const char* const DOUBLE_CHARS = "0123456789.-+";
const char* const INTEGER_CHARS = "0123456789-+";

lrgb_t linear(const IColor& c) { return make_colour_srgb(c.R, c.G, c.B, c.A); }

// A text record over caller-owned buffers, for drawing one string.
struct line_t {
  char string[TEXT_BYTES] = {};
  char scratch[TEXT_BYTES] = {};
  text_t text{};
  line_t(font_t* font, int flags, double x, double y, const char* s) {
    text.font = font;
    text.string = string;
    text.scratch = scratch;
    text.flags = flags;
    text.x = text.x0 = x;
    text.y = text.y0 = y;
    std::strncpy(string, s, TEXT_BYTES - 1);
  }
};

void fill(std::vector<lrgb_t>& px, int w, IRECT r, lrgb_t c) {
  const int h = static_cast<int>(px.size()) / w;
  for (int y = std::max(0, r.T); y < std::min(h, r.B); ++y)
    for (int x = std::max(0, r.L); x < std::min(w, r.R); ++x) px[y * w + x] = c;
}

void frame(std::vector<lrgb_t>& px, int w, IRECT r, lrgb_t c) {
  fill(px, w, IRECT(r.L, r.T, r.R, r.T + 1), c);
  fill(px, w, IRECT(r.L, r.B - 1, r.R, r.B), c);
  fill(px, w, IRECT(r.L, r.T, r.L + 1, r.B), c);
  fill(px, w, IRECT(r.R - 1, r.T, r.R, r.B), c);
}

}  // namespace

void IGraphics::CreateTextEntry(IControl* pControl, const IText& text, IRECT* pR, const char* str,
                                IParam* pParam) {
  CancelPrompt();
  mPrompt.mKind = Prompt::kText;
  mPrompt.mControl = pControl;
  mPrompt.mParam = pParam;
  mPrompt.mRect = mPrompt.mAsked = *pR;
  mPrompt.mMaxLength = std::max(1, pControl->GetTextEntryLength());
  // The whole value, selected, as a platform's text field opens: typing replaces it. The
  // length limit holds for what is typed; the value shown is never cut.
  mPrompt.mText.assign(str ? str : "");
  mPrompt.mCaret = mPrompt.mText.size();
  mPrompt.mSelected = !mPrompt.mText.empty();
  mPrompt.mAllowed = pParam->Type() == IParam::kTypeDouble ? DOUBLE_CHARS : INTEGER_CHARS;
  mPrompt.mDirty = true;
  FitTextField();
  (void)text;  // the field takes its colours from the control's style when it is drawn
}

void IGraphics::CreateIPopupMenu(IControl* pControl, IParam* pParam, IPopupMenu* pMenu, IRECT* pR) {
  CancelPrompt();
  mPrompt.mKind = Prompt::kMenu;
  mPrompt.mControl = pControl;
  mPrompt.mParam = pParam;
  mPrompt.mMenu = *pMenu;
  mPrompt.mHover = -1;
  int w = pR->W();
  for (int i = 0; i < pMenu->NItems(); ++i) {
    if (pMenu->IsItemChecked(i)) mPrompt.mHover = i;
    if (mPromptFont) w = std::max(w, static_cast<int>(text_width(mPromptFont, pMenu->GetItemText(i))) + 3 * MENU_PAD);
  }
  const int h = pMenu->NItems() * MENU_ITEM_H + 2;
  // Below the control's top-left corner, moved inside the window where it would leave it.
  const int x = std::max(0, std::min(pR->L, mWidth - w)), y = std::max(0, std::min(pR->T, mHeight - h));
  mPrompt.mRect = IRECT(x, y, x + w, y + h);
  mPrompt.mDirty = true;
}

// A text wider than the field widens it about its centre, inside the window, so every
// character typed stays readable.
void IGraphics::FitTextField() {
  const IRECT& a = mPrompt.mAsked;
  int w = a.W();
  if (mPromptFont) w = std::max(w, static_cast<int>(text_width(mPromptFont, mPrompt.mText.c_str())) + 8);
  w = std::min(w, mWidth);
  const int x = std::max(0, std::min(a.MW() - w / 2, mWidth - w));
  mPrompt.mRect = IRECT(x, a.T, x + w, a.B);
}

void IGraphics::CancelPrompt() {
  if (!PromptOpen()) return;
  mPrompt = Prompt();
  mPrompt.mDirty = true;  // the frame under it is drawn again
}

void IGraphics::FinishPrompt(bool accept) {
  Prompt p = mPrompt;
  CancelPrompt();
  if (!accept) return;
  if (p.mKind == Prompt::kText) {
    // The value shown was rounded for display: set as it stands it would move the value.
    if (!p.mEdited) return;
    SetFromStringAfterPrompt(p.mControl, p.mParam, p.mText.c_str());
  } else if (p.mKind == Prompt::kMenu && p.mHover >= 0) {
    p.mMenu.SetChosenItemIdx(p.mHover);
    int value = p.mHover;
    p.mParam->GetDisplayTextAtIdx(p.mHover, &value);
    p.mControl->SetValueFromUserInput(p.mParam->GetNormalized(value));
  }
}

int IGraphics::MenuItemAt(int x, int y) const {
  const IRECT& r = mPrompt.mRect;
  if (!r.Contains(x, y)) return -1;
  const int item = (y - r.T - 1) / MENU_ITEM_H;
  return (item >= 0 && item < mPrompt.mMenu.NItems()) ? item : -1;
}

bool IGraphics::PromptMouseDown(int x, int y) {
  if (!mPrompt.mRect.Contains(x, y)) {
    CancelPrompt();
    return true;
  }
  if (MenuOpen()) {
    mPrompt.mHover = MenuItemAt(x, y);
    if (mPrompt.mHover >= 0) FinishPrompt(true);
  }
  return true;
}

bool IGraphics::PromptKey(EVirtualKey vk, char ch) {
  Prompt& p = mPrompt;
  p.mDirty = true;
  if (vk == VK_ESCAPE) {
    CancelPrompt();
    return true;
  }
  if (vk == VK_RETURN) {
    FinishPrompt(true);
    return true;
  }
  if (p.mKind == Prompt::kMenu) {
    const int n = p.mMenu.NItems();
    if (vk == VK_DOWN && n) p.mHover = (p.mHover + 1) % n;
    if (vk == VK_UP && n) p.mHover = (p.mHover <= 0 ? n : p.mHover) - 1;
    return true;
  }
  const bool typed = vk == VK_CHAR && ch && std::strchr(p.mAllowed, ch);
  if (p.mSelected) {
    // Typing or deleting replaces the whole selected text; an arrow, Home or End leaves the
    // caret at the selection's start or end, as in a platform's field.
    switch (vk) {
      case VK_CHAR:
        if (!typed) return true;
        [[fallthrough]];
      case VK_BACK:
      case VK_DELETE:
        p.mText.clear();
        p.mEdited = true;
        [[fallthrough]];
      case VK_LEFT:
      case VK_HOME:
        p.mCaret = 0;
        break;
      case VK_RIGHT:
      case VK_END:
        p.mCaret = p.mText.size();
        break;
      default:
        return true;
    }
    p.mSelected = false;
    if (!typed) {
      FitTextField();
      return true;
    }
  }
  switch (vk) {
    case VK_CHAR:
      if (typed && static_cast<int>(p.mText.size()) < p.mMaxLength) {
        p.mText.insert(p.mCaret++, 1, ch);
        p.mEdited = true;
      }
      break;
    case VK_BACK:
      if (p.mCaret > 0) p.mText.erase(--p.mCaret, 1), p.mEdited = true;
      break;
    case VK_DELETE:
      if (p.mCaret < p.mText.size()) p.mText.erase(p.mCaret, 1), p.mEdited = true;
      break;
    case VK_LEFT: if (p.mCaret > 0) --p.mCaret; break;
    case VK_RIGHT: if (p.mCaret < p.mText.size()) ++p.mCaret; break;
    case VK_HOME: p.mCaret = 0; break;
    case VK_END: p.mCaret = p.mText.size(); break;
    default: break;
  }
  FitTextField();
  return true;
}

void IGraphics::DrawPrompt() {
  mPrompt.mDirty = false;
  if (!PromptOpen() || !mDrawBitmap || mDrawBitmap->Empty()) return;
  const IRECT r = mPrompt.mRect;
  const int w = r.W(), h = r.H();
  if (w <= 0 || h <= 0) return;
  std::vector<lrgb_t> px(static_cast<size_t>(w) * h);
  const IRECT local(0, 0, w, h);
  const IText& style = mPrompt.mControl->GetText();
  const lrgb_t border = make_colour_srgb(96, 96, 96, 255);
  const lrgb_t selection = make_colour_srgb(56, 117, 215, 255), selected_text = make_colour_srgb(255, 255, 255, 255);
  if (TextEntryOpen()) {
    lrgb_t fg = linear(style.mTextEntryFGColor);
    fill(px, w, local, linear(style.mTextEntryBGColor));
    frame(px, w, local, border);
    if (mPromptFont) {
      // Centred as the control's style asks; the caret sits after the text before it, and a
      // selected text shows on the selection's colour instead.
      const double full = text_width(mPromptFont, mPrompt.mText.c_str());
      const double left = style.mAlign == IText::kAlignNear ? 3
                          : style.mAlign == IText::kAlignFar ? w - 3 - full
                                                             : (w - full) / 2;
      if (mPrompt.mSelected) {
        fill(px, w, IRECT(static_cast<int>(left) - 1, 2, static_cast<int>(left + full) + 2, h - 2), selection);
        fg = selected_text;
      }
      line_t line(mPromptFont, TEXT_LEFT | TEXT_MIDDLE, 0, h / 2.0, mPrompt.mText.c_str());
      const double space = text_width(mPromptFont, " ");
      line.text.x = left - space;  // TEXT_LEFT starts one space right of x
      blit_text(&line.text, px.data(), fg, w, h, 1.0);
      const int caret = static_cast<int>(left + text_width(mPromptFont, mPrompt.mText.substr(0, mPrompt.mCaret).c_str()));
      if (!mPrompt.mSelected) fill(px, w, IRECT(caret, 2, caret + 1, h - 2), fg);
    }
  } else {
    fill(px, w, local, make_colour_srgb(236, 236, 236, 255));
    frame(px, w, local, border);
    for (int i = 0; i < mPrompt.mMenu.NItems(); ++i) {
      const IRECT row(1, 1 + i * MENU_ITEM_H, w - 1, 1 + (i + 1) * MENU_ITEM_H);
      const bool hover = i == mPrompt.mHover;
      if (hover) fill(px, w, row, selection);
      const lrgb_t fg = hover ? selected_text : make_colour_srgb(0, 0, 0, 255);
      if (mPrompt.mMenu.IsItemChecked(i)) {
        const int cy = (row.T + row.B) / 2;
        fill(px, w, IRECT(5, cy - 2, 9, cy + 2), fg);
      }
      if (mPromptFont) {
        line_t line(mPromptFont, TEXT_LEFT | TEXT_MIDDLE, MENU_PAD, (row.T + row.B) / 2.0,
                    mPrompt.mMenu.GetItemText(i));
        blit_text(&line.text, px.data(), fg, w, h, 1.0);
      }
    }
  }
  std::vector<srgb_t> out(px.size());
  convert_lrgb_to_srgb(out.data(), px.data(), static_cast<int>(px.size()), 0);
  const int W = mDrawBitmap->Width(), H = mDrawBitmap->Height();
  srgb_t* dst = mDrawBitmap->Pixels();
  for (int y = std::max(0, r.T); y < std::min(H, r.B); ++y)
    for (int x = std::max(0, r.L); x < std::min(W, r.R); ++x) {
      const srgb_t s = out[(y - r.T) * w + (x - r.L)];
      srgb_t& d = dst[y * W + x];
      d.r = s.r;
      d.g = s.g;
      d.b = s.b;
    }
}
