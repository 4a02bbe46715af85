// Unit tests of the starter work on relative paths, as the program does in the
// server's directory: this runs a test inside a scratch directory.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <ctime>
#include <stdexcept>
#include <string>

#include "harness.h"

class InDir {
 public:
  explicit InDir(const std::string& dir) {
    if (!getcwd(old_.data(), old_.size()) || chdir(dir.c_str()) != 0)
      throw std::runtime_error("cannot enter " + dir);
  }
  ~InDir() {
    if (chdir(old_.data()) != 0) std::perror("chdir back");
  }
  InDir(const InDir&) = delete;
  InDir& operator=(const InDir&) = delete;

 private:
  std::array<char, 4096> old_{};
};

using harness::set_mtime;
