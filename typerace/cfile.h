// Files and descriptors that close themselves: every data file is opened, used and closed
// within one function.
#pragma once

#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <memory>

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// A descriptor, closed when it goes out of scope; -1 holds nothing.
struct Fd {
  int fd;
  ~Fd() {
    if (fd >= 0) close(fd);
  }
};

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
