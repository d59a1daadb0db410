// The plug-in as a JACK client: its audio ports, its processing on JACK's real-time thread at
// JACK's rate and buffer size, and its latency as JACK sees it.
//
// Threads and moments:
//  - open, check_ports, activate, connect, poll and close run on the main thread;
//  - JACK calls process on its real-time thread, once a cycle, after activate; it takes the
//    ports' buffers, hands them to the plug-in through the processing frame and nothing
//    else: no allocation, no lock the main thread can hold, no output;
//  - JACK calls the buffer-size, rate, latency and shutdown callbacks on its notification
//    thread (under PipeWire's library the latency callback only asks poll to set them). A new buffer size or rate is handed to the plug-in as a host does (SetBlockSize,
//    SetSampleRate, Reset) while process stands aside (it outputs silence for such a cycle
//    rather than wait).
#pragma once
#include <jack/jack.h>

#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "hosts/cli/cycle_times.h"
#include "hosts/cli/render.h"
#include "hosts/cli/session.h"

class live_client_t {
 public:
  // The plug-in must outlive the client; channels is 1 (ports "in", "out") or 2 ("in_1",
  // "in_2", "out_1", "out_2").
  live_client_t(Quillmar* plug, int channels);
  ~live_client_t();  // closes
  live_client_t(const live_client_t&) = delete;
  live_client_t& operator=(const live_client_t&) = delete;

  // Opens the client on the server JACK_DEFAULT_SERVER names (never starting one), registers
  // the ports and callbacks and prepares the plug-in for the server's rate and buffer size.
  // exact: the name was the user's, and a client of that name already there is an error.
  bool open(const std::string& name, bool exact, cli_error* err);
  // The ports to connect exist and send (ins) or take (outs) audio; the i-th of each list
  // goes to the i-th port of ours. Usage errors, before activation.
  bool check_ports(const std::vector<std::string>& ins, const std::vector<std::string>& outs,
                   cli_error* err);
  bool activate(cli_error* err);
  bool connect(const std::vector<std::string>& ins, const std::vector<std::string>& outs,
               cli_error* err);
  // Often: tells JACK when the plug-in's latency changed, so that it asks for it again.
  void poll();
  // The server shut down (or threw us out); why, as the server said.
  bool server_gone() const { return gone_.load(std::memory_order_acquire); }
  std::string gone_reason() const;
  // Deactivates (which disconnects) and closes; after a shutdown only closes. Idempotent.
  void close();

  const char* name() const;  // the name the server gave us
  static const char* server_name();  // the server tried: JACK_DEFAULT_SERVER or "default"

  // One cycle of n frames, exactly as JACK runs it (for tests driving it themselves).
  static int process(jack_nframes_t n, void* self);
  // How long the processed cycles took (read once deactivated), and the xruns the server
  // reported.
  const cycle_times_t& times() const { return times_; }
  int xruns() const { return xruns_.load(std::memory_order_relaxed); }
  double period_us() const { return rate_ ? frames_ * 1e6 / rate_ : 0.0; }
  jack_client_t* jack() const { return client_; }

 private:
  static int on_buffer_size(jack_nframes_t n, void* self);
  static int on_sample_rate(jack_nframes_t rate, void* self);
  static void on_latency(jack_latency_callback_mode_t mode, void* self);
  // Our latency added to what lies before our inputs (capture) or after our outputs (playback).
  void set_latencies(jack_latency_callback_mode_t mode);
  static void on_shutdown(jack_status_t code, const char* reason, void* self);
  static void on_plain_shutdown(void* self);
  static int on_xrun(void* self);
  // Hands a rate and buffer size to the plug-in with process standing aside.
  void configure(int rate, int frames);

  Quillmar* plug_;
  int channels_;
  jack_client_t* client_ = nullptr;
  jack_port_t* in_[2] = {};
  jack_port_t* out_[2] = {};
  std::optional<host_stream_t> stream_;
  int rate_ = 0, frames_ = 0;
  bool active_ = false;
  int reported_latency_ = -1;
  bool pipewire_ = false;                  // PipeWire's JACK library: latencies set by poll
  std::atomic<bool> latency_asked_{false};  // its latency callback came
  // 0: free, 1: a cycle runs, 2: the plug-in is being reconfigured.
  std::atomic<int> gate_{0};
  std::atomic<bool> gone_{false};
  std::atomic<bool> told_{false};  // the first of the two shutdown callbacks tells
  char reason_[256] = {};
  cycle_times_t times_;
  std::atomic<int> xruns_{0};
};
