#include "replace_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "data_file.h"
#include "endings.h"
#include "retry.h"

int replace_file(const char* path, std::string_view text, mode_t mode, bool durable) {
  std::array<char, PATH_MAX + 8> temp;
  if (std::snprintf(temp.data(), temp.size(), "%s.XXXXXX", path) >= static_cast<int>(temp.size()))
    return ENAMETOOLONG;
  const EndingsHeld held;
  int err = 0;
  const int fd = mkstemp(temp.data());
  if (fd < 0) return errno;
  if (fchmod(fd, mode) != 0) err = errno;
  if (!err && !write_all(fd, text)) err = errno;
  if (!err && durable && fsync(fd) != 0) err = errno;
  if (close(fd) != 0 && !err) err = errno;
  if (!err && try_again([&] { return rename(temp.data(), path); }) != 0) err = errno;
  if (err) remove_file(temp.data());
  return err;
}
