#include "tty.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "data_file.h"
#include "handles.h"
#include "roster.h"

bool tty_node_ok(const struct stat& st) {
  if (!S_ISCHR(st.st_mode)) return false;
  // /dev/tty is 5,0 and /dev/ptmx (and /dev/pts/ptmx) is 5,2 on every Linux system.
  return st.st_rdev != makedev(5, 0) && st.st_rdev != makedev(5, 2);
}

bool tty_device_ok(int fd) {
  struct stat st;
  return fstat(fd, &st) == 0 && tty_node_ok(st) && isatty(fd);
}

int to_tty2(const char* name, const char* text) {
  if (!tty_name_ok(name)) return 1;
  char path[32];
  std::snprintf(path, sizeof path, "/dev/%s", name);
  struct stat st;
  if (stat(path, &st) != 0 || !tty_node_ok(st)) return 1;
  Fd dev{open(path, O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)};
  if (dev.fd < 0) return 1;
  if (!tty_device_ok(dev.fd)) return 1;
  // A terminal nobody reads fills up, and a write to a nearly full one would go out cut,
  // leaving the user's cursor wherever the frame's head moved it. A terminal that polls
  // writable has room for more than an announcement, so the text goes whole or not at all.
  pollfd out{dev.fd, POLLOUT, 0};
  if (poll(&out, 1, 0) != 1 || !(out.revents & POLLOUT)) return 1;
  const std::string_view all = text;
  const ssize_t written = write(dev.fd, all.data(), all.size());
  // A write that took nothing is not tried again: the terminal got none of the text. One
  // cut short, on a terminal with room for all of it, was cut by something passing, and a
  // frame without its end would leave the user's cursor wherever its head moved it: the
  // rest follows at once, as long as the terminal takes it.
  if (written > 0 && static_cast<std::size_t>(written) < all.size())
    write_all(dev.fd, all.substr(static_cast<std::size_t>(written)));
  return 1;
}
