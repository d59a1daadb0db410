// Saved state (the parameter values in index order, as doubles) and the preset list.
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "framework/IPluginBase.h"

namespace {

// Single precision without overflowing the conversion (a NaN stays NaN).
float ToSingle(double value) {
  if (value > FLT_MAX) return INFINITY;  // mutate: skip relational (no parameter's value is FLT_MAX, and a stored one of FLT_MAX or more differs from it either way)
  if (value < -FLT_MAX) return -INFINITY;  // mutate: skip relational (as above)
  return static_cast<float>(value);
}

}  // namespace

bool IPluginBase::SerializeState(ByteChunk* pChunk) { return SerializeParams(pChunk); }

int IPluginBase::UnserializeState(ByteChunk* pChunk, int startPos) {
  return UnserializeParams(pChunk, startPos);
}

bool IPluginBase::SerializeParams(ByteChunk* pChunk) {
  if (!pChunk) return false;
  FW_MutexLock lock(mMutex);
  for (int i = 0; i < NParams(); ++i) {
    const double value = GetParam(i)->Value();
    if (pChunk->Put(&value) <= 0) return false;
  }
  return true;
}

// A chunk that ends early restores the values it holds and leaves the rest as they were; a
// stored value that is not a finite number restores the parameter's default.
int IPluginBase::UnserializeParams(ByteChunk* pChunk, int startPos) {
  if (!pChunk) return -1;
  FW_MutexLock lock(mMutex);
  int pos = startPos;
  for (int i = 0; i < NParams() && pos >= 0; ++i) {
    double value = 0.0;  // mutate: skip (read only after Get filled it)
    pos = pChunk->Get(&value, pos);
    // A value the chunk holds only part of leaves its parameter as it was (a whole one ends past 0).
    if (pos < 0) break;  // mutate: skip relational constant (a value read ends past 0)
    IParam* param = GetParam(i);
    param->Set(std::isfinite(value) ? value : param->GetDefault());
  }
  OnParamReset();
  return pos;
}

bool IPluginBase::CompareState(const unsigned char* data, int startPos) {
  if (!data || startPos < 0) return false;
  FW_MutexLock lock(mMutex);
  for (int i = 0; i < NParams(); ++i) {
    double stored = 0.0;
    std::memcpy(&stored, data + startPos + 8 * static_cast<size_t>(i), sizeof stored);
    const float diff = ToSingle(GetParam(i)->Value()) - ToSingle(stored);
    if (!(std::fabs(diff) < 1e-5f)) return false;
  }
  return true;
}

const char* IPluginBase::GetPresetName(int idx) const {
  const IPreset* preset = mPresets.Get(idx);
  return preset ? preset->mName : "";
}

bool IPluginBase::RestorePreset(int idx) {
  IPreset* preset = mPresets.Get(idx);
  if (!preset) return false;
  if (!preset->mInitialized) {
    // A preset the host selects before it was ever filled takes the current settings. It is
    // named and marked only once its chunk is complete.
    int nUser = 0;
    for (int i = 0; i < NPresets(); ++i)
      if (std::strstr(mPresets.Get(i)->mName, "user preset")) ++nUser;
    preset->mChunk.Clear();
    if (!SerializeState(&preset->mChunk)) return false;
    preset->mInitialized = true;
    std::snprintf(preset->mName, IPreset::kNameSize, "%s %d", "user preset", nUser + 1);
  } else if (UnserializeState(&preset->mChunk, 0) <= 0) {  // mutate: skip relational (0 only without parameters)
    return false;
  }
  mCurrentPresetIdx = idx;
  PresetsChangedByHost();
  RedrawParamControls();
  return true;
}

bool IPluginBase::RestorePreset(const char* name) {
  if (!name || !name[0]) return false;
  for (int i = 0; i < NPresets(); ++i)
    if (std::strcmp(mPresets.Get(i)->mName, name) == 0) return RestorePreset(i);
  return false;
}

void IPluginBase::PruneUninitializedPresets() {
  // The current preset keeps its place in the shorter list, or the first one takes over.
  int newCurrent = 0;
  for (int i = 0, kept = 0; i < NPresets(); ++i) {
    if (!mPresets.Get(i)->mInitialized) continue;
    if (i == mCurrentPresetIdx) newCurrent = kept;
    ++kept;
  }
  for (int i = NPresets() - 1; i >= 0; --i)
    if (!mPresets.Get(i)->mInitialized) mPresets.Delete(i, true);
  mCurrentPresetIdx = newCurrent;
}
