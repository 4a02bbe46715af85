#include "lock_probe.h"

#include <sys/file.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "handles.h"

bool locks_line_holds(std::string_view line, dev_t dev, ino_t ino) {
  // "1: FLOCK  ADVISORY  WRITE 1234 fe:00:10953041 0 EOF"; a waiter's line has "->"
  // before its kind.
  const std::string text(line);
  char kind[16];
  unsigned maj = 0, min = 0;
  unsigned long long inode = 0;
  if (std::sscanf(text.c_str(), "%*d: %15s %*s %*s %*d %x:%x:%llu", kind, &maj, &min, &inode) != 4)
    return false;
  return std::string_view(kind) == "FLOCK" && maj == major(dev) && min == minor(dev) &&
         inode == static_cast<unsigned long long>(ino);
}

LockSeen flock_listed(const char* locks, dev_t dev, ino_t ino) {
  File table{std::fopen(locks, "re")};
  if (!table) return LockSeen::unknown;
  char line[256];
  while (std::fgets(line, sizeof line, table.get()))
    if (locks_line_holds(line, dev, ino)) return LockSeen::held;
  return std::ferror(table.get()) ? LockSeen::unknown : LockSeen::free;
}

LockSeen flock_tried(int fd) {
  if (flock(fd, LOCK_SH | LOCK_NB) == 0) {
    flock(fd, LOCK_UN);
    return LockSeen::free;
  }
  return errno == EWOULDBLOCK ? LockSeen::held : LockSeen::unknown;
}
