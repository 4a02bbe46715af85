#include "faults.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <thread>

#include "ledger_format.h"
#include "tally.h"
#include "terminals.h"

namespace soak {

namespace {

double uniform(std::mt19937& rng, double lo, double hi) {
  return std::uniform_real_distribution<double>(lo, hi)(rng);
}
bool chance(std::mt19937& rng, double p) { return uniform(rng, 0, 1) < p; }

template <typename T>
T& any_of(std::vector<T>& v, std::mt19937& rng) {
  return v[std::uniform_int_distribution<std::size_t>(0, v.size() - 1)(rng)];
}

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

// The one kind a round gets, drawn by its share; failing calls only where libfiu is.
Kind draw_kind(std::mt19937& rng, bool typestart) {
  struct Share {
    Kind kind;
    double share;
  };
  const Share kinds[] = {{Kind::failing, env.failing ? 0.10 : 0},
                         {Kind::ignored, 0.04},
                         {Kind::tiny_limit, typestart ? 0 : 0.05},
                         {Kind::fifo_roster, 0.03},
                         {Kind::fifo_list, 0.03}};
  double r = uniform(rng, 0, 1);
  for (const Share& k : kinds) {
    if (r < k.share) return k.kind;
    r -= k.share;
  }
  return Kind::plain;
}

// What the kind brings; false when it allows no other fault.
bool apply_kind(Plan& p, const Lane& lane, std::mt19937& rng, double length) {
  switch (p.kind) {
    case Kind::ignored:
      for (double& at : p.ignored_at)
        at = uniform(rng, 0.2, p.typestart ? kBeforeWord : length - 1);
      return true;
    case Kind::tiny_limit:
      p.word_limit = std::uniform_int_distribution<long>(1, 3)(rng);
      return false;
    case Kind::fifo_roster:
      p.room = lane.fifo_room;
      return false;
    case Kind::fifo_list:
      p.type = &kFifoType;
      return false;
    case Kind::plain:
    case Kind::failing:
      break;
  }
  return true;
}

// Signals: one kind per round at most, at any moment of it; none with calls failing, as
// the handlers themselves may be missing then.
void draw_signal(Plan& p, std::mt19937& rng, double length) {
  double r = p.kind == Kind::plain ? uniform(rng, 0, 1) : 1;
  for (int k = 0; k < 4; ++k) {
    double share = k == kKill ? 0.035 : 0.04;
    if (k == kKill && !env.sigkill) share = 0;
    if (r < share) {
      p.signal = kFaultSignals[k];
      p.signal_at = uniform(rng, 0.2, p.typestart ? kBeforeWord : length);
      return;
    }
    r -= share;
  }
}

// The faults that combine freely with the rest.
void draw_the_rest(Plan& p, Lane& lane, std::mt19937& rng, double length) {
  if (p.kind != Kind::failing && chance(rng, 0.05)) {  // one preload at a time
    p.clock_step = chance(rng, 0.5) ? 3600 : -3600;
    p.clock_at = uniform(rng, 1.0, length - 1.0);
  }
  if (chance(rng, 0.05)) p.stall = any_of(lane.players, rng);
  if (chance(rng, 0.05)) p.roster_at = uniform(rng, 0.5, length);
  if (p.typestart) return;
  if (p.kind == Kind::plain) {
    if (p.clock_step == 0 && chance(rng, 0.06)) p.fsize = full_ledger_limit(rng);
    p.twice = chance(rng, 0.05);
  }
  p.hostile = chance(rng, 0.07);
}

struct Line {
  std::string text;  // the user id, or with `raw` the whole line
  bool raw;
  std::string ranked;  // the user id as ranked; empty when the line takes no rank
};

// Three of: a user id with a control byte, one longer than 8 bytes, a finish time of 19
// digits, a line with no finish time; put among the others at random.
void add_hostile_lines(std::vector<Line>& lines, const std::string& s, Field& f,
                       std::mt19937& rng) {
  std::string t = std::to_string(std::time(nullptr) + kCountdown + 1);
  const char ctrl[] = {'\x01', '\x07', '\x1b', '\x7f', '\x10'};
  std::string c(1, ctrl[std::uniform_int_distribution<int>(0, 4)(rng)]);
  std::vector<Line> hostile = {
      {t + " " + c + "h" + s + " typed", true, "?h" + s},   // control byte in the id
      {t + " q" + s + "9XYZW typed", true, "q" + s + "9"},  // id longer than 8
      {"1234567890123456789 r" + s + "0 typed", true, ""},  // finish time too long
      {"no finish time here", true, ""},
  };
  std::shuffle(hostile.begin(), hostile.end(), rng);
  for (int k = 0; k < 3; ++k)
    lines.insert(lines.begin() +
                     std::uniform_int_distribution<long>(0, static_cast<long>(lines.size()))(rng),
                 hostile[static_cast<std::size_t>(k)]);
  f.users.push_back("r" + s + "0");
}

// Some rivals may be taken out of the roster or put back mid-round.
void rewrite_roster(Lane& lane) {
  count_fault(kRoster);
  std::lock_guard lock(lane.home->mu);
  Term* p = any_of(lane.players, lane.rng);
  p->in_roster = !p->in_roster;
  write_roster(*lane.home);
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

}  // namespace

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
  p.kind = draw_kind(rng, p.typestart);
  if (!apply_kind(p, lane, rng, length)) return p;
  draw_signal(p, rng, length);
  draw_the_rest(p, lane, rng, length);
  return p;
}

Field make_field(const Plan& p, long serial, std::mt19937& rng) {
  Field f;
  // No finishers where no word can be played.
  if (p.takeover || p.kind == Kind::tiny_limit || p.kind == Kind::fifo_list) return f;
  std::vector<Line> lines;
  char s[8];
  std::snprintf(s, sizeof s, "%06ld", serial % 1000000);
  int n = std::uniform_int_distribution<int>(0, 3)(rng);
  for (int i = 0; i < n; ++i) {
    char id_text[32];
    std::snprintf(id_text, sizeof id_text, "p%s%d", s, i);
    lines.push_back({id_text, false, id_text});
  }
  if (p.hostile) add_hostile_lines(lines, s, f, rng);
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

void before_the_start(Lane& lane, const Plan& plan) {
  if (plan.stall) {
    count_fault(kStall);
    {
      std::lock_guard lock(screens.mu);
      plan.stall->stalled = true;
    }
    wait_for_reader();
    fill_up(*plan.stall, lane.rng);
  }
  if (plan.kind == Kind::fifo_roster) {
    count_fault(kFifoRoster);
    bbs->fifo(roster_rel(plan.room));
  }
  if (plan.kind == Kind::fifo_list) count_fault(kFifoList);
  if (plan.twice) count_fault(kTwice);
  if (plan.hostile) count_fault(kHostile);
}

std::vector<std::string> environment_for(Lane& lane, const Plan& plan) {
  std::vector<std::string> environment;
  if (plan.clock_step != 0) {
    lane.clock->set_offset(0);
    environment = lane.clock->env();
  }
  if (plan.kind == Kind::failing) {
    count_fault(kFailing);
    environment = harness::failing_calls(kFailingCalls);
  }
  return environment;
}

harness::ChildSetup setup_for(const Plan& plan) {
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
  return setup;
}

void during_the_round(Lane& lane, const Plan& plan, double t0, harness::ChatEngine& engine,
                      harness::Proc& proc, harness::Proc* second) {
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
      rewrite_roster(lane);
    } else if (a.what == kStepClock) {
      count_fault(kClockStep);
      lane.clock->set_offset(plan.clock_step);
    } else {
      proc.signal(a.sig);
      if (second) second->signal(a.sig);
    }
  }
}

void after_the_round(const Plan& plan) {
  if (plan.kind == Kind::fifo_roster) bbs->remove(roster_rel(plan.room));
}

void resume_stalled(const Plan& plan) {
  if (!plan.stall) return;
  std::lock_guard lock(screens.mu);
  plan.stall->stalled = false;
  plan.stall->resumed_at = mono();
}

}  // namespace soak
