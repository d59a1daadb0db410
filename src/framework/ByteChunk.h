// A growable byte string for saved state. Values go in at the end in the machine's byte order
// (little-endian here, which the saved-state format relies on); reads take a position and
// return the position after the value, or -1 when too few bytes remain.
#pragma once
#include <cstdint>
#include <type_traits>

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "saved state is little-endian");

class ByteChunk {
 public:
  enum { kGranularity = 4096 };

  ByteChunk() = default;
  ~ByteChunk();
  ByteChunk(const ByteChunk&) = delete;
  ByteChunk& operator=(const ByteChunk&) = delete;

  // Appends size bytes; returns the new size, or 0 when the chunk could not grow (its contents
  // are then unchanged).
  int PutBytes(const void* data, int size);
  // Copies size bytes from startPos into data; returns startPos + size, or -1 (data untouched)
  // when the range does not lie inside the chunk.
  int GetBytes(void* data, int size, int startPos) const;

  template <class T>
  int Put(const T* value) {
    static_assert(std::is_trivially_copyable<T>::value, "plain values only");
    return PutBytes(value, sizeof(T));
  }
  template <class T>
  int Get(T* value, int startPos) const {
    static_assert(std::is_trivially_copyable<T>::value, "plain values only");
    return GetBytes(value, sizeof(T), startPos);
  }

  int PutChunk(const ByteChunk* other);
  // Sets the size, growing with zeros; returns the new size, or the old one when growth failed.
  int Resize(int newSize);
  void Clear() { Resize(0); }

  int Size() const { return mSize; }
  uint8_t* GetBytes() { return mData; }
  const uint8_t* GetBytes() const { return mData; }
  bool IsEqual(const ByteChunk& other) const;

 private:
  bool Reserve(int64_t size);

  uint8_t* mData = nullptr;
  int mSize = 0;
  int mCapacity = 0;
};
