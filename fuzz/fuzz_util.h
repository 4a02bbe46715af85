// Small helpers shared by the fuzz targets: the fuzzer's bytes as a FILE, and checks
// that stop the run with a message (libFuzzer keeps the input that broke one).
#pragma once

#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <string_view>

#include "handles.h"

#define FUZZ_CHECK(cond)                                                            \
  do {                                                                              \
    if (!(cond)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
      std::abort();                                                                 \
    }                                                                               \
  } while (0)

namespace fuzz {

inline std::string_view bytes(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// A read-only stream over a private copy of the bytes, as the programs would see the file.
class MemFile {
 public:
  explicit MemFile(std::string_view content)
      : copy_(content), f_(fmemopen(copy_.data(), copy_.size(), "r")) {
    if (!f_) std::abort();
  }
  MemFile(const MemFile&) = delete;
  MemFile& operator=(const MemFile&) = delete;
  std::FILE* get() const { return f_.get(); }
  bool at_end() const {
    return std::feof(f_.get()) || std::ftell(f_.get()) == static_cast<long>(copy_.size());
  }

 private:
  std::string copy_;
  File f_;
};

// Splits off the head of `in` up to the first `sep` (dropped); without one, all of it.
inline std::string_view take_until(std::string_view& in, char sep) {
  const std::size_t at = in.find(sep);
  std::string_view head = in.substr(0, at);
  in = at == std::string_view::npos ? std::string_view() : in.substr(at + 1);
  return head;
}

// The text a C string of these bytes holds: up to the first NUL.
inline std::string_view c_text(std::string_view s) { return s.substr(0, s.find('\0')); }

// Moves into a fresh private directory (in memory where /dev/shm is there) holding the
// given subdirectories, for code that works on paths under the working directory. The
// directory goes when the fuzzer exits.
inline void enter_scratch_dir(std::initializer_list<const char*> subdirs) {
  static std::string dir;
  struct stat st;
  dir = stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) ? "/dev/shm" : "/tmp";
  dir += "/bbs_fuzz.XXXXXX";
  if (!mkdtemp(dir.data()) || chdir(dir.c_str()) != 0) std::abort();
  for (const char* sub : subdirs)
    if (mkdir(sub, 0700) != 0) std::abort();
  std::atexit([] {
    nftw(
        dir.c_str(), [](const char* path, const struct stat*, int, FTW*) { return remove(path); },
        16, FTW_DEPTH | FTW_PHYS);
  });
}

}  // namespace fuzz
