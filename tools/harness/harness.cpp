#include "harness.h"

#include <fcntl.h>
#include <iconv.h>
#include <link.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "round_names.h"

#ifndef BBS_BIN_DIR
#error "BBS_BIN_DIR must name the build tree"
#endif
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

namespace {

long now_ms() {
  using namespace std::chrono;
  return static_cast<long>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::string make_temp_dir(const char* stem) {
  const char* base = std::getenv("TMPDIR");
  std::string templ = std::string(base && *base ? base : "/tmp") + "/" + stem + "XXXXXX";
  if (mkdtemp(templ.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  return templ;
}

std::string convert(std::string_view bytes, const char* to, const char* from) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(bytes);
  std::string out;
  std::string in(bytes);
  char* ip = in.data();
  size_t il = in.size();
  char buf[256];
  while (il > 0) {
    char* op = buf;
    size_t ol = sizeof buf;
    size_t r = iconv(cd, &ip, &il, &op, &ol);
    out.append(buf, static_cast<size_t>(op - buf));
    if (r == static_cast<size_t>(-1) && errno != E2BIG) {
      out.push_back('?');
      ++ip;
      --il;
    }
  }
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  iconv_close(cd);
  return out;
}

// The environment that preloads `lib` into a program; a sanitized program must be told
// that the preloaded library may come first.
// A sanitized program must be told that a preloaded library may come first.
std::string asan_with_preload() {
  const char* asan = std::getenv("ASAN_OPTIONS");
  return std::string("ASAN_OPTIONS=") + (asan ? asan : "") + ":verify_asan_link_order=0";
}

std::vector<std::string> preload_env(const std::string& lib) {
  return {"LD_PRELOAD=" + lib, asan_with_preload()};
}

// libfaketime's shared clock, which the process it was loaded into leaves behind when it
// cannot remove it: when it confined itself, or was killed.
void forget_faketime(pid_t pid) {
  for (const char* fmt : {"/dev/shm/faketime_shm_%d", "/dev/shm/sem.faketime_sem_%d"}) {
    char path[64];
    std::snprintf(path, sizeof path, fmt, static_cast<int>(pid));
    ::unlink(path);
  }
}

}  // namespace

std::string program(std::string_view name) {
  return std::string(BBS_BIN_DIR) + "/" + std::string(name) + "/" + std::string(name);
}

Scratch::Scratch() : root_(make_temp_dir("bbs-")) {
  for (const char* d : {"frm/typegame", "user/chat", "user/score", "user/autoup", "bin"})
    fs::create_directories(fs::path(root_) / d);
}

Scratch::~Scratch() {
  std::error_code ec;
  fs::remove_all(root_, ec);
}

std::string Scratch::file(std::string_view rel) const { return root_ + "/" + std::string(rel); }

void Scratch::write(std::string_view rel, std::string_view bytes) const {
  fs::create_directories(fs::path(file(rel)).parent_path());
  std::ofstream out(file(rel), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void Scratch::append(std::string_view rel, std::string_view bytes) const {
  std::ofstream out(file(rel), std::ios::binary | std::ios::app);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::optional<std::string> Scratch::read(std::string_view rel) const {
  if (!exists(rel)) return std::nullopt;
  return slurp(file(rel));
}

bool Scratch::exists(std::string_view rel) const {
  struct stat st;
  return lstat(file(rel).c_str(), &st) == 0;
}

void Scratch::remove(std::string_view rel) const { ::unlink(file(rel).c_str()); }

void Scratch::fifo(std::string_view rel) const {
  remove(rel);
  if (mkfifo(file(rel).c_str(), 0666) != 0) throw std::runtime_error("mkfifo " + file(rel));
}

void Scratch::symlink(std::string_view rel, const std::string& target) const {
  remove(rel);
  if (::symlink(target.c_str(), file(rel).c_str()) != 0)
    throw std::runtime_error("symlink " + file(rel));
}

InDir::InDir(const std::string& dir) {
  std::array<char, 4096> here{};
  if (!getcwd(here.data(), here.size()) || chdir(dir.c_str()) != 0)
    throw std::runtime_error("cannot enter " + dir);
  back_ = here.data();
}

InDir::~InDir() {
  if (chdir(back_.c_str()) != 0) std::perror("chdir back");
}

void set_mtime(const std::string& path, std::time_t when) {
  timespec times[2] = {{when, 0}, {when, 0}};
  if (utimensat(AT_FDCWD, path.c_str(), times, 0) != 0)
    throw std::runtime_error("utimensat " + path);
}

Pty::Pty() {
  if (openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0)
    throw std::runtime_error("openpty failed");
  termios tio;
  tcgetattr(slave_, &tio);
  cfmakeraw(&tio);
  tcsetattr(slave_, TCSANOW, &tio);
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
  fcntl(master_, F_SETFD, FD_CLOEXEC);
  fcntl(slave_, F_SETFD, FD_CLOEXEC);
  const char* path = ttyname(slave_);
  if (path == nullptr || std::strncmp(path, "/dev/", 5) != 0)
    throw std::runtime_error("pty has no /dev name");
  name_ = path + 5;
}

Pty::~Pty() {
  if (slave_ >= 0) close(slave_);
  if (master_ >= 0) close(master_);
}

std::string Pty::drain(int quiet_ms, int max_ms) {
  std::string got;
  long end = now_ms() + max_ms;
  for (;;) {
    long left = end - now_ms();
    if (left <= 0) break;
    pollfd p{master_, POLLIN, 0};
    int r = poll(&p, 1, static_cast<int>(std::min<long>(left, quiet_ms)));
    if (r <= 0) break;
    char buf[4096];
    ssize_t n = ::read(master_, buf, sizeof buf);
    if (n <= 0) break;
    got.append(buf, static_cast<size_t>(n));
  }
  return got;
}

bool Pty::read_until(std::string& got, std::string_view needle, int timeout_ms) {
  long end = now_ms() + timeout_ms;
  while (got.find(needle) == std::string::npos) {
    long left = end - now_ms();
    if (left <= 0) return false;
    pollfd p{master_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
    char buf[4096];
    ssize_t n = ::read(master_, buf, sizeof buf);
    if (n > 0) got.append(buf, static_cast<size_t>(n));
  }
  return true;
}

std::string roster_bytes(const std::vector<RosterEntry>& entries) {
  std::string out;
  for (const auto& e : entries) {
    char rec[52] = {};
    auto g = static_cast<std::uint32_t>(e.group);
    for (int i = 0; i < 4; ++i) rec[i] = static_cast<char>((g >> (8 * i)) & 0xff);
    std::memcpy(rec + 4, e.other.data(), std::min<size_t>(e.other.size(), 27));
    std::memcpy(rec + 31, e.tty.data(), std::min<size_t>(e.tty.size(), 21));
    out.append(rec, sizeof rec);
  }
  return out;
}

void write_roster(const Scratch& dir, int room, const std::vector<RosterEntry>& entries) {
  std::array<char, 200> rel;
  roster_path(room, rel);
  dir.write(rel.data(), roster_bytes(entries));
}

Proc::Proc(const std::string& bin, const std::vector<std::string>& args, const std::string& cwd,
           const std::vector<std::string>& env, const ChildSetup& setup) {
  std::string dir = make_temp_dir("bbs-out-");
  out_path_ = dir + "/out";
  err_path_ = dir + "/err";
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    int o = open(out_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int e = open(err_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int n = open("/dev/null", O_RDONLY);
    if (o < 0 || e < 0 || n < 0 || chdir(cwd.c_str()) != 0) _exit(126);
    dup2(n, 0);
    dup2(o, 1);
    dup2(e, 2);
    setsid();  // no controlling terminal, as under the server
    for (const auto& kv : env) putenv(const_cast<char*>(kv.c_str()));
    if (setup) setup();
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(bin.c_str()));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(bin.c_str(), argv.data());
    _exit(127);
  }
}

Proc::~Proc() {
  if (!done_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  std::error_code ec;
  fs::remove_all(fs::path(out_path_).parent_path(), ec);
}

void Proc::signal(int sig) const { kill(pid_, sig); }

Result Proc::wait(int timeout_ms) {
  Result r;
  long end = now_ms() + timeout_ms;
  int st = 0;
  for (;;) {
    pid_t w = waitpid(pid_, &st, WNOHANG);
    if (w == pid_) break;
    if (now_ms() > end) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &st, 0);
      st = -1;
      break;
    }
    usleep(5000);
  }
  done_ = true;
  forget_faketime(pid_);
  if (st == -1)
    r.status = -1;
  else if (WIFEXITED(st))
    r.status = WEXITSTATUS(st);
  else if (WIFSIGNALED(st))
    r.status = 128 + WTERMSIG(st);
  r.out = slurp(out_path_);
  r.err = slurp(err_path_);
  return r;
}

Result run(const std::string& bin, const std::vector<std::string>& args, const std::string& cwd,
           const std::vector<std::string>& env, int timeout_ms, const ChildSetup& setup) {
  Proc p(bin, args, cwd, env, setup);
  return p.wait(timeout_ms);
}

std::optional<Command> as_other_user(const Scratch& dir, const std::string& bin, uid_t uid) {
  if (geteuid() != 0) return Command{bin, {}};
  if (access("/usr/bin/setpriv", X_OK) != 0) return std::nullopt;
  const std::string copy = dir.file(fs::path(bin).filename().string());
  fs::copy_file(bin, copy, fs::copy_options::overwrite_existing);
  struct stat st;
  if (stat(dir.path().c_str(), &st) == 0) chmod(dir.path().c_str(), (st.st_mode & 07777) | 0711);
  return Command{
      "/usr/bin/setpriv",
      {"--reuid=" + std::to_string(uid), "--regid=" + std::to_string(uid), "--clear-groups", copy}};
}

ChildSetup file_size_limit(long bytes) {
  return [bytes] {
    rlimit lim{static_cast<rlim_t>(bytes), static_cast<rlim_t>(bytes)};
    setrlimit(RLIMIT_FSIZE, &lim);
  };
}

ChildSetup stderr_unread() {
  return [] {
    int p[2];
    if (pipe(p) != 0) _exit(126);
    close(p[0]);
    dup2(p[1], 2);
    close(p[1]);
  };
}

ChildSetup ignoring(std::vector<int> signals) {
  return [signals] {
    for (int sig : signals) ::signal(sig, SIG_IGN);
  };
}

ChildSetup with_umask(mode_t mask) {
  return [mask] { umask(mask); };
}

ChildSetup both(ChildSetup first, ChildSetup second) {
  return [first, second] {
    if (first) first();
    if (second) second();
  };
}

ChildSetup stdin_from(const std::string& path) {
  return [path] {
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0 || dup2(fd, 0) < 0) _exit(126);
    close(fd);
  };
}

ChildSetup stdout_unread() {
  return [] {
    int p[2];
    if (pipe(p) != 0) _exit(126);
    close(p[0]);
    dup2(p[1], 1);
    close(p[1]);
  };
}

ChildSetup stdout_full() {
  return [] {
    const int fd = open("/dev/full", O_WRONLY);
    if (fd < 0 || dup2(fd, 1) < 0) _exit(126);
    close(fd);
  };
}

ChildSetup address_space_limit(long bytes) {
  return [bytes] {
    rlimit lim{static_cast<rlim_t>(bytes), static_cast<rlim_t>(bytes)};
    setrlimit(RLIMIT_AS, &lim);
  };
}

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

std::string euckr_to_utf8(std::string_view bytes) { return convert(bytes, "UTF-8", "EUC-KR"); }
std::string utf8_to_euckr(std::string_view text) { return convert(text, "EUC-KR", "UTF-8"); }

}  // namespace harness
