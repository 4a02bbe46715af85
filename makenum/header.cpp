#include "header.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

#include "data_file.h"
#include "endings.h"
#include "replace_file.h"
#include "stamp.h"

void directory_of(const char* path, HeaderPath& dir) {
  const char* slash = std::strrchr(path, '/');
  if (!slash) {
    std::snprintf(dir.data(), dir.size(), ".");
  } else {
    const int len = slash == path ? 1 : static_cast<int>(slash - path);
    std::snprintf(dir.data(), dir.size(), "%.*s", len, path);
  }
}

namespace {

// The byte whose lock is a run's turn: the last but one that a file could ever have, so
// no header reaches it and only a lock meant for the whole file would cover it too.
constexpr off_t kTurnByte = std::numeric_limits<off_t>::max() - 1;

// Waits for the turn. The lock belongs to the open file, not to the process, so flock
// locks on the same file or on its directory (a build run under flock) never meet it.
bool take_turn(int fd, bool writing) {
  struct flock turn {};
  turn.l_type = writing ? F_WRLCK : F_RDLCK;
  turn.l_whence = SEEK_SET;
  turn.l_start = kTurnByte;
  turn.l_len = 1;
  while (fcntl(fd, F_OFD_SETLKW, &turn) != 0)
    if (errno != EINTR) return false;
  return true;
}

// The header opened for all that this user may do with it: reading and writing, or
// one of the two. -1 with errno when it may be neither, is missing (ENOENT) or is no
// regular file (EISDIR, EINVAL, ENXIO).
int open_header(const char* target, bool& readable, bool& writable) {
  for (const int flags : {O_RDWR, O_WRONLY, O_RDONLY}) {
    const int fd = open_data_file(target, flags);
    if (fd >= 0) {
      readable = flags != O_WRONLY;
      writable = flags != O_RDONLY;
      return fd;
    }
    if (errno == ENOENT || errno == EISDIR || errno == EINVAL || errno == ENXIO) return -1;
  }
  return -1;
}

bool read_all(int fd, std::string& out) {
  std::array<char, 4096> block;
  for (;;) {
    const ssize_t n = pread(fd, block.data(), block.size(), static_cast<off_t>(out.size()));
    if (n == 0) return true;
    if (n > 0)
      out.append(block.data(), static_cast<std::size_t>(n));
    else if (errno != EINTR)
      return false;
  }
}

// Writes `bytes` from offset 0 on; `done` counts what reached the file, also when a
// write fails part of the way (a full disk, the size limit).
bool write_from_start(int fd, std::string_view bytes, std::size_t& done) {
  while (done < bytes.size()) {
    const ssize_t n =
        pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
    if (n > 0)
      done += static_cast<std::size_t>(n);
    else if (n == 0 || errno != EINTR)
      return false;
  }
  return true;
}

}  // namespace

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

HeaderKind header_kind(const char* target) {
  struct stat st;
  if (stat(target, &st) != 0) return errno == ENOENT ? HeaderKind::missing : HeaderKind::other;
  return S_ISREG(st.st_mode) ? HeaderKind::file : HeaderKind::other;
}

LockedHeader::LockedHeader(const char* target) : target_(target) {
  if (!open_and_lock()) {
    fd_.reset();
    return;
  }
  // Another run may have taken the turn on a header this one created and written it:
  // then it is theirs, to be left in place whatever becomes of this run.
  if (created_ && st_.st_size != 0) created_ = false;
  old_known_ = st_.st_size == 0 || (readable_ && read_all(fd_.fd, old_));
  if (!old_known_) old_.clear();
}

bool LockedHeader::open_and_lock() {
  for (;;) {
    created_ = false;
    fd_ = Fd{open_header(target_, readable_, writable_)};
    if (!fd_ && errno == ENOENT) {
      fd_ = Fd{open_data_file(target_, O_RDWR | O_CREAT | O_EXCL)};
      if (!fd_ && errno == EEXIST) continue;  // another run created it first
      created_ = readable_ = writable_ = static_cast<bool>(fd_);
    }
    if (!fd_) {
      refused_ = errno == EISDIR || errno == EINVAL || errno == ENXIO;
      return false;
    }
    // Without the turn a created header stays, empty: it reads as 0, as a missing one.
    if (!take_turn(fd_.fd, writable_) || fstat(fd_.fd, &st_) != 0) return false;
    // A run that had the turn meanwhile may have renamed a new header into place, or
    // removed the one it created: the turn is then on a file that is no longer the
    // header, and is taken again on the one that is.
    struct stat now;
    if (stat(target_, &now) == 0) {
      if (now.st_dev == st_.st_dev && now.st_ino == st_.st_ino) return true;
    } else if (errno != ENOENT) {
      return false;
    }
  }
}

int LockedHeader::next_number() const { return old_known_ ? read_makenum(old_) : 0; }

bool LockedHeader::rewrite(std::string_view text) {
  if (!fd_ || !writable_) return false;
  const EndingsHeld held;
  // A new file that could not be made or put in place leaves the header as it was, so
  // rewriting it in place may still succeed (a disk too full for a second copy).
  bool done =
      rename_keeps_identity() && replace_file(target_, text, st_.st_mode & 07777, true) == 0;
  if (!done) done = rewrite_in_place(text);
  if (!done && created_) unlink(target_);
  return done;
}

bool LockedHeader::rename_keeps_identity() const {
  if (st_.st_nlink != 1 || st_.st_uid != geteuid()) return false;
  HeaderPath dir;
  directory_of(target_, dir);
  struct stat ds;
  if (stat(dir.data(), &ds) != 0 || faccessat(AT_FDCWD, dir.data(), W_OK | X_OK, AT_EACCESS) != 0)
    return false;
  const gid_t new_group = (ds.st_mode & S_ISGID) ? ds.st_gid : getegid();
  return st_.st_gid == new_group;
}

bool LockedHeader::rewrite_in_place(std::string_view text) {
  // What could not be read could not be put back.
  if (!old_known_) return false;
  std::size_t reached = 0;
  bool cut = false;
  bool ok = write_from_start(fd_.fd, text, reached);
  if (ok) {
    ok = ftruncate(fd_.fd, static_cast<off_t>(text.size())) == 0;
    cut = ok && text.size() < old_.size();
  }
  if (ok && fsync(fd_.fd) == 0) return true;
  // Put back the old bytes that were overwritten, and those the cut took, and the old
  // length.
  const std::size_t back = cut ? old_.size() : std::min(reached, old_.size());
  std::size_t restored = 0;
  if (write_from_start(fd_.fd, std::string_view(old_).substr(0, back), restored) &&
      ftruncate(fd_.fd, static_cast<off_t>(old_.size())) == 0)
    fsync(fd_.fd);
  return false;
}
