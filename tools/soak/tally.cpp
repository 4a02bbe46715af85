#include "tally.h"

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <utility>

#include "soak.h"

namespace soak {

Tally tally;

namespace {

constexpr std::array<const char*, kFaults> kFaultNames{"SIGTERM to a round",
                                                       "SIGHUP to a round",
                                                       "SIGINT to a round",
                                                       "SIGKILL to a round",
                                                       "full ledger (file size)",
                                                       "wall clock stepped +-1 h",
                                                       "terminal stops reading",
                                                       "roster rewritten mid-round",
                                                       "two rounds at once",
                                                       "hostile results lines",
                                                       "HUP, INT, QUIT ignored, then sent",
                                                       "file-size limit below the word",
                                                       "FIFO in place of the roster",
                                                       "FIFO in place of the word list",
                                                       "umask 0277",
                                                       "system calls fail (libfiu)"};

constexpr std::array<const char*, kChecks> kCheckNames{
    "room free again (stale bound after SIGKILL)",
    "two started at once: exactly one runs",
    "round ends by itself or by the signal sent",
    "no answer or results file left over",
    "ledger lines whole and well-formed",
    "one ledger line per finisher, none else",
    "terminals get whole frames only",
    "countdown 5..0, strictly falling",
    "countdown and wait keep their length",
    "round over within its length + 10 s",
    "nothing announced after <0> with no word",
    "answer file: owner may read and write",
    "no process of the soak left at the end"};

double percentile(std::vector<double> v, double q) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<std::size_t>(q * static_cast<double>(v.size())))];
}

long print_rounds() {
  std::printf("%-44s %9s %9s %9s %9s\n", "rounds", "started", "completed", "killed", "other");
  long total = 0;
  for (auto [name, r] :
       {std::pair{"typerace", tally.typerace}, std::pair{"typestart", tally.typestart}}) {
    std::printf("  %-42s %9ld %9ld %9ld %9ld\n", name, r.started, r.completed, r.killed, r.other);
    total += r.started;
  }
  std::printf("  %-42s %9ld\n", "of them taking over a stale room", tally.takeovers);
  return total;
}

long print_faults() {
  std::printf("%-44s %9s\n", "faults injected", "count");
  long total = 0;
  for (int f = 0; f < kFaults; ++f) {
    if (f == kFailing && !env.failing)
      std::printf("  %-42s %9s\n", kFaultNames[f], "skipped");
    else
      std::printf("  %-42s %9ld\n", kFaultNames[f], tally.faults[f]);
    total += tally.faults[f];
  }
  return total;
}

long print_invariants() {
  std::printf("%-44s %9s %9s\n", "invariants", "checked", "breached");
  long total = 0;
  for (int c = 0; c < kChecks; ++c) {
    std::printf("  %-42s %9ld %9ld\n", kCheckNames[c], tally.checked[c], tally.breached[c]);
    total += tally.breached[c];
  }
  return total;
}

void print_figures(double seconds, const char* failing_shown) {
  rusage ru{};
  getrusage(RUSAGE_CHILDREN, &ru);
  double cpu = static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
               static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
  std::printf("figures (reported, not judged)\n");
  std::printf("  %-42s %.1f s (%.1f%% of one core)\n", "CPU used by the programs", cpu,
              100 * cpu / seconds);
  std::printf("  %-42s median %.1f ms, worst %.1f ms over %zu lines\n",
              "countdown lag after the second turns", 1000 * percentile(tally.lags, 0.5),
              1000 * percentile(tally.lags, 1.0), tally.lags.size());
  std::printf("  %-42s median %.1f ms, worst %.1f ms over %zu announcements\n",
              "fan-out, first to last terminal", 1000 * percentile(tally.spans, 0.5),
              1000 * percentile(tally.spans, 1.0), tally.spans.size());
  if (!env.failing) return;
  std::printf("  %-42s %s\n", "calls failing at random", failing_shown);
  std::printf("  %-42s %ld status 0, %ld status 1, %ld status 2\n",
              "rounds with calls failing, by exit status", tally.failing_status[0],
              tally.failing_status[1], tally.failing_status[2]);
}

}  // namespace

void count_fault(Fault f) {
  std::lock_guard lock(tally.mu);
  ++tally.faults[f];
}

void check(Check c, bool ok, const std::string& what) {
  std::lock_guard lock(tally.mu);
  ++tally.checked[c];
  if (ok) return;
  ++tally.breached[c];
  if (tally.breaches_shown++ < 60) std::printf("breach: %s: %s\n", kCheckNames[c], what.c_str());
  std::fflush(stdout);
}

long print_table(double seconds, int rooms, const char* failing_shown) {
  std::lock_guard lock(tally.mu);
  std::printf("\nsoak over %.0f s, %d rooms x %d groups\n", seconds, rooms, kGroups);
  const long rounds = print_rounds();
  const long faults = print_faults();
  const long breaches = print_invariants();
  print_figures(seconds, failing_shown);
  std::printf("soak: %ld rounds, %ld faults, %ld violations\n", rounds, faults, breaches);
  return breaches;
}

}  // namespace soak
