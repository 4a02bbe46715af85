#include "check_dir.h"

#include <dirent.h>

#include <cstring>

#include "handles.h"

// A directory counts as readable only if listing it actually yields its "." entry.
int check_dir(const char* path) {
  Dir dir(opendir(path));
  if (!dir) return 0;
  while (const dirent* entry = readdir(dir.get()))
    if (std::strcmp(entry->d_name, ".") == 0) return 1;
  return 0;
}
