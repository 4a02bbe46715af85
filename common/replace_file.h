// Replacing a file that others read, whole: a new file beside it takes the new bytes and
// is renamed over it, so a crash, a full disk or the size limit never leaves it empty or
// half-written.
#pragma once

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string_view>

// What a file created directly would get: 0666 less the umask.
inline mode_t creation_mode() {
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

// Replaces the file at `path` by `text` with permissions `mode`; every write and the
// close are checked, and with `durable` the bytes reach the disk before the rename. The
// path then holds the old bytes or the new, never part of either, and a link in its
// place is replaced, not followed. A signal that would end the program meanwhile waits
// until the new file is in place or gone. Returns 0, or the error; on an error nothing
// is changed and nothing is left behind.
inline int replace_file(const char* path, std::string_view text, mode_t mode, bool durable) {
  std::array<char, PATH_MAX + 8> temp;
  if (std::snprintf(temp.data(), temp.size(), "%s.XXXXXX", path) >= static_cast<int>(temp.size()))
    return ENAMETOOLONG;
  sigset_t endings, old;
  sigemptyset(&endings);
  for (int sig : {SIGTERM, SIGHUP, SIGINT, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM})
    sigaddset(&endings, sig);
  sigprocmask(SIG_BLOCK, &endings, &old);
  int err = 0;
  const int fd = mkstemp(temp.data());
  if (fd < 0) {
    err = errno;
  } else {
    if (fchmod(fd, mode) != 0) err = errno;
    // A write cut short is followed by one that says why (a full disk, the size limit).
    for (std::size_t off = 0; !err && off < text.size();) {
      const ssize_t n = write(fd, text.data() + off, text.size() - off);
      if (n >= 0)
        off += static_cast<std::size_t>(n);
      else if (errno != EINTR)
        err = errno;
    }
    if (!err && durable && fsync(fd) != 0) err = errno;
    if (close(fd) != 0 && !err) err = errno;
    if (!err && rename(temp.data(), path) != 0) err = errno;
    if (err) unlink(temp.data());
  }
  sigprocmask(SIG_SETMASK, &old, nullptr);
  return err;
}
