// --help and --version, answered only when one of them is the one and only argument, so
// no call the server makes can ever change meaning.
#pragma once

#include <cstdio>
#include <cstring>

#ifndef BBS_VERSION
#error "BBS_VERSION must give the project's version"
#endif

// True when the call was a request for help or the version and has been answered on
// standard output; the caller then ends with status 0.
inline bool answer_help_or_version(int argc, char** argv, const char* program, const char* usage) {
  if (argc != 2) return false;
  if (std::strcmp(argv[1], "--help") == 0) {
    std::fputs(usage, stdout);
  } else if (std::strcmp(argv[1], "--version") == 0) {
    std::printf("%s %s\n", program, BBS_VERSION);
  } else {
    return false;
  }
  std::fflush(stdout);
  return true;
}
