// What the harness's own units share, and nobody else: the clocks and files they wait
// on and read, and the environment that preloads a library into a program.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace harness::internal {

long now_ms();
std::string slurp(const std::string& path);
// A fresh directory under TMPDIR (or /tmp) named from `stem`; throws when it cannot be made.
std::string make_temp_dir(const char* stem);
// A sanitized program must be told that a preloaded library may come first.
std::string asan_with_preload();
// The environment that preloads `lib` into a program.
std::vector<std::string> preload_env(const std::string& lib);
// libfaketime's shared clock, which the process it was loaded into leaves behind when it
// cannot remove it: when it confined itself, or was killed.
void forget_faketime(pid_t pid);

}  // namespace harness::internal
