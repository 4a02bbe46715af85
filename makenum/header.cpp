#include "header.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "data_file.h"
#include "replace_file.h"

void directory_of(const char* path, HeaderPath& dir) {
  const char* slash = std::strrchr(path, '/');
  if (!slash) {
    std::snprintf(dir.data(), dir.size(), ".");
  } else {
    const int len = slash == path ? 1 : static_cast<int>(slash - path);
    std::snprintf(dir.data(), dir.size(), "%.*s", len, path);
  }
}

bool header_target(const char* name, HeaderPath& target) {
  if (std::snprintf(target.data(), target.size(), "%s", name) >= static_cast<int>(target.size()))
    return false;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (lstat(target.data(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;
    HeaderPath link;
    const ssize_t n = readlink(target.data(), link.data(), link.size() - 1);
    if (n < 0) return false;
    link[static_cast<std::size_t>(n)] = '\0';
    // A relative link points from the directory the link is in.
    HeaderPath dir;
    directory_of(target.data(), dir);
    const int len =
        link[0] == '/' || std::strcmp(dir.data(), ".") == 0
            ? std::snprintf(target.data(), target.size(), "%s", link.data())
            : std::snprintf(target.data(), target.size(), "%s/%s", dir.data(), link.data());
    if (len >= static_cast<int>(target.size())) return false;
  }
  return false;
}

HeaderLock::HeaderLock(const HeaderPath& target) {
  HeaderPath dir;
  directory_of(target.data(), dir);
  dir_fd_ = open(dir.data(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir_fd_ >= 0)
    while (flock(dir_fd_, LOCK_EX) != 0 && errno == EINTR) {
    }
}

HeaderLock::~HeaderLock() {
  if (dir_fd_ >= 0) close(dir_fd_);
}

HeaderKind header_kind(const char* target) {
  struct stat st;
  if (stat(target, &st) != 0) return errno == ENOENT ? HeaderKind::missing : HeaderKind::other;
  return S_ISREG(st.st_mode) ? HeaderKind::file : HeaderKind::other;
}

bool replace_header(const char* target, const char* text, std::size_t len) {
  mode_t mode;
  struct stat st;
  if (stat(target, &st) == 0) {
    // Writable or not is the file's own say, not its directory's.
    const int probe = open(target, O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (probe < 0) return false;
    close(probe);
    mode = st.st_mode & 07777;
  } else {
    mode = creation_mode();
  }

  return replace_file(target, {text, len}, mode, true) == 0;
}
