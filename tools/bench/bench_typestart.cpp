// Figures for the round starter, measured on the built typestart against real
// pseudo-terminals: CPU per run and its share of the wall time, how late its countdown
// lines reach 100 terminals after the second turns, and what each announcement costs in
// roster reads and stats while the roster does not change.

#include <sys/inotify.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "harness.h"
#include "targets.h"
#include "terminals.h"

namespace {

constexpr int kRoom = 4;
constexpr char kRoster[] = "user/chat/rm_04.all";

void prepare(const harness::Scratch& dir) {
  dir.write("frm/typegame/data.txt", "short 30 short.lst\n");
  dir.write("frm/typegame/short.lst", "5 hello\n5 hello\n5 hello\n");
}

std::vector<std::string> call(const std::vector<std::string>& prefix) {
  std::vector<std::string> args = prefix;
  for (const char* a : {"bench", "1", "4", "short"}) args.push_back(a);
  return args;
}

struct Run {
  int status = -1;
  double cpu = 0;
  double wall = 0;
  std::size_t announcements = 0;  // as the first terminal received them
  std::size_t roster_opens = 0;   // seen by inotify
};

// Runs one start to its end, reading the terminals as it goes and counting the opens
// of the roster file.
Run follow(const harness::Scratch& dir, bench::Terminals& ttys,
           const std::vector<std::string>& prefix) {
  Run r;
  int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  // Closes between the opens keep the kernel from merging two opens into one event.
  if (watch >= 0) inotify_add_watch(watch, dir.file(kRoster).c_str(), IN_OPEN | IN_CLOSE_NOWRITE);
  const bench::Followed f = bench::follow(ttys, bench::start_in(dir, call(prefix)));
  r.status = f.status;
  r.wall = f.wall;
  r.cpu = bench::seconds(f.usage.ru_utime) + bench::seconds(f.usage.ru_stime);
  r.announcements = f.seen[0].size();
  if (watch >= 0) {
    alignas(inotify_event) char b[4096];
    ssize_t n;
    while ((n = read(watch, b, sizeof b)) > 0)
      for (char* p = b; p < b + n;) {
        auto* ev = reinterpret_cast<inotify_event*>(p);
        if (ev->mask & IN_OPEN) ++r.roster_opens;
        p += sizeof(inotify_event) + ev->len;
      }
    close(watch);
  }
  return r;
}

std::string find_in_path(const char* name) {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  for (std::size_t at = 0; at <= dirs.size();) {
    std::size_t colon = dirs.find(':', at);
    if (colon == std::string::npos) colon = dirs.size();
    std::string cand = dirs.substr(at, colon - at) + "/" + name;
    if (access(cand.c_str(), X_OK) == 0) return cand;
    at = colon + 1;
  }
  return "";
}

// CPU against wall time, over a few runs. False when a run failed.
bool cpu_per_run(const std::string& bin) {
  const int runs = 3;
  double cpu = 0, wall = 0;
  for (int i = 0; i < runs; ++i) {
    harness::Scratch dir;
    prepare(dir);
    bench::Terminals ttys = bench::room_of(dir, kRoom, 3);
    Run r = follow(dir, ttys, {bin});
    if (r.status != 0) {
      std::printf("  run %d ended with status %d\n", i + 1, r.status);
      return false;
    }
    cpu += r.cpu;
    wall += r.wall;
  }
  bench::figure(cpu < 0.01 * wall,
                "  CPU per run: %.4f s over %.2f s wall = %.3f%%  (target < 1%%, no busy wait)",
                cpu / runs, wall / runs, 100.0 * cpu / wall);
  return true;
}

// Countdown lag, 100 terminals.
void countdown_lag(const std::string& bin) {
  harness::Scratch dir;
  prepare(dir);
  bench::Terminals ttys = bench::room_of(dir, kRoom, 100);
  const bench::Followed f = bench::follow(ttys, bench::start_in(dir, call({bin})));
  std::printf("  countdown lines, 100 terminals:\n");
  bench::print_countdown_lag(f.seen);
}

// Roster reads while the roster stays as it is.
void roster_reads(const std::string& bin) {
  harness::Scratch dir;
  prepare(dir);
  bench::Terminals ttys = bench::room_of(dir, kRoom, 3);
  Run r = follow(dir, ttys, {bin});
  // One load before the title and one by the first broadcast, which always reloads.
  const std::size_t startup = 2;
  double later =
      r.announcements > 1 && r.roster_opens >= startup
          ? static_cast<double>(r.roster_opens - startup) / static_cast<double>(r.announcements - 1)
          : -1;
  bench::figure(
      later == 0,
      "  roster reads: %zu over %zu announcements; %.2f per announcement after the first  (target 0)",
      r.roster_opens, r.announcements, later);
}

// Stats of the roster, counted by strace where it is installed. False when the run failed.
bool roster_stats(const std::string& bin) {
  std::string strace = find_in_path("strace");
  if (strace.empty()) {
    std::printf("  roster stats per announcement: strace not installed, not measured\n");
    return true;
  }
  harness::Scratch dir;
  prepare(dir);
  bench::Terminals ttys = bench::room_of(dir, kRoom, 3);
  std::string log = dir.file("strace.log");
  Run r = follow(dir, ttys, {strace, "-f", "-qq", "-e", "trace=%file", "-o", log, bin});
  if (r.status != 0) {
    std::printf("  run under strace ended with status %d\n", r.status);
    return false;
  }
  std::size_t stats = 0, opens = 0;
  std::ifstream in(log);
  for (std::string line; std::getline(in, line);) {
    if (line.find(std::string("\"") + kRoster + "\"") == std::string::npos) continue;
    if (line.find("open") != std::string::npos)
      ++opens;
    else if (line.find("stat") != std::string::npos)
      ++stats;
  }
  bench::figure(
      r.announcements > 0 && stats <= r.announcements + 1,
      "  roster stats: %zu over %zu announcements = %.2f each; opens %zu  (target 1 each, plus 1 for the first broadcast's reload)",
      stats, r.announcements,
      r.announcements ? static_cast<double>(stats) / static_cast<double>(r.announcements) : 0.0,
      opens);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (!bench::parse_options(argc, argv)) return 2;
  std::printf("typestart: one start, 5 s countdown, three players\n");
  const std::string bin = harness::program("typestart");
  if (!cpu_per_run(bin)) return 1;
  countdown_lag(bin);
  roster_reads(bin);
  if (!roster_stats(bin)) return 1;
  return bench::finish("typestart");
}
