// Figures for one typerace round, measured on the built program against real
// pseudo-terminals: CPU use over a round, how late countdown lines arrive after the
// wall clock's second turns, and how long one announcement takes to reach 100 terminals.

#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "harness.h"
#include "round.h"
#include "tty.h"

namespace {

double wall_now() {
  timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

struct Arrival {
  std::string text;  // the announcement, without its frame
  double at;         // wall clock when its last byte was read
};

// Reads every terminal until the program ends, noting when each announcement arrives.
std::vector<std::vector<Arrival>> follow(std::vector<std::unique_ptr<harness::Pty>>& ttys,
                                         pid_t pid, rusage* usage, double* wall) {
  std::vector<std::vector<Arrival>> seen(ttys.size());
  std::vector<std::string> buf(ttys.size());
  double start = wall_now();
  int status = 0;
  for (bool running = true; running;) {
    std::vector<pollfd> fds;
    for (auto& t : ttys) fds.push_back({t->master(), POLLIN, 0});
    poll(fds.data(), fds.size(), 20);
    double now = wall_now();
    for (std::size_t i = 0; i < ttys.size(); ++i) {
      if (!(fds[i].revents & POLLIN)) continue;
      char b[4096];
      ssize_t n;
      while ((n = read(ttys[i]->master(), b, sizeof b)) > 0)
        buf[i].append(b, static_cast<size_t>(n));
      for (std::size_t end; (end = buf[i].find("\x1b[u")) != std::string::npos;) {
        std::size_t tab = buf[i].find('\t');
        std::string text = buf[i].substr(tab == std::string::npos ? 0 : tab + 1,
                                         end - (tab == std::string::npos ? 0 : tab + 1));
        seen[i].push_back({text, now});
        buf[i].erase(0, end + 3);
      }
    }
    if (wait4(pid, &status, WNOHANG, usage) == pid) running = false;
  }
  *wall = wall_now() - start;
  return seen;
}

pid_t start_round(const harness::Scratch& dir, const char* room) {
  pid_t pid = fork();
  if (pid == 0) {
    if (chdir(dir.path().c_str()) != 0) _exit(126);
    std::string bin = harness::program("typerace");
    execl(bin.c_str(), bin.c_str(), "bench", "1", room, "short", static_cast<char*>(nullptr));
    _exit(127);
  }
  return pid;
}

void prepare(const harness::Scratch& dir, int room,
             std::vector<std::unique_ptr<harness::Pty>>& ttys, int count) {
  std::vector<harness::RosterEntry> roster;
  for (int i = 0; i < count; ++i) {
    ttys.push_back(std::make_unique<harness::Pty>());
    roster.push_back({1, ttys.back()->name()});
  }
  harness::write_roster(dir, room, roster);
  dir.write("frm/typegame/data.txt", "short 5 short.lst\n");
  dir.write("frm/typegame/short.lst", "5 hello\n5 hello\n5 hello\n");
}

double seconds(const timeval& tv) { return static_cast<double>(tv.tv_sec) + tv.tv_usec / 1e6; }

}  // namespace

int main() {
  std::printf("typerace: one round, 5 s countdown plus a 5 s limit\n");

  // CPU and countdown lag, three players.
  {
    harness::Scratch dir;
    std::vector<std::unique_ptr<harness::Pty>> ttys;
    prepare(dir, 4, ttys, 3);
    rusage ru{};
    double wall = 0;
    auto seen = follow(ttys, start_round(dir, "4"), &ru, &wall);
    double cpu = seconds(ru.ru_utime) + seconds(ru.ru_stime);
    std::printf(
        "  CPU (program and its touch commands): %.3f s over %.2f s wall = %.3f%%  (target < 1%%)\n",
        cpu, wall, 100.0 * cpu / wall);
    double worst = 0;
    int lines = 0;
    for (const auto& a : seen[0]) {
      if (a.text.size() < 3 || a.text.front() != '<' || a.text == "<5>")
        continue;  // <5> is the start
      double lag = a.at - static_cast<double>(static_cast<long>(a.at));
      worst = std::max(worst, lag);
      ++lines;
    }
    std::printf(
        "  countdown lag after the second turns: worst %.1f ms over %d lines  (target < 20 ms)\n",
        worst * 1000, lines);
  }

  // Fan-out to 100 terminals.
  {
    harness::Scratch dir;
    std::vector<std::unique_ptr<harness::Pty>> ttys;
    prepare(dir, 5, ttys, 100);
    rusage ru{};
    double wall = 0;
    auto seen = follow(ttys, start_round(dir, "5"), &ru, &wall);
    std::vector<double> spans;
    for (std::size_t k = 0; k < seen[0].size(); ++k) {
      double first = 1e18, last = 0;
      bool all = true;
      for (const auto& t : seen) {
        if (t.size() <= k) {
          all = false;
          break;
        }
        first = std::min(first, t[k].at);
        last = std::max(last, t[k].at);
      }
      if (all) spans.push_back(last - first);
    }
    if (getenv("BENCH_VERBOSE"))
      for (double s : spans) std::printf("    span %.2f ms\n", s * 1000);
    std::sort(spans.begin(), spans.end());
    if (spans.empty()) {
      std::printf("  100 terminals: no announcement reached them all\n");
      return 1;
    }
    std::printf(
        "  one announcement to 100 terminals, first to last, as they receive it: median %.2f ms, worst %.2f ms over %zu announcements  (target < 5 ms)\n",
        spans[spans.size() / 2] * 1000, spans.back() * 1000, spans.size());
  }

  // The same fan-out timed at the writer, which a busy reader can't blur: the write
  // loop of the broadcast over 100 terminals, from the first write to the end of the last.
  {
    std::vector<std::unique_ptr<harness::Pty>> ttys;
    for (int i = 0; i < 100; ++i) ttys.push_back(std::make_unique<harness::Pty>());
    std::array<char, kMessageSize> framed;
    frame_announcement("<3>", framed);
    std::vector<double> spans;
    for (int round = 0; round < 50; ++round) {
      auto t0 = std::chrono::steady_clock::now();
      for (auto& t : ttys) to_tty2(t->name().c_str(), framed.data());
      spans.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
      for (auto& t : ttys) t->drain(0, 0);
    }
    std::sort(spans.begin(), spans.end());
    std::printf(
        "  the same, timed at the writer: median %.2f ms, worst %.2f ms over %zu announcements  (target < 5 ms)\n",
        spans[spans.size() / 2] * 1000, spans.back() * 1000, spans.size());
  }
  return 0;
}
