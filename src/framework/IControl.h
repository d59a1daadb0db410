// The control base: a rectangle of the editor window with an optional bound parameter, a
// normalised value, dirty tracking, default mouse behaviour for parameter editing and a text
// style for value entry. The graphics context owns its controls and calls every operation on
// the editor's (main) thread: mouse and key handlers from its event dispatch, Draw from its
// timer, SetValueFromPlug when the plug-in shows a parameter's value.
#pragma once
#include <vector>

#include "framework/FW_String.h"
#include "framework/IGraphicsTypes.h"

class IGraphics;
class IParam;
class IPluginBase;
class ITextControl;

class IControl {
 public:
  IControl(IPluginBase* pPlug, IRECT rect, int paramIdx = -1);
  IControl(const IControl&) = delete;
  IControl& operator=(const IControl&) = delete;

  // ---- virtual operations, in slot order ----
  virtual ~IControl();
  // With R set: value entry (PromptUserInput); otherwise nothing.
  virtual void OnMouseDown(int x, int y, IMouseMod* pMod);
  virtual void OnMouseUp(int /*x*/, int /*y*/, IMouseMod* /*pMod*/) {}
  virtual void OnMouseDrag(int /*x*/, int /*y*/, int /*dX*/, int /*dY*/, IMouseMod* /*pMod*/) {}
  // Back to the default value, when there is one.
  virtual void OnMouseDblClick(int x, int y, IMouseMod* pMod);
  // d steps of 0.01 (0.001 with control or shift held).
  virtual void OnMouseWheel(int x, int y, IMouseMod* pMod, int d);
  virtual bool OnKeyDown(int /*x*/, int /*y*/, int /*key*/) { return false; }
  virtual void OnMouseOver(int /*x*/, int /*y*/, IMouseMod* /*pMod*/) {}
  virtual void OnMouseOut() {}
  virtual bool Draw(IGraphics* pGraphics) = 0;
  // A value the plug-in shows (not one the user made): the first one also becomes the
  // default when there is none; the plug-in is not told.
  virtual void SetValueFromPlug(double value);
  virtual void TextFromTextEntry(const char* /*txt*/) {}
  virtual void Hide(bool hide);
  virtual void GrayOut(bool gray);
  virtual bool IsHit(int x, int y);
  // Clamps the value and marks the control for drawing; with push, hands the value to the
  // plug-in (which tells the host) and refreshes the value and name displays.
  virtual void SetDirty(bool pushParamToPlug = true);
  // Drawn: dirty again only if the value changed while it was drawn.
  virtual void SetClean();
  virtual bool IsDirty() { return mDirty; }
  virtual void OnGUIIdle() {}
  virtual void SetAuxParamValueFromPlug(int auxParamIdx, double value);

  // A value the user made: stored and pushed to the plug-in when it differs from the current.
  void SetValueFromUserInput(double value);
  // Value entry over the drawing rectangle (a menu for a parameter with display texts) or a
  // 30 x 16 box at its centre; only with a parameter and prompting enabled.
  void PromptUserInput();
  void PromptUserInput(IRECT* pTextRect);

  // ---- auxiliary parameters ----
  void AddAuxParam(int paramIdx);
  // The position's (parameter index, value); null outside the list.
  struct AuxParam {
    int mParamIdx;
    double mValue;
  };
  AuxParam* GetAuxParam(int idx);
  int AuxParamIdx(int paramIdx) const;
  int NAuxParams() const { return static_cast<int>(mAuxParams.size()); }
  void SetAllAuxParamsFromGUI();

  // ---- state ----
  int ParamIdx() const { return mParamIdx; }
  IParam* GetParam() const;
  double GetValue() const { return mValue; }
  double GetDefaultValue() const { return mDefaultValue; }
  void SetDefaultValue(double value) { mDefaultValue = value; }
  const IRECT& GetRECT() const { return mRECT; }
  const IRECT& GetTargetRECT() const { return mTargetRECT; }
  void SetTargetArea(IRECT rect) { mTargetRECT = rect; }
  bool IsHidden() const { return mHide; }
  bool IsGrayed() const { return mGrayed; }
  bool GetMOWhenGrayed() const { return mMOWhenGreyed; }
  void SetMOWhenGrayed(bool allow) { mMOWhenGreyed = allow; }
  bool GetDblAsSingleClick() const { return mDblAsSingleClick; }
  void SetDblAsSingleClick(bool dblAsSingle) { mDblAsSingleClick = dblAsSingle; }
  bool IsPromptDisabled() const { return mDisablePrompt; }
  void DisablePrompt(bool disable) { mDisablePrompt = disable; }
  void SetClampRange(double lo, double hi) { mClampLo = lo; mClampHi = hi; }
  int GetTextEntryLength() const { return mTextEntryLength; }
  void SetTextEntryLength(int len) { mTextEntryLength = len; }
  const IText& GetText() const { return mText; }
  void SetText(const IText& text) { mText = text; }
  float GetBlendWeight() const { return mBlendWeight; }
  void SetValDisplayControl(ITextControl* pControl) { mValDisplayControl = pControl; }
  void SetNameDisplayControl(ITextControl* pControl) { mNameDisplayControl = pControl; }
  void SetTooltip(const char* text) { mTooltip.Set(text); }
  const char* GetTooltip() const { return mTooltip.Get(); }
  IPluginBase* GetPlug() const { return mPlug; }

 protected:
  int mTextEntryLength = 7;
  IText mText;
  IPluginBase* mPlug;
  IRECT mRECT, mTargetRECT;
  int mParamIdx;
  std::vector<AuxParam> mAuxParams;
  double mValue = 0.0;
  double mDefaultValue = -1.0;
  double mClampLo = 0.0, mClampHi = 1.0;
  bool mDirty = true;
  bool mHide = false;
  bool mGrayed = false;
  bool mRedraw = false;
  bool mDisablePrompt = true;
  bool mDblAsSingleClick = false;
  bool mMOWhenGreyed = false;
  int mBlendMethod = 0;
  float mBlendWeight = 1.0f;
  ITextControl* mValDisplayControl = nullptr;
  ITextControl* mNameDisplayControl = nullptr;
  FW_String mTooltip;
};

// A control that shows a text: the value and name displays another control can keep current.
// It draws nothing itself here; the editor draws its own texts.
class ITextControl : public IControl {
 public:
  ITextControl(IPluginBase* pPlug, IRECT rect, const char* text = "")
      : IControl(pPlug, rect), mStr(text) {}
  bool Draw(IGraphics*) override { return true; }
  void SetTextFromPlug(const char* text);
  const char* GetTextForDisplay() const { return mStr.Get(); }

 private:
  FW_String mStr;
};

// A knob: dragging moves its value, vertically or horizontally; gearing is how many control
// heights (widths) of movement cover the whole range.
class IKnobControl : public IControl {
 public:
  enum EDirection { kVertical = 0, kHorizontal = 1 };

  IKnobControl(IPluginBase* pPlug, IRECT rect, int paramIdx, EDirection direction = kVertical,
               double gearing = 4.0)
      : IControl(pPlug, rect, paramIdx), mDirection(direction), mGearing(gearing) {}

  // Ten times finer with control or shift held.
  void OnMouseDrag(int x, int y, int dX, int dY, IMouseMod* pMod) override;

  EDirection GetDirection() const { return mDirection; }
  double GetGearing() const { return mGearing; }

 protected:
  EDirection mDirection;
  double mGearing;
};
