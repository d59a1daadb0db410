// Audio files for the command-line host, through libsndfile.
#pragma once
#include <string>
#include <vector>

enum class sample_format { same, float32, pcm16, pcm24 };

struct audio_t {
  int channels = 0;
  int samplerate = 0;
  int sf_format = 0;                   // libsndfile's format of the file read
  std::vector<std::vector<float>> ch;  // one vector per channel
  size_t frames() const { return ch.empty() ? 0 : ch[0].size(); }
};

// Reads a whole mono or stereo file; "-" reads standard input. On failure (also for more
// channels, or a file that holds less audio than its header promises) returns false with a
// message that names the file.
bool read_audio(const std::string& path, audio_t* out, std::string* error);

// The libsndfile format of an output: the container its name's extension asks for (.wav,
// .flac, .ogg/.oga Vorbis, .opus, .aif/.aiff, .w64, .caf, .au; an unknown extension or none,
// "-" included, keeps in_format's container, WAV when there is none), and the encoding
// `format` asks for (`same`: in_format's where the container holds it, else the container's
// finest). False, with one line naming the output, when the container cannot hold that
// encoding, that many channels or that sample rate.
bool output_format(const std::string& path, int in_format, int channels, int samplerate,
                   sample_format format, int* sf_format, std::string* error);

// Writes audio as output_format says, as an output (output.h: never a partial file, links
// followed, devices written in place, "-" for standard output).
bool write_audio(const std::string& path, const audio_t& audio, sample_format format,
                 std::string* error);
// Reads a whole file of at most `limit` bytes (a larger one is refused).
bool read_file(const std::string& path, std::vector<unsigned char>* out, std::string* error,
               size_t limit = 1 << 20);
