// Ctrl-C, SIGTERM and SIGHUP as the interactive commands take them: a flag their loops watch (a
// window's loop, whose poll they interrupt, or a sleeping one). Main thread.
#pragma once
#include <signal.h>

#include <atomic>

// Set by SIGINT, SIGTERM or SIGHUP once catch_stop_signals was called.
extern std::atomic<bool> g_stop_requested;
void catch_stop_signals();

// Blocks those signals on the calling thread while it lives, so that the threads started
// meanwhile (an audio thread, a JACK client's) leave them to the main thread.
class stop_signals_blocked_t {
 public:
  stop_signals_blocked_t();
  ~stop_signals_blocked_t();
  stop_signals_blocked_t(const stop_signals_blocked_t&) = delete;
  stop_signals_blocked_t& operator=(const stop_signals_blocked_t&) = delete;

 private:
  sigset_t old_;
};
