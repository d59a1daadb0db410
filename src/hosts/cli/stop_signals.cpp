#include "hosts/cli/stop_signals.h"

#include <pthread.h>

std::atomic<bool> g_stop_requested{false};

// Ctrl-C, a polite kill, and the terminal closed or the connection to it lost.
static const int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

static void on_signal(int) { g_stop_requested = true; }

void catch_stop_signals() {
  struct sigaction sa {};
  sa.sa_handler = on_signal;
  sigemptyset(&sa.sa_mask);
  for (int sig : kStopSignals) {
    // A hang-up that nohup asked to ignore stays ignored.
    struct sigaction now {};
    if (sig == SIGHUP && sigaction(sig, nullptr, &now) == 0 && now.sa_handler == SIG_IGN) continue;
    sigaction(sig, &sa, nullptr);
  }
}

stop_signals_blocked_t::stop_signals_blocked_t() {
  sigset_t stops;
  sigemptyset(&stops);
  for (int sig : kStopSignals) sigaddset(&stops, sig);
  pthread_sigmask(SIG_BLOCK, &stops, &old_);
}

stop_signals_blocked_t::~stop_signals_blocked_t() { pthread_sigmask(SIG_SETMASK, &old_, nullptr); }
