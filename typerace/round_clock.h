// The clock of a round: the seconds its announcements go out on, and the countdown.
#pragma once

#include <array>
#include <cstdio>
#include <ctime>
#include <functional>

// The wall clock of a round: its whole seconds (CLOCK_REALTIME, read precisely: time()
// follows a coarser clock that turns a tick late), so lines go out as the wall clock's
// second turns, but with every step of the wall clock (set back or forward by more than a
// second, seen against the monotonic clock) taken out again. A clock set during a round
// therefore neither lengthens nor shortens its countdown or its wait.
class RoundClock {
 public:
  RoundClock();
  // The wall clock's whole seconds, less the steps seen so far.
  std::time_t now();
  // Sleeps until now() has moved past `seen`, and time() with it (see settle), and never
  // much longer than a second, so a clock set back is noticed instead of slept through.
  void sleep_past(std::time_t seen);
  // Sleeps until now() has moved past `seen`, as the second turns, and once,
  // kAnnounceLeadNs before it turns, runs `before_turn`: what an announcement needs that
  // takes time (the roster's touch and read) is done by then, so the line itself goes
  // out as the second turns.
  void sleep_past(std::time_t seen, const std::function<void()>& before_turn);
  // Waits, a tick at most, until time() too shows the second now() does: others (the
  // server's chat engine) stamp what they write with time(), and nothing they stamp once
  // this returns can look older than now().
  void settle();
  // Whole seconds the wall clock has been set forward since the start (back: negative).
  std::time_t shift() const { return shift_s_; }

 private:
  void watch_for_steps(long long wall_ns, long long mono_ns);
  void sleep_to_turn(std::time_t seen, const std::function<void()>* before_turn);
  long long wall0_ns_, mono0_ns_;
  long long shift_ns_ = 0;
  std::time_t shift_s_ = 0;
};

// The monotonic clock, in nanoseconds: how old a preparation is.
long long monotonic_ns();

// How long before the second an announcement's preparation starts: room for the shell's
// touch (about 2 ms on an idle machine) and the roster's read on a loaded one.
inline constexpr long long kAnnounceLeadNs = 25'000'000;

inline constexpr int kCountdown = 5;

// Counts down from five: a line "<n>" each time the whole seconds since the start bring
// the remaining value down, until <0> has gone out. Values only ever fall and never go
// below 0: lines that came too late are skipped, and after a stall the value due is the
// next one. Between lines it pauses until the clock leaves the second it last showed,
// never polling it in a loop.
//   now() -> std::time_t, pause(std::time_t seen), say(const char* line)
template <typename Now, typename Pause, typename Say>
void count_down(Now now, Pause pause, Say say) {
  const std::time_t start = now();
  long long last = kCountdown + 1;
  for (;;) {
    const std::time_t t = now();
    long long remaining = kCountdown - static_cast<long long>(t - start);
    if (remaining < 0) remaining = 0;
    if (remaining > kCountdown) remaining = kCountdown;
    if (remaining >= last) {
      pause(t);
      continue;
    }
    std::array<char, 8> line;
    std::snprintf(line.data(), line.size(), "<%d>", static_cast<int>(remaining));
    last = remaining;
    say(line.data());
    if (remaining == 0) return;
  }
}
