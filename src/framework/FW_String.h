// A small owned text, never null: Get() of an empty string is "".
#pragma once
#include <string>

class FW_String {
 public:
  FW_String() = default;
  explicit FW_String(const char* text) { Set(text); }

  void Set(const char* text) { mText.assign(text ? text : ""); }
  void Append(const char* text) { if (text) mText.append(text); }
  void Clear() { mText.clear(); }

  const char* Get() const { return mText.c_str(); }
  int GetLength() const { return static_cast<int>(mText.size()); }
  bool IsEmpty() const { return mText.empty(); }
  bool Equals(const char* text) const { return text && mText == text; }

 private:
  std::string mText;
};
