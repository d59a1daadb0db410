#include "hosts/cli/audio_file.h"

#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "hosts/cli/output.h"

// libsndfile reads what is there of a cut file and notes in its log each length from the
// header that is larger than the file holds, as "LABEL : SAID (should be REAL)": the audio
// chunk's ("data", "SSND", "Data Size") or, where that line says nothing (W64), the whole
// file's ("riff"). 0xFFFFFFFF comes from writers that did not know the length (so does 0,
// which is never more than the file holds), and one byte more is a missing pad byte: neither
// is a cut.
static bool header_promises_more(SNDFILE* f) {
  char log[8192] = "";
  sf_command(f, SFC_GET_LOG_INFO, log, sizeof log);
  for (const char* line = log; line && *line; line = std::strchr(line, '\n')) {
    if (*line == '\n') ++line;
    long long said = 0, real = 0;
    if (std::sscanf(line, "%*[^:\n]: %lld (should be %lld)", &said, &real) == 2 &&
        said > real + 1 && said != 0xFFFFFFFFLL)
      return true;
  }
  return false;
}

namespace {

// Reads a file; messages name it `name`.
bool read_audio_file(const std::string& path, const std::string& name, audio_t* out,
                     std::string* error) {
  SF_INFO info = {};
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
  if (!f) {
    *error = name + ": " + sf_strerror(nullptr);
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
    *error = name + ": " + problem;
    return false;
  }
  out->channels = info.channels;
  out->samplerate = info.samplerate;
  out->sf_format = info.format;
  // Memory follows the audio actually read, never the length the header claims.
  enum { CHUNK = 4096, FIRST_RESERVE = 1 << 20 };  // mutate: skip (any positive sizes read the same audio)
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
    *error = name + ": " + sf_error_number(err);
    return false;
  }
  // SF_COUNT_MAX: the writer did not know the length (a streamed FLAC says 0), and all of
  // what is there is the audio.
  if (info.frames != SF_COUNT_MAX && static_cast<sf_count_t>(pos) != info.frames) {
    *error = name + ": the file is truncated (" + std::to_string(pos) + " of " +
             std::to_string(info.frames) + " frames could be read)";
    return false;
  }
  return true;
}

}  // namespace

bool read_audio(const std::string& path, audio_t* out, std::string* error) {
  if (path != "-") return read_audio_file(path, path, out, error);
  std::string spooled;
  if (!spool_standard_input(&spooled, error)) return false;
  const bool ok = read_audio_file(spooled, "standard input", out, error);
  remove_spooled_input(spooled);
  return ok;
}

namespace {

struct container_t {
  const char* extensions;  // each followed by a space
  int format;              // major format, with its only encoding where it has one
  const char* name;
};

const container_t kContainers[] = {
    {".wav ", SF_FORMAT_WAV, "WAV"},
    {".flac ", SF_FORMAT_FLAC, "FLAC"},
    {".ogg .oga ", SF_FORMAT_OGG | SF_FORMAT_VORBIS, "Ogg Vorbis"},
    {".opus ", SF_FORMAT_OGG | SF_FORMAT_OPUS, "Ogg Opus"},
    {".aif .aiff ", SF_FORMAT_AIFF, "AIFF"},
    {".w64 ", SF_FORMAT_W64, "W64"},
    {".caf ", SF_FORMAT_CAF, "CAF"},
    {".au ", SF_FORMAT_AU, "AU"},
    {".mp3 ", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, "MP3"},
};

// The container an output's name asks for, or null for an unknown extension or none.
const container_t* container_of(const std::string& path) {
  const size_t dot = path.rfind('.'), slash = path.rfind('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return nullptr;
  std::string ext = path.substr(dot);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const container_t& c : kContainers)
    if (std::string(c.extensions).find(ext + " ") != std::string::npos) return &c;
  return nullptr;
}

// A container's name for messages: ours, else libsndfile's without its explanation.
std::string container_name(int format) {
  for (const container_t& c : kContainers)
    if (c.format == format || ((c.format & SF_FORMAT_SUBMASK) == 0 && c.format == (format & SF_FORMAT_TYPEMASK)))
      return c.name;
  SF_FORMAT_INFO info = {};
  info.format = format & SF_FORMAT_TYPEMASK;
  if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof info) != 0 || !info.name)  // mutate: skip logical (libsndfile names every container it opened)
    return "this container";
  const std::string name = info.name;
  return name.substr(0, name.find(" ("));
}

bool holds(int format, int channels, int samplerate) {
  SF_INFO info = {};
  info.format = format;
  info.channels = channels;
  info.samplerate = samplerate;
  return sf_format_check(&info);
}

bool is_codec(int subtype) {
  return subtype == SF_FORMAT_VORBIS || subtype == SF_FORMAT_OPUS || subtype == SF_FORMAT_MPEG_LAYER_III;
}

}  // namespace

bool output_format(const std::string& path, int in_format, int channels, int samplerate,
                   sample_format format, int* sf_format, std::string* error) {
  const container_t* c = container_of(path);
  const std::string name = path == "-" ? "standard output" : path;
  int major = c ? c->format : in_format ? in_format & SF_FORMAT_TYPEMASK : SF_FORMAT_WAV;
  // A codec of its own (Vorbis, Opus) comes with its container.
  const int in_sub = in_format & SF_FORMAT_SUBMASK;
  if (!c && (major & SF_FORMAT_TYPEMASK) == (in_format & SF_FORMAT_TYPEMASK) && is_codec(in_sub))
    major |= in_sub;
  const std::string container = container_name(major);
  if (major & SF_FORMAT_SUBMASK) {
    if (format != sample_format::same) {
      *error = name + ": " + container + " has an encoding of its own; leave out --format";
      return false;
    }
    *sf_format = major;
    if ((major & SF_FORMAT_SUBMASK) == SF_FORMAT_OPUS &&
        samplerate != 8000 && samplerate != 12000 && samplerate != 16000 && samplerate != 24000 &&
        samplerate != 48000) {
      *error = name + ": Opus takes 8000, 12000, 16000, 24000 or 48000 Hz, not " +
               std::to_string(samplerate) + " Hz (Quillmar does not resample)";
      return false;
    }
  } else {
    struct {
      sample_format f;
      int subtype;
      const char* name;
    } const kEncodings[] = {{sample_format::float32, SF_FORMAT_FLOAT, "32-bit float"},
                            {sample_format::pcm24, SF_FORMAT_PCM_24, "24-bit PCM"},
                            {sample_format::pcm16, SF_FORMAT_PCM_16, "16-bit PCM"}};
    *sf_format = 0;
    if (format == sample_format::same) {
      // The input's encoding where the container holds it, else the finest it holds.
      if (in_sub && !is_codec(in_sub) && holds(major | in_sub, channels, samplerate)) *sf_format = major | in_sub;
      for (const auto& e : kEncodings)
        if (!*sf_format && holds(major | e.subtype, channels, samplerate)) *sf_format = major | e.subtype;
    } else {
      for (const auto& e : kEncodings) {
        if (e.f != format) continue;
        if (!holds(major | e.subtype, channels, samplerate)) {
          *error = name + ": " + container + " cannot hold " + e.name + " samples";
          return false;
        }
        *sf_format = major | e.subtype;
      }
    }
  }
  if (!*sf_format || !holds(*sf_format, channels, samplerate)) {
    // A codec this libsndfile was built without, or a layout the container has no room for.
    *error = name + ": " +
             (is_codec(major & SF_FORMAT_SUBMASK)
                  ? "this libsndfile cannot write " + container
                  : container + " cannot hold " + std::to_string(channels) + " channel(s) at " +
                        std::to_string(samplerate) + " Hz");
    return false;
  }
  return true;
}

bool write_audio(const std::string& path, const audio_t& audio, sample_format format,
                 std::string* error) {
  SF_INFO info = {};
  info.channels = audio.channels;
  info.samplerate = audio.samplerate;
  if (!output_format(path, audio.sf_format, audio.channels, audio.samplerate, format,
                     &info.format, error))
    return false;
  return write_output(
      path,
      [&](const std::string& file, std::string* reason) {
        SF_INFO i = info;
        SNDFILE* f = sf_open(file.c_str(), SFM_WRITE, &i);
        if (!f) {
          *reason = std::string("cannot write (") + sf_strerror(nullptr) + ")";
          return false;
        }
        // Integer formats clip rather than wrap samples beyond full scale. No PEAK chunk: it
        // holds the time of writing, and the same audio should make the same file.
        sf_command(f, SFC_SET_CLIPPING, nullptr, SF_TRUE);
        sf_command(f, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
        const size_t frames = audio.frames();
        std::vector<float> chunk(4096 * static_cast<size_t>(audio.channels));
        bool ok = true;
        for (size_t pos = 0; pos < frames && ok; pos += 4096) {
          const size_t n = std::min<size_t>(4096, frames - pos);
          for (size_t k = 0; k < n; ++k)
            for (int c = 0; c < audio.channels; ++c) chunk[k * audio.channels + c] = audio.ch[c][pos + k];
          ok = sf_writef_float(f, chunk.data(), n) == static_cast<sf_count_t>(n);
        }
        if (!ok) *reason = sf_strerror(f);
        if (sf_close(f) != 0 && ok) {
          *reason = "cannot write";
          ok = false;
        }
        // Some encoders (FLAC, Ogg) write nothing at all for no audio, and an empty file is
        // no file of any format: an error, not an output.
        struct stat st;
        if (ok && frames == 0 && stat(file.c_str(), &st) == 0 && st.st_size == 0) {
          *reason = "there is no audio, and this format cannot hold none";
          ok = false;
        }
        return ok;
      },
      error);
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
