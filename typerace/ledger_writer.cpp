#include "ledger_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdio>

#include "brief_lock.h"
#include "data_file.h"
#include "handles.h"
#include "ledger_format.h"
#include "retry.h"
#include "round_names.h"

bool append_whole_line(const char* path, std::string_view line) {
  // Never through a symbolic link: a link in the ledger's place would have every round
  // append to whatever it names.
  Fd f{open_data_file(path, O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW)};
  if (!f) return false;
  struct stat st;
  // Rounds of other rooms append to the same ledger. Holding the file while a line goes
  // in is what makes taking back a cut line safe: no other round's line can follow it.
  // Should something else hold it long, the line goes in unguarded rather than holding
  // up the ranking.
  lock_briefly(f.fd);

  // A fragment that something else left at the end would swallow the head of this line.
  char last = '\n';
  if (fstat(f.fd, &st) == 0 && st.st_size > 0 && pread(f.fd, &last, 1, st.st_size - 1) != 1)
    last = '\n';
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
      // Should even that fail for good, the next line starts on a line of its own.
      try_again([&] { return ftruncate(f.fd, end - n); });
    }
  }
  return false;
}

void jumsu_save(const char* user, int group, const std::tm& when, const char* type, int pick,
                int elapsed, int rank, int speed) {
  std::array<char, 64> path;
  ledger_path(when, path);
  std::array<char, kLedgerLineSize> line;
  std::size_t n =
      format_ledger_line(line, {user, group, when.tm_year % 100, when.tm_mon + 1, when.tm_mday,
                                when.tm_hour, when.tm_min, type, pick, elapsed, rank, speed});
  if (n > 0) append_whole_line(path.data(), {line.data(), n});
}
