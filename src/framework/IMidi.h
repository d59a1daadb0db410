// MIDI records passed through the framework's MIDI path; this plug-in neither sends nor reads
// MIDI, so the records carry the bytes and nothing more.
#pragma once
#include <cstdint>

struct IMidiMsg {
  int mOffset = 0;  // frames into the current block
  uint8_t mStatus = 0;
  uint8_t mData1 = 0;
  uint8_t mData2 = 0;
};

struct ISysEx {
  int mOffset = 0;
  const uint8_t* mData = nullptr;
  int mSize = 0;
};
