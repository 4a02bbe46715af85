#include "round.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

#include "data_file.h"
#include "handles.h"
#include "retry.h"
#include "roster.h"
#include "round_clock.h"
#include "text_cut.h"
#include "tty.h"

namespace {

constexpr char kFrameHead[] = "\x1b[s\x1b[21;1H\n\t";
constexpr char kFrameTail[] = "\x1b[u";
// A preparation serves the next announcement if that comes within this time: well past
// the lead and a late wake-up, well short of a second, so a line never goes out to a
// roster older than the one it is due with.
constexpr long long kPreparedForNs = 200'000'000;

// The roster as prepare_announcement read it, for the one announcement that follows.
struct Prepared {
  bool ready = false;
  int group = 0, room = 0;
  long long at_ns = 0;
  std::array<TtySlot, kRecipientsMax> table{};
  std::size_t count = 0;
} prepared;

constexpr char FMT_RANK[] = "%d \xB5\xEE   %d \xC3\xCA   %s   %d \xC5\xB8/\xBA\xD0";

}  // namespace

void touch_file(const char* path) {
  std::array<char, 300> cmd{};
  std::snprintf(cmd.data(), cmd.size(), "touch %s", path);
  // As system() would run it, but system() would ignore SIGINT and SIGQUIT while the
  // shell runs, and a round must end on them whenever they come.
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none, dfl;
  sigemptyset(&none);
  sigemptyset(&dfl);
  sigaddset(&dfl, SIGPIPE);  // the round ignores these two; the shell must not
  sigaddset(&dfl, SIGXFSZ);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &dfl);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  char sh[] = "sh", dash_c[] = "-c";
  char* argv[] = {sh, dash_c, cmd.data(), nullptr};
  pid_t pid;
  if (posix_spawn(&pid, "/bin/sh", nullptr, &attr, argv, environ) == 0) {
    int status;
    try_again([&] { return waitpid(pid, &status, 0); });
  }
  posix_spawnattr_destroy(&attr);
}

void frame_announcement(const char* text, std::array<char, kMessageSize>& out) {
  constexpr std::size_t room = kMessageSize - 1 - (sizeof kFrameHead - 1) - (sizeof kFrameTail - 1);
  std::size_t len = fit_text(text, room);
  std::snprintf(out.data(), out.size(), "%s%.*s%s", kFrameHead, static_cast<int>(len), text,
                kFrameTail);
}

std::size_t load_recipients(std::FILE* roster, int group,
                            std::array<TtySlot, kRecipientsMax>& table) {
  std::size_t count = 0;
  RoomRosterRecord rec;
  while (count < table.size() && read_roster_record(roster, rec)) {
    if (rec.group == group) fill_slot(table[count++], roster_tty(rec));
  }
  return count;
}

void prepare_announcement(int group, int room) {
  set_roomfile(room);
  touch_file(ROOM_ALL.data());
  // Read afresh for every line, so who joined or left is reached from the next line on.
  prepared.table = {};
  prepared.count = 0;
  if (File f = open_data_stream(ROOM_ALL.data()))
    prepared.count = load_recipients(f.get(), group, prepared.table);
  prepared.group = group;
  prepared.room = room;
  prepared.at_ns = monotonic_ns();
  prepared.ready = true;
}

void chat_say(int group, int room, const char* text) {
  if (!prepared.ready || prepared.group != group || prepared.room != room ||
      monotonic_ns() - prepared.at_ns > kPreparedForNs)
    prepare_announcement(group, room);
  prepared.ready = false;  // each reading serves one line

  std::array<char, kMessageSize> framed;
  frame_announcement(text, framed);
  for (std::size_t i = 0; i < prepared.count; ++i)
    if (prepared.table[i][0] != '\0') to_tty2(prepared.table[i].data(), framed.data());
}

bool parse_result_line(const char* line, ResultLine& out) {
  long long finish = 0;
  int end = 0;
  std::array<char, kUserIdMax + 1> user{};
  if (std::sscanf(line, "%15lld%n", &finish, &end) != 1) return false;
  // A finish time of more digits than its field is no finish time; its tail is no user.
  if (line[end] >= '0' && line[end] <= '9') return false;
  if (std::sscanf(line + end, " %8s", user.data()) != 1) return false;
  mask_controls(user.data());
  out.finish = finish;
  out.user = user;
  return true;
}

namespace {

// A results line is read into this many bytes, its NUL included; what is longer is cut
// there, and its rest belongs to no line of its own.
constexpr std::size_t kResultLineSize = 2048;
using ResultLineBuffer = std::array<char, kResultLineSize>;

// Reads one line through its line feed, or through the last of the `left` bytes allowed,
// and keeps the head that fits. Only the line feed ends it: a zero byte inside is one
// more byte, so it can never make the next line look like the rest of this one. False at
// the end of the file or of the bytes allowed.
bool read_line(std::FILE* f, ResultLineBuffer& line, long long& left) {
  if (left <= 0) return false;
  int c = std::getc(f);
  if (c == EOF) return false;
  std::size_t n = 0;
  for (;;) {
    --left;
    if (c == '\n') break;
    if (n + 1 < line.size()) line[n++] = static_cast<char>(c);
    if (left <= 0 || (c = std::getc(f)) == EOF) break;
  }
  line[n] = '\0';
  return true;
}

}  // namespace

bool read_result(std::FILE* results, ResultLine& out, long long& left) {
  ResultLineBuffer line;
  while (read_line(results, line, left))
    if (parse_result_line(line.data(), out)) return true;
  return false;
}

bool read_result(std::FILE* results, ResultLine& out) {
  long long unlimited = LLONG_MAX;
  return read_result(results, out, unlimited);
}

std::int32_t elapsed_since(long long finish, std::time_t start) {
  long long diff;
  if (__builtin_sub_overflow(finish, static_cast<long long>(start), &diff))
    return finish < 0 ? INT32_MIN : INT32_MAX;
  return diff > INT32_MAX   ? INT32_MAX
         : diff < INT32_MIN ? INT32_MIN
                            : static_cast<std::int32_t>(diff);
}

void format_rank(std::array<char, kMessageSize>& out, int rank, int elapsed, const char* user,
                 int speed) {
  std::snprintf(out.data(), out.size(), FMT_RANK, rank, elapsed, user, speed);
}

std::int32_t typing_speed(std::int32_t strokes, std::int32_t elapsed) {
  std::uint32_t seconds = elapsed != 0 ? static_cast<std::uint32_t>(elapsed) : 1u;
  std::uint32_t per_minute = static_cast<std::uint32_t>(strokes) * 60u / seconds;
  return static_cast<std::int32_t>(per_minute);
}
