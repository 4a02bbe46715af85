#include "judge.h"

#include <dirent.h>
#include <glob.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include "handles.h"
#include "round.h"
#include "round_names.h"
#include "tally.h"
#include "terminals.h"

namespace soak {

namespace {

// What the round programs say on standard error when they stop before their round.
const std::string kRaceNoAnswer =
    "\xB9\xAE\xC1\xA6\xC7\xCA\xBF\xE4\xC6\xC4\xC0\xCF\xC0\xCC \xBE\xF8\xBD\xC0\xB4\xCF\xB4\xD9.";
const std::string kRaceNoList =
    "\xC7\xF6\xC0\xE7 \xB4\xDC\xBE\xEE \xC6\xC4\xC0\xCF\xC0\xCC \xBE\xF8\xBD\xC0\xB4\xCF\xB4\xD9.!!!";
const std::string kStartNoMenu =
    "\xC7\xF6\xC0\xE7 \xB4\xDC\xBE\xEE \xB8\xDE\xB4\xBA \xC6\xC4\xC0\xCF\xC0\xCC "
    "\xBE\xF8\xBD\xC0\xB4\xCF\xB4\xD9";
const std::string kStartNoList =
    "\xC7\xF6\xC0\xE7 \xB4\xDC\xBE\xEE \xC6\xC4\xC0\xCF\xC0\xCC \xBE\xF8\xBD\xC0\xB4\xCF\xB4\xD9";
const std::string kStartCannotMake =
    "\xB9\xAE\xC1\xA6\xC7\xCA\xBF\xE4\xC6\xC4\xC0\xCF\xC0\xBB \xB8\xB8\xB5\xE9\xBC\xF6 "
    "\xBE\xF8\xBD\xC0\xB4\xCF\xB4\xD9.";
const std::vector<std::string> kRaceMessages = {kRaceNoAnswer, kRaceNoList};
const std::vector<std::string> kStartMessages = {kStartNoMenu, kStartNoList, kStartCannotMake};

// The ledger as it grows: whole lines are judged once, as they appear.
struct Ledger {
  std::mutex mu;
  std::map<std::string, long> offset;   // per ledger file
  std::map<std::string, int> lines_of;  // user -> lines seen
  std::map<std::string, long> owner;    // user -> round that could have ranked it

  void judge_line(const std::string& path, std::string_view line) {
    auto user = ledger_line_user(line);
    check(kLedgerLines, user.has_value(),
          path.substr(path.rfind('/') + 1) + ": " + printable(line));
    if (!user) return;
    ++lines_of[*user];
    if (!owner.count(*user))
      check(kLedgerCount, false, "a line for no finisher of any round: " + printable(line));
  }

  void take(const std::string& path) {
    File f{std::fopen(path.c_str(), "rb")};
    if (!f) return;
    long& off = offset[path];
    std::fseek(f.get(), off, SEEK_SET);
    std::string got;
    char buf[8192];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f.get())) > 0;) got.append(buf, n);
    // A line not yet ended waits: it may still be taken back after a short write.
    std::size_t done = got.rfind('\n');
    done = done == std::string::npos ? 0 : done + 1;
    off += static_cast<long>(done);
    for (std::size_t at = 0; at < done;) {
      std::size_t end = got.find('\n', at);
      judge_line(path, std::string_view(got.data() + at, end - at));
      at = end + 1;
    }
  }

  void take_all() {
    std::lock_guard lock(mu);
    glob_t g{};
    if (glob(bbs->file("user/score/type*.dat").c_str(), 0, nullptr, &g) == 0)
      for (std::size_t i = 0; i < g.gl_pathc; ++i) take(g.gl_pathv[i]);
    globfree(&g);
  }
} ledger;

bool silent_refusal(const harness::Result& r) {
  return r.status == 1 && r.out.empty() && r.err.empty();
}

std::string ending(const harness::Result& r) {
  std::string s = r.status == -1 ? "still running after its time, killed"
                                 : "status " + std::to_string(r.status);
  if (!r.err.empty()) s += ", stderr " + printable(r.err);
  return s;
}

// Whether a round ended as what was done to it allows.
bool ending_ok(const Plan& plan, const Outcome& o, const std::string& own) {
  const std::string& no_list = plan.typestart ? kStartNoList : kRaceNoList;
  switch (plan.kind) {
    case Kind::tiny_limit: {
      // The limit cuts the message too.
      const std::string whole = kRaceNoAnswer + ": File too large\n";
      return o.gave_up && whole.compare(0, own.size(), own) == 0;
    }
    case Kind::fifo_list:
      return o.gave_up && own == no_list + ": Invalid argument\n";
    case Kind::failing:
      // Done, silent; stopped before the round with its message; or played but unable to
      // remove its files, silent, with status 2.
      return (own.empty() && (o.completed || (!plan.typestart && o.ran.status == 2))) ||
             (o.gave_up && failure_line(own, plan.typestart ? kStartMessages : kRaceMessages));
    case Kind::plain:
    case Kind::ignored:
    case Kind::fifo_roster:
      break;
  }
  if (o.refused) return !plan.typestart && silent_refusal(o.ran);
  return (o.completed && own.empty()) || (plan.kind == Kind::plain && o.killed);
}

// Of two started at once, the one that ran the round goes into `o`; the other must have
// refused, silently.
void judge_twins(Outcome& o, const harness::Result& r, const harness::Result& r2,
                 const std::string& at) {
  // Status 1 is a round that never claimed the room.
  auto ran_round = [](const harness::Result& x) { return x.status != 1; };
  check(kOne, !(ran_round(r) && ran_round(r2)),
        at + ": both ran (" + ending(r) + "; " + ending(r2) + ")");
  harness::Result loser = r2;
  if (!ran_round(r) && ran_round(r2)) std::swap(o.ran, loser);
  if (ran_round(o.ran))
    check(kEnding, silent_refusal(loser),
          at + ": the second of two started at once: " + ending(loser));
}

void count_round(const Plan& plan, const Outcome& o) {
  // A signal counts as a fault when it met the round, not one that had ended already.
  for (int k = 0; k < 4; ++k)
    if (o.killed && kFaultSignals[k] == plan.signal) count_fault(static_cast<Fault>(k));
  if (plan.kind == Kind::ignored && o.completed) count_fault(kIgnored);
  std::lock_guard lock(tally.mu);
  auto& rounds = plan.typestart ? tally.typestart : tally.typerace;
  ++(o.completed ? rounds.completed : o.killed ? rounds.killed : rounds.other);
  if (plan.kind == Kind::failing && o.ran.status >= 0 && o.ran.status <= 2)
    ++tally.failing_status[static_cast<std::size_t>(o.ran.status)];
}

// The watcher's lines of one round, sorted out.
struct Screen {
  std::vector<std::string> counts;
  double first_count = -1, word_at = -1, results_at = -1;
  int ranks = 0;
  std::size_t after_zero = 0;
};

Screen read_screen(const Plan& plan, const Outcome& o) {
  Screen sc;
  bool zero = false;
  for (const auto& s : o.seen) {
    if (zero) ++sc.after_zero;
    if (sc.word_at < 0 && countdown_value(s.text)) {
      sc.counts.push_back(s.text);
      zero = zero || *countdown_value(s.text) == 0;
      if (sc.first_count < 0) sc.first_count = s.mono;
      if (plan.clock_step == 0 && sc.counts.size() > 1) {
        std::lock_guard lock(tally.mu);
        tally.lags.push_back(s.real - static_cast<double>(static_cast<long>(s.real)));
      }
    } else if (sc.word_at < 0 && !sc.counts.empty() &&
               (plan.typestart || s.text.rfind("\x1b[7m", 0) == 0)) {
      sc.word_at = s.mono;
    } else if (sc.results_at >= 0) {
      ++sc.ranks;
    } else if (sc.word_at >= 0 && (s.text == TXT_RESULTS || s.text == TXT_NO_RESULTS)) {
      sc.results_at = s.mono;
    }
  }
  return sc;
}

// A completed round's countdown and wait as the watcher received them. With calls
// failing, a terminal may miss any line: what arrives is judged.
void judge_lengths(const Plan& plan, const Screen& sc, bool lossy, const std::string& at) {
  // A countdown seen from <n> on takes n - 1 s at least, n + 1.5 at most.
  const int first = *countdown_value(sc.counts.empty() ? "<5>" : sc.counts.front());
  const double shortest = lossy ? first - 2.0 : 3.0;
  double countdown = sc.word_at - sc.first_count;
  bool ok = sc.first_count >= 0 && sc.word_at >= 0 && countdown >= shortest && countdown <= 6.5;
  std::string what = at + ": countdown took " + std::to_string(countdown) + " s";
  if (!plan.typestart && (!lossy || sc.results_at >= 0)) {
    double waited = sc.results_at - sc.word_at;
    ok = ok && sc.results_at >= 0 && waited >= plan.type->limit - 2 &&
         waited <= plan.type->limit + 1.5;
    what += ", the wait " + std::to_string(waited) + " s for a limit of " +
            std::to_string(plan.type->limit);
  }
  check(kLength, ok, what);
}

// Processes still working in the scratch directory: the programs and what they started.
std::vector<pid_t> leftover_processes() {
  std::vector<pid_t> found;
  Dir d(opendir("/proc"));
  if (!d) return found;
  while (dirent* e = readdir(d.get())) {
    char* end = nullptr;
    long pid = std::strtol(e->d_name, &end, 10);
    if (*end != '\0' || pid <= 0 || pid == getpid()) continue;
    char link[64], cwd[4096];
    std::snprintf(link, sizeof link, "/proc/%ld/cwd", pid);
    ssize_t n = readlink(link, cwd, sizeof cwd - 1);
    if (n <= 0) continue;
    cwd[n] = '\0';
    if (std::strncmp(cwd, bbs->path().c_str(), bbs->path().size()) == 0)
      found.push_back(static_cast<pid_t>(pid));
  }
  return found;
}

// The ledger: nothing half-written at its end.
void judge_ledger_ends() {
  ledger.take_all();
  std::lock_guard lock(ledger.mu);
  for (const auto& [path, off] : ledger.offset) {
    struct stat st;
    bool whole = stat(path.c_str(), &st) == 0 && st.st_size == off;
    check(kLedgerLines, whole, path.substr(path.rfind('/') + 1) + " ends in a piece of a line");
  }
}

// Nothing of any round left in the game directory.
void judge_game_dir() {
  std::string left;
  if (Dir d{opendir(bbs->file(GAME_DIR).c_str())}) {
    while (dirent* e = readdir(d.get())) {
      std::string n = e->d_name;
      if (n == "." || n == ".." || n == "data.txt" ||
          (n.size() > 4 && n.substr(n.size() - 4) == ".lst"))
        continue;
      left += ' ';
      left += printable(n);
    }
  }
  check(kFiles, left.empty(), std::string("at the end, in ") + GAME_DIR + ":" + left);
}

// No process of the soak still running, after a moment for the last to finish.
void judge_processes() {
  std::this_thread::sleep_for(std::chrono::seconds(1));
  auto procs = leftover_processes();
  std::string which;
  for (pid_t p : procs) {
    which += ' ';
    which += std::to_string(p);
    kill(p, SIGKILL);
  }
  check(kProcs, procs.empty(), "still running:" + which);
}

}  // namespace

void expect_users(const Field& field, long serial) {
  std::lock_guard lock(ledger.mu);
  for (const auto& u : field.users) ledger.owner[u] = serial;
}

void judge_time(const Plan& plan, double took, const std::string& at) {
  const double length = kCountdown + (plan.typestart ? 0 : plan.type->limit);
  check(kInTime, took <= length + kEndSlack,
        at + ": over after " + std::to_string(took) + " s, for a length of " +
            std::to_string(length) + " s");
}

void judge_answer_mode(const Plan& plan, mode_t mode, const std::string& at) {
  char shown[16];
  std::snprintf(shown, sizeof shown, "%04o", static_cast<unsigned>(mode));
  check(kOwnerRw, (mode & 0600) == 0600,
        at + ": the answer file had mode " + shown + (plan.umask ? " under umask 0277" : ""));
}

Outcome judge_ending(const Plan& plan, harness::Result r, const harness::Result* r2,
                     const std::string& at) {
  Outcome o;
  o.ran = r;
  if (r2) judge_twins(o, r, *r2, at);
  const std::string own = own_stderr(o.ran.err);
  o.refused = o.ran.status == 1 && own.empty();
  o.gave_up = o.ran.status == 1 && !own.empty();
  if (!plan.typestart)
    check(kFree, !o.refused,
          at + (plan.takeover ? ": no typerace took over the stale room" : ": room not free"));
  o.killed = plan.signal != 0 && o.ran.status == 128 + plan.signal;
  o.completed = o.ran.status == 0;
  check(kEnding, ending_ok(plan, o, own),
        at + " (" + (plan.typestart ? "typestart" : "typerace") +
            (plan.signal ? ", sent signal " + std::to_string(plan.signal) : "") +
            (plan.kind == Kind::plain ? "" : ", " + std::string(kind_name(plan.kind))) +
            "): " + ending(o.ran));
  count_round(plan, o);
  return o;
}

void tidy_up(Lane& lane, const Plan& plan, const Outcome& o, long word_time,
             const std::string& at) {
  const std::string answer = answer_rel(plan.room, lane.group);
  const std::string results = results_rel(plan.room, lane.group);
  if (plan.typestart) {
    if (plan.kind == Kind::fifo_list)
      check(kFiles, !bbs->exists(answer), at + ": typestart wrote an answer with no word list");
    // Let the time limit pass, then take the word away.
    if (!o.word.empty()) sleep_until_wall(static_cast<double>(word_time + plan.type->limit));
    bbs->remove(answer);
    bbs->remove(results);
    return;
  }
  // Failing calls may leave the files of a round that then ends non-zero.
  bool left_for_stale = o.ran.status == 128 + SIGKILL || o.ran.status == -1 ||
                        (plan.kind == Kind::failing && !o.completed && !o.refused);
  if (o.refused) {
    // Nobody could claim it: do what an operator would, so the lane goes on.
    bbs->remove(answer);
    bbs->remove(results);
  } else if (!left_for_stale) {
    bool left = bbs->exists(answer);
    check(kFiles, !left && !bbs->exists(results),
          at + ": " + (left ? "answer" : "results") + " file left after " + ending(o.ran));
  }
  lane.blocked = false;
  lane.leftover = false;
  struct stat st;
  if (left_for_stale && stat(bbs->file(answer).c_str(), &st) == 0) {
    lane.blocked = true;
    lane.blocked_until = static_cast<double>(st.st_mtime) + kStaleBound + 2;
  } else if (left_for_stale && bbs->exists(results)) {
    lane.leftover = true;
  }
}

int judge_screen(const Plan& plan, const Outcome& o, const std::string& at) {
  if (plan.kind == Kind::fifo_roster) return 0;  // its room's roster reaches nobody
  const bool lossy = plan.kind == Kind::failing;
  const Screen sc = read_screen(plan, o);
  if (!sc.counts.empty() || (o.completed && !lossy)) {
    std::string all;
    for (const auto& c : sc.counts) all += c;
    check(kCountdownOk, countdown_ok(sc.counts, o.completed && !lossy), at + ": countdown " + all);
  }
  if (plan.kind == Kind::tiny_limit || plan.kind == Kind::fifo_list)
    check(kUnwritten, sc.after_zero == 0,
          at + ": " + std::to_string(sc.after_zero) + " lines after <0>, with no word to play");
  if (o.completed && (!lossy || (sc.first_count >= 0 && sc.word_at >= 0)))
    judge_lengths(plan, sc, lossy, at);
  return sc.ranks;
}

void judge_ledger(const Plan& plan, const Field& field, const Outcome& o, int ranks,
                  const std::string& at) {
  if (plan.typestart || o.refused || o.word.empty() || field.users.empty()) return;
  ledger.take_all();
  std::lock_guard lock(ledger.mu);
  int written = 0;
  bool doubled = false, unexpected = false;
  for (const auto& u : field.users) {
    int n = ledger.lines_of[u];
    written += n;
    doubled |= n > 1;
    if (n > 0 && std::find(field.ranked.begin(), field.ranked.end(), u) == field.ranked.end())
      unexpected = true;
  }
  int want = plan.fsize >= 0 ? 0 : static_cast<int>(field.ranked.size());
  bool ok = !doubled && !unexpected;
  if (plan.kind == Kind::failing)  // a ledger that cannot be opened loses the line
    ok = ok && written <= want;
  else if (o.completed || plan.fsize >= 0)
    ok = ok && written == want;
  else  // cut off in its ranking: each line goes in before it is announced
    ok = ok && written <= want && (written == ranks || written == ranks + 1);
  check(kLedgerCount, ok,
        at + ": " + std::to_string(written) + " ledger lines for " + std::to_string(want) +
            " finishers (" + std::to_string(ranks) + " announced, " + ending(o.ran) +
            (plan.fsize >= 0 ? ", full ledger" : "") +
            (plan.kind == Kind::failing ? ", calls failing" : "") + ")");
}

void final_checks() {
  read_to_the_end();
  judge_ledger_ends();
  judge_game_dir();
  judge_processes();
}

}  // namespace soak
