#include "data_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "retry.h"

mode_t creation_mode() {
  const mode_t mask = umask(0);
  umask(mask);
  return (0666 & ~mask) | 0600;
}

namespace {

int open_checked(const char* path, int flags) {
  Fd f{open(path, flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666)};
  if (!f) return -1;
  struct stat st;
  if (fstat(f.fd, &st) != 0) return -1;
  if (!S_ISREG(st.st_mode)) {
    errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    return -1;
  }
  return f.release();
}

// The file was created by this very open: it gets the creation mode, whatever the umask.
int created(int fd) {
  if (fd >= 0 && fchmod(fd, creation_mode()) != 0) {
    // It exists and is ours to use; a mode that could not be set is no reason to stop.
  }
  return fd;
}

}  // namespace

int open_data_file(const char* path, int flags) {
  if (!(flags & O_CREAT)) return open_checked(path, flags);
  if (flags & O_EXCL) return created(open_checked(path, flags));
  // Whether this open creates the file decides its mode, so the two cases are told apart:
  // an existing file keeps the mode it has.
  const int plain = flags & ~O_CREAT;
  for (int tries = 0; tries < 8; ++tries) {
    const int fd = open_checked(path, plain);
    if (fd >= 0 || errno != ENOENT) return fd;
    const int made = open_checked(path, plain | O_CREAT | O_EXCL);
    if (made >= 0 || errno != EEXIST) return created(made);
    // Someone else created it in between: open theirs.
  }
  return -1;
}

File open_data_stream(const char* path) {
  Fd f{open_data_file(path, O_RDONLY)};
  if (!f) return nullptr;
  File stream{fdopen(f.fd, "r")};
  if (stream) f.release();
  return stream;
}

bool write_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = try_again([&] { return write(fd, bytes.data(), bytes.size()); });
    if (n < 0) return false;
    if (n == 0) {
      errno = EIO;  // nothing taken and no reason given: asking again would never end
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

namespace {

// Whether the name is free of the file: nothing there, or (with `ours`) another file.
// errno is kept.
bool gone(const char* path, const struct stat* ours) {
  const int err = errno;
  struct stat now;
  bool free;
  if (lstat(path, &now) != 0)
    free = errno == ENOENT;  // a name that cannot be looked at may well still be there
  else
    free = ours != nullptr && (now.st_ino != ours->st_ino || now.st_dev != ours->st_dev);
  errno = err;
  return free;
}

}  // namespace

bool remove_file(const char* path, const struct stat* ours) {
  return try_again([&] { return unlink(path) == 0 || gone(path, ours) ? 0 : -1; }) == 0;
}
