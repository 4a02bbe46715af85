#include "endings.h"

#include <unistd.h>

sigset_t ending_signals() {
  sigset_t set;
  sigemptyset(&set);
  for (int sig : kEndingSignals) sigaddset(&set, sig);
  return set;
}

void catch_endings(void (*clean_up)(int sig)) {
  signal(SIGPIPE, SIG_IGN);
  signal(SIGXFSZ, SIG_IGN);
  if (!clean_up) return;
  struct sigaction sa {};
  sa.sa_handler = clean_up;
  sa.sa_mask = ending_signals();
  for (int sig : kEndingSignals) {
    struct sigaction inherited {};
    if (sigaction(sig, nullptr, &inherited) == 0 && inherited.sa_handler == SIG_IGN) continue;
    sigaction(sig, &sa, nullptr);
  }
}

EndingsHeld::EndingsHeld() {
  const sigset_t endings = ending_signals();
  sigprocmask(SIG_BLOCK, &endings, &old_);
}

EndingsHeld::~EndingsHeld() { sigprocmask(SIG_SETMASK, &old_, nullptr); }

void end_by_signal(int sig) {
  signal(sig, SIG_DFL);
  raise(sig);
  // Inside a handler the signal is held until it returns; let it through now.
  sigset_t just;
  sigemptyset(&just);
  sigaddset(&just, sig);
  sigprocmask(SIG_UNBLOCK, &just, nullptr);
  _exit(128 + sig);
}
