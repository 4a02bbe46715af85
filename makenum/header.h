// Where makenum.h is, and replacing it whole. A build number is the one thing makenum keeps:
// two runs at once, a full disk or a crash must never lose it or hand it out twice.
#pragma once

#include <array>
#include <climits>
#include <cstddef>

using HeaderPath = std::array<char, PATH_MAX>;

// The file that `name` stands for: itself, or where its chain of symbolic links ends, so
// that a link stays a link and its target is what gets updated. False for a chain that
// never ends or a path too long.
bool header_target(const char* name, HeaderPath& target);

// The directory part of a path, "." when it has none: where the target's new file goes.
void directory_of(const char* path, HeaderPath& dir);

// Holds every other makenum of the target's directory off, from reading the number to
// replacing the file, so that runs at once each take a number of their own.
class HeaderLock {
 public:
  explicit HeaderLock(const HeaderPath& target);
  ~HeaderLock();
  HeaderLock(const HeaderLock&) = delete;
  HeaderLock& operator=(const HeaderLock&) = delete;

 private:
  int dir_fd_;
};

// What is at the target: nothing yet, a plain file, or something makenum must never open
// (a FIFO, a device, a directory).
enum class HeaderKind { missing, file, other };
HeaderKind header_kind(const char* target);

// Replaces the file at `target` by `text`: written to a new file beside it, every write
// and the close checked, then renamed into place, so it holds the old text or the new,
// never part of either. A file that may not be written keeps its text; a new file gets the
// old one's permissions. False, with nothing changed and nothing left behind, on failure.
bool replace_header(const char* target, const char* text, std::size_t len);
