// Replacing a file that others read, whole: a new file beside it takes the new bytes and
// is renamed over it, so a crash, a full disk or the size limit never leaves it empty or
// half-written.
#pragma once

#include <sys/types.h>

#include <string_view>

// Replaces the file at `path` by `text` with permissions `mode`; every write and the
// close are checked, and with `durable` the bytes reach the disk before the rename. The
// path then holds the old bytes or the new, never part of either, and a link in its
// place is replaced, not followed. The ending signals wait meanwhile, until the new file
// is in place or gone. Returns 0, or the error; on an error nothing is changed and
// nothing is left behind.
int replace_file(const char* path, std::string_view text, mode_t mode, bool durable);
