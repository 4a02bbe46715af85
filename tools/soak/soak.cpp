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

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "faults.h"
#include "judge.h"
#include "soak.h"
#include "tally.h"
#include "terminals.h"

namespace soak {

namespace {

std::string where(const Lane& l, long serial) {
  return "round " + std::to_string(serial) + " room " + std::to_string(l.room) + " group " +
         std::to_string(l.group);
}

void count_start(const Plan& plan) {
  std::lock_guard lock(tally.mu);
  auto& rounds = plan.typestart ? tally.typestart : tally.typerace;
  ++rounds.started;
  if (plan.takeover) ++tally.takeovers;
}

// Starts the round (and its twin) with its faults, throws in the rest as they fall due,
// and waits for its end; judges how it ended and tidies up after it.
Outcome play(Lane& lane, const Plan& plan, const Field& field, const std::string& at) {
  before_the_start(lane, plan);
  const std::vector<std::string> environment = environment_for(lane, plan);
  const harness::ChildSetup setup = setup_for(plan);
  const std::string bin = harness::program(plan.typestart ? "typestart" : "typerace");
  const std::vector<std::string> args = {"soak", std::to_string(lane.group),
                                         std::to_string(plan.room), plan.type->name};
  std::size_t log_from;
  {
    std::lock_guard lock(screens.mu);
    log_from = lane.log.size();
  }
  count_start(plan);

  harness::ChatEngine engine(*bbs, plan.room, lane.group, field.finishers, kEngineGiveUpMs);
  const double t0 = mono();
  harness::Proc proc(bin, args, bbs->path(), environment, setup);
  std::unique_ptr<harness::Proc> second;
  if (plan.twice)
    second = std::make_unique<harness::Proc>(bin, args, bbs->path(), environment, setup);
  during_the_round(lane, plan, t0, engine, proc, second.get());

  const int timeout_ms = (kCountdown + plan.type->limit + 20) * 1000;
  harness::Result r = proc.wait(timeout_ms);
  judge_time(plan, mono() - t0, at);
  harness::Result r2;
  if (second) {
    r2 = second->wait(timeout_ms);
    judge_time(plan, mono() - t0, at);
  }
  const std::string word = engine.join();
  after_the_round(plan);
  if (!word.empty()) judge_answer_mode(plan, engine.word_mode(), at);
  Outcome o = judge_ending(plan, r, second ? &r2 : nullptr, at);
  o.word = word;
  tidy_up(lane, plan, o, engine.word_time(), at);

  resume_stalled(plan);
  wait_for_reader();
  std::lock_guard lock(screens.mu);
  o.seen.assign(lane.log.begin() + static_cast<long>(log_from), lane.log.end());
  return o;
}

void run_round(Lane& lane, bool plain, bool takeover) {
  long serial = ++env.serial;
  Plan plan = make_plan(lane, plain, takeover);
  Field field = make_field(plan, serial, lane.rng);
  expect_users(field, serial);
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
      sleep_until_wall(lane.blocked_until);
      run_round(lane, true, true);
    } else {
      // After a round that left only its results file, a plain round must remove it.
      run_round(lane, lane.leftover, false);
    }
  }
}

// Every room's lanes, each with a watcher and three players (the third waits to join).
void seat(std::vector<Room>& rooms, std::vector<Lane>& lanes, unsigned seed) {
  for (std::size_t i = 0; i < lanes.size(); ++i) {
    Lane& l = lanes[i];
    Room& room = rooms[i / kGroups];
    room.number = static_cast<int>(i / kGroups) + 1;
    room.lanes.push_back(&l);
    l.room = room.number;
    l.group = static_cast<int>(i % kGroups) + 1;
    l.home = &room;
    l.rng.seed(seed + static_cast<unsigned>(i));
    l.fifo_room = kFifoRoomBase + static_cast<int>(i);
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
        t->in_roster = k < 3;
        l.players.push_back(t);
      }
    }
  }
  for (auto& room : rooms) write_roster(room);
}

// What the run needs from the machine; false when the clock steps cannot be had.
bool tools_there() {
  std::string preload = harness::SteppedClock(*bbs).env().front();
  if (access(preload.substr(preload.find('=') + 1).c_str(), R_OK) != 0) {
    std::fprintf(stderr, "soak: the clock steps need libfaketime (Debian package faketime)\n");
    return false;
  }
  env.failing = harness::can_fail_calls();
  if (!env.failing)
    std::printf("soak: libfiu is not installed (Debian package fiu-utils): the fault kind \"system "
                "calls fail\" is skipped\n");
  return true;
}

// Every lane racing until the end, the reader following them; returns when it began.
double race(std::vector<Lane>& lanes, double seconds) {
  std::thread reader(reader_loop, std::ref(lanes));
  const double start = mono();
  env.end = start + seconds;
  std::vector<std::thread> threads;
  for (auto& l : lanes) threads.emplace_back(run_lane, std::ref(l));
  for (auto& t : threads) t.join();
  wait_for_reader();
  screens.stop = true;
  screens.swept.notify_all();
  reader.join();
  return start;
}

}  // namespace

}  // namespace soak

int main() {
  using namespace soak;
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
  if (!tools_there()) return 2;
  prepare_game_files();
  std::vector<Room> room_list(static_cast<std::size_t>(rooms));
  std::vector<Lane> lanes(static_cast<std::size_t>(rooms * kGroups));
  seat(room_list, lanes, seed);
  const double start = race(lanes, seconds);
  final_checks();
  long violations = print_table(mono() - start, rooms, kFailingShown);
  bbs.reset();
  return violations > 0 ? 1 : 0;
}
