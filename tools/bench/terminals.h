// What the benchmarks share: a room of pseudo-terminals in the roster, a built program
// started in the scratch directory, and the announcements each terminal receives, with
// the wall clock's time of their arrival.
#pragma once

#include <sys/resource.h>
#include <sys/time.h>
#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

#include "harness.h"

namespace bench {

using Terminals = std::vector<std::unique_ptr<harness::Pty>>;

// Seconds on the wall clock (CLOCK_REALTIME), and on the monotonic one.
double wall_now();
double mono_now();
double seconds(const timeval& tv);

// `count` new terminals, all of group 1, written as the room's roster.
Terminals room_of(const harness::Scratch& dir, int room, int count);

// Starts `argv` (argv[0] a path, or a name looked up in PATH) in the scratch directory;
// with `quiet`, its standard output goes to /dev/null.
pid_t start_in(const harness::Scratch& dir, const std::vector<std::string>& argv,
               bool quiet = false);

struct Arrival {
  std::string text;  // the announcement, without its frame
  double at;         // wall clock when its last byte was read
};

// What the terminals received while a program ran, and what the program cost.
struct Followed {
  std::vector<std::vector<Arrival>> seen;  // per terminal, in the order of arrival
  rusage usage{};
  double wall = 0;
  int status = -1;  // its exit status, -1 when a signal ended it
};

// Reads every terminal until the program ends and what it wrote has all arrived, noting
// when each announcement arrives.
Followed follow(Terminals& ttys, pid_t pid);

// A round of `program` (typerace, typestart) for room `room` and group 1, followed on the
// terminals of the room until it ends.
Followed follow_round(const harness::Scratch& dir, Terminals& ttys,
                      const std::vector<std::string>& argv);

// Prints how late each countdown line after the first reached the first and the last
// terminal, after the wall clock's second turned, and the worst against its target
// (marked when missed, and a round with no such line misses it); returns the worst lag
// at the first terminal, in seconds. A line due when the round starts (<5>) is no line
// due on a second, and is left out.
double print_countdown_lag(const std::vector<std::vector<Arrival>>& seen);

}  // namespace bench
