// How the programs open, write and remove the files that others write or read too: the
// operator's game files, the server's rosters and results, the shared score ledger, the
// answer files, makenum.h. One way for all of them, so a FIFO, a device or a directory
// put in any of their places can neither hang a program nor be written to, and a call
// that fails for a moment never leaves a file half-written or behind.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <string_view>

#include "handles.h"

// The permissions a created file gets: 0666 less the umask, as open() would give, but
// never without read and write for its owner, so the next round (or makenum run) of the
// same user can always use what this one created.
mode_t creation_mode();

// Opens `path` with `flags` (the access mode, and O_APPEND, O_NOFOLLOW, O_CREAT or
// O_EXCL as the caller needs), never blocking, never as a controlling terminal, never
// inherited, and keeps it only when it is a regular file (judged on the opened
// descriptor). Anything else is closed again and counts as a file that cannot be
// opened: -1 with errno EISDIR for a directory, EINVAL for any other kind. A file that
// this call creates gets creation_mode(). Returns the descriptor, or -1 with errno.
int open_data_file(const char* path, int flags);

// open_data_file for reading, as a buffered stream; null with errno when it fails.
File open_data_stream(const char* path);

// Writes all of `bytes` at fd's offset: a write cut short is followed by one for the rest,
// and a failed one is tried again (try_again), so only a failure that lasts (a full disk,
// the file-size limit, a non-blocking descriptor that stays full) ends it. False, with
// errno, when not all of them went.
bool write_all(int fd, std::string_view bytes);

// Removes the file at `path`, trying again when that fails (try_again). True once nothing
// is left under the name or, with `ours`, once the name no longer leads to that file (what
// someone else has put there since is not the caller's to remove). False, with errno,
// while it is still there. Safe in a signal handler.
bool remove_file(const char* path, const struct stat* ours = nullptr);
