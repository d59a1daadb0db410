#include "framework/IPluginBase.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "framework/IGraphics.h"

namespace {

void CopyName(char* dst, const char* src) {
  std::snprintf(dst, IPluginBase::kNameSize, "%s", src ? src : "");
}

}  // namespace

IPluginBase::IPluginBase(int nParams, const char* channelIOStr, int nPresets,
                         const char* effectName, const char* productName, const char* mfrName,
                         int vendorVersion, int uniqueID, int mfrID, int latency,
                         bool plugDoesMidi, bool plugDoesChunks, bool plugIsInst, int plugAPI)
    : mUniqueID(uniqueID),
      mMfrID(mfrID),
      mVersion(vendorVersion),
      mAPI(static_cast<EAPI>(plugAPI)),
      mStateChunks(plugDoesChunks),
      mIsInst(plugIsInst),
      mDoesMIDI(plugDoesMidi),
      mLatency(std::max(0, latency)) {
  CopyName(mEffectName, effectName);
  CopyName(mProductName, productName);
  CopyName(mMfrName, mfrName);
  for (int i = 0; i < nParams; ++i) mParams.Add(new IParam());
  for (int i = 0; i < nPresets; ++i) mPresets.Add(new IPreset());
  ParseChannelIO(channelIOStr);
}

IPluginBase::~IPluginBase() {
  delete mGraphics;
  mParams.Empty(true);
  mPresets.Empty(true);
  mParamGroups.Empty(true);
  mInputBusLabels.Empty(true);
  mOutputBusLabels.Empty(true);
}

void IPluginBase::Reset() { FW_MutexLock lock(mMutex); }
void IPluginBase::OnParamChange(int /*paramIdx*/) { FW_MutexLock lock(mMutex); }
void IPluginBase::OnActivate(bool /*active*/) { FW_MutexLock lock(mMutex); }

void IPluginBase::ProcessMidiMsg(IMidiMsg* pMsg) { SendMidiMsg(pMsg); }

bool IPluginBase::MidiNoteName(int /*noteNumber*/, char* name) {
  if (name) name[0] = '\0';
  return false;
}

void IPluginBase::SetParameterFromGUI(int paramIdx, double normalizedValue) {
  IParam* param = GetParam(paramIdx);
  if (!param || !std::isfinite(normalizedValue)) return;
  FW_MutexLock lock(mMutex);
  // A control handing back the parameter's own position (a knob pointed at it anew) leaves
  // the exact value: through the parameter's shape and back it could move by a rounding.
  if (normalizedValue != param->GetNormalized()) param->SetNormalized(normalizedValue);
  InformHostOfParamChange(paramIdx, param->GetNormalized());
  OnParamChange(paramIdx);
}

void IPluginBase::OnParamReset() {
  FW_MutexLock lock(mMutex);
  for (int i = 0; i < NParams(); ++i) OnParamChange(i);
}

void IPluginBase::AttachGraphics(IGraphics* pGraphics) {
  if (!pGraphics) return;
  FW_MutexLock lock(mMutex);
  for (int i = 0; i < NParams(); ++i)
    pGraphics->SetParameterFromPlug(i, GetParam(i)->GetNormalized(), true);
  pGraphics->PrepDraw();
  if (mGraphics != pGraphics) delete mGraphics;
  mGraphics = pGraphics;
}

void IPluginBase::RedrawParamControls() {
  if (!mGraphics) return;
  FW_MutexLock lock(mMutex);
  for (int i = 0; i < NParams(); ++i) mGraphics->SetParameterFromPlug(i, GetParam(i)->Value(), false);
}

void IPluginBase::SetLatency(int samples) { mLatency = std::max(0, samples); }

void IPluginBase::SetSampleRate(double sampleRate) {
  if (std::isfinite(sampleRate) && sampleRate >= kMinSampleRate) mSampleRate = sampleRate;
}

void IPluginBase::GetVersionParts(int version, int* pMajor, int* pMinor, int* pPatch) {
  const unsigned v = static_cast<unsigned>(version);
  if (pMajor) *pMajor = static_cast<int>(v >> 16);
  if (pMinor) *pMinor = static_cast<int>((v >> 8) & 0xFF);
  if (pPatch) *pPatch = static_cast<int>(v & 0xFF);
}

int IPluginBase::GetDecimalVersion(int version) {
  int major = 0, minor = 0, patch = 0;
  GetVersionParts(version, &major, &minor, &patch);
  return major * 10000 + minor * 100 + patch;
}

void IPluginBase::GetVersionStr(int version, char* out, int outSize) {
  if (!out || outSize <= 0) return;
  int major = 0, minor = 0, patch = 0;
  GetVersionParts(version, &major, &minor, &patch);
  std::snprintf(out, outSize, "v%d.%d.%d", major, minor, patch);
}

int IPluginBase::GetEffectVersion(bool decimal) const {
  return decimal ? GetDecimalVersion(mVersion) : mVersion;
}

void IPluginBase::SetHost(const char* name, int version) {
  mHost = LookUpHost(name);
  mHostVersion = version;
}

int IPluginBase::GetHostVersion(bool decimal) const {
  return decimal ? GetDecimalVersion(mHostVersion) : mHostVersion;
}

int IPluginBase::AddParamGroup(const char* name) {
  if (!name || !name[0]) return -1;
  for (int i = 0; i < mParamGroups.GetSize(); ++i)
    if (mParamGroups.Get(i)->Equals(name)) return i;
  mParamGroups.Add(new FW_String(name));
  return mParamGroups.GetSize() - 1;
}

const char* IPluginBase::GetParamGroupName(int idx) const { return LabelAt(mParamGroups, idx); }

void IPluginBase::AddLabel(FW_PtrList<FW_String>& list, const char* label) {
  list.Add(new FW_String(label));
}

const char* IPluginBase::LabelAt(const FW_PtrList<FW_String>& list, int idx) {
  const FW_String* label = list.Get(idx);
  return label ? label->Get() : "";
}
