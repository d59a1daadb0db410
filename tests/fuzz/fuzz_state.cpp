// Saved state as a host hands it back: a chunk of any length and content restored at a start
// position, then audio through the restored settings. Input: one byte for the start position
// (-4 .. 11), the rest the chunk.
#include "fuzz_plug.h"

namespace {

enum { BLOCK = 512 };

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  Quillmar* plug = fuzz_fresh_instance(BLOCK);
  const int start = data[0] % 16 - 4;
  ByteChunk chunk;
  chunk.PutBytes(data + 1, static_cast<int>(size - 1));
  const int pos = plug->UnserializeState(&chunk, start);
  // The position after a whole chunk, or a negative one when it holds too little.
  const int whole = start + 8 * PARAM_COUNT;
  FUZZ_CHECK(start >= 0 && whole <= chunk.Size() ? pos == whole : pos < 0, "position %d", pos);
  fuzz_check_params(plug);

  // What is restored saves back as it is.
  ByteChunk saved, again;
  FUZZ_CHECK(plug->SerializeState(&saved) && saved.Size() == 8 * PARAM_COUNT, "saved");
  plug->UnserializeState(&saved, 0);
  plug->SerializeState(&again);
  FUZZ_CHECK(saved.IsEqual(again), "state round trip");

  // Enough audio to complete a block at the restored sizes, in mono or stereo.
  const int channels = 1 + (data[0] >> 7);
  int done = fuzz_process(plug, BLOCK, channels, data[0]);
  fuzz_check_sizes(plug);
  const int hop = plug->Engine().hop_size;
  while (done < hop + BLOCK) done += fuzz_process(plug, BLOCK, channels, data[0] + done);
  return 0;
}
