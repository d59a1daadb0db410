// Value types of the editor framework: rectangles, colours, text styles, mouse modifiers and
// loaded bitmaps.
#pragma once

class RasterBitmap;

// An integer rectangle, left and top inside, right and bottom outside.
struct IRECT {
  int L = 0, T = 0, R = 0, B = 0;

  IRECT() = default;
  IRECT(int l, int t, int r, int b) : L(l), T(t), R(r), B(b) {}

  int W() const { return R - L; }
  int H() const { return B - T; }
  // Centre, as the mean of the edges truncated.
  int MW() const { return (L + R) / 2; }
  int MH() const { return (T + B) / 2; }
  // All four edges zero: "no rectangle".
  bool Empty() const { return L == 0 && T == 0 && R == 0 && B == 0; }
  bool Contains(int x, int y) const { return L <= x && x < R && T <= y && y < B; }
  // The smallest rectangle holding both; an empty side gives the other.
  IRECT Union(const IRECT& o) const;
  bool operator==(const IRECT& o) const { return L == o.L && T == o.T && R == o.R && B == o.B; }
  bool operator!=(const IRECT& o) const { return !(*this == o); }
};

struct IColor {
  int A = 255, R = 0, G = 0, B = 0;
};

extern const IColor COLOR_TRANSPARENT, COLOR_BLACK, COLOR_GRAY, COLOR_WHITE, COLOR_RED,
    COLOR_GREEN, COLOR_BLUE, COLOR_YELLOW, COLOR_ORANGE;
extern const IColor &DEFAULT_TEXT_COLOR, &DEFAULT_TEXT_ENTRY_BGCOLOR, &DEFAULT_TEXT_ENTRY_FGCOLOR;

// A text style; here it styles the value entry field.
struct IText {
  enum EStyle { kStyleNormal = 0, kStyleBold = 1, kStyleItalic = 2 };
  enum EAlign { kAlignNear = 0, kAlignCenter = 1, kAlignFar = 2 };

  char mFont[32] = "Monaco";
  int mSize = 10;
  IColor mColor = DEFAULT_TEXT_COLOR;
  IColor mTextEntryBGColor = DEFAULT_TEXT_ENTRY_BGCOLOR;
  IColor mTextEntryFGColor = DEFAULT_TEXT_ENTRY_FGCOLOR;
  int mStyle = kStyleNormal;
  int mAlign = kAlignCenter;
  int mOrientation = 0;
  int mQuality = 0;
  void* mCached = nullptr;
};

// Mouse buttons and modifiers: L left button (set on every event from a platform), R right
// button or the command key, S shift, C control, A alt.
struct IMouseMod {
  bool L = false, R = false, S = false, C = false, A = false;
  IMouseMod() = default;
  IMouseMod(bool l, bool r = false, bool s = false, bool c = false, bool a = false)
      : L(l), R(r), S(s), C(c), A(a) {}
};

// A loaded image: the cached bitmap (owned by the process-wide cache) and its frames.
struct IBitmap {
  RasterBitmap* mData = nullptr;
  int W = 0, H = 0, N = 1;
  bool mFramesAreHorizontal = false;
};

// Key codes given to OnKeyDown.
enum EKeyCode {
  KEY_SPACE = 0, KEY_UP = 1, KEY_DOWN = 2, KEY_LEFT = 3, KEY_RIGHT = 4,
  KEY_DIGIT0 = 5,   // 5..14: the digits 0..9
  KEY_ALPHA_A = 15, // 15..40: the letters A..Z
  KEY_LAST = 40,
};
