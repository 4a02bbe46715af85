// Running a built program as the server does, and what a test sets up in the child
// before the program starts: limits, streams, signals, the umask, another user.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "harness.h"
#include "internal.h"

namespace fs = std::filesystem;

namespace harness {

using namespace internal;

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

}  // namespace harness
