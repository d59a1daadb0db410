// The editor's window-independent graphics context: it owns the controls and the 32-bit draw
// bitmap, decides what to redraw, dispatches mouse and key events to the right control,
// carries values between controls and the plug-in, runs value entry (a text field or a
// pop-up menu, drawn by the context itself over the frame), and keeps the process-wide
// bitmap cache. A platform layer derives from it: it supplies the window, the timer and the
// blit to the screen, and turns its events into the Platform* calls below.
//
// Threads: everything here runs on the editor's (main) thread, the one that owns the
// window: dispatch from the platform's events, drawing from its timer. The plug-in calls
// SetParameterFromPlug and SetControlFromPlug on that thread too (a host adapter that learns
// of a change on another thread hands it over first). Only the bitmap cache is shared by all
// contexts of a process, under its own recursive lock.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "framework/FW_Mutex.h"
#include "framework/FW_PtrList.h"
#include "framework/FW_String.h"
#include "framework/IGraphicsTypes.h"

class IControl;
class IParam;
class IPluginBase;
class RasterBitmap;
struct font_t;

// The contents of a pop-up menu: one item per text, at most one marked as chosen.
class IPopupMenu {
 public:
  void AddItem(const char* text, bool checked = false);
  int NItems() const { return static_cast<int>(mItems.size()); }
  const char* GetItemText(int idx) const;
  bool IsItemChecked(int idx) const;
  // The item the user chose, -1 until one is.
  int GetChosenItemIdx() const { return mChosen; }
  void SetChosenItemIdx(int idx) { mChosen = idx; }

 private:
  struct Item {
    FW_String mText;
    bool mChecked;
  };
  std::vector<Item> mItems;
  int mChosen = -1;
};

// Keys as a platform layer hands them over, before they are mapped to key codes or given
// to an open text field.
enum EVirtualKey {
  VK_CHAR,  // a printable character
  VK_RETURN, VK_ESCAPE, VK_BACK, VK_DELETE, VK_LEFT, VK_RIGHT, VK_UP, VK_DOWN, VK_HOME, VK_END,
  VK_OTHER,
};

class IGraphics {
 public:
  enum {
    kDefaultFPS = 25,
    kDblClickMs = 400,     // a second press within this time ...
    kDblClickPixels = 4,   // ... and this distance is a double-click
  };

  // fps: timer ticks per second; 0 or less gives kDefaultFPS. The bitmaps come from PrepDraw.
  IGraphics(IPluginBase* pPlug, int w, int h, int fps = 0);
  IGraphics(const IGraphics&) = delete;
  IGraphics& operator=(const IGraphics&) = delete;
  // Deletes the key catcher, the controls (last first) and both bitmaps.
  virtual ~IGraphics();

  // ---- life ----
  virtual void PrepDraw();
  // A new size: every control is deleted (the plug-in attaches them again), the bitmaps are
  // made anew and the plug-in is asked to resize its window.
  void Resize(int w, int h);
  int AttachControl(IControl* pControl);
  IControl* GetControl(int idx) const { return mControls.Get(idx); }
  int GetNControls() const { return mControls.GetSize(); }
  // The control that takes keys no other control takes; the context owns it.
  void SetKeyCatcher(IControl* pControl);
  IControl* GetKeyCatcher() const { return mKeyCatcher; }
  // A skin image by resource id, loaded once per process (OSLoadBitmap) and kept. A file
  // that cannot be read gives an IBitmap without data.
  IBitmap LoadIBitmap(int ID, const char* name, int nStates = 1, bool framesAreHorizontal = false);
  void SetStrictDrawing(bool strict);
  void HandleMouseOver(bool canHandle) { mHandleMouseOver = canHandle; }
  void SetAllControlsDirty();
  void OnGUIIdle();

  // ---- values between controls and the plug-in ----
  // Shows a parameter's value (plain unless normalized) on every control bound to it.
  virtual void SetParameterFromPlug(int paramIdx, double value, bool normalized);
  void SetControlFromPlug(int controlIdx, double normalizedValue);
  void SetParameterFromGUI(int paramIdx, double normalizedValue);
  // Value entry for a control: a menu of the parameter's display texts (enumerated, or
  // boolean with texts), otherwise a text field over rect. Does nothing if any is null.
  void PromptUserInput(IControl* pControl, IParam* pParam, IRECT* pR);
  // The text of a finished entry, given to the control as a user's value. A text that is not
  // a number (or names no display text) changes nothing and is reported; false then.
  bool SetFromStringAfterPrompt(IControl* pControl, IParam* pParam, const char* txt);
  // Where refusals of value entry are reported (the editor shows them on its info line).
  void SetMessageHandler(std::function<void(const char*)> handler) { mMessage = std::move(handler); }
  // The font the context draws its text field and menus with (the editor's regular font).
  void SetPromptFont(font_t* pFont) { mPromptFont = pFont; }
  font_t* GetPromptFont() const { return mPromptFont; }

  // ---- drawing ----
  // True when some control is dirty; r grows to hold every dirty control's rectangle (and
  // an open text field or menu).
  bool IsDirty(IRECT* pR);
  // Draws what r needs by the drawing rules, then any open text field or menu, then shows
  // the bitmap (DrawScreen).
  bool Draw(IRECT* pR);

  // ---- mouse and keys, in window pixels from the top left ----
  void OnMouseDown(int x, int y, IMouseMod* pMod);
  void OnMouseUp(int x, int y, IMouseMod* pMod);
  void OnMouseDrag(int x, int y, IMouseMod* pMod);
  bool OnMouseDblClick(int x, int y, IMouseMod* pMod);
  void OnMouseWheel(int x, int y, IMouseMod* pMod, int d);
  bool OnMouseOver(int x, int y, IMouseMod* pMod);
  void OnMouseOut();
  bool OnKeyDown(int x, int y, int key);

  // ---- what a platform layer calls: its events, with the platform rules applied ----
  // A press of a button (0 left, 1 right; -1 takes it from mod.R) at a time in milliseconds
  // that may wrap at 32 bits (an X server's clock does after 49.7 days): a second press of the
  // same button within kDblClickMs and kDblClickPixels of the first is a double-click. Clicks
  // go to an open text field or menu first; one outside closes it.
  void PlatformMouseDown(int x, int y, IMouseMod mod, uint32_t timeMs, int button = -1);
  // The same for a platform that tells double-clicks itself (Cocoa, by the event's click count).
  void PlatformMousePress(int x, int y, IMouseMod mod, bool dblClick);
  void PlatformMouseUp(int x, int y, IMouseMod mod);
  // Movement: a drag while a button is down (not delivered while a text field is open),
  // else mouse-over.
  void PlatformMouseMove(int x, int y, IMouseMod mod, bool buttonDown);
  // A wheel step first cancels an open text field or menu.
  void PlatformMouseWheel(int x, int y, IMouseMod mod, int d);
  void PlatformMouseLeave() { OnMouseOut(); }
  // A key: to an open text field or menu, else mapped to a key code (space, arrows, digits,
  // letters) for OnKeyDown at the last mouse position. False: the platform passes it on.
  bool PlatformKey(EVirtualKey vk, char ch);
  // The pointer is no longer the window's (it was unmapped, say): a press in progress ends
  // as if released where the pointer was last, with its host gesture.
  void PlatformCaptureLost();
  // The window went away: any press in progress ends, any open text field or menu is
  // cancelled.
  void PlatformClosed();

  // ---- the platform's duties ----
  // Shows the draw bitmap; here, nothing to show.
  virtual bool DrawScreen(IRECT* /*pR*/) { return true; }
  // Main thread, from the Draw of a control that draws every pixel of the frame and is drawn
  // first (here the editor's; the other controls draw nothing): the window's own pixels, for
  // the frame to be written straight into instead of the draw bitmap and shown as they are.
  // They are 32-bit words 0x00RRGGBB | *opaque in the machine's byte order, rows *stride
  // words apart. Only an open text field or menu is still drawn into the draw bitmap and put
  // over them. Null when there is no such window (the frame goes to the draw bitmap).
  virtual uint32_t* DirectFrame(int* /*stride*/, uint32_t* /*opaque*/) { return nullptr; }
  // The PNG of a skin resource as a new bitmap, or null.
  virtual RasterBitmap* OSLoadBitmap(int ID, const char* name);
  // Opens the editor in a window (a child of pParent when given); null when there is none.
  virtual void* OpenWindow(void* /*pParent*/) { return nullptr; }
  virtual void CloseWindow() {}
  virtual bool WindowIsOpen() const { return false; }

  // ---- state ----
  int Width() const { return mWidth; }
  int Height() const { return mHeight; }
  int FPS() const { return mFPS; }
  IPluginBase* GetPlug() const { return mPlug; }
  RasterBitmap* GetDrawBitmap() const { return mDrawBitmap; }
  const IRECT& GetDrawRECT() const { return mDrawRECT; }
  int GetMouseCapture() const { return mMouseCapture; }
  int GetMouseOver() const { return mMouseOver; }
  bool PromptOpen() const { return mPrompt.mKind != Prompt::kNone; }
  bool TextEntryOpen() const { return mPrompt.mKind == Prompt::kText; }
  bool MenuOpen() const { return mPrompt.mKind == Prompt::kMenu; }
  // The open text field's text, or the open menu's hovered item.
  const std::string& PromptText() const { return mPrompt.mText; }
  int PromptMenuHover() const { return mPrompt.mHover; }
  const IRECT& PromptRECT() const { return mPrompt.mRect; }

 protected:
  // The platform's text field and menu; the base draws them itself over the frame.
  virtual void CreateTextEntry(IControl* pControl, const IText& text, IRECT* pR, const char* str,
                               IParam* pParam);
  virtual void CreateIPopupMenu(IControl* pControl, IParam* pParam, IPopupMenu* pMenu, IRECT* pR);
  void CancelPrompt();
  // For a platform layer's destructor: the context goes away with its plug-in, whose host
  // adapter is already gone, so a press in progress is forgotten without telling anyone.
  void ForgetMouseCapture() {
    ReleaseMouseCapture();
    mGestureParam = -1;
  }

 private:
  struct Prompt {
    enum Kind { kNone, kText, kMenu } mKind = kNone;
    IControl* mControl = nullptr;
    IParam* mParam = nullptr;
    IRECT mRect;
    IRECT mAsked;       // the rectangle the field was asked for; it grows from it to fit its text
    std::string mText;  // the field's text
    size_t mCaret = 0;
    bool mSelected = false;  // the whole text is selected: typing replaces it
    bool mEdited = false;    // typed into; Enter on an unedited field changes nothing
    int mMaxLength = 0;
    const char* mAllowed = "";
    IPopupMenu mMenu;
    int mHover = -1;  // the menu item under the pointer or chosen by the arrows
    bool mDirty = false;
  };

  int FindControl(int x, int y, bool mouseOver) const;
  void ReleaseMouseCapture() { mMouseCapture = mMouseX = mMouseY = -1; }
  // Captures control c for a press or a double-click, beginning its parameter's gesture.
  void CaptureMouse(int c, int x, int y);
  // Ends the press in progress: the captured control is released at (x, y) and the gesture
  // begun for it ends. Nothing when no control is captured.
  void EndMouseCapture(int x, int y, IMouseMod* pMod);
  bool PromptMouseDown(int x, int y);
  bool PromptKey(EVirtualKey vk, char ch);
  void FinishPrompt(bool accept);
  void DrawPrompt();
  void FitTextField();
  int MenuItemAt(int x, int y) const;

  FW_Mutex mMutex;
  FW_PtrList<IControl> mControls;
  IPluginBase* mPlug;
  IRECT mDrawRECT;
  RasterBitmap* mDrawBitmap = nullptr;
  int mWidth, mHeight, mFPS;
  int mMouseCapture = -1, mMouseOver = -1;
  // The parameter whose host gesture the capture began; it ends exactly once, with the
  // capture. A release over a control never pressed ends none.
  int mGestureParam = -1;
  int mMouseX = -1, mMouseY = -1;
  int mLastClickedParam = -1;
  bool mHandleMouseOver = false;
  bool mStrict = true;
  IControl* mKeyCatcher = nullptr;
  // Platform input state: the last pointer position (keys go there), the last press for
  // double-click detection, and whether a button is held.
  int mPlatformX = -1, mPlatformY = -1;
  bool mHaveLastPress = false;  // false after a double-click: a third press starts counting again
  uint32_t mLastPressMs = 0;
  int mLastPressButton = -1, mLastPressX = 0, mLastPressY = 0;
  bool mPressTakenByPrompt = false;
  Prompt mPrompt;
  font_t* mPromptFont = nullptr;
  std::function<void(const char*)> mMessage;
};

// Graphics contexts are made by the platform layer a program chooses before its instances
// are built (a window system); without a choice, by the headless layer.
using graphics_factory_t = IGraphics* (*)(IPluginBase* pPlug, int w, int h, int fps);
void SetGraphicsFactory(graphics_factory_t factory);
IGraphics* MakeGraphics(IPluginBase* pPlug, int w, int h, int fps);
