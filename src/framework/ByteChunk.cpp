#include "framework/ByteChunk.h"

#include <climits>
#include <cstdlib>
#include <cstring>

ByteChunk::~ByteChunk() { std::free(mData); }

bool ByteChunk::Reserve(int64_t size) {
  if (size <= mCapacity) return true;
  const int64_t rounded = (size + kGranularity - 1) / kGranularity * kGranularity;
  if (rounded > INT_MAX) return false;
  void* grown = std::realloc(mData, static_cast<size_t>(rounded));
  if (!grown) return false;
  mData = static_cast<uint8_t*>(grown);
  mCapacity = static_cast<int>(rounded);
  return true;
}

int ByteChunk::PutBytes(const void* data, int size) {
  if (size < 0 || (size > 0 && !data)) return 0;
  if (!Reserve(static_cast<int64_t>(mSize) + size)) return 0;
  if (size > 0) std::memcpy(mData + mSize, data, static_cast<size_t>(size));
  mSize += size;
  return mSize;
}

int ByteChunk::GetBytes(void* data, int size, int startPos) const {
  if (!data || size < 0 || startPos < 0 || static_cast<int64_t>(startPos) + size > mSize) return -1;
  if (size > 0) std::memcpy(data, mData + startPos, static_cast<size_t>(size));
  return startPos + size;
}

int ByteChunk::PutChunk(const ByteChunk* other) {
  if (!other) return 0;
  if (other != this) return PutBytes(other->mData, other->mSize);
  // Appending to itself: growing may move the bytes being copied.
  const int size = mSize;
  if (!Reserve(2 * static_cast<int64_t>(size)))
    return 0;
  if (size > 0) std::memcpy(mData + size, mData, static_cast<size_t>(size));
  mSize = 2 * size;
  return mSize;
}

int ByteChunk::Resize(int newSize) {
  if (newSize < 0 || !Reserve(newSize)) return mSize;
  if (newSize > mSize) std::memset(mData + mSize, 0, static_cast<size_t>(newSize - mSize));
  mSize = newSize;
  return mSize;
}

bool ByteChunk::IsEqual(const ByteChunk& other) const {
  return mSize == other.mSize && (mSize == 0 || std::memcmp(mData, other.mData, mSize) == 0);
}
