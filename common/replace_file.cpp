#include "replace_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "endings.h"

int replace_file(const char* path, std::string_view text, mode_t mode, bool durable) {
  std::array<char, PATH_MAX + 8> temp;
  if (std::snprintf(temp.data(), temp.size(), "%s.XXXXXX", path) >= static_cast<int>(temp.size()))
    return ENAMETOOLONG;
  const EndingsHeld held;
  int err = 0;
  const int fd = mkstemp(temp.data());
  if (fd < 0) return errno;
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
  return err;
}
