#include "framework/IControl.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "framework/IGraphics.h"
#include "framework/IParam.h"
#include "framework/IPluginBase.h"

const IColor COLOR_BLACK{255, 0, 0, 0}, COLOR_WHITE{255, 255, 255, 255};
// mutate: off (named colours for controls; none of ours draws with them)
const IColor COLOR_TRANSPARENT{0, 0, 0, 0}, COLOR_GRAY{255, 127, 127, 127}, COLOR_RED{255, 255, 0, 0},
    COLOR_GREEN{255, 0, 255, 0}, COLOR_BLUE{255, 0, 0, 255}, COLOR_YELLOW{255, 255, 255, 0},
    COLOR_ORANGE{255, 255, 127, 0};
// mutate: on
const IColor &DEFAULT_TEXT_COLOR = COLOR_BLACK, &DEFAULT_TEXT_ENTRY_BGCOLOR = COLOR_WHITE,
             &DEFAULT_TEXT_ENTRY_FGCOLOR = COLOR_BLACK;

IRECT IRECT::Union(const IRECT& o) const {
  if (Empty()) return o;
  if (o.Empty()) return *this;
  // mutate: off (equal edges give the same either way: < and <= cannot differ)
  return IRECT(L < o.L ? L : o.L, T < o.T ? T : o.T, R > o.R ? R : o.R, B > o.B ? B : o.B);
  // mutate: on
}

IControl::IControl(IPluginBase* pPlug, IRECT rect, int paramIdx)
    : mPlug(pPlug), mRECT(rect), mTargetRECT(rect), mParamIdx(paramIdx) {}

IControl::~IControl() = default;

IParam* IControl::GetParam() const {
  return (mPlug && mParamIdx >= 0) ? mPlug->GetParam(mParamIdx) : nullptr;
}

void IControl::OnMouseDown(int, int, IMouseMod* pMod) {
  if (pMod && pMod->R) PromptUserInput();
}

void IControl::OnMouseDblClick(int, int, IMouseMod*) {
  if (mDefaultValue >= 0.0) {
    mValue = mDefaultValue;
    SetDirty(true);
  }
}

void IControl::OnMouseWheel(int, int, IMouseMod* pMod, int d) {
  const bool fine = pMod && (pMod->C || pMod->S);
  mValue += d * (fine ? 0.001 : 0.01);
  SetDirty(true);
}

void IControl::SetValueFromPlug(double value) {
  if (!std::isfinite(value)) return;
  if (mDefaultValue < 0.0) {
    mValue = mDefaultValue = value;
    return;
  }
  if (mValue != value) {
    mValue = value;
    SetDirty(false);
    mRedraw = true;
  }
}

void IControl::SetValueFromUserInput(double value) {
  if (!std::isfinite(value) || mValue == value) return;
  mValue = value;
  SetDirty(true);
  mRedraw = true;
}

void IControl::Hide(bool hide) {
  mHide = hide;
  mRedraw = true;
  SetDirty(false);
}

void IControl::GrayOut(bool gray) {
  mGrayed = gray;
  mBlendWeight = gray ? 0.25f : 1.0f;
  SetDirty(false);
}

bool IControl::IsHit(int x, int y) { return !mTargetRECT.Empty() && mTargetRECT.Contains(x, y); }

void IControl::SetDirty(bool pushParamToPlug) {
  mValue = mValue < mClampLo ? mClampLo : (mValue < mClampHi ? mValue : mClampHi);
  mDirty = true;
  if (!pushParamToPlug || !mPlug || mParamIdx < 0) return;
  mPlug->SetParameterFromGUI(mParamIdx, mValue);
  IParam* param = GetParam();
  if (!param) return;
  if (mValDisplayControl) {
    char display[IParam::kTextSize], text[2 * IParam::kTextSize + 2];
    param->GetDisplayForHost(display, sizeof display);
    std::snprintf(text, sizeof text, "%s %s", display, param->GetLabelForHost());
    mValDisplayControl->SetTextFromPlug(text);
  }
  if (mNameDisplayControl) mNameDisplayControl->SetTextFromPlug(param->GetNameForHost());
}

void IControl::SetClean() {
  mDirty = mRedraw;
  mRedraw = false;
}

void IControl::SetAuxParamValueFromPlug(int auxParamIdx, double value) {
  if (AuxParam* aux = GetAuxParam(auxParamIdx)) {
    aux->mValue = value;
    SetDirty(false);
  }
}

void IControl::AddAuxParam(int paramIdx) { mAuxParams.push_back({paramIdx, 0.0}); }

IControl::AuxParam* IControl::GetAuxParam(int idx) {
  return (idx >= 0 && idx < NAuxParams()) ? &mAuxParams[idx] : nullptr;
}

int IControl::AuxParamIdx(int paramIdx) const {
  for (int i = 0; i < NAuxParams(); ++i)
    if (mAuxParams[i].mParamIdx == paramIdx) return i;
  return -1;
}

void IControl::SetAllAuxParamsFromGUI() {
  if (!mPlug) return;
  for (const AuxParam& aux : mAuxParams) mPlug->SetParameterFromGUI(aux.mParamIdx, aux.mValue);
}

void IControl::PromptUserInput() {
  IParam* param = GetParam();
  if (!param || mDisablePrompt) return;
  if (param->GetNDisplayTexts()) {
    PromptUserInput(&mRECT);
    return;
  }
  const int cx = mRECT.MW(), cy = mRECT.MH();
  IRECT box(cx - 15, cy - 8, cx + 15, cy + 8);
  PromptUserInput(&box);
}

void IControl::PromptUserInput(IRECT* pTextRect) {
  IParam* param = GetParam();
  if (!param || mDisablePrompt || !pTextRect) return;
  if (IGraphics* graphics = mPlug->GetGUI()) graphics->PromptUserInput(this, param, pTextRect);
  mRedraw = true;
}

void ITextControl::SetTextFromPlug(const char* text) {
  if (mStr.Equals(text)) return;
  mStr.Set(text);
  SetDirty(false);
}

void IKnobControl::OnMouseDrag(int, int, int dX, int dY, IMouseMod* pMod) {
  double gearing = mGearing;
  if (pMod && (pMod->C || pMod->S)) gearing *= 10.0;
  if (mDirection == kVertical)
    mValue += static_cast<double>(dY) / static_cast<double>(mRECT.T - mRECT.B) / gearing;
  else
    mValue += static_cast<double>(dX) / static_cast<double>(mRECT.R - mRECT.L) / gearing;
  SetDirty(true);
}
