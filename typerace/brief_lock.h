// A brief lock, for the files that are only ever held for a moment (a ledger while a line
// goes in) or for a round by a process that is alive (an answer file).
#pragma once

#include <sys/file.h>

#include <ctime>

// How long lock_briefly waits for a lock: this many tries, this far apart, about a second
// in all. A lock not given up by then is left to whoever holds it.
inline constexpr int kBriefLockTries = 100;
inline constexpr long kBriefLockPauseNs = 10'000'000;

// Takes an exclusive flock on fd, waiting for it about a second at most. False when it
// was not taken.
inline bool lock_briefly(int fd) {
  for (int i = 0; i < kBriefLockTries; ++i) {
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
    timespec pause{0, kBriefLockPauseNs};
    nanosleep(&pause, nullptr);
  }
  return false;
}
