#include "hosts/cli/stop_signals.h"

#include <pthread.h>

std::atomic<bool> g_stop_requested{false};

static void on_signal(int) { g_stop_requested = true; }

void catch_stop_signals() {
  struct sigaction sa {};
  sa.sa_handler = on_signal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
}

stop_signals_blocked_t::stop_signals_blocked_t() {
  sigset_t stops;
  sigemptyset(&stops);
  sigaddset(&stops, SIGINT);
  sigaddset(&stops, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stops, &old_);
}

stop_signals_blocked_t::~stop_signals_blocked_t() { pthread_sigmask(SIG_SETMASK, &old_, nullptr); }
