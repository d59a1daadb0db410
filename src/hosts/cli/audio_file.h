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

// Reads a whole mono or stereo file. On failure (also for more channels, or a file that holds
// less audio than its header promises) returns false with a message that names the file.
bool read_audio(const std::string& path, audio_t* out, std::string* error);

// Writes a file in the given format (`same`: the format read), first to a temporary name
// beside it and renamed when complete, so a failure never leaves a partial file at `path`.
bool write_audio(const std::string& path, const audio_t& audio, sample_format format,
                 std::string* error);

// Writes bytes to a file through a temporary name, renamed when complete.
bool write_file_atomic(const std::string& path, const void* data, size_t size,
                       std::string* error);
// Reads a whole file of at most `limit` bytes (a larger one is refused).
bool read_file(const std::string& path, std::vector<unsigned char>* out, std::string* error,
               size_t limit = 1 << 20);
