// The round's clock and its countdown: one line a second, falling, never below zero,
// whatever the clock or the machine does meanwhile.

#include "round_clock.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

namespace {

// A clock that moves only when the countdown pauses, or when a test makes it.
struct FakeClock {
  std::time_t t = 100;
  int polls = 0;
  int pauses = 0;
  std::vector<std::string> lines;
};

std::vector<std::string> run_countdown(FakeClock& c,
                                       void (*after_say)(FakeClock&, const std::string&),
                                       void (*after_poll)(FakeClock&) = nullptr) {
  count_down(
      [&] {
        ++c.polls;
        std::time_t now = c.t;
        if (after_poll) after_poll(c);
        return now;
      },
      [&](std::time_t seen) {
        ++c.pauses;
        EXPECT_LE(seen, c.t);
        if (c.t == seen) c.t = seen + 1;  // sleeping only until the second turns
      },
      [&](const char* line) {
        c.lines.push_back(line);
        after_say(c, line);
      });
  return c.lines;
}

using Lines = std::vector<std::string>;

}  // namespace

TEST(CountDown, OneLinePerSecondAndOnePausePerSecond) {
  FakeClock c;
  EXPECT_EQ(run_countdown(c, [](FakeClock&, const std::string&) {}),
            (Lines{"<5>", "<4>", "<3>", "<2>", "<1>", "<0>"}));
  EXPECT_EQ(c.pauses, 5);
  EXPECT_EQ(c.polls, 1 + 6 + 5);  // the start, a look after each line, one after each pause
}

TEST(CountDown, SecondTurnedBeforeTheFirstLook) {
  FakeClock c;
  run_countdown(
      c, [](FakeClock&, const std::string&) {},
      [](FakeClock& k) {
        if (k.polls == 1) k.t = 101;
      });
  EXPECT_EQ(c.lines, (Lines{"<4>", "<3>", "<2>", "<1>", "<0>"}));
}

TEST(CountDown, SlowLinesSkipAheadAndAStallEndsItAtZero) {
  FakeClock c;
  run_countdown(c, [](FakeClock& k, const std::string& line) {
    if (line == "<4>") k.t += 2;   // a broadcast that took two seconds
    if (line == "<2>") k.t += 30;  // the process stopped for half a minute
  });
  EXPECT_EQ(c.lines, (Lines{"<5>", "<4>", "<2>", "<0>"}));
}

TEST(Pacing, WakesAfterTheSecondTurns) {
  RoundClock clock;
  for (int i = 0; i < 2; ++i) {
    std::time_t before = clock.now();
    clock.sleep_past(before);
    EXPECT_GT(std::time(nullptr), before);
  }
}
