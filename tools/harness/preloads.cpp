// What the tests preload into a program, and everything it starts: a wall clock that
// steps or stands still, system calls that fail, the probe of what a confined program may
// still do.
#include <fcntl.h>
#include <link.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "harness.h"
#include "internal.h"

#if !defined(PROBE_LIB) || !defined(FIXED_CLOCK_LIB)
#error "PROBE_LIB and FIXED_CLOCK_LIB must name the libraries the tests preload"
#endif
// The Landlock calls, for system headers older than they are.
#ifndef SYS_landlock_create_ruleset
#define SYS_landlock_create_ruleset 444
#define SYS_landlock_restrict_self 446
#endif
#ifndef BBS_HARNESS_DIR
#error "BBS_HARNESS_DIR must name the harness's sources"
#endif

namespace fs = std::filesystem;

namespace harness {

using namespace internal;

namespace {

constexpr char kFiuRun[] = "/usr/lib/fiu/fiu_run_preload.so";
constexpr char kFiuPosix[] = "/usr/lib/fiu/fiu_posix_preload.so";

}  // namespace

// The AddressSanitizer runtime this process runs with, if any. The tests are built as the
// programs are, so a sanitized program has the same one.
std::string sanitizer_runtime() {
  std::string found;
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* out) {
        const std::string name = info->dlpi_name ? info->dlpi_name : "";
        if (name.find("/libasan.so") == std::string::npos) return 0;
        *static_cast<std::string*>(out) = name;
        return 1;
      },
      &found);
  return found;
}

bool can_fail_calls() { return access(kFiuRun, R_OK) == 0 && access(kFiuPosix, R_OK) == 0; }

std::vector<std::string> failing_calls(const std::string& commands) {
  // libfiu's preload starts before the sanitizer's runtime can, and crashes, unless that
  // runtime is loaded first; its one allocation for life is no leak of the program's.
  std::string preload = std::string(kFiuRun) + " " + kFiuPosix;
  std::vector<std::string> env = {"FIU_ENABLE=" + commands,
                                  // No control FIFO: nothing left in /tmp by a killed program.
                                  "FIU_CTRL_FIFO=", asan_with_preload()};
  const std::string asan = sanitizer_runtime();
  if (!asan.empty()) {
    preload = asan + " " + preload;
    const char* lsan = std::getenv("LSAN_OPTIONS");
    env.push_back(std::string("LSAN_OPTIONS=") + (lsan ? lsan : "") +
                  ":print_suppressions=0:suppressions=" BBS_HARNESS_DIR "/libfiu.supp");
  }
  env.push_back("LD_PRELOAD=" + preload);
  return env;
}

SteppedClock::SteppedClock(const Scratch& dir) : file_(dir.file("faketime.offset")) {
  set_offset(0);
}

std::vector<std::string> SteppedClock::env() const {
  std::vector<std::string> env = preload_env("/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1");
  env.insert(env.end(), {"FAKETIME_TIMESTAMP_FILE=" + file_, "FAKETIME_NO_CACHE=1",
                         "FAKETIME_DONT_FAKE_MONOTONIC=1"});
  return env;
}

void SteppedClock::set_offset(long seconds) const {
  std::string tmp = file_ + ".new";
  std::ofstream(tmp) << (seconds >= 0 ? "+" : "") << seconds << "\n";
  std::rename(tmp.c_str(), file_.c_str());
}

std::vector<std::string> fixed_clock(std::time_t when) {
  std::vector<std::string> env = preload_env(FIXED_CLOCK_LIB);
  env.push_back("BBS_FIXED_TIME=" + std::to_string(static_cast<long long>(when)));
  return env;
}

std::vector<std::string> both_env(std::vector<std::string> first,
                                  const std::vector<std::string>& second) {
  constexpr std::string_view kPreload = "LD_PRELOAD=";
  for (const auto& kv : second) {
    auto preload = std::find_if(first.begin(), first.end(),
                                [&](const std::string& f) { return f.starts_with(kPreload); });
    if (kv.starts_with(kPreload) && preload != first.end())
      *preload += ":" + kv.substr(kPreload.size());
    else
      first.push_back(kv);
  }
  return first;
}

bool landlock_available() {
  constexpr unsigned kVersion = 1;  // asks for the version of Landlock the kernel has
  return syscall(SYS_landlock_create_ruleset, nullptr, 0, kVersion) >= 1;
}

ChildSetup without_landlock() {
  return [] {
    // The Landlock calls fail as in a kernel built without it.
    sock_filter code[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JGE | BPF_K, SYS_landlock_create_ruleset, 0, 2),
        BPF_JUMP(BPF_JMP | BPF_JGT | BPF_K, SYS_landlock_restrict_self, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENOSYS),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    sock_fprog prog{static_cast<unsigned short>(std::size(code)), code};
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
        prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &prog) != 0)
      _exit(126);
  };
}

namespace {

constexpr int kProbeFd = 200;  // far above any the programs open themselves

}  // namespace

Probe::Probe(std::string inside) : dir_(make_temp_dir("bbs-probe-")), inside_(std::move(inside)) {
  fd_ = open((dir_ + "/report").c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (fd_ < 0) throw std::runtime_error("probe report " + dir_);
}

Probe::~Probe() {
  close(fd_);
  std::error_code ec;
  fs::remove_all(dir_, ec);
}

std::vector<std::string> Probe::env() const {
  std::vector<std::string> env = preload_env(PROBE_LIB);
  env.insert(env.end(), {"BBS_PROBE_FD=" + std::to_string(kProbeFd),
                         "BBS_PROBE_OUTSIDE=" + dir_ + "/outside", "BBS_PROBE_RUN=/usr/bin/true"});
  if (!inside_.empty()) env.push_back("BBS_PROBE_INSIDE=" + inside_);
  return env;
}

ChildSetup Probe::setup() const {
  return [fd = fd_] {
    if (dup2(fd, kProbeFd) < 0) _exit(126);
  };
}

std::string Probe::report(std::string_view name) const {
  std::istringstream in(slurp(dir_ + "/report"));
  std::vector<std::string> seen;
  const std::string head = std::string(name) + " ";
  for (std::string line; std::getline(in, line);) {
    if (line.compare(0, head.size(), head) != 0) continue;
    line.erase(0, head.size());
    if (std::find(seen.begin(), seen.end(), line) == seen.end()) seen.push_back(line);
  }
  std::string out;
  for (const auto& line : seen) out += (out.empty() ? "" : "\n") + line;
  return out;
}

}  // namespace harness
