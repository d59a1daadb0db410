// An ordered list of object pointers. The list never deletes on its own; callers that own the
// objects say so with the deleteObj flags.
#pragma once
#include <vector>

template <class T>
class FW_PtrList {
 public:
  FW_PtrList() = default;
  FW_PtrList(const FW_PtrList&) = delete;
  FW_PtrList& operator=(const FW_PtrList&) = delete;

  int GetSize() const { return static_cast<int>(mItems.size()); }
  // Null for an index outside the list.
  T* Get(int idx) const { return InRange(idx) ? mItems[idx] : nullptr; }
  T* Add(T* item) { mItems.push_back(item); return item; }
  // An index past the end appends; a negative one inserts at the front.
  T* Insert(int idx, T* item) {
    if (idx < 0) idx = 0;
    if (idx > GetSize()) idx = GetSize();
    mItems.insert(mItems.begin() + idx, item);
    return item;
  }
  // Index of the first occurrence, or -1.
  int Find(const T* item) const {
    for (int i = 0; i < GetSize(); ++i)
      if (mItems[i] == item) return i;
    return -1;
  }
  void Delete(int idx, bool deleteObj = false) {
    if (!InRange(idx)) return;
    T* item = mItems[idx];
    mItems.erase(mItems.begin() + idx);
    if (deleteObj) delete item;
  }
  // Owned objects go last first, so later ones never outlive what they were built on.
  void Empty(bool deleteObjs = false) {
    while (!mItems.empty()) {
      T* item = mItems.back();
      mItems.pop_back();
      if (deleteObjs) delete item;
    }
  }

 private:
  bool InRange(int idx) const { return idx >= 0 && idx < GetSize(); }
  std::vector<T*> mItems;
};
