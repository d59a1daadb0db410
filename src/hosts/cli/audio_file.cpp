#include "hosts/cli/audio_file.h"

#include <sndfile.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <algorithm>

// libsndfile reads what is there of a cut file and notes in its log that the audio chunk's
// length in the header is larger than the file holds. A length of 0 or 0xFFFFFFFF comes from
// writers that did not know the length, and is not a cut.
static bool header_promises_more(SNDFILE* f) {
  char log[8192] = "";
  sf_command(f, SFC_GET_LOG_INFO, log, sizeof log);
  for (const char* line = log; line && *line; line = std::strchr(line, '\n')) {
    if (*line == '\n') ++line;
    long long said = 0, real = 0;
    if ((std::sscanf(line, "data : %lld (should be %lld)", &said, &real) == 2 ||
         std::sscanf(line, "SSND : %lld (should be %lld)", &said, &real) == 2) &&
        said > real && said != 0xFFFFFFFFLL && said != 0)
      return true;
  }
  return false;
}

bool read_audio(const std::string& path, audio_t* out, std::string* error) {
  SF_INFO info = {};
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
  if (!f) {
    *error = path + ": " + sf_strerror(nullptr);
    return false;
  }
  // Everything the header alone can tell is checked before a sample is read.
  std::string problem;
  if (header_promises_more(f))
    problem = "the file is truncated (its header promises more audio than it holds)";
  else if (info.channels < 1 || info.samplerate < 1)
    problem = "not a usable audio file";
  else if (info.channels > 2)
    problem = std::to_string(info.channels) + " channels; Quillmar takes mono or stereo";
  if (!problem.empty()) {
    sf_close(f);
    *error = path + ": " + problem;
    return false;
  }
  out->channels = info.channels;
  out->samplerate = info.samplerate;
  out->sf_format = info.format;
  // Memory follows the audio actually read, never the length the header claims.
  enum { CHUNK = 4096, FIRST_RESERVE = 1 << 20 };
  out->ch.assign(info.channels, std::vector<float>());
  for (auto& c : out->ch) c.reserve(std::min<sf_count_t>(std::max<sf_count_t>(info.frames, 0), FIRST_RESERVE));
  float chunk[CHUNK * 2];
  size_t pos = 0;
  for (sf_count_t got; (got = sf_readf_float(f, chunk, CHUNK)) > 0; pos += got) {
    for (int c = 0; c < info.channels; ++c) {
      out->ch[c].resize(pos + got);
      float* dst = out->ch[c].data() + pos;
      for (sf_count_t i = 0; i < got; ++i) dst[i] = chunk[i * info.channels + c];
    }
  }
  const int err = sf_error(f);
  sf_close(f);
  if (err != SF_ERR_NO_ERROR) {
    *error = path + ": " + sf_error_number(err);
    return false;
  }
  // SF_COUNT_MAX: the writer did not know the length (a streamed FLAC says 0), and all of
  // what is there is the audio.
  if (info.frames != SF_COUNT_MAX && static_cast<sf_count_t>(pos) != info.frames) {
    *error = path + ": the file is truncated (" + std::to_string(pos) + " of " +
             std::to_string(info.frames) + " frames could be read)";
    return false;
  }
  return true;
}

static std::string temp_name(const std::string& path) {
  return path + ".tmp" + std::to_string(getpid());
}

bool write_audio(const std::string& path, const audio_t& audio, sample_format format,
                 std::string* error) {
  SF_INFO info = {};
  info.channels = audio.channels;
  info.samplerate = audio.samplerate;
  const int container = audio.sf_format ? (audio.sf_format & SF_FORMAT_TYPEMASK) : SF_FORMAT_WAV;
  int subtype = audio.sf_format & SF_FORMAT_SUBMASK;
  switch (format) {
    case sample_format::float32: subtype = SF_FORMAT_FLOAT; break;
    case sample_format::pcm16: subtype = SF_FORMAT_PCM_16; break;
    case sample_format::pcm24: subtype = SF_FORMAT_PCM_24; break;
    case sample_format::same: if (!subtype) subtype = SF_FORMAT_FLOAT; break;
  }
  info.format = container | subtype;
  if (!sf_format_check(&info)) {
    info.format = SF_FORMAT_WAV | subtype;  // e.g. a container that cannot hold floats
    if (!sf_format_check(&info)) info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  }
  const std::string tmp = temp_name(path);
  SNDFILE* f = sf_open(tmp.c_str(), SFM_WRITE, &info);
  if (!f) {
    *error = path + ": cannot write (" + sf_strerror(nullptr) + ")";
    return false;
  }
  // Integer formats clip rather than wrap samples beyond full scale.
  sf_command(f, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  const size_t frames = audio.frames();
  std::vector<float> chunk(4096 * static_cast<size_t>(audio.channels));
  bool ok = true;
  for (size_t pos = 0; pos < frames && ok; pos += 4096) {
    const size_t n = std::min<size_t>(4096, frames - pos);
    for (size_t i = 0; i < n; ++i)
      for (int c = 0; c < audio.channels; ++c) chunk[i * audio.channels + c] = audio.ch[c][pos + i];
    ok = sf_writef_float(f, chunk.data(), n) == static_cast<sf_count_t>(n);
  }
  if (sf_close(f) != 0) ok = false;
  if (!ok || std::rename(tmp.c_str(), path.c_str()) != 0) {
    *error = path + ": cannot write (" + std::strerror(errno) + ")";
    std::remove(tmp.c_str());
    return false;
  }
  return true;
}

bool write_file_atomic(const std::string& path, const void* data, size_t size,
                       std::string* error) {
  const std::string tmp = temp_name(path);
  FILE* f = std::fopen(tmp.c_str(), "wb");
  bool ok = f && std::fwrite(data, 1, size, f) == size;
  if (f && std::fclose(f) != 0) ok = false;
  if (!ok || std::rename(tmp.c_str(), path.c_str()) != 0) {
    *error = path + ": cannot write (" + std::strerror(errno) + ")";
    std::remove(tmp.c_str());
    return false;
  }
  return true;
}

bool read_file(const std::string& path, std::vector<unsigned char>* out, std::string* error,
               size_t limit) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    *error = path + ": " + std::strerror(errno);
    return false;
  }
  out->clear();
  unsigned char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
    out->insert(out->end(), buf, buf + n);
    if (out->size() > limit) break;
  }
  const bool bad = std::ferror(f);
  std::fclose(f);
  if (bad) {
    *error = path + ": read error";
    return false;
  }
  if (out->size() > limit) {
    *error = path + ": larger than " + std::to_string(limit) + " bytes";
    return false;
  }
  return true;
}
