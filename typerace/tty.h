// Writing straight to a user's terminal, and the pacing of announcements.
#pragma once

#include <sys/stat.h>

#include <array>
#include <cstddef>
#include <cstdio>
#include <ctime>
#include <string_view>

// Writes text to /dev/<name> in one write. Opened non-blocking, so a terminal nobody
// reads never holds up the round, and written only when it is a terminal, so a roster
// entry can never reach a plain file or some other device. A terminal too full to take
// an announcement whole gets none of it; one whose write comes back short gets the rest
// at once (write_all). Failures are ignored. Always 1.
int to_tty2(const char* name, const char* text);

// A device an announcement may be opened on, judged before it is opened: a character
// device, but never the pseudo-terminal multiplexer (opening it makes a new terminal)
// nor the alias of whatever terminal the opener has.
bool tty_node_ok(const struct stat& st);

// An open descriptor that is a terminal device: the only kind an announcement may reach.
bool tty_device_ok(int fd);

// The length of the longest head of text, at most max bytes, that does not end inside
// a two-byte EUC-KR character.
std::size_t fit_text(std::string_view text, std::size_t max);

// Replaces every control byte (below 0x20, and 0x7F) of the NUL-terminated text by '?',
// so that text from outside can neither move a terminal's cursor nor start a line of its
// own in a file. Bytes from 0x80 up, EUC-KR, stay.
void mask_controls(char* text);

// The wall clock of a round: whole seconds as time() gives them, so lines go out as the
// wall clock's second turns, but with every step of the wall clock (set back or forward
// by more than a second, seen against the monotonic clock) taken out again. A clock set
// during a round therefore neither lengthens nor shortens its countdown or its wait.
class RoundClock {
 public:
  RoundClock();
  // time(), less the steps seen so far.
  std::time_t now();
  // Sleeps until now() has moved past `seen`, and never much longer than a second, so a
  // clock set back is noticed instead of slept through.
  void sleep_past(std::time_t seen);
  // Whole seconds the wall clock has been set forward since the start (back: negative).
  std::time_t shift() const { return shift_s_; }

 private:
  void watch_for_steps(long long wall_ns, long long mono_ns);
  long long wall0_ns_, mono0_ns_;
  long long shift_ns_ = 0;
  std::time_t shift_s_ = 0;
};

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
