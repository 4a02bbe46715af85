#include "ledger.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

void ledger_path(const std::tm& when, std::array<char, 64>& out) {
  std::snprintf(out.data(), out.size(), "user/score/type%d%d.dat", when.tm_year % 100,
                when.tm_mon + 1);
}

std::size_t format_ledger_line(std::span<char> out, const LedgerLine& l) {
  int n = std::snprintf(out.data(), out.size(), LEDGER_FORMAT, l.user, l.group, l.year, l.month,
                        l.day, l.hour, l.minute, l.type, l.pick, l.elapsed, l.rank, l.speed);
  if (n < 0 || static_cast<std::size_t>(n) >= out.size()) {
    if (!out.empty()) out[0] = '\0';
    return 0;
  }
  return static_cast<std::size_t>(n);
}

namespace {

struct Fd {
  int fd;
  ~Fd() {
    if (fd >= 0) close(fd);
  }
};

// Rounds of other rooms append to the same ledger. Holding the file while a line goes in
// is what makes taking back a cut line safe: no other round's line can have followed it.
// Only rounds take this lock and only for a moment, so waiting long means something else
// holds it; then the line goes in unguarded rather than holding up the ranking.
void lock_briefly(int fd) {
  for (int i = 0; i < 100; ++i) {
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) return;
    timespec pause{0, 10'000'000};
    nanosleep(&pause, nullptr);
  }
}

}  // namespace

bool append_whole_line(const char* path, std::string_view line) {
  // Non-blocking, so a FIFO put in the ledger's place cannot hold the round up; only a
  // plain file is written.
  Fd f{open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666)};
  if (f.fd < 0) return false;
  struct stat st;
  if (fstat(f.fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  lock_briefly(f.fd);

  // A fragment that something else left at the end would swallow the head of this line.
  char last = '\n';
  if (fstat(f.fd, &st) == 0 && st.st_size > 0) {
    int rd = open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (rd >= 0) {
      if (pread(rd, &last, 1, st.st_size - 1) != 1) last = '\n';
      close(rd);
    }
  }
  std::array<char, kLedgerLineSize + 1> buf;
  std::string_view out = line;
  if (last != '\n' && line.size() < buf.size()) {
    buf[0] = '\n';
    line.copy(buf.data() + 1, line.size());
    out = {buf.data(), line.size() + 1};
  }

  ssize_t n = write(f.fd, out.data(), out.size());
  if (n == static_cast<ssize_t>(out.size())) return true;
  if (n > 0) {
    // Where our bytes ended; with nothing after them, they can be taken back.
    off_t end = lseek(f.fd, 0, SEEK_CUR);
    if (end >= n && fstat(f.fd, &st) == 0 && st.st_size == end) {
      int rc = ftruncate(f.fd, end - n);
      (void)rc;  // nothing more can be done; the next line starts on a line of its own
    }
  }
  return false;
}
