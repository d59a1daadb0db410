#include "hosts/cli/jack_client.h"

#include <jack/types.h>
#include <dlfcn.h>
#include <errno.h>

#include <cstdlib>
#include <cstring>
#include <thread>

#include "plugin/Quillmar.h"

namespace {

const char* const kInNames[2][2] = {{"in", nullptr}, {"in_1", "in_2"}};
const char* const kOutNames[2][2] = {{"out", nullptr}, {"out_1", "out_2"}};

// JACK's own messages would add lines of their own to ours.
void quiet(const char*) {}

// PipeWire's JACK library (through pw-jack) rather than JACK2's.
bool pipewire_library() {
  Dl_info info{};
  return dladdr(reinterpret_cast<void*>(&jack_client_open), &info) && info.dli_fname &&
         std::strstr(info.dli_fname, "pipewire");
}

}  // namespace

live_client_t::live_client_t(Quillmar* plug, int channels) : plug_(plug), channels_(channels) {}

live_client_t::~live_client_t() { close(); }

const char* live_client_t::server_name() {
  const char* s = std::getenv("JACK_DEFAULT_SERVER");
  return s && *s ? s : "default";
}

const char* live_client_t::name() const { return client_ ? jack_get_client_name(client_) : ""; }

std::string live_client_t::gone_reason() const { return server_gone() ? reason_ : ""; }

bool live_client_t::open(const std::string& name, bool exact, cli_error* err) {
  jack_set_error_function(quiet);
  jack_set_info_function(quiet);
  pipewire_ = pipewire_library();
  jack_status_t status{};
  // A name the user chose is this client's only: a second one would process the same signal
  // into the same ports twice.
  // (Checked by the name JACK gave: JACK2 answers JackUseExactName with a bare server error.)
  client_ = jack_client_open(name.c_str(), JackNoStartServer, &status);
  if (client_ && exact && name != jack_get_client_name(client_)) {
    jack_client_close(client_);
    client_ = nullptr;
    status = static_cast<jack_status_t>(status | JackNameNotUnique);
  }
  if (!client_) {
    const std::string server = server_name();
    char code[16];
    std::snprintf(code, sizeof code, "%#x", static_cast<unsigned>(status));
    if (status & JackServerFailed)
      *err = {"no JACK server \"" + server + "\" is running (start jackd; under PipeWire, run quillmar through "
              "pw-jack or install pipewire-jack)", 1};
    else if (status & JackNameNotUnique)
      *err = {"the JACK server \"" + server + "\" already has a client \"" + name + "\"; choose another --name", 1};
    else
      *err = {"the JACK server \"" + server + "\" refused the client \"" + name + "\" (status " + code + ")", 1};
    return false;
  }
  const int row = channels_ - 1;
  for (int c = 0; c < channels_; ++c) {
    in_[c] = jack_port_register(client_, kInNames[row][c], JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    out_[c] = jack_port_register(client_, kOutNames[row][c], JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
    if (!in_[c] || !out_[c]) {
      *err = {"the JACK server \"" + std::string(server_name()) + "\" gave no ports to the client", 1};
      return false;
    }
  }
  configure(static_cast<int>(jack_get_sample_rate(client_)), static_cast<int>(jack_get_buffer_size(client_)));
  jack_set_process_callback(client_, process, this);
  jack_set_buffer_size_callback(client_, on_buffer_size, this);
  jack_set_sample_rate_callback(client_, on_sample_rate, this);
  jack_set_latency_callback(client_, on_latency, this);
  jack_set_xrun_callback(client_, on_xrun, this);
  jack_on_info_shutdown(client_, on_shutdown, this);
  jack_on_shutdown(client_, on_plain_shutdown, this);  // what PipeWire's library calls
  return true;
}

bool live_client_t::check_ports(const std::vector<std::string>& ins, const std::vector<std::string>& outs,
                                cli_error* err) {
  struct side_t {
    const std::vector<std::string>& ports;
    const char* option;
    unsigned long flag;  // what the other end must be
    const char* role;
  };
  for (const side_t& side : {side_t{ins, "--connect-in", JackPortIsOutput, "sends no audio"},
                             side_t{outs, "--connect-out", JackPortIsInput, "takes no audio"}}) {
    if (static_cast<int>(side.ports.size()) > channels_) {
      *err = {std::string(side.option) + " is given " + std::to_string(side.ports.size()) + " times, for " +
                  std::to_string(channels_) + (channels_ == 1 ? " port" : " ports"),
              2};
      return false;
    }
    for (const std::string& p : side.ports) {
      jack_port_t* port = jack_port_by_name(client_, p.c_str());
      if (!port) {
        *err = {std::string(side.option) + " " + p + ": no such JACK port (jack_lsp lists them)", 2};
        return false;
      }
      if (!(jack_port_flags(port) & side.flag) || std::strcmp(jack_port_type(port), JACK_DEFAULT_AUDIO_TYPE) != 0) {
        *err = {std::string(side.option) + " " + p + ": the port " + side.role, 2};
        return false;
      }
    }
  }
  return true;
}

bool live_client_t::activate(cli_error* err) {
  if (jack_activate(client_) != 0) {
    *err = {"the JACK server \"" + std::string(server_name()) + "\" did not activate the client", 1};
    return false;
  }
  active_ = true;
  return true;
}

bool live_client_t::connect(const std::vector<std::string>& ins, const std::vector<std::string>& outs,
                            cli_error* err) {
  for (size_t i = 0; i < ins.size() + outs.size(); ++i) {
    const bool in = i < ins.size();
    const std::string& other = in ? ins[i] : outs[i - ins.size()];
    jack_port_t* ours = in ? in_[i] : out_[i - ins.size()];
    const int r = in ? jack_connect(client_, other.c_str(), jack_port_name(ours))
                     : jack_connect(client_, jack_port_name(ours), other.c_str());
    if (r != 0 && r != EEXIST) {
      *err = {std::string(in ? "--connect-in " : "--connect-out ") + other + ": the JACK server did not connect it", 1};
      return false;
    }
  }
  return true;
}

void live_client_t::poll() {
  if (!client_ || !active_ || server_gone()) return;
  const int latency = plug_->LatencyNow();
  if (pipewire_) {
    // Set here, on the main thread, whenever the library asked or the latency changed.
    if (latency_asked_.exchange(false) || latency != reported_latency_) {
      reported_latency_ = latency;
      set_latencies(JackCaptureLatency);
      set_latencies(JackPlaybackLatency);
    }
    return;
  }
  if (latency == reported_latency_) return;
  reported_latency_ = latency;
  jack_recompute_total_latencies(client_);
}

void live_client_t::close() {
  if (!client_) return;
  if (active_ && !server_gone()) jack_deactivate(client_);
  active_ = false;
  jack_client_close(client_);
  client_ = nullptr;
}

void live_client_t::configure(int rate, int frames) {
  if (rate == rate_ && frames == frames_) return;
  // The audio thread never waits: while the gate is shut its cycles are silent.
  for (int free = 0; !gate_.compare_exchange_weak(free, 2, std::memory_order_acquire); free = 0)
    std::this_thread::yield();
  rate_ = rate;
  frames_ = frames;
  stream_.emplace(plug_, rate, channels_, frames);
  // One silent call sizes the engine for calls of this length here, off the audio thread,
  // so that the latency JACK is told is the one in effect from the first cycle.
  std::vector<std::vector<float>> silence(channels_, std::vector<float>(frames, 0.0f));
  float* bufs[2] = {silence[0].data(), channels_ == 2 ? silence[1].data() : nullptr};
  stream_->call(bufs, bufs, frames);
  gate_.store(0, std::memory_order_release);
}

int live_client_t::process(jack_nframes_t n, void* arg) {
  live_client_t* self = static_cast<live_client_t*>(arg);
  const long long start = cycle_times_t::now_ns();
  float* in[2] = {};
  float* out[2] = {};
  for (int c = 0; c < self->channels_; ++c) {
    in[c] = static_cast<float*>(jack_port_get_buffer(self->in_[c], n));
    out[c] = static_cast<float*>(jack_port_get_buffer(self->out_[c], n));
  }
  int free = 0;
  if (!self->gate_.compare_exchange_strong(free, 1, std::memory_order_acquire)) {
    for (int c = 0; c < self->channels_; ++c) std::memset(out[c], 0, sizeof(float) * n);
    return 0;
  }
  self->stream_->call(in, out, static_cast<int>(n));
  self->gate_.store(0, std::memory_order_release);
  self->times_.record(cycle_times_t::now_ns() - start);
  return 0;
}

int live_client_t::on_buffer_size(jack_nframes_t n, void* arg) {
  live_client_t* self = static_cast<live_client_t*>(arg);
  self->configure(self->rate_, static_cast<int>(n));
  return 0;
}

int live_client_t::on_sample_rate(jack_nframes_t rate, void* arg) {
  live_client_t* self = static_cast<live_client_t*>(arg);
  self->configure(static_cast<int>(rate), self->frames_);
  return 0;
}

// Our latency lies between each input and the output of the same channel: added to what lies
// before the input (capture) for the output, and to what lies after the output (playback)
// for the input.
// PipeWire 0.3's library calls this with a lock of its own held, and setting a port's latency
// there takes that lock again now and then: its thread then waits for itself for ever (no
// more callbacks, and no ending). Under that library the main thread sets them (poll).
void live_client_t::on_latency(jack_latency_callback_mode_t mode, void* arg) {
  live_client_t* self = static_cast<live_client_t*>(arg);
  if (self->pipewire_)
    self->latency_asked_.store(true);
  else
    self->set_latencies(mode);
}

void live_client_t::set_latencies(jack_latency_callback_mode_t mode) {
  const jack_nframes_t latency = static_cast<jack_nframes_t>(plug_->LatencyNow());
  for (int c = 0; c < channels_; ++c) {
    jack_port_t* from = mode == JackCaptureLatency ? in_[c] : out_[c];
    jack_port_t* to = mode == JackCaptureLatency ? out_[c] : in_[c];
    jack_latency_range_t r;
    jack_port_get_latency_range(from, mode, &r);
    r.min += latency;
    r.max += latency;
    jack_port_set_latency_range(to, mode, &r);
  }
}

void live_client_t::on_plain_shutdown(void* arg) { on_shutdown(JackFailure, nullptr, arg); }

void live_client_t::on_shutdown(jack_status_t, const char* reason, void* arg) {
  live_client_t* self = static_cast<live_client_t*>(arg);
  if (self->told_.exchange(true)) return;
  std::strncpy(self->reason_, reason ? reason : "", sizeof self->reason_ - 1);
  self->gone_.store(true, std::memory_order_release);
}

int live_client_t::on_xrun(void* arg) {
  static_cast<live_client_t*>(arg)->xruns_.fetch_add(1, std::memory_order_relaxed);
  return 0;
}
