// One host-visible parameter: kind, value, range, step, shape, texts. Controls and hosts
// exchange values with it in normalised form (0 to 1); state and preferences set it directly.
#pragma once
#include <atomic>
#include <vector>

class IParam {
 public:
  enum EParamType { kTypeNone = 0, kTypeBool = 1, kTypeInt = 2, kTypeEnum = 3, kTypeDouble = 4 };
  enum { kTextSize = 32, kMaxPrecision = 6 };

  IParam();

  void InitBool(const char* name, bool defaultVal, const char* label = "", const char* group = "");
  void InitEnum(const char* name, int defaultVal, int nEnums, const char* label = "",
                const char* group = "");
  void InitInt(const char* name, int defaultVal, int minVal, int maxVal, const char* label = "",
               const char* group = "");
  void InitDouble(const char* name, double defaultVal, double minVal, double maxVal, double step,
                  const char* label = "", const char* group = "", double shape = 1.0);

  // Only a positive, finite shape is taken; anything else keeps the current one.
  void SetShape(double shape);
  // Refuses (false) a null text or one longer than 31 characters, rather than store a cut text
  // that MapDisplayText could never match.
  bool SetDisplayText(int value, const char* text);
  void SetCanAutomate(bool canAutomate) { mCanAutomate = canAutomate; }
  void SetNegateDisplay(bool negate) { mNegateDisplay = negate; }

  // Stores the value clamped to the bounds; a value that is not a finite number is ignored.
  void Set(double value);
  // Maps a normalised value (clamped to 0..1) through the shape, rounds to the step for every
  // kind but double, and stores it; a value that is not a finite number is ignored.
  void SetNormalized(double normalized);

  double Value() const { return mValue.load(std::memory_order_relaxed); }
  int Int() const;
  bool Bool() const { return Int() != 0; }
  double DBToAmp() const;

  double GetNormalized() const { return GetNormalized(Value()); }
  double GetNormalized(double value) const;
  // Parameter units for a normalised value, without rounding or storing.
  double GetNonNormalized(double normalized) const;

  // The current value (or a given one, plain or normalised) as the host shows it. out receives
  // at most outSize bytes including the terminator.
  void GetDisplayForHost(char* out, int outSize, bool withDisplayText = true) const {
    GetDisplayForHost(Value(), false, out, outSize, withDisplayText);
  }
  void GetDisplayForHost(double value, bool normalized, char* out, int outSize,
                         bool withDisplayText = true) const;

  const char* GetNameForHost() const { return mName; }
  const char* GetLabelForHost() const;
  const char* GetParamGroupForHost() const { return mGroup; }

  int GetNDisplayTexts() const { return static_cast<int>(mDisplayTexts.size()); }
  // The text at a position and its value; "" (value untouched) outside the list.
  const char* GetDisplayTextAtIdx(int idx, int* pValue = nullptr) const;
  // The first text stored for a value, "" when none.
  const char* GetDisplayText(int value) const;
  bool MapDisplayText(const char* text, int* pValue) const;

  void GetBounds(double& minVal, double& maxVal) const { minVal = mMin; maxVal = mMax; }
  EParamType Type() const { return mType; }
  double GetMin() const { return mMin; }
  double GetMax() const { return mMax; }
  double GetStep() const { return mStep; }
  double GetShape() const { return mShape; }
  double GetDefault() const { return mDefault; }
  int GetPrecision() const { return mDisplayPrecision; }
  bool GetNegateDisplay() const { return mNegateDisplay; }
  bool GetCanAutomate() const { return mCanAutomate; }

 private:
  struct DisplayText {
    int mValue;
    char mText[kTextSize];
  };

  void InitCommon(EParamType type, const char* name, double defaultVal, double minVal,
                  double maxVal, double step, const char* label, const char* group);
  const char* DisplayTextForValue(double value) const;

  EParamType mType = kTypeNone;
  // Set by the host's and the editor's threads, read by the audio thread: written whole.
  std::atomic<double> mValue{0.0};
  double mMin = 0.0;
  double mMax = 1.0;
  double mStep = 1.0;
  double mShape = 1.0;
  double mDefault = 0.0;
  int mDisplayPrecision = 0;
  char mName[kTextSize] = {0};
  char mLabel[kTextSize] = {0};
  char mGroup[kTextSize] = {0};
  bool mNegateDisplay = false;
  bool mCanAutomate = true;
  std::vector<DisplayText> mDisplayTexts;
};
