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

// The coarse clock behind time() turns a tick after the precise one: 4 ms at 250 Hz, 10 ms
// at 100 Hz. settle() waits that long at most, a millisecond at a time.
constexpr int kSettleTicksMax = 20;

// Whole seconds, rounded down also before the epoch.
std::time_t floor_seconds(long long ns) {
  return static_cast<std::time_t>(ns >= 0 ? ns / kSecond : -((-ns + kSecond - 1) / kSecond));
}

}  // namespace

long long monotonic_ns() { return clock_ns(CLOCK_MONOTONIC); }

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
  const long long wall = clock_ns(CLOCK_REALTIME);
  watch_for_steps(wall, clock_ns(CLOCK_MONOTONIC));
  return floor_seconds(wall) - shift_s_;
}

void RoundClock::sleep_past(std::time_t seen) {
  sleep_to_turn(seen, nullptr);
  settle();
}

void RoundClock::sleep_past(std::time_t seen, const std::function<void()>& before_turn) {
  sleep_to_turn(seen, &before_turn);
}

void RoundClock::sleep_to_turn(std::time_t seen, const std::function<void()>* before_turn) {
  const long long give_up = clock_ns(CLOCK_MONOTONIC) + kSecond + kSecond / 10;
  bool prepared = !before_turn || !*before_turn;
  while (now() == seen) {
    const long long mono = clock_ns(CLOCK_MONOTONIC);
    if (mono >= give_up) return;
    const long long wall = clock_ns(CLOCK_REALTIME) - shift_s_ * kSecond;
    long long wait = (floor_seconds(wall) + 1) * kSecond - wall;
    if (!prepared && wait <= kAnnounceLeadNs) {
      prepared = true;
      (*before_turn)();
      continue;
    }
    if (!prepared) wait -= kAnnounceLeadNs;
    if (wait > give_up - mono) wait = give_up - mono;
    pause_ns(wait);
  }
}

void RoundClock::settle() {
  for (int ticks = 0; ticks < kSettleTicksMax; ++ticks) {
    const std::time_t precise = now();
    const std::time_t coarse = std::time(nullptr) - shift_s_;
    // A tick behind is the coarse clock not yet turned; anything else is no tick to wait.
    if (coarse + 1 != precise) return;
    pause_ns(kSecond / 1000);
  }
}
