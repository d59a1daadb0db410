#include "hosts/cli/player.h"

#include <alsa/asoundlib.h>
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "plugin/Quillmar.h"

namespace {

constexpr int HOST_CALL = 128;           // the render command's default host call
constexpr unsigned LATENCY_US = 60000;   // the device's buffer

long long now_ns() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1000000000LL + t.tv_nsec;
}

void sleep_until_ns(long long t) {
  timespec ts{static_cast<time_t>(t / 1000000000LL), static_cast<long>(t % 1000000000LL)};
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
  }
}

// ALSA's own messages would add lines of their own to ours (and print on the audio thread).
void quiet(const char*, int, const char*, int, const char*, ...) {}

int bytes_per_sample(snd_pcm_format_t f) { return f == SND_PCM_FORMAT_S16 ? 2 : 4; }

}  // namespace

player_t::~player_t() { stop(); }

bool player_t::open_device(const std::string& name, int rate, int channels, std::string* why) {
  snd_lib_error_set_handler(quiet);
  snd_pcm_t* pcm = nullptr;
  int err = snd_pcm_open(&pcm, name.c_str(), SND_PCM_STREAM_PLAYBACK, 0);
  if (err < 0) {
    *why = snd_strerror(err);
    return false;
  }
  for (snd_pcm_format_t f : {SND_PCM_FORMAT_FLOAT, SND_PCM_FORMAT_S32, SND_PCM_FORMAT_S16}) {
    err = snd_pcm_set_params(pcm, f, SND_PCM_ACCESS_RW_INTERLEAVED, channels, rate, 1, LATENCY_US);
    if (err == 0) {
      snd_pcm_uframes_t buffer = 0, period = 0;
      snd_pcm_get_params(pcm, &buffer, &period);
      pcm_ = pcm;
      format_ = f;
      lead_ns_ = static_cast<long long>(buffer) * 1000000000LL / rate;
      return true;
    }
  }
  *why = snd_strerror(err);
  snd_pcm_close(pcm);
  return false;
}

void player_t::start(Quillmar* plug, const audio_t* in) {
  if (thread_.joinable()) {
    stop_ = true;
    thread_.join();
  }
  in_ = in;
  stream_ = std::make_unique<host_stream_t>(plug, in->samplerate, in->channels, HOST_CALL);
  ibuf_.assign(in->channels, std::vector<float>(PERIOD));
  obuf_.assign(in->channels, std::vector<float>(PERIOD));
  dev_.assign(static_cast<size_t>(PERIOD) * in->channels * bytes_per_sample(static_cast<snd_pcm_format_t>(format_)), 0);
  stop_ = false;
  thread_ = std::thread(&player_t::run, this);
}

void player_t::stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (pcm_) {
    snd_pcm_drop(pcm_);
    snd_pcm_close(pcm_);
    pcm_ = nullptr;
  }
}

// The audio thread.
void player_t::run() {
  const int channels = in_->channels, rate = in_->samplerate;
  const size_t frames = in_->frames();
  size_t pos = 0;
  long long played = 0;
  const long long t0 = now_ns();
  float* ip[2] = {};
  float* op[2] = {};
  while (!stop_.load(std::memory_order_relaxed)) {
    // One period of the file, looped, through the plug-in in host calls.
    for (int c = 0; c < channels; ++c)
      for (int i = 0; i < PERIOD; ++i) ibuf_[c][i] = frames ? in_->ch[c][(pos + i) % frames] : 0.0f;
    pos = frames ? (pos + PERIOD) % frames : 0;
    for (int done = 0; done < PERIOD; done += HOST_CALL) {
      for (int c = 0; c < channels; ++c) {
        ip[c] = ibuf_[c].data() + done;
        op[c] = obuf_[c].data() + done;
      }
      stream_->call(ip, op, HOST_CALL);
    }
    played += PERIOD;
    played_.store(played, std::memory_order_relaxed);
    if (pcm_ && !failed_.load(std::memory_order_relaxed)) write_device(PERIOD);
    // Real-time pace: a device that takes samples faster than it plays them (a null or file
    // device) may run ahead of the clock by its buffer, no more; without one, not at all.
    const long long lead = pcm_ && !failed_.load(std::memory_order_relaxed) ? lead_ns_ : 0;
    const long long due = t0 + played * 1000000000LL / rate - lead;
    if (due > now_ns()) sleep_until_ns(due);
  }
}

void player_t::write_device(int n) {
  const int channels = in_->channels;
  const snd_pcm_format_t f = static_cast<snd_pcm_format_t>(format_);
  for (int i = 0; i < n; ++i)
    for (int c = 0; c < channels; ++c) {
      const float v = obuf_[c][i];
      const size_t at = static_cast<size_t>(i) * channels + c;
      if (f == SND_PCM_FORMAT_FLOAT) {
        std::memcpy(&dev_[at * 4], &v, 4);
        continue;
      }
      const double x = std::min(1.0, std::max(-1.0, static_cast<double>(v)));
      if (f == SND_PCM_FORMAT_S32) {
        const int32_t s = static_cast<int32_t>(std::lrint(x * 2147483647.0));
        std::memcpy(&dev_[at * 4], &s, 4);
      } else {
        const int16_t s = static_cast<int16_t>(std::lrint(x * 32767.0));
        std::memcpy(&dev_[at * 2], &s, 2);
      }
    }
  const size_t frame_bytes = static_cast<size_t>(channels) * bytes_per_sample(f);
  for (int done = 0; done < n && !stop_.load(std::memory_order_relaxed);) {
    const snd_pcm_sframes_t w = snd_pcm_writei(pcm_, &dev_[done * frame_bytes], n - done);
    if (w >= 0) {
      done += static_cast<int>(w);
    } else if (snd_pcm_recover(pcm_, static_cast<int>(w), 1) < 0) {
      failed_ = true;  // the rest runs silent; the main thread says so
      return;
    }
  }
}
