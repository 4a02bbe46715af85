// How a system call that failed is made again before its failure counts. Any call may
// fail for a moment (cut off by a signal, the kernel short of memory, a device or file
// system busy or failing once), and such a failure looks no different from one that
// lasts until the call is tried again; one more call costs next to nothing.
#pragma once

#include <time.h>

#include <cerrno>

// How often a failing call is made in all, interruptions aside.
inline constexpr int kTries = 4;

// Makes `call` (which returns -1 with errno when it fails) until it does not fail: an
// interrupted call again at once, any other failure up to kTries times in all, a
// millisecond apart. Returns what the last call returned, errno as it left it. Safe in a
// signal handler when `call` is.
template <typename Call>
auto try_again(Call call) {
  for (int tries = 1;;) {
    const auto r = call();
    if (r != -1) return r;
    if (errno == EINTR) continue;
    if (tries++ == kTries) return r;
    const int err = errno;
    timespec pause{0, 1'000'000};
    nanosleep(&pause, nullptr);
    errno = err;
  }
}
