#include "framework/IParam.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "toolkit/util/c_numbers.h"

namespace {

// Names, labels and groups longer than 31 characters are cut: they are only shown.
void CopyText(char* dst, const char* src) {
  std::snprintf(dst, IParam::kTextSize, "%s", src ? src : "");
}

// The value truncated toward zero, when it fits an int.
bool TruncToInt(double value, int* out) {
  if (!(value > static_cast<double>(INT_MIN) - 1.0 && value < static_cast<double>(INT_MAX) + 1.0))
    return false;
  *out = static_cast<int>(value);
  return true;
}

// How many decimals it takes to show a multiple of the step: the step is scaled by ten until
// it has no fractional part, allowing for the binary error of decimal steps such as 0.0001.
int PrecisionFromStep(double step) {
  int precision = 0;
  double scaled = std::fabs(step);
  if (!std::isfinite(scaled)) return 0;
  while (precision < IParam::kMaxPrecision &&
         std::fabs(scaled - std::round(scaled)) > 1e-9 * std::max(1.0, scaled)) {
    scaled *= 10.0;
    ++precision;
  }
  return precision;
}

}  // namespace

IParam::IParam() = default;

void IParam::InitCommon(EParamType type, const char* name, double defaultVal, double minVal,
                        double maxVal, double step, const char* label, const char* group) {
  if (mType == kTypeNone) mType = type;
  CopyText(mName, name);
  CopyText(mLabel, label);
  CopyText(mGroup, group);
  mValue = mDefault = defaultVal;
  mMin = minVal;
  mMax = maxVal;
  mStep = step;
  mShape = 1.0;
  mDisplayPrecision = 0;
}

void IParam::InitBool(const char* name, bool defaultVal, const char* label, const char* group) {
  InitCommon(kTypeBool, name, defaultVal ? 1.0 : 0.0, 0.0, 1.0, 1.0, label, group);
  SetDisplayText(0, "off");
  SetDisplayText(1, "on");
}

void IParam::InitEnum(const char* name, int defaultVal, int nEnums, const char* label,
                      const char* group) {
  InitCommon(kTypeEnum, name, defaultVal, 0.0, std::max(nEnums - 1.0, 1.0), 1.0, label, group);
}

void IParam::InitInt(const char* name, int defaultVal, int minVal, int maxVal, const char* label,
                     const char* group) {
  const double maxD = std::max(static_cast<double>(minVal) + 1.0, static_cast<double>(maxVal));
  InitCommon(kTypeInt, name, defaultVal, minVal, maxD, 1.0, label, group);
}

void IParam::InitDouble(const char* name, double defaultVal, double minVal, double maxVal,
                        double step, const char* label, const char* group, double shape) {
  InitCommon(kTypeDouble, name, defaultVal, minVal, std::max(minVal + step, maxVal), step, label,
             group);
  mDisplayPrecision = PrecisionFromStep(step);
  SetShape(shape);
}

void IParam::SetShape(double shape) {
  if (std::isfinite(shape) && shape > 0.0) mShape = shape;
}

bool IParam::SetDisplayText(int value, const char* text) {
  if (!text || std::strlen(text) >= kTextSize) return false;
  DisplayText entry;
  entry.mValue = value;
  CopyText(entry.mText, text);
  mDisplayTexts.push_back(entry);
  return true;
}

void IParam::Set(double value) {
  if (!std::isfinite(value)) return;
  mValue = std::clamp(value, mMin, std::max(mMin, mMax));
}

double IParam::GetNonNormalized(double normalized) const {
  const double n = std::clamp(normalized, 0.0, 1.0);
  // The top of the range is exact, whatever the rounding of min + (max - min).
  if (n >= 1.0) return mMax;
  return mMin + (mMax - mMin) * std::pow(n, mShape);
}

void IParam::SetNormalized(double normalized) {
  if (!std::isfinite(normalized)) return;
  double value = GetNonNormalized(normalized);
  if (mType != kTypeDouble && mStep > 0.0) value = std::floor(value / mStep + 0.5) * mStep;
  mValue = std::clamp(value, mMin, std::max(mMin, mMax));
}

int IParam::Int() const {
  int i = 0;
  return TruncToInt(Value(), &i) ? i : 0;
}

double IParam::DBToAmp() const { return std::exp(Value() * 0.1151292546497); }

double IParam::GetNormalized(double value) const {
  const double range = mMax - mMin;
  if (!(range > 0.0) || std::isnan(value)) return 0.0;
  const double linear = (std::clamp(value, mMin, mMax) - mMin) / range;
  return std::pow(linear, 1.0 / mShape);
}

const char* IParam::DisplayTextForValue(double value) const {
  int i = 0;
  if (!TruncToInt(value, &i)) return "";
  return GetDisplayText(i);
}

void IParam::GetDisplayForHost(double value, bool normalized, char* out, int outSize,
                               bool withDisplayText) const {
  if (!out || outSize <= 0) return;
  if (normalized) value = GetNonNormalized(value);
  if (withDisplayText) {
    const char* text = DisplayTextForValue(value);
    if (text[0]) {
      std::snprintf(out, outSize, "%s", text);
      return;
    }
  }
  if (mNegateDisplay) value = -value;
  const c_numeric_scope_t point;
  int i = 0;  // mutate: skip (TruncToInt sets it whenever it is read)
  if (mDisplayPrecision == 0 && TruncToInt(value, &i))
    std::snprintf(out, outSize, "%d", i);
  else if (mDisplayPrecision == 0)
    std::snprintf(out, outSize, "%.0f", std::trunc(value));  // beyond int, or not a number
  else
    std::snprintf(out, outSize, "%.*f", mDisplayPrecision, value);
}

const char* IParam::GetLabelForHost() const {
  return DisplayTextForValue(Value())[0] ? "" : mLabel;
}

const char* IParam::GetDisplayTextAtIdx(int idx, int* pValue) const {
  if (idx < 0 || idx >= GetNDisplayTexts()) return "";
  if (pValue) *pValue = mDisplayTexts[idx].mValue;
  return mDisplayTexts[idx].mText;
}

const char* IParam::GetDisplayText(int value) const {
  for (const DisplayText& entry : mDisplayTexts)
    if (entry.mValue == value) return entry.mText;
  return "";
}

bool IParam::MapDisplayText(const char* text, int* pValue) const {
  if (!text) return false;
  for (const DisplayText& entry : mDisplayTexts) {
    if (std::strcmp(entry.mText, text) == 0) {
      if (pValue) *pValue = entry.mValue;
      return true;
    }
  }
  return false;
}
