// Plays audio through the plug-in in a loop at real-time pace on a thread of its own: into an
// ALSA device, or silently, paced by the clock, when no device is open (the editor still
// sees the audio go by). The thread keeps the real-time rules: every buffer exists before it
// starts; in its loop nothing allocates, locks (but the plug-in's spin locks), prints or
// touches a file, and the only call into the plug-in is the processing frame's.
#pragma once
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "hosts/cli/audio_file.h"
#include "hosts/cli/render.h"

struct _snd_pcm;

class player_t {
 public:
  player_t() = default;
  player_t(const player_t&) = delete;
  player_t& operator=(const player_t&) = delete;
  ~player_t();  // stops and closes

  // Main thread, before start: opens the device for the rate and channel count, taking 32-bit
  // float samples when it can (else 32- or 16-bit integers). False, with the reason, when it
  // does not open; start then plays silently.
  bool open_device(const std::string& name, int rate, int channels, std::string* why);
  // Main thread: prepares the plug-in as a host does (rate, block size, Reset, connections)
  // and starts playing `in` (which must outlive the player) in a loop from its start.
  void start(Quillmar* plug, const audio_t* in);
  // Main thread: ends the thread (within one period) and closes the device.
  void stop();
  // The device failed while playing (and the rest ran silent); for a message afterwards.
  bool device_failed() const { return failed_.load(); }
  // Frames handed to the plug-in so far.
  long long frames_played() const { return played_.load(); }

 private:
  void run();
  void write_device(int frames);

  enum { PERIOD = 512 };  // frames per turn of the loop; a multiple of the host call
  _snd_pcm* pcm_ = nullptr;
  int format_ = 0;             // the device's sample format (an snd_pcm_format_t)
  long long lead_ns_ = 0;      // how far ahead of the clock the device lets us run
  const audio_t* in_ = nullptr;
  std::unique_ptr<host_stream_t> stream_;
  std::vector<std::vector<float>> ibuf_, obuf_;
  std::vector<unsigned char> dev_;  // interleaved samples in the device's format
  std::thread thread_;
  std::atomic<bool> stop_{false}, failed_{false};
  std::atomic<long long> played_{0};
};
