#include "round_clock.h"

#include <cerrno>
#include <ctime>

namespace {

constexpr long long kSecond = 1'000'000'000;

long long clock_ns(clockid_t id) {
  timespec ts;
  clock_gettime(id, &ts);
  return static_cast<long long>(ts.tv_sec) * kSecond + ts.tv_nsec;
}

void pause_ns(long long ns) {
  timespec d{static_cast<std::time_t>(ns / kSecond), static_cast<long>(ns % kSecond)};
  while (nanosleep(&d, &d) == -1 && errno == EINTR) {
  }
}

// Whole seconds, rounded down also before the epoch.
std::time_t floor_seconds(long long ns) {
  return static_cast<std::time_t>(ns >= 0 ? ns / kSecond : -((-ns + kSecond - 1) / kSecond));
}

}  // namespace

RoundClock::RoundClock()
    : wall0_ns_(clock_ns(CLOCK_REALTIME)), mono0_ns_(clock_ns(CLOCK_MONOTONIC)) {}

void RoundClock::watch_for_steps(long long wall_ns, long long mono_ns) {
  // The wall clock runs with the monotonic one but for a step; slewing is far below this.
  const long long drift = (wall_ns - wall0_ns_) - (mono_ns - mono0_ns_) - shift_ns_;
  if (drift > kSecond || drift < -kSecond) {
    shift_ns_ += drift;
    shift_s_ =
        static_cast<std::time_t>((shift_ns_ + (shift_ns_ >= 0 ? 1 : -1) * kSecond / 2) / kSecond);
  }
}

std::time_t RoundClock::now() {
  for (int tries = 0;; ++tries) {
    const long long wall = clock_ns(CLOCK_REALTIME);
    watch_for_steps(wall, clock_ns(CLOCK_MONOTONIC));
    const std::time_t t = std::time(nullptr) - shift_s_;
    // time() reads a coarser clock that trails the precise one by a tick; just after a
    // step it may still show the time from before it.
    const std::time_t precise = floor_seconds(wall) - shift_s_;
    if (t - precise <= 1 && precise - t <= 1) return t;
    if (tries == 100) return precise;
    pause_ns(kSecond / 1000);
  }
}

void RoundClock::sleep_past(std::time_t seen) {
  const long long give_up = clock_ns(CLOCK_MONOTONIC) + kSecond + kSecond / 10;
  while (now() == seen) {
    const long long mono = clock_ns(CLOCK_MONOTONIC);
    if (mono >= give_up) return;
    const long long wall = clock_ns(CLOCK_REALTIME) - shift_s_ * kSecond;
    // Past the turn on the precise clock, time() is only a tick behind: wait a tick.
    long long wait =
        floor_seconds(wall) > seen ? kSecond / 1000 : (floor_seconds(wall) + 1) * kSecond - wall;
    if (wait > give_up - mono) wait = give_up - mono;
    pause_ns(wait);
  }
}
