#include "tty.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "roster.h"

namespace {

// Closes a descriptor when it goes out of scope.
struct Fd {
  int fd;
  ~Fd() {
    if (fd >= 0) close(fd);
  }
};

}  // namespace

bool tty_device_ok(int fd) {
  struct stat st;
  return fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && isatty(fd);
}

int to_tty2(const char* name, const char* text) {
  if (!tty_name_ok(name)) return 1;
  char path[32];
  std::snprintf(path, sizeof path, "/dev/%s", name);
  Fd dev{open(path, O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)};
  if (dev.fd < 0) return 1;
  if (!tty_device_ok(dev.fd)) return 1;
  ssize_t written = write(dev.fd, text, std::strlen(text));
  (void)written;  // a short or failed write is not retried
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

void sleep_past_second(std::time_t seen) {
  // Sleep to the precise clock's next whole second after the one time() showed ...
  timespec target{seen + 1, 0};
  while (clock_nanosleep(CLOCK_REALTIME, TIMER_ABSTIME, &target, nullptr) == EINTR) {
  }
  // ... then let time(), which reads a coarser clock, catch up; it trails by a tick.
  while (std::time(nullptr) == seen) {
    timespec tick{0, 1000000};
    nanosleep(&tick, nullptr);
  }
}
