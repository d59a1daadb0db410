// One entry of the plug-in's preset list: a name and the state chunk it restores.
#pragma once
#include "framework/ByteChunk.h"

struct IPreset {
  enum { kNameSize = 256 };
  bool mInitialized = false;
  char mName[kNameSize] = "empty";
  ByteChunk mChunk;
};
