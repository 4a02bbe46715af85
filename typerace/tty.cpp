#include "tty.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "cfile.h"
#include "data_file.h"
#include "roster.h"

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

bool tty_node_ok(const struct stat& st) {
  if (!S_ISCHR(st.st_mode)) return false;
  // /dev/tty is 5,0 and /dev/ptmx (and /dev/pts/ptmx) is 5,2 on every Linux system.
  return st.st_rdev != makedev(5, 0) && st.st_rdev != makedev(5, 2);
}

bool tty_device_ok(int fd) {
  struct stat st;
  return fstat(fd, &st) == 0 && tty_node_ok(st) && isatty(fd);
}

int to_tty2(const char* name, const char* text) {
  if (!tty_name_ok(name)) return 1;
  char path[32];
  std::snprintf(path, sizeof path, "/dev/%s", name);
  struct stat st;
  if (stat(path, &st) != 0 || !tty_node_ok(st)) return 1;
  Fd dev{open(path, O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)};
  if (dev.fd < 0) return 1;
  if (!tty_device_ok(dev.fd)) return 1;
  // A terminal nobody reads fills up, and a write to a nearly full one would go out cut,
  // leaving the user's cursor wherever the frame's head moved it. A terminal that polls
  // writable has room for more than an announcement, so the text goes whole or not at all.
  pollfd out{dev.fd, POLLOUT, 0};
  if (poll(&out, 1, 0) != 1 || !(out.revents & POLLOUT)) return 1;
  const std::string_view all = text;
  const ssize_t written = write(dev.fd, all.data(), all.size());
  // A write that took nothing is not tried again: the terminal got none of the text. One
  // cut short, on a terminal with room for all of it, was cut by something passing, and a
  // frame without its end would leave the user's cursor wherever its head moved it: the
  // rest follows at once, as long as the terminal takes it.
  if (written > 0 && static_cast<std::size_t>(written) < all.size())
    write_all(dev.fd, all.substr(static_cast<std::size_t>(written)));
  return 1;
}

std::size_t fit_text(std::string_view text, std::size_t max) {
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t step = static_cast<unsigned char>(text[i]) >= 0x80 ? 2 : 1;
    if (i + step > max) break;
    i += step;
  }
  return i < text.size() ? i : text.size();
}

void mask_controls(char* text) {
  for (; *text != '\0'; ++text) {
    const auto c = static_cast<unsigned char>(*text);
    if (c < 0x20 || c == 0x7F) *text = '?';
  }
}

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
