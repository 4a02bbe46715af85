// Where makenum.h is, and updating it. A build number is the one thing makenum keeps: two
// runs at once, a full disk or a crash must never lose it or hand it out twice, and the
// header must stay the file that everyone else knows (its links, its owner).
#pragma once

#include <sys/stat.h>

#include <array>
#include <climits>
#include <string>
#include <string_view>

#include "handles.h"

using HeaderPath = std::array<char, PATH_MAX>;

// The file that `name` stands for: itself, or where its chain of symbolic links ends, so
// that a link stays a link and its target is what gets updated. False for a chain that
// never ends or a path too long.
bool header_target(const char* name, HeaderPath& target);

// The directory part of a path, "." when it has none: where the target's new file goes.
void directory_of(const char* path, HeaderPath& dir);

// What is at the target: nothing yet, a plain file, or something makenum must never open
// (a FIFO, a device, a directory).
enum class HeaderKind { missing, file, other };
HeaderKind header_kind(const char* target);

// The header at a target, opened and held for one run from reading the number to
// writing the next, so that runs at once take turns and each takes a number of its own.
// The turn is a lock on the header file itself, on a byte range of its own far beyond
// any header's length: a build that locks the directory or the file with flock, or a
// directory that may be written but not read, cannot stop the runs taking turns or
// keep one waiting for ever. A missing header is created (with the creation mode) to
// have something to lock, and removed again if the run fails.
class LockedHeader {
 public:
  explicit LockedHeader(const char* target);
  LockedHeader(const LockedHeader&) = delete;
  LockedHeader& operator=(const LockedHeader&) = delete;

  // Something that is no regular file took the header's place: nothing may be done.
  bool refused() const { return refused_; }

  // The number that follows the header's: 0 when it is missing or cannot be read.
  int next_number() const;

  // Replaces the header's text by `text`, whole or not at all: by a new file renamed
  // into place where that keeps it the same file to everyone else (its directory may be
  // written, it has one link and belongs to this user, with the group a new file would
  // get); otherwise rewritten in place, every write checked, cut to the new length and
  // synced, and the old bytes put back when any step fails. False, with the header as it
  // was, when it cannot be written.
  bool rewrite(std::string_view text);

 private:
  bool open_and_lock();
  bool rename_keeps_identity() const;
  bool rewrite_in_place(std::string_view text);

  const char* target_;
  Fd fd_;
  bool readable_ = false;
  bool writable_ = false;
  bool created_ = false;
  bool refused_ = false;
  bool old_known_ = false;  // old_ holds all the header held when the turn came
  std::string old_;
  struct stat st_ {};
};
