// The adapter's side of the editor's UI: what the editor tells the host goes out through the
// UI's port writes and touch gestures; what the host's ports hold comes in through the UI's
// port events. Everything here runs on the host's UI thread, except InformHostOfProgramChange
// (the audio thread) and the flags Run shares.
#include <cmath>

#include "framework/IGraphics.h"
#include "hosts/lv2/IPluginLV2.h"

bool IPluginLV2::AttachUI(LV2UI_Write_Function write, LV2UI_Controller controller,
                          const LV2UI_Touch* touch) {
  if (mUI.write || !write) return false;
  mUI = {write, controller, touch && touch->touch ? touch : nullptr};
  for (int i = 0; i < NParams(); ++i) mReported[i] = GetParam(i)->Value();
  mProgramChanged.store(false);
  return true;
}

void IPluginLV2::DetachUI() {
  // A gesture the window's closing cut short ends, so Run follows the ports again.
  for (int i = 0; i < NParams(); ++i)
    if (mFlags[i].grabbed.exchange(false) && mUI.touch) mUI.touch->touch(mUI.touch->handle, i, false);
  mUI = UILink();
}

void IPluginLV2::WritePort(int i) {
  if (!mUI.write) return;
  mReported[i] = GetParam(i)->Value();
  const float v = static_cast<float>(mReported[i]);
  mUI.write(mUI.controller, static_cast<uint32_t>(i), sizeof v, 0, &v);
}

void IPluginLV2::WriteChangedPorts() {
  const bool programChanged = mProgramChanged.exchange(false);
  for (int i = 0; i < NParams(); ++i)
    if (mFlags[i].kept.exchange(false) || (programChanged && GetParam(i)->Value() != mReported[i]))
      WritePort(i);
}

void IPluginLV2::ShowPortValue(uint32_t port, float value) {
  const int i = static_cast<int>(port);
  if (port >= static_cast<uint32_t>(NParams()) || !std::isfinite(value)) return;
  IGraphics* gui = GetGUI();
  if (!gui || mFlags[i].grabbed.load() || mFlags[i].kept.load()) return;
  // A port that shows the parameter to single precision stands for its exact value.
  const double exact = GetParam(i)->Value();
  gui->SetParameterFromPlug(i, static_cast<float>(exact) == value ? exact : PortToValue(i, value), false);
}

void IPluginLV2::BeginInformHostOfParamChange(int paramIdx) {
  if (!IsParam(paramIdx)) return;
  mFlags[paramIdx].grabbed.store(true);
  if (mUI.touch) mUI.touch->touch(mUI.touch->handle, paramIdx, true);
}

void IPluginLV2::InformHostOfParamChange(int paramIdx, double) {
  if (IsParam(paramIdx)) WritePort(paramIdx);
}

void IPluginLV2::EndInformHostOfParamChange(int paramIdx) {
  // A release over a control that was never pressed ends no gesture.
  if (!IsParam(paramIdx) || !mFlags[paramIdx].grabbed.exchange(false)) return;
  if (mUI.touch) mUI.touch->touch(mUI.touch->handle, paramIdx, false);
}

void IPluginLV2::InformHostOfProgramChange() { mProgramChanged.store(true); }
