// How the programs open the files that others write or read too: the operator's game
// files, the server's rosters and results, the shared score ledger, the answer files,
// makenum.h. One way for all of them, so a FIFO, a device or a directory put in any of
// their places can neither hang a program nor be written to.
#pragma once

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

// Writes all of `bytes` at fd's offset: a write cut short is followed by one that says why
// (a full disk, the file-size limit), and an interrupted one is tried again. False, with
// errno, when not all of them went.
bool write_all(int fd, std::string_view bytes);
