// Whether a round holds an answer file's lock, seen without disturbing it. typerace takes
// a stale answer file over only when its one try at an exclusive flock succeeds, so a
// look that held even a shared flock at that moment would make a real round refuse to
// start; the look here takes no lock where a takeover could meet it.
#pragma once

#include <sys/types.h>

#include <string_view>

enum class LockSeen { held, free, unknown };

// Whether one line of /proc/locks is a flock held (not one waited for) on the file with
// device `dev` and inode `ino`.
bool locks_line_holds(std::string_view line, dev_t dev, ino_t ino);

// Whether the kernel's lock table (`locks`, normally /proc/locks) lists a flock held on
// the file. Read only. Unknown when the table cannot be read.
LockSeen flock_listed(const char* locks, dev_t dev, ino_t ino);

// Tries a shared flock on `fd` and lets it go at once: held when someone else holds the
// file's exclusive one. For a file nobody may take over meanwhile, a fresh one.
LockSeen flock_tried(int fd);
