// Whether bigclock may draw a text: its directory must be there and listable.
#pragma once

// 1 when the directory at `path` opens and listing it yields its "." entry, 0 otherwise.
int check_dir(const char* path);
