// What the soak run counts: the faults that met a round, each invariant as it is looked
// at and breached, the rounds, and figures that are reported, not judged.
#pragma once

#include <signal.h>

#include <array>
#include <mutex>
#include <string>
#include <vector>

namespace soak {

enum Fault {
  kTerm,
  kHup,
  kInt,
  kKill,
  kFullLedger,
  kClockStep,
  kStall,
  kRoster,
  kTwice,
  kHostile,
  kIgnored,
  kTinyLimit,
  kFifoRoster,
  kFifoList,
  kUmask,
  kFailing,
  kFaults
};
inline constexpr std::array<int, 4> kFaultSignals{SIGTERM, SIGHUP, SIGINT, SIGKILL};

enum Check {
  kFree,
  kOne,
  kEnding,
  kFiles,
  kLedgerLines,
  kLedgerCount,
  kFrames,
  kCountdownOk,
  kLength,
  kInTime,
  kUnwritten,
  kOwnerRw,
  kProcs,
  kChecks
};

struct Tally {
  std::mutex mu;
  std::array<long, kFaults> faults{};
  std::array<long, kChecks> checked{}, breached{};
  struct Rounds {
    long started = 0, completed = 0, killed = 0, other = 0;
  };
  Rounds typerace, typestart;
  long takeovers = 0;
  std::array<long, 3> failing_status{};  // rounds with failing calls that ended 0, 1, 2
  std::vector<double> lags, spans;
  int breaches_shown = 0;
};
extern Tally tally;

void count_fault(Fault f);

// One invariant looked at once; a breach is also shown as it happens (the first few).
void check(Check c, bool ok, const std::string& what = {});

// The table at the end; returns the number of breaches.
long print_table(double seconds, int rooms, const char* failing_shown);

}  // namespace soak
