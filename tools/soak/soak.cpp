// The soak run: a busy evening in one scratch working directory. Every room and group
// races at once, typerace and typestart rounds mixed, for SOAK_SECONDS (default 600),
// while faults are thrown in at random: signals to a running round, a full ledger, a
// wall clock that steps an hour, a terminal that stops reading, the roster rewritten,
// two rounds started at once, hostile results lines; signals the server ignores, a
// file-size limit below the word, FIFOs in place of the roster or the word list, a
// umask that would lock the owner out, system calls that fail at random (libfiu). After
// every round and at the end it checks what an operator relies on, counts each breach,
// prints a table and, last,
//   soak: <R> rounds, <F> faults, <V> violations
// with status 1 when V > 0.
//
// SOAK_SECONDS   how long new rounds are started (default 600)
// SOAK_SIGKILL=0 no SIGKILL (a killed room is free only after the stale-claim bound)
// SOAK_ROOMS     rooms, each with three groups (default 8)
// SOAK_SEED      the random seed (default: from the machine; printed either way)

#include <dirent.h>
#include <fcntl.h>
#include <glob.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "harness.h"
#include "ledger_format.h"
#include "round.h"
#include "soak_check.h"

namespace {

using harness::Finisher;

// ---- settings -------------------------------------------------------------------------

constexpr int kGroups = 3;
constexpr int kCountdown = 5;
struct WordType {
  const char* name;
  int limit;
};
// Short limits, so hundreds of rounds complete; the largest sets the stale-claim bound.
constexpr std::array<WordType, 3> kTypes{{{"sa", 4}, {"sb", 5}, {"sc", 6}}};
// The word type whose list is a FIFO that nobody writes.
constexpr WordType kFifoType{"sf", 5};
constexpr int kMaxLimit = 6;
// However a round was treated, it is over this long after its length.
constexpr double kEndSlack = 10;
// A FIFO roster round runs in a room of its own, so no other group's round meets it.
constexpr int kFifoRoomBase = 100;
// The calls that fail at random in a round of the kind "system calls fail", and how often.
constexpr char kFailingCalls[] = "enable_random name=posix/io/*,probability=0.02\n"
                                 "enable_random name=posix/proc/*,probability=0.02";
constexpr char kFailingShown[] = "posix/io/*, posix/proc/* at 2%";
constexpr int kStaleBound = kCountdown + kMaxLimit + 60;
// How long the chat engine looks for a word: past any countdown, even a slow one.
constexpr int kEngineGiveUpMs = 8000;
// Until here in a round no word can be out yet, so a signal needs no care for finishers.
constexpr double kBeforeWord = 3.8;

double mono() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

double wall() {
  timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

void sleep_until_mono(double t) {
  double left = t - mono();
  if (left > 0) std::this_thread::sleep_for(std::chrono::duration<double>(left));
}

long env_number(const char* name, long fallback) {
  const char* v = std::getenv(name);
  if (v == nullptr || *v == '\0') return fallback;
  return std::strtol(v, nullptr, 10);
}

// Bytes as a person reads them in a report: the Korean decoded, control bytes as \xNN.
std::string printable(std::string_view bytes) {
  std::string out;
  for (unsigned char c : harness::euckr_to_utf8(bytes.substr(0, 120))) {
    if (c < 0x20 || c == 0x7f) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  return out;
}

// ---- what is counted ------------------------------------------------------------------

enum Fault {
  kTerm,
  kHup,
  kInt,
  kKill,
  kFullLedger,
  kClockStep,
  kStall,
  kRoster,
  kTwice,
  kHostile,
  kIgnored,
  kTinyLimit,
  kFifoRoster,
  kFifoList,
  kUmask,
  kFailing,
  kFaults
};
constexpr std::array<const char*, kFaults> kFaultNames{"SIGTERM to a round",
                                                       "SIGHUP to a round",
                                                       "SIGINT to a round",
                                                       "SIGKILL to a round",
                                                       "full ledger (file size)",
                                                       "wall clock stepped +-1 h",
                                                       "terminal stops reading",
                                                       "roster rewritten mid-round",
                                                       "two rounds at once",
                                                       "hostile results lines",
                                                       "HUP, INT, QUIT ignored, then sent",
                                                       "file-size limit below the word",
                                                       "FIFO in place of the roster",
                                                       "FIFO in place of the word list",
                                                       "umask 0277",
                                                       "system calls fail (libfiu)"};
constexpr std::array<int, 4> kFaultSignals{SIGTERM, SIGHUP, SIGINT, SIGKILL};

enum Check {
  kFree,
  kOne,
  kEnding,
  kFiles,
  kLedgerLines,
  kLedgerCount,
  kFrames,
  kCountdownOk,
  kLength,
  kInTime,
  kUnwritten,
  kOwnerRw,
  kProcs,
  kChecks
};
constexpr std::array<const char*, kChecks> kCheckNames{
    "room free again (stale bound after SIGKILL)",
    "two started at once: exactly one runs",
    "round ends by itself or by the signal sent",
    "no answer or results file left over",
    "ledger lines whole and well-formed",
    "one ledger line per finisher, none else",
    "terminals get whole frames only",
    "countdown 5..0, strictly falling",
    "countdown and wait keep their length",
    "round over within its length + 10 s",
    "nothing announced after <0> with no word",
    "answer file: owner may read and write",
    "no process of the soak left at the end"};

struct Tally {
  std::mutex mu;
  std::array<long, kFaults> faults{};
  std::array<long, kChecks> checked{}, breached{};
  struct Rounds {
    long started = 0, completed = 0, killed = 0, other = 0;
  };
  Rounds typerace, typestart;
  long takeovers = 0;
  std::array<long, 3> failing_status{};  // rounds with failing calls that ended 0, 1, 2
  std::vector<double> lags, spans;
  int breaches_shown = 0;
} tally;

void count_fault(Fault f) {
  std::lock_guard lock(tally.mu);
  ++tally.faults[f];
}

// One invariant looked at once; a breach is also shown as it happens (the first few).
void check(Check c, bool ok, const std::string& what = {}) {
  std::lock_guard lock(tally.mu);
  ++tally.checked[c];
  if (ok) return;
  ++tally.breached[c];
  if (tally.breaches_shown++ < 60) std::printf("breach: %s: %s\n", kCheckNames[c], what.c_str());
  std::fflush(stdout);
}

// ---- the players' terminals -----------------------------------------------------------

struct Seen {
  std::string text;
  double mono, real;
};

struct Burst {
  std::string text;
  double first, last;
  int count;
};

struct Lane;

struct Term {
  std::unique_ptr<harness::Pty> pty = std::make_unique<harness::Pty>();
  Lane* lane = nullptr;
  bool watcher = false;
  bool in_roster = false;  // guarded by the room
  // Guarded by `screens`:
  bool stalled = false;
  std::size_t filler_left = 0;  // bytes the soak wrote itself to fill it up
  double resumed_at = 0;
  soak::FrameReader frames;
};

struct Room;

struct Lane {
  int room = 0, group = 0;
  Room* home = nullptr;
  Term* watcher = nullptr;     // always in the roster and always read
  std::vector<Term*> players;  // join, leave, stop reading
  std::vector<Seen> log;       // the watcher's frames, guarded by `screens`
  std::deque<Burst> bursts;    // reader only
  std::mt19937 rng;
  // Its own wall clock for the rounds that get a step: a file of its own to hold it.
  std::unique_ptr<harness::Scratch> clock_dir;
  std::unique_ptr<harness::SteppedClock> clock;
  bool blocked = false;  // a killed round left its answer file
  double blocked_until = 0;
  bool leftover = false;  // a round left its results file: the next must remove it
  int fifo_room = 0;      // the room of its own for a FIFO in the roster's place
};

struct Room {
  std::mutex mu;
  int number = 0;
  std::vector<Lane*> lanes;
};

// The reader thread and the lanes meet here.
struct Screens {
  std::mutex mu;
  std::condition_variable swept;
  long sweeps = 0;
  std::atomic<bool> stop{false};
  std::vector<std::unique_ptr<Term>> terms;
} screens;

std::unique_ptr<harness::Scratch> bbs;

// Waits until the reader has gone over every terminal twice, so what was written before
// now has been read, and a terminal marked stalled before now is no longer touched.
void wait_for_reader() {
  std::unique_lock lock(screens.mu);
  long target = screens.sweeps + 2;
  screens.swept.wait(lock, [&] { return screens.sweeps >= target || screens.stop; });
}

void note_fan_out(Lane& lane, const std::string& text, double at) {
  for (auto& b : lane.bursts)
    if (b.text == text && at - b.first < 1.0) {
      b.last = std::max(b.last, at);
      ++b.count;
      return;
    }
  lane.bursts.push_back({text, at, at, 1});
}

void take_frames(Term& t, const std::vector<soak::Frame>& got, double at, double real) {
  for (const auto& f : got) {
    switch (f.kind) {
      case soak::Frame::Whole:
        check(kFrames, true);
        if (at - t.resumed_at > 0.5) note_fan_out(*t.lane, f.text, at);
        if (t.watcher) t.lane->log.push_back({f.text, at, real});
        break;
      case soak::Frame::Cut:
        check(kFrames, false,
              "room " + std::to_string(t.lane->room) + " group " + std::to_string(t.lane->group) +
                  " /dev/" + t.pty->name() + ": cut frame " + printable(f.text));
        break;
      case soak::Frame::Garbled:
      case soak::Frame::Stray:
        check(kFrames, false, "/dev/" + t.pty->name() + ": not a frame: " + printable(f.text));
        break;
    }
  }
}

// Feeds bytes read from a terminal, after the filler the soak put there itself.
void take_bytes(Term& t, std::string_view bytes, double at, double real) {
  std::size_t skip = std::min(t.filler_left, bytes.size());
  t.filler_left -= skip;
  bytes.remove_prefix(skip);
  std::vector<soak::Frame> got;
  t.frames.feed(bytes, got);
  take_frames(t, got, at, real);
}

std::string read_some(int fd) {
  std::string got;
  char buf[8192];
  for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;) got.append(buf, static_cast<size_t>(n));
  return got;
}

void reader_loop(std::vector<Lane>& lanes) {
  std::vector<pollfd> fds;
  std::vector<Term*> polled;
  while (!screens.stop) {
    fds.clear();
    polled.clear();
    {
      std::lock_guard lock(screens.mu);
      for (auto& t : screens.terms)
        if (!t->stalled) {
          fds.push_back({t->pty->master(), POLLIN, 0});
          polled.push_back(t.get());
        }
    }
    poll(fds.data(), fds.size(), 50);
    std::vector<std::string> got(fds.size());
    std::vector<double> at(fds.size());
    for (std::size_t i = 0; i < fds.size(); ++i)
      if (fds[i].revents & POLLIN) {
        got[i] = read_some(fds[i].fd);
        at[i] = mono();
      }
    double real = wall(), now = mono();
    std::lock_guard lock(screens.mu);
    for (std::size_t i = 0; i < fds.size(); ++i)
      if (!got[i].empty()) take_bytes(*polled[i], got[i], at[i], real - (now - at[i]));
    for (auto& lane : lanes)
      while (!lane.bursts.empty() && now - lane.bursts.front().first > 2.0) {
        const Burst& b = lane.bursts.front();
        if (b.count > 1) {
          std::lock_guard tl(tally.mu);
          tally.spans.push_back(b.last - b.first);
        }
        lane.bursts.pop_front();
      }
    ++screens.sweeps;
    screens.swept.notify_all();
  }
}

// ---- the server's files ---------------------------------------------------------------

std::string answer_rel(int room, int group) {
  return "frm/typegame/taja." + std::to_string(room) + std::to_string(group);
}
std::string results_rel(int room, int group) {
  return "frm/typegame/chatmess." + std::to_string(room) + std::to_string(group);
}
std::string roster_rel(int room) {
  char rel[32];
  std::snprintf(rel, sizeof rel, "user/chat/rm_%02d.all", room);
  return rel;
}

void write_atomically(const std::string& rel, const std::string& bytes) {
  std::string tmp = bbs->file(rel + ".soak");
  {
    FILE* f = std::fopen(tmp.c_str(), "wb");
    if (f == nullptr) return;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  std::rename(tmp.c_str(), bbs->file(rel).c_str());
}

// The room's roster as the server keeps it: every group's watcher, then its players.
// Written whole and renamed into place, as a careful server would.
void write_roster(Room& room) {
  std::vector<harness::RosterEntry> entries;
  for (Lane* lane : room.lanes) {
    entries.push_back({lane->group, lane->watcher->pty->name()});
    for (Term* p : lane->players)
      if (p->in_roster) entries.push_back({lane->group, p->pty->name()});
  }
  write_atomically(roster_rel(room.number), harness::roster_bytes(entries));
}

void prepare_game_files() {
  std::string index;
  const std::string korean[] = {harness::utf8_to_euckr("타자"), harness::utf8_to_euckr("바람"),
                                harness::utf8_to_euckr("하늘과바다")};
  for (std::size_t i = 0; i < kTypes.size(); ++i) {
    std::string list = std::string(kTypes[i].name) + ".lst";
    index +=
        std::string(kTypes[i].name) + " " + std::to_string(kTypes[i].limit) + " " + list + "\n";
    bbs->write("frm/typegame/" + list, "5 hello\n4 " + korean[i] + "\n6 soaked\n");
  }
  index += std::string(kFifoType.name) + " " + std::to_string(kFifoType.limit) + " " +
           kFifoType.name + ".lst\n";
  bbs->fifo("frm/typegame/" + std::string(kFifoType.name) + ".lst");
  bbs->write("frm/typegame/data.txt", index);
}

// The ledger as it grows: whole lines are judged once, as they appear.
struct Ledger {
  std::mutex mu;
  std::map<std::string, long> offset;   // per ledger file
  std::map<std::string, int> lines_of;  // user -> lines seen
  std::map<std::string, long> owner;    // user -> round that could have ranked it

  void take(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return;
    long& off = offset[path];
    std::fseek(f, off, SEEK_SET);
    std::string got;
    char buf[8192];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) got.append(buf, n);
    std::fclose(f);
    // A line not yet ended waits: it may still be taken back after a short write.
    std::size_t done = got.rfind('\n');
    done = done == std::string::npos ? 0 : done + 1;
    off += static_cast<long>(done);
    for (std::size_t at = 0; at < done;) {
      std::size_t end = got.find('\n', at);
      std::string_view line(got.data() + at, end - at);
      at = end + 1;
      auto user = soak::ledger_line_user(line);
      check(kLedgerLines, user.has_value(),
            path.substr(path.rfind('/') + 1) + ": " + printable(line));
      if (!user) continue;
      ++lines_of[*user];
      if (!owner.count(*user))
        check(kLedgerCount, false, "a line for no finisher of any round: " + printable(line));
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

// ---- one round ------------------------------------------------------------------------

// What is done to a round beyond the faults that combine freely: one kind at most.
enum class Kind { plain, ignored, tiny_limit, fifo_roster, fifo_list, failing };

struct Plan {
  Kind kind = Kind::plain;
  int room = 0;                        // the room the round is started for
  std::array<double, 3> ignored_at{};  // when HUP, INT and QUIT are sent, all three ignored
  long word_limit = -1;                // a file-size limit below the length of any word
  bool umask = false;
  bool typestart = false;
  const WordType* type = nullptr;
  int signal = 0;
  double signal_at = 0;
  long fsize = -1;     // the file-size limit for a full ledger
  int clock_step = 0;  // seconds, +-3600
  double clock_at = 0;
  Term* stall = nullptr;
  double roster_at = -1;
  bool twice = false;
  bool hostile = false;
  bool takeover = false;
};

struct Env {
  bool sigkill = true;
  bool failing = false;  // libfiu is there
  double end = 0;
  std::atomic<long> serial{0};
} env;

double uniform(std::mt19937& rng, double lo, double hi) {
  return std::uniform_real_distribution<double>(lo, hi)(rng);
}
bool chance(std::mt19937& rng, double p) { return uniform(rng, 0, 1) < p; }

// The ledger this month has, big enough that a limit at its size stops any new line.
long full_ledger_limit(std::mt19937& rng) {
  std::time_t now = std::time(nullptr), later = now + 20;
  std::tm a{}, b{};
  localtime_r(&now, &a);
  localtime_r(&later, &b);
  std::array<char, 64> pa{}, pb{};
  ledger_path(a, pa);
  ledger_path(b, pb);
  struct stat st;
  if (std::strcmp(pa.data(), pb.data()) != 0 || stat(bbs->file(pa.data()).c_str(), &st) != 0 ||
      st.st_size < 1024)
    return -1;
  // Room for less than a line past the end: what is cut must be taken back.
  return static_cast<long>(st.st_size) + std::uniform_int_distribution<long>(0, 60)(rng);
}

// `plain`: a typerace with no fault, after a round that left files behind; `takeover`: the
// room waited out the stale-claim bound for it.
Plan make_plan(Lane& lane, bool plain, bool takeover) {
  auto& rng = lane.rng;
  Plan p;
  p.takeover = takeover;
  p.room = lane.room;
  p.type = &kTypes[std::uniform_int_distribution<std::size_t>(0, kTypes.size() - 1)(rng)];
  double length = kCountdown + p.type->limit;
  if (plain) {
    p.twice = takeover && chance(rng, 0.3);
    return p;
  }
  p.typestart = chance(rng, 0.3);
  if (p.typestart) length = kBeforeWord + 1;  // typestart is gone once its word is out
  p.umask = chance(rng, 0.04);
  struct Share {
    Kind kind;
    double share;
  };
  const Share kinds[] = {{Kind::failing, env.failing ? 0.10 : 0},
                         {Kind::ignored, 0.04},
                         {Kind::tiny_limit, p.typestart ? 0 : 0.05},
                         {Kind::fifo_roster, 0.03},
                         {Kind::fifo_list, 0.03}};
  double r = uniform(rng, 0, 1);
  for (const Share& k : kinds) {
    if (r < k.share) {
      p.kind = k.kind;
      break;
    }
    r -= k.share;
  }
  switch (p.kind) {
    case Kind::ignored:
      for (double& at : p.ignored_at)
        at = uniform(rng, 0.2, p.typestart ? kBeforeWord : length - 1);
      break;
    case Kind::tiny_limit:
      p.word_limit = std::uniform_int_distribution<long>(1, 3)(rng);
      return p;
    case Kind::fifo_roster:
      p.room = lane.fifo_room;
      return p;
    case Kind::fifo_list:
      p.type = &kFifoType;
      return p;
    case Kind::plain:
    case Kind::failing:
      break;
  }
  // Signals: one kind per round at most, at any moment of it; none with calls failing, as
  // the handlers themselves may be missing then.
  r = p.kind == Kind::plain ? uniform(rng, 0, 1) : 1;
  for (int k = 0; k < 4; ++k) {
    double share = k == kKill ? 0.035 : 0.04;
    if (k == kKill && !env.sigkill) share = 0;
    if (r < share) {
      p.signal = kFaultSignals[k];
      p.signal_at = uniform(rng, 0.2, p.typestart ? kBeforeWord : length);
      break;
    }
    r -= share;
  }
  if (p.kind != Kind::failing && chance(rng, 0.05)) {  // one preload at a time
    p.clock_step = chance(rng, 0.5) ? 3600 : -3600;
    p.clock_at = uniform(rng, 1.0, length - 1.0);
  }
  if (chance(rng, 0.05))
    p.stall =
        lane.players[std::uniform_int_distribution<std::size_t>(0, lane.players.size() - 1)(rng)];
  if (chance(rng, 0.05)) p.roster_at = uniform(rng, 0.5, length);
  if (!p.typestart) {
    if (p.kind == Kind::plain) {
      if (p.clock_step == 0 && chance(rng, 0.06)) p.fsize = full_ledger_limit(rng);
      p.twice = chance(rng, 0.05);
    }
    p.hostile = chance(rng, 0.07);
  }
  return p;
}

// The finishers the chat engine records, and the users the ranking must give: each user
// id names its round, so every ledger line can be traced to the one round it belongs to.
struct Field {
  std::vector<Finisher> finishers;
  std::vector<std::string> ranked;  // as the ledger must show them, in order
  std::vector<std::string> users;   // every user id the round could put in the ledger
};

Field make_field(const Plan& p, long serial, std::mt19937& rng) {
  Field f;
  // No finishers where no word can be played.
  if (p.takeover || p.kind == Kind::tiny_limit || p.kind == Kind::fifo_list) return f;
  struct Line {
    std::string text;  // the user id, or with `raw` the whole line
    bool raw;
    std::string ranked;  // the user id as ranked; empty when the line takes no rank
  };
  std::vector<Line> lines;
  char s[8];
  std::snprintf(s, sizeof s, "%06ld", serial % 1000000);
  int n = std::uniform_int_distribution<int>(0, 3)(rng);
  for (int i = 0; i < n; ++i) {
    char id_text[32];
    std::snprintf(id_text, sizeof id_text, "p%s%d", s, i);
    const std::string id = id_text;
    lines.push_back({id, false, id});
  }
  if (p.hostile) {
    std::string t = std::to_string(std::time(nullptr) + kCountdown + 1);
    const char ctrl[] = {'\x01', '\x07', '\x1b', '\x7f', '\x10'};
    std::string c(1, ctrl[std::uniform_int_distribution<int>(0, 4)(rng)]);
    std::vector<Line> hostile = {
        {t + " " + c + "h" + s + " typed", true, "?h" + std::string(s)},   // control byte in the id
        {t + " q" + s + "9XYZW typed", true, "q" + std::string(s) + "9"},  // id longer than 8
        {"1234567890123456789 r" + std::string(s) + "0 typed", true, ""},  // finish time too long
        {"no finish time here", true, ""},
    };
    std::shuffle(hostile.begin(), hostile.end(), rng);
    for (int k = 0; k < 3; ++k)
      lines.insert(lines.begin() +
                       std::uniform_int_distribution<long>(0, static_cast<long>(lines.size()))(rng),
                   hostile[static_cast<std::size_t>(k)]);
    f.users.push_back("r" + std::string(s) + "0");
  }
  // All in well before the wait ends, even a wait a clock step made a second shorter.
  int last_delay = p.type->limit - 3;
  std::vector<int> delays;
  for (std::size_t i = 0; i < lines.size(); ++i)
    delays.push_back(std::uniform_int_distribution<int>(0, last_delay)(rng));
  std::sort(delays.begin(), delays.end());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    f.finishers.push_back({delays[i], lines[i].text, "typed", lines[i].raw});
    if (!lines[i].ranked.empty()) {
      f.ranked.push_back(lines[i].ranked);
      f.users.push_back(lines[i].ranked);
    }
  }
  return f;
}

// Fills a terminal's buffer to the brim with bytes of its own, then lets a little out
// and most of it back in, so the round's frames meet a terminal with next to no room
// left. Reading frees room in whole kernel buffers (512 or 4096 bytes were seen), a few
// milliseconds later; topping up to 4096 less a little leaves that little room, or none.
void fill_up(Term& t, std::mt19937& rng) {
  std::string path = "/dev/" + t.pty->name();
  int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return;
  const std::string block(64, '.');
  std::size_t total = 0;
  auto top_up = [&](std::size_t size, std::size_t most) {
    for (ssize_t n; most > 0 && (n = write(fd, block.data(), std::min(size, most))) > 0;) {
      total += static_cast<size_t>(n);
      most -= static_cast<size_t>(n);
    }
  };
  top_up(block.size(), SIZE_MAX);
  top_up(1, SIZE_MAX);
  char buf[300];
  ssize_t back =
      read(t.pty->master(), buf, std::uniform_int_distribution<std::size_t>(1, sizeof buf)(rng));
  if (back > 0) total -= static_cast<std::size_t>(back);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  top_up(1, 4096 - std::uniform_int_distribution<std::size_t>(0, 200)(rng));
  close(fd);
  std::lock_guard lock(screens.mu);
  t.filler_left = total;
}

// libfaketime keeps shared memory named after the process it was loaded into, and
// leaves it behind when that process is killed.
void forget_faketime(pid_t pid) {
  for (const char* fmt : {"/dev/shm/faketime_shm_%d", "/dev/shm/sem.faketime_sem_%d"}) {
    char path[64];
    std::snprintf(path, sizeof path, fmt, static_cast<int>(pid));
    unlink(path);
  }
}

const char* kind_name(Kind k) {
  switch (k) {
    case Kind::ignored:
      return "HUP, INT, QUIT ignored";
    case Kind::tiny_limit:
      return "file-size limit below the word";
    case Kind::fifo_roster:
      return "FIFO roster";
    case Kind::fifo_list:
      return "FIFO word list";
    case Kind::failing:
      return "system calls fail";
    case Kind::plain:
      break;
  }
  return "";
}

bool silent_refusal(const harness::Result& r) {
  return r.status == 1 && r.out.empty() && r.err.empty();
}

std::string where(const Lane& l, long serial) {
  return "round " + std::to_string(serial) + " room " + std::to_string(l.room) + " group " +
         std::to_string(l.group);
}

std::string ending(const harness::Result& r) {
  std::string s = r.status == -1 ? "still running after its time, killed"
                                 : "status " + std::to_string(r.status);
  if (!r.err.empty()) s += ", stderr " + printable(r.err);
  return s;
}

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

// How a round ended, and what the watcher of its room and group saw of it.
struct Outcome {
  harness::Result ran;   // of two started at once, the one that claimed the room
  bool refused = false;  // nobody claimed the room: status 1, nothing said
  bool gave_up = false;  // status 1 with its message: it stopped before its round
  bool completed = false, killed = false;
  std::string word;  // as the chat engine saw it in the answer file
  std::vector<Seen> seen;
};

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
             (o.gave_up &&
              soak::failure_line(own, plan.typestart ? kStartMessages : kRaceMessages));
    case Kind::plain:
    case Kind::ignored:
    case Kind::fifo_roster:
      break;
  }
  if (o.refused) return !plan.typestart && silent_refusal(o.ran);
  return (o.completed && own.empty()) || (plan.kind == Kind::plain && o.killed);
}

// Which of two started at once ran the round, and whether each ended as it should.
Outcome judge_ending(const Plan& plan, harness::Result r, const harness::Result* r2,
                     const std::string& at) {
  // Status 1 is a round that never claimed the room.
  auto ran_round = [](const harness::Result& x) { return x.status != 1; };
  Outcome o;
  o.ran = r;
  if (r2) {
    check(kOne, !(ran_round(r) && ran_round(*r2)),
          at + ": both ran (" + ending(r) + "; " + ending(*r2) + ")");
    harness::Result loser = *r2;
    if (!ran_round(r) && ran_round(*r2)) std::swap(o.ran, loser);
    if (ran_round(o.ran))
      check(kEnding, silent_refusal(loser),
            at + ": the second of two started at once: " + ending(loser));
  }
  const std::string own = soak::own_stderr(o.ran.err);
  o.refused = o.ran.status == 1 && own.empty();
  o.gave_up = o.ran.status == 1 && !own.empty();
  if (!plan.typestart)
    check(kFree, !o.refused,
          at + (plan.takeover ? ": no typerace took over the stale room" : ": room not free"));
  o.killed = plan.signal != 0 && o.ran.status == 128 + plan.signal;
  o.completed = o.ran.status == 0;
  // A signal counts as a fault when it met the round, not one that had ended already.
  for (int k = 0; k < 4; ++k)
    if (o.killed && kFaultSignals[k] == plan.signal) count_fault(static_cast<Fault>(k));
  if (plan.kind == Kind::ignored && o.completed) count_fault(kIgnored);
  check(kEnding, ending_ok(plan, o, own),
        at + " (" + (plan.typestart ? "typestart" : "typerace") +
            (plan.signal ? ", sent signal " + std::to_string(plan.signal) : "") +
            (plan.kind == Kind::plain ? "" : ", " + std::string(kind_name(plan.kind))) +
            "): " + ending(o.ran));
  std::lock_guard lock(tally.mu);
  auto& rounds = plan.typestart ? tally.typestart : tally.typerace;
  ++(o.completed ? rounds.completed : o.killed ? rounds.killed : rounds.other);
  if (plan.kind == Kind::failing && o.ran.status >= 0 && o.ran.status <= 2)
    ++tally.failing_status[static_cast<std::size_t>(o.ran.status)];
  return o;
}

// After the round: the server's part after typestart, the files, and a room that a round
// killed outright, or one that could not remove its files, left blocked until the
// stale-claim bound has passed.
void tidy_up(Lane& lane, const Plan& plan, const Outcome& o, long word_time,
             const std::string& at) {
  const std::string answer = answer_rel(plan.room, lane.group);
  const std::string results = results_rel(plan.room, lane.group);
  if (plan.typestart) {
    if (plan.kind == Kind::fifo_list)
      check(kFiles, !bbs->exists(answer), at + ": typestart wrote an answer with no word list");
    // Let the time limit pass, then take the word away.
    if (!o.word.empty()) {
      double due = static_cast<double>(word_time + plan.type->limit);
      while (wall() < due) std::this_thread::sleep_for(std::chrono::duration<double>(due - wall()));
    }
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

// Starts the round with its faults, throws in the rest as they fall due, and waits for
// its end.
Outcome play(Lane& lane, const Plan& plan, const Field& field, const std::string& at) {
  const char* prog = plan.typestart ? "typestart" : "typerace";

  // Faults set up before the start.
  if (plan.stall) {
    count_fault(kStall);
    {
      std::lock_guard lock(screens.mu);
      plan.stall->stalled = true;
    }
    wait_for_reader();
    fill_up(*plan.stall, lane.rng);
  }
  std::vector<std::string> environment;
  if (plan.clock_step != 0) {
    lane.clock->set_offset(0);
    environment = lane.clock->env();
  }
  if (plan.kind == Kind::failing) {
    count_fault(kFailing);
    environment = harness::failing_calls(kFailingCalls);
  }
  std::string bin = harness::program(prog);
  std::vector<std::string> args = {"soak", std::to_string(lane.group), std::to_string(plan.room),
                                   plan.type->name};
  harness::ChildSetup setup;
  if (plan.fsize >= 0) {
    count_fault(kFullLedger);
    setup = harness::file_size_limit(plan.fsize);
  }
  if (plan.word_limit >= 0) {
    count_fault(kTinyLimit);
    setup = harness::file_size_limit(plan.word_limit);
  }
  if (plan.kind == Kind::ignored)
    setup = harness::both(setup, harness::ignoring({SIGHUP, SIGINT, SIGQUIT}));
  if (plan.umask) {
    count_fault(kUmask);
    setup = harness::both(setup, harness::with_umask(0277));
  }
  if (plan.kind == Kind::fifo_roster) {
    count_fault(kFifoRoster);
    bbs->fifo(roster_rel(plan.room));
  }
  if (plan.kind == Kind::fifo_list) count_fault(kFifoList);
  std::size_t log_from;
  {
    std::lock_guard lock(screens.mu);
    log_from = lane.log.size();
  }
  {
    std::lock_guard lock(tally.mu);
    auto& rounds = plan.typestart ? tally.typestart : tally.typerace;
    ++rounds.started;
    if (plan.takeover) ++tally.takeovers;
  }

  harness::ChatEngine engine(*bbs, plan.room, lane.group, field.finishers, kEngineGiveUpMs);
  double t0 = mono();
  auto proc = std::make_unique<harness::Proc>(bin, args, bbs->path(), environment, setup);
  std::unique_ptr<harness::Proc> second;
  if (plan.twice) {
    count_fault(kTwice);
    second = std::make_unique<harness::Proc>(bin, args, bbs->path(), environment, setup);
  }
  if (plan.hostile) count_fault(kHostile);

  // Faults during the round, in the order they fall due.
  enum What { kRewriteRoster, kStepClock, kSignal };
  struct Action {
    double at;
    What what;
    int sig = 0;
  };
  std::vector<Action> actions;
  if (plan.roster_at >= 0) actions.push_back({plan.roster_at, kRewriteRoster});
  if (plan.clock_step != 0) actions.push_back({plan.clock_at, kStepClock});
  if (plan.signal != 0) actions.push_back({plan.signal_at, kSignal, plan.signal});
  if (plan.kind == Kind::ignored)
    for (std::size_t i = 0; i < plan.ignored_at.size(); ++i)
      actions.push_back({plan.ignored_at[i], kSignal, std::array{SIGHUP, SIGINT, SIGQUIT}[i]});
  std::sort(actions.begin(), actions.end(),
            [](const Action& a, const Action& b) { return a.at < b.at; });
  for (const auto& a : actions) {
    // A round that a signal ends: its finishers all in first.
    if (a.what == kSignal && plan.kind != Kind::ignored && a.at >= kBeforeWord) engine.join();
    sleep_until_mono(t0 + a.at);
    if (a.what == kRewriteRoster) {
      count_fault(kRoster);
      std::lock_guard lock(lane.home->mu);
      Term* p = lane.players[std::uniform_int_distribution<std::size_t>(
          0, lane.players.size() - 1)(lane.rng)];
      p->in_roster = !p->in_roster;
      write_roster(*lane.home);
    } else if (a.what == kStepClock) {
      count_fault(kClockStep);
      lane.clock->set_offset(plan.clock_step);
    } else {
      proc->signal(a.sig);
      if (second) second->signal(a.sig);
    }
  }

  int timeout_ms = (kCountdown + plan.type->limit + 20) * 1000;
  const double length = kCountdown + (plan.typestart ? 0 : plan.type->limit);
  auto in_time = [&](double took) {
    check(kInTime, took <= length + kEndSlack,
          at + ": over after " + std::to_string(took) + " s, for a length of " +
              std::to_string(length) + " s");
  };
  harness::Result r = proc->wait(timeout_ms);
  in_time(mono() - t0);
  harness::Result r2;
  if (second) {
    r2 = second->wait(timeout_ms);
    in_time(mono() - t0);
  }
  std::string word = engine.join();
  if (plan.clock_step != 0) {
    forget_faketime(proc->pid());
    if (second) forget_faketime(second->pid());
  }
  if (plan.kind == Kind::fifo_roster) bbs->remove(roster_rel(plan.room));
  if (!word.empty()) {
    char mode[16];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(engine.word_mode()));
    check(kOwnerRw, (engine.word_mode() & 0600) == 0600,
          at + ": the answer file had mode " + mode + (plan.umask ? " under umask 0277" : ""));
  }
  Outcome o = judge_ending(plan, r, second ? &r2 : nullptr, at);
  o.word = word;
  tidy_up(lane, plan, o, engine.word_time(), at);

  if (plan.stall) {
    std::lock_guard lock(screens.mu);
    plan.stall->stalled = false;
    plan.stall->resumed_at = mono();
  }
  wait_for_reader();
  std::lock_guard lock(screens.mu);
  o.seen.assign(lane.log.begin() + static_cast<long>(log_from), lane.log.end());
  return o;
}

// What the watcher saw: the countdown, how long it and the wait took. Returns the number
// of ranking lines announced.
int judge_screen(const Plan& plan, const Outcome& o, const std::string& at) {
  if (plan.kind == Kind::fifo_roster) return 0;  // its room's roster reaches nobody
  // With calls failing, a terminal may miss any line: what arrives is judged.
  const bool lossy = plan.kind == Kind::failing;
  std::vector<std::string> counts;
  double first_count = -1, word_at = -1, results_at = -1;
  int ranks = 0;
  std::size_t after_zero = 0;
  bool zero = false;
  for (const auto& s : o.seen) {
    if (zero) ++after_zero;
    if (word_at < 0 && soak::countdown_value(s.text)) {
      counts.push_back(s.text);
      zero = zero || *soak::countdown_value(s.text) == 0;
      if (first_count < 0) first_count = s.mono;
      if (plan.clock_step == 0 && counts.size() > 1) {
        std::lock_guard lock(tally.mu);
        tally.lags.push_back(s.real - static_cast<double>(static_cast<long>(s.real)));
      }
    } else if (word_at < 0 && !counts.empty() &&
               (plan.typestart || s.text.rfind("\x1b[7m", 0) == 0)) {
      word_at = s.mono;
    } else if (results_at >= 0) {
      ++ranks;
    } else if (word_at >= 0 && (s.text == TXT_RESULTS || s.text == TXT_NO_RESULTS)) {
      results_at = s.mono;
    }
  }
  if (!counts.empty() || (o.completed && !lossy))
    check(
        kCountdownOk, soak::countdown_ok(counts, o.completed && !lossy), at + ": countdown " + [&] {
          std::string all;
          for (const auto& c : counts) all += c;
          return all;
        }());
  if (plan.kind == Kind::tiny_limit || plan.kind == Kind::fifo_list)
    check(kUnwritten, after_zero == 0,
          at + ": " + std::to_string(after_zero) + " lines after <0>, with no word to play");
  if (o.completed && (!lossy || (first_count >= 0 && word_at >= 0))) {
    // A countdown seen from <n> on takes n - 1 s at least, n + 1.5 at most.
    const int first = *soak::countdown_value(counts.empty() ? "<5>" : counts.front());
    const double shortest = lossy ? first - 2.0 : 3.0;
    double countdown = word_at - first_count;
    bool ok = first_count >= 0 && word_at >= 0 && countdown >= shortest && countdown <= 6.5;
    std::string what = at + ": countdown took " + std::to_string(countdown) + " s";
    if (!plan.typestart && (!lossy || results_at >= 0)) {
      double waited = results_at - word_at;
      ok = ok && results_at >= 0 && waited >= plan.type->limit - 2 &&
           waited <= plan.type->limit + 1.5;
      what += ", the wait " + std::to_string(waited) + " s for a limit of " +
              std::to_string(plan.type->limit);
    }
    check(kLength, ok, what);
  }
  return ranks;
}

// The ledger: one line per ranked finisher of a round that reached its ranking.
void judge_ledger(const Plan& plan, const Field& field, const Outcome& o, int ranks,
                  const std::string& at) {
  if (!plan.typestart && !o.refused && !o.word.empty() && !field.users.empty()) {
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
}

void run_round(Lane& lane, bool plain, bool takeover) {
  long serial = ++env.serial;
  Plan plan = make_plan(lane, plain, takeover);
  Field field = make_field(plan, serial, lane.rng);
  {
    std::lock_guard lock(ledger.mu);
    for (const auto& u : field.users) ledger.owner[u] = serial;
  }
  std::string at = where(lane, serial);
  Outcome o = play(lane, plan, field, at);
  int ranks = judge_screen(plan, o, at);
  judge_ledger(plan, field, o, ranks, at);
}

void run_lane(Lane& lane) {
  while (lane.blocked || lane.leftover || mono() < env.end) {
    if (lane.blocked) {
      // A round killed outright, or one that could not remove its answer file: its room is
      // taken over once the stale-claim bound has passed.
      while (wall() < lane.blocked_until)
        std::this_thread::sleep_for(std::chrono::duration<double>(lane.blocked_until - wall()));
      run_round(lane, true, true);
    } else {
      // After a round that left only its results file, a plain round must remove it.
      run_round(lane, lane.leftover, false);
    }
  }
}

// ---- the end --------------------------------------------------------------------------

// Processes still working in the scratch directory: the programs and what they started.
std::vector<pid_t> leftover_processes() {
  std::vector<pid_t> found;
  DIR* d = opendir("/proc");
  if (d == nullptr) return found;
  while (dirent* e = readdir(d)) {
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
  closedir(d);
  return found;
}

void final_checks() {
  // Every terminal read to its end.
  {
    std::lock_guard lock(screens.mu);
    double at = mono(), real = wall();
    for (auto& t : screens.terms) {
      take_bytes(*t, read_some(t->pty->master()), at, real);
      std::vector<soak::Frame> got;
      t->frames.finish(got);
      take_frames(*t, got, at, real);
    }
  }
  // The ledger: nothing half-written at its end.
  ledger.take_all();
  {
    std::lock_guard lock(ledger.mu);
    for (const auto& [path, off] : ledger.offset) {
      struct stat st;
      bool whole = stat(path.c_str(), &st) == 0 && st.st_size == off;
      check(kLedgerLines, whole, path.substr(path.rfind('/') + 1) + " ends in a piece of a line");
    }
  }
  // Nothing of any round left in the game directory.
  std::string left;
  if (DIR* d = opendir(bbs->file("frm/typegame").c_str())) {
    while (dirent* e = readdir(d)) {
      std::string n = e->d_name;
      if (n == "." || n == ".." || n == "data.txt" ||
          (n.size() > 4 && n.substr(n.size() - 4) == ".lst"))
        continue;
      left += ' ';
      left += printable(n);
    }
    closedir(d);
  }
  check(kFiles, left.empty(), "at the end, in frm/typegame:" + left);
  // No process of the soak still running, after a moment for the last to finish.
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

double percentile(std::vector<double> v, double q) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<std::size_t>(q * static_cast<double>(v.size())))];
}

long print_table(double seconds, int rooms) {
  std::lock_guard lock(tally.mu);
  std::printf("\nsoak over %.0f s, %d rooms x %d groups\n", seconds, rooms, kGroups);
  std::printf("%-44s %9s %9s %9s %9s\n", "rounds", "started", "completed", "killed", "other");
  long r_total = 0;
  for (auto [name, r] :
       {std::pair{"typerace", tally.typerace}, std::pair{"typestart", tally.typestart}}) {
    std::printf("  %-42s %9ld %9ld %9ld %9ld\n", name, r.started, r.completed, r.killed, r.other);
    r_total += r.started;
  }
  std::printf("  %-42s %9ld\n", "of them taking over a stale room", tally.takeovers);
  std::printf("%-44s %9s\n", "faults injected", "count");
  long f_total = 0;
  for (int f = 0; f < kFaults; ++f) {
    if (f == kFailing && !env.failing)
      std::printf("  %-42s %9s\n", kFaultNames[f], "skipped");
    else
      std::printf("  %-42s %9ld\n", kFaultNames[f], tally.faults[f]);
    f_total += tally.faults[f];
  }
  std::printf("%-44s %9s %9s\n", "invariants", "checked", "breached");
  long v_total = 0;
  for (int c = 0; c < kChecks; ++c) {
    std::printf("  %-42s %9ld %9ld\n", kCheckNames[c], tally.checked[c], tally.breached[c]);
    v_total += tally.breached[c];
  }
  rusage ru{};
  getrusage(RUSAGE_CHILDREN, &ru);
  double cpu = static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
               static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
  std::printf("figures (reported, not judged)\n");
  std::printf("  %-42s %.1f s (%.1f%% of one core)\n", "CPU used by the programs", cpu,
              100 * cpu / seconds);
  std::printf("  %-42s median %.1f ms, worst %.1f ms over %zu lines\n",
              "countdown lag after the second turns", 1000 * percentile(tally.lags, 0.5),
              1000 * percentile(tally.lags, 1.0), tally.lags.size());
  std::printf("  %-42s median %.1f ms, worst %.1f ms over %zu announcements\n",
              "fan-out, first to last terminal", 1000 * percentile(tally.spans, 0.5),
              1000 * percentile(tally.spans, 1.0), tally.spans.size());
  if (env.failing) {
    std::printf("  %-42s %s\n", "calls failing at random", kFailingShown);
    std::printf("  %-42s %ld status 0, %ld status 1, %ld status 2\n",
                "rounds with calls failing, by exit status", tally.failing_status[0],
                tally.failing_status[1], tally.failing_status[2]);
  }
  std::printf("soak: %ld rounds, %ld faults, %ld violations\n", r_total, f_total, v_total);
  return v_total;
}

}  // namespace

int main() {
  double seconds = static_cast<double>(env_number("SOAK_SECONDS", 600));
  int rooms = static_cast<int>(std::clamp(env_number("SOAK_ROOMS", 8), 1L, 9L));
  env.sigkill = env_number("SOAK_SIGKILL", 1) != 0;
  auto seed = static_cast<unsigned>(
      env_number("SOAK_SEED", static_cast<long>(std::random_device{}() & 0x7fffffff)));
  signal(SIGPIPE, SIG_IGN);
  std::printf("soak: %.0f s, %d rooms x %d groups, seed %u%s\n", seconds, rooms, kGroups, seed,
              env.sigkill ? "" : ", no SIGKILL");
  std::fflush(stdout);

  bbs = std::make_unique<harness::Scratch>();
  {
    std::string preload = harness::SteppedClock(*bbs).env().front();
    if (access(preload.substr(preload.find('=') + 1).c_str(), R_OK) != 0) {
      std::fprintf(stderr, "soak: the clock steps need libfaketime (Debian package faketime)\n");
      return 2;
    }
  }
  env.failing = harness::can_fail_calls();
  if (!env.failing)
    std::printf("soak: libfiu is not installed (Debian package fiu-utils): the fault kind \"system "
                "calls fail\" is skipped\n");
  prepare_game_files();
  std::vector<Room> room_list(static_cast<std::size_t>(rooms));
  std::vector<Lane> lanes(static_cast<std::size_t>(rooms * kGroups));
  for (int i = 0; i < rooms * kGroups; ++i) {
    Lane& l = lanes[static_cast<std::size_t>(i)];
    Room& room = room_list[static_cast<std::size_t>(i / kGroups)];
    room.number = i / kGroups + 1;
    room.lanes.push_back(&l);
    l.room = room.number;
    l.group = i % kGroups + 1;
    l.home = &room;
    l.rng.seed(seed + static_cast<unsigned>(i));
    l.fifo_room = kFifoRoomBase + i;
    l.clock_dir = std::make_unique<harness::Scratch>();
    l.clock = std::make_unique<harness::SteppedClock>(*l.clock_dir);
    for (int k = 0; k < 4; ++k) {
      screens.terms.push_back(std::make_unique<Term>());
      Term* t = screens.terms.back().get();
      t->lane = &l;
      if (k == 0) {
        t->watcher = true;
        l.watcher = t;
      } else {
        t->in_roster = k < 3;  // the third waits to join
        l.players.push_back(t);
      }
    }
  }
  for (auto& room : room_list) write_roster(room);

  std::thread reader(reader_loop, std::ref(lanes));
  double start = mono();
  env.end = start + seconds;
  std::vector<std::thread> threads;
  for (auto& l : lanes) threads.emplace_back(run_lane, std::ref(l));
  for (auto& t : threads) t.join();
  wait_for_reader();
  screens.stop = true;
  screens.swept.notify_all();
  reader.join();
  final_checks();
  long violations = print_table(mono() - start, rooms);
  bbs.reset();
  return violations > 0 ? 1 : 0;
}
