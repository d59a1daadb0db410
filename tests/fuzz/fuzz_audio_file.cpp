// Audio files as the command line's render reads them (WAV with any chunk layout, FLAC, and
// whatever else the reader recognises), then written back in the format read. Input: the
// file's bytes.
#include <sndfile.h>
#include <unistd.h>

#include <string>

#include "fuzz.h"
#include "hosts/cli/audio_file.h"

namespace {

std::string g_dir;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char tmpl[] = "/tmp/quillmar-fuzz-audio-XXXXXX";
  if (!mkdtemp(tmpl)) std::abort();
  g_dir = tmpl;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string in = g_dir + "/in", out = g_dir + "/out";
  FILE* f = std::fopen(in.c_str(), "wb");
  FUZZ_CHECK(f, "cannot write %s", in.c_str());
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  audio_t a;
  std::string error;
  if (!read_audio(in, &a, &error)) {
    FUZZ_CHECK(error.compare(0, in.size(), in) == 0, "the message names no file: %s",
               error.c_str());
    return 0;
  }
  FUZZ_CHECK(a.channels >= 1 && a.samplerate >= 1 && a.ch.size() == size_t(a.channels),
             "channels %d rate %d", a.channels, a.samplerate);
  for (const auto& c : a.ch) FUZZ_CHECK(c.size() == a.frames(), "channel lengths differ");
  if (a.frames() <= 100000 && write_audio(out, a, sample_format::same, &error)) {
    audio_t back;
    FUZZ_CHECK(read_audio(out, &back, &error), "what was written cannot be read: %s",
               error.c_str());
    // Block-coded formats (ADPCM, GSM) pad to whole blocks; plain samples keep the length.
    const int sub = back.sf_format & SF_FORMAT_SUBMASK;
    const bool plain = sub == SF_FORMAT_PCM_S8 || sub == SF_FORMAT_PCM_U8 ||
                       sub == SF_FORMAT_PCM_16 || sub == SF_FORMAT_PCM_24 ||
                       sub == SF_FORMAT_PCM_32 || sub == SF_FORMAT_FLOAT || sub == SF_FORMAT_DOUBLE;
    FUZZ_CHECK(back.channels == a.channels && (!plain || back.frames() == a.frames()),
               "written %zu, read %zu", a.frames(), back.frames());
  }
  return 0;
}
