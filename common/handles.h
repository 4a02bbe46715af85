// Descriptors, streams and directory streams that close themselves when they go out of
// scope. None can be copied, so nothing is ever closed twice.
#pragma once

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <utility>

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

struct DirCloser {
  void operator()(DIR* d) const { closedir(d); }
};
using Dir = std::unique_ptr<DIR, DirCloser>;

// A descriptor; -1 holds nothing.
struct Fd {
  int fd = -1;

  Fd() = default;
  explicit Fd(int d) : fd(d) {}
  Fd(Fd&& other) noexcept : fd(std::exchange(other.fd, -1)) {}
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) {
      reset();
      fd = std::exchange(other.fd, -1);
    }
    return *this;
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() { reset(); }

  explicit operator bool() const { return fd >= 0; }
  int release() { return std::exchange(fd, -1); }
  void reset() {
    if (fd >= 0) close(fd);
    fd = -1;
  }
};
