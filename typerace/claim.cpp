#include "claim.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>

#include "brief_lock.h"
#include "data_file.h"
#include "endings.h"
#include "game_files.h"
#include "handles.h"
#include "retry.h"
#include "round_clock.h"
#include "round_names.h"

namespace {

// Static, for the signal handler.
RoundPath answer_file_path{};
RoundPath results_file_path{};
volatile sig_atomic_t round_claimed = 0;
// The answer file this round created: a file that someone else has put under its name
// since is never this round's to remove.
struct stat claimed {};

const struct stat* claimed_file() { return claimed.st_ino != 0 ? &claimed : nullptr; }

void end_round_on_signal(int sig) {
  if (round_claimed) {
    remove_file(answer_file_path.data(), claimed_file());
    remove_file(results_file_path.data());
  }
  end_by_signal(sig);
}

}  // namespace

bool name_round_files(int room, int group) {
  const bool answer = answer_path(room, group, answer_file_path);
  return results_path(room, group, results_file_path) && answer;
}

const char* answer_file() { return answer_file_path.data(); }
const char* results_file() { return results_file_path.data(); }

void catch_round_endings() { catch_endings(end_round_on_signal); }

int claim_room() {
  int fd;
  {
    const EndingsHeld held;
    fd = open_data_file(answer_file_path.data(), O_WRONLY | O_CREAT | O_EXCL);
    if (fd >= 0) {
      if (fstat(fd, &claimed) != 0) claimed = {};
      round_claimed = 1;
    }
  }
  if (fd < 0) return fd;
  // Another round that found the file may be looking at it this very moment; it lets go
  // at once, seeing the file is new.
  lock_briefly(fd);
  return fd;
}

long long longest_round() {
  long long limit = -1;
  if (File index = open_data_stream(INDEX_PATH)) {
    IndexLookup rec;
    while (read_index_record(index.get(), rec) >= 2)
      if (rec.limit > limit) limit = rec.limit;
  }
  return kCountdown + (limit < 0 ? kFallbackLimit : limit) + kRoundSlack;
}

bool claim_is_stale(const struct stat& st, std::time_t now, long long bound) {
  const long long age = static_cast<long long>(now) - st.st_mtime;
  timespec up{};
  clock_gettime(CLOCK_BOOTTIME, &up);
  const bool before_boot = st.st_mtime + kBootSlack < now - up.tv_sec;
  return age > bound || -age > bound || before_boot;
}

// It is left alone while any process holds its lock (a round of ours), and while it is
// younger than the longest round, which also spares a round that typestart began and the
// server is running.
bool remove_stale_claim() {
  Fd old{open_data_file(answer_file_path.data(), O_RDONLY | O_NOFOLLOW)};
  if (!old) return false;
  struct stat held, named;
  if (fstat(old.fd, &held) != 0) return false;
  if (flock(old.fd, LOCK_EX | LOCK_NB) != 0) return false;  // a round holds it
  // With the lock held, nobody else is removing it; but it may have been replaced already.
  if (lstat(answer_file_path.data(), &named) != 0 || named.st_ino != held.st_ino ||
      named.st_dev != held.st_dev)
    return false;
  if (!claim_is_stale(held, std::time(nullptr), longest_round())) return false;
  return remove_file(answer_file_path.data(), &held);
}

int take_room() {
  for (int tries = 1;; ++tries) {
    const int fd = claim_room();
    if (fd >= 0 || errno != EEXIST || tries == kTries) return fd;
    struct stat st;
    if (!remove_stale_claim() && lstat(answer_file_path.data(), &st) == 0) break;
  }
  errno = EEXIST;  // looking at the file it found must not change why it stops
  return -1;
}

// An ending signal waits while the files go, so that it neither cuts their removal short
// nor finds the room given up with the files still there.
bool release_room() {
  const int err = errno;
  bool removed;
  {
    const EndingsHeld held;
    removed = remove_file(answer_file_path.data(), claimed_file());
    round_claimed = 0;
  }
  errno = err;
  return removed;
}

bool end_round_files() {
  // Removed while still locked, so no later round can find the file alive and unlocked.
  const EndingsHeld held;
  const bool answer = remove_file(answer_file_path.data(), claimed_file());
  const bool results = remove_file(results_file_path.data());
  round_claimed = 0;
  return answer && results;
}
