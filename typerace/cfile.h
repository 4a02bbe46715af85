// The round library's file helpers: the self-closing handles, and a brief lock.
#pragma once

#include <sys/file.h>
#include <unistd.h>

#include <ctime>

#include "handles.h"

// Takes an exclusive flock on fd, waiting for it about a second at most. The files locked
// here are only ever held for a moment, or for a round by a process that is alive; a
// lock that is not given up by then is left to whoever holds it. False when not taken.
inline bool lock_briefly(int fd) {
  for (int i = 0; i < 100; ++i) {
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
    timespec pause{0, 10'000'000};
    nanosleep(&pause, nullptr);
  }
  return false;
}
