#include "terminals.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "targets.h"

namespace bench {

namespace {

constexpr char kHead[] = "\x1b[s\x1b[21;1H\n";
constexpr char kTail[] = "\x1b[u";

double clock_s(clockid_t id) {
  timespec ts;
  clock_gettime(id, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// Takes the whole frames off the front of `buf`, their texts past the head and indent.
void take_frames(std::string& buf, double at, std::vector<Arrival>& seen) {
  for (std::size_t end; (end = buf.find(kTail)) != std::string::npos;) {
    std::size_t start = buf.find(kHead);
    start = start == std::string::npos || start > end ? 0 : start + sizeof kHead - 1;
    while (start < end && (buf[start] == '\t' || buf[start] == ' ')) ++start;
    seen.push_back({buf.substr(start, end - start), at});
    buf.erase(0, end + sizeof kTail - 1);
  }
}

}  // namespace

double wall_now() { return clock_s(CLOCK_REALTIME); }
double mono_now() { return clock_s(CLOCK_MONOTONIC); }
double seconds(const timeval& tv) { return static_cast<double>(tv.tv_sec) + tv.tv_usec / 1e6; }

Terminals room_of(const harness::Scratch& dir, int room, int count) {
  Terminals ttys;
  std::vector<harness::RosterEntry> roster;
  for (int i = 0; i < count; ++i) {
    ttys.push_back(std::make_unique<harness::Pty>());
    roster.push_back({1, ttys.back()->name()});
  }
  harness::write_roster(dir, room, roster);
  return ttys;
}

pid_t start_in(const harness::Scratch& dir, const std::vector<std::string>& argv, bool quiet) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(dir.path().c_str()) != 0) _exit(126);
    if (quiet) {
      const int null = open("/dev/null", O_WRONLY);
      if (null < 0 || dup2(null, 1) < 0) _exit(126);
    }
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  return pid;
}

Followed follow(Terminals& ttys, pid_t pid) {
  Followed f;
  auto& seen = f.seen;
  seen.resize(ttys.size());
  std::vector<std::string> buf(ttys.size());
  std::vector<pollfd> fds;
  // Whatever the terminals hold within `wait_ms`; false when none had anything.
  auto read_ready = [&](int wait_ms) {
    fds.clear();
    for (auto& t : ttys) fds.push_back({t->master(), POLLIN, 0});
    if (poll(fds.data(), fds.size(), wait_ms) <= 0) return false;
    const double now = wall_now();
    for (std::size_t i = 0; i < ttys.size(); ++i) {
      if (!(fds[i].revents & POLLIN)) continue;
      char b[4096];
      for (ssize_t n; (n = read(ttys[i]->master(), b, sizeof b)) > 0;)
        buf[i].append(b, static_cast<size_t>(n));
      take_frames(buf[i], now, seen[i]);
    }
    return true;
  };
  const double start = mono_now();
  int status = 0;
  for (bool running = true; running;) {
    read_ready(20);
    if (wait4(pid, &status, WNOHANG, &f.usage) == pid) running = false;
  }
  f.wall = mono_now() - start;
  f.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  // The last announcement may still be on its way through the terminals when the program
  // has ended: it is read until they have been quiet a while (at most a second).
  const double until = mono_now() + 1;
  while (mono_now() < until && read_ready(100)) {
  }
  return f;
}

Followed follow_round(const harness::Scratch& dir, Terminals& ttys,
                      const std::vector<std::string>& argv) {
  return follow(ttys, start_in(dir, argv));
}

double print_countdown_lag(const std::vector<std::vector<Arrival>>& seen) {
  // After the second turns; a line that came before it (more than half a second past the
  // second before) is early, shown negative.
  auto lag = [](double at) {
    const double past = at - std::floor(at);
    return past > 0.5 ? past - 1 : past;
  };
  double worst = 0;
  int lines = 0;
  for (std::size_t k = 0; !seen.empty() && k < seen[0].size(); ++k) {
    const std::string& text = seen[0][k].text;
    if (text.size() != 3 || text[0] != '<' || text == "<5>") continue;
    double first = 1e18, last = 0;
    for (const auto& t : seen)
      for (const auto& a : t)
        if (a.text == text) {
          first = std::min(first, a.at);
          last = std::max(last, a.at);
          break;
        }
    std::printf("    %s  first terminal %6.2f ms, last %6.2f ms after the second turned\n",
                text.c_str(), lag(first) * 1000, lag(last) * 1000);
    worst = std::max(worst, std::abs(lag(first)));
    ++lines;
  }
  figure(lines > 0 && worst < 0.002,
         "  countdown lag at the first terminal: worst %.2f ms over %d lines  (target < 2 ms)",
         worst * 1000, lines);
  return worst;
}

}  // namespace bench
