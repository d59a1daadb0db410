#include "framework/IGraphics.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "framework/IControl.h"
#include "framework/IParam.h"
#include "framework/IPluginBase.h"
#include "framework/bitmap/RasterBitmap.h"
#include "framework/bitmap/resources.h"
#include "toolkit/util/c_numbers.h"

namespace {

// The process-wide bitmap cache: loaded skin images by resource id, kept until the process
// ends, shared by every context under one recursive lock.
struct BitmapStorage {
  struct Entry {
    int mID;
    RasterBitmap* mBitmap;
  };
  FW_Mutex mMutex;
  std::vector<Entry> mEntries;
};

BitmapStorage& bitmap_cache() {
  static BitmapStorage* s_bitmapCache = new BitmapStorage;  // never freed: bitmaps outlive editors
  return *s_bitmapCache;
}

}  // namespace

IGraphics::IGraphics(IPluginBase* pPlug, int w, int h, int fps)
    : mPlug(pPlug), mWidth(w), mHeight(h), mFPS(fps > 0 ? fps : kDefaultFPS) {}

IGraphics::~IGraphics() {
  delete mKeyCatcher;
  mControls.Empty(true);
  delete mDrawBitmap;
}

void IGraphics::PrepDraw() {
  delete mDrawBitmap;
  mDrawBitmap = new RasterBitmap(mWidth, mHeight);
}

void IGraphics::Resize(int w, int h) {
  CancelPrompt();
  IMouseMod mod(true);
  EndMouseCapture(mMouseX, mMouseY, &mod);
  mWidth = w;
  mHeight = h;
  mMouseOver = -1;
  mControls.Empty(true);
  delete mDrawBitmap;
  mDrawBitmap = nullptr;
  PrepDraw();
  if (mPlug) mPlug->ResizeGraphics(w, h);
}

int IGraphics::AttachControl(IControl* pControl) {
  mControls.Add(pControl);
  return mControls.GetSize() - 1;
}

void IGraphics::SetKeyCatcher(IControl* pControl) {
  if (mKeyCatcher != pControl) delete mKeyCatcher;
  mKeyCatcher = pControl;
}

IBitmap IGraphics::LoadIBitmap(int ID, const char* name, int nStates, bool framesAreHorizontal) {
  BitmapStorage& cache = bitmap_cache();
  RasterBitmap* bitmap = nullptr;
  {
    FW_MutexLock lock(cache.mMutex);
    for (const BitmapStorage::Entry& e : cache.mEntries)
      if (e.mID == ID) bitmap = e.mBitmap;
    if (!bitmap) {
      bitmap = OSLoadBitmap(ID, name);
      if (bitmap) cache.mEntries.push_back({ID, bitmap});
    }
  }
  IBitmap result;
  result.mData = bitmap;
  result.W = bitmap ? bitmap->Width() : 0;
  result.H = bitmap ? bitmap->Height() : 0;
  result.N = nStates;
  result.mFramesAreHorizontal = framesAreHorizontal;
  return result;
}

RasterBitmap* IGraphics::OSLoadBitmap(int, const char* name) {
  if (!name) return nullptr;
  RasterBitmap* bitmap = new RasterBitmap;
  if (load_resource_png(name, *bitmap)) return bitmap;
  delete bitmap;
  return nullptr;
}

void IGraphics::SetStrictDrawing(bool strict) {
  mStrict = strict;
  SetAllControlsDirty();
}

void IGraphics::SetAllControlsDirty() {
  for (int i = 0; i < mControls.GetSize(); ++i) mControls.Get(i)->SetDirty(false);
}

void IGraphics::OnGUIIdle() {
  for (int i = 0; i < mControls.GetSize(); ++i) mControls.Get(i)->OnGUIIdle();
}

// ---- values ----

void IGraphics::SetParameterFromPlug(int paramIdx, double value, bool normalized) {
  if (!normalized) {
    IParam* param = mPlug ? mPlug->GetParam(paramIdx) : nullptr;
    if (!param) return;
    value = param->GetNormalized(value);
  }
  for (int i = 0; i < mControls.GetSize(); ++i) {
    IControl* c = mControls.Get(i);
    if (c->ParamIdx() == paramIdx) c->SetValueFromPlug(value);
    const int aux = c->AuxParamIdx(paramIdx);
    if (aux >= 0) c->SetAuxParamValueFromPlug(aux, value);
  }
}

void IGraphics::SetControlFromPlug(int controlIdx, double normalizedValue) {
  if (IControl* c = mControls.Get(controlIdx)) c->SetValueFromPlug(normalizedValue);
}

void IGraphics::SetParameterFromGUI(int paramIdx, double normalizedValue) {
  for (int i = 0; i < mControls.GetSize(); ++i) {
    IControl* c = mControls.Get(i);
    if (c->ParamIdx() == paramIdx) c->SetValueFromUserInput(normalizedValue);
  }
}

void IGraphics::PromptUserInput(IControl* pControl, IParam* pParam, IRECT* pR) {
  if (!pControl || !pParam || !pR) return;
  const IParam::EParamType type = pParam->Type();
  const int n = pParam->GetNDisplayTexts();
  if (type == IParam::kTypeEnum || (type == IParam::kTypeBool && n)) {
    char current[IParam::kTextSize];
    pParam->GetDisplayForHost(current, sizeof current);
    IPopupMenu menu;
    for (int i = 0; i < n; ++i) {
      const char* text = pParam->GetDisplayTextAtIdx(i);
      menu.AddItem(text, std::string(text) == current);
    }
    CreateIPopupMenu(pControl, pParam, &menu, pR);
    return;
  }
  char current[IParam::kTextSize];
  pParam->GetDisplayForHost(current, sizeof current, false);
  CreateTextEntry(pControl, pControl->GetText(), pR, current, pParam);
}

bool IGraphics::SetFromStringAfterPrompt(IControl* pControl, IParam* pParam, const char* txt) {
  if (!pControl || !pParam || !txt) return false;
  double value = 0.0;
  const IParam::EParamType type = pParam->Type();
  char message[96];
  if ((type == IParam::kTypeBool || type == IParam::kTypeEnum) && pParam->GetNDisplayTexts()) {
    int mapped = 0;
    if (!pParam->MapDisplayText(txt, &mapped)) {
      std::snprintf(message, sizeof message, "\"%.40s\" is not a value of %s", txt,
                    pParam->GetNameForHost());
      if (mMessage) mMessage(message);
      return false;
    }
    value = mapped;
  } else {
    // A number and nothing else: "abc" or "3x" must not quietly become 0 or 3.
    char* end = nullptr;
    value = c_strtod(txt, &end);
    while (end && (*end == ' ' || *end == '\t')) ++end;
    if (end == txt || !end || *end || !std::isfinite(value)) {
      std::snprintf(message, sizeof message, "\"%.40s\" is not a number", txt);
      if (mMessage) mMessage(message);
      return false;
    }
    if (pParam->GetNegateDisplay()) value = -value;
  }
  pControl->SetValueFromUserInput(pParam->GetNormalized(value));
  return true;
}

// ---- drawing ----

bool IGraphics::IsDirty(IRECT* pR) {
  bool dirty = false;
  for (int i = 0; i < mControls.GetSize(); ++i) {
    IControl* c = mControls.Get(i);
    if (!c->IsDirty()) continue;
    dirty = true;
    if (!c->GetRECT().Empty()) *pR = pR->Union(c->GetRECT());
  }
  if (mPrompt.mDirty) {
    // The field or menu is drawn over the frame: what lies under it is drawn again too.
    SetAllControlsDirty();
    dirty = true;
    *pR = pR->Union(IRECT(0, 0, mWidth, mHeight));
  }
  return dirty;
}

bool IGraphics::Draw(IRECT* pR) {
  const int n = mControls.GetSize();
  if (!n || !pR) return true;
  if (mStrict) {
    mDrawRECT = *pR;
    for (int i = 0; i < n; ++i) {
      IControl* c = mControls.Get(i);
      const IRECT& a = c->GetRECT();
      if (!c->IsHidden() && !pR->Empty() && !a.Empty() && a.L <= pR->R && a.R > pR->L &&
          a.T <= pR->B && a.B > pR->T)
        c->Draw(this);
      c->SetClean();
    }
  } else if (mControls.Get(0)->IsDirty()) {
    mDrawRECT = mControls.Get(0)->GetRECT();
    for (int i = 0; i < n; ++i) {
      IControl* c = mControls.Get(i);
      if (i == 0 || !c->IsHidden()) {
        c->Draw(this);
        c->SetClean();
      }
    }
  } else {
    for (int i = 1; i < n; ++i) {
      IControl* dirty = mControls.Get(i);
      if (!dirty->IsDirty()) continue;
      mDrawRECT = dirty->GetRECT();
      const IRECT& d = mDrawRECT;
      for (int j = 0; j < n; ++j) {
        IControl* c = mControls.Get(j);
        const IRECT& a = c->GetRECT();
        if (c->IsHidden()) continue;
        if (j == i || (!a.Empty() && a.L < d.R && a.R >= d.L && a.T < d.B && a.B >= d.T)) c->Draw(this);
      }
      dirty->SetClean();
    }
  }
  DrawPrompt();
  return DrawScreen(pR);
}

// ---- mouse and keys ----

int IGraphics::FindControl(int x, int y, bool mouseOver) const {
  for (int i = mControls.GetSize() - 1; i >= 0; --i) {
    IControl* c = mControls.Get(i);
    const bool grayOk = !c->IsGrayed() || (mouseOver && c->GetMOWhenGrayed());
    if (!c->IsHidden() && grayOk && c->IsHit(x, y)) return i;
  }
  return -1;
}

void IGraphics::CaptureMouse(int c, int x, int y) {
  mMouseCapture = c;
  mMouseX = x;
  mMouseY = y;
  const int param = mControls.Get(c)->ParamIdx();
  if (param >= 0 && mPlug) {
    mLastClickedParam = param;
    mGestureParam = param;
    mPlug->BeginInformHostOfParamChange(param);
  }
}

void IGraphics::EndMouseCapture(int x, int y, IMouseMod* pMod) {
  IControl* control = mControls.Get(mMouseCapture);
  const int param = mGestureParam;
  ReleaseMouseCapture();
  mGestureParam = -1;
  if (control) control->OnMouseUp(x, y, pMod);
  if (param >= 0 && mPlug) mPlug->EndInformHostOfParamChange(param);
}

void IGraphics::OnMouseDown(int x, int y, IMouseMod* pMod) {
  // A press while another is in progress (a second button) ends that one first.
  EndMouseCapture(mMouseX, mMouseY, pMod);
  const int c = FindControl(x, y, false);
  if (c < 0) return;
  CaptureMouse(c, x, y);
  mControls.Get(c)->OnMouseDown(x, y, pMod);
}

void IGraphics::OnMouseUp(int x, int y, IMouseMod* pMod) {
  if (mMouseCapture >= 0) {
    EndMouseCapture(x, y, pMod);
    return;
  }
  if (IControl* control = mControls.Get(FindControl(x, y, false))) control->OnMouseUp(x, y, pMod);
}

void IGraphics::OnMouseDrag(int x, int y, IMouseMod* pMod) {
  IControl* control = mControls.Get(mMouseCapture);
  if (!control) return;
  const int dX = x - mMouseX, dY = y - mMouseY;
  if (dX == 0 && dY == 0) return;
  mMouseX = x;
  mMouseY = y;
  control->OnMouseDrag(x, y, dX, dY, pMod);
}

// The control is captured as by a press, so that its change lies inside one host gesture
// that ends with the release, and the release comes back to it.
bool IGraphics::OnMouseDblClick(int x, int y, IMouseMod* pMod) {
  EndMouseCapture(mMouseX, mMouseY, pMod);
  const int c = FindControl(x, y, false);
  IControl* control = mControls.Get(c);
  if (!control) return false;
  CaptureMouse(c, x, y);
  if (control->GetDblAsSingleClick()) {
    control->OnMouseDown(x, y, pMod);
    return true;
  }
  control->OnMouseDblClick(x, y, pMod);
  return false;
}

void IGraphics::OnMouseWheel(int x, int y, IMouseMod* pMod, int d) {
  const int c = mMouseCapture >= 0 ? mMouseCapture : FindControl(x, y, false);
  if (IControl* control = mControls.Get(c)) control->OnMouseWheel(x, y, pMod, d);
}

bool IGraphics::OnMouseOver(int x, int y, IMouseMod* pMod) {
  if (!mHandleMouseOver) return false;
  const int c = mMouseCapture >= 0 ? mMouseCapture : FindControl(x, y, true);
  IControl* control = mControls.Get(c);
  if (!control) return true;
  mMouseX = x;
  mMouseY = y;
  control->OnMouseOver(x, y, pMod);
  if (mMouseOver != c)
    if (IControl* previous = mControls.Get(mMouseOver)) previous->OnMouseOut();
  mMouseOver = c;
  return true;
}

void IGraphics::OnMouseOut() {
  for (int i = 0; i < mControls.GetSize(); ++i) mControls.Get(i)->OnMouseOut();
  mMouseOver = -1;
}

bool IGraphics::OnKeyDown(int x, int y, int key) {
  IControl* target = nullptr;
  if (mMouseCapture >= 0) {
    target = mMouseCapture > 0 ? mControls.Get(mMouseCapture) : mKeyCatcher;
  } else {
    const int c = FindControl(x, y, false);
    target = c > 0 ? mControls.Get(c) : mKeyCatcher;
  }
  return target ? target->OnKeyDown(x, y, key) : false;
}

// ---- platform events ----

void IGraphics::PlatformMouseDown(int x, int y, IMouseMod mod, uint32_t timeMs, int button) {
  bool dbl = false;
  if (!PromptOpen()) {  // a press an open field or menu takes counts for no double-click
    if (button < 0) button = mod.R ? 1 : 0;
    // The difference of two clock readings, right across the clock's wrap.
    const uint32_t elapsed = timeMs - mLastPressMs;
    dbl = mHaveLastPress && button == mLastPressButton && elapsed <= kDblClickMs &&
          std::abs(x - mLastPressX) <= kDblClickPixels && std::abs(y - mLastPressY) <= kDblClickPixels;
    // A third press starts counting again, so a triple click is a double-click and a press.
    mHaveLastPress = !dbl;
    mLastPressMs = timeMs;
    mLastPressButton = button;
    mLastPressX = x;
    mLastPressY = y;
  }
  PlatformMousePress(x, y, mod, dbl);
}

void IGraphics::PlatformMousePress(int x, int y, IMouseMod mod, bool dblClick) {
  mPlatformX = x;
  mPlatformY = y;
  mPressTakenByPrompt = PromptOpen() && PromptMouseDown(x, y);
  if (mPressTakenByPrompt) return;
  if (dblClick)
    OnMouseDblClick(x, y, &mod);
  else
    OnMouseDown(x, y, &mod);
}

void IGraphics::PlatformMouseUp(int x, int y, IMouseMod mod) {
  mPlatformX = x;
  mPlatformY = y;
  // The release of a press that an open field or menu took goes nowhere, also when that press
  // closed it (a menu item chosen, a click outside); the release of the press that opened one
  // still ends its control's gesture.
  if (mPressTakenByPrompt) {
    mPressTakenByPrompt = false;
    return;
  }
  OnMouseUp(x, y, &mod);
}

void IGraphics::PlatformMouseMove(int x, int y, IMouseMod mod, bool buttonDown) {
  mPlatformX = x;
  mPlatformY = y;
  if (MenuOpen()) {
    const int item = MenuItemAt(x, y);
    if (item >= 0 && item != mPrompt.mHover) {
      mPrompt.mHover = item;
      mPrompt.mDirty = true;
    }
    return;
  }
  if (TextEntryOpen()) return;
  if (buttonDown)
    OnMouseDrag(x, y, &mod);
  else
    OnMouseOver(x, y, &mod);
}

void IGraphics::PlatformCaptureLost() {
  mPressTakenByPrompt = false;
  IMouseMod mod(true);
  EndMouseCapture(mMouseX, mMouseY, &mod);
}

void IGraphics::PlatformClosed() {
  PlatformCaptureLost();
  CancelPrompt();
}

void IGraphics::PlatformMouseWheel(int x, int y, IMouseMod mod, int d) {
  CancelPrompt();
  OnMouseWheel(x, y, &mod, d);
}

bool IGraphics::PlatformKey(EVirtualKey vk, char ch) {
  if (PromptOpen()) return PromptKey(vk, ch);
  int key = -1;
  switch (vk) {
    case VK_UP: key = KEY_UP; break;
    case VK_DOWN: key = KEY_DOWN; break;
    case VK_LEFT: key = KEY_LEFT; break;
    case VK_RIGHT: key = KEY_RIGHT; break;
    case VK_CHAR:
      if (ch == ' ') key = KEY_SPACE;
      else if (ch >= '0' && ch <= '9') key = KEY_DIGIT0 + (ch - '0');
      else if (ch >= 'a' && ch <= 'z') key = KEY_ALPHA_A + (ch - 'a');
      else if (ch >= 'A' && ch <= 'Z') key = KEY_ALPHA_A + (ch - 'A');
      break;
    default: break;
  }
  if (key < 0) return false;
  return OnKeyDown(mPlatformX, mPlatformY, key);
}

// ---- the pop-up menu's contents ----

void IPopupMenu::AddItem(const char* text, bool checked) { mItems.push_back({FW_String(text), checked}); }

const char* IPopupMenu::GetItemText(int idx) const {
  return (idx >= 0 && idx < NItems()) ? mItems[idx].mText.Get() : "";
}

bool IPopupMenu::IsItemChecked(int idx) const { return idx >= 0 && idx < NItems() && mItems[idx].mChecked; }
